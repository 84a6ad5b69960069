// Long work on the window's thread (a build, a mail conversation, a database
// wait) lets the window handle its events now and then, so that it repaints and
// "Abbrechen" reaches the work. The window is the pump; tests fake it.
#pragma once

#include <algorithm>
#include <chrono>

#include "platform/failure.h"

namespace vornetta::platform {

// The least time between two passes through the window's events: a pass costs
// more than writing a report row, and 15 ms is too short for a user to notice.
inline constexpr std::chrono::milliseconds kEventSlice{15};

// The user ended the running work; the message says which work.
class ECancelled : public EFailure {
 public:
  using EFailure::EFailure;
};

class TEventPump {
 public:
  virtual ~TEventPump() = default;

  // Handles the window's pending events. False once the user asked to end the
  // running work: the caller then throws ECancelled naming it.
  virtual bool PumpEvents() = 0;

  // The least time between two calls during long work; 0 calls it after every step.
  virtual std::chrono::milliseconds Slice() const { return kEventSlice; }

  // The longest single wait for an event between two calls: the slice, but at
  // least a millisecond, so that a wait never spins.
  std::chrono::milliseconds WaitSlice() const { return std::max(Slice(), std::chrono::milliseconds(1)); }
};

}  // namespace vornetta::platform
