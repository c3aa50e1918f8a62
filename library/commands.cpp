// The controller command set: thin operations that wrap single commands, and
// the few short sequences built on them (scan enable, base save, slave select).
#include "internal.h"

#include <cstring>

namespace qvlib {
namespace {

bool SendDelayed(HANDLE h, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5],
                 int delayMs) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return SendDelayCmd(h, cmd, reply, delayMs) != 0;
}

uint8_t Series(HANDLE h) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    return d ? d->byQVOstraMelk : QV_SERIES_CURRENT;
}

// One command whose reply bytes 1..4 are the result.
int ReadWord(HANDLE h, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint32_t* out) {
    uint8_t reply[5] = {};
    if (!Command(h, c0, c1, c2, c3, c4, reply)) return 0;
    if (out) *out = ReplyWord(reply);
    return 1;
}

}  // namespace

bool Command(HANDLE h, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
    const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
    return SendCmd(h, cmd, reply) != 0;
}

uint32_t ReplyWord(const uint8_t reply[5]) {
    return reply[1] | (reply[2] << 8) | (reply[3] << 16) | (static_cast<uint32_t>(reply[4]) << 24);
}

int ReadRegisterWord(HANDLE h, uint8_t bank, uint8_t addr, uint32_t* out) {
    return ReadWord(h, 0xE0, bank, addr, 0x00, 0x00, out);
}

int ReadRegisterCount(HANDLE h, uint8_t addr, uint8_t n, uint32_t* out) {
    return ReadWord(h, 0xE0, 0x00, addr, 0x00, n, out);
}

int WriteRegister(HANDLE h, uint8_t bank, uint8_t addr, uint8_t value) {
    uint8_t reply[5] = {};
    return Command(h, 0xE1, bank, addr, 0x00, value, reply) ? 1 : 0;
}

int ReadPanelText(HANDLE h, uint8_t kind, uint8_t index, uint8_t n, uint32_t* out) {
    return ReadWord(h, 0xE3, kind, index, 0x00, n, out);
}

int ReadStatus(HANDLE h, uint8_t s, uint32_t* out) { return ReadWord(h, 0xE4, 0x00, 0x00, 0x00, s, out); }

int SaveBaseAndWait(HANDLE h) {
    uint8_t reply[5] = {};
    if (!SendDelayed(h, 0xE4, 0x01, 0x00, 0x00, 0x02, reply, 50)) return 0;
    static const uint32_t kWaits[3] = {100, 150, 200};
    int counted = 0;
    int idle = 0;
    while (counted < 3) {
        qvp::sleepMs(kWaits[counted]);
        bool ok = Command(h, 0xE4, 0x00, 0x00, 0x00, 0x00, reply);
        if (!ok && LastCommandDeviceGone()) return 0;
        uint16_t status = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
        if (!ok || (status & 0x0200)) {
            ++counted;
            continue;
        }
        // The first idle status may still precede the save; the second confirms it.
        if (++idle == 2) return 1;
    }
    return 0;
}

int ReadGeometryOld(HANDLE h, uint8_t n, uint32_t* out) { return ReadWord(h, 0xE5, 0x00, 0x00, 0x00, n, out); }

int ReadFeatureItem(HANDLE h, uint8_t a, uint8_t b, uint16_t* value, uint8_t* last) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xE6, a, b, 0x00, 0x00, reply)) return 0;
    if (value) *value = static_cast<uint16_t>(reply[2] | reply[3] << 8);
    if (last) *last = reply[4];
    return 1;
}

int ReadCustomerBytes(HANDLE h, uint8_t v, uint8_t out[4]) {
    const uint8_t series = Series(h);
    uint8_t reply[5] = {};
    if (series == QV_SERIES_MELK) {
        std::memset(out, 0, 4);
        return 1;
    }
    if (series == QV_SERIES_OSTRA) {
        if (!Command(h, 0xE7, 0x00, v, 0x00, 0x00, reply)) {
            std::memset(out, 0, 4);
            return 1;
        }
    } else if (!Command(h, 0xEB, 0x00, v, 0x00, 0x00, reply)) {
        return 0;
    }
    std::memcpy(out, reply + 1, 4);
    return 1;
}

