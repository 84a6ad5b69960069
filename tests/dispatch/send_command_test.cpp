// The send command and the unattended run on a configuration file and a report
// text, with the window faked and a scripted SMTP server: the row-counter rule,
// what is cleared when, the error mail, the retries and the exit statuses.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "config/my_ini_file.h"
#include "dispatch/email.h"
#include "dispatch/send_command.h"
#include "platform/code_page.h"
#include "report/report_text.h"
#include "smtp/exceptions.h"
#include "smtp/script_server.h"

namespace vornetta::dispatch {
namespace {

using test::Await;
using test::Close;
using test::Reply;
using test::ScriptServer;
using test::Send;
using test::Accept;
using test::AcceptingServer;
using test::Reset;

struct TFakeView : TUnattendedView {
  int resets = 0;
  int sendPages = 0;
  std::function<void()> build = [] {};
  void ResetReportViews() override { ++resets; }
  void ShowSendPage() override { ++sendPages; }
  void BuildReport() override { build(); }
};

class SendCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseSystemLanguage(platform::Language::Other);
    char pattern[] = "/tmp/vornetta-dispatch.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ini_ = std::make_unique<config::TMyIniFile>(dir_ + "/report.ini");
    ini_->WriteValue("email", "empfaenger", "leitung@example.com");
    ini_->WriteValue("email", "absender", "Berichte <berichte@example.com>");
    ini_->WriteValue("email", "betreff", "Umsatz");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void UseServer(int port) { ini_->WriteValue("email", "smtpserver", "127.0.0.1:" + std::to_string(port)); }

  void FillReport(int rows) {
    report_.Append("<html>");
    report_.Append(".punkt");
    report_.Append("</html>");
    report_.SetRowCount(rows);
  }

