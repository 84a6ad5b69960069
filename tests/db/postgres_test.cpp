// The PostgreSQL path against the private server of the tests
// (scripts/postgres-test-server.sh).
#include <gtest/gtest.h>

#include <clocale>

#include "db/command.h"
#include "db/connection_string.h"
#include "db/database_error.h"
#include "db/datenbank_ado.h"
#include "block_fetch_checks.h"
#include "db_test_support.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

class PostgresTest : public test::TServerDatabaseTest {
 protected:
  PostgresTest()
      : TServerDatabaseTest(
            {test::PostgresServer, "PostgreSQL", "POSTGRES", " encoding 'UTF8' template template0", " with (force)"}) {}

  std::vector<std::string> Column(const std::string& sql, int i = 0) {
    std::vector<std::string> values;
    for (auto rs = db_->GetData(sql); !rs->Eof(); rs->Next()) values.push_back(rs->Value(i));
    return values;
  }
};

TEST_F(PostgresTest, EveryColumnTypeHasItsKindNameAndText) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  db_->Execute(
      "create table w (si smallint, i integer, bi bigint, nu numeric(10,2), nw numeric(30,6), nf numeric, "
      "r real, d double precision, bo boolean, dt date, tm time, ts timestamp, tz timestamptz, iv interval, "
      "by bytea, tx text, vc varchar(10), c char(4), u uuid, js json)");
  db_->Execute((
      "insert into w values (-2, 4, 9007199254740993, -12.50, 123456789012345678901234.5, 1.125, 0.25, "
      "1234.56, true, '2024-02-29', '07:05:09', '1999-12-31 23:59:58.75', '2001-02-03 04:05:06+00', "
      "'1 day 02:03:04', '\\x00ff', 'Größe', 'Bäume', 'ab', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', "
      "'{\"ä\": 1}')"));
  db_->Execute("insert into w default values");
  // The session's time zone decides the text of a timestamptz.
  db_->Execute("set time zone 'UTC'");
  auto rs = db_->GetData("select * from w order by si");
  struct Expect {
    const char* name;
    const char* typeName;
    const char* textUtf8;
  };
  const std::vector<Expect> expected{
      {"si", "integer", "-2"}, {"i", "integer", "4"}, {"bi", "integer", "9007199254740993"},
      {"nu", "double", "-12,50"}, {"nw", "string", "123456789012345678901234,500000"},
      {"nf", "string", "1,125"}, {"r", "double", "0,25"}, {"d", "double", "1234,56"},
      {"bo", "integer", "True"}, {"dt", "date", "29.02.2024"}, {"tm", "time", "07:05:09"},
      {"ts", "datetime", "31.12.1999 23:59:58"}, {"tz", "datetime", "03.02.2001 04:05:06"},
      {"iv", "string", "1 day 02:03:04"}, {"by", "string", "00FF"}, {"tx", "string", "Größe"},
      {"vc", "string", "Bäume"}, {"c", "string", "ab  "}, {"u", "string", "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"},
      {"js", "string", "{\"ä\": 1}"}};
  ASSERT_EQ(rs->FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < rs->FieldCount(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(rs->FieldName(i), expected[i].name);
    EXPECT_EQ(TDatenbankAdo::FieldTypeName(rs->DataType(i)), expected[i].typeName);
    EXPECT_EQ(rs->Value(i), (expected[i].textUtf8));
  }
  EXPECT_EQ(rs->DataType(3), TFieldType::ftBCD);
  EXPECT_EQ(rs->DataType(4), TFieldType::ftFMTBcd);
  EXPECT_EQ(rs->DataType(8), TFieldType::ftBoolean);
  EXPECT_EQ(rs->DataType(14), TFieldType::ftBlob);
  EXPECT_EQ(rs->DataType(15), TFieldType::ftMemo);
  EXPECT_EQ(rs->DataType(18), TFieldType::ftGuid);
  rs->Next();
  ASSERT_FALSE(rs->Eof());
  for (int i = 0; i < rs->FieldCount(); ++i) EXPECT_EQ(rs->Value(i), "") << expected[i].name;
  rs->Next();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecNo(), 2);

  // Computed values: a numeric sum, a negative interval, a time of day's end.
  auto computed = db_->GetData("select sum(nu), '-1 day'::interval, '24:00:00'::time, false from w");
  EXPECT_EQ(computed->Value(0), "-12,50");
  EXPECT_EQ(computed->Value(1), "-1 days");
  EXPECT_EQ(computed->Value(2), "24:00:00");
  EXPECT_EQ(computed->Value(3), "False");
}

