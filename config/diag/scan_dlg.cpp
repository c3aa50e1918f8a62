#include "diag/scan_dlg.h"

#include "diag/diag_config.h"
#include "diag/golden_sample.h"
#include "diag/log_dlg.h"
#include "diag/device_probes.h"
#include "diag/scan_layout.h"
#include "diag/view_window.h"
#include "core/chd_parent_dlg.h"
#include "core/pictures.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "core/process_items.h"
#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/named_window.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QThread>
#include <QPushButton>

#include <algorithm>

namespace vcx {

namespace {

// COLORREF values (0x00BBGGRR) of the grid's pens and brushes.
QColor colorRefOf(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }
constexpr uint32_t kGreyPen = 0x969696, kDarkPen = 0x323232, kGreenPen = 0x00C000;
constexpr uint32_t kRedBrush = 0x0000FF, kWhiteBrush = 0xFFFFFF;

} // namespace

ScanViewShared& scanShared() {
    static ScanViewShared shared;
    return shared;
}

CVCXScanDlg::CVCXScanDlg(Controller& c, DiagState& s, QWidget* parent)
    : QWidget(parent), c_(c), s_(s), acquisition_(c, s) {
    addProgramStrings();
    timers_ = new qvui::WindowTimers(this);
    scale_ = std::max(programState().screenScale, 1);
    buildControls();
    // Dialog initialisation: the thresholds file beside the program.
    static_cast<DiagConfig&>(s_) = LoadDiagnosticConfig(programState().programFolder + kDiagConfigFileName);
    TakeSettings();
    worker_ = std::make_unique<DiagDataWorker>(c_, this);
    nRunState_ = 0;
}

CVCXScanDlg::~CVCXScanDlg() {
    // The worker ends before the view: a delivery waiting for this thread gives up.
    if (worker_) worker_->stop();
    if (scanShared().g_bScanRunning && s_.g_pActiveScanDlg == this) scanShared().g_bScanRunning = false;
}

void CVCXScanDlg::buildControls() {
    // Placed by relayout() from the view's size.
    auto* list = new QListWidget(this);
    qvui::setControlId(list, kIdList);
    list->setToolTip(QStringLiteral("Message"));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* progress = new QProgressBar(this);
    qvui::setControlId(progress, kIdProgress);
    progress->setRange(0, kProgressEnd);
    progress->setTextVisible(false);
    qvui::setControlId(new QCheckBox(QStringLiteral("Auto Save Log"), this), kIdAutoSave);
    passLabel_ = new QLabel(QStringLiteral("Pass"), this);
    qvui::setControlId(new QLabel(QStringLiteral("0"), this), kIdPassCount);
    failLabel_ = new QLabel(QStringLiteral("Fail"), this);
    qvui::setControlId(new QLabel(QStringLiteral("0"), this), kIdFailCount);
    AddScanCommandButtons(this);
    for (int i = 0; i < 4; ++i) {
        auto* picture = new QLabel(this);
        qvui::setControlId(picture, kIdFirstStatus + i);
        picture->setPixmap(programPicture(2000 + i));
        picture->hide();
    }
    progress->hide();
    setButtons(0);
    relayout();
}

ScanViewMetrics CVCXScanDlg::metrics() const {
    ScanViewMetrics m;
    auto* list = qvui::findControl<QListWidget>(this, kIdList);
    const QFontMetrics listFont(list->font());
    QStringList rows{QStringLiteral("PASS"), QString::fromLatin1(kTextFrameReadFail).arg(kProgressEnd),
                     QString::fromLatin1(kTextPatternOffFail), QString::fromLatin1(kTextDiagnosticModeOffFail)};
    for (int i = 0; i < kFailBitCount; ++i) rows << qvui::loadString(uint32_t(kFailTextFirstId + i));
    for (const QString& row : rows) m.listTextWidth = std::max(m.listTextWidth, listFont.horizontalAdvance(row));
    m.listChrome = 2 * list->frameWidth() + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list) + 12;
    m.rowHeight = std::max({qvui::findControl(this, kIdAutoSave)->sizeHint().height(),
                            qvui::findControl(this, kIdPassCount)->sizeHint().height(), listFont.height()});
    m.progressHeight = std::max(listFont.height() * 2 / 3, 10);
    for (int id : {kIdStart, kIdCancel, kIdSave, kIdSelectFolder})
        m.button = m.button.expandedTo(qvui::findControl(this, id)->sizeHint());
    m.button = m.button.expandedTo(QSize(passLabel_->sizeHint().width() * 2, 0));
    for (int i = 0; i < 4; ++i) {
        const QPixmap p = qvui::findControl<QLabel>(this, kIdFirstStatus + i)->pixmap();
        m.badge = m.badge.expandedTo(p.deviceIndependentSize().toSize());
    }
    // The grid's numbers: "%02d" of the largest line, never narrower than the design's s x 20 / 100.
    const QFontMetrics grid(font());
    const int largest = std::max<int>(c_.records.diagInfo.rows, c_.records.diagInfo.columns);
    m.label.width = std::max(scale_ * 20 / 100, grid.horizontalAdvance(QString::asprintf("%02d", largest)) + 4);
    m.label.height = std::max(14, grid.height());
    return m;
}

