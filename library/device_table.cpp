// The device table: 16 records of known controllers, keyed by the handle the
// library opened, with registration, naming, open and close.
#include "internal.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace qvlib {

DevInfo g_devInfo[kSlotCount];
SlotThread g_slotThread[kSlotCount];
std::atomic<uint32_t> g_driverIoctlSwitch{0};
LastTouchDevice g_lastTouchDevice;
std::atomic<int> g_debugEnable{0};
std::atomic<int> g_debugValue{0};

DevInfo EmptyDevInfo() {
    DevInfo d;
    std::memset(&d, 0, sizeof d);
    d.hDevice = invalidHandle();
    return d;
}

int FindDeviceSlot(HANDLE h) {
    if (h == invalidHandle()) return kNoSlot;
    auto table = TableLock();
    for (int i = 0; i < kSlotCount; ++i)
        if (g_devInfo[i].hDevice == h) return i;
    return kNoSlot;
}

int SlotOfPath(const char* path) {
    if (!path || !path[0]) return kNoSlot;
    auto table = TableLock();
    for (int i = 0; i < kSlotCount; ++i)
        if (std::strcmp(g_devInfo[i].szPath, path) == 0 || std::strcmp(g_devInfo[i].szAltPath, path) == 0) return i;
    return kNoSlot;
}

DevInfo* SlotRecord(HANDLE h) {
    int slot = FindDeviceSlot(h);
    return slot == kNoSlot ? nullptr : &g_devInfo[slot];
}

void StartDriverNotify(int slot) {
    SlotThread& t = g_slotThread[slot];
    if (t.running) return;
    if (t.thread.joinable()) t.thread.join();
    t.stop.reset();
    t.running = true;
    t.thread = std::thread(RunDriverNotify, slot, g_devInfo[slot].hDevice);
}

void StopSlotThread(int slot) {
    SlotThread& t = g_slotThread[slot];
    if (!t.running && !t.thread.joinable()) return;
    t.stop.set();
    if (t.thread.joinable()) t.thread.join();
    t.running = false;
}

namespace {

// The slot a record with this key registers into: the slot with the same key, else
// the first free one; kNoSlot when the table is full. Call with TableLock held.
int SlotForKey(const char* key) {
    for (int i = 0; i < kSlotCount; ++i)
        if (key[0] && std::strcmp(g_devInfo[i].szKey, key) == 0) return i;
    for (int i = 0; i < kSlotCount; ++i)
        if (g_devInfo[i].szKey[0] == 0) return i;
    return kNoSlot;
}

void RegisterInto(int slot, const DevInfo& record, std::unique_lock<std::recursive_mutex>& table);

}  // namespace

void RegisterDeviceSlot(DevInfo record) {
    // The slot is chosen, then locked, then chosen again under both locks: another
    // registration may have taken that free slot in between.
    for (;;) {
        int slot;
        {
            auto table = TableLock();
            slot = SlotForKey(record.szKey);
        }
        if (slot == kNoSlot) return;  // the table is full: the device is not kept
        DeviceLock lock(DeviceLock::Slot{slot});
        auto table = TableLock();
        if (SlotForKey(record.szKey) != slot) continue;
        RegisterInto(slot, record, table);
        return;
    }
}

