// The password command: its first output line is the password; every way it
// can fail is an error naming the setting and never showing its output.
#include <gtest/gtest.h>

#include <functional>

#include "dispatch/email.h"
#include "dispatch/password_command.h"
#include "platform/code_page.h"

namespace vornetta::dispatch {
namespace {

std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return platform::ToUtf8(e.what());
  }
  return "no exception";
}

TEST(PasswordCommand, TheFirstLineOfStandardOutputIsThePassword) {
  EXPECT_EQ(PasswordFromCommand("printf 'ge heim\\nzweite Zeile\\n'"), "ge heim");
  EXPECT_EQ(PasswordFromCommand("printf 'crlf\\r\\n'"), "crlf");
  EXPECT_EQ(PasswordFromCommand("printf 'ohne Zeilenende'"), "ohne Zeilenende");
  // Standard error is not the password, and standard input is empty.
  EXPECT_EQ(PasswordFromCommand("echo laut >&2; cat; echo still"), "still");
}

TEST(PasswordCommand, FailuresNameTheSettingAndNeverTheOutput) {
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; exit 3"); }),
            "Passwortbefehl endete mit Status 3 (Einstellung smtppassbefehl)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("true"); }),
            "Passwortbefehl hat kein Passwort ausgegeben (Einstellung smtppassbefehl)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo; echo zweite"); }),
            "Passwortbefehl hat kein Passwort ausgegeben (Einstellung smtppassbefehl)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("no-such-command-anywhere 2>/dev/null"); }),
            "Passwortbefehl endete mit Status 127 (Einstellung smtppassbefehl)");
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; kill -9 $$"); }),
            "Passwortbefehl wurde durch Signal 9 abgebrochen (Einstellung smtppassbefehl)");
}

TEST(PasswordCommand, ACommandThatDoesNotEndIsStoppedWithEverythingItStarted) {
  // The pipeline's sleep keeps the output open; both are killed at the limit.
  EXPECT_EQ(FailureOf([] { PasswordFromCommand("echo geheim; sleep 600 | sleep 600", 1000); }),
            "Passwortbefehl hat nicht innerhalb von 1 Sekunden geantwortet (Einstellung smtppassbefehl)");
}

TEST(EncryptionSetting, FourWordsInAnyCaseAndEmptyMeansAuto) {
  EXPECT_EQ(EncryptionOf(""), smtp::TEncryption::Auto);
  EXPECT_EQ(EncryptionOf(" Auto "), smtp::TEncryption::Auto);
  EXPECT_EQ(EncryptionOf("STARTTLS"), smtp::TEncryption::StartTls);
  EXPECT_EQ(EncryptionOf("ssl"), smtp::TEncryption::Implicit);
  EXPECT_EQ(EncryptionOf("aus"), smtp::TEncryption::None);
  EXPECT_EQ(FailureOf([] { EncryptionOf("tls"); }),
            "Unbekannter Wert \"tls\" für die Verschlüsselung (Einstellung verschluesselung: auto, starttls, ssl "
            "oder aus)");
}

}  // namespace
}  // namespace vornetta::dispatch
