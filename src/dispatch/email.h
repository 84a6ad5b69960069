// The mail job: turns setting texts into one mail sent over SMTP. A caller
// fills the fields, calls Send once and drops the job; Send creates its own SMTP
// client and message for that one mail and releases both, also on failure.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "message/line_writer.h"
#include "message/message.h"
#include "platform/failure.h"
#include "smtp/smtp.h"
#include "smtp/wait_hook.h"

namespace vornetta::dispatch {

// How long one attempt to deliver a mail may take in all.
inline constexpr std::chrono::milliseconds kMailAttemptLimit = std::chrono::minutes(15);

// A mail that must not go out as it stands ("Kein Empf\u00e4nger angegeben (Empf\u00e4nger, Einstellung empfaenger).").
class ESendError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

// The settings of section "email" the address fields were read from, named by
// the messages of a refused address.
struct TAddressSettings {
  std::string From = "absender";
  std::string To = "empfaenger";
  std::string Cc = "cc";
  std::string Bcc = "bcc";
};

class EMail {
 public:
  std::string From;     // one address: "Name <addr>" or a bare address
  std::string To;       // address lists
  std::string Cc;
  std::string Bcc;
  std::string Subject;  // cleaned in place by Send
  // Line breaks CR, LF or CR LF. A view, not a copy: the text (a report may be
  // many megabytes) must outlive Send.
  std::string_view Body;
  bool IsHtml = false;
  std::int32_t Priority = 3;  // 1 highest .. 5 lowest; anything else is 3
  std::string CharSet = "ISO-8859-15";
  std::string Host;  // SMTP server; "host:port" replaces Port (smtp::SplitHostPort)
  std::int32_t Port = 25;
  std::string Username;  // empty: no authentication
  std::string Password;
  // Set with a user name: the login is OAuth2 with the token it gives, asked
  // once per connection (each attempt gets a fresh one); Password is not used.
  smtp::TTokenSource TokenSource;
  std::string Encryption = "auto";  // auto, starttls, ssl or aus (EncryptionOf)
  std::string CaFile;               // PEM file instead of the system store
  // Files sent after the body (the mail is then multipart/mixed); their data
  // must stay valid during Send and WriteTo.
  std::vector<message::TIdAttachment> Attachments;
  // Images the HTML body shows through "cid:" (the body and they then go as
  // multipart/related); their data must stay valid like the attachments'.
  std::vector<message::TIdInlineImage> InlineImages;

  // Set by Send: true once the final "." of the data phase has gone out. After
  // that the server may hold the mail even when its reply never came.
  bool DataEndSent = false;
  // Set by a successful Send: the number of recipients (To, CC and BCC), and
  // the mail's size on the wire with its attachments and encodings.
  std::size_t RecipientCount = 0;
  std::size_t MessageBytes = 0;
  // Where the "Date" header takes the time from (the setting "zeitzone").
  message::TIdClock Clock;
  // Runs between the slices of every wait for the server; null waits whole.
  smtp::TIdWaitHook* WaitHook = nullptr;
  // The longest one attempt of Send may take in all, connect to QUIT
  // (smtp::EIdAttemptTimeout after it); each reply still has its own limit.
  std::chrono::milliseconds AttemptLimit = kMailAttemptLimit;

  TAddressSettings AddressSettings;

  // Sends the mail described by the fields; changes Subject (CleanSubject) and
  // nothing else. The client waits at most smtp::kMailReplyTimeoutMs for each
  // reply and for the TLS handshake, so an unattended run always ends. With a
  // user name the login must happen (AUTH LOGIN, else AUTH PLAIN). "ssl"
  // without a port in Host means port 465. Before connecting, refuses an
  // address text message::CheckAddressSetting refuses and a mail without any
  // recipient (ESendError "Kein Empf\u00e4nger angegeben (...)."), or no sender. Throws whatever the
  // address parser or the SMTP conversation raises (message::EIdEmailParseError,
  // ESendError and EEncryptionSetting before connecting, smtp::EIdException and
  // its descendants, platform::ECancelled when the hook ends it), messages
  // unchanged.
  void Send();

  // The mail exactly as the data phase of Send carries it, but to `out` and
  // without any connection; `out` gets the lines dot-stuffed like the server.
  // Changes Subject like Send; throws what the address parser raises.
  void WriteTo(message::TIdLineWriter& out);

  // The connection test: connects, encrypts and logs in as Send would, then
  // ends with QUIT; nothing is sent. Each step is told to `step` in German
  // (UTF-8): the server's greeting, TLS version and certificate subject, the
  // mechanisms offered, the login. Never tells a password or token. Throws
  // what Send's conversation throws before the data phase.
  void Probe(const std::function<void(const std::string&)>& step);

 private:
  void FillMessage(message::TIdMessage& mail);
  // The envelope when an address goes beyond ASCII: domains as A-labels.
  // Throws message::EEnvelopeAddressError before anything is connected.
  std::optional<message::TEnvelope> EnvelopeOf(const message::TIdMessage& mail) const;
  smtp::THostPort Configure(smtp::TIdSMTP& client) const;
};

// A value of the setting "verschluesselung" that is none of its four words.
class EEncryptionSetting : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

// "auto", "starttls", "ssl", "aus" (letter case and surrounding blanks
// ignored; empty means auto) onto the client's modes. Throws EEncryptionSetting.
smtp::TEncryption EncryptionOf(std::string_view setting);

// The subject as sent: CR, LF and TAB each become one blank, then every pair of
// blanks becomes one blank (left to right, pairs do not overlap).
std::string CleanSubject(std::string subject);

// 1..5 onto mpHighest..mpLowest; any other value gives mpNormal.
message::TIdMessagePriority MessagePriority(std::int32_t priority);

// The lines of a body split at CR LF, CR or LF. An empty text gives no line and
// a break at the very end adds no empty line.
std::vector<std::string> BodyLines(std::string_view body);

}  // namespace vornetta::dispatch
