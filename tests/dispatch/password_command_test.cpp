// The password command: its first output line is the password; every way it
// can fail is an error naming the setting and never showing its output.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "dispatch/email.h"
#include "dispatch/password_command.h"
#include "platform/code_page.h"

namespace vornetta::dispatch {
namespace {

std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

TEST(PasswordCommand, TheFirstLineOfStandardOutputIsThePassword) {
  EXPECT_EQ(PasswordFromCommand("printf 'ge heim\\nzweite Zeile\\n'"), "ge heim");
  EXPECT_EQ(PasswordFromCommand("printf 'crlf\\r\\n'"), "crlf");
  EXPECT_EQ(PasswordFromCommand("printf 'ohne Zeilenende'"), "ohne Zeilenende");
  // Standard error is not the password, and standard input is empty.
  EXPECT_EQ(PasswordFromCommand("echo laut >&2; cat; echo still"), "still");
}

TEST(PasswordCommand, FailuresNameTheSettingAndNeverTheOutput) {
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; exit 3"); }),
            "Passwortbefehl endete mit Status 3 (Einstellung smtppassbefehl im Abschnitt email)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("true"); }),
            "Passwortbefehl hat kein Passwort ausgegeben (Einstellung smtppassbefehl im Abschnitt email)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo; echo zweite"); }),
            "Passwortbefehl hat kein Passwort ausgegeben (Einstellung smtppassbefehl im Abschnitt email)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("no-such-command-anywhere 2>/dev/null"); }),
            "Passwortbefehl endete mit Status 127 (Einstellung smtppassbefehl im Abschnitt email)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; kill -9 $$"); }),
            "Passwortbefehl wurde durch Signal 9 abgebrochen (Einstellung smtppassbefehl im Abschnitt email)");
}

TEST(PasswordCommand, ACommandThatDoesNotEndIsStoppedWithEverythingItStarted) {
  // The pipeline's sleep keeps the output open; both are killed at the limit.
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; sleep 600 | sleep 600", 1000); }),
            "Passwortbefehl hat nicht innerhalb von 1 Sekunden geantwortet (Einstellung smtppassbefehl im Abschnitt email)");
}

// True once the process is gone or only a zombie (bounded wait).
bool Ends(pid_t pid) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    if (text.empty() || text.find(") Z") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

pid_t PidIn(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream in(path);
    pid_t pid = 0;
    if (in >> pid && pid > 0) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

TEST(PasswordCommand, ProcessesThatLeftForTheirOwnSessionEndToo) {
  const std::string file = std::filesystem::temp_directory_path() / ("vornetta-detached-" + std::to_string(getpid()));
  // A child in a session of its own (outside the command's group), holding nothing of ours.
  const std::string command = "setsid sh -c 'echo $$ > " + file + "; exec sleep 600' </dev/null >/dev/null 2>&1 & " +
                              "while [ ! -s " + file + " ]; do sleep 0.01; done; ";
  EXPECT_EQ(TokenFromCommand(command + "echo tok"), "tok");
  const pid_t detached = PidIn(file);
  ASSERT_GT(detached, 0);
  EXPECT_TRUE(Ends(detached));
  std::filesystem::remove(file);
  EXPECT_EQ(FailureOf([&] { TokenFromCommand(command + "sleep 600", 3000); }),
            "Tokenbefehl hat nicht innerhalb von 3 Sekunden geantwortet (Token-Befehl, Einstellung smtptokenbefehl)");
  const pid_t afterTimeout = PidIn(file);
  ASSERT_GT(afterTimeout, 0);
  EXPECT_TRUE(Ends(afterTimeout));
  std::filesystem::remove(file);
}

TEST(PasswordCommand, TheCommandEndsWhenTheProgramIsKilled) {
  const std::string file = std::filesystem::temp_directory_path() / ("vornetta-orphan-" + std::to_string(getpid()));
  const pid_t program = fork();
  if (program == 0) {
    try {
      PasswordFromCommand("sleep 600 & echo $! > " + file + "; wait", 600000);
    } catch (...) {
    }
    _exit(0);
  }
  const pid_t sleeper = PidIn(file);
  ASSERT_GT(sleeper, 0);
  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  EXPECT_TRUE(Ends(sleeper));
  std::filesystem::remove(file);
}

TEST(PasswordCommand, ACommandThatFailedIsNotStartedAgainInTheSameRun) {
  const std::string file = std::filesystem::temp_directory_path() / ("vornetta-runs-" + std::to_string(getpid()));
  TLoginCommands commands;
  const std::string failing = "echo x >> " + file + "; exit 2";
  const std::string first = FailureOf([&] { commands.Password(failing); });
  EXPECT_EQ(first, "Passwortbefehl endete mit Status 2 (Einstellung smtppassbefehl im Abschnitt email)");
  EXPECT_EQ(FailureOf([&] { commands.Password(failing); }), first);
  const std::string token = "echo x >> " + file + "; echo tok";
  EXPECT_EQ(commands.Token(token), "tok");
  EXPECT_EQ(commands.Token(token), "tok");  // a token is fetched fresh every time
  std::ifstream in(file);
  std::string runs((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(runs, "x\nx\nx\n");
  std::filesystem::remove(file);
}

TEST(EncryptionSetting, FourWordsInAnyCaseAndEmptyMeansAuto) {
  EXPECT_EQ(EncryptionOf(""), smtp::TEncryption::Auto);
  EXPECT_EQ(EncryptionOf(" Auto "), smtp::TEncryption::Auto);
  EXPECT_EQ(EncryptionOf("STARTTLS"), smtp::TEncryption::StartTls);
  EXPECT_EQ(EncryptionOf("ssl"), smtp::TEncryption::Implicit);
  EXPECT_EQ(EncryptionOf("aus"), smtp::TEncryption::None);
  EXPECT_EQ(FailureOf([] { EncryptionOf("tls"); }),
            "Unbekannter Wert \"tls\" für die Verschlüsselung: erlaubt sind auto, starttls, ssl oder aus "
            "(Verschlüsselung, Einstellung verschluesselung)");
}

}  // namespace
}  // namespace vornetta::dispatch
