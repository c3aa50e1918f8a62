// The sim backend: every platform call goes to a device on a libqvsim bench.
#include "sim_backend.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <variant>

#include "handle_registry.h"
#include "serial_state.h"

namespace qvp {

namespace {

ErrorKind kindOf(qvsim::XferError e) {
    switch (e) {
        case qvsim::XferError::None: return ErrorKind::None;
        case qvsim::XferError::Timeout: return ErrorKind::Timeout;
        case qvsim::XferError::InvalidParameter: return ErrorKind::InvalidParameter;
        case qvsim::XferError::NotFound: return ErrorKind::NotFound;
        case qvsim::XferError::Other: return ErrorKind::Other;
    }
    return ErrorKind::Other;
}

bool fail(ErrorKind kind, std::string text) {
    setLastError(kind, std::move(text));
    return false;
}

// A transfer's result: true, or the device's error recorded as "<what> <path>: <kind>".
bool result(qvsim::XferError e, const char* what, const std::string& path) {
    if (e == qvsim::XferError::None) return true;
    const ErrorKind kind = kindOf(e);
    return fail(kind, std::string(what) + " " + path + ": " + errorKindName(kind) + " (simulated device)");
}

bool goneError(const char* what, const std::string& path) {
    return fail(ErrorKind::NotFound, std::string(what) + " " + path + ": device was removed");
}

// An open device. The bench owns the device; the handle remembers which one it
// opened and checks on every call that the bench still has it at that path.
struct SimObject {
    explicit SimObject(std::string path_) : path(std::move(path_)) {}
    virtual ~SimObject() = default;
    const std::string path;
};

struct SimHid : SimObject {
    SimHid(std::string p, qvsim::HidDevice* d) : SimObject(std::move(p)), device(d) {}
    qvsim::HidDevice* const device;
};

struct SimDriver : SimObject {
    SimDriver(std::string p, qvsim::DriverDevice* d) : SimObject(std::move(p)), device(d) {}
    qvsim::DriverDevice* const device;
};

struct SimSerial : SimObject, detail::SerialPortState {
    SimSerial(std::string p, qvsim::SerialDevice* d) : SimObject(std::move(p)), device(d) {}
    qvsim::SerialDevice* const device;
    SerialConfig config;  // under the state's mutex
};

class SimBackend final : public Backend {
public:
    explicit SimBackend(std::shared_ptr<qvsim::Bench> bench) : bench_(std::move(bench)) {}

    const char* name() const override { return "sim"; }
    std::shared_ptr<qvsim::Bench> bench() const { return bench_; }

    Handle open(const std::string& path, DeviceKind kind) override {
        std::lock_guard lock(bench_->mutex());
        std::shared_ptr<SimObject> object;
        qvsim::XferError refused = qvsim::XferError::None;
        switch (kind) {
            case DeviceKind::Hid:
                if (auto* d = bench_->hid(path)) {
                    refused = d->info().openError;
                    object = std::make_shared<SimHid>(path, d);
                }
                break;
            case DeviceKind::Driver:
                if (auto* d = bench_->driver(path)) {
                    refused = d->info().openError;
                    object = std::make_shared<SimDriver>(path, d);
                }
                break;
            case DeviceKind::Serial:
                if (auto* d = bench_->serial(path)) {
                    refused = d->info().openError;
                    object = std::make_shared<SimSerial>(path, d);
                }
                break;
        }
        if (!object) {
            setLastError(ErrorKind::NotFound, "open " + path + ": no such simulated device of that kind");
            return invalidHandle();
        }
        if (refused != qvsim::XferError::None) {
            const ErrorKind k = kindOf(refused);
            setLastError(k, "open " + path + ": " + errorKindName(k) + " (the simulated device refuses the open)");
            return invalidHandle();
        }
        return registry_.add(std::move(object));
    }

    bool close(Handle h) override {
        if (!registry_.remove(h))
            return fail(ErrorKind::InvalidParameter, "close: unknown handle " + detail::handleText(h));
        return true;
    }

