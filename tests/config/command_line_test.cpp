#include "config/command_line.h"
#include "config/file_kind.h"
#include "config/program_switches.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/code_page.h"
#include "platform/failure.h"
#include "temp_folder.h"

using namespace vornetta::config;
using namespace vornetta::config::testing;

namespace {

class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

}  // namespace

TEST(CommandLine, TakesTheFirstParameterThatDoesNotBeginWithADash) {
  using Params = std::vector<std::string>;
  EXPECT_EQ(ConfigFileParameter({}), std::nullopt);
  EXPECT_EQ(ConfigFileParameter(Params{"-unattend"}), std::nullopt);
  EXPECT_EQ(ConfigFileParameter(Params{"-unattend", "erste.ini", "zweite.ini"}), "erste.ini");
  EXPECT_EQ(ConfigFileParameter(Params{"-x", "", "bericht.cfg", "-unattend"}), "bericht.cfg");
  // Only "-" marks a parameter to skip: the switch written with "/" names the file.
  EXPECT_EQ(ConfigFileParameter(Params{"/unattend", "erste.ini"}), "/unattend");
}

TEST(CommandLine, FindsTheUnattendSwitchAfterDashOrSlashInAnyCase) {
  using Params = std::vector<std::string>;
  EXPECT_TRUE(HasUnattendSwitch(Params{"-unattend"}));
  EXPECT_TRUE(HasUnattendSwitch(Params{"bericht.ini", "/UNATTEND"}));
  EXPECT_TRUE(HasUnattendSwitch(Params{"-UnAttend", "x"}));
  for (const char* other : {"unattend", "--unattend", "-unattended", "-unattend ", "/", "-", ""}) {
    EXPECT_FALSE(HasUnattendSwitch(Params{other})) << other;
  }
}

TEST(CommandLine, CreatesTheNamedFileEmptyAndPrivateWhateverItsExtension) {
  TempFolder folder;
  InFolder inside(folder.Path());
  std::string chosen = ChooseConfigFile({"-unattend", "sub/../bericht.cfg", "zweite.ini"}, "/opt/vornetta/vornetta");
  EXPECT_EQ(chosen, folder / "bericht.cfg");
  EXPECT_EQ(ReadBytes(chosen), "");
  EXPECT_EQ(ModeOf(chosen), 0600u);
  EXPECT_FALSE(std::filesystem::exists(folder / "zweite.ini"));

  // An existing file is used as it is.
  WriteBytes(folder / "alt.ini", "[a]\r\nx=1\r\n");
  ::chmod((folder / "alt.ini").c_str(), 0644);
  EXPECT_EQ(ChooseConfigFile({"alt.ini"}, "/opt/vornetta/vornetta"), folder / "alt.ini");
  EXPECT_EQ(ReadBytes(folder / "alt.ini"), "[a]\r\nx=1\r\n");
  EXPECT_EQ(ModeOf(folder / "alt.ini"), 0644u);
}

TEST(CommandLine, WithoutAFileNameUsesTheProgramPathWithIni) {
  EXPECT_EQ(ChooseConfigFile({"-unattend"}, "/opt/vornetta/vornetta"), "/opt/vornetta/vornetta.ini");
  EXPECT_EQ(ChooseConfigFile({}, "/opt/vornetta/Vornetta.exe"), "/opt/vornetta/Vornetta.ini");
  EXPECT_FALSE(std::filesystem::exists("/opt/vornetta/vornetta.ini"));
}

TEST(CommandLine, ReportsAFileThatCannotBeCreated) {
  TempFolder folder;
  std::string missing = folder / "fehlt/vornetta.ini";
  try {
    ChooseConfigFile({missing}, "/opt/vornetta/vornetta");
    FAIL() << "no failure";
  } catch (const EConfigFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Fehler beim Erstellen der Konfigurationsdatei \"" + missing + "\"");
  }
  std::filesystem::create_directory(folder / "ordner");
  EXPECT_THROW(ChooseConfigFile({folder / "ordner"}, "/opt/vornetta/vornetta"), EConfigFileError);

  // File names are UTF-8, and so is the message.
  vornetta::platform::UseSystemLanguage(vornetta::platform::Language::Other);
  try {
    ChooseConfigFile({folder / "Pr\xC3\xBC" "fung/vornetta.ini"}, "/opt/vornetta/vornetta");
    FAIL() << "no failure";
  } catch (const EConfigFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Fehler beim Erstellen der Konfigurationsdatei \"" + folder.Path().string() +
                                         "/Prüfung/vornetta.ini\"");
  }
}

