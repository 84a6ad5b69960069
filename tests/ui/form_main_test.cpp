#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPushButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include "config/my_ini_file.h"
#include "fake_dialogs.h"
#include "window_controls.h"
#include "ui/form_main.h"
#include "ui/texts.h"

using vornetta::config::TMyIniFile;
using vornetta::ui::TFormMain;
using vornetta::ui::test::Find;
using vornetta::ui::test::ShowPage;
using vornetta::ui::test::SpinEventsUntil;

namespace {

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

  std::unique_ptr<TFormMain> Start(std::vector<std::string> params) {
    auto window = std::make_unique<TFormMain>(std::move(params), &dialogs_, Path("vornetta"));
    window->show();
    return window;
  }

  QTemporaryDir dir_;
  FakeDialogs dialogs_;
};

TEST_F(FormMainTest, StartShowsTitlesVersionAndInfoTextAndEndsOnVersand) {
  auto window = Start({Path("a.ini")});
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Vornetta"));
  EXPECT_EQ(Find<QLabel>(*window, "lblTitel")->text(), QStringLiteral("Vornetta"));
  EXPECT_EQ(Find<QLabel>(*window, "lblAppname")->text(), QStringLiteral("Vornetta"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+\\.\\d+$"))
                  .match(Find<QLabel>(*window, "lblAppVersion")->text())
                  .hasMatch())
      << Find<QLabel>(*window, "lblAppVersion")->text().toStdString();
  EXPECT_EQ(Find<QTabWidget>(*window, "PageControl1")->currentWidget(), Find<QWidget>(*window, "TabSheet2"));
  EXPECT_EQ(Find<QTabWidget>(*window, "PageControl2")->currentWidget(), Find<QWidget>(*window, "TabSheet7"));

  const QStringList paragraphs = Find<QPlainTextEdit>(*window, "MemoInfo")->toPlainText().split(QStringLiteral("\n\n"));
  ASSERT_EQ(paragraphs.size(), 4);
  EXPECT_TRUE(paragraphs[0].startsWith(QStringLiteral("Vornetta ist ein Programm, mit dem Sie komfortabel Datenbank")));
  for (const QString& paragraph : paragraphs) EXPECT_FALSE(paragraph.contains(u'\n')) << paragraph.toStdString();
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(FormMainTest, NamedFileIsCreatedPrivateAndMigratedAndGeometryIsStoredAtTheEnd) {
  const std::string path = Path("neu.ini");
  auto window = Start({"-x", path, Path("zweite.ini")});
  ASSERT_NE(window->Config(), nullptr);
  EXPECT_EQ(window->Config()->FileName(), path);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("zweite.ini"))));  // only the first name counts
  // The migration leaves the three decoration keys in every file.
  EXPECT_TRUE(window->Config()->HasKey("email", "kopfzeile"));
  EXPECT_TRUE(window->Config()->HasKey("email", "css"));
  EXPECT_FALSE(window->Config()->HasSection("FormMain"));

  const QRect geometry = window->geometry();
  window.reset();
  TMyIniFile ini(path);
  EXPECT_EQ(ini.KeyNames("FormMain"), (std::vector<std::string>{"top", "left", "height", "width"}));
  EXPECT_EQ(ini.ReadNumber("FormMain", "top", -1), geometry.y());
  EXPECT_EQ(ini.ReadNumber("FormMain", "left", -1), geometry.x());
  EXPECT_EQ(ini.ReadNumber("FormMain", "height", -1), geometry.height());
  EXPECT_EQ(ini.ReadNumber("FormMain", "width", -1), geometry.width());
  EXPECT_EQ(geometry.size(), QSize(852, 513));
}

TEST_F(FormMainTest, StoredGeometryIsRestoredAndBadNumbersKeepTheCurrentValue) {
  const std::string path = Path("geo.ini");
  {
    TMyIniFile ini(path);
    ini.WriteNumber("FormMain", "top", 40);
    ini.WriteValue("FormMain", "left", "0x3C");
    ini.WriteNumber("FormMain", "height", 480);
    ini.WriteValue("FormMain", "width", "breit");
  }
  auto window = Start({path});
  EXPECT_EQ(window->geometry(), QRect(60, 40, 852, 480));
}

