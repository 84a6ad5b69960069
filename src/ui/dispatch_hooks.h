// The window's way into the dispatch layer: the send command behind "versenden"
// and the unattended run started by the first timer tick. The program hands an
// implementation to the window; without one, "versenden" does nothing and an
// unattended start ends with a message and status 1.
#pragma once

namespace vornetta::ui {

class TFormMain;

class TDispatchHooks {
 public:
  virtual ~TDispatchHooks() = default;

  // The send command on the window's report text and row counter; afterwards the
  // report views are reset (TFormMain::ResetReportViews). Throws on failure; the
  // window shows the message.
  virtual void Send(TFormMain& window) = 0;

  // The unattended run: build, send, error mail on failure. Returns the process
  // exit status (0 sent or nothing to send, 1 error mail sent, 2 error mail
  // failed); the window then asks the application to terminate with it.
  virtual int RunUnattended(TFormMain& window) = 0;
};

}  // namespace vornetta::ui
