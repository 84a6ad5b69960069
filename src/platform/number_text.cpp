#include "platform/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vornetta::platform {

void AppendGeneralNumber(std::string& out, double value, int significantDigits, char decimalSeparator) {
  if (std::isnan(value)) {
    out += "NAN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-INF" : "INF";
    return;
  }
  if (value == 0.0) {
    out += '0';
    return;
  }

  // Rounded to the significant digits first: "d.ddd...e[+-]xx".
  std::array<char, 64> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific, significantDigits - 1);
  std::string_view scientific(buffer.data(), static_cast<size_t>(result.ptr - buffer.data()));

  const bool negative = scientific.front() == '-';
  if (negative) scientific.remove_prefix(1);
  const size_t e = scientific.find('e');
  std::array<char, 32> digitBuffer;
  size_t digitCount = 0;
  for (char c : scientific.substr(0, e))
    if (c != '.') digitBuffer[digitCount++] = c;
  while (digitCount > 1 && digitBuffer[digitCount - 1] == '0') --digitCount;
  const std::string_view digits(digitBuffer.data(), digitCount);

  int exponent = 0;
  std::string_view exponentText = scientific.substr(e + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);

  if (negative) out += '-';
  if (exponent >= significantDigits || exponent < -4) {
    out += digits.front();
    if (digits.size() > 1) {
      out += decimalSeparator;
      out.append(digits.substr(1));
    }
    out += 'E';
    std::array<char, 8> exponentDigits;
    const auto end = std::to_chars(exponentDigits.data(), exponentDigits.data() + exponentDigits.size(), exponent);
    out.append(exponentDigits.data(), end.ptr);
  } else if (exponent >= 0) {
    const size_t integerDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      out += digits;
      out.append(integerDigits - digits.size(), '0');
    } else {
      out.append(digits.substr(0, integerDigits));
      out += decimalSeparator;
      out.append(digits.substr(integerDigits));
    }
  } else {
    out += '0';
    out += decimalSeparator;
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  }
}

}  // namespace vornetta::platform
