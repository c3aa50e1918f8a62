// The controller firmware model: one 5-byte command in, one 5-byte reply (or
// nothing) out.
//
// Order of decisions for every command:
//   1. a controller that went away (disconnectAfter) takes nothing;
//   2. an injected fault for the code (refuse / silence) wins;
//   3. a fixed reply set with setReply for the exact packet;
//   4. the firmware's own answer by series.
// Every command that reached the firmware is traced, answered or not.

#include "qvsim.h"

#include <algorithm>

namespace qvsim {

namespace {

constexpr uint8_t kRefused = 0xAA;

Packet refusal(const Packet& c) { return {kRefused, c[0], c[1], c[2], c[3]}; }
Packet echo(const Packet& c) { return c; }
Packet withBytes(uint8_t code, const std::array<uint8_t, 4>& b) { return {code, b[0], b[1], b[2], b[3]}; }

bool knownBank(uint8_t bank) { return bank == 0x00 || bank == 0x80 || bank == 0x90; }

struct Fault {
    enum Kind { Refuse, Silence } kind;
    int remaining;  // -1: until cleared
};

}  // namespace

struct Controller::Impl {
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();
    ControllerProfile profile;

    // Words written by E1 or setReg. A word listed here hides the profile field
    // that would otherwise describe it.
    std::map<uint16_t, std::array<uint8_t, 4>> words;

    std::map<Packet, Packet> fixedReplies;
    std::map<uint8_t, Fault> faults;
    int disconnectCountdown = -1;  // -1: none pending
    bool connected = true;

    std::vector<TraceEntry> trace;

    std::vector<uint8_t> bulkData;
    std::vector<uint8_t> bulk;  // the armed transfer (a copy of bulkData)
    size_t bulkPos = 0;
    bool armed = false;

    uint64_t busyUntilMs = 0;

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

    std::array<uint8_t, 4> read(uint8_t bank, uint8_t addr) const {
        if (auto it = words.find(key(bank, addr)); it != words.end()) return it->second;
        if (auto* w = const_cast<Impl*>(this)->profileWord(bank, addr)) return *w;
        if (isScanModeWord(bank, addr)) return {0, 0, 0, profile.scanMode};
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
        } else {
            words[key(bank, addr)] = {0, 0, 0, value};
        }
    }

