// Records read ahead on a thread of their own while someone waits who must not
// be held (the window): the reader puts each record into a small bounded queue
// and goes on fetching, the taker builds from the queue and waits, pumping the
// window's events, only when it is empty. A record is handed over without a
// lock or a copy: its value texts are swapped in and out of the queue's slots,
// so their buffers go round and are reused.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "db/database_wait.h"

namespace vornetta::db {

class TReadAhead {
 public:
  using TValues = std::vector<std::string>;

  // `cancel` interrupts the reader's running database call (SQLCancel); it may
  // be called from any thread. `start` is when the statement started, for the
  // waiter's "running for" time.
  TReadAhead(TDatabaseWaiter& waiter, std::function<void()> cancel, std::chrono::steady_clock::time_point start);
  // Stops the reader and waits for its end.
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Runs `read` on the reader thread. It puts its records with Put and returns
  // after the last one, or when Put refuses; what it throws passes to the taker
  // after the records put before.
  void Start(std::function<void()> read);

  // On the reader thread: hands the record over, swapping `values` with a free
  // slot's texts (that come back with as many texts, their contents stale).
  // Waits while the queue is full. False once the taker stopped: the reader
  // then ends. Throws nothing.
  bool Put(TValues& values, int recNo);

  // On the taker's thread: the next record, swapped into `values`; false after
  // the last one. While the queue is empty the waiter is called; when it
  // cancels (or throws), the reader is cancelled and awaited with the window
  // still painting, and the exception passes on. The reader's failure is
  // thrown here in its turn.
  bool Take(TValues& values, int& recNo);

  // Stops the reader: wakes it, cancels its database call until it has ended,
  // and joins it. Afterwards nothing runs; Take gives no more. Throws nothing.
  void Stop() noexcept;

 private:
  struct TSlot {
    TValues values;
    int recNo = 0;
    std::size_t bytes = 0;
  };

  // The reader: whether there is room for the next record (by its own view of
  // what was taken), that view brought up to date, and the wait for room.
  bool HasRoom(std::size_t put) const;
  void SeeTaken();
  void WaitForRoom(std::size_t put);
  // The taker: waits up to `slice` for a record after `taken` or the reader's
  // end; true when either came.
  bool RecordOrEndWithin(std::size_t taken, std::chrono::milliseconds slice);
  // After a stop: wakes the reader that waits for room; then waits up to
  // `slice` for its end, cancelling its call again kCancelRepeat after `cancelled`.
  void RequestStop();
  bool EndedWithin(std::chrono::milliseconds slice, std::chrono::steady_clock::time_point& cancelled);
  void Join() noexcept;

  TDatabaseWaiter& waiter_;
  const std::function<void()> cancel_;
  const std::chrono::steady_clock::time_point start_;
  std::vector<TSlot> slots_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::exception_ptr failure_;  // written by the reader before ended_
  std::atomic<bool> stopping_{false};

  // Written by the reader, each group on a cache line of its own: the records
  // put, its end, and when it sleeps for room, from which count of records and
  // bytes taken on it wants to be woken. Then its own view of the taker's counts.
  alignas(64) std::atomic<std::size_t> put_{0};
  std::atomic<bool> ended_{false};
  std::atomic<bool> readerSleeps_{false};
  std::atomic<std::size_t> readerWakeAtTaken_{0};
  std::atomic<std::size_t> readerWakeAtBytes_{0};
  std::size_t takenSeen_ = 0;
  std::size_t bytesTakenSeen_ = 0;
  std::size_t bytesPut_ = 0;

  // Written by the taker: the records and bytes taken, and when it sleeps for
  // records, from which count put on it wants to be woken; its view of put_.
  alignas(64) std::atomic<std::size_t> taken_{0};
  std::atomic<std::size_t> bytesTaken_{0};
  std::atomic<bool> takerSleeps_{false};
  std::atomic<std::size_t> takerWakeAt_{0};
  std::size_t putSeen_ = 0;
};

}  // namespace vornetta::db
