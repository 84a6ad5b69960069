// Keeps the caller of a mail conversation responsive: every wait of the socket
// (connect, a reply, a send the peer does not take yet) is cut into the pump's
// slices and the pump runs between them. Without a hook the waits are whole.
#pragma once

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
};

}  // namespace vornetta::smtp
