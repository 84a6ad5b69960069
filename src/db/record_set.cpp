#include "db/record_set.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "db/connection.h"
#include "db/database_error.h"
#include "db/read_ahead.h"
#include "db/value_text.h"
#include "platform/code_page.h"
#include "platform/text.h"

namespace vornetta::db {
namespace {

constexpr size_t kFirstBufferBytes = 4096;
// The most one SQLGetData call brings of a long value. Its text is built piece
// by piece, so the driver's form of a large value is never held whole.
constexpr size_t kPieceBytes = 1 << 20;
// Columns of at most these sizes are bound. A value longer than its slot (SQLite
// keeps text beyond the declared size) is read again piecewise.
constexpr SQLULEN kMaxBoundChars = 2048;
constexpr size_t kMaxBoundBinary = 8192;
constexpr size_t kTimeTextBytes = 64;
// A block brings at most this many records and its slots take at most about
// this many bytes: enough to make the driver's per-call cost vanish, little memory.
constexpr size_t kMaxBlockRows = 256;
constexpr size_t kBlockBytes = 512 * 1024;

// A column's slots start 8-byte aligned, for the numeric and date structures.
size_t SlotStride(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

// NOTE: for drivers without wide functions (SQLite) the driver manager reports
// name lengths in the driver's UTF-8 bytes, not in characters: the terminator counts.
std::u16string_view NameView(const std::u16string& buffer, size_t reported) {
  std::u16string_view text(buffer.data(), std::min(reported, buffer.size() - 1));
  return text.substr(0, std::min(text.find(u'\0'), text.size()));
}

// Appends the UTF-8 text of UTF-16 units; ASCII, the common case, without a conversion buffer.
void AppendWide(std::u16string_view text, std::string& out) {
  size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  const size_t at = out.size();
  out.resize(at + ascii);
  for (size_t i = 0; i < ascii; ++i) out[at + i] = static_cast<char>(text[i]);
  if (ascii < text.size()) out += platform::Utf16ToUtf8(text.substr(ascii));
}

std::u16string_view WideView(std::string_view bytes) {
  return {reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2};
}

// Text of a UTF-16 value.
void AssignWide(const char* bytes, size_t byteCount, std::string& out) {
  out.clear();
  AppendWide(WideView({bytes, byteCount}), out);
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Text of a UTF-8 value; bytes that are no UTF-8 read as "?".
void AssignUtf8(std::string_view text, std::string& out) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      out = platform::WellFormedUtf8(text);
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

// Bytes the driver adds after a character value it writes: a terminator of the C type.
size_t TerminatorBytes(SQLSMALLINT cType) { return cType == SQL_C_WCHAR ? 2 : cType == SQL_C_CHAR ? 1 : 0; }

// A fixed-size value from its bytes; the bytes of a bound slot or a local buffer.
template <class T>
T Load(std::string_view raw) {
  T value;
  std::memcpy(&value, raw.data(), sizeof value);
  return value;
}

// The value formatters, one per kind: raw bytes as the driver delivered them
// (the fixed-size structure or the whole text) in, the value text out.
void FormatSigned(std::string_view raw, std::string& out) {
  out.assign(platform::TDecimalText(static_cast<long long>(Load<SQLBIGINT>(raw))).View());
}
void FormatUnsigned(std::string_view raw, std::string& out) {
  out.assign(platform::TDecimalText(static_cast<unsigned long long>(Load<SQLUBIGINT>(raw))).View());
}
void FormatDouble(std::string_view raw, std::string& out) { FormatFloat(Load<SQLDOUBLE>(raw), 15, out); }
// Shortest text of the float itself: 0.1 and not 0.100000001490116 of its
// widening to double, and 12345678 whole so that the column sum reads it.
void FormatReal(std::string_view raw, std::string& out) { FormatSingle(Load<SQLREAL>(raw), out); }
void FormatBoolean(std::string_view raw, std::string& out) { out = raw.front() ? "True" : "False"; }
void FormatDateValue(std::string_view raw, std::string& out) { FormatDate(Load<SQL_DATE_STRUCT>(raw), out); }
void FormatTimestampValue(std::string_view raw, std::string& out) {
  FormatTimestamp(Load<SQL_TIMESTAMP_STRUCT>(raw), out);
}
// MySQL times are durations too (-01:00:00, 48:00:00), which the time structure
// cannot hold: read as text, and only a time of day is reformatted.
void FormatTimeValue(std::string_view raw, std::string& out) { FormatTimeText(raw, out); }
void FormatDateTextValue(std::string_view raw, std::string& out) { FormatDateTimeText(raw, out); }
void FormatDecimalValue(std::string_view raw, std::string& out) { FormatDecimal(raw, out); }
void FormatBinaryValue(std::string_view raw, std::string& out) { FormatBinary(raw, out); }
void FormatWideText(std::string_view raw, std::string& out) { AssignWide(raw.data(), raw.size(), out); }
void FormatUtf8Text(std::string_view raw, std::string& out) { AssignUtf8(raw, out); }

// Room for the rest of a long value, taken once from what the driver says it
// still holds (`remaining` bytes of its form, each at most `growth` bytes of
// text), so the text never grows by doubling; nothing when the driver does not say.
void ReserveRest(std::string& out, SQLLEN remaining, size_t growth) {
  if (remaining == SQL_NO_TOTAL || remaining < 0) return;
  const size_t wanted = out.size() + static_cast<size_t>(remaining) * growth;
  if (wanted > out.capacity()) out.reserve(wanted);
}

}  // namespace

// How each kind of value arrives and becomes text, for both reading paths (a
// bound slot after the fetch, SQLGetData one by one): the C type the driver
// delivers, the bytes of its fixed-size form (0: a text or byte string of any
// length, read whole) and its formatter.
struct TRecordSet::TValueFormat {
  SQLSMALLINT cType;
  size_t fixedBytes;
  void (*format)(std::string_view raw, std::string& out);
  TPieces pieces = TPieces::Whole;  // how a value read in pieces becomes text
};

// Builds the text of a long value from the pieces the driver delivers, straight
// into the value: text as it comes (UTF-16 converted piece by piece, a surrogate
// pair cut between two pieces joined again), binary values in hexadecimal. The
// short texts (decimals, dates, times) are gathered and formatted whole.
class TRecordSet::TValueBuilder {
 public:
  TValueBuilder(const TValueFormat& kind, std::string& out) : kind_(kind), out_(out) { out_.clear(); }

  // One piece in the driver's form; `remaining`: the bytes the driver held before
  // this piece, or SQL_NO_TOTAL.
  void Take(std::string_view piece, SQLLEN remaining) {
    switch (kind_.pieces) {
      case TPieces::Utf16: return TakeUtf16(WideView(piece), remaining);
      case TPieces::Utf8:
        ReserveRest(out_, remaining, 1);
        out_.append(piece);
        return;
      case TPieces::Hex: {
        ReserveRest(out_, remaining, 2);
        std::string hex;
        FormatBinary(piece, hex);
        out_ += hex;
        return;
      }
      case TPieces::Whole: gathered_.append(piece); return;
    }
  }

  void Finish() {
    switch (kind_.pieces) {
      case TPieces::Utf16:
        if (pendingHigh_ != 0) out_ += platform::Utf16ToUtf8({&pendingHigh_, 1});
        return;
      case TPieces::Utf8:
        if (!platform::IsUtf8(out_)) out_ = platform::WellFormedUtf8(out_);
        return;
      case TPieces::Hex: return;
      case TPieces::Whole: return kind_.format(gathered_, out_);
    }
  }

 private:
  void TakeUtf16(std::u16string_view units, SQLLEN remaining) {
    // ASCII takes a byte per unit: the usual value is reserved exactly; other
    // text takes up to three, and the reservation grows once to that bound.
    ReserveRest(out_, remaining / 2, 1);
    if (!std::ranges::all_of(units, [](char16_t unit) { return unit < 0x80; })) ReserveRest(out_, remaining / 2, 3);
    if (pendingHigh_ != 0 && !units.empty()) {
      const bool paired = units.front() >= 0xDC00 && units.front() <= 0xDFFF;
      const char16_t pair[2] = {pendingHigh_, paired ? units.front() : u'\0'};
      out_ += platform::Utf16ToUtf8({pair, paired ? 2u : 1u});
      if (paired) units.remove_prefix(1);
      pendingHigh_ = 0;
    }
    if (!units.empty() && IsHighSurrogate(units.back())) {
      pendingHigh_ = units.back();
      units.remove_suffix(1);
    }
    AppendWide(units, out_);
  }

  const TValueFormat& kind_;
  std::string& out_;
  std::string gathered_;
  char16_t pendingHigh_ = 0;
};

const TRecordSet::TValueFormat& TRecordSet::FormatOf(Fetch fetch) {
  static constexpr TValueFormat kSigned{SQL_C_SBIGINT, sizeof(SQLBIGINT), FormatSigned};
  static constexpr TValueFormat kUnsigned{SQL_C_UBIGINT, sizeof(SQLUBIGINT), FormatUnsigned};
  static constexpr TValueFormat kDouble{SQL_C_DOUBLE, sizeof(SQLDOUBLE), FormatDouble};
  static constexpr TValueFormat kReal{SQL_C_FLOAT, sizeof(SQLREAL), FormatReal};
  static constexpr TValueFormat kBoolean{SQL_C_BIT, 1, FormatBoolean};
  static constexpr TValueFormat kDate{SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT), FormatDateValue};
  static constexpr TValueFormat kTimestamp{SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), FormatTimestampValue};
  static constexpr TValueFormat kTime{SQL_C_CHAR, 0, FormatTimeValue};
  static constexpr TValueFormat kDateText{SQL_C_CHAR, 0, FormatDateTextValue};
  static constexpr TValueFormat kDecimal{SQL_C_CHAR, 0, FormatDecimalValue};
  static constexpr TValueFormat kBinary{SQL_C_BINARY, 0, FormatBinaryValue, TPieces::Hex};
  static constexpr TValueFormat kText{SQL_C_WCHAR, 0, FormatWideText, TPieces::Utf16};
  static constexpr TValueFormat kUtf8Text{SQL_C_CHAR, 0, FormatUtf8Text, TPieces::Utf8};
  // Only SQLite describes expressions as text, and it reads text as UTF-8.
  static constexpr TValueFormat kExpressionText{SQL_C_CHAR, 0, FormatUtf8Text, TPieces::Utf8};
  using enum Fetch;
  switch (fetch) {
    case Signed: return kSigned;
    case Unsigned: return kUnsigned;
    case Double: return kDouble;
    case Real: return kReal;
    case Boolean: return kBoolean;
    case Date: return kDate;
    case Timestamp: return kTimestamp;
    case Time: return kTime;
    case DateText: return kDateText;
    case Decimal: return kDecimal;
    case Binary: return kBinary;
    case Utf8Text: return kUtf8Text;
    case ExpressionText: return kExpressionText;
    case Text: break;
  }
  return kText;
}

TRecordSet::TRecordSet(TConnection& connection, const std::string& statement)
    : connection_(connection),
      stmt_(connection.NewStatement()),
      deadline_(stmt_.Get(), connection.Limits().statement),
      readsAhead_(connection.Waiter() != nullptr) {
  std::u16string wide = platform::Utf8ToUtf16(statement);
  if (!readsAhead_) {
    connection.RunStatement(stmt_.Get(), deadline_, [&] { Execute(wide); });
    return;
  }
  ahead_ = std::make_unique<TReadAhead>(*connection.Waiter(), [stmt = stmt_.Get()] { SQLCancel(stmt); },
                                        std::chrono::steady_clock::now());
  ahead_->Start([this, &ahead = *ahead_, wide = std::move(wide)] { ReadAhead(ahead, wide); });
  WithinDeadline([this] { Take(); });
}

void TRecordSet::Execute(const std::u16string& statement) {
  SQLRETURN rc = Check(SQLExecDirectW(stmt_.Get(), reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(statement.data())),
                                      static_cast<SQLINTEGER>(statement.size())),
                       stmt_, "SQLExecDirect");
  if (rc == SQL_NO_DATA) return;  // nothing to read: at the end at once
  Describe(connection_);
  if (connection_.CanReadBoundColumns()) BindColumns(connection_);
  if (!columns_.empty()) {
    eof_ = false;
    FetchRow(Values::Read);
    TypeExpressionsByValue();
  }
}

