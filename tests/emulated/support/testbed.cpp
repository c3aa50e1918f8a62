// The umockdev test bed of the linux backend's end-to-end tests: sysfs as the
// kernel lays out USB HID devices, and hidraw nodes answered by simulated
// controllers (see mock_testbed.h).
#include "testbed_support.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace qvmock {

namespace {

constexpr unsigned kHidrawMajor = 247;
constexpr uint16_t kBusUsb = 0x0003;
constexpr const char* kPciPath = "pci0000:00/0000:00:14.0";

// A short printf-formatted text (sysfs attributes and udev properties).
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char b[64];
    std::snprintf(b, sizeof b, pattern, args...);
    return b;
}

// The kernel's PRODUCT property: vendor, product and release in hex, without leading zeros.
std::string productProperty(const UsbDevice& usb) { return format("%x/%x/%x", usb.vendorId, usb.productId, 0x100); }

// The kernel's name of a USB device: "<bus>-<ports>".
std::string usbName(const UsbDevice& usb) { return std::to_string(usb.bus) + "-" + usb.ports; }

// umockdev takes attributes and properties as NULL-terminated name/value lists.
struct StringList {
    std::vector<std::string> items;
    std::vector<char*> pointers;
    StringList(std::initializer_list<std::pair<std::string, std::string>> pairs) {
        for (const auto& [k, v] : pairs) add(k, v);
    }
    void add(const std::string& k, const std::string& v) {
        items.push_back(k);
        items.push_back(v);
    }
    char** get() {
        pointers.clear();
        for (auto& s : items) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

std::string takeString(gchar* s) {
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

void check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error("test bed: " + what);
}

}  // namespace

Bytes vendorDescriptor(uint8_t reportId) {
    return {
        0x06, 0x00, 0xFF,              // Usage Page (vendor)
        0x09, 0x01,                    // Usage 1
        0xA1, 0x01,                    // Collection (Application)
        0x85, reportId,                //   Report ID
        0x15, 0x00, 0x26, 0xFF, 0x00,  //   Logical 0..255
        0x75, 0x08,                    //   Report Size 8
        0x95, 0x05, 0x09, 0x01, 0x81, 0x02,  // Input: 5 bytes
        0x95, 0x05, 0x09, 0x01, 0xB1, 0x02,  // Feature: 5 bytes
        0x95, 0x3F, 0x09, 0x01, 0x91, 0x02,  // Output: 63 bytes
        0xC0,                          // End Collection
    };
}

Bytes touchScreenDescriptor(uint8_t reportId, uint16_t logicalMax, int fingers) {
    Bytes d = {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, reportId};  // Digitizer / Touch Screen, Application
    for (int f = 0; f < fingers; ++f) {
        const Bytes finger = {
            0x05, 0x0D, 0x09, 0x22, 0xA1, 0x02,                    // Finger, Logical
            0x09, 0x42, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02,  // Tip Switch, 1 bit
            0x09, 0x51, 0x25, 0x7F, 0x75, 0x07, 0x81, 0x02,        // Contact Identifier, 7 bits
            0x05, 0x01, 0x26, uint8_t(logicalMax), uint8_t(logicalMax >> 8), 0x75, 0x10,  // 16 bits, 0..max
            0x09, 0x30, 0x81, 0x02,                                // X
            0x09, 0x31, 0x81, 0x02,                                // Y
            0xC0,
        };
        d.insert(d.end(), finger.begin(), finger.end());
    }
    d.push_back(0xC0);
    return d;
}

const char* callName(Call call) {
    switch (call) {
        case Call::SetFeature: return "HIDIOCSFEATURE";
        case Call::GetFeature: return "HIDIOCGFEATURE";
        case Call::Write: return "write";
        case Call::Read: return "read";
        case Call::Info: return "HIDIOCGRAWINFO";
        case Call::Descriptor: return "HIDIOCGRDESC";
    }
    return "?";
}

// ---------------------------------------------------------------- the test bed

namespace {

struct UsbEntry;

struct Node {
    Testbed::Impl* owner = nullptr;
    std::string path;  // "/dev/hidrawN"
    int minor = 0;
    Interface desc;
    UsbEntry* usb = nullptr;
    std::string hidName;  // "0003:2E7B:3501.0001"
    std::string interfaceSys, hidSys, hidrawSys;
    qvsim::HidDevice* hid = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    mode_t mode = 0666;

