// The sim backend's view of the devices present: HID interface and serial port
// lists, parent ids, the settings store, and device-change subscriptions.
#include <gtest/gtest.h>

#include <thread>

#include "platform/platform.h"
#include "sim_backend.h"
#include "qvsim.h"

namespace qvp {
namespace {

qvsim::HidInfo hidInfo(const std::string& path, uint16_t pid, const std::string& parent) {
    qvsim::HidInfo h;
    h.path = path;
    h.productId = pid;
    h.parentInstanceId = parent;
    return h;
}

class SimDevices : public ::testing::Test {
protected:
    void SetUp() override {
        bench_ = std::make_shared<qvsim::Bench>();
        backend_ = makeSimBackend(bench_);
    }
    std::shared_ptr<qvsim::Controller> controller() { return std::make_shared<qvsim::Controller>(); }

    std::vector<HidInterface> hidList() {
        std::vector<HidInterface> list = {HidInterface{}};  // filled, not appended to
        EXPECT_TRUE(backend_->listHidInterfaces(&list)) << lastError().text;
        return list;
    }

    std::shared_ptr<qvsim::Bench> bench_;
    std::shared_ptr<Backend> backend_;
};

TEST_F(SimDevices, HidInterfacesInTheOrderAddedWithTheirDescription) {
    qvsim::HidInfo usb = hidInfo("/sim/hidraw2", 0x3501, "USB\\VID_2E7B&PID_3501\\5&1A2B&0&3");
    usb.name = "Acme Touch QV3501";
    usb.manufacturer = "Acme Touch";
    usb.inputReportLength = 14;
    qvsim::HidInfo i2c = hidInfo("/sim/hidraw0", 0, "ignored: there is no parent");
    i2c.name = "QVTS2E7B3508:00";
    i2c.vendorId = 0;
    i2c.hasParent = false;
    i2c.inputReportLength = -1;
    qvsim::HidInfo noMaker = hidInfo("/sim/hidraw1", 0x6020, "USB\\VID_2E7B&PID_6020\\SN42");
    noMaker.manufacturer = "unreadable";
    noMaker.hasManufacturer = false;
    for (const auto& info : {usb, i2c, noMaker}) bench_->addHid(controller(), info);

    struct Want {
        std::string path, name;
        uint16_t vid, pid;
        bool hasParent;
        std::string parent;
        bool hasManufacturer;
        std::string manufacturer;
        int inputReportLength;
    };
    const Want want[] = {
        {"/sim/hidraw2", "Acme Touch QV3501", 0x2E7B, 0x3501, true, usb.parentInstanceId, true, "Acme Touch", 14},
        {"/sim/hidraw0", "QVTS2E7B3508:00", 0, 0, false, "", false, "", -1},
        {"/sim/hidraw1", "", 0x2E7B, 0x6020, true, noMaker.parentInstanceId, false, "", 64},
    };
    auto list = hidList();
    ASSERT_EQ(list.size(), std::size(want));
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(want[i].path);
        EXPECT_EQ(list[i].path, want[i].path);
        EXPECT_EQ(list[i].name, want[i].name);
        EXPECT_EQ(list[i].vendorId, want[i].vid);
        EXPECT_EQ(list[i].productId, want[i].pid);
        EXPECT_EQ(list[i].hasParent, want[i].hasParent);
        EXPECT_EQ(list[i].parentInstanceId, want[i].parent);
        EXPECT_EQ(list[i].hasManufacturer, want[i].hasManufacturer);
        EXPECT_EQ(list[i].parentManufacturer, want[i].manufacturer);
        EXPECT_EQ(list[i].inputReportLength, want[i].inputReportLength);
    }

    std::string id;
    ASSERT_TRUE(backend_->parentInstanceId("/sim/hidraw2", &id)) << lastError().text;
    EXPECT_EQ(id, usb.parentInstanceId);
    for (const char* path : {"/sim/hidraw0", "/sim/none"}) {  // no parent; no device
        EXPECT_FALSE(backend_->parentInstanceId(path, &id)) << path;
        EXPECT_EQ(lastError().kind, ErrorKind::NotFound) << lastError().text;
        EXPECT_NE(lastError().text.find(path), std::string::npos) << lastError().text;
    }

    // Unplugged devices leave the list; a replugged one comes back at the end.
    bench_->remove("/sim/hidraw2");
    bench_->remove("/sim/hidraw0");
    bench_->replug("/sim/hidraw2");
    list = hidList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, "/sim/hidraw1");
    EXPECT_EQ(list[1].path, "/sim/hidraw2");
}

