// The diagnostic exports: the frame records, the frame reader (bulk transfer or
// word-wise E8 reads), the diagnostic-mode commands of both scan-control
// generations and the scan/load/read sequences built from them.
#include "internal.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static_assert(sizeof(DiagnosticInfo) == 16, "DiagnosticInfo is 16 bytes");
static_assert(offsetof(DiagnosticInfo, bulkSize) == 4 && offsetof(DiagnosticInfo, scanMode) == 6 &&
                  offsetof(DiagnosticInfo, capability) == 7 && offsetof(DiagnosticInfo, rows) == 11 &&
                  offsetof(DiagnosticInfo, reserved) == 15,
              "DiagnosticInfo carries the geometry block at offset 4");
static_assert(sizeof(NewDiagRequest) == 8 && offsetof(NewDiagRequest, scanArgument) == 4 &&
                  offsetof(NewDiagRequest, reserved) == 7,
              "NewDiagRequest is 8 bytes");
static_assert(offsetof(RawArray, bulkSize) == 4 && offsetof(RawArray, flags) == 6 &&
                  offsetof(RawArray, scanMode) == 7 && offsetof(RawArray, rows) == 8 &&
                  offsetof(RawArray, reserved) == 11,
              "RawArray header bytes");
static_assert(offsetof(RawArray, mutual) == (sizeof(void*) == 8 ? 16 : 12), "RawArray pointers");
static_assert(offsetof(RawArray, mutualCount) == offsetof(RawArray, mutual) + 4 * sizeof(void*),
              "RawArray counts follow the pointers");
static_assert(sizeof(void*) != 4 || sizeof(RawArray) == 44, "RawArray is 44 bytes on a 32-bit build");
static_assert(sizeof(void*) != 8 || sizeof(RawArray) == 64, "RawArray is 64 bytes on a 64-bit build");
static_assert(offsetof(NewRawArray, mutualCount) == 4 * sizeof(void*) &&
                  sizeof(NewRawArray) == 4 * sizeof(void*) + 16,
              "NewRawArray: four pointers, then four counts");

