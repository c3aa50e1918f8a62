#include "draw_window.h"
#include "set_distance_dialog.h"
#include "snapshot.h"

#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QScreen>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QKeyEvent>
#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QTouchEvent>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace qvdraw {

namespace {

constexpr quint32 kCountMessage = qvui::WM_USER + 1;
constexpr quint32 kGoodbyeMessage = qvui::WM_USER + 2;
constexpr quint32 kLiveTestMessage = qvui::WM_USER + 3;
constexpr quint32 kCommandMessage = qvui::WM_USER + 4;
constexpr quint32 kHeadByteMessage = qvui::WM_USER + 6;

constexpr int kTouchRadius = 30;
constexpr int kMarkSize = 16;

// Six background patterns over white: plain, then five light line patterns.
QBrush backgroundBrush(int index) {
    static const Qt::BrushStyle styles[] = {Qt::SolidPattern, Qt::Dense6Pattern, Qt::HorPattern,
                                            Qt::VerPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
    if (index == 0) return QBrush(Qt::white);
    return QBrush(QColor(0xC8, 0xC8, 0xC8), styles[index % 6]);
}

// A twelve-point star around the point; `inner` sets how deep the points cut.
QPolygon twelvePoint(ScreenPoint at, double outer, double inner) {
    QPolygon poly;
    for (int i = 0; i < 24; ++i) {
        double r = (i % 2) ? inner : outer;
        double a = i * M_PI / 12.0;
        poly << QPoint(at.x + int(std::lround(r * std::cos(a))), at.y + int(std::lround(r * std::sin(a))));
    }
    return poly;
}

} // namespace

QString findLinearityProgram(const QStringList& folders) {
    for (const QString& folder : folders) {
        QFileInfo info(QDir(folder).filePath(kLinearityProgram));
        if (info.isFile() && info.isExecutable()) return info.absoluteFilePath();
    }
    return {};
}

std::span<const qvui::RemoteMessage> drawRemoteMessages() {
    using qvui::Carried;
    // WM_USER+4 is also the calibration point (x, y) the main window sends when
    // its device goes away; the window takes it as the command window's hand-over.
    static constexpr qvui::RemoteMessage table[] = {
        {qvui::WM_TIMER, Carried::Value, Carried::Unused},
        {kCountMessage, Carried::Value, Carried::Value},
        {kLiveTestMessage, Carried::Value, Carried::Value},
        {kCommandMessage, Carried::Value, Carried::Value},
        {kHeadByteMessage, Carried::Value, Carried::Value},
    };
    return table;
}

int menuItemKey(int item) {
    static const int keys[10] = {Qt::Key_Space, Qt::Key_T, Qt::Key_D, Qt::Key_Escape, Qt::Key_S,
                                 Qt::Key_L,     0,         Qt::Key_F, Qt::Key_I,      Qt::Key_Q};
    if (item < 200 || item > 209) return 0;
    return keys[item - 200];
}

QColor contactColour(int id) {
    // 0x00BBGGRR values as the colours were first chosen.
    static const quint32 bgr[kMaxContacts] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFF00FF,
                                              0xFFFF00, 0x0040C0, 0x00FFFF, 0xFF30A0, 0x0080FF};
    quint32 v = bgr[(id % kMaxContacts + kMaxContacts) % kMaxContacts];
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

DrawWindow::DrawWindow(QWidget* parent) : QWidget(parent), outerDetect_(OuterDetectSettings{}, 96 / 25.4) {
    setWindowTitle(kDrawTitle);
    setAttribute(Qt::WA_AcceptTouchEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(800, 600);
    programFolders_ << QCoreApplication::applicationDirPath();
    programFolders_ << qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    starter_ = [](const QString& path) { return QProcess::startDetached(path, {}); };
    timers_ = new qvui::WindowTimers(this);

    menu_ = new QMenu(this);
    // Keys go to the menu while it is up: an Esc held before does not end on this window.
    connect(menu_, &QMenu::aboutToShow, this, [this] { escapeDown_ = false; });
    static const char* const texts[10] = {"Clear", "Touch", "Draw", "Exit", "Sample Rate",
                                          "Live Test", nullptr, "Full Screen", "Linearity Test", "Pen Up Marks"};
    auto* modes = new QActionGroup(menu_);
    for (int item = 200; item <= 209; ++item) {
        QAction* a = menu_->addAction(item == 206 ? QStringLiteral("APP ver : 1.0.%1").arg(58)
                                                  : QString::fromLatin1(texts[item - 200]));
        a->setData(item);
        qvui::setMenuId(a, item);
        if (item == 206) a->setEnabled(false);
        if (item == 201 || item == 202) {
            a->setCheckable(true);
            a->setChecked(item == 202);
            modes->addAction(a);
        }
        if (item == 204 || item == 209) a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, item] {
            if (item == 204) {
                // The S key-up that may follow the menu's own key is not a second toggle.
                sGuard_ = true;
                timers_->start(kSampleKeyGuardTimer, 200);
            }
            if (int key = menuItemKey(item)) runKey(key);
        });
    }
}

