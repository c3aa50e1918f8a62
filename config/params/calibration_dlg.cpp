#include "params/calibration_dlg.h"

#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "ui/control_ids.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <tuple>

namespace vcx {

// ---- The arithmetic ------------------------------------------------------------

int SampleDivisor(uint32_t deviceType, int resolution) {
    if (!(deviceType & 0x06) || resolution <= 0) return 1;
    return std::max(1, 4096 / resolution);
}

QPoint TargetInController(int phase, int inward, const CoordRange& r) {
    int px = 30, py = 70;
    if (phase == kPhaseFirst) px = py = inward;
    if (phase == kPhaseSecond) px = py = 100 - inward;
    return {r.xMin + (r.xMax - r.xMin) * px / 100, r.yMin + (r.yMax - r.yMin) * py / 100};
}

QPoint ControllerToWindow(QPoint p, int resolution, bool xReverse, bool yReverse, bool xySwitch, int rotation,
                          QSize window) {
    if (resolution < 2) return {};
    const int s = resolution - 1;
    int x = std::clamp(p.x(), 0, s), y = std::clamp(p.y(), 0, s);
    if (xReverse) x = s - x;
    if (yReverse) y = s - y;
    if (xySwitch) std::swap(x, y);
    // A display turned by quarter turns clockwise shows the native frame turned back.
    switch (rotation & 3) {
    case 1: std::tie(x, y) = std::pair(s - y, x); break;
    case 2: std::tie(x, y) = std::pair(s - x, s - y); break;
    case 3: std::tie(x, y) = std::pair(y, s - x); break;
    default: break;
    }
    return {int(int64_t(x) * window.width() / resolution), int(int64_t(y) * window.height() / resolution)};
}

int DisplayRotation(int angleDegrees) { return ((angleDegrees / 90) % 4 + 4) % 4; }

void MeasuredRange::widen(QPoint p) {
    xMin = std::min(xMin, p.x());
    xMax = std::max(xMax, p.x());
    yMin = std::min(yMin, p.y());
    yMax = std::max(yMax, p.y());
}

CoordRange ExtendMeasured(const MeasuredRange& m, int inward, int resolution) {
    const int e = std::clamp(inward, 2, 5);
    const int d = (50 - e) * 2;
    const int dx = (m.xMax - m.xMin) * e / d;
    const int dy = (m.yMax - m.yMin) * e / d;
    const int top = std::max(0, resolution - 1);
    return {std::max(0, m.xMin - dx), std::min(top, m.xMax + dx), std::max(0, m.yMin - dy), std::min(top, m.yMax + dy)};
}

CoordRange ApplyOrientationRules(CoordRange r, const OrientationInputs& in) {
    const int s = in.resolution - 1;
    auto swapAxes = [&r] {
        std::swap(r.xMin, r.yMin);
        std::swap(r.xMax, r.yMax);
    };
    if (in.xySwitch) swapAxes();
    if (bool(in.featureByte5 & 0x08) != in.xReverse) r = {s - r.xMax, s - r.xMin, r.yMin, r.yMax};
    if (bool(in.featureByte5 & 0x04) != in.yReverse) r = {r.xMin, r.xMax, s - r.yMax, s - r.yMin};
    if (in.paraVersion < 138 && (in.featureByte2 & 0x10)) swapAxes();
    return r;
}

QPoint CheckPointExpected(const CoordRange& r) {
    return {r.xMin + (r.xMax - r.xMin) * 3 / 10, r.yMin + (r.yMax - r.yMin) * 7 / 10};
}

bool CheckPointPasses(QPoint measured, const CoordRange& reference) {
    const QPoint e = CheckPointExpected(reference);
    return std::abs(measured.x() - e.x()) <= kCheckTolerance && std::abs(measured.y() - e.y()) <= kCheckTolerance;
}

int CalibrationTextId(int phase, int heldTicks) {
    if (heldTicks >= kHoldTicks) return 1215;
    if (heldTicks > 0) return 1214;
    if (phase == kPhaseCheck) return 1216;
    if (phase == kPhaseCheckFailed) return 1217;
    return 1213;
}

QString PresentFamily(const QString& wanted, const QStringList& available, const QString& fallback) {
    for (const QString& f : available)
        if (f.compare(wanted, Qt::CaseInsensitive) == 0) return f;
    return fallback;
}

void AddCalibrationArea(std::vector<CalibrationArea>& list, const WinRect& a) {
    list.push_back({a, {a.left, a.top + (a.bottom - a.top) / 2, a.right, a.bottom}});
}

std::vector<CalibrationArea> CalibrationAreas(const std::vector<WinRect>& monitors) {
    std::vector<CalibrationArea> list;
    for (const WinRect& m : monitors) {
        const ScreenDivision d = divideScreen(m);
        if (d.stacked) {
            for (const WinRect& a : d.areas) AddCalibrationArea(list, a);
            continue;
        }
        for (size_t i = 0; i < d.areas.size() && i < d.stored.size(); ++i) list.push_back({d.areas[i], d.stored[i]});
    }
    return list;
}

// ---- The window flag and the touch forward ---------------------------------------

namespace {

std::atomic<bool> g_calibrationOpen{false};
// The calibration window in use; read and written on the GUI thread only.
CQVCalibrationDlg* g_dialog = nullptr;

QRect toQRect(const WinRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

int screenRotation(const QScreen* s) {
    return s ? DisplayRotation(s->angleBetween(s->nativeOrientation(), s->orientation())) : 0;
}

} // namespace

bool CalibrationWindowOpen() { return g_calibrationOpen.load(); }
void SetCalibrationWindowOpen(bool open) { g_calibrationOpen.store(open); }

int ForwardTouchToCalibration(int state, int x, int y) {
    const int kind = state & 0xF0;
    if (kind != 0x10 && kind != 0x20) return 1;
    const quint64 wx = kind == 0x10 ? quint64(x & 0xFFFF) : 0xFFFF;
    const qint64 ly = kind == 0x10 ? qint64(y & 0xFFFF) : 0xFFFF;
    // The window is looked up on the GUI thread, where it is made and destroyed.
    auto deliver = [wx, ly] {
        if (g_dialog) qvui::sendMessage(g_dialog, qvui::WM_CALIBRATION_POINT, wx, ly);
    };
    if (qvui::GuiCallGate* gate = controller().notifyGate.get()) {
        gate->call(deliver);
    } else if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        deliver();
    }
    return 1;
}

void InstallCalibrationHooks() {
    ProgramHooks& h = programHooks();
    h.calibrationOpen = &CalibrationWindowOpen;
    h.forwardTouchToCalibration = [](int state, int x, int y) { ForwardTouchToCalibration(state, x, y); };
}

// ---- The window --------------------------------------------------------------

CQVCalibrationDlg::CQVCalibrationDlg(Controller& c, int inward, QWidget* parent, const std::vector<WinRect>* given)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), c_(c) {
    setWindowTitle(QStringLiteral("Calibration"));
    if (parent) setWindowIcon(parent->window()->windowIcon());
    timers_ = new qvui::WindowTimers(this);
    inward_ = std::clamp(inward, 2, 5);
    resolution_ = c.records.panel.resolution[0];
    divisor_ = SampleDivisor(c.dev.deviceType, resolution_);
    measured_ = MeasuredRange::start(resolution_);
    ParameterCoordinate& wc = c.records.calibrationCoordinate;
    for (size_t i = 0; i < 4; ++i) {
        values_[i] = &wc.word[i].value;
        saved_[i] = wc.word[i].value;
    }

    // The whole virtual screen; its monitors divided into calibration areas.
    std::vector<WinRect> monitors;
    if (given) monitors = *given;
    else
        for (QScreen* s : QGuiApplication::screens()) monitors.push_back(toWinRect(s->geometry()));
    for (const WinRect& m : monitors)
        if (m.right > m.left && m.bottom > m.top) virtualScreen_ |= toQRect(m);
    areas_ = CalibrationAreas(monitors);
    setGeometry(virtualScreen_.isEmpty() ? QRect(0, 0, 640, 480) : virtualScreen_);
    chosen_ = areas_.size() <= 1;
    rotation_ = screenRotation(QGuiApplication::primaryScreen());

    const QString family = PresentFamily(QStringLiteral("Tahoma"), QFontDatabase::families(),
                                         QApplication::font().family());
    textFont_ = QFont(family);
    textFont_.setPixelSize(50);
    textFont_.setWeight(QFont::Bold);
    // Point sizes in tenths, as the design gives them: 80 is 8 points.
    buttonFont_ = QFont(family);
    buttonFont_.setPointSizeF(8.0);

    yes_ = new QPushButton(QStringLiteral("Yes"), this);
    no_ = new QPushButton(QStringLiteral("No"), this);
    qvui::setControlId(yes_, kIdYes);
    qvui::setControlId(no_, kIdNo);
    for (QPushButton* b : {yes_, no_}) {
        b->setFont(buttonFont_);
        b->setAutoDefault(false);
        b->hide();
    }
    connect(yes_, &QPushButton::clicked, this, [this] { answerYes(); });
    connect(no_, &QPushButton::clicked, this, [this] { answerNo(); });
    g_dialog = this;
}

