// The commands of the real window against a SQLite database through ODBC, with
// the dialogs answered by the test.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTextDocument>
#include <QUrl>
#include <QFile>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <memory>

#include "config/my_ini_file.h"
#include "fake_dialogs.h"
#include "window_controls.h"
#include "ui/form_main.h"
#include "ui/qt_dialogs.h"

using vornetta::config::TMyIniFile;
using vornetta::ui::TFormMain;
using vornetta::ui::test::Find;
using vornetta::ui::test::ModalAnswer;
using vornetta::ui::test::ShowPage;

namespace {

class FormCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    db_ = dir_.filePath(QStringLiteral("kunden.db")).toStdString();
    ini_ = dir_.filePath(QStringLiteral("k.ini")).toStdString();
  }

  void CreateDatabase(const QString& sql) {
    QProcess sqlite;
    sqlite.start(QStringLiteral("/usr/bin/sqlite3"), {QString::fromStdString(db_), sql});
    ASSERT_TRUE(sqlite.waitForFinished(30000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
  }

  std::string ConnectionString() const { return "Driver={SQLite3};Database=" + db_ + ";"; }

  // With real dialogs when `withQtDialogs`: a test then answers them with ModalAnswer.
  std::unique_ptr<TFormMain> Start(bool withQtDialogs = false) {
    auto window = std::make_unique<TFormMain>(std::vector<std::string>{ini_}, withQtDialogs ? nullptr : &dialogs_,
                                              dir_.filePath(QStringLiteral("vornetta")).toStdString());
    window->show();
    return window;
  }

  QTemporaryDir dir_;
  std::string db_;
  std::string ini_;
  FakeDialogs dialogs_;
};

TEST_F(FormCommandsTest, StatementTestRunsTheMemoAsShownAndAsksBeforeChangingData) {
  CreateDatabase(QStringLiteral("create table kunde(name text, umsatz real);"
                                "insert into kunde values ('Meier', 12.5), ('Huber', 7.5);"));
  TMyIniFile(ini_).WriteValue("datenbank", "connection", ConnectionString());
  auto window = Start();
  ShowPage(*window, "TabSheet4");
  // Not stored yet: the test takes what is on screen.
  Find<QPlainTextEdit>(*window, "statement")
      ->setPlainText(QStringLiteral("select * from kunde;\nupdate kunde set umsatz = 0;\nselect * from fehlt"));
  dialogs_.answers = {FakeDialogs::Answer::No};
  Find<QPushButton>(*window, "Statement_testen")->click();

  ASSERT_EQ(dialogs_.messages.size(), 3u);
  EXPECT_EQ(dialogs_.messages[0], "3 Statements gefunden.");
  EXPECT_EQ(dialogs_.messages[1], "Statement 1 erfolgreich: 2 Datensätze");
  EXPECT_EQ(dialogs_.messages[2].rfind("Statement 3: ", 0), 0u) << dialogs_.messages[2];
  ASSERT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(dialogs_.warnings[0],
            "Warnung|Statement 2 wird beim Testen Daten in der Datenbank verändern. Trotzdem testen?");
  EXPECT_TRUE(window->Connection().IsOpen());  // kept for later commands
  EXPECT_EQ(TMyIniFile(ini_).ReadText("sql"), "");
}

// A statement the code page cannot hold reaches the database as typed: with
// "?" in place of the dash it would find nothing.
TEST_F(FormCommandsTest, StatementTestSendsWhatTheCodePageCannotHoldAsTyped) {
  CreateDatabase(QStringLiteral("create table kunde(name text);"
                                "insert into kunde values ('Eilig – bitte');"));
  TMyIniFile(ini_).WriteValue("datenbank", "connection", ConnectionString());
  auto window = Start();
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")
      ->setPlainText(QStringLiteral("select * from kunde where name = 'Eilig – bitte'"));
  Find<QPushButton>(*window, "Statement_testen")->click();
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"Statement 1 erfolgreich: 1 Datensätze"});

  dialogs_.messages.clear();
  dialogs_.answers = {FakeDialogs::Answer::Yes};
  Find<QPlainTextEdit>(*window, "statement")
      ->setPlainText(QStringLiteral("delete from kunde where name = 'Eilig – bitte'"));
  Find<QPushButton>(*window, "Statement_testen")->click();
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"Statement 1 erfolgreich: 1 Datensätze"});
}

