#include "config/password_exposure.h"

#include <sys/stat.h>

#include <string_view>

#include "platform/text.h"

namespace vornetta::config {
namespace {

// True when an entry "<name>=<something>" of the connection string has a value.
bool HasValuedEntry(std::string_view connection, std::string_view name) {
  const std::string lower = platform::LowerAscii(connection);
  for (std::size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
    const bool startsEntry = at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '"';
    std::size_t value = lower.find_first_not_of(' ', at + name.size());
    if (!startsEntry || value == std::string::npos || lower[value] != '=') continue;
    value = lower.find_first_not_of(" \"{", value + 1);
    if (value != std::string::npos && lower[value] != ';' && lower[value] != '}' && lower[value] != '"') return true;
  }
  return false;
}

bool HoldsPassword(const TMyIniFile& ini) {
  if (!ini.ReadValue("email", "smtppass", "").empty()) return true;
  const std::string connection = ini.ReadValue("datenbank", "connection", "");
  return HasValuedEntry(connection, "pwd") || HasValuedEntry(connection, "password");
}

}  // namespace

std::string PasswordExposureWarning(const TMyIniFile& ini) {
  struct stat st {};
  if (::stat(ini.FileName().c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IROTH)) == 0) return {};
  if (!HoldsPassword(ini)) return {};
  return "Warnung: " + ini.FileName() + " ist für andere lesbar; chmod 600 empfohlen";
}

}  // namespace vornetta::config