  std::string dir_;
  std::unique_ptr<config::TMyIniFile> ini_;
  report::TReportText report_;
  TFakeView view_;
};

TEST_F(SendCommand, SendsOnlyWithRowsAndClearsTheReportButNotTheCounter) {
  // Row counter 0 (and below): nothing is sent, no setting is read, the report is cleared.
  UseServer(test::UnusedLoopbackPort());
  for (int rows : {0, -1}) {
    FillReport(rows);
    SendReport(*ini_, report_, view_);
    EXPECT_EQ(report_.PieceCount(), 0u);
    EXPECT_EQ(report_.RowCount(), rows);
  }
  EXPECT_EQ(view_.resets, 2);
  EXPECT_FALSE(ini_->HasKey("email", "cc"));

  // Row counter 1: the document goes out as an HTML mail.
  ScriptServer server = AcceptingServer(1);
  UseServer(server.Port());
  FillReport(1);
  SendReport(*ini_, report_, view_);
  EXPECT_EQ(report_.PieceCount(), 0u);
  EXPECT_EQ(report_.RowCount(), 1);
  EXPECT_EQ(view_.resets, 3);
  const std::string t = server.Transcript();
  EXPECT_NE(t.find("MAIL FROM:<berichte@example.com>\r\nRCPT TO:<leitung@example.com>\r\nDATA\r\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("Content-Type: text/html;"), std::string::npos);
  EXPECT_NE(t.find("Subject: Umsatz\r\n"), std::string::npos);
  EXPECT_NE(t.find("\r\n\r\n<html>\r\n..punkt\r\n</html>\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
  // The settings read are now stored with their empty default.
  for (const char* key : {"smtpuser", "smtppass", "cc", "bcc"}) {
    EXPECT_TRUE(ini_->HasKey("email", key)) << key;
    EXPECT_EQ(ini_->ReadValue("email", key, "x"), "") << key;
  }
}

TEST_F(SendCommand, ASentOrUnfinishedReportIsNeverMailed) {
  // Nobody listens: any attempt to send would fail with a socket message.
  UseServer(test::UnusedLoopbackPort());
  const std::string none = std::string("Kein Bericht vorhanden – bitte zuerst erstellen.");
  auto messageOfSend = [&] {
    try {
      SendReport(*ini_, report_, view_);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("(kein Fehler)");
  };
  // After a send the text is empty while the counter stays.
  report_.SetRowCount(3);
  EXPECT_EQ(messageOfSend(), none);
  // A build that failed leaves its partial text unfinished.
  FillReport(2);
  report_.SetUnfinished(true);
  EXPECT_EQ(messageOfSend(), none);
  EXPECT_EQ(report_.PieceCount(), 3u);
  EXPECT_EQ(view_.resets, 0);
  EXPECT_FALSE(ini_->HasKey("email", "smtpserver") && ini_->HasKey("email", "cc"));
}

TEST_F(SendCommand, ReadsTheSettingsInTheirOrderAndStoresMissingOnesEmpty) {
  const std::string server = "127.0.0.1:" + std::to_string(test::UnusedLoopbackPort());
  FillReport(1);
  config::TMyIniFile report(dir_ + "/fresh.ini");
  report.WriteValue("email", "smtpserver", server);
  EXPECT_ANY_THROW(SendReport(report, report_, view_));
  EXPECT_EQ(report.KeyNames("email"),
            (std::vector<std::string>{"smtpserver", "smtpuser", "smtppass", "absender", "empfaenger", "cc", "bcc",
                                      "betreff", "verschluesselung", "zertifikate", "smtppassbefehl", "smtptokenbefehl"}));
  EXPECT_EQ(report.ReadValue("email", "verschluesselung", ""), "auto");

  // The error mail reads neither the recipients nor cc and bcc.
  config::TMyIniFile error(dir_ + "/error.ini");
  error.WriteValue("email", "smtpserver", server);
  EXPECT_ANY_THROW(SendErrorMail(error, "Fehler"));
  EXPECT_EQ(error.KeyNames("email"),
            (std::vector<std::string>{"smtpserver", "smtpuser", "smtppass", "absender", "betreff",
                                      "verschluesselung", "zertifikate", "smtppassbefehl", "smtptokenbefehl"}));
}

TEST_F(SendCommand, AFailedSendKeepsTheReportAndTheViews) {
  UseServer(test::UnusedLoopbackPort());
  FillReport(2);
  const std::string before(report_.DocumentText());
  EXPECT_THROW(SendReport(*ini_, report_, view_), smtp::EIdSocketError);
  EXPECT_EQ(report_.DocumentText(), before);
  EXPECT_EQ(view_.resets, 0);
}

TEST_F(SendCommand, UnattendedRunSendsTheBuiltReportAndEndsWithStatusZero) {
  ScriptServer server = AcceptingServer(1);
  UseServer(server.Port());
  view_.build = [this] { FillReport(3); };
  std::ostringstream err;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitSent);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(view_.sendPages, 1);
  EXPECT_EQ(view_.resets, 1);
  EXPECT_NE(server.Transcript().find("\r\n..punkt\r\n"), std::string::npos);

  // Nothing to send: no mail at all, status 0.
  UseServer(test::UnusedLoopbackPort());
  view_.build = [this] { FillReport(0); };
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitSent);
  EXPECT_EQ(err.str(), "");
}

TEST_F(SendCommand, UnattendedFailureMailsItsMessageToTheSenderAsPlainText) {
  ScriptServer server = AcceptingServer(1);
  UseServer(server.Port());
  ini_->WriteValue("email", "cc", "cc@example.com");
  ini_->WriteValue("email", "bcc", "bcc@example.com");
  view_.build = [this] {
    FillReport(0);
    throw std::runtime_error("Tabelle überall\r\nfehlt");
  };
  std::ostringstream err;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitErrorMailed);
  EXPECT_EQ(err.str(), "vornetta: Tabelle \xC3\xBC" "berall fehlt\n");
  // The build failed: the report stays as the build left it.
  EXPECT_EQ(report_.PieceCount(), 3u);

  const std::string t = server.Transcript();
  EXPECT_NE(t.find("MAIL FROM:<vornetta@localhost>\r\nRCPT TO:<berichte@example.com>\r\nDATA\r\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("From: \"Vornetta\" <vornetta@localhost>\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("Subject: Fehler: Umsatz\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("Content-Type: text/plain;"), std::string::npos);
  EXPECT_EQ(t.find("Cc:"), std::string::npos);
  EXPECT_NE(t.find("\r\n\r\nTabelle \xFC" "berall\r\nfehlt\r\n.\r\nQUIT\r\n"), std::string::npos) << t;
}

TEST_F(SendCommand, UnattendedSendFailureIsMailedAndAFailedErrorMailGivesStatusTwo) {
  // The report's recipient list is faulty, so its send fails before connecting;
  // the error mail goes through.
  ScriptServer server = AcceptingServer(1);
  UseServer(server.Port());
  ini_->WriteValue("email", "empfaenger", "<leitung@example.com>@falsch");
  ini_->WriteValue("email", "betreff", "");
  view_.build = [this] { FillReport(1); };
  std::ostringstream err;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitErrorMailed);
  EXPECT_EQ(err.str(), "vornetta: @ Outside-Adresse\n");
  EXPECT_EQ(report_.PieceCount(), 3u);
  EXPECT_EQ(view_.resets, 0);
  const std::string t = server.Transcript();
  EXPECT_NE(t.find("Subject: Fehler:"), std::string::npos) << t;
  EXPECT_NE(t.find("\r\n\r\n@ Outside-Adresse\r\n.\r\n"), std::string::npos) << t;

  // Nobody listens: both failures on stderr, status 2, and the run still returns.
  ini_->WriteValue("email", "empfaenger", "leitung@example.com");
  UseServer(test::UnusedLoopbackPort());
  std::ostringstream err2;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err2), kExitErrorMailFailed);
  EXPECT_EQ(err2.str(),
            "vornetta: Socket-Fehler # 10061 Verbindung abgelehnt.\n"
            "vornetta: Socket-Fehler # 10061 Verbindung abgelehnt.\n");
}

TEST_F(SendCommand, ThePasswordCommandReplacesSmtppassForReportAndErrorMail) {
  auto loginServer = [] {
    return ScriptServer({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 AUTH LOGIN"),
                         Reply("250 reset"), Reply("334 VXNlcm5hbWU6"), Reply("334 UGFzc3dvcmQ6"), Reply("235 ok"),
                         Reply("250 sender ok"), Reply("250 ok"), Reply("354 go ahead"), Reply("250 queued"), Await(),
                         Close()});
  };
  ini_->WriteValue("email", "smtpuser", "bericht");
  ini_->WriteValue("email", "smtppass", "veraltet");
  ini_->WriteValue("email", "smtppassbefehl", "echo geheim");
  const std::string loginLines = "AUTH LOGIN\r\nYmVyaWNodA==\r\nZ2VoZWlt\r\n";  // bericht, geheim
  {
    ScriptServer server = loginServer();
    UseServer(server.Port());
    FillReport(1);
    SendReport(*ini_, report_, view_);
    EXPECT_NE(server.Transcript().find(loginLines), std::string::npos);
  }
  {
    // The unattended run's error mail logs in with the same password.
    ScriptServer server = loginServer();
    UseServer(server.Port());
    view_.build = [] { throw std::runtime_error("kaputt"); };
    std::ostringstream err;
    EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitErrorMailed) << err.str();
    EXPECT_NE(server.Transcript().find(loginLines), std::string::npos);
  }
  // A failing command stops both before anything is sent; its output stays secret.
  ini_->WriteValue("email", "smtppassbefehl", "echo geheim; exit 1");
  UseServer(test::UnusedLoopbackPort());
  view_.build = [this] { FillReport(1); };
  std::ostringstream err;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitErrorMailFailed);
  EXPECT_EQ(err.str(), "vornetta: Passwortbefehl endete mit Status 1 (Einstellung smtppassbefehl im Abschnitt email)\n"
                       "vornetta: Passwortbefehl endete mit Status 1 (Einstellung smtppassbefehl im Abschnitt email)\n");
}

