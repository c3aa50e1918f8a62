// The program on two simulated controllers: one QApplication, the settings
// stores and data folder in a temporary folder, QV_SIM=two-controllers (the demo
// controller at /sim/hidraw0, an Ostra-series one at /sim/hidraw1) and a control socket.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcxtwo", [] {
    const QTemporaryDir& home = useTemporaryHome();
    qputenv("QV_SIM", "two-controllers");
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
