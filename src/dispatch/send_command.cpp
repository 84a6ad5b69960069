#include "dispatch/send_command.h"

#include <exception>
#include <ostream>

#include "config/my_ini_file.h"
#include "dispatch/email.h"
#include "dispatch/password_command.h"
#include "platform/code_page.h"
#include "report/report_text.h"

namespace vornetta::dispatch {

namespace {

constexpr char kSection[] = "email";

std::string Setting(config::TMyIniFile& ini, const char* key, const char* defaultValue = "") {
  return ini.ReadValueDefault(kSection, key, defaultValue);
}

// The transport settings, read after the others: encryption, CA file and the
// password command, which replaces smtppass when a user is set.
void ReadTransport(config::TMyIniFile& ini, EMail& job) {
  job.Encryption = Setting(ini, "verschluesselung", "auto");
  job.CaFile = Setting(ini, "zertifikate");
  const std::string passwordCommand = Setting(ini, "smtppassbefehl");
  if (!passwordCommand.empty() && !job.Username.empty()) job.Password = PasswordFromCommand(passwordCommand);
}

// The message of whatever was thrown; failures outside the standard hierarchy
// still get a text so the run can report them.
std::string MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unbekannter Fehler";
  }
}

void Report(std::ostream& err, const std::string& message) {
  err << "vornetta: " << StderrLine(message) << '\n' << std::flush;
}

}  // namespace

void SendReport(config::TMyIniFile& ini, report::TReportText& report, TSendView& view) {
  if (report.RowCount() > 0) {
    EMail job;
    job.Host = Setting(ini, "smtpserver");
    job.Username = Setting(ini, "smtpuser");
    job.Password = Setting(ini, "smtppass");
    job.From = Setting(ini, "absender");
    job.To = Setting(ini, "empfaenger");
    job.Cc = Setting(ini, "cc");
    job.Bcc = Setting(ini, "bcc");
    job.IsHtml = true;
    job.Subject = Setting(ini, "betreff");
    job.Body = report.DocumentText();
    ReadTransport(ini, job);
    job.Send();
  }
  report.Clear();
  view.ResetReportViews();
}

void SendErrorMail(config::TMyIniFile& ini, const std::string& message) {
  EMail job;
  job.Host = Setting(ini, "smtpserver");
  job.Username = Setting(ini, "smtpuser");
  job.Password = Setting(ini, "smtppass");
  job.From = kErrorMailSender;
  job.To = Setting(ini, "absender");
  job.IsHtml = false;
  job.Subject = kErrorSubjectPrefix + Setting(ini, "betreff");
  job.Body = message;
  ReadTransport(ini, job);
  job.Send();
}

int RunUnattended(config::TMyIniFile& ini, report::TReportText& report, TUnattendedView& view,
                  std::ostream& err) {
  std::string message;
  try {
    view.ShowSendPage();
    view.BuildReport();
    SendReport(ini, report, view);
    return kExitSent;
  } catch (...) {
    message = MessageOf(std::current_exception());
  }
  Report(err, message);
  try {
    SendErrorMail(ini, message);
    return kExitErrorMailed;
  } catch (...) {
    Report(err, MessageOf(std::current_exception()));
    return kExitErrorMailFailed;
  }
}

std::string StderrLine(std::string_view message) {
  std::string line;
  line.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return platform::ToUtf8(line);
}

}  // namespace vornetta::dispatch
