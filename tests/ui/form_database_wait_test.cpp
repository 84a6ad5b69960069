// The window while the database works: a connection attempt to a server that
// never answers, a statement that never ends and one whose later records never
// come run off the window's thread;
// the window keeps handling its events, the status line says what it waits
// for, and "Abbrechen" or Esc ends the command.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "config/my_ini_file.h"
#include "db/database_wait.h"
#include "fake_dialogs.h"
#include "support/silent_listener.h"
#include "ui/form_main.h"
#include "window_controls.h"

using vornetta::config::TMyIniFile;
using vornetta::ui::TFormMain;
using vornetta::ui::test::Find;
using vornetta::ui::test::ShowPage;

namespace {

// The endless statement: SQLite counts for ever.
constexpr char kEndless[] =
    "select count(*) from (with recursive r(n) as (select 1 union all select n + 1 from r) select n from r)";
// Its first 2,000 records come at once; then SQLite counts for ever without finding another.
constexpr char kEndlessAfter2000[] =
    "select * from (with recursive r(n) as (select 1 union all select n + 1 from r) "
    "select n, 'Zeile ' || n as text from r where n <= 2000 or n < 0)";

class FormDatabaseWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_ = dir_.filePath(QStringLiteral("w.db")).toStdString();
    ini_ = dir_.filePath(QStringLiteral("w.ini")).toStdString();
    QProcess sqlite;
    sqlite.start(QStringLiteral("/usr/bin/sqlite3"), {QString::fromStdString(db_), QStringLiteral("create table t(n);")});
    ASSERT_TRUE(sqlite.waitForFinished(30000));
  }

  std::unique_ptr<TFormMain> Start(const std::string& connection, const std::string& sql) {
    TMyIniFile ini(ini_);
    ini.WriteValue("datenbank", "connection", connection);
    ini.WriteText("sql", sql);
    auto window = std::make_unique<TFormMain>(std::vector<std::string>{ini_}, &dialogs_,
                                              dir_.filePath(QStringLiteral("vornetta")).toStdString());
    window->show();
    return window;
  }

  std::string Sqlite() const { return "Driver={SQLite3};Database=" + db_ + ";"; }

  static QString Status(TFormMain& window) { return Find<QLabel>(window, "lblStatus")->text(); }

  // Runs `click` while a timer ticks; once the status line shows `waitingFor`
  // and the timer has kept ticking, `cancel` ends the command (should it not,
  // "Abbrechen" does, much later, and the test fails). Returns the ticks.
  static int TicksUntilCancelled(TFormMain& window, const QString& waitingFor, const std::function<void()>& click,
                                 const std::function<void()>& cancel) {
    return TicksUntilCancelled([&] { return Status(window).startsWith(waitingFor); }, window, click, cancel);
  }
  // The same once `waiting` holds.
  static int TicksUntilCancelled(const std::function<bool()>& waiting, TFormMain& window,
                                 const std::function<void()>& click, const std::function<void()>& cancel) {
    int ticks = 0;
    int ticksWhenWaiting = -1;
    bool cancelIgnored = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      ++ticks;
      if (ticksWhenWaiting < 0 && waiting()) ticksWhenWaiting = ticks;
      if (ticksWhenWaiting < 0) return;
      if (ticks == ticksWhenWaiting + 5) cancel();
      if (ticks == ticksWhenWaiting + 500) {
        cancelIgnored = true;
        Find<QPushButton>(window, "btnAbbrechen")->click();
      }
    });
    ticker.start(1);
    click();
    ticker.stop();
    EXPECT_GE(ticksWhenWaiting, 0) << Status(window).toStdString();
    EXPECT_FALSE(cancelIgnored);
    return ticks;
  }

  QTemporaryDir dir_;
  std::string db_;
  std::string ini_;
  FakeDialogs dialogs_;
};

