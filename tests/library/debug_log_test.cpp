// The debug log (its levels, its file and standard output) and the platform
// failures that reach it and the calling thread's last error: candidates an
// enumeration could not open or probe, exchanges that failed after their
// retries, serial ports that could not be set up.
#include "library_support.h"

#include <algorithm>
#include <string>

namespace qvtest {
namespace {

std::string LastErrorText() {
    char text[512] = {};
    QVGetLastErrorTextA(text, sizeof text);
    return text;
}

class DebugLog : public LibTest {
protected:
    std::string debugPath() const { return logPath() + ".debug"; }

    void SetUp() override {
        LibTest::SetUp();
        std::remove(debugPath().c_str());
        QuorvaneN4_SetLogFileA(debugPath().c_str());
        QuorvaneN4_SetDebug(1);
    }
    void TearDown() override {
        QuorvaneN4_SetDebug(0);
        QuorvaneN4_SetLogFileA(nullptr);
        std::remove(debugPath().c_str());
        LibTest::TearDown();
    }
    std::string debugText() const { return ReadFile(debugPath()); }
    size_t linesWith(const std::string& text) const {
        const std::string log = debugText();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }
};

TEST_F(DebugLog, LevelsFileAndStandardOutput) {
    // The time in front is the platform clock's (here the bench's virtual clock).
    bench->clock().advance(((7 * 60 + 8) * 60 + 9) * 1000 + 999);
    // A message is written when the level is non-zero and at least the message's.
    for (int level : {-1, 0, 1, 2, 3, 4}) {
        for (int kind = 1; kind <= 4; ++kind) {
            SCOPED_TRACE(std::to_string(level) + " x " + std::to_string(kind));
            std::remove(debugPath().c_str());
            g_DbgLevel = level;  // the variable is the level
            const bool written = level > 0 && level >= kind;
            EXPECT_EQ(debug_log_msg(kind, "line %d\n", kind), written ? 1 : 0);
            EXPECT_EQ(debugText(), written ? "[07:08:09] line " + std::to_string(kind) + "\r\n" : "");
        }
    }

    // The file is a text-mode file: "\n" becomes "\r\n", a format's "\r\n" "\r\r\n",
    // a lone "\r" stays; a format that starts with '.' gets no time.
    std::remove(debugPath().c_str());
    QuorvaneN4_SetDebug(2);
    EXPECT_EQ(g_DbgLevel, 2);
    EXPECT_EQ(qvlib::debug_log_msg(2, "open %s @ %X\r\n", "dev", 0x1F), 1);
    EXPECT_EQ(qvlib::debug_log_msg(1, ".no time\r> {OPEN}\n"), 1);
    EXPECT_EQ(debugText(), "[07:08:09] open dev @ 1F\r\r\n.no time\r> {OPEN}\r\n");

    // The wide path names a file the same way; an empty path is standard output,
    // written as the format gives it.
    QuorvaneN4_SetDebug(4);
    const std::string wide = debugPath() + ".w";
    std::remove(wide.c_str());
    QuorvaneN4_SetLogFileW(qvlib::Utf8ToWide(wide).c_str());
    EXPECT_EQ(qvlib::debug_log_msg(4, ".wide\n"), 1);
    EXPECT_EQ(ReadFile(wide), ".wide\r\n");
    std::remove(wide.c_str());
    QuorvaneN4_SetLogFileA("");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(qvlib::debug_log_msg(1, "to the console %d\n", 7), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "to the console 7\n");
    // A file that cannot be opened: nothing written.
    QuorvaneN4_SetLogFileA("/nonexistent-dir/debug.log");
    EXPECT_EQ(qvlib::debug_log_msg(1, "lost\n"), 0);
}

TEST_F(DebugLog, ADriverDeviceThatCannotBeOpenedLeavesItsReason) {
    qvsim::DriverInfo info;
    info.path = "\\\\.\\QVUVCXM_API3";
    info.openError = qvsim::XferError::Other;
    bench->addDriver(std::make_shared<qvsim::Controller>(), info);
    qvp::setLastError(qvp::ErrorKind::Other, "an older failure");
    EXPECT_EQ(EnumerateQVDevicesA([](const char*, const char*, uint32_t) { return 1; }, 0x1F), 0);
    const std::string reason = "open \\\\.\\QVUVCXM_API3: other (the simulated device refuses the open)";
    EXPECT_EQ(LastErrorText(), reason);
    EXPECT_EQ(linesWith("driver enumeration: " + reason + "\r\r\n"), 1u);

    // A run without candidates starts empty and stays empty: names with no device
    // behind them are not candidates.
    bench->remove(info.path);
    qvp::setLastError(qvp::ErrorKind::Other, "an older failure");
    EXPECT_EQ(EnumerateQVDevicesExA([](const char*, const char*, const char*) { return 1; }, 0x1F), 0);
    EXPECT_EQ(LastErrorText(), "");
    uint32_t location = 0;
    HANDLE h = INVALID_HANDLE_VALUE;
    char name[20];
    qvp::setLastError(qvp::ErrorKind::Other, "an older failure");
    EXPECT_EQ(FindQVDeviceA(&h, name, &location), 0);
    EXPECT_EQ(LastErrorText(), "");
}

TEST_F(DebugLog, HidCandidatesThatCannotBeOpenedOrProbedLeaveTheirReason) {
    qvsim::HidInfo locked = ControllerHid("/sim/hidraw1", 0x3501, "5&1&0&1");
    locked.openError = qvsim::XferError::Other;
    bench->addHid(std::make_shared<qvsim::Controller>(), locked);
    EXPECT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 0);
    EXPECT_EQ(LastErrorText(), "open /sim/hidraw1: other (the simulated device refuses the open)");
    EXPECT_EQ(linesWith("HID enumeration: open /sim/hidraw1"), 1u);

