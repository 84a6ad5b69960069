#include "unattended_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <iconv.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vornetta::e2e {

namespace fs = std::filesystem;

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) result.emplace_back(*e);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('='));
    std::erase_if(result, [&](const std::string& entry) {
      return entry.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (change.find('=') != std::string::npos) result.push_back(change);
  }
  return result;
}

std::vector<char*> CStrings(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

// Closes a descriptor when the scope ends.
struct TFd {
  int fd = -1;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

TProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& cwd, std::chrono::seconds timeout) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  TFd outRead{outPipe[0]}, outWrite{outPipe[1]};
  if (::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  TFd errRead{errPipe[0]}, errWrite{errPipe[1]};

  std::vector<std::string> args = argv;
  std::vector<std::string> envTexts = MergedEnvironment(env);
  std::vector<char*> argp = CStrings(args);
  std::vector<char*> envp = CStrings(envTexts);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a crashed test leaves no program behind
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  outWrite.Close();
  errWrite.Close();

  TProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[65536];
  while (outRead.fd >= 0 || errRead.fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{outRead.fd, POLLIN, 0}, {errRead.fd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      TFd& source = i == 0 ? outRead : errRead;
      if (n <= 0) {
        source.Close();
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = DecodeStatus(status);
  return result;
}

std::string ProgramPath() { return EnvOr("VORNETTA_BINARY_DIR", "build") + "/vornetta"; }

std::string SourceDir() { return EnvOr("VORNETTA_SOURCE_DIR", "."); }

int ClosedLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(s);
    throw std::runtime_error("no free loopback port");
  }
  ::close(s);  // never listened on: a connect is refused
  return ntohs(addr.sin_port);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string TReceivedMail::Header(const std::string& name) const {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find("\r\n", pos);
    if (end == std::string::npos) end = header.size();
    const std::string_view line(header.data() + pos, end - pos);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        std::equal(name.begin(), name.end(), line.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      // The value with its continuation lines.
      std::size_t valueEnd = end;
      while (valueEnd + 2 < header.size() && (header[valueEnd + 2] == ' ' || header[valueEnd + 2] == '\t')) {
        valueEnd = header.find("\r\n", valueEnd + 2);
        if (valueEnd == std::string::npos) valueEnd = header.size();
      }
      std::string value = header.substr(pos + name.size() + 1, valueEnd - pos - name.size() - 1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      return value;
    }
    pos = end + 2;
  }
  return {};
}

TSmtpSink::TSmtpSink(const std::string& folder, const std::string& auth, const std::vector<std::string>& options)
    : folder_(folder) {
  fs::create_directories(folder_);
  std::vector<std::string> args = {"/usr/bin/python3", SourceDir() + "/scripts/smtp-sink.py",
                                   "--dir", folder_ + "/mails", "--port", "0"};
  if (!auth.empty()) {
    args.push_back("--auth");
    args.push_back(auth);
  }
  args.insert(args.end(), options.begin(), options.end());
  const std::string outPath = folder_ + "/sink.out";
  const std::string logPath = folder_ + "/sink.log";
  std::vector<char*> argp = CStrings(args);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(out, 1);
    ::dup2(log, 2);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test leaves no server behind
    ::execv(argp[0], argp.data());
    ::_exit(127);
  }
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string out = ReadFile(outPath);
    if (out.rfind("port ", 0) == 0 && out.find('\n') != std::string::npos) {
      port_ = std::atoi(out.c_str() + 5);
      return;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string log = Log();
  Stop();
  throw std::runtime_error("the SMTP sink did not start: " + log);
}

TSmtpSink::~TSmtpSink() { Stop(); }

void TSmtpSink::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
}

std::vector<TReceivedMail> TSmtpSink::Mails() const {
  std::vector<std::string> paths;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder_ + "/mails", ignored)) {
    if (entry.path().extension() == ".eml") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<TReceivedMail> mails;
  for (const std::string& path : paths) {
    TReceivedMail mail;
    mail.raw = ReadFile(path);
    const std::size_t split = mail.raw.find("\r\n\r\n");
    if (split == std::string::npos) {
      mail.header = mail.raw;
    } else {
      mail.header = mail.raw.substr(0, split + 2);
      mail.body = mail.raw.substr(split + 4);
    }
    std::istringstream envelope(ReadFile(path.substr(0, path.size() - 4) + ".envelope"));
    for (std::string line; std::getline(envelope, line);) {
      if (line.rfind("MAIL FROM: ", 0) == 0) mail.mailFrom = line.substr(11);
      if (line.rfind("RCPT TO: ", 0) == 0) mail.rcptTo.push_back(line.substr(9));
    }
    mails.push_back(std::move(mail));
  }
  return mails;
}

std::string TSmtpSink::Log() const { return ReadFile(folder_ + "/sink.log"); }

namespace {

std::string Escaped(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\r') out += "##13";
    else if (c == '\n') out += "##10";
    else if (c == '\t') out += "##09";
    else out += c;
  }
  return out;
}

}  // namespace

TIniText& TIniText::Set(const std::string& section, const std::string& key, const std::string& valueUtf8) {
  auto it = std::find_if(sections_.begin(), sections_.end(), [&](const auto& s) { return s.first == section; });
  if (it == sections_.end()) {
    sections_.push_back({section, {}});
    it = sections_.end() - 1;
  }
  for (auto& [k, v] : it->second) {
    if (k == key) {
      v = valueUtf8;
      return *this;
    }
  }
  it->second.emplace_back(key, valueUtf8);
  return *this;
}

TIniText& TIniText::SetText(const std::string& section, const std::string& textUtf8) {
  std::istringstream lines(textUtf8);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Set(section, std::to_string(number++), line);
  }
  return *this;
}

std::string TIniText::Bytes() const { return Latin9(Utf8Bytes().substr(3)); }

std::string TIniText::Utf8Bytes() const {
  std::string text = "\xEF\xBB\xBF";
  for (const auto& [section, keys] : sections_) {
    text += "[" + section + "]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + Escaped(value) + "\r\n";
  }
  return text;
}

namespace {

// (section, key, value) of every entry line, in file order.
std::vector<std::array<std::string, 3>> IniEntries(const std::string& bytes) {
  std::vector<std::array<std::string, 3>> entries;
  std::istringstream in(bytes);
  std::string section;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (const std::size_t eq = line.find('='); eq != std::string::npos) {
      entries.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
    }
  }
  return entries;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::vector<std::string> IniKeys(const std::string& iniBytes, const std::string& section) {
  std::vector<std::string> keys;
  for (const auto& entry : IniEntries(iniBytes)) {
    if (SameName(entry[0], section)) keys.push_back(entry[1]);
  }
  return keys;
}

std::string IniValue(const std::string& iniBytes, const std::string& section, const std::string& key) {
  for (const auto& entry : IniEntries(iniBytes)) {
    if (SameName(entry[0], section) && SameName(entry[1], key)) return entry[2];
  }
  return {};
}

std::string Latin9(const std::string& utf8) {
  iconv_t cd = ::iconv_open("ISO-8859-15", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out(utf8.size(), '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("not ISO-8859-15: " + utf8);
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace vornetta::e2e
