// Keeps the caller of a mail conversation responsive: every wait of the socket
// (connect, a reply, a send the peer does not take yet) is cut into the pump's
// slices and the pump runs between them. Without a hook the waits are whole.
#pragma once

#include <chrono>
#include <string>

#include "platform/event_pump.h"

namespace vornetta::smtp {

// A pump that returns false ends the wait with platform::ECancelled "Versand
// abgebrochen."; a wait limit keeps counting across slices. Whatever the pump
// throws leaves the wait as it is.
class TIdWaitHook : public virtual platform::TEventPump {
 public:
  // A step of the conversation begins; the text (UTF-8) says what is waited
  // for, such as "Warte auf Begrüßung …". Throws nothing.
  virtual void PhaseStarted(const std::string& /*text*/) noexcept {}
  // How long to wait for the server's greeting; zero waits as long as for any
  // reply. Someone watching the window need not wait ten minutes for a server
  // that will never speak. Throws nothing.
  virtual std::chrono::milliseconds GreetingLimit() const noexcept { return {}; }
  // Whether the data phase reports its share written ("Sende Bericht (45 %) …"):
  // that costs a second pass over the message, for someone watching only. Throws nothing.
  virtual bool ShowsProgress() const noexcept { return false; }
};

}  // namespace vornetta::smtp
