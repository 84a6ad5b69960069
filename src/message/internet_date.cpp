// The "Date" header. Names and digits are written by hand: the C library's
// formatting would follow the user's locale.
#include "message/internet_date.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>

#include "platform/code_page.h"

namespace vornetta::message {
namespace {

constexpr std::array<const char*, 7> kWeekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void AppendNumber(std::string& out, std::int64_t value, int minDigits) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value < 0 ? -value : value);
  (void)ec;
  if (value < 0) out += '-';
  for (int pad = minDigits - static_cast<int>(end - buf); pad > 0; --pad) out += '0';
  out.append(buf, end);
}

}  // namespace

EIdFailedToRetreiveTimeZoneInfo::EIdFailedToRetreiveTimeZoneInfo()
    : std::runtime_error("Das Einlesen der Informationen über die Zeitzone ist fehlgeschlagen.") {}

TDateTime TDateTime::FromTm(const std::tm& tm) {
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TDateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &tm)) throw EIdFailedToRetreiveTimeZoneInfo();
  return TDateTime::FromTm(tm);
}

std::chrono::minutes UtcOffsetAt(std::time_t when) {
  std::tm tm{};
  if (!localtime_r(&when, &tm)) throw EIdFailedToRetreiveTimeZoneInfo();
  // tm_gmtoff is the offset in force at that moment, daylight saving time included.
  return std::chrono::minutes(tm.tm_gmtoff / 60);
}

std::chrono::minutes LocalUtcOffset() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) throw EIdFailedToRetreiveTimeZoneInfo();
  return UtcOffsetAt(now);
}

std::string FormatUtcOffset(std::chrono::minutes offset) {
  const std::int64_t total = offset.count();
  const std::int64_t magnitude = total < 0 ? -total : total;
  std::string out(1, total < 0 ? '-' : '+');
  AppendNumber(out, magnitude / 60, 2);
  AppendNumber(out, magnitude % 60, 2);
  return out;
}

std::string FormatInternetDate(const TDateTime& when, std::chrono::minutes offset) {
  const std::int64_t year = when.Year;
  const int month = std::clamp(when.Month, 1, 12);
  const int day = std::clamp(when.Day, 1, DaysInMonth(year, month));
  const std::int64_t days = DaysFromCivil(year, month, day);
  const std::int64_t weekday = ((days % 7) + 7 + 4) % 7;  // 1970-01-01 was a Thursday

  std::string out;
  out.reserve(32);
  out.append(kWeekdays[weekday]).append(", ");
  AppendNumber(out, day, 1);
  out.append(" ").append(kMonths[month - 1]).append(" ");
  AppendNumber(out, year, 1);
  out += ' ';
  AppendNumber(out, std::clamp(when.Hour, 0, 23), 2);
  out += ':';
  AppendNumber(out, std::clamp(when.Minute, 0, 59), 2);
  out += ':';
  AppendNumber(out, std::clamp(when.Second, 0, 60), 2);
  out += ' ';
  out += FormatUtcOffset(offset);
  return out;
}

std::string FormatInternetDate(const TDateTime& when) { return FormatInternetDate(when, LocalUtcOffset()); }

}  // namespace vornetta::message
