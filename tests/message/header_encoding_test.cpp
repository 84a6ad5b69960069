// Header charset choice, encoded words, ISO-2022-JP, folding and base64.
#include "message/header_encoding.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <string>

#include "message_test_support.h"
#include "platform/code_page.h"

namespace vornetta::message {
namespace {

using platform::Language;
using test::DecodeEncodedWords;
using test::LanguageScope;
using test::PythonDecodeHeader;

const THeaderEncoding kGerman{TTransfer::bit8, 'Q', "ISO-8859-1"};
const THeaderEncoding kGermanB{TTransfer::bit8, 'B', "ISO-8859-1"};

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0, end;
  while ((end = s.find("\r\n", start)) != std::string::npos) {
    parts.push_back(s.substr(start, end - start));
    start = end + 2;
  }
  parts.push_back(s.substr(start));
  return parts;
}

TEST(ChooseHeaderEncoding, FollowsTheSystemLanguage) {
  struct Case { Language language; TTransfer transfer; char letter; const char* charset; };
  for (const Case& c : {Case{Language::Other, TTransfer::bit8, 'Q', "ISO-8859-1"},
                        Case{Language::ChineseSimplified, TTransfer::bit8, 'B', "GB2312"},
                        Case{Language::ChineseTraditional, TTransfer::bit8, 'B', "Big5"},
                        Case{Language::Japanese, TTransfer::iso2022jp, 'B', "ISO-2022-JP"},
                        Case{Language::Korean, TTransfer::bit8, 'B', "EUC-KR"}}) {
    LanguageScope scope(c.language);
    const THeaderEncoding how = ChooseHeaderEncoding();
    EXPECT_EQ(how.Transfer, c.transfer) << c.charset;
    EXPECT_EQ(how.Encoding, c.letter) << c.charset;
    EXPECT_EQ(how.CharSet, c.charset);
  }
}

TEST(EncodeHeaderWords, LeavesAsciiWordsAlone) {
  for (const char* value : {"", "Bericht Oktober", "a, b: \"c\" (d) <e@f> = ? _", "  lead and trail  "})
    EXPECT_EQ(EncodeHeaderWords(value, "", kGerman), value);
}

TEST(EncodeHeaderWords, EncodesOnlyTheRunOfWordsThatNeedIt) {
  EXPECT_EQ(EncodeHeaderWords("Ums\xE4tze f\xFCr Oktober", "", kGerman),
            "=?ISO-8859-1?Q?Ums=E4tze_f=FCr?= Oktober");
  EXPECT_EQ(EncodeHeaderWords("Bericht f\xFCr Oktober", "", kGerman), "Bericht =?ISO-8859-1?Q?f=FCr?= Oktober");
  // Escaped inside a word: "=", "?", "_" and the space; a comma only as a special.
  EXPECT_EQ(EncodeHeaderWords("\xE4=?_, x", "", kGerman), "=?ISO-8859-1?Q?=E4=3D=3F=5F,?= x");
  EXPECT_EQ(EncodeHeaderWords("M\xFCller, Hans", kAddressSpecials, kGerman), "=?ISO-8859-1?Q?M=FCller=2C?= Hans");
  EXPECT_EQ(EncodeHeaderWords("M\xFCller, Hans", "", kGerman), "=?ISO-8859-1?Q?M=FCller,?= Hans");
  // Separators before the run stay outside it; controls need encoding too.
  EXPECT_EQ(EncodeHeaderWords("a \t\xE4", "", kGerman), "a \t=?ISO-8859-1?Q?=E4?=");
  EXPECT_EQ(EncodeHeaderWords(std::string("a\0b", 3), "", kGerman), "=?ISO-8859-1?Q?a=00b?=");
  EXPECT_EQ(EncodeHeaderWords("\xE4\xF6\xFC", "", kGermanB), "=?ISO-8859-1?B?5Pb8?=");
  EXPECT_EQ(EncodeHeaderWords("\xE4 x", "", kGermanB), "=?ISO-8859-1?B?5A==?= x");
  // "8" leaves everything as it is.
  EXPECT_EQ(EncodeHeaderWords("f\xFCr", "", '8', TTransfer::bit8, "ISO-8859-1"), "f\xFCr");
}

TEST(EncodeHeaderWords, SplitsLongRunsIntoWordsOfAtMost75Characters) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "\xDC" "bers\xE4tze ";
  subject += "Ende";
  for (const THeaderEncoding& how : {kGerman, kGermanB}) {
    const std::string encoded = EncodeHeaderWords(subject, "", how);
    const std::vector<std::string> words = Split(encoded);
    ASSERT_GT(words.size(), 3u);
    for (std::size_t i = 0; i < words.size(); ++i) {
      std::string word = words[i];
      if (i > 0) {
        ASSERT_EQ(word[0], '\t');
        word.erase(0, 1);
      }
      if (i + 1 == words.size()) word = word.substr(0, word.find(' '));
      EXPECT_LE(word.size(), 75u) << word;
      EXPECT_EQ(word.rfind("=?ISO-8859-1?", 0), 0u) << word;
      EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
    }
    EXPECT_EQ(DecodeEncodedWords(encoded), subject);
  }
}

