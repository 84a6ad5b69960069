// An open query result. Forward-only and streaming: only the current record is
// held in memory, its values already converted to text. Where someone waits who
// must not be held (the window), the statement runs and its records are fetched
// ahead on a thread of its own, a few at a time (TReadAhead).
#pragma once

#include <sql.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/field_type.h"
#include "db/odbc_handle.h"
#include "db/statement_deadline.h"

namespace vornetta::db {

class TConnection;
class TReadAhead;

class TRecordSet {
 public:
  // Runs the statement on the connection and positions on the first record.
  // When the connection has a waiter, the statement handle belongs to a reader
  // thread from here to Close: it runs the statement and fetches ahead while
  // the waiter waits for the records. The connection's statement limit runs
  // until Close. Throws EDatabaseError with the driver's message or the time
  // limit's, and the waiter's platform::ECancelled.
  TRecordSet(TConnection& connection, const std::string& statement);
  ~TRecordSet();
  TRecordSet(const TRecordSet&) = delete;
  TRecordSet& operator=(const TRecordSet&) = delete;

  // True after the last record (at once for an empty result or a statement
  // without a result set) and after Close. Throws nothing.
  bool Eof() const { return readsAhead_ ? takenEof_ : eof_; }
  // Moves to the next record. Throws EDatabaseError, and the waiter's platform::ECancelled.
  void Next();
  // Releases the statement (a reader thread cancelled and ended first); the
  // set is then at its end. Never throws.
  void Close() noexcept;

  // The number of records of the result. Counts by fetching the rest (off the
  // waiting thread like the statement): afterwards the set is at its end.
  // Throws EDatabaseError.
  int RecordCount();
  // The number of records fetched so far: 1 on the first record. Throws nothing.
  int RecNo() const { return readsAhead_ ? takenRecNo_ : recNo_; }

  // How many records one fetch brings: 1 record by record, more in blocks. Throws nothing.
  int RecordsPerFetch() const { return static_cast<int>(blockRows_); }

  int FieldCount() const { return static_cast<int>(columns_.size()); }  // throws nothing
  // Field i from 0; for each of the following an index outside 0..FieldCount()-1
  // throws std::out_of_range, and nothing else throws.
  const std::string& FieldName(int i) const { return Column(i).name; }
  const std::string& DisplayName(int i) const { return Column(i).label; }
  TFieldType DataType(int i) const { return Column(i).type; }
  // The text of the current record's value: "" for NULL and at the end.
  const std::string& Value(int i) const {
    Column(i);
    return (readsAhead_ ? taken_ : values_)[static_cast<size_t>(i)];
  }

 private:
  enum class Fetch {
    Text, Utf8Text, Signed, Unsigned, Double, Real, Boolean, Decimal, Date, Time, Timestamp, DateText, Binary,
    // Text of a column without a declared type whose values may be numbers:
    // floating-point values get the regional separator.
    ExpressionText
  };
  struct ColumnInfo {
    std::string name;
    std::string label;
    TFieldType type = TFieldType::ftUnknown;
    Fetch fetch = Fetch::Text;
    SQLULEN size = 0;  // the driver's column size, 0 when unknown
    bool holdsFloat = false;  // ExpressionText: the value was a floating-point number
    // Where SQLFetch puts the value within each record of bound_ (its indicator
    // just before it); 0 bytes: not bound, read with SQLGetData.
    size_t boundOffset = 0;
    size_t boundBytes = 0;
  };

