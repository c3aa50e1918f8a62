// The parameter calls of the public interface: the common gates (known handle,
// current series), the clearing of Get records, the choice between the item
// protocol and the register forms by the slot's parameter version, and the table
// of entry points.
#include "param_groups.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace qvlib {
namespace {

// The slot of a handle that passes the common gates, or kNoSlot. The caller holds
// the slot's DeviceLock.
int GatedSlot(HANDLE h) {
    const int slot = FindDeviceSlot(h);
    if (slot == kNoSlot || g_devInfo[slot].byQVOstraMelk != QV_SERIES_CURRENT) return kNoSlot;
    return slot;
}

uint32_t Version(int slot) { return g_devInfo[slot].dwParaVersion; }

// Clears the caller's record but its cbSize. A record below its base size is refused
// untouched; no byte past the record's own size is cleared.
template <class T> bool ClearRecord(T* r) {
    if (!r || r->cbSize < kParameterBaseSize<T>) return false;
    const uint32_t cb = r->cbSize;
    std::memset(r, 0, std::min<size_t>(cb, sizeof(T)));
    r->cbSize = cb;
    return true;
}

// The parameter version from which a group uses the item protocol.
constexpr uint32_t kItemsFromAnyVersion = 1;
constexpr uint32_t kHostInterfaceItemsFrom = 115;

// Get: gates, clearing, then the item worker from itemsFrom on, else the register form.
template <class T, class Items, class Registers>
int GroupGet(HANDLE h, T* r, uint32_t itemsFrom, Items items, Registers registers) {
    DeviceLock lock(h);
    const int slot = GatedSlot(h);
    if (slot == kNoSlot || !ClearRecord(r)) return 0;
    return Version(slot) >= itemsFrom ? items(slot) : registers(slot);
}

// Set: the record's size is looked at before anything else in it (a record
// shorter than its base has no valid field to read), then its valid field.
template <class T, class Items, class Registers>
int GroupSet(HANDLE h, T* r, uint32_t itemsFrom, Items items, Registers registers) {
    DeviceLock lock(h);
    const int slot = GatedSlot(h);
    if (slot == kNoSlot || !r || r->cbSize < kParameterBaseSize<T> || !r->valid) return 0;
    return Version(slot) >= itemsFrom ? items(slot) : registers(slot);
}

// Groups without a register form: a cleared, invalid record, and no write.
constexpr auto kNoRegisterGet = [](int) { return 1; };
constexpr auto kNoRegisterSet = [](int) { return 0; };

// One item-protocol command; a reply naming FF in byte 1 or 2 is a refusal.
bool ItemCommand(int slot, uint8_t group, uint8_t code, uint8_t b3, uint8_t b4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {0xF6, group, code, b3, b4};
    return SendCmd(g_devInfo[slot].hDevice, cmd, reply) && reply[1] != 0xFF && reply[2] != 0xFF;
}

// A call of the item protocol only: gates, then fn(slot) when the version is at least
// minVersion, else 0.
template <class F> int ItemsOnly(HANDLE h, uint32_t minVersion, F fn) {
    DeviceLock lock(h);
    const int slot = GatedSlot(h);
    if (slot == kNoSlot || Version(slot) == 0 || Version(slot) < minVersion) return 0;
    return fn(slot);
}

template <class F> int AnyVersion(HANDLE h, F fn) {
    DeviceLock lock(h);
    const int slot = GatedSlot(h);
    return slot == kNoSlot ? 0 : fn(slot);
}

// A table write inside the update lock; a failure leaves the lock on.
template <class F> int InLock(int slot, F write) {
    if (!ParameterLockFor(slot, 1) || !write()) return 0;
    return ParameterLockFor(slot, 0);
}

}  // namespace
}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int GetParameterGeneralInfo(HANDLE handle, ParameterGeneralInfo* info) {
    return GroupGet(
        handle, info, kItemsFromAnyVersion, [&](int s) { return GetGeneralInfo(s, info); },
        [&](int s) { return GetGeneralInfoRegisters(s, info); });
}

