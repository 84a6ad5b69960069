// Statement kinds, type names, value texts and the connection-string translation:
// everything that needs no database.
#include <gtest/gtest.h>

#include <langinfo.h>

#include <clocale>
#include <ctime>

#include "db/command.h"
#include "db/connection_string.h"
#include "db/database_error.h"
#include "db/database_type.h"
#include "db/datenbank_ado.h"
#include "db/value_text.h"

namespace vornetta::db {
namespace {

TEST(StatementKind, ComparesOnlyTheFirstLettersAfterBlanks) {
  EXPECT_EQ(TDatenbankAdo::StatementKind("  \r\n\tSELECT * from t"), "select");
  EXPECT_EQ(TDatenbankAdo::StatementKind("selection"), "select");
  EXPECT_EQ(TDatenbankAdo::StatementKind("UpDate t set a=1"), "update");
  EXPECT_EQ(TDatenbankAdo::StatementKind(" insert into t values (1)"), "insert");
  EXPECT_EQ(TDatenbankAdo::StatementKind("DELETE from t"), "delete");
  EXPECT_EQ(TDatenbankAdo::StatementKind("with x as (select 1) select * from x"), "");
  EXPECT_EQ(TDatenbankAdo::StatementKind(""), "");
  EXPECT_EQ(TDatenbankAdo::StatementKind("sel"), "");
  EXPECT_EQ(TDatenbankAdo::StatementKind("(select 1)"), "");
}

TEST(StatementKind, EverythingButSelectChangesData) {
  EXPECT_FALSE(TDatenbankAdo::ChangesData(" Select 1"));
  EXPECT_TRUE(TDatenbankAdo::ChangesData("update t set a=1"));
  EXPECT_TRUE(TDatenbankAdo::ChangesData("with x as (select 1) select * from x"));
  EXPECT_TRUE(TDatenbankAdo::ChangesData(""));
  EXPECT_TRUE(TDatenbankAdo::ChangesData("   "));
}

TEST(FieldTypeName, NamesEveryKindAndRejectsOthers) {
  using enum TFieldType;
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftUnknown), "unknown");
  for (TFieldType t : {ftSmallint, ftInteger, ftWord, ftBoolean, ftAutoInc, ftLargeint})
    EXPECT_EQ(TDatenbankAdo::FieldTypeName(t), "integer");
  for (TFieldType t : {ftFloat, ftCurrency, ftBCD}) EXPECT_EQ(TDatenbankAdo::FieldTypeName(t), "double");
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftDate), "date");
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftTime), "time");
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftDateTime), "datetime");
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftTimeStamp), "datetime");
  int strings = 0;
  for (int i = 0; i <= static_cast<int>(ftFMTBcd); ++i)
    strings += TDatenbankAdo::FieldTypeName(static_cast<TFieldType>(i)) == "string";
  EXPECT_EQ(strings, 24);
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftFMTBcd), "string");
  EXPECT_EQ(TDatenbankAdo::FieldTypeName(ftGuid), "string");
  for (int bad : {38, 100, -1}) {
    try {
      TDatenbankAdo::FieldTypeName(static_cast<TFieldType>(bad));
      ADD_FAILURE() << bad;
    } catch (const std::exception& e) {
      EXPECT_STREQ(e.what(), "unknown Datatype");
    }
  }
}

TEST(FieldTypeOf, MapsOdbcTypesOntoTheKinds) {
  using enum TFieldType;
  EXPECT_EQ(FieldTypeOf(SQL_CHAR, 5, 0), ftFixedChar);
  EXPECT_EQ(FieldTypeOf(SQL_WCHAR, 5, 0), ftFixedChar);
  EXPECT_EQ(FieldTypeOf(SQL_VARCHAR, 5, 0), ftString);
  EXPECT_EQ(FieldTypeOf(SQL_WVARCHAR, 5, 0), ftWideString);
  EXPECT_EQ(FieldTypeOf(SQL_WLONGVARCHAR, 0, 0), ftMemo);
  EXPECT_EQ(FieldTypeOf(SQL_TINYINT, 3, 0), ftSmallint);
  EXPECT_EQ(FieldTypeOf(SQL_BIGINT, 19, 0), ftLargeint);
  EXPECT_EQ(FieldTypeOf(SQL_BIT, 1, 0), ftBoolean);
  EXPECT_EQ(FieldTypeOf(SQL_REAL, 7, 0), ftFloat);
  EXPECT_EQ(FieldTypeOf(SQL_DECIMAL, 18, 4), ftBCD);
  EXPECT_EQ(FieldTypeOf(SQL_NUMERIC, 19, 2), ftFMTBcd);
  EXPECT_EQ(FieldTypeOf(SQL_DECIMAL, 10, 5), ftFMTBcd);
  EXPECT_EQ(FieldTypeOf(SQL_TYPE_TIMESTAMP, 19, 0), ftDateTime);
  EXPECT_EQ(FieldTypeOf(SQL_LONGVARBINARY, 0, 0), ftBlob);
  EXPECT_EQ(FieldTypeOf(SQL_GUID, 36, 0), ftGuid);
  EXPECT_EQ(FieldTypeOf(-154, 0, 0), ftUnknown);
}

class GermanLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(GermanLocale, ValueTextsUseTheRegionalSettings) {
  std::string out;
  FormatFloat(12.5, 15, out);
  EXPECT_EQ(out, "12,5");
  FormatFloat(1234.56, 15, out);
  EXPECT_EQ(out, "1234,56");
  FormatFloat(0.1 + 0.2, 15, out);
  EXPECT_EQ(out, "0,3");
  FormatFloat(1e20, 15, out);
  EXPECT_EQ(out, "1E20");
  FormatFloat(-1.5e-7, 15, out);
  EXPECT_EQ(out, "-1,5E-7");
  FormatFloat(123456789012345678.0, 15, out);
  EXPECT_EQ(out, "1,23456789012346E17");
  FormatFloat(0.1f, 7, out);
  EXPECT_EQ(out, "0,1");
  // Single precision: the fewest digits that read back to the same float, laid
  // out in the 15-digit general format.
  FormatSingle(0.1f, out);
  EXPECT_EQ(out, "0,1");
  FormatSingle(12345678.0f, out);
  EXPECT_EQ(out, "12345678");
  FormatSingle(1234567.5f, out);
  EXPECT_EQ(out, "1234567,5");
  FormatSingle(16777217.0f, out);  // not a float: it is stored as 16777216
  EXPECT_EQ(out, "16777216");
  FormatSingle(-3.4028235e38f, out);
  EXPECT_EQ(out, "-3,4028235E38");
  FormatSingle(1.5e-7f, out);
  EXPECT_EQ(out, "1,5E-7");
  FormatSingle(0.00012345f, out);
  EXPECT_EQ(out, "0,00012345");
  FormatDecimal("-12.50", out);
  EXPECT_EQ(out, "-12,50");
  FormatDate(SQL_DATE_STRUCT{2024, 2, 29}, out);
  EXPECT_EQ(out, "29.02.2024");
  FormatTime(SQL_TIME_STRUCT{7, 5, 9}, out);
  EXPECT_EQ(out, "07:05:09");
  FormatTimeText("07:05:09.250", out);
  EXPECT_EQ(out, "07:05:09");
  FormatTimeText("48:00:00", out);
  EXPECT_EQ(out, "48:00:00");
  FormatTimeText("-01:00:00", out);
  EXPECT_EQ(out, "-01:00:00");
  FormatTimeText("7:05", out);
  EXPECT_EQ(out, "7:05");
  FormatTimestamp(SQL_TIMESTAMP_STRUCT{1999, 12, 31, 23, 59, 58, 0}, out);
  EXPECT_EQ(out, "31.12.1999 23:59:58");
  FormatBinary(std::string("\x00\x7F\xAB\xFF", 4), out);
  EXPECT_EQ(out, "007FABFF");
}

// Dates as PostgreSQL writes them: only plain dates and timestamps are reformatted.
TEST_F(GermanLocale, ServerDateTextsBecomeShortDatesOrStayAsWritten) {
  std::string out;
  FormatDateTimeText("2024-02-29", out);
  EXPECT_EQ(out, "29.02.2024");
  FormatDateTimeText("1999-12-31 23:59:58", out);
  EXPECT_EQ(out, "31.12.1999 23:59:58");
  FormatDateTimeText("2001-02-03 04:05:06.125+05:30", out);
  EXPECT_EQ(out, "03.02.2001 04:05:06");
  FormatDateTimeText("2024-01-01 00:00:00-08", out);
  EXPECT_EQ(out, "01.01.2024 00:00:00");
  for (const char* kept : {"infinity", "-infinity", "0044-03-15 BC", "0044-03-15 12:00:00 BC", "10000-01-01",
                           "2024-13-01", "2024-02-29T10:00:00", "2024-02-29 24:00:00", ""}) {
    FormatDateTimeText(kept, out);
    EXPECT_EQ(out, kept);
  }
}

