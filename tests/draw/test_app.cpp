// test_draw's QApplication (offscreen).
#include "qt_support.h"

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_draw"));
