// The controls of the page "eMail" for what goes with the report: the
// attachment kind ("anhang") and the limits that cut long tables ("zeilenMax",
// "groesseMax"). Each control is named after its key in section "email".
#pragma once

class QComboBox;
class QFormLayout;
class QSpinBox;

namespace vornetta::ui {

struct TAttachmentControls {
  QComboBox* anhang = nullptr;     // items carry the word stored in the file
  QSpinBox* zeilenMax = nullptr;   // 0 shows "unbegrenzt"
  QSpinBox* groesseMax = nullptr;  // in KB; 0 shows "unbegrenzt"
};

// Builds the controls as rows of `form`, each with its caption before it.
TAttachmentControls BuildAttachmentControls(QFormLayout* form);

}  // namespace vornetta::ui
