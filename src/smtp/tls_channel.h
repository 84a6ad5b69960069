// TLS over one connected socket with OpenSSL: the handshake (TLS 1.2 or newer,
// SNI, certificate chain and host name checked), then plain bytes in and out.
// Every wait goes through the transport's socket wait and has the caller's limit.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "smtp/byte_channel.h"

struct ssl_st;
struct ssl_ctx_st;

namespace vornetta::smtp {

struct SocketState;

struct TTlsOptions {
  // The host name or address the certificate must name; a name is also sent as SNI.
  std::string PeerName;
  // PEM file of trusted certificates instead of the system store. One
  // self-signed server certificate in it pins that server (partial chains count).
  std::string CaFile;
  // An unverified certificate ends the handshake with an error; else the
  // connection stays encrypted and Verified() says false.
  bool RequireVerified = true;
};

class TTlsChannel : public TByteChannel {
 public:
  // Handshakes on the connected socket, which becomes non-blocking, within the
  // deadline. Throws EIdTlsError (handshake, certificate, CA file),
  // EIdSocketError for a failing socket, platform::ECancelled.
  TTlsChannel(int fd, const TTlsOptions& options, platform::TDeadline handshake, TIdWaitHook* hook = nullptr);
  ~TTlsChannel() override;
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  bool Verified() const { return verified_; }  // throws nothing
  // The protocol version ("TLSv1.3") and the server certificate's subject
  // ("CN=mail.example.com"), empty when there is none. Throw nothing.
  std::string Version() const;
  std::string PeerSubject() const;

  // Ready once plain bytes are decrypted, or the peer closed, or the connection failed.
  bool WaitReadable(platform::TDeadline deadline) override;
  long Receive(char* buffer, std::size_t size) override;
  long Send(const char* buffer, std::size_t size, const TSendLimit& limit) override;
  // The closing alert; nothing after a failure.
  void Close() noexcept override;

 private:
  enum class Ending { None, Closed, SocketFailed };
  // The steps of the constructor, in this order.
  void MakeContext(const std::string& caFile);
  void MakeSessionVerifyingPeer();
  void AttachSocket();
  void Handshake(platform::TDeadline deadline, bool requireVerified);
  // Waits for the socket as OpenSSL asked; false when the deadline passed.
  bool WaitFor(int sslError, platform::TDeadline deadline);
  // Throws EIdTlsError: the lead, OpenSSL's reason in German (or `unknown`
  // without one), the server and what to check (smtp/tls_reasons.h).
  [[noreturn]] void Fail(const char* lead, const char* unknown = "kein Grund genannt");

  struct FreeContext {
    void operator()(ssl_ctx_st* context) const;
  };
  struct FreeSsl {
    void operator()(ssl_st* ssl) const;
  };

  int fd_;
  std::unique_ptr<SocketState> socketState_;  // read by the BIO; outlives ssl_ (declared before it)
  TIdWaitHook* hook_;
  std::string peerName_;
  std::unique_ptr<ssl_ctx_st, FreeContext> context_;
  std::unique_ptr<ssl_st, FreeSsl> ssl_;
  bool verified_ = false;
  bool broken_ = false;
  Ending ending_ = Ending::None;
  int socketError_ = 0;
  std::string plain_;  // decrypted bytes not yet handed out
  std::size_t plainOffset_ = 0;
};

}  // namespace vornetta::smtp
