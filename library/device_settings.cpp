// A controller's simple settings: data report, scanning, touch reports, reset,
// monitor id, HID report type, the driver-kept settings, the boot loader's
// packet size, output reports and the boot-loader switch before an update.
#include "internal.h"

#include <cstring>

namespace qvlib {
namespace {

constexpr uint32_t kIoctlDriverMajor = 0x223C00;
constexpr uint32_t kIoctlDriverMinor = 0x223C04;
constexpr uint32_t kIoctlDriverBuild = 0x223C80;
constexpr uint32_t kIoctlRightButton = 0x223C20;
constexpr uint32_t kIoctlTouchAndHold = 0x223C70;
constexpr uint32_t kIoctlDataReport = 0x223D20;
constexpr uint32_t kIoctlTouchType = 0x223D34;
constexpr uint32_t kIoctlMonitorId = 0x223DAC;

// The driver's touch type under which it passes data reports on.
constexpr uint32_t kTouchTypeDataReport = 2;

bool IsHid(const DevInfo& d) { return d.dwDeviceType & QV_DEVICE_HID; }
bool IsSeries(const DevInfo& d) { return d.byQVOstraMelk != QV_SERIES_CURRENT; }

// One driver I/O control with an optional 4-byte input and an optional 4-byte
// output (little-endian). An output counts only when the driver delivered all 4 bytes.
bool DriverIo(const DevInfo& d, uint32_t code, const uint32_t* in, uint32_t* out) {
    uint8_t inBytes[4], outBytes[4] = {};
    if (in)
        for (int i = 0; i < 4; ++i) inBytes[i] = static_cast<uint8_t>(*in >> (8 * i));
    uint32_t returned = 0;
    if (!qvp::backend().driverIoctl(d.hDevice, code, in ? inBytes : nullptr, in ? 4 : 0, out ? outBytes : nullptr,
                                    out ? 4 : 0, &returned))
        return false;
    if (!out) return true;
    if (returned < 4) return false;
    *out = outBytes[0] | outBytes[1] << 8 | outBytes[2] << 16 | static_cast<uint32_t>(outBytes[3]) << 24;
    return true;
}

bool DriverRead(const DevInfo& d, uint32_t code, uint32_t* out) { return DriverIo(d, code, nullptr, out); }
bool DriverWrite(const DevInfo& d, uint32_t code, uint32_t value) { return DriverIo(d, code, &value, nullptr); }

// The driver passes data reports on only under touch type 2.
bool DriverReportsData(const DevInfo& d) {
    uint32_t type = 0;
    return DriverRead(d, kIoctlTouchType, &type) && (type & 0xFF) == kTouchTypeDataReport;
}

// The parameter update lock of the controller's protocol: the lock item with a
// parameter version, the register lock (F3, else F7) without one.
bool UpdateLock(HANDLE h, const DevInfo& d, uint8_t on) {
    if (d.dwParaVersion == 0) return SetUpdateLock(h, on) != 0;
    uint8_t reply[5] = {};
    return Command(h, 0xF6, 0x00, 0x9F, 0x00, on, reply) && !ItemRefused(reply);
}

// Writes the parameters to flash: the flush item with a parameter version, the
// two EA forms, each twice, without one.
bool FlushParameters(HANDLE h, const DevInfo& d) {
    uint8_t reply[5] = {};
    if (d.dwParaVersion != 0) {
        const uint8_t cmd[5] = {0xF6, 0x00, 0x90, 0x00, 0x00};
        return SendDelayCmd(h, cmd, reply, 50) && !ItemRefused(reply);
    }
    return Command(h, 0xEA, 0x00, 0x00, 0x00, 0x00, reply) && Command(h, 0xEA, 0x00, 0x00, 0x00, 0x00, reply) &&
           Command(h, 0xEA, 0x00, 0xAA, 0x00, 0x00, reply) && Command(h, 0xEA, 0x00, 0xAA, 0x00, 0x00, reply);
}

// The HID report type item (group 1, item 3) of HID controllers from parameter version 1.47 on.
bool HasHidReportType(const DevInfo* d) { return d && IsHid(*d) && d->dwParaVersion > 146; }

bool ReadHidReportType(HANDLE h, uint8_t* type) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xF6, 0x01, 0x13, 0x00, 0x00, reply) || ItemRefused(reply)) return false;
    *type = reply[4];
    return true;
}

// A driver-kept on/off setting, read as 0/1.
int ReadDriverSwitch(HANDLE handle, uint32_t code, int* on) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !on || !IsDriverDevice(*d)) return 0;
    uint32_t value = 0;
    if (!DriverRead(*d, code, &value)) return 0;
    *on = value ? 1 : 0;
    return 1;
}

