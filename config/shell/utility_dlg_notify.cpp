// The main window's notification side: the abnormal-state window, the
// notification-area icon and its menu, the touch callback's registration, the
// numbered requests of WM_DEBUG_COMMAND, the mouse part of the key filter, and
// the system-reference proposal and extra-mode timers.
#include "shell/utility_dlg.h"

#include "diag/diag_commands.h"
#include "diag/diag_state.h"
#include "core/chd_parent_dlg.h"
#include "core/parameter_read.h"
#include "shell/abn_msg_dlg.h"
#include "core/app_settings.h"
#include "shell/app_startup.h"
#include "core/device_finder.h"
#include "core/device_text.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/tip_controls.h"
#include "shell/touch_routing.h"
#include "shell/tray_icon.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace vcx {

namespace {

// A request whose work belongs to a page this version does not have: said
// once on the program's log, never dropped without a word.
void notBuilt(const char* what) {
    qInfo("VCXMSet: %s is not part of this version", what);
}

} // namespace

void CVCXUtilityDlg::initNotifications() {
    // Step 13: the abnormal-state window, hidden, at its saved place.
    if (!abnMsg_) {
        abnMsg_ = new CQVAbnMsgDlg(this, [this] {
            if (c_.api.EnablePCAPScan && c_.dev.device != INVALID_HANDLE_VALUE) c_.api.EnablePCAPScan(c_.dev.device, 1);
        });
    }
    abnMsg_->initDialog(QPoint(appSettings().abnPos.x, appSettings().abnPos.y));
    // The notification-area icon, shown from the start.
    if (!tray_) tray_ = new TrayIcon(this);
    tray_->add();
    // Step 18: the touch callback.
    registerTouchNotifications(c_);
    // The mouse part of the key filter sees every widget of the program's windows.
    qApp->installEventFilter(this);
}

void CVCXUtilityDlg::exitNotifications() {
    qApp->removeEventFilter(this);
    trayRemove();
    if (abnMsg_) {
        appSettings().abnPos = {abnMsg_->pos().x(), abnMsg_->pos().y()};
        abnMsg_->hideAndStop();
    }
}

void CVCXUtilityDlg::trayRemove() {
    if (tray_) tray_->remove();
}

void CVCXUtilityDlg::trayAfterReadout(bool masterInBoot) {
    if (!tray_) return;
    tray_->setDeviceItems(!c_.dev.ostraModel && !masterInBoot, appSettings().options & kOptAbnMsg);
}

void CVCXUtilityDlg::trayAfterClear() {
    if (abnMsg_) abnMsg_->hideAndStop();
    if (!tray_) return;
    tray_->setDeviceItems(false, false);
    tray_->modify(QString::fromLatin1(kTrayTip), {});
}

void CVCXUtilityDlg::onTimerRestoreTray() {
    if (!tray_) return;
    if (QAction* a = qvui::findMenuAction(tray_->menu(), kTrayRestore)) a->setText(QStringLiteral("&Utility Restore"));
    tray_->modify(tray_->tip(), tray_->balloon());
}

void CVCXUtilityDlg::onTrayNotify(quint64 id, qint64 mouse) {
    if (id != quint64(kTrayIconId) || !tray_) return;
    raise();
    activateWindow();
    int item = 0;
    if (mouse == kTrayLButtonUp || mouse == kTrayRButtonUp) {
        QAction* picked = qvui::popupMenu(tray_->menu(), QCursor::pos());
        item = picked ? qvui::menuId(picked) : 0;
    } else if (mouse == kTrayLButtonDblClk) {
        item = kTrayRestore;
    }
    switch (item) {
    case kTrayRestore:
        showNormal();
        trayRemove();
        break;
    case kTrayReset:
        qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 0, 0);
        break;
    case kTrayLogInfo:
        qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 1, 0);
        break;
    case kTrayShowNotification:
        qvui::findControl<QPushButton>(this, kIdShowNotification)->setChecked(appSettings().options & kOptAbnMsg);
        break;
    case kTrayExit:
        ExitDlg();
        break;
    default:
        break;
    }
}