void TRecordSet::ReadAhead(TReadAhead& ahead, const std::u16string& statement) {
  Execute(statement);
  while (!eof_) {
    if (onlyCount_.load(std::memory_order_relaxed)) return CountRest();
    if (!ahead.Put(values_, recNo_)) return;
    FetchRow(Values::Read);
  }
}

void TRecordSet::Take() {
  takenEof_ = !ahead_->Take(taken_, takenRecNo_);
  if (!takenEof_) return;
  taken_.resize(columns_.size());
  for (std::string& value : taken_) value.clear();
}

template <class F>
void TRecordSet::WithinDeadline(F&& step) {
  try {
    step();
  } catch (const EDatabaseError&) {
    if (deadline_.Expired()) throw EDatabaseError(StatementTimeoutMessage(deadline_.Limit()));
    throw;
  }
}

TRecordSet::~TRecordSet() { Close(); }

void TRecordSet::Close() noexcept {
  // The reader lets go of the statement handle before it is freed.
  ahead_.reset();
  deadline_.Disarm();
  stmt_.Reset();
  isBound_ = false;
  rowsFetched_ = rowInBlock_ = 0;
  eof_ = takenEof_ = true;
  for (std::string& value : values_) std::string().swap(value);
  for (std::string& value : taken_) std::string().swap(value);
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
  values_.resize(columns_.size());
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
    std::u16string wideName(NameView(name, static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0))));
    column.name = platform::Utf16ToUtf8(wideName);

    SQLSMALLINT labelBytes = 0;
    std::fill(name.begin(), name.end(), u'\0');
    SQLRETURN rc = SQLColAttributeW(stmt_.Get(), n, SQL_DESC_LABEL, name.data(),
                                    static_cast<SQLSMALLINT>(name.size() * 2), &labelBytes, nullptr);
    if (SQL_SUCCEEDED(rc) && labelBytes > 0) wideName = NameView(name, static_cast<size_t>(labelBytes));
    column.label = platform::Utf16ToUtf8(wideName);

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
      default:
        if (connection.DescribesExpressionsAsText() && column.type != TFieldType::ftUnknown && MayHoldNumbers(n))
          column.fetch = Fetch::ExpressionText;
        else if (connection.ReadsTextAsUtf8())
          column.fetch = Fetch::Utf8Text;
        else
          column.fetch = Fetch::Text;
        break;
    }
  }
}

