// TFormMain: the program's only window with its five pages. It owns the
// configuration object (opened when first shown, released when hidden), the
// report text with its row counter and the database connection holder, binds
// the pages "SQL" and "eMail" to the configuration file, and runs the commands
// of its buttons, showing their failures through its dialogs.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands/dialogs.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "dispatch/send_command.h"
#include "report/report_text.h"
#include "report/report_view.h"
#include "smtp/wait_hook.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTimer;

namespace vornetta::ui {

class TSourceView;

class TFormMain : public QWidget,
                  public report::TReportView,
                  public dispatch::TUnattendedView,
                  public smtp::TIdWaitHook {
  Q_OBJECT

 public:
  // params: the command-line parameters without the program name, parameter 1
  // first, in the file system's encoding (they name files). dialogs answers every
  // dialog of the window; null gives Qt message boxes. programPath, in the same
  // encoding, locates the default configuration file; empty means the running program.
  explicit TFormMain(std::vector<std::string> params, commands::TDialogs* dialogs = nullptr,
                     std::string programPath = {}, QWidget* parent = nullptr);
  ~TFormMain() override;

  // Set once the window has asked the application to terminate (also before
  // the event loop runs, which a caller must check after show()).
  bool TerminateRequested() const { return terminateRequested_; }
  int ExitStatus() const { return exitStatus_; }
  void RequestTerminate(int status);

  // What the window owns, for the commands. Config() is null before the window
  // was shown, after it was hidden, and when the file could not be created.
  config::TMyIniFile* Config() { return config_.get(); }
  report::TReportText& ReportText() { return reportText_; }
  db::TConnectionOwner& Connection() { return connection_; }
  commands::TDialogs& Dialogs() { return *dialogs_; }
  const std::vector<std::string>& Parameters() const { return params_; }

  // dispatch::TUnattendedView
  // The report build (throws its failure after the preview is loaded). A build
  // ended by "Abbrechen" throws "Erstellen abgebrochen." and leaves nothing to send.
  void BuildReport() override;
  // After a send: clears the report text, shows the source page and the empty preview.
  void ResetReportViews() override;
  // Makes the page "Versand" the current one.
  void ShowSendPage() override;
  // The window itself: the send lets window events through while it waits.
  smtp::TIdWaitHook* SendWaitHook() override { return this; }

  // smtp::TIdWaitHook: processes pending events every event slice; false once
  // "Abbrechen" was clicked.
  int WaitSliceMs() const override;
  bool ContinueWaiting() override;

  // The window's default error display: a message box with the failure's text.
  void ShowError(const std::exception& failure);

  // report::TReportView
  void ShowSourcePage() override;
  void PiecesAppended(const report::TReportText& text) override;
  // Throws "Erstellen abgebrochen." once "Abbrechen" was clicked during a build.
  void ProcessPendingEvents() override;
  void StatementStarted(std::size_t number, std::size_t count, std::string_view statement,
                        platform::TextEncoding encoding) override;
  std::chrono::milliseconds EventSlice() const override { return eventSlice_; }
  void LoadPreview(std::string_view documentText) override;

  // Tests shorten the slice so that events reach the window during any build,
  // however fast the machine writes the rows.
  void SetEventSlice(std::chrono::milliseconds slice) { eventSlice_ = slice; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void CreateControls();
  QWidget* CreateInfoPage();
  QWidget* CreateDatenbankPage();
  QWidget* CreateSqlPage();
  QWidget* CreateEmailPage();
  QWidget* CreateVersandPage();

  // Runs a command; a failure goes to ShowError.
  template <class F>
  void RunCommand(F&& command);
  // Runs a button's command. Commands let window events through, so while one
  // runs the other buttons are disabled and closing the window waits for its end:
  // nothing may release the connection or the configuration under it. While a
  // cancellable command runs, "Abbrechen" is enabled.
  template <class F>
  void RunButtonCommand(F&& command, bool cancellable = false);
  void SetCommandButtonsEnabled(bool enabled, bool cancellable = false);
  void SetStatus(const QString& text);

  void FormShow();
  void FormHide();
  // The writes at the end (page leave action, FormHide). A failure, of memory
  // too, is reported (as a message when mayShowDialogs, else on stderr) and never
  // leaves; the configuration is released either way.
  void StoreAtEnd(bool mayShowDialogs) noexcept;
  bool OpenConfiguration();
  void RestoreGeometry();
  void PauseProcessingEvents(int milliseconds);

  void PageControl1Changed(int index);
  void PageControl1Change();
  void EnterPage(QWidget* page);
  void LeavePage(QWidget* page);
  void TabSheet2Enter() {}
  void TabSheet4Enter();
  void TabSheet4Exit();
  void TabSheet5Enter();
  void TabSheet5Exit();

  void Button3Click();
  void Button4Click();
  void Statement_testenClick();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void AbbrechenClick();
  void TimerUnattendTimer();

  void ClearPreview();

  std::vector<std::string> params_;
  std::string programPath_;
  std::unique_ptr<commands::TDialogs> ownDialogs_;
  commands::TDialogs* dialogs_;

  std::unique_ptr<config::TMyIniFile> config_;
  db::TConnectionOwner connection_;  // opened from "datenbank"/"connection"
  report::TReportText reportText_;

  bool shown_ = false;
  bool starting_ = false;  // inside FormShow
  bool formShowDone_ = false;
  bool busy_ = false;
  bool closePending_ = false;
  bool cancelRequested_ = false;
  bool building_ = false;
  bool terminateRequested_ = false;
  int exitStatus_ = 0;
  QWidget* currentPage_ = nullptr;

  // Controls, named as the window's designer named them.
  QTimer* TimerUnattend = nullptr;
  QLabel* lblTitel = nullptr;
  QLabel* logo = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet4 = nullptr;
  QWidget* TabSheet5 = nullptr;
  QPlainTextEdit* MemoInfo = nullptr;
  QLabel* lblAppname = nullptr;
  QLabel* lblAppVersion = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPlainTextEdit* Memodbtest = nullptr;
  QPushButton* Statement_testen = nullptr;
  QPlainTextEdit* statement = nullptr;
  QCheckBox* cbErgebnisLeer = nullptr;
  QCheckBox* cbErgebnisUpdate = nullptr;
  QCheckBox* cbErgebnisDelete = nullptr;
  QCheckBox* cbErgebnisInsert = nullptr;
  QLineEdit* empfaenger = nullptr;
  QLineEdit* cc = nullptr;
  QLineEdit* bcc = nullptr;
  QLineEdit* betreff = nullptr;
  QLineEdit* smtpserver = nullptr;
  QLineEdit* smtpuser = nullptr;
  QLineEdit* smtppass = nullptr;
  QLineEdit* absender = nullptr;
  QPlainTextEdit* kopfzeile = nullptr;
  QPlainTextEdit* fusszeile = nullptr;
  QPlainTextEdit* css = nullptr;
  QPushButton* SpeedButton1 = nullptr;
  QPushButton* SpeedButton2 = nullptr;
  QPushButton* btnAbbrechen = nullptr;
  QTabWidget* PageControl2 = nullptr;
  QWidget* TabSheet6 = nullptr;
  QWidget* TabSheet7 = nullptr;
  QLabel* previewNote = nullptr;
  QTextBrowser* html = nullptr;
  TSourceView* htmlsource = nullptr;
  QLabel* lblStatus = nullptr;  // under the pages: progress and outcome of build and send

  std::chrono::milliseconds eventSlice_{15};
  std::string currentStatement_;  // the running statement, for the status line
  platform::TextEncoding currentStatementEncoding_ = platform::TextEncoding::CodePage;
  std::size_t statementNumber_ = 0;
  std::size_t statementCount_ = 0;
  QElapsedTimer statusClock_;  // since the status line last showed progress
};

}  // namespace vornetta::ui