// The offscreen platform gives windows a frame, as a window manager does: the
// window must come back where it was, not offset by the frame.
TEST_F(FormMainTest, WindowReopensExactlyWhereItWasClosed) {
  const std::string path = Path("wieder.ini");
  auto window = Start({path});
  const QRect placed(333, 222, 700, 500);
  window->setGeometry(placed);
  ASSERT_TRUE(SpinEventsUntil([&] { return window->geometry() == placed; }));
  window.reset();
  for (int reopen = 0; reopen < 3; ++reopen) {
    window = Start({path});
    EXPECT_EQ(window->geometry(), placed) << "reopened " << reopen + 1 << " times";
    window.reset();
  }
  EXPECT_FALSE(TMyIniFile(path).HasKey("FormMain", "maximiert"));  // never maximized: the file as before

  // Maximized, it reopens maximized and returns to its place when restored.
  window = Start({path});
  window->showMaximized();
  ASSERT_TRUE(SpinEventsUntil([&] { return window->isMaximized(); }));
  window.reset();
  EXPECT_EQ(TMyIniFile(path).ReadNumber("FormMain", "maximiert", -1), 1);
  EXPECT_EQ(TMyIniFile(path).ReadNumber("FormMain", "width", -1), placed.width());
  window = Start({path});
  ASSERT_TRUE(SpinEventsUntil([&] { return window->isMaximized(); }));
  window->showNormal();
  ASSERT_TRUE(SpinEventsUntil([&] { return window->geometry() == placed; }));
  window.reset();
  EXPECT_EQ(TMyIniFile(path).ReadNumber("FormMain", "maximiert", -1), 0);
}

TEST_F(FormMainTest, UncreatableFileIsReportedAndEndsTheStartWithStatusOne) {
  const std::string path = Path("fehlt/x.ini");
  auto window = Start({path});
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], "Fehler beim Erstellen der Konfigurationsdatei \"" + path + "\"");
  EXPECT_TRUE(window->TerminateRequested());
  EXPECT_EQ(window->ExitStatus(), 1);
  EXPECT_EQ(window->Config(), nullptr);
  EXPECT_FALSE(Find<QTimer>(*window, "TimerUnattend")->isActive());
  window.reset();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

TEST_F(FormMainTest, SqlPageLoadsOnEnterAndStoresOnLeave) {
  const std::string path = Path("sql.ini");
  {
    TMyIniFile ini(path);
    ini.WriteText("sql", "select 1 from t;\r\nselect\t2 from t;");
    ini.WriteFlag("datenbank", "ergebnisUpdate", true);
  }
  auto window = Start({path});
  ShowPage(*window, "TabSheet4");
  auto* memo = Find<QPlainTextEdit>(*window, "statement");
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("select 1 from t;\nselect\t2 from t;\n"));
  EXPECT_FALSE(Find<QCheckBox>(*window, "cbErgebnisLeer")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(*window, "cbErgebnisUpdate")->isChecked());
  // Entering writes the missing flags with their default.
  EXPECT_EQ(window->Config()->ReadValue("datenbank", "ergebnisInsert", "?"), "0");

  // Leaving without edits rewrites the same lines.
  ShowPage(*window, "TabSheet1");
  EXPECT_EQ(window->Config()->ReadText("sql"), "select 1 from t;\r\nselect\t2 from t;\r\n");

  ShowPage(*window, "TabSheet4");
  memo->setPlainText(QStringLiteral("update t set a = 1;\n\ndelete from t"));
  Find<QCheckBox>(*window, "cbErgebnisInsert")->setChecked(true);
  Find<QCheckBox>(*window, "cbErgebnisUpdate")->setChecked(false);
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->KeyNames("sql"), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(window->Config()->ReadText("sql"), "update t set a = 1;\r\n\r\ndelete from t\r\n");
  EXPECT_TRUE(window->Config()->ReadFlag("datenbank", "ergebnisInsert", false));
  EXPECT_FALSE(window->Config()->ReadFlag("datenbank", "ergebnisUpdate", true));
}

TEST_F(FormMainTest, EmailPageOnANewFileWritesAllKeysWithTheDefaults) {
  const std::string path = Path("mail.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(Find<QLineEdit>(*window, "betreff")->text(), QStringLiteral("Vornetta"));
  EXPECT_EQ(Find<QLineEdit>(*window, "absender")->text(), QString::fromLatin1(vornetta::ui::kBuiltInSender));
  ShowPage(*window, "TabSheet2");

  std::vector<std::string> keys = window->Config()->KeyNames("email");
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"absender", "anhang", "bcc", "betreff", "cc", "css", "empfaenger",
                                            "fusszeile", "groesseMax", "kopfzeile", "sendenWenn", "smtppass",
                                            "smtpserver", "smtptokenbefehl", "smtpuser", "verschluesselung",
                                            "zeilenMax", "zeitzone", "zertifikate"}));
  EXPECT_EQ(window->Config()->ReadValue("email", "verschluesselung", ""), "auto");
  EXPECT_EQ(window->Config()->ReadValue("email", "betreff", ""), "Vornetta");
  EXPECT_EQ(window->Config()->ReadValue("email", "absender", ""), vornetta::ui::kBuiltInSender);
  EXPECT_EQ(window->Config()->ReadValue("email", "smtpserver", "?"), "");
}