namespace {

// Registers record into its slot, whose lock the caller holds; table is held on
// entry and released before the first command.
void RegisterInto(int slot, const DevInfo& record, std::unique_lock<std::recursive_mutex>& table) {
    DevInfo& d = g_devInfo[slot];
    if (d.dwSize == 0) d.dwSize = kDevInfoSize;
    // A slot that is still open (a Find after an enumeration that left it open)
    // takes the new probe handle: the old one is closed, not lost. No export can
    // reach it any more, since handles are looked up through the table.
    if (d.hDevice != invalidHandle() && d.hDevice != record.hDevice) {
        const HANDLE old = d.hDevice;
        d.hDevice = invalidHandle();
        if (g_slotThread[slot].running) {
            table.unlock();
            StopSlotThread(slot);
            table.lock();
        }
        qvp::backend().close(old);
    }
    d.hDevice = record.hDevice;
    // A record that carries an alternate path (a controller found in its boot
    // loader) updates the slot's alternate paths and leaves the primary ones.
    if (record.szAltPath[0]) {
        CopyWide(d.szAltPathW, kPathChars, record.szAltPathW);
        CopyNarrow(d.szAltPath, kPathChars, record.szAltPath);
    } else {
        CopyWide(d.szPathW, kPathChars, record.szPathW);
        CopyNarrow(d.szPath, kPathChars, record.szPath);
    }
    CopyNarrow(d.szParentId, kPathChars, record.szParentId);
    if (d.szKey[0] == 0) {
        CopyWide(d.szKeyW, kKeyChars, record.szKeyW);
        CopyNarrow(d.szKey, kKeyChars, record.szKey);
    }
    d.dwDeviceType = record.dwDeviceType;
    d.dwLocation = record.dwLocation;
    d.dwBaudRate = record.dwBaudRate;
    d.dwProductId = record.dwProductId;
    d.bWin8Ptl = record.bWin8Ptl;
    d.wReserved = record.wReserved;
    d.byQVOstraMelk = record.byQVOstraMelk;
    d.byTiming = 50;
    table.unlock();

    const HANDLE h = d.hDevice;
    uint8_t reply[5] = {};
    if (record.byBootMarker == 0xF4) Command(h, 0xF4, 0x00, 0xAA, 0x00, 0x00, reply);  // select the master

    d.byBootMarker = 0;
    d.dwParaVersion = 0;
    std::memset(d.byFeature, 0, sizeof d.byFeature);
    std::memset(d.byBridgeFeature, 0, sizeof d.byBridgeFeature);
    std::memset(&d.diag, 0, sizeof d.diag);

    if (d.byQVOstraMelk != QV_SERIES_CURRENT) {
        d.byTiming = 30;
        return;
    }

    if (Command(h, 0xE0, 0x00, 0xF4, 0x00, 0x00, reply)) std::memcpy(d.byFeature, reply + 1, 4);
    if (Command(h, 0xE0, 0x00, 0xFC, 0x00, 0x00, reply)) std::memcpy(d.byFeature + 4, reply + 1, 4);

    if ((d.byFeature[0] & 0x82) == 0x82 && Command(h, 0xF6, 0x00, 0x10, 0x00, 0x00, reply) &&
        reply[1] != 0xFF && reply[2] != 0xFF)
        d.dwParaVersion = reply[3] * 100u + reply[4];

    d.bBridgeSame = 0;
    if (Command(h, 0xE9, 0x00, 0x00, 0x00, 0x00, reply)) {
        std::memcpy(d.byBridgeFeature, reply + 1, 4);
        if (reply[1] | reply[2] | reply[3] | reply[4]) d.byBridgeFeature[4] = 0xFF;
        if (std::memcmp(reply + 1, d.byFeature, 4) == 0) d.bBridgeSame = 1;
    }

    d.byBootVersion = 0;
    if (Command(h, 0xEE, 0xAA, 0x00, 0x00, 0x00, reply) && reply[1] == 0x55) d.byBootVersion = reply[4];

    bool fast = Command(h, 0xE7, 0x00, 0x00, 0x00, 0x00, reply) && reply[1] == 0x00 && reply[2] == 0x55;
    d.byTiming = fast ? 5 : 50;

    ProbeSensorGeometry(slot);
}

}  // namespace

static uint32_t ModelNumber(DevInfo& record, const uint8_t id[5]) {
    uint32_t number;
    if (record.byQVOstraMelk == QV_SERIES_MELK)
        number = 9000;
    else if (record.byQVOstraMelk == QV_SERIES_OSTRA)
        number = id[1] * 256u + id[2];
    else
        number = id[2] * 256u + id[1];
    if (number & 0x8000) {
        // The identity of a controller whose master must be selected first.
        record.byBootMarker = 0xF4;
        number &= ~0x8000u;
    }
    return number;
}

