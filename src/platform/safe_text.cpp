#include "platform/safe_text.h"

namespace vornetta::platform {

std::string ReplaceControlCharacters(std::string_view utf8) {
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