QV_API int GetParameterHostInterface(HANDLE handle, uint16_t groupMask, ParameterHostInterface* r) {
    return GroupGet(
        handle, r, kHostInterfaceItemsFrom, [&](int s) { return GetHostInterface(s, groupMask, r); }, kNoRegisterGet);
}
QV_API int SetParameterHostInterface(HANDLE handle, ParameterHostInterface* r) {
    return GroupSet(handle, r, kHostInterfaceItemsFrom, [&](int s) { return SetHostInterface(s, r); }, kNoRegisterSet);
}

QV_API int GetParameterPanel(HANDLE handle, uint16_t groupMask, ParameterPanel* r) {
    return GroupGet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return GetPanel(s, groupMask, r); },
        [&](int s) { return GetPanelRegisters(s, groupMask, r); });
}
QV_API int SetParameterPanel(HANDLE handle, ParameterPanel* r) {
    return GroupSet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return SetPanel(s, r); },
        [&](int s) { return SetPanelRegisters(s, r); });
}

QV_API int GetParameterAntiNoise(HANDLE handle, uint16_t groupMask, ParameterAntiNoise* r) {
    return GroupGet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return GetAntiNoise(s, groupMask, r); },
        [&](int s) { return GetAntiNoiseRegisters(s, groupMask, r); });
}
QV_API int SetParameterAntiNoise(HANDLE handle, ParameterAntiNoise* r) {
    return GroupSet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return SetAntiNoise(s, r); },
        [&](int s) { return SetAntiNoiseRegisters(s, r); });
}

// The groups that have no register form here: Get reads a cleared, invalid record
// and Set refuses on version-0 firmware.
#define QV_ITEM_GROUP(Name, Record, GetCall, SetCall)                                                        \
    QV_API int GetParameter##Name(HANDLE handle, uint16_t groupMask, Record* r) {                            \
        return GroupGet(handle, r, kItemsFromAnyVersion, [&](int s) { return GetCall; }, kNoRegisterGet);   \
    }                                                                                                        \
    QV_API int SetParameter##Name(HANDLE handle, Record* r) {                                                \
        return GroupSet(handle, r, kItemsFromAnyVersion, [&](int s) { return SetCall; }, kNoRegisterSet);   \
    }

QV_API int GetParameterFinger(HANDLE handle, uint16_t groupMask, ParameterFinger* r) {
    return GroupGet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return GetFinger(s, groupMask, r); },
        [&](int s) { return GetFingerRegisters(s, groupMask, r); });
}
QV_API int SetParameterFinger(HANDLE handle, ParameterFinger* r) {
    return GroupSet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return SetFinger(s, r); },
        [&](int s) { return SetFingerRegisters(s, r); });
}
QV_ITEM_GROUP(Palm, ParameterPalm, GetPalm(s, groupMask, r), SetPalm(s, r))
QV_ITEM_GROUP(Base, ParameterBase, GetBase(s, groupMask, r), SetBase(s, r))
QV_API int GetParameterWater(HANDLE handle, uint16_t groupMask, ParameterWater* r) {
    return GroupGet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return GetWater(s, groupMask, r); },
        [&](int s) { return GetWaterRegisters(s, groupMask, r); });
}
QV_API int SetParameterWater(HANDLE handle, ParameterWater* r) {
    return GroupSet(
        handle, r, kItemsFromAnyVersion, [&](int s) { return SetWater(s, r); },
        [&](int s) { return SetWaterRegisters(s, r); });
}
QV_ITEM_GROUP(Coordinate, ParameterCoordinate, GetCoordinate(s, groupMask, r), SetCoordinate(s, r))
QV_ITEM_GROUP(PowerSaving, ParameterPowerSaving, GetPowerSaving(s, groupMask, r), SetPowerSaving(s, r))
QV_ITEM_GROUP(NormalScan, ParameterNormalScan, GetScan(s, 10, groupMask, r), SetScan(s, 10, r))
QV_ITEM_GROUP(AbnormalScan, ParameterAbnormalScan, GetScan(s, 11, groupMask, r), SetScan(s, 11, r))
QV_ITEM_GROUP(Misc, ParameterMisc, GetMisc(s, groupMask, r), SetMisc(s, r))
QV_ITEM_GROUP(DriveIC, ParameterDriveIC, GetDriveIC(s, groupMask, r), SetDriveIC(s, r))
QV_ITEM_GROUP(Debug, ParameterDebug, GetDebug(s, groupMask, r), SetDebug(s, r))
QV_ITEM_GROUP(VButton, ParameterVButton, GetVButton(s, groupMask, r), SetVButton(s, r))
QV_ITEM_GROUP(Custom, ParameterCustom, ((void)groupMask, GetCustom(s, r)), SetCustom(s, r))
#undef QV_ITEM_GROUP

