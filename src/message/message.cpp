// The message object and its header block.
#include "message/message.h"

#include <string>

#include "message/multipart_writer.h"
#include "message/header_charset.h"
#include "platform/code_page.h"

namespace vornetta::message {
namespace {

constexpr std::string_view kLibraryName = "Vornetta Mail 1.0";

std::string JoinWithCommas(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ',';
    out += item;
  }
  return out;
}

}  // namespace

std::string ContentTypeValue(const std::string& contentType, const std::string& charSet) {
  if (charSet.empty()) return contentType;
  std::string value;
  if (!contentType.empty()) value = contentType + ";\r\n\t";
  value += "charset=\"";
  value += charSet;
  value += '"';
  return value;
}

void TIdMessage::SetUseNowForDate(bool useNow) {
  if (useNow)
    Date = {};
  else if (Date.IsZero())
    Date = Clock.Now ? Clock.Now() : LocalNow();
}

void TIdMessage::Clear() {
  TIdClock clock = std::move(Clock);
  *this = TIdMessage();
  Clock = std::move(clock);
}

THeaderEncoding TIdMessage::HeaderEncoding() const {
  THeaderEncoding how = ChooseHeaderEncoding();
  if (OnInitializeISO) OnInitializeISO(how.Transfer, how.Encoding, how.CharSet);
  return how;
}

TIdHeaderList TIdMessage::BuildHeaderLines() const {
  const std::string contentType = ContentTypeValue(ContentType, CharSet);
  const THeaderEncoding how = HeaderEncoding();
  // The date first: when the time zone cannot be read nothing is built.
  const TDateTime when = Date.IsZero() ? (Clock.Now ? Clock.Now() : LocalNow()) : Date;
  const std::chrono::minutes offset = Clock.UtcOffset ? Clock.UtcOffset() : LocalUtcOffset();

  TIdHeaderList headers;
  headers.SetHeaderValue("From", EncodeAddressForHeader(From, HeaderEncodingFor(how, From)));
  // The subject goes in the code page where it holds it, else as UTF-8 words.
  std::string subject;
  headers.SetHeaderValue("Subject", platform::FromUtf8Exact(Subject, subject)
                                        ? EncodeHeaderWords(subject, "", HeaderEncodingFor(how, subject))
                                        : EncodeHeaderWords(Subject, "", Utf8HeaderEncoding(how)));
  headers.SetHeaderValue("To", EncodeAddressListForHeader(Recipients, HeaderEncodingFor(how, Recipients)));
  headers.SetHeaderValue("Cc", EncodeAddressListForHeader(CCList, HeaderEncodingFor(how, CCList)));
  headers.SetHeaderValue("Newsgroups", JoinWithCommas(NewsGroups));
  if (Encoding == meMIME && (!Attachments.empty() || !InlineImages.empty())) {
    // The body's own type and encoding move into its part (multipart_writer.h).
    headers.SetHeaderValue("MIME-Version", "1.0");
    headers.SetHeaderValue("Content-Type", Attachments.empty() ? RelatedContentType(RelatedBoundary)
                                                               : MultipartContentType(Boundary));
  } else if (Encoding == meMIME) {
    headers.SetHeaderValue("Content-Type", contentType);
    // A single-part body declares the MIME version only with a transfer encoding.
    if (!ContentTransferEncoding.empty()) headers.SetHeaderValue("MIME-Version", "1.0");
    headers.SetHeaderValue("Content-Transfer-Encoding", ContentTransferEncoding);
  }
  headers.SetHeaderValue("Sender", Sender.Text());
  headers.SetHeaderValue("Reply-To", EncodeAddressListForHeader(ReplyTo, HeaderEncodingFor(how, ReplyTo)));
  headers.SetHeaderValue("Organization", EncodeHeaderWords(Organization, "", HeaderEncodingFor(how, Organization)));
  headers.SetHeaderValue("Disposition-Notification-To",
                         EncodeAddressForHeader(ReceiptRecipient, HeaderEncodingFor(how, ReceiptRecipient)));
  headers.SetHeaderValue("References", References);
  headers.SetHeaderValue("Date", FormatInternetDate(when, offset));
  const int priority = Priority >= mpHighest && Priority <= mpLowest ? static_cast<int>(Priority) : mpNormal;
  headers.SetHeaderValue("X-Priority", std::to_string(priority + 1));
  headers.SetHeaderValue("X-Library", kLibraryName);
  headers.AddLines(ExtraHeaders.Lines());
  return headers;
}

}  // namespace vornetta::message
