#include "diag/view_window.h"

#include <QWidget>

#include <algorithm>

namespace vcx {

QObject* ViewMainWindow(const QWidget* view, QObject* set) {
    if (set) return set;
    QWidget* top = view->window();
    return top != view ? top : nullptr;
}

QSize SizeForParent(const QWidget* w, QSize recorded, int sizeType) {
    if (sizeType != 2) return recorded;
    const QWidget* top = w->window();
    if (!top || top == w) return recorded;
    const QPoint origin = w->mapTo(top, QPoint(0, 0));
    return QSize(std::max(top->width() - origin.x(), 0), std::max(top->height() - origin.y(), 0));
}

}  // namespace vcx
