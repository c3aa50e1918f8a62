// The platform-layer tests share one QApplication.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_ui"));
}  // namespace
