// The links a controller is reached by (HID reports, driver I/O controls, a
// serial line) and the bench that holds them.
//
// Every transfer takes the bench lock, costs the bench latency in virtual ms
// (also when it fails), and then fails NotFound when the device was removed or
// its controller went away.

#include "qvsim.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace qvsim {

// What the devices of one bench share.
struct BenchCore {
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::atomic<uint32_t> latencyMs{0};

    uint64_t transfer() {
        if (uint32_t l = latencyMs.load()) clock->advance(l);
        return clock->nowMs();
    }
};

namespace {

struct InjectedFailure {
    XferError kind = XferError::None;
    int remaining = 0;

    // The next failure to report, if one is pending.
    XferError take() {
        if (remaining <= 0) return XferError::None;
        --remaining;
        return kind;
    }
};

// The reply buffer a host polls after a send: a reply becomes visible on the
// n-th poll, before that the buffer still shows the previous one.
struct ReplyBuffer {
    Packet visible{};
    std::optional<Packet> pending;
    int polls = 0;
    int answerOn = 1;
    bool replyRead = false;  // the host has read the answer to the last command

    void sent(const std::optional<Packet>& reply) {
        polls = 0;
        replyRead = false;
        pending = reply;
        if (!reply) visible = Packet{};  // a dropped command leaves no stale answer behind
    }
    const Packet& poll() {
        ++polls;
        if (pending && polls >= answerOn) {
            visible = *pending;
            pending.reset();
            replyRead = true;
        }
        return visible;
    }
};

}  // namespace

// ---------------------------------------------------------------- HID

struct HidDevice::Impl {
    HidInfo info;
    std::shared_ptr<Controller> controller;
    std::shared_ptr<BenchCore> core;
    bool removed = false;
    ReplyBuffer replies;
    std::array<InjectedFailure, 3> failures;
    std::vector<std::vector<uint8_t>> outputs;

    // Common start of a transfer; None means go on.
    XferError begin(HidOp op, uint64_t* now) {
        *now = core->transfer();
        if (removed || !controller->connected()) return XferError::NotFound;
        return failures[size_t(op)].take();
    }
};

const HidInfo& HidDevice::info() const { return impl_->info; }
Controller& HidDevice::controller() { return *impl_->controller; }

XferError HidDevice::setFeature(const uint8_t* report, size_t len) {
    std::lock_guard g(*impl_->core->lock);
    uint64_t now;
    if (auto e = impl_->begin(HidOp::SetFeature, &now); e != XferError::None) return e;
    if (!report || len != 6 || report[0] != impl_->info.reportId) return XferError::InvalidParameter;
    Packet cmd;
    std::memcpy(cmd.data(), report + 1, 5);
    impl_->replies.sent(impl_->controller->handle(cmd, Link::Hid, now));
    return XferError::None;
}

XferError HidDevice::getFeature(uint8_t* report, size_t len) {
    std::lock_guard g(*impl_->core->lock);
    uint64_t now;
    if (auto e = impl_->begin(HidOp::GetFeature, &now); e != XferError::None) return e;
    if (!report || len < 2 || report[0] != impl_->info.reportId) return XferError::InvalidParameter;
    if (len == 6) {
        const Packet& r = impl_->replies.poll();
        std::memcpy(report + 1, r.data(), 5);
        return XferError::None;
    }
    Controller& c = *impl_->controller;
    if (!c.bulkArmed() || !impl_->replies.replyRead) return XferError::Other;
    std::vector<uint8_t> data = c.takeBulk(len - 1);
    std::memset(report + 1, 0, len - 1);
    std::memcpy(report + 1, data.data(), data.size());
    return XferError::None;
}

XferError HidDevice::setOutput(const uint8_t* report, size_t len) {
    std::lock_guard g(*impl_->core->lock);
    uint64_t now;
    if (auto e = impl_->begin(HidOp::SetOutput, &now); e != XferError::None) return e;
    if (!report || len < 1 || report[0] != impl_->info.reportId) return XferError::InvalidParameter;
    impl_->outputs.emplace_back(report + 1, report + len);
    return XferError::None;
}

void HidDevice::answerOnPoll(int n) {
    std::lock_guard g(*impl_->core->lock);
    impl_->replies.answerOn = std::max(1, n);
}

void HidDevice::failNext(HidOp op, XferError kind, int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->failures[size_t(op)] = InjectedFailure{kind, count};
}

const std::vector<std::vector<uint8_t>>& HidDevice::outputReports() const { return impl_->outputs; }

// ---------------------------------------------------------------- driver

