// Refused logins as mail services send them, against a scripted server: the
// German advice in front, the server's own text kept at the end, the reply
// code kept, so a temporary refusal is tried again under "wiederholen".
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "dispatch/email.h"
#include "dispatch/send_retry.h"
#include "platform/failure.h"
#include "smtp/exceptions.h"
#include "smtp/script_server.h"

namespace vornetta::dispatch {
namespace {

using test::Accept;
using test::Reply;
using test::ScriptServer;
using test::Send;
using test::ServerStep;

// Greeting, EHLO with LOGIN, RSET, and AUTH LOGIN up to the password's reply.
std::vector<ServerStep> LoginRefusedWith(const std::string& reply) {
  return {Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 AUTH LOGIN"), Reply("250 OK"),
          Reply("334 VXNlcm5hbWU6"),    Reply("334 UGFzc3dvcmQ6"),                    Reply(reply)};
}

EMail Job(const ScriptServer& server) {
  EMail job;
  job.From = "berichte@example.com";
  job.To = "chef@example.com";
  job.Subject = "Bericht";
  job.Body = "Hallo";
  job.Host = "127.0.0.1:" + std::to_string(server.Port());
  job.Username = "berichte@example.com";
  job.Password = "geheim";
  return job;
}

struct Refusal {
  int code = 0;
  std::string message;
};

Refusal RefusalOf(EMail& job) {
  try {
    job.Send();
  } catch (const smtp::EIdProtocolReplyError& e) {
    return {e.ReplyCode(), std::string(e.what())};
  }
  return {};
}

TEST(LoginAdvice, KnownRefusalsGetTheirAdviceAndKeepTheServersText) {
  const struct {
    std::string reply;
    std::string advice;  // the start of the message
  } cases[] = {
      {"535 5.7.139 Authentication unsuccessful, SmtpClientAuthentication is disabled for the Tenant.",
       "Der Server hat die Anmeldung für dieses Postfach abgeschaltet (Microsoft 365: SMTP AUTH). Der Administrator "
       "muss für das Postfach \"Authenticated SMTP\" einschalten"},
      {"550 5.7.30 Basic authentication is not supported for Client Submission.",
       "Der Server lässt die Anmeldung mit Passwort nicht mehr zu (Basic Authentication abgeschaltet)"},
      {"535 5.7.3 Authentication unsuccessful: basic authentication is disabled",
       "Der Server lässt die Anmeldung mit Passwort nicht mehr zu"},
      {"534 5.7.9 Application-specific password required.", "Der Server verlangt ein App-Passwort"},
      {"535 5.7.8 Username and Password not accepted.", "Benutzername, Passwort oder Token wurden abgelehnt"},
      // Unknown codes, and a known code with other words, keep today's message.
      {"535 5.7.3 Authentication unsuccessful", "5.7.3 Authentication unsuccessful\r\n"},
      {"535 5.7.99 Something else", "5.7.99 Something else\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    ScriptServer server(LoginRefusedWith(c.reply));
    EMail job = Job(server);
    const Refusal refusal = RefusalOf(job);
    EXPECT_EQ(refusal.code, std::stoi(c.reply.substr(0, 3)));
    EXPECT_EQ(refusal.message.rfind(c.advice, 0), 0u) << refusal.message;
    EXPECT_NE(refusal.message.find(c.reply.substr(4) + "\r\n"), std::string::npos) << refusal.message;
  }
}

TEST(LoginAdvice, StartTlsRequiredFirstIsExplainedAtTheSender) {
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250 mail.example"), Reply("250 OK"),
                       Reply("530 5.7.0 Must issue a STARTTLS command first")});
  EMail job = Job(server);
  job.Username.clear();
  const Refusal refusal = RefusalOf(job);
  EXPECT_EQ(refusal.code, 530);
  EXPECT_EQ(refusal.message.rfind("Der Server verlangt zuerst eine verschlüsselte Verbindung (STARTTLS)", 0), 0u)
      << refusal.message;
}

TEST(LoginAdvice, ATemporaryRefusalIsTriedAgain) {
  std::vector<ServerStep> script = LoginRefusedWith("454 4.7.0 Temporary authentication failure");
  script.push_back(Accept());
  for (const char* line : {"220 mail.example\r\n"}) script.push_back(Send(line));
  for (const char* reply : {"250-mail.example\r\n250 AUTH LOGIN", "250 OK", "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6",
                            "235 OK", "250 OK", "250 OK", "354 go", "250 queued"})
    script.push_back(Reply(reply));
  ScriptServer server(script);
  EMail job = Job(server);
  std::vector<std::string> notes;
  const int attempts = SendWithRetries(
      job, 1, [](std::chrono::seconds) {}, [&notes](const std::string& failure, std::chrono::seconds) {
        notes.push_back(failure);
      });
  EXPECT_EQ(attempts, 2);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("Die Anmeldung ist vorübergehend nicht möglich", 0), 0u) << notes[0];
}

}  // namespace
}  // namespace vornetta::dispatch
