#include "diag/new_fb_build_dlg.h"

#include "diag/scan_checks.h"

#include "core/controller_api.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace vcx {

using namespace newfb;

namespace {

constexpr uint16_t kBuildBusy = 0x0100;   // status bit 8: the firmware still builds
constexpr uint16_t kSaveFailed = 0x0201;  // bits 0 and 9 after the save

QRect screenRect() {
    if (const QScreen* s = QGuiApplication::primaryScreen()) return s->geometry();
    return QRect(0, 0, 1024, 768);
}

}  // namespace

CQVNewFBBuildDlg::CQVNewFBBuildDlg(Controller& c, DiagState& s, ScanCheckAnswers& device, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), c_(c), s_(s),
      device_(device) {
    timers_ = new qvui::WindowTimers(this);
    const QRect screen = screenRect();
    setGeometry(screen);
    const QuestionButtons b = LayoutQuestionButtons(screen.width(), screen.height());
    yes_ = new QPushButton(QStringLiteral("Yes"), this);
    no_ = new QPushButton(QStringLiteral("No"), this);
    qvui::setControlId(yes_, kIdYes);
    qvui::setControlId(no_, kIdNo);
    yes_->setGeometry(b.yes);
    no_->setGeometry(b.no);
    // Esc reaches the overlay itself whatever was clicked last.
    setFocusPolicy(Qt::StrongFocus);
    yes_->setFocusPolicy(Qt::NoFocus);
    no_->setFocusPolicy(Qt::NoFocus);
    connect(yes_, &QPushButton::clicked, this, &CQVNewFBBuildDlg::OnBnClickedYes);
    connect(no_, &QPushButton::clicked, this, &CQVNewFBBuildDlg::OnBnClickedNo);
    showQuestion(false);
    request_.cbSize = sizeof(NewDiagRequest);
    hide();
}

CQVNewFBBuildDlg::~CQVNewFBBuildDlg() { freeArray(); }

int CQVNewFBBuildDlg::modeCount() const { return s_.g_nFreqModeCount; }

bool CQVNewFBBuildDlg::questionShown() const { return yes_->isVisibleTo(this) || no_->isVisibleTo(this); }

void CQVNewFBBuildDlg::showQuestion(bool show) {
    yes_->setVisible(show);
    no_->setVisible(show);
}

bool CQVNewFBBuildDlg::buildArray() {
    if (array_.mutual) return true;
    return c_.api.BuildNewRawArray && c_.api.BuildNewRawArray(c_.dev.device, &array_);
}

void CQVNewFBBuildDlg::freeArray() {
    if (!array_.mutual && !array_.extra && !array_.last && !array_.whole) return;
    if (c_.api.FreeNewRawArray) c_.api.FreeNewRawArray(c_.dev.device, &array_);
    array_ = NewRawArray{};
}

void CQVNewFBBuildDlg::Prepare() {
    timers_->stop(step_);
    step_ = kIdle;
    code_ = overridden_ = 0;
    e4Failures_ = waitPolls_ = checksDone_ = 0;
    asked_ = false;
    threshold_ = c_.records.antiNoise.item1[0].stored;
    freeArray();
    buildArray();
    const size_t n = size_t(c_.records.diagInfo.rows) * size_t(c_.records.diagInfo.columns);
    baseLine_.assign(n, 0);
}

void CQVNewFBBuildDlg::Reset() {
    if (step_ == kIdle) {
        freeArray();
        baseLine_.clear();
        showQuestion(false);
        hide();
        return;
    }
    code_ = kCodeUnplugged;
    update();
    // Waiting for the operator no timer runs: the build ends now.
    if (questionShown()) {
        showQuestion(false);
        Finish();
    }
}

void CQVNewFBBuildDlg::Start() {
    if (step_ != kIdle) return;
    code_ = overridden_ = 0;
    e4Failures_ = waitPolls_ = checksDone_ = 0;
    asked_ = false;
    noise_.fill(0);
    step_ = kStart;
    const size_t n = size_t(c_.records.diagInfo.rows) * size_t(c_.records.diagInfo.columns);
    baseLine_.assign(n, 0);
    for (Frame& f : s_.ModeFrame) f.assign(n, 0);
    s_.g_FailMap.assign(n, 0);
    s_.BaseFlatMax.fill(0);
    s_.BaseFlatCount.fill(0);
    s_.BaseFlatFailModes = 0;
    showQuestion(false);
    show();
    update();
    timers_->start(kStart, kFirstTimerMs);
}

bool CQVNewFBBuildDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
    }
    if (e->type() == QEvent::KeyRelease && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        Cancel();
        return true;
    }
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) return true;
    return QWidget::event(e);
}

void CQVNewFBBuildDlg::Cancel() {
    if (step_ == kIdle) return;
    code_ = kCodeCancelled;
    update();
}

