// The command "Statement testen": runs every statement of the memo's text once,
// asking before each data-changing one, and shows each result or failure.
#pragma once

#include <memory>
#include <string>

#include "db/datenbank_ado.h"
#include "ui/dialogs.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::ui {

class TStatementTest {
 public:
  // connection is the window's connection holder: created here from
  // "datenbank"/"connection" when empty, kept afterwards.
  TStatementTest(config::TMyIniFile& ini, std::unique_ptr<db::TDatenbankAdo>& connection,
                 TDialogs& dialogs);

  // Tests the statements of script (the memo's current text). Never throws:
  // every failure is shown through the dialogs.
  void Run(const std::string& script, platform::TextEncoding encoding = platform::TextEncoding::CodePage);

 private:
  config::TMyIniFile& ini_;
  std::unique_ptr<db::TDatenbankAdo>& connection_;
  TDialogs& dialogs_;
};

}  // namespace vornetta::ui
