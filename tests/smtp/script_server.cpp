#include "script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vornetta::test {
namespace {

// Longest silence the server waits through before it gives up on the client;
// generous, because a sanitized program on a busy machine starts slowly.
constexpr auto kPatience = std::chrono::seconds(20);

}  // namespace

ServerStep Send(std::string bytes) { return {ServerStep::Kind::Send, std::move(bytes)}; }
ServerStep Reply(std::string line) { return {ServerStep::Kind::Reply, std::move(line) + "\r\n"}; }
ServerStep Await() { return {ServerStep::Kind::Await, {}}; }
ServerStep Close() { return {ServerStep::Kind::Close, {}}; }
ServerStep Reset() { return {ServerStep::Kind::Reset, {}}; }
ServerStep Accept() { return {ServerStep::Kind::Accept, {}}; }

ScriptServer::ScriptServer(std::vector<ServerStep> script) : script_(std::move(script)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 1) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("script server: cannot listen");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  close(listener_);
}

std::string ScriptServer::Transcript() {
  if (thread_.joinable()) thread_.join();
  return received_;
}

// Polls in short slices so that the destructor can stop a waiting server.
bool ScriptServer::Wait(int fd, short events) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, 20);
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
  }
  return false;
}

// Reads until the client's next line (or, in the data phase, its "." line) is
// complete; false when the client closed or went silent.
bool ScriptServer::ReadUnit(int fd, bool dataPhase) {
  for (;;) {
    std::string_view pending = std::string_view(received_).substr(consumed_);
    size_t end = std::string_view::npos;
    if (dataPhase) {
      if (pending.starts_with(".\r\n"))
        end = 3;
      else if (size_t at = pending.find("\r\n.\r\n"); at != std::string_view::npos)
        end = at + 5;
    } else if (size_t at = pending.find('\n'); at != std::string_view::npos) {
      end = at + 1;
    }
    if (end != std::string_view::npos) {
      consumed_ += end;
      return true;
    }
    if (!Wait(fd, POLLIN)) return false;
    char chunk[65536];
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    received_.append(chunk, static_cast<size_t>(n));
  }
}

void ScriptServer::Run() {
  if (!Wait(listener_, POLLIN)) return;
  int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  bool open = true;
  bool dataPhase = false;
  auto sendAll = [&](const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (!Wait(fd, POLLOUT)) return false;
      ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  };
  for (const ServerStep& step : script_) {
    if (!open && step.kind != ServerStep::Kind::Accept) break;
    switch (step.kind) {
      case ServerStep::Kind::Send:
        open = sendAll(step.text);
        break;
      case ServerStep::Kind::Reply:
        open = ReadUnit(fd, dataPhase) && sendAll(step.text);
        dataPhase = step.text.starts_with("354");
        break;
      case ServerStep::Kind::Await:
        open = ReadUnit(fd, dataPhase);
        dataPhase = false;
        break;
      case ServerStep::Kind::Accept:
        if (fd >= 0) close(fd);
        fd = -1;
        open = Wait(listener_, POLLIN) && (fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
        dataPhase = false;
        break;
      case ServerStep::Kind::Reset: {
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        [[fallthrough]];
      }
      case ServerStep::Kind::Close:
        close(fd);
        fd = -1;
        open = false;
        break;
    }
  }
  // Whatever the client still sends (such as QUIT) belongs to the transcript.
  while (fd >= 0 && Wait(fd, POLLIN)) {
    char chunk[65536];
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    received_.append(chunk, static_cast<size_t>(n));
  }
  if (fd >= 0) close(fd);
}

int UnusedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

ScriptServer AcceptingServer(int recipients, const std::string& ehlo) {
  std::vector<ServerStep> script = {Send("220 mail.example ESMTP\r\n"), Reply(ehlo), Reply("250 reset"),
                                    Reply("250 sender ok")};
  for (int i = 0; i < recipients; ++i) script.push_back(Reply("250 recipient ok"));
  script.push_back(Reply("354 go ahead"));
  script.push_back(Reply("250 queued"));
  script.push_back(Await());  // QUIT
  script.push_back(Close());
  return ScriptServer(std::move(script));
}

}  // namespace vornetta::test
