#include "diag/factory_base_dlg.h"

#include "diag/log_dlg.h"
#include "diag/new_fb_build_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/scan_report.h"
#include "diag/view_window.h"
#include "core/report_header.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/pictures.h"
#include "core/program_state.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cstdlib>

namespace vcx {

// ---- arithmetic --------------------------------------------------------------

FrequencyNoise MeasureFrequencyNoise(const int16_t* a, const int16_t* b, int n, int threshold) {
    FrequencyNoise r;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const uint16_t d = uint16_t(std::abs(int(a[i]) - int(b[i])));
        if (d > r.top[0]) {
            // The smallest held value leaves; d goes to its place in the ascending list.
            int k = 0;
            while (k + 1 < 15 && r.top[size_t(k) + 1] < d) {
                r.top[size_t(k)] = r.top[size_t(k) + 1];
                ++k;
            }
            r.top[size_t(k)] = d;
        }
        if (d > threshold) ++count;
    }
    int sum = 0;
    for (int k = 0; k < 10; ++k) sum += r.top[size_t(k)];
    r.mean = uint16_t(sum / 10);
    r.result = r.mean > threshold ? count : 0;
    return r;
}

int BuildOverlayPercent(int step, int m, int f, int modes, int freqs, int polls, int limit) {
    if (step == CQVFBBuildDlg::kScan && modes > 0 && freqs > 0) return m * 90 / modes + (f * 90 / modes) / freqs;
    if (step == CQVFBBuildDlg::kWait && limit > 0) return polls * 10 / limit + 90;
    return -1;
}

QRect BuildOverlayRect(int w, int h) { return QRect(w / 4, 2 * h / 5, w - 2 * (w / 4), h / 5); }

// ---- the older procedure -------------------------------------------------------

namespace {
QString textOf(int id) { return qvui::loadString(id); }
}  // namespace

CQVFBBuildDlg::CQVFBBuildDlg(Controller& c, DiagState& s, QObject* view)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool), c_(c), s_(s), view_(view),
      timers_(new qvui::WindowTimers(this)), rand_([] { return std::rand(); }) {
    setFocusPolicy(Qt::StrongFocus);
    const struct {
        int id;
        const char* text;
        bool yes;
    } buttons[] = {{kIdYes, "Yes", true}, {kIdNo, "No", false}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text), this);
        qvui::setControlId(button, b.id);
        button->hide();
        button->setFocusPolicy(Qt::NoFocus);  // the overlay keeps the keys: Esc reaches it
        const bool yes = b.yes;
        connect(button, &QPushButton::clicked, this, [this, yes] { answer(yes); });
    }
}

CQVFBBuildDlg::~CQVFBBuildDlg() = default;

QString CQVFBBuildDlg::overlayText() const {
    switch (step_) {
    case kScan:
    case kWait: {
        const int percent = BuildOverlayPercent(step_, m_, f_, modes_, freqs_, waitPolls_, waitLimit_);
        QString t = textOf(1132);
        return t.replace(QLatin1String("%d%%"), QString::number(percent) + QLatin1Char('%'));
    }
    case kQuestion: return textOf(1133);
    case kCancelled: return textOf(1134);
    case kRemoved: return textOf(1135);
    default: return {};
    }
}

void CQVFBBuildDlg::showButtons(bool shown) {
    const QRect r = rect();
    const int w = r.width() / 5, h = std::max(r.height() / 4, 20);
    if (auto* yes = qvui::findControl<QPushButton>(this, kIdYes)) {
        yes->setGeometry(r.width() / 2 - w - 10, r.height() - h - 8, w, h);
        yes->setVisible(shown);
    }
    if (auto* no = qvui::findControl<QPushButton>(this, kIdNo)) {
        no->setGeometry(r.width() / 2 + 10, r.height() - h - 8, w, h);
        no->setVisible(shown);
    }
}

bool CQVFBBuildDlg::selectFrequency(uint8_t v) {
    // The item protocol takes the value itself; older firmware its offset from 16.
    uint8_t p[5] = {0xF5, 0x00, 0xFF, 0x00, v};
    if (c_.dev.paraVersion <= 0) {
        p[2] = uint8_t(v - 16);
        p[4] = 0;
    }
    return SendCmdPacket(c_, p);
}

