#include "commands/database_limits.h"

#include <charconv>
#include <string>

#include "config/my_ini_file.h"
#include "db/database_error.h"
#include "platform/code_page.h"

namespace vornetta::commands {
namespace {

constexpr std::chrono::seconds kUnattendedStatementLimit{1800};
constexpr std::chrono::seconds kLoginLimit{20};

std::chrono::seconds ReadSeconds(const config::TMyIniFile& ini, const char* key, std::chrono::seconds missing) {
  const std::string value = ini.ReadValue("datenbank", key, "");
  if (value.empty()) return missing;
  long long seconds = -1;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  // A day is more than any report may wait; larger numbers are typing errors.
  if (error != std::errc() || end != value.data() + value.size() || seconds < 0 || seconds > 86400) {
    throw db::EDatabaseError(
        "Ungültiger Wert \"" + value + "\": erlaubt sind ganze Sekunden von 0 (ohne Grenze) bis 86400 (Einstellung " +
        key + " im Abschnitt datenbank).");
  }
  return std::chrono::seconds(seconds);
}

}  // namespace

db::TDatabaseLimits ReadDatabaseLimits(const config::TMyIniFile& ini, bool unattended) {
  db::TDatabaseLimits limits;
  limits.statement =
      ReadSeconds(ini, "abfrageTimeout", unattended ? kUnattendedStatementLimit : std::chrono::seconds(0));
  limits.login = ReadSeconds(ini, "verbindungTimeout", kLoginLimit);
  return limits;
}

}  // namespace vornetta::commands
