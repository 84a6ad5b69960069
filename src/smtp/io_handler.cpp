#include "smtp/io_handler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <vector>

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

// The address text (dotted IPv4 or IPv6) with the port as a socket address;
// false when the text is neither.
bool SocketAddress(const std::string& text, int port, sockaddr_storage& address, socklen_t& length) {
  address = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(port));
    length = sizeof *v4;
    return true;
  }
  if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    length = sizeof *v6;
    return true;
  }
  return false;
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
  else
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
  return text;
}

int PortOf(const sockaddr_storage& address) {
  return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                                             : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

}  // namespace

// EINTR restarts the wait with the time that is left. With a hook the wait goes
// in slices and the hook runs after each one that passed without the event.
int PollFor(int fd, short events, int limitMs, TIdWaitHook* hook) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
  for (;;) {
    int wait = -1;
    if (limitMs >= 0) {
      // Rounded up, so the last wait does not stop short of the deadline.
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    const bool sliced = hook != nullptr && wait != 0;
    if (sliced) {
      const int slice = static_cast<int>(hook->WaitSlice().count());
      wait = wait < 0 ? slice : std::min(wait, slice);
    }
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, wait);
    if (rc < 0 && errno == EINTR) continue;
    if (rc != 0 || !sliced) return rc;
    if (!hook->PumpEvents()) throw platform::ECancelled("Versand abgebrochen.");
  }
}

TIdSocketHandle::~TIdSocketHandle() { ReleaseSocket(); }

void TIdSocketHandle::Reset() {
  allocated_ = false;
  socketId_ = -1;
  ip_.clear();
  remoteIp_.clear();
  port_ = 0;
  remotePort_ = 0;
}

void TIdSocketHandle::CreateSocket(int family) {
  ReleaseSocket();
  family_ = family;
  socketId_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socketId_ < 0) {
    socketId_ = -1;
    throw EIdInvalidSocket();
  }
  allocated_ = true;
}

void TIdSocketHandle::ReadAddresses(Addresses which) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  int rc = getsockname(socketId_, reinterpret_cast<sockaddr*>(&address), &length);
  Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {});
  ip_ = AddressText(address);
  port_ = PortOf(address);
  if (which == Addresses::Local) return;
  length = sizeof address;
  rc = getpeername(socketId_, reinterpret_cast<sockaddr*>(&address), &length);
  Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {});
  remoteIp_ = AddressText(address);
  remotePort_ = PortOf(address);
}

void TIdSocketHandle::BindLocal() {
  sockaddr_storage address{};
  socklen_t length = 0;
  const std::string any = family_ == AF_INET6 ? "::" : "0.0.0.0";
  if (!SocketAddress(ip_.empty() ? any : ip_, port_, address, length) || address.ss_family != family_) {
    SetLastPlatformSocketError(SocketErrorCodeOfErrno(EADDRNOTAVAIL));
    Stack().CheckSocketResult(-1, {});
  }
  int rc = bind(socketId_, reinterpret_cast<const sockaddr*>(&address), length);
  if (Stack().CheckSocketResult(rc == 0 ? 0 : Failed(), {kErrAddrInUse})) throw EIdCouldNotBindSocket();
  ReadAddresses(Addresses::Local);
}