TEST(EncodeHeaderWords, DecodesBackWithPythonForEveryLanguage) {
  struct Case { Language language; const char* utf8; };
  const Case cases[] = {
      {Language::Other, "Umsätze für Oktober, Übersicht \"Quartal\" = 100 % _ ?"},
      {Language::Japanese, "月次報告 売上 ｶﾞｲﾄﾞ テスト report"},
      {Language::Korean, "월간 보고서 매출 report"},
      {Language::ChineseSimplified, "月度报告 销售 report"},
      {Language::ChineseTraditional, "月度報告 銷售 report"},
  };
  for (const Case& c : cases) {
    LanguageScope scope(c.language);
    const std::string subject = platform::FromUtf8(c.utf8);
    const THeaderEncoding chosen = ChooseHeaderEncoding();
    for (char letter : {'Q', 'B'}) {
      const std::string value = EncodeHeaderWords(subject, "", letter, chosen.Transfer, chosen.CharSet);
      const std::vector<std::string> lines = FoldHeaderLine("Subject: " + value);
      std::string expected = c.utf8;
      if (c.language == Language::Japanese)  // half-width kana arrive as full-width kana
        expected.replace(expected.find("ｶﾞｲﾄﾞ"), std::string("ｶﾞｲﾄﾞ").size(), "ガイド");
      EXPECT_EQ(PythonDecodeHeader(lines), expected) << c.utf8 << " " << letter;
    }
  }
}

