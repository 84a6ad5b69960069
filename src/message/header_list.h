// An ordered list of header lines: entries of name, ": " and value, folded at
// 78 columns when stored, continuation lines beginning with a space or a TAB.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "message/header_encoding.h"

namespace vornetta::message {

class TIdHeaderList {
 public:
  std::string Separator = ": ";
  bool FoldingEnabled = true;
  std::size_t FoldWidth = kFoldWidth;

  // Replaces the entry `name` (compared without regard to case, with all its
  // continuation lines) in place, appends it when absent, removes it when
  // `value` is empty. CR and LF in the value that do not start a continuation
  // line become blanks, so a value can never add a header line of its own.
  void SetHeaderValue(std::string_view name, std::string_view value);

  // The value of the entry `name`, continuation lines joined by their CR LF;
  // empty when absent.
  std::string HeaderValue(std::string_view name) const;

  // Appends lines as they are (used to copy another list's lines).
  void AddLines(const std::vector<std::string>& lines);

  const std::vector<std::string>& Lines() const { return lines_; }
  std::size_t Count() const { return lines_.size(); }
  void Clear() { lines_.clear(); }

 private:
  // Index of the first line of the entry `name`, or Count() when absent.
  std::size_t FindEntry(std::string_view name) const;
  // Index after the last continuation line of the entry starting at `first`.
  std::size_t EntryEnd(std::size_t first) const;

  std::vector<std::string> lines_;
};

}  // namespace vornetta::message
