// The process configuration and production-line page tests share one
// QApplication; the library's code runs in the process on simulated benches.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_proc"));
}  // namespace
