#include "diag/noise_scan_dlg.h"

#include "diag/log_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/view_window.h"
#include "core/app_settings.h"
#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "core/pictures.h"
#include "core/program_state.h"
#include "core/strings.h"
#include "ui/control_ids.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace vcx {

namespace {

// COLORREF values (0x00BBGGRR) of the view's pens and brushes.
QColor colorRefOf(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }
constexpr uint32_t kGreyPen = 0x969696, kDarkPen = 0x323232, kGreenPen = 0x00C000;
// The node brushes by class: best, normal, noisy.
constexpr uint32_t kClassBrush[3] = {0xFFFFFF, 0xFF0000, 0x0000FF};
constexpr const char* kLegendText[3] = {"Best", "Normal", "Noisy"};

constexpr uint8_t kSettleStop = 0x00, kSettlePoll = 0x01, kSettleDone = 0x02, kSettleRead = 0x03,
                  kSettleStart = 0x05;

}  // namespace

// ---- the pattern window ----------------------------------------------------------------------

CNoisePatternDlg::CNoisePatternDlg(QWidget* parent) : QDialog(parent, Qt::Window | Qt::FramelessWindowHint) {
    setProperty("templateId", kTemplateId);
    setWindowTitle(QStringLiteral("Noise Pattern"));
    hide();
}

void CNoisePatternDlg::ShowPattern(int k) {
    if (k < 0 || k >= 3) return;
    pattern_ = k;
    showFullScreen();
    update();
}

void CNoisePatternDlg::paintEvent(QPaintEvent*) {
    if (pattern_ < 0) return;
    QPainter p(this);
    p.fillRect(rect(), QBrush(programPicture(kFirstPicture + pattern_)));
}

// ---- the view --------------------------------------------------------------------------------

CScanNoiseDlg::CScanNoiseDlg(Controller& c, DiagState& s, QWidget* parent) : QWidget(parent), c_(c), s_(s) {
    addProgramStrings();
    timers_ = new qvui::WindowTimers(this);
    scale_ = std::max(programState().screenScale, 1);
    buildControls();
    pattern_ = new CNoisePatternDlg(this);
}

CScanNoiseDlg::~CScanNoiseDlg() = default;

void CScanNoiseDlg::buildControls() {
    auto* combo = new QComboBox(this);
    qvui::setControlId(combo, kIdPattern);
    for (int i = 0; i < kNoisePatternCount; ++i) combo->addItem(qvui::loadString(uint32_t(kFirstPatternString + i)));
    combo->setCurrentIndex(0);
    AddScanCommandButtons(this);
    auto* progress = new QProgressBar(this);
    qvui::setControlId(progress, kIdProgress);
    progress->setRange(0, 100);
    progress->setTextVisible(false);
    qvui::setControlId(new QLabel(QStringLiteral("0%"), this), kIdPercent);
    auto* grade = new QLabel(this);
    qvui::setControlId(grade, kIdGrade);
    grade->setToolTip(QStringLiteral("Noise Level"));
    grade->setScaledContents(true);
    grade->hide();
    qvui::findControl(this, kIdCancel)->setEnabled(false);
    qvui::findControl(this, kIdSave)->setEnabled(false);
    relayout();
}

void CScanNoiseDlg::relayout() {
    // A column of controls left of the grid, which starts at s x 210 / 100.
    const int x = scale_ * 10 / 100, width = scale_ * 190 / 100;
    int y = scale_ * 10 / 100;
    const auto place = [&](int id, int height) {
        qvui::findControl(this, id)->setGeometry(x, y, width, height);
        y += height + 6;
    };
    const int row = std::max(qvui::findControl(this, kIdStart)->sizeHint().height(), 24);
    place(kIdPattern, std::max(qvui::findControl(this, kIdPattern)->sizeHint().height(), 24));
    for (int id : {kIdStart, kIdCancel, kIdSave, kIdSelectFolder}) place(id, row);
    place(kIdProgress, 16);
    place(kIdPercent, std::max(qvui::findControl(this, kIdPercent)->sizeHint().height(), 16));
    place(kIdGrade, width / 2);
}

