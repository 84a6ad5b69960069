// The window's life cycle: which close ends the program, which waits for a
// command, and that a command returns to the phase it began in.
#include <gtest/gtest.h>

#include "ui/window_life.h"

using vornetta::ui::TWindowLife;
using TPhase = TWindowLife::TPhase;
using TCloseAnswer = TWindowLife::TCloseAnswer;

namespace {

TWindowLife StartedUpTo(TPhase phase) {
  TWindowLife life;
  if (phase == TPhase::Hidden) return life;
  EXPECT_TRUE(life.FirstShow());
  if (phase == TPhase::Opening) return life;
  life.ConfigurationOpened();
  if (phase == TPhase::Starting) return life;
  life.StartSettled();
  return life;
}

}  // namespace

TEST(WindowLife, TheStartRunsOnceAndACloseBeforeTheFirstShowDoesNotPreventIt) {
  TWindowLife life;
  EXPECT_FALSE(life.Started());
  EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
  EXPECT_EQ(life.Phase(), TPhase::Hidden);
  EXPECT_TRUE(life.FirstShow());
  EXPECT_FALSE(life.FirstShow());
  EXPECT_FALSE(life.Started());  // the unattended run waits for the configuration
  life.ConfigurationOpened();
  EXPECT_TRUE(life.Started());
  life.StartSettled();
  EXPECT_EQ(life.Phase(), TPhase::Ready);
  EXPECT_FALSE(life.TerminateRequested());
}

TEST(WindowLife, AClosedWindowShownAgainDoesNotStartAgain) {
  TWindowLife life = StartedUpTo(TPhase::Ready);
  EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
  EXPECT_EQ(life.Phase(), TPhase::Closed);
  EXPECT_FALSE(life.FirstShow());
  EXPECT_FALSE(life.TerminateRequested());
}

TEST(WindowLife, ACloseDuringTheStartEndsTheProgram) {
  for (TPhase phase : {TPhase::Opening, TPhase::Starting}) {
    TWindowLife life = StartedUpTo(phase);
    EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
    EXPECT_TRUE(life.TerminateRequested());
    // The rest of the start leaves it so.
    life.ConfigurationOpened();
    life.StartSettled();
    EXPECT_EQ(life.Phase(), TPhase::Terminating);
  }
}

TEST(WindowLife, ACloseDuringACommandWaitsForItsEnd) {
  TWindowLife life = StartedUpTo(TPhase::Ready);
  ASSERT_TRUE(life.BeginCommand());
  EXPECT_FALSE(life.BeginCommand());  // commands never nest
  EXPECT_EQ(life.Close(), TCloseAnswer::Refuse);
  EXPECT_EQ(life.Close(), TCloseAnswer::Refuse);
  EXPECT_TRUE(life.CommandRunning());
  EXPECT_TRUE(life.EndCommand());
  EXPECT_EQ(life.Phase(), TPhase::Ready);
  EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
  EXPECT_EQ(life.Phase(), TPhase::Closed);

  TWindowLife quiet = StartedUpTo(TPhase::Ready);
  ASSERT_TRUE(quiet.BeginCommand());
  EXPECT_FALSE(quiet.EndCommand());
  EXPECT_FALSE(quiet.EndCommand());  // no command ran
  EXPECT_EQ(quiet.Phase(), TPhase::Ready);
}

TEST(WindowLife, ACommandBegunDuringTheStartReturnsToItSoThatAWaitingCloseEndsTheProgram) {
  TWindowLife life = StartedUpTo(TPhase::Starting);
  ASSERT_TRUE(life.BeginCommand());
  EXPECT_EQ(life.Close(), TCloseAnswer::Refuse);
  EXPECT_TRUE(life.EndCommand());
  EXPECT_EQ(life.Phase(), TPhase::Starting);
  EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
  EXPECT_TRUE(life.TerminateRequested());
}

TEST(WindowLife, ATerminateRequestHoldsThroughARunningCommandAndAClose) {
  TWindowLife life = StartedUpTo(TPhase::Ready);
  ASSERT_TRUE(life.BeginCommand());
  life.Terminate();
  EXPECT_TRUE(life.TerminateRequested());
  EXPECT_TRUE(life.CommandRunning());
  EXPECT_FALSE(life.EndCommand());
  EXPECT_EQ(life.Phase(), TPhase::Terminating);
  EXPECT_EQ(life.Close(), TCloseAnswer::Accept);
  EXPECT_TRUE(life.TerminateRequested());
}