TEST_F(SendCommand, TheErrorMailUsesTheConfiguredEncryptionToo) {
  // starttls against a server without it: the error mail stops after EHLO.
  ini_->WriteValue("email", "verschluesselung", "starttls");
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250 mail.example"), Await(), Close()});
  UseServer(server.Port());
  view_.build = [] { throw std::runtime_error("kaputt"); };
  std::ostringstream err;
  EXPECT_EQ(RunUnattended(*ini_, report_, view_, err), kExitErrorMailFailed);
  EXPECT_EQ(err.str(), "vornetta: kaputt\nvornetta: Server bietet kein STARTTLS an (Verschlüsselung, Einstellung "
                       "verschluesselung)\n");
  const std::string t = server.Transcript();
  EXPECT_EQ(t.rfind("EHLO ", 0), 0u) << t;
  EXPECT_EQ(t.substr(t.find("\r\n")), "\r\nQUIT\r\n");

  // An unknown value is reported before connecting.
  ini_->WriteValue("email", "verschluesselung", "tls");
  FillReport(1);
  EXPECT_THROW(SendReport(*ini_, report_, view_), EEncryptionSetting);
}


// Retries of the unattended run with the waits injected: what each attempt sent,
// the note per further attempt and the status.
class UnattendedRetries : public SendCommand {
 protected:
  void SetUp() override {
    SendCommand::SetUp();
    view_.build = [this] { FillReport(1); };
  }
  // The run with `retries` further attempts; every wait is recorded, none is slept.
  int Run(int retries, std::ostringstream& err) {
    ini_->WriteValue("email", "wiederholen", std::to_string(retries));
    TRunOptions options;
    options.wait = [this](std::chrono::seconds pause) { waits_.push_back(pause); };
    return RunUnattended(*ini_, report_, view_, err, options);
  }
  static std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
  }
  static std::vector<test::ServerStep> Session(std::vector<test::ServerStep> replies) {
    std::vector<test::ServerStep> script = {Send("220 fake ESMTP\r\n")};
    script.insert(script.end(), replies.begin(), replies.end());
    return script;
  }

  std::vector<std::chrono::seconds> waits_;
};