TEST(CommandLine, RefusesAFileThatIsNoConfigurationAndLeavesItAlone) {
  TempFolder folder;
  const InFolder here(folder.Path());
  const std::string foreign[] = {
      std::string("SQLite format 3\0\x10\0\x01\x01", 21), std::string("\x7f" "ELF\x02\x01\x01\0\0", 9),
      "%PDF-1.7\n%\xe2\xe3\n", "Liebe Grüße\naus Köln\n", std::string(5000, 'x') + "\nnoch mehr Text\n"};
  for (const std::string& bytes : foreign) {
    const std::string path = folder / "umsatz.db";
    WriteBytes(path, bytes);
    try {
      ChooseConfigFile({"umsatz.db", "-unattend"}, "/opt/vornetta/vornetta");
      ChooseConfigFile({path}, "/opt/vornetta/vornetta");
      ADD_FAILURE() << "taken: " << bytes;
    } catch (const ENotConfigurationFile& e) {
      EXPECT_EQ(std::string(e.what()), path + " ist keine Konfigurationsdatei – nichts wurde geändert.");
    }
    EXPECT_EQ(ReadBytes(path), bytes);
  }
  // What an INI file may look like, also one a text editor made.
  for (const std::string& bytes : std::vector<std::string>{
           "", "\r\n\r\n", "\xef\xbb\xbf[email]\r\nbetreff=Umsatz\r\n", "; Notiz\n", "  kopfzeile = <b>\n",
        std::string(6000, '#') + "\n[sql]\n"}) {
    const std::string path = folder / "bericht.ini";
    WriteBytes(path, bytes);
    EXPECT_EQ(ChooseConfigFile({path}, "/opt/vornetta/vornetta"), path) << bytes;
  }
}

TEST(DefaultLocation, NamesAnExistingIniFileOrTheProgramsOwn) {
  TempFolder folder;
  InFolder inside(folder.Path());
  const std::string program = "/opt/vornetta/vornetta";
  try {
    TMyIniFile::OpenDefault({"Fehlt.INI"}, program);
    FAIL() << "no failure";
  } catch (const EConfigFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Konfigurationsdatei \"" + (folder / "Fehlt.INI") + "\" nicht gefunden");
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "Fehlt.INI"));

  WriteBytes(folder / "da.ini", "");
  EXPECT_EQ(TMyIniFile::OpenDefault({"da.ini", "-unattend"}, program).FileName(), folder / "da.ini");
  // Only parameter 1 counts, and only as a ".ini" name without "-" or "/" in front.
  for (const std::vector<std::string>& params :
       {std::vector<std::string>{}, {""}, {"-unattend", "da.ini"}, {"da.txt"}, {"/unattend"}, {"-da.ini"}}) {
    EXPECT_EQ(TMyIniFile::DefaultPath(params, program), "/opt/vornetta/vornetta.ini");
  }
}

namespace {

TEST(ProgramSwitches, KnowsHelpVersionOutputAndLeavesQtAndSingleDashWordsAlone) {
  using vornetta::config::ParseProgramSwitches;
  auto s = ParseProgramSwitches({"report.ini", "-unattend", "--output=-", "-x", "--platform", "--style=fusion"});
  EXPECT_FALSE(s.help);
  EXPECT_FALSE(s.version);
  EXPECT_EQ(s.output, std::optional<std::string>("-"));
  EXPECT_TRUE(s.unknown.empty());

  s = ParseProgramSwitches({"-h", "--version", "--output=a", "--output=b", "--outputx", "--", "--HELP"});
  EXPECT_TRUE(s.help);
  EXPECT_TRUE(s.version);
  EXPECT_EQ(s.output, std::optional<std::string>("b"));  // the last one counts
  EXPECT_EQ(s.unknown, (std::vector<std::string>{"--outputx", "--", "--HELP"}));
  EXPECT_FALSE(ParseProgramSwitches({"-H", "-help"}).help);
}

}  // namespace
