#include "dispatch/password_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/code_page.h"

extern char** environ;

namespace vornetta::dispatch {
namespace {

using Clock = std::chrono::steady_clock;

// More than any password; a command that prints more is cut off here, not read to the end.
constexpr std::size_t kMaxOutput = 64 * 1024;

// `what` is UTF-8 like every text of the program; `detail` is ASCII.
[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  throw EPasswordCommandError("Passwortbefehl " + platform::FromUtf8(what) + detail + " (Einstellung smtppassbefehl)");
}

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The child and everything it started, stopped and reaped.
void Kill(pid_t pid) {
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

std::string PasswordFromCommand(const std::string& command, int timeoutMs) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) Fail("konnte nicht gestartet werden");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // An own process group, so that a timeout stops the whole pipeline.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    Fail("konnte nicht gestartet werden");
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string output;
  for (;;) {
    pollfd entry{out[0], POLLIN, 0};
    const int ready = poll(&entry, 1, MillisecondsLeft(deadline));
    if (ready == 0) {
      close(out[0]);
      Kill(pid);
      Fail("hat nicht innerhalb von ", std::to_string((timeoutMs + 999) / 1000) + " Sekunden geantwortet");
    }
    if (ready < 0) continue;  // EINTR: wait again with the time that is left
    char chunk[4096];
    const ssize_t n = read(out[0], chunk, sizeof chunk);
    if (n <= 0 || output.size() >= kMaxOutput) break;
    output.append(chunk, static_cast<std::size_t>(n));
  }
  close(out[0]);

  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (MillisecondsLeft(deadline) == 0) {
      Kill(pid);
      Fail("hat nicht innerhalb von ", std::to_string((timeoutMs + 999) / 1000) + " Sekunden geantwortet");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFSIGNALED(status)) Fail("wurde durch Signal ", std::to_string(WTERMSIG(status)) + " abgebrochen");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Fail("endete mit Status ", std::to_string(WEXITSTATUS(status)));

  std::string password = output.substr(0, output.find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) Fail("hat kein Passwort ausgegeben");
  return password;
}

}  // namespace vornetta::dispatch