void CQVFBBuildDlg::Start() {
    step_ = kScan;
    m_ = f_ = modesChecked_ = waitPolls_ = e4Failures_ = 0;
    interference_ = false;
    frequencyStep_ = false;
    savedFH_ = uint32_t(SendCmdReadF5(c_, 0x0F));
    // A controller that names more modes or frequencies than the value v =
    // f x 4 + m holds is taken at the largest it can hold.
    modes_ = std::min<int>(s_.g_nFreqModeCount, kMaxModes);
    freqs_ = std::min<int>(s_.g_nFreqPerMode, kMaxFreqs);
    const ParameterItem& item = c_.records.antiNoise.item1[0];
    threshold_ = std::max<int>(item.present ? item.stored : 0, 11);
    update();
    if (modes_ == 0 || freqs_ == 0) {
        step_ = kIdle;
        if (view_) qvui::sendMessage(view_, qvui::WM_BUILD_PROGRESS, 1, 0);
        return;
    }
    modesChecked_ = 1;
    const int n = std::max(c_.records.diagInfo.rows * c_.records.diagInfo.columns, 0);
    frameA_.assign(size_t(n), 0);
    frameB_.assign(size_t(n), 0);
    means_.assign(size_t(modes_ * freqs_), 0);
    tops_.assign(size_t(modes_ * freqs_), {});
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 1);
    frequencyStep_ = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->geometry();
        setGeometry(BuildOverlayRect(g.width(), g.height()).translated(g.topLeft()));
    }
    show();
    activateWindow();
    setFocus();
    timers_->start(kScan, 10);
}

void CQVFBBuildDlg::waitRandom() { programSleep(c_, (rand_() % 3 + 1) * 10); }

bool CQVFBBuildDlg::readFrame(std::vector<int16_t>& into) {
    NewRawArray& frame = c_.records.newRawArray;
    NewDiagRequest& request = c_.records.newDiagRequest;
    request.cbSize = sizeof request;
    request.scanArgument = request.loadArgument = request.dataKind = 0;
    if (!c_.api.GetNewRawCount || c_.api.GetNewRawCount(c_.dev.device, &frame, &request) != 1) return false;
    if (!frame.mutual || frame.mutualCount < 0 || size_t(frame.mutualCount) < into.size()) return false;
    for (size_t i = 0; i < into.size(); ++i) into[i] = int16_t(frame.mutual[i]);
    return true;
}

int CQVFBBuildDlg::measure(int m, int f) {
    waitRandom();
    if (!readFrame(frameA_)) return -1;
    waitRandom();
    if (!readFrame(frameB_)) return -1;
    const FrequencyNoise r = MeasureFrequencyNoise(frameA_.data(), frameB_.data(), int(frameA_.size()), threshold_);
    const size_t at = size_t(m * freqs_ + f);
    tops_[at] = r.top;
    means_[at] = r.mean;
    return r.result;
}

void CQVFBBuildDlg::onFrequency() {
    if (!selectFrequency(uint8_t(f_ * 4 + m_))) return finish(14);
    const int result = measure(m_, f_);
    if (result < 0) return finish(12);
    if (result == 0) {
        ++m_;
        f_ = 0;
        ++modesChecked_;
    } else if (++f_ >= freqs_) {
        // Every frequency of this mode is noisy: the operator decides.
        timers_->start(kQuestion, 10);
        return;
    }
    if (m_ < modes_) {
        update();
        timers_->start(kScan, 10);
        return;
    }
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    frequencyStep_ = false;
    beginBuild();
}

void CQVFBBuildDlg::beginBuild() {
    if (!SendCmdSetModeE4(c_, 0)) return finish(2);
    programSleep(c_, 500);
    SendCmdGetStatusE4(c_, &status_);
    step_ = kWait;
    update();
    timers_->start(kWait, 500);
}

void CQVFBBuildDlg::onWait() {
    // Only an answered status read is judged: a missing reply counts a failure
    // and never passes for a finished build.
    uint16_t s = 0;
    const bool answered = SendCmdGetStatusE4(c_, &s) != 0;
    if (answered) {
        status_ = s;
        if (!(s & 0x100)) {
            programSleep(c_, 50);
            SendCmdGetStatusE4(c_, &status_);
        }
    } else {
        ++e4Failures_;
    }
    if (e4Failures_ > 4) return finish(13);
    if (answered && (s & 0x101) == 0) return finish(0);
    if (++waitPolls_ >= waitLimit_) {
        waitLimit_ += 4;
        return finish(5);
    }
    timers_->start(kWait, 500);
    update();
}

