// The page "Versand" (TabSheet2): "erstellen", "versenden" and "Abbrechen"
// beside the report pane.
#pragma once

#include <memory>

#include "ui/report_pane.h"

class QPushButton;
class QWidget;

namespace vornetta::ui {

struct TSendPage {
  // Builds the page without a parent; the page control takes it. The window
  // connects the buttons.
  explicit TSendPage(TReportPane::TWiring reportWiring);

  QWidget* page = nullptr;
  QPushButton* SpeedButton1 = nullptr;
  QPushButton* SpeedButton2 = nullptr;
  QPushButton* btnAbbrechen = nullptr;
  std::unique_ptr<TReportPane> reportPane;
};

}  // namespace vornetta::ui
