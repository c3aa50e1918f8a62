// The sim backend over a libqvsim bench: opening by path, transfers, error
// kinds, virtual time, and choosing the backend from QV_SIM.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "platform/platform.h"
#include "sim_backend.h"
#include "platform_support.h"
#include "qvsim.h"

namespace qvp {
namespace {

const std::string kHid = "/sim/hidraw0";
const std::string kDriver = "/sim/qvdrv0";
const std::string kSerial = "/sim/ttyS3";

const qvsim::Packet kCommand = {0xE0, 0x00, 0xF4, 0x00, 0x00};
const qvsim::Packet kReply = {0xE0, 0x11, 0x22, 0x33, 0x44};

uint8_t checksum(const uint8_t* p) {
    return static_cast<uint8_t>(~(p[0] + p[1] + p[2] + p[3] + p[4]));
}

class SimBench : public ::testing::Test {
protected:
    void SetUp() override {
        bench_ = std::make_shared<qvsim::Bench>();
        bench_->setLatencyMs(0);
        for (auto* c : {&hidCtl_, &drvCtl_, &serCtl_}) {
            *c = std::make_shared<qvsim::Controller>();
            (*c)->setReply(kCommand, kReply);
        }
        qvsim::HidInfo hi;
        hi.path = kHid;
        bench_->addHid(hidCtl_, hi);
        qvsim::DriverInfo di;
        di.path = kDriver;
        bench_->addDriver(drvCtl_, di);
        qvsim::SerialInfo si;
        si.path = kSerial;
        si.baud = 115200;
        bench_->addSerial(serCtl_, si);
        backend_ = makeSimBackend(bench_);
    }

    Handle open(const std::string& path, DeviceKind kind) {
        const Handle h = backend_->open(path, kind);
        EXPECT_NE(h, invalidHandle()) << path << ": " << lastError().text;
        return h;
    }

    uint64_t now() const { return bench_->clock().nowMs(); }

