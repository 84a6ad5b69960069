// The SMTP conversation against a scripted server: every command with its
// accepted codes, each step's refusal and broken connection, the EHLO/HELO
// fallback, AUTH LOGIN only when announced, and QUIT never awaited.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "message/message.h"
#include "message/message_writer.h"
#include "platform/code_page.h"
#include "platform/host.h"
#include "script_server.h"
#include "smtp/exceptions.h"
#include "smtp/smtp.h"
#include "smtp/wait_hook.h"

namespace vornetta::smtp {
namespace {

using test::Await;
using test::Close;
using test::Reply;
using test::ScriptServer;
using test::Send;
using test::ServerStep;

class Collector : public message::TIdLineWriter {
 public:
  std::string text;
  void SendLine(std::string_view line) override {
    text.append(line);
    text.append("\r\n");
  }
};

message::TIdMessage Message() {
  message::TIdMessage msg;
  msg.From.SetText("from@example.com");
  msg.Recipients.SetListText("a@example.com, b@example.com");
  msg.CCList.SetListText("c@example.com");
  msg.BccList.SetListText("d@example.com");
  msg.Subject = "Bericht";
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.Body = {"<p>Hallo</p>", ".", ".x", "", " .y"};
  msg.Clock.Now = [] { return message::TDateTime{2026, 12, 7, 5, 10, 0}; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  return msg;
}

// The data phase as the message writer produces it, with the closing "." line.
std::string DataOf(const message::TIdMessage& msg) {
  Collector out;
  message::WriteMessage(out, msg);
  return out.text + ".\r\n";
}

std::unique_ptr<TIdSMTP> Client(const ScriptServer& server, const std::string& user = {}) {
  auto smtp = std::make_unique<TIdSMTP>();
  smtp->SetHost("127.0.0.1");
  smtp->SetPort(server.Port());
  smtp->SetHeloName("client.test");
  smtp->SetReplyTimeout(3000);
  if (!user.empty()) {
    smtp->SetAuthenticationType(atLogin);
    smtp->SetUsername(user);
    smtp->SetPassword("secret");
  }
  return smtp;
}

// What the mail job does: open, submit, and close also after a failure.
void Send(TIdSMTP& smtp, message::TIdMessage& msg) {
  smtp.OpenSession(-1);
  try {
    smtp.SubmitMessage(msg);
  } catch (...) {
    smtp.CloseSession();
    throw;
  }
  smtp.CloseSession();
}

// The message of the exception the call raised; fails the test when it raised none
// or another type.
template <class E>
std::string FailureOf(const std::function<void()>& call, int* code = nullptr) {
  try {
    call();
  } catch (const E& e) {
    if constexpr (requires { e.ReplyCode(); }) {
      if (code) *code = e.ReplyCode();
    } else if constexpr (requires { e.SocketErrorCode(); }) {
      if (code) *code = e.SocketErrorCode();
    }
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no exception";
  return {};
}

// One step of the full conversation: the client's line(s) and the server's good reply.
struct Exchange {
  std::string sent;
  std::string reply;
};

// The conversation of a user "user" with a server announcing AUTH=LOGIN.
std::vector<Exchange> FullConversation(const message::TIdMessage& msg) {
  return {
      {"", "220 mail.test ESMTP"},
      {"EHLO client.test\r\n", "250-mail.test\r\n250-AUTH=LOGIN\r\n250 HELP"},
      {"RSET\r\n", "250 reset"},
      {"AUTH LOGIN\r\n", "334 VXNlcm5hbWU6"},
      {"dXNlcg==\r\n", "334 UGFzc3dvcmQ6"},
      {"c2VjcmV0\r\n", "235 ok"},
      {"MAIL FROM:<from@example.com>\r\n", "250 sender ok"},
      {"RCPT TO:<a@example.com>\r\n", "250 ok"},
      {"RCPT TO:<b@example.com>\r\n", "251 will forward"},
      {"RCPT TO:<c@example.com>\r\n", "250 ok"},
      {"RCPT TO:<d@example.com>\r\n", "250 ok"},
      {"DATA\r\n", "354 go ahead"},
      {DataOf(msg), "250 queued"},
  };
}

std::vector<ServerStep> ScriptOf(const std::vector<Exchange>& conversation) {
  std::vector<ServerStep> script{Send(conversation[0].reply + "\r\n")};
  for (size_t i = 1; i < conversation.size(); ++i) script.push_back(Reply(conversation[i].reply));
  return script;
}

TEST(SmtpClient, SubmitsWithLoginEnvelopeDataAndUnawaitedQuit) {
  message::TIdMessage msg = Message();
  auto conversation = FullConversation(msg);
  ScriptServer server(ScriptOf(conversation));
  auto smtp = Client(server, "user");

  smtp->OpenSession(-1);
  EXPECT_EQ(smtp->AuthMechanisms(), (std::vector<std::string>{"LOGIN"}));
  smtp->SubmitMessage(msg);
  EXPECT_TRUE(smtp->LoggedIn());
  // No reply to QUIT is scripted and the reply limit is the mail job's ten
  // minutes: a client waiting for a reply would hang here until the test's timeout.
  smtp->SetReplyTimeout(kMailReplyTimeoutMs);
  smtp->CloseSession();
  EXPECT_FALSE(smtp->LoggedIn());
  EXPECT_FALSE(smtp->IsConnected());

  std::string expected;
  for (const Exchange& step : conversation) expected += step.sent;
  expected += "QUIT\r\n";
  const std::string transcript = server.Transcript();
  EXPECT_EQ(transcript, expected);
  // Dot-stuffed body, BCC only in the envelope, no X-Mailer line.
  EXPECT_NE(transcript.find("\r\n..\r\n..x\r\n\r\n .y\r\n.\r\n"), std::string::npos);
  EXPECT_EQ(transcript.find("X-Mailer"), std::string::npos);
  EXPECT_EQ(transcript.find("d@example.com", transcript.find("DATA")), std::string::npos);
}

TEST(SmtpClient, LogsInOnlyWhenLoginIsAnnounced) {
  struct Case {
    std::string ehloReply;
    bool login;
  };
  const Case cases[] = {
      {"250-mail.test\r\n250-AUTH=LOGIN\r\n250 HELP", true},
      {"250-mail.test\r\n250-AUTH PLAIN LOGIN\r\n250 HELP", true},
      {"250-mail.test\r\n250-auth plain login\r\n250 8BITMIME", true},
      {"250-mail.test\r\n250 AUTH PLAIN CRAM-MD5", false},
      {"250 mail.test", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ehloReply);
    std::vector<ServerStep> script{Send("220 hi\r\n"), Reply(c.ehloReply), Reply("250 reset")};
    if (c.login) {
      script.push_back(Reply("334 VXNlcm5hbWU6"));
      script.push_back(Reply("334 UGFzc3dvcmQ6"));
      script.push_back(Reply("235 ok"));
    }
    for (const char* reply : {"250 ok", "250 ok", "354 go", "250 queued"}) script.push_back(Reply(reply));
    ScriptServer server(std::move(script));
    auto smtp = Client(server, "user");
    message::TIdMessage msg = Message();
    msg.Recipients.Clear();
    msg.CCList.Clear();
    msg.BccList.SetListText("only@example.com");
    Send(*smtp, msg);
    const std::string login = c.login ? "AUTH LOGIN\r\ndXNlcg==\r\nc2VjcmV0\r\n" : "";
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nRSET\r\n" + login +
                                       "MAIL FROM:<from@example.com>\r\nRCPT TO:<only@example.com>\r\n"
                                       "DATA\r\n" + DataOf(msg) + "QUIT\r\n");
  }
}

TEST(SmtpClient, RefusedEhloFallsBackToHeloWithoutLogin) {
  ScriptServer server({Send("220-mail.test\r\n220 second greeting line\r\n"), Reply("502 not implemented"),
                       Reply("250 hello"), Reply("500 what"), Reply("250 ok"), Reply("250 ok"),
                       Reply("354 go"), Reply("250 queued")});
  auto smtp = Client(server, "user");
  message::TIdMessage msg = Message();
  msg.From = {};
  msg.Recipients.SetListText("x@example.com");
  msg.CCList.Clear();
  msg.BccList.Clear();
  smtp->OpenSession();
  EXPECT_TRUE(smtp->AuthMechanisms().empty());
  EXPECT_FALSE(smtp->SupportsMechanism(atLogin));
  smtp->SubmitMessage(msg);  // the refused RSET does not stop the transaction
  smtp->CloseSession();
  EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nHELO client.test\r\nRSET\r\nMAIL FROM:<>\r\n"
                                 "RCPT TO:<x@example.com>\r\nDATA\r\n" + DataOf(msg) + "QUIT\r\n");
}

TEST(SmtpClient, EveryRefusedStepRaisesTheServersTextAndQuits) {
  // Steps whose refusal ends the sending; EHLO (falls back) and RSET (ignored) are not among them.
  for (size_t failing : {0u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u}) {
    message::TIdMessage msg = Message();
    auto conversation = FullConversation(msg);
    SCOPED_TRACE(conversation[failing].sent.substr(0, 20));
    const bool rcpt = conversation[failing].sent.starts_with("RCPT");
    conversation[failing].reply = rcpt ? "550 5.7.1 Relaying denied"
                                       : "554-5.7.1 step " + std::to_string(failing) + "\r\n554 refused";
    conversation.resize(failing + 1);
    ScriptServer server(ScriptOf(conversation));
    auto smtp = Client(server, "user");
    int code = 0;
    EXPECT_EQ(FailureOf<EIdProtocolReplyError>([&] { Send(*smtp, msg); }, &code),
              rcpt ? "5.7.1 Relaying denied\r\n" : "5.7.1 step " + std::to_string(failing) + "\r\nrefused\r\n");
    EXPECT_EQ(code, rcpt ? 550 : 554);
    EXPECT_FALSE(smtp->IsConnected());
    std::string expected;
    for (const Exchange& step : conversation) expected += step.sent;
    EXPECT_EQ(server.Transcript(), expected + "QUIT\r\n");
  }
}

TEST(SmtpClient, ServerClosingAtAnyStepGivesConnectionClosed) {
  const size_t steps = FullConversation(Message()).size();
  for (size_t closing = 0; closing < steps; ++closing) {
    message::TIdMessage msg = Message();
    auto conversation = FullConversation(msg);
    SCOPED_TRACE(closing);
    std::vector<ServerStep> script = ScriptOf(conversation);
    script.resize(closing);
    if (closing > 0) script.push_back(Await());
    script.push_back(Close());
    ScriptServer server(std::move(script));
    auto smtp = Client(server, "user");
    EXPECT_EQ(FailureOf<EIdConnClosedGracefully>([&] { Send(*smtp, msg); }),
              "Der Server hat die Verbindung beendet, bevor er geantwortet hat.");
    EXPECT_FALSE(smtp->IsConnected());
    std::string expected;
    for (size_t i = 0; i <= closing; ++i) expected += conversation[i].sent;
    EXPECT_EQ(server.Transcript(), expected);  // no QUIT into a closed connection
  }
}

TEST(SmtpClient, BadServersEndInClearErrors) {
  {
    SCOPED_TRACE("garbage instead of a code");
    ScriptServer server({Send("hello there\r\n")});
    auto smtp = Client(server);
    int code = -1;
    EXPECT_EQ(FailureOf<EIdProtocolReplyError>([&] { smtp->OpenSession(); }, &code),
              "Unverständliche Begrüßung von 127.0.0.1:" + std::to_string(server.Port()) +
                  " – Port und Verschlüsselung prüfen (SMTP Server und Verschlüsselung, Einstellungen smtpserver "
                  "und verschluesselung)\r\n"
                  "Ungültige Antwort des Servers: hello there");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(server.Transcript(), "QUIT\r\n");
  }
  {
    SCOPED_TRACE("code without separator");
    ScriptServer server({Send("220 hi\r\n"), Reply("250OK")});
    auto smtp = Client(server);
    smtp->SetUseEhlo(false);
    int code = -1;
    EXPECT_EQ(FailureOf<EIdProtocolReplyError>([&] { smtp->OpenSession(); }, &code),
              "Ungültige Antwort des Servers: 250OK");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(server.Transcript(), "HELO client.test\r\nQUIT\r\n");
  }
  {
    SCOPED_TRACE("silent after EHLO");
    ScriptServer server({Send("220 hi\r\n"), Await()});
    auto smtp = Client(server);
    smtp->SetReplyTimeout(200);
    EXPECT_EQ(FailureOf<EIdReadTimeout>([&] { smtp->OpenSession(); }),
              "Zeitüberschreitung beim Warten auf die Antwort auf EHLO von 127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nQUIT\r\n");
  }
  {
    SCOPED_TRACE("silent after the data");
    message::TIdMessage msg = Message();
    auto conversation = FullConversation(msg);
    conversation.pop_back();
    std::vector<ServerStep> script = ScriptOf(conversation);
    script.push_back(Await());
    ScriptServer server(std::move(script));
    auto smtp = Client(server, "user");
    smtp->SetReplyTimeout(200);
    EXPECT_EQ(FailureOf<EIdReadTimeout>([&] { Send(*smtp, msg); }),
              "Zeitüberschreitung beim Warten auf die Bestätigung der gesendeten Mail von 127.0.0.1:" +
                  std::to_string(server.Port()) + " – die Mail kann trotzdem angekommen sein");
    EXPECT_TRUE(server.Transcript().ends_with("\r\n.\r\nQUIT\r\n"));
  }
  {
    SCOPED_TRACE("20 MB line as greeting");
    ScriptServer server({Send("220 " + std::string(20 << 20, 'x'))});
    auto smtp = Client(server);
    EXPECT_EQ(FailureOf<EIdReadLnMaxLineLengthExceeded>([&] { smtp->OpenSession(); }),
              "Max. Zeilenlänge überschritten.");
    EXPECT_FALSE(smtp->IsConnected());
  }
  {
    SCOPED_TRACE("endless EHLO reply");
    std::string endless;
    for (int i = 0; i < 100000; ++i) endless += "250-padding line " + std::to_string(i) + "\r\n";
    ScriptServer server({Send("220 hi\r\n"), Await(), Send(endless)});
    auto smtp = Client(server);
    EXPECT_THROW(smtp->OpenSession(), EIdReadLnMaxLineLengthExceeded);
    EXPECT_FALSE(smtp->IsConnected());
  }
  {
    SCOPED_TRACE("reset after MAIL FROM");
    ScriptServer server({Send("220 hi\r\n"), Reply("250 hello"), Reply("250 reset"), Await(), test::Reset()});
    auto smtp = Client(server);
    message::TIdMessage msg = Message();
    int code = 0;
    EXPECT_EQ(FailureOf<EIdSocketError>([&] { Send(*smtp, msg); }, &code),
              "Socket-Fehler # 10054\r\nDie Verbindung wurde von Peer zurückgesetzt.");
    EXPECT_EQ(code, 10054);
    EXPECT_FALSE(smtp->IsConnected());
  }
}

// Counts its calls and ends the wait at the given one.
class CountingHook : public TIdWaitHook {
 public:
  explicit CountingHook(int endAt) : endAt_(endAt) {}
  std::chrono::milliseconds Slice() const override { return std::chrono::milliseconds(1); }
  bool PumpEvents() override { return ++calls < endAt_; }
  int calls = 0;