// Read as text, an infinite date never shows as a real day (the driver's date
// structure holds today for it): the driver writes 0000-00-00, and its far past
// and far future for infinite timestamps. Bound or read value by value alike.
TEST_F(PostgresTest, InfiniteDatesNeverShowAsARealDay) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  db_->Execute("create table g (d date, ts timestamp, tz timestamptz, lang text)");
  db_->Execute("set time zone 'UTC'");
  db_->Execute("insert into g values ('infinity', '-infinity', 'infinity', repeat('x', 10000)), "
               "('-infinity', 'infinity', '-infinity', 'y'), "
               "('0044-03-15 BC', '0044-03-15 12:00:00 BC', '2024-06-30 22:30:00+00', null), "
               "('2024-06-30', '2024-06-30 00:00:00.5', null, '')");
  std::vector<std::vector<std::string>> rows;
  for (auto rs = db_->GetData("select d, ts, tz from g"); !rs->Eof(); rs->Next())
    rows.push_back({rs->Value(0), rs->Value(1), rs->Value(2)});
  const std::vector<std::vector<std::string>> expected{
      {"0000-00-00", "9999-01-01 00:00:00 BC", "31.12.9999 23:59:59"},
      {"0000-00-00", "31.12.9999 23:59:59", "9999-01-01 00:00:00 BC"},
      {"15.03.44", "0044-03-15 12:00:00 BC", "30.06.2024 22:30:00"},
      {"30.06.2024", "30.06.2024 00:00:00", ""}};
  EXPECT_EQ(rows, expected);
}

// The ANSI driver hands over bytes instead of wide text: the same texts arrive,
// short and long, bound and read value by value, in a UTF-8 locale.
TEST_F(PostgresTest, TheAnsiDriverGivesTheSameTexts) {
  TDatenbankAdo ansi(server_.ConnectionTo(name_, "PostgreSQL ANSI"));
  EXPECT_EQ(ansi.Kind(), TDatabaseKind::PostgreSql);
  ansi.Execute("create table \"Bäume\" (\"Größe\" varchar(10), lang text, u uuid, n int)");
  std::string longText;
  for (int i = 0; i < 3000; ++i) longText += "ä€";
  ansi.Execute("insert into \"Bäume\" values ('Müller €', '" + longText +
               "', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', 1), (null, null, null, 2)");
  std::vector<std::vector<std::string>> rows;
  for (auto rs = ansi.GetData("select * from \"Bäume\" order by n"); !rs->Eof(); rs->Next()) {
    EXPECT_EQ(rs->FieldName(0), "Größe");
    // The long text is compared apart, so that a failure does not print it.
    EXPECT_TRUE(rs->Value(1) == (rs->RecNo() == 1 ? longText : "")) << rs->Value(1).size();
    rows.push_back({rs->Value(0), rs->Value(2)});
  }
  const std::vector<std::vector<std::string>> expected{
      {"Müller €", "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"}, {"", ""}};
  EXPECT_EQ(rows, expected);
  // The Unicode driver reads the same table.
  EXPECT_EQ(Column("select \"Größe\" from \"Bäume\" where n = 1"),
            std::vector<std::string>{"Müller €"});
}

// A label or a value the code page cannot hold comes as UTF-8, marked so, from
// either driver; what fits stays in the code page.
TEST_F(PostgresTest, LabelsAndValuesTheCodePageCannotHoldComeAsMarkedUtf8) {
  for (const char* driver : {"PostgreSQL ANSI", "PostgreSQL Unicode"}) {
    SCOPED_TRACE(driver);
    TDatenbankAdo db(server_.ConnectionTo(name_, driver));
    test::ExpectLabelsAndValuesWhole(
        *db.GetData("select 'Eilig – bitte' as \"Łukasz\", 'Größe' as \"Maß\""));
  }
}

TEST_F(PostgresTest, ChangingStatementsReportAffectedCountsAndDoubleQuotesStayNames) {
  EXPECT_EQ(db_->Kind(), TDatabaseKind::PostgreSql);
  const std::string create = "create table \"Artikel\" (nr int primary key, \"Name\" varchar(20), preis float8)";
  EXPECT_EQ(db_->TranslateQuotes(create), create);
  EXPECT_EQ(db_->Execute(create), 0);
  EXPECT_EQ(db_->Execute("insert into \"Artikel\" values (1, 'Tisch', 12.5), (2, 'Stuhl', 3), (3, 'Lampe', 7)"), 3);
  EXPECT_EQ(db_->ExecuteUpdate("update \"Artikel\" set preis = preis * 2 where nr >= 2"), 2);
  // Unlike MySQL, rows that keep their values count as updated.
  EXPECT_EQ(db_->ExecuteUpdate("update \"Artikel\" set preis = preis where nr >= 2"), 2);
  EXPECT_EQ(db_->ExecuteUpdate("update \"Artikel\" set preis = 0 where nr > 99"), 0);
  EXPECT_EQ(db_->ExecuteDelete("delete from \"Artikel\" where nr = 1"), 1);
  EXPECT_EQ(db_->ExecuteDelete("delete from \"Artikel\" where nr = 1"), 0);
  EXPECT_EQ(Column("select \"Name\" from \"Artikel\" order by nr"), (std::vector<std::string>{"Stuhl", "Lampe"}));
  EXPECT_EQ(db_->GetData("select * from \"Artikel\"")->RecordCount(), 2);
  EXPECT_FALSE(TDatenbankAdo::ChangesData(" select * from \"Artikel\""));
  EXPECT_TRUE(TDatenbankAdo::ChangesData("update \"Artikel\" set preis = 1"));
}

