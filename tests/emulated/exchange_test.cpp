// Commands through real hidraw ioctls: registration and a few exports against
// an emulated controller, compared line by line with the same run on the sim
// backend; the transport's retry and error rules driven by the errno of the
// node; an unplugged node; a node without write permission.
#include "emulated_support.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace qvmock {
namespace {

using Packet = qvsim::Packet;

std::string Hex(const Packet& p) {
    char b[32];
    std::snprintf(b, sizeof b, "%02X %02X %02X %02X %02X", p[0], p[1], p[2], p[3], p[4]);
    return b;
}

std::vector<std::string> Received(const qvsim::Controller& c) {
    std::vector<std::string> out;
    for (const auto& e : c.trace()) out.push_back(Hex(e.packet));
    return out;
}

int IgnoreFound(const char*, const char*, uint32_t) { return 1; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string LastErrorText() {
    char text[256] = {};
    QVGetLastErrorTextA(text, sizeof text);
    return text;
}

// What one run of the export sequence gave.
struct ExportRun {
    std::string log;
    FirmwareVersionInfoA version{};
    ParameterPalm palm{};
    std::vector<uint16_t> frame;
    int results = 0;  // bit i: step i succeeded
};

// Registration and a few exports, as a program makes them on a fresh library:
// enumerate, open, read the firmware version, read the palm group and change
// two of its items, read a frame over the bulk feature reports, send an
// output report.
ExportRun RunExports(const std::string& logPath) {
    ExportRun r;
    std::remove(logPath.c_str());
    SetCommandLogPathA(logPath.c_str());
    EnableLogCommandLine(1);
    int step = 0;
    auto note = [&](int ok) { r.results |= (ok ? 1 : 0) << step++; };

    note(EnumerateHidDevicesA(IgnoreFound));
    HANDLE h = INVALID_HANDLE_VALUE;
    note(OpenDeviceA("/dev/hidraw0", &h));
    note(GetFWVersionA(h, &r.version));
    r.palm.cbSize = sizeof r.palm;
    note(GetParameterPalm(h, 0xFFFF, &r.palm));
    r.palm.item[1].value = uint8_t(r.palm.item[1].value + 3);
    r.palm.item5.value = 0;
    note(SetParameterPalm(h, &r.palm));
    DiagnosticInfo info{};
    info.cbSize = sizeof info;
    note(GetDiagnosticInfo(h, &info));
    NewRawArray a{};
    note(BuildNewRawArray(h, &a));
    note(StartNewDiagnosticScan(h, 0, 0));
    note(GetNewDiagnosticScanResult(h, &a));
    if (a.whole) r.frame.assign(a.whole, a.whole + a.wholeCount);
    FreeNewRawArray(h, &a);
    const uint8_t block[8] = {0x5A, 1, 2, 3, 4, 5, 6, 7};
    note(SetOutputReport(h, sizeof block, block));

    EnableLogCommandLine(0);
    r.log = ReadFile(logPath);
    std::remove(logPath.c_str());
    return r;
}

class MockExchange : public MockTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    std::string node;
    HANDLE h = INVALID_HANDLE_VALUE;

    // Controller A, registered by enumeration and opened; its node's calls cleared.
    void plugAndOpen() {
        ctl = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
        node = bed->add(ControllerA(ctl));
        ASSERT_EQ(EnumerateHidDevicesA(IgnoreFound), 1);
        ASSERT_EQ(OpenDeviceA(node.c_str(), &h), 1);
        bed->clearCalls(node);
        ctl->clearTrace();
    }

    // Controller A on a node of that file mode.
    void plugWithMode(mode_t mode) {
        ctl = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
        node = bed->add(ControllerA(ctl));
        bed->setMode(node, mode);
    }

    std::string logPath() const {
        return std::string(QV_BINARY_DIR) + "/tests/mock_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    }
};

TEST_F(MockExchange, ExportsGiveTheSameCommandLogAsOnTheSimBackend) {
    ctl = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
    node = bed->add(ControllerA(ctl));
    ASSERT_EQ(node, "/dev/hidraw0");
    const ExportRun onLinux = RunExports(logPath());
    EXPECT_EQ(onLinux.results, (1 << 10) - 1) << "every step succeeds";

    // What the exports read and wrote reached the controller and came back.
    EXPECT_EQ(std::string(onLinux.version.master).rfind("QV6020A.D05.2.7.3.4", 0), 0u) << onLinux.version.master;
    EXPECT_EQ(onLinux.palm.valid, 1u);
    EXPECT_EQ(onLinux.palm.itemMask, 0x3F);
    EXPECT_EQ(onLinux.palm.item[1].maximum, 41);
    EXPECT_EQ(ctl->profile().items.at({0x04, 1}).value, 11 + 3);
    EXPECT_EQ(ctl->profile().items.at({0x04, 5}).value, 0);
    EXPECT_EQ(ctl->profile().items.at({0x04, 2}).value, 12) << "an unchanged item is not written";
    EXPECT_EQ(onLinux.frame, qvsim::SensorFrame(ctl->profile(), qvsim::kSensorRaw, 1));
    const auto& outputs = bed->hid(node)->outputReports();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0], (Bytes{0x5A, 1, 2, 3, 4, 5, 6, 7}));
    // The frame came in feature reports of the bulk size (7) plus the report id.
    size_t bulkReads = 0;
    for (const auto& c : bed->calls(node)) bulkReads += c.call == Call::GetFeature && c.length == 8;
    const size_t frameBytes = onLinux.frame.size() * 2;
    EXPECT_EQ(bulkReads, (frameBytes + 6) / 7);

