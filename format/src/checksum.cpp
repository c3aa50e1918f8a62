#include "format/checksum.h"

namespace qvfmt {

uint16_t Checksum16(uint16_t start, std::span<const uint8_t> bytes) {
    uint16_t reg = start;
    for (uint8_t byte : bytes)
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = reg & 0x8000;
            reg = uint16_t((reg << 1) | ((byte >> bit) & 1));
            if (top) reg ^= 0x1021;
        }
    return reg;
}

} // namespace qvfmt
