// Cutting a body text into lines without copying it: the lines are views into
// the text, handed out one at a time.
#pragma once

#include <cstring>
#include <string_view>

namespace vornetta::message {

// The offset of the first CR or LF at or after start, or npos. Two memchr scans
// instead of string_view::find_first_of, which tests every byte against the set
// one call at a time: on a report of many megabytes that was most of the cost.
inline std::size_t FindLineBreak(std::string_view text, std::size_t start) {
  if (start >= text.size()) return std::string_view::npos;
  const char* begin = text.data() + start;
  const std::size_t length = text.size() - start;
  const void* lf = std::memchr(begin, '\n', length);
  const std::size_t lfAt = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : length;
  const void* cr = std::memchr(begin, '\r', lfAt);
  if (cr) return start + static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
  return lf ? start + lfAt : std::string_view::npos;
}

// Calls each(line) for every line of text, split at CR LF, CR or LF. An empty
// text gives no line and a break at the very end adds no empty line, so the
// text's own bytes reach the server exactly.
template <class Each>
void ForEachBodyLine(std::string_view text, Each&& each) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = FindLineBreak(text, start);
    if (end == std::string_view::npos) {
      each(text.substr(start));
      return;
    }
    each(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

}  // namespace vornetta::message
