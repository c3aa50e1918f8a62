// The links a host reaches a controller by: HID reports, driver I/O controls,
// the serial line; and the bench around them (latency, removal).

#include "sim_support.h"

#include <gtest/gtest.h>

using namespace qvsim;
using simtest::framed;

namespace {

const Packet kIdentity{0xEE, 0, 0, 0, 0};
const Packet kBootState{0xED, 0, 0, 0, 0};

HidInfo hidAt(const std::string& path, uint8_t reportId = 0) {
    HidInfo h;
    h.path = path;
    h.reportId = reportId;
    return h;
}

DriverInfo driverAt(const std::string& path, int pair = 0) {
    DriverInfo d;
    d.path = path;
    d.ioctlPair = pair;
    return d;
}

Packet answerOf(const Packet& cmd) {
    Controller c;
    return *c.handle(cmd, Link::Hid, 0);
}

// ---------------------------------------------------------------- HID

class SimHid : public ::testing::Test {
protected:
    Bench bench;
    std::shared_ptr<Controller> controller = std::make_shared<Controller>();
    HidDevice& dev = bench.addHid(controller, hidAt("/sim/hidraw0", 1));

    XferError send(const Packet& p, uint8_t id = 1) {
        uint8_t r[6] = {id, p[0], p[1], p[2], p[3], p[4]};
        return dev.setFeature(r, sizeof r);
    }
    Packet poll() {
        uint8_t r[6] = {1};
        EXPECT_EQ(dev.getFeature(r, sizeof r), XferError::None);
        EXPECT_EQ(r[0], 1);
        return {r[1], r[2], r[3], r[4], r[5]};
    }
};

TEST_F(SimHid, ReportIdMustMatchTheDevice) {
    EXPECT_EQ(send(kIdentity, 0), XferError::InvalidParameter);
    EXPECT_TRUE(controller->trace().empty());
    uint8_t wrong[6] = {0};
    EXPECT_EQ(dev.getFeature(wrong, sizeof wrong), XferError::InvalidParameter);
    uint8_t out[4] = {0, 9, 9, 9};
    EXPECT_EQ(dev.setOutput(out, sizeof out), XferError::InvalidParameter);

    EXPECT_EQ(send(kIdentity), XferError::None);
    EXPECT_EQ(poll(), answerOf(kIdentity));
}

TEST_F(SimHid, ReplyShowsOnTheNthPollAndThePreviousOneBefore) {
    dev.answerOnPoll(3);
    send(kIdentity);
    EXPECT_EQ(poll(), Packet{});  // nothing answered yet
    EXPECT_EQ(poll(), Packet{});
    EXPECT_EQ(poll(), answerOf(kIdentity));

    send(kBootState);
    EXPECT_EQ(poll(), answerOf(kIdentity));  // a host must not take this for the ED answer
    EXPECT_EQ(poll(), answerOf(kIdentity));
    EXPECT_EQ(poll(), answerOf(kBootState));
    EXPECT_EQ(poll(), answerOf(kBootState));
}

TEST_F(SimHid, SilencedCommandLeavesNoStaleReply) {
    send(kIdentity);
    poll();
    controller->silence(0xEE);
    send(kIdentity);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(poll(), Packet{});
}

TEST_F(SimHid, InjectedFailuresHitOnlyTheirOperation) {
    dev.failNext(HidOp::SetFeature, XferError::Other);
    EXPECT_EQ(send(kIdentity), XferError::Other);
    EXPECT_TRUE(controller->trace().empty());  // the command never arrived
    EXPECT_EQ(send(kIdentity), XferError::None);

    dev.failNext(HidOp::GetFeature, XferError::Timeout, 2);
    uint8_t r[6] = {1};
    EXPECT_EQ(dev.getFeature(r, 6), XferError::Timeout);
    EXPECT_EQ(dev.getFeature(r, 6), XferError::Timeout);
    EXPECT_EQ(poll(), answerOf(kIdentity));

    dev.failNext(HidOp::SetOutput, XferError::NotFound);
    uint8_t out[4] = {1, 7, 8, 9};
    EXPECT_EQ(dev.setOutput(out, 4), XferError::NotFound);
    EXPECT_EQ(dev.setOutput(out, 4), XferError::None);
    ASSERT_EQ(dev.outputReports().size(), 1u);
    EXPECT_EQ(dev.outputReports()[0], (std::vector<uint8_t>{7, 8, 9}));
}

TEST(SimHidOutput, ReportsLongerThanTheDevicesOutputReportAreRefused) {
    Bench bench;
    HidInfo info;
    info.path = "/sim/hidraw0";
    info.outputReportLength = 5;  // four bytes and the id
    HidDevice& dev = bench.addHid(std::make_shared<Controller>(), info);
    uint8_t out[6] = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(dev.setOutput(out, 5), XferError::None);
    EXPECT_EQ(dev.setOutput(out, 6), XferError::InvalidParameter);
    ASSERT_EQ(dev.outputReports().size(), 1u);
    EXPECT_EQ(dev.outputReports()[0], (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(HidInfo{}.outputReportLength, 65);
}

TEST_F(SimHid, BulkReportsFollowTheReadFrameStartReply) {
    controller->profile().reportLength = 8;
    std::vector<uint8_t> frame(20);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(0x40 + i);
    controller->setBulkData(frame);

    uint8_t report[9] = {1};
    send({0xFA, 0x00, 0x55, 0, 0});
    EXPECT_EQ(dev.getFeature(report, 9), XferError::Other);  // the FA reply comes first
    EXPECT_EQ(poll(), (Packet{0xFA, 8, 0, 0, 0}));

    std::vector<uint8_t> got;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(dev.getFeature(report, 9), XferError::None);
        EXPECT_EQ(report[0], 1);
        got.insert(got.end(), report + 1, report + 9);
    }
    frame.resize(24, 0);  // the last report is padded
    EXPECT_EQ(got, frame);
    EXPECT_EQ(dev.getFeature(report, 9), XferError::Other);  // transfer over
}

// ---------------------------------------------------------------- driver

struct PairCodes {
    int pair;
    uint32_t send, read, otherSend, otherRead;
};

class SimDriverPair : public ::testing::TestWithParam<PairCodes> {};

TEST_P(SimDriverPair, AcceptsOnlyItsOwnSendAndReadCodes) {
    const auto& c = GetParam();
    Bench bench;
    auto controller = std::make_shared<Controller>();
    DriverDevice& dev = bench.addDriver(controller, driverAt("/sim/qvdrv0", c.pair));
    uint8_t reply[5] = {};
    uint32_t got = 0;

    EXPECT_EQ(dev.ioctl(c.otherSend, kIdentity.data(), 5, nullptr, 0, &got), XferError::InvalidParameter);
    EXPECT_EQ(dev.ioctl(0x223D00, kIdentity.data(), 5, nullptr, 0, &got), XferError::InvalidParameter);
    EXPECT_TRUE(controller->trace().empty());

    ASSERT_EQ(dev.ioctl(c.send, kIdentity.data(), 5, nullptr, 0, &got), XferError::None);
    EXPECT_EQ(dev.ioctl(c.otherRead, nullptr, 0, reply, 5, &got), XferError::InvalidParameter);
    ASSERT_EQ(dev.ioctl(c.read, nullptr, 0, reply, 5, &got), XferError::None);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::to_array(reply), answerOf(kIdentity));
}

INSTANTIATE_TEST_SUITE_P(Pairs, SimDriverPair,
                         ::testing::Values(PairCodes{0, 0x223D48, 0x223D4C, 0x223D88, 0x223D8C},
                                           PairCodes{1, 0x223D88, 0x223D8C, 0x223D48, 0x223D4C}));

uint32_t u32(const uint8_t* b) { return uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24); }

