// Small helpers shared by the simulator's tests.
#pragma once

#include "qvsim.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace qvsim {

// Readable packets in failure messages.
inline void PrintTo(const Packet& p, std::ostream* os) {
    static const char* hex = "0123456789ABCDEF";
    for (size_t i = 0; i < p.size(); ++i) *os << (i ? " " : "") << hex[p[i] >> 4] << hex[p[i] & 15];
}

}  // namespace qvsim

namespace simtest {

// The controller's answer to one command on its HID link, at virtual time `now`.
inline std::optional<qvsim::Packet> ask(qvsim::Controller& c, const qvsim::Packet& cmd, uint64_t now = 0) {
    return c.handle(cmd, qvsim::Link::Hid, now);
}

// A command as it travels on a serial line: 5 bytes and the complement of their sum.
inline std::vector<uint8_t> framed(const qvsim::Packet& p) {
    unsigned sum = 0;
    for (uint8_t b : p) sum += b;
    std::vector<uint8_t> f(p.begin(), p.end());
    f.push_back(uint8_t(~sum));
    return f;
}

}  // namespace simtest
