#include "diag/draw_window.h"

#include "diag/diag_state.h"
#include "diag/draw_test_geometry.h"
#include "core/app_settings.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "snapshot.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTouchEvent>

#include <algorithm>
#include <mutex>

namespace vcx {

// ---- Pure arithmetic ---------------------------------------------------------

bool DrawPointRing::push(const DrawPointRecord& r) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    const size_t next = (tail + 1) % slots_.size();
    if (next == head_.load(std::memory_order_acquire)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    slots_[tail] = r;
    tail_.store(next, std::memory_order_release);
    return true;
}

bool DrawPointRing::pop(DrawPointRecord* r) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    *r = slots_[head];
    head_.store((head + 1) % slots_.size(), std::memory_order_release);
    return true;
}

std::optional<uint16_t> OstraResolutionFromShift(uint8_t shift) {
    if (shift < 1 || shift > 15) return std::nullopt;
    return uint16_t(1u << shift);
}

QString DrawTimingText(uint32_t elapsedMs) {
    return QString::asprintf("%d.%d sec", int(elapsedMs / 1000), int(elapsedMs % 1000 / 100));
}

// ---- The hooks' side -----------------------------------------------------------

namespace {

// What the callback threads need to place a point; written on the GUI thread.
struct DrawTarget {
    CQVDrawWnd* window = nullptr; // set while the window takes touches
    QPoint maximum{4095, 4095};
    int orientation = 0;
    QSize client;
    bool ignore = false; // TouchGate on and full screen: Qt's touch events are used
};

std::mutex g_targetMutex;
DrawTarget g_target;
std::atomic<bool> g_running{false};
QPointer<CQVDrawWnd> g_window; // GUI thread only

struct KeyItem {
    int menuId;
    int key;
    const char* text;
};
constexpr KeyItem kKeyItems[] = {
    {560, Qt::Key_Space, "&Clear (Hot Key : Space)"},
    {561, Qt::Key_T, "Touch (Hot Key : &T)"},
    {562, Qt::Key_D, "Draw (Hot Key : &D)"},
    {563, Qt::Key_Escape, "&Exit (Hot Key : Esc)"},
    {564, Qt::Key_S, "Sample Rate (Hot Key : &S)"},
    {565, Qt::Key_F, "Full Screen or Restore (Hot Key : &F)"},
    {566, Qt::Key_Q, "Mark Pen Up (Hot Key : &Q)"},
    {567, Qt::Key_K, "KBU Timing (Hot Key : &K)"},
    {568, Qt::Key_N, "Down Up Count (Hot Key : &N)"},
};

QColor contactColour(int id) {
    // 0x00BBGGRR
    static const quint32 bgr[kDrawContacts] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF,
                                               0xFFFF00, 0x0040C0, 0x00FFFF, 0xFF30A0, 0x0080FF};
    const quint32 v = bgr[size_t(id) % kDrawContacts];
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

QRect toQRect(const Rect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }
Rect toRect(const QRect& r) { return Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

int screenOrientation(const QScreen* s) {
    if (!s) return 0;
    return (s->angleBetween(s->nativeOrientation(), s->orientation()) / 90) & 3;
}

const QRect kSampleRows(40, 50, 100, 20 * kDrawContacts);

} // namespace

bool DrawWindowRunning() { return g_running.load(); }

CQVDrawWnd* DrawWindow() { return g_window.data(); }

void MapTouchToDrawWindow(int state, int x, int y) {
    const int kind = state & 0xF0;
    const int id = state & 0x0F;
    if ((kind != kDrawTouching && kind != kDrawLifted) || id >= kDrawContacts) return;
    std::lock_guard lock(g_targetMutex);
    const DrawTarget& t = g_target;
    if (!t.window || t.ignore) return;
    const QPoint p = DrawTestMapPoint(x & 0xFFFF, y & 0xFFFF, t.maximum, t.orientation, t.client);
    t.window->enqueue({p.x(), p.y(), id, uint8_t(kind)});
}

void InstallDrawWindowHooks() {
    ProgramHooks& h = programHooks();
    h.drawThreadRunning = &DrawWindowRunning;
    h.drawMapTouch = [](int state, int x, int y) { MapTouchToDrawWindow(state, x, y); };
}

bool TouchGateSetting() {
    const QSettings store(SettingsEnvironment::forThisProgram().userStore, QSettings::IniFormat);
    return store.value(QStringLiteral("TouchGate"), 0).toInt() != 0;
}

CQVDrawWnd* OpenDrawWindow(Controller& c, QObject* mainWindow) {
    if (CQVDrawWnd* w = g_window.data()) {
        w->show();
        w->raise();
        w->activateWindow();
        return w;
    }
    auto* w = new CQVDrawWnd(c, mainWindow, TouchGateSetting());
    w->setAttribute(Qt::WA_DeleteOnClose);
    g_window = w;
    g_running = true;
    w->start();
    return w;
}

void CloseDrawWindow() {
    CQVDrawWnd* w = g_window.data();
    if (!w) return;
    w->close();
    delete w;
}

// ---- The window ----------------------------------------------------------------

CQVDrawWnd::CQVDrawWnd(Controller& c, QObject* mainWindow, bool touchGate)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), c_(c), main_(mainWindow), touchGate_(touchGate) {
    setWindowTitle(QStringLiteral("Quorvane Draw"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    timers_ = new qvui::WindowTimers(this);
    buildMenu();
    // Two bold fonts in the program's face: the larger sizes for Tahoma.
    const QString face = QApplication::font().family();
    const bool tahoma = face == QLatin1String("Tahoma");
    const int scale = std::max(programState().screenScale, 1);
    large_ = QFont(face);
    large_.setBold(true);
    large_.setPixelSize(std::max((tahoma ? 60 : 55) * scale / 100, 1));
    small_ = QFont(face);
    small_.setBold(true);
    small_.setPixelSize(std::max((tahoma ? 25 : 20) * scale / 100, 1));
}

CQVDrawWnd::~CQVDrawWnd() { end(); }

void CQVDrawWnd::buildMenu() {
    menu_ = new QMenu(this);
    auto* modes = new QActionGroup(menu_);
    for (const KeyItem& k : kKeyItems) {
        QAction* a = menu_->addAction(QString::fromLatin1(k.text));
        qvui::setMenuId(a, k.menuId);
        if (k.menuId == 561 || k.menuId == 562) {
            a->setCheckable(true);
            modes->addAction(a);
        }
        if (k.menuId == 564 || k.menuId >= 566) a->setCheckable(true);
        const int key = k.key;
        connect(a, &QAction::triggered, this, [this, key] { runKey(key); });
    }
    qvui::findMenuAction(*menu_, 562)->setChecked(true);
}

void CQVDrawWnd::start() {
    if (started_) return;
    // An Ostra-series controller names its coordinate range.
    const int model = int(c_.records.fwInformation.productNumber);
    if (model >= 6000 && model <= 6999 && c_.dev.device != INVALID_HANDLE_VALUE) {
        uint8_t p[5] = {0xFF, 0x00, 0x00, 0x00, 0x00};
        if (SendCmdPacket(c_, p)) {
            if (const auto r = OstraResolutionFromShift(p[4])) {
                c_.records.panel.resolution[0] = *r;
                c_.records.panel.resolution[1] = *r;
            }
        }
    }
    if (c_.api.CreateComPortTouchNotify) c_.api.CreateComPortTouchNotify();
    if (main_) qvui::postMessage(main_, qvui::WM_PAGE_STATE, 1, kDrawPageTemplate);

    setGeometry(100, 100, 800, 600);
    const QRect saved = toQRect(appSettings().drawRect);
    if (saved.isValid()) setGeometry(saved);
    if (touchGate_) setAttribute(Qt::WA_AcceptTouchEvents);
    applyOptions();
    showMaximized();
    activateWindow();  // the keys go to the drawing window, not to the main window
    if (QScreen* s = screen()) {
        connect(s, &QScreen::orientationChanged, this, [this] { publishTarget(); });
        connect(s, &QScreen::geometryChanged, this, [this] { publishTarget(); });
    }
    started_ = true;
    publishTarget();
}

void CQVDrawWnd::applyOptions() {
    const uint32_t o = appSettings().options;
    if (o & kOptShowSR) runKey(Qt::Key_S);
    if (o & kOptDrawDownUpMark) runKey(Qt::Key_Q);
    if (o & kOptDrawKBUTiming) runKey(Qt::Key_K);
    if (o & kOptDrawDownUpCnt) runKey(Qt::Key_N);
    if (o & kOptDrawMenu) {
        // At (u, v / 2), 20u wide and 2v high, u and v the font's base units.
        const QFontMetrics fm(font());
        const int u = std::max(fm.averageCharWidth(), 1), v = std::max(fm.height(), 1);
        menuButton_ = new QPushButton(QStringLiteral("Menu"), this);
        qvui::setControlId(menuButton_, kIdDrawMenuButton);
        menuButton_->setGeometry(u, v / 2, 20 * u, 2 * v);
        menuButton_->setFocusPolicy(Qt::NoFocus);
        connect(menuButton_, &QPushButton::clicked, this, [this] { showPopupMenu(); });
    }
}

void CQVDrawWnd::publishTarget() {
    orientation_ = screenOrientation(screen());
    const uint32_t type = c_.dev.deviceType;
    const int model = int(c_.records.fwInformation.productNumber);
    std::lock_guard lock(g_targetMutex);
    DrawTarget& t = g_target;
    t.window = started_ && !ended_ ? this : nullptr;
    t.maximum = DrawTestMaximum(type, model, c_.records.panel.resolution[0], c_.records.panel.resolution[1]);
    t.orientation = orientation_;
    t.client = size();
    t.ignore = touchGate_ && fullScreen_;
}

void CQVDrawWnd::enqueue(const DrawPointRecord& r) {
    if (ring_.push(r) && !drainAsked_.exchange(true))
        QMetaObject::invokeMethod(this, &CQVDrawWnd::drain, Qt::QueuedConnection);
}

void CQVDrawWnd::drain() {
    drainAsked_ = false;
    DrawPointRecord r;
    QRect dirty;
    while (ring_.pop(&r)) dirty |= record(r);
    if (!dirty.isEmpty()) update(dirty);
}

QRect CQVDrawWnd::record(const DrawPointRecord& r) {
    if (std::this_thread::get_id() != home_) ++offThread_;
    if (r.id < 0 || r.id >= kDrawContacts) return {};
    ++drawn_;
    const int before = downCount_ + upCount_;
    const QPoint at(r.x, r.y);
    const size_t id = size_t(r.id);
    qvdraw::StrokeStep step;
    if (r.event == kDrawTouching) {
        lifted_[id] = false;
        step = contacts_.touch(r.id, {r.x, r.y});
    } else {
        lifted_[id] = true;
        step = contacts_.lift(r.id);
    }
    const QRect painted = paintRecord(r, step, at);
    if (counts_ && downCount_ + upCount_ != before) drawCounts();
    return painted;
}

QRect CQVDrawWnd::paintRecord(const DrawPointRecord& r, const qvdraw::StrokeStep& step, QPoint at) {
    if (step.kind == qvdraw::StrokeStep::Ignored) return {};
    const bool down = step.kind == qvdraw::StrokeStep::Down;
    if (step.kind == qvdraw::StrokeStep::Lift) {
        if (counts_) ++upCount_;
    } else if (down) {
        if (counts_) ++downCount_;
        if (timing_ && !timingStarted_) {
            timingStarted_ = true;
            startTick_ = tick();
        }
    }
    if (step.kind != qvdraw::StrokeStep::Lift && timingStarted_) elapsed_ = tick() - startTick_;
    if (canvas_.isNull()) return {};
    QPainter p(&canvas_);
    const QColor colour = contactColour(r.id);
    const QPoint last(step.from.x, step.from.y);
    // The area this record changes: around the point and the previous one.
    const int margin = touchMode_ ? 61 : 8;
    QRect area = QRect(at, at).adjusted(-margin, -margin, margin, margin);
    if (step.from.x >= 0) area |= QRect(last, last).adjusted(-margin, -margin, margin, margin);
    if (touchMode_) {
        // The square around the previous position is erased, then the contact shown.
        if (step.from.x >= 0) p.fillRect(QRect(last.x() - 60, last.y() - 60, 120, 120), Qt::white);
        if (step.kind != qvdraw::StrokeStep::Lift) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(colour, 1));
            p.setBrush(colour);
            p.drawEllipse(at, 30, 30);
        }
        return area;
    }
    if (step.kind == qvdraw::StrokeStep::Lift) {
        if (penUpMarks_) {
            p.setPen(QPen(colour, 1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRect(QPoint(last.x() - 6, last.y() - 6), QPoint(last.x() + 6, last.y() + 6)));
        }
        return area;
    }
    p.setPen(QPen(colour, 1));
    p.setBrush(colour);
    p.drawEllipse(QRect(QPoint(at.x() - 3, at.y() - 3), QPoint(at.x() + 3, at.y() + 3)));
    if (down) {
        if (penUpMarks_) {
            p.setPen(QPen(colour, 3));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(QPoint(at.x() - 6, at.y() - 6), QPoint(at.x() + 6, at.y() + 6)));
        }
    } else {
        p.setPen(QPen(colour, 1));
        p.drawLine(last, at);
    }
    return area;
}

