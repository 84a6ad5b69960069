// The small text rules behind the status line: sizes and the running statement.
#include <gtest/gtest.h>

#include "ui/status_texts.h"

using vornetta::ui::BuildProgressText;
using vornetta::ui::SizeText;

TEST(StatusTexts, SizesUseUnitsOf1024WithOneDecimalAndAComma) {
  EXPECT_EQ(SizeText(0), QStringLiteral("0 Bytes"));
  EXPECT_EQ(SizeText(1023), QStringLiteral("1023 Bytes"));
  EXPECT_EQ(SizeText(1024), QStringLiteral("1,0 KB"));
  EXPECT_EQ(SizeText(12 * 1024 + 300), QStringLiteral("12,3 KB"));
  EXPECT_EQ(SizeText(2516582), QStringLiteral("2,4 MB"));
}

TEST(StatusTexts, ProgressShowsALongStatementOnOneShortLine) {
  const std::string statement = "select a,\r\n\tb\r\nfrom " + std::string(100, 'x');
  const QString text = BuildProgressText(2, 3, statement, 12345);
  EXPECT_TRUE(text.startsWith(QStringLiteral("Anweisung 2 von 3: select a, b from xxx"))) << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("x… – 12345 Datensätze gelesen"))) << text.toStdString();
}
