// "Statement testen" and the commands of the page "Datenbank", with the dialogs
// answered by the test and the log kept in memory.
#include <gtest/gtest.h>

#include <clocale>
#include <deque>
#include <functional>
#include <optional>
#include <fstream>

#include "config/my_ini_file.h"
#include "db/db_test_support.h"
#include "platform/code_page.h"
#include "platform/event_pump.h"
#include "commands/database_commands.h"
#include "commands/statement_test.h"
#include "db/connection_owner.h"

namespace vornetta::commands {
namespace {

using db::TDatenbankAdo;

// Records every dialog; warnings are answered from a list (Cancel when it runs
// out). Also the window's event pump, counting its rounds.
class FakeDialogs : public TDialogs, public platform::TEventPump {
 public:
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  Answer AskWarning(const std::string& caption, const std::string& text) override {
    shown.push_back("[" + caption + "] " + text);
    if (answers.empty()) return Answer::Cancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                  int maxLength) override {
    shown.push_back("[" + caption + "] " + prompt + " " + value);
    inputMaxLength = maxLength;
    if (onInput) onInput();
    if (!input) return false;
    value = *input;
    return true;
  }
  bool PumpEvents() override {
    ++eventRounds;
    return true;
  }

  std::vector<std::string> shown;
  std::deque<Answer> answers;
  std::optional<std::string> input;
  std::function<void()> onInput;
  int inputMaxLength = 0;
  int eventRounds = 0;
};

class MemoLog : public TLogSink {
 public:
  void Clear() override { lines.clear(); }
  void AddLine(const std::string& line) override { lines.push_back(line); }

  // The texts after the time stamps ("<date> <time>\t"); a line without a stamp shows up marked.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
      const size_t blank = line.find(' ');
      const size_t tab = line.find('\t');
      const bool stamped = blank > 0 && blank != std::string::npos && tab != std::string::npos && tab > blank + 1 &&
                           line.find_first_of(" \t", blank + 1) == tab;
      texts.push_back(stamped ? line.substr(tab + 1) : "UNSTAMPED " + line);
    }
    return texts;
  }

  std::vector<std::string> lines;
};

class PinnedDriver : public ::testing::Environment {
 public:
  void SetUp() override { db::test::PinDriver("SQLite3"); }
};
const auto* const pinnedDriver = ::testing::AddGlobalTestEnvironment(new PinnedDriver);


class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseSystemLanguage(platform::Language::Other);
    std::setlocale(LC_ALL, "C.UTF-8");
    dbFile_ = (dir_.Path() / "lager.db").string();
    ini_ = std::make_unique<config::TMyIniFile>((dir_.Path() / "vornetta.ini").string());
  }

  void UseSqlite() {
    ini_->WriteValue("datenbank", "connection", db::test::SqliteConnection(dbFile_));
    TDatenbankAdo setup(db::test::SqliteConnection(dbFile_));
    setup.Execute("create table t (a integer)");
    setup.Execute("insert into t values (1), (2), (3)");
  }

  int Count(const std::string& where = "") {
    return TDatenbankAdo(db::test::SqliteConnection(dbFile_)).GetData("select * from t " + where)->RecordCount();
  }

  db::test::TempDir dir_;
  std::string dbFile_;
  std::unique_ptr<config::TMyIniFile> ini_;
  // The program's connection, opened from the file as the window opens it.
  db::TConnectionOwner connection_{[this] { return ini_->ReadValueDefault("datenbank", "connection", ""); }};
  FakeDialogs dialogs_;
};

// Under a code page without umlauts the statement test's texts still reach a
// view that can show every character whole (the window), not with "?".
TEST_F(CommandTest, StatementTestTextsReachAUnicodeViewWhole) {
  UseSqlite();
  FakeDialogs unicode;
  unicode.answers = {TDialogs::Answer::Yes};
  platform::UseSystemLanguage(platform::Language::Japanese);
  TStatementTest test(connection_, unicode);
  test.Run("select * from t;\r\nupdate t set a = a where a = 1;\r\nselect * from fehlt");
  platform::UseSystemLanguage(platform::Language::Other);
  ASSERT_EQ(unicode.shown.size(), 5u);
  EXPECT_EQ(unicode.shown[0], "3 Statements gefunden.");
  EXPECT_EQ(unicode.shown[1], "Statement 1 erfolgreich: 3 Datensätze");
  EXPECT_EQ(unicode.shown[2],
            "[Warnung] Statement 2 wird beim Testen Daten in der Datenbank verändern. Trotzdem testen?");
  EXPECT_EQ(unicode.shown[3], "Statement 2 erfolgreich: 1 Datensätze");
  EXPECT_EQ(unicode.shown[4].rfind("Statement 3: ", 0), 0u) << unicode.shown[4];
  EXPECT_NE(unicode.shown[4].find("fehlt"), std::string::npos) << unicode.shown[4];
}

