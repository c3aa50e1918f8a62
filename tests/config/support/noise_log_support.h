// Driving the noise-level log (CQVLogNoiseInfo) in tests: touches delivered
// as the main window forwards them (WM_DEBUG_COMMAND (5, kind)), timers
// stepped by WM_TIMER, and the worker's deliveries awaited while this thread
// runs them. The stand-in main window is scan_support.h's MainSink.
// Nothing waits for real time: the worker's reads run on the simulator's
// virtual clock, its deliveries as soon as this thread processes events.
#pragma once

#include "diag/noise_log_dlg.h"
#include "scan_support.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "wait_support.h"

#include <QCoreApplication>

#include <thread>

namespace noiselogtest {

// A contact down (0x10) or up (0x20), as the main window forwards it through the Debug page.
inline void Touch(vcx::CQVLogNoiseInfo& log, int kind) {
    qvui::sendMessage(&log, qvui::WM_DEBUG_COMMAND, 5, kind);
}

// `ticks` ticks of the log's timer `id`; false when it was not running for one of them.
inline bool Tick(vcx::CQVLogNoiseInfo& log, int id, int ticks = 1) {
    for (int i = 0; i < ticks; ++i)
        if (!qvui::fireTimer(&log, id)) return false;
    return true;
}

// Runs this thread's events (the worker's deliveries) until `done` holds.
template <typename Done>
bool Pump(Done done) {
    return qvtest::waitUntil(done, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::yield();
    });
}

// From phase 0 with nobody touching: nine ticks of timer 6 start the touched
// run; returns once its 50 frames were evaluated (phase 2, removal).
inline bool RunTouchedRunUntouched(vcx::CQVLogNoiseInfo& log) {
    if (log.phase() != vcx::CQVLogNoiseInfo::WaitTouch || !Tick(log, 6, 9) || !log.IsSampling()) return false;
    return Pump([&] { return log.phase() == vcx::CQVLogNoiseInfo::Removal; });
}

// From phase 2: the removal timer, then the no-touch run to its end (the
// window hidden, (8, 1) sent to the main window).
inline bool RunNoTouchRunToEnd(vcx::CQVLogNoiseInfo& log) {
    if (log.phase() != vcx::CQVLogNoiseInfo::Removal || !Tick(log, 2) || !Tick(log, 5)) return false;
    return Pump([&] { return !log.IsRunning(); });
}

// A started log through both runs with nobody touching, to its result.
inline bool RunNoiseLogToEnd(vcx::CQVLogNoiseInfo& log) {
    return RunTouchedRunUntouched(log) && RunNoTouchRunToEnd(log);
}

}  // namespace noiselogtest