void CQVFBBuildDlg::onQuestion() {
    step_ = kQuestion;
    showButtons(true);
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    frequencyStep_ = false;
    update();
}

void CQVFBBuildDlg::answer(bool yes) {
    if (step_ != kQuestion) return;
    showButtons(false);
    if (!yes) return finish(6);
    if (!SendCmdSetModeE4(c_, 0)) return finish(2);
    programSleep(c_, 500);
    SendCmdGetStatusE4(c_, &status_);
    step_ = kWait;
    interference_ = true;
    update();
    timers_->start(kWait, 500);
}

void CQVFBBuildDlg::finish(int code) {
    if (frequencyStep_ && c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    frequencyStep_ = false;
    step_ = kIdle;
    for (int id = kIdle; id <= kRemoved; ++id) timers_->stop(id);
    // A value that could not be read is not sent back: it would select another frequency.
    if (savedFH_ != 0xFF00) selectFrequency(uint8_t(savedFH_));
    showButtons(false);
    hide();
    if (view_) qvui::sendMessage(view_, qvui::WM_BUILD_PROGRESS, quint64(code), 0);
}

void CQVFBBuildDlg::onTimer(int id) {
    if (id < kIdle || id > kRemoved) return;
    timers_->stop(id);
    if (step_ == kCancelled) return finish(3);
    if (step_ == kRemoved) {
        // The device is gone: no command goes out any more.
        frequencyStep_ = false;
        savedFH_ = 0xFF00;
        finish(4);
        FreeBuffers();
        return;
    }
    switch (id) {
    case kScan: onFrequency(); break;
    case kWait: onWait(); break;
    case kQuestion: onQuestion(); break;
    default: break;
    }
}

void CQVFBBuildDlg::Reset() {
    if (step_ == kIdle) {
        FreeBuffers();
        hide();
        return;
    }
    step_ = kRemoved;
    update();
    // The question waits for no timer: the removal needs a tick to finish.
    if (!timers_->isActive(kScan) && !timers_->isActive(kWait)) timers_->start(kRemoved, 10);
}

void CQVFBBuildDlg::FreeBuffers() {
    frameA_ = {};
    frameB_ = {};
}

std::string CQVFBBuildDlg::ReportBody() const {
    std::string out;
    char line[128];
    std::snprintf(line, sizeof line, "\rThreshold : %d\r", threshold_);
    out += line;
    for (int k = 0; k < modesChecked_ && k < modes_; ++k) {
        std::snprintf(line, sizeof line, "\rFrequency mode : %d\r", k);
        out += line;
        out += "\rFH index, Mean, 1st ~ 15th diff\r\r";
        for (int j = 0; j < freqs_; ++j) {
            const size_t at = size_t(k * freqs_ + j);
            std::snprintf(line, sizeof line, "%d, %d", j, at < means_.size() ? means_[at] : 0);
            out += line;
            for (int d = 14; d >= 0; --d) {
                std::snprintf(line, sizeof line, ",%d", at < tops_.size() ? tops_[at][size_t(d)] : 0);
                out += line;
            }
            out += "\r";
        }
    }
    if (interference_) out += "\nWarning : Environmental interference.\n";
    return out;
}

bool CQVFBBuildDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e))
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
    return QWidget::event(e);
}

void CQVFBBuildDlg::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && step_ != kIdle) {
        step_ = kCancelled;
        update();
        // The question has no timer running: the cancel needs a tick to finish.
        if (!timers_->isActive(kScan) && !timers_->isActive(kWait)) timers_->start(kCancelled, 10);
        e->accept();
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void CQVFBBuildDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setFont(QFont(QStringLiteral("Tahoma"), 16));
    p.setPen(Qt::black);
    p.drawText(rect(), Qt::AlignCenter, overlayText());
}

// ---- the view ------------------------------------------------------------------

