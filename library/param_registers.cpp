// The register forms of the parameter groups, for firmware without a parameter
// version: single configuration registers and commands stand for group items.
#include "param_groups.h"

#include <algorithm>
#include <cstring>

namespace qvlib {
namespace {

bool Valid(int slot) { return slot >= 0 && slot < kSlotCount; }

bool Raw(int slot, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return SendCmd(g_devInfo[slot].hDevice, cmd, reply) != 0;
}

bool FeatureBit(int slot, int k) { return g_devInfo[slot].byFeature[0] & (1u << k); }

// Runs fill on a full-size copy of the caller's record and hands back only the
// caller's cbSize bytes, so that no byte at or past cbSize is touched.
template <class T, class F> int OnFullCopy(T* r, F fill) {
    T copy{};
    const size_t cb = std::min<size_t>(r->cbSize, sizeof copy);
    std::memcpy(&copy, r, cb);
    const int result = fill(copy);
    std::memcpy(r, &copy, cb);
    return result;
}

// E6 01 00 00 00 answers 'U' in byte 2 when the anti-noise setting exists.
bool AntiNoiseProbe(int slot, uint8_t reply[5]) { return Raw(slot, 0xE6, 0x01, 0x00, 0x00, 0x00, reply) && reply[2] == 0x55; }

}  // namespace

int GetGeneralInfoRegisters(int slot, ParameterGeneralInfo* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterGeneralInfo>) return 0;
    uint16_t mask = FeatureBit(slot, 3) ? 0x1CF : 0x18F;
    uint8_t reply[5] = {};
    if (!AntiNoiseProbe(slot, reply)) mask &= uint16_t(~(1u << 7));
    r->groupMask = mask;
    return 1;
}

int GetAntiNoiseRegisters(int slot, uint32_t groupMask, ParameterAntiNoise* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterAntiNoise>) return 0;
    r->valid = 0;
    if (!(groupMask & (1u << 7))) return 1;
    uint8_t reply[5] = {};
    if (!AntiNoiseProbe(slot, reply)) return 0;
    const uint8_t maximum = reply[4];
    if (!Raw(slot, 0xE6, 0x01, 0x01, 0x00, 0x00, reply)) return 0;
    r->item0 = ParameterPairItem{reply[4], maximum, reply[3], reply[4], 1};
    r->itemMask = 0x0001;
    g_itemMask[slot] = r->itemMask;
    r->valid = 1;
    return 1;
}

int SetAntiNoiseRegisters(int slot, ParameterAntiNoise* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterAntiNoise> || !r->valid) return 0;
    g_itemMask[slot] = r->itemMask;
    r->changed = 0;
    ParameterPairItem& it = r->item0;
    if (!(r->itemMask & 1) || !it.present || it.value > it.maximum || it.value == it.stored) return 1;
    it.stored = it.value;
    r->changed = 2;
    uint8_t reply[5] = {};
    return Raw(slot, 0xE6, 0x01, 0x0F, it.value, 0x00, reply) ? 1 : 0;
}

}  // namespace qvlib

