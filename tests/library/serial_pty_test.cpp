// The serial transport through a real pseudo-terminal: the termios backend on
// the host side, the simulated controller serving the other end.
#include "library_support.h"

using namespace qvtest;

namespace {

class SerialPty : public ::testing::Test {
protected:
    std::shared_ptr<qvsim::Bench> bench = std::make_shared<qvsim::Bench>();
    std::shared_ptr<qvsim::Controller> ctl;
    qvsim::SerialDevice* device = nullptr;
    std::unique_ptr<qvsim::PtyServer> server;

    void serve(qvsim::ControllerProfile p, uint32_t baud) {
        ctl = std::make_shared<qvsim::Controller>(p);
        auto& dev = bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", baud});
        device = &dev;
        server = std::make_unique<qvsim::PtyServer>(bench, dev);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        AttachOverLinuxBackend(bench->clockPtr());
    }

    HANDLE registerPort(uint32_t baud, uint8_t series, const Packet& identity) {
        qvlib::DevInfo rec = qvlib::EmptyDevInfo();
        qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, server->slavePath().c_str());
        qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "COM1");
        rec.dwDeviceType = QV_DEVICE_RS232;
        rec.byQVOstraMelk = series;
        rec.byTiming = 50;
        rec.dwBaudRate = baud;
        rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Serial);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE) << qvp::lastError().text;
        EXPECT_TRUE(qvlib::Rs232PortSetup(rec, baud)) << qvp::lastError().text;
        char16_t name[20];
        qvlib::NameAndRegisterDeviceW(rec, identity.data(), name);
        return rec.hDevice;
    }

    void TearDown() override {
        qvlib::LibraryDetach();
        if (server) server->stop();
        qvp::useSim(std::make_shared<qvsim::Bench>());
    }
};

TEST_F(SerialPty, RegistersAndExchangesOverTermios) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};
    p.paraVersion = 135;
    p.capability = std::array<uint8_t, 4>{0, 0, 0, 0x1E};
    p.rows = 12;
    p.columns = 18;
    serve(p, 115200);
    HANDLE h = registerPort(115200, 0, CurrentIdentity(6020, 1, 0));
    auto* d = qvlib::SlotRecord(h);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->dwParaVersion, 135u);
    EXPECT_EQ(d->byFeature[0], 0x82);
    EXPECT_EQ(d->diag.rows, 12);
    EXPECT_EQ(d->diag.bulkSize, 0);  // no bulk transfers on a serial line

    ctl->clearTrace();
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    ASSERT_EQ(SendCmd(h, cmd, reply), 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 00 10 00");
    ctl->refuse(0xE9, 1);
    const uint8_t e9[5] = {0xE9, 0, 0, 0, 0};
    EXPECT_EQ(SendCmd(h, e9, reply), 0);
    EXPECT_EQ(reply[0], 0xAA);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"E0 00 F4 00 00", "E9 00 00 00 00"}));
}

TEST_F(SerialPty, ALateDuplicateOfOneAnswerIsNoAnswerToTheNextCommand) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};
    p.bridge = {0x11, 0x22, 0x33, 0x44};
    serve(p, 115200);
    HANDLE h = registerPort(115200, 0, CurrentIdentity(6020, 1, 0));
    ctl->clearTrace();
    // The answer to E0 comes again, late: after E9 went out, ahead of E9's answer.
    device->duplicateLate(1);
    const uint8_t e0[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    const uint8_t e9[5] = {0xE9, 0x00, 0x00, 0x00, 0x00};
    uint8_t reply[5] = {};
    ASSERT_EQ(SendCmd(h, e0, reply), 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 00 10 00");
    ASSERT_EQ(SendCmd(h, e9, reply), 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E9 11 22 33 44");
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"E0 00 F4 00 00", "E9 00 00 00 00"}));
}

TEST_F(SerialPty, MelkFramesAndAWrongBaud) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Melk;
    p.major = 5;
    serve(p, 19200);
    HANDLE h = registerPort(19200, 2, P(0xF2, 0xD9, 5, 0, 0));
    uint16_t number = 0;
    uint8_t letter = 0, major = 0;
    ASSERT_EQ(qvlib::ReadIdentity(h, 0, &number, &letter, &major), 1);
    EXPECT_EQ(major, 5);

    // At another line speed the controller hears nothing it understands.
    auto rec = *qvlib::SlotRecord(h);
    ASSERT_TRUE(qvlib::Rs232PortSetup(rec, 9600));
    ctl->clearTrace();
    const uint8_t f2[5] = {0xF2, 0, 0, 0, 0};
    uint8_t reply[5] = {};
    EXPECT_EQ(qvlib::Rs232Exchange(rec, f2, reply, 0, true, /*probe*/ true), 0);
    EXPECT_TRUE(ctl->trace().empty());
}

TEST_F(SerialPty, EnumerationFindsAControllerNamedInTheEnvironment) {
    qvsim::ControllerProfile p;
    p.identityNumber = 2081;
    serve(p, 115200);
    ::setenv("QV_SERIAL_PORTS", server->slavePath().c_str(), 1);
    std::vector<std::string> found;
    static std::vector<std::string>* sink;
    sink = &found;
    int ok = EnumerateRSDevicesA([](const char* path, const char* name, uint32_t) {
        sink->push_back(std::string(path) + " " + name);
        return 1;
    });
    ::unsetenv("QV_SERIAL_PORTS");
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(found, (std::vector<std::string>{server->slavePath() + " QV2081"}));
    // Found at the second probe speed; the port stays open in the table.
    HANDLE h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA(server->slavePath().c_str(), &h), 1);
    uint32_t baud = 0;
    EXPECT_EQ(GetBaudRate(h, &baud), 1);
    EXPECT_EQ(baud, 115200u);
    const uint8_t cmd[5] = {0xE9, 0, 0, 0, 0};
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, cmd, reply), 1);
}

}  // namespace