int TIdSocketHandle::ConnectPeer(int timeoutMs, TIdWaitHook* hook) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!SocketAddress(remoteIp_, remotePort_, address, length)) {
    errno = EADDRNOTAVAIL;
    return Failed();
  }
  const auto* peer = reinterpret_cast<const sockaddr*>(&address);

  int rc;
  if (timeoutMs <= 0 && hook == nullptr) {
    rc = connect(socketId_, peer, length);
    if (rc != 0) return Failed();
  } else {
    int flags = fcntl(socketId_, F_GETFL);
    fcntl(socketId_, F_SETFL, flags | O_NONBLOCK);
    rc = connect(socketId_, peer, length);
    if (rc != 0 && errno == EINPROGRESS) {
      // A cancelled attempt leaves the socket non-blocking; it is closed right after.
      int ready = PollFor(socketId_, POLLOUT, timeoutMs > 0 ? timeoutMs : -1, hook);
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
  ReadAddresses(Addresses::LocalAndRemote);
  return 0;
}

void TIdSocketHandle::ReleaseSocket() {
  if (!allocated_) return;
  allocated_ = false;
  shutdown(socketId_, SHUT_WR);
  close(socketId_);
  socketId_ = -1;
}

bool TIdSocketHandle::WaitReadable(int limitMs, TIdWaitHook* hook) {
  if (!allocated_) throw EIdConnClosedGracefully();
  return PollFor(socketId_, POLLIN, limitMs, hook) == 1;
}

void TIdIOHandlerSocket::PrepareBinding() {
  if (binding_)
    binding_->Reset();
  else
    binding_ = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, const std::string& boundIp,
                                   int boundPort, int timeout) {
  tls_.reset();
  auto openSocket = [&](int family) {
    binding_->CreateSocket(family);
    binding_->SetIP(boundIp);
    binding_->SetPort(boundPort);
    binding_->BindLocal();
  };
  openSocket(AF_INET);
  const std::vector<std::string> addresses = Stack().LookupHostAddresses(host);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const int family = addresses[i].find(':') != std::string::npos ? AF_INET6 : AF_INET;
    if (i > 0 || family != binding_->Family()) openSocket(family);
    binding_->SetRemoteIP(addresses[i]);
    binding_->SetRemotePort(port);
    if (!useNagle_) {
      int on = 1;
      setsockopt(binding_->SocketId(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    const int rc = binding_->ConnectPeer(timeout, WaitHook());
    // A failed address gives way to the next one; the last one's failure is reported.
    if (rc == 0 || i + 1 == addresses.size()) {
      Stack().CheckSocketResult(rc, {});
      break;
    }
  }
  if (implicitTls_) StartTls(implicitOptions_);
}

void TIdIOHandlerSocket::SetImplicitTls(const TTlsOptions& options) {
  implicitTls_ = true;
  implicitOptions_ = options;
}

void TIdIOHandlerSocket::StartTls(const TTlsOptions& options) {
  if (!IsConnected()) throw EIdClosedSocket();
  tls_.reset();
  try {
    tls_ = std::make_unique<TTlsChannel>(binding_->SocketId(), options, sendTimeout_, WaitHook());
  } catch (...) {
    // Nothing more goes over a connection whose handshake failed, not even QUIT.
    CloseBinding();
    throw;
  }
}

// A broken TLS layer closes the socket, so that no later command is tried on it;
// so does a wait that the hook ended: the conversation ends at once, without QUIT.
template <typename Call>
auto TIdIOHandlerSocket::Guarded(Call call) -> decltype(call()) {
  try {
    return call();
  } catch (const EIdTlsError&) {
    CloseBinding();
    throw;
  } catch (const platform::ECancelled&) {
    CloseBinding();
    throw;
  }
}

bool TIdIOHandlerSocket::IsConnected() const { return binding_ && binding_->IsAllocated(); }

bool TIdIOHandlerSocket::PeerIsLoopback() const {
  if (!IsConnected()) return false;
  sockaddr_storage peer{};
  socklen_t size = sizeof peer;
  if (getpeername(binding_->SocketId(), reinterpret_cast<sockaddr*>(&peer), &size) != 0) return false;
  if (peer.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
    return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
  }
  if (peer.ss_family != AF_INET6) return false;
  const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
  return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

bool TIdIOHandlerSocket::WaitReadable(int limitMs) {
  if (!binding_) throw EIdConnClosedGracefully();
  if (tls_ && binding_->IsAllocated()) return Guarded([&] { return tls_->WaitReadable(limitMs); });
  return Guarded([&] { return binding_->WaitReadable(limitMs, WaitHook()); });
}

long TIdIOHandlerSocket::ReceiveInto(char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  if (tls_) return Guarded([&] { return tls_->Receive(buffer, size); });
  for (;;) {
    ssize_t n = recv(binding_->SocketId(), buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return Failed();
  }
}

long TIdIOHandlerSocket::SendFrom(const char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  if (tls_) return Guarded([&] { return tls_->Send(buffer, size, sendTimeout_); });
  return Guarded([&] { return SendPlain(buffer, size); });
}

long TIdIOHandlerSocket::SendPlain(const char* buffer, std::size_t size) {
  const int fd = binding_->SocketId();
  const bool waitFirst = sendTimeout_ > 0 || WaitHook() != nullptr;
  for (;;) {
    int flags = MSG_NOSIGNAL;
    if (waitFirst) {
      // Without a limit the send may block for ever on a peer that stopped reading.
      int ready = PollFor(fd, POLLOUT, sendTimeout_ > 0 ? sendTimeout_ : -1, WaitHook());
      if (ready == 0) errno = ETIMEDOUT;
      if (ready <= 0) return Failed();
      flags |= MSG_DONTWAIT;
    }
    ssize_t n = send(fd, buffer, size, flags);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || (waitFirst && errno == EAGAIN)) continue;
    return Failed();
  }
}

void TIdIOHandlerSocket::CloseBinding() {
  if (tls_ && binding_ && binding_->IsAllocated()) tls_->Close();
  tls_.reset();
  if (binding_) binding_->ReleaseSocket();
}

}  // namespace vornetta::smtp
