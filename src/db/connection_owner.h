// The holder of the program's one database connection: opened when a command
// first needs it, kept for the next command, released when the connection string
// may have changed or the configuration is closed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "db/datenbank_ado.h"

namespace vornetta::db {

class TConnectionOwner {
 public:
  // connectionString is asked only when the connection is opened.
  explicit TConnectionOwner(std::function<std::string()> connectionString);
  ~TConnectionOwner();
  TConnectionOwner(const TConnectionOwner&) = delete;
  TConnectionOwner& operator=(const TConnectionOwner&) = delete;

  // The open connection, opened first when there is none. A failure to open
  // (EDatabaseError, or whatever the connection string's source throws) passes
  // on and leaves none.
  TDatenbankAdo& Get();

  // The limits are asked when the connection is opened; the waiter (null: none)
  // must outlive the connection.
  void SetWork(std::function<TDatabaseLimits()> limits, TDatabaseWaiter* waiter) {
    limits_ = std::move(limits);
    waiter_ = waiter;
  }

  // The limits as they are now, and the waiter, for connections of their own (the connection test).
  TDatabaseLimits Limits() const { return limits_ ? limits_() : TDatabaseLimits{}; }
  TDatabaseWaiter* Waiter() const { return waiter_; }

  bool IsOpen() const { return connection_ != nullptr; }
  void Release() noexcept { connection_.reset(); }

 private:
  std::function<std::string()> connectionString_;
  std::function<TDatabaseLimits()> limits_;
  TDatabaseWaiter* waiter_ = nullptr;
  std::unique_ptr<TDatenbankAdo> connection_;
};

}  // namespace vornetta::db
