// The result tables of a build as CSV texts, one per select statement, for the
// mail's attachments: UTF-8 with byte-order mark, ";" between fields, CR LF
// after every record, fields quoted by RFC 4180 rules. Written row by row while
// the report is built, so no statement runs twice. A text that a spreadsheet
// program would take for a formula gets a leading "'".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/byte_buffer.h"

namespace vornetta::report {

// What a field holds: a text may be taken for a formula, a number of a numeric
// column (with its minus sign) may not.
enum class TCsvValue { Text, Number };

class TCsvTables {
 public:
  // Starts the next table, named fileName among the attachments: its text
  // begins with the byte-order mark.
  void StartTable(std::string fileName = {});
  // Appends one field of the current record; fields of one record are separated by ";".
  void AddField(std::string_view value, TCsvValue kind = TCsvValue::Text);
  // Ends the current record with CR LF.
  void EndRecord();

  // The tables in statement order, UTF-8.
  std::size_t Count() const { return tables_.size(); }
  std::string_view Table(std::size_t i) const { return tables_[i].View(); }
  // The file name given to StartTable of table i.
  const std::string& FileName(std::size_t i) const { return fileNames_[i]; }
  // Keeps only the tables for which keep(i) is true, in their order.
  template <typename Keep>
  void KeepOnly(Keep&& keep) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < tables_.size(); ++i) {
      if (!keep(i)) continue;
      if (kept != i) {
        tables_[kept] = std::move(tables_[i]);
        fileNames_[kept] = std::move(fileNames_[i]);
      }
      ++kept;
    }
    tables_.resize(kept);
    fileNames_.resize(kept);
  }
  bool Empty() const { return tables_.empty(); }
  // Drops every table and gives its memory back.
  void Clear();

 private:
  // Grown in place (see TByteBuffer): a table that holds a large value is
  // never copied to grow.
  std::vector<platform::TByteBuffer> tables_;
  std::vector<std::string> fileNames_;
  bool recordStarted_ = false;
};

// A field as RFC 4180 writes it: in double quotes, inner quotes doubled, when
// it holds ";", a double quote, CR or LF; else unchanged.
std::string CsvField(std::string_view utf8);

// True for a text a spreadsheet program reads as a formula: one that begins
// with "=", "+", "-", "@", a tab or CR.
bool LooksLikeFormula(std::string_view text);

}  // namespace vornetta::report
