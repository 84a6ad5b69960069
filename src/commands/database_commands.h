// The two commands of the page "Datenbank": editing the stored connection string
// and the connection test with its time-stamped log.
#pragma once

#include <functional>
#include <string>

#include "commands/dialogs.h"
#include "commands/log_sink.h"
#include "db/connection_owner.h"
#include "platform/event_pump.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::commands {

class TDatabaseCommands {
 public:
  // connection is the program's connection; the editor releases it, the test
  // opens one of its own. The test lets the window's events through after every log line.
  TDatabaseCommands(config::TMyIniFile& ini, db::TConnectionOwner& connection, TDialogs& dialogs,
                    platform::TEventPump& pump);

  // "Datenbankverbindung einstellen" (Button3Click). Failures of the file pass on.
  void EditConnection();

  // "Datenbankverbindung testen" (Button4Click). Never throws: failures end up in the log.
  void TestConnection(TLogSink& log);

  // Offered by the editor when no connection string is stored.
  static const std::string& DefaultConnectionString();

  // "<short date> <short time>\t<text>" for the current moment.
  static std::string LogLine(const std::string& text);

 private:
  void Log(TLogSink& log, const std::string& text);
  void Logged(const std::function<void()>& addLine);

  config::TMyIniFile& ini_;
  db::TConnectionOwner& connection_;
  TDialogs& dialogs_;
  platform::TEventPump& pump_;
};

}  // namespace vornetta::commands
