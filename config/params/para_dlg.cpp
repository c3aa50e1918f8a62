#include "params/para_dlg.h"

#include "core/field_table.h"
#include "params/parameter_ini.h"
#include "params/para_pages.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/parameter_lock.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include <bit>

namespace vcx {

bool& CalibrationPending() {
    static bool pending = false;
    return pending;
}

namespace {

constexpr uint16_t kPresenceBits[kTabCount] = {0x0002, 0x0004, 0x0008, 0x0010, 0x0040, 0x0080, 0x0100};
constexpr uint32_t kTabStrings[kTabCount] = {620, 621, 622, 605, 623, 609, 625};

bool interfaceRule(const ProgramRecords& r) {
    return r.hostInterface.valid && std::popcount(unsigned(r.hostInterface.item[0].maximum & 0x0F)) >= 2;
}
bool panelMaximaZero(const ProgramRecords& r) { return r.panel.item[0].maximum == 0 && r.panel.item[1].maximum == 0; }

bool hidden(const ProgramRecords& r, int candidate) {
    switch (candidate) {
    case kTabInterface: return !interfaceRule(r);
    case kTabPanel: return panelMaximaZero(r);
    case kTabPalm: return !r.palm.item5.present;
    default: return false;
    }
}

qvui::MessageAnswer stopBox(QWidget* owner, const QString& text) {
    return qvui::showMessageBox(owner, text, text, qvui::MessageIcon::Error);
}

} // namespace

int CandidateFromSetting(int paraIdx) { return paraIdx >= 0 && paraIdx < kTabCount ? paraIdx : 0; }

TabPlan PlanTabs(const ProgramRecords& r, int current) {
    TabPlan plan;
    for (int i = 0; i < kTabCount; ++i)
        if ((r.generalInfo.groupMask & kPresenceBits[i]) && !hidden(r, i)) plan.tabs.push_back(i);
    for (size_t t = 0; t < plan.tabs.size(); ++t)
        if (plan.tabs[t] == current) {
            plan.shown = current;
            plan.selected = int(t);
            return plan;
        }
    if (interfaceRule(r) && !plan.tabs.empty()) plan.shown = plan.tabs[0];
    else plan.shown = panelMaximaZero(r) ? kTabPalm : kTabPanel;
    return plan;
}

bool ConfirmParameterChanges(Controller& c, QWidget* owner) {
    const QString text = FormatParameterChanges(c.records, [&c](int kind, int index) {
        QVWCHAR buffer[40] = {};
        auto get = kind == 0 ? c.api.GetPanelSizeInfoW : c.api.GetCoverLensInfoW;
        if (!get || !get(c.dev.device, uint8_t(index), buffer)) return QString();
        return wideField(buffer, 40);
    });
    if (programState().engineerMode || text.isEmpty()) return true;
    return qvui::showMessageBox(owner, text, QStringLiteral("Modify Parameter List"), qvui::MessageIcon::None,
                                qvui::MessageButtons::OkCancel) == qvui::MessageAnswer::Ok;
}

int WriteChangedParameters(Controller& c, QWidget* owner) {
    if (!ConfirmParameterChanges(c, owner)) return kWriteDeclined;
    ProgramRecords& r = c.records;
    const ParameterFunctionTable& t = r.paraFuncTable;
    const HANDLE dev = c.dev.device;
    ParameterUpdateGuard lock(c);
    if (!lock.locked()) return kWriteLockFailed;
    auto set = [&](auto fn, auto& record) { return !record.valid || (fn && fn(dev, &record)); };
    const bool written = set(t.SetParameterHostInterface, r.hostInterface) && set(t.SetParameterPanel, r.panel) &&
                         set(t.SetParameterFinger, r.finger) && set(t.SetParameterPalm, r.palm) &&
                         set(t.SetParameterWater, r.water) && set(t.SetParameterBase, r.base) &&
                         set(t.SetParameterAntiNoise, r.antiNoise) && set(t.SetParameterCoordinate, r.coordinate) &&
                         set(t.SetParameterPowerSaving, r.powerSaving) && set(t.SetParameterNormalScan, r.normalScan) &&
                         set(t.SetParameterAbnormalScan, r.abnormalScan) && set(t.SetParameterMisc, r.misc) &&
                         set(t.SetParameterDriveIC, r.driveIC) && set(t.SetParameterCustom, r.custom);
    // The lock is released on every way out once it was taken, so a failed
    // write does not leave the controller refusing its own parameter updates;
    // a refused release is a failure of its own (the flush would not be taken).
    const bool released = lock.release();
    if (!written) return released ? kWriteGroupFailed : kWriteGroupAndUnlockFailed;
    if (!released) return kWriteUnlockFailed;
    uint8_t status = 0;
    if (t.FlushParameter && t.FlushParameter(dev, &status)) return kWriteFlushed;
    return kWriteFlushFailed;
}

CQVParaDlg::CQVParaDlg(Controller& c, QWidget* parent) : CQVChdParentDlg(kTemplate, parent), c_(c) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    tabControl_ = new QWidget(this);
    qvui::setControlId(tabControl_, kIdTab);
    tabs_ = new QTabBar(tabControl_);
    tabControl_->installEventFilter(this);
    layout->addWidget(tabControl_);
    timers_ = new qvui::WindowTimers(this);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) {
        if (!rebuilding_) onTabChanged(tab);
    });
    // An engineer-mode switch reruns every page's CheckDlgItem.
    programHooks().engineerModeChanged.join(this, [this] { RecheckPages(); });
    initDialog();
}

