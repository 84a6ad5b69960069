// The unattended run of the built program, end to end: build/vornetta <ini>
// -unattend against SQLite, MariaDB and PostgreSQL through ODBC, mailing through a real SMTP
// server on a loopback port; the exit status, stderr, what arrived and the
// configuration file afterwards.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <sstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "db/datenbank_ado.h"
#include "platform/code_page.h"
#include "report/report_text.h"
#include "smtp/script_server.h"
#include "support/silent_listener.h"
#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

// Stored with CR LF, as the window stores memo texts: a lone LF in the document
// would reach the server as a line break of its own (CR LF).
const char* const kCss = "table { border-collapse: collapse; }\r\ntr.sum th { text-align: right; }";
const char* const kHeader = "<h1>Umsätze</h1>";
const char* const kFooter = "<p>Ende des Berichts</p>";
const char* const kSender = "Vornetta Test <absender@example.com>";

// Kunde/Betrag with two records, as in the report's worked example.
const char* const kSalesTable =
    "create table umsatz (kunde varchar(30), betrag double);"
    "insert into umsatz values ('Müller', 12.5);"
    "insert into umsatz values ('Huber', 7.5);";

class UnattendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp");
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "sales.db"))
        .Set("datenbank", "ergebnisUpdate", "1")
        .Set("email", "empfaenger", "Geschäftsleitung <leitung@example.com>")
        .Set("email", "bcc", "archiv@example.com")
        .Set("email", "betreff", "Umsätze")
        .Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
        .Set("email", "absender", kSender)
        .Set("email", "css", kCss)
        .Set("email", "kopfzeile", kHeader)
        .Set("email", "fusszeile", kFooter);
  }

  void CreateSqlite(const std::string& sql) {
    const TProcessResult r = RunProcess({"/usr/bin/sqlite3", dir_ / "sales.db", sql});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
  }

  // Saves the configuration (private to its owner unless `mode` says otherwise)
  // and runs the program on it with German regional settings unless `locale` says otherwise.
  TProcessResult Run(mode_t mode = 0600, const std::string& locale = "de_DE.UTF-8") {
    ini_.Save(IniPath());
    ::chmod(IniPath().c_str(), mode);
    return RunProcess({ProgramPath(), IniPath(), "-unattend"},
                      {"LC_ALL=" + locale, "QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY"}, dir_.Path());
  }

  std::string IniPath() const { return dir_ / "report.ini"; }

  // The document the builder writes around the tables.
  static void AppendHead(report::TReportText& doc) {
    doc.Append("<html>");
    doc.Append({"<style>", kCss, "</style>"});
    doc.Append("<body>");
    doc.Append("<div class=\"kopfzeile\">");
    doc.Append(kHeader);
    doc.Append("</div>");
  }
  static void AppendFoot(report::TReportText& doc) {
    doc.Append("<div class=\"fusszeile\">");
    doc.Append(kFooter);
    doc.Append("</div>");
    doc.Append("</body></html>");
  }
  static void AppendSalesTable(report::TReportText& doc, int n) {
    for (const char* piece :
         {"<tr class=\"head\">", "<th class=\"kunde string\">Kunde</th>",
          "<th class=\"betrag double\">Betrag</th>", "</tr>", "<tr id=\"row1\" class=\"odd\">",
          "<td class=\"kunde string\">Müller</td>", "<td class=\"betrag double\">12,5</td>", "</tr>",
          "<tr id=\"row2\" class=\"even\">", "<td class=\"kunde string\">Huber</td>",
          "<td class=\"betrag double\">7,5</td>", "</tr>", "<tr class=\"sum\">",
          "<th class=\"kunde string\"><span>", "0", "</span></th>", "<th class=\"betrag double\"><span>",
          "20", "</span></th>", "</tr>", "</table><br>"}) {
      if (std::string(piece) == "<tr class=\"head\">") {
        doc.Append("<table width=\"100%\" class=\"sql" + std::to_string(n) + "\">");
      }
      doc.Append(piece);
    }
  }

  TTempDir dir_;
  std::unique_ptr<TSmtpSink> sink_;
  TIniText ini_;
};

