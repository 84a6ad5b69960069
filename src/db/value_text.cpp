#include "db/value_text.h"

#include <langinfo.h>

#include <algorithm>
#include <charconv>
#include <ctime>

#include "platform/number_text.h"
#include "platform/regional.h"

namespace vornetta::db {
namespace {

std::tm BrokenDown(int year, int month, int day, int hour, int minute, int second) {
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
  out += item == D_FMT ? platform::FormatShortDate(tm) : platform::FormatShortTime(tm);
}

}  // namespace

void FormatFloat(double value, int digits, std::string& out) {
  out.clear();
  platform::AppendGeneralNumber(out, value, digits, platform::DecimalSeparator());
}

void FormatSingle(float value, std::string& out) {
  out.clear();
  platform::AppendShortestSingle(out, value, platform::DecimalSeparator());
}

void FormatDecimal(std::string_view digits, std::string& out) {
  out.assign(digits);
  const char separator = platform::DecimalSeparator();
  for (char& c : out)
    if (c == '.') c = separator;
}

void FormatDate(const SQL_DATE_STRUCT& date, std::string& out) {
  out.clear();
  AppendShort(D_FMT, BrokenDown(date.year, date.month, date.day, 0, 0, 0), out);
}

void FormatTime(const SQL_TIME_STRUCT& time, std::string& out) {
  out.clear();
  AppendShort(T_FMT, BrokenDown(1900, 1, 1, time.hour, time.minute, time.second), out);
}

void FormatTimeText(std::string_view text, std::string& out) {
  auto field = [&](size_t at) -> int {
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9')
      return -1;
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
  };
  int hour = field(0), minute = field(3), second = field(6);
  bool timeOfDay = text.size() >= 8 && text[2] == ':' && text[5] == ':' && hour >= 0 && hour < 24 &&
                   minute >= 0 && minute < 60 && second >= 0 && second < 62 &&
                   (text.size() == 8 || text[8] == '.');
  if (!timeOfDay) {
    out.assign(text);
    return;
  }
  FormatTime(SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(hour), static_cast<SQLUSMALLINT>(minute),
                             static_cast<SQLUSMALLINT>(second)},
             out);
}

void FormatTimestamp(const SQL_TIMESTAMP_STRUCT& stamp, std::string& out) {
  const std::tm tm = BrokenDown(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second);
  out.clear();
  AppendShort(D_FMT, tm, out);
  out += ' ';
  AppendShort(T_FMT, tm, out);
}

void FormatDateTimeText(std::string_view text, std::string& out) {
  auto number = [&](size_t at, size_t digits) -> int {
    if (at + digits > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const bool date = year >= 1 && text.size() >= 10 && text[4] == '-' && text[7] == '-' && month >= 1 &&
                    month <= 12 && day >= 1 && day <= 31;
  if (date && text.size() == 10) {
    FormatDate(SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                               static_cast<SQLUSMALLINT>(day)},
               out);
    return;
  }
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  // After the seconds only fractions and a zone offset, never an era ("BC").
  const std::string_view rest = text.size() > 19 ? text.substr(19) : std::string_view();
  const bool stamp = date && text.size() >= 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':' &&
                     hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 62 &&
                     rest.find_first_not_of("0123456789.:+-") == std::string_view::npos;
  if (!stamp) {
    out.assign(text);
    return;
  }
  FormatTimestamp(SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                                       static_cast<SQLUSMALLINT>(day), static_cast<SQLUSMALLINT>(hour),
                                       static_cast<SQLUSMALLINT>(minute), static_cast<SQLUSMALLINT>(second), 0},
                  out);
}

void FormatBinary(std::string_view bytes, std::string& out) {
  static const char hex[] = "0123456789ABCDEF";
  out.resize(bytes.size() * 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = hex[b >> 4];
    out[2 * i + 1] = hex[b & 0x0F];
  }
}

TFieldType FieldTypeOf(SQLSMALLINT sqlType, SQLULEN precision, SQLSMALLINT scale) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_WCHAR: return TFieldType::ftFixedChar;
    case SQL_VARCHAR: return TFieldType::ftString;
    case SQL_WVARCHAR: return TFieldType::ftWideString;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: return TFieldType::ftMemo;
    case SQL_TINYINT:
    case SQL_SMALLINT: return TFieldType::ftSmallint;
    case SQL_INTEGER: return TFieldType::ftInteger;
    case SQL_BIGINT: return TFieldType::ftLargeint;
    case SQL_BIT: return TFieldType::ftBoolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return TFieldType::ftFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return precision <= 18 && scale <= 4 ? TFieldType::ftBCD : TFieldType::ftFMTBcd;
    case SQL_TYPE_DATE:
    case SQL_DATE: return TFieldType::ftDate;
    case SQL_TYPE_TIME:
    case SQL_TIME: return TFieldType::ftTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return TFieldType::ftDateTime;
    case SQL_BINARY: return TFieldType::ftBytes;
    case SQL_VARBINARY: return TFieldType::ftVarBytes;
    case SQL_LONGVARBINARY: return TFieldType::ftBlob;
    case SQL_GUID: return TFieldType::ftGuid;
    default: return TFieldType::ftUnknown;
  }
}

}  // namespace vornetta::db
