// What a scheduler needs of build/vornetta, end to end through the program:
// help and version, wrong switches, the dry run, the lock against overlapping
// runs, empty reports on request and CSV attachments, read back with Python's
// mail, csv and HTML parsers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "smtp/script_server.h"
#include "support/silent_listener.h"
#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

const char* const kSender = "Vornetta Test <absender@example.com>";
const std::vector<std::string> kGerman = {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen", "DISPLAY",
                                          "WAYLAND_DISPLAY"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  return std::ranges::count(Lines(text), line) > 0;
}

// The mail without its "Date" line, which names the moment of the run.
std::string WithoutDate(const std::string& mail) {
  const std::size_t date = mail.find("\r\nDate: ");
  if (date == std::string::npos) return mail;
  return mail.substr(0, date) + mail.substr(mail.find("\r\n", date + 2));
}

// The data phase of a transcript without SMTP's dot-stuffing: from after DATA
// to the final "." line.
std::string DataOf(const std::string& transcript) {
  const std::size_t start = transcript.find("DATA\r\n");
  const std::size_t end = transcript.find("\r\n.\r\n", start);
  if (start == std::string::npos || end == std::string::npos) return "";
  std::string data;
  for (const std::string& line : Lines(transcript.substr(start + 6, end + 2 - start - 6))) {
    data += line.starts_with(".") ? line.substr(1) : line;
    data += '\n';
  }
  return data;
}

class ScheduledRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult made = RunProcess(
        {"/usr/bin/sqlite3", dir_ / "shop.db",
         "create table kunde (name varchar(40), umsatz double, seit date);"
         "insert into kunde values ('Müller; Söhne', 12.5, '2024-03-01');"
         "insert into kunde values ('Der \"Laden\"', 7.25, NULL);"
         "insert into kunde values ('Zeile eins' || char(10) || 'Zeile zwei', NULL, '2023-12-24');"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "shop.db"))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "betreff", "Kunden")
        .Set("email", "absender", kSender)
        .SetText("sql", "select name as Name, umsatz as Umsatz, seit as Seit from kunde order by name;");
  }

  void UseServer(int port) { ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(port)); }

  TProcessResult Run(std::vector<std::string> extra = {}, std::vector<std::string> env = kGerman) {
    ini_.Save(IniPath());
    std::vector<std::string> argv = {ProgramPath(), IniPath(), "-unattend"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return RunProcess(argv, env, dir_.Path());
  }

  // mail_parts.py's facts about one mail.
  std::string Parts(const std::string& mail) {
    WriteFile(dir_ / "parsed.eml", mail);
    const TProcessResult r =
        RunProcess({"/usr/bin/python3", SourceDir() + "/tests/e2e/mail_parts.py", dir_ / "parsed.eml"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
  }

  std::string IniPath() const { return dir_ / "report.ini"; }

  TTempDir dir_;
  TIniText ini_;
};

TEST_F(ScheduledRun, HelpVersionAndWrongSwitchesEndBeforeAnythingStarts) {
  const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  TProcessResult r = RunProcess({ProgramPath(), "--help"}, noDisplay, dir_.Path());
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* part : {"Aufruf: vornetta [KONFIGURATIONSDATEI]", "-unattend", "--output=DATEI", "--version",
                           "  3  ein anderer Lauf", "README.md"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }
  const std::string help = r.out;
  r = RunProcess({ProgramPath(), "report.ini", "-h", "-unattend"}, noDisplay, dir_.Path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, help);

  r = RunProcess({ProgramPath(), "--version"}, noDisplay, dir_.Path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "vornetta " VORNETTA_VERSION "\n");

  r = RunProcess({ProgramPath(), "report.ini", "--gibtsnicht", "-unattend"}, noDisplay, dir_.Path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vornetta: unbekannter Schalter --gibtsnicht (Hilfe: vornetta --help)\n");
  // The dry run belongs to the unattended run, and needs a target.
  for (const char* wrong : {"--output=probe.eml", "--output="}) {
    r = RunProcess({ProgramPath(), "report.ini", wrong}, noDisplay, dir_.Path());
    EXPECT_EQ(r.exitStatus, 1) << wrong;
    EXPECT_NE(r.err.find("--output"), std::string::npos) << r.err;
  }
  // Single-dash words keep their meaning: passed over, no error.
  ini_.SetText("sql", "select name from kunde where 0;");
  r = Run({"-gibtsnicht"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;

  // Nothing of the switch runs created a file.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
    left.push_back(entry.path().filename().string());
  std::ranges::sort(left);
  EXPECT_EQ(left, (std::vector<std::string>{"report.ini", "report.ini.lock", "shop.db"}));
}

TEST_F(ScheduledRun, DryRunWritesTheBytesTheServerReceivesWithoutConnecting) {
  ini_.Set("email", "kopfzeile", ".Punkt am Zeilenanfang\r\n..zwei");
  ini_.Set("email", "anhang", "csv");
  UseServer(ClosedLoopbackPort());  // a connection would fail the run
  const TProcessResult dry = Run({"--output=-"});
  ASSERT_EQ(dry.exitStatus, 0) << dry.err;
  EXPECT_EQ(dry.err, "");
  EXPECT_NE(dry.out.find("\r\n.Punkt am Zeilenanfang\r\n..zwei\r\n"), std::string::npos) << dry.out;

  const TProcessResult file = Run({"--output=probe.eml"});
  ASSERT_EQ(file.exitStatus, 0) << file.err;
  EXPECT_EQ(file.out, "");
  EXPECT_EQ(WithoutDate(ReadFile(dir_ / "probe.eml")), WithoutDate(dry.out));

  test::ScriptServer server({test::Send("220 fake ESMTP\r\n"), test::Reply("250 fake"), test::Reply("250 reset"),
                             test::Reply("250 sender"), test::Reply("250 to"), test::Reply("354 data"),
                             test::Reply("250 queued"), test::Await(), test::Close()});
  UseServer(server.Port());
  const TProcessResult sent = Run();
  ASSERT_EQ(sent.exitStatus, 0) << sent.err;
  std::string expected;
  for (const std::string& line : Lines(WithoutDate(dry.out))) expected += line + "\n";
  EXPECT_EQ(WithoutDate(DataOf(server.Transcript())), expected);

  const std::string parts = Parts(dry.out);
  EXPECT_TRUE(HasLine(parts, "defects 0")) << parts;
  EXPECT_TRUE(HasLine(parts, "part 1 text/html iso-8859-15 -")) << parts;
}

// The first run is held at its SMTP connection until the second has ended.
TEST_F(ScheduledRun, SecondRunOfTheSameFileEndsWithStatusThreeAndSendsNothing) {
  TSmtpSink sink(dir_ / "smtp");
  test::TSilentListener gate;
  UseServer(gate.Port());
  ini_.Save(IniPath());
  auto first = std::async(std::launch::async, [&] {
    return RunProcess({ProgramPath(), IniPath(), "-unattend"}, kGerman, dir_.Path());
  });

  pollfd waiting{gate.Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 120000), 1) << "the first run never connected";
  const int held = ::accept4(gate.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(held, 0);
  gate.Close();

  const TProcessResult second = RunProcess({ProgramPath(), IniPath(), "-unattend"}, kGerman, dir_.Path());
  EXPECT_EQ(second.exitStatus, 3);
  EXPECT_EQ(second.err, "vornetta: " + IniPath() + " wird bereits von einem anderen Lauf verwendet\n");

  // Now the first run reaches the real server through this relay.
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(sink.Port()));
  ASSERT_EQ(::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  bool open[2] = {true, true};
  const int ends[2] = {held, server};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while ((open[0] || open[1]) && std::chrono::steady_clock::now() < deadline) {
    pollfd both[2] = {{held, static_cast<short>(open[0] ? POLLIN : 0), 0},
                      {server, static_cast<short>(open[1] ? POLLIN : 0), 0}};
    if (::poll(both, 2, 200) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(both[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[4096];
      const ssize_t n = ::read(ends[i], chunk, sizeof chunk);
      if (n <= 0) {
        open[i] = false;
        ::shutdown(ends[1 - i], SHUT_WR);
      } else if (::send(ends[1 - i], chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
        open[i] = false;
      }
    }
  }
  ::close(held);
  ::close(server);
  const TProcessResult firstResult = first.get();
  EXPECT_EQ(firstResult.exitStatus, 0) << firstResult.err;
  EXPECT_EQ(sink.Mails().size(), 1u) << sink.Log();

  // The lock went with the first run.
  UseServer(sink.Port());
  const TProcessResult third = Run();
  EXPECT_EQ(third.exitStatus, 0) << third.err;
  EXPECT_EQ(sink.Mails().size(), 2u);
}

TEST_F(ScheduledRun, EmptyReportIsMailedOnlyWhenTheSettingAsksForIt) {
  TSmtpSink sink(dir_ / "smtp");
  UseServer(sink.Port());
  ini_.SetText("sql", "select name as Name from kunde where 1 = 0;");
  TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(sink.Mails().empty());

  ini_.Set("datenbank", "ergebnisLeer", "1");
  r = Run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(sink.Mails().size(), 1u);
  EXPECT_NE(sink.Mails()[0].body.find("<tr class=\"empty\"><td colspan=\"1\">kein Ergebnis</td></tr>"),
            std::string::npos);
}

TEST_F(ScheduledRun, CsvAttachmentsCarryTheTablesAsSpreadsheetsReadThem) {
  TSmtpSink sink(dir_ / "smtp");
  UseServer(sink.Port());
  ini_.Set("datenbank", "ergebnisUpdate", "1")
      .SetText("sql",
               "select name as Name, umsatz as Umsatz, seit as Seit from kunde order by name;\n"
               "update kunde set umsatz = umsatz where 0;\n"
               "select 'Grüße' as \"Wort \"\"Zitat\"\"\" from kunde where 1 = 0;");
  // The same report without attachments: the HTML part must be it, byte for byte.
  TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(sink.Mails().size(), 1u);
  const std::string plainBody = sink.Mails()[0].body;

  ini_.Set("email", "anhang", "csv").Set("email", "kopfzeile", "=_Vornetta_Teil_0");
  r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<TReceivedMail> mails = sink.Mails();
  ASSERT_EQ(mails.size(), 2u);
  const TReceivedMail& mail = mails[1];
  // The report text holds the first candidate, so the boundary is the next one.
  EXPECT_EQ(mail.Header("Content-Type"), "multipart/mixed;\r\n\tboundary=\"=_Vornetta_Teil_1\"");
  const std::string htmlPart = "--=_Vornetta_Teil_1\r\nContent-Type: text/html;\r\n\tcharset=\"ISO-8859-15\"\r\n\r\n";
  ASSERT_EQ(mail.body.rfind(htmlPart, 0), 0u) << mail.body;
  const std::size_t htmlEnd = mail.body.find("--=_Vornetta_Teil_1\r\n", htmlPart.size());
  ASSERT_NE(htmlEnd, std::string::npos);
  EXPECT_EQ(mail.body.substr(htmlPart.size(), htmlEnd - htmlPart.size()),
            std::string(plainBody).replace(plainBody.find("<div class=\"kopfzeile\">\r\n\r\n") + 25, 0,
                                           "=_Vornetta_Teil_0"));
  for (const std::string& line : Lines(mail.body.substr(htmlEnd))) EXPECT_LE(line.size(), 77u) << line;

  const std::string parts = Parts(mail.raw);
  const std::vector<std::string> expected = {
      "type multipart/mixed",
      "mime 1.0",
      "defects 0",
      "part 1 text/html iso-8859-15 -",
      "part 2 text/csv utf-8 ergebnis-1.csv",
      "bom ergebnis-1.csv",
      R"(row ergebnis-1.csv ["Name", "Umsatz", "Seit"])",
      R"(row ergebnis-1.csv ["Der \"Laden\"", "7,25", ""])",
      R"(row ergebnis-1.csv ["Müller; Söhne", "12,5", "01.03.2024"])",
      R"(row ergebnis-1.csv ["Zeile eins\nZeile zwei", "", "24.12.2023"])",
      "part 3 text/csv utf-8 ergebnis-2.csv",
      "bom ergebnis-2.csv",
      R"(row ergebnis-2.csv ["Wort \"Zitat\""])",
      "table 1 same ergebnis-1.csv",
      "table 2 same ergebnis-2.csv"};
  EXPECT_EQ(Lines(parts), expected) << parts;
}

// anhang=xlsx with a row cap: the HTML part shows the first rows and a note
// naming the workbook; the workbook, read back with openpyxl, holds every row
// with numbers as numbers, dates as dates, empty cells for NULL, texts as they
// are (also a formula-like one, and characters outside Latin-9), and the sums
// as SUM formulas with their values.
TEST_F(ScheduledRun, WorkbookAttachmentHoldsNumbersDatesAndSumsOfTheCutTables) {
  TSmtpSink sink(dir_ / "smtp");
  UseServer(sink.Port());
  const TProcessResult added = RunProcess(
      {"/usr/bin/sqlite3", dir_ / "shop.db",
       "insert into kunde values ('Łódź 東京', -3.5, '2024-02-29');"
       "insert into kunde values ('=1+1', 1000, NULL);"});
  ASSERT_EQ(added.exitStatus, 0) << added.err;
  ini_.Set("email", "anhang", "xlsx")
      .Set("email", "zeilenMax", "2")
      .Set("format", "Umsatz", "#.##0,00")
      .SetText("sql",
               "select name as Name, umsatz as Umsatz, seit as Seit from kunde order by name;\n"
               "select name as Name from kunde where 0;");
  const TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_EQ(sink.Mails().size(), 1u);
  const std::string parts = Parts(sink.Mails()[0].raw);
  const std::vector<std::string> expected = {
      "type multipart/mixed",
      "mime 1.0",
      "defects 0",
      "part 1 text/html utf-8 -",
      "note … und 3 weitere Zeilen – vollständig im Anhang ergebnis.xlsx",
      "part 2 application/vnd.openxmlformats-officedocument.spreadsheetml.sheet None ergebnis.xlsx",
      "sheet Ergebnis 1 A2 A1:C6 A:23.7109,B:8.71094,C:12.7109",
      R"(cell Ergebnis 1 A1 s "Name" "Name" General bold)",
      R"(cell Ergebnis 1 B1 s "Umsatz" "Umsatz" General bold)",
      R"(cell Ergebnis 1 C1 s "Seit" "Seit" General bold)",
      R"(cell Ergebnis 1 A2 s "=1+1" "=1+1" General)",
      R"(cell Ergebnis 1 B2 n 1000 1000 #,##0.00)",
      R"(cell Ergebnis 1 A3 s "Der \"Laden\"" "Der \"Laden\"" General)",
      R"(cell Ergebnis 1 B3 n 7.25 7.25 #,##0.00)",
      R"(cell Ergebnis 1 A4 s "Müller; Söhne" "Müller; Söhne" General)",
      R"(cell Ergebnis 1 B4 n 12.5 12.5 #,##0.00)",
      R"(cell Ergebnis 1 C4 d "2024-03-01T00:00:00" "2024-03-01T00:00:00" dd.mm.yyyy)",
      R"(cell Ergebnis 1 A5 s "Zeile eins\nZeile zwei" "Zeile eins\nZeile zwei" General)",
      R"(cell Ergebnis 1 C5 d "2023-12-24T00:00:00" "2023-12-24T00:00:00" dd.mm.yyyy)",
      R"(cell Ergebnis 1 A6 s "Łódź 東京" "Łódź 東京" General)",
      R"(cell Ergebnis 1 B6 n -3.5 -3.5 #,##0.00)",
      R"(cell Ergebnis 1 C6 d "2024-02-29T00:00:00" "2024-02-29T00:00:00" dd.mm.yyyy)",
      R"~(cell Ergebnis 1 B7 f "=SUM(B2:B6)" 1016.25 #,##0.00)~",
      "sheet Ergebnis 2 A2 A1 A:8.71094",
      R"(cell Ergebnis 2 A1 s "Name" "Name" General bold)"};
  EXPECT_EQ(Lines(parts), expected) << parts;
  // The HTML part shows the first two rows with the pattern's text.
  const std::string body = sink.Mails()[0].body;
  EXPECT_NE(body.find("<td class=\"umsatz double\">1.000,00</td>"), std::string::npos) << body;
  EXPECT_NE(body.find("<td class=\"umsatz double\">7,25</td>"), std::string::npos);
  EXPECT_EQ(body.find("12,5"), std::string::npos);  // the third row is in the workbook only
  EXPECT_NE(body.find("\r\n1.016,25\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vornetta::e2e