    bool hidSetFeature(Handle h, const uint8_t* report, size_t len) override {
        auto o = registry_.findAs<SimHid>(h, "hidSetFeature", "a HID device");
        if (!o || !checkReport("hidSetFeature", report, len)) return false;
        std::lock_guard lock(bench_->mutex());
        if (bench_->hid(o->path) != o->device) return goneError("set feature report", o->path);
        return result(o->device->setFeature(report, len), "set feature report", o->path);
    }

    bool hidGetFeature(Handle h, uint8_t* report, size_t len) override {
        auto o = registry_.findAs<SimHid>(h, "hidGetFeature", "a HID device");
        if (!o || !checkReport("hidGetFeature", report, len)) return false;
        std::lock_guard lock(bench_->mutex());
        if (bench_->hid(o->path) != o->device) return goneError("get feature report", o->path);
        return result(o->device->getFeature(report, len), "get feature report", o->path);
    }

    bool hidSetOutput(Handle h, const uint8_t* report, size_t len) override {
        auto o = registry_.findAs<SimHid>(h, "hidSetOutput", "a HID device");
        if (!o || !checkReport("hidSetOutput", report, len)) return false;
        std::lock_guard lock(bench_->mutex());
        if (bench_->hid(o->path) != o->device) return goneError("set output report", o->path);
        return result(o->device->setOutput(report, len), "set output report", o->path);
    }

    int hidOutputReportLength(Handle h) override {
        auto o = registry_.findAs<SimHid>(h, "hidOutputReportLength", "a HID device");
        if (!o) return -1;
        std::lock_guard lock(bench_->mutex());
        if (bench_->hid(o->path) != o->device) {
            goneError("output report length", o->path);
            return -1;
        }
        return o->device->info().outputReportLength;
    }

    bool driverIoctl(Handle h, uint32_t code, const void* in, size_t inLen, void* out, size_t outLen,
                     uint32_t* returned) override {
        uint32_t ignored = 0;
        if (!returned) returned = &ignored;
        *returned = 0;
        auto o = registry_.findAs<SimDriver>(h, "driverIoctl", "a kernel-driver device");
        if (!o) return false;
        if ((!in && inLen) || (!out && outLen))
            return fail(ErrorKind::InvalidParameter, "driverIoctl " + o->path + ": buffer missing");
        const std::string what = "ioctl (code " + std::to_string(code) + ")";
        std::lock_guard lock(bench_->mutex());
        if (bench_->driver(o->path) != o->device) return goneError(what.c_str(), o->path);
        return result(o->device->ioctl(code, static_cast<const uint8_t*>(in), inLen, static_cast<uint8_t*>(out),
                                       outLen, returned),
                      what.c_str(), o->path);
    }

    bool serialGetConfig(Handle h, SerialConfig* cfg) override {
        auto o = serial(h, "serialGetConfig");
        if (!o) return false;
        if (!cfg) return fail(ErrorKind::InvalidParameter, "serialGetConfig: no config to fill");
        std::lock_guard lock(o->mutex);
        *cfg = o->config;
        return true;
    }

    bool serialSetConfig(Handle h, const SerialConfig& cfg) override {
        auto o = serial(h, "serialSetConfig");
        if (!o) return false;
        if (!detail::checkSerialConfig(o->path, cfg)) return false;
        {
            std::lock_guard lock(bench_->mutex());
            if (bench_->serial(o->path) != o->device) return goneError("serialSetConfig", o->path);
            o->device->setHostLines(cfg.baud, cfg.rts);
        }
        std::lock_guard lock(o->mutex);
        o->config = cfg;
        return true;
    }

    bool serialGetTimeouts(Handle h, SerialTimeouts* t) override {
        auto o = serial(h, "serialGetTimeouts");
        return o && detail::getSerialTimeouts(*o, t);
    }

    bool serialSetTimeouts(Handle h, const SerialTimeouts& t) override {
        auto o = serial(h, "serialSetTimeouts");
        if (!o) return false;
        detail::setSerialTimeouts(*o, t);
        return true;
    }

