#include "smtp/byte_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "platform/event_pump.h"
#include "smtp/socket_stack.h"

namespace vornetta::smtp {

int FailedSocketCall() {
  SetLastPlatformSocketError(SocketErrorCodeOfErrno(errno));
  return -1;
}

// EINTR restarts the wait with the time that is left. With a hook the wait goes
// in slices and the hook runs after each one that passed without the event.
int PollFor(int fd, short events, platform::TDeadline deadline, TIdWaitHook* hook) {
  for (;;) {
    int wait = deadline.PollMs();
    const bool sliced = hook != nullptr && wait != 0;
    if (sliced) {
      const int slice = static_cast<int>(hook->WaitSlice().count());
      wait = wait < 0 ? slice : std::min(wait, slice);
    }
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, wait);
    if (rc < 0 && errno == EINTR) continue;
    if (rc != 0 || !sliced) return rc;
    if (!hook->PumpEvents()) throw platform::ECancelled("Versand abgebrochen.");
  }
}

bool TPlainChannel::WaitReadable(platform::TDeadline deadline) { return PollFor(fd_, POLLIN, deadline, hook_) == 1; }

long TPlainChannel::Receive(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = recv(fd_, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return FailedSocketCall();
  }
}

long TPlainChannel::Send(const char* buffer, std::size_t size, const TSendLimit& limit) {
  const bool waitFirst = limit.Bounded() || hook_ != nullptr;
  for (;;) {
    int flags = MSG_NOSIGNAL;
    if (waitFirst) {
      // Without a limit the send may block for ever on a peer that stopped reading.
      int ready = PollFor(fd_, POLLOUT, limit.NextWait(), hook_);
      if (ready == 0) errno = ETIMEDOUT;
      if (ready <= 0) return FailedSocketCall();
      flags |= MSG_DONTWAIT;
    }
    ssize_t n = send(fd_, buffer, size, flags);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR || (waitFirst && errno == EAGAIN)) continue;
    return FailedSocketCall();
  }
}

}  // namespace vornetta::smtp