TEST(SimDriver, BaudRateSampleRateAndEnumerationAnswers) {
    Bench bench;
    DriverInfo info = driverAt("/sim/qvdrv3", 1);
    info.kind = 3;
    info.baudRate = 57600;
    info.sampleRate = 120;
    info.contactSampleRates[3] = 240;
    info.portIndex = 7;
    DriverDevice& dev = bench.addDriver(std::make_shared<Controller>(), info);
    uint8_t out[4] = {};
    uint32_t got = 0;
    auto query = [&](uint32_t code) {
        EXPECT_EQ(dev.ioctl(code, nullptr, 0, out, 4, &got), XferError::None) << std::hex << code;
        EXPECT_EQ(got, 4u);
        return u32(out);
    };
    EXPECT_EQ(query(0x223CB4), 57600u);
    EXPECT_EQ(query(0x223CA8) >> 16, 6000u);  // kind 3 is an Ostra-series driver device
    EXPECT_EQ(query(0x223C00) * 100 + query(0x223C04), 203u);
    EXPECT_EQ(query(0x223C40), 7u);

    // The input names a contact: its own rate, or the device's for one without.
    auto rateOf = [&](uint8_t id) {
        uint8_t in[4] = {id, 0, 0, 0};
        EXPECT_EQ(dev.ioctl(0x223DFC, in, 4, out, 4, &got), XferError::None);
        return u32(out);
    };
    EXPECT_EQ(rateOf(3), 240u);
    EXPECT_EQ(rateOf(0), 120u);
    EXPECT_EQ(rateOf(3), 240u); // asking changes nothing
    uint8_t rate[4] = {3, 0, 0, 0};
    EXPECT_EQ(dev.ioctl(0x223DFC, rate, 4, out, 2, &got), XferError::InvalidParameter);
}

