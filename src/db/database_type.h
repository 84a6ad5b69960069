// The database type a stored connection string names by its markers; the type
// decides quote translation, driver options and the connection test's probes.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::db {

// Tested in this order, case ignored: empty string "null"; "mysql" -> "mysql";
// "sqloledb" -> "mssql"; "sqlite" -> "sqlite"; "postgres" or "psqlodbc" (the
// PostgreSQL driver's names and library) -> "postgresql". Empty when none
// matches. Throws nothing.
std::string DatabaseTypeOf(std::string_view connectionString);

}  // namespace vornetta::db
