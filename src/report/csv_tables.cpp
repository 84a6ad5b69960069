#include "report/csv_tables.h"

#include "platform/code_page.h"

namespace vornetta::report {

std::string CsvField(std::string_view utf8) {
  if (utf8.find_first_of(";\"\r\n") == std::string_view::npos) return std::string(utf8);
  std::string quoted;
  quoted.reserve(utf8.size() + 2);
  quoted += '"';
  for (const char c : utf8) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

void TCsvTables::StartTable() {
  tables_.emplace_back("\xEF\xBB\xBF");
  recordStarted_ = false;
}

void TCsvTables::AddField(std::string_view value, bool utf8) {
  std::string& table = tables_.back();
  if (recordStarted_) table += ';';
  table += CsvField(utf8 ? std::string(value) : platform::ToUtf8(value));
  recordStarted_ = true;
}

void TCsvTables::EndRecord() {
  tables_.back() += "\r\n";
  recordStarted_ = false;
}

void TCsvTables::Clear() {
  std::vector<std::string>().swap(tables_);
  recordStarted_ = false;
}

}  // namespace vornetta::report