    bool serialSetEventMask(Handle h, uint32_t mask) override {
        auto o = serial(h, "serialSetEventMask");
        return o && detail::setSerialEventMask(*o, o->path, mask);
    }

    bool serialPurge(Handle h) override {
        auto o = serial(h, "serialPurge");
        if (!o) return false;
        std::lock_guard lock(bench_->mutex());
        if (bench_->serial(o->path) != o->device) return goneError("purge", o->path);
        o->device->purge();
        return true;
    }

    bool serialWrite(Handle h, const uint8_t* data, size_t len, size_t* written) override {
        size_t ignored = 0;
        if (!written) written = &ignored;
        *written = 0;
        auto o = serial(h, "serialWrite");
        if (!o) return false;
        if (!data && len) return fail(ErrorKind::InvalidParameter, "serialWrite: no data");
        std::lock_guard lock(bench_->mutex());
        if (bench_->serial(o->path) != o->device) return goneError("write", o->path);
        if (!result(o->device->write(data, len, written), "write", o->path)) return false;
        if (*written < len)
            return fail(ErrorKind::Timeout, "write " + o->path + ": time-out after " + std::to_string(*written) +
                                                " of " + std::to_string(len) + " bytes");
        return true;
    }

    bool serialRead(Handle h, uint8_t* data, size_t len, size_t* got) override {
        size_t ignored = 0;
        if (!got) got = &ignored;
        *got = 0;
        auto o = serial(h, "serialRead");
        if (!o) return false;
        if (!data && len) return fail(ErrorKind::InvalidParameter, "serialRead: no buffer");
        const SerialTimeouts t = detail::currentSerialTimeouts(*o);
        {
            std::lock_guard lock(bench_->mutex());
            if (bench_->serial(o->path) != o->device) return goneError("read", o->path);
            *got = o->device->read(data, len);
        }
        if (*got < len) {
            // Replies are queued when the command is written, so nothing more can
            // arrive while a real port would wait: let the wait pass in virtual time.
            uint64_t wait = uint64_t{t.readConstant} + uint64_t{t.readMultiplier} * len;
            if (t.readInterval && *got > 0) wait = std::min<uint64_t>(wait, t.readInterval);
            bench_->clock().advance(wait);
        }
        return true;
    }

    WaitEnd serialWaitReadable(Handle h, Wakeup& stop) override {
        auto o = serial(h, "serialWaitReadable");
        if (!o) return WaitEnd::Failed;
        return waitFor(stop, [&]() -> std::optional<bool> {
            if (bench_->serial(o->path) != o->device) return goneError("wait for input", o->path);
            if (o->device->available() > 0) return true;
            return std::nullopt;
        });
    }

    WaitEnd driverIoctlWait(Handle h, uint32_t code, void* out, size_t outLen, uint32_t* returned,
                            Wakeup& stop) override {
        uint32_t ignored = 0;
        if (!returned) returned = &ignored;
        *returned = 0;
        auto o = registry_.findAs<SimDriver>(h, "driverIoctlWait", "a kernel-driver device");
        if (!o) return WaitEnd::Failed;
        if (!out && outLen) {
            fail(ErrorKind::InvalidParameter, "driverIoctlWait " + o->path + ": buffer missing");
            return WaitEnd::Failed;
        }
        const std::string what = "notify wait (code " + std::to_string(code) + ")";
        return waitFor(stop, [&]() -> std::optional<bool> {
            if (bench_->driver(o->path) != o->device) return goneError(what.c_str(), o->path);
            std::optional<uint32_t> event;
            if (!result(o->device->takeNotify(code, outLen, &event), what.c_str(), o->path)) return false;
            if (!event) return std::nullopt;
            auto* bytes = static_cast<uint8_t*>(out);
            for (size_t i = 0; i < 4 && i < outLen; ++i) bytes[i] = uint8_t(*event >> (8 * i));
            *returned = 4;
            return true;
        });
    }

