// The linux backend's device lists, read from a sysfs and /dev laid out by the
// test the way the kernel lays them out (symlinked class entries, USB devices
// above their interfaces, HID devices below them).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "linux_backend.h"
#include "platform/platform.h"

namespace qvp {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A multi-touch digitizer: report 1 is one finger (tip, padding, contact id,
// X, Y) and, outside the finger's collection, the contact count: 7 data bytes.
// Report 2 is a feature (maximum contacts), report 3 a vendor input of 5 bytes
// and a vendor output of 13.
const Bytes kDigitizer = {
    0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01,              // Digitizer / Touch Screen, Application
    0x85, 0x01, 0x09, 0x22, 0xA1, 0x02,              //   Report ID 1, Finger, Logical
    0x09, 0x42, 0x15, 0x00, 0x25, 0x01,              //     Tip Switch, logical 0..1
    0x75, 0x01, 0x95, 0x01, 0x81, 0x02,              //     1 bit
    0x95, 0x07, 0x81, 0x03,                          //     7 bits padding
    0x75, 0x08, 0x09, 0x51, 0x95, 0x01, 0x81, 0x02,  //     Contact Identifier, 1 byte
    0x05, 0x01, 0x26, 0xFF, 0x0F, 0x75, 0x10,        //     Generic Desktop, 0..4095, 16 bits
    0x09, 0x30, 0x09, 0x31, 0x95, 0x02, 0x81, 0x02,  //     X, Y
    0xC0,                                            //   End Collection
    0x05, 0x0D, 0x09, 0x54, 0x25, 0x7F,              //   Contact Count
    0x95, 0x01, 0x75, 0x08, 0x81, 0x02,              //   1 byte
    0x85, 0x02, 0x09, 0x55, 0x25, 0x0A, 0xB1, 0x02,  //   Report ID 2: Contact Count Maximum (feature)
    0xC0,                                            // End Collection
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,        // Vendor page, Application
    0x85, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x00,        //   Report ID 3, 0..255
    0x75, 0x08, 0x95, 0x05, 0x09, 0x01, 0x81, 0x02,  //   5 bytes in
    0x95, 0x0D, 0x09, 0x01, 0x91, 0x02,              //   13 bytes out
    0xC0,
};

// A vendor device without report ids: 5 bytes in, 63 bytes of feature.
const Bytes kVendorNoIds = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x95, 0x05, 0x09, 0x01, 0x81, 0x02, 0x95, 0x3F, 0x09, 0x01, 0xB1, 0x02, 0xC0,
};

// A scratch folder under the build tree, removed with the fixture.
class ScratchTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::string(QV_BINARY_DIR) + "/platform-linux-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
        root_ = pattern;
        sys_ = (root_ / "sys").string();
        dev_ = (root_ / "dev").string();
        fs::create_directories(root_ / "sys" / "class");
        fs::create_directories(root_ / "dev");
    }

    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A file below the scratch root, with its folders.
    void write(const fs::path& rel, const std::string& text) {
        fs::create_directories((root_ / rel).parent_path());
        std::ofstream(root_ / rel, std::ios::binary) << text;
    }
    void writeBytes(const fs::path& rel, const Bytes& bytes) {
        write(rel, std::string(bytes.begin(), bytes.end()));
    }
    void symlink(const fs::path& rel, const fs::path& target) {
        fs::create_directories((root_ / rel).parent_path());
        fs::create_directory_symlink(target, root_ / rel);
    }

    fs::path root_;
    std::string sys_, dev_;
};

struct UsbDevice {
    std::string dir;  // below sys/devices
    std::string vendor, product, busnum, devpath;
    std::optional<std::string> serial, manufacturer;
};

class FakeSysfs : public ScratchTree {
protected:
    void addUsbDevice(const UsbDevice& d) {
        const fs::path dir = fs::path("sys/devices") / d.dir;
        write(dir / "idVendor", d.vendor + "\n");
        write(dir / "idProduct", d.product + "\n");
        write(dir / "busnum", d.busnum + "\n");
        write(dir / "devpath", d.devpath + "\n");
        write(dir / "bDeviceClass", "00\n");
        if (d.serial) write(dir / "serial", *d.serial + "\n");
        if (d.manufacturer) write(dir / "manufacturer", *d.manufacturer + "\n");
    }

