#include "message/header_charset.h"

#include <cstring>

#include "platform/code_page.h"

namespace vornetta::message {
namespace {

constexpr std::string_view kLatin1Label = "ISO-8859-1";
constexpr std::string_view kLatin9Label = "ISO-8859-15";

bool LabelsLatin9AsLatin1(const THeaderEncoding& how) {
  return how.CharSet == kLatin1Label && std::strcmp(platform::SystemCodePage(), "ISO-8859-15") == 0;
}

}  // namespace

bool HoldsLatin9OnlyCharacter(std::string_view text) {
  for (unsigned char c : text) {
    switch (c) {
      case 0xA4: case 0xA6: case 0xA8: case 0xB4: case 0xB8: case 0xBC: case 0xBD: case 0xBE: return true;
      default: break;
    }
  }
  return false;
}

THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, std::string_view text) {
  if (!LabelsLatin9AsLatin1(how) || !HoldsLatin9OnlyCharacter(text)) return how;
  THeaderEncoding latin9 = how;
  latin9.CharSet = kLatin9Label;
  return latin9;
}

THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, const TIdEMailAddressItem& item) {
  std::string name;
  return platform::FromUtf8Exact(item.Name, name) ? HeaderEncodingFor(how, std::string_view(name)) : how;
}

THeaderEncoding HeaderEncodingFor(const THeaderEncoding& how, const TIdEMailAddressList& list) {
  std::string name;
  for (const TIdEMailAddressItem& item : list)
    if (platform::FromUtf8Exact(item.Name, name) && HoldsLatin9OnlyCharacter(name)) return HeaderEncodingFor(how, name);
  return how;
}

}  // namespace vornetta::message