// The bytes of one encoded word decoded to UTF-8 on their own, as a reader that
// takes every word by itself sees them; "<broken>" when they are not whole characters.
std::string DecodeOneWord(const std::string& word) {
  const std::size_t q1 = word.find('?', 2);
  const std::string charset = word.substr(2, q1 - 2);
  std::string bytes = DecodeEncodedWords(word);
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string out(bytes.size() * 4 + 16, '\0');
  char* src = bytes.data();
  char* dst = out.data();
  size_t inLeft = bytes.size(), outLeft = out.size();
  const bool whole = iconv(cd, &src, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  if (!whole) return "<broken>";
  out.resize(out.size() - outLeft);
  // ISO-2022-JP: a word must end in ASCII, or the next one starts in the wrong state.
  const std::size_t enter = bytes.rfind("\x1b$B");
  const std::size_t leave = bytes.rfind("\x1b(B");
  if (enter != std::string::npos && (leave == std::string::npos || leave < enter)) return "<ends in JIS>";
  return out;
}

TEST(EncodeHeaderWords, SplitsLongRunsOnlyBetweenWholeCharacters) {
  struct Case { Language language; const char* utf8; };
  const Case cases[] = {
      {Language::Japanese, "月次報告売上一覧表東京大阪名古屋福岡札幌仙台広島神戸京都横浜千葉埼玉"},
      {Language::Japanese, "a漢字b漢字c漢字d漢字e漢字f漢字g漢字h漢字i漢字j漢字k漢字l漢字m漢字n漢字"},
      {Language::Korean, "월간보고서매출월간보고서매출월간보고서매출월간보고서매출월간보고서매출"},
      {Language::ChineseSimplified, "x月度报告销售月度报告销售月度报告销售月度报告销售月度报告销售月度报告"},
      {Language::ChineseTraditional, "月度報告銷售月度報告銷售月度報告銷售月度報告銷售月度報告銷售月度報告"},
  };
  for (const Case& c : cases) {
    LanguageScope scope(c.language);
    const std::string subject = platform::FromUtf8(c.utf8);
    const THeaderEncoding chosen = ChooseHeaderEncoding();
    for (char letter : {'B', 'Q'}) {
      const std::string encoded = EncodeHeaderWords(subject, "", letter, chosen.Transfer, chosen.CharSet);
      const std::vector<std::string> words = Split(encoded);
      ASSERT_GT(words.size(), 1u) << c.utf8 << " " << letter;
      std::string decoded;
      for (std::string word : words) {
        if (word[0] == '\t') word.erase(0, 1);
        EXPECT_LE(word.size(), 75u) << word;
        decoded += DecodeOneWord(word);
      }
      EXPECT_EQ(decoded, c.utf8) << letter;
    }
  }
}

TEST(ConvertToIso2022JP, ConvertsShiftJisAndHalfWidthKana) {
  EXPECT_EQ(ConvertToIso2022JP("abc"), "abc");
  EXPECT_EQ(ConvertToIso2022JP(""), "");
  EXPECT_EQ(ConvertToIso2022JP("\x82\xA0x"), "\x1b$B\x24\x22\x1b(Bx");      // hiragana a
  EXPECT_EQ(ConvertToIso2022JP("\x88\x9F\xE0\x40"), "\x1b$B\x30\x21\x5F\x21\x1b(B");
  EXPECT_EQ(ConvertToIso2022JP("\xB6\xDE\xCA\xDF\xB3\xDE\xB1\xDE"),  // ga pa vu a+mark
            "\x1b$B\x25\x2C\x25\x51\x25\x74\x25\x22\x21\x2B\x1b(B");
  // Broken pairs, user-defined lead bytes, a lead byte standing last, and the
  // single bytes without a character are all dropped.
  EXPECT_EQ(ConvertToIso2022JP("a\x81\x20" "b"), "ab");
  EXPECT_EQ(ConvertToIso2022JP("a\xF0\x40" "b"), "ab");
  EXPECT_EQ(ConvertToIso2022JP("a\x80\xA0\xFD\xFE\xFF" "b\x82"), "ab");
}

TEST(ConvertToIso2022JP, AgreesWithThePlatformConverterOnEveryKanaAndCommonCharacters) {
  LanguageScope scope(Language::Japanese);
  // Full-width text round-trips through the platform's own ISO-2022-JP.
  const std::string text = platform::FromUtf8("漢字とひらがな、カタカナ。ＡＢＣ１２３「」・ー");
  const std::string converted = ConvertToIso2022JP(text);
  std::string reference;
  {
    iconv_t cd = iconv_open("ISO-2022-JP", "CP932");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in = text;
    reference.resize(in.size() * 4 + 16);
    char* src = in.data();
    char* dst = reference.data();
    size_t inLeft = in.size(), outLeft = reference.size();
    ASSERT_NE(iconv(cd, &src, &inLeft, &dst, &outLeft), static_cast<size_t>(-1));
    ASSERT_NE(iconv(cd, nullptr, nullptr, &dst, &outLeft), static_cast<size_t>(-1));
    reference.resize(reference.size() - outLeft);
    iconv_close(cd);
  }
  EXPECT_EQ(converted, reference);
  // Every half-width kana decodes to the full-width kana of the same sound.
  for (int b = 0xA1; b <= 0xDD; ++b) {
    const std::string kana(1, static_cast<char>(b));
    std::string decoded;
    iconv_t cd = iconv_open("UTF-8", "ISO-2022-JP");
    std::string in = ConvertToIso2022JP(kana);
    decoded.resize(16);
    char* src = in.data();
    char* dst = decoded.data();
    size_t inLeft = in.size(), outLeft = decoded.size();
    iconv(cd, &src, &inLeft, &dst, &outLeft);
    decoded.resize(decoded.size() - outLeft);
    iconv_close(cd);
    // The half-width form's compatibility mapping, via the platform's CP932 decoder.
    const std::string halfWidth = platform::ToUtf8(kana);
    ASSERT_EQ(halfWidth.size(), 3u) << b;
    const char32_t half = ((halfWidth[0] & 0x0F) << 12) | ((halfWidth[1] & 0x3F) << 6) | (halfWidth[2] & 0x3F);
    ASSERT_EQ(decoded.size(), 3u) << b;
    const char32_t full = ((decoded[0] & 0x0F) << 12) | ((decoded[1] & 0x3F) << 6) | (decoded[2] & 0x3F);
    static const char32_t kFullForms[] = {
        0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3,
        0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF,
        0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8,
        0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF,
        0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF,
        0x30F3};
    EXPECT_EQ(half, 0xFF61u + (b - 0xA1)) << b;
    EXPECT_EQ(full, kFullForms[b - 0xA1]) << b;
  }
}

TEST(FoldHeaderLine, KeepsShortLinesAndFoldsAtTheLastBlankBeforeTheWidth) {
  const std::string head = "Subject: ";
  const std::string line78 = head + std::string(30, 'a') + " " + std::string(78 - 40, 'b');
  ASSERT_EQ(line78.size(), 78u);
  EXPECT_EQ(FoldHeaderLine(line78), std::vector<std::string>{line78});
  const std::string line79 = line78 + "b";
  EXPECT_EQ(FoldHeaderLine(line79), std::vector<std::string>{line79});
  const std::string line80 = line79 + "b";
  EXPECT_EQ(FoldHeaderLine(line80),
            (std::vector<std::string>{head + std::string(30, 'a'), " " + std::string(80 - 40, 'b')}));
  // A list folds after the commas.
  std::string list = "To: ";
  for (int i = 0; i < 6; ++i) list += (i ? ", " : "") + std::string("empfaenger") + char('0' + i) + "@example.com";
  const std::vector<std::string> listLines = FoldHeaderLine(list);
  ASSERT_EQ(listLines.size(), 2u);
  EXPECT_EQ(listLines[0].back(), ',');
  EXPECT_EQ(listLines[1].rfind(" ", 0), 0u);
  EXPECT_LE(listLines[0].size(), 78u);
}

TEST(FoldHeaderLine, NeverBreaksWordsQuotesOrEncodedWords) {
  const std::string longWord(100, 'x');
  EXPECT_EQ(FoldHeaderLine(longWord), std::vector<std::string>{longWord});
  EXPECT_EQ(FoldHeaderLine("Subject: " + longWord), (std::vector<std::string>{"Subject:", " " + longWord}));
  const std::string quoted = "From: \"" + std::string(40, 'n') + ", " + std::string(40, 'm') + "\" <a@b.de>";
  EXPECT_EQ(FoldHeaderLine(quoted), (std::vector<std::string>{"From:", " " + quoted.substr(6)}));
  // A comma inside a "Q" word of a subject is no fold point.
  const std::string word = "=?ISO-8859-1?Q?" + std::string(30, 'a') + ",=E4" + std::string(20, 'b') + "?=";
  const std::string value = std::string(20, 'z') + word;
  EXPECT_EQ(FoldHeaderLine("Subject: " + value), (std::vector<std::string>{"Subject:", " " + value}));
  // An unbalanced quote stops folding for the rest; nothing is lost.
  const std::string unbalanced = "X: \"" + std::string(50, 'q') + " " + std::string(50, 'r');
  EXPECT_EQ(FoldHeaderLine(unbalanced), std::vector<std::string>{unbalanced});
}

TEST(FoldHeaderLine, KeepsExistingBreaksAndNeverLetsAValueStartALine) {
  EXPECT_EQ(FoldHeaderLine("Content-Type: text/html;\r\n\tcharset=\"ISO-8859-15\""),
            (std::vector<std::string>{"Content-Type: text/html;", "\tcharset=\"ISO-8859-15\""}));
  EXPECT_EQ(FoldHeaderLine("Subject: a\r\nBcc: x@y.de"), std::vector<std::string>{"Subject: a  Bcc: x@y.de"});
  EXPECT_EQ(FoldHeaderLine("Subject: a\rb\nc"), std::vector<std::string>{"Subject: a b c"});
  // Blank continuation lines would end the header block: they are left out.
  EXPECT_EQ(FoldHeaderLine("Subject: a\r\n \r\n\t\r\n b  "), (std::vector<std::string>{"Subject: a", " b"}));
  EXPECT_EQ(FoldHeaderLine(""), std::vector<std::string>{""});
}

TEST(FoldHeaderLine, CountsADoubleByteCharacterAsOneColumn) {
  const std::string kanji = "\x8A\xBF";  // two bytes, one character in CP932
  std::string line = "Subject: ";
  for (int i = 0; i < 60; ++i) line += kanji;
  line += " tail";
  {
    LanguageScope scope(Language::Japanese);
    EXPECT_EQ(FoldHeaderLine(line).size(), 1u);
  }
  EXPECT_EQ(FoldHeaderLine(line).size(), 3u);  // the Latin code page counts bytes
}

TEST(TIdEncoderMIME, EncodesBase64InOneLine) {
  EXPECT_EQ(TIdEncoderMIME::EncodeText(""), "");
  EXPECT_EQ(TIdEncoderMIME::EncodeText("a"), "YQ==");
  EXPECT_EQ(TIdEncoderMIME::EncodeText("ab"), "YWI=");
  EXPECT_EQ(TIdEncoderMIME::EncodeText("abc"), "YWJj");
  EXPECT_EQ(TIdEncoderMIME::EncodeText(std::string_view("\xFF\xFE\x00?>", 5)), "//4APz4=");
  EXPECT_EQ(TIdEncoderMIME::EncodeText(std::string(100, 'x')).find('\n'), std::string::npos);
  EXPECT_EQ(TIdEncoderMIME::EncodeText("Benutzer@example.com"), "QmVudXR6ZXJAZXhhbXBsZS5jb20=");
}

TEST(HeaderEncodingRobustness, HugeAndBrokenInputsFinish) {
  std::string megabyte;
  megabyte.reserve(1 << 20);
  for (std::size_t i = 0; megabyte.size() < (1u << 20); ++i)
    megabyte += static_cast<char>(i % 7 == 0 ? ' ' : i % 5 == 0 ? ',' : 0x80 + i % 120);
  for (Language language : {Language::Other, Language::Japanese, Language::Korean}) {
    LanguageScope scope(language);
    const std::string encoded = EncodeHeaderWords(megabyte, kAddressSpecials, ChooseHeaderEncoding());
    const std::vector<std::string> lines = FoldHeaderLine("Subject: " + encoded);
    EXPECT_GT(lines.size(), 1000u);
    for (std::size_t i = 1; i < lines.size(); ++i) ASSERT_TRUE(lines[i][0] == ' ' || lines[i][0] == '\t');
  }
  EXPECT_FALSE(ConvertToIso2022JP(megabyte).empty());
  const std::string noBlank(1 << 20, 'x');
  EXPECT_EQ(FoldHeaderLine(noBlank).size(), 1u);
  std::string fakeWords;
  for (int i = 0; i < 100000; ++i) fakeWords += "=?a?Q?";
  EXPECT_EQ(FoldHeaderLine(fakeWords).size(), 1u);
}

}  // namespace
}  // namespace vornetta::message
