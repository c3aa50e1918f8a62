#include "pages/debug_dlg.h"

#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/strings.h"
#include "diag/noise_log_dlg.h"
#include "pages/echo_dlg.h"
#include "pages/event_halt_dlg.h"
#include "pages/para_list_dlg.h"
#include "pages/send_cmd_dlg.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

namespace vcx {

namespace {

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

} // namespace

CQVDebugDlg::CQVDebugDlg(Controller& c, QWidget* parent)
    : CQVChdParentDlg(kTemplate, parent), c_(c),
      log_(c, [this](int code, qint64 value) { sendMain(qvui::WM_DEBUG_COMMAND, quint64(code), value); }) {
    addProgramStrings();
    timers_ = new qvui::WindowTimers(this);
    const char* const texts[] = {"Echo", "Parameter List", "Send\nCommand", "Memory Dump"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QPushButton(QLatin1String(texts[i]), this);
        qvui::setControlId(b, kIdEcho + i);
        buttons_[size_t(i)] = b;
        connect(b, &QPushButton::clicked, this, [this, i] {
            if (i == 3)
                WriteMemoryDump();
            else
                SelectTool(i);
        });
    }
    echo_ = new CQVEchoDlg(c_, this);
    paraList_ = new CQVParaListDlg(c_, this);
    sendCmd_ = new CQVSendCmdDlg(c_, this);
    eventHalt_ = new CQVEventHaltDlg(c_, this);
    tools_ = {echo_, paraList_, sendCmd_, eventHalt_};
    noiseLog_ = new CQVLogNoiseInfo(c_, this);
    // The noise log's file starts with the first part of a device log.
    noiseLog_->SetHeaderWriter([this](qvtext::TextWriter& w) { log_.WriteLogDeviceInterface(w, 2); });
    // The touch callback forwards contacts while the noise log follows the operator's finger.
    programHooks().touchEcho = [] { return NoiseLogTouchForward().load(); };
    programHooks().engineerModeChanged.join(this, [this] { ShowToolsForMode(); });
    initDialog();
}

CQVDebugDlg::~CQVDebugDlg() {
    programHooks().engineerModeChanged.leave(this);
    noiseLog_->StopNoiseLog();
    timers_->stop(kTimerLog);
    log_.close();
}

QObject* CQVDebugDlg::mainWindow() const {
    if (main_) return main_;
    QWidget* top = window();
    return top != this ? top : nullptr;
}

void CQVDebugDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

void CQVDebugDlg::setMainWindow(QObject* window) {
    main_ = window;
    echo_->setMainWindow(window);
    paraList_->setMainWindow(window);
    sendCmd_->setMainWindow(window);
    eventHalt_->setMainWindow(window);
    noiseLog_->SetMainWindow(window);
}

void CQVDebugDlg::setButtonFont(const QFont& font) {
    for (QPushButton* b : buttons_) b->setFont(font);
    eventHalt_->setButtonFont(font);
}

void CQVDebugDlg::InitDlgItem() {
    const int s = programState().screenScale;
    // The buttons down the left, the tools in one place beside them, hidden.
    for (int i = 0; i < 4; ++i) buttons_[size_t(i)]->setGeometry(10 * s / 100, (10 + 60 * i) * s / 100, 110 * s / 100, 50 * s / 100);
    const QRect place(kToolX * s / 100, kToolY * s / 100, kToolWidth * s / 100, kToolHeight * s / 100);
    for (QWidget* t : tools_) {
        if (!t) continue;
        t->setGeometry(place);
        t->hide();
    }
    // The page area the main window lays out holds the tools even while this page is hidden.
    setMinimumSize(place.right() + 1, place.bottom() + 1);
    QSizePolicy policy = sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    setSizePolicy(policy);
    log_.startSteps();
}

void CQVDebugDlg::takeSettingsOnce() {
    // The page is made before the main window loads the settings.
    if (settingsTaken_) return;
    settingsTaken_ = true;
    toolIndex_ = std::clamp(int(appSettings().debugIdx), 0, kToolCount - 1);
}

bool CQVDebugDlg::ParameterListShown() const {
    return programState().engineerMode && toolIndex_ == kToolParameterList;
}

void CQVDebugDlg::releaseParameterLock() {
    if (!programState().parameterLockOn) return;
    if (c_.records.paraFuncTable.ParameterUpdateLock) c_.records.paraFuncTable.ParameterUpdateLock(c_.dev.device, 0);
    programState().parameterLockOn = false;
}

void CQVDebugDlg::ExitDlg() {
    echo_->hide();
    echo_->StopEcho();
    releaseParameterLock();
    noiseLog_->StopNoiseLog();
    noiseLog_->close();
    appSettings().debugIdx = toolIndex_;
}

void CQVDebugDlg::ClearDlgItem() {
    takeSettingsOnce();
    for (QPushButton* b : buttons_) b->setEnabled(false);
    log_.freeFrames();
    eventHalt_->hide();
    sendCmd_->hide();
    sendCmd_->DeviceRemoved();
    noiseLog_->StopNoiseLog();
    paraList_->hide();
    paraList_->HideCells();
    echo_->hide();
    echo_->StopEcho();
}

void CQVDebugDlg::UpdateDlgItem() {
    takeSettingsOnce();
    for (QPushButton* b : buttons_) b->setEnabled(true);
    log_.allocateFrames(c_.records.newRawArray.whole ? c_.records.newRawArray.wholeCount : 0);
    ShowToolsForMode();
}

void CQVDebugDlg::ShowToolsForMode() {
    if (!programState().engineerMode) {
        for (QPushButton* b : buttons_) b->hide();
        for (QWidget* t : tools_)
            if (t) t->hide();
        return;
    }
    for (QPushButton* b : buttons_) b->show();
    eventHalt_->RefreshControls();
    paraList_->RefreshPage();
    sendCmd_->Refresh();
    echo_->FillSlaveList();
    if (toolIndex_ == kToolEventHalt && !c_.records.debug.valid) toolIndex_ = kToolEcho;
    SelectTool(toolIndex_);
}

void CQVDebugDlg::SelectTool(int index) {
    if (index < 0 || index >= kToolCount) return;
    const int old = toolIndex_;
    for (int i = 0; i < kToolCount; ++i)
        if (tools_[size_t(i)]) tools_[size_t(i)]->setVisible(i == index);
    toolIndex_ = index;
    if (old == kToolParameterList && index != kToolParameterList) {
        releaseParameterLock();
        if (paraList_->changedMark()) {
            paraList_->setChangedMark(false);
            sendMain(qvui::WM_DEBUG_COMMAND, 6, 0);
        }
    }
    if (index != kToolParameterList) return;
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (!programState().parameterLockOn && t.ParameterUpdateLock) {
        t.ParameterUpdateLock(c_.dev.device, 1);
        programState().parameterLockOn = true;
    }
    paraList_->setChangedMark(false);
    StateFlagEx& state = c_.records.stateFlagEx;
    state.size = sizeof state;
    if (!c_.api.GetParameterList || !c_.api.GetParameterList(c_.dev.device, &c_.records.paraList)) return;
    if (!c_.api.GetStateFlagEx || !c_.api.GetStateFlagEx(c_.dev.device, &state)) return;
    paraList_->RefreshPage();
}

void CQVDebugDlg::OnToolbarAction(qint64 action) {
    switch (action) {
    case 0: ConfirmResetTouchPanel(); break;
    case 1:
        log_.startedByNoiseLog = true;
        noiseLog_->StartNoiseLog();
        break;
    case 3: SelectTool(kToolEventHalt); break;
    default: break;
    }
}

void CQVDebugDlg::ConfirmResetTouchPanel() {
    if (qvui::showMessageBox(this, qvui::loadString(766), qvui::loadString(765), qvui::MessageIcon::None,
                             qvui::MessageButtons::YesNo) == qvui::MessageAnswer::Yes)
        sendMain(qvui::WM_DEBUG_COMMAND, 0, 0);
}

void CQVDebugDlg::failedBox() {
    const QString text = QStringLiteral("Log Firmware File Failed.");
    qvui::showMessageBox(this, text, text, qvui::MessageIcon::Error);
}

bool CQVDebugDlg::openMemoryDump(qvtext::TextWriter& w, const QString& path) {
    while (!w.open(local(path).c_str(), qvtext::TextWriter::Mode::Append)) {
        if (qvui::showMessageBox(this, QStringLiteral("Please close log file and retry."),
                                 QStringLiteral("Open Memory Dump Log File Failed."), qvui::MessageIcon::None,
                                 qvui::MessageButtons::RetryCancel) != qvui::MessageAnswer::Retry)
            return false;
    }
    return true;
}

void CQVDebugDlg::WriteMemoryDump() {
    if (!programState().engineerMode) return;
    // The dump goes on only when the controller refuses this form.
    uint32_t out = 0;
    if (SendCmdE7(c_, 0xFF, 0, &out)) return;
    QString& path = programState().toolPaths[kDbgMDFolder];
    const QString start = path.isEmpty() ? workingFolders()[kDbgMDFolder] : path;
    const QString chosen = qvui::chooseSaveFile(this, QStringLiteral("Quorvane Firmware Memory Dump"), start,
                                                QStringLiteral("Quorvane Firmware Memory Dump (*.log)"));
    if (chosen.isEmpty()) return;
    qvtext::TextWriter w;
    if (!w.open(local(chosen).c_str(), qvtext::TextWriter::Mode::Append)) {
        failedBox();
        return;
    }
    path = chosen;
    workingFolders()[kDbgMDFolder] = folderOf(chosen);
    sendMain(qvui::WM_DEBUG_COMMAND, 1, 0);
    log_.WriteLogICRegisters(w);
    sendMain(qvui::WM_DEBUG_COMMAND, 1, 0xFFFF);
    w.close();
}

void CQVDebugDlg::StartDeviceLog(int kind) {
    log_.startedByNoiseLog = false;
    touchAndHalt_ = false;
    QString path;
    if (kind == 1) {
        log_.forSystemReference = true;
        path = programState().toolPaths[kDiagSRFolder];
    } else {
        path = workingFolders()[kDbgLogFolder] + u'/' + c_.dev.modelName + QStringLiteral(" Firmware Information.csv");
    }
    if (path.isEmpty() || !log_.open(local(path))) {
        log_.forSystemReference = false;
        failedBox();
        return;
    }
    sendMain(qvui::WM_DEBUG_COMMAND, quint64(log_.progressCode()), 0);
    log_.WriteLogDeviceInterface(0);
    log_.startSteps();
    timers_->start(kTimerLog, 100);
}

void CQVDebugDlg::releaseEventHalt() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    uint8_t kind = 0;
    if (!t.GetEventHalt || !t.GetEventHalt(c_.dev.device, &kind) || kind == 0) return;
    if (!programState().engineerMode) sendMain(qvui::WM_DEBUG_COMMAND, 12, 0);
    if (c_.records.diagInfo.capability[3] < 0x20) {
        if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(c_.dev.device, 1);
    } else if (c_.api.EnterDiagnosticMode) {
        c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    }
    if (t.ClearEventHalt) t.ClearEventHalt(c_.dev.device);
}

