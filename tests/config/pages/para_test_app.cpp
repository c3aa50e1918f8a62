// The parameter-list tests share one QApplication; the library's code runs in
// the process on simulated benches that each test builds.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_pages"));
}  // namespace
