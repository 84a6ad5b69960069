// The SMTP envelope of a mail whose addresses go beyond ASCII: every domain as
// IDNA A-labels, so any server routes it; a local part beyond ASCII can only
// travel with SMTPUTF8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace vornetta::message {

// An address whose domain is no valid internationalized name.
class EEnvelopeAddressError : public platform::EFailure {
 public:
  using EFailure::EFailure;
};

struct TEnvelope {
  std::string From;                     // MAIL FROM
  std::vector<std::string> Recipients;  // RCPT TO, in order
  // The first address whose local part is beyond ASCII (UTF-8) and the setting
  // it came from; empty when there is none and SMTPUTF8 is not needed.
  std::string Utf8Address;
  std::string Utf8Setting;
};

// True when every byte is ASCII.
bool IsAsciiText(std::string_view text);

// A UTF-8 address with its domain as A-labels ("jörg@exämple.com" gives
// "jörg@xn--exmple-cua.com"); the local part stays as it is. An ASCII domain
// is left unchanged. Throws EEnvelopeAddressError naming the setting.
std::string EnvelopeAddress(const std::string& utf8Address, const std::string& setting);

}  // namespace vornetta::message
