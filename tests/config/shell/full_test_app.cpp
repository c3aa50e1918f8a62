// The program on the full simulated controller: one QApplication, the settings
// stores and data folder in a temporary folder, QV_SIM=full and a control socket.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcxfull", [] {
    const QTemporaryDir& home = useTemporaryHome();
    qputenv("QV_SIM", "full");
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
