#include "report/report_facts.h"

#include "platform/text.h"

namespace vornetta::report {

const TColumnTotal* TStatementFacts::Total(std::string_view name) const {
  for (const TColumnTotal& total : totals)
    if (total.name == name) return &total;
  for (const TColumnTotal& total : totals)
    if (platform::EqualsNoCase(total.name, name)) return &total;
  return nullptr;
}

std::int64_t TReportFacts::DataRows() const {
  std::int64_t rows = 0;
  for (const TStatementFacts& statement : statements)
    if (statement.select) rows += statement.rows;
  return rows;
}

const TStatementFacts* TReportFacts::Statement(std::int64_t number) const {
  if (number < 0 || static_cast<std::uint64_t>(number) >= statements.size()) return nullptr;
  return &statements[static_cast<std::size_t>(number)];
}

std::string ConfigName(std::string_view path) {
  if (const std::size_t slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
  if (const std::size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return std::string(path);
}

}  // namespace vornetta::report
