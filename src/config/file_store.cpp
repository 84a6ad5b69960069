#include "config/file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vornetta::config::detail {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int get() const { return fd_; }
  // Hands the descriptor over to the caller.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  bool Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteAllAt(int fd, std::string_view bytes) {
  off_t offset = 0;
  while (!bytes.empty()) {
    ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

// Appends everything from the current position to the end; on failure bytes is empty.
bool ReadAll(int fd, std::string& bytes) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return false;
    }
    if (n == 0) return true;
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

// The file a write really replaces: the target of a symbolic link.
bool ResolveTarget(const std::string& path, std::string& target) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    target = path;
    return true;
  }
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return false;
  target = resolved;
  std::free(resolved);
  return true;
}

struct FileLocation {
  std::string folder;  // ends in "/"
  std::string name;
};

FileLocation LocationOf(const std::string& target) {
  std::string::size_type slash = target.rfind('/');
  if (slash == std::string::npos) return {"./", target};
  return {target.substr(0, slash + 1), target.substr(slash + 1)};
}

// Temporaries are ".<name>.XXXXXX" beside the file (mkstemp fills in the six
// characters); a short prefix of the name keeps it within the file system's limit.
std::string TemporaryPrefix(const std::string& name) { return "." + name.substr(0, 200) + "."; }

bool IsTemporaryOf(std::string_view entry, std::string_view prefix) {
  if (entry.size() != prefix.size() + 6 || !entry.starts_with(prefix)) return false;
  for (char c : entry.substr(prefix.size())) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A writer holds an exclusive lock on its temporary until the rename; the lock
// ends with the process, so an unlocked temporary belongs to a write that was
// killed. It holds a copy of the settings (the password too) and goes.
void RemoveIfUnowned(int folder, const char* name) {
  FileDescriptor fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat opened {}, named {};
  if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
      opened.st_uid != ::geteuid())
    return;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named))
    ::unlinkat(folder, name, 0);
}

// Creates the temporary (mode 0600, from mkstemp) and locks it. A cleaner may
// remove the name between the two steps; then another name is tried.
int CreateLockedTemporary(std::string& temporary) {
  const std::string pattern = temporary;
  for (int attempt = 0; attempt < 8; ++attempt) {
    temporary = pattern;
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    // A file system without locks: nobody can take the temporary away either.
    if (locked != 0) return fd;
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) == 0 && ::stat(temporary.c_str(), &named) == 0 && SameFile(opened, named)) return fd;
    ::close(fd);
  }
  return -1;
}

// Where the copies for interrupted rewrites in place live: the user's state
// folder, private to the user.
std::string RecoveryFolder() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    base = state;
  else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    base = std::string(home) + "/.local/state";
  else
    return {};
  std::string folder;
  for (const std::string& part : {base, std::string("/vornetta")}) {
    folder += part;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return {};
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return folder + "/";
}

// One copy per file, named by the file's device and inode: a rewrite in place keeps both.
std::string RecoveryName(const struct stat& st) {
  return "rewrite-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino);
}

// The copy: the file's name, the sizes of the old and the new content, then both.
std::string RecoveryRecord(const std::string& target, std::string_view old, std::string_view bytes) {
  std::string record = target + "\n" + std::to_string(old.size()) + " " + std::to_string(bytes.size()) + "\n";
  record.reserve(record.size() + old.size() + bytes.size());
  record.append(old);
  record.append(bytes);
  return record;
}

struct Recovery {
  std::string target;
  std::string_view old;
  std::string_view bytes;
};

bool ParseRecovery(std::string_view record, Recovery& recovery) {
  const std::size_t nameEnd = record.find('\n');
  if (nameEnd == std::string_view::npos) return false;
  recovery.target = record.substr(0, nameEnd);
  const std::size_t sizesEnd = record.find('\n', nameEnd + 1);
  if (sizesEnd == std::string_view::npos) return false;
  const std::string sizes(record.substr(nameEnd + 1, sizesEnd - nameEnd - 1));
  char* rest = nullptr;
  const unsigned long long oldSize = std::strtoull(sizes.c_str(), &rest, 10);
  const unsigned long long newSize = std::strtoull(rest, nullptr, 10);
  const std::string_view contents = record.substr(sizesEnd + 1);
  if (oldSize > contents.size() || contents.size() - oldSize != newSize) return false;
  recovery.old = contents.substr(0, oldSize);
  recovery.bytes = contents.substr(oldSize);
  return true;
}

