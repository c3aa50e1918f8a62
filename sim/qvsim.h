// libqvsim: simulated touch controllers that answer the 5-byte controller
// protocol the way a controller's firmware does.
//
// The model is written from the controller's command table, never from the
// host library's code, so a test that passes shows that two independent
// readings of the protocol agree.
//
// Layers:
//   Controller    the firmware: takes one 5-byte command, gives a 5-byte reply
//                 or silence; registers, identity, feature words, faults, trace.
//   HidDevice     a controller behind HID feature/output reports (report id,
//                 reply visible from the n-th poll, transfer failures by kind).
//   DriverDevice  a controller behind the maker's kernel driver (I/O controls).
//   SerialDevice  a controller on a serial line: 5 bytes + checksum framing,
//                 baud must match, purge.
//   Bench         the set of attached devices by path, the virtual clock and
//                 the per-transfer latency.
//   PtyServer     serves one SerialDevice on a pseudo-terminal (the qvsim tool).
//
// Thread-safety: a Bench and everything on it is guarded by one mutex per
// Bench, so a PtyServer thread and a test thread may use it together.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qvsim {

using Packet = std::array<uint8_t, 5>;

enum class Series : uint8_t { Current = 0, Ostra = 1, Melk = 2 };
enum class Link : uint8_t { Hid, Driver, Serial };

// Why a transfer failed, as the host's HID or driver stack would tell it.
enum class XferError : uint8_t { None, Timeout, InvalidParameter, NotFound, Other };

class VirtualClock {
public:
    explicit VirtualClock(uint64_t startMs = 0) : now_(startMs) {}
    uint64_t nowMs() const { return now_.load(); }
    void advance(uint64_t ms) { now_.fetch_add(ms); }

private:
    std::atomic<uint64_t> now_;
};

struct TraceEntry {
    uint64_t timeMs = 0;  // virtual time at which the command was received
    Link link = Link::Hid;
    Packet packet{};      // the command as the firmware saw it (framing removed)
    bool answered = false;
};

// What the firmware reports. Defaults describe a current-series 6020 controller
// with the item protocol off and no slaves.
struct ControllerProfile {
    Series series = Series::Current;

    // Identity (EE 00 v 00 00; Melk: F2). The number is sent as the series sends it:
    // current: byte 1 low, byte 2 high; Ostra: byte 1 high, byte 2 low. It may carry bit 15.
    uint16_t identityNumber = 6020;
    uint8_t letter = 0;   // current series: EE byte 4 (1 = 'A')
    uint8_t major = 1;    // current: EE byte 3; Ostra: EE byte 4; Melk: F2 byte 2
    uint8_t minor = 0;    // current: ED byte 1; Ostra: ED byte 2; Melk: F2 byte 3
    uint8_t customer = 0; // current: ED byte 2
    bool inBoot = false;  // boot loader runs: ED bytes 3..4 = AA 55 (Melk: F2 byte 4 = 0xAA)

    std::optional<uint8_t> bootVersion = 0x12;  // EE AA 00 00 00 -> EE 55 00 00 v; nullopt: refused

    std::array<uint8_t, 4> featureF4{};  // E0 00 F4 00 00 reply bytes 1..4
    std::array<uint8_t, 4> featureFC{};  // E0 00 FC 00 00 reply bytes 1..4
    std::array<uint8_t, 4> stateF0{};    // E0 00 F0 00 00 reply bytes 1..4; byte 4 bit 0 = scanning
    std::array<uint8_t, 4> bridge{};     // E9 00 00 00 00 reply bytes 1..4
    bool fastTiming = false;             // E7 00 00 00 00 -> E7 00 55 .. (current series)
    std::array<uint8_t, 4> customerBytes{};  // EB (current) / E7 (Ostra) reply bytes 1..4

    // F6 00 10 00 00 -> F6 00 10 v/100 v%100. 0: the item protocol is absent and
    // every F6 item is answered with 0xFF echoes.
    uint16_t paraVersion = 0;

    uint8_t slaveCount = 0;     // EF byte 1
    uint8_t dualBootState = 0;  // EF byte 4

    // Sensor geometry answers used when a host registers a controller.
    std::optional<std::array<uint8_t, 4>> capability;  // F9 FF 00 00 00 reply bytes 1..4; nullopt: refused
    std::optional<uint16_t> reportLength = 8;          // FA FF / FA 00 55 -> FA lo hi 00 00; nullopt: refused
    uint8_t scanMode = 0;                               // register 0x4E (bank 0) byte 4, and bank 0x90 0x0E
    uint8_t rows = 0, columns = 0, extraColumns = 0;    // F6 02 02 / F6 02 03, E5 forms

    std::array<uint8_t, 4> d2Reply{};  // D2 00 00 00 00 reply bytes 1..4

