#include "smtp/tcp_connection.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/safe_text.h"
#include "platform/text.h"
#include "smtp/exceptions.h"

namespace vornetta::smtp {
namespace {

using platform::StartsWithNoCase;
using platform::Trim;

// Three digits, then the end, a blank or "-": anything else gives no code to act on.
bool IsReplyLine(std::string_view line) {
  if (line.size() < 3) return false;
  for (char c : line.substr(0, 3))
    if (c < '0' || c > '9') return false;
  return line.size() == 3 || line[3] == ' ' || line[3] == '-';
}

// The malformed line as the message shows it: control characters (NUL too) as "?", cut short.
[[noreturn]] void RaiseMalformedReply(std::string_view line) {
  constexpr std::size_t kShown = 200;
  std::string message =
      "Ungültige Antwort des Servers: " + platform::ReplaceControlCharacters(platform::AsUtf8(line.substr(0, kShown)));
  if (line.size() > kShown) message += "...";
  throw EIdProtocolReplyError(0, message);
}

}  // namespace

void TIdManagedBuffer::Clear() {
  bytes_.clear();
  readOffset_ = 0;
}

void TIdManagedBuffer::Remove(std::size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer();
  if (count == Size()) {
    Clear();
    return;
  }
  readOffset_ += count;
  if (readOffset_ >= kCompactAt) {
    RemoveFront(readOffset_);
    readOffset_ = 0;
  }
}

std::string TIdManagedBuffer::Extract(std::size_t count) {
  if (count > Size()) throw EIdNotEnoughDataInBuffer();
  std::string text(Memory(), count);
  Remove(count);
  return text;
}

void TIdRFCReply::Clear() {
  numericCode_ = 0;
  textCode_.clear();
  text_.clear();
}

void TIdRFCReply::ParseLines(const std::vector<std::string>& lines) {
  Clear();
  if (lines.empty()) return;
  std::string_view code = Trim(std::string_view(lines.front()).substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code.remove_suffix(1);
  textCode_ = code;
  if (const auto value = platform::ParseInteger<int16_t>(code)) numericCode_ = *value;
  text_.reserve(lines.size());
  for (const std::string& line : lines) text_.push_back(line.size() > 4 ? line.substr(4) : std::string());
}

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection() { DropSocket(); }

void TIdTCPConnection::AdoptIOHandler(std::unique_ptr<TIdIOHandler> handler) {
  ownedHandler_ = std::move(handler);
  ioHandler_ = ownedHandler_.get();
}

void TIdTCPConnection::SetReplyTimeout(int ms) {
  replyTimeout_ = ms;
  ApplyLimits();
}

void TIdTCPConnection::SetAttemptDeadline(platform::TDeadline deadline) {
  attemptDeadline_ = deadline;
  ApplyLimits();
}

void TIdTCPConnection::ApplyLimits() {
  if (auto* socketHandler = dynamic_cast<TIdIOHandlerSocket*>(ioHandler_)) {
    socketHandler->SetSendTimeout(replyTimeout_);
    socketHandler->SetDeadline(attemptDeadline_);
  }
}

void TIdTCPConnection::SetWaitHook(TIdWaitHook* hook) {
  waitHook_ = hook;
  ApplyWaitHook();
}

void TIdTCPConnection::ApplyWaitHook() {
  if (ioHandler_ != nullptr) ioHandler_->SetWaitHook(waitHook_);
}

void TIdTCPConnection::SendBytes(const char* data, std::ptrdiff_t count) {
  if (count <= 0 || data == nullptr) return;
  CheckPeerClosed(TIdOnPeerClosed::Raise, TIdQueuedBytes::Ignore);
  if (!IsConnected()) throw EIdNotConnected();
  std::ptrdiff_t sent = 0;
  while (sent < count) {
    long n = ioHandler_->SendFrom(data + sent, static_cast<std::size_t>(count - sent));
    peerClosed_ = n == 0;
    CheckPeerClosed(TIdOnPeerClosed::Raise, TIdQueuedBytes::Keep);
    // A stalled peer (10060) is dropped like a broken one, so closing does not wait again.
    if (Stack().CheckSocketResult(static_cast<int>(n),
                                  {kErrShutdown, kErrConnAborted, kErrConnReset, kErrTimedOut})) {
      int code = Stack().LastSocketError();
      DropSocket();
      Stack().RaiseSocketFailure(code);
    }
    sent += n;
  }
}

void TIdTCPConnection::SendText(std::string_view text) {
  SendBytes(text.data(), static_cast<std::ptrdiff_t>(text.size()));
}

void TIdTCPConnection::SendLine(std::string_view line) {
  std::string wire;
  wire.reserve(line.size() + 2);
  wire.append(line);
  wire.append("\r\n");
  SendText(wire);
}

void TIdTCPConnection::SendLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) SendLine(line);
}

