#include "platform/safe_text.h"

#include "platform/code_page.h"

namespace vornetta::platform {

std::string ReplaceControlCharacters(std::string_view text) {
  // The double-byte code pages use 0x80-0x9F as lead and trail bytes, and no byte below 0x40 as a trail.
  const bool latin = SystemLanguage() == Language::Other;
  std::string safe(text);
  for (char& c : safe) {
    const auto b = static_cast<unsigned char>(c);
    const bool c0 = b < 0x20 && b != '\t' && b != '\r' && b != '\n';
    if (c0 || b == 0x7F || (latin && b >= 0x80 && b <= 0x9F)) c = '?';
  }
  return safe;
}

std::string ReplaceControlCharactersUtf8(std::string_view utf8) {
  std::string safe;
  safe.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const bool c0 = b < 0x20 && b != '\t' && b != '\r' && b != '\n';
    // U+0080-U+009F: C2 followed by 80-9F.
    const bool c1 = b == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F &&
                    static_cast<unsigned char>(utf8[i + 1]) >= 0x80;
    if (c0 || b == 0x7F) {
      safe += '?';
    } else if (c1) {
      safe += '?';
      ++i;
    } else {
      safe += utf8[i];
    }
  }
  return safe;
}

}  // namespace vornetta::platform
