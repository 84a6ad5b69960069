// The SMTP login's secret from a command: the password (setting
// "smtppassbefehl") from a password manager, a keyring or a file only the job's
// user may read, or an OAuth2 access token (setting "smtptokenbefehl"), so the
// configuration file need not hold either.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

#include "platform/failure.h"

namespace vornetta::dispatch {

// A password or token command that failed; the message names the setting and
// never holds the command's output.
class EPasswordCommandError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

inline constexpr int kPasswordCommandTimeoutMs = 10000;

// Runs the command with /bin/sh (platform::RunCommandForLine) and returns the
// first line of its standard output. Throws EPasswordCommandError when it
// cannot start, ends with a status other than 0 or by a signal, prints
// nothing, or has not ended within timeoutMs.
std::string PasswordFromCommand(const std::string& command, int timeoutMs = kPasswordCommandTimeoutMs);
// The same for the access token of setting "smtptokenbefehl".
std::string TokenFromCommand(const std::string& command, int timeoutMs = kPasswordCommandTimeoutMs);

// The commands of one run: a command that failed once is not started again in
// that run (the error mail after a failed report, the next attempt of
// "wiederholen"); its failure is thrown again instead. Successful commands run
// every time they are asked, since tokens expire.
class TLoginCommands {
 public:
  std::string Password(const std::string& command);
  std::string Token(const std::string& command);

 private:
  template <class Run>
  std::string Remembered(const std::string& key, const Run& run);

  std::map<std::string, EPasswordCommandError> failed_;
};

}  // namespace vornetta::dispatch