TEST_F(UnattendedRun, MailsTheBuiltDocumentExactlyAndStoresTheDefaults) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde as Kunde, betrag as Betrag\nfrom umsatz order by betrag desc;\n"
                      "update umsatz set betrag = betrag where kunde = 'niemand';");
  const TProcessResult r = Run();
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");

  report::TReportText expected;
  AppendHead(expected);
  AppendSalesTable(expected, 0);
  expected.Append("<table width=\"100%\" class=\"sql1\">");
  expected.Append("<tr class=\"update\"><td>0 Datensätze geändert.</td></tr>");
  expected.Append("</table><br>");
  AppendFoot(expected);

  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  const TReceivedMail& mail = mails[0];
  EXPECT_EQ(mail.body, expected.DocumentText());
  EXPECT_EQ(mail.mailFrom, "absender@example.com");
  EXPECT_EQ(mail.rcptTo, (std::vector<std::string>{"leitung@example.com", "archiv@example.com"}));
  EXPECT_EQ(mail.Header("Content-Type"), "text/html;\r\n\tcharset=\"ISO-8859-15\"");
  EXPECT_NE(mail.Header("Subject").find("Ums=E4tze"), std::string::npos) << mail.header;
  EXPECT_EQ(mail.Header("X-Priority"), "3");
  EXPECT_EQ(mail.Header("Bcc"), "");

  // Keys the run read with a default are now in the file, and so is the geometry.
  const std::string stored = ReadFile(IniPath());
  for (const char* key : {"cc", "smtpuser", "smtppass", "betreff", "absender"}) {
    EXPECT_NE(std::ranges::count(IniKeys(stored, "email"), std::string(key)), 0) << key;
  }
  EXPECT_EQ(IniValue(stored, "email", "cc"), "");
  EXPECT_EQ(IniValue(stored, "email", "betreff"), Latin9("Umsätze"));
  for (const char* key : {"top", "left", "height", "width"}) {
    EXPECT_NE(std::ranges::count(IniKeys(stored, "FormMain"), std::string(key)), 0) << key;
  }
}

TEST_F(UnattendedRun, RunsFromACronLikeEnvironmentWithoutLocaleOrDisplay) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde as Kunde, betrag as Betrag from umsatz order by betrag desc;");
  ini_.Save(IniPath());
  // cron gives neither a locale nor a display nor a runtime folder.
  const TProcessResult r =
      RunProcess({ProgramPath(), IniPath(), "-unattend"},
                 {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_NUMERIC", "DISPLAY", "WAYLAND_DISPLAY",
                  "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"},
                 dir_.Path());
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  // Umlauts arrive in the declared character set; numbers use the decimal point.
  EXPECT_NE(mails[0].body.find(Latin9("<td class=\"kunde string\">Müller</td>")), std::string::npos)
      << mails[0].body;
  EXPECT_NE(mails[0].body.find("<td class=\"betrag double\">12.5</td>"), std::string::npos);
}

TEST_F(UnattendedRun, CountTableAloneIsMailedAndNothingAtAllSendsNothing) {
  CreateSqlite(kSalesTable);
  // Only an update with its flag on: one count table, so the report goes out.
  ini_.SetText("sql", "update umsatz set betrag = 0 where kunde = 'niemand';");
  TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(sink_->Mails().size(), 1u);
  EXPECT_NE(sink_->Mails()[0].body.find(Latin9("0 Datensätze geändert.")), std::string::npos);

  // A select without records and an update whose flag is off: no mail, status 0.
  ini_.Set("datenbank", "ergebnisUpdate", "0");
  ini_.SetText("sql", "select kunde from umsatz where 1 = 0;\nupdate umsatz set betrag = 1 where kunde = 'Huber';");
  r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(sink_->Mails().size(), 1u);
  // The update ran although nothing was reported.
  const TProcessResult check = RunProcess({"/usr/bin/sqlite3", dir_ / "sales.db",
                                           "select betrag from umsatz where kunde = 'Huber';"});
  EXPECT_EQ(check.out, "1.0\n");
}

