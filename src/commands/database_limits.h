// The time limits of the database work as the configuration sets them:
// "abfrageTimeout" and "verbindungTimeout" in section "datenbank", in seconds.
#pragma once

#include "db/database_wait.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::commands {

// Missing keys are not written. A missing "abfrageTimeout" gives 1800 s for an
// unattended run (nobody is there to cancel) and no limit in the window, which
// has "Abbrechen"; a missing "verbindungTimeout" gives 20 s; 0 means none.
// Throws db::EDatabaseError naming the key for a value that is no whole number
// of seconds from 0.
db::TDatabaseLimits ReadDatabaseLimits(const config::TMyIniFile& ini, bool unattended);

}  // namespace vornetta::commands
