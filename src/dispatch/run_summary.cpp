#include "dispatch/run_summary.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <ostream>
#include <cstdlib>
#include <string_view>

namespace vornetta::dispatch {
namespace {

std::atomic<bool> summaryWritten{false};

std::string_view ResultWord(TRunResult result) {
  switch (result) {
    case TRunResult::Sent: return "gesendet";
    case TRunResult::Empty: return "leer";
    case TRunResult::DryRun: return "probelauf";
    case TRunResult::Failed: return "fehler";
    case TRunResult::ErrorMailFailed: return "fehlermail-fehler";
    case TRunResult::Busy: return "belegt";
  }
  return "fehler";
}

bool NeedsQuotes(std::string_view text) {
  if (text.empty()) return true;
  for (const unsigned char c : text) {
    if (c <= ' ' || c == '"' || c == '\\' || c == 0x7f) return true;
  }
  return false;
}

std::string FileValue(std::string_view file) {
  if (!NeedsQuotes(file)) return std::string(file);
  std::string quoted = "\"";
  for (const unsigned char c : file) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < ' ' || c == 0x7f) {
      quoted += '?';
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + '"';
}

// systemd names the journal's stream as "device:inode" in JOURNAL_STREAM.
bool StderrIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr || *stream == '\0') return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat info {};
  if (::fstat(2, &info) != 0) return false;
  return static_cast<unsigned long long>(info.st_dev) == device &&
         static_cast<unsigned long long>(info.st_ino) == inode;
}

}  // namespace

std::string SummaryLine(const TRunSummary& summary) {
  std::string line = "vornetta: ergebnis=";
  line += ResultWord(summary.result);
  line += " datei=" + FileValue(summary.file);
  line += " tabellen=" + std::to_string(summary.tables);
  line += " zeilen=" + std::to_string(summary.rows);
  line += " bytes=" + std::to_string(summary.bytes);
  line += " dauer_ms=" + std::to_string(summary.duration.count());
  line += " empfaenger=" + std::to_string(summary.recipients);
  return line + '\n';
}

void WriteSummary(std::ostream& err, const TRunSummary& summary) {
  err << SummaryLine(summary) << std::flush;
  summaryWritten = true;
}

bool SummaryWritten() { return summaryWritten; }

bool SummaryWanted() {
  if (const char* wanted = std::getenv("VORNETTA_ZUSAMMENFASSUNG"); wanted != nullptr && *wanted != '\0')
    return std::string_view(wanted) != "0";
  return StderrIsJournal();
}

}  // namespace vornetta::dispatch
