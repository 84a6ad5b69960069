// The bytes of one connected socket as the I/O handler reads and writes them:
// plain (TPlainChannel) or encrypted (TTlsChannel) behind one interface, so that
// switching to TLS replaces the channel and nothing above it changes.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/deadline.h"
#include "smtp/wait_hook.h"

namespace vornetta::smtp {

// The one place where the transport waits on a socket: poll for the events
// until the deadline. >0 ready, 0 deadline passed, -1 failed. With a hook the
// wait goes in its slices; throws platform::ECancelled when it ends them.
int PollFor(int fd, short events, platform::TDeadline deadline, TIdWaitHook* hook = nullptr);

// Records errno of the socket call that just failed as the platform's last
// error. Returns -1, the failed call's result; throws nothing.
int FailedSocketCall();

// How long a send may wait for the peer to take more bytes: each wait at most
// `each` (0: no limit of its own) and none beyond `end`.
struct TSendLimit {
  std::chrono::milliseconds each{0};
  platform::TDeadline end;

  bool Bounded() const { return each.count() > 0 || !end.Unbounded(); }
  platform::TDeadline NextWait() const { return platform::TDeadline::After(each).Earlier(end); }
};

// Every wait of a channel runs the hook given to it between its slices (null: whole waits).
class TByteChannel {
 public:
  virtual ~TByteChannel() = default;
  // True when Receive will not wait: bytes are there, or the peer closed, or
  // the connection failed. False when the deadline passed first. Throws
  // platform::ECancelled; the TLS channel also EIdClosedSocket after a failure, EIdTlsError.
  virtual bool WaitReadable(platform::TDeadline deadline) = 0;
  // Bytes received, 0 when the peer closed, -1 for a failed socket (the
  // platform error recorded). The TLS channel throws EIdTlsError when TLS fails.
  virtual long Receive(char* buffer, std::size_t size) = 0;
  // Bytes sent, or -1 for a failed socket or a peer that took nothing within
  // the limit (10060). Throws platform::ECancelled; the TLS channel writes all bytes
  // and throws EIdClosedSocket after a failure, EIdTlsError.
  virtual long Send(const char* buffer, std::size_t size, const TSendLimit& limit) = 0;
  // Ends the channel's part of the conversation (TLS's closing alert) without
  // waiting for the peer; the socket stays open. Throws nothing.
  virtual void Close() noexcept {}
};

// The socket's bytes as they are; sends never raise SIGPIPE.
class TPlainChannel : public TByteChannel {
 public:
  TPlainChannel(int fd, TIdWaitHook* hook) : fd_(fd), hook_(hook) {}
  bool WaitReadable(platform::TDeadline deadline) override;
  long Receive(char* buffer, std::size_t size) override;
  long Send(const char* buffer, std::size_t size, const TSendLimit& limit) override;

 private:
  int fd_;
  TIdWaitHook* hook_;
};

}  // namespace vornetta::smtp
