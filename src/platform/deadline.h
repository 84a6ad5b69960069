// When a wait has to end: a moment on the steady clock, or never. Every wait of
// the program with a time limit counts down to one of these.
#pragma once

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>

namespace vornetta::platform {

// Copies freely; throws nothing.
class TDeadline {
 public:
  using Clock = std::chrono::steady_clock;

  // Never: the wait lasts as long as it takes.
  TDeadline() = default;
  explicit TDeadline(Clock::time_point end) : end_(end) {}
  // `limit` from now; a limit of 0 or below is no limit at all.
  static TDeadline After(std::chrono::milliseconds limit) {
    return limit > std::chrono::milliseconds::zero() ? TDeadline(Clock::now() + limit) : TDeadline();
  }

  bool Unbounded() const { return !end_; }
  bool Passed() const { return end_ && Clock::now() >= *end_; }
  // The earlier of the two; an unbounded one gives way to the other.
  TDeadline Earlier(const TDeadline& other) const {
    return !end_ || (other.end_ && *other.end_ < *end_) ? other : *this;
  }
  // The time left in milliseconds as poll() takes it: rounded up, so that a
  // wait ending then has reached the deadline; 0 once it passed, -1 for never.
  int PollMs() const {
    if (!end_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*end_ - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
  }

 private:
  std::optional<Clock::time_point> end_;
};

}  // namespace vornetta::platform
