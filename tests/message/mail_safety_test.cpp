// The guards that keep a mail right on the wire: address settings refused
// before connecting, the quoted-printable body for over-long lines and the
// ISO-8859-15 label for headers with Latin-9-only characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "message/address_check.h"
#include "message/body_encoding.h"
#include "message/header_charset.h"
#include "message/message_writer.h"
#include "message_test_support.h"

namespace vornetta::message {
namespace {

using platform::Language;
using test::LanguageScope;
using test::LineCollector;

// The message of the refusal, or "" when the text passes.
std::string Refusal(std::string_view text, TAddressSetting kind = TAddressSetting::List) {
  try {
    CheckAddressSetting("empfaenger", text, kind);
  } catch (const EIdEmailParseError& e) {
    return e.what();
  }
  return "";
}

TEST(AddressSettingCheck, PassesEveryFormTheParserAccepts) {
  for (const char* text :
       {"", "  ", "a@example.com", "Hans Meier <h@example.com>", "\"M\xFCller, Hans\" <hm@example.com>",
        "h@example.com (Hans (Vertrieb) Meier)", "a@example.com; b@example.com", "a@example.com,\tb@example.com",
        "kollegen", "kollegen, x@example.com", "Team: a@example.com, b@example.com;", "<>, x@example.com",
        "\"a\\\"b, c\" <x@example.com>", "first.last@example.com", "\"a b\"@example.com"}) {
    EXPECT_EQ(Refusal(text), "") << text;
  }
  EXPECT_EQ(Refusal("Vornetta <vornetta@localhost>", TAddressSetting::Single), "");
  // A second "@" is left to the parser and its own message.
  EXPECT_EQ(Refusal("Hans <h@example.com> x@example.com"), "");
}

TEST(AddressSettingCheck, RefusesUnclosedEmptyAndCutAddressesNamingSettingAndEntry) {
  struct Case {
    const char* text;
    const char* entry;
    const char* reason;
  };
  for (const Case& c : {Case{"Hans <hans@example.com", "Hans <hans@example.com", "spitze Klammer"},
                        Case{"a@example.com, Name Only", "Name Only", "keine Adresse"},
                        Case{"to@example.com (Kommentar", "to@example.com (Kommentar", "Kommentar"},
                        Case{"\"Hans <h@example.com>", "\"Hans <h@example.com>", "Anf"},
                        Case{"x@example.com; y@example.", "y@example.", "endet mit"},
                        Case{"<>", "<>", ""}}) {
    SCOPED_TRACE(c.text);
    const std::string message = Refusal(c.text);
    if (*c.reason == 0) {
      EXPECT_EQ(message, "");  // "<>" alone is dropped by the parser; nothing is sent
      continue;
    }
    EXPECT_NE(message.find("(Empfänger, Einstellung empfaenger)"), std::string::npos) << message;
    EXPECT_NE(message.find(std::string("Adresse ") + c.entry + ": "), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
  EXPECT_NE(Refusal("Name Only", TAddressSetting::Single), "");
}

TEST(AddressSettingCheck, RefusesEveryControlCharacterButTab) {
  for (std::string bad : {std::string("to@example.com\r\nNOOP"), std::string("to@example.com\nNOOP"),
                          std::string("to@example.com\rNOOP"), std::string("to@example.com\0x", 16),
                          std::string("to@example.com\x1b"), std::string("to@example.com\x7f")}) {
    for (TAddressSetting kind : {TAddressSetting::List, TAddressSetting::Single}) {
      const std::string message = Refusal(bad, kind);
      EXPECT_NE(message.find("Steuerzeichen"), std::string::npos) << message;
      EXPECT_NE(message.find("(Empfänger, Einstellung empfaenger)"), std::string::npos) << message;
    }
  }
  EXPECT_EQ(Refusal("a@example.com\tb@example.com"), "");
}

// Undoes quoted-printable: soft breaks joined, "=XX" decoded.
std::vector<std::string> DecodeQuotedPrintable(const std::vector<std::string>& lines) {
  std::vector<std::string> decoded(1);
  for (std::string line : lines) {
    if (!line.empty() && line.front() == '.') line.erase(0, 1);  // dot-stuffing
    const bool soft = !line.empty() && line.back() == '=';
    if (soft) line.pop_back();
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '=') {
        decoded.back() += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        decoded.back() += line[i];
      }
    }
    if (!soft) decoded.emplace_back();
  }
  decoded.pop_back();
  return decoded;
}

TEST(QuotedPrintableBody, EncodesIntoShortLinesThatDecodeToTheSameBytes) {
  const std::vector<std::string> body{std::string(1000, 'a') + "=\xE4\xA4 .", ".start", "ende mit blank ",
                                      "", "tab\t", std::string(75, 'b') + "\xFF"};
  LineCollector out;
  for (const std::string& line : body) SendQuotedPrintable(out, line);
  for (const std::string& line : out.lines) {
    EXPECT_LE(line.size(), 76u + (line.starts_with("..") ? 1 : 0)) << line;
    for (unsigned char c : line) EXPECT_TRUE(c >= 32 && c < 127) << line;
  }
  EXPECT_EQ(DecodeQuotedPrintable(out.lines), body);
  // The last line needs a soft break: 75 letters and "=FF" are more than 76.
  ASSERT_GE(out.lines.size(), 6u);
  EXPECT_EQ(out.lines[out.lines.size() - 1], "=FF");
  EXPECT_EQ(out.lines[out.lines.size() - 3], "tab=09");
  EXPECT_EQ(out.lines[out.lines.size() - 5], "ende mit blank=20");
  EXPECT_EQ(out.lines[out.lines.size() - 6], "..start");
}

TEST(QuotedPrintableBody, IsChosenOnlyForLinesLongerThan998OctetsOnTheWire) {
  EXPECT_FALSE(NeedsQuotedPrintable(std::vector<std::string>{std::string(998, 'x'), ""}, false));
  EXPECT_TRUE(NeedsQuotedPrintable(std::vector<std::string>{"kurz", std::string(999, 'x')}, false));
  EXPECT_TRUE(NeedsQuotedPrintable(std::vector<std::string>{"." + std::string(997, 'x')}, false));  // dot-stuffed to 999
  EXPECT_TRUE(NeedsQuotedPrintable(std::vector<std::string>{"a\r\n" + std::string(999, 'x') + "\r\nb"}, false));
  EXPECT_FALSE(NeedsQuotedPrintable(std::vector<std::string>{std::string(998, 'x') + "\r\n" + std::string(998, 'x')}, false));
  // The ISO-2022-JP form is what counts: 498 kanji become 996 bytes plus two escapes.
  LanguageScope japanese(Language::Japanese);
  std::string kanji;
  for (int i = 0; i < 498; ++i) kanji += "\x93\xFA";
  EXPECT_FALSE(NeedsQuotedPrintable(std::vector<std::string>{kanji}, false));
  EXPECT_TRUE(NeedsQuotedPrintable(std::vector<std::string>{kanji}, true));
}

// Line by line, as the rule reads: the scan that skips ahead must agree with it
// on lines near the limit, leading dots and every kind of break.
bool HasOverlongLineByLines(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    const std::size_t stuffed = end > start && text[start] == '.' ? 1 : 0;
    if (end - start + stuffed > kMaxLineOctets) return true;
    if (end == text.size()) return false;
    start = end + 1;
  }
}

TEST(QuotedPrintableBody, AgreesWithTheLineByLineRuleOnTextsNearTheLimit) {
  std::mt19937 random(20261209);
  const std::vector<std::size_t> lengths{0, 1, 40, 996, 997, 998, 999, 1500};
  const std::vector<std::string> breaks{"\r\n", "\n", "\r", "\r\r"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 60);
    for (int i = 0; i < lines; ++i) {
      const std::size_t length = lengths[random() % lengths.size()];
      std::string line(length, 'x');
      if (length > 0 && random() % 3 == 0) line[0] = '.';
      // Mostly short lines, so that runs of them add up past one window.
      if (random() % 2 == 0) line.resize(std::min<std::size_t>(length, random() % 60));
      text += line;
      if (i + 1 < lines || random() % 2 == 0) text += breaks[random() % breaks.size()];
    }
    ASSERT_EQ(NeedsQuotedPrintable(std::string_view(text), false), HasOverlongLineByLines(text))
        << "round " << round;
  }
}

