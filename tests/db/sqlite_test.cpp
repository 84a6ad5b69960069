// The provider against a real driver without a server: SQLite through ODBC.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <utility>

#include "db/command.h"
#include "db/database_error.h"
#include "db/datenbank_ado.h"
#include "block_fetch_checks.h"
#include "db_test_support.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

using test::TempDir;

// The driver manager hands SQLite's narrow interface text in the locale's character set.
class Utf8Locale : public ::testing::Environment {
 public:
  void SetUp() override {
    std::setlocale(LC_ALL, "C.UTF-8");
    test::PinDriver("SQLite3");
  }
};
const auto* const utf8Locale = ::testing::AddGlobalTestEnvironment(new Utf8Locale);

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseSystemLanguage(platform::Language::Other);
    db_ = std::make_unique<TDatenbankAdo>(test::SqliteConnection(dir_.Path() / "lager.db"));
  }
  void TearDown() override {
    platform::UseSystemLanguage(platform::Language::Other);
    std::setlocale(LC_ALL, "C.UTF-8");
  }

  // Every value of the one-column result, record by record.
  std::vector<std::string> Column(const std::string& statement) {
    std::vector<std::string> values;
    for (auto rs = db_->GetData(statement); !rs->Eof(); rs->Next()) values.push_back(rs->Value(0));
    return values;
  }

  TempDir dir_;
  std::unique_ptr<TDatenbankAdo> db_;
};

TEST_F(SqliteTest, ChangingStatementsReportTheirAffectedCounts) {
  EXPECT_EQ(db_->Kind(), TDatabaseKind::Sqlite);
  db_->Execute("create table artikel (nr integer, name varchar(20), preis double)");
  EXPECT_EQ(db_->Execute("insert into artikel values (1, 'Tisch', 12.5), (2, 'Stuhl', 3), (3, 'Lampe', 7)"), 3);
  EXPECT_EQ(db_->ExecuteUpdate("update artikel set preis = preis * 2 where nr >= 2"), 2);
  EXPECT_EQ(db_->ExecuteUpdate("update artikel set preis = 0 where nr > 99"), 0);
  EXPECT_EQ(db_->ExecuteDelete("delete from artikel where nr = 1"), 1);
  EXPECT_EQ(db_->ExecuteDelete("delete from artikel where nr = 1"), 0);
  EXPECT_EQ(Column("select name from artikel order by nr"), (std::vector<std::string>{"Stuhl", "Lampe"}));
}

TEST_F(SqliteTest, RecordSetStepsForwardWithNumbersAndCount) {
  db_->Execute("create table t (nr integer, name varchar(20))");
  db_->Execute("insert into t values (1, 'a'), (2, 'b'), (3, 'c')");
  auto rs = db_->GetData("select nr as Nummer, name from t order by nr");
  ASSERT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->FieldName(0), "Nummer");
  EXPECT_EQ(rs->DisplayName(0), "Nummer");
  EXPECT_EQ(rs->FieldName(1), "name");
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(rs->RecNo(), 1);
  EXPECT_EQ(rs->Value(0), "1");
  rs->Next();
  EXPECT_EQ(rs->RecNo(), 2);
  EXPECT_EQ(rs->Value(1), "b");
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->Value(0), "");
  EXPECT_THROW(rs->Value(2), std::out_of_range);
  rs->Close();
  EXPECT_TRUE(rs->Eof());

  auto empty = db_->GetData("select nr from t where nr > 5");
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(empty->FieldCount(), 1);
  EXPECT_EQ(empty->RecordCount(), 0);
}

