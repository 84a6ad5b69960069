// Small byte-text helpers every library shares: trimming, ASCII letter case,
// line breaks, replacing and integer texts. They work on bytes of any code page:
// only ASCII letters change case, and no byte above 127 is ever touched.
#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vornetta::platform {

// ---- Trimming ---------------------------------------------------------------

// Every byte up to the space: control characters, CR, LF, TAB and the space itself.
constexpr bool IsControlOrSpace(char c) { return static_cast<unsigned char>(c) <= ' '; }
// Only the space and the TAB, the blanks of a line.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text without the bytes at either end for which drop(byte) holds.
template <class Drop>
constexpr std::string_view TrimIf(std::string_view text, Drop drop) {
  while (!text.empty() && drop(text.front())) text.remove_prefix(1);
  while (!text.empty() && drop(text.back())) text.remove_suffix(1);
  return text;
}

// Without control characters and spaces at either end (line breaks go too).
constexpr std::string_view Trim(std::string_view text) { return TrimIf(text, IsControlOrSpace); }
constexpr std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsControlOrSpace(text.front())) text.remove_prefix(1);
  return text;
}
// Without spaces and TABs at either end; other control characters stay.
constexpr std::string_view TrimBlanks(std::string_view text) { return TrimIf(text, IsBlank); }

// ---- ASCII letter case -------------------------------------------------------

constexpr char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);

// Compared with ASCII letters folded; every other byte must match exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// ---- Line breaks -------------------------------------------------------------

// The offset of the first CR or LF at or after start, or npos.
std::size_t FindLineBreak(std::string_view text, std::size_t start = 0);

// The offset just after the break at `at` (a CR or LF there): a CR LF pair is one break.
constexpr std::size_t AfterLineBreak(std::string_view text, std::size_t at) {
  return at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
}

// What a break at the very end of a text means.
enum class FinalBreak {
  EndsLastLine,     // "a\r\n" is one line; an empty text has none (files, bodies)
  StartsEmptyLine,  // "a\r\n" is "a" and ""; an empty text is one empty line (a value sent as lines)
};

// Calls each(line) for every line of text, the lines split at CR LF, CR or LF
// and handed out as views into text.
template <class Each>
void ForEachLine(std::string_view text, Each&& each, FinalBreak final = FinalBreak::EndsLastLine) {
  std::size_t start = 0;
  while (start < text.size() || (final == FinalBreak::StartsEmptyLine && start == text.size())) {
    const std::size_t end = FindLineBreak(text, start);
    if (end == std::string_view::npos) {
      each(text.substr(start));
      return;
    }
    each(text.substr(start, end - start));
    start = AfterLineBreak(text, end);
  }
}

// The lines of a text as ForEachLine(text, ..., FinalBreak::EndsLastLine) finds them.
std::vector<std::string_view> SplitLines(std::string_view text);

// The text with each line break (CR LF, CR or LF) replaced by one space.
std::string LineBreaksToSpaces(std::string_view text);

// ---- Replacing ---------------------------------------------------------------

// Every occurrence of `from` (not empty) replaced by `to`, scanning on after each replacement.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// ---- Integer texts -----------------------------------------------------------

// The decimal text of an integer, held without allocating ("-12", "0").
class TDecimalText {
 public:
  template <class Integer>
  explicit TDecimalText(Integer value)
      : size_(static_cast<std::size_t>(std::to_chars(digits_, digits_ + sizeof digits_, value).ptr - digits_)) {}
  std::string_view View() const { return {digits_, size_}; }
  operator std::string_view() const { return View(); }

 private:
  char digits_[24];  // room for every 64-bit value and its sign
  std::size_t size_;
};

template <class Integer>
std::string DecimalText(Integer value) {
  return std::string(TDecimalText(value).View());
}

// The whole text read as an integer of the base ("-" allowed for signed types,
// no "+", no blanks); nothing when it is empty, holds anything else or is out of range.
template <class Integer>
std::optional<Integer> ParseInteger(std::string_view text, int base = 10) {
  Integer value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace vornetta::platform