    // Guarded by the test bed's mutex.
    bool present = true;
    int generation = 1;  // a handle belongs to the generation of its first call
    std::deque<Bytes> input;
    struct Fault {
        Call call;
        int err;
        int count;
    };
    std::vector<Fault> faults;
    std::vector<CallRecord> calls;
};

struct UsbEntry {
    UsbDevice desc;
    std::string name;  // "2-1"
    std::string parentSys;
    std::string sys;
    int devnum = 0;
    bool present = true;
    std::vector<Node*> nodes;
};

}  // namespace

struct Testbed::Impl {
    UMockdevTestbed* bed = nullptr;
    std::string root;
    std::shared_ptr<qvsim::Bench> bench = std::make_shared<qvsim::Bench>();

    mutable std::mutex mutex;  // the nodes' changing state, shared with umockdev's thread
    std::map<std::string, std::unique_ptr<Node>> nodes;
    std::map<std::string, std::unique_ptr<UsbEntry>> usbDevices;  // by kernel name
    std::map<int, std::string> rootHubs;                           // bus -> sysfs path
    std::map<std::string, std::string> hubs;                       // kernel name -> sysfs path
    int nextMinor = 0;
    int nextHid = 1;
    int nextDevnum = 2;

    Node& node(const std::string& path) {
        auto it = nodes.find(path);
        check(it != nodes.end(), "no node " + path);
        return *it->second;
    }
    const Node& node(const std::string& path) const {
        auto it = nodes.find(path);
        check(it != nodes.end(), "no node " + path);
        return *it->second;
    }

    std::string addDevice(const char* subsystem, const std::string& name, const std::string& parent,
                          StringList attributes, StringList properties) {
        gchar* p = umockdev_testbed_add_devicev(bed, subsystem, name.c_str(), parent.empty() ? nullptr : parent.c_str(),
                                                attributes.get(), properties.get());
        check(p != nullptr, std::string("cannot add ") + subsystem + " device " + name);
        return takeString(p);
    }

    std::string rootHub(int bus) {
        if (auto it = rootHubs.find(bus); it != rootHubs.end()) return it->second;
        const std::string busName = "usb" + std::to_string(bus);
        const std::string sys =
            addDevice("usb", std::string(kPciPath) + "/" + busName, "",
                      {{"idVendor", "1d6b"}, {"idProduct", "0002"}, {"busnum", std::to_string(bus)},
                       {"devnum", "1"}, {"devpath", "0"}, {"bDeviceClass", "09"},
                       {"manufacturer", "Linux xhci-hcd"}, {"product", "xHCI Host Controller"},
                       {"serial", "0000:00:14.0"}},
                      {{"DEVTYPE", "usb_device"}, {"DRIVER", "usb"}, {"PRODUCT", "1d6b/2/601"},
                       {"BUSNUM", format("%03d", bus)}, {"DEVNUM", "001"}});
        rootHubs[bus] = sys;
        return sys;
    }

    // The device a USB device with these ports hangs off: the root hub, or a hub
    // at the ports before the last.
    std::string parentOf(int bus, const std::string& ports) {
        const size_t dot = ports.rfind('.');
        if (dot == std::string::npos) return rootHub(bus);
        const std::string hubPorts = ports.substr(0, dot);
        const std::string name = std::to_string(bus) + "-" + hubPorts;
        if (auto it = hubs.find(name); it != hubs.end()) return it->second;
        const std::string parent = parentOf(bus, hubPorts);
        const std::string sys =
            addDevice("usb", name, parent,
                      {{"idVendor", "0abc"}, {"idProduct", "0608"}, {"busnum", std::to_string(bus)},
                       {"devnum", std::to_string(nextDevnum++)}, {"devpath", hubPorts}, {"bDeviceClass", "09"},
                       {"product", "USB2.0 Hub"}},
                      {{"DEVTYPE", "usb_device"}, {"DRIVER", "usb"}, {"PRODUCT", "abc/608/6060"},
                       {"BUSNUM", format("%03d", bus)}});
        hubs[name] = sys;
        return sys;
    }