namespace qvlib {
namespace {

constexpr uint8_t kNoLastColumn = 0x04;   // capability byte 3, bit 2
constexpr uint8_t kNoExtraColumns = 0x08; // capability byte 3, bit 3
constexpr uint8_t kProgressPoll = 0x01;   // capability byte 3, bit 0
constexpr uint8_t kLoadBeforeRead = 0x02; // capability byte 3, bit 1
constexpr uint8_t kModeDiff = 0x12;       // capability byte 3, bits 1 and 4

// The slot of a controller the diagnostic exports serve, or nullptr.
// The caller holds the slot's DeviceLock.
DevInfo* Target(HANDLE h) {
    DevInfo* d = SlotRecord(h);
    if (!d || d->byQVOstraMelk != 0) return nullptr;
    return d;
}

uint8_t Generation(const DevInfo& d) { return d.diag.capability[3]; }
uint8_t Flags(const DevInfo& d) { return d.diag.capability[2]; }

// Element counts of the four arrays for the device geometry.
struct Counts {
    int32_t mutual, extra, last, whole;
};
Counts CountsOf(const DevInfo& d) {
    const int32_t a = d.diag.rows, b = d.diag.columns, c = d.diag.extraColumns;
    const bool extra = !(Flags(d) & kNoExtraColumns), last = !(Flags(d) & kNoLastColumn);
    return {a * b, extra ? a * c : 0, last ? a : 0, a * (b + c + 1)};
}

uint16_t* Allocate(int32_t count) {
    if (count <= 0) return nullptr;
    return static_cast<uint16_t*>(std::calloc(static_cast<size_t>(count), sizeof(uint16_t)));
}

// The arrays a read fills, with their counts as the record states them.
struct Arrays {
    uint16_t *mutual, *extra, *last, *whole;
    int32_t mutualCount, extraCount, lastCount, wholeCount;
    uint8_t suppress;  // older record: scan-mode bits 1, 2, 0 skip mutual, extra, last
};

void DumpFrame(const uint16_t* frame, int rows, int perRow) {
    if (!LogIsOpen()) return;
    for (int i = 0; i < rows; ++i) {
        std::string line;
        char v[16];
        for (int k = 0; k < perRow; ++k) {
            std::snprintf(v, sizeof v, "%d,", frame[i * perRow + k]);
            line += v;
        }
        line += "\n";  // the log writes its line end
        LogText(line.c_str());
    }
}

// Reads the whole frame into a.whole and splits it. The record must have been
// built for the controller's present geometry: a record of another geometry
// would be written past its arrays, so it is refused.
int ReadDiagnosticFrame(HANDLE h, const Arrays& a) {
    // FA 00 55 and every read of the frame are one conversation.
    DeviceLock lock(h);
    DevInfo* d = Target(h);
    if (!d) return 0;
    const Counts want = CountsOf(*d);
    if (!a.whole || a.wholeCount != want.whole || want.whole == 0) return 0;
    if (a.mutual && a.mutualCount != want.mutual) return 0;
    if (a.extra && a.extraCount != want.extra) return 0;
    if (a.last && a.lastCount != want.last) return 0;

    const int rows = d->diag.rows, b = d->diag.columns, c = d->diag.extraColumns;
    const int m = b + c + 1;
    uint16_t* frame = a.whole;
    uint8_t reply[5] = {};
    if (d->diag.bulkSize != 0) {
        if (!Command(h, 0xFA, 0x00, 0x55, 0x00, 0x00, reply)) return 0;
        const DevInfo rec = *d;
        const uint64_t failures = qvp::failureCount();
        const int got = IsDriverDevice(rec) ? DriverFrameRead(rec, frame, static_cast<size_t>(want.whole))
                                            : HidFrameRead(rec, frame, static_cast<size_t>(want.whole));
        if (!got) {
            if (qvp::failureCount() != failures) LogPlatformFailure("frame read");
            return 0;
        }
        DumpFrame(frame, rows, m);
    } else {
        for (int i = 0; i < rows; ++i) {
            for (int col = 0; col < m; col += 2) {
                const int c2 = col + 1 < m ? col + 1 : col;
                if (!Command(h, 0xE8, static_cast<uint8_t>(i), static_cast<uint8_t>(col), static_cast<uint8_t>(i),
                             static_cast<uint8_t>(c2), reply))
                    return 0;
                const uint16_t first = static_cast<uint16_t>(reply[1] | reply[2] << 8);
                const uint16_t second = static_cast<uint16_t>(reply[3] | reply[4] << 8);
                // The controller answers the value of row 0 column 0 alone in bytes 3..4.
                frame[i * m + col] = (i == 0 && c2 == 0) ? second : first;
                if (c2 != col) frame[i * m + c2] = second;
            }
        }
    }
    for (int i = 0; i < rows; ++i) {
        const uint16_t* row = frame + i * m;
        if (a.mutual && !(a.suppress & 0x02)) std::memcpy(a.mutual + i * b, row, sizeof(uint16_t) * b);
        if (a.extra && c > 0 && !(a.suppress & 0x04)) std::memcpy(a.extra + i * c, row + b, sizeof(uint16_t) * c);
        if (a.last && !(a.suppress & 0x01)) a.last[i] = row[m - 1];
    }
    return 1;
}

Arrays Of(const NewRawArray& r) {
    return {r.mutual, r.extra, r.last, r.whole, r.mutualCount, r.extraCount, r.lastCount, r.wholeCount, 0};
}
Arrays Of(const RawArray& r) {
    return {r.mutual,      r.extra,     r.last,       r.whole,   r.mutualCount,
            r.extraCount, r.lastCount, r.wholeCount, r.scanMode};
}

bool RawArrayOk(const RawArray* r) { return r && r->cbSize == QV_RAWARRAY_SIZE; }
bool RequestOk(const NewDiagRequest* q) { return q && q->cbSize == 8 && q->reserved == 0; }

// The adaptive wait for a scan: poll(total, done) up to five times, each wait
// estimated from the progress seen so far.
template <typename Poll>
int WaitForScan(const DevInfo& d, Poll poll) {
    if (!(Flags(d) & kProgressPoll)) {
        qvp::sleepMs(500);
        return 1;
    }
    qvp::sleepMs(50);
    uint32_t elapsed = 50, w2 = 0;
    for (int i = 0; i < 5; ++i) {
        qvp::sleepMs(w2);
        uint8_t total = 0, done = 0;
        if (!poll(&total, &done)) return 0;
        if (done == total) break;
        if (done != 0) {
            w2 = elapsed * static_cast<uint32_t>(total > done ? total - done : 0) / done;
            if (w2 < 16) w2 = 16;
            elapsed += w2;
        } else {
            qvp::sleepMs(elapsed);
            w2 += elapsed;
        }
    }
    return 1;
}

int EnterNew(HANDLE h, uint8_t on) {
    uint8_t reply[5] = {};
    return Command(h, 0xF9, 0xFF, 0x90, 0x00, on, reply) ? 1 : 0;
}

// The older firmware's way back to normal scanning after a diagnostic read.
int OlderLeaveSequence(HANDLE h) {
    uint8_t reply[5] = {};
    if (!EnterDiagOld(h)) return 0;
    if (!Command(h, 0xF1, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    return LeaveDiagOld(h);
}

// Bit 15 of the state-ex page 1 word: the controller is in diagnostic mode.
int InDiagnosticMode(HANDLE h, bool* in) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) return 0;
    *in = (ReplyWord(reply) & 0x8000) != 0;
    return 1;
}

// Older firmware: stops scanning when it scans (bit 0 of the state word's byte 4).
int StopScanIfScanning(HANDLE h, bool* stopped) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) return 0;
    *stopped = false;
    if (reply[4] & 0x01) {
        if (!Command(h, 0xF0, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
        qvp::sleepMs(50);
        *stopped = true;
    }
    return 1;
}

template <typename Record>
int BuildArrays(const DevInfo& d, Record* r) {
    const Counts n = CountsOf(d);
    r->whole = Allocate(n.whole);
    r->mutual = Allocate(n.mutual);
    r->extra = Allocate(n.extra);
    r->last = Allocate(n.last);
    r->wholeCount = r->whole ? n.whole : 0;
    r->mutualCount = r->mutual ? n.mutual : 0;
    r->extraCount = r->extra ? n.extra : 0;
    r->lastCount = r->last ? n.last : 0;
    const bool complete = (r->whole || n.whole == 0) && (r->mutual || n.mutual == 0) &&
                          (r->extra || n.extra == 0) && (r->last || n.last == 0);
    return complete ? 1 : 0;
}

template <typename Record>
void FreeArrays(Record* r) {
    std::free(r->mutual);
    std::free(r->extra);
    std::free(r->last);
    std::free(r->whole);
    r->mutual = r->extra = r->last = r->whole = nullptr;
    r->mutualCount = r->extraCount = r->lastCount = r->wholeCount = 0;
}

}  // namespace

int ReadRawArrayFrame(HANDLE h, RawArray* array) {
    DeviceLock lock(h);
    if (!Target(h) || !RawArrayOk(array)) return 0;
    return ReadDiagnosticFrame(h, Of(*array));
}

}  // namespace qvlib