    std::unique_ptr<InputReportSource> openInputReports() override;
    bool hidNodeFacts(const std::string& path, InputNode* out) override;

    bool listHidInterfaces(std::vector<HidInterface>* out) override {
        if (!out) return fail(ErrorKind::InvalidParameter, "listHidInterfaces: no list to fill");
        out->clear();
        bench_->enumerated();
        for (qvsim::HidDevice* d : bench_->hidDevices()) out->push_back(interfaceOf(d->info()));
        return true;
    }

    bool listSerialPorts(std::vector<std::string>* out) override {
        if (!out) return fail(ErrorKind::InvalidParameter, "listSerialPorts: no list to fill");
        out->clear();
        for (qvsim::SerialDevice* d : bench_->serialDevices()) out->push_back(d->info().path);
        return true;
    }

    bool parentInstanceId(const std::string& interfacePath, std::string* out) override {
        if (!out) return fail(ErrorKind::InvalidParameter, "parentInstanceId " + interfacePath + ": no text to fill");
        std::lock_guard lock(bench_->mutex());
        const qvsim::HidDevice* d = bench_->hid(interfacePath);
        if (!d) return fail(ErrorKind::NotFound, "parentInstanceId " + interfacePath + ": no such simulated HID device");
        if (!d->info().hasParent)
            return fail(ErrorKind::NotFound, "parentInstanceId " + interfacePath + ": the device has no parent device");
        *out = d->info().parentInstanceId;
        return true;
    }

    bool readSettingString(const std::string& key, const std::string& value, std::string* out) override {
        if (!out) return fail(ErrorKind::InvalidParameter, "readSettingString: no text to fill");
        auto s = setting("readSettingString", key, value);
        if (!s) return false;
        const auto* text = std::get_if<std::string>(&*s);
        if (!text) return fail(ErrorKind::Other, "readSettingString " + key + "\\" + value + ": the value is a DWORD");
        *out = *text;
        return true;
    }

    bool readSettingDword(const std::string& key, const std::string& value, uint32_t* out) override {
        if (!out) return fail(ErrorKind::InvalidParameter, "readSettingDword: no number to fill");
        auto s = setting("readSettingDword", key, value);
        if (!s) return false;
        const auto* n = std::get_if<uint32_t>(&*s);
        if (!n) return fail(ErrorKind::Other, "readSettingDword " + key + "\\" + value + ": the value is a string");
        *out = *n;
        return true;
    }

    void* subscribeDeviceChanges(InterfaceClass cls, DeviceChangeHandler handler) override {
        if (!checkSubscription(cls, handler)) return nullptr;
        const uint64_t watch = bench_->watch([cls, handler = std::move(handler)](const qvsim::DeviceEvent& e) {
            if (auto name = changeName(cls, e)) handler(DeviceChange{e.arrival, *name});
        });
        const uintptr_t token = detail::nextHandleId();
        std::lock_guard lock(subscriptionsMutex_);
        subscriptions_.emplace(token, watch);
        return reinterpret_cast<void*>(token);
    }

    void unsubscribeDeviceChanges(void* token) override {
        uint64_t watch = 0;
        {
            std::lock_guard lock(subscriptionsMutex_);
            auto it = subscriptions_.find(reinterpret_cast<uintptr_t>(token));
            if (it == subscriptions_.end()) return;  // not ours, or already gone
            watch = it->second;
            subscriptions_.erase(it);
        }
        bench_->unwatch(watch);
    }

