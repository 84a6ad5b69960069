// The provider connection: one ODBC environment and connection handle, opened
// from an ODBC connection string (already translated from the stored form).
#pragma once

#include <functional>
#include <string>

#include "db/database_type.h"
#include "db/database_wait.h"
#include "db/odbc_handle.h"
#include "platform/code_page.h"

namespace vornetta::db {

class TConnection {
 public:
  // Allocates the handles; nothing is connected yet. Throws EDatabaseError.
  TConnection();
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  // Connects without any login prompt; `kind` is the stored string's. Throws
  // EDatabaseError with the driver's message, or that the string is too long, both led by
  // "Datenbankverbindung fehlgeschlagen: ".
  void Open(const std::string& odbcConnectionString, TDatabaseKind kind);
  // Disconnects when connected; never throws.
  void Close() noexcept;
  // The accessors throw nothing.
  bool Connected() const { return connected_; }
  // Whether the driver lets SQLGetData read a bound column again (SQL_GD_BOUND).
  bool CanReadBoundColumns() const { return canReadBound_; }
  // Whether the driver claims SQLGetData within a block of rows (SQL_GD_BLOCK).
  bool CanReadWithinBlock() const { return canReadWithinBlock_; }
  // Whether record sets opened from now on may fetch blocks of records (the
  // default); off, every fetch brings one record, as for comparing both ways.
  bool FetchesBlocks() const { return fetchesBlocks_; }
  void SetFetchesBlocks(bool on) { fetchesBlocks_ = on; }
  // Whether date and timestamp values are read as text: PostgreSQL has dates no
  // date structure holds ("infinity", years BC).
  bool ReadsDatesAsText() const { return datesAsText_; }
  // Whether character values are read as UTF-8 bytes: the driver has no wide
  // character values (PostgreSQL's ANSI driver), and the session was switched to UTF-8.
  bool ReadsTextAsUtf8() const { return textAsUtf8_; }
  // Whether the driver describes a column without a declared type (an
  // expression, an aggregate) as text although its values may be numbers: SQLite.
  bool DescribesExpressionsAsText() const { return expressionsAsText_; }

  // Runs a statement that returns no records and gives the affected-record count
  // the driver reports (0 when nothing matched, -1 when the driver does not know).
  // Throws EDatabaseError with the driver's message, or when not connected.
  int Execute(const std::string& statement);

  // The limits and the waiter of the work on this connection; set before Open.
  // The waiter, when set, must outlive the connection's commands.
  void SetWork(const TDatabaseLimits& limits, TDatabaseWaiter* waiter) {
    limits_ = limits;
    waiter_ = waiter;
  }
  const TDatabaseLimits& Limits() const { return limits_; }
  TDatabaseWaiter* Waiter() const { return waiter_; }
  // Runs work on the statement (execute, fetch) where the waiter wants it; a
  // cancel while waiting cancels the statement. A failure once the deadline has
  // passed is reported as the time limit.
  void RunStatement(SQLHANDLE stmt, const class TStatementDeadline& deadline, std::function<void()> work);

  // A new statement handle on this connection. Throws EDatabaseError "Keine
  // Verbindung zur Datenbank" when not connected, else with the driver's message.
  TOdbcHandle NewStatement();

 private:
  // Whether the session hands over character values as UTF-8 bytes (MariaDB).
  bool ResultsComeAsUtf8();

  TDatabaseLimits limits_;
  TDatabaseWaiter* waiter_ = nullptr;
  TOdbcHandle env_;
  TOdbcHandle dbc_;
  bool connected_ = false;
  bool canReadBound_ = false;
  bool canReadWithinBlock_ = false;
  bool fetchesBlocks_ = true;
  bool datesAsText_ = false;
  bool textAsUtf8_ = false;
  bool expressionsAsText_ = false;
};

}  // namespace vornetta::db
