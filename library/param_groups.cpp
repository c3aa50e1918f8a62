// The group workers of the item protocol. Every parameter packet is five bytes:
// F6 g code b3 b4. A reply whose byte 1 or 2 is 0xFF is a refusal.
//
// The workers never touch a byte at or past the caller's cbSize: each one works
// on a full-size copy of the record (the caller's first cbSize bytes, the rest
// zero) and hands back the first cbSize bytes. The optional fields follow the
// record's size marks exactly as laid out, so a field that only starts inside
// the caller's record is read from the device and only its first bytes return.
#include "param_groups.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace qvlib {

uint16_t g_itemMask[kSlotCount];
uint16_t g_extensionItemMask[kSlotCount];
uint8_t g_orientationIndex[kSlotCount];

// ---- the records' layout is an interface --------------------------------------------
#define QV_AT(T, f, n) static_assert(offsetof(T, f) == (n), #T "." #f " sits at " #n)
static_assert(sizeof(ParameterItem) == 8 && sizeof(ParameterPairItem) == 8 && sizeof(ParameterWordItem) == 12 &&
              sizeof(ParameterShortWordItem) == 8 && sizeof(ParameterWideItem) == 16);
QV_AT(ParameterItem, present, 4);
QV_AT(ParameterPairItem, second, 2);
QV_AT(ParameterPairItem, stored, 3);
QV_AT(ParameterWordItem, stored, 4);
QV_AT(ParameterWordItem, present, 8);
QV_AT(ParameterShortWordItem, stored, 2);
QV_AT(ParameterWideItem, first, 8);
QV_AT(ParameterWideItem, present, 12);
static_assert(sizeof(ParameterGeneralInfo) == 20);
QV_AT(ParameterGeneralInfo, groupMask, 4);
QV_AT(ParameterGeneralInfo, valid, 8);
QV_AT(ParameterGeneralInfo, info1, 9);
QV_AT(ParameterGeneralInfo, info2, 11);
QV_AT(ParameterGeneralInfo, item3Value, 13);
QV_AT(ParameterGeneralInfo, item4Value, 16);
static_assert(sizeof(ParameterHostInterface) == 56);
QV_AT(ParameterHostInterface, itemMask, 4);
QV_AT(ParameterHostInterface, changed, 6);
QV_AT(ParameterHostInterface, valid, 8);
QV_AT(ParameterHostInterface, item, 12);
QV_AT(ParameterHostInterface, interfaceByte, 36);
QV_AT(ParameterHostInterface, hidFlag, 40);
QV_AT(ParameterHostInterface, identity, 44);
QV_AT(ParameterHostInterface, item3, 48);
static_assert(sizeof(ParameterPanel) == 160);
QV_AT(ParameterPanel, item, 12);
QV_AT(ParameterPanel, geometry, 60);
QV_AT(ParameterPanel, resolution, 68);
QV_AT(ParameterPanel, extra, 72);
QV_AT(ParameterPanel, dimension, 76);
QV_AT(ParameterPanel, textLength, 80);
QV_AT(ParameterPanel, text, 81);
QV_AT(ParameterPanel, item6, 120);
static_assert(sizeof(ParameterFinger) == 136);
QV_AT(ParameterFinger, item0, 12);
QV_AT(ParameterFinger, item5, 44);
QV_AT(ParameterFinger, item4, 52);
QV_AT(ParameterFinger, item6, 60);
QV_AT(ParameterFinger, info, 84);
QV_AT(ParameterFinger, item9, 88);
QV_AT(ParameterFinger, item14, 128);
static_assert(sizeof(ParameterPalm) == 60);
QV_AT(ParameterPalm, item5, 52);
static_assert(sizeof(ParameterBase) == 84);
QV_AT(ParameterBase, item5, 52);
QV_AT(ParameterBase, item6, 60);
static_assert(sizeof(ParameterWater) == 104);
QV_AT(ParameterWater, item0, 12);
QV_AT(ParameterWater, item1, 20);
QV_AT(ParameterWater, item8, 44);
QV_AT(ParameterWater, item9, 52);
QV_AT(ParameterWater, item15, 76);
QV_AT(ParameterWater, info, 84);
QV_AT(ParameterWater, item12, 88);
static_assert(sizeof(ParameterAntiNoise) == 176);
QV_AT(ParameterAntiNoise, item1, 20);
QV_AT(ParameterAntiNoise, item3, 36);
QV_AT(ParameterAntiNoise, item7, 68);
QV_AT(ParameterAntiNoise, item8, 76);
QV_AT(ParameterAntiNoise, item11, 100);
QV_AT(ParameterAntiNoise, item12, 116);
QV_AT(ParameterAntiNoise, extensionMask, 148);
QV_AT(ParameterAntiNoise, extension, 152);
static_assert(sizeof(ParameterCoordinate) == 176);
QV_AT(ParameterCoordinate, word, 12);
QV_AT(ParameterCoordinate, item8, 108);
QV_AT(ParameterCoordinate, info, 140);
QV_AT(ParameterCoordinate, item12, 144);
static_assert(sizeof(ParameterPowerSaving) == 44);
static_assert(sizeof(ParameterScan) == 84);
QV_AT(ParameterScan, info1, 52);
QV_AT(ParameterScan, item5, 56);
QV_AT(ParameterScan, item6, 64);
QV_AT(ParameterScan, info2, 72);
QV_AT(ParameterScan, info3, 74);
QV_AT(ParameterScan, item7, 76);
static_assert(sizeof(ParameterMisc) == 68);
QV_AT(ParameterMisc, item3, 36);
QV_AT(ParameterMisc, item4, 44);
QV_AT(ParameterMisc, item5, 52);
static_assert(sizeof(ParameterDriveIC) == 44);
QV_AT(ParameterDriveIC, lineCount, 28);
QV_AT(ParameterDriveIC, lines, 29);
static_assert(sizeof(ParameterDebug) == 104);
QV_AT(ParameterDebug, eventHalt, 12);
QV_AT(ParameterDebug, item, 16);
QV_AT(ParameterDebug, item9, 88);
static_assert(sizeof(ParameterVButton) == 52);
QV_AT(ParameterVButton, entrySize, 14);
QV_AT(ParameterVButton, info4, 16);
QV_AT(ParameterVButton, info5, 18);
QV_AT(ParameterVButton, item, 20);
static_assert(sizeof(ParameterCustom) == 24);
QV_AT(ParameterCustom, info, 12);
QV_AT(ParameterCustom, item0, 16);
static_assert(sizeof(ForceTouchTable) == 104);
QV_AT(ForceTouchTable, value, 4);
QV_AT(ForceTouchTable, info, 100);
QV_AT(ForceTouchTable, rows, 101);
QV_AT(ForceTouchTable, columns, 102);
QV_AT(ForceTouchTable, info2, 103);
static_assert(sizeof(VButtonTable) == 196);
#undef QV_AT

