// The controller firmware model: one 5-byte command in, one 5-byte reply (or
// nothing) out.
//
// Order of decisions for every command:
//   1. a controller that went away (disconnectAfter) takes nothing;
//   2. an injected fault (refuse / silence) whose prefix matches wins;
//   3. a fixed reply set with setReply whose prefix matches;
//   4. the firmware's own answer by series.
// Every command that reached the firmware is traced, answered or not.

#include "qvsim.h"
#include "boot_loader.h"
#include "scan_commands.h"

#include <algorithm>
#include <utility>

namespace qvsim {

namespace {

constexpr uint8_t kRefused = 0xAA;

Packet refusal(const Packet& c) { return {kRefused, c[0], c[1], c[2], c[3]}; }
Packet echo(const Packet& c) { return c; }
Packet withBytes(uint8_t code, const std::array<uint8_t, 4>& b) { return {code, b[0], b[1], b[2], b[3]}; }

bool knownBank(uint8_t bank) { return bank == 0x00 || bank == 0x80 || bank == 0x90; }

// The identity answer as the series sends it.
Packet identityReply(Series s, uint16_t number, uint8_t major, uint8_t letter) {
    uint8_t lo = uint8_t(number & 0xFF), hi = uint8_t(number >> 8);
    if (s == Series::Ostra) return {0xEE, hi, lo, 0x00, major};
    return {0xEE, lo, hi, major, letter};
}

// The boot state answer. While the boot loader runs, bytes 3..4 carry its mark
// 55 AA on the wire, whatever the series; otherwise they are the build bytes
// (state A, state B), which Ostra sends the other way round, with minor in byte 2.
Packet bootStateReply(Series s, uint8_t minor, uint8_t customer, bool inBoot, uint8_t buildA, uint8_t buildB) {
    if (s == Series::Ostra)
        return inBoot ? Packet{0xED, 0x00, minor, 0x55, 0xAA} : Packet{0xED, 0x00, minor, buildB, buildA};
    return inBoot ? Packet{0xED, minor, customer, 0x55, 0xAA} : Packet{0xED, minor, customer, buildA, buildB};
}

// E7 s a2 a1 a0 of the current series: the timing query (s = 0), the sizes and
// words of the IC's memory (see ControllerProfile::configWords); others refused.
Packet memoryQuery(const ControllerProfile& p, const Packet& c) {
    const auto size = [](uint32_t n) { return Packet{0xE7, 0x00, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)}; };
    const auto bytes = [](uint32_t at, uint32_t factor, uint32_t add) {
        Packet r{0xE7, 0, 0, 0, 0};
        for (uint32_t k = 0; k < 4; ++k) r[1 + k] = uint8_t((at + k) * factor + add);
        return r;
    };
    const uint32_t address = uint32_t(c[2]) << 16 | uint32_t(c[3]) << 8 | c[4];
    switch (c[1]) {
        case 0x00: return {0xE7, 0x00, uint8_t(p.fastTiming ? 0x55 : 0x00), 0x00, 0x00};
        case 0xB0: return size(p.configWords);
        case 0xA0: return size(p.sfrSize);
        case 0x90: return size(p.dataRamSize);
        case 0x30:
            if (c[2] >= p.configWords) return refusal(c);
            return bytes(4u * c[2], 11, 5);
        case 0x20:
            if (address >= p.sfrSize) return refusal(c);
            return bytes(address, 7, 3);
        case 0x10:
            if (address >= p.dataRamSize) return refusal(c);
            return bytes(address, 7, 3);
        default: return refusal(c);
    }
}

uint32_t getLE32(const uint8_t* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}
void putLE32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(v >> (8 * i));
}

// The firmware's 16-bit checksum step: every bit of `byte` from the most
// significant shifted in at bit 0, XOR 0x1021 when a 1 falls out at the top.
uint16_t shiftIn(uint16_t crc, uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        const bool top = crc & 0x8000;
        crc = uint16_t(crc << 1 | ((byte >> bit) & 1));
        if (top) crc ^= 0x1021;
    }
    return crc;
}

struct Fault {
    enum Kind { Refuse, Silence } kind;
    int remaining;  // -1: until cleared
};

// The entry of `list` whose prefix matches `command` most specifically (of equal
// ones the later), or end().
template <class List>
auto bestMatch(List& list, const Packet& command) {
    auto best = list.end();
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->first.matches(command) && (best == list.end() || it->first.weight() >= best->first.weight()))
            best = it;
    return best;
}

// Sets the entry of `prefix`, replacing an earlier one and moving it last.
template <class List, class Value>
void setEntry(List& list, const PacketPrefix& prefix, Value value) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->first == prefix) {
            list.erase(it);
            break;
        }
    list.emplace_back(prefix, std::move(value));
}

}  // namespace

uint16_t VirtualKeyCrc(const ControllerProfile& p) {
    std::array<std::array<uint8_t, 12>, 16> table{};
    const size_t count = std::min<size_t>(p.vbuttons.size(), 16);
    const size_t size = std::min<size_t>(p.vbuttonEntrySize, 12);
    size_t used = 0;
    for (size_t e = 0; e < count; ++e) {
        std::copy_n(p.vbuttons[e].begin(), size, table[e].begin());
        if (table[e][8] | table[e][9]) ++used;
    }
    uint16_t crc = 0xFFFF;
    for (size_t e = 0; e <= std::min<size_t>(used, 15); ++e)
        for (size_t k = 0; k < size; ++k) crc = shiftIn(crc, table[e][k]);
    return crc;
}

std::optional<uint16_t> ParameterListCrc(const ControllerProfile& p) {
    auto touchBank = p.paramBanks.find(0x80), bootBank = p.paramBanks.find(0x90);
    if (!p.listDescriptor || touchBank == p.paramBanks.end() || bootBank == p.paramBanks.end()) return std::nullopt;
    auto list = [](const std::vector<uint8_t>& bank, size_t n) {
        std::vector<uint8_t> out(n, 0);
        std::copy_n(bank.begin(), std::min(n, bank.size()), out.begin());
        return out;
    };
    std::vector<uint8_t> touch = list(touchBank->second, (*p.listDescriptor)[3]);
    std::vector<uint8_t> boot = list(bootBank->second, (*p.listDescriptor)[2]);
    auto clear = [](std::vector<uint8_t>& v, size_t i) {
        if (i < v.size()) v[i] = 0;
    };
    clear(touch, 63);
    if (touch.size() > 64) clear(touch, 127);
    clear(boot, 15);
    if (boot.size() > 16) clear(boot, 61), clear(boot, 63);
    uint16_t crc = p.paraVersion >= 133 ? (p.vbuttonCrc ? *p.vbuttonCrc : VirtualKeyCrc(p)) : 0xFFFF;
    for (uint8_t b : touch) crc = shiftIn(crc, b);
    for (uint8_t b : boot) crc = shiftIn(crc, b);
    return crc;
}

struct Controller::Impl {
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();
    ControllerProfile profile;

    // What flash holds; nullopt until the first write (flash = RAM = the profile).
    // `initial` is RAM as it was before that write: the defaults of items without
    // a default of their own.
    struct Stored {
        std::map<std::pair<uint8_t, uint8_t>, uint8_t> items;
        std::map<std::pair<uint8_t, uint8_t>, uint16_t> wordItems;
        std::array<uint8_t, 18> panelText{};
        std::map<uint8_t, std::vector<uint8_t>> banks;
    };
    std::optional<Stored> flash;
    std::optional<Stored> initial;

