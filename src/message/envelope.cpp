#include "message/envelope.h"

#include "message/address_check.h"

#include <idn2.h>

#include <cstdlib>

namespace vornetta::message {

bool IsAsciiText(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string EnvelopeAddress(const std::string& utf8Address, const std::string& setting) {
  const std::size_t at = utf8Address.rfind('@');
  if (at == std::string::npos || IsAsciiText(std::string_view(utf8Address).substr(at + 1))) return utf8Address;
  const std::string domain = utf8Address.substr(at + 1);
  char* ascii = nullptr;
  // Nontransitional: "ß" and the like stay themselves, as in today's registries.
  const int rc = idn2_to_ascii_8z(domain.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK) {
    std::free(ascii);
    throw EEnvelopeAddressError("Die Domain von " + utf8Address + " ist kein gültiger Name " +
                                AddressSettingNote(setting));
  }
  std::string result = utf8Address.substr(0, at + 1) + ascii;
  idn2_free(ascii);
  return result;
}

}  // namespace vornetta::message
