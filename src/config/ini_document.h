// The INI format in memory: the file's lines, looked up and edited by section
// and key. Knows nothing of files, escaping or quotes; TMyIniFile loads one per
// operation, edits it and stores it whole.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vornetta::config::detail {

// Rules of the format:
// - Lines end in CR LF, LF or CR; the text ends after the last line's end or
//   without one. Serialize writes every line followed by CR LF.
// - "[name]" (blanks around it allowed) begins a section; a line whose first
//   non-blank character is ";" is a comment; any other line with "=" is an entry,
//   its key the text before the first "=", its value the text after it, both
//   trimmed of blanks. Other lines, and entries before the first section, are
//   kept but never looked up.
// - Names compare with ASCII letters folded. Several sections of one name act as
//   one section in file order; of several entries of one key the first wins.
class IniDocument {
 public:
  using Entry = std::pair<std::string_view, std::string_view>;  // key, raw value

  // Takes the file's bytes; lines that are not edited stay views into them.
  explicit IniDocument(std::string bytes);
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  std::string Serialize() const;

  // True when the text began with the UTF-8 byte-order mark: its values are UTF-8.
  bool HasByteOrderMark() const { return byteOrderMark_; }
  // Turns a code-page text into UTF-8 with the byte-order mark, every line
  // converted; nothing happens to a text that is UTF-8 already.
  void ConvertToUtf8();

  // True once an edit changed a line; a file that is not changed is not rewritten.
  bool Modified() const { return modified_; }

  // The value as stored (trimmed, quotes kept), or nothing when the key is missing.
  std::optional<std::string_view> RawValue(std::string_view section, std::string_view key) const;

  // The section's entries in file order, each key once with its first value.
  std::vector<Entry> Entries(std::string_view section) const;

  // Replaces the value of the key's first entry where it stands, else appends
  // the entry at the end of the section's first occurrence (after its last
  // non-blank line), else appends the section at the end of the text.
  // Returns false, changing nothing, when the names or the value cannot be
  // stored as one line (see CanStore).
  bool Set(std::string_view section, std::string_view key, std::string_view rawValue);

  // Appends entries, all known to be missing from the section, as Set would one by one.
  bool Append(std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries);

  // Removes every entry of the key in the section; true when one was removed.
  bool Remove(std::string_view section, std::string_view key);

  // Removes every entry of the section; the section lines stay.
  void Clear(std::string_view section);

  static bool CanStore(std::string_view section, std::string_view key, std::string_view rawValue);

 private:
  enum class Kind { Other, Section, Entry };
  struct Line {
    std::string_view text;  // into source_ or owned_
    Kind kind = Kind::Other;
    std::size_t nameBegin = 0;  // section name or key, within text
    std::size_t nameLength = 0;
    std::size_t valueBegin = 0;  // entries only: trimmed value, within text
    std::size_t valueLength = 0;

    std::string_view Name() const { return text.substr(nameBegin, nameLength); }
    std::string_view Value() const { return text.substr(valueBegin, valueLength); }
  };

  static Line Classify(std::string_view text);
  // A new line whose text the document keeps.
  Line NewLine(std::string text);
  Line EntryLine(std::string_view key, std::string_view rawValue);

  // Calls visit(index, line) for every entry line inside a section of the name.
  template <typename Visit>
  void ForEachEntry(std::string_view section, Visit visit) const;

  // Where a new entry of the section goes; npos when the section has no line.
  std::size_t InsertionPoint(std::string_view section) const;

  void DropLines(const std::vector<bool>& drop);

  std::string source_;
  std::deque<std::string> owned_;  // a deque never moves its elements, so views stay valid
  std::vector<Line> lines_;
  bool byteOrderMark_ = false;
  bool modified_ = false;
};

}  // namespace vornetta::config::detail
