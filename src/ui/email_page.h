// The page "eMail" (TabSheet5): recipients, subject, server and sender, the
// transport settings, the three pieces of HTML decoration and the CSV switch.
// Each field is named after its key in section "email".
#pragma once

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace vornetta::ui {

struct TEmailPage {
  // Builds the page without a parent; the page control takes it. The file
  // chooser of "zertifikate" opens over dialogParent.
  explicit TEmailPage(QWidget* dialogParent);

  QWidget* page = nullptr;
  QLineEdit* empfaenger = nullptr;
  QLineEdit* cc = nullptr;
  QLineEdit* bcc = nullptr;
  QLineEdit* betreff = nullptr;
  QLineEdit* smtpserver = nullptr;
  QLineEdit* smtpuser = nullptr;
  QLineEdit* smtppass = nullptr;
  QLineEdit* absender = nullptr;
  QPlainTextEdit* kopfzeile = nullptr;
  QPlainTextEdit* fusszeile = nullptr;
  QPlainTextEdit* css = nullptr;
  QComboBox* verschluesselung = nullptr;  // each item carries the word stored in the file
  QLineEdit* zertifikate = nullptr;
  QToolButton* zertifikateWaehlen = nullptr;
  QCheckBox* cbAnhang = nullptr;  // key "anhang"
  QLineEdit* smtptokenbefehl = nullptr;
  QPushButton* verbindungTesten = nullptr;
};

}  // namespace vornetta::ui