int ReadBootState(HANDLE h, uint8_t v, uint8_t* minor, uint8_t* customer, uint8_t* stateA, uint8_t* stateB) {
    const uint8_t series = Series(h);
    uint8_t reply[5] = {};
    uint8_t o[4];
    if (series == QV_SERIES_MELK) {
        if (!Command(h, 0xF2, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
        o[0] = reply[3], o[1] = 0, o[2] = reply[4], o[3] = 0;
    } else {
        if (!Command(h, 0xED, 0x00, v, 0x00, 0x00, reply)) return 0;
        if (series == QV_SERIES_OSTRA)
            o[0] = reply[2], o[1] = 0, o[2] = reply[4], o[3] = reply[3];
        else
            o[0] = reply[1], o[1] = reply[2], o[2] = reply[3], o[3] = reply[4];
    }
    if (minor) *minor = o[0];
    if (customer) *customer = o[1];
    if (stateA) *stateA = o[2];
    if (stateB) *stateB = o[3];
    return 1;
}

int ReadIdentity(HANDLE h, uint8_t v, uint16_t* number, uint8_t* letter, uint8_t* major) {
    const uint8_t series = Series(h);
    uint8_t reply[5] = {};
    uint16_t n;
    uint8_t l, m;
    if (series == QV_SERIES_MELK) {
        if (!Command(h, 0xF2, 0x00, 0x00, 0x00, 0x00, reply) || reply[1] != 0xD9) return 0;
        n = 9000, l = 0, m = reply[2];
    } else {
        if (!Command(h, 0xEE, 0x00, v, 0x00, 0x00, reply)) return 0;
        if (series == QV_SERIES_OSTRA)
            n = static_cast<uint16_t>(reply[1] << 8 | reply[2]), l = 0, m = reply[4];
        else
            n = static_cast<uint16_t>(reply[2] << 8 | reply[1]), l = reply[4], m = reply[3];
    }
    if (number) *number = n;
    if (letter) *letter = l;
    if (major) *major = m;
    return 1;
}

int ReadIcCount(HANDLE h, uint8_t out[4]) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    const bool oneIc = d->byQVOstraMelk == QV_SERIES_MELK ||
                       (d->byQVOstraMelk == QV_SERIES_OSTRA && !(d->dwDeviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER)));
    if (oneIc) {
        out[0] = 1, out[1] = 1, out[2] = 0, out[3] = 0;
        return 1;
    }
    uint8_t reply[5] = {};
    if (!Command(h, 0xEF, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    std::memcpy(out, reply + 1, 4);
    return 1;
}

int ScanOff(HANDLE h, uint8_t v) {
    uint8_t reply[5] = {};
    return Command(h, 0xF0, 0x00, 0x00, 0x00, v, reply) ? 1 : 0;
}

int EnableScanAndWait(HANDLE h, uint32_t v) {
    uint8_t reply[5] = {};
    int sent = Command(h, 0xF1, 0x00, 0x00, 0x00, static_cast<uint8_t>(v), reply) ? 1 : 0;
    if (!sent || (v & 0xFF)) return sent;
    for (int i = 0; i < 11; ++i) {
        qvp::sleepMs(100);
        if (Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply) && (reply[4] & 0x01)) return 1;
        if (LastCommandDeviceGone()) return 0;
    }
    return 0;
}

int SelectSlave(HANDLE h, uint8_t n, uint8_t m, uint8_t r) {
    uint8_t reply[5] = {};
    return Command(h, 0xF4, 0x00, n, m, r, reply) ? 1 : 0;
}

int QuerySlave(HANDLE h, uint8_t n, uint16_t* out) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    const uint8_t b3 = (d->byBridgeFeature[0] & 0x08) ? 0xFF : 0x00;
    uint8_t reply[5] = {};
    if (!Command(h, 0xF4, 0x00, n, b3, 0x01, reply)) return 0;
    if (out) *out = reply[1];
    return 1;
}

int SendF4Retry(HANDLE h, int* modeChanged) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    uint8_t reply[5] = {};
    const uint8_t generation = d->diag.capability[3];
    if (generation > 28) {
        if (!Command(h, 0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) return 0;
        LogText("\r SendF4Retry : EnterDiagnosticMode(TRUE)\r");
        if (!(reply[2] & 0x80)) {
            if (d->byQVOstraMelk != QV_SERIES_CURRENT) return 0;
            bool entered = generation ? Command(h, 0xF9, 0xFF, 0x90, 0x00, 0x01, reply)
                                      : Command(h, 0xF9, 0x00, 0x00, 0xC0, 0x01, reply);
            if (!entered) return 0;
            if (modeChanged) *modeChanged = 1;
        }
    } else {
        if (!Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) return 0;
        if (reply[4] & 0x01) {
            if (!Command(h, 0xF0, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
            if (modeChanged) *modeChanged = 1;
            qvp::sleepMs(30);
        }
    }
    if (Command(h, 0xF4, 0x00, 0x00, 0x00, 0x01, reply)) return 1;
    // Further sends back off: k x 100 ms after the k-th failure, and again before the
    // next send; a device that is gone is not asked again.
    for (int k = 1; k <= 5 && !LastCommandDeviceGone(); ++k) {
        if (Command(h, 0xF4, 0x00, 0x00, 0x00, 0x01, reply)) return 1;
        if (LastCommandDeviceGone()) break;
        qvp::sleepMs(100u * k);
        if (k < 5) qvp::sleepMs(100u * k);
    }
    return 0;
}

int ReadMeasure(HANDLE h, uint8_t k, uint32_t* out) { return ReadWord(h, 0xF5, 0x00, k, 0x00, 0x00, out); }

int CheckItem(HANDLE h, uint8_t group, uint8_t item) {
    uint8_t reply[5] = {};
    return Command(h, 0xF6, group, item, 0x00, 0x00, reply) && !ItemRefused(reply) ? 1 : 0;
}

int ReadItem(HANDLE h, uint8_t group, uint8_t item, uint8_t* maximum, uint8_t* value) {
    uint8_t reply[5] = {};
    bool ok = group == 0x90 ? SendDelayed(h, 0xF6, group, item, 0x00, 0x00, reply, 50)
                            : Command(h, 0xF6, group, item, 0x00, 0x00, reply);
    if (!ok) return 0;
    if (maximum) *maximum = reply[3];
    if (value) *value = reply[4];
    return 1;
}

int ReadItemByte3(HANDLE h, uint8_t group, uint8_t item, uint8_t* out) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xF6, group, item, 0x00, 0x00, reply)) return 0;
    if (out) *out = reply[3];
    return 1;
}