bool TRecordSet::MayHoldNumbers(SQLUSMALLINT n) const {
  auto attribute = [&](SQLUSMALLINT field) {
    std::u16string text(128, u'\0');
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(stmt_.Get(), n, field, text.data(),
                                        static_cast<SQLSMALLINT>((text.size() - 1) * 2), &bytes, nullptr)))
      return std::string();
    return platform::Utf16ToUtf8(NameView(text, static_cast<size_t>(std::max<SQLSMALLINT>(bytes, 0))));
  };
  if (attribute(SQL_DESC_BASE_TABLE_NAME).empty()) return true;
  std::string declared = attribute(SQL_DESC_TYPE_NAME);
  std::ranges::transform(declared, declared.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  for (const char* textual : {"char", "clob", "text", "blob"})
    if (declared.find(textual) != std::string::npos) return false;
  return true;
}

void TRecordSet::TypeExpressionsByValue() {
  for (ColumnInfo& column : columns_)
    if (column.fetch == Fetch::ExpressionText && column.holdsFloat) column.type = TFieldType::ftFloat;
}

void TRecordSet::BindColumns(const TConnection& connection) {
  size_t rowBytes = 0;
  for (ColumnInfo& column : columns_) {
    // Long and unsized values stay with SQLGetData after the fetch: bound, nearly
    // all of them would be read twice (and the MariaDB driver reads past its own
    // buffer converting a cut wide value).
    const bool sized = column.size > 0 && column.type != TFieldType::ftMemo && column.type != TFieldType::ftBlob;
    const bool fits = sized && column.size <= kMaxBoundChars;
    switch (column.fetch) {
      case Fetch::Time:
      case Fetch::DateText: column.boundBytes = kTimeTextBytes; break;
      // Sign, point and terminator beside the digits.
      case Fetch::Decimal: column.boundBytes = fits ? std::max<size_t>(column.size + 4, 32) : 0; break;
      case Fetch::Binary: column.boundBytes = sized && column.size <= kMaxBoundBinary ? column.size : 0; break;
      // Room for a surrogate pair per character and the terminator.
      case Fetch::Text: column.boundBytes = fits ? (2 * column.size + 1) * 2 : 0; break;
      // Up to four bytes per character and the terminator.
      case Fetch::ExpressionText:
      case Fetch::Utf8Text: column.boundBytes = fits ? 4 * column.size + 1 : 0; break;
      default: column.boundBytes = FormatOf(column.fetch).fixedBytes; break;
    }
    // The record's layout: per column its indicator, then its slot.
    column.boundOffset = rowBytes + sizeof(SQLLEN);
    rowBytes = column.boundOffset + SlotStride(column.boundBytes);
  }
  rowBytes_ = rowBytes;
  if (!UseBlocks(BlockRowsFor(connection, rowBytes))) UseBlocks(1);
  bound_.assign(rowBytes_ * blockRows_ / sizeof(SQLBIGINT), 0);
  char* base = reinterpret_cast<char*>(bound_.data());
  for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) {
    ColumnInfo& column = columns_[n - 1];
    if (column.boundBytes == 0) continue;
    if (!SQL_SUCCEEDED(SQLBindCol(stmt_.Get(), n, FormatOf(column.fetch).cType, base + column.boundOffset,
                                  static_cast<SQLLEN>(column.boundBytes),
                                  reinterpret_cast<SQLLEN*>(base + column.boundOffset - sizeof(SQLLEN))))) {
      Unbind();  // this driver gets the values one by one
      return;
    }
  }
  isBound_ = true;
}