void CVCXScanDlg::relayout() {
    const DiagnosticInfo& info = c_.records.diagInfo;
    layout_ = LayoutScanView(size(), scale_, metrics(), info.rows, info.columns, s_.g_PanelFlags);
    const auto place = [this](int id, const QRect& r) { qvui::findControl(this, id)->setGeometry(r); };
    place(kIdList, layout_.list);
    place(kIdProgress, layout_.progress);
    place(kIdAutoSave, layout_.autoSave);
    passLabel_->setGeometry(layout_.passLabel);
    place(kIdPassCount, layout_.passCount);
    failLabel_->setGeometry(layout_.failLabel);
    place(kIdFailCount, layout_.failCount);
    const int buttons[4] = {kIdStart, kIdCancel, kIdSave, kIdSelectFolder};
    for (size_t i = 0; i < 4; ++i) place(buttons[i], layout_.buttons[i]);
    for (int i = 0; i < 4; ++i) place(kIdFirstStatus + i, layout_.badge);
    if (info.rows != 0 && info.columns != 0) scanShared().g_nCellSize = layout_.cell;
}

// ---- operations --------------------------------------------------------------------------------

void CVCXScanDlg::TakeSettings() {
    qvui::findControl<QCheckBox>(this, kIdAutoSave)->setChecked(appSettings().options & kOptAutoSaveOS);
    scanShared().resultFolder = workingFolders()[kDiagOSFolder];
}

void CVCXScanDlg::ExitDlg() {
    uint32_t& options = appSettings().options;
    if (qvui::findControl<QCheckBox>(this, kIdAutoSave)->isChecked())
        options |= kOptAutoSaveOS;
    else
        options &= ~uint32_t(kOptAutoSaveOS);
    workingFolders()[kDiagOSFolder] = scanShared().resultFolder;
    for (int id = kTimerPoll; id <= kTimerChecks; ++id) timers_->stop(id);
    if (worker_) worker_->stop();
}

void CVCXScanDlg::ResetCounters() {
    acquisition_.Begin(acquisition_.kind());
    nListRows_ = nPollCount_ = 0;
    ScanViewShared& shared = scanShared();
    shared.passCount = shared.failCount = 0;
    shared.g_bScanRunning = false;
    failIds_.clear();
    const int a = c_.records.diagInfo.rows, b = c_.records.diagInfo.columns;
    pFailMask_.assign(size_t(a) * size_t(b), 0);
    clearRows();
    qvui::findControl<QLabel>(this, kIdPassCount)->setText(QStringLiteral("0"));
    qvui::findControl<QLabel>(this, kIdFailCount)->setText(QStringLiteral("0"));
    showStatus(kStatusNone);
    setButtons(0);
    setProgress(0);
    qvui::findControl(this, kIdProgress)->hide();
    relayout();
}

