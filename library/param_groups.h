// The parameter groups of the item protocol: per-slot item masks and the Get
// and Set workers of every group record, the control items, the virtual-button
// and the force-touch tables. Every worker takes a device-table slot and returns
// 1 on success, 0 at the first refused or failed command.
#pragma once

#include "internal.h"

namespace qvlib {

// The item mask of each slot: the last group mask read by a Get or written by a
// Set. Workers test bit n before they touch item n.
extern uint16_t g_itemMask[kSlotCount];
// The extension group's (0x17) item mask of each slot, read by the anti-noise Get.
extern uint16_t g_extensionItemMask[kSlotCount];
// The orientation index of each slot (parameter versions below 1.35), found by
// the coordinate Get and used by its Set.
extern uint8_t g_orientationIndex[kSlotCount];

// The smallest cbSize each record accepts: the offset of its first optional field.
template <class T> constexpr uint32_t kParameterBaseSize = sizeof(T);
template <> inline constexpr uint32_t kParameterBaseSize<ParameterGeneralInfo> = 13;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterHostInterface> = 44;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterPanel> = 60;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterFinger> = 88;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterPalm> = 52;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterBase> = 52;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterWater> = 88;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterAntiNoise> = 36;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterCoordinate> = 144;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterScan> = 56;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterMisc> = 36;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterDriveIC> = 28;
template <> inline constexpr uint32_t kParameterBaseSize<ParameterDebug> = 88;

int GetGeneralInfo(int slot, ParameterGeneralInfo* r);

// Get: groupMask bit g clear -> 1 with valid 0. Set: valid 0 -> 0.
int GetHostInterface(int slot, uint32_t groupMask, ParameterHostInterface* r);
int SetHostInterface(int slot, ParameterHostInterface* r);
int GetPanel(int slot, uint32_t groupMask, ParameterPanel* r);
// The panel geometry (bytes 60..67) and resolution (68..71) by the older E5 queries.
int ReadPanelGeometryOld(int slot, ParameterPanel* p);  // E5 .. 01, then the resolution
int ReadPanelResolutionOld(int slot, ParameterPanel* p);  // E5 .. 00
int SetPanel(int slot, ParameterPanel* r);
int GetFinger(int slot, uint32_t groupMask, ParameterFinger* r);
int SetFinger(int slot, ParameterFinger* r);
int GetPalm(int slot, uint32_t groupMask, ParameterPalm* r);
int SetPalm(int slot, ParameterPalm* r);
int GetBase(int slot, uint32_t groupMask, ParameterBase* r);
int SetBase(int slot, ParameterBase* r);
int GetWater(int slot, uint32_t groupMask, ParameterWater* r);
int SetWater(int slot, ParameterWater* r);
int GetAntiNoise(int slot, uint32_t groupMask, ParameterAntiNoise* r);
int SetAntiNoise(int slot, ParameterAntiNoise* r);
int GetCoordinate(int slot, uint32_t groupMask, ParameterCoordinate* r);
int SetCoordinate(int slot, ParameterCoordinate* r);
int GetPowerSaving(int slot, uint32_t groupMask, ParameterPowerSaving* r);
int SetPowerSaving(int slot, ParameterPowerSaving* r);
// group 10 (normal) or 11 (abnormal)
int GetScan(int slot, uint8_t group, uint32_t groupMask, ParameterScan* r);
int SetScan(int slot, uint8_t group, ParameterScan* r);
int GetMisc(int slot, uint32_t groupMask, ParameterMisc* r);
int SetMisc(int slot, ParameterMisc* r);
int GetDriveIC(int slot, uint32_t groupMask, ParameterDriveIC* r);
int SetDriveIC(int slot, ParameterDriveIC* r);
int GetDebug(int slot, uint32_t groupMask, ParameterDebug* r);
int SetDebug(int slot, ParameterDebug* r);
int GetVButton(int slot, uint32_t groupMask, ParameterVButton* r);
int SetVButton(int slot, ParameterVButton* r);
// The custom group has no bit in the group mask; it is absent when F6 8E 00 fails.
int GetCustom(int slot, ParameterCustom* r);
int SetCustom(int slot, ParameterCustom* r);

// Control items of the general group.
int ParamFlush(int slot, uint8_t* result);      // F6 00 90, reply byte 4 in *result
int ParamReloadDefaults(int slot, bool all);    // F6 00 91 00 00 / 55 AA
int ParamReloadFlushed(int slot);               // F6 00 92
int ParamExtraMode(int slot, uint8_t v);        // F6 00 9E 00 v
int ParamUpdateLock(int slot, uint8_t v);       // F6 00 9F 00 v

// Virtual buttons.
int VButtonCrc(int slot, uint16_t* crc);        // F6 0F 03
int VButtonClear(int slot, uint8_t f);          // F6 0F 90 00 (f != 0)
int VButtonInit(int slot, uint8_t* result);     // F6 0F 91
int VButtonLoadSetting(int slot, uint8_t f);    // F6 0F 92 00 (f != 0)
int VButtonWriteFlash(int slot);                // F6 0F 93 AA 55
int VButtonErase(int slot);                     // F6 0F 94 AA 55
int ReadVButtonTable(int slot, VButtonTable* t);
int WriteVButtonTable(int slot, const VButtonTable* t);

// Force touch.
int ForceTouchSwitch(int slot, int on);
int ReadForceTouchTable(int slot, ForceTouchTable* t);
int WriteForceTouchTable(int slot, const ForceTouchTable* t);

}  // namespace qvlib

