// The result tables of a build as CSV texts, one per select statement, for the
// mail's attachments: UTF-8 with byte-order mark, ";" between fields, CR LF
// after every record, fields quoted by RFC 4180 rules. Written row by row while
// the report is built, so no statement runs twice.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vornetta::report {

class TCsvTables {
 public:
  // Starts the next table: its text begins with the byte-order mark.
  void StartTable();
  // Appends one field of the current record; `value` is in the system code
  // page, or UTF-8 already when `utf8` (a text the code page cannot hold).
  // Fields of one record are separated by ";".
  void AddField(std::string_view value, bool utf8 = false);
  // Ends the current record with CR LF.
  void EndRecord();

  // The tables in statement order, UTF-8.
  const std::vector<std::string>& Tables() const { return tables_; }
  bool Empty() const { return tables_.empty(); }
  // Drops every table and gives its memory back.
  void Clear();

 private:
  std::vector<std::string> tables_;
  bool recordStarted_ = false;
};

// A field as RFC 4180 writes it: in double quotes, inner quotes doubled, when
// it holds ";", a double quote, CR or LF; else unchanged.
std::string CsvField(std::string_view utf8);

}  // namespace vornetta::report