void CQVNewFBBuildDlg::onTimer(int id) {
    if (id < kStart || id > kDone) return;
    timers_->stop(id);
    if (step_ == kIdle) return;
    if (code_ != kCodeNone) {
        Finish();
        return;
    }
    runStep(id);
}

void CQVNewFBBuildDlg::runStep(int step) {
    const int before = step_;
    switch (step) {
    case kStart: stepStart(); break;
    case kWait: stepWait(); break;
    case kNoise: stepNoise(); break;
    case kBaseLine: stepBaseLine(); break;
    case kNearRaw: stepNearRaw(); break;
    case kModeFrames: stepModeFrames(); break;
    case kBaseFlat: stepBaseFlat(); break;
    case kSave:
        if (saveBase())
            step_ = kDone;
        else
            code_ = kCodeSave;
        break;
    case kDone: Finish(); return;
    default: return;
    }
    if (step_ == kIdle) return;
    update();
    const bool slow = (before == kStart && step_ == kWait) || (before == kWait && step_ == kWait && code_ == 0);
    timers_->start(step_, slow ? kSlowTimerMs : kFastTimerMs);
}

void CQVNewFBBuildDlg::stepStart() {
    if (modeCount() == 0) {
        code_ = kCodeStart;
        return;
    }
    if (!SendCmdSetModeE4(c_, 1)) {
        code_ = kCodeStartRefused;
        return;
    }
    step_ = kWait;
}

void CQVNewFBBuildDlg::stepWait() {
    uint16_t status = 0;
    if (!SendCmdGetStatusE4(c_, &status)) {
        ++e4Failures_;
    } else {
        e4Failures_ = 0;
        if (!(status & kBuildBusy)) {
            step_ = kNoise;
            return;
        }
    }
    if (e4Failures_ > kMaxE4Failures) {
        code_ = kCodeStatusSilent;
        return;
    }
    if (++waitPolls_ >= kMaxWaitPolls) code_ = kCodeWaitTimeout;
}

void CQVNewFBBuildDlg::stepNoise() {
    uint32_t levels = 0;
    if (!SendCmdQueryF5(c_, 0x05, &levels)) {
        code_ = kCodeStart;
        return;
    }
    for (int i = 0; i < kNoiseModes; ++i) noise_[size_t(i)] = uint8_t(levels >> (8 * i));
    checksDone_ = 1;
    for (int i = 0; i < NoiseModeCount(modeCount()); ++i)
        if (noise_[size_t(i)] >= threshold_) code_ = kCodeInterference;
    if (code_ == kCodeNone) step_ = kBaseLine;
}

void CQVNewFBBuildDlg::setUpScanning(bool& ok) {
    if (c_.records.diagInfo.capability[3] == 0)
        ok = c_.api.EnablePCAPScan && c_.api.EnablePCAPScan(c_.dev.device, 0);
    else
        ok = c_.api.EnterDiagnosticMode && c_.api.EnterDiagnosticMode(c_.dev.device, 1);
}

void CQVNewFBBuildDlg::restoreScanning() {
    HANDLE d = c_.dev.device;
    if (c_.records.diagInfo.capability[3] == 0) {
        if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(d, 1);
        if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(d, 1);
        if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(d, 0);
    } else if (c_.api.EnterDiagnosticMode) {
        c_.api.EnterDiagnosticMode(d, 0);
    }
}

bool CQVNewFBBuildDlg::readFrame(uint8_t kind) {
    request_.cbSize = sizeof(NewDiagRequest);
    request_.dataKind = kind;
    const size_t n = size_t(c_.records.diagInfo.rows) * size_t(c_.records.diagInfo.columns);
    return buildArray() && c_.api.GetNewDiagData && c_.api.GetNewDiagData(c_.dev.device, &array_, &request_) &&
           array_.mutual && size_t(std::max(array_.mutualCount, 0)) >= n;
}

void CQVNewFBBuildDlg::stepBaseLine() {
    bool ok = false;
    setUpScanning(ok);
    if (ok) {
        request_ = NewDiagRequest{};
        ok = readFrame(0);
    }
    if (!ok) {
        code_ = kCodeBaseLine;
        return;
    }
    baseLine_.assign(array_.mutual, array_.mutual + baseLine_.size());
    step_ = kNearRaw;
}

void CQVNewFBBuildDlg::stepNearRaw() {
    checksDone_ = 2;
    const ScanGrid g{c_.records.diagInfo.rows, c_.records.diagInfo.columns};
    // The build reads a frame per mode, so the slave's row is judged like any other.
    if (!CheckNearRawData(g, baseLine_, s_.g_FailMap, s_.g_ColumnFlags, std::nullopt).pass)
        code_ = kCodeNearRaw;
    else
        step_ = kModeFrames;
}

