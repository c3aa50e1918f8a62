// Locks, flush and reloads of the parameter memory, by the slot's protocol: the
// control items of the general group with a parameter version, the register
// commands (F3/F7 lock, EA flush, EC reload) of older firmware without one.
#include "param_groups.h"

namespace qvlib {
namespace {

bool Valid(int slot) { return slot >= 0 && slot < kSlotCount; }
HANDLE H(int slot) { return g_devInfo[slot].hDevice; }
uint32_t Version(int slot) { return g_devInfo[slot].dwParaVersion; }

bool Raw(int slot, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return SendCmd(H(slot), cmd, reply) != 0;
}

}  // namespace

int ParameterLockFor(int slot, int on) {
    if (!Valid(slot)) return 0;
    const uint8_t v = on ? 1 : 0;
    if (Version(slot) != 0) return ParamUpdateLock(slot, v);
    uint8_t reply[5] = {};
    if (Raw(slot, 0xF3, 0x00, 0x07, 0x00, v, reply) && reply[1] == 0xAA) return 1;
    // Older firmware knows only the F7 lock.
    return Raw(slot, 0xF7, 0x00, 0x00, 0x00, v, reply) ? 1 : 0;
}

int FlushParametersFor(int slot, uint8_t* result) {
    if (!Valid(slot) || !result) return 0;
    if (Version(slot) != 0) return ParamFlush(slot, result);
    *result = 15;
    uint8_t reply[5] = {};
    return Raw(slot, 0xEA, 0x00, 0x00, 0x00, 0x00, reply) && Raw(slot, 0xEA, 0x00, 0x00, 0x00, 0x00, reply) &&
                   Raw(slot, 0xEA, 0x00, 0xAA, 0x00, 0x00, reply) && Raw(slot, 0xEA, 0x00, 0xAA, 0x00, 0x00, reply)
               ? 1
               : 0;
}

int RegisterReloadSequence(int slot, uint8_t v) {
    if (!Valid(slot)) return 0;
    uint8_t reply[5] = {};
    if (!Raw(slot, 0xEC, 0x00, 0xAA, 0x00, v, reply) || !Raw(slot, 0xEC, 0x00, 0xAA, 0x00, v, reply)) return 0;
    qvp::sleepMs(100);
    if (!Raw(slot, 0xEC, 0x00, 0x00, 0x00, v, reply) || !Raw(slot, 0xEC, 0x00, 0x00, 0x00, v, reply)) return 0;
    qvp::sleepMs(100);
    return 1;
}

int RegisterPreservingReload(int slot, uint8_t v) {
    if (!Valid(slot)) return 0;
    const DevInfo& d = g_devInfo[slot];
    static const uint8_t kKept[] = {0x40, 0x41, 0x42, 0x4A, 0x4B};
    uint8_t saved[5] = {}, reply[5] = {};
    for (size_t i = 0; i < 5; ++i) {
        if (!Raw(slot, 0xE0, 0x00, kKept[i], 0x00, 0x00, reply)) return 0;
        saved[i] = reply[4];
    }
    const bool bank90 = (d.byFeature[0] & 0x02) && (d.byFeature[0] & 0x80);
    uint8_t saved90 = 0;
    if (bank90) {
        if (!Raw(slot, 0xE0, 0x90, 0x3D, 0x00, 0x00, reply)) return 0;
        saved90 = reply[4];
    }
    if (!RegisterReloadSequence(slot, v)) return 0;
    for (size_t i = 0; i < 5; ++i)
        if (!Raw(slot, 0xE1, 0x00, kKept[i], 0x00, saved[i], reply)) return 0;
    if (bank90 && !Raw(slot, 0xE1, 0x90, 0x3D, 0x00, saved90, reply)) return 0;
    return 1;
}

int ReloadParametersFor(int slot, bool flushed) {
    if (!Valid(slot) || !ParameterLockFor(slot, 1)) return 0;
    const int done = Version(slot) != 0 ? (flushed ? ParamReloadFlushed(slot) : ParamReloadDefaults(slot, false))
                                        : RegisterPreservingReload(slot, flushed ? 1 : 0);
    if (!done) return 0;  // the lock stays on, as the controller was left
    return ParameterLockFor(slot, 0);
}

int ReloadAllDefaultsFor(int slot) {
    if (!Valid(slot) || !ParameterLockFor(slot, 1)) return 0;
    const int done = Version(slot) >= 115 ? ParamReloadDefaults(slot, true) : RegisterReloadSequence(slot, 0);
    if (!done) return 0;
    return ParameterLockFor(slot, 0);
}

}  // namespace qvlib
