// Encrypted sendings through a real SMTP server (aiosmtpd on loopback) whose
// certificates come from a test CA made for the run: STARTTLS and implicit TLS,
// the certificate rules, the login inside TLS only, AUTH PLAIN, IPv6.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "message/message.h"
#include "platform/code_page.h"
#include "sink_server.h"
#include "smtp/exceptions.h"
#include "smtp/smtp.h"
#include "smtp/wait_hook.h"

namespace vornetta::smtp {
namespace {

using test::ReadFile;
using test::SinkServer;

class TlsServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vornetta-tls-certs.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    certs_ = pattern;
    const std::string command = "sh " + test::SourceDir() + "/tests/smtp/make-test-certs.sh " + certs_;
    ASSERT_EQ(std::system(command.c_str()), 0) << "openssl could not make the test certificates";
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(certs_); }

  static std::string Cert(const std::string& name) { return certs_ + "/" + name; }

  // A sink with login user:secret that records its transcript; `cert` names the
  // server's certificate pair (server, other, self).
  static std::vector<std::string> Options(const std::string& cert, bool implicit = false,
                                          const std::string& host = "127.0.0.1") {
    std::vector<std::string> options = {"--host", host, "--auth", "user:secret", "--cert", Cert(cert + ".pem"),
                                        "--key", Cert(cert + ".key")};
    if (implicit) options.push_back("--implicit-tls");
    return options;
  }

  struct Session {
    TEncryption encryption = TEncryption::Auto;
    std::string caFile;
    std::string user;
    std::string host = "localhost";
  };

  // The mail job's sequence: open, submit, close also after a failure.
  static void SendThrough(const SinkServer& server, const Session& s, bool* encrypted = nullptr) {
    message::TIdMessage msg;
    msg.From.SetText("from@example.com");
    msg.Recipients.SetListText("to@example.com");
    msg.Subject = "Bericht";
    msg.CharSet = "ISO-8859-15";
    msg.ContentType = "text/plain";
    msg.Body = {"Hallo"};
    TIdSMTP smtp;
    smtp.SetHost(s.host);
    smtp.SetPort(server.Port());
    smtp.SetEncryption(s.encryption);
    smtp.SetCaFile(s.caFile);
    smtp.SetRequireLogin(true);
    if (!s.user.empty()) {
      smtp.SetAuthenticationType(atLogin);
      smtp.SetUsername(s.user);
      smtp.SetPassword("secret");
    }
    smtp.SetReplyTimeout(20000);
    smtp.OpenSession(-1);
    if (encrypted) *encrypted = smtp.TlsActive();
    try {
      smtp.SubmitMessage(msg);
    } catch (...) {
      smtp.CloseSession();
      throw;
    }
    smtp.CloseSession();
  }

  static std::string TlsFailure(const std::function<void()>& call) {
    try {
      call();
    } catch (const EIdTlsError& e) {
      return e.what();
    } catch (const std::exception& e) {
      return std::string("other exception: ") + e.what();
    }
    return "no exception";
  }

