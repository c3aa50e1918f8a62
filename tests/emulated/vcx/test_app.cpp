// The one QApplication of the program-over-emulated-devices tests, with the
// settings stores and data folders in a temporary folder, and no QV_SIM: the
// library runs on its linux backend.
#include "qt_support.h"

#include <cstdlib>

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_mockvcx", [] {
    useTemporaryHome();
    unsetenv("QV_SIM");
    unsetenv("QV_SIM_CONTROL");
}));
}  // namespace
