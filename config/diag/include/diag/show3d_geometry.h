// The arithmetic of the 3-D diagnostic view, apart from its drawing: a node's
// difference from the base frame, its colour band, the wire surface's vertex
// table in the view's square (-1..1 on both axes, heights along z), the legend
// and the number of selectable frequency modes. Nothing here needs a display.
#pragma once

#include "diag/panel_layout.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vcx {

// The panel flags it reads: kPanelAbsoluteRange (the difference is taken
// base - current), kPanelMirror0 (y mirrored), kPanelMirror1 (x mirrored),
// kPanelExchangeDiffers (the lines are the columns).

// current - base (base - current when `inverted`) of two unsigned counts,
// wrapped into -32768..32768: above 32768 loses 65536, below -32768 gains 65536.
int NodeDifference(uint16_t current, uint16_t base, bool inverted);

enum class Band { Red, Magenta, Grey, Blue, Cyan };

// With the threshold T and half = T / 2 (integer): d > T cyan, half < d <= T
// blue, -half <= d <= half grey, -T <= d < -half magenta, d < -T red.
Band ColourBand(int d, int threshold);

struct Rgb {
    float r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
Rgb BandColour(Band band);
constexpr Rgb kLabelColour{1.0f, 0.5f, 0.0f};  // the values above the threshold

struct Vertex {
    float x = 0, y = 0, z = 0;
    Band band = Band::Grey;
};

// A text at a point of the view's model space.
struct Label3D {
    float x = 0, y = 0, z = 0;
    std::string text;
    Rgb colour{1, 1, 1};
};

// The surface of one frame. Line i of n (rows, or columns under
// kPanelExchangeDiffers) runs through its m nodes; vertex (i, j) is at
// vertices[i * m + j].
struct Surface {
    int lines = 0;  // n
    int nodes = 0;  // m
    std::vector<Vertex> vertices;
    std::vector<Label3D> values;  // show mode 0: "%d" of each node above the threshold
};

// Where line i of n lies (x) and node j of m (y) in the square, mirrored by
// kPanelMirror1 and kPanelMirror0.
float LineX(int i, int n, uint16_t panelFlags);
float NodeY(int j, int m, uint16_t panelFlags);

// Builds the surface of `current` against `base` (rows x columns each,
// row-major); flat (z 0) in show mode 1, else z = -(d / max(T, 1)) x 0.5.
// `out` keeps its storage from frame to frame.
void BuildSurface(const uint16_t* current, const uint16_t* base, int rows, int columns, uint16_t panelFlags,
                  int threshold, int showMode, Surface& out);

// The legend: one thick strip at x 1.4 through y 1.5, 0.8, 0, -0.8, -1.5 in
// the five band colours, with the band limits "+T", "+T/2", "0", "-T/2", "-T".
struct LegendPoint {
    float y;
    Band band;
    std::string text;
};
std::array<LegendPoint, 5> Legend(int threshold);
constexpr float kLegendX = 1.4f;

// The number of frequency modes the keys 1..6 may select: 0 unless feature
// byte 1 bit 6 is set; then 6 without frequency hopping (feature byte 0 bit 1),
// 4 with hopping and no mode count read, else the mode count + 1.
int FrequencyModeCount(const std::array<uint8_t, 8>& featureFlags, uint8_t freqModeCount);

// The camera: distance along -z and the rotations about x, y and z in degrees.
struct Camera {
    float distance = 4.5f;
    float rotateX = -225.0f, rotateY = 0.0f, rotateZ = 270.0f;
    friend bool operator==(const Camera&, const Camera&) = default;
};

}  // namespace vcx