// ---- control --------------------------------------------------------------------------------

QV_API int FlushParameter(HANDLE handle, uint8_t* result) {
    return AnyVersion(handle, [&](int s) { return FlushParametersFor(s, result); });
}
QV_API int ReloadDefaultParameter(HANDLE handle) {
    return AnyVersion(handle, [](int s) { return ReloadParametersFor(s, false); });
}
QV_API int ReloadFlushParameter(HANDLE handle) {
    return AnyVersion(handle, [](int s) { return ReloadParametersFor(s, true); });
}
QV_API int ReloadAllDefaultParameter(HANDLE handle) {
    return AnyVersion(handle, [](int s) { return ReloadAllDefaultsFor(s); });
}
QV_API int ParameterUpdateLock(HANDLE handle, int on) {
    return AnyVersion(handle, [&](int s) { return ParameterLockFor(s, on); });
}
QV_API int ExtraModeSwitch(HANDLE handle, uint8_t value) {
    return ItemsOnly(handle, 1, [&](int s) { return ParamExtraMode(s, value); });
}

namespace {
// An item command whose answer is not needed.
int ItemsCommand(HANDLE handle, uint32_t minVersion, uint8_t group, uint8_t code, uint8_t b3, uint8_t b4) {
    return ItemsOnly(handle, minVersion, [&](int s) {
        uint8_t reply[5] = {};
        return ItemCommand(s, group, code, b3, b4, reply) ? 1 : 0;
    });
}
}  // namespace

QV_API int CalibrationPreSetup(HANDLE handle) { return ItemsCommand(handle, 1, 0x08, 0x91, 0x00, 0x00); }
QV_API int ActivateCalibrationParameter(HANDLE handle) { return ItemsCommand(handle, 1, 0x08, 0x90, 0x00, 0x00); }
QV_API int UseAllSensorDriver(HANDLE handle, uint8_t value) { return ItemsCommand(handle, 112, 0x02, 0x90, 0xAA, value); }
QV_API int SetExternalPanelIndex(HANDLE handle) { return ItemsCommand(handle, 172, 0x02, 0x92, 0xAA, 0x00); }
QV_API int SwitchEventHalt(HANDLE handle, uint8_t value) { return ItemsCommand(handle, 1, 0x0E, 0x90, 0x00, value); }
QV_API int ClearEventHalt(HANDLE handle) { return ItemsCommand(handle, 1, 0x0E, 0x91, 0x00, 0x00); }
QV_API int GetEventHalt(HANDLE handle, uint8_t* state) {
    if (!state) return 0;
    return ItemsOnly(handle, 1, [&](int s) {
        uint8_t reply[5] = {};
        if (!ItemCommand(s, 0x0E, 0x50, 0x00, 0x00, reply)) return 0;
        *state = reply[3];
        return 1;
    });
}