    // The same sequence on the sim backend, with a controller of the same
    // profile behind a HID device that says what sysfs said.
    const std::vector<std::string> linuxCommands = Received(*ctl);
    qvlib::LibraryDetach();
    auto bench = std::make_shared<qvsim::Bench>();
    auto simCtl = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
    qvsim::HidInfo info;
    info.path = "/dev/hidraw0";
    info.name = "Acme Touch Touch Controller";
    info.productId = 0x3501;
    info.parentInstanceId = "USB\\VID_2E7B&PID_3501\\QV35010001";
    info.manufacturer = "Acme Touch";
    info.inputReportLength = 6;
    info.reportId = 1;
    bench->addHid(simCtl, info);
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    const ExportRun onSim = RunExports(logPath());

    EXPECT_EQ(onSim.results, onLinux.results);
    EXPECT_EQ(Received(*simCtl), linuxCommands);
    EXPECT_EQ(WithoutTicks(onLinux.log), WithoutTicks(onSim.log));
    EXPECT_NE(onLinux.log.find("[IN],0xEE,0x00,0x00,0x00,0x00,"), std::string::npos) << onLinux.log;
}

// The transport's rules, driven by what the node's calls fail with.
struct RetryCase {
    const char* name;
    Call call;
    int err;
    int count;
    int result;                       // SendCmd's
    std::vector<std::string> calls;   // what the node saw: S/G, with the errno of a failed call
    uint64_t sleptMs;                 // the protocol's sleeps on the virtual clock
    qvp::ErrorKind kind;              // the last error after a failed exchange
    const char* text;                 // in the last error's text
};
void PrintTo(const RetryCase& c, std::ostream* os) { *os << c.name; }

std::string Letter(const CallRecord& c) {
    std::string s = c.call == Call::SetFeature ? "S" : c.call == Call::GetFeature ? "G" : callName(c.call);
    if (c.error == ETIMEDOUT) s += ":ETIMEDOUT";
    else if (c.error == EPIPE) s += ":EPIPE";
    else if (c.error == ENODEV) s += ":ENODEV";
    else if (c.error) s += ":" + std::to_string(c.error);
    return s;
}

class MockRetry : public MockExchange, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(MockRetry, FollowsTheErrno) {
    const RetryCase& c = GetParam();
    plugAndOpen();
    if (skipped()) return;
    bed->fail(node, c.call, c.err, c.count);
    const uint64_t before = clock->nowMs();
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {9, 9, 9, 9, 9};
    qvp::clearLastError();
    EXPECT_EQ(SendCmd(h, cmd, reply), c.result);
    std::vector<std::string> seen;
    for (const auto& call : bed->calls(node)) seen.push_back(Letter(call));
    EXPECT_EQ(seen, c.calls);
    EXPECT_EQ(clock->nowMs() - before, c.sleptMs);
    if (c.result) {
        EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 00 10 00");
        EXPECT_EQ(Received(*ctl), std::vector<std::string>{"E0 00 F4 00 00"});
    } else {
        EXPECT_EQ(qvp::lastError().kind, c.kind) << qvp::lastError().text;
        const std::string text = LastErrorText();
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_NE(text.find(node), std::string::npos) << text;
    }
}

const std::vector<std::string> kFiveBrokenSends = {"S:EPIPE", "S:EPIPE", "S:EPIPE", "S:EPIPE", "S:EPIPE"};