TEST_F(CommandTest, StatementTestReportsEachStatementWithItsNumber) {
  UseSqlite();
  TStatementTest test(connection_, dialogs_);
  test.Run("select * from t");
  EXPECT_EQ(dialogs_.shown, std::vector<std::string>{"Statement 1 erfolgreich: 3 Datensätze"});
  ASSERT_TRUE(connection_.IsOpen());

  dialogs_.shown.clear();
  dialogs_.answers = {TDialogs::Answer::Yes, TDialogs::Answer::No, TDialogs::Answer::Yes};
  test.Run("select * from t where a > 1;\r\nupdate t set a = a + 10 where a > 1;\r\n"
           "delete from t;select * from nirgends; insert into t values (7);");
  const std::string warning = " wird beim Testen Daten in der Datenbank verändern. Trotzdem testen?";
  EXPECT_EQ(dialogs_.shown, (std::vector<std::string>{
                                "5 Statements gefunden.",
                                "Statement 1 erfolgreich: 2 Datensätze",
                                "[Warnung] Statement 2" + warning,
                                "Statement 2 erfolgreich: 2 Datensätze",
                                "[Warnung] Statement 3" + warning,
                                "Statement 4: SQL-Anweisung fehlgeschlagen: [SQLite]no such table: nirgends (1)",
                                "[Warnung] Statement 5" + warning,
                                "Statement 5 erfolgreich: 1 Datensätze",
                            }));
  EXPECT_EQ(Count(), 4);
  EXPECT_EQ(Count("where a > 10"), 2);
}

TEST_F(CommandTest, StatementTestStopsAtCancelAndOffersEmptyStatementsAsChanges) {
  UseSqlite();
  TStatementTest test(connection_, dialogs_);
  dialogs_.answers = {TDialogs::Answer::Cancel};
  test.Run("delete from t; delete from t; delete from t");
  EXPECT_EQ(dialogs_.shown.size(), 2u);  // the count and the first warning
  EXPECT_EQ(Count(), 3);

  dialogs_.shown.clear();
  dialogs_.answers = {TDialogs::Answer::No};
  test.Run("select a from t;;select a from t");
  ASSERT_EQ(dialogs_.shown.size(), 4u);
  EXPECT_EQ(dialogs_.shown[2].substr(0, 24), "[Warnung] Statement 2 wi");

  dialogs_.shown.clear();
  test.Run(" \r\n ");
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(CommandTest, StatementTestShowsConnectionFailuresAloneAndTriesAgainNextTime) {
  TStatementTest test(connection_, dialogs_);
  test.Run("select 1");
  // The key was missing: it is written empty, and an empty string is not tried at all.
  EXPECT_TRUE(ini_->HasKey("datenbank", "connection"));
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0], "Keine Datenbankverbindung eingestellt (Reiter Datenbank).");
  EXPECT_FALSE(connection_.IsOpen());

  // A string without a known marker opens, and each statement fails on its own.
  std::ofstream(dir_.Path() / "odbc.ini") << "[Lager]\nDriver=SQLite3\nDatabase=" << dbFile_ << "\n";
  setenv("ODBCINI", (dir_.Path() / "odbc.ini").c_str(), 1);
  ini_->WriteValue("datenbank", "connection", "DSN=Lager");
  dialogs_.shown.clear();
  dialogs_.answers = {TDialogs::Answer::Yes};
  test.Run("select 1; update t set a = 1");
  unsetenv("ODBCINI");
  EXPECT_EQ(dialogs_.shown, (std::vector<std::string>{
                                "2 Statements gefunden.", "Statement 1: unknown Database Type",
                                "[Warnung] Statement 2 wird beim Testen Daten in der Datenbank verändern. Trotzdem testen?",
                                "Statement 2: unknown Database Type"}));
  ASSERT_TRUE(connection_.IsOpen());
  EXPECT_EQ(connection_.Get().ConnectionString(), "DSN=Lager");
}

