// The page "Datenbank" (TabSheet3): the two connection buttons beside the
// connection test's log.
#pragma once

class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace vornetta::ui {

struct TDatabasePage {
  // Builds the page without a parent; the page control takes it. The window
  // connects the buttons.
  TDatabasePage();

  QWidget* page = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPlainTextEdit* Memodbtest = nullptr;
};

}  // namespace vornetta::ui
