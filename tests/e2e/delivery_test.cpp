// What reaches the recipient in the unattended run of build/vornetta, for the
// texts the plain path gets wrong: Latin-9-only characters in headers, lines too
// long for mail servers, wrong or missing addresses and a missing SQLite file.
// The mails arrive at the real SMTP server and are read back with Python's parser.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "smtp/script_server.h"
#include "unattended_harness.h"

namespace vornetta::e2e {
namespace {

const char* const kSender = "Vornetta Test <absender@example.com>";

class Delivery : public ::testing::Test {
 protected:
  void SetUp() override {
    sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp");
    const TProcessResult r = RunProcess({"/usr/bin/sqlite3", dir_ / "sales.db",
                                         "create table umsatz (kunde varchar(30), betrag double);"
                                         "insert into umsatz values ('Huber', 7.5);"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + (dir_ / "sales.db"))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "betreff", "Umsatz in €")
        .Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
        .Set("email", "absender", kSender)
        .SetText("sql", "select kunde, betrag from umsatz;");
  }

  TProcessResult Run(bool utf8File = false, const std::string& locale = "de_DE.UTF-8") {
    if (utf8File)
      WriteFile(dir_ / "report.ini", ini_.Utf8Bytes());
    else
      ini_.Save(dir_ / "report.ini");
    return RunProcess({ProgramPath(), dir_ / "report.ini", "-unattend"},
                      {"LC_ALL=" + locale, "QT_QPA_PLATFORM=offscreen", "DISPLAY", "WAYLAND_DISPLAY"}, dir_.Path());
  }

  // Python's reading of the mail: decoded headers, content type, decoded body.
  std::string Parsed(const TReceivedMail& mail) {
    const std::string path = dir_ / "parsed.eml";
    WriteFile(path, mail.raw);
    const TProcessResult r = RunProcess({"/usr/bin/python3", SourceDir() + "/tests/smtp/parse_mail.py", path});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    return r.out;
  }

  // The one error mail of a run refused before connecting; returns its body.
  std::string OnlyErrorMail(const TProcessResult& r) {
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    const std::vector<TReceivedMail> mails = sink_->Mails();
    if (mails.size() != 1u) {
      ADD_FAILURE() << mails.size() << " mails\n" << sink_->Log();
      return {};
    }
    EXPECT_EQ(mails[0].rcptTo, std::vector<std::string>{"absender@example.com"});
    return mails[0].body;
  }

