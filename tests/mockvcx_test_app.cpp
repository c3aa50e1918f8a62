// The one QApplication of the program-over-emulated-devices tests, with the
// settings stores and data folders in a temporary folder, and no QV_SIM: the
// library runs on its linux backend.
#include "qt_test_environment.h"

#include <QTemporaryDir>

#include <cstdlib>

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_mockvcx", [] {
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    unsetenv("QV_SIM");
    unsetenv("QV_SIM_CONTROL");
}));
}  // namespace
