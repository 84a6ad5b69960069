#include "platform/command_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "platform/deadline.h"

extern char** environ;

namespace vornetta::platform {
namespace {

// More than any secret; a command that prints more is cut off here, not read to the end.
constexpr std::size_t kMaxOutput = 64 * 1024;
// The descriptor on which the command's watcher waits for this program to end.
constexpr int kWatchFd = 9;
// How long ending the command's processes may take; SIGKILL leaves them no choice.
constexpr auto kSweepLimit = std::chrono::seconds(5);

// The watcher reads the pipe whose only writer is this program: end of file
// means the program has ended (or let the command go), and the whole group is
// killed. The command itself runs by eval, so its exit status is the shell's.
constexpr char kWrapper[] =
    "{ read _ <&9; kill -9 0; } </dev/null >/dev/null 2>&1 &\n"
    "exec 9<&-\n"
    "eval \"$1\"\n";

// The parent process of `pid` from /proc, or nothing when it has gone.
std::optional<pid_t> ParentOf(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* file = std::fopen(path, "re");
  if (file == nullptr) return std::nullopt;
  char text[1024];
  const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[n] = '\0';
  // "pid (name) state ppid ...": the name may hold blanks and parentheses.
  const char* close = nullptr;
  for (const char* c = text; *c != '\0'; ++c)
    if (*c == ')') close = c;
  char state = 0;
  int parent = 0;
  if (close == nullptr || std::sscanf(close + 1, " %c %d", &state, &parent) != 2) return std::nullopt;
  return static_cast<pid_t>(parent);
}

// The processes whose parent is this one.
std::vector<pid_t> OwnChildren() {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  const pid_t self = getpid();
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    if (ParentOf(static_cast<pid_t>(pid)) == self) children.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  std::sort(children.begin(), children.end());
  return children;
}

// While a command runs, processes it leaves behind become children of this
// program instead of the system's, so that they can be found and ended.
class TOrphanCatcher {
 public:
  TOrphanCatcher() : before_(OwnChildren()) {
    int was = 0;
    if (prctl(PR_GET_CHILD_SUBREAPER, &was) == 0) wasReaper_ = was != 0;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }
  ~TOrphanCatcher() {
    if (!wasReaper_) prctl(PR_SET_CHILD_SUBREAPER, 0);
  }
  TOrphanCatcher(const TOrphanCatcher&) = delete;
  TOrphanCatcher& operator=(const TOrphanCatcher&) = delete;

  // Kills the group and every process that came to this program from it, until
  // none is left; the children this program had before are left alone.
  void EndAll(pid_t group) {
    const TDeadline deadline = TDeadline::After(kSweepLimit);
    for (;;) {
      kill(-group, SIGKILL);
      bool found = false;
      for (pid_t pid : OwnChildren()) {
        if (std::binary_search(before_.begin(), before_.end(), pid)) continue;
        found = true;
        if (getpgid(pid) == pid) kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      if ((!found && kill(-group, 0) != 0) || deadline.Passed()) return;
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

 private:
  std::vector<pid_t> before_;
  bool wasReaper_ = false;
};

struct TPipe {
  int read = -1, write = -1;
  bool Open() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    read = fds[0];
    write = fds[1];
    return true;
  }
  void Close() {
    if (read >= 0) close(read);
    if (write >= 0) close(write);
    read = write = -1;
  }
  ~TPipe() { Close(); }
};

pid_t Spawn(const std::string& command, int outFd, int watchFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, watchFd, kWatchFd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  const char* argv[] = {"/bin/sh", "-c", kWrapper, "vornetta", command.c_str(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? pid : -1;
}

}  // namespace

TCommandResult RunCommandForLine(const std::string& command, std::chrono::milliseconds limit) {
  TCommandResult result;
  TPipe out, watch;
  if (!out.Open() || !watch.Open()) return result;
  TOrphanCatcher catcher;
  const pid_t pid = Spawn(command, out.write, watch.read);
  close(out.write);
  out.write = -1;
  close(watch.read);
  watch.read = -1;
  if (pid < 0) return result;

  const TDeadline deadline = TDeadline::After(limit);
  std::string output;
  bool timedOut = false;
  for (;;) {
    pollfd entry{out.read, POLLIN, 0};
    const int ready = poll(&entry, 1, deadline.PollMs());
    if (ready == 0) {
      timedOut = true;
      break;
    }
    if (ready < 0) continue;  // EINTR: wait again with the time that is left
    char chunk[4096];
    const ssize_t n = read(out.read, chunk, sizeof chunk);
    if (n <= 0 || output.size() >= kMaxOutput) break;
    output.append(chunk, static_cast<std::size_t>(n));
  }
  out.Close();

  int status = 0;
  bool ended = false;
  while (!timedOut && !(ended = waitpid(pid, &status, WNOHANG) == pid)) {
    if (deadline.Passed()) timedOut = true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!ended) {
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  catcher.EndAll(pid);
  watch.Close();

  if (timedOut) {
    result.end = TCommandEnd::TimedOut;
  } else if (WIFSIGNALED(status)) {
    result.end = TCommandEnd::Signalled;
    result.code = WTERMSIG(status);
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    result.end = TCommandEnd::ExitStatus;
    result.code = WEXITSTATUS(status);
  } else {
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.end = line.empty() ? TCommandEnd::NoOutput : TCommandEnd::Printed;
    if (!line.empty()) result.firstLine = std::move(line);
  }
  return result;
}

}  // namespace vornetta::platform
