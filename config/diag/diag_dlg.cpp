#include "diag/diag_dlg.h"

#include "diag/diag_commands.h"
#include "diag/device_probes.h"
#include "diag/draw_test_dlg.h"
#include "diag/factory_base_dlg.h"
#include "diag/noise_scan_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/show3d_dlg.h"
#include "diag/view_window.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QFileInfo>
#include <QVBoxLayout>
#include <QProcess>

namespace vcx {

QRect DiagViewRect(int scale, const QString& dialogFontName) {
    const int height = dialogFontName == QLatin1String("Tahoma") ? scale * 385 / 100 : scale * 358 / 100;
    return QRect(scale * 9 / 100, scale * 11 / 100, scale * 725 / 100, height);
}

QRect FactoryViewRect(int scale, const QString& dialogFontName) {
    QRect r = DiagViewRect(scale, dialogFontName);
    r.moveTop(0);
    return r;
}


CQVDiagDlg::CQVDiagDlg(Controller& c, DiagState& s, QWidget* parent)
    : CQVChdParentDlg(kTemplate, parent), c_(c), s_(s) {
    addProgramStrings();
    scan_ = new CVCXScanDlg(c_, s_, this);
    noise_ = new QWidget(this);
    // The 3-D view is a window of its own, made with the page: an OpenGL
    // widget among the main window's children would change how that whole
    // window is composed (which fails where no OpenGL context can be made),
    // and as a window of the page's it is drawn black under X. The page
    // deletes it.
    view3D_ = new CVCXShowDlg(c_, s_, b3DStarted_, nullptr);
    noiseScan_ = new CScanNoiseDlg(c_, s_, noise_);
    auto* noiseLayout = new QVBoxLayout(noise_);
    noiseLayout->setContentsMargins(0, 0, 0, 0);
    noiseLayout->addWidget(noiseScan_);
    factory_ = new CQVFactoryBaseDlg(c_, s_, this);
    for (QWidget* v : allViews()) if (v) v->hide();
    // The region draw test's touch hooks, before the main window registers the touch callback.
    InstallDrawTestHooks();
    // WM_DEBUG_COMMAND 11 (value 0) and 13 (values 5, 6) run a process item of the page.
    programHooks().runDiagnosticProcessItem = [this](int item) { RunProcessItem(item); };
    // Timer 9's proposal answered Yes: the factory build view.
    programHooks().openFactoryBuildView = [this] { ShowFactoryBuildView(); };
    // WM_DEBUG_COMMAND 7 at its end: the main window's first command button
    // (Open Short Test) follows whether the page can run it.
    programHooks().diagnosticProgress = [this](int value) {
        if (value != 0xFFFF && value != 0xFFFE) return;
        if (auto* w = qobject_cast<QWidget*>(main_ ? main_.data() : window()))
            if (QWidget* b = qvui::findControl(w, 420); b && w != this) b->setEnabled(DiagnosticFirstButtonEnabled(this));
    };
    initDialog();
}

CQVDiagDlg::~CQVDiagDlg() {
    programHooks().runDiagnosticProcessItem = nullptr;
    programHooks().openFactoryBuildView = nullptr;
    programHooks().diagnosticProgress = nullptr;
    if (s_.g_pActiveScanDlg == scan_) s_.g_pActiveScanDlg = nullptr;
    if (view3D_ && view3D_->parent() != this) delete view3D_;
}

void CQVDiagDlg::setMainWindow(QObject* window) {
    main_ = window;
    scan_->setMainWindow(window);
    noiseScan_->setMainWindow(window);
    factory_->setMainWindow(window);
    if (view3D_) view3D_->setMainWindow(window);
}

void CQVDiagDlg::InitDlgItem() {
    s_.g_nDiagView = appSettings().diagIdx;
    placeViews();
    for (QWidget* v : allViews()) if (v) v->hide();
    bBuildAllowed_ = false;
    s_.g_FailMap.clear();
    s_.g_wSRVersion = 0xFF00;
    s_.g_pActiveScanDlg = scan_;
}

void CQVDiagDlg::ExitDlg() {
    appSettings().diagIdx = s_.g_nDiagView;
    scan_->ExitDlg();
    noiseScan_->ExitDlg();
    factory_->ExitDlg();
    // A 3-D view still open gives the controller its frequency mode and
    // normal scanning back, and reads no more frames into the arrays.
    if (view3D_ && view3D_->running()) view3D_->Close();
    FreeDiagBuffers(s_);
    // The frame arrays go while the device is still open.
    if (c_.api.FreeNewRawArray && c_.dev.device != INVALID_HANDLE_VALUE)
        c_.api.FreeNewRawArray(c_.dev.device, &c_.records.newRawArray);
}

void CQVDiagDlg::placeViews() {
    // The views start where the design puts them and take the page's area from
    // there on: the page is as large as its place in the main window, which may
    // be smaller or larger than the design's view size.
    const int scale = std::max(programState().screenScale, 1);
    const QRect designed = DiagViewRect(scale, font().family());
    const QSize page = size();
    const auto fill = [&](QWidget* v, QPoint at) {
        v->setGeometry(QRect(at, QSize(std::max(page.width() - at.x(), 0), std::max(page.height() - at.y(), 0))));
    };
    // The 3-D view is a window of its own, the whole screen.
    for (QWidget* v : {static_cast<QWidget*>(scan_), noise_}) fill(v, designed.topLeft());
    fill(factory_, FactoryViewRect(scale, font().family()).topLeft());
}

std::array<QWidget*, 4> CQVDiagDlg::allViews() const { return {scan_, noise_, view3D_, factory_}; }

bool CQVDiagDlg::skipsFrameArrays() const { return c_.dev.ostraModel || c_.records.fwVersion.masterInBoot != 0; }

void CQVDiagDlg::setFactoryButton(bool enabled) { factory_->SetStartEnabled(enabled); }

void CQVDiagDlg::takeSettingsOnce() {
    // The page is made before the main window loads the settings; the first
    // refresh comes after, and takes what the settings say.
    if (settingsTaken_) return;
    settingsTaken_ = true;
    s_.g_nDiagView = appSettings().diagIdx;
    scan_->TakeSettings();
}

void CQVDiagDlg::ClearDlgItem() {
    takeSettingsOnce();
    setFactoryButton(false);
    // A running 3-D view ends (and reports the page idle) before its arrays go.
    if (!skipsFrameArrays() && s_.g_nDiagView == kView3D && view3D_ && view3D_->running()) view3D_->Close();
    for (QWidget* v : allViews()) if (v) v->hide();
    if (skipsFrameArrays()) return;
    factory_->ResetProcedures();
    // A scan ends first and its worker goes idle: only then may its arrays go.
    scan_->DeviceGone();
    if (noiseScan_->running()) noiseScan_->Stop();
    if (c_.api.FreeNewRawArray) c_.api.FreeNewRawArray(c_.dev.device, &c_.records.newRawArray);
    s_.g_ColumnFlags.clear();
    s_.g_FailMap.clear();
}

void CQVDiagDlg::UpdateDlgItem() {
    takeSettingsOnce();
    s_.g_wSRVersion = 0xFFFF;
    bDeviceReady_ = false;
    bool built = false;
    if (!skipsFrameArrays() && c_.api.BuildNewRawArray) {
        // Arrays kept from a device that was closed before they could be freed.
        if (c_.records.newRawArray.whole && c_.api.FreeNewRawArray)
            c_.api.FreeNewRawArray(c_.dev.device, &c_.records.newRawArray);
        built = c_.api.BuildNewRawArray(c_.dev.device, &c_.records.newRawArray) != 0;
    }
    if (!built) {
        setFactoryButton(false);
        for (QWidget* v : {static_cast<QWidget*>(scan_), noise_, static_cast<QWidget*>(factory_)}) v->hide();
        s_.g_nDiagView = kViewNone;
        return;
    }
    bDeviceReady_ = true;
    readLayoutGroups();
    s_.g_nFHMode = uint32_t(SendCmdReadF5(c_, 0x0F));
    LoadPanelLayout(c_, s_);
    noiseScan_->Refresh();
    UpdateBuildEnable();
    scan_->ResetCounters();
    if (c_.dev.featureFlags[0] & 0x01) factory_->Refresh();
    if (s_.g_nDiagView == kViewFactory && !bBuildAllowed_) s_.g_nDiagView = kViewScan;
    const CommandLineOptions& o = startupState().options;
    if (!o.optOS && !o.optSR && o.optNL == 0xFF) {
        switch (s_.g_nDiagView) {
        case kViewNoise: showOnly(noise_); break;
        case kViewFactory: showOnly(factory_); break;
        case kViewScan:
        default: ShowScanView(); break;
        }
    }
}

void CQVDiagDlg::readLayoutGroups() {
    // The panel layout and the checks read the panel, finger, coordinate and
    // drive-IC groups; a group the device read-out has not read yet is read here.
    ProgramRecords& r = c_.records;
    const ParameterFunctionTable& t = r.paraFuncTable;
    if (r.panel.valid && r.finger.valid && r.coordinate.valid && r.driveIC.valid) return;
    if (!t.GetParameterGeneralInfo) return;
    if (!r.generalInfo.valid) {
        r.generalInfo.cbSize = sizeof r.generalInfo;
        if (!t.GetParameterGeneralInfo(c_.dev.device, &r.generalInfo) || !r.generalInfo.valid) return;
    }
    const uint16_t groups = r.generalInfo.groupMask;
    if (!r.panel.valid && t.GetParameterPanel) t.GetParameterPanel(c_.dev.device, groups, &r.panel);
    if (!r.finger.valid && t.GetParameterFinger) t.GetParameterFinger(c_.dev.device, groups, &r.finger);
    if (!r.coordinate.valid && t.GetParameterCoordinate)
        t.GetParameterCoordinate(c_.dev.device, groups, &r.coordinate);
    if (!r.driveIC.valid && t.GetParameterDriveIC) t.GetParameterDriveIC(c_.dev.device, groups, &r.driveIC);
}

void CQVDiagDlg::UpdateBuildEnable() {
    bBuildAllowed_ = vcx::UpdateBuildEnable(c_.dev.featureFlags, programState().engineerMode, s_.g_wSRVersion,
                                            IsFirmwareId1711(c_.records.fwInformation));
    setFactoryButton(bBuildAllowed_);
}

void CQVDiagDlg::showOnly(QWidget* shown) {
    for (QWidget* v : {static_cast<QWidget*>(scan_), noise_, static_cast<QWidget*>(factory_)}) v->setVisible(v == shown);
}

void CQVDiagDlg::OnToolbarAction(qint64 action) {
    switch (action) {
    case 0: ShowScanView(); break;
    case 1: ShowNoiseView(); break;
    case 2: Show3DView(); break;
    case 3: ShowFactoryBuildView(); break;
    default: break;
    }
}

void CQVDiagDlg::ShowScanView() {
    s_.g_nDiagView = kViewScan;
    showOnly(scan_);
    scan_->SetRunState(0);
}

void CQVDiagDlg::ShowNoiseView() {
    s_.g_nDiagView = kViewNoise;
    showOnly(noise_);
    // A "-nl" value starts the noise test at once, in the noise view, once.
    const CommandLineOptions& o = startupState().options;
    if (o.optNL != 0xFF && !noiseCommandLineStarted_) {
        noiseCommandLineStarted_ = true;
        noiseScan_->StartCommandLine(o.optNL);
    }
}

void CQVDiagDlg::Show3DView() {
    if (programState().engineerMode) {
        const QString viewer = programState().programFolder + QLatin1String(kTessalyFileName);
        if (QFileInfo(viewer).isFile()) {
            QProcess::startDetached(viewer, {});
            return;
        }
    }
    if (s_.UseTabletPC != 0) {
        const QString text = QString::fromLatin1(kTessalyTabletText);
        if (qvui::showMessageBox(this, text, text, qvui::MessageIcon::None, qvui::MessageButtons::OkCancel) ==
            qvui::MessageAnswer::Cancel)
            return;
    }
    s_.g_nDiagView = kView3D;
    b3DStarted_ = false;
    view3D_->setMainWindow(main_ ? main_.data() : window());
    view3D_->Start();
    if (QObject* w = main_ ? main_.data() : window()) qvui::sendMessage(w, qvui::WM_PAGE_STATE, 1, kTemplate);
}

void CQVDiagDlg::ShowFactoryBuildView() {
    s_.g_nDiagView = kViewFactory;
    showOnly(factory_);
}

void CQVDiagDlg::RunProcessItem(int item) {
    switch (item) {
    case 1:
        showOnly(scan_);
        scan_->SetRunState(2);
        break;
    case 2:
        // The three patterns in turn, reported into "NoiseLevelReport.csv" of the report folder.
        showOnly(noise_);
        noiseScan_->StartProcess(NoiseProcessReportPath(scanShared().processReportFolder));
        break;
    case 4:
        if (bBuildAllowed_)
            factory_->AutoStart();
        else if (QObject* w = main_ ? main_.data() : window())
            qvui::postMessage(w, qvui::WM_PROCESS_STEP, 2, 3);
        break;
    case 5:
    case 6:
        showOnly(scan_);
        scan_->SetRunState(item);
        break;
    default: break;
    }
}

bool CQVDiagDlg::RunCommandLineTest() {
    if (s_.g_wSRVersion == 0xFF00) return true;  // no device was ever read out
    const CommandLineOptions& o = startupState().options;
    if (o.optOS) {
        s_.g_nDiagView = kViewScan;
        showOnly(scan_);
        scan_->SetRunState(0);
        return false;
    }
    if (o.optNL != 0xFF) {
        ShowNoiseView();
        return false;
    }
    if (o.optSR && bBuildAllowed_) {
        ShowFactoryBuildView();
        factory_->AutoStart();
        return false;
    }
    return true;
}

void CQVDiagDlg::ResizeToParent(int sizeType) {
    if (!firstSizeSeen_) {
        rcFirst_ = geometry();
        firstSizeSeen_ = true;
        return;
    }
    resize(SizeForParent(this, rcFirst_.size(), sizeType));
    scan_->Relayout(sizeType);
    factory_->LayoutControls(sizeType);
}

bool CQVDiagDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TOOLBAR_ACTION) {
            OnToolbarAction(m->lParam());
            return true;
        }
        if (m->message() == qvui::WM_TIMER) return true;  // the page's timer does nothing of its own
    }
    if (e->type() == QEvent::Resize) placeViews();
    return CQVChdParentDlg::event(e);
}

// ---- the main window's requests --------------------------------------------------------------

int& diagnosticProcessItem() {
    static int item = 1;
    return item;
}

void DiagnosticRunProcessItem(CQVChdParentDlg* page, int item) {
    if (auto* diag = qobject_cast<CQVDiagDlg*>(page)) diag->RunProcessItem(item);
}

bool DiagnosticFirstButtonEnabled(const CQVChdParentDlg* page) {
    const auto* diag = qobject_cast<const CQVDiagDlg*>(page);
    return diag && diag->isUsable() && !scanShared().g_bScanRunning;
}

}  // namespace vcx
