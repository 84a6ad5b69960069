#include "config/ini_document.h"

#include <algorithm>
#include <unordered_set>

#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::config::detail {

namespace {

using platform::EqualsNoCase;
using platform::FindLineBreak;
using platform::TrimBlanks;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlankLine(std::string_view text) { return TrimBlanks(text).empty(); }

}  // namespace

IniDocument::IniDocument(std::string bytes) : source_(std::move(bytes)) {
  std::string_view rest(source_);
  lines_.reserve(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')) + 1);
  // An editor may have put a UTF-8 byte order mark in front; it stays, but the
  // first line is read without it.
  std::size_t start = rest.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  byteOrderMark_ = start != 0;
  platform::ForEachLine(rest.substr(start), [this](std::string_view line) { lines_.push_back(Classify(line)); });
}

IniDocument::Line IniDocument::Classify(std::string_view text) {
  Line line;
  line.text = text;
  std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty() || trimmed.front() == ';') return line;

  if (trimmed.front() == '[') {
    std::size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      std::string_view name = TrimBlanks(trimmed.substr(1, close - 1));
      line.kind = Kind::Section;
      line.nameBegin = static_cast<std::size_t>(name.data() - text.data());
      line.nameLength = name.size();
      return line;
    }
  }

  std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return line;
  std::string_view key = TrimBlanks(trimmed.substr(0, equals));
  std::string_view value = TrimBlanks(trimmed.substr(equals + 1));
  line.kind = Kind::Entry;
  line.nameBegin = static_cast<std::size_t>(key.data() - text.data());
  line.nameLength = key.size();
  line.valueBegin = static_cast<std::size_t>(value.data() - text.data());
  line.valueLength = value.size();
  return line;
}

IniDocument::Line IniDocument::NewLine(std::string text) {
  owned_.push_back(std::move(text));
  return Classify(owned_.back());
}

IniDocument::Line IniDocument::EntryLine(std::string_view key, std::string_view rawValue) {
  std::string text;
  text.reserve(key.size() + 1 + rawValue.size());
  text.append(key).append(1, '=').append(rawValue);
  return NewLine(std::move(text));
}

void IniDocument::ConvertToUtf8() {
  if (byteOrderMark_) return;
  for (Line& line : lines_) line = NewLine(platform::ToUtf8(line.text));
  byteOrderMark_ = true;
  modified_ = true;
}

std::string IniDocument::Serialize() const {
  std::size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + 2;
  std::string bytes;
  bytes.reserve(size + kByteOrderMark.size());
  if (byteOrderMark_) bytes.append(kByteOrderMark);
  for (const Line& line : lines_) bytes.append(line.text).append("\r\n");
  return bytes;
}

template <typename Visit>
void IniDocument::ForEachEntry(std::string_view section, Visit visit) const {
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Section) {
      inside = EqualsNoCase(line.Name(), section);
    } else if (inside && line.kind == Kind::Entry) {
      if (!visit(i, line)) return;
    }
  }
}

std::optional<std::string_view> IniDocument::RawValue(std::string_view section,
                                                      std::string_view key) const {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  std::optional<std::string_view> found;
  ForEachEntry(section, [&](std::size_t, const Line& line) {
    if (!EqualsNoCase(line.Name(), key)) return true;
    found = line.Value();
    return false;
  });
  return found;
}

std::vector<IniDocument::Entry> IniDocument::Entries(std::string_view section) const {
  section = TrimBlanks(section);
  std::vector<Entry> entries;
  std::unordered_set<std::string> seen;
  ForEachEntry(section, [&](std::size_t, const Line& line) {
    if (seen.insert(platform::LowerAscii(line.Name())).second) entries.emplace_back(line.Name(), line.Value());
    return true;
  });
  return entries;
}

bool IniDocument::CanStore(std::string_view section, std::string_view key,
                           std::string_view rawValue) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  // Anything else would read back as a different section, key or line.
  if (section.empty() || FindLineBreak(section) != std::string_view::npos ||
      section.find(']') != std::string_view::npos) {
    return false;
  }
  if (key.empty() || FindLineBreak(key) != std::string_view::npos || key.find('=') != std::string_view::npos) {
    return false;
  }
  if (key.front() == '[' || key.front() == ';') return false;
  return FindLineBreak(rawValue) == std::string_view::npos;
}

std::size_t IniDocument::InsertionPoint(std::string_view section) const {
  std::size_t i = 0;
  while (i < lines_.size() &&
         !(lines_[i].kind == Kind::Section && EqualsNoCase(lines_[i].Name(), section))) {
    ++i;
  }
  if (i == lines_.size()) return std::string::npos;
  std::size_t lastFilled = i;
  for (++i; i < lines_.size() && lines_[i].kind != Kind::Section; ++i) {
    if (!IsBlankLine(lines_[i].text)) lastFilled = i;
  }
  return lastFilled + 1;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view rawValue) {
  if (!CanStore(section, key, rawValue)) return false;
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  rawValue = TrimBlanks(rawValue);

  std::size_t existing = std::string::npos;
  ForEachEntry(section, [&](std::size_t index, const Line& line) {
    if (!EqualsNoCase(line.Name(), key)) return true;
    existing = index;
    return false;
  });
  if (existing != std::string::npos) {
    // The file's own spelling of the key stays.
    Line& line = lines_[existing];
    std::string text;
    text.append(line.Name()).append(1, '=').append(rawValue);
    if (text != line.text) {
      line = NewLine(std::move(text));
      modified_ = true;
    }
    return true;
  }
  return Append(section, {{std::string(key), std::string(rawValue)}});
}

bool IniDocument::Append(std::string_view section,
                         const std::vector<std::pair<std::string, std::string>>& entries) {
  for (const auto& [key, value] : entries) {
    if (!CanStore(section, key, value)) return false;
  }
  if (entries.empty()) return true;
  section = TrimBlanks(section);

  std::vector<Line> added;
  added.reserve(entries.size() + 2);
  std::size_t at = InsertionPoint(section);
  if (at == std::string::npos) {
    if (!lines_.empty() && !IsBlankLine(lines_.back().text)) added.push_back(Classify(std::string_view()));
    added.push_back(NewLine("[" + std::string(section) + "]"));
    at = lines_.size();
  }
  for (const auto& [key, value] : entries) added.push_back(EntryLine(TrimBlanks(key), TrimBlanks(value)));
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
  modified_ = true;
  return true;
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  std::vector<bool> drop(lines_.size(), false);
  bool any = false;
  ForEachEntry(section, [&](std::size_t index, const Line& line) {
    if (EqualsNoCase(line.Name(), key)) drop[index] = any = true;
    return true;
  });
  if (any) DropLines(drop);
  return any;
}

void IniDocument::Clear(std::string_view section) {
  section = TrimBlanks(section);
  std::vector<bool> drop(lines_.size(), false);
  ForEachEntry(section, [&](std::size_t index, const Line&) {
    drop[index] = true;
    return true;
  });
  DropLines(drop);
}

void IniDocument::DropLines(const std::vector<bool>& drop) {
  std::size_t kept = 0;
  if (std::find(drop.begin(), drop.end(), true) == drop.end()) return;
  modified_ = true;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (drop[i]) continue;
    if (kept != i) lines_[kept] = std::move(lines_[i]);
    ++kept;
  }
  lines_.resize(kept);
}

}  // namespace vornetta::config::detail
