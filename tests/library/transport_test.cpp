// The command transport over HID feature reports, the kernel driver and a
// serial line (in-process simulated port), and the bulk frame reads.
#include "library_support.h"

#include <cstring>

using namespace qvtest;

namespace {

const uint8_t kReadF4[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};

class HidTransport : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;
    void SetUp() override {
        LibTest::SetUp();
        ctl = std::make_shared<qvsim::Controller>();
        ctl->profile().featureF4 = {0x11, 0x22, 0x33, 0x44};
        h = addHid(ctl, "/sim/hidraw0", "KEY0", CurrentIdentity(6020, 1, 0));
        // Leave a reply of another command in the device, so that a stale poll is recognisable.
        const uint8_t bridge[5] = {0xE9, 0, 0, 0, 0};
        uint8_t reply[5] = {};
        ASSERT_EQ(SendCmd(h, bridge, reply), 1);
        ctl->clearTrace();
    }
    qvsim::HidDevice& dev() { return *bench->hid("/sim/hidraw0"); }
};

TEST_F(HidTransport, AnswerOnALaterPollIsTakenWithoutResending) {
    dev().answerOnPoll(4);
    uint8_t reply[5] = {};
    const uint64_t t0 = now();
    ASSERT_EQ(SendCmd(h, kReadF4, reply), 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 11 22 33 44");
    EXPECT_EQ(ctl->trace().size(), 1u);  // one send, four polls
    EXPECT_EQ(now() - t0, 3u);           // a 1 ms sleep between polls
}

TEST_F(HidTransport, FivePollsWithoutAnswerResendUpToFiveTimes) {
    dev().answerOnPoll(6);  // never within one attempt's five polls
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(ctl->trace().size(), 5u);
}

TEST_F(HidTransport, RefusalFailsButHandsBackTheReply) {
    ctl->refuse(0xE0, 1);
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "AA E0 00 F4 00");
    EXPECT_EQ(ctl->trace().size(), 1u);  // a refusal is an answer: no resend
}

TEST_F(HidTransport, SemaphoreTimeOutEndsAllPollsAndAttempts) {
    dev().failNext(qvsim::HidOp::GetFeature, qvsim::XferError::Timeout, 1);
    uint8_t reply[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(ctl->trace().size(), 1u);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "00 00 00 00 00");
}

TEST_F(HidTransport, OtherPollFailuresKeepPolling) {
    dev().failNext(qvsim::HidOp::GetFeature, qvsim::XferError::Other, 3);
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 1);
    EXPECT_EQ(ctl->trace().size(), 1u);
}

TEST_F(HidTransport, FailedSendsRetryAfterTenMilliseconds) {
    dev().failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 2);
    uint8_t reply[5] = {};
    const uint64_t t0 = now();
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 1);
    EXPECT_EQ(now() - t0, 20u);
    dev().failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 5);
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
}

TEST_F(HidTransport, SendCmdOnlyReadsNoReply) {
    const uint8_t cmd[5] = {0xF1, 0, 0, 0, 1};
    EXPECT_EQ(SendCmdOnly(h, cmd), 1);
    ASSERT_EQ(ctl->trace().size(), 1u);
    EXPECT_EQ(Hex(ctl->trace()[0].packet), "F1 00 00 00 01");
    dev().failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 5);
    EXPECT_EQ(SendCmdOnly(h, cmd), 0);
}

TEST_F(HidTransport, SettleTimesFollowTheCommandAndTheDelay) {
    // The slot registered with the default 50 ms settle time (E7 gave no fast answer).
    struct Case { Packet cmd; int delay; uint64_t expected; } cases[] = {
        {P(0xE1, 0x00, 0x4E, 0x00, 0x01), 0, 50},
        {P(0xEA, 0x00, 0x00, 0x00, 0x00), 0, 50},
        {P(0xE0, 0x00, 0xF4, 0x00, 0x00), 0, 0},
        {P(0xE0, 0x00, 0xF4, 0x00, 0x00), 35, 35},
        {P(0xE1, 0x00, 0x4E, 0x00, 0x01), 7, 57},
    };
    for (const auto& c : cases) {
        uint8_t reply[5] = {};
        const uint64_t t0 = now();
        SendDelayCmd(h, c.cmd.data(), reply, c.delay);
        EXPECT_EQ(now() - t0, c.expected) << Hex(c.cmd) << " delay " << c.delay;
    }
}

