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

}  // namespace vornetta::platform
