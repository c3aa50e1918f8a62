// The simulated chips' boot loader and program flash, written from the boot
// command table: entry pairs, D9 checksum kind and data format, D0 block open
// (FF FF erased), data packets or output reports, D1 verify and write, D8
// leave; the loader leaves only with every block of the session written.

#include "boot_loader.h"

#include "format/firmware_format.h"

#include <algorithm>

namespace qvsim::detail {

namespace {

Packet refusal(const Packet& c) { return {0xAA, c[0], c[1], c[2], c[3]}; }

// The chip a boot command reaches: the selected slave, else the master.
struct Target {
    bool* inBoot = nullptr;
    BootFlash* boot = nullptr;
    BootSession* session = nullptr;
    bool master = true;
    size_t slave = 0;
};

Target targetOf(ControllerProfile& p, BootSessions& sessions, std::optional<uint8_t> selected) {
    Target t;
    if (selected && *selected < p.slaves.size()) {
        SlaveProfile& s = p.slaves[*selected];
        t.inBoot = &s.inBoot;
        t.boot = s.boot ? &*s.boot : nullptr;
        t.session = &sessions[int(*selected)];
        t.master = false;
        t.slave = *selected;
        return t;
    }
    t.inBoot = &p.inBoot;
    t.boot = p.boot ? &*p.boot : nullptr;
    t.session = &sessions[-1];
    return t;
}

template <class Chip>
void runImage(Chip& chip, const FirmwareIdentity& id) {
    chip.major = id.major;
    chip.minor = id.minor;
    chip.customer = id.customer;
    chip.buildA = id.buildA;
    chip.buildB = id.buildB;
}

bool isEntryFirst(const Packet& c, Series s) {
    if (s == Series::Ostra) return c == Packet{0xE8, 0xAA, 0x55, 0xAA, 0x55};
    return c == Packet{0xFF, 0xAA, 0x55, 0xAA, 0x55} || c == Packet{0xFF, 0xBB, 0x44, 0xBB, 0x44};
}

bool isEntrySecond(const Packet& first, const Packet& c) {
    return c[0] == first[0] && c[1] == first[2] && c[2] == first[1] && c[3] == first[4] && c[4] == first[3];
}

// The firmware a flash holds names itself: its program begins with a copy of
// its image header (magic, identity, version, build bytes, the header's sums).
// nullopt when the flash starts with no valid header: the chip goes on
// reporting what it reported before.
std::optional<FirmwareIdentity> flashedIdentity(const std::vector<uint8_t>& flash) {
    if (flash.size() < qvfmt::kShortHeader) return std::nullopt;
    const uint8_t* h = flash.data();
    if (flash.size() < qvfmt::HeaderLength(h[14]) || qvfmt::CheckHeader(h, qvfmt::Rules::Library) != qvfmt::HeaderCheck::Ok)
        return std::nullopt;
    const qvfmt::ImageInfo info = qvfmt::DecodeHeader(h);
    FirmwareIdentity id;
    id.major = info.major;
    id.minor = info.minor;
    id.customer = info.customer;
    id.buildA = info.build1;
    id.buildB = info.build2;
    return id;
}

// Leaves the loader when blocks 0..highest were all written in this session.
bool tryLeave(ControllerProfile& p, Target& t, bool* reenumerate, std::optional<BootFlash::Exit>* exit) {
    BootSession& s = *t.session;
    if (s.verified.empty() || *s.verified.begin() != 0) return false;
    const uint32_t highest = *s.verified.rbegin();
    if (s.verified.size() != size_t(highest) + 1) return false;
    *t.inBoot = false;
    // What runs: an identity a test injected, else the one the flashed program names.
    const std::optional<FirmwareIdentity> runs = t.boot->image ? t.boot->image : flashedIdentity(t.boot->flash);
    if (runs) {
        if (t.master)
            runImage(p, *runs);
        else
            s.pendingImage = runs;
    }
    const auto pending = s.pendingImage;
    s = BootSession{};
    s.pendingImage = pending;
    if (t.master && t.boot->reenumerateOnBoot) *reenumerate = true;
    if (t.master) *exit = t.boot->exit;
    return true;
}

}  // namespace

uint16_t BootBlockSum(const std::vector<uint8_t>& block, bool words) {
    uint32_t sum = 0;
    for (size_t i = 0; i < block.size(); ++i) sum += (words && (i & 1)) ? uint32_t(block[i]) << 8 : block[i];
    return uint16_t(sum & 0xFFFF);
}

uint32_t BootBlockSize(const ControllerProfile& p) {
    if (p.series == Series::Ostra) return 512;
    return uint32_t(p.d2Reply[0]) | uint32_t(p.d2Reply[1]) << 8 | uint32_t(p.d2Reply[2]) << 16;
}

std::optional<BootOutcome> BootCommand(ControllerProfile& p, BootSessions& sessions, std::optional<uint8_t> selected,
                                       const Packet& c, bool* reenumerate, std::optional<BootFlash::Exit>* exit) {
    Target t = targetOf(p, sessions, selected);
    // The master's reset shows the slaves' new firmware; an old loader leaves on it.
    if (c[0] == 0xFE) {
        for (size_t k = 0; k < p.slaves.size(); ++k) {
            auto it = sessions.find(int(k));
            if (it != sessions.end() && it->second.pendingImage && !p.slaves[k].inBoot) {
                runImage(p.slaves[k], *it->second.pendingImage);
                it->second.pendingImage.reset();
            }
        }
        Target m = targetOf(p, sessions, std::nullopt);
        if (m.boot && p.inBoot && m.boot->oldLoader) tryLeave(p, m, reenumerate, exit);
        return std::nullopt;
    }
    if (!t.boot) return std::nullopt;
    BootFlash& boot = *t.boot;
    BootSession& s = *t.session;

    // A packet that is not the second of a pair disarms the entry.
    const bool armed = s.entryStage == 1;
    s.entryStage = 0;
    if (!*t.inBoot) {
        // A loader that needs a quiet controller answers the FF entry with the
        // error reply while the controller scans.
        if (isEntryFirst(c, p.series) && c[0] == 0xFF && boot.entryNeedsQuiet && (p.stateF0[3] & 0x01))
            return BootOutcome{Packet{0xAA, 0xBB, 0xCC, 0xDD, 0xEE}};
        if (isEntryFirst(c, p.series)) {
            s.entryStage = 1;
            s.entryFirst = c;
            return BootOutcome{c};
        }
        if (armed && isEntrySecond(s.entryFirst, c)) {
            *t.inBoot = true;
            const auto pending = s.pendingImage;
            s = BootSession{};
            s.pendingImage = pending;
            if (t.master && boot.reenumerateOnBoot) *reenumerate = true;
            return BootOutcome{c};
        }
        switch (c[0]) {
            case 0xD0:
            case 0xD1:
            case 0xD8:
            case 0xD9: return BootOutcome{refusal(c)};
            default: return std::nullopt;
        }
    }

    const uint32_t B = BootBlockSize(p);
    // Block data: [(i / 4) mod 128][4 bytes] while a block with data is open.
    if (c[0] < 0x80) {
        if (!s.block || s.erased) return BootOutcome{refusal(c)};
        if (c[0] != uint8_t((s.data.size() / 4) % 128)) s.dataBroken = true;
        for (size_t k = 1; k < 5 && s.data.size() < B; ++k) s.data.push_back(c[k]);
        return BootOutcome{c};
    }
    switch (c[0]) {
        case 0xED:
            if (boot.hideBootMark) return BootOutcome{Packet{0xED, p.minor, p.customer, 0x00, 0x00}};
            return std::nullopt;
        case 0xFF:
        case 0xE8:
            if (isEntryFirst(c, p.series) || (armed && isEntrySecond(s.entryFirst, c))) return BootOutcome{c};
            return std::nullopt;
        case 0xD9:
            if (c[1] == 0x00 && c[2] == 0 && c[3] == 0 && c[4] == 0)
                return BootOutcome{Packet{0xD9, 0x00, 0x00, uint8_t(boot.wordChecksum ? 0x02 : 0x00), 0x00}};
            if (c[1] == 0xAA && c[2] == 0 && c[3] == 0) {
                const bool ok = std::find(boot.formats.begin(), boot.formats.end(), c[4]) != boot.formats.end();
                return BootOutcome{Packet{0xD9, uint8_t(ok ? 0x55 : 0x00), 0x00, 0x00, c[4]}};
            }
            return BootOutcome{refusal(c)};
        case 0xD0: {
            const uint32_t n = uint32_t(c[1]) | uint32_t(c[2]) << 8;
            s.block.reset();
            s.data.clear();
            s.dataBroken = false;
            if (B == 0) return BootOutcome{refusal(c)};
            if (n == 0 && p.dualBootState == 0xBB) return BootOutcome{Packet{0xD0, c[1], c[2], c[3], 0x04}};
            s.block = n;
            s.erased = c[3] == 0xFF && c[4] == 0xFF;
            return BootOutcome{Packet{0xD0, c[1], c[2], c[3], 0x00}};
        }
        case 0xD1: {
            if (!s.block) return BootOutcome{Packet{0xD1, 0x00, 0x00, 0x00, 0x01}};
            const uint32_t n = *s.block;
            std::vector<uint8_t> block(B, 0xFF);
            if (!s.erased) std::copy(s.data.begin(), s.data.end(), block.begin());
            const uint16_t expect = uint16_t(~BootBlockSum(block, boot.wordChecksum));
            const uint16_t got = uint16_t(c[3] | c[4] << 8);
            // An Ostra-series loader takes 0xFFFF for an erased block.
            const bool ostraErased = p.series == Series::Ostra && s.erased && got == 0xFFFF;
            bool fail = s.dataBroken || (expect != got && !ostraErased);
            if (auto f = boot.d1Failures.find(n); f != boot.d1Failures.end() && f->second != 0) {
                fail = true;
                if (f->second > 0) --f->second;
            }
            s.block.reset();
            s.data.clear();
            if (fail) return BootOutcome{Packet{0xD1, 0x00, 0x00, 0x00, 0x01}};
            const size_t base = size_t(n) * B;
            if (boot.flash.size() < base + B) boot.flash.resize(base + B, 0xFF);
            std::copy(block.begin(), block.end(), boot.flash.begin() + long(base));
            ++boot.blockWrites[n];
            s.verified.insert(n);
            if (n == 0 && !boot.oldLoader) tryLeave(p, t, reenumerate, exit);
            return BootOutcome{Packet{0xD1, 0x00, 0x00, 0x00, 0x00}};
        }
        case 0xD8:
            if (c == Packet{0xD8, 0x00, 0x55, 0x00, 0x00}) {
                if (!boot.oldLoader) tryLeave(p, t, reenumerate, exit);
                return BootOutcome{c};
            }
            return BootOutcome{refusal(c)};
        default: return std::nullopt;
    }
}

void BootOutputReport(ControllerProfile& p, BootSessions& sessions, std::optional<uint8_t> selected,
                      const uint8_t* bytes, size_t len) {
    Target t = targetOf(p, sessions, selected);
    if (!t.boot || !*t.inBoot || !t.session->block || t.session->erased) return;
    const uint32_t B = BootBlockSize(p);
    for (size_t k = 0; k < len && t.session->data.size() < B; ++k) t.session->data.push_back(bytes[k]);
}

}  // namespace qvsim::detail