CQVParaDlg::~CQVParaDlg() { programHooks().engineerModeChanged.leave(this); }

QObject* CQVParaDlg::mainWindow() const { return main_ ? main_ : static_cast<QObject*>(window()); }

void CQVParaDlg::pageState(int state) { qvui::sendMessage(mainWindow(), qvui::WM_PAGE_STATE, quint64(state), kTemplate); }

CQVParaParentDlg* CQVParaDlg::page(int templateId) const {
    if (templateId >= 160 && templateId <= 176) return newPages_[size_t(templateId - 160)];
    if (templateId >= 180 && templateId <= 185) return oldPages_[size_t(templateId - 180)];
    return nullptr;
}

CQVParaParentDlg* CQVParaDlg::candidatePage(int candidate) const {
    return candidate >= 0 && candidate < kTabCount ? tabPage_[size_t(candidate)] : nullptr;
}

int CQVParaDlg::candidateOfTab(int tab) const { return tab >= 0 && tab < kTabCount ? tabMap_[size_t(tab)] : 255; }

void CQVParaDlg::InitDlgItem() {
    newSet_ = false;
    tabCount_ = 0;
    curPage_ = CandidateFromSetting(appSettings().paraIdx);
    CreateTipWindows();
    for (int i = 0; i < 17; ++i) newPages_[size_t(i)] = MakeParameterPage(c_, 160 + i, tabControl_);
    for (int i = 0; i < 6; ++i) oldPages_[size_t(i)] = MakeParameterPage(c_, 180 + i, tabControl_);
    placePages();
    tabPage_ = {page(180), page(161), page(182), page(165), page(183), page(169), page(170)};
    timers_->start(1, 10);
}

void CQVParaDlg::placePages() {
    const int s = programState().screenScale > 0 ? programState().screenScale : 100;
    const int x = s * 4 / 100, y = s * 24 / 100;
    const QRect tab = tabControl_->rect();
    tabs_->setGeometry(0, 0, tab.width(), std::max(tabs_->sizeHint().height(), y - 2));
    const QRect area(x, y, std::max(0, tab.width() - 2 * x), std::max(0, tab.height() - y - x));
    for (auto* p : newPages_)
        if (p) p->setGeometry(area);
    for (auto* p : oldPages_)
        if (p) p->setGeometry(area);
}

bool CQVParaDlg::eventFilter(QObject* o, QEvent* e) {
    if (o == tabControl_ && e->type() == QEvent::Resize) placePages();
    return CQVChdParentDlg::eventFilter(o, e);
}

