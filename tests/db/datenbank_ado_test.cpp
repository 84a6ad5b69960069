// Statement kinds, type names, value texts and the connection-string translation:
// everything that needs no database.
#include <gtest/gtest.h>

#include <clocale>

#include "db/command.h"
#include "db/connection_string.h"
#include "db/database_error.h"
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
            "Driver={SQLite3};Database=/tmp/a.db;StepAPI=1;");
  EXPECT_EQ(OdbcConnectionString("Driver={SQLite3};Database=/tmp/a.db;stepapi=0;"),
            "Driver={SQLite3};Database=/tmp/a.db;stepapi=0;");
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