platform::TDeadline TIdTCPConnection::WaitLimit() const {
  if (replyDeadline_.Passed() || attemptDeadline_.Passed()) throw EIdReadTimeout();
  return platform::TDeadline::After(std::chrono::milliseconds(readTimeout_))
      .Earlier(replyDeadline_)
      .Earlier(attemptDeadline_);
}

int TIdTCPConnection::FillInputQueue(TIdOnPeerClosed onClosed) {
  CheckPeerClosed(onClosed, TIdQueuedBytes::Keep);
  if (!IsConnected()) {
    if (onClosed == TIdOnPeerClosed::Raise) throw EIdNotConnected();
    return 0;
  }
  for (;;) {
    if (!ioHandler_->WaitReadable(WaitLimit())) throw EIdReadTimeout();
    receiveChunk_.SetSize(static_cast<std::size_t>(std::max(recvBufferSize_, 1)));
    long n = ioHandler_->ReceiveInto(receiveChunk_.Memory(), receiveChunk_.Size());
    peerClosed_ = n == 0;
    if (Stack().CheckSocketResult(static_cast<int>(n), {kErrShutdown, kErrConnAborted, kErrConnReset})) {
      int code = Stack().LastSocketError();
      DropSocket();
      // A reset socket is dead: dropping it spares the QUIT that would only fail again.
      if (inputQueue_.Size() == 0 || code == kErrConnReset) Stack().RaiseSocketFailure(code);
      n = 0;
    }
    if (n > 0) inputQueue_.Append(receiveChunk_.Memory(), static_cast<std::size_t>(n));
    CheckPeerClosed(onClosed, TIdQueuedBytes::Keep);
    if (n != 0 || !ioHandler_ || !ioHandler_->IsConnected()) return static_cast<int>(n);
  }
}

