#include "ui/form_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <iostream>
#include <limits>
#include <utility>

#include "commands/database_commands.h"
#include "commands/statement_test.h"
#include "config/command_line.h"
#include "platform/code_page.h"
#include "platform/qt_text.h"
#include "report/report_builder.h"
#include "ui/info_text.h"
#include "ui/qt_dialogs.h"
#include "ui/report_preview.h"
#include "ui/source_view.h"
#include "ui/status_texts.h"
#include "ui/texts.h"
#include "ui/wrapping_check_box.h"

#ifndef VORNETTA_VERSION
#define VORNETTA_VERSION ""
#endif

// Resources of a static library must be registered by hand, outside any namespace.
static void InitVornettaResources() { Q_INIT_RESOURCE(vornetta); }

namespace vornetta::ui {

using platform::FromQString;
using platform::ToQString;

namespace {

constexpr int kDesignedLeft = 296;
constexpr int kDesignedTop = 128;
constexpr int kDesignedWidth = 852;
constexpr int kDesignedHeight = 513;

// Memo texts: Qt separates lines with LF, the file and the commands with CR LF.
// A text the code page cannot hold is given as UTF-8 with `utf8` set.
std::string MemoText(const QPlainTextEdit* memo, bool& utf8) {
  QString text = memo->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return FromQString(text, utf8);
}

void SetMemoText(QPlainTextEdit* memo, const std::string& text, bool utf8 = false) {
  QString shown = ToQString(text, utf8);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  memo->setPlainText(shown);
}

QPlainTextEdit* NewMemo(const char* name, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(QString::fromLatin1(name));
  return memo;
}

QLineEdit* NewEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  // Qt's default limit of 32767 characters would shorten a stored value on its
  // way through the page.
  edit->setMaxLength(std::numeric_limits<int>::max());
  return edit;
}

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

QLabel* FieldLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setBuddy(buddy);
  return label;
}

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

// "Abbrechen" during a build: thrown out of the builder's pass through the events.
class EBuildCancelled : public std::runtime_error {
 public:
  EBuildCancelled() : std::runtime_error(kBuildCancelled) {}
};

// The connection test's log: one memo line per entry.
class TMemoLog : public commands::TLogSink {
 public:
  explicit TMemoLog(QPlainTextEdit* memo) : memo_(memo) {}
  void Clear() override { memo_->clear(); }
  void AddLine(const std::string& line) override { memo_->appendPlainText(ToQString(line)); }

 private:
  QPlainTextEdit* memo_;
};

}  // namespace

TFormMain::TFormMain(std::vector<std::string> params, commands::TDialogs* dialogs, std::string programPath,
                     QWidget* parent)
    : QWidget(parent),
      params_(std::move(params)),
      programPath_(std::move(programPath)),
      connection_([this] { return config_->ReadValueDefault("datenbank", "connection", ""); }) {
  InitVornettaResources();
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<TQtDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  dialogs_ = dialogs;
  // A path in the file system's encoding: the system code page may not spell it.
  if (programPath_.empty()) programPath_ = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();

  setObjectName(QStringLiteral("FormMain"));
  CreateControls();

  TimerUnattend = new QTimer(this);
  TimerUnattend->setObjectName(QStringLiteral("TimerUnattend"));
  TimerUnattend->setInterval(100);
  connect(TimerUnattend, &QTimer::timeout, this, [this] { TimerUnattendTimer(); });
  TimerUnattend->start();
}

TFormMain::~TFormMain() {
  TimerUnattend->stop();
  if (config_) StoreAtEnd(false);
}

// ---------------------------------------------------------------- controls