using namespace qvlib;

QV_API int GetDiagnosticInfo(HANDLE handle, DiagnosticInfo* info) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !info || info->cbSize != sizeof(DiagnosticInfo)) return 0;
    info->bulkSize = d->diag.bulkSize;
    info->scanMode = d->diag.scanMode;
    std::memcpy(info->capability, d->diag.capability, 4);
    info->rows = d->diag.rows;
    info->columns = d->diag.columns;
    info->extraColumns = d->diag.extraColumns;
    info->busy = d->diag.busy;
    info->reserved = d->diag.reserved;
    return 1;
}

QV_API int BuildRawArray(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !RawArrayOk(array)) return 0;
    array->bulkSize = d->diag.bulkSize;
    array->flags = Flags(*d);
    array->scanMode = d->diag.scanMode;
    array->rows = d->diag.rows;
    array->columns = d->diag.columns;
    array->extraColumns = d->diag.extraColumns;
    array->reserved = 0;
    array->mutual = array->extra = array->last = array->whole = nullptr;
    array->mutualCount = array->extraCount = array->lastCount = array->wholeCount = 0;
    if (d->diag.rows == 0 || d->diag.columns == 0) return 0;
    if (!BuildArrays(*d, array)) {
        FreeArrays(array);
        return 0;
    }
    return 1;
}

QV_API int FreeRawArray(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    if (!Target(handle) || !RawArrayOk(array)) return 0;
    FreeArrays(array);
    LeaveDiagOld(handle);  // the answer does not matter
    return 1;
}

QV_API int BuildNewRawArray(HANDLE handle, NewRawArray* array) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !array) return 0;
    *array = NewRawArray{};
    if (!BuildArrays(*d, array)) {
        FreeArrays(array);
        return 0;
    }
    return 1;
}

QV_API int FreeNewRawArray(HANDLE handle, NewRawArray* array) {
    DeviceLock lock(handle);
    if (!Target(handle) || !array) return 0;
    FreeArrays(array);
    return 1;
}

QV_API int EnterDiagnosticMode(HANDLE handle, int on) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d) return 0;
    if (Generation(*d) != 0) return EnterNew(handle, on ? 1 : 0);
    return on ? EnterDiagOld(handle) : LeaveDiagOld(handle);
}