QObject* CScanNoiseDlg::mainWindow() const { return ViewMainWindow(this, main_); }

void CScanNoiseDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

void CScanNoiseDlg::postMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::postMessage(w, message, wParam, lParam);
}

void CScanNoiseDlg::ExitDlg() {
    for (int id : {kTimerSample, kTimerSettlePoll, kTimerSettleStart}) timers_->stop(id);
    pattern_->hide();
}

void CScanNoiseDlg::Refresh() {
    setProgress(0);
    nRounds_ = 0;
    const ParameterAntiNoise& n = c_.records.antiNoise;
    bFreqSettle_ = n.valid && n.cbSize > 76 && n.item8[0].present && n.item8[0].value != 0;
    qvui::findControl(this, kIdCancel)->setEnabled(false);
    qvui::findControl(this, kIdSave)->setEnabled(false);
    qvui::findControl(this, kIdSelectFolder)->setEnabled(true);
    const DiagnosticInfo& info = c_.records.diagInfo;
    sampler_.Reset(ClampNoiseCounts(info.rows, info.columns, info.extraColumns, c_.records.newRawArray));
    result_ = NoiseGradeResult{};
    result_.classes.assign(size_t(sampler_.counts().n[kKindMutual]), kNodeBest);
    qvui::findControl(this, kIdGrade)->hide();
    update();
}

// ---- starting --------------------------------------------------------------------------------

void CScanNoiseDlg::StartProcess(const std::string& reportPath) {
    if (bRunning_) return;
    processReport_ = reportPath;
    nPatternIndex_ = 1;
    OnBnClickedStart();
}

void CScanNoiseDlg::StartCommandLine(int pattern) {
    if (bRunning_) return;
    commandLine_ = true;
    qvui::findControl<QComboBox>(this, kIdPattern)->setCurrentIndex(pattern >= 0 && pattern < kNoisePatternCount ? pattern : 0);
    OnBnClickedStart();
}

void CScanNoiseDlg::OnBnClickedStart() {
    if (bRunning_) return;
    bRunning_ = true;
    qvui::findControl(this, kIdPattern)->setEnabled(false);
    qvui::findControl(this, kIdStart)->setEnabled(false);
    qvui::findControl(this, kIdCancel)->setEnabled(nPatternIndex_ == 0 && !commandLine_);
    qvui::findControl(this, kIdSave)->setEnabled(false);
    qvui::findControl(this, kIdSelectFolder)->setEnabled(false);
    setProgress(0);
    nRounds_ = nStable_ = 0;
    nRetries_ = kReadRetries;
    PatternResult_.fill(0);
    // The arrays follow the device's frame record as it is now.
    const DiagnosticInfo& info = c_.records.diagInfo;
    sampler_.Reset(ClampNoiseCounts(info.rows, info.columns, info.extraColumns, c_.records.newRawArray));
    sendMain(qvui::WM_PAGE_STATE, 1, kTemplateDiagnostic);
    beginPattern();
    startSampling();
}

void CScanNoiseDlg::beginPattern() {
    const int selected = qvui::findControl<QComboBox>(this, kIdPattern)->currentIndex();
    const int number = nPatternIndex_ > 0 ? nPatternIndex_ : selected;
    if (nPatternIndex_ > 0 || selected > 0) {
        pattern_->ShowPattern(number - 1);
        programSleep(c_, kPatternPauseMs);
    }
    sendRowCommands();
}

void CScanNoiseDlg::sendRowCommands() {
    const int rows = c_.records.diagInfo.rows;
    for (int r = 0; r < rows; ++r) {
        if (r > 0) programSleep(c_, kRowCommandMs);
        uint8_t reply[5];
        if (!send(0x1F, 0x00, 0x00, reply)) break;
    }
}

