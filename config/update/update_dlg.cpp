// The Field Update page and its state machine. Every step is run from a
// numbered page timer (10 ms unless the step says otherwise) or chained at once
// by the step before it; the step table names each step's number, its log name
// and its handler. The machine always ends in FinishUpdate, which returns the
// page to state 11 and tells the main window it is idle.

#include "update/update_dlg.h"

#include "update/boot_commands.h"
#include "update/update_rules.h"
#include "params/firmware_file.h"
#include "params/package_builder.h"
#include "core/pictures.h"
#include "core/strings.h"
#include "core/controller_api.h"
#include "core/device_finder.h"
#include "core/main_ids.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/process_items.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include <cstdio>
#include <cstring>
#include <optional>

namespace vcx {

namespace {

constexpr int kPageTimerBlocks = 1, kPageTimerReconnect = 2, kPageTimerSerial = 3, kPageTimerParameterWait = 4;
constexpr int kMainButtonLoad = 420, kMainButtonUpdate = 421, kMainButtonCombine = 422;

// The page's texts (string ids): the results, and the test-version question.
enum : uint32_t {
    kTextF0Failed = 1310, kTextF4Failed = 1311, kTextFFFailed = 1312, kTextD2Failed = 1313, kTextD3Failed = 1314,
    kTextD4Failed = 1315, kTextNotMatch = 1316, kTextOldBoot = 1317, kTextNoBoot = 1318, kTextNoNewFormat = 1319,
    kTextIncompatible = 1320, kTextWriteD0 = 1321, kTextWriteD1 = 1322, kTextParaFailed = 1323,
    kTextParaTimeout = 1324, kTextCompareCrc = 1325, kTextCalcCrc = 1326, kTextEraseKeys = 1327,
    kTextKeysFailed = 1328, kTextLoadKeys = 1329, kTextStopTest = 1330, kTextTestVersionQuestion = 1331,
    kTextVersionCheck = 1332, kTextFirmwareTimeout = 1333, kTextFirmwareFailed = 1334, kTextUnlockFailed = 1335,
    kTextFindBoot = 1350, kTextPrograming = 1351, kTextProgramFinish = 1352, kTextUpdatePara = 1353,
    kTextParaReset = 1354, kTextFactory = 1355, kTextFactoryReset = 1356, kTextParaComplete = 1357,
    kTextFactoryComplete = 1358, kTextUpdateKeys = 1359, kTextKeysComplete = 1360, kTextResult = 1362,
    kTextNoFile = 1363, kTextFile = 1364, kTextParaCrc = 1368, kTextKeyCrc = 1370,
};

uint32_t tick(Controller& c) { return c.platformTickCount ? c.platformTickCount() : 0; }

// The texts that name why an update failed.
bool namesAFailure(uint32_t id) { return id >= kTextF0Failed && id <= kTextUnlockFailed && id != kTextTestVersionQuestion; }

// Whether an entry's version text carries a build tail (header bytes 18, 19).
bool hasBuild(const LoadedFirmwareSection& e) { return e.build[0] != 0 || e.build[1] != 0; }

QString masterText(const Controller& c) { return wideField(c.records.fwVersion.master, 50); }
QString slaveText(const Controller& c, int k) { return wideField(c.records.fwVersion.slave[k], 50); }

// The package's virtual-key content: a count, or a first entry whose second
// corner lies beyond its first in both coordinates.
bool tableHasContent(const VButtonTable& t) {
    if (t.usedCount != 0) return true;
    const uint8_t* e = t.entry[0];
    const uint16_t x1 = uint16_t(e[0] | e[1] << 8), y1 = uint16_t(e[2] | e[3] << 8);
    const uint16_t x2 = uint16_t(e[4] | e[5] << 8), y2 = uint16_t(e[6] | e[7] << 8);
    return x2 > x1 && y2 > y1;
}

} // namespace

bool VersionMatches(const QString& controllerText, const QString& entryText, bool entryHasBuild) {
    // A boot loader's text ("QV6020A.2.5 (Boot)") names no running firmware.
    if (!controllerText.startsWith(QLatin1String("QV")) || entryText.isEmpty() ||
        controllerText.contains(QLatin1String("(Boot)")))
        return false;
    QString running = controllerText.mid(2);
    if (int blank = running.indexOf(u' '); blank >= 0) running.truncate(blank);
    if (running == entryText) return true;
    // An entry without a build tail ("6020A.2.7") names the build ".0".
    return !entryHasBuild && running == entryText + QLatin1String(".0");
}

CQVUpdateDlg::CQVUpdateDlg(Controller& c, LoadedFirmware& fw, QWidget* parent)
    : CQVChdParentDlg(kTemplate, parent), c_(c), fw_(fw) {
    addProgramStrings();
    timers_ = new qvui::WindowTimers(this);
    auto* grid = new QGridLayout(this);
    auto label = [&](int id, int row) {
        auto* l = new QLabel(this);
        qvui::setControlId(l, id);
        grid->addWidget(l, row, 0, 1, 2);
        return l;
    };
    file_ = label(kIdFile, 0);
    file2_ = label(kIdFile2, 1);
    paraCrc_ = label(kIdParaCrc, 2);
    keyCrc_ = label(kIdKeyCrc, 3);
    auto box = [&](int id, const char* text, int row) {
        auto* b = new QCheckBox(QString::fromLatin1(text), this);
        qvui::setControlId(b, id);
        grid->addWidget(b, row, 0, 1, 2);
        return b;
    };
    factory_ = box(kIdFactory, "Write Factory Default Parameters", 4);
    hostPanel_ = box(kIdHostPanel, "With Host Interface / Panel Parameters", 5);
    keys_ = box(kIdVirtualKeys, "With Virtual Key Data", 6);
    progress_ = new QProgressBar(this);
    qvui::setControlId(progress_, kIdProgress);
    grid->addWidget(progress_, 7, 0, 1, 2);
    result_ = label(kIdResult, 8);
    picture_ = new QLabel(this);
    qvui::setControlId(picture_, kIdPicture);
    grid->addWidget(picture_, 9, 0);
    connect(factory_, &QCheckBox::clicked, this, [this] { onFactoryClicked(); });

    programHooks().updateResumeAfterArrival = [this] { ResumeAfterArrival(); };
    programHooks().updateStartWithFile = [this](const QString& f) { StartFromCommandLine(f); };
    initDialog();
}

CQVUpdateDlg::~CQVUpdateDlg() {
    programHooks().updateResumeAfterArrival = nullptr;
    programHooks().updateStartWithFile = nullptr;
}

QString CQVUpdateDlg::resultText() const { return result_->text(); }
bool CQVUpdateDlg::resultShown() const { return !picture_->isHidden(); }

bool CQVUpdateDlg::ostra() const { return c_.dev.ostraModel; }
bool CQVUpdateDlg::masterInBoot() const { return c_.records.fwVersion.masterInBoot != 0; }
bool CQVUpdateDlg::paraLoaded() const { return fileLoaded_ && fw_.PfpPara.present != 0; }
bool CQVUpdateDlg::packageHasKeys() const { return paraLoaded() && tableHasContent(fw_.PfpVKey); }

void CQVUpdateDlg::setMainButton(int id, bool enabled) {
    if (QObject* w = main_ ? main_.data() : window(); w && w != this)
        qvui::sendMessage(w, qvui::WM_TOOLBAR_ACTION, quint64(id), enabled ? 1 : 0);
}

void CQVUpdateDlg::pageState(int busy) {
    if (QObject* w = main_ ? main_.data() : window(); w && w != this)
        qvui::sendMessage(w, qvui::WM_PAGE_STATE, quint64(busy), kTemplate);
}

void CQVUpdateDlg::mainTimer(int id) {
    // Delivered after this handler returns, as the main window's own timer would be.
    if (QObject* w = main_ ? main_.data() : window(); w && w != this) qvui::postMessage(w, qvui::WM_TIMER, quint64(id));
}

void CQVUpdateDlg::setResult(uint32_t stringId) {
    resultId_ = stringId;
    result_->setText(qvui::loadString(stringId));
    if (processRun()) firmwareUpdateLog().push_back(qvui::loadString(stringId).toStdString());
}

void CQVUpdateDlg::beginOperation() {
    // The picture and the bar show the last operation only.
    picture_->hide();
    progress_->setRange(0, 100);
    progress_->setValue(0);
}

bool CQVUpdateDlg::releaseUpdateLock() {
    // A write the library left inside the update lock: the lock goes off on every way out.
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ParameterUpdateLock && c_.dev.device != INVALID_HANDLE_VALUE && t.ParameterUpdateLock(c_.dev.device, 0))
        return true;
    unlockFailed_ = true;
    return false;
}

