// Placeholders, the send condition and the time zone through build/vornetta:
// a subject with yesterday's date in Berlin on a machine running in UTC, read
// back with Python's mail parser, and alerts that go out only when they matter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

// 2026-12-08 23:30:00 UTC, 00:30 on 9 December in Berlin.
const std::vector<std::string> kUtcMachine = {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen", "DISPLAY",
                                              "WAYLAND_DISPLAY", "TZ=UTC", "VORNETTA_TEST_NOW=1796772600"};

class ReportRules : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult made = RunProcess(
        {"/usr/bin/sqlite3", dir_ / "shop.db",
         "create table kunde (name varchar(40), umsatz double);"
         "insert into kunde values ('Meier', 12.5), ('Huber', 7.25), ('Kunz', NULL);"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "shop.db"))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "absender", "Vornetta <absender@example.com>")
        .SetText("sql", "select name as Name, umsatz as Umsatz from kunde;");
  }

  TProcessResult Run(const std::string& ini, std::vector<std::string> extra = {}) {
    ini_.Save(ini);
    std::vector<std::string> argv = {ProgramPath(), ini, "-unattend"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return RunProcess(argv, kUtcMachine, dir_.Path());
  }

  // Subject (decoded), Date and the HTML body as Python's mail parser reads them.
  std::string Parsed(const std::string& mail) {
    WriteFile(dir_ / "mail.eml", mail);
    const TProcessResult r = RunProcess(
        {"/usr/bin/python3", "-c",
         "import email, email.policy, sys\n"
         "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)\n"
         "print(m['subject']); print(m['date']); print(m.get_content())",
         dir_ / "mail.eml"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
  }

  int Customers() {
    const TProcessResult r = RunProcess({"/usr/bin/sqlite3", dir_ / "shop.db", "select count(*) from kunde;"});
    return std::stoi(r.out);
  }

  TTempDir dir_;
  TIniText ini_;
};

TEST_F(ReportRules, SubjectHeaderAndDateFollowTheConfiguredZoneOnAUtcMachine) {
  const std::string ini = dir_ / "Umsätze <Filialen>.ini";
  ini_.Set("email", "betreff", "Umsatz vom {datum-1}, {datei}")
      .Set("email", "kopfzeile", "<h1>{zeilen} Kunden, Summe {summe:0:Umsatz}, KW {kw}</h1>")
      .Set("email", "fusszeile", "{datei} {{fest}} {gibtsnicht}")
      .Set("email", "zeitzone", "Europe/Berlin");
  TProcessResult r = Run(ini, {"--output=-"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("\r\nDate: Wed, 9 Dec 2026 00:30:00 +0100\r\n"), std::string::npos) << r.out;
  std::string parsed = Parsed(r.out);
  EXPECT_TRUE(parsed.starts_with("Umsatz vom 08.12.2026, Umsätze <Filialen>\n")) << parsed;
  EXPECT_NE(parsed.find("<h1>3 Kunden, Summe 19,75, KW 50</h1>"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Umsätze &lt;Filialen&gt; {fest} {gibtsnicht}"), std::string::npos) << parsed;

  // The system's zone, UTC: still 8 December.
  ini_.Set("email", "zeitzone", "");
  r = Run(ini, {"--output=-"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("\r\nDate: Tue, 8 Dec 2026 23:30:00 +0000\r\n"), std::string::npos) << r.out;
  EXPECT_TRUE(Parsed(r.out).starts_with("Umsatz vom 07.12.2026, ")) << r.out;

  ini_.Set("email", "zeitzone", "Europe/Berln");
  r = Run(ini, {"--output=-"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Unbekannte Zeitzone \"Europe/Berln\": erwartet"), std::string::npos) << r.err;
}

TEST_F(ReportRules, AnAlertGoesOutOnlyWhenItsConditionHolds) {
  TSmtpSink sink(dir_ / "smtp");
  const std::string ini = dir_ / "alarm.ini";
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink.Port()))
      .Set("email", "betreff", "Offene Posten: {zeilen:0}")
      .Set("email", "sendenWenn", "zeilen:0 > 0 oder summe:1:Umsatz > 1000")
      .Set("datenbank", "ergebnisLeer", "1")  // the condition decides, not the empty report
      .SetText("sql", "select name from kunde where umsatz > 100;\nselect umsatz as Umsatz from kunde;");
  TProcessResult r = Run(ini);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "vornetta: Bedingung nicht erfüllt – nichts versendet.\n");
  EXPECT_TRUE(sink.Mails().empty());

  ini_.SetText("sql", "select name from kunde where umsatz > 10;\nselect umsatz as Umsatz from kunde;");
  r = Run(ini);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(sink.Mails().size(), 1u) << sink.Log();
  EXPECT_EQ(sink.Mails()[0].Header("Subject"), "Offene Posten: 1");

  // An unreadable condition fails before any statement runs, and is mailed to the sender.
  ini_.Set("email", "sendenWenn", "zeilen:0 >").SetText("sql", "insert into kunde values ('Neu', 1);");
  r = Run(ini);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(r.err.find("Einstellung sendenWenn"), std::string::npos) << r.err;
  EXPECT_EQ(Customers(), 3);
  ASSERT_EQ(sink.Mails().size(), 2u) << sink.Log();
  EXPECT_NE(sink.Mails()[1].body.find("sendenWenn"), std::string::npos);
}

}  // namespace
}  // namespace vornetta::e2e
