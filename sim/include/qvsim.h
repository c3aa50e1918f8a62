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
//   Bench         the set of attached devices by path, the virtual clock,
//                 the per-transfer latency, plug events and the settings store.
//   PtyServer     serves one SerialDevice on a pseudo-terminal (the qvsim tool).
//
// Thread-safety: a Bench and everything on it is guarded by one mutex per
// Bench, so a PtyServer thread and a test thread may use it together.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
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

// The firmware a chip runs once its flash was written whole: what ED and EE
// report after the boot loader left.
struct FirmwareIdentity {
    uint8_t major = 1, minor = 0, customer = 0;
    uint8_t buildA = 0, buildB = 0;
};

// One chip's boot loader and program flash (sim/src/boot_loader.cpp). A chip
// without one refuses the boot entry pairs (FF, Ostra E8) and the D-commands.
//   FF AA 55 AA 55 then FF 55 AA 55 AA (kind 0), FF BB 44 BB 44 then
//     FF 44 BB 44 BB (kind 1), Ostra E8 AA 55 AA 55 then E8 55 AA 55 AA, and
//     D4 00 00 00 00 then D4 00 AA 00 00 start the loader: ED answers 55 AA;
//     with reenumerateOnBoot the chip leaves the bus once the host read the answer.
//   D9 00 00 00 00 -> D9 00 00 s 00, s bit 1 = word checksum;
//   D9 AA 00 00 f -> D9 55 00 00 f when f is one of formats, else D9 00 ..;
//   D2 -> the block size B in bytes 1..3 (ControllerProfile::d2Reply);
//   D0 n lo hi f f opens block n (FF FF: erased, no data follows); byte 4 of the
//     answer is 4 (skipped) for block 0 while a dual boot's second boot runs
//     (dualBootState 0xBB);
//   packets [(i/4) mod 128][4 bytes] (or HID output reports) carry the block;
//   D1 00 00 lo hi: lo hi must be the complement of the byte (or word) sum of the
//     block filled with 0xFF: written, answer byte 4 = 0; else byte 4 = 1;
//   D8 00 55 00 00 leaves a new loader.
// The loader leaves (a new one by itself after block 0 or on D8, an old one on
// FE) only when every block from 0 to the highest one of this session was
// written and verified; then the chip runs the flashed firmware and
// re-enumerates (a slave shows its new version after the master's reset).
// Otherwise it stays. The flashed firmware names itself: its program begins
// with a copy of its image header (the file format's layout, sums included),
// whose major, minor, customer code and build bytes 18, 19 the chip then
// reports; a program without a valid header there leaves the chip reporting
// what it did before.
struct BootFlash {
    std::vector<uint8_t> flash;                // program flash (0xFF past the end)
    std::map<uint32_t, uint32_t> blockWrites;  // block -> times written and verified
    bool wordChecksum = false;
    std::vector<uint8_t> formats{0x10, 0x20};  // accepted D9 AA formats
    bool oldLoader = false;
    bool reenumerateOnBoot = false;            // boot entry and exit re-enumerate (HID)
    // What follows the loader's exit: the new firmware answers (Back), the chip
    // comes back but answers nothing (Silent), or it never comes back (Never:
    // every transfer fails NotFound from then on).
    enum class Exit : uint8_t { Back, Silent, Never };
    Exit exit = Exit::Back;
    // What a whole flash runs whatever it holds (a fault: a flash that does not
    // run as written); nullopt: what the flashed program's header names.
    std::optional<FirmwareIdentity> image;
    // Faults: D1 of block n fails this often (-1 always); ED never shows 55 AA.
    std::map<uint32_t, int> d1Failures;
    bool hideBootMark = false;
    // A loader that will not start while the controller scans (E0 00 F0 byte 4
    // bit 0): the first packet of an FF entry pair is answered with the error
    // reply AA BB CC DD EE and arms nothing; once F0 00 00 00 00 stopped the
    // scanning the pair starts the loader.
    bool entryNeedsQuiet = false;
    // The USB product id the chip enumerates with while its loader runs (the HID
    // device's productId, and the PID_ part of its parent's instance id); the
    // firmware's own one comes back when the loader left. nullopt: unchanged.
    std::optional<uint16_t> productId;
};

// One slave controller IC behind the master. A host reaches it with the selector
// 0xF0 + k in byte 2 of ED, EE and EB (Ostra: E7) once F4 00 k .. 01 selected it,
// or at any time when the slaves share the master's chip.
struct SlaveProfile {
    uint16_t identityNumber = 6020;  // sent as the master's is; may carry bit 15
    uint8_t letter = 0;
    uint8_t major = 1;
    uint8_t minor = 0;
    uint8_t customer = 0;
    bool inBoot = false;             // its boot loader runs: the boot marks as the master sends them
    // Bytes per firmware data transfer its boot loader takes: byte 1 of the answer
    // to F4 00 k 00 01 that selects the slave while the loader runs (a running
    // slave answers 0 there, so a non-zero byte 1 also tells the loader runs).
    uint8_t transferSize = 8;
    uint8_t buildA = 0, buildB = 0;  // boot state bytes A and B outside the boot loader
    std::array<uint8_t, 4> customerBytes{};
    // The slave's parameter memory (bank 0 from address 0), reached with E0/E1 00 a
    // while F4 00 k 00 01 has it selected; reads answer as the master's bank 0 does.
    std::vector<uint8_t> parameters;
    // EF byte 3 while the slave is selected and answers as itself (see
    // ControllerProfile::selectedSlaveAnswers): its information byte in the high nibble.
    uint8_t icInfo = 0;
    std::optional<BootFlash> boot;  // its boot loader and flash; nullopt: none
};

// One entry of the panel-size table (E3 01 i 00 n).
struct PanelSizeEntry {
    std::array<uint8_t, 8> name{};  // n = 0: bytes 0..3, n = 1: bytes 4..7 (0 = no character)
    uint8_t inches = 0;             // n = 2, byte 1: whole inches as two hex digits (0x15 = 15)
    uint8_t tenthsAndFlags = 0;     // n = 2, byte 2: tenths in the high nibble; bit 0 wide, bit 3 mark
    std::array<uint8_t, 4> dimension{};  // n = 5, bytes 1..4: two u16 (width, height)
};

