#include "platform/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace vornetta::platform {

namespace {

// Writes the significant digits (no leading or trailing zeros, at least one)
// of a number whose first digit stands at 10^exponent in the general layout.
void AppendLayout(std::string& out, bool negative, std::string_view digits, int exponent,
                  int significantDigits, char decimalSeparator) {
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

// Lays out a to_chars scientific text "[-]d.ddde[+-]xx" in the general format.
void AppendScientificText(std::string& out, std::string_view scientific, int significantDigits,
                          char decimalSeparator) {
  const bool negative = scientific.front() == '-';
  if (negative) scientific.remove_prefix(1);
  const size_t e = scientific.find('e');
  std::array<char, 32> digitBuffer;
  size_t digitCount = 0;
  for (char c : scientific.substr(0, e))
    if (c != '.' && digitCount < digitBuffer.size()) digitBuffer[digitCount++] = c;
  while (digitCount > 1 && digitBuffer[digitCount - 1] == '0') --digitCount;

  int exponent = 0;
  std::string_view exponentText = scientific.substr(e + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  AppendLayout(out, negative, std::string_view(digitBuffer.data(), digitCount), exponent, significantDigits,
               decimalSeparator);
}

// "NAN", "INF", "-INF" and "0" for the values that have no digits to lay out.
bool AppendSpecial(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NAN";
  } else if (std::isinf(value)) {
    out += value < 0 ? "-INF" : "INF";
  } else if (value == 0.0) {
    out += '0';
  } else {
    return false;
  }
  return true;
}

}  // namespace

void AppendGeneralNumber(std::string& out, double value, int significantDigits, char decimalSeparator) {
  if (AppendSpecial(out, value)) return;
  // Rounded to the significant digits first: "d.ddd...e[+-]xx".
  std::array<char, 64> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific, significantDigits - 1);
  AppendScientificText(out, std::string_view(buffer.data(), static_cast<size_t>(result.ptr - buffer.data())),
                       significantDigits, decimalSeparator);
}

void AppendShortestSingle(std::string& out, float value, char decimalSeparator) {
  if (AppendSpecial(out, value)) return;
  // Without a precision to_chars gives the fewest digits that read back to this float.
  std::array<char, 64> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific);
  AppendScientificText(out, std::string_view(buffer.data(), static_cast<size_t>(result.ptr - buffer.data())),
                       kGeneralDigits, decimalSeparator);
}

}  // namespace vornetta::platform
