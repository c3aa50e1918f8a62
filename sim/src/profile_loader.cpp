// Benches from built-in profiles and from profile files.
//
// Profile file format
// -------------------
// A text file of lines. Blank lines and lines whose first non-blank character
// is '#' or ';' are ignored. Keys and section names are case-insensitive;
// values are trimmed. Numbers are decimal or hexadecimal with a 0x prefix.
// Byte lists are exactly four numbers separated by blanks or commas
// ("0x82 0 0 0"). "none" is accepted where a reply may be refused.
//
//   [bench]                       optional, at most once
//   latencyMs = 0                 virtual ms every transfer costs
//
//   [controller]                  one section per device
//   link = hid | driver | serial  required
//   path = /sim/hidraw0           required, unique in the file
//   series = current | ostra | melk   (or 0, 1, 2)
//   identity = 6020               identity number (may carry bit 15: 0x8000 | n)
//   letter, major, minor, customer          identity and version bytes
//   boot = 0 | 1                  the boot loader runs
//   bootVersion = 0x12 | none     EE AA answer (none: refused)
//   featureF4 = b b b b           E0 00 F4 reply bytes 1..4
//   featureFC = b b b b           E0 00 FC reply bytes 1..4
//   stateF0 = b b b b             E0 00 F0 reply bytes 1..4
//   bridge = b b b b              E9 reply bytes 1..4
//   fastTiming = 0 | 1            E7 answers 00 55
//   configWords, sfrSize, dataRamSize   E7 B0 / A0 / 90 answers: the configuration word
//                                 count (default 3), SFR and data-RAM bytes (0x20, 0x40)
//   customerBytes = b b b b       EB (Ostra: E7) reply bytes 1..4
//   paraVersion = 152             item protocol version (0: absent)
//   slaveCount, dualBootState     EF bytes 1 and 4
//   slave = ID LETTER MAJOR MINOR [boot]   a slave IC (repeatable, slave 1 first)
//   slaveIcInfo = 0x20            EF byte 3 of the last slave while it is selected
//   selectedSlaveAnswers = 1      a selected slave answers EE/ED/EB 00 00 and EF as itself
//   slaveSelectNeedsQuiet = 1     F4 00 k .. 01 refused while scanning outside diagnostic mode
//   bootLoader = new | old | off  the master's boot loader and flash (slaveBootLoader: the last slave's)
//   bootWordChecksum, bootReenumerate, bootHideMark = 0 | 1   D9 word sum; leave the bus on
//                                 boot entry/exit; ED never shows 55 AA
//   bootFormats = f f ..          D9 AA formats accepted
//   bootImage = MAJ MIN CUST A B | none   what a whole flash runs, whatever it holds (slaveBootImage);
//                                 none: what the flashed program's leading image header names
//   bootD1Fail = BLOCK COUNT      D1 of the block fails COUNT times (-1 always)
//   bootExit = back | silent | never   after the loader left: answers, silence, gone
//   bootPacketSize = N | none     D3 answer
//   bootEntryNeedsQuiet = 0 | 1   the FF entry while scanning gets AA BB CC DD EE
//   bootProductId = 0x0B00 | none the USB product id while the master's loader runs
//   bootLoaderVersion = 9         EB reply byte 1 (customerBytes byte 1)
//   imageNeedsOldBoot = 0 | 1     E0 00 FF 00 00 byte 1 = 0x80 (the old loader is needed) or 0
//   dualBoot = off | first | second   EF byte 4 = 0x00, 0xAA, 0xBB
//   capability = b b b b | none   F9 FF reply bytes 1..4
//   reportLength = 8 | none       FA reply length
//   scanMode, rows, columns, extraColumns
//   d2Reply = b b b b             D2 reply bytes 1..4
//   f3UpdateLock = 0 | 1          F3 00 07 answered (0: refused, host uses F7)
//   saveBaseBusyMs = 0            busy time after saving the base
//   buildPolls = 0                status reads a reference build stays busy (bit 8)
//   saveStatus = 0x201            status bits a save leaves (0: it clears bit 0)
//   modeInvalid = b b b b         E4 00 00 00 01 reply bytes 1..4
//   noiseLevel = M LEVEL          F5 00 05 reply byte 1 + M: the noise level of mode M
//                                 (0..3; repeatable, one per mode)
//   reg = BANK ADDR b b b b       a register word (repeatable)
//   bulkData = b b ...            bytes served after FA 00 55 (any count)
//   item = G N MAX VALUE [SECOND] an item of the item protocol (repeatable)
//   wordItem = G N MAX VALUE      a 16-bit item (numbers up to 0xFFFF, repeatable)
//   groupInfo = G CODE B3 B4      F6 G CODE answer bytes 3 and 4 (repeatable)
//   panelText = b b ...           the panel text (at most 18 bytes)
//   panelSize = NAME IN TF W H    a panel-size table entry (repeatable, in order): name
//                                 (at most 8 characters), inches (0x15 = 15), tenths and
//                                 flags byte, width and height of the key area in 0.1 mm
//                                 (3440: 344.0 mm)
//   coverLens = T TO M MARK       a cover-lens table entry (repeatable): thickness, upper
//                                 thickness (0xFF: none), material ('G' = 0x47), mark
//   vbuttonEntrySize = 12         bytes of a virtual-button entry (at most 12)
//   vbutton = b b ... (12 bytes)  one virtual-button entry (repeatable, in order)
//   vbuttonCrc = 0x1234 | none    F6 0F 03 answer (none: the CRC of the table)
//   itemDefault = G N VALUE       the firmware default of item (G, N) (repeatable)
//   flushDone = 1                 F6 00 90 answer byte 4
//   halt = finger | water | none  the event halt the panel gave (F6 0E 50 byte 3 while
//                                 the switch F6 0E 90 is on; group 14 items needed)
//   reenumerateOnReset = 0 | 1    a HID controller unplugs and replugs after answering FE
//   reenumerateArrival = now | delay MS | enumerations K | never   when a re-enumerating
//                                 controller arrives again: at once, at the first host
//                                 listing MS virtual ms on, at the K-th listing, never
//   forceTouch = INFO ROWS COLUMNS INFO2   the force-touch table's shape (F8 answered)
//   forceValue = I V              force-touch value at index I (16 r + 17 + k)
//
//   The sensor (any of these keys gives the controller one when it has none):
//   sensor = on | off             a sensor with the defaults / none (scan commands refused)
//   seed, baseLevel, offsetSpan, noise, progressTotal, scanMs    its numbers
//   patternLevel = L1 [L2 [L3]]   the level under test patterns 1, 2, 3
//   openColumn = C LEVEL [SCOPE]  column C reads LEVEL (repeatable, like the faults below)
//   openRow = R LEVEL [SCOPE]     row R reads LEVEL
//   node = R C VALUE [SCOPE]      node (R, C) reads VALUE
//   noisyNode = R C AMP [SCOPE]   node (R, C) gets extra noise in [-AMP, AMP]
//   bump = R C DELTA [SCOPE]      node (R, C) reads DELTA more (DELTA may be negative)
//   frozen = SCOPE                every scan repeats scan 1
//   frequencyNoise = V AMP        the raw noise amplitude while frequency V is selected
//                                 (repeatable, one per frequency; not removed by sensorFaults)
//   sensorFaults = none           removes every fault above
//   SCOPE: raw, pattern1..pattern3, baseline, mode0..mode3 or all (the default)
//   scanCaps = 0x2000 | none      F3 00 0F answer (none: refused)
//   frequencyModes = M F EXTRA | none   F5 00 04 answer (none: F5 refused)
//   frequency = v                 F5 00 0F answer byte 4
//   settleBusyPolls = n           the noise test's settle polls (F6 07 90 AA 01) answered busy
//   settleValues = V1 [V2 ...]    its settle readings (F6 07 90 AA 03), the last repeating
//   settle = on | off             off: both answer F6 07 FF (no settle in this firmware)
//   srVersion = 102               system-reference version (E4 00 bytes 1, 2 = 2, 1)
//   interfaceCheck = v | none     FB 00 00 00 00 answer byte 4 (none: refused)
//   resolutionShift = v | none    Ostra FF 00 00 00 00 answer byte 4 (none: the echo)
//   readyAfterPolls = n | none    E0 00 F7 byte 1 bit 0 set from read n + 1 on (none: the register word)
//
//   link = hid only:    name, vendorId, productId, hasParent, parentInstanceId,
//                       hasManufacturer, manufacturer, inputReportLength (-1 | none:
//                       capabilities cannot be read), reportId, inputReportIds,
//                       touchReportId, touchScreen, featureReport
//   link = driver only: kind, ioctlPair, baudRate, sampleRate (RATE, or ID RATE
//                       for one contact; repeatable), deviceCode,
//                       driverVersion, portIndex (each of these three: a number, or
//                       none: the I/O control fails), bulkReads
//                       (path is the device name, e.g. \\.\QVUVCXM_API0)
//   link = serial only: baud
//
//   [port]                        a serial port with nothing attached (opens, never answers)
//   path = /sim/ttyS4             required, unique in the file
//
//   [setting]                     one value of the settings store per section
//   key = SYSTEM\CurrentControlSet\Services\qvhidusb\Parameters     required
//   name = 0                      the value's name, required
//   string = USB\VID_2E7B&PID_6020&0001#KEY#   or:   dword = 2     exactly one of them
//   (key and name compare case-insensitively; the text is taken as written, trimmed)
//
// Every error names the file and line: "<file>:<line>: <what is wrong>".
//
// The [controller] keys other than link, path and the link-only ones also set a
// running controller, with the same value syntax (setControllerKey, the
// control socket's `set`; see runtimeKeys()).

