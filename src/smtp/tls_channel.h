// TLS over one connected socket with OpenSSL: the handshake (TLS 1.2 or newer,
// SNI, certificate chain and host name checked), then plain bytes in and out.
// Every wait goes through the I/O handler's socket wait and has the caller's limit.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace vornetta::smtp {

class TIdWaitHook;
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

class TTlsChannel {
 public:
  // Handshakes on the connected socket, which becomes non-blocking. Each wait
  // lasts at most limitMs (0 or below: no limit). Throws EIdTlsError (handshake,
  // certificate, CA file), EIdSocketError for a failing socket. Every wait of the
  // channel runs `hook` between its slices (null: whole waits).
  TTlsChannel(int fd, const TTlsOptions& options, int limitMs, TIdWaitHook* hook = nullptr);
  ~TTlsChannel();
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  bool Verified() const { return verified_; }  // throws nothing
  // The protocol version ("TLSv1.3") and the server certificate's subject
  // ("CN=mail.example.com"), empty when there is none. Throw nothing.
  std::string Version() const;
  std::string PeerSubject() const;

  // True when Receive will not wait: plain bytes are decrypted, or the peer
  // closed, or the connection failed. False when the limit passed first.
  // Throws EIdClosedSocket after a failure, EIdTlsError, platform::ECancelled.
  bool WaitReadable(int limitMs);
  // Plain bytes received, 0 when the peer closed, -1 for a failed socket (the
  // platform error recorded). Throws EIdTlsError when the TLS layer fails.
  long Receive(char* buffer, std::size_t size);
  // Writes all bytes; returns size, or -1 for a failed socket or a peer that
  // took nothing within limitMs (10060). Throws EIdClosedSocket after a failure,
  // EIdTlsError when TLS fails, platform::ECancelled.
  long Send(const char* buffer, std::size_t size, int limitMs);
  // Sends the closing alert without waiting for the peer's; nothing after a
  // failure. Throws nothing.
  void Close();

 private:
  enum class Ending { None, Closed, SocketFailed };
  // Waits for the socket as OpenSSL asked; false when the limit passed.
  bool WaitFor(int sslError, int limitMs);
  [[noreturn]] void Fail(const char* what);  // UTF-8

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
