// The arithmetic of the panel scan view, apart from its painting: the cell
// size, the sensor grid with its node positions and fifth-line labels, and the
// enable table of its four buttons.
#pragma once

#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <vector>

namespace vcx {

constexpr int kMaxCellSize = 50;

// The grid origin at display scale s (percent): (s x 230 / 100, s x 35 / 100).
QPoint GridOrigin(int scale);

// Columns are B and rows A, exchanged with panel flag bit 0; the cell is the
// smaller of (width - x0) / columns and (height - y0) / rows, at most 50. 0 while
// A or B is 0 (nothing is computed then).
int ComputeCellSize(int viewWidth, int viewHeight, int scale, int rows, int columns, uint16_t panelFlags);

struct GridLine {
    QPoint from, to;
};
struct GridLabel {
    QRect box;
    int number;  // printed "%02d"
};
struct SensorGrid {
    int cell = 0, radius = 0;
    int x0 = 0, y0 = 0, right = 0, bottom = 0;
    int drawColumns = 0, drawRows = 0;  // after the exchange of bit 0
    QRect frame;                         // green: half a cell around the nodes
    std::vector<GridLine> lines;         // grey: one per row and per column
    std::vector<GridLine> fifthLines;    // dark: every fifth line again, 20 px longer before the grid
    std::vector<GridLabel> labels;
    std::vector<QPoint> nodes;           // node (r, c) at r x B + c
};
// Empty (cell 0) while A or B or the cell is 0.
SensorGrid LayoutSensorGrid(int cell, int scale, int rows, int columns, uint16_t panelFlags);

// Buttons Start, Cancel, Save, Select Folder of a buttons state 0..5 (5: none).
std::array<bool, 4> ButtonsEnabled(int state, int runState, bool productionLine);

}  // namespace vcx
