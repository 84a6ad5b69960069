// The database connection object: opens the provider connection from the stored
// connection string, runs changing statements, opens record sets, tells statement
// kinds and column type names.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/database_type.h"
#include "db/field_type.h"
#include "db/record_set.h"
#include "platform/code_page.h"

namespace vornetta::db {

// The German failure (UTF-8) of a connection attempt given up after its limit.
std::string LoginTimeoutMessage(std::chrono::seconds limit);

class TDatenbankAdo {
 public:
  // Stores the connection string and opens. Throws EDatabaseError with the driver's message.
  // The limits and the waiter apply to opening and to every statement.
  explicit TDatenbankAdo(std::string connectionString, const TDatabaseLimits& limits = {},
                         TDatabaseWaiter* waiter = nullptr);
  ~TDatenbankAdo();
  TDatenbankAdo(const TDatenbankAdo&) = delete;
  TDatenbankAdo& operator=(const TDatenbankAdo&) = delete;

  // Opens a new connection and then closes the old one. Throws EDatabaseError
  // with the driver's message, or that the SQLite file is missing.
  void Open();
  void Close() noexcept;

  const std::string& ConnectionString() const { return connectionString_; }  // throws nothing
  // The kind of the connection string (DatabaseKindOf); throws EDatabaseError
  // "unknown Database Type" for TDatabaseKind::Unknown.
  TDatabaseKind Kind() const;

  // The affected-record count. Throws "unknown Database Type" before anything is
  // sent, or EDatabaseError with the driver's message.
  int Execute(const std::string& statement);
  int ExecuteUpdate(const std::string& statement);
  int ExecuteDelete(const std::string& statement);
  // An open record set on the first record; the caller owns it. Throws like Execute.
  std::unique_ptr<TRecordSet> GetData(const std::string& statement);

  // For MsSql: double quotes become single quotes, then backquotes double
  // quotes. Throws EDatabaseError "unknown Database Type".
  std::string TranslateQuotes(const std::string& statement) const;
  // "select", "update", "insert", "delete" or "" by the first letters. Both throw nothing.
  static std::string StatementKind(std::string_view statement);
  static bool ChangesData(std::string_view statement);
  // "unknown", "string", "integer", "double", "date", "time" or "datetime";
  // throws EDatabaseError "unknown Datatype" for a value beyond the 38 kinds.
  static std::string FieldTypeName(TFieldType type);

  // The open provider connection; throws EDatabaseError when closed.
  TConnection& Connection();

 private:
  std::string connectionString_;
  TDatabaseKind kind_;
  TDatabaseLimits limits_;
  TDatabaseWaiter* waiter_ = nullptr;
  // Shared with an attempt to connect that was cancelled and ends by itself.
  std::shared_ptr<TConnection> connection_;
};

}  // namespace vornetta::db
