#include "platform/regional.h"

#include <langinfo.h>

#include <string_view>

namespace vornetta::platform {
namespace {

std::string Format(const char* format, const std::tm& when) {
  char buffer[128];
  size_t n = std::strftime(buffer, sizeof buffer, format, &when);
  return std::string(buffer, n);
}

// The locale's short date or time format, checked once for whether every
// conversion in it is a plain number this file writes itself.
struct TShortFormat {
  std::string text;
  bool simple = false;
};

bool IsSimple(std::string_view format) {
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i == format.size()) return false;
    switch (format[i]) {
      case 'd': case 'e': case 'm': case 'Y': case 'y': case 'H': case 'M': case 'S':
      case 'T': case 'D': case 'F': case 'R': case '%': case 'n': case 't': break;
      default: return false;  // names, flags, widths, eras: strftime's business
    }
  }
  return true;
}

// The format currently in force; the locale may change between calls.
const TShortFormat& Current(nl_item item) {
  thread_local TShortFormat date, time;
  TShortFormat& cached = item == D_FMT ? date : time;
  const char* format = nl_langinfo(item);
  if (cached.text != format) {
    cached.text = format;
    cached.simple = IsSimple(cached.text);
  }
  return cached;
}

void Two(int value, std::string& out) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

// Appends `format` filled with the fields, as strftime would for fields in these
// ranges; false (nothing appended) when strftime has to do it.
bool AppendSimple(const TShortFormat& format, const std::tm& tm, std::string& out) {
  const int year = tm.tm_year + 1900;
  if (!format.simple || year < 1000 || year > 9999 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 0 ||
      tm.tm_mday > 99 || tm.tm_hour < 0 || tm.tm_hour > 99 || tm.tm_min < 0 || tm.tm_min > 99 ||
      tm.tm_sec < 0 || tm.tm_sec > 99)
    return false;
  const std::string_view f = format.text;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    switch (f[++i]) {
      case 'd': Two(tm.tm_mday, out); break;
      case 'e':
        out += tm.tm_mday < 10 ? ' ' : static_cast<char>('0' + tm.tm_mday / 10);
        out += static_cast<char>('0' + tm.tm_mday % 10);
        break;
      case 'm': Two(tm.tm_mon + 1, out); break;
      case 'Y': Two(year / 100, out); Two(year % 100, out); break;
      case 'y': Two(year % 100, out); break;
      case 'H': Two(tm.tm_hour, out); break;
      case 'M': Two(tm.tm_min, out); break;
      case 'S': Two(tm.tm_sec, out); break;
      case 'T': Two(tm.tm_hour, out); out += ':'; Two(tm.tm_min, out); out += ':'; Two(tm.tm_sec, out); break;
      case 'R': Two(tm.tm_hour, out); out += ':'; Two(tm.tm_min, out); break;
      case 'D': Two(tm.tm_mon + 1, out); out += '/'; Two(tm.tm_mday, out); out += '/'; Two(year % 100, out); break;
      case 'F':
        Two(year / 100, out); Two(year % 100, out); out += '-'; Two(tm.tm_mon + 1, out); out += '-';
        Two(tm.tm_mday, out);
        break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      default: out += '%'; break;
    }
  }
  return true;
}

void AppendShort(nl_item item, const std::tm& tm, std::string& out) {
  const size_t start = out.size();
  if (AppendSimple(Current(item), tm, out)) return;
  out.resize(start);
  out += item == D_FMT ? FormatShortDate(tm) : FormatShortTime(tm);
}

}  // namespace

char DecimalSeparator() {
  const char* radix = nl_langinfo(RADIXCHAR);
  return radix && *radix > 0 ? *radix : '.';
}

char ThousandsSeparator() {
  const char* separator = nl_langinfo(THOUSEP);
  // A multi-byte separator (a narrow no-break space) has no one-character form,
  // and a single byte beyond ASCII is no character of the program's UTF-8 texts.
  if (separator && separator[0] > 0 && separator[1] == '\0') return separator[0];
  return DecimalSeparator() == ',' ? '.' : ',';
}

std::string GroupedCount(unsigned long long count) {
  const std::string digits = std::to_string(count);
  const char separator = ThousandsSeparator();
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string FormatShortDate(const std::tm& when) { return Format(nl_langinfo(D_FMT), when); }

std::string FormatShortTime(const std::tm& when) { return Format(nl_langinfo(T_FMT), when); }

void AppendShortDate(const std::tm& when, std::string& out) { AppendShort(D_FMT, when, out); }

void AppendShortTime(const std::tm& when, std::string& out) { AppendShort(T_FMT, when, out); }

std::tm CivilTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  // %a or %A in a format need the weekday; mktime-free: Sakamoto's method.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month >= 1 && month <= 12) {
    int y = month < 3 ? year - 1 : year;
    tm.tm_wday = ((y + y / 4 - y / 100 + y / 400 + offsets[month - 1] + day) % 7 + 7) % 7;
  }
  return tm;
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace vornetta::platform