    // The USB device's own sysfs entry (not its interfaces).
    void makeUsbDevice(UsbEntry& u) {
        const UsbDevice& s = u.desc;
        const std::string product = productProperty(s);
        StringList attributes = {{"idVendor", format("%04x", s.vendorId)}, {"idProduct", format("%04x", s.productId)},
                                 {"bcdDevice", "0100"},           {"busnum", std::to_string(s.bus)},
                                 {"devnum", std::to_string(u.devnum)}, {"devpath", s.ports},
                                 {"bDeviceClass", "00"},          {"speed", "12"},
                                 {"product", s.product}};
        if (s.manufacturer) attributes.add("manufacturer", *s.manufacturer);
        if (s.serial) attributes.add("serial", *s.serial);
        // The kernel's properties, then the ones udev adds from the device's identity.
        StringList properties = {{"DEVTYPE", "usb_device"},
                                 {"DRIVER", "usb"},
                                 {"PRODUCT", product},
                                 {"TYPE", "0/0/0"},
                                 {"BUSNUM", format("%03d", s.bus)},
                                 {"DEVNUM", format("%03d", u.devnum)},
                                 {"DEVNAME", format("bus/usb/%03d/%03d", s.bus, u.devnum)},
                                 {"ID_BUS", "usb"},
                                 {"ID_VENDOR_ID", format("%04x", s.vendorId)},
                                 {"ID_MODEL_ID", format("%04x", s.productId)}};
        if (s.serial) properties.add("ID_SERIAL_SHORT", *s.serial);
        u.sys = addDevice("usb", u.name, u.parentSys, std::move(attributes), std::move(properties));
    }

    // The interface, its HID device and its hidraw node below the USB device.
    void makeInterface(Node& n) {
        const UsbEntry& u = *n.usb;
        const UsbDevice& s = u.desc;
        const std::string ifName = u.name + ":1." + std::to_string(n.desc.number);
        n.interfaceSys = addDevice("usb", ifName, u.sys,
                                   {{"bInterfaceNumber", format("%02x", n.desc.number)}, {"bInterfaceClass", "03"},
                                    {"bInterfaceSubClass", "00"}, {"bInterfaceProtocol", "00"},
                                    {"bAlternateSetting", " 0"}},
                                   {{"DEVTYPE", "usb_interface"}, {"DRIVER", "usbhid"},
                                    {"PRODUCT", productProperty(s)},
                                    {"TYPE", "0/0/0"}, {"INTERFACE", "3/0/0"}});

        // The kernel names the HID device by the product string, with the maker in front.
        std::string name = s.product;
        if (s.manufacturer && s.product.rfind(*s.manufacturer, 0) != 0) name = *s.manufacturer + " " + s.product;
        n.hidSys = addDevice("hid", n.hidName, n.interfaceSys, {},
                             {{"DRIVER", "hid-generic"},
                              {"HID_ID", format("%04X:%08X:%08X", kBusUsb, s.vendorId, s.productId)},
                              {"HID_NAME", name},
                              {"HID_PHYS", "usb-0000:00:14.0-" + s.ports + "/input" + std::to_string(n.desc.number)},
                              {"HID_UNIQ", s.serial.value_or("")},
                              {"MODALIAS", format("hid:b%04Xg0001v%08Xp%08X", kBusUsb, s.vendorId, s.productId)}});
        Bytes descriptor = n.desc.descriptor;
        umockdev_testbed_set_attribute_binary(bed, n.hidSys.c_str(), "report_descriptor", descriptor.data(),
                                              static_cast<gint>(descriptor.size()));

        // As with the kernel, the node is usable by the time its "add" uevent
        // goes out (adding the entry sends it): a reader woken by it must not
        // open a plain file in its place.
        makeNodeFile(n);
        const std::string node = n.path.substr(5);  // "hidrawN"
        n.hidrawSys = addDevice("hidraw", "hidraw/" + node, n.hidSys,
                                {{"dev", std::to_string(kHidrawMajor) + ":" + std::to_string(n.minor)}},
                                {{"MAJOR", std::to_string(kHidrawMajor)}, {"MINOR", std::to_string(n.minor)},
                                 {"DEVNAME", n.path}});
        // The class entry's "device" link, as the kernel makes it.
        umockdev_testbed_set_attribute_link(bed, n.hidrawSys.c_str(), "device", ("../../../" + n.hidName).c_str());
    }