void CQVDrawWnd::clearDrawing() {
    if (!canvas_.isNull()) canvas_.fill(Qt::white);
    if (counts_) drawCounts();
    update();
}

void CQVDrawWnd::resetContacts() {
    contacts_.clear();
    lifted_.fill(false);
}

bool CQVDrawWnd::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_TIMER:
            if (m->wParam() == kDrawSampleTimer) onSampleTimer();
            if (m->wParam() == kDrawTimingTimer) onTimingTimer();
            return true;
        case qvui::WM_CALIBRATION_POINT:
            resetContacts();
            return true;
        default:
            break;
        }
    }
    switch (e->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        if (touchGate_ && fullScreen_) {
            for (const QEventPoint& pt : static_cast<QTouchEvent*>(e)->points()) {
                const int id = pt.id();
                if (id < 0 || id >= kDrawContacts) continue;
                const QPoint at = pt.position().toPoint();
                update(record({at.x(), at.y(), id, pt.state() == QEventPoint::Released ? kDrawLifted : kDrawTouching}));
            }
        }
        e->accept();
        return true;
    default:
        break;
    }
    return QWidget::event(e);
}

void CQVDrawWnd::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawImage(e->rect(), canvas_, e->rect());
}

void CQVDrawWnd::resizeEvent(QResizeEvent* e) {
    QImage next(size(), QImage::Format_RGB32);
    next.fill(Qt::white);
    if (!canvas_.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, canvas_);
    }
    canvas_ = next;
    if (counts_) drawCounts();
    if (started_) publishTarget();
    QWidget::resizeEvent(e);
}

