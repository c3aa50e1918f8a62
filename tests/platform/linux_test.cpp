// The linux backend against real kernel objects: a pseudo-terminal pair stands
// in for a serial port; HID and driver paths are checked where no device is needed.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <vector>

#include "platform/platform.h"
#include "platform_support.h"

namespace qvp {
namespace {

using Bytes = std::vector<uint8_t>;
using Steady = std::chrono::steady_clock;

// Every byte value once: a port that is not in raw mode changes some of them
// (CR/LF translation, flow-control and signal characters, echo).
Bytes allByteValues() {
    Bytes b(256);
    std::iota(b.begin(), b.end(), 0);
    return b;
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0) << std::strerror(errno);
        path_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        backend_ = makeLinuxBackend();
        port_ = backend_->open(path_, DeviceKind::Serial);
        ASSERT_NE(port_, invalidHandle()) << lastError().text;
    }

    void TearDown() override {
        if (port_ != invalidHandle()) backend_->close(port_);
        if (master_ >= 0) ::close(master_);
        ::close(slave_);
    }

    void writeMaster(const Bytes& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the port wrote, read on the master side. The bytes are already on
    // their way; the bound only keeps a broken test from hanging.
    Bytes readMaster(size_t n) {
        Bytes out;
        const auto giveUp = Steady::now() + std::chrono::seconds(5);
        while (out.size() < n && Steady::now() < giveUp) {
            uint8_t buf[512];
            const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0) out.insert(out.end(), buf, buf + r);
            else {
                pollfd p{master_, POLLIN, 0};
                ::poll(&p, 1, 50);
            }
        }
        return out;
    }

    // The pty hands bytes from master to slave asynchronously: wait until n are queued.
    void waitQueued(int n) {
        const auto giveUp = Steady::now() + std::chrono::seconds(5);
        int queued = 0;
        while (ioctl(slave_, FIONREAD, &queued) == 0 && queued < n && Steady::now() < giveUp) {
            pollfd p{slave_, POLLIN, 0};
            ::poll(&p, 1, 10);
        }
        ASSERT_EQ(queued, n);
    }

    void setTimeouts(SerialTimeouts t) { ASSERT_TRUE(backend_->serialSetTimeouts(port_, t)) << lastError().text; }

    int master_ = -1;
    int slave_ = -1;  // kept open: lets the test see the port's termios and queue
    std::string path_;
    std::shared_ptr<Backend> backend_;
    Handle port_ = invalidHandle();
};