void CScanNoiseDlg::startSampling() {
    if (!bFreqSettle_) {
        enterDiagnosticMode(1);
        timers_->start(kTimerSample, kSampleMs);
    } else {
        timers_->start(kTimerSettleStart, kSettleStartMs);
    }
}

bool CScanNoiseDlg::send(uint8_t b2, uint8_t b3, uint8_t b4, uint8_t reply[5]) {
    reply[0] = 0xF5;
    reply[1] = 0x00;
    reply[2] = b2;
    reply[3] = b3;
    reply[4] = b4;
    return SendCmdPacket(c_, reply);
}

bool CScanNoiseDlg::settleCommand(uint8_t code, uint8_t reply[5]) {
    reply[0] = 0xF6;
    reply[1] = 0x07;
    reply[2] = 0x90;
    reply[3] = 0xAA;
    reply[4] = code;
    return SendCmdPacket(c_, reply);
}

void CScanNoiseDlg::enterDiagnosticMode(int on) {
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, on);
}

// ---- the frequency settle --------------------------------------------------------------------

void CScanNoiseDlg::onSettleStart() {
    timers_->stop(kTimerSettleStart);
    wFreqValue_ = 0xFFFF;
    nStable_ = 0;
    uint8_t reply[5];
    settleCommand(kSettleStart, reply);
    timers_->start(kTimerSettlePoll, kSettlePollMs);
}

void CScanNoiseDlg::onSettlePoll() {
    uint8_t reply[5];
    if (!settleCommand(kSettlePoll, reply) || reply[2] == 0xFF) {
        endSettle();
        return;
    }
    if (reply[4] != 0) return;  // still settling: the next tick asks again
    if (!settleCommand(kSettleRead, reply)) return;
    if (reply[2] == 0xFF) {
        endSettle();
        return;
    }
    const uint16_t v = uint16_t(reply[3] << 8 | reply[4]);
    if (wFreqValue_ == 0xFFFF) {
        wFreqValue_ = v;
    } else if (v != wFreqValue_) {
        wFreqValue_ = v;
        nStable_ = 0;
    } else if (++nStable_ >= kSettleEqualReadings) {
        settleCommand(kSettleStop, reply);
        endSettle();
    }
}

void CScanNoiseDlg::endSettle() {
    timers_->stop(kTimerSettlePoll);
    enterDiagnosticMode(1);
    timers_->start(kTimerSample, kSampleMs);
}

// ---- sampling --------------------------------------------------------------------------------

void CScanNoiseDlg::onSample() {
    NewDiagRequest& q = c_.records.newDiagRequest;
    q.cbSize = sizeof q;
    q.scanArgument = q.loadArgument = q.dataKind = 0;
    q.reserved = 0;
    NewRawArray& frame = c_.records.newRawArray;
    const bool read = c_.api.GetNewRawCount && c_.api.GetNewRawCount(c_.dev.device, &frame, &q) == 1;
    if (!read) {
        if (--nRetries_ <= 0) patternDone();
        return;
    }
    nRetries_ = kReadRetries;
    // Only arrays that still hold the counts the sums were sized for are read.
    const DiagnosticInfo& info = c_.records.diagInfo;
    const NoiseCounts now = ClampNoiseCounts(info.rows, info.columns, info.extraColumns, frame);
    const NoiseCounts& sized = sampler_.counts();
    const auto array = [&](int kind, const uint16_t* a) { return now.n[size_t(kind)] >= sized.n[size_t(kind)] ? a : nullptr; };
    const int n = nRounds_;
    sampler_.Add(n, array(kKindMutual, frame.mutual), array(kKindSector, frame.extra), array(kKindSelf, frame.last));
    const bool stable = sampler_.Stable(n);
    nRounds_ = n + 1;
    setProgress(stable ? 100 : std::min(nRounds_, 100));
    if (progress_ >= 100) patternDone();
}

