// Device change on the real linux backend: uevents of hidraw nodes and of
// their USB devices, sent by the test bed, through the udev monitor to the
// platform's subscribers and the library's window notifications and their
// classification.
#include "emulated_support.h"

namespace qvmock {
namespace {

struct Change {
    bool arrival;
    std::string name;
    bool operator==(const Change&) const = default;
};
void PrintTo(const Change& c, std::ostream* os) { *os << (c.arrival ? "+" : "-") << c.name; }

// What a subscriber heard, from the monitor's thread.
class Heard {
public:
    void add(Change c) {
        std::lock_guard lock(mutex_);
        changes_.push_back(std::move(c));
    }
    std::vector<Change> all() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    // Waits until n changes came.
    std::vector<Change> first(size_t n) const {
        qvtest::waitUntil([&] { return all().size() >= n; });
        return all();
    }

private:
    mutable std::mutex mutex_;
    std::vector<Change> changes_;
};

class MockDeviceChange : public MockTest {
protected:
    std::string nodeA, nodeB, foreign;

    void plug() {
        nodeA = bed->add(ControllerA(std::make_shared<qvsim::Controller>(CurrentControllerProfile())));
        nodeB = bed->add(ControllerB(std::make_shared<qvsim::Controller>(OstraControllerProfile())));
        Interface other;
        other.usb.ports = "2";
        other.usb.vendorId = 0x1234;
        other.usb.productId = 0x3501;
        other.usb.serial = "K1";
        foreign = bed->add(other);
    }
};

TEST_F(MockDeviceChange, UeventsOfNodesAndUsbDevicesReachTheSubscriber) {
    plug();
    Heard heard;
    void* token = qvp::backend().subscribeDeviceChanges(
        qvp::InterfaceClass::UsbDevice, [&](const qvp::DeviceChange& c) { heard.add({c.arrival, c.name}); });
    ASSERT_NE(token, nullptr) << qvp::lastError().text;

    bed->uevent(nodeA, "add", Level::Hidraw);
    bed->uevent(nodeA, "remove", Level::UsbDevice);
    bed->uevent(nodeB, "change", Level::Hidraw);  // the device stays: no change
    bed->uevent(nodeB, "add", Level::UsbDevice);
    bed->uevent(nodeB, "remove", Level::Hidraw);
    bed->uevent(foreign, "add", Level::Hidraw);
    // A controller's serial number names it, else its bus and ports; both the
    // node's event and its USB device's give the same name.
    const std::vector<Change> want = {
        {true, "usb#vid_2e7b&pid_3501#QV35010001"},
        {false, "usb#vid_2e7b&pid_3501#QV35010001"},
        {true, "usb#vid_2e7b&pid_6020#2&3&4"},
        {false, "usb#vid_2e7b&pid_6020#2&3&4"},
        {true, "usb#vid_1234&pid_3501#K1"},
    };
    EXPECT_EQ(heard.first(want.size()), want);

    qvp::backend().unsubscribeDeviceChanges(token);
}

// A window of the library's callers, classifying what it is sent.
struct Inbox {
    std::mutex mutex;
    std::vector<std::pair<Change, int>> got;  // the change, its classification
    static void Send(void* ctx, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        auto* self = static_cast<Inbox*>(ctx);
        if (msg != QV_WM_DEVICECHANGE) return;
        const auto* b = reinterpret_cast<const QVDeviceBroadcast*>(lParam);
        int kind = 9;
        QVDeviceChange(static_cast<uint32_t>(wParam), b, &kind);
        std::lock_guard lock(self->mutex);
        self->got.push_back({{wParam == QV_DBT_DEVICEARRIVAL, b->dbcc_name}, kind});
    }
    std::vector<std::pair<Change, int>> first(size_t n) {
        qvtest::waitUntil([&] {
            std::lock_guard lock(mutex);
            return got.size() >= n;
        });
        std::lock_guard lock(mutex);
        return got;
    }
};

int CountFound(const char*, const char*, uint32_t) { return 1; }

TEST_F(MockDeviceChange, UnplugAndReplugReachTheRegisteredWindowAndItsClassification) {
    plug();
    Inbox inbox;
    QVWindow window{&Inbox::Send, &inbox};
    HDEVNOTIFY a = nullptr, b = nullptr, usb = nullptr;
    ASSERT_EQ(RegisterNotify(&window, &a, &b, &usb), 1);
    ASSERT_NE(usb, nullptr) << qvp::lastError().text;
    ASSERT_EQ(EnumerateHidDevicesA(CountFound), 1);

    // Unplugged: the kernel's events go child first, while sysfs still shows the device.
    bed->uevent(nodeA, "remove", Level::Hidraw);
    bed->uevent(nodeA, "remove", Level::UsbDevice);
    inbox.first(2);
    bed->vanish(nodeA);
    bed->uevent(foreign, "remove", Level::UsbDevice);
    inbox.first(3);
    bed->vanish(foreign);
    HANDLE h = INVALID_HANDLE_VALUE;
    EXPECT_EQ(OpenDeviceA(nodeA.c_str(), &h), 1) << "the table keeps the slot until enumerated again";
    ASSERT_EQ(EnumerateHidDevicesA(CountFound), 1);
    EXPECT_EQ(OpenDeviceA(nodeA.c_str(), &h), 0);

    // Plugged back: the arrivals are announced parent first (the interface's
    // and HID device's events are no USB device change).
    bed->readd(nodeA);
    const std::string name = "usb#vid_2e7b&pid_3501#QV35010001";
    const std::vector<std::pair<Change, int>> want = {
        {{false, name}, 0}, {{false, name}, 0}, {{false, "usb#vid_1234&pid_3501#K1"}, -1},
        {{true, name}, 1},  {{true, name}, 1},
    };
    EXPECT_EQ(inbox.first(want.size()), want);
    ASSERT_EQ(EnumerateHidDevicesA(CountFound), 1);
    EXPECT_EQ(OpenDeviceA(nodeA.c_str(), &h), 1);

    EXPECT_EQ(UnRegisterNotify(a, b, usb), 1);
}

}  // namespace
}  // namespace qvmock
