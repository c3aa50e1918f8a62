// The region draw test's arithmetic, apart from its window: the tolerance, the
// coordinate maximum, the regions of the client rectangle, the mapping of a
// controller point onto the window, the hit test, each step's corners and the
// paint table. Rectangles follow the designed platform: they hold their left and
// top edges and exclude their right and bottom ones, so a point at x = L + m lies
// outside corner 1. A point on a diagonal band's edge counts as inside.
#pragma once

#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>

namespace vcx {

// The process-list flag bit "Lower Accuracy in Drawing Test".
constexpr uint8_t kLowerAccuracyFlag = 0x04;
// The tolerance percentage: 5, or 35 with the Lower Accuracy bit.
int DrawTestTolerance(uint8_t processListFlag);

// The coordinate maximum (X, Y): 4095 for devices on the kernel drivers (device
// type bits QV_DEVICE_DRIVER, QV_DEVICE_DRIVER_EX), 1023 for models 9000..9999,
// else the panel's resolution - 1 per axis. A resolution below 2 (or a panel
// record that was not read: pass 0) would make it 0 or -1 and the mapping divide
// by zero: that axis takes 4095.
QPoint DrawTestMaximum(uint32_t deviceType, int model, int resolutionX, int resolutionY);

// Quarter turns between a screen's native and its current orientation (0..3),
// from QScreen::angleBetween in degrees.
int DrawTestOrientation(int angleDegrees);

// A rectangle as the designed platform gives it: left, top, right, bottom, the
// right and bottom edges outside.
QRect DrawTestRect(int left, int top, int right, int bottom);

// The regions of a client rectangle (L, T, R, B) for a tolerance.
struct DrawTestRegions {
    int margin = 0;                 // m = (min(w, h) / 100) * tolerance
    QRect timerText, message;
    std::array<QRect, 4> corners;   // regions 1..4: top-left, top-right, bottom-right, bottom-left
    std::array<QRect, 4> strips;    // regions 5..8: top, right, bottom, left
    std::array<QPoint, 6> band13{}; // the diagonal band of step 4
    std::array<QPoint, 6> band24{}; // the diagonal band of step 5
    QPainterPath band13Path, band24Path; // the same, odd-even filled, for painting
};
DrawTestRegions BuildDrawTestRegions(const QRect& client, int tolerance);

// Whether p lies inside the polygon (even-odd rule) or on one of its edges.
bool InsideBand(const std::array<QPoint, 6>& band, QPoint p);

// A controller point (x, y) on a client area of size w x h: c0 = x, c1 = y,
// c2 = maxX - x, c3 = maxY - y; orientation 0 takes (c0, c1), 1 (c3, c0),
// 2 (c2, c3), 3 (c1, c2) as (a, b); then (w * a / maxX, h * b / maxY).
QPoint DrawTestMapPoint(int x, int y, QPoint maximum, int orientation, QSize client);

// The stroke of each step: its start and end corners (steps 0..5: 1-2, 2-3,
// 3-4, 4-1, 1-3, 2-4) and the two corners it may not use.
struct DrawTestStroke {
    int from, to;
    std::array<int, 2> forbidden;
};
const DrawTestStroke& DrawTestStrokeOf(int step);
bool DrawTestForbidden(int step, int region);

// The hit test at the step: corners 1..4 in that order give 1..4; then the
// step's path (steps 0..3 strip 5 + s, steps 4 and 5 their band) gives 5; else 0.
int DrawTestHit(const DrawTestRegions& r, int step, QPoint p);

// The paint table of a full redraw: for step s (0..5) and region 1..8 (corners,
// then strips), 0 grey, 1 green, 2 not drawn. Steps from 6 take the row of 5.
int DrawTestPaintBrush(int step, int region);
// The bands' brushes of a full redraw, 2 not drawn: band 1-3 grey at step 4 and
// green from 5; band 2-4 grey at step 5 and green from 6.
int DrawTestBandBrush(int step, int band13);

} // namespace vcx