bool DrawWindow::repaintTimerOn() const { return timers_->isActive(kRepaintTimer); }

void DrawWindow::onTimer(int id) {
    switch (id) {
    case kLiveTestTimer: drawLiveTestPanel(); break;
    case kSampleRateTimer: sampleRateTick(); break;
    case kHeadByteTimer: headByteTick(); break;
    case kRepaintTimer: fullRepaint(); break;
    // The one-shot timers act once, and only when started here.
    case kSampleKeyGuardTimer:
        if (timers_->stop(id)) sGuard_ = false;
        break;
    case kHandOverTimer:
        if (timers_->stop(id)) commandWindowHandOver();
        break;
    default: break;
    }
}

void DrawWindow::showMenu() { qvui::popupMenu(*menu_, lastMenuPos_); }

void DrawWindow::sampleRateTick() {
    const auto samples = recorder_.takeSamples();
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    p.setPen(Qt::black);
    int row = 0;
    p.fillRect(QRect(20, 50 - 15, 160, 20 * kMaxContacts), Qt::white);
    for (int id = 0; id < kMaxContacts; ++id) {
        if (!recorder_.track(id).active() && samples[id] == 0) continue;
        p.drawText(QPoint(20, 50 + 20 * row++), QStringLiteral("Point %1 : %2").arg(id).arg(samples[id]));
    }
    update();
}

void DrawWindow::headByteTick() {
    headCycle_ = headCycle_ % 15 + 1;
    send(kDebugTitle, kHeadByteMessage, 128, 0);
    send(kDebugTitle, kHeadByteMessage, quint64(128 + headCycle_), 0);
}

void DrawWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        lastMenuPos_ = event->globalPosition().toPoint();
        showMenu();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void DrawWindow::commandWindowHandOver() {
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    show();
    raise();
    activateWindow();
    std::string error;
    if (!injector_) error = "no input injection backend";
    else injector_->middleClick(&error);
    injectError_ = QString::fromStdString(error);
    if (!injectError_.isEmpty()) qWarning("QVDraw3: middle click not injected: %s", error.c_str());
    commandWindow_ = false;
}

void DrawWindow::drawLiveTestPanel() {
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    const int w = width();
    p.setPen(Qt::black);
    if (noLiveTest_) {
        const QRect area(w - 350, 80, 350, 138);
        p.fillRect(area, Qt::white);
        p.drawText(area, Qt::TextWordWrap, QStringLiteral("Sorry!  We don't support \"live-test\" in this F/W."));
        update();
        return;
    }
    const QRect panel(w - 140, 80, 90, 120);
    p.fillRect(panel, Qt::white);
    p.drawText(panel, 0, QStringLiteral("%1\n\nPASS : %2 \nFAIL : %3\n")
                             .arg(connected_ ? QStringLiteral("Connect") : QStringLiteral("Disconnect"))
                             .arg(pass_).arg(fail_));
    const QRect suspend(w - 90, 160, 90, 40);
    if (!liveRunning_) p.drawText(suspend, 0, QStringLiteral("Suspend"));
    const QRect start(w - 130, 198, 130, 20);
    p.fillRect(start, Qt::white);
    p.drawText(start, 0, liveStart_);
    update();
}

void DrawWindow::setPixelsPerMm(double ppm) { outerDetect_ = OuterDetect(outerDetect_.settings(), ppm); }

