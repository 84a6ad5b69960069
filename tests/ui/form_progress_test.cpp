// Build and send on the real window while they run: the status line, the
// "Abbrechen" button, and a send that keeps the window alive while a scripted
// server stays silent.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTextBrowser>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "config/my_ini_file.h"
#include "fake_dialogs.h"
#include "smtp/script_server.h"
#include "ui/form_main.h"
#include "ui/status_line.h"
#include "ui/status_texts.h"
#include "window_controls.h"

using vornetta::config::TMyIniFile;
using vornetta::test::Await;
using vornetta::test::Close;
using vornetta::test::ScriptServer;
using vornetta::test::Send;
using vornetta::ui::TFormMain;
using vornetta::ui::test::Find;

namespace {

class FormProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_ = dir_.filePath(QStringLiteral("zahlen.db")).toStdString();
    ini_ = dir_.filePath(QStringLiteral("p.ini")).toStdString();
  }

  // A table "zahl" with the numbers 1 to rows and a configuration that selects them.
  void Configure(int rows, int smtpPort) {
    QProcess sqlite;
    sqlite.start(QStringLiteral("/usr/bin/sqlite3"),
                 {QString::fromStdString(db_),
                  QStringLiteral("create table zahl(n integer);"
                                 "with recursive r(n) as (select 1 union all select n + 1 from r where n < %1) "
                                 "insert into zahl select n from r;")
                      .arg(rows)});
    ASSERT_TRUE(sqlite.waitForFinished(30000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
    TMyIniFile ini(ini_);
    ini.WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + db_ + ";");
    ini.WriteText("sql", "select n from zahl");
    ini.WriteValue("email", "smtpserver", "127.0.0.1:" + std::to_string(smtpPort));
    ini.WriteValue("email", "absender", "bericht@example.com");
    ini.WriteValue("email", "empfaenger", "a@example.com, b@example.com");
    ini.WriteValue("email", "bcc", "c@example.com");
  }

  std::unique_ptr<TFormMain> Start() {
    auto window = std::make_unique<TFormMain>(std::vector<std::string>{ini_}, &dialogs_,
                                              dir_.filePath(QStringLiteral("vornetta")).toStdString());
    window->show();
    return window;
  }

  static QString Status(TFormMain& window) { return Find<QLabel>(window, "lblStatus")->text(); }

  QTemporaryDir dir_;
  std::string db_;
  std::string ini_;
  FakeDialogs dialogs_;
};