void CQVDrawWnd::keyPressEvent(QKeyEvent* e) {
    if (!e->isAutoRepeat()) keysDown_.insert(e->key());
    e->accept();
}

void CQVDrawWnd::keyReleaseEvent(QKeyEvent* e) {
    e->accept();
    if (e->isAutoRepeat()) return;
    // A key counts when it went down here (not, say, the Enter that opened the window), and Esc always.
    const int key = e->key();
    const bool wentDown = keysDown_.erase(key) > 0;
    if (wentDown || key == Qt::Key_Escape) runKey(key);
}

void CQVDrawWnd::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) showPopupMenu();
    QWidget::mouseReleaseEvent(e);
}

void CQVDrawWnd::showPopupMenu() { qvui::popupMenu(*menu_, QCursor::pos()); }

void CQVDrawWnd::runKey(int key) {
    switch (key) {
    case Qt::Key_Space: clearDrawing(); break;
    case Qt::Key_T:
    case Qt::Key_D:
        touchMode_ = key == Qt::Key_T;
        qvui::findMenuAction(*menu_, touchMode_ ? 561 : 562)->setChecked(true);
        break;
    case Qt::Key_Escape: close(); break;
    case Qt::Key_S:
        sampleRate_ = !sampleRate_;
        if (sampleRate_) {
            contacts_.takeSamples();
            timers_->start(kDrawSampleTimer, 1000);
        } else {
            timers_->stop(kDrawSampleTimer);
            eraseSampleRows();
        }
        qvui::findMenuAction(*menu_, 564)->setChecked(sampleRate_);
        break;
    case Qt::Key_F: toggleFullScreen(); break;
    case Qt::Key_Q:
        penUpMarks_ = !penUpMarks_;
        qvui::findMenuAction(*menu_, 566)->setChecked(penUpMarks_);
        break;
    case Qt::Key_K:
        timing_ = !timing_;
        timingStarted_ = false;
        elapsed_ = 0;
        downCount_ = upCount_ = 0;
        if (timing_) timers_->start(kDrawTimingTimer, 100);
        else timers_->stop(kDrawTimingTimer);
        qvui::findMenuAction(*menu_, 567)->setChecked(timing_);
        break;
    case Qt::Key_N:
        counts_ = !counts_;
        qvui::findMenuAction(*menu_, 568)->setChecked(counts_);
        if (counts_) drawCounts();
        break;
    case Qt::Key_M: showPopupMenu(); break;
    case Qt::Key_F12: saveSnapshot(); break;
    default: break;
    }
}

