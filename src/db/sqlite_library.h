// The SQLite library that the SQLite ODBC driver loads, set up for this
// program before the driver starts it.
#pragma once

namespace vornetta::db {

// Turns off the library's memory statistics, which take a process-wide lock
// on every allocation; with `oneThreadPerConnection` (every connection is used
// by one thread at a time, and another thread at most interrupts it) also its
// lock on every call of a connection. The values read stay the same. Call it
// before the first SQLite connection: once the library has started it keeps
// its settings. Without the library nothing happens. Throws nothing.
void TuneSqliteLibrary(bool oneThreadPerConnection) noexcept;

}  // namespace vornetta::db
