#include "db/record_set.h"

#include <charconv>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "db/connection.h"
#include "db/database_error.h"
#include "db/value_text.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

constexpr size_t kFirstBufferBytes = 4096;
// Columns of at most these sizes are bound. A value longer than its slot (SQLite
// keeps text beyond the declared size) is read again piecewise.
constexpr SQLULEN kMaxBoundChars = 2048;
constexpr size_t kMaxBoundBinary = 8192;
constexpr size_t kTimeTextBytes = 64;

std::string Narrow(const char16_t* text, size_t length) {
  return platform::FromUtf16(std::u16string_view(text, length));
}

// The text in the system code page when it fits there, else in UTF-8 with utf8 set.
void NarrowOrUtf8(const char16_t* text, size_t length, std::string& out, bool& utf8) {
  const std::u16string_view wide(text, length);
  utf8 = !platform::FromUtf16Exact(wide, out);
  if (utf8) out = platform::Utf16ToUtf8(wide);
}

// NOTE: for drivers without wide functions (SQLite) the driver manager reports
// name lengths in the driver's UTF-8 bytes, not in characters: the terminator counts.
std::u16string_view NameView(const std::u16string& buffer, size_t reported) {
  std::u16string_view text(buffer.data(), std::min(reported, buffer.size() - 1));
  return text.substr(0, std::min(text.find(u'\0'), text.size()));
}

std::string NameText(const std::u16string& buffer, size_t reported) {
  const std::u16string_view text = NameView(buffer, reported);
  return Narrow(text.data(), text.size());
}

// Text of a UTF-16 value; ASCII, the common case, is copied without a conversion buffer.
void AssignWide(const char* bytes, size_t byteCount, std::string& out, bool& utf8) {
  const char16_t* text = reinterpret_cast<const char16_t*>(bytes);
  size_t length = byteCount / 2;
  out.resize(length);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] >= 0x80) {
      NarrowOrUtf8(text, length, out, utf8);
      return;
    }
    out[i] = static_cast<char>(text[i]);
  }
}

// Text of a UTF-8 value; ASCII is copied as it is.
void AssignUtf8(std::string_view text, std::string& out) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      out = platform::FromUtf8(text);
      return;
    }
  }
  out.assign(text);
}

// Length of a value the driver wrote without reporting it: up to its terminator.
size_t TerminatedLength(const char* data, size_t room, SQLSMALLINT cType) {
  if (cType == SQL_C_BINARY) return room;
  if (cType == SQL_C_WCHAR) {
    std::u16string_view text(reinterpret_cast<const char16_t*>(data), room / 2);
    return std::min(text.find(u'\0'), text.size()) * 2;
  }
  std::string_view text(data, room);
  return std::min(text.find('\0'), text.size());
}

}  // namespace

SQLSMALLINT TRecordSet::BoundType(Fetch fetch) {
  using enum Fetch;
  switch (fetch) {
    case Signed: return SQL_C_SBIGINT;
    case Unsigned: return SQL_C_UBIGINT;
    case Double: return SQL_C_DOUBLE;
    case Real: return SQL_C_FLOAT;
    case Boolean: return SQL_C_BIT;
    case Date: return SQL_C_TYPE_DATE;
    case Timestamp: return SQL_C_TYPE_TIMESTAMP;
    case Time:
    case DateText:
    case Utf8Text:
    case Decimal: return SQL_C_CHAR;
    case Binary: return SQL_C_BINARY;
    case Text: return SQL_C_WCHAR;
  }
  return SQL_C_WCHAR;
}

TRecordSet::TRecordSet(TConnection& connection, const std::string& statement)
    : stmt_(connection.NewStatement()) {
  std::u16string wide = platform::ToUtf16(statement);
  SQLRETURN rc = Check(SQLExecDirectW(stmt_.Get(), reinterpret_cast<SQLWCHAR*>(wide.data()),
                                      static_cast<SQLINTEGER>(wide.size())),
                       stmt_, "SQLExecDirect");
  if (rc == SQL_NO_DATA) return;  // nothing to read: at the end at once
  Describe(connection);
  if (connection.CanReadBoundColumns()) BindColumns();
  if (!columns_.empty()) {
    eof_ = false;
    Next();
  }
}

