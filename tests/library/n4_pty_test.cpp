// The N4 serial link through a real pseudo-terminal: termios on the host side,
// the simulated controller serving the other end, at a slow and a fast rate.
// Replies arrive when the other end writes them, not at once: a reader that
// takes an answer from what the line happens to hold fails here.
#include "firmware_writer_support.h"
#include "library_n4_support.h"

#include <cstdio>
#include <fstream>

using namespace qvtest;
namespace n4 = qvlib::n4;

namespace {

class N4Pty : public ::testing::TestWithParam<uint32_t> {
protected:
    std::shared_ptr<qvsim::Bench> bench = std::make_shared<qvsim::Bench>();
    std::shared_ptr<qvsim::Controller> ctl;
    std::unique_ptr<qvsim::PtyServer> server;

    void TearDown() override {
        n4::ResetSettings();
        qvlib::LibraryDetach();
        if (server) server->stop();
        qvp::useSim(std::make_shared<qvsim::Bench>());
    }

    // The controller served on a pseudo-terminal at the rate, the library's
    // serial path set to its other end.
    void serve(const qvsim::ControllerProfile& p, uint32_t baud) {
        ctl = std::make_shared<qvsim::Controller>(p);
        auto& dev = bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", baud});
        server = std::make_unique<qvsim::PtyServer>(bench, dev);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        AttachOverLinuxBackend(bench->clockPtr());
        n4::ResetState();
        ASSERT_TRUE(n4::SetUartPath(server->slavePath()));
        n4::SetBaudRate(baud);
    }
};

TEST_P(N4Pty, VersionOverTheSerialLink) {
    const uint32_t baud = GetParam();
    qvsim::ControllerProfile p;
    p.identityNumber = 6020;
    p.letter = 1;
    p.major = 2;
    p.minor = 7;
    p.customer = 5;
    p.buildA = 0x03;
    p.buildB = 0x0D;
    ASSERT_NO_FATAL_FAILURE(serve(p, baud));

    qvlib::DevInfo ctx = n4::NewContext();
    ASSERT_EQ(n4::Open(ctx), 1) << qvp::lastError().text;
    EXPECT_EQ(ctx.dwDeviceType, n4::kKindUart);
    char text[n4::kVersionTextSize] = {};
    EXPECT_EQ(n4::GetIdentity(ctx, text), 0);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    n4::Close(ctx);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"F0 00 00 00 01", "EE 00 00 00 00", "ED 00 00 00 00",
                                                            "F1 00 00 00 01"}));
}

// A firmware update over the line: the loader echoes every data packet, and
// the block checksum's answer must be told from echoes still on their way.
TEST_P(N4Pty, FirmwareUpdateOverTheSerialLink) {
    const uint32_t baud = GetParam();
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.data.resize(3 * 64 + 10);
    for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 13 + 7);
    const fwtest::Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());  // the program names itself by its header
    const std::string file = std::string(QV_BINARY_DIR) + "/tests/n4pty_update_" + std::to_string(baud) + ".qvf";
    const fwtest::Bytes bytes = fwtest::image(im);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    qvsim::ControllerProfile p;
    p.identityNumber = 2081;
    p.letter = 1;
    p.major = 2;
    p.minor = 5;
    p.customerBytes = {9, 0, 0, 0};  // a new boot loader
    p.stateF0 = {0, 0, 0, 0x01};
    p.boot = qvsim::BootFlash{};
    p.d2Reply = {64, 0, 0, 0};
    p.bootPacketSize = 8;
    ASSERT_NO_FATAL_FAILURE(serve(p, baud));
    QuorvaneN4_SetDebug(0);

    EXPECT_EQ(QuorvaneN4_FirmwareUpdateExA(file.c_str(), 1), 1);
    std::remove(file.c_str());
    // The server's thread served the controller: it ends before the flash is read.
    server->stop();
    const qvsim::ControllerProfile& after = ctl->profile();
    std::vector<uint8_t> flashed(im.data.begin(), im.data.end());
    flashed.resize(4 * 64, 0xFF);
    EXPECT_EQ(after.boot->flash, flashed);
    EXPECT_FALSE(after.inBoot);
    EXPECT_EQ(after.minor, 6);
}

INSTANTIATE_TEST_SUITE_P(Rates, N4Pty, ::testing::Values(9600u, 115200u));

}  // namespace
