#include "dispatch/dry_run_output.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/code_page.h"

namespace vornetta::dispatch {

TDryRunOutput::~TDryRunOutput() {
  if (file_ && file_ != stdout) std::fclose(file_);
}

void TDryRunOutput::Fail(const char* what) {
  const std::string reason = std::strerror(errno);
  const std::string name = target_ == "-" ? "die Standardausgabe" : "\"" + target_ + "\"";
  throw std::runtime_error(std::string(what) + " " + name + " (--output): " + platform::AsUtf8(reason));
}

void TDryRunOutput::SendLine(std::string_view line) {
  if (!file_) {
    file_ = target_ == "-" ? stdout : std::fopen(target_.c_str(), "wbe");
    if (!file_) Fail("Die Ausgabe des Probelaufs kann nicht angelegt werden:");
  }
  if (!line.empty() && line.front() == '.') line.remove_prefix(1);
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fwrite("\r\n", 1, 2, file_) != 2)
    Fail("Fehler beim Schreiben der Ausgabe des Probelaufs in");
}

void TDryRunOutput::Finish() {
  if (!file_) return;
  std::FILE* file = file_;
  file_ = nullptr;
  const bool ok = file == stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (!ok) Fail("Fehler beim Schreiben der Ausgabe des Probelaufs in");
}

}  // namespace vornetta::dispatch
