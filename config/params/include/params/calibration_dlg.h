// The touch calibration (template 199): a frameless, always-on-top window over
// every screen. The operator holds two red targets (near the top-left and the
// bottom-right corner of the reference range) for a second each; the measured
// points, widened by the inward margin, become the new coordinate range, which
// goes to the controller's calibration working copy at once. A check point at
// (30, 70) % then confirms it; a miss asks whether to keep the data. Escape
// restores the range the window found.
//
// The arithmetic (target placement, sample mean, divisor, widening, orientation
// rules, check point, box texts) is pure and tested without a display; painting
// only draws its results. Touches arrive as WM_CALIBRATION_POINT (x, y; 0xFFFF,
// 0xFFFF when the touch is lifted), sent by ForwardTouchToCalibration from the
// library's notification thread through the controller's call gate.
#pragma once

#include "params/screen_division.h"

#include <QDialog>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class QPushButton;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;

// X min, X max, Y min, Y max in controller units.
struct CoordRange {
    int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    friend bool operator==(const CoordRange&, const CoordRange&) = default;
};

// Calibration phases.
enum CalibrationPhase { kPhaseFirst = 0, kPhaseSecond = 1, kPhaseCheck = 2, kPhaseCheckFailed = 3, kPhaseDone = 4 };

// A touch held this many timer-2 ticks (100 ms each) or more counts.
constexpr int kHoldTicks = 10;
// A check point passes when both axes are within this many units.
constexpr int kCheckTolerance = 30;

// The sample divisor: 4096 / R on a driver connection (device type bits 1..2),
// at least 1; 1 on every other connection.
int SampleDivisor(uint32_t deviceType, int resolution);

// The target of a phase (0, 1: at inward % and 100 - inward % of the reference
// range; 2 and 3: the check point at (30, 70) %), in controller units.
QPoint TargetInController(int phase, int inward, const CoordRange& reference);
// A controller point on the window: the stored reverse and switch items applied,
// then the display rotation (0..3 quarter turns clockwise), then scaled from
// 0..R - 1 onto the window's width and height.
QPoint ControllerToWindow(QPoint controller, int resolution, bool xReverse, bool yReverse, bool xySwitch,
                          int rotation, QSize window);
// Quarter turns between the screen's native and its current orientation (0..3).
int DisplayRotation(int angleDegrees);

// The running mean of the samples of one touch.
struct TouchMean {
    int64_t sumX = 0, sumY = 0;
    int count = 0;
    void reset() { *this = {}; }
    void add(int x, int y) { sumX += x, sumY += y, ++count; }
    QPoint mean() const { return count ? QPoint(int(sumX / count), int(sumY / count)) : QPoint(); }
};

// The measured extremes of the two targets: they start at R - 1 (minima) and 0 (maxima).
struct MeasuredRange {
    int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    static MeasuredRange start(int resolution) { return {resolution - 1, 0, resolution - 1, 0}; }
    void widen(QPoint p);
    bool usable() const { return xMin < xMax && yMin < yMax; }
};

// The new range from the measured one: each axis widened on both sides by
// span * e / (2 * (50 - e)) and clamped to 0..R - 1.
CoordRange ExtendMeasured(const MeasuredRange& m, int inward, int resolution);

// What the controller stores: the orientation rules applied in order to a new range.
struct OrientationInputs {
    bool xySwitch = false, xReverse = false, yReverse = false; // the stored items 10, 8, 9
    uint8_t featureByte2 = 0, featureByte5 = 0;
    int paraVersion = 0;
    int resolution = 0;
};
CoordRange ApplyOrientationRules(CoordRange range, const OrientationInputs& in);

// The check point's expected position on the reference range and the test of a measured point.
QPoint CheckPointExpected(const CoordRange& reference);
bool CheckPointPasses(QPoint measured, const CoordRange& reference);

// The string of the grey box by phase and held ticks (1213..1217).
int CalibrationTextId(int phase, int heldTicks);

// The first of `wanted` that `available` has, else `fallback`.
QString PresentFamily(const QString& wanted, const QStringList& available, const QString& fallback);

// A calibration area: the rectangle the window takes when it is chosen and the
// part where its "touch this screen" text shows (its lower half).
struct CalibrationArea {
    WinRect area;
    WinRect text;
};
// The areas of the monitors, each divided by the screen-division routine.
std::vector<CalibrationArea> CalibrationAreas(const std::vector<WinRect>& monitors);
// AddCalibrationArea: the area of a split monitor and its lower half.
void AddCalibrationArea(std::vector<CalibrationArea>& list, const WinRect& area);

// The calibration window's state flag, read by TouchNotifyCallback on the
// library's threads: set by the coordinate page around the modal run.
bool CalibrationWindowOpen();
void SetCalibrationWindowOpen(bool open);
// The touch forward: 0x10 (down or move) sends WM_CALIBRATION_POINT (x, y) to the
// calibration window in use, 0x20 (up) (0xFFFF, 0xFFFF); returns 1.
int ForwardTouchToCalibration(int state, int x, int y);
// Fills the touch callback's calibration hooks (calibrationOpen, forwardTouchToCalibration).
void InstallCalibrationHooks();

class CQVCalibrationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 199;
    static constexpr int kIdYes = 450, kIdNo = 451;
    // `inward` is the page's inward percent (2..5). The caller checked that the
    // resolution is at least 2. `monitors`: the monitor rectangles, by default
    // those of QGuiApplication::screens().
    CQVCalibrationDlg(Controller& c, int inward, QWidget* parent = nullptr,
                      const std::vector<WinRect>* monitors = nullptr);
    ~CQVCalibrationDlg() override;

    int phase() const { return phase_; }
    int heldTicks() const { return held_; }
    bool monitorChosen() const { return chosen_; }
    bool valuesWritten() const { return written_; }
    const std::vector<CalibrationArea>& areas() const { return areas_; }
    // The current target on the window (phases 0..2).
    QPoint targetOnWindow() const;
    // The text the grey box shows now.
    QString boxText() const;
    // Chooses the area at a global position (the mouse click after a touch on
    // an unchosen monitor); false when no area is there.
    bool chooseAreaAt(QPoint global);
    qvui::WindowTimers* timers() const { return timers_; }

    // Escape and every other way to close the window without OK: the found
    // range restored, when it was written; the calibration activated.
    void reject() override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void onPoint(int x, int y);
    void onTouchUp();
    void onTimer(int id);
    void finishPhaseOne();
    void answerYes();
    void answerNo();
    void endWithOk();
    bool writeWorkingCopy();
    void showButtons(bool on);
    CoordRange reference() const;
    OrientationInputs orientation() const;

    Controller& c_;
    qvui::WindowTimers* timers_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* no_ = nullptr;
    std::vector<CalibrationArea> areas_;
    QRect virtualScreen_;
    int phase_ = kPhaseFirst;
    int held_ = 0;
    bool touchDown_ = false;
    TouchMean mean_;
    MeasuredRange measured_;
    std::array<uint16_t, 4> saved_{};  // the range the window found
    std::array<uint16_t*, 4> values_{}; // the working copy's four range values
    int inward_ = 5;
    int resolution_ = 0;
    int divisor_ = 1;
    int rotation_ = 0;
    bool chosen_ = false;
    bool touchedUnchosen_ = false;
    bool written_ = false;
    bool skip_ = false;
    bool ending_ = false;
    QFont textFont_;
    QFont buttonFont_;
};

} // namespace vcx