namespace {

constexpr uint32_t kIoctlSend[2] = {0x223D48, 0x223D88};
constexpr uint32_t kIoctlRead[2] = {0x223D4C, 0x223D8C};
constexpr uint32_t kIoctlBaudRate = 0x223CB4;
constexpr uint32_t kIoctlSampleRate = 0x223DFC;
constexpr uint32_t kIoctlDeviceCode = 0x223CA8;
constexpr uint32_t kIoctlVersionMajor = 0x223C00;
constexpr uint32_t kIoctlVersionMinor = 0x223C04;
constexpr uint32_t kIoctlPortIndex = 0x223C40;

void putU32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}
uint32_t getU32(const uint8_t* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

}  // namespace

struct DriverDevice::Impl {
    DriverInfo info;
    std::shared_ptr<Controller> controller;
    std::shared_ptr<BenchCore> core;
    bool removed = false;
    ReplyBuffer replies;
    std::array<InjectedFailure, 3> failures;

    int pair() const { return info.ioctlPair == 1 ? 1 : 0; }

    uint32_t deviceCode() const {
        if (info.deviceCode) return info.deviceCode;
        if (info.kind == 4) return 9000u << 16;
        if (info.kind == 1 || info.kind == 3) return 6000u << 16;
        return 1000u << 16;
    }
    uint32_t driverVersion() const {
        if (info.driverVersion) return info.driverVersion;
        return (pair() == 1 && info.kind <= 2) ? 204 : 203;
    }

    XferError answerU32(uint32_t v, uint8_t* out, size_t outLen, uint32_t* returned) {
        if (!out || outLen < 4) return XferError::InvalidParameter;
        putU32(out, v);
        if (returned) *returned = 4;
        return XferError::None;
    }

    XferError read(uint8_t* out, size_t outLen, uint32_t* returned) {
        if (!out || outLen == 0) return XferError::InvalidParameter;
        if (outLen == 5) {
            const Packet& r = replies.poll();
            std::memcpy(out, r.data(), 5);
            if (returned) *returned = 5;
            return XferError::None;
        }
        Controller& c = *controller;
        std::memset(out, 0, outLen);
        if (c.bulkArmed() && replies.replyRead) {
            std::vector<uint8_t> data = c.takeBulk(outLen);
            std::memcpy(out, data.data(), data.size());
            if (returned) *returned = uint32_t(data.size());
            return XferError::None;
        }
        if (!info.bulkReads) return XferError::InvalidParameter;
        if (returned) *returned = uint32_t(outLen);
        return XferError::None;
    }
};

const DriverInfo& DriverDevice::info() const { return impl_->info; }
Controller& DriverDevice::controller() { return *impl_->controller; }

XferError DriverDevice::ioctl(uint32_t code, const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen,
                              uint32_t* returned) {
    std::lock_guard g(*impl_->core->lock);
    Impl& d = *impl_;
    if (returned) *returned = 0;
    uint64_t now = d.core->transfer();
    if (d.removed || !d.controller->connected()) return XferError::NotFound;

    DriverOp op = code == kIoctlSend[d.pair()] ? DriverOp::Send
                  : code == kIoctlRead[d.pair()] ? DriverOp::Read
                                                 : DriverOp::Other;
    if (auto e = d.failures[size_t(op)].take(); e != XferError::None) return e;

    switch (op) {
        case DriverOp::Send: {
            if (!in || inLen != 5) return XferError::InvalidParameter;
            Packet cmd;
            std::memcpy(cmd.data(), in, 5);
            d.replies.sent(d.controller->handle(cmd, Link::Driver, now));
            return XferError::None;
        }
        case DriverOp::Read: return d.read(out, outLen, returned);
        case DriverOp::Other: break;
    }
    switch (code) {
        case kIoctlBaudRate: return d.answerU32(d.info.baudRate, out, outLen, returned);
        case kIoctlSampleRate:
            if (!in || inLen < 4 || !out || outLen < 4) return XferError::InvalidParameter;
            if (uint32_t rate = getU32(in)) d.info.sampleRate = rate;
            return d.answerU32(d.info.sampleRate, out, outLen, returned);
        case kIoctlDeviceCode: return d.answerU32(d.deviceCode(), out, outLen, returned);
        case kIoctlVersionMajor: return d.answerU32(d.driverVersion() / 100, out, outLen, returned);
        case kIoctlVersionMinor: return d.answerU32(d.driverVersion() % 100, out, outLen, returned);
        case kIoctlPortIndex: return d.answerU32(d.info.portIndex, out, outLen, returned);
        default: return XferError::InvalidParameter;  // includes the other pair's codes
    }
}

void DriverDevice::answerOnPoll(int n) {
    std::lock_guard g(*impl_->core->lock);
    impl_->replies.answerOn = std::max(1, n);
}