void CQVParaDlg::ExitDlg() {
    appSettings().paraIdx = curPage_;
    if (!CalibrationPending()) return;
    // The calibration working copy goes out as the calibration left it.
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    const HANDLE dev = c_.dev.device;
    {
        // At the end of the run nobody is there to be told of a refused release.
        ParameterUpdateGuard lock(c_);
        if (t.SetParameterCoordinate) t.SetParameterCoordinate(dev, &c_.records.calibrationCoordinate);
    }
    if (t.ActivateCalibrationParameter) t.ActivateCalibrationParameter(dev);
    CalibrationPending() = false;
}

void CQVParaDlg::ClearDlgItem() {
    ready_ = false;
    if (newSet_) {
        for (auto* p : newPages_) p->hide();
    } else {
        for (auto* p : oldPages_) p->hide();
    }
    tabControl_->hide();
}

void CQVParaDlg::UpdateDlgItem() {
    // The main window's read-out decided whether the parameters were read.
    ready_ = c_.dev.parametersRead;
    if (!ready_) return;
    // Both panel pages fill their combos from one read of the name tables.
    InvalidatePanelNames();
    // The settings are loaded after the pages are made: the remembered page is
    // taken at the first refresh.
    if (!settingTaken_) {
        curPage_ = CandidateFromSetting(appSettings().paraIdx);
        settingTaken_ = true;
    }
    for (auto* p : newPages_) p->LoadDlgItem();
    for (auto* p : oldPages_) p->LoadDlgItem();
    newSet_ = c_.dev.newFirmware && (c_.dev.featureFlags[0] & 0x80);
    tabControl_->show();
    if (c_.dev.ostraModel) {
        CalibrationPending() = false;
        return;
    }
    newMap_.fill(255);
    oldMap_.fill(255);
    tabMap_.fill(255);
    rebuilding_ = true;
    while (tabs_->count()) tabs_->removeTab(0);
    tabCount_ = 0;
    tabPage_[kTabCoordinate] = newSet_ ? page(170) : page(185);
    const TabPlan plan = PlanTabs(c_.records, curPage_);
    for (int candidate : plan.tabs) {
        tabs_->addTab(qvui::loadString(kTabStrings[candidate]));
        tabMap_[size_t(tabCount_++)] = candidate;
    }
    for (auto* p : tabPage_) p->hide();
    if (plan.selected >= 0) {
        tabs_->setCurrentIndex(plan.selected);
    } else {
        curPage_ = plan.shown;
    }
    tabPage_[size_t(curPage_)]->show();
    rebuilding_ = false;
    CalibrationPending() = false;
}

void CQVParaDlg::onTabChanged(int tab) {
    const int candidate = candidateOfTab(tab);
    if (candidate < 0 || candidate >= kTabCount || candidate == curPage_) return;
    tabPage_[size_t(curPage_)]->hide();
    tabPage_[size_t(candidate)]->show();
    curPage_ = candidate;
    if (newSet_) page(166)->EnableDlgItem();
}

void CQVParaDlg::RecheckPages() {
    for (auto* p : newPages_)
        if (p) p->CheckDlgItem();
    for (auto* p : oldPages_)
        if (p) p->CheckDlgItem();
}

void CQVParaDlg::RefreshTips() {
    timers_->stop(1);
    for (auto* p : newPages_) p->SetDlgItemTip();
    for (auto* p : oldPages_) p->SetDlgItemTip();
}

bool CQVParaDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER && m->wParam() == 1) {
            RefreshTips();
            return true;
        }
        if (m->message() == qvui::WM_TOOLBAR_ACTION && m->wParam() == 0) {
            switch (m->lParam()) {
            case 0: ApplyParameters(); break;
            case 1: ImportParameters(); break;
            case 2: ExportParameters(); break;
            case 3: ReloadDefaultParameters(); break;
            default: break;
            }
            return true;
        }
    }
    return CQVChdParentDlg::event(e);
}