// One entry of the cover-lens table (E3 02 i 00 00 reply bytes 1..4).
struct CoverLensEntry {
    uint8_t thickness = 0;       // mm in the high nibble, tenths in the low
    uint8_t thicknessTo = 0xFF;  // the upper end of a range the same way; 0xFF: one thickness
    uint8_t material = 0;        // 'A' film, 'G' glass, 'P' polymer (either case)
    uint8_t mark = 0;            // non-zero: the lens carries a mark
};

// One parameter item of the item protocol: F6 g 10+n reads it, F6 g 80+n 00 v writes it.
// F6 g 20+n answers the item's second byte in byte 4.
struct ParamItem {
    uint8_t maximum = 0;
    uint8_t value = 0;
    uint8_t second = 0;
};

// A 16-bit item: F6 g 10+n answers the value, F6 g 20+n the maximum (bytes 3..4, low
// byte first); F6 g 80+n lo hi writes it.
struct ParamWordItem {
    uint16_t maximum = 0xFFFF;
    uint16_t value = 0;
};

// The force-touch table: F8 00 00 00 00 -> F8 info rows<<4|columns info2; F8 02 i 00 00
// reads value i (i = 16 r + 17 + k) into byte 3 (low) and 4 (high); F8 03 i lo hi writes
// it; F8 01 00 00 f switches force touch.
struct ForceTouchProfile {
    uint8_t info = 0;
    uint8_t info2 = 0;
    uint8_t rows = 0;
    uint8_t columns = 0;
    std::map<uint8_t, uint16_t> values;  // by index i
    bool on = false;
};

// What the maker's kernel driver keeps for the controller it serves, answered by
// a DriverDevice's I/O controls (the firmware never sees these): an input of 4
// bytes stores the value, an output of 4 bytes reads it (little-endian).
struct DriverSettings {
    uint32_t versionWord = 0x00070003;  // 0x223C80: the driver's build word
    uint32_t touchType = 2;             // 0x223D34: how the driver reports touches (1 or 2)
    uint32_t dataReport = 0;            // 0x223D20: the driver passes raw data reports on
    uint32_t monitorId = 0;             // 0x223DAC: the monitor the touches map to
    uint32_t rightButton = 0;           // 0x223C20: press and hold gives a right click
    uint32_t touchAndHold = 0;          // 0x223C70: touch-and-hold gesture on

    // The setting a control code reads and writes, nullptr for other codes.
    uint32_t* word(uint32_t code);
    // Answers one I/O control on a setting's code (InvalidParameter without a
    // 4-byte input or output).
    XferError ioctl(uint32_t code, const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen,
                    uint32_t* returned);
};

// The sensor model: frames of rows x (columns + extraColumns + 1) 16-bit values.
// Data kinds of a load: 0 baseline, 1 raw counts, 2 differences (raw - baseline,
// two's complement), 0x80 | m the differences of frequency mode m, 0x10 | u the
// flush base of mode u (below); any other kind
// answers the raw counts. A scan always leaves its raw counts loaded. Raw counts are
// the level plus a fixed per-position offset (0..offsetSpan-1) plus noise that
// depends on the seed, the scan number, the position (and the mode), so every scan
// of the same sensor gives the same frames in the same order. The raw counts (and
// so the differences) are those of the frequency selected when the frame is loaded
// (`frequency`, F5 select): each frequency draws its own noise, of the amplitude
// `frequencyNoise` gives it (else `noise`). The level is
// baseLevel, or patternLevel[v-1] while the scan runs with test pattern v (F3 00 0D
// 00 v / FD 00 00 00 v selected it before the scan started).
//   F9 FF 91 a k and F9 00 00 C0 00 (older raw scan; C0 01, the older enter, as
//     well): start scan n+1, which runs
//     scanMs of virtual time; its raw counts are loaded.
//   F9 FF 10 00 00 -> F9 00 00 total done; F9 00 00 80 xx -> F9 total done 00 00,
//     done = total x elapsed / scanMs (at most total).
//   F9 FF 92 a k and F9 00 AA 00 k load the frame of kind k of the latest scan.
//   Kind 0x10 | u is the flush base the controller stored for frequency mode u:
//   the baseline level and offset plus a fixed per-mode deviation (of amplitude
//   noise), the same for every scan, with the baseline's faults.
//   F9 FF 93 00 f (notify) is echoed.
// Loading a frame replaces the bulk data (bulk reads and E8 word reads).

// The frames a sensor fault applies to: raw counts without a test pattern, raw
// counts under test pattern 1..3, the baseline, the differences of frequency mode
// 0..3, or every frame. The differences (kind 2) are raw - baseline of the faulted
// frames, so they show what a fault does to either.
enum class SensorScope : uint8_t { All, Raw, Pattern1, Pattern2, Pattern3, Baseline, Mode0, Mode1, Mode2, Mode3 };

// A defect of the panel, applied to every frame in its scope, in list order:
//   OpenColumn  every node of `column` reads `value` (an open line's level);
//   OpenRow     every node of `row` reads `value`;
//   Node        node (row, column) reads `value`;
//   NoisyNode   node (row, column) gets extra noise in [-value, value], new each scan;
//   Bump        node (row, column) reads `value` more (value may be negative);
//   Frozen      every scan gives the frames of scan 1 (the other fields unused).
// Columns count positions in the whole row (mutual, then extra, then last column).
struct SensorFault {
    enum class Kind : uint8_t { OpenColumn, OpenRow, Node, NoisyNode, Bump, Frozen };
    Kind kind = Kind::Node;
    SensorScope scope = SensorScope::All;
    uint8_t row = 0, column = 0;
    int32_t value = 0;
};

