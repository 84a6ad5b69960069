#include "ui/form_main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <iostream>
#include <utility>

#include "commands/database_commands.h"
#include "commands/database_limits.h"
#include "commands/statement_test.h"
#include "config/command_line.h"
#include "dispatch/mail_connection_check.h"
#include "ui/chart_dialog.h"
#include "ui/database_page.h"
#include "ui/email_page.h"
#include "ui/email_page_binding.h"
#include "ui/info_page.h"
#include "ui/memo_log.h"
#include "ui/memo_text.h"
#include "ui/qt_dialogs.h"
#include "ui/report_pane.h"
#include "ui/send_commands.h"
#include "ui/send_page.h"
#include "ui/chart_dialog.h"
#include "ui/sql_page.h"
#include "ui/sql_page_binding.h"
#include "ui/texts.h"
#include "ui/window_frame.h"
#include "ui/window_geometry.h"

#ifndef VORNETTA_VERSION
#define VORNETTA_VERSION ""
#endif

// Resources of a static library must be registered by hand, outside any namespace.
static void InitVornettaResources() { Q_INIT_RESOURCE(vornetta); }

namespace vornetta::ui {

namespace {

constexpr int kDesignedLeft = 296;
constexpr int kDesignedTop = 128;
constexpr int kDesignedWidth = 852;
constexpr int kDesignedHeight = 513;

// Moves the focus onto the first control of a page that takes it.
void FocusPage(QWidget* page) {
  QWidget* next = page->nextInFocusChain();
  while (next != page && next != nullptr) {
    if (page->isAncestorOf(next) && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)) {
      next->setFocus(Qt::TabFocusReason);
      return;
    }
    next = next->nextInFocusChain();
  }
  page->setFocus(Qt::OtherFocusReason);
}

}  // namespace

TFormMain::TFormMain(std::vector<std::string> params, commands::TDialogs* dialogs, std::string programPath,
                     QWidget* parent)
    : QWidget(parent),
      params_(std::move(params)),
      programPath_(std::move(programPath)),
      connection_([this] { return config_->ReadValueDefault("datenbank", "connection", ""); }) {
  // Armed as the window's first part, so that its 100 ms run while the controls
  // and their fonts load.
  TimerUnattend = new QTimer(this);
  TimerUnattend->setObjectName(QStringLiteral("TimerUnattend"));
  TimerUnattend->setInterval(100);
  connect(TimerUnattend, &QTimer::timeout, this, [this] { TimerUnattendTimer(); });
  TimerUnattend->start();

  InitVornettaResources();
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<TQtDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  dialogs_ = dialogs;
  // An unattended run keeps the database work on its own thread: nobody looks at the window.
  const bool unattended = config::HasUnattendSwitch(params_);
  connection_.SetWork([this, unattended] { return commands::ReadDatabaseLimits(*config_, unattended); },
                      unattended ? nullptr : this);
  // A path in the file system's encoding: the system code page may not spell it.
  if (programPath_.empty()) programPath_ = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();

  setObjectName(QStringLiteral("FormMain"));
  CreateControls();
  ConnectButtons();
}

TFormMain::~TFormMain() {
  TimerUnattend->stop();
  if (config_) StoreAtEnd(false);
}

TReportPane& TFormMain::ReportPane() { return *sendPage_->reportPane; }

// ---------------------------------------------------------------- controls

