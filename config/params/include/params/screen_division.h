// The division of a monitor into calibration areas: a very wide monitor is two
// areas side by side, a tall one of aspect 0.63..0.68 two stacked areas, any
// other one area.
#pragma once

#include <QRect>

#include <vector>

namespace vcx {

// A rectangle as the monitor list gives it: right and bottom exclusive.
struct WinRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const WinRect&, const WinRect&) = default;
};
// QRect's right() and bottom() are the last pixel inside; WinRect's are one past it.
inline WinRect toWinRect(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

struct ScreenDivision {
    std::vector<WinRect> areas;
    // Stacked areas go to the calibration's AddCalibrationArea; the others are
    // kept with their stored calibration rectangle, the lower half of each area.
    bool stacked = false;
    std::vector<WinRect> stored;
};

ScreenDivision divideScreen(const WinRect& monitor);

} // namespace vcx