    // One that opens but fails every report: the reason of its failed probe.
    bench->remove(locked.path);
    qvsim::HidInfo broken = locked;
    broken.path = "/sim/hidraw2";
    broken.openError = qvsim::XferError::None;
    auto& dev = bench->addHid(std::make_shared<qvsim::Controller>(), broken);
    dev.failNext(qvsim::HidOp::GetFeature, qvsim::XferError::Other, 1000);
    EXPECT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 0);
    EXPECT_EQ(LastErrorText(), "get feature report /sim/hidraw2: other (simulated device)");
    EXPECT_EQ(linesWith("HID enumeration: get feature report /sim/hidraw2"), 1u);
}

TEST_F(DebugLog, AnExchangeIsLoggedOnceWhenItFailedAfterItsRetries) {
    auto ctl = std::make_shared<qvsim::Controller>();
    HANDLE h = addHid(ctl, "/sim/hidraw0", "KEY0", CurrentIdentity(6020, 1, 0));
    bench->hid("/sim/hidraw0")->failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 5);
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, cmd, reply), 0);
    const std::string reason = "set feature report /sim/hidraw0: other (simulated device)";
    EXPECT_EQ(LastErrorText(), reason);
    EXPECT_EQ(linesWith("command E0 00 F4 00 00: " + reason + "\r\r\n"), 1u);
    EXPECT_EQ(linesWith(reason), 1u);  // not once per attempt

    // A failure the retries overcome is not one.
    bench->hid("/sim/hidraw0")->failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 2);
    EXPECT_EQ(SendCmd(h, cmd, reply), 1);
    EXPECT_EQ(linesWith(reason), 1u);
    // Below the error level nothing is written.
    QuorvaneN4_SetDebug(0);
    bench->hid("/sim/hidraw0")->failNext(qvsim::HidOp::SetFeature, qvsim::XferError::Other, 5);
    EXPECT_EQ(SendCmd(h, cmd, reply), 0);
    EXPECT_EQ(linesWith(reason), 1u);
}

TEST_F(DebugLog, ASerialPortThatCannotBeSetUpSaysWhy) {
    qvsim::SerialInfo info;
    info.path = "/sim/ttyS1";
    bench->addSerial(std::make_shared<qvsim::Controller>(), info);
    HANDLE h = INVALID_HANDLE_VALUE;
    char name[20];
    EXPECT_EQ(FindRSDeviceA(1, 0, &h, name), 0);  // no line runs at 0 baud
    EXPECT_NE(LastErrorText().find("serialSetConfig /sim/ttyS1: 0 baud"), std::string::npos) << LastErrorText();
    EXPECT_EQ(linesWith("serial port set-up: serialSetConfig /sim/ttyS1: 0 baud"), 1u);
}

}  // namespace
}  // namespace qvtest
