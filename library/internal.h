// Internal interface of the controller library: the device table, the
// transports and the command set that every export is built from.
#pragma once

#include "QV_Standard.h"
#include "platform/platform.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

extern "C" int debug_log_msg(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

namespace qvlib {

constexpr int kSlotCount = 16;
constexpr int kNoSlot = 16;
constexpr uint32_t kDevInfoSize = 1952;
constexpr size_t kPathChars = 260;
constexpr size_t kKeyChars = 20;

inline HANDLE invalidHandle() { return INVALID_HANDLE_VALUE; }

// Sensor geometry block kept per device (filled by the geometry probe).
struct DiagBlock {
    uint16_t bulkSize;      // bytes per bulk frame transfer; 0 = word-wise reads
    uint8_t scanMode;       // configuration register 0x4E
    uint8_t capability[4];  // F9 FF 00 00 00 reply bytes 1..4; [3] = scan-control generation
    uint8_t rows;           // A
    uint8_t columns;        // B (mutual)
    uint8_t extraColumns;   // C
    uint8_t busy;
    uint8_t reserved;
};
static_assert(sizeof(DiagBlock) == 12, "the geometry block is 12 bytes");

// One known controller.
struct DevInfo {
    uint32_t dwSize;
    uint8_t byFeature[8];
    uint8_t byBridgeFeature[8];
    DiagBlock diag;
    HANDLE hDevice;
    char16_t szPathW[kPathChars];
    char szPath[kPathChars];
    char16_t szAltPathW[kPathChars];
    char szAltPath[kPathChars];
    char szParentId[kPathChars];
    char16_t szKeyW[kKeyChars];
    char szKey[kKeyChars];
    uint32_t dwDeviceType;
    uint32_t dwLocation;
    uint32_t dwBaudRate;
    uint32_t dwProductId;
    uint32_t dwParaVersion;
    uint16_t bWin8Ptl;
    uint16_t wReserved;
    uint8_t byQVOstraMelk;
    uint8_t byReserved;
    uint8_t byTiming;
    uint8_t byBootMarker;
    uint8_t byBootVersion;
    uint8_t bBridgeSame;
};

// A record with every field cleared and no device open.
DevInfo EmptyDevInfo();

// A manual-reset event that the platform's waits watch (set() ends a pending
// serial or driver wait of the slot's thread).
using StopEvent = qvp::Wakeup;

// Per-slot state beside the table: the slot's notify thread (a driver-notify
// thread for driver devices, a touch reader for serial ones).
struct SlotThread {
    std::atomic<bool> running{false};  // cleared by the thread itself when it ends
    StopEvent stop;
    std::thread thread;
};

// The device that sent the most recent raw-input touch report.
struct LastTouchDevice {
    bool known = false;
    std::string name;      // its raw-input device name
    std::string parentId;  // its parent device instance id
};

// The table and the state beside it. A slot's record, thread and per-slot state
// are changed only by a thread that holds the slot's DeviceLock; the fields that
// lookups compare across slots (handle, key, paths, interface flags, parent id)
// are changed only while TableLock is held as well.
extern DevInfo g_devInfo[kSlotCount];
extern SlotThread g_slotThread[kSlotCount];
extern std::atomic<uint32_t> g_driverIoctlSwitch;
extern std::atomic<bool> g_driverVersionDecided;  // decided once per load, at the first driver device
extern LastTouchDevice g_lastTouchDevice;         // under TableLock
extern std::atomic<int> g_debugEnable;
extern std::atomic<int> g_debugValue;

// ---- one conversation per device -------------------------------------------------
//
// A controller answers one command at a time, and most exports are sequences
// (select a slave, ask it three things, select the master again; FA 00 55 and
// the bulk reads of a frame). Each of the 16 slots has one recursive lock, and
// every export that talks to a controller or reads its record holds the lock
// of that controller's slot from its first look at the slot to its last
// command, so a call from another thread on the same device waits until the
// whole sequence is done. Calls on different devices run side by side.
//
// Use, as the first statement of such an export (or of an internal routine that
// may also be reached from outside an export):
//
//     DeviceLock lock(handle);
//     DevInfo* d = lock.record();  // nullptr: no slot holds the handle
//
// The same thread may take the lock again (nested exports, helpers). The locks
// are made once and never destroyed, so a lock outlives every device and is
// never freed under a thread that holds or waits for it. Rules that keep it
// free of deadlocks: never take a slot's lock while holding TableLock; never
// call a caller's callback while holding a slot's lock; never wait for another
// thread while holding one.
//
// A command that finds its device gone (the transport's NotFound) marks the
// conversation: every later command of the same outermost DeviceLock fails at
// once without reaching the device, so no export keeps retrying a controller
// that was unplugged. The mark ends with that lock.
class DeviceLock {
public:
    struct Slot {
        int number;
    };
    explicit DeviceLock(HANDLE h);  // the slot that holds h; nothing when none does
    explicit DeviceLock(Slot slot); // a slot by number (registration, close-all)
    // A slot by number, only when its lock is free now (or held by this thread).
    DeviceLock(Slot slot, std::try_to_lock_t);
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    int slot() const { return slot_; }                  // kNoSlot when no slot is held
    DevInfo* record() const { return slot_ == kNoSlot ? nullptr : &g_devInfo[slot_]; }
    explicit operator bool() const { return slot_ != kNoSlot; }
    void unlock() { release(); }  // ends the hold early (before a caller's callback)

private:
    void acquire(int slot);
    void release();
    int slot_ = kNoSlot;
};

// Threads that wait for a slot's lock right now (a diagnostic: who is queued behind
// a long sequence).
int SlotLockWaiters(int slot);
// Whether the calling thread's conversation with a slot found the device gone.
bool SlotDeviceGone(int slot);
void MarkSlotDeviceGone(int slot);

// The table's own lock, for the lookups across slots and the changes of the
// fields they compare. Held briefly, never across I/O or a callback.
std::unique_lock<std::recursive_mutex> TableLock();
// One enumeration at a time: held by every enumeration export for its whole run
// (callbacks included), so the close-all step of one never meets the
// registrations of another.
std::unique_lock<std::recursive_mutex> EnumerationLock();

// ---- device table --------------------------------------------------------------
int FindDeviceSlot(HANDLE h);  // kNoSlot when unknown
// The slot whose primary or alternate narrow path is path, kNoSlot when none is: an
// enumeration holds its lock while it probes a candidate at that path, so no other
// thread talks to the same controller through the slot meanwhile.
int SlotOfPath(const char* path);
DevInfo* SlotRecord(HANDLE h);  // nullptr when unknown; hold the slot's DeviceLock to use it
void RegisterDeviceSlot(DevInfo record);
// Forms the model name from the identity answer (EE), may set the record's boot
// marker, and registers the record. name gets at most 20 characters.
void NameAndRegisterDeviceW(DevInfo& record, const uint8_t identity[5], char16_t* name);
void FormatModelName(DevInfo& record, const uint8_t identity[5], char* name);
// The library's load and unload steps. attach(selectBackend): selectBackend picks
// the platform backend from the environment (only at the real load).
void LibraryAttach(bool selectBackend);
void LibraryDetach();
void StartDriverNotify(int slot);
// Sets the slot's stop event and joins its thread. Never call it from that thread.
void StopSlotThread(int slot);

// ---- touch notifications (touch_notify.cpp) ------------------------------------
// The body of a slot's driver-notify thread: waits for the driver's notify codes
// until the stop event or a failed wait; clears the running flag at its end.
void RunDriverNotify(int slot, HANDLE h);
// The serial plug-and-play test of a slot whose reader runs: while it is on, the
// reader hands its bytes to the identifier matcher. Wait gives the result (1
// matched, 0xFF failed, 0 nothing in 50 steps of 100 ms).
void BeginPnpTest(int slot, uint8_t series);
uint8_t WaitPnpResult(int slot);
void EndPnpTest(int slot);
// The unload step: stops and joins every notification thread.
void StopTouchNotifyAtUnload();

// ---- transport -----------------------------------------------------------------
// How the calling thread's last command exchange (DispatchDeviceCommand, so every
// SendCmd) ended: answered, refused by the controller (0xAA), not answered (a
// silent controller, or a transfer that kept failing), or the device is gone
// (NotFound from the platform). The parameter lists tell a controller that lacks
// a command (refused) from one that could not be asked.
enum class ExchangeEnd { Answered, Refused, NoAnswer, DeviceGone };
ExchangeEnd LastExchangeEnd();
inline bool LastCommandRefused() { return LastExchangeEnd() == ExchangeEnd::Refused; }
inline bool LastCommandDeviceGone() { return LastExchangeEnd() == ExchangeEnd::DeviceGone; }

int DispatchDeviceCommand(HANDLE h, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply);
int HidExchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply);
int DriverExchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply);
int Rs232Exchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply,
                  bool probe);
