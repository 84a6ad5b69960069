// TFormMain: the program's only window with its five pages. It owns the
// configuration object (opened when first shown, released when hidden), the
// report text and the database connection, and composes the parts: the page
// builders, the bindings of the pages "SQL" and "eMail" to the configuration
// file, the report pane and the commands of its buttons, whose failures it
// shows through its dialogs.
#pragma once

#include <QWidget>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "commands/dialogs.h"
#include "config/my_ini_file.h"
#include "db/connection_owner.h"
#include "db/database_wait.h"
#include "dispatch/send_command.h"
#include "report/report_text.h"
#include "smtp/wait_hook.h"
#include "ui/window_life.h"

class QLabel;
class QTabWidget;
class QTimer;

namespace vornetta::ui {

struct TInfoPage;
struct TDatabasePage;
struct TSqlPage;
struct TEmailPage;
struct TSendPage;
class TSqlPageBinding;
class TEmailPageBinding;
class TReportPane;
class TSendCommands;

class TFormMain : public QWidget,
                  public dispatch::TUnattendedView,
                  public smtp::TIdWaitHook,
                  public db::TDatabaseWaiter {
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
  bool TerminateRequested() const { return life_.TerminateRequested(); }
  int ExitStatus() const { return exitStatus_; }
  void RequestTerminate(int status);

  // What the window owns, for the commands. Config() is null before the window
  // was shown, after it was hidden, and when the file could not be created.
  config::TMyIniFile* Config() { return config_.get(); }
  report::TReportText& ReportText() { return reportText_; }
  db::TConnectionOwner& Connection() { return connection_; }
  commands::TDialogs& Dialogs() { return *dialogs_; }
  const std::vector<std::string>& Parameters() const { return params_; }
  // The view the report builder writes through.
  TReportPane& ReportPane();

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

  // platform::TEventPump, for the build, the send and the database waits:
  // processes pending events; false once "Abbrechen" was clicked.
  bool PumpEvents() override;
  std::chrono::milliseconds Slice() const override { return eventSlice_; }
  // smtp::TIdWaitHook: the step of the send in the status line.
  void PhaseStarted(const std::string& text) noexcept override;
  // 60 s for the greeting while someone watches; an unattended run keeps the reply limit.
  std::chrono::milliseconds GreetingLimit() const noexcept override;
  bool ShowsProgress() const noexcept override;

  // db::TDatabaseWaiter: the database works off the window's thread; the status
  // line says what it waits for.
  void Waiting(TTask task, std::chrono::steady_clock::duration elapsed) override;

  // The window's default error display: a message box with the failure's text.
  void ShowError(const std::exception& failure);

  // Tests shorten the slice so that events reach the window during any build,
  // however fast the machine writes the rows.
  void SetEventSlice(std::chrono::milliseconds slice) { eventSlice_ = slice; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void CreateControls();
  void ConnectButtons();

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
  // The commands of the page "Versand", reporting to the status line.
  TSendCommands SendCommands();

  void FormShow();
  void FormHide();
  // The writes at the end (page leave action, FormHide). A failure, of memory
  // too, is reported (as a message when mayShowDialogs, else on stderr) and never
  // leaves; the configuration is released either way.
  void StoreAtEnd(bool mayShowDialogs) noexcept;
  bool OpenConfiguration();
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
  void VerbindungTestenClick();
  void Statement_testenClick();
  void DiagrammeClick();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void AbbrechenClick();
  void TimerUnattendTimer();

  std::vector<std::string> params_;
  std::string programPath_;
  std::unique_ptr<commands::TDialogs> ownDialogs_;
  commands::TDialogs* dialogs_;

  std::unique_ptr<config::TMyIniFile> config_;
  db::TConnectionOwner connection_;  // opened from "datenbank"/"connection"
  report::TReportText reportText_;

  TWindowLife life_;
  bool cancelRequested_ = false;  // "Abbrechen" during the running command
  std::chrono::milliseconds eventSlice_ = platform::kEventSlice;
  int exitStatus_ = 0;
  QWidget* currentPage_ = nullptr;

  // The parts, built in the order of the window's designer (which is the focus order).
  QTimer* TimerUnattend = nullptr;
  QLabel* lblTitel = nullptr;
  QLabel* logo = nullptr;
  QTabWidget* PageControl1 = nullptr;
  std::unique_ptr<TInfoPage> infoPage_;
  std::unique_ptr<TDatabasePage> databasePage_;
  std::unique_ptr<TSqlPage> sqlPage_;
  std::unique_ptr<TEmailPage> emailPage_;
  std::unique_ptr<TSendPage> sendPage_;
  std::unique_ptr<TSqlPageBinding> sqlBinding_;
  std::unique_ptr<TEmailPageBinding> emailBinding_;
  QLabel* lblStatus = nullptr;  // under the pages: progress and outcome of build and send
};

}  // namespace vornetta::ui