void CScanNoiseDlg::patternDone() {
    timers_->stop(kTimerSample);
    uint8_t reply[5];
    if (bFreqSettle_) settleCommand(kSettleDone, reply);
    result_ = ComputeNoiseGrade(sampler_, nRounds_, c_.records.finger.info[0], s_);
    setGrade(result_.grade);
    update();
    if (nPatternIndex_ > 0) {
        processStep();
        return;
    }
    Stop();
    if (commandLine_) {
        commandLine_ = false;
        Save();
        postMain(qvui::WM_SILENT_RESULT, 0, result_.grade + 2);
    } else {
        qvui::findControl(this, kIdSave)->setEnabled(true);
    }
}

void CScanNoiseDlg::processStep() {
    PatternResult_[size_t(nPatternIndex_)] = result_.patternResult();
    WriteNoiseProcessReport(processReport_, nPatternIndex_, ScanReportContext(c_), result_, sampler_.counts());
    ++nPatternIndex_;
    if (nPatternIndex_ < kNoisePatternCount) {
        beginPattern();
        nRounds_ = nStable_ = 0;
        nRetries_ = kReadRetries;
        setProgress(0);
        if (bFreqSettle_)
            timers_->start(kTimerSettleStart, kSettleStartMs);
        else
            timers_->start(kTimerSample, kSampleMs);
        return;
    }
    nPatternIndex_ = 0;
    Stop();
    const bool fail = std::any_of(PatternResult_.begin() + 1, PatternResult_.end(), [](int r) { return r > kNoiseOK; });
    postMain(qvui::WM_PROCESS_STEP, fail ? 2 : 1, 6);
}

void CScanNoiseDlg::Stop() {
    pattern_->hide();
    for (int id : {kTimerSample, kTimerSettlePoll, kTimerSettleStart}) timers_->stop(id);
    const bool wasRunning = bRunning_;
    bRunning_ = false;
    if (wasRunning) {
        enterDiagnosticMode(0);
        sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDiagnostic);
    }
    nPatternIndex_ = 0;
    for (int id : {kIdPattern, kIdStart, kIdSelectFolder}) qvui::findControl(this, id)->setEnabled(true);
    qvui::findControl(this, kIdCancel)->setEnabled(false);
}

// ---- saving ----------------------------------------------------------------------------------

void CScanNoiseDlg::Save() {
    ScanViewShared& shared = scanShared();
    CLogDlg log(c_.dev.modelName, s_.AutoSaveBarcode != 0, shared.needBatch2, this);
    if (qvui::execDialog(log) != QDialog::Accepted) return;
    shared.times = log.times();
    const ReportContext r = ScanReportContext(c_);
    const int pattern = qvui::findControl<QComboBox>(this, kIdPattern)->currentIndex();
    const std::string folder = QFile::encodeName(workingFolders()[kDiagNLFolder]).toStdString();
    const std::string path = WriteNoiseReport(folder, r, shared.needBatch2, pattern, result_, sampler_.counts());
    if (path.empty()) return;  // Save stays enabled: nothing was written
    lastReport_ = path;
    QWidget* window = qobject_cast<QWidget*>(mainWindow());
    SaveWindowPicture(window ? window : this->window(),
                      QString::fromStdString(path.substr(0, path.size() - 4) + ".png"));
    qvui::findControl(this, kIdSave)->setEnabled(false);
}

// The noise folder of the settings, read when a report is saved (the settings
// are loaded after the view is made).
void CScanNoiseDlg::OnBnClickedSelectFolder() {
    QString folder = workingFolders()[kDiagNLFolder];
    if (BrowseForFolder(qvui::loadString(1108), this, folder)) workingFolders()[kDiagNLFolder] = folder;
}

// ---- controls and painting -------------------------------------------------------------------

