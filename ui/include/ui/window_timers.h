// Numbered window timers. Each timer number of a window maps onto one QTimer;
// starting a number that runs restarts it with the new interval, as the design's
// timers behave. A tick reaches the window as the window message WM_TIMER with
// the number as wParam, the same message the named-window layer delivers for
// the timers that only arrive from outside, so one handler serves both.
#pragma once

#include <QHash>
#include <QObject>

class QTimer;

namespace qvui {

class WindowTimers : public QObject {
    Q_OBJECT
public:
    explicit WindowTimers(QObject* window);

    void start(int id, int intervalMs);
    // False when that timer was not running.
    bool stop(int id);
    bool isActive(int id) const;
    // The running timer's interval, -1 when it is not running.
    int interval(int id) const;

private:
    QObject* window_;
    QHash<int, QTimer*> timers_;
};

} // namespace qvui
