// The MySQL path against the private MariaDB server of the tests.
#include <gtest/gtest.h>

#include <clocale>

#include "db/command.h"
#include "db/database_error.h"
#include "db/datenbank_ado.h"
#include "block_fetch_checks.h"
#include "db_test_support.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

class MariaDbTest : public test::TServerDatabaseTest {
 protected:
  MariaDbTest() : TServerDatabaseTest({test::MariaDbServer, "MariaDB", "MARIADB", " character set utf8mb4", ""}) {}
};

TEST_F(MariaDbTest, ChangingStatementsReportAffectedCountsAndShowTablesLists) {
  EXPECT_EQ(db_->Kind(), TDatabaseKind::MySql);
  EXPECT_EQ(db_->Execute("create table artikel (nr int primary key, name varchar(20), preis double)"), 0);
  EXPECT_EQ(db_->Execute("insert into artikel values (1, 'Tisch', 12.5), (2, 'Stuhl', 3), (3, 'Lampe', 7)"), 3);
  EXPECT_EQ(db_->ExecuteUpdate("update artikel set preis = preis * 2 where nr >= 2"), 2);
  // Rows that match but keep their values are not counted.
  EXPECT_EQ(db_->ExecuteUpdate("update artikel set preis = preis where nr >= 2"), 0);
  EXPECT_EQ(db_->ExecuteDelete("delete from artikel where nr = 1"), 1);
  EXPECT_EQ(db_->ExecuteDelete("delete from artikel where nr = 1"), 0);
  db_->Execute("create table zweite (a int)");

  auto tables = db_->GetData(" show tables ");
  ASSERT_EQ(tables->FieldCount(), 1);
  EXPECT_EQ(tables->FieldName(0), "Tables_in_" + name_);
  std::vector<std::string> names;
  for (; !tables->Eof(); tables->Next()) names.push_back(tables->Value(0));
  EXPECT_EQ(names, (std::vector<std::string>{"artikel", "zweite"}));
  EXPECT_EQ(db_->GetData("select * from artikel")->RecordCount(), 2);
}

TEST_F(MariaDbTest, EveryColumnTypeHasItsKindNameAndText) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  db_->Execute(
      "create table w (ti tinyint, si smallint, mi mediumint, i int, bi bigint, ub bigint unsigned, "
      "bo boolean, bt bit(1), f float, d double, de decimal(10,2), dw decimal(30,6), dt date, tm time, "
      "ts datetime, tst timestamp null, y year, c char(4), vc varchar(10), tx text, bl blob, vb varbinary(8), "
      "bn binary(2), en enum('a','b'), js json)");
  db_->Execute(
      "insert into w values (-1, 2, 3, -4, 9007199254740993, 18446744073709551615, true, b'1', 0.25, 1234.56, "
      "-12.50, 123456789012345678901234.5, '2024-02-29', '07:05:09', '1999-12-31 23:59:58', "
      "'2001-02-03 04:05:06', 2024, 'ab', 'xyz', 'long', x'00ff', x'0a0b', x'c0de', 'b', '{\"a\":1}')");
  db_->Execute("insert into w () values ()");
  auto rs = db_->GetData("select * from w");
  struct Expect {
    const char* name;
    const char* typeName;
    const char* text;
  };
  const std::vector<Expect> expected{
      {"ti", "integer", "-1"}, {"si", "integer", "2"}, {"mi", "integer", "3"}, {"i", "integer", "-4"},
      {"bi", "integer", "9007199254740993"}, {"ub", "integer", "18446744073709551615"},
      {"bo", "integer", "1"}, {"bt", "integer", "True"}, {"f", "double", "0,25"},
      {"d", "double", "1234,56"}, {"de", "double", "-12,50"},
      {"dw", "string", "123456789012345678901234,500000"}, {"dt", "date", "29.02.2024"},
      {"tm", "time", "07:05:09"}, {"ts", "datetime", "31.12.1999 23:59:58"},
      {"tst", "datetime", "03.02.2001 04:05:06"}, {"y", "integer", "2024"}, {"c", "string", "ab"},
      {"vc", "string", "xyz"}, {"tx", "string", "long"}, {"bl", "string", "00FF"},
      {"vb", "string", "0A0B"}, {"bn", "string", "C0DE"}, {"en", "string", "b"},
      {"js", "string", "{\"a\":1}"}};
  ASSERT_EQ(rs->FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < rs->FieldCount(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(rs->FieldName(i), expected[i].name);
    EXPECT_EQ(TDatenbankAdo::FieldTypeName(rs->DataType(i)), expected[i].typeName);
    EXPECT_EQ(rs->Value(i), expected[i].text);
  }
  EXPECT_EQ(rs->DataType(11), TFieldType::ftFMTBcd);
  // A negative duration keeps its sign. (The connector itself gives durations of a
  // day or more modulo 24 hours.)
  auto durations = db_->GetData("select cast('-01:00:00' as time), cast('23:59:59' as time)");
  EXPECT_EQ(durations->Value(0), "-01:00:00");
  EXPECT_EQ(durations->Value(1), "23:59:59");
  EXPECT_EQ(rs->DataType(10), TFieldType::ftBCD);
  rs->Next();
  ASSERT_FALSE(rs->Eof());
  for (int i = 0; i < rs->FieldCount(); ++i) EXPECT_EQ(rs->Value(i), "") << expected[i].name;
  rs->Next();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecNo(), 2);
}

