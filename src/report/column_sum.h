// Column sums of a result table: the accumulator, the reading of any value text
// as a number, the text of a sum, and the character filter that makes CSS
// class names out of column names. Pure functions of text and numbers.
#pragma once

#include <string>
#include <string_view>

namespace vornetta::report {

// One running sum in 64-bit floating arithmetic.
class TDouble {
 public:
  explicit TDouble(double start = 0.0) : value_(start) {}
  // Adds x and returns the new value.
  double Add(double x) { return value_ += x; }
  double Value() const { return value_; }

 private:
  double value_;
};

// Reads a number out of any value text, written with either "," or "." as the
// decimal separator; what surrounds the number is ignored and a text without
// digits reads as 0. Independent of the locale. A number beyond the double
// range reads as plus or minus infinity.
double TextToNumber(std::string_view text);

// General format with at most 15 significant digits and the given decimal
// separator: "0", "12,5", "1234,56"; scientific with "E" for more than 15
// integer digits or a magnitude below 0.0001: "5E-5", "1E20",
// "1,23456789012346E15". Infinities and NaN read "INF", "-INF", "NAN".
std::string FormatSum(double value, char decimalSeparator);

// Every character of text that occurs in allowed is kept, every other one is
// replaced by replacement (which may be empty). Exact comparison; a
// character of several UTF-8 bytes counts as one character.
std::string FilterChars(std::string_view text, std::string_view allowed,
                        std::string_view replacement);

// FilterChars with an empty replacement: only the allowed characters remain.
std::string KeepChars(std::string_view text, std::string_view allowed);

}  // namespace vornetta::report