void CQVUpdateDlg::showPicture(bool success) {
    picture_->setPixmap(programPicture(success ? 203 : 202));
    picture_->show();
}

void CQVUpdateDlg::logState(const char* name) {
    const QString line = QStringLiteral("\rState Machine : %1\r").arg(QLatin1String(name));
    writeCommandLog(c_, reinterpret_cast<const char16_t*>(line.utf16()));
    if (processRun()) firmwareUpdateLog().push_back(std::string("State Machine : ") + name);
}

void CQVUpdateDlg::finishProcessItem(bool success) {
    // Each line of the log ends with a lone "\r", as the process reports' lines do.
    qvtext::TextWriter w(processReport_.toLocal8Bit().constData(), qvtext::TextWriter::Mode::Append);
    if (w.isOpen())
        for (const std::string& line : firmwareUpdateLog()) {
            w.write(line);
            w.write("\r");
        }
    w.close();
    processReport_.clear();
    if (QObject* main = main_ ? main_.data() : window(); main && main != this)
        qvui::postMessage(main, qvui::WM_PROCESS_STEP, success ? kProcessPass : kProcessFail, kItemFirmwareUpdate);
}

void CQVUpdateDlg::disableUpdateButtons() {
    for (int id : {kMainButtonLoad, kMainButtonUpdate, kMainButtonCombine}) setMainButton(id, false);
    factory_->setEnabled(false);
    hostPanel_->setEnabled(false);
    keys_->setEnabled(false);
}

// ---- page slots -------------------------------------------------------------------------

void CQVUpdateDlg::InitDlgItem() {
    state_ = kIdle;
    slaveIndex_ = 0;
    retries_ = 10;
    chain_ = needsReconnect_ = keepResult_ = arrivalSeen_ = commandLine_ = false;
    reconnected_ = true;
    picture_->hide();
    setMainButton(kMainButtonUpdate, false);
    setMainButton(kMainButtonCombine, false);
    keys_->hide();
    hostPanel_->setEnabled(false);
    keys_->setEnabled(false);
    fw_.PfpPara = PfpPara{};
    fw_.PfpVKey = VButtonTable{};
    file2_->hide();
    paraCrc_->hide();
    keyCrc_->hide();
    setResult(kTextResult);
    ClearDlgItem();
}

void CQVUpdateDlg::ExitDlg() { ClearFirmwareFileData(fw_, true); }

void CQVUpdateDlg::ClearDlgItem() {
    if (state_ != kIdle) return;
    // A result text stays as long as its picture: both belong to the last operation.
    if (keepResult_)
        keepResult_ = false;
    else if (picture_->isHidden())
        setResult(kTextResult);
    writer_.outputReports = false;
    writer_.reportSize = 0;
    run_ = update::BlockRun{};
    startTick_ = 0;
}

void CQVUpdateDlg::UpdateDlgItem() {
    if (ostra() || masterInBoot()) setMainButton(kMainButtonCombine, false);
    const bool factoryOk = !paraLoaded() && !ostra();
    factory_->setEnabled(factoryOk);
    hostPanel_->setEnabled(factoryOk && factory_->isChecked());
    keys_->setEnabled(factoryOk && factory_->isChecked());
}

void CQVUpdateDlg::onFactoryClicked() {
    hostPanel_->setEnabled(factory_->isChecked());
    keys_->setEnabled(factory_->isChecked());
    setMainButton(kMainButtonUpdate, factory_->isChecked() || fileLoaded_);
}

