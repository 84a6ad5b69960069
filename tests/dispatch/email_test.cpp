// The mail job against a scripted SMTP server: what goes on the wire for the
// job's fields, and how failures reach the caller.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "dispatch/email.h"
#include "message/address.h"
#include "platform/code_page.h"
#include "platform/host.h"
#include "smtp/exceptions.h"
#include "smtp/script_server.h"

namespace vornetta::dispatch {
namespace {

using test::Await;
using test::Close;
using test::Reply;
using test::ScriptServer;
using test::Send;
using test::AcceptingServer;

EMail Job(int port) {
  EMail job;
  job.Host = "127.0.0.1:" + std::to_string(port);
  job.From = "Berichte <berichte@example.com>";
  job.To = "leitung@example.com";
  job.Subject = "Bericht";
  job.Body = "Zeile 1\r\nZeile 2\r\n";
  return job;
}

// The header block of the data phase (from "From:" to the empty line).
std::string HeaderOf(const std::string& transcript) {
  const std::size_t start = transcript.find("\r\nFrom: ");
  const std::size_t end = transcript.find("\r\n\r\n", start);
  return start == std::string::npos || end == std::string::npos ? "" : transcript.substr(start + 2, end - start);
}

class EMailTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseSystemLanguage(platform::Language::Other); }
};

TEST(EMailFields, StartWithTheDocumentedValues) {
  const EMail job;
  EXPECT_EQ(job.From, "");
  EXPECT_EQ(job.To, "");
  EXPECT_EQ(job.Cc, "");
  EXPECT_EQ(job.Bcc, "");
  EXPECT_EQ(job.Subject, "");
  EXPECT_EQ(job.Body, "");
  EXPECT_FALSE(job.IsHtml);
  EXPECT_EQ(job.Priority, 3);
  EXPECT_EQ(job.CharSet, "ISO-8859-15");
  EXPECT_EQ(job.Host, "");
  EXPECT_EQ(job.Port, 25);
  EXPECT_EQ(job.Username, "");
  EXPECT_EQ(job.Password, "");
}

TEST_F(EMailTest, SendsTheWholeConversationWithBodyLinesExactlyAndDotStuffed) {
  ScriptServer server = AcceptingServer(1);
  EMail job = Job(server.Port());
  job.IsHtml = true;
  job.Body = "<html>\r\n.hidden\r\n\r\n.\r\nUmlaut \xE4\n</html>\r\n";
  job.Send();

  const std::string t = server.Transcript();
  const std::string host = platform::HostName();
  EXPECT_EQ(t.substr(0, t.find("From: ")),
            "EHLO " + host + "\r\nRSET\r\nMAIL FROM:<berichte@example.com>\r\n"
            "RCPT TO:<leitung@example.com>\r\nDATA\r\n");
  const std::string header = HeaderOf(t);
  EXPECT_NE(header.find("Content-Type: text/html;\r\n\tcharset=\"ISO-8859-15\"\r\n"), std::string::npos) << header;
  EXPECT_NE(header.find("X-Priority: 3\r\n"), std::string::npos);
  // The body as given, a final break adding no empty line; then the end of data.
  EXPECT_EQ(t.substr(t.find("\r\n\r\n") + 4),
            "<html>\r\n..hidden\r\n\r\n..\r\nUmlaut \xE4\r\n</html>\r\n.\r\nQUIT\r\n");
}

TEST_F(EMailTest, LogsInOnlyWithAUserName) {
  {
    // A password alone sends no authentication, although LOGIN is offered.
    ScriptServer server = AcceptingServer(1, "250-mail.example\r\n250 AUTH LOGIN PLAIN");
    EMail job = Job(server.Port());
    job.Password = "geheim";
    job.Send();
    const std::string t = server.Transcript();
    EXPECT_EQ(t.find("AUTH"), std::string::npos) << t;
  }
  {
    ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 AUTH LOGIN"),
                         Reply("250 reset"), Reply("334 VXNlcm5hbWU6"), Reply("334 UGFzc3dvcmQ6"),
                         Reply("235 ok"), Reply("250 sender ok"), Reply("250 ok"), Reply("354 go ahead"),
                         Reply("250 queued"), Await(), Close()});
    EMail job = Job(server.Port());
    job.Username = "bericht";
    job.Password = "geheim";
    job.Send();
    const std::string t = server.Transcript();
    EXPECT_NE(t.find("RSET\r\nAUTH LOGIN\r\nYmVyaWNodA==\r\nZ2VoZWlt\r\nMAIL FROM:"), std::string::npos) << t;
  }
}