    // F3 00 07 00 v (update lock) is answered F3 AA ..; false: older firmware that
    // refuses it, so a host falls back to F7 00 00 00 v.
    bool f3UpdateLock = true;
    // After E4 01 00 00 02 (save the base) the status word E4 00 00 00 s carries the
    // busy bit 9 for this many ms of virtual time.
    uint32_t saveBaseBusyMs = 0;
};

// The firmware model.
class Controller {
public:
    explicit Controller(ControllerProfile profile = {});

    ControllerProfile& profile();

    // Register words: E0 bank addr 00 n answers the 4 bytes held at (bank, addr);
    // E1 bank addr 00 v stores v in byte 4 of that word. The words F4, FC, F0 of
    // bank 0 and the scan mode (0x4E of bank 0, 0x0E of bank 0x90) are the profile
    // fields, read when a command arrives; E1 writes them back into the profile.
    // setReg overrides a word; E0/E1 on banks other than 0x00, 0x80, 0x90 are refused.
    std::array<uint8_t, 4> reg(uint8_t bank, uint8_t addr) const;
    void setReg(uint8_t bank, uint8_t addr, std::array<uint8_t, 4> value);

    // A fixed reply for one exact command, ahead of the model.
    void setReply(const Packet& command, const Packet& reply);
    void clearReplies();

    // Faults by command code (byte 0), ahead of fixed replies. count -1: until cleared.
    void refuse(uint8_t code, int count = -1);   // answer AA c0 c1 c2 c3
    void silence(uint8_t code, int count = -1);  // give no answer at all
    void clearFaults();
    // After n more commands the controller goes away: every transfer fails NotFound.
    // clearFaults cancels a pending countdown but does not bring a gone controller back.
    void disconnectAfter(int commands);
    bool connected() const;

    // The firmware itself: one command in, one reply or silence out. Records the trace.
    std::optional<Packet> handle(const Packet& command, Link link, uint64_t nowMs);

    const std::vector<TraceEntry>& trace() const;
    void clearTrace();

    // Bytes served by bulk (frame) reads after FA 00 55 00 00 arms a transfer.
    void setBulkData(std::vector<uint8_t> bytes);
    // Next n bulk bytes (fewer when the armed transfer is exhausted); arms nothing.
    std::vector<uint8_t> takeBulk(size_t n);
    bool bulkArmed() const;

private:
    friend class Bench;
    // A controller put on a bench shares the bench's lock from then on.
    void attach(std::shared_ptr<std::recursive_mutex> lock);

    struct Impl;
    std::shared_ptr<Impl> impl_;
};

struct HidInfo {
    std::string path;              // e.g. "/sim/hidraw0"
    uint16_t vendorId = 0x2E7B;
    uint16_t productId = 0x6020;
    std::string parentInstanceId;  // USB parent's instance id, e.g. "USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&1"
    std::string manufacturer = "Quorvane";
    uint16_t inputReportLength = 64;
    uint8_t reportId = 0;          // the feature/output report id the device accepts
};

enum class HidOp : uint8_t { SetFeature, GetFeature, SetOutput };

class HidDevice {
public:
    const HidInfo& info() const;
    Controller& controller();

    // Host side of the transfers; the first byte of each report is the report id.
    // A set-feature of 6 bytes carries one command; a get-feature of 6 bytes
    // returns [id, reply...] once the reply is visible, before that the previous
    // reply (zeros at first). A get-feature of any other length L + 1 returns the
    // next L bulk bytes when a bulk transfer is armed and its FA reply has been
    // read (the data is zero-padded past the end of the transfer); with no transfer
    // armed such a read fails with Other.
    // A silenced command leaves the reply buffer zeroed, so no stale reply of an
    // earlier command can be taken for its answer.
    // Output reports are kept without their report id byte.
    XferError setFeature(const uint8_t* report, size_t len);
    XferError getFeature(uint8_t* report, size_t len);
    XferError setOutput(const uint8_t* report, size_t len);

    // The reply becomes visible on the n-th get-feature after the set (1 = first).
    void answerOnPoll(int n);
    // The next count transfers of op fail with kind.
    void failNext(HidOp op, XferError kind, int count = 1);
    const std::vector<std::vector<uint8_t>>& outputReports() const;

private:
    friend class Bench;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

struct DriverInfo {
    std::string path;      // device name, e.g. "/sim/qvdrv0"
    int kind = 0;          // 0..4, the driver device kind
    int ioctlPair = 0;     // 0: 0x223D48/0x223D4C, 1: 0x223D88/0x223D8C
    uint32_t baudRate = 115200;  // answered to 0x223CB4
    uint32_t sampleRate = 100;   // 0x223DFC: stores the 4-byte input (when non-zero), answers the current rate