bool CQVUpdateDlg::LoadFirmware(bool ask) {
    const QString before = fw_.szFirmwarePath;
    fileLoaded_ = OpenFirmwareFile(this, c_, fw_, ask, true);
    const bool chosen = ask && fw_.szFirmwarePath != before;
    if (fileLoaded_) {
        setMainButton(kMainButtonUpdate, true);
        setMainButton(kMainButtonCombine, !ostra() && !masterInBoot());
        const bool two = (fw_.FirmwareFileKind & 0x01) != 0;
        file2_->setVisible(two);
        const int shown = two ? 1 : 0;
        file_->setText(formatOne(qvui::loadString(kTextFile), fw_.LoadedFirmware[size_t(shown)].versionText));
        file2_->setText(formatOne(qvui::loadString(kTextFile), fw_.LoadedFirmware[0].versionText));
        if (fw_.PfpPara.present) {
            paraCrc_->setText(formatOne(qvui::loadString(kTextParaCrc), QStringLiteral("x%1").arg(fw_.PfpPara.crc, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x')));
            paraCrc_->show();
            if (fw_.LoadedFirmware[size_t(shown)].flags & 0x08) {
                keyCrc_->setText(formatOne(qvui::loadString(kTextKeyCrc), QStringLiteral("x%1").arg(fw_.PfpVKey.crc, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x')));
                keyCrc_->show();
            } else {
                keyCrc_->hide();
            }
        } else {
            paraCrc_->hide();
            keyCrc_->hide();
        }
        const bool factoryOk = !fw_.PfpPara.present && !ostra();
        factory_->setEnabled(factoryOk);
        if (chosen && factoryOk) {
            factory_->setChecked(true);
            hostPanel_->setChecked(fw_.LoadedFirmware[size_t(shown)].customer != 0);
        }
        hostPanel_->setEnabled(factory_->isChecked() && factoryOk);
        keys_->setEnabled(factory_->isChecked() && factoryOk);
    } else {
        if (!ostra()) factory_->setEnabled(true);
        if (factory_->isChecked()) {
            hostPanel_->setEnabled(true);
            keys_->setEnabled(true);
        } else {
            setMainButton(kMainButtonUpdate, false);
        }
        setMainButton(kMainButtonCombine, false);
        file_->setText(qvui::loadString(kTextNoFile));
        file2_->hide();
        paraCrc_->hide();
        keyCrc_->hide();
        // A file picked in the dialog, or given on the command line, that opens
        // but is no firmware file. An unattended run says so on stderr and ends
        // with a status of its own.
        const QString text = QStringLiteral("Invalid Firmware File Format.");
        const bool opens = QFile(fw_.szFirmwarePath).open(QIODevice::ReadOnly);
        if (commandLine_ && !ask && startupState().options.silentMode) {
            std::fprintf(stderr, "VCXMSet: %s: %s\n", qPrintable(fw_.szFirmwarePath),
                         opens ? qPrintable(text) : "cannot be read");
            std::fflush(stderr);
            startupState().exitStatus = kExitBadFirmwareFile;
        } else if ((chosen || (commandLine_ && !ask)) && opens) {
            qvui::showMessageBox(this, text, text, qvui::MessageIcon::Error);
        }
    }
    return fileLoaded_;
}

void CQVUpdateDlg::StartForProcess(const QString& reportPath) {
    processReport_ = reportPath;
    timers_->start(int(kStateFuStart), 10);
}

void CQVUpdateDlg::StartFromCommandLine(const QString& file) {
    fw_.szFirmwarePath = file.left(260);
    commandLine_ = true;
    timers_->start(int(kStateFuStart), 10);
}

bool CQVUpdateDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
        if (m->message() == qvui::WM_TOOLBAR_ACTION) {
            switch (m->lParam()) {
            case 0: LoadFirmware(true); break;
            case 1: timers_->start(int(kStateFuStart), 10); break;
            case 2:
                if (auto r = CombineFirmwareAndParameters(this, c_, fw_); r.written) {
                    // The combine is the last operation now: no update's picture or bar beside its text.
                    beginOperation();
                    resultId_ = 0;
                    result_->setText(r.resultText);
                }
                break;
            default: break;
            }
            return true;
        }
    }
    return CQVChdParentDlg::event(e);
}

// ---- timers -------------------------------------------------------------------------------

void CQVUpdateDlg::stepTimer(uint32_t step, int ms) { timers_->start(int(step), ms); }

void CQVUpdateDlg::onTimer(int id) {
    if (id == kPageTimerBlocks) {
        // Timer 1 repeats until the block loop stops it.
        programNextBlock();
        return;
    }
    timers_->stop(id);
    if (id == kPageTimerReconnect || id == kPageTimerSerial) {
        reconnectTick(id);
    } else if (id == kPageTimerParameterWait) {
        timers_->start(kPageTimerReconnect, 1000);
    } else if (id >= int(kIdle) && id <= int(kStateVuChkRes)) {
        // The step timers; 11 and 12 name no step and end a run.
        UpdateStateMachine(uint32_t(id));
    }
}

bool CQVUpdateDlg::reopen() {
    if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
    c_.dev.device = INVALID_HANDLE_VALUE;
    // The controller this update programs, never another one on the bus.
    if (!updateKey_.isEmpty()) c_.dev.rememberedKey = updateKey_;
    if (!FindQVDevice(c_, deviceFinder())) return false;
    if (!updateKey_.isEmpty() && c_.dev.currentKey != updateKey_) {
        if (c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
        c_.dev.device = INVALID_HANDLE_VALUE;
        return false;
    }
    return c_.api.GetFWVersionW && c_.api.GetFWVersionW(c_.dev.device, &c_.records.fwVersion) &&
           c_.api.GetFWInformationW && c_.api.GetFWInformationW(c_.dev.device, &c_.records.fwInformation);
}

void CQVUpdateDlg::reconnectTick(int timer) {
    if (reopen()) {
        reconnected_ = true;
        if (timer == kPageTimerSerial || state_ == kStateFuWaitOldBt) {
            stepTimer(kStateFuWaitOldBt);
            return;
        }
        switch (state_) {
        case kStateFuSlv:
        case kStateFuSlvEnd:
        case kStateFuMst:
        case kStateFuMstEnd: {
            // Every reconnect of the firmware steps goes on in step 20. A USB
            // controller's arrival notice runs it; the timer stays armed in case
            // that arrival came before, or never comes.
            state_ = kStateFuWaitReset;
            const bool usbLink = (c_.dev.deviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER)) != 0 &&
                                 c_.records.fwInformation.interfaceBits == 0;
            if (usbLink && !arrivalSeen_)
                timers_->start(kPageTimerReconnect, 1000);
            else
                stepTimer(kStateFuWaitReset);
            break;
        }
        case kStateFuWaitReset:
        case kStatePuReloadWa:
        case kStatePuChkRes:
        case kStatePuChkReload: stepTimer(state_); break;
        default: break;
        }
        return;
    }
    if (retries_ > 0) --retries_;
    if (retries_ == 0) {
        // Out of tries: the firmware steps fail in 21, the parameter steps in 26.
        UpdateStateMachine(state_ >= kStatePuProc && state_ <= kStatePuChkReload ? kStatePuFailed : kStateFuFailed);
        return;
    }
    timers_->start(timer, 1000);
}

void CQVUpdateDlg::prepareReconnect() {
    retries_ = 10;
    arrivalSeen_ = false;
    reconnected_ = false;
    // The arrival may have come already or never come (driver, serial): the
    // timer searches in any case.
    timers_->start(kPageTimerReconnect, 1000);
}

void CQVUpdateDlg::ResumeAfterArrival() {
    switch (state_) {
    case kStateFuSlv:
    case kStateFuSlvEnd:
    case kStateFuMst:
    case kStateFuMstEnd: arrivalSeen_ = true; break;
    case kStateFuWaitOldBt:
    case kStateFuWaitReset:
        if (reopen()) {
            timers_->stop(kPageTimerReconnect);
            reconnected_ = true;
            stepTimer(state_);
        } else {
            arrivalSeen_ = true;
        }
        break;
    default: break;
    }
}

// ---- the machine --------------------------------------------------------------------------

std::span<const CQVUpdateDlg::StepRow> CQVUpdateDlg::stepTable() {
    // The log names are the design's; 29..31 all log as STATE_VU_PROC.
    static constexpr StepRow kSteps[] = {
        {kStateFuStart, "STATE_FU_START", &CQVUpdateDlg::startUpdate},
        {kStateFuProc, "STATE_FU_PROC", &CQVUpdateDlg::checkFileAgainstController},
        {kStateFuSlv, "STATE_FU_SLV", &CQVUpdateDlg::programSlave},
        {kStateFuSlvEnd, "STATE_FU_SLV_END", &CQVUpdateDlg::afterSlave},
        {kStateFuMst, "STATE_FU_MST", &CQVUpdateDlg::programMaster},
        {kStateFuMstEnd, "STATE_FU_MST_END", &CQVUpdateDlg::afterMaster},
        {kStateFuWaitOldBt, "STATE_FU_WAIT_OLDBT", &CQVUpdateDlg::resetOldBootLoader},
        {kStateFuWaitReset, "STATE_FU_WAIT_RESET", &CQVUpdateDlg::reconnectedAfterFirmware},
        {kStateFuFailed, "STATE_FU_FAILED", &CQVUpdateDlg::firmwareFailed},
        {kStateFuChkRes, "STATE_FU_CHK_RES", &CQVUpdateDlg::checkFirmwareResult},
        {kStatePuProc, "STATE_PU_PROC", &CQVUpdateDlg::writePackageParameters},
        {kStatePuReload, "STATE_PU_RELOAD", &CQVUpdateDlg::reloadFactoryDefaults},
        {kStatePuReloadWa, "STATE_PU_RELOAD_WA", &CQVUpdateDlg::reloadFactoryDefaultsAgain},
        {kStatePuFailed, "STATE_PU_FAILED", &CQVUpdateDlg::parametersFailed},
        {kStatePuChkRes, "STATE_PU_CHK_RES", &CQVUpdateDlg::checkPackageParameters},
        {kStatePuChkReload, "STATE_PU_CHK_RELOAD", &CQVUpdateDlg::checkFactoryDefaults},
        {kStateVuProc, "STATE_VU_PROC", &CQVUpdateDlg::writeVirtualKeys},
        {kStateVuFailed, "STATE_VU_PROC", &CQVUpdateDlg::virtualKeysFailed},
        {kStateVuChkRes, "STATE_VU_PROC", &CQVUpdateDlg::checkVirtualKeys},
    };
    return kSteps;
}

const CQVUpdateDlg::StepRow* CQVUpdateDlg::findStep(uint32_t step) {
    for (const StepRow& row : stepTable())
        if (row.number == step) return &row;
    return nullptr;
}

void CQVUpdateDlg::UpdateStateMachine(uint32_t step) {
    // A message box inside a step runs a nested event loop: a timer firing
    // there must not run a second step on top of the first.
    if (running_) return;
    running_ = true;
    previous_ = state_;
    state_ = step;
    do {
        chain_ = false;
        const uint32_t ran = state_;
        runStep(ran);
        if (chain_) previous_ = ran;
    } while (chain_);
    running_ = false;
}

void CQVUpdateDlg::runStep(uint32_t step) {
    const StepRow* row = findStep(step);
    if (!row) {
        // No such step: the run ends here, as a failure.
        FinishUpdate(false);
        return;
    }
    logState(row->name);
    (this->*row->run)();
}

bool CQVUpdateDlg::sleepAndE9() {
    programSleep(c_, 500);
    SendCmdE9(c_);
    return true;
}

void CQVUpdateDlg::resetAndReconnectParameters(uint32_t nextState, int timer, int ms) {
    retries_ = 10;
    state_ = nextState;
    timers_->start(timer, ms);
}

// ---- the steps ----------------------------------------------------------------------------

void CQVUpdateDlg::startUpdate() {
    needsReconnect_ = false;
    testConfirmed_ = false;
    unlockFailed_ = false;
    if (LoadFirmware(false)) {
        next(kStateFuProc);
    } else if (factory_->isChecked() && !ostra()) {
        beginOperation();
        next(kStatePuReload);
    } else {
        state_ = kIdle;
        if (processRun()) {
            finishProcessItem(false);  // the process run goes on with a failure
        } else if (startupState().options.silentMode) {
            if (startupState().exitStatus == 0) startupState().exitStatus = kExitCouldNotRun;
            mainTimer(kTimerExit);
        }
    }
}

void CQVUpdateDlg::checkFileAgainstController() {
    versionsBefore_[0] = masterText(c_);
    for (int k = 0; k < 4; ++k)
        versionsBefore_[size_t(k + 1)] = k < c_.records.fwVersion.slaveCount ? slaveText(c_, k) : QString();
    slaveIndex_ = 0;
    retries_ = 10;
    updateKey_ = c_.dev.currentKey;
    setResult(kTextResult);
    beginOperation();
    programState().deviceChanged = false;
    if (!CheckFirmwareMatchesDevice()) {
        state_ = kIdle;
        showPicture(false);
        if (processRun()) {
            finishProcessItem(false);
        } else if (startupState().options.silentMode) {
            if (startupState().exitStatus == 0) startupState().exitStatus = kExitCouldNotRun;
            mainTimer(kTimerExit);
        }
        return;
    }
    progress_->setValue(0);
    disableUpdateButtons();
    pageState(1);
    next(fw_.LoadedFirmware[0].series == 1 && !masterInBoot() ? kStateFuSlv : kStateFuMst);
}

void CQVUpdateDlg::programSlave() {
    if (ProgramFirmwareStep(true)) return;
    if (needsReconnect_) SendCmdF4(c_, 0, 0);
    next(kStateFuFailed);
}

void CQVUpdateDlg::afterSlave() {
    ++slaveIndex_;
    if (int(slaveIndex_) < c_.records.fwVersion.slaveCount) {
        progress_->setValue(0);
        next(kStateFuSlv);
    } else if (fw_.FirmwareFileKind & 0x01) {
        progress_->setValue(0);
        next(kStateFuMst);
    } else {
        SendCmdF4(c_, 0, 0);
        programState().deviceChanged = false;
        if (ResetAndCloseDevice(c_))
            prepareReconnect();
        else
            next(kStateFuFailed);
    }
}

void CQVUpdateDlg::programMaster() {
    if (ProgramFirmwareStep(false)) return;
    if (needsReconnect_)
        prepareReconnect();
    else
        next(kStateFuFailed);
}

void CQVUpdateDlg::afterMaster() {
    const int bootVersion = c_.records.fwInformation.bootMajor * 100 + c_.records.fwInformation.bootMinor;
    programState().deviceChanged = false;
    if (!(fw_.FirmwareFileKind & 0x01) || bootVersion > 206) {
        prepareReconnect();
    } else if (!ResetAndCloseDevice(c_)) {
        next(kStateFuFailed);
    } else {
        state_ = kStateFuWaitOldBt;
        sleepAndE9();
        if (c_.dev.deviceType & QV_DEVICE_RS232)
            timers_->start(kPageTimerSerial, 1000);
        else
            prepareReconnect();  // the arrival (or the timer) resumes step 19
    }
}

void CQVUpdateDlg::resetOldBootLoader() {
    if (c_.dev.device == INVALID_HANDLE_VALUE && !reopen()) {
        setResult(kTextFirmwareTimeout);
        next(kStateFuFailed);
        return;
    }
    programState().deviceChanged = false;
    if (!c_.api.ResetMPU || !c_.api.ResetMPU(c_.dev.device)) {
        next(kStateFuFailed);
        return;
    }
    c_.dev.rememberedKey = c_.dev.currentKey;
    if (c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
    c_.dev.device = INVALID_HANDLE_VALUE;
    state_ = kStateFuWaitReset;
    prepareReconnect();
}

void CQVUpdateDlg::reconnectedAfterFirmware() {
    if (!reconnected_) {
        reconnected_ = true;
        timers_->stop(kPageTimerReconnect);
    }
    timers_->stop(kPageTimerReconnect);
    if (c_.dev.device == INVALID_HANDLE_VALUE && !reopen()) {
        setResult(kTextFirmwareTimeout);
        next(kStateFuFailed);
        return;
    }
    if (savedBaud_ != 0xFF && SendCmdWriteF2(c_, savedBaud_)) savedBaud_ = 0xFF;
    next(needsReconnect_ ? kStateFuFailed : kStateFuChkRes);
}

void CQVUpdateDlg::firmwareFailed() {
    // A slave's block failed: back to the master first.
    if (previous_ == kStateFuSlv) SendCmdF4(c_, 0, 0);
    // Every failure names its cause: a controller that did not come back after
    // its reset, or a step that failed without a text of its own.
    if (!namesAFailure(resultId_)) setResult(retries_ == 0 ? kTextFirmwareTimeout : kTextFirmwareFailed);
    FinishUpdate(false);
}

void CQVUpdateDlg::checkFirmwareResult() {
    bool ok;
    if (fw_.LoadedFirmware[0].series == 1) {
        ok = VerifySlaveVersions();
        if (fw_.FirmwareFileKind & 0x01) ok = ok && VerifyMasterVersion();
    } else {
        ok = VerifyMasterVersion();
    }
    if (ok && !ostra() && (paraLoaded() || factory_->isChecked())) {
        next(paraLoaded() ? kStatePuProc : kStatePuReload);
    } else if (ok && packageHasKeys()) {
        next(kStateVuProc);
    } else {
        // The programmed version does not run: said so, not left at "Programing finish.".
        if (!ok) setResult(kTextVersionCheck);
        FinishUpdate(ok);
    }
}

void CQVUpdateDlg::writePackageParameters() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    setResult(kTextUpdatePara);
    if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(c_.dev.device, 0);
    programSleep(c_, 100);
    if (c_.records.fwInformation.productNumber / 1000 == 6 || masterInBoot()) {
        next(kStatePuFailed);
        return;
    }
    ParameterList& l = c_.records.paraList;
    uint8_t done = 0;
    const bool listed = c_.api.GetAPBTParaList && c_.api.GetAPBTParaList(c_.dev.device, &l) &&
                        l.touchLength == fw_.PfpPara.touchLength && l.bootLength == fw_.PfpPara.bootLength &&
                        l.touchList && l.bootList;
    if (!listed) {
        next(kStatePuFailed);
        return;
    }
    std::memcpy(l.touchList, fw_.PfpPara.touch.data(), std::min<size_t>(l.touchLength, fw_.PfpPara.touch.size()));
    std::memcpy(l.bootList, fw_.PfpPara.boot.data(), std::min<size_t>(l.bootLength, fw_.PfpPara.boot.size()));
    programState().deviceChanged = false;
    if (!c_.api.SetAPBTParaList || !c_.api.SetAPBTParaList(c_.dev.device, &l)) {
        // The library leaves its update lock on when the write fails.
        releaseUpdateLock();
        next(kStatePuFailed);
        return;
    }
    if (!t.FlushParameter || !t.FlushParameter(c_.dev.device, &done) || done == 0 || !ResetAndCloseDevice(c_)) {
        next(kStatePuFailed);
        return;
    }
    sleepAndE9();
    setResult(kTextParaReset);
    resetAndReconnectParameters(kStatePuChkRes, kPageTimerReconnect, 1000);
}

void CQVUpdateDlg::reloadFactoryDefaults() { reloadDefaults(true); }

void CQVUpdateDlg::reloadFactoryDefaultsAgain() { reloadDefaults(false); }

void CQVUpdateDlg::reloadDefaults(bool first) {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (first && updateKey_.isEmpty()) updateKey_ = c_.dev.currentKey;
    disableUpdateButtons();
    pageState(1);
    bool ok = true;
    bool second = false;
    if (first) {
        setResult(kTextFactory);
        if (keys_->isChecked() && t.GetParameterGeneralInfo && t.GetParameterVButton &&
            t.GetParameterGeneralInfo(c_.dev.device, &c_.records.generalInfo) &&
            t.GetParameterVButton(c_.dev.device, c_.records.generalInfo.groupMask, &c_.records.vButton) &&
            c_.records.vButton.valid && c_.records.vButton.item[0].maximum > 3) {
            ok = t.VButtonLoadSetting && t.VButtonLoadSetting(c_.dev.device, 0) && t.VButtonWriteFlash &&
                 t.VButtonWriteFlash(c_.dev.device);
        }
        if (ok && hostPanel_->isChecked()) {
            ok = t.ReloadAllDefaultParameter && t.ReloadAllDefaultParameter(c_.dev.device);
            // Below parameter version 1.26 the whole reload takes a second round after the reset.
            second = c_.dev.paraVersion != 0 && c_.dev.paraVersion < 126;
        } else if (ok) {
            ok = t.ReloadDefaultParameter && t.ReloadDefaultParameter(c_.dev.device);
        }
    } else {
        ok = t.ReloadAllDefaultParameter && t.ReloadAllDefaultParameter(c_.dev.device);
    }
    // The reloads and the key writes run inside the library's update lock, which a failure leaves on.
    if (!ok) releaseUpdateLock();
    uint8_t done = 0;
    programState().deviceChanged = false;
    ok = ok && t.FlushParameter && t.FlushParameter(c_.dev.device, &done) && done != 0 && ResetAndCloseDevice(c_);
    if (!ok) {
        next(kStatePuFailed);
        return;
    }
    sleepAndE9();
    if (first) setResult(kTextFactoryReset);
    resetAndReconnectParameters(second ? kStatePuReloadWa : kStatePuChkReload, kPageTimerParameterWait, 2000);
}

void CQVUpdateDlg::parametersFailed() {
    if (unlockFailed_)
        setResult(kTextUnlockFailed);
    else
        setResult(retries_ == 0 ? kTextParaTimeout : kTextParaFailed);
    FinishUpdate(false);
}

void CQVUpdateDlg::checkPackageParameters() {
    if (packageHasKeys()) {
        next(kStateVuProc);
        return;
    }
    c_.dev.virtualKeyCrc = 0xFFFF;
    uint16_t crc[2] = {0, 0};
    const bool listed = c_.api.GetAPBTParaList && c_.api.GetAPBTParaList(c_.dev.device, &c_.records.paraList);
    const int r = listed ? CheckParameterCRC(c_, crc) : 0;
    bool ok = false;
    if (!listed || r != 1) {
        setResult(kTextCalcCrc);
    } else if (crc[0] == fw_.PfpPara.crc) {
        setResult(kTextParaComplete);
        ok = true;
    } else {
        setResult(kTextCompareCrc);
    }
    FinishUpdate(ok);
}

void CQVUpdateDlg::checkFactoryDefaults() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    bool ok = true;
    if (keys_->isChecked() && c_.records.vButton.valid && c_.records.vButton.item[0].maximum >= 4) {
        uint16_t a = 0, b = 0;
        uint8_t out = 0;
        ok = t.VButtonGetCRC && t.VButtonGetCRC(c_.dev.device, &a) && t.VButtonLoadSetting &&
             t.VButtonLoadSetting(c_.dev.device, 0) && t.VButtonInit && t.VButtonInit(c_.dev.device, &out) &&
             t.VButtonGetCRC(c_.dev.device, &b) && a == b;
        if (ok) c_.dev.virtualKeyCrc = a;
    }
    setResult(ok ? kTextFactoryComplete : kTextEraseKeys);
    FinishUpdate(ok);
}

void CQVUpdateDlg::writeVirtualKeys() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    setResult(kTextUpdateKeys);
    uint8_t count = uint8_t(fw_.PfpVKey.usedCount + 1);
    const bool ok = t.VButtonClear && t.VButtonClear(c_.dev.device, 0) && t.VButtonWrite &&
                    t.VButtonWrite(c_.dev.device, &fw_.PfpVKey) && t.VButtonInit && t.VButtonInit(c_.dev.device, &count) &&
                    t.VButtonWriteFlash && t.VButtonWriteFlash(c_.dev.device);
    if (ok) {
        next(kStateVuChkRes);
    } else {
        // The table write runs inside the library's update lock, which a failure leaves on.
        setResult(releaseUpdateLock() ? kTextKeysFailed : kTextUnlockFailed);
        next(kStateVuFailed);
    }
}

void CQVUpdateDlg::virtualKeysFailed() { FinishUpdate(false); }

void CQVUpdateDlg::checkVirtualKeys() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    VButtonTable read{};
    uint8_t out = 0;
    const bool loaded = t.VButtonLoadSetting && t.VButtonLoadSetting(c_.dev.device, 1) && t.VButtonInit &&
                        t.VButtonInit(c_.dev.device, &out) && t.VButtonRead && t.VButtonRead(c_.dev.device, &read);
    bool ok = false;
    if (!loaded) {
        setResult(kTextLoadKeys);
    } else if (std::memcmp(&read, &fw_.PfpVKey, sizeof read) != 0) {
        setResult(kTextKeysFailed);
    } else {
        c_.dev.virtualKeyCrc = read.crc;
        uint16_t crc[2] = {0, 0};
        const bool listed = c_.api.GetAPBTParaList && c_.api.GetAPBTParaList(c_.dev.device, &c_.records.paraList);
        if (!listed || CheckParameterCRC(c_, crc) != 1) {
            setResult(kTextCalcCrc);
        } else if (crc[0] != fw_.PfpPara.crc) {
            setResult(kTextCompareCrc);
        } else {
            setResult(kTextKeysComplete);
            ok = true;
        }
    }
    FinishUpdate(ok);
}

// ---- programming ------------------------------------------------------------------------

// A firmware step for the master or for slave slaveIndex_: the chip selected,
// its image chosen and confirmed, programming skipped when that firmware runs
// already, the host-interface nibble put right, the loader entered and found,
// its data format and the bridge's baud rate set, its sizes read, and the
// block loop started (or the next step chained). False: the step failed, its
// text shown.
bool CQVUpdateDlg::ProgramFirmwareStep(bool slave) {
    const uint8_t k = uint8_t(slaveIndex_);
    const bool inBoot = slave ? c_.records.fwVersion.slaveInBoot[k] != 0 : masterInBoot();
    bool newBoot = false;
    if (!selectTargetChip(slave, inBoot, &newBoot)) return false;
    const uint8_t kind = fw_.FirmwareFileKind;
    entry_ = update::ImageEntryFor(kind, slave, newBoot);
    const LoadedFirmwareSection& e = fw_.LoadedFirmware[size_t(entry_)];
    if (!confirmTestVersion(e, slave)) return false;
    prepareBlockWriter(e);
    if (!inBoot && paraLoaded()) {
        switch (skipWhenFirmwareRuns(e, slave)) {
        case RunningFirmware::Program: break;
        case RunningFirmware::Skipped: return true;
        case RunningFirmware::Failed: return false;
        }
    }
    putHostInterfaceNibbleRight(slave, inBoot);
    if (!inBoot && !enterAndFindBootLoader(slave, newBoot, kind)) return false;
    if (!setBootDataFormat(e)) return false;
    if (!slave) setProgrammingBaud();
    uint32_t blockSize = 0;
    if (!readBootLoaderSizes(slave, kind, &blockSize)) return false;
    return startBlockProgramming(e, blockSize, slave);
}

void CQVUpdateDlg::backToMaster(bool slave) {
    if (slave) SendCmdF4(c_, 0, 0);
}

bool CQVUpdateDlg::selectTargetChip(bool slave, bool inBoot, bool* newBoot) {
    const FirmwareInformationW& info = c_.records.fwInformation;
    if (slave) {
        if (!SendCmdF4(c_, uint8_t(slaveIndex_), 0x01)) {
            setResult(kTextF4Failed);
            return false;
        }
        FirmwareInformationW s = info;
        if (c_.api.GetFWInformationW) c_.api.GetFWInformationW(c_.dev.device, &s);
        *newBoot = update::IsNewBootLoader(true, inBoot, s.firmwareMajor, s.bootMajor);
    } else {
        if (!inBoot && (fw_.FirmwareFileKind & 0x01)) SendCmdF4(c_, 0, 0);
        *newBoot = update::IsNewBootLoader(false, inBoot, info.firmwareMajor, info.bootMajor);
    }
    return true;
}

bool CQVUpdateDlg::confirmTestVersion(const LoadedFirmwareSection& e, bool slave) {
    // A test version is asked about once per run.
    if (!(e.copied[0] & 0x01) || testConfirmed_) return true;
    const QString q = qvui::loadString(kTextTestVersionQuestion);
    if (qvui::showMessageBox(this, q, q, qvui::MessageIcon::Warning, qvui::MessageButtons::YesNo) !=
        qvui::MessageAnswer::Yes) {
        setResult(kTextStopTest);
        backToMaster(slave);
        return false;
    }
    testConfirmed_ = true;
    return true;
}

void CQVUpdateDlg::prepareBlockWriter(const LoadedFirmwareSection& e) {
    writer_ = update::BlockWriter{};
    writer_.skipFirstBlock = (e.copied[1] & 0x40) != 0;
    writer_.ostra = ostra();
    writer_.driverLink = (c_.dev.deviceType & QV_DEVICE_DRIVER_EX) != 0;
}

CQVUpdateDlg::RunningFirmware CQVUpdateDlg::skipWhenFirmwareRuns(const LoadedFirmwareSection& e, bool slave) {
    FirmwareInformationW now = c_.records.fwInformation;
    if (!c_.api.GetFWInformationW || !c_.api.GetFWInformationW(c_.dev.device, &now) ||
        !update::FirmwareAlreadyRuns(now, e))
        return RunningFirmware::Program;
    if (slave) {
        next(kStateFuSlvEnd);
        return RunningFirmware::Skipped;
    }
    VButtonTable present{};
    if ((e.flags & 0x08) || !HasVirtualKeyData(c_, &present)) {
        next(kStateFuChkRes);
        return RunningFirmware::Skipped;
    }
    // The controller's own keys are kept: written to its flash as they are, their CRC read.
    if (c_.records.vButton.valid && c_.records.vButton.item[0].maximum >= 4) {
        const ParameterFunctionTable& t = c_.records.paraFuncTable;
        if (!t.VButtonLoadSetting || !t.VButtonLoadSetting(c_.dev.device, 0) || !t.VButtonWriteFlash ||
            !t.VButtonWriteFlash(c_.dev.device) || !t.VButtonGetCRC ||
            !t.VButtonGetCRC(c_.dev.device, &c_.dev.virtualKeyCrc))
            return RunningFirmware::Failed;
        next(kStateFuChkRes);
        return RunningFirmware::Skipped;
    }
    return RunningFirmware::Program;
}

void CQVUpdateDlg::putHostInterfaceNibbleRight(bool slave, bool inBoot) {
    // The fix-up of E0 00 40 / 42 applies to interface index 1 only.
    if (!update::ChecksHostInterfaceNibble(slave, inBoot, c_.dev.paraVersion, c_.records.fwInformation.interfaceBits,
                                           c_.records.hostInterface.identity))
        return;
    const int a = SendCmdReadE0(c_, 0x40, 4), b = SendCmdReadE0(c_, 0x42, 4);
    const std::optional<uint8_t> value = update::HostInterfaceNibbleFix(a, b);
    if (!value) return;
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ParameterUpdateLock) t.ParameterUpdateLock(c_.dev.device, 1);
    if (c_.dev.featureFlags[2] & 0x80)
        SendCmdWriteE1(c_, 0x02, *value, 0x90);
    else
        SendCmdWriteE1(c_, 0x42, *value, 0x00);
    if (t.ParameterUpdateLock) t.ParameterUpdateLock(c_.dev.device, 0);
    uint8_t done = 0;
    if (t.FlushParameter) t.FlushParameter(c_.dev.device, &done);
}