TEST_F(FormMainTest, AttachmentComboAndLimitsStoreTheirKeysAndKeepValuesTheyCannotShow) {
  const std::string path = Path("anhang.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet5");
  auto* combo = Find<QComboBox>(*window, "anhang");
  auto* rows = Find<QSpinBox>(*window, "zeilenMax");
  auto* size = Find<QSpinBox>(*window, "groesseMax");
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(0), QStringLiteral("keiner"));
  EXPECT_EQ(combo->itemText(2), QStringLiteral("Excel (XLSX)"));
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(rows->text(), QStringLiteral("unbegrenzt"));
  combo->setCurrentIndex(2);
  rows->setValue(50);
  size->setValue(100);
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "anhang", "?"), "xlsx");
  EXPECT_EQ(window->Config()->ReadValue("email", "zeilenMax", "?"), "50");
  EXPECT_EQ(window->Config()->ReadValue("email", "groesseMax", "?"), "100");

  // Words in another case and values the boxes cannot show stay until changed.
  window->Config()->WriteValue("email", "zeilenMax", "viele");
  window->Config()->WriteValue("email", "anhang", "pdf");
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(combo->currentText(), QStringLiteral("pdf"));
  EXPECT_EQ(rows->value(), 0);
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "anhang", "?"), "pdf");
  EXPECT_EQ(window->Config()->ReadValue("email", "zeilenMax", "?"), "viele");
  window->Config()->WriteValue("email", "anhang", "CSV");
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(combo->currentIndex(), 1);
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "anhang", "?"), "CSV");
}

// An en dash has no place in the code page: the file turns UTF-8 (with the
// byte-order mark, the values stored before converted) instead of storing "?".
TEST_F(FormMainTest, ATypedTextTheCodePageCannotHoldTurnsTheFileUtf8) {
  const std::string path = Path("utf8.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet5");
  Find<QLineEdit>(*window, "cc")->setText(QStringLiteral("Müller <m@example.com>"));
  ShowPage(*window, "TabSheet3");
  EXPECT_NE(FileContent(path).find("cc=M\xFCller <m@example.com>\r\n"), std::string::npos);  // still the code page

  ShowPage(*window, "TabSheet5");
  Find<QLineEdit>(*window, "betreff")->setText(QStringLiteral("Eilig – bitte prüfen"));
  ShowPage(*window, "TabSheet3");
  const std::string content = FileContent(path);
  EXPECT_EQ(content.rfind("\xEF\xBB\xBF", 0), 0u) << content;
  EXPECT_NE(content.find("betreff=Eilig \xE2\x80\x93 bitte pr\xC3\xBC" "fen\r\n"), std::string::npos) << content;
  EXPECT_NE(content.find("cc=M\xC3\xBCller <m@example.com>\r\n"), std::string::npos) << content;
  EXPECT_EQ(content.find('?'), std::string::npos) << content;

  // Shown again as typed, and the next store keeps the file UTF-8.
  Find<QLineEdit>(*window, "betreff")->clear();
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(Find<QLineEdit>(*window, "betreff")->text(), QStringLiteral("Eilig – bitte prüfen"));
  EXPECT_EQ(Find<QLineEdit>(*window, "cc")->text(), QStringLiteral("Müller <m@example.com>"));
  Find<QLineEdit>(*window, "bcc")->setText(QStringLiteral("Jörg <j@example.com>"));
  ShowPage(*window, "TabSheet3");
  const std::string again = FileContent(path);
  EXPECT_EQ(again.rfind("\xEF\xBB\xBF", 0), 0u);
  EXPECT_NE(again.find("bcc=J\xC3\xB6rg <j@example.com>\r\n"), std::string::npos) << again;
  EXPECT_NE(again.find("betreff=Eilig \xE2\x80\x93 bitte pr\xC3\xBC" "fen\r\n"), std::string::npos) << again;
}