    std::string devFile(const Node& n) const { return root + n.path; }

    void makeNodeFile(Node& n) {
        const std::string file = devFile(n);
        ::unlink(file.c_str());
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        check(fd >= 0, "cannot create " + file + ": " + std::strerror(errno));
        ::close(fd);
        check(::chmod(file.c_str(), n.mode) == 0, "cannot chmod " + file);
    }

    // Where a node went, a socket file stands: opening it fails with ENXIO, as
    // for a node whose device is gone, and the open stays inside the test bed
    // (umockdev passes a path it does not find on to the real /dev).
    void makeVanishedNodeFile(const Node& n) {
        const std::string file = devFile(n);
        ::unlink(file.c_str());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        check(fd >= 0, "socket");
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        check(file.size() < sizeof addr.sun_path, "test bed path too long for a socket");
        std::memcpy(addr.sun_path, file.c_str(), file.size() + 1);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        check(bound, "cannot bind " + file + ": " + std::strerror(errno));
    }

    void attachHandler(Node& n);

    // The USB device with that identity: the one there, or a new one.
    UsbEntry& usbDevice(const UsbDevice& desc) {
        const std::string name = usbName(desc);
        if (auto it = usbDevices.find(name); it != usbDevices.end()) {
            UsbEntry& usb = *it->second;
            check(usb.desc.vendorId == desc.vendorId && usb.desc.productId == desc.productId &&
                      usb.desc.serial == desc.serial,
                  "USB device " + name + " is there with another identity");
            check(usb.present, "USB device " + name + " is unplugged");
            return usb;
        }
        auto entry = std::make_unique<UsbEntry>();
        entry->desc = desc;
        entry->name = name;
        entry->devnum = nextDevnum++;
        entry->parentSys = parentOf(desc.bus, desc.ports);
        makeUsbDevice(*entry);
        UsbEntry& usb = *entry;
        usbDevices[name] = std::move(entry);
        return usb;
    }

    std::map<std::string, std::string> platformDevices;  // name -> sysfs path
    std::string platformDevice(const std::string& name) {
        if (auto it = platformDevices.find(name); it != platformDevices.end()) return it->second;
        return platformDevices[name] = addDevice("platform", "platform/" + name, "", {}, {{"DRIVER", name}});
    }

    // A client that is not root must reach the node's socket too (see UnprivilegedFiles).
    void openSocketToAll(const std::string& node) {
        ::chmod((root + "/ioctl").c_str(), 0755);
        ::chmod((root + "/ioctl/dev").c_str(), 0755);
        ::chmod((root + "/ioctl" + node).c_str(), 0777);
    }

    std::string addSerialPort(const SerialPort& port);
    std::vector<UMockdevIoctlBase*> serialHandlers;
    int nextSerialUsbPort = 10;

    void removeDanglingLinks() {
        namespace fs = std::filesystem;
        const fs::path sys = fs::path(root) / "sys";
        std::vector<fs::path> folders = {sys / "dev" / "char"};
        std::error_code ec;
        for (const char* top : {"class", "bus"})
            for (fs::directory_iterator it(sys / top, ec), end; !ec && it != end; it.increment(ec))
                folders.push_back(std::string(top) == "bus" ? it->path() / "devices" : it->path());
        for (const auto& folder : folders) {
            std::vector<fs::path> gone;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_symlink(ec) && !fs::exists(it->path(), ec)) gone.push_back(it->path());
            for (const auto& link : gone) fs::remove(link, ec);
        }
    }

    // ---- the node's calls, on umockdev's thread ----

    // Whether the client may use the node, and records the call's outcome; the
    // caller completes the call with the errno returned (0: go on).
    int admit(Node& n, UMockdevIoctlClient* client, Call call, size_t length) {
        std::lock_guard lock(mutex);
        auto* tag = static_cast<int*>(g_object_get_data(G_OBJECT(client), "qvmock-generation"));
        if (!tag) {
            tag = new int(n.generation);
            g_object_set_data_full(G_OBJECT(client), "qvmock-generation", tag,
                                   [](gpointer p) { delete static_cast<int*>(p); });
        }
        int err = 0;
        if (!n.present || *tag != n.generation) {
            err = call == Call::Read ? EIO : ENODEV;
        } else {
            for (auto& f : n.faults)
                if (f.call == call && f.count > 0) {
                    --f.count;
                    err = f.err;
                    break;
                }
        }
        n.calls.push_back({call, length, err});
        return err;
    }