TEST_F(SimDevices, SerialPortsAreTheBenchsLinesAndEmptyPortsStaySilent) {
    bench_->addSerial(controller(), qvsim::SerialInfo{"/sim/ttyS3", 9600});
    bench_->addEmptySerialPort("/sim/ttyS0");
    bench_->addHid(controller(), hidInfo("/sim/hidraw0", 0x3501, "USB\\X\\1"));
    bench_->addSerial(controller(), qvsim::SerialInfo{"/sim/ttyUSB0", 115200});
    std::vector<std::string> ports = {"stale"};
    ASSERT_TRUE(backend_->listSerialPorts(&ports)) << lastError().text;
    EXPECT_EQ(ports, (std::vector<std::string>{"/sim/ttyS3", "/sim/ttyS0", "/sim/ttyUSB0"}));

    // A probe of the empty port: it opens and takes the frame, and nothing comes back at any speed.
    const Handle h = backend_->open("/sim/ttyS0", DeviceKind::Serial);
    ASSERT_NE(h, invalidHandle()) << lastError().text;
    ASSERT_TRUE(backend_->serialSetTimeouts(h, {.readConstant = 50}));
    const uint8_t frame[6] = {0xEE, 0, 0, 0, 0, 0x11};
    for (uint32_t baud : {38400u, 115200u, 19200u, 9600u, 57600u}) {
        SerialConfig cfg;
        cfg.baud = baud;
        ASSERT_TRUE(backend_->serialSetConfig(h, cfg));
        size_t n = 0;
        ASSERT_TRUE(backend_->serialWrite(h, frame, sizeof frame, &n)) << lastError().text;
        EXPECT_EQ(n, sizeof frame);
        uint8_t in[6];
        ASSERT_TRUE(backend_->serialRead(h, in, sizeof in, &n));
        EXPECT_EQ(n, 0u) << baud;
    }
    EXPECT_EQ(bench_->serial("/sim/ttyS0")->receivedBytes(), 30u);
    EXPECT_TRUE(backend_->close(h));
}

TEST_F(SimDevices, SettingsReadCaseInsensitivelyAndMissingIsNotFound) {
    const std::string params = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Parameters";
    const std::string enumKey = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";
    bench_->setSettingString(params, "3", "HID\\VID_2E7B&PID_3501\\1&2&0003#KEY#");
    bench_->setSettingDword(enumKey, "Count", 4);

    std::string text;
    ASSERT_TRUE(backend_->readSettingString("system\\currentcontrolset\\services\\QVHIDUSB\\parameters", "3", &text))
        << lastError().text;
    EXPECT_EQ(text, "HID\\VID_2E7B&PID_3501\\1&2&0003#KEY#");
    uint32_t n = 0;
    ASSERT_TRUE(backend_->readSettingDword(enumKey, "count", &n)) << lastError().text;
    EXPECT_EQ(n, 4u);

    struct Miss {
        std::string key, value;
    };
    for (const Miss& m : {Miss{params, "4"}, Miss{enumKey + "\\Sub", "Count"}, Miss{"SOFTWARE\\Other", "3"}}) {
        SCOPED_TRACE(m.key + " " + m.value);
        EXPECT_FALSE(backend_->readSettingString(m.key, m.value, &text));
        EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
        EXPECT_NE(lastError().text.find(m.key), std::string::npos) << lastError().text;
        EXPECT_FALSE(backend_->readSettingDword(m.key, m.value, &n));
        EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    }
    // A value of the other type is no answer either, and does not touch the output.
    text = "kept";
    EXPECT_FALSE(backend_->readSettingString(enumKey, "Count", &text));
    EXPECT_NE(lastError().kind, ErrorKind::None);
    EXPECT_EQ(text, "kept");
    n = 77;
    EXPECT_FALSE(backend_->readSettingDword(params, "3", &n));
    EXPECT_EQ(n, 77u);
    bench_->removeSetting(params, "3");
    EXPECT_FALSE(backend_->readSettingString(params, "3", &text));
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
}

// ---------------------------------------------------------------- device change

