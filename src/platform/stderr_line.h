// The program's word on stderr: one line "vornetta: <message>" per message,
// written by the window, the unattended run and the command-line checks alike.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace vornetta::platform {

// The message on one line: control characters replaced by "?", line breaks by
// blanks, no blanks at its end.
std::string StderrLine(std::string_view message);

// Writes "vornetta: " StderrLine(message) and a line break to stderr, or to `err`
// where a caller collects the lines.
void WriteStderrLine(std::string_view message);
void WriteStderrLine(std::ostream& err, std::string_view message);

}  // namespace vornetta::platform