CQVFactoryBaseDlg::CQVFactoryBaseDlg(Controller& c, DiagState& s, QWidget* parent)
    : QWidget(parent), c_(c), s_(s), timers_(new qvui::WindowTimers(this)), probes_(c) {
    buildControls();
    older_ = new CQVFBBuildDlg(c_, s_, this);
    newer_ = new CQVNewFBBuildDlg(c_, s_, probes_);
    newer_->setView(this);
    logFolder_ = appSettings().folders[kDiagSRFolder];
}

CQVFactoryBaseDlg::~CQVFactoryBaseDlg() {
    delete newer_;
    delete older_;
}

void CQVFactoryBaseDlg::buildControls() {
    const struct {
        int id;
        const char* text;
        void (CQVFactoryBaseDlg::*slot)();
    } buttons[] = {{kIdStart, "Start", &CQVFactoryBaseDlg::OnBnClickedStart},
                   {kIdSaveLog, "Save log", &CQVFactoryBaseDlg::OnBnClickedSaveLog},
                   {kIdErase, "Erase", &CQVFactoryBaseDlg::OnBnClickedErase},
                   {kIdSelectFolder, "Select Folder", &CQVFactoryBaseDlg::OnBnClickedSelectFolder}};
    int y = 10;
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(b.text), this);
        qvui::setControlId(button, b.id);
        button->setGeometry(10, y, 120, 26);
        y += 32;
        connect(button, &QPushButton::clicked, this, b.slot);
    }
    auto* autoSave = new QCheckBox(QStringLiteral("Auto Save Log"), this);
    qvui::setControlId(autoSave, kIdAutoSave);
    autoSave->setGeometry(10, y, 240, 22);
    autoSave->setChecked(appSettings().options & kOptAutoSaveFB);
    auto* initDlg = new QCheckBox(QStringLiteral("Switch on the System Reference Dialog Box"), this);
    qvui::setControlId(initDlg, kIdInitDlg);
    initDlg->setGeometry(10, y + 26, 320, 22);
    initDlg->setChecked(appSettings().options & kOptFBInitDlg);
    connect(initDlg, &QCheckBox::toggled, this, [](bool on) {
        if (on)
            appSettings().options |= kOptFBInitDlg;
        else
            appSettings().options &= ~uint32_t(kOptFBInitDlg);
    });
    const int texts[] = {kIdVersion, kIdResult, kIdStatus};
    int ty = 10;
    for (int id : texts) {
        auto* label = new QLabel(this);
        qvui::setControlId(label, id);
        label->setGeometry(150, ty, 500, 24);
        ty += 30;
    }
    auto* picture = new QLabel(this);
    qvui::setControlId(picture, kIdPicture);
    // Right of the option boxes, whose texts reach x = 330: the result picture
    // takes its own size when it is shown and must not cover them.
    picture->setGeometry(340, ty, 64, 64);
    picture->hide();
    for (int id : {kIdStart, kIdSaveLog, kIdErase}) enable(id, false);
}

QObject* CQVFactoryBaseDlg::mainWindow() const { return ViewMainWindow(this, main_); }

void CQVFactoryBaseDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

void CQVFactoryBaseDlg::postMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::postMessage(w, message, wParam, lParam);
}

void CQVFactoryBaseDlg::setText(int id, const QString& text) {
    if (auto* l = qvui::findControl<QLabel>(this, id)) l->setText(text);
}

void CQVFactoryBaseDlg::enable(int id, bool on) {
    if (QWidget* w = qvui::findControl(this, id)) w->setEnabled(on);
}

void CQVFactoryBaseDlg::SetStartEnabled(bool enabled) { enable(kIdStart, enabled); }

void CQVFactoryBaseDlg::AutoStart() {
    if (!startupState().options.optSR) {
        if (processRun_) return;
        processRun_ = true;
    }
    OnBnClickedStart();
}

void CQVFactoryBaseDlg::OnBnClickedStart() {
    if (older_->step() != CQVFBBuildDlg::kIdle || newer_->running()) return;  // one build at a time
    if (QWidget* p = qvui::findControl(this, kIdPicture)) p->hide();
    enable(kIdStart, false);
    enable(kIdSaveLog, false);
    setText(kIdResult, textOf(1362));
    sendMain(qvui::WM_PAGE_STATE, 1, 105);
    code_ = 0;
    usedNewer_ = s_.g_wSRVersion != 0;
    if (usedNewer_)
        newer_->Start();
    else
        older_->Start();
}

