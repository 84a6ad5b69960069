// Hides passwords in a connection string before it is shown or logged.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::commands {

// The connection string with the value of every password key replaced by
// "***": keys named "Pwd", "Password", "Passwd" or "Passwort", or ending in one of
// them ("Jet OLEDB:Database Password"), case ignored, also inside the quoted
// "Extended Properties" and with a value in braces. Everything else is kept.
std::string MaskPasswords(std::string_view connectionString);

}  // namespace vornetta::commands
