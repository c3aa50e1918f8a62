// What the diagnostic views share about their place among the windows: the
// main window their messages go to, and the size they take when the main
// window is resized.
#pragma once

#include <QSize>

class QObject;
class QWidget;

namespace vcx {

// `set` when there is one, else the top-level window `view` lives in (none
// while the view is a window of its own).
QObject* ViewMainWindow(const QWidget* view, QObject* set);

// The size `w` takes on the main window's WM_SIZE: `recorded`, or when the
// size type is 2 (maximised) the rectangle from w's top-left corner to the
// main window's bottom-right.
QSize SizeForParent(const QWidget* w, QSize recorded, int sizeType);

}  // namespace vcx