QV_API int StartNewDiagnosticScan(HANDLE handle, uint8_t argument, uint8_t kind) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d) return 0;
    uint8_t reply[5] = {};
    if (Generation(*d) != 0) return Command(handle, 0xF9, 0xFF, 0x91, argument, kind, reply) ? 1 : 0;
    return argument == 0 ? EnterDiagOld(handle) : 0;
}

QV_API int LoadNewDiagnosticData(HANDLE handle, uint8_t argument, uint8_t kind) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d) return 0;
    uint8_t reply[5] = {};
    if (Generation(*d) != 0) return Command(handle, 0xF9, 0xFF, 0x92, argument, kind, reply) ? 1 : 0;
    if (argument != 0) return 0;
    return Command(handle, 0xF9, 0x00, 0xAA, 0x00, kind, reply) ? 1 : 0;
}

QV_API int SetNewDiagnosticNotify(HANDLE handle, int on) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || Generation(*d) == 0) return 0;
    uint8_t reply[5] = {};
    return Command(handle, 0xF9, 0xFF, 0x93, 0x00, on ? 1 : 0, reply) ? 1 : 0;
}

QV_API int GetNewDiagnosticProgress(HANDLE handle, uint8_t* total, uint8_t* done) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !total || !done) return 0;
    if (Generation(*d) == 0) return ReadDiagProgressOld(handle, total, done);
    uint8_t reply[5] = {};
    if (!Command(handle, 0xF9, 0xFF, 0x10, 0x00, 0x00, reply)) return 0;
    *total = reply[3];
    *done = reply[4];
    return 1;
}

QV_API int GetNewDiagnosticScanResult(HANDLE handle, NewRawArray* array) {
    DeviceLock lock(handle);
    if (!Target(handle) || !array) return 0;
    return ReadDiagnosticFrame(handle, Of(*array));
}

QV_API int GetNewDiffMutu(HANDLE handle, NewRawArray* array) {
    DeviceLock lock(handle);
    if (!Target(handle) || !array) return 0;
    LogText("\r[GetDiffMutu]\r");
    return ReadDiagnosticFrame(handle, Of(*array));
}

QV_API int GetNewRawCount(HANDLE handle, NewRawArray* array, NewDiagRequest* request) {
    DeviceLock lock(handle);
    DevInfo* d = Target(handle);
    if (!d || !array || !RequestOk(request)) return 0;
    LogText("\r[GetNewRawCount]\r");
    uint8_t a = 0, b = 0;
    if (Generation(*d) != 0) {
        a = request->scanArgument;
        b = request->dataKind;
    } else if (request->dataKind != d->diag.scanMode) {
        if (!SetUpdateLock(handle, 1)) return 0;
        if (!WriteRegister(handle, 0x00, 0x4E, request->dataKind)) return 0;
        if (!SetUpdateLock(handle, 0)) return 0;
        if ((d = Target(handle)) == nullptr) return 0;
        d->diag.scanMode = request->dataKind;
    }
    if (!StartNewDiagnosticScan(handle, a, b)) return 0;
    if (!WaitForScan(*d, [&](uint8_t* total, uint8_t* done) {
            return GetNewDiagnosticProgress(handle, total, done);
        }))
        return 0;
    return GetNewDiagnosticScanResult(handle, array);
}

QV_API int GetNewDiagData(HANDLE handle, NewRawArray* array, NewDiagRequest* request) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !array || !RequestOk(request)) return 0;
    LogText("\r[GetNewDiagData]\r");
    const bool gen = Generation(*d) != 0;
    const uint8_t kind = request->dataKind;
    if (!((gen && request->loadArgument != 0) || kind == 0 || (Flags(*d) & kModeDiff) == kModeDiff)) return 0;
    bool changed = false;
    if (gen) {
        bool in = false;
        if (!InDiagnosticMode(handle, &in)) return 0;
        if (!in) {
            if (!EnterNew(handle, 1)) return 0;
            changed = true;
        }
    } else if (kind == 0) {
        if (!StopScanIfScanning(handle, &changed)) return 0;
    }
    if (gen || (Flags(*d) & kLoadBeforeRead)) {
        if (!LoadNewDiagnosticData(handle, request->loadArgument, kind)) return 0;
        qvp::sleepMs(50);
    }
    if (!ReadDiagnosticFrame(handle, Of(*array))) return 0;
    if (changed) {
        if (gen) return EnterNew(handle, 0);
        if (kind == 0) return OlderLeaveSequence(handle);
    }
    return 1;
}

