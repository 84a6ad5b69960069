// The socket under a connection: one stream socket (TIdSocketHandle, IPv4 or
// IPv6) held by the I/O handler through which the line connection connects,
// waits, reads and writes. POSIX sockets; sends never raise SIGPIPE. The bytes
// go through the connection's byte channel: plain, or from STARTTLS (or the
// first byte) on encrypted, so the line connection above sees the same stream.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/deadline.h"
#include "smtp/byte_channel.h"
#include "smtp/socket_stack.h"
#include "smtp/tls_channel.h"
#include "smtp/wait_hook.h"

namespace vornetta::smtp {

// States: reset (no socket) -> allocated (CreateSocket) -> bound (BindLocal)
// -> connected (ConnectPeer) -> not allocated (ReleaseSocket). The destructor
// releases a socket still open. The accessors and setters throw nothing.
class TIdSocketHandle {
 public:
  TIdSocketHandle() = default;
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  int SocketId() const { return socketId_; }
  bool IsAllocated() const { return allocated_; }
  const std::string& IP() const { return ip_; }
  int Port() const { return port_; }
  const std::string& RemoteIP() const { return remoteIp_; }
  int RemotePort() const { return remotePort_; }
  void SetIP(std::string ip) { ip_ = std::move(ip); }
  void SetPort(int port) { port_ = port; }
  void SetRemoteIP(std::string ip) { remoteIp_ = std::move(ip); }
  void SetRemotePort(int port) { remotePort_ = port; }

  // Forgets the socket and the addresses without closing anything. Throws nothing.
  void Reset();

  // A stream socket of the family (AF_INET or AF_INET6).
  // Throws EIdInvalidSocket when the platform gives no socket.
  void CreateSocket(int family = AF_INET);
  int Family() const { return family_; }

  // Binds to IP (any when empty) and Port (platform's choice when 0), then reads
  // both back. Throws EIdCouldNotBindSocket when they are in use, else EIdSocketError.
  void BindLocal();

  // Connects to RemoteIP:RemotePort until the deadline (then failing with
  // 10060). Returns the platform result, -1 on failure. Throws platform::ECancelled
  // when the hook ends the wait, EIdSocketError when the connected socket's
  // addresses cannot be read.
  int ConnectPeer(platform::TDeadline deadline, TIdWaitHook* hook = nullptr);

  // Shuts down and closes the socket; a second call does nothing. Throws nothing.
  void ReleaseSocket();

 private:
  enum class Addresses { Local, LocalAndRemote };
  void ReadAddresses(Addresses which);

  int socketId_ = -1;
  int family_ = AF_INET;
  bool allocated_ = false;
  std::string ip_;
  int port_ = 0;
  std::string remoteIp_;
  int remotePort_ = 0;
};

// What a handler throws is said at TIdIOHandlerSocket, the one implementation;
// another must throw the same exceptions for the same failures.
class TIdIOHandler : public TIdComponent {
 public:
  virtual void PrepareBinding() = 0;
  virtual void ConnectTo(const std::string& host, int port, const std::string& boundIp, int boundPort,
                         int timeout) = 0;
  virtual bool IsConnected() const = 0;
  virtual bool WaitReadable(platform::TDeadline deadline) = 0;
  virtual long ReceiveInto(char* buffer, std::size_t size) = 0;
  virtual long SendFrom(const char* buffer, std::size_t size) = 0;
  virtual void CloseBinding() = 0;

  // Runs between the slices of every wait of this handler; null waits whole. Throws nothing.
  TIdWaitHook* WaitHook() const { return waitHook_; }
  void SetWaitHook(TIdWaitHook* hook) { waitHook_ = hook; }

 private:
  TIdWaitHook* waitHook_ = nullptr;
};

// A failure of the TLS layer (EIdTlsError) and a wait the hook ended
// (platform::ECancelled) close the socket before they leave. The accessors and
// setters throw nothing.
class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  void PrepareBinding() override;  // throws nothing
  // Tries each address of the host in the resolver's order until one connects,
  // each for `timeout` milliseconds (0 or below: no limit of its own); with
  // implicit TLS the handshake follows at once. Throws EIdInvalidSocket,
  // EIdCouldNotBindSocket, EIdSocketError (11001 for an unknown host, else the
  // last address's failure), platform::ECancelled, and with implicit TLS EIdTlsError.
  void ConnectTo(const std::string& host, int port, const std::string& boundIp, int boundPort,
                 int timeout) override;
  bool IsConnected() const override;  // throws nothing
  // Throws EIdConnClosedGracefully before any connection, EIdClosedSocket on a
  // broken TLS layer, EIdTlsError, platform::ECancelled.
  bool WaitReadable(platform::TDeadline deadline) override;
  // Bytes received, 0 when the peer closed, -1 on failure. Throws EIdClosedSocket
  // without a socket, EIdTlsError when the TLS layer fails.
  long ReceiveInto(char* buffer, std::size_t size) override;
  // Bytes sent, -1 on failure (10060: the peer took nothing in time). Throws
  // EIdClosedSocket without a socket, EIdTlsError, platform::ECancelled.
  long SendFrom(const char* buffer, std::size_t size) override;
  // Sends TLS's closing alert when encrypted, then closes the socket. Throws nothing.
  void CloseBinding() override;

  // TLS from the first byte on every following ConnectTo (port 465 servers).
  void SetImplicitTls(const TTlsOptions& options);
  // Encrypts the open connection now (after STARTTLS was accepted): the TLS
  // channel replaces the plain one. The handshake waits at most SendTimeout and
  // not beyond the deadline. Throws EIdClosedSocket when not connected,
  // EIdTlsError, EIdSocketError, platform::ECancelled; the socket is closed after a
  // failed handshake.
  void StartTls(const TTlsOptions& options);
  bool TlsActive() const { return Tls() != nullptr; }
  bool TlsVerified() const { return TlsActive() && Tls()->Verified(); }
  // The encrypted channel, null while plain.
  const TTlsChannel* Tls() const { return dynamic_cast<const TTlsChannel*>(channel_.get()); }
  // True when the connected peer is this machine (127.0.0.0/8, ::1, also as an
  // IPv4-mapped address). Throws nothing.
  bool PeerIsLoopback() const;

  TIdSocketHandle* Binding() const { return binding_.get(); }

  bool UseNagle() const { return useNagle_; }
  void SetUseNagle(bool useNagle) { useNagle_ = useNagle; }

  // Longest wait in milliseconds for the peer to take more bytes; 0 waits
  // without end. A send that cannot proceed fails with 10060.
  int SendTimeout() const { return sendTimeout_; }
  void SetSendTimeout(int ms) { sendTimeout_ = ms; }
  // No connect, handshake or send of this handler waits beyond it; unbounded by default.
  void SetDeadline(platform::TDeadline deadline) { deadline_ = deadline; }

 private:
  TSendLimit SendLimit() const { return {std::chrono::milliseconds(sendTimeout_), deadline_}; }
  template <typename Call>
  auto Guarded(Call call) -> decltype(call());

  std::unique_ptr<TIdSocketHandle> binding_;
  bool useNagle_ = true;
  int sendTimeout_ = 0;
  platform::TDeadline deadline_;
  bool implicitTls_ = false;
  TTlsOptions implicitOptions_;
  std::unique_ptr<TByteChannel> channel_;  // set while connected
};

}  // namespace vornetta::smtp