void CQVDrawWnd::toggleFullScreen() {
    if (fullScreen_) {
        // Restore: the frame back, the window at the saved rectangle.
        fullScreen_ = false;
        setWindowFlag(Qt::FramelessWindowHint, false);
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
        setGeometry(toQRect(appSettings().drawRect));
        show();
    } else {
        // Full screen: the rectangle kept, the frame removed, maximised.
        appSettings().drawRect = toRect(geometry());
        fullScreen_ = true;
        setWindowFlag(Qt::FramelessWindowHint, true);
        showMaximized();
    }
    activateWindow();
    publishTarget();
}

void CQVDrawWnd::saveSnapshot() {
    QString path = qvui::chooseSaveFile(this, QStringLiteral("Save snapshot"), workingFolders()[kDrawPNGFolder],
                                        QStringLiteral("PNG image (*.png)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    const QString error = qvdraw::writePngSnapshot(canvas_, path);
    if (!error.isEmpty()) qvui::showMessageBox(this, error, QStringLiteral("Save snapshot"), qvui::MessageIcon::Error);
}

void CQVDrawWnd::eraseSampleRows() {
    if (canvas_.isNull()) return;
    QPainter(&canvas_).fillRect(kSampleRows, Qt::white);
    update(kSampleRows);
}

void CQVDrawWnd::onSampleTimer() {
    const auto samples = contacts_.takeSamples();
    eraseSampleRows();
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    p.setPen(Qt::black);
    int row = 0;
    for (int id = 0; id < kDrawContacts; ++id) {
        if (samples[size_t(id)] <= 0) continue;
        uint32_t rate = 0;
        const bool fromDriver = c_.api.GetDriverSampleRate && c_.dev.device != INVALID_HANDLE_VALUE &&
                                c_.api.GetDriverSampleRate(c_.dev.device, uint32_t(id), &rate);
        const int shown = fromDriver ? int(rate) : samples[size_t(id)];
        const QRect line(kSampleRows.left(), kSampleRows.top() + 20 * row++, kSampleRows.width(), 20);
        p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, QString::asprintf("Point %d : %d", id, shown));
    }
    update(kSampleRows);
}

void CQVDrawWnd::onTimingTimer() {
    if (elapsed_ == 0 || canvas_.isNull()) return;
    const QRect area(0, 10, std::max(width() - 20, 0), QFontMetrics(large_).height() + 4);
    QPainter p(&canvas_);
    p.fillRect(area, Qt::white);
    p.setFont(large_);
    p.setPen(Qt::black);
    p.drawText(area, Qt::AlignRight | Qt::AlignVCenter, DrawTimingText(elapsed_));
    update(area);
}

void CQVDrawWnd::drawCounts() {
    if (canvas_.isNull()) return;
    const int line = QFontMetrics(small_).height() + 4;
    const QRect area(0, height() - 2 * line - 10, std::max(width() - 20, 0), 2 * line);
    QPainter p(&canvas_);
    p.fillRect(area, Qt::white);
    p.setFont(small_);
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
               QString::asprintf("Down Count = %d", downCount_));
    p.drawText(QRect(area.left(), area.top() + line, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
               QString::asprintf("Up Count = %d", upCount_));
    update(area);
}

void CQVDrawWnd::closeEvent(QCloseEvent* e) {
    end();
    e->accept();
}

void CQVDrawWnd::end() {
    if (ended_) return;
    ended_ = true;
    {
        // No callback reaches the window from here on.
        std::lock_guard lock(g_targetMutex);
        if (g_target.window == this) g_target.window = nullptr;
    }
    if (g_window.data() == this) {
        g_window = nullptr;
        g_running = false;
    }
    if (!started_) return;
    timers_->stop(kDrawSampleTimer);
    timers_->stop(kDrawTimingTimer);
    if (c_.api.CloseComPortTouchNotify) c_.api.CloseComPortTouchNotify();
    if (main_) qvui::postMessage(main_, qvui::WM_PAGE_STATE, 0, kDrawPageTemplate);
    if (c_.dev.device != INVALID_HANDLE_VALUE) diagState().g_nFHMode = uint32_t(SendCmdReadF5(c_, 0x0F));
    else diagState().g_nFHMode = 0xFF00;
}

uint32_t CQVDrawWnd::tick() const {
    if (c_.platformTickCount) return c_.platformTickCount();
    return uint32_t(QDateTime::currentMSecsSinceEpoch());
}

} // namespace vcx