int WriteItem(HANDLE h, uint8_t group, uint8_t item, uint8_t value, uint8_t* changed) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xF6, group, item, 0x00, value, reply) || ItemRefused(reply)) return 0;
    // Items 0x80..0x8F report a write they could not take as 0xFF in byte 4.
    if ((item & 0xF0) == 0x80 && reply[4] == 0xFF) return 0;
    if (changed) *changed |= reply[4];
    return 1;
}

int SetUpdateLock(HANDLE h, uint8_t v) {
    uint8_t reply[5] = {};
    if (Command(h, 0xF3, 0x00, 0x07, 0x00, v, reply) && reply[1] == 0xAA) return 1;
    // Older firmware knows only the F7 lock.
    return Command(h, 0xF7, 0x00, 0x00, 0x00, v, reply) ? 1 : 0;
}

int ReadDiagProgressOld(HANDLE h, uint8_t* b1, uint8_t* b2) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xF9, 0x00, 0x00, 0x80, 0x01, reply)) return 0;
    if (b1) *b1 = reply[1];
    if (b2) *b2 = reply[2];
    return 1;
}

int EnterDiagOld(HANDLE h) {
    uint8_t reply[5] = {};
    return Command(h, 0xF9, 0x00, 0x00, 0xC0, 0x01, reply) ? 1 : 0;
}

int LeaveDiagOld(HANDLE h) {
    uint8_t reply[5] = {};
    return Command(h, 0xF9, 0x00, 0x00, 0x00, 0x00, reply) ? 1 : 0;
}

int ReadReportLength(HANDLE h, uint16_t* length) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    uint8_t reply[5] = {};
    if (Command(h, 0xFA, 0xFF, 0x00, 0x00, 0x00, reply)) {
        if (reply[1] == 0xFF) return 0;
    } else if (!Command(h, 0xFA, 0x00, 0x55, 0x00, 0x00, reply)) {
        return 0;
    }
    const uint16_t len = static_cast<uint16_t>(reply[2] << 8 | reply[1]);
    if (d->dwDeviceType & QV_DEVICE_RS232 && !(d->dwDeviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX)))
        return 0;
    if (!Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) return 0;
    if ((reply[3] & 0x30) && !(d->byFeature[0] & 0x04)) return 0;
    if (length) *length = len;
    return 1;
}

int ReadBootPacketSize(HANDLE h, bool bootKnown, uint32_t* size) {
    uint8_t reply[5] = {};
    if (bootKnown) {
        if (!Command(h, 0xD3, 0x00, 0x00, 0x00, 0x01, reply)) return 0;
        if (!Command(h, 0xD3, 0x00, 0xAA, 0x00, 0x01, reply)) return 0;
        if (size) *size = 8;
        return 1;
    }
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    uint32_t result = 0;
    if (Command(h, 0xD3, 0x00, 0x00, 0x00, 0x01, reply))
        result = d->byBridgeFeature[4] ? 0 : static_cast<uint32_t>(reply[2] << 8 | reply[1]);
    else if (Command(h, 0xD3, 0x00, 0xAA, 0x00, 0x01, reply) && (d->byBridgeFeature[0] & 0x08))
        result = static_cast<uint32_t>(reply[2] << 8 | reply[1]);
    if (size) *size = result;
    return result != 0;
}

int SwitchToBoot(HANDLE h) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xD4, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    if (!Command(h, 0xD4, 0x00, 0xAA, 0x00, 0x00, reply)) return 0;
    qvp::sleepMs(reply[4]);
    return 1;
}

int ReadFWInfoWord(HANDLE h, uint8_t i, uint32_t* out) { return ReadWord(h, 0xC0, 0x00, i, 0x00, 0x00, out); }

int ReadParameterConstant(HANDLE h, uint8_t i, uint8_t out[4]) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xC1, 0x00, i, 0x00, 0x00, reply)) return 0;
    out[0] = reply[4], out[1] = reply[3], out[2] = reply[2], out[3] = reply[1];
    return 1;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" QV_API int SendD2(HANDLE handle, uint32_t* size) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d) return 0;
    d->byBootMarker = 0;
    uint8_t reply[5] = {};
    const uint8_t cmd[5] = {0xD2, 0x00, 0x00, 0x00, 0x00};
    if (!SendCmd(handle, cmd, reply)) return 0;
    if (size) *size = reply[3] * 65536u + reply[2] * 256u + reply[1];
    // A non-zero status byte becomes the settle time after D1 commands.
    if (reply[4]) d->byBootMarker = reply[4];
    return 1;
}