QV_API int ChangeDiagnosticScan(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    DevInfo* d = Target(handle);
    if (!d || !RawArrayOk(array)) return 0;
    if (Generation(*d) != 0) return 1;
    uint8_t reply[5] = {};
    if (!Command(handle, 0xE0, 0x00, 0x4E, 0x00, 0x00, reply)) return 0;
    if (reply[4] != array->scanMode) {
        if (!SetUpdateLock(handle, 1)) return 0;
        if (!Command(handle, 0xE1, 0x00, 0x4E, 0x00, array->scanMode, reply)) return 0;
        if (!SetUpdateLock(handle, 0)) return 0;
    }
    if ((d = Target(handle)) != nullptr) d->diag.scanMode = array->scanMode;
    return 1;
}

QV_API int GetDiffMutu(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    if (!Target(handle) || !RawArrayOk(array)) return 0;
    LogText("\r[GetDiffMutu]\r");
    return ReadDiagnosticFrame(handle, Of(*array));
}

QV_API int GetRawCount(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !RawArrayOk(array)) return 0;
    LogText("\r[GetRawCount]\r");
    uint8_t reply[5] = {};
    if (!Command(handle, 0xF9, 0x00, 0x00, 0xC0, 0x00, reply)) return 0;
    // The raw-scan poll answers as the older progress query: total in byte 1, done in byte 2.
    if (!WaitForScan(*d, [&](uint8_t* total, uint8_t* done) {
            uint8_t r[5] = {};
            if (!Command(handle, 0xF9, 0x00, 0x00, 0x80, 0x00, r)) return 0;
            *total = r[1];
            *done = r[2];
            return 1;
        }))
        return 0;
    return ReadDiagnosticFrame(handle, Of(*array));
}

QV_API int GetBaseLine(HANDLE handle, RawArray* array) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !RawArrayOk(array)) return 0;
    LogText("\r[GetBaseLine]\r");
    const bool gen = Generation(*d) != 0;
    bool changed = false;
    if (gen) {
        bool in = false;
        if (!InDiagnosticMode(handle, &in)) return 0;
        if (!in) {
            if (!EnterNew(handle, 1)) return 0;
            changed = true;
        }
    } else if (!StopScanIfScanning(handle, &changed)) {
        return 0;
    }
    if (Flags(*d) & kLoadBeforeRead) {
        if (!LoadNewDiagnosticData(handle, 0, 0)) return 0;
        qvp::sleepMs(50);
    }
    if (!ReadDiagnosticFrame(handle, Of(*array))) return 0;
    if (changed) return gen ? EnterNew(handle, 0) : OlderLeaveSequence(handle);
    return 1;
}

QV_API int GetModeDiff(HANDLE handle, RawArray* array, uint8_t mode) {
    DeviceLock lock(handle);
    const DevInfo* d = Target(handle);
    if (!d || !RawArrayOk(array) || (Flags(*d) & kModeDiff) != kModeDiff) return 0;
    LogText("\r[GetModeDiff]\r");
    const bool gen = Generation(*d) != 0;
    bool in = false;
    if (!InDiagnosticMode(handle, &in)) return 0;
    if (!in && !(gen ? EnterNew(handle, 1) : EnterDiagOld(handle))) return 0;
    if (!LoadNewDiagnosticData(handle, 0, mode)) return 0;
    qvp::sleepMs(50);
    if (!ReadDiagnosticFrame(handle, Of(*array))) return 0;
    if (!in) return gen ? EnterNew(handle, 0) : LeaveDiagOld(handle);
    return 1;
}

namespace {
int OpenShortPoll(HANDLE handle, uint8_t* result) {
    DeviceLock lock(handle);
    if (!Target(handle) || !result) return 0;
    *result = 255;
    uint8_t reply[5] = {};
    for (int i = 0; i < 6; ++i) {
        qvp::sleepMs(500);
        if (!Command(handle, 0xE0, 0x00, 0xF7, 0x00, 0x00, reply) || (reply[2] & 0x01)) break;
    }
    // No decoding of the answer is defined: the test never reports a result.
    return 0;
}
}  // namespace

QV_API int OpenShortTestA(HANDLE handle, const void*, const void*, const void*, uint8_t* result) {
    return OpenShortPoll(handle, result);
}
QV_API int OpenShortTestW(HANDLE handle, const void*, const void*, const void*, uint8_t* result) {
    return OpenShortPoll(handle, result);
}
