// "Diagnostic Tessaly" (114), CVCXShowDlg: the full-screen 3-D view of the
// live difference between the panel's raw counts and a base frame, a coloured
// wire surface over the panel's grid, drawn with the fixed-function OpenGL of
// a compatibility profile and GLU's perspective; texts are painted with
// QPainter at the projected points.
//
// Start selects frequency mode 0, enters diagnostic mode, reads the base frame
// and runs timer 1 (a frame every 10 ms: read, rebuild the surface, repaint);
// with "Use Tablet PC" timer 2 closes the view after 30 s. Close restores the
// controller's frequency mode (unless it could not be read at the start),
// leaves diagnostic mode, reports the page idle (WM_PAGE_STATE (0, 105)) and
// hides the view. Keys act on release (auto-repeat ignored): Esc closes, 1..6
// select a frequency mode, B takes the current frame as the base, C toggles
// the flat map, O resets the camera, the arrows turn it, keypad - and + move it.
//
// The reads and commands run on the UI thread from the timers. Without an
// OpenGL context nothing is drawn, and everything else runs the same.
#pragma once

#include "diag/diag_state.h"
#include "diag/show3d_geometry.h"

#include <QOpenGLWidget>
#include <QPointer>

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;

class CVCXShowDlg : public QOpenGLWidget {
    Q_OBJECT
public:
    static constexpr int kTemplate = 114;
    static constexpr int kTimerFrame = 1, kTimerAutoExit = 2;
    static constexpr int kFrameMs = 10, kAutoExitMs = 30000;
    // The frequency mode read when the start could not read it.
    static constexpr uint32_t kModeUnread = 0xFF00;

    // `started` is the page's flag: set by Start, cleared by the page before it.
    CVCXShowDlg(Controller& c, DiagState& s, bool& started, QWidget* parent);
    ~CVCXShowDlg() override;

    void setMainWindow(QObject* window) { main_ = window; }
    void Start();
    void Close();

    bool running() const { return running_; }
    int modeCount() const { return nModeCount_; }
    int showMode() const { return nShowMode_; }
    int threshold() const { return T_; }
    const Camera& camera() const { return camera_; }
    const Frame& baseFrame() const { return BaseFrame3D_; }
    const Frame& currentFrame() const { return CurFrame_; }
    const Surface& surface() const { return surface_; }
    qvui::WindowTimers& timers() { return *timers_; }
    // Whether an OpenGL context was made for the view (false: nothing is drawn).
    bool glReady() const { return glReady_; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;

private:
    void onFrameTimer();
    void selectMode(int mode);
    void rebuildSurface();
    bool readMutual(bool diagData, Frame& into);
    QObject* mainWindow() const;

    Controller& c_;
    DiagState& s_;
    bool& started_;
    QPointer<QObject> main_;
    qvui::WindowTimers* timers_ = nullptr;
    bool running_ = false;
    bool glReady_ = false;
    int rows_ = 0, columns_ = 0;
    Frame CurFrame_, BaseFrame3D_;
    int T_ = 0;
    int nShowMode_ = 0;
    int nModeCount_ = 0;
    Camera camera_;
    Surface surface_;
};

}  // namespace vcx
