// The SMTP sink (scripts/smtp-sink.py, aiosmtpd) as a child process for the
// transport tests: started on a loopback port with the options given, stopped
// (and its folder removed) however the test ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vornetta::test {

namespace fs = std::filesystem;

inline constexpr const char* kPython = "/usr/bin/python3";

inline std::string SourceDir() {
  const char* dir = std::getenv("VORNETTA_SOURCE_DIR");
  return dir ? dir : VORNETTA_TEST_SOURCE_DIR;
}

// The sink server as a child process; stopped (and its folder removed) however the test ends.
class SinkServer {
 public:
  // `options` follow the script's folder and port, e.g. {"--auth", "user:secret"}.
  // `script` is relative to the source folder.
  explicit SinkServer(const std::vector<std::string>& options = {"--host", "127.0.0.1", "--auth", "user:secret"},
                      const std::string& scriptPath = "scripts/smtp-sink.py") {
    char pattern[] = "/tmp/vornetta-smtp-test.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    dir_ = pattern;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const std::string script = SourceDir() + "/" + scriptPath;
    std::vector<std::string> args = {kPython, script, "--dir", dir_, "--port", "0"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      execv(kPython, argv.data());
      _exit(127);
    }
    close(out[1]);
    // The server prints "port N" once it listens.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd entry{out[0], POLLIN, 0};
      if (poll(&entry, 1, 100) <= 0) continue;
      char chunk[64];
      ssize_t n = read(out[0], chunk, sizeof chunk);
      if (n <= 0) break;
      line.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    if (line.rfind("port ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
  }

  ~SinkServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      for (int i = 0; i < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  int Port() const { return port_; }
  const std::string& Dir() const { return dir_; }

  // The first stored mail's path, once it is complete (bounded wait).
  std::string AwaitMail() const {
    const std::string path = dir_ + "/mail-001.eml";
    for (int i = 0; i < 100 && !fs::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return path;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vornetta::test
