// The message object: sender, recipients, subject, content type, body (lines or
// a view over a text), priority, date and extra headers, and the header block
// built from them.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "message/address.h"
#include "message/envelope.h"
#include "message/header_encoding.h"
#include "message/header_list.h"
#include "message/internet_date.h"

namespace vornetta::message {

enum TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };
enum TIdMessageEncoding { meDefault, meMIME };

// A file sent after the body, base64 encoded. Data is not owned: it must stay
// valid until the message has been written.
struct TIdAttachment {
  std::string FileName;     // plain ASCII, no quotes
  std::string ContentType;  // with its parameters, e.g. text/csv; charset="UTF-8"
  std::string_view Data;
};

// An image the HTML body shows through "cid:" (RFC 2392), sent base64 in the
// body's multipart/related part. Data is not owned, as for attachments.
struct TIdInlineImage {
  std::string ContentId;    // without angle brackets
  std::string FileName;     // plain ASCII, no quotes
  std::string ContentType;  // e.g. image/png
  std::string_view Data;
};

// May change the header encoding chosen from the system language.
using TIdInitializeIsoEvent = std::function<void(TTransfer& transfer, char& encoding, std::string& charSet)>;

// Where the "Date" header takes "now" from; tests replace both functions.
struct TIdClock {
  std::function<TDateTime()> Now = LocalNow;
  std::function<std::chrono::minutes()> UtcOffset = LocalUtcOffset;
};

class TIdMessage {
 public:
  TIdEMailAddressItem From;
  TIdEMailAddressList Recipients;
  TIdEMailAddressList CCList;
  TIdEMailAddressList BccList;
  // Set when an address goes beyond ASCII: MAIL FROM and RCPT TO use it instead
  // of the addresses above.
  std::optional<TEnvelope> Envelope;
  std::string Subject;
  std::string CharSet;
  std::string ContentType;
  std::string ContentTransferEncoding;
  std::vector<std::string> Body;
  // The body as one text that the message only looks at (lines end in CR LF, CR
  // or LF); when set it is written instead of Body and must outlive the writing.
  std::optional<std::string_view> BodyText;
  TIdMessagePriority Priority = mpNormal;
  TDateTime Date;  // zero: the moment the header is built
  TIdHeaderList ExtraHeaders;
  TIdEMailAddressItem Sender;
  TIdEMailAddressItem ReceiptRecipient;
  TIdEMailAddressList ReplyTo;
  std::string Organization;
  std::string References;
  std::vector<std::string> NewsGroups;
  TIdMessageEncoding Encoding = meMIME;
  bool NoEncode = false;
  TIdInitializeIsoEvent OnInitializeISO;
  TIdClock Clock;
  // With attachments the mail is multipart/mixed: the body (ContentType,
  // CharSet) is its first part, then each attachment. Boundary separates the
  // parts and must occur in none of them (ChooseBoundary, multipart_writer.h).
  std::vector<TIdAttachment> Attachments;
  std::string Boundary;
  // With inline images the body and the images go as multipart/related (RFC
  // 2387), inside multipart/mixed when there are attachments too. Its boundary
  // must occur in no part and differ from Boundary (ChooseRelatedBoundary).
  std::vector<TIdInlineImage> InlineImages;
  std::string RelatedBoundary;

  // True exactly when Date is zero.
  bool UseNowForDate() const { return Date.IsZero(); }
  // Setting true clears Date; setting false takes the clock's time now.
  void SetUseNowForDate(bool useNow);

  // Back to the values after creation (the clock stays).
  void Clear();

  // The complete header block. Throws EIdFailedToRetreiveTimeZoneInfo.
  TIdHeaderList BuildHeaderLines() const;

  // The header encoding from the system language, after OnInitializeISO.
  THeaderEncoding HeaderEncoding() const;
};

// The value of a Content-Type header: the type, and the charset parameter on a
// continuation line of its own when charSet is not empty.
std::string ContentTypeValue(const std::string& contentType, const std::string& charSet);

}  // namespace vornetta::message
