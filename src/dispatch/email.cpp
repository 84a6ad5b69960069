#include "dispatch/email.h"

#include <unordered_set>

#include "message/address_check.h"
#include "message/body_encoding.h"
#include "message/message_writer.h"
#include "message/multipart_writer.h"
#include "platform/code_page.h"
#include "platform/deadline.h"
#include "platform/safe_text.h"
#include "platform/text.h"
#include "smtp/exceptions.h"
#include "smtp/io_handler.h"
#include "smtp/smtp.h"

#include <chrono>

namespace vornetta::dispatch {

namespace {

// The submission port with TLS from the first byte (RFC 8314).
constexpr int kImplicitTlsPort = 465;

using platform::ReplaceAll;

}  // namespace

smtp::TEncryption EncryptionOf(std::string_view setting) {
  std::string word;
  for (char c : setting)
    if (!platform::IsControlOrSpace(c)) word += platform::ToLowerAscii(c);
  if (word.empty() || word == "auto") return smtp::TEncryption::Auto;
  if (word == "starttls") return smtp::TEncryption::StartTls;
  if (word == "ssl") return smtp::TEncryption::Implicit;
  if (word == "aus") return smtp::TEncryption::None;
  throw EEncryptionSetting(
      "Unbekannter Wert \"" + std::string(setting) +
      "\" für die Verschlüsselung: erlaubt sind auto, starttls, ssl oder aus (Verschlüsselung, Einstellung "
      "verschluesselung)");
}

std::string CleanSubject(std::string subject) {
  subject = ReplaceAll(subject, "\r", " ");
  subject = ReplaceAll(subject, "\n", " ");
  subject = ReplaceAll(subject, "\t", " ");
  return ReplaceAll(subject, "  ", " ");
}

message::TIdMessagePriority MessagePriority(std::int32_t priority) {
  switch (priority) {
    case 1: return message::mpHighest;
    case 2: return message::mpHigh;
    case 4: return message::mpLow;
    case 5: return message::mpLowest;
    default: return message::mpNormal;
  }
}

std::vector<std::string> BodyLines(std::string_view body) {
  std::vector<std::string> lines;
  platform::ForEachLine(body, [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::optional<message::TEnvelope> EMail::EnvelopeOf(const message::TIdMessage& mail) const {
  struct Source {
    const message::TIdEMailAddressList* list;
    const std::string& setting;
  };
  const Source sources[] = {{&mail.Recipients, AddressSettings.To},
                            {&mail.CCList, AddressSettings.Cc},
                            {&mail.BccList, AddressSettings.Bcc}};
  bool beyondAscii = !message::IsAsciiText(mail.From.Address);
  for (const Source& source : sources)
    for (const message::TIdEMailAddressItem& item : *source.list)
      beyondAscii = beyondAscii || !message::IsAsciiText(item.Address);
  // ASCII addresses need no envelope of their own.
  if (!beyondAscii) return std::nullopt;

  message::TEnvelope envelope;
  auto add = [&envelope](const std::string& whole, const std::string& setting) {
    const std::size_t at = whole.rfind('@');
    if (envelope.Utf8Address.empty() && !message::IsAsciiText(std::string_view(whole).substr(0, at))) {
      envelope.Utf8Address = whole;
      envelope.Utf8Setting = setting;
    }
    return message::EnvelopeAddress(whole, setting);
  };
  envelope.From = add(mail.From.Address, AddressSettings.From);
  for (const Source& source : sources)
    for (const message::TIdEMailAddressItem& item : *source.list)
      envelope.Recipients.push_back(add(item.Address, source.setting));
  return envelope;
}

void EMail::FillMessage(message::TIdMessage& mail) {
  Subject = CleanSubject(std::move(Subject));
  message::CheckAddressSetting(AddressSettings.From, From, message::TAddressSetting::Single);
  message::CheckAddressSetting(AddressSettings.To, To, message::TAddressSetting::List);
  message::CheckAddressSetting(AddressSettings.Cc, Cc, message::TAddressSetting::List);
  message::CheckAddressSetting(AddressSettings.Bcc, Bcc, message::TAddressSetting::List);
  mail.From.SetText(From);
  mail.Subject = Subject;
  mail.Recipients.SetListText(To);
  mail.CCList.SetListText(Cc);
  mail.BccList.SetListText(Bcc);
  mail.Envelope = EnvelopeOf(mail);
  if (mail.Recipients.empty() && mail.CCList.empty() && mail.BccList.empty())
    throw ESendError("Kein Empfänger angegeben " + message::AddressSettingNote(AddressSettings.To) + ".");
  // Without a sender the server would get "MAIL FROM:<>" and the mail no From header.
  if (mail.From.Address.empty())
    throw ESendError("Kein Absender angegeben " + message::AddressSettingNote(AddressSettings.From) + ".");
  mail.CharSet = CharSet;
  mail.ContentType = IsHtml ? "text/html" : "text/plain";
  mail.BodyText = Body;
  if (message::NeedsQuotedPrintable(Body, message::BodyInIso2022JP(mail)))
    mail.ContentTransferEncoding = message::kQuotedPrintable;
  mail.Priority = MessagePriority(Priority);
  mail.Clock = Clock;
  if (!Attachments.empty()) {
    mail.Attachments = Attachments;
    mail.Boundary = message::ChooseBoundary(mail);
  }
  if (!InlineImages.empty()) {
    mail.InlineImages = InlineImages;
    mail.RelatedBoundary = message::ChooseRelatedBoundary(mail);
  }
}

smtp::THostPort EMail::Configure(smtp::TIdSMTP& client) const {
  const smtp::TEncryption encryption = EncryptionOf(Encryption);
  const smtp::THostPort server =
      smtp::SplitHostPort(Host, encryption == smtp::TEncryption::Implicit ? kImplicitTlsPort : Port);
  client.SetHost(server.Host);
  client.SetPort(server.Port);
  client.SetEncryption(encryption);
  client.SetCaFile(CaFile);
  client.SetRequireLogin(true);
  if (!Username.empty()) {
    client.SetAuthenticationType(TokenSource ? smtp::atOAuth2 : smtp::atLogin);
    // The login's user and password go on the wire in the code page.
    client.SetUsername(platform::FromUtf8(Username));
    if (TokenSource)
      client.SetTokenSource(TokenSource);
    else
      client.SetPassword(platform::FromUtf8(Password));
  } else {
    client.SetAuthenticationType(smtp::atNone);
  }
  client.SetReplyTimeout(smtp::kMailReplyTimeoutMs);
  client.SetWaitHook(WaitHook);
  return server;
}

void EMail::Send() {
  DataEndSent = false;
  smtp::TIdSMTP client;
  Configure(client);

  message::TIdMessage mail;
  FillMessage(mail);

  const platform::TDeadline deadline = platform::TDeadline::After(AttemptLimit);
  client.SetAttemptDeadline(deadline);
  try {
    client.OpenSession(-1);
    try {
      client.SubmitMessage(mail);
    } catch (...) {
      DataEndSent = client.DataEndSent();
      // A failure of the close replaces the one being handled.
      client.CloseSession();
      throw;
    }
  } catch (const platform::ECancelled&) {
    throw;
  } catch (...) {
    // Whatever gave way at the deadline, the attempt's limit is the cause.
    if (deadline.Passed()) throw smtp::EIdAttemptTimeout(AttemptLimit);
    throw;
  }
  DataEndSent = true;
  MessageBytes = client.MessageBytes();
  // The server took the mail with its 250: a QUIT or close that fails now
  // changes nothing for the recipients.
  try {
    client.CloseSession();
  } catch (...) {
  }
  // An address named twice (in To and Bcc, say) is one recipient.
  std::unordered_set<std::string> addresses;
  for (const message::TIdEMailAddressList* list : {&mail.Recipients, &mail.CCList, &mail.BccList})
    for (const message::TIdEMailAddressItem& item : *list) addresses.insert(platform::LowerAscii(item.Address));
  RecipientCount = addresses.size();
}

void EMail::Probe(const std::function<void(const std::string&)>& step) {
  smtp::TIdSMTP client;
  const smtp::THostPort server = Configure(client);
  const std::string address = server.Host.find(':') == std::string::npos
                                  ? server.Host + ":" + std::to_string(server.Port)
                                  : "[" + server.Host + "]:" + std::to_string(server.Port);
  step("Verbinde mit " + address + " …");
  client.OpenSession(-1);
  try {
    const std::vector<std::string>& greeting = client.Greeting();
    step("Begrüßung des Servers: 220 " +
         platform::ReplaceControlCharacters(platform::AsUtf8(greeting.empty() ? "" : greeting.front())));
    const auto* handler = dynamic_cast<const smtp::TIdIOHandlerSocket*>(client.IOHandler());
    if (handler != nullptr && handler->Tls() != nullptr) {
      const std::string subject = handler->Tls()->PeerSubject();
      step("Verschlüsselt mit " + handler->Tls()->Version() + ", Zertifikat: " +
           platform::ReplaceControlCharacters(subject.empty() ? "(keines)" : platform::AsUtf8(subject)) +
           (handler->TlsVerified() ? " (geprüft)" : " (nicht geprüft)"));
    } else {
      step("Unverschlüsselt (Verschlüsselung, Einstellung verschluesselung)");
    }
    std::string mechanisms;
    for (const std::string& name : client.AuthMechanisms()) mechanisms += (mechanisms.empty() ? "" : " ") + name;
    step("Angebotene Anmeldeverfahren: " +
         (mechanisms.empty() ? std::string("keine") : platform::ReplaceControlCharacters(platform::AsUtf8(mechanisms))));
    if (Username.empty()) {
      step("Keine Anmeldung eingestellt: kein Benutzer (SMTP Benutzer, Einstellung smtpuser)");
    } else {
      client.Authenticate();
      step("Anmeldung als " + Username + " mit " + client.LoginMechanism() + " erfolgreich");
    }
  } catch (...) {
    try {
      client.CloseSession();
    } catch (...) {
    }
    throw;
  }
  client.CloseSession();
  step("Verbindung mit QUIT beendet – nichts wurde gesendet.");
}

void EMail::WriteTo(message::TIdLineWriter& out) {
  message::TIdMessage mail;
  FillMessage(mail);
  message::WriteMessage(out, mail);
  RecipientCount = mail.Recipients.Count() + mail.CCList.Count() + mail.BccList.Count();
}

}  // namespace vornetta::dispatch