namespace {

constexpr uint8_t kExtensionGroup = 0x17;
constexpr uint8_t kCustomGroup = 0x8E;

// One item of a group record: where it sits and when it exists.
enum class Kind : uint8_t { Byte, Pair, Word, ShortWord };
struct ItemSpec {
    uint8_t n;
    uint16_t offset;
    Kind kind = Kind::Byte;
    uint16_t minSize = 0;     // the item exists when cbSize >= minSize
    uint16_t minVersion = 0;  // ... and the parameter version >= minVersion
    uint8_t group = 0;        // 0: the record's group
};

// A worker's view of the device and the caller's record.
struct Ctx {
    int slot;
    HANDLE h;
    uint32_t version;
    uint32_t cb;
};

Ctx MakeCtx(int slot, uint32_t cb) {
    const DevInfo& d = g_devInfo[slot];
    return Ctx{slot, d.hDevice, d.dwParaVersion, cb};
}

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }

bool Refused(const uint8_t reply[5]) { return reply[1] == 0xFF || reply[2] == 0xFF; }

// One item-protocol command; code 0x90 waits 50 ms before its reply is read.
bool Item(const Ctx& c, uint8_t group, uint8_t code, uint8_t b3, uint8_t b4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {0xF6, group, code, b3, b4};
    const int ok = code == 0x90 ? SendDelayCmd(c.h, cmd, reply, 50) : SendCmd(c.h, cmd, reply);
    return ok && !Refused(reply);
}

bool Send(const Ctx& c, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return SendCmd(c.h, cmd, reply) != 0;
}

uint16_t Le16(uint8_t lo, uint8_t hi) { return static_cast<uint16_t>(lo | hi << 8); }

// A full-size working copy of the caller's record.
template <class T> struct Work {
    T r{};
    T* caller;
    uint32_t cb;
    explicit Work(T* p) : caller(p), cb(p->cbSize) { std::memcpy(&r, p, std::min<size_t>(cb, sizeof(T))); }
    void back() { std::memcpy(caller, &r, std::min<size_t>(cb, sizeof(T))); }
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(&r); }
};

template <class T> bool SizeAccepted(const T* r) { return r && r->cbSize >= kParameterBaseSize<T>; }

// Runs a worker on a full-size copy of the caller's record and hands back the
// caller's cbSize bytes of it, whatever the worker's result.
template <class T, class Body> int WithWork(int slot, T* r, Body body) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<T> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    const int result = body(w, c);
    w.back();
    return result;
}

bool Exists(const Ctx& c, const ItemSpec& s) { return c.cb >= s.minSize && c.version >= s.minVersion; }

uint16_t MaskFor(const Ctx& c, uint8_t group) {
    return (group & 0x10) ? g_extensionItemMask[c.slot] : g_itemMask[c.slot];
}

// Reads the items of a list into rec. Items whose mask bit is clear become 0.
// tolerant: an item whose read fails stays absent instead of failing the Get.
bool ReadItems(const Ctx& c, uint8_t group, const ItemSpec* list, size_t count, uint8_t* rec, int tolerant = -1) {
    for (size_t i = 0; i < count; ++i) {
        const ItemSpec& s = list[i];
        if (!Exists(c, s)) continue;
        const uint8_t g = s.group ? s.group : group;
        const bool has = MaskFor(c, g) & (1u << s.n);
        uint8_t* f = rec + s.offset;
        uint8_t reply[5] = {};
        switch (s.kind) {
            case Kind::Byte:
            case Kind::Pair: {
                ParameterItem it{};
                uint8_t second = 0;
                bool ok = has;
                if (has && !Item(c, g, uint8_t(0x10 + s.n), 0, 0, reply)) {
                    if (tolerant != s.n) return false;
                    ok = false;
                }
                if (ok) {
                    it.value = reply[4];
                    it.maximum = reply[3];
                    it.stored = it.value;
                    it.present = 1;
                    if (s.kind == Kind::Pair) {
                        if (!Item(c, g, uint8_t(0x20 + s.n), 0, 0, reply)) return false;
                        second = reply[4];
                    }
                }
                if (s.kind == Kind::Pair) {
                    ParameterPairItem p{it.value, it.maximum, second, it.stored, it.present};
                    std::memcpy(f, &p, sizeof p);
                } else {
                    std::memcpy(f, &it, sizeof it);
                }
                break;
            }
            case Kind::Word: {
                ParameterWordItem w{};
                if (has) {
                    if (!Item(c, g, uint8_t(0x10 + s.n), 0, 0, reply)) return false;
                    w.value = Le16(reply[3], reply[4]);
                    if (!Item(c, g, uint8_t(0x20 + s.n), 0, 0, reply)) return false;
                    w.maximum = Le16(reply[3], reply[4]);
                    w.stored = w.value;
                    w.present = 1;
                }
                std::memcpy(f, &w, sizeof w);
                break;
            }
            case Kind::ShortWord: {
                ParameterShortWordItem w{};
                if (has) {
                    if (!Item(c, g, uint8_t(0x10 + s.n), 0, 0, reply)) return false;
                    w.value = Le16(reply[3], reply[4]);
                    w.stored = w.value;
                    w.present = 1;
                }
                std::memcpy(f, &w, sizeof w);
                break;
            }
        }
    }
    return true;
}