    Stored ram() const {
        Stored s;
        for (const auto& [at, item] : profile.items) s.items[at] = item.value;
        for (const auto& [at, item] : profile.wordItems) s.wordItems[at] = item.value;
        s.panelText = profile.panelText;
        s.banks = profile.paramBanks;
        return s;
    }
    // Before RAM changes: flash keeps what RAM held until now.
    void keepFlash() {
        if (flash) return;
        flash = ram();
        initial = flash;
    }
    // Before the virtual-key table changes: its flash and factory setting keep what it held.
    void keepKeyFlash() {
        if (!profile.vbuttonFlash) profile.vbuttonFlash = profile.vbuttons;
        if (!profile.vbuttonDefaults) profile.vbuttonDefaults = profile.vbuttons;
    }
    // The table := a stored one; entries beyond it (a table grown later) become 0.
    void loadKeys(const std::vector<std::array<uint8_t, 12>>& stored) {
        for (size_t e = 0; e < profile.vbuttons.size(); ++e)
            profile.vbuttons[e] = e < stored.size() ? stored[e] : std::array<uint8_t, 12>{};
    }
    // RAM := s, for the values s holds (entries that came later keep theirs).
    void load(const Stored& s) {
        for (auto& [at, item] : profile.items)
            if (auto it = s.items.find(at); it != s.items.end()) item.value = it->second;
        for (auto& [at, item] : profile.wordItems)
            if (auto it = s.wordItems.find(at); it != s.wordItems.end()) item.value = it->second;
        profile.panelText = s.panelText;
        for (auto& [bank, bytes] : profile.paramBanks)
            if (auto it = s.banks.find(bank); it != s.banks.end()) bytes = it->second;
    }
    // F6 00 91: every item (all) or every item outside groups 1 and 2 to its default.
    void reloadDefaults(bool all) {
        keepFlash();
        auto fallback = [&](auto& map, std::pair<uint8_t, uint8_t> at, auto value) {
            if (auto d = profile.itemDefaults.find(at); d != profile.itemDefaults.end()) return decltype(value)(d->second);
            if (auto it = map.find(at); it != map.end()) return decltype(value)(it->second);
            return value;
        };
        for (auto& [at, item] : profile.items)
            if (all || (at.first != 0x01 && at.first != 0x02)) item.value = fallback(initial->items, at, item.value);
        for (auto& [at, item] : profile.wordItems)
            if (all || (at.first != 0x01 && at.first != 0x02)) item.value = fallback(initial->wordItems, at, item.value);
    }

    // Words written by E1 or setReg. A word listed here hides the profile field
    // that would otherwise describe it.
    std::map<uint16_t, std::array<uint8_t, 4>> words;

    // In the order set; the most specific match applies.
    std::vector<std::pair<PacketPrefix, Packet>> fixedReplies;
    struct CountedReply {
        Packet reply;
        int remaining;
    };
    std::vector<std::pair<PacketPrefix, CountedReply>> countedReplies;
    std::vector<std::pair<PacketPrefix, Fault>> faults;
    int disconnectCountdown = -1;  // -1: none pending
    bool connected = true;

    std::vector<TraceEntry> trace;

    std::vector<uint8_t> bulkData;
    std::vector<uint8_t> bulk;  // the armed transfer (a copy of bulkData)
    size_t bulkPos = 0;
    bool armed = false;

    uint64_t busyUntilMs = 0;
    // The system-reference status word (E4 00 00 00 00 bytes 3..4) apart from the
    // save's busy bit: bit 8 while a build runs, bit 0 while a built or erased
    // reference waits for its save. A build counts its busy time in status reads.
    uint16_t srStatus = 0;
    bool building = false, olderBuild = false;
    uint32_t buildReadsLeft = 0;
    bool reloadArmed = false;  // the last command was EC 00 AA 00 v
    std::map<uint16_t, std::array<uint8_t, 4>> flushedWords;  // the words at the last flush

    // An open write of the panel text or of one virtual-button entry: packets whose
    // byte 0 is a word index fill the pending bytes until the commit.
    enum class Window { None, PanelText, VButton } window = Window::None;
    uint8_t windowEntry = 0;
    std::array<uint8_t, 64> pending{};

    bool diagnostic = false;             // F9 .. enter / leave
    uint32_t scanCount = 0;              // sensor scans started
    uint64_t scanStartMs = 0;
    uint8_t pattern = 0;                 // the test pattern the next scan runs with
    uint8_t scanPattern = 0;             // the one the latest scan ran with
    std::optional<uint8_t> selected;     // the slave F4 00 k .. 01 selected; none: the master
    bool bootSwitchArmed = false;        // the last command was D4 00 00 00 00
    detail::BootSessions bootSessions;   // the chips' boot loaders
    bool reenumerate = false;            // the firmware asked to leave the bus and come back
    std::optional<BootFlash::Exit> bootExit;  // the loader left with the last command
    int faultAtCountdown = -1;           // faultAt: commands until the one that fails
    bool faultAtSilence = false;

    static uint16_t key(uint8_t bank, uint8_t addr) { return uint16_t(bank << 8 | addr); }

    // The profile field that describes a register word, if any.
    std::array<uint8_t, 4>* profileWord(uint8_t bank, uint8_t addr) {
        if (bank != 0x00) return nullptr;
        switch (addr) {
            case 0xF4: return &profile.featureF4;
            case 0xFC: return &profile.featureFC;
            case 0xF0: return &profile.stateF0;
            default: return nullptr;
        }
    }
    static bool isScanModeWord(uint8_t bank, uint8_t addr) {
        return (bank == 0x00 && addr == 0x4E) || (bank == 0x90 && addr == 0x0E);
    }
    static bool isMonitorIdWord(uint8_t bank, uint8_t addr) { return bank == 0x00 && addr == 0x49; }
    bool overridden(uint8_t bank, uint8_t addr) const { return words.count(key(bank, addr)) != 0; }

    std::array<uint8_t, 4> read(uint8_t bank, uint8_t addr) const {
        if (auto it = words.find(key(bank, addr)); it != words.end()) return it->second;
        if (auto* w = const_cast<Impl*>(this)->profileWord(bank, addr)) return *w;
        if (isScanModeWord(bank, addr)) return {0, 0, 0, profile.scanMode};
        if (isMonitorIdWord(bank, addr)) return {0, 0, 0, profile.monitorId};
        return {};
    }

    // E1: only byte 4 of a word is written. A profile-described word keeps living
    // in the profile, so profile() shows what the host changed.
    void writeByte4(uint8_t bank, uint8_t addr, uint8_t value) {
        if (auto it = words.find(key(bank, addr)); it != words.end()) {
            it->second[3] = value;
        } else if (auto* w = profileWord(bank, addr)) {
            (*w)[3] = value;
        } else if (isScanModeWord(bank, addr)) {
            profile.scanMode = value;
        } else if (isMonitorIdWord(bank, addr)) {
            profile.monitorId = value;
        } else {
            words[key(bank, addr)] = {0, 0, 0, value};
        }
    }

    // Bit 0 of the state word's byte 4 is scanning, bit 1 the data report.
    void setStateBit(uint8_t bit, bool on) {
        auto w = read(0x00, 0xF0);
        w[3] = on ? uint8_t(w[3] | bit) : uint8_t(w[3] & ~bit);
        writeByte4(0x00, 0xF0, w[3]);
    }

    // Which IC byte 2 of an ED, EE or EB (Ostra: E7) query names: 0xF0 + k is slave k,
    // anything else the master. A slave answers through the master once selected, or
    // at any time when it shares the master's chip.
    enum class Reach { Master, Slave, Unreachable, Missing };
    Reach reach(uint8_t selector, size_t* k) const {
        if (selector < 0xF0) {
            // A selected slave of its own chip answers the master's queries as itself.
            if (profile.selectedSlaveAnswers && selected && *selected < profile.slaves.size() &&
                !profile.slavesShareIc) {
                *k = *selected;
                return Reach::Slave;
            }
            return Reach::Master;
        }
        *k = size_t(selector - 0xF0);
        if (*k >= profile.slaves.size()) return Reach::Missing;
        if (profile.slavesShareIc || (selected && *selected == *k)) return Reach::Slave;
        return Reach::Unreachable;
    }

