// The line connection: the byte queue, cutting lines, reading whole replies,
// the line and reply limits, timeouts and what a closed or reset peer gives.
#include <gtest/gtest.h>

#include <memory>

#include "platform/code_page.h"
#include "script_server.h"
#include "smtp/exceptions.h"
#include "smtp/tcp_connection.h"
#include "support/silent_listener.h"

namespace vornetta::smtp {
namespace {

using test::Close;
using test::Reply;
using test::Reset;
using test::ScriptServer;
using test::Send;


// A client connected to the server; every wait is bounded so a fault fails, never hangs.
std::unique_ptr<TIdTCPClient> ConnectTo(const ScriptServer& server, int readTimeout = 3000) {
  auto client = std::make_unique<TIdTCPClient>();
  client->SetHost("127.0.0.1");
  client->SetPort(server.Port());
  client->SetReadTimeout(readTimeout);
  client->OpenConnection();
  return client;
}

// Records the writes and serves prepared receive chunks; no socket.
class FakeHandler : public TIdIOHandler {
 public:
  std::vector<std::string> writes;
  void PrepareBinding() override {}
  void ConnectTo(const std::string&, int, const std::string&, int, int) override {}
  bool IsConnected() const override { return true; }
  bool WaitReadable(vornetta::platform::TDeadline) override { return true; }
  long ReceiveInto(char*, std::size_t) override { return 0; }
  long SendFrom(const char* buffer, std::size_t size) override {
    writes.emplace_back(buffer, size);
    return static_cast<long>(size);
  }
  void CloseBinding() override {}
};

TEST(ManagedBuffer, ConsumesByOffsetAndCompactsAfter32768Bytes) {
  TIdManagedBuffer queue;
  std::string block(40000, 'x');
  block[32768] = 'y';
  queue.Append(block.data(), block.size());
  EXPECT_EQ(queue.Extract(3), "xxx");
  EXPECT_EQ(queue.ReadOffset(), 3u);
  EXPECT_EQ(queue.Size(), 39997u);
  queue.Remove(32765);
  EXPECT_EQ(queue.ReadOffset(), 0u);  // compacted: 32768 consumed bytes moved out
  EXPECT_EQ(queue.Size(), 40000u - 32768u);
  EXPECT_EQ(queue.Memory()[0], 'y');
  queue.Append("z", 1);
  EXPECT_EQ(queue.View().back(), 'z');
  try {
    queue.Remove(queue.Size() + 1);
    FAIL() << "no exception";
  } catch (const EIdNotEnoughDataInBuffer& e) {
    EXPECT_EQ(std::string(e.what()), "Nicht genügend Daten im Puffer.");
  }
  queue.Remove(queue.Size());
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(queue.ReadOffset(), 0u);
}

TEST(ReplyRecord, ParsesCodeSeparatorAndText) {
  TIdRFCReply reply;
  reply.ParseLines({"250-one", "250-two", "250 three"});
  EXPECT_EQ(reply.NumericCode(), 250);
  EXPECT_EQ(reply.TextCode(), "250");
  EXPECT_EQ(reply.Text(), (std::vector<std::string>{"one", "two", "three"}));

  reply.ParseLines({"250OK"});
  EXPECT_EQ(reply.TextCode(), "250O");
  EXPECT_EQ(reply.NumericCode(), 0);
  EXPECT_EQ(reply.Text(), (std::vector<std::string>{"K"}));

  reply.ParseLines({"354", "x"});
  EXPECT_EQ(reply.NumericCode(), 354);
  EXPECT_EQ(reply.Text(), (std::vector<std::string>{"", ""}));

  reply.ParseLines({"hello world"});
  EXPECT_EQ(reply.NumericCode(), 0);
  EXPECT_EQ(reply.Text(), (std::vector<std::string>{"o world"}));

  reply.ParseLines({});
  EXPECT_EQ(reply.NumericCode(), 0);
  EXPECT_TRUE(reply.TextCode().empty());
  EXPECT_TRUE(reply.Text().empty());
}

TEST(LineConnection, CutsLinesAtLfWithOrWithoutCr) {
  ScriptServer server({Send("a\nb\r\nc\rd\r\n\r\n")});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReceiveLine(), "a");
  EXPECT_EQ(client->ReceiveLine(), "b");
  EXPECT_EQ(client->ReceiveLine(), "c\rd");
  EXPECT_EQ(client->ReceiveLine(), "");
}

TEST(LineConnection, ReadsWholeRepliesSkippingBlankLines) {
  ScriptServer server({Send("\r\n   \r\n\t\n  220 ready  \r\n"
                            "250-one\n250-two\r\n250 three\r\n"
                            "250-a\r\n251-b\r\n250-c\r\n250 \r\n"
                            "abc-x\r\nABC y\r\n")});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReadReply({220}), 220);
  EXPECT_EQ(client->LastReply().Text(), (std::vector<std::string>{"ready"}));
  EXPECT_EQ(client->ReadReply({250}), 250);
  EXPECT_EQ(client->LastReply().Text(), (std::vector<std::string>{"one", "two", "three"}));
  // A continuation line with another code does not end the reply; a bare code does.
  EXPECT_EQ(client->ReadReply({}), 250);
  EXPECT_EQ(client->LastReply().Text(), (std::vector<std::string>{"a", "b", "c", ""}));
  // A line without a code is no reply, whatever the command accepts.
  try {
    client->ReadReply({});
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode(), 0);
    EXPECT_EQ(std::string(e.what()), "Ungültige Antwort des Servers: abc-x");
  }
}