void CVCXScanDlg::SetRunState(int state) {
    // A running state is never replaced by another running state.
    if (state != 0 && nRunState_ != 0) return;
    nRunState_ = state;
    // The unattended run's verdict goes to the main window once, however the run ends.
    silentRun_ = startupState().options.optOS;
    qvui::findControl(this, kIdSelectFolder)->setEnabled(state == 0);
    qvui::findControl(this, kIdAutoSave)->setEnabled(state == 0);
    setProgress(0);
    showStatus(kStatusNone);
    clearRows();
    update();
    timers_->start(kTimerPoll, 500);
}

void CVCXScanDlg::Relayout(int sizeType) {
    if (!sizeRecorded_) {
        recordedSize_ = size();
        sizeRecorded_ = true;
        return;
    }
    QSize target = recordedSize_;
    if (sizeType == 2)
        if (QWidget* top = window(); top && top != this) {
            const QPoint origin = mapTo(top, QPoint(0, 0));
            target = QSize(std::max(top->width() - origin.x(), 0), std::max(top->height() - origin.y(), 0));
        }
    resize(target);
    relayout();
    update();
}

void CVCXScanDlg::OnBnClickedStart() {
    ScanViewShared& shared = scanShared();
    if (shared.g_bScanRunning) return;
    // A read requested before a Cancel is answered first, so it is not taken
    // for a frame of this run.
    waitForWorker();
    const DiagnosticInfo& info = c_.records.diagInfo;
    const int a = info.rows, b = info.columns;
    AllocDiagBuffers(s_, a, b, a * info.extraColumns);
    pFailMask_.assign(size_t(a) * size_t(b), 0);
    s_.g_FailMap.assign(size_t(a) * size_t(b), 0);
    acquisition_.Begin(openShortKind() ? ScanAcquisition::Kind::OpenShort : ScanAcquisition::Kind::ControlBoard);
    readFailures_ = 0;
    retryRead_ = false;
    judged_ = false;
    nPollCount_ = 0;
    shared.g_bScanRunning = true;
    s_.BaseFlatMax.fill(0);
    s_.BaseFlatCount.fill(0);
    s_.BaseFlatMaxLimit = 0;
    s_.BaseFlatFailModes = 0;
    showStatus(kStatusStart);
    setButtons(2);
    nListRows_ = 0;
    clearRows();
    setProgress(0);
    qvui::findControl(this, kIdProgress)->show();
    update();
    qvui::findControl<QPushButton>(this, kIdSave)->setText(qvui::loadString(1105));
    if (nRunState_ != 2) sendMain(qvui::WM_PAGE_STATE, 1, kTemplateDiagnostic);
    timers_->start(openShortKind() ? kTimerOpenShort : kTimerControlBoard, 10);
}

void CVCXScanDlg::OnBnClickedCancel() {
    for (int id = kTimerPoll; id <= kTimerChecks; ++id) timers_->stop(id);
    acquisition_.Cancel();
    if (nRunState_ != 2) sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDiagnostic);
    scanShared().g_bScanRunning = false;
    showStatus(kStatusCancel);
    // A cancel has no verdict; a controller left in a test mode is still said.
    addRestoreRows(acquisition_.restoreFailures());
    setButtons(1);
}

void CVCXScanDlg::DeviceGone() {
    for (int id = kTimerPoll; id <= kTimerChecks; ++id) timers_->stop(id);
    ScanViewShared& shared = scanShared();
    if (shared.g_bScanRunning) {
        shared.g_bScanRunning = false;
        if (nRunState_ != 2) sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDiagnostic);
        showStatus(kStatusCancel);
    }
    waitForWorker();
    nRunState_ = 0;
    setButtons(0);
    endSilentRun(false);
}

