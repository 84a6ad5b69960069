// The two commands of the page "Datenbank": editing the stored connection string
// and the connection test with its time-stamped log.
#pragma once

#include <memory>
#include <string>

#include "db/datenbank_ado.h"
#include "ui/dialogs.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

// Where the connection test writes: the memo "Memodbtest".
class TLogSink {
 public:
  virtual ~TLogSink() = default;
  virtual void Clear() = 0;
  // Appends one line (system code page, no line break).
  virtual void AddLine(const std::string& line) = 0;
};

class TDatabaseCommands {
 public:
  // connection is the window's connection holder; the editor drops it.
  TDatabaseCommands(config::TMyIniFile& ini, std::unique_ptr<db::TDatenbankAdo>& connection,
                    TDialogs& dialogs);

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

  config::TMyIniFile& ini_;
  std::unique_ptr<db::TDatenbankAdo>& connection_;
  TDialogs& dialogs_;
};

}  // namespace vornetta::ui
