// A parameterised command: a statement with named markers ":Name" that are bound
// by name (case ignored) and executed on a connection.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/odbc_handle.h"

namespace vornetta::db {

class TConnection;

class TCommand {
 public:
  // Prepares the command text; every ":name" outside quotes becomes a "?" marker.
  // Throws EDatabaseError with the driver's message.
  TCommand(TConnection& connection, std::string_view commandText);
  ~TCommand() = default;
  TCommand(const TCommand&) = delete;
  TCommand& operator=(const TCommand&) = delete;

  // Sets every marker of that name (case ignored) to the integer. Throws
  // EDatabaseError "Parameter <name> nicht gefunden" for an unknown name.
  void SetParameter(std::string_view name, int value);
  // Runs the command; a result set is closed unread. Throws EDatabaseError
  // "Parameter <name> hat keinen Wert" when a marker is unset, else with the driver's message.
  void Execute();

  // The statement text as sent to the driver and the marker names in order. Throw nothing.
  const std::string& Sql() const { return sql_; }
  const std::vector<std::string>& ParameterNames() const { return names_; }

  // Replaces ":name" markers outside '...', "..." and `...` by "?"; "::" stays. Throws nothing.
  static std::string ReplaceMarkers(std::string_view text, std::vector<std::string>& names);

 private:
  TConnection& connection_;
  TOdbcHandle stmt_;
  std::string sql_;
  std::vector<std::string> names_;
  std::vector<SQLINTEGER> values_;  // one per marker; bound buffers must stay put
  std::vector<SQLLEN> indicators_;
  std::vector<bool> set_;
};

}  // namespace vornetta::db
