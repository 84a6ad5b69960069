// The main window's life cycle as one phase. Every change of phase happens in
// one of the functions below; this table lists them all:
//
//   event                 from                          to
//   ---------------------------------------------------------------------------
//   FirstShow             Hidden                        Opening
//   ConfigurationOpened   Opening                       Starting
//   StartSettled          Starting                      Ready
//   BeginCommand          any but Busy, ClosePending    Busy (the phase is kept)
//   Close                 Busy                          ClosePending (refused)
//                         Opening, Starting             Terminating
//                         Ready                         Closed
//                         Hidden, Terminating, Closed   unchanged
//                         ClosePending                  unchanged (refused)
//   EndCommand            Busy, ClosePending            the kept phase
//   Terminate             any                           Terminating (a running
//                                                       command returns to it)
//
// Any event not listed for a phase leaves the phase as it is.
#pragma once

namespace vornetta::ui {

class TWindowLife {
 public:
  enum class TPhase {
    Hidden,        // built, not shown yet
    Opening,       // first shown: the configuration is opened, the geometry restored
    Starting,      // the first show lets events through before it turns to "Versand"
    Ready,         // shown, no command running
    Busy,          // a command runs and lets window events through
    ClosePending,  // a command runs; a close waits for its end
    Terminating,   // the program was asked to end; the event loop must not run (again)
    Closed,        // closed by the user; the configuration is released
  };

  TPhase Phase() const { return phase_; }

  // True once: the window's start is to run.
  bool FirstShow();
  void ConfigurationOpened();
  void StartSettled();

  // False (and nothing changes) while a command runs: commands never nest.
  bool BeginCommand();
  // True when a close came while the command ran: the window closes again now.
  bool EndCommand();

  enum class TCloseAnswer { Refuse, Accept };
  TCloseAnswer Close();

  void Terminate();

  bool CommandRunning() const { return phase_ == TPhase::Busy || phase_ == TPhase::ClosePending; }
  // The configuration was opened at the start (the unattended run may begin).
  bool Started() const { return phase_ != TPhase::Hidden && phase_ != TPhase::Opening; }
  bool TerminateRequested() const {
    return phase_ == TPhase::Terminating || (CommandRunning() && resume_ == TPhase::Terminating);
  }

 private:
  TPhase phase_ = TPhase::Hidden;
  TPhase resume_ = TPhase::Ready;  // where a running command returns to
};

}  // namespace vornetta::ui
