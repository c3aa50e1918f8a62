// The program tests share one QApplication. The settings stores and the data
// folder of the whole test program lie in a temporary folder, and the library
// runs on the simulated controller.
#include "qt_test_environment.h"

#include <QTemporaryDir>

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcx", [] {
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    qputenv("QV_SIM", "current");
}));
}  // namespace