#include "qvsim.h"
#include "qvsim_parse.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace qvsim {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The words of a value: numbers and bytes are separated by blanks or commas.
std::vector<std::string> tokens(const std::string& text) { return splitWords(text, true); }

// A parse failure: the message without file and line.
struct BadValue {
    std::string what;
};

uint64_t number(const std::string& v, uint64_t max) {
    auto n = parseNumber(trim(v));
    if (!n) throw BadValue{"'" + v + "' is not a number"};
    if (*n > max) throw BadValue{"'" + v + "' is out of range (at most " + std::to_string(max) + ")"};
    return *n;
}

uint8_t byte(const std::string& v) { return uint8_t(number(v, 0xFF)); }
uint16_t u16(const std::string& v) { return uint16_t(number(v, 0xFFFF)); }
uint32_t u32(const std::string& v) { return uint32_t(number(v, 0xFFFFFFFF)); }
bool flag(const std::string& v) {
    std::string l = lower(v);
    if (l == "1" || l == "true" || l == "yes" || l == "on") return true;
    if (l == "0" || l == "false" || l == "no" || l == "off") return false;
    throw BadValue{"'" + v + "' is not 0 or 1"};
}
bool isNone(const std::string& v) { return lower(v) == "none"; }
// A number with an optional leading '-', at most max either way.
int32_t signedNumber(const std::string& v, uint32_t max) {
    const std::string t = trim(v);
    if (!t.empty() && t[0] == '-') return -int32_t(number(t.substr(1), max));
    return int32_t(number(t, max));
}

std::vector<uint8_t> byteList(const std::string& v) {
    std::vector<uint8_t> out;
    for (auto& t : tokens(v)) out.push_back(byte(t));
    return out;
}
std::array<uint8_t, 4> four(const std::string& v) {
    auto b = byteList(v);
    if (b.size() != 4) throw BadValue{"expected 4 bytes, got " + std::to_string(b.size())};
    return {b[0], b[1], b[2], b[3]};
}

Series series(const std::string& v) {
    std::string l = lower(v);
    if (l == "current" || l == "0") return Series::Current;
    if (l == "ostra" || l == "1") return Series::Ostra;
    if (l == "melk" || l == "2") return Series::Melk;
    throw BadValue{"unknown series '" + v + "' (current, ostra, melk)"};
}

Link link(const std::string& v) {
    std::string l = lower(v);
    if (l == "hid") return Link::Hid;
    if (l == "driver") return Link::Driver;
    if (l == "serial") return Link::Serial;
    throw BadValue{"unknown link '" + v + "' (hid, driver, serial)"};
}

// A panel-size table entry; the name is cut to 8 characters.
PanelSizeEntry panelSize(const std::string& name, uint8_t inches, uint8_t tenthsAndFlags, uint16_t width,
                         uint16_t height) {
    PanelSizeEntry e;
    std::copy_n(name.begin(), std::min(name.size(), e.name.size()), e.name.begin());
    e.inches = inches;
    e.tenthsAndFlags = tenthsAndFlags;
    e.dimension = {uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8)};
    return e;
}

// The driver's enumeration I/O controls, for "none" answers.
constexpr uint32_t kIoctlDeviceCode = 0x223CA8;
constexpr uint32_t kIoctlVersionMajor = 0x223C00;
constexpr uint32_t kIoctlVersionMinor = 0x223C04;
constexpr uint32_t kIoctlPortIndex = 0x223C40;

struct RegWord {
    uint8_t bank, addr;
    std::array<uint8_t, 4> value;
};

// One [controller] section as read so far.
struct DeviceSpec {
    int line = 0;  // of the section header
    std::optional<Link> link;
    std::string path;
    ControllerProfile profile;
    std::vector<RegWord> regs;
    std::vector<uint8_t> bulkData;
    HidInfo hid;
    DriverInfo driver;
    SerialInfo serial;
    // Link-specific keys seen, with their line, checked once the link is known.
    std::vector<std::pair<Link, std::pair<std::string, int>>> linkKeys;
    bool emptyPort = false;  // a [port] section
};

// "new", "old" or "off": a chip's boot loader kind (a loader kept keeps its flash).
std::optional<BootFlash> bootLoader(const std::string& v, std::optional<BootFlash> now) {
    const std::string l = lower(v);
    if (l == "off" || l == "none") return std::nullopt;
    if (l != "new" && l != "old") throw BadValue{"expected new, old or off"};
    BootFlash b = now ? *now : BootFlash{};
    b.oldLoader = l == "old";
    return b;
}
BootFlash& masterBoot(DeviceSpec& d) {
    if (!d.profile.boot) throw BadValue{"no boot loader (set bootLoader first)"};
    return *d.profile.boot;
}
// MAJOR MINOR CUSTOMER BUILDA BUILDB, or none.
std::optional<FirmwareIdentity> bootImage(const std::string& v) {
    if (isNone(v)) return std::nullopt;
    auto b = byteList(v);
    if (b.size() != 5) throw BadValue{"expected MAJOR MINOR CUSTOMER BUILDA BUILDB"};
    return FirmwareIdentity{b[0], b[1], b[2], b[3], b[4]};
}

// One [setting] section.
struct SettingSpec {
    int line = 0;
    std::string key, name;
    std::optional<std::string> text;
    std::optional<uint32_t> dword;
};

using Setter = std::function<void(DeviceSpec&, const std::string&)>;

// The sensor of a section, made with the defaults when it has none yet.
SensorProfile& sensorOf(DeviceSpec& d) {
    if (!d.profile.sensor) d.profile.sensor = SensorProfile{};
    return *d.profile.sensor;
}

SensorScope sensorScope(const std::string& v) {
    static const std::pair<const char*, SensorScope> names[] = {
        {"all", SensorScope::All},           {"raw", SensorScope::Raw},           {"pattern1", SensorScope::Pattern1},
        {"pattern2", SensorScope::Pattern2}, {"pattern3", SensorScope::Pattern3}, {"baseline", SensorScope::Baseline},
        {"mode0", SensorScope::Mode0},       {"mode1", SensorScope::Mode1},       {"mode2", SensorScope::Mode2},
        {"mode3", SensorScope::Mode3}};
    for (const auto& [name, scope] : names)
        if (lower(v) == name) return scope;
    throw BadValue{"unknown scope '" + v + "' (raw, pattern1..pattern3, baseline, mode0..mode3, all)"};
}

// A fault key's setter: `positions` numbers (row, column or both), the value
// (signed when `negative`), an optional scope.
Setter sensorFault(SensorFault::Kind kind, const char* syntax, bool row, bool column, bool negative) {
    return [=](DeviceSpec& d, const std::string& v) {
        const auto t = tokens(v);
        const size_t fixed = size_t(row) + size_t(column) + 1;
        if (t.size() != fixed && t.size() != fixed + 1) throw BadValue{std::string("expected ") + syntax};
        SensorFault f;
        f.kind = kind;
        size_t i = 0;
        if (row) f.row = byte(t[i++]);
        if (column) f.column = byte(t[i++]);
        f.value = negative ? signedNumber(t[i++], 0xFFFF) : int32_t(u16(t[i++]));
        if (i < t.size()) f.scope = sensorScope(t[i]);
        sensorOf(d).faults.push_back(f);
    };
}

