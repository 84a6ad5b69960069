// The client side of one mail submission: greeting, EHLO or HELO, AUTH LOGIN
// when offered, envelope, data phase and QUIT, one command and one reply at a
// time. A reply code the step does not accept ends it with EIdProtocolReplyError
// carrying the server's own text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "message/message.h"
#include "smtp/message_client.h"

namespace vornetta::smtp {

enum TAuthenticationType { atNone, atLogin };

// How long the mail job waits for one reply: RFC 5321's longest client timeout.
inline constexpr int kMailReplyTimeoutMs = 10 * 60 * 1000;

// States: created -> connected (OpenConnection) -> greeted (220 and EHLO/HELO)
// -> logged in (LogIn, optional) -> data phase (354 .. ".") -> closed
// (CloseSession). A failure leaves the state as it is; CloseSession always closes.
class TIdSMTP : public TIdMessageClient {
 public:
  TIdSMTP();

  const std::string& Username() const { return username_; }
  void SetUsername(std::string username) { username_ = std::move(username); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  TAuthenticationType AuthenticationType() const { return authenticationType_; }
  // atLogin also switches UseEhlo on.
  void SetAuthenticationType(TAuthenticationType type);
  bool UseEhlo() const { return useEhlo_; }
  // false also sets the authentication type atNone.
  void SetUseEhlo(bool useEhlo);
  const std::string& HeloName() const { return heloName_; }
  void SetHeloName(std::string name) { heloName_ = std::move(name); }
  const std::string& MailAgent() const { return mailAgent_; }
  void SetMailAgent(std::string agent) { mailAgent_ = std::move(agent); }

  // Mechanism names of the last EHLO reply, upper case, each once.
  const std::vector<std::string>& AuthMechanisms() const { return authMechanisms_; }
  bool LoggedIn() const { return loggedIn_; }

  // Connects, reads the greeting (220) and introduces the client. Connect
  // failures arrive with the socket closed; a later failure closes the session
  // and is raised unchanged.
  void OpenSession(int timeout = -1);

  // True for atLogin exactly when the server announced LOGIN.
  virtual bool SupportsMechanism(TAuthenticationType type) const;
  // AUTH LOGIN with user and password in base64; false for atNone.
  virtual bool LogIn();
  // RSET, login when needed and offered, MAIL FROM, RCPT TO for every To, CC and
  // BCC address, DATA, the message, the final ".".
  virtual void SubmitMessage(message::TIdMessage& msg);

  // Writes QUIT when still connected (no reply is read) and closes in any case.
  void CloseSession();

 private:
  void ReadGreeting();
  bool Ehlo(const std::string& name);
  void Helo(const std::string& name);
  void CollectAuthMechanisms();
  void Rset();
  void MailFrom(const std::string& address);
  void RcptTo(const std::string& address);
  void Data();
  void EndOfData();
  void Quit();

  std::string username_;
  std::string password_;
  TAuthenticationType authenticationType_ = atNone;
  bool useEhlo_ = true;
  std::string heloName_;
  std::string mailAgent_;
  std::vector<std::string> authMechanisms_;
  bool loggedIn_ = false;
};

struct THostPort {
  std::string Host;
  int Port;
};

// "name:port" with a port of 1 to 65535 gives both parts; any other text is a
// host name with the default port.
THostPort SplitHostPort(std::string_view text, int defaultPort);

}  // namespace vornetta::smtp
