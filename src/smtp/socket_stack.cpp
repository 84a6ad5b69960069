#include "smtp/socket_stack.h"

#include <netdb.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/code_page.h"
#include "platform/host.h"
#include "platform/text.h"
#include "smtp/exceptions.h"

namespace vornetta::smtp {
namespace {

std::mutex stackLock;
int stackUsers = 0;
std::unique_ptr<TIdStack> stackInstance;
std::atomic<TIdStack*> stackPointer{nullptr};

// Like the platform's per-thread last error: set by the failing call, read by
// CheckSocketResult right after it.
thread_local int lastPlatformError = 0;

struct ErrorText {
  int code;
  const char* text;  // UTF-8
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Unterbrochener Systemaufruf."},
    {10009, "Falsche Dateinummer."},
    {10013, "Zugriff verweigert."},
    {10014, "Falsche Adresse."},
    {10022, "Ungültiges Argument."},
    {10024, "Zu viele geöffnete Dateien."},
    {10035, "Die Operation würde blockieren. "},
    {10036, "Die Operation wird gerade durchgeführt."},
    {10037, "Die Operation wird bereits durchgeführt."},
    {10038, "Socket-Operation auf Nicht-Socket."},
    {10039, "Zieladresse erforderlich."},
    {10040, "Die Botschaft ist zu lang."},
    {10041, "Das Protokoll hat für Socket den falschen Typ."},
    {10042, "Falsche Protokolloption."},
    {10043, "Das Protokoll wird nicht unterstützt."},
    {10044, "Sockettyp wird nicht unterstützt."},
    {10045, "Die Operation wird bei Socket nicht unterstützt."},
    {10046, "Die Protokollfamilie wird nicht unterstützt."},
    {10047, "Die Adressfamilie wird von der Protokollfamilie nicht unterstützt."},
    {10048, "Die Adresse ist bereits in Gebrauch."},
    {10049, "Die angeforderte Adresse kann nicht zugewiesen werden."},
    {10050, "Das Netzwerk ist ausgefallen."},
    {10051, "Das Netzwerk ist nicht erreichbar."},
    {10052, "Netz hat die Verbindung verloren oder zurückgesetzt."},
    {10053, "Die Software hat den Abbruch der Verbindung verursacht."},
    {10054, "Die Verbindung wurde von Peer zurückgesetzt."},
    {10055, "Es ist kein Pufferplatz verfügbar."},
    {10056, "Socket ist bereits verbunden."},
    {10057, "Socket ist nicht verbunden."},
    {10058, "Nach Schließen des Socket kann weder gesendet noch empfangen werden."},
    {10059, "Zu viele Referenzen; keine Verbindungen möglich."},
    {10060, "Zeitüberschreitung bei Verbindung."},
    {10061, "Verbindung abgelehnt."},
    {10062, "Zu viele Ebenen von symbolischen Links."},
    {10063, "Dateiname ist zu lang."},
    {10064, "Der Host ist ausgefallen."},
    {10065, "Keine Route zum Host."},
    {10066, "Verzeichnis ist nicht leer"},
    {11001, "Host nicht gefunden."},
};

// "localhost" in any letter case: 127.0.0.1 without asking the resolver.
bool IsLocalhostName(const std::string& host) { return platform::EqualsNoCase(host, "localhost"); }

}  // namespace

TIdComponent::TIdComponent() {
  std::lock_guard lock(stackLock);
  if (stackUsers++ == 0) {
    stackInstance = std::make_unique<TIdStack>();
    stackPointer = stackInstance.get();
  }
}

TIdComponent::~TIdComponent() {
  std::lock_guard lock(stackLock);
  if (--stackUsers == 0) {
    stackPointer = nullptr;
    stackInstance.reset();
  }
}

TIdStack* SocketStack() { return stackPointer.load(); }

int StackUsers() {
  std::lock_guard lock(stackLock);
  return stackUsers;
}

int SocketErrorCodeOfErrno(int e) {
  switch (e) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return kErrWouldBlock;  // EWOULDBLOCK is the same value on Linux
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return kErrAddrInUse;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return kErrConnAborted;
    case ECONNRESET: return kErrConnReset;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE: case ESHUTDOWN: return kErrShutdown;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return kErrTimedOut;
    case ECONNREFUSED: return kErrConnRefused;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return e;
  }
}

int SocketErrorCodeOfResolver(int eai, int errnoValue) {
  switch (eai) {
    case EAI_SYSTEM: return SocketErrorCodeOfErrno(errnoValue);
    case EAI_MEMORY: return 10055;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SERVICE: case EAI_BADFLAGS: return 10022;
    // EAI_NONAME, EAI_NODATA, EAI_AGAIN, EAI_FAIL, EAI_ADDRFAMILY: the name gave no address.
    default: return kErrHostNotFound;
  }
}

int LastPlatformSocketError() { return lastPlatformError; }
void SetLastPlatformSocketError(int code) { lastPlatformError = code; }

std::string TIdStack::SocketErrorText(int code) {
  std::string text;
  for (const ErrorText& entry : kErrorTexts)
    if (entry.code == code) text = entry.text;
  return "Socket-Fehler # " + platform::DecimalText(code) + "\r\n" + text;
}

void TIdStack::RaiseSocketFailure(int code) {
  throw EIdSocketError(code, SocketErrorText(code));
}

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> tolerated) {
  if (result != -1) return false;
  lastSocketError_ = LastPlatformSocketError();
  for (int code : tolerated)
    if (code == lastSocketError_) return true;
  RaiseSocketFailure(lastSocketError_);
}

bool TIdStack::IsDottedQuad(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    std::string_view piece = text;
    if (part < 3) {
      size_t dot = text.find('.');
      piece = text.substr(0, dot);
      text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    const std::optional<int> value = platform::ParseInteger<int>(piece);
    if (!value || *value < 0 || *value > 255) return false;
  }
  return true;
}

std::string TIdStack::LookupHost(const std::string& host) {
  if (IsLocalhostName(host)) return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  return Resolve(host, AF_INET).front();
}

std::vector<std::string> TIdStack::LookupHostAddresses(const std::string& host) {
  if (IsLocalhostName(host) || IsDottedQuad(host)) return {LookupHost(host)};
  return Resolve(host, AF_UNSPEC);
}

std::vector<std::string> TIdStack::Resolve(const std::string& host, int family) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  errno = 0;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    SetLastPlatformSocketError(SocketErrorCodeOfResolver(rc != 0 ? rc : EAI_NONAME, errno));
    CheckSocketResult(-1, {});
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, &freeaddrinfo);
  std::vector<std::string> addresses;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    if (entry->ai_family == AF_INET)
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, text, sizeof text);
    else if (entry->ai_family == AF_INET6)
      inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr, text, sizeof text);
    else
      continue;
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.emplace_back(text);
  }
  if (addresses.empty()) {
    SetLastPlatformSocketError(kErrHostNotFound);
    CheckSocketResult(-1, {});
  }
  return addresses;
}

std::string TIdStack::LocalHostName() { return platform::HostName(); }

}  // namespace vornetta::smtp