TEST_F(HidTransport, ReportIdOneWhenTheReportFlavourIsSet) {
    auto c2 = std::make_shared<qvsim::Controller>();
    HANDLE h2 = addHid(c2, "/sim/hidraw1", "KEY1", CurrentIdentity(6020, 1, 0), nullptr, /*reportId*/ 1);
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h2, kReadF4, reply), 1);
    // The same device addressed with report id 0 is refused by the HID stack.
    qvlib::g_devInfo[qvlib::FindDeviceSlot(h2)].bWin8Ptl = 0;
    EXPECT_EQ(SendCmd(h2, kReadF4, reply), 0);
}

TEST_F(HidTransport, UnknownHandleSendsNothingAndLeavesTheReply) {
    uint8_t reply[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(SendCmd(reinterpret_cast<HANDLE>(0x1234), kReadF4, reply), 0);
    EXPECT_EQ(SendCmd(INVALID_HANDLE_VALUE, kReadF4, reply), 0);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "01 02 03 04 05");
    EXPECT_TRUE(ctl->trace().empty());
}

TEST_F(HidTransport, OutputReportCarriesTheReportId) {
    const uint8_t block[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    auto* d = qvlib::SlotRecord(h);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(qvlib::HidOutputReport(*d, block, sizeof block), 1);
    ASSERT_EQ(dev().outputReports().size(), 1u);
    EXPECT_EQ(dev().outputReports()[0], (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    // A device that takes report id 1 refuses a report with id 0.
    auto c2 = std::make_shared<qvsim::Controller>();
    HANDLE h2 = addHid(c2, "/sim/hidraw1", "KEY1", CurrentIdentity(6020, 1, 0), nullptr, 1);
    auto rec = *qvlib::SlotRecord(h2);
    EXPECT_EQ(qvlib::HidOutputReport(rec, block, sizeof block), 1);
    rec.bWin8Ptl = 0;
    EXPECT_EQ(qvlib::HidOutputReport(rec, block, sizeof block), 0);
    EXPECT_EQ(bench->hid("/sim/hidraw1")->outputReports().size(), 1u);
}

// Frame reads assemble little-endian words across report boundaries.
TEST_F(HidTransport, FrameReadPairsBytesAcrossReports) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 22; ++i) bytes.push_back(static_cast<uint8_t>(0x10 + i));
    ctl->setBulkData(bytes);
    uint8_t reply[5] = {};
    const uint8_t arm[5] = {0xFA, 0x00, 0x55, 0x00, 0x00};
    ASSERT_EQ(SendCmd(h, arm, reply), 1);
    auto rec = *qvlib::SlotRecord(h);
    rec.diag.bulkSize = 7;  // odd: every other report splits a word
    uint16_t words[11] = {};
    ASSERT_EQ(qvlib::HidFrameRead(rec, words, 11), 1);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(words[i], (0x10 + 2 * i) | ((0x11 + 2 * i) << 8)) << i;
}

TEST_F(HidTransport, FrameReadWithoutBulkSizeOrWithAFailedReportFails) {
    auto rec = *qvlib::SlotRecord(h);
    uint16_t words[4] = {};
    rec.diag.bulkSize = 0;
    EXPECT_EQ(qvlib::HidFrameRead(rec, words, 4), 0);
    rec.diag.bulkSize = 8;
    dev().failNext(qvsim::HidOp::GetFeature, qvsim::XferError::Other, 1);
    EXPECT_EQ(qvlib::HidFrameRead(rec, words, 4), 0);
}

// ---- kernel driver -----------------------------------------------------------------

class DriverTransport : public LibTest {};

TEST_F(DriverTransport, PairFollowsTheKindAndTheSwitch) {
    struct Case { uint32_t type; int pair; uint32_t sw; int expected; } cases[] = {
        {QV_DEVICE_DRIVER, 0, 0, 1},
        {QV_DEVICE_DRIVER, 1, 0, 0},
        {QV_DEVICE_DRIVER, 1, 1, 1},
        {QV_DEVICE_DRIVER_EX, 1, 0, 1},
        {QV_DEVICE_DRIVER_EX, 0, 0, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        auto ctl = std::make_shared<qvsim::Controller>();
        qvlib::g_driverIoctlSwitch = c.sw;
        HANDLE h = addDriver(ctl, "/sim/qvdrv" + std::to_string(n++), c.type, c.pair);
        uint8_t reply[5] = {};
        EXPECT_EQ(SendCmd(h, kReadF4, reply), c.expected) << "type " << c.type << " pair " << c.pair;
    }
}

TEST_F(DriverTransport, InvalidParameterOnReadEndsTheExchange) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addDriver(ctl, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    ctl->clearTrace();
    bench->driver("/sim/qvdrv0")->failNext(qvsim::DriverOp::Read, qvsim::XferError::InvalidParameter, 1);
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(ctl->trace().size(), 1u);
    // A later answer is still taken from a later read.
    const uint8_t e9[5] = {0xE9, 0, 0, 0, 0};
    ASSERT_EQ(SendCmd(h, e9, reply), 1);
    bench->driver("/sim/qvdrv0")->answerOnPoll(3);
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 1);
}

TEST_F(DriverTransport, FailedSendOfD1StillReads) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addDriver(ctl, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    ctl->clearTrace();
    auto* dev = bench->driver("/sim/qvdrv0");
    dev->failNext(qvsim::DriverOp::Send, qvsim::XferError::Other, 1);
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    const uint64_t t0 = now();
    EXPECT_EQ(SendCmd(h, cmd, reply), 1);
    EXPECT_GE(now() - t0, 10u);  // the failed send was retried after 10 ms
    EXPECT_EQ(ctl->trace().size(), 1u);
}

TEST_F(DriverTransport, BaudAndSampleRateGoThroughTheirControls) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE hEx = addDriver(ctl, "/sim/qvdrv3", QV_DEVICE_DRIVER_EX, 1, 921600, {{3, 240}});
    uint32_t baud = 0;
    EXPECT_EQ(GetBaudRate(hEx, &baud), 1);
    EXPECT_EQ(baud, 921600u);
    uint32_t rate = 0;
    EXPECT_EQ(GetDriverSampleRate(hEx, 3, &rate), 1); // the rate of the contact named
    EXPECT_EQ(rate, 240u);
    EXPECT_EQ(GetDriverSampleRate(hEx, 0, &rate), 1); // one without its own: the device's
    EXPECT_EQ(rate, 100u);

    auto c2 = std::make_shared<qvsim::Controller>();
    HANDLE hKind0 = addDriver(c2, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    baud = 7;
    EXPECT_EQ(GetBaudRate(hKind0, &baud), 0);  // kinds 0..2 report no rate
    EXPECT_EQ(baud, 7u);
    EXPECT_EQ(GetBaudRate(reinterpret_cast<HANDLE>(0x99), &baud), 0);
}

TEST_F(DriverTransport, FrameReadUsesTheDeliveredBytes) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addDriver(ctl, "/sim/qvdrv0", QV_DEVICE_DRIVER, 0);
    std::vector<uint8_t> bytes = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
    ctl->setBulkData(bytes);
    uint8_t reply[5] = {};
    const uint8_t arm[5] = {0xFA, 0x00, 0x55, 0x00, 0x00};
    ASSERT_EQ(SendCmd(h, arm, reply), 1);
    auto rec = *qvlib::SlotRecord(h);
    rec.diag.bulkSize = 3;
    uint16_t words[6] = {};
    ASSERT_EQ(qvlib::DriverFrameRead(rec, words, 6), 1);
    EXPECT_EQ(std::vector<uint16_t>(words, words + 6), (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
}

// ---- serial line (in-process port) -----------------------------------------------------

class SerialTransport : public LibTest {};

TEST_F(SerialTransport, ExchangeFramesWithChecksum) {
    auto ctl = std::make_shared<qvsim::Controller>();
    ctl->profile().featureF4 = {0x01, 0x02, 0x03, 0x04};
    HANDLE h = addSerial(ctl, "/sim/ttyS3", 115200);
    ctl->clearTrace();
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 01 02 03 04");
    ASSERT_EQ(ctl->trace().size(), 1u);
    EXPECT_EQ(ctl->trace()[0].link, qvsim::Link::Serial);
}

TEST_F(SerialTransport, MelkFramesHaveNoChecksum) {
    qvsim::ControllerProfile p;
    p.series = qvsim::Series::Melk;
    p.major = 3;
    auto ctl = std::make_shared<qvsim::Controller>(p);
    HANDLE h = addSerial(ctl, "/sim/ttyS4", 19200);
    uint16_t number = 0;
    uint8_t letter = 9, major = 0;
    ASSERT_EQ(qvlib::ReadIdentity(h, 0, &number, &letter, &major), 1);
    EXPECT_EQ(number, 9000);
    EXPECT_EQ(major, 3);
}

TEST_F(SerialTransport, SilenceCostsFiveAttemptsOfFiveReads) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addSerial(ctl, "/sim/ttyS3", 115200);
    ctl->clearTrace();
    ctl->silence(0xE0);
    uint8_t reply[5] = {};
    const uint64_t t0 = now();
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(ctl->trace().size(), 5u);
    // Each read waits its 30 ms time-out, then the 50 ms settle time.
    EXPECT_EQ(now() - t0, 5u * 5u * (30u + 50u));
}

TEST_F(SerialTransport, ProbeModeGivesUpAfterTwoReads) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addSerial(ctl, "/sim/ttyS3", 115200);
    ctl->silence(0xEE);
    ctl->clearTrace();
    auto rec = *qvlib::SlotRecord(h);
    const uint8_t cmd[5] = {0xEE, 0, 0, 0, 0};
    uint8_t reply[5] = {};
    const uint64_t t0 = now();
    EXPECT_EQ(qvlib::Rs232Exchange(rec, cmd, reply, 0, true, /*probe*/ true), 0);
    EXPECT_EQ(ctl->trace().size(), 1u);
    EXPECT_EQ(now() - t0, 2u * (30u + 50u));
}