const std::map<std::string, Setter>& commonKeys() {
    static const std::map<std::string, Setter> keys = {
        {"link", [](DeviceSpec& d, const std::string& v) { d.link = link(v); }},
        {"path", [](DeviceSpec& d, const std::string& v) {
             if (v.empty()) throw BadValue{"empty path"};
             d.path = v;
         }},
        {"series", [](DeviceSpec& d, const std::string& v) { d.profile.series = series(v); }},
        {"identity", [](DeviceSpec& d, const std::string& v) { d.profile.identityNumber = u16(v); }},
        {"letter", [](DeviceSpec& d, const std::string& v) { d.profile.letter = byte(v); }},
        {"major", [](DeviceSpec& d, const std::string& v) { d.profile.major = byte(v); }},
        {"minor", [](DeviceSpec& d, const std::string& v) { d.profile.minor = byte(v); }},
        {"customer", [](DeviceSpec& d, const std::string& v) { d.profile.customer = byte(v); }},
        {"boot", [](DeviceSpec& d, const std::string& v) { d.profile.inBoot = flag(v); }},
        {"bootversion", [](DeviceSpec& d, const std::string& v) {
             d.profile.bootVersion = isNone(v) ? std::nullopt : std::optional<uint8_t>(byte(v));
         }},
        {"featuref4", [](DeviceSpec& d, const std::string& v) { d.profile.featureF4 = four(v); }},
        {"featurefc", [](DeviceSpec& d, const std::string& v) { d.profile.featureFC = four(v); }},
        {"statef0", [](DeviceSpec& d, const std::string& v) { d.profile.stateF0 = four(v); }},
        {"bridge", [](DeviceSpec& d, const std::string& v) { d.profile.bridge = four(v); }},
        {"fasttiming", [](DeviceSpec& d, const std::string& v) { d.profile.fastTiming = flag(v); }},
        {"configwords", [](DeviceSpec& d, const std::string& v) { d.profile.configWords = uint32_t(number(v, 0xFFFFFF)); }},
        {"sfrsize", [](DeviceSpec& d, const std::string& v) { d.profile.sfrSize = uint32_t(number(v, 0xFFFFFF)); }},
        {"dataramsize", [](DeviceSpec& d, const std::string& v) { d.profile.dataRamSize = uint32_t(number(v, 0xFFFFFF)); }},
        {"customerbytes", [](DeviceSpec& d, const std::string& v) { d.profile.customerBytes = four(v); }},
        {"paraversion", [](DeviceSpec& d, const std::string& v) {
             // The version travels as two bytes v / 100 and v % 100.
             d.profile.paraVersion = uint16_t(number(v, 255 * 100 + 99));
         }},
        {"slavecount", [](DeviceSpec& d, const std::string& v) { d.profile.slaveCount = byte(v); }},
        {"slave", [](DeviceSpec& d, const std::string& v) {
             // IDENTITY LETTER MAJOR MINOR [boot]
             auto t = tokens(v);
             if (t.size() != 4 && !(t.size() == 5 && lower(t[4]) == "boot"))
                 throw BadValue{"expected IDENTITY LETTER MAJOR MINOR [boot]"};
             if (d.profile.slaves.size() >= 4) throw BadValue{"at most 4 slaves"};
             SlaveProfile sp;
             sp.identityNumber = uint16_t(number(t[0], 0xFFFF));
             sp.letter = byte(t[1]);
             sp.major = byte(t[2]);
             sp.minor = byte(t[3]);
             sp.inBoot = t.size() == 5;
             d.profile.slaves.push_back(sp);
         }},
        {"slaveicinfo", [](DeviceSpec& d, const std::string& v) {
             if (d.profile.slaves.empty()) throw BadValue{"no slave yet"};
             d.profile.slaves.back().icInfo = byte(v);
         }},
        {"slaveselectneedsquiet", [](DeviceSpec& d, const std::string& v) { d.profile.slaveSelectNeedsQuiet = flag(v); }},
        {"selectedslaveanswers", [](DeviceSpec& d, const std::string& v) { d.profile.selectedSlaveAnswers = flag(v); }},
        {"dualbootstate", [](DeviceSpec& d, const std::string& v) { d.profile.dualBootState = byte(v); }},
        // The boot loaders and flash (sim/src/boot_loader.cpp): "bootLoader = new | old | off"
        // for the master, "slaveBootLoader" for the last slave; the other boot keys act on
        // the master's loader (set bootLoader first).
        {"bootloader", [](DeviceSpec& d, const std::string& v) { d.profile.boot = bootLoader(v, d.profile.boot); }},
        {"slavebootloader", [](DeviceSpec& d, const std::string& v) {
             if (d.profile.slaves.empty()) throw BadValue{"no slave yet"};
             d.profile.slaves.back().boot = bootLoader(v, d.profile.slaves.back().boot);
         }},
        {"bootwordchecksum", [](DeviceSpec& d, const std::string& v) { masterBoot(d).wordChecksum = flag(v); }},
        {"bootreenumerate", [](DeviceSpec& d, const std::string& v) { masterBoot(d).reenumerateOnBoot = flag(v); }},
        {"boothidemark", [](DeviceSpec& d, const std::string& v) { masterBoot(d).hideBootMark = flag(v); }},
        {"bootexit", [](DeviceSpec& d, const std::string& v) {
             const std::string l = lower(v);
             if (l == "back") masterBoot(d).exit = BootFlash::Exit::Back;
             else if (l == "silent") masterBoot(d).exit = BootFlash::Exit::Silent;
             else if (l == "never") masterBoot(d).exit = BootFlash::Exit::Never;
             else throw BadValue{"expected back, silent or never"};
         }},
        {"bootformats", [](DeviceSpec& d, const std::string& v) { masterBoot(d).formats = byteList(v); }},
        {"bootimage", [](DeviceSpec& d, const std::string& v) { masterBoot(d).image = bootImage(v); }},
        {"slavebootimage", [](DeviceSpec& d, const std::string& v) {
             if (d.profile.slaves.empty() || !d.profile.slaves.back().boot) throw BadValue{"no slave boot loader yet"};
             d.profile.slaves.back().boot->image = bootImage(v);
         }},
        {"bootd1fail", [](DeviceSpec& d, const std::string& v) {
             // BLOCK COUNT: D1 of the block fails COUNT times (-1: always, 0: clears).
             auto t = tokens(v);
             if (t.size() != 2) throw BadValue{"expected BLOCK COUNT"};
             const int count = t[1] == "-1" ? -1 : int(number(t[1], 1000000));
             masterBoot(d).d1Failures[uint32_t(number(t[0], 0xFFFF))] = count;
         }},
        {"bootentryneedsquiet", [](DeviceSpec& d, const std::string& v) { masterBoot(d).entryNeedsQuiet = flag(v); }},
        {"bootproductid", [](DeviceSpec& d, const std::string& v) {
             masterBoot(d).productId = isNone(v) ? std::nullopt : std::optional<uint16_t>(u16(v));
         }},
        // The loader's version a host reads from EB byte 1 (the first of customerBytes).
        {"bootloaderversion", [](DeviceSpec& d, const std::string& v) { d.profile.customerBytes[0] = byte(v); }},
        // The running image can only be replaced through the old loader: E0 00 FF 00 00
        // byte 1 in 0x80..0x8F (0x80), or not (0x00).
        {"imageneedsoldboot", [](DeviceSpec& d, const std::string& v) { d.profile.stateEx[0] = flag(v) ? 0x80 : 0x00; }},
        // EF byte 4: no dual boot (0), dual boot with the first (0xAA) or the second boot active (0xBB).
        {"dualboot", [](DeviceSpec& d, const std::string& v) {
             const std::string l = lower(v);
             if (l == "off") d.profile.dualBootState = 0x00;
             else if (l == "first") d.profile.dualBootState = 0xAA;
             else if (l == "second") d.profile.dualBootState = 0xBB;
             else throw BadValue{"expected off, first or second"};
         }},
        {"bootpacketsize", [](DeviceSpec& d, const std::string& v) {
             d.profile.bootPacketSize = isNone(v) ? std::nullopt : std::optional<uint16_t>(u16(v));
         }},
        {"capability", [](DeviceSpec& d, const std::string& v) {
             d.profile.capability = isNone(v) ? std::nullopt : std::optional(four(v));
         }},
        {"reportlength", [](DeviceSpec& d, const std::string& v) {
             d.profile.reportLength = isNone(v) ? std::nullopt : std::optional<uint16_t>(u16(v));
         }},
        {"scanmode", [](DeviceSpec& d, const std::string& v) { d.profile.scanMode = byte(v); }},
        {"rows", [](DeviceSpec& d, const std::string& v) { d.profile.rows = byte(v); }},
        {"columns", [](DeviceSpec& d, const std::string& v) { d.profile.columns = byte(v); }},
        {"extracolumns", [](DeviceSpec& d, const std::string& v) { d.profile.extraColumns = byte(v); }},
        {"d2reply", [](DeviceSpec& d, const std::string& v) { d.profile.d2Reply = four(v); }},
        {"f3updatelock", [](DeviceSpec& d, const std::string& v) { d.profile.f3UpdateLock = flag(v); }},
        {"savebasebusyms", [](DeviceSpec& d, const std::string& v) { d.profile.saveBaseBusyMs = u32(v); }},
        {"buildpolls", [](DeviceSpec& d, const std::string& v) { d.profile.buildPolls = u32(v); }},
        {"savestatus", [](DeviceSpec& d, const std::string& v) { d.profile.saveStatus = u16(v); }},
        {"modeinvalid", [](DeviceSpec& d, const std::string& v) { d.profile.modeInvalid = four(v); }},
        {"noiselevel", [](DeviceSpec& d, const std::string& v) {
             const auto t = tokens(v);
             if (t.size() != 2) throw BadValue{"expected M LEVEL"};
             const uint8_t mode = byte(t[0]), level = byte(t[1]);
             if (mode > 3) throw BadValue{"mode out of range (0..3)"};
             d.profile.noiseLevels[mode] = level;
         }},
        {"reg", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() != 6) throw BadValue{"expected BANK ADDR and 4 bytes, got " + std::to_string(b.size()) + " numbers"};
             d.regs.push_back(RegWord{b[0], b[1], {b[2], b[3], b[4], b[5]}});
         }},
        {"bulkdata", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             d.bulkData.insert(d.bulkData.end(), b.begin(), b.end());
         }},
        {"item", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() != 4 && b.size() != 5) throw BadValue{"expected G N MAX VALUE [SECOND]"};
             if (b[1] > 15) throw BadValue{"item number above 15"};
             d.profile.items[{b[0], b[1]}] = ParamItem{b[2], b[3], uint8_t(b.size() == 5 ? b[4] : 0)};
         }},
        {"worditem", [](DeviceSpec& d, const std::string& v) {
             std::vector<uint16_t> n;
             for (auto& t : tokens(v)) n.push_back(u16(t));
             if (n.size() != 4 || n[0] > 255 || n[1] > 15) throw BadValue{"expected G N MAX VALUE"};
             d.profile.wordItems[{uint8_t(n[0]), uint8_t(n[1])}] = ParamWordItem{n[2], n[3]};
         }},
        {"groupinfo", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() != 4) throw BadValue{"expected G CODE B3 B4"};
             d.profile.groupInfo[{b[0], b[1]}] = {b[2], b[3]};
         }},
        {"paneltext", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() > d.profile.panelText.size()) throw BadValue{"at most 18 bytes"};
             d.profile.panelText.fill(0);
             std::copy(b.begin(), b.end(), d.profile.panelText.begin());
         }},
        {"panelsize", [](DeviceSpec& d, const std::string& v) {
             // NAME (at most 8 characters) INCHES TENTHS_AND_FLAGS WIDTH HEIGHT
             const auto words = splitWords(v);
             const std::string name = words.empty() ? std::string() : words[0];
             auto t = tokens(afterFirstWord(v));
             if (name.empty() || name.size() > 8 || t.size() != 4)
                 throw BadValue{"expected NAME INCHES TENTHS WIDTH HEIGHT"};
             // In order, so the first bad number is the one reported.
             const uint8_t inches = byte(t[0]), tenths = byte(t[1]);
             const uint16_t w = u16(t[2]), h = u16(t[3]);
             d.profile.panelSizes.push_back(panelSize(name, inches, tenths, w, h));
         }},
        {"coverlens", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() != 4) throw BadValue{"expected THICKNESS TO MATERIAL MARK"};
             d.profile.coverLenses.push_back({b[0], b[1], b[2], b[3]});
         }},
        {"vbuttonentrysize", [](DeviceSpec& d, const std::string& v) { d.profile.vbuttonEntrySize = uint8_t(number(v, 12)); }},
        {"vbutton", [](DeviceSpec& d, const std::string& v) {
             auto b = byteList(v);
             if (b.size() != 12) throw BadValue{"expected 12 bytes"};
             if (d.profile.vbuttons.size() >= 16) throw BadValue{"at most 16 entries"};
             std::array<uint8_t, 12> e{};
             std::copy(b.begin(), b.end(), e.begin());
             d.profile.vbuttons.push_back(e);
         }},
        {"vbuttoncrc", [](DeviceSpec& d, const std::string& v) {
             d.profile.vbuttonCrc = isNone(v) ? std::nullopt : std::optional<uint16_t>(u16(v));
         }},
        {"itemdefault", [](DeviceSpec& d, const std::string& v) {
             auto t = tokens(v);
             if (t.size() != 3) throw BadValue{"expected G N VALUE"};
             const uint8_t g = byte(t[0]), n = byte(t[1]);
             if (n > 15) throw BadValue{"items are 0..15"};
             d.profile.itemDefaults[{g, n}] = u16(t[2]);
         }},
        {"flushdone", [](DeviceSpec& d, const std::string& v) { d.profile.flushDone = byte(v); }},
        {"halt", [](DeviceSpec& d, const std::string& v) {
             const std::string l = lower(v);
             if (l == "finger") d.profile.eventHalt = 0x01;
             else if (l == "water") d.profile.eventHalt = 0x02;
             else if (l == "none") d.profile.eventHalt = 0x00;
             else throw BadValue{"expected finger, water or none"};
         }},
        {"reenumerateonreset", [](DeviceSpec& d, const std::string& v) { d.profile.reenumerateOnReset = flag(v); }},
        {"reenumeratearrival", [](DeviceSpec& d, const std::string& v) {
             using Arrival = ControllerProfile::Reenumeration::Arrival;
             const auto t = tokens(v);
             const std::string kind = t.empty() ? std::string() : lower(t[0]);
             ControllerProfile::Reenumeration r;
             if (kind == "now" && t.size() == 1) r.arrival = Arrival::AtOnce;
             else if (kind == "never" && t.size() == 1) r.arrival = Arrival::Never;
             else if (kind == "delay" && t.size() == 2) r = {Arrival::AfterMs, uint32_t(number(t[1], 100000000))};
             else if (kind == "enumerations" && t.size() == 2) r = {Arrival::AfterEnumerations, uint32_t(number(t[1], 1000000))};
             else throw BadValue{"expected now, delay MS, enumerations K or never"};
             d.profile.reenumeration = r;
         }},
        {"forcetouch", [](DeviceSpec& d, const std::string& v) {
             auto b = four(v);
             if (b[1] > 15 || b[2] > 15) throw BadValue{"rows and columns are 0..15"};
             if (!d.profile.forceTouch) d.profile.forceTouch = ForceTouchProfile{};
             d.profile.forceTouch->info = b[0];
             d.profile.forceTouch->rows = b[1];
             d.profile.forceTouch->columns = b[2];
             d.profile.forceTouch->info2 = b[3];
         }},
        {"forcevalue", [](DeviceSpec& d, const std::string& v) {
             auto t = tokens(v);
             if (t.size() != 2) throw BadValue{"expected I V"};
             if (!d.profile.forceTouch) d.profile.forceTouch = ForceTouchProfile{};
             d.profile.forceTouch->values[byte(t[0])] = u16(t[1]);
         }},
        // The sensor model and the panel scan answers.
        {"sensor", [](DeviceSpec& d, const std::string& v) {
             if (flag(v)) sensorOf(d);
             else d.profile.sensor.reset();
         }},
        {"seed", [](DeviceSpec& d, const std::string& v) { sensorOf(d).seed = u32(v); }},
        {"baselevel", [](DeviceSpec& d, const std::string& v) { sensorOf(d).baseLevel = u16(v); }},
        {"offsetspan", [](DeviceSpec& d, const std::string& v) {
             const uint16_t span = u16(v);
             if (span == 0) throw BadValue{"the span is at least 1"};
             sensorOf(d).offsetSpan = span;
         }},
        {"noise", [](DeviceSpec& d, const std::string& v) { sensorOf(d).noise = byte(v); }},
        {"progresstotal", [](DeviceSpec& d, const std::string& v) { sensorOf(d).progressTotal = byte(v); }},
        {"scanms", [](DeviceSpec& d, const std::string& v) { sensorOf(d).scanMs = u32(v); }},
        {"patternlevel", [](DeviceSpec& d, const std::string& v) {
             const auto t = tokens(v);
             if (t.empty() || t.size() > 3) throw BadValue{"expected L1 [L2 [L3]]"};
             std::array<uint16_t, 3> levels = sensorOf(d).patternLevel;
             for (size_t i = 0; i < t.size(); ++i) levels[i] = u16(t[i]);
             sensorOf(d).patternLevel = levels;
         }},
        {"opencolumn", sensorFault(SensorFault::Kind::OpenColumn, "C LEVEL [SCOPE]", false, true, false)},
        {"openrow", sensorFault(SensorFault::Kind::OpenRow, "R LEVEL [SCOPE]", true, false, false)},
        {"node", sensorFault(SensorFault::Kind::Node, "R C VALUE [SCOPE]", true, true, false)},
        {"noisynode", sensorFault(SensorFault::Kind::NoisyNode, "R C AMP [SCOPE]", true, true, false)},
        {"bump", sensorFault(SensorFault::Kind::Bump, "R C DELTA [SCOPE]", true, true, true)},
        {"frozen", [](DeviceSpec& d, const std::string& v) {
             SensorFault f;
             f.kind = SensorFault::Kind::Frozen;
             f.scope = sensorScope(v);
             sensorOf(d).faults.push_back(f);
         }},
        {"frequencynoise", [](DeviceSpec& d, const std::string& v) {
             const auto t = tokens(v);
             if (t.size() != 2) throw BadValue{"expected V AMP"};
             const uint8_t frequency = byte(t[0]), amplitude = byte(t[1]);
             sensorOf(d).frequencyNoise[frequency] = amplitude;
         }},
        {"sensorfaults", [](DeviceSpec& d, const std::string& v) {
             if (!isNone(v)) throw BadValue{"only 'none' (removes every sensor fault)"};
             if (d.profile.sensor) d.profile.sensor->faults.clear();
         }},
        {"scancaps", [](DeviceSpec& d, const std::string& v) {
             d.profile.scanCaps = isNone(v) ? std::nullopt : std::optional<uint16_t>(u16(v));
         }},
        {"frequencymodes", [](DeviceSpec& d, const std::string& v) {
             if (isNone(v)) {
                 d.profile.frequencyModes.reset();
                 return;
             }
             const auto b = byteList(v);
             if (b.size() != 3) throw BadValue{"expected M F EXTRA"};
             d.profile.frequencyModes = std::array<uint8_t, 3>{b[0], b[1], b[2]};
         }},
        {"frequency", [](DeviceSpec& d, const std::string& v) { d.profile.frequency = byte(v); }},
        {"settlebusypolls", [](DeviceSpec& d, const std::string& v) { d.profile.settleBusyPolls = u32(v); }},
        {"settlevalues", [](DeviceSpec& d, const std::string& v) {
             std::vector<uint16_t> values;
             for (const auto& t : tokens(v)) values.push_back(u16(t));
             d.profile.settleValues = values;
             d.profile.settleNext = 0;
         }},
        {"settle", [](DeviceSpec& d, const std::string& v) {
             const std::string s = lower(v);
             if (s != "on" && s != "off") throw BadValue{"expected on | off"};
             d.profile.settleOff = s == "off";
         }},
        {"srversion", [](DeviceSpec& d, const std::string& v) {
             // The version travels as two bytes v % 100 and v / 100.
             d.profile.srVersion = uint16_t(number(v, 255 * 100 + 99));
         }},
        {"resolutionshift", [](DeviceSpec& d, const std::string& v) {
             d.profile.resolutionShift = isNone(v) ? std::nullopt : std::optional<uint8_t>(byte(v));
         }},
        {"interfacecheck", [](DeviceSpec& d, const std::string& v) {
             d.profile.interfaceCheck = isNone(v) ? std::nullopt : std::optional<uint8_t>(byte(v));
         }},
        {"readyafterpolls", [](DeviceSpec& d, const std::string& v) {
             d.profile.readyAfterPolls = isNone(v) ? std::nullopt : std::optional<uint32_t>(number(v, 1000000));
         }},
    };
    return keys;
}

