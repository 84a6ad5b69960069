// The passwords hidden in the connection-test log.
#include <gtest/gtest.h>

#include "commands/secret_mask.h"

using vornetta::commands::MaskPasswords;

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
