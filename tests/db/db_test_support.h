// Helpers of the database tests: a temporary folder, SQLite connection strings
// and the private MariaDB and PostgreSQL servers' settings from the environment.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <dlfcn.h>
#include <odbcinst.h>
#include <unistd.h>

#include "db/datenbank_ado.h"

namespace vornetta::db::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vornetta-db-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

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

struct MariaDb {
  std::string host, port, user, password, database, connection;

  // A connection string to another database of the same server, by default
  // through the driver name that carries the "mysql" marker.
  std::string ConnectionTo(const std::string& db, const std::string& driver = "MySQL") const {
    return "Driver={" + driver + "};Server=" + host + ";Port=" + port + ";Database=" + db + ";Uid=" + user +
           ";Pwd=" + password + ";";
  }
};

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The server started by scripts/mariadb-test-server.sh; in CI its absence is a failure.
inline std::optional<MariaDb> MariaDbServer() {
  MariaDb m{Env("VORNETTA_MARIADB_HOST"), Env("VORNETTA_MARIADB_PORT"), Env("VORNETTA_MARIADB_USER"),
            Env("VORNETTA_MARIADB_PASSWORD"), Env("VORNETTA_MARIADB_DATABASE"),
            Env("VORNETTA_MARIADB_CONNECTION")};
  if (m.connection.empty() || m.port.empty()) return std::nullopt;
  if (m.host.empty()) m.host = "127.0.0.1";
  return m;
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

struct Postgres {
  std::string host, port, user, password, database, connection;

  // A connection string to another database of the same server.
  std::string ConnectionTo(const std::string& db, const std::string& driver = "PostgreSQL Unicode") const {
    return "Driver={" + driver + "};Server=" + host + ";Port=" + port + ";Database=" + db + ";Uid=" + user +
           ";Pwd=" + password + ";";
  }
};

// The server started by scripts/postgres-test-server.sh; in CI its absence is a failure.
inline std::optional<Postgres> PostgresServer() {
  Postgres p{Env("VORNETTA_POSTGRES_HOST"), Env("VORNETTA_POSTGRES_PORT"), Env("VORNETTA_POSTGRES_USER"),
             Env("VORNETTA_POSTGRES_PASSWORD"), Env("VORNETTA_POSTGRES_DATABASE"),
             Env("VORNETTA_POSTGRES_CONNECTION")};
  if (p.connection.empty() || p.port.empty()) return std::nullopt;
  if (p.host.empty()) p.host = "127.0.0.1";
  return p;
}

}  // namespace vornetta::db::test

// Skips the test without a server, but fails in CI where the server must run.
#define REQUIRE_MARIADB(var)                                                              \
  auto var##_opt = ::vornetta::db::test::MariaDbServer();                                 \
  if (!var##_opt) {                                                                       \
    if (::vornetta::db::test::InCi()) FAIL() << "VORNETTA_MARIADB_CONNECTION is not set"; \
    GTEST_SKIP() << "no MariaDB test server (scripts/mariadb-test-server.sh start)";      \
  }                                                                                       \
  const ::vornetta::db::test::MariaDb& var = *var##_opt