size_t TRecordSet::BlockRowsFor(const TConnection& connection, size_t rowBytes) const {
  if (!connection.FetchesBlocks()) return 1;
  bool outgrowable = false;
  for (const ColumnInfo& column : columns_) {
    if (column.boundBytes == 0) return 1;
    outgrowable = outgrowable || FormatOf(column.fetch).fixedBytes == 0;
  }
  if (outgrowable && !connection.CanReadWithinBlock()) return 1;
  return std::clamp<size_t>(kBlockBytes / std::max<size_t>(rowBytes, 1), 1, kMaxBlockRows);
}

bool TRecordSet::UseBlocks(size_t rows) {
  blockRows_ = 1;
  // Only grows: a driver keeps the address it was given last.
  if (rowStatus_.size() < rows) rowStatus_.resize(rows, SQL_ROW_SUCCESS);
  SQLHSTMT stmt = stmt_.Get();
  // Bound by record: every driver takes the record's size as the distance, where
  // by column some take the C type's size instead of the slot's.
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(rowBytes_), 0)) &&
      rows > 1)
    return false;
  // A driver may put a smaller size in place of the one asked for (01S02): the
  // size it keeps is read back.
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0)))
    return false;
  SQLULEN kept = 0;
  if (!SQL_SUCCEEDED(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &kept, 0, nullptr)) || kept < 1 || kept > rows)
    return false;
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched_, 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0)))
    return false;
  blockRows_ = static_cast<size_t>(kept);
  return true;
}

