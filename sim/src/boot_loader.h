// The boot loader of the simulated chips: boot entry, D0/D1 block writes into
// the chip's flash, D8/D9, and leaving only with a whole flash. Internal to
// libqvsim; the controller model routes commands here first.
#pragma once

#include "qvsim.h"

#include <map>
#include <optional>
#include <set>
#include <vector>

namespace qvsim::detail {

// What one chip's loader holds between two commands.
struct BootSession {
    int entryStage = 0;          // 1: the first packet of an entry pair arrived
    Packet entryFirst{};
    std::optional<uint32_t> block;  // the block D0 opened
    bool erased = false;
    bool dataBroken = false;     // a data packet out of sequence
    std::vector<uint8_t> data;   // the block's bytes received so far
    std::set<uint32_t> verified; // blocks written and verified in this session
    std::optional<FirmwareIdentity> pendingImage;  // a slave's, shown after the master's reset
};

// The chips' sessions: key -1 the master, k slave k.
using BootSessions = std::map<int, BootSession>;

struct BootOutcome {
    std::optional<Packet> reply;  // nullopt: silence
};

// The loader's answer when the command is one it takes (the target is the
// selected slave, else the master); nullopt: the firmware answers as usual.
// *reenumerate is set when the chip leaves the bus after this answer.
std::optional<BootOutcome> BootCommand(ControllerProfile& p, BootSessions& sessions, std::optional<uint8_t> selected,
                                       const Packet& c, bool* reenumerate);
// An HID output report: block data of the target's open block.
void BootOutputReport(ControllerProfile& p, BootSessions& sessions, std::optional<uint8_t> selected,
                      const uint8_t* bytes, size_t len);
// The sum D1 checks: plain bytes, or little-endian 16-bit words.
uint16_t BootBlockSum(const std::vector<uint8_t>& block, bool words);
// The loader's block size: D2's bytes 1..3 (512 on Ostra).
uint32_t BootBlockSize(const ControllerProfile& p);

}  // namespace qvsim::detail