    void arm() {
        bulk = bulkData;
        bulkPos = 0;
        armed = !bulk.empty();
    }
    void disarm() {
        armed = false;
        bulk.clear();
        bulkPos = 0;
    }

    // The frame as little-endian 16-bit words, for the word-wise read (E8).
    uint16_t frameWord(size_t index) const {
        size_t at = index * 2;
        uint16_t lo = at < bulkData.size() ? bulkData[at] : 0;
        uint16_t hi = at + 1 < bulkData.size() ? bulkData[at + 1] : 0;
        return uint16_t(lo | hi << 8);
    }

    // A word of the register model (profile-described or set by setReg / an earlier E1)
    // in one of the word banks: it keeps its own byte 4 inside parameter memory.
    bool registerWord(uint8_t bank, size_t addr) const {
        if (!knownBank(bank) || addr > 0xFF) return false;
        const uint8_t a = uint8_t(addr);
        return overridden(bank, a) || const_cast<Impl*>(this)->profileWord(bank, a) || isScanModeWord(bank, a) ||
               isMonitorIdWord(bank, a);
    }

    // The parameter memory an E0/E1 on bank b, address a reaches: bank 0 of the
    // selected slave, else the bank's own memory. Sets *refused for an access the
    // firmware refuses (a slave that is not there, an address past a bank that only
    // exists as memory); nullptr with *refused false: the register model answers.
    std::vector<uint8_t>* memoryFor(uint8_t bank, uint8_t a, bool* slave, bool* refused) {
        *slave = false;
        *refused = false;
        if (bank == 0x00 && selected) {
            if (*selected >= profile.slaves.size()) {
                *refused = a < 0xF0;
                return nullptr;
            }
            auto& m = profile.slaves[*selected].parameters;
            if (a < m.size()) {
                *slave = true;
                return &m;
            }
            return nullptr;
        }
        auto it = profile.paramBanks.find(bank);
        if (it == profile.paramBanks.end()) return nullptr;
        if (a >= it->second.size()) {
            *refused = !knownBank(bank);
            return nullptr;
        }
        if (registerWord(bank, a)) return nullptr;
        return &it->second;
    }

    uint8_t memoryByte(uint8_t bank, const std::vector<uint8_t>& m, size_t x, bool slave) const {
        if (!slave && registerWord(bank, x)) return read(bank, uint8_t(x))[3];
        return x < m.size() ? m[x] : 0;
    }

    std::optional<Packet> memoryRead(const Packet& c) {
        const uint8_t bank = c[1], a = c[2];
        bool slave = false, refused = false;
        const std::vector<uint8_t>* m = memoryFor(bank, a, &slave, &refused);
        if (refused) return refusal(c);
        if (!m) return std::nullopt;
        auto b = [&](size_t x) { return memoryByte(bank, *m, x, slave); };
        if (bank & 0x40) return Packet{0xE0, b(a + 3u), b(a + 2u), b(a + 1u), b(a)};
        if (bank != 0x00) return Packet{0xE0, 0x00, 0x00, b(a + 1u), b(a)};
        if (profile.bank0Pairs) return Packet{0xE0, 0x01, 0x00, b(a + 1u), b(a)};
        return Packet{0xE0, 0x00, 0x00, 0x00, b(a)};
    }

    std::optional<Packet> memoryWrite(const Packet& c) {
        const uint8_t bank = c[1], a = c[2];
        bool slave = false, refused = false;
        std::vector<uint8_t>* m = memoryFor(bank, a, &slave, &refused);
        if (refused) return refusal(c);
        if (!m) return std::nullopt;
        if (!slave) keepFlash();
        (*m)[a] = c[4];
        if ((bank & 0x40) && size_t(a) + 1 < m->size()) (*m)[a + 1u] = c[3];
        return echo(c);
    }

    // A word of the constant block, its first byte in byte 4.
    Packet constantWord(uint8_t code, uint8_t off) const {
        const auto& k = profile.constants;
        auto b = [&](size_t x) { return x < k.size() ? k[x] : uint8_t(0); };
        return {code, b(off + 3u), b(off + 2u), b(off + 1u), b(off)};
    }

    std::optional<Packet> firmware(const Packet& c, uint64_t nowMs);
    std::optional<Packet> identity(const Packet& c) const;
    std::optional<Packet> bootState(const Packet& c) const;
    Packet customerBytes(const Packet& c) const;
    Packet paramItem(const Packet& c);
    Packet forceTouch(const Packet& c);
    Packet vbuttonItem(const Packet& c);
    Packet eventHaltItem(const Packet& c);
    Packet panelText(const Packet& c) const;
    Packet stateExPage(uint8_t page) const;
    Packet diagnosticMode(const Packet& c, uint64_t nowMs);
    std::optional<Packet> sensorCommand(const Packet& c, uint64_t nowMs);
    void loadFrame(uint8_t kind);
    Packet olderGeometry(const Packet& c) const;
    Packet wordRead(const Packet& c) const;
};

std::optional<Packet> Controller::Impl::identity(const Packet& c) const {
    const auto& p = profile;
    if (p.series == Series::Melk) return std::nullopt;  // Melk knows only F2
    if (c[1] == 0xAA) {
        if (!p.bootVersion) return refusal(c);
        return Packet{0xEE, 0x55, 0x00, 0x00, *p.bootVersion};
    }
    size_t k = 0;
    switch (reach(c[2], &k)) {
        case Reach::Missing: return refusal(c);
        case Reach::Unreachable: return Packet{0xEE, 0, 0, 0, 0};
        case Reach::Slave: {
            const SlaveProfile& s = p.slaves[k];
            // A core of the master's chip has no number of its own.
            return identityReply(p.series, p.slavesShareIc ? 0xAA55 : s.identityNumber, s.major, s.letter);
        }
        case Reach::Master: break;
    }
    return identityReply(p.series, p.identityNumber, p.major, p.letter);
}

std::optional<Packet> Controller::Impl::bootState(const Packet& c) const {
    const auto& p = profile;
    if (p.series == Series::Melk) return std::nullopt;
    size_t k = 0;
    switch (reach(c[2], &k)) {
        case Reach::Missing: return refusal(c);
        case Reach::Unreachable: return Packet{0xED, 0, 0, 0, 0};
        case Reach::Slave: {
            const SlaveProfile& s = p.slaves[k];
            return bootStateReply(p.series, s.minor, s.customer, s.inBoot, s.buildA, s.buildB);
        }
        case Reach::Master: break;
    }
    return bootStateReply(p.series, p.minor, p.customer, p.inBoot, p.buildA, p.buildB);
}

// EB (current) / E7 (Ostra) 00 v 00 00: the customer bytes of the IC v names.
Packet Controller::Impl::customerBytes(const Packet& c) const {
    size_t k = 0;
    switch (reach(c[2], &k)) {
        case Reach::Missing: return refusal(c);
        case Reach::Unreachable: return Packet{c[0], 0, 0, 0, 0};
        case Reach::Slave: return withBytes(c[0], profile.slaves[k].customerBytes);
        case Reach::Master: break;
    }
    return withBytes(c[0], profile.customerBytes);
}

