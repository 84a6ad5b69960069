// The window's end under memory pressure: the writes of the close and of the
// destructor run short of memory, and the failure is reported instead of
// ending the program. A binary of its own: it replaces the global operator new.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>

#include "fake_dialogs.h"
#include "platform/code_page.h"
#include "ui/form_main.h"

namespace {

// While armed, every allocation of at least kLarge bytes fails. The configuration
// file is larger, so each read or write of it fails, while the window's own small
// allocations go on as under a tight memory limit.
std::atomic<bool> failLarge{false};
constexpr std::size_t kLarge = 1 << 20;

void* Allocate(std::size_t size) {
  if (failLarge && size >= kLarge) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

std::string ReadBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

class FormTeardown : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    std::ofstream(path_, std::ios::binary) << "[email]\r\ncss=" << std::string(2 * kLarge, 'c') << "\r\n";
  }

  std::unique_ptr<vornetta::ui::TFormMain> Start() {
    auto window = std::make_unique<vornetta::ui::TFormMain>(std::vector<std::string>{path_}, &dialogs_,
                                                            dir_.path().toStdString() + "/vornetta");
    window->show();
    window->move(window->x() + 7, window->y() + 5);  // something for the end to store
    return window;
  }

  QTemporaryDir dir_;
  std::string path_ = dir_.path().toStdString() + "/gross.ini";
  FakeDialogs dialogs_;
};

const std::string kOutOfMemory = "Nicht genügend Arbeitsspeicher.";

TEST_F(FormTeardown, DestructorReportsAFailingWriteOnStderrAndReturns) {
  auto window = Start();
  const std::string before = ReadBytes(path_);
  testing::internal::CaptureStderr();
  failLarge = true;
  window.reset();
  failLarge = false;
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "vornetta: Nicht genügend Arbeitsspeicher.\n");
  EXPECT_EQ(ReadBytes(path_), before) << "nothing half-written";
}

TEST_F(FormTeardown, CloseShowsTheFailureAndReleasesTheConfiguration) {
  auto window = Start();
  dialogs_.messages.clear();
  failLarge = true;
  EXPECT_TRUE(window->close());
  failLarge = false;
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{kOutOfMemory});
  // Released: the destructor has nothing left to write and says nothing.
  testing::internal::CaptureStderr();
  window.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