TEST_F(SqliteTest, ValuesOfEveryKindBecomeTexts) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  // The driver names types by the declared words: DECIMAL and CHAR come back as
  // VARCHAR; a DECIMAL's value is still a number.
  db_->Execute(
      "create table w (i integer, s smallint, b bigint, f double, r real, d decimal(10,2), "
      "dt date, tm time, ts timestamp, bl blob, v varchar(10), c char(3), tx text, bit bit)");
  db_->Execute(
      "insert into w values (-42, 7, 9007199254740993, 12.5, 0.25, 12.50, '2024-02-29', '07:05:09', "
      "'1999-12-31 23:59:58', x'00ff10', 'abc', 'xy', 'long text', 1)");
  db_->Execute("insert into w values (null, null, null, null, null, null, null, null, null, null, null, null, "
               "null, null)");
  auto rs = db_->GetData("select * from w");
  std::vector<std::string> expected{"-42", "7", "9007199254740993", "12,5", "0,25", "12,5", "29.02.2024",
                                    "07:05:09", "31.12.1999 23:59:58", "00FF10", "abc", "xy", "long text",
                                    "True"};
  ASSERT_EQ(rs->FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < rs->FieldCount(); ++i) EXPECT_EQ(rs->Value(i), expected[i]) << rs->FieldName(i);
  using enum TFieldType;
  std::vector<TFieldType> types{ftInteger, ftSmallint, ftLargeint, ftFloat, ftFloat, ftFloat, ftDate,
                                ftTime, ftDateTime, ftBytes, ftString, ftString, ftMemo, ftBoolean};
  for (int i = 0; i < rs->FieldCount(); ++i) EXPECT_EQ(rs->DataType(i), types[i]) << rs->FieldName(i);
  rs->Next();
  ASSERT_FALSE(rs->Eof());
  for (int i = 0; i < rs->FieldCount(); ++i) EXPECT_EQ(rs->Value(i), "") << rs->FieldName(i);
  std::setlocale(LC_ALL, "C");
}

// SQLite's driver cannot read within a block: numbers and dates come in blocks,
// while a text, which may outgrow any declared size, makes its statement read
// record by record.
TEST_F(SqliteTest, BlockFetchesGiveWhatRecordByRecordGives) {
  db_->Execute("create table b (id integer, amount decimal(24,6), price double, day date, stamp timestamp, "
               "note varchar(20))");
  EXPECT_GT(test::ExpectBlockReadsOfTableB(*db_, "id, price, day, stamp"), 1);
  const auto first = test::ReadAll(*db_, "select id, price, day, stamp from b where id = 5", true);
  ASSERT_EQ(first.records.size(), 1u);
  EXPECT_EQ(first.records[0], (test::TRecordTexts{"5", "5.25", "02/06/24", "12/31/23 23:59:06"}));
  const auto texts = test::ExpectBlocksReadAsRecordByRecord(*db_, "select * from b order by id");
  EXPECT_EQ(texts.recordsPerFetch, 1);
  ASSERT_EQ(texts.records.size(), 600u);
  EXPECT_EQ(texts.records[4][5], "\xc5\x81ukasz 5");
}

// Read ahead for a waiter (the window), a result longer than the queue between
// the reader and its taker keeps its records, counts from any place, lets go of
// the statement when left early, and fails after the records before its failure,
// all as read on the caller's thread.
TEST_F(SqliteTest, ReadAheadForAWaiterKeepsRecordsCountsAndFailuresInPlace) {
  const std::string rows = "with recursive c(x) as (select 1 union all select x + 1 from c where x < 3000) ";
  const std::string query = rows +
                            "select x, case when x % 7 = 0 then null else 'Zeile ' || x end as t, x * 0.5 as h, "
                            "case when x % 500 = 0 then printf('%05000d', x) else 'kurz' end as l from c";
  test::TPatientWaiter waiter;
  const auto expected = test::ReadAll(*db_, query, true);
  const auto ahead = test::ReadAll(*db_, query, true, &waiter);
  test::ExpectSameRead(expected, ahead, query);
  EXPECT_EQ(ahead.count, 3000);
  EXPECT_EQ(ahead.header[2], "h/h/double");

  db_->Connection().SetWork(db_->Connection().Limits(), &waiter);
  {
    auto rs = db_->GetData(query);
    for (int i = 0; i < 700; ++i) rs->Next();
    EXPECT_EQ(rs->RecNo(), 701);
    EXPECT_EQ(rs->Value(0), "701");
    EXPECT_EQ(rs->RecordCount(), 3000);
    EXPECT_TRUE(rs->Eof());
    EXPECT_EQ(rs->Value(3), "");
  }
  for (int i = 0; i < 20; ++i) EXPECT_EQ(db_->GetData(query)->Value(0), "1");

  const std::string failing = rows + "select case when x <= 1000 then x else abs(-9223372036854775807 - 1) end from c";
  auto readUntilFailure = [&] {
    int records = 0;
    std::string message;
    try {
      for (auto rs = db_->GetData(failing); !rs->Eof(); rs->Next()) ++records;
    } catch (const EDatabaseError& e) {
      message = e.what();
    }
    return std::pair(records, message);
  };
  const auto withWaiter = readUntilFailure();
  db_->Connection().SetWork(db_->Connection().Limits(), nullptr);
  const auto without = readUntilFailure();
  EXPECT_EQ(withWaiter, without);
  EXPECT_GT(without.first, 500);
  EXPECT_NE(without.second.find("overflow"), std::string::npos) << without.second;
}