    void record(Node& n, int err) {
        std::lock_guard lock(mutex);
        if (!n.calls.empty()) n.calls.back().error = err;
    }

    static int errnoOf(qvsim::XferError e) {
        switch (e) {
            case qvsim::XferError::None: return 0;
            case qvsim::XferError::Timeout: return ETIMEDOUT;
            case qvsim::XferError::InvalidParameter: return EINVAL;
            case qvsim::XferError::NotFound: return ENODEV;
            case qvsim::XferError::Other: return EPIPE;
        }
        return EIO;
    }

    static void finish(UMockdevIoctlClient* client, long result, int err) {
        if (err) umockdev_ioctl_client_complete(client, -1, err);
        else umockdev_ioctl_client_complete(client, result, 0);
    }

    // The client's buffer at the ioctl's argument, copied here; written back when the call completes.
    static UMockdevIoctlData* buffer(UMockdevIoctlClient* client, size_t len) {
        return umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, len, nullptr);
    }

    // Fills the structure the ioctl's argument points to, and completes the call.
    static void answer(UMockdevIoctlClient* client, const void* value, size_t size) {
        UMockdevIoctlData* d = buffer(client, size);
        if (!d) return finish(client, -1, EFAULT);
        umockdev_ioctl_data_update(d, 0, static_cast<guint8*>(const_cast<void*>(value)), static_cast<gint>(size));
        g_object_unref(d);
        finish(client, 0, 0);
    }

    void onIoctl(Node& n, UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        if (_IOC_TYPE(request) != 'H') {
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return;
        }
        const size_t size = _IOC_SIZE(request);
        switch (_IOC_NR(request)) {
            case _IOC_NR(HIDIOCGRAWINFO): {
                if (int err = admit(n, client, Call::Info, 0)) return finish(client, -1, err);
                hidraw_devinfo info{};
                info.bustype = kBusUsb;
                info.vendor = static_cast<__s16>(n.desc.usb.vendorId);
                info.product = static_cast<__s16>(n.desc.usb.productId);
                return answer(client, &info, sizeof info);
            }
            case _IOC_NR(HIDIOCGRDESCSIZE): {
                if (int err = admit(n, client, Call::Descriptor, 0)) return finish(client, -1, err);
                const int descriptorSize = static_cast<int>(n.desc.descriptor.size());
                return answer(client, &descriptorSize, sizeof descriptorSize);
            }
            case _IOC_NR(HIDIOCGRDESC): {
                if (int err = admit(n, client, Call::Descriptor, n.desc.descriptor.size()))
                    return finish(client, -1, err);
                UMockdevIoctlData* d = buffer(client, sizeof(hidraw_report_descriptor));
                if (!d) return finish(client, -1, EFAULT);
                uint32_t asked = 0;
                std::memcpy(&asked, d->data, sizeof asked);
                if (asked > HID_MAX_DESCRIPTOR_SIZE - 1) {
                    g_object_unref(d);
                    return finish(client, -1, EINVAL);
                }
                // As the kernel: at most what was asked for, at most what there is.
                Bytes bytes = n.desc.descriptor;
                bytes.resize(std::min<size_t>(asked, bytes.size()));
                if (!bytes.empty()) umockdev_ioctl_data_update(d, sizeof(uint32_t), bytes.data(), int(bytes.size()));
                g_object_unref(d);
                return finish(client, 0, 0);
            }
            case 0x06:    // HIDIOCSFEATURE(len)
            case 0x07: {  // HIDIOCGFEATURE(len)
                const bool set = _IOC_NR(request) == 0x06;
                const Call call = set ? Call::SetFeature : Call::GetFeature;
                if (int err = admit(n, client, call, size)) return finish(client, -1, err);
                if (!n.hid) {
                    record(n, EPIPE);
                    return finish(client, -1, EPIPE);
                }
                UMockdevIoctlData* d = buffer(client, size);
                if (!d) return finish(client, -1, EFAULT);
                const qvsim::XferError e = set ? n.hid->setFeature(d->data, size) : n.hid->getFeature(d->data, size);
                if (!set && e == qvsim::XferError::None) umockdev_ioctl_data_update(d, 0, d->data, int(size));
                g_object_unref(d);
                const int err = errnoOf(e);
                if (err) record(n, err);
                return finish(client, static_cast<long>(size), err);
            }
            default: umockdev_ioctl_client_complete(client, -1, ENOTTY);
        }
    }

    void onRead(Node& n, UMockdevIoctlClient* client) {
        UMockdevIoctlData* buf = umockdev_ioctl_client_get_arg(client);
        const size_t count = static_cast<size_t>(buf->data_len);
        if (int err = admit(n, client, Call::Read, count)) return finish(client, -1, err);
        Bytes report;
        {
            std::lock_guard lock(mutex);
            if (n.input.empty()) {
                n.calls.back().error = EAGAIN;
            } else {
                report = std::move(n.input.front());
                n.input.pop_front();
            }
        }
        if (report.empty()) return finish(client, -1, EAGAIN);
        // As hidraw: one report per read, cut to the reader's buffer.
        const size_t len = std::min(report.size(), count);
        umockdev_ioctl_data_update(buf, 0, report.data(), int(len));
        finish(client, static_cast<long>(len), 0);
    }

    void onWrite(Node& n, UMockdevIoctlClient* client) {
        UMockdevIoctlData* buf = umockdev_ioctl_client_get_arg(client);
        const size_t count = static_cast<size_t>(buf->data_len);
        if (int err = admit(n, client, Call::Write, count)) return finish(client, -1, err);
        const int err = n.hid ? errnoOf(n.hid->setOutput(buf->data, count)) : EPIPE;
        if (err) record(n, err);
        finish(client, static_cast<long>(count), err);
    }
};

