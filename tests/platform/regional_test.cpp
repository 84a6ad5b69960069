#include "platform/regional.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace vornetta::platform;

TEST(Regional, FollowsTheGermanLocale) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 missing";
  EXPECT_EQ(DecimalSeparator(), ',');
  std::tm t{};
  t.tm_year = 126; t.tm_mon = 11; t.tm_mday = 8; t.tm_hour = 9; t.tm_min = 5; t.tm_sec = 7;
  EXPECT_EQ(FormatShortDate(t), "08.12.2026");
  EXPECT_EQ(FormatShortTime(t), "09:05:07");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(DecimalSeparator(), '.');
}
