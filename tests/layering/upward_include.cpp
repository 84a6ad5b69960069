// Compiled by the test upward_include_fails with the include directories of vornetta_db:
// the first include is found, the second names the window layer and must not be.
#include "db/datenbank_ado.h"
#include "ui/form_main.h"