// Dates and times are written without strftime where the locale's format allows:
// the texts must stay exactly strftime's, in every installed locale and also for
// values outside the ranges the quick path takes.
TEST(ShortDateTimeTexts, MatchStrftimeInEveryLocale) {
  auto expected = [](nl_item item, int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    char buffer[256];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, nl_langinfo(item), &tm));
  };
  const int dates[][3] = {{2024, 2, 29}, {1999, 12, 31}, {2000, 1, 1},  {1000, 1, 5}, {9999, 12, 31},
                          {999, 3, 4},   {10000, 1, 1},  {2020, 10, 9}, {1, 1, 1},    {32767, 12, 31}};
  const int times[][3] = {{0, 0, 0}, {7, 5, 9}, {23, 59, 59}, {12, 30, 60}, {9, 1, 2}};
  int checked = 0;
  for (const char* name : {"C", "C.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8", "ko_KR.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
    if (!std::setlocale(LC_ALL, name)) continue;
    ++checked;
    std::string out;
    for (const auto& d : dates) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(d[0]) + "-" + std::to_string(d[1]) + "-" +
                   std::to_string(d[2]));
      FormatDate(SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(d[0]), static_cast<SQLUSMALLINT>(d[1]),
                                 static_cast<SQLUSMALLINT>(d[2])},
                 out);
      EXPECT_EQ(out, expected(D_FMT, d[0], d[1], d[2], 0, 0, 0));
      for (const auto& t : times) {
        FormatTimestamp(SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(d[0]), static_cast<SQLUSMALLINT>(d[1]),
                                             static_cast<SQLUSMALLINT>(d[2]), static_cast<SQLUSMALLINT>(t[0]),
                                             static_cast<SQLUSMALLINT>(t[1]), static_cast<SQLUSMALLINT>(t[2]), 0},
                        out);
        EXPECT_EQ(out, expected(D_FMT, d[0], d[1], d[2], t[0], t[1], t[2]) + " " +
                           expected(T_FMT, d[0], d[1], d[2], t[0], t[1], t[2]));
      }
    }
    for (const auto& t : times) {
      FormatTime(SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(t[0]), static_cast<SQLUSMALLINT>(t[1]),
                                 static_cast<SQLUSMALLINT>(t[2])},
                 out);
      EXPECT_EQ(out, expected(T_FMT, 1900, 1, 1, t[0], t[1], t[2])) << name;
    }
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_GE(checked, 2);
}

TEST(OdbcConnectionString, TranslatesTheAdoForms) {
  EXPECT_EQ(OdbcConnectionString("Provider=MSDASQL.1;Password=geheim;Persist Security Info=True;"
                                 "User ID=admin;Extended Properties=\"DATABASE=lager;"
                                 "DRIVER={MySQL ODBC 3.51 Driver};OPTION=0;PORT=0;SERVER=localhost\""),
            "DATABASE=lager;DRIVER={MySQL ODBC 3.51 Driver};OPTION=0;PORT=0;SERVER=localhost;UID=admin;"
            "PWD=geheim;");
  // What the ODBC string names itself wins over the outer fields.
  EXPECT_EQ(OdbcConnectionString("provider=msdasql;User ID=x;Password=y;Extended Properties="
                                 "'DSN=lager;uid=a;PWD=b'"),
            "DSN=lager;uid=a;PWD=b");
  EXPECT_EQ(OdbcConnectionString("Provider=MSDASQL;Data Source=lager;User ID=a;Password=p;w"),
            "DSN=lager;UID=a;PWD=p;");
  EXPECT_EQ(OdbcConnectionString("Provider=MSDASQL;User ID=a;Password=x;y};Extended Properties=\"DSN=q\""),
            "DSN=q;UID=a;PWD=x;");
  EXPECT_EQ(OdbcConnectionString("Provider=MSDASQL;Password=\"a;b}c\";Extended Properties=\"DSN=q\""),
            "DSN=q;PWD={a;b}}c};");
  EXPECT_EQ(OdbcConnectionString("Provider=SQLOLEDB.1;Data Source=srv,1433;Initial Catalog=Lager;"
                                 "User ID=sa;Password=pw"),
            "DRIVER={FreeTDS};SERVER=srv;PORT=1433;DATABASE=Lager;UID=sa;PWD=pw;");
}

