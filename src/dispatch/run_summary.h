// The one line an unattended run leaves for monitoring: what came of it and how
// much it moved, as "key=value" words that journald queries and log exporters
// can pick apart.
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace vornetta::dispatch {

// The value of "ergebnis".
enum class TRunResult {
  Sent,             // gesendet
  Empty,            // leer: nothing to send
  DryRun,           // probelauf: the mail was written, not sent
  Failed,           // fehler: the error mail went to the sender
  ErrorMailFailed,  // fehlermail-fehler
  Busy,             // belegt: another run holds the configuration file
};

struct TRunSummary {
  TRunResult result = TRunResult::Failed;
  std::string file;             // the configuration file, as the run names it
  std::size_t tables = 0;       // tables of the report built
  std::size_t rows = 0;         // its row counter (data rows and count rows)
  std::size_t bytes = 0;        // size of its HTML document
  std::chrono::milliseconds duration{0};
  std::size_t recipients = 0;   // addresses the mail went to
};

// "vornetta: ergebnis=gesendet datei=... tabellen=3 zeilen=1234 bytes=345678
// dauer_ms=812 empfaenger=4" and a line feed. A file name with a blank, a quote,
// a backslash or a control character stands in double quotes, the quote and the
// backslash escaped by a backslash and control characters as "?".
std::string SummaryLine(const TRunSummary& summary);

// Writes the line to `err` and notes that this process has written it.
void WriteSummary(std::ostream& err, const TRunSummary& summary);
// Whether WriteSummary has run in this process: a run that ended before it
// could build (its configuration file could not be opened) has not.
bool SummaryWritten();

// Whether runs write the line: VORNETTA_ZUSAMMENFASSUNG=1 asks for it, =0 keeps
// it off; without the variable only when stderr is the systemd journal (cron
// mails every stderr line to the crontab's owner).
bool SummaryWanted();

}  // namespace vornetta::dispatch
