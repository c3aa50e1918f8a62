// Device arrivals and removals on Linux: udev's usb_device and hidraw events,
// turned into the names the library classifies, and handed to the subscribers
// of the USB device class.
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <thread>

#include "linux_backend.h"

namespace qvp::linuxdev {

namespace {

const std::string& property(const UdevProperties& props, const char* key) {
    static const std::string empty;
    auto it = props.find(key);
    return it == props.end() ? empty : it->second;
}

bool parseHexId(const std::string& s, uint16_t* out) { return s.size() <= 4 && parseHex16(s, out); }

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (true) {
        const size_t at = s.find(sep, pos);
        parts.push_back(s.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
        if (at == std::string::npos) return parts;
        pos = at + 1;
    }
}

bool digitsOnly(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A USB device's kernel name: "<bus>-<port>.<port>..." ("2-1.4"), or "usb<bus>"
// for a root hub, whose devpath is "0".
bool parseUsbDeviceName(const std::string& name, std::string* bus, std::string* devpath) {
    if (name.compare(0, 3, "usb") == 0 && digitsOnly(name.substr(3))) {
        *bus = name.substr(3);
        *devpath = "0";
        return true;
    }
    const size_t dash = name.find('-');
    if (dash == std::string::npos || !digitsOnly(name.substr(0, dash))) return false;
    const std::string ports = name.substr(dash + 1);
    for (const auto& port : split(ports, '.'))
        if (!digitsOnly(port)) return false;
    *bus = name.substr(0, dash);
    *devpath = ports;
    return true;
}

constexpr uint16_t kBusUsb = 0x0003;  // the kernel's BUS_USB, as in HID device names

struct UsbIdentity {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string instance;
};

// From a usb_device's properties: PRODUCT ("<vid>/<pid>/<bcd>" in hex, from the
// kernel) or udev's ID_VENDOR_ID and ID_MODEL_ID; the serial from udev's
// ID_SERIAL_SHORT, the bus and ports from the device's name at the end of DEVPATH.
bool identityFromUsbProperties(const UdevProperties& usb, UsbIdentity* id) {
    const auto product = split(property(usb, "PRODUCT"), '/');
    if (!(product.size() >= 2 && parseHexId(product[0], &id->vendor) && parseHexId(product[1], &id->product)) &&
        !(parseHexId(property(usb, "ID_VENDOR_ID"), &id->vendor) &&
          parseHexId(property(usb, "ID_MODEL_ID"), &id->product)))
        return false;
    const std::string& devpath = property(usb, "DEVPATH");
    std::string bus, ports;
    if (!parseUsbDeviceName(devpath.substr(devpath.rfind('/') + 1), &bus, &ports)) bus.clear();
    id->instance = usbInstance(property(usb, "ID_SERIAL_SHORT"), bus, ports);
    return !id->instance.empty();
}

// What a hidraw node's DEVPATH names:
// ".../usb2/2-1/2-1.4/2-1.4:1.0/0003:2E7B:6020.0003/hidraw/hidraw2" holds the HID
// device (bus:vendor:product.instance, all hex) and, above it, its USB device.
struct HidrawPath {
    bool hidFound = false;
    uint16_t hidBus = 0, vendor = 0, product = 0;
    bool usbFound = false;
    std::string usbBus, ports;  // of the nearest USB device above the HID device
};

HidrawPath parseHidrawPath(const std::string& devpath) {
    HidrawPath out;
    for (const auto& part : split(devpath, '/')) {
        // Exactly "BBBB:VVVV:PPPP.N...": PCI addresses ("0000:00:14.0") look alike.
        const auto fields = split(part, ':');
        uint16_t bus, vendor, product;
        if (fields.size() == 3 && fields[0].size() == 4 && fields[1].size() == 4 && fields[2].size() > 5 &&
            fields[2][4] == '.' && parseHexId(fields[0], &bus) && parseHexId(fields[1], &vendor) &&
            parseHexId(fields[2].substr(0, 4), &product) &&
            fields[2].find_first_not_of("0123456789abcdefABCDEF", 5) == std::string::npos) {
            out.hidFound = true;
            out.hidBus = bus;
            out.vendor = vendor;
            out.product = product;
            continue;
        }
        std::string usbBus, usbPorts;
        if (!out.hidFound && part.compare(0, 3, "usb") != 0 && parseUsbDeviceName(part, &usbBus, &usbPorts)) {
            out.usbFound = true;
            out.usbBus = usbBus;
            out.ports = usbPorts;
        }
    }
    return out;
}

std::string changeName(const UsbIdentity& id) {
    char head[32];
    std::snprintf(head, sizeof head, "usb#vid_%04x&pid_%04x#", id.vendor, id.product);
    return head + id.instance;
}

}  // namespace

std::optional<DeviceChange> deviceChangeFromUdev(const UdevProperties& event, const UdevProperties& usbParent) {
    const std::string& action = property(event, "ACTION");
    DeviceChange change;
    if (action == "add") change.arrival = true;
    else if (action == "remove") change.arrival = false;
    else return std::nullopt;  // change, bind, unbind, move: the device stays

    UsbIdentity id;
    const std::string& subsystem = property(event, "SUBSYSTEM");
    if (subsystem == "usb") {
        if (property(event, "DEVTYPE") != "usb_device") return std::nullopt;  // an interface
        if (!identityFromUsbProperties(event, &id)) return std::nullopt;
    } else if (subsystem == "hidraw") {
        // Only a HID device on the USB bus belongs to a USB device: one on I2C,
        // Bluetooth or uhid is no USB device change, even with a USB adapter above it.
        const HidrawPath path = parseHidrawPath(property(event, "DEVPATH"));
        if (!path.hidFound || path.hidBus != kBusUsb) return std::nullopt;
        const bool parentKnown = property(usbParent, "SUBSYSTEM") == "usb" &&
                                 property(usbParent, "DEVTYPE") == "usb_device" &&
                                 identityFromUsbProperties(usbParent, &id);
        if (!parentKnown) {
            // The USB device is gone already: what the path tells.
            if (!path.usbFound) return std::nullopt;
            id.vendor = path.vendor;
            id.product = path.product;
            id.instance = usbInstance({}, path.usbBus, path.ports);
            if (id.instance.empty()) return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    change.name = changeName(id);
    return change;
}

// ---- the udev monitor ----

namespace {

UdevProperties propertiesOf(udev_device* dev) {
    UdevProperties props;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(dev)) {
        const char* name = udev_list_entry_get_name(entry);
        const char* value = udev_list_entry_get_value(entry);
        if (name) props[name] = value ? value : "";
    }
    return props;
}

class UdevSource final : public ChangeSource {
public:
    // What the monitor thread uses; it keeps it alive itself, so a source
    // destroyed from a handler (on that very thread) can let the thread end on its own.
    struct State {
        udev* context = nullptr;
        udev_monitor* monitor = nullptr;
        int stopFd = -1;
        std::atomic<bool> stop{false};
        ChangeSink sink;

        ~State() {
            if (monitor) udev_monitor_unref(monitor);
            if (context) udev_unref(context);
            if (stopFd >= 0) ::close(stopFd);
        }
    };

    explicit UdevSource(std::shared_ptr<State> state) : state_(std::move(state)) {
        thread_ = std::thread([s = state_] { run(*s); });
    }

    ~UdevSource() override {
        state_->stop.store(true);
        const uint64_t one = 1;
        while (::write(state_->stopFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
        else thread_.join();
    }

private:
    static void run(State& s) {
        pollfd fds[2] = {{udev_monitor_get_fd(s.monitor), POLLIN, 0}, {s.stopFd, POLLIN, 0}};
        while (!s.stop.load()) {
            const int r = ::poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            if (!(fds[0].revents & POLLIN)) continue;
            udev_device* dev = udev_monitor_receive_device(s.monitor);
            if (!dev) continue;
            const UdevProperties event = propertiesOf(dev);
            UdevProperties parent;
            if (const char* subsystem = udev_device_get_subsystem(dev);
                subsystem && std::string(subsystem) == "hidraw")
                // Owned by dev; none when the USB device is already gone from sysfs.
                if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device"))
                    parent = propertiesOf(usb);
            udev_device_unref(dev);
            if (s.stop.load()) return;
            if (auto change = deviceChangeFromUdev(event, parent)) s.sink(*change);
        }
    }

    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<ChangeSource> startUdevSource(ChangeSink sink) {
    auto state = std::make_shared<UdevSource::State>();
    state->sink = std::move(sink);
    state->context = udev_new();
    if (!state->context) return nullptr;
    state->monitor = udev_monitor_new_from_netlink(state->context, "udev");
    if (!state->monitor) return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(state->monitor, "usb", "usb_device") < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(state->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(state->monitor) < 0 || udev_monitor_get_fd(state->monitor) < 0)
        return nullptr;
    state->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->stopFd < 0) return nullptr;
    return std::make_unique<UdevSource>(std::move(state));
}

// ---- subscriptions ----

namespace {
// The hub whose handlers the calling thread is running, if any.
thread_local const DeviceChangeHub* t_delivering = nullptr;
}  // namespace

DeviceChangeHub::DeviceChangeHub(ChangeSourceFactory usbSource) : factory_(std::move(usbSource)) {}

DeviceChangeHub::~DeviceChangeHub() {
    std::unique_ptr<ChangeSource> source;
    {
        std::lock_guard lock(mutex_);
        source = std::move(source_);
        for (auto& [token, sub] : subscriptions_) sub->active.store(false);
        subscriptions_.clear();
    }
    source.reset();  // outside the lock: its thread may be waiting for it in deliver
}

void* DeviceChangeHub::subscribe(InterfaceClass cls, DeviceChangeHandler handler) {
    if (!checkSubscription(cls, handler)) return nullptr;
    auto sub = std::make_shared<Subscription>();
    sub->cls = cls;
    sub->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    const uintptr_t token = nextToken_++;
    subscriptions_.emplace(token, std::move(sub));
    // Started under the lock so that racing first subscribers start one source.
    // Its thread only takes the lock in deliver, never waits for us otherwise.
    if (cls == InterfaceClass::UsbDevice && !source_ && factory_)
        source_ = factory_([this](const DeviceChange& change) { deliver(InterfaceClass::UsbDevice, change); });
    return reinterpret_cast<void*>(token);
}

void DeviceChangeHub::unsubscribe(void* token) {
    if (!token) return;
    std::unique_ptr<ChangeSource> stopping;
    {
        std::lock_guard lock(mutex_);
        auto it = subscriptions_.find(reinterpret_cast<uintptr_t>(token));
        if (it == subscriptions_.end()) return;
        it->second->active.store(false);
        subscriptions_.erase(it);
        const bool usbLeft = std::any_of(subscriptions_.begin(), subscriptions_.end(), [](const auto& entry) {
            return entry.second->cls == InterfaceClass::UsbDevice;
        });
        if (!usbLeft) stopping = std::move(source_);
    }
    // Wait for a call under way to end; on the delivering thread itself that call is our caller.
    if (t_delivering != this) {
        std::lock_guard wait(delivering_);
    }
    stopping.reset();
}

void DeviceChangeHub::deliver(InterfaceClass cls, const DeviceChange& change) {
    std::lock_guard delivering(delivering_);
    std::vector<std::shared_ptr<Subscription>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [token, sub] : subscriptions_)
            if (sub->cls == cls) targets.push_back(sub);
    }
    struct Mark {
        const DeviceChangeHub* outer = t_delivering;
        explicit Mark(const DeviceChangeHub* hub) { t_delivering = hub; }
        ~Mark() { t_delivering = outer; }
    } mark(this);
    for (const auto& sub : targets)
        if (sub->active.load()) sub->handler(change);
}

bool DeviceChangeHub::sourceRunning() const {
    std::lock_guard lock(mutex_);
    return source_ != nullptr;
}

}  // namespace qvp::linuxdev
