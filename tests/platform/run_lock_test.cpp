// The lock of an unattended run: every name of one file reaches the same lock,
// and a lock file that cannot be used never lets a second run through.
#include "platform/run_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/temp_folder.h"

namespace vornetta::platform {
namespace {

using Result = TRunLock::Result;

TEST(RunLock, EveryNameOfOneFileSharesItsLockAndAnUnusableLockFileIsBusy) {
  test::TTempFolder dir;
  const std::string file = dir / "report.ini";
  std::ofstream(file) << "[email]\r\n";
  std::filesystem::create_directory(dir / "other");
  std::filesystem::create_symlink(file, dir / "other/link.ini");
  std::filesystem::create_hard_link(file, dir / "other/hard.ini");

  auto first = std::make_unique<TRunLock>();
  ASSERT_EQ(first->TryLock(file), Result::Taken);
  for (const std::string& name : {file, dir / "other/link.ini", dir / "other/hard.ini"}) {
    TRunLock second;
    EXPECT_EQ(second.TryLock(name), Result::Busy) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "other/link.ini.lock"));
  first.reset();
  for (const std::string& name : {file, dir / "other/link.ini", dir / "other/hard.ini"}) {
    TRunLock again;
    EXPECT_EQ(again.TryLock(name), Result::Taken) << name;
  }

  // A lock file that is a folder, or a link somewhere else, cannot be opened.
  const std::string blocked = dir / "blocked.ini";
  std::ofstream(blocked) << "[email]\r\n";
  std::filesystem::create_directory(LockFilePath(blocked));
  TRunLock lock;
  EXPECT_EQ(lock.TryLock(blocked), Result::Busy);
  const std::string linked = dir / "linked.ini";
  std::ofstream(linked) << "[email]\r\n";
  std::filesystem::create_symlink(dir / "elsewhere", LockFilePath(linked));
  EXPECT_EQ(lock.TryLock(linked), Result::Busy);
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}

}  // namespace
}  // namespace vornetta::platform