    // A HID device at hidDir (below sys/devices) with its hidraw node, linked
    // as the kernel links them: class/hidraw/<node> -> the node's folder,
    // whose "device" points back up at the HID device.
    void addHidraw(const std::string& node, const std::string& hidDir, const std::string& uevent,
                   const std::optional<Bytes>& descriptor) {
        const fs::path hid = fs::path("sys/devices") / hidDir;
        write(hid / "uevent", uevent);
        if (descriptor) writeBytes(hid / "report_descriptor", *descriptor);
        fs::create_directories(root_ / hid / "hidraw" / node);
        symlink(hid / "hidraw" / node / "device", "../..");
        symlink(fs::path("sys/class/hidraw") / node, fs::path("../../devices") / hidDir / "hidraw" / node);
        write(fs::path("dev") / node, "");
    }

    void SetUp() override {
        ScratchTree::SetUp();
        // A controller with a serial number on a root port.
        addUsbDevice({"pci0000:00/0000:00:14.0/usb2/2-3", "2e7b", "6020", "2", "3", "QV6020A17", "Acme Touch"});
        write("sys/devices/pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/bInterfaceClass", "03\n");
        addHidraw("hidraw0", "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/0003:2E7B:6020.0001",
                  "DRIVER=hid-multitouch\nHID_ID=0003:00002E7B:00006020\nHID_NAME=Acme Touch QV6020\n"
                  "HID_PHYS=usb-0000:00:14.0-3/input0\nHID_UNIQ=QV6020A17\n",
                  kDigitizer);
        // One without serial number or manufacturer text behind a hub, which
        // carries USB identity files of its own.
        addUsbDevice({"pci0000:00/0000:00:14.0/usb1/1-1", "05e3", "0608", "1", "1", std::nullopt, "Hub Maker"});
        addUsbDevice({"pci0000:00/0000:00:14.0/usb1/1-1/1-1.4", "2e7b", "3501", "1", "1.4", std::nullopt,
                      std::nullopt});
        addHidraw("hidraw10", "pci0000:00/0000:00:14.0/usb1/1-1/1-1.4/1-1.4:1.1/0003:2E7B:3501.0002",
                  "DRIVER=hid-generic\nHID_ID=0003:00002E7B:00003501\nHID_NAME=QV3501\n", kVendorNoIds);
        // A touchpad on I2C: no USB device above it, no descriptor readable.
        addHidraw("hidraw2", "platform/ACPI0001:01/i2c-1/i2c-TPAD0001:00/0018:1A2B:3C4D.0003",
                  "DRIVER=hid-multitouch\nHID_ID=0018:00001A2B:00003C4D\nHID_NAME=TPAD0001:00 1A2B:3C4D\n",
                  std::nullopt);
        // A Bluetooth controller whose HID device sits below the USB adapter's
        // interface: the adapter is not its parent.
        addUsbDevice({"pci0000:00/0000:00:14.0/usb1/1-5", "f00d", "0001", "1", "5", "AD0001", "Radio Maker"});
        addHidraw("hidraw3", "pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0/bluetooth/hci0/hci0:256/0005:2E7B:6030.0004",
                  "DRIVER=hid-multitouch\nHID_ID=0005:00002E7B:00006030\nHID_NAME=QV6030 BT\n", kVendorNoIds);
        // A node whose device is already gone, and an entry that is no node.
        fs::create_directories(root_ / "sys/devices/virtual/hidraw/hidraw5");
        symlink("sys/devices/virtual/hidraw/hidraw5/device", "../../gone");
        symlink("sys/class/hidraw/hidraw5", "../../devices/virtual/hidraw/hidraw5");
        write("sys/class/hidraw/README", "");
    }
};