static void FormatName(const DevInfo& record, uint32_t number, const uint8_t id[5], char* out) {
    if (record.byQVOstraMelk == QV_SERIES_CURRENT && id[4] != 0)
        std::snprintf(out, kKeyChars, "QV%d%c", static_cast<int>(number), static_cast<char>(id[4] + 0x40));
    else
        std::snprintf(out, kKeyChars, "QV%d", static_cast<int>(number));
}

void NameAndRegisterDeviceW(DevInfo& record, const uint8_t identity[5], char16_t* name) {
    char narrow[kKeyChars];
    FormatName(record, ModelNumber(record, identity), identity, narrow);
    if (name) NarrowToWide(name, kKeyChars, narrow);
    RegisterDeviceSlot(record);
}

void FormatModelName(DevInfo& record, const uint8_t identity[5], char* name) {
    char narrow[kKeyChars];
    FormatName(record, ModelNumber(record, identity), identity, narrow);
    if (name) CopyNarrow(name, kKeyChars, narrow);
    RegisterDeviceSlot(record);
}

void LibraryAttach(bool selectBackend) {
    // A QV_SIM that names no profile is said once, on stderr, where whoever set
    // it looks; the library then simulates no controllers rather than reach
    // real ones.
    if (selectBackend && !qvp::selectFromEnvironment())
        std::fprintf(stderr, "QV_Standard: %s\n", qvp::lastError().text.c_str());
    for (int i = 0; i < kSlotCount; ++i) {
        g_devInfo[i] = EmptyDevInfo();
        SlotThread& t = g_slotThread[i];
        t.running = false;
        t.stop.reset();
    }
    g_driverIoctlSwitch = 0;
    g_driverVersionDecided = false;
    g_debugEnable = 0;
    g_debugValue = 0;
    auto table = TableLock();
    g_lastTouchDevice = LastTouchDevice{};
}

void LibraryDetach() {
    // Every notify thread is stopped and joined before its slot goes away.
    StopTouchNotifyAtUnload();
    for (int i = 0; i < kSlotCount; ++i) {
        DeviceLock lock(DeviceLock::Slot{i});
        StopSlotThread(i);
        HANDLE h;
        {
            auto table = TableLock();
            h = g_devInfo[i].hDevice;
            g_devInfo[i].hDevice = invalidHandle();
        }
        if (h != invalidHandle()) qvp::backend().close(h);
        FreeParameterLists(i);
    }
    LogCloseAtUnload();
}


