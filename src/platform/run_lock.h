// An exclusive lock that keeps two runs from working on the same file at once:
// flock on a lock file beside it, held until the object goes or the process
// ends (the kernel drops it even after a crash).
#pragma once

#include <string>

namespace vornetta::platform {

class TRunLock {
 public:
  enum class Result { Taken, Busy, Unavailable };

  TRunLock() = default;
  TRunLock(const TRunLock&) = delete;
  TRunLock& operator=(const TRunLock&) = delete;
  ~TRunLock();

  // Locks LockFilePath(path), created (mode 0600) when missing and never
  // removed: removing it would let a third run lock a new file while the first
  // still holds the old one. When that file cannot be created (a folder without
  // write access), the file at `path` itself is locked. Busy: another process
  // holds the lock; Unavailable: neither file could be opened, nothing is held.
  // Never waits.
  Result TryLock(const std::string& path);

 private:
  int fd_ = -1;
};

// path followed by ".lock". The file itself cannot carry the lock: writes
// replace it by renaming a new file over it.
std::string LockFilePath(const std::string& path);

}  // namespace vornetta::platform