TEST_F(FormCommandsTest, DatabasePageEditsTheConnectionAndLogsTheTest) {
  CreateDatabase(QStringLiteral("create table kunde(name text);"));
  auto window = Start();
  ShowPage(*window, "TabSheet3");

  Find<QPushButton>(*window, "Button4")->click();
  const QStringList empty = Find<QPlainTextEdit>(*window, "Memodbtest")->toPlainText().split(u'\n');
  ASSERT_EQ(empty.size(), 2) << empty.join(u'|').toStdString();
  EXPECT_TRUE(empty[0].endsWith(QStringLiteral("\tFEHLER:")));
  EXPECT_TRUE(empty[1].endsWith(QStringLiteral("\tVerbindung nicht gesetzt")));

  dialogs_.inputAnswers = {{true, ConnectionString()}};
  Find<QPushButton>(*window, "Button3")->click();
  ASSERT_EQ(dialogs_.inputs.size(), 1u);
  EXPECT_EQ(dialogs_.inputs[0].rfind("Datenbankverbindung|Bitte geben Sie die Datenbankverbindung ein:|", 0), 0u);
  EXPECT_EQ(dialogs_.lastMaxLength, 0);  // no limit
  EXPECT_EQ(TMyIniFile(ini_).ReadValue("datenbank", "connection", ""), ConnectionString());

  // A connection made by another command is dropped when the string is edited.
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(QStringLiteral("select * from kunde"));
  Find<QPushButton>(*window, "Statement_testen")->click();
  ASSERT_TRUE(window->Connection().IsOpen());
  ShowPage(*window, "TabSheet3");
  Find<QPushButton>(*window, "Button3")->click();  // cancelled: nothing written, connection gone
  EXPECT_FALSE(window->Connection().IsOpen());
  EXPECT_EQ(TMyIniFile(ini_).ReadValue("datenbank", "connection", ""), ConnectionString());
}


TEST_F(FormCommandsTest, BuildShowsTheReportInBothViewsAndFailuresInTheErrorDisplay) {
  CreateDatabase(QStringLiteral("create table kunde(Kunde text, Betrag real);"
                                "insert into kunde values ('Meier', 12.5), ('Huber', 7.5);"));
  {
    TMyIniFile ini(ini_);
    ini.WriteValue("datenbank", "connection", ConnectionString());
    ini.WriteText("sql", "select * from kunde");
  }
  auto window = Start();
  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(window->ReportText().RowCount(), 2);
  EXPECT_NE(window->ReportText().DocumentText().find("<td class=\"kunde string\">Meier</td>"), std::string::npos);
  EXPECT_EQ(Find<QTabWidget>(*window, "PageControl2")->currentWidget(), Find<QWidget>(*window, "TabSheet6"));
  EXPECT_TRUE(Find<QTextBrowser>(*window, "html")->toPlainText().contains(QStringLiteral("Huber")));

  TMyIniFile(ini_).WriteText("sql", "select * from kunde;\r\nvacuum");
  Find<QPushButton>(*window, "SpeedButton1")->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], "Statement 2: unbekannte Anweisung");
  EXPECT_EQ(dialogs_.captions, std::vector<std::string>{"Erstellen fehlgeschlagen"});
  EXPECT_TRUE(Find<QTextBrowser>(*window, "html")->toPlainText().contains(QStringLiteral("Meier")));
}

TEST_F(FormCommandsTest, ClosingDuringABuildAsksAndJaCancelsTheBuild) {
  CreateDatabase(QStringLiteral(
      "create table zahl(n integer);"
      "with recursive r(n) as (select 1 union all select n + 1 from r where n < 2000) "
      "insert into zahl select n from r;"));
  {
    TMyIniFile ini(ini_);
    ini.WriteValue("datenbank", "connection", ConnectionString());
    ini.WriteText("sql", "select n from zahl");
  }
  auto window = Start();
  // Every record lets events through, so the queued close arrives during the
  // build however fast the machine writes the rows.
  window->SetEventSlice(std::chrono::milliseconds(0));
  dialogs_.answers = {FakeDialogs::Answer::Yes};
  QTimer::singleShot(0, window.get(), [&] { window->close(); });
  Find<QPushButton>(*window, "SpeedButton1")->click();
  EXPECT_EQ(dialogs_.warnings.size(), 1u);
  EXPECT_EQ(window->ReportText().RowCount(), 0);  // cancelled: nothing to send
  EXPECT_EQ(window->Config(), nullptr);  // closed once the build had let go
  EXPECT_TRUE(dialogs_.messages.empty());
}