// Sets a serial port up at baud (1200/1201: the plug-and-play test mode). On failure
// the port is closed and rec.hDevice becomes invalid. Returns false then.
bool Rs232PortSetup(DevInfo& rec, uint32_t baud);
int HidFrameRead(const DevInfo& rec, uint16_t* out, size_t words);
int DriverFrameRead(const DevInfo& rec, uint16_t* out, size_t words);
int DriverProbeRead(const DevInfo& rec, uint32_t length);
int HidOutputReport(const DevInfo& rec, const uint8_t* bytes, size_t length);
// Send IOCTL code of a driver device, and the matching read code.
uint32_t DriverSendCode(const DevInfo& rec);
uint32_t DriverReadCode(const DevInfo& rec);

// ---- debug log -------------------------------------------------------------------
// Writes a message when g_DbgLevel is non-zero and at least level (1 errors,
// 2 information, 3 debug bytes, 4 report traces): appended to the debug log file
// with a "[hh:mm:ss] " prefix (none when fmt starts with '.'), or to standard
// output when no file is set. 1 when written, else 0.
// (The exported C function, declared in QV_Standard.h.)
using ::debug_log_msg;
constexpr int kDbgError = 1, kDbgInfo = 2, kDbgBytes = 3, kDbgReports = 4;
// A platform failure that ends an operation, at error level: "<what>: <reason>"
// with the platform layer's reason of the calling thread.
void LogPlatformFailure(const char* what);