TEST_F(FormProgressTest, AbbrechenEndsASendToASilentServerWhileTheWindowKeepsWorking) {
  ScriptServer server({Await()});  // accepts, never greets
  Configure(3, server.Port());
  auto window = Start();
  Find<QPushButton>(*window, "SpeedButton1")->click();
  ASSERT_EQ(window->ReportText().RowCount(), 3);
  auto* cancel = Find<QPushButton>(*window, "btnAbbrechen");
  EXPECT_FALSE(cancel->isEnabled());  // only while a build or a send runs

  // The ticks can only arrive while the send waits: click() returns after it.
  int ticks = 0;
  bool buttonsOffDuringSend = false;
  QString waitingFor;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (++ticks == 5) {
      waitingFor = Status(*window);
      buttonsOffDuringSend = !Find<QPushButton>(*window, "SpeedButton1")->isEnabled() && cancel->isEnabled();
      cancel->click();
    }
  });
  ticker.start(1);
  Find<QPushButton>(*window, "SpeedButton2")->click();
  ticker.stop();

  EXPECT_GE(ticks, 5);
  EXPECT_TRUE(buttonsOffDuringSend);
  EXPECT_EQ(waitingFor, QStringLiteral("Warte auf Begrüßung …"));  // the step it hangs in
  EXPECT_EQ(window->GreetingLimit(), std::chrono::seconds(60));  // not the ten minutes of a reply
  EXPECT_TRUE(window->ShowsProgress());  // "Sende Bericht (45 %) …"
  EXPECT_EQ(Status(*window), QStringLiteral("Versand abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty());  // asked for, so no message box
  EXPECT_EQ(window->ReportText().RowCount(), 3);  // kept for another try
  EXPECT_FALSE(window->ReportText().DocumentText().empty());
  EXPECT_FALSE(cancel->isEnabled());
  EXPECT_TRUE(Find<QPushButton>(*window, "SpeedButton2")->isEnabled());
}

TEST_F(FormProgressTest, ClosingDuringASendAsksAndJaCancelsAndCloses) {
  ScriptServer server({Await()});
  Configure(1, server.Port());
  auto window = Start();
  Find<QPushButton>(*window, "SpeedButton1")->click();
  bool openAfterNein = false;
  bool openAfterJa = false;
  QTimer::singleShot(0, window.get(), [&] {
    dialogs_.answers = {FakeDialogs::Answer::No};
    window->close();
    openAfterNein = window->Config() != nullptr && window->isVisible();
    dialogs_.answers = {FakeDialogs::Answer::Yes};
    window->close();
    openAfterJa = window->Config() != nullptr;  // the send lets go first
  });
  Find<QPushButton>(*window, "SpeedButton2")->click();
  EXPECT_TRUE(openAfterNein);
  EXPECT_TRUE(openAfterJa);
  ASSERT_EQ(dialogs_.warnings.size(), 2u);
  EXPECT_NE(dialogs_.warnings[0].find("abbrechen und beenden?"), std::string::npos) << dialogs_.warnings[0];
  EXPECT_EQ(window->Config(), nullptr);  // cancelled and closed, no "Abbrechen" clicked
}

TEST_F(FormProgressTest, BuildCancelledHalfwayStopsAfterTheCurrentRecordAndLeavesNothingToSend) {
  Configure(2000, vornetta::test::UnusedLoopbackPort());
  auto window = Start();
  window->SetEventSlice(std::chrono::milliseconds(0));  // every record lets events through
  auto* cancel = Find<QPushButton>(*window, "btnAbbrechen");
  int rowsAtClick = 0;
  QString progress;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (rowsAtClick == 0 && window->ReportText().RowCount() >= 1000) {
      rowsAtClick = window->ReportText().RowCount();
      progress = Status(*window);
      cancel->click();
    }
  });
  watch.start(0);
  Find<QPushButton>(*window, "SpeedButton1")->click();
  watch.stop();

  ASSERT_GE(rowsAtClick, 1000);
  EXPECT_TRUE(progress.startsWith(QStringLiteral("Anweisung 1 von 1: select n from zahl – ")))
      << progress.toStdString();
  EXPECT_TRUE(progress.endsWith(QStringLiteral(" Datensätze gelesen"))) << progress.toStdString();
  EXPECT_EQ(Status(*window), QStringLiteral("Erstellen abgebrochen."));
  EXPECT_TRUE(dialogs_.messages.empty());
  const std::string document(window->ReportText().DocumentText());
  EXPECT_NE(document.find("id=\"row" + std::to_string(rowsAtClick) + "\""), std::string::npos);
  EXPECT_EQ(document.find("id=\"row" + std::to_string(rowsAtClick + 1) + "\""), std::string::npos);
  EXPECT_EQ(window->ReportText().RowCount(), 0);

  // Nothing to send, as after a failed build: no connection is tried (nothing listens on the port).
  Find<QPushButton>(*window, "SpeedButton2")->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.captions, std::vector<std::string>{"Versand fehlgeschlagen"});
  EXPECT_EQ(Status(*window), QStringLiteral("Versand fehlgeschlagen."));
}

