#include "db/datenbank_ado.h"

#include <sys/stat.h>

#include "db/connection_string.h"
#include "db/database_error.h"
#include "db/database_type.h"
#include "db/database_wait.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::db {
namespace {

// The SQLite driver says only "connect failed" when the file it may not create is missing.
void ThrowWhenSqliteFileMissing(const std::string& stored) {
  const std::string file = SqliteDatabaseFile(stored);
  struct stat info {};
  if (file.empty() || file == ":memory:" || ::stat(file.c_str(), &info) == 0) return;
  throw EDatabaseError("Datenbankverbindung fehlgeschlagen: SQLite-Datenbank \"" + file +
                       "\" nicht gefunden; bitte den Dateinamen prüfen (Datenbankverbindung, Einstellung connection)");
}

// Time the driver gets beyond the login limit to report its own timeout.
constexpr std::chrono::seconds kLoginGrace{2};

}  // namespace

std::string LoginTimeoutMessage(std::chrono::seconds limit) {
  return "Datenbankverbindung fehlgeschlagen: Zeitüberschreitung – die Datenbank hat sich nicht innerhalb von " +
         std::string(platform::TDecimalText(static_cast<long long>(limit.count())).View()) +
         " s gemeldet (Einstellung verbindungTimeout im Abschnitt datenbank) – Server und Port prüfen "
         "(Datenbankverbindung, Einstellung connection).";
}

TDatenbankAdo::TDatenbankAdo(std::string connectionString, const TDatabaseLimits& limits, TDatabaseWaiter* waiter)
    : connectionString_(std::move(connectionString)),
      kind_(DatabaseKindOf(connectionString_)),
      limits_(limits),
      waiter_(waiter) {
  Open();
}

TDatenbankAdo::~TDatenbankAdo() { Close(); }

void TDatenbankAdo::Open() {
  auto connection = std::make_shared<TConnection>();
  // The attempt runs off the waiting thread: it must not call the waiter itself.
  connection->SetWork(limits_, nullptr);
  // Some drivers bound only reaching the server by the login limit, not its
  // greeting: past the limit and a grace for the driver's own message, the
  // attempt is given up here.
  const auto limit = limits_.login.count() > 0 ? limits_.login + kLoginGrace : std::chrono::seconds(0);
  try {
    // A cancelled attempt is left to end by itself: no driver interrupts a login.
    RunWhileWaiting(
        waiter_, TDatabaseWaiter::TTask::Connect,
        [connection, odbc = OdbcConnectionString(connectionString_), kind = kind_] { connection->Open(odbc, kind); },
        [] {}, true, limit);
  } catch (const EDatabaseError&) {
    ThrowWhenSqliteFileMissing(connectionString_);
    throw;
  } catch (const ETimeLimitPassed&) {
    throw EDatabaseError(LoginTimeoutMessage(limits_.login));
  }
  connection->SetWork(limits_, waiter_);
  Close();
  connection_ = std::move(connection);
}

void TDatenbankAdo::Close() noexcept {
  if (connection_) {
    connection_->Close();
    connection_.reset();
  }
}

TDatabaseKind TDatenbankAdo::Kind() const {
  if (kind_ == TDatabaseKind::Unknown) throw EDatabaseError("unknown Database Type");
  return kind_;
}

std::string TDatenbankAdo::TranslateQuotes(const std::string& statement) const {
  if (Kind() != TDatabaseKind::MsSql) return statement;
  std::string out = statement;
  for (char& c : out) {
    if (c == '"')
      c = '\'';
    else if (c == '`')
      c = '"';
  }
  return out;
}

int TDatenbankAdo::Execute(const std::string& statement) {
  const std::string sql = TranslateQuotes(statement);
  return Connection().Execute(sql);
}

int TDatenbankAdo::ExecuteUpdate(const std::string& statement) {
  return Execute(statement);
}

int TDatenbankAdo::ExecuteDelete(const std::string& statement) {
  return Execute(statement);
}

std::unique_ptr<TRecordSet> TDatenbankAdo::GetData(const std::string& statement) {
  const std::string sql = TranslateQuotes(statement);
  return std::make_unique<TRecordSet>(Connection(), sql);
}

std::string TDatenbankAdo::StatementKind(std::string_view statement) {
  statement = platform::TrimLeft(statement);
  for (std::string_view kind : {"select", "update", "insert", "delete"})
    if (platform::StartsWithNoCase(statement, kind)) return std::string(kind);
  return {};
}

bool TDatenbankAdo::ChangesData(std::string_view statement) { return StatementKind(statement) != "select"; }

std::string TDatenbankAdo::FieldTypeName(TFieldType type) {
  using enum TFieldType;
  switch (type) {
    case ftUnknown: return "unknown";
    case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftAutoInc: case ftLargeint:
      return "integer";
    case ftFloat: case ftCurrency: case ftBCD: return "double";
    case ftDate: return "date";
    case ftTime: return "time";
    case ftDateTime: case ftTimeStamp: return "datetime";
    case ftString: case ftBytes: case ftVarBytes: case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo:
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftCursor: case ftFixedChar:
    case ftWideString: case ftADT: case ftArray: case ftReference: case ftDataSet: case ftOraBlob:
    case ftOraClob: case ftVariant: case ftInterface: case ftIDispatch: case ftGuid: case ftFMTBcd:
      return "string";
  }
  throw EDatabaseError("unknown Datatype");
}

TConnection& TDatenbankAdo::Connection() {
  if (!connection_) throw EDatabaseError("Keine Verbindung zur Datenbank");
  return *connection_;
}

}  // namespace vornetta::db