// SQLite keeps values longer than the declared size: such values outgrow the
// place a fetch writes them to and are read again whole, row after row.
TEST_F(SqliteTest, ValuesLongerThanTheirDeclaredSizeArriveWhole) {
  db_->Execute("create table l (a varchar(4), n integer, c varchar(2), t text, x blob, tm time)");
  const std::string longA(1000, 'a'), umlauts = [] {
    std::string u;
    for (int i = 0; i < 300; ++i) u += "\xC3\xA4\xE2\x82\xAC";  // ä€
    return u;
  }();
  const std::string longT(5000, 't'), bytes(600, 'B');
  db_->Execute("insert into l values ('" + longA + "', 1, '" + umlauts + "', null, x'" + bytes + "', '07:05:09')");
  db_->Execute("insert into l values ('ab', 2, null, 'kurz', x'0A', null)");
  db_->Execute("insert into l values (null, 3, 'ü', '" + longT + "', null, '" + std::string(100, 'x') + "')");
  auto rs = db_->GetData("select * from l order by n");
  std::vector<std::vector<std::string>> rows;
  for (; !rs->Eof(); rs->Next()) {
    rows.emplace_back();
    for (int i = 0; i < rs->FieldCount(); ++i) rows.back().push_back(rs->Value(i));
  }
  const std::string hex(600, 'B');
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{longA, "1", umlauts, "", hex, "07:05:09"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"ab", "2", "", "kurz", "0A", ""}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"", "3", "\xC3\xBC", longT, "", std::string(100, 'x')}));

  auto counted = db_->GetData("select * from l order by n");
  EXPECT_EQ(counted->Value(0), longA);
  EXPECT_EQ(counted->RecordCount(), 3);
}

// Names and values beyond any code page travel whole both ways, whatever the
// system's language.
TEST_F(SqliteTest, NonLatinTextArrivesWhole) {
  platform::UseSystemLanguage(platform::Language::Japanese);
  db_->Execute("create table \"名前\" (\"日本\" varchar(20))");
  db_->Execute("insert into \"名前\" values ('日本'), ('Привет'), ('a€b'), ('Größe €')");
  for (const platform::Language language : {platform::Language::Japanese, platform::Language::Other}) {
    platform::UseSystemLanguage(language);
    auto rs = db_->GetData("select * from \"名前\"");
    EXPECT_EQ(rs->FieldName(0), "日本");
    EXPECT_EQ(rs->DisplayName(0), "日本");
    EXPECT_EQ(Column("select * from \"名前\""), (std::vector<std::string>{"日本", "Привет", "a€b", "Größe €"}));
  }
}