Packet Controller::Impl::paramItem(const Packet& c) {
    auto& p = profile;
    const Packet itemRefused{0xF6, 0xFF, 0xFF, 0x00, 0x00};
    if (p.paraVersion == 0) return itemRefused;
    const uint8_t group = c[1], code = c[2];
    if (group == 0x00 && code == 0x10)
        return {0xF6, group, code, uint8_t(p.paraVersion / 100), uint8_t(p.paraVersion % 100)};
    if (group == 0x02 && code == 0x02) {
        // Bit 4 of feature byte 2 says rows come first; otherwise columns do.
        bool rowsFirst = p.featureF4[2] & 0x10;
        return rowsFirst ? Packet{0xF6, group, code, p.rows, p.columns}
                         : Packet{0xF6, group, code, p.columns, p.rows};
    }
    if (group == 0x02 && code == 0x03) return {0xF6, group, code, 0x00, p.extraColumns};
    if (group == 0x0F) {
        Packet r = vbuttonItem(c);
        if (r[0] != 0) return r;
    }
    if (group == 0x0E) {
        Packet r = eventHaltItem(c);
        if (r[0] != 0) return r;
    }
    if (group == 0x07 && code == 0x90 && c[3] == 0xAA) {
        // The frequency settle of the noise test.
        switch (c[4]) {
            case 0x00:
            case 0x02:
            case 0x05: return echo(c);
            case 0x01:
                if (p.settleOff) return {0xF6, 0x07, 0xFF, 0x00, 0x00};
                if (p.settleBusyPolls > 0) {
                    --p.settleBusyPolls;
                    return {0xF6, 0x07, 0x90, 0x00, 0x01};
                }
                return {0xF6, 0x07, 0x90, 0x00, 0x00};
            case 0x03: {
                if (p.settleOff) return {0xF6, 0x07, 0xFF, 0x00, 0x00};
                uint16_t v = 0;
                if (!p.settleValues.empty()) {
                    v = p.settleValues[std::min(p.settleNext, p.settleValues.size() - 1)];
                    ++p.settleNext;
                }
                return {0xF6, 0x07, 0x90, uint8_t(v >> 8), uint8_t(v & 0xFF)};
            }
            default: return itemRefused;
        }
    }
    if (code == 0x00) {
        // The presence mask: of the groups (group 0), or of a group's items.
        uint16_t mask = 0;
        auto count = [&](std::pair<uint8_t, uint8_t> at) {
            if (group == 0x00 && at.first >= 1 && at.first <= 15) mask |= uint16_t(1u << at.first);
            if (group != 0x00 && at.first == group && at.second < 16) mask |= uint16_t(1u << at.second);
        };
        bool known = false;
        for (const auto& [at, item] : p.items) count(at), known |= at.first == group;
        for (const auto& [at, item] : p.wordItems) count(at), known |= at.first == group;
        // Groups 0x10 and above exist only when they hold items.
        if (group >= 0x10 && !known) return itemRefused;
        return {0xF6, group, code, uint8_t(mask & 0xFF), uint8_t(mask >> 8)};
    }
    if (code <= 0x0F || (code >= 0x30 && code <= 0x7F)) {
        auto it = p.groupInfo.find({group, code});
        if (it == p.groupInfo.end()) return itemRefused;
        return {0xF6, group, code, it->second[0], it->second[1]};
    }
    if (code >= 0x10 && code <= 0x2F) {
        const uint8_t n = code & 0x0F;
        const bool second = code >= 0x20;
        if (auto w = p.wordItems.find({group, n}); w != p.wordItems.end()) {
            const uint16_t v = second ? w->second.maximum : w->second.value;
            return {0xF6, group, code, uint8_t(v & 0xFF), uint8_t(v >> 8)};
        }
        auto it = p.items.find({group, n});
        if (it == p.items.end()) return itemRefused;
        if (second) return {0xF6, group, code, 0x00, it->second.second};
        return {0xF6, group, code, it->second.maximum, it->second.value};
    }
    if (code >= 0x80 && code <= 0x8F) {
        if (auto w = p.wordItems.find({group, uint8_t(code - 0x80)}); w != p.wordItems.end()) {
            const uint16_t v = uint16_t(c[3] | c[4] << 8);
            if (v > w->second.maximum) return {0xF6, group, code, 0x00, 0xFF};
            keepFlash();
            const bool changed = w->second.value != v;
            w->second.value = v;
            return {0xF6, group, code, 0x00, uint8_t(changed ? 0x01 : 0x00)};
        }
        auto it = p.items.find({group, uint8_t(code - 0x80)});
        if (it == p.items.end()) return itemRefused;
        // A value above the maximum is not taken: 0xFF in byte 4; else byte 4 says whether it changed.
        if (c[4] > it->second.maximum) return {0xF6, group, code, 0x00, 0xFF};
        keepFlash();
        bool changed = it->second.value != c[4];
        it->second.value = c[4];
        return {0xF6, group, code, 0x00, uint8_t(changed ? 0x01 : 0x00)};
    }
    if (group == 0x00 && code == 0x90) {  // flush: RAM to flash
        flash = ram();
        if (!initial) initial = flash;
        return {0xF6, group, code, 0x00, p.flushDone};
    }
    if (group == 0x08 && code == 0x90) {  // activate the calibration parameters
        ++p.calibrationActivations;
        return {0xF6, group, code, 0x00, 0x00};
    }
    if (group == 0x08 && code == 0x91 && c[3] == 0 && c[4] == 0) {  // prepare a calibration
        ++p.calibrationPreSetups;
        return {0xF6, group, code, 0x00, 0x00};
    }
    if (group == 0x02 && code == 0xB0) {
        window = Window::PanelText;
        pending.fill(0);
        return {0xF6, group, code, 0x00, p.panelTextLength};
    }
    if (group == 0x02 && code == 0xB1) {
        if (window != Window::PanelText) return itemRefused;
        window = Window::None;
        keepFlash();
        std::copy_n(pending.begin(), p.panelText.size(), p.panelText.begin());
        return echo(c);
    }
    if (group == 0x00 && code == 0x9F && (c[4] == 0 || c[4] == 1)) {  // update lock
        p.updateLocked = c[4] == 1;
        return echo(c);
    }
    if (group == 0x00 && code == 0x91 && ((c[3] == 0 && c[4] == 0) || (c[3] == 0x55 && c[4] == 0xAA))) {
        ++p.itemReloads[c[3] ? 0x9155 : 0x91];
        reloadDefaults(c[3] != 0);
        return echo(c);
    }
    if (group == 0x00 && code == 0x92 && c[3] == 0 && c[4] == 0) {
        ++p.itemReloads[0x92];
        if (flash) load(*flash);
        return echo(c);
    }
    if (group == 0x00 && code == 0x9E) return echo(c);  // extra mode
    return itemRefused;
}

// The event halt of the debug group (14), which a firmware with debug items
// has; a reply with byte 0 = 0 means "not an event-halt command".
Packet Controller::Impl::eventHaltItem(const Packet& c) {
    auto& p = profile;
    const auto debug = [](const auto& m) {
        return std::any_of(m.begin(), m.end(), [](const auto& e) { return e.first.first == 0x0E; });
    };
    if (!debug(p.items) && !debug(p.wordItems)) return {};
    switch (c[2]) {
        case 0x50:
            if (p.groupInfo.count({0x0E, 0x50})) return {};  // a fixed state of the profile answers
            return {0xF6, 0x0E, 0x50, uint8_t(p.eventHaltSwitch ? p.eventHalt : 0), p.eventHaltSwitch};
        case 0x90:
            if (c[3] != 0 || c[4] > 1) return {0xF6, 0xFF, 0xFF, 0x00, 0x00};
            p.eventHaltSwitch = c[4];
            return echo(c);
        case 0x91:
            p.eventHalt = 0;
            return echo(c);
        default: return {};
    }
}