void TFormMain::CreateControls() {
  setWindowTitle(QString::fromLatin1(kAppTitle));
  resize(kDesignedWidth, kDesignedHeight);
  move(kDesignedLeft, kDesignedTop);
  setMinimumSize(540, 460);

  lblTitel = NewTitleLabel(this);
  logo = NewLogo(this);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  infoPage_ = std::make_unique<TInfoPage>();
  databasePage_ = std::make_unique<TDatabasePage>();
  sqlPage_ = std::make_unique<TSqlPage>();
  emailPage_ = std::make_unique<TEmailPage>(this);
  sendPage_ = std::make_unique<TSendPage>(
      TReportPane::TWiring{reportText_, [this](const QString& text) { SetStatus(text); },
                           *this, config::HasUnattendSwitch(params_)});
  sqlBinding_ = std::make_unique<TSqlPageBinding>(*sqlPage_);
  emailBinding_ = std::make_unique<TEmailPageBinding>(*emailPage_);
  PageControl1->addTab(infoPage_->page, QStringLiteral("Info"));
  PageControl1->addTab(databasePage_->page, QStringLiteral("Datenbank"));
  PageControl1->addTab(sqlPage_->page, QStringLiteral("SQL"));
  PageControl1->addTab(emailPage_->page, QStringLiteral("eMail"));
  PageControl1->addTab(sendPage_->page, QStringLiteral("Versand"));
  PageControl1->setCurrentWidget(infoPage_->page);
  currentPage_ = infoPage_->page;
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) { PageControl1Changed(index); });

  auto* header = new QHBoxLayout;
  header->setContentsMargins(0, 0, 0, 0);
  header->addWidget(lblTitel, 1, Qt::AlignLeft | Qt::AlignVCenter);
  header->addWidget(logo, 0, Qt::AlignRight | Qt::AlignVCenter);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 10, 18, 18);
  layout->setSpacing(10);
  layout->addLayout(header);
  layout->addWidget(PageControl1, 1);

  lblStatus = NewStatusLine(this);
  layout->addWidget(lblStatus);
}

