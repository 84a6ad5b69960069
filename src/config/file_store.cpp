#include "config/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

}  // namespace

ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return ReadOutcome::Failed;
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));

  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return ReadOutcome::Failed;
    }
    if (n == 0) return ReadOutcome::Read;
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

bool ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  std::string target;
  if (path.empty() || !ResolveTarget(path, target)) return false;

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;
  if (!exists && errno != ENOENT) return false;

  std::string::size_type slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  // A short prefix of the name keeps the temporary name within the file system's limit.
  std::string temporary = folder + (folder.back() == '/' ? "" : "/") + "." + name.substr(0, 200) + ".XXXXXX";

  // mkstemp creates the file with mode 0600.
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  bool ok = WriteAll(fd.get(), bytes);
  if (ok && exists) {
    ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
      // Only root may give the file back to its owner; others keep their own.
      int ignored = ::fchown(fd.get(), old.st_uid, old.st_gid);
      (void)ignored;
    }
  }
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace vornetta::config::detail
