// The database kind a stored connection string names by its markers, decided
// once per connection; it decides quote translation, driver options, how the
// connection reads values and the connection test's probes.
#pragma once

#include <string_view>

namespace vornetta::db {

// None: the string is empty. Unknown: no marker; such a connection runs no statement.
enum class TDatabaseKind { None, MySql, MsSql, Sqlite, PostgreSql, Unknown };

// Tested in this order, case ignored: empty string None; "mysql" MySql;
// "sqloledb" MsSql; "sqlite" Sqlite; "postgres" or "psqlodbc" (the PostgreSQL
// driver's names and library) PostgreSql, last, so that no string of the other
// kinds is taken for it. Unknown when none matches. Throws nothing.
TDatabaseKind DatabaseKindOf(std::string_view connectionString);

}  // namespace vornetta::db
