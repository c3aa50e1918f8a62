// The commands a simulated controller received, read from its trace, and
// their hex text for comparisons: shared by the library's and the programs'
// tests, which assert exact command sequences.
#pragma once

#include "qvsim.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qvtest {

// The commands a controller received, in order.
inline std::vector<qvsim::Packet> Received(qvsim::Controller& c) {
    std::vector<qvsim::Packet> out;
    for (const auto& e : c.trace()) out.push_back(e.packet);
    return out;
}

inline std::string Hex(const qvsim::Packet& p) {
    char b[32];
    std::snprintf(b, sizeof b, "%02X %02X %02X %02X %02X", p[0], p[1], p[2], p[3], p[4]);
    return b;
}

inline std::vector<std::string> Hex(const std::vector<qvsim::Packet>& v) {
    std::vector<std::string> out;
    for (const auto& p : v) out.push_back(Hex(p));
    return out;
}

}  // namespace qvtest
