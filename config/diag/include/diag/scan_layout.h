// The arithmetic of the panel scan view, apart from its painting: the cell
// size, the sensor grid with its node positions and fifth-line labels, and the
// enable table of its four buttons.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>
#include <vector>

namespace vcx {

constexpr int kMaxCellSize = 50;

// The grid origin at display scale s (percent): (s x 230 / 100, s x 35 / 100),
// the least origin of the grid; the view moves it on when its controls or the
// grid's labels need more room.
QPoint GridOrigin(int scale);

// Columns are B and rows A, exchanged with panel flag bit 0; with (x0, y0) the
// origin, the cell is the smaller of (width - x0) / columns and (height - y0) /
// rows, at most 50. 0 while A or B is 0 (nothing is computed then).
int ComputeCellSize(int viewWidth, int viewHeight, QPoint origin, int rows, int columns, uint16_t panelFlags);

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
// The box of one grid label: wide enough for the widest number, high enough for a line.
struct LabelSize {
    int width = 20, height = 14;
};
// The node radius is a third of the cell within 3..8; a cell below 6 takes
// half of it (at least 1), so small cells keep their nodes apart. Every fifth
// line is drawn dark; its number is printed where the labels do not run into
// one another (every 5th, else every 10th, 20th, 50th, ... line).
// Empty (cell 0) while A or B or the cell is 0.
SensorGrid LayoutSensorGrid(int cell, QPoint origin, LabelSize label, int rows, int columns, uint16_t panelFlags);

// What the scan view's controls need, measured from its font and pictures.
struct ScanViewMetrics {
    int listTextWidth = 0;  // the widest row the failure list shows
    int listChrome = 0;     // the list's frame, item padding and vertical scroll bar
    int rowHeight = 0;      // the check box, the counters
    int progressHeight = 0;
    QSize button;           // the largest of the four buttons
    QSize badge;            // the status pictures (START, CANCEL, PASS, FAIL)
    LabelSize label;        // the grid's labels
};
// Where everything of the scan view goes in a view of `view` size: a column of
// controls at the left (the failure list takes the height the others leave, the
// badge sits at the bottom), the grid right of it with the cell size the
// remaining area gives, so every node and label lies inside the view.
struct ScanViewLayout {
    QRect list, progress, autoSave, passLabel, passCount, failLabel, failCount;
    std::array<QRect, 4> buttons;  // Start, Cancel, Save, Select Folder
    QRect badge;
    QPoint origin;
    LabelSize label;
    int cell = 0;
};
ScanViewLayout LayoutScanView(QSize view, int scale, const ScanViewMetrics& m, int rows, int columns,
                              uint16_t panelFlags);

// Buttons Start, Cancel, Save, Select Folder of a buttons state 0..5 (5: none).
std::array<bool, 4> ButtonsEnabled(int state, int runState, bool productionLine);

}  // namespace vcx
