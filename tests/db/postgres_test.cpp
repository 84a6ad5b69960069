// The PostgreSQL path against the private server of the tests
// (scripts/postgres-test-server.sh).
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>

#include "db/command.h"
#include "db/connection_string.h"
#include "db/database_error.h"
#include "db/datenbank_ado.h"
#include "db_test_support.h"
#include "platform/code_page.h"

namespace vornetta::db {
namespace {

// Each test works in a database of its own, so test binaries may run side by side.
class PostgresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseSystemLanguage(platform::Language::Other);
    std::setlocale(LC_ALL, "C.UTF-8");
    auto server = test::PostgresServer();
    if (!server) {
      if (test::InCi()) FAIL() << "VORNETTA_POSTGRES_CONNECTION is not set";
      GTEST_SKIP() << "no PostgreSQL test server (scripts/postgres-test-server.sh start)";
    }
    server_ = *server;
    static int number = 0;
    name_ = "vt_db_" + std::to_string(getpid()) + "_" + std::to_string(++number);
    TDatenbankAdo admin(server_.connection);
    admin.Execute("drop database if exists " + name_);
    admin.Execute("create database " + name_ + " encoding 'UTF8' template template0");
    db_ = std::make_unique<TDatenbankAdo>(server_.ConnectionTo(name_));
  }
  void TearDown() override {
    db_.reset();
    if (!name_.empty()) {
      try {
        TDatenbankAdo(server_.connection).Execute("drop database if exists " + name_ + " with (force)");
      } catch (const std::exception&) {
      }
    }
    std::setlocale(LC_ALL, "C");
  }

  std::vector<std::string> Column(const std::string& sql, int i = 0) {
    std::vector<std::string> values;
    for (auto rs = db_->GetData(sql); !rs->Eof(); rs->Next()) values.push_back(rs->Value(i));
    return values;
  }

  test::Postgres server_;
  std::string name_;
  std::unique_ptr<TDatenbankAdo> db_;
};

TEST_F(PostgresTest, EveryColumnTypeHasItsKindNameAndText) {
  ASSERT_TRUE(std::setlocale(LC_ALL, "de_DE.UTF-8"));
  db_->Execute(
      "create table w (si smallint, i integer, bi bigint, nu numeric(10,2), nw numeric(30,6), nf numeric, "
      "r real, d double precision, bo boolean, dt date, tm time, ts timestamp, tz timestamptz, iv interval, "
      "by bytea, tx text, vc varchar(10), c char(4), u uuid, js json, jb jsonb)");
  db_->Execute(
      "insert into w values (-2, 4, 9007199254740993, -12.50, 123456789012345678901234.5, 1.125, 0.25, "
      "1234.56, true, '2024-02-29', '07:05:09', '1999-12-31 23:59:58', '2001-02-03 04:05:06+00', "
      "'1 day 02:03:04', '\\x00ff', 'long', 'xyz', 'ab', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', "
      "'{\"a\": 1}', '{\"b\": 2}')");
  db_->Execute("insert into w default values");
  auto rs = db_->GetData("select * from w");
  for (int i = 0; i < rs->FieldCount(); ++i)
    std::printf("%s %d %s [%s]\n", rs->FieldName(i).c_str(), static_cast<int>(rs->DataType(i)),
                TDatenbankAdo::FieldTypeName(rs->DataType(i)).c_str(), rs->Value(i).c_str());
  rs->Next();
  for (int i = 0; i < rs->FieldCount(); ++i) std::printf("[%s]", rs->Value(i).c_str());
  auto e = db_->GetData("select 'infinity'::date, '-infinity'::timestamp, '24:00:00'::time, '-1 day'::interval, "
    "'NaN'::numeric, '12:30:00+02'::timetz, '2020-01-01 10:00:00.5'::timestamp, 1.5::numeric(3,1) * 2, sum(x) from (values (1.5::numeric(5,2))) v(x)");
  for (int i = 0; i < e->FieldCount(); ++i)
    std::printf("%s %d %s [%s]\n", e->FieldName(i).c_str(), static_cast<int>(e->DataType(i)),
                TDatenbankAdo::FieldTypeName(e->DataType(i)).c_str(), e->Value(i).c_str());
}

}  // namespace
}  // namespace vornetta::db
