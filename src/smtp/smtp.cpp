#include "smtp/smtp.h"

#include <algorithm>
#include <charconv>

#include "message/header_encoding.h"

namespace vornetta::smtp {

TIdSMTP::TIdSMTP() { SetPort(25); }

void TIdSMTP::SetAuthenticationType(TAuthenticationType type) {
  authenticationType_ = type;
  if (type == atLogin) useEhlo_ = true;
}

void TIdSMTP::SetUseEhlo(bool useEhlo) {
  useEhlo_ = useEhlo;
  if (!useEhlo) authenticationType_ = atNone;
}

void TIdSMTP::OpenSession(int timeout) {
  OpenConnection(timeout);
  try {
    ReadGreeting();
    authMechanisms_.clear();
    const std::string name = heloName_.empty() ? Stack().LocalHostName() : heloName_;
    if (!useEhlo_ || !Ehlo(name)) Helo(name);
  } catch (...) {
    // The failure of the session is the one to report, not a QUIT that failed after it.
    try {
      CloseSession();
    } catch (...) {
    }
    throw;
  }
}

void TIdSMTP::ReadGreeting() { ReadReply({220}); }

// True when the server answered 250; any other code means: try HELO.
bool TIdSMTP::Ehlo(const std::string& name) {
  if (ExecuteCommand("EHLO " + name, {}) != 250) return false;
  CollectAuthMechanisms();
  return true;
}

void TIdSMTP::Helo(const std::string& name) { ExecuteCommand("HELO " + name, {250}); }

// "AUTH LOGIN PLAIN" and "AUTH=LOGIN" both announce LOGIN.
void TIdSMTP::CollectAuthMechanisms() {
  for (std::string line : LastReply().Text()) {
    std::transform(line.begin(), line.end(), line.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    if (line.compare(0, 5, "AUTH ") != 0 && line.compare(0, 5, "AUTH=") != 0) continue;
    std::string rest = line.substr(4);
    std::replace(rest.begin(), rest.end(), '=', ' ');
    while (!rest.empty()) {
      size_t blank = rest.find(' ');
      std::string name = rest.substr(0, blank);
      rest.erase(0, blank == std::string::npos ? rest.size() : blank + 1);
      if (!name.empty() && std::find(authMechanisms_.begin(), authMechanisms_.end(), name) == authMechanisms_.end())
        authMechanisms_.push_back(std::move(name));
    }
  }
}

bool TIdSMTP::SupportsMechanism(TAuthenticationType type) const {
  return type == atLogin &&
         std::find(authMechanisms_.begin(), authMechanisms_.end(), "LOGIN") != authMechanisms_.end();
}

bool TIdSMTP::LogIn() {
  bool result = false;
  if (authenticationType_ == atLogin) {
    ExecuteCommand("AUTH LOGIN", {334});
    ExecuteCommand(message::TIdEncoderMIME::EncodeText(username_), {334});
    ExecuteCommand(message::TIdEncoderMIME::EncodeText(password_), {235});
    result = true;
  }
  loggedIn_ = true;
  return result;
}

// Every transaction starts with a reset; whatever the server answers, it goes on.
void TIdSMTP::Rset() { ExecuteCommand("RSET", {}); }

void TIdSMTP::MailFrom(const std::string& address) { ExecuteCommand("MAIL FROM:<" + address + ">", {250}); }

void TIdSMTP::RcptTo(const std::string& address) { ExecuteCommand("RCPT TO:<" + address + ">", {250, 251}); }

void TIdSMTP::Data() { ExecuteCommand("DATA", {354}); }

void TIdSMTP::EndOfData() { ExecuteCommand(".", {250}); }

void TIdSMTP::Quit() { SendLine("QUIT"); }

void TIdSMTP::SubmitMessage(message::TIdMessage& msg) {
  Rset();
  if (authenticationType_ != atNone && SupportsMechanism(authenticationType_) && !loggedIn_) LogIn();
  MailFrom(msg.From.Address);
  // BCC addresses appear only here, never in the header.
  for (const message::TIdEMailAddressList* list : {&msg.Recipients, &msg.CCList, &msg.BccList})
    for (const message::TIdEMailAddressItem& item : *list) RcptTo(item.Address);
  Data();
  msg.ExtraHeaders.SetHeaderValue("X-Mailer", mailAgent_);
  WriteMessage(msg, false);
  EndOfData();
}

void TIdSMTP::CloseSession() {
  try {
    if (IsConnected()) Quit();
  } catch (...) {
    CloseConnection();
    loggedIn_ = false;
    throw;
  }
  CloseConnection();
  loggedIn_ = false;
}

THostPort SplitHostPort(std::string_view text, int defaultPort) {
  size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    std::string_view digits = text.substr(colon + 1);
    int port = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (!digits.empty() && digits.front() != '-' && ec == std::errc() && end == digits.data() + digits.size() &&
        port >= 1 && port <= 65535)
      return {std::string(text.substr(0, colon)), port};
  }
  return {std::string(text), defaultPort};
}

}  // namespace vornetta::smtp
