// The controller's parameter memory as byte lists: the touch (application) list,
// the boot list, the debug list and one list per slave chip, read and written with
// the register commands (E0/E1). Per slot the library keeps, for every list, a
// working buffer (the one handed to the caller) and a shadow holding the bytes last
// read or written, so a write sends only the bytes the caller changed.
//
// The buffers are made at a slot's first list read, sized once for the longest list
// a descriptor can give (a length byte, rounded up to the read unit), and freed
// only at unload: pointers a caller holds from one read stay valid through every
// later read, whatever lengths the controller reports then.
#include "internal.h"
#include "param_groups.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

static_assert(offsetof(ParameterList, touchLength) == 0 && offsetof(ParameterList, bootLength) == 1 &&
                  offsetof(ParameterList, debugLength) == 2 && offsetof(ParameterList, slaveLength) == 3,
              "ParameterList lengths");
static_assert(offsetof(ParameterList, touchList) == sizeof(void*), "ParameterList pointers follow the lengths");
static_assert(offsetof(ParameterList, bootList) == offsetof(ParameterList, touchList) + sizeof(void*) &&
                  offsetof(ParameterList, debugList) == offsetof(ParameterList, touchList) + 2 * sizeof(void*) &&
                  offsetof(ParameterList, slaveList) == offsetof(ParameterList, touchList) + 3 * sizeof(void*),
              "ParameterList pointer order");
static_assert(sizeof(ParameterList) == offsetof(ParameterList, touchList) + 7 * sizeof(void*),
              "ParameterList has no size field");
static_assert(sizeof(void*) != 4 || sizeof(ParameterList) == 32, "ParameterList is 32 bytes on a 32-bit build");
static_assert(sizeof(void*) != 8 || sizeof(ParameterList) == 64, "ParameterList is 64 bytes on a 64-bit build");

namespace qvlib {
namespace {

enum { kTouch = 0, kBoot = 1, kDebug = 2, kSlave0 = 3, kListCount = 7 };
constexpr int kMaxSlaveLists = 4;

// A list holds at most 255 bytes (its length is one byte); reads fill whole units
// of four bytes at most.
constexpr size_t kListCapacity = 256;

struct ListBuffer {
    uint8_t* work;
    uint8_t* shadow;
};

// Plain storage (no destructor), so the unload step may free it whatever the order
// in which the library's statics go away.
struct SlotLists {
    uint8_t* work;    // kListCount lists of kListCapacity bytes
    uint8_t* shadow;  // the same
    uint8_t length[kListCount];  // the lengths of the last descriptor read
    bool allocated;              // a read has taken a descriptor's lengths

