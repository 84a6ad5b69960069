// The page "SQL" (TabSheet4): the statement memo with its test button and the
// four result switches.
#pragma once

class QCheckBox;
class QLayout;
class QLabel;
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
  // The charts of section "diagramm" (read-only) and the button of their dialog.
  QLabel* lblDiagramme = nullptr;
  QPushButton* btnDiagramme = nullptr;

 private:
  QLayout* BuildChartLine();
};

}  // namespace vornetta::ui
