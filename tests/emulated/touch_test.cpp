// Touch notifications on the real linux backend: input reports of emulated
// hidraw touch-screen nodes, read by the library's input thread through
// poll(), reach the registered callback; nodes that come and go by uevents are
// opened and dropped.
#include "emulated_support.h"

namespace qvmock {
namespace {

struct Touch {
    int state, x, y;
    HANDLE device;
    bool operator==(const Touch&) const = default;
};
void PrintTo(const Touch& t, std::ostream* os) {
    *os << std::hex << "{0x" << t.state << ", " << std::dec << t.x << ", " << t.y << ", " << t.device << "}";
}

std::mutex g_mutex;
std::vector<Touch> g_touches;

int OnTouch(int state, int x, int y, HANDLE device) {
    std::lock_guard lock(g_mutex);
    g_touches.push_back({state, x, y, device});
    return 1;
}

std::vector<Touch> Touches() {
    std::lock_guard lock(g_mutex);
    return g_touches;
}

bool TouchCount(size_t n) {
    return qvtest::waitUntil([&] { return Touches().size() >= n; });
}

// A touch-screen report: report id (none when 0), then one packet and padding.
Bytes Report(uint8_t id, uint8_t status, uint16_t x, uint16_t y) {
    Bytes r;
    if (id) r.push_back(id);
    const Bytes packet = {status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), 0, 0, 0, 0, 0};
    r.insert(r.end(), packet.begin(), packet.end());
    return r;
}

HANDLE g_found = INVALID_HANDLE_VALUE;
int OnFound(const char* path, const char*, const char*) {
    if (std::string(path) == "/dev/hidraw0") OpenDeviceA(path, &g_found);
    return 1;
}

class MockTouch : public MockTest {
protected:
    void SetUp() override {
        MockTest::SetUp();
        std::lock_guard lock(g_mutex);
        g_touches.clear();
    }
    void TearDown() override {
        if (!skipped()) UnRegisterTouchNotify();
        MockTest::TearDown();
    }
};

TEST_F(MockTouch, ReportsOfTouchNodesReachTheCallbackAndNodesFollowUevents) {
    const Interface controller = ControllerA(std::make_shared<qvsim::Controller>(CurrentControllerProfile()));
    ASSERT_EQ(bed->add(controller), "/dev/hidraw0");
    const std::string digitizer = bed->add(Digitizer(controller, 2, 4095, 2));
    // A touch screen of another maker: never read.
    Interface foreign;
    foreign.usb.ports = "2";
    foreign.usb.vendorId = 0x1234;
    foreign.usb.serial = "F1";
    foreign.descriptor = touchScreenDescriptor(1, 4095, 2);
    const std::string foreignNode = bed->add(foreign);

    g_found = INVALID_HANDLE_VALUE;
    ASSERT_EQ(EnumerateHidDevicesExA(OnFound), 1);
    ASSERT_NE(g_found, INVALID_HANDLE_VALUE);
    ASSERT_EQ(RegisterTouchNotifyEx(OnTouch), 1);

    // The digitizer is a node of the controller's USB device: its reports carry its handle.
    bed->queueInput(foreignNode, Report(1, 0x71, 1, 1));
    bed->queueInput(digitizer, Report(2, 0x71, 0x0123, 0x0456));
    bed->queueInput(digitizer, Report(2, 0x41, 0x0123, 0x0456));
    ASSERT_TRUE(TouchCount(2));
    EXPECT_EQ(Touches()[0], (Touch{0x11, 0x0123, 0x0456, g_found}));
    EXPECT_EQ(Touches()[1], (Touch{0x21, 0x0123, 0x0456, g_found}));
    int last = -1;
    ASSERT_EQ(CheckLastTouchDeviceHandle(g_found, &last), 1);
    EXPECT_EQ(last, 1);
    for (const auto& c : bed->calls(foreignNode)) EXPECT_NE(c.call, Call::Read) << "another maker's node was read";

    // A maker's touch screen arrives ("add" uevents), without report ids and not in the table.
    Interface second;
    second.usb.ports = "5";
    second.usb.productId = 0x6020;
    second.usb.serial = "QV60200005";
    second.descriptor = touchScreenDescriptor(1, 4095, 2);
    second.descriptor.erase(second.descriptor.begin() + 6, second.descriptor.begin() + 8);  // no Report ID item
    const std::string added = bed->add(second);
    // The test bed announces the hidraw entry as it is made, before its /dev
    // node and handler exist; the kernel's "add" comes once the node is there.
    bed->uevent(added, "add", Level::Hidraw);
    bed->queueInput(added, Report(0, 0x72, 7, 8));
    ASSERT_TRUE(TouchCount(3));
    EXPECT_EQ(Touches()[2], (Touch{0x12, 7, 8, INVALID_HANDLE_VALUE}));

    // It leaves again: the other node is still read.
    bed->uevent(added, "remove");
    bed->vanish(added);
    bed->queueInput(digitizer, Report(2, 0x73, 9, 10));
    ASSERT_TRUE(TouchCount(4));
    EXPECT_EQ(Touches()[3], (Touch{0x13, 9, 10, g_found}));

    EXPECT_EQ(UnRegisterTouchNotify(), 1);
    bed->queueInput(digitizer, Report(2, 0x74, 1, 1));
    EXPECT_EQ(Touches().size(), 4u);
}

}  // namespace
}  // namespace qvmock
