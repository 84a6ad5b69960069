// One sending through a real SMTP server (aiosmtpd, started by the test on a
// loopback port); the received mail is read back with Python's mail parser.
#include <gtest/gtest.h>

#include <cstdio>

#include "message/message.h"
#include "platform/code_page.h"
#include "smtp/exceptions.h"
#include "smtp/smtp.h"
#include "sink_server.h"

namespace vornetta::smtp {
namespace {

using test::kPython;
using test::SinkServer;
using test::SourceDir;
using test::ReadFile;

std::string ParsedByPython(const std::string& mailPath) {
  const std::string command = std::string(kPython) + " " + SourceDir() + "/tests/smtp/parse_mail.py " + mailPath;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string output;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  pclose(pipe);
  return output;
}

TEST(RealServer, DeliversHeadersBodyAndEnvelopeIntact) {
  platform::UseSystemLanguage(platform::Language::Other);
  SinkServer server;
  ASSERT_GT(server.Port(), 0) << "the SMTP sink did not start";

  message::TIdMessage msg;
  msg.From.SetText("Berichtsdienst <from@example.com>");
  msg.Recipients.SetListText("a@example.com, Bea Beispiel <b@example.com>");
  msg.CCList.SetListText("c@example.com");
  msg.BccList.SetListText("d@example.com");
  msg.Subject = "Umsätze für Oktober";
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.Body = {"<html><body>", platform::FromUtf8("<p>Umsätze 100 €</p>"), ".", "..x", "", "</body></html>"};

  TIdSMTP smtp;
  smtp.SetHost("localhost");
  smtp.SetPort(server.Port());
  smtp.SetAuthenticationType(atLogin);
  smtp.SetUsername("user");
  smtp.SetPassword("secret");
  smtp.SetReplyTimeout(10000);
  smtp.OpenSession(-1);
  EXPECT_TRUE(smtp.SupportsMechanism(atLogin));
  smtp.SubmitMessage(msg);
  EXPECT_TRUE(smtp.LoggedIn());
  smtp.CloseSession();

  const std::string mail = server.AwaitMail();
  EXPECT_EQ(ParsedByPython(mail),
            "From: \"Berichtsdienst\" <from@example.com>\n"
            "To: a@example.com, \"Bea Beispiel\" <b@example.com>\n"
            "Cc: c@example.com\n"
            "Bcc: (none)\n"
            "Subject: Umsätze für Oktober\n"
            "X-Priority: 3\n"
            "X-Library: Vornetta Mail 1.0\n"
            "X-Mailer: (none)\n"
            "Content-Type: text/html; charset=iso-8859-15\n"
            "Defects: 0\n"
            "Body:\n"
            "<html><body>\n<p>Umsätze 100 €</p>\n.\n..x\n\n</body></html>\n");
  EXPECT_EQ(ReadFile(server.Dir() + "/mail-001.envelope"),
            "MAIL FROM: from@example.com\n"
            "RCPT TO: a@example.com\nRCPT TO: b@example.com\nRCPT TO: c@example.com\nRCPT TO: d@example.com\n");
}

}  // namespace
}  // namespace vornetta::smtp