CQVCalibrationDlg::~CQVCalibrationDlg() {
    if (g_dialog == this) g_dialog = nullptr;
}

CoordRange CQVCalibrationDlg::reference() const {
    const ParameterCoordinate& wc = c_.records.calibrationCoordinate;
    return {wc.word[4].stored, wc.word[5].stored, wc.word[6].stored, wc.word[7].stored};
}

OrientationInputs CQVCalibrationDlg::orientation() const {
    const ParameterCoordinate& wc = c_.records.calibrationCoordinate;
    OrientationInputs in;
    in.xReverse = wc.item8[0].stored != 0;
    in.yReverse = wc.item8[1].stored != 0;
    in.xySwitch = wc.item8[2].stored != 0;
    in.featureByte2 = c_.dev.featureFlags[2];
    in.featureByte5 = c_.dev.featureFlags[5];
    in.paraVersion = c_.dev.paraVersion;
    in.resolution = resolution_;
    return in;
}

QPoint CQVCalibrationDlg::targetOnWindow() const {
    const OrientationInputs o = orientation();
    return ControllerToWindow(TargetInController(phase_, inward_, reference()), resolution_, o.xReverse, o.yReverse,
                              o.xySwitch, rotation_, size());
}

QString CQVCalibrationDlg::boxText() const { return qvui::loadString(uint32_t(CalibrationTextId(phase_, held_))); }