TEST_F(EMailTest, CleansTheSubjectInThePlaceItIsKept) {
  ScriptServer server = AcceptingServer(1);
  EMail job = Job(server.Port());
  job.Subject = "Umsatz\r\nOktober\t2026   Ende";
  job.Send();
  EXPECT_EQ(job.Subject, "Umsatz Oktober 2026  Ende");
  const std::string h = HeaderOf(server.Transcript());
  EXPECT_NE(h.find("Subject: Umsatz Oktober 2026"), std::string::npos) << h;
}

TEST_F(EMailTest, WritesPriorityAndPlainTextContentType) {
  for (const auto& [priority, header] : std::vector<std::pair<int, std::string>>{
           {0, "X-Priority: 3"}, {6, "X-Priority: 3"}, {1, "X-Priority: 1"}, {5, "X-Priority: 5"}}) {
    ScriptServer server = AcceptingServer(1);
    EMail job = Job(server.Port());
    job.Priority = priority;
    job.Send();
    const std::string h = HeaderOf(server.Transcript());
    EXPECT_NE(h.find(header + "\r\n"), std::string::npos) << priority << "\n" << h;
    EXPECT_NE(h.find("Content-Type: text/plain;\r\n\tcharset=\"ISO-8859-15\"\r\n"), std::string::npos) << h;
  }
}

TEST_F(EMailTest, AddressesEveryListInOrderAndEmptyListsAddNoRecipient) {
  {
    ScriptServer server = AcceptingServer(1);
    EMail job = Job(server.Port());
    job.Send();
    const std::string t = server.Transcript();
    EXPECT_EQ(t.find("RCPT TO:"), t.rfind("RCPT TO:"));
    EXPECT_EQ(HeaderOf(t).find("Cc:"), std::string::npos);
  }
  {
    ScriptServer server = AcceptingServer(4);
    EMail job = Job(server.Port());
    job.To = "a@example.com; B <b@example.com>";
    job.Cc = "c@example.com";
    job.Bcc = "d@example.com";
    job.Send();
    const std::string t = server.Transcript();
    EXPECT_NE(t.find("RCPT TO:<a@example.com>\r\nRCPT TO:<b@example.com>\r\nRCPT TO:<c@example.com>\r\n"
                     "RCPT TO:<d@example.com>\r\nDATA\r\n"),
              std::string::npos)
        << t;
    const std::string h = HeaderOf(t);
    EXPECT_NE(h.find("Cc: c@example.com\r\n"), std::string::npos) << h;
    EXPECT_EQ(h.find("d@example.com"), std::string::npos) << h;
  }
}

TEST_F(EMailTest, PassesFailuresOnAfterClosingTheSession) {
  {
    // A refused recipient: the server's text, and QUIT was still written.
    ScriptServer server({Send("220 mail.example\r\n"), Reply("250 mail.example"), Reply("250 reset"),
                         Reply("250 sender ok"), Reply("550 5.1.1 Unbekannter Empf\xE4nger"), Await(), Close()});
    EMail job = Job(server.Port());
    try {
      job.Send();
      FAIL() << "no failure";
    } catch (const smtp::EIdProtocolReplyError& e) {
      EXPECT_STREQ(e.what(), "5.1.1 Unbekannter Empfänger\r\n");  // a Latin reply read in the code page
      EXPECT_EQ(e.ReplyCode(), 550);
    }
    EXPECT_NE(server.Transcript().find("RCPT TO:<leitung@example.com>\r\nQUIT\r\n"), std::string::npos);
  }
  {
    // A faulty address fails before any connection is made.
    EMail job = Job(test::UnusedLoopbackPort());
    job.To = "<a@example.com>@b";
    EXPECT_THROW(job.Send(), message::EIdEmailParseError);
  }
  {
    // Nobody listening.
    EMail job = Job(test::UnusedLoopbackPort());
    try {
      job.Send();
      FAIL() << "no failure";
    } catch (const smtp::EIdException& e) {
      EXPECT_STREQ(e.what(), "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
    }
  }
}

}  // namespace
}  // namespace vornetta::dispatch