TEST_F(UnattendedRun, FailingSelectMailsOnePlainTextErrorToTheSender) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;\nselect nichtda from fehlt;");
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;

  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  const TReceivedMail& mail = mails[0];
  EXPECT_EQ(mail.rcptTo, std::vector<std::string>{"absender@example.com"});
  EXPECT_EQ(mail.mailFrom, "vornetta@localhost");
  EXPECT_EQ(mail.Header("From"), "\"Vornetta\" <vornetta@localhost>");
  EXPECT_EQ(mail.Header("To"), "\"Vornetta Test\" <absender@example.com>");
  const std::string subject = mail.Header("Subject");
  EXPECT_EQ(subject.rfind("Fehler:", 0), 0u) << subject;
  EXPECT_NE(subject.find("Ums=E4tze"), std::string::npos) << subject;
  EXPECT_EQ(mail.Header("Content-Type"), "text/plain;\r\n\tcharset=\"ISO-8859-15\"");
  EXPECT_EQ(mail.Header("Cc"), "");
  // The driver's words behind one German lead.
  EXPECT_EQ(mail.body.rfind("SQL-Anweisung fehlgeschlagen: ", 0), 0u) << mail.body;
  EXPECT_NE(mail.body.find("no such table: fehlt"), std::string::npos) << mail.body;

  // The same message, on one line, on stderr.
  ASSERT_EQ(r.err.rfind("vornetta: ", 0), 0u) << r.err;
  ASSERT_EQ(std::ranges::count(r.err, '\n'), 1) << r.err;
  std::string body = mail.body;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  EXPECT_EQ(r.err, "vornetta: " + body + "\n");
}

// A statement that never ends is stopped by "abfrageTimeout": a failure like any
// other, on stderr and in the error mail, naming the key; a wrong value is named too.
TEST_F(UnattendedRun, EndlessStatementEndsAtItsTimeLimitWithTheErrorMail) {
  CreateSqlite(kSalesTable);
  ini_.Set("datenbank", "abfrageTimeout", "1")
      .SetText("sql", "select kunde from umsatz;\n"
                      "select count(*) from (with recursive r(n) as (select 1 union all select n + 1 from r) select n from r);");
  TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("abfrageTimeout"), std::string::npos) << r.err;
  EXPECT_EQ(std::ranges::count(r.err, '\n'), 1) << r.err;
  std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].rcptTo, std::vector<std::string>{"absender@example.com"});
  EXPECT_NE(mails[0].body.find("abfrageTimeout"), std::string::npos) << mails[0].body;

  ini_.Set("datenbank", "abfrageTimeout", "eine Minute");
  r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Ungültiger Wert \"eine Minute\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(Einstellung abfrageTimeout im Abschnitt datenbank)"), std::string::npos) << r.err;
  EXPECT_EQ(sink_->Mails().size(), 2u);
}

// The MariaDB driver against a port where nothing listens: its own words, once
// behind the German lead, on stderr and in the error mail alike. Against a
// server that takes the connection but never greets, the driver would wait as
// long as the server holds it: "verbindungTimeout" ends the attempt.
TEST_F(UnattendedRun, AFailedDatabaseConnectionSaysSoInGermanOnce) {
  ini_.Set("datenbank", "connection",
           "Driver={MariaDB};Server=127.0.0.1;Port=" + std::to_string(ClosedLoopbackPort()) +
               ";Database=vornetta;Uid=vornetta;Pwd=geheim;")
      .SetText("sql", "select 1;");
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  const std::string lead = "Datenbankverbindung fehlgeschlagen: ";
  ASSERT_EQ(r.err.rfind("vornetta: " + lead, 0), 0u) << r.err;
  EXPECT_GT(r.err.size(), lead.size() + 12) << "the driver's own reason follows";
  EXPECT_EQ(r.err.find("fehlgeschlagen", 10 + lead.size()), std::string::npos) << r.err;
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].body.rfind(lead, 0), 0u) << mails[0].body;
  EXPECT_EQ(mails[0].body.find("fehlgeschlagen", lead.size()), std::string::npos) << mails[0].body;

  vornetta::test::TSilentListener silent;
  ini_.Set("datenbank", "connection",
           "Driver={MariaDB};Server=127.0.0.1;Port=" + std::to_string(silent.Port()) +
               ";Database=vornetta;Uid=vornetta;Pwd=geheim;")
      .Set("datenbank", "verbindungTimeout", "1");
  const TProcessResult silentRun = Run();
  EXPECT_EQ(silentRun.exitStatus, 1) << silentRun.err;
  EXPECT_EQ(silentRun.err, "vornetta: " + vornetta::db::LoginTimeoutMessage(std::chrono::seconds(1)) + "\n");
  ASSERT_EQ(sink_->Mails().size(), 2u);
  EXPECT_NE(sink_->Mails()[1].body.find("verbindungTimeout"), std::string::npos) << sink_->Mails()[1].body;
}

