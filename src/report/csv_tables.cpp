#include "report/csv_tables.h"

#include <algorithm>

namespace vornetta::report {
namespace {

bool NeedsQuotes(std::string_view text) { return text.find_first_of(";\"\r\n") != std::string_view::npos; }

// The bytes WriteField writes for `prefix` and `text`.
std::size_t FieldBytes(std::string_view prefix, std::string_view text) {
  const bool quoted = NeedsQuotes(prefix) || NeedsQuotes(text);
  const auto quotes = static_cast<std::size_t>(std::ranges::count(prefix, '"') + std::ranges::count(text, '"'));
  return prefix.size() + text.size() + (quoted ? 2 + quotes : 0);
}

// Writes `prefix` and `text` as one field through put(bytes), quoted when
// needed, in pieces straight from the text: no copy of a field is made.
template <class Put>
void WriteField(std::string_view prefix, std::string_view text, Put&& put) {
  const bool quoted = NeedsQuotes(prefix) || NeedsQuotes(text);
  if (quoted) put("\"");
  for (std::string_view part : {prefix, text}) {
    if (!quoted) {
      put(part);
      continue;
    }
    for (std::size_t at = 0; at < part.size();) {
      const std::size_t quote = part.find('"', at);
      const std::size_t end = quote == std::string_view::npos ? part.size() : quote + 1;
      put(part.substr(at, end - at));
      if (quote != std::string_view::npos) put("\"");
      at = end;
    }
  }
  if (quoted) put("\"");
}

}  // namespace

std::string CsvField(std::string_view utf8) {
  std::string field;
  WriteField({}, utf8, [&field](std::string_view bytes) { field += bytes; });
  return field;
}

bool LooksLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

void TCsvTables::StartTable(std::string fileName) {
  tables_.emplace_back();
  tables_.back().Append("\xEF\xBB\xBF");
  fileNames_.push_back(std::move(fileName));
  recordStarted_ = false;
}

void TCsvTables::AddField(std::string_view value, TCsvValue kind) {
  platform::TByteBuffer& table = tables_.back();
  if (recordStarted_) table.Append(";");
  const std::string_view prefix = kind == TCsvValue::Text && LooksLikeFormula(value) ? "'" : "";
  // Room for the field and the record's end at once: a large value is written
  // straight into the table, which grows once.
  table.Reserve(FieldBytes(prefix, value) + 2);
  WriteField(prefix, value, [&table](std::string_view bytes) { table.Append(bytes); });
  recordStarted_ = true;
}

void TCsvTables::EndRecord() {
  tables_.back().Append("\r\n");
  recordStarted_ = false;
}

void TCsvTables::Clear() {
  std::vector<platform::TByteBuffer>().swap(tables_);
  std::vector<std::string>().swap(fileNames_);
  recordStarted_ = false;
}

}  // namespace vornetta::report
