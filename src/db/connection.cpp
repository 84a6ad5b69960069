#include "db/connection.h"

#include <string_view>

#include "db/database_error.h"
#include "db/statement_deadline.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

SQLWCHAR* WidePtr(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

}  // namespace

TConnection::TConnection() : env_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
  Check(SQLSetEnvAttr(env_.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
        env_, "SQLSetEnvAttr");
  dbc_ = TOdbcHandle(SQL_HANDLE_DBC, env_.Get());
}

TConnection::~TConnection() { Close(); }

void TConnection::Open(const std::string& odbcConnectionString, TDatabaseKind kind) {
  Close();
  // A server that does not answer must not hold the run for ever.
  if (limits_.login.count() > 0) {
    Check(SQLSetConnectAttr(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(limits_.login.count())), 0),
          dbc_, "SQLSetConnectAttr");
  }
  // NOTE: for drivers without wide functions (SQLite) unixODBC converts wide text
  // through the locale's character set, so non-ASCII text needs a UTF-8 locale.
  std::u16string wide = platform::Utf8ToUtf16(odbcConnectionString);
  // NOTE: unixODBC rejects a length above SQLSMALLINT's range; such a string cannot be right anyway.
  if (wide.size() > 32767) {
    throw EDatabaseError("Datenbankverbindung fehlgeschlagen: Verbindungszeichenfolge zu lang "
                         "(Datenbankverbindung, Einstellung connection)");
  }
  SQLSMALLINT outLength = 0;
  Check(SQLDriverConnectW(dbc_.Get(), nullptr, WidePtr(wide), static_cast<SQLSMALLINT>(wide.size()),
                          nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT),
        dbc_, "SQLDriverConnect");
  connected_ = true;
  SQLUINTEGER extensions = 0;
  canReadBound_ = SQL_SUCCEEDED(SQLGetInfo(dbc_.Get(), SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)) &&
                  (extensions & SQL_GD_BOUND) != 0 && (extensions & SQL_GD_ANY_COLUMN) != 0;
  canReadWithinBlock_ = canReadBound_ && (extensions & SQL_GD_BLOCK) != 0;
  // NOTE: filling a date structure, the PostgreSQL driver turns an infinite
  // date into today's; as text it writes 0000-00-00.
  datesAsText_ = kind == TDatabaseKind::PostgreSql;
  // NOTE: stepping through a result (StepAPI), the SQLite driver describes every
  // column without a declared type as varchar(255): sum(), avg(), betrag*1.0.
  expressionsAsText_ = kind == TDatabaseKind::Sqlite;
  // NOTE: the SQLite driver has no wide functions: the driver manager converts
  // each wide piece of a long value from the start of the value again (a 50 MB
  // text: a minute, and twice its size in memory). Its own UTF-8 comes as it is.
  textAsUtf8_ = kind == TDatabaseKind::Sqlite;
  // NOTE: PostgreSQL's ANSI driver converts no values to wide text; it hands
  // over the bytes of the session's client encoding, which is made UTF-8 here.
  char driver[64] = {};
  if (datesAsText_ && SQL_SUCCEEDED(SQLGetInfo(dbc_.Get(), SQL_DRIVER_NAME, driver, sizeof driver, nullptr)) &&
      std::string_view(driver).starts_with("psqlodbca")) {
    Execute("set client_encoding to 'UTF8'");
    textAsUtf8_ = true;
  }
  // NOTE: the MariaDB driver opens a character conversion for every wide value it
  // hands over; a session whose results come as UTF-8 is read as bytes instead.
  if (kind == TDatabaseKind::MySql && ResultsComeAsUtf8()) textAsUtf8_ = true;
}

bool TConnection::ResultsComeAsUtf8() {
  TOdbcHandle stmt = NewStatement();
  std::u16string query = platform::Utf8ToUtf16("select @@character_set_results");
  char charset[64] = {};
  SQLLEN length = 0;
  if (!SQL_SUCCEEDED(SQLExecDirectW(stmt.Get(), WidePtr(query), static_cast<SQLINTEGER>(query.size()))) ||
      !SQL_SUCCEEDED(SQLFetch(stmt.Get())) ||
      !SQL_SUCCEEDED(SQLGetData(stmt.Get(), 1, SQL_C_CHAR, charset, sizeof charset, &length)) || length <= 0)
    return false;
  return std::string_view(charset).starts_with("utf8");
}

void TConnection::Close() noexcept {
  if (connected_) {
    SQLDisconnect(dbc_.Get());
    connected_ = false;
  }
}

TOdbcHandle TConnection::NewStatement() {
  if (!connected_) throw EDatabaseError("Keine Verbindung zur Datenbank");
  return TOdbcHandle(SQL_HANDLE_STMT, dbc_.Get());
}

int TConnection::Execute(const std::string& statement) {
  TOdbcHandle stmt = NewStatement();
  std::u16string wide = platform::Utf8ToUtf16(statement);
  const TStatementDeadline deadline(stmt.Get(), limits_.statement);
  SQLLEN count = -1;
  RunStatement(stmt.Get(), deadline, [&] {
    SQLRETURN rc = Check(SQLExecDirectW(stmt.Get(), WidePtr(wide), static_cast<SQLINTEGER>(wide.size())),
                         stmt, "SQLExecDirect");
    if (rc == SQL_NO_DATA) {
      count = 0;  // a searched update or delete that matched nothing
      return;
    }
    Check(SQLRowCount(stmt.Get(), &count), stmt, "SQLRowCount");
  });
  return static_cast<int>(count);
}

void TConnection::RunStatement(SQLHANDLE stmt, const TStatementDeadline& deadline, std::function<void()> work) {
  try {
    RunWhileWaiting(waiter_, TDatabaseWaiter::TTask::Statement, std::move(work), [stmt] { SQLCancel(stmt); },
                    false);
  } catch (const EDatabaseError&) {
    if (deadline.Expired()) throw EDatabaseError(StatementTimeoutMessage(deadline.Limit()));
    throw;
  }
}

}  // namespace vornetta::db