// The virtual-button table's commands of group 15; a reply with byte 0 = 0 means
// "not a table command", for the ordinary item handling.
Packet Controller::Impl::vbuttonItem(const Packet& c) {
    auto& p = profile;
    const Packet itemRefused{0xF6, 0xFF, 0xFF, 0x00, 0x00};
    const uint8_t code = c[2], e = c[3];
    switch (code) {
        case 0x02: return {0xF6, 0x0F, 0x02, p.vbuttonEntrySize, uint8_t(p.vbuttons.size())};
        case 0x03: {
            const uint16_t crc = p.vbuttonCrc ? *p.vbuttonCrc : VirtualKeyCrc(p);
            return {0xF6, 0x0F, 0x03, uint8_t(crc & 0xFF), uint8_t(crc >> 8)};
        }
        case 0xA0: {
            if (e >= p.vbuttons.size()) return itemRefused;
            Packet r{0xF6, 0, 0, 0, 0};
            for (size_t k = 0; k < 4; ++k) {
                const size_t at = size_t(c[4]) * 4 + k;
                r[1 + k] = at < 12 && at < p.vbuttonEntrySize ? p.vbuttons[e][at] : 0;
            }
            return r;
        }
        case 0xB0:
            if (e >= p.vbuttons.size()) return itemRefused;
            window = Window::VButton;
            windowEntry = e;
            pending.fill(0);
            return echo(c);
        case 0xB1:
            if (window != Window::VButton || windowEntry != e) return itemRefused;
            window = Window::None;
            keepKeyFlash();
            std::copy_n(pending.begin(), std::min<size_t>(p.vbuttonEntrySize, 12), p.vbuttons[e].begin());
            return echo(c);
        case 0x90:  // clear, load setting: F6 0F 9x 00 f
        case 0x92:
            if (c[3] != 0 || c[4] > 1) return itemRefused;
            keepKeyFlash();
            if (code == 0x90)
                for (auto& entry : p.vbuttons) entry.fill(0);
            else
                loadKeys(c[4] == 1 ? *p.vbuttonFlash : *p.vbuttonDefaults);
            return echo(c);
        case 0x91: {  // init: byte 4 = the entries the table holds
            const auto held = std::count_if(p.vbuttons.begin(), p.vbuttons.end(), [](const auto& entry) {
                return std::any_of(entry.begin(), entry.end(), [](uint8_t b) { return b != 0; });
            });
            return {0xF6, 0x0F, 0x91, 0x00, uint8_t(held)};
        }
        case 0x93:  // write to flash, erase: F6 0F 9x AA 55
        case 0x94:
            if (c[3] != 0xAA || c[4] != 0x55) return itemRefused;
            keepKeyFlash();
            if (code == 0x93)
                p.vbuttonFlash = p.vbuttons;
            else
                for (auto& entry : *p.vbuttonFlash) entry.fill(0);
            return echo(c);
        default: return Packet{0, 0, 0, 0, 0};
    }
}

// F8: the force-touch table and switch.
Packet Controller::Impl::forceTouch(const Packet& c) {
    if (!profile.forceTouch) return refusal(c);
    ForceTouchProfile& f = *profile.forceTouch;
    switch (c[1]) {
        case 0x00: return {0xF8, 0x00, f.info, uint8_t(f.rows << 4 | (f.columns & 0x0F)), f.info2};
        case 0x01: f.on = c[4] != 0; return echo(c);
        case 0x02: {
            const uint16_t v = f.values.count(c[2]) ? f.values[c[2]] : 0;
            return {0xF8, 0x02, c[2], uint8_t(v & 0xFF), uint8_t(v >> 8)};
        }
        case 0x03: f.values[c[2]] = uint16_t(c[3] | c[4] << 8); return echo(c);
        default: return refusal(c);
    }
}

// E3 00 00 00 00: table sizes; E3 01 i 00 n: panel-size entry i (n = 0, 1 the
// name, 2 size and flags); E3 02 i 00 00: cover-lens entry i.
Packet Controller::Impl::panelText(const Packet& c) const {
    const auto& p = profile;
    const uint8_t kind = c[1], index = c[2], n = c[4];
    if (kind == 0x00)
        return {0xE3, 0x00, uint8_t(p.panelSizes.size()), uint8_t(p.coverLenses.size()), 0x00};
    if (kind == 0x01 && index < p.panelSizes.size()) {
        const PanelSizeEntry& e = p.panelSizes[index];
        if (n == 0) return {0xE3, e.name[0], e.name[1], e.name[2], e.name[3]};
        if (n == 1) return {0xE3, e.name[4], e.name[5], e.name[6], e.name[7]};
        if (n == 2) return {0xE3, e.inches, e.tenthsAndFlags, 0x00, 0x00};
        if (n == 5) return withBytes(0xE3, e.dimension);
    }
    if (kind == 0x02 && index < p.coverLenses.size() && n == 0) {
        const CoverLensEntry& e = p.coverLenses[index];
        return {0xE3, e.thickness, e.thicknessTo, e.material, e.mark};
    }
    return refusal(c);
}

// E0 00 FF 00 p: page 0 as the profile says; page 1 shows diagnostic mode in bit 7 of byte 2.
Packet Controller::Impl::stateExPage(uint8_t page) const {
    if (page == 0) return withBytes(0xE0, profile.stateEx);
    if (page == 1) {
        auto w = profile.stateEx1;
        w[1] = diagnostic ? uint8_t(w[1] | 0x80) : uint8_t(w[1] & 0x7F);
        return withBytes(0xE0, w);
    }
    return Packet{0xE0, 0, 0, 0, 0};
}

// F9 FF 90 00 v (new form) and F9 00 00 C0 01 / F9 00 00 00 00 (old form): enter and leave
// diagnostic mode. F9 FF 00 00 00 is the capability query.
void Controller::Impl::loadFrame(uint8_t kind) {
    const std::vector<uint16_t> frame = SensorFrame(profile, kind, scanCount, scanPattern);
    bulkData.resize(frame.size() * 2);
    for (size_t i = 0; i < frame.size(); ++i) {
        bulkData[2 * i] = uint8_t(frame[i] & 0xFF);
        bulkData[2 * i + 1] = uint8_t(frame[i] >> 8);
    }
}

// The scan, progress and load commands of a controller with a sensor model.
std::optional<Packet> Controller::Impl::sensorCommand(const Packet& c, uint64_t nowMs) {
    if (!profile.sensor) return std::nullopt;
    const SensorProfile& s = *profile.sensor;
    auto progress = [&] {
        uint64_t el = nowMs - scanStartMs;
        uint8_t total = s.progressTotal;
        uint64_t done = s.scanMs == 0 ? total : std::min<uint64_t>(total, el * total / s.scanMs);
        return std::pair<uint8_t, uint8_t>{total, uint8_t(done)};
    };
    const bool older = c[1] == 0x00;
    if ((c[1] == 0xFF && c[2] == 0x91) || (older && c[2] == 0x00 && c[3] == 0xC0 && c[4] <= 0x01)) {
        ++scanCount;
        scanStartMs = nowMs;
        scanPattern = pattern;
        loadFrame(kSensorRaw);
        if (older && c[4] == 0x01) diagnostic = true;  // the older enter starts a scan in diagnostic mode
        return echo(c);
    }
    if (c[1] == 0xFF && c[2] == 0x92) {
        loadFrame(c[4]);
        return echo(c);
    }
    if (older && c[2] == 0xAA && c[3] == 0x00) {
        loadFrame(c[4]);
        return echo(c);
    }
    if (c[1] == 0xFF && c[2] == 0x93 && c[3] == 0x00) return echo(c);
    if (c[1] == 0xFF && c[2] == 0x10 && c[3] == 0x00 && c[4] == 0x00) {
        auto [total, done] = progress();
        return Packet{0xF9, 0x00, 0x00, total, done};
    }
    if (older && c[2] == 0x00 && c[3] == 0x80) {
        auto [total, done] = progress();
        return Packet{0xF9, total, done, 0x00, 0x00};
    }
    return std::nullopt;
}

