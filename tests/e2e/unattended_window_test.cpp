// The send command on the real main window (offscreen): "erstellen" on a SQLite
// database, then "versenden" through a real SMTP server. Nothing is sent with a
// row counter of 0, the report is cleared after a send and kept after a failure.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <memory>

#include "platform/code_page.h"
#include "ui/fake_dialogs.h"
#include "ui/form_main.h"
#include "ui/qt_application.h"
#include "ui/source_view.h"
#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

void SpinEvents(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class WindowSend : public ::testing::Test {
 protected:
  void SetUp() override {
    const TProcessResult r = RunProcess(
        {"/usr/bin/sqlite3", dir_ / "sales.db",
         "create table umsatz (kunde varchar(30), betrag double);"
         "insert into umsatz values ('Huber', 7.5);"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp");
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "sales.db"))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "absender", "absender@example.com")
        .Set("email", "betreff", "Bericht")
        .Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()));
  }

  // Starts the window on the configuration and waits until its start is done.
  void Start(const std::string& script) {
    ini_.SetText("sql", script);
    ini_.Save(dir_ / "report.ini");
    window_ = std::make_unique<ui::TFormMain>(std::vector<std::string>{dir_ / "report.ini"}, &dialogs_,
                                              dir_ / "vornetta");
    window_->show();
    // The start opens the configuration while it lets events through; a slow
    // (sanitized, busy) machine may need longer than the usual few hundred ms.
    QElapsedTimer clock;
    clock.start();
    while (window_->Config() == nullptr && clock.elapsed() < 10000) SpinEvents(20);
    ASSERT_NE(window_->Config(), nullptr);
    SpinEvents(300);
  }

  void Click(const char* button) {
    QPushButton* b = window_->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    b->click();
    SpinEvents(50);
  }

  bool SourcePageVisible() {
    auto* pages = window_->findChild<QTabWidget*>(QStringLiteral("PageControl2"));
    return pages && pages->currentWidget() && pages->currentWidget()->objectName() == QStringLiteral("TabSheet7");
  }
  bool PreviewEmpty() {
    auto* html = window_->findChild<QTextBrowser*>(QStringLiteral("html"));
    return html && html->toPlainText().isEmpty();
  }

  TTempDir dir_;
  std::unique_ptr<TSmtpSink> sink_;
  TIniText ini_;
  FakeDialogs dialogs_;
  std::unique_ptr<ui::TFormMain> window_;
};

TEST_F(WindowSend, RowCounterZeroSendsNothingAndStillClears) {
  Start("select kunde from umsatz where 1 = 0;");
  Click("SpeedButton1");
  ASSERT_EQ(window_->ReportText().RowCount(), 0);
  ASSERT_GT(window_->ReportText().PieceCount(), 0u);
  Click("SpeedButton2");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(window_->ReportText().PieceCount(), 0u);
  EXPECT_TRUE(SourcePageVisible());
  EXPECT_TRUE(PreviewEmpty());
  EXPECT_TRUE(sink_->Mails().empty());
}

TEST_F(WindowSend, ClearsTheReportAfterASendAndKeepsItAfterAFailure) {
  Start("select kunde as Kunde, betrag as Betrag from umsatz;");
  Click("SpeedButton1");
  ASSERT_EQ(window_->ReportText().RowCount(), 1);
  const std::string document(window_->ReportText().DocumentText());

  // A server nobody listens on: the message is shown, the report stays.
  window_->Config()->WriteValue("email", "smtpserver", "127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
  Click("SpeedButton2");
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  EXPECT_EQ(window_->ReportText().DocumentText(), document);
  EXPECT_FALSE(PreviewEmpty());

  // Through the server: the mail holds the document, the window is reset.
  window_->Config()->WriteValue("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()));
  Click("SpeedButton2");
  EXPECT_EQ(dialogs_.messages.size(), 1u);
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].body, document);
  EXPECT_EQ(window_->ReportText().PieceCount(), 0u);
  EXPECT_EQ(window_->ReportText().RowCount(), 1);
  EXPECT_TRUE(SourcePageVisible());
  EXPECT_TRUE(PreviewEmpty());
  auto* source = window_->findChild<ui::TSourceView*>(QStringLiteral("htmlsource"));
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->LineCount(), 0u);

  // A second send without a new build mails nothing and says so.
  Click("SpeedButton2");
  EXPECT_EQ(sink_->Mails().size(), 1u);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1], std::string("Kein Bericht vorhanden – bitte zuerst erstellen."));
}

// A cut table: the preview shows what the mail's HTML part shows, note row
// included, and the full result goes along as CSV.
TEST_F(WindowSend, PreviewOfACutReportShowsWhatTheMailShows) {
  const TProcessResult r = RunProcess({"/usr/bin/sqlite3", dir_ / "sales.db",
                                       "insert into umsatz values ('Meier', 12.5);"
                                       "insert into umsatz values ('Schulz', 5);"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ini_.Set("email", "zeilenMax", "1");
  Start("select kunde as Kunde, betrag as Betrag from umsatz order by kunde;");
  Click("SpeedButton1");
  auto* html = window_->findChild<QTextBrowser*>(QStringLiteral("html"));
  ASSERT_NE(html, nullptr);
  const QString preview = html->toPlainText();
  EXPECT_TRUE(preview.contains(QStringLiteral("… und 2 weitere Zeilen – vollständig im Anhang ergebnis-1.csv")))
      << preview.toStdString();

  Click("SpeedButton2");
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  const std::string& body = mails[0].body;
  const std::size_t start = body.find("\r\n\r\n") + 4;
  const std::size_t end = body.find("\r\n--=_Vornetta_Teil_", start);
  ASSERT_NE(end, std::string::npos) << body;
  QTextBrowser mailView;
  mailView.setHtml(QString::fromStdString(body.substr(start, end - start)));
  EXPECT_EQ(preview, mailView.toPlainText());
  EXPECT_NE(body.find("filename=\"ergebnis-1.csv\""), std::string::npos);
}

}  // namespace
}  // namespace vornetta::e2e

static ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);
