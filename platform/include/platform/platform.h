// The operating-system layer under the controller library.
//
// The library reaches devices, ports and the clock only through this header.
// Two backends implement it: linux/ (hidraw ioctls, termios) and sim/
// (simulated controllers from libqvsim on a virtual clock). Nothing above the
// backends knows which one runs.
//
// Conventions:
//  - Every call that can fail returns false (or invalidHandle()) and records
//    the reason in the calling thread's last error: a kind the transports'
//    retry rules look at, and a text with context for bug reports.
//  - Handles are opaque, pointer-sized and never equal invalidHandle().
//    A handle that the backend does not know fails with InvalidParameter.
#pragma once

#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

namespace qvp {

using Handle = void*;

inline Handle invalidHandle() { return reinterpret_cast<Handle>(static_cast<intptr_t>(-1)); }

enum class ErrorKind {
    None,
    Timeout,           // the device did not answer in time (semaphore time-out)
    InvalidParameter,  // the request was refused as malformed (bad report id, length, code)
    NotFound,          // no such device, or it went away
    Other,
};

struct Error {
    ErrorKind kind = ErrorKind::None;
    std::string text;
};

// The last failure recorded on the calling thread. Successful calls leave it alone.
const Error& lastError();
void setLastError(ErrorKind kind, std::string text);
void clearLastError();
// How many failures setLastError has recorded on the calling thread. Whether it
// changed across a sequence of calls tells whether lastError() is a reason from
// that sequence or an older one.
uint64_t failureCount();
const char* errorKindName(ErrorKind kind);

// What a path is opened as: decides access rights and the calls allowed on the handle.
enum class DeviceKind { Hid, Serial, Driver };

enum class Parity : uint8_t { None, Odd, Even };
enum class StopBits : uint8_t { One, Two };

struct SerialConfig {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool ctsFlow = false;   // CTS output flow control
    bool dsrFlow = false;   // DSR output flow control
    bool dtr = false;       // DTR line on
    bool rts = false;       // RTS line on
    bool abortOnError = false;
};

// Read and write time-outs in ms, with the usual serial-port meaning:
// a read returns when the requested bytes arrived, when readInterval passed
// between two bytes (0: not used), or when readConstant + readMultiplier x n
// passed since the read began, with whatever arrived by then.
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;
    uint32_t writeMultiplier = 0;
    uint32_t writeConstant = 0;
};

// Event mask bit for serialSetEventMask: a character was received.
constexpr uint32_t kSerialEventRxChar = 0x0001;

// One present HID device interface, as the library's enumeration needs it.
struct HidInterface {
    std::string path;              // what open() takes (Linux: "/dev/hidrawN")
    std::string name;              // identity text of the HID device (Linux: HID_NAME of its uevent)
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool hasParent = false;        // a USB parent device was found
    // Instance identity of the USB parent, in the form the library's key and
    // location rules read: "USB\VID_2E7B&PID_6020\<instance>", where <instance> is
    // the device's serial number when it has one, else "<bus>&<port>&<port>..."
    // (Linux: busnum, then the port numbers of devpath).
    std::string parentInstanceId;
    bool hasManufacturer = false;
    std::string parentManufacturer;  // the USB parent's manufacturer text
    int inputReportLength = -1;      // bytes of the longest input report + 1 for the id byte; -1 unknown
};

// A device arrival or removal of one interface class.
struct DeviceChange {
    bool arrival = true;
    // The interface's name in the form the library classifies (lower or upper case):
    // "usb#vid_2e7b&pid_6020#<instance>" for USB devices.
    std::string name;
};

// Interface classes a caller can subscribe to: the maker's driver's two
// classes, and the system's USB device class.
enum class InterfaceClass { DriverA = 0, DriverB = 1, UsbDevice = 2 };

using DeviceChangeHandler = std::function<void(const DeviceChange&)>;

// A wake-up that a waiting platform call watches: set() ends the wait. The
// waiting backend installs a hook that set() calls (one at a time), so it can
// end a wait of its own kind (an eventfd, a condition variable).
class Wakeup {
public:
    void set();
    void reset();
    bool isSet() const;
    // hook() is called by set(), and at once when the wake-up is set already;
    // it must not call back into this wake-up.
    void setHook(std::function<void()> hook);
    void clearHook();
    // Waits in real time until set or ms passed; true when set.
    bool waitFor(uint32_t ms);

private:
    mutable std::mutex mutex_;  // set_
    std::condition_variable cv_;
    bool set_ = false;
    std::mutex hookMutex_;  // hook_, held while it runs
    std::function<void()> hook_;
};