    void setScanBit(bool on) {
        auto w = read(0x00, 0xF0);
        w[3] = on ? uint8_t(w[3] | 0x01) : uint8_t(w[3] & ~0x01);
        writeByte4(0x00, 0xF0, w[3]);
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

    std::optional<Packet> firmware(const Packet& c, uint64_t nowMs);
    std::optional<Packet> identity(const Packet& c) const;
    std::optional<Packet> bootState(const Packet& c) const;
    Packet paramItem(const Packet& c) const;
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
    uint8_t lo = uint8_t(p.identityNumber & 0xFF), hi = uint8_t(p.identityNumber >> 8);
    if (p.series == Series::Ostra) return Packet{0xEE, hi, lo, 0x00, p.major};
    return Packet{0xEE, lo, hi, p.major, p.letter};
}

std::optional<Packet> Controller::Impl::bootState(const Packet&) const {
    const auto& p = profile;
    if (p.series == Series::Melk) return std::nullopt;
    // State A / state B as a host decodes them: AA 55 while the boot loader runs.
    uint8_t stateA = p.inBoot ? 0xAA : 0x00, stateB = p.inBoot ? 0x55 : 0x00;
    // Ostra sends minor in byte 2, state B in byte 3 and state A in byte 4.
    if (p.series == Series::Ostra) return Packet{0xED, 0x00, p.minor, stateB, stateA};
    return Packet{0xED, p.minor, p.customer, stateA, stateB};
}

Packet Controller::Impl::paramItem(const Packet& c) const {
    const auto& p = profile;
    const Packet itemRefused{0xF6, 0xFF, 0xFF, 0x00, 0x00};
    if (p.paraVersion == 0) return itemRefused;
    uint8_t group = c[1], item = c[2];
    if (group == 0x00 && item == 0x10)
        return {0xF6, group, item, uint8_t(p.paraVersion / 100), uint8_t(p.paraVersion % 100)};
    if (group == 0x02 && item == 0x02) {
        // Bit 4 of feature byte 2 says rows come first; otherwise columns do.
        bool rowsFirst = p.featureF4[2] & 0x10;
        return rowsFirst ? Packet{0xF6, group, item, p.rows, p.columns}
                         : Packet{0xF6, group, item, p.columns, p.rows};
    }
    if (group == 0x02 && item == 0x03) return {0xF6, group, item, 0x00, p.extraColumns};
    return itemRefused;
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
    return refusal(c);
}

// E8 row col row col2: two frame values (low byte first) of the given row.
Packet Controller::Impl::wordRead(const Packet& c) const {
    size_t perRow = size_t(profile.columns) + profile.extraColumns + 1;
    uint16_t a = frameWord(size_t(c[1]) * perRow + c[2]);
    uint16_t b = frameWord(size_t(c[3]) * perRow + c[4]);
    return {0xE8, uint8_t(a & 0xFF), uint8_t(a >> 8), uint8_t(b & 0xFF), uint8_t(b >> 8)};
}

std::optional<Packet> Controller::Impl::firmware(const Packet& c, uint64_t nowMs) {
    const auto& p = profile;
    const bool current = p.series == Series::Current;
    switch (c[0]) {
        case 0xEE: return identity(c);
        case 0xED: return bootState(c);
        case 0xFF:
            if (p.series == Series::Ostra) return echo(c);
            if (p.series == Series::Melk) return std::nullopt;
            return refusal(c);
        case 0xF2:
            if (p.series == Series::Melk && c[1] == 0 && c[2] == 0)
                return Packet{0xF2, 0xD9, p.major, p.minor, uint8_t(p.inBoot ? 0xAA : 0x00)};
            return refusal(c);
        case 0xE7:
            if (current) return Packet{0xE7, 0x00, uint8_t(p.fastTiming ? 0x55 : 0x00), 0x00, 0x00};
            if (p.series == Series::Ostra) return withBytes(0xE7, p.customerBytes);
            return refusal(c);
        case 0xEB:
            if (current) return withBytes(0xEB, p.customerBytes);
            return refusal(c);
        case 0xEF: return Packet{0xEF, p.slaveCount, 0x00, 0x00, p.dualBootState};
        case 0xE0:
            if (!knownBank(c[1])) return refusal(c);
            return withBytes(0xE0, read(c[1], c[2]));
        case 0xE1:
            if (!knownBank(c[1])) return refusal(c);
            writeByte4(c[1], c[2], c[4]);
            return echo(c);
        case 0xE9: return withBytes(0xE9, p.bridge);
        case 0xF6: return paramItem(c);
        case 0xE5: return olderGeometry(c);
        case 0xE8: return wordRead(c);
        case 0xF9:
            if (c[1] == 0xFF && c[2] == 0 && c[3] == 0 && c[4] == 0) {
                if (!p.capability) return refusal(c);
                return withBytes(0xF9, *p.capability);
            }
            return refusal(c);
        case 0xFA: {
            bool query = c[1] == 0xFF && c[2] == 0 && c[3] == 0 && c[4] == 0;
            bool start = c[1] == 0x00 && c[2] == 0x55 && c[3] == 0 && c[4] == 0;
            if (!(query || start) || !p.reportLength) return refusal(c);
            if (start) arm();
            return Packet{0xFA, uint8_t(*p.reportLength & 0xFF), uint8_t(*p.reportLength >> 8), 0x00, 0x00};
        }
        case 0xD2: return withBytes(0xD2, p.d2Reply);
        case 0xF4: return echo(c);
        case 0xF3:
            if (c[1] == 0x00 && c[2] == 0x07 && p.f3UpdateLock) return Packet{0xF3, 0xAA, 0x07, 0x00, c[4]};
            return refusal(c);
        case 0xF7: return echo(c);
        case 0xF0: setScanBit(false); return echo(c);
        case 0xF1: setScanBit(true); return echo(c);
        case 0xE4:
            if (c[1] == 0x01 && c[4] == 0x02) {  // save the base
                busyUntilMs = nowMs + p.saveBaseBusyMs;
                return echo(c);
            }
            if (c[1] == 0x00) {
                uint16_t status = nowMs < busyUntilMs ? 0x0200 : 0x0000;
                return Packet{0xE4, 0x00, 0x00, uint8_t(status >> 8), uint8_t(status & 0xFF)};
            }
            return refusal(c);
        case 0xFE:
            disarm();
            return echo(c);
        case 0xC0:
        case 0xC1: return Packet{c[0], 0, 0, 0, 0};
        default: return refusal(c);
    }
}

Controller::Controller(ControllerProfile profile) : impl_(std::make_shared<Impl>()) {
    impl_->profile = std::move(profile);
}

void Controller::attach(std::shared_ptr<std::recursive_mutex> lock) { impl_->lock = std::move(lock); }

ControllerProfile& Controller::profile() { return impl_->profile; }

std::array<uint8_t, 4> Controller::reg(uint8_t bank, uint8_t addr) const {
    std::lock_guard g(*impl_->lock);
    return impl_->read(bank, addr);
}

void Controller::setReg(uint8_t bank, uint8_t addr, std::array<uint8_t, 4> value) {
    std::lock_guard g(*impl_->lock);
    impl_->words[Impl::key(bank, addr)] = value;
}

void Controller::setReply(const Packet& command, const Packet& reply) {
    std::lock_guard g(*impl_->lock);
    impl_->fixedReplies[command] = reply;
}

void Controller::clearReplies() {
    std::lock_guard g(*impl_->lock);
    impl_->fixedReplies.clear();
}

void Controller::refuse(uint8_t code, int count) {
    std::lock_guard g(*impl_->lock);
    if (count == 0) return;
    impl_->faults[code] = Fault{Fault::Refuse, count};
}

void Controller::silence(uint8_t code, int count) {
    std::lock_guard g(*impl_->lock);
    if (count == 0) return;
    impl_->faults[code] = Fault{Fault::Silence, count};
}

void Controller::clearFaults() {
    std::lock_guard g(*impl_->lock);
    impl_->faults.clear();
    impl_->disconnectCountdown = -1;
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
    if (auto f = m.faults.find(command[0]); f != m.faults.end()) {
        if (f->second.kind == Fault::Refuse) reply = refusal(command);
        if (f->second.remaining > 0 && --f->second.remaining == 0) m.faults.erase(f);
    } else if (auto r = m.fixedReplies.find(command); r != m.fixedReplies.end()) {
        reply = r->second;
    } else {
        reply = m.firmware(command, nowMs);
    }

    m.trace.push_back(TraceEntry{nowMs, link, command, reply.has_value()});

    if (m.disconnectCountdown > 0 && --m.disconnectCountdown == 0) {
        m.connected = false;
        m.disconnectCountdown = -1;
    }
    return reply;
}

const std::vector<TraceEntry>& Controller::trace() const { return impl_->trace; }

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
