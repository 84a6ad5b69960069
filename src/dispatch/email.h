// The mail job: turns setting texts into one mail sent over SMTP. A caller
// fills the fields, calls Send once and drops the job; Send creates its own SMTP
// client and message for that one mail and releases both, also on failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "message/message.h"

namespace vornetta::dispatch {

class EMail {
 public:
  std::string From;     // one address: "Name <addr>" or a bare address
  std::string To;       // address lists
  std::string Cc;
  std::string Bcc;
  std::string Subject;  // cleaned in place by Send
  std::string Body;     // line breaks CR, LF or CR LF
  bool IsHtml = false;
  std::int32_t Priority = 3;  // 1 highest .. 5 lowest; anything else is 3
  std::string CharSet = "ISO-8859-15";
  std::string Host;  // SMTP server; "host:port" replaces Port (smtp::SplitHostPort)
  std::int32_t Port = 25;
  std::string Username;  // empty: no authentication
  std::string Password;

  // Sends the mail described by the fields; changes Subject (CleanSubject) and
  // nothing else. The client waits at most smtp::kMailReplyTimeoutMs for each
  // reply, so an unattended run always ends. Throws whatever the address parser
  // or the SMTP conversation raises (message::EIdEmailParseError before
  // connecting, smtp::EIdException and its descendants), messages unchanged.
  void Send();
};

// The subject as sent: CR, LF and TAB each become one blank, then every pair of
// blanks becomes one blank (left to right, pairs do not overlap).
std::string CleanSubject(std::string subject);

// 1..5 onto mpHighest..mpLowest; any other value gives mpNormal.
message::TIdMessagePriority MessagePriority(std::int32_t priority);

// The lines of a body split at CR LF, CR or LF. An empty text gives no line and
// a break at the very end adds no empty line.
std::vector<std::string> BodyLines(std::string_view body);

}  // namespace vornetta::dispatch