int WriteDriverSwitch(HANDLE handle, uint32_t code, int on) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !IsDriverDevice(*d)) return 0;
    return DriverWrite(*d, code, on ? 1 : 0) ? 1 : 0;
}

}  // namespace
}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int GetQVDriverVersion(HANDLE handle, uint32_t version[3]) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !version || !IsDriverDevice(*d)) return 0;
    // Each word is taken when the driver gives it; the export reports 1 either way.
    DriverRead(*d, kIoctlDriverMajor, &version[0]);
    DriverRead(*d, kIoctlDriverMinor, &version[1]);
    DriverRead(*d, kIoctlDriverBuild, &version[2]);
    return 1;
}

QV_API int GetQVDriverVersionEx(HANDLE handle, uint32_t version[4]) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !version || !IsDriverDevice(*d)) return 0;
    DriverRead(*d, kIoctlDriverMajor, &version[0]);
    DriverRead(*d, kIoctlDriverMinor, &version[1]);
    // The build word is read, written back and read again; its halves are two words.
    uint32_t build = 0;
    if (DriverRead(*d, kIoctlDriverBuild, &build)) DriverWrite(*d, kIoctlDriverBuild, build);
    if (DriverRead(*d, kIoctlDriverBuild, &build)) {
        version[2] = build & 0xFFFF;
        version[3] = build >> 16;
    }
    return 1;
}

QV_API int GetDataReportState(HANDLE handle, int* on) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !on) return 0;
    if (!IsSeries(*d)) {
        uint32_t word = 0;
        if (!ReadRegisterWord(handle, 0x00, 0xF0, &word)) return 0;
        *on = (word >> 25) & 1;  // bit 1 of reply byte 4
        return 1;
    }
    if (!IsDriverDevice(*d) || !DriverReportsData(*d)) return 0;
    uint32_t state = 0;
    if (!DriverRead(*d, kIoctlDataReport, &state)) return 0;
    *on = static_cast<int>(state);
    return 1;
}

QV_API int EnableDataReport(HANDLE handle, int on) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d) return 0;
    if (IsSeries(*d)) {
        // Series controllers report data only through the driver, which must pass them on.
        if (!IsDriverDevice(*d) || !DriverReportsData(*d)) return 0;
        if (!DriverWrite(*d, kIoctlDataReport, on ? 1 : 0)) return 0;
    }
    uint8_t reply[5] = {};
    return Command(handle, on ? 0xF1 : 0xF0, 0x00, 0x00, 0x00, 0x01, reply) ? 1 : 0;
}

QV_API int EnablePCAPScan(HANDLE handle, int on) {
    DeviceLock lock(handle);
    return on ? EnableScanAndWait(handle, 0) : ScanOff(handle, 0);
}

QV_API int SetTouchEnable(HANDLE handle, int on) {
    DeviceLock lock(handle);
    uint8_t reply[5] = {};
    return Command(handle, on ? 0xF1 : 0xF0, 0x00, 0x00, 0x00, 0x01, reply) ? 1 : 0;
}

QV_API int ResetMPU(HANDLE handle) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || IsSeries(*d)) return 0;
    uint8_t reply[5] = {};
    if (!Command(handle, 0xFE, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    // The second reset makes sure it is taken; a firmware already restarting may not answer.
    Command(handle, 0xFE, 0x00, 0x00, 0x00, 0x00, reply);
    return 1;
}

QV_API int GetMonitorID(HANDLE handle, uint32_t* id) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !id) return 0;
    if (d->dwDeviceType & QV_DEVICE_DRIVER) return DriverRead(*d, kIoctlMonitorId, id) ? 1 : 0;
    if (!IsHid(*d)) return 0;
    uint8_t reply[5] = {};
    if (IsSeries(*d)) {
        if (!Command(handle, 0xF3, 0x00, 0x7C, 0x00, 0x00, reply)) return 0;
        *id = reply[3];
    } else {
        if (!Command(handle, 0xE0, 0x00, 0x49, 0x00, 0x00, reply)) return 0;
        *id = reply[4];
    }
    return 1;
}

QV_API int SetMonitorID(HANDLE handle, const uint8_t* id) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !id) return 0;
    // The driver takes a 4-byte value; the caller's id is one byte.
    if (d->dwDeviceType & QV_DEVICE_DRIVER) return DriverWrite(*d, kIoctlMonitorId, *id) ? 1 : 0;
    if (!IsHid(*d)) return 0;
    uint8_t reply[5] = {};
    if (IsSeries(*d)) {
        // The write carries back byte 4 of the query; without the query there is nothing to carry.
        if (!Command(handle, 0xF3, 0x00, 0x7C, 0x00, 0x00, reply)) return 0;
        const uint8_t key = reply[4];
        if (!Command(handle, 0xF2, 0x00, 0x7C, *id, key, reply)) return 0;
        return Command(handle, 0xEF, 0x00, 0x00, 0x00, 0x00, reply) ? 1 : 0;
    }
    const DevInfo slot = *d;
    if (!UpdateLock(handle, slot, 1)) return 0;
    if (!WriteRegister(handle, 0x00, 0x49, *id)) return 0;
    if (!FlushParameters(handle, slot)) return 0;
    return UpdateLock(handle, slot, 0) ? 1 : 0;
}