TEST_F(UnattendedRun, UnreachableServerEndsWithStatusTwoAndBothMessages) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
  const TProcessResult r = Run();
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  const std::string refused = "vornetta: Socket-Fehler # 10061 Verbindung abgelehnt.\n";
  EXPECT_EQ(r.err, refused + refused);
  EXPECT_TRUE(sink_->Mails().empty());
}

TEST_F(UnattendedRun, LogsInWhenAUserIsSetAndReportsARefusedLogin) {
  TSmtpSink guarded(dir_ / "smtp-auth", "bericht:geheim");
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(guarded.Port()))
      .Set("email", "smtpuser", "bericht")
      .Set("email", "smtppass", "geheim");
  TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(guarded.Mails().size(), 1u) << guarded.Log();

  // A wrong password refuses the report and the error mail alike.
  ini_.Set("email", "smtppass", "falsch");
  r = Run();
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  EXPECT_EQ(std::ranges::count(r.err, '\n'), 2) << r.err;
  // The advice for a refused login, then the server's own reply.
  EXPECT_NE(r.err.find("vornetta: Benutzername, Passwort oder Token wurden abgelehnt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(". 5.7.8 "), std::string::npos) << r.err;
  EXPECT_EQ(guarded.Mails().size(), 1u);
}

TEST_F(UnattendedRun, MailsThroughStartTlsAndImplicitTlsServersWithVerifiedCertificates) {
  const std::string certs = dir_ / "certs";
  ASSERT_EQ(RunProcess({"/bin/sh", SourceDir() + "/tests/smtp/make-test-certs.sh", certs}).exitStatus, 0);
  const std::vector<std::string> tls = {"--cert", certs + "/server.pem", "--key", certs + "/server.key"};
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;")
      .Set("email", "smtpuser", "bericht")
      .Set("email", "smtppassbefehl", "echo geheim")
      .Set("email", "zertifikate", certs + "/ca.pem");

  // Port 587 style: STARTTLS on a plain connection.
  TSmtpSink submission(dir_ / "smtp-587", "bericht:geheim", tls);
  ini_.Set("email", "smtpserver", "localhost:" + std::to_string(submission.Port()));
  TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(submission.Mails().size(), 1u) << submission.Log();

  // Port 465 style: TLS from the first byte; a failing build's error mail takes the same way.
  std::vector<std::string> implicit = tls;
  implicit.push_back("--implicit-tls");
  TSmtpSink smtps(dir_ / "smtp-465", "bericht:geheim", implicit);
  ini_.Set("email", "smtpserver", "localhost:" + std::to_string(smtps.Port())).Set("email", "verschluesselung", "ssl");
  r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  ini_.SetText("sql", "select nichtda from fehlt;");
  r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  const std::vector<TReceivedMail> mails = smtps.Mails();
  ASSERT_EQ(mails.size(), 2u) << smtps.Log();
  EXPECT_EQ(mails[1].mailFrom, "vornetta@localhost");

  // Without the CA file the certificate is not trusted: neither mail goes, the password stays home.
  ini_.Set("email", "zertifikate", "");
  r = Run();
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  EXPECT_NE(r.err.find("(Zertifikate, Einstellung zertifikate)"), std::string::npos) << r.err;
  EXPECT_EQ(smtps.Mails().size(), 2u);
}

TEST_F(UnattendedRun, ScriptedServerReceivesTheDocumentDotStuffedAndQuit) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde as Kunde, betrag as Betrag from umsatz order by betrag desc;");
  ini_.Set("email", "kopfzeile", ".Punkt am Zeilenanfang\r\n.");
  ini_.Set("email", "cc", "kopie@example.com");
  test::ScriptServer server({test::Send("220 fake ESMTP\r\n"), test::Reply("250 fake"), test::Reply("250 reset"),
                             test::Reply("250 sender"), test::Reply("250 to"), test::Reply("250 cc"),
                             test::Reply("250 bcc"), test::Reply("354 data"), test::Reply("250 queued"),
                             test::Await(), test::Close()});
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(server.Port()));
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;

  report::TReportText expected;
  expected.Append("<html>");
  expected.Append({"<style>", kCss, "</style>"});
  expected.Append("<body>");
  expected.Append("<div class=\"kopfzeile\">");
  expected.Append(".Punkt am Zeilenanfang\r\n.");
  expected.Append("</div>");
  AppendSalesTable(expected, 0);
  AppendFoot(expected);
  // Dot-stuffed on the wire: every line that begins with "." gets one more.
  std::string stuffed;
  for (std::string_view rest = expected.DocumentText(); !rest.empty();) {
    const std::size_t end = rest.find("\r\n") + 2;
    if (rest.front() == '.') stuffed += '.';
    stuffed += rest.substr(0, end);
    rest.remove_prefix(end);
  }

  const std::string t = server.Transcript();
  EXPECT_EQ(t.substr(0, t.find("\r\n") + 2).rfind("EHLO ", 0), 0u) << t;
  EXPECT_NE(t.find("RSET\r\nMAIL FROM:<absender@example.com>\r\nRCPT TO:<leitung@example.com>\r\n"
                   "RCPT TO:<kopie@example.com>\r\nRCPT TO:<archiv@example.com>\r\nDATA\r\n"),
            std::string::npos)
      << t;
  const std::size_t body = t.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(t.substr(body + 4), stuffed + ".\r\nQUIT\r\n");
}

