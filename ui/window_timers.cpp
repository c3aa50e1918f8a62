#include "ui/window_timers.h"

#include "ui/window_message.h"

#include <QTimer>

namespace qvui {

WindowTimers::WindowTimers(QObject* window) : QObject(window), window_(window) {}

void WindowTimers::start(int id, int intervalMs) {
    QTimer*& t = timers_[id];
    if (!t) {
        t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this, id] { sendMessage(window_, WM_TIMER, quint64(id), 0); });
    }
    t->start(qMax(0, intervalMs));
}

bool WindowTimers::stop(int id) {
    QTimer* t = timers_.value(id);
    if (!t || !t->isActive()) return false;
    t->stop();
    return true;
}

bool WindowTimers::isActive(int id) const {
    QTimer* t = timers_.value(id);
    return t && t->isActive();
}

int WindowTimers::interval(int id) const { return isActive(id) ? timers_.value(id)->interval() : -1; }

bool WindowTimers::fire(int id) {
    if (!isActive(id)) return false;
    sendMessage(window_, WM_TIMER, quint64(id), 0);
    return true;
}

bool fireTimer(QObject* window, int id) {
    if (!window) return false;
    for (WindowTimers* timers : window->findChildren<WindowTimers*>(Qt::FindDirectChildrenOnly))
        if (timers->fire(id)) return true;
    return false;
}

} // namespace qvui
