// The message object: sender, recipients, subject, content type, body lines,
// priority, date and extra headers, and the header block built from them.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "message/address.h"
#include "message/header_encoding.h"
#include "message/header_list.h"
#include "message/internet_date.h"

namespace vornetta::message {

enum TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };
enum TIdMessageEncoding { meDefault, meMIME };

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
  std::string Subject;
  std::string CharSet;
  std::string ContentType;
  std::string ContentTransferEncoding;
  std::vector<std::string> Body;
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

}  // namespace vornetta::message