 private:
  int endAt_;
};

TEST(SmtpClient, WaitHookRunsWhileTheServerIsSilentAndCanEndTheWait) {
  {
    SCOPED_TRACE("silent before the greeting");
    ScriptServer server({Await()});
    auto smtp = Client(server);
    CountingHook hook(20);
    smtp->SetWaitHook(&hook);
    smtp->SetReplyTimeout(10 * 60 * 1000);  // only the hook can end it
    EXPECT_EQ(FailureOf<platform::ECancelled>([&] { smtp->OpenSession(); }), "Versand abgebrochen.");
    EXPECT_EQ(hook.calls, 20);
    EXPECT_FALSE(smtp->IsConnected());
    EXPECT_EQ(server.Transcript(), "");  // ended at once: no QUIT either
  }
  {
    SCOPED_TRACE("a hook that lets the wait go on changes nothing");
    ScriptServer server({Send("220 hi\r\n"), Reply("250 hello"), Await(), Close()});
    auto smtp = Client(server);
    CountingHook hook(1 << 30);
    smtp->SetWaitHook(&hook);
    smtp->OpenSession();
    smtp->CloseSession();
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nQUIT\r\n");
  }
  {
    SCOPED_TRACE("the reply limit still counts across slices");
    ScriptServer server({Send("220 hi\r\n"), Await()});
    auto smtp = Client(server);
    CountingHook hook(1 << 30);
    smtp->SetWaitHook(&hook);
    smtp->SetReplyTimeout(200);
    const std::string failure = FailureOf<EIdReadTimeout>([&] { smtp->OpenSession(); });
    EXPECT_EQ(failure.rfind("Zeitüberschreitung beim Warten auf die Antwort auf EHLO", 0), 0u) << failure;
    EXPECT_GT(hook.calls, 0);
  }
}

// Remembers every phase the client names; the greeting waits as long as it says.
class PhaseHook : public TIdWaitHook {
 public:
  explicit PhaseHook(std::chrono::milliseconds greetingLimit) : greetingLimit_(greetingLimit) {}
  std::chrono::milliseconds Slice() const override { return std::chrono::milliseconds(1); }
  bool PumpEvents() override { return true; }
  void PhaseStarted(const std::string& text) noexcept override { phases.push_back(text); }
  std::chrono::milliseconds GreetingLimit() const noexcept override { return greetingLimit_; }
  bool ShowsProgress() const noexcept override { return true; }
  std::vector<std::string> phases;

