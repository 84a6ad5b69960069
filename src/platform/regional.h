// The user's regional settings as the C library sees them after setlocale:
// decimal separator and the short date and time formats, with a fast path for
// the short formats that value texts take once per date or time.
#pragma once

#include <ctime>
#include <string>

namespace vornetta::platform {

// The LC_NUMERIC radix character ("," under de_DE, "." under C).
char DecimalSeparator();
// The LC_NUMERIC thousands separator ("." under de_DE); where the locale has
// none (C, POSIX) the character that is not the decimal separator of "," and ".".
char ThousandsSeparator();
// Digits of a count in groups of three with the thousands separator: 9000 gives "9.000".
std::string GroupedCount(unsigned long long count);

// Date and time in the locale's short formats (D_FMT, T_FMT).
std::string FormatShortDate(const std::tm& when);
std::string FormatShortTime(const std::tm& when);

// The short formats appended to out. A format of plain numeric fields (%d %e %m
// %Y %y %H %M %S %T %D %F %R) is laid out here for years 1000 to 9999, exactly
// as strftime would; any other format or year goes through strftime. Allocates
// nothing beyond out's growth on the fast path.
void AppendShortDate(const std::tm& when, std::string& out);
void AppendShortTime(const std::tm& when, std::string& out);

// A calendar date and time of day as a broken-down time with its weekday set
// (for formats with %a); no time zone is applied.
std::tm CivilTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The local broken-down time of a moment.
std::tm LocalTime(std::time_t when);

}  // namespace vornetta::platform
