// The sensor model behind the diagnostic commands: deterministic frames of raw
// counts, baseline and differences per data kind and frequency mode.
#include "qvsim.h"

namespace qvsim {
namespace {

// A 32-bit mix of the inputs (fixed, so frames are the same on every run).
uint32_t Mix(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = 0x9E3779B9u ^ a;
    for (uint32_t v : {b, c, d}) {
        h ^= v + 0x7F4A7C15u + (h << 6) + (h >> 2);
        h *= 0x85EBCA6Bu;
        h ^= h >> 13;
    }
    return h;
}

}  // namespace

std::vector<uint16_t> SensorFrame(const ControllerProfile& p, uint8_t kind, uint32_t scan) {
    const SensorProfile s = p.sensor.value_or(SensorProfile{});
    const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
    std::vector<uint16_t> frame(size_t(p.rows) * perRow);
    const uint32_t mode = kind & 0x80 ? (kind & 0x7Fu) + 1 : 0;
    for (size_t r = 0; r < p.rows; ++r) {
        for (size_t k = 0; k < perRow; ++k) {
            const uint32_t pos = uint32_t(r << 8 | k);
            const int base = s.baseLevel + int(Mix(s.seed, pos, 0, 0) & 0xFF);
            const int span = 2 * s.noise + 1;
            const int noise = int(Mix(s.seed, pos, scan, mode) % uint32_t(span)) - s.noise;
            int v;
            if (kind == kSensorBaseline)
                v = base;
            else if (kind == kSensorDifference || (kind & 0x80))
                v = noise;
            else
                v = base + noise;
            frame[r * perRow + k] = uint16_t(v);
        }
    }
    return frame;
}

}  // namespace qvsim
