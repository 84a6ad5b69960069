// The controls of the page "eMail" for what goes with the report: the
// attachment kind ("anhang") and the limits that cut long tables ("zeilenMax",
// "groesseMax"). Each control is named after its key in section "email".
#pragma once

class QComboBox;
class QGridLayout;
class QSpinBox;
class QWidget;

namespace vornetta::ui {

struct TAttachmentControls {
  QComboBox* anhang = nullptr;     // items carry the word stored in the file
  QSpinBox* zeilenMax = nullptr;   // 0 shows "unbegrenzt"
  QSpinBox* groesseMax = nullptr;  // in KB; 0 shows "unbegrenzt"
};

// Builds the controls on `page` into `grid` from `firstRow` on, each with its
// caption before it: the combo in `column`, the limits two columns further,
// one under the other.
TAttachmentControls BuildAttachmentControls(QWidget* page, QGridLayout* grid, int firstRow, int column = 0);

}  // namespace vornetta::ui