bool SyncFolder(const std::string& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

// Writes the copy under its final name, synced, and returns it locked: a start
// meanwhile leaves a copy alone whose writer still lives.
int StoreRecovery(const std::string& folder, const std::string& name, std::string_view record) {
  RemoveStaleTemporaries(folder + name);
  std::string temporary = folder + TemporaryPrefix(name) + "XXXXXX";
  FileDescriptor fd(CreateLockedTemporary(temporary));
  if (fd.get() < 0) return -1;
  if (!WriteAll(fd.get(), record) || ::fsync(fd.get()) != 0 ||
      ::rename(temporary.c_str(), (folder + name).c_str()) != 0 || !SyncFolder(folder)) {
    ::unlink(temporary.c_str());
    return -1;
  }
  return fd.Release();
}

bool ReplaceContent(int fd, std::string_view content) {
  return WriteAllAt(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
}

// Writes bytes over the file itself, keeping its owner and mode. A kill in the
// middle would leave a mix of both contents, so the new content goes first,
// synced, into a copy in the user's state folder that the next start finishes
// the write from (RecoverInterruptedRewrite); without that folder the file stays
// as it is. Space for a longer content is reserved first, and a failed write
// puts the old content back.
bool RewriteInPlaceAt(const std::string& target, std::string_view bytes) {
  FileDescriptor fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::string old;
  if (!ReadAll(fd.get(), old)) return false;
  if (old == bytes) return true;
  const std::string folder = RecoveryFolder();
  if (folder.empty()) return false;
  const std::string name = RecoveryName(st);
  FileDescriptor recovery(StoreRecovery(folder, name, RecoveryRecord(target, old, bytes)));
  if (recovery.get() < 0) return false;
  bool ok = bytes.size() <= old.size() ||
            ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size())) == 0 ||
            errno == EOPNOTSUPP || errno == ENOSYS;
  ok = ok && ReplaceContent(fd.get(), bytes);
  if (!ok) ReplaceContent(fd.get(), old);
  // Whole either way now; the copy goes only after that.
  ::unlink((folder + name).c_str());
  return ok;
}

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return ReadOutcome::Failed;
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  return ReadAll(fd.get(), bytes) ? ReadOutcome::Read : ReadOutcome::Failed;
}

void RemoveStaleTemporaries(const std::string& path) {
  std::string target;
  if (path.empty() || !ResolveTarget(path, target)) return;
  const FileLocation location = LocationOf(target);
  DIR* dir = ::opendir(location.folder.c_str());
  if (dir == nullptr) return;
  const std::string prefix = TemporaryPrefix(location.name);
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTemporaryOf(entry->d_name, prefix)) RemoveIfUnowned(::dirfd(dir), entry->d_name);
  }
  ::closedir(dir);
}

bool ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  std::string target;
  if (path.empty() || !ResolveTarget(path, target)) return false;

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;
  if (!exists && errno != ENOENT) return false;

  const FileLocation location = LocationOf(target);
  RemoveStaleTemporaries(target);
  std::string temporary = location.folder + TemporaryPrefix(location.name) + "XXXXXX";
  FileDescriptor fd(CreateLockedTemporary(temporary));
  // A folder the user may not write in still holds a file the user may change.
  if (fd.get() < 0) return exists && RewriteInPlaceAt(target, bytes);

  bool ok = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
      ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
    // Only the file itself keeps its owner: the rename would hand it to this user.
    fd.Close();
    ::unlink(temporary.c_str());
    return RewriteInPlaceAt(target, bytes);
  }
  // The copy stays private until the moment it becomes the file.
  if (ok && exists) ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  // The lock is held through the rename, so no cleaner takes the copy before it.
  fd.Close();
  return ok;
}

bool RewriteInPlace(const std::string& path, std::string_view bytes) {
  std::string target;
  return !path.empty() && ResolveTarget(path, target) && RewriteInPlaceAt(target, bytes);
}

void RecoverInterruptedRewrite(const std::string& path) {
  std::string target;
  struct stat st {};
  if (path.empty() || !ResolveTarget(path, target) || ::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return;
  const std::string folder = RecoveryFolder();
  if (folder.empty()) return;
  const std::string copy = folder + RecoveryName(st);
  FileDescriptor saved(::open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (saved.get() < 0 || ::flock(saved.get(), LOCK_EX | LOCK_NB) != 0) return;
  std::string record;
  Recovery recovery;
  if (!ReadAll(saved.get(), record) || !ParseRecovery(record, recovery) || recovery.target != target) return;
  FileDescriptor fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
  std::string current;
  if (fd.get() < 0 || !ReadAll(fd.get(), current)) return;
  // Old or new whole: the write never began or had ended. Anything else is a cut.
  if (current != recovery.old && current != recovery.bytes && !ReplaceContent(fd.get(), recovery.bytes)) return;
  ::unlink(copy.c_str());
}

}  // namespace vornetta::config::detail