int CQVParaDlg::ApplyParameters() {
    if (c_.dev.device == INVALID_HANDLE_VALUE) return -2;
    pageState(1);
    for (auto* p : tabPage_) p->SaveDlgItem();
    const int result = WriteChangedParameters(c_, this);
    if (result == kWriteFlushed) {
        qvui::sendMessage(mainWindow(), qvui::WM_DISCONNECT_DEVICE);
        // The work is over; the reconnect is the main window's.
        pageState(0);
        return result;
    }
    if (result == kWriteLockFailed) stopBox(this, QStringLiteral("Parameters Update Lock Failed."));
    if (result == kWriteGroupFailed || result == kWriteGroupAndUnlockFailed)
        stopBox(this, QStringLiteral("Update Parameters to Device Failed."));
    if (result == kWriteUnlockFailed || result == kWriteGroupAndUnlockFailed)
        stopBox(this, QStringLiteral("Parameters Update Unlock Failed."));
    if (result == kWriteFlushFailed) stopBox(this, QStringLiteral("Flush Parameters to Device Failed."));
    pageState(0);
    return result;
}

int CQVParaDlg::ImportParameters() {
    if (c_.dev.device == INVALID_HANDLE_VALUE) return -2;
    pageState(1);
    const int result = ImportParameterFile(c_, this);
    if (result == 0) {
        uint8_t status = 0;
        const ParameterFunctionTable& t = c_.records.paraFuncTable;
        if (t.FlushParameter && t.FlushParameter(c_.dev.device, &status) && status)
            qvui::showMessageBox(this, QStringLiteral("Import Parameters File Success."),
                                 QStringLiteral("Import Parameters File Success."));
        else
            stopBox(this, QStringLiteral("Flush Parameters to Device Failed."));
        qvui::sendMessage(mainWindow(), qvui::WM_DISCONNECT_DEVICE);
        pageState(0);
        return result;
    }
    if (result == 2) stopBox(this, QStringLiteral("Import Parameters File Failed."));
    if (result == 3) stopBox(this, QStringLiteral("Update Parameters to Device Failed."));
    pageState(0);
    return result;
}

int CQVParaDlg::ExportParameters() {
    if (c_.dev.device == INVALID_HANDLE_VALUE) return -2;
    const auto answer = qvui::showMessageBox(
        this,
        QStringLiteral("The modified parameter values need to be Apply first to be saved to parameters file.\n"
                       "Click OK to continue."),
        QStringLiteral("Export Parameters"), qvui::MessageIcon::Warning, qvui::MessageButtons::OkCancel,
        qvui::MessageAnswer::Cancel);
    if (answer != qvui::MessageAnswer::Ok) return -1;
    pageState(1);
    const int result = ExportParameterFile(c_, this);
    if (result == 0)
        qvui::showMessageBox(this, QStringLiteral("Export Parameters File Success."),
                             QStringLiteral("Export Parameters File Success."));
    else if (result == 1)
        stopBox(this, QStringLiteral("Export Parameters File Failed."));
    pageState(0);
    return result;
}

int CQVParaDlg::ReloadDefaultParameters() {
    if (c_.dev.device == INVALID_HANDLE_VALUE) return -2;
    const auto answer = qvui::showMessageBox(
        this,
        QStringLiteral("Warning! Most of the VCX parameters will be reset to firmware default values.\n"
                       "Check these parameters reset to default or not :\n1. Host interface parameters.\n"
                       "2. Panel info parameters."),
        QStringLiteral("Reload Default"), qvui::MessageIcon::Warning, qvui::MessageButtons::YesNoCancel,
        qvui::MessageAnswer::No);
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    const HANDLE dev = c_.dev.device;
    if (answer == qvui::MessageAnswer::Yes) {
        // Older parameter versions of the newer firmware take the full reload only
        // after a reset: the main window repeats it at the next arrival.
        pageState(c_.dev.paraVersion < 126 && c_.dev.newFirmware ? 2 : 1);
        if (t.ReloadAllDefaultParameter) t.ReloadAllDefaultParameter(dev);
    } else if (answer == qvui::MessageAnswer::No) {
        pageState(1);
        if (t.ReloadDefaultParameter) t.ReloadDefaultParameter(dev);
    } else {
        return 2;
    }
    uint8_t status = 0;
    if (t.FlushParameter) t.FlushParameter(dev, &status);
    qvui::sendMessage(mainWindow(), qvui::WM_DISCONNECT_DEVICE);
    // Idle again; a reload asked for the next arrival (state 2) stays asked.
    pageState(0);
    return answer == qvui::MessageAnswer::Yes ? 0 : 1;
}

} // namespace vcx