std::string TIdTCPConnection::ReceiveLine() {
  constexpr auto npos = std::string_view::npos;
  std::size_t found = npos;  // offset of the LF in the queue
  std::size_t scanned = 0;
  const auto limit = static_cast<std::size_t>(maxLineLength_);
  for (;;) {
    if (inputQueue_.Size() > 0) {
      std::string_view queued = inputQueue_.View();
      found = queued.find('\n', scanned);
      scanned = queued.size();
    }
    if (maxLineLength_ > 0 && (found != npos ? found > limit : inputQueue_.Size() > limit)) {
      if (maxLineAction_ == TIdMaxLineAction::maException) throw EIdReadLnMaxLineLengthExceeded();
      replyBytes_ += limit;
      return inputQueue_.Extract(limit);
    }
    if (found != npos) break;
    CheckPeerClosed(TIdOnPeerClosed::Raise, TIdQueuedBytes::Ignore);
    if (FillInputQueue(TIdOnPeerClosed::Raise) == 0) return {};
  }
  std::string line = inputQueue_.Extract(found + 1);
  replyBytes_ += found + 1;
  line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TIdTCPConnection::ReceiveReplyLine() {
  for (std::size_t skipped = 0;; ++skipped) {
    std::string line = ReceiveLine();
    // Every byte counts, blank lines too: a flood of them fails like an endless reply.
    if (maxReplyLength_ != 0 ? replyBytes_ > maxReplyLength_ : skipped > kMaxSkippedLines)
      throw EIdReadLnMaxLineLengthExceeded();
    std::string_view trimmed = Trim(line);
    if (!trimmed.empty()) return std::string(trimmed);
  }
}

int TIdTCPConnection::ReadReply(TIdReplyCodes accepted) {
  struct DeadlineScope {
    platform::TDeadline& deadline;
    ~DeadlineScope() { deadline = {}; }
  } scope{replyDeadline_};
  replyDeadline_ = platform::TDeadline::After(std::chrono::milliseconds(replyTimeout_));

  replyBytes_ = 0;
  std::vector<std::string> lines;
  lines.push_back(ReceiveReplyLine());
  const std::string& first = lines.front();
  if (!IsReplyLine(first)) {
    lastReply_.ParseLines(lines);
    RaiseMalformedReply(first);
  }
  if (first.size() > 3 && first[3] == '-') {
    const std::string endMarker = first.substr(0, 3) + ' ';
    for (;;) {
      std::string line = ReceiveReplyLine();
      bool last = line.size() < 4 || StartsWithNoCase(line, endMarker);
      lines.push_back(std::move(line));
      if (last) break;
    }
  }
  lastReply_.ParseLines(lines);
  return CheckReplyCode(lastReply_.NumericCode(), accepted);
}

int TIdTCPConnection::CheckReplyCode(int code, TIdReplyCodes accepted) {
  if (accepted.size() == 0 || std::find(accepted.begin(), accepted.end(), code) != accepted.end())
    return code;
  // The server's text becomes a message: a NUL would cut it short, other control characters reach terminals.
  std::string message;
  for (const std::string& line : lastReply_.Text()) {
    message += platform::ReplaceControlCharacters(platform::AsUtf8(line));
    message += "\r\n";
  }
  // A bare code still tells what happened.
  if (message.find_first_not_of("\r\n ") == std::string::npos)
    message = "Antwort des Servers: " + lastReply_.TextCode() + "\r\n";
  throw EIdProtocolReplyError(lastReply_.NumericCode(), message);
}

int TIdTCPConnection::ExecuteCommand(std::string_view line, TIdReplyCodes accepted) {
  SendLine(line);
  return ReadReply(accepted);
}

bool TIdTCPConnection::IsConnected() {
  CheckPeerClosed(TIdOnPeerClosed::Report, TIdQueuedBytes::Keep);
  return ioHandler_ != nullptr && ioHandler_->IsConnected();
}

void TIdTCPConnection::CheckPeerClosed(TIdOnPeerClosed onClosed, TIdQueuedBytes queued) {
  const bool raise =
      onClosed == TIdOnPeerClosed::Raise && (inputQueue_.Size() == 0 || queued == TIdQueuedBytes::Ignore);
  if (ioHandler_ == nullptr) {
    if (raise) throw EIdNotConnected();
    return;
  }
  bool closed;
  if (peerClosed_) {
    if (ioHandler_->IsConnected()) DropSocket();
    closed = true;
  } else {
    closed = !ioHandler_->IsConnected();
  }
  if (closed && raise) throw EIdConnClosedGracefully();
}

void TIdTCPConnection::DropSocket() {
  if (ioHandler_ == nullptr) return;
  peerClosed_ = true;
  ioHandler_->CloseBinding();
}

void TIdTCPConnection::CloseConnection() {
  DropSocket();
  if (ownedHandler_) {
    ioHandler_ = nullptr;
    ownedHandler_.reset();
  }
}

void TIdTCPConnection::ClearReceiveState() {
  inputQueue_.Clear();
  peerClosed_ = false;
}

void TIdTCPClient::OpenConnection(int timeout) {
  if (IOHandler() != nullptr && IOHandler()->IsConnected()) throw EIdAlreadyConnected();
  if (IOHandler() == nullptr) AdoptIOHandler(std::make_unique<TIdIOHandlerSocket>());
  try {
    IOHandler()->PrepareBinding();
    ClearReceiveState();
    ApplyWaitHook();
    ApplyLimits();
    IOHandler()->ConnectTo(host_, port_, boundIp_, boundPort_, timeout);
  } catch (...) {
    DropSocket();
    throw;
  }
}

}  // namespace vornetta::smtp
