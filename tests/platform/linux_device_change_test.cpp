// Device changes on Linux: udev events turned into change names, and the
// subscriptions that hand them on (with a source the test drives itself).
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "linux_backend.h"
#include "platform/platform.h"

namespace qvp {
namespace {

using linuxdev::UdevProperties;

TEST(UdevEvent, BecomesTheChangeOfItsUsbDevice) {
    const UdevProperties noParent;
    const UdevProperties usbParent = {
        {"SUBSYSTEM", "usb"},
        {"DEVTYPE", "usb_device"},
        {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2/2-3"},
        {"PRODUCT", "2e7b/6020/100"},
        {"BUSNUM", "002"},
        {"ID_SERIAL_SHORT", "QV6020A17"},
    };
    const std::string hidrawPath =
        "/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1.4/2-1.4:1.0/0003:2E7B:6020.0003/hidraw/hidraw2";
    struct Case {
        const char* what;
        UdevProperties event;
        UdevProperties parent;
        std::optional<DeviceChange> expected;
    };
    const Case cases[] = {
        {"usb device with serial number arrives",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2/2-3"}, {"PRODUCT", "2e7b/6020/100"},
          {"ID_SERIAL_SHORT", "QV6020A17"}},
         noParent, DeviceChange{true, "usb#vid_2e7b&pid_6020#QV6020A17"}},
        {"usb device without serial number behind a hub leaves",
         {{"ACTION", "remove"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.4"}, {"PRODUCT", "2e7b/3501/0"},
          {"BUSNUM", "001"}},
         noParent, DeviceChange{false, "usb#vid_2e7b&pid_3501#1&1&4"}},
        {"ids from udev when the kernel's are missing, written in lower case",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb3/3-2"}, {"ID_VENDOR_ID", "2E7B"},
          {"ID_MODEL_ID", "625A"}},
         noParent, DeviceChange{true, "usb#vid_2e7b&pid_625a#3&2"}},
        {"a serial number with a separator in it is not used",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2/2-3"}, {"PRODUCT", "2e7b/6020/100"},
          {"ID_SERIAL_SHORT", "A,B"}},
         noParent, DeviceChange{true, "usb#vid_2e7b&pid_6020#2&3"}},
        {"root hub",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2"}, {"PRODUCT", "1d6b/2/606"}},
         noParent, DeviceChange{true, "usb#vid_1d6b&pid_0002#2&0"}},
        {"hidraw node named by its USB device",
         {{"ACTION", "add"}, {"SUBSYSTEM", "hidraw"}, {"DEVPATH", hidrawPath}}, usbParent,
         DeviceChange{true, "usb#vid_2e7b&pid_6020#QV6020A17"}},
        {"hidraw node whose USB device is gone: read from its path",
         {{"ACTION", "remove"}, {"SUBSYSTEM", "hidraw"}, {"DEVPATH", hidrawPath}}, noParent,
         DeviceChange{false, "usb#vid_2e7b&pid_6020#2&1&4"}},
        {"hidraw node with a parent that is no usb device: read from its path",
         {{"ACTION", "remove"}, {"SUBSYSTEM", "hidraw"}, {"DEVPATH", hidrawPath}},
         {{"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_interface"}, {"PRODUCT", "1/2/3"}},
         DeviceChange{false, "usb#vid_2e7b&pid_6020#2&1&4"}},
        {"hidraw node on I2C",
         {{"ACTION", "add"}, {"SUBSYSTEM", "hidraw"},
          {"DEVPATH", "/devices/platform/ACPI0001:01/i2c-1/i2c-TPAD0001:00/0018:1A2B:3C4D.0003/hidraw/hidraw1"}},
         noParent, std::nullopt},
        {"hidraw node of a Bluetooth device below a USB adapter",
         {{"ACTION", "add"}, {"SUBSYSTEM", "hidraw"},
          {"DEVPATH",
           "/devices/pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0/bluetooth/hci0/hci0:256/0005:2E7B:6030.0004/hidraw/hidraw3"}},
         {{"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"}, {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb1/1-5"},
          {"PRODUCT", "f00d/1/100"}},
         std::nullopt},
        {"hidraw node on I2C with a client name that looks like a USB device",
         {{"ACTION", "remove"}, {"SUBSYSTEM", "hidraw"},
          {"DEVPATH", "/devices/platform/soc/i2c-3/3-0015/0018:2E7B:6040.0005/hidraw/hidraw4"}},
         noParent, std::nullopt},
        {"usb interface",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_interface"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0"}, {"PRODUCT", "2e7b/6020/100"},
          {"ID_SERIAL_SHORT", "QV6020A17"}},
         noParent, std::nullopt},
        {"driver bound",
         {{"ACTION", "bind"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"},
          {"DEVPATH", "/devices/pci0000:00/0000:00:14.0/usb2/2-3"}, {"PRODUCT", "2e7b/6020/100"}},
         noParent, std::nullopt},
        {"attributes changed",
         {{"ACTION", "change"}, {"SUBSYSTEM", "hidraw"}, {"DEVPATH", hidrawPath}}, usbParent, std::nullopt},
        {"no action",
         {{"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"}, {"DEVPATH", "/devices/usb2/2-3"},
          {"PRODUCT", "2e7b/6020/100"}},
         noParent, std::nullopt},
        {"unreadable ids",
         {{"ACTION", "add"}, {"SUBSYSTEM", "usb"}, {"DEVTYPE", "usb_device"}, {"DEVPATH", "/devices/usb2/2-3"},
          {"PRODUCT", "zz/6020/100"}},
         noParent, std::nullopt},
        {"another subsystem",
         {{"ACTION", "add"}, {"SUBSYSTEM", "tty"}, {"DEVPATH", "/devices/usb2/2-3/2-3:1.0/ttyUSB0/tty/ttyUSB0"}},
         noParent, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto change = linuxdev::deviceChangeFromUdev(c.event, c.parent);
        ASSERT_EQ(change.has_value(), c.expected.has_value());
        if (!change) continue;
        EXPECT_EQ(change->arrival, c.expected->arrival);
        EXPECT_EQ(change->name, c.expected->name);
    }
}

// A source the test drives: what the hub hands it, and how many run.
struct FakeSources {
    int started = 0;
    int running = 0;
    bool available = true;
    linuxdev::ChangeSink sink;