// The defaults are a healthy panel: neighbouring nodes differ by a few counts,
// the scan-to-scan noise is small, and test pattern 1 (the open/short pattern)
// drives every node well below the absolute limit a host checks, so a host's
// open/short test passes until a fault is injected.
struct SensorProfile {
    uint32_t seed = 1;
    uint16_t baseLevel = 3000;    // baseline = baseLevel + a fixed per-position offset
    uint16_t offsetSpan = 16;     // the offset is 0..offsetSpan-1 (0 counts as 1)
    uint8_t noise = 5;            // raw = baseline + value in [-noise, noise]
    uint8_t progressTotal = 8;
    uint32_t scanMs = 0;
    std::array<uint16_t, 3> patternLevel{1000, 1500, 3000};  // the level under test pattern 1..3
    std::vector<SensorFault> faults;
    // The noise amplitude of the raw counts while frequency v is selected (F5
    // select), by v; other frequencies use `noise`.
    std::map<uint8_t, uint8_t> frequencyNoise;
};
constexpr uint8_t kSensorBaseline = 0, kSensorRaw = 1, kSensorDifference = 2;
struct ControllerProfile;
// The frame of kind for scan number scan (1 = the first) under test pattern
// `pattern` (0: none), as the model holds it.
std::vector<uint16_t> SensorFrame(const ControllerProfile& profile, uint8_t kind, uint32_t scan, uint8_t pattern = 0);

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
    // Boot state bytes A and B outside the boot loader (the build numbers): current
    // ED bytes 3 and 4, Ostra ED bytes 4 and 3.
    uint8_t buildA = 0, buildB = 0;

    std::optional<uint8_t> bootVersion = 0x12;  // EE AA 00 00 00 -> EE 55 00 00 v; nullopt: refused

    std::array<uint8_t, 4> featureF4{};  // E0 00 F4 00 00 reply bytes 1..4
    std::array<uint8_t, 4> featureFC{};  // E0 00 FC 00 00 reply bytes 1..4
    // E0 00 F0 00 00 reply bytes 1..4; byte 4 bit 0 = scanning (F1/F0 00 00 00 00),
    // bit 1 = data report on (F1/F0 00 00 00 01).
    std::array<uint8_t, 4> stateF0{};
    std::array<uint8_t, 4> bridge{};     // E9 00 00 00 00 reply bytes 1..4
    bool fastTiming = false;             // E7 00 00 00 00 -> E7 00 55 .. (current series)
    // The IC's memory behind the other E7 forms (current series): E7 B0, E7 A0 and
    // E7 90 answer E7 00 and the configuration word count, the SFR size and the
    // data-RAM size in bytes (big-endian in bytes 2..4); E7 30 i 00 00 configuration
    // word i (byte k = ((4i + k) x 11 + 5) & 0xFF); E7 20 a2 a1 a0 (SFR) and E7 10 a2
    // a1 a0 (data RAM) the four bytes from address a = a2 a1 a0 (byte = (address x 7
    // + 3) & 0xFF); a word or address past its size and every other form (E7 FF ..)
    // are refused.
    uint32_t configWords = 3;
    uint32_t sfrSize = 0x20;
    uint32_t dataRamSize = 0x40;
    std::array<uint8_t, 4> customerBytes{};  // EB (current) / E7 (Ostra) reply bytes 1..4

    // F6 00 10 00 00 -> F6 00 10 v/100 v%100. 0: the item protocol is absent and
    // every F6 item is answered with 0xFF echoes.
    uint16_t paraVersion = 0;
    // Items of the item protocol by (group, item); F6 g 00 answers the presence mask.
    std::map<std::pair<uint8_t, uint8_t>, ParamItem> items;
    // 16-bit items by (group, item); they count in the presence masks like items.
    std::map<std::pair<uint8_t, uint8_t>, ParamWordItem> wordItems;
    // Group information bytes F6 g i 00 00 by (group, i), for i = 1..15 and for the
    // further read codes 0x30..0x7F: reply bytes 3 and 4 (an entry for F6 0E 50 answers
    // in place of the event-halt state below).
    std::map<std::pair<uint8_t, uint8_t>, std::array<uint8_t, 2>> groupInfo;
    // The event halt, with items in group 14 (the debug group): F6 0E 90 00 v
    // switches it (v = 0 off, 1 on), F6 0E 50 00 00 -> F6 0E 50 kind switch, where
    // kind (bit 0 finger, bit 1 water) shows only while the switch is on, and F6 0E
    // 91 00 00 clears the kind. Without group 14 items these are plain group codes;
    // a groupInfo entry for F6 0E 50 is a fixed state that answers instead.
    uint8_t eventHaltSwitch = 0;
    uint8_t eventHalt = 0;  // the halt the panel gave (bit 0 finger, bit 1 water)
    // F6 08 90 00 00 (activate the calibration parameters) was received this often.
    uint32_t calibrationActivations = 0;
    // F6 08 91 00 00 (prepare a calibration: report the untransformed touch range) was received this often.
    uint32_t calibrationPreSetups = 0;

    // RAM and flash. The items, the panel text and the parameter banks above and
    // below are the controller's RAM: every write goes there. F6 00 90 00 00 (flush)
    // copies RAM to flash and answers flushDone in byte 4; FE (reset) loads RAM from
    // flash again. Until the first write RAM and flash hold the same values (the
    // profile's), so a profile edited before the host writes describes both.
    uint8_t flushDone = 1;
    // A HID controller that answered FE (reset) leaves the bench and comes back
    // once the host read that answer: a removal, then an arrival on a new link
    // (handles to the old one fail NotFound), as a reset controller enumerates anew.
    bool reenumerateOnReset = false;
    // When a controller that left the bus to re-enumerate (reset, boot loader entry
    // or exit) arrives again: at once, at the first host enumeration (a device
    // listing) once the virtual clock passed `value` ms, at the `value`-th host
    // enumeration from its removal, or never (it stays removed).
    struct Reenumeration {
        enum class Arrival : uint8_t { AtOnce, AfterMs, AfterEnumerations, Never };
        Arrival arrival = Arrival::AtOnce;
        uint32_t value = 0;
    };
    Reenumeration reenumeration;
    // The firmware defaults by (group, item): F6 00 91 55 AA sets every item to its
    // default, F6 00 91 00 00 every item outside the host-interface (1) and panel (2)
    // groups; F6 00 92 00 00 sets every item to its flashed value. An item without a
    // default here goes back to the value it had before the first write.
    std::map<std::pair<uint8_t, uint8_t>, uint16_t> itemDefaults;

    // The panel text: E0 C0 80+i 00 00 answers text bytes i+3, i+2, i+1, i in reply
    // bytes 1..4. F6 02 B0 00 00 opens a text write and answers the length in byte 4;
    // packets [word index][4 bytes] then carry the text; F6 02 B1 00 00 keeps it.
    std::array<uint8_t, 18> panelText{};
    uint8_t panelTextLength = 18;
    // E5 00 00 00 00 reply bytes 1..4 (the older form of the panel's resolution).
    std::array<uint8_t, 4> resolutionE5{};

    // The virtual-button table: F6 0F 02 -> F6 0F 02 entrySize count; F6 0F A0 e w ->
    // F6 then bytes 4w..4w+3 of entry e; F6 0F B0 e 00 opens entry e for writing,
    // packets [word index][4 bytes] fill it, F6 0F B1 e 00 keeps it. F6 0F 03 the CRC.
    // The control items act on the table (the firmware's RAM copy), its flash and its
    // factory setting, and echo: F6 0F 90 00 f clears the table (every entry 0),
    // F6 0F 92 00 01 loads it from flash, F6 0F 92 00 00 from the factory setting,
    // F6 0F 93 AA 55 writes it to flash, F6 0F 94 AA 55 erases flash (every entry 0);
    // FE (reset) loads it from flash. F6 0F 91 (init) answers 0.
    uint8_t vbuttonEntrySize = 12;
    std::vector<std::array<uint8_t, 12>> vbuttons;
    // The table's flash and factory setting; nullopt until the first table write or
    // control item: both hold the table as it was then.
    std::optional<std::vector<std::array<uint8_t, 12>>> vbuttonFlash;
    std::optional<std::vector<std::array<uint8_t, 12>>> vbuttonDefaults;
    // F6 0F 03: this fixed word, or (nullopt) the virtual-key CRC of the table the
    // firmware keeps (VirtualKeyCrc below).
    std::optional<uint16_t> vbuttonCrc;

    // The anti-noise setting of firmware without the item protocol; nullopt: E6 refused.
    // E6 01 00 00 00 -> E6 00 'U' 00 maximum; E6 01 01 00 00 -> E6 00 00 second value;
    // E6 01 0F v 00 stores v (echo).
    struct AntiNoiseRegister {
        uint8_t maximum = 0;
        uint8_t value = 0;
        uint8_t second = 0;
    };
    std::optional<AntiNoiseRegister> antiNoiseRegister;

    // Force touch; nullopt: F8 is refused.
    std::optional<ForceTouchProfile> forceTouch;

    // EF 00 00 00 00 -> EF count icFlags icInfo dualBootState. The count is the number
    // of ICs (master included) as the firmware sends it.
    uint8_t slaveCount = 0;     // EF byte 1
    uint8_t icFlags = 0;        // EF byte 2
    uint8_t icInfo = 0;         // EF byte 3
    uint8_t dualBootState = 0;  // EF byte 4
    std::vector<SlaveProfile> slaves;
    bool slavesShareIc = false;  // the slaves are further cores of the master's chip (EE answers 0xAA55)
    // F4 00 k .. 01 selects a slave only while the controller is quiet: scanning off
    // (E0 00 F0 byte 4 bit 0 clear) or diagnostic mode on; otherwise it is refused.
    bool slaveSelectNeedsQuiet = false;
    // A selected slave of its own chip answers EE, ED and EB with a master selector
    // (byte 2 below 0xF0) and EF as itself, so a host reads its firmware information
    // as it reads the master's; false: those stay the master's.
    bool selectedSlaveAnswers = false;

    // E0 00 FF 00 p: the state-ex pages. Page 0 bytes 1..4 (byte 2 bit 7: the slaves
    // can be reached); page 1 bytes 1..4 with byte 2 bit 7 showing diagnostic mode.
    std::array<uint8_t, 4> stateEx{};
    std::array<uint8_t, 4> stateEx1{};
    // E0 00 ED 00 i: the controller word of IC i (0 the master); absent: refused.
    std::map<uint8_t, std::array<uint8_t, 4>> icWords;
    // C0 00 i 00 00: firmware information word i, reply bytes 1..4; absent: zeros.
    std::map<uint8_t, std::array<uint8_t, 4>> infoWords;

    // E3 00 00 00 00 -> E3 00 sizes lenses 00; E3 01 i and E3 02 i the entries.
    std::vector<PanelSizeEntry> panelSizes;
    std::vector<CoverLensEntry> coverLenses;

    // Monitor id: register 0x49 byte 4 (current); F3 00 7C 00 00 -> F3 00 7C id key and
    // F2 00 7C id key (series), which is refused unless it carries the key back.
    uint8_t monitorId = 0;
    uint8_t monitorKey = 0x5A;

    // D3 00 00 00 01 and D3 00 AA 00 01 -> D3 lo hi 00 01: the boot loader's packet size; nullopt: refused.
    std::optional<uint16_t> bootPacketSize;
    // D4 00 00 00 00 then D4 00 AA 00 00 starts the boot loader; the second reply's byte 4
    // is the ms a host waits for it.
    uint8_t bootSwitchMs = 0;

    // Sensor geometry answers used when a host registers a controller.
    std::optional<std::array<uint8_t, 4>> capability;  // F9 FF 00 00 00 reply bytes 1..4; nullopt: refused
    std::optional<uint16_t> reportLength = 8;          // FA FF / FA 00 55 -> FA lo hi 00 00; nullopt: refused
    uint8_t scanMode = 0;                               // register 0x4E (bank 0) byte 4, and bank 0x90 0x0E
    uint8_t rows = 0, columns = 0, extraColumns = 0;    // F6 02 02 / F6 02 03, E5 forms

    // The sensor behind the diagnostic commands; nullopt: no scan/load commands
    // (F9 FF 91/92/93/10, F9 00 00 C0 00, F9 00 00 80 xx, F9 00 AA 00 k are refused)
    // and frames come only from setBulkData.
    std::optional<SensorProfile> sensor;

    // The panel scan answers beside the sensor (sim/src/scan_commands.cpp):
    //   F3 00 0D 00 v -> F3 AA 0D 00 v and FD 00 00 00 v (echo) select test pattern
    //     v = 0..3 for the next scans (a sensor is needed; others refused);
    //   F3 00 0F 00 00 -> F3 AA 0F lo hi: scanCaps (refused without);
    //   F5 00 04 00 00 -> F5 00 M F extra: frequencyModes (without: every F5 refused);
    //   F5 00 0F 00 00 -> F5 00 00 00 frequency; F5 00 FF 00 v selects frequency v
    //     (echo), and so does the older F5 00 (v - 0x10) 00 00 for v = 0..14;
    //   E4 00 00 00 00 carries srVersion % 100 and srVersion / 100 in bytes 1 and 2;
    //   FB 00 00 00 00 -> FB 00 00 00 interfaceCheck (refused without);
    //   F5 00 1F 00 00 (the noise test's per-row command) is echoed.
    std::optional<uint16_t> scanCaps;
    std::optional<std::array<uint8_t, 3>> frequencyModes;  // mode count, frequencies per mode, extra
    uint8_t frequency = 0;
    uint16_t srVersion = 0;
    std::optional<uint8_t> interfaceCheck;
    // Ostra series: FF 00 00 00 00 -> FF 00 00 00 resolutionShift (the panel's
    // coordinate range is 1 << shift); nullopt: the command is echoed, as every
    // other FF command is.
    std::optional<uint8_t> resolutionShift;
    // The ready poll of a scan view: with a value n, E0 00 F7 00 00 answers the
    // register word with bit 0 of byte 1 clear for the next n reads and set from
    // read n + 1 on (counted in reads, since a host that polls from its timers
    // lets no virtual time pass; each read counts the value down, so setting the
    // key starts a new count); nullopt: the plain register word.
    std::optional<uint32_t> readyAfterPolls;

    std::array<uint8_t, 4> d2Reply{};  // D2 00 00 00 00 reply bytes 1..4
    // The master's boot loader and flash; nullopt: none (FF refused as before).
    // With one, F2 00 00 00 v also stores the baud code v that E0 00 02 reads back.
    std::optional<BootFlash> boot;

    // The update lock as the host left it (F6 00 9F 00 v, F3 00 07 00 v or F7 00 00 00 v).
    bool updateLocked = false;
    // The glove mode F3 00 01 00 m left (echoed).
    uint8_t gloveMode = 0;
    // E2 00 00 00 00 put the controller to sleep (echoed): it then answers only
    // the loop-back FC, which wakes it.
    bool asleep = false;
    // The reload of older firmware: EC 00 AA 00 v arms it, EC 00 00 00 v right after
    // reloads the register words (all but the profile-described feature, state, scan
    // mode and monitor words): v = 0 from defaultWords (words not listed become 0),
    // v = 1 from the words as the last flush (EA 00 AA 00 00) saved them. Counted in
    // registerReloads.
    std::map<uint16_t, std::array<uint8_t, 4>> defaultWords;  // key bank << 8 | addr
    uint32_t registerReloads = 0;
    // F6 00 91 00 00 (defaults), F6 00 91 55 AA (all defaults), F6 00 92 00 00 (flushed):
    // each is counted here by its code (0x91, 0x9155, 0x92).
    std::map<uint16_t, uint32_t> itemReloads;

    // F3 00 07 00 v (update lock) is answered F3 AA ..; false: older firmware that
    // refuses it, so a host falls back to F7 00 00 00 v.
    bool f3UpdateLock = true;
    // After E4 01 00 00 02 (save the base) the status word E4 00 00 00 s carries the
    // busy bit 9 for this many ms of virtual time.
    uint32_t saveBaseBusyMs = 0;
    // The system-reference build and its status word (E4 00 00 00 00 bytes 3..4):
    //   E4 01 00 00 00 (older build) and E4 01 00 00 01 (newer) set bits 8 (building)
    //     and 0 (reference not saved) for the next buildPolls status reads; on the
    //     read after those the older build clears bits 8 and 0, the newer bit 8 only
    //     (bit 0 is left to the save). Counted in reads, since a host's wait timers
    //     let no virtual time pass.
    //   E4 01 00 00 02 (save) clears bit 0, then sets the bits of saveStatus (e.g.
    //     0x201: the save never ends and the reference stays unsaved).
    //   E4 01 00 00 FF (erase) sets bit 0.
    //   E4 00 00 00 01 answers the four modeInvalid bytes; every other E4 00 form
    //     answers the version and status.
    uint32_t buildPolls = 0;
    uint16_t saveStatus = 0;
    std::array<uint8_t, 4> modeInvalid{};
    // F5 00 05 00 00 -> F5 n0 n1 n2 n3: the noise levels of frequency modes 0..3.
    std::array<uint8_t, 4> noiseLevels{};
    // The frequency settle of the noise test, F6 07 90 AA x (with the item protocol):
    //   AA 05 (start), AA 02 (sampling done), AA 00 (stop) are echoed;
    //   AA 01 -> F6 07 90 00 b: b = 1 (still settling) for the next settleBusyPolls
    //     polls (counted down), then 0;
    //   AA 03 -> F6 07 90 hi lo: the next of settleValues (the last one repeats; 0
    //     when there is none);
    //   with settleOff, AA 01 and AA 03 answer F6 07 FF 00 00.
    uint32_t settleBusyPolls = 0;
    std::vector<uint16_t> settleValues;
    size_t settleNext = 0;  // the next of settleValues AA 03 gives
    bool settleOff = false;

    // Parameter memory by bank (0x00, 0x80, 0x90, 0xA0, 0xC0, 0xD0, 0xE0), byte a at
    // index a; a bank listed here exists (E0 on a missing bank is refused, except the
    // word banks 0x00, 0x80, 0x90). Reads of an address at or past the end of a listed
    // bank other than 0 are refused; in bank 0 such addresses are register words.
    //   Banks 0xC0, 0xD0, 0xE0: E0 b a 00 00 -> E0 m[a+3] m[a+2] m[a+1] m[a];
    //     E1 b a hi lo stores m[a] = lo, m[a+1] = hi.
    //   Banks 0x80, 0x90, 0xA0: E0 b a 00 00 -> E0 00 00 m[a+1] m[a]; E1 b a 00 v: m[a] = v.
    //   Bank 0: E0 00 a 00 00 -> E0 00 00 00 m[a], or E0 01 00 m[a+1] m[a] when
    //     bank0Pairs is set; E1 00 a 00 v: m[a] = v.
    // The profile-described words (feature, state, scan mode, monitor id) and words set
    // with setReg keep their own byte 4 inside a bank's memory, as the register model has it.
    // Bytes past the end read as 0. Bank 0xC0 addresses 0x80.. stay the panel text.
    std::map<uint8_t, std::vector<uint8_t>> paramBanks;
    bool bank0Pairs = false;
    // E0 00 FB 00 00 -> E0 debug slave boot touch: the list lengths; nullopt: refused.
    // With a descriptor and banks 0x80 (touch) and 0x90 (boot), E0 00 FA 00 00 answers
    // the parameter CRC over them (ParameterListCrc below; lo hi in bytes 1..2) unless
    // a register word 0xFA was set.
    std::optional<std::array<uint8_t, 4>> listDescriptor;
    // The constant block, byte i at index i: E0 B0 off 00 00 (when the block is not
    // empty; else refused) and C1 00 off 00 00 answer c[off+3] c[off+2] c[off+1] c[off]
    // (0 past the end).
    std::vector<uint8_t> constants;

    // Kept by the kernel driver, when the controller is reached through one.
    DriverSettings driver;
};

