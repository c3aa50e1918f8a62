// Touch and force notifications end to end on the simulated bench: reports
// queued by simulated controllers (HID input reports, driver notify codes,
// serial packets) reach the registered callbacks on the library's threads; the
// lifecycle of register, unregister and the slot threads.
#include "library_support.h"
#include "wait_support.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace qvtest;

namespace {

struct Call {
    int state, x, y;
    HANDLE device;
    friend bool operator==(const Call&, const Call&) = default;
};

// What the callbacks received, for the test thread to wait on.
struct Calls {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Call> touches;
    std::vector<int> forces;
    int unregisterFromCallback = -1;
    bool unregisterInCallback = false;

    void clear() {
        std::lock_guard l(mutex);
        touches.clear();
        forces.clear();
    }
    // Waits (at most 5 s, real time) until n touch calls arrived; the calls then.
    std::vector<Call> waitTouches(size_t n) {
        std::unique_lock l(mutex);
        qvtest::waitUntil(cv, l, [&] { return touches.size() >= n; }, std::chrono::seconds(5));
        return touches;
    }
    // Waits (at most 5 s) for a force call with this value.
    bool waitForce(int value) {
        std::unique_lock l(mutex);
        return qvtest::waitUntil(
            cv, l, [&] { return std::find(forces.begin(), forces.end(), value) != forces.end(); },
            std::chrono::seconds(5));
    }
};
Calls g_calls;

int OnTouchEx(int state, int x, int y, HANDLE device) {
    if (g_calls.unregisterInCallback) g_calls.unregisterFromCallback = UnRegisterTouchNotify();
    std::lock_guard l(g_calls.mutex);
    g_calls.touches.push_back({state, x, y, device});
    g_calls.cv.notify_all();
    return 1;
}
int OnTouch(int state, int x, int y) { return OnTouchEx(state, x, y, nullptr); }
int OnForce(int zero, int force) {
    std::lock_guard l(g_calls.mutex);
    g_calls.forces.push_back(zero == 0 ? force : -1);
    g_calls.cv.notify_all();
    return 1;
}

class TouchNotify : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        g_calls.clear();
        g_calls.unregisterInCallback = false;
        g_calls.unregisterFromCallback = -1;
    }
    void TearDown() override {
        UnRegisterTouchNotify();
        UnRegisterForceNotify();
        LibTest::TearDown();
    }

    std::shared_ptr<qvsim::Controller> current() {
        qvsim::ControllerProfile p;
        return std::make_shared<qvsim::Controller>(p);
    }

    // A HID controller in the table (no commands are exchanged: the record goes in as found).
    HANDLE hidSlot(const std::string& path, const std::string& key, qvsim::HidInfo info, const std::string& slotPath = "",
                   uint16_t form = 1) {
        info.path = path;
        bench->addHid(current(), info);
        qvlib::DevInfo rec = Scratch(slotPath.empty() ? path : slotPath, key, QV_DEVICE_HID, 1);
        rec.bWin8Ptl = form;
        rec.hDevice = qvp::backend().open(path, qvp::DeviceKind::Hid);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
        qvlib::RegisterDeviceSlot(rec);
        return rec.hDevice;
    }

    static qvsim::HidInfo Info(const std::string& parent = "USB\\VID_2E7B&PID_6020\\5&AB&0&1") {
        qvsim::HidInfo i;
        i.parentInstanceId = parent;
        return i;
    }
};

}  // namespace

TEST_F(TouchNotify, RegisterRefusesNullAndASecondRegistration) {
    EXPECT_EQ(RegisterTouchNotify(nullptr), 0);
    EXPECT_EQ(RegisterTouchNotifyEx(nullptr), 0);
    EXPECT_EQ(RegisterForceNotify(nullptr), 0);
    EXPECT_EQ(CreateComPortTouchNotify(), 0);  // nothing runs yet
    EXPECT_EQ(CloseComPortTouchNotify(), 0);
    ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
    EXPECT_EQ(RegisterTouchNotify(OnTouch), 0);
    EXPECT_EQ(RegisterTouchNotifyEx(OnTouchEx), 0);
    EXPECT_EQ(CreateComPortTouchNotify(), 1);
    EXPECT_EQ(CloseComPortTouchNotify(), 1);
    EXPECT_EQ(UnRegisterTouchNotify(), 1);
    EXPECT_EQ(UnRegisterTouchNotify(), 1);
    EXPECT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
}