void TFormMain::CreateControls() {
  setWindowTitle(QString::fromLatin1(kAppTitle));
  resize(kDesignedWidth, kDesignedHeight);
  move(kDesignedLeft, kDesignedTop);
  setMinimumSize(540, 460);

  lblTitel = new QLabel(QString::fromLatin1(kAppTitle), this);
  lblTitel->setObjectName(QStringLiteral("lblTitel"));
  QFont titleFont;
  titleFont.setFamilies({QStringLiteral("Lucida Console"), QStringLiteral("DejaVu Sans Mono"),
                         QStringLiteral("Liberation Mono"), QStringLiteral("monospace")});
  titleFont.setStyleHint(QFont::Monospace);
  titleFont.setPixelSize(24);
  titleFont.setBold(true);
  lblTitel->setFont(titleFont);
  lblTitel->setFixedHeight(27 + 8);
  lblTitel->setStyleSheet(QStringLiteral("color: #707070; background: transparent;"));
  lblTitel->setAttribute(Qt::WA_TranslucentBackground);

  logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("logo"));
  logo->setPixmap(QPixmap(QStringLiteral(":/vornetta/logo.jpg")));

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  TabSheet1 = CreateInfoPage();
  TabSheet3 = CreateDatenbankPage();
  TabSheet4 = CreateSqlPage();
  TabSheet5 = CreateEmailPage();
  TabSheet2 = CreateVersandPage();
  PageControl1->addTab(TabSheet1, QStringLiteral("Info"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Datenbank"));
  PageControl1->addTab(TabSheet4, QStringLiteral("SQL"));
  PageControl1->addTab(TabSheet5, QStringLiteral("eMail"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Versand"));
  PageControl1->setCurrentWidget(TabSheet1);
  currentPage_ = TabSheet1;
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

  lblStatus = new QLabel(this);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setTextFormat(Qt::PlainText);
  // A long statement must not widen the window.
  lblStatus->setMinimumWidth(1);
  lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(lblStatus);
}

QWidget* TFormMain::CreateInfoPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet1"));

  MemoInfo = NewMemo("MemoInfo", page);
  MemoInfo->setReadOnly(true);
  MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoInfo->setPlainText(DesignedInfoText());

  lblAppname = new QLabel(QString::fromLatin1(kAppTitle), page);
  lblAppname->setObjectName(QStringLiteral("lblAppname"));
  QFont bold = lblAppname->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  lblAppname->setFont(bold);
  lblAppname->setAlignment(Qt::AlignRight);

  lblAppVersion = new QLabel(QStringLiteral("Version 2."), page);
  lblAppVersion->setObjectName(QStringLiteral("lblAppVersion"));
  lblAppVersion->setAlignment(Qt::AlignRight);

  auto* side = new QVBoxLayout;
  side->addWidget(lblAppname);
  side->addWidget(lblAppVersion);
  side->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addWidget(MemoInfo, 1);
  layout->addSpacing(12);
  layout->addLayout(side);
  return page;
}

QWidget* TFormMain::CreateDatenbankPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet3"));

  Button3 = NewButton("Button3", QStringLiteral("Datenbankverbindung einstellen"), page);
  Button4 = NewButton("Button4", QStringLiteral("Datenbankverbindung testen"), page);
  for (QPushButton* button : {Button3, Button4}) {
    button->setMinimumWidth(181);
    button->setMinimumHeight(25);
  }
  Memodbtest = NewMemo("Memodbtest", page);
  Memodbtest->setReadOnly(true);
  Memodbtest->setTabChangesFocus(true);
  Memodbtest->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(Button3);
  buttons->addWidget(Button4);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(Memodbtest, 1);

  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  return page;
}

QWidget* TFormMain::CreateSqlPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet4"));

  Statement_testen = NewButton("Statement_testen", QStringLiteral("Statement testen"), page);
  Statement_testen->setMinimumHeight(25);
  statement = NewMemo("statement", page);
  statement->setTabChangesFocus(true);
  statement->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed(QStringLiteral("monospace"));
  fixed.setStyleHint(QFont::Monospace);
  statement->setFont(fixed);

  auto newCheck = [page](const char* name, const QString& caption) {
    auto* box = new TWrappingCheckBox(caption, page);
    box->setObjectName(QString::fromLatin1(name));
    return box;
  };
  cbErgebnisLeer = newCheck("cbErgebnisLeer", QStringLiteral("eMail auch bei leerem Ergebnis verschicken"));
  cbErgebnisUpdate = newCheck("cbErgebnisUpdate", QStringLiteral("Update erzeugt ein Ergebnis"));
  cbErgebnisDelete = newCheck("cbErgebnisDelete", QStringLiteral("Delete erzeugt ein Ergebnis"));
  cbErgebnisInsert = newCheck("cbErgebnisInsert", QStringLiteral("Insert erzeugt ein Ergebnis"));

  auto* side = new QVBoxLayout;
  side->addWidget(Statement_testen);
  side->addStretch(1);
  for (QCheckBox* box : {cbErgebnisLeer, cbErgebnisUpdate, cbErgebnisDelete, cbErgebnisInsert}) {
    side->addWidget(box);
  }

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(side);
  layout->addWidget(statement, 1);

  setTabOrder(Statement_testen, statement);
  setTabOrder(statement, cbErgebnisLeer);
  setTabOrder(cbErgebnisLeer, cbErgebnisUpdate);
  setTabOrder(cbErgebnisUpdate, cbErgebnisDelete);
  setTabOrder(cbErgebnisDelete, cbErgebnisInsert);

  connect(Statement_testen, &QPushButton::clicked, this, [this] { Statement_testenClick(); });
  return page;
}