    ListBuffer list(int i) const { return ListBuffer{work + i * kListCapacity, shadow + i * kListCapacity}; }
};

SlotLists g_lists[kSlotCount];

// Makes the slot's buffers, zeroed, unless it has them.
bool EnsureBuffers(int slot) {
    SlotLists& s = g_lists[slot];
    if (s.work) return true;
    s.work = new (std::nothrow) uint8_t[kListCount * kListCapacity]();
    s.shadow = new (std::nothrow) uint8_t[kListCount * kListCapacity]();
    if (s.work && s.shadow) return true;
    delete[] s.work;
    delete[] s.shadow;
    s.work = s.shadow = nullptr;
    return false;
}

struct Lengths {
    uint8_t touch, boot, debug, slave;
};

// The list lengths (E0 00 FB: debug, slave, boot, touch in reply bytes 1..4), or the
// defaults of firmware that refuses the descriptor; no debug list when it refuses
// E0 00 80 too. false when a command could not be asked at all.
bool ReadDescriptor(HANDLE h, Lengths* out) {
    uint8_t reply[5] = {};
    if (Command(h, 0xE0, 0x00, 0xFB, 0x00, 0x00, reply)) {
        *out = Lengths{reply[4], reply[3], reply[1], reply[2]};
        return true;
    }
    if (!LastCommandRefused()) return false;
    Lengths l{64, 16, 16, 32};
    if (!Command(h, 0xE0, 0x00, 0x80, 0x00, 0x00, reply)) {
        if (!LastCommandRefused()) return false;
        l.debug = 0;
    }
    *out = l;
    return true;
}

// Where the touch, boot and debug lists live: P = feature byte 0 bit 1 and byte 2
// bit 7, Q = feature byte 7 bit 5 and an answer to the probe E0 C0 00 00 00.
struct Placement {
    uint8_t bank[3];
    uint8_t first[3];
};

Placement ChoosePlacement(HANDLE h, const DevInfo& d) {
    const bool p = (d.byFeature[0] & 0x02) && (d.byFeature[2] & 0x80);
    uint8_t reply[5] = {};
    const bool q = p && (d.byFeature[7] & 0x20) && Command(h, 0xE0, 0xC0, 0x00, 0x00, 0x00, reply);
    if (p && q) return Placement{{0xC0, 0xD0, 0xE0}, {0x00, 0x00, 0x00}};
    if (p) return Placement{{0x80, 0x90, 0xA0}, {0x00, 0x00, 0x00}};
    return Placement{{0x00, 0x00, 0x00}, {0x00, 0x40, 0x80}};
}

// Bytes per read of a bank: four where bank bit 6 is set, else two.
size_t ReadUnit(uint8_t bank) { return (bank & 0x40) ? 4 : 2; }

// A list never runs past address 0xFF of its bank: the address byte would wrap onto
// the start of the bank (another list's bytes).
uint8_t FitLength(uint8_t length, uint8_t first) {
    return static_cast<uint8_t>(std::min<unsigned>(length, 256u - first));
}

// Takes the lengths of a descriptor for the slot's lists; false without buffers.
bool TakeLengths(int slot, const Lengths& len, const Placement& at) {
    if (!EnsureBuffers(slot)) return false;
    SlotLists& s = g_lists[slot];
    const uint8_t lengths[3] = {len.touch, len.boot, len.debug};
    for (int i = 0; i < 3; ++i) s.length[i] = FitLength(lengths[i], at.first[i]);
    for (int k = 0; k < kMaxSlaveLists; ++k) s.length[kSlave0 + k] = len.slave;
    s.allocated = true;
    return true;
}

// Reads n bytes of a list from bank b, address a, into the working buffer; on
// success the read units are copied into the shadow.
int ReadList(HANDLE h, uint8_t b, uint8_t a, size_t n, const ListBuffer& l) {
    uint8_t reply[5] = {};
    if (b & 0x10) Command(h, 0xF6, 0x06, 0x10, 0x00, 0x00, reply);  // its answer does not matter
    const size_t unit = ReadUnit(b);
    uint8_t* w = l.work;
    for (size_t i = 0; i < n; i += unit) {
        const uint8_t addr = static_cast<uint8_t>(a + i);
        if (!Command(h, 0xE0, b, addr, 0x00, 0x00, reply)) return 0;
        if (unit == 4) {
            w[i] = reply[4], w[i + 1] = reply[3], w[i + 2] = reply[2], w[i + 3] = reply[1];
            continue;
        }
        w[i] = reply[4];
        if (b != 0x00 || reply[1] == 1) {
            w[i + 1] = reply[3];
        } else {
            if (!Command(h, 0xE0, 0x00, static_cast<uint8_t>(addr + 1), 0x00, 0x00, reply)) return 0;
            w[i + 1] = reply[4];
        }
    }
    std::memcpy(l.shadow, l.work, (n + unit - 1) / unit * unit);
    return 1;
}

// Writes the bytes of a list whose working value differs from the shadow; the shadow
// follows every byte written.
int WriteList(HANDLE h, uint8_t b, uint8_t a, size_t n, const ListBuffer& l) {
    uint8_t reply[5] = {};
    uint8_t* w = l.work;
    uint8_t* s = l.shadow;
    if (!(b & 0x40)) {
        for (size_t i = 0; i < n; ++i) {
            if (w[i] == s[i]) continue;
            if (!Command(h, 0xE1, b, static_cast<uint8_t>(a + i), 0x00, w[i], reply)) return 0;
            s[i] = w[i];
        }
        return 1;
    }
    for (size_t i = 0; i < n; i += 2) {
        if (w[i] == s[i] && w[i + 1] == s[i + 1]) continue;
        if (!Command(h, 0xE1, b, static_cast<uint8_t>(a + i), w[i + 1], w[i], reply)) return 0;
        s[i] = w[i], s[i + 1] = w[i + 1];
    }
    return 1;
}

// The slaves the lists can be read from, with the controller prepared for it:
// scanning stopped (scan-control generation below 29) or diagnostic mode entered.
struct SlaveAccess {
    int count = 0;
    bool modeChanged = false;
    uint8_t generation = 0;
    bool known = false;  // the slave count could be read
};

SlaveAccess PrepareSlaves(HANDLE h, const DevInfo& d) {
    SlaveAccess s;
    s.generation = d.diag.capability[3];
    uint8_t ic[4] = {};
    // The identity counts the master; the record has room for four slaves. Without
    // the count the lists of the slaves are neither read nor written, and the call fails.
    if (!ReadIcCount(h, ic)) return s;
    s.known = true;
    if (ic[0] <= 1) return s;
    s.count = std::min(ic[0] - 1, kMaxSlaveLists);
    uint8_t reply[5] = {};
    if (s.generation < 29) {
        if (Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply) && (reply[4] & 0x01) &&
            Command(h, 0xF0, 0x00, 0x00, 0x00, 0x00, reply)) {
            s.modeChanged = true;
            qvp::sleepMs(50);
        }
    } else if (Command(h, 0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) {
        LogText("\r GetSlaveNumber : EnterDiagnosticMode(TRUE)\r");
        if (!(reply[2] & 0x80) && Command(h, 0xF9, 0xFF, 0x90, 0x00, 0x01, reply)) s.modeChanged = true;
    }
    // Bit 15 of the state-ex word: the master reaches its slaves. A controller that
    // refuses the word has no slaves to reach; one that cannot be asked leaves the
    // count unknown.
    if (!Command(h, 0xE0, 0x00, 0xFF, 0x00, 0x00, reply)) {
        if (!LastCommandRefused()) s.known = false;
        s.count = 0;
    } else if (!(ReplyWord(reply) & 0x8000)) {
        s.count = 0;
    }
    return s;
}

// Undoes what PrepareSlaves or the first slave selection changed.
int RestoreMode(HANDLE h, const SlaveAccess& s) {
    if (!s.modeChanged) return 1;
    uint8_t reply[5] = {};
    if (s.generation < 29)
        return EnterDiagOld(h) && Command(h, 0xF1, 0x00, 0x00, 0x00, 0x00, reply) && LeaveDiagOld(h) ? 1 : 0;
    return Command(h, 0xF9, 0xFF, 0x90, 0x00, 0x00, reply) ? 1 : 0;
}

// Selects slave k: the first selection with its preparation and retries.
bool SelectSlaveList(HANDLE h, int k, SlaveAccess* s) {
    if (k > 0) return SelectSlave(h, static_cast<uint8_t>(k), 0x00, 0x01) != 0;
    int changed = 0;
    const int ok = SendF4Retry(h, &changed);
    if (changed) s->modeChanged = true;
    return ok != 0;
}

void FillRecord(int slot, ParameterList* out, bool withDebug) {
    SlotLists& s = g_lists[slot];
    out->touchLength = s.length[kTouch];
    out->bootLength = s.length[kBoot];
    out->debugLength = withDebug ? s.length[kDebug] : 0;
    out->slaveLength = s.length[kSlave0];
    out->touchList = s.list(kTouch).work;
    out->bootList = s.list(kBoot).work;
    out->debugList = s.list(kDebug).work;
    for (int k = 0; k < kMaxSlaveLists; ++k) out->slaveList[k] = s.list(kSlave0 + k).work;
}

// The device a list export may work on: a current-series controller in the table
// (the caller holds its DeviceLock).
DevInfo* ListTarget(const DeviceLock& lock, int* slot) {
    DevInfo* d = lock.record();
    if (!d || d->byQVOstraMelk != QV_SERIES_CURRENT) return nullptr;
    *slot = lock.slot();
    return d;
}

// Marks the device busy for the life of a list read.
struct BusyMark {
    DevInfo& d;
    explicit BusyMark(DevInfo& dev) : d(dev) { d.diag.busy = 1; }
    ~BusyMark() { d.diag.busy = 0; }
};

int ReadAllLists(HANDLE h, int slot, const DevInfo& d, ParameterList* out) {
    Lengths len{};
    if (!ReadDescriptor(h, &len)) return 0;
    const Placement at = ChoosePlacement(h, d);
    if (!TakeLengths(slot, len, at)) return 0;
    SlotLists& s = g_lists[slot];
    FillRecord(slot, out, true);

    SlaveAccess access = PrepareSlaves(h, d);
    auto finish = [&](int result) {
        LogText("\r GetParameterList : EnterDiagnosticMode(FALSE)\r");
        RestoreMode(h, access);
        return result;
    };
    if (!access.known) return finish(0);
    for (int i = kTouch; i <= kDebug; ++i)
        if (!ReadList(h, at.bank[i], at.first[i], s.length[i], s.list(i))) return finish(0);

    int result = 1;
    for (int k = 0; k < access.count; ++k) {
        if (!SelectSlaveList(h, k, &access) || !ReadList(h, 0x00, 0x00, s.length[kSlave0 + k], s.list(kSlave0 + k))) {
            result = 0;
            break;
        }
    }
    // Back to the master after any selection, a failed one included.
    if (access.count > 0 && !SelectSlave(h, 0xAA, 0x00, 0x00)) result = 0;
    return finish(result);
}

int WriteLists(HANDLE h, int slot, const DevInfo& d, const ParameterList* in, bool all) {
    SlotLists& s = g_lists[slot];
    const Placement at = ChoosePlacement(h, d);
    SlaveAccess access;
    if (all) access = PrepareSlaves(h, d);
    bool onSlave = false;
    // A failure leaves the update lock as it is, but never the controller on a
    // slave or in a mode the write switched to.
    auto finish = [&](int result) {
        if (onSlave && !SelectSlave(h, 0xAA, 0x00, 0x00)) result = 0;
        if (all) LogText("\r SetParameterList : EnterDiagnosticMode(FALSE)\r");
        if (!RestoreMode(h, access)) result = 0;
        return result;
    };
    if (all && !access.known) return finish(0);
    if (!ParameterLockFor(slot, 1)) return finish(0);
    // The caller's lengths, never more than the lists the controller described.
    const uint8_t asked[3] = {in->touchLength, in->bootLength, in->debugLength};
    const int lists = all ? 3 : 2;
    for (int i = 0; i < lists; ++i) {
        const size_t n = std::min(asked[i], s.length[i]);
        if (!WriteList(h, at.bank[i], at.first[i], n, s.list(i))) return finish(0);
    }
    if (all && access.count > 0 && in->slaveLength) {
        for (int k = 0; k < access.count; ++k) {
            onSlave = true;
            if (!SelectSlaveList(h, k, &access)) return finish(0);
            const size_t n = std::min(in->slaveLength, s.length[kSlave0 + k]);
            if (!WriteList(h, 0x00, 0x00, n, s.list(kSlave0 + k))) return finish(0);
        }
        onSlave = false;
        if (!SelectSlave(h, 0xAA, 0x00, 0x00)) return finish(0);
    }
    if (!finish(1)) return 0;
    return ParameterLockFor(slot, 0);
}

// One word of the constant block, its bytes in the order the block holds them:
// E0 B0 off on boot loaders before the C1 command, else C1 00 off.
int ReadConstantWord(HANDLE h, bool older, uint8_t off, uint8_t out[4]) {
    if (!older) return ReadParameterConstant(h, off, out);
    uint8_t reply[5] = {};
    if (!Command(h, 0xE0, 0xB0, off, 0x00, 0x00, reply)) return 0;
    out[0] = reply[4], out[1] = reply[3], out[2] = reply[2], out[3] = reply[1];
    return 1;
}

}  // namespace

void FreeParameterLists(int slot) {
    if (slot < 0 || slot >= kSlotCount) return;
    SlotLists& s = g_lists[slot];
    delete[] s.work;
    delete[] s.shadow;
    s.work = s.shadow = nullptr;
    std::memset(s.length, 0, sizeof s.length);
    s.allocated = false;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int GetParameterList(HANDLE handle, ParameterList* list) {
    DeviceLock lock(handle);
    int slot = kNoSlot;
    DevInfo* d = ListTarget(lock, &slot);
    if (!d || !list) return 0;
    BusyMark busy(*d);
    return ReadAllLists(handle, slot, *d, list);
}

QV_API int GetAPBTParaList(HANDLE handle, ParameterList* list) {
    DeviceLock lock(handle);
    int slot = kNoSlot;
    DevInfo* d = ListTarget(lock, &slot);
    if (!d || !list) return 0;
    BusyMark busy(*d);
    Lengths len{};
    if (!ReadDescriptor(handle, &len)) return 0;
    const Placement at = ChoosePlacement(handle, *d);
    if (!TakeLengths(slot, len, at)) return 0;
    FillRecord(slot, list, false);
    SlotLists& s = g_lists[slot];
    for (int i = kTouch; i <= kBoot; ++i)
        if (!ReadList(handle, at.bank[i], at.first[i], s.length[i], s.list(i))) return 0;
    return 1;
}

QV_API int SetParameterList(HANDLE handle, ParameterList* list) {
    DeviceLock lock(handle);
    int slot = kNoSlot;
    DevInfo* d = ListTarget(lock, &slot);
    if (!d || !list || !g_lists[slot].allocated) return 0;
    return WriteLists(handle, slot, *d, list, true);
}

QV_API int SetAPBTParaList(HANDLE handle, ParameterList* list) {
    DeviceLock lock(handle);
    int slot = kNoSlot;
    DevInfo* d = ListTarget(lock, &slot);
    if (!d || !list || !g_lists[slot].allocated) return 0;
    return WriteLists(handle, slot, *d, list, false);
}

QV_API int GetParameterConst(HANDLE handle, uint8_t* buffer) {
    DeviceLock lock(handle);
    int slot = kNoSlot;
    DevInfo* d = ListTarget(lock, &slot);
    if (!d || !buffer) return 0;
    constexpr uint8_t kCap = 80;
    const bool older = d->byBootVersion < (d->bBridgeSame ? 33 : 55);
    if (!ReadConstantWord(handle, older, 0, buffer)) return 0;
    // The block's length: its byte 2 in the E0 B0 form, byte 1 in the C1 form.
    const uint8_t length = std::min(older ? buffer[2] : buffer[1], kCap);
    if (older && length < 5) return 1;
    for (uint8_t off = 4; off < length; off += 4)
        if (!ReadConstantWord(handle, older, off, buffer + off)) return 0;
    return 1;
}

}  // extern "C"