void CVCXScanDlg::MarkFailure(quint64 wParam, qint64 lParam) {
    if (!scanShared().g_bScanRunning) return;
    const int a = c_.records.diagInfo.rows, b = c_.records.diagInfo.columns;
    if (a <= 0 || b <= 0 || pFailMask_.size() != size_t(a) * size_t(b)) return;
    const auto mark = [&](qint64 r, qint64 c) { pFailMask_[size_t(r) * size_t(b) + size_t(c)] = 1; };
    if (wParam < 241) {
        if (qint64(wParam) < a && lParam >= 0 && lParam < b) mark(qint64(wParam), lParam);
    } else if (wParam == 255) {
        if (lParam >= 0 && lParam < b)
            for (int r = 0; r < a; ++r) mark(r, lParam);
    } else if (wParam == 254) {
        if (lParam >= 0 && lParam < a)
            for (int c = 0; c < b; ++c) mark(lParam, c);
    } else if (wParam == 253) {
        std::fill(pFailMask_.begin(), pFailMask_.end(), 1);
    }
}

// ---- timers ------------------------------------------------------------------------------------

void CVCXScanDlg::onTimer(int id) {
    switch (id) {
    case kTimerPoll: onPoll(); break;
    case kTimerProcessDone: onProcessDone(); break;
    case kTimerPageDone: onPageDone(); break;
    case kTimerGoldenDone: onGoldenDone(); break;
    case kTimerOpenShort: onOpenShortTimer(); break;
    case kTimerControlBoard: onControlBoardTimer(); break;
    case kTimerChecks: onChecks(); break;
    default: timers_->stop(id); break;
    }
}

void CVCXScanDlg::onPoll() {
    if (!acquisition_.PanelReady() && nPollCount_ < kMaxPolls) {
        ++nPollCount_;
        return;
    }
    nPollCount_ = kMaxPolls;
    timers_->stop(kTimerPoll);
    setButtons(1);
    if (startupState().pdLineState == 1 || nRunState_ != 0 || startupState().options.optOS) OnBnClickedStart();
}

void CVCXScanDlg::onOpenShortTimer() {
    timers_->stop(kTimerOpenShort);
    readNext();
}

void CVCXScanDlg::onControlBoardTimer() {
    timers_->stop(kTimerControlBoard);
    readNext();
}

void CVCXScanDlg::readNext() {
    if (retryRead_) {
        retryRead_ = false;
        request(lastRequest_, lastKind_);
        return;
    }
    const ScanAcquisition::Read next = acquisition_.Next();
    if (next.checks)
        timers_->start(kTimerChecks, 10);
    else
        request(next.request, next.kind);
}

void CVCXScanDlg::request(DiagDataWorker::Request r, uint8_t kind) {
    lastRequest_ = r;
    lastKind_ = kind;
    if (worker_ && worker_->request(r, kind)) ++inFlight_;
}

void CVCXScanDlg::waitForWorker() {
    // Every request is answered by one delivery, also when the read fails (the
    // device is gone); a stopped worker delivers nothing more. The delivery is a
    // posted call: only posted events run while waiting, so no timer of this or
    // another window fires in the middle of a removal or a start. The deadline
    // only guards against a worker that hangs inside the library.
    QDeadlineTimer deadline(30000);
    while (inFlight_ > 0 && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents();
        if (inFlight_ > 0) QThread::msleep(1);
    }
    inFlight_ = 0;
}

void CVCXScanDlg::OnFrame() {
    if (inFlight_ > 0) --inFlight_;
    // A frame that arrives after Cancel or a removal belongs to no run.
    if (!scanShared().g_bScanRunning) return;
    // A frame that was not read leaves the previous one in the array: it is
    // read again, and never taken for the frame of this number.
    if (!worker_ || !worker_->lastReadSucceeded()) {
        if (++readFailures_ < kFrameReadAttempts) {
            // The same read again at the acquisition timer's next tick, as the transport retries after 10 ms.
            retryRead_ = true;
            timers_->start(openShortKind() ? kTimerOpenShort : kTimerControlBoard, 10);
        } else {
            failUnread();
        }
        return;
    }
    readFailures_ = 0;
    const int before = acquisition_.frame();
    const ScanAcquisition::After after = acquisition_.FrameArrived();
    if (acquisition_.frame() != before) setProgress(acquisition_.frame());
    if (after.checks)
        timers_->start(kTimerChecks, after.delayMs);
    else
        timers_->start(openShortKind() ? kTimerOpenShort : kTimerControlBoard, after.delayMs);
}