 private:
  std::chrono::milliseconds greetingLimit_;
};

TEST(SmtpClient, PhasesNameTheStepAndASilentGreetingSaysWhatToCheck) {
  {
    SCOPED_TRACE("a port that never greets: the hook's greeting limit, not the reply limit");
    ScriptServer server({Await()});
    auto smtp = Client(server);
    PhaseHook hook(std::chrono::milliseconds(200));
    smtp->SetWaitHook(&hook);
    smtp->SetReplyTimeout(10 * 60 * 1000);
    const std::string name = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_EQ(FailureOf<EIdReadTimeout>([&] { smtp->OpenSession(); }),
              "Zeitüberschreitung beim Warten auf die Begrüßung von " + name +
                  " – Server antwortet nicht – Port und Verschlüsselung prüfen (SMTP Server und Verschlüsselung, "
                  "Einstellungen smtpserver und verschluesselung)");
    EXPECT_EQ(hook.phases, (std::vector<std::string>{"Verbinde mit " + name + " …", "Warte auf Begrüßung …"}));
    EXPECT_EQ(smtp->ReplyTimeout(), 10 * 60 * 1000);  // the other replies keep their limit
  }
  {
    SCOPED_TRACE("a whole submission of about a megabyte: login, then the data phase's share");
    message::TIdMessage msg = Message();
    msg.Body.assign(20000, std::string(60, 'x'));
    ScriptServer server(ScriptOf(FullConversation(msg)));
    auto smtp = Client(server, "user");
    PhaseHook hook(std::chrono::milliseconds(60000));
    smtp->SetWaitHook(&hook);
    Send(*smtp, msg);
    const std::vector<std::string>& phases = hook.phases;
    ASSERT_GE(phases.size(), 5u);
    EXPECT_EQ(phases[1], "Warte auf Begrüßung …");
    EXPECT_EQ(phases[2], "Anmeldung …");
    EXPECT_EQ(phases[3], "Sende Bericht (0 %) …");
    EXPECT_EQ(phases.back(), "Sende Bericht (100 %) …");
    int last = 0;
    for (std::size_t i = 3; i < phases.size(); ++i) {
      const std::string& phase = phases[i];
      ASSERT_TRUE(phase.starts_with("Sende Bericht (") && phase.ends_with(" %) …")) << phase;
      const int share = std::stoi(phase.substr(15));
      EXPECT_GE(share, last) << phase;
      last = share;
    }
  }
}

TEST(SmtpClient, ConnectFailuresArriveWithTheSocketClosed) {
  auto smtp = std::make_unique<TIdSMTP>();
  smtp->SetHost("no-such-host.invalid");
  int code = 0;
  EXPECT_EQ(FailureOf<EIdSocketError>([&] { smtp->OpenSession(-1); }, &code),
            "Socket-Fehler # 11001\r\nHost nicht gefunden.");
  EXPECT_EQ(code, 11001);
  EXPECT_FALSE(smtp->IsConnected());
  smtp->CloseSession();

  int port;
  {
    ScriptServer probe({});
    port = probe.Port();
  }  // the listener is closed now: nothing answers on the port
  smtp->SetHost("127.0.0.1");
  smtp->SetPort(port);
  EXPECT_EQ(FailureOf<EIdSocketError>([&] { smtp->OpenSession(-1); }, &code),
            "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  EXPECT_EQ(code, 10061);
  smtp->CloseSession();
  EXPECT_EQ(smtp->IOHandler(), nullptr);
}

TEST(SmtpClient, IntroducesItselfWithTheMachinesHostName) {
  ScriptServer server({Send("220 hi\r\n"), Reply("250 hello")});
  auto smtp = Client(server);
  smtp->SetHeloName("");
  smtp->OpenSession();
  smtp->CloseSession();
  EXPECT_EQ(server.Transcript(), "EHLO " + platform::HostName() + "\r\nQUIT\r\n");
}

TEST(SmtpClient, PropertiesAndTheirCouplings) {
  TIdSMTP smtp;
  EXPECT_EQ(smtp.Port(), 25);
  EXPECT_TRUE(smtp.Host().empty());
  EXPECT_EQ(smtp.AuthenticationType(), atNone);
  EXPECT_TRUE(smtp.UseEhlo());
  EXPECT_EQ(smtp.ReplyTimeout(), 0);
  EXPECT_EQ(smtp.ReadTimeout(), 0);
  smtp.SetUseEhlo(false);
  smtp.SetAuthenticationType(atLogin);
  EXPECT_TRUE(smtp.UseEhlo());
  smtp.SetUseEhlo(false);
  EXPECT_EQ(smtp.AuthenticationType(), atNone);
  EXPECT_FALSE(smtp.SupportsMechanism(atNone));
  EXPECT_FALSE(smtp.LogIn());  // atNone sends nothing
  EXPECT_TRUE(smtp.LoggedIn());
}

TEST(SmtpClient, SplitsHostAndPort) {
  auto check = [](std::string_view text, const std::string& host, int port) {
    THostPort split = SplitHostPort(text, 25);
    EXPECT_EQ(split.Host, host) << text;
    EXPECT_EQ(split.Port, port) << text;
  };
  check("mail:2525", "mail", 2525);
  check("127.0.0.1:1", "127.0.0.1", 1);
  check("mail.example.com", "mail.example.com", 25);
  check("mail:", "mail:", 25);
  check("mail:0", "mail:0", 25);
  check("mail:65536", "mail:65536", 25);
  check("mail:-5", "mail:-5", 25);
  check("mail:25x", "mail:25x", 25);
  check("", "", 25);
  // IPv6 addresses: a port only after brackets.
  check("[::1]:587", "::1", 587);
  check("[2001:db8::1]", "2001:db8::1", 25);
  check("2001:db8::1", "2001:db8::1", 25);
  check("[::1]x", "[::1]x", 25);
}

// ---------------------------------------------------------------- encryption modes

// A session as the mail job runs it, with the encryption and login rules on.
std::unique_ptr<TIdSMTP> SecureClient(const ScriptServer& server, TEncryption encryption,
                                      const std::string& user = {}) {
  auto smtp = Client(server, user);
  smtp->SetEncryption(encryption);
  smtp->SetRequireLogin(true);
  return smtp;
}

TEST(SmtpEncryption, AutoWithoutStartTlsAnnouncedKeepsThePlainConversationByteForByte) {
  const std::string ehlo = "250-mail.example\r\n250-AUTH LOGIN\r\n250 8BITMIME";
  auto conversation = [&](TEncryption encryption) {
    ScriptServer server({Send("220 mail.example\r\n"), Reply(ehlo), Reply("250 reset"), Reply("334 VXNlcm5hbWU6"),
                         Reply("334 UGFzc3dvcmQ6"), Reply("235 ok"), Reply("250 sender ok"), Reply("250 ok"),
                         Reply("250 ok"), Reply("250 ok"), Reply("250 ok"), Reply("354 go"), Reply("250 queued"),
                         Await(), Close()});
    message::TIdMessage msg = Message();
    auto smtp = SecureClient(server, encryption, "user");
    Send(*smtp, msg);
    EXPECT_FALSE(smtp->TlsActive());
    return server.Transcript();
  };
  const std::string plain = conversation(TEncryption::None);
  EXPECT_EQ(conversation(TEncryption::Auto), plain);
  message::TIdMessage msg = Message();
  EXPECT_EQ(plain, "EHLO client.test\r\nRSET\r\nAUTH LOGIN\r\ndXNlcg==\r\nc2VjcmV0\r\n"
                   "MAIL FROM:<from@example.com>\r\nRCPT TO:<a@example.com>\r\nRCPT TO:<b@example.com>\r\n"
                   "RCPT TO:<c@example.com>\r\nRCPT TO:<d@example.com>\r\nDATA\r\n" + DataOf(msg) + "QUIT\r\n");
}

TEST(SmtpEncryption, AusNeverSendsStartTlsEvenWhenAnnounced) {
  ScriptServer server = test::AcceptingServer(4, "250-mail.example\r\n250 STARTTLS");
  message::TIdMessage msg = Message();
  auto smtp = SecureClient(server, TEncryption::None);
  Send(*smtp, msg);
  EXPECT_TRUE(smtp->StartTlsOffered());
  const std::string t = server.Transcript();
  EXPECT_EQ(t.find("STARTTLS"), std::string::npos) << t;
  EXPECT_EQ(t.rfind("EHLO client.test\r\nRSET\r\nMAIL FROM:", 0), 0u) << t;
}

TEST(SmtpEncryption, StartTlsModeFailsBeforeTheEnvelopeWhenTheServerOffersNone) {
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 AUTH LOGIN"), Await(),
                       Close()});
  message::TIdMessage msg = Message();
  auto smtp = SecureClient(server, TEncryption::StartTls, "user");
  EXPECT_EQ(FailureOf<EIdTlsError>([&] { Send(*smtp, msg); }),
            "Server bietet kein STARTTLS an (Verschlüsselung, Einstellung verschluesselung)");
  EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nQUIT\r\n");
}

TEST(SmtpEncryption, RefusedStartTlsEndsTheSendWithoutFallingBackToPlain) {
  for (TEncryption encryption : {TEncryption::Auto, TEncryption::StartTls}) {
    ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 STARTTLS"),
                         Reply("454 4.7.0 TLS not available"), Await(), Close()});
    message::TIdMessage msg = Message();
    auto smtp = SecureClient(server, encryption, "user");
    int code = 0;
    EXPECT_EQ(FailureOf<EIdProtocolReplyError>([&] { Send(*smtp, msg); }, &code),
              "Server lehnt STARTTLS ab (Verschlüsselung, Einstellung verschluesselung):\r\n4.7.0 TLS not available\r\n");
    EXPECT_EQ(code, 454);
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nSTARTTLS\r\nQUIT\r\n");
  }
}