// The virtual-key CRC the firmware keeps over its table: the entries as a 16 x 12
// table (zeros past the list), used count u = the entries whose 16-bit word at
// offset 8 is non-zero; from 0xFFFF over entries 0..u (at most 15), entrySize bytes
// each, every bit from the most significant shifted in with the polynomial 0x1021.
uint16_t VirtualKeyCrc(const ControllerProfile& profile);
// The parameter CRC the firmware keeps (E0 00 FA): the touch list (bank 0x80, the
// descriptor's touch length) then the boot list (bank 0x90, its boot length), with
// the bytes the firmware rewrites itself taken as 0 (touch 63, touch 127 beyond 64
// bytes, boot 15, boot 61 and 63 beyond 16 bytes; touch 61 and boot byte 0 count),
// shifted in like the virtual-key CRC from the virtual-key CRC on item protocol
// 1.33 and later, else from 0xFFFF. nullopt without a descriptor or those banks.
std::optional<uint16_t> ParameterListCrc(const ControllerProfile& profile);

// The commands a fault or a fixed reply applies to: the packets whose bytes
// equal `bytes` wherever `mask` has bits. Mask 0xFF compares a whole byte, 0xF0
// its high nibble, 0 takes any byte; so a prefix of n bytes has 0xFF over bytes
// 0..n-1 ("F6 03 8" takes F6 03 80 .. F6 03 8F).
class PacketPrefix {
public:
    PacketPrefix() = default;  // every packet
    PacketPrefix(const Packet& bytes, const Packet& mask);
    static PacketPrefix code(uint8_t code);           // byte 0
    static PacketPrefix exact(const Packet& command);  // all five bytes