TEST_F(FakeSysfs, HidInterfacesCarryTheirDeviceAndUsbParent) {
    auto backend = makeLinuxBackend(sys_, dev_);
    std::vector<HidInterface> list;
    ASSERT_TRUE(backend->listHidInterfaces(&list)) << lastError().text;
    ASSERT_EQ(list.size(), 4u);

    const HidInterface& serial = list[0];  // by node number: 0, 2, 3, 10
    EXPECT_EQ(serial.path, dev_ + "/hidraw0");
    EXPECT_EQ(serial.name, "Acme Touch QV6020");
    EXPECT_EQ(serial.vendorId, 0x2E7B);
    EXPECT_EQ(serial.productId, 0x6020);
    EXPECT_TRUE(serial.hasParent);
    EXPECT_EQ(serial.parentInstanceId, "USB\\VID_2E7B&PID_6020\\QV6020A17");
    EXPECT_TRUE(serial.hasManufacturer);
    EXPECT_EQ(serial.parentManufacturer, "Acme Touch");
    EXPECT_EQ(serial.inputReportLength, 8);  // report 1: 7 data bytes, and the id byte

    const HidInterface& i2c = list[1];
    EXPECT_EQ(i2c.path, dev_ + "/hidraw2");
    EXPECT_EQ(i2c.name, "TPAD0001:00 1A2B:3C4D");
    EXPECT_EQ(i2c.vendorId, 0x1A2B);
    EXPECT_EQ(i2c.productId, 0x3C4D);
    EXPECT_FALSE(i2c.hasParent);
    EXPECT_EQ(i2c.parentInstanceId, "");
    EXPECT_FALSE(i2c.hasManufacturer);
    EXPECT_EQ(i2c.inputReportLength, -1);

    const HidInterface& bluetooth = list[2];
    EXPECT_EQ(bluetooth.path, dev_ + "/hidraw3");
    EXPECT_EQ(bluetooth.vendorId, 0x2E7B);
    EXPECT_EQ(bluetooth.productId, 0x6030);
    EXPECT_FALSE(bluetooth.hasParent);
    EXPECT_EQ(bluetooth.parentInstanceId, "");
    EXPECT_FALSE(bluetooth.hasManufacturer);
    EXPECT_EQ(bluetooth.inputReportLength, 6);

    const HidInterface& hubbed = list[3];
    EXPECT_EQ(hubbed.path, dev_ + "/hidraw10");
    EXPECT_EQ(hubbed.vendorId, 0x2E7B);
    EXPECT_EQ(hubbed.productId, 0x3501);
    EXPECT_TRUE(hubbed.hasParent);
    EXPECT_EQ(hubbed.parentInstanceId, "USB\\VID_2E7B&PID_3501\\1&1&4");  // the nearest USB device, not the hub
    EXPECT_FALSE(hubbed.hasManufacturer);
    EXPECT_EQ(hubbed.parentManufacturer, "");
    EXPECT_EQ(hubbed.inputReportLength, 6);  // 5 data bytes and the (absent) id byte

    // Roots given with a trailing slash name the same nodes.
    std::vector<HidInterface> again;
    ASSERT_TRUE(makeLinuxBackend(sys_ + "/", dev_ + "/")->listHidInterfaces(&again)) << lastError().text;
    ASSERT_EQ(again.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(again[i].path, list[i].path);
}

TEST_F(FakeSysfs, InputNodeFactsFromTheDescriptor) {
    // A touch screen without report ids, and a node whose descriptor is cut off.
    addUsbDevice({"pci0000:00/0000:00:14.0/usb2/2-4", "2e7b", "6020", "2", "4", "QV6020B01", "Acme Touch"});
    const Bytes touchNoIds = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x0A, 0x09, 0x01, 0x81, 0x02, 0xC0};
    addHidraw("hidraw6", "pci0000:00/0000:00:14.0/usb2/2-4/2-4:1.1/0003:2E7B:6020.0006",
              "HID_ID=0003:00002E7B:00006020\nHID_NAME=QV6020 touch\n", touchNoIds);
    addHidraw("hidraw7", "pci0000:00/0000:00:14.0/usb2/2-4/2-4:1.2/0003:2E7B:6020.0007",
              "HID_ID=0003:00002E7B:00006020\nHID_NAME=QV6020 cut\n", Bytes{0x05, 0x0D, 0x09});
    struct Case {
        const char* node;
        bool read;
        bool touchScreen, reportIds, feature, parent;
        const char* parentId;
    };
    const Case table[] = {
        {"hidraw0", true, true, true, true, true, "USB\\VID_2E7B&PID_6020\\QV6020A17"},
        {"hidraw10", true, false, false, true, true, "USB\\VID_2E7B&PID_3501\\1&1&4"},
        {"hidraw6", true, true, false, false, true, "USB\\VID_2E7B&PID_6020\\QV6020B01"},
        {"hidraw3", true, false, false, true, false, ""},  // Bluetooth: no USB parent
        {"hidraw7", false, false, false, false, false, ""},  // a malformed descriptor
        {"hidraw2", false, false, false, false, false, ""},  // no descriptor to read
        {"hidraw5", false, false, false, false, false, ""},  // the device is gone
    };
    for (const Case& c : table) {
        InputNode n;
        ASSERT_EQ(linuxdev::readInputNode(sys_, dev_, c.node, &n), c.read) << c.node;
        if (!c.read) continue;
        EXPECT_EQ(n.path, dev_ + "/" + c.node);
        EXPECT_EQ(n.vendorId, 0x2E7B) << c.node;
        EXPECT_EQ(n.touchScreen, c.touchScreen) << c.node;
        EXPECT_EQ(n.usesReportIds, c.reportIds) << c.node;
        EXPECT_EQ(n.hasFeatureReport, c.feature) << c.node;
        EXPECT_EQ(n.hasParent, c.parent) << c.node;
        EXPECT_EQ(n.parentInstanceId, c.parentId) << c.node;
    }
    std::vector<std::string> nodes;
    ASSERT_TRUE(linuxdev::listHidrawNodes(sys_, &nodes));
    EXPECT_EQ(nodes, (std::vector<std::string>{"hidraw0", "hidraw2", "hidraw3", "hidraw5", "hidraw6", "hidraw7",
                                               "hidraw10"}));
}