TEST(SmtpEncryption, FailedHandshakeAfterStartTlsSendsNothingMore) {
  // The server accepts STARTTLS and then hangs up instead of negotiating.
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 STARTTLS"),
                       Reply("220 go ahead"), Close()});
  message::TIdMessage msg = Message();
  auto smtp = SecureClient(server, TEncryption::Auto, "user");
  EXPECT_THROW(Send(*smtp, msg), EIdException);
  const std::string t = server.Transcript();
  EXPECT_EQ(t.rfind("EHLO client.test\r\nSTARTTLS\r\n", 0), 0u) << t;
  for (const char* plain : {"QUIT", "AUTH", "MAIL", "HELO", "RSET"}) EXPECT_EQ(t.find(plain), std::string::npos) << t;
}

TEST(SmtpEncryption, ImplicitTlsAgainstAPlainServerFailsWithoutSpeakingSmtp) {
  ScriptServer server({Send("220 mail.example ESMTP\r\n"), Await(), Close()});
  message::TIdMessage msg = Message();
  auto smtp = SecureClient(server, TEncryption::Implicit, "user");
  const std::string failure = FailureOf<EIdTlsError>([&] { Send(*smtp, msg); });
  // The server's greeting read as a TLS record: OpenSSL's reason in German and what to check.
  EXPECT_EQ(failure,
            "TLS-Aushandlung fehlgeschlagen: falsche Versionsnummer, der Server spricht hier kein TLS (wrong version "
            "number) – Server 127.0.0.1 – Port und Verschlüsselung prüfen (SMTP Server und Verschlüsselung, "
            "Einstellungen smtpserver und verschluesselung)");
  const std::string t = server.Transcript();
  for (const char* command : {"EHLO", "QUIT", "AUTH"}) EXPECT_EQ(t.find(command), std::string::npos) << t;
}

