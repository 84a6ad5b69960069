#include "report/column_sum.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/code_page.h"
#include "platform/number_text.h"

namespace vornetta::report {

double TextToNumber(std::string_view text) {
  // Full stops are thousands separators when the text holds a comma, else the decimal separator.
  const bool commaIsDecimal = text.find(',') != std::string_view::npos;

  // The number text, kept with "." as separator for from_chars. It is at most
  // one character longer than the value text (",5" becomes "0.5").
  // A long text gets room it rarely fills: left uninitialised, only what is
  // written costs memory (a long text of words costs nothing).
  std::array<char, 128> stack;
  std::unique_ptr<char[]> heap;
  char* number = stack.data();
  if (text.size() + 1 > stack.size()) {
    heap = std::make_unique_for_overwrite<char[]>(text.size() + 1);
    number = heap.get();
  }
  size_t n = 0;
  bool hasSeparator = false;
  for (char c : text) {
    if (c == '.') {
      if (commaIsDecimal) continue;
      c = ',';
    }
    if (c >= '0' && c <= '9') {
      number[n++] = c;
    } else if (c == '-') {
      if (n != 0) break;
      number[n++] = '-';
    } else if (c == ',') {
      if (hasSeparator) break;
      if (n == 0 || (n == 1 && number[0] == '-')) number[n++] = '0';
      number[n++] = '.';
      hasSeparator = true;
    } else if (n != 0) {
      break;
    }
  }
  if (n > 0 && number[n - 1] == '.') --n;  // "5," means 5
  if (n == 0 || (n == 1 && number[0] == '-')) return 0.0;

  double value = 0.0;
  const auto [end, error] = std::from_chars(number, number + n, value);
  if (error == std::errc::result_out_of_range) {
    // No exponent here, so too large means a non-zero integer part.
    const bool negative = number[0] == '-';
    bool overflow = false;
    for (const char* p = number + (negative ? 1 : 0); p != number + n && *p != '.'; ++p) {
      if (*p != '0') overflow = true;
    }
    const double magnitude = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -magnitude : magnitude;
  }
  return value;
}

std::string FormatSum(double value, char decimalSeparator) {
  std::string out;
  platform::AppendGeneralNumber(out, value, 15, decimalSeparator);
  return out;
}

std::string FilterChars(std::string_view text, std::string_view allowed,
                        std::string_view replacement) {
  // A character beyond ASCII is one character of several bytes: kept when
  // `allowed` holds it, else replaced once.
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    while (static_cast<unsigned char>(text[i]) >= 0xC0 && i + length < text.size() &&
           (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80)
      ++length;
    const std::string_view character = text.substr(i, length);
    i += length;
    const size_t at = allowed.find(character);
    if (at != std::string_view::npos && (length == 1 || static_cast<unsigned char>(allowed[at]) >= 0xC0))
      out += character;
    else
      out += replacement;
  }
  return out;
}

std::string KeepChars(std::string_view text, std::string_view allowed) {
  return FilterChars(text, allowed, {});
}

}  // namespace vornetta::report