QV_API int VButtonGetCRC(HANDLE handle, uint16_t* crc) {
    return ItemsOnly(handle, 1, [&](int s) { return VButtonCrc(s, crc); });
}
QV_API int VButtonClear(HANDLE handle, int flag) {
    return ItemsOnly(handle, 1, [&](int s) { return qvlib::VButtonClear(s, flag != 0); });
}
QV_API int VButtonInit(HANDLE handle, uint8_t* result) {
    if (!result) return 0;
    return ItemsOnly(handle, 1, [&](int s) { return qvlib::VButtonInit(s, result); });
}
QV_API int VButtonLoadSetting(HANDLE handle, int flag) {
    return ItemsOnly(handle, 1, [&](int s) { return qvlib::VButtonLoadSetting(s, flag != 0); });
}
QV_API int VButtonWriteFlash(HANDLE handle) {
    return ItemsOnly(handle, 1, [](int s) { return qvlib::VButtonWriteFlash(s); });
}
QV_API int VButtonRead(HANDLE handle, VButtonTable* table) {
    return ItemsOnly(handle, 1, [&](int s) { return ReadVButtonTable(s, table); });
}
QV_API int VButtonWrite(HANDLE handle, const VButtonTable* table) {
    if (!table) return 0;
    return ItemsOnly(handle, 1, [&](int s) { return InLock(s, [&] { return WriteVButtonTable(s, table); }); });
}
QV_API int VButtonErase(HANDLE handle) {
    return AnyVersion(handle, [](int s) { return qvlib::VButtonErase(s); });
}

QV_API int ForceTouchSwitch(HANDLE handle, int flag) {
    return ItemsOnly(handle, 1, [&](int s) { return qvlib::ForceTouchSwitch(s, flag != 0); });
}
QV_API int ForceTouchRead(HANDLE handle, ForceTouchTable* table) {
    return ItemsOnly(handle, 1, [&](int s) { return ReadForceTouchTable(s, table); });
}
QV_API int ForceTouchWrite(HANDLE handle, const ForceTouchTable* table) {
    if (!table || table->cbSize != sizeof(ForceTouchTable)) return 0;
    return ItemsOnly(handle, 1, [&](int s) { return InLock(s, [&] { return WriteForceTouchTable(s, table); }); });
}
QV_API int ForceTouchDemo(HANDLE handle, uint8_t value) {
    return ItemsOnly(handle, 1, [&](int s) {
        const uint8_t cmd[5] = {0xF8, 0x04, 0x00, 0x00, value};
        uint8_t reply[5] = {};
        return SendCmd(g_devInfo[s].hDevice, cmd, reply);
    });
}

// ---- the table of entry points -----------------------------------------------------------------

