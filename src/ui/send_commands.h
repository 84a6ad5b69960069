// The two commands of the page "Versand" with their outcome in the status line:
// "erstellen" builds the report into the report pane, "versenden" mails it.
// A failure is shown under a caption that names the command; only a cancel
// (platform::ECancelled) passes on, for the window's status line.
#pragma once

#include <QString>
#include <functional>
#include <utility>

namespace vornetta::commands {
class TDialogs;
}
namespace vornetta::config {
class TMyIniFile;
}
namespace vornetta::db {
class TConnectionOwner;
}
namespace vornetta::dispatch {
class TSendView;
}
namespace vornetta::report {
class TReportText;
}

namespace vornetta::ui {

class TReportPane;

class TSendCommands {
 public:
  TSendCommands(std::function<void(const QString&)> status, commands::TDialogs& dialogs)
      : status_(std::move(status)), dialogs_(dialogs) {}

  // "erstellen" (SpeedButton1Click).
  void Build(TReportPane& pane, config::TMyIniFile& ini, db::TConnectionOwner& connection);
  // "versenden" (SpeedButton2Click).
  void Send(config::TMyIniFile& ini, report::TReportText& text, dispatch::TSendView& view);

 private:
  std::function<void(const QString&)> status_;
  commands::TDialogs& dialogs_;
};

}  // namespace vornetta::ui
