#include "db/value_text.h"

#include <algorithm>
#include <charconv>
#include <ctime>

#include "platform/number_text.h"
#include "platform/regional.h"

namespace vornetta::db {
namespace {

// The length of the run of digits at the start of the text.
size_t DigitRun(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
  return n;
}

// An optional "-", digits, ".", digits, an optional exponent.
bool IsFloatLiteral(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  const size_t whole = DigitRun(text);
  if (whole == 0 || whole == text.size() || text[whole] != '.') return false;
  text.remove_prefix(whole + 1);
  const size_t fraction = DigitRun(text);
  if (fraction == 0) return false;
  text.remove_prefix(fraction);
  if (text.empty()) return true;
  if (text.front() != 'e' && text.front() != 'E') return false;
  text.remove_prefix(1);
  if (text.starts_with('+') || text.starts_with('-')) text.remove_prefix(1);
  const size_t exponent = DigitRun(text);
  return exponent > 0 && exponent == text.size();
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

bool FormatFloatText(std::string& text) {
  if (!IsFloatLiteral(text)) return false;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  FormatFloat(value, 15, text);
  return true;
}

void FormatDate(const SQL_DATE_STRUCT& date, std::string& out) {
  out.clear();
  platform::AppendShortDate(platform::CivilTime(date.year, date.month, date.day), out);
}

void FormatTime(const SQL_TIME_STRUCT& time, std::string& out) {
  out.clear();
  platform::AppendShortTime(platform::CivilTime(1900, 1, 1, time.hour, time.minute, time.second), out);
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
  const std::tm tm = platform::CivilTime(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second);
  out.clear();
  platform::AppendShortDate(tm, out);
  out += ' ';
  platform::AppendShortTime(tm, out);
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

void ReleaseLargeValues(std::vector<std::string>& values) {
  constexpr std::size_t kKeptValueBytes = 1 << 20;
  for (std::string& value : values)
    if (value.capacity() > kKeptValueBytes) std::string().swap(value);
}

}  // namespace vornetta::db
