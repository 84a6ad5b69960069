// The "Date" header text: a local calendar time in English names and the
// offset from UTC in force, daylight saving time included.
#pragma once

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>

namespace vornetta::message {

// Raised when the platform cannot tell the time zone state.
class EIdFailedToRetreiveTimeZoneInfo : public std::runtime_error {
 public:
  EIdFailedToRetreiveTimeZoneInfo();
};

// A local calendar time to the second. All fields zero is "no date" (the
// message then uses the moment its header is built).
struct TDateTime {
  int Year = 0, Month = 0, Day = 0;  // Month 1..12, Day 1..31
  int Hour = 0, Minute = 0, Second = 0;

  bool IsZero() const { return *this == TDateTime{}; }
  bool operator==(const TDateTime&) const = default;

  static TDateTime FromTm(const std::tm& tm);
};

// The local time now. Throws EIdFailedToRetreiveTimeZoneInfo when the platform
// cannot convert the clock to local time.
TDateTime LocalNow();

// Local time minus UTC now, daylight saving time included ("+0100" in Berlin in
// winter, "+0200" in summer). Throws EIdFailedToRetreiveTimeZoneInfo.
std::chrono::minutes LocalUtcOffset();

// Local time minus UTC at the moment `when`. Throws EIdFailedToRetreiveTimeZoneInfo.
std::chrono::minutes UtcOffsetAt(std::time_t when);

// "+0100", "-0500", "+0000", "+0530".
std::string FormatUtcOffset(std::chrono::minutes offset);

// "Mon, 7 Dec 2026 05:10:00 +0100": English names whatever the locale. The
// weekday is computed from the date; fields out of range are clamped.
std::string FormatInternetDate(const TDateTime& when, std::chrono::minutes offset);
// The same with LocalUtcOffset().
std::string FormatInternetDate(const TDateTime& when);

}  // namespace vornetta::message
