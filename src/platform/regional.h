// The user's regional settings as the C library sees them after setlocale:
// decimal separator and the short date and time formats.
#pragma once

#include <ctime>
#include <string>

namespace vornetta::platform {

// The LC_NUMERIC radix character ("," under de_DE, "." under C).
char DecimalSeparator();

// Date and time in the locale's short formats (D_FMT, T_FMT).
std::string FormatShortDate(const std::tm& when);
std::string FormatShortTime(const std::tm& when);

// The local broken-down time of a moment.
std::tm LocalTime(std::time_t when);

}  // namespace vornetta::platform
