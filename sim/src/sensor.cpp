// The sensor model behind the diagnostic commands: deterministic frames of raw
// counts, baseline and differences per data kind, frequency mode, selected
// frequency and test pattern, with the panel defects of the profile applied.
#include "qvsim.h"

#include <algorithm>

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

// A value in [-amplitude, amplitude] drawn from the inputs.
int Noise(uint32_t seed, uint32_t pos, uint32_t scan, uint32_t salt, int amplitude) {
    const uint32_t span = uint32_t(2 * amplitude + 1);
    return int(Mix(seed, pos, scan, salt) % span) - amplitude;
}

enum class Part : uint8_t { Raw, Baseline, Mode, Flush };

// The values of one frame before they are stored as 16-bit words.
std::vector<int> Values(const ControllerProfile& p, const SensorProfile& s, Part part, uint32_t scan, uint32_t mode,
                        uint8_t pattern) {
    SensorScope scope = SensorScope::Raw;
    if (part == Part::Baseline || part == Part::Flush) scope = SensorScope::Baseline;
    if (part == Part::Raw && pattern >= 1 && pattern <= 3) scope = SensorScope(uint8_t(SensorScope::Raw) + pattern);
    if (part == Part::Mode) scope = mode <= 3 ? SensorScope(uint8_t(SensorScope::Mode0) + mode) : SensorScope::All;
    const auto applies = [&](const SensorFault& f) { return f.scope == SensorScope::All || f.scope == scope; };
    for (const SensorFault& f : s.faults)
        if (f.kind == SensorFault::Kind::Frozen && applies(f)) scan = 1;

    const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
    const uint32_t span = std::max<uint32_t>(s.offsetSpan, 1);
    const int level = part == Part::Raw && pattern >= 1 && pattern <= 3 ? s.patternLevel[pattern - 1] : s.baseLevel;
    // Mode m draws its noise apart from the raw counts (salt m + 1); the raw counts
    // of a selected frequency v other than 0 draw theirs apart too (salt 0x100 | v),
    // with that frequency's amplitude when the profile gives one.
    // The flush base of mode m keeps a fixed deviation of its own (salt 0x200 | m, scan 0).
    const uint32_t salt = part == Part::Mode    ? mode + 1
                          : part == Part::Flush ? 0x200u | mode
                          : p.frequency         ? 0x100u | p.frequency
                                                : 0;
    const auto tuned = s.frequencyNoise.find(p.frequency);
    const int amplitude = part == Part::Raw && tuned != s.frequencyNoise.end() ? tuned->second : s.noise;
    std::vector<int> out(size_t(p.rows) * perRow);
    for (size_t r = 0; r < p.rows; ++r) {
        for (size_t k = 0; k < perRow; ++k) {
            const uint32_t pos = uint32_t(r << 8 | k);
            const int offset = int(Mix(s.seed, pos, 0, 0) % span);
            const int noise = Noise(s.seed, pos, part == Part::Flush ? 0 : scan, salt, amplitude);
            int v = part == Part::Baseline                       ? level + offset
                    : part == Part::Raw || part == Part::Flush ? level + offset + noise
                                                                : noise;
            for (size_t i = 0; i < s.faults.size(); ++i) {
                const SensorFault& f = s.faults[i];
                if (!applies(f)) continue;
                const bool atNode = f.row == r && f.column == k;
                switch (f.kind) {
                    case SensorFault::Kind::OpenColumn:
                        if (f.column == k) v = f.value;
                        break;
                    case SensorFault::Kind::OpenRow:
                        if (f.row == r) v = f.value;
                        break;
                    case SensorFault::Kind::Node:
                        if (atNode) v = f.value;
                        break;
                    case SensorFault::Kind::Bump:
                        if (atNode) v += f.value;
                        break;
                    case SensorFault::Kind::NoisyNode:
                        if (atNode) v += Noise(s.seed ^ 0x5EEDu, pos, scan, uint32_t(i), f.value);
                        break;
                    case SensorFault::Kind::Frozen: break;
                }
            }
            out[r * perRow + k] = v;
        }
    }
    return out;
}

// Counts stay within what a 16-bit word holds; differences wrap as two's complement.
uint16_t Count(int v) { return uint16_t(std::clamp(v, 0, 0xFFFF)); }

}  // namespace

std::vector<uint16_t> SensorFrame(const ControllerProfile& p, uint8_t kind, uint32_t scan, uint8_t pattern) {
    const SensorProfile s = p.sensor.value_or(SensorProfile{});
    std::vector<uint16_t> frame;
    if (kind == kSensorBaseline) {
        for (int v : Values(p, s, Part::Baseline, scan, 0, pattern)) frame.push_back(Count(v));
    } else if ((kind & 0xF0) == 0x10) {
        for (int v : Values(p, s, Part::Flush, scan, kind & 0x0Fu, pattern)) frame.push_back(Count(v));
    } else if (kind & 0x80) {
        for (int v : Values(p, s, Part::Mode, scan, kind & 0x7Fu, pattern)) frame.push_back(uint16_t(v));
    } else if (kind == kSensorDifference) {
        const std::vector<int> raw = Values(p, s, Part::Raw, scan, 0, pattern);
        const std::vector<int> base = Values(p, s, Part::Baseline, scan, 0, pattern);
        for (size_t i = 0; i < raw.size(); ++i) frame.push_back(uint16_t(Count(raw[i]) - Count(base[i])));
    } else {
        for (int v : Values(p, s, Part::Raw, scan, 0, pattern)) frame.push_back(Count(v));
    }
    return frame;
}

}  // namespace qvsim
