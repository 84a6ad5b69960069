// The client side of one mail submission: greeting, EHLO or HELO, STARTTLS
// when wanted, AUTH LOGIN (or PLAIN) when offered, envelope, data phase and
// QUIT, one command and one reply at a time. With an access token the login is
// OAuth2 (XOAUTH2, else OAUTHBEARER) and only ever inside TLS. A reply code the step does not accept ends it with EIdProtocolReplyError
// carrying the server's own text.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "message/message.h"
#include "smtp/message_client.h"

namespace vornetta::smtp {

// atLogin: user and password; atOAuth2: user and an access token.
enum TAuthenticationType { atNone, atLogin, atOAuth2 };

// Gives the access token for one login; asked once per login, right before
// it, since tokens expire. May throw; the login then ends with that failure.
using TTokenSource = std::function<std::string()>;

// How the session is encrypted:
//   Auto      STARTTLS when the server announces it, else plain;
//   StartTls  STARTTLS, and a server without it is an error;
//   Implicit  TLS from the first byte (port 465);
//   None      never TLS.
// With a login, Auto sends it over a plain connection only to this machine's
// loopback addresses; OAuth2 is never sent without TLS.
// Without a login, Auto accepts a certificate that cannot be verified (the
// mail still goes encrypted); every other case requires a verified one.
enum class TEncryption { Auto, StartTls, Implicit, None };

// How long the mail job waits for one reply: RFC 5321's longest client timeout.
inline constexpr int kMailReplyTimeoutMs = 10 * 60 * 1000;

// States: created -> connected (OpenConnection) -> greeted (220 and EHLO/HELO)
// -> logged in (LogIn, optional) -> data phase (354 .. ".") -> closed
// (CloseSession). A failure leaves the state as it is; CloseSession always closes.
// Construction, the accessors and the setters throw nothing. The command
// failures: the send and receive failures of the connection (tcp_connection.h)
// and EIdProtocolReplyError for a reply code the step does not accept.
class TIdSMTP : public TIdMessageClient {
  // Tells the wait hook which step of the conversation begins.
  void Phase(const std::string& text) const noexcept;

 public:
  TIdSMTP();

