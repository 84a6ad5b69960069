// The page "SQL" (TabSheet4): the statement memo with its test button and the
// four result switches.
#pragma once

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace vornetta::ui {

struct TSqlPage {
  // Builds the page without a parent; the page control takes it. The window
  // connects the button.
  TSqlPage();

  QWidget* page = nullptr;
  QPushButton* Statement_testen = nullptr;
  QPlainTextEdit* statement = nullptr;
  QCheckBox* cbErgebnisLeer = nullptr;
  QCheckBox* cbErgebnisUpdate = nullptr;
  QCheckBox* cbErgebnisDelete = nullptr;
  QCheckBox* cbErgebnisInsert = nullptr;
};

}  // namespace vornetta::ui