void DrawWindow::send(const QString& title, quint32 message, quint64 wParam, qint64 lParam) {
    if (sender_) sender_(title, message, wParam, lParam);
}

void DrawWindow::resizeEvent(QResizeEvent*) {
    canvas_ = QImage(size(), QImage::Format_RGB32);
    fullRepaint();
}

void DrawWindow::fullRepaint() {
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    p.fillRect(canvas_.rect(), Qt::white);
    p.fillRect(canvas_.rect(), backgroundBrush(background_));
    if (odMode_) drawOuterDetect(p);
    drawWatchdog(p);
    update();
}

void DrawWindow::drawOuterDetect(QPainter& p) {
    const double r = outerDetect_.ringPixels();
    int row = 0;
    for (int id = 0; id < kMaxContacts; ++id) {
        const ContactScore& c = outerDetect_.contact(id);
        if (!c.seen()) continue;
        p.setPen(QPen(contactColour(id), 1));
        p.setBrush(Qt::NoBrush);
        for (int i = 1; i <= 5; ++i) p.drawEllipse(QPointF(c.centreX, c.centreY), i * r, i * r);
        p.drawText(QPoint(20, 250 + 20 * row++),
                   QStringLiteral("Point %1 Noise Level : %2 / %3").arg(id).arg(c.score).arg(c.samples));
    }
}

void DrawWindow::drawWatchdog(QPainter& p) {
    const QRect area(width() - 160, height() - 60, 160, 20);
    p.fillRect(area, Qt::white);
    if (recorder_.watchdogCount() > 0) {
        p.setPen(Qt::black);
        p.drawText(area, Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("WD Count = %1").arg(recorder_.watchdogCount()));
    }
}

void DrawWindow::drawMarker(QPainter& p, int id, ScreenPoint at) {
    p.setPen(QPen(contactColour(id), 1));
    p.setBrush(contactColour(id));
    switch (id % 5) {
    case 0: p.drawPolygon(twelvePoint(at, 6, 3)); break;
    case 1: p.drawPolygon(twelvePoint(at, 6, 5)); break;
    case 2: p.drawRect(at.x - 4, at.y - 4, 8, 8); break;
    case 3: p.drawEllipse(QPoint(at.x, at.y), 4, 4); break;
    default: p.drawPolygon(QPolygon({QPoint(at.x, at.y - 5), QPoint(at.x + 5, at.y), QPoint(at.x, at.y + 5), QPoint(at.x - 5, at.y)})); break;
    }
}