const std::map<std::string, std::pair<Link, Setter>>& linkSpecificKeys() {
    static const std::map<std::string, std::pair<Link, Setter>> keys = {
        {"name", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.name = v; }}},
        {"hasparent", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.hasParent = flag(v); }}},
        {"hasmanufacturer", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.hasManufacturer = flag(v); }}},
        {"vendorid", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.vendorId = u16(v); }}},
        {"productid", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.productId = u16(v); }}},
        {"parentinstanceid", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.parentInstanceId = v; }}},
        {"manufacturer", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.manufacturer = v; }}},
        {"inputreportlength", {Link::Hid, [](DeviceSpec& d, const std::string& v) {
             d.hid.inputReportLength = (isNone(v) || v == "-1") ? -1 : int(u16(v));
         }}},
        {"reportid", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.reportId = byte(v); }}},
        {"inputreportids", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.inputReportIds = flag(v); }}},
        {"touchreportid", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.touchReportId = byte(v); }}},
        {"touchscreen", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.touchScreen = flag(v); }}},
        {"featurereport", {Link::Hid, [](DeviceSpec& d, const std::string& v) { d.hid.featureReport = flag(v); }}},
        {"kind", {Link::Driver, [](DeviceSpec& d, const std::string& v) { d.driver.kind = int(number(v, 4)); }}},
        {"ioctlpair", {Link::Driver, [](DeviceSpec& d, const std::string& v) { d.driver.ioctlPair = int(number(v, 1)); }}},
        {"baudrate", {Link::Driver, [](DeviceSpec& d, const std::string& v) { d.driver.baudRate = u32(v); }}},
        {"samplerate", {Link::Driver, [](DeviceSpec& d, const std::string& v) {
             // RATE (every contact without its own) or ID RATE (that contact's).
             std::istringstream in(v);
             std::string first, second, extra;
             in >> first >> second >> extra;
             if (!extra.empty()) throw BadValue{"sampleRate takes RATE or ID RATE"};
             if (second.empty()) d.driver.sampleRate = u32(first);
             else d.driver.contactSampleRates[u32(first)] = u32(second);
         }}},
        {"devicecode", {Link::Driver, [](DeviceSpec& d, const std::string& v) {
             if (isNone(v)) d.driver.failingIoctls.push_back(kIoctlDeviceCode);
             else d.driver.deviceCode = u32(v);
         }}},
        {"driverversion", {Link::Driver, [](DeviceSpec& d, const std::string& v) {
             if (isNone(v)) d.driver.failingIoctls.insert(d.driver.failingIoctls.end(), {kIoctlVersionMajor, kIoctlVersionMinor});
             else d.driver.driverVersion = u32(v);
         }}},
        {"portindex", {Link::Driver, [](DeviceSpec& d, const std::string& v) {
             if (isNone(v)) d.driver.failingIoctls.push_back(kIoctlPortIndex);
             else d.driver.portIndex = u32(v);
         }}},
        {"bulkreads", {Link::Driver, [](DeviceSpec& d, const std::string& v) { d.driver.bulkReads = flag(v); }}},
        {"baud", {Link::Serial, [](DeviceSpec& d, const std::string& v) {
             uint32_t b = u32(v);
             if (b == 0) throw BadValue{"baud must not be 0"};
             d.serial.baud = b;
         }}},
    };
    return keys;
}