void TRecordSet::Unbind() noexcept {
  if (stmt_) SQLFreeStmt(stmt_.Get(), SQL_UNBIND);
  isBound_ = false;
  for (ColumnInfo& column : columns_) column.boundBytes = 0;
  bound_.clear();
  bound_.shrink_to_fit();
}

void TRecordSet::Next() {
  if (readsAhead_) {
    if (!takenEof_) WithinDeadline([this] { Take(); });
    return;
  }
  if (eof_) return;
  WithinDeadline([this] { FetchRow(Values::Read); });
}

int TRecordSet::RecordCount() {
  if (readsAhead_) {
    if (takenEof_) return takenRecNo_;
    onlyCount_.store(true, std::memory_order_relaxed);
    WithinDeadline([this] {
      while (!takenEof_) Take();
    });
    // The reader has ended: it counted what it did not put.
    takenRecNo_ = recNo_;
    return takenRecNo_;
  }
  if (eof_) return recNo_;
  connection_.RunStatement(stmt_.Get(), deadline_, [this] { CountRest(); });
  for (std::string& value : values_) value.clear();
  return recNo_;
}

void TRecordSet::CountRest() {
  // The rest of the block is counted as it is; further blocks need no conversions.
  recNo_ += static_cast<int>(rowsFetched_ - rowInBlock_ - 1);
  if (isBound_) Unbind();
  for (;;) {
    rowInBlock_ = static_cast<size_t>(rowsFetched_);  // past the block: the next fetch
    if (!Advance()) break;
    recNo_ += static_cast<int>(rowsFetched_);
  }
  eof_ = true;
}

