// Number patterns of section "format": how the cells and the sum of one column
// are written for people ("#.##0,00" gives "1.997,50"), with the regional
// thousands and decimal separators, and the same pattern as a spreadsheet
// number format.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::report {

class TNumberPattern {
 public:
  // Reads a pattern written with the given separators: digits "#" and "0"
  // before the decimal separator (thousands separators between them group by
  // three), "0"s after it for the decimals, and a "%" at the end (after an
  // optional blank) for percent. False for anything else.
  static bool Parse(std::string_view pattern, char thousands, char decimal, TNumberPattern& out);

  // The text of a value text under the pattern: a decimal number with either
  // separator ("1997,5", "-12.5", "5E-5") rounded half away from zero to the
  // pattern's decimals, grouped, with the given separators. A text that is no
  // number (empty for NULL, a word) comes back unchanged.
  std::string Format(std::string_view valueText, char thousands, char decimal) const;

  // The spreadsheet number format of the pattern ("#,##0.00", "0.0%").
  std::string SpreadsheetFormat() const;

 private:
  bool grouped_ = false;
  int minIntegerDigits_ = 1;
  int decimals_ = 0;
  bool percent_ = false;
  bool blankBeforePercent_ = false;
};

}  // namespace vornetta::report
