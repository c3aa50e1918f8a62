// The Field Update tests share one QApplication (message boxes answered by
// responders, timers fired by the tests).
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_update"));
}  // namespace
