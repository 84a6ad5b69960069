// Writes that cannot go through a new file (a folder closed to the user, a file
// of another user in a shared folder) and writes killed half-way: the settings
// are stored, owner and mode stay, and no copy of the file stays behind.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <optional>
#include <random>

#include "config/file_store.h"

#include "config/my_ini_file.h"
#include "temp_folder.h"

using namespace vornetta::config;
using namespace vornetta::config::testing;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
const std::string kSettings = "[email]\r\nsmtppass=geheim\r\nempfaenger=chef@example.org\r\n";

std::vector<std::string> HiddenEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".")) names.push_back(entry.path().filename().string());
  }
  return names;
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

// A state folder for the copies of rewrites in place, owned by `owner`, for as long as the test runs.
class StateFolder {
 public:
  explicit StateFolder(uid_t owner, gid_t group) : path_(folder_ / "state") {
    std::filesystem::create_directory(path_);
    ::chmod(folder_.Path().c_str(), 0755);  // for the other user to reach it
    if (::geteuid() == 0) ::chown(path_.c_str(), owner, group);
    old_ = std::getenv("XDG_STATE_HOME") ? std::optional<std::string>(std::getenv("XDG_STATE_HOME")) : std::nullopt;
    ::setenv("XDG_STATE_HOME", path_.c_str(), 1);
  }
  ~StateFolder() {
    if (old_)
      ::setenv("XDG_STATE_HOME", old_->c_str(), 1);
    else
      ::unsetenv("XDG_STATE_HOME");
  }
  // The copies a rewrite left behind, temporaries aside.
  std::vector<std::string> Copies() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path_ + "/vornetta", ignored))
      if (!entry.path().filename().string().starts_with(".")) names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  TempFolder folder_;
  std::string path_;
  std::optional<std::string> old_;
};

// Runs the tools' ini_write, as nobody when this process is root; returns its exit status.
int WriteAsOtherUser(const std::string& path, const std::string& value) {
  const StateFolder state(kNobody, kNogroup);
  std::vector<std::string> args;
  if (::geteuid() == 0) {
    args = {"setpriv", "--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNogroup),
            "--clear-groups"};
  }
  for (const char* arg : {VORNETTA_INI_WRITE_TOOL, path.c_str(), "email", "empfaenger", value.c_str()}) {
    args.emplace_back(arg);
  }
  pid_t child = ::fork();
  if (child == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(IniForeignFolder, RewritesInPlaceWhenTheFolderTakesNoNewFile) {
  TempFolder folder;
  const std::string path = folder / "geteilt.ini";
  WriteBytes(path, kSettings);
  ::chmod(path.c_str(), 0600);
  if (::geteuid() == 0) {
    // The folder belongs to root and is closed to nobody, who owns the file.
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNogroup), 0);
    ::chmod(folder.Path().c_str(), 0755);
  } else {
    ::chmod(folder.Path().c_str(), 0555);
  }
  const struct stat before = StatOf(path);

  EXPECT_EQ(WriteAsOtherUser(path, "neu@example.org"), 0);
  ::chmod(folder.Path().c_str(), 0755);
  EXPECT_EQ(ReadBytes(path), "[email]\r\nsmtppass=geheim\r\nempfaenger=neu@example.org\r\n");
  const struct stat after = StatOf(path);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_mode & 07777, 0600u);
  EXPECT_EQ(after.st_ino, before.st_ino);

  // A shorter content leaves no rest of the longer one.
  EXPECT_EQ(WriteAsOtherUser(path, "k@x.de"), 0);
  EXPECT_EQ(ReadBytes(path), "[email]\r\nsmtppass=geheim\r\nempfaenger=k@x.de\r\n");
  EXPECT_TRUE(HiddenEntries(folder.Path()).empty());
}

TEST(IniForeignFolder, KeepsTheOwnerOfAnotherUsersFileInASharedFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user than the writer";
  TempFolder folder;
  const std::string path = folder / "geteilt.ini";
  WriteBytes(path, kSettings);
  ::chmod(path.c_str(), 0666);  // root's file, writable by everyone
  ::chmod(folder.Path().c_str(), 0777);

  EXPECT_EQ(WriteAsOtherUser(path, "neu@example.org"), 0);
  EXPECT_EQ(ReadBytes(path), "[email]\r\nsmtppass=geheim\r\nempfaenger=neu@example.org\r\n");
  const struct stat after = StatOf(path);
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(after.st_gid, 0u);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_TRUE(HiddenEntries(folder.Path()).empty());
}