// The memos too: header, footer, style sheet and the statement script keep
// what the code page cannot hold, and come back into the window as typed.
TEST_F(FormMainTest, MemoTextsTheCodePageCannotHoldTurnTheFileUtf8) {
  const std::string path = Path("memo-utf8.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet4");
  const QString script = QStringLiteral("select 'Eilig – bitte prüfen' as x;\nselect 1");
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(script);
  ShowPage(*window, "TabSheet5");
  const std::string before = FileContent(path);
  EXPECT_EQ(before.rfind("\xEF\xBB\xBF", 0), 0u) << before;
  EXPECT_NE(before.find("[sql]\r\n0=select 'Eilig \xE2\x80\x93 bitte pr\xC3\xBC" "fen' as x;\r\n1=select 1\r\n"),
            std::string::npos)
      << before;

  const QString header = QStringLiteral("<h1>„Umsätze“</h1>\n<p>Łukasz</p>");
  const QString footer = QStringLiteral("<p>Ende – Şahin</p>");
  const QString css = QStringLiteral("h1 { color: red; } /* — */");
  Find<QPlainTextEdit>(*window, "kopfzeile")->setPlainText(header);
  Find<QPlainTextEdit>(*window, "fusszeile")->setPlainText(footer);
  Find<QPlainTextEdit>(*window, "css")->setPlainText(css);
  ShowPage(*window, "TabSheet3");
  const std::string content = FileContent(path);
  EXPECT_NE(content.find("kopfzeile=<h1>\xE2\x80\x9EUms\xC3\xA4tze\xE2\x80\x9C</h1>##13##10<p>\xC5\x81ukasz</p>\r\n"),
            std::string::npos)
      << content;
  EXPECT_NE(content.find("fusszeile=<p>Ende \xE2\x80\x93 \xC5\x9E" "ahin</p>\r\n"), std::string::npos) << content;
  EXPECT_NE(content.find("css=h1 { color: red; } /* \xE2\x80\x94 */\r\n"), std::string::npos) << content;
  EXPECT_EQ(content.find('?'), std::string::npos) << content;

  for (const char* name : {"kopfzeile", "fusszeile", "css"}) Find<QPlainTextEdit>(*window, name)->clear();
  Find<QPlainTextEdit>(*window, "statement")->clear();
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(Find<QPlainTextEdit>(*window, "kopfzeile")->toPlainText(), header);
  EXPECT_EQ(Find<QPlainTextEdit>(*window, "fusszeile")->toPlainText(), footer);
  EXPECT_EQ(Find<QPlainTextEdit>(*window, "css")->toPlainText(), css);
  ShowPage(*window, "TabSheet4");
  EXPECT_EQ(Find<QPlainTextEdit>(*window, "statement")->toPlainText(), script + QStringLiteral("\n"));

  // A script that fits again is stored in the code page's characters (the file stays UTF-8).
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(QStringLiteral("select 'Grüße'"));
  ShowPage(*window, "TabSheet3");
  EXPECT_NE(FileContent(path).find("[sql]\r\n0=select 'Gr\xC3\xBC\xC3\x9F" "e'\r\n"), std::string::npos);
  EXPECT_EQ(window->Config()->ReadText("sql"), "select 'Grüße'\r\n");
}

TEST_F(FormMainTest, MultiLineHeaderWithTabsAndUmlautsRoundTripsThroughTheFile) {
  const std::string path = Path("kopf.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet5");
  const QString header = QStringLiteral("<h1>Bericht</h1>\n\t<p>Stand</p>\n");
  Find<QPlainTextEdit>(*window, "kopfzeile")->setPlainText(header);
  Find<QLineEdit>(*window, "betreff")->setText(QStringLiteral("Grüße"));
  Find<QLineEdit>(*window, "smtppass")->setText(QStringLiteral("geheim"));
  ShowPage(*window, "TabSheet3");

  const std::string content = FileContent(path);
  EXPECT_NE(content.find("kopfzeile=<h1>Bericht</h1>##13##10##09<p>Stand</p>##13##10\r\n"), std::string::npos) << content;
  EXPECT_NE(content.find("betreff=Gr\xFC\xDF" "e\r\n"), std::string::npos);  // the system code page's bytes
  EXPECT_NE(content.find("smtppass=geheim\r\n"), std::string::npos);

  Find<QPlainTextEdit>(*window, "kopfzeile")->clear();
  ShowPage(*window, "TabSheet5");
  EXPECT_EQ(Find<QPlainTextEdit>(*window, "kopfzeile")->toPlainText(), header);
  EXPECT_EQ(Find<QLineEdit>(*window, "betreff")->text(), QStringLiteral("Grüße"));

  // A long recipient list passes through the one-line edit whole.
  ShowPage(*window, "TabSheet2");
  std::string recipients;
  while (recipients.size() < 40000) recipients += "empfaenger" + std::to_string(recipients.size()) + "@example.org, ";
  window->Config()->WriteValue("email", "empfaenger", recipients);
  ShowPage(*window, "TabSheet5");
  ShowPage(*window, "TabSheet2");
  const std::string stored = window->Config()->ReadValue("email", "empfaenger", "");
  EXPECT_EQ(stored.size(), recipients.size());
  EXPECT_TRUE(stored == recipients);
}

