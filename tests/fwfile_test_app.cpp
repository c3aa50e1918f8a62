// The firmware-file tests share one QApplication (message boxes and file
// choosers answered by responders).
#include "qt_test_environment.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_fwfile"));
}  // namespace