void CVCXScanDlg::onChecks() {
    timers_->stop(kTimerChecks);
    acquisition_.Finish();
    bool pass = RunScanChecks(nRunState_, c_, s_);
    if (!pass)
        for (int i = 0; i < kFailBitCount; ++i)
            if (s_.g_wFailBits & (1u << i)) {
                addRow(qvui::loadString(uint32_t(kFailTextFirstId + i)));
                if (failIds_.size() < size_t(kFailBitCount)) failIds_.push_back(kFailTextFirstId + i);
            }
    // A controller left under a test pattern or in diagnostic mode is no pass.
    const uint8_t restore = acquisition_.restoreFailures();
    addRestoreRows(restore);
    if (restore) pass = s_.g_bScanPass = false;
    endRun(pass, true);
}

void CVCXScanDlg::failUnread() {
    // The frames are incomplete: nothing is judged, the controller is brought
    // back to normal scanning, and the run fails naming the frame.
    for (int id : {kTimerOpenShort, kTimerControlBoard, kTimerChecks}) timers_->stop(id);
    addRow(QString::fromLatin1(kTextFrameReadFail).arg(acquisition_.frame()));
    acquisition_.Cancel();
    addRestoreRows(acquisition_.restoreFailures());
    s_.g_wFailBits = 0;
    s_.g_bScanPass = false;
    endRun(false, false);
}

void CVCXScanDlg::addRestoreRows(uint8_t failures) {
    const struct {
        uint8_t bit;
        const char* text;
        const char16_t* log;
    } rows[] = {
        {ScanAcquisition::kRestorePattern, kTextPatternOffFail, u"\rCVCXScanDlg: test pattern off failed\r"},
        {ScanAcquisition::kRestoreDiagnosticMode, kTextDiagnosticModeOffFail,
         u"\rCVCXScanDlg: leaving diagnostic mode failed\r"},
    };
    for (const auto& r : rows)
        if (failures & r.bit) {
            addRow(QString::fromLatin1(r.text));
            writeCommandLog(c_, r.log);
        }
}

void CVCXScanDlg::endSilentRun(bool pass) {
    if (!silentRun_) return;
    silentRun_ = false;
    postMain(qvui::WM_SILENT_RESULT, 0, pass ? 1 : 0);
}

void CVCXScanDlg::endRun(bool pass, bool judged) {
    judged_ = judged;
    setProgress(kProgressEnd);
    scanShared().g_bScanRunning = false;
    ShowResult();
    if (nRunState_ != 2) sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDiagnostic);
    if (!productionLine()) {
        switch (nRunState_) {
        case 1:
        case 3:
        case 4: timers_->start(kTimerProcessDone, 10); break;
        case 2: timers_->start(kTimerPageDone, 10); break;
        case 5:
        case 6: timers_->start(kTimerGoldenDone, 10); break;
        default:
            if (qvui::findControl<QCheckBox>(this, kIdAutoSave)->isChecked()) Save();
            break;
        }
    } else {
        Save();
    }
    endSilentRun(pass);
}

void CVCXScanDlg::ShowResult() {
    ScanViewShared& shared = scanShared();
    if (s_.g_bScanPass) {
        ++shared.passCount;
        qvui::findControl<QLabel>(this, kIdPassCount)->setText(QString::number(shared.passCount));
        showStatus(kStatusPass);
        addRow(QStringLiteral("PASS"));
    } else {
        ++shared.failCount;
        qvui::findControl<QLabel>(this, kIdFailCount)->setText(QString::number(shared.failCount));
        showStatus(kStatusFail);
    }
    setButtons(3);
    update();
}

void CVCXScanDlg::onProcessDone() {
    timers_->stop(kTimerProcessDone);
    // The scan is over: the "Do not touch panel" banner goes.
    if (processPage().hideBanner) processPage().hideBanner();
    const int state = nRunState_;
    const ScanViewShared& shared = scanShared();
    const ReportContext r = ScanReportContext(c_);
    if (state == 1)
        WriteOpenShortProcessReport(shared.processReportFolder, r, s_, pictureWindow(), shared.serialNumber);
    else
        WriteDiagnosticProcessReport(shared.processReportFolder, state, r, s_, pictureWindow(), shared.serialNumber);
    nRunState_ = 0;
    postMain(qvui::WM_PROCESS_STEP, s_.g_bScanPass ? 1 : 2, state == 1 ? 2 : 7);
}

