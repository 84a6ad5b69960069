// The check an unattended run makes before it starts: a configuration file that
// holds a password should be readable by its owner alone.
#pragma once

#include <string>

#include "config/my_ini_file.h"

namespace vornetta::config {

// "Warnung: <file> ist für andere lesbar; chmod 600 empfohlen" in UTF-8
// when the file holds a password (smtppass, or PWD / Password in the connection
// string) and its group or others may read it; empty otherwise.
std::string PasswordExposureWarning(const TMyIniFile& ini);

}  // namespace vornetta::config