bool CQVUpdateDlg::enterAndFindBootLoader(bool slave, bool newBoot, uint8_t kind) {
    if (update::OldLoaderRefusesImage(newBoot, kind)) {
        setResult(kTextOldBoot);
        backToMaster(slave);
        return false;
    }
    // A new loader's controller says in E0 00 FF how its loader is entered.
    const uint8_t e0ff = newBoot ? uint8_t(SendCmdReadE0(c_, 0xFF, 1)) : 0;
    if (!SendCmdEnterBootFF(c_, update::BootEntryKind(newBoot, e0ff, kind))) {
        setResult(kTextFFFailed);
        backToMaster(slave);
        return false;
    }
    setResult(kTextFindBoot);
    if (!findBootLoader(slave)) {
        setResult(kTextNoBoot);
        backToMaster(slave);
        return false;
    }
    return true;
}

bool CQVUpdateDlg::findBootLoader(bool slave) {
    // Up to eleven tries. The search reopens this controller, and no other.
    c_.dev.rememberedKey = c_.dev.currentKey;
    for (int i = 0; i < 11; ++i) {
        if (slave) {
            programSleep(c_, 100);
        } else {
            if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
            c_.dev.device = INVALID_HANDLE_VALUE;
            programSleep(c_, 1000);
            const QString key = updateKey_.isEmpty() ? c_.dev.currentKey : updateKey_;
            c_.dev.rememberedKey = key;
            if (!FindQVDevice(c_, deviceFinder())) continue;
            if (c_.dev.currentKey != key) continue;  // another controller: not this one's loader
        }
        if (SendCmdQueryED(c_) == BootPresence::BootLoader) return true;
    }
    return false;
}