// How a wait ended.
enum class WaitEnd { Done, Woken, Failed };

// What the platform tells about one node that delivers input reports.
struct InputNode {
    std::string path;              // the node (Linux: "/dev/hidrawN")
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool touchScreen = false;      // an application collection of usage page 0x0D, usage 0x04
    bool usesReportIds = false;    // its descriptor declares report ids
    bool hasFeatureReport = false; // its descriptor declares a feature report
    bool hasParent = false;
    std::string parentInstanceId;  // the USB parent's identity (as HidInterface::parentInstanceId)
};

// One input report, its report-id byte first (0 put in front when the node
// uses no report ids, so packets always start at offset 1).
struct InputReport {
    std::string path;
    std::vector<uint8_t> bytes;
};

// The input reports of the maker's touch-screen nodes (vendor 0x2E7B), as one
// stream. next() waits until reports arrive, the set of nodes changed, or
// wake() was called.
class InputReportSource {
public:
    virtual ~InputReportSource() = default;
    // Done: *reports holds what arrived (may be empty), *nodesChanged whether
    // a node came or went since the last call. Woken: wake() was called (it
    // stays woken). Failed: the source cannot go on (reason in lastError()).
    virtual WaitEnd next(std::vector<InputReport>* reports, bool* nodesChanged) = 0;
    virtual void wake() = 0;
    // The facts of a node the source reads; false when it reads none at path.
    virtual bool node(const std::string& path, InputNode* out) = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;

    virtual Handle open(const std::string& path, DeviceKind kind) = 0;
    virtual bool close(Handle h) = 0;
    // Whether a serial port's path can be opened for reading now: opened and
    // closed again at once, without taking the port or changing its settings.
    // false with the reason in lastError().
    virtual bool testOpenSerial(const std::string& path) {
        const Handle h = open(path, DeviceKind::Serial);
        if (h == invalidHandle()) return false;
        close(h);
        return true;
    }

    // HID feature and output reports; report[0] is the report id.
    virtual bool hidSetFeature(Handle h, const uint8_t* report, size_t len) = 0;
    virtual bool hidGetFeature(Handle h, uint8_t* report, size_t len) = 0;
    virtual bool hidSetOutput(Handle h, const uint8_t* report, size_t len) = 0;
    // Bytes of the longest output report of an open HID device, the report-id
    // byte included; -1 when the device does not say (or h is no HID device).
    virtual int hidOutputReportLength(Handle h) {
        (void)h;
        return -1;
    }

    // Kernel-driver I/O control. *returned gets the number of output bytes.
    virtual bool driverIoctl(Handle h, uint32_t code, const void* in, size_t inLen, void* out,
                             size_t outLen, uint32_t* returned) = 0;

    // Serial ports.
    virtual bool serialGetConfig(Handle h, SerialConfig* cfg) = 0;
    virtual bool serialSetConfig(Handle h, const SerialConfig& cfg) = 0;
    virtual bool serialGetTimeouts(Handle h, SerialTimeouts* t) = 0;
    virtual bool serialSetTimeouts(Handle h, const SerialTimeouts& t) = 0;
    virtual bool serialSetEventMask(Handle h, uint32_t mask) = 0;
    // Drops everything queued in both directions.
    virtual bool serialPurge(Handle h) = 0;
    // Drops what was received and not read yet; what is being sent still goes out.
    virtual bool serialPurgeInput(Handle h) { return serialPurge(h); }
    virtual bool serialWrite(Handle h, const uint8_t* data, size_t len, size_t* written) = 0;
    // Waits by the handle's time-outs; true with *got < len is a time-out, not a failure.
    virtual bool serialRead(Handle h, uint8_t* data, size_t len, size_t* got) = 0;

