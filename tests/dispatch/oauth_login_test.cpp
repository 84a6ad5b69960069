// OAuth2 logins of the mail job through a real SMTP server (aiosmtpd behind
// STARTTLS with the transport tests' CA): XOAUTH2 and OAUTHBEARER, the
// initial response inline and after the 334, a refused token, servers without
// either mechanism or without TLS, a fresh token per connection, and the
// connection test. The token must never show in a message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <functional>

#include "dispatch/email.h"
#include "dispatch/mail_connection_check.h"
#include "dispatch/password_command.h"
#include "config/my_ini_file.h"
#include "platform/failure.h"
#include "smtp/sink_server.h"
#include "support/temp_folder.h"

namespace vornetta::dispatch {
namespace {

using test::ReadFile;
using test::SinkServer;

constexpr char kUser[] = "berichte@example.com";

class OAuthLogin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vornetta-oauth-certs.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    certs_ = pattern;
    const std::string command = "sh " + test::SourceDir() + "/tests/smtp/make-test-certs.sh " + certs_;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(certs_); }

  // An OAuth2 server accepting kUser with `token`; `extra` adds options (--mechanisms, --plain).
  static std::unique_ptr<SinkServer> Server(const std::string& token, std::vector<std::string> extra = {}) {
    std::vector<std::string> options = {"--user", kUser, "--token", token, "--cert", certs_ + "/server.pem",
                                        "--key", certs_ + "/server.key"};
    options.insert(options.end(), extra.begin(), extra.end());
    auto server = std::make_unique<SinkServer>(options, "tests/smtp/oauth-sink.py");
    EXPECT_GT(server->Port(), 0);
    return server;
  }

  // A job for the server whose token comes from a command that counts its runs in `count`.
  EMail Job(const SinkServer& server, const std::string& token, TLoginCommands& commands) {
    EMail job;
    job.From = "berichte@example.com";
    job.To = "chef@example.com";
    job.Subject = "Bericht";
    job.Body = "Hallo";
    job.Host = "localhost:" + std::to_string(server.Port());
    job.Username = kUser;
    job.Encryption = "auto";
    job.CaFile = certs_ + "/ca.pem";
    const std::string command = "echo run >> " + (folder_ / "count") + "; printf '%s\\n' '" + token + "'";
    job.TokenSource = [&commands, command] { return commands.Token(command); };
    return job;
  }

  int Runs() {
    const std::string text = ReadFile((folder_ / "count"));
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

  static std::string FailureOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return "no exception";
  }

  static std::string Logins(const SinkServer& server) { return ReadFile(server.Dir() + "/logins"); }

  static inline std::string certs_;
  test::TTempFolder folder_;
};

TEST_F(OAuthLogin, XoauthWithAShortTokenInlineAndALongOneAfterTheContinuation) {
  const std::string shortToken = "ya29.kurz";
  auto server = Server(shortToken);
  TLoginCommands commands;
  EMail job = Job(*server, shortToken, commands);
  job.Send();
  job.Subject = "Bericht";
  job.Send();
  EXPECT_TRUE(std::filesystem::exists(server->Dir() + "/mail-002.eml"));
  EXPECT_EQ(Logins(*server), "XOAUTH2 inline ok\nXOAUTH2 inline ok\n");
  EXPECT_EQ(Runs(), 2);  // a fresh token for every connection

  // Microsoft 365 tokens can pass 4 KB: the AUTH line would pass 512 octets.
  const std::string longToken(6 * 1024, 'T');
  auto big = Server(longToken);
  EMail bigJob = Job(*big, longToken, commands);
  bigJob.Send();
  EXPECT_TRUE(std::filesystem::exists(big->AwaitMail()));
  EXPECT_EQ(Logins(*big), "XOAUTH2 continued ok\n");
  EXPECT_NE(ReadFile(big->Dir() + "/transcript").find("AUTH XOAUTH2 tls"), std::string::npos);
}

TEST_F(OAuthLogin, OauthbearerWhenOnlyThatIsOfferedNamesHostAndPort) {
  auto server = Server("tok", {"--mechanisms", "OAUTHBEARER"});
  TLoginCommands commands;
  EMail job = Job(*server, "tok", commands);
  job.Send();
  EXPECT_TRUE(std::filesystem::exists(server->AwaitMail()));
  EXPECT_EQ(Logins(*server), "OAUTHBEARER inline ok host=localhost port=" + std::to_string(server->Port()) + "\n");
}

