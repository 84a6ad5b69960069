// The warning about a password others may read: which settings hold a
// password, and which file modes let others read it.
#include "config/password_exposure.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "temp_folder.h"

using namespace vornetta::config;
using namespace vornetta::config::testing;

TEST(PasswordExposure, WarnsForAPasswordReadableByGroupOrOthersOnly) {
  TempFolder folder;
  const std::string path = folder / "bericht.ini";
  WriteBytes(path, "[email]\r\nsmtppass=geheim\r\n");
  TMyIniFile ini(path);
  const std::string warning = "Warnung: " + path + " ist für andere lesbar; chmod 600 empfohlen";
  for (unsigned mode : {0644u, 0640u, 0604u}) {
    ::chmod(path.c_str(), mode);
    EXPECT_EQ(PasswordExposureWarning(ini), warning) << std::oct << mode;
  }
  for (unsigned mode : {0600u, 0400u, 0622u}) {
    ::chmod(path.c_str(), mode);
    EXPECT_EQ(PasswordExposureWarning(ini), "") << std::oct << mode;
  }
}

TEST(PasswordExposure, CountsTheSmtpPasswordAndAPasswordInTheConnectionString) {
  TempFolder folder;
  const std::string path = folder / "bericht.ini";
  auto warns = [&](const std::string& bytes) {
    WriteBytes(path, bytes);
    ::chmod(path.c_str(), 0644);
    return !PasswordExposureWarning(TMyIniFile(path)).empty();
  };
  EXPECT_TRUE(warns("[datenbank]\r\nconnection=DRIVER=MariaDB;UID=bericht;PWD=geheim\r\n"));
  EXPECT_TRUE(warns("[datenbank]\r\nconnection=Provider=MSDASQL.1;Password=\"geheim\";User ID=b\r\n"));
  EXPECT_TRUE(warns("[datenbank]\r\nconnection=DRIVER=MariaDB; pwd = {ge;heim}\r\n"));
  EXPECT_FALSE(warns("[email]\r\nsmtppass=\r\nsmtpuser=bericht\r\n"));
  EXPECT_FALSE(warns("[datenbank]\r\nconnection=DRIVER=MariaDB;UID=bericht;PWD=;Database=x\r\n"));
  EXPECT_FALSE(warns("[datenbank]\r\nconnection=DRIVER=SQLite3;Database=/srv/passwords.db\r\n"));
  EXPECT_FALSE(warns(""));
}
