// The program tests share one QApplication. The settings stores and the data
// folder of the whole test program lie in a temporary folder, and the library
// runs on simulated controllers: a current-series HID controller with two slave
// ICs, whose bench the tests plug and unplug through the control socket.
#include "qt_test_environment.h"
#include "vcx_test_support.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

const char kProfile[] = R"(# The program tests' controller.
[controller]
link = hid
path = /sim/hidraw0
productId = 0x3501
parentInstanceId = USB\VID_2E7B&PID_3501\5&1A2B3C&0&1
reportId = 1
identity = 6020
letter = 1
major = 2
minor = 5
featureF4 = 0x82 0 0 0
paraVersion = 152
slaveCount = 2
reportLength = 8
rows = 16
columns = 28
extraColumns = 2
item = 2 0x10 40 3
item = 2 0x11 10 1
)";

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcx", [] {
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_DIRS", home.filePath("etc").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    QFile profile(home.filePath("controllers.qvsim"));
    if (profile.open(QIODevice::WriteOnly)) profile.write(kProfile);
    qputenv("QV_SIM", home.filePath("controllers.qvsim").toLocal8Bit());
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
