// The line connection: CR LF lines out, lines and numeric replies in, over the
// socket of an I/O handler. Received bytes wait in a queue from which complete
// lines are cut; lines that arrived before the peer closed are still read.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message/line_writer.h"
#include "platform/deadline.h"
#include "smtp/io_handler.h"
#include "smtp/socket_stack.h"

namespace vornetta::smtp {

// A growable byte buffer. Throws nothing.
class TIdSimpleBuffer {
 public:
  virtual ~TIdSimpleBuffer() = default;
  std::size_t Size() const { return bytes_.size(); }
  void SetSize(std::size_t size) { bytes_.resize(size); }
  char* Memory() { return bytes_.data(); }
  const char* Memory() const { return bytes_.data(); }
  void Append(const char* data, std::size_t count) { bytes_.append(data, count); }
  void Clear() { bytes_.clear(); }
  // Removes count bytes from the front by moving the rest down.
  void RemoveFront(std::size_t count) { bytes_.erase(0, count); }

 protected:
  std::string bytes_;
};

// A byte queue: consumed bytes at the front are skipped by an offset and moved
// out only once 32768 of them have gathered, so cutting many short lines does
// not move the rest each time. Size and Memory are those of the unconsumed part.
class TIdManagedBuffer : private TIdSimpleBuffer {
 public:
  static constexpr std::size_t kCompactAt = 32768;

  std::size_t Size() const { return bytes_.size() - readOffset_; }
  const char* Memory() const { return bytes_.data() + readOffset_; }
  std::size_t ReadOffset() const { return readOffset_; }
  std::string_view View() const { return {Memory(), Size()}; }
  using TIdSimpleBuffer::Append;
  void Clear();  // throws nothing

  // Both throw EIdNotEnoughDataInBuffer when fewer than count bytes are queued.
  void Remove(std::size_t count);
  std::string Extract(std::size_t count);

 private:
  std::size_t readOffset_ = 0;
};

// One reply: the code and one text line per reply line, each without its
// first four characters (code and separator). Throws nothing.
class TIdRFCReply {
 public:
  int16_t NumericCode() const { return numericCode_; }
  const std::string& TextCode() const { return textCode_; }
  const std::vector<std::string>& Text() const { return text_; }

  void Clear();
  void ParseLines(const std::vector<std::string>& lines);

 private:
  int16_t numericCode_ = 0;
  std::string textCode_;
  std::vector<std::string> text_;
};

enum class TIdMaxLineAction { maException, maSplit };

// What a receive or a check does when the peer has closed the connection:
// report it (0 bytes, no exception) or raise EIdConnClosedGracefully.
enum class TIdOnPeerClosed { Report, Raise };
// Whether bytes still queued from before the close spare the raise: they are
// there to be read (Keep), or the caller wants to write and they do not help (Ignore).
enum class TIdQueuedBytes { Keep, Ignore };

// Reply codes a command accepts; an empty set accepts every code.
using TIdReplyCodes = std::initializer_list<int16_t>;

// What its operations throw, named once for the lines below:
//   send failures     EIdNotConnected, EIdConnClosedGracefully, EIdClosedSocket,
//                     EIdSocketError (10060: the peer took nothing in time),
//                     EIdTlsError, platform::ECancelled;
//   receive failures  EIdNotConnected, EIdConnClosedGracefully, EIdReadTimeout,
//                     EIdReadLnMaxLineLengthExceeded, EIdSocketError, EIdTlsError,
//                     platform::ECancelled.
// Construction, the accessors and the setters throw nothing.
class TIdTCPConnection : public TIdComponent, public message::TIdLineWriter {
 public:
  TIdTCPConnection();
  ~TIdTCPConnection() override;

  TIdIOHandler* IOHandler() const { return ioHandler_; }
  // Uses a handler the caller keeps owning; must not be called while an owned one is set.
  void SetIOHandler(TIdIOHandler* handler) { ioHandler_ = handler; }
  bool OwnsIOHandler() const { return static_cast<bool>(ownedHandler_); }

  const TIdManagedBuffer& InputQueue() const { return inputQueue_; }
  int RecvBufferSize() const { return recvBufferSize_; }
  void SetRecvBufferSize(int size) { recvBufferSize_ = size; }
  int MaxLineLength() const { return maxLineLength_; }
  void SetMaxLineLength(int length) { maxLineLength_ = length; }
  TIdMaxLineAction MaxLineAction() const { return maxLineAction_; }
  void SetMaxLineAction(TIdMaxLineAction action) { maxLineAction_ = action; }

  // Limit of each single wait for data in milliseconds; 0 means none.
  int ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(int ms) { readTimeout_ = ms; }

  // Limit in milliseconds for one whole reply, from the start of ReadReply to its
  // last line, and for every write to make progress; 0 means none. Exceeding it
  // raises EIdReadTimeout (a write: EIdSocketError 10060).
  int ReplyTimeout() const { return replyTimeout_; }
  void SetReplyTimeout(int ms);

  // The end of the whole conversation: every wait for a reply, every write and
  // a connect or TLS handshake started later is cut off there, however promptly
  // each single reply came. Unbounded (the default): no overall end.
  void SetAttemptDeadline(platform::TDeadline deadline);

