// The mail job where the server or the network misbehaves: a drop after the
// mail was taken, a drop inside TLS without the closing alert, a server that
// stalls the whole attempt, replies that are no replies.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dispatch/email.h"
#include "dispatch/send_retry.h"
#include "platform/code_page.h"
#include "platform/failure.h"
#include "smtp/exceptions.h"
#include "smtp/script_server.h"
#include "smtp/sink_server.h"

namespace vornetta::dispatch {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::Await;
using test::Reply;
using test::Reset;
using test::ScriptServer;
using test::Send;

EMail Job(const std::string& host) {
  EMail job;
  job.Host = host;
  job.From = "berichte@example.com";
  job.To = "leitung@example.com";
  job.Subject = "Bericht";
  job.Body = "Zeile 1\r\n";
  return job;
}

EMail Job(int port) { return Job("127.0.0.1:" + std::to_string(port)); }

// The whole message of the failure Send raises, or "no failure".
std::string FailureOf(EMail& job) {
  try {
    job.Send();
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  return "no failure";
}

TEST(MailFaults, ADropAfterTheServerTookTheMailIsASuccess) {
  ScriptServer server({Send("220 mail.example\r\n"), Reply("250 mail.example"), Reply("250 reset"),
                       Reply("250 sender ok"), Reply("250 recipient ok"), Reply("354 go on"),
                       Reply("250 queued as 17"), Reset()});
  EMail job = Job(server.Port());
  EXPECT_NO_THROW(job.Send());
  EXPECT_TRUE(job.DataEndSent);
  EXPECT_EQ(job.RecipientCount, 1u);
}

TEST(MailFaults, EveryMalformedReplyNamesItselfWithItsBytesMadeVisible) {
  {
    ScriptServer server({Send("220 mail.example\r\n"), Reply("25 x"), Await()});
    EMail job = Job(server.Port());
    EXPECT_EQ(FailureOf(job), "Ungültige Antwort des Servers: 25 x");
  }
  {
    ScriptServer server({Send("2\0" "20 x\x1b[2J\r\n"s), Await()});
    EMail job = Job(server.Port());
    // The first reply unreadable: the greeting, with what to check.
    EXPECT_EQ(FailureOf(job), "Unverständliche Begrüßung von 127.0.0.1:" + std::to_string(server.Port()) +
                                  " – Port und Verschlüsselung prüfen (SMTP Server und Verschlüsselung, "
                                  "Einstellungen smtpserver und verschluesselung)\r\nUngültige Antwort des Servers: 2?20 x?[2J");
  }
  {
    // A NUL inside a refusal no longer cuts the text short.
    ScriptServer server({Send("220 mail.example\r\n"), Reply("250-mail.example"), Send("250 STARTTLS\r\n"),
                         Reply("454 TLS\0 nicht verf\xFCgbar"s), Await()});
    EMail job = Job(server.Port());
    job.Encryption = "starttls";
    EXPECT_NE(FailureOf(job).find("\r\nTLS? nicht verfügbar"), std::string::npos) << FailureOf(job);
  }
  {
    // A bare code still says what happened.
    ScriptServer server({Send("220 mail.example\r\n"), Reply("250 mail.example"), Reply("250 reset"),
                         Reply("550"), Await()});
    EMail job = Job(server.Port());
    EXPECT_EQ(FailureOf(job), "Antwort des Servers: 550\r\n");
  }
}

TEST(MailFaults, AStalledServerEndsTheAttemptAtItsOverallLimitAndMayBeTriedAgain) {
  // Each reply may take minutes; the attempt as a whole may not.
  ScriptServer server({Send("220 mail.example\r\n"), Await(), Await()});
  EMail job = Job(server.Port());
  job.AttemptLimit = 300ms;
  try {
    job.Send();
    FAIL() << "no failure";
  } catch (const smtp::EIdAttemptTimeout& e) {
    EXPECT_EQ(std::string(e.what()),
              "Zeitüberschreitung: der Versuch, die Mail zu senden, dauerte länger als 1 Sekunde und wurde "
              "abgebrochen");
    EXPECT_TRUE(IsTemporaryFailure(std::current_exception(), false));
    EXPECT_FALSE(IsTemporaryFailure(std::current_exception(), true));
  }
}

// A cut connection is retried alike with and without TLS, also when TLS ends
// without its closing alert.
class CutConnection : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vornetta-cut-certs.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    certs_ = pattern;
    const std::string command = "sh " + test::SourceDir() + "/tests/smtp/make-test-certs.sh " + certs_;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(certs_); }