namespace qvlib {

int GetPanelRegisters(int slot, uint32_t groupMask, ParameterPanel* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterPanel>) return 0;
    return OnFullCopy(r, [&](ParameterPanel& p) -> int {
        p.valid = 0;
        if (!(groupMask & (1u << 2))) return 1;
        uint8_t reply[5] = {};
        if (!Raw(slot, 0xE0, 0x00, 0x3A, 0x00, 0x00, reply)) return 0;
        const uint8_t item0 = reply[4];
        uint8_t item1 = reply[3];
        if (reply[1] != 1) {
            if (!Raw(slot, 0xE0, 0x00, 0x3B, 0x00, 0x00, reply)) return 0;
            item1 = reply[4];
        }
        if (!Raw(slot, 0xE3, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
        // The table sizes; an empty table leaves no index but 0.
        const uint8_t max0 = reply[2] ? uint8_t(reply[2] - 1) : 0, max1 = reply[3] ? uint8_t(reply[3] - 1) : 0;
        p.item[0] = ParameterItem{item0, max0, item0, 0, 1};
        p.item[1] = ParameterItem{item1, max1, item1, 0, 1};
        p.itemMask = 0x0003;
        g_itemMask[slot] = p.itemMask;
        if (p.cbSize > 60 && !ReadPanelGeometryOld(slot, &p)) return 0;
        if (p.cbSize > 76) p.dimension[0] = p.dimension[1] = 0;
        if (p.cbSize > 80) {
            p.textLength = 0;
            std::memset(p.text, 0, sizeof p.text);
        }
        p.valid = 1;
        return 1;
    });
}

int SetPanelRegisters(int slot, ParameterPanel* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterPanel> || !r->valid) return 0;
    g_itemMask[slot] = r->itemMask;
    r->changed = 0;
    static const uint8_t kRegister[2] = {0x4A, 0x4B};
    uint8_t reply[5] = {};
    for (int n = 0; n < 2; ++n) {
        ParameterItem& it = r->item[n];
        if (!(r->itemMask & (1u << n)) || !it.present || it.value > it.maximum || it.value == it.stored) continue;
        if (!Raw(slot, 0xE1, 0x00, kRegister[n], 0x00, it.value, reply)) return 0;
        it.stored = it.value;
        r->changed = 2;
    }
    return 1;
}

}  // namespace qvlib

namespace qvlib {
namespace {

bool ReadRegister(int slot, uint8_t reg, uint8_t reply[5]) { return Raw(slot, 0xE0, 0x00, reg, 0x00, 0x00, reply); }

bool WriteRegister(int slot, uint8_t reg, uint8_t value) {
    uint8_t reply[5] = {};
    return Raw(slot, 0xE1, 0x00, reg, 0x00, value, reply);
}

// An item is written when its mask bit is set, it is present, within its maximum
// and differs from the value the controller holds.
template <class Item> bool Due(uint16_t itemMask, int n, const Item& it) {
    return (itemMask & (1u << n)) && it.present && it.value <= it.maximum && it.value != it.stored;
}

constexpr uint8_t kModeRegister = 0x43;  // bit 7: water handling off; bit 3: finger level / water mode

}  // namespace

int GetFingerRegisters(int slot, uint32_t groupMask, ParameterFinger* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterFinger>) return 0;
    return OnFullCopy(r, [&](ParameterFinger& f) -> int {
        f.valid = 0;
        if (!(groupMask & (1u << 3))) return 1;
        uint8_t reply[5] = {};
        uint8_t level = 0, maximum = 2;
        if (FeatureBit(slot, 0)) {
            // The level register 0x45 and its limit 0xF7; without the limit, 5 levels.
            maximum = ReadRegister(slot, 0xF7, reply) ? reply[4] : 5;
            if (!ReadRegister(slot, 0x45, reply)) return 0;
            level = reply[4];
        } else {
            // Two levels in bit 3 of the mode register: set is level 1, clear level 2.
            if (!ReadRegister(slot, kModeRegister, reply)) return 0;
            level = (reply[4] & 0x08) ? 1 : 2;
        }
        f.item0[1] = ParameterItem{level, maximum, level, 0, 1};
        // Bytes 84/85: register 0x02, and 0x03 unless 0x02 answered both (byte 1 = 1).
        if (!ReadRegister(slot, 0x02, reply)) return 0;
        f.info[0] = reply[4];
        if (reply[1] != 1 && !ReadRegister(slot, 0x03, reply)) return 0;
        f.info[1] = reply[3];
        // This firmware has no command that reads the sensitivity pair, so item 0 is
        // taken as unreadable: it stays absent and only item 1 is in the mask.
        f.itemMask = 0x0002;
        g_itemMask[slot] = f.itemMask;
        f.valid = 1;
        return 1;
    });
}