// At the minimum width the status line keeps its count; the shortened preview
// ends its table in the sum row; the size sent is the whole mail's.
TEST_F(FormProgressTest, StatusLineTellsWhatBuildAndSendDid) {
  ScriptServer server = vornetta::test::AcceptingServer(4);
  Configure(120, server.Port());
  TMyIniFile(ini_).WriteValue("email", "bcc", "c@example.com, A@Example.com");  // a twice: one recipient
  auto window = Start();
  auto* status = Find<vornetta::ui::TStatusLine>(*window, "lblStatus");
  window->resize(window->minimumSize());
  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_EQ(Status(*window), QStringLiteral("Bericht erstellt: 120 Datensätze."));
  // A long text gives way in its middle: its end, the count, stays.
  status->setText(QStringLiteral("Anweisung 1 von 1: ") + QString(200, u'x') + QStringLiteral(" – 12345 Datensätze gelesen"));
  EXPECT_TRUE(status->ShownText().endsWith(QStringLiteral(" – 12345 Datensätze gelesen")))
      << status->ShownText().toStdString();
  EXPECT_TRUE(status->ShownText().contains(QChar(0x2026)));

  const QString preview = Find<QTextBrowser>(*window, "html")->toPlainText();
  EXPECT_TRUE(Find<QLabel>(*window, "previewNote")->isVisible());
  EXPECT_FALSE(preview.contains(QStringLiteral("120")));  // row 120 is not shown
  EXPECT_TRUE(preview.contains(QStringLiteral("7260"))) << preview.toStdString();  // the sum of 1 to 120

  Find<QPushButton>(*window, "SpeedButton2")->click();
  EXPECT_TRUE(dialogs_.messages.empty());
  const std::string transcript = server.Transcript();
  const std::size_t data = transcript.find("DATA\r\n") + 6;
  const std::size_t mailBytes = transcript.find("\r\n.\r\n", data) + 2 - data;
  EXPECT_EQ(Status(*window), QStringLiteral("eMail an 3 Empfänger versendet (%1).").arg(vornetta::ui::SizeText(mailBytes)));
  EXPECT_NE(transcript.find("RCPT TO:<c@example.com>"), std::string::npos);
}

// The page "eMail" stores the condition and the zone; the build shows the filled
// subject, and a send whose condition does not hold tries no connection.
TEST_F(FormProgressTest, ConditionAndZoneFromThePageDecideTheSend) {
  Configure(2, vornetta::test::UnusedLoopbackPort());
  TMyIniFile(ini_).WriteValue("email", "betreff", "{zeilen} Zahlen {tippfehler}");
  auto window = Start();
  vornetta::ui::test::ShowPage(*window, "TabSheet5");
  auto* zone = Find<QComboBox>(*window, "zeitzone");
  EXPECT_EQ(zone->currentData().toString(), QString());
  const int berlin = zone->findData(QStringLiteral("Europe/Berlin"));
  ASSERT_GT(berlin, 0);
  zone->setCurrentIndex(berlin);
  Find<QLineEdit>(*window, "sendenWenn")->setText(QStringLiteral("zeilen > 2"));
  EXPECT_TRUE(Find<QLineEdit>(*window, "betreff")->toolTip().contains(QStringLiteral("{datum-1}")));
  vornetta::ui::test::ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "zeitzone", "?"), "Europe/Berlin");
  EXPECT_EQ(window->Config()->ReadValue("email", "sendenWenn", "?"), "zeilen > 2");

  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_EQ(Status(*window), QStringLiteral("Bericht erstellt: 2 Datensätze. Betreff: 2 Zahlen {tippfehler}"));
  Find<QPushButton>(*window, "SpeedButton2")->click();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(Status(*window), QStringLiteral("Bedingung nicht erfüllt – nichts versendet."));
}

TEST_F(FormProgressTest, FailedSendAndFailedBuildNameTheCommandInTheCaption) {
  // Greets, reads EHLO, then closes: the layer's own message stays as it is.
  ScriptServer server({Send("220 mail.example\r\n"), Await(), Close()});
  Configure(1, server.Port());
  auto window = Start();
  Find<QPushButton>(*window, "SpeedButton1")->click();
  Find<QPushButton>(*window, "SpeedButton2")->click();
  ASSERT_EQ(dialogs_.captions, std::vector<std::string>{"Versand fehlgeschlagen"});
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"Der Server hat die Verbindung beendet, bevor er geantwortet hat."});
  EXPECT_EQ(Status(*window), QStringLiteral("Versand fehlgeschlagen."));
  EXPECT_EQ(window->ReportText().RowCount(), 1);

  TMyIniFile(ini_).WriteText("sql", "select n from zahl;\r\nvacuum");
  Find<QPushButton>(*window, "SpeedButton1")->click();
  ASSERT_EQ(dialogs_.captions.size(), 2u);
  EXPECT_EQ(dialogs_.captions[1], "Erstellen fehlgeschlagen");
  EXPECT_EQ(dialogs_.messages[1], "Statement 2: unbekannte Anweisung");  // which one failed
  EXPECT_EQ(Status(*window), QStringLiteral("Erstellen fehlgeschlagen."));
}

}  // namespace