QV_API int GetQVDriverTouchType(HANDLE handle, uint8_t* type) {
    if (type) *type = 0;
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !type || !IsDriverDevice(*d)) return 0;
    uint32_t value = 0;
    if (!DriverRead(*d, kIoctlTouchType, &value)) return 0;
    *type = static_cast<uint8_t>(value);
    return 1;
}

QV_API int SetQVDriverTouchType(HANDLE handle, uint8_t type) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !IsDriverDevice(*d) || (type != 1 && type != 2)) return 0;
    return DriverWrite(*d, kIoctlTouchType, type) ? 1 : 0;
}

QV_API int GetRightButton(HANDLE handle, int* on) { return ReadDriverSwitch(handle, kIoctlRightButton, on); }
QV_API int SetRightButton(HANDLE handle, int on) { return WriteDriverSwitch(handle, kIoctlRightButton, on); }
QV_API int GetTouchAndHold(HANDLE handle, int* on) { return ReadDriverSwitch(handle, kIoctlTouchAndHold, on); }
QV_API int SetTouchAndHold(HANDLE handle, int on) { return WriteDriverSwitch(handle, kIoctlTouchAndHold, on); }

QV_API int GetHidReportType(HANDLE handle, uint8_t* type) {
    DeviceLock lock(handle);
    if (!type || !HasHidReportType(lock.record())) return 0;
    return ReadHidReportType(handle, type) ? 1 : 0;
}

QV_API int SetHidReportType(HANDLE handle, uint8_t type) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!HasHidReportType(d)) return 0;
    const DevInfo slot = *d;
    uint8_t current = 0;
    if (!ReadHidReportType(handle, &current)) return 0;
    if (current == type) return 1;
    uint8_t changed = 0;
    if (!UpdateLock(handle, slot, 1)) return 0;
    if (!WriteItem(handle, 0x01, 0x83, type, &changed)) return 0;
    return UpdateLock(handle, slot, 0) ? 1 : 0;
}

QV_API int GetBufferSize(HANDLE handle, int ic, int* known, uint16_t* size) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !known || !size || d->byQVOstraMelk == QV_SERIES_MELK) return 0;
    *size = 8;
    *known = 0;
    if (!IsHid(*d)) return 1;
    if (ic > 0) {
        uint16_t answer = 0;
        if (!QuerySlave(handle, static_cast<uint8_t>(ic - 1), &answer)) return 0;
        if (answer) *known = 1;  // the slave runs its boot loader
    }
    if (ic > 0 && !*known) return 1;
    uint32_t packet = 0;
    if (!ReadBootPacketSize(handle, ic != 0, &packet)) {
        *size = 8;
        *known = 0;
        return 1;
    }
    if (ic == 0) {
        *size = static_cast<uint16_t>(packet);
        *known = 1;
    }
    return 1;
}

QV_API int SetOutputReport(HANDLE handle, uint32_t length, const uint8_t* bytes) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !IsHid(*d) || (length && !bytes)) return 0;
    return HidOutputReport(*d, bytes, length);
}

QV_API int CheckNewBoot(HANDLE handle, int* isNew) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !isNew || d->byQVOstraMelk == QV_SERIES_MELK) return 0;
    if (d->byQVOstraMelk == QV_SERIES_OSTRA) {
        *isNew = 0;
        return 1;
    }
    uint8_t ic[4] = {};
    if (!ReadIcCount(handle, ic)) return 0;
    *isNew = ic[3] == 0xAA ? 1 : 0;
    return *isNew ? SwitchToBoot(handle) : 1;
}

QV_API int CheckNewBootEx(HANDLE handle, const uint8_t* states, uint8_t count, uint8_t* state) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !state || d->byQVOstraMelk == QV_SERIES_MELK) return 0;
    if (d->byQVOstraMelk == QV_SERIES_OSTRA) {
        *state = 0;
        return 1;
    }
    uint8_t ic[4] = {};
    if (!ReadIcCount(handle, ic)) return 0;
    *state = ic[3];
    // A missing list lists nothing.
    const bool listed = states && std::memchr(states, ic[3], count) != nullptr;
    if (!listed) {
        *state = 0;
        return 1;
    }
    return SwitchToBoot(handle);
}

}  // extern "C"
