#include "shell/pd_line_dlg.h"

#include "core/app_settings.h"
#include "core/chd_parent_dlg.h"
#include "core/device_finder.h"
#include "core/parameter_read.h"
#include "core/program_state.h"
#include "diag/device_probes.h"
#include "diag/diag_state.h"
#include "diag/scan_dlg.h"
#include "ui/control_ids.h"
#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace vcx {

namespace {

// What the window takes from other processes: the controller program's
// requests, a close, and a second instance's activation.
constexpr qvui::RemoteMessage kPdLineRemoteMessages[] = {
    {qvui::WM_PRODUCTION_LINE, qvui::Carried::Value, qvui::Carried::Value},
    {qvui::WM_CLOSE, qvui::Carried::Unused, qvui::Carried::Unused},
    {qvui::WM_ACTIVATE_INSTANCE, qvui::Carried::Unused, qvui::Carried::Unused},
};

constexpr int kReadyPolls = 6;
constexpr int kReadyPollMs = 500;

}  // namespace

CVCXPDLineDlg::CVCXPDLineDlg(QWidget* parent)
    : QDialog(parent), c_(controller()), s_(diagState()), finder_(&deviceFinder()) {
    setWindowTitle(QLatin1String(kPdLineTitle));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Firmware Version"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Panel Information"), this), 1, 0);
    for (int row = 0; int id : {kIdMasterVersion, kIdPanelInformation}) {
        auto* field = new QLabel(this);
        field->setMinimumWidth(300);
        qvui::setControlId(field, id);
        grid->addWidget(field, row++, 1);
    }
    grid->setRowStretch(2, 1);
}

CVCXPDLineDlg::~CVCXPDLineDlg() {
    if (s_.g_pActiveScanDlg == scan_) s_.g_pActiveScanDlg = nullptr;
    if (!ended_ && bound_) {
        if (scan_) scan_->DeviceGone();
        if (c_.api.FreeNewRawArray && c_.records.newRawArray.whole)
            c_.api.FreeNewRawArray(c_.dev.device, &c_.records.newRawArray);
        if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
        c_.dev.device = INVALID_HANDLE_VALUE;
        unloadControllerLibrary(c_);
    }
}

QString CVCXPDLineDlg::fieldText(int id) const { return GetDlgItemText(const_cast<CVCXPDLineDlg*>(this), id); }

bool CVCXPDLineDlg::initDialog() {
    ProgramState& ps = programState();
    if (QScreen* s = screen()) ps.screenScale = int(s->logicalDotsPerInchY() * 100 / 96);
    ps.programFolder = QCoreApplication::applicationDirPath() + u'/';
    loadAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());

    // The open/short scan view, hidden until a controller is prepared.
    const int scale = ps.screenScale;
    scan_ = new CVCXScanDlg(c_, s_, this);
    scan_->setMainWindow(this);
    scan_->setGeometry(1, 65, 725 * scale / 100, 390 * scale / 100);
    scan_->hide();
    s_.g_pActiveScanDlg = scan_;
    s_.g_FailMap.clear();

    if (!loadControllerLibrary(this, c_, libraryCandidates(QCoreApplication::applicationDirPath()))) {
        error_ = c_.loadError.isEmpty() ? QStringLiteral("the controller library was refused") : c_.loadError;
        bound_ = c_.library != nullptr;
        return false;
    }
    bound_ = true;
    ClearDevice();
    if (FindQVDevice(c_, *finder_)) PrepareDevice();
    resize(std::max(width(), scan_->geometry().right() + 2), std::max(height(), scan_->geometry().bottom() + 2));
    // Found by the production-line program only once it can answer.
    new qvui::NamedWindow(this, kPdLineRemoteMessages);
    return true;
}