    // Waits until a serial port has bytes to read, or stop is set. Done: bytes
    // are there; Woken: stop; Failed: the port failed (gone, closed).
    virtual WaitEnd serialWaitReadable(Handle h, Wakeup& stop) {
        (void)h;
        (void)stop;
        setLastError(ErrorKind::Other, "serialWaitReadable: not supported by this backend");
        return WaitEnd::Failed;
    }
    // A driver I/O control that stays pending until the driver completes it (a
    // notify wait); stop cancels it. Done: *returned output bytes are in out.
    virtual WaitEnd driverIoctlWait(Handle h, uint32_t code, void* out, size_t outLen, uint32_t* returned,
                                    Wakeup& stop) {
        (void)h, (void)code, (void)out, (void)outLen, (void)returned, (void)stop;
        setLastError(ErrorKind::NotFound, "driverIoctlWait: no kernel driver on this platform");
        return WaitEnd::Failed;
    }
    // The input reports of the touch-screen nodes; nullptr (reason in lastError())
    // when none can be read here.
    virtual std::unique_ptr<InputReportSource> openInputReports() {
        setLastError(ErrorKind::Other, "openInputReports: not supported by this backend");
        return nullptr;
    }

    // ---- devices present ----
    // The present HID device interfaces, in the system's order. false: no list could be had.
    virtual bool listHidInterfaces(std::vector<HidInterface>* out) = 0;
    // The machine's serial ports, as paths for open(), in order (Linux: /dev/ttyS*,
    // ttyUSB*, ttyACM* that exist, then the ports named in QV_SERIAL_PORTS).
    virtual bool listSerialPorts(std::vector<std::string>* out) = 0;
    // The instance identity of the parent device of a HID interface path.
    virtual bool parentInstanceId(const std::string& interfacePath, std::string* out) = 0;

    // The facts of the HID node at path (an interface path of listHidInterfaces),
    // any node, touch screen or not. false (reason in lastError()) when there is none.
    virtual bool hidNodeFacts(const std::string& path, InputNode* out) {
        (void)path;
        (void)out;
        setLastError(ErrorKind::Other, "hidNodeFacts: not supported by this backend");
        return false;
    }
    // The USB devices of a vendor by their device path (Linux: the device's sysfs
    // directory), in the system's order. false: no list could be had.
    virtual bool listUsbDevices(uint16_t vendorId, std::vector<std::string>* out) {
        (void)vendorId;
        out->clear();
        return true;
    }
    // The HID interface paths (what open() takes) of the HID devices under a USB
    // device path of listUsbDevices, in order. false when the USB device is not there.
    virtual bool usbHidChildren(const std::string& usbPath, std::vector<std::string>* out) {
        out->clear();
        setLastError(ErrorKind::NotFound, "usbHidChildren " + usbPath + ": not supported by this backend");
        return false;
    }

    // ---- settings store (the driver's service keys) ----
    virtual bool readSettingString(const std::string& key, const std::string& value, std::string* out) = 0;
    virtual bool readSettingDword(const std::string& key, const std::string& value, uint32_t* out) = 0;

    // ---- device change ----
    // Calls handler (on a backend thread) for every arrival and removal of the
    // class until unsubscribed. Returns a token, nullptr on failure.
    virtual void* subscribeDeviceChanges(InterfaceClass cls, DeviceChangeHandler handler) = 0;
    // After it returns, the handler is not running and will not be called again.
    virtual void unsubscribeDeviceChanges(void* token) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepMs(uint32_t ms) = 0;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual uint32_t tickCount() = 0;
    // The local time of day that log lines carry. By default the system's; the
    // simulator's virtual clock gives its own time since it started, so runs on
    // it log the same times.
    struct TimeOfDay {
        int hour = 0, minute = 0, second = 0;
    };
    virtual TimeOfDay timeOfDay();
};

// For backends: false (with the reason in lastError()) when a subscription asks
// for no handler or an unknown interface class.
bool checkSubscription(InterfaceClass cls, const DeviceChangeHandler& handler);

// The active backend and clock. Chosen once at library load (selectFromEnvironment);
// tests may replace either.
Backend& backend();
Clock& clock();
void setBackend(std::shared_ptr<Backend> b);
void setClock(std::shared_ptr<Clock> c);
std::shared_ptr<Backend> currentBackend();
std::shared_ptr<Clock> currentClock();

// QV_SIM set (to a profile name or a profile file) selects the sim backend with
// those controllers and its virtual clock; otherwise the linux backend and the
// real clock. Returns false, with the reason in lastError(), when QV_SIM names a
// profile that cannot be loaded (an empty simulated bench is used then, so no
// real device stands in for the simulated ones), or when the build has no
// simulator (real devices are used then).
bool selectFromEnvironment();

std::shared_ptr<Backend> makeLinuxBackend();
std::shared_ptr<Clock> makeRealClock();

inline void sleepMs(uint32_t ms) { clock().sleepMs(ms); }
inline uint32_t tickCount() { return clock().tickCount(); }

}  // namespace qvp