// Writes the present, changed and in-range items of a list; changed |= each answer.
bool WriteItems(const Ctx& c, uint8_t group, const ItemSpec* list, size_t count, uint8_t* rec, uint8_t* changed,
                int tolerant = -1) {
    for (size_t i = 0; i < count; ++i) {
        const ItemSpec& s = list[i];
        if (!Exists(c, s)) continue;
        const uint8_t g = s.group ? s.group : group;
        if (!(MaskFor(c, g) & (1u << s.n))) continue;
        uint8_t* f = rec + s.offset;
        uint8_t reply[5] = {};
        const uint8_t code = uint8_t(0x80 + s.n);
        if (s.kind == Kind::Byte || s.kind == Kind::Pair) {
            // Both forms keep value and maximum first; stored is byte 2 or byte 3.
            const size_t storedAt = s.kind == Kind::Pair ? 3 : 2;
            uint32_t present;
            std::memcpy(&present, f + 4, 4);
            const uint8_t value = f[0], maximum = f[1], stored = f[storedAt];
            if (!present || value > maximum || value == stored) continue;
            if (!Item(c, g, code, 0, value, reply) || reply[4] == 0xFF) {
                if (tolerant == s.n) continue;
                return false;
            }
            *changed |= reply[4];
            f[storedAt] = value;
        } else {
            uint16_t value, stored;
            uint32_t present;
            const size_t storedAt = s.kind == Kind::Word ? 4 : 2, presentAt = s.kind == Kind::Word ? 8 : 4;
            std::memcpy(&value, f, 2);
            std::memcpy(&stored, f + storedAt, 2);
            std::memcpy(&present, f + presentAt, 4);
            if (!present || value == stored) continue;
            if (!Item(c, g, code, uint8_t(value & 0xFF), uint8_t(value >> 8), reply) || reply[4] == 0xFF) return false;
            *changed |= reply[4];
            std::memcpy(f + storedAt, &value, 2);
        }
    }
    return true;
}

// Steps 1 and 2 of every Get: clear valid, test the group bit, read the item mask.
// Returns -1 to go on, else the worker's result.
template <class T> int BeginGet(Work<T>& w, const Ctx& c, uint8_t group, uint32_t groupMask, bool testBit = true) {
    w.r.valid = 0;
    if (testBit && !(groupMask & (1u << group))) return 1;
    uint8_t reply[5] = {};
    if (!Item(c, group, 0x00, 0, 0, reply)) return 0;
    w.r.itemMask = Le16(reply[3], reply[4]);
    g_itemMask[c.slot] = w.r.itemMask;
    return -1;
}

template <class T> bool BeginSet(Work<T>& w, const Ctx& c) {
    if (!w.r.valid) return false;
    g_itemMask[c.slot] = w.r.itemMask;
    w.r.changed = 0;
    return true;
}

// A group whose record is its items and nothing else.
template <class T, size_t N>
int PlainGet(int slot, uint8_t group, uint32_t groupMask, T* r, const ItemSpec (&list)[N]) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<T> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    int result = BeginGet(w, c, group, groupMask);
    if (result < 0) {
        result = ReadItems(c, group, list, N, w.bytes()) ? 1 : 0;
        if (result) w.r.valid = 1;
    }
    w.back();
    return result;
}

template <class T, size_t N> int PlainSet(int slot, uint8_t group, T* r, const ItemSpec (&list)[N]) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<T> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    if (!BeginSet(w, c)) return 0;
    const int result = WriteItems(c, group, list, N, w.bytes(), &w.r.changed) ? 1 : 0;
    w.back();
    return result;
}

// ---- item lists -----------------------------------------------------------------------
constexpr ItemSpec kHostItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 48, Kind::Byte, 49, 147}};
constexpr ItemSpec kPanelItems[] = {{0, 12},  {1, 20}, {2, 28}, {3, 36}, {4, 44}, {5, 52},
                                    {6, 120, Kind::Byte, 121}, {7, 128, Kind::Byte, 121},
                                    {8, 136, Kind::Byte, 121}, {9, 144, Kind::Byte, 121},
                                    {10, 152, Kind::Byte, 121}};
constexpr ItemSpec kFingerItems[] = {{0, 12},  {1, 20},  {2, 28},  {3, 36}, {4, 52}, {5, 44},
                                     {6, 60},  {7, 68},  {8, 76},  {9, 88, Kind::Byte, 89},
                                     {10, 96, Kind::Byte, 89},    {11, 104, Kind::Byte, 89},
                                     {12, 112, Kind::Byte, 89},   {13, 120, Kind::Byte, 89},
                                     {14, 128, Kind::Byte, 129}};
constexpr ItemSpec kPalmItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 36}, {4, 44}, {5, 52, Kind::Byte, 53}};
constexpr ItemSpec kBaseItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 36}, {4, 44}, {5, 52, Kind::Byte, 53},
                                   {6, 60, Kind::Byte, 61}, {7, 68, Kind::Byte, 61}, {8, 76, Kind::Byte, 61}};
constexpr ItemSpec kWaterItems[] = {{0, 12, Kind::Pair}, {1, 20}, {2, 28}, {3, 36}, {8, 44, Kind::Pair},
                                    {9, 52}, {10, 60}, {11, 68}, {15, 76},
                                    {12, 88, Kind::Byte, 89}, {13, 96, Kind::Byte, 89}};
constexpr ItemSpec kAntiNoiseItems[] = {
    {0, 12, Kind::Pair},       {1, 20},
    {2, 28},                   {3, 36, Kind::Byte, 37},
    {4, 44, Kind::Byte, 37},   {5, 52, Kind::Byte, 37},
    {6, 60, Kind::Byte, 37},   {7, 68, Kind::Byte, 69},
    {8, 76, Kind::Byte, 77},   {9, 84, Kind::Byte, 77},
    {10, 92, Kind::Byte, 77},  {12, 116, Kind::Byte, 101},
    {13, 124, Kind::Byte, 101}, {14, 132, Kind::Byte, 101},
    {15, 140, Kind::Byte, 101}, {0, 152, Kind::Byte, 101, 0, kExtensionGroup},
    {1, 160, Kind::Byte, 101, 0, kExtensionGroup}, {2, 168, Kind::Byte, 101, 0, kExtensionGroup}};
constexpr ItemSpec kCoordinateWords[] = {{0, 12, Kind::Word}, {1, 24, Kind::Word}, {2, 36, Kind::Word},
                                         {3, 48, Kind::Word}, {4, 60, Kind::Word}, {5, 72, Kind::Word},
                                         {6, 84, Kind::Word}, {7, 96, Kind::Word}};