TEST_F(CommandTest, EditorDropsTheConnectionAndStoresOnlyConfirmedText) {
  UseSqlite();
  connection_.Get();
  bool droppedBeforeDialog = false;
  dialogs_.onInput = [&] { droppedBeforeDialog = !connection_.IsOpen(); };
  TDatabaseCommands commands(*ini_, connection_, dialogs_, dialogs_);
  dialogs_.input = "Driver={SQLite3};Database=/x.db;";
  commands.EditConnection();
  EXPECT_TRUE(droppedBeforeDialog);
  EXPECT_EQ(dialogs_.inputMaxLength, 0);  // no limit: nothing is cut
  EXPECT_EQ(dialogs_.shown.back(), "[Datenbankverbindung] Bitte geben Sie die Datenbankverbindung ein: " +
                                       db::test::SqliteConnection(dbFile_));
  EXPECT_EQ(ini_->ReadValue("datenbank", "connection", "-"), "Driver={SQLite3};Database=/x.db;");

  config::TMyIniFile fresh((dir_.Path() / "neu.ini").string());
  TDatabaseCommands onFresh(fresh, connection_, dialogs_, dialogs_);
  dialogs_.input.reset();
  onFresh.EditConnection();
  EXPECT_EQ(dialogs_.shown.back(), "[Datenbankverbindung] Bitte geben Sie die Datenbankverbindung ein: " +
                                       TDatabaseCommands::DefaultConnectionString());
  EXPECT_TRUE(fresh.HasKey("datenbank", "connection"));
  EXPECT_EQ(fresh.ReadValue("datenbank", "connection", "-"), "");
  EXPECT_LE(TDatabaseCommands::DefaultConnectionString().size(), 255u);
  EXPECT_EQ(TDatenbankAdo::StatementKind(""), "");
}

TEST_F(CommandTest, ConnectionTestLogsMissingStringAndProbeFailuresAfterClosing) {
  TDatabaseCommands commands(*ini_, connection_, dialogs_, dialogs_);
  MemoLog log;
  log.lines = {"from before"};
  commands.TestConnection(log);
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{"FEHLER:", "Verbindung nicht gesetzt"}));
  EXPECT_FALSE(ini_->HasKey("datenbank", "connection"));
  EXPECT_EQ(dialogs_.eventRounds, 2);

  // SQLite knows no "show tables": its own catalogue answers the probes.
  UseSqlite();
  commands.TestConnection(log);
  auto texts = log.Texts();
  EXPECT_EQ(texts, (std::vector<std::string>{"Verbindung: " + db::test::SqliteConnection(dbFile_),
                                             "Öffne Verbindung", "Lese Tabellen", "1 Tabellen gefunden",
                                             "teste Dataset", "teste Command", "tests abgeschlossen",
                                             "schliesse Datenbankverbindung", "Test erfolgreich"}));
  EXPECT_FALSE(connection_.IsOpen());

  ini_->WriteValue("datenbank", "connection", "Driver={Kein Treiber};");
  commands.TestConnection(log);
  texts = log.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[2], "FEHLER:");
  EXPECT_NE(texts[3].find("[unixODBC][Driver Manager]"), std::string::npos) << texts[3];
}

// Under a code page without umlauts the log lines that carry them still reach
// a log that can show every character whole (the window's memo).
TEST_F(CommandTest, ConnectionTestLogReachesAUnicodeLogWhole) {
  MemoLog log;
  TDatabaseCommands commands(*ini_, connection_, dialogs_, dialogs_);
  UseSqlite();
  platform::UseSystemLanguage(platform::Language::Japanese);
  commands.TestConnection(log);
  platform::UseSystemLanguage(platform::Language::Other);
  const auto texts = log.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[1], "Öffne Verbindung");
  EXPECT_EQ(texts.back(), "Test erfolgreich");
}

