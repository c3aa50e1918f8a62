// What sysfs tells the linux backend about the machine's devices: the HID
// interfaces behind the hidraw nodes (with their USB parents and report
// lengths) and the serial ports that really exist.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "hid/report_descriptor.h"
#include "linux_backend.h"

namespace qvp::linuxdev {

namespace fs = std::filesystem;

namespace {

bool fail(ErrorKind kind, std::string text) {
    setLastError(kind, std::move(text));
    return false;
}

// sysfs attributes end in a newline.
std::string trimNewlines(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// The whole of a small file; false when it cannot be read.
bool readFile(const fs::path& path, std::string* out, size_t limit = 65536) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string data;
    data.resize(limit);
    in.read(data.data(), static_cast<std::streamsize>(limit));
    if (in.bad()) return false;
    data.resize(static_cast<size_t>(in.gcount()));
    *out = std::move(data);
    return true;
}

bool readAttribute(const fs::path& path, std::string* out) {
    std::string text;
    if (!readFile(path, &text, 4096)) return false;
    *out = trimNewlines(std::move(text));
    return true;
}

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<prefix><digits>" -> the number; false for anything else (and for numbers too long to matter).
bool numberedName(const std::string& name, const std::string& prefix, unsigned long* number) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string digits = name.substr(prefix.size());
    if (!allDigits(digits) || digits.size() > 9) return false;
    *number = std::stoul(digits);
    return true;
}


std::string hex4Upper(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// KEY=VALUE lines of a uevent file.
std::map<std::string, std::string> parseUevent(const std::string& text) {
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) out[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return out;
}

// HID_ID=<bus>:<vendor>:<product>, each in hex.
bool parseHidId(const std::string& text, uint32_t* bus, uint16_t* vendor, uint16_t* product) {
    const size_t a = text.find(':');
    const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) return false;
    return parseHex(text.substr(0, a), bus) && parseHex16(text.substr(a + 1, b - a - 1), vendor) &&
           parseHex16(text.substr(b + 1), product);
}

constexpr uint32_t kBusUsb = 0x0003;  // the kernel's BUS_USB

bool isRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

struct UsbParent {
    bool found = false;
    std::string instanceId;
    bool hasManufacturer = false;
    std::string manufacturer;
};

// The USB device above a device directory: the nearest ancestor (inside the
// sysfs root) that carries a USB device's identity files.
UsbParent findUsbParent(const fs::path& device, const fs::path& sysfsRoot) {
    UsbParent parent;
    for (fs::path dir = device.parent_path();; dir = dir.parent_path()) {
        // Never leave the tree the backend was pointed at.
        if (dir == sysfsRoot || dir == dir.parent_path()) break;
        const auto rel = dir.lexically_relative(sysfsRoot);
        if (rel.empty() || *rel.begin() == "..") break;
        if (!isRegularFile(dir / "idVendor") || !isRegularFile(dir / "idProduct") ||
            !isRegularFile(dir / "busnum") || !isRegularFile(dir / "devpath"))
            continue;
        std::string vendorText, productText, busnum, devpath, serial;
        uint16_t vendor = 0, product = 0;
        if (!readAttribute(dir / "idVendor", &vendorText) || !readAttribute(dir / "idProduct", &productText) ||
            !parseHex16(vendorText, &vendor) || !parseHex16(productText, &product) ||
            !readAttribute(dir / "busnum", &busnum) || !readAttribute(dir / "devpath", &devpath))
            return parent;  // the USB device is there but its identity cannot be read
        if (!readAttribute(dir / "serial", &serial)) serial.clear();
        const std::string instance = usbInstance(serial, busnum, devpath);
        if (instance.empty()) return parent;
        parent.found = true;
        parent.instanceId = "USB\\VID_" + hex4Upper(vendor) + "&PID_" + hex4Upper(product) + "\\" + instance;
        parent.hasManufacturer = readAttribute(dir / "manufacturer", &parent.manufacturer);
        return parent;
    }
    return parent;
}

// The HID device directory behind a hidraw node's class entry; false when the
// node went away (or never had a device).
bool hidDeviceOf(const fs::path& sysfsRoot, const std::string& node, fs::path* device) {
    std::error_code ec;
    *device = fs::canonical(sysfsRoot / "class" / "hidraw" / node / "device", ec);
    return !ec && fs::is_directory(*device, ec);
}

bool readHidInterface(const fs::path& sysfsRoot, const std::string& devRoot, const std::string& node,
                      HidInterface* out) {
    fs::path device;
    if (!hidDeviceOf(sysfsRoot, node, &device)) return false;
    HidInterface itf;
    itf.path = devRoot + "/" + node;
    std::string uevent;
    uint32_t bus = 0;
    if (readFile(device / "uevent", &uevent)) {
        const auto props = parseUevent(uevent);
        if (auto it = props.find("HID_NAME"); it != props.end()) itf.name = it->second;
        if (auto it = props.find("HID_ID"); it != props.end()) {
            uint16_t vendor, product;
            if (parseHidId(it->second, &bus, &vendor, &product)) {
                itf.vendorId = vendor;
                itf.productId = product;
            }
        }
    }
    std::string descriptor;
    if (readFile(device / "report_descriptor", &descriptor))
        itf.inputReportLength =
            inputReportLength(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size());
    // Only a HID device on the USB bus has a USB parent of its own: a Bluetooth
    // or I2C one may sit below a USB adapter, which is not its parent device.
    const UsbParent parent = bus == kBusUsb ? findUsbParent(device, sysfsRoot) : UsbParent{};
    itf.hasParent = parent.found;
    itf.parentInstanceId = parent.instanceId;
    itf.hasManufacturer = parent.hasManufacturer;
    itf.parentManufacturer = parent.manufacturer;
    *out = std::move(itf);
    return true;
}

// The root as given, or its canonical form when it exists (sysfs is all symlinks).
fs::path canonicalRoot(const std::string& root) {
    std::error_code ec;
    fs::path p = fs::canonical(root, ec);
    return ec ? fs::path(root) : p;
}

// Every name in a directory; false (with the reason) when it cannot be listed.
bool listDirectory(const fs::path& dir, const char* call, std::vector<std::string>* names) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) names->push_back(it->path().filename().string());
    if (ec) return fail(ErrorKind::Other, std::string(call) + ": cannot list " + dir.string() + ": " + ec.message());
    return true;
}