// ---- locks, flush and reloads of either protocol ----------------------------------
namespace qvlib {

// The update lock of the slot's protocol: the lock item with a parameter version;
// without one F3 00 07 00 on, and F7 00 00 00 on when F3 fails or is not answered AA.
int ParameterLockFor(int slot, int on);
// Writes the parameters to flash. With a parameter version the flush item (*result =
// its reply byte 4); without one *result = 15 and EA 00 00, EA 00 00, EA 00 AA, EA 00 AA.
int FlushParametersFor(int slot, uint8_t* result);
// Reloads inside the update lock: defaults (flushed = false) or the flushed values.
// Without a parameter version the registers 0x40, 0x41, 0x42, 0x4A, 0x4B (and 0x3D of
// bank 0x90 with feature bits 1 and 7) survive the reload. Every step must succeed; a
// failure after the lock went on leaves it on.
int ReloadParametersFor(int slot, bool flushed);
// Reloads every default inside the update lock: F6 00 91 55 AA from parameter version
// 1.15 on, else the EC sequence.
int ReloadAllDefaultsFor(int slot);
// EC 00 AA 00 v twice, 100 ms, EC 00 00 00 v twice, 100 ms.
int RegisterReloadSequence(int slot, uint8_t v);
// The reload of version-0 firmware that keeps the interface and panel registers.
int RegisterPreservingReload(int slot, uint8_t v);

}  // namespace qvlib

// ---- register forms of firmware without a parameter version ---------------------------
namespace qvlib {

// The general group of version-0 firmware: a fixed group mask (general, host interface,
// panel, finger, water, anti-noise, coordinate; no water without feature bit 3; no
// anti-noise when E6 01 00 does not answer 'U'). Sets nothing else, valid included.
int GetGeneralInfoRegisters(int slot, ParameterGeneralInfo* r);
// The anti-noise group of version-0 firmware: item 0 through E6 01 00 / E6 01 01, written
// with E6 01 0F v 00 (changed = 2).
int GetAntiNoiseRegisters(int slot, uint32_t groupMask, ParameterAntiNoise* r);
int SetAntiNoiseRegisters(int slot, ParameterAntiNoise* r);
// The panel group of version-0 firmware: items 0 and 1 (panel-size and cover-lens
// index) in registers 0x3A/0x3B for reading and 0x4A/0x4B for writing (changed = 2).
int GetPanelRegisters(int slot, uint32_t groupMask, ParameterPanel* r);
int SetPanelRegisters(int slot, ParameterPanel* r);
// The finger group of version-0 firmware: item 1 in register 0x45 (limit 0xF7) with
// feature bit 0, else bit 3 of register 0x43; bytes 84/85 from registers 0x02/0x03.
// Item 0 is never read or written (item mask 2). A Set writes item 1 (changed = 2).
int GetFingerRegisters(int slot, uint32_t groupMask, ParameterFinger* r);
int SetFingerRegisters(int slot, ParameterFinger* r);
// The water group of version-0 firmware (feature bit 3, else 0 without a command):
// item 0 from the mode register 0x43, and with feature bit 1 item 2 in register 0x01.
int GetWaterRegisters(int slot, uint32_t groupMask, ParameterWater* r);
int SetWaterRegisters(int slot, ParameterWater* r);

}  // namespace qvlib