TEST_F(UnattendedRun, HostileReplyReachesStderrAndTheErrorMailWithoutControlCharacters) {
  using namespace std::string_literals;
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;");
  // NUL, ESC, BEL, DEL and the C1 byte CSI around text that must stay as it is.
  const std::string hostile = "\x00\xff\xfeGARBAGE\x1b[31mrot\x07\x9b" "2J\x7f" "Ende"s;
  test::ScriptServer server({test::Send("220 fake\r\n"), test::Reply("250 fake"), test::Reply("250 reset"),
                             test::Reply("550 " + hostile), test::Await(), test::Close(),
                             // The error mail comes in a session of its own.
                             test::Accept(), test::Send("220 fake\r\n"), test::Reply("250 fake"),
                             test::Reply("250 reset"), test::Reply("250 sender"), test::Reply("250 to"),
                             test::Reply("354 data"), test::Reply("250 queued"), test::Await(), test::Close()});
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(server.Port()));
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_EQ(r.err, "vornetta: ?ÿþGARBAGE?[31mrot??2J?Ende\n");

  const std::string t = server.Transcript();
  const std::size_t errorMail = t.rfind("\r\n\r\n");
  ASSERT_NE(errorMail, std::string::npos) << t;
  EXPECT_EQ(t.substr(errorMail + 4), "?\xff\xfeGARBAGE?[31mrot??2J?Ende\r\n.\r\nQUIT\r\n");
}

TEST_F(UnattendedRun, WarnsOnceWhenOthersMayReadTheSmtpPassword) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;");
  ini_.Set("email", "smtppass", "geheim");
  TProcessResult r = Run(0644);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "vornetta: Warnung: " + IniPath() + " ist für andere lesbar; chmod 600 empfohlen\n");
  EXPECT_EQ(sink_->Mails().size(), 1u) << "the warning does not stop the run";

  // A code page without "ü" (Japanese) loses nothing: stderr is UTF-8.
  r = Run(0644, "ja_JP.UTF-8");
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "vornetta: Warnung: " + IniPath() + " ist für andere lesbar; chmod 600 empfohlen\n");

  r = Run(0600);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(sink_->Mails().size(), 3u);
}

// The process of this test's run, found by its configuration file on the command line.
pid_t ProgramProcess(const std::string& iniPath) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmdline = ReadFile(entry.path().string() + "/cmdline");
    if (cmdline.find(iniPath + '\0' + "-unattend") != std::string::npos) return std::stoi(name);
  }
  return -1;
}

TEST_F(UnattendedRun, HoldsThePasswordWithoutCoreDumps) {
  CreateSqlite(kSalesTable);
  ini_.SetText("sql", "select kunde from umsatz;");
  ini_.Set("email", "smtppass", "geheim");
  // A server that accepts and says nothing holds the run while its limits are read.
  test::TSilentListener listener;
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(listener.Port()));
  auto run = std::async(std::launch::async, [this] { return Run(); });

  pollfd waiting{listener.Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 120000), 1);
  const int connection = ::accept(listener.Fd(), nullptr, nullptr);
  const pid_t program = ProgramProcess(IniPath());
  std::string limits = program > 0 ? ReadFile("/proc/" + std::to_string(program) + "/limits") : "";
  listener.Close();
  ::close(connection);
  EXPECT_EQ(run.get().exitStatus, 2);

  ASSERT_GT(program, 0);
  const std::size_t core = limits.find("Max core file size");
  ASSERT_NE(core, std::string::npos) << limits;
  std::istringstream line(limits.substr(core + std::string_view("Max core file size").size()));
  std::string soft, hard;
  line >> soft >> hard;
  EXPECT_EQ(soft, "0") << limits;
  EXPECT_EQ(hard, "0") << limits;
}