    struct Source : linuxdev::ChangeSource {
        explicit Source(FakeSources& f) : owner(f) { ++owner.running; }
        ~Source() override {
            --owner.running;
            owner.sink = nullptr;
        }
        FakeSources& owner;
    };

    linuxdev::ChangeSourceFactory factory() {
        return [this](linuxdev::ChangeSink s) -> std::unique_ptr<linuxdev::ChangeSource> {
            ++started;
            if (!available) return nullptr;
            sink = std::move(s);
            return std::make_unique<Source>(*this);
        };
    }
};

struct Recorder {
    std::vector<DeviceChange> seen;
    DeviceChangeHandler handler() {
        return [this](const DeviceChange& c) { seen.push_back(c); };
    }
};

TEST(DeviceChangeHub, UsbSourceRunsWhileTheClassHasSubscribers) {
    FakeSources sources;
    linuxdev::DeviceChangeHub hub(sources.factory());
    Recorder r;
    void* driverA = hub.subscribe(InterfaceClass::DriverA, r.handler());
    void* driverB = hub.subscribe(InterfaceClass::DriverB, r.handler());
    ASSERT_NE(driverA, nullptr);
    ASSERT_NE(driverB, nullptr);
    EXPECT_EQ(sources.started, 0);  // the driver classes have nothing to watch on Linux

    void* first = hub.subscribe(InterfaceClass::UsbDevice, r.handler());
    void* second = hub.subscribe(InterfaceClass::UsbDevice, r.handler());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::set<void*>({driverA, driverB, first, second}).size(), 4u);
    EXPECT_EQ(sources.started, 1);
    EXPECT_EQ(sources.running, 1);

