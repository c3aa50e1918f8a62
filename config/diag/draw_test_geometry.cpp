#include "diag/draw_test_geometry.h"

#include "QV_Standard.h"

#include <QPolygonF>

#include <algorithm>

namespace vcx {

int DrawTestTolerance(uint8_t processListFlag) { return (processListFlag & kLowerAccuracyFlag) ? 35 : 5; }

QPoint DrawTestMaximum(uint32_t deviceType, int model, int resolutionX, int resolutionY) {
    if (deviceType & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX)) return {4095, 4095};
    if (model >= 9000 && model <= 9999) return {1023, 1023};
    auto axis = [](int resolution) { return resolution >= 2 ? resolution - 1 : 4095; };
    return {axis(resolutionX), axis(resolutionY)};
}

int DrawTestOrientation(int angleDegrees) { return ((angleDegrees / 90) % 4 + 4) % 4; }

QRect DrawTestRect(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

namespace {

QPainterPath bandPath(const std::array<QPoint, 6>& band) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    QPolygonF polygon;
    for (QPoint p : band) polygon << QPointF(p);
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

} // namespace

DrawTestRegions BuildDrawTestRegions(const QRect& client, int tolerance) {
    // The client rectangle as the designed platform gives it: right and bottom outside.
    const int L = client.left(), T = client.top(), R = client.left() + client.width(),
              B = client.top() + client.height();
    const int w = client.width(), h = client.height();
    DrawTestRegions r;
    const int m = (std::min(w, h) / 100) * tolerance;
    r.margin = m;
    r.timerText = DrawTestRect(w / 2 - 150, m, w / 2 + 150, m + 30);
    r.message = DrawTestRect(w / 2 - 150, m + 30, w / 2 + 150, m + 60);
    r.corners = {DrawTestRect(L, T, L + m, T + m), DrawTestRect(R - m, T, R + 1, T + m),
                 DrawTestRect(R - m, B - m, R + 1, B + 1), DrawTestRect(L, B - m, L + m, B + 1)};
    r.strips = {DrawTestRect(L + m, T, R - m, T + m), DrawTestRect(R - m, T + m, R + 1, B - m),
                DrawTestRect(L + m, B - m, R - m, B + 1), DrawTestRect(L, T + m, L + m, B - m)};
    r.band13 = {QPoint(L + m, T + m), QPoint(L, T + m),     QPoint(R - m, B + 1),
                QPoint(R - m, B - m), QPoint(R + 1, B - m), QPoint(L + m, T)};
    r.band24 = {QPoint(R - m, T + m), QPoint(R + 1, T + m), QPoint(L + m, B + 1),
                QPoint(L + m, B - m), QPoint(L, B - m),     QPoint(R - m, T)};
    r.band13Path = bandPath(r.band13);
    r.band24Path = bandPath(r.band24);
    return r;
}

bool InsideBand(const std::array<QPoint, 6>& band, QPoint p) {
    const int64_t px = p.x(), py = p.y();
    bool inside = false;
    for (size_t i = 0, j = band.size() - 1; i < band.size(); j = i++) {
        const int64_t xi = band[i].x(), yi = band[i].y(), xj = band[j].x(), yj = band[j].y();
        // On the edge from j to i: collinear and within its bounding box.
        const int64_t cross = (xj - xi) * (py - yi) - (yj - yi) * (px - xi);
        if (cross == 0 && px >= std::min(xi, xj) && px <= std::max(xi, xj) && py >= std::min(yi, yj) &&
            py <= std::max(yi, yj))
            return true;
        // Even-odd crossing of the ray to the right, the edge's lower end in, its upper out.
        if ((yi > py) != (yj > py)) {
            // x of the edge at py, compared without division: px < xi + (py - yi) * (xj - xi) / (yj - yi).
            const int64_t lhs = (px - xi) * (yj - yi);
            const int64_t rhs = (py - yi) * (xj - xi);
            if (yj > yi ? lhs < rhs : lhs > rhs) inside = !inside;
        }
    }
    return inside;
}

QPoint DrawTestMapPoint(int x, int y, QPoint maximum, int orientation, QSize client) {
    const int64_t c[4] = {x, y, int64_t(maximum.x()) - x, int64_t(maximum.y()) - y};
    int64_t a = c[0], b = c[1];
    switch (orientation) {
    case 1: a = c[3], b = c[0]; break;
    case 2: a = c[2], b = c[3]; break;
    case 3: a = c[1], b = c[2]; break;
    default: break;
    }
    // A zero maximum cannot come from DrawTestMaximum; refused here all the same.
    const int64_t mx = std::max(1, maximum.x()), my = std::max(1, maximum.y());
    return {int(client.width() * a / mx), int(client.height() * b / my)};
}

const DrawTestStroke& DrawTestStrokeOf(int step) {
    static const DrawTestStroke kStrokes[6] = {
        {1, 2, {3, 4}}, {2, 3, {1, 4}}, {3, 4, {1, 2}}, {4, 1, {2, 3}}, {1, 3, {2, 4}}, {2, 4, {1, 3}},
    };
    return kStrokes[std::clamp(step, 0, 5)];
}

bool DrawTestForbidden(int step, int region) {
    const DrawTestStroke& s = DrawTestStrokeOf(step);
    return region == s.forbidden[0] || region == s.forbidden[1];
}

int DrawTestHit(const DrawTestRegions& r, int step, QPoint p) {
    for (int i = 0; i < 4; ++i)
        if (r.corners[size_t(i)].contains(p)) return i + 1;
    if (step >= 0 && step <= 3 && r.strips[size_t(step)].contains(p)) return 5;
    if (step == 4 && InsideBand(r.band13, p)) return 5;
    if (step == 5 && InsideBand(r.band24, p)) return 5;
    return 0;
}

int DrawTestPaintBrush(int step, int region) {
    static const int kTable[6][8] = {
        {0, 0, 2, 2, 0, 2, 2, 2}, {1, 0, 0, 2, 1, 0, 2, 2}, {1, 1, 0, 0, 1, 1, 0, 2},
        {0, 1, 1, 0, 1, 1, 1, 0}, {0, 1, 0, 1, 1, 1, 1, 1}, {1, 0, 1, 0, 1, 1, 1, 1},
    };
    if (region < 1 || region > 8) return 2;
    return kTable[std::clamp(step, 0, 5)][region - 1];
}

int DrawTestBandBrush(int step, int band13) {
    const int grey = band13 ? 4 : 5;
    if (step == grey) return 0;
    if (step > grey) return 1;
    return 2;
}

} // namespace vcx