void CQVFactoryBaseDlg::OnBuildProgress(int code) {
    if (code == 4) {
        // The page is idle again: a main window left busy would keep its
        // buttons locked after the device comes back.
        sendMain(qvui::WM_PAGE_STATE, 0, 105);
        if (processRun_) {
            processRun_ = false;
            postMain(qvui::WM_PROCESS_STEP, 3, 3);
        } else if (startupState().options.optSR) {
            // An unattended build whose device went away ends failed.
            sendMain(qvui::WM_SILENT_RESULT, 0, 0);
        }
        return;
    }
    code_ = code;
    setText(kIdResult, textOf(1140 + code));
    enable(kIdSaveLog, true);
    sendMain(qvui::WM_PAGE_STATE, 0, 105);
    if (auto* p = qvui::findControl<QLabel>(this, kIdPicture)) {
        const QPixmap picture = programPicture(code == 0 ? 219 : 220);
        p->setPixmap(picture);
        p->resize(picture.size()); // the result picture whole, whatever its size
        p->show();
    }
    savePending_ = true;
    startReadyPoll();
}

void CQVFactoryBaseDlg::startReadyPoll() {
    setText(kIdStatus, textOf(1129));
    enable(kIdStart, false);
    enable(kIdErase, false);
    readyPolls_ = 0;
    timers_->start(kTimerReady, 500);
}

bool CQVFactoryBaseDlg::readyNow() {
    const int b = SendCmdQueryE0(c_, 0xF7, 1);
    return b >= 0 && (b & 1);
}

void CQVFactoryBaseDlg::onReadyPoll() {
    if (!readyNow() && ++readyPolls_ <= kReadyPolls) return;
    timers_->stop(kTimerReady);
    endReadyPoll();
}

void CQVFactoryBaseDlg::endReadyPoll() {
    enable(kIdStart, true);
    uint16_t status = 0;
    if (!SendCmdGetStatusE4(c_, &status)) {
        if (processRun_) {
            processRun_ = false;
            postMain(qvui::WM_PROCESS_STEP, 4, 3);
        } else if (savePending_ && startupState().options.optSR) {
            // An unattended build whose state cannot be read ends failed.
            savePending_ = false;
            sendMain(qvui::WM_SILENT_RESULT, 0, 0);
        }
        return;
    }
    const bool notInitialized = status & 1;
    setText(kIdStatus, textOf(notInitialized ? 1130 : 1131));
    enable(kIdErase, !notInitialized);
    if (processRun_) {
        processRun_ = false;
        if (notInitialized) {
            postMain(qvui::WM_PROCESS_STEP, 4, 3);
            return;
        }
        // An older reference stays active after a failed build: only a
        // completed build passes the item. The newer procedure reports either way.
        if (code_ != 0) {
            if (usedNewer_) writeProcessReport();
            postMain(qvui::WM_PROCESS_STEP, 2, 3);
            return;
        }
        writeProcessReport();
        reportPolls_ = 0;
        timers_->start(kTimerReport, 500);
        return;
    }
    if (!savePending_) return;
    savePending_ = false;
    const bool sr = startupState().options.optSR;
    if (!notInitialized) {
        auto* box = qvui::findControl<QCheckBox>(this, kIdAutoSave);
        if ((box && box->isChecked()) || sr) OnBnClickedSaveLog();
    } else if (sr) {
        sendMain(qvui::WM_SILENT_RESULT, 0, 0);
    }
}

void CQVFactoryBaseDlg::onReportPoll() {
    if (!readyNow() && ++reportPolls_ <= kReadyPolls) return;
    timers_->stop(kTimerReport);
    postMain(qvui::WM_PROCESS_STEP, 1, 3);
}

void CQVFactoryBaseDlg::writeProcessReport() {
    char name[512];
    std::snprintf(name, sizeof name, kReportName, scanShared().processReportFolder.c_str());
    qvtext::TextWriter file(name, qvtext::TextWriter::Mode::Append);
    if (!file.isOpen()) return;
    file.write("\r[ Build System Reference Result ]\r");
    WriteProcessVersions(file, ReportDeviceOf(c_));
    writeBody(file);
    file.close();
}

