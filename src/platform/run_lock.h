// An exclusive lock that keeps two runs from working on the same file at once:
// flock on a lock file beside it and on the file itself, held until the object
// goes or the process ends (the kernel drops it even after a crash).
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

  // Locks the file a link at `path` leads to, so every name of one file shares
  // one lock: LockFilePath of the resolved name (created mode 0600 when missing,
  // never removed: removing it would let a third run lock a new file while the
  // first still holds the old one), and the file's own inode, which a hard link
  // under another name reaches too. A lock file that exists but cannot be opened
  // (another user's, a link, a folder) is Busy: locking something else instead
  // would let two runs send. When the lock file cannot be created (a folder
  // without write access) the file itself carries the lock alone. Busy: another
  // process holds a lock; Unavailable: nothing could be opened, nothing is held.
  // Never waits.
  Result TryLock(const std::string& path);

 private:
  void Release();

  int lockFile_ = -1;
  int file_ = -1;
};

// path followed by ".lock". The file itself cannot carry the lock alone: writes
// replace it by renaming a new file over it.
std::string LockFilePath(const std::string& path);

}  // namespace vornetta::platform
