#include "diag/noise_log_dlg.h"

#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/picture_ex.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/strings.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace vcx {

namespace {

constexpr int kTimerTouched = 1, kTimerRemoval = 2, kTimerAnimation = 3, kTimerLiftedEarly = 4,
              kTimerNoTouchRun = 5, kTimerIdleStart = 6;
constexpr int kStringTouchedProgress = 1418, kStringNoTouchProgress = 1419, kStringRemoveFinger = 1420,
              kStringKeepTouch = 1421;
constexpr const char* kLogFailed = "Log Firmware File Failed.";

QRect screenRect() {
    if (const QScreen* s = QGuiApplication::primaryScreen()) return s->geometry();
    return {0, 0, 800, 600};
}

}  // namespace

std::atomic<bool>& NoiseLogTouchForward() {
    static std::atomic<bool> flag{false};
    return flag;
}

CQVLogNoiseInfo::CQVLogNoiseInfo(Controller& c, QWidget* parent) : QDialog(parent), c_(c) {
    addProgramStrings();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Noise Level Log"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    timers_ = new qvui::WindowTimers(this);

    // The whole screen; the text in its middle, the animations above and right of the mark.
    const QRect screen = screenRect();
    const int w = screen.width(), h = screen.height();
    setGeometry(screen);
    text_ = new QLabel(this);
    qvui::setControlId(text_, kIdText);
    QFont font(QStringLiteral("Arial"), 16);
    font.setBold(true);
    text_->setFont(font);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setWordWrap(true);
    text_->setAutoFillBackground(true);
    text_->setPalette(white);
    text_->setGeometry(w / 4, h / 2, w / 2, std::max(programState().screenScale, 1) * 60 / 100);
    const auto animation = [&](int id) {
        auto* picture = new CPictureEx(this);
        qvui::setControlId(picture, id);
        picture->Load(id, QStringLiteral("Gif"));
        picture->move(w / 2 + 100, h / 2 - 180);
        picture->hide();
        return picture;
    };
    touchAnimation_ = animation(kIdTouchAnimation);
    removeAnimation_ = animation(kIdRemoveAnimation);

    // The touch callback forwards contacts while the flag is set.
    ProgramHooks& hooks = programHooks();
    if (!hooks.touchEcho) hooks.touchEcho = [] { return NoiseLogTouchForward().load(); };
    hide();
}

CQVLogNoiseInfo::~CQVLogNoiseInfo() {
    StopNoiseLog();
    stopWorker();
    releaseRun();
}

CPictureEx* CQVLogNoiseInfo::animation(int id) const {
    if (id == kIdTouchAnimation) return touchAnimation_;
    if (id == kIdRemoveAnimation) return removeAnimation_;
    return nullptr;
}

// ---- Start and stop ---------------------------------------------------------

bool CQVLogNoiseInfo::StartNoiseLog() {
    if (active_) return false;
    device_ = c_.dev.device;
    if (!allocateBuffers()) {
        releaseRun();
        return false;
    }
    if (!openLog()) {
        releaseRun();
        return false;
    }
    active_ = true;
    stopPending_ = false;
    sendMain(qvui::WM_PAGE_STATE, 1, kDebugPageTemplate);
    std::fill(samples_.begin(), samples_.end(), uint16_t(0));
    NoiseLogTouchForward() = true;
    phase_ = WaitTouch;
    count_ = 0;
    touchState_ = liftState_ = 0;
    touchCountdown_ = removalTimer_ = false;
    setText(kStringKeepTouch);
    removeAnimation_->hide();
    touchAnimation_->show();
    touchAnimation_->Draw();
    timers_->start(kTimerAnimation, 2000);
    setGeometry(screenRect());
    show();
    activateWindow();
    update();
    countdown_ = 8;
    idleStart_ = true;
    timers_->start(kTimerIdleStart, 1000);
    return true;
}

