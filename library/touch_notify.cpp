// Touch and force notifications: the input thread over the touch-screen nodes,
// the driver-notify and serial reader threads of the slots, and the exports
// that start and stop them. Every thread ends in the same decoder
// (touch_decoder.h) and calls the registered callback with no library lock
// held.
#include "internal.h"
#include "touch_decoder.h"

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace qvlib {

namespace {

using touch::TouchCall;

std::atomic<QVTouchNotifyCallback> g_touchCallback{nullptr};
std::atomic<QVTouchNotifyCallbackEx> g_touchCallbackEx{nullptr};
std::atomic<QVForceNotifyCallback> g_forceCallback{nullptr};
std::atomic<bool> g_forceEnabled{false};

// The notifications' life: `active` from a register until its unregister has
// joined everything (a second register meanwhile is refused); `starting` while
// the input thread sets itself up (an unregister waits for it to end).
struct Lifecycle {
    std::mutex mutex;  // everything below
    std::condition_variable cv;
    bool starting = false;
    std::thread input;
    qvp::InputReportSource* source = nullptr;  // owned by the input thread while it runs
    bool stopping = false;
};
std::atomic<bool> g_active{false};

Lifecycle& Life() {
    static auto* l = new Lifecycle;  // never destroyed: the unload step uses it at exit
    return *l;
}

thread_local bool t_inCallback = false;

// ---- slot lookup of a node (the hit and miss rings) --------------------------------

struct RingEntry {
    std::string node;  // empty: unused
    int slot = kNoSlot;
};
struct Ring {
    std::array<RingEntry, 16> entries;
    size_t next = 0;
    void put(const std::string& node, int slot) {
        entries[next] = RingEntry{node, slot};
        next = (next + 1) % entries.size();
    }
};
// The PnP test of each slot, shared by the test and the slot's reader.
struct PnpTest {
    std::mutex mutex;
    std::condition_variable cv;
    bool on = false;
    touch::PnpMatcher matcher;
};

// The state the notification threads share. Made once and never destroyed: a
// thread may still run while the process ends, before the unload step joins it.
struct Shared {
    touch::Decoder decoder;
    std::mutex ringMutex;  // the rings
    Ring hitRing, missRing;
    std::array<PnpTest, kSlotCount> pnp;
    // One assembler per port: the streams of two ports never mix.
    std::array<touch::SerialAssembler, kSlotCount> assemblers;
};

Shared& S() {
    static auto* s = new Shared;
    return *s;
}

void ResetRings() {
    std::lock_guard lock(S().ringMutex);
    S().hitRing = Ring{};
    S().missRing = Ring{};
}

// The USB parent of a HID slot's path, as the platform reads it ("" when none).
std::string ParentOfPath(const std::string& path) {
    std::string parent;
    if (path.empty() || !qvp::backend().parentInstanceId(path, &parent)) return {};
    return parent;
}

// The slot of a report's node: a HID slot whose path is the node (ignoring
// case) or whose USB device the node belongs to (its touch interface is a node
// of its own), else a driver slot of the node's USB parent; kNoSlot for none.
int LookUpSlot(const qvp::InputNode& node) {
    struct Candidate {
        int slot;
        std::string path, parentId;
        bool hid;
    };
    std::vector<Candidate> candidates;
    {
        auto table = TableLock();
        for (int i = 0; i < kSlotCount; ++i) {
            const DevInfo& d = g_devInfo[i];
            if (d.dwDeviceType & QV_DEVICE_HID) candidates.push_back({i, d.szPath, {}, true});
            else if (IsDriverDevice(d)) candidates.push_back({i, {}, d.szParentId, false});
        }
    }
    for (const auto& c : candidates)
        if (c.hid && EqualsIgnoreCase(c.path, node.path)) return c.slot;
    if (!node.hasParent || node.parentInstanceId.empty()) return kNoSlot;
    for (const auto& c : candidates)
        if (c.hid && EqualsIgnoreCase(ParentOfPath(c.path), node.parentInstanceId)) return c.slot;
    for (const auto& c : candidates)
        if (!c.hid && EqualsIgnoreCase(c.parentId, node.parentInstanceId)) return c.slot;
    return kNoSlot;
}

int SlotOfNode(const std::string& path, const qvp::InputNode& node) {
    {
        std::lock_guard lock(S().ringMutex);
        for (const Ring* ring : {&S().hitRing, &S().missRing})
            for (const auto& e : ring->entries)
                if (!e.node.empty() && e.node == path) return e.slot;
    }
    const int slot = LookUpSlot(node);
    std::lock_guard lock(S().ringMutex);
    (slot == kNoSlot ? S().missRing : S().hitRing).put(path, slot);
    return slot;
}

// ---- delivery ------------------------------------------------------------------------

HANDLE HandleOfSlot(int slot) {
    if (slot < 0 || slot >= kSlotCount) return invalidHandle();
    auto table = TableLock();
    return g_devInfo[slot].hDevice;
}

void Deliver(int slot, const TouchCall& call) {
    const auto ex = g_touchCallbackEx.load();
    const auto plain = g_touchCallback.load();
    if (!ex && !plain) return;
    t_inCallback = true;
    if (ex) ex(call.state, call.x, call.y, HandleOfSlot(slot));
    else plain(call.state, call.x, call.y);
    t_inCallback = false;
}

void DecodeAndDeliver(int slot, const uint8_t packet[5]) {
    TouchCall call;
    if (S().decoder.decode(slot, packet, &call)) Deliver(slot, call);
}

// One HID input report (its report-id byte first) of a node.
void HandleReport(const qvp::InputReport& report, qvp::InputReportSource& source) {
    qvp::InputNode node;
    if (!source.node(report.path, &node)) return;  // gone since it sent the report
    {
        auto table = TableLock();
        g_lastTouchDevice.known = true;
        g_lastTouchDevice.name = report.path;
        g_lastTouchDevice.parentId = node.hasParent ? node.parentInstanceId : std::string();
    }
    const int slot = SlotOfNode(report.path, node);
    if (slot == kNoSlot && node.vendorId != 0x2E7B) return;
    bool form3508 = false;
    if (slot != kNoSlot) {
        auto table = TableLock();
        form3508 = g_devInfo[slot].bWin8Ptl == 0x3508;
    }
    const auto packets = touch::PacketsOfReport(report.bytes.data(), report.bytes.size(), form3508);
    for (const auto& p : packets) DecodeAndDeliver(slot, p.data());
    const auto layout = touch::LayoutOfReport(report.bytes.data(), report.bytes.size(), form3508);
    if (g_forceEnabled && layout.hasForce && layout.packets > 0) {
        if (auto force = g_forceCallback.load()) {
            t_inCallback = true;
            force(0, layout.force);
            t_inCallback = false;
        }
    }
}

// ---- waits that another thread ends ------------------------------------------------------

// Up to 50 steps of 100 ms until done() holds: each step advances the library's
// clock by 100 ms (virtual time under the simulator) and then waits on cv in real
// time for the rest of the step, so a condition another thread sets ends the
// wait on either clock. Call with lock held.
template <typename Done>
bool WaitInSteps(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Done done) {
    using namespace std::chrono;
    for (int step = 0; step < 50 && !done(); ++step) {
        const auto begin = steady_clock::now();
        lock.unlock();
        qvp::sleepMs(100);
        lock.lock();
        const auto left = milliseconds(100) - duration_cast<milliseconds>(steady_clock::now() - begin);
        if (left > milliseconds(0)) cv.wait_for(lock, left, done);
    }
    return done();
}

// ---- the input thread ------------------------------------------------------------------

void StartDriverThreads() {
    for (int i = 0; i < kSlotCount; ++i) {
        DeviceLock lock(DeviceLock::Slot{i});
        bool driverOpen;
        {
            auto table = TableLock();
            driverOpen = IsDriverDevice(g_devInfo[i]) && g_devInfo[i].hDevice != invalidHandle();
        }
        if (driverOpen && !g_slotThread[i].running) StartDriverNotify(i);
    }
}

void InputThread() {
    StartDriverThreads();
    std::unique_ptr<qvp::InputReportSource> source = qvp::backend().openInputReports();
    if (!source) debug_log_msg(kDbgError, "touch input: %s\n", qvp::lastError().text.c_str());
    {
        std::lock_guard lock(Life().mutex);
        Life().source = source.get();
        Life().starting = false;
        if (Life().stopping && source) source->wake();
    }
    Life().cv.notify_all();
    if (!source) return;
    std::vector<qvp::InputReport> reports;
    for (;;) {
        bool nodesChanged = false;
        if (source->next(&reports, &nodesChanged) != qvp::WaitEnd::Done) break;
        if (nodesChanged) ResetRings();  // a node name may stand for another device now
        for (const auto& r : reports) HandleReport(r, *source);
    }
    std::lock_guard lock(Life().mutex);
    Life().source = nullptr;
    source.reset();
}

int Register(QVTouchNotifyCallback plain, QVTouchNotifyCallbackEx ex) {
    if (!plain && !ex) return 0;
    if (g_active.exchange(true)) return 0;  // running already
    S().decoder.reset();
    ResetRings();
    g_touchCallback = plain;
    g_touchCallbackEx = ex;
    Lifecycle& l = Life();
    std::lock_guard lock(l.mutex);
    l.starting = true;
    l.stopping = false;
    try {
        l.input = std::thread(InputThread);
    } catch (const std::system_error&) {
        // No thread: nothing to wait for, and the next register may try again.
        l.starting = false;
        g_touchCallback = nullptr;
        g_touchCallbackEx = nullptr;
        g_active = false;
        return 0;
    }
    return 1;
}

// Stops the slot threads of the slots that match, each under its slot's lock.
template <typename Match>
void StopSlotThreads(Match match) {
    for (int i = 0; i < kSlotCount; ++i) {
        DeviceLock lock(DeviceLock::Slot{i});
        bool matches;
        {
            auto table = TableLock();
            matches = match(g_devInfo[i]);
        }
        if (matches) StopSlotThread(i);
    }
}

void Unregister() {
    Lifecycle& l = Life();
    {
        // The input thread starts the driver threads first: they are stopped once it has.
        std::unique_lock lock(l.mutex);
        l.stopping = true;
        if (!WaitInSteps(lock, l.cv, [&] { return !l.starting; }))
            debug_log_msg(kDbgError, "touch input: the input thread did not start in time\n");
    }
    StopSlotThreads([](const DevInfo&) { return true; });
    std::thread input;
    {
        std::lock_guard lock(l.mutex);
        if (l.source) l.source->wake();
        input = std::move(l.input);
    }
    if (input.joinable()) input.join();
    g_touchCallback = nullptr;
    g_touchCallbackEx = nullptr;
}

// ---- serial readers ------------------------------------------------------------------

void ReaderThread(int slot, HANDLE h, uint8_t series) {
    SlotThread& t = g_slotThread[slot];
    touch::SerialAssembler& assembler = S().assemblers[size_t(slot)];
    assembler.setSeries(series);
    auto& be = qvp::backend();
    std::vector<std::array<uint8_t, 5>> packets;
    uint8_t buffer[300];
    while (!t.stop.isSet()) {
        if (be.serialWaitReadable(h, t.stop) != qvp::WaitEnd::Done) break;  // stopped, or the port failed
        size_t got = 0;
        {
            // The port is also the command exchanges' one: a read waits for the
            // exchange under way. The lock is only tried, so a thread that stops
            // this reader while holding it is never waited for.
            DeviceLock lock(DeviceLock::Slot{slot}, std::try_to_lock);
            if (!lock) {
                t.stop.waitFor(1);
                continue;
            }
            {
                auto table = TableLock();
                if (g_devInfo[slot].hDevice != h) break;  // closed meanwhile
            }
            if (!be.serialRead(h, buffer, sizeof buffer, &got)) {
                LogPlatformFailure("touch reader");
                break;
            }
        }
        if (got == 0) continue;
        {
            PnpTest& pnp = S().pnp[size_t(slot)];
            std::lock_guard lock(pnp.mutex);
            if (pnp.on) {
                pnp.matcher.feed(buffer, got);
                pnp.cv.notify_all();
                continue;
            }
        }
        packets.clear();
        assembler.feed(buffer, got, &packets);
        for (const auto& p : packets) DecodeAndDeliver(slot, p.data());
    }
    t.running = false;
}

void StartReader(int slot) {
    SlotThread& t = g_slotThread[slot];
    if (t.running) return;
    HANDLE h;
    uint8_t series;
    {
        auto table = TableLock();
        const DevInfo& d = g_devInfo[slot];
        if (!(d.dwDeviceType & QV_DEVICE_RS232) || d.hDevice == invalidHandle()) return;
        h = d.hDevice;
        series = d.byQVOstraMelk;
    }
    if (t.thread.joinable()) t.thread.join();
    t.stop.reset();
    t.running = true;
    t.thread = std::thread(ReaderThread, slot, h, series);
}

}  // namespace

// ---- driver notify ------------------------------------------------------------------------

void RunDriverNotify(int slot, HANDLE h) {
    SlotThread& t = g_slotThread[slot];
    for (;;) {
        uint8_t out[4] = {};
        uint32_t returned = 0;
        // A wait that completes at once (the code was there already) is decoded like
        // one that completed later.
        const auto end = qvp::backend().driverIoctlWait(h, 0x223C48, out, sizeof out, &returned, t.stop);
        if (end != qvp::WaitEnd::Done) {
            if (end == qvp::WaitEnd::Failed) debug_log_msg(kDbgInfo, "driver notify: %s\n", qvp::lastError().text.c_str());
            break;
        }
        const uint8_t code = out[0];
        if (returned >= 1 && (code == 0x0A || code == 0x8A)) {
            const uint8_t packet[5] = {code, 0xFE, 0xDC, 0xBA, 0x98};
            DecodeAndDeliver(slot, packet);
        }
    }
    t.running = false;
}

void BeginPnpTest(int slot, uint8_t series) {
    PnpTest& p = S().pnp[size_t(slot)];
    std::lock_guard lock(p.mutex);
    p.matcher.restart(series);
    p.on = true;
}

uint8_t WaitPnpResult(int slot) {
    PnpTest& p = S().pnp[size_t(slot)];
    std::unique_lock lock(p.mutex);
    WaitInSteps(lock, p.cv, [&] { return p.matcher.result() != 0; });
    return p.matcher.result();
}

void EndPnpTest(int slot) {
    PnpTest& p = S().pnp[size_t(slot)];
    std::lock_guard lock(p.mutex);
    p.on = false;
}

void StopTouchNotifyAtUnload() {
    if (g_active) {
        Unregister();
        g_active = false;
    }
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int RegisterTouchNotify(QVTouchNotifyCallback callback) { return callback ? Register(callback, nullptr) : 0; }

QV_API int RegisterTouchNotifyEx(QVTouchNotifyCallbackEx callback) {
    return callback ? Register(nullptr, callback) : 0;
}

QV_API int UnRegisterTouchNotify(void) {
    // From a callback the thread would wait for itself.
    if (t_inCallback) return 0;
    if (!g_active) return 1;
    Unregister();
    g_active = false;
    return 1;
}

QV_API int RegisterForceNotify(QVForceNotifyCallback callback) {
    if (!callback) return 0;
    g_forceCallback = callback;
    g_forceEnabled = true;
    return 1;
}

QV_API int UnRegisterForceNotify(void) {
    g_forceEnabled = false;
    return 1;
}

QV_API int CreateComPortTouchNotify(void) {
    if (!g_active) return 0;
    for (int i = 0; i < kSlotCount; ++i) {
        DeviceLock lock(DeviceLock::Slot{i});
        StartReader(i);
    }
    return 1;
}

QV_API int CloseComPortTouchNotify(void) {
    if (!g_active) return 0;
    if (t_inCallback) return 0;  // a reader would join itself
    StopSlotThreads([](const DevInfo& d) { return (d.dwDeviceType & QV_DEVICE_RS232) != 0; });
    return 1;
}

QV_API int GetHeadCnt(int set, int* value) {
    if (!value) return 0;
    if (set) S().decoder.setCapture(*value != 0);
    else *value = S().decoder.captureCount();
    return 1;
}

QV_API int GetTouchHead(int position, uint8_t* out) {
    if (!out) return 0;
    return S().decoder.captureByte(position, out) ? 1 : 0;
}

QV_API int CheckLastTouchDeviceHandle(HANDLE handle, int* isLast) {
    if (isLast) *isLast = 0;
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !isLast) return 0;
    LastTouchDevice last;
    std::string path, parentId;
    uint32_t type;
    {
        auto table = TableLock();
        last = g_lastTouchDevice;
        path = d->szPath;
        parentId = d->szParentId;
        type = d->dwDeviceType;
    }
    if (!last.known) return 1;
    // The same rule as the slot lookup of a report.
    if (type & QV_DEVICE_HID) {
        *isLast = EqualsIgnoreCase(last.name.substr(0, kPathChars - 1), path) ||
                  (!last.parentId.empty() && EqualsIgnoreCase(ParentOfPath(path), last.parentId));
    } else if (type & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX)) {
        *isLast = !last.parentId.empty() && EqualsIgnoreCase(last.parentId, parentId);
    }
    return 1;
}

}  // extern "C"
