// Controllers emulated under umockdev, for running the linux backend end to
// end: the sysfs tree of USB HID devices as the kernel lays it out (root hub,
// hubs, the USB device with its identity files, the interface, the HID device
// with its uevent and report descriptor, the hidraw node), a /dev/hidrawN node
// whose ioctls, reads and writes are answered here by a simulated controller of
// libqvsim, and uevents that reach every udev monitor of the process.
//
// The program runs under umockdev's preload library (umockdev-wrapper): it
// redirects /sys and /dev into the test bed and hands the node's ioctls, reads
// and writes to the handlers here. The handlers run on umockdev's own thread,
// so the code under test calls the node from any thread of its own, as it
// would a real device; nothing needs to pump a main loop.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qvsim.h"

namespace qvmock {

using Bytes = std::vector<uint8_t>;

// A controller's vendor interface: report reportId carries 5 bytes of input,
// 5 bytes of feature and 63 bytes of output.
Bytes vendorDescriptor(uint8_t reportId);
// A digitizer's touch-screen application collection: report reportId holds
// `fingers` contacts of 5 bytes (tip and contact id, X and Y of 16 bits, both
// 0..logicalMax).
Bytes touchScreenDescriptor(uint8_t reportId, uint16_t logicalMax, int fingers);

// A USB device on the emulated bus.
struct UsbDevice {
    int bus = 2;
    // Its devpath: the port on the root hub, then the ports of hubs ("3.4");
    // the hubs in between are made as needed.
    std::string ports = "1";
    uint16_t vendorId = 0x2E7B;
    uint16_t productId = 0x3501;
    std::optional<std::string> serial;  // nullopt: the device has no serial number
    std::optional<std::string> manufacturer = std::string("Acme Touch");  // nullopt: no manufacturer file
    std::string product = "Touch Controller";
};

// One HID interface of a USB device and what answers behind its node.
struct Interface {
    UsbDevice usb;
    int number = 0;  // bInterfaceNumber
    Bytes descriptor = vendorDescriptor(1);
    // The firmware behind the interface's feature and output reports. nullptr:
    // the interface stalls them (EPIPE), as a digitizer's interface does.
    std::shared_ptr<qvsim::Controller> controller;
    uint8_t reportId = 1;  // the report id the controller takes
};

// A serial port as the kernel lists it under the tty class.
enum class SerialKind {
    Uart,         // ttyS<n> of a UART the serial core found (type 4)
    Placeholder,  // ttyS<n> the kernel registers without hardware (type 0)
    UsbSerial,    // ttyUSB<n> of a USB serial adapter
    Acm,          // ttyACM<n> of a USB modem-class device
};

struct SerialPort {
    SerialKind kind = SerialKind::UsbSerial;
    int number = 0;
    // The terminal the node leads to (a pseudo-terminal a test serves); its
    // terminal ioctls, reads and writes go there. Empty: the node is no terminal.
    std::string line;
};

// The calls a node answers.
enum class Call { SetFeature, GetFeature, Write, Read, Info, Descriptor };
const char* callName(Call call);

struct CallRecord {
    Call call;
    size_t length;  // bytes of the report (feature calls, read and write)
    int error;      // the errno the call failed with; 0: it succeeded
};

// What a uevent is about: the hidraw node, or the USB device it belongs to.
enum class Level { Hidraw, UsbDevice };

class Testbed {
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Empty when the preload library redirects /sys into this test bed, else
    // why it does not (the program runs without umockdev's preload).
    std::string unavailable() const;

    // Adds the interface, with its USB device (and the root hub and hubs above
    // it) unless that device is there already; returns its node, "/dev/hidrawN".
    // Like the kernel, umockdev announces every sysfs device it adds with an
    // "add" uevent, parent first.
    std::string add(const Interface& itf);

    // Adds the port's sysfs entries (with a USB device for the USB kinds) and
    // its node; returns the node ("/dev/ttyUSB0").
    std::string addSerialPort(const SerialPort& port);

    // The USB device of node is unplugged: the sysfs entries and nodes of all
    // its interfaces go. A handle that made a call before fails every further
    // call (ENODEV, a read EIO); an open of the node fails (ENXIO) inside the
    // test bed, never reaching a real node of the machine. No uevent is sent:
    // a test sends the "remove" uevents it needs first (with uevent()), while
    // sysfs still holds what the monitor looks up.
    void vanish(const std::string& node);
    // The USB device of node is plugged back in: the same nodes, the same
    // controllers, announced by "add" uevents as add() does; handles that made
    // a call before it went stay dead.
    void readd(const std::string& node);
    // Sends a uevent ("add", "remove", "change") about the node or its USB
    // device; the device must be present.
    void uevent(const std::string& node, const std::string& action, Level level = Level::Hidraw);

    // The next count calls of that kind on node fail with err (before they reach the controller).
    void fail(const std::string& node, Call call, int err, int count = 1);
    // An input report for the next read() of node (a read finds none: EAGAIN).
    void queueInput(const std::string& node, Bytes report);
    // The node's file mode: 0444 lets it be opened for reading only, 0 not at all.
    void setMode(const std::string& node, mode_t mode);

    // The calls node received, in order, since it was added or calls were cleared.
    std::vector<CallRecord> calls(const std::string& node) const;
    void clearCalls(const std::string& node);
    // The simulated HID device behind node; nullptr when it has no controller.
    qvsim::HidDevice* hid(const std::string& node);
    // The node's sysfs path ("/sys/devices/..."), or its USB device's.
    std::string sysfsPath(const std::string& node, Level level) const;
    // The test bed's folder (what /sys and /dev are redirected into).
    std::string root() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// While it lives, the calling thread passes the file-mode checks as an
// unprivileged user would. Root passes every mode check, so a test that needs
// a node it may not write makes its open under this; for other users it
// changes nothing.
class UnprivilegedFiles {
public:
    UnprivilegedFiles();
    ~UnprivilegedFiles();
    UnprivilegedFiles(const UnprivilegedFiles&) = delete;
    UnprivilegedFiles& operator=(const UnprivilegedFiles&) = delete;

private:
    bool switched_ = false;
};

}  // namespace qvmock