// The keys a running controller takes (setControllerKey, the control socket's
// `set`), by lower-case name. Every controller key of a file is one: its row of
// commonKeys() applied to a copy of the running profile, under the bench lock.
// State that only a running controller has gets a row of its own below, one
// per key: {"name", [](Controller& c, const std::string& value) { ... }}, where
// a bad value throws BadValue.
using RuntimeSetter = std::function<void(Controller&, const std::string&)>;

RuntimeSetter throughProfile(const Setter& setter) {
    return [setter](Controller& c, const std::string& value) {
        c.editProfile([&](ControllerProfile& running) {
            DeviceSpec d;
            d.profile = running;
            setter(d, value);  // a bad value throws before anything changed
            running = std::move(d.profile);
            for (auto& r : d.regs) c.setReg(r.bank, r.addr, r.value);
            if (!d.bulkData.empty()) c.setBulkData(std::move(d.bulkData));
        });
    };
}

const std::map<std::string, RuntimeSetter>& runtimeKeys() {
    static const std::map<std::string, RuntimeSetter> keys = [] {
        std::map<std::string, RuntimeSetter> m;
        for (const auto& [name, setter] : commonKeys())
            if (name != "link" && name != "path") m.emplace(name, throughProfile(setter));
        // Faults of a running controller, beside its profile keys (the fault sweep's):
        // "faultAt = N refuse|silence" the N-th command from now fails once;
        // "disconnectAfter = N" gone after N more commands; "reconnect = 1" back again.
        m.emplace("faultat", [](Controller& c, const std::string& v) {
            auto t = tokens(v);
            if (t.size() != 2 || (lower(t[1]) != "refuse" && lower(t[1]) != "silence"))
                throw BadValue{"expected N refuse|silence"};
            c.faultAt(int(number(t[0], 1000000)), lower(t[1]) == "silence");
        });
        m.emplace("disconnectafter", [](Controller& c, const std::string& v) { c.disconnectAfter(int(number(v, 1000000))); });
        m.emplace("reconnect", [](Controller& c, const std::string& v) {
            if (flag(v)) c.reconnect();
        });
        return m;
    }();
    return keys;
}

const char* linkName(Link l) {
    switch (l) {
        case Link::Hid: return "hid";
        case Link::Driver: return "driver";
        case Link::Serial: return "serial";
    }
    return "?";
}

void build(Bench& bench, DeviceSpec& d) {
    auto c = std::make_shared<Controller>(d.profile);
    for (auto& r : d.regs) c->setReg(r.bank, r.addr, r.value);
    if (!d.bulkData.empty()) c->setBulkData(d.bulkData);
    switch (*d.link) {
        case Link::Hid:
            d.hid.path = d.path;
            bench.addHid(c, d.hid);
            break;
        case Link::Driver:
            d.driver.path = d.path;
            bench.addDriver(c, d.driver);
            break;
        case Link::Serial:
            if (d.emptyPort) {
                bench.addEmptySerialPort(d.path);
                break;
            }
            d.serial.path = d.path;
            bench.addSerial(c, d.serial);
            break;
    }
}

// Reads a profile text; nullptr and *error ("<source>:<line>: ...") on failure.
std::shared_ptr<Bench> parseProfile(std::istream& in, const std::string& source, std::string* error) {
    auto fail = [&](int line, const std::string& what) -> std::shared_ptr<Bench> {
        if (error) *error = source + ":" + std::to_string(line) + ": " + what;
        return nullptr;
    };

    std::vector<DeviceSpec> devices;
    std::vector<SettingSpec> settings;
    std::optional<uint32_t> latency;
    enum class Section { None, Bench, Controller, Port, Setting } section = Section::None;
    bool benchSeen = false;

    // Checks a finished [controller] or [port] section; an error text or empty.
    auto finishDevice = [&](DeviceSpec& d) -> std::pair<int, std::string> {
        const char* header = d.emptyPort ? "[port]" : "[controller]";
        if (!d.link) return {d.line, std::string(header) + " section without 'link'"};
        if (d.path.empty()) return {d.line, std::string(header) + " section without 'path'"};
        for (auto& [l, key] : d.linkKeys)
            if (l != *d.link)
                return {key.second, "'" + key.first + "' does not apply to link " + linkName(*d.link)};
        for (auto& other : devices)
            if (&other != &d && other.path == d.path)
                return {d.line, "path '" + d.path + "' is already used by the section at line " +
                                    std::to_string(other.line)};
        return {0, {}};
    };
    auto finishSetting = [&](SettingSpec& st) -> std::pair<int, std::string> {
        if (st.key.empty()) return {st.line, "[setting] section without 'key'"};
        if (st.name.empty()) return {st.line, "[setting] section without 'name'"};
        if (!st.text && !st.dword) return {st.line, "[setting] section without 'string' or 'dword'"};
        return {0, {}};
    };
    auto finishSection = [&]() -> std::pair<int, std::string> {
        if (section == Section::Controller || section == Section::Port) return finishDevice(devices.back());
        if (section == Section::Setting) return finishSetting(settings.back());
        return {0, {}};
    };

    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;

        if (line.front() == '[') {
            if (line.back() != ']') return fail(lineNo, "section header without closing ']'");
            if (auto [at, what] = finishSection(); !what.empty()) return fail(at, what);
            std::string name = lower(trim(line.substr(1, line.size() - 2)));
            if (name == "controller" || name == "port") {
                section = name == "port" ? Section::Port : Section::Controller;
                devices.emplace_back();
                devices.back().line = lineNo;
                if (section == Section::Port) {
                    devices.back().link = Link::Serial;
                    devices.back().emptyPort = true;
                }
            } else if (name == "setting") {
                section = Section::Setting;
                settings.emplace_back();
                settings.back().line = lineNo;
            } else if (name == "bench") {
                if (benchSeen) return fail(lineNo, "second [bench] section");
                benchSeen = true;
                section = Section::Bench;
            } else {
                return fail(lineNo, "unknown section [" + name +
                                        "] (expected [controller], [port], [setting] or [bench])");
            }
            continue;
        }

        size_t eq = line.find('=');
        if (eq == std::string::npos) return fail(lineNo, "expected 'key = value' or a [section]");
        std::string key = lower(trim(line.substr(0, eq)));
        std::string value = trim(line.substr(eq + 1));
        if (key.empty()) return fail(lineNo, "missing key before '='");

        try {
            switch (section) {
                case Section::None: return fail(lineNo, "'" + key + "' outside of a section");
                case Section::Bench:
                    if (key != "latencyms") return fail(lineNo, "unknown key '" + key + "' in [bench]");
                    latency = u32(value);
                    continue;
                case Section::Port:
                    if (key != "path") return fail(lineNo, "unknown key '" + key + "' in [port] (only 'path')");
                    if (value.empty()) throw BadValue{"empty path"};
                    devices.back().path = value;
                    continue;
                case Section::Setting: {
                    SettingSpec& st = settings.back();
                    if (key == "key" || key == "name") {
                        if (value.empty()) throw BadValue{"empty " + key};
                        (key == "key" ? st.key : st.name) = value;
                    } else if (key == "string" || key == "dword") {
                        if (st.text || st.dword) return fail(lineNo, "second 'string' or 'dword' in [setting]");
                        if (key == "string") st.text = value;
                        else st.dword = u32(value);
                    } else {
                        return fail(lineNo, "unknown key '" + key + "' in [setting] (key, name, string, dword)");
                    }
                    continue;
                }
                case Section::Controller: break;
            }
            DeviceSpec& d = devices.back();
            if (auto it = commonKeys().find(key); it != commonKeys().end()) {
                it->second(d, value);
            } else if (auto ls = linkSpecificKeys().find(key); ls != linkSpecificKeys().end()) {
                ls->second.second(d, value);
                d.linkKeys.push_back({ls->second.first, {key, lineNo}});
            } else {
                return fail(lineNo, "unknown key '" + key + "'");
            }
        } catch (const BadValue& bad) {
            return fail(lineNo, key + ": " + bad.what);
        }
    }
    if (in.bad()) return fail(lineNo, "read error");
    if (auto [at, what] = finishSection(); !what.empty()) return fail(at, what);

    auto bench = std::make_shared<Bench>();
    if (latency) bench->setLatencyMs(*latency);
    for (auto& d : devices) build(*bench, d);
    for (auto& st : settings) {
        if (st.text) bench->setSettingString(st.key, st.name, *st.text);
        else bench->setSettingDword(st.key, st.name, *st.dword);
    }
    return bench;
}