int SetFingerRegisters(int slot, ParameterFinger* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterFinger> || !r->valid) return 0;
    g_itemMask[slot] = r->itemMask;
    r->changed = 0;
    // Item 0 (register 0x44) is never read on this firmware (see the Get), so it is
    // never written either, whatever the record's mask says.
    ParameterItem& it = r->item0[1];
    if (!Due(r->itemMask, 1, it)) return 1;
    if (FeatureBit(slot, 0)) {
        if (!WriteRegister(slot, 0x45, it.value)) return 0;
    } else {
        uint8_t reply[5] = {};
        if (!ReadRegister(slot, kModeRegister, reply)) return 0;
        const uint8_t mode = it.value == 1 ? uint8_t(reply[4] | 0x08) : uint8_t(reply[4] & ~0x08);
        if (!WriteRegister(slot, kModeRegister, mode)) return 0;
    }
    it.stored = it.value;
    r->changed = 2;
    return 1;
}

int GetWaterRegisters(int slot, uint32_t groupMask, ParameterWater* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterWater>) return 0;
    return OnFullCopy(r, [&](ParameterWater& w) -> int {
        w.valid = 0;
        if (!(groupMask & (1u << 6))) return 1;
        if (!FeatureBit(slot, 3)) return 0;  // no water handling on this controller
        uint8_t reply[5] = {};
        if (!ReadRegister(slot, kModeRegister, reply)) return 0;
        const uint8_t mode = reply[4];
        const bool on = !(mode & 0x80);
        if (FeatureBit(slot, 1)) {
            // Item 0's second byte: bit 0 from bit 4 of feature byte 3, bit 1 from its bit 3.
            const uint8_t f3 = g_devInfo[slot].byFeature[3];
            const uint8_t modes = uint8_t(((f3 & 0x10) ? 1 : 0) | ((f3 & 0x08) ? 2 : 0));
            // Two separate ways to 17: bit 3 of the register when the second byte is 3,
            // or, whatever the second byte, bit 1 of the register (not of the second byte).
            const bool second = (modes == 3 && (mode & 0x08)) || (mode & 0x02);
            const uint8_t value = !on ? 0 : second ? 17 : 1;
            // The largest of 0, 1 and 17, so that the Set can switch to any of them.
            w.item0 = ParameterPairItem{value, 17, modes, value, 1};
            if (!ReadRegister(slot, 0x01, reply)) return 0;
            w.item1[1] = ParameterItem{reply[3], 254, reply[3], 0, 1};
            w.itemMask = 0x0005;
        } else {
            const uint8_t value = on ? 1 : 0;
            w.item0 = ParameterPairItem{value, 1, 1, value, 1};
            w.itemMask = 0x0001;
        }
        g_itemMask[slot] = w.itemMask;
        w.valid = 1;
        return 1;
    });
}

int SetWaterRegisters(int slot, ParameterWater* r) {
    if (!Valid(slot) || !r || r->cbSize < kParameterBaseSize<ParameterWater> || !r->valid) return 0;
    if (!FeatureBit(slot, 3)) return 0;  // no water handling: nothing is sent
    g_itemMask[slot] = r->itemMask;
    r->changed = 0;
    const bool modes = FeatureBit(slot, 1);
    ParameterPairItem& it = r->item0;
    if (Due(r->itemMask, 0, it)) {
        uint8_t reply[5] = {};
        if (!ReadRegister(slot, kModeRegister, reply)) return 0;
        uint8_t mode = it.value ? uint8_t(reply[4] & ~0x80) : uint8_t(reply[4] | 0x80);
        // With second byte 3, bit 3 of the register follows bit 4 of the value (17 sets it).
        if (modes && it.second == 3) mode = (it.value & 0x10) ? uint8_t(mode | 0x08) : uint8_t(mode & ~0x08);
        if (!WriteRegister(slot, kModeRegister, mode)) return 0;
        it.stored = it.value;
        r->changed = 2;
    }
    ParameterItem& level = r->item1[1];
    if (modes && Due(r->itemMask, 2, level)) {
        if (!WriteRegister(slot, 0x01, level.value)) return 0;
        level.stored = level.value;
        r->changed = 2;
    }
    return 1;
}

}  // namespace qvlib
