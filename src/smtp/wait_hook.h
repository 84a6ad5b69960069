// Keeps the caller of a mail conversation responsive: every wait of the socket
// (connect, a reply, a send the peer does not take yet) is cut into slices and
// the hook runs between them. Without a hook every wait is whole.
#pragma once

#include <string>

#include "smtp/exceptions.h"

namespace vornetta::smtp {

// "Versand abgebrochen.": the hook ended the conversation.
class EIdWaitCancelled : public EIdException {
 public:
  EIdWaitCancelled() : EIdException("Versand abgebrochen.") {}
};

class TIdWaitHook {
 public:
  virtual ~TIdWaitHook() = default;
  // Longest single wait in milliseconds before the hook runs again (at least 1). Throws nothing.
  virtual int WaitSliceMs() const { return 15; }
  // Runs after every slice that passed without the awaited event. False ends
  // the wait with EIdWaitCancelled; a wait limit keeps counting across slices.
  // Whatever it throws leaves the wait as it is.
  virtual bool ContinueWaiting() = 0;
  // A step of the conversation begins; the text (UTF-8) says what is waited
  // for, such as "Warte auf Begrüßung …". Throws nothing.
  virtual void PhaseStarted(const std::string& /*utf8Text*/) noexcept {}
};

}  // namespace vornetta::smtp