    bool matches(const Packet& command) const;
    // How specific the prefix is: the number of mask bits.
    int weight() const;
    const Packet& bytes() const { return bytes_; }
    const Packet& mask() const { return mask_; }
    friend bool operator==(const PacketPrefix&, const PacketPrefix&) = default;

private:
    Packet bytes_{};  // zero wherever the mask is
    Packet mask_{};
};

// The firmware model.
class Controller {
public:
    explicit Controller(ControllerProfile profile = {});

    ControllerProfile& profile();
    // Runs edit on the profile under the bench lock, so a change made while a
    // host talks to the controller reaches it whole, between two commands.
    void editProfile(const std::function<void(ControllerProfile&)>& edit);

    // Register words: E0 bank addr 00 n answers the 4 bytes held at (bank, addr);
    // E1 bank addr 00 v stores v in byte 4 of that word. The words F4, FC, F0 of
    // bank 0, the scan mode (0x4E of bank 0, 0x0E of bank 0x90) and the monitor id
    // (0x49 of bank 0) are the profile fields, read when a command arrives; E1 writes
    // them back into the profile. Two words of bank 0 answer by n: 0xFF (the state-ex
    // pages) and 0xED (the IC words), see the profile.
    // setReg overrides a word (for every n); E0/E1 on banks other than 0x00, 0x80, 0x90 are
    // refused unless the profile gives the bank parameter memory (see paramBanks).
    std::array<uint8_t, 4> reg(uint8_t bank, uint8_t addr) const;
    void setReg(uint8_t bank, uint8_t addr, std::array<uint8_t, 4> value);