TEST_F(SerialTransport, WrongBaudIsSilenceAndRefusalIsAnAnswer) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addSerial(ctl, "/sim/ttyS3", 115200);
    uint8_t reply[5] = {};
    ctl->refuse(0xE0, 1);
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_EQ(reply[0], 0xAA);
    auto rec = *qvlib::SlotRecord(h);
    ASSERT_TRUE(qvlib::Rs232PortSetup(rec, 9600));
    ctl->clearTrace();
    EXPECT_EQ(SendCmd(h, kReadF4, reply), 0);
    EXPECT_TRUE(ctl->trace().empty());
}

// A frame is the answer only when its check byte is right and it echoes the
// command (or refuses it): noise costs a byte of resynchronisation and then the
// attempt; a repeated answer of the command before is passed over.
TEST_F(SerialTransport, OnlyAWholeFrameThatEchoesTheCommandAnswersIt) {
    auto ctl = std::make_shared<qvsim::Controller>();
    ctl->profile().featureF4 = {0x01, 0x02, 0x03, 0x04};
    ctl->profile().bridge = {0x05, 0x06, 0x07, 0x08};
    HANDLE h = addSerial(ctl, "/sim/ttyS3", 115200);
    qvsim::SerialDevice& line = *bench->serial("/sim/ttyS3");
    const uint8_t e9[5] = {0xE9, 0x00, 0x00, 0x00, 0x00};
    uint8_t reply[5] = {};
    auto text = [&] { return Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}); };

    line.corruptReplies(1);
    ctl->clearTrace();
    ASSERT_EQ(SendCmd(h, kReadF4, reply), 1);
    EXPECT_EQ(text(), "E0 01 02 03 04");  // not the corrupted E0 01 02 03 FB
    EXPECT_EQ(ctl->trace().size(), 2u);   // the second attempt brought it

    line.duplicateLate(1);
    ASSERT_EQ(SendCmd(h, kReadF4, reply), 1);
    ctl->clearTrace();
    ASSERT_EQ(SendCmd(h, e9, reply), 1);
    EXPECT_EQ(text(), "E9 05 06 07 08");
    EXPECT_EQ(ctl->trace().size(), 1u);  // the late E0 answer was passed over, not asked again

    // A refusal of the command is its answer.
    line.duplicateLate(1);
    ASSERT_EQ(SendCmd(h, kReadF4, reply), 1);
    ctl->refuse(0xE9, 1);
    EXPECT_EQ(SendCmd(h, e9, reply), 0);
    EXPECT_EQ(text(), "AA E9 00 00 00");
}

TEST_F(SerialTransport, PortSetUpFailureClosesThePort) {
    qvlib::DevInfo rec = Scratch("/sim/ttyS9", "COM9", QV_DEVICE_RS232, 0);
    EXPECT_FALSE(qvlib::Rs232PortSetup(rec, 115200));  // not open: nothing to set up
    // A HID handle is no serial port: every serial call fails.
    auto ctl = std::make_shared<qvsim::Controller>();
    bench->addHid(ctl, qvsim::HidInfo{"/sim/hidraw5"});
    rec.hDevice = qvp::backend().open("/sim/hidraw5", qvp::DeviceKind::Hid);
    ASSERT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
    HANDLE was = rec.hDevice;
    EXPECT_FALSE(qvlib::Rs232PortSetup(rec, 115200));
    EXPECT_EQ(rec.hDevice, INVALID_HANDLE_VALUE);
    uint8_t report[6] = {};
    EXPECT_FALSE(qvp::backend().hidGetFeature(was, report, sizeof report));  // closed
}

}  // namespace