TEST_F(UnattendedRetries, TemporaryRefusalIsTriedAgainAndTheMailGoesOutOnce) {
  ScriptServer server({Send("421 4.3.2 zu viele Verbindungen\r\n"), Await(), Accept(), Send("220 fake ESMTP\r\n"),
                       Reply("250 fake"), Reply("250 reset"), Reply("250 sender"), Reply("250 to"),
                       Reply("354 data"), Reply("250 queued"), Await(), Close()});
  UseServer(server.Port());
  std::ostringstream err;
  EXPECT_EQ(Run(2, err), kExitSent) << err.str();
  EXPECT_EQ(err.str(), "vornetta: 4.3.2 zu viele Verbindungen - neuer Versuch in 30 s (Versuch 2 von 3)\n");
  EXPECT_EQ(waits_, std::vector<std::chrono::seconds>{std::chrono::seconds(30)});
  const std::string t = server.Transcript();
  EXPECT_EQ(Count(t, "QUIT\r\n"), 2u) << t;  // two sessions
  EXPECT_EQ(Count(t, "DATA\r\n"), 1u) << t;  // one mail
}

// The note names the failure whole even where the code page has no "ü" (Japanese).
TEST_F(UnattendedRetries, RetryNoteUnderAJapaneseCodePageKeepsTheGermanText) {
  platform::UseSystemLanguage(platform::Language::Japanese);
  ScriptServer server({Send("220 fake ESMTP\r\n"), Await(), Reset(), Accept(), Send("220 fake ESMTP\r\n"),
                       Reply("250 fake"), Reply("250 reset"), Reply("250 sender"), Reply("250 to"),
                       Reply("354 data"), Reply("250 queued"), Await(), Close()});
  UseServer(server.Port());
  std::ostringstream err;
  const int status = Run(1, err);
  platform::UseSystemLanguage(platform::Language::Other);
  EXPECT_EQ(status, kExitSent) << err.str();
  EXPECT_EQ(err.str(),
            "vornetta: Socket-Fehler # 10054 Die Verbindung wurde von Peer zur\xC3\xBC" "ckgesetzt. - neuer Versuch "
            "in 30 s (Versuch 2 von 2)\n");
  EXPECT_EQ(Count(server.Transcript(), "DATA\r\n"), 1u) << server.Transcript();
}

