#include "db/value_text.h"

#include <charconv>
#include <ctime>

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

}  // namespace

void FormatFloat(double value, int digits, std::string& out) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  out.clear();
  if (ec != std::errc()) return;
  const char separator = platform::DecimalSeparator();
  for (char* p = buffer; p != end; ++p) {
    if (*p == '.') {
      out += separator;
    } else if (*p == 'e') {
      // "e+20" -> "E20", "e-07" -> "E-7"
      out += 'E';
      ++p;
      if (*p == '-') out += '-';
      ++p;
      while (p + 1 != end && *p == '0') ++p;
      out.append(p, end);
      return;
    } else {
      out += *p;
    }
  }
}

void FormatDecimal(std::string_view digits, std::string& out) {
  out.assign(digits);
  const char separator = platform::DecimalSeparator();
  for (char& c : out)
    if (c == '.') c = separator;
}

void FormatDate(const SQL_DATE_STRUCT& date, std::string& out) {
  out = platform::FormatShortDate(BrokenDown(date.year, date.month, date.day, 0, 0, 0));
}

void FormatTime(const SQL_TIME_STRUCT& time, std::string& out) {
  out = platform::FormatShortTime(BrokenDown(1900, 1, 1, time.hour, time.minute, time.second));
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
  std::tm tm = BrokenDown(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second);
  out = platform::FormatShortDate(tm);
  out += ' ';
  out += platform::FormatShortTime(tm);
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
