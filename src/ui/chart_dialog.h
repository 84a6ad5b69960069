// The dialog "Diagramme" of the page SQL: picks a statement of the last built
// report, a chart kind and its columns from that statement's head row, and
// writes the choice into section "diagramm".
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "report/chart_data.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

// The page's read-only line: "Diagramme: 0 balken (Monat; Umsatz), ..." or "Diagramme: keine".
QString ChartSummary(config::TMyIniFile& ini);

class TChartDialog : public QDialog {
 public:
  TChartDialog(const std::vector<report::TSelectHead>& heads, config::TMyIniFile& ini, QWidget* parent = nullptr);

  QComboBox* statement = nullptr;
  QComboBox* kind = nullptr;  // "kein Diagramm", then the four kinds
  QComboBox* xColumn = nullptr;
  QListWidget* yColumns = nullptr;  // checkable
  QDialogButtonBox* buttons = nullptr;

  // Writes the choice for the selected statement (or removes it for "kein
  // Diagramm"). Refuses, with a German message in the dialog, a chart without a
  // Y column.
  bool Store();

 private:
  void ShowStatement(int index);

  const std::vector<report::TSelectHead>& heads_;
  config::TMyIniFile& ini_;
  QLabel* note_ = nullptr;
};

}  // namespace vornetta::ui
