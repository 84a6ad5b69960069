#include "qt_application.h"

// Registered before gtest_main runs the tests.
static ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);
