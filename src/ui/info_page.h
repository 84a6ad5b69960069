// The page "Info" (TabSheet1): the program's description beside its name and version.
#pragma once

#include <QString>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace vornetta::ui {

struct TInfoPage {
  // Builds the page without a parent; the page control takes it.
  TInfoPage();

  // At the start: the program's name and version, the description reflowed to
  // the memo's width.
  void ShowProgram(const QString& version) const;

  QWidget* page = nullptr;
  QPlainTextEdit* MemoInfo = nullptr;
  QLabel* lblAppname = nullptr;
  QLabel* lblAppVersion = nullptr;
};

}  // namespace vornetta::ui