constexpr ItemSpec kCoordinateSwitches[] = {{8, 108}, {9, 116}, {10, 124}, {11, 132}};
constexpr ItemSpec kCoordinateLate[] = {{12, 144, Kind::Byte, 145}, {13, 152, Kind::Byte, 145},
                                        {14, 160, Kind::Byte, 145}, {15, 168, Kind::Byte, 145}};
constexpr ItemSpec kPowerItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 36}};
constexpr ItemSpec kScanItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 36}, {4, 44},
                                   {5, 56, Kind::Byte, 57}, {6, 64, Kind::Byte, 65}, {7, 76, Kind::Byte, 73}};
constexpr ItemSpec kMiscItems[] = {{0, 12}, {1, 20}, {2, 28}, {3, 36, Kind::Byte, 37},
                                   {4, 44, Kind::ShortWord, 45}, {5, 52, Kind::Byte, 53}, {6, 60, Kind::Byte, 53}};
constexpr ItemSpec kDriveItems[] = {{0, 12}, {1, 20}};
constexpr ItemSpec kDebugItems[] = {{0, 16}, {1, 24}, {2, 32}, {3, 40}, {4, 48}, {5, 56}, {6, 64},
                                    {7, 72}, {8, 80}, {9, 88, Kind::Byte, 89}, {10, 96, Kind::Byte, 89}};
constexpr ItemSpec kVButtonItems[] = {{0, 20}, {1, 28}, {2, 36}, {3, 44}};
constexpr ItemSpec kCustomItems[] = {{0, 16}};

// Orientation of firmware below parameter version 1.35.
constexpr uint8_t kOrientationT1[16] = {0x00, 0x06, 0x03, 0x05, 0x06, 0x00, 0x05, 0x03,
                                        0x03, 0x05, 0x00, 0x06, 0x05, 0x03, 0x06, 0x00};
constexpr uint8_t kOrientationT2[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {2, 3, 0, 1}, {3, 2, 1, 0}};

}  // namespace

// ---- general ------------------------------------------------------------------------------
int GetGeneralInfo(int slot, ParameterGeneralInfo* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterGeneralInfo> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    ParameterGeneralInfo& g = w.r;
    auto run = [&]() -> int {
        g.valid = 0;
        uint8_t reply[5] = {};
        if (!Item(c, 0x00, 0x00, 0, 0, reply)) return 0;
        g.groupMask = Le16(reply[3], reply[4]);
        g_itemMask[slot] = g.groupMask;
        if (!Item(c, 0x00, 0x10, 0, 0, reply)) return 0;
        g.versionMajor = reply[3];
        g.versionMinor = reply[4];
        if (!Item(c, 0x00, 0x11, 0, 0, reply)) return 0;
        g.info1[0] = reply[4];
        g.info1[1] = reply[3];
        if (!Item(c, 0x00, 0x12, 0, 0, reply)) return 0;
        g.info2[0] = reply[3];
        g.info2[1] = reply[4];
        if (c.version >= 119) {
            if (!Item(c, 0x00, 0x13, 0, 0, reply)) return 0;
            g.item3Value = reply[4];
            g.item3Maximum = reply[3];
        }
        if (c.version >= 141) {
            if (!Item(c, 0x00, 0x14, 0, 0, reply)) return 0;
            g.item4Maximum = reply[3];
            g.item4Value = reply[4];
        }
        g.valid = 1;
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}

// ---- host interface -------------------------------------------------------------------------
int GetHostInterface(int slot, uint32_t groupMask, ParameterHostInterface* r) {
    return WithWork(slot, r, [&](Work<ParameterHostInterface>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x01, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x01, kHostItems, std::size(kHostItems), w.bytes())) return 0;
        uint8_t r1[5] = {}, r2[5] = {}, r3[5] = {};
        if (!Item(c, 0x01, 0x01, 0, 0, r1) || !Item(c, 0x01, 0x02, 0, 0, r2) || !Item(c, 0x01, 0x03, 0, 0, r3))
            return 0;
        const uint8_t i1 = r1[4], d = r2[4];
        uint8_t iface = i1;
        if ((i1 & 0x01) && (d & 0x80)) iface |= 0x08;
        if ((i1 & 0x02) && (d & 0x40)) iface |= 0x04;
        w.r.interfaceByte = iface;
        w.r.hidFlag = w.r.item[2].present ? (r3[3] & 0x20u) : 0u;
        if (c.cb > 44) {
            w.r.identity[0] = r2[3];
            w.r.identity[1] = d;
            w.r.identity[2] = r3[4];
            w.r.identity[3] = r3[3];
        }
        w.r.item[0].maximum = w.r.item[0].present ? d : 64;
        // A host interface without any of its first three items is not a valid group.
        if (!w.r.item[0].present && !w.r.item[1].present && !w.r.item[2].present) return 1;
        w.r.valid = 1;
        return 1;
    });
}

int SetHostInterface(int slot, ParameterHostInterface* r) { return PlainSet(slot, 0x01, r, kHostItems); }

// ---- panel ------------------------------------------------------------------------------------
int ReadPanelGeometryOld(int slot, ParameterPanel* p) {
    if (!ValidSlot(slot) || !p) return 0;
    const Ctx c = MakeCtx(slot, 0);
    uint8_t reply[5] = {};
    if (!Send(c, 0xE5, 0x00, 0x00, 0x00, 0x01, reply)) return 0;
    std::memset(p->geometry, 0, sizeof p->geometry);
    p->geometry[0] = reply[1];
    p->geometry[1] = reply[2];
    p->geometry[3] = reply[4] >> 4;
    p->geometry[7] = reply[3];
    return ReadPanelResolutionOld(slot, p);
}

