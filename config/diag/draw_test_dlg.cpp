#include "diag/draw_test_dlg.h"

#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "core/strings.h"
#include "ui/modal_dialog.h"
#include "ui/popup_menu.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace vcx {

const std::array<uint32_t, 10> CDrawTestDlg::kPenColors = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF,
                                                           0xFFFF00, 0x0040C0, 0x00FFFF, 0xFF30A0, 0x0080FF};
const std::array<uint32_t, 3> CDrawTestDlg::kBrushColors = {0xC8C8C8, 0x32C864, 0x0000FF};

namespace {

QColor fromColorRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

// One contact report or lift handed from a notification thread to the window.
struct PendingTouch {
    bool down;
    int id, x, y;
};

// Wakes the window to take the pending points; the points themselves go
// through the locked list below, so the window reads nothing another thread
// wrote without that lock.
class DrawTestTouchEvent : public QEvent {
public:
    DrawTestTouchEvent() : QEvent(type()) {}
    static QEvent::Type type() {
        static const auto t = static_cast<QEvent::Type>(QEvent::registerEventType());
        return t;
    }
};

// The open draw test, for the hooks on the notification threads: set when the
// window starts taking touches, cleared (under the lock) before it closes, so
// a point is posted only to a window that lives; Qt drops what is still queued
// for a window that is destroyed.
std::mutex g_openMutex;
CDrawTestDlg* g_open = nullptr;
std::vector<PendingTouch> g_pending;  // points for g_open, in order (under g_openMutex)
std::atomic<bool> g_running{false};

void handOff(bool down, int id, int x, int y) {
    std::lock_guard lock(g_openMutex);
    if (!g_open) return;
    g_pending.push_back({down, id, x, y});
    QCoreApplication::postEvent(g_open, new DrawTestTouchEvent());
}

void setOpen(CDrawTestDlg* dlg) {
    std::lock_guard lock(g_openMutex);
    g_open = dlg;
    g_pending.clear();
    g_running.store(dlg != nullptr);
}

// The points handed to `dlg` since it last took them; none once it is closed.
std::vector<PendingTouch> takePending(const CDrawTestDlg* dlg) {
    std::vector<PendingTouch> points;
    std::lock_guard lock(g_openMutex);
    if (g_open == dlg) points.swap(g_pending);
    return points;
}

} // namespace

bool DrawTestRunning() { return g_running.load(); }
void DrawTestTouchDown(int id, int x, int y) { handOff(true, id, x, y); }
void DrawTestTouchUp(int id, int x, int y) { handOff(false, id, x, y); }

void InstallDrawTestHooks() {
    ProgramHooks& h = programHooks();
    h.drawTestRunning = &DrawTestRunning;
    h.drawTestTouchDown = &DrawTestTouchDown;
    h.drawTestTouchUp = &DrawTestTouchUp;
}

void SetEdgeGesturesDisabled(QWidget*, bool) {}

int RunDrawTest(Controller& c, uint8_t processListFlag, QWidget* parent) {
    const ParameterPanel& panel = c.records.panel;
    // The resolution words exist in a panel record read whole (beyond its base size).
    const bool panelRead = panel.valid != 0 && panel.cbSize > 60;
    const QPoint maximum = DrawTestMaximum(c.dev.deviceType, c.records.fwInformation.productNumber,
                                           panelRead ? panel.resolution[0] : 0, panelRead ? panel.resolution[1] : 0);
    CDrawTestDlg dlg(DrawTestTolerance(processListFlag), maximum, parent);
    qvui::execDialog(dlg);
    return dlg.drawResult();
}

// ---- The window --------------------------------------------------------------