  static std::vector<std::string> Options(bool tls) {
    std::vector<std::string> options = {"--host", "127.0.0.1", "--drop-first", "MAIL"};
    if (tls) options.insert(options.end(), {"--cert", certs_ + "/server.pem", "--key", certs_ + "/server.key"});
    return options;
  }

  static EMail JobFor(const test::SinkServer& server, bool tls) {
    EMail job = Job("localhost:" + std::to_string(server.Port()));
    if (tls) {
      job.Encryption = "starttls";
      job.CaFile = certs_ + "/ca.pem";
    }
    return job;
  }

  static inline std::string certs_;
};

TEST_P(CutConnection, IsAClosedConnectionThatAFurtherAttemptGetsThrough) {
  const bool tls = GetParam();
  {
    test::SinkServer server(Options(tls));
    EMail job = JobFor(server, tls);
    EXPECT_EQ(FailureOf(job), "Der Server hat die Verbindung beendet, bevor er geantwortet hat.");
  }
  test::SinkServer server(Options(tls));
  EMail job = JobFor(server, tls);
  std::vector<std::string> notes;
  const int attempts = SendWithRetries(
      job, 1, [](std::chrono::seconds) {},
      [&notes](const std::string& failure, std::chrono::seconds) { notes.push_back(failure); });
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(notes, std::vector<std::string>{"Der Server hat die Verbindung beendet, bevor er geantwortet hat."});
  EXPECT_TRUE(std::filesystem::exists(server.AwaitMail()));
}

// Addresses beyond ASCII against a real server: every domain as A-labels, a
// local part beyond ASCII only where the server announces SMTPUTF8.
TEST(MailAddresses, GoAsALabelsAndAUtf8LocalPartOnlyToAServerWithSmtpUtf8) {
  platform::UseSystemLanguage(platform::Language::Other);
  {
    test::SinkServer server({"--host", "127.0.0.1", "--smtputf8"});
    EMail job = Job(server.Port());
    job.To = "Jörg <jörg@exämple.com>";
    job.Cc = "info@bücher.de";
    job.Send();
    server.AwaitMail();
    EXPECT_EQ(test::ReadFile(server.Dir() + "/mail-001.envelope"),
              "MAIL FROM: berichte@example.com\nRCPT TO: jörg@xn--exmple-cua.com\nRCPT TO: info@xn--bcher-kva.de\n");
  }
  test::SinkServer server({"--host", "127.0.0.1", "--transcript", "transcript"});
  EMail job = Job(server.Port());
  job.Cc = "jörg@exämple.com";
  EXPECT_EQ(FailureOf(job),
            "Der Server bietet kein SMTPUTF8 an; die Adresse jörg@exämple.com ist so nicht zustellbar (CC, Einstellung cc)");
  job.Cc = "a@exämple.com";
  const std::string tooLong = "b@\xC3\xA4" + std::string(70, 'x') + ".de";  // a label has at most 63 bytes
  job.Bcc = tooLong;
  EXPECT_EQ(FailureOf(job), "Die Domain von " + tooLong + " ist kein gültiger Name (BCC, Einstellung bcc)");
  job.Bcc.clear();
  job.Send();
  server.AwaitMail();
  EXPECT_EQ(test::ReadFile(server.Dir() + "/mail-001.envelope"),
            "MAIL FROM: berichte@example.com\nRCPT TO: leitung@example.com\nRCPT TO: a@xn--exmple-cua.com\n");
  // Two connections (the invalid domain made none), and only the last reached MAIL FROM.
  const std::string transcript = test::ReadFile(server.Dir() + "/transcript");
  auto count = [&transcript](std::string_view word) {
    std::size_t n = 0;
    for (std::size_t at = transcript.find(word); at != std::string::npos; at = transcript.find(word, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("EHLO"), 2u) << transcript;
  EXPECT_EQ(count("MAIL"), 1u) << transcript;
}

INSTANTIATE_TEST_SUITE_P(PlainAndTls, CutConnection, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Tls" : "Plain"; });

}  // namespace
}  // namespace vornetta::dispatch
