#include "dispatch/send_command.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <ostream>

#include "chart/chart_images.h"
#include "config/my_ini_file.h"
#include "config/password_exposure.h"
#include "config/program_switches.h"
#include "dispatch/dry_run_output.h"
#include "dispatch/email.h"
#include "dispatch/password_command.h"
#include "dispatch/run_summary.h"
#include "dispatch/send_retry.h"
#include "message/body_encoding.h"
#include "platform/code_page.h"
#include "platform/safe_text.h"
#include "platform/stderr_line.h"
#include "platform/text.h"
#include "platform/time_zone.h"
#include "report/placeholders.h"
#include "report/report_text.h"
#include "report/send_condition.h"

namespace vornetta::dispatch {

namespace {

constexpr char kSection[] = "email";

std::string Setting(config::TMyIniFile& ini, const char* key, const char* defaultValue = "") {
  return ini.ReadValueDefault(kSection, key, defaultValue);
}

// The server and the login as stored, read before every other key of the mail,
// so that missing keys are stored in the same order by every path.
void ReadServerAndLogin(config::TMyIniFile& ini, EMail& job) {
  job.Host = Setting(ini, "smtpserver");
  job.Username = Setting(ini, "smtpuser");
  job.Password = Setting(ini, "smtppass");
}

// The transport settings, read after the others: encryption, CA file and the
// commands that give the login's secret. With a user, a token command makes
// the login OAuth2 (its token asked for each connection) and wins over any
// password; else a password command replaces smtppass.
void ReadTransport(config::TMyIniFile& ini, EMail& job, TLoginCommands& commands) {
  job.Encryption = Setting(ini, "verschluesselung", "auto");
  job.CaFile = Setting(ini, "zertifikate");
  const std::string passwordCommand = Setting(ini, "smtppassbefehl");
  const std::string tokenCommand = Setting(ini, "smtptokenbefehl");
  if (job.Username.empty()) return;
  if (!tokenCommand.empty()) {
    job.Password.clear();
    job.TokenSource = [&commands, tokenCommand] { return commands.Token(tokenCommand); };
  } else if (!passwordCommand.empty()) {
    job.Password = commands.Password(passwordCommand);
  }
}

ESendError NoReportError() { return ESendError("Kein Bericht vorhanden – bitte zuerst erstellen."); }

void Report(std::ostream& err, const std::string& message) { platform::WriteStderrLine(err, message); }

// The copies of the results the build made: CSV tables (ergebnis-1.csv, ... by
// select) and the workbook ergebnis.xlsx.
std::vector<message::TIdAttachment> ResultAttachments(const report::TReportText& report) {
  std::vector<message::TIdAttachment> attachments;
  const report::TCsvTables& csv = report.CsvTables();
  for (std::size_t i = 0; i < csv.Count(); ++i) {
    const std::string& name = csv.FileName(i);
    attachments.push_back({name.empty() ? "ergebnis-" + std::to_string(i + 1) + ".csv" : name,
                           "text/csv; charset=\"UTF-8\"", csv.Table(i)});
  }
  if (!report.Workbook().empty()) {
    attachments.push_back(
        {"ergebnis.xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", report.Workbook()});
  }
  return attachments;
}

// The report's charts drawn as PNG images in the colours of the style sheet,
// shown inline by the HTML through their Content-IDs. `images` keeps the data.
std::vector<message::TIdInlineImage> ChartImages(config::TMyIniFile& ini, const report::TReportText& report,
                                                 std::vector<chart::TChartImage>& images) {
  std::vector<message::TIdInlineImage> inlineImages;
  if (report.Charts().empty()) return inlineImages;
  images = chart::DrawReportCharts(report, Setting(ini, "css"));
  for (const chart::TChartImage& image : images)
    inlineImages.push_back({image.contentId, image.fileName, "image/png", image.png});
  return inlineImages;
}

// Only a report with a data row or a count table goes out. With "ergebnisLeer"
// ticked, a freshly built report without any goes out as well.
bool HasSomethingToSend(config::TMyIniFile& ini, const report::TReportText& report) {
  if (report.RowCount() > 0) return true;
  return report.PieceCount() > 0 && ini.ReadFlag("datenbank", "ergebnisLeer", false);
}

// The setting "sendenWenn" tested on the facts of the build. The build stores
// its default; the send reads it only, so it writes no key of its own.
bool ConditionHolds(config::TMyIniFile& ini, const report::TReportText& report) {
  if (!ini.HasKey(kSection, "sendenWenn")) return true;
  const report::TReportFacts& facts = report.Facts();
  return report::TSendCondition(Setting(ini, "sendenWenn"), facts.statements.size()).Holds(facts);
}

// The subject setting with its placeholders filled; without a brace exactly as read.
void SetSubject(config::TMyIniFile& ini, const report::TReportText& report, EMail& job) {
  job.Subject = Setting(ini, "betreff");
  if (report::MayHoldPlaceholders(job.Subject))
    job.Subject = report::ResolvePlaceholders(job.Subject, report.Facts(), report::TPlaceholderText::Plain);
}

// The "Date" header's clock in `zone` (the system's zone gives the message's own
  // time and offset, taken at one moment).
message::TIdClock ZoneClock(const platform::TTimeZone& zone) {
  // The header asks for the time and then for the offset: both of one moment.
  auto moment = std::make_shared<std::optional<std::time_t>>();
  message::TIdClock clock;
  clock.Now = [zone, moment] {
    *moment = platform::RunMoment();
    const platform::TZonedTime local = zone.At(**moment);
    return message::TDateTime{local.year, local.month, local.day, local.hour, local.minute, local.second};
  };
  clock.UtcOffset = [zone, moment] { return zone.At(moment->value_or(platform::RunMoment())).utcOffset; };
  return clock;
}

// The zone of the error mail's "Date": the setting's, or the system's when the
// setting itself is what failed.
platform::TTimeZone ErrorMailZone(config::TMyIniFile& ini) {
  try {
    return platform::TTimeZone(ini.ReadValue(kSection, "zeitzone", ""));
  } catch (const platform::ETimeZoneError&) {
    return {};
  }
}

}  // namespace

std::string ReportSubject(config::TMyIniFile& ini, const report::TReportText& report) {
  EMail job;
  SetSubject(ini, report, job);
  return job.Subject;
}

TSendOutcome SendReport(config::TMyIniFile& ini, report::TReportText& report, TSendView& view) {
  TDelivery direct;
  return SendReport(ini, report, view, direct);
}

TSendOutcome SendReport(config::TMyIniFile& ini, report::TReportText& report, TSendView& view,
                        TDelivery& delivery) {
  TSendOutcome outcome;
  delivery.attempts = 0;
  // A cancelled build leaves no rows: it is no report either, whatever "ergebnisLeer" says.
  if (report.Unfinished()) throw NoReportError();
  const bool somethingToSend = HasSomethingToSend(ini, report);
  if (somethingToSend) {
    // The counter outlives the text a send clears, and a failed build leaves a text
    // without its end: neither is a report to mail.
    if (report.PieceCount() == 0 || report.Unfinished()) throw NoReportError();
    outcome.conditionUnmet = !ConditionHolds(ini, report);
  }
  if (somethingToSend && !outcome.conditionUnmet) {
    EMail job;
    ReadServerAndLogin(ini, job);
    job.From = Setting(ini, "absender");
    job.To = Setting(ini, "empfaenger");
    job.Cc = Setting(ini, "cc");
    job.Bcc = Setting(ini, "bcc");
    job.IsHtml = true;
    SetSubject(ini, report, job);
    job.Clock = ZoneClock(report.Facts().zone);
    job.Body = report.DocumentText();
    if (report.DocumentIsUtf8()) job.CharSet = message::kUtf8CharSet;
    job.Attachments = ResultAttachments(report);
    std::vector<chart::TChartImage> chartImages;
    job.InlineImages = ChartImages(ini, report, chartImages);
    if (delivery.dryRun) {
      job.WriteTo(*delivery.dryRun);  // no connection, so no transport settings and no password command
      delivery.attempts = 1;
    } else {
      TLoginCommands ownCommands;
      ReadTransport(ini, job, delivery.commands ? *delivery.commands : ownCommands);
      job.WaitHook = view.SendWaitHook();
      delivery.attempts = SendWithRetries(job, delivery.retries, delivery.wait, delivery.onRetry);
      outcome.sent = true;
    }
    outcome.recipients = job.RecipientCount;
    outcome.mailBytes = job.MessageBytes;
  }
  report.Clear();
  view.ResetReportViews();
  return outcome;
}

void ReadMailServer(config::TMyIniFile& ini, EMail& job, TLoginCommands& commands) {
  ReadServerAndLogin(ini, job);
  ReadTransport(ini, job, commands);
}

void SendErrorMail(config::TMyIniFile& ini, const std::string& message, TLoginCommands* commands) {
  EMail job;
  ReadServerAndLogin(ini, job);
  job.From = kErrorMailSender;
  job.To = Setting(ini, "absender");
  job.AddressSettings.To = "absender";
  job.IsHtml = false;
  job.Subject = Setting(ini, "betreff");
  job.Subject.insert(0, kErrorSubjectPrefix);
  job.Clock = ZoneClock(ErrorMailZone(ini));
  // The message may quote a server or driver: its control characters stay out of
  // the mail. A message the code page cannot hold goes out in UTF-8.
  const std::string safe = platform::ReplaceControlCharacters(message);
  std::string body;
  if (!platform::FromUtf8Exact(safe, body)) {
    body = safe;
    job.CharSet = message::kUtf8CharSet;
  }
  job.Body = body;
  TLoginCommands ownCommands;
  ReadTransport(ini, job, commands ? *commands : ownCommands);
  job.Send();
}

namespace {

// The summary of one unattended run: the report's counts are taken while it is
// there (a send clears the text), the line is written when the run returns.
class TSummaryWriter {
 public:
  TSummaryWriter(const config::TMyIniFile& ini, std::ostream& err, bool wanted) : err_(err), wanted_(wanted) {
    summary_.file = ini.FileName();
  }
  void TakeCounts(const report::TReportText& report) {
    summary_.tables = report.TableCount();
    summary_.rows = static_cast<std::size_t>(std::max(0, report.RowCount()));
    summary_.bytes = report.DocumentText().size();
  }
  void TakeOutcome(const TSendOutcome& outcome) { summary_.recipients = outcome.recipients; }
  int Finish(TRunResult result, int status) {
    summary_.result = result;
    summary_.duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    if (wanted_) WriteSummary(err_, summary_);
    return status;
  }

