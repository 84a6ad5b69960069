#include "db/odbc_handle.h"

#include <string>

#include "db/database_error.h"
#include "platform/code_page.h"
#include "platform/safe_text.h"

namespace vornetta::db {
namespace {

std::u16string_view Wide(const SQLWCHAR* text, size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

// The sentence in front of the driver's own text, by what failed: opening the
// connection (its environment and connection handles) or a statement.
std::string LeadFor(SQLSMALLINT subjectType) {
  return subjectType == SQL_HANDLE_STMT ? "SQL-Anweisung fehlgeschlagen: " : "Datenbankverbindung fehlgeschlagen: ";
}

// `handleType` and `handle` hold the diagnostics; `subjectType` is the kind of
// handle the failed call was about (a statement handle's allocation reports on its connection).
[[noreturn]] void ThrowDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const char* call,
                                   SQLSMALLINT subjectType) {
  if (handle != SQL_NULL_HANDLE) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLWCHAR small[512];
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native, small,
                                  static_cast<SQLSMALLINT>(std::size(small)), &length);
    if (SQL_SUCCEEDED(rc)) {
      std::u16string message;
      if (length >= static_cast<SQLSMALLINT>(std::size(small))) {
        std::u16string big(static_cast<size_t>(length) + 1, u'\0');
        if (SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, 1, state, &native,
                                         reinterpret_cast<SQLWCHAR*>(big.data()),
                                         static_cast<SQLSMALLINT>(big.size()), &length)))
          message.assign(big.data(), std::min<size_t>(length, big.size() - 1));
      }
      if (message.empty()) message.assign(Wide(small, std::min<size_t>(length, std::size(small) - 1)));
      // The driver's text becomes a message: a NUL would cut it short, other control characters reach terminals.
      throw EDatabaseError(LeadFor(subjectType) + platform::ReplaceControlCharacters(platform::Utf16ToUtf8(message)),
                           platform::Utf16ToUtf8(Wide(state, 5)),
                           static_cast<int>(native));
    }
  }
  throw EDatabaseError(LeadFor(subjectType) + "der Treiber nennt keinen Grund (" + call + ")");
}

}  // namespace

TOdbcHandle::TOdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
  if (!SQL_SUCCEEDED(rc)) {
    if (parent == SQL_NULL_HANDLE) ThrowDiagnostics(SQL_HANDLE_ENV, SQL_NULL_HANDLE, "SQLAllocHandle", type);
    SQLSMALLINT parentType = type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC;
    ThrowDiagnostics(parentType, parent, "SQLAllocHandle", type);
  }
  handle_ = handle;
}

void TOdbcHandle::Reset() noexcept {
  if (handle_ != SQL_NULL_HANDLE) {
    SQLFreeHandle(type_, handle_);
    handle_ = SQL_NULL_HANDLE;
  }
}

SQLRETURN Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* call) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA || rc == SQL_NEED_DATA) return rc;
  ThrowDiagnostics(handleType, handle, call, handleType);
}

}  // namespace vornetta::db
