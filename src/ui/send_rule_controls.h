// The send condition ("sendenWenn") and the time zone ("zeitzone") of the page
// "eMail", with the help texts that list the placeholders and the condition's form.
#pragma once

#include <QString>

class QComboBox;
class QLineEdit;
class QWidget;

namespace vornetta::ui {

struct TSendRuleControls {
  QWidget* box = nullptr;  // the line "Bedingung" and the combo "Zeitzone", for the page's layout
  QLineEdit* sendenWenn = nullptr;
  QComboBox* zeitzone = nullptr;  // the first item (data "") is the system's zone
};

// Builds the controls inside a widget of their own under `parent`.
TSendRuleControls NewSendRuleControls(QWidget* parent);

// The help on the placeholders, for the subject, header and footer.
QString PlaceholderHelp();

}  // namespace vornetta::ui