TEST_F(TouchNotify, HidReportsReachTheCallbackWithTheirSlotsHandle) {
    const HANDLE h = hidSlot("/sim/hidraw0", "K0", Info());
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
    auto* d = bench->hid("/sim/hidraw0");
    d->queueTouch(0x71, 100, 200);
    d->queueTouch(0x41, 101, 201);
    d->queueTouch(0x41, 101, 201);  // up again: nothing
    d->queueTouch(0x8B, 0x1234, 0x0507);
    const auto got = g_calls.waitTouches(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], (Call{0x11, 100, 200, h}));
    EXPECT_EQ(got[1], (Call{0x21, 101, 201, h}));
    EXPECT_EQ(got[2], (Call{0x60, 0, 0x05, h}));
    int last = -1;
    ASSERT_EQ(CheckLastTouchDeviceHandle(h, &last), 1);
    EXPECT_EQ(last, 1);
}

TEST_F(TouchNotify, ReportFormsAndLookupTable) {
    // No report ids: the platform puts a 0 in front, so packets keep their offsets.
    qvsim::HidInfo noIds = Info("USB\\VID_2E7B&PID_6020\\NOIDS");
    noIds.inputReportIds = false;
    const HANDLE hNoIds = hidSlot("/sim/hidraw0", "K0", noIds);
    // The 3508 form: 14-byte reports, two packets and the force at offset 11.
    qvsim::HidInfo f3508 = Info("USB\\VID_2E7B&PID_3508\\F");
    f3508.productId = 0x3508;
    f3508.inputReportLength = 14;
    const HANDLE h3508 = hidSlot("/sim/hidraw1", "K1", f3508, "", 0x3508);
    // A slot whose path differs in case from the node's name.
    const HANDLE hCase = hidSlot("/sim/hidraw2", "K2", Info("USB\\VID_2E7B&PID_6020\\CASE"), "/SIM/HIDRAW2");
    // A second node of the first controller's USB device (its touch interface).
    bench->addHid(current(), [] {
        qvsim::HidInfo i = Info("USB\\VID_2E7B&PID_6020\\NOIDS");
        i.path = "/sim/hidraw3";
        return i;
    }());
    // A maker's node not in the table, and another vendor's touch screen.
    bench->addHid(current(), [] {
        qvsim::HidInfo i = Info("USB\\VID_2E7B&PID_6020\\UNKNOWN");
        i.path = "/sim/hidraw4";
        return i;
    }());
    bench->addHid(current(), [] {
        qvsim::HidInfo i = Info("USB\\VID_1234&PID_0001\\OTHER");
        i.path = "/sim/hidraw5";
        i.vendorId = 0x1234;
        return i;
    }());

    ASSERT_EQ(RegisterForceNotify(OnForce), 1);
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
    struct Case {
        const char* name;
        std::string path;
        std::vector<uint8_t> report;  // empty: queueTouch(0x7N, x, y)
        std::optional<Call> call;
    };
    std::vector<uint8_t> short3508(13, 0);
    short3508[0] = 1;
    short3508[1] = 0x75;
    const std::vector<Case> table = {
        {"no report ids", "/sim/hidraw0", {}, Call{0x11, 11, 12, hNoIds}},
        {"3508 form", "/sim/hidraw1", {}, Call{0x11, 11, 12, h3508}},
        {"3508 report under 14 bytes skipped", "/sim/hidraw1", short3508, std::nullopt},
        {"path case ignored", "/sim/hidraw2", {}, Call{0x11, 11, 12, hCase}},
        {"node of the same USB device", "/sim/hidraw3", {}, Call{0x12, 11, 12, hNoIds}},
        {"unknown maker's node: handle -1", "/sim/hidraw4", {}, Call{0x11, 11, 12, INVALID_HANDLE_VALUE}},
        {"other vendor ignored", "/sim/hidraw5", {}, std::nullopt},
    };
    uint8_t id = 1;
    for (const auto& c : table) {
        g_calls.clear();
        auto* d = bench->hid(c.path);
        ASSERT_NE(d, nullptr) << c.name;
        if (c.report.empty()) {
            const uint8_t status = c.path == "/sim/hidraw3" ? 0x72 : 0x71;
            d->queueTouch(status, 11, 12, uint16_t(0x1200 + id));
        } else {
            d->queueInput(c.report);
        }
        if (c.path == "/sim/hidraw5") {
            EXPECT_EQ(d->queuedInput(), 1u) << c.name;  // its node is not read at all
        } else {
            // Taken by the input thread, which handles it before it reads again.
            ASSERT_TRUE(qvtest::waitUntil([&] { return d->queuedInput() == 0; })) << c.name;
        }
        // A report through the first node shows that everything before it was handled.
        bench->hid("/sim/hidraw0")->queueTouch(0x8F, 1, 2);
        const auto got = g_calls.waitTouches(c.call ? 2 : 1);
        ASSERT_EQ(got.size(), c.call ? 2u : 1u) << c.name;
        if (c.call) {
            EXPECT_EQ(got[0], *c.call) << c.name;
        }
        EXPECT_EQ(got.back().state, 0x50) << c.name;
        if (c.path == "/sim/hidraw1" && c.call) {
            EXPECT_TRUE(g_calls.waitForce(0x1200 + id)) << c.name;
        }
        ++id;
    }
    int last = -1;
    ASSERT_EQ(CheckLastTouchDeviceHandle(hNoIds, &last), 1);
    EXPECT_EQ(last, 1);  // the last report came from its node
    ASSERT_EQ(CheckLastTouchDeviceHandle(h3508, &last), 1);
    EXPECT_EQ(last, 0);
}