void CVCXScanDlg::onPageDone() {
    timers_->stop(kTimerPageDone);
    nRunState_ = 0;
    const std::string& log = scanShared().debugLogPath;
    if (!log.empty()) AppendOpenShortResult(log, ScanReportContext(c_), s_, pictureWindow());
    setButtons(4);
    sendMain(qvui::WM_DEBUG_COMMAND, 11, 1);
}

void CVCXScanDlg::onGoldenDone() {
    timers_->stop(kTimerGoldenDone);
    nRunState_ = 0;
    // A run whose frames were not all read gives no golden sample, whatever the answer.
    bool write = s_.g_bScanPass;
    if (!write && judged_)
        write = qvui::showMessageBox(this, QStringLiteral("Sorry! Some problems on this panel.\n\nIgnore and keep on?"),
                                     QStringLiteral("Golden Sample"), qvui::MessageIcon::Warning,
                                     qvui::MessageButtons::OkCancel,
                                     qvui::MessageAnswer::Cancel) == qvui::MessageAnswer::Ok;
    if (write) CreateGoldenSampleFiles(GoldenSampleDeviceOf(c_, programState()), s_);
    sendMain(qvui::WM_DEBUG_COMMAND, 13, 0);
}

// ---- saving ------------------------------------------------------------------------------------

ReportContext ScanReportContext(const Controller& c) {
    ReportContext r;
    r.device = ReportDeviceOf(c);
    const ScanViewShared& shared = scanShared();
    r.times = shared.times;
    r.batch1 = shared.g_strBatch1;
    r.batch2 = shared.g_strBatch2;
    r.rows = c.records.diagInfo.rows;
    r.columns = c.records.diagInfo.columns;
    r.extraColumns = c.records.diagInfo.extraColumns;
    return r;
}

QWidget* CVCXScanDlg::pictureWindow() {
    if (auto* w = qobject_cast<QWidget*>(mainWindow())) return w;
    return window();
}

bool CVCXScanDlg::productionLine() const { return startupState().pdLineState != 0; }

void CVCXScanDlg::Save() {
    if (nRunState_ != 0) return;
    ScanViewShared& shared = scanShared();
    if (productionLine() && shared.autoNumbering) {
        ++shared.runCounter;
        shared.times = TakeTimeTexts();
        shared.g_strBatch1 = std::to_string(shared.runCounter);
        shared.g_strBatch2.clear();
    } else {
        CLogDlg log(c_.dev.modelName, s_.AutoSaveBarcode != 0, shared.needBatch2, this);
        if (qvui::execDialog(log) != QDialog::Accepted) return;
        shared.times = log.times();
    }
    const QString folder =
        QDir::cleanPath(shared.resultFolder) + (s_.g_bScanPass ? QStringLiteral("/TestPass/") : QStringLiteral("/TestFail/"));
    auto* save = qvui::findControl<QPushButton>(this, kIdSave);
    save->setText(qvui::loadString(1106));
    const ReportContext r = ScanReportContext(c_);
    const std::string where = QFile::encodeName(folder).toStdString();
    bool written = QDir().mkpath(folder) && WriteScanReport(where, r, s_);
    if (written) {
        const QString picture = QString::fromStdString(BuildPngName(where, r, SaveSuffix(r)));
        written = SaveWindowPicture(pictureWindow(), picture);
    }
    if (written) {
        setButtons(4);
        save->setText(qvui::loadString(1107));
    } else {
        // Nothing claims a save that did not happen: the button stays as it was.
        save->setText(qvui::loadString(1105));
        addRow(QStringLiteral("Cannot write %1").arg(folder));
    }
    if (productionLine()) {
        startupState().pdLineState = 0xFFFF;
        const QString title = QString::fromLatin1(kProductionLineTitle);
        if (qvui::findWindow(title))
            qvui::sendWindowMessage(title, qvui::WM_PRODUCTION_LINE, 0x1000, s_.g_bScanPass ? 0x8000 : 0x8080);
    }
}