TRecordSet::~TRecordSet() { Close(); }

void TRecordSet::Close() noexcept {
  stmt_.Reset();
  isBound_ = false;
  eof_ = true;
  for (ColumnInfo& column : columns_) column.value.clear();
}

const TRecordSet::ColumnInfo& TRecordSet::Column(int i) const {
  if (i < 0 || i >= FieldCount())
    throw std::out_of_range("Feld " + std::to_string(i) + " nicht vorhanden");
  return columns_[static_cast<size_t>(i)];
}

void TRecordSet::Describe(const TConnection& connection) {
  const bool datesAsText = connection.ReadsDatesAsText();
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(stmt_.Get(), &count), stmt_, "SQLNumResultCols");
  columns_.resize(static_cast<size_t>(std::max<SQLSMALLINT>(count, 0)));
  std::u16string name(256, u'\0');
  for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) {
    ColumnInfo& column = columns_[n - 1];
    SQLSMALLINT nameLength = 0, sqlType = 0, scale = 0, nullable = 0;
    SQLULEN precision = 0;
    for (;;) {
      Check(SQLDescribeColW(stmt_.Get(), n, reinterpret_cast<SQLWCHAR*>(name.data()),
                            static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType, &precision,
                            &scale, &nullable),
            stmt_, "SQLDescribeCol");
      if (nameLength < static_cast<SQLSMALLINT>(name.size()) || name.size() >= 16384) break;
      name.resize(static_cast<size_t>(nameLength) + 1);
    }
    column.name = NameText(name, static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)));
    std::u16string wideName(NameView(name, static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0))));

    SQLSMALLINT labelBytes = 0;
    std::fill(name.begin(), name.end(), u'\0');
    SQLRETURN rc = SQLColAttributeW(stmt_.Get(), n, SQL_DESC_LABEL, name.data(),
                                    static_cast<SQLSMALLINT>(name.size() * 2), &labelBytes, nullptr);
    if (SQL_SUCCEEDED(rc) && labelBytes > 0) wideName = NameView(name, static_cast<size_t>(labelBytes));
    NarrowOrUtf8(wideName.data(), wideName.size(), column.label, column.labelUtf8);

    column.type = FieldTypeOf(sqlType, precision, scale);
    column.size = precision;
    SQLLEN isUnsigned = SQL_FALSE;
    switch (column.type) {
      case TFieldType::ftSmallint:
      case TFieldType::ftInteger:
      case TFieldType::ftLargeint:
        SQLColAttributeW(stmt_.Get(), n, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
        column.fetch = isUnsigned == SQL_TRUE ? Fetch::Unsigned : Fetch::Signed;
        break;
      case TFieldType::ftBoolean: column.fetch = Fetch::Boolean; break;
      case TFieldType::ftFloat: column.fetch = sqlType == SQL_REAL ? Fetch::Real : Fetch::Double; break;
      case TFieldType::ftBCD:
      case TFieldType::ftFMTBcd: column.fetch = Fetch::Decimal; break;
      case TFieldType::ftDate: column.fetch = datesAsText ? Fetch::DateText : Fetch::Date; break;
      case TFieldType::ftTime: column.fetch = Fetch::Time; break;
      case TFieldType::ftDateTime: column.fetch = datesAsText ? Fetch::DateText : Fetch::Timestamp; break;
      case TFieldType::ftBytes:
      case TFieldType::ftVarBytes:
      case TFieldType::ftBlob: column.fetch = Fetch::Binary; break;
      default: column.fetch = connection.ReadsTextAsUtf8() ? Fetch::Utf8Text : Fetch::Text; break;
    }
  }
}