CDrawTestDlg::CDrawTestDlg(int tolerance, QPoint maximum, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), tolerance_(tolerance), maximum_(maximum) {
    addProgramStrings();
    setWindowTitle(QStringLiteral("Drawing Test"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    timers_ = new qvui::WindowTimers(this);

    // Menu 552 "Mouse Menu".
    menu_ = new QMenu(QStringLiteral("Mouse Menu"), this);
    qvui::setMenuId(menu_->addAction(QStringLiteral("Retry")), kIdRetry);
    qvui::setMenuId(menu_->addAction(QStringLiteral("Exit")), kIdExit);

    // The whole screen it opens on.
    QScreen* s = parent ? parent->screen() : QGuiApplication::primaryScreen();
    setGeometry(s ? s->geometry() : QRect(0, 0, 800, 600));
    setWindowState(Qt::WindowFullScreen);
    orientation_ = s ? DrawTestOrientation(s->angleBetween(s->nativeOrientation(), s->orientation())) : 0;
    rebuild();
    connectScreen();

    result_ = kResultTimeOut;
    touching_ = true;
    setOpen(this);
    SetEdgeGesturesDisabled(this, true);
    timers_->start(kTimerStart, 500);
}

CDrawTestDlg::~CDrawTestDlg() { endTouches(); }

void CDrawTestDlg::endTouches() {
    // The touch flag first, then the hooks' pointer: nothing is posted from here on.
    touching_ = false;
    std::lock_guard lock(g_openMutex);
    if (g_open == this) {
        g_open = nullptr;
        g_running.store(false);
        SetEdgeGesturesDisabled(this, false);
    }
}

void CDrawTestDlg::done(int r) {
    endTouches();
    for (int id : {kTimerSecond, kTimerStart, kTimerPass, kTimerEnd}) timers_->stop(id);
    QDialog::done(r);
}

void CDrawTestDlg::connectScreen() {
    disconnect(screenOrientation_);
    disconnect(screenGeometry_);
    QScreen* s = screen();
    if (!s) return;
    auto changed = [this] {
        QScreen* now = screen();
        DisplayChanged(now ? DrawTestOrientation(now->angleBetween(now->nativeOrientation(), now->orientation())) : 0);
    };
    screenOrientation_ = connect(s, &QScreen::orientationChanged, this, changed);
    screenGeometry_ = connect(s, &QScreen::geometryChanged, this, changed);
}

void CDrawTestDlg::rebuild() {
    client_ = size();
    regions_ = BuildDrawTestRegions(QRect(QPoint(0, 0), client_), tolerance_);
    canvas_ = QImage(client_.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    paintFull();
}

void CDrawTestDlg::DisplayChanged(int orientation) {
    if (orientation < 0 || orientation > 3) orientation = 0;
    if (orientation == orientation_ && size() == client_) return;
    orientation_ = orientation;
    rebuild();
    update();
}

bool CDrawTestDlg::event(QEvent* e) {
    if (e->type() == DrawTestTouchEvent::type()) {
        for (const PendingTouch& t : takePending(this))
            if (touching_) t.down ? OnTouchDown(t.id, t.x, t.y) : OnTouchUp(t.id, t.x, t.y);
        return true;
    }
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
    }
    if (e->type() == QEvent::ScreenChangeInternal) connectScreen();
    return QDialog::event(e);
}

void CDrawTestDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    connectScreen();
}

void CDrawTestDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    DisplayChanged(orientation_);
}

void CDrawTestDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::RightButton) {
        QDialog::mousePressEvent(e);
        return;
    }
    if (QAction* picked = qvui::popupMenu(*menu_, e->globalPosition().toPoint())) onCommand(qvui::menuId(picked));
}

void CDrawTestDlg::onCommand(int id) {
    if (id == kIdRetry) {
        reset();
    } else if (id == kIdExit) {
        result_ = kResultExit;
        timers_->start(kTimerEnd, 10);
    }
}

void CDrawTestDlg::onTimer(int id) {
    switch (id) {
    case kTimerSecond:
        ++seconds_;
        if (seconds_ > kTimeOutSeconds - 1) {
            result_ = kResultTimeOut;
            timers_->start(kTimerEnd, 500);
        }
        paintTimerText();
        update();
        break;
    case kTimerStart:
        timers_->stop(kTimerStart);
        reset();
        break;
    case kTimerPass:
        timers_->stop(kTimerPass);
        result_ = kResultPass;
        timers_->start(kTimerEnd, 10);
        break;
    case kTimerEnd:
        timers_->stop(kTimerSecond);
        timers_->stop(kTimerEnd);
        if (!ending_) {
            ending_ = true;
            done(result_);
        }
        break;
    default: break;
    }
}

void CDrawTestDlg::reset() {
    step_ = 0;
    seconds_ = 0;
    start_ = 0;
    state_ = kStrokeNone;
    messageShown_ = true;
    ring_ = {};
    ringNext_ = 0;
    paintFull();
    update();
    timers_->start(kTimerSecond, 1000);
}

// ---- Touches -----------------------------------------------------------------

bool CDrawTestDlg::recordPoint(int id, int x, int y, QPoint* onWindow) {
    // Ids 0..9 have a pen and a place; the callback's id field reaches 15.
    if (id < 0 || id > 9) return false;
    *onWindow = DrawTestMapPoint(x, y, maximum_, orientation_, client_);
    ring_[size_t(ringNext_)] = {onWindow->x(), onWindow->y(), id, true};
    ringNext_ = (ringNext_ + 1) % kRingSize;
    return true;
}

void CDrawTestDlg::OnTouchDown(int id, int x, int y) {
    QPoint p;
    if (!recordPoint(id, x, y, &p)) return;
    // After the sixth stroke only the pass is awaited; points are still drawn.
    if (step_ < 6) {
        if (id != 0) {
            strokeFailed();
        } else {
            const int r = DrawTestHit(regions_, step_, p);
            if (start_ == 0) {
                state_ = kStrokeNone;
                start_ = r;
            }
            if (start_ == 0 || start_ == 5 || r == 0 || DrawTestForbidden(step_, r)) {
                strokeFailed();
            } else if (tolerance_ == 35 && step_ < 4 && r != 5 && r != start_) {
                // The wide regions: an edge stroke counts once its end corner is reached.
                start_ = r;
                strokeCompleted();
            }
        }
    }
    paintPoints();
    update();
}