int ReadPanelResolutionOld(int slot, ParameterPanel* p) {
    if (!ValidSlot(slot) || !p) return 0;
    uint8_t reply[5] = {};
    if (!Send(MakeCtx(slot, 0), 0xE5, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    p->resolution[0] = Le16(reply[1], reply[2]);
    p->resolution[1] = Le16(reply[3], reply[4]);
    return 1;
}

int GetPanel(int slot, uint32_t groupMask, ParameterPanel* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterPanel> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    ParameterPanel& p = w.r;
    auto run = [&]() -> int {
        int begin = BeginGet(w, c, 0x02, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x02, kPanelItems, std::size(kPanelItems), w.bytes())) return 0;
        uint8_t reply[5] = {};
        if (c.cb > 60) {
            std::memset(p.geometry, 0, sizeof p.geometry);
            bool fromE5 = false;
            if (c.version >= 101) {
                for (int k = 0; k < 4; ++k) {
                    if (!Item(c, 0x02, uint8_t(0x02 + k), 0, 0, reply)) return 0;
                    p.geometry[2 * k] = reply[3];
                    p.geometry[2 * k + 1] = reply[4];
                }
                if (!Item(c, 0x02, 0x06, 0, 0, reply)) return 0;
                p.resolution[0] = Le16(reply[3], reply[4]);
                if (!Item(c, 0x02, 0x07, 0, 0, reply)) return 0;
                p.resolution[1] = Le16(reply[3], reply[4]);
                fromE5 = p.resolution[0] == 0xFFFF || p.resolution[1] == 0xFFFF;
            } else {
                if (!ReadPanelGeometryOld(slot, &p)) return 0;
            }
            if (fromE5 && !ReadPanelResolutionOld(slot, &p)) return 0;
        }
        if (c.cb > 72 && c.version > 117) {
            if (!Item(c, 0x02, 0x34, 0, 0, reply)) return 0;
            p.extra[0] = reply[3];
            if (!Item(c, 0x02, 0x35, 0, 0, reply)) return 0;
            p.extra[1] = reply[3];
            if (c.version > 130) {
                if (!Item(c, 0x02, 0x08, 0, 0, reply)) return 0;
                p.extra[2] = reply[3];
                p.extra[3] = reply[4];
            }
        }
        if (c.cb > 76) {
            // The panel's dimensions from the panel-size table entry item 0 names.
            if (Send(c, 0xE3, 0x01, p.item[0].value, 0x00, 0x05, reply)) {
                p.dimension[0] = Le16(reply[1], reply[2]);
                p.dimension[1] = Le16(reply[3], reply[4]);
            } else {
                p.dimension[0] = p.dimension[1] = 0;
            }
        }
        if (c.cb > 80) {
            const bool hasText = c.version > 134;
            p.textLength = hasText ? 18 : 0;
            std::memset(p.text, 0, sizeof p.text);
            if (hasText) {
                for (int i = 0; i < 18; i += 4) {
                    if (!Send(c, 0xE0, 0xC0, uint8_t(0x80 + i), 0x00, 0x00, reply)) return 0;
                    for (int k = 0; k < 4 && i + k < 18; ++k) p.text[i + k] = reply[4 - k];
                }
            }
        }
        p.valid = 1;
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}

int SetPanel(int slot, ParameterPanel* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterPanel> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    if (!BeginSet(w, c)) return 0;
    auto run = [&]() -> int {
        if (!WriteItems(c, 0x02, kPanelItems, std::size(kPanelItems), w.bytes(), &w.r.changed)) return 0;
        if (c.cb > 80 && c.version > 134) {
            uint8_t reply[5] = {};
            if (!Item(c, 0x02, 0xB0, 0, 0, reply)) return 0;
            // The controller names the text length it takes; another length is not sent.
            if (reply[4] != w.r.textLength) return 1;
            const size_t length = std::min<size_t>(w.r.textLength, sizeof w.r.text);
            for (size_t at = 0; at < length; at += 4) {
                uint8_t packet[5] = {uint8_t(at / 4), 0, 0, 0, 0};
                for (size_t k = 0; k < 4 && at + k < sizeof w.r.text; ++k) packet[1 + k] = w.r.text[at + k];
                if (!SendCmdOnly(c.h, packet)) return 0;
            }
            if (!Item(c, 0x02, 0xB1, 0, 0, reply)) return 0;
        }
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}

// ---- finger, palm, base --------------------------------------------------------------------------
int GetFinger(int slot, uint32_t groupMask, ParameterFinger* r) {
    return WithWork(slot, r, [&](Work<ParameterFinger>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x03, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x03, kFingerItems, std::size(kFingerItems), w.bytes())) return 0;
        uint8_t reply[5] = {};
        if (!Item(c, 0x03, 0x01, 0, 0, reply)) return 0;
        w.r.info[0] = reply[4];
        w.r.info[1] = reply[3];
        w.r.valid = 1;
        return 1;
    });
}
int SetFinger(int slot, ParameterFinger* r) { return PlainSet(slot, 0x03, r, kFingerItems); }
int GetPalm(int slot, uint32_t groupMask, ParameterPalm* r) { return PlainGet(slot, 0x04, groupMask, r, kPalmItems); }
int SetPalm(int slot, ParameterPalm* r) { return PlainSet(slot, 0x04, r, kPalmItems); }
int GetBase(int slot, uint32_t groupMask, ParameterBase* r) { return PlainGet(slot, 0x05, groupMask, r, kBaseItems); }
int SetBase(int slot, ParameterBase* r) { return PlainSet(slot, 0x05, r, kBaseItems); }

// ---- water ---------------------------------------------------------------------------------------
int GetWater(int slot, uint32_t groupMask, ParameterWater* r) {
    return WithWork(slot, r, [&](Work<ParameterWater>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x06, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x06, kWaterItems, std::size(kWaterItems), w.bytes())) return 0;
        uint8_t reply[5] = {};
        uint8_t* info = w.r.info;
        if (c.version > 101) {
            if (!Item(c, 0x06, 0x01, 0, 0, reply)) return 0;
            info[0] = reply[4];
            info[1] = reply[3];
        } else {
            info[0] = info[1] = 0xFF;
        }
        if (c.version >= 109) {
            if (!Item(c, 0x06, 0x02, 0, 0, reply)) return 0;
            info[2] = reply[3];
            info[3] = reply[4];
        } else {
            info[2] = info[3] = 0xFF;
        }
        if (c.version < 116) info[2] = 0xFF;
        w.r.valid = 1;
        return 1;
    });
}
int SetWater(int slot, ParameterWater* r) { return PlainSet(slot, 0x06, r, kWaterItems); }

