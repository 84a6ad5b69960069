// The time limit of one statement: once it has passed, a watchdog thread
// cancels the statement (SQLCancel), which makes the driver's running or next
// call fail; the failure is then reported as the time limit.
#pragma once

#include <sql.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace vornetta::db {

class TStatementDeadline {
 public:
  TStatementDeadline() = default;
  // Starts the clock for the statement handle; a limit of 0 means none.
  TStatementDeadline(SQLHANDLE stmt, std::chrono::seconds limit);
  ~TStatementDeadline() { Disarm(); }
  TStatementDeadline(const TStatementDeadline&) = delete;
  TStatementDeadline& operator=(const TStatementDeadline&) = delete;

  // Stops the clock; once it returns no cancel of the handle is under way. Throws nothing.
  void Disarm() noexcept;
  // Whether the limit has passed (a failure now is the limit's). Throws nothing.
  bool Expired() const;
  std::chrono::seconds Limit() const { return limit_; }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::uint64_t ticket_ = 0;
  std::chrono::seconds limit_{0};
  bool expired_ = false;
};

// The German failure (UTF-8) of a statement stopped by its time limit.
std::string StatementTimeoutMessage(std::chrono::seconds limit);

}  // namespace vornetta::db