bool CQVCalibrationDlg::chooseAreaAt(QPoint global) {
    for (const CalibrationArea& a : areas_) {
        const QRect r = toQRect(a.area);
        if (!r.contains(global)) continue;
        setGeometry(r);
        rotation_ = screenRotation(QGuiApplication::screenAt(global));
        chosen_ = true;
        update();
        return true;
    }
    return false;
}

bool CQVCalibrationDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_CALIBRATION_POINT) {
            onPoint(int(m->wParam() & 0xFFFF), int(m->lParam() & 0xFFFF));
            return true;
        }
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
    }
    if (e->type() == QEvent::Resize) {
        const int w = width(), h = height();
        yes_->setGeometry(w * 10 / 100, h * 60 / 100, w * 40 / 100, h * 30 / 100);
        no_->setGeometry(w * 50 / 100, h * 60 / 100, w * 40 / 100, h * 30 / 100);
    }
    return QDialog::event(e);
}

void CQVCalibrationDlg::onPoint(int x, int y) {
    if (x == 0xFFFF && y == 0xFFFF) {
        onTouchUp();
        return;
    }
    if (!chosen_) {
        // The next click on a monitor chooses it.
        touchedUnchosen_ = true;
        return;
    }
    if (ending_ || phase_ >= kPhaseCheckFailed) return;
    if (!touchDown_) {
        touchDown_ = true;
        held_ = 0;
        mean_.reset();
        timers_->start(2, 100);
    }
    mean_.add(x / divisor_, y / divisor_);
}

void CQVCalibrationDlg::onTouchUp() {
    if (!touchDown_) return;
    touchDown_ = false;
    timers_->stop(2);
    const int held = held_;
    held_ = 0;
    if (held < kHoldTicks || ending_) {
        update();
        return;
    }
    const QPoint m = mean_.mean();
    switch (phase_) {
    case kPhaseFirst:
        measured_.widen(m);
        phase_ = kPhaseSecond;
        break;
    case kPhaseSecond:
        measured_.widen(m);
        phase_ = kPhaseCheck;
        finishPhaseOne();
        break;
    case kPhaseCheck:
        if (CheckPointPasses(m, reference())) {
            phase_ = kPhaseDone;
            endWithOk();
        } else {
            phase_ = kPhaseCheckFailed;
            timers_->start(3, 50);
        }
        break;
    default: break;
    }
    update();
}

