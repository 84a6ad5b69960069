#include "smtp/smtp.h"

#include <algorithm>
#include <chrono>

#include "message/address_check.h"
#include "message/header_encoding.h"
#include "platform/code_page.h"
#include "platform/safe_text.h"
#include "platform/text.h"
#include "smtp/exceptions.h"
#include "smtp/login_advice.h"

namespace vornetta::smtp {
namespace {

// RFC 4954: a command line with its initial response stays within 512 octets.
constexpr std::size_t kMaxAuthLine = 512;

// The refusal with the German advice in front of the server's text, when the table has one.
EIdProtocolReplyError WithLoginAdvice(const EIdProtocolReplyError& refusal, const std::vector<std::string>& text) {
  const std::string advice = LoginAdvice(refusal.ReplyCode(), text);
  if (advice.empty()) return refusal;
  return EIdProtocolReplyError(refusal.ReplyCode(), advice + "\r\n" + refusal.what());
}

// Counts the bytes of a message as the socket would get them, holding none of them.
class TByteCounter final : public message::TIdLineWriter {
 public:
  void SendLine(std::string_view line) override { bytes += line.size() + 2; }
  std::size_t bytes = 0;
};

// The status line takes a new share at most this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

}  // namespace

TIdSMTP::TIdSMTP() { SetPort(25); }

void TIdSMTP::SetAuthenticationType(TAuthenticationType type) {
  authenticationType_ = type;
  if (type != atNone) useEhlo_ = true;
}

void TIdSMTP::SetUseEhlo(bool useEhlo) {
  useEhlo_ = useEhlo;
  if (!useEhlo) authenticationType_ = atNone;
}

void TIdSMTP::Phase(const std::string& text) const noexcept {
  if (WaitHook() != nullptr) WaitHook()->PhaseStarted(text);
}

void TIdSMTP::OpenSession(int timeout) {
  Phase("Verbinde mit " + ServerName() + " …");
  if (encryption_ == TEncryption::Implicit) {
    if (IOHandler() == nullptr) AdoptIOHandler(std::make_unique<TIdIOHandlerSocket>());
    SocketHandler().SetImplicitTls(TlsOptions());
  }
  OpenConnection(timeout);
  try {
    Phase("Warte auf Begrüßung …");
    ReadGreeting();
    const std::string name = heloName_.empty() ? Stack().LocalHostName() : heloName_;
    Introduce(name);
    if (encryption_ == TEncryption::Auto || encryption_ == TEncryption::StartTls) {
      if (offered_.startTls)
        StartTls(name);
      else if (encryption_ == TEncryption::StartTls)
        throw EIdTlsError("Server bietet kein STARTTLS an (Verschlüsselung, Einstellung verschluesselung)");
    }
    CheckLoginProtection();
    phase_ = TSmtpPhase::Open;
  } catch (...) {
    // The failure of the session is the one to report, not a QUIT that failed after it.
    try {
      CloseSession();
    } catch (...) {
    }
    throw;
  }
}

std::string TIdSMTP::ServerName() const { return Host() + ":" + std::to_string(Port()); }

void TIdSMTP::ReadGreeting() {
  greeting_.clear();
  const std::chrono::milliseconds limit = WaitHook() != nullptr ? WaitHook()->GreetingLimit() : std::chrono::milliseconds();
  const int replyLimit = ReplyTimeout();
  struct TLimitScope {
    TIdSMTP& smtp;
    int replyLimit;
    ~TLimitScope() { smtp.SetReplyTimeout(replyLimit); }
  } scope{*this, replyLimit};
  if (limit.count() > 0 && limit.count() < replyLimit) SetReplyTimeout(static_cast<int>(limit.count()));
  // A port that expects TLS from the first byte stays silent to a plain client,
  // and a plain port answers a TLS client with lines it cannot read.
  const std::string check =
      " – Port und Verschlüsselung prüfen (SMTP Server und Verschlüsselung, Einstellungen smtpserver und "
      "verschluesselung)";
  try {
    ReadReply({220});
  } catch (const EIdReadTimeout&) {
    throw EIdReadTimeout("Zeitüberschreitung beim Warten auf die Begrüßung von " + ServerName() +
                         " – Server antwortet nicht" + check);
  } catch (const EIdProtocolReplyError& failure) {
    if (failure.ReplyCode() != 0) throw;
    throw EIdProtocolReplyError(0, "Unverständliche Begrüßung von " + ServerName() + check + "\r\n" + failure.what());
  }
  greeting_ = LastReply().Text();
}

void TIdSMTP::WriteMessageWithProgress(const message::TIdMessage& msg) {
  if (WaitHook() == nullptr || !WaitHook()->ShowsProgress()) {
    Phase("Sende Bericht …");
    messageBytes_ = WriteMessage(msg);
    return;
  }
  TByteCounter counter;
  message::WriteMessage(counter, msg);
  const std::size_t total = std::max<std::size_t>(counter.bytes, 1);
  auto shown = std::chrono::steady_clock::now();
  auto share = [&](std::size_t sent) {
    return "Sende Bericht (" + std::to_string(std::min<std::size_t>(sent, total) * 100 / total) + " %) …";
  };
  Phase(share(0));
  messageBytes_ = WriteMessage(msg, message::TMessageParts::HeaderAndBody, [&](std::size_t sent) {
    const auto now = std::chrono::steady_clock::now();
    if (now - shown < kProgressInterval) return;
    shown = now;
    Phase(share(sent));
  });
  Phase(share(total));  // what is left is the server's answer
}

// A stripped STARTTLS line must not make the login go out in clear: only a
// server on this machine sees one unencrypted, and an access token never.
void TIdSMTP::CheckLoginProtection() const {
  if (authenticationType_ == atNone || TlsActive()) return;
  if (authenticationType_ == atOAuth2) {
    if (encryption_ == TEncryption::None)
      throw EIdTlsError(
          "OAuth2-Anmeldung nur verschlüsselt: ohne Verschlüsselung wird das Token nie gesendet; "
          "Automatisch, STARTTLS oder SSL/TLS wählen (Verschlüsselung, Einstellung verschluesselung)");
    throw EIdTlsError(
        "Server bietet kein STARTTLS an – OAuth2-Anmeldung nur verschlüsselt (Verschlüsselung, Einstellung "
        "verschluesselung)");
  }
  if (encryption_ != TEncryption::Auto) return;
  const auto* handler = dynamic_cast<const TIdIOHandlerSocket*>(IOHandler());
  if (handler != nullptr && handler->PeerIsLoopback()) return;
  throw EIdTlsError(
      "Server bietet kein STARTTLS an – Anmeldung nur verschlüsselt; für eine unverschlüsselte Anmeldung "
      "\"keine\" wählen (Verschlüsselung, Einstellung verschluesselung)");
}

// EHLO, or HELO when EHLO is off or refused; only what this reply announces counts.
void TIdSMTP::Introduce(const std::string& name) {
  offered_ = {};
  if (!useEhlo_ || !Ehlo(name)) Helo(name);
}

// True when the server answered 250; any other code means: try HELO.
bool TIdSMTP::Ehlo(const std::string& name) {
  if (Command("EHLO " + name, {}, "die Antwort auf EHLO") != 250) return false;
  CollectAuthMechanisms();
  return true;
}

void TIdSMTP::Helo(const std::string& name) { Command("HELO " + name, {250}, "die Antwort auf HELO"); }

// RFC 3207: after the handshake the client forgets what it knew of the server
// and introduces itself again; only what the server announces now counts.
void TIdSMTP::StartTls(const std::string& name) {
  const int code = Command("STARTTLS", {}, "die Antwort auf STARTTLS");
  if (code != 220) {
    std::string message = "Server lehnt STARTTLS ab (Verschlüsselung, Einstellung verschluesselung):\r\n";
    for (const std::string& line : LastReply().Text()) message += platform::ReplaceControlCharacters(platform::AsUtf8(line)) + "\r\n";
    throw EIdProtocolReplyError(code, message);
  }
  // Bytes that came before the handshake were not protected by it.
  ClearReceiveState();
  Phase("TLS-Aushandlung …");
  SocketHandler().StartTls(TlsOptions());
  Introduce(name);
}

TTlsOptions TIdSMTP::TlsOptions() const {
  return {Host(), caFile_, encryption_ != TEncryption::Auto || authenticationType_ != atNone};
}

TIdIOHandlerSocket& TIdSMTP::SocketHandler() {
  auto* handler = dynamic_cast<TIdIOHandlerSocket*>(IOHandler());
  if (handler == nullptr) throw EIdNotConnected();
  return *handler;
}

bool TIdSMTP::TlsActive() const {
  auto* handler = dynamic_cast<const TIdIOHandlerSocket*>(IOHandler());
  return handler != nullptr && handler->TlsActive();
}

// "AUTH LOGIN PLAIN" and "AUTH=LOGIN" both announce LOGIN.
void TIdSMTP::CollectAuthMechanisms() {
  for (const std::string& text : LastReply().Text()) {
    const std::string line = platform::UpperAscii(text);
    if (line == "STARTTLS" || line.compare(0, 9, "STARTTLS ") == 0) offered_.startTls = true;
    if (line == "SMTPUTF8") offered_.smtpUtf8 = true;
    if (line.compare(0, 5, "AUTH ") != 0 && line.compare(0, 5, "AUTH=") != 0) continue;
    std::string rest = line.substr(4);
    std::replace(rest.begin(), rest.end(), '=', ' ');
    while (!rest.empty()) {
      size_t blank = rest.find(' ');
      std::string name = rest.substr(0, blank);
      rest.erase(0, blank == std::string::npos ? rest.size() : blank + 1);
      if (!name.empty() && !Offers(name)) offered_.authMechanisms.push_back(std::move(name));
    }
  }
}

bool TIdSMTP::Offers(std::string_view mechanism) const {
  return std::ranges::find(offered_.authMechanisms, mechanism) != offered_.authMechanisms.end();
}

bool TIdSMTP::SupportsMechanism(TAuthenticationType type) const {
  if (type == atOAuth2) return Offers("XOAUTH2") || Offers("OAUTHBEARER");
  return type == atLogin && Offers("LOGIN");
}

bool TIdSMTP::LogIn() {
  bool result = false;
  if (authenticationType_ == atLogin) {
    constexpr std::string_view awaited = "die Antwort auf die Anmeldung (AUTH LOGIN)";
    Command("AUTH LOGIN", {334}, awaited);
    Command(message::TIdEncoderMIME::EncodeText(username_), {334}, awaited);
    Command(message::TIdEncoderMIME::EncodeText(password_), {235}, awaited);
    result = true;
    loginMechanism_ = "LOGIN";
  }
  phase_ = TSmtpPhase::LoggedIn;
  return result;
}

void TIdSMTP::LogInPlain() {
  const std::string credentials = std::string(1, '\0') + username_ + '\0' + password_;
  Command("AUTH PLAIN " + message::TIdEncoderMIME::EncodeText(credentials), {235},
          "die Antwort auf die Anmeldung (AUTH PLAIN)");
  loginMechanism_ = "PLAIN";
  phase_ = TSmtpPhase::LoggedIn;
}

// XOAUTH2 (the services' own) when offered, else OAUTHBEARER (RFC 7628). The
// initial response goes on the AUTH line when that fits, else after the 334.
void TIdSMTP::LogInOAuth2() {
  const bool xoauth2 = Offers("XOAUTH2");
  if (!xoauth2 && !SupportsMechanism(atOAuth2))
    throw EIdTlsError(
        "Server bietet keine OAuth2-Anmeldung (XOAUTH2/OAUTHBEARER) an (Token-Befehl, Einstellung smtptokenbefehl)");
  const std::string token = tokenSource_ ? tokenSource_() : password_;
  const std::string mechanism = xoauth2 ? "XOAUTH2" : "OAUTHBEARER";
  constexpr char kSeparator = '\x01';
  const std::string bearer = std::string("auth=Bearer ") + token + kSeparator + kSeparator;
  const std::string response =
      xoauth2 ? "user=" + username_ + kSeparator + bearer
              : "n,a=" + username_ + "," + kSeparator + "host=" + Host() + kSeparator + "port=" +
                    std::to_string(Port()) + kSeparator + bearer;
  const std::string encoded = message::TIdEncoderMIME::EncodeText(response);
  const std::string line = "AUTH " + mechanism + " " + encoded;
  const std::string awaited = "die Antwort auf die Anmeldung (AUTH " + mechanism + ")";
  int code = 0;
  if (line.size() + 2 <= kMaxAuthLine) {
    code = Command(line, {235, 334}, awaited);
  } else {
    Command("AUTH " + mechanism, {334}, awaited);
    code = Command(encoded, {235, 334}, awaited);
  }
  if (code == 334) {
    // The refusal comes as a JSON document; the exchange ends with an empty response.
    const std::string details = OAuthRefusalDetails(LastReply().Text().empty() ? "" : LastReply().Text().front());
    const int final = Command("", {}, awaited);
    std::string message = "OAuth2-Anmeldung (" + mechanism + ") abgelehnt";
    if (!details.empty()) message += ": " + details;
    message += " (Token-Befehl, Einstellung smtptokenbefehl)\r\n";
    for (const std::string& text : LastReply().Text()) message += platform::ReplaceControlCharacters(platform::AsUtf8(text)) + "\r\n";
    throw EIdProtocolReplyError(final, message);
  }
  loginMechanism_ = mechanism;
  phase_ = TSmtpPhase::LoggedIn;
}

void TIdSMTP::Authenticate() {
  if (authenticationType_ == atNone || LoggedIn()) return;
  try {
    if (authenticationType_ == atOAuth2)
      LogInOAuth2();
    else if (SupportsMechanism(authenticationType_))
      LogIn();
    else if (requireLogin_ && Offers("PLAIN"))
      LogInPlain();
    else if (requireLogin_)
      throw EIdTlsError("Server bietet weder AUTH LOGIN noch AUTH PLAIN an; "
                        "ohne Anmeldung wird nicht gesendet (SMTP Benutzer, Einstellung smtpuser)");
  } catch (const EIdProtocolReplyError& refusal) {
    throw WithLoginAdvice(refusal, LastReply().Text());
  }
}

// Every transaction starts with a reset; whatever the server answers, it goes on.
void TIdSMTP::Rset() { Command("RSET", {}, "die Antwort auf RSET"); }

void TIdSMTP::MailFrom(const std::string& address, bool smtpUtf8) {
  Command("MAIL FROM:<" + address + (smtpUtf8 ? "> SMTPUTF8" : ">"), {250}, "die Antwort auf MAIL FROM");
}

void TIdSMTP::RcptTo(const std::string& address) {
  Command("RCPT TO:<" + address + ">", {250, 251},
          "die Antwort auf RCPT TO:<" + platform::ReplaceControlCharacters(platform::AsUtf8(address)) + ">");
}

void TIdSMTP::Data() { Command("DATA", {354}, "die Antwort auf DATA"); }

// Once the whole mail is out, a silence may hide a mail that arrived.
void TIdSMTP::EndOfData() {
  dataEndSent_ = true;
  Command(".", {250}, "die Bestätigung der gesendeten Mail", " – die Mail kann trotzdem angekommen sein");
}

int TIdSMTP::Command(std::string_view line, TIdReplyCodes accepted, std::string_view awaited,
                     std::string_view note) {
  try {
    return ExecuteCommand(line, accepted);
  } catch (const EIdReadTimeout&) {
    throw EIdReadTimeout("Zeitüberschreitung beim Warten auf " + std::string(awaited) + " von " + ServerName() +
                         std::string(note));
  }
}

void TIdSMTP::Quit() { SendLine("QUIT"); }

void TIdSMTP::SubmitMessage(message::TIdMessage& msg) {
  dataEndSent_ = false;
  Rset();
  if (authenticationType_ != atNone && !LoggedIn()) Phase("Anmeldung …");
  Authenticate();
  try {
    if (const auto& envelope = msg.Envelope) {
      const bool smtpUtf8 = !envelope->Utf8Address.empty();
      if (smtpUtf8 && !offered_.smtpUtf8)
        throw EIdSmtpUtf8Missing(
            "Der Server bietet kein SMTPUTF8 an; die Adresse " + envelope->Utf8Address +
            " ist so nicht zustellbar " + message::AddressSettingNote(envelope->Utf8Setting));
      MailFrom(envelope->From, smtpUtf8);
    } else {
      MailFrom(msg.From.Address);
    }
  } catch (const EIdProtocolReplyError& refusal) {
    throw WithLoginAdvice(refusal, LastReply().Text());  // "530 5.7.0": the server wants TLS first
  }
  if (const auto& envelope = msg.Envelope) {
    for (const std::string& address : envelope->Recipients) RcptTo(address);
  } else {
    // BCC addresses appear only here, never in the header.
    for (const message::TIdEMailAddressList* list : {&msg.Recipients, &msg.CCList, &msg.BccList})
      for (const message::TIdEMailAddressItem& item : *list) RcptTo(item.Address);
  }
  Data();
  msg.ExtraHeaders.SetHeaderValue("X-Mailer", mailAgent_);
  WriteMessageWithProgress(msg);
  EndOfData();
}

void TIdSMTP::CloseSession() {
  struct TClosing {
    TIdSMTP& smtp;
    ~TClosing() {
      smtp.CloseConnection();
      smtp.phase_ = TSmtpPhase::Closed;
      smtp.loginMechanism_.clear();
    }
  } closing{*this};
  if (IsConnected()) Quit();
}

THostPort SplitHostPort(std::string_view text, int defaultPort) {
  if (text.size() > 1 && text.front() == '[') {
    const size_t close = text.find(']');
    if (close != std::string_view::npos) {
      const THostPort rest = SplitHostPort("x" + std::string(text.substr(close + 1)), defaultPort);
      if (rest.Host == "x") return {std::string(text.substr(1, close - 1)), rest.Port};
    }
  }
  if (std::count(text.begin(), text.end(), ':') > 1) return {std::string(text), defaultPort};
  size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view digits = text.substr(colon + 1);
    const std::optional<int> port = platform::ParseInteger<int>(digits);
    if (port && digits.front() != '-' && *port >= 1 && *port <= 65535) return {std::string(text.substr(0, colon)), *port};
  }
  return {std::string(text), defaultPort};
}

}  // namespace vornetta::smtp
