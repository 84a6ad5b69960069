#include "report/column_sum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/code_page.h"

using namespace vornetta::report;
namespace platform = vornetta::platform;

TEST(TextToNumber, ReadsEitherDecimalConventionAndIgnoresSurroundings) {
  struct Reading {
    const char* text;
    double expected;
  };
  const Reading readings[] = {
      {"1234,56", 1234.56}, {"1.234,56", 1234.56}, {"1234.56", 1234.56},
      {"1.234", 1.234},     {"1,234.56", 1.23456}, {"EUR 12,50", 12.5},
      {"-3", -3},           {"5-", 5},             {"--5", 0},
      {"-,5", -0.5},        {",5", 0.5},           {"1,2,3", 1.2},
      {"07.12.2026", 7.12}, {"12:30:00", 12},      {"1e5", 1},
      {"True", 0},          {"abc", 0},            {"", 0},
      {"Artikel 12 (Karton)", 12},
      {"-", 0},             {"-0,", 0},            {"0,", 0},
      {"5,", 5},            {"a-b5", 0},           {"x -7,25 y", -7.25},
  };
  for (const Reading& r : readings) {
    EXPECT_DOUBLE_EQ(TextToNumber(r.text), r.expected) << "value text \"" << r.text << "\"";
  }
}

TEST(TextToNumber, HandlesLongAndHugeTexts) {
  // Longer than any fixed scratch space.
  std::string longFraction = "0," + std::string(400, '0') + "1";
  EXPECT_EQ(TextToNumber(longFraction), 0.0);
  std::string longNumber = std::string(300, ' ') + "42" + std::string(300, 'x');
  EXPECT_EQ(TextToNumber(longNumber), 42.0);
  EXPECT_EQ(TextToNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
  EXPECT_EQ(TextToNumber("-" + std::string(400, '9')), -std::numeric_limits<double>::infinity());
  EXPECT_DOUBLE_EQ(TextToNumber("123456789012345678"), 123456789012345678.0);
}

TEST(FormatSum, GeneralFormatWithFifteenDigits) {
  EXPECT_EQ(FormatSum(0.0, ','), "0");
  EXPECT_EQ(FormatSum(-0.0, ','), "0");
  EXPECT_EQ(FormatSum(12.5, ','), "12,5");
  EXPECT_EQ(FormatSum(12.5, '.'), "12.5");
  EXPECT_EQ(FormatSum(20.0, ','), "20");
  EXPECT_EQ(FormatSum(1234.56, ','), "1234,56");
  EXPECT_EQ(FormatSum(-7.25, ','), "-7,25");
  EXPECT_EQ(FormatSum(1000000.0, ','), "1000000");
  EXPECT_EQ(FormatSum(0.1 + 0.2, ','), "0,3");
  EXPECT_EQ(FormatSum(1.0 / 3.0, ','), "0,333333333333333");
  EXPECT_EQ(FormatSum(0.0001, ','), "0,0001");
  EXPECT_EQ(FormatSum(0.00012345, ','), "0,00012345");
}

TEST(FormatSum, ScientificBeyondFifteenIntegerDigitsAndBelowOneTenThousandth) {
  EXPECT_EQ(FormatSum(0.00005, ','), "5E-5");
  EXPECT_EQ(FormatSum(-0.00005, ','), "-5E-5");
  EXPECT_EQ(FormatSum(0.000012345, ','), "1,2345E-5");
  EXPECT_EQ(FormatSum(1e20, ','), "1E20");
  EXPECT_EQ(FormatSum(-1e20, ','), "-1E20");
  EXPECT_EQ(FormatSum(123456789012345.0, ','), "123456789012345");     // 15 integer digits
  EXPECT_EQ(FormatSum(1234567890123456.0, ','), "1,23456789012346E15");  // 16
  EXPECT_EQ(FormatSum(-1234567890123456.0, '.'), "-1.23456789012346E15");
  EXPECT_EQ(FormatSum(999999999999999.9, ','), "1E15");  // rounds up to 16 digits
  EXPECT_EQ(FormatSum(1e-300, ','), "1E-300");
  EXPECT_EQ(FormatSum(std::numeric_limits<double>::infinity(), ','), "INF");
  EXPECT_EQ(FormatSum(-std::numeric_limits<double>::infinity(), ','), "-INF");
  EXPECT_EQ(FormatSum(std::nan(""), ','), "NAN");
}

TEST(TDouble, AddsInRecordOrder) {
  TDouble sum(0);
  EXPECT_EQ(sum.Add(TextToNumber("12,5")), 12.5);
  EXPECT_EQ(sum.Add(TextToNumber("7.5")), 20.0);
  EXPECT_EQ(sum.Value(), 20.0);
  EXPECT_EQ(FormatSum(sum.Value(), ','), "20");
}

TEST(CharFilter, KeepsOnlyAllowedCharacters) {
  const std::string allowed = "abcdefghijklmnopqrstuvwxyz0123456789";
  EXPECT_EQ(KeepChars("Umsatz (€) 2024", allowed), "msatz2024");
  EXPECT_EQ(KeepChars("umsatz (€) 2024", allowed), "umsatz2024");
  EXPECT_EQ(KeepChars("", allowed), "");
  EXPECT_EQ(KeepChars("abc", ""), "");
  EXPECT_EQ(FilterChars("a b", allowed, "_"), "a_b");
  EXPECT_EQ(FilterChars("a  b", allowed, "--"), "a----b");
  EXPECT_EQ(FilterChars(std::string("a\0b", 3), allowed, "."), "a.b");
  EXPECT_EQ(FilterChars("Größe", allowed, ""), "re");
}

TEST(CharFilter, TakesCharactersOfSeveralBytesWhole) {
  const std::string allowed = "abcdefghijklmnopqrstuvwxyz0123456789";
  EXPECT_EQ(FilterChars("x日本y", allowed, "_"), "x__y");
  EXPECT_EQ(FilterChars("a\xE6\x97", allowed, "_"), "a_");  // a character cut off at the end
  EXPECT_EQ(KeepChars("日q本", "q本"), "q本");
  EXPECT_EQ(KeepChars("日", "\x97"), "");  // a later byte alone is no character
}
