// Serial ports on the real linux backend: the tty class as the kernel lays it
// out (a UART, a placeholder port without hardware, a USB serial adapter, a
// modem-class device), and a simulated controller served on a pseudo-terminal
// behind the adapter's node, found by the library's serial enumeration.
#include "emulated_support.h"

namespace qvmock {
namespace {

class MockSerial : public MockTest {};

TEST_F(MockSerial, PortsAreTheTtyNodesWithHardwareBehindThem) {
    const std::vector<std::string> nodes = {
        bed->addSerialPort({SerialKind::Placeholder, 1, ""}),
        bed->addSerialPort({SerialKind::Acm, 0, ""}),
        bed->addSerialPort({SerialKind::Uart, 0, ""}),
        bed->addSerialPort({SerialKind::UsbSerial, 0, ""}),
    };
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"}));
    bed->add(ControllerA(std::make_shared<qvsim::Controller>()));  // a hidraw node is no serial port
    std::vector<std::string> ports;
    ASSERT_TRUE(qvp::backend().listSerialPorts(&ports)) << qvp::lastError().text;
    // The legacy ports first, then the adapters; the port without a UART is left out.
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"}));
}

std::vector<std::string> g_found;
int OnFound(const char* path, const char* name, uint32_t location) {
    g_found.push_back(std::string(path) + " " + name + " " + std::to_string(location));
    return 1;
}

TEST_F(MockSerial, LibraryFindsTheControllerBehindAUsbSerialAdapter) {
    auto bench = std::make_shared<qvsim::Bench>();
    qvsim::ControllerProfile p;
    p.identityNumber = 2081;
    auto ctl = std::make_shared<qvsim::Controller>(p);
    auto& dev = bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", 38400});
    qvsim::PtyServer server(bench, dev);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;

    bed->addSerialPort({SerialKind::Uart, 0, ""});  // its node is no terminal: it fails at open
    const std::string adapter = bed->addSerialPort({SerialKind::UsbSerial, 3, server.slavePath()});
    g_found.clear();
    ASSERT_EQ(EnumerateRSDevicesA(OnFound), 1);
    EXPECT_EQ(g_found, std::vector<std::string>{"/dev/ttyUSB3 QV2081 3"});

    // Found at the first probe speed; the port stays open in the table.
    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA(adapter.c_str(), &h), 1);
    uint32_t baud = 0;
    EXPECT_EQ(GetBaudRate(h, &baud), 1);
    EXPECT_EQ(baud, 38400u);
    ctl->clearTrace();
    const uint8_t cmd[5] = {0xE9, 0, 0, 0, 0};
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, cmd, reply), 1);
    {
        // The pty server's thread writes the trace under the bench's lock.
        std::lock_guard lock(bench->mutex());
        ASSERT_EQ(ctl->trace().size(), 1u);
        EXPECT_EQ(ctl->trace()[0].packet, (qvsim::Packet{0xE9, 0, 0, 0, 0}));
    }
    qvlib::LibraryDetach();
    server.stop();
}

}  // namespace
}  // namespace qvmock
