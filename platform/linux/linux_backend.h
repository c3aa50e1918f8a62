// The linux backend's own pieces, for the backend's files and its tests: the
// backend over a chosen sysfs and /dev, what sysfs tells about HID devices and
// serial ports, the HID report-descriptor reader, and the device-change
// plumbing (subscriptions, the udev monitor and its event conversion).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qvp {

// The linux backend reading devices from sysfsRoot (normally "/sys") and naming
// device nodes under devRoot (normally "/dev").
std::shared_ptr<Backend> makeLinuxBackend(const std::string& sysfsRoot, const std::string& devRoot);

namespace linuxdev {

// ---- HID report descriptors ----

// The byte length of the longest input (output) report a HID report
// descriptor declares, counted with the report-id byte in front (one byte more
// than the report's data, also for devices that use no report ids). Reports
// with the same id add up wherever their items stand. 0: the descriptor
// declares no report of the kind; -1: it is malformed (an item runs past its
// end, a pop without push, report id 0 or above 255, a report longer than the
// kernel accepts; *error, when given, says which and where).
int inputReportLength(const uint8_t* descriptor, size_t len);
int outputReportLength(const uint8_t* descriptor, size_t len, std::string* error = nullptr);

// ---- USB identity ----

// The instance part of a USB device's identity: its serial number when it has a
// usable one, else "<bus>&<port>&<port>..." from its bus number and devpath
// ("1.4" on bus 2 -> "2&1&4"). A serial number is unusable when it is empty or
// holds a character outside printable ASCII, a comma or a backslash (it could
// not be told apart from the identity's own separators). Empty: bus or devpath
// malformed.
std::string usbInstance(const std::string& serial, const std::string& busnum, const std::string& devpath);

// ---- sysfs ----

// The HID interfaces of the hidraw nodes, ordered by node number.
bool listHidInterfaces(const std::string& sysfsRoot, const std::string& devRoot, std::vector<HidInterface>* out);
// The serial ports present, then those of QV_SERIAL_PORTS (see Backend::listSerialPorts).
bool listSerialPorts(const std::string& sysfsRoot, const std::string& devRoot, std::vector<std::string>* out);
// The USB parent's instance identity of the hidraw node at interfacePath (devRoot + "/hidrawN").
bool parentInstanceId(const std::string& sysfsRoot, const std::string& devRoot, const std::string& interfacePath,
                      std::string* out);

// The sysfs directories of the USB devices of a vendor, by bus name order.
bool listUsbDevices(const std::string& sysfsRoot, uint16_t vendorId, std::vector<std::string>* out);
// The hidraw nodes (devRoot + "/hidrawN") under a USB device's sysfs directory, in
// node order; false when usbPath is no USB device inside sysfs.
bool usbHidChildren(const std::string& sysfsRoot, const std::string& devRoot, const std::string& usbPath,
                    std::vector<std::string>* out);
// readInputNode for a node given by its path (devRoot + "/hidrawN").
bool hidNodeFacts(const std::string& sysfsRoot, const std::string& devRoot, const std::string& path, InputNode* out);

// ---- input reports ----

// The facts of the hidraw node named node ("hidraw3") that the touch input
// reads: vendor and product, the report descriptor's touch-screen collection,
// report ids and feature report, and the USB parent's identity. false when the
// node has no HID device (gone) or its descriptor cannot be read or parsed.
bool readInputNode(const std::string& sysfsRoot, const std::string& devRoot, const std::string& node,
                   InputNode* out);
// The hidraw nodes present, by name ("hidraw0"), in node order.
bool listHidrawNodes(const std::string& sysfsRoot, std::vector<std::string>* out);
// The input reports of the vendor 0x2E7B touch-screen nodes: poll() over their
// nodes, an eventfd that wake() signals and a udev monitor of hidraw nodes, whose
// add and remove events make the source read the node set again. nullptr (with
// the reason) when the eventfd cannot be made; without udev the node set is the
// one found at the start.
std::unique_ptr<InputReportSource> openLinuxInputReports(const std::string& sysfsRoot, const std::string& devRoot);

// ---- device change ----

using UdevProperties = std::map<std::string, std::string>;

// The device change a udev event stands for. event: the event device's
// properties (ACTION, SUBSYSTEM, DEVTYPE, DEVPATH, PRODUCT, ID_SERIAL_SHORT...);
// usbParent: for a hidraw event, the properties of its USB device when they
// could be had (empty: the USB device is taken from the hidraw DEVPATH). Only
// "add" and "remove" of a USB device ("usb"/"usb_device") or of a hidraw node
// with a USB parent give a change.
std::optional<DeviceChange> deviceChangeFromUdev(const UdevProperties& event, const UdevProperties& usbParent);

// A running producer of device changes; destroying it stops it, and when that
// happens on another thread than its own, waits until its thread has ended.
class ChangeSource {
public:
    virtual ~ChangeSource() = default;
};

using ChangeSink = std::function<void(const DeviceChange&)>;
// Starts a source that hands every USB device change to the sink (on the
// source's thread); nullptr when none can run here.
using ChangeSourceFactory = std::function<std::unique_ptr<ChangeSource>(ChangeSink)>;

// The udev monitor: usb_device and hidraw events from udev, converted by
// deviceChangeFromUdev. nullptr when no monitor can be created (no udev, a
// container without its netlink events).
std::unique_ptr<ChangeSource> startUdevSource(ChangeSink sink);

// The subscriptions of one backend. The USB device source runs while the
// UsbDevice class has subscribers: started by the first, stopped when the last
// one leaves (a source that cannot start is tried again at the next UsbDevice
// subscription). The driver classes have no source on Linux: their subscribers
// are kept but never called.
class DeviceChangeHub {
public:
    explicit DeviceChangeHub(ChangeSourceFactory usbSource);
    ~DeviceChangeHub();
    DeviceChangeHub(const DeviceChangeHub&) = delete;
    DeviceChangeHub& operator=(const DeviceChangeHub&) = delete;

    // A token for unsubscribe; nullptr (with the reason in lastError) for a
    // missing handler or an unknown class.
    void* subscribe(InterfaceClass cls, DeviceChangeHandler handler);
    // Once it returns the handler is not running and is not called again,
    // except when called from a handler itself: then the calls under way finish
    // and no new one starts. Unknown tokens are ignored.
    void unsubscribe(void* token);
    // Calls every subscriber of cls with the change, one after the other.
    void deliver(InterfaceClass cls, const DeviceChange& change);

    bool sourceRunning() const;

private:
    struct Subscription {
        InterfaceClass cls;
        DeviceChangeHandler handler;
        std::atomic<bool> active{true};
    };

    const ChangeSourceFactory factory_;
    mutable std::mutex mutex_;  // subscriptions_, source_, nextToken_
    std::map<uintptr_t, std::shared_ptr<Subscription>> subscriptions_;
    std::unique_ptr<ChangeSource> source_;
    uintptr_t nextToken_ = 1;
    std::mutex delivering_;  // held while handlers run
};

// Hexadecimal fields of sysfs and udev texts: at most 8 digits; the 16-bit form
// also refuses values above 0xFFFF.
bool parseHex(const std::string& s, uint32_t* value);
bool parseHex16(const std::string& s, uint16_t* value);

}  // namespace linuxdev
}  // namespace qvp
