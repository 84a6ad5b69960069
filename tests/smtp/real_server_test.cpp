// One sending through a real SMTP server (aiosmtpd, started by the test on a
// loopback port); the received mail is read back with Python's mail parser.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "message/message.h"
#include "platform/code_page.h"
#include "smtp/exceptions.h"
#include "smtp/smtp.h"

namespace vornetta::smtp {
namespace {

namespace fs = std::filesystem;

const char* kPython = "/usr/bin/python3";

std::string SourceDir() {
  const char* dir = std::getenv("VORNETTA_SOURCE_DIR");
  return dir ? dir : VORNETTA_TEST_SOURCE_DIR;
}

// The sink server as a child process; stopped (and its folder removed) however the test ends.
class SinkServer {
 public:
  SinkServer() {
    char pattern[] = "/tmp/vornetta-smtp-test.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    dir_ = pattern;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const std::string script = SourceDir() + "/scripts/smtp-sink.py";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      execl(kPython, kPython, script.c_str(), "--dir", dir_.c_str(), "--host", "127.0.0.1", "--port", "0",
            "--auth", "user:secret", static_cast<char*>(nullptr));
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

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ParsedByPython(const std::string& mailPath) {
  const std::string command = std::string(kPython) + " " + SourceDir() + "/tests/smtp/parse_mail.py " + mailPath;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string output;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  pclose(pipe);
  return output;
}

TEST(RealServer, DeliversHeadersBodyAndEnvelopeIntact) {
  platform::UseSystemLanguage(platform::Language::Other);
  SinkServer server;
  ASSERT_GT(server.Port(), 0) << "the SMTP sink did not start";

  message::TIdMessage msg;
  msg.From.SetText("Berichtsdienst <from@example.com>");
  msg.Recipients.SetListText("a@example.com, Bea Beispiel <b@example.com>");
  msg.CCList.SetListText("c@example.com");
  msg.BccList.SetListText("d@example.com");
  msg.Subject = platform::FromUtf8("Umsätze für Oktober");
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.Body = {"<html><body>", platform::FromUtf8("<p>Umsätze 100 €</p>"), ".", "..x", "", "</body></html>"};

  TIdSMTP smtp;
  smtp.SetHost("localhost");
  smtp.SetPort(server.Port());
  smtp.SetAuthenticationType(atLogin);
  smtp.SetUsername("user");
  smtp.SetPassword("secret");
  smtp.SetReplyTimeout(10000);
  smtp.OpenSession(-1);
  EXPECT_TRUE(smtp.SupportsMechanism(atLogin));
  smtp.SubmitMessage(msg);
  EXPECT_TRUE(smtp.LoggedIn());
  smtp.CloseSession();

  const std::string mail = server.AwaitMail();
  EXPECT_EQ(ParsedByPython(mail),
            "From: \"Berichtsdienst\" <from@example.com>\n"
            "To: a@example.com, \"Bea Beispiel\" <b@example.com>\n"
            "Cc: c@example.com\n"
            "Bcc: (none)\n"
            "Subject: Umsätze für Oktober\n"
            "X-Priority: 3\n"
            "X-Library: Vornetta Mail 1.0\n"
            "X-Mailer: (none)\n"
            "Content-Type: text/html; charset=iso-8859-15\n"
            "Defects: 0\n"
            "Body:\n"
            "<html><body>\n<p>Umsätze 100 €</p>\n.\n..x\n\n</body></html>\n");
  EXPECT_EQ(ReadFile(server.Dir() + "/mail-001.envelope"),
            "MAIL FROM: from@example.com\n"
            "RCPT TO: a@example.com\nRCPT TO: b@example.com\nRCPT TO: c@example.com\nRCPT TO: d@example.com\n");
}

}  // namespace
}  // namespace vornetta::smtp