  const std::string& Username() const { return username_; }
  void SetUsername(std::string username) { username_ = std::move(username); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  void SetTokenSource(TTokenSource source) { tokenSource_ = std::move(source); }
  TAuthenticationType AuthenticationType() const { return authenticationType_; }
  // atLogin and atOAuth2 also switch UseEhlo on.
  void SetAuthenticationType(TAuthenticationType type);
  bool UseEhlo() const { return useEhlo_; }
  // false also sets the authentication type atNone.
  void SetUseEhlo(bool useEhlo);
  const std::string& HeloName() const { return heloName_; }
  void SetHeloName(std::string name) { heloName_ = std::move(name); }
  const std::string& MailAgent() const { return mailAgent_; }
  void SetMailAgent(std::string agent) { mailAgent_ = std::move(agent); }
  TEncryption Encryption() const { return encryption_; }
  void SetEncryption(TEncryption encryption) { encryption_ = encryption; }
  // PEM file of trusted certificates; empty: the system store.
  const std::string& CaFile() const { return caFile_; }
  void SetCaFile(std::string path) { caFile_ = std::move(path); }
  // With a login set: AUTH LOGIN, else AUTH PLAIN, else EIdTlsError, instead
  // of going on unauthenticated when the server offers no LOGIN.
  bool RequireLogin() const { return requireLogin_; }
  void SetRequireLogin(bool require) { requireLogin_ = require; }

  // The session runs over TLS (after STARTTLS, or from the first byte).
  bool TlsActive() const;
  // The server announced STARTTLS in its last EHLO reply.
  bool StartTlsOffered() const { return offered_.startTls; }
  // The server announced SMTPUTF8 in its last EHLO reply.
  bool SmtpUtf8Offered() const { return offered_.smtpUtf8; }

  // Mechanism names of the last EHLO reply, upper case, each once.
  const std::vector<std::string>& AuthMechanisms() const { return offered_.authMechanisms; }
  bool LoggedIn() const { return phase_ == TSmtpPhase::LoggedIn; }
  // The mechanism of the last successful login ("LOGIN", "XOAUTH2", ...).
  const std::string& LoginMechanism() const { return loginMechanism_; }
  // The text lines of the server's greeting.
  const std::vector<std::string>& Greeting() const { return greeting_; }
  // True once SubmitMessage has written the final "." of the data phase.
  bool DataEndSent() const { return dataEndSent_; }
  // The bytes of the last message's data phase as they went on the wire
  // (header, attachments, encodings, dot-stuffing; not the final ".").
  std::size_t MessageBytes() const { return messageBytes_; }

  // Connects, reads the greeting (220) and introduces the client; switches to
  // TLS as Encryption says and introduces the client again. Connect failures
  // arrive with the socket closed; a later failure closes the session and is
  // raised unchanged. Throws what OpenConnection throws, the command failures,
  // and EIdTlsError (StartTls: no STARTTLS offered, or the handshake failed; a
  // login that would go unprotected, see TEncryption).
  void OpenSession(int timeout = -1);

  // True for atLogin exactly when the server announced LOGIN. Throws nothing.
  virtual bool SupportsMechanism(TAuthenticationType type) const;
  // AUTH LOGIN with user and password in base64; false for atNone. Throws the command failures.
  virtual bool LogIn();
  // AUTH PLAIN with user and password in one base64 line. Throws the command failures.
  void LogInPlain();
  // The login as set, when not done yet: atLogin by LOGIN, else PLAIN; atOAuth2
  // by XOAUTH2, else OAUTHBEARER. A refusal the login advice table knows gets
  // its German advice in front of the server's text. Throws the command
  // failures, the token source's failure, and EIdTlsError when a required login
  // has no mechanism.
  void Authenticate();
  // RSET, login when needed and offered, MAIL FROM, RCPT TO for every To, CC and
  // BCC address (the message's Envelope instead when set), DATA, the message, the
  // final ".". Throws the command failures, EIdTlsError when a login is required
  // and the server offers no mechanism, and EIdSmtpUtf8Missing when the envelope
  // needs SMTPUTF8 and the server does not announce it.
  virtual void SubmitMessage(message::TIdMessage& msg);

  // Writes QUIT when still connected (no reply is read) and closes in any case.
  // Throws the send failures of QUIT, after closing.
  void CloseSession();

 private:
  // Within the wait hook's greeting limit; a silence, an unreadable line or a
  // close says what was waited for and what to check.
  void ReadGreeting();
  // "host:port" as the phases and failures name the server.
  std::string ServerName() const;
  // The data phase: the message, and its share written so far as the phase.
  void WriteMessageWithProgress(const message::TIdMessage& msg);
  void CheckLoginProtection() const;
  void LogInOAuth2();
  void Introduce(const std::string& name);
  bool Ehlo(const std::string& name);
  void Helo(const std::string& name);
  void CollectAuthMechanisms();
  // The server announced the mechanism (upper case) in its last EHLO reply.
  bool Offers(std::string_view mechanism) const;
  void StartTls(const std::string& name);
  TTlsOptions TlsOptions() const;
  TIdIOHandlerSocket& SocketHandler();
  // ExecuteCommand whose reply, when it does not come in time, is named in the
  // EIdReadTimeout: "Zeitüberschreitung beim Warten auf <awaited> von host:port<note>".
  int Command(std::string_view line, TIdReplyCodes accepted, std::string_view awaited, std::string_view note = {});
  void Rset();
  void MailFrom(const std::string& address, bool smtpUtf8 = false);
  void RcptTo(const std::string& address);
  void Data();
  void EndOfData();
  void Quit();

  std::string username_;
  std::string password_;
  TTokenSource tokenSource_;
  std::string loginMechanism_;
  std::vector<std::string> greeting_;
  TAuthenticationType authenticationType_ = atNone;
  bool useEhlo_ = true;
  std::string heloName_;
  std::string mailAgent_;
  TEncryption encryption_ = TEncryption::None;
  std::string caFile_;
  bool requireLogin_ = false;
  // What the server announced in its last EHLO reply.
  struct TOffered {
    std::vector<std::string> authMechanisms;
    bool startTls = false;
    bool smtpUtf8 = false;
  } offered_;
  // Closed until OpenSession has introduced the client, LoggedIn from the login
  // to CloseSession.
  enum class TSmtpPhase { Closed, Open, LoggedIn } phase_ = TSmtpPhase::Closed;
  bool dataEndSent_ = false;  // of the message being submitted
  std::size_t messageBytes_ = 0;
};

struct THostPort {
  std::string Host;
  int Port;
};

// "name:port" with a port of 1 to 65535 gives both parts; any other text is a
// host name with the default port. An IPv6 address stands in brackets when a
// port follows ("[2001:db8::1]:587", "[::1]"); without brackets a text with
// several colons is an address without port. Throws nothing.
THostPort SplitHostPort(std::string_view text, int defaultPort);

}  // namespace vornetta::smtp
