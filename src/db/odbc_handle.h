// An owned ODBC handle and the one checked call helper every ODBC call goes
// through: a failed call becomes EDatabaseError built from the handle's diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

namespace vornetta::db {

class TOdbcHandle {
 public:
  TOdbcHandle() = default;
  // Allocates a handle of the type under `parent` (SQL_NULL_HANDLE for an environment).
  // Throws EDatabaseError with the parent's diagnostics when that fails, led as for the new handle's type.
  TOdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~TOdbcHandle() { Reset(); }
  TOdbcHandle(TOdbcHandle&& other) noexcept
      : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}
  TOdbcHandle& operator=(TOdbcHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      type_ = other.type_;
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  TOdbcHandle(const TOdbcHandle&) = delete;
  TOdbcHandle& operator=(const TOdbcHandle&) = delete;

  // The accessors throw nothing.
  SQLHANDLE Get() const { return handle_; }
  SQLSMALLINT Type() const { return type_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
  void Reset() noexcept;

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Returns rc when it is SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA or
// SQL_NEED_DATA; otherwise throws EDatabaseError with the first diagnostic record
// of the handle behind a German lead: "SQL-Anweisung fehlgeschlagen: " for a
// statement handle, "Datenbankverbindung fehlgeschlagen: " for the others; when
// the driver left no record, the lead and "der Treiber nennt keinen Grund (<call>)".
SQLRETURN Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* call);
inline SQLRETURN Check(SQLRETURN rc, const TOdbcHandle& handle, const char* call) {
  return Check(rc, handle.Type(), handle.Get(), call);
}

}  // namespace vornetta::db