QWidget* TFormMain::CreateEmailPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet5"));

  empfaenger = NewEdit("empfaenger", page);
  cc = NewEdit("cc", page);
  bcc = NewEdit("bcc", page);
  betreff = NewEdit("betreff", page);
  smtpserver = NewEdit("smtpserver", page);
  smtpuser = NewEdit("smtpuser", page);
  smtppass = NewEdit("smtppass", page);
  absender = NewEdit("absender", page);
  kopfzeile = NewMemo("kopfzeile", page);
  fusszeile = NewMemo("fusszeile", page);
  css = NewMemo("css", page);
  fusszeile->setFixedHeight(57);
  kopfzeile->setFixedHeight(57);

  // The transport settings: each item carries the word stored in the file.
  auto* verschluesselung = new QComboBox(page);
  verschluesselung->setObjectName(QStringLiteral("verschluesselung"));
  verschluesselung->addItem(QStringLiteral("Automatisch"), QStringLiteral("auto"));
  verschluesselung->addItem(QStringLiteral("STARTTLS"), QStringLiteral("starttls"));
  verschluesselung->addItem(QStringLiteral("SSL/TLS"), QStringLiteral("ssl"));
  verschluesselung->addItem(QStringLiteral("keine"), QStringLiteral("aus"));
  QLineEdit* zertifikate = NewEdit("zertifikate", page);
  auto* chooseCertificates = new QToolButton(page);
  chooseCertificates->setObjectName(QStringLiteral("zertifikateWaehlen"));
  chooseCertificates->setText(QStringLiteral("..."));
  chooseCertificates->setToolTip(QStringLiteral("Zertifikatsdatei wählen"));
  auto* certificateLine = new QHBoxLayout;
  certificateLine->setSpacing(4);
  certificateLine->addWidget(zertifikate, 1);
  certificateLine->addWidget(chooseCertificates);
  connect(chooseCertificates, &QToolButton::clicked, this, [this, zertifikate] {
    // Window-modal and not waited for, so the event loop (and a test) goes on.
    auto* chooser = new QFileDialog(this, QStringLiteral("Zertifikate"), QFileInfo(zertifikate->text()).path(),
                                    QStringLiteral("PEM-Zertifikate (*.pem *.crt);;Alle Dateien (*)"));
    chooser->setObjectName(QStringLiteral("zertifikateDialog"));
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, zertifikate, &QLineEdit::setText);
    chooser->open();
  });

  auto* grid = new QGridLayout(page);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);
  QWidget* const leftColumn[] = {empfaenger, cc, bcc, betreff};
  const QString leftCaptions[] = {QStringLiteral("Empfänger"), QStringLiteral("CC"), QStringLiteral("BCC"),
                                  QStringLiteral("Betreff")};
  QWidget* const rightColumn[] = {smtpserver, smtpuser, smtppass, absender};
  const QString rightCaptions[] = {QStringLiteral("SMTP Server"), QStringLiteral("SMTP Benutzer"),
                                   QStringLiteral("SMTP Passwort"), QStringLiteral("Absender")};
  for (int row = 0; row < 4; ++row) {
    QWidget* left = leftColumn[row];
    QWidget* right = rightColumn[row];
    grid->addWidget(FieldLabel(leftCaptions[row], left, page), row, 0);
    grid->addWidget(left, row, 1);
    grid->addWidget(FieldLabel(rightCaptions[row], right, page), row, 2);
    grid->addWidget(right, row, 3);
  }
  grid->addWidget(FieldLabel(QStringLiteral("Verschlüsselung"), verschluesselung, page), 4, 0);
  grid->addWidget(verschluesselung, 4, 1);
  grid->addWidget(FieldLabel(QStringLiteral("Zertifikate"), zertifikate, page), 4, 2);
  grid->addLayout(certificateLine, 4, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Kopfzeile"), kopfzeile, page), 5, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(kopfzeile, 5, 1, 1, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Fusszeile"), fusszeile, page), 6, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(fusszeile, 6, 1, 1, 3);
  grid->addWidget(FieldLabel(QStringLiteral("Stylesheet"), css, page), 7, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(css, 7, 1, 1, 3);
  // Key "anhang": the results of the select statements as CSV files along with the report.
  auto* csvAttachments = new QCheckBox(QStringLiteral("Ergebnisse als CSV anhängen"), page);
  csvAttachments->setObjectName(QStringLiteral("cbAnhang"));
  grid->addWidget(csvAttachments, 8, 1, 1, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(7, 1);

  // Tab order as on screen: left column, right column, each top to bottom, then
  // the full-width memos.
  QWidget* const order[] = {empfaenger, cc,       bcc,         betreff,            verschluesselung,
                            smtpserver, smtpuser, smtppass,    absender,           zertifikate,
                            chooseCertificates,   kopfzeile,   fusszeile,          css,
                            csvAttachments};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  return page;
}

QWidget* TFormMain::CreateVersandPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet2"));

  // Alt+E and Alt+V; the visible texts only gain the underline.
  SpeedButton1 = NewButton("SpeedButton1", QStringLiteral("&erstellen"), page);
  SpeedButton2 = NewButton("SpeedButton2", QStringLiteral("&versenden"), page);
  btnAbbrechen = NewButton("btnAbbrechen", QStringLiteral("Abbrechen"), page);
  btnAbbrechen->setEnabled(false);
  for (QPushButton* button : {SpeedButton1, SpeedButton2, btnAbbrechen}) {
    button->setMinimumSize(100, 25);
  }

  PageControl2 = new QTabWidget(page);
  PageControl2->setObjectName(QStringLiteral("PageControl2"));

  TabSheet6 = new QWidget;
  TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
  previewNote = new QLabel(TabSheet6);
  previewNote->setObjectName(QStringLiteral("previewNote"));
  previewNote->setWordWrap(true);
  previewNote->setStyleSheet(
      QStringLiteral("background: #fff3c4; border: 1px solid #e0c060; padding: 4px;"));
  previewNote->hide();
  html = new QTextBrowser(TabSheet6);
  html->setObjectName(QStringLiteral("html"));
  html->setOpenLinks(false);
  auto* htmlLayout = new QVBoxLayout(TabSheet6);
  htmlLayout->setContentsMargins(0, 0, 0, 0);
  htmlLayout->setSpacing(0);
  htmlLayout->addWidget(previewNote);
  htmlLayout->addWidget(html, 1);

  TabSheet7 = new QWidget;
  TabSheet7->setObjectName(QStringLiteral("TabSheet7"));
  htmlsource = new TSourceView(TabSheet7);
  htmlsource->setObjectName(QStringLiteral("htmlsource"));
  htmlsource->SetText(&reportText_);
  auto* sourceLayout = new QVBoxLayout(TabSheet7);
  sourceLayout->setContentsMargins(0, 0, 0, 0);
  sourceLayout->addWidget(htmlsource);

  PageControl2->addTab(TabSheet6, QStringLiteral("HTML"));
  PageControl2->addTab(TabSheet7, QStringLiteral("Source"));
  PageControl2->setCurrentWidget(TabSheet7);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(SpeedButton1);
  buttons->addWidget(SpeedButton2);
  buttons->addWidget(btnAbbrechen);
  buttons->addStretch(1);

  auto* layout = new QHBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(PageControl2, 1);

  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(btnAbbrechen, &QPushButton::clicked, this, [this] { AbbrechenClick(); });
  return page;
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
  } catch (const std::exception& failure) {
    ShowError(failure);
  }
}