void CQVCalibrationDlg::finishPhaseOne() {
    if (!measured_.usable()) return;
    const CoordRange n = ApplyOrientationRules(ExtendMeasured(measured_, inward_, resolution_), orientation());
    *values_[0] = uint16_t(n.xMin);
    *values_[1] = uint16_t(n.xMax);
    *values_[2] = uint16_t(n.yMin);
    *values_[3] = uint16_t(n.yMax);
    // From here the working copy differs from what the window found: a cancel restores it.
    written_ = true;
    if (!writeWorkingCopy()) {
        qvui::showMessageBox(this, QStringLiteral("Update Parameters to Device Failed."),
                             QStringLiteral("Update Parameters to Device Failed."), qvui::MessageIcon::Error);
        reject();
        return;
    }
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ActivateCalibrationParameter) t.ActivateCalibrationParameter(c_.dev.device);
}

bool CQVCalibrationDlg::writeWorkingCopy() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    return t.SetParameterCoordinate && t.SetParameterCoordinate(c_.dev.device, &c_.records.calibrationCoordinate);
}

void CQVCalibrationDlg::onTimer(int id) {
    switch (id) {
    case 1:
        timers_->stop(1);
        if (!ending_) {
            ending_ = true;
            timers_->stop(2);
            timers_->stop(3);
            accept();
        }
        break;
    case 2:
        ++held_;
        if (held_ == 1 || held_ == kHoldTicks) update();
        break;
    case 3:
        timers_->stop(3);
        if (phase_ == kPhaseCheckFailed) showButtons(true);
        break;
    default: break;
    }
}

void CQVCalibrationDlg::showButtons(bool on) {
    yes_->setVisible(on);
    no_->setVisible(on);
}

void CQVCalibrationDlg::endWithOk() {
    skip_ = true;
    timers_->start(1, 10);
}

void CQVCalibrationDlg::answerYes() {
    if (phase_ != kPhaseCheckFailed) return;
    showButtons(false);
    phase_ = kPhaseDone;
    endWithOk();
    update();
}

void CQVCalibrationDlg::answerNo() {
    if (phase_ != kPhaseCheckFailed) return;
    showButtons(false);
    phase_ = kPhaseFirst;
    measured_ = MeasuredRange::start(resolution_);
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.CalibrationPreSetup) t.CalibrationPreSetup(c_.dev.device);
    update();
}

void CQVCalibrationDlg::reject() {
    if (ending_) {
        QDialog::reject();
        return;
    }
    ending_ = true;
    for (int id : {1, 2, 3}) timers_->stop(id);
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (written_) {
        for (size_t i = 0; i < 4; ++i) *values_[i] = saved_[i];
        // A restore that does not reach the controller leaves a half calibration: say so.
        if (!writeWorkingCopy())
            qvui::showMessageBox(this, QStringLiteral("Restore Calibration Data Failed."),
                                 QStringLiteral("Restore Calibration Data Failed."), qvui::MessageIcon::Error);
    }
    if (t.ActivateCalibrationParameter) t.ActivateCalibrationParameter(c_.dev.device);
    QDialog::reject();
}

void CQVCalibrationDlg::keyPressEvent(QKeyEvent* e) {
    // Keys act when they are released; Escape and Enter must not end the window on the way down.
    e->accept();
}

void CQVCalibrationDlg::keyReleaseEvent(QKeyEvent* e) {
    e->accept();
    if (e->isAutoRepeat()) return;
    if (e->key() == Qt::Key_F9 && phase_ == kPhaseCheck && !ending_) endWithOk();
    if (e->key() == Qt::Key_Escape) reject();
}

void CQVCalibrationDlg::mousePressEvent(QMouseEvent* e) {
    if (!chosen_ && touchedUnchosen_) chooseAreaAt(e->globalPosition().toPoint());
    QDialog::mousePressEvent(e);
}

void CQVCalibrationDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setFont(textFont_);
    p.setPen(Qt::black);
    if (!chosen_) {
        for (const CalibrationArea& a : areas_)
            p.drawText(toQRect(a.text).translated(-geometry().topLeft()), Qt::AlignCenter | Qt::TextWordWrap,
                       qvui::loadString(1218));
        return;
    }
    if (phase_ <= kPhaseCheckFailed) {
        const QPoint t = targetOnWindow();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::red, 2));
        p.setBrush(Qt::NoBrush);
        for (int r : {10, 7, 4}) p.drawEllipse(t, r, r);
    }
    const QRect box(width() * 10 / 100, height() * 30 / 100, width() * 80 / 100, height() * 25 / 100);
    p.fillRect(box, QColor(224, 224, 224));
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, boxText());
}

} // namespace vcx
