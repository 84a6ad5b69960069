#include "platform/deadline.h"

#include <algorithm>
#include <limits>

namespace vornetta::platform {

int TDeadline::PollMs() const {
  if (!end_) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*end_ - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, std::numeric_limits<int>::max()));
}

}  // namespace vornetta::platform