TEST_F(SqliteTest, LargeStatementsValuesAndResultsWork) {
  std::string big(100000, 'x');
  std::vector<std::string> values = Column("select '" + big + "'");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_TRUE(values[0] == big) << values[0].size();
  db_->Execute("create table b (v blob)");
  db_->Execute("insert into b values (x'" + std::string(20000, 'A') + "')");
  std::vector<std::string> hex = Column("select v from b");
  ASSERT_EQ(hex.size(), 1u);
  EXPECT_TRUE(hex[0] == std::string(20000, 'A')) << hex[0].size();

  // Longer than the pieces the driver hands over (1 MiB), with surrogate pairs
  // and two- and three-byte characters on the piece boundaries: whole and exact.
  std::string pieces;
  for (int i = 0; i < 300000; ++i) pieces += "\xF0\x9F\x98\x80";  // U+1F600, a pair in UTF-16
  for (int i = 0; i < 300000; ++i) pieces += "\xC3\xA4\xE2\x82\xACx";  // ä€x
  values = Column("select replace(hex(zeroblob(300000)), '00', char(128512)) || "
                  "replace(hex(zeroblob(300000)), '00', '\xC3\xA4\xE2\x82\xACx')");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_TRUE(values[0] == pieces) << values[0].size() << " bytes, " << pieces.size() << " expected";
  db_->Execute("insert into b values (zeroblob(1500000))");
  hex = Column("select v from b where length(v) > 10000");
  ASSERT_EQ(hex.size(), 1u);
  EXPECT_TRUE(hex[0] == std::string(3000000, '0')) << hex[0].size();

  std::string wide = "select 0 as c0";
  for (int i = 1; i < 200; ++i) wide += ", " + std::to_string(i) + " as c" + std::to_string(i);
  auto rs = db_->GetData(wide);
  ASSERT_EQ(rs->FieldCount(), 200);
  EXPECT_EQ(rs->FieldName(199), "c199");
  EXPECT_EQ(rs->Value(199), "199");
}

TEST_F(SqliteTest, StreamsLargeResultsWithoutGrowingMemory) {
  auto rssKb = [] {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
  };
  const std::string query =
      "with recursive c(x) as (select 1 union all select x + 1 from c where x < 100000) "
      "select x, 'Zeile ' || x, x * 0.5, printf('%0100d', x) from c";
  // A short run first, so that only the length of the result can make a difference.
  db_->GetData("select 1 union all select 2")->RecordCount();
  const long before = rssKb();
  long peak = before;
  long long sum = 0;
  int rows = 0;
  for (auto rs = db_->GetData(query); !rs->Eof(); rs->Next()) {
    sum += std::stoll(rs->Value(0));
    if (++rows % 10000 == 0) peak = std::max(peak, rssKb());
  }
  EXPECT_EQ(rows, 100000);
  EXPECT_EQ(sum, 100000LL * 100001 / 2);
  // 100,000 rows held at once would take well over 10 MB.
#if defined(__SANITIZE_ADDRESS__)
  // Freed memory waits in AddressSanitizer's quarantine: resident size says nothing here.
  (void)peak;
#else
  EXPECT_LT(peak - before, 4 * 1024);
#endif
}

TEST_F(SqliteTest, FailuresCarryTheDriverMessage) {
  try {
    db_->Execute("selectt * from nirgends");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("syntax error"), std::string::npos) << e.what();
    EXPECT_EQ(e.SqlState().size(), 5u);
  }
  try {
    db_->GetData("select * from nirgends");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("no such table"), std::string::npos) << e.what();
  }
  EXPECT_THROW(db_->GetData("select " + std::string(100000, '(')), EDatabaseError);
  // The connection stays usable after failures.
  EXPECT_EQ(Column("select 1"), std::vector<std::string>{"1"});
}

TEST(SqliteConnection, BadConnectionStringsFailWithAMessage) {
  TempDir dir;
  for (std::string bad : {std::string(""), std::string("=;;{;"), std::string("Driver={Kein Treiber};Database=x;"),
                          std::string("DSN=gibtesnicht"),
                          "Driver={SQLite3};Database=" + (dir.Path() / "fehlt/x.db").string() + ";NoCreat=1;"}) {
    try {
      TDatenbankAdo db(bad);
      ADD_FAILURE() << "opened: " << bad;
    } catch (const EDatabaseError& e) {
      EXPECT_GT(std::string(e.what()).size(), 5u) << bad;
    }
  }
}