void DriverDevice::failNext(DriverOp op, XferError kind, int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->failures[size_t(op)] = InjectedFailure{kind, count};
}

// ---------------------------------------------------------------- serial

struct SerialDevice::Impl {
    SerialInfo info;
    std::shared_ptr<Controller> controller;
    std::shared_ptr<BenchCore> core;
    bool removed = false;
    std::optional<uint32_t> hostBaud;
    std::vector<uint8_t> partial;
    uint64_t lastByteMs = 0;
    std::deque<uint8_t> output;
    uint64_t received = 0;

    bool checksummed() const { return controller->profile().series != Series::Melk; }
    size_t frameLength() const { return checksummed() ? 6 : 5; }

    static uint8_t checksum(const uint8_t* five) {
        unsigned sum = 0;
        for (int i = 0; i < 5; ++i) sum += five[i];
        return uint8_t(~sum);
    }

    void resync(uint64_t nowMs) {
        if (!partial.empty() && nowMs - lastByteMs > kResyncGapMs) partial.clear();
    }

    void frameComplete(uint64_t nowMs) {
        bool ok = !checksummed() || partial[5] == checksum(partial.data());
        Packet cmd;
        std::memcpy(cmd.data(), partial.data(), 5);
        partial.clear();
        if (!ok) return;  // a corrupted frame is dropped unanswered
        auto reply = controller->handle(cmd, Link::Serial, nowMs);
        if (!reply) return;
        output.insert(output.end(), reply->begin(), reply->end());
        if (checksummed()) output.push_back(checksum(reply->data()));
    }

    void receive(const uint8_t* data, size_t len, uint64_t nowMs) {
        received += len;
        resync(nowMs);
        if (hostBaud.value_or(info.baud) != info.baud) {
            // At another speed the controller sees only line noise.
            partial.clear();
            return;
        }
        for (size_t i = 0; i < len; ++i) {
            partial.push_back(data[i]);
            if (partial.size() == frameLength()) frameComplete(nowMs);
        }
        if (len) lastByteMs = nowMs;
    }
};

const SerialInfo& SerialDevice::info() const { return impl_->info; }
Controller& SerialDevice::controller() { return *impl_->controller; }

void SerialDevice::setBaud(uint32_t baud) {
    std::lock_guard g(*impl_->core->lock);
    impl_->info.baud = baud;
}

void SerialDevice::setHostBaud(uint32_t baud) {
    std::lock_guard g(*impl_->core->lock);
    impl_->hostBaud = baud;
}

uint64_t SerialDevice::receivedBytes() const {
    std::lock_guard g(*impl_->core->lock);
    return impl_->received;
}

XferError SerialDevice::write(const uint8_t* data, size_t len, size_t* written) {
    std::lock_guard g(*impl_->core->lock);
    if (written) *written = 0;
    uint64_t now = impl_->core->transfer();
    if (impl_->removed || !impl_->controller->connected()) return XferError::NotFound;
    if (!data && len) return XferError::InvalidParameter;
    impl_->receive(data, len, now);
    if (written) *written = len;
    return XferError::None;
}

void SerialDevice::receiveAt(const uint8_t* data, size_t len, uint64_t nowMs) {
    std::lock_guard g(*impl_->core->lock);
    if (impl_->removed || !impl_->controller->connected()) return;
    impl_->receive(data, len, nowMs);
}

std::vector<uint8_t> SerialDevice::takeOutput() {
    std::lock_guard g(*impl_->core->lock);
    std::vector<uint8_t> out(impl_->output.begin(), impl_->output.end());
    impl_->output.clear();
    return out;
}

size_t SerialDevice::read(uint8_t* data, size_t len) {
    std::lock_guard g(*impl_->core->lock);
    impl_->core->transfer();
    if (impl_->removed || !data) return 0;
    size_t n = std::min(len, impl_->output.size());
    std::copy_n(impl_->output.begin(), n, data);
    impl_->output.erase(impl_->output.begin(), impl_->output.begin() + long(n));
    return n;
}

size_t SerialDevice::available() const {
    std::lock_guard g(*impl_->core->lock);
    return impl_->removed ? 0 : impl_->output.size();
}

void SerialDevice::purge() {
    std::lock_guard g(*impl_->core->lock);
    impl_->partial.clear();
    impl_->output.clear();
}

void SerialDevice::resyncAfterGap(uint64_t nowMs) {
    std::lock_guard g(*impl_->core->lock);
    impl_->resync(nowMs);
}

// ---------------------------------------------------------------- bench