void TRecordSet::BindColumns() {
  size_t total = 0;
  for (ColumnInfo& column : columns_) {
    // Long and unsized values stay with SQLGetData after the fetch: bound, nearly
    // all of them would be read twice (and the MariaDB driver reads past its own
    // buffer converting a cut wide value).
    const bool sized = column.size > 0 && column.type != TFieldType::ftMemo && column.type != TFieldType::ftBlob;
    switch (column.fetch) {
      case Fetch::Signed:
      case Fetch::Unsigned: column.boundBytes = sizeof(SQLBIGINT); break;
      case Fetch::Double: column.boundBytes = sizeof(SQLDOUBLE); break;
      case Fetch::Real: column.boundBytes = sizeof(SQLREAL); break;
      case Fetch::Boolean: column.boundBytes = 1; break;
      case Fetch::Date: column.boundBytes = sizeof(SQL_DATE_STRUCT); break;
      case Fetch::Timestamp: column.boundBytes = sizeof(SQL_TIMESTAMP_STRUCT); break;
      case Fetch::Time:
      case Fetch::DateText: column.boundBytes = kTimeTextBytes; break;
      // Sign, point and terminator beside the digits.
      case Fetch::Decimal:
        column.boundBytes = sized && column.size <= kMaxBoundChars ? std::max<size_t>(column.size + 4, 32) : 0;
        break;
      case Fetch::Binary: column.boundBytes = sized && column.size <= kMaxBoundBinary ? column.size : 0; break;
      // Room for a surrogate pair per character and the terminator.
      case Fetch::Text: column.boundBytes = sized && column.size <= kMaxBoundChars ? (2 * column.size + 1) * 2 : 0; break;
      // Up to four bytes per character and the terminator.
      case Fetch::Utf8Text: column.boundBytes = sized && column.size <= kMaxBoundChars ? 4 * column.size + 1 : 0; break;
    }
    column.boundOffset = total;
    total += (column.boundBytes + 7) & ~size_t{7};
  }
  bound_.assign(total / sizeof(SQLBIGINT), 0);
  char* base = reinterpret_cast<char*>(bound_.data());
  for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) {
    ColumnInfo& column = columns_[n - 1];
    if (column.boundBytes == 0) continue;
    if (!SQL_SUCCEEDED(SQLBindCol(stmt_.Get(), n, BoundType(column.fetch), base + column.boundOffset,
                                  static_cast<SQLLEN>(column.boundBytes), &column.indicator))) {
      Unbind();  // this driver gets the values one by one
      return;
    }
  }
  isBound_ = true;
}

void TRecordSet::Unbind() noexcept {
  if (stmt_) SQLFreeStmt(stmt_.Get(), SQL_UNBIND);
  isBound_ = false;
  for (ColumnInfo& column : columns_) column.boundBytes = 0;
  bound_.clear();
  bound_.shrink_to_fit();
}

void TRecordSet::Next() {
  if (eof_) return;
  FetchRow(true);
}

int TRecordSet::RecordCount() {
  if (!eof_ && isBound_) Unbind();  // counting needs no conversions
  while (!eof_) FetchRow(false);
  return recNo_;
}

void TRecordSet::FetchRow(bool readValues) {
  if (Check(SQLFetch(stmt_.Get()), stmt_, "SQLFetch") == SQL_NO_DATA) {
    eof_ = true;
    for (ColumnInfo& column : columns_) column.value.clear();
    return;
  }
  ++recNo_;
  if (!readValues) return;
  if (isBound_) {
    for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) {
      ColumnInfo& column = columns_[n - 1];
      if (column.boundBytes != 0)
        ConvertBound(n, column);
      else
        ReadValue(n, column);
    }
  } else {
    for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) ReadValue(n, columns_[n - 1]);
  }
}

