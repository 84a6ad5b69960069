#include "db/read_ahead.h"

#include <utility>

namespace vornetta::db {
namespace {

using Clock = std::chrono::steady_clock;

// Records and bytes the reader may be ahead: enough to carry the taker over the
// driver's pauses between two blocks, little memory. A single record larger
// than the bytes still passes, alone.
constexpr std::size_t kSlots = 512;
constexpr std::size_t kQueueBytes = 4 << 20;
// A value buffer larger than this is not kept going round the slots.
constexpr std::size_t kKeptValueBytes = 1 << 20;
// How often a database call that goes on after a cancel is cancelled again: a
// cancel that came just before the call began has no effect on it.
constexpr std::chrono::milliseconds kCancelRepeat{100};

}  // namespace

TReadAhead::TReadAhead(TDatabaseWaiter& waiter, std::function<void()> cancel, Clock::time_point start)
    : waiter_(waiter), cancel_(std::move(cancel)), start_(start), slots_(kSlots) {}

TReadAhead::~TReadAhead() { Stop(); }

void TReadAhead::Start(std::function<void()> read) {
  reader_ = std::thread([this, read = std::move(read)] {
    try {
      read();
    } catch (...) {
      failure_ = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      ended_.store(true);
    }
    changed_.notify_all();
  });
}

bool TReadAhead::Put(TValues& values, int recNo) {
  std::size_t bytes = 0;
  for (const std::string& value : values) bytes += value.size();
  const std::size_t put = put_.load(std::memory_order_relaxed);
  // Room while fewer than all slots and (but for the first record in the queue) fewer than its bytes are taken up.
  auto hasRoom = [&] {
    return put - takenSeen_ < slots_.size() &&
           (put == takenSeen_ || bytesPut_ - bytesTaken_.load(std::memory_order_acquire) < kQueueBytes);
  };
  if (!hasRoom()) {
    takenSeen_ = taken_.load();
    if (!hasRoom()) {
      std::unique_lock lock(mutex_);
      readerSleeps_.store(true);
      changed_.wait(lock, [&] {
        takenSeen_ = taken_.load();
        return stopping_.load() || hasRoom();
      });
      readerSleeps_.store(false, std::memory_order_relaxed);
    }
  }
  if (stopping_.load(std::memory_order_acquire)) return false;

  TSlot& slot = slots_[put % slots_.size()];
  slot.values.swap(values);
  values.resize(slot.values.size());
  for (std::string& value : values)
    if (value.capacity() > kKeptValueBytes) std::string().swap(value);
  slot.recNo = recNo;
  slot.bytes = bytes;
  bytesPut_ += bytes;
  put_.store(put + 1);
  if (takerSleeps_.load()) {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  return true;
}

bool TReadAhead::Take(TValues& values, int& recNo) {
  const std::size_t taken = taken_.load(std::memory_order_relaxed);
  if (taken == putSeen_) putSeen_ = put_.load(std::memory_order_acquire);
  if (taken == putSeen_) {
    auto recordOrEnd = [this, taken](std::chrono::milliseconds slice) { return RecordOrEndWithin(taken, slice); };
    try {
      PumpUntil(waiter_, TDatabaseWaiter::TTask::Statement, start_, recordOrEnd);
    } catch (...) {
      stopping_.store(true);
      {
        const std::lock_guard lock(mutex_);
        changed_.notify_all();
      }
      // The queue is empty: the reader is in a database call.
      cancel_();
      Clock::time_point cancelled = Clock::now();
      PumpUntilCancelled(waiter_, TDatabaseWaiter::TTask::Statement, start_,
                         [this, &cancelled](std::chrono::milliseconds slice) {
                           if (EndedWithin(slice)) return true;
                           if (Clock::now() - cancelled >= kCancelRepeat) {
                             cancel_();
                             cancelled = Clock::now();
                           }
                           return false;
                         });
      Join();
      throw;
    }
    putSeen_ = put_.load(std::memory_order_acquire);
    if (taken == putSeen_) {  // the reader has ended
      Join();
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
  }
  TSlot& slot = slots_[taken % slots_.size()];
  slot.values.swap(values);
  recNo = slot.recNo;
  bytesTaken_.store(bytesTaken_.load(std::memory_order_relaxed) + slot.bytes, std::memory_order_release);
  taken_.store(taken + 1);
  if (readerSleeps_.load()) {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  return true;
}

void TReadAhead::Stop() noexcept {
  if (!reader_.joinable()) return;
  stopping_.store(true);
  {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  // A reader waiting for room ends at once, one between two records after its
  // call; only one that stays in a call is cancelled.
  while (!EndedWithin(kCancelRepeat)) cancel_();
  Join();
}

bool TReadAhead::RecordOrEndWithin(std::size_t taken, std::chrono::milliseconds slice) {
  auto came = [this, taken] { return put_.load() != taken || ended_.load(); };
  if (came()) return true;
  std::unique_lock lock(mutex_);
  takerSleeps_.store(true);
  const bool result = changed_.wait_for(lock, slice, came);
  takerSleeps_.store(false, std::memory_order_relaxed);
  return result;
}

bool TReadAhead::EndedWithin(std::chrono::milliseconds slice) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, slice, [this] { return ended_.load(); });
}

void TReadAhead::Join() noexcept {
  if (reader_.joinable()) reader_.join();
}

}  // namespace vornetta::db
