#include "dispatch/password_command.h"

#include "platform/command_runner.h"

namespace vornetta::dispatch {
namespace {

struct TCommandKind {
  const char* noun;     // "Passwortbefehl"
  const char* secret;   // what it should print
  const char* setting;  // the window's field and the key that holds the command
};

constexpr TCommandKind kPassword{"Passwortbefehl", "Passwort", "Einstellung smtppassbefehl im Abschnitt email"};
constexpr TCommandKind kToken{"Tokenbefehl", "Token", "Token-Befehl, Einstellung smtptokenbefehl"};

[[noreturn]] void Fail(const TCommandKind& kind, const std::string& what) {
  throw EPasswordCommandError(std::string(kind.noun) + " " + what + " (" + kind.setting + ")");
}

std::string SecretFromCommand(const TCommandKind& kind, const std::string& command, int timeoutMs) {
  using platform::TCommandEnd;
  platform::TCommandResult result = platform::RunCommandForLine(command, std::chrono::milliseconds(timeoutMs));
  switch (result.end) {
    case TCommandEnd::Printed: return std::move(result.firstLine);
    case TCommandEnd::NotStarted: Fail(kind, "konnte nicht gestartet werden");
    case TCommandEnd::TimedOut:
      Fail(kind, "hat nicht innerhalb von " + std::to_string((timeoutMs + 999) / 1000) + " Sekunden geantwortet");
    case TCommandEnd::Signalled: Fail(kind, "wurde durch Signal " + std::to_string(result.code) + " abgebrochen");
    case TCommandEnd::ExitStatus: Fail(kind, "endete mit Status " + std::to_string(result.code));
    case TCommandEnd::NoOutput: break;
  }
  Fail(kind, std::string("hat kein ") + kind.secret + " ausgegeben");
}

}  // namespace

std::string PasswordFromCommand(const std::string& command, int timeoutMs) {
  return SecretFromCommand(kPassword, command, timeoutMs);
}

std::string TokenFromCommand(const std::string& command, int timeoutMs) {
  return SecretFromCommand(kToken, command, timeoutMs);
}

template <class Run>
std::string TLoginCommands::Remembered(const std::string& key, const Run& run) {
  if (const auto known = failed_.find(key); known != failed_.end()) throw known->second;
  try {
    return run();
  } catch (const EPasswordCommandError& failure) {
    failed_.emplace(key, failure);
    throw;
  }
}

std::string TLoginCommands::Password(const std::string& command) {
  return Remembered("p" + command, [&] { return PasswordFromCommand(command); });
}

std::string TLoginCommands::Token(const std::string& command) {
  return Remembered("t" + command, [&] { return TokenFromCommand(command); });
}

}  // namespace vornetta::dispatch