Packet Controller::Impl::diagnosticMode(const Packet& c, uint64_t nowMs) {
    if (auto r = sensorCommand(c, nowMs)) return *r;
    if (c[1] == 0xFF && c[2] == 0 && c[3] == 0 && c[4] == 0) {
        if (!profile.capability) return refusal(c);
        return withBytes(0xF9, *profile.capability);
    }
    if (c[1] == 0xFF && c[2] == 0x90 && c[3] == 0 && (c[4] == 0 || c[4] == 1)) {
        diagnostic = c[4] == 1;
        return echo(c);
    }
    if (c[1] == 0 && c[2] == 0 && c[3] == 0xC0 && c[4] == 1) {
        diagnostic = true;
        return echo(c);
    }
    if (c[1] == 0 && c[2] == 0 && c[3] == 0 && c[4] == 0) {
        diagnostic = false;
        return echo(c);
    }
    return refusal(c);
}

// E5 00 00 00 1: rows, columns, 0, extra columns in the high nibble (bit 0 clear:
// rows first). E5 00 00 00 2: the full extra-column count in byte 1, for counts the
// nibble cannot hold.
Packet Controller::Impl::olderGeometry(const Packet& c) const {
    const auto& p = profile;
    if (c[4] == 1) {
        uint8_t nibble = p.extraColumns > 15 ? 0xF0 : uint8_t(p.extraColumns << 4);
        return {0xE5, p.rows, p.columns, 0x00, nibble};
    }
    if (c[4] == 2) return {0xE5, p.extraColumns, 0x00, 0x00, 0x00};
    if (c[4] == 0) return withBytes(0xE5, p.resolutionE5);
    return refusal(c);
}

// E8 row col row col2: two frame values (low byte first) of the given row.
Packet Controller::Impl::wordRead(const Packet& c) const {
    size_t perRow = size_t(profile.columns) + profile.extraColumns + 1;
    uint16_t a = frameWord(size_t(c[1]) * perRow + c[2]);
    uint16_t b = frameWord(size_t(c[3]) * perRow + c[4]);
    // E8 00 00 00 00 carries its one value in bytes 3..4 only.
    if (c[1] == 0 && c[2] == 0 && c[3] == 0 && c[4] == 0) a = 0;
    return {0xE8, uint8_t(a & 0xFF), uint8_t(a >> 8), uint8_t(b & 0xFF), uint8_t(b >> 8)};
}

