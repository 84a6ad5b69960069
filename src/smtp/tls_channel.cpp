#include "smtp/tls_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/code_page.h"
#include "smtp/exceptions.h"
#include "smtp/socket_stack.h"
#include "smtp/tls_reasons.h"

namespace vornetta::smtp {

// The socket under OpenSSL's reads and writes.
struct SocketState {
  int fd;
  // The peer ended the byte stream: OpenSSL asks before it calls a missing
  // closing alert an ordinary end of the connection.
  bool eof = false;
};

namespace {

// The leads in front of every message of the library.
constexpr char kSetupFailed[] = "TLS-Einrichtung fehlgeschlagen: ";
constexpr char kHandshakeFailed[] = "TLS-Aushandlung fehlgeschlagen: ";
constexpr char kConnectionBroken[] = "TLS-Verbindung gestört: ";

// OpenSSL's reason for the last failure, or nothing; the queue is emptied so
// that a later call does not report an old failure.
std::string LibraryReason() {
  unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  if (code == 0) return {};
  const char* reason = ERR_reason_error_string(code);
  return reason ? reason : std::string();
}

bool IsAddress(const std::string& name) {
  unsigned char bytes[sizeof(in6_addr)];
  return inet_pton(AF_INET, name.c_str(), bytes) == 1 || inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

// The socket under OpenSSL. Its own socket BIO writes without MSG_NOSIGNAL, and
// a peer gone away would end the program with SIGPIPE; this one never raises it.
SocketState& StateOf(BIO* bio) { return *static_cast<SocketState*>(BIO_get_data(bio)); }
int SocketOf(BIO* bio) { return StateOf(bio).fd; }

int SocketWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = send(SocketOf(bio), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) BIO_set_retry_write(bio);
    return -1;
  }
}

int SocketRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  for (;;) {
    const ssize_t n = recv(SocketOf(bio), data, static_cast<std::size_t>(size), 0);
    if (n == 0 && size > 0) StateOf(bio).eof = true;
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) BIO_set_retry_read(bio);
    return -1;
  }
}

long SocketControl(BIO* bio, int command, long, void*) {
  if (command == BIO_CTRL_FLUSH) return 1;
  if (command == BIO_CTRL_EOF) return StateOf(bio).eof ? 1 : 0;
  return 0;
}

int SocketCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

// Made once; lives as long as the program.
BIO_METHOD* SocketMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "socket");
    BIO_meth_set_write(m, SocketWrite);
    BIO_meth_set_read(m, SocketRead);
    BIO_meth_set_ctrl(m, SocketControl);
    BIO_meth_set_create(m, SocketCreate);
    return m;
  }();
  return method;
}

}  // namespace

TTlsChannel::TTlsChannel(int fd, const TTlsOptions& options, platform::TDeadline handshake, TIdWaitHook* hook)
    : fd_(fd), hook_(hook), peerName_(options.PeerName) {
  ERR_clear_error();
  MakeContext(options.CaFile);
  MakeSessionVerifyingPeer();
  AttachSocket();
  Handshake(handshake, options.RequireVerified);
}

