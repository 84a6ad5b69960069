// What a build learned that the texts of its mail may quote: the moment and
// time zone of the run, the configuration file's name, and per statement its
// rows and the texts of its sum row. A few numbers per statement and column,
// never a row.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time_zone.h"

namespace vornetta::report {

struct TColumnTotal {
  std::string name;  // the column's display name, UTF-8
  std::string text;  // the text of its cell in the sum row, UTF-8
  double value = 0;  // the sum as that text shows it (15 significant digits)
};

struct TStatementFacts {
  bool select = false;
  std::int64_t rows = 0;  // data rows of a select, changed records of any other statement
  std::vector<TColumnTotal> totals;

  // The total of the column named `name`: the exact name first, then ignoring
  // the case of ASCII letters. Null when there is none.
  const TColumnTotal* Total(std::string_view name) const;
};

struct TReportFacts {
  std::time_t moment = 0;
  platform::TTimeZone zone;
  std::string configName;  // the configuration file's name without folder and extension, UTF-8
  std::vector<TStatementFacts> statements;  // by statement number, from 0

  // The data rows of every select together.
  std::int64_t DataRows() const;
  // Null when the script has no statement `number`.
  const TStatementFacts* Statement(std::int64_t number) const;
};

// The name of a configuration file without folder and extension ("/etc/v/umsatz.ini" gives "umsatz").
std::string ConfigName(std::string_view path);

}  // namespace vornetta::report
