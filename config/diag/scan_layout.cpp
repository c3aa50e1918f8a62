#include "diag/scan_layout.h"

#include <algorithm>

namespace vcx {

namespace {
constexpr uint16_t kExchanged = 0x0001, kMirrorRows = 0x0200, kMirrorColumns = 0x0400;
constexpr int kFifthLead = 20;  // the fifth lines start this far before the grid
}  // namespace

QPoint GridOrigin(int scale) { return {scale * 230 / 100, scale * 35 / 100}; }

int ComputeCellSize(int viewWidth, int viewHeight, int scale, int rows, int columns, uint16_t panelFlags) {
    if (rows <= 0 || columns <= 0) return 0;
    const bool exchanged = panelFlags & kExchanged;
    const int drawColumns = exchanged ? rows : columns, drawRows = exchanged ? columns : rows;
    const QPoint o = GridOrigin(scale);
    const int cell = std::min((viewWidth - o.x()) / drawColumns, (viewHeight - o.y()) / drawRows);
    return std::clamp(cell, 0, kMaxCellSize);
}

SensorGrid LayoutSensorGrid(int cell, int scale, int rows, int columns, uint16_t panelFlags) {
    SensorGrid g;
    if (rows <= 0 || columns <= 0 || cell <= 0) return g;
    const bool exchanged = panelFlags & kExchanged;
    g.cell = cell;
    g.radius = std::clamp(cell / 3, 3, 8);
    const QPoint o = GridOrigin(scale);
    g.x0 = o.x();
    g.y0 = o.y();
    g.drawColumns = exchanged ? rows : columns;
    g.drawRows = exchanged ? columns : rows;
    g.right = g.x0 + (g.drawColumns - 1) * cell;
    g.bottom = g.y0 + (g.drawRows - 1) * cell;
    g.frame = QRect(QPoint(g.x0 - cell / 2, g.y0 - cell / 2), QPoint(g.right + cell / 2, g.bottom + cell / 2));
    for (int r = 0; r < g.drawRows; ++r) g.lines.push_back({{g.x0, g.y0 + r * cell}, {g.right, g.y0 + r * cell}});
    for (int c = 0; c < g.drawColumns; ++c) g.lines.push_back({{g.x0 + c * cell, g.y0}, {g.x0 + c * cell, g.bottom}});
    const int labelWidth = scale * 20 / 100;
    for (int r = 5; r < g.drawRows; r += 5) {
        const int y = g.y0 + r * cell;
        g.fifthLines.push_back({{g.x0 - kFifthLead, y}, {g.right, y}});
        g.labels.push_back({QRect(g.x0 - kFifthLead - labelWidth, y - cell / 2, labelWidth, std::max(cell, 12)), r});
    }
    for (int c = 5; c < g.drawColumns; c += 5) {
        const int x = g.x0 + c * cell;
        g.fifthLines.push_back({{x, g.y0 - kFifthLead}, {x, g.bottom}});
        g.labels.push_back({QRect(x - labelWidth / 2, g.y0 - kFifthLead - 14, labelWidth, 14), c});
    }
    g.nodes.resize(size_t(rows) * size_t(columns));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            // With the exchange the node's row runs along the drawn columns.
            const int dc = exchanged ? r : c, dr = exchanged ? c : r;
            const int x = (panelFlags & kMirrorColumns) ? g.right - dc * cell : g.x0 + dc * cell;
            const int y = (panelFlags & kMirrorRows) ? g.bottom - dr * cell : g.y0 + dr * cell;
            g.nodes[size_t(r) * size_t(columns) + size_t(c)] = {x, y};
        }
    return g;
}

std::array<bool, 4> ButtonsEnabled(int state, int runState, bool productionLine) {
    static constexpr std::array<std::array<bool, 4>, 6> kTable{{
        {false, false, false, true},
        {true, false, false, true},
        {false, true, false, false},
        {true, false, true, true},
        {true, false, false, true},
        {false, false, false, false},
    }};
    if (runState != 0 || state < 0 || state > 5) state = 5;
    std::array<bool, 4> e = kTable[size_t(state)];
    if (productionLine || runState != 0) e[0] = false;
    return e;
}

}  // namespace vcx