void TFormMain::ConnectButtons() {
  connect(databasePage_->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(databasePage_->Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(emailPage_->verbindungTesten, &QPushButton::clicked, this, [this] { VerbindungTestenClick(); });
  connect(sqlPage_->Statement_testen, &QPushButton::clicked, this, [this] { Statement_testenClick(); });
  connect(sqlPage_->btnDiagramme, &QPushButton::clicked, this, [this] { DiagrammeClick(); });
  connect(sendPage_->SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(sendPage_->SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(sendPage_->btnAbbrechen, &QPushButton::clicked, this, [this] { AbbrechenClick(); });
  // Esc cancels from every page, also where "Abbrechen" is not in sight.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (sendPage_->btnAbbrechen->isEnabled()) AbbrechenClick();
  });
}

void TFormMain::paintEvent(QPaintEvent*) {
  static const QPixmap background(QStringLiteral(":/vornetta/background.jpg"));
  QPainter painter(this);
  if (background.isNull()) {
    painter.fillRect(rect(), palette().window());
  } else {
    painter.drawPixmap(rect(), background);
  }
}

// ---------------------------------------------------------------- commands

template <class F>
void TFormMain::RunCommand(F&& command) {
  try {
    command();
  } catch (const platform::ECancelled& cancelled) {
    SetStatus(QString::fromUtf8(cancelled.what()));
  } catch (const std::exception& failure) {
    ShowError(failure);
  }
}

template <class F>
void TFormMain::RunButtonCommand(F&& command, bool cancellable) {
  if (!config_ || !life_.BeginCommand()) return;
  cancelRequested_ = false;
  SetCommandButtonsEnabled(false, cancellable);
  RunCommand(std::forward<F>(command));
  SetCommandButtonsEnabled(true);
  if (life_.EndCommand()) close();
}

void TFormMain::SetCommandButtonsEnabled(bool enabled, bool cancellable) {
  for (QPushButton* button : {databasePage_->Button3, databasePage_->Button4, sqlPage_->Statement_testen,
                              sendPage_->SpeedButton1, sendPage_->SpeedButton2}) {
    button->setEnabled(enabled);
  }
  sendPage_->btnAbbrechen->setEnabled(!enabled && cancellable);
}

void TFormMain::SetStatus(const QString& text) { lblStatus->setText(text); }

TSendCommands TFormMain::SendCommands() {
  return TSendCommands([this](const QString& text) { SetStatus(text); }, *dialogs_);
}

void TFormMain::ShowError(const std::exception& failure) { dialogs_->ShowMessageOf(failure); }

void TFormMain::RequestTerminate(int status) {
  life_.Terminate();
  exitStatus_ = status;
  TimerUnattend->stop();
  QCoreApplication::exit(status);
}

// ---------------------------------------------------------------- start and end

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (life_.FirstShow()) FormShow();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // A close during a command asks first; "Ja" cancels it, and the window closes
  // once the command has let go of the connection and the configuration.
  if (life_.Phase() == TWindowLife::TPhase::Busy && !config::HasUnattendSwitch(params_)) {
    event->ignore();
    if (dialogs_->AskWarning("Vornetta", "Vorgang läuft – abbrechen und beenden?") !=
        commands::TDialogs::Answer::Yes)
      return;
    if (!life_.CommandRunning()) {  // it ended while the question was open
      close();
      return;
    }
    cancelRequested_ = true;
    life_.Close();
    return;
  }
  if (life_.Close() == TWindowLife::TCloseAnswer::Refuse) {
    event->ignore();
    return;
  }
  // Nothing may start once the configuration is released.
  TimerUnattend->stop();
  if (config_) StoreAtEnd(true);
  event->accept();
}

void TFormMain::StoreAtEnd(bool mayShowDialogs) noexcept {
  try {
    RunCommand([this] { LeavePage(currentPage_); });
    FormHide();
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    bool shown = false;
    try {
      if (mayShowDialogs) {
        dialogs_->ShowMessage(FailureText(failure));
        shown = true;
      }
    } catch (...) {
    }
    if (!shown) WriteStderrFailure(failure);
  }
  connection_.Release();
  config_.reset();
}

void TFormMain::FormShow() {
  const auto settled = qScopeGuard([this] { life_.StartSettled(); });
  PageControl1->setCurrentWidget(infoPage_->page);

  setWindowTitle(QString::fromLatin1(kAppTitle));
  lblTitel->setText(QString::fromLatin1(kAppTitle));
  infoPage_->ShowProgram(QStringLiteral(VORNETTA_VERSION));

  if (!OpenConfiguration()) return;
  RunCommand([this] {
    RestoreGeometry(*this, *config_);
    config_->MigrateLegacy();
  });
  life_.ConfigurationOpened();

  QCoreApplication::processEvents();
  PauseProcessingEvents(100);
  if (life_.TerminateRequested()) return;

  PageControl1->setCurrentWidget(sendPage_->page);
  PageControl1Change();
}

bool TFormMain::OpenConfiguration() {
  try {
    config_ = std::make_unique<config::TMyIniFile>(config::ChooseConfigFile(params_, programPath_));
    return true;
  } catch (const std::exception& failure) {
    TimerUnattend->stop();
    ShowError(failure);
    RequestTerminate(1);
    return false;
  }
}

void TFormMain::PauseProcessingEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

void TFormMain::FormHide() {
  if (config_) StoreGeometry(*this, *config_);
  connection_.Release();
  config_.reset();
}

// ---------------------------------------------------------------- pages

void TFormMain::PageControl1Changed(int index) {
  QWidget* page = PageControl1->widget(index);
  if (page == currentPage_) return;
  QWidget* old = currentPage_;
  currentPage_ = page;
  RunCommand([&] { LeavePage(old); });
  RunCommand([&] { EnterPage(page); });
  PageControl1Change();
}

void TFormMain::PageControl1Change() {
  if (QWidget* page = PageControl1->currentWidget()) FocusPage(page);
}

void TFormMain::EnterPage(QWidget* page) {
  if (!config_) return;
  if (page == sqlPage_->page) TabSheet4Enter();
  if (page == emailPage_->page) TabSheet5Enter();
  if (page == sendPage_->page) TabSheet2Enter();
}

void TFormMain::LeavePage(QWidget* page) {
  if (!config_) return;
  if (page == sqlPage_->page) TabSheet4Exit();
  if (page == emailPage_->page) TabSheet5Exit();
}

void TFormMain::TabSheet4Enter() { sqlBinding_->Load(*config_); }

void TFormMain::TabSheet4Exit() { sqlBinding_->Store(*config_); }

void TFormMain::TabSheet5Enter() { emailBinding_->Load(*config_); }

void TFormMain::TabSheet5Exit() { emailBinding_->Store(*config_); }

void TFormMain::DiagrammeClick() {
  if (!config_) return;
  RunCommand([this] {
    TChartDialog dialog(reportText_.SelectHeads(), *config_, this);
    dialog.exec();
    sqlPage_->lblDiagramme->setText(ChartSummary(*config_));
  });
}

void TFormMain::ShowSendPage() { PageControl1->setCurrentWidget(sendPage_->page); }

// ---------------------------------------------------------------- buttons

void TFormMain::Button3Click() {
  RunButtonCommand(
      [this] { commands::TDatabaseCommands(*config_, connection_, *dialogs_, *this).EditConnection(); });
}

void TFormMain::Button4Click() {
  RunButtonCommand([this] {
    TMemoLog log(databasePage_->Memodbtest);
    commands::TDatabaseCommands(*config_, connection_, *dialogs_, *this).TestConnection(log);
  }, true);
}

// The page's values count as they stand, so they are stored first. The steps
// are shown together at the end, with the failure after the last one that passed.
void TFormMain::VerbindungTestenClick() {
  RunButtonCommand([this] {
    emailBinding_->Store(*config_);
    std::string steps;
    try {
      dispatch::CheckMailConnection(*config_, [&steps](const std::string& step) { steps += step + "\n"; }, this);
    } catch (const std::exception& failure) {
      dialogs_->ShowMessage(steps + "Fehler: " + failure.what());
      return;
    }
    dialogs_->ShowMessage(steps);
  });
}

void TFormMain::Statement_testenClick() {
  RunButtonCommand([this] {
    commands::TStatementTest(connection_, *dialogs_).Run(MemoText(sqlPage_->statement));
  }, true);
}

void TFormMain::SpeedButton1Click() {
  RunButtonCommand([this] { SendCommands().Build(ReportPane(), *config_, connection_); }, true);
}

void TFormMain::SpeedButton2Click() {
  RunButtonCommand([this] { SendCommands().Send(*config_, reportText_, *this); }, true);
}

void TFormMain::AbbrechenClick() {
  if (life_.CommandRunning()) cancelRequested_ = true;
}

void TFormMain::PhaseStarted(const std::string& text) noexcept {
  try {
    SetStatus(QString::fromUtf8(text));
  } catch (...) {
    // Only the status line would lack the step.
  }
}

std::chrono::milliseconds TFormMain::GreetingLimit() const noexcept {
  // An unattended run keeps the limits of every reply.
  if (config::HasUnattendSwitch(params_)) return {};
  return std::chrono::seconds(60);
}

bool TFormMain::ShowsProgress() const noexcept { return !config::HasUnattendSwitch(params_); }

bool TFormMain::PumpEvents() {
  QCoreApplication::processEvents();
  return !cancelRequested_;
}

void TFormMain::Waiting(TTask task, std::chrono::steady_clock::duration elapsed) {
  SetStatus(DatabaseWaitText(task == TTask::Connect, ReportPane().Building() ? ReportPane().StatementNumber() : 0,
                             std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
}

void TFormMain::TimerUnattendTimer() {
  if (!life_.Started()) return;  // the configuration is not open yet: wait for the next tick
  TimerUnattend->stop();
  if (!config::HasUnattendSwitch(params_)) return;

  // The run writes its own failures to stderr and never throws. It lets events
  // through while it builds: the buttons stay off and a close waits for its end.
  life_.BeginCommand();  // refused only inside a button's command, which it then ends with it
  cancelRequested_ = false;
  SetCommandButtonsEnabled(false, true);
  const int status =
      dispatch::RunUnattended(*config_, reportText_, *this, std::cerr, dispatch::RunOptionsFor(params_));
  life_.EndCommand();  // the program ends: a close that waited needs no answer
  RequestTerminate(status);
}

// ---------------------------------------------------------------- report

void TFormMain::BuildReport() { ReportPane().Build(*config_, connection_); }

void TFormMain::ResetReportViews() { ReportPane().Reset(); }

}  // namespace vornetta::ui
