#include "db/statement_deadline.h"

#include <sqlext.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/text.h"

namespace vornetta::db {
namespace {

using Clock = std::chrono::steady_clock;

// One thread for all limits: it sleeps until the earliest one passes.
class TWatchdog {
 public:
  static TWatchdog& Instance() {
    static TWatchdog watchdog;
    return watchdog;
  }

  std::uint64_t Arm(SQLHANDLE stmt, Clock::time_point deadline) {
    const std::lock_guard lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Watch(); });
    const std::uint64_t ticket = ++lastTicket_;
    armed_.emplace(ticket, TEntry{stmt, deadline});
    changed_.notify_all();
    return ticket;
  }

  // True when the statement had been cancelled.
  bool Disarm(std::uint64_t ticket) {
    const std::lock_guard lock(mutex_);
    if (armed_.erase(ticket) == 1) return false;
    return fired_.erase(ticket) == 1;
  }

  bool Fired(std::uint64_t ticket) {
    const std::lock_guard lock(mutex_);
    return fired_.count(ticket) == 1;
  }

  ~TWatchdog() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  struct TEntry {
    SQLHANDLE stmt;
    Clock::time_point deadline;
  };

  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      Clock::time_point next = Clock::time_point::max();
      for (const auto& [ticket, entry] : armed_) next = std::min(next, entry.deadline);
      if (next == Clock::time_point::max()) {
        changed_.wait(lock);
        continue;
      }
      changed_.wait_until(lock, next);
      const Clock::time_point now = Clock::now();
      for (auto it = armed_.begin(); it != armed_.end();) {
        if (it->second.deadline > now) {
          ++it;
          continue;
        }
        // Under the lock: the handle cannot be disarmed and freed meanwhile.
        SQLCancel(it->second.stmt);
        fired_.insert(it->first);
        it = armed_.erase(it);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, TEntry> armed_;  // few at a time: one per open statement
  std::set<std::uint64_t> fired_;
  std::uint64_t lastTicket_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

TStatementDeadline::TStatementDeadline(SQLHANDLE stmt, std::chrono::seconds limit) : limit_(limit) {
  if (limit.count() <= 0 || stmt == SQL_NULL_HANDLE) return;
  // NOTE: drivers that honour SQL_ATTR_QUERY_TIMEOUT stop first; the watchdog
  // catches the others a little later.
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(limit.count())), 0);
  ticket_ = TWatchdog::Instance().Arm(stmt, start_ + limit + std::chrono::seconds(1));
}

void TStatementDeadline::Disarm() noexcept {
  if (ticket_ == 0) return;
  expired_ = TWatchdog::Instance().Disarm(ticket_);
  ticket_ = 0;
}

bool TStatementDeadline::Expired() const {
  if (limit_.count() <= 0) return false;
  return expired_ || std::chrono::steady_clock::now() - start_ >= limit_ ||
         (ticket_ != 0 && TWatchdog::Instance().Fired(ticket_));
}

std::string StatementTimeoutMessage(std::chrono::seconds limit) {
  return "Zeitüberschreitung: das Statement lief länger als " +
         std::string(platform::TDecimalText(static_cast<long long>(limit.count())).View()) +
         " s und wurde abgebrochen (Einstellung abfrageTimeout im Abschnitt datenbank; 0 = ohne Grenze).";
}

}  // namespace vornetta::db