// ---------------------------------------------------------------- built-in profiles

ControllerProfile currentProfile() {
    ControllerProfile p;
    p.series = Series::Current;
    p.identityNumber = 6020;
    p.letter = 1;  // QV6020A
    p.major = 2;
    p.minor = 5;
    // Bits 1 and 7 of the first feature byte: the item protocol is present, so a
    // host asks for the parameter version.
    p.featureF4 = {0x82, 0x00, 0x00, 0x00};
    p.paraVersion = 152;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x00};
    p.reportLength = 8;
    p.rows = 16;
    p.columns = 28;
    p.extraColumns = 2;
    // A 15.6" wide panel behind 1.1 mm glass: entry 0 of both tables.
    p.panelSizes.push_back(panelSize("G156HAN", 0x15, 0x61, 3440, 1940));
    p.coverLenses.push_back({0x11, 0xFF, 'G', 0});
    return p;
}

HidInfo hidAt(const std::string& path, uint16_t productId, const std::string& instance) {
    HidInfo h;
    h.path = path;
    h.productId = productId;
    char pid[5];
    std::snprintf(pid, sizeof pid, "%04X", productId);
    h.name = "Acme Touch QV" + std::string(pid);
    h.parentInstanceId = "USB\\VID_2E7B&PID_" + std::string(pid) + "\\" + instance;
    // Products 3501 and 6020 speak the newer report flavour: feature reports carry id 1.
    h.reportId = productId == 0x3501 || productId == 0x6020 ? 1 : 0;
    return h;
}

// A host takes the series from the product number's thousands digit (3: current,
// 6: Ostra), so a current-series controller sits behind product 3501.
HidInfo currentHid() { return hidAt("/sim/hidraw0", 0x3501, "5&1A2B3C&0&1"); }

// A current-series controller as found on a serial line: the host accepts
// numbers 500..2999 there.
ControllerProfile serialCurrentProfile() {
    ControllerProfile p = currentProfile();
    p.identityNumber = 2081;
    p.letter = 0;
    p.featureF4 = {};
    p.paraVersion = 0;
    return p;
}

ControllerProfile ostraProfile() {
    ControllerProfile p;
    p.series = Series::Ostra;
    p.identityNumber = 6101;  // the host accepts Ostra numbers 6000..6999
    p.major = 3;
    p.minor = 1;
    p.customerBytes = {0x01, 0x02, 0x03, 0x04};
    return p;
}

ControllerProfile melkProfile() {
    ControllerProfile p;
    p.series = Series::Melk;
    p.major = 1;
    p.minor = 7;
    return p;
}

// Parameter bytes that look like a tuned controller's rather than zeros: a fixed
// pseudo-random sequence, different for each list.
std::vector<uint8_t> parameterBytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> out(n);
    uint8_t v = seed;
    for (auto& b : out) {
        v = uint8_t(v * 5 + 0x3B);
        b = v;
    }
    return out;
}

// The demo controller: a current-series QV2081A (a number a configuration program
// takes for a current model, unlike 6000..6999) with two slave ICs, the item
// protocol 1.52, a sensor, panel-size and cover-lens tables, parameter lists
// behind banks 0x80/0x90/0xA0 and the CRC over them, so every field a host shows
// about a connected controller has a value.
ControllerProfile demoProfile() {
    ControllerProfile p;
    p.series = Series::Current;
    p.identityNumber = 2081;
    p.letter = 1;  // QV2081A
    p.major = 2;
    p.minor = 5;
    p.buildA = 3;  // version 2.5.3.1
    p.buildB = 1;
    p.customerBytes = {1, 1, 2, 0};  // boot loader 1.2, letter A
    // Feature byte 1: the item protocol (bits 1 and 7); byte 3 bit 7: the parameter
    // lists sit in banks 0x80, 0x90 and 0xA0. Feature byte 5 bit 4: the CRC register.
    p.featureF4 = {0x82, 0x00, 0x80, 0x00};
    p.featureFC = {0x10, 0x00, 0x00, 0x00};
    p.stateF0 = {0x00, 0x00, 0x00, 0x01};  // scanning
    p.stateEx = {0x00, 0x80, 0x00, 0x00};  // the slaves can be reached
    p.paraVersion = 152;
    // The general information items a host reads with the group mask.
    for (uint8_t n = 1; n <= 4; ++n) p.items[{0x00, n}] = ParamItem{0xFF, 0x00};
    // Host interface: USB (information byte 0), I2C address 0x41, baud index 0;
    // the identity byte 0x07 offers USB, RS232 and I2C.
    p.groupInfo[{0x01, 0x01}] = {0x00, 0x00};
    p.groupInfo[{0x01, 0x02}] = {0x00, 0x07};
    p.groupInfo[{0x01, 0x03}] = {0x00, 0x00};
    p.items[{0x01, 0}] = ParamItem{0x08, 0x00};
    p.items[{0x01, 1}] = ParamItem{0x7F, 0x41};
    p.items[{0x01, 2}] = ParamItem{0x04, 0x00};
    // Panel: items 0 and 1 choose the panel-size and cover-lens entries; the
    // geometry information a host reads with them (resolution 4096 x 4096, 6.5 mm pitch).
    p.items[{0x02, 0}] = ParamItem{0x01, 0x00};
    p.items[{0x02, 1}] = ParamItem{0x01, 0x00};
    for (uint8_t code : {0x04, 0x05, 0x34, 0x35}) p.groupInfo[{0x02, code}] = {0x00, 0x00};
    p.groupInfo[{0x02, 0x06}] = {0x00, 0x10};
    p.groupInfo[{0x02, 0x07}] = {0x00, 0x10};
    p.groupInfo[{0x02, 0x08}] = {65, 0x00};
    p.panelSizes = {panelSize("G156HAN", 0x15, 0x61, 3440, 1940), panelSize("G215HVN", 0x21, 0x51, 4760, 2680)};
    p.coverLenses = {{0x11, 0xFF, 'G', 0}, {0x18, 0x22, 'P', 0}};  // 1.1 mm glass, 1.8 ~ 2.2 mm polymer
    const char text[] = "DEMO PANEL 15.6";
    std::copy(text, text + sizeof text - 1, p.panelText.begin());
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x03, 0x21};  // progress, load; generation 2.1
    p.reportLength = 8;
    p.rows = 16;
    p.columns = 28;
    p.extraColumns = 2;
    p.sensor = SensorProfile{};
    p.sensor->scanMs = 40;
    p.slaveCount = 3;  // ICs, the master included
    p.listDescriptor = std::array<uint8_t, 4>{16, 32, 64, 128};  // debug, slave, boot, touch
    p.paramBanks[0x80] = parameterBytes(128, 0x11);
    p.paramBanks[0x90] = parameterBytes(64, 0x22);
    p.paramBanks[0x90][0] &= 0x3F;
    p.paramBanks[0x90][0x0E] = p.scanMode;  // the scan-mode register lives in the boot list
    p.paramBanks[0xA0] = parameterBytes(16, 0x33);
    for (uint8_t k = 0; k < 2; ++k) {  // the master's chip and version
        SlaveProfile s;
        s.identityNumber = p.identityNumber;
        s.letter = p.letter;
        s.major = p.major;
        s.minor = p.minor;
        s.buildA = p.buildA;
        s.buildB = p.buildB;
        s.customerBytes = p.customerBytes;
        s.parameters = parameterBytes(32, uint8_t(0x44 + k));
        p.slaves.push_back(s);
    }
    return p;
}

std::shared_ptr<Controller> demoController(bool inBoot) {
    ControllerProfile p = demoProfile();
    p.inBoot = inBoot;
    return std::make_shared<Controller>(p);
}