void CQVDebugDlg::LogCurrentDeviceInformation() {
    const int kind = touchAndHalt_ ? 1 : 0;
    touchAndHalt_ = false;
    log_.startedByNoiseLog = false;
    QString& infoPath = programState().toolPaths[kDbgLogFolder];
    QString& folder = workingFolders()[kDbgLogFolder];
    QString path;
    if (kind == 0) {
        path = qvui::chooseSaveFile(this, QStringLiteral("Quorvane Firmware Information"),
                                    infoPath.isEmpty() ? folder : infoPath,
                                    QStringLiteral("Quorvane Firmware Information (*.csv)"));
        if (path.isEmpty()) {
            releaseEventHalt();
            return;
        }
    } else {
        const qvtext::LocalTime t = qvtext::localTimeNow();
        path = folder + u'/' + masterVersionText(c_.records.fwVersion) +
               QString::asprintf("%d_%02d_%02d_%02d_%02d_%02d_Touch and Halt.csv", t.year, t.month, t.day, t.hour,
                                 t.minute, t.second);
    }
    {
        qvtext::TextWriter test(local(path).c_str(), qvtext::TextWriter::Mode::Append);
        if (!test.isOpen()) {
            failedBox();
            return;
        }
    }
    folder = folderOf(path);
    if (kind == 0) infoPath = path;
    log_.readFrequencies();
    sendMain(qvui::WM_DEBUG_COMMAND, 1, 0);

    uint32_t out = 0;
    if (programState().engineerMode && !SendCmdE7(c_, 0, 0, &out)) {
        qvtext::TextWriter dump;
        if (!openMemoryDump(dump, folder + u'/' + c_.dev.modelName + QStringLiteral(" Memory Dump.log"))) {
            sendMain(qvui::WM_DEBUG_COMMAND, quint64(log_.progressCode()), 0xFFFE);
            return;
        }
        log_.WriteLogICRegisters(dump);
    }

    log_.clearHaltKind();
    if (!log_.open(local(path))) {
        failedBox();
        // The progress that started above ends, so the main window does not stay busy.
        sendMain(qvui::WM_DEBUG_COMMAND, quint64(log_.progressCode()), 0xFFFE);
        return;
    }
    log_.WriteLogDeviceInterface(kind);
    if (log_.haltKind()) {
        if (!programState().engineerMode) sendMain(qvui::WM_DEBUG_COMMAND, 12, 0);
        if (c_.records.paraFuncTable.ClearEventHalt) c_.records.paraFuncTable.ClearEventHalt(c_.dev.device);
    }
    log_.startSteps();
    timers_->start(kTimerLog, 100);
}

