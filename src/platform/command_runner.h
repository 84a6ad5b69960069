// A shell command run for one line of its output (a password or an access
// token): bounded in time, and never outliving the run that started it.
#pragma once

#include <chrono>
#include <string>

namespace vornetta::platform {

// How a command ended; `code` is the exit status or the signal.
enum class TCommandEnd { Printed, NotStarted, TimedOut, Signalled, ExitStatus, NoOutput };

struct TCommandResult {
  TCommandEnd end = TCommandEnd::NotStarted;
  int code = 0;
  std::string firstLine;  // set for Printed only: the first output line without its line break
};

// Runs the command with /bin/sh (standard input empty, standard error left as
// it is) in a process group of its own and returns how it ended. Whatever the
// outcome, when this returns nothing the command started is still running: the
// group is killed, and so are processes that left it for a session of their
// own. Should this program end before the command, the group ends with it.
// Throws nothing.
TCommandResult RunCommandForLine(const std::string& command, std::chrono::milliseconds limit);

}  // namespace vornetta::platform
