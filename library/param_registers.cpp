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
    // Work on a full-size copy so that no byte at or past cbSize is touched.
    ParameterPanel p{};
    const size_t cb = std::min<size_t>(r->cbSize, sizeof p);
    std::memcpy(&p, r, cb);
    auto run = [&]() -> int {
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
    };
    const int result = run();
    std::memcpy(r, &p, cb);
    return result;
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