  // Most bytes one reply may take from the connection, line ends and blank lines
  // included; 0 means none (then at most kMaxSkippedLines blank lines in a row).
  // More raises EIdReadLnMaxLineLengthExceeded instead of filling memory or
  // spinning until the reply limit.
  static constexpr std::size_t kMaxSkippedLines = 1 << 20;
  std::size_t MaxReplyLength() const { return maxReplyLength_; }
  void SetMaxReplyLength(std::size_t bytes) { maxReplyLength_ = bytes; }
  // Bytes the last (or current) reply took from the connection.
  std::size_t ReplyBytesReceived() const { return replyBytes_; }

  // Runs between the slices of every socket wait (smtp/wait_hook.h); null, the
  // default, waits whole. The caller keeps owning it.
  TIdWaitHook* WaitHook() const { return waitHook_; }
  void SetWaitHook(TIdWaitHook* hook);

  bool PeerClosed() const { return peerClosed_; }
  const TIdRFCReply& LastReply() const { return lastReply_; }

  // Writing: every call reaches the socket before it returns. Each throws the send failures.
  void SendBytes(const char* data, std::ptrdiff_t count);
  void SendText(std::string_view text);
  void SendLine(std::string_view line) override;  // text and CR LF as one write
  void SendLines(const std::vector<std::string>& lines) override;

  // The next line ended by LF (the LF and a CR before it dropped). Returns an
  // empty text once when the peer closed in the middle of a line. Throws the receive failures.
  std::string ReceiveLine();
  // The next line that is not blank, trimmed of blanks and control characters;
  // the lines it takes count toward the reply's byte limit. Throws the receive failures.
  std::string ReceiveReplyLine();
  // One receive cycle: bytes received, 0 when the connection closed. Throws the
  // receive failures; with TIdOnPeerClosed::Report none for a closed connection.
  int FillInputQueue(TIdOnPeerClosed onClosed);

  // Reads one complete reply (every continuation line) into LastReply and checks
  // its code. Throws the receive failures and EIdProtocolReplyError.
  int ReadReply(TIdReplyCodes accepted);
  // Returns code, or throws EIdProtocolReplyError with the text of LastReply.
  int CheckReplyCode(int code, TIdReplyCodes accepted);
  // Sends the line and reads the reply: throws the send and receive failures and EIdProtocolReplyError.
  int ExecuteCommand(std::string_view line, TIdReplyCodes accepted);

  // Throws nothing; drops a socket whose peer has gone.
  bool IsConnected();
  // Closes a socket whose peer has gone. With TIdOnPeerClosed::Raise throws
  // EIdNotConnected without a handler, EIdConnClosedGracefully when closed,
  // either only when no bytes are queued or queued bytes are TIdQueuedBytes::Ignore.
  void CheckPeerClosed(TIdOnPeerClosed onClosed, TIdQueuedBytes queued);
  // Closing and forgetting throw nothing.
  void DropSocket();
  void CloseConnection();
  void ClearReceiveState();

 protected:
  // Makes the handler the connection's own (OpenConnection).
  void AdoptIOHandler(std::unique_ptr<TIdIOHandler> handler);
  TIdStack& Stack() const { return *SocketStack(); }
  // Hands the reply limit (for each wait of a send) and the attempt deadline to the handler.
  void ApplyLimits();
  void ApplyWaitHook();

 private:
  // The end of the next wait for data; throws EIdReadTimeout when the reply's or the attempt's has passed.
  platform::TDeadline WaitLimit() const;

  TIdIOHandler* ioHandler_ = nullptr;
  std::unique_ptr<TIdIOHandler> ownedHandler_;
  TIdManagedBuffer inputQueue_;
  TIdSimpleBuffer receiveChunk_;
  int recvBufferSize_ = 32768;
  int maxLineLength_ = 16384;
  TIdMaxLineAction maxLineAction_ = TIdMaxLineAction::maException;
  int readTimeout_ = 0;
  int replyTimeout_ = 0;
  std::size_t maxReplyLength_ = 1 << 20;
  std::size_t replyBytes_ = 0;
  TIdWaitHook* waitHook_ = nullptr;
  platform::TDeadline replyDeadline_;
  platform::TDeadline attemptDeadline_;
  bool peerClosed_ = false;
  TIdRFCReply lastReply_;
};

// The accessors throw nothing.
class TIdTCPClient : public TIdTCPConnection {
 public:
  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  const std::string& BoundIP() const { return boundIp_; }
  void SetBoundIP(std::string ip) { boundIp_ = std::move(ip); }
  int BoundPort() const { return boundPort_; }
  void SetBoundPort(int port) { boundPort_ = port; }

  // Connects to Host:Port; the socket is closed again when this throws.
  // Throws EIdAlreadyConnected on an open connection, else what the handler's ConnectTo throws.
  void OpenConnection(int timeout = -1);

 private:
  std::string host_;
  int port_ = 0;
  std::string boundIp_;
  int boundPort_ = 0;
};

}  // namespace vornetta::smtp