  // The server's transcript up to the line holding `last` once it is there
  // (bounded wait), else all of it.
  static std::string TranscriptUpTo(const SinkServer& server, const std::string& last) {
    const std::string path = server.Dir() + "/transcript";
    std::string text;
    for (int i = 0; i < 200; ++i) {
      text = ReadFile(path);
      const std::size_t at = text.find(last);
      if (at != std::string::npos) return text.substr(0, text.find('\n', at) + 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return text;
  }

  static inline std::string certs_;
};

// Every sink here records what it was told and how.
class RecordingSink : public SinkServer {
 public:
  explicit RecordingSink(std::vector<std::string> options) : SinkServer(WithTranscriptFile(std::move(options))) {}
  bool Delivered() const { return std::filesystem::exists(AwaitMail()); }

 private:
  static std::vector<std::string> WithTranscriptFile(std::vector<std::string> options) {
    options.push_back("--transcript");
    options.push_back("transcript");  // relative: inside the sink's folder
    return options;
  }
};

TEST_F(TlsServer, StartTlsOnASubmissionServerSendsTheLoginOnlyInsideTls) {
  RecordingSink server(Options("server"));
  ASSERT_GT(server.Port(), 0);
  bool encrypted = false;
  SendThrough(server, {TEncryption::Auto, Cert("ca.pem"), "user"}, &encrypted);
  EXPECT_TRUE(encrypted);
  EXPECT_TRUE(server.Delivered());
  // A second EHLO after the handshake; nothing but EHLO and STARTTLS in clear.
  EXPECT_EQ(TranscriptUpTo(server, "DATA"),
            "EHLO plain\nSTARTTLS plain\nEHLO tls\nRSET tls\nAUTH LOGIN tls\nMAIL tls\nRCPT tls\nDATA tls\n");
}

TEST_F(TlsServer, ImplicitTlsFromTheFirstByte) {
  RecordingSink server(Options("server", true));
  ASSERT_GT(server.Port(), 0);
  bool encrypted = false;
  SendThrough(server, {TEncryption::Implicit, Cert("ca.pem"), "user"}, &encrypted);
  EXPECT_TRUE(encrypted);
  EXPECT_TRUE(server.Delivered());
  EXPECT_EQ(TranscriptUpTo(server, "DATA"), "EHLO tls\nRSET tls\nAUTH LOGIN tls\nMAIL tls\nRCPT tls\nDATA tls\n");
}

// "keine" against a port that speaks TLS from the first byte: both sides wait for
// the other, and the greeting's own limit ends it with what to check.
TEST_F(TlsServer, APlainClientAtAnImplicitTlsPortSaysWhatToCheck) {
  struct TGreetingHook : TIdWaitHook {
    std::chrono::milliseconds Slice() const override { return std::chrono::milliseconds(5); }
    bool PumpEvents() override { return true; }
    std::chrono::milliseconds GreetingLimit() const noexcept override { return std::chrono::milliseconds(500); }
  } hook;
  RecordingSink server(Options("server", true));
  ASSERT_GT(server.Port(), 0);
  TIdSMTP smtp;
  smtp.SetHost("127.0.0.1");
  smtp.SetPort(server.Port());
  smtp.SetEncryption(TEncryption::None);
  smtp.SetReplyTimeout(10 * 60 * 1000);
  smtp.SetWaitHook(&hook);
  try {
    smtp.OpenSession(-1);
    ADD_FAILURE() << "no failure";
  } catch (const EIdReadTimeout& e) {
    EXPECT_EQ(std::string(e.what()), "Zeitüberschreitung beim Warten auf die Begrüßung von 127.0.0.1:" +
                                         std::to_string(server.Port()) +
                                         " – Server antwortet nicht – Port und Verschlüsselung prüfen "
                                         "(SMTP Server und Verschlüsselung, Einstellungen smtpserver und "
                                         "verschluesselung)");
  }
}

TEST_F(TlsServer, SystemStoreDoesNotTrustTheTestCaSoTheLoginIsNeverSent) {
  for (TEncryption encryption : {TEncryption::Auto, TEncryption::StartTls}) {
    RecordingSink server(Options("server"));
    // OpenSSL's reason in German, its own words kept for a search.
    EXPECT_EQ(TlsFailure([&] { SendThrough(server, {encryption, "", "user"}); }),
              "TLS-Aushandlung fehlgeschlagen: Aussteller des Zertifikats unbekannt (unable to get local issuer "
              "certificate) – Server localhost – Zertifikat nicht vertrauenswürdig (Zertifikate, Einstellung "
              "zertifikate)");
    EXPECT_EQ(TranscriptUpTo(server, "STARTTLS"), "EHLO plain\nSTARTTLS plain\n");
  }
  RecordingSink implicit(Options("server", true));
  EXPECT_NE(TlsFailure([&] { SendThrough(implicit, {TEncryption::Implicit, "", ""}); }).find("nicht vertrauensw"),
            std::string::npos);
}

TEST_F(TlsServer, AnUnverifiableServerWithoutLoginStillGetsTheMailEncrypted) {
  RecordingSink server(Options("server"));
  bool encrypted = false;
  SendThrough(server, {TEncryption::Auto, "", ""}, &encrypted);
  EXPECT_TRUE(encrypted);
  EXPECT_TRUE(server.Delivered());
  EXPECT_EQ(TranscriptUpTo(server, "DATA"), "EHLO plain\nSTARTTLS plain\nEHLO tls\nRSET tls\nMAIL tls\nRCPT tls\nDATA tls\n");
  // The explicit mode always verifies.
  RecordingSink strict(Options("server"));
  EXPECT_NE(TlsFailure([&] { SendThrough(strict, {TEncryption::StartTls, "", ""}); }), "no exception");
}

TEST_F(TlsServer, ACertificateForAnotherNameIsRefused) {
  RecordingSink server(Options("other"));
  EXPECT_EQ(TlsFailure([&] { SendThrough(server, {TEncryption::Auto, Cert("ca.pem"), "user"}); }),
            "TLS-Aushandlung fehlgeschlagen: Zertifikat gilt nicht für diesen Namen (hostname mismatch) – Server "
            "localhost – Servernamen prüfen (SMTP Server, Einstellung smtpserver)");
  EXPECT_EQ(TranscriptUpTo(server, "STARTTLS"), "EHLO plain\nSTARTTLS plain\n");
  // The same certificate is fine for an address it names: 127.0.0.1 is checked as an address.
  RecordingSink named(Options("server"));
  Session byAddress{TEncryption::StartTls, Cert("ca.pem"), "user", "127.0.0.1"};
  SendThrough(named, byAddress);
  EXPECT_TRUE(named.Delivered());
}

TEST_F(TlsServer, ASelfSignedCertificateInTheCaFilePinsTheServer) {
  RecordingSink server(Options("self", true));
  SendThrough(server, {TEncryption::Implicit, Cert("self.pem"), "user"});
  EXPECT_TRUE(server.Delivered());
  // Pinning one certificate trusts no other.
  RecordingSink other(Options("server", true));
  EXPECT_NE(TlsFailure([&] { SendThrough(other, {TEncryption::Implicit, Cert("self.pem"), "user"}); })
                .find("nicht vertrauensw"),
            std::string::npos);
}

// The setting holds the name in the code page; the file system has it in UTF-8.
TEST_F(TlsServer, ACaFileWhosePathHoldsUmlautsIsRead) {
  const std::string folder = Cert("Zertifikate für Jörg");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(Cert("self.pem"), folder + "/ca.pem", std::filesystem::copy_options::overwrite_existing);
  RecordingSink server(Options("self", true));
  SendThrough(server, {TEncryption::Implicit, folder + "/ca.pem", "user"});
  EXPECT_TRUE(server.Delivered());
}

TEST_F(TlsServer, AuthPlainInsideTlsWhenLoginIsNotOffered) {
  std::vector<std::string> options = Options("server");
  options.push_back("--no-login-mechanism");
  RecordingSink server(options);
  SendThrough(server, {TEncryption::StartTls, Cert("ca.pem"), "user"});
  EXPECT_TRUE(server.Delivered());
  EXPECT_NE(TranscriptUpTo(server, "DATA").find("EHLO tls\nRSET tls\nAUTH PLAIN tls\nMAIL tls\n"), std::string::npos);
}

TEST_F(TlsServer, AnUnreadableCaFileNamesTheSetting) {
  RecordingSink server(Options("server"));
  EXPECT_EQ(TlsFailure([&] { SendThrough(server, {TEncryption::Auto, Cert("missing.pem"), ""}); }),
            "TLS-Aushandlung fehlgeschlagen: Zertifikatsdatei " + Cert("missing.pem") +
                " kann nicht gelesen werden (Zertifikate, Einstellung zertifikate)");
}

TEST_F(TlsServer, AServerGoneDuringEncryptedWritesGivesASocketErrorNotSigpipe) {
  auto server = std::make_unique<RecordingSink>(Options("server", true));
  TIdSMTP smtp;
  smtp.SetHost("localhost");
  smtp.SetPort(server->Port());
  smtp.SetEncryption(TEncryption::Implicit);
  smtp.SetCaFile(Cert("ca.pem"));
  smtp.SetReplyTimeout(20000);
  smtp.OpenSession(-1);
  server.reset();  // the server process ends and its sockets close
  bool failed = false;
  for (int i = 0; i < 100000 && !failed; ++i) {
    try {
      smtp.SendLine(std::string(1000, 'x'));
    } catch (const EIdException&) {
      failed = true;
    }
  }
  EXPECT_TRUE(failed);
  smtp.CloseSession();
}

bool HasIpv6Loopback() {
  int fd = socket(AF_INET6, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return bound;
}

TEST_F(TlsServer, Ipv6LoopbackWithTheAddressCheckedInTheCertificate) {
  if (!HasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback address ::1 on this machine";
  RecordingSink server(Options("server", true, "::1"));
  ASSERT_GT(server.Port(), 0);
  const THostPort target = SplitHostPort("[::1]:" + std::to_string(server.Port()), 465);
  EXPECT_EQ(target.Host, "::1");
  SendThrough(server, {TEncryption::Implicit, Cert("ca.pem"), "user", target.Host});
  EXPECT_TRUE(server.Delivered());
}

}  // namespace
}  // namespace vornetta::smtp
