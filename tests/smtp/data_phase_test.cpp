// The data phase of a large report: its bytes reach the server exactly, in
// requests of at least 16 KiB each, and every command before and after it goes
// out whole before its reply is awaited.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "message/message.h"
#include "message/message_writer.h"
#include "script_server.h"
#include "smtp/smtp.h"

namespace vornetta::smtp {
namespace {

// Records each request the connection makes of the socket (a request the kernel
// takes in parts is still one request), so the test does not depend on how fast
// the server reads.
class RecordingHandler : public TIdIOHandlerSocket {
 public:
  long SendFrom(const char* buffer, std::size_t size) override {
    requests.emplace_back(buffer, size);
    std::size_t sent = 0;
    while (sent < size) {
      const long n = TIdIOHandlerSocket::SendFrom(buffer + sent, size - sent);
      if (n <= 0) return sent > 0 ? static_cast<long>(sent) : n;
      sent += static_cast<std::size_t>(n);
    }
    return static_cast<long>(sent);
  }
  std::vector<std::string> requests;
};

class Collector : public message::TIdLineWriter {
 public:
  std::string text;
  void SendLine(std::string_view line) override { text.append(line).append("\r\n"); }
};

TEST(DataPhase, LargeBodyGoesOutExactlyInLargeRequests) {
  std::string report;
  for (int row = 0; row < 30000; ++row) {
    report += row % 1000 == 7 ? ".punkt" : "<tr id=\"row" + std::to_string(row) + "\"><td>Wert</td></tr>";
    report += row % 3 == 0 ? "\n" : "\r\n";
  }
  message::TIdMessage msg;
  msg.Clock.Now = [] { return message::TDateTime{2026, 12, 7, 5, 10, 0}; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  msg.From.SetText("from@example.com");
  msg.Recipients.SetListText("a@example.com");
  msg.ContentType = "text/html";
  msg.BodyText = report;

  test::ScriptServer server = test::AcceptingServer(1);
  RecordingHandler handler;
  TIdSMTP smtp;
  smtp.SetIOHandler(&handler);
  smtp.SetHost("127.0.0.1");
  smtp.SetPort(server.Port());
  smtp.SetHeloName("client.test");
  smtp.SetReplyTimeout(30000);
  smtp.OpenSession(-1);
  smtp.SubmitMessage(msg);
  smtp.CloseSession();

  Collector data;
  message::WriteMessage(data, msg);
  EXPECT_EQ(server.Transcript(),
            "EHLO client.test\r\nRSET\r\nMAIL FROM:<from@example.com>\r\nRCPT TO:<a@example.com>\r\nDATA\r\n" +
                data.text + ".\r\nQUIT\r\n");

  std::size_t first = 0;
  while (first < handler.requests.size() && handler.requests[first] != "DATA\r\n") ++first;
  ++first;
  std::size_t last = first;
  while (last < handler.requests.size() && handler.requests[last] != ".\r\n") ++last;
  ASSERT_LT(last, handler.requests.size());
  ASSERT_GT(last - first, 1u);
  std::size_t bytes = 0;
  for (std::size_t i = first; i < last; ++i) {
    bytes += handler.requests[i].size();
    if (i + 1 < last) {
      EXPECT_GE(handler.requests[i].size(), 16u * 1024) << "request " << i;
    }
  }
  EXPECT_EQ(bytes, data.text.size());
  EXPECT_LE(last - first, data.text.size() / (16 * 1024) + 1);
}

}  // namespace
}  // namespace vornetta::smtp