bool TRecordSet::Advance() {
  if (++rowInBlock_ < rowsFetched_) return true;
  rowInBlock_ = 0;
  rowsFetched_ = 0;
  if (Check(SQLFetch(stmt_.Get()), stmt_, "SQLFetch") == SQL_NO_DATA) return false;
  // Without a block the driver need not report its single record.
  if (blockRows_ == 1) rowsFetched_ = 1;
  return rowsFetched_ > 0;
}

void TRecordSet::FetchRow(Values values) {
  // A large value's text goes before the driver reads the next record.
  ReleaseLargeValues(values_);
  if (!Advance()) {
    eof_ = true;
    for (std::string& value : values_) value.clear();
    return;
  }
  ++recNo_;
  if (values == Values::Skip) return;
  if (blockRows_ > 1 && rowStatus_[rowInBlock_] == SQL_ROW_ERROR)
    throw EDatabaseError("Der Datensatz " + std::to_string(recNo_) +
                                                " konnte nicht gelesen werden");
  for (SQLUSMALLINT n = 1; n <= columns_.size(); ++n) {
    ColumnInfo& column = columns_[n - 1];
    std::string& value = values_[n - 1];
    if (column.boundBytes != 0)
      ConvertBound(n, column, value);
    else
      ReadValue(n, column, value);
    // NOTE: the driver hands over SQLite's own text of a real ("7388.36",
    // "1.0e+301"); a text value that reads the same cannot be told apart through ODBC.
    if (column.fetch == Fetch::ExpressionText) column.holdsFloat = FormatFloatText(value);
  }
}

void TRecordSet::ConvertBound(SQLUSMALLINT n, const ColumnInfo& column, std::string& value) {
  const TValueFormat& kind = FormatOf(column.fetch);
  const char* record = reinterpret_cast<const char*>(bound_.data()) + rowInBlock_ * rowBytes_;
  const SQLLEN indicator = Load<SQLLEN>({record + column.boundOffset - sizeof(SQLLEN), sizeof(SQLLEN)});
  if (indicator == SQL_NULL_DATA) {
    value.clear();
    return;
  }
  const char* slot = record + column.boundOffset;
  if (kind.fixedBytes != 0) return kind.format({slot, kind.fixedBytes}, value);
  // A character or binary value: in the slot when it fitted, else read again whole.
  if (indicator != SQL_NO_TOTAL && indicator >= 0 &&
      static_cast<size_t>(indicator) + TerminatorBytes(kind.cType) <= column.boundBytes)
    return kind.format({slot, static_cast<size_t>(indicator)}, value);
  if (blockRows_ == 1) {
    ReadWhole(n, kind, value);
    return;
  }
  ReadOutgrown(n, column, kind, {slot, column.boundBytes - TerminatorBytes(kind.cType)}, value);
}