TEST(LineConnection, RefusedCodeRaisesReplyTextAndEmptySetAcceptsAll) {
  ScriptServer server({Reply("550 first"), Reply("550-5.7.1 Relaying\r\n550 denied"), Reply("250OK")});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ExecuteCommand("NOOP", {}), 550);
  try {
    client->ExecuteCommand("RCPT TO:<a@b>", {250, 251});
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode(), 550);
    EXPECT_EQ(std::string(e.what()), "5.7.1 Relaying\r\ndenied\r\n");
  }
  EXPECT_THROW(client->ExecuteCommand("X", {250}), EIdProtocolReplyError);
  EXPECT_EQ(client->LastReply().NumericCode(), 0);
  client->CloseConnection();
  EXPECT_EQ(server.Transcript(), "NOOP\r\nRCPT TO:<a@b>\r\nX\r\n");
}

TEST(LineConnection, EnforcesMaxLineLengthCountingTheCr) {
  std::string accepted(16383, 'a');
  std::string refused(16384, 'b');
  ScriptServer server({Send(accepted + "\r\n" + refused + "\r\n")});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReceiveLine(), accepted);
  try {
    client->ReceiveLine();
    FAIL() << "no exception";
  } catch (const EIdReadLnMaxLineLengthExceeded& e) {
    EXPECT_EQ(std::string(e.what()), "Max. Zeilenlänge überschritten.");
  }
  // The refused line is still queued; splitting hands it out in pieces of the limit.
  client->SetMaxLineAction(TIdMaxLineAction::maSplit);
  EXPECT_EQ(client->ReceiveLine(), refused);
  EXPECT_EQ(client->ReceiveLine(), "");
  ScriptServer shortLines({Send("abcdefghij\r\nklmn\r\nop\n")});
  auto splitting = ConnectTo(shortLines);
  splitting->SetMaxLineLength(4);
  splitting->SetMaxLineAction(TIdMaxLineAction::maSplit);
  for (const char* piece : {"abcd", "efgh", "ij", "klmn", "", "op"}) EXPECT_EQ(splitting->ReceiveLine(), piece);
}

TEST(LineConnection, OverlongLineFailsWithoutWaitingForItsEnd) {
  // The server keeps the connection open: waiting for the LF would end in the read timeout.
  ScriptServer server({Send(std::string(16385, 'x'))});
  auto client = ConnectTo(server, 5000);
  EXPECT_THROW(client->ReceiveLine(), EIdReadLnMaxLineLengthExceeded);
  client->CloseConnection();
}

TEST(LineConnection, HugeLineNeverFillsMemory) {
  ScriptServer server({Send("220-" + std::string(20 << 20, 'x'))});
  auto client = ConnectTo(server);
  EXPECT_THROW(client->ReadReply({220}), EIdReadLnMaxLineLengthExceeded);
  EXPECT_LE(client->InputQueue().Size(), 16384u + 32768u);
  client->CloseConnection();
}

TEST(LineConnection, LongRepliesAreReadAndEndlessOnesCut) {
  std::string thousands;
  for (int i = 0; i < 5000; ++i) thousands += "250-line " + std::to_string(i) + "\r\n";
  ScriptServer server({Send(thousands + "250 end\r\n" + thousands)});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReadReply({250}), 250);
  EXPECT_EQ(client->LastReply().Text().size(), 5001u);
  EXPECT_EQ(client->LastReply().Text()[4999], "line 4999");
  client->SetMaxReplyLength(1000);
  EXPECT_THROW(client->ReadReply({250}), EIdReadLnMaxLineLengthExceeded);
}

TEST(LineConnection, BlankLineFloodFailsOnceTheReplyCapIsReached) {
  // More blank lines than the cap allows, and the connection stays open behind them.
  std::string flood;
  for (int i = 0; i < (3 << 20) / 4; ++i) flood += "\r\n \n";
  ScriptServer server({Send(flood)});
  auto client = ConnectTo(server);
  try {
    client->ReadReply({220});
    FAIL() << "no exception";
  } catch (const EIdReadLnMaxLineLengthExceeded& e) {
    EXPECT_EQ(std::string(e.what()), "Max. Zeilenlänge überschritten.");
  }
  // The line that crossed the cap ended the reply: 1 MiB of line pairs, then one "\r\n".
  EXPECT_EQ(client->ReplyBytesReceived(), (1u << 20) + 2);
  client->CloseConnection();

  // Without a cap the count of blank lines in a row is bounded instead.
  std::string lines(TIdTCPConnection::kMaxSkippedLines + 10, '\n');
  ScriptServer uncapped({Send(lines)});
  auto unlimited = ConnectTo(uncapped);
  unlimited->SetMaxReplyLength(0);
  EXPECT_THROW(unlimited->ReadReply({220}), EIdReadLnMaxLineLengthExceeded);
  EXPECT_EQ(unlimited->ReplyBytesReceived(), TIdTCPConnection::kMaxSkippedLines + 2);
  unlimited->CloseConnection();

  // Line ends count too: a reply of many short lines reaches the cap sooner than its text.
  ScriptServer counted({Send("250-a\r\n250-b\r\n250 c\r\n250-a\r\n250-b\r\n250 c\r\n")});
  auto tight = ConnectTo(counted);
  tight->SetMaxReplyLength(21);
  EXPECT_EQ(tight->ReadReply({250}), 250);
  EXPECT_EQ(tight->ReplyBytesReceived(), 21u);
  tight->SetMaxReplyLength(20);
  EXPECT_THROW(tight->ReadReply({250}), EIdReadLnMaxLineLengthExceeded);
  tight->CloseConnection();
}