bool CQVLogNoiseInfo::allocateBuffers() {
    if (device_ == INVALID_HANDLE_VALUE || !c_.api.BuildNewRawArray || !c_.api.GetNewRawCount) return false;
    frame_ = NewRawArray{};
    frameBuilt_ = c_.api.BuildNewRawArray(device_, &frame_) == 1;
    if (!frameBuilt_ || !frame_.mutual) return false;
    // The geometry sizes the buffers and the log: only what a read delivers.
    const DiagnosticInfo& info = c_.records.diagInfo;
    geometry_ = ClampNoiseGeometry(info.rows, info.columns, frame_.mutualCount);
    if (geometry_.empty()) return false;
    samples_.assign(size_t(kNoiseFrames) * size_t(geometry_.nodes()), 0);
    return true;
}

bool CQVLogNoiseInfo::openLog() {
    ProgramState& ps = programState();
    const QString path = qvui::chooseSaveFile(this, QString(), ps.toolPaths[kDbgLogFolder],
                                              QStringLiteral("Quorvane Noise Level Log (*.csv)"));
    if (path.isEmpty()) return false;
    qvtext::TextWriter w(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) {
        qvui::showMessageBox(this, QLatin1String(kLogFailed), QLatin1String(kLogFailed), qvui::MessageIcon::Error);
        return false;
    }
    logPath_ = path;
    if (headerWriter_) headerWriter_(w);
    // The header's reads stopped the scanning: back to touch scanning.
    if (c_.api.EnterDiagnosticMode) {
        if (c_.records.diagInfo.capability[3] == 0) {
            c_.api.EnterDiagnosticMode(device_, 1);
            if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(device_, 1);
        }
        c_.api.EnterDiagnosticMode(device_, 0);
    }
    w.close();
    return true;
}

void CQVLogNoiseInfo::StopNoiseLog() {
    if (!active_) return;
    for (int id = kTimerTouched; id <= kTimerIdleStart; ++id) timers_->stop(id);
    touchAnimation_->Stop();
    removeAnimation_->Stop();
    if (delivering_ > 0) {
        // Asked while the worker waits for this thread: it ends once the
        // delivery returns, and is joined then.
        running_ = false;
        idle_.notify_all();
        if (!stopPending_) {
            stopPending_ = true;
            QMetaObject::invokeMethod(this, [this] { StopNoiseLog(); }, Qt::QueuedConnection);
        }
        return;
    }
    stopWorker();
    if (inDiagMode_) enterDiagnosticMode(false);
    NoiseLogTouchForward() = false;
    hide();
    releaseRun();
    active_ = false;
    stopPending_ = false;
}

void CQVLogNoiseInfo::stopWithResult(int result) {
    if (!active_ || stopPending_) return;
    for (int id = kTimerTouched; id <= kTimerIdleStart; ++id) timers_->stop(id);
    touchAnimation_->Stop();
    removeAnimation_->Stop();
    running_ = false;
    idle_.notify_all();
    if (delivering_ > 0) {
        // The end of the second run arrives in a delivery of the worker, which
        // cannot be joined from inside it: finish once it has returned.
        stopPending_ = true;
        QMetaObject::invokeMethod(this, [this, result] { finishStop(result); }, Qt::QueuedConnection);
        return;
    }
    finishStop(result);
}

void CQVLogNoiseInfo::finishStop(int result) {
    if (!active_) return;
    stopWorker();
    enterDiagnosticMode(false);
    NoiseLogTouchForward() = false;
    hide();
    releaseRun();
    active_ = false;
    stopPending_ = false;
    sendMain(qvui::WM_DEBUG_COMMAND, 8, result);
}

void CQVLogNoiseInfo::stopWorker() {
    running_ = false;
    {
        std::lock_guard lock(idleMutex_);
        idle_.notify_all();
    }
    if (gate_) gate_->close();
    if (worker_.joinable()) worker_.join();
    gate_.reset();
}

