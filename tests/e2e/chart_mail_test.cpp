// Charts in the mail, end to end through build/vornetta and a real SMTP server:
// the report with two charts and a CSV attachment, read back with Python's mail
// package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class ChartMail : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult made = RunProcess(
        {"/usr/bin/sqlite3", dir_ / "shop.db",
         "create table kunde (name varchar(40), umsatz double, seit date);"
         "insert into kunde values ('Müller', 12.5, '2024-03-01');"
         "insert into kunde values ('Huber', 7.25, '2023-12-24');"
         "insert into kunde values ('Schmidt', 3, '2024-01-15');"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "shop.db"))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "betreff", "Kunden")
        .Set("email", "absender", "absender@example.com")
        .Set("email", "css", "tr.head { background-color: #336699; color: white }")
        .SetText("sql",
                 "select name as Name, umsatz as Umsatz from kunde order by name;\n"
                 "select seit as Seit, umsatz as Umsatz from kunde order by seit;");
  }

  TProcessResult Run() {
    ini_.Save(dir_ / "report.ini");
    return RunProcess({ProgramPath(), dir_ / "report.ini", "-unattend"},
                      {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY"}, dir_.Path());
  }

  std::string Parts(const std::string& mail) {
    WriteFile(dir_ / "parsed.eml", mail);
    const TProcessResult r =
        RunProcess({"/usr/bin/python3", SourceDir() + "/tests/e2e/chart_parts.py", dir_ / "parsed.eml"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
  }

  TTempDir dir_;
  TIniText ini_;
};

TEST_F(ChartMail, TwoChartsGoInlineAboveTheirTablesBeforeTheAttachment) {
  TSmtpSink sink(dir_ / "smtp");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink.Port()))
      .Set("email", "anhang", "csv")
      .Set("diagramm", "0", "balken;Name;Umsatz")
      .Set("diagramm", "1", "linie;Seit;Umsatz");
  const TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(sink.Mails().size(), 1u);
  const std::string parts = Parts(sink.Mails()[0].raw);
  const std::vector<std::string> expected = {
      "defects 0",
      "tree multipart/mixed",
      "tree   multipart/related",
      "tree     text/html",
      "tree     image/png <diagramm-sql0@vornetta> diagramm-0.png",
      "tree     image/png <diagramm-sql1@vornetta> diagramm-1.png",
      "tree   text/csv ergebnis-1.csv",
      "tree   text/csv ergebnis-2.csv",
      "img diagramm-sql0@vornetta Diagramm: Balken, Umsatz nach Name 800x360 above sql0",
      "img diagramm-sql1@vornetta Diagramm: Linie, Umsatz nach Seit 800x360 above sql1",
      "png diagramm-sql0@vornetta 1600x720",
      "png diagramm-sql1@vornetta 1600x720",
      "base64 76"};
  EXPECT_EQ(Lines(parts), expected) << parts;

  // Without attachments the related part is the mail itself.
  ini_.Set("email", "anhang", "");
  ASSERT_EQ(Run().exitStatus, 0);
  ASSERT_EQ(sink.Mails().size(), 2u);
  const std::vector<std::string> tree = Lines(Parts(sink.Mails()[1].raw));
  ASSERT_GE(tree.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(tree.begin(), tree.begin() + 5),
            (std::vector<std::string>{"defects 0", "tree multipart/related", "tree   text/html",
                                      "tree   image/png <diagramm-sql0@vornetta> diagramm-0.png",
                                      "tree   image/png <diagramm-sql1@vornetta> diagramm-1.png"}));
}

TEST_F(ChartMail, BadSettingMailsTheErrorAndNoReport) {
  TSmtpSink sink(dir_ / "smtp");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink.Port())).Set("diagramm", "1", "linie;Seit;Name");
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err, "vornetta: Einstellung 1 im Abschnitt diagramm: die Y-Spalte \"Name\" gibt es im Ergebnis nicht "
                   "(Spalten: Seit, Umsatz)\n");
  ASSERT_EQ(sink.Mails().size(), 1u);
  EXPECT_NE(sink.Mails()[0].Header("Content-Type").find("text/plain"), std::string::npos);
}

}  // namespace
}  // namespace vornetta::e2e