std::optional<Packet> Controller::Impl::firmware(const Packet& c, uint64_t nowMs) {
    auto& p = profile;
    const bool current = p.series == Series::Current;
    // D4 00 AA 00 00 starts the boot loader only right after D4 00 00 00 00.
    const bool switchArmed = bootSwitchArmed;
    bootSwitchArmed = false;
    // Asleep, the controller hears only the loop-back that wakes it.
    if (p.asleep && c[0] != 0xFC) return std::nullopt;
    // While a text or table write is open, word packets fill it: [index][4 bytes].
    if (window != Window::None && c[0] < 0x10) {
        std::copy_n(c.begin() + 1, 4, pending.begin() + size_t(c[0]) * 4);
        return echo(c);
    }
    if (auto b = detail::BootCommand(p, bootSessions, selected, c, &reenumerate, &bootExit)) return b->reply;
    if (auto r = detail::ScanCommand(p, &pattern, c)) return *r;
    switch (c[0]) {
        case 0xF8: return forceTouch(c);
        case 0xE6:
            if (p.antiNoiseRegister && c[1] == 0x01) {
                auto& a = *p.antiNoiseRegister;
                if (c[2] == 0x00) return Packet{0xE6, 0x00, 0x55, 0x00, a.maximum};
                if (c[2] == 0x01) return Packet{0xE6, 0x00, 0x00, a.second, a.value};
                if (c[2] == 0x0F && c[4] == 0) {
                    a.value = c[3];
                    return echo(c);
                }
            }
            return refusal(c);
        case 0xEE: return identity(c);
        case 0xED: return bootState(c);
        case 0xFF:
            if (p.series == Series::Ostra) {
                if (p.resolutionShift && c[1] == 0 && c[2] == 0 && c[3] == 0 && c[4] == 0)
                    return Packet{0xFF, 0x00, 0x00, 0x00, *p.resolutionShift};
                return echo(c);
            }
            if (p.series == Series::Melk) return std::nullopt;
            return refusal(c);
        case 0xF2:
            if (p.boot && current && c[1] == 0 && c[2] == 0 && c[3] == 0) {  // the baud code
                writeByte4(0x00, 0x02, c[4]);
                return echo(c);
            }
            if (p.series == Series::Melk && c[1] == 0 && c[2] == 0)
                return Packet{0xF2, 0xD9, p.major, p.minor, uint8_t(p.inBoot ? 0xAA : 0x00)};
            if (!current && c[1] == 0 && c[2] == 0x7C && c[4] == p.monitorKey) {
                p.monitorId = c[3];
                return echo(c);
            }
            return refusal(c);
        case 0xE7:
            if (current) return memoryQuery(p, c);
            if (p.series == Series::Ostra) return customerBytes(c);
            return refusal(c);
        case 0xEB:
            if (current) return customerBytes(c);
            return refusal(c);
        case 0xEF:
            if (p.selectedSlaveAnswers && selected && *selected < p.slaves.size() && !p.slavesShareIc)
                return Packet{0xEF, p.slaveCount, p.icFlags, p.slaves[*selected].icInfo, p.dualBootState};
            return Packet{0xEF, p.slaveCount, p.icFlags, p.icInfo, p.dualBootState};
        case 0xE0:
            if (c[1] == 0xC0 && c[2] >= 0x80 && c[2] < 0x80 + p.panelText.size()) {
                Packet r{0xE0, 0, 0, 0, 0};
                for (size_t k = 0; k < 4; ++k) {
                    const size_t at = size_t(c[2] - 0x80) + k;
                    r[4 - k] = at < p.panelText.size() ? p.panelText[at] : 0;
                }
                return r;
            }
            if (c[1] == 0x00 && c[2] == 0xFB && !overridden(0x00, 0xFB)) {
                if (!p.listDescriptor) return refusal(c);
                return withBytes(0xE0, *p.listDescriptor);
            }
            if (c[1] == 0xB0 && !p.constants.empty()) return constantWord(0xE0, c[2]);
            if (c[1] == 0x00 && c[2] == 0xFA && !overridden(0x00, 0xFA))
                if (auto crc = ParameterListCrc(p)) return Packet{0xE0, uint8_t(*crc & 0xFF), uint8_t(*crc >> 8), 0x00, 0x00};
            if (c[1] == 0x00 && c[2] == 0xF7 && c[3] == 0 && c[4] == 0 && p.readyAfterPolls) {
                // The key counts down the reads still to answer "not ready".
                auto w = read(0x00, 0xF7);
                const bool ready = *p.readyAfterPolls == 0;
                if (!ready) --*p.readyAfterPolls;
                w[0] = ready ? uint8_t(w[0] | 0x01) : uint8_t(w[0] & 0xFE);
                return withBytes(0xE0, w);
            }
            if (auto r = memoryRead(c)) return *r;
            if (!knownBank(c[1])) return refusal(c);
            if (c[1] == 0x00 && c[2] == 0xFF && !overridden(0x00, 0xFF)) return stateExPage(c[4]);
            if (c[1] == 0x00 && c[2] == 0xED && !overridden(0x00, 0xED)) {
                auto it = p.icWords.find(c[4]);
                if (it == p.icWords.end()) return refusal(c);
                return withBytes(0xE0, it->second);
            }
            return withBytes(0xE0, read(c[1], c[2]));
        case 0xE1:
            if (auto r = memoryWrite(c)) return *r;
            if (!knownBank(c[1])) return refusal(c);
            writeByte4(c[1], c[2], c[4]);
            return echo(c);
        case 0xE3: return panelText(c);
        case 0xE9: return withBytes(0xE9, p.bridge);
        case 0xEA:  // flush the parameters to flash
            if (c[1] == 0 && (c[2] == 0x00 || c[2] == 0xAA) && c[3] == 0 && c[4] == 0) {
                // The parameter memory goes to flash (a reset keeps it from then on).
                flash = ram();
                if (!initial) initial = flash;
                if (c[2] == 0xAA) flushedWords = words;
                return echo(c);
            }
            return refusal(c);
        case 0xEC: {  // reload the registers: EC 00 AA 00 v arms, EC 00 00 00 v reloads
            const bool armed = reloadArmed;
            reloadArmed = false;
            if (c[1] != 0 || c[3] != 0 || c[4] > 1) return refusal(c);
            if (c[2] == 0xAA) {
                reloadArmed = true;
                return echo(c);
            }
            if (c[2] == 0x00 && armed) {
                words = c[4] == 0 ? p.defaultWords : flushedWords;
                ++p.registerReloads;
                return echo(c);
            }
            if (c[2] == 0x00) return echo(c);  // a repeated EC 00 00 .. changes nothing more
            return refusal(c);
        }
        case 0xF6: return paramItem(c);
        case 0xE5: return olderGeometry(c);
        case 0xE8: return wordRead(c);
        case 0xF9: return diagnosticMode(c, nowMs);
        case 0xFA: {
            bool query = c[1] == 0xFF && c[2] == 0 && c[3] == 0 && c[4] == 0;
            bool start = c[1] == 0x00 && c[2] == 0x55 && c[3] == 0 && c[4] == 0;
            if (!(query || start) || !p.reportLength) return refusal(c);
            if (start) arm();
            return Packet{0xFA, uint8_t(*p.reportLength & 0xFF), uint8_t(*p.reportLength >> 8), 0x00, 0x00};
        }
        case 0xD2: return withBytes(0xD2, p.d2Reply);
        case 0xD3:
            if (c[1] == 0 && (c[2] == 0x00 || c[2] == 0xAA) && c[4] == 0x01 && p.bootPacketSize)
                return Packet{0xD3, uint8_t(*p.bootPacketSize & 0xFF), uint8_t(*p.bootPacketSize >> 8), 0x00, 0x01};
            return refusal(c);
        case 0xD4:
            if (c[1] == 0 && c[2] == 0x00 && c[3] == 0 && c[4] == 0) {
                bootSwitchArmed = true;
                return echo(c);
            }
            if (c[1] == 0 && c[2] == 0xAA && c[3] == 0 && c[4] == 0 && switchArmed) {
                p.inBoot = true;
                return Packet{0xD4, 0x00, 0xAA, 0x00, p.bootSwitchMs};
            }
            return refusal(c);
        case 0xF4:
            // F4 00 AA .. selects the master, F4 00 k .. 01 slave k; byte 1 of the
            // answer is the transfer size of the slave's boot loader, 0 while it
            // runs its firmware.
            if (c[2] == 0xAA) {
                selected.reset();
                return echo(c);
            }
            if (c[2] == 0x00 && c[3] == 0 && c[4] == 0x00) {  // back to the master
                selected.reset();
                return echo(c);
            }
            if (c[4] == 0x01) {
                const bool scanning = read(0x00, 0xF0)[3] & 0x01;
                if (p.slaveSelectNeedsQuiet && scanning && !diagnostic) return refusal(c);
                selected = c[2];
                const bool boot = c[2] < p.slaves.size() && p.slaves[c[2]].inBoot;
                return Packet{0xF4, uint8_t(boot ? p.slaves[c[2]].transferSize : 0), c[2], c[3], c[4]};
            }
            return echo(c);
        case 0xF3:
            if (c[1] == 0x00 && c[2] == 0x07 && p.f3UpdateLock) {
                if (c[4] <= 1) p.updateLocked = c[4] == 1;
                return Packet{0xF3, 0xAA, 0x07, 0x00, c[4]};
            }
            if (c[1] == 0x00 && c[2] == 0x01 && c[3] == 0x00) {  // glove mode
                p.gloveMode = c[4];
                return echo(c);
            }
            if (!current && c[1] == 0x00 && c[2] == 0x7C && c[3] == 0 && c[4] == 0)
                return Packet{0xF3, 0x00, 0x7C, p.monitorId, p.monitorKey};
            return refusal(c);
        case 0xF7:
            if (c[1] == 0 && c[2] == 0 && c[3] == 0 && c[4] <= 1) p.updateLocked = c[4] == 1;
            return echo(c);
        // F0 / F1 00 00 00 v: v = 1 switches the data report, otherwise scanning.
        case 0xF0: setStateBit(c[4] == 1 ? 0x02 : 0x01, false); return echo(c);
        case 0xF1: setStateBit(c[4] == 1 ? 0x02 : 0x01, true); return echo(c);
        case 0xE4:
            if (c[1] == 0x01 && c[2] == 0 && c[3] == 0 && c[4] <= 0x01) {  // start a build: 0 older, 1 newer
                building = true;
                olderBuild = c[4] == 0x00;
                buildReadsLeft = p.buildPolls;
                srStatus |= 0x0101;
                return echo(c);
            }
            if (c[1] == 0x01 && c[4] == 0x02) {  // save the base
                busyUntilMs = nowMs + p.saveBaseBusyMs;
                srStatus = uint16_t((srStatus & ~0x0001) | p.saveStatus);
                return echo(c);
            }
            if (c[1] == 0x01 && c[2] == 0 && c[3] == 0 && c[4] == 0xFF) {  // erase: the reference is gone
                srStatus |= 0x0001;
                return echo(c);
            }
            if (c[1] == 0x00 && c[2] == 0 && c[3] == 0 && c[4] == 0x01) return withBytes(0xE4, p.modeInvalid);
            if (c[1] == 0x00) {
                if (building && buildReadsLeft == 0) {
                    building = false;
                    srStatus &= olderBuild ? uint16_t(~0x0101) : uint16_t(~0x0100);
                } else if (building) {
                    --buildReadsLeft;
                }
                uint16_t status = uint16_t(srStatus | (nowMs < busyUntilMs ? 0x0200 : 0x0000));
                // Bytes 1..2: the system-reference version, minor then major.
                return Packet{0xE4, uint8_t(p.srVersion % 100), uint8_t(p.srVersion / 100 & 0xFF),
                              uint8_t(status >> 8), uint8_t(status & 0xFF)};
            }
            return refusal(c);
        case 0xFE:  // reset: the firmware starts over from what flash holds
            if (flash) load(*flash);
            if (p.vbuttonFlash) loadKeys(*p.vbuttonFlash);
            window = Window::None;
            disarm();
            diagnostic = false;
            selected.reset();
            pattern = 0;
            return echo(c);
        case 0xC0: {
            auto it = p.infoWords.find(c[2]);
            return it == p.infoWords.end() ? Packet{0xC0, 0, 0, 0, 0} : withBytes(0xC0, it->second);
        }
        case 0xC1: return constantWord(0xC1, c[2]);
        case 0xFC:  // loop-back: the packet comes back as it was sent (and wakes a sleeper)
            if (p.series == Series::Melk) return refusal(c);
            p.asleep = false;
            return echo(c);
        case 0xE2:  // sleep
            if (c[1] != 0 || c[2] != 0 || c[3] != 0 || c[4] != 0) return refusal(c);
            p.asleep = true;
            return echo(c);
        default: return refusal(c);
    }
}

uint32_t* DriverSettings::word(uint32_t code) {
    switch (code) {
        case 0x223C80: return &versionWord;
        case 0x223D34: return &touchType;
        case 0x223D20: return &dataReport;
        case 0x223DAC: return &monitorId;
        case 0x223C20: return &rightButton;
        case 0x223C70: return &touchAndHold;
        default: return nullptr;
    }
}

