#include "params/screen_division.h"

namespace vcx {

ScreenDivision divideScreen(const WinRect& m) {
    ScreenDivision d;
    const int width = m.right - m.left;
    const int height = m.bottom - m.top;
    if (width <= 0 || height <= 0) return d;  // no monitor to divide
    const double aspect = double(width) / double(height);
    const int hMiddle = m.left + width / 2;
    const int vMiddle = m.top + height / 2;
    if (aspect >= 2.5) {
        d.areas = {{m.left, m.top, hMiddle, m.bottom}, {hMiddle + 1, m.top, m.right, m.bottom}};
    } else if (aspect > 0.63 && aspect < 0.68) {
        d.stacked = true;
        d.areas = {{m.left, m.top, m.right, vMiddle}, {m.left, vMiddle + 1, m.right, m.bottom}};
        return d;
    } else {
        d.areas = {m};
    }
    for (const WinRect& a : d.areas) d.stored.push_back({a.left, a.top + (a.bottom - a.top) / 2, a.right, a.bottom});
    return d;
}

} // namespace vcx