namespace {

gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* n = static_cast<Node*>(data);
    n->owner->onIoctl(*n, client);
    return TRUE;
}

gboolean handleRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* n = static_cast<Node*>(data);
    n->owner->onRead(*n, client);
    return TRUE;
}

gboolean handleWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
    auto* n = static_cast<Node*>(data);
    n->owner->onWrite(*n, client);
    return TRUE;
}

}  // namespace

void Testbed::Impl::attachHandler(Node& n) {
    n.handler = umockdev_ioctl_base_new();
    g_signal_connect(n.handler, "handle-ioctl", G_CALLBACK(handleIoctl), &n);
    g_signal_connect(n.handler, "handle-read", G_CALLBACK(handleRead), &n);
    g_signal_connect(n.handler, "handle-write", G_CALLBACK(handleWrite), &n);
    GError* error = nullptr;
    const bool attached = umockdev_testbed_attach_ioctl(bed, n.path.c_str(), n.handler, &error);
    std::string why = error ? error->message : "";
    if (error) g_error_free(error);
    check(attached, "cannot attach the ioctl handler of " + n.path + ": " + why);
    openSocketToAll(n.path);
}

namespace {

// A terminal's ioctls run on the terminal itself, in the calling process.
gboolean passIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    gint err = 0;
    const gint result = umockdev_ioctl_client_execute(client, &err, nullptr);
    umockdev_ioctl_client_complete(client, result, result < 0 ? err : 0);
    return TRUE;
}

}  // namespace