TEST_F(PtyPort, OpensExclusiveAndRaw) {
    int exclusive = 0;
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    termios tio{};
    ASSERT_EQ(tcgetattr(slave_, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
}

TEST_F(PtyPort, LineSettingsReachTheKernelAndReadBack) {
    struct Case {
        SerialConfig cfg;
        speed_t speed;
    };
    auto make = [](uint32_t baud, StopBits stop, bool cts, bool dtr, bool rts) {
        SerialConfig c;
        c.baud = baud;
        c.stopBits = stop;
        c.ctsFlow = cts;
        c.dtr = dtr;
        c.rts = rts;
        c.abortOnError = true;
        return c;
    };
    const Case cases[] = {
        {make(115200, StopBits::One, false, false, false), B115200},
        {make(1200, StopBits::One, false, false, true), B1200},
        {make(9600, StopBits::Two, true, true, false), B9600},
        {make(921600, StopBits::One, false, true, true), B921600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cfg.baud);
        ASSERT_TRUE(backend_->serialSetConfig(port_, c.cfg)) << lastError().text;
        termios tio{};
        ASSERT_EQ(tcgetattr(slave_, &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(tio.c_cflag & PARENB, 0u);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.cfg.stopBits == StopBits::Two);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.cfg.ctsFlow);

        SerialConfig back;
        back.baud = 0;
        ASSERT_TRUE(backend_->serialGetConfig(port_, &back)) << lastError().text;
        EXPECT_EQ(back.baud, c.cfg.baud);
        EXPECT_EQ(back.dataBits, 8);
        EXPECT_EQ(back.parity, Parity::None);
        EXPECT_EQ(back.stopBits, c.cfg.stopBits);
        EXPECT_EQ(back.ctsFlow, c.cfg.ctsFlow);
        EXPECT_EQ(back.dtr, c.cfg.dtr);
        EXPECT_EQ(back.rts, c.cfg.rts);
        EXPECT_TRUE(back.abortOnError);
    }
}

TEST_F(PtyPort, SettingsThePortCannotTakeAreRefusedAndChangeNothing) {
    SerialConfig good;
    good.baud = 19200;
    ASSERT_TRUE(backend_->serialSetConfig(port_, good)) << lastError().text;

    auto with = [](auto change) {
        SerialConfig c;
        change(c);
        return c;
    };
    const SerialConfig bad[] = {
        with([](SerialConfig& c) { c.baud = 12345; }),  // no line speed for it
        with([](SerialConfig& c) { c.baud = 0; }),      // would hang the line up
        with([](SerialConfig& c) { c.dataBits = 9; }),
        with([](SerialConfig& c) { c.dataBits = 4; }),
        with([](SerialConfig& c) { c.dsrFlow = true; }),
        // A pseudo-terminal always carries 8 bits without parity: tcsetattr
        // succeeds but keeps CS8, which must not be reported as done.
        with([](SerialConfig& c) { c.dataBits = 7; c.parity = Parity::Even; }),
    };
    for (const auto& cfg : bad) {
        SCOPED_TRACE(::testing::Message() << cfg.baud << " baud, " << int(cfg.dataBits) << " bits");
        clearLastError();
        EXPECT_FALSE(backend_->serialSetConfig(port_, cfg));
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << lastError().text;
        EXPECT_NE(lastError().text.find(path_), std::string::npos) << lastError().text;
    }
    termios tio{};
    ASSERT_EQ(tcgetattr(slave_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
}

TEST_F(PtyPort, BytesPassUnchangedBothWays) {
    SerialConfig cfg;
    cfg.baud = 115200;
    ASSERT_TRUE(backend_->serialSetConfig(port_, cfg)) << lastError().text;
    const Bytes bytes = allByteValues();

    size_t written = 0;
    ASSERT_TRUE(backend_->serialWrite(port_, bytes.data(), bytes.size(), &written)) << lastError().text;
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(readMaster(bytes.size()), bytes);

    // The read time-out only bounds a broken test; the read ends when all bytes arrived.
    setTimeouts({.readConstant = 5000});
    writeMaster(bytes);
    Bytes in(bytes.size() + 1, 0xAA);
    size_t got = 0;
    ASSERT_TRUE(backend_->serialRead(port_, in.data(), bytes.size(), &got)) << lastError().text;
    ASSERT_EQ(got, bytes.size());
    in.resize(got);
    EXPECT_EQ(in, bytes);
}

TEST_F(PtyPort, ReadTimeOutsReturnWhatArrived) {
    uint8_t buf[10];
    size_t got = 99;

    // Nothing queued and no time-outs: returns at once with nothing.
    setTimeouts({});
    ASSERT_TRUE(backend_->serialRead(port_, buf, sizeof buf, &got)) << lastError().text;
    EXPECT_EQ(got, 0u);

    // Fewer bytes than asked: the total time-out passes, then they are returned.
    writeMaster({1, 2, 3});
    waitQueued(3);
    setTimeouts({.readConstant = 5});
    const auto start = Steady::now();
    ASSERT_TRUE(backend_->serialRead(port_, buf, sizeof buf, &got)) << lastError().text;
    EXPECT_GE(Steady::now() - start, std::chrono::milliseconds(5));
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[2], 3);

    // The interval time-out ends the read long before the total one.
    writeMaster({4, 5});
    waitQueued(2);
    setTimeouts({.readInterval = 5, .readConstant = 60000});
    const auto start2 = Steady::now();
    ASSERT_TRUE(backend_->serialRead(port_, buf, sizeof buf, &got)) << lastError().text;
    EXPECT_LT(Steady::now() - start2, std::chrono::seconds(30));
    EXPECT_EQ(got, 2u);
}

TEST_F(PtyPort, WriteTimeOutReportsTheShortWrite) {
    // Nobody reads the master: the pty's buffers fill and the rest cannot go out.
    setTimeouts({.writeConstant = 5});
    Bytes big(1 << 20, 0x55);
    size_t written = 0;
    EXPECT_FALSE(backend_->serialWrite(port_, big.data(), big.size(), &written));
    EXPECT_EQ(lastError().kind, ErrorKind::Timeout) << lastError().text;
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
}

TEST_F(PtyPort, PurgeDropsUnreadInput) {
    writeMaster({9, 8, 7, 6});
    waitQueued(4);
    ASSERT_TRUE(backend_->serialPurge(port_)) << lastError().text;
    int queued = -1;
    ASSERT_EQ(ioctl(slave_, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0);
    uint8_t buf[4];
    size_t got = 99;
    setTimeouts({});
    ASSERT_TRUE(backend_->serialRead(port_, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(PtyPort, HangUpFailsTheReadAsGone) {
    setTimeouts({.readConstant = 60000});
    ::close(master_);
    master_ = -1;
    uint8_t buf[6];
    size_t got = 0;
    EXPECT_FALSE(backend_->serialRead(port_, buf, sizeof buf, &got));
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound) << lastError().text;
}

TEST_F(PtyPort, EventMaskTakesOnlyTheReceivedCharacterEvent) {
    EXPECT_TRUE(backend_->serialSetEventMask(port_, kSerialEventRxChar)) << lastError().text;
    EXPECT_FALSE(backend_->serialSetEventMask(port_, 0x0100));
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
}

TEST_F(PtyPort, SuccessLeavesTheLastErrorAlone) {
    setLastError(ErrorKind::Timeout, "earlier failure");
    ASSERT_TRUE(backend_->serialPurge(port_));
    EXPECT_EQ(lastError().kind, ErrorKind::Timeout);
    EXPECT_EQ(lastError().text, "earlier failure");
}

TEST_F(PtyPort, UnknownClosedAndWrongFamilyHandlesAreRefused) {
    using namespace qvp::testing;
    auto calls = allCalls();
    for (Handle h : {Handle(nullptr), invalidHandle(), reinterpret_cast<Handle>(uintptr_t{0x1234})})
        expectAllRefused(*backend_, h, calls);

    auto wrongFamily = hidCalls();
    for (auto& c : driverCalls()) wrongFamily.push_back(c);
    expectAllRefused(*backend_, port_, wrongFamily);
    clearLastError();
    EXPECT_EQ(backend_->hidOutputReportLength(port_), -1);
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << lastError().text;

    const Handle closed = port_;
    ASSERT_TRUE(backend_->close(port_)) << lastError().text;
    port_ = invalidHandle();
    expectAllRefused(*backend_, closed, calls);

    // A handle of another backend instance is unknown here.
    auto other = makeLinuxBackend();
    const Handle again = other->open(path_, DeviceKind::Serial);
    ASSERT_NE(again, invalidHandle()) << lastError().text;
    expectAllRefused(*backend_, again, calls);
    EXPECT_NE(again, closed);  // never reused
    EXPECT_TRUE(other->close(again));
}

// ---- HID and driver: no hidraw node exists here, so the error paths ----

TEST(LinuxHid, MissingNodeIsNotFoundAndNamesThePath) {
    auto b = makeLinuxBackend();
    const std::string path = "/dev/hidraw-does-not-exist-77";
    EXPECT_EQ(b->open(path, DeviceKind::Hid), invalidHandle());
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    EXPECT_NE(lastError().text.find(path), std::string::npos) << lastError().text;
}

TEST(LinuxHid, FailedIoctlsCarryTheRequestAndPath) {
    // /dev/null opens like a node but refuses the HID ioctls.
    auto b = makeLinuxBackend();
    const Handle h = b->open("/dev/null", DeviceKind::Hid);
    ASSERT_NE(h, invalidHandle()) << lastError().text;
    uint8_t report[6] = {0, 0xE0, 0, 0xF4, 0, 0};

    EXPECT_FALSE(b->hidSetFeature(h, report, sizeof report));
    EXPECT_EQ(lastError().kind, ErrorKind::Other);
    EXPECT_NE(lastError().text.find("ioctl (HIDIOCSFEATURE) /dev/null: "), std::string::npos) << lastError().text;

    EXPECT_FALSE(b->hidGetFeature(h, report, sizeof report));
    EXPECT_NE(lastError().text.find("ioctl (HIDIOCGFEATURE) /dev/null: "), std::string::npos) << lastError().text;

    // Lengths the request number cannot carry are refused before any ioctl.
    std::vector<uint8_t> huge(1 << 14);
    for (size_t len : {size_t{0}, huge.size()}) {
        EXPECT_FALSE(b->hidGetFeature(h, huge.data(), len));
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << len << ": " << lastError().text;
        EXPECT_FALSE(b->hidSetFeature(h, huge.data(), len));
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << len << ": " << lastError().text;
    }

    using namespace qvp::testing;
    auto wrongFamily = serialCalls();
    for (auto& c : driverCalls()) wrongFamily.push_back(c);
    expectAllRefused(*b, h, wrongFamily);
    EXPECT_TRUE(b->close(h));
}

TEST(LinuxHid, OutputReportLengthIsUnknownWhenTheDescriptorCannotBeRead) {
    auto b = makeLinuxBackend();
    const Handle h = b->open("/dev/null", DeviceKind::Hid);
    ASSERT_NE(h, invalidHandle()) << lastError().text;
    clearLastError();
    EXPECT_EQ(b->hidOutputReportLength(h), -1);
    EXPECT_EQ(lastError().kind, ErrorKind::Other);
    EXPECT_NE(lastError().text.find("ioctl (HIDIOCGRDESCSIZE) /dev/null: "), std::string::npos) << lastError().text;
    EXPECT_TRUE(b->close(h));

    // A closed or unknown handle is refused as such.
    for (Handle unknown : {h, Handle(nullptr), invalidHandle()}) {
        clearLastError();
        EXPECT_EQ(b->hidOutputReportLength(unknown), -1);
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter) << lastError().text;
    }
}

TEST(LinuxDriver, ThereAreNoDriverDevices) {
    auto b = makeLinuxBackend();
    EXPECT_EQ(b->open("/dev/qvdrv0", DeviceKind::Driver), invalidHandle());
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    EXPECT_NE(lastError().text.find("/dev/qvdrv0"), std::string::npos) << lastError().text;
}

TEST(RealClock, TicksFollowTheMonotonicClockInMs) {
    auto c = makeRealClock();
    auto monoMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint32_t>(uint64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
    };
    uint32_t prev = c->tickCount();
    for (int i = 0; i < 1000; ++i) {
        const uint32_t before = monoMs();
        const uint32_t t = c->tickCount();
        const uint32_t after = monoMs();
        EXPECT_LE(uint32_t(t - before), uint32_t(after - before));  // before <= t <= after, modulo 2^32
        EXPECT_LE(uint32_t(t - prev), uint32_t(after - prev));
        prev = t;
    }
}

}  // namespace
}  // namespace qvp