struct Heard {
    bool arrival;
    std::string name;
    bool operator==(const Heard&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Heard& h) { return os << (h.arrival ? "+" : "-") << h.name; }

TEST_F(SimDevices, EachClassHearsItsDevicesArriveAndLeave) {
    std::vector<Heard> usb, driverA, driverB;
    auto recorder = [](std::vector<Heard>& to) {
        return [&to](const DeviceChange& c) { to.push_back({c.arrival, c.name}); };
    };
    void* tUsb = backend_->subscribeDeviceChanges(InterfaceClass::UsbDevice, recorder(usb));
    void* tA = backend_->subscribeDeviceChanges(InterfaceClass::DriverA, recorder(driverA));
    void* tB = backend_->subscribeDeviceChanges(InterfaceClass::DriverB, recorder(driverB));
    ASSERT_TRUE(tUsb && tA && tB) << lastError().text;
    EXPECT_TRUE(tUsb != tA && tA != tB);

    bench_->addHid(controller(), hidInfo("/sim/hidraw0", 0x6020, "USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&1"));
    qvsim::HidInfo i2c = hidInfo("/sim/hidraw1", 0x3508, "");
    i2c.hasParent = false;  // no USB device comes or goes
    bench_->addHid(controller(), i2c);
    qvsim::DriverInfo drv;
    drv.path = "\\\\.\\QVUVCXM_API0";
    bench_->addDriver(controller(), drv);
    bench_->addSerial(controller(), qvsim::SerialInfo{"/sim/ttyS0", 9600});
    bench_->remove("/sim/hidraw0");
    bench_->remove("\\\\.\\QVUVCXM_API0");
    bench_->remove("/sim/ttyS0");
    bench_->replug("/sim/hidraw0");
    bench_->addHid(controller(), hidInfo("/sim/hidraw2", 0x3501, "SERIAL-ONLY"));

    const std::vector<Heard> wantUsb = {{true, "usb#vid_2e7b&pid_6020#5&1A2B3C&0&1"},
                                        {false, "usb#vid_2e7b&pid_6020#5&1A2B3C&0&1"},
                                        {true, "usb#vid_2e7b&pid_6020#5&1A2B3C&0&1"},
                                        {true, "usb#vid_2e7b&pid_3501#SERIAL-ONLY"}};
    EXPECT_EQ(usb, wantUsb);
    EXPECT_EQ(driverA, (std::vector<Heard>{{true, drv.path}, {false, drv.path}}));
    EXPECT_TRUE(driverB.empty());

    // Unsubscribed, a class hears nothing more; the others go on.
    backend_->unsubscribeDeviceChanges(tUsb);
    backend_->unsubscribeDeviceChanges(tUsb);  // twice, and unknown tokens, are harmless
    backend_->unsubscribeDeviceChanges(reinterpret_cast<void*>(uintptr_t{12345}));
    bench_->remove("/sim/hidraw0");
    bench_->replug("\\\\.\\QVUVCXM_API0");
    EXPECT_EQ(usb.size(), wantUsb.size());
    EXPECT_EQ(driverA.size(), 3u);
    backend_->unsubscribeDeviceChanges(tA);
    backend_->unsubscribeDeviceChanges(tB);
    bench_->remove("\\\\.\\QVUVCXM_API0");
    EXPECT_EQ(driverA.size(), 3u);
}

TEST_F(SimDevices, HandlerMayUseTheBackendAndUnsubscribeItself) {
    // An arrival handler that lists, opens and talks to the new device, as a host does.
    std::vector<std::string> seenPaths;
    std::vector<uint8_t> answers;
    void* token = nullptr;
    token = backend_->subscribeDeviceChanges(InterfaceClass::UsbDevice, [&](const DeviceChange& c) {
        if (!c.arrival) {
            backend_->unsubscribeDeviceChanges(token);
            return;
        }
        // From another thread too: the bench is not locked while the handler runs.
        std::thread([&] {
            std::vector<HidInterface> list;
            ASSERT_TRUE(backend_->listHidInterfaces(&list));
            for (auto& i : list) seenPaths.push_back(i.path);
        }).join();
        ASSERT_FALSE(seenPaths.empty());
        const Handle h = backend_->open(seenPaths.back(), DeviceKind::Hid);
        ASSERT_NE(h, invalidHandle()) << lastError().text;
        uint8_t report[6] = {0, 0xEE, 0, 0, 0, 0};
        ASSERT_TRUE(backend_->hidSetFeature(h, report, sizeof report)) << lastError().text;
        ASSERT_TRUE(backend_->hidGetFeature(h, report, sizeof report)) << lastError().text;
        answers.push_back(report[1]);
        backend_->close(h);
    });
    ASSERT_NE(token, nullptr) << lastError().text;
    bench_->addHid(controller(), hidInfo("/sim/hidraw0", 0x3501, "USB\\VID_2E7B&PID_3501\\1&1"));
    bench_->remove("/sim/hidraw0");   // the handler unsubscribes itself here
    bench_->replug("/sim/hidraw0");   // ...and hears nothing of this
    EXPECT_EQ(seenPaths, std::vector<std::string>{"/sim/hidraw0"});
    EXPECT_EQ(answers, std::vector<uint8_t>{0xEE});

    clearLastError();
    EXPECT_EQ(backend_->subscribeDeviceChanges(InterfaceClass::UsbDevice, nullptr), nullptr);
    EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
}

}  // namespace
}  // namespace qvp