// Opens the slot matching a path. Wide and narrow paths compare with their own fields.
template <typename Match>
static int OpenMatching(Match matches, HANDLE* out) {
    if (!out) return 0;
    for (int i = 0; i < kSlotCount; ++i) {
        bool alt = false;
        {
            auto table = TableLock();
            if (!matches(g_devInfo[i], &alt)) continue;
        }
        DeviceLock lock(DeviceLock::Slot{i});
        auto table = TableLock();
        DevInfo& d = g_devInfo[i];
        alt = false;
        if (!matches(d, &alt)) continue;  // the slot changed before it was locked
        if (d.hDevice == invalidHandle()) {
            const std::string path = alt ? d.szAltPath : d.szPath;
            qvp::DeviceKind kind = (d.dwDeviceType & QV_DEVICE_HID)     ? qvp::DeviceKind::Hid
                                   : (d.dwDeviceType & QV_DEVICE_RS232) ? qvp::DeviceKind::Serial
                                                                        : qvp::DeviceKind::Driver;
            table.unlock();
            HANDLE h = qvp::backend().open(path, kind);
            if (h == invalidHandle()) {
                LogPlatformFailure("OpenDevice");
                return 0;
            }
            table.lock();
            d.hDevice = h;
        }
        const HANDLE h = d.hDevice;
        table.unlock();
        if (IsDriverDevice(d) && !g_slotThread[i].running) StartDriverNotify(i);
        *out = h;
        return 1;
    }
    return 0;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int OpenDeviceW(const QVWCHAR* path, HANDLE* handle) {
    // An empty path names no device (most records have an empty alternate path).
    if (!path || !path[0]) return 0;
    const std::u16string_view want(path);
    return OpenMatching(
        [&](const DevInfo& d, bool* alt) {
            if (want == std::u16string_view(d.szPathW)) return true;
            if (want == std::u16string_view(d.szAltPathW)) {
                *alt = true;
                return true;
            }
            return false;
        },
        handle);
}

QV_API int OpenDeviceA(const char* path, HANDLE* handle) {
    if (!path || !path[0]) return 0;
    return OpenMatching(
        [&](const DevInfo& d, bool* alt) {
            if (d.szPath[0] && std::strcmp(d.szPath, path) == 0) return true;
            if (d.szAltPath[0] && std::strcmp(d.szAltPath, path) == 0) {
                *alt = true;
                return true;
            }
            return false;
        },
        handle);
}

QV_API int OpenDevice(const char* path, HANDLE* handle) __attribute__((alias("OpenDeviceA")));

QV_API int CloseDevice(HANDLE handle) {
    if (handle == invalidHandle()) return 1;
    DeviceLock lock(handle);
    if (lock) {
        const int slot = lock.slot();
        // The slot's notify thread uses the handle: it ends (joined) before the close.
        StopSlotThread(slot);
        {
            auto table = TableLock();
            g_devInfo[slot].hDevice = invalidHandle();
        }
        qvp::backend().close(handle);
        return 1;
    }
    // A handle the library does not hold: the identity command goes nowhere and
    // only its log lines show the attempt; the handle stays as it is.
    uint8_t reply[5] = {};
    const uint8_t cmd[5] = {0xEE, 0x00, 0x00, 0x00, 0x00};
    SendCmd(handle, cmd, reply);
    return 1;
}

QV_API int GetDeviceType(HANDLE handle, uint32_t* type) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !type) return 0;
    *type = d->dwDeviceType;
    return 1;
}

QV_API int GetProductID(HANDLE handle, uint32_t* productId) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !productId || !(d->dwDeviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER))) return 0;
    *productId = d->dwProductId;
    return 1;
}

QV_API int GetBaudRate(HANDLE handle, uint32_t* baud) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !baud) return 0;
    if (d->dwDeviceType & QV_DEVICE_RS232) {
        *baud = d->dwBaudRate;
        return 1;
    }
    if (d->dwDeviceType & QV_DEVICE_DRIVER_EX) {
        uint32_t returned = 0;
        uint8_t out[4];
        // The driver's answer is taken when it gives one; the export reports 1 either way.
        if (qvp::backend().driverIoctl(d->hDevice, 0x223CB4, nullptr, 0, out, sizeof out, &returned) &&
            returned == sizeof out)
            std::memcpy(baud, out, sizeof out);
        return 1;
    }
    return 0;
}

QV_API int GetQVOstraMelk(HANDLE handle, uint8_t* series) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !series) return 0;
    *series = d->byQVOstraMelk;
    return 1;
}

QV_API int GetDriverSampleRate(HANDLE handle, uint32_t id, uint32_t* rate) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !rate || !IsDriverDevice(*d)) return 0;
    uint32_t returned = 0;
    return qvp::backend().driverIoctl(d->hDevice, 0x223DFC, &id, sizeof id, rate, sizeof *rate,
                                      &returned)
               ? 1
               : 0;
}

QV_API int DebugCallBackEn(int enable, int value) {
    g_debugEnable = enable;
    if (enable) g_debugValue = value;
    return 1;
}

}  // extern "C"

namespace {
// The library's load and unload steps. A static object defined after the table
// in this file, so the table and its threads exist before it runs and are still
// there when it is destroyed.
struct LoadHook {
    LoadHook() { qvlib::LibraryAttach(true); }
    ~LoadHook() { qvlib::LibraryDetach(); }
} g_loadHook;
}  // namespace