TEST(QuotedPrintableBody, AddsMimeVersionAndTransferEncodingHeaders) {
  LanguageScope german(Language::Other);
  TIdMessage msg;
  msg.Clock.Now = [] { return TDateTime{2026, 12, 7, 5, 10, 0}; };
  msg.Clock.UtcOffset = [] { return std::chrono::minutes(60); };
  msg.Recipients.SetListText("chef@example.com");
  msg.CharSet = "ISO-8859-15";
  msg.ContentType = "text/html";
  msg.ContentTransferEncoding = std::string(kQuotedPrintable);
  msg.Body = {"<p>\xE4</p>"};
  LineCollector out;
  WriteMessage(out, msg);
  EXPECT_EQ(out.Wire(),
            "To: chef@example.com\r\n"
            "Content-Type: text/html;\r\n"
            "\tcharset=\"ISO-8859-15\"\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "Date: Mon, 7 Dec 2026 05:10:00 +0100\r\n"
            "X-Priority: 3\r\n"
            "X-Library: Vornetta Mail 1.0\r\n"
            "\r\n"
            "<p>=E4</p>\r\n");
}

TEST(HeaderCharset, LabelsLatin9OnlyCharactersAsIso885915AndNothingElse) {
  LanguageScope german(Language::Other);
  const THeaderEncoding how = ChooseHeaderEncoding();
  EXPECT_EQ(HeaderEncodingFor(how, "Umsatz in \xA4").CharSet, "ISO-8859-15");
  for (unsigned char c : {0xA4, 0xA6, 0xA8, 0xB4, 0xB8, 0xBC, 0xBD, 0xBE})
    EXPECT_TRUE(HoldsLatin9OnlyCharacter(std::string(1, static_cast<char>(c)))) << int{c};
  EXPECT_EQ(HeaderEncodingFor(how, "Ums\xE4tze \xA3 \xA5 \xFF").CharSet, "ISO-8859-1");

  TIdMessage msg;
  msg.From.SetText("Štefan <s@example.com>");
  msg.Recipients.SetListText("Müller <m@example.com>, Œuvre <o@example.com>");
  msg.CCList.SetListText("Jürgen <j@example.com>");
  msg.Subject = "Umsatz in €";
  const TIdHeaderList headers = msg.BuildHeaderLines();
  std::string block;
  for (const std::string& line : headers.Lines()) block += line + "\n";
  EXPECT_NE(block.find("From: =?ISO-8859-15?Q?=A6tefan?= <s@example.com>\n"), std::string::npos) << block;
  EXPECT_NE(block.find("Subject: Umsatz in =?ISO-8859-15?Q?=A4?=\n"), std::string::npos) << block;
  EXPECT_NE(block.find("To: =?ISO-8859-15?Q?M=FCller?= <m@example.com>, =?ISO-8859-15?Q?=BCuvre?="),
            std::string::npos)
      << block;
  EXPECT_NE(block.find("Cc: =?ISO-8859-1?Q?J=FCrgen?= <j@example.com>\n"), std::string::npos) << block;

  // On other systems the bytes are other characters: the label stays.
  LanguageScope japanese(Language::Japanese);
  const THeaderEncoding jis = ChooseHeaderEncoding();
  EXPECT_EQ(HeaderEncodingFor(jis, "\xA4").CharSet, "ISO-2022-JP");
}

}  // namespace
}  // namespace vornetta::message

