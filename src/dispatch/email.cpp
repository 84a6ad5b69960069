#include "dispatch/email.h"

#include "message/address_check.h"
#include "message/body_encoding.h"
#include "message/message_writer.h"
#include "message/multipart_writer.h"
#include "platform/code_page.h"
#include "platform/text.h"
#include "smtp/smtp.h"

namespace vornetta::dispatch {

namespace {

// The submission port with TLS from the first byte (RFC 8314).
constexpr int kImplicitTlsPort = 465;

using platform::ReplaceAll;

// A list parsed from UTF-8 text: names and addresses the code page can hold are
// converted to it, other names stay UTF-8 and are marked so.
void FromUtf8Items(message::TIdEMailAddressItem& item) {
  std::string fitting;
  if (platform::FromUtf8Exact(item.Name, fitting))
    item.Name = std::move(fitting);
  else
    item.NameUtf8 = true;
  if (platform::FromUtf8Exact(item.Address, fitting)) item.Address = std::move(fitting);
}

void FromUtf8Items(message::TIdEMailAddressList& list) {
  for (std::size_t i = 0; i < list.Count(); ++i) FromUtf8Items(list[i]);
}

}  // namespace

smtp::TEncryption EncryptionOf(std::string_view setting) {
  std::string word;
  for (char c : setting)
    if (!platform::IsControlOrSpace(c)) word += platform::ToLowerAscii(c);
  if (word.empty() || word == "auto") return smtp::TEncryption::Auto;
  if (word == "starttls") return smtp::TEncryption::StartTls;
  if (word == "ssl") return smtp::TEncryption::Implicit;
  if (word == "aus") return smtp::TEncryption::None;
  throw EEncryptionSetting(platform::TUtf8Message{
      "Unbekannter Wert \"" + platform::ToUtf8(setting) +
      "\" für die Verschlüsselung (Einstellung verschluesselung: auto, starttls, ssl oder aus)"});
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

void EMail::FillMessage(message::TIdMessage& mail) {
  Subject = CleanSubject(std::move(Subject));
  message::CheckAddressSetting(AddressSettings.From, From, message::TAddressSetting::Single);
  message::CheckAddressSetting(AddressSettings.To, To, message::TAddressSetting::List);
  message::CheckAddressSetting(AddressSettings.Cc, Cc, message::TAddressSetting::List);
  message::CheckAddressSetting(AddressSettings.Bcc, Bcc, message::TAddressSetting::List);
  mail.From.SetText(From);
  mail.Subject = Subject;
  mail.SubjectUtf8 = Utf8.Subject;
  mail.Recipients.SetListText(To);
  mail.CCList.SetListText(Cc);
  mail.BccList.SetListText(Bcc);
  if (Utf8.From) FromUtf8Items(mail.From);
  if (Utf8.To) FromUtf8Items(mail.Recipients);
  if (Utf8.Cc) FromUtf8Items(mail.CCList);
  if (Utf8.Bcc) FromUtf8Items(mail.BccList);
  if (mail.Recipients.empty() && mail.CCList.empty() && mail.BccList.empty())
    throw ESendError(platform::TUtf8Message{"Kein Empfänger angegeben."});
  mail.CharSet = CharSet;
  mail.ContentType = IsHtml ? "text/html" : "text/plain";
  mail.BodyText = Body;
  if (message::NeedsQuotedPrintable(Body, message::BodyInIso2022JP(mail)))
    mail.ContentTransferEncoding = message::kQuotedPrintable;
  mail.Priority = MessagePriority(Priority);
  if (!Attachments.empty()) {
    mail.Attachments = Attachments;
    mail.Boundary = message::ChooseBoundary(mail);
  }
  if (!InlineImages.empty()) {
    mail.InlineImages = InlineImages;
    mail.RelatedBoundary = message::ChooseRelatedBoundary(mail);
  }
}

void EMail::Send() {
  const smtp::TEncryption encryption = EncryptionOf(Encryption);
  DataEndSent = false;
  smtp::TIdSMTP client;
  const smtp::THostPort server =
      smtp::SplitHostPort(Host, encryption == smtp::TEncryption::Implicit ? kImplicitTlsPort : Port);
  client.SetHost(server.Host);
  client.SetPort(server.Port);
  client.SetEncryption(encryption);
  client.SetCaFile(CaFile);
  client.SetRequireLogin(true);
  if (!Username.empty()) {
    client.SetAuthenticationType(smtp::atLogin);
    client.SetUsername(Username);
    client.SetPassword(Password);
  } else {
    client.SetAuthenticationType(smtp::atNone);
  }
  client.SetReplyTimeout(smtp::kMailReplyTimeoutMs);
  client.SetWaitHook(WaitHook);

  message::TIdMessage mail;
  FillMessage(mail);

  client.OpenSession(-1);
  try {
    client.SubmitMessage(mail);
  } catch (...) {
    DataEndSent = client.DataEndSent();
    // A failure of the close replaces the one being handled.
    client.CloseSession();
    throw;
  }
  DataEndSent = true;
  client.CloseSession();
  RecipientCount = mail.Recipients.Count() + mail.CCList.Count() + mail.BccList.Count();
}

void EMail::WriteTo(message::TIdLineWriter& out) {
  message::TIdMessage mail;
  FillMessage(mail);
  message::WriteMessage(out, mail);
  RecipientCount = mail.Recipients.Count() + mail.CCList.Count() + mail.BccList.Count();
}

}  // namespace vornetta::dispatch
