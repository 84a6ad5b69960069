// The process-wide socket stack: name resolution, the local host name and the
// mapping of platform errors onto the numbered German socket messages. Every
// TIdComponent keeps the one stack alive; it goes when the last one goes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vornetta::smtp {

class TIdStack;

// Base of every socket-using object (connections, I/O handlers). Construction
// and destruction count the users of the stack under one process-wide lock;
// neither throws.
class TIdComponent {
 public:
  TIdComponent();
  virtual ~TIdComponent();
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;
};

// The functions up to TIdStack throw nothing.
// The stack while at least one TIdComponent lives, else nullptr.
TIdStack* SocketStack();

// Number of live TIdComponent objects.
int StackUsers();

// The socket error numbers of the message table (Windows Sockets numbering).
inline constexpr int kErrInterrupted = 10004;
inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrNetDown = 10050;
inline constexpr int kErrNetUnreachable = 10051;
inline constexpr int kErrConnAborted = 10053;
inline constexpr int kErrConnReset = 10054;
inline constexpr int kErrShutdown = 10058;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnRefused = 10061;
inline constexpr int kErrHostDown = 10064;
inline constexpr int kErrHostUnreachable = 10065;
inline constexpr int kErrAddrInUse = 10048;
inline constexpr int kErrHostNotFound = 11001;

// True for the errors a later connection may not meet: the network or the host
// down or unreachable, the connection refused, timed out, reset, aborted or shut
// down. Throws nothing.
constexpr bool IsTransientSocketError(int code) {
  switch (code) {
    case kErrNetDown:
    case kErrNetUnreachable:
    case kErrConnAborted:
    case kErrConnReset:
    case kErrShutdown:
    case kErrTimedOut:
    case kErrConnRefused:
    case kErrHostDown:
    case kErrHostUnreachable:
      return true;
    default:
      return false;
  }
}

// errno onto the table's numbers; an errno without a counterpart keeps its own value.
int SocketErrorCodeOfErrno(int errnoValue);

// A getaddrinfo result onto the table's numbers: a name that does not resolve, for
// whatever reason the resolver gives, is 11001.
int SocketErrorCodeOfResolver(int eaiValue, int errnoValue);

// The platform's last socket error, as set by the socket calls of this thread.
int LastPlatformSocketError();
void SetLastPlatformSocketError(int code);

class TIdStack {
 public:
  // Dotted IPv4 address of a host: "localhost" (any case) and dotted quads
  // without a lookup, else the resolver's first IPv4 address.
  // Throws EIdSocketError (11001 when the host is not found).
  std::string LookupHost(const std::string& host);

  // Every address to try for a host, in the resolver's order, IPv4 and IPv6:
  // "localhost" (any case) and dotted quads as LookupHost gives them, else the
  // resolver's answer ("::1" and other IPv6 texts included). Throws like LookupHost.
  std::vector<std::string> LookupHostAddresses(const std::string& host);

  // Four parts of 0..255 separated by dots. Throws nothing.
  static bool IsDottedQuad(std::string_view text);

  // The name the platform gives this host. Throws nothing.
  std::string LocalHostName();

  // False when result is not -1. Otherwise records LastSocketError and returns
  // true when it is tolerated; any other code throws EIdSocketError.
  bool CheckSocketResult(int result, std::initializer_list<int> tolerated);

  // Throws EIdSocketError with the code and its table text (whole in UTF-8 as well), always.
  [[noreturn]] static void RaiseSocketFailure(int code);

  // "Socket-Fehler # <code>" CR LF and the table text (empty for an unknown code).
  // The one place where error numbers become messages. Throws nothing.
  static std::string SocketErrorText(int code);

  int LastSocketError() const { return lastSocketError_; }

 private:
  // The resolver's addresses of the family (AF_INET, AF_UNSPEC) as texts, each once.
  std::vector<std::string> Resolve(const std::string& host, int family);

  int lastSocketError_ = 0;
};

}  // namespace vornetta::smtp