void TTlsChannel::MakeContext(const std::string& caFile) {
  context_.reset(SSL_CTX_new(TLS_client_method()));
  if (!context_) Fail(kSetupFailed);
  SSL_CTX_set_min_proto_version(context_.get(), TLS1_2_VERSION);
  // A peer that drops the connection without the closing alert ends it like plain TCP would.
  SSL_CTX_set_options(context_.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(context_.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (caFile.empty()) {
    SSL_CTX_set_default_verify_paths(context_.get());
  } else if (SSL_CTX_load_verify_locations(context_.get(), caFile.c_str(), nullptr) != 1) {
    ERR_clear_error();
    throw EIdTlsError(std::string(kHandshakeFailed) + "Zertifikatsdatei " + caFile +
                      " kann nicht gelesen werden (Zertifikate, Einstellung zertifikate)");
  }
  // Verification runs in any case; its result is judged after the handshake so
  // that a relay without a trusted certificate can still be used encrypted.
  SSL_CTX_set_verify(context_.get(), SSL_VERIFY_NONE, nullptr);
}

// The certificate must name the peer: an address as such, a name also sent as SNI.
void TTlsChannel::MakeSessionVerifyingPeer() {
  ssl_.reset(SSL_new(context_.get()));
  if (!ssl_) Fail(kSetupFailed);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl_.get());
  X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
  if (IsAddress(peerName_)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, peerName_.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    X509_VERIFY_PARAM_set1_host(param, peerName_.c_str(), 0);
    SSL_set_tlsext_host_name(ssl_.get(), peerName_.c_str());
  }
}

void TTlsChannel::AttachSocket() {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  BIO* socket = BIO_new(SocketMethod());
  if (!socket) Fail(kSetupFailed);
  socketState_ = std::make_unique<SocketState>(SocketState{fd_});
  BIO_set_data(socket, socketState_.get());
  SSL_set_bio(ssl_.get(), socket, socket);
}

void TTlsChannel::Handshake(platform::TDeadline deadline, bool requireVerified) {
  for (;;) {
    int rc = SSL_connect(ssl_.get());
    if (rc == 1) break;
    int error = SSL_get_error(ssl_.get(), rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (!WaitFor(error, deadline)) {
        broken_ = true;
        ERR_clear_error();
        throw EIdTlsError(std::string(kHandshakeFailed) +
                          TlsReasonText("", peerName_, "Zeitüberschreitung, der Server antwortet nicht"));
      }
      continue;
    }
    if (error == SSL_ERROR_SYSCALL && errno != 0) {
      const int code = SocketErrorCodeOfErrno(errno);
      broken_ = true;
      TIdStack::RaiseSocketFailure(code);
    }
    // A peer that hangs up in the middle of the handshake leaves OpenSSL without a reason.
    Fail(kHandshakeFailed, "der Server hat die Verbindung während der Aushandlung beendet");
  }
  const long result = SSL_get_verify_result(ssl_.get());
  verified_ = SSL_get0_peer_certificate(ssl_.get()) != nullptr && result == X509_V_OK;
  if (!verified_ && requireVerified) {
    broken_ = true;  // no closing alert: the peer is not trusted with anything
    const long shown = SSL_get0_peer_certificate(ssl_.get()) ? result : X509_V_ERR_UNSPECIFIED;
    throw EIdTlsError(std::string(kHandshakeFailed) +
                      TlsReasonText(X509_verify_cert_error_string(shown), peerName_, "Zertifikat nicht prüfbar"));
  }
}

TTlsChannel::~TTlsChannel() = default;

void TTlsChannel::FreeContext::operator()(ssl_ctx_st* context) const { SSL_CTX_free(context); }
void TTlsChannel::FreeSsl::operator()(ssl_st* ssl) const { SSL_free(ssl); }

void TTlsChannel::Fail(const char* lead, const char* unknown) {
  broken_ = true;
  throw EIdTlsError(lead + TlsReasonText(LibraryReason(), peerName_, unknown));
}

bool TTlsChannel::WaitFor(int sslError, platform::TDeadline deadline) {
  const short events = sslError == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
  return PollFor(fd_, events, deadline, hook_) > 0;
}

bool TTlsChannel::WaitReadable(platform::TDeadline deadline) {
  for (;;) {
    if (plainOffset_ < plain_.size() || ending_ != Ending::None) return true;
    if (broken_) throw EIdClosedSocket();
    char chunk[16384];
    std::size_t n = 0;
    errno = 0;
    int rc = SSL_read_ex(ssl_.get(), chunk, sizeof chunk, &n);
    if (rc == 1) {
      plain_.assign(chunk, n);
      plainOffset_ = 0;
      return true;
    }
    int error = SSL_get_error(ssl_.get(), rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (!WaitFor(error, deadline)) return false;
      continue;
    }
    if (error == SSL_ERROR_ZERO_RETURN) {
      ending_ = Ending::Closed;
    } else if (error == SSL_ERROR_SYSCALL && errno != 0) {
      ending_ = Ending::SocketFailed;
      socketError_ = SocketErrorCodeOfErrno(errno);
      broken_ = true;
    } else {
      Fail(kConnectionBroken);
    }
  }
}

long TTlsChannel::Receive(char* buffer, std::size_t size) {
  if (!WaitReadable(platform::TDeadline())) return 0;
  if (plainOffset_ < plain_.size()) {
    const std::size_t n = std::min(size, plain_.size() - plainOffset_);
    std::memcpy(buffer, plain_.data() + plainOffset_, n);
    plainOffset_ += n;
    return static_cast<long>(n);
  }
  if (ending_ == Ending::Closed) return 0;
  SetLastPlatformSocketError(socketError_);
  return -1;
}

long TTlsChannel::Send(const char* buffer, std::size_t size, const TSendLimit& limit) {
  if (broken_) throw EIdClosedSocket();
  std::size_t sent = 0;
  while (sent < size) {
    std::size_t n = 0;
    errno = 0;
    int rc = SSL_write_ex(ssl_.get(), buffer + sent, size - sent, &n);
    if (rc == 1) {
      sent += n;
      continue;
    }
    int error = SSL_get_error(ssl_.get(), rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (WaitFor(error, limit.NextWait())) continue;
      // A peer that stopped reading: the same failure as on a plain socket.
      broken_ = true;
      SetLastPlatformSocketError(kErrTimedOut);
      return -1;
    }
    if (error == SSL_ERROR_SYSCALL && errno != 0) {
      broken_ = true;
      SetLastPlatformSocketError(SocketErrorCodeOfErrno(errno));
      return -1;
    }
    Fail(kConnectionBroken);
  }
  return static_cast<long>(size);
}

void TTlsChannel::Close() noexcept {
  if (broken_ || !ssl_) return;
  broken_ = true;
  SSL_shutdown(ssl_.get());
  ERR_clear_error();
}

std::string TTlsChannel::Version() const { return SSL_get_version(ssl_.get()); }

std::string TTlsChannel::PeerSubject() const {
  const X509* certificate = SSL_get0_peer_certificate(ssl_.get());
  if (certificate == nullptr) return {};
  BIO* text = BIO_new(BIO_s_mem());
  if (text == nullptr) return {};
  X509_NAME_print_ex(text, X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253);
  char* data = nullptr;
  const long size = BIO_get_mem_data(text, &data);
  std::string subject(data, size > 0 ? static_cast<std::size_t>(size) : 0);
  BIO_free(text);
  return subject;
}

}  // namespace vornetta::smtp