bool CQVUpdateDlg::setBootDataFormat(const LoadedFirmwareSection& e) {
    // The checksum kind first (the Ostra-series loader has only the one).
    if (!ostra()) writer_.wordChecksum = SendCmdQueryBootD9(c_);
    const uint8_t format = e.copied[1];
    if (!update::NeedsBootDataFormat(format) || SendCmdSetBootFormatD9(c_, format)) return true;
    setResult(kTextNoNewFormat);
    SendCmdLeaveBootD8(c_);
    needsReconnect_ = true;
    return false;
}

void CQVUpdateDlg::setProgrammingBaud() {
    // "-br": the bridge's baud rate while the blocks are written; the one it had is kept.
    const uint8_t br = startupState().options.optBR;
    if (br == 0xFF || !(c_.dev.bridgeFlags[0] & 0x10)) return;
    const int baud = SendCmdQueryE0(c_, 0x02, 4);
    savedBaud_ = baud >= 0 ? uint8_t(baud & 7) : 0xFF;
    if (!SendCmdWriteF2(c_, br)) savedBaud_ = 0xFF;
    programSleep(c_, 100);
}

bool CQVUpdateDlg::readBootLoaderSizes(bool slave, uint8_t kind, uint32_t* blockSize) {
    // The output-report size (D3), the block size (D2; 512 on the Ostra series) and the loader's answer (D4).
    int known = 0;
    uint16_t size = 0;
    if (!c_.api.GetBufferSize || !c_.api.GetBufferSize(c_.dev.device, slave ? slaveIndex_ + 1 : 0, &known, &size) ||
        (known && size == 0)) {
        setResult(kTextD3Failed);
        backToMaster(slave);
        return false;
    }
    writer_.outputReports = known != 0;
    writer_.reportSize = size;
    *blockSize = 512;
    if (!ostra() && (!c_.api.SendD2 || !c_.api.SendD2(c_.dev.device, blockSize))) {
        setResult(kTextD2Failed);
        backToMaster(slave);
        return false;
    }
    const uint8_t states[2] = {0xAA, 0xBB};
    if (!c_.api.CheckNewBootEx || !c_.api.CheckNewBootEx(c_.dev.device, states, 2, &writer_.bootAnswer)) {
        setResult(kTextD4Failed);
        backToMaster(slave);
        return false;
    }
    if (update::LoaderIncompatible(writer_.bootAnswer, kind)) {
        setResult(kTextIncompatible);
        SendCmdLeaveBootD8(c_);
        needsReconnect_ = true;
        return false;
    }
    return true;
}

