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

}  // namespace vornetta::platform
