// The panel scan commands of the firmware model (test patterns, scan
// capabilities, frequency modes, the interface check), kept apart from the
// rest of the command table.
#pragma once

#include "qvsim.h"

namespace qvsim::detail {

// The answer to c when it is one of these commands, else nullopt (the rest of
// the firmware answers it). *pattern is the test pattern the next scans use.
std::optional<Packet> ScanCommand(ControllerProfile& profile, uint8_t* pattern, const Packet& c);

}  // namespace qvsim::detail