TEST_F(OAuthLogin, ARefusedTokenGivesStatusAndScopeButNeverTheToken) {
  auto server = Server("richtig");
  TLoginCommands commands;
  EMail job = Job(*server, "abgelaufen-geheim", commands);
  const std::string failure = FailureOf([&] { job.Send(); });
  EXPECT_NE(failure.find("OAuth2-Anmeldung (XOAUTH2) abgelehnt: status 401, scope https://mail.google.com/"),
            std::string::npos)
      << failure;
  EXPECT_NE(failure.find("5.7.8 Username and Password not accepted"), std::string::npos) << failure;
  EXPECT_EQ(failure.find("abgelaufen-geheim"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(server->Dir() + "/mail-001.eml"));
}

TEST_F(OAuthLogin, NoMechanismOrNoTlsEndsBeforeTheTokenIsAskedFor) {
  TLoginCommands commands;
  auto neither = Server("tok", {"--mechanisms", ""});
  EMail job = Job(*neither, "tok", commands);
  EXPECT_EQ(FailureOf([&] { job.Send(); }),
            "Server bietet keine OAuth2-Anmeldung (XOAUTH2/OAUTHBEARER) an (Token-Befehl, Einstellung "
            "smtptokenbefehl)");

  // Even on this machine's loopback a token goes only inside TLS.
  auto plain = Server("tok", {"--plain"});
  EMail automatic = Job(*plain, "tok", commands);
  EXPECT_EQ(FailureOf([&] { automatic.Send(); }),
            "Server bietet kein STARTTLS an – OAuth2-Anmeldung nur verschlüsselt (Verschlüsselung, Einstellung "
            "verschluesselung)");
  EMail off = Job(*plain, "tok", commands);
  off.Encryption = "aus";
  EXPECT_EQ(FailureOf([&] { off.Send(); }),
            "OAuth2-Anmeldung nur verschlüsselt: ohne Verschlüsselung wird das Token nie gesendet; "
            "Automatisch, STARTTLS oder SSL/TLS wählen (Verschlüsselung, Einstellung verschluesselung)");
  EXPECT_EQ(ReadFile(plain->Dir() + "/transcript").find("AUTH"), std::string::npos);
  EXPECT_EQ(Runs(), 0);
}

TEST_F(OAuthLogin, TheConnectionTestShowsEachStepAndSendsNothing) {
  auto server = Server("tok");
  const std::string ini = (folder_ / "probe.ini");
  {
    config::TMyIniFile file(ini);
    file.WriteValue("email", "smtpserver", "localhost:" + std::to_string(server->Port()));
    file.WriteValue("email", "smtpuser", kUser);
    file.WriteValue("email", "smtppass", "unbenutzt");
    file.WriteValue("email", "zertifikate", certs_ + "/ca.pem");
    file.WriteValue("email", "smtptokenbefehl", "printf 'tok\\n'");
  }
  config::TMyIniFile file(ini);
  std::string steps;
  CheckMailConnection(file, [&steps](const std::string& step) { steps += step + "\n"; });
  EXPECT_NE(steps.find("Begrüßung des Servers: 220 sink.localhost"), std::string::npos) << steps;
  EXPECT_NE(steps.find("Verschlüsselt mit TLSv1."), std::string::npos) << steps;
  EXPECT_NE(steps.find("Zertifikat: CN=server (geprüft)"), std::string::npos) << steps;
  EXPECT_NE(steps.find("Angebotene Anmeldeverfahren: OAUTHBEARER XOAUTH2"), std::string::npos) << steps;
  EXPECT_NE(steps.find("Anmeldung als berichte@example.com mit XOAUTH2 erfolgreich"), std::string::npos) << steps;
  EXPECT_NE(steps.find("nichts wurde gesendet"), std::string::npos) << steps;
  EXPECT_EQ(steps.find("tok\n"), std::string::npos);
  EXPECT_EQ(ReadFile(server->Dir() + "/transcript").find("MAIL"), std::string::npos);
  EXPECT_EQ(Logins(*server), "XOAUTH2 inline ok\n");
}

}  // namespace
}  // namespace vornetta::dispatch