    ~SimBackend() override {
        for (auto& [token, watch] : subscriptions_) bench_->unwatch(watch);
    }

private:
    // Waits until poll() decides (true: done, false: failed) or stop is set; poll
    // runs with the bench lock held, again after every activity on the bench.
    template <typename Poll>
    WaitEnd waitFor(Wakeup& stop, Poll poll) {
        const auto activity = bench_->activity();
        stop.setHook([activity] {
            std::lock_guard l(activity->mutex);
            activity->cv.notify_all();
        });
        WaitEnd end = WaitEnd::Woken;
        for (;;) {
            uint64_t seen;
            {
                std::lock_guard l(activity->mutex);
                seen = activity->seq;
            }
            std::optional<bool> decided;
            {
                std::lock_guard lock(bench_->mutex());
                decided = poll();
            }
            if (decided) {
                end = *decided ? WaitEnd::Done : WaitEnd::Failed;
                break;
            }
            std::unique_lock l(activity->mutex);
            activity->cv.wait(l, [&] { return activity->seq != seen || stop.isSet(); });
            if (stop.isSet()) break;
        }
        stop.clearHook();
        return end;
    }

    std::shared_ptr<SimSerial> serial(Handle h, const char* call) {
        return registry_.findAs<SimSerial>(h, call, "a serial port");
    }

    static HidInterface interfaceOf(const qvsim::HidInfo& info) {
        HidInterface i;
        i.path = info.path;
        i.name = info.name;
        i.vendorId = info.vendorId;
        i.productId = info.productId;
        i.hasParent = info.hasParent;
        // Without a parent there is no parent id and no manufacturer to read.
        if (info.hasParent) i.parentInstanceId = info.parentInstanceId;
        i.hasManufacturer = info.hasParent && info.hasManufacturer;
        if (i.hasManufacturer) i.parentManufacturer = info.manufacturer;
        i.inputReportLength = info.inputReportLength;
        return i;
    }

    // What a subscriber to cls hears of a bench event; nothing when it is not of that class.
    static std::optional<std::string> changeName(InterfaceClass cls, const qvsim::DeviceEvent& e) {
        switch (cls) {
            case InterfaceClass::UsbDevice: {
                // The USB parent arrives or leaves; a HID device without one is not a USB device.
                if (e.link != qvsim::Link::Hid || !e.hid.hasParent) return std::nullopt;
                const std::string& id = e.hid.parentInstanceId;
                const size_t slash = id.rfind('\\');
                char head[32];
                std::snprintf(head, sizeof head, "usb#vid_%04x&pid_%04x#", e.hid.vendorId, e.hid.productId);
                return head + (slash == std::string::npos ? id : id.substr(slash + 1));
            }
            case InterfaceClass::DriverA:
                if (e.link != qvsim::Link::Driver) return std::nullopt;
                return e.path;
            case InterfaceClass::DriverB: return std::nullopt;  // the driver publishes its devices in class A
        }
        return std::nullopt;
    }

    std::optional<qvsim::Bench::Setting> setting(const char* call, const std::string& key, const std::string& value) {
        auto s = bench_->setting(key, value);
        if (!s) fail(ErrorKind::NotFound, std::string(call) + " " + key + "\\" + value + ": no such value in the simulated settings");
        return s;
    }

    static bool checkReport(const char* call, const void* report, size_t len) {
        if (!report || len == 0) return fail(ErrorKind::InvalidParameter, std::string(call) + ": empty report");
        return true;
    }

    const std::shared_ptr<qvsim::Bench> bench_;
    detail::HandleRegistry<SimObject> registry_;
    std::mutex subscriptionsMutex_;
    std::unordered_map<uintptr_t, uint64_t> subscriptions_;  // token -> bench watch
};

// The input reports of the bench's touch-screen HID devices of vendor 0x2E7B.
class SimInputSource final : public InputReportSource {
public:
    explicit SimInputSource(std::shared_ptr<qvsim::Bench> bench)
        : bench_(std::move(bench)), activity_(bench_->activity()) {}