void TRecordSet::ConvertBound(SQLUSMALLINT n, ColumnInfo& column) {
  std::string& out = column.value;
  column.valueUtf8 = false;
  if (column.indicator == SQL_NULL_DATA) {
    out.clear();
    return;
  }
  const char* slot = reinterpret_cast<const char*>(bound_.data()) + column.boundOffset;
  // A character or binary value: in the slot when it fitted, else read again whole.
  auto piece = [&](SQLSMALLINT cType) -> std::optional<std::string_view> {
    const size_t terminator = cType == SQL_C_WCHAR ? 2 : cType == SQL_C_CHAR ? 1 : 0;
    if (column.indicator != SQL_NO_TOTAL && column.indicator >= 0 &&
        static_cast<size_t>(column.indicator) + terminator <= column.boundBytes)
      return std::string_view(slot, static_cast<size_t>(column.indicator));
    if (!ReadLong(n, cType)) return std::nullopt;
    return Buffered();
  };
  char digits[32];
  switch (column.fetch) {
    case Fetch::Signed: {
      SQLBIGINT v;
      std::memcpy(&v, slot, sizeof v);
      out.assign(digits, std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v)).ptr);
      return;
    }
    case Fetch::Unsigned: {
      SQLUBIGINT v;
      std::memcpy(&v, slot, sizeof v);
      out.assign(digits, std::to_chars(digits, digits + sizeof digits, static_cast<unsigned long long>(v)).ptr);
      return;
    }
    case Fetch::Double: {
      SQLDOUBLE v;
      std::memcpy(&v, slot, sizeof v);
      FormatFloat(v, 15, out);
      return;
    }
    case Fetch::Real: {
      SQLREAL v;
      std::memcpy(&v, slot, sizeof v);
      FormatSingle(v, out);
      return;
    }
    case Fetch::Boolean: out = *slot ? "True" : "False"; return;
    case Fetch::Date: {
      SQL_DATE_STRUCT v;
      std::memcpy(&v, slot, sizeof v);
      FormatDate(v, out);
      return;
    }
    case Fetch::Timestamp: {
      SQL_TIMESTAMP_STRUCT v;
      std::memcpy(&v, slot, sizeof v);
      FormatTimestamp(v, out);
      return;
    }
    case Fetch::Time:
      if (auto text = piece(SQL_C_CHAR)) return FormatTimeText(*text, out);
      break;
    case Fetch::DateText:
      if (auto text = piece(SQL_C_CHAR)) return FormatDateTimeText(*text, out);
      break;
    case Fetch::Decimal:
      if (auto text = piece(SQL_C_CHAR)) return FormatDecimal(*text, out);
      break;
    case Fetch::Binary:
      if (auto bytes = piece(SQL_C_BINARY)) return FormatBinary(*bytes, out);
      break;
    case Fetch::Text:
      if (auto text = piece(SQL_C_WCHAR)) return AssignWide(text->data(), text->size(), out, column.valueUtf8);
      break;
    case Fetch::Utf8Text:
      if (auto text = piece(SQL_C_CHAR)) return AssignUtf8(*text, out);
      break;
  }
  out.clear();
}