TEST_F(FormCommandsTest, DataChangeWarningHasNeinAsItsDefaultButton) {
  CreateDatabase(QStringLiteral("create table kunde(umsatz real); insert into kunde values (12.5);"));
  TMyIniFile(ini_).WriteValue("datenbank", "connection", ConnectionString());
  auto window = Start(true);
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(QStringLiteral("update kunde set umsatz = 0"));
  QString defaultButton;
  ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
    defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
    box->escapeButton()->click();  // "Abbrechen": nothing runs
  });
  Find<QPushButton>(*window, "Statement_testen")->click();
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(defaultButton, QStringLiteral("&Nein"));

  QProcess sqlite;
  sqlite.start(QStringLiteral("/usr/bin/sqlite3"), {QString::fromStdString(db_), QStringLiteral("select umsatz from kunde")});
  ASSERT_TRUE(sqlite.waitForFinished(30000));
  EXPECT_EQ(sqlite.readAllStandardOutput().trimmed(), QByteArray("12.5"));
}

// The window shows every character: the en dash that ISO-8859-15 lacks is shown
// as written, where the code-page message has a hyphen.
TEST_F(FormCommandsTest, SendWithoutAReportSaysSoWithTheDash) {
  auto window = Start(true);
  window->ReportText().SetRowCount(1);  // sent already: rows counted, the text cleared
  ShowPage(*window, "TabSheet2");
  QString shown;
  ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
    shown = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  Find<QPushButton>(*window, "SpeedButton2")->click();
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(shown, QStringLiteral("Kein Bericht vorhanden – bitte zuerst erstellen."));
}

// A caption longer than the message still fits the dialog's frame whole.
TEST_F(FormCommandsTest, DialogsAreWideEnoughForTheirCaptions) {
  auto window = Start(true);
  vornetta::ui::TQtDialogs dialogs(window.get());
  const std::string caption = "Verbindung zum Mailserver fehlgeschlagen – Einstellungen prüfen";
  auto titleWidth = [](const QWidget& dialog) {
    QFont font = dialog.font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(dialog.windowTitle());
  };
  int boxWidth = 0, boxTitle = 0;
  ModalAnswer<QMessageBox> box([&](QMessageBox* shown) {
    boxWidth = shown->width();
    boxTitle = titleWidth(*shown);
    shown->button(QMessageBox::Ok)->click();
  });
  dialogs.ShowFailure(caption, "Fehler.");
  ASSERT_TRUE(box.Answered());
  EXPECT_GT(boxWidth, boxTitle + 100);

  int inputWidth = 0, inputTitle = 0;
  ModalAnswer<QInputDialog> input([&](QInputDialog* shown) {
    inputWidth = shown->width();
    inputTitle = titleWidth(*shown);
    shown->reject();
  });
  std::string value;
  EXPECT_FALSE(dialogs.InputQuery(caption + caption, "Wert", value, 0));
  ASSERT_TRUE(input.Answered());
  EXPECT_GT(inputWidth, inputTitle + 100);
}

TEST_F(FormCommandsTest, ConnectionDialogTakesLongStringsWhole) {
  auto window = Start(true);
  ShowPage(*window, "TabSheet3");
  const QString connection = QStringLiteral("Driver={SQLite3};Database=") + QString(5000, u'x') + u';';
  ModalAnswer<QInputDialog> answer([&](QInputDialog* dialog) {
    dialog->findChild<QLineEdit*>()->setText(connection);
    dialog->accept();
  });
  Find<QPushButton>(*window, "Button3")->click();
  ASSERT_TRUE(answer.Answered());
  EXPECT_EQ(TMyIniFile(ini_).ReadValue("datenbank", "connection", ""), connection.toStdString());
}

TEST_F(FormCommandsTest, SqliteConnectionTestUsesTheCatalogueAndHidesThePassword) {
  CreateDatabase(QStringLiteral("create table kunde(name text); create table auftrag(nr integer);"));
  TMyIniFile(ini_).WriteValue("datenbank", "connection", ConnectionString() + "Pwd=geheim;");
  auto window = Start();
  ShowPage(*window, "TabSheet3");
  Find<QPushButton>(*window, "Button4")->click();
  QStringList lines = Find<QPlainTextEdit>(*window, "Memodbtest")->toPlainText().split(u'\n');
  for (QString& line : lines) line = line.section(u'\t', 1);  // without the time stamp
  EXPECT_EQ(lines, (QStringList{QString::fromStdString("Verbindung: " + ConnectionString() + "Pwd=***;"),
                                QStringLiteral("Öffne Verbindung"), QStringLiteral("Lese Tabellen"),
                                QStringLiteral("2 Tabellen gefunden"), QStringLiteral("teste Dataset"),
                                QStringLiteral("teste Command"), QStringLiteral("tests abgeschlossen"),
                                QStringLiteral("schliesse Datenbankverbindung"), QStringLiteral("Test erfolgreich")}));
}