    // A fixed reply, ahead of the model: for one exact command, or for every
    // command a prefix takes. Of the replies whose prefix matches, the most
    // specific answers (an exact command before a shorter prefix; of equally
    // specific ones the one set last). Setting a prefix again replaces its reply.
    void setReply(const Packet& command, const Packet& reply);
    void setReply(const PacketPrefix& commands, const Packet& reply);
    // The same for the next count commands the prefix takes (then the model
    // answers again); ahead of the replies set without a count.
    void setReply(const PacketPrefix& commands, const Packet& reply, int count);
    void clearReplies();

    // Faults, ahead of fixed replies: by command code (byte 0) or by prefix.
    // Of the faults whose prefix matches, the most specific applies (of equally
    // specific ones the one set last) and counts down; setting a prefix again
    // replaces its fault. count -1: until cleared; 0: nothing is set.
    void refuse(uint8_t code, int count = -1);   // answer AA c0 c1 c2 c3
    void silence(uint8_t code, int count = -1);  // give no answer at all
    void refuse(const PacketPrefix& commands, int count = -1);
    void silence(const PacketPrefix& commands, int count = -1);
    void clearFaults();
    // After n more commands the controller goes away: every transfer fails NotFound.
    // clearFaults cancels a pending countdown but does not bring a gone controller back.
    void disconnectAfter(int commands);
    // A controller that went away answers again (the same state, as after a replug).
    void reconnect();
    // The n-th command from now (1 = the next) is refused (or silenced) once.
    void faultAt(int n, bool silence);
    // An HID output report reached the firmware (the boot loader takes it as block data).
    void outputReport(const uint8_t* bytes, size_t len);
    // The firmware asked to leave the bus and come back (boot loader entry or exit);
    // cleared by the call.
    bool takeReenumerate();
    bool connected() const;

