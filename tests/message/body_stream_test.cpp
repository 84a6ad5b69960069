// The streamed body: lines cut from a view over the body text go out exactly as
// the same text split into lines would, and the buffered writer hands them on in
// whole-line blocks of at least its block size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/buffered_line_writer.h"
#include "message/message_writer.h"
#include "message_test_support.h"
#include "platform/text.h"

namespace vornetta::message {
namespace {

using platform::Language;
using test::LanguageScope;
using test::LineCollector;

std::vector<std::string> Cut(std::string_view text) {
  std::vector<std::string> lines;
  platform::ForEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

TIdMessage Mail() {
  TIdMessage msg;
  msg.Clock.Now = [] { return TDateTime{2026, 12, 7, 5, 10, 0}; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  msg.From.SetText("bericht@example.com");
  msg.Recipients.SetListText("chef@example.com");
  msg.ContentType = "text/html";
  msg.CharSet = "ISO-8859-15";
  return msg;
}

std::string Wire(const TIdMessage& msg) {
  LineCollector out;
  WriteMessage(out, msg);
  return out.Wire();
}

// The same body once as a text view and once as the lines it splits into.
void ExpectSameWire(std::string_view text) {
  TIdMessage asText = Mail();
  asText.BodyText = text;
  TIdMessage asLines = Mail();
  asLines.Body = Cut(text);
  EXPECT_EQ(Wire(asText), Wire(asLines)) << text;
}

TEST(StreamedBody, GoesOutLikeTheLinesOfTheSameText) {
  LanguageScope latin(Language::Other);
  for (std::string_view text : {"", "<html>\r\n", "a\r\n.\r\n..b\r\n\r\n.", "x\ry\n.z\r\n\r\n", ".\n", "\xE4\xF6\xFC\r\n"})
    ExpectSameWire(text);
  TIdMessage msg = Mail();
  msg.BodyText = "<p>\r\n.hidden\r\n";
  const std::string wire = Wire(msg);
  EXPECT_EQ(wire.substr(wire.find("\r\n\r\n")), "\r\n\r\n<p>\r\n..hidden\r\n");
}

TEST(StreamedBody, IsConvertedLineByLineOnAJapaneseSystem) {
  LanguageScope japanese(Language::Japanese);
  ExpectSameWire("\x82\xA0\r\n.\x82\xA0\r\nabc");
}

TEST(StreamedBody, TakesPrecedenceOverBodyLinesOnlyWhenSet) {
  LanguageScope latin(Language::Other);
  TIdMessage msg = Mail();
  msg.Body = {"from lines"};
  EXPECT_NE(Wire(msg).find("\r\n\r\nfrom lines\r\n"), std::string::npos);
  msg.BodyText = "from text\r\n";
  EXPECT_EQ(Wire(msg).find("from lines"), std::string::npos);
  msg.BodyText = "";
  EXPECT_EQ(Wire(msg).substr(Wire(msg).size() - 4), "\r\n\r\n");  // an empty text is an empty body
}

struct Blocks {
  std::vector<std::string> written;
  TBufferedLineWriter::TWriteBlock Sink() {
    return [this](std::string_view block) { written.emplace_back(block); };
  }
  std::string Joined() const {
    std::string all;
    for (const std::string& block : written) all += block;
    return all;
  }
};

TEST(BufferedLineWriter, HandsOnWholeLinesInBlocksOfAtLeastTheBlockSize) {
  Blocks blocks;
  TBufferedLineWriter out(blocks.Sink(), 100);
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    const std::string line(static_cast<std::size_t>(i % 37), static_cast<char>('a' + i % 26));
    out.SendLine(line);
    expected += line + "\r\n";
  }
  out.Flush();
  EXPECT_EQ(blocks.Joined(), expected);
  for (std::size_t i = 0; i + 1 < blocks.written.size(); ++i) {
    EXPECT_GE(blocks.written[i].size(), 100u);
    EXPECT_LT(blocks.written[i].size(), 100u + 36 + 2);  // cut after the line that filled it
    EXPECT_EQ(blocks.written[i].substr(blocks.written[i].size() - 2), "\r\n");
  }
  const std::size_t flushed = blocks.written.size();
  out.Flush();  // nothing gathered: nothing written
  EXPECT_EQ(blocks.written.size(), flushed);
}

TEST(BufferedLineWriter, WritesNothingBeforeABlockIsFullAndKeepsLongLinesWhole) {
  Blocks blocks;
  {
    TBufferedLineWriter out(blocks.Sink(), 64);
    out.SendLine("kurz");
    EXPECT_TRUE(blocks.written.empty());
    const std::string huge(1000, 'x');
    out.SendLine(huge);
    ASSERT_EQ(blocks.written.size(), 1u);
    EXPECT_EQ(blocks.written[0], "kurz\r\n" + huge + "\r\n");
    out.SendLine("rest");
  }  // dropped without a flush: "rest" never written
  EXPECT_EQ(blocks.Joined().find("rest"), std::string::npos);
}

TEST(BufferedLineWriter, AFailingSinkReachesTheCaller) {
  TBufferedLineWriter out([](std::string_view) { throw std::runtime_error("Socket-Fehler"); }, 8);
  out.SendLine("abc");
  EXPECT_THROW(out.SendLine("defgh"), std::runtime_error);
}

}  // namespace
}  // namespace vornetta::message
