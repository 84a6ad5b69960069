// Checks of block fetches shared by the SQLite, MariaDB and PostgreSQL tests:
// a result read in blocks must give what the same result gives record by record,
// and so must one read ahead on a thread of its own for a waiter (the window).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "db/database_wait.h"
#include "db/datenbank_ado.h"
#include "platform/code_page.h"

namespace vornetta::db::test {

// One record as the report sees it: every value's text.
using TRecordTexts = std::vector<std::string>;

struct TReadResult {
  std::vector<std::string> header;  // name, label and kind of each column
  std::vector<TRecordTexts> records;
  int recordsPerFetch = 0;
  int count = 0;  // RecNo at the end
};

// A waiter that lets everything run; it counts its passes through the pump.
class TPatientWaiter : public TDatabaseWaiter {
 public:
  bool PumpEvents() override {
    ++pumps;
    return true;
  }
  std::chrono::milliseconds Slice() const override { return std::chrono::milliseconds(1); }
  void Waiting(TTask, std::chrono::steady_clock::duration) override {}
  int pumps = 0;
};

// Reads the whole result; with a waiter its records are read ahead.
inline TReadResult ReadAll(TDatenbankAdo& db, const std::string& sql, bool blocks,
                           TDatabaseWaiter* waiter = nullptr) {
  db.Connection().SetFetchesBlocks(blocks);
  db.Connection().SetWork(db.Connection().Limits(), waiter);
  TReadResult result;
  auto rs = db.GetData(sql);
  result.recordsPerFetch = rs->RecordsPerFetch();
  for (int i = 0; i < rs->FieldCount(); ++i)
    result.header.push_back(rs->FieldName(i) + "/" + rs->DisplayName(i) + "/" +
                            TDatenbankAdo::FieldTypeName(rs->DataType(i)));
  for (; !rs->Eof(); rs->Next()) {
    TRecordTexts& record = result.records.emplace_back();
    for (int i = 0; i < rs->FieldCount(); ++i) record.push_back(rs->Value(i));
  }
  result.count = rs->RecNo();
  db.Connection().SetFetchesBlocks(true);
  db.Connection().SetWork(db.Connection().Limits(), nullptr);
  return result;
}

inline void ExpectSameRead(const TReadResult& expected, const TReadResult& read, const std::string& sql) {
  EXPECT_EQ(read.header, expected.header) << sql;
  EXPECT_EQ(read.count, expected.count) << sql;
  EXPECT_EQ(read.records.size(), expected.records.size()) << sql;
  for (size_t r = 0; r < std::min(read.records.size(), expected.records.size()); ++r)
    if (read.records[r] != expected.records[r]) {
      ADD_FAILURE() << sql << ": record " << r + 1 << " differs";
      break;
    }
}

// Reads sql in blocks and record by record; expects the same columns, texts and
// marks and gives the block read. Its records per fetch tell whether blocks were used.
inline TReadResult ExpectBlocksReadAsRecordByRecord(TDatenbankAdo& db, const std::string& sql) {
  TReadResult blocks = ReadAll(db, sql, true);
  const TReadResult single = ReadAll(db, sql, false);
  EXPECT_EQ(single.recordsPerFetch, 1);
  ExpectSameRead(single, blocks, sql);
  TPatientWaiter waiter;
  ExpectSameRead(blocks, ReadAll(db, sql, true, &waiter), sql);
  ExpectSameRead(single, ReadAll(db, sql, false, &waiter), sql);
  // Counting after the first record gives the rest of the records from any place in a block.
  db.Connection().SetFetchesBlocks(true);
  auto counted = db.GetData(sql);
  EXPECT_EQ(counted->RecordCount(), blocks.count) << sql;
  return blocks;
}

// The rows from 1 to count of table b as the three databases' tests fill it: a
// NULL in every column on every 7th row, a wide decimal, a date and a timestamp,
// a text only UTF-8 holds on every 5th row and one the code page holds on the others.
inline std::string BlockTableRow(int id) {
  auto cell = [&](const std::string& value) { return id % 7 == 0 ? std::string("null") : value; };
  const std::string n = std::to_string(id);
  const std::string day = (id % 28 + 1 < 10 ? "0" : "") + std::to_string(id % 28 + 1);
  return "(" + n + ", " + cell(n + "123456789012.345678") + ", " + cell(n + ".25") + ", " +
         cell("'2024-02-" + day + "'") + ", " + cell("'2023-12-31 23:59:" + day + "'") + ", " +
         cell(id % 5 == 0 ? "'Łukasz " + n + "'" : "'Größe " + n + "'") + ")";
}

inline std::string BlockTableInsert(int from, int to) {
  std::string sql = "insert into b values ";
  for (int id = from; id <= to; ++id) sql += (id > from ? ", " : "") + BlockTableRow(id);
  return sql;
}

// Fills table b (id, amount, price, day, stamp, note; created by the caller)
// with 600 rows and reads its `columns` (id first) in blocks: every block
// boundary (a result of exactly one block, one more record, none at all) reads
// as record by record does. Gives the records per fetch of the whole table.
inline int ExpectBlockReadsOfTableB(TDatenbankAdo& db, const std::string& columns) {
  for (int from = 1; from <= 600; from += 200)
    db.Execute(BlockTableInsert(from, from + 199));
  const std::string select = "select " + columns + " from b";
  const TReadResult whole = ExpectBlocksReadAsRecordByRecord(db, select + " order by id");
  EXPECT_EQ(whole.count, 600);
  const int block = whole.recordsPerFetch;
  for (int rows : {block, block + 1, 2 * block}) {
    const TReadResult part =
        ExpectBlocksReadAsRecordByRecord(db, select + " where id <= " + std::to_string(rows) + " order by id");
    EXPECT_EQ(part.count, std::min(rows, 600));
  }
  const TReadResult none = ExpectBlocksReadAsRecordByRecord(db, select + " where id < 0");
  EXPECT_EQ(none.count, 0);
  EXPECT_TRUE(none.records.empty());
  // Within a block: NULLs on every 7th record.
  if (whole.records.size() == 600) {
    for (size_t c = 1; c < whole.records[6].size(); ++c) EXPECT_EQ(whole.records[6][c], "") << c;
  }
  return block;
}

// The whole table b of a server, which holds every value to its declared size,
// comes in blocks, numbers exact to their last digit.
inline void ExpectServerBlockReadsOfTableB(TDatenbankAdo& db) {
  EXPECT_GT(ExpectBlockReadsOfTableB(db, "*"), 1);
  const TReadResult first = ReadAll(db, "select * from b where id in (5, 6) order by id", true);
  ASSERT_EQ(first.records.size(), 2u);
  EXPECT_EQ(first.records[0], (TRecordTexts{"5", "5123456789012.345678", "5.25", "02/06/24", "12/31/23 23:59:06",
                                            "\xc5\x81ukasz 5"}));
  EXPECT_EQ(first.records[1][5], "Größe 6");
}

}  // namespace vornetta::db::test