  const ColumnInfo& Column(int i) const;
  // Executes, describes and binds, and fetches the first record.
  void Execute(const std::u16string& statement);
  // The reader thread: runs the statement and puts its records into `ahead`
  // until the last one, the stop, or RecordCount's wish for only the count.
  void ReadAhead(TReadAhead& ahead, const std::u16string& statement);
  // The next record from ahead_; at the end the taken values are empty.
  void Take();
  // Dates and character values are read as the connection says (ReadsDatesAsText,
  // ReadsTextAsUtf8).
  void Describe(const TConnection& connection);
  // Whether a character column of a driver that describes expressions as text
  // (DescribesExpressionsAsText) may hold numbers: no table behind it, or a
  // declared type that is neither text nor binary.
  bool MayHoldNumbers(SQLUSMALLINT number) const;
  // An expression column whose first value was a floating-point number is typed as one.
  void TypeExpressionsByValue();
  // Binds the columns of bounded size to slots of bound_ when the driver lets a
  // bound column be read again with SQLGetData (for values longer than their
  // slot); the others are read one by one after each fetch. When every column
  // is bound, a fetch brings a block of records (BlockRowsFor).
  void BindColumns(const TConnection& connection);
  // The records one fetch may bring: 1 while a column is read with SQLGetData
  // (not every driver can read within a block) or, where the driver cannot
  // position within a block, while a bound value may outgrow its slot.
  size_t BlockRowsFor(const TConnection& connection, size_t rowBytes) const;
  // Asks the driver for blocks of the given size; false when it refuses them.
  bool UseBlocks(size_t rows);
  void Unbind() noexcept;
  enum class Values { Read, Skip };
  void FetchRow(Values values);
  // Counts the records after the current one by fetching them without their values.
  void CountRest();
  // The next record of the block, else the next block from the driver; false at the end.
  bool Advance();
  // How a value read in pieces becomes its text.
  enum class TPieces { Whole, Utf16, Utf8, Hex };
  struct TValueFormat;
  class TValueBuilder;
  static const TValueFormat& FormatOf(Fetch fetch);
  // The current record's value of the column, from its bound slot or with SQLGetData.
  void ConvertBound(SQLUSMALLINT number, const ColumnInfo& column, std::string& value);
  void ReadValue(SQLUSMALLINT number, const ColumnInfo& column, std::string& value);
  // Reads a character or binary value in pieces into `value`. With
  // `expectedStart`, false unless the driver's form begins with it and goes on
  // beyond it (and is not NULL); else true.
  bool ReadWhole(SQLUSMALLINT number, const TValueFormat& kind, std::string& value,
                 std::string_view expectedStart = {});
  // A value that outgrew its slot within a block: the driver positions on its
  // record and reads it whole; its slot must hold the start of what it reads.
  void ReadOutgrown(SQLUSMALLINT number, const ColumnInfo& column, const TValueFormat& kind, std::string_view slot,
                    std::string& value);
  // Reads a character or binary value with SQLGetData in pieces of at most
  // kPieceBytes into buffer_, handing each to take(piece, bytes the driver held
  // before it or SQL_NO_TOTAL); false for NULL.
  template <class Consume>
  bool ReadPieces(SQLUSMALLINT number, SQLSMALLINT cType, Consume&& take);

  // Reports a failure after the time limit as the limit's.
  template <class F>
  void WithinDeadline(F&& step);

  TConnection& connection_;
  TOdbcHandle stmt_;
  TStatementDeadline deadline_;
  // What the driver describes; with a reader thread written by it before its
  // first record is put, and only read afterwards (but holdsFloat and the slots).
  std::vector<ColumnInfo> columns_;
  // The current record's value texts as fetched.
  std::vector<std::string> values_;
  std::vector<char> buffer_;  // one piece of a long value
  // The bound records of a block, each rowBytes_ long, 8-byte aligned for the
  // numeric and date structures; the record of the block that is current; what
  // the driver reports of the block.
  std::vector<SQLBIGINT> bound_;
  size_t rowBytes_ = 0;
  size_t blockRows_ = 1;
  size_t rowInBlock_ = 0;
  SQLULEN rowsFetched_ = 0;
  std::vector<SQLUSMALLINT> rowStatus_;
  bool isBound_ = false;
  bool eof_ = true;
  int recNo_ = 0;

  // With a reader thread: the record taken from it, what the caller sees.
  const bool readsAhead_;
  std::vector<std::string> taken_;
  int takenRecNo_ = 0;
  bool takenEof_ = true;
  // Set by RecordCount: the reader counts the rest instead of putting it.
  std::atomic<bool> onlyCount_{false};
  // Last: it ends the reader before anything it uses goes.
  std::unique_ptr<TReadAhead> ahead_;
};

}  // namespace vornetta::db