    // Answers the driver gives a host that enumerates its devices (4-byte little-endian outputs):
    // 0x223CA8 device code, (code >> 16) / 1000 names the family; 0: derived from kind
    //          (kind 4 -> 9000 << 16, kinds 1 and 3 -> 6000 << 16, else 1000 << 16).
    uint32_t deviceCode = 0;
    // 0x223C00 answers driverVersion / 100, 0x223C04 driverVersion % 100. 0: 204 when the
    // device uses pair 1 on kinds 0..2 (a host switches to the second pair above 203), else 203.
    uint32_t driverVersion = 0;
    uint32_t portIndex = 0;      // 0x223C40: the driver's port index
    // A read of another length than 5 with no bulk transfer armed returns that many zero
    // bytes (the driver supports bulk reads); false: such a read fails InvalidParameter.
    bool bulkReads = true;
};

enum class DriverOp : uint8_t { Send, Read, Other };

class DriverDevice {
public:
    const DriverInfo& info() const;
    Controller& controller();

    // Send: in = 5 command bytes. Read: out of 5 bytes = the reply (same poll rule
    // as HID); out of another length = bulk bytes when armed (returned = the bytes
    // the transfer still held). Codes of the other
    // pair, or unknown codes, fail with InvalidParameter.
    XferError ioctl(uint32_t code, const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen,
                    uint32_t* returned);

    void answerOnPoll(int n);
    void failNext(DriverOp op, XferError kind, int count = 1);

private:
    friend class Bench;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

struct SerialInfo {
    std::string path;        // e.g. "/sim/ttyS3"
    uint32_t baud = 115200;  // the controller's line speed; other host speeds get silence
};

class SerialDevice {
public:
    const SerialInfo& info() const;
    Controller& controller();

    static constexpr uint64_t kResyncGapMs = 20;

    // The controller's own line speed.
    void setBaud(uint32_t baud);
    // The host's line settings (baud is what matters to the controller). Until a host
    // sets one, the line runs at the controller's speed.
    void setHostBaud(uint32_t baud);
    // Every byte that reached the line, at any speed, framed or not.
    uint64_t receivedBytes() const;
    // Bytes from the host. Frames are the 5 command bytes and the complement of
    // their sum (Melk: 5 bytes, no checksum); a frame with a bad checksum is
    // dropped. Replies are framed the same way and queued for reading.
    XferError write(const uint8_t* data, size_t len, size_t* written);
    // Up to len queued bytes, now.
    size_t read(uint8_t* data, size_t len);
    size_t available() const;
    void purge();
    // Drops a partial frame when more than kResyncGapMs passed between its last byte
    // and nowMs. write() does this itself on the bench clock.
    void resyncAfterGap(uint64_t nowMs);

private:
    friend class Bench;
    friend class PtyServer;
    // Bytes arriving at nowMs (the pty server passes real time); no transfer latency.
    void receiveAt(const uint8_t* data, size_t len, uint64_t nowMs);
    // Every queued reply byte; no transfer latency.
    std::vector<uint8_t> takeOutput();
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

class Bench {
public:
    Bench();
    ~Bench();

    VirtualClock& clock();
    std::shared_ptr<VirtualClock> clockPtr();

    // Virtual ms that every transfer (set/get feature, ioctl, serial write, serial read) costs.
    void setLatencyMs(uint32_t ms);
    uint32_t latencyMs() const;

    HidDevice& addHid(std::shared_ptr<Controller> c, HidInfo info);
    DriverDevice& addDriver(std::shared_ptr<Controller> c, DriverInfo info);
    SerialDevice& addSerial(std::shared_ptr<Controller> c, SerialInfo info);

    HidDevice* hid(const std::string& path);
    DriverDevice* driver(const std::string& path);
    SerialDevice* serial(const std::string& path);

    std::vector<HidDevice*> hidDevices();
    std::vector<DriverDevice*> driverDevices();
    std::vector<SerialDevice*> serialDevices();

    // Unplug / plug a device at run time (a removed device fails every transfer NotFound).
    bool remove(const std::string& path);

    // The bench lock: held by every transfer; tests may hold it to inspect state.
    std::recursive_mutex& mutex();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Builds a bench from a profile: a built-in name ("current", "ostra", "melk",
// "boot", "serial", ...) or the path of a profile file. nullptr and *error on failure.
std::shared_ptr<Bench> loadProfile(const std::string& nameOrPath, std::string* error);
std::vector<std::string> builtinProfileNames();
// The same from the text of a profile file; `source` names it in error texts
// ("<source>:<line>: ...").
std::shared_ptr<Bench> parseProfileText(const std::string& text, const std::string& source, std::string* error);

// Serves one SerialDevice on a pseudo-terminal; the host opens slavePath().
class PtyServer {
public:
    PtyServer(std::shared_ptr<Bench> bench, SerialDevice& device);
    ~PtyServer();
    bool start(std::string* error);
    void stop();
    const std::string& slavePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qvsim