TEST(LogLine, StampsWithTheShortDateAndTimeOfTheLocale) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  std::string line = TDatabaseCommands::LogLine("Test erfolgreich");
  std::setlocale(LC_ALL, "C");
  // "#" stands for a digit.
  const std::string_view shape = "##.##.#### ##:##:##\tTest erfolgreich";
  bool fits = line.size() == shape.size();
  for (size_t i = 0; fits && i < shape.size(); ++i)
    fits = shape[i] == '#' ? line[i] >= '0' && line[i] <= '9' : line[i] == shape[i];
  EXPECT_TRUE(fits) << line;
}

// The connection test's log scenarios again, on the MySQL path.
class MariaDbCommandTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    auto server = db::test::MariaDbServer();
    if (!server) {
      if (db::test::InCi()) FAIL() << "VORNETTA_MARIADB_CONNECTION is not set";
      GTEST_SKIP() << "no MariaDB test server (scripts/mariadb-test-server.sh start)";
    }
    server_ = *server;
    name_ = "vt_cmd_" + std::to_string(getpid());
    database_.emplace(server_.connection, name_);
  }

  db::test::MariaDb server_;
  std::string name_;
  std::optional<db::test::TOwnDatabase> database_;
};

TEST_F(MariaDbCommandTest, ConnectionTestLogsEveryStepInOrder) {
  const std::string connection = server_.ConnectionTo(name_);
  ini_->WriteValue("datenbank", "connection", connection);
  // The log never shows the password.
  const std::string logged = "Verbindung: Driver={MySQL};Server=" + server_.host + ";Port=" + server_.port +
                             ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=***;";
  TDatabaseCommands commands(*ini_, connection_, dialogs_, dialogs_);
  MemoLog log;
  commands.TestConnection(log);
  auto texts = log.Texts();
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 7),
            (std::vector<std::string>{logged, "Öffne Verbindung", "Lese Tabellen",
                                      "0 Tabellen gefunden", "teste Dataset", "schliesse Datenbankverbindung",
                                      "FEHLER:"}));
  EXPECT_NE(texts[7].find("auftrag_art' doesn't exist"), std::string::npos) << texts[7];

  {
    TDatenbankAdo db(connection);
    db.Execute("create table Auftrag_art (Art int, Bezeichnung varchar(20))");
    db.Execute("create table Kunde (Nr int)");
    db.Execute("insert into Auftrag_art values (0, 'keine'), (1, 'Eilauftrag')");
  }
  commands.TestConnection(log);
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{
                             logged, "Öffne Verbindung", "Lese Tabellen",
                             "2 Tabellen gefunden", "teste Dataset", "teste Command", "tests abgeschlossen",
                             "schliesse Datenbankverbindung", "Test erfolgreich"}));
  EXPECT_EQ(dialogs_.eventRounds, 8 + 9);
  EXPECT_FALSE(connection_.IsOpen());

  std::string wrong = "Driver={MySQL};Server=" + server_.host + ";Port=" + server_.port + ";Database=" + name_ +
                      ";Uid=" + server_.user + ";Pwd=falsch;";
  ini_->WriteValue("datenbank", "connection", wrong);
  commands.TestConnection(log);
  texts = log.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], logged);  // the wrong password is hidden too
  EXPECT_EQ(texts[1], "Öffne Verbindung");
  EXPECT_EQ(texts[2], "FEHLER:");
  EXPECT_NE(texts[3].find("Access denied for user"), std::string::npos) << texts[3];

  // Without a type marker the connection opens and the first probe fails.
  ini_->WriteValue("datenbank", "connection", server_.ConnectionTo(name_, "MariaDB"));
  commands.TestConnection(log);
  texts = log.Texts();
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[3], "schliesse Datenbankverbindung");
  EXPECT_EQ(texts[5], "unknown Database Type");
}

TEST_F(MariaDbCommandTest, StatementTestRunsAgainstTheServer) {
  ini_->WriteValue("datenbank", "connection", server_.ConnectionTo(name_));
  TStatementTest test(connection_, dialogs_);
  dialogs_.answers = {TDialogs::Answer::Yes, TDialogs::Answer::Yes};
  test.Run("create table k (n int);\ninsert into k values (1),(2);\nselect * from k");
  EXPECT_EQ(dialogs_.shown.back(), "Statement 3 erfolgreich: 2 Datensätze");
  EXPECT_EQ(dialogs_.shown[4], "Statement 2 erfolgreich: 2 Datensätze");
}

