#include <QTimer>

#include "db/db_test_support.h"
#include "qt_application.h"

namespace {

// The drivers the window tests reach stay loaded: LeakSanitizer cannot walk the
// thread-local storage of libraries that came and went with their connections
// (the PostgreSQL driver brings some), and fails at the end of a long run.
const bool driversPinned = [] {
  for (const char* driver : {"SQLite3", "PostgreSQL Unicode"}) vornetta::db::test::PinDriver(driver);
  return true;
}();

// A window that asked the application to end (an unattended run, the last
// window closed) leaves Qt's "quit now" mark set, and every later event loop,
// a modal dialog's too, would end at once. One pass through the application's
// own loop before each test, while no window is open, clears it.
class ClearQuitMark : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    if (QCoreApplication::instance() == nullptr) return;
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
  }
};

const bool clearQuitMarkAdded = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ClearQuitMark);
  return true;
}();

}  // namespace

// Registered before gtest_main runs the tests.
static ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);