void CVCXUtilityDlg::onAbnormalState(int kind, qint64 value) {
    if (!(appSettings().options & kOptAbnMsg) || !abnMsg_) return;
    abnMsg_->SetAbnormalState(int(value & 0xFFFF), kind == 0x30);
}

void CVCXUtilityDlg::lockForDebugProgress(qint64 value, int templateId) {
    // The start locks the page buttons as a busy page does; the end unlocks them.
    if (value != 0 && value != 0xFFFF && value != 0xFFFE) return;
    const int state = value == 0 ? 1 : 0;
    onPageState(state, templateId);
    for (int page : {int(kPageDebug), int(kPageInformation)})
        qvui::sendMessage(pages_[size_t(page)], qvui::WM_PAGE_STATE, quint64(state), templateId);
}

void CVCXUtilityDlg::onDebugCommand(int code, qint64 value) {
    const ProgramHooks& hooks = programHooks();
    auto setCommandsEnabled = [this](std::initializer_list<int> ids) {
        for (int id : ids)
            if (QWidget* b = qvui::findControl(this, id)) b->setEnabled(false);
    };
    switch (code) {
    case 0:
        if (abnMsg_) qvui::sendMessage(abnMsg_, qvui::WM_USER + 2, 0, 0);
        break;
    case 1:
    case 7:
        if (abnMsg_) abnMsg_->showProgress(int(value), startupState().options.optSR);
        lockForDebugProgress(value, code == 1 ? kTemplateDebug : kTemplateDiagnostic);
        if (code == 7) {
            if (hooks.diagnosticProgress) hooks.diagnosticProgress(int(value));
            else notBuilt("the Diagnostic page's progress button (WM_DEBUG_COMMAND 7)");
        }
        break;
    case 2:
        qvui::findControl<QPushButton>(this, kIdShowNotification)->setChecked(appSettings().options & kOptAbnMsg);
        break;
    case 3:
        debugButtonsAllowed_ = value == 1;
        if (!programState().engineerMode) refreshHaltButtons();
        break;
    case 4:
    case 5:
    case 8:
    case 10:
        qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, quint64(code), value);
        break;
    case 6:
        UpdateDlgItem();
        break;
    case 9: {
        c_.dev.parametersRead = ReadAllParameters(c_, this);
        uint16_t crc[2] = {0, 0};
        CheckParameterCRC(c_, crc);
        if (diagState().ParametersCRC)
            SetDlgItemText(this, kIdParamCrc, QString::asprintf("x%04X", crc[0]));
        break;
    }
    case 11:
        if (value == 0) {
            if (abnMsg_) abnMsg_->hide();
            SelectPage(kPageDiagnostic, 2);
            setCommandsEnabled({420, 421, 422, 423});
            if (hooks.runDiagnosticProcessItem) hooks.runDiagnosticProcessItem(diagnosticProcessItem());
            else notBuilt("the Diagnostic page's process item (WM_DEBUG_COMMAND 11)");
        } else if (value == 1) {
            SelectPage(kPageDebug, 2);
            setCommandsEnabled({420, 421, 422, 423, kIdShowNotification, kIdTouchAndHalt});
            if (abnMsg_) abnMsg_->show();
            qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 11, 1);
        }
        break;
    case 12:
        qvui::findControl<QPushButton>(this, kIdTouchAndHalt)->setChecked(false);
        break;
    case 13:
        if (value == 5 || value == 6) {
            SelectPage(kPageDiagnostic, 2);
            setCommandsEnabled({420, 421, 422, 423});
            // The value is the item: the golden-sample scan's create (5) or update (6).
            if (hooks.runDiagnosticProcessItem) hooks.runDiagnosticProcessItem(int(value));
            else notBuilt("the Diagnostic page's process item (WM_DEBUG_COMMAND 13)");
        } else if (value == 0) {
            SelectPage(kPageProcessConfig, 2);
            if (hooks.refreshGoldenSampleCaption) hooks.refreshGoldenSampleCaption();
            else notBuilt("the golden-sample caption (WM_DEBUG_COMMAND 13)");
        }
        break;
    default:
        qWarning("VCXMSet: WM_DEBUG_COMMAND with unknown code %d", code);
        break;
    }
}