// A ttyS node is a real port when its sysfs entry has a device and, where the
// serial core says which UART it found, that it found one: the legacy ports
// registered without hardware have a device (the platform's serial8250) but
// type 0 (no UART).
bool isRealLegacyPort(const fs::path& sysfsRoot, const std::string& node) {
    const fs::path entry = sysfsRoot / "class" / "tty" / node;
    std::error_code ec;
    if (!fs::exists(entry / "device", ec)) return false;
    std::string type;
    if (readAttribute(entry / "type", &type) && allDigits(type) && type.size() <= 9 && std::stoul(type) == 0)
        return false;
    return true;
}

}  // namespace

// A hexadecimal field of at most 8 digits.
bool parseHex(const std::string& s, uint32_t* value) {
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

bool parseHex16(const std::string& s, uint16_t* value) {
    uint32_t v;
    if (!parseHex(s, &v) || v > 0xFFFF) return false;
    *value = static_cast<uint16_t>(v);
    return true;
}

std::string usbInstance(const std::string& serial, const std::string& busnum, const std::string& devpath) {
    const bool serialUsable =
        !serial.empty() && std::all_of(serial.begin(), serial.end(), [](char ch) {
            const auto c = static_cast<unsigned char>(ch);
            return c >= 0x20 && c < 0x7F && c != ',' && c != '\\';
        });
    if (serialUsable) return serial;

    // The bus number (udev writes it with leading zeros), then devpath's ports.
    if (!allDigits(busnum) || busnum.size() > 9) return {};
    std::string out = std::to_string(std::stoul(busnum));
    size_t pos = 0;
    while (true) {
        const size_t dot = devpath.find('.', pos);
        const std::string port = devpath.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (!allDigits(port)) return {};
        out += "&" + port;
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return out;
}

bool listHidInterfaces(const std::string& sysfsRoot, const std::string& devRoot, std::vector<HidInterface>* out) {
    if (!out) return fail(ErrorKind::InvalidParameter, "listHidInterfaces: no list to fill");
    out->clear();
    const fs::path root = canonicalRoot(sysfsRoot);
    std::error_code ec;
    if (!fs::is_directory(root / "class", ec))
        return fail(ErrorKind::Other, "listHidInterfaces: " + (root / "class").string() +
                                          " is not there (sysfs not mounted?)");
    const fs::path classDir = root / "class" / "hidraw";
    if (!fs::exists(classDir, ec)) return true;  // no hidraw support loaded: no HID devices

    std::vector<std::string> names;
    if (!listDirectory(classDir, "listHidInterfaces", &names)) return false;
    std::vector<std::pair<unsigned long, std::string>> nodes;
    for (const auto& name : names) {
        unsigned long n;
        if (numberedName(name, "hidraw", &n)) nodes.emplace_back(n, name);
    }
    std::sort(nodes.begin(), nodes.end());
    for (const auto& [n, name] : nodes) {
        HidInterface itf;
        // A node whose device is gone by now is no longer present.
        if (readHidInterface(root, devRoot, name, &itf)) out->push_back(std::move(itf));
    }
    return true;
}

bool parentInstanceId(const std::string& sysfsRoot, const std::string& devRoot, const std::string& interfacePath,
                      std::string* out) {
    const std::string where = "parentInstanceId " + interfacePath + ": ";
    if (!out) return fail(ErrorKind::InvalidParameter, where + "no text to fill");
    const std::string prefix = devRoot + "/";
    unsigned long n;
    if (interfacePath.compare(0, prefix.size(), prefix) != 0 ||
        !numberedName(interfacePath.substr(prefix.size()), "hidraw", &n))
        return fail(ErrorKind::NotFound, where + "not a hidraw node under " + devRoot);
    const std::string node = interfacePath.substr(prefix.size());
    const fs::path root = canonicalRoot(sysfsRoot);
    HidInterface itf;
    if (!readHidInterface(root, devRoot, node, &itf))
        return fail(ErrorKind::NotFound, where + "no HID device for " + node + " in " + root.string());
    if (!itf.hasParent) return fail(ErrorKind::NotFound, where + "the HID device has no USB parent device");
    *out = itf.parentInstanceId;
    return true;
}

bool listSerialPorts(const std::string& sysfsRoot, const std::string& devRoot, std::vector<std::string>* out) {
    if (!out) return fail(ErrorKind::InvalidParameter, "listSerialPorts: no list to fill");
    out->clear();
    static const char* const kKinds[] = {"ttyS", "ttyUSB", "ttyACM"};
    std::vector<std::string> names;
    if (!listDirectory(devRoot, "listSerialPorts", &names)) return false;
    const fs::path root = canonicalRoot(sysfsRoot);
    std::vector<std::tuple<size_t, unsigned long, std::string>> ports;  // kind, number, node
    for (const auto& name : names)
        for (size_t k = 0; k < std::size(kKinds); ++k) {
            unsigned long n;
            if (!numberedName(name, kKinds[k], &n)) continue;
            if (k == 0 && !isRealLegacyPort(root, name)) continue;
            ports.emplace_back(k, n, name);
        }
    std::sort(ports.begin(), ports.end());

    std::set<std::string> seen;
    for (const auto& [kind, n, name] : ports) {
        out->push_back(devRoot + "/" + name);
        seen.insert(out->back());
    }
    // Ports the system does not list (ptys, adapters with other names), in the order given.
    if (const char* extra = std::getenv("QV_SERIAL_PORTS")) {
        const std::string list = extra;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t colon = list.find(':', pos);
            if (colon == std::string::npos) colon = list.size();
            const std::string path = list.substr(pos, colon - pos);
            if (!path.empty() && seen.insert(path).second) out->push_back(path);
            pos = colon + 1;
        }
    }
    return true;
}

bool listHidrawNodes(const std::string& sysfsRoot, std::vector<std::string>* out) {
    out->clear();
    const fs::path classDir = canonicalRoot(sysfsRoot) / "class" / "hidraw";
    std::error_code ec;
    if (!fs::exists(classDir, ec)) return true;
    std::vector<std::string> names;
    if (!listDirectory(classDir, "listHidrawNodes", &names)) return false;
    std::vector<std::pair<unsigned long, std::string>> nodes;
    for (const auto& name : names) {
        unsigned long n;
        if (numberedName(name, "hidraw", &n)) nodes.emplace_back(n, name);
    }
    std::sort(nodes.begin(), nodes.end());
    for (auto& [n, name] : nodes) out->push_back(std::move(name));
    return true;
}

bool readInputNode(const std::string& sysfsRoot, const std::string& devRoot, const std::string& node,
                   InputNode* out) {
    const fs::path root = canonicalRoot(sysfsRoot);
    fs::path device;
    if (!hidDeviceOf(root, node, &device)) return fail(ErrorKind::NotFound, "input node " + node + ": no HID device");
    HidInterface itf;
    if (!readHidInterface(root, devRoot, node, &itf)) return fail(ErrorKind::NotFound, "input node " + node + ": gone");
    std::string descriptor, error;
    if (!readFile(device / "report_descriptor", &descriptor))
        return fail(ErrorKind::Other, "input node " + node + ": report descriptor cannot be read");
    const auto info = qvhid::parseDescriptor(
        {reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size()}, &error);
    if (!info) return fail(ErrorKind::Other, "input node " + node + ": report descriptor: " + error);
    InputNode n;
    n.path = itf.path;
    n.vendorId = itf.vendorId;
    n.productId = itf.productId;
    n.touchScreen = info->hasTouchScreen();
    n.usesReportIds = info->usesReportIds;
    n.hasFeatureReport = info->hasFeatureReport();
    n.hasParent = itf.hasParent;
    n.parentInstanceId = itf.parentInstanceId;
    *out = std::move(n);
    return true;
}

// ---- HID report descriptors ----

namespace {

int reportLength(const uint8_t* descriptor, size_t len, qvhid::ReportType type, std::string* error) {
    if (!descriptor) len = 0;
    const auto info = qvhid::parseDescriptor({descriptor, len}, error);
    return info ? info->reportLength(type) : -1;
}

}  // namespace

int inputReportLength(const uint8_t* descriptor, size_t len) {
    return reportLength(descriptor, len, qvhid::ReportType::Input, nullptr);
}

int outputReportLength(const uint8_t* descriptor, size_t len, std::string* error) {
    return reportLength(descriptor, len, qvhid::ReportType::Output, error);
}

}  // namespace qvp::linuxdev