void CDrawTestDlg::OnTouchUp(int id, int x, int y) {
    QPoint p;
    if (!recordPoint(id, x, y, &p)) return;
    if (step_ < 6) {
        if (id != 0) {
            strokeFailed();
        } else {
            if (start_ >= 1 && start_ <= 4) {
                const int r = DrawTestHit(regions_, step_, p);
                // Only the end corner completes the stroke: a lift outside every
                // region (0) fails it like one on the path.
                if (r == 0 || r == 5 || r == start_ || DrawTestForbidden(step_, r))
                    strokeFailed();
                else
                    strokeCompleted();
            }
            if (state_ == kStrokeFailed) state_ = kStrokeNone;
            start_ = 0;
        }
    }
    paintPoints();
    update();
}

void CDrawTestDlg::strokeCompleted() {
    state_ = kStrokeDone;
    const int finished = step_;
    ++step_;
    seconds_ = 0;
    if (step_ == 1) {
        messageShown_ = false;
        paintMessage(false);
    }
    paintStep(finished, 1);
    if (step_ < 6) paintStep(step_, 0);
    paintTimerText();
    if (step_ == 6) timers_->start(kTimerPass, 500);
}

void CDrawTestDlg::strokeFailed() {
    start_ = 5;
    if (state_ != kStrokeNone) return;
    state_ = kStrokeFailed;
    paintStep(step_, 2);
}

// ---- Painting ----------------------------------------------------------------

void CDrawTestDlg::paintRegion(int region, int step, int brush) {
    QPainter p(&canvas_);
    const QColor color = fromColorRef(kBrushColors[size_t(brush)]);
    if (region >= 1 && region <= 4) {
        p.fillRect(regions_.corners[size_t(region - 1)], color);
    } else if (region == 5) {
        if (step <= 3) {
            p.fillRect(regions_.strips[size_t(step)], color);
        } else {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.fillPath(step == 4 ? regions_.band13Path : regions_.band24Path, color);
        }
    }
}

void CDrawTestDlg::paintStep(int step, int brush) {
    const DrawTestStroke& s = DrawTestStrokeOf(step);
    paintRegion(5, std::clamp(step, 0, 5), brush);
    paintRegion(s.from, step, brush);
    paintRegion(s.to, step, brush);
}

void CDrawTestDlg::paintFull() {
    canvas_.fill(Qt::white);
    {
        QPainter p(&canvas_);
        for (int region = 1; region <= 8; ++region) {
            const int brush = DrawTestPaintBrush(step_, region);
            if (brush == 2) continue;
            const QRect& r = region <= 4 ? regions_.corners[size_t(region - 1)] : regions_.strips[size_t(region - 5)];
            p.fillRect(r, fromColorRef(kBrushColors[size_t(brush)]));
        }
        for (bool band13 : {true, false}) {
            const int brush = DrawTestBandBrush(step_, band13);
            if (brush != 2)
                p.fillPath(band13 ? regions_.band13Path : regions_.band24Path, fromColorRef(kBrushColors[size_t(brush)]));
        }
    }
    paintTimerText();
    if (messageShown_) paintMessage(true);
}

void CDrawTestDlg::paintTimerText() {
    QPainter p(&canvas_);
    p.fillRect(regions_.timerText, Qt::white);
    p.setPen(Qt::black);
    p.drawText(regions_.timerText, Qt::AlignCenter, TimerText());
}

QString CDrawTestDlg::TimerText() const {
    return QString::asprintf(qvui::loadString(1513).toUtf8().constData(), seconds_, kTimeOutSeconds);
}

void CDrawTestDlg::paintMessage(bool shown) {
    QPainter p(&canvas_);
    p.fillRect(regions_.message, Qt::white);
    if (!shown) return;
    p.setPen(Qt::black);
    p.drawText(regions_.message, Qt::AlignCenter, qvui::loadString(1514));
}

void CDrawTestDlg::paintPoints() {
    QPainter p(&canvas_);
    p.setBrush(Qt::NoBrush);
    for (RingPoint& r : ring_) {
        if (!r.pending) continue;
        p.setPen(QPen(fromColorRef(kPenColors[size_t(r.id)]), 3));
        p.drawRect(QRect(QPoint(r.x - 2, r.y - 2), QPoint(r.x + 2, r.y + 2)));
        r.pending = false;
    }
}

void CDrawTestDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, canvas_);
}

} // namespace vcx
