// Database work that may take long: the time limits of a connection and its
// statements, and the one who waits while such work runs on a thread of its own
// (the window, which keeps its events flowing and may cancel).
#pragma once

#include <chrono>
#include <functional>

#include "platform/event_pump.h"

namespace vornetta::db {

struct TDatabaseLimits {
  // How long a statement may run, from its start to the end of reading; 0: no limit.
  std::chrono::seconds statement{0};
  // How long opening a connection may take (the driver's login timeout); 0: the driver's own.
  std::chrono::seconds login{20};
};

// The window while database work runs on a thread of its own: it says what it
// waits for and keeps its events flowing. When its pump returns false, the
// statement is cancelled (SQLCancel) or the connection attempt abandoned, and
// platform::ECancelled "Abgebrochen." passes on to the caller.
class TDatabaseWaiter : public virtual platform::TEventPump {
 public:
  enum class TTask { Connect, Statement };

  // Called on the waiting thread before every pass through the pump, about
  // every WaitSlice() while the work runs.
  virtual void Waiting(TTask task, std::chrono::steady_clock::duration elapsed) = 0;
};

// Calls the waiter until `doneWithin` (which waits up to the given slice for
// what is awaited) says the wait is over: before every pass through the pump
// Waiting with the time since `start`. Throws platform::ECancelled
// "Abgebrochen." when the pump says so, and whatever the waiter throws.
void PumpUntil(TDatabaseWaiter& waiter, TDatabaseWaiter::TTask task, std::chrono::steady_clock::time_point start,
               const std::function<bool(std::chrono::milliseconds)>& doneWithin);
// The same after a cancel, until the cancelled work has ended: the window keeps
// painting, and further cancels and failures of the waiter change nothing.
void PumpUntilCancelled(TDatabaseWaiter& waiter, TDatabaseWaiter::TTask task,
                        std::chrono::steady_clock::time_point start,
                        const std::function<bool(std::chrono::milliseconds)>& endedWithin) noexcept;

// Thrown by RunWhileWaiting when work did not end within its time limit.
struct ETimeLimitPassed {};

// Runs work. Without a waiter (and without a limit) it runs right here. With
// one it runs on a thread of its own while the waiter is called; when the
// waiter cancels or throws, `cancel` is called and then, unless
// `abandonOnCancel`, the work's end is awaited (its own failure dropped) before
// the exception passes on. Abandoned work ends by itself later; it must own
// everything it touches. A failure of the work passes on as it is.
// With a `limit` above zero (only with `abandonOnCancel`) the work runs on a
// thread of its own, with or without a waiter, and is abandoned like a
// cancelled one once the limit has passed: ETimeLimitPassed then passes on.
void RunWhileWaiting(TDatabaseWaiter* waiter, TDatabaseWaiter::TTask task, std::function<void()> work,
                     const std::function<void()>& cancel, bool abandonOnCancel,
                     std::chrono::steady_clock::duration limit = {});

// Waits up to `limit` until abandoned work has ended; true when none is left.
// Tests use it so that nothing runs past them.
bool WaitForAbandonedWork(std::chrono::steady_clock::duration limit);

}  // namespace vornetta::db