void CScanNoiseDlg::setProgress(int value) {
    progress_ = value;
    // In process use the bar only shows the end of a pattern.
    if (nPatternIndex_ > 0 && value != 100 && value != 0) return;
    qvui::findControl<QProgressBar>(this, kIdProgress)->setValue(value);
    qvui::findControl<QLabel>(this, kIdPercent)->setText(QString::asprintf("%d%%", value));
}

void CScanNoiseDlg::setGrade(int grade) {
    auto* picture = qvui::findControl<QLabel>(this, kIdGrade);
    picture->setPixmap(programPicture(kFirstGradePicture + std::clamp(grade, 0, int(kNoiseBad))));
    picture->show();
}

NoiseGridLayout CScanNoiseDlg::gridLayout() const {
    const DiagnosticInfo& info = c_.records.diagInfo;
    const QFontMetrics fm(font());
    int legendWidth = 0;
    for (const char* t : kLegendText) legendWidth = std::max(legendWidth, fm.horizontalAdvance(QString::fromLatin1(t)));
    const LabelSize label{std::max(scale_ * 20 / 100, fm.horizontalAdvance(QStringLiteral("00")) + 4),
                          std::max(14, fm.height())};
    int cell = scanShared().g_nCellSize;
    if (cell <= 0) {
        // No scan view measured the cell yet: the largest that fits the view.
        const int rows = std::max<int>(info.rows, 1), columns = std::max<int>(info.columns, 1);
        const bool exchanged = s_.g_PanelFlags & 0x0001;
        const int dr = exchanged ? columns : rows, dc = exchanged ? rows : columns;
        cell = std::clamp(std::min((width() - scale_ * 210 / 100 - 40) / dc,
                                   (height() - scale_ * 10 / 100 - 40 - 3 * label.height) / dr),
                          0, kMaxCellSize);
    }
    return LayoutNoiseGrid(scale_, cell, info.rows, info.columns, s_.g_PanelFlags, label,
                           QSize(legendWidth + 4, std::max(14, fm.height())));
}

bool CScanNoiseDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
    }
    return QWidget::event(e);
}

void CScanNoiseDlg::onTimer(int id) {
    switch (id) {
    case kTimerSample: onSample(); break;
    case kTimerSettlePoll: onSettlePoll(); break;
    case kTimerSettleStart: onSettleStart(); break;
    default: timers_->stop(id); break;
    }
}

void CScanNoiseDlg::paintEvent(QPaintEvent*) {
    const NoiseGridLayout g = gridLayout();
    if (g.cell == 0) return;
    QPainter p(this);
    p.setPen(QPen(colorRefOf(kGreenPen), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(g.frame);
    p.setPen(QPen(colorRefOf(kGreyPen), 0));
    for (const GridLine& l : g.grid.lines) p.drawLine(l.from, l.to);
    p.setPen(QPen(colorRefOf(kDarkPen), 2));
    for (const GridLine& l : g.grid.fifthLines) p.drawLine(l.from, l.to);
    for (const GridLabel& l : g.grid.labels)
        p.drawText(l.box, Qt::AlignCenter | Qt::TextSingleLine, QString::asprintf("%02d", l.number));
    p.setPen(QPen(colorRefOf(kGreenPen), 0));
    for (size_t i = 0; i < g.grid.nodes.size(); ++i) {
        const uint8_t cls = i < result_.classes.size() ? std::min<uint8_t>(result_.classes[i], 2) : uint8_t(kNodeBest);
        p.setBrush(colorRefOf(kClassBrush[cls]));
        p.drawEllipse(g.grid.nodes[i], g.radius, g.radius);
    }
    for (size_t k = 0; k < g.legend.size(); ++k) {
        p.setPen(QPen(colorRefOf(kGreenPen), 0));
        p.setBrush(colorRefOf(kClassBrush[k]));
        p.drawEllipse(g.legend[k].mark, std::max(g.radius, 5), std::max(g.radius, 5));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(g.legend[k].label, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(kLegendText[k]));
    }
}

}  // namespace vcx
