// The small text rules behind the window: sizes in the status line and the
// passwords hidden in the connection-test log.
#include <gtest/gtest.h>

#include "ui/secret_mask.h"
#include "ui/status_texts.h"

using vornetta::ui::BuildProgressText;
using vornetta::ui::MaskPasswords;
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

TEST(SecretMask, HidesEveryPasswordValueAndKeepsTheRest) {
  EXPECT_EQ(MaskPasswords("Driver={MariaDB};Server=db;Uid=admin;Pwd=geheim;Database=x"),
            "Driver={MariaDB};Server=db;Uid=admin;Pwd=***;Database=x");
  // The stored ADO form: the outer Password and the PWD inside the quoted properties.
  EXPECT_EQ(MaskPasswords("Provider=MSDASQL.1;Password=a1;User ID=u;Extended Properties=\"DATABASE=d;"
                          "DRIVER={MySQL ODBC 3.51 Driver};PWD=b2;UID=u\""),
            "Provider=MSDASQL.1;Password=***;User ID=u;Extended Properties=\"DATABASE=d;"
            "DRIVER={MySQL ODBC 3.51 Driver};PWD=***;UID=u\"");
  EXPECT_EQ(MaskPasswords("pwd={se;cr=et};uid=x"), "pwd=***;uid=x");
  EXPECT_EQ(MaskPasswords("Server=h; PASSWORD = ganz geheim"), "Server=h; PASSWORD =***");
  EXPECT_EQ(MaskPasswords("Jet OLEDB:Database Password=x;Passwort=y;Passwd=z"),
            "Jet OLEDB:Database Password=***;Passwort=***;Passwd=***");
  EXPECT_EQ(MaskPasswords("DSN=lager;Database=pwd.db"), "DSN=lager;Database=pwd.db");
  EXPECT_EQ(MaskPasswords("Pwd="), "Pwd=***");
}