bool CQVUpdateDlg::startBlockProgramming(const LoadedFirmwareSection& e, uint32_t blockSize, bool slave) {
    // The block table; a block size or image the loader cannot take is refused.
    const std::vector<uint8_t>& data = fw_.SectionData[size_t(entry_)];
    const uint32_t imageSize = uint32_t(std::min<size_t>(e.dataSize, data.size()));
    update::BlockPlan plan;
    if (update::PlanBlocks(imageSize, blockSize, &plan) != update::BlockPlanError::None) {
        setResult(kTextD2Failed);
        backToMaster(slave);
        return false;
    }
    run_ = update::StartBlocks(plan);
    result_->clear();
    progress_->setRange(0, int(plan.lastBlock));
    progress_->setValue(0);
    startTick_ = tick(c_);
    timers_->start(kPageTimerBlocks, 10);
    return true;
}

void CQVUpdateDlg::programNextBlock() {
    progress_->setValue(int(run_.plan.lastBlock - run_.current));
    setResult(run_.current == run_.plan.lastBlock ? kTextResult : kTextPrograming);
    const std::vector<uint8_t>& data = fw_.SectionData[size_t(entry_)];
    const update::BlockTick t = update::ProgramNextBlock(c_, writer_, data.data(), &run_);
    switch (t) {
    case update::BlockTick::Next:
    case update::BlockTick::Retry: return;
    case update::BlockTick::FailedD0:
    case update::BlockTick::FailedD1:
        setResult(t == update::BlockTick::FailedD0 ? kTextWriteD0 : kTextWriteD1);
        timers_->stop(kPageTimerBlocks);
        UpdateStateMachine(kStateFuFailed);
        return;
    case update::BlockTick::Finished: {
        setResult(kTextProgramFinish);
        timers_->stop(kPageTimerBlocks);
        progress_->setValue(int(run_.plan.lastBlock));
        if (writer_.bootAnswer != 0) SendCmdLeaveBootD8(c_);
        // A loader that left the bus after block 0 takes the code once it is found again (step 20).
        if (savedBaud_ != 0xFF && SendCmdWriteF2(c_, savedBaud_)) savedBaud_ = 0xFF;
        stepTimer(state_ == kStateFuSlv ? kStateFuSlvEnd : kStateFuMstEnd);
        return;
    }
    }
}