void TRecordSet::ReadValue(SQLUSMALLINT n, ColumnInfo& column) {
  std::string& out = column.value;
  column.valueUtf8 = false;
  SQLLEN indicator = 0;
  auto get = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
    Check(SQLGetData(stmt_.Get(), n, cType, target, size, &indicator), stmt_, "SQLGetData");
    return indicator != SQL_NULL_DATA;
  };
  char digits[32];
  switch (column.fetch) {
    case Fetch::Signed: {
      SQLBIGINT v = 0;
      if (!get(SQL_C_SBIGINT, &v, sizeof v)) break;
      out.assign(digits, std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v)).ptr);
      return;
    }
    case Fetch::Unsigned: {
      SQLUBIGINT v = 0;
      if (!get(SQL_C_UBIGINT, &v, sizeof v)) break;
      out.assign(digits, std::to_chars(digits, digits + sizeof digits, static_cast<unsigned long long>(v)).ptr);
      return;
    }
    case Fetch::Double: {
      SQLDOUBLE v = 0;
      if (!get(SQL_C_DOUBLE, &v, sizeof v)) break;
      FormatFloat(v, 15, out);
      return;
    }
    case Fetch::Real: {
      // Shortest text of the float itself: 0.1 and not 0.100000001490116 of its
      // widening to double, and 12345678 whole so that the column sum reads it.
      SQLREAL v = 0;
      if (!get(SQL_C_FLOAT, &v, sizeof v)) break;
      FormatSingle(v, out);
      return;
    }
    case Fetch::Boolean: {
      unsigned char v = 0;
      if (!get(SQL_C_BIT, &v, sizeof v)) break;
      out = v ? "True" : "False";
      return;
    }
    case Fetch::Date: {
      SQL_DATE_STRUCT v{};
      if (!get(SQL_C_TYPE_DATE, &v, sizeof v)) break;
      FormatDate(v, out);
      return;
    }
    case Fetch::Time:
      // MySQL times are durations too (-01:00:00, 48:00:00), which the time
      // structure cannot hold: read as text, and only a time of day is reformatted.
      if (!ReadLong(n, SQL_C_CHAR)) break;
      FormatTimeText(Buffered(), out);
      return;
    case Fetch::Timestamp: {
      SQL_TIMESTAMP_STRUCT v{};
      if (!get(SQL_C_TYPE_TIMESTAMP, &v, sizeof v)) break;
      FormatTimestamp(v, out);
      return;
    }
    case Fetch::DateText:
      if (!ReadLong(n, SQL_C_CHAR)) break;
      FormatDateTimeText(Buffered(), out);
      return;
    case Fetch::Decimal:
      if (!ReadLong(n, SQL_C_CHAR)) break;
      FormatDecimal(Buffered(), out);
      return;
    case Fetch::Binary:
      if (!ReadLong(n, SQL_C_BINARY)) break;
      FormatBinary(Buffered(), out);
      return;
    case Fetch::Utf8Text:
      if (!ReadLong(n, SQL_C_CHAR)) break;
      AssignUtf8(Buffered(), out);
      return;
    case Fetch::Text:
      if (!ReadLong(n, SQL_C_WCHAR)) break;
      AssignWide(buffer_.data(), bufferLength_, out, column.valueUtf8);
      return;
  }
  out.clear();
}

bool TRecordSet::ReadLong(SQLUSMALLINT n, SQLSMALLINT cType) {
  const size_t terminator = cType == SQL_C_WCHAR ? 2 : cType == SQL_C_CHAR ? 1 : 0;
  if (buffer_.size() < kFirstBufferBytes) buffer_.resize(kFirstBufferBytes);
  size_t used = 0;
  bufferLength_ = 0;
  for (;;) {
    SQLLEN room = static_cast<SQLLEN>(buffer_.size() - used);
    SQLLEN indicator = 0;
    SQLRETURN rc = Check(SQLGetData(stmt_.Get(), n, cType, buffer_.data() + used, room, &indicator),
                         stmt_, "SQLGetData");
    if (rc == SQL_NO_DATA) break;  // the previous piece was the last
    if (indicator == SQL_NULL_DATA) return false;
    const size_t piece = static_cast<size_t>(room) - terminator;
    if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) <= piece) {
      used += static_cast<size_t>(indicator);
      break;
    }
    if (rc == SQL_SUCCESS) {  // no length reported, but everything fitted
      used += TerminatedLength(buffer_.data() + used, piece, cType);
      break;
    }
    used += piece;
    size_t wanted = indicator == SQL_NO_TOTAL ? 0 : used + static_cast<size_t>(indicator) - piece + terminator;
    buffer_.resize(std::max(wanted, buffer_.size() * 2) & ~size_t{1});
  }
  bufferLength_ = used;
  return true;
}

}  // namespace vornetta::db