// The connection string a test server's start script exported. Without it the
// test fails in CI, where the server must run, and is skipped elsewhere.
void ServerConnection(const char* variable, std::string& connection) {
  const char* value = std::getenv(variable);
  if (value && *value) {
    connection = value;
    return;
  }
  const char* ci = std::getenv("CI");
  if (ci && std::string(ci) == "true") FAIL() << variable << " is not set";
  GTEST_SKIP() << variable << " is not set";
}

// The configuration of a server test: the report of `sql` mailed to the sink.
TIniText ServerReportIni(const std::string& connection, const std::string& subject, int port,
                         const std::string& sql) {
  TIniText ini;
  ini.Set("datenbank", "connection", connection)
      .Set("email", "empfaenger", "leitung@example.com")
      .Set("email", "betreff", subject)
      .Set("email", "smtpserver", "127.0.0.1:" + std::to_string(port))
      .Set("email", "absender", kSender)
      .SetText("sql", sql);
  return ini;
}

// The report with an empty header, style sheet and footer around the given
// pieces (written in UTF-8, sent in the code page).
std::string ReportAround(std::initializer_list<const char*> pieces) {
  report::TReportText expected;
  for (const char* piece : {"<html>", "<style></style>", "<body>", "<div class=\"kopfzeile\">", "", "</div>"}) {
    expected.Append(piece);
  }
  for (const char* piece : pieces) expected.Append(piece);
  for (const char* piece : {"<div class=\"fusszeile\">", "", "</div>", "</body></html>"}) expected.Append(piece);
  return std::string(expected.DocumentText());
}

