#include "commands/secret_mask.h"

#include "platform/text.h"

namespace vornetta::commands {
namespace {

constexpr auto npos = std::string_view::npos;

bool IsPasswordKey(std::string_view key) {
  key = platform::TrimIf(key, [](char c) { return c == ' '; });
  for (std::string_view name : {"pwd", "password", "passwd", "passwort"})
    if (platform::EndsWithNoCase(key, name)) return true;
  return false;
}

// Where the value starting at `pos` ends: at the next ";" or closing quote of
// the surrounding properties, a value in braces only after its "}".
std::size_t ValueEnd(std::string_view text, std::size_t pos) {
  std::size_t scan = pos;
  while (scan < text.size() && text[scan] == ' ') ++scan;
  if (scan < text.size() && text[scan] == '{') {
    const std::size_t close = text.find('}', scan);
    if (close == npos) return text.size();
    scan = close + 1;
  }
  const std::size_t end = text.find_first_of(";\"", scan);
  return end == npos ? text.size() : end;
}

}  // namespace

std::string MaskPasswords(std::string_view text) {
  std::string masked;
  masked.reserve(text.size());
  std::size_t pos = 0;  // always at the start of a key
  while (pos < text.size()) {
    const std::size_t stop = text.find_first_of("=;\"", pos);
    if (stop == npos || text[stop] != '=') {
      const std::size_t next = stop == npos ? text.size() : stop + 1;
      masked.append(text.substr(pos, next - pos));
      pos = next;
      continue;
    }
    masked.append(text.substr(pos, stop + 1 - pos));
    const bool secret = IsPasswordKey(text.substr(pos, stop - pos));
    pos = stop + 1;
    if (secret) {
      masked += "***";
      pos = ValueEnd(text, pos);
    }
  }
  return masked;
}

}  // namespace vornetta::commands
