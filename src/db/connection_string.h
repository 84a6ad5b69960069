// The stored connection string as the ODBC driver manager needs it: the ADO forms
// the configuration keeps are translated; other strings go unchanged.
#pragma once

#include <string>

namespace vornetta::db {

// "Provider=MSDASQL...;Extended Properties=\"...\"": the ODBC string inside, with
// UID and PWD from "User ID" and "Password" when it lacks them.
// "Provider=SQLOLEDB...;Data Source=...;Initial Catalog=...": the FreeTDS driver.
// For a SQLite string (TDatabaseKind::Sqlite) StepAPI=1 and NoCreat=1 (never create
// a database) are added unless they are set.
// For a PostgreSQL string: UseDeclareFetch=1, Fetch=1000 and BoolsAsChar=0, each
// unless it is set. Throws nothing.
std::string OdbcConnectionString(const std::string& stored);

// The "Database" value of a SQLite string (the file), else empty. Throws nothing.
std::string SqliteDatabaseFile(const std::string& stored);

}  // namespace vornetta::db