    std::shared_ptr<qvsim::Bench> bench_;
    std::shared_ptr<qvsim::Controller> hidCtl_, drvCtl_, serCtl_;
    std::shared_ptr<Backend> backend_;
};

TEST_F(SimBench, OpensEachKindByPathOnly) {
    for (auto [path, kind] : {std::pair{kHid, DeviceKind::Hid}, std::pair{kDriver, DeviceKind::Driver},
                              std::pair{kSerial, DeviceKind::Serial}}) {
        const Handle h = open(path, kind);
        EXPECT_TRUE(backend_->close(h)) << path;
    }
    // A path of another kind, or no device at all, is not found.
    for (auto [path, kind] : {std::pair{kHid, DeviceKind::Serial}, std::pair{kSerial, DeviceKind::Driver},
                              std::pair{kDriver, DeviceKind::Hid}, std::pair{std::string("/sim/none"), DeviceKind::Hid}}) {
        EXPECT_EQ(backend_->open(path, kind), invalidHandle()) << path;
        EXPECT_EQ(lastError().kind, ErrorKind::NotFound) << path;
        EXPECT_NE(lastError().text.find(path), std::string::npos) << lastError().text;
    }
}

TEST_F(SimBench, ADeviceThatRefusesTheOpenSaysWhy) {
    qvsim::HidInfo hi;
    hi.path = "/sim/hidraw9";
    hi.openError = qvsim::XferError::Other;
    bench_->addHid(std::make_shared<qvsim::Controller>(), hi);
    qvsim::SerialInfo si;
    si.path = "/sim/ttyS9";
    si.openError = qvsim::XferError::Timeout;
    bench_->addSerial(std::make_shared<qvsim::Controller>(), si);
    EXPECT_EQ(backend_->open(hi.path, DeviceKind::Hid), invalidHandle());
    EXPECT_EQ(lastError().kind, ErrorKind::Other);
    EXPECT_EQ(lastError().text, "open /sim/hidraw9: other (the simulated device refuses the open)");
    EXPECT_EQ(backend_->open(si.path, DeviceKind::Serial), invalidHandle());
    EXPECT_EQ(lastError().kind, ErrorKind::Timeout);
}

TEST_F(SimBench, OutputReportLengthOfTheOpenDevice) {
    const Handle h = open(kHid, DeviceKind::Hid);
    EXPECT_EQ(backend_->hidOutputReportLength(h), 65);
    qvsim::HidInfo unknown;
    unknown.path = "/sim/hidraw8";
    unknown.outputReportLength = -1;
    bench_->addHid(std::make_shared<qvsim::Controller>(), unknown);
    EXPECT_EQ(backend_->hidOutputReportLength(open(unknown.path, DeviceKind::Hid)), -1);
    EXPECT_EQ(backend_->hidOutputReportLength(open(kSerial, DeviceKind::Serial)), -1);  // no HID device
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
    bench_->remove(kHid);
    EXPECT_EQ(backend_->hidOutputReportLength(h), -1);
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
}

TEST_F(SimBench, HidExchangeRoundTripAddsOnlyTheDeviceLatency) {
    bench_->setLatencyMs(7);
    const Handle h = open(kHid, DeviceKind::Hid);
    const uint64_t t0 = now();
    uint8_t out[6] = {0, kCommand[0], kCommand[1], kCommand[2], kCommand[3], kCommand[4]};
    ASSERT_TRUE(backend_->hidSetFeature(h, out, sizeof out)) << lastError().text;
    uint8_t in[6] = {};
    ASSERT_TRUE(backend_->hidGetFeature(h, in, sizeof in)) << lastError().text;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(in[i + 1], kReply[i]) << i;
    EXPECT_EQ(now() - t0, 14u);  // two transfers of 7 ms, nothing added by the backend

    const auto& trace = hidCtl_->trace();
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_EQ(trace[0].packet, kCommand);
    EXPECT_EQ(trace[0].link, qvsim::Link::Hid);
}

TEST_F(SimBench, TransferFailuresKeepTheirKind) {
    struct Case {
        qvsim::HidOp op;
        qvsim::XferError error;
        ErrorKind kind;
    };
    const Case cases[] = {
        {qvsim::HidOp::GetFeature, qvsim::XferError::Timeout, ErrorKind::Timeout},
        {qvsim::HidOp::GetFeature, qvsim::XferError::InvalidParameter, ErrorKind::InvalidParameter},
        {qvsim::HidOp::SetFeature, qvsim::XferError::NotFound, ErrorKind::NotFound},
        {qvsim::HidOp::SetOutput, qvsim::XferError::Other, ErrorKind::Other},
    };
    const Handle h = open(kHid, DeviceKind::Hid);
    auto* dev = bench_->hid(kHid);
    ASSERT_NE(dev, nullptr);
    uint8_t report[6] = {0, kCommand[0], kCommand[1], kCommand[2], kCommand[3], kCommand[4]};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.op));
        dev->failNext(c.op, c.error);
        bool ok = true;
        switch (c.op) {
            case qvsim::HidOp::SetFeature: ok = backend_->hidSetFeature(h, report, sizeof report); break;
            case qvsim::HidOp::GetFeature: ok = backend_->hidGetFeature(h, report, sizeof report); break;
            case qvsim::HidOp::SetOutput: ok = backend_->hidSetOutput(h, report, sizeof report); break;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(lastError().kind, c.kind) << lastError().text;
        EXPECT_NE(lastError().text.find(kHid), std::string::npos) << lastError().text;
    }

    // The driver's refusal of a read keeps its kind too.
    const Handle d = open(kDriver, DeviceKind::Driver);
    bench_->driver(kDriver)->failNext(qvsim::DriverOp::Read, qvsim::XferError::InvalidParameter);
    uint8_t reply[5] = {};
    uint32_t got = 0;
    EXPECT_FALSE(backend_->driverIoctl(d, 0x223D4C, nullptr, 0, reply, sizeof reply, &got));
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << lastError().text;
}

