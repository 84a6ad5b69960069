#include "config/my_ini_file.h"

#include <gtest/gtest.h>

#include <clocale>

#include "platform/code_page.h"
#include "temp_folder.h"

using namespace vornetta::config;
using namespace vornetta::config::testing;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder / "vornetta.ini";
  TMyIniFile ini{path};

  void Given(const std::string& bytes) { WriteBytes(path, bytes); }
  std::string File() const { return ReadBytes(path); }
};

}  // namespace

TEST_F(IniFileTest, EscapesCrThenLfThenTabAndReadsThemBack) {
  ini.WriteValue("email", "kopfzeile", "A\r\nB\tC\rD\nE");
  EXPECT_EQ(File(), "[email]\r\nkopfzeile=A##13##10B##09C##13D##10E\r\n");
  EXPECT_EQ(ini.ReadValue("email", "kopfzeile", "x"), "A\r\nB\tC\rD\nE");

  // Escape codes typed by hand read as the control characters, also next to other "#".
  Given("[email]\r\nv=##10##13##09|###13|##1##10|##99|##13\r\n");
  EXPECT_EQ(ini.ReadValue("email", "v", ""), "\n\r\t|#\r|##1\n|##99|\r");
}

TEST_F(IniFileTest, ReadsValuesOfAHandEditedFile) {
  Given(Fixture("messy.ini"));
  EXPECT_EQ(ini.ReadValue("email", "betreff", "-"), "Monatsbericht");
  EXPECT_EQ(ini.ReadValue("EMAIL", "QUOTED", "-"), "  Lager & Co  ");
  EXPECT_EQ(ini.ReadValue("email", "single", "-"), "x");
  EXPECT_EQ(ini.ReadValue("email", "mixed", "-"), "\"x'");
  EXPECT_EQ(ini.ReadValue("email", "double", "-"), "\"y\"");
  EXPECT_EQ(ini.ReadValue("email", "empfaenger", "-"), "erster@example.org");
  EXPECT_EQ(ini.ReadValue("email", "cc", "-"), "kopie@example.org");
  EXPECT_EQ(ini.ReadValue("email", "a line without an equals sign is ignored", "-"), "-");
  EXPECT_EQ(ini.ReadValue("", "orphan", "-"), "-");
  EXPECT_EQ(ini.KeyNames("email"),
            (std::vector<std::string>{"Betreff", "quoted", "single", "mixed", "double", "empfaenger", "cc"}));
  EXPECT_TRUE(ini.HasKey("Email", "CC"));
  EXPECT_FALSE(ini.HasKey("email", "bcc"));
  EXPECT_TRUE(ini.HasSection("formmain"));
  EXPECT_FALSE(ini.HasSection("sql"));
}

TEST_F(IniFileTest, ReadsIntegersInDecimalOrHexAndFallsBackToTheDefault) {
  Given(Fixture("messy.ini"));
  EXPECT_EQ(ini.ReadNumber("FormMain", "top", 128), 16);
  EXPECT_EQ(ini.ReadNumber("FormMain", "left", 296), 31);
  EXPECT_EQ(ini.ReadNumber("FormMain", "height", 513), 513);
  EXPECT_EQ(ini.ReadNumber("FormMain", "width", 1), 852);

  Given("[n]\r\na=-42\r\nb=0x\r\nc=\r\nd=99999999999\r\ne=0xZ1\r\nf=12abc\r\ng=0x-1\r\nh=0x7fffffff\r\ni=1.5\r\n");
  EXPECT_EQ(ini.ReadNumber("n", "a", 7), -42);
  for (const char* key : {"b", "c", "d", "e", "f", "g", "i", "missing"}) {
    EXPECT_EQ(ini.ReadNumber("n", key, 7), 7) << key;
  }
  EXPECT_EQ(ini.ReadNumber("n", "h", 7), 2147483647);
}

