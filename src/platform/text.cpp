#include "platform/text.h"

#include <cstring>

namespace vornetta::platform {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToUpperAscii(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Two memchr scans instead of string_view::find_first_of, which tests every byte
// against the set one call at a time: on a report of many megabytes that was
// most of the cost of cutting it into lines.
std::size_t FindLineBreak(std::string_view text, std::size_t start) {
  if (start >= text.size()) return std::string_view::npos;
  const char* begin = text.data() + start;
  const std::size_t length = text.size() - start;
  const void* lf = std::memchr(begin, '\n', length);
  const std::size_t lfAt = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : length;
  const void* cr = std::memchr(begin, '\r', lfAt);
  if (cr) return start + static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
  return lf ? start + lfAt : std::string_view::npos;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

std::string LineBreaksToSpaces(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);  // callers often add one more blank
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t brk = FindLineBreak(text, start);
    if (brk == std::string_view::npos) {
      out.append(text.substr(start));
      break;
    }
    out.append(text.substr(start, brk - start)) += ' ';
    start = AfterLineBreak(text, brk);
  }
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  result.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(from, start)) != std::string_view::npos; start = at + from.size()) {
    result.append(text.substr(start, at - start)).append(to);
  }
  result.append(text.substr(start));
  return result;
}

}  // namespace vornetta::platform