// ---- anti-noise ----------------------------------------------------------------------------------
int GetAntiNoise(int slot, uint32_t groupMask, ParameterAntiNoise* r) {
    return WithWork(slot, r, [&](Work<ParameterAntiNoise>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x07, groupMask);
        if (begin >= 0) return begin;
        uint8_t reply[5] = {};
        // The extension group's mask; a controller without the group has none.
        g_extensionItemMask[slot] = Item(c, kExtensionGroup, 0x00, 0, 0, reply) ? Le16(reply[3], reply[4]) : 0;
        w.r.extensionMask = g_extensionItemMask[slot];
        if (!ReadItems(c, 0x07, kAntiNoiseItems, std::size(kAntiNoiseItems), w.bytes())) return 0;
        if (c.cb > 100) {
            ParameterWideItem& wide = w.r.item11;
            wide = ParameterWideItem{};
            if (g_itemMask[slot] & (1u << 11)) {
                // Words 1, 2, 3, 4 of the item go to places 0, 3, 1, 2.
                const uint8_t codes[4] = {0x1B, 0x2B, 0x3B, 0x4B};
                const int place[4] = {0, 3, 1, 2};
                for (int k = 0; k < 4; ++k) {
                    if (!Item(c, 0x07, codes[k], 0, 0, reply)) return 0;
                    wide.word[place[k]] = Le16(reply[3], reply[4]);
                }
                wide.first = wide.word[0];
                wide.present = 1;
            }
        }
        w.r.valid = 1;
        return 1;
    });
}
int SetAntiNoise(int slot, ParameterAntiNoise* r) { return PlainSet(slot, 0x07, r, kAntiNoiseItems); }

// ---- coordinate ------------------------------------------------------------------------------------
int GetCoordinate(int slot, uint32_t groupMask, ParameterCoordinate* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterCoordinate> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    ParameterCoordinate& p = w.r;
    auto run = [&]() -> int {
        int begin = BeginGet(w, c, 0x08, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x08, kCoordinateWords, std::size(kCoordinateWords), w.bytes())) return 0;
        if (!ReadItems(c, 0x08, kCoordinateSwitches, std::size(kCoordinateSwitches), w.bytes())) return 0;
        uint8_t reply[5] = {};
        if (!Item(c, 0x08, 0x01, 0, 0, reply)) return 0;
        p.info = reply[4];
        if (c.cb > 144) {
            if (p.itemMask & (1u << 12)) {
                if (!ReadItems(c, 0x08, kCoordinateLate, std::size(kCoordinateLate), w.bytes())) return 0;
            } else {
                // Older firmware keeps these four in registers 0x34..0x37.
                for (int k = 0; k < 4; ++k) {
                    if (!Send(c, 0xE0, 0x00, uint8_t(0x34 + k), 0x00, 0x00, reply)) return 0;
                    p.item12[k] = ParameterItem{reply[4], 255, reply[4], 0, 1};
                }
            }
        }
        if (c.version < 135 && p.item8[3].present && p.item8[3].value < 4) {
            const uint8_t o = p.item8[3].value;
            const uint8_t x = uint8_t((4 * p.item8[2].value + 2 * p.item8[0].value + p.item8[1].value) ^ kOrientationT1[o]);
            uint8_t index = 0;
            for (uint8_t i = 0; i < 4; ++i)
                if (kOrientationT1[i] == x) {
                    index = i;
                    break;
                }
            g_orientationIndex[slot] = index;
            p.item8[3].value = p.item8[3].stored = kOrientationT2[index][o];
        }
        p.valid = 1;
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}

int SetCoordinate(int slot, ParameterCoordinate* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterCoordinate> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    ParameterCoordinate& p = w.r;
    if (!BeginSet(w, c)) return 0;
    auto run = [&]() -> int {
        if (!WriteItems(c, 0x08, kCoordinateWords, std::size(kCoordinateWords), w.bytes(), &p.changed)) return 0;
        uint8_t reply[5] = {};
        // Activate the calibration parameters just written.
        if ((p.itemMask & 0xFF) && Item(c, 0x08, 0x90, 0, 0, reply)) p.changed &= uint8_t(~0x01);
        if (c.version < 135) {
            ParameterItem& o = p.item8[3];
            if (o.value != o.stored) {
                const uint8_t row = g_orientationIndex[slot] & 3;
                uint8_t j = 4;
                for (uint8_t k = 0; k < 4; ++k)
                    if (kOrientationT2[row][k] == o.value) {
                        j = k;
                        break;
                    }
                o.value = j;
                o.stored = 4;  // differs from every column, so the item is written
            }
        }
        if (!WriteItems(c, 0x08, kCoordinateSwitches, std::size(kCoordinateSwitches), w.bytes(), &p.changed)) return 0;
        if (c.cb > 144) {
            if (p.itemMask & (1u << 12)) {
                if (!WriteItems(c, 0x08, kCoordinateLate, std::size(kCoordinateLate), w.bytes(), &p.changed)) return 0;
            } else {
                for (int k = 0; k < 4; ++k) {
                    ParameterItem& it = p.item12[k];
                    if (!it.present || it.value == it.stored) continue;
                    if (!Send(c, 0xE1, 0x00, uint8_t(0x34 + k), 0x00, it.value, reply)) return 0;
                    it.stored = it.value;
                }
            }
        }
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}

// ---- power saving, scan, misc -----------------------------------------------------------------------
int GetPowerSaving(int slot, uint32_t groupMask, ParameterPowerSaving* r) {
    return PlainGet(slot, 0x09, groupMask, r, kPowerItems);
}
int SetPowerSaving(int slot, ParameterPowerSaving* r) { return PlainSet(slot, 0x09, r, kPowerItems); }

int GetScan(int slot, uint8_t group, uint32_t groupMask, ParameterScan* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r) || (group != 10 && group != 11)) return 0;
    Work<ParameterScan> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    auto run = [&]() -> int {
        int begin = BeginGet(w, c, group, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, group, kScanItems, std::size(kScanItems), w.bytes())) return 0;
        uint8_t reply[5] = {};
        if (!Item(c, group, 0x01, 0, 0, reply)) return 0;
        w.r.info1 = Le16(reply[3], reply[4]);
        if (c.cb >= 73 && c.version >= 152) {
            if (!Item(c, group, 0x02, 0, 0, reply)) return 0;
            w.r.info2 = Le16(reply[3], reply[4]);
            if (!Item(c, group, 0x03, 0, 0, reply)) return 0;
            w.r.info3 = Le16(reply[3], reply[4]);
        }
        w.r.valid = 1;
        return 1;
    };
    const int result = run();
    w.back();
    return result;
}
int SetScan(int slot, uint8_t group, ParameterScan* r) {
    if (group != 10 && group != 11) return 0;
    return PlainSet(slot, group, r, kScanItems);
}

