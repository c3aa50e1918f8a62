#include "diag/show3d_geometry.h"

#include <algorithm>

namespace vcx {

int NodeDifference(uint16_t current, uint16_t base, bool inverted) {
    int d = inverted ? int(base) - int(current) : int(current) - int(base);
    if (d > 32768) d -= 65536;
    if (d < -32768) d += 65536;
    return d;
}

Band ColourBand(int d, int threshold) {
    const int half = threshold / 2;
    if (d > threshold) return Band::Cyan;
    if (d > half) return Band::Blue;
    if (d >= -half) return Band::Grey;
    if (d >= -threshold) return Band::Magenta;
    return Band::Red;
}

Rgb BandColour(Band band) {
    switch (band) {
    case Band::Cyan: return {0, 1, 1};
    case Band::Blue: return {0, 0, 1};
    case Band::Grey: return {0.5f, 0.5f, 0.5f};
    case Band::Magenta: return {1, 0, 1};
    case Band::Red: return {1, 0, 0};
    }
    return {0.5f, 0.5f, 0.5f};
}

float LineX(int i, int n, uint16_t panelFlags) {
    const float t = 2.0f * float(i + 1) / float(n + 1);
    return (panelFlags & kPanelMirror1) ? t - 1.0f : 1.0f - t;
}

float NodeY(int j, int m, uint16_t panelFlags) {
    const float t = 2.0f * float(j + 1) / float(m + 1);
    return (panelFlags & kPanelMirror0) ? 1.0f - t : t - 1.0f;
}

void BuildSurface(const uint16_t* current, const uint16_t* base, int rows, int columns, uint16_t panelFlags,
                  int threshold, int showMode, Surface& out) {
    rows = std::max(rows, 0);
    columns = std::max(columns, 0);
    const bool exchanged = panelFlags & kPanelExchangeDiffers;
    const bool inverted = panelFlags & kPanelAbsoluteRange;
    const int n = exchanged ? columns : rows;
    const int m = exchanged ? rows : columns;
    out.lines = n;
    out.nodes = m;
    out.vertices.resize(size_t(n) * size_t(m));
    out.values.clear();
    if (!current || !base) {
        for (Vertex& v : out.vertices) v = Vertex{};
        return;
    }
    // The height's divisor: a threshold of 0 would divide by zero.
    const float scale = 0.5f / float(std::max(threshold, 1));
    for (int i = 0; i < n; ++i) {
        const float x = LineX(i, n, panelFlags);
        for (int j = 0; j < m; ++j) {
            const size_t row = size_t(exchanged ? j : i), column = size_t(exchanged ? i : j);
            const size_t node = row * size_t(columns) + column;
            const int d = NodeDifference(current[node], base[node], inverted);
            Vertex& v = out.vertices[size_t(i) * size_t(m) + size_t(j)];
            v.x = x;
            v.y = NodeY(j, m, panelFlags);
            v.z = showMode == 0 ? -float(d) * scale : 0.0f;
            v.band = ColourBand(d, threshold);
            if (showMode == 0 && d > threshold) out.values.push_back({v.x, v.y, v.z, std::to_string(d), kLabelColour});
        }
    }
}

std::array<LegendPoint, 5> Legend(int threshold) {
    const int half = threshold / 2;
    return {{{1.5f, Band::Cyan, "+" + std::to_string(threshold)},
             {0.8f, Band::Blue, "+" + std::to_string(half)},
             {0.0f, Band::Grey, "0"},
             {-0.8f, Band::Magenta, "-" + std::to_string(half)},
             {-1.5f, Band::Red, "-" + std::to_string(threshold)}}};
}

int FrequencyModeCount(const std::array<uint8_t, 8>& featureFlags, uint8_t freqModeCount) {
    if (!(featureFlags[1] & 0x40)) return 0;
    if (!(featureFlags[0] & 0x02)) return 6;
    return freqModeCount == 0 ? 4 : freqModeCount + 1;
}

}  // namespace vcx