  TTempDir dir_;
  std::unique_ptr<TSmtpSink> sink_;
  TIniText ini_;
};

TEST_F(Delivery, EuroSignInTheSubjectIsLabelledLatin9AndALongLineGoesQuotedPrintable) {
  const std::string longCell(1200, 'x');
  ini_.Set("email", "kopfzeile", "<p>" + longCell + " 5 €</p>");
  const TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  const TReceivedMail& mail = mails[0];
  EXPECT_EQ(mail.Header("Subject"), "Umsatz in =?ISO-8859-15?Q?=A4?=");
  EXPECT_EQ(mail.Header("MIME-Version"), "1.0");
  EXPECT_EQ(mail.Header("Content-Transfer-Encoding"), "quoted-printable");
  for (std::size_t start = 0; start < mail.body.size();) {
    const std::size_t end = mail.body.find("\r\n", start);
    EXPECT_LE((end == std::string::npos ? mail.body.size() : end) - start, 76u);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  const std::string parsed = Parsed(mail);
  EXPECT_NE(parsed.find("Subject: Umsatz in €\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Defects: 0\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<p>" + longCell + " 5 €</p>\n</div>\n"), std::string::npos) << parsed;
}

TEST_F(Delivery, ValuesTheCodePageCannotHoldArriveInUtf8) {
  const TProcessResult db = RunProcess({"/usr/bin/sqlite3", dir_ / "sales.db",
                                        "insert into umsatz values ('Eilig – bitte prüfen', 1);"
                                        "insert into umsatz values ('Şahin „Łukasz“', 2);"});
  ASSERT_EQ(db.exitStatus, 0) << db.err;
  ini_.Set("email", "kopfzeile", "<h1>Umsätze</h1>");
  const TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  EXPECT_EQ(mails[0].Header("Content-Type"), "text/html;\r\n\tcharset=\"UTF-8\"");
  EXPECT_EQ(mails[0].Header("Subject"), "Umsatz in =?ISO-8859-15?Q?=A4?=");  // it fits: as before
  EXPECT_EQ(mails[0].body.find('?'), std::string::npos) << mails[0].body;
  const std::string parsed = Parsed(mails[0]);
  EXPECT_NE(parsed.find("charset=utf-8\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<h1>Umsätze</h1>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<td class=\"kunde string\">Eilig – bitte prüfen</td>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<td class=\"kunde string\">Şahin „Łukasz“</td>\n"), std::string::npos) << parsed;
}

// A UTF-8 configuration file: header texts the code page cannot hold go out as
// UTF-8 encoded words, everything that fits exactly as from a code-page file.
TEST_F(Delivery, HeaderTextsTheCodePageCannotHoldGoOutAsUtf8Words) {
  ini_.Set("email", "betreff", "Eilig – bitte prüfen")
      .Set("email", "absender", "Łukasz Nowak <absender@example.com>")
      .Set("email", "empfaenger", "Müller <leitung@example.com>, Şahin „Chef“ <chef@example.com>")
      .Set("email", "cc", "Ärger <cc@example.com>");
  const TProcessResult r = Run(true);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  const TReceivedMail& mail = mails[0];
  EXPECT_EQ(mail.Header("Subject"), "Eilig =?UTF-8?Q?=E2=80=93?= bitte =?UTF-8?Q?pr=C3=BCfen?=");
  EXPECT_EQ(mail.Header("Cc"), "=?ISO-8859-1?Q?=C4rger?= <cc@example.com>");
  EXPECT_EQ(mail.Header("To"),
            "=?ISO-8859-1?Q?M=FCller?= <leitung@example.com>,\r\n"
            " =?UTF-8?Q?=C5=9Eahin_=E2=80=9EChef=E2=80=9C?= <chef@example.com>");
  EXPECT_EQ(mail.rcptTo, (std::vector<std::string>{"leitung@example.com", "chef@example.com", "cc@example.com"}));
  const std::string parsed = Parsed(mail);
  EXPECT_NE(parsed.find("Subject: Eilig – bitte prüfen\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("From: Łukasz Nowak <absender@example.com>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("To: Müller <leitung@example.com>, Şahin „Chef“ <chef@example.com>\n"), std::string::npos)
      << parsed;
  EXPECT_NE(parsed.find("Cc: Ärger <cc@example.com>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("Defects: 0\n"), std::string::npos) << parsed;
}

// Header, footer, style sheet and statements of a UTF-8 file: what the code page
// cannot hold turns the report UTF-8; texts that fit keep the code page's bytes.
TEST_F(Delivery, DecorationAndStatementsOfAUtf8FileArriveWhole) {
  ini_.Set("email", "betreff", "Umsätze")
      .Set("email", "kopfzeile", "<h1>„Umsätze“</h1>")
      .Set("email", "fusszeile", "<p>Ende – Şahin</p>")
      .Set("email", "css", "h1 { color: red; } /* — */")
      .SetText("sql", "select kunde || ' – Łukasz' as x from umsatz;");
  const TProcessResult r = Run(true);
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  EXPECT_EQ(mails[0].Header("Content-Type"), "text/html;\r\n\tcharset=\"UTF-8\"");
  EXPECT_EQ(mails[0].body.find('?'), std::string::npos) << mails[0].body;
  const std::string parsed = Parsed(mails[0]);
  EXPECT_NE(parsed.find("<style>h1 { color: red; } /* — */</style>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<div class=\"kopfzeile\">\n<h1>„Umsätze“</h1>\n</div>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<td class=\"x string\">Huber – Łukasz</td>\n"), std::string::npos) << parsed;
  EXPECT_NE(parsed.find("<div class=\"fusszeile\">\n<p>Ende – Şahin</p>\n</div>\n"), std::string::npos) << parsed;

  // The same file with texts that fit: the report keeps the code page's bytes.
  sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp-fits");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
      .Set("email", "kopfzeile", "<h1>Umsätze</h1>")
      .Set("email", "fusszeile", "<p>Ende</p>")
      .Set("email", "css", "h1 { color: red; }")
      .SetText("sql", "select kunde || ' – Łukasz' as x from umsatz where 0; select 'Grüße' as y;");
  const TProcessResult fits = Run(true);
  ASSERT_EQ(fits.exitStatus, 0) << fits.err;
  mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  EXPECT_EQ(mails[0].Header("Content-Type").find("UTF-8"), std::string::npos) << mails[0].Header("Content-Type");
  EXPECT_NE(mails[0].body.find("<h1>Ums\xE4tze</h1>\r\n"), std::string::npos) << mails[0].body;
  EXPECT_NE(mails[0].body.find(">Gr\xFC\xDF" "e</td>\r\n"), std::string::npos) << mails[0].body;
  EXPECT_NE(mails[0].body.find("<th class=\"x string\">x</th>\r\n"), std::string::npos) << mails[0].body;
}

TEST_F(Delivery, AShortReportKeepsItsBytesAndHasNoTransferEncoding) {
  ini_.Set("email", "betreff", "Umsätze");
  const TProcessResult r = Run();
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  EXPECT_EQ(mails[0].Header("Subject"), "=?ISO-8859-1?Q?Ums=E4tze?=");
  EXPECT_EQ(mails[0].Header("MIME-Version"), "");
  EXPECT_EQ(mails[0].Header("Content-Transfer-Encoding"), "");
}

TEST_F(Delivery, MalformedAddressesAreRefusedBeforeConnectingAndNamed) {
  struct Case {
    const char* key;
    const char* value;
    const char* named;
  };
  int round = 0;
  for (const Case& c : {Case{"empfaenger", "Hans <hans@example.com", "Hans <hans@example.com"},
                        Case{"empfaenger", "a@example.com, Name Only", "Name Only"},
                        Case{"cc", "to@example.com (Kommentar", "to@example.com (Kommentar"},
                        Case{"bcc", "b@example.", "b@example."}}) {
    SCOPED_TRACE(c.value);
    sink_ = std::make_unique<TSmtpSink>(dir_ / ("smtp-" + std::to_string(++round)));
    ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "cc", "")
        .Set("email", "bcc", "")
        .Set("email", c.key, c.value);
    const std::string body = OnlyErrorMail(Run());
    EXPECT_NE(body.find(std::string(", Einstellung ") + c.key + ")"), std::string::npos) << body;
    EXPECT_NE(body.find(c.named), std::string::npos) << body;
  }
}

TEST_F(Delivery, LineBreaksInAddressSettingsNeverReachTheWire) {
  // The escapes the file stores a CR and an LF with.
  for (const char* key : {"empfaenger", "cc", "bcc"}) {
    SCOPED_TRACE(key);
    sink_ = std::make_unique<TSmtpSink>(dir_ / (std::string("smtp-") + key));
    ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
        .Set("email", "empfaenger", "leitung@example.com")
        .Set("email", "cc", "")
        .Set("email", "bcc", "")
        .Set("email", key, "to@example.com##13##10NOOP");
    const std::string body = OnlyErrorMail(Run());
    EXPECT_NE(body.find(std::string(", Einstellung ") + key + ")"), std::string::npos) << body;
    EXPECT_EQ(sink_->Log().find("NOOP"), std::string::npos);
  }
  // In the sender the error mail itself cannot go out: nothing is sent at all.
  sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp-absender");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port()))
      .Set("email", "empfaenger", "leitung@example.com")
      .Set("email", "absender", "from@example.com##10RSET");
  const TProcessResult r = Run();
  EXPECT_EQ(r.exitStatus, 2) << r.err;
  EXPECT_NE(r.err.find("(Absender, Einstellung absender)"), std::string::npos) << r.err;
  EXPECT_TRUE(sink_->Mails().empty());
}

TEST_F(Delivery, NoRecipientAtAllIsAnErrorBeforeConnecting) {
  ini_.Set("email", "empfaenger", "");
  const std::string body = OnlyErrorMail(Run());
  EXPECT_NE(body.find("Kein Empf\xE4nger angegeben (Empf\xE4nger, Einstellung empfaenger)."), std::string::npos) << body;
}

// Under a Japanese code page the program's own German texts have no place: the
// count row and the error mail go out in UTF-8 instead of with "?".
TEST_F(Delivery, GermanTextsUnderAJapaneseCodePageArriveInUtf8) {
  ini_.Set("email", "betreff", "Bericht")
      .Set("datenbank", "ergebnisUpdate", "1")
      .SetText("sql", "update umsatz set betrag = 1 where kunde = 'niemand'");
  const TProcessResult r = Run(false, "ja_JP.UTF-8");
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  std::vector<TReceivedMail> mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u) << sink_->Log();
  EXPECT_EQ(mails[0].Header("Content-Type"), "text/html;\r\n\tcharset=\"UTF-8\"");
  EXPECT_NE(mails[0].body.find("<tr class=\"update\"><td>0 Datensätze geändert.</td></tr>\r\n"), std::string::npos)
      << mails[0].body;

  sink_ = std::make_unique<TSmtpSink>(dir_ / "smtp-error");
  ini_.Set("email", "smtpserver", "127.0.0.1:" + std::to_string(sink_->Port())).Set("email", "empfaenger", "");
  const TProcessResult refused = Run(false, "ja_JP.UTF-8");
  EXPECT_EQ(refused.err, "vornetta: Kein Empfänger angegeben (Empfänger, Einstellung empfaenger).\n");
  const std::string body = OnlyErrorMail(refused);
  EXPECT_EQ(body, "Kein Empfänger angegeben (Empfänger, Einstellung empfaenger).\r\n");
  mails = sink_->Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].Header("Content-Type"), "text/plain;\r\n\tcharset=\"UTF-8\"");
  const std::string parsed = Parsed(mails[0]);
  EXPECT_NE(parsed.find("Kein Empfänger angegeben (Empfänger, Einstellung empfaenger)."), std::string::npos) << parsed;
}

TEST_F(Delivery, AMistypedSqliteFileIsAnErrorNamingItAndIsNotCreated) {
  const std::string missing = dir_ / "sales-tippfehler.db";
  ini_.Set("datenbank", "connection", "DRIVER=SQLite3;Database=" + missing);
  const std::string body = OnlyErrorMail(Run());
  EXPECT_NE(body.find(missing), std::string::npos) << body;
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace vornetta::e2e