TEST_F(SimBench, DriverIoctlSendsAndReads) {
    const Handle d = open(kDriver, DeviceKind::Driver);
    uint32_t got = 99;
    ASSERT_TRUE(backend_->driverIoctl(d, 0x223D48, kCommand.data(), kCommand.size(), nullptr, 0, &got))
        << lastError().text;
    uint8_t reply[5] = {};
    ASSERT_TRUE(backend_->driverIoctl(d, 0x223D4C, nullptr, 0, reply, sizeof reply, &got)) << lastError().text;
    EXPECT_EQ(got, 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(reply[i], kReply[i]) << i;
}

TEST_F(SimBench, RemovedDeviceIsGone) {
    const Handle h = open(kHid, DeviceKind::Hid);
    ASSERT_TRUE(bench_->remove(kHid));
    uint8_t report[6] = {};
    EXPECT_FALSE(backend_->hidGetFeature(h, report, sizeof report));
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound) << lastError().text;
    EXPECT_TRUE(backend_->close(h));
}

TEST_F(SimBench, SerialExchangeAtTheControllersBaud) {
    const Handle s = open(kSerial, DeviceKind::Serial);
    SerialConfig cfg;
    cfg.baud = 115200;
    ASSERT_TRUE(backend_->serialSetConfig(s, cfg)) << lastError().text;
    SerialConfig back;
    ASSERT_TRUE(backend_->serialGetConfig(s, &back));
    EXPECT_EQ(back.baud, 115200u);
    ASSERT_TRUE(backend_->serialSetTimeouts(s, {.readConstant = 30}));

    uint8_t frame[6] = {kCommand[0], kCommand[1], kCommand[2], kCommand[3], kCommand[4], 0};
    frame[5] = checksum(frame);
    size_t written = 0;
    ASSERT_TRUE(backend_->serialWrite(s, frame, sizeof frame, &written)) << lastError().text;
    EXPECT_EQ(written, 6u);
    uint8_t in[6] = {};
    size_t got = 0;
    const uint64_t t0 = now();
    ASSERT_TRUE(backend_->serialRead(s, in, sizeof in, &got)) << lastError().text;
    ASSERT_EQ(got, 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(in[i], kReply[i]) << i;
    EXPECT_EQ(in[5], checksum(in));
    EXPECT_EQ(now(), t0);  // a complete read does not wait

    // At another baud the controller hears noise and stays silent.
    cfg.baud = 9600;
    ASSERT_TRUE(backend_->serialSetConfig(s, cfg));
    ASSERT_TRUE(backend_->serialWrite(s, frame, sizeof frame, &written));
    ASSERT_TRUE(backend_->serialRead(s, in, sizeof in, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(SimBench, SerialReadTimeOutPassesInVirtualTime) {
    const Handle s = open(kSerial, DeviceKind::Serial);
    ASSERT_TRUE(backend_->serialSetTimeouts(s, {.readMultiplier = 2, .readConstant = 30}));
    uint8_t in[6];
    size_t got = 99;
    const uint64_t t0 = now();
    const auto real0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(backend_->serialRead(s, in, sizeof in, &got)) << lastError().text;
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(now() - t0, 30u + 2u * 6u);
    EXPECT_LT(std::chrono::steady_clock::now() - real0, std::chrono::seconds(10));

    // Purge drops a queued reply.
    SerialConfig cfg;
    cfg.baud = 115200;
    ASSERT_TRUE(backend_->serialSetConfig(s, cfg));
    uint8_t frame[6] = {kCommand[0], kCommand[1], kCommand[2], kCommand[3], kCommand[4], 0};
    frame[5] = checksum(frame);
    size_t written = 0;
    ASSERT_TRUE(backend_->serialWrite(s, frame, sizeof frame, &written));
    ASSERT_TRUE(backend_->serialPurge(s));
    ASSERT_TRUE(backend_->serialRead(s, in, sizeof in, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(SimBench, CallsOfTheWrongFamilyAreRefused) {
    using namespace qvp::testing;
    const Handle h = open(kHid, DeviceKind::Hid);
    const Handle d = open(kDriver, DeviceKind::Driver);
    const Handle s = open(kSerial, DeviceKind::Serial);
    auto notHid = serialCalls();
    for (auto& c : driverCalls()) notHid.push_back(c);
    expectAllRefused(*backend_, h, notHid);
    auto notDriver = serialCalls();
    for (auto& c : hidCalls()) notDriver.push_back(c);
    expectAllRefused(*backend_, d, notDriver);
    auto notSerial = hidCalls();
    for (auto& c : driverCalls()) notSerial.push_back(c);
    expectAllRefused(*backend_, s, notSerial);
    for (Handle x : {h, d, s}) ASSERT_TRUE(backend_->close(x));
    expectAllRefused(*backend_, h, allCalls());
}

TEST(VirtualClock, SleepsAdvanceVirtualTimeAndTicksWrap) {
    auto vc = std::make_shared<qvsim::VirtualClock>((uint64_t{1} << 32) - 10);
    auto c = makeVirtualClock(vc);
    EXPECT_EQ(c->tickCount(), 0xFFFFFFF6u);
    const auto real0 = std::chrono::steady_clock::now();
    c->sleepMs(3'600'000);  // an hour of protocol settle time
    EXPECT_LT(std::chrono::steady_clock::now() - real0, std::chrono::seconds(10));
    EXPECT_EQ(vc->nowMs(), (uint64_t{1} << 32) - 10 + 3'600'000);
    EXPECT_EQ(c->tickCount(), 3'600'000u - 10u);
}

// QV_SIM decides the backend; the test puts the variable and the selection back.
class FromEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("QV_SIM")) saved_ = v;
        backend_ = currentBackend();
        clock_ = currentClock();
    }
    void TearDown() override {
        if (saved_) setenv("QV_SIM", saved_->c_str(), 1);
        else unsetenv("QV_SIM");
        setBackend(backend_);
        setClock(clock_);
    }
    std::optional<std::string> saved_;
    std::shared_ptr<Backend> backend_;
    std::shared_ptr<Clock> clock_;
};

TEST_F(FromEnvironment, ChoosesTheBackendAndClock) {
    const auto names = qvsim::builtinProfileNames();
    ASSERT_FALSE(names.empty());

    setenv("QV_SIM", names.front().c_str(), 1);
    ASSERT_TRUE(selectFromEnvironment()) << lastError().text;
    EXPECT_STREQ(backend().name(), "sim");
    auto bench = simBench();
    ASSERT_NE(bench, nullptr);
    // The clock is the bench's: a sleep is virtual time.
    const uint64_t t0 = bench->clock().nowMs();
    sleepMs(5000);
    EXPECT_EQ(bench->clock().nowMs(), t0 + 5000);
    EXPECT_EQ(tickCount(), static_cast<uint32_t>(t0 + 5000));

    // Unset or empty: back to the linux backend, from the sim each time.
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty" : "unset");
        setenv("QV_SIM", names.front().c_str(), 1);
        ASSERT_TRUE(selectFromEnvironment()) << lastError().text;
        ASSERT_NE(simBench(), nullptr);
        if (empty) setenv("QV_SIM", "", 1);
        else unsetenv("QV_SIM");
        EXPECT_TRUE(selectFromEnvironment());
        EXPECT_STREQ(backend().name(), "linux");
        EXPECT_EQ(simBench(), nullptr);
    }

    // A profile that cannot be loaded says why, and no real device takes the
    // place of the simulated ones: the bench is there, and empty.
    unsetenv("QV_SIM");
    ASSERT_TRUE(selectFromEnvironment());
    setenv("QV_SIM", "/nonexistent/dir/no-such-profile", 1);
    clearLastError();
    EXPECT_FALSE(selectFromEnvironment());
    EXPECT_EQ(lastError().kind, ErrorKind::Other);
    EXPECT_EQ(lastError().text.rfind("QV_SIM: ", 0), 0u) << lastError().text;
    EXPECT_NE(lastError().text.find("no-such-profile"), std::string::npos) << lastError().text;
    EXPECT_STREQ(backend().name(), "sim");
    ASSERT_NE(simBench(), nullptr);
    EXPECT_TRUE(simBench()->hidDevices().empty());
    EXPECT_TRUE(simBench()->serialDevices().empty());
    EXPECT_TRUE(simBench()->driverDevices().empty());
    unsetenv("QV_SIM");
    selectFromEnvironment();
}

}  // namespace
}  // namespace qvp
