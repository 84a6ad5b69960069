// The configuration file under bad input and failing storage: nothing crashes,
// nothing already stored is lost, and a new file is private to its owner.
#include "config/my_ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "temp_folder.h"

using namespace vornetta::config;
using namespace vornetta::config::testing;
using namespace std::string_literals;

namespace {

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit old_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace

TEST(IniBadInput, SurvivesBinaryGarbageAndKeepsItOnWrite) {
  TempFolder folder;
  std::string path = folder / "garbage.ini";
  std::mt19937 random(4711);
  std::string garbage(64 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  garbage += "\r\n[email]\r\nbetreff=B\0se\r\n"s;
  WriteBytes(path, garbage);

  TMyIniFile ini(path);
  EXPECT_EQ(ini.ReadValue("email", "betreff", "-"), "B\0se"s);
  ini.ReadText("email");
  ini.KeyNames("");
  ini.ReadNumber("\xFF", "\x01", 3);
  ini.WriteValue("email", "cc", "c");
  ini.MigrateLegacy();
  EXPECT_EQ(ini.ReadValue("email", "cc", "-"), "c");
  EXPECT_EQ(ini.ReadValue("email", "betreff", "-"), "B\0se"s);
  EXPECT_GE(ReadBytes(path).size(), garbage.size());
}

TEST(IniBadInput, ReadsEveryKindOfLineEndALastLineWithoutOneAndAByteOrderMark) {
  TempFolder folder;
  std::string path = folder / "ends.ini";
  TMyIniFile ini(path);
  for (const char* bytes : {"[a]\nx=1\ny=2", "[a]\rx=1\ry=2\r", "[a]\r\nx=1\ry=2\n", "\n\n[a]\r\r\nx=1\r\n\ry=2"}) {
    WriteBytes(path, bytes);
    EXPECT_EQ(ini.KeyNames("a"), (std::vector<std::string>{"x", "y"})) << bytes;
    EXPECT_EQ(ini.ReadText("a"), "1\r\n2\r\n") << bytes;
  }
  WriteBytes(path, "[a]\nx=1");
  ini.WriteValue("a", "y", "2");
  EXPECT_EQ(ReadBytes(path), "[a]\r\nx=1\r\ny=2\r\n");
  WriteBytes(path, "\xEF\xBB\xBF[a]\r\nx=1\r\n");
  EXPECT_EQ(ini.ReadValue("a", "x", ""), "1");
  ini.WriteValue("a", "y", "2");
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[a]\r\nx=1\r\ny=2\r\n");

  // Nothing to change: the file keeps its own line ends.
  const std::string unix = "[a]\nx=1\n[email]\nkopfzeile=\nfusszeile=\ncss=";
  WriteBytes(path, unix);
  EXPECT_EQ(ini.ReadValueDefault("a", "x", "0"), "1");
  ini.WriteValue("a", "x", "1");
  ini.RemoveKey("a", "y");
  ini.MigrateLegacy();
  EXPECT_EQ(ReadBytes(path), unix);
}

TEST(IniBadInput, KeepsVeryLongLinesWhole) {
  TempFolder folder;
  TMyIniFile ini(folder / "long.ini");
  std::string value(3 * 1024 * 1024, 'x');
  value[1000] = '\n';
  ini.WriteValue("email", "css", value);
  ini.WriteValue("email", "cc", "c");
  EXPECT_EQ(ini.ReadValue("email", "css", ""), value);
  EXPECT_EQ(ini.ReadValueDefault("email", "css", ""), value);
}

TEST(IniBadInput, DuplicatesReadTheFirstAndWritesKeepOneMeaning) {
  TempFolder folder;
  std::string path = folder / "dup.ini";
  WriteBytes(path, "[a]\r\nk=1\r\nK=2\r\n[b]\r\n[A]\r\nk=3\r\nm=4\r\n");
  TMyIniFile ini(path);
  EXPECT_EQ(ini.ReadValue("a", "k", ""), "1");
  EXPECT_EQ(ini.ReadValue("a", "m", ""), "4");
  EXPECT_EQ(ini.KeyNames("a"), (std::vector<std::string>{"k", "m"}));

  // A write changes the entry that reads see; a new key joins the first section.
  ini.WriteValue("a", "k", "9");
  ini.WriteValue("a", "n", "5");
  EXPECT_EQ(ReadBytes(path), "[a]\r\nk=9\r\nK=2\r\nn=5\r\n[b]\r\n[A]\r\nk=3\r\nm=4\r\n");
  EXPECT_EQ(ini.ReadValue("a", "k", ""), "9");

  // A removed key is gone, however often it stood in the file.
  ini.RemoveKey("a", "k");
  EXPECT_FALSE(ini.HasKey("a", "k"));
  EXPECT_EQ(ReadBytes(path), "[a]\r\nn=5\r\n[b]\r\n[A]\r\nm=4\r\n");
}

TEST(IniBadInput, RefusesNamesThatWouldChangeTheFilesStructure) {
  TempFolder folder;
  std::string path = folder / "names.ini";
  TMyIniFile ini(path);
  ini.WriteValue("email", "cc", "c");
  const std::string before = ReadBytes(path);
  ini.WriteValue("email", "a=b", "x");
  ini.WriteValue("email", "line\r\nbreak", "x");
  ini.WriteValue("email", "[fake]", "x");
  ini.WriteValue("email", ";note", "x");
  ini.WriteValue("email", "", "x");
  ini.WriteValue("sec]tion", "k", "x");
  ini.WriteValue("", "k", "x");
  ini.WriteText("new\nsection", "a\r\nb");
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(ini.ReadValueDefault("email", "a=b", "d"), "d");

  // Blanks around names are not part of them.
  ini.WriteValue(" email ", " cc ", "c2");
  EXPECT_EQ(ini.ReadValue("email", "cc", ""), "c2");
  EXPECT_EQ(ini.KeyNames("email").size(), 1u);
}

TEST(IniStorage, CreatesANewFileForItsOwnerOnlyAndKeepsTheModeOfAnOldOne) {
  TempFolder folder;
  mode_t oldMask = ::umask(0);
  TMyIniFile fresh(folder / "neu.ini");
  fresh.WriteValue("email", "smtppass", "geheim");
  EXPECT_EQ(ModeOf(fresh.FileName()), 0600u);

  std::string shared = folder / "alt.ini";
  WriteBytes(shared, "[email]\r\n");
  ::chmod(shared.c_str(), 0644);
  TMyIniFile old(shared);
  old.WriteValue("email", "cc", "c");
  old.WriteText("sql", "select 1");
  EXPECT_EQ(ModeOf(shared), 0644u);
  ::umask(oldMask);

  // Reads and writes that change nothing leave no file behind.
  TMyIniFile untouched(folder / "leer.ini");
  untouched.RemoveKey("a", "b");
  untouched.WriteText("sql", "");
  untouched.ReadValue("a", "b", "");
  EXPECT_FALSE(std::filesystem::exists(untouched.FileName()));
  EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"alt.ini", "neu.ini"}));
}