    hub.unsubscribe(first);
    EXPECT_EQ(sources.running, 1);
    hub.unsubscribe(second);
    EXPECT_EQ(sources.running, 0);
    EXPECT_FALSE(hub.sourceRunning());

    void* again = hub.subscribe(InterfaceClass::UsbDevice, r.handler());
    EXPECT_EQ(sources.started, 2);
    EXPECT_EQ(sources.running, 1);
    hub.unsubscribe(again);
    hub.unsubscribe(driverA);
    hub.unsubscribe(driverB);
    EXPECT_TRUE(r.seen.empty());
}

TEST(DeviceChangeHub, WithoutSourceSubscribingStillWorksAndStartingIsRetried) {
    FakeSources sources;
    sources.available = false;
    linuxdev::DeviceChangeHub hub(sources.factory());
    Recorder r;
    void* token = hub.subscribe(InterfaceClass::UsbDevice, r.handler());
    EXPECT_NE(token, nullptr);
    EXPECT_FALSE(hub.sourceRunning());
    sources.available = true;
    void* later = hub.subscribe(InterfaceClass::UsbDevice, r.handler());
    EXPECT_EQ(sources.started, 2);
    EXPECT_TRUE(hub.sourceRunning());
    hub.unsubscribe(token);
    hub.unsubscribe(later);
    EXPECT_FALSE(hub.sourceRunning());
}

TEST(DeviceChangeHub, ChangesReachTheSubscribersOfTheirClassUntilUnsubscribed) {
    FakeSources sources;
    linuxdev::DeviceChangeHub hub(sources.factory());
    Recorder driver, one, two;
    void* d = hub.subscribe(InterfaceClass::DriverA, driver.handler());
    void* u1 = hub.subscribe(InterfaceClass::UsbDevice, one.handler());
    void* u2 = hub.subscribe(InterfaceClass::UsbDevice, two.handler());
    ASSERT_TRUE(sources.sink);

    sources.sink(DeviceChange{true, "usb#vid_2e7b&pid_6020#QV1"});
    hub.unsubscribe(u1);
    sources.sink(DeviceChange{false, "usb#vid_2e7b&pid_6020#QV1"});

    EXPECT_TRUE(driver.seen.empty());
    ASSERT_EQ(one.seen.size(), 1u);
    EXPECT_TRUE(one.seen[0].arrival);
    EXPECT_EQ(one.seen[0].name, "usb#vid_2e7b&pid_6020#QV1");
    ASSERT_EQ(two.seen.size(), 2u);
    EXPECT_TRUE(two.seen[0].arrival);
    EXPECT_FALSE(two.seen[1].arrival);
    EXPECT_EQ(two.seen[1].name, "usb#vid_2e7b&pid_6020#QV1");
    hub.unsubscribe(u2);
    hub.unsubscribe(d);
}

TEST(DeviceChangeHub, HandlerMayUnsubscribeWithoutDeadlock) {
    FakeSources sources;
    linuxdev::DeviceChangeHub hub(sources.factory());
    void* first = nullptr;
    void* second = nullptr;
    int firstCalls = 0, secondCalls = 0;
    first = hub.subscribe(InterfaceClass::UsbDevice, [&](const DeviceChange&) {
        ++firstCalls;
        hub.unsubscribe(first);
        hub.unsubscribe(second);  // stops the source too: it was the last subscriber
    });
    second = hub.subscribe(InterfaceClass::UsbDevice, [&](const DeviceChange&) { ++secondCalls; });
    hub.deliver(InterfaceClass::UsbDevice, DeviceChange{true, "usb#vid_2e7b&pid_6020#QV1"});
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);  // unsubscribed before its turn
    EXPECT_EQ(sources.running, 0);
    hub.deliver(InterfaceClass::UsbDevice, DeviceChange{true, "usb#vid_2e7b&pid_6020#QV1"});
    EXPECT_EQ(firstCalls, 1);
}

