// The program: chooses the run mode once, starts the window and turns the outcome
// into the exit status. Without a display only the unattended run is possible; it
// then uses Qt's offscreen platform and writes its messages to stderr.
#include <QApplication>
#include <QFile>
#include <QStringList>
#include <langinfo.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <clocale>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/command_line.h"
#include "config/file_kind.h"
#include "config/my_ini_file.h"
#include "config/program_switches.h"
#include "db/sqlite_library.h"
#include "dispatch/mail_connection_check.h"
#include "dispatch/run_summary.h"
#include "dispatch/send_command.h"
#include "dispatch/send_retry.h"
#include "platform/run_lock.h"
#include "platform/stderr_line.h"
#include "ui/form_main.h"
#include "ui/german_translations.h"
#include "ui/qt_dialogs.h"
#include "ui/texts.h"

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

bool NamesPlatform(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  }
  return false;
}

// What remains of the command line once Qt has taken its own options out.
// Parameters stay in the file system's encoding: they name files.
std::vector<std::string> ProgramParameters() {
  std::vector<std::string> params;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) params.push_back(QFile::encodeName(arguments[i]).toStdString());
  return params;
}

// An unattended run's stderr is what cron mails and systemd records: Qt's own
// notes about the session (such as a missing XDG_RUNTIME_DIR) stay out of it.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    const QByteArray line = message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  }
}

// Drivers without wide entry points (the SQLite one) get their text narrowed by
// the driver manager through the C library's character set; under cron's "C"
// locale that cannot hold an umlaut. Numbers and dates keep the user's settings.
void UseUtf8CharacterSet() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

