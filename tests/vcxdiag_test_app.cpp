// The unattended open/short run of VCXMSet shares one QApplication; the
// library the program loads runs on the simulated diag panel, steered through
// the control socket. The settings stores and data folders lie in a temporary folder.
#include "qt_test_environment.h"

#include <QTemporaryDir>

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcxdiag", [] {
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    qputenv("QV_SIM", "diag");
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
