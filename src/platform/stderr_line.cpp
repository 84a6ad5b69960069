#include "platform/stderr_line.h"

#include <cstdio>

#include "platform/safe_text.h"
#include "platform/text.h"

namespace vornetta::platform {
namespace {

std::string Prefixed(std::string_view message) { return "vornetta: " + StderrLine(message) + "\n"; }

}  // namespace

std::string StderrLine(std::string_view message) {
  std::string line = LineBreaksToSpaces(ReplaceControlCharacters(message));
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void WriteStderrLine(std::string_view message) {
  const std::string line = Prefixed(message);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void WriteStderrLine(std::ostream& err, std::string_view message) { err << Prefixed(message) << std::flush; }

}  // namespace vornetta::platform