    // The firmware itself: one command in, one reply or silence out. Records the trace.
    std::optional<Packet> handle(const Packet& command, Link link, uint64_t nowMs);

    // A copy of the trace, taken under the bench lock, so a test thread may read it
    // while a PtyServer thread still hands commands to the firmware.
    std::vector<TraceEntry> trace() const;
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
    // Identity text of the HID device itself (an I2C controller's is e.g. "QVTS2E7B3508:00").
    std::string name{};
    uint16_t vendorId = 0x2E7B;
    uint16_t productId = 0x6020;
    bool hasParent = true;         // false: no USB parent device (e.g. an I2C controller)
    std::string parentInstanceId{};  // USB parent's instance id, e.g. "USB\\VID_2E7B&PID_6020\\5&1A2B3C&0&1"
    bool hasManufacturer = true;   // false: the parent's manufacturer text cannot be read
    // The USB parent's manufacturer text. Hosts skip a parent whose text contains
    // "Quorvane" (the maker's own composite device), so the default is another maker's.
    std::string manufacturer = "Acme Touch";
    // Bytes of the longest input report plus one for the report id, as a host reads
    // it from the report capabilities; -1: the capabilities cannot be read.
    int inputReportLength = 64;
    // Bytes of the longest output report plus one for the report id, as a host reads
    // it from the report capabilities; a longer output report is refused with
    // InvalidParameter. -1: the capabilities cannot be read (and the device takes any length).
    int outputReportLength = 65;
    uint8_t reportId = 0;          // the feature/output report id the device accepts
    // Input reports: whether they carry a report-id byte, and which id touch reports
    // use; whether the descriptor has a touch-screen collection (usage page 0x0D,
    // usage 0x04) and a feature report (the command interface).
    bool inputReportIds = true;
    uint8_t touchReportId = 1;
    bool touchScreen = true;
    bool featureReport = true;
    // A host's open of the device fails with this kind (e.g. Other for a device node
    // the host has no permission for); None: it opens.
    XferError openError = XferError::None;
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

    // Input reports the device sends, as a host's read returns them: with the
    // report-id byte in front when the device uses report ids, else without.
    void queueInput(std::vector<uint8_t> report);
    // One touch packet {status, x, y} in the device's own report form: a report of
    // inputReportLength bytes (one less without report ids), the packet after the
    // id byte; product 0x3508 reports carry the force at offset 11.
    void queueTouch(uint8_t status, uint16_t x, uint16_t y, std::optional<uint16_t> force = std::nullopt);
    // The oldest queued input report; false when none is queued or the device is gone.
    bool takeInput(std::vector<uint8_t>* report);
    size_t queuedInput() const;

private:
    friend class Bench;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

struct DriverInfo {
    // The device name a host opens: the kind's template with the index 0..15,
    // e.g. \\.\QVUVCXM_API0 (kind 0; "\\\\.\\QVUVCXM_API0" in C++ source), \\.\QVSMelk_API3 (kind 4).
    std::string path;
    int kind = 0;          // 0..4, the driver device kind
    int ioctlPair = 0;     // 0: 0x223D48/0x223D4C, 1: 0x223D88/0x223D8C
    uint32_t baudRate = 115200;  // answered to 0x223CB4
    // 0x223DFC: the 4-byte input names a contact id; the answer is that contact's
    // sample rate (contactSampleRates), or sampleRate for a contact without one.
    uint32_t sampleRate = 100;
    std::map<uint32_t, uint32_t> contactSampleRates;

    // Answers the driver gives a host that enumerates its devices (4-byte little-endian outputs):
    // 0x223CA8 device code, (code >> 16) / 1000 names the family; nullopt: derived from kind
    //          (kind 4 -> 9000 << 16, kinds 1 and 3 -> 6000 << 16, else 1000 << 16).
    std::optional<uint32_t> deviceCode;
    // 0x223C00 answers driverVersion / 100, 0x223C04 driverVersion % 100. nullopt: 204 when the
    // device uses pair 1 on kinds 0..2 (a host switches to the second pair above 203), else 203.
    std::optional<uint32_t> driverVersion;
    uint32_t portIndex = 0;      // 0x223C40: the driver's port index
    // Controls this driver fails with InvalidParameter although it would answer them,
    // e.g. {0x223CA8} for a device whose code cannot be read, {0x223C04} for a half-read version.
    std::vector<uint32_t> failingIoctls;
    // A read of another length than 5 with no bulk transfer armed returns that many zero
    // bytes (the driver supports bulk reads); false: such a read fails InvalidParameter.
    bool bulkReads = true;
    // A host's open of the device name fails with this kind; None: it opens.
    XferError openError = XferError::None;
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

    // The notify control 0x223C48 (4-byte output: the event code in its low byte):
    // a host's wait stays pending until a code is pushed; a code pushed before the
    // wait completes it at once. failNotify: the next wait fails with kind.
    static constexpr uint32_t kIoctlNotify = 0x223C48;
    void pushNotify(uint32_t code);
    void failNotify(XferError kind);
    // What a waiting host gets now: None with *code when a code is there, None with
    // no code while the wait stays pending, else the failure (a removed device:
    // NotFound; another code or a short buffer: InvalidParameter).
    XferError takeNotify(uint32_t ioctlCode, size_t outLen, std::optional<uint32_t>* code);

private:
    friend class Bench;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

struct SerialInfo {
    std::string path;        // e.g. "/sim/ttyS3"
    uint32_t baud = 115200;  // the controller's line speed; other host speeds get silence
    // Nothing is attached to the port: it opens and takes bytes, and never answers.
    bool empty = false;
    // A host's open of the port fails with this kind; None: it opens.
    XferError openError = XferError::None;
};

// A device plugged into or pulled out of a bench.
struct DeviceEvent {
    bool arrival = true;
    Link link = Link::Hid;
    std::string path;
    HidInfo hid;  // link == Hid: the device's description
};

using DeviceWatcher = std::function<void(const DeviceEvent&)>;

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