namespace qvp::linuxdev {

bool listUsbDevices(const std::string& sysfsRoot, uint16_t vendorId, std::vector<std::string>* out) {
    if (!out) return fail(ErrorKind::InvalidParameter, "listUsbDevices: no list to fill");
    out->clear();
    const fs::path root = canonicalRoot(sysfsRoot);
    const fs::path busDir = root / "bus" / "usb" / "devices";
    std::error_code ec;
    if (!fs::exists(busDir, ec)) return true;  // no USB here
    std::vector<std::string> names;
    if (!listDirectory(busDir, "listUsbDevices", &names)) return false;
    std::sort(names.begin(), names.end());
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, "%04x", vendorId);
    for (const auto& name : names) {
        std::string vendor;
        // Interfaces ("1-1:1.0") have no idVendor: only devices are listed.
        if (!readAttribute(busDir / name / "idVendor", &vendor) || vendor != wanted) continue;
        const fs::path device = fs::canonical(busDir / name, ec);
        if (!ec) out->push_back(device.string());
    }
    return true;
}

bool usbHidChildren(const std::string& sysfsRoot, const std::string& devRoot, const std::string& usbPath,
                    std::vector<std::string>* out) {
    if (!out) return fail(ErrorKind::InvalidParameter, "usbHidChildren: no list to fill");
    out->clear();
    std::error_code ec;
    const fs::path device = fs::canonical(usbPath, ec);
    const fs::path root = canonicalRoot(sysfsRoot);
    // Only directories inside sysfs count, and only USB devices there.
    const std::string rootText = root.string() + "/";
    if (ec || !fs::is_directory(device, ec) || device.string().compare(0, rootText.size(), rootText) != 0 ||
        !fs::exists(device / "idVendor", ec))
        return fail(ErrorKind::NotFound, "usbHidChildren " + usbPath + ": no such USB device");
    // The hidraw nodes sit at <interface>/<hid device>/hidraw/hidrawN; the walk
    // stays inside the device's own directories (links lead elsewhere).
    std::vector<std::pair<unsigned long, std::string>> nodes;
    fs::recursive_directory_iterator it(device, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 4) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec)) continue;
        const std::string name = it->path().filename().string();
        unsigned long n;
        if (it->path().parent_path().filename() == "hidraw" && numberedName(name, "hidraw", &n))
            nodes.emplace_back(n, devRoot + "/" + name);
    }
    std::sort(nodes.begin(), nodes.end());
    for (auto& [n, path] : nodes) out->push_back(std::move(path));
    return true;
}

bool hidNodeFacts(const std::string& sysfsRoot, const std::string& devRoot, const std::string& path, InputNode* out) {
    const std::string prefix = devRoot + "/";
    unsigned long n;
    if (path.compare(0, prefix.size(), prefix) != 0 || !numberedName(path.substr(prefix.size()), "hidraw", &n))
        return fail(ErrorKind::NotFound, "hidNodeFacts " + path + ": not a hidraw node under " + devRoot);
    return readInputNode(sysfsRoot, devRoot, path.substr(prefix.size()), out);
}

}  // namespace qvp::linuxdev
