// The SMTP password from a command (setting "smtppassbefehl"): a password
// manager, a keyring or a file only the job's user may read prints it, so the
// configuration file need not hold it.
#pragma once

#include <stdexcept>
#include <string>

namespace vornetta::dispatch {

// A password command that failed; the message names the setting and never
// holds the command's output.
class EPasswordCommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kPasswordCommandTimeoutMs = 10000;

// Runs the command with /bin/sh (standard input empty, standard error left as
// it is) and returns the first line of its standard output without the line
// break. Throws EPasswordCommandError when it cannot start, ends with a
// status other than 0 or by a signal, prints no password, or has not ended
// within timeoutMs (it is then killed with everything it started).
std::string PasswordFromCommand(const std::string& command, int timeoutMs = kPasswordCommandTimeoutMs);

}  // namespace vornetta::dispatch