    // Line faults, each for the next count replies:
    // a late duplicate: the reply goes out at once and a second copy of it goes out
    // again when the next command frame has arrived, just ahead of that command's own
    // reply (as a frame a line delivers twice, the copy late);
    void duplicateLate(int count = 1);
    // line noise: the reply's last data byte arrives with its bits inverted while the
    // check byte is the one of the true reply (Melk frames, which carry no check
    // byte, arrive corrupted all the same).
    void corruptReplies(int count = 1);
    // a slow line: the reply arrives in two parts, its first three bytes at once
    // and the rest after the host's next read;
    void splitReplies(int count = 1);
    // a lost byte: the reply's last byte (its check byte) never arrives.
    void dropLastByte(int count = 1);

    // Unsolicited bytes from the controller (touch packets, line garbage).
    void queueOutput(const uint8_t* data, size_t len);
    // One touch packet in the series' form: current and Ostra 5 bytes and the
    // complement of their sum; Melk 5 bytes, status 0xF0 | id (down) or 0xB0 | id
    // (up), coordinates as 7-bit pairs (high, low).
    void queueTouch(uint8_t status, uint16_t x, uint16_t y);
    // The host's line speed and RTS line. The controller sends its plug-and-play
    // identifier when the host runs the line at 1200 baud and drops RTS, whatever
    // the controller's own speed.
    void setHostLines(uint32_t baud, bool rts);
    // The plug-and-play identifier as the 7-bit text ("(01QRV6000)"); sent with bit 7
    // set on each byte. Empty: the controller sends none. By default Ostra and Melk
    // controllers have one ("9000" for Melk), current ones none.
    void setPnpIdentifier(std::string text);
    std::string pnpIdentifier() const;
    // Queues the identifier now (a pty has no RTS line: its server sends it at the
    // switch to 1200 baud).
    void sendPnpIdentifier();

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

    // A serial port with nothing attached (SerialInfo::empty): opens, takes bytes, never answers.
    SerialDevice& addEmptySerialPort(const std::string& path);

    // Unplug / plug a device at run time (a removed device fails every transfer NotFound).
    // Adding a device to a taken path first removes the device there.
    bool remove(const std::string& path);
    // Plugs the device last removed from path back in: the same controller and
    // description on a fresh link (handles to the old one stay dead). false when
    // nothing was removed there or the path is taken again.
    bool replug(const std::string& path);
    // The host lists the devices (the platform layer calls this before each listing):
    // re-enumerating controllers whose arrival is due now (ControllerProfile::
    // reenumeration) are plugged back in first. How many listings there were.
    void enumerated();
    uint64_t enumerations() const;

    // Arrivals (add*, replug) and removals (remove, replacement by add*) go to every
    // watcher in plug order, on the plugging thread before the call returns, without
    // the bench lock held by the bench (a watcher may call into the bench). While
    // another thread delivers, a plugging thread waits for its events to be handed out.
    // A watcher that plugs gets that event after its own call returns.
    uint64_t watch(DeviceWatcher watcher);
    // After it returns the watcher is not running (unless it is the caller) and is never called again.
    void unwatch(uint64_t token);

    // The settings store (the driver's service keys): values of type string or DWORD
    // under a key. Key and value names compare case-insensitively.
    using Setting = std::variant<std::string, uint32_t>;
    void setSettingString(const std::string& key, const std::string& value, const std::string& text);
    void setSettingDword(const std::string& key, const std::string& value, uint32_t n);
    void removeSetting(const std::string& key, const std::string& value);
    // nullopt: no such key or value.
    std::optional<Setting> setting(const std::string& key, const std::string& value) const;

    // The bench lock: held by every transfer; tests may hold it to inspect state.
    std::recursive_mutex& mutex();

    // Input activity: bumped whenever a device queues something for a host without
    // being asked (an input report, unsolicited serial bytes, a driver notify code)
    // and whenever a device is plugged or pulled, so a waiting host wakes up.
    struct Activity {
        std::mutex mutex;
        std::condition_variable cv;
        uint64_t seq = 0;
        void bump() {
            std::lock_guard l(mutex);
            ++seq;
            cv.notify_all();
        }
    };
    std::shared_ptr<Activity> activity();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Builds a bench from a profile: a built-in name (builtinProfileNames(): "demo",
// "demo-boot", "two-controllers", and "current", "boot", "driver", "serial",
// "ostra", "melk", "multi", "full", "full125", "update" (full with a boot loader), "diag", "diag-old" for tests) or the path of a profile file. nullptr and
// *error on failure.
std::shared_ptr<Bench> loadProfile(const std::string& nameOrPath, std::string* error);
std::vector<std::string> builtinProfileNames();
// The same from the text of a profile file; `source` names it in error texts
// ("<source>:<line>: ...").
std::shared_ptr<Bench> parseProfileText(const std::string& text, const std::string& source, std::string* error);
// Sets one key on a running controller, as a line "key = value" of a profile
// file's [controller] section would have set it (the same names, any case, and
// the same value syntax): setControllerKey(c, "featureF4", "0x82 0 0 0"). A key
// that adds an entry in a file (item, slave, panelSize, ...) adds one here too;
// bulkData replaces the bulk bytes; reg sets the word. link, path and the keys
// of one link (name, productId, baud, ...) describe the device and cannot be
// set. false with *error ("featureF4: expected 4 bytes, got 3"), and the
// controller unchanged, for an unknown key or a bad value.
bool setControllerKey(Controller& controller, const std::string& key, const std::string& value,
                      std::string* error);
// The state setters of a device at path, beside the controller's keys:
//   touch  STATUS X Y [FORCE]  one touch packet queued in the device's own form
//                              (HID report, serial packet; a driver device takes
//                              the status as its notify code)
//   input  BYTES               one raw input report (HID) or raw bytes (serial), hex
//   notify CODE                a driver notify code
//   pnp    TEXT | none         the serial plug-and-play identifier (7-bit text)
// Numbers are decimal or 0x-hex. *handled false: key is none of these (the value
// is for setControllerKey). false with *error for a bad value or a key the
// device's link has not.
bool setDeviceKey(Bench& bench, const std::string& path, const std::string& key, const std::string& value,
                  bool* handled, std::string* error);

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