TEST_F(FormCommandsTest, SqliteConnectionTestOnAMissingFileEndsWithTheDriversMessage) {
  const std::string missing = dir_.filePath(QStringLiteral("fehlt/kunden.db")).toStdString();
  TMyIniFile(ini_).WriteValue("datenbank", "connection", "Driver={SQLite3};Database=" + missing + ";");
  auto window = Start();
  ShowPage(*window, "TabSheet3");
  Find<QPushButton>(*window, "Button4")->click();
  const QString log = Find<QPlainTextEdit>(*window, "Memodbtest")->toPlainText();
  EXPECT_TRUE(log.contains(QStringLiteral("\tFEHLER:\n"))) << log.toStdString();
  EXPECT_FALSE(log.contains(QStringLiteral("Test erfolgreich"))) << log.toStdString();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
}

}  // namespace

namespace {

TEST_F(FormCommandsTest, ChartDialogWritesTheSectionFromTheLastReportAndThePreviewShowsTheChart) {
  CreateDatabase(QStringLiteral("create table kunde(Kunde text, Betrag real, Rabatt real);"
                                "insert into kunde values ('Meier', 12.5, 1), ('Huber', 7.5, 2);"));
  {
    TMyIniFile ini(ini_);
    ini.WriteValue("datenbank", "connection", ConnectionString());
    ini.WriteText("sql", "update kunde set Rabatt = 0 where 0;\r\nselect * from kunde");
  }
  auto window = Start();
  ShowPage(*window, "TabSheet4");
  EXPECT_EQ(Find<QLabel>(*window, "lblDiagramme")->text(), QStringLiteral("Diagramme: keine"));
  // Before any report the dialog has no columns to offer.
  {
    ModalAnswer<QDialog> answer([](QDialog* dialog) {
      EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("cbAnweisung"))->count(), 0);
      dialog->reject();
    });
    Find<QPushButton>(*window, "btnDiagramme")->click();
    EXPECT_TRUE(answer.Answered());
  }

  Find<QPushButton>(*window, "SpeedButton1")->click();
  ASSERT_TRUE(dialogs_.messages.empty());
  ShowPage(*window, "TabSheet4");
  {
    ModalAnswer<QDialog> answer([](QDialog* dialog) {
      auto* statement = dialog->findChild<QComboBox*>(QStringLiteral("cbAnweisung"));
      ASSERT_EQ(statement->count(), 1);
      EXPECT_EQ(statement->itemText(0), QStringLiteral("sql1: Kunde, Betrag, Rabatt"));
      dialog->findChild<QComboBox*>(QStringLiteral("cbArt"))->setCurrentText(QStringLiteral("balken"));
      dialog->findChild<QComboBox*>(QStringLiteral("cbXSpalte"))->setCurrentText(QStringLiteral("Kunde"));
      auto* ys = dialog->findChild<QListWidget*>(QStringLiteral("lbYSpalten"));
      ys->item(1)->setCheckState(Qt::Checked);
      ys->item(2)->setCheckState(Qt::Checked);
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    Find<QPushButton>(*window, "btnDiagramme")->click();
    EXPECT_TRUE(answer.Answered());
  }
  EXPECT_EQ(TMyIniFile(ini_).ReadValue("diagramm", "1", ""), "balken;Kunde;Betrag,Rabatt");
  EXPECT_EQ(Find<QLabel>(*window, "lblDiagramme")->text(), QStringLiteral("Diagramme: 1: balken;Kunde;Betrag,Rabatt"));

  // The next build shows the chart above its table, as the mail will.
  Find<QPushButton>(*window, "SpeedButton1")->click();
  ASSERT_TRUE(dialogs_.messages.empty()) << dialogs_.messages[0];
  EXPECT_NE(window->ReportText().DocumentText().find("<img src=\"cid:diagramm-sql1@vornetta\""), std::string::npos);
  const QVariant image = Find<QTextBrowser>(*window, "html")->document()->resource(
      QTextDocument::ImageResource, QUrl(QStringLiteral("cid:diagramm-sql1@vornetta")));
  ASSERT_TRUE(image.canConvert<QImage>());
  EXPECT_EQ(image.value<QImage>().size(), QSize(1600, 720));
}

}  // namespace
