#include "db/database_type.h"
#include "platform/text.h"

namespace vornetta::db {

std::string DatabaseTypeOf(std::string_view connectionString) {
  if (connectionString.empty()) return "null";
  const std::string lower = platform::LowerAscii(connectionString);
  auto has = [&](std::string_view marker) { return lower.find(marker) != std::string::npos; };
  if (has("mysql")) return "mysql";
  if (has("sqloledb")) return "mssql";
  if (has("sqlite")) return "sqlite";
  // Tested last, so that no string of the older types changes its type.
  if (has("postgres") || has("psqlodbc")) return "postgresql";
  return {};
}

}  // namespace vornetta::db