TEST(DeviceChangeHub, UnsubscribeReturnsOnlyAfterTheRunningHandlerEnded) {
    FakeSources sources;
    linuxdev::DeviceChangeHub hub(sources.factory());
    std::promise<void> entered;
    std::atomic<bool> unsubscribing{false}, finished{false};
    std::atomic<int> calls{0};
    void* token = hub.subscribe(InterfaceClass::UsbDevice, [&](const DeviceChange&) {
        ++calls;
        entered.set_value();
        // Stay in the handler a while after unsubscribe was called, so that an
        // unsubscribe that does not wait for the handler returns before it ends.
        while (!unsubscribing.load()) std::this_thread::yield();
        for (int i = 0; i < 1000; ++i) std::this_thread::yield();
        finished = true;
    });
    std::thread source([&] { hub.deliver(InterfaceClass::UsbDevice, DeviceChange{true, "usb#vid_2e7b&pid_6020#1"}); });
    entered.get_future().wait();
    unsubscribing = true;
    hub.unsubscribe(token);
    EXPECT_TRUE(finished.load()) << "unsubscribe returned while the handler was still running";
    source.join();
    hub.deliver(InterfaceClass::UsbDevice, DeviceChange{true, "usb#vid_2e7b&pid_6020#1"});
    EXPECT_EQ(calls.load(), 1);
}

TEST(DeviceChangeHub, RefusesMissingHandlerAndUnknownClass) {
    FakeSources sources;
    linuxdev::DeviceChangeHub hub(sources.factory());
    clearLastError();
    EXPECT_EQ(hub.subscribe(InterfaceClass::UsbDevice, nullptr), nullptr);
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
    clearLastError();
    EXPECT_EQ(hub.subscribe(static_cast<InterfaceClass>(7), [](const DeviceChange&) {}), nullptr);
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
    EXPECT_EQ(sources.started, 0);
    // Tokens it never gave are ignored.
    int dummy = 0;
    hub.unsubscribe(nullptr);
    hub.unsubscribe(&dummy);
}

// The real backend's udev monitor: subscribing never fails (a container may
// have no udev events), and the monitor thread stops when the last subscriber leaves.
TEST(LinuxDeviceChanges, SubscriptionsAlwaysSucceedAndEndPromptly) {
    auto backend = makeLinuxBackend();
    std::atomic<int> calls{0};
    auto count = [&](const DeviceChange&) { ++calls; };
    for (int round = 0; round < 2; ++round) {
        void* a = backend->subscribeDeviceChanges(InterfaceClass::DriverA, count);
        void* b = backend->subscribeDeviceChanges(InterfaceClass::DriverB, count);
        void* u1 = backend->subscribeDeviceChanges(InterfaceClass::UsbDevice, count);
        void* u2 = backend->subscribeDeviceChanges(InterfaceClass::UsbDevice, count);
        ASSERT_NE(a, nullptr) << lastError().text;
        ASSERT_NE(b, nullptr) << lastError().text;
        ASSERT_NE(u1, nullptr) << lastError().text;
        ASSERT_NE(u2, nullptr) << lastError().text;
        EXPECT_EQ(std::set<void*>({a, b, u1, u2}).size(), 4u);
        backend->unsubscribeDeviceChanges(u1);
        backend->unsubscribeDeviceChanges(u2);
        backend->unsubscribeDeviceChanges(a);
        backend->unsubscribeDeviceChanges(b);
    }
    // And a backend dropped with a subscriber still there stops its monitor.
    backend->subscribeDeviceChanges(InterfaceClass::UsbDevice, count);
    backend.reset();
    EXPECT_EQ(calls.load(), 0);
}

}  // namespace
}  // namespace qvp