INSTANTIATE_TEST_SUITE_P(
    Errno, MockRetry,
    ::testing::Values(
        // The device's own time-out ends all polls and attempts at once.
        RetryCase{"ReplyTimesOut", Call::GetFeature, ETIMEDOUT, 1, 0, {"S", "G:ETIMEDOUT"}, 0,
                  qvp::ErrorKind::Timeout, "ioctl (HIDIOCGFEATURE) /dev/hidraw0: Connection timed out"},
        // A refused send is sent again after 10 ms.
        RetryCase{"SendStallsTwice", Call::SetFeature, EPIPE, 2, 1, {"S:EPIPE", "S:EPIPE", "S", "G"}, 20,
                  qvp::ErrorKind::None, ""},
        // A failed poll that is no time-out is polled again after 1 ms.
        RetryCase{"PollStallsTwice", Call::GetFeature, EPIPE, 2, 1, {"S", "G:EPIPE", "G:EPIPE", "G"}, 2,
                  qvp::ErrorKind::None, ""},
        // Five refused sends end the exchange.
        RetryCase{"EverySendStalls", Call::SetFeature, EPIPE, 5, 0, kFiveBrokenSends, 50, qvp::ErrorKind::Other,
                  "ioctl (HIDIOCSFEATURE) /dev/hidraw0: Broken pipe"},
        // The device went away under the open handle: nothing is sent again.
        RetryCase{"DeviceGone", Call::SetFeature, ENODEV, 9, 0, {"S:ENODEV"}, 0, qvp::ErrorKind::NotFound,
                  "ioctl (HIDIOCSFEATURE) /dev/hidraw0: No such device"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(MockExchange, UnpluggedNodeFailsUntilEnumeratedAgain) {
    plugAndOpen();
    if (skipped()) return;
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    ASSERT_EQ(SendCmd(h, cmd, reply), 1);

    bed->vanish(node);
    EXPECT_EQ(SendCmd(h, cmd, reply), 0);
    EXPECT_EQ(qvp::lastError().kind, qvp::ErrorKind::NotFound);
    EXPECT_NE(LastErrorText().find("ioctl (HIDIOCSFEATURE) /dev/hidraw0: No such device"), std::string::npos)
        << LastErrorText();
    // Opening the node again fails: the device is gone, and nothing is enumerated.
    EXPECT_EQ(qvp::backend().open(node, qvp::DeviceKind::Hid), qvp::invalidHandle());
    EXPECT_EQ(qvp::lastError().kind, qvp::ErrorKind::NotFound) << qvp::lastError().text;
    EXPECT_NE(qvp::lastError().text.find("open /dev/hidraw0: "), std::string::npos) << qvp::lastError().text;
    EXPECT_EQ(EnumerateHidDevicesA(IgnoreFound), 0);

    // Plugged back: enumeration opens it afresh.
    bed->readd(node);
    ASSERT_EQ(EnumerateHidDevicesA(IgnoreFound), 1);
    HANDLE again = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA(node.c_str(), &again), 1);
    ctl->clearTrace();
    ASSERT_EQ(SendCmd(again, cmd, reply), 1);
    EXPECT_EQ(Received(*ctl), std::vector<std::string>{"E0 00 F4 00 00"});
}

TEST_F(MockExchange, HandleOpenedBeforeTheUnplugStaysDeadAfterTheReplug) {
    ctl = std::make_shared<qvsim::Controller>(CurrentControllerProfile());
    node = bed->add(ControllerA(ctl));
    qvp::Handle before = qvp::backend().open(node, qvp::DeviceKind::Hid);
    ASSERT_NE(before, qvp::invalidHandle()) << qvp::lastError().text;
    uint8_t report[6] = {1, 0xE0, 0x00, 0xF4, 0x00, 0x00};
    ASSERT_TRUE(qvp::backend().hidSetFeature(before, report, sizeof report)) << qvp::lastError().text;
    bed->vanish(node);
    bed->readd(node);
    EXPECT_FALSE(qvp::backend().hidSetFeature(before, report, sizeof report));
    EXPECT_EQ(qvp::lastError().kind, qvp::ErrorKind::NotFound);
    qvp::Handle after = qvp::backend().open(node, qvp::DeviceKind::Hid);
    ASSERT_NE(after, qvp::invalidHandle()) << qvp::lastError().text;
    EXPECT_TRUE(qvp::backend().hidSetFeature(after, report, sizeof report)) << qvp::lastError().text;
    EXPECT_TRUE(qvp::backend().close(before));
    EXPECT_TRUE(qvp::backend().close(after));
}

TEST_F(MockExchange, NodeWithoutWritePermissionOpensReadOnly) {
    plugWithMode(0444);
    {
        UnprivilegedFiles asUser;
        ASSERT_EQ(EnumerateHidDevicesA(IgnoreFound), 1);
    }
    ASSERT_EQ(OpenDeviceA(node.c_str(), &h), 1);
    // The feature reports work on a read-only descriptor.
    ctl->clearTrace();
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    EXPECT_EQ(SendCmd(h, cmd, reply), 1);
    EXPECT_EQ(Received(*ctl), std::vector<std::string>{"E0 00 F4 00 00"});
    // An output report cannot be written, and says why; it never reaches the node
    // (which only sees its descriptor read, for the report length).
    bed->clearCalls(node);
    const uint8_t block[4] = {1, 2, 3, 4};
    EXPECT_EQ(SetOutputReport(h, sizeof block, block), 0);
    EXPECT_EQ(LastErrorText(), "write (output report) /dev/hidraw0: opened read-only, no write permission");
    for (const auto& c : bed->calls(node))
        EXPECT_EQ(c.call, Call::Descriptor) << "the node saw " << callName(c.call);
    EXPECT_TRUE(bed->hid(node)->outputReports().empty());
}

TEST_F(MockExchange, NodeThatCannotBeOpenedGivesThePermissionText) {
    plugWithMode(0000);
    UnprivilegedFiles asUser;
    EXPECT_EQ(EnumerateHidDevicesA(IgnoreFound), 0);
    EXPECT_EQ(LastErrorText(), "open /dev/hidraw0: Permission denied");
    EXPECT_TRUE(bed->calls(node).empty());
}

}  // namespace
}  // namespace qvmock
