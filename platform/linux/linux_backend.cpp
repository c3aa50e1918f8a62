// The linux backend: HID devices through hidraw nodes, serial ports through
// termios; device lists from sysfs and device changes from udev
// (linux_devices.cpp, linux_device_change.cpp). There are no kernel-driver
// devices on Linux, and so no driver settings store either.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "handle_registry.h"
#include "hidraw/hidraw_ioctl.h"
#include "serial_state.h"
#include "linux_backend.h"
#include "platform/platform.h"

namespace qvp {

namespace {

std::string errnoText(int err) {
    char buf[128];
    // GNU strerror_r: returns the text, which need not be buf.
    return strerror_r(err, buf, sizeof buf);
}

ErrorKind kindFromErrno(int err) {
    switch (err) {
        case ETIMEDOUT: return ErrorKind::Timeout;
        case EINVAL: return ErrorKind::InvalidParameter;
        case ENOENT:
        case ENODEV:
        case ENXIO: return ErrorKind::NotFound;
        default: return ErrorKind::Other;
    }
}

// Records a failed system call as "<what> <path>: <strerror>".
bool failErrno(const char* what, const std::string& path, int err) {
    setLastError(kindFromErrno(err), std::string(what) + " " + path + ": " + errnoText(err));
    return false;
}

bool fail(ErrorKind kind, std::string text) {
    setLastError(kind, std::move(text));
    return false;
}

using Steady = std::chrono::steady_clock;

// Waits until fd is ready for events, or until the deadline (none: no limit).
// Returns poll()'s result: 0 when the deadline passed, -1 with errno on failure.
int waitReady(int fd, short events, const std::optional<Steady::time_point>& until, short* revents) {
    timespec ts{};
    timespec* limit = nullptr;
    if (until) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(*until - Steady::now()).count();
        if (left <= 0) return 0;
        ts.tv_sec = static_cast<time_t>(left / 1000000000);
        ts.tv_nsec = static_cast<long>(left % 1000000000);
        limit = &ts;
    }
    pollfd p{fd, events, 0};
    const int r = ::ppoll(&p, 1, limit, nullptr);
    *revents = p.revents;
    return r;
}

// One open file; the descriptor is closed when the last call holding it ends.
struct OpenFile {
    OpenFile(int fd_, std::string path_) : fd(fd_), path(std::move(path_)) {}
    virtual ~OpenFile() { ::close(fd); }
    const int fd;
    const std::string path;
};

struct HidNode : OpenFile {
    HidNode(int fd_, std::string path_, bool writable_)
        : OpenFile(fd_, std::move(path_)), writable(writable_) {}
    const bool writable;  // false: opened read-only, output reports cannot be written
};

// The state's mutex also guards the fields here and serialises set-up calls.
struct SerialPort : OpenFile, detail::SerialPortState {
    using OpenFile::OpenFile;
    // What termios cannot hold, and the modem lines of a port that has none (a pty).
    bool abortOnError = false;
    bool dtr = false;
    bool rts = false;
};

// ---- HID ----

// The feature ioctls carry the length in the request number, in a field of this many bits.
constexpr size_t kMaxHidReport = (size_t{1} << _IOC_SIZEBITS) - 1;

bool checkReport(const char* call, const void* report, size_t len) {
    if (!report || len == 0)
        return fail(ErrorKind::InvalidParameter, std::string(call) + ": empty report");
    if (len > kMaxHidReport)
        return fail(ErrorKind::InvalidParameter,
                    std::string(call) + ": report of " + std::to_string(len) + " bytes is longer than " +
                        std::to_string(kMaxHidReport));
    return true;
}

bool checkTransferred(const char* what, const std::string& path, long done, size_t len) {
    if (done < 0) return failErrno(what, path, errno);
    if (static_cast<size_t>(done) != len)
        return fail(ErrorKind::Other, std::string(what) + " " + path + ": short transfer (" +
                                          std::to_string(done) + " of " + std::to_string(len) + " bytes)");
    return true;
}

// The node's report descriptor, as the kernel keeps it.
bool readReportDescriptor(const HidNode& node, std::vector<uint8_t>* out) {
    qvhidraw::Failure why;
    if (qvhidraw::readReportDescriptor(node.fd, node.path, out, &why)) return true;
    return fail(why.err ? kindFromErrno(why.err) : ErrorKind::Other, std::move(why.text));
}

int openHidNode(const std::string& path, bool* writable) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    *writable = fd >= 0;
    // Without write permission the feature ioctls still work on a read-only descriptor.
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd;
}

