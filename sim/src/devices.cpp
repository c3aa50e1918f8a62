// The links a controller is reached by (HID reports, driver I/O controls, a
// serial line) and the bench that holds them.
//
// Every transfer takes the bench lock, costs the bench latency in virtual ms
// (also when it fails), and then fails NotFound when the device was removed or
// its controller went away.

#include "qvsim.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>

namespace qvsim {

// What the devices of one bench share.
struct BenchCore {
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    std::atomic<uint32_t> latencyMs{0};
    std::shared_ptr<Bench::Activity> activity = std::make_shared<Bench::Activity>();

    uint64_t transfer() {
        if (uint32_t l = latencyMs.load()) clock->advance(l);
        return clock->nowMs();
    }

    // Unplugs and replugs the device at a path (a controller that reset itself
    // enumerates anew); set by the bench, called without the bench lock.
    std::mutex reenumerateMutex;
    std::function<void(const std::string&)> reenumerate;
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
    uint64_t removedSeq = 0;  // order of removal, for replug
    ReplyBuffer replies;
    std::array<InjectedFailure, 3> failures;
    std::vector<std::vector<uint8_t>> outputs;
    std::deque<std::vector<uint8_t>> inputs;
    bool resetPending = false;  // the last command was an answered reset of a re-enumerating controller
    std::optional<uint16_t> ownProductId;  // the firmware's product id, while a loader shows another