template <class F>
void TFormMain::RunButtonCommand(F&& command, bool cancellable) {
  if (busy_ || !config_) return;
  busy_ = true;
  cancelRequested_ = false;
  SetCommandButtonsEnabled(false, cancellable);
  RunCommand(std::forward<F>(command));
  SetCommandButtonsEnabled(true);
  busy_ = false;
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void TFormMain::SetCommandButtonsEnabled(bool enabled, bool cancellable) {
  for (QPushButton* button : {Button3, Button4, Statement_testen, SpeedButton1, SpeedButton2}) {
    button->setEnabled(enabled);
  }
  btnAbbrechen->setEnabled(!enabled && cancellable);
}

void TFormMain::SetStatus(const QString& text) { lblStatus->setText(text); }

void TFormMain::ShowError(const std::exception& failure) { dialogs_->ShowMessage(failure.what()); }

void TFormMain::RequestTerminate(int status) {
  terminateRequested_ = true;
  exitStatus_ = status;
  TimerUnattend->stop();
  QCoreApplication::exit(status);
}

// ---------------------------------------------------------------- start and end

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (busy_) {
    closePending_ = true;
    event->ignore();
    return;
  }
  // Nothing may start once the configuration is released; a close while the
  // start lets events through comes before the event loop, which must not run then.
  TimerUnattend->stop();
  if (starting_) terminateRequested_ = true;
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
  starting_ = true;
  const auto started = qScopeGuard([this] { starting_ = false; });
  PageControl1->setCurrentWidget(TabSheet1);

  setWindowTitle(QString::fromLatin1(kAppTitle));
  lblTitel->setText(QString::fromLatin1(kAppTitle));
  lblAppname->setText(QString::fromLatin1(kAppTitle));

  if (const QString version = QStringLiteral(VORNETTA_VERSION); !version.isEmpty()) {
    lblAppVersion->setText(QStringLiteral("Version ") + version);
  }

  QString info = ReflowInfoText(MemoInfo->toPlainText());
  info.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  MemoInfo->setPlainText(info);

  if (!OpenConfiguration()) return;
  RunCommand([this] {
    RestoreGeometry();
    config_->MigrateLegacy();
  });
  formShowDone_ = true;

  QCoreApplication::processEvents();
  PauseProcessingEvents(100);
  if (terminateRequested_) return;

  PageControl1->setCurrentWidget(TabSheet2);
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

// Position and size are the client area's, both when stored and when restored:
// a window manager adds its frame outside them, so the window reopens exactly
// where it was instead of moving by the title bar's height each time.
void TFormMain::RestoreGeometry() {
  QRect area = geometry();
  area.moveTop(config_->ReadNumber("FormMain", "top", area.y()));
  area.moveLeft(config_->ReadNumber("FormMain", "left", area.x()));
  area.setHeight(config_->ReadNumber("FormMain", "height", area.height()));
  area.setWidth(config_->ReadNumber("FormMain", "width", area.width()));
  setGeometry(area);
}

void TFormMain::PauseProcessingEvents(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

void TFormMain::FormHide() {
  if (config_) {
    const QRect area = geometry();
    config_->WriteNumber("FormMain", "top", area.y());
    config_->WriteNumber("FormMain", "left", area.x());
    config_->WriteNumber("FormMain", "height", area.height());
    config_->WriteNumber("FormMain", "width", area.width());
  }
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
  if (page == TabSheet4) TabSheet4Enter();
  if (page == TabSheet5) TabSheet5Enter();
  if (page == TabSheet2) TabSheet2Enter();
}

void TFormMain::LeavePage(QWidget* page) {
  if (!config_) return;
  if (page == TabSheet4) TabSheet4Exit();
  if (page == TabSheet5) TabSheet5Exit();
}

void TFormMain::TabSheet4Enter() {
  bool utf8 = false;
  const std::string script = config_->ReadText("sql", utf8);
  SetMemoText(statement, script, utf8);
  cbErgebnisLeer->setChecked(config_->ReadFlagDefault("datenbank", "ergebnisLeer", false));
  cbErgebnisUpdate->setChecked(config_->ReadFlagDefault("datenbank", "ergebnisUpdate", false));
  cbErgebnisDelete->setChecked(config_->ReadFlagDefault("datenbank", "ergebnisDelete", false));
  cbErgebnisInsert->setChecked(config_->ReadFlagDefault("datenbank", "ergebnisInsert", false));
}

void TFormMain::TabSheet4Exit() {
  bool utf8 = false;
  const std::string script = MemoText(statement, utf8);
  if (utf8)
    config_->WriteTextUtf8("sql", script);
  else
    config_->WriteText("sql", script);
  config_->WriteFlag("datenbank", "ergebnisLeer", cbErgebnisLeer->isChecked());
  config_->WriteFlag("datenbank", "ergebnisUpdate", cbErgebnisUpdate->isChecked());
  config_->WriteFlag("datenbank", "ergebnisDelete", cbErgebnisDelete->isChecked());
  config_->WriteFlag("datenbank", "ergebnisInsert", cbErgebnisInsert->isChecked());
}

namespace {

struct TEmailField {
  const char* key;
  const char* defaultValue;
};

// The page "eMail" in the order its fields are loaded and stored.
constexpr TEmailField kEmailFields[] = {
    {"empfaenger", ""}, {"cc", ""},        {"bcc", ""},       {"betreff", kAppTitle},
    {"smtpserver", ""}, {"smtpuser", ""},  {"smtppass", ""},  {"absender", kBuiltInSender},
    {"kopfzeile", ""},  {"fusszeile", ""}, {"css", ""},
    {"verschluesselung", "auto"}, {"zertifikate", ""},
};

bool IsCsvAttachment(const std::string& value) {
  return QString::fromLatin1(value).compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void TFormMain::TabSheet5Enter() {
  for (const TEmailField& field : kEmailFields) {
    bool utf8 = false;
    const std::string value = config_->ReadValueDefault("email", field.key, field.defaultValue, utf8);
    auto* control = TabSheet5->findChild<QWidget*>(QString::fromLatin1(field.key));
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      edit->setText(ToQString(value, utf8));
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
      SetMemoText(memo, value, utf8);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      // A value the list does not know stays selectable, so leaving the page keeps it.
      const QString word = ToQString(value);
      int index = combo->findData(word.trimmed().toLower());
      if (index < 0) index = combo->findData(word);
      if (index < 0) {
        combo->addItem(word, word);
        index = combo->count() - 1;
      }
      combo->setCurrentIndex(index);
    }
  }
  TabSheet5->findChild<QCheckBox*>(QStringLiteral("cbAnhang"))
      ->setChecked(IsCsvAttachment(config_->ReadValueDefault("email", "anhang", "")));
}

void TFormMain::TabSheet5Exit() {
  for (const TEmailField& field : kEmailFields) {
    auto* control = TabSheet5->findChild<QWidget*>(QString::fromLatin1(field.key));
    auto* edit = qobject_cast<QLineEdit*>(control);
    auto* memo = qobject_cast<QPlainTextEdit*>(control);
    if (edit || memo) {
      // A text the code page cannot hold is stored as UTF-8 rather than with "?".
      bool utf8 = false;
      const std::string value = edit ? FromQString(edit->text(), utf8) : MemoText(memo, utf8);
      if (utf8)
        config_->WriteValueUtf8("email", field.key, value);
      else
        config_->WriteValue("email", field.key, value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      config_->WriteValue("email", field.key, FromQString(combo->currentData().toString()));
    }
  }
  // A value the box cannot show stays as long as the box is not changed.
  const bool csv = TabSheet5->findChild<QCheckBox*>(QStringLiteral("cbAnhang"))->isChecked();
  if (csv != IsCsvAttachment(config_->ReadValue("email", "anhang", ""))) {
    config_->WriteValue("email", "anhang", csv ? "csv" : "");
  }
}

void TFormMain::ShowSendPage() { PageControl1->setCurrentWidget(TabSheet2); }

// ---------------------------------------------------------------- buttons

void TFormMain::Button3Click() {
  RunButtonCommand([this] { commands::TDatabaseCommands(*config_, connection_, *dialogs_).EditConnection(); });
}

void TFormMain::Button4Click() {
  RunButtonCommand([this] {
    TMemoLog log(Memodbtest);
    commands::TDatabaseCommands(*config_, connection_, *dialogs_).TestConnection(log);
  });
}

void TFormMain::Statement_testenClick() {
  RunButtonCommand([this] {
    bool utf8 = false;
    const std::string script = MemoText(statement, utf8);
    commands::TStatementTest(connection_, *dialogs_)
        .Run(script, utf8 ? platform::TextEncoding::Utf8 : platform::TextEncoding::CodePage);
  });
}

void TFormMain::SpeedButton1Click() {
  RunButtonCommand(
      [this] {
        try {
          BuildReport();
        } catch (const EBuildCancelled& cancelled) {
          SetStatus(QString::fromUtf8(cancelled.what()));
          return;
        } catch (const std::exception& failure) {
          SetStatus(QString::fromUtf8(kBuildFailedCaption) + QLatin1Char('.'));
          dialogs_->ShowFailure(kBuildFailedCaption, failure.what());
          return;
        }
        SetStatus(BuildDoneText(reportText_.RowCount()));
      },
      true);
}

void TFormMain::SpeedButton2Click() {
  RunButtonCommand(
      [this] {
        SetStatus(QStringLiteral("eMail wird versendet …"));
        dispatch::TSendOutcome outcome;
        try {
          outcome = dispatch::SendReport(*config_, reportText_, *this);
        } catch (const smtp::EIdWaitCancelled& cancelled) {
          SetStatus(ToQString(cancelled.what()));
          return;
        } catch (const std::exception& failure) {
          SetStatus(QString::fromUtf8(kSendFailedCaption) + QLatin1Char('.'));
          dialogs_->ShowFailure(kSendFailedCaption, failure.what());
          return;
        }
        SetStatus(outcome.sent ? SentText(outcome.recipients, outcome.reportBytes)
                               : QStringLiteral("Keine eMail versendet: der Bericht enthält keine Datensätze."));
      },
      true);
}

void TFormMain::AbbrechenClick() {
  if (busy_) cancelRequested_ = true;
}

int TFormMain::WaitSliceMs() const { return std::max(1, static_cast<int>(eventSlice_.count())); }

bool TFormMain::ContinueWaiting() {
  QCoreApplication::processEvents();
  return !cancelRequested_;
}

void TFormMain::TimerUnattendTimer() {
  if (!formShowDone_) return;  // the configuration is not open yet: wait for the next tick
  TimerUnattend->stop();
  if (!config::HasUnattendSwitch(params_)) return;

  // The run writes its own failures to stderr and never throws. It lets events
  // through while it builds: the buttons stay off and a close waits for its end.
  busy_ = true;
  cancelRequested_ = false;
  SetCommandButtonsEnabled(false, true);
  const int status =
      dispatch::RunUnattended(*config_, reportText_, *this, std::cerr, dispatch::RunOptionsFor(params_));
  busy_ = false;
  closePending_ = false;
  RequestTerminate(status);
}

// ---------------------------------------------------------------- report

void TFormMain::BuildReport() {
  building_ = true;
  statementNumber_ = 0;
  const auto built = qScopeGuard([this] { building_ = false; });
  try {
    report::BuildReport(*config_, connection_, reportText_, *this);
  } catch (const EBuildCancelled&) {
    reportText_.SetRowCount(0);  // a cancelled report is never sent
    throw;
  }
}

void TFormMain::ResetReportViews() {
  reportText_.Clear();
  htmlsource->SetText(&reportText_);
  PageControl2->setCurrentWidget(TabSheet7);
  ClearPreview();
}

void TFormMain::ClearPreview() {
  previewNote->hide();
  html->clear();
}

void TFormMain::ShowSourcePage() {
  htmlsource->SetText(&reportText_);
  PageControl2->setCurrentWidget(TabSheet7);
  ClearPreview();
}

void TFormMain::PiecesAppended(const report::TReportText&) {
  // Nobody scrolls the source view of an unattended run: its line index is not built.
  if (!config::HasUnattendSwitch(params_)) htmlsource->CatchUp();
}

void TFormMain::ProcessPendingEvents() {
  // A repaint of the status line costs far more than a row: a tenth of a second
  // between two updates reads as live progress.
  if (statementNumber_ > 0 && statusClock_.elapsed() >= 100) {
    SetStatus(BuildProgressText(statementNumber_, statementCount_, currentStatement_, reportText_.RowCount(),
                                currentStatementEncoding_));
    statusClock_.start();
  }
  QCoreApplication::processEvents();
  if (building_ && cancelRequested_) throw EBuildCancelled();
}

void TFormMain::StatementStarted(std::size_t number, std::size_t count, std::string_view statement,
                                 platform::TextEncoding encoding) {
  statementNumber_ = number;
  statementCount_ = count;
  currentStatement_.assign(statement);
  currentStatementEncoding_ = encoding;
  SetStatus(BuildProgressText(number, count, statement, reportText_.RowCount(), encoding));
  statusClock_.start();
}

void TFormMain::LoadPreview(std::string_view documentText) {
  // An unattended run ends right after its send and nobody sees the preview:
  // laying out rich text is most of a small run's time, so it is skipped.
  if (config::HasUnattendSwitch(params_)) {
    ClearPreview();
  } else {
    const TPreview preview = CutPreview(documentText);
    if (preview.shortened) {
      previewNote->setText(PreviewNote(preview));
      previewNote->show();
    } else {
      previewNote->hide();
    }
    html->setHtml(ToQString(preview.shown, reportText_.Utf8()));
  }
  PageControl2->setCurrentWidget(TabSheet6);
}

}  // namespace vornetta::ui
