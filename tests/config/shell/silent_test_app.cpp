// The unattended open/short run of VCXMSet shares one QApplication; the
// library the program loads runs on the simulated diag panel, steered through
// the control socket. The settings stores and data folders lie in a temporary folder.
#include "qt_support.h"

namespace {
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcxdiag", [] {
    const QTemporaryDir& home = useTemporaryHome();
    qputenv("QV_SIM", "diag");
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