void CQVDebugDlg::OnDebugCommand(int code, qint64 value) {
    switch (code) {
    case 0: ConfirmResetTouchPanel(); break;
    case 1: LogCurrentDeviceInformation(); break;
    case 4:
        if (value == 256) {
            touchAndHalt_ = true;
            LogCurrentDeviceInformation();
        }
        break;
    case 5: qvui::sendMessage(noiseLog_, qvui::WM_DEBUG_COMMAND, 5, value); break;
    case 6: StartDeviceLog(int(value)); break;
    case 8:
        // The frames follow the noise log's blocks in its file.
        if (!noiseLog_->logPath().isEmpty()) log_.setPath(local(noiseLog_->logPath()));
        if (!log_.open(log_.path())) {
            failedBox();
            break;
        }
        if (value == 1) {
            if (c_.records.diagInfo.capability[3] == 0) {
                if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(c_.dev.device, 0);
            } else if (c_.api.EnterDiagnosticMode) {
                c_.api.EnterDiagnosticMode(c_.dev.device, 1);
            }
        }
        sendMain(qvui::WM_DEBUG_COMMAND, 1, 0);
        log_.startSteps();
        timers_->start(kTimerLog, 100);
        break;
    case 11:
        if (value != 1) break;
        // The open/short part of a log the noise log started is over: the steps go on.
        if (!log_.resumeAfterOpenShort()) {
            failedBox();
            break;
        }
        if (c_.records.diagInfo.capability[3] != 0 && c_.api.EnterDiagnosticMode)
            c_.api.EnterDiagnosticMode(c_.dev.device, 1);
        timers_->start(kTimerLog, 100);
        break;
    case 12: SelectTool(kToolParameterList); break;
    default: break;
    }
}

bool CQVDebugDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_TIMER:
            if (m->wParam() == quint64(kTimerLog)) {
                timers_->stop(kTimerLog);
                if (log_.LogStep()) timers_->start(kTimerLog, 100);
            }
            return true;
        case qvui::WM_TOOLBAR_ACTION:
            OnToolbarAction(m->lParam());
            return true;
        case qvui::WM_DEBUG_COMMAND:
            OnDebugCommand(int(m->wParam()), m->lParam());
            return true;
        default:
            break;
        }
    }
    return CQVChdParentDlg::event(e);
}

} // namespace vcx