TEST_F(IniFileTest, WritesIntegersInPlainDecimalWhateverTheLocale) {
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  ini.WriteNumber("FormMain", "width", 1234567);
  ini.WriteNumber("FormMain", "top", -5);
  std::setlocale(LC_ALL, "C");
  if (german == nullptr) GTEST_LOG_(INFO) << "de_DE.UTF-8 is not installed; checked in the C locale only";
  EXPECT_EQ(File(), "[FormMain]\r\nwidth=1234567\r\ntop=-5\r\n");
  EXPECT_EQ(ini.ReadNumber("FormMain", "width", 0), 1234567);
}

TEST_F(IniFileTest, StoresFlagsAsOneOrZeroAndReadsAnyOtherNumberAsYes) {
  ini.WriteFlag("datenbank", "ergebnisLeer", true);
  ini.WriteFlag("datenbank", "ergebnisUpdate", false);
  EXPECT_EQ(File(), "[datenbank]\r\nergebnisLeer=1\r\nergebnisUpdate=0\r\n");
  EXPECT_TRUE(ini.ReadFlag("datenbank", "ergebnisLeer", false));
  EXPECT_FALSE(ini.ReadFlag("datenbank", "ergebnisUpdate", true));

  Given("[d]\r\ntwo=2\r\nminus=-1\r\nhex=0x0\r\ntext=ja\r\n");
  EXPECT_TRUE(ini.ReadFlag("d", "two", false));
  EXPECT_TRUE(ini.ReadFlag("d", "minus", false));
  EXPECT_FALSE(ini.ReadFlag("d", "hex", true));
  EXPECT_TRUE(ini.ReadFlag("d", "text", true));
  EXPECT_FALSE(ini.ReadFlag("d", "text", false));
}

TEST_F(IniFileTest, DefaultWritingReadsStoreTheFirstDefaultEvenWhenEmpty) {
  EXPECT_EQ(ini.ReadValueDefault("email", "betreff", ""), "");
  EXPECT_EQ(File(), "[email]\r\nbetreff=\r\n");
  // The first reader fixed the value; a later default does not replace it.
  EXPECT_EQ(ini.ReadValueDefault("email", "betreff", "Vornetta"), "");

  EXPECT_EQ(ini.ReadValueDefault("email", "kopfzeile", "A\r\nB"), "A\r\nB");
  EXPECT_TRUE(ini.ReadFlagDefault("datenbank", "ergebnisLeer", true));
  EXPECT_TRUE(ini.ReadFlagDefault("datenbank", "ergebnisLeer", false));
  ini.WriteValueIfMissing("email", "betreff", "nicht geschrieben");
  ini.WriteFlagIfMissing("datenbank", "ergebnisDelete", false);
  EXPECT_EQ(File(),
            "[email]\r\nbetreff=\r\nkopfzeile=A##13##10B\r\n\r\n"
            "[datenbank]\r\nergebnisLeer=1\r\nergebnisDelete=0\r\n");
}

