#include "smtp/io_handler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>

#include "smtp/exceptions.h"

namespace vornetta::smtp {
namespace {

using Clock = std::chrono::steady_clock;

TIdStack& Stack() { return *SocketStack(); }

// Records errno of the call that just failed as the platform's last error.
int Failed() {
  SetLastPlatformSocketError(SocketErrorCodeOfErrno(errno));
  return -1;
}

// The four numbers of a dotted quad, as IsDottedQuad reads them.
in_addr DottedQuadAddress(const std::string& text) {
  unsigned char bytes[4] = {};
  std::string_view rest = text;
  for (int part = 0; part < 4; ++part) {
    size_t dot = part < 3 ? rest.find('.') : std::string_view::npos;
    std::string_view piece = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    int value = 0;
    std::from_chars(piece.data(), piece.data() + piece.size(), value);
    bytes[part] = static_cast<unsigned char>(value);
  }
  in_addr address{};
  static_assert(sizeof address.s_addr == sizeof bytes);
  __builtin_memcpy(&address.s_addr, bytes, sizeof bytes);
  return address;
}

std::string AddressText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

// poll for one event; the limit in milliseconds, below 0 without end. EINTR
// restarts the wait with the time that is left.
int PollFor(int fd, short events, int limitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
  for (;;) {
    int wait = -1;
    if (limitMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, wait);
    if (rc >= 0 || errno != EINTR) return rc;
  }
}

}  // namespace

TIdSocketHandle::~TIdSocketHandle() { ReleaseSocket(); }

void TIdSocketHandle::Reset() {
  allocated_ = false;
  socketId_ = -1;
  ip_.clear();
  remoteIp_.clear();
  port_ = 0;
  remotePort_ = 0;
}

void TIdSocketHandle::CreateSocket() {
  ReleaseSocket();
  socketId_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socketId_ < 0) {
    socketId_ = -1;
    throw EIdInvalidSocket();
  }
  allocated_ = true;
}

void TIdSocketHandle::ReadAddresses(bool withRemote) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  int rc = getsockname(socketId_, reinterpret_cast<sockaddr*>(&address), &length);
  Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {});
  ip_ = AddressText(address);
  port_ = ntohs(address.sin_port);
  if (!withRemote) return;
  length = sizeof address;
  rc = getpeername(socketId_, reinterpret_cast<sockaddr*>(&address), &length);
  Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {});
  remoteIp_ = AddressText(address);
  remotePort_ = ntohs(address.sin_port);
}

void TIdSocketHandle::BindLocal() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (!ip_.empty() && inet_pton(AF_INET, ip_.c_str(), &address.sin_addr) != 1) {
    SetLastPlatformSocketError(SocketErrorCodeOfErrno(EADDRNOTAVAIL));
    Stack().CheckSocketResult(-1, {});
  }
  int rc = bind(socketId_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {kErrAddrInUse})) throw EIdCouldNotBindSocket();
  ReadAddresses(false);
}

int TIdSocketHandle::ConnectPeer(int timeoutMs) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(remotePort_));
  address.sin_addr = DottedQuadAddress(remoteIp_);
  const auto* peer = reinterpret_cast<const sockaddr*>(&address);

  int rc;
  if (timeoutMs <= 0) {
    rc = connect(socketId_, peer, sizeof address);
    if (rc != 0) return Failed();
  } else {
    int flags = fcntl(socketId_, F_GETFL);
    fcntl(socketId_, F_SETFL, flags | O_NONBLOCK);
    rc = connect(socketId_, peer, sizeof address);
    if (rc != 0 && errno == EINPROGRESS) {
      int ready = PollFor(socketId_, POLLOUT, timeoutMs);
      int error = ETIMEDOUT;
      socklen_t length = sizeof error;
      if (ready > 0) getsockopt(socketId_, SOL_SOCKET, SO_ERROR, &error, &length);
      errno = error;
      rc = error == 0 ? 0 : -1;
    }
    int saved = errno;
    fcntl(socketId_, F_SETFL, flags);
    errno = saved;
    if (rc != 0) return Failed();
  }
  ReadAddresses(true);
  return 0;
}

void TIdSocketHandle::ReleaseSocket() {
  if (!allocated_) return;
  allocated_ = false;
  shutdown(socketId_, SHUT_WR);
  close(socketId_);
  socketId_ = -1;
}

bool TIdSocketHandle::WaitReadable(int limitMs) {
  if (!allocated_) throw EIdConnClosedGracefully();
  return PollFor(socketId_, POLLIN, limitMs) == 1;
}

void TIdIOHandlerSocket::PrepareBinding() {
  if (binding_)
    binding_->Reset();
  else
    binding_ = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, const std::string& boundIp,
                                   int boundPort, int timeout) {
  binding_->CreateSocket();
  binding_->SetIP(boundIp);
  binding_->SetPort(boundPort);
  binding_->BindLocal();
  binding_->SetRemoteIP(Stack().LookupHost(host));
  binding_->SetRemotePort(port);
  if (!useNagle_) {
    int on = 1;
    setsockopt(binding_->SocketId(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  Stack().CheckSocketResult(binding_->ConnectPeer(timeout), {});
}

bool TIdIOHandlerSocket::IsConnected() const { return binding_ && binding_->IsAllocated(); }

bool TIdIOHandlerSocket::WaitReadable(int limitMs) {
  if (!binding_) throw EIdConnClosedGracefully();
  return binding_->WaitReadable(limitMs);
}

long TIdIOHandlerSocket::ReceiveInto(char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  for (;;) {
    ssize_t n = recv(binding_->SocketId(), buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return Failed();
  }
}

long TIdIOHandlerSocket::SendFrom(const char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  const int fd = binding_->SocketId();
  for (;;) {
    int flags = MSG_NOSIGNAL;
    if (sendTimeout_ > 0) {
      // Without a limit the send may block for ever on a peer that stopped reading.
      int ready = PollFor(fd, POLLOUT, sendTimeout_);
      if (ready == 0) errno = ETIMEDOUT;
      if (ready <= 0) return Failed();
      flags |= MSG_DONTWAIT;
    }
    ssize_t n = send(fd, buffer, size, flags);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || (sendTimeout_ > 0 && errno == EAGAIN)) continue;
    return Failed();
  }
}

void TIdIOHandlerSocket::CloseBinding() {
  if (binding_) binding_->ReleaseSocket();
}

}  // namespace vornetta::smtp
