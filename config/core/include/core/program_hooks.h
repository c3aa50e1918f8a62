// The program-wide hooks through which the main window and the touch callback
// reach work that pages of later versions provide: the drawing window, the
// calibration window, the draw test, and the Diagnostic page's process item,
// golden-sample caption and factory build view. A hook that is empty is work
// this version does not have; the callers test it first and then do nothing
// (each is listed in the README).
//
// The touch hooks are called on the library's notification threads: the page
// that fills one keeps it safe for that thread. Hooks are set before the touch
// notifications are registered (at page creation) and not changed while they run.
#pragma once

#include <functional>
#include <utility>
#include <vector>

class QString;
class QWidget;

namespace vcx {

// A notification every page may follow: each joins with its own function and
// leaves before it goes; calling runs them in the order they joined.
class HookList {
public:
    void join(const void* owner, std::function<void()> f);
    void leave(const void* owner);
    void operator()() const;
    explicit operator bool() const { return !entries_.empty(); }

private:
    std::vector<std::pair<const void*, std::function<void()>>> entries_;
};

struct ProgramHooks {
    // The drawing window (touch drawing in the program): running, and its touch mapper.
    std::function<bool()> drawThreadRunning;
    std::function<void(int state, int x, int y)> drawMapTouch;
    // The calibration window: open, and where its touches go.
    std::function<bool()> calibrationOpen;
    std::function<void(int state, int x, int y)> forwardTouchToCalibration;
    // The Debug page's touch-forward switch ("touch echo"): the noise-level log
    // wants the touches while it runs.
    std::function<bool()> touchEcho;
    // The region draw test: running, and its contact entry points.
    std::function<bool()> drawTestRunning;
    std::function<void(int id, int x, int y)> drawTestTouchDown;
    std::function<void(int id, int x, int y)> drawTestTouchUp;
    // Process item 4: the region draw test run modally over `owner`; its result
    // (1 pass, 2 user exit, 3 time out, else a failure).
    std::function<int(QWidget* owner)> runDrawTest;
    // Process item 6: the noise scan in process mode, its report at `reportPath`;
    // it answers WM_PROCESS_STEP (result, 6) to the main window.
    std::function<void(const QString& reportPath)> startProcessNoiseScan;

    // WM_DEBUG_COMMAND 7: the Diagnostic page's progress; its first command button
    // follows its own flag (value as code 7 carries it).
    std::function<void(int value)> diagnosticProgress;
    // WM_DEBUG_COMMAND 11 (value 0: the page's current item) and 13 (values 5, 6:
    // that item, the golden-sample scans): run a Diagnostic page process item.
    std::function<void(int item)> runDiagnosticProcessItem;
    // WM_DEBUG_COMMAND 13 (value 0): refresh the golden-sample caption.
    std::function<void()> refreshGoldenSampleCaption;
    // Timer 9's answer Yes: open the Diagnostic page's factory build view.
    std::function<void()> openFactoryBuildView;

    // The raw parameter table's byte editor (its window, nullptr while there is
    // none): a click elsewhere closes it by WM_TRAY_NOTIFY (0, 0).
    std::function<QWidget*()> byteEditor;

    // The engineer mode was switched: the parameter pages show or hide their
    // engineer controls again, the Debug page its tools.
    HookList engineerModeChanged;

    // The Field Update page while it lives: a device arrival during its update
    // (the main window's arrival tick while UpdateBusy), and main timer 10 (the
    // command line's file becomes the page's and the update starts).
    std::function<void()> updateResumeAfterArrival;
    std::function<void(const QString& file)> updateStartWithFile;
};

ProgramHooks& programHooks();

} // namespace vcx