TEST_F(IniFileTest, EditsTheFileWhereTheEntriesStand) {
  Given("; kept\r\n[a]\r\nx = 1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
  ini.WriteValue("A", "X", "10");  // replaced in place, the file's spelling of the key stays
  ini.WriteValue("a", "w", "new");  // appended after the section's last entry, before the blank line
  ini.WriteValue("c", "k", "v");    // new section at the end, after a blank line
  ini.WriteValue("b", "z2", "4");
  EXPECT_EQ(File(), "; kept\r\n[a]\r\nx=10\r\ny=2\r\nw=new\r\n\r\n[B]\r\nz=3\r\nz2=4\r\n\r\n[c]\r\nk=v\r\n");
  EXPECT_EQ(ini.KeyNames("a"), (std::vector<std::string>{"x", "y", "w"}));

  ini.RemoveKey("c", "K");
  ini.RemoveKey("c", "missing");
  EXPECT_EQ(File(), "; kept\r\n[a]\r\nx=10\r\ny=2\r\nw=new\r\n\r\n[B]\r\nz=3\r\nz2=4\r\n\r\n[c]\r\n");
  EXPECT_FALSE(ini.HasSection("c"));
  EXPECT_TRUE(ini.KeyNames("c").empty());
  ini.WriteValue("c", "k", "again");  // an empty section takes the key right after its line
  EXPECT_EQ(ini.ReadValue("c", "k", ""), "again");
  EXPECT_TRUE(File().ends_with("[c]\r\nk=again\r\n"));
}

TEST_F(IniFileTest, QuotesValuesThatWouldNotReadBackUnchanged) {
  const std::vector<std::string> values = {" eingerueckt", "Ende ", "'Jan', 'Feb'", "\"x\"", "'", "   ", "\t"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    ini.WriteValue("sql", std::to_string(i), values[i]);
    EXPECT_EQ(ini.ReadValue("sql", std::to_string(i), "-"), values[i]) << i;
  }
  EXPECT_EQ(File(),
            "[sql]\r\n0=\" eingerueckt\"\r\n1=\"Ende \"\r\n2=\"'Jan', 'Feb'\"\r\n3=\"\"x\"\"\r\n"
            "4='\r\n5=\"   \"\r\n6=##09\r\n");
  // Ordinary values are stored exactly as the reader of any version expects them.
  ini.WriteValue("email", "absender", "\"Vornetta\" <vornetta@localhost>");
  EXPECT_TRUE(File().ends_with("absender=\"Vornetta\" <vornetta@localhost>\r\n"));
}

TEST_F(IniFileTest, WriteTextStoresNumberedLinesAndShrinksTheSection) {
  ini.WriteText("sql", "select 1\r\nselect 2\r\nselect 3");
  EXPECT_EQ(ini.KeyNames("sql"), (std::vector<std::string>{"0", "1", "2"}));
  ini.WriteText("sql", "select 9\r\n");
  EXPECT_EQ(File(), "[sql]\r\n0=select 9\r\n");

  ini.WriteText("sql", "A\r\n\r\nB\rC\nD\tE\n\n");
  EXPECT_EQ(File(), "[sql]\r\n0=A\r\n1=\r\n2=B\r\n3=C\r\n4=D##09E\r\n5=\r\n");
  EXPECT_EQ(ini.ReadText("sql"), "A\r\n\r\nB\r\nC\r\nD\tE\r\n\r\n");

  ini.WriteText("sql", "");
  EXPECT_EQ(File(), "[sql]\r\n");
  EXPECT_EQ(ini.ReadText("sql"), "");
  EXPECT_EQ(ini.ReadText("nirgends"), "");
}

TEST_F(IniFileTest, ReadTextFollowsTheKeyOrderOfTheFile) {
  Given("[sql]\r\n0=A\r\n1=B\r\n");
  EXPECT_EQ(ini.ReadText("sql"), "A\r\nB\r\n");
  Given("[sql]\r\n1=B\r\n0=A\r\nnotiz=C##09D\r\n");
  EXPECT_EQ(ini.ReadText("SQL"), "B\r\nA\r\nC\tD\r\n");
}

TEST_F(IniFileTest, WriteTextGivesTheFileTheSingleWritesWouldGive) {
  const std::string messy =
      "[sql]\r\n0=old\r\nx=1\r\n; note\r\n\r\n[other]\r\na=1\r\n[SQL]\r\n0=dup\r\nz=2\r\n\r\n";
  Given(messy);
  ini.WriteText("sql", "L1\r\n\r\n 'q' \r\nL4");
  std::string batched = File();

  Given(messy);
  for (const std::string& key : ini.KeyNames("sql")) ini.RemoveKey("sql", key);
  const char* lines[] = {"L1", "", " 'q' ", "L4"};
  for (int i = 0; i < 4; ++i) ini.WriteValue("sql", std::to_string(i), lines[i]);
  EXPECT_EQ(batched, File());
  EXPECT_EQ(batched, "[sql]\r\n; note\r\n0=L1\r\n1=\r\n2=\" 'q' \"\r\n3=L4\r\n\r\n[other]\r\na=1\r\n[SQL]\r\n\r\n");
}

TEST_F(IniFileTest, MigrationMovesTheOldScriptAndHtmlBlocksToTodaysForm) {
  Given(Fixture("legacy.ini"));
  ini.MigrateLegacy();
  EXPECT_EQ(File(), Fixture("legacy.expected.ini"));
  EXPECT_EQ(ini.ReadText("sql"), "select * from artikel\r\n   \r\nselect  count(*) from lager\r\n");
  EXPECT_EQ(ini.ReadValue("email", "kopfzeile", ""), "<h1>Lager</h1>\r\n <p>Stand</p>");
  EXPECT_EQ(ini.ReadValue("email", "css", ""), "p { color: red }");

  // A second start finds nothing to do and leaves the file byte for byte.
  ini.MigrateLegacy();
  EXPECT_EQ(File(), Fixture("legacy.expected.ini"));
}

TEST_F(IniFileTest, MigrationKeepsAnExistingScriptSectionAndDropsTheOldKey) {
  Given("[datenbank]\r\nsql=A|||B\r\nsummierung=0\r\n[sql]\r\n0=neu\r\n");
  ini.MigrateLegacy();
  EXPECT_EQ(File(), "[datenbank]\r\n[sql]\r\n0=neu\r\n\r\n[email]\r\nkopfzeile=\r\nfusszeile=\r\ncss=\r\n");

  Given("[datenbank]\r\nsql=A|||B\r\n");
  ini.MigrateLegacy();
  EXPECT_EQ(ini.ReadText("sql"), "A\r\nB\r\n");
  EXPECT_FALSE(ini.HasKey("datenbank", "sql"));
}

TEST_F(IniFileTest, MigrationAndTextsKeepLongValuesWhole) {
  std::string block;
  for (int i = 0; i < 2000; ++i) block += "<p>Zeile " + std::to_string(i) + "</p>|||";
  Given("[email]\r\nkopfzeile=" + block + "\r\n[datenbank]\r\nsql=" + block + "\r\n");
  ini.MigrateLegacy();

  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += "<p>Zeile " + std::to_string(i) + "</p>\r\n";
  EXPECT_EQ(ini.ReadValue("email", "kopfzeile", ""), expected);
  EXPECT_EQ(ini.ReadText("sql"), expected);
  EXPECT_EQ(ini.KeyNames("sql").size(), 2000u);
  EXPECT_EQ(ini.KeyNames("sql").back(), "1999");
}

TEST_F(IniFileTest, AFileBeginningWithTheByteOrderMarkIsReadAndWrittenAsUtf8) {
  vornetta::platform::UseSystemLanguage(vornetta::platform::Language::Other);
  Given("\xEF\xBB\xBF[email]\r\nbetreff=Umsätze in €\r\n[sql]\r\n0=select 'ä'\r\n");
  EXPECT_EQ(ini.ReadValue("email", "betreff", "-"), "Umsätze in €");
  EXPECT_EQ(ini.ReadText("sql"), "select 'ä'\r\n");
  ini.WriteValue("email", "kopfzeile", "Größe");
  ini.WriteText("sql", "a\r\nü");
  EXPECT_EQ(ini.ReadValueDefault("email", "fusszeile", "€"), "€");
  EXPECT_EQ(File(), "\xEF\xBB\xBF[email]\r\nbetreff=Umsätze in €\r\nkopfzeile=Größe\r\nfusszeile=€\r\n"
                    "[sql]\r\n0=a\r\n1=ü\r\n");
  // Without the mark the bytes are the code page's, until a text the code page
  // cannot hold turns the whole file into UTF-8 with the mark.
  Given("[email]\r\nbetreff=Ums\xE4tze\r\n");
  EXPECT_EQ(ini.ReadValue("email", "betreff", "-"), "Umsätze");
  ini.WriteValue("email", "cc", "ä");
  EXPECT_EQ(File(), "[email]\r\nbetreff=Ums\xE4tze\r\ncc=\xE4\r\n");
  ini.WriteText("sql", "select 'Łukasz'");
  EXPECT_EQ(File(), "\xEF\xBB\xBF[email]\r\nbetreff=Umsätze\r\ncc=ä\r\n\r\n[sql]\r\n0=select 'Łukasz'\r\n");
  EXPECT_EQ(ini.ReadText("sql"), "select 'Łukasz'\r\n");
}
