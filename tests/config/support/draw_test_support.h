// The region draw test's tests: the controller point a scripted touch needs
// so that it lands on a given point of the drawing window.
#pragma once

#include "diag/draw_test_dlg.h"

#include <QPoint>
#include <QSize>

#include <gtest/gtest.h>

// The controller point that lands on the window point (checked through the
// window's own mapping).
inline QPoint controllerPoint(const vcx::CDrawTestDlg& d, QPoint w) {
    const QPoint m = d.maximum();
    const QSize s = d.size();
    const QPoint c((w.x() * m.x() + s.width() - 1) / s.width(), (w.y() * m.y() + s.height() - 1) / s.height());
    EXPECT_EQ(vcx::DrawTestMapPoint(c.x(), c.y(), m, d.orientation(), s), w);
    return c;
}
