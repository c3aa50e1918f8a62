// The N4 transport and exchange rule on the simulated bench: the HID search and
// the serial link, framed transfers with their retries and check byte, and the
// exchange's answers to good, rejected, wrong and missing replies.
#include "library_n4_support.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <optional>

using namespace qvtest;
namespace n4 = qvlib::n4;

namespace {

enum class Via { Hid, Uart };

struct ExchangeCase {
    const char* name;
    Packet command;
    std::optional<Packet> reply;  // fixed answer to the command (once); none: the model's
    bool withReply;
    int result;
    size_t hidSends, hidReads;
    size_t uartSends, uartReads;
};

class N4Exchange : public N4Test, public ::testing::WithParamInterface<Via> {
protected:
    void open() {
        if (GetParam() == Via::Hid)
            openHid();
        else
            openUart();
    }
};

TEST_P(N4Exchange, AnswersByTheExchangeRule) {
    open();
    const ExchangeCase cases[] = {
        {"good", P(0xE0, 0x00, 0xF4, 0x00, 0x00), std::nullopt, true, 0, 1, 1, 1, 1},
        {"error reply", P(0xE0, 0x00, 0xF4, 0x00, 0x00), P(0xAA, 0xBB, 0xCC, 0xDD, 0xEE), true, -2, 1, 1, 1, 1},
        {"wrong echo", P(0xE0, 0x00, 0xF4, 0x00, 0x00), P(0x11, 0x00, 0x00, 0x00, 0x00), true, -1, 3, 3, 1, 3},
        {"E1 differs in byte 4", P(0xE1, 0x00, 0x40, 0x00, 0x05), P(0xE1, 0x00, 0x40, 0x00, 0x06), true, -1, 3, 3,
         1, 3},
        {"E1 echoed whole", P(0xE1, 0x00, 0x40, 0x00, 0x05), std::nullopt, true, 0, 1, 1, 1, 1},
        {"F0", P(0xF0, 0x00, 0x00, 0x00, 0x01), std::nullopt, true, 0, 1, 1, 1, 1},
        {"no reply buffer", P(0xE0, 0x00, 0xF4, 0x00, 0x00), std::nullopt, false, 0, 1, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        ctl->clearReplies();
        // A fixed answer for every attempt: HID sends again, the serial link reads again.
        if (c.reply) ctl->setReply(qvsim::PacketPrefix::exact(c.command), *c.reply, 3);
        uint8_t reply[5] = {};
        EXPECT_EQ(n4::Exchange(ctx, c.command.data(), c.withReply ? reply : nullptr), c.result);
        const bool hid = GetParam() == Via::Hid;
        EXPECT_EQ(sends(), hid ? c.hidSends : c.uartSends) << debugText();
        EXPECT_EQ(reads(), hid ? c.hidReads : c.uartReads) << debugText();
        EXPECT_EQ(Received(*ctl).size(), hid ? c.hidSends : c.uartSends);
        if (c.result == 0 && c.withReply && c.command[0] != 0xF0) {
            EXPECT_EQ(reply[0], c.command[0]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, N4Exchange, ::testing::Values(Via::Hid, Via::Uart),
                         [](const auto& info) { return info.param == Via::Hid ? "Hid" : "Uart"; });

TEST_F(N4Test, SerialRepliesWithABadCheckByteOrInTwoPartsOrShort) {
    auto& port = addN4Serial();
    ASSERT_TRUE(n4::SetUartPath("/sim/ttyS0"));
    ASSERT_EQ(n4::OpenUart(ctx), 1);
    const Packet e0 = P(0xE0, 0x00, 0xF4, 0x00, 0x00);
    uint8_t reply[5] = {};

    // A check byte that does not match its bytes: no reply, read again twice.
    restart();
    port.corruptReplies(1);
    EXPECT_EQ(n4::Exchange(ctx, e0.data(), reply), -1);
    EXPECT_EQ(count("{DBG} Send CMD :"), 1u);
    EXPECT_EQ(reads(), 3u);

    // The reply arrives in two parts: the first part is kept and the next read
    // completes it.
    restart();
    ctl->profile().featureF4 = {0x82, 0x01, 0x02, 0x03};
    port.splitReplies(1);
    EXPECT_EQ(n4::Exchange(ctx, e0.data(), reply), 0);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 01 02 03");
    EXPECT_EQ(reads(), 2u);
    EXPECT_EQ(count("{DBG} Send CMD :"), 1u);

    // A reply whose sixth byte never comes: no reply; the five bytes do not stay
    // in front of the next command's reply.
    restart();
    port.dropLastByte(1);
    EXPECT_EQ(n4::Exchange(ctx, e0.data(), reply), -1);
    EXPECT_EQ(reads(), 3u);
    std::memset(reply, 0, sizeof reply);
    EXPECT_EQ(n4::Exchange(ctx, e0.data(), reply), 0);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 01 02 03");
}

TEST_F(N4Test, HidWriteRetriesOnlyADeviceThatIsNotThere) {
    auto& dev = addN4Hid();
    ASSERT_EQ(n4::OpenHid(ctx), 1);
    restart();
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    const int kind = 1 | (1 << 5);

    dev.failNext(qvsim::HidOp::SetFeature, qvsim::XferError::NotFound, 2);
    const uint64_t start = now();
    EXPECT_EQ(tch_data_write(kind, ctx.hDevice, cmd, 5), 1);
    EXPECT_EQ(now() - start, 400u);
    // The log file is written in text mode: a format's "\r\n" reaches it as "\r\r\n".
    const std::string line = "[00:00:00] {33} HidD_SetFeature (size:6) [0x01][0xE0][0x00][0xF4][0x00][0x00] ";
    EXPECT_EQ(debugText(), line + "(0:1/10)\r\r\n" + line + "(0:2/10)\r\r\n" + line + "(1:3/10)\r\r\n");
    EXPECT_EQ(Hex(Received(*ctl)), std::vector<std::string>{"E0 00 F4 00 00"});

    // Any other failure ends the write at once.
    restart();
    dev.failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 1);
    const uint64_t before = now();
    EXPECT_EQ(tch_data_write(kind, ctx.hDevice, cmd, 5), 0);
    EXPECT_EQ(now(), before);
    EXPECT_EQ(debugText(), line + "(0:1/10)\r\r\n");
    EXPECT_TRUE(Received(*ctl).empty());

    // The read: one attempt, its line, the reply after the report id.
    restart();
    ASSERT_EQ(tch_data_write(kind, ctx.hDevice, cmd, 5), 1);
    restart();
    uint8_t reply[5] = {};
    EXPECT_EQ(tch_data_read(kind, ctx.hDevice, reply, 5), 1);
    EXPECT_EQ(reply[0], 0xE0);
    EXPECT_NE(debugText().find("{33} HidD_GetFeature (size:6) [0x01][0xE0]"), std::string::npos) << debugText();
    EXPECT_NE(debugText().find("(1:0)\r\r\n"), std::string::npos);
    // Kinds of neither family move nothing.
    EXPECT_EQ(tch_data_write(2, ctx.hDevice, cmd, 5), 0);
    EXPECT_EQ(tch_data_read(2, ctx.hDevice, reply, 5), 0);
}

TEST_F(N4Test, HidSearchTakesTheMakersCommandNodes) {
    // Another maker's node, a node without a feature report, one that cannot be
    // opened, then the controller (no report ids: report id 0, product 0x3508: 1).
    qvsim::HidInfo other = ControllerHid("/sim/hidraw0", 0x6020, "1");
    other.vendorId = 0x1234;
    bench->addHid(std::make_shared<qvsim::Controller>(), other);
    qvsim::HidInfo touchOnly = ControllerHid("/sim/hidraw1", 0x6020, "2");
    touchOnly.featureReport = false;
    bench->addHid(std::make_shared<qvsim::Controller>(), touchOnly);
    qvsim::HidInfo locked = ControllerHid("/sim/hidraw2", 0x6020, "3");
    locked.openError = qvsim::XferError::Other;
    bench->addHid(std::make_shared<qvsim::Controller>(), locked);
    qvsim::HidInfo plain = ControllerHid("/sim/hidraw3", 0x6020, "4");
    plain.inputReportIds = false;
    plain.reportId = 0;
    bench->addHid(ctl, plain);

    QuorvaneN4_SetDebug(3);
    ASSERT_EQ(n4::OpenHid(ctx), 1);
    EXPECT_STREQ(ctx.szPath, "/sim/hidraw3");
    EXPECT_EQ(ctx.dwDeviceType, n4::kKindHid);
    EXPECT_EQ(ctx.bWin8Ptl, 0);
    for (const char* node : {"/sim/hidraw0", "/sim/hidraw1", "/sim/hidraw2", "/sim/hidraw3"})
        EXPECT_EQ(count(std::string("[DEVICE] Check \"") + node + "\"\r\r\n"), 1u) << node;
    EXPECT_EQ(count("[DEVICE] Cannot access \"/sim/hidraw2\" ! (5)\r\r\n"), 1u) << debugText();
    char open[64];
    std::snprintf(open, sizeof open, "[DEVICE] Open \"/sim/hidraw3\" @ %" PRIXPTR "\r\r\n",
                  reinterpret_cast<uintptr_t>(ctx.hDevice));
    EXPECT_EQ(count(open), 1u) << debugText();
    uint8_t reply[5];
    EXPECT_EQ(n4::Exchange(ctx, 0xEE, 0, 0, 0, 0, reply), 0);  // report id 0 reaches it
    n4::Close(ctx);
    EXPECT_EQ(ctx.hDevice, INVALID_HANDLE_VALUE);
    EXPECT_EQ(count("[DEVICE] Close @ "), 1u);

    // Product 0x3508 speaks report id 1 whatever its descriptor says.
    bench->remove("/sim/hidraw3");
    qvsim::HidInfo p3508 = ControllerHid("/sim/hidraw4", 0x3508, "5");
    p3508.inputReportIds = false;
    p3508.reportId = 1;
    bench->addHid(ctl, p3508);
    ASSERT_EQ(n4::OpenHid(ctx), 1);
    EXPECT_EQ(ctx.bWin8Ptl, 1);
    EXPECT_EQ(hid_get_report_id(ctx.hDevice), 1);
    EXPECT_EQ(n4::Exchange(ctx, 0xEE, 0, 0, 0, 0, reply), 0);
    n4::Close(ctx);

    // None left: -1.
    bench->remove("/sim/hidraw4");
    EXPECT_EQ(n4::OpenHid(ctx), -1);
}

TEST_F(N4Test, SerialLinkOpensWithDataReportsOffAndClosesWithThemOn) {
    addN4Serial("/sim/ttyS0", 115200);
    n4::SetBaudRate(115200);
    EXPECT_EQ(n4::OpenUart(ctx), -1);  // no path set
    ASSERT_TRUE(n4::SetUartPath("/sim/ttyS0"));
    ASSERT_EQ(n4::OpenUart(ctx), 1);
    EXPECT_EQ(ctx.dwDeviceType, n4::kKindUart);
    EXPECT_EQ(ctx.dwBaudRate, 115200u);
    EXPECT_EQ(n4::KindOfHandle(ctx.hDevice), n4::kKindUart);
    EXPECT_EQ(count("\r> Device {OPEN} @ /sim/ttyS0 [OK] (0)\r\n"), 1u) << debugText();
    uint8_t reply[5];
    EXPECT_EQ(n4::Exchange(ctx, 0xE0, 0x00, 0xF4, 0, 0, reply), 0);
    n4::Close(ctx);
    EXPECT_EQ(count("\r> Device {CLOSE} (0)\r\n"), 1u);
    EXPECT_EQ(Hex(Received(*ctl)),
              (std::vector<std::string>{"F0 00 00 00 01", "E0 00 F4 00 00", "F1 00 00 00 01"}));

    // Paths: the whole path is kept; one the context cannot hold is refused.
    const std::string longPath = "/dev/serial/by-id/usb-Quorvane_Touch_Controller_0123456789ABCDEF-if00-port0";
    EXPECT_TRUE(n4::SetUartPath(longPath));
    EXPECT_EQ(n4::UartPath(), longPath);
    EXPECT_FALSE(n4::SetUartPath(std::string(260, 'x')));
    EXPECT_EQ(n4::UartPath(), longPath);
    EXPECT_EQ(n4::OpenUart(ctx), -1);
    EXPECT_EQ(count("\r> Device {OPEN} @ " + longPath + " [FAILED] (2)\r\n"), 1u) << debugText();
}

TEST_F(N4Test, SerialLinkCommandWaitsOnlyWhenItStopsScanning) {
    openUart();
    const uint64_t start = now();
    const uint8_t stopScan[5] = {0xF0, 0, 0, 0, 0};
    EXPECT_EQ(tch_data_write(n4::kKindUart, ctx.hDevice, stopScan, 5), 1);
    EXPECT_EQ(now() - start, 300u);
    const uint8_t reportsOff[5] = {0xF0, 0, 0, 0, 1};
    EXPECT_EQ(tch_data_write(n4::kKindUart, ctx.hDevice, reportsOff, 5), 1);
    EXPECT_EQ(now() - start, 300u);
    // Both replies were purged.
    uint8_t reply[5];
    EXPECT_EQ(tch_data_read(n4::kKindUart, ctx.hDevice, reply, 5), 0);
    // The frame on the line: five bytes and (sum XOR 0xFF).
    EXPECT_EQ(count("{DBG} Send CMD : [0xF0][0x00][0x00][0x00][0x01][0x0E]\r\n"), 1u) << debugText();
}

TEST_F(N4Test, UsbPathAndItsHidNodeNeedAUsbDevice) {
    // The simulated bench has no USB devices: no path, and no node for a path
    // that names none (the walk over real sysfs runs in the emulated test bed).
    EXPECT_EQ(tch_get_usb_path_by_id("USB"), nullptr);
    EXPECT_EQ(tch_get_usb_path_by_id("HID"), nullptr);
    EXPECT_EQ(n4::device_get_hid_path("/sys/devices/none"), "");
    EXPECT_EQ(count("Check HID device [FAILED] (A)\r\n"), 1u);
    EXPECT_EQ(count("WARNING: HID Device Not found for /sys/devices/none !\r\n"), 1u);
}

}  // namespace
