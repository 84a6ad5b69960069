// Header lines. An entry is its first line and every following line that begins
// with a space or a TAB.
#include "message/header_list.h"
#include "platform/text.h"

#include <limits>

namespace vornetta::message {
namespace {

bool IsContinuation(const std::string& line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

bool StartsWithName(const std::string& line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' && platform::StartsWithNoCase(line, name);
}

}  // namespace

std::size_t TIdHeaderList::FindEntry(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (!IsContinuation(lines_[i]) && StartsWithName(lines_[i], name)) return i;
  return lines_.size();
}

std::size_t TIdHeaderList::EntryEnd(std::size_t first) const {
  std::size_t end = first + 1;
  while (end < lines_.size() && IsContinuation(lines_[end])) ++end;
  return end;
}

void TIdHeaderList::SetHeaderValue(std::string_view name, std::string_view value) {
  const std::size_t first = FindEntry(name);
  const std::size_t end = first < lines_.size() ? EntryEnd(first) : first;
  if (value.empty()) {
    lines_.erase(lines_.begin() + first, lines_.begin() + end);
    return;
  }
  std::string entry;
  entry.reserve(name.size() + Separator.size() + value.size());
  entry.append(name).append(Separator).append(value);
  // Without folding only existing breaks split the entry.
  std::vector<std::string> entryLines =
      FoldHeaderLine(entry, FoldingEnabled ? FoldWidth : std::numeric_limits<std::size_t>::max());
  if (first < lines_.size()) {
    lines_.erase(lines_.begin() + first, lines_.begin() + end);
    lines_.insert(lines_.begin() + first, std::make_move_iterator(entryLines.begin()),
                  std::make_move_iterator(entryLines.end()));
  } else {
    lines_.insert(lines_.end(), std::make_move_iterator(entryLines.begin()),
                  std::make_move_iterator(entryLines.end()));
  }
}

std::string TIdHeaderList::HeaderValue(std::string_view name) const {
  const std::size_t first = FindEntry(name);
  if (first == lines_.size()) return {};
  std::string value = lines_[first].substr(name.size() + 1);
  if (!value.empty() && value[0] == ' ') value.erase(0, 1);
  for (std::size_t i = first + 1, end = EntryEnd(first); i < end; ++i) value.append("\r\n").append(lines_[i]);
  return value;
}

void TIdHeaderList::AddLines(const std::vector<std::string>& lines) {
  lines_.insert(lines_.end(), lines.begin(), lines.end());
}

}  // namespace vornetta::message
