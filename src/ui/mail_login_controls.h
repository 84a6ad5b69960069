// The OAuth2 token command and the mail connection test of the page "eMail",
// built apart so the page can place them beside the server and login fields.
#pragma once

class QLineEdit;
class QPushButton;
class QWidget;

namespace vornetta::ui {

struct TMailLoginControls {
  QLineEdit* smtptokenbefehl = nullptr;     // key "smtptokenbefehl"
  QPushButton* verbindungTesten = nullptr;  // "Verbindung testen"
};

// The controls on `parent`. While the token command is not empty the password
// field is disabled and says that the token is used instead.
TMailLoginControls NewMailLoginControls(QWidget* parent, QLineEdit* smtppass);

}  // namespace vornetta::ui
