// The N4 serial link through a real pseudo-terminal: termios on the host side,
// the simulated controller serving the other end, at a slow and a fast rate.
#include "library_n4_support.h"

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
    ctl = std::make_shared<qvsim::Controller>(p);
    auto& dev = bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", baud});
    server = std::make_unique<qvsim::PtyServer>(bench, dev);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    AttachOverLinuxBackend(bench->clockPtr());
    n4::ResetState();
    ASSERT_TRUE(n4::SetUartPath(server->slavePath()));
    n4::SetBaudRate(baud);

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

INSTANTIATE_TEST_SUITE_P(Rates, N4Pty, ::testing::Values(9600u, 115200u));

}  // namespace
