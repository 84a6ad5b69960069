// The start's rules for the command line: which configuration file to open and
// whether to run unattended. Parameters are given without the program name,
// parameter 1 first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/my_ini_file.h"

namespace vornetta::config {

// The first parameter that does not begin with "-"; the scan stops there.
// Empty parameters name no file and are passed over.
std::optional<std::string> ConfigFileParameter(const std::vector<std::string>& params);

// True when a parameter is "-" or "/" followed by "unattend", letters in any case.
bool HasUnattendSwitch(const std::vector<std::string>& params);

// name as a full path against the current directory, "." and ".." resolved.
std::string FullPath(const std::string& name);

// A file name (UTF-8, as the file system spells it) as a text of the system
// code page, for messages.
std::string ShownPath(const std::string& path);

// The program's full path with its extension replaced by ".ini".
std::string ProgramIniPath(const std::string& programPath);

// The configuration file for this start: the named file as a full path, created
// empty (mode 0600) when it does not exist, or ProgramIniPath when no parameter
// names one (that file is created by the first write). Throws EConfigFileError
// "Fehler beim Erstellen der Konfigurationsdatei \"<path>\"" when the named file
// cannot be created, and ENotConfigurationFile (config/file_kind.h), before
// anything is written, when the file there is no configuration text.
std::string ChooseConfigFile(const std::vector<std::string>& params, const std::string& programPath);

}  // namespace vornetta::config