bool CQVUpdateDlg::CheckFirmwareMatchesDevice() {
    const FirmwareInformationW& info = c_.records.fwInformation;
    const LoadedFirmwareSection& e = fw_.LoadedFirmware[0];
    if (masterInBoot()) {
        if ((fw_.FirmwareFileKind & 0x01) || info.productNumber == e.productNumber) return true;
        setResult(kTextNotMatch);
        return false;
    }
    if (info.productNumber != (e.productNumber & 0x7FFF) || info.productLetter != e.letter) {
        setResult(kTextNotMatch);
        return false;
    }
    if (!c_.api.EnablePCAPScan || !c_.api.EnablePCAPScan(c_.dev.device, 0)) {
        setResult(kTextF0Failed);
        return false;
    }
    programSleep(c_, 200);
    return true;
}

bool CQVUpdateDlg::VerifySlaveVersions() {
    const FirmwareVersionInfoW& v = c_.records.fwVersion;
    for (int k = 0; k < v.slaveCount && k < 4; ++k)
        if (v.slaveInBoot[k] || !VersionMatches(slaveText(c_, k), fw_.LoadedFirmware[0].versionText, hasBuild(fw_.LoadedFirmware[0])))
            return false;
    return true;
}

bool CQVUpdateDlg::VerifyMasterVersion() {
    const int e = (fw_.FirmwareFileKind & 0x01) ? 1 : 0;
    const LoadedFirmwareSection& entry = fw_.LoadedFirmware[size_t(e)];
    if (masterInBoot() || !VersionMatches(masterText(c_), entry.versionText, hasBuild(entry))) return false;
    // The texts may come from the open's read: the firmware must answer now, outside its loader.
    return SendCmdQueryED(c_) == BootPresence::Firmware;
}

