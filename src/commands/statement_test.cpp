#include "commands/statement_test.h"

#include <exception>

#include "db/datenbank_ado.h"
#include "db/statement_script.h"
#include "platform/event_pump.h"
#include "platform/failure.h"

namespace vornetta::commands {
namespace {

std::string Numbered(size_t n) { return "Statement " + std::to_string(n); }

std::string Succeeded(size_t n, int count) {
  return Numbered(n) + " erfolgreich: " + std::to_string(count) + " Datensätze";
}

}  // namespace

TStatementTest::TStatementTest(db::TConnectionOwner& connection, TDialogs& dialogs)
    : connection_(connection), dialogs_(dialogs) {}

void TStatementTest::Run(const std::string& script) {
  db::TDatenbankAdo* database = nullptr;
  try {
    database = &connection_.Get();
  } catch (const std::exception& e) {
    dialogs_.ShowMessageOf(e);
    return;
  }

  const std::vector<std::string> statements = db::SplitStatements(script);
  if (statements.size() > 1) dialogs_.ShowMessage(std::to_string(statements.size()) + " Statements gefunden.");

  for (size_t n = 1; n <= statements.size(); ++n) {
    const std::string& statement = statements[n - 1];
    try {
      if (db::TDatenbankAdo::ChangesData(statement)) {
        switch (dialogs_.AskWarning(
            "Warnung", Numbered(n) + " wird beim Testen Daten in der Datenbank verändern. Trotzdem testen?")) {
          case TDialogs::Answer::Yes: {
            int count = database->Execute(statement);
            dialogs_.ShowMessage(Succeeded(n, count));
            break;
          }
          case TDialogs::Answer::No: break;
          case TDialogs::Answer::Cancel: return;
        }
      } else {
        std::unique_ptr<db::TRecordSet> records = database->GetData(statement);
        int count = records->RecordCount();
        records->Close();
        records.reset();
        dialogs_.ShowMessage(Succeeded(n, count));
      }
    } catch (const platform::ECancelled&) {
      throw;  // "Abbrechen" ends the whole test
    } catch (const std::exception& e) {
      dialogs_.ShowMessage(Numbered(n) + ": " + std::string(e.what()));
    }
  }
}

}  // namespace vornetta::commands
