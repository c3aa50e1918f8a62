// The program tests share one QApplication. The settings stores and the data
// folder of the whole test program lie in a temporary folder, and the library
// runs on simulated controllers: a current-series HID controller with two slave
// ICs and a known parameter image, whose bench the tests plug and unplug
// through the control socket.
#include "qt_support.h"
#include "vcx_support.h"

#include <QFile>

namespace {

const char kProfile[] = R"(# The program tests' controller.
[controller]
link = hid
path = /sim/hidraw0
productId = 0x3501
parentInstanceId = USB\VID_2E7B&PID_3501\5&1A2B3C&0&1
reportId = 1
identity = 2081
letter = 1
major = 2
minor = 5
featureF4 = 0x82 0 0 0
paraVersion = 152
slaveCount = 3
# Bit 15 of E0 00 FF: the slave ICs are reachable.
reg = 0 0xFF 0 0x80 0 0
slave = 6021 0 2 1
slave = 6021 0 2 1
reportLength = 8
rows = 16
columns = 28
extraColumns = 2
panelSize = G156HAN 0x15 0x61 3440 1940
coverLens = 0x11 0xFF 0x47 0
bridge = 0x5A 0x01 0x80 0x24
scanMode = 0
# The parameter lists: a 32-byte touch list and a 16-byte boot list (debug and slave lists empty).
reg = 0 0xFB 0 0 16 32
)";

// The profile with the parameter image of vcx_test_support.h, one register word per byte that is not 0.
QByteArray profileText() {
    QByteArray text = kProfile;
    const auto words = [&](const uint8_t* bytes, int count, int first) {
        for (int i = 0; i < count; ++i)
            if (bytes[i]) text += QByteArray("reg = 0 ") + QByteArray::number(first + i) + " 0 0 0 " +
                                  QByteArray::number(bytes[i]) + "\n";
    };
    words(kTestTouchList, int(sizeof kTestTouchList), 0x00);
    words(kTestBootList, int(sizeof kTestBootList), 0x40);
    return text;
}

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_vcx", [] {
    const QTemporaryDir& home = useTemporaryHome();
    QFile profile(home.filePath("controllers.qvsim"));
    if (profile.open(QIODevice::WriteOnly)) profile.write(profileText());
    qputenv("QV_SIM", home.filePath("controllers.qvsim").toLocal8Bit());
    qputenv("QV_SIM_CONTROL", home.filePath("sim-control").toLocal8Bit());
}));
}  // namespace
