// The drawing window: paints what each contact does onto a canvas the size of
// the window, runs the keys' tests and talks to the configuration program's
// windows by title.
#pragma once

#include <QPointer>

#include "set_distance_dialog.h"
#include "outer_detect.h"
#include "stroke_recorder.h"
#include "touch_decoder.h"
#include "ui/input_injector.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace qvui {
class WindowTimers;
}

namespace qvdraw {

inline const QString kDrawTitle = QStringLiteral("QV Draw 3");
inline const QString kDebugTitle = QStringLiteral(" VCX Debug");
inline const QString kDiagTitle = QStringLiteral(" VCX Diag");
inline const QString kScanTitle = QStringLiteral(" VCX Scan");
inline const QString kScan2Title = QStringLiteral(" VCX Scan2");

inline const QString kLinearityTitle = QStringLiteral("Varnet");
inline const QString kLinearityProgram = QStringLiteral("Varnet");

// The linearity test program in the first of `folders` that holds it as an
// executable file; empty when none does.
QString findLinearityProgram(const QStringList& folders);

// The key a menu item 200..209 runs; 0 for none (item 206, the version line).
int menuItemKey(int item);

// The colour of contact id 0..9.
QColor contactColour(int id);

// The drawing window's numbered timers; each tick reaches it as WM_TIMER with
// the number as wParam.
enum DrawTimer : int {
    kLiveTestTimer = 1,    // every second while the live test runs: its panel
    kSampleRateTimer = 2,  // every second while the sample rate is shown
    kHeadByteTimer = 3,    // every 100 ms while both head-byte switches are on
    kRepaintTimer = 4,     // every 10 s while key A has it on: the whole window again
    kSampleKeyGuardTimer = 5, // once, 200 ms after the menu's Sample Rate: its S key-up is let through again
    kHandOverTimer = 6,    // once, 100 ms after the command window opened: the hand-over
};

class DrawWindow : public QWidget {
    Q_OBJECT
public:
    // How the window sends a message to a sibling; the program posts over the
    // named-window layer, tests record.
    using Sender = std::function<void(const QString& title, quint32 message, quint64 wParam, qint64 lParam)>;

    explicit DrawWindow(QWidget* parent = nullptr);

    void setSender(Sender sender) { sender_ = std::move(sender); }
    // Whether a sibling window with that title is there.
    void setFinder(std::function<bool(const QString&)> finder) { finder_ = std::move(finder); }
    // Whether Qt's touch events are drawn (off while the digitizer's reports are read).
    void setQtTouchInput(bool on) { qtTouch_ = on; }
    void setInjector(std::unique_ptr<qvui::InputInjector> injector) { injector_ = std::move(injector); }
    // Where the linearity test program is looked for (default: the program's folder, then PATH).
    void setProgramFolders(const QStringList& folders) { programFolders_ = folders; }
    // Starts a program detached; the program uses QProcess::startDetached.
    void setStarter(std::function<bool(const QString&)> starter) { starter_ = std::move(starter); }
    // The hand-over after the configuration program opened its command window:
    // raised, no longer on top, a middle click injected.
    void commandWindowHandOver();
    QString lastInjectError() const { return injectError_; }
    bool commandWindowUp() const { return commandWindow_; }
    bool liveTestRunning() const { return liveRunning_; }
    // The one-second tick of the sample-rate display: samples per active contact.
    void sampleRateTick();
    // The 100 ms tick while both head-byte switches are on.
    void headByteTick();
    bool sampleRateShown() const { return sampleRate_; }
    qint64 lastHeadValue() const { return lastHead_; }
    bool fullScreenOn() const { return fullScreen_; }
    bool repaintTimerOn() const;
    qvui::WindowTimers& timers() const { return *timers_; }
    // The open "Set Distance" dialog, or nullptr.
    SetDistanceDialog* distanceDialog() const { return distanceDialog_.data(); }
    // The popup menu (its items run keys through menuItemKey).
    class QMenu* menu() const { return menu_; }
    // The live-test panel, as the one-second tick draws it.
    void drawLiveTestPanel();
    void setPixelsPerMm(double ppm);