TEST_F(FormMainTest, EncryptionAndCertificateFileAreBoundToTheFile) {
  const std::string path = Path("tls.ini");
  {
    vornetta::config::TMyIniFile ini(path);
    ini.WriteValue("email", "verschluesselung", "ssl");
  }
  auto window = Start({path});
  ShowPage(*window, "TabSheet5");
  auto* mode = Find<QComboBox>(*window, "verschluesselung");
  EXPECT_EQ(mode->currentText(), QStringLiteral("SSL/TLS"));
  QStringList items;
  for (int i = 0; i < mode->count(); ++i) items << mode->itemText(i);
  EXPECT_EQ(items, (QStringList{"Automatisch", "STARTTLS", "SSL/TLS", "keine"}));

  // The chooser button fills the line; leaving the page stores both.
  const std::string pem = Path("ca.pem");
  std::ofstream(pem) << "-----BEGIN CERTIFICATE-----\n";
  Find<QToolButton>(*window, "zertifikateWaehlen")->click();
  QFileDialog* chooser = nullptr;
  EXPECT_TRUE(SpinEventsUntil([&] { return (chooser = window->findChild<QFileDialog*>("zertifikateDialog")); }));
  ASSERT_NE(chooser, nullptr);
  chooser->selectFile(QString::fromStdString(pem));
  static_cast<QDialog*>(chooser)->accept();
  EXPECT_EQ(Find<QLineEdit>(*window, "zertifikate")->text(), QString::fromStdString(pem));
  mode->setCurrentIndex(mode->findText(QStringLiteral("keine")));
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "verschluesselung", ""), "aus");
  EXPECT_EQ(window->Config()->ReadValue("email", "zertifikate", ""), pem);

  // A value the list does not know survives a visit of the page unchanged.
  window->Config()->WriteValue("email", "verschluesselung", "irgendwas");
  ShowPage(*window, "TabSheet5");
  ShowPage(*window, "TabSheet2");
  EXPECT_EQ(window->Config()->ReadValue("email", "verschluesselung", ""), "irgendwas");

  // At the window's minimum size every label, line and button keeps at least its
  // minimum size (the memos scroll).
  window->resize(window->minimumSize());
  ShowPage(*window, "TabSheet5");
  QCoreApplication::processEvents();
  for (QWidget* control : Find<QWidget>(*window, "TabSheet5")->findChildren<QWidget*>()) {
    if (!control->isVisible() || control->parentWidget() != Find<QWidget>(*window, "TabSheet5") ||
        qobject_cast<QPlainTextEdit*>(control))
      continue;
    EXPECT_GE(control->width(), control->minimumSizeHint().width()) << control->objectName().toStdString();
    EXPECT_GE(control->height(), control->minimumSizeHint().height()) << control->objectName().toStdString();
  }
}

TEST_F(FormMainTest, ClosingStoresThePageInFocusBeforeTheFileIsReleased) {
  const std::string path = Path("close.ini");
  auto window = Start({path});
  ShowPage(*window, "TabSheet4");
  Find<QPlainTextEdit>(*window, "statement")->setPlainText(QStringLiteral("select 42"));
  window->close();
  EXPECT_EQ(window->Config(), nullptr);
  TMyIniFile ini(path);
  EXPECT_EQ(ini.ReadText("sql"), "select 42\r\n");
  EXPECT_TRUE(ini.HasKey("FormMain", "width"));
}