TEST(IniStorage, AFailedWriteLeavesTheOldFileWhole) {
  TempFolder folder;
  std::string path = folder / "voll.ini";
  const std::string before = "[email]\r\nempfaenger=chef@example.org\r\n";
  WriteBytes(path, before);
  TMyIniFile ini(path);
  {
    FileSizeLimit diskFull(before.size() + 100);
    ini.WriteValue("email", "css", std::string(4096, 'c'));
    ini.WriteText("sql", std::string(4096, 's'));
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"voll.ini"}));

  // No folder to write in, and a folder where the file should be: nothing stored, nothing thrown.
  TMyIniFile nowhere(folder / "fehlt/vornetta.ini");
  nowhere.WriteValue("email", "cc", "c");
  EXPECT_EQ(nowhere.ReadValueDefault("email", "cc", "d"), "d");
  std::filesystem::create_directory(folder / "ordner.ini");
  TMyIniFile directory(folder / "ordner.ini");
  directory.WriteValue("email", "cc", "c");
  directory.MigrateLegacy();
  EXPECT_EQ(directory.ReadValue("email", "cc", "d"), "d");
  EXPECT_TRUE(std::filesystem::is_empty(folder / "ordner.ini"));
}

TEST(IniStorage, WritesThroughASymbolicLinkAndKeepsTheLink) {
  TempFolder folder;
  std::string target = folder / "echt.ini";
  std::string link = folder / "link.ini";
  WriteBytes(target, "[a]\r\nx=1\r\n");
  std::filesystem::create_symlink(target, link);
  TMyIniFile ini(link);
  ini.WriteValue("a", "y", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), "[a]\r\nx=1\r\ny=2\r\n");
}