#define QV_ENTRY_AT(field, n) \
    static_assert(offsetof(ParameterFunctionTable, field) == 4 + ((n) - 1) * sizeof(void*), #field " is entry " #n)
QV_ENTRY_AT(GetParameterGeneralInfo, 1);
QV_ENTRY_AT(ParameterUpdateLock, 5);
QV_ENTRY_AT(GetParameterHostInterface, 6);
QV_ENTRY_AT(GetParameterCoordinate, 20);
QV_ENTRY_AT(CalibrationPreSetup, 22);
QV_ENTRY_AT(GetParameterPowerSaving, 24);
QV_ENTRY_AT(SetParameterDriveIC, 33);
QV_ENTRY_AT(GetEventHalt, 37);
QV_ENTRY_AT(ClearEventHalt, 38);
QV_ENTRY_AT(UseAllSensorDriver, 40);
QV_ENTRY_AT(ExtraModeSwitch, 41);
QV_ENTRY_AT(GetParameterVButton, 42);
QV_ENTRY_AT(VButtonWrite, 50);
QV_ENTRY_AT(VButtonErase, 51);
QV_ENTRY_AT(SetParameterCustom, 53);
#undef QV_ENTRY_AT
static_assert(sizeof(ParameterFunctionTable) == QV_PARAMETER_TABLE_SIZE(53), "the table is packed");

QV_API int SetupParameterFunctionPointer(ParameterFunctionTable* table) {
    static constexpr unsigned kCounts[] = {33, 37, 38, 40, 41, 50, 51, 53};
    if (!table) return 0;
    const uint32_t cb = table->cbSize;
    const unsigned* count = std::find_if(std::begin(kCounts), std::end(kCounts),
                                         [cb](unsigned n) { return QV_PARAMETER_TABLE_SIZE(n) == cb; });
    if (count == std::end(kCounts)) return 0;

    ParameterFunctionTable full{};
    full.cbSize = cb;
    full.GetParameterGeneralInfo = ::GetParameterGeneralInfo;
    full.FlushParameter = ::FlushParameter;
    full.ReloadDefaultParameter = ::ReloadDefaultParameter;
    full.ReloadFlushParameter = ::ReloadFlushParameter;
    full.ParameterUpdateLock = ::ParameterUpdateLock;
    full.GetParameterHostInterface = ::GetParameterHostInterface;
    full.SetParameterHostInterface = ::SetParameterHostInterface;
    full.GetParameterPanel = ::GetParameterPanel;
    full.SetParameterPanel = ::SetParameterPanel;
    full.GetParameterFinger = ::GetParameterFinger;
    full.SetParameterFinger = ::SetParameterFinger;
    full.GetParameterPalm = ::GetParameterPalm;
    full.SetParameterPalm = ::SetParameterPalm;
    full.GetParameterBase = ::GetParameterBase;
    full.SetParameterBase = ::SetParameterBase;
    full.GetParameterWater = ::GetParameterWater;
    full.SetParameterWater = ::SetParameterWater;
    full.GetParameterAntiNoise = ::GetParameterAntiNoise;
    full.SetParameterAntiNoise = ::SetParameterAntiNoise;
    full.GetParameterCoordinate = ::GetParameterCoordinate;
    full.SetParameterCoordinate = ::SetParameterCoordinate;
    full.CalibrationPreSetup = ::CalibrationPreSetup;
    full.ActivateCalibrationParameter = ::ActivateCalibrationParameter;
    full.GetParameterPowerSaving = ::GetParameterPowerSaving;
    full.SetParameterPowerSaving = ::SetParameterPowerSaving;
    full.GetParameterNormalScan = ::GetParameterNormalScan;
    full.SetParameterNormalScan = ::SetParameterNormalScan;
    full.GetParameterAbnormalScan = ::GetParameterAbnormalScan;
    full.SetParameterAbnormalScan = ::SetParameterAbnormalScan;
    full.GetParameterMisc = ::GetParameterMisc;
    full.SetParameterMisc = ::SetParameterMisc;
    full.GetParameterDriveIC = ::GetParameterDriveIC;
    full.SetParameterDriveIC = ::SetParameterDriveIC;
    full.GetParameterDebug = ::GetParameterDebug;
    full.SetParameterDebug = ::SetParameterDebug;
    full.SwitchEventHalt = ::SwitchEventHalt;
    full.GetEventHalt = ::GetEventHalt;
    full.ClearEventHalt = ::ClearEventHalt;
    full.ReloadAllDefaultParameter = ::ReloadAllDefaultParameter;
    full.UseAllSensorDriver = ::UseAllSensorDriver;
    full.ExtraModeSwitch = ::ExtraModeSwitch;
    full.GetParameterVButton = ::GetParameterVButton;
    full.SetParameterVButton = ::SetParameterVButton;
    full.VButtonGetCRC = ::VButtonGetCRC;
    full.VButtonClear = ::VButtonClear;
    full.VButtonInit = ::VButtonInit;
    full.VButtonLoadSetting = ::VButtonLoadSetting;
    full.VButtonWriteFlash = ::VButtonWriteFlash;
    full.VButtonRead = ::VButtonRead;
    full.VButtonWrite = ::VButtonWrite;
    full.VButtonErase = ::VButtonErase;
    full.GetParameterCustom = ::GetParameterCustom;
    full.SetParameterCustom = ::SetParameterCustom;
    // Only the caller's entries: bytes 4 .. cbSize - 1.
    std::memcpy(reinterpret_cast<uint8_t*>(table) + 4, reinterpret_cast<const uint8_t*>(&full) + 4, cb - 4);
    return 1;
}

}  // extern "C"