int GetMisc(int slot, uint32_t groupMask, ParameterMisc* r) { return PlainGet(slot, 0x0C, groupMask, r, kMiscItems); }
int SetMisc(int slot, ParameterMisc* r) { return PlainSet(slot, 0x0C, r, kMiscItems); }

// ---- drive IC ---------------------------------------------------------------------------------------
int GetDriveIC(int slot, uint32_t groupMask, ParameterDriveIC* r) {
    return WithWork(slot, r, [&](Work<ParameterDriveIC>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x0D, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x0D, kDriveItems, std::size(kDriveItems), w.bytes())) return 0;
        if (c.cb > 28) {
            uint8_t reply[5] = {};
            const uint8_t count = Item(c, 0x0D, 0x01, 0, 0, reply) ? reply[4] : 0xFF;
            w.r.lineCount = count;
            const int reads = count < 15 ? std::min((count + 1) / 2, 8) : 8;
            // Eight reads give 16 bytes; the record holds 15 after the count.
            uint8_t lines[16] = {};
            for (int j = 0; j < reads; ++j) {
                if (!Item(c, 0x0D, uint8_t(0x02 + j), 0, 0, reply)) return 0;
                lines[2 * j] = reply[3];
                lines[2 * j + 1] = reply[4];
            }
            std::memcpy(w.r.lines, lines, sizeof w.r.lines);
        }
        w.r.valid = 1;
        return 1;
    });
}
int SetDriveIC(int slot, ParameterDriveIC* r) { return PlainSet(slot, 0x0D, r, kDriveItems); }

// ---- debug ------------------------------------------------------------------------------------------
int GetDebug(int slot, uint32_t groupMask, ParameterDebug* r) {
    return WithWork(slot, r, [&](Work<ParameterDebug>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x0E, groupMask);
        if (begin >= 0) return begin;
        // Item 3 may not answer on some firmware: it then stays absent.
        if (!ReadItems(c, 0x0E, kDebugItems, std::size(kDebugItems), w.bytes(), 3)) return 0;
        uint8_t reply[5] = {};
        if (!Item(c, 0x0E, 0x50, 0, 0, reply)) return 0;
        w.r.eventHalt[0] = reply[3];
        w.r.eventHalt[1] = reply[4];
        w.r.valid = 1;
        return 1;
    });
}
int SetDebug(int slot, ParameterDebug* r) {
    if (!ValidSlot(slot) || !SizeAccepted(r)) return 0;
    Work<ParameterDebug> w(r);
    const Ctx c = MakeCtx(slot, w.cb);
    if (!BeginSet(w, c)) return 0;
    const int result = WriteItems(c, 0x0E, kDebugItems, std::size(kDebugItems), w.bytes(), &w.r.changed, 3) ? 1 : 0;
    w.back();
    return result;
}

// ---- virtual buttons, custom ---------------------------------------------------------------------------
int GetVButton(int slot, uint32_t groupMask, ParameterVButton* r) {
    return WithWork(slot, r, [&](Work<ParameterVButton>& w, const Ctx& c) -> int {
        int begin = BeginGet(w, c, 0x0F, groupMask);
        if (begin >= 0) return begin;
        if (!ReadItems(c, 0x0F, kVButtonItems, std::size(kVButtonItems), w.bytes())) return 0;
        uint8_t reply[5] = {};
        if (!Item(c, 0x0F, 0x01, 0, 0, reply)) return 0;
        w.r.info[0] = reply[3];
        w.r.info[1] = reply[4];
        if (!Item(c, 0x0F, 0x02, 0, 0, reply)) return 0;
        w.r.entrySize = reply[3];
        w.r.entryCount = reply[4];
        if (!Item(c, 0x0F, 0x04, 0, 0, reply)) return 0;
        w.r.info4 = Le16(reply[3], reply[4]);
        if (!Item(c, 0x0F, 0x05, 0, 0, reply)) return 0;
        w.r.info5 = Le16(reply[3], reply[4]);
        w.r.valid = 1;
        return 1;
    });
}
int SetVButton(int slot, ParameterVButton* r) { return PlainSet(slot, 0x0F, r, kVButtonItems); }

int GetCustom(int slot, ParameterCustom* r) {
    return WithWork(slot, r, [&](Work<ParameterCustom>& w, const Ctx& c) -> int {
        w.r.valid = 0;
        uint8_t reply[5] = {};
        // A controller without the custom group does not answer its mask.
        if (!Item(c, kCustomGroup, 0x00, 0, 0, reply)) return 1;
        w.r.itemMask = Le16(reply[3], reply[4]);
        g_itemMask[slot] = w.r.itemMask;
        if (!ReadItems(c, kCustomGroup, kCustomItems, std::size(kCustomItems), w.bytes())) return 0;
        if (!Item(c, kCustomGroup, 0x01, 0, 0, reply)) return 0;
        w.r.info[0] = reply[4];
        w.r.info[1] = reply[3];
        w.r.valid = 1;
        return 1;
    });
}
int SetCustom(int slot, ParameterCustom* r) { return PlainSet(slot, kCustomGroup, r, kCustomItems); }

// ---- control items --------------------------------------------------------------------------------------
namespace {
int Control(int slot, uint8_t group, uint8_t code, uint8_t b3, uint8_t b4, uint8_t* result = nullptr) {
    if (!ValidSlot(slot)) return 0;
    const Ctx c = MakeCtx(slot, 0);
    uint8_t reply[5] = {};
    if (!Item(c, group, code, b3, b4, reply)) return 0;
    if (result) *result = reply[4];
    return 1;
}
}  // namespace

