// The one meaning of "no limit", the earlier of two deadlines and poll's milliseconds.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/deadline.h"

namespace vornetta::platform {
namespace {

using namespace std::chrono_literals;

TEST(Deadline, NoLimitNeverPassesAndTheEarlierOneWins) {
  for (const TDeadline never : {TDeadline(), TDeadline::After(0ms), TDeadline::After(-5ms)}) {
    EXPECT_TRUE(never.Unbounded());
    EXPECT_FALSE(never.Passed());
    EXPECT_EQ(never.PollMs(), -1);
  }
  const TDeadline hour = TDeadline::After(1h);
  EXPECT_FALSE(hour.Passed());
  EXPECT_GT(hour.PollMs(), 0);
  EXPECT_LE(hour.PollMs(), 3600000);

  const TDeadline passed(TDeadline::Clock::now() - 1s);
  EXPECT_TRUE(passed.Passed());
  EXPECT_EQ(passed.PollMs(), 0);

  EXPECT_TRUE(TDeadline().Earlier(hour).Earlier(passed).Passed());
  EXPECT_TRUE(passed.Earlier(hour).Earlier(TDeadline()).Passed());
  EXPECT_EQ(TDeadline().Earlier(TDeadline()).PollMs(), -1);
  EXPECT_GT(hour.Earlier(TDeadline()).PollMs(), 0);
}

}  // namespace
}  // namespace vornetta::platform
