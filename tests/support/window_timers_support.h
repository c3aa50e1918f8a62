// Stepping a window's numbered timers without waiting: the running timer that
// would fire first, for tests and benchmarks that fire the timers one by one
// on a virtual clock.
#pragma once

#include "ui/window_timers.h"

namespace qvtest {

// The running timer among ids 1..maxId with the shortest interval (the lowest
// id of those), its interval in *intervalMs; -1 when none runs.
inline int SoonestTimer(const qvui::WindowTimers& timers, int maxId, int* intervalMs) {
    int best = -1;
    for (int id = 1; id <= maxId; ++id)
        if (timers.isActive(id) && (best < 0 || timers.interval(id) < *intervalMs)) {
            best = id;
            *intervalMs = timers.interval(id);
        }
    return best;
}

}  // namespace qvtest