TEST_F(MariaDbTest, FloatColumnsGiveTheShortestTextOfTheirSingleValue) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  db_->Execute("create table m (f float)");
  db_->Execute("insert into m values (12345678), (1234567.5), (0.1), (-2.5e-7), (3.4e30)");
  std::vector<std::string> texts;
  for (auto rs = db_->GetData("select f from m"); !rs->Eof(); rs->Next()) {
    EXPECT_EQ(rs->DataType(0), TFieldType::ftFloat);
    texts.push_back(rs->Value(0));
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"12345678", "1234567,5", "0,1", "-2,5E-7", "3,4E30"}));
}

// Names and values beyond any code page travel whole both ways, whatever the
// system's language.
TEST_F(MariaDbTest, NonLatinNamesAndValuesComeBackWhole) {
  for (const platform::Language language : {platform::Language::Japanese, platform::Language::Other}) {
    platform::UseSystemLanguage(language);
    db_->Execute("drop table if exists `注文`");
    db_->Execute("create table `注文` (`名前` varchar(40), e varchar(20))");
    db_->Execute("insert into `注文` values ('日本語テキスト', 'a€b'), ('Привет Größe €', 'x')");
    std::vector<std::string> values;
    for (auto rs = db_->GetData("select * from `注文`"); !rs->Eof(); rs->Next()) {
      EXPECT_EQ(rs->FieldName(0), "名前");
      EXPECT_EQ(rs->DisplayName(0), "名前");
      values.push_back(rs->Value(0) + "|" + rs->Value(1));
    }
    EXPECT_EQ(values, (std::vector<std::string>{"日本語テキスト|a€b", "Привет Größe €|x"}));
  }
  platform::UseSystemLanguage(platform::Language::Other);
  // A session in another character set hands over its own bytes; they are not UTF-8.
  TDatenbankAdo latin1(server_.ConnectionTo(name_) + "CHARSET=latin1;");
  latin1.Execute("create table maße (größe varchar(20)) character set latin1");
  latin1.Execute("insert into maße values ('Größe')");
  auto rs = latin1.GetData("select größe, 'Maß' from maße");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value(0) + "|" + rs->Value(1), "Größe|Maß");
}

// Labels and values come whole, whether the code page could hold them or not.
TEST_F(MariaDbTest, LabelsAndValuesComeWhole) {
  test::ExpectLabelsAndValuesWhole(*db_->GetData("select 'Eilig – bitte' as `Łukasz`, 'Größe' as `Maß`"));
}

// TEXT and BLOB values longer than the place a fetch writes them to are read again whole.
TEST_F(MariaDbTest, LongTextAndBlobValuesArriveWhole) {
  db_->Execute("create table l (n int, t text, b blob, v varchar(3))");
  std::string longText;
  for (int i = 0; i < 700; ++i) longText += "\xC3\xA4z";  // äz
  db_->Execute("insert into l values (1, '" + longText + "', repeat('A', 3000), 'abc'), (2, 'kurz', x'0B', null)");
  std::vector<std::vector<std::string>> rows;
  for (auto rs = db_->GetData("select * from l order by n"); !rs->Eof(); rs->Next())
    rows.push_back({rs->Value(0), rs->Value(1), rs->Value(2), rs->Value(3)});
  std::string hex;
  for (int i = 0; i < 3000; ++i) hex += "41";
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", longText, hex, "abc"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "kurz", "0B", ""}));
}