// ---- command log ---------------------------------------------------------------
bool LogIsOpen();
// Writes an ASCII line as the log would (wide or narrow form give the same bytes).
void LogText(const char* text);
void LogPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LogCloseAtUnload();

// ---- command set ---------------------------------------------------------------
// One command through SendCmd (so it is logged); true when answered.
bool Command(HANDLE h, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]);
// An F6 reply whose echo of group or item is 0xFF: the item was refused.
inline bool ItemRefused(const uint8_t reply[5]) { return reply[1] == 0xFF || reply[2] == 0xFF; }
inline bool IsDriverDevice(const DevInfo& d) { return d.dwDeviceType & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX); }
uint32_t ReplyWord(const uint8_t reply[5]);  // reply bytes 1..4 as a little-endian u32
int ReadRegisterWord(HANDLE h, uint8_t bank, uint8_t addr, uint32_t* out);
int ReadRegisterCount(HANDLE h, uint8_t addr, uint8_t n, uint32_t* out);
int WriteRegister(HANDLE h, uint8_t bank, uint8_t addr, uint8_t value);
int ReadPanelText(HANDLE h, uint8_t kind, uint8_t index, uint8_t n, uint32_t* out);
int ReadStatus(HANDLE h, uint8_t s, uint32_t* out);
int SaveBaseAndWait(HANDLE h);
int ReadGeometryOld(HANDLE h, uint8_t n, uint32_t* out);
int ReadFeatureItem(HANDLE h, uint8_t a, uint8_t b, uint16_t* value, uint8_t* last);
int ReadCustomerBytes(HANDLE h, uint8_t v, uint8_t out[4]);
int ReadBootState(HANDLE h, uint8_t v, uint8_t* minor, uint8_t* customer, uint8_t* stateA, uint8_t* stateB);
int ReadIdentity(HANDLE h, uint8_t v, uint16_t* number, uint8_t* letter, uint8_t* major);
int ReadIcCount(HANDLE h, uint8_t out[4]);
int ScanOff(HANDLE h, uint8_t v);
int EnableScanAndWait(HANDLE h, uint32_t v);
int SelectSlave(HANDLE h, uint8_t n, uint8_t m, uint8_t r);
int QuerySlave(HANDLE h, uint8_t n, uint16_t* out);
int SendF4Retry(HANDLE h, int* modeChanged);
int ReadMeasure(HANDLE h, uint8_t k, uint32_t* out);
int CheckItem(HANDLE h, uint8_t group, uint8_t item);
int ReadItem(HANDLE h, uint8_t group, uint8_t item, uint8_t* maximum, uint8_t* value);
int ReadItemByte3(HANDLE h, uint8_t group, uint8_t item, uint8_t* out);
int WriteItem(HANDLE h, uint8_t group, uint8_t item, uint8_t value, uint8_t* changed);
int SetUpdateLock(HANDLE h, uint8_t v);
int ReadDiagProgressOld(HANDLE h, uint8_t* b1, uint8_t* b2);
int EnterDiagOld(HANDLE h);
int LeaveDiagOld(HANDLE h);
int ReadReportLength(HANDLE h, uint16_t* length);
int ReadBootPacketSize(HANDLE h, bool bootKnown, uint32_t* size);
int SwitchToBoot(HANDLE h);
int ReadFWInfoWord(HANDLE h, uint8_t i, uint32_t* out);
int ReadParameterConstant(HANDLE h, uint8_t i, uint8_t out[4]);