TEST(OdbcConnectionString, LeavesOtherStringsAloneExceptForSqliteStreaming) {
  EXPECT_EQ(OdbcConnectionString("Driver={MariaDB};Server=h;Pwd={a;b};"), "Driver={MariaDB};Server=h;Pwd={a;b};");
  EXPECT_EQ(OdbcConnectionString(""), "");
  EXPECT_EQ(OdbcConnectionString("Provider=Other;Data Source=x"), "Provider=Other;Data Source=x");
  EXPECT_EQ(OdbcConnectionString("Driver={SQLite3};Database=/tmp/a.db"),
            "Driver={SQLite3};Database=/tmp/a.db;StepAPI=1;NoCreat=1;");
  EXPECT_EQ(OdbcConnectionString("Driver={SQLite3};Database=/tmp/a.db;stepapi=0;"),
            "Driver={SQLite3};Database=/tmp/a.db;stepapi=0;NoCreat=1;");
  EXPECT_EQ(OdbcConnectionString("Driver={SQLite3};Database=/tmp/a.db;nocreat=0;"),
            "Driver={SQLite3};Database=/tmp/a.db;nocreat=0;StepAPI=1;");
  EXPECT_EQ(SqliteDatabaseFile("Driver={SQLite3};Database={/tmp/a;b.db};"), "/tmp/a;b.db");
  EXPECT_EQ(SqliteDatabaseFile("Driver={MySQL};Database=lager;"), "");
}

// The PostgreSQL markers come last: a string of another kind keeps its kind.
TEST(DatabaseKindOf, KnowsPostgresqlAfterTheOtherMarkers) {
  EXPECT_EQ(DatabaseKindOf("Driver={PostgreSQL Unicode};Server=h;Database=lager;"), TDatabaseKind::PostgreSql);
  EXPECT_EQ(DatabaseKindOf("DRIVER={POSTGRESQL ANSI};"), TDatabaseKind::PostgreSql);
  EXPECT_EQ(DatabaseKindOf("Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Server=h;"), TDatabaseKind::PostgreSql);
  EXPECT_EQ(DatabaseKindOf("Driver={MySQL};Database=postgres_import;"), TDatabaseKind::MySql);
  EXPECT_EQ(DatabaseKindOf("Provider=SQLOLEDB;Initial Catalog=postgres;"), TDatabaseKind::MsSql);
  EXPECT_EQ(DatabaseKindOf("Driver={SQLite3};Database=/srv/postgres/copy.db;"), TDatabaseKind::Sqlite);
  EXPECT_EQ(DatabaseKindOf(""), TDatabaseKind::None);
  EXPECT_EQ(DatabaseKindOf("DSN=lager"), TDatabaseKind::Unknown);
  EXPECT_EQ(DatabaseKindOf("Driver={MariaDB};Database=pg;"), TDatabaseKind::Unknown);
}

TEST(OdbcConnectionString, StreamsPostgresqlResultsAndKeepsTheUsersOwnOptions) {
  EXPECT_EQ(OdbcConnectionString("Driver={PostgreSQL Unicode};Server=h;Pwd={a;b}"),
            "Driver={PostgreSQL Unicode};Server=h;Pwd={a;b};UseDeclareFetch=1;Fetch=1000;BoolsAsChar=0;");
  // Set by the string, in any case or under the driver's short names: left alone.
  EXPECT_EQ(OdbcConnectionString("Driver={PostgreSQL ANSI};usedeclarefetch=0;FETCH=50;B5=1;"),
            "Driver={PostgreSQL ANSI};usedeclarefetch=0;FETCH=50;B5=1;");
  EXPECT_EQ(OdbcConnectionString("Driver={PostgreSQL ANSI};B6=0;A7=10;BoolsAsChar=1"),
            "Driver={PostgreSQL ANSI};B6=0;A7=10;BoolsAsChar=1");
  // A value that merely mentions a key name sets nothing.
  EXPECT_EQ(OdbcConnectionString("Driver={PostgreSQL ANSI};Database={fetch;b5};"),
            "Driver={PostgreSQL ANSI};Database={fetch;b5};UseDeclareFetch=1;Fetch=1000;BoolsAsChar=0;");
  EXPECT_EQ(OdbcConnectionString("Driver={MySQL};Database=postgres;"), "Driver={MySQL};Database=postgres;");
}

TEST(TCommand, ReplacesNamedMarkersOutsideQuotes) {
  std::vector<std::string> names;
  EXPECT_EQ(TCommand::ReplaceMarkers(" select * from Auftrag_Art where Art > :Art ", names),
            " select * from Auftrag_Art where Art > ? ");
  EXPECT_EQ(names, std::vector<std::string>{"Art"});
  names.clear();
  EXPECT_EQ(TCommand::ReplaceMarkers("select ':x', \":y\", `:z`, a::int, :b1, :_c, 10:", names),
            "select ':x', \":y\", `:z`, a::int, ?, ?, 10:");
  EXPECT_EQ(names, (std::vector<std::string>{"b1", "_c"}));
}

}  // namespace
}  // namespace vornetta::db
