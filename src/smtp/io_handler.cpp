#include "smtp/io_handler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "smtp/exceptions.h"

namespace vornetta::smtp {
namespace {

TIdStack& Stack() { return *SocketStack(); }

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
  Stack().CheckSocketResult(rc == 0 ? 0 : FailedSocketCall(), {});
  ip_ = AddressText(address);
  port_ = PortOf(address);
  if (which == Addresses::Local) return;
  length = sizeof address;
  rc = getpeername(socketId_, reinterpret_cast<sockaddr*>(&address), &length);
  Stack().CheckSocketResult(rc == 0 ? 0 : FailedSocketCall(), {});
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
  if (Stack().CheckSocketResult(rc == 0 ? 0 : FailedSocketCall(), {kErrAddrInUse})) throw EIdCouldNotBindSocket();
  ReadAddresses(Addresses::Local);
}

int TIdSocketHandle::ConnectPeer(platform::TDeadline deadline, TIdWaitHook* hook) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!SocketAddress(remoteIp_, remotePort_, address, length)) {
    errno = EADDRNOTAVAIL;
    return FailedSocketCall();
  }
  const auto* peer = reinterpret_cast<const sockaddr*>(&address);

  int rc;
  if (deadline.Unbounded() && hook == nullptr) {
    rc = connect(socketId_, peer, length);
    if (rc != 0) return FailedSocketCall();
  } else {
    int flags = fcntl(socketId_, F_GETFL);
    fcntl(socketId_, F_SETFL, flags | O_NONBLOCK);
    rc = connect(socketId_, peer, length);
    if (rc != 0 && errno == EINPROGRESS) {
      // A cancelled attempt leaves the socket non-blocking; it is closed right after.
      int ready = PollFor(socketId_, POLLOUT, deadline, hook);
      int error = ETIMEDOUT;
      socklen_t length = sizeof error;
      if (ready > 0) getsockopt(socketId_, SOL_SOCKET, SO_ERROR, &error, &length);
      errno = error;
      rc = error == 0 ? 0 : -1;
    }
    int saved = errno;
    fcntl(socketId_, F_SETFL, flags);
    errno = saved;
    if (rc != 0) return FailedSocketCall();
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

void TIdIOHandlerSocket::PrepareBinding() {
  if (binding_)
    binding_->Reset();
  else
    binding_ = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, const std::string& boundIp,
                                   int boundPort, int timeout) {
  channel_.reset();
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
    const int rc =
        binding_->ConnectPeer(platform::TDeadline::After(std::chrono::milliseconds(timeout)).Earlier(deadline_),
                              WaitHook());
    // A failed address gives way to the next one; the last one's failure is reported.
    if (rc == 0 || i + 1 == addresses.size()) {
      Stack().CheckSocketResult(rc, {});
      break;
    }
  }
  channel_ = std::make_unique<TPlainChannel>(binding_->SocketId(), WaitHook());
  if (implicitTls_) StartTls(implicitOptions_);
}

void TIdIOHandlerSocket::SetImplicitTls(const TTlsOptions& options) {
  implicitTls_ = true;
  implicitOptions_ = options;
}

void TIdIOHandlerSocket::StartTls(const TTlsOptions& options) {
  if (!IsConnected()) throw EIdClosedSocket();
  try {
    channel_ = std::make_unique<TTlsChannel>(binding_->SocketId(), options, SendLimit().NextWait(), WaitHook());
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

bool TIdIOHandlerSocket::IsConnected() const { return channel_ && binding_ && binding_->IsAllocated(); }

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

bool TIdIOHandlerSocket::WaitReadable(platform::TDeadline deadline) {
  if (!IsConnected()) throw EIdConnClosedGracefully();
  return Guarded([&] { return channel_->WaitReadable(deadline); });
}

long TIdIOHandlerSocket::ReceiveInto(char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  return Guarded([&] { return channel_->Receive(buffer, size); });
}

long TIdIOHandlerSocket::SendFrom(const char* buffer, std::size_t size) {
  if (!IsConnected()) throw EIdClosedSocket();
  return Guarded([&] { return channel_->Send(buffer, size, SendLimit()); });
}

void TIdIOHandlerSocket::CloseBinding() {
  if (IsConnected()) channel_->Close();
  channel_.reset();
  if (binding_) binding_->ReleaseSocket();
}

}  // namespace vornetta::smtp
