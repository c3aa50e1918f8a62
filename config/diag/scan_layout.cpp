#include "diag/scan_layout.h"

#include <algorithm>

namespace vcx {

namespace {
constexpr uint16_t kExchanged = 0x0001, kMirrorRows = 0x0200, kMirrorColumns = 0x0400;
constexpr int kFifthLead = 20;  // the fifth lines start this far before the grid
}  // namespace

QPoint GridOrigin(int scale) { return {scale * 230 / 100, scale * 35 / 100}; }

int ComputeCellSize(int viewWidth, int viewHeight, QPoint origin, int rows, int columns, uint16_t panelFlags) {
    if (rows <= 0 || columns <= 0) return 0;
    const bool exchanged = panelFlags & kExchanged;
    const int drawColumns = exchanged ? rows : columns, drawRows = exchanged ? columns : rows;
    const int cell = std::min((viewWidth - origin.x()) / drawColumns, (viewHeight - origin.y()) / drawRows);
    return std::clamp(cell, 0, kMaxCellSize);
}

namespace {

// The step of the printed numbers: the least of 5, 10, 20, 50, 100, ... lines
// whose distance holds a label and a little space.
int labelStep(int cell, int room) {
    for (int step : {5, 10, 20, 50, 100, 200})
        if (step * cell >= room) return step;
    return 500;
}

} // namespace

SensorGrid LayoutSensorGrid(int cell, QPoint origin, LabelSize label, int rows, int columns, uint16_t panelFlags) {
    SensorGrid g;
    if (rows <= 0 || columns <= 0 || cell <= 0) return g;
    const bool exchanged = panelFlags & kExchanged;
    g.cell = cell;
    g.radius = cell >= 6 ? std::clamp(cell / 3, 3, 8) : std::max(cell / 2, 1);
    g.x0 = origin.x();
    g.y0 = origin.y();
    g.drawColumns = exchanged ? rows : columns;
    g.drawRows = exchanged ? columns : rows;
    g.right = g.x0 + (g.drawColumns - 1) * cell;
    g.bottom = g.y0 + (g.drawRows - 1) * cell;
    g.frame = QRect(QPoint(g.x0 - cell / 2, g.y0 - cell / 2), QPoint(g.right + cell / 2, g.bottom + cell / 2));
    for (int r = 0; r < g.drawRows; ++r) g.lines.push_back({{g.x0, g.y0 + r * cell}, {g.right, g.y0 + r * cell}});
    for (int c = 0; c < g.drawColumns; ++c) g.lines.push_back({{g.x0 + c * cell, g.y0}, {g.x0 + c * cell, g.bottom}});
    const int rowStep = labelStep(cell, label.height), columnStep = labelStep(cell, label.width + 2);
    for (int r = 5; r < g.drawRows; r += 5) {
        const int y = g.y0 + r * cell;
        g.fifthLines.push_back({{g.x0 - kFifthLead, y}, {g.right, y}});
        if (r % rowStep == 0)
            g.labels.push_back({QRect(g.x0 - kFifthLead - label.width, y - label.height / 2, label.width,
                                      label.height), r});
    }
    for (int c = 5; c < g.drawColumns; c += 5) {
        const int x = g.x0 + c * cell;
        g.fifthLines.push_back({{x, g.y0 - kFifthLead}, {x, g.bottom}});
        if (c % columnStep == 0)
            g.labels.push_back({QRect(x - label.width / 2, g.y0 - kFifthLead - label.height, label.width,
                                      label.height), c});
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

ScanViewLayout LayoutScanView(QSize view, int scale, const ScanViewMetrics& m, int rows, int columns,
                              uint16_t panelFlags) {
    constexpr int kMargin = 8, kGap = 4, kLabelMargin = 2;
    ScanViewLayout l;
    // The column of controls: as wide as its widest text, two buttons side by side, or the badge.
    const int width = std::max({m.listTextWidth + m.listChrome, 2 * m.button.width() + kGap, m.badge.width()});
    const int x = kMargin;
    int y = view.height() - kMargin - m.badge.height();
    l.badge = QRect(QPoint(x, y), m.badge);
    const int half = (width - kGap) / 2;
    for (int row = 1; row >= 0; --row) {
        y -= kGap + m.button.height();
        l.buttons[size_t(2 * row)] = QRect(x, y, half, m.button.height());
        l.buttons[size_t(2 * row + 1)] = QRect(x + width - half, y, half, m.button.height());
    }
    y -= kGap + m.rowHeight;
    l.passLabel = QRect(x, y, half / 2, m.rowHeight);
    l.passCount = QRect(x + half / 2, y, half - half / 2, m.rowHeight);
    l.failLabel = QRect(x + width - half, y, half / 2, m.rowHeight);
    l.failCount = QRect(x + width - half + half / 2, y, half - half / 2, m.rowHeight);
    y -= kGap + m.rowHeight;
    l.autoSave = QRect(x, y, width, m.rowHeight);
    y -= kGap + m.progressHeight;
    l.progress = QRect(x, y, width, m.progressHeight);
    l.list = QRect(x, kMargin, width, std::max(y - kGap - kMargin, 0));
    // The grid right of the column, its labels and the 20 px lead of the fifth
    // lines before it; never nearer than the designed origin.
    l.label = m.label;
    const QPoint least = GridOrigin(scale);
    l.origin = QPoint(std::max(least.x(), x + width + kGap + m.label.width + kFifthLead),
                      std::max(least.y(), kLabelMargin + m.label.height + kFifthLead));
    // The labels of the last columns reach half a label past their line.
    l.cell = ComputeCellSize(view.width() - m.label.width / 2, view.height() - m.label.height / 2, l.origin, rows, columns,
                             panelFlags);
    return l;
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
