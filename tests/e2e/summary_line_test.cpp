// The summary line of build/vornetta's unattended runs: one per run for every
// outcome, the last line on stderr, read back with Python's shell-word parser
// (a file name with a blank stands in quotes).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

const std::vector<std::string> kSummaryOn = {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen", "DISPLAY",
                                             "WAYLAND_DISPLAY", "VORNETTA_ZUSAMMENFASSUNG=1"};

class SummaryLine : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult made =
        RunProcess({"/usr/bin/sqlite3", dir_ / "shop.db",
                    "create table kunde (name varchar(40), umsatz double);"
                    "insert into kunde values ('Müller', 12.5), ('Schulz', 7.25), ('Meier', 1);"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "shop.db"))
        .Set("datenbank", "ergebnisUpdate", "1")
        .Set("email", "empfaenger", "leitung@example.com, vertrieb@example.com")
        .Set("email", "cc", "archiv@example.com")
        .Set("email", "absender", "absender@example.com")
        .Set("email", "betreff", "Kunden");
  }

  TProcessResult Run(const std::string& script, int port, std::vector<std::string> extra = {}) {
    ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(port)).SetText("sql", script).Save(IniPath());
    std::vector<std::string> argv = {ProgramPath(), IniPath(), "-unattend"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return RunProcess(argv, kSummaryOn, dir_.Path());
  }

  // The last stderr line as its words, checked to be the only summary line.
  std::map<std::string, std::string> Summary(const TProcessResult& r) {
    std::map<std::string, std::string> words;
    EXPECT_EQ(Occurrences(r.err, "ergebnis="), 1u) << r.err;
    const std::size_t start = r.err.rfind('\n', r.err.size() - 2);
    const std::string last = r.err.substr(start == std::string::npos ? 0 : start + 1);
    EXPECT_TRUE(last.starts_with("vornetta: ergebnis=")) << r.err;
    WriteFile(dir_ / "line.txt", last);
    const TProcessResult parsed = RunProcess(
        {"/usr/bin/python3", "-c",
         "import shlex, sys\n"
         "words = shlex.split(open(sys.argv[1], encoding='utf-8').read())\n"
         "assert words[0] == 'vornetta:', words\n"
         "for w in words[1:]:\n"
         "    k, v = w.split('=', 1)\n"
         "    print(k); print(v)\n",
         dir_ / "line.txt"});
    EXPECT_EQ(parsed.exitStatus, 0) << parsed.err;
    std::istringstream lines(parsed.out);
    for (std::string key, value; std::getline(lines, key) && std::getline(lines, value);) words[key] = value;
    return words;
  }

  static std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
  }

  std::string IniPath() const { return dir_ / "mein bericht.ini"; }

  TTempDir dir_;
  TIniText ini_;
};

TEST_F(SummaryLine, EveryOutcomeEndsWithOneParseableLine) {
  TSmtpSink sink(dir_ / "smtp");
  const std::string select = "select name, umsatz from kunde order by name;";

  const TProcessResult sent = Run("update kunde set umsatz = umsatz; " + select, sink.Port());
  ASSERT_EQ(sent.exitStatus, 0) << sent.err;
  ASSERT_EQ(sink.Mails().size(), 1u);
  std::map<std::string, std::string> w = Summary(sent);
  EXPECT_EQ(w["ergebnis"], "gesendet");
  EXPECT_EQ(w["datei"], IniPath());
  EXPECT_EQ(w["tabellen"], "2");
  EXPECT_EQ(w["zeilen"], "4");  // three records and the count row
  EXPECT_EQ(w["empfaenger"], "3");
  // A whole number of milliseconds; its value is the machine's business.
  EXPECT_FALSE(w["dauer_ms"].empty());
  EXPECT_EQ(w["dauer_ms"].find_first_not_of("0123456789"), std::string::npos) << w["dauer_ms"];
  const std::string bytes = w["bytes"];
  EXPECT_GT(std::stoll(bytes), 500) << bytes;
  EXPECT_EQ(w.size(), 7u);

  // The dry run counts the same report and says it sent nothing.
  const TProcessResult dry = Run("update kunde set umsatz = umsatz; " + select, sink.Port(),
                                 {"--output=" + (dir_ / "probe.eml")});
  ASSERT_EQ(dry.exitStatus, 0) << dry.err;
  w = Summary(dry);
  EXPECT_EQ(w["ergebnis"], "probelauf");
  EXPECT_EQ(w["bytes"], bytes);
  EXPECT_EQ(w["empfaenger"], "3");

  const TProcessResult empty = Run("select name from kunde where umsatz > 100;", sink.Port());
  ASSERT_EQ(empty.exitStatus, 0) << empty.err;
  w = Summary(empty);
  EXPECT_EQ(w["ergebnis"], "leer");
  EXPECT_EQ(w["tabellen"], "1");
  EXPECT_EQ(w["zeilen"], "0");
  EXPECT_EQ(w["empfaenger"], "0");

  // The build fails at its second statement; the error mail reaches the sender.
  const TProcessResult failed = Run(select + " select * from gibtsnicht;", sink.Port());
  ASSERT_EQ(failed.exitStatus, 1) << failed.err;
  ASSERT_EQ(sink.Mails().size(), 2u);
  w = Summary(failed);
  EXPECT_EQ(w["ergebnis"], "fehler");
  EXPECT_EQ(w["tabellen"], "1");
  EXPECT_EQ(w["zeilen"], "3");
  EXPECT_EQ(w["empfaenger"], "0");

  const TProcessResult unreachable = Run(select, ClosedLoopbackPort());
  ASSERT_EQ(unreachable.exitStatus, 2) << unreachable.err;
  w = Summary(unreachable);
  EXPECT_EQ(w["ergebnis"], "fehlermail-fehler");
  EXPECT_EQ(w["zeilen"], "3");
  EXPECT_EQ(w["empfaenger"], "0");

  // Another run holds the lock beside the file.
  const int lock = ::open((IniPath() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  const TProcessResult busy = Run(select, sink.Port());
  ::close(lock);
  ASSERT_EQ(busy.exitStatus, 3) << busy.err;
  w = Summary(busy);
  EXPECT_EQ(w["ergebnis"], "belegt");
  EXPECT_EQ(w["datei"], IniPath());
  EXPECT_EQ(w["zeilen"], "0");
  EXPECT_EQ(sink.Mails().size(), 2u);

  // A file that cannot be created ends the run before its build.
  const std::string missing = dir_ / "fehlt/bericht.ini";
  const TProcessResult unopened = RunProcess({ProgramPath(), missing, "-unattend"}, kSummaryOn, dir_.Path());
  ASSERT_EQ(unopened.exitStatus, 1) << unopened.err;
  w = Summary(unopened);
  EXPECT_EQ(w["ergebnis"], "fehler");
  EXPECT_EQ(w["datei"], missing);
  EXPECT_EQ(w["tabellen"], "0");

  // Off unless asked for or written into the journal: cron mails every stderr line.
  ini_.Save(IniPath());
  const TProcessResult quiet = RunProcess({ProgramPath(), IniPath(), "-unattend"},
                                          {"LC_ALL=de_DE.UTF-8", "QT_QPA_PLATFORM=offscreen",
                                           "VORNETTA_ZUSAMMENFASSUNG", "JOURNAL_STREAM=1:1"},
                                          dir_.Path());
  EXPECT_EQ(quiet.exitStatus, 0);
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
}  // namespace vornetta::e2e