 private:
  std::ostream& err_;
  bool wanted_;
  TRunSummary summary_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int RunUnattended(config::TMyIniFile& ini, report::TReportText& report, TUnattendedView& view,
                  std::ostream& err, const TRunOptions& options) {
  TSummaryWriter summary(ini, err, options.summary);
  std::optional<TDryRunOutput> output;
  if (options.output) output.emplace(*options.output);
  // A warning only: the run goes on.
  if (const std::string warning = config::PasswordExposureWarning(ini); !warning.empty()) Report(err, warning);
  std::string message;
  TLoginCommands commands;  // a command that failed for the report is not run again for the error mail
  try {
    view.ShowSendPage();
    view.BuildReport();
    summary.TakeCounts(report);
    TDelivery delivery;
    delivery.commands = &commands;
    if (output) {
      delivery.dryRun = &*output;
    } else {
      delivery.retries = ParseRetries(ini.ReadValueDefault(kSection, "wiederholen", "0"));
      delivery.wait = options.wait ? options.wait : TRetryWait(SleepFor);
      delivery.onRetry = [&err, last = delivery.retries + 1, next = 1](const std::string& failure,
                                                                          std::chrono::seconds pause) mutable {
        ++next;
        Report(err, failure + " - neuer Versuch in " + std::to_string(pause.count()) + " s (Versuch " +
                        std::to_string(next) + " von " + std::to_string(last) + ")");
      };
    }
    const TSendOutcome outcome = SendReport(ini, report, view, delivery);
    summary.TakeOutcome(outcome);
    if (outcome.conditionUnmet) Report(err, kConditionUnmet);  // nothing sent: result "leer"
    if (output) {
      output->Finish();
      if (delivery.attempts == 0 && !outcome.conditionUnmet) Report(err, "Probelauf: nichts zu versenden, der Bericht hat keine Datenzeilen");
    }
    const TRunResult result = delivery.attempts == 0 ? TRunResult::Empty
                              : output               ? TRunResult::DryRun
                                                     : TRunResult::Sent;
    return summary.Finish(result, kExitSent);
  } catch (...) {
    message = MessageOf(std::current_exception());
  }
  if (report.PieceCount() > 0) summary.TakeCounts(report);  // as far as the build got
  Report(err, message);
  if (output) return summary.Finish(TRunResult::Failed, kExitErrorMailed);  // a dry run never mails
  try {
    SendErrorMail(ini, message, &commands);
    return summary.Finish(TRunResult::Failed, kExitErrorMailed);
  } catch (...) {
    Report(err, MessageOf(std::current_exception()));
    return summary.Finish(TRunResult::ErrorMailFailed, kExitErrorMailFailed);
  }
}

TRunOptions RunOptionsFor(const std::vector<std::string>& params) {
  TRunOptions options;
  options.output = config::ParseProgramSwitches(params).output;
  options.summary = SummaryWanted();
  return options;
}

}  // namespace vornetta::dispatch
