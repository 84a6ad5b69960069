// tools/ini_write as scripts/demo.sh runs it: what it stores reads back through the
// program's INI code unchanged, and what the file cannot hold fails with a message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/my_ini_file.h"
#include "e2e/unattended_harness.h"
#include "platform/code_page.h"

using vornetta::config::TMyIniFile;
using namespace vornetta::e2e;

namespace {

// The Latin code page, whatever locale the test runs under.
const std::vector<std::string> kLatinLocale = {"LC_ALL=C.UTF-8"};

std::string ToolPath() {
  const char* binary = std::getenv("VORNETTA_BINARY_DIR");
  return std::string(binary ? binary : "build") + "/tools/ini_write";
}

class IniWrite : public ::testing::Test {
 protected:
  void SetUp() override { vornetta::platform::UseSystemLanguage(vornetta::platform::Language::Other); }

  TProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {ToolPath(), ini_});
    return RunProcess(args, kLatinLocale);
  }

  TTempDir dir_;
  const std::string ini_ = dir_ / "demo.ini";
};

TEST_F(IniWrite, StoresValuesInTheCodePageEscapedAndQuotedAsTheProgramReadsThem) {
  ASSERT_EQ(Run({"email", "betreff", "Ums\xC3\xA4tze\tQ1"}).exitStatus, 0);
  ASSERT_EQ(Run({"email", "absender", " 'Vornetta' "}).exitStatus, 0);
  ASSERT_EQ(Run({"email", "bcc", ""}).exitStatus, 0);
  EXPECT_EQ(ReadFile(ini_), "[email]\r\nbetreff=Ums\xE4tze##09Q1\r\nabsender=\" 'Vornetta' \"\r\nbcc=\r\n");
  TMyIniFile ini(ini_);
  EXPECT_EQ(ini.ReadValue("email", "absender", ""), " 'Vornetta' ");
}

TEST_F(IniWrite, FileValueKeepsEveryLineBreakAsCrLfWithoutTheFinalOne) {
  WriteFile(dir_ / "kopf.html", "<h1>K\xC3\xB6ln</h1>\n<p>\tA</p>\r\n\r\n<p>B</p>\n");
  const auto result = Run({"email", "kopfzeile", "--file", dir_ / "kopf.html"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(TMyIniFile(ini_).ReadValue("email", "kopfzeile", ""),
            "<h1>Köln</h1>\r\n<p>\tA</p>\r\n\r\n<p>B</p>");
}

TEST_F(IniWrite, TextBecomesNumberedKeysThatReplaceTheOldOnes) {
  WriteFile(dir_ / "long.sql", "select 1;\nselect 2;\nselect 3;\n");
  WriteFile(dir_ / "short.sql", "select 'm\xC3\xBC';\r\n  update t set a = 1;");
  ASSERT_EQ(Run({"sql", "--text", dir_ / "long.sql"}).exitStatus, 0);
  ASSERT_EQ(Run({"sql", "--text", dir_ / "short.sql"}).exitStatus, 0);
  TMyIniFile ini(ini_);
  EXPECT_EQ(ini.KeyNames("sql"), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(ini.ReadText("sql"), "select 'mü';\r\n  update t set a = 1;\r\n");
}

TEST_F(IniWrite, WhatTheFileCannotHoldFailsWithAMessageAndIsNotStored) {
  // A character outside ISO-8859-15.
  auto result = Run({"email", "betreff", "\xCE\xA9"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("[email] betreff holds a character that ISO-8859-15 cannot hold"),
            std::string::npos) << result.err;
  EXPECT_FALSE(TMyIniFile(ini_).HasKey("email", "betreff"));

  // An escape sequence in the text itself would come back as a line break.
  result = Run({"email", "css", "a##10b"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("cannot store [email] css in " + ini_), std::string::npos) << result.err;

  result = Run({"email", "css", "--file", dir_ / "missing.css"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("cannot read " + (dir_ / "missing.css")), std::string::npos) << result.err;

  const std::string elsewhere = dir_ / "no-such-folder/demo.ini";
  result = RunProcess({ToolPath(), elsewhere, "a", "b", "c"}, kLatinLocale);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("cannot store [a] b in " + elsewhere), std::string::npos) << result.err;

  EXPECT_EQ(Run({"email"}).exitStatus, 2);
}

}  // namespace