TEST_F(TouchNotify, NodeNameReusedAfterAReplugIsLookedUpAgain) {
    hidSlot("/sim/hidraw0", "K0", Info());
    bench->addHid(current(), [] {
        qvsim::HidInfo i = Info("USB\\VID_2E7B&PID_6020\\LATER");
        i.path = "/sim/hidraw1";
        return i;
    }());
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
    bench->hid("/sim/hidraw1")->queueTouch(0x71, 1, 1);
    ASSERT_EQ(g_calls.waitTouches(1).size(), 1u);
    EXPECT_EQ(g_calls.waitTouches(1)[0].device, INVALID_HANDLE_VALUE);

    // The controller joins the table; its node is still remembered as unknown.
    qvlib::DevInfo rec = Scratch("/sim/hidraw1", "K1", QV_DEVICE_HID, 1);
    rec.hDevice = qvp::backend().open("/sim/hidraw1", qvp::DeviceKind::Hid);
    qvlib::RegisterDeviceSlot(rec);
    bench->hid("/sim/hidraw1")->queueTouch(0x72, 2, 2);
    ASSERT_EQ(g_calls.waitTouches(2).size(), 2u);
    EXPECT_EQ(g_calls.waitTouches(2)[1].device, INVALID_HANDLE_VALUE);

    // Unplugged and plugged again, the node name is looked up afresh.
    ASSERT_TRUE(bench->remove("/sim/hidraw1"));
    ASSERT_TRUE(bench->replug("/sim/hidraw1"));
    bench->hid("/sim/hidraw1")->queueTouch(0x73, 3, 3);
    const auto got = g_calls.waitTouches(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], (Call{0x13, 3, 3, rec.hDevice}));
}

TEST_F(TouchNotify, UnregisterJoinsEverythingAndIsRefusedInsideACallback) {
    hidSlot("/sim/hidraw0", "K0", Info());
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    const int serialSlot = qvlib::FindDeviceSlot(addSerial(std::make_shared<qvsim::Controller>(ostra), "/sim/ttyS1", 9600));
    const int driverSlot = qvlib::FindDeviceSlot(addDriver(current(), "/sim/drv0", QV_DEVICE_DRIVER_EX, 0));
    ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
    ASSERT_EQ(CreateComPortTouchNotify(), 1);
    ASSERT_TRUE(qvtest::waitUntil([&] { return qvlib::g_slotThread[driverSlot].running.load(); }));
    EXPECT_TRUE(qvlib::g_slotThread[serialSlot].running);
    g_calls.unregisterInCallback = true;
    bench->hid("/sim/hidraw0")->queueTouch(0x71, 1, 1);
    ASSERT_EQ(g_calls.waitTouches(1).size(), 1u);
    EXPECT_EQ(g_calls.unregisterFromCallback, 0);
    g_calls.unregisterInCallback = false;

    EXPECT_EQ(UnRegisterTouchNotify(), 1);
    for (int slot : {serialSlot, driverSlot}) {
        EXPECT_FALSE(qvlib::g_slotThread[slot].running) << slot;
        EXPECT_FALSE(qvlib::g_slotThread[slot].thread.joinable()) << slot;
    }
    bench->hid("/sim/hidraw0")->queueTouch(0x72, 2, 2);
    EXPECT_EQ(bench->hid("/sim/hidraw0")->queuedInput(), 1u);  // nobody reads any more
    EXPECT_EQ(g_calls.waitTouches(1).size(), 1u);
}