TEST_F(FakeSysfs, ParentInstanceIdOfAnInterfacePath) {
    auto backend = makeLinuxBackend(sys_, dev_);
    struct Case {
        std::string path;
        const char* id;  // nullptr: not found
    };
    const Case cases[] = {
        {dev_ + "/hidraw0", "USB\\VID_2E7B&PID_6020\\QV6020A17"},
        {dev_ + "/hidraw10", "USB\\VID_2E7B&PID_3501\\1&1&4"},
        {dev_ + "/hidraw2", nullptr},   // I2C: no USB parent
        {dev_ + "/hidraw3", nullptr},   // Bluetooth below a USB adapter
        {dev_ + "/hidraw5", nullptr},   // its device went away
        {dev_ + "/hidraw7", nullptr},   // no such node
        {dev_ + "/hidrawx", nullptr},
        {dev_ + "/ttyS0", nullptr},
        {"/elsewhere/hidraw0", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string id = "untouched";
        clearLastError();
        const bool ok = backend->parentInstanceId(c.path, &id);
        if (c.id) {
            ASSERT_TRUE(ok) << lastError().text;
            EXPECT_EQ(id, c.id);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(id, "untouched");
            EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
            EXPECT_NE(lastError().text.find(c.path), std::string::npos) << lastError().text;
        }
    }
}

TEST_F(ScratchTree, HidListWithoutHidrawSupportIsEmptyWithoutSysfsItFails) {
    std::vector<HidInterface> list(1);
    ASSERT_TRUE(makeLinuxBackend(sys_, dev_)->listHidInterfaces(&list)) << lastError().text;
    EXPECT_TRUE(list.empty());

    list.resize(1);
    const std::string missing = (root_ / "nosys").string();
    EXPECT_FALSE(makeLinuxBackend(missing, dev_)->listHidInterfaces(&list));
    EXPECT_TRUE(list.empty());
    EXPECT_NE(lastError().text.find(missing), std::string::npos) << lastError().text;
}

// Sets an environment variable for one test, and puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class FakeTty : public ScratchTree {
protected:
    void SetUp() override {
        ScratchTree::SetUp();
        for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttyUSB1", "ttyUSB0", "ttyACM0",
                                 "ttyACM", "ttySX", "tty0", "console", "hidraw0"})
            write(fs::path("dev") / node, "");
        // A port the firmware described, one that a card driver registered (no
        // type attribute), a legacy port without a UART behind it, and a
        // class entry without device.
        symlink("sys/class/tty/ttyS0/device", "../../../devices/pnp0/00:04");
        write("sys/devices/pnp0/00:04/id", "PNP0501\n");
        write("sys/class/tty/ttyS0/type", "4\n");
        symlink("sys/class/tty/ttyS10/device", "../../../devices/pci0000:00/0000:00:1e.0");
        write("sys/devices/pci0000:00/0000:00:1e.0/vendor", "0x1234\n");
        symlink("sys/class/tty/ttyS1/device", "../../../devices/platform/serial8250");
        write("sys/devices/platform/serial8250/driver_override", "(null)\n");
        write("sys/class/tty/ttyS1/type", "0\n");
        write("sys/class/tty/ttyS2/type", "0\n");
    }
};