void CQVUpdateDlg::FinishUpdate(bool success) {
    timers_->stop(kPageTimerBlocks);
    timers_->stop(kPageTimerReconnect);
    timers_->stop(kPageTimerSerial);
    timers_->stop(kPageTimerParameterWait);
    if (!success) {
        // A failed run leaves the bridge at the speed it had.
        if (savedBaud_ != 0xFF && c_.dev.device != INVALID_HANDLE_VALUE) SendCmdWriteF2(c_, savedBaud_);
        savedBaud_ = 0xFF;
        if (c_.api.EnablePCAPScan && c_.dev.device != INVALID_HANDLE_VALUE) c_.api.EnablePCAPScan(c_.dev.device, 1);
        programSleep(c_, 100);
    }
    lastSuccess_ = success;
    // A run that succeeded shows its bar full, also when nothing had to be programmed.
    if (success) progress_->setValue(progress_->maximum());
    showPicture(success);
    setMainButton(kMainButtonLoad, true);
    setMainButton(kMainButtonUpdate, true);
    setMainButton(kMainButtonCombine, !ostra() && !masterInBoot() && fileLoaded_);
    if (!paraLoaded() && !ostra()) {
        factory_->setEnabled(true);
        hostPanel_->setEnabled(factory_->isChecked());
        keys_->setEnabled(factory_->isChecked());
    }
    state_ = kIdle;
    keepResult_ = true;
    updateKey_.clear();
    pageState(0);
    if (processRun()) {
        finishProcessItem(success);
        return;
    }
    const CommandLineOptions& o = startupState().options;
    if (!o.silentMode) return;
    // The unattended run's result is the program's exit status.
    if (!success) startupState().exitStatus = kExitRunFailed;
    if (success && (o.optOS || o.optNL != 0xFF)) {
        mainTimer(kTimerCommandLineTest);
        return;
    }
    if (o.optS) {
        if (QObject* w = main_ ? main_.data() : window(); w && w != this)
            qvui::sendMessage(w, qvui::WM_SILENT_RESULT, 0, success ? 1 : 0);
        mainTimer(kTimerExit);
        return;
    }
    if (o.optEnumFU) {
        DeviceFinder& f = deviceFinder();
        f.enumKey.clear();
        startupState().fileArg.clear();
        f.fileArg = &startupState().fileArg;
        FindQVDevice(c_, f);
        mainTimer(startupState().fileArg.isEmpty() ? kTimerExit : kTimerFileArgument);
        return;
    }
    // "-m" with a file: the update was the run; the program ends with its result.
    mainTimer(kTimerExit);
}

} // namespace vcx