    // A get-feature of another length than a packet's: bulk bytes.
    XferError bulkRead(uint8_t* report, size_t len);

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
    const std::optional<Packet> reply = impl_->controller->handle(cmd, Link::Hid, now);
    impl_->resetPending = (cmd[0] == 0xFE && reply && (*reply)[0] == 0xFE &&
                           impl_->controller->profile().reenumerateOnReset) ||
                          impl_->controller->takeReenumerate();
    impl_->replies.sent(reply);
    return XferError::None;
}

XferError HidDevice::getFeature(uint8_t* report, size_t len) {
    if (len != 6) return impl_->bulkRead(report, len);
    bool reenumerate = false;
    XferError result = [&] {
        std::lock_guard g(*impl_->core->lock);
        uint64_t now;
        if (auto e = impl_->begin(HidOp::GetFeature, &now); e != XferError::None) return e;
        if (!report || len < 2 || report[0] != impl_->info.reportId) return XferError::InvalidParameter;
        const Packet& r = impl_->replies.poll();
        std::memcpy(report + 1, r.data(), 5);
        // The reset was answered: the controller leaves the bus and comes back.
        reenumerate = impl_->resetPending && impl_->replies.replyRead;
        if (reenumerate) impl_->resetPending = false;
        return XferError::None;
    }();
    if (reenumerate) {
        std::lock_guard g(impl_->core->reenumerateMutex);
        if (impl_->core->reenumerate) impl_->core->reenumerate(impl_->info.path);
    }
    return result;
}

XferError HidDevice::Impl::bulkRead(uint8_t* report, size_t len) {
    std::lock_guard g(*core->lock);
    uint64_t now;
    if (auto e = begin(HidOp::GetFeature, &now); e != XferError::None) return e;
    if (!report || len < 2 || report[0] != info.reportId) return XferError::InvalidParameter;
    Controller& c = *controller;
    if (!c.bulkArmed() || !replies.replyRead) return XferError::Other;
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
    const int longest = impl_->info.outputReportLength;
    if (longest > 0 && len > size_t(longest)) return XferError::InvalidParameter;
    impl_->outputs.emplace_back(report + 1, report + len);
    impl_->controller->outputReport(report + 1, len - 1);
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

void HidDevice::queueInput(std::vector<uint8_t> report) {
    {
        std::lock_guard g(*impl_->core->lock);
        impl_->inputs.push_back(std::move(report));
    }
    impl_->core->activity->bump();
}

void HidDevice::queueTouch(uint8_t status, uint16_t x, uint16_t y, std::optional<uint16_t> force) {
    const HidInfo& info = impl_->info;
    const size_t length = size_t(std::max(info.inputReportLength, 7));
    std::vector<uint8_t> r(length, 0);
    r[0] = info.touchReportId;
    const uint8_t packet[5] = {status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
    std::memcpy(r.data() + 1, packet, 5);
    if (force && info.productId == 0x3508 && length > 13) {
        r[11] = uint8_t(*force);
        r[12] = uint8_t(*force >> 8);
    }
    if (!info.inputReportIds) r.erase(r.begin());
    queueInput(std::move(r));
}

bool HidDevice::takeInput(std::vector<uint8_t>* report) {
    std::lock_guard g(*impl_->core->lock);
    if (impl_->removed || impl_->inputs.empty() || !report) return false;
    *report = std::move(impl_->inputs.front());
    impl_->inputs.pop_front();
    return true;
}

size_t HidDevice::queuedInput() const {
    std::lock_guard g(*impl_->core->lock);
    return impl_->removed ? 0 : impl_->inputs.size();
}

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
    uint64_t removedSeq = 0;  // order of removal, for replug
    ReplyBuffer replies;
    std::array<InjectedFailure, 3> failures;
    std::deque<uint32_t> notifyCodes;
    XferError notifyFailure = XferError::None;

    int pair() const { return info.ioctlPair == 1 ? 1 : 0; }

    uint32_t deviceCode() const {
        if (info.deviceCode) return *info.deviceCode;
        if (info.kind == 4) return 9000u << 16;
        if (info.kind == 1 || info.kind == 3) return 6000u << 16;
        return 1000u << 16;
    }
    uint32_t driverVersion() const {
        if (info.driverVersion) return *info.driverVersion;
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
    if (std::find(d.info.failingIoctls.begin(), d.info.failingIoctls.end(), code) != d.info.failingIoctls.end())
        return XferError::InvalidParameter;

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
            {
                const auto own = d.info.contactSampleRates.find(getU32(in));
                return d.answerU32(own != d.info.contactSampleRates.end() ? own->second : d.info.sampleRate, out,
                                   outLen, returned);
            }
        case kIoctlDeviceCode: return d.answerU32(d.deviceCode(), out, outLen, returned);
        case kIoctlVersionMajor: return d.answerU32(d.driverVersion() / 100, out, outLen, returned);
        case kIoctlVersionMinor: return d.answerU32(d.driverVersion() % 100, out, outLen, returned);
        case kIoctlPortIndex: return d.answerU32(d.info.portIndex, out, outLen, returned);
        // Settings the driver keeps for its controller (ControllerProfile::driver).
        case 0x223C20: case 0x223C70: case 0x223C80: case 0x223D20: case 0x223D34: case 0x223DAC:
            return d.controller->profile().driver.ioctl(code, in, inLen, out, outLen, returned);
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

void DriverDevice::pushNotify(uint32_t code) {
    {
        std::lock_guard g(*impl_->core->lock);
        impl_->notifyCodes.push_back(code);
    }
    impl_->core->activity->bump();
}

void DriverDevice::failNotify(XferError kind) {
    {
        std::lock_guard g(*impl_->core->lock);
        impl_->notifyFailure = kind;
    }
    impl_->core->activity->bump();
}

XferError DriverDevice::takeNotify(uint32_t ioctlCode, size_t outLen, std::optional<uint32_t>* code) {
    std::lock_guard g(*impl_->core->lock);
    Impl& d = *impl_;
    code->reset();
    if (d.removed || !d.controller->connected()) return XferError::NotFound;
    if (ioctlCode != kIoctlNotify || outLen < 4) return XferError::InvalidParameter;
    if (d.notifyFailure != XferError::None) {
        const XferError e = d.notifyFailure;
        d.notifyFailure = XferError::None;
        return e;
    }
    if (!d.notifyCodes.empty()) {
        *code = d.notifyCodes.front();
        d.notifyCodes.pop_front();
    }
    return XferError::None;
}

// ---------------------------------------------------------------- serial

struct SerialDevice::Impl {
    SerialInfo info;
    std::shared_ptr<Controller> controller;
    std::shared_ptr<BenchCore> core;
    bool removed = false;
    uint64_t removedSeq = 0;  // order of removal, for replug
    std::optional<uint32_t> hostBaud;
    std::vector<uint8_t> partial;
    uint64_t lastByteMs = 0;
    std::deque<uint8_t> output;
    uint64_t received = 0;
    int lateDuplicates = 0;            // replies still to be sent twice
    std::vector<uint8_t> heldCopy;     // the copy that goes out after the next command frame
    int corruptions = 0;               // replies still to be corrupted
    int splits = 0;                    // replies still to arrive in two parts
    std::vector<uint8_t> lateHalf;     // the rest of a split reply, after the next read
    int drops = 0;                     // replies still to lose their last byte
    bool hostRts = false;
    std::optional<std::string> pnp;    // nullopt: the series' default

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
        // A late copy of an earlier reply arrives once the next command is on the line.
        output.insert(output.end(), heldCopy.begin(), heldCopy.end());
        heldCopy.clear();
        auto reply = controller->handle(cmd, Link::Serial, nowMs);
        if (!reply) return;
        std::vector<uint8_t> frame(reply->begin(), reply->end());
        if (checksummed()) frame.push_back(checksum(reply->data()));
        if (corruptions > 0) {
            --corruptions;
            frame[4] = uint8_t(~frame[4]);
        }
        if (drops > 0) {
            --drops;
            frame.pop_back();
        }
        if (splits > 0) {
            --splits;
            const size_t first = std::min<size_t>(3, frame.size());
            output.insert(output.end(), frame.begin(), frame.begin() + long(first));
            lateHalf.assign(frame.begin() + long(first), frame.end());
        } else {
            output.insert(output.end(), frame.begin(), frame.end());
        }
        if (lateDuplicates > 0) {
            --lateDuplicates;
            heldCopy = frame;
        }
    }

    void receive(const uint8_t* data, size_t len, uint64_t nowMs) {
        received += len;
        if (info.empty) return;  // nobody on the line
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
    // The rest of a split reply is on the line once the host read its first part.
    if (impl_->output.empty() && !impl_->lateHalf.empty()) {
        impl_->output.insert(impl_->output.end(), impl_->lateHalf.begin(), impl_->lateHalf.end());
        impl_->lateHalf.clear();
    }
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
    impl_->lateHalf.clear();
}

void SerialDevice::duplicateLate(int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->lateDuplicates = std::max(0, count);
}

void SerialDevice::corruptReplies(int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->corruptions = std::max(0, count);
}

void SerialDevice::splitReplies(int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->splits = std::max(0, count);
}

void SerialDevice::dropLastByte(int count) {
    std::lock_guard g(*impl_->core->lock);
    impl_->drops = std::max(0, count);
}

void SerialDevice::queueOutput(const uint8_t* data, size_t len) {
    {
        std::lock_guard g(*impl_->core->lock);
        if (data) impl_->output.insert(impl_->output.end(), data, data + len);
    }
    impl_->core->activity->bump();
}

void SerialDevice::queueTouch(uint8_t status, uint16_t x, uint16_t y) {
    std::vector<uint8_t> frame;
    if (impl_->controller->profile().series == Series::Melk) {
        uint8_t s = status;
        if (s >> 4 != 0xF && s >> 4 != 0xB) s = uint8_t(((s >= 0x70 && s <= 0x7F) ? 0xF0 : 0xB0) | (s & 0x0F));
        frame = {s, uint8_t((x >> 7) & 0x7F), uint8_t(x & 0x7F), uint8_t((y >> 7) & 0x7F), uint8_t(y & 0x7F)};
    } else {
        frame = {status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
        frame.push_back(Impl::checksum(frame.data()));
    }
    queueOutput(frame.data(), frame.size());
}

void SerialDevice::setHostLines(uint32_t baud, bool rts) {
    bool send = false;
    {
        std::lock_guard g(*impl_->core->lock);
        send = baud == 1200 && impl_->hostRts && !rts;
        impl_->hostBaud = baud;
        impl_->hostRts = rts;
    }
    if (send) sendPnpIdentifier();
}

void SerialDevice::setPnpIdentifier(std::string text) {
    std::lock_guard g(*impl_->core->lock);
    impl_->pnp = std::move(text);
}

std::string SerialDevice::pnpIdentifier() const {
    std::lock_guard g(*impl_->core->lock);
    if (impl_->pnp) return *impl_->pnp;
    switch (impl_->controller->profile().series) {
        case Series::Ostra: return "(01QRV6000)";
        case Series::Melk: return "(01QRV9000)";
        case Series::Current: break;
    }
    return {};
}

void SerialDevice::sendPnpIdentifier() {
    std::string text = pnpIdentifier();
    std::vector<uint8_t> bytes;
    for (char c : text) bytes.push_back(uint8_t(c) | 0x80);  // the 7-bit identifier read at 8 data bits
    if (!bytes.empty()) queueOutput(bytes.data(), bytes.size());
}

void SerialDevice::resyncAfterGap(uint64_t nowMs) {
    std::lock_guard g(*impl_->core->lock);
    impl_->resync(nowMs);
}

// ---------------------------------------------------------------- device events

namespace {

// The watchers of one bench and the events still to be handed to them.
//
// Events are queued while the bench lock is held, so the queue is in plug order;
// they are handed out after the bench lock is released, by one thread at a time,
// so every watcher sees them in that order.
class WatcherHub {
public:
    uint64_t add(DeviceWatcher fn) {
        auto w = std::make_shared<Watcher>();
        w->fn = std::move(fn);
        std::lock_guard l(mutex_);
        w->id = nextId_++;
        watchers_.push_back(w);
        return w->id;
    }

    void remove(uint64_t id) {
        std::shared_ptr<Watcher> w;
        {
            std::lock_guard l(mutex_);
            auto it = std::find_if(watchers_.begin(), watchers_.end(), [&](auto& x) { return x->id == id; });
            if (it == watchers_.end()) return;
            w = *it;
            watchers_.erase(it);
        }
        // Waits for a call in progress on another thread; queued events skip it from now on.
        std::lock_guard running(w->running);
        w->active = false;
    }

    // Queues events for the present watchers; call with the bench lock held.
    // Returns the number to pass to deliver (0: nothing queued).
    uint64_t post(std::vector<DeviceEvent> events) {
        std::lock_guard l(mutex_);
        if (watchers_.empty() || events.empty()) return 0;
        for (auto& e : events) queue_.push_back(Pending{++posted_, std::move(e), watchers_});
        return posted_;
    }

    // Hands out the queue up to and including event number upTo; call without the bench lock.
    void deliver(uint64_t upTo) {
        if (upTo == 0) return;
        std::unique_lock l(mutex_);
        while (delivered_ < upTo) {
            if (draining_) {
                // A watcher plugged a device: the loop below it hands the event out next.
                if (drainer_ == std::this_thread::get_id()) return;
                changed_.wait(l);
                continue;
            }
            if (queue_.empty()) return;  // handed out, or dropped by a watcher that threw
            draining_ = true;
            drainer_ = std::this_thread::get_id();
            struct Done {
                WatcherHub& hub;
                std::unique_lock<std::mutex>& l;
                ~Done() {
                    if (!l.owns_lock()) l.lock();
                    hub.draining_ = false;
                    hub.changed_.notify_all();
                }
            } done{*this, l};
            while (!queue_.empty()) {
                Pending p = std::move(queue_.front());
                queue_.pop_front();
                l.unlock();
                for (auto& w : p.watchers) {
                    std::lock_guard running(w->running);
                    if (w->active) w->fn(p.event);
                }
                l.lock();
                delivered_ = p.seq;
                changed_.notify_all();
            }
        }
    }

private:
    struct Watcher {
        uint64_t id = 0;
        DeviceWatcher fn;
        // Held while fn runs; recursive so that fn may unwatch itself.
        std::recursive_mutex running;
        bool active = true;
    };
    struct Pending {
        uint64_t seq;
        DeviceEvent event;
        std::vector<std::shared_ptr<Watcher>> watchers;
    };

    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    std::vector<std::shared_ptr<Watcher>> watchers_;
    std::deque<Pending> queue_;
    uint64_t nextId_ = 1;
    uint64_t posted_ = 0, delivered_ = 0;
    bool draining_ = false;
    std::thread::id drainer_;
};

std::string lowerText(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

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
    uint64_t removals = 0;

    // Re-enumerating controllers on their way back (ControllerProfile::reenumeration).
    struct PendingArrival {
        std::string path;
        ControllerProfile::Reenumeration::Arrival arrival;
        uint64_t dueMs = 0;      // AfterMs: the virtual time it arrives from
        uint32_t listings = 0;   // AfterEnumerations: host listings still to come
    };
    std::vector<PendingArrival> pending;
    uint64_t enumerations = 0;

    WatcherHub watchers;
    // Settings by lower-cased key and value name.
    std::map<std::pair<std::string, std::string>, Setting> settings;

    static DeviceEvent event(bool arrival, const HidDevice& d) {
        return DeviceEvent{arrival, Link::Hid, d.info().path, d.info()};
    }
    static DeviceEvent event(bool arrival, const DriverDevice& d) {
        return DeviceEvent{arrival, Link::Driver, d.info().path, {}};
    }
    static DeviceEvent event(bool arrival, const SerialDevice& d) {
        return DeviceEvent{arrival, Link::Serial, d.info().path, {}};
    }

    template <typename D>
    static D* find(std::vector<std::unique_ptr<D>>& list, const std::string& path) {
        for (auto& d : list)
            if (d->info().path == path) return d.get();
        return nullptr;
    }
    template <typename D>
    bool take(std::vector<std::unique_ptr<D>>& list, std::vector<std::unique_ptr<D>>& gone, const std::string& path,
              std::vector<DeviceEvent>* events) {
        auto it = std::find_if(list.begin(), list.end(), [&](auto& d) { return d->info().path == path; });
        if (it == list.end()) return false;
        (*it)->impl_->removed = true;
        (*it)->impl_->removedSeq = ++removals;
        events->push_back(event(false, **it));
        gone.push_back(std::move(*it));
        list.erase(it);
        return true;
    }
    bool removeLocked(const std::string& path, std::vector<DeviceEvent>* events) {
        bool any = take(hid, goneHid, path, events);
        any |= take(driver, goneDriver, path, events);
        any |= take(serial, goneSerial, path, events);
        return any;
    }
    template <typename D>
    static std::vector<D*> all(std::vector<std::unique_ptr<D>>& list) {
        std::vector<D*> out;
        for (auto& d : list) out.push_back(d.get());
        return out;
    }
    // The most recently removed device at path in one gone list.
    template <typename D>
    static D* lastGone(std::vector<std::unique_ptr<D>>& gone, const std::string& path) {
        D* best = nullptr;
        for (auto& d : gone)
            if (d->info().path == path && (!best || d->impl_->removedSeq > best->impl_->removedSeq)) best = d.get();
        return best;
    }

    // Puts a new device on the bench; the caller holds the bench lock.
    template <typename D, typename Info>
    D& plug(std::vector<std::unique_ptr<D>>& list, std::shared_ptr<Controller> c, Info info,
            std::vector<DeviceEvent>* events) {
        removeLocked(info.path, events);  // plugging a device into a taken path replaces the old one
        c->attach(core->lock);
        auto d = std::make_unique<D>();
        d->impl_ = std::make_shared<typename D::Impl>();
        d->impl_->info = std::move(info);
        d->impl_->controller = std::move(c);
        d->impl_->core = core;
        list.push_back(std::move(d));
        events->push_back(event(true, *list.back()));
        return *list.back();
    }

    // plug() under the bench lock, then the events it caused, without the lock.
    template <typename D, typename Info>
    D& plugAndTell(std::vector<std::unique_ptr<D>>& list, std::shared_ptr<Controller> c, Info info) {
        D* d = nullptr;
        uint64_t events = 0;
        {
            std::lock_guard g(*core->lock);
            std::vector<DeviceEvent> e;
            d = &plug(list, std::move(c), std::move(info), &e);
            events = watchers.post(std::move(e));
        }
        core->activity->bump();
        watchers.deliver(events);
        return *d;  // removed again by a watcher, it still lives among the gone devices
    }
};

Bench::Bench() : impl_(std::make_unique<Impl>()) {
    impl_->core->reenumerate = [this](const std::string& path) {
        remove(path);
        using Arrival = ControllerProfile::Reenumeration::Arrival;
        ControllerProfile::Reenumeration how;
        {
            std::lock_guard g(mutex());
            if (HidDevice* d = Impl::lastGone(impl_->goneHid, path)) how = d->impl_->controller->profile().reenumeration;
            if (how.arrival == Arrival::AfterEnumerations && how.value == 0) how.arrival = Arrival::AtOnce;
            if (how.arrival == Arrival::AfterMs || how.arrival == Arrival::AfterEnumerations)
                impl_->pending.push_back({path, how.arrival, impl_->core->clock->nowMs() + how.value, how.value});
        }
        if (how.arrival == Arrival::AtOnce) replug(path);
    };
}

Bench::~Bench() {
    // A device a host still holds may outlive the bench: it re-enumerates nothing then.
    std::lock_guard g(impl_->core->reenumerateMutex);
    impl_->core->reenumerate = nullptr;
}

VirtualClock& Bench::clock() { return *impl_->core->clock; }
std::shared_ptr<VirtualClock> Bench::clockPtr() { return impl_->core->clock; }

void Bench::setLatencyMs(uint32_t ms) { impl_->core->latencyMs = ms; }
uint32_t Bench::latencyMs() const { return impl_->core->latencyMs; }

std::recursive_mutex& Bench::mutex() { return *impl_->core->lock; }
std::shared_ptr<Bench::Activity> Bench::activity() { return impl_->core->activity; }

HidDevice& Bench::addHid(std::shared_ptr<Controller> c, HidInfo info) {
    return impl_->plugAndTell(impl_->hid, std::move(c), std::move(info));
}

DriverDevice& Bench::addDriver(std::shared_ptr<Controller> c, DriverInfo info) {
    return impl_->plugAndTell(impl_->driver, std::move(c), std::move(info));
}

SerialDevice& Bench::addSerial(std::shared_ptr<Controller> c, SerialInfo info) {
    return impl_->plugAndTell(impl_->serial, std::move(c), std::move(info));
}

SerialDevice& Bench::addEmptySerialPort(const std::string& path) {
    SerialInfo info;
    info.path = path;
    info.empty = true;
    // A controller nobody reaches, so that controller() of the port is still valid.
    return addSerial(std::make_shared<Controller>(), std::move(info));
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
    bool any = false;
    uint64_t events = 0;
    {
        std::lock_guard g(mutex());
        std::vector<DeviceEvent> e;
        any = impl_->removeLocked(path, &e);
        events = impl_->watchers.post(std::move(e));
    }
    impl_->core->activity->bump();
    impl_->watchers.deliver(events);
    return any;
}

void Bench::enumerated() {
    std::vector<std::string> due;
    {
        std::lock_guard g(mutex());
        ++impl_->enumerations;
        const uint64_t now = impl_->core->clock->nowMs();
        auto& list = impl_->pending;
        for (auto it = list.begin(); it != list.end();) {
            const bool arrives = it->arrival == ControllerProfile::Reenumeration::Arrival::AfterMs
                                     ? now >= it->dueMs
                                     : --it->listings == 0;
            if (arrives) {
                due.push_back(it->path);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& path : due) replug(path);
}

uint64_t Bench::enumerations() const {
    std::lock_guard g(*impl_->core->lock);
    return impl_->enumerations;
}

bool Bench::replug(const std::string& path) {
    uint64_t events = 0;
    {
        std::lock_guard g(mutex());
        Impl& b = *impl_;
        if (Impl::find(b.hid, path) || Impl::find(b.driver, path) || Impl::find(b.serial, path)) return false;
        HidDevice* h = Impl::lastGone(b.goneHid, path);
        DriverDevice* d = Impl::lastGone(b.goneDriver, path);
        SerialDevice* s = Impl::lastGone(b.goneSerial, path);
        auto seq = [](auto* x) { return x ? x->impl_->removedSeq : 0; };
        const uint64_t last = std::max({seq(h), seq(d), seq(s)});
        if (last == 0) return false;
        std::vector<DeviceEvent> e;
        // The new link keeps how the old one answered polls, nothing of its transfers.
        if (seq(h) == last) {
            // A chip whose loader runs under its own product id arrives as that device.
            HidInfo info = h->impl_->info;
            const uint16_t own = h->impl_->ownProductId.value_or(info.productId);
            const ControllerProfile& p = h->impl_->controller->profile();
            const uint16_t now = p.inBoot && p.boot && p.boot->productId ? *p.boot->productId : own;
            if (now != info.productId) {
                char from[9], to[9];
                std::snprintf(from, sizeof from, "PID_%04X", info.productId);
                std::snprintf(to, sizeof to, "PID_%04X", now);
                std::string upper = info.parentInstanceId;
                for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
                if (size_t at = upper.find(from); at != std::string::npos) info.parentInstanceId.replace(at, 8, to);
                info.productId = now;
            }
            HidDevice& d = b.plug(b.hid, h->impl_->controller, std::move(info), &e);
            d.impl_->replies.answerOn = h->impl_->replies.answerOn;
            if (now != own) d.impl_->ownProductId = own;
        } else if (seq(d) == last) {
            b.plug(b.driver, d->impl_->controller, d->impl_->info, &e).impl_->replies.answerOn =
                d->impl_->replies.answerOn;
        } else {
            b.plug(b.serial, s->impl_->controller, s->impl_->info, &e);
        }
        events = b.watchers.post(std::move(e));
    }
    impl_->core->activity->bump();
    impl_->watchers.deliver(events);
    return true;
}

uint64_t Bench::watch(DeviceWatcher watcher) { return impl_->watchers.add(std::move(watcher)); }
void Bench::unwatch(uint64_t token) { impl_->watchers.remove(token); }

void Bench::setSettingString(const std::string& key, const std::string& value, const std::string& text) {
    std::lock_guard g(mutex());
    impl_->settings[{lowerText(key), lowerText(value)}] = text;
}

void Bench::setSettingDword(const std::string& key, const std::string& value, uint32_t n) {
    std::lock_guard g(mutex());
    impl_->settings[{lowerText(key), lowerText(value)}] = n;
}

void Bench::removeSetting(const std::string& key, const std::string& value) {
    std::lock_guard g(mutex());
    impl_->settings.erase({lowerText(key), lowerText(value)});
}

std::optional<Bench::Setting> Bench::setting(const std::string& key, const std::string& value) const {
    std::lock_guard g(*impl_->core->lock);
    auto it = impl_->settings.find({lowerText(key), lowerText(value)});
    if (it == impl_->settings.end()) return std::nullopt;
    return it->second;
}

}  // namespace qvsim