TEST(SqliteConnection, AMissingFileIsAnErrorNamingItAndIsNeverCreated) {
  TempDir dir;
  const std::string missing = (dir.Path() / "lagr.db").string();
  try {
    TDatenbankAdo db("Driver={SQLite3};Database=" + missing + ";");
    ADD_FAILURE() << "opened";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + missing + "\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("(Datenbankverbindung, Einstellung connection)"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  // Asked for explicitly, the driver may still create one.
  TDatenbankAdo created("Driver={SQLite3};Database=" + missing + ";NoCreat=0;");
  EXPECT_TRUE(std::filesystem::exists(missing));
}

TEST(SqliteConnection, TypeMarkersDecideTranslationAndRefusal) {
  TempDir dir;
  const std::string file = (dir.Path() / "m.db").string();
  test::SqliteConnection(file);  // creates the file
  // A SQLite database reached under the SQL Server marker shows the quote translation.
  TDatenbankAdo mssql("Driver={SQLite3};Database=" + file + ";Description=SQLOLEDB;");
  EXPECT_EQ(mssql.Kind(), TDatabaseKind::MsSql);
  EXPECT_EQ(mssql.TranslateQuotes("select \"x\" from `t`"), "select 'x' from \"t\"");
  mssql.Execute("create table `t` (v varchar(9))");
  EXPECT_EQ(mssql.Execute("insert into `t` values (\"it\")"), 1);
  EXPECT_EQ(mssql.GetData("select v from `t` where v = \"it\"")->RecordCount(), 1);

  TDatenbankAdo mysql("Driver={SQLite3};Database=" + file + ";Description=MySql;");
  EXPECT_EQ(mysql.Kind(), TDatabaseKind::MySql);
  EXPECT_EQ(mysql.TranslateQuotes("select \"x\" from `t`"), "select \"x\" from `t`");

  // Another provider opens, but nothing reaches it.
  std::ofstream(dir.Path() / "odbc.ini") << "[Lager]\nDriver=SQLite3\nDatabase=" << file << "\n";
  setenv("ODBCINI", (dir.Path() / "odbc.ini").c_str(), 1);
  TDatenbankAdo other("DSN=Lager");
  unsetenv("ODBCINI");
  for (auto run : {+[](TDatenbankAdo& d) { d.Execute("delete from t"); },
                   +[](TDatenbankAdo& d) { d.GetData("select * from t"); }}) {
    try {
      run(other);
      ADD_FAILURE();
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "unknown Database Type");
    }
  }
  EXPECT_EQ(mysql.GetData("select * from t")->RecordCount(), 1);
}

TEST(SqliteConnection, ParameterisedCommandBindsByNameIgnoringCase) {
  TempDir dir;
  TDatenbankAdo db(test::SqliteConnection(dir.Path() / "c.db"));
  db.Execute("create table Auftrag_art (Art integer, Name varchar(10))");
  TCommand insert(db.Connection(), "insert into Auftrag_art values (:Art, :art + 1)");
  insert.SetParameter("ART", 5);
  insert.Execute();
  insert.SetParameter("art", 7);
  insert.Execute();
  EXPECT_EQ(db.GetData("select sum(Art), sum(Name) from Auftrag_art")->Value(0), "12");

  TCommand select(db.Connection(), " select * from Auftrag_Art where Art > :Art ");
  EXPECT_THROW(select.Execute(), EDatabaseError);
  try {
    select.SetParameter("Nr", 0);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Parameter Nr nicht gefunden");
  }
  select.SetParameter("art", 0);
  select.Execute();
  select.Execute();
  EXPECT_THROW(TCommand(db.Connection(), "select * from fehlt where a = :a"), EDatabaseError);
}

}  // namespace
}  // namespace vornetta::db
