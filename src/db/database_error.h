// The failure of a database operation. what() is the driver's message (first
// diagnostic record, control characters replaced by "?") behind the German lead
// that says what failed (db/odbc_handle.h), or one of the system's own texts.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/failure.h"

namespace vornetta::db {

class EDatabaseError : public platform::EFailure {
 public:
  explicit EDatabaseError(const std::string& message, std::string sqlState = {}, int nativeError = 0)
      : EFailure(message), sqlState_(std::move(sqlState)), nativeError_(nativeError) {}
  // One of the system's own texts, written in UTF-8.

  // Five-character SQLSTATE of the diagnostic record; empty for the system's own failures.
  const std::string& SqlState() const { return sqlState_; }
  int NativeError() const { return nativeError_; }

 private:
  std::string sqlState_;
  int nativeError_;
};

}  // namespace vornetta::db
