// The command "Statement testen": runs every statement of the memo's text once,
// asking before each data-changing one, and shows each result or failure.
#pragma once

#include <string>

#include "commands/dialogs.h"
#include "db/connection_owner.h"

namespace vornetta::commands {

class TStatementTest {
 public:
  // connection is the program's connection: opened here when it is not open,
  // left open afterwards.
  explicit TStatementTest(db::TConnectionOwner& connection, TDialogs& dialogs);

  // Tests the statements of script (the memo's current text). Never throws:
  // every failure is shown through the dialogs.
  void Run(const std::string& script);

 private:
  db::TConnectionOwner& connection_;
  TDialogs& dialogs_;
};

}  // namespace vornetta::commands