TEST_F(FakeTty, SerialPortsAreTheRealOnesByKindAndNumberThenTheNamedOnes) {
    auto backend = makeLinuxBackend(sys_, dev_);
    const std::vector<std::string> present = {dev_ + "/ttyS0", dev_ + "/ttyS10", dev_ + "/ttyUSB0",
                                              dev_ + "/ttyUSB1", dev_ + "/ttyACM0"};
    struct Case {
        const char* env;  // nullptr: unset
        std::vector<std::string> extra;
    };
    const std::string usb0 = dev_ + "/ttyUSB0";
    const std::string namedTwice = "/dev/pts/3:" + usb0 + "::/tmp/port:/dev/pts/3:";
    const Case cases[] = {
        {nullptr, {}},
        {"", {}},
        {"/dev/pts/7", {"/dev/pts/7"}},
        // Kept in the order given; listed ports and repeats are dropped, empty fields skipped.
        {namedTwice.c_str(), {"/dev/pts/3", "/tmp/port"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.env ? c.env : "(unset)");
        ScopedEnv env("QV_SERIAL_PORTS", c.env);
        std::vector<std::string> ports{"stale"};
        ASSERT_TRUE(backend->listSerialPorts(&ports)) << lastError().text;
        std::vector<std::string> expected = present;
        expected.insert(expected.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(ports, expected);
    }
}

TEST_F(ScratchTree, SettingsStoreDoesNotExist) {
    auto backend = makeLinuxBackend(sys_, dev_);
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";
    std::string text = "untouched";
    uint32_t number = 77;
    clearLastError();
    EXPECT_FALSE(backend->readSettingString(key, "0", &text));
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    EXPECT_NE(lastError().text.find(key), std::string::npos) << lastError().text;
    clearLastError();
    EXPECT_FALSE(backend->readSettingDword(key, "Count", &number));
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    EXPECT_NE(lastError().text.find("Count"), std::string::npos) << lastError().text;
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(number, 77u);
}

TEST(UsbInstance, SerialNumberWhenUsableElseBusAndPorts) {
    struct Case {
        const char* serial;
        const char* busnum;
        const char* devpath;
        const char* instance;
    };
    const Case cases[] = {
        {"QV6020A17", "2", "3", "QV6020A17"},
        {"", "2", "1.4", "2&1&4"},
        {"", "002", "1.4.3", "2&1&4&3"},  // udev's zero-padded bus number
        {"A B-7", "1", "2", "A B-7"},
        {"A,B", "1", "2", "1&2"},         // separators of the identity itself
        {"A\\B", "1", "2", "1&2"},
        {"\x01X", "1", "2", "1&2"},
        {"\xC3\xA9", "3", "1", "3&1"},
        {"", "x", "1", ""},
        {"", "1", "", ""},
        {"", "1", "1..2", ""},
        {"", "1", "1.", ""},
        {"", "", "1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.serial) + " / " + c.busnum + " / " + c.devpath);
        EXPECT_EQ(linuxdev::usbInstance(c.serial, c.busnum, c.devpath), c.instance);
    }
}

}  // namespace
}  // namespace qvp