void CVCXScanDlg::OnBnClickedSelectFolder() {
    QString folder = scanShared().resultFolder;
    if (BrowseForFolder(qvui::loadString(1108), this, folder)) scanShared().resultFolder = folder;
}

// ---- controls and painting ---------------------------------------------------------------------

void CVCXScanDlg::setButtons(int state) {
    if (nRunState_ != 0) state = 5;
    buttonsState_ = state;
    const std::array<bool, 4> e = ButtonsEnabled(state, nRunState_, productionLine());
    const int ids[4] = {kIdStart, kIdCancel, kIdSave, kIdSelectFolder};
    for (int i = 0; i < 4; ++i) qvui::findControl(this, ids[i])->setEnabled(e[size_t(i)]);
}

void CVCXScanDlg::showStatus(Status s) {
    status_ = s;
    for (int i = 0; i < 4; ++i) qvui::findControl(this, kIdFirstStatus + i)->setVisible(i == int(s));
}

void CVCXScanDlg::addRow(const QString& text) {
    qvui::findControl<QListWidget>(this, kIdList)->addItem(text);
    ++nListRows_;
}

void CVCXScanDlg::clearRows() {
    qvui::findControl<QListWidget>(this, kIdList)->clear();
    nListRows_ = 0;
}

QStringList CVCXScanDlg::listRows() const {
    QStringList rows;
    auto* list = qvui::findControl<QListWidget>(this, kIdList);
    for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
    return rows;
}

void CVCXScanDlg::setProgress(int value) { qvui::findControl<QProgressBar>(this, kIdProgress)->setValue(value); }
int CVCXScanDlg::progress() const { return qvui::findControl<QProgressBar>(this, kIdProgress)->value(); }

QObject* CVCXScanDlg::mainWindow() const { return ViewMainWindow(this, main_); }

void CVCXScanDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

void CVCXScanDlg::postMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::postMessage(w, message, wParam, lParam);
}

bool CVCXScanDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_TIMER: onTimer(int(m->wParam())); return true;
        case qvui::WM_SCAN_DATA_READY: OnFrame(); return true;
        case qvui::WM_BUILD_PROGRESS: MarkFailure(m->wParam(), m->lParam()); return true;
        default: break;
        }
    }
    if (e->type() == QEvent::Resize) relayout();
    return QWidget::event(e);
}

void CVCXScanDlg::paintEvent(QPaintEvent*) {
    const DiagnosticInfo& info = c_.records.diagInfo;
    const SensorGrid g = LayoutSensorGrid(scanShared().g_nCellSize, layout_.origin, layout_.label, info.rows,
                                          info.columns, s_.g_PanelFlags);
    if (g.cell == 0) return;
    QPainter p(this);
    p.setPen(QPen(colorRefOf(kGreenPen), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(g.frame);
    p.setPen(QPen(colorRefOf(kGreyPen), 0));
    for (const GridLine& l : g.lines) p.drawLine(l.from, l.to);
    p.setPen(QPen(colorRefOf(kDarkPen), 2));
    for (const GridLine& l : g.fifthLines) p.drawLine(l.from, l.to);
    for (const GridLabel& l : g.labels)
        p.drawText(l.box, Qt::AlignCenter | Qt::TextSingleLine, QString::asprintf("%02d", l.number));
    // A node too small for an outlined circle is a dot of its own colour: green, or red when it failed.
    const bool dots = g.radius < 3;
    for (size_t i = 0; i < g.nodes.size(); ++i) {
        const bool failed = i < pFailMask_.size() && pFailMask_[i] == 1;
        p.setPen(QPen(colorRefOf(dots && failed ? kRedBrush : kGreenPen), 0));
        p.setBrush(colorRefOf(failed ? kRedBrush : dots ? kGreenPen : kWhiteBrush));
        p.drawEllipse(g.nodes[i], g.radius, g.radius);
    }
}

}  // namespace vcx
