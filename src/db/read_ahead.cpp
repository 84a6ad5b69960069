#include "db/read_ahead.h"

#include <utility>

#include "db/value_text.h"

namespace vornetta::db {
namespace {

using Clock = std::chrono::steady_clock;

// Records and bytes the reader may be ahead: enough to carry the taker over the
// driver's pauses between two blocks, little memory. A single record larger
// than the bytes still passes, alone.
constexpr std::size_t kSlots = 512;
constexpr std::size_t kQueueBytes = 4 << 20;
// A side that waits for the other is woken for a batch, not for each record:
// a wake-up costs far more than a record. The taker waits for this many
// records (or the end, or its slice), a reader for room until half the queue is free.
constexpr std::size_t kTakerBatch = 64;
// How long a reader waits for room before it looks again by itself.
constexpr std::chrono::milliseconds kRoomRecheck{100};
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
  if (!HasRoom(put)) {
    SeeTaken();
    if (!HasRoom(put)) WaitForRoom(put);
  }
  if (stopping_.load(std::memory_order_acquire)) return false;

  TSlot& slot = slots_[put % slots_.size()];
  slot.values.swap(values);
  values.resize(slot.values.size());
  ReleaseLargeValues(values);  // not kept going round the slots
  slot.recNo = recNo;
  slot.bytes = bytes;
  bytesPut_ += bytes;
  put_.store(put + 1);
  if (takerSleeps_.load() && put + 1 >= takerWakeAt_.load(std::memory_order_relaxed)) {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  return true;
}

// Room while fewer than all slots, and (but for a lone record) fewer than the
// queue's bytes, are taken up.
bool TReadAhead::HasRoom(std::size_t put) const {
  return put - takenSeen_ < slots_.size() && (put == takenSeen_ || bytesPut_ - bytesTakenSeen_ < kQueueBytes);
}

void TReadAhead::SeeTaken() {
  // The taker counts the bytes first: these are never behind the records.
  takenSeen_ = taken_.load();
  bytesTakenSeen_ = bytesTaken_.load();
}

void TReadAhead::WaitForRoom(std::size_t put) {
  const std::size_t halfSlots = slots_.size() / 2, halfBytes = kQueueBytes / 2;
  readerWakeAtTaken_.store(put > halfSlots ? put - halfSlots : 0, std::memory_order_relaxed);
  readerWakeAtBytes_.store(bytesPut_ > halfBytes ? bytesPut_ - halfBytes : 0, std::memory_order_relaxed);
  std::unique_lock lock(mutex_);
  readerSleeps_.store(true);
  // A taker waiting for a whole batch gets what there is.
  if (takerSleeps_.load()) changed_.notify_all();
  auto woken = [this] {
    return stopping_.load() || (taken_.load() >= readerWakeAtTaken_.load(std::memory_order_relaxed) &&
                                bytesTaken_.load() >= readerWakeAtBytes_.load(std::memory_order_relaxed));
  };
  while (!changed_.wait_for(lock, kRoomRecheck, woken)) {
  }
  readerSleeps_.store(false, std::memory_order_relaxed);
  lock.unlock();
  SeeTaken();
}

bool TReadAhead::Take(TValues& values, int& recNo) {
  const std::size_t taken = taken_.load(std::memory_order_relaxed);
  if (taken == putSeen_) putSeen_ = put_.load(std::memory_order_acquire);
  if (taken == putSeen_) {
    auto recordOrEnd = [this, taken](std::chrono::milliseconds slice) { return RecordOrEndWithin(taken, slice); };
    try {
      PumpUntil(waiter_, TDatabaseWaiter::TTask::Statement, start_, recordOrEnd);
    } catch (...) {
      RequestStop();
      // The queue is empty: the reader is in a database call.
      cancel_();
      Clock::time_point cancelled = Clock::now();
      PumpUntilCancelled(
          waiter_, TDatabaseWaiter::TTask::Statement, start_,
          [this, &cancelled](std::chrono::milliseconds slice) { return EndedWithin(slice, cancelled); });
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
  const std::size_t bytesTaken = bytesTaken_.load(std::memory_order_relaxed) + slot.bytes;
  bytesTaken_.store(bytesTaken);
  taken_.store(taken + 1);
  if (readerSleeps_.load() && taken + 1 >= readerWakeAtTaken_.load(std::memory_order_relaxed) &&
      bytesTaken >= readerWakeAtBytes_.load(std::memory_order_relaxed)) {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
  return true;
}

void TReadAhead::Stop() noexcept {
  if (!reader_.joinable()) return;
  RequestStop();
  // A reader waiting for room ends at once, one between two records after its
  // call; only one that stays in a call is cancelled.
  Clock::time_point cancelled = Clock::now();
  while (!EndedWithin(kCancelRepeat, cancelled)) {
  }
  Join();
}

void TReadAhead::RequestStop() {
  stopping_.store(true);
  const std::lock_guard lock(mutex_);
  changed_.notify_all();
}

bool TReadAhead::RecordOrEndWithin(std::size_t taken, std::chrono::milliseconds slice) {
  auto came = [this, taken] { return put_.load() != taken || ended_.load(); };
  if (came()) return true;
  std::unique_lock lock(mutex_);
  takerWakeAt_.store(taken + kTakerBatch, std::memory_order_relaxed);
  takerSleeps_.store(true);
  changed_.wait_for(lock, slice, [this, taken] {
    return put_.load() >= taken + kTakerBatch || ended_.load() || readerSleeps_.load();
  });
  takerSleeps_.store(false, std::memory_order_relaxed);
  return came();
}

bool TReadAhead::EndedWithin(std::chrono::milliseconds slice, Clock::time_point& cancelled) {
  std::unique_lock lock(mutex_);
  if (changed_.wait_for(lock, slice, [this] { return ended_.load(); })) return true;
  lock.unlock();
  if (Clock::now() - cancelled >= kCancelRepeat) {
    cancel_();
    cancelled = Clock::now();
  }
  return false;
}

void TReadAhead::Join() noexcept {
  if (reader_.joinable()) reader_.join();
}

}  // namespace vornetta::db
