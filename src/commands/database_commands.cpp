#include "commands/database_commands.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <thread>

#include "config/my_ini_file.h"
#include "db/command.h"
#include "db/datenbank_ado.h"
#include "platform/code_page.h"
#include "platform/failure.h"
#include "platform/regional.h"
#include "commands/secret_mask.h"

namespace vornetta::commands {
namespace {

// The statements the connection test runs: the table list, a data probe, and the
// parameterised command with its marker ":Art".
struct TProbes {
  const char* tables;
  const char* dataset;
  const char* command;
};

const TProbes& ProbesFor(db::TDatabaseKind kind) {
  static const TProbes server{" show tables ", " select * from Auftrag_art where Art > 0 ",
                              " select * from Auftrag_Art where Art > :Art "};
  // PostgreSQL knows no "show tables": the tables and views of the user's schemas
  // from the catalogue, and probes on a catalogue table every database has.
  static const TProbes postgresql{
      " select table_schema, table_name from information_schema.tables"
      " where table_schema not in ('pg_catalog', 'information_schema') ",
      " select * from pg_catalog.pg_namespace where oid > 0 ",
      " select * from pg_catalog.pg_namespace where oid > :Art "};
  // SQLite has neither "show tables" nor the sample table: its own catalogue serves.
  static const TProbes sqlite{" select name from sqlite_master where type = 'table' ",
                              " select * from sqlite_master where rootpage > 0 ",
                              " select * from sqlite_master where rootpage > :Art "};
  if (kind == db::TDatabaseKind::PostgreSql) return postgresql;
  if (kind == db::TDatabaseKind::Sqlite) return sqlite;
  return server;
}

}  // namespace

TDatabaseCommands::TDatabaseCommands(config::TMyIniFile& ini, db::TConnectionOwner& connection, TDialogs& dialogs,
                                     platform::TEventPump& pump)
    : ini_(ini), connection_(connection), dialogs_(dialogs), pump_(pump) {}

const std::string& TDatabaseCommands::DefaultConnectionString() {
  static const std::string text =
      "Provider=MSDASQL.1;Password=vornetta;User ID=vornetta;Extended Properties=\"DATABASE=vornetta;"
      "DRIVER={MySQL ODBC 3.51 Driver};OPTION=0;PWD=vornetta;PORT=0;SERVER=localhost;UID=vornetta\"";
  return text;
}

void TDatabaseCommands::EditConnection() {
  connection_.Release();
  std::string text = ini_.ReadValueDefault("datenbank", "connection", "");
  if (text.empty()) text = DefaultConnectionString();
  // No limit: a connection string is never cut on its way through the dialog.
  if (dialogs_.InputQuery("Datenbankverbindung", "Bitte geben Sie die Datenbankverbindung ein:", text, 0))
    ini_.WriteValue("datenbank", "connection", text);
}

std::string TDatabaseCommands::LogLine(const std::string& text) {
  std::tm now = platform::LocalTime(std::time(nullptr));
  return platform::FormatShortDate(now) + " " + platform::FormatShortTime(now) + "\t" + text;
}

void TDatabaseCommands::Log(TLogSink& log, const std::string& text) {
  Logged([&] { log.AddLine(LogLine(text)); });
}

void TDatabaseCommands::Logged(const std::function<void()>& addLine) {
  try {
    addLine();
    pump_.PumpEvents();  // "Abbrechen" ends the test at its next database wait
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } catch (...) {
    // A log that cannot be written must not change the test's outcome.
  }
}

// The own connection is closed before a failure of the probes is logged, so the
// log shows "schliesse Datenbankverbindung" ahead of "FEHLER:".
void TDatabaseCommands::TestConnection(TLogSink& log) {
  try {
    log.Clear();
  } catch (...) {
  }
  try {
    const std::string connectionString = ini_.ReadValue("datenbank", "connection", "");
    if (connectionString.empty()) throw std::runtime_error("Verbindung nicht gesetzt");
    Log(log, "Verbindung: " + MaskPasswords(connectionString));
    Log(log, "Öffne Verbindung");
    auto database =
        std::make_unique<db::TDatenbankAdo>(connectionString, connection_.Limits(), connection_.Waiter());

    std::exception_ptr failure;
    try {
      Log(log, "Lese Tabellen");
      // A string without a known type fails here, after the connection opened.
      const TProbes& probes = ProbesFor(database->Kind());
      int tables = database->GetData(probes.tables)->RecordCount();
      Log(log, std::to_string(tables) + " Tabellen gefunden");

      Log(log, "teste Dataset");
      database->GetData(probes.dataset)->RecordCount();

      Log(log, "teste Command");
      db::TCommand command(database->Connection(), probes.command);
      command.SetParameter("art", 0);
      command.Execute();

      Log(log, "tests abgeschlossen");
    } catch (...) {
      failure = std::current_exception();
    }
    Log(log, "schliesse Datenbankverbindung");
    database.reset();
    if (failure) std::rethrow_exception(failure);
    Log(log, "Test erfolgreich");
  } catch (const std::exception& e) {
    Log(log, "FEHLER:");
    Log(log, e.what());
  } catch (...) {
    Log(log, "FEHLER:");
    Log(log, "Unbekannter Fehler");
  }
}

}  // namespace vornetta::commands