// The connection test on PostgreSQL: the table list and the probes come from the
// catalogue, so an empty database passes.
class PostgresCommandTest : public CommandTest {
 protected:
  void SetUp() override {
    CommandTest::SetUp();
    auto server = db::test::PostgresServer();
    if (!server) {
      if (db::test::InCi()) FAIL() << "VORNETTA_POSTGRES_CONNECTION is not set";
      GTEST_SKIP() << "no PostgreSQL test server (scripts/postgres-test-server.sh start)";
    }
    server_ = *server;
    name_ = "vt_cmd_" + std::to_string(getpid());
    database_.emplace(server_.connection, name_, "", " with (force)");
  }

  db::test::Postgres server_;
  std::string name_;
  std::optional<db::test::TOwnDatabase> database_;
};

TEST_F(PostgresCommandTest, ConnectionTestPassesOnAGoodServerAndLogsABadOne) {
  const std::string connection = server_.ConnectionTo(name_);
  ini_->WriteValue("datenbank", "connection", connection);
  // The log never shows the password.
  const std::string logged = "Verbindung: Driver={PostgreSQL Unicode};Server=" + server_.host + ";Port=" +
                             server_.port + ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=***;";
  TDatabaseCommands commands(*ini_, connection_, dialogs_, dialogs_);
  MemoLog log;
  const auto passed = [&](const std::string& count) {
    return std::vector<std::string>{logged, "Öffne Verbindung", "Lese Tabellen",
                                    count + " Tabellen gefunden", "teste Dataset", "teste Command",
                                    "tests abgeschlossen", "schliesse Datenbankverbindung", "Test erfolgreich"};
  };
  commands.TestConnection(log);
  EXPECT_EQ(log.Texts(), passed("0"));
  {
    TDatenbankAdo db(connection);
    db.Execute("create table auftrag_art (art int)");
    db.Execute("create schema lager");
    db.Execute("create table lager.\"Kunde\" (nr int)");
    db.Execute("create view offen as select * from auftrag_art");
  }
  commands.TestConnection(log);
  EXPECT_EQ(log.Texts(), passed("3"));
  EXPECT_FALSE(connection_.IsOpen());

  std::string wrong = "Driver={PostgreSQL ANSI};Server=" + server_.host + ";Port=" + server_.port +
                      ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=falsch;";
  ini_->WriteValue("datenbank", "connection", wrong);
  commands.TestConnection(log);
  auto texts = log.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Verbindung: Driver={PostgreSQL ANSI};Server=" + server_.host + ";Port=" + server_.port +
                         ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=***;");
  EXPECT_EQ(texts[1], "Öffne Verbindung");
  EXPECT_EQ(texts[2], "FEHLER:");
  EXPECT_NE(texts[3].find("password authentication failed"), std::string::npos) << texts[3];
}

TEST_F(PostgresCommandTest, StatementTestShowsCountsAndTheServersMessage) {
  ini_->WriteValue("datenbank", "connection", server_.ConnectionTo(name_));
  TStatementTest test(connection_, dialogs_);
  dialogs_.answers = {TDialogs::Answer::Yes, TDialogs::Answer::Yes, TDialogs::Answer::Yes};
  test.Run("create table k (n int);\ninsert into k values (1),(2);\nupdate k set n = n + 1;\n"
           "select * from k;select * from fehlt");
  ASSERT_EQ(dialogs_.shown.size(), 9u);
  EXPECT_EQ(dialogs_.shown[4], "Statement 2 erfolgreich: 2 Datensätze");
  EXPECT_EQ(dialogs_.shown[6], "Statement 3 erfolgreich: 2 Datensätze");
  EXPECT_EQ(dialogs_.shown[7], "Statement 4 erfolgreich: 2 Datensätze");
  EXPECT_NE(dialogs_.shown[8].find("Statement 5: "), std::string::npos);
  EXPECT_NE(dialogs_.shown[8].find("relation \"fehlt\" does not exist"), std::string::npos) << dialogs_.shown[8];
}

}  // namespace
}  // namespace vornetta::commands
