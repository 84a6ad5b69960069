#include "platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vornetta::platform {
namespace {

// The name the file is really stored under; a missing file keeps its name.
std::string Resolved(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string name = resolved;
  std::free(resolved);
  return name;
}

// 0: locked; else the errno of the failure.
int LockNow(int fd) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? 0 : errno;
}

}  // namespace

TRunLock::~TRunLock() { Release(); }

void TRunLock::Release() {
  if (lockFile_ >= 0) ::close(lockFile_);
  if (file_ >= 0) ::close(file_);
  lockFile_ = file_ = -1;
}

std::string LockFilePath(const std::string& path) { return path + ".lock"; }

TRunLock::Result TRunLock::TryLock(const std::string& path) {
  Release();
  const std::string target = Resolved(path);
  const std::string lockPath = LockFilePath(target);
  lockFile_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFile_ < 0) {
    struct stat st {};
    // Only a lock file that is not there may be done without.
    if (::lstat(lockPath.c_str(), &st) == 0 || errno != ENOENT) return Result::Busy;
  }
  file_ = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  for (int* fd : {&lockFile_, &file_}) {
    if (*fd < 0) continue;
    if (const int failure = LockNow(*fd); failure == EWOULDBLOCK) {
      Release();
      return Result::Busy;
    } else if (failure != 0) {  // a file system without locks: the other one still counts
      ::close(*fd);
      *fd = -1;
    }
  }
  if (lockFile_ < 0 && file_ < 0) return Result::Unavailable;
  return Result::Taken;
}

}  // namespace vornetta::platform