TEST_F(TouchNotify, HeadCaptureThroughTheExports) {
    hidSlot("/sim/hidraw0", "K0", Info());
    int on = 1;
    ASSERT_EQ(GetHeadCnt(1, &on), 1);
    EXPECT_EQ(GetHeadCnt(0, nullptr), 0);
    ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
    bench->hid("/sim/hidraw0")->queueTouch(0x71, 1, 1);
    bench->hid("/sim/hidraw0")->queueTouch(0x45, 1, 1);  // no call, still captured
    bench->hid("/sim/hidraw0")->queueTouch(0x41, 1, 1);
    ASSERT_EQ(g_calls.waitTouches(2).size(), 2u);
    int count = -1;
    ASSERT_EQ(GetHeadCnt(0, &count), 1);
    EXPECT_EQ(count, 3);
    uint8_t b = 0;
    ASSERT_EQ(GetTouchHead(1, &b), 1);
    EXPECT_EQ(b, 0x45);
    EXPECT_EQ(GetTouchHead(3, &b), 0);
    EXPECT_EQ(GetTouchHead(-1, &b), 0);
    EXPECT_EQ(GetTouchHead(0, nullptr), 0);
}

TEST_F(TouchNotify, DriverCodesAreDecodedAndAFailedWaitEndsTheThread) {
    auto c = current();
    const HANDLE h = addDriver(c, "/sim/drv0", QV_DEVICE_DRIVER, 0);
    auto* d = bench->driver("/sim/drv0");
    d->pushNotify(0x8A);  // there before the wait: completes it at once
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
    d->pushNotify(0x55);  // not a touch state: ignored
    d->pushNotify(0x10A);  // the code is the low byte
    auto got = g_calls.waitTouches(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Call{0x40, 0, 0, h}));
    EXPECT_EQ(got[1], (Call{0x30, 0, 0, h}));
    const int slot = qvlib::FindDeviceSlot(h);
    ASSERT_NE(slot, qvlib::kNoSlot);
    EXPECT_TRUE(qvlib::g_slotThread[slot].running);
    d->failNotify(qvsim::XferError::Other);
    EXPECT_TRUE(qvtest::waitUntil([&] { return !qvlib::g_slotThread[slot].running; }));
}

TEST_F(TouchNotify, SerialPacketsOfEachSeriesAndTwoPortsAtOnce) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    qvsim::ControllerProfile melk;
    melk.series = qvsim::Series::Melk;
    const HANDLE hO = addSerial(std::make_shared<qvsim::Controller>(ostra), "/sim/ttyS1", 9600);
    const HANDLE hM = addSerial(std::make_shared<qvsim::Controller>(melk), "/sim/ttyS2", 9600);
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouchEx), 1);
    ASSERT_EQ(CreateComPortTouchNotify(), 1);
    auto* o = bench->serial("/sim/ttyS1");
    auto* m = bench->serial("/sim/ttyS2");
    // Half a packet on one port, a whole one on the other, then the rest.
    const uint8_t first[6] = {0x71, 0x10, 0x01, 0x20, 0x02, uint8_t(~(0x71 + 0x10 + 0x01 + 0x20 + 0x02))};
    o->queueOutput(first, 3);
    m->queueTouch(0x72, 389, 897);
    ASSERT_EQ(g_calls.waitTouches(1).size(), 1u);
    o->queueOutput(first + 3, 3);
    auto got = g_calls.waitTouches(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Call{0x10, 389, 897, hM}));  // Melk reports carry no id
    EXPECT_EQ(got[1], (Call{0x11, 0x0110, 0x0220, hO}));

    // One corrupt packet costs that packet only.
    uint8_t bad[6] = {0x72, 0x05, 0x00, 0x06, 0x00, 0x00};
    o->queueOutput(bad, sizeof bad);
    o->queueTouch(0x31, 0x0110, 0x0220);
    got = g_calls.waitTouches(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], (Call{0x21, 0x0110, 0x0220, hO}));

    ASSERT_EQ(CloseComPortTouchNotify(), 1);
    EXPECT_FALSE(qvlib::g_slotThread[qvlib::FindDeviceSlot(hO)].running);
    EXPECT_FALSE(qvlib::g_slotThread[qvlib::FindDeviceSlot(hM)].running);
}