bool CVCXPDLineDlg::PrepareDevice() {
    int& state = startupState().pdLineState;
    const int before = state;
    if (state == 1) state = 0xFFFF;  // preparing
    ProgramRecords& r = c_.records;
    if (!c_.api.GetFWVersionW || !c_.api.GetFWVersionW(c_.dev.device, &r.fwVersion)) return false;
    if (!c_.api.GetFWInformationW || !c_.api.GetFWInformationW(c_.dev.device, &r.fwInformation)) return false;
    c_.dev.ostraModel = isOstraModel(r.fwInformation.productNumber);
    SetDlgItemText(this, kIdMasterVersion, wideField(r.fwVersion.master, 50));
    SetDlgItemText(this, kIdPanelInformation,
                   QStringLiteral("%1 %2").arg(wideField(r.fwInformation.panelSize, 40), wideField(r.fwInformation.coverLens, 40)));
    const int slaves = std::clamp<int>(r.fwVersion.slaveCount, 0, kMaxSlaves);
    bool inBoot = r.fwVersion.masterInBoot != 0;
    for (int k = 0; k < slaves; ++k) inBoot |= r.fwVersion.slaveInBoot[k] != 0;
    if (c_.dev.ostraModel || inBoot) return false;

    c_.dev.parametersRead = ReadAllParameters(c_, this);
    if (!c_.dev.parametersRead) return false;
    std::array<uint8_t, 8> features{};
    if (!c_.api.GetFeatureFlag || !c_.api.GetFeatureFlag(c_.dev.device, features.data())) return false;
    c_.dev.featureFlags = features;
    if (!c_.api.GetDiagnosticInfo || !c_.api.GetDiagnosticInfo(c_.dev.device, &r.diagInfo)) return false;
    if (r.newRawArray.whole && c_.api.FreeNewRawArray) c_.api.FreeNewRawArray(c_.dev.device, &r.newRawArray);
    if (!c_.api.BuildNewRawArray || !c_.api.BuildNewRawArray(c_.dev.device, &r.newRawArray)) return false;
    // Through: the state it had (a preparation begun at 0xFFFF does not make the line ready).
    state = before;
    c_.dev.newFirmware = features[0] & 0x02;
    if (slaves > 0) {
        // The slaves are ready once E0 00 F7 shows bit 0.
        for (int poll = 0; !(SendCmdReadE0(c_, 0xF7, 1) & 0x01) && poll < kReadyPolls; ++poll)
            programSleep(c_, kReadyPollMs);
    }
    c_.dev.listsRead = c_.api.GetAPBTParaList && c_.api.GetAPBTParaList(c_.dev.device, &r.paraList);
    if (c_.dev.listsRead) {
        uint16_t crc[2] = {0, 0};
        CheckParameterCRC(c_, crc);
    }
    LoadPanelLayout(c_, s_);
    scan_->ResetCounters();
    scan_->show();
    scan_->SetRunState(0);
    return true;
}

void CVCXPDLineDlg::ClearDevice() {
    SetDlgItemText(this, kIdMasterVersion, {});
    SetDlgItemText(this, kIdPanelInformation, {});
    if (!scan_->isHidden()) scan_->hide();
    // The scan's worker is done with the arrays before they go.
    scan_->DeviceGone();
    if (c_.api.FreeNewRawArray && c_.records.newRawArray.whole)
        c_.api.FreeNewRawArray(c_.dev.device, &c_.records.newRawArray);
    FreeDiagBuffers(s_);
}

void CVCXPDLineDlg::onProductionLine(quint64 wParam, qint64 lParam) {
    int& state = startupState().pdLineState;
    state = int(lParam);
    if (lParam == 1) {
        scanShared().autoNumbering = wParam != 0;
        ClearDevice();
        const bool found = FindQVDevice(c_, *finder_);
        // Ready (the preparation got through and the state is still 1): nothing to say.
        if (found && PrepareDevice() && state == 1) return;
        qvui::sendWindowMessage(QLatin1String(kProductionLineTitle), qvui::WM_PRODUCTION_LINE, 0x1000,
                                found ? kPdLineDevicePrepareStopped : kPdLineNoDevice);
    } else if (lParam == 0) {
        endDialog();
    }
}

void CVCXPDLineDlg::endDialog() {
    if (ended_) return;
    scan_->ExitDlg();  // the open/short folder back into the working folders
    ClearDevice();
    if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
    c_.dev.device = INVALID_HANDLE_VALUE;
    if (bound_) {
        unregisterNotifications(c_);
        unloadControllerLibrary(c_);
    }
    saveAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    ended_ = true;
    done(QDialog::Accepted);
}

bool CVCXPDLineDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_PRODUCTION_LINE: {
            // Carried out after the sender has its answer: the request's work
            // (a device search, an answer sent to the controller program) does
            // not run underneath the connection that brought it.
            const quint64 wParam = m->wParam();
            const qint64 lParam = m->lParam();
            QMetaObject::invokeMethod(this, [this, wParam, lParam] { onProductionLine(wParam, lParam); },
                                      Qt::QueuedConnection);
            return true;
        }
        case qvui::WM_CLOSE:
            onProductionLine(0, 0);
            return true;
        case qvui::WM_ACTIVATE_INSTANCE:
            showNormal();
            raise();
            activateWindow();
            m->setResult(1);
            return true;
        default: break;
        }
    }
    return QDialog::event(e);
}

void CVCXPDLineDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
    onProductionLine(0, 0);
}

}  // namespace vcx