namespace vornetta::message {
namespace {

// A long UTF-8 text splits into words that each hold whole UTF-8 sequences, in
// "Q" on Latin systems and "B" where the language's header words are base64.
TEST(Utf8HeaderWords, KeepEverySequenceWholeWithTheLanguagesEncodingLetter) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Ж€";  // two- and three-byte sequences
  for (Language language : {Language::Other, Language::Japanese}) {
    LanguageScope scope(language);
    const THeaderEncoding how = Utf8HeaderEncoding(ChooseHeaderEncoding());
    EXPECT_EQ(how.CharSet, "UTF-8");
    EXPECT_EQ(how.Transfer, TTransfer::bit8);
    const std::string encoded = EncodeHeaderWords(text, "", how);
    const std::string opening = language == Language::Other ? "=?UTF-8?Q?" : "=?UTF-8?B?";
    std::size_t words = 0;
    for (std::size_t start = 0; start < encoded.size(); ++words) {
      std::size_t end = encoded.find("\r\n\t", start);
      if (end == std::string::npos) end = encoded.size();
      const std::string word = encoded.substr(start, end - start);
      EXPECT_LE(word.size(), 75u) << word;
      ASSERT_EQ(word.rfind(opening, 0), 0u) << word;
      if (language == Language::Other) {
        // Whole sequences: every word starts at a lead byte and ends after a full "Ж" or "€".
        EXPECT_TRUE(word.starts_with(opening + "=D0=96") || word.starts_with(opening + "=E2=82=AC")) << word;
        EXPECT_TRUE(word.ends_with("=D0=96?=") || word.ends_with("=E2=82=AC?=")) << word;
      }
      start = end == encoded.size() ? end : end + 3;
    }
    EXPECT_GT(words, 1u);
  }
}

}  // namespace
}  // namespace vornetta::message