struct Bench::Impl {
    std::shared_ptr<BenchCore> core = std::make_shared<BenchCore>();
    // Present devices in the order they were added. Removed devices move to
    // `gone` and stay alive, so a host still holding one gets NotFound, not a crash.
    std::vector<std::unique_ptr<HidDevice>> hid;
    std::vector<std::unique_ptr<DriverDevice>> driver;
    std::vector<std::unique_ptr<SerialDevice>> serial;
    std::vector<std::unique_ptr<HidDevice>> goneHid;
    std::vector<std::unique_ptr<DriverDevice>> goneDriver;
    std::vector<std::unique_ptr<SerialDevice>> goneSerial;

    template <typename D>
    static D* find(std::vector<std::unique_ptr<D>>& list, const std::string& path) {
        for (auto& d : list)
            if (d->info().path == path) return d.get();
        return nullptr;
    }
    template <typename D>
    static bool take(std::vector<std::unique_ptr<D>>& list, std::vector<std::unique_ptr<D>>& gone,
                     const std::string& path) {
        auto it = std::find_if(list.begin(), list.end(), [&](auto& d) { return d->info().path == path; });
        if (it == list.end()) return false;
        (*it)->impl_->removed = true;
        gone.push_back(std::move(*it));
        list.erase(it);
        return true;
    }
    template <typename D>
    static std::vector<D*> all(std::vector<std::unique_ptr<D>>& list) {
        std::vector<D*> out;
        for (auto& d : list) out.push_back(d.get());
        return out;
    }
};

Bench::Bench() : impl_(std::make_unique<Impl>()) {}
Bench::~Bench() = default;

VirtualClock& Bench::clock() { return *impl_->core->clock; }
std::shared_ptr<VirtualClock> Bench::clockPtr() { return impl_->core->clock; }

void Bench::setLatencyMs(uint32_t ms) { impl_->core->latencyMs = ms; }
uint32_t Bench::latencyMs() const { return impl_->core->latencyMs; }

std::recursive_mutex& Bench::mutex() { return *impl_->core->lock; }

HidDevice& Bench::addHid(std::shared_ptr<Controller> c, HidInfo info) {
    std::lock_guard g(mutex());
    remove(info.path);  // plugging a device into a taken path replaces the old one
    c->attach(impl_->core->lock);
    auto d = std::make_unique<HidDevice>();
    d->impl_ = std::make_shared<HidDevice::Impl>();
    d->impl_->info = std::move(info);
    d->impl_->controller = std::move(c);
    d->impl_->core = impl_->core;
    impl_->hid.push_back(std::move(d));
    return *impl_->hid.back();
}

DriverDevice& Bench::addDriver(std::shared_ptr<Controller> c, DriverInfo info) {
    std::lock_guard g(mutex());
    remove(info.path);
    c->attach(impl_->core->lock);
    auto d = std::make_unique<DriverDevice>();
    d->impl_ = std::make_shared<DriverDevice::Impl>();
    d->impl_->info = std::move(info);
    d->impl_->controller = std::move(c);
    d->impl_->core = impl_->core;
    impl_->driver.push_back(std::move(d));
    return *impl_->driver.back();
}

SerialDevice& Bench::addSerial(std::shared_ptr<Controller> c, SerialInfo info) {
    std::lock_guard g(mutex());
    remove(info.path);
    c->attach(impl_->core->lock);
    auto d = std::make_unique<SerialDevice>();
    d->impl_ = std::make_shared<SerialDevice::Impl>();
    d->impl_->info = std::move(info);
    d->impl_->controller = std::move(c);
    d->impl_->core = impl_->core;
    impl_->serial.push_back(std::move(d));
    return *impl_->serial.back();
}

HidDevice* Bench::hid(const std::string& path) {
    std::lock_guard g(mutex());
    return Impl::find(impl_->hid, path);
}
DriverDevice* Bench::driver(const std::string& path) {
    std::lock_guard g(mutex());
    return Impl::find(impl_->driver, path);
}
SerialDevice* Bench::serial(const std::string& path) {
    std::lock_guard g(mutex());
    return Impl::find(impl_->serial, path);
}

std::vector<HidDevice*> Bench::hidDevices() {
    std::lock_guard g(mutex());
    return Impl::all(impl_->hid);
}
std::vector<DriverDevice*> Bench::driverDevices() {
    std::lock_guard g(mutex());
    return Impl::all(impl_->driver);
}
std::vector<SerialDevice*> Bench::serialDevices() {
    std::lock_guard g(mutex());
    return Impl::all(impl_->serial);
}

bool Bench::remove(const std::string& path) {
    std::lock_guard g(mutex());
    bool any = Impl::take(impl_->hid, impl_->goneHid, path);
    any |= Impl::take(impl_->driver, impl_->goneDriver, path);
    any |= Impl::take(impl_->serial, impl_->goneSerial, path);
    return any;
}

}  // namespace qvsim