std::string Testbed::Impl::addSerialPort(const SerialPort& port) {
    const std::string n = std::to_string(port.number);
    std::string name, parentSys, deviceLink, type;
    switch (port.kind) {
        case SerialKind::Uart: {
            name = "ttyS" + n;
            const std::string pnp = "00:0" + std::to_string(4 + port.number);
            parentSys = addDevice("pnp", "pnp0/" + pnp, "", {}, {{"DRIVER", "serial"}});
            deviceLink = "../../../" + pnp;
            type = "4";  // a 16550A
            break;
        }
        case SerialKind::Placeholder:
            name = "ttyS" + n;
            parentSys = platformDevice("serial8250");
            deviceLink = "../../../serial8250";
            type = "0";  // no UART found
            break;
        case SerialKind::UsbSerial:
        case SerialKind::Acm: {
            const bool acm = port.kind == SerialKind::Acm;
            name = (acm ? "ttyACM" : "ttyUSB") + n;
            UsbDevice desc;
            desc.ports = std::to_string(nextSerialUsbPort++);
            desc.vendorId = 0x0ABC;  // a made-up maker of adapters
            desc.productId = acm ? 0x0A01 : 0x0A02;
            desc.product = acm ? "Modem" : "Serial Adapter";
            const UsbEntry& usb = usbDevice(desc);
            const std::string ifName = usb.name + ":1.0";
            const std::string driver = acm ? "cdc_acm" : "usbserial_generic";
            const std::string itf = addDevice("usb", ifName, usb.sys, {{"bInterfaceNumber", "00"}},
                                              {{"DEVTYPE", "usb_interface"}, {"DRIVER", driver}});
            if (acm) {
                parentSys = itf;
                deviceLink = "../../../" + ifName;
            } else {
                parentSys = addDevice("usb-serial", name, itf, {}, {{"DRIVER", driver}});
                deviceLink = "../../../" + name;
            }
            break;
        }
    }
    const int major = port.kind == SerialKind::UsbSerial ? 188 : port.kind == SerialKind::Acm ? 166 : 4;
    const int minor = (major == 4 ? 64 : 0) + port.number;
    StringList attributes = {{"dev", std::to_string(major) + ":" + std::to_string(minor)}};
    if (!type.empty()) attributes.add("type", type);
    const std::string tty = addDevice("tty", "tty/" + name, parentSys, std::move(attributes),
                                      {{"MAJOR", std::to_string(major)}, {"MINOR", std::to_string(minor)},
                                       {"DEVNAME", "/dev/" + name}});
    umockdev_testbed_set_attribute_link(bed, tty.c_str(), "device", deviceLink.c_str());

    const std::string node = "/dev/" + name;
    const std::string file = root + node;
    ::unlink(file.c_str());
    if (port.line.empty()) {
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
        check(fd >= 0, "cannot create " + file);
        ::close(fd);
    } else {
        check(::symlink(port.line.c_str(), file.c_str()) == 0, "cannot link " + file + " to " + port.line);
    }
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(passIoctl), nullptr);
    check(umockdev_testbed_attach_ioctl(bed, node.c_str(), handler, nullptr), "cannot attach to " + node);
    serialHandlers.push_back(handler);
    openSocketToAll(node);
    return node;
}

Testbed::Testbed() : impl_(std::make_unique<Impl>()) {
    impl_->bed = umockdev_testbed_new();
    impl_->root = takeString(umockdev_testbed_get_root_dir(impl_->bed));
    // The test bed is made private to its owner; a test that drops its file
    // permissions (UnprivilegedFiles) must still find its way into it.
    ::chmod(impl_->root.c_str(), 0755);
    ::mkdir((impl_->root + "/dev").c_str(), 0755);
}

Testbed::~Testbed() {
    // The test bed ends its thread first; the handlers' last calls ran there.
    g_object_unref(impl_->bed);
    for (auto& [path, n] : impl_->nodes)
        if (n->handler) g_object_unref(n->handler);
    for (UMockdevIoctlBase* h : impl_->serialHandlers) g_object_unref(h);
}

std::string Testbed::addSerialPort(const SerialPort& port) { return impl_->addSerialPort(port); }

std::string Testbed::unavailable() const {
    struct stat viaPreload {}, bed {};
    if (::stat((impl_->root + "/sys").c_str(), &bed) != 0) return "the test bed has no sys folder";
    if (::stat("/sys", &viaPreload) == 0 && viaPreload.st_dev == bed.st_dev && viaPreload.st_ino == bed.st_ino)
        return {};
    return "umockdev's preload library is not active (/sys is the machine's own): run the program under "
           "umockdev-wrapper, as ctest does";
}

