// The region draw test (template 116): a full-screen window in which the
// operator draws six strokes with one finger, the four edges and the two
// diagonals, each from one corner square to another, within 100 seconds. The
// production line's drawing item opens it modally (RunDrawTest) and takes its
// result: 1 passed, 2 the operator chose Exit, 3 timed out.
//
// Touches come from the library's notification threads through
// TouchNotifyCallback and the program hooks drawTestRunning /
// drawTestTouchDown / drawTestTouchUp (InstallDrawTestHooks). The hooks hold
// the open window behind a mutex; each point is posted to the GUI thread, where
// the window alone changes its state. The window clears its touch flag and the
// pointer before it closes, so no point reaches a window that is gone.
//
// The arithmetic (regions, mapping, hit test, paint table) is in
// draw_test_geometry.h; painting draws on a canvas of the window's size that
// keeps what was drawn, as the designed window's incremental painting did, and
// the window shows the canvas.
#pragma once

#include "diag/draw_test_geometry.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <cstdint>

class QMenu;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;

// Fills the touch callback's draw-test hooks; called once, before the touch
// notifications are registered (the Diagnostic page does it when it is made).
void InstallDrawTestHooks();
// The hooks' functions: whether a draw test takes touches now, and the hand-off
// of one contact report (down) or lift (up) to the open window. Safe on any thread.
bool DrawTestRunning();
void DrawTestTouchDown(int id, int x, int y);
void DrawTestTouchUp(int id, int x, int y);

// The edge gestures of a full-screen window (swipes from the screen's edge
// that the designed platform's shell takes for itself) switched off or on
// again. Linux desktops have no such per-window switch: it does nothing.
void SetEdgeGesturesDisabled(QWidget* window, bool disabled);

// Opens the region draw test modally over `parent` (through the modal-dialog
// service) with the touch routing set, and returns its result: 1 passed, 2 user
// exit, 3 time-out (also when it was closed otherwise). `processListFlag` is
// the loaded process configuration's flag byte (g_ProcessListFlag; 0 without
// one): its Lower Accuracy bit widens the regions.
int RunDrawTest(Controller& c, uint8_t processListFlag, QWidget* parent = nullptr);

class CDrawTestDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 116;
    static constexpr int kMenu = 552;
    static constexpr int kIdRetry = 580, kIdExit = 581;
    static constexpr int kTimerSecond = 1, kTimerStart = 2, kTimerPass = 3, kTimerEnd = 4;
    static constexpr int kTimeOutSeconds = 100;
    static constexpr int kRingSize = 100;
    // Results.
    static constexpr uint8_t kResultPass = 1, kResultExit = 2, kResultTimeOut = 3;
    // Stroke states.
    static constexpr int kStrokeNone = 0, kStrokeDone = 1, kStrokeFailed = 2;

    // The pens of contact ids 0..9 and the three brushes, as COLORREF (0x00BBGGRR).
    static const std::array<uint32_t, 10> kPenColors;
    static const std::array<uint32_t, 3> kBrushColors;

    // `tolerance`: DrawTestTolerance of the process-list flag; `maximum`: DrawTestMaximum.
    CDrawTestDlg(int tolerance, QPoint maximum, QWidget* parent = nullptr);
    ~CDrawTestDlg() override;

    uint8_t drawResult() const { return result_; }
    int step() const { return step_; }
    int strokeState() const { return state_; }
    int strokeStart() const { return start_; }
    int seconds() const { return seconds_; }
    int tolerance() const { return tolerance_; }
    QPoint maximum() const { return maximum_; }
    int orientation() const { return orientation_; }
    bool touching() const { return touching_; }
    bool messageShown() const { return messageShown_; }
    const DrawTestRegions& regions() const { return regions_; }
    // "Time out:   %02d / %02d sec" with the seconds and 100.
    QString TimerText() const;
    // What the window shows.
    const QImage& canvas() const { return canvas_; }
    qvui::WindowTimers* timers() const { return timers_; }
    QMenu* mouseMenu() const { return menu_; }

    // A contact report and a lift in controller coordinates (the GUI thread's
    // side of the hand-off): ids above 9 are ignored.
    void OnTouchDown(int id, int x, int y);
    void OnTouchUp(int id, int x, int y);
    // The orientation read again and the client size compared (the screen's
    // orientation and geometry signals, a resize): on a change the regions are
    // rebuilt and everything is drawn again.
    void DisplayChanged(int orientation);

    void done(int r) override;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    struct RingPoint {
        int x = 0, y = 0, id = 0;
        bool pending = false;
    };

    void onTimer(int id);
    void onCommand(int id);
    void reset();
    void endTouches();
    void rebuild();
    bool recordPoint(int id, int x, int y, QPoint* onWindow);
    void strokeCompleted();
    void strokeFailed();
    // Painting on the canvas.
    void paintFull();
    void paintStep(int step, int brush);
    void paintRegion(int region, int step, int brush);
    void paintTimerText();
    void paintMessage(bool shown);
    void paintPoints();
    void connectScreen();

    int tolerance_ = 5;
    QPoint maximum_{4095, 4095};
    int orientation_ = 0;
    QSize client_;
    DrawTestRegions regions_;
    uint8_t result_ = kResultTimeOut;
    int step_ = 0;
    int start_ = 0;
    int state_ = kStrokeNone;
    int seconds_ = 0;
    bool messageShown_ = true;
    bool touching_ = false;
    bool ending_ = false;
    std::array<RingPoint, kRingSize> ring_{};
    int ringNext_ = 0;
    QImage canvas_;
    qvui::WindowTimers* timers_ = nullptr;
    QMenu* menu_ = nullptr;
    QMetaObject::Connection screenOrientation_, screenGeometry_;
};

} // namespace vcx
