#include "db/database_wait.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace vornetta::db {
namespace {

struct TWorkState {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr failure;
};

// Work that was left running after a cancel; counted so that tests can wait for it.
struct TAbandoned {
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
};

// Never destroyed: abandoned work may still end while the process exits.
TAbandoned& Abandoned() {
  static TAbandoned& abandoned = *new TAbandoned;
  return abandoned;
}

}  // namespace

void PumpUntil(TDatabaseWaiter& waiter, TDatabaseWaiter::TTask task, std::chrono::steady_clock::time_point start,
               const std::function<bool(std::chrono::milliseconds)>& doneWithin) {
  while (!doneWithin(waiter.WaitSlice())) {
    waiter.Waiting(task, std::chrono::steady_clock::now() - start);
    if (!waiter.PumpEvents()) throw platform::ECancelled("Abgebrochen.");
  }
}

void PumpUntilCancelled(TDatabaseWaiter& waiter, TDatabaseWaiter::TTask task,
                        std::chrono::steady_clock::time_point start,
                        const std::function<bool(std::chrono::milliseconds)>& endedWithin) noexcept {
  for (;;) {
    try {
      PumpUntil(waiter, task, start, endedWithin);
      return;
    } catch (...) {
      // Cancelled already: a further "Abbrechen" changes nothing.
    }
  }
}

void RunWhileWaiting(TDatabaseWaiter* waiter, TDatabaseWaiter::TTask task, std::function<void()> work,
                     const std::function<void()>& cancel, bool abandonOnCancel,
                     std::chrono::steady_clock::duration limit) {
  const bool limited = limit > std::chrono::steady_clock::duration::zero() && abandonOnCancel;
  if (waiter == nullptr && !limited) {
    work();
    return;
  }
  auto state = std::make_shared<TWorkState>();
  std::thread worker([state, work = std::move(work)] {
    std::exception_ptr failure;
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard lock(state->mutex);
    state->failure = failure;
    state->done = true;
    state->finished.notify_all();
  });

  const auto start = std::chrono::steady_clock::now();
  auto finishedWithin = [&state, limited, end = start + limit](std::chrono::milliseconds slice) {
    std::unique_lock lock(state->mutex);
    std::chrono::steady_clock::duration wait = slice;
    if (limited) {
      const auto left = end - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero() && !state->done) throw ETimeLimitPassed();
      wait = std::min(wait, left);
    }
    return state->finished.wait_for(lock, wait, [&state] { return state->done; });
  };
  try {
    if (waiter != nullptr)
      PumpUntil(*waiter, task, start, finishedWithin);
    else
      while (!finishedWithin(std::chrono::hours(1))) {
      }
  } catch (...) {
    cancel();
    if (abandonOnCancel) {
      {
        const std::lock_guard lock(Abandoned().mutex);
        ++Abandoned().running;
      }
      std::thread([state, worker = std::move(worker)]() mutable {
        worker.join();
        const std::lock_guard lock(Abandoned().mutex);
        --Abandoned().running;
        Abandoned().changed.notify_all();
      }).detach();
      throw;
    }
    // The window keeps painting until the cancelled work has let go of its handle.
    PumpUntilCancelled(*waiter, task, start, finishedWithin);
    worker.join();
    throw;
  }
  worker.join();
  if (state->failure) std::rethrow_exception(state->failure);
}

bool WaitForAbandonedWork(std::chrono::steady_clock::duration limit) {
  std::unique_lock lock(Abandoned().mutex);
  return Abandoned().changed.wait_for(lock, limit, [] { return Abandoned().running == 0; });
}

}  // namespace vornetta::db
