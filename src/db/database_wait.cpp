#include "db/database_wait.h"

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

TAbandoned& Abandoned() {
  static TAbandoned abandoned;
  return abandoned;
}

}  // namespace

void RunWhileWaiting(TDatabaseWaiter* waiter, TDatabaseWaiter::TTask task, std::function<void()> work,
                     const std::function<void()>& cancel, bool abandonOnCancel) {
  if (waiter == nullptr) {
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
  auto finishedWithinSlice = [&state, waiter] {
    std::unique_lock lock(state->mutex);
    return state->finished.wait_for(lock, waiter->WaitSlice(), [&state] { return state->done; });
  };
  auto waiting = [&] {
    waiter->Waiting(task, std::chrono::steady_clock::now() - start);
    if (!waiter->PumpEvents()) throw platform::ECancelled("Abgebrochen.");
  };
  try {
    while (!finishedWithinSlice()) waiting();
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
    while (!finishedWithinSlice()) {
      try {
        waiting();
      } catch (...) {
      }
    }
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