TEST_F(FormDatabaseWaitTest, AbbrechenEndsAnEndlessStatementOfTheBuildAndOfTheStatementTest) {
  auto window = Start(Sqlite(), std::string("select 1 as eins;\n") + kEndless + ";");
  window->activateWindow();  // Esc is a shortcut of the active window
  auto* cancel = Find<QPushButton>(*window, "btnAbbrechen");
  const int ticks = TicksUntilCancelled(
      *window, QStringLiteral("Statement 2 läuft seit "), [&] { Find<QPushButton>(*window, "SpeedButton1")->click(); },
      [&] { cancel->click(); });
  EXPECT_GE(ticks, 5);
  // Only a cancelled statement ends: SQLCancel reached the driver.
  EXPECT_EQ(Status(*window), QStringLiteral("Erstellen abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(window->ReportText().RowCount(), 0);  // nothing to send

  // The same statement in "Statement testen", ended by Esc on the page "SQL".
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(QString::fromLatin1(kEndless));
  TicksUntilCancelled(
      *window, QStringLiteral("Statement läuft seit "), [&] { Find<QPushButton>(*window, "Statement_testen")->click(); },
      [&] {
        QWidget* target = window->focusWidget() ? window->focusWidget() : window.get();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
      });
  EXPECT_EQ(Status(*window), QStringLiteral("Abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages.front();
  EXPECT_TRUE(Find<QPushButton>(*window, "Statement_testen")->isEnabled());
}

// The window never waits for a record either: while the driver looks for the
// records after the first 2,000, the window handles its events, says what it
// waits for, and "Abbrechen" cancels the fetch. (Should a fetch hold the window,
// the time limit ends it and the test fails instead of hanging.)
TEST_F(FormDatabaseWaitTest, AbbrechenEndsABuildWhoseLaterRecordsNeverCome) {
  TMyIniFile(ini_).WriteValue("datenbank", "abfrageTimeout", "120");
  auto window = Start(Sqlite(), std::string("select 1 as eins;\n") + kEndlessAfter2000 + ";");
  const int ticks = TicksUntilCancelled(
      [&] {
        return window->ReportText().RowCount() > 1 &&
               Status(*window).startsWith(QStringLiteral("Statement 2 läuft seit "));
      },
      *window, [&] { Find<QPushButton>(*window, "SpeedButton1")->click(); },
      [&] { Find<QPushButton>(*window, "btnAbbrechen")->click(); });
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(Status(*window), QStringLiteral("Erstellen abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages.front();
  EXPECT_EQ(window->ReportText().RowCount(), 0);  // nothing to send

  // The connection serves the next build whole.
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")
      ->setPlainText(QStringLiteral("select 1 as eins;\n%1 limit 2000;").arg(kEndlessAfter2000));
  ShowPage(*window, "TabSheet2");
  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_EQ(window->ReportText().RowCount(), 2001) << Status(*window).toStdString();
  EXPECT_TRUE(dialogs_.messages.empty()) << dialogs_.messages.front();
}

TEST_F(FormDatabaseWaitTest, AbbrechenLeavesAConnectionAttemptToAServerThatNeverAnswers) {
  vornetta::test::TSilentListener listener;
  auto window = Start("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(listener.Port()) +
                          ";Database=x;Uid=u;Pwd=p;",
                      "select 1;");
  const int ticks = TicksUntilCancelled(
      *window, QStringLiteral("Verbinde mit Datenbank"), [&] { Find<QPushButton>(*window, "SpeedButton1")->click(); },
      [&] { Find<QPushButton>(*window, "btnAbbrechen")->click(); });
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(Status(*window), QStringLiteral("Erstellen abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty());

  // The connection test waits the same way and logs the cancel.
  ShowPage(*window, "TabSheet3");
  TicksUntilCancelled(
      *window, QStringLiteral("Verbinde mit Datenbank"), [&] { Find<QPushButton>(*window, "Button4")->click(); },
      [&] { Find<QPushButton>(*window, "btnAbbrechen")->click(); });
  const QString log = Find<QPlainTextEdit>(*window, "Memodbtest")->toPlainText();
  EXPECT_TRUE(log.contains(QStringLiteral("FEHLER:"))) << log.toStdString();
  EXPECT_TRUE(log.contains(QStringLiteral("Abgebrochen."))) << log.toStdString();

  // The abandoned attempts end once the server goes away.
  listener.Close();
  EXPECT_TRUE(vornetta::db::WaitForAbandonedWork(std::chrono::seconds(60)));
}

// A server that takes the connection but never greets holds the MariaDB
// driver for as long as it keeps the connection: "verbindungTimeout" gives the
// attempt up, and the window says so.
TEST_F(FormDatabaseWaitTest, AConnectionAttemptEndsAtItsLimitWhenTheServerNeverGreets) {
  vornetta::test::TSilentListener listener;
  TMyIniFile(ini_).WriteValue("datenbank", "verbindungTimeout", "1");
  auto window = Start("Driver={MariaDB};Server=127.0.0.1;Port=" + std::to_string(listener.Port()) +
                          ";Database=x;Uid=u;Pwd=p;",
                      "select 1;");
  bool cancelled = false;
  QTimer guard;  // should the limit not hold, "Abbrechen" ends the wait much later and the test fails
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    cancelled = true;
    Find<QPushButton>(*window, "btnAbbrechen")->click();
  });
  guard.start(60000);
  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_FALSE(cancelled);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_NE(dialogs_.messages.front().find("Einstellung verbindungTimeout"), std::string::npos)
      << dialogs_.messages.front();

  listener.Close();
  EXPECT_TRUE(vornetta::db::WaitForAbandonedWork(std::chrono::seconds(60)));
}

}  // namespace