void CQVLogNoiseInfo::releaseRun() {
    samples_.clear();
    samples_.shrink_to_fit();
    if (frameBuilt_ && c_.api.FreeNewRawArray) c_.api.FreeNewRawArray(device_, &frame_);
    frameBuilt_ = false;
    frame_ = NewRawArray{};
    count_ = 0;
}

// ---- Sampling ---------------------------------------------------------------

void CQVLogNoiseInfo::enterDiagnosticMode(bool on) {
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(device_, on ? 1 : 0);
    inDiagMode_ = on;
}

void CQVLogNoiseInfo::saveFrequency() { savedFrequency_ = SendCmdReadF5(c_, 0x0F); }

void CQVLogNoiseInfo::startSampling() {
    if (worker_.joinable()) return;  // one worker per log
    count_ = 0;
    phase_ = TouchedRun;
    enterDiagnosticMode(true);
    running_ = true;
    gate_ = std::make_unique<qvui::GuiCallGate>();
    worker_ = std::thread([this] { NoiseLogSampleThread(); });
}

void CQVLogNoiseInfo::NoiseLogSampleThread() {
    const size_t n = size_t(geometry_.nodes());
    while (running_) {
        const int count = count_.load();
        if (count >= kNoiseFrames) {
            // The run is complete: wait for the next one (timer 5) or the stop.
            std::unique_lock lock(idleMutex_);
            idle_.wait(lock, [this] { return !running_ || count_.load() < kNoiseFrames; });
            continue;
        }
        if (!gate_->sendMessage(this, qvui::WM_DEBUG_COMMAND, 0, count + 1)) break;
        NewDiagRequest request{};
        request.cbSize = sizeof request;
        if (c_.api.GetNewRawCount(device_, &frame_, &request) == 1 && frame_.mutual &&
            frame_.mutualCount >= 0 && size_t(frame_.mutualCount) >= n) {
            // The slot is written before the count that publishes it.
            std::copy_n(frame_.mutual, n, samples_.data() + size_t(count) * n);
            count_.store(count + 1);
            if (count + 1 == kNoiseFrames && !gate_->sendMessage(this, qvui::WM_DEBUG_COMMAND, 1, 0)) break;
        }
        // A failed read repeats the same frame number.
        programSleep(c_, 10);
    }
}

void CQVLogNoiseInfo::evaluate() {
    const int n = geometry_.nodes();
    if (count_.load() < kNoiseFrames || samples_.size() < size_t(kNoiseFrames) * size_t(n)) return;
    const NoiseStats stats = ComputeNoiseStats(samples_.data(), kNoiseFrames, n);
    const bool touched = phase_ == TouchedRun;
    std::optional<NoiseGrade> grade;
    if (!touched) grade = GradeNoise(ShareNoiseNodes(stats.deviation, c_.records.finger.item9[0].value));
    qvtext::TextWriter w(QFile::encodeName(logPath_).constData(), qvtext::TextWriter::Mode::Append);
    if (w.isOpen()) {
        WriteNoiseLogBlock(w, touched, samples_.data(), kNoiseFrames, geometry_, stats, grade);
        w.close();
    }
    if (!touched) {
        stopWithResult(1);
        return;
    }
    phase_ = Removal;
    enterDiagnosticMode(false);
    touchAnimation_->Stop();
    touchAnimation_->hide();
    removeAnimation_->show();
    removeAnimation_->Draw();
    setText(kStringRemoveFinger);
    removalTimer_ = true;
    timers_->start(kTimerRemoval, 1900);
}

// ---- Messages ---------------------------------------------------------------

bool CQVLogNoiseInfo::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_TIMER: onTimer(int(m->wParam())); return true;
        case qvui::WM_DEBUG_COMMAND: onDebugCommand(m->wParam(), m->lParam()); return true;
        default: break;
        }
    }
    return QDialog::event(e);
}