// Results are read through a cursor a thousand rows at a time: every row arrives,
// a record set left open or given up half-way does not hold up the next statement.
TEST_F(PostgresTest, LargeResultsArriveWholeThroughTheCursor) {
  db_->Execute("create table g as select n, repeat('x', n % 50) as t from generate_series(1, 5000) n");
  {
    auto rs = db_->GetData("select n, t from g order by n");
    long sum = 0;
    for (; !rs->Eof(); rs->Next()) sum += std::stol(rs->Value(0));
    EXPECT_EQ(sum, 5000L * 5001 / 2);
    EXPECT_EQ(rs->RecNo(), 5000);
  }
  auto halfway = db_->GetData("select n from g order by n");
  for (int i = 0; i < 1500; ++i) halfway->Next();
  EXPECT_EQ(halfway->Value(0), "1501");
  EXPECT_EQ(db_->ExecuteUpdate("update g set t = 'y' where n <= 10"), 10);
  halfway.reset();
  EXPECT_EQ(Column("select count(*) from g where t = 'y'"), std::vector<std::string>{"10"});
  EXPECT_EQ(db_->GetData("select * from g")->RecordCount(), 5000);
}

// Blocks of records read as record by record; a value longer than its slot (a
// varchar without a length) is read again within its block, and a long text
// column makes its statement read record by record.
TEST_F(PostgresTest, BlockFetchesGiveWhatRecordByRecordGives) {
  db_->Execute("create table b (id integer, amount numeric(24,6), price double precision, day date, "
               "stamp timestamp, note varchar(20))");
  test::ExpectServerBlockReadsOfTableB(*db_);

  const auto outgrown = test::ExpectBlocksReadAsRecordByRecord(
      *db_, "select id, repeat('y', 250 + id)::varchar as v, note from b order by id");
  EXPECT_GT(outgrown.recordsPerFetch, 1);
  ASSERT_EQ(outgrown.records.size(), 600u);
  EXPECT_EQ(outgrown.records[599][1], std::string(850, 'y'));
  const auto longText = test::ExpectBlocksReadAsRecordByRecord(
      *db_, "select id, repeat('z', 5000 + id) as long, note from b order by id");
  EXPECT_EQ(longText.recordsPerFetch, 1);
  ASSERT_EQ(longText.records.size(), 600u);
  EXPECT_EQ(longText.records[299][1], std::string(5300, 'z'));
}

TEST_F(PostgresTest, FailuresCarryTheServersMessageAndLeaveTheConnectionUsable) {
  try {
    db_->GetData(" select * from Auftrag_art where Art > 0 ");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("relation \"auftrag_art\" does not exist"), std::string::npos)
        << e.what();
    EXPECT_EQ(e.SqlState(), "42P01");
  }
  try {
    db_->Execute("selectt 1");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("syntax error"), std::string::npos) << e.what();
  }
  // A failure half-way through a result: rows were read, then the server gives up.
  try {
    auto rs = db_->GetData("select 1 / (3000 - n) from generate_series(1, 5000) n");
    while (!rs->Eof()) rs->Next();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("division by zero"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Column("select 41 + 1"), std::vector<std::string>{"42"});
}

TEST_F(PostgresTest, ConnectionFailuresNameTheCause) {
  const auto message = test::OpenFailure;
  std::string wrongPassword = "Driver={PostgreSQL Unicode};Server=" + server_.host + ";Port=" + server_.port +
                              ";Database=" + name_ + ";Uid=" + server_.user + ";Pwd=falsch;";
  EXPECT_NE(message(wrongPassword).find("password authentication failed for user"), std::string::npos)
      << message(wrongPassword);
  // Nothing listens on port 1 of the loopback address.
  std::string refused = "Driver={PostgreSQL ANSI};Server=127.0.0.1;Port=1;Database=x;Uid=x;Pwd=y;";
  EXPECT_NE(message(refused).find("Connection refused"), std::string::npos) << message(refused);
  std::string noDatabase = server_.ConnectionTo("gibt_es_nicht");
  EXPECT_NE(message(noDatabase).find("\"gibt_es_nicht\" does not exist"), std::string::npos) << message(noDatabase);
}

TEST_F(PostgresTest, ParameterisedCommandRunsWithItsNamedValueAndKeepsCasts) {
  db_->Execute("create table auftrag_art (art int, name varchar(10))");
  db_->Execute("insert into auftrag_art values (0, 'null'), (1, 'eins')");
  TCommand command(db_->Connection(), " select * from Auftrag_Art where Art > :Art and name::text <> '' ");
  command.SetParameter("art", 0);
  command.Execute();
  command.Execute();
  TCommand update(db_->Connection(), "update auftrag_art set name = 'x' where art = :Art or art = :ART");
  update.SetParameter("aRt", 1);
  update.Execute();
  EXPECT_EQ(Column("select name from auftrag_art where art = 1"), std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace vornetta::db