// A controller with every parameter group a configuration program edits: the demo
// controller's identity, lists and sensor, item protocol 1.52, all 15 groups with
// the anti-noise extension (0x17) and the custom group (0x8E), maxima as a tuned
// panel has them, the panel geometry with a 6.0 mm pitch, the panel text, two
// virtual buttons and an 80-byte constant block.
ControllerProfile fullProfile() {
    ControllerProfile p = demoProfile();
    p.customer = 3;  // QV2081A.D03.2.5.3.1
    p.slaveCount = 0;
    p.slaves.clear();
    p.stateEx = {};
    p.featureF4 = {0x82, 0x00, 0x80, 0x00};
    p.featureFC = {0x10, 0x00, 0x00, 0x00};
    p.bridge = {0x01, 0x00, 0x00, 0x00};
    p.items.clear();
    p.groupInfo.clear();
    auto item = [&](uint8_t g, uint8_t n, uint8_t maximum, uint8_t value) { p.items[{g, n}] = ParamItem{maximum, value}; };
    for (uint8_t n = 1; n <= 4; ++n) item(0x00, n, 0xFF, 0x00);
    // Host interface: USB now; the identity byte 0x87 offers USB, RS232, I2C and auto detect.
    item(0x01, 0, 0x08, 0x00);
    item(0x01, 1, 0x7F, 0x41);  // I2C address
    item(0x01, 2, 0x04, 0x00);
    item(0x01, 3, 0x03, 0x00);  // HID report: Windows 8 protocol
    p.groupInfo[{0x01, 0x01}] = {0x00, 0x00};
    p.groupInfo[{0x01, 0x02}] = {0x00, 0x87};
    p.groupInfo[{0x01, 0x03}] = {0x20, 0x00};
    // Panel: size and lens entries, skipped and used lines of a 28 x 16 panel.
    item(0x02, 0, 0x01, 0x00);
    item(0x02, 1, 0x01, 0x00);
    item(0x02, 2, 0x04, 0x00);
    item(0x02, 3, 0x04, 0x00);
    item(0x02, 4, 28, 28);
    item(0x02, 5, 16, 16);
    p.groupInfo[{0x02, 0x04}] = {28, 16};
    p.groupInfo[{0x02, 0x05}] = {0x00, 0x00};
    p.groupInfo[{0x02, 0x06}] = {0x00, 0x10};  // resolution 4096 x 4096
    p.groupInfo[{0x02, 0x07}] = {0x00, 0x10};
    p.groupInfo[{0x02, 0x08}] = {60, 0x00};    // pitch 6.0 mm
    p.groupInfo[{0x02, 0x34}] = {0x02, 0x00};
    p.groupInfo[{0x02, 0x35}] = {0x02, 0x00};
    p.panelText = {};
    const char text[] = "FULL PANEL 15.6";
    std::copy(text, text + sizeof text - 1, p.panelText.begin());
    // Finger: sensitivity 0 of -7..7, ten contacts, sample rate limit 0 (below the
    // program's minimum 1), finger recognize on.
    item(0x03, 0, 14, 7);
    item(0x03, 1, 10, 10);
    item(0x03, 2, 0xFF, 0x20);
    item(0x03, 3, 40, 8);
    item(0x03, 4, 20, 4);
    item(0x03, 5, 60, 20);
    item(0x03, 6, 10, 2);
    item(0x03, 7, 10, 3);
    item(0x03, 8, 40, 0);
    item(0x03, 9, 0xFF, 0x30);
    item(0x03, 10, 0xFF, 0x40);
    item(0x03, 13, 1, 0);
    p.groupInfo[{0x03, 0x01}] = {0x00, 60};
    // Palm: size, disabled range, up debouncing, palm on edge on, rejection on (0).
    item(0x04, 0, 200, 30);
    item(0x04, 1, 40, 10);
    item(0x04, 2, 20, 5);
    item(0x04, 3, 1, 1);
    item(0x04, 4, 1, 0);
    item(0x04, 5, 1, 0);
    // Base update.
    item(0x05, 0, 15, 3);
    item(0x05, 1, 20, 5);
    item(0x05, 2, 50, 10);
    item(0x05, 3, 50, 10);
    // Water: mode OFF of OFF / detect / performance, the slots at 44..68, lock one contact.
    item(0x06, 0, 0x13, 0x00);
    item(0x06, 1, 4, 2);
    item(0x06, 2, 100, 40);
    item(0x06, 3, 20, 5);
    item(0x06, 8, 0xFF, 0x10);
    item(0x06, 9, 20, 4);
    item(0x06, 10, 100, 30);
    item(0x06, 11, 20, 6);
    item(0x06, 15, 1, 1);
    p.groupInfo[{0x06, 0x01}] = {0x00, 0x00};
    p.groupInfo[{0x06, 0x02}] = {0x00, 0x00};
    // Anti-noise: low-pass filter 8 of 15, thresholds, enhanced driving off, median
    // filter and hopping switches, the wide item 11; median level Half (group 0x17).
    item(0x07, 0, 15, 8);
    item(0x07, 1, 50, 20);
    item(0x07, 2, 10, 3);
    item(0x07, 3, 1, 0);
    item(0x07, 4, 1, 1);
    item(0x07, 5, 1, 0);
    item(0x07, 9, 1, 0);
    item(0x07, 10, 1, 0);
    item(0x07, 15, 2, 0);
    // The wide item 11: four words, F6 07 1B and 2B (a word item), 3B and 4B.
    p.wordItems[{0x07, 11}] = ParamWordItem{0x0123, 0x0045};
    p.groupInfo[{0x07, 0x3B}] = {0x67, 0x00};
    p.groupInfo[{0x07, 0x4B}] = {0x89, 0x00};
    item(0x17, 0, 2, 1);
    // Coordinate: the active range and its reference, no reversal, tail at the
    // bottom, edge compensation strength 2 and distance 1 on every side.
    for (uint8_t n = 0; n < 8; ++n)
        p.wordItems[{0x08, n}] = ParamWordItem{4095, uint16_t(n % 2 ? 4095 : 0)};
    item(0x08, 8, 1, 0);
    item(0x08, 9, 1, 0);
    item(0x08, 10, 1, 0);
    item(0x08, 11, 3, 0);
    for (uint8_t n = 12; n <= 15; ++n) item(0x08, n, 0xFF, 0x14);
    p.groupInfo[{0x08, 0x01}] = {0x00, 0x00};
    // Power saving: sleep and idle on (0), idle scan interval 50 ms, delay 3 s.
    item(0x09, 0, 1, 0);
    item(0x09, 1, 1, 0);
    item(0x09, 2, 3, 0);
    item(0x09, 3, 9, 2);
    // Normal and abnormal scan.
    for (uint8_t g : {0x0A, 0x0B}) {
        item(g, 0, 15, 4);
        item(g, 1, 15, 6);
        item(g, 2, 31, 8);
        item(g, 3, 31, 8);
        item(g, 4, 31, 10);
        p.groupInfo[{g, 0x01}] = {0x00, 0x00};
        p.groupInfo[{g, 0x02}] = {0x00, 0x00};
        p.groupInfo[{g, 0x03}] = {0x00, 0x00};
    }
    // Misc: watchdog on, event notify off, point report ratio 1 / 1, event mask 0x3F.
    item(0x0C, 0, 1, 1);
    item(0x0C, 1, 1, 0);
    item(0x0C, 2, 1, 0);
    item(0x0C, 3, 3, 0);
    p.wordItems[{0x0C, 4}] = ParamWordItem{0xFFFF, 0x003F};
    // Drive IC: 10 V of the voltage table, current index 1; two ICs of 14 lines.
    item(0x0D, 0, 7, 3);
    item(0x0D, 1, 3, 1);
    p.groupInfo[{0x0D, 0x01}] = {0x00, 2};
    p.groupInfo[{0x0D, 0x02}] = {14, 14};
    // Debug; the event halt is the firmware's (off, no halt).
    for (uint8_t n = 0; n <= 8; ++n) item(0x0E, n, 0xFF, 0x00);
    // Virtual buttons: four keys possible, two set.
    item(0x0F, 0, 4, 0);
    for (uint8_t n = 1; n <= 3; ++n) item(0x0F, n, 0xFF, 0x00);
    p.groupInfo[{0x0F, 0x01}] = {0x00, 0x00};
    p.groupInfo[{0x0F, 0x04}] = {0x00, 0x00};
    p.groupInfo[{0x0F, 0x05}] = {0x00, 0x00};
    p.vbuttons = {{0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40, 0x00, 0x01, 0x00, 0x00, 0x00},
                  {0x50, 0x00, 0x20, 0x00, 0x70, 0x00, 0x40, 0x00, 0x02, 0x00, 0x00, 0x00}};
    // Custom: format 1 and its item.
    item(0x8E, 0, 3, 0);
    p.groupInfo[{0x8E, 0x01}] = {0x00, 0x01};
    p.constants = parameterBytes(80, 0x55);
    p.reenumerateOnReset = true;
    return p;
}

// The same controller on item protocol 1.25 (no pitch byte, no panel text, no
// virtual-key CRC in the parameter CRC).
ControllerProfile full125Profile() {
    ControllerProfile p = fullProfile();
    p.paraVersion = 125;
    return p;
}