TEST(LineConnection, ReplyBeforeCloseIsReadThenCloseIsReported) {
  ScriptServer server({Send("221-bye\r\n221 now\r\n"), Close()});
  auto client = ConnectTo(server);
  EXPECT_EQ(client->ReadReply({221}), 221);
  EXPECT_EQ(client->LastReply().Text(), (std::vector<std::string>{"bye", "now"}));
  try {
    client->ReadReply({});
    FAIL() << "no exception";
  } catch (const EIdConnClosedGracefully& e) {
    EXPECT_EQ(std::string(e.what()), "Der Server hat die Verbindung beendet, bevor er geantwortet hat.");
  }
  EXPECT_FALSE(client->IsConnected());
  // Writing to a closed socket reports the close too.
  EXPECT_THROW(client->SendLine("QUIT"), EIdConnClosedGracefully);
}

TEST(LineConnection, CloseInTheMiddleOfALineDropsThePartialLine) {
  ScriptServer server({Send("250-complete\r\n250 part"), Close()});
  auto client = ConnectTo(server);
  EXPECT_THROW(client->ReadReply({250}), EIdConnClosedGracefully);
  EXPECT_FALSE(client->IsConnected());
}

TEST(LineConnection, ResetByPeerGives10054) {
  ScriptServer server({Reply("250 ok"), test::Await(), Reset()});
  auto client = ConnectTo(server);
  client->ExecuteCommand("NOOP", {250});
  try {
    client->ExecuteCommand("NOOP", {250});
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10054);
    EXPECT_EQ(std::string(e.what()), "Socket-Fehler # 10054\r\nDie Verbindung wurde von Peer zurückgesetzt.");
  }
}

TEST(LineConnection, SilentServerEndsInReadTimeout) {
  ScriptServer server({Send("250-first line only\r\n")});
  auto client = ConnectTo(server, 150);
  try {
    client->ReadReply({250});
    FAIL() << "no exception";
  } catch (const EIdReadTimeout& e) {
    EXPECT_EQ(std::string(e.what()), "Zeitüberschreitung beim Lesen");
  }
  // The reply limit bounds the whole reply, not each wait.
  client->SetReadTimeout(0);
  client->SetReplyTimeout(150);
  EXPECT_THROW(client->ReadReply({250}), EIdReadTimeout);
  client->CloseConnection();
}

TEST(LineConnection, PeerThatStopsReadingEndsTheWriteWithinTheReplyLimit) {
  test::TSilentListener listener;
  TIdTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(listener.Port());
  client.SetReplyTimeout(200);
  client.OpenConnection(2000);
  try {
    client.SendText(std::string(64 << 20, 'x'));
    ADD_FAILURE() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.SocketErrorCode(), 10060);
  }
  EXPECT_FALSE(client.IsConnected());  // dropped, so closing does not wait again
}

TEST(LineConnection, WithoutHandlerReadingAndWritingAreNotConnected) {
  TIdTCPClient client;
  try {
    client.SendLine("HELO x");
    FAIL() << "no exception";
  } catch (const EIdNotConnected& e) {
    EXPECT_EQ(std::string(e.what()), "Nicht verbunden");
  }
  EXPECT_THROW(client.ReceiveLine(), EIdNotConnected);
  EXPECT_FALSE(client.IsConnected());
  client.CloseConnection();  // harmless without a connection

  ScriptServer server({Send("220 hi\r\n")});
  auto connected = ConnectTo(server);
  connected->CloseConnection();
  EXPECT_EQ(connected->IOHandler(), nullptr);
  EXPECT_THROW(connected->SendLine("QUIT"), EIdNotConnected);
}

TEST(LineConnection, EachLineGoesOutAsOneWrite) {
  FakeHandler handler;
  TIdTCPConnection connection;
  connection.SetIOHandler(&handler);
  connection.SendLine("MAIL FROM:<a@b>");
  connection.SendLines({"x", "", "y"});
  connection.SendText("");
  connection.SendBytes("z", 0);
  EXPECT_EQ(handler.writes, (std::vector<std::string>{"MAIL FROM:<a@b>\r\n", "x\r\n", "\r\n", "y\r\n"}));
}

}  // namespace
}  // namespace vornetta::smtp