void TRecordSet::ReadOutgrown(SQLUSMALLINT n, const ColumnInfo& column, const TValueFormat& kind,
                              std::string_view slot, std::string& value) {
  Check(SQLSetPos(stmt_.Get(), static_cast<SQLSETPOSIROW>(rowInBlock_ + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE), stmt_,
        "SQLSetPos");
  // NOTE: a driver may claim to read within a block and still read another
  // record: a value that does not start as its slot does is refused, not shown.
  const std::string_view start = slot.substr(0, TerminatedLength(slot.data(), slot.size(), kind.cType));
  if (!ReadWhole(n, kind, value, start))
    throw EDatabaseError("Der Datenbanktreiber liest den langen Wert des Feldes \"" + column.name +
                         "\" im Datensatz " + std::to_string(recNo_) + " nicht richtig");
}

void TRecordSet::ReadValue(SQLUSMALLINT n, const ColumnInfo& column, std::string& value) {
  const TValueFormat& kind = FormatOf(column.fetch);
  if (kind.fixedBytes == 0) {
    ReadWhole(n, kind, value);
    return;
  }
  alignas(SQL_TIMESTAMP_STRUCT) char fixed[sizeof(SQL_TIMESTAMP_STRUCT)] = {};  // the largest fixed form
  SQLLEN indicator = 0;
  Check(SQLGetData(stmt_.Get(), n, kind.cType, fixed, static_cast<SQLLEN>(kind.fixedBytes), &indicator), stmt_,
        "SQLGetData");
  if (indicator == SQL_NULL_DATA)
    value.clear();
  else
    kind.format({fixed, kind.fixedBytes}, value);
}

bool TRecordSet::ReadWhole(SQLUSMALLINT n, const TValueFormat& kind, std::string& value,
                           std::string_view expectedStart) {
  TValueBuilder text(kind, value);
  size_t read = 0;
  bool startMatches = true;
  const bool isValue = ReadPieces(n, kind.cType, [&](std::string_view piece, SQLLEN remaining) {
    if (read < expectedStart.size()) {
      const size_t compared = std::min(piece.size(), expectedStart.size() - read);
      startMatches = startMatches && piece.substr(0, compared) == expectedStart.substr(read, compared);
    }
    read += piece.size();
    text.Take(piece, remaining);
  });
  if (!isValue) {
    value.clear();
    return expectedStart.empty();
  }
  text.Finish();
  return expectedStart.empty() || (startMatches && read > expectedStart.size());
}

template <class Consume>
bool TRecordSet::ReadPieces(SQLUSMALLINT n, SQLSMALLINT cType, Consume&& take) {
  const size_t terminator = TerminatorBytes(cType);
  if (buffer_.size() < kFirstBufferBytes) buffer_.resize(kFirstBufferBytes);
  for (;;) {
    const SQLLEN room = static_cast<SQLLEN>(buffer_.size());
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        Check(SQLGetData(stmt_.Get(), n, cType, buffer_.data(), room, &indicator), stmt_, "SQLGetData");
    if (rc == SQL_NO_DATA) return true;  // the previous piece was the last
    if (indicator == SQL_NULL_DATA) return false;
    const size_t piece = static_cast<size_t>(room) - terminator;
    if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) <= piece) {
      take(std::string_view(buffer_.data(), static_cast<size_t>(indicator)), indicator);
      return true;
    }
    if (rc == SQL_SUCCESS) {  // no length reported, but everything fitted
      take(std::string_view(buffer_.data(), TerminatedLength(buffer_.data(), piece, cType)), SQL_NO_TOTAL);
      return true;
    }
    take(std::string_view(buffer_.data(), piece), indicator);
    // Larger pieces for a long value, up to kPieceBytes: fewer calls, and never
    // the driver's whole form of a large value in memory beside its text.
    if (buffer_.size() < kPieceBytes) {
      const size_t rest = indicator == SQL_NO_TOTAL ? kPieceBytes : static_cast<size_t>(indicator) - piece + terminator;
      buffer_.resize((std::clamp(rest, buffer_.size(), kPieceBytes) + 1) & ~size_t{1});
    }
  }
}

}  // namespace vornetta::db