// ---- serial ----

struct BaudEntry {
    uint32_t baud;
    speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool speedForBaud(uint32_t baud, speed_t* speed) {
    for (const auto& e : kBauds)
        if (e.baud == baud) {
            *speed = e.speed;
            return true;
        }
    return false;
}

bool baudForSpeed(speed_t speed, uint32_t* baud) {
    for (const auto& e : kBauds)
        if (e.speed == speed) {
            *baud = e.baud;
            return true;
        }
    return false;
}

tcflag_t sizeFlag(uint8_t dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

uint8_t dataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5: return 5;
        case CS6: return 6;
        case CS7: return 7;
        default: return 8;
    }
}

// A pseudo-terminal has no modem lines and refuses their ioctls; such a port
// still works as a port, so only these errors are forgiven, and only for DTR/RTS.
bool noModemLines(int err) { return err == ENOTTY || err == EINVAL; }

bool setModemLine(SerialPort& port, int bit, bool on, const char* what) {
    int bits = bit;
    if (ioctl(port.fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || noModemLines(errno)) return true;
    return failErrno(what, port.path, errno);
}

// A hung-up port (unplugged adapter, closed pty master) answers EIO: the device went away.
bool failSerialErrno(const char* what, const std::string& path, int err) {
    if (err == EIO)
        return fail(ErrorKind::NotFound, std::string(what) + " " + path + ": " + errnoText(err) + " (port hung up)");
    return failErrno(what, path, err);
}

bool noSettingsStore(const char* call, const std::string& key, const std::string& value) {
    return fail(ErrorKind::NotFound, std::string(call) + " " + key + " \"" + value +
                                         "\": there is no driver settings store on Linux");
}

// "/dev/" -> "/dev": paths are formed as root + "/" + name.
std::string withoutTrailingSlash(std::string root) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

class LinuxBackend final : public Backend {
public:
    LinuxBackend(const std::string& sysfsRoot, const std::string& devRoot)
        : sysfsRoot_(withoutTrailingSlash(sysfsRoot)),
          devRoot_(withoutTrailingSlash(devRoot)),
          changes_(linuxdev::startUdevSource) {}

    const char* name() const override { return "linux"; }

    Handle open(const std::string& path, DeviceKind kind) override {
        switch (kind) {
            case DeviceKind::Hid: return openHid(path);
            case DeviceKind::Serial: return openSerial(path);
            case DeviceKind::Driver:
                setLastError(ErrorKind::NotFound,
                             "open " + path + ": there are no kernel-driver devices on Linux");
                return invalidHandle();
        }
        setLastError(ErrorKind::InvalidParameter, "open " + path + ": unknown device kind");
        return invalidHandle();
    }

    bool testOpenSerial(const std::string& path) override {
        // Read-only, not as the controlling terminal, not waiting for carrier: the
        // test neither takes the port nor blocks on a line that is down.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return failErrno("open", path, errno);
        ::close(fd);
        return true;
    }

    bool close(Handle h) override {
        if (!registry_.remove(h))
            return fail(ErrorKind::InvalidParameter, "close: unknown handle " + detail::handleText(h));
        return true;
    }

    bool hidSetFeature(Handle h, const uint8_t* report, size_t len) override {
        auto node = hid(h, "hidSetFeature");
        if (!node || !checkReport("hidSetFeature", report, len)) return false;
        // The kernel only reads the buffer for a set; the request is declared read-write.
        const int done = ioctl(node->fd, HIDIOCSFEATURE(len), const_cast<uint8_t*>(report));
        return checkTransferred("ioctl (HIDIOCSFEATURE)", node->path, done, len);
    }

    bool hidGetFeature(Handle h, uint8_t* report, size_t len) override {
        auto node = hid(h, "hidGetFeature");
        if (!node || !checkReport("hidGetFeature", report, len)) return false;
        const int done = ioctl(node->fd, HIDIOCGFEATURE(len), report);
        return checkTransferred("ioctl (HIDIOCGFEATURE)", node->path, done, len);
    }

    bool hidSetOutput(Handle h, const uint8_t* report, size_t len) override {
        auto node = hid(h, "hidSetOutput");
        if (!node || !checkReport("hidSetOutput", report, len)) return false;
        if (!node->writable)
            return fail(ErrorKind::Other, "write (output report) " + node->path +
                                              ": opened read-only, no write permission");
        ssize_t done;
        do done = ::write(node->fd, report, len);
        while (done < 0 && errno == EINTR);
        return checkTransferred("write (output report)", node->path, done, len);
    }

    int hidOutputReportLength(Handle h) override {
        auto node = hid(h, "hidOutputReportLength");
        if (!node) return -1;
        std::vector<uint8_t> descriptor;
        if (!readReportDescriptor(*node, &descriptor)) return -1;
        std::string why;
        const int length = linuxdev::outputReportLength(descriptor.data(), descriptor.size(), &why);
        if (length < 0) fail(ErrorKind::Other, "hidOutputReportLength " + node->path + ": " + why);
        return length;
    }

    bool driverIoctl(Handle h, uint32_t code, const void*, size_t, void*, size_t, uint32_t*) override {
        return fail(ErrorKind::InvalidParameter, "driverIoctl (code " + std::to_string(code) + "): handle " +
                                                     detail::handleText(h) +
                                                     " is not a kernel-driver device (none exist on Linux)");
    }

    bool serialGetConfig(Handle h, SerialConfig* cfg) override {
        auto port = serial(h, "serialGetConfig");
        if (!port) return false;
        if (!cfg) return fail(ErrorKind::InvalidParameter, "serialGetConfig: no config to fill");
        termios tio{};
        if (tcgetattr(port->fd, &tio) != 0) return failErrno("tcgetattr", port->path, errno);
        SerialConfig out;
        if (!baudForSpeed(cfgetospeed(&tio), &out.baud))
            return fail(ErrorKind::Other, "tcgetattr " + port->path + ": line speed is not a standard baud rate");
        out.dataBits = dataBitsOf(tio.c_cflag);
        out.parity = !(tio.c_cflag & PARENB) ? Parity::None : (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
        out.stopBits = (tio.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
        out.ctsFlow = (tio.c_cflag & CRTSCTS) != 0;
        out.dsrFlow = false;  // Linux has no DSR flow control

        std::lock_guard lock(port->mutex);
        out.abortOnError = port->abortOnError;
        int bits = 0;
        if (ioctl(port->fd, TIOCMGET, &bits) == 0) {
            out.dtr = (bits & TIOCM_DTR) != 0;
            out.rts = (bits & TIOCM_RTS) != 0;
        } else if (noModemLines(errno)) {
            out.dtr = port->dtr;
            out.rts = port->rts;
        } else {
            return failErrno("ioctl (TIOCMGET)", port->path, errno);
        }
        *cfg = out;
        return true;
    }

    bool serialSetConfig(Handle h, const SerialConfig& cfg) override {
        auto port = serial(h, "serialSetConfig");
        if (!port) return false;
        if (!detail::checkSerialConfig(port->path, cfg)) return false;
        const std::string where = "serialSetConfig " + port->path + ": ";
        speed_t speed;
        if (!speedForBaud(cfg.baud, &speed))
            return fail(ErrorKind::InvalidParameter, where + "no standard line speed for " +
                                                         std::to_string(cfg.baud) + " baud");
        if (cfg.dsrFlow)
            return fail(ErrorKind::InvalidParameter, where + "DSR output flow control is not available on Linux");

        std::lock_guard lock(port->mutex);
        termios before{};
        if (tcgetattr(port->fd, &before) != 0) return failErrno("tcgetattr", port->path, errno);
        termios tio = before;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= sizeFlag(cfg.dataBits) | CLOCAL | CREAD;
        if (cfg.parity != Parity::None) tio.c_cflag |= PARENB;
        if (cfg.parity == Parity::Odd) tio.c_cflag |= PARODD;
        if (cfg.stopBits == StopBits::Two) tio.c_cflag |= CSTOPB;
        if (cfg.ctsFlow) tio.c_cflag |= CRTSCTS;
        if (tcsetattr(port->fd, TCSANOW, &tio) != 0) return failErrno("tcsetattr", port->path, errno);

        // tcsetattr succeeds when any part of the request was taken; check that all of it was.
        termios now{};
        if (tcgetattr(port->fd, &now) != 0) return failErrno("tcgetattr", port->path, errno);
        const tcflag_t checked = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
        if (cfgetospeed(&now) != speed || (now.c_cflag & checked) != (tio.c_cflag & checked)) {
            // Put back what was there, so a refused call changes nothing.
            tcsetattr(port->fd, TCSANOW, &before);
            return fail(ErrorKind::InvalidParameter, where + "the port does not take these line settings");
        }

        if (!setModemLine(*port, TIOCM_DTR, cfg.dtr, "ioctl (DTR)")) return false;
        if (!setModemLine(*port, TIOCM_RTS, cfg.rts, "ioctl (RTS)")) return false;
        port->dtr = cfg.dtr;
        port->rts = cfg.rts;
        port->abortOnError = cfg.abortOnError;
        return true;
    }

    bool serialGetTimeouts(Handle h, SerialTimeouts* t) override {
        auto port = serial(h, "serialGetTimeouts");
        return port && detail::getSerialTimeouts(*port, t);
    }

    bool serialSetTimeouts(Handle h, const SerialTimeouts& t) override {
        auto port = serial(h, "serialSetTimeouts");
        if (!port) return false;
        detail::setSerialTimeouts(*port, t);
        return true;
    }

    bool serialSetEventMask(Handle h, uint32_t mask) override {
        auto port = serial(h, "serialSetEventMask");
        return port && detail::setSerialEventMask(*port, port->path, mask);
    }

    bool serialPurge(Handle h) override {
        auto port = serial(h, "serialPurge");
        if (!port) return false;
        if (tcflush(port->fd, TCIOFLUSH) != 0) return failErrno("tcflush", port->path, errno);
        return true;
    }

    bool serialPurgeInput(Handle h) override {
        auto port = serial(h, "serialPurgeInput");
        if (!port) return false;
        if (tcflush(port->fd, TCIFLUSH) != 0) return failErrno("tcflush", port->path, errno);
        return true;
    }

    bool serialWrite(Handle h, const uint8_t* data, size_t len, size_t* written) override {
        size_t ignored;
        if (!written) written = &ignored;
        *written = 0;
        auto port = serial(h, "serialWrite");
        if (!port) return false;
        if (!data && len) return fail(ErrorKind::InvalidParameter, "serialWrite: no data");
        const SerialTimeouts t = detail::currentSerialTimeouts(*port);
        std::optional<Steady::time_point> deadline;
        if (t.writeConstant || t.writeMultiplier)
            deadline = Steady::now() + std::chrono::milliseconds(uint64_t{t.writeConstant} +
                                                                 uint64_t{t.writeMultiplier} * len);
        size_t done = 0;
        while (done < len) {
            const ssize_t n = ::write(port->fd, data + done, len - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                *written = done;
                return failSerialErrno("write", port->path, errno);
            }
            // The output queue is full: wait for room, within the write time-out.
            short revents = 0;
            const int r = waitReady(port->fd, POLLOUT, deadline, &revents);
            if (r == 0) {
                *written = done;
                return fail(ErrorKind::Timeout, "write " + port->path + ": time-out after " +
                                                    std::to_string(done) + " of " + std::to_string(len) + " bytes");
            }
            if (r < 0 && errno != EINTR) {
                *written = done;
                return failErrno("poll", port->path, errno);
            }
        }
        *written = done;
        return true;
    }

    bool serialRead(Handle h, uint8_t* data, size_t len, size_t* got) override {
        size_t ignored;
        if (!got) got = &ignored;
        *got = 0;
        auto port = serial(h, "serialRead");
        if (!port) return false;
        if (!data && len) return fail(ErrorKind::InvalidParameter, "serialRead: no buffer");
        const SerialTimeouts t = detail::currentSerialTimeouts(*port);
        const auto start = Steady::now();
        const auto deadline =
            start + std::chrono::milliseconds(uint64_t{t.readConstant} + uint64_t{t.readMultiplier} * len);
        auto lastByte = start;

        size_t done = 0;
        while (done < len) {
            // The descriptor never blocks (O_NONBLOCK, VMIN 0): 0 or EAGAIN means nothing queued.
            const ssize_t n = ::read(port->fd, data + done, len - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                lastByte = Steady::now();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                *got = done;
                return failSerialErrno("read", port->path, errno);
            }
            auto until = deadline;
            if (t.readInterval && done > 0)
                until = std::min(until, lastByte + std::chrono::milliseconds(t.readInterval));
            short revents = 0;
            const int r = waitReady(port->fd, POLLIN, until, &revents);
            if (r == 0) break;  // time-out: return what arrived
            if (r < 0) {
                if (errno == EINTR) continue;
                *got = done;
                return failErrno("poll", port->path, errno);
            }
            if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
                // Bytes queued before a hang-up are still delivered; after them the
                // port reads nothing forever while poll() keeps reporting it.
                const ssize_t m = ::read(port->fd, data + done, len - done);
                if (m > 0) {
                    done += static_cast<size_t>(m);
                    lastByte = Steady::now();
                    continue;
                }
                *got = done;
                return fail(ErrorKind::NotFound, "read " + port->path + ": port hung up");
            }
        }
        *got = done;
        return true;
    }

    WaitEnd serialWaitReadable(Handle h, Wakeup& stop) override {
        auto port = serial(h, "serialWaitReadable");
        if (!port) return WaitEnd::Failed;
        const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) {
            failErrno("eventfd", port->path, errno);
            return WaitEnd::Failed;
        }
        stop.setHook([wakeFd] {
            const uint64_t one = 1;
            while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
            }
        });
        WaitEnd end = WaitEnd::Woken;
        for (;;) {
            pollfd fds[2] = {{port->fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            const int r = ::poll(fds, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                failErrno("poll", port->path, errno);
                end = WaitEnd::Failed;
            } else if (fds[1].revents) {
                end = WaitEnd::Woken;
            } else if (fds[0].revents & POLLIN) {
                end = WaitEnd::Done;
            } else {
                fail(ErrorKind::NotFound, "wait for input " + port->path + ": port hung up");
                end = WaitEnd::Failed;
            }
            break;
        }
        stop.clearHook();
        ::close(wakeFd);
        return end;
    }

    std::unique_ptr<InputReportSource> openInputReports() override {
        return linuxdev::openLinuxInputReports(sysfsRoot_, devRoot_);
    }

    // ---- devices present: read from sysfs ----
    bool listHidInterfaces(std::vector<HidInterface>* out) override {
        return linuxdev::listHidInterfaces(sysfsRoot_, devRoot_, out);
    }

    bool listSerialPorts(std::vector<std::string>* out) override {
        return linuxdev::listSerialPorts(sysfsRoot_, devRoot_, out);
    }

    bool parentInstanceId(const std::string& interfacePath, std::string* out) override {
        return linuxdev::parentInstanceId(sysfsRoot_, devRoot_, interfacePath, out);
    }

    bool hidNodeFacts(const std::string& path, InputNode* out) override {
        return linuxdev::hidNodeFacts(sysfsRoot_, devRoot_, path, out);
    }

    bool listUsbDevices(uint16_t vendorId, std::vector<std::string>* out) override {
        return linuxdev::listUsbDevices(sysfsRoot_, vendorId, out);
    }

    bool usbHidChildren(const std::string& usbPath, std::vector<std::string>* out) override {
        return linuxdev::usbHidChildren(sysfsRoot_, devRoot_, usbPath, out);
    }

    // ---- settings store: the driver's service keys exist only where its kernel driver runs ----
    bool readSettingString(const std::string& key, const std::string& value, std::string*) override {
        return noSettingsStore("readSettingString", key, value);
    }

    bool readSettingDword(const std::string& key, const std::string& value, uint32_t*) override {
        return noSettingsStore("readSettingDword", key, value);
    }

    // ---- device change ----
    void* subscribeDeviceChanges(InterfaceClass cls, DeviceChangeHandler handler) override {
        return changes_.subscribe(cls, std::move(handler));
    }

    void unsubscribeDeviceChanges(void* token) override { changes_.unsubscribe(token); }

private:
    std::shared_ptr<HidNode> hid(Handle h, const char* call) {
        return registry_.findAs<HidNode>(h, call, "a HID device");
    }
    std::shared_ptr<SerialPort> serial(Handle h, const char* call) {
        return registry_.findAs<SerialPort>(h, call, "a serial port");
    }

    Handle openHid(const std::string& path) {
        bool writable = false;
        const int fd = openHidNode(path, &writable);
        if (fd < 0) {
            failErrno("open", path, errno);
            return invalidHandle();
        }
        return registry_.add(std::make_shared<HidNode>(fd, path, writable));
    }

    Handle openSerial(const std::string& path) {
        // O_NONBLOCK keeps open from waiting for carrier, and stays on: every wait
        // for the line is a poll() bounded by the handle's time-outs.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            failErrno("open", path, errno);
            return invalidHandle();
        }
        auto port = std::make_shared<SerialPort>(fd, path);  // owns fd from here on
        // The port is not shared: no other process may open it while we hold it.
        if (ioctl(fd, TIOCEXCL) != 0) {
            failErrno("ioctl (TIOCEXCL)", path, errno);
            return invalidHandle();
        }
        termios tio{};
        if (tcgetattr(fd, &tio) != 0) {
            failErrno("tcgetattr", path, errno);
            return invalidHandle();
        }
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            failErrno("tcsetattr", path, errno);
            return invalidHandle();
        }
        int bits = 0;
        if (ioctl(fd, TIOCMGET, &bits) == 0) {
            port->dtr = (bits & TIOCM_DTR) != 0;
            port->rts = (bits & TIOCM_RTS) != 0;
        }
        return registry_.add(std::move(port));
    }

    const std::string sysfsRoot_;
    const std::string devRoot_;
    detail::HandleRegistry<OpenFile> registry_;
    linuxdev::DeviceChangeHub changes_;
};

}  // namespace

std::shared_ptr<Backend> makeLinuxBackend(const std::string& sysfsRoot, const std::string& devRoot) {
    return std::make_shared<LinuxBackend>(sysfsRoot, devRoot);
}

std::shared_ptr<Backend> makeLinuxBackend() { return makeLinuxBackend("/sys", "/dev"); }

}  // namespace qvp