void CQVNewFBBuildDlg::stepModeFrames() {
    const size_t n = baseLine_.size();
    for (int u = 0; u < FrameModeCount(modeCount()); ++u) {
        // Mode 0's frame is the base-line frame the array still holds.
        if (u > 0 && !readFrame(uint8_t(u | 0x80))) {
            code_ = kCodeModeFrame;
            return;
        }
        ++checksDone_;
        s_.ModeFrame[size_t(u)].assign(array_.mutual, array_.mutual + n);
    }
    step_ = kBaseFlat;
}

void CQVNewFBBuildDlg::stepBaseFlat() {
    const ScanGrid g{c_.records.diagInfo.rows, c_.records.diagInfo.columns};
    BaseFlatStats stats{s_.BaseFlatMax, s_.BaseFlatCount, s_.BaseFlatMaxLimit};
    const BaseFlatResult r = CheckBaseFlat(g, s_.ModeFrame, FrameModeCount(modeCount()), s_.g_FailMap,
                                           s_.g_ColumnFlags, BaseFlatParamsOf(c_, device_), stats);
    s_.BaseFlatMax = stats.max;
    s_.BaseFlatCount = stats.count;
    s_.BaseFlatMaxLimit = stats.maxLimit;
    s_.BaseFlatFailModes = r.failedModes;
    if (r.pass)
        step_ = kSave;
    else
        code_ = kCodeBaseFlat;
}

bool CQVNewFBBuildDlg::saveBase() {
    const bool saved = SendCmdSetModeE4(c_, 2);
    programSleep(c_, 50);
    uint16_t status = 0;
    const bool answered = SendCmdGetStatusE4(c_, &status);
    return saved && answered && (status & kSaveFailed) == 0;
}

void CQVNewFBBuildDlg::Finish() {
    update();
    if (!asked_ && IsQuestionCode(code_)) {
        asked_ = true;
        showQuestion(true);
        return;
    }
    if (step_ > kNoise) restoreScanning();
    step_ = kIdle;
    showQuestion(false);
    hide();
    if (view_) qvui::sendMessage(view_.data(), qvui::WM_BUILD_PROGRESS, quint64(code_), 0);
}

void CQVNewFBBuildDlg::OnBnClickedYes() {
    if (step_ == kIdle || !questionShown()) return;
    showQuestion(false);
    if (!saveBase()) {
        Finish();
        return;
    }
    step_ = kDone;
    overridden_ = code_;
    code_ = kCodeNone;
    update();
    timers_->start(kDone, kFastTimerMs);
}

void CQVNewFBBuildDlg::OnBnClickedNo() {
    if (step_ == kIdle || !questionShown()) return;
    showQuestion(false);
    Finish();
}

QString CQVNewFBBuildDlg::overlayText() const {
    const int id = OverlayTextId(code_);
    if (!id) return {};
    QString text = qvui::loadString(quint32(id));
    if (id == kTextWorking) text = QString::asprintf(text.toUtf8().constData(), StepPercent(step_, waitPolls_));
    return text;
}

void CQVNewFBBuildDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int W = width(), H = height();
    const QRect area(QPoint(W / 4, H * 2 / 5), QPoint(W * 3 / 4, H * 3 / 5));
    p.fillRect(area, Qt::white);
    p.setPen(Qt::black);
    p.drawRect(area);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(16);
    p.setFont(font);
    p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, overlayText());
}

void CQVNewFBBuildDlg::WriteReportBody(qvtext::TextWriter& w, std::string_view resultText) {
    const DiagnosticInfo& info = c_.records.diagInfo;
    const uint16_t version = s_.g_wSRVersion == 0xFF00 ? 0 : s_.g_wSRVersion;
    if (version > 100) {
        uint8_t p[5] = {0xE4, 0x00, 0x00, 0x00, 0x01};
        if (SendCmdPacket(c_, p)) WriteModeInvalid(w, {p[1], p[2], p[3], p[4]});
    }
    if (version > 101) {
        bool ok = false;
        setUpScanning(ok);
        programSleep(c_, 500);
        WriteFlushBaseHeading(w);
        for (int u = 0; u < FrameModeCount(modeCount()); ++u) {
            if (!readFrame(uint8_t(u | 0x10))) break;
            WriteFlushBaseMode(w, u, array_.mutual, size_t(std::max(array_.mutualCount, 0)), array_.extra,
                               size_t(std::max(array_.extraCount, 0)), info.rows, info.columns, info.extraColumns);
        }
        // The section sets scanning up after the build restored it: restore it again.
        restoreScanning();
    }
    BuildSections b;
    b.rows = info.rows;
    b.columns = info.columns;
    b.checksDone = checksDone_;
    b.threshold = threshold_;
    b.modeCount = modeCount();
    b.noise = noise_;
    b.baseLine = &baseLine_;
    b.state = &s_;
    b.resultText = resultText;
    b.overriddenCode = overridden_;
    WriteBuildSections(w, b);
}

}  // namespace vcx
