#include "ui/window_life.h"

namespace vornetta::ui {

bool TWindowLife::FirstShow() {
  if (phase_ != TPhase::Hidden) return false;
  phase_ = TPhase::Opening;
  return true;
}

void TWindowLife::ConfigurationOpened() {
  if (phase_ == TPhase::Opening) phase_ = TPhase::Starting;
}

void TWindowLife::StartSettled() {
  if (phase_ == TPhase::Starting) phase_ = TPhase::Ready;
}

bool TWindowLife::BeginCommand() {
  if (CommandRunning()) return false;
  resume_ = phase_;
  phase_ = TPhase::Busy;
  return true;
}

bool TWindowLife::EndCommand() {
  if (!CommandRunning()) return false;
  const bool closeWaits = phase_ == TPhase::ClosePending;
  phase_ = resume_;
  return closeWaits;
}

TWindowLife::TCloseAnswer TWindowLife::Close() {
  switch (phase_) {
    case TPhase::Busy:
      phase_ = TPhase::ClosePending;
      return TCloseAnswer::Refuse;
    case TPhase::ClosePending:
      return TCloseAnswer::Refuse;
    case TPhase::Opening:
    case TPhase::Starting:
      // A close while the start lets events through comes before the event
      // loop, which must not run then.
      phase_ = TPhase::Terminating;
      return TCloseAnswer::Accept;
    case TPhase::Ready:
      phase_ = TPhase::Closed;
      return TCloseAnswer::Accept;
    case TPhase::Hidden:
    case TPhase::Terminating:
    case TPhase::Closed:
      return TCloseAnswer::Accept;
  }
  return TCloseAnswer::Accept;
}

void TWindowLife::Terminate() {
  if (CommandRunning())
    resume_ = TPhase::Terminating;
  else
    phase_ = TPhase::Terminating;
}

}  // namespace vornetta::ui