    // A decoded contact in window coordinates.
    void contactEvent(int x, int y, int id, bool touching);
    void watchdogMark();
    // One decoded report (orientation and maximum already chosen).
    void reportDecoded(const Report& report, int32_t maximum, int orientation);

    // Runs a key as the key-up would.
    void runKey(int key);
    bool saveSnapshot(const QString& path, QString* error) const;

    const QImage& canvas() const { return canvas_; }
    const StrokeRecorder& recorder() const { return recorder_; }
    const OuterDetect& outerDetect() const { return outerDetect_; }
    bool touchMode() const { return touchMode_; }
    bool penUpMarks() const { return penUpMarks_; }
    int backgroundIndex() const { return background_; }
    int countModeBits() const { return countMode_; }
    int countLines() const { return countLines_; }
    bool bannerShown() const { return banner_; }
    int livePass() const { return pass_; }
    int liveFail() const { return fail_; }
    bool liveConnected() const { return connected_; }
    bool noLiveTest() const { return noLiveTest_; }
    bool outerDetectMode() const { return odMode_; }
    bool outerDetectRunning() const { return odRun_; }
    QString outerDetectLogPath() const { return odLogPath_; }
    void setOuterDetectLogPath(const QString& path) { odLogPath_ = path; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void send(const QString& title, quint32 message, quint64 wParam, qint64 lParam);
    void fullRepaint();
    void drawStep(const StrokeStep& step);
    void drawMarker(class QPainter& p, int id, ScreenPoint at);
    void drawWatchdog(class QPainter& p);
    void drawOuterDetect(class QPainter& p);
    void drawBanner(const QString& text, bool stop);
    qint64 handleMessage(quint32 message, quint64 wParam, qint64 lParam);
    void onTimer(int id);
    void showMenu();
    void stopOuterDetectRun();
    void sayGoodbye();

    QImage canvas_;
    StrokeRecorder recorder_;
    OuterDetect outerDetect_;
    Sender sender_;
    bool touchMode_ = false;
    bool penUpMarks_ = false;
    int background_ = 0;
    int countMode_ = 0; // bit 7 P, bit 6 J
    int countLines_ = 0;
    bool banner_ = false;
    int pass_ = 0, fail_ = 0;
    bool connected_ = false, noLiveTest_ = false;
    bool odMode_ = false, odRun_ = false;
    QElapsedTimer odStart_;
    QString odLogPath_ = QString::fromLatin1(kOuterDetectLogName);
    bool headG_ = false, headH_ = false;
    bool goodbyeSent_ = false;
    std::function<bool(const QString&)> finder_;
    std::function<bool(const QString&)> starter_;
    std::unique_ptr<qvui::InputInjector> injector_;
    QString injectError_;
    QStringList programFolders_;
    bool commandWindow_ = false;
    bool qtTouch_ = true;
    bool sampleRate_ = false;
    bool swallowKeyUp_ = false;
    // Esc went down on this window: only its release here exits, not the
    // release of an Esc that closed the menu or a dialog.
    bool escapeDown_ = false;
    // Forgets the dialog by itself when it closes (it deletes itself on close),
    // also while this window is being destroyed.
    QPointer<SetDistanceDialog> distanceDialog_;
    bool sGuard_ = false;
    bool fullScreen_ = false;
    QRect savedGeometry_;
    int headCycle_ = 0;
    qint64 lastHead_ = 0;
    QPoint lastMenuPos_;
    class QMenu* menu_ = nullptr;
    qvui::WindowTimers* timers_ = nullptr;
    bool liveRunning_ = false;
    QString liveStart_;
};

} // namespace qvdraw
