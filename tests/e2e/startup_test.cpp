// The start of build/vornetta: choice and creation of the configuration file,
// the failure to create it, and the refusal of an interactive start without a display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "unattended_harness.h"

using namespace vornetta::e2e;

namespace {

// No display of any kind and no platform chosen: the program decides itself.
const std::vector<std::string> kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

TEST(Startup, MissingNamedFileIsCreatedPrivateAndGetsTheGeometryAtTheEnd) {
  TTempDir dir;
  const std::string ini = dir / "neu.ini";
  // Relative to the current directory; the switch may stand before the name.
  const auto result = RunProcess({ProgramPath(), "-unattend", "neu.ini", "zweite.ini"}, kNoDisplay, dir.Path());
  ASSERT_FALSE(result.timedOut) << result.err;
  struct stat info {};
  ASSERT_EQ(::stat(ini.c_str(), &info), 0) << result.err;
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_NE(::stat((dir / "zweite.ini").c_str(), &info), 0);
  const std::string content = ReadFile(ini);
  EXPECT_NE(content.find("[FormMain]\r\ntop="), std::string::npos) << content;
  EXPECT_NE(content.find("\r\nwidth="), std::string::npos) << content;
  EXPECT_NE(content.find("kopfzeile="), std::string::npos) << content;  // migrated at the start
}

TEST(Startup, WithoutAFileNameTheProgramsOwnIniFileIsUsedWhereverItLives) {
  TTempDir dir;
  // A folder name the system code page writes differently from the file system.
  const std::string folder = dir / "Pr\xC3\xBC" "fung";
  std::filesystem::create_directory(folder);
  const std::string program = folder + "/vornetta";
  std::filesystem::copy_file(ProgramPath(), program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);

  const auto result = RunProcess({program, "-unattend"}, kNoDisplay, dir.Path());
  ASSERT_FALSE(result.timedOut) << result.err;
  const std::string content = ReadFile(folder + "/vornetta.ini");
  EXPECT_NE(content.find("[FormMain]\r\ntop="), std::string::npos) << result.err;
}

TEST(Startup, UncreatableFileIsReportedOnStderrWithStatusOne) {
  TTempDir dir;
  const std::string ini = dir / "fehlt/x.ini";
  const auto result = RunProcess({ProgramPath(), ini, "-unattend"}, kNoDisplay);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "vornetta: Fehler beim Erstellen der Konfigurationsdatei \"" + ini + "\"\n");
}

TEST(Startup, ADatabaseNamedByMistakeIsRefusedAndStaysAsItWas) {
  TTempDir dir;
  const std::string db = dir / "umsatz.db";
  ASSERT_EQ(std::system(("sqlite3 " + db + " 'create table umsatz(betrag int); insert into umsatz values (7);'").c_str()), 0);
  const std::string before = ReadFile(db);
  const auto result = RunProcess({ProgramPath(), db, "-unattend"}, kNoDisplay);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err, "vornetta: " + db + " ist keine Konfigurationsdatei – nichts wurde geändert.\n");
  EXPECT_EQ(ReadFile(db), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(Startup, InteractiveStartWithoutDisplayEndsWithAMessageAndStatusOne) {
  TTempDir dir;
  const auto result = RunProcess({ProgramPath(), dir / "a.ini"}, kNoDisplay);
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err.rfind("vornetta: Keine Anzeige gefunden", 0), 0u) << result.err;
  struct stat info {};
  EXPECT_NE(::stat((dir / "a.ini").c_str(), &info), 0);  // nothing was started
}

}  // namespace
