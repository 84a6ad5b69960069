// Section "format": number patterns by column label, read and checked once per
// build, so that an unreadable pattern stops the build before anything is sent.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/number_pattern.h"

namespace vornetta::config {
class TMyIniFile;
}

namespace vornetta::report {

class TColumnFormats {
 public:
  // Reads every key of section "format" with the regional separators. Throws
  // EReportError naming the first key whose pattern cannot be read.
  explicit TColumnFormats(config::TMyIniFile& ini);

  // The pattern of a column by its head-row label (in the system code page,
  // case ignored as for every key); null when the column has none.
  const TNumberPattern* Find(std::string_view label) const;

  char Thousands() const { return thousands_; }
  char Decimal() const { return decimal_; }

 private:
  std::vector<std::pair<std::string, TNumberPattern>> patterns_;
  char thousands_;
  char decimal_;
};

}  // namespace vornetta::report