void DrawWindow::drawStep(const StrokeStep& step) {
    if (step.kind == StrokeStep::Ignored || canvas_.isNull()) return;
    QPainter p(&canvas_);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour = contactColour(step.id);
    switch (step.kind) {
    case StrokeStep::Down:
    case StrokeStep::Move:
        if (step.kind == StrokeStep::Down && penUpMarks_) {
            p.setPen(QPen(colour, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(step.to.x - kMarkSize / 2, step.to.y - kMarkSize / 2, kMarkSize, kMarkSize);
        }
        if (touchMode_) {
            if (step.kind == StrokeStep::Move) {
                QRect moved = QRect(QPoint(step.from.x, step.from.y), QPoint(step.to.x, step.to.y)).normalized();
                p.fillRect(moved.adjusted(-kTouchRadius - 1, -kTouchRadius - 1, kTouchRadius + 1, kTouchRadius + 1),
                           Qt::white);
            }
            p.setPen(QPen(colour, 1));
            p.setBrush(colour);
            p.drawEllipse(QPoint(step.to.x, step.to.y), kTouchRadius, kTouchRadius);
        } else {
            if (step.kind == StrokeStep::Move) {
                p.setPen(QPen(colour, 1));
                p.drawLine(step.from.x, step.from.y, step.to.x, step.to.y);
            }
            drawMarker(p, step.id, step.to);
        }
        break;
    case StrokeStep::Lift:
        if (touchMode_) {
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(Qt::white);
            p.drawEllipse(QPoint(step.from.x, step.from.y), kTouchRadius + 1, kTouchRadius + 1);
        }
        if (penUpMarks_) {
            p.setPen(QPen(colour, 1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPoint(step.from.x, step.from.y), kMarkSize / 2, kMarkSize / 2);
        }
        break;
    case StrokeStep::Ignored: break;
    }
    update();
}

void DrawWindow::contactEvent(int x, int y, int id, bool touching) {
    if (touching) {
        if (odRun_) outerDetect_.addPoint(id, x, y);
        drawStep(recorder_.touch(id, {x, y}));
    } else {
        drawStep(recorder_.lift(id));
    }
}

void DrawWindow::watchdogMark() {
    recorder_.watchdogMark();
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    drawWatchdog(p);
    update();
}

void DrawWindow::reportDecoded(const Report& report, int32_t maximum, int orientation) {
    for (const Slot& s : report.contacts) {
        if (s.watchdog) { watchdogMark(); continue; }
        ScreenPoint at = mapToScreen(s.x, s.y, maximum, orientation, width(), height());
        contactEvent(at.x, at.y, s.id, s.touching);
    }
    if (headG_ && !headH_) send(kDebugTitle, kHeadByteMessage, 128, 0);
}

void DrawWindow::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(event->rect(), canvas_, event->rect());
}

bool DrawWindow::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        m->setResult(handleMessage(m->message(), m->wParam(), m->lParam()));
        return true;
    }
    switch (e->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        auto* t = static_cast<QTouchEvent*>(e);
        e->accept();
        if (!qtTouch_) return true;
        for (const QEventPoint& pt : t->points()) {
            const QPoint at = pt.position().toPoint();
            const bool lifted = pt.state() == QEventPoint::Released || e->type() == QEvent::TouchCancel;
            if (pt.state() == QEventPoint::Stationary) continue;
            contactEvent(at.x(), at.y(), pt.id(), !lifted);
        }
        e->accept();
        return true;
    }
    default: return QWidget::event(e);
    }
}