// The process holds the SMTP password: no core file may keep a copy of it.
void DisableCoreDumps() {
  const rlimit none{0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

bool HasUnattendArgument(int argc, char** argv) {
  std::vector<std::string> params(argv + std::min(argc, 1), argv + argc);
  return vornetta::config::HasUnattendSwitch(params);
}

#ifndef VORNETTA_VERSION
#define VORNETTA_VERSION "2"
#endif

void WriteStdout(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void WriteStderr(const std::string& text) { vornetta::platform::WriteStderrLine(text); }

// Help and version end the program before anything else happens: no window, no
// file. A wrong switch ends it too. Returns the exit status, or -1 to go on.
int HandleSwitches(int argc, char** argv) {
  const std::vector<std::string> params(argv + std::min(argc, 1), argv + argc);
  const vornetta::config::TProgramSwitches switches = vornetta::config::ParseProgramSwitches(params);
  if (switches.help) {
    WriteStdout(vornetta::config::UsageText());
    return 0;
  }
  if (switches.version) {
    WriteStdout(std::string("vornetta ") + VORNETTA_VERSION + "\n");
    return 0;
  }
  std::string wrong;
  if (!switches.unknown.empty()) {
    wrong = "unbekannter Schalter " + switches.unknown.front();
  } else if (switches.output && switches.output->empty()) {
    wrong = "--output= braucht einen Dateinamen oder - f\u00fcr die Standardausgabe";
  } else if (switches.output && !vornetta::config::HasUnattendSwitch(params)) {
    wrong = "--output=DATEI gilt nur zusammen mit -unattend";
  }
  if (wrong.empty()) return -1;
  WriteStderr(wrong + " (Hilfe: vornetta --help)");
  return 1;
}

// The configuration file an unattended run will open, as ChooseConfigFile names it.
std::string ConfigPathOf(const std::vector<std::string>& params) {
  if (const std::optional<std::string> name = vornetta::config::ConfigFileParameter(params))
    return vornetta::config::FullPath(*name);
  return vornetta::config::ProgramIniPath(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
}

// The summary line of an unattended run that ended before its build: a busy
// file, or one that could not be opened. Nothing when the run wrote its own.
void WriteSummaryOfUnstartedRun(vornetta::dispatch::TRunResult result, const std::string& configPath) {
  if (!vornetta::dispatch::SummaryWanted() || vornetta::dispatch::SummaryWritten()) return;
  std::ostringstream line;
  vornetta::dispatch::WriteSummary(line, {.result = result, .file = configPath});
  std::fputs(line.str().c_str(), stderr);
}

// --smtp-test: every step on stdout, a failure on stderr with status 1; no window, nothing sent.
int CheckMailServer(const std::vector<std::string>& params) {
  const std::string path = ConfigPathOf(params);
  if (!QFile::exists(QFile::decodeName(path.c_str()))) {
    WriteStderr("Konfigurationsdatei \"" + path + "\" nicht gefunden");
    return 1;
  }
  try {
    vornetta::config::TMyIniFile ini(path);
    vornetta::dispatch::CheckMailConnection(ini, [](const std::string& step) { WriteStdout(step + "\n"); });
    return 0;
  } catch (...) {
    WriteStderr(vornetta::dispatch::MessageOf(std::current_exception()));
    return 1;
  }
}

int Run(int argc, char** argv) {
  if (const int status = HandleSwitches(argc, argv); status >= 0) return status;
  const bool headless = !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") && !IsSet("QT_QPA_PLATFORM") &&
                        !NamesPlatform(argc, argv);
  if (headless) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (headless || HasUnattendArgument(argc, argv)) qInstallMessageHandler(QuietQtMessages);

  const bool unattendedRun = HasUnattendArgument(argc, argv);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(vornetta::ui::kAppTitle));
  UseUtf8CharacterSet();
  if (!unattendedRun) vornetta::ui::InstallGermanTranslations(application);

  const std::vector<std::string> params = ProgramParameters();
  if (vornetta::config::ParseProgramSwitches(params).smtpTest) return CheckMailServer(params);
  const bool unattended = vornetta::config::HasUnattendSwitch(params);
  if (headless && !unattended) {
    WriteStderr(
        "Keine Anzeige gefunden (weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt). "
        "Ohne Anzeige ist nur ein unbeaufsichtigter Lauf mit -unattend möglich.");
    return 1;
  }

  // Only the unattended run reads a connection's records on the thread that opened it.
  vornetta::db::TuneSqliteLibrary(unattended);

  // One unattended run per configuration file at a time, held until the process ends.
  vornetta::platform::TRunLock runLock;
  if (unattended) {
    const std::string configPath = ConfigPathOf(params);
    // Not even a lock file beside a file that is no configuration.
    try {
      vornetta::config::RefuseForeignFile(configPath);
    } catch (const vornetta::config::ENotConfigurationFile& refused) {
      WriteStderr(refused.what());
      WriteSummaryOfUnstartedRun(vornetta::dispatch::TRunResult::Failed, configPath);
      return 1;
    }
    if (runLock.TryLock(configPath) == vornetta::platform::TRunLock::Result::Busy) {
      WriteStderr(configPath + " wird bereits von einem anderen Lauf verwendet");
      WriteSummaryOfUnstartedRun(vornetta::dispatch::TRunResult::Busy, configPath);
      return vornetta::dispatch::kExitBusy;
    }
  }

  vornetta::ui::TStderrDialogs stderrDialogs;
  vornetta::ui::TFormMain window(params, unattended ? &stderrDialogs : nullptr);
  window.show();
  // The start can end before the event loop runs: a configuration file that
  // cannot be created, or an unattended run finished within the start.
  int status = window.TerminateRequested() ? window.ExitStatus() : QApplication::exec();
  if (window.TerminateRequested()) status = window.ExitStatus();
  if (unattended && status != vornetta::dispatch::kExitSent)
    WriteSummaryOfUnstartedRun(vornetta::dispatch::TRunResult::Failed, ConfigPathOf(params));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  DisableCoreDumps();
  try {
    return Run(argc, argv);
  } catch (...) {
    vornetta::ui::WriteStderrFailure(std::current_exception());
    return 1;
  }
}