TEST(IniKilledWrite, LeavesNoCopyAfterTheNextRunAndKeepsTheFile) {
  TempFolder folder;
  const std::string path = folder / "kill.ini";
  WriteBytes(path, kSettings);
  ::chmod(path.c_str(), 0644);

  // The write is killed by the file size limit after its temporary has grown past it.
  pid_t child = ::fork();
  if (child == 0) {
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    rlimit small{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::signal(SIGXFSZ, SIG_DFL);
    TMyIniFile(path).WriteValue("email", "css", std::string(64 * 1024, 'c'));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;

  const std::vector<std::string> left = HiddenEntries(folder.Path());
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(left[0].starts_with(".kill.ini.")) << left[0];
  EXPECT_EQ(ModeOf(folder / left[0]), 0600u) << "a copy holding the password is private";
  EXPECT_EQ(ReadBytes(path), kSettings);

  TMyIniFile nextRun(path);
  EXPECT_EQ(nextRun.ReadValue("email", "smtppass", ""), "geheim");
  EXPECT_TRUE(HiddenEntries(folder.Path()).empty());
  EXPECT_EQ(ModeOf(path), 0644u);
}

TEST(IniKilledWrite, LeavesTheTemporaryOfAWriteInProgressAlone) {
  TempFolder folder;
  const std::string path = folder / "busy.ini";
  WriteBytes(path, kSettings);
  const std::string busy = folder / ".busy.ini.Ab12Cd";
  const std::string other = folder / ".busy.ini.bak";
  WriteBytes(busy, "partial");
  WriteBytes(other, "not ours");
  int fd = ::open(busy.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  TMyIniFile ini(path);
  ini.WriteValue("email", "cc", "c");
  EXPECT_TRUE(std::filesystem::exists(busy));
  EXPECT_TRUE(std::filesystem::exists(other));
  ::close(fd);

  TMyIniFile later(path);
  EXPECT_FALSE(std::filesystem::exists(busy));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(later.ReadValue("email", "cc", ""), "c");
}

// Hundreds of kills at random moments of a rewrite in place of a large file:
// after the next start the file holds the old or the new content, never a mix.
TEST(IniKilledWrite, AKillDuringARewriteInPlaceLeavesTheOldOrTheNewContentWhole) {
  TempFolder folder;
  const StateFolder state(::geteuid(), ::getegid());
  const std::string path = folder / "gross.ini";
  // Of different lengths and different bytes all along, so any mix shows.
  const std::string contents[2] = {"[email]\r\ncss=" + std::string(300 * 1024, 'a') + "\r\n",
                                   "[email]\r\ncss=" + std::string(420 * 1024, 'b') + "\r\n"};
  WriteBytes(path, contents[0]);

  // The span of one whole rewrite on this machine, to spread the kills over it.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(detail::RewriteInPlace(path, contents[1]));
  ASSERT_TRUE(detail::RewriteInPlace(path, contents[0]));
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 2;

  std::mt19937 random(20261209);
  std::uniform_int_distribution<long> moment(1, std::max<long>(span.count(), 2));
  int killed = 0;
  std::size_t current = 0;
  for (int round = 0; round < 200; ++round) {
    const std::size_t next = 1 - current;
    const long delay = moment(random);
    pid_t child = ::fork();
    if (child == 0) {
      rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      std::signal(SIGALRM, SIG_DFL);
      itimerval timer{};
      timer.it_value.tv_sec = delay / 1000000;
      timer.it_value.tv_usec = delay % 1000000;
      ::setitimer(ITIMER_REAL, &timer, nullptr);
      detail::RewriteInPlace(path, contents[next]);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) ++killed;

    TMyIniFile nextStart(path);
    const std::string now = ReadBytes(path);
    ASSERT_TRUE(now == contents[0] || now == contents[1])
        << "round " << round << ": " << now.size() << " bytes, neither old nor new";
    EXPECT_TRUE(state.Copies().empty()) << round;
    current = now == contents[0] ? 0 : 1;
  }
  RecordProperty("killed", killed);
}
