// "Noise Level Log" (123), CQVLogNoiseInfo: the full-screen guided noise
// measurement the Debug page starts. The operator holds a finger on the black
// mark while 50 raw frames are sampled (the touched run), lifts it, and 50
// more are sampled (the no-touch run). Each run's first frames and per-node
// standard deviations are appended to the chosen log; the no-touch run is
// graded against the finger threshold. At the end the main window gets
// WM_DEBUG_COMMAND (8, result) (1 after a whole measurement, 0 after Esc),
// which starts the frame part of the device-information log on the Debug page.
//
// Phases: 0 waiting for a touch, 1 touched run, 2 finger removal, 3 no-touch
// run. Timers (WM_TIMER, by number): 1, 4 and 6 count down once a second and
// start the sampling (1 while the finger is held, 4 after an early lift, 6
// when nobody touches), 2 ends the removal, 3 stops the first animation, 5
// starts the no-touch run. Touches arrive as WM_DEBUG_COMMAND (5, kind), kind
// 0x10 down and 0x20 up, forwarded by the main window through the Debug page
// while the touch-forward flag is set.
//
// The frames are read by NoiseLogSampleThread into buffers this window owns:
// 50 frames of the run, one slot per frame at base + count x N, the count one
// atomic the worker advances only after the slot is written. Progress (0, n)
// and the end of a run (1, 0) reach the window through a GuiCallGate. Every
// stop clears the running flag, closes the gate (a worker waiting for this
// thread gives up), joins the worker, and only then leaves diagnostic mode and
// frees the buffers, so no read is still filling a buffer that is gone.
#pragma once

#include "diag/noise_log.h"

#include "QV_Standard.h"
#include "text/text_file.h"
#include "ui/gui_call.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QLabel;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;
class CPictureEx;

// The program-wide touch-forward flag: set while the noise log waits for and
// follows the operator's finger. The touch callback reads it (through the
// program hook touchEcho, which the first CQVLogNoiseInfo fills) on the
// library's notification thread.
std::atomic<bool>& NoiseLogTouchForward();

class CQVLogNoiseInfo : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 123;
    static constexpr int kIdText = 363;
    static constexpr int kIdTouchAnimation = 2098;   // "hold the mark"
    static constexpr int kIdRemoveAnimation = 2099;  // "lift the finger"
    // The Debug page's template: the page state this log reports as busy.
    static constexpr int kDebugPageTemplate = 106;
    static constexpr int kTouchDown = 0x10, kTouchUp = 0x20;

    enum Phase { WaitTouch = 0, TouchedRun = 1, Removal = 2, NoTouchRun = 3 };

    // `parent` is the Debug page; the window is top-level over it (full screen,
    // hidden until the log starts). The main window the page lives in receives
    // WM_PAGE_STATE and (8, result) unless SetMainWindow names another.
    explicit CQVLogNoiseInfo(Controller& c, QWidget* parent = nullptr);
    ~CQVLogNoiseInfo() override;

    void SetMainWindow(QObject* window) { main_ = window; }
    // Writes the device-information header into the log at its opening (the
    // Debug page's WriteLogDeviceInterface with kind 2). Without one the log
    // starts with the first run.
    void SetHeaderWriter(std::function<void(qvtext::TextWriter&)> writer) { headerWriter_ = std::move(writer); }

    // Asks for the log file (save dialog), appends the header and restores
    // scanning; then reports busy, sets the touch-forward flag, shows the
    // window in phase 0 with animation 2098 and starts timers 3 and 6. False,
    // and nothing started, when the dialog was cancelled, the file could not
    // be opened ("Log Firmware File Failed.") or the controller delivers no
    // frame to sample.
    bool StartNoiseLog();
    // Ends a running log without a result (the page goes away or the device
    // is gone): timers, animations and the worker stopped, diagnostic mode left
    // when the sampling had entered it, the touch-forward flag cleared, the
    // buffers freed, the window hidden. Nothing when no log runs.
    void StopNoiseLog();

    bool IsRunning() const { return active_; }
    // The worker samples (the running flag).
    bool IsSampling() const { return running_.load(); }
    Phase phase() const { return Phase(phase_.load()); }
    // Frames of the current run in the buffer.
    int frameCount() const { return count_.load(); }
    int countdown() const { return countdown_; }
    const QString& logPath() const { return logPath_; }
    NoiseGeometry geometry() const { return geometry_; }
    // The frequency-hopping value saved at the start of each run (0xFF00: not read).
    int savedFrequency() const { return savedFrequency_; }
    qvui::WindowTimers* timers() const { return timers_; }
    CPictureEx* animation(int id) const;

    // Closing the window while the log runs ends it as Esc does.
    void reject() override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void onTimer(int id);
    void onDebugCommand(quint64 code, qint64 value);
    void onTouch(qint64 kind);
    void onProgress(int n);
    void evaluate();

    bool openLog();
    bool allocateBuffers();
    void startSampling();
    void enterDiagnosticMode(bool on);
    void saveFrequency();
    void setText(int stringId, int n = -1);
    // Stops the worker: running cleared, gate closed, thread joined.
    void stopWorker();
    void releaseRun();
    void stopWithResult(int result);
    void finishStop(int result);
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    QObject* mainWindow() const;

    void NoiseLogSampleThread();

    Controller& c_;
    QPointer<QObject> main_;
    std::function<void(qvtext::TextWriter&)> headerWriter_;
    qvui::WindowTimers* timers_ = nullptr;
    QLabel* text_ = nullptr;
    CPictureEx* touchAnimation_ = nullptr;
    CPictureEx* removeAnimation_ = nullptr;

    QString logPath_;
    bool active_ = false;      // a log runs (between start and stop)
    bool inDiagMode_ = false;  // the sampling put the controller into diagnostic mode
    bool stopPending_ = false; // a stop asked from inside a delivery of the worker
    int countdown_ = 0;
    bool touchCountdown_ = false, removalTimer_ = false, idleStart_ = false;
    int touchState_ = 0;  // 0 none, 1 lifted early, 2 done
    int liftState_ = 0;   // 0, 1 waiting, 2 done
    int savedFrequency_ = 0xFF00;
    std::atomic<int> phase_{WaitTouch};

    // The sampled frames: kNoiseFrames slots of N values, and the controller's
    // frame the worker reads into (built for this log, freed after the worker).
    NoiseGeometry geometry_;
    std::vector<uint16_t> samples_;
    NewRawArray frame_{};
    bool frameBuilt_ = false;
    HANDLE device_ = INVALID_HANDLE_VALUE;

    std::atomic<bool> running_{false};
    std::atomic<int> count_{0};
    std::mutex idleMutex_;
    std::condition_variable idle_;  // a run is done: the worker waits for the next or the stop
    std::unique_ptr<qvui::GuiCallGate> gate_;
    std::thread worker_;
    int delivering_ = 0;  // > 0 while the GUI thread runs a delivery of the worker
};

}  // namespace vcx
