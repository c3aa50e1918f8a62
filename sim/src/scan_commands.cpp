#include "scan_commands.h"

namespace qvsim::detail {
namespace {

Packet refusal(const Packet& c) { return {0xAA, c[0], c[1], c[2], c[3]}; }

constexpr uint8_t kPatterns = 3;  // test patterns 1..3; 0 is normal scanning

}  // namespace

std::optional<Packet> ScanCommand(ControllerProfile& p, uint8_t* pattern, const Packet& c) {
    switch (c[0]) {
        case 0xF3:
            if (c[1] == 0x00 && c[2] == 0x0D && c[3] == 0x00) {
                if (!p.sensor || c[4] > kPatterns) return refusal(c);
                *pattern = c[4];
                return Packet{0xF3, 0xAA, 0x0D, 0x00, c[4]};
            }
            if (c[1] == 0x00 && c[2] == 0x0F && c[3] == 0x00 && c[4] == 0x00) {
                if (!p.scanCaps) return refusal(c);
                return Packet{0xF3, 0xAA, 0x0F, uint8_t(*p.scanCaps & 0xFF), uint8_t(*p.scanCaps >> 8)};
            }
            return std::nullopt;
        case 0xFD:
            if (!p.sensor || c[1] != 0 || c[2] != 0 || c[3] != 0 || c[4] > kPatterns) return refusal(c);
            *pattern = c[4];
            return c;
        case 0xF5:
            if (!p.frequencyModes || c[1] != 0x00) return refusal(c);
            if (c[2] == 0x04 && c[3] == 0 && c[4] == 0) {
                const auto& m = *p.frequencyModes;
                return Packet{0xF5, 0x00, m[0], m[1], m[2]};
            }
            if (c[2] == 0x05 && c[3] == 0 && c[4] == 0) {  // the noise levels of modes 0..3
                const auto& n = p.noiseLevels;
                return Packet{0xF5, n[0], n[1], n[2], n[3]};
            }
            if (c[2] == 0x0F && c[3] == 0 && c[4] == 0) return Packet{0xF5, 0x00, 0x00, 0x00, p.frequency};
            if (c[2] == 0x1F && c[3] == 0 && c[4] == 0) return c;  // the noise test's per-row command
            if (c[2] == 0xFF && c[3] == 0) {
                p.frequency = c[4];
                return c;
            }
            // The older select F5 00 (v - 0x10) 00 00 for v = 0..14; F5 00 FF 00 00
            // is the newer select of 0, and lower indices are measurements.
            if (c[2] >= 0xF0 && c[3] == 0 && c[4] == 0) {
                p.frequency = uint8_t(c[2] - 0xF0);
                return c;
            }
            return refusal(c);
        case 0xFB:
            if (!p.interfaceCheck || c[1] != 0 || c[2] != 0 || c[3] != 0 || c[4] != 0) return refusal(c);
            return Packet{0xFB, 0x00, 0x00, 0x00, *p.interfaceCheck};
        default: return std::nullopt;
    }
}

}  // namespace qvsim::detail