TEST_F(UnattendedRetries, PermanentRefusalAndAnUnansweredEndOfDataAreNotTriedAgain) {
  const std::vector<test::ServerStep> errorMailSession = {
      Accept(),           Send("220 fake ESMTP\r\n"), Reply("250 fake"),     Reply("250 reset"),
      Reply("250 sender"), Reply("250 to"),            Reply("354 data"),     Reply("250 queued"),
      Await(),            Close()};
  // The report's session as scripted, then one for the error mail: status 1 and
  // the report tried exactly once. Returns the transcript.
  auto runOnce = [&](std::vector<test::ServerStep> script) {
    script.insert(script.end(), errorMailSession.begin(), errorMailSession.end());
    ScriptServer server(script);
    UseServer(server.Port());
    std::ostringstream err;
    EXPECT_EQ(Run(3, err), kExitErrorMailed) << err.str();
    std::string t = server.Transcript();
    EXPECT_EQ(Count(t, "MAIL FROM:<berichte@example.com>"), 1u) << t;
    EXPECT_EQ(Count(t, "MAIL FROM:<vornetta@localhost>"), 1u) << t;
    return t;
  };

  std::string t = runOnce(Session({Reply("250 fake"), Reply("250 reset"),
                                   Reply("550 5.7.1 Absender nicht erlaubt"), Await()}));
  EXPECT_NE(t.find("5.7.1 Absender nicht erlaubt\r\nVersand nach einem Versuch aufgegeben "
                   "(Einstellung wiederholen im Abschnitt email).\r\n"),
            std::string::npos)
      << t;

  // The server took the whole message but its answer never came: it may hold
  // the mail, so sending again could deliver it twice.
  t = runOnce(Session({Reply("250 fake"), Reply("250 reset"), Reply("250 sender"), Reply("250 to"),
                       Reply("354 data"), Await()}));
  EXPECT_NE(t.find("Versand nach einem Versuch aufgegeben"), std::string::npos) << t;
  EXPECT_TRUE(waits_.empty());
}

TEST_F(UnattendedRetries, LastOfSeveralTemporaryFailuresIsMailedWithTheNumberOfAttempts) {
  ScriptServer server({Send("421 belegt\r\n"), Await(), Accept(), Send("220 fake ESMTP\r\n"), Reply("250 fake"),
                       Reply("250 reset"), Reply("452 4.3.1 Speicher voll"), Await(), Accept(),
                       Send("220 fake ESMTP\r\n"), Reply("250 fake"), Reply("250 reset"), Reply("250 sender"),
                       Reply("250 to"), Reply("354 data"), Reply("250 queued"), Await(), Close()});
  UseServer(server.Port());
  std::ostringstream err;
  EXPECT_EQ(Run(1, err), kExitErrorMailed) << err.str();
  const std::string t = server.Transcript();
  EXPECT_EQ(Count(t, "MAIL FROM:<berichte@example.com>"), 1u) << t;
  EXPECT_NE(t.find("4.3.1 Speicher voll\r\nVersand nach 2 Versuchen aufgegeben"), std::string::npos) << t;
  EXPECT_EQ(Count(err.str(), "\n"), 2u) << err.str();  // the retry note and the last failure
}

}  // namespace
}  // namespace vornetta::dispatch
