// Value texts of record-set fields: numbers with the regional decimal separator,
// dates and times in the locale's short formats, binary values in hexadecimal.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

#include "db/field_type.h"

namespace vornetta::db {

// None of these throws.

// General format with at most `digits` significant digits: "12,5", "1E20", "1,5E-7".
void FormatFloat(double value, int digits, std::string& out);
// A single-precision value: the fewest digits that read back to it, laid out as above.
void FormatSingle(float value, std::string& out);
// The driver's decimal digits with the regional separator in place of ".".
void FormatDecimal(std::string_view digits, std::string& out);
// A floating-point number as a database writes it as text (an optional "-",
// digits, ".", digits, an optional exponent: "7388.36", "1.0e+301") becomes
// FormatFloat's text of it with 15 digits, and true; anything else, whole
// numbers included, stays as it is, and false.
bool FormatFloatText(std::string& text);
void FormatDate(const SQL_DATE_STRUCT& date, std::string& out);
void FormatTime(const SQL_TIME_STRUCT& time, std::string& out);
// A time value as the driver writes it ("HH:MM:SS", maybe with fractions): a time
// of day in the short format, anything else (a negative or long duration) unchanged.
void FormatTimeText(std::string_view text, std::string& out);
// Short date, a blank, short time.
void FormatTimestamp(const SQL_TIMESTAMP_STRUCT& stamp, std::string& out);
// A date or timestamp as text: "YYYY-MM-DD" in the short date format,
// "YYYY-MM-DD HH:MM:SS" (fractions and a zone offset after it ignored) as
// FormatTimestamp; anything else ("infinity", "0000-00-00", a date BC) unchanged.
void FormatDateTimeText(std::string_view text, std::string& out);
// Upper-case hexadecimal, two digits per byte.
void FormatBinary(std::string_view bytes, std::string& out);

// Gives back the memory of value texts above 1 MiB, so that one large value is
// not held on for the records after it.
void ReleaseLargeValues(std::vector<std::string>& values);

// The field kind of an ODBC SQL type; precision and scale matter for DECIMAL and NUMERIC.
TFieldType FieldTypeOf(SQLSMALLINT sqlType, SQLULEN precision, SQLSMALLINT scale);

}  // namespace vornetta::db