bool systemReferenceProposalWanted(uint32_t options, uint16_t statusWord) {
    return (options & kOptFBInitDlg) && statusWord < 0xFF00 && statusWord <= 199;
}

void CVCXUtilityDlg::onProposalTick() {
    // E0 00 F7: bit 0 of reply byte 1 says the controller has its system reference state ready.
    const int ready = c_.dev.device != INVALID_HANDLE_VALUE ? SendCmdQueryE0(c_, 0xF7, 1) : -1;
    if (ready >= 0 && (ready & 0x01)) {
        timers_->stop(kTimerProposal);
        proposalTicks_ = 0;
        uint16_t status = 0;
        if (SendCmdGetStatusE4(c_, &status) && (status & 0x01) && !pageBusy_) {
            QString version = fieldText(kIdMasterVersion);
            const int boot = version.indexOf(QStringLiteral("Boot"));
            if (boot >= 0) version.truncate(boot);
            const QString text = version + QStringLiteral(
                "should be work normally with system reference, which has not built in this control board.\n"
                "Would you like to build system reference now?");
            const auto answer = qvui::showMessageBox(this, text, QStringLiteral("System reference build"),
                                                     qvui::MessageIcon::Warning, qvui::MessageButtons::YesNo);
            if (answer == qvui::MessageAnswer::Yes) {
                if (preferredPage_ != kPageDiagnostic) SelectPage(kPageDiagnostic, 1);
                if (programHooks().openFactoryBuildView) programHooks().openFactoryBuildView();
                else notBuilt("the Diagnostic page's factory build view (timer 9)");
            }
        }
        return;
    }
    if (++proposalTicks_ >= 7) {
        timers_->stop(kTimerProposal);
        proposalTicks_ = 0;  // a later read-out counts afresh
    }
}

void CVCXUtilityDlg::onExtraModeTick() {
    timers_->stop(kTimerExtraMode);
    // The Parameters page's usable flag is what the last ReadAllParameters gave.
    if (!c_.dev.parametersRead || c_.dev.paraVersion <= 123 || updateBusy_ || connection_.reconnectPending() ||
        pageBusy_)
        return;
    extraModeOn_ = !extraModeOn_;
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ExtraModeSwitch) t.ExtraModeSwitch(c_.dev.device, extraModeOn_ ? 1 : 0);
    c_.dev.parametersRead = ReadAllParameters(c_, this);
    pages_[kPageParameters]->UpdateDlgItem();
}

bool CVCXUtilityDlg::mouseFilter(QObject* watched, QEvent* e) {
    if (startupState().pdLineState != 0) return false;
    const bool press = e->type() == QEvent::MouseButtonPress || e->type() == QEvent::NonClientAreaMouseButtonPress;
    if (!press || static_cast<QMouseEvent*>(e)->button() != Qt::LeftButton) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    QWidget* window = w->window();
    const ProgramHooks& hooks = programHooks();
    QWidget* editor = hooks.byteEditor ? hooks.byteEditor() : nullptr;
    if (editor && window == editor) return false; // the byte editor's own clicks are its own
    if (editor && editor->isVisible()) {
        qvui::sendMessage(editor, qvui::WM_TRAY_NOTIFY, 0, 0);
        return false;
    }
    for (auto& pair : g_TipWnd)
        for (CQVMyTipDlg* tip : pair)
            if (tip && tip->isVisible() && window != tip) tip->hide();
    return false;
}

bool CVCXUtilityDlg::eventFilter(QObject* watched, QEvent* e) {
    // Only the program's own windows: the main window, its pages and its dialogs.
    if (auto* w = qobject_cast<QWidget*>(watched); w && (w->window() == this || w->window()->parent() == this))
        mouseFilter(watched, e);
    return QDialog::eventFilter(watched, e);
}

} // namespace vcx