// A controller for the panel scan checks: a 16 x 28 (+2) sensor with a small
// offset span and little noise, so its frames pass every check until a sensor
// fault makes exactly one fail; test patterns at 1000 and 1500, two frequency
// modes of three frequencies, scan capabilities 0x2000 (patterns by F3 00 0D),
// a system-reference version 1.02, the finger threshold 60 and two drive ICs of
// 14 lines each. Feature byte 0: system reference (bit 0), frequency hopping
// (bit 1), the item protocol (bit 7); byte 1 bit 6: the frequency-mode query.
ControllerProfile diagProfile() {
    ControllerProfile p = currentProfile();  // 16 x 28 (+2), one panel size and lens
    p.identityNumber = 2081;                 // QV2081A
    p.featureF4 = {0x83, 0x40, 0x00, 0x00};
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x13, 0x1E};  // progress, load, per-mode frames; generation 30
    p.reportLength = 64;
    p.sensor = SensorProfile{};  // the healthy panel of the defaults
    p.scanCaps = 0x2000;
    p.frequencyModes = std::array<uint8_t, 3>{2, 3, 0};
    p.srVersion = 102;
    p.interfaceCheck = 0;
    p.readyAfterPolls = 2;  // a scan view's ready poll sees the panel ready at its third read
    // The anti-noise threshold 20 (item 1 of group 7) and the noise levels of the
    // two modes below it, so a reference build passes its noise check.
    p.items[{0x07, 1}] = ParamItem{50, 20};
    p.noiseLevels = {6, 7, 0, 0};
    // The general information items 1..4 that a host reads with the group mask.
    for (uint8_t n = 1; n <= 4; ++n) p.items[{0x00, n}] = ParamItem{0xFF, 0x00};
    // Panel items 0 (size entry), 1 (lens entry), 3 (drive-IC column offset).
    p.items[{0x02, 0}] = ParamItem{0x01, 0x00};
    p.items[{0x02, 1}] = ParamItem{0x01, 0x00};
    p.items[{0x02, 3}] = ParamItem{0x10, 0x00};
    // The panel's information bytes a host reads with them: geometry, resolution 4096 x 4096, extras.
    for (uint8_t code : {0x04, 0x05, 0x08, 0x34, 0x35}) p.groupInfo[{0x02, code}] = {0x00, 0x00};
    p.groupInfo[{0x02, 0x06}] = {0x00, 0x10};
    p.groupInfo[{0x02, 0x07}] = {0x00, 0x10};
    p.items[{0x03, 0}] = ParamItem{0xFF, 0x20};
    p.groupInfo[{0x03, 0x01}] = {0x00, 60};  // the finger threshold
    p.items[{0x0D, 0}] = ParamItem{0x04, 0x02};
    p.groupInfo[{0x0D, 0x01}] = {0x00, 2};   // two drive ICs
    p.groupInfo[{0x0D, 0x02}] = {14, 14};    // of 14 lines each
    return p;
}

// The same panel on older firmware: scan-control generation 0, no item protocol,
// system-reference version 0 (E4 answers it), frequency hopping with two modes of
// three frequencies, and the first release of product 1711, the one firmware on
// which a system reference of version 0 may be built.
ControllerProfile diagOldProfile() {
    ControllerProfile p = diagProfile();
    p.identityNumber = 1711;
    p.letter = 0;
    p.major = 1;
    p.minor = 2;
    p.customer = 0;
    p.featureF4 = {0x03, 0x40, 0x00, 0x00};
    p.paraVersion = 0;
    p.items.clear();
    p.groupInfo.clear();
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x13, 0x00};
    p.reportLength = 8;
    p.scanCaps.reset();
    p.srVersion = 0;
    return p;
}

// The driver's service keys.
const char* const kParameters = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Parameters";
const char* const kEnum = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";

// A driver device of kind 0..2 with what a host reads about it from the service
// keys: the Parameters value named by its port index,
//   HID\VID_2E7B&PID_<pid>&Col01\7&2F1C&0&<location>#<key>#
// (location: the number after the last '&'; key: between the last two '#'; product
// number: the four digits after the last '_' before the key), and its USB parent's
// instance id USB\VID_2E7B&PID_<pid>\<key> as Enum value `enumIndex`.
void addServicedDriver(Bench& b, const ControllerProfile& p, DriverInfo info, const std::string& pid,
                       const std::string& location, const std::string& key, int enumIndex) {
    b.setSettingString(kParameters, std::to_string(info.portIndex),
                       "HID\\VID_2E7B&PID_" + pid + "&Col01\\7&2F1C&0&" + location + "#" + key + "#");
    b.setSettingString(kEnum, std::to_string(enumIndex), "USB\\VID_2E7B&PID_" + pid + "\\" + key);
    b.addDriver(std::make_shared<Controller>(p), std::move(info));
}

DriverInfo driverAt(const std::string& name, int kind, uint32_t portIndex) {
    DriverInfo d;
    d.path = name;
    d.kind = kind;
    d.ioctlPair = kind >= 3 ? 1 : 0;  // kinds 3 and 4 always use the second pair
    d.portIndex = portIndex;
    return d;
}

using Builder = std::function<void(Bench&)>;

const std::vector<std::pair<std::string, Builder>>& builtins() {
    static const std::vector<std::pair<std::string, Builder>> list = {
        // What a user starts a program on: named by what the program shows.
        {"demo", [](Bench& b) { b.addHid(demoController(false), currentHid()); }},
        {"demo-boot", [](Bench& b) { b.addHid(demoController(true), currentHid()); }},
        {"two-controllers", [](Bench& b) {
             b.addHid(demoController(false), currentHid());
             b.addHid(std::make_shared<Controller>(ostraProfile()), hidAt("/sim/hidraw1", 0x6020, "5&1A2B3C&0&2"));
         }},
        // What the tests build on: named by link and series.
        {"current", [](Bench& b) { b.addHid(std::make_shared<Controller>(currentProfile()), currentHid()); }},
        {"boot", [](Bench& b) {
             ControllerProfile p = currentProfile();
             p.inBoot = true;
             b.addHid(std::make_shared<Controller>(p), currentHid());
         }},
        {"driver", [](Bench& b) {
             addServicedDriver(b, currentProfile(), driverAt("\\\\.\\QVUVCXM_API0", 0, 0), "3501", "0001",
                               "QVA00001", 0);
             b.setSettingDword(kEnum, "Count", 1);
         }},
        {"serial", [](Bench& b) {
             b.addSerial(std::make_shared<Controller>(serialCurrentProfile()), SerialInfo{"/sim/ttyS0", 115200});
         }},
        {"ostra", [](Bench& b) {
             b.addSerial(std::make_shared<Controller>(ostraProfile()), SerialInfo{"/sim/ttyS0", 115200});
         }},
        {"melk", [](Bench& b) {
             b.addSerial(std::make_shared<Controller>(melkProfile()), SerialInfo{"/sim/ttyS0", 19200});
         }},
        {"multi", [](Bench& b) {
             b.addHid(std::make_shared<Controller>(currentProfile()), currentHid());
             b.addHid(std::make_shared<Controller>(ostraProfile()), hidAt("/sim/hidraw1", 0x6020, "5&1A2B3C&0&2"));
             // The Enum key lists the Ostra device first, so a host has to search it.
             addServicedDriver(b, ostraProfile(), driverAt("\\\\.\\QVUOstra_API0", 1, 1), "6020", "0002",
                               "QVB00002", 0);
             addServicedDriver(b, currentProfile(), driverAt("\\\\.\\QVUVCXM_API0", 0, 0), "3501", "0001",
                               "QVA00001", 1);
             b.setSettingDword(kEnum, "Count", 2);
             b.addDriver(std::make_shared<Controller>(melkProfile()), driverAt("\\\\.\\QVSMelk_API0", 4, 3));
             b.addSerial(std::make_shared<Controller>(serialCurrentProfile()), SerialInfo{"/sim/ttyS0", 115200});
             b.addSerial(std::make_shared<Controller>(ostraProfile()), SerialInfo{"/sim/ttyS1", 38400});
             b.addSerial(std::make_shared<Controller>(melkProfile()), SerialInfo{"/sim/ttyS2", 9600});
             b.addEmptySerialPort("/sim/ttyS3");
         }},
        {"full", [](Bench& b) { b.addHid(std::make_shared<Controller>(fullProfile()), currentHid()); }},
        {"full125", [](Bench& b) { b.addHid(std::make_shared<Controller>(full125Profile()), currentHid()); }},
        // The full controller with a new boot loader: blocks of 256 bytes, byte sums,
        // output reports of 64; leaves the bus on boot entry and exit as a USB
        // controller does.
        {"update", [](Bench& b) {
             ControllerProfile p = fullProfile();
             p.boot = BootFlash{};
             p.boot->reenumerateOnBoot = true;
             p.d2Reply = {0x00, 0x01, 0x00, 0x00};
             p.bootPacketSize = 64;  // no bridge: the loader takes output reports of 64
             p.bridge = {};
             b.addHid(std::make_shared<Controller>(p), currentHid());
         }},
        {"diag", [](Bench& b) { b.addHid(std::make_shared<Controller>(diagProfile()), currentHid()); }},
        {"diag-old", [](Bench& b) { b.addHid(std::make_shared<Controller>(diagOldProfile()), currentHid()); }},
    };
    return list;
}

}  // namespace

std::vector<std::string> builtinProfileNames() {
    std::vector<std::string> names;
    for (auto& [name, _] : builtins()) names.push_back(name);
    return names;
}

std::shared_ptr<Bench> parseProfileText(const std::string& text, const std::string& source, std::string* error) {
    std::istringstream in(text);
    return parseProfile(in, source, error);
}

bool setControllerKey(Controller& controller, const std::string& key, const std::string& value,
                      std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    const std::string name = lower(trim(key));
    const auto it = runtimeKeys().find(name);
    if (it == runtimeKeys().end()) {
        if (name == "link" || name == "path" || linkSpecificKeys().count(name))
            *error = "'" + key + "' describes the device, not the controller, and cannot be set while it runs";
        else
            *error = "unknown key '" + key + "'";
        return false;
    }
    try {
        it->second(controller, trim(value));
    } catch (const BadValue& bad) {
        *error = key + ": " + bad.what;
        return false;
    } catch (const std::exception& e) {
        *error = key + ": " + e.what();
        return false;
    }
    return true;
}

std::shared_ptr<Bench> loadProfile(const std::string& nameOrPath, std::string* error) {
    for (auto& [name, make] : builtins()) {
        if (name == nameOrPath) {
            auto bench = std::make_shared<Bench>();
            make(*bench);
            return bench;
        }
    }
    std::ifstream in(nameOrPath);
    if (!in) {
        if (error) {
            std::string names;
            for (auto& n : builtinProfileNames()) names += (names.empty() ? "" : ", ") + n;
            *error = "profile '" + nameOrPath + "' is no built-in profile (" + names +
                     ") and cannot be opened as a file: " + std::strerror(errno);
        }
        return nullptr;
    }
    return parseProfile(in, nameOrPath, error);
}

}  // namespace qvsim