void CQVFactoryBaseDlg::writeBody(qvtext::TextWriter& w) {
    if (!usedNewer_) {
        w.write(older_->ReportBody());
        return;
    }
    const QString result = qvui::StringTable::instance().text(quint32(1140 + code_), qvui::Language::English);
    newer_->WriteReportBody(w, result.toStdString());
}

void CQVFactoryBaseDlg::OnBnClickedSaveLog() {
    const bool sr = startupState().options.optSR;
    if (!usedNewer_ && code_ != 0) {
        // Nothing to save after a failed older build; an unattended run ends
        // failed (an older reference still in the controller does not make it pass).
        if (sr) sendMain(qvui::WM_SILENT_RESULT, 0, 0);
        return;
    }
    // An unattended run's verdict is the build's, whether the log is saved or not.
    const int verdict = code_ == 0 ? 1 : 0;
    CLogDlg log(c_.dev.modelName, s_.AutoSaveBarcode != 0, false, this);
    if (qvui::execDialog(log) != QDialog::Accepted) {
        if (sr) sendMain(qvui::WM_SILENT_RESULT, 0, verdict);
        return;
    }
    const QString path = QStringLiteral("%1/%2_%3_%4.csv")
                             .arg(QDir::cleanPath(logFolder_), c_.dev.modelName,
                                  QString::fromStdString(scanShared().g_strBatch1),
                                  QString::fromStdString(log.times().t0));
    qvtext::TextWriter file(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Append);
    bool saved = false;
    if (file.isOpen()) {
        WriteLogHeader(file, c_, 3);
        writeBody(file);
        saved = file.close();
    }
    if (saved) enable(kIdSaveLog, false);
    if (saved && (!sr || verdict == 1))
        sendMain(qvui::WM_DEBUG_FORWARD, 0, 1);  // the Debug page's device log; it ends an unattended run
    else if (sr)
        sendMain(qvui::WM_SILENT_RESULT, 0, verdict);
}

void CQVFactoryBaseDlg::OnBnClickedErase() {
    SendCmdSetModeE4(c_, 0xFF);
    startReadyPoll();
}

void CQVFactoryBaseDlg::OnBnClickedSelectFolder() {
    const QString chosen = qvui::chooseFolder(this, QStringLiteral("Select Log File Folder"), logFolder_);
    if (!chosen.isEmpty()) logFolder_ = chosen;
}

void CQVFactoryBaseDlg::Refresh() {
    if (QWidget* p = qvui::findControl(this, kIdPicture)) p->hide();
    const uint16_t v = s_.g_wSRVersion;
    setText(kIdVersion, QString::asprintf("%d.%d", v / 100, v % 100));
    older_->FreeBuffers();
    newer_->Prepare();
    startReadyPoll();
}

void CQVFactoryBaseDlg::ResetProcedures() {
    enable(kIdStart, false);
    enable(kIdSaveLog, false);
    timers_->stop(kTimerReady);
    timers_->stop(kTimerReport);
    older_->Reset();
    newer_->Reset();
}

void CQVFactoryBaseDlg::ExitDlg() {
    auto* box = qvui::findControl<QCheckBox>(this, kIdAutoSave);
    if (box) {
        if (box->isChecked())
            appSettings().options |= kOptAutoSaveFB;
        else
            appSettings().options &= ~uint32_t(kOptAutoSaveFB);
    }
    older_->FreeBuffers();
    if (!newer_->running()) newer_->Reset();
}

void CQVFactoryBaseDlg::LayoutControls(int sizeType) {
    if (!firstSeen_) {
        first_ = geometry();
        firstSeen_ = true;
        return;
    }
    resize(SizeForParent(this, first_.size(), sizeType));
}

bool CQVFactoryBaseDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_TIMER:
            if (m->wParam() == kTimerReady) onReadyPoll();
            else if (m->wParam() == kTimerReport) onReportPoll();
            return true;
        case qvui::WM_BUILD_PROGRESS: OnBuildProgress(int(m->wParam())); return true;
        default: break;
        }
    }
    return QWidget::event(e);
}

}  // namespace vcx
