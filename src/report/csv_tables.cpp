#include "report/csv_tables.h"

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

bool LooksLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

void TCsvTables::StartTable(std::string fileName) {
  tables_.emplace_back("\xEF\xBB\xBF");
  fileNames_.push_back(std::move(fileName));
  recordStarted_ = false;
}

void TCsvTables::AddField(std::string_view value, TCsvValue kind) {
  std::string& table = tables_.back();
  if (recordStarted_) table += ';';
  std::string field(value);
  if (kind == TCsvValue::Text && LooksLikeFormula(field)) field.insert(0, 1, '\'');
  table += CsvField(field);
  recordStarted_ = true;
}

void TCsvTables::EndRecord() {
  tables_.back() += "\r\n";
  recordStarted_ = false;
}

void TCsvTables::Clear() {
  std::vector<std::string>().swap(tables_);
  std::vector<std::string>().swap(fileNames_);
  recordStarted_ = false;
}

}  // namespace vornetta::report
