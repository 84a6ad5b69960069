// Further attempts after temporary mail failures: which failures count as
// temporary, the waits, the setting's text, and the loop against a scripted
// server with the waits recorded instead of slept.
#include "dispatch/send_retry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dispatch/email.h"
#include "message/address.h"
#include "smtp/exceptions.h"
#include "smtp/script_server.h"

namespace vornetta::dispatch {
namespace {

using namespace std::chrono_literals;

template <typename E>
bool Temporary(const E& failure, bool dataEndSent) {
  return IsTemporaryFailure(std::make_exception_ptr(failure), dataEndSent);
}

TEST(SendRetry, OnlyPassingFailuresThatCannotDuplicateTheMailAreTemporary) {
  EXPECT_TRUE(Temporary(smtp::EIdProtocolReplyError(421, "busy"), false));
  EXPECT_TRUE(Temporary(smtp::EIdProtocolReplyError(452, "full"), false));
  // A 4xx answer to the final "." says clearly that the mail was not taken.
  EXPECT_TRUE(Temporary(smtp::EIdProtocolReplyError(451, "later"), true));
  EXPECT_FALSE(Temporary(smtp::EIdProtocolReplyError(550, "no"), false));
  EXPECT_FALSE(Temporary(smtp::EIdProtocolReplyError(554, "no"), true));
  EXPECT_TRUE(Temporary(smtp::EIdSocketError(10061, "refused"), false));
  EXPECT_TRUE(Temporary(smtp::EIdSocketError(10060, "timed out"), false));
  EXPECT_FALSE(Temporary(smtp::EIdSocketError(10054, "reset"), true));
  EXPECT_FALSE(Temporary(smtp::EIdSocketError(11001, "no such host"), false));
  EXPECT_TRUE(Temporary(smtp::EIdReadTimeout(), false));
  EXPECT_FALSE(Temporary(smtp::EIdReadTimeout(), true));
  EXPECT_TRUE(Temporary(smtp::EIdConnClosedGracefully(), false));
  EXPECT_FALSE(Temporary(smtp::EIdConnClosedGracefully(), true));
  EXPECT_FALSE(Temporary(message::EIdEmailParseError("bad address"), false));
  EXPECT_FALSE(Temporary(std::runtime_error("other"), false));
}

TEST(SendRetry, WaitsGrowToFiveMinutesAndTheSettingIsACountUpToHundred) {
  EXPECT_EQ(RetryWait(1), 30s);
  EXPECT_EQ(RetryWait(2), 2min);
  EXPECT_EQ(RetryWait(3), 5min);
  EXPECT_EQ(RetryWait(9), 5min);
  EXPECT_EQ(ParseRetries("0"), 0);
  EXPECT_EQ(ParseRetries("100"), 100);
  for (const char* wrong : {"", "-1", "101", "zwei", "2 ", "0x2"}) {
    try {
      ParseRetries(wrong);
      ADD_FAILURE() << wrong;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("wiederholen"), std::string::npos) << e.what();
    }
  }
}

EMail JobFor(int port) {
  EMail job;
  job.Host = "127.0.0.1:" + std::to_string(port);
  job.From = "bericht@example.com";
  job.To = "chef@example.com";
  job.Subject = "a   b";  // cleaned anew from the setting on every attempt
  job.Body = "<html></html>";
  job.IsHtml = true;
  return job;
}

TEST(SendRetry, TriesAgainAfterEachWaitAndStopsAtTheFirstSuccess) {
  test::ScriptServer server({test::Send("421 eins\r\n"), test::Await(), test::Accept(),
                             test::Send("220 fake\r\n"), test::Reply("250 fake"), test::Reply("250 reset"),
                             test::Reply("451 zwei"), test::Await(), test::Accept(), test::Send("220 fake\r\n"),
                             test::Reply("250 fake"), test::Reply("250 reset"), test::Reply("250 sender"),
                             test::Reply("250 to"), test::Reply("354 data"), test::Reply("250 queued"),
                             test::Await(), test::Close()});
  EMail job = JobFor(server.Port());
  std::vector<std::chrono::seconds> waits;
  std::vector<std::string> notes;
  const int attempts = SendWithRetries(
      job, 5, [&](std::chrono::seconds pause) { waits.push_back(pause); },
      [&](const std::string& message, std::chrono::seconds) { notes.push_back(message); });
  EXPECT_EQ(attempts, 3);
  EXPECT_EQ(waits, (std::vector<std::chrono::seconds>{30s, 2min}));
  EXPECT_EQ(notes, (std::vector<std::string>{"eins", "zwei"}));
  EXPECT_EQ(job.Subject, "a  b");
  const std::string t = server.Transcript();
  EXPECT_NE(t.find("Subject: a  b\r\n"), std::string::npos) << t;
}

TEST(SendRetry, WithoutRetriesTheFailureComesUnchanged) {
  test::ScriptServer server({test::Send("421 belegt\r\n"), test::Await(), test::Close()});
  EMail job = JobFor(server.Port());
  int waits = 0;
  try {
    SendWithRetries(job, 0, [&](std::chrono::seconds) { ++waits; }, {});
    ADD_FAILURE() << "no failure";
  } catch (const ESendAbandoned&) {
    ADD_FAILURE() << "wrapped";
  } catch (const smtp::EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode(), 421);
  }
  EXPECT_EQ(waits, 0);
}

}  // namespace
}  // namespace vornetta::dispatch
