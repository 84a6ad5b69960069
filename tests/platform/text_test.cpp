// The shared text helpers. The cases pin where the helpers differ from one
// another (which bytes each trim drops, what a break at the end means), since
// each caller chose one of them for exactly that difference.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vornetta::platform {
namespace {

using Lines = std::vector<std::string>;

TEST(Trimming, TrimDropsEveryControlByteWhileTrimBlanksDropsOnlySpaceAndTab) {
  EXPECT_EQ(Trim(" \t\r\n\x01\x1F" "a b\x7F\v "), "a b\x7F");
  EXPECT_EQ(TrimBlanks(" \t\r\na b\v \t"), "\r\na b\v");
  EXPECT_EQ(TrimLeft("\r\n a "), "a ");
  // A no-break space of the Latin code pages is a character, not a blank.
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(TrimBlanks("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(Trim(" \r\n "), "");
  EXPECT_EQ(TrimIf(";; a;", [](char c) { return c == ';' || c == ' '; }), "a");
}

TEST(AsciiCase, FoldsOnlyAsciiLettersAndComparesEveryOtherByteExactly) {
  EXPECT_EQ(LowerAscii("SELECT \xC4\xD6 Z@[`{"), "select \xC4\xD6 z@[`{");
  EXPECT_EQ(UpperAscii("localhost \xE4\xFC"), "LOCALHOST \xE4\xFC");
  EXPECT_TRUE(EqualsNoCase("Unattend", "uNATTEND"));
  EXPECT_FALSE(EqualsNoCase("\xC4", "\xE4"));  // Ä and ä of Latin-1 stay different
  EXPECT_FALSE(EqualsNoCase("ab", "abc"));
  EXPECT_TRUE(StartsWithNoCase("Select x", "select"));
  EXPECT_FALSE(StartsWithNoCase("sel", "select"));
  EXPECT_TRUE(EndsWithNoCase("report.INI", ".ini"));
  EXPECT_FALSE(EndsWithNoCase("ini", ".ini"));
}

Lines Cut(std::string_view text, FinalBreak final) {
  Lines lines;
  ForEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); }, final);
  return lines;
}

TEST(LineSplitting, SplitsAtEveryBreakWithoutAnExtraLineAtTheEnd) {
  const auto cut = [](std::string_view text) { return Cut(text, FinalBreak::EndsLastLine); };
  EXPECT_EQ(cut(""), Lines{});
  EXPECT_EQ(cut("a\r\n"), Lines{"a"});
  EXPECT_EQ(cut("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(cut("\n\r"), (Lines{"", ""}));
  EXPECT_EQ(cut("a\n\rb\r"), (Lines{"a", "", "b"}));
  std::vector<std::string_view> views = SplitLines("x\r\ny");
  EXPECT_EQ(Lines(views.begin(), views.end()), (Lines{"x", "y"}));
}

TEST(LineSplitting, AValueSentAsLinesKeepsTheEmptyLineAfterAFinalBreak) {
  const auto cut = [](std::string_view text) { return Cut(text, FinalBreak::StartsEmptyLine); };
  EXPECT_EQ(cut(""), Lines{""});
  EXPECT_EQ(cut("a\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(cut("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(cut("\r\n\r"), (Lines{"", "", ""}));
}

TEST(LineSplitting, FindsTheFirstBreakLikeASearchForEitherByte) {
  std::string text;
  unsigned state = 12345;
  for (int i = 0; i < 4000; ++i) {
    state = state * 1103515245 + 12345;
    const unsigned pick = (state >> 16) % 10;
    text += pick == 0 ? '\r' : pick == 1 ? '\n' : static_cast<char>('a' + pick);
  }
  for (std::size_t start = 0; start <= text.size() + 1; ++start)
    ASSERT_EQ(FindLineBreak(text, start), std::string_view(text).find_first_of("\r\n", start)) << start;
  EXPECT_EQ(FindLineBreak("", 0), std::string_view::npos);
  EXPECT_EQ(FindLineBreak("abc", 0), std::string_view::npos);
}

TEST(LineSplitting, EachBreakBecomesOneSpace) {
  EXPECT_EQ(LineBreaksToSpaces("a\r\nb\rc\nd"), "a b c d");
  EXPECT_EQ(LineBreaksToSpaces("\n\r\n"), "  ");  // LF, then CR LF
  EXPECT_EQ(LineBreaksToSpaces("\n\r\r\n"), "   ");  // LF, CR, CR LF
  EXPECT_EQ(LineBreaksToSpaces("x\r"), "x ");
  EXPECT_EQ(LineBreaksToSpaces(""), "");
}

TEST(Replacing, ScansOnAfterEachReplacementWithoutLookingAtItAgain) {
  EXPECT_EQ(ReplaceAll("a|||b|||", "|||", "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(ReplaceAll("     ", "  ", " "), "   ");  // one pass: five blanks become three
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("", "x", "y"), "");
}

TEST(IntegerTexts, ReadsOnlyAWholeTextInRange) {
  EXPECT_EQ(ParseInteger<int>("-42"), -42);
  EXPECT_EQ(ParseInteger<int>("ff", 16), 255);
  for (std::string_view text : {"", "+1", " 1", "1 ", "1.5", "0x10", "99999999999"})
    EXPECT_FALSE(ParseInteger<int>(text)) << text;
  EXPECT_FALSE(ParseInteger<std::int16_t>("32768"));
  EXPECT_EQ(ParseInteger<std::int16_t>("-32768"), -32768);
  EXPECT_FALSE(ParseInteger<unsigned>("-1"));
}

TEST(IntegerTexts, WritesEveryValueWithoutTheLocale) {
  EXPECT_EQ(TDecimalText(0).View(), "0");
  EXPECT_EQ(TDecimalText(std::numeric_limits<long long>::min()).View(), "-9223372036854775808");
  EXPECT_EQ(TDecimalText(std::numeric_limits<unsigned long long>::max()).View(), "18446744073709551615");
  EXPECT_EQ(DecimalText(std::size_t{12}), "12");
}

}  // namespace
}  // namespace vornetta::platform
