// The send command ("versenden") and the unattended run: mail the last report
// to the configured recipients when it has any row, and in an unattended run
// build, send and mail any failure to the configured sender. The window is
// reached only through the small view interfaces below.
#pragma once

#include <chrono>
#include <functional>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/password_command.h"
#include "dispatch/send_retry.h"
#include "message/line_writer.h"

#include "smtp/wait_hook.h"

namespace vornetta::config {
class TMyIniFile;
}
namespace vornetta::report {
class TReportText;
}

namespace vornetta::dispatch {

// Sender of the error mails of unattended runs.
inline constexpr char kErrorMailSender[] = "Vornetta <vornetta@localhost>";
// Subject of an error mail: this, followed by the setting "betreff".
inline constexpr char kErrorSubjectPrefix[] = "Fehler: ";

// What the send command needs of the window.
class TSendView {
 public:
  virtual ~TSendView() = default;
  // After a send: the source page (TabSheet7) is the visible one, the source
  // view shows the now empty report and the HTML view the empty page.
  virtual void ResetReportViews() = 0;
  // Runs between the slices of the send's waits for the server (the window lets
  // its events through and may end the send); null waits whole.
  virtual smtp::TIdWaitHook* SendWaitHook() { return nullptr; }
};

// What a send did: whether a mail went out (or was written by a dry run), to
// how many recipients, how large the mail was on the wire.
struct TSendOutcome {
  bool sent = false;
  bool conditionUnmet = false;  // the setting "sendenWenn" did not hold: nothing went out
  std::size_t recipients = 0;
  std::size_t mailBytes = 0;
};

// What the unattended run needs of the window besides that.
class TUnattendedView : public TSendView {
 public:
  // Makes the page "Versand" (TabSheet2) the visible one.
  virtual void ShowSendPage() = 0;
  // The window's report build into the report text handed to RunUnattended;
  // throws its failure.
  virtual void BuildReport() = 0;
};

// The send command. With a row counter above zero: one HTML mail from section
// "email" (smtpserver, smtpuser, smtppass, absender, empfaenger, cc, bcc,
// betreff, each read with an empty default that is stored when missing, then
// verschluesselung (default auto), zertifikate, smtppassbefehl and
// smtptokenbefehl) whose body
// is the document text. Then the report text is cleared (the row counter
// stays) and the views are reset. A failure of the send leaves report and views
// as they were and is thrown. A counter above zero with an empty text (the
// report was sent already) or an unfinished one (its build failed) throws
// ESendError "Kein Bericht vorhanden – bitte zuerst erstellen." and sends nothing.
// A report without data rows and count tables is sent as well when the flag
// "ergebnisLeer" of section "datenbank" is set (it is read only then, without
// storing a default). Then the setting "sendenWenn" is tested on the report's
// facts: when it does not hold nothing is sent (outcome.conditionUnmet); one
// that cannot be read throws report::ESendConditionError. Placeholders of
// "betreff" are filled from the facts, and the "Date" header follows the time
// zone the report was built in. CSV tables of the build (setting "anhang") go along as
// attachments ergebnis-1.csv, ... of a multipart/mixed mail.
TSendOutcome SendReport(config::TMyIniFile& ini, report::TReportText& report, TSendView& view);

// What the window and stderr say when the send condition does not hold.
inline constexpr char kConditionUnmet[] = "Bedingung nicht erfüllt – nichts versendet.";

// The subject of the built report: the setting "betreff" with its placeholders
// filled from the report's facts, in UTF-8.
std::string ReportSubject(config::TMyIniFile& ini, const report::TReportText& report);

// How the unattended run hands a report over.
struct TDelivery {
  // Set: the dry run; the mail is written here and no connection is made.
  message::TIdLineWriter* dryRun = nullptr;
  int retries = 0;  // further attempts after temporary failures (send_retry.h)
  TRetryWait wait = SleepFor;
  std::function<void(const std::string&, std::chrono::seconds)> onRetry;  // message in UTF-8
  int attempts = 0;  // out: attempts made; 0 when nothing was to be sent
  TLoginCommands* commands = nullptr;  // the run's password and token commands; null: this send's own
};

// The send command through `delivery`.
TSendOutcome SendReport(config::TMyIniFile& ini, report::TReportText& report, TSendView& view,
                        TDelivery& delivery);

// The plain-text error mail of an unattended run: from kErrorMailSender to the
// setting "absender", subject kErrorSubjectPrefix and "betreff", through the
// configured server with the same encryption and credentials. The message is
// UTF-8: the body is in the code page when it fits there, else in UTF-8.
// Throws the failure of the send.
// `commands` are the run's (a command that failed for the report is not run
// again); null: the mail's own.
void SendErrorMail(config::TMyIniFile& ini, const std::string& message, TLoginCommands* commands = nullptr);

class EMail;
// The server and login of section "email" into `job`, read as the send
// command reads them (smtpserver, smtpuser, smtppass, verschluesselung,
// zertifikate, smtppassbefehl, smtptokenbefehl). Throws the password
// command's failure.
void ReadMailServer(config::TMyIniFile& ini, EMail& job, TLoginCommands& commands);

// Exit statuses of the unattended run.
inline constexpr int kExitSent = 0;            // sent, or nothing to send
inline constexpr int kExitErrorMailed = 1;     // build or send failed, error mail sent
inline constexpr int kExitErrorMailFailed = 2; // the error mail failed too
inline constexpr int kExitBusy = 3;            // another run holds the configuration file

// What the command line adds to an unattended run.
struct TRunOptions {
  std::optional<std::string> output;  // --output: dry run into this file, "-" stdout
  TRetryWait wait;                    // empty: real pauses between attempts
  bool summary = false;               // end with the summary line (run_summary.h)
};

// The options from the program's parameters, with real pauses between
// attempts; the summary line as SummaryWanted says.
TRunOptions RunOptionsFor(const std::vector<std::string>& params);

// The unattended run: warns on err when the configuration file exposes a
// password (PasswordExposureWarning), shows the page "Versand", builds, sends; on any failure
// writes "vornetta: <message>" to err and mails the message to the sender;
// when that fails too, writes its message the same way. Never throws and never
// waits for a person; returns the exit status. The caller ends the program.
// Setting "wiederholen" (section "email", default 0, stored when missing) gives
// further attempts after temporary failures; each is noted on err, and the
// error mail goes only after the last one, naming their number. A dry run
// (options.output) writes the mail instead of sending it and mails no failure
// (status 1 after a failure). With options.summary the run's last line on err
// is its SummaryLine.
int RunUnattended(config::TMyIniFile& ini, report::TReportText& report, TUnattendedView& view,
                  std::ostream& err, const TRunOptions& options = {});

}  // namespace vornetta::dispatch