TEST(SimDriver, BulkReadsAndTheProbeRead) {
    for (bool bulkReads : {true, false}) {
        Bench bench;
        auto controller = std::make_shared<Controller>();
        controller->setBulkData({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        DriverInfo info = driverAt("/d");
        info.bulkReads = bulkReads;
        DriverDevice& dev = bench.addDriver(controller, info);
        uint8_t buf[8] = {};
        uint32_t got = 0;

        // Unarmed: the probe read of the bulk size.
        XferError probe = dev.ioctl(0x223D4C, nullptr, 0, buf, 8, &got);
        EXPECT_EQ(probe, bulkReads ? XferError::None : XferError::InvalidParameter);
        EXPECT_EQ(got, bulkReads ? 8u : 0u);

        const Packet start{0xFA, 0x00, 0x55, 0, 0};
        dev.ioctl(0x223D48, start.data(), 5, nullptr, 0, &got);
        uint8_t reply[5];
        ASSERT_EQ(dev.ioctl(0x223D4C, nullptr, 0, reply, 5, &got), XferError::None);
        ASSERT_EQ(dev.ioctl(0x223D4C, nullptr, 0, buf, 8, &got), XferError::None);
        EXPECT_EQ(std::to_array(buf), (std::array<uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
        ASSERT_EQ(dev.ioctl(0x223D4C, nullptr, 0, buf, 8, &got), XferError::None);
        EXPECT_EQ(got, 2u);
        EXPECT_EQ(buf[0], 9);
        EXPECT_EQ(buf[1], 10);
    }
}

TEST(SimDriver, InjectedFailuresByOperation) {
    Bench bench;
    auto controller = std::make_shared<Controller>();
    DriverDevice& dev = bench.addDriver(controller, driverAt("/d"));
    uint8_t out[5];
    uint32_t got;
    dev.failNext(DriverOp::Send, XferError::Timeout);
    dev.failNext(DriverOp::Other, XferError::Other);
    EXPECT_EQ(dev.ioctl(0x223D48, kIdentity.data(), 5, nullptr, 0, &got), XferError::Timeout);
    EXPECT_EQ(dev.ioctl(0x223CB4, nullptr, 0, out, 4, &got), XferError::Other);
    EXPECT_EQ(dev.ioctl(0x223D48, kIdentity.data(), 5, nullptr, 0, &got), XferError::None);
    dev.failNext(DriverOp::Read, XferError::InvalidParameter);
    EXPECT_EQ(dev.ioctl(0x223D4C, nullptr, 0, out, 5, &got), XferError::InvalidParameter);
    EXPECT_EQ(dev.ioctl(0x223D4C, nullptr, 0, out, 5, &got), XferError::None);
    EXPECT_EQ(controller->trace().size(), 1u);
}

// ---------------------------------------------------------------- serial

class SimSerial : public ::testing::Test {
protected:
    Bench bench;
    std::shared_ptr<Controller> controller = std::make_shared<Controller>();
    SerialDevice& dev = bench.addSerial(controller, SerialInfo{"/sim/ttyS0", 38400});

    void write(const std::vector<uint8_t>& bytes) {
        size_t n = 0;
        ASSERT_EQ(dev.write(bytes.data(), bytes.size(), &n), XferError::None);
        EXPECT_EQ(n, bytes.size());
    }
    std::vector<uint8_t> readAll() {
        std::vector<uint8_t> out(dev.available());
        out.resize(dev.read(out.data(), out.size()));
        return out;
    }
};

TEST_F(SimSerial, FramesCarryTheComplementOfTheSum) {
    write(framed(kIdentity));
    EXPECT_EQ(readAll(), framed(answerOf(kIdentity)));

    std::vector<uint8_t> bad = framed(kBootState);
    bad[5] ^= 0x01;
    write(bad);
    EXPECT_TRUE(readAll().empty());
    EXPECT_EQ(controller->trace().size(), 1u);  // a corrupted frame is not a command

    write(framed(kBootState));  // the line is still in step
    EXPECT_EQ(readAll(), framed(answerOf(kBootState)));
}

TEST_F(SimSerial, OtherHostSpeedGetsSilence) {
    dev.setHostBaud(115200);
    write(framed(kIdentity));
    EXPECT_EQ(dev.available(), 0u);
    EXPECT_TRUE(controller->trace().empty());
    dev.setHostBaud(38400);
    write(framed(kIdentity));
    EXPECT_EQ(readAll(), framed(answerOf(kIdentity)));
}

TEST_F(SimSerial, PurgeDropsPartialInputAndQueuedOutput) {
    write(framed(kIdentity));
    write({0xED, 0x00, 0x00});
    dev.purge();
    EXPECT_EQ(dev.available(), 0u);
    write(framed(kBootState));
    EXPECT_EQ(readAll(), framed(answerOf(kBootState)));
}

TEST_F(SimSerial, PauseBetweenBytesDropsThePartialFrame) {
    for (uint64_t pause : {SerialDevice::kResyncGapMs, SerialDevice::kResyncGapMs + 1}) {
        dev.purge();
        controller->clearTrace();
        write({0xEE, 0x00, 0x00});
        bench.clock().advance(pause);
        write(framed(kBootState));
        bool resynced = pause > SerialDevice::kResyncGapMs;
        // Without resync the first 6 bytes mix the two commands and fail the checksum.
        EXPECT_EQ(readAll(), resynced ? framed(answerOf(kBootState)) : std::vector<uint8_t>{}) << pause;
        EXPECT_EQ(controller->trace().size(), resynced ? 1u : 0u);
    }
}

TEST_F(SimSerial, ALateDuplicateArrivesAheadOfTheNextAnswer) {
    dev.duplicateLate(1);
    write(framed(kIdentity));
    EXPECT_EQ(readAll(), framed(answerOf(kIdentity)));
    dev.purge();  // the copy is still on its way: it comes after the next command
    write({0xED, 0x00, 0x00});
    EXPECT_TRUE(readAll().empty());
    write({0x00, 0x00, framed(kBootState)[5]});
    std::vector<uint8_t> want = framed(answerOf(kIdentity));
    const std::vector<uint8_t> next = framed(answerOf(kBootState));
    want.insert(want.end(), next.begin(), next.end());
    EXPECT_EQ(readAll(), want);
    write(framed(kIdentity));  // one copy only
    EXPECT_EQ(readAll(), framed(answerOf(kIdentity)));
}

TEST_F(SimSerial, CorruptedRepliesFailTheirCheckByte) {
    dev.corruptReplies(1);
    write(framed(kIdentity));
    std::vector<uint8_t> got = readAll();
    const std::vector<uint8_t> good = framed(answerOf(kIdentity));
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 4), std::vector<uint8_t>(good.begin(), good.begin() + 4));
    EXPECT_EQ(got[4], uint8_t(~good[4]));
    EXPECT_EQ(got[5], good[5]);  // the check byte of the true reply, so the frame fails it
    write(framed(kIdentity));
    EXPECT_EQ(readAll(), good);
}

TEST(SimSerialMelk, FramesAreFiveBytesWithoutChecksum) {
    Bench bench;
    ControllerProfile p;
    p.series = Series::Melk;
    auto controller = std::make_shared<Controller>(p);
    SerialDevice& dev = bench.addSerial(controller, SerialInfo{"/sim/ttyS1", 19200});
    const Packet f2{0xF2, 0, 0, 0, 0};
    size_t n;
    dev.write(f2.data(), 5, &n);
    std::array<uint8_t, 8> out{};
    ASSERT_EQ(dev.read(out.data(), out.size()), 5u);
    EXPECT_EQ(out[0], 0xF2);
    EXPECT_EQ(out[1], 0xD9);
}

// ---------------------------------------------------------------- bench

TEST(SimBench, EveryTransferCostsTheLatency) {
    Bench bench;
    bench.setLatencyMs(7);
    auto controller = std::make_shared<Controller>();
    HidDevice& hid = bench.addHid(controller, hidAt("/h"));
    DriverDevice& drv = bench.addDriver(controller, driverAt("/d"));
    SerialDevice& ser = bench.addSerial(controller, SerialInfo{"/s", 115200});

    uint8_t r[6] = {0, 0xEE, 0, 0, 0, 0};
    uint64_t t0 = bench.clock().nowMs();
    hid.setFeature(r, 6);
    hid.getFeature(r, 6);
    EXPECT_EQ(bench.clock().nowMs() - t0, 14u);
    EXPECT_EQ(controller->trace().back().timeMs, t0 + 7);  // received after the send's cost

    uint32_t got;
    drv.ioctl(0x223D48, kIdentity.data(), 5, nullptr, 0, &got);
    drv.ioctl(0x12345, nullptr, 0, nullptr, 0, &got);  // a refused call costs as well
    EXPECT_EQ(bench.clock().nowMs() - t0, 28u);

    auto f = framed(kIdentity);
    size_t n;
    ser.write(f.data(), f.size(), &n);
    ser.read(r, 6);
    EXPECT_EQ(bench.clock().nowMs() - t0, 42u);
}

TEST(SimBench, RemovedDevicesAndVanishedControllersFailNotFound) {
    Bench bench;
    auto controller = std::make_shared<Controller>();
    HidDevice& hid = bench.addHid(controller, hidAt("/sim/hidraw0"));
    SerialDevice& ser = bench.addSerial(std::make_shared<Controller>(), SerialInfo{"/sim/ttyS0", 115200});
    ASSERT_EQ(bench.hid("/sim/hidraw0"), &hid);

    EXPECT_TRUE(bench.remove("/sim/hidraw0"));
    EXPECT_EQ(bench.hid("/sim/hidraw0"), nullptr);
    EXPECT_TRUE(bench.hidDevices().empty());
    uint8_t r[6] = {0, 0xEE, 0, 0, 0, 0};
    EXPECT_EQ(hid.setFeature(r, 6), XferError::NotFound);
    EXPECT_FALSE(bench.remove("/sim/hidraw0"));

    ser.controller().disconnectAfter(0);
    size_t n;
    EXPECT_EQ(ser.write(r, 6, &n), XferError::NotFound);
    EXPECT_EQ(bench.serialDevices().size(), 1u);  // still plugged in, just silent to the host
}

}  // namespace