// ---- parameter lists -------------------------------------------------------------
// Frees the list buffers of a slot (the unload step). While the library is loaded
// a slot's buffers, once made, are never freed or moved.
void FreeParameterLists(int slot);

// ---- sensor geometry -------------------------------------------------------------
int ProbeSensorGeometry(int slot);
// Reads the frame the controller holds into a record built for its geometry (no
// mode changes, no log title). 1 when read.
int ReadRawArrayFrame(HANDLE h, RawArray* array);

// ---- text ------------------------------------------------------------------------
size_t WideLength(const char16_t* s);
// Bounded copies: at most cap - 1 characters and a terminator.
void CopyWide(char16_t* dst, size_t cap, const char16_t* src);
void CopyNarrow(char* dst, size_t cap, const char* src);
std::string WideToUtf8(const char16_t* s);
std::u16string Utf8ToWide(const std::string& s);
void NarrowToWide(char16_t* dst, size_t cap, const char* src);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace qvlib

// ---- device information and checksums ------------------------------------------------
namespace qvlib {

// The checksum routine of parameters and virtual keys: a 16-bit value shifted
// left one data bit at a time (most significant bit of each byte first, the bit
// entering at bit 0), XORed with 0x1021 whenever a 1 left at the top.
uint16_t ChecksumBytes(uint16_t crc, const uint8_t* data, size_t n);
// The parameter checksum over a touch image followed by a boot image. Positions that
// hold no parameter are taken as 0 (only those inside the images): touch bytes 63 and
// 127, boot bytes 15, 61 and 63, and in mode 0 touch byte 61; mode 0 also keeps only
// the two high bits of a boot byte 0 of 64 or more.
uint16_t ParameterImageCrc(int mode, uint16_t start, const uint8_t* touch, size_t touchLength,
                           const uint8_t* boot, size_t bootLength);
// The virtual-key checksum over entries 0..usedCount of a table (at most its 16),
// entrySize bytes of each (at most 12).
uint16_t VirtualKeyCrc(const VButtonTable& table);

// Current series: the panel-size and cover-lens texts of a table entry, as bytes.
int ReadPanelSizeText(HANDLE h, uint8_t index, std::string* text);
int ReadCoverLensText(HANDLE h, uint8_t index, std::string* text);

}  // namespace qvlib