TEST(UnattendedRunMariaDb, MailsTheReportOfAMariaDbDatabase) {
  std::string connection;
  ServerConnection("VORNETTA_MARIADB_CONNECTION", connection);
  if (connection.empty()) return;
  platform::UseSystemLanguage(platform::Language::Other);
  {
    db::TDatenbankAdo setup(connection);
    setup.Connection().Execute("drop table if exists e2e_umsatz");
    setup.Connection().Execute("create table e2e_umsatz (kunde varchar(30), betrag double) default charset utf8mb4");
    // Statements are in the system code page, as the program sends them.
    setup.Connection().Execute("insert into e2e_umsatz values ('Müller', 12.5), ('Huber', 7.5)");
  }
  TTempDir dir;
  TSmtpSink sink(dir / "smtp");
  TIniText ini = ServerReportIni(connection, "MariaDB", sink.Port(),
                                 "select kunde as Kunde, betrag as Betrag from e2e_umsatz order by betrag desc;");
  ini.Save(dir / "report.ini");
  const TProcessResult r = RunProcess({ProgramPath(), dir / "report.ini", "-unattend"},
                                      {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen"}, dir.Path());
  EXPECT_EQ(r.exitStatus, 0) << r.err;

  const std::string expected = ReportAround(
       {"<table width=\"100%\" class=\"sql0\">", "<tr class=\"head\">", "<th class=\"kunde string\">Kunde</th>",
        "<th class=\"betrag double\">Betrag</th>", "</tr>", "<tr id=\"row1\" class=\"odd\">",
        "<td class=\"kunde string\">Müller</td>", "<td class=\"betrag double\">12,5</td>", "</tr>",
        "<tr id=\"row2\" class=\"even\">", "<td class=\"kunde string\">Huber</td>",
        "<td class=\"betrag double\">7,5</td>", "</tr>", "<tr class=\"sum\">", "<th class=\"kunde string\"><span>",
        "0", "</span></th>", "<th class=\"betrag double\"><span>", "20", "</span></th>", "</tr>",
        "</table><br>"});
  const std::vector<TReceivedMail> mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u) << r.err;
  EXPECT_EQ(mails[0].body, expected);

  db::TDatenbankAdo cleanup(connection);
  cleanup.Connection().Execute("drop table e2e_umsatz");
}

// PostgreSQL: a numeric column summed, a boolean, NULLs and umlauts, an update's
// count table; then a failing statement's message in the error mail.
TEST(UnattendedRunPostgres, MailsTheReportAndTheErrorOfAPostgresDatabase) {
  std::string connection;
  ServerConnection("VORNETTA_POSTGRES_CONNECTION", connection);
  if (connection.empty()) return;
  platform::UseSystemLanguage(platform::Language::Other);
  {
    db::TDatenbankAdo setup(connection);
    setup.Connection().Execute("drop table if exists e2e_umsatz");
    setup.Connection().Execute(
        "create table e2e_umsatz (kunde varchar(30), betrag numeric(10,2), bezahlt boolean, notiz text)");
    setup.Connection().Execute(
        "insert into e2e_umsatz values ('Müller', 12.50, true, 'Größe'), ('Huber', 7.25, false, null)");
  }
  TTempDir dir;
  TSmtpSink sink(dir / "smtp");
  TIniText ini = ServerReportIni(connection, "PostgreSQL", sink.Port(),
                                 "select kunde as \"Kunde\", betrag as \"Betrag\", bezahlt, notiz\n"
                                 "from e2e_umsatz order by betrag desc;\n"
                                 "update e2e_umsatz set bezahlt = true where not bezahlt;");
  ini.Set("datenbank", "ergebnisUpdate", "1");
  ini.Save(dir / "report.ini");
  const auto run = [&] {
    return RunProcess({ProgramPath(), dir / "report.ini", "-unattend"},
                      {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen"}, dir.Path());
  };
  TProcessResult r = run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;

  const std::string expected = ReportAround(
       {"<table width=\"100%\" class=\"sql0\">", "<tr class=\"head\">", "<th class=\"kunde string\">Kunde</th>",
        "<th class=\"betrag double\">Betrag</th>", "<th class=\"bezahlt integer\">bezahlt</th>",
        "<th class=\"notiz string\">notiz</th>", "</tr>", "<tr id=\"row1\" class=\"odd\">",
        "<td class=\"kunde string\">Müller</td>", "<td class=\"betrag double\">12,50</td>",
        "<td class=\"bezahlt integer\">True</td>", "<td class=\"notiz string\">Größe</td>", "</tr>",
        "<tr id=\"row2\" class=\"even\">", "<td class=\"kunde string\">Huber</td>",
        "<td class=\"betrag double\">7,25</td>", "<td class=\"bezahlt integer\">False</td>",
        "<td class=\"notiz string\"></td>", "</tr>", "<tr class=\"sum\">", "<th class=\"kunde string\"><span>",
        "0", "</span></th>", "<th class=\"betrag double\"><span>", "19,75", "</span></th>",
        "<th class=\"bezahlt integer\"><span>", "0", "</span></th>", "<th class=\"notiz string\"><span>", "0",
        "</span></th>", "</tr>", "</table><br>", "<table width=\"100%\" class=\"sql1\">",
        "<tr class=\"update\"><td>1 Datensätze geändert.</td></tr>", "</table><br>"});
  std::vector<TReceivedMail> mails = sink.Mails();
  ASSERT_EQ(mails.size(), 1u) << r.err;
  EXPECT_EQ(mails[0].body, expected);

  ini.SetText("sql", "select kunde from e2e_umsatz;\nselect nichtda from fehlt;");
  ini.Save(dir / "report.ini");
  r = run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  mails = sink.Mails();
  ASSERT_EQ(mails.size(), 2u) << r.err;
  EXPECT_EQ(mails[1].rcptTo, std::vector<std::string>{"absender@example.com"});
  EXPECT_EQ(mails[1].Header("Subject").rfind("Fehler:", 0), 0u) << mails[1].header;
  EXPECT_NE(mails[1].body.find("relation \"fehlt\" does not exist"), std::string::npos) << mails[1].body;

  // A statement that sleeps for an hour ends at its time limit.
  ini.Set("datenbank", "abfrageTimeout", "1").SetText("sql", "select pg_sleep(3600);");
  ini.Save(dir / "report.ini");
  r = run();
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("abfrageTimeout"), std::string::npos) << r.err;
  mails = sink.Mails();
  ASSERT_EQ(mails.size(), 3u) << r.err;
  EXPECT_NE(mails[2].body.find("abfrageTimeout"), std::string::npos) << mails[2].body;

  db::TDatenbankAdo cleanup(connection);
  cleanup.Connection().Execute("drop table e2e_umsatz");
}

}  // namespace
}  // namespace vornetta::e2e
