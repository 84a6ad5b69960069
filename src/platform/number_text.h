// The general number format shared by value texts and column sums: at most a
// given number of significant digits, the caller's decimal separator, no
// thousands separators, and the scientific form with "E" where the plain form
// would need more integer digits than that or the magnitude is below 0.0001.
#pragma once

#include <string>

namespace vornetta::platform {

// Appends the text of value to out: "0", "12,5", "1234,56", "5E-5", "1E20",
// "1,23456789012346E15" (15 digits, comma). Zero of either sign is "0";
// infinities and NaN are "INF", "-INF", "NAN". Independent of the C locale.
void AppendGeneralNumber(std::string& out, double value, int significantDigits, char decimalSeparator);

// The significant digits of the value texts and column sums.
inline constexpr int kGeneralDigits = 15;

// A single-precision value with the fewest digits that read back to the same
// float, laid out like a 15-digit general number: 12345678 is "12345678",
// 1234567.5 "1234567,5", 0.1f "0,1" (not the digits of its widening to double).
void AppendShortestSingle(std::string& out, float value, char decimalSeparator);

}  // namespace vornetta::platform
