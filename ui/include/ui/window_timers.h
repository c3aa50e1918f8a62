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
    // Delivers a tick of timer `id` now, the message its timeout sends; false,
    // and nothing sent, when that timer is not running. The running timer keeps
    // its own schedule.
    bool fire(int id);

private:
    QObject* window_;
    QHash<int, QTimer*> timers_;
};

// For tests: a tick of the numbered timer `id` of `window` now, sent as the
// running timer would send it (WM_TIMER, wParam = id, lParam = 0, delivered
// synchronously), so a test steps a window's state machine without waiting.
// Only a running timer ticks: false, and nothing sent, when none of the window's
// WindowTimers runs `id`, so a test that expects a tick the code never started
// (or already stopped) fails. To deliver WM_TIMER regardless, as for the timers
// that only arrive from outside, use sendMessage(window, WM_TIMER, id).
bool fireTimer(QObject* window, int id);

} // namespace qvui