void DrawWindow::drawBanner(const QString& text, bool stop) {
    if (canvas_.isNull()) return;
    QPainter p(&canvas_);
    if (stop) {
        const QRect area(200, 20, width() - 400, 300);
        p.fillRect(area, QColor(0xFF, 0, 0));
        QFont f(QStringLiteral("Tahoma"), 72, QFont::Bold);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(area, Qt::AlignCenter, text);
    } else {
        const QRect area(200, 20, 740, 105);
        p.fillRect(area, Qt::white);
        QFont f(QStringLiteral("Tahoma"), 28);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    update();
}

qint64 DrawWindow::handleMessage(quint32 message, quint64 wParam, qint64 lParam) {
    switch (message) {
    case qvui::WM_TIMER:
        onTimer(int(wParam));
        return 0;
    case kCountMessage:
        if (wParam == 0) {
            if (banner_) { drawBanner(QString(), false); banner_ = false; }
            ++countLines_;
            const char* fmt = (countMode_ & 0x80) ? "PCount = %1" : (countMode_ & 0x40) ? "JCount = %1" : "Count = %1";
            drawBanner(QString::fromLatin1(fmt).arg(countLines_), false);
        } else if (wParam == 1) {
            drawBanner(QStringLiteral("STOP"), true);
            countLines_ = 0;
        } else if (wParam == 2) {
            drawBanner(lParam == 1 ? QStringLiteral("Device Remove") : QStringLiteral("Device Arrival"), false);
            banner_ = true;
        } else {
            return 0;
        }
        return 1;
    case kCommandMessage:
        timers_->start(kHandOverTimer, 100);
        return 1;
    case kHeadByteMessage: {
        lastHead_ = lParam;
        if (!headH_) return 1;
        // Cells 35 pixels wide along the bottom; an index off the window draws nothing.
        const qint64 index = qint64(wParam) - 128;
        if (index < 0 || index * 35 >= width() || canvas_.isNull()) return 1;
        QPainter p(&canvas_);
        const int x = int(index) * 35, h = height();
        p.fillRect(QRect(x, h - 40, 35, 40), Qt::white);
        p.setPen(Qt::black);
        p.drawText(QRect(x, h - 40, 35, 20), Qt::AlignCenter, QString::asprintf("%02d", int(index)));
        p.drawText(QRect(x, h - 20, 35, 20), Qt::AlignCenter, QString::asprintf("0x%02X", unsigned(lParam & 0xFF)));
        update();
        return 1;
    }
    case kLiveTestMessage:
        if (wParam == 1) pass_ = int(lParam);
        else if (wParam == 2) fail_ = int(lParam);
        else if (wParam == 3) connected_ = lParam != 0;
        else if (wParam == 4) noLiveTest_ = true;
        else return 0;
        return 1;
    default: return 0;
    }
}

void DrawWindow::stopOuterDetectRun() {
    if (!odRun_) return;
    odRun_ = false;
    std::string error;
    if (!outerDetect_.appendLog(odLogPath_.toStdString(), odStart_.elapsed(), &error))
        qvui::showMessageBox(this, QString::fromStdString(error), kDrawTitle, qvui::MessageIcon::Error);
}

void DrawWindow::runKey(int key) {
    switch (key) {
    case Qt::Key_Escape: close(); break;
    case Qt::Key_Space: fullRepaint(); break;
    case Qt::Key_B:
        background_ = (background_ + 1) % 6;
        fullRepaint();
        break;
    case Qt::Key_C:
        if (!odMode_) break;
        if (odRun_) {
            stopOuterDetectRun();
        } else {
            outerDetect_.reset();
            odStart_.start();
            odRun_ = true;
        }
        fullRepaint();
        break;
    case Qt::Key_D:
    case Qt::Key_T:
        touchMode_ = key == Qt::Key_T;
        qvui::findMenuAction(*menu_, touchMode_ ? 201 : 202)->setChecked(true);
        break;
    case Qt::Key_J:
        if (countMode_ & 0x80) break;
        countMode_ ^= 0x40;
        send(kDebugTitle, kCountMessage, 64, 0);
        break;
    case Qt::Key_P:
        if (countMode_ & 0x40) break;
        countMode_ ^= 0x80;
        send(kDebugTitle, kCountMessage, 128, 0);
        break;
    case Qt::Key_E:
        if (commandWindow_) break; // the command window is already up: the configuration program raises it
        if (finder_ && finder_(kDebugTitle)) {
            setWindowFlag(Qt::WindowStaysOnTopHint, true);
            show();
            send(kDebugTitle, kCommandMessage, 0, 0);
            commandWindow_ = true;
        }
        break;
    case Qt::Key_I: {
        if (finder_ && finder_(kLinearityTitle)) break;
        const QString path = findLinearityProgram(programFolders_);
        if (path.isEmpty()) {
            qvui::showMessageBox(this,
                                 QStringLiteral("The linearity test program \"%1\" was not found in %2.")
                                     .arg(kLinearityProgram, programFolders_.join(QStringLiteral(", "))),
                                 kDrawTitle, qvui::MessageIcon::Warning);
        } else if (!starter_ || !starter_(path)) {
            qvui::showMessageBox(this, QStringLiteral("The linearity test program \"%1\" could not be started.").arg(path),
                                 kDrawTitle, qvui::MessageIcon::Error);
        }
        break;
    }
    case Qt::Key_L:
        if (noLiveTest_) { drawLiveTestPanel(); break; }
        liveRunning_ = !liveRunning_;
        if (liveRunning_) {
            liveStart_ = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-M-d HH:mm:ss"));
            timers_->start(kLiveTestTimer, 1000);
        } else {
            timers_->stop(kLiveTestTimer);
        }
        for (const QString& t : {kDiagTitle, kScanTitle, kScan2Title}) send(t, kLiveTestMessage, 0, liveRunning_ ? 0 : 1);
        drawLiveTestPanel();
        break;
    case Qt::Key_F12: {
        const QString path = qvui::chooseSaveFile(this, QStringLiteral("Save snapshot"), QString(),
                                                  QStringLiteral("PNG image (*.png)"));
        if (path.isEmpty()) break;
        QString target = path;
        if (QFileInfo(target).suffix().isEmpty()) target += QStringLiteral(".png");
        QString error;
        if (!saveSnapshot(target, &error))
            qvui::showMessageBox(this, error, QStringLiteral("Save snapshot"), qvui::MessageIcon::Error);
        break;
    }
    case Qt::Key_K: send(kDebugTitle, kCommandMessage, 0, 1); break;
    case Qt::Key_O:
        if (odMode_) {
            stopOuterDetectRun();
            odMode_ = false;
        } else {
            odMode_ = true;
            outerDetect_.reset();
        }
        fullRepaint();
        break;
    case Qt::Key_Q:
        penUpMarks_ = !penUpMarks_;
        qvui::findMenuAction(*menu_, 209)->setChecked(penUpMarks_);
        break;
    case Qt::Key_S:
        sampleRate_ = !sampleRate_;
        if (sampleRate_) timers_->start(kSampleRateTimer, 1000);
        else { timers_->stop(kSampleRateTimer); fullRepaint(); }
        qvui::findMenuAction(*menu_, 204)->setChecked(sampleRate_);
        break;
    case Qt::Key_A:
        if (!timers_->stop(kRepaintTimer)) timers_->start(kRepaintTimer, 10000);
        break;
    case Qt::Key_G:
    case Qt::Key_H:
        (key == Qt::Key_G ? headG_ : headH_) = !(key == Qt::Key_G ? headG_ : headH_);
        if (headG_ && headH_) timers_->start(kHeadByteTimer, 100);
        else timers_->stop(kHeadByteTimer);
        break;
    case Qt::Key_F:
        fullScreen_ = !fullScreen_;
        if (fullScreen_) {
            savedGeometry_ = geometry();
            showFullScreen();
        } else {
            showNormal();
            setGeometry(savedGeometry_);
        }
        break;
    case Qt::Key_U: {
        if (distanceDialog_) break;
        distanceDialog_ = new SetDistanceDialog(outerDetect_.settings(), this);
        distanceDialog_->setAttribute(Qt::WA_DeleteOnClose);
        distanceDialog_->adjustSize();
        // At the cursor, kept on the screen.
        QPoint at = QCursor::pos();
        if (QScreen* sc = screen()) {
            const QRect avail = sc->availableGeometry();
            at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() - distanceDialog_->width())));
            at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() - distanceDialog_->height())));
        }
        distanceDialog_->move(at);
        connect(distanceDialog_, &QDialog::accepted, this, [this] {
            const int before = outerDetect_.settings().distanceMm;
            outerDetect_.setSettings(distanceDialog_->settings());
            if (odMode_ && outerDetect_.settings().distanceMm != before) {
                // A new ring width makes the old scores meaningless: the run starts over.
                outerDetect_.reset();
                odStart_.start();
                odRun_ = true;
            }
            fullRepaint();
        });
        // The Esc that closed the dialog must not reach this window as an exit.
        connect(distanceDialog_, &QDialog::rejected, this, [this] { swallowKeyUp_ = true; });
        distanceDialog_->open();
        break;
    }
    case Qt::Key_M: showMenu(); break;
    case Qt::Key_W:
        recorder_.resetWatchdogCount();
        fullRepaint();
        break;
    default: break;
    }
}

void DrawWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !event->isAutoRepeat()) escapeDown_ = true;
    QWidget::keyPressEvent(event);
}

void DrawWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    if (event->key() == Qt::Key_Escape) {
        if (!escapeDown_) return;
        escapeDown_ = false;
    }
    if (event->key() == Qt::Key_S && sGuard_) return;
    if (swallowKeyUp_) {
        swallowKeyUp_ = false;
        return;
    }
    runKey(event->key());
}

bool DrawWindow::saveSnapshot(const QString& path, QString* error) const {
    const QString why = writePngSnapshot(canvas_, path);
    if (why.isEmpty()) return true;
    if (error) *error = canvas_.isNull() ? why : QStringLiteral("cannot write the PNG image \"%1\": %2").arg(path, why);
    return false;
}

void DrawWindow::sayGoodbye() {
    if (goodbyeSent_) return;
    goodbyeSent_ = true;
    stopOuterDetectRun();
    send(kDebugTitle, kGoodbyeMessage, 0, 0);
    for (const QString& t : {kDiagTitle, kScanTitle, kScan2Title}) send(t, kLiveTestMessage, 0, 2);
}

void DrawWindow::closeEvent(QCloseEvent* event) {
    sayGoodbye();
    QWidget::closeEvent(event);
}

} // namespace qvdraw
