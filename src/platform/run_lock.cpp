#include "platform/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vornetta::platform {

TRunLock::~TRunLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string LockFilePath(const std::string& path) { return path + ".lock"; }

TRunLock::Result TRunLock::TryLock(const std::string& path) {
  int fd = ::open(LockFilePath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Result::Unavailable;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Result::Busy : Result::Unavailable;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return Result::Taken;
}

}  // namespace vornetta::platform