int ParamFlush(int slot, uint8_t* result) { return Control(slot, 0x00, 0x90, 0, 0, result); }
int ParamReloadDefaults(int slot, bool all) {
    return all ? Control(slot, 0x00, 0x91, 0x55, 0xAA) : Control(slot, 0x00, 0x91, 0, 0);
}
int ParamReloadFlushed(int slot) { return Control(slot, 0x00, 0x92, 0, 0); }
int ParamExtraMode(int slot, uint8_t v) { return Control(slot, 0x00, 0x9E, 0, v); }
int ParamUpdateLock(int slot, uint8_t v) { return Control(slot, 0x00, 0x9F, 0, v); }

int VButtonCrc(int slot, uint16_t* crc) {
    if (!ValidSlot(slot) || !crc) return 0;
    uint8_t reply[5] = {};
    if (!Item(MakeCtx(slot, 0), 0x0F, 0x03, 0, 0, reply)) return 0;
    *crc = Le16(reply[3], reply[4]);
    return 1;
}
int VButtonClear(int slot, uint8_t f) { return Control(slot, 0x0F, 0x90, 0, f ? 1 : 0); }
int VButtonInit(int slot, uint8_t* result) { return Control(slot, 0x0F, 0x91, 0, 0, result); }
int VButtonLoadSetting(int slot, uint8_t f) { return Control(slot, 0x0F, 0x92, 0, f ? 1 : 0); }
int VButtonWriteFlash(int slot) { return Control(slot, 0x0F, 0x93, 0xAA, 0x55); }
int VButtonErase(int slot) { return Control(slot, 0x0F, 0x94, 0xAA, 0x55); }

// ---- virtual-button table ---------------------------------------------------------------------------------
int ReadVButtonTable(int slot, VButtonTable* t) {
    if (!ValidSlot(slot) || !t) return 0;
    const Ctx c = MakeCtx(slot, 0);
    std::memset(t, 0, sizeof *t);
    uint8_t reply[5] = {};
    if (!Item(c, 0x0F, 0x02, 0, 0, reply)) return 0;
    const uint8_t size = reply[3];
    // The table holds 16 entries of 12 bytes; a controller naming more gets no more.
    const uint8_t count = std::min<uint8_t>(reply[4], 16);
    for (uint8_t e = 0; e < count; ++e) {
        uint8_t entry[256 + 4] = {};
        for (unsigned wd = 0; 4 * wd < size; ++wd) {
            if (!Send(c, 0xF6, 0x0F, 0xA0, e, uint8_t(wd), reply)) continue;  // the word stays as it was
            std::memcpy(entry + 4 * wd, reply + 1, 4);
        }
        std::memcpy(t->entry[e], entry, std::min<size_t>(size, 12));
    }
    uint16_t crc = 0;
    if (VButtonCrc(slot, &crc)) t->crc = crc;
    t->entrySize = size;
    uint8_t used = 0;
    for (uint8_t e = 0; e < count; ++e)
        if (t->entry[e][8] | t->entry[e][9]) ++used;
    t->usedCount = used;
    return 1;
}

int WriteVButtonTable(int slot, const VButtonTable* t) {
    if (!ValidSlot(slot) || !t) return 0;
    const Ctx c = MakeCtx(slot, 0);
    uint8_t reply[5] = {};
    if (!Item(c, 0x0F, 0x02, 0, 0, reply)) return 0;
    const uint8_t size = reply[3];
    const uint8_t count = std::min<uint8_t>(reply[4], 16);
    for (uint8_t e = 0; e < count; ++e) {
        if (!Item(c, 0x0F, 0xB0, e, 0, reply)) return 0;
        for (unsigned wd = 0; 4 * wd < size; ++wd) {
            uint8_t packet[5] = {uint8_t(wd), 0, 0, 0, 0};
            for (unsigned k = 0; k < 4; ++k)
                if (4 * wd + k < 12) packet[1 + k] = t->entry[e][4 * wd + k];
            if (!SendCmdOnly(c.h, packet)) return 0;
        }
        if (!Item(c, 0x0F, 0xB1, e, 0, reply)) return 0;
    }
    return 1;
}

// ---- force touch ----------------------------------------------------------------------------------------------
int ForceTouchSwitch(int slot, int on) {
    if (!ValidSlot(slot)) return 0;
    uint8_t reply[5] = {};
    return Send(MakeCtx(slot, 0), 0xF8, 0x01, 0x00, 0x00, on ? 1 : 0, reply) ? 1 : 0;
}

namespace {
// Rows of the table hold three values, and row indices must stay inside one byte.
bool TableShapeFits(uint8_t rows, uint8_t columns) { return rows >= 1 && rows <= 15 && columns >= 1 && columns <= 3; }
uint8_t ForceIndex(unsigned r, unsigned k) { return uint8_t(16 * r + 17 + k); }
}  // namespace

int ReadForceTouchTable(int slot, ForceTouchTable* t) {
    if (!ValidSlot(slot) || !t || t->cbSize != sizeof(ForceTouchTable)) return 0;
    const Ctx c = MakeCtx(slot, 0);
    uint8_t reply[5] = {};
    if (!Send(c, 0xF8, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    t->info = reply[2];
    t->rows = reply[3] >> 4;
    t->columns = reply[3] & 0x0F;
    t->info2 = reply[4];
    if (!TableShapeFits(t->rows, t->columns)) return 0;
    for (unsigned r = 0; r < t->rows; ++r)
        for (unsigned k = 0; k < t->columns; ++k) {
            if (!Send(c, 0xF8, 0x02, ForceIndex(r, k), 0x00, 0x00, reply)) return 0;
            t->value[r][k] = reply[3];
        }
    return 1;
}

int WriteForceTouchTable(int slot, const ForceTouchTable* t) {
    if (!ValidSlot(slot) || !t || t->cbSize != sizeof(ForceTouchTable) || !TableShapeFits(t->rows, t->columns))
        return 0;
    const Ctx c = MakeCtx(slot, 0);
    uint8_t reply[5] = {};
    for (unsigned r = 0; r < t->rows; ++r)
        for (unsigned k = 0; k < t->columns; ++k) {
            const uint16_t v = t->value[r][k];
            if (!Send(c, 0xF8, 0x03, ForceIndex(r, k), uint8_t(v & 0xFF), uint8_t(v >> 8), reply)) return 0;
        }
    return 1;
}

}  // namespace qvlib
