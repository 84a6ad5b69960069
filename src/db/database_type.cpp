#include "db/database_type.h"

#include <string>

#include "platform/text.h"

namespace vornetta::db {

TDatabaseKind DatabaseKindOf(std::string_view connectionString) {
  if (connectionString.empty()) return TDatabaseKind::None;
  const std::string lower = platform::LowerAscii(connectionString);
  auto has = [&](std::string_view marker) { return lower.find(marker) != std::string::npos; };
  if (has("mysql")) return TDatabaseKind::MySql;
  if (has("sqloledb")) return TDatabaseKind::MsSql;
  if (has("sqlite")) return TDatabaseKind::Sqlite;
  if (has("postgres") || has("psqlodbc")) return TDatabaseKind::PostgreSql;
  return TDatabaseKind::Unknown;
}

}  // namespace vornetta::db
