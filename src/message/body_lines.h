// Cutting a body text into lines without copying it: the lines are views into
// the text, handed out one at a time.
#pragma once

#include <string_view>

namespace vornetta::message {

// Calls each(line) for every line of text, split at CR LF, CR or LF. An empty
// text gives no line and a break at the very end adds no empty line, so the
// text's own bytes reach the server exactly.
template <class Each>
void ForEachBodyLine(std::string_view text, Each&& each) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      each(text.substr(start));
      return;
    }
    each(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

}  // namespace vornetta::message