XferError DriverSettings::ioctl(uint32_t code, const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen,
                                uint32_t* returned) {
    if (returned) *returned = 0;
    uint32_t* w = word(code);
    const bool writes = in && inLen >= 4, reads = out && outLen >= 4;
    if (!w || (!writes && !reads)) return XferError::InvalidParameter;
    if (writes) *w = getLE32(in);
    if (reads) {
        putLE32(out, *w);
        if (returned) *returned = 4;
    }
    return XferError::None;
}

PacketPrefix::PacketPrefix(const Packet& bytes, const Packet& mask) : mask_(mask) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = uint8_t(bytes[i] & mask[i]);
}

PacketPrefix PacketPrefix::code(uint8_t code) { return PacketPrefix({code, 0, 0, 0, 0}, {0xFF, 0, 0, 0, 0}); }

PacketPrefix PacketPrefix::exact(const Packet& command) {
    return PacketPrefix(command, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
}

bool PacketPrefix::matches(const Packet& command) const {
    for (size_t i = 0; i < command.size(); ++i)
        if ((command[i] & mask_[i]) != bytes_[i]) return false;
    return true;
}

int PacketPrefix::weight() const {
    int bits = 0;
    for (uint8_t m : mask_)
        for (; m; m &= uint8_t(m - 1)) ++bits;
    return bits;
}

Controller::Controller(ControllerProfile profile) : impl_(std::make_shared<Impl>()) {
    impl_->profile = std::move(profile);
}

void Controller::attach(std::shared_ptr<std::recursive_mutex> lock) { impl_->lock = std::move(lock); }

ControllerProfile& Controller::profile() { return impl_->profile; }

void Controller::editProfile(const std::function<void(ControllerProfile&)>& edit) {
    std::lock_guard g(*impl_->lock);
    edit(impl_->profile);
}

std::array<uint8_t, 4> Controller::reg(uint8_t bank, uint8_t addr) const {
    std::lock_guard g(*impl_->lock);
    return impl_->read(bank, addr);
}

void Controller::setReg(uint8_t bank, uint8_t addr, std::array<uint8_t, 4> value) {
    std::lock_guard g(*impl_->lock);
    impl_->words[Impl::key(bank, addr)] = value;
}

void Controller::setReply(const Packet& command, const Packet& reply) {
    setReply(PacketPrefix::exact(command), reply);
}

void Controller::setReply(const PacketPrefix& commands, const Packet& reply) {
    std::lock_guard g(*impl_->lock);
    setEntry(impl_->fixedReplies, commands, reply);
}

void Controller::setReply(const PacketPrefix& commands, const Packet& reply, int count) {
    std::lock_guard g(*impl_->lock);
    if (count <= 0) return;
    setEntry(impl_->countedReplies, commands, Impl::CountedReply{reply, count});
}

void Controller::clearReplies() {
    std::lock_guard g(*impl_->lock);
    impl_->fixedReplies.clear();
    impl_->countedReplies.clear();
}

void Controller::refuse(uint8_t code, int count) { refuse(PacketPrefix::code(code), count); }

void Controller::silence(uint8_t code, int count) { silence(PacketPrefix::code(code), count); }

void Controller::refuse(const PacketPrefix& commands, int count) {
    std::lock_guard g(*impl_->lock);
    if (count == 0) return;
    setEntry(impl_->faults, commands, Fault{Fault::Refuse, count});
}

void Controller::silence(const PacketPrefix& commands, int count) {
    std::lock_guard g(*impl_->lock);
    if (count == 0) return;
    setEntry(impl_->faults, commands, Fault{Fault::Silence, count});
}

void Controller::clearFaults() {
    std::lock_guard g(*impl_->lock);
    impl_->faults.clear();
    impl_->disconnectCountdown = -1;
    impl_->faultAtCountdown = -1;
}

void Controller::disconnectAfter(int commands) {
    std::lock_guard g(*impl_->lock);
    if (commands <= 0) {
        impl_->connected = false;
        impl_->disconnectCountdown = -1;
    } else {
        impl_->disconnectCountdown = commands;
    }
}

void Controller::reconnect() {
    std::lock_guard g(*impl_->lock);
    impl_->connected = true;
    impl_->disconnectCountdown = -1;
}

void Controller::faultAt(int n, bool silence) {
    std::lock_guard g(*impl_->lock);
    impl_->faultAtCountdown = n > 0 ? n : -1;
    impl_->faultAtSilence = silence;
}

void Controller::outputReport(const uint8_t* bytes, size_t len) {
    std::lock_guard g(*impl_->lock);
    if (!impl_->connected) return;
    detail::BootOutputReport(impl_->profile, impl_->bootSessions, impl_->selected, bytes, len);
}

bool Controller::takeReenumerate() {
    std::lock_guard g(*impl_->lock);
    return std::exchange(impl_->reenumerate, false);
}

bool Controller::connected() const {
    std::lock_guard g(*impl_->lock);
    return impl_->connected;
}

std::optional<Packet> Controller::handle(const Packet& command, Link link, uint64_t nowMs) {
    std::lock_guard g(*impl_->lock);
    Impl& m = *impl_;
    if (!m.connected) return std::nullopt;

    // A new command ends a bulk transfer the host did not finish.
    m.disarm();

    std::optional<Packet> reply;
    const bool faultNow = m.faultAtCountdown > 0 && --m.faultAtCountdown == 0;
    if (faultNow) {
        m.faultAtCountdown = -1;
        if (!m.faultAtSilence) reply = refusal(command);
    } else if (auto f = bestMatch(m.faults, command); f != m.faults.end()) {
        if (f->second.kind == Fault::Refuse) reply = refusal(command);
        if (f->second.remaining > 0 && --f->second.remaining == 0) m.faults.erase(f);
    } else if (auto n = bestMatch(m.countedReplies, command); n != m.countedReplies.end()) {
        reply = n->second.reply;
        if (--n->second.remaining == 0) m.countedReplies.erase(n);
    } else if (auto r = bestMatch(m.fixedReplies, command); r != m.fixedReplies.end()) {
        reply = r->second;
    } else {
        reply = m.firmware(command, nowMs);
    }

    m.trace.push_back(TraceEntry{nowMs, link, command, reply.has_value()});

    // A loader that left: its chip comes back silent, or never (after this answer).
    if (auto exit = std::exchange(m.bootExit, std::nullopt)) {
        if (*exit == BootFlash::Exit::Never) m.connected = false;
        if (*exit == BootFlash::Exit::Silent) setEntry(m.faults, PacketPrefix(), Fault{Fault::Silence, -1});
    }
    if (m.disconnectCountdown > 0 && --m.disconnectCountdown == 0) {
        m.connected = false;
        m.disconnectCountdown = -1;
    }
    return reply;
}

std::vector<TraceEntry> Controller::trace() const {
    std::lock_guard g(*impl_->lock);
    return impl_->trace;
}

void Controller::clearTrace() {
    std::lock_guard g(*impl_->lock);
    impl_->trace.clear();
}

void Controller::setBulkData(std::vector<uint8_t> bytes) {
    std::lock_guard g(*impl_->lock);
    impl_->bulkData = std::move(bytes);
}

std::vector<uint8_t> Controller::takeBulk(size_t n) {
    std::lock_guard g(*impl_->lock);
    Impl& m = *impl_;
    if (!m.armed) return {};
    size_t count = std::min(n, m.bulk.size() - m.bulkPos);
    std::vector<uint8_t> out(m.bulk.begin() + long(m.bulkPos), m.bulk.begin() + long(m.bulkPos + count));
    m.bulkPos += count;
    if (m.bulkPos >= m.bulk.size()) m.disarm();
    return out;
}

bool Controller::bulkArmed() const {
    std::lock_guard g(*impl_->lock);
    return impl_->armed;
}

}  // namespace qvsim