TEST_F(FormMainTest, ClosingWhileTheStartLetsEventsThroughEndsWithoutARun) {
  const std::string path = Path("frueh.ini");
  auto window = std::make_unique<TFormMain>(std::vector<std::string>{"-unattend", path}, &dialogs_, Path("vornetta"));
  QMetaObject::invokeMethod(window.get(), &QWidget::close, Qt::QueuedConnection);
  window->show();
  EXPECT_TRUE(window->TerminateRequested());  // the program ends instead of waiting without a window
  EXPECT_EQ(window->ExitStatus(), 0);
  EXPECT_TRUE(SpinEventsUntil([&] { return window->Config() == nullptr; }));
  EXPECT_FALSE(Find<QTimer>(*window, "TimerUnattend")->isActive());
  EXPECT_TRUE(TMyIniFile(path).HasKey("FormMain", "top"));
  EXPECT_FALSE(TMyIniFile(path).HasKey("email", "smtpserver"));  // the run never read its settings
}

TEST_F(FormMainTest, TimerTicksOnceAndOnlyTheSwitchStartsTheUnattendedRun) {
  auto interactive = Start({Path("i.ini")});
  EXPECT_TRUE(SpinEventsUntil([&] { return !Find<QTimer>(*interactive, "TimerUnattend")->isActive(); }));
  EXPECT_FALSE(interactive->TerminateRequested());
  interactive.reset();

  for (const char* flag : {"-unattend", "-UNATTEND", "-UnAttend"}) {
    auto window = Start({flag, Path("u.ini")});
    EXPECT_TRUE(SpinEventsUntil([&] { return window->TerminateRequested(); })) << flag;
    EXPECT_NE(window->ExitStatus(), 0) << flag;  // nothing is configured: the run cannot succeed
    EXPECT_FALSE(Find<QTimer>(*window, "TimerUnattend")->isActive());
    EXPECT_EQ(Find<QTabWidget>(*window, "PageControl1")->currentWidget(), Find<QWidget>(*window, "TabSheet2"));
  }
}

TEST_F(FormMainTest, EmailPageTabOrderFollowsTheScreen) {
  auto window = Start({Path("tab.ini")});
  ShowPage(*window, "TabSheet5");
  const QStringList onScreen{"empfaenger", "cc",          "bcc",         "betreff",   "absender",
                             "smtpserver", "verschluesselung", "zertifikate", "zertifikateWaehlen", "smtpuser",
                             "smtppass",   "smtptokenbefehl", "verbindungTesten", "kopfzeile", "fusszeile",
                             "css",        "anhang",      "zeilenMax",   "groesseMax"};
  // The fields in the order Tab visits them (other controls may stand between).
  QStringList visited;
  QWidget* start = Find<QWidget>(*window, "empfaenger");
  QWidget* widget = start;
  do {
    if (onScreen.contains(widget->objectName()) && !visited.contains(widget->objectName()))
      visited << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != start);
  EXPECT_EQ(visited, onScreen);
}

TEST_F(FormMainTest, CommandButtonsHaveAcceleratorsAndKeepTheirTexts) {
  auto window = Start({Path("keys.ini")});
  auto* build = Find<QPushButton>(*window, "SpeedButton1");
  auto* send = Find<QPushButton>(*window, "SpeedButton2");
  EXPECT_EQ(build->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
  EXPECT_EQ(send->shortcut(), QKeySequence(Qt::ALT | Qt::Key_V));
  EXPECT_EQ(QString(build->text()).remove(u'&'), QStringLiteral("erstellen"));
  EXPECT_EQ(QString(send->text()).remove(u'&'), QStringLiteral("versenden"));
}

TEST_F(FormMainTest, SqlPageCheckBoxTextWrapsAndTheEditorKeepsItsWidthAtMinimumSize) {
  auto window = Start({Path("klein.ini")});
  ShowPage(*window, "TabSheet4");
  window->resize(window->minimumSize());
  auto* editor = Find<QPlainTextEdit>(*window, "statement");
  auto* empty = Find<QCheckBox>(*window, "cbErgebnisLeer");
  auto* page = Find<QWidget>(*window, "TabSheet4");
  ASSERT_TRUE(SpinEventsUntil([&] { return page->width() < 540; }));
  EXPECT_EQ(empty->text(), QStringLiteral("eMail auch bei leerem Ergebnis verschicken"));
  EXPECT_GE(empty->height(), 2 * empty->fontMetrics().height());  // wrapped onto two lines or more
  EXPECT_LE(empty->geometry().right(), editor->geometry().left());
  EXPECT_GE(editor->width(), page->width() / 2) << "editor " << editor->width() << " of " << page->width();
  // The text is still the check box's: a click on it toggles.
  const QPointF onText(empty->width() - 4, empty->height() / 2);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, onText, empty->mapToGlobal(onText), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(empty, &click);
  }
  EXPECT_TRUE(empty->isChecked());
}

}  // namespace
