// Helpers of the database tests: a temporary folder, SQLite connection strings
// and the private MariaDB and PostgreSQL servers' settings from the environment.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <dlfcn.h>
#include <odbcinst.h>
#include <unistd.h>

#include "db/database_error.h"
#include "db/datenbank_ado.h"
#include "support/temp_folder.h"
#include "platform/code_page.h"

namespace vornetta::db::test {

using TempDir = vornetta::test::TTempFolder;

// The driver manager unloads a driver with its last connection, and LeakSanitizer
// cannot name the module of what the driver kept for good. Pinned, its leaks
// carry the library's name that tests/lsan.supp lists.
inline void PinDriver(const char* name) {
  char path[4096] = {};
  if (SQLGetPrivateProfileString(name, "Driver", "", path, sizeof path, "ODBCINST.INI") > 0)
    dlopen(path, RTLD_NOW | RTLD_NODELETE);
}

// Connections never create a database, so the file is created here, empty
// (an empty file is an empty SQLite database).
inline std::string SqliteConnection(const std::filesystem::path& file) {
  if (!std::filesystem::exists(file)) std::ofstream(file, std::ios::binary).flush();
  return "Driver={SQLite3};Database=" + file.string() + ";";
}

// One private server of the tests, as its start script exported it.
struct TServer {
  std::string host, port, user, password, database, connection;
  std::string driver;  // the driver name stored connection strings use for it

  // A connection string to another database of the same server, by default
  // through the server's own driver name.
  std::string ConnectionTo(const std::string& db, const std::string& otherDriver = "") const {
    return "Driver={" + (otherDriver.empty() ? driver : otherDriver) + "};Server=" + host + ";Port=" + port +
           ";Database=" + db + ";Uid=" + user + ";Pwd=" + password + ";";
  }
};
using MariaDb = TServer;
using Postgres = TServer;

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The server whose settings a start script exported as VORNETTA_<PREFIX>_*.
inline std::optional<TServer> ServerFromEnvironment(const std::string& prefix, std::string driver) {
  const auto get = [&](const char* name) { return Env(("VORNETTA_" + prefix + "_" + name).c_str()); };
  TServer server{get("HOST"),     get("PORT"),       get("USER"), get("PASSWORD"),
                 get("DATABASE"), get("CONNECTION"), std::move(driver)};
  if (server.connection.empty() || server.port.empty()) return std::nullopt;
  if (server.host.empty()) server.host = "127.0.0.1";
  return server;
}

// The server started by scripts/mariadb-test-server.sh, reached through the
// driver name that carries the "mysql" marker.
inline std::optional<MariaDb> MariaDbServer() { return ServerFromEnvironment("MARIADB", "MySQL"); }

// The server started by scripts/postgres-test-server.sh.
inline std::optional<Postgres> PostgresServer() { return ServerFromEnvironment("POSTGRES", "PostgreSQL Unicode"); }

// The message opening `connection` fails with, or "opened".
inline std::string OpenFailure(const std::string& connection) {
  try {
    TDatenbankAdo db(connection);
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "opened";
}

// The record of "select 'Eilig – bitte' as Łukasz, 'Größe' as Maß": labels and
// values come whole, whether the code page could hold them or not.
inline void ExpectLabelsAndValuesWhole(const TRecordSet& rs) {
  EXPECT_EQ(rs.DisplayName(0), "Łukasz");
  EXPECT_EQ(rs.Value(0), "Eilig – bitte");
  EXPECT_EQ(rs.DisplayName(1), "Maß");
  EXPECT_EQ(rs.Value(1), "Größe");
}

inline bool InCi() { return Env("CI") == "true"; }

// A database of a test's own on a private server, so test binaries may run side
// by side: created at once (a leftover of the same name dropped first), dropped
// again by the destructor. Creation throws EDatabaseError.
class TOwnDatabase {
 public:
  TOwnDatabase(std::string adminConnection, std::string name, const std::string& createOptions = "",
               std::string dropOptions = "")
      : admin_(std::move(adminConnection)), name_(std::move(name)), dropOptions_(std::move(dropOptions)) {
    TDatenbankAdo admin(admin_);
    admin.Execute("drop database if exists " + name_ + dropOptions_);
    admin.Execute("create database " + name_ + createOptions);
  }
  ~TOwnDatabase() {
    try {
      TDatenbankAdo(admin_).Execute("drop database if exists " + name_ + dropOptions_);
    } catch (const std::exception&) {
    }
  }
  TOwnDatabase(const TOwnDatabase&) = delete;
  TOwnDatabase& operator=(const TOwnDatabase&) = delete;

 private:
  std::string admin_, name_, dropOptions_;
};

// A test that works in a database of its own on a private server, under the
// C.UTF-8 locale and the Latin-9 code page. Without the server the test is
// skipped, but in CI, where the server must run, it fails.
class TServerDatabaseTest : public ::testing::Test {
 protected:
  struct TKind {
    std::optional<TServer> (*find)();
    const char* name;    // for the messages
    const char* prefix;  // of the environment variables
    std::string createOptions, dropOptions;
  };
  explicit TServerDatabaseTest(TKind kind) : kind_(std::move(kind)) {}

  void SetUp() override {
    platform::UseSystemLanguage(platform::Language::Other);
    std::setlocale(LC_ALL, "C.UTF-8");
    auto server = kind_.find();
    if (!server) {
      if (InCi()) FAIL() << "VORNETTA_" << kind_.prefix << "_CONNECTION is not set";
      std::string script = kind_.prefix;
      for (char& c : script) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      GTEST_SKIP() << "no " << kind_.name << " test server (scripts/" << script << "-test-server.sh start)";
    }
    server_ = *server;
    static int number = 0;
    name_ = "vt_db_" + std::to_string(getpid()) + "_" + std::to_string(++number);
    database_.emplace(server_.connection, name_, kind_.createOptions, kind_.dropOptions);
    db_ = std::make_unique<TDatenbankAdo>(server_.ConnectionTo(name_));
  }
  void TearDown() override {
    db_.reset();
    database_.reset();
    std::setlocale(LC_ALL, "C");
  }

  TServer server_;
  std::string name_;
  std::optional<TOwnDatabase> database_;
  std::unique_ptr<TDatenbankAdo> db_;

 private:
  TKind kind_;
};

}  // namespace vornetta::db::test
