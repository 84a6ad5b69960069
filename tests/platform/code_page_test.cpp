#include "platform/code_page.h"

#include <gtest/gtest.h>

using namespace vornetta::platform;

namespace {

struct LanguageScope {
  explicit LanguageScope(Language l) { UseSystemLanguage(l); }
  ~LanguageScope() { UseSystemLanguage(Language::Other); }
};

}  // namespace

TEST(LocaleLanguage, FollowsLanguageAndTerritory) {
  EXPECT_EQ(LanguageOf("de_DE.UTF-8"), Language::Other);
  EXPECT_EQ(LanguageOf("ja_JP.UTF-8"), Language::Japanese);
  EXPECT_EQ(LanguageOf("ko_KR"), Language::Korean);
  EXPECT_EQ(LanguageOf("zh_CN.GB18030"), Language::ChineseSimplified);
  EXPECT_EQ(LanguageOf("zh_SG"), Language::ChineseSimplified);
  EXPECT_EQ(LanguageOf("zh_TW.UTF-8"), Language::ChineseTraditional);
  EXPECT_EQ(LanguageOf("zh"), Language::ChineseTraditional);
  EXPECT_EQ(LanguageOf("C"), Language::Other);
  EXPECT_EQ(LanguageOf(""), Language::Other);
}

TEST(LatinCodePage, KeepsUmlautsAndEuroAsSingleBytes) {
  LanguageScope latin(Language::Other);
  EXPECT_EQ(FromUtf8("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC"), "Gr\xFC\xDF" "e \xA4");
  EXPECT_EQ(ToUtf8("\xE4\xF6\xFC\xA4"), "\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC");
  EXPECT_EQ(ToUtf16("\xC4"), u"\u00C4");
  EXPECT_EQ(FromUtf16(u"\u20AC5"), "\xA4" "5");
}

TEST(LatinCodePage, ReplacesWhatItCannotHoldByOneQuestionMarkPerCharacter) {
  LanguageScope latin(Language::Other);
  EXPECT_EQ(FromUtf8("\xD0\x96 \xE4\xB8\xAD \xF0\x9F\x98\x80"), "? ? ?");  // Cyrillic, CJK, emoji
  EXPECT_EQ(FromUtf16(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(FromUtf16(u"\u00A4"), "?");  // the Latin-1 currency sign is not in Latin-9
  EXPECT_EQ(FromUtf8("\xFF\xC3"), "??");  // broken UTF-8
}

TEST(DoubleByteCodePages, ConvertThroughIconv) {
  LanguageScope japanese(Language::Japanese);
  EXPECT_STREQ(SystemCodePage(), "CP932");
  const std::string nihongo = "\x93\xFA\x96\x7B";  // 日本 in CP932
  EXPECT_EQ(ToUtf8(nihongo), "\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(FromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"), nihongo);
  EXPECT_EQ(FromUtf16(u"\U0001F600x"), "?x");
  EXPECT_TRUE(IsDbcsLeadByte(0x93));
  EXPECT_FALSE(IsDbcsLeadByte('A'));
  EXPECT_EQ(ToUtf8("\x81"), "?");  // a lead byte cut off at the end
}

TEST(DoubleByteCodePages, LeadBytesOnlyInDoubleByteCodePages) {
  {
    LanguageScope korean(Language::Korean);
    EXPECT_TRUE(IsDbcsLeadByte(0xB0));
  }
  EXPECT_FALSE(IsDbcsLeadByte(0xB0));
}

TEST(ExactConversion, FailsWhereTheCodePageWouldPutAQuestionMark) {
  std::string out;
  EXPECT_TRUE(FromUtf16Exact(u"Größe 5 € ?", out));
  EXPECT_EQ(out, "Gr\xF6\xDF" "e 5 \xA4 ?");
  EXPECT_FALSE(FromUtf16Exact(u"Eilig \u2013 bitte", out));
  EXPECT_FALSE(FromUtf16Exact(u"\u00A4", out));  // the Latin-1 currency sign has no place in Latin-9
  EXPECT_FALSE(FromUtf16Exact(u"a\U0001F600", out));
  EXPECT_TRUE(FromUtf8Exact("Datensätze", out));
  EXPECT_EQ(out, "Datens\xE4tze");
  EXPECT_FALSE(FromUtf8Exact("\xE4", out));  // not UTF-8
  EXPECT_EQ(Utf16ToUtf8(u"Łukasz \U0001F600 \xD800"), "Łukasz 😀 \uFFFD");
  LanguageScope japanese(Language::Japanese);
  EXPECT_TRUE(FromUtf8Exact("日本語", out));
  EXPECT_EQ(out, "\x93\xFA\x96\x7B\x8C\xEA");
  EXPECT_FALSE(FromUtf8Exact("Datensätze", out));
  EXPECT_FALSE(FromUtf16Exact(u"\u0141", out));
}

// Overlong forms, surrogates and values beyond Unicode are no characters: taken
// as one, "\xC1\xAA" would pass as "j" every check made on the text.
TEST(Utf8Text, RefusesOverlongFormsAndSurrogates) {
  for (const char* bad : {"\xC1\xAA", "\xE0\x81\xAA", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    EXPECT_FALSE(IsUtf8(bad)) << bad;
    std::string out;
    EXPECT_FALSE(FromUtf8Exact(bad, out)) << bad;
    EXPECT_EQ(WellFormedUtf8(std::string("a") + bad + "b"), "a?b") << bad;
  }
  EXPECT_EQ(WellFormedUtf8("j\xC3\xBC\xF0\x9F\x98\x80"), "j\xC3\xBC\xF0\x9F\x98\x80");
}