TEST_F(TouchNotify, ReaderEndsAfterAnUnplug) {
    qvsim::ControllerProfile ostra;
    ostra.series = qvsim::Series::Ostra;
    const HANDLE h = addSerial(std::make_shared<qvsim::Controller>(ostra), "/sim/ttyS1", 9600);
    ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
    ASSERT_EQ(CreateComPortTouchNotify(), 1);
    const int slot = qvlib::FindDeviceSlot(h);
    ASSERT_TRUE(qvlib::g_slotThread[slot].running);
    ASSERT_TRUE(bench->remove("/sim/ttyS1"));
    EXPECT_TRUE(qvtest::waitUntil([&] { return !qvlib::g_slotThread[slot].running; }));
}

TEST_F(TouchNotify, Rs232PnpTestTable) {
    struct Case {
        const char* name;
        qvsim::Series series;
        std::optional<std::string> identifier;  // nullopt: the series' own
        int exportResult;
        int result;
    };
    const std::vector<Case> table = {
        {"Ostra", qvsim::Series::Ostra, std::nullopt, 1, 1},
        {"Melk", qvsim::Series::Melk, std::nullopt, 1, 1},
        {"wrong maker", qvsim::Series::Ostra, "(01XYZ6000)", 1, 0},
        {"Melk digits to an Ostra", qvsim::Series::Ostra, "(01QRV9000)", 1, 0},
        {"garbage first", qvsim::Series::Ostra, "~~x(27QRV6000)", 1, 1},
        {"current series", qvsim::Series::Current, std::nullopt, 0, 0},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        qvsim::ControllerProfile p;
        p.series = c.series;
        const HANDLE h = addSerial(std::make_shared<qvsim::Controller>(p), "/sim/ttyS1", 9600);
        if (c.identifier) bench->serial("/sim/ttyS1")->setPnpIdentifier(*c.identifier);
        int result = -1;
        EXPECT_EQ(RS232PNPTest(h, &result), 0);  // no reader yet
        ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
        ASSERT_EQ(CreateComPortTouchNotify(), 1);
        const uint64_t before = now();
        result = -1;
        EXPECT_EQ(RS232PNPTest(h, &result), c.exportResult);
        if (c.exportResult) {
            EXPECT_EQ(result, c.result);
            EXPECT_LT(now() - before, 5000u);  // decided before the 50 steps ran out
        }
        // The port runs at its own speed again and still delivers touches.
        if (c.exportResult) {
            g_calls.clear();
            bench->serial("/sim/ttyS1")->queueTouch(0x71, 5, 6);
            EXPECT_EQ(g_calls.waitTouches(1).size(), 1u);
        }
    }
}

TEST(TouchNotifyExit, ProcessExitWithThreadsRunningEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            qvlib::LibraryDetach();
            auto bench = std::make_shared<qvsim::Bench>();
            qvp::useSim(bench);
            qvlib::LibraryAttach(false);
            qvsim::HidInfo i;
            i.path = "/sim/hidraw0";
            bench->addHid(std::make_shared<qvsim::Controller>(), i);
            qvsim::ControllerProfile ostra;
            ostra.series = qvsim::Series::Ostra;
            bench->addSerial(std::make_shared<qvsim::Controller>(ostra), qvsim::SerialInfo{"/sim/ttyS1", 9600});
            qvlib::DevInfo rec = qvlib::EmptyDevInfo();
            std::snprintf(rec.szPath, sizeof rec.szPath, "/sim/ttyS1");
            std::snprintf(rec.szKey, sizeof rec.szKey, "COM1");
            rec.dwDeviceType = QV_DEVICE_RS232;
            rec.byQVOstraMelk = 1;
            rec.hDevice = qvp::backend().open("/sim/ttyS1", qvp::DeviceKind::Serial);
            qvlib::RegisterDeviceSlot(rec);
            if (RegisterTouchNotify(OnTouch) != 1 || CreateComPortTouchNotify() != 1) std::exit(3);
            bench->hid("/sim/hidraw0")->queueTouch(0x71, 1, 1);
            std::exit(0);  // the unload step stops and joins the threads
        },
        ::testing::ExitedWithCode(0), "");
}