TEST(SmtpEncryption, ALoginWithoutLoginOrPlainOfferedIsAnErrorBeforeTheEnvelope) {
  for (const char* ehlo : {"250-mail.example\r\n250 AUTH CRAM-MD5", "250 mail.example"}) {
    ScriptServer server({Send("220 mail.example\r\n"), Reply(ehlo), Reply("250 reset"), Await(), Close()});
    message::TIdMessage msg = Message();
    auto smtp = SecureClient(server, TEncryption::Auto, "user");
    EXPECT_EQ(FailureOf<EIdTlsError>([&] { Send(*smtp, msg); }),
              "Server bietet weder AUTH LOGIN noch AUTH PLAIN an; ohne Anmeldung wird nicht gesendet "
              "(SMTP Benutzer, Einstellung smtpuser)");
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nRSET\r\nQUIT\r\n");
  }
}

TEST(SmtpEncryption, AuthPlainWhenOnlyPlainIsOffered) {
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example\r\n250 AUTH PLAIN"),
                       Reply("250 reset"), Reply("235 ok"), Reply("250 ok"), Reply("250 ok"), Reply("250 ok"),
                       Reply("250 ok"), Reply("250 ok"), Reply("354 go"), Reply("250 queued"), Await(), Close()});
  message::TIdMessage msg = Message();
  auto smtp = SecureClient(server, TEncryption::Auto, "user");
  Send(*smtp, msg);
  const std::string t = server.Transcript();
  // base64 of NUL "user" NUL "secret"
  EXPECT_EQ(t.rfind("EHLO client.test\r\nRSET\r\nAUTH PLAIN AHVzZXIAc2VjcmV0\r\nMAIL FROM:", 0), 0u) << t;
}

}  // namespace
}  // namespace vornetta::smtp
