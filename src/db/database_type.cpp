#include "db/database_type.h"

namespace vornetta::db {

std::string DatabaseTypeOf(std::string_view connectionString) {
  if (connectionString.empty()) return "null";
  std::string lower(connectionString);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  auto has = [&](std::string_view marker) { return lower.find(marker) != std::string::npos; };
  if (has("mysql")) return "mysql";
  if (has("sqloledb")) return "mssql";
  if (has("sqlite")) return "sqlite";
  // Tested last, so that no string of the older types changes its type.
  if (has("postgres") || has("psqlodbc")) return "postgresql";
  return {};
}

}  // namespace vornetta::db