std::string Testbed::add(const Interface& itf) {
    Impl& d = *impl_;
    UsbEntry* usb = &d.usbDevice(itf.usb);

    auto n = std::make_unique<Node>();
    n->owner = impl_.get();
    n->minor = d.nextMinor++;
    n->path = "/dev/hidraw" + std::to_string(n->minor);
    n->desc = itf;
    n->usb = usb;
    char hidName[32];
    std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", kBusUsb, itf.usb.vendorId, itf.usb.productId,
                  d.nextHid++);
    n->hidName = hidName;
    if (itf.controller) {
        qvsim::HidInfo info;
        info.path = n->path;
        info.vendorId = itf.usb.vendorId;
        info.productId = itf.usb.productId;
        info.reportId = itf.reportId;
        n->hid = &d.bench->addHid(itf.controller, info);
    }
    d.attachHandler(*n);
    d.makeInterface(*n);
    usb->nodes.push_back(n.get());
    const std::string path = n->path;
    d.nodes[path] = std::move(n);
    return path;
}

void Testbed::vanish(const std::string& node) {
    Impl& d = *impl_;
    UsbEntry& usb = *d.node(node).usb;
    check(usb.present, node + " is gone already");
    {
        std::lock_guard lock(d.mutex);
        usb.present = false;
        for (Node* n : usb.nodes) {
            n->present = false;
            ++n->generation;
        }
    }
    umockdev_testbed_remove_device(d.bed, usb.sys.c_str());
    // The class, bus and number links umockdev leaves behind point nowhere now
    // (a replug makes them again).
    d.removeDanglingLinks();
    for (Node* n : usb.nodes) {
        ::unlink((d.root + "/dev/.node/" + n->path.substr(5)).c_str());
        d.makeVanishedNodeFile(*n);
    }
}

void Testbed::readd(const std::string& node) {
    Impl& d = *impl_;
    UsbEntry& usb = *d.node(node).usb;
    check(!usb.present, node + " is present");
    d.makeUsbDevice(usb);
    for (Node* n : usb.nodes) d.makeInterface(*n);
    std::lock_guard lock(d.mutex);
    usb.present = true;
    for (Node* n : usb.nodes) {
        n->present = true;
        ++n->generation;
    }
}

void Testbed::uevent(const std::string& node, const std::string& action, Level level) {
    const Node& n = impl_->node(node);
    check(n.usb->present, node + " is gone: a uevent needs its sysfs entry");
    umockdev_testbed_uevent(impl_->bed, (level == Level::Hidraw ? n.hidrawSys : n.usb->sys).c_str(), action.c_str());
}

void Testbed::fail(const std::string& node, Call call, int err, int count) {
    Node& n = impl_->node(node);
    std::lock_guard lock(impl_->mutex);
    n.faults.push_back({call, err, count});
}

void Testbed::queueInput(const std::string& node, Bytes report) {
    Node& n = impl_->node(node);
    std::lock_guard lock(impl_->mutex);
    n.input.push_back(std::move(report));
}

void Testbed::setMode(const std::string& node, mode_t mode) {
    Node& n = impl_->node(node);
    n.mode = mode;
    check(::chmod(impl_->devFile(n).c_str(), mode) == 0, "cannot chmod " + node);
}

std::vector<CallRecord> Testbed::calls(const std::string& node) const {
    const Node& n = impl_->node(node);
    std::lock_guard lock(impl_->mutex);
    return n.calls;
}

void Testbed::clearCalls(const std::string& node) {
    Node& n = impl_->node(node);
    std::lock_guard lock(impl_->mutex);
    n.calls.clear();
}

qvsim::HidDevice* Testbed::hid(const std::string& node) { return impl_->node(node).hid; }

std::string Testbed::sysfsPath(const std::string& node, Level level) const {
    const Node& n = impl_->node(node);
    return level == Level::Hidraw ? n.hidrawSys : n.usb->sys;
}

std::string Testbed::root() const { return impl_->root; }

// ---------------------------------------------------------------- file permissions

namespace {
constexpr uid_t kNobody = 65534;
}

UnprivilegedFiles::UnprivilegedFiles() {
    if (::geteuid() != 0) return;
    // The file-system uid is the thread's own: other threads keep root's rights.
    ::setfsuid(kNobody);
    switched_ = static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == kNobody;
}

UnprivilegedFiles::~UnprivilegedFiles() {
    if (switched_) ::setfsuid(0);
}

}  // namespace qvmock