    WaitEnd next(std::vector<InputReport>* reports, bool* nodesChanged) override {
        reports->clear();
        *nodesChanged = false;
        for (;;) {
            uint64_t seen;
            {
                std::lock_guard l(activity_->mutex);
                if (woken_) return WaitEnd::Woken;
                seen = activity_->seq;
            }
            {
                std::lock_guard lock(bench_->mutex());
                std::vector<qvsim::HidDevice*> now;
                for (qvsim::HidDevice* d : bench_->hidDevices())
                    if (d->info().vendorId == 0x2E7B && d->info().touchScreen) now.push_back(d);
                if (now != nodes_) *nodesChanged = true;
                nodes_ = now;
                for (qvsim::HidDevice* d : nodes_) {
                    InputReport r;
                    while (d->takeInput(&r.bytes)) {
                        if (!d->info().inputReportIds) r.bytes.insert(r.bytes.begin(), uint8_t{0});
                        r.path = d->info().path;
                        reports->push_back(std::move(r));
                    }
                }
            }
            if (!reports->empty() || *nodesChanged) return WaitEnd::Done;
            std::unique_lock l(activity_->mutex);
            activity_->cv.wait(l, [&] { return activity_->seq != seen || woken_; });
        }
    }

    void wake() override {
        std::lock_guard l(activity_->mutex);
        woken_ = true;
        activity_->cv.notify_all();
    }

    bool node(const std::string& path, InputNode* out) override {
        std::lock_guard lock(bench_->mutex());
        const qvsim::HidDevice* d = bench_->hid(path);
        if (!d || !out) return fail(ErrorKind::NotFound, "input node " + path + ": no such simulated HID device");
        const qvsim::HidInfo& i = d->info();
        *out = InputNode{};
        out->path = i.path;
        out->vendorId = i.vendorId;
        out->productId = i.productId;
        out->touchScreen = i.touchScreen;
        out->usesReportIds = i.inputReportIds;
        out->hasFeatureReport = i.featureReport;
        out->hasParent = i.hasParent;
        if (i.hasParent) out->parentInstanceId = i.parentInstanceId;
        return true;
    }

private:
    const std::shared_ptr<qvsim::Bench> bench_;
    const std::shared_ptr<qvsim::Bench::Activity> activity_;
    std::vector<qvsim::HidDevice*> nodes_;  // devices on the bench stay alive, so pointers tell replugs apart
    bool woken_ = false;                    // under activity_->mutex
};

std::unique_ptr<InputReportSource> SimBackend::openInputReports() { return std::make_unique<SimInputSource>(bench_); }

bool SimBackend::hidNodeFacts(const std::string& path, InputNode* out) { return SimInputSource(bench_).node(path, out); }

class VirtualClockAdapter final : public Clock {
public:
    explicit VirtualClockAdapter(std::shared_ptr<qvsim::VirtualClock> clock) : clock_(std::move(clock)) {}
    void sleepMs(uint32_t ms) override { clock_->advance(ms); }
    uint32_t tickCount() override { return static_cast<uint32_t>(clock_->nowMs()); }
    TimeOfDay timeOfDay() override {
        const uint64_t seconds = clock_->nowMs() / 1000;
        return {int(seconds / 3600 % 24), int(seconds / 60 % 60), int(seconds % 60)};
    }

private:
    const std::shared_ptr<qvsim::VirtualClock> clock_;
};

}  // namespace

std::shared_ptr<Backend> makeSimBackend(std::shared_ptr<qvsim::Bench> bench) {
    if (!bench) bench = std::make_shared<qvsim::Bench>();  // an empty bench: every open fails NotFound
    return std::make_shared<SimBackend>(std::move(bench));
}

std::shared_ptr<Clock> makeVirtualClock(std::shared_ptr<qvsim::VirtualClock> clock) {
    if (!clock) clock = std::make_shared<qvsim::VirtualClock>();
    return std::make_shared<VirtualClockAdapter>(std::move(clock));
}

void useSim(std::shared_ptr<qvsim::Bench> bench) {
    if (!bench) bench = std::make_shared<qvsim::Bench>();
    setClock(makeVirtualClock(bench->clockPtr()));
    setBackend(makeSimBackend(std::move(bench)));
}

std::shared_ptr<qvsim::Bench> simBench() {
    auto sim = std::dynamic_pointer_cast<SimBackend>(currentBackend());
    return sim ? sim->bench() : nullptr;
}

}  // namespace qvp