void CQVLogNoiseInfo::onDebugCommand(quint64 code, qint64 value) {
    if (!active_) return;
    switch (code) {
    case 0:
    case 1: {
        // From the worker, which waits meanwhile.
        ++delivering_;
        if (code == 0) onProgress(int(value));
        else evaluate();
        --delivering_;
        break;
    }
    case 5: onTouch(value); break;
    default: break;
    }
}

void CQVLogNoiseInfo::onProgress(int n) {
    setText(phase_ == TouchedRun ? kStringTouchedProgress : kStringNoTouchProgress, n);
}

void CQVLogNoiseInfo::onTouch(qint64 kind) {
    if (kind == kTouchDown && phase_ == WaitTouch) {
        timers_->stop(kTimerIdleStart);
        idleStart_ = false;
        phase_ = TouchedRun;
        saveFrequency();
        setText(kStringKeepTouch);
        countdown_ = 2;
        touchCountdown_ = true;
        timers_->start(kTimerTouched, 1000);
    } else if (kind == kTouchUp && phase_ == TouchedRun && timers_->isActive(kTimerTouched)) {
        timers_->stop(kTimerTouched);
        touchCountdown_ = false;
        countdown_ = 2;
        setText(kStringKeepTouch);
        touchState_ = 1;
        timers_->start(kTimerLiftedEarly, 1000);
    } else if (kind == kTouchUp && phase_ == Removal && liftState_ == 0) {
        liftState_ = 1;
        timers_->start(kTimerNoTouchRun, 1000);
    }
}

void CQVLogNoiseInfo::onTimer(int id) {
    if (!active_) return;
    switch (id) {
    case kTimerTouched:
    case kTimerLiftedEarly:
    case kTimerIdleStart:
        if (--countdown_ >= 0) return;
        timers_->stop(id);
        if (id == kTimerTouched) touchCountdown_ = false;
        if (id != kTimerTouched) touchState_ = 2;
        if (id == kTimerIdleStart) idleStart_ = false;
        startSampling();
        return;
    case kTimerRemoval:
        timers_->stop(id);
        removalTimer_ = false;
        removeAnimation_->Stop();
        if (touchState_ == 2 || liftState_ == 0) {
            liftState_ = 1;
            timers_->start(kTimerNoTouchRun, 10);
        }
        return;
    case kTimerAnimation:
        timers_->stop(id);
        touchAnimation_->Stop();
        return;
    case kTimerNoTouchRun: {
        timers_->stop(id);
        liftState_ = 2;
        saveFrequency();
        phase_ = NoTouchRun;
        enterDiagnosticMode(true);
        {
            std::lock_guard lock(idleMutex_);
            count_ = 0;
        }
        idle_.notify_all();
        return;
    }
    default: return;
    }
}

void CQVLogNoiseInfo::keyPressEvent(QKeyEvent* e) {
    // Esc ends the log on its release; the press must not close the dialog.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CQVLogNoiseInfo::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && !e->isAutoRepeat()) {
        stopWithResult(0);
        return;
    }
    QDialog::keyReleaseEvent(e);
}

void CQVLogNoiseInfo::reject() {
    if (active_) stopWithResult(0);
    else QDialog::reject();
}

void CQVLogNoiseInfo::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    if (!active_) return;
    // The mark to hold: a black disc in the square W/2-25..W/2+25, H/2-100..H/2-50.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    p.drawEllipse(QRect(width() / 2 - 25, height() / 2 - 100, 50, 50));
}

// ---- Helpers ----------------------------------------------------------------

void CQVLogNoiseInfo::setText(int stringId, int n) {
    QString text = qvui::loadString(quint32(stringId));
    if (n >= 0) text = QString::asprintf(text.toUtf8().constData(), n);
    text_->setText(text);
}

QObject* CQVLogNoiseInfo::mainWindow() const {
    if (main_) return main_;
    if (QWidget* page = parentWidget()) return page->window();
    return nullptr;
}

void CQVLogNoiseInfo::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

}  // namespace vcx
