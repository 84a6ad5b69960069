// The SMTP reply and line layer under a scripted session: the server's bytes
// arrive in chunks of random sizes. Checks that only the transport's own failures
// leave, and that the chunking never changes a reply: the same bytes read one at
// a time give the same codes, texts and final failure.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "smtp/exceptions.h"
#include "smtp/tcp_connection.h"

using namespace vornetta::smtp;

namespace {

// Serves the session's bytes in the given chunk sizes; no socket.
class ChunkedHandler : public TIdIOHandler {
 public:
  ChunkedHandler(std::string bytes, std::vector<std::size_t> chunks) : bytes_(std::move(bytes)), chunks_(std::move(chunks)) {}
  void PrepareBinding() override {}
  void ConnectTo(const std::string&, int, const std::string&, int, int) override {}
  bool IsConnected() const override { return connected_; }
  bool WaitReadable(vornetta::platform::TDeadline) override { return true; }
  long ReceiveInto(char* buffer, std::size_t size) override {
    std::size_t n = std::min({size, bytes_.size() - offset_, next_ < chunks_.size() ? chunks_[next_++] : size});
    std::memcpy(buffer, bytes_.data() + offset_, n);
    offset_ += n;
    return static_cast<long>(n);
  }
  long SendFrom(const char*, std::size_t size) override { return static_cast<long>(size); }
  void CloseBinding() override { connected_ = false; }

 private:
  std::string bytes_;
  std::vector<std::size_t> chunks_;
  std::size_t offset_ = 0;
  std::size_t next_ = 0;
  bool connected_ = true;
};

struct Outcome {
  std::vector<int> codes;
  std::vector<std::vector<std::string>> texts;
  std::string failure;  // type of the exception that ended the session
  bool operator==(const Outcome&) const = default;
};

Outcome ReadSession(const std::string& bytes, std::vector<std::size_t> chunks, std::size_t maxReply, int maxLine) {
  ChunkedHandler handler(bytes, std::move(chunks));
  TIdTCPConnection connection;
  connection.SetIOHandler(&handler);
  connection.SetMaxReplyLength(maxReply);
  connection.SetMaxLineLength(maxLine);
  Outcome outcome;
  try {
    for (;;) {
      try {
        outcome.codes.push_back(connection.ReadReply({250, 354}));
      } catch (const EIdProtocolReplyError& refused) {
        outcome.codes.push_back(-refused.ReplyCode());
      }
      outcome.texts.push_back(connection.LastReply().Text());
    }
  } catch (const EIdException& failure) {
    outcome.failure = typeid(failure).name();
  }
  connection.SetIOHandler(nullptr);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  // Small limits so the fuzzer reaches them.
  const std::size_t maxReply = input.ConsumeIntegralInRange<std::size_t>(0, 512);
  const int maxLine = input.ConsumeIntegralInRange(0, 128);
  std::vector<std::size_t> chunks(input.ConsumeIntegralInRange<std::size_t>(0, 32));
  for (std::size_t& chunk : chunks) chunk = input.ConsumeIntegralInRange<std::size_t>(1, 64);
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  const Outcome chunked = ReadSession(bytes, chunks, maxReply, maxLine);
  const Outcome byteByByte = ReadSession(bytes, std::vector<std::size_t>(bytes.size() + 1, 1), maxReply, maxLine);
  if (!(chunked == byteByByte)) std::abort();
  return 0;
}