// Blocks of records read as record by record; a TEXT column makes its statement
// read record by record.
TEST_F(MariaDbTest, BlockFetchesGiveWhatRecordByRecordGives) {
  db_->Execute("create table b (id integer, amount decimal(24,6), price double, day date, stamp datetime, "
               "note varchar(20))");
  test::ExpectServerBlockReadsOfTableB(*db_);
  const auto longText = test::ExpectBlocksReadAsRecordByRecord(
      *db_, "select id, cast(repeat('z', 5000 + id) as char(10000)) as `long`, note from b order by id");
  EXPECT_EQ(longText.recordsPerFetch, 1);
  ASSERT_EQ(longText.records.size(), 600u);
  EXPECT_EQ(longText.records[299][1], std::string(5300, 'z'));
}

TEST_F(MariaDbTest, FailuresCarryTheServersMessage) {
  try {
    db_->Execute("selectt 1");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("You have an error in your SQL syntax"), std::string::npos) << e.what();
    EXPECT_EQ(e.SqlState(), "42000");
    EXPECT_EQ(e.NativeError(), 1064);
  }
  try {
    db_->GetData(" select * from Auftrag_art where Art > 0 ");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("uftrag_art' doesn't exist"), std::string::npos) << e.what();
  }
  EXPECT_THROW(db_->Execute("select '" + std::string(100000, 'x') + "' from nirgends"), EDatabaseError);
  std::string wide = "select 0 as c0";
  for (int i = 1; i < 200; ++i) wide += ", " + std::to_string(i) + " as c" + std::to_string(i);
  auto rs = db_->GetData(wide);
  ASSERT_EQ(rs->FieldCount(), 200);
  EXPECT_EQ(rs->Value(199), "199");
}

TEST_F(MariaDbTest, ConnectionFailuresNameTheCause) {
  const auto message = test::OpenFailure;
  std::string wrongPassword = "Driver={MySQL};Server=" + server_.host + ";Port=" + server_.port +
                              ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=falsch;";
  EXPECT_NE(message(wrongPassword).find("Access denied for user"), std::string::npos) << message(wrongPassword);
  // Nothing listens on port 1 of the loopback address.
  std::string refused = "Driver={MySQL};Server=127.0.0.1;Port=1;Uid=x;Pwd=y;";
  EXPECT_NE(message(refused).find("Can't connect"), std::string::npos) << message(refused);
  std::string noDriver = "Driver={MySQL ODBC 9 Driver};Server=127.0.0.1;";
  EXPECT_NE(message(noDriver).find("[unixODBC][Driver Manager]"), std::string::npos) << message(noDriver);
}

TEST_F(MariaDbTest, StoredAdoFormsOpenTheSameDatabase) {
  db_->Execute("create table t (a int)");
  db_->Execute("insert into t values (41), (1)");
  const std::string ado = "Provider=MSDASQL.1;Password=" + server_.password +
                          ";Persist Security Info=True;User ID=" + server_.user +
                          ";Extended Properties=\"DATABASE=" + name_ +
                          ";DRIVER={MySQL ODBC 3.51 Driver};OPTION=0;PORT=" + server_.port + ";SERVER=" +
                          server_.host + "\"";
  TDatenbankAdo viaAdo(ado);
  EXPECT_EQ(viaAdo.Kind(), TDatabaseKind::MySql);
  EXPECT_EQ(viaAdo.GetData("select sum(a) from t")->Value(0), "42");

  // A driver name without a marker opens, but nothing is sent.
  TDatenbankAdo unmarked(server_.ConnectionTo(name_, "MariaDB"));
  EXPECT_EQ(unmarked.ConnectionString().find("mysql"), std::string::npos);
  try {
    unmarked.Execute("delete from t");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "unknown Database Type");
  }
  EXPECT_EQ(viaAdo.GetData("select count(*) from t")->Value(0), "2");
}

TEST_F(MariaDbTest, ParameterisedCommandRunsWithItsNamedValue) {
  db_->Execute("create table Auftrag_art (Art int, Name varchar(10))");
  db_->Execute("insert into Auftrag_art values (0, 'null'), (1, 'eins')");
  TCommand command(db_->Connection(), " select * from Auftrag_Art where Art > :Art ");
  command.SetParameter("art", 0);
  command.Execute();
  command.Execute();
  TCommand update(db_->Connection(), "update Auftrag_art set Name = 'x' where Art = :Art or Art = :ART");
  update.SetParameter("aRt", 1);
  update.Execute();
  EXPECT_EQ(db_->GetData("select Name from Auftrag_art where Art = 1")->Value(0), "x");
}

}  // namespace
}  // namespace vornetta::db
