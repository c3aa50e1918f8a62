// The main window's WM_PROCESS_STEP: each production item started on its
// request (wParam 0) and every result passed on to the process page.
#include "shell/utility_dlg.h"

#include "core/chd_parent_dlg.h"
#include "core/process_items.h"
#include "core/program_hooks.h"
#include "core/report_header.h"
#include "diag/diag_commands.h"
#include "diag/scan_dlg.h"
#include "params/firmware_file.h"
#include "shell/automation.h"
#include "update/update_dlg.h"
#include "ui/window_message.h"

namespace vcx {

namespace {

// The item's report in the product's report prefix.
std::string itemReportPath(int item) { return scanShared().processReportFolder + ProcessItemReportName(item); }

}  // namespace

void CVCXUtilityDlg::onProcessStep(int state, int item) {
    const ProgramHooks& hooks = programHooks();
    const ProcessPageLink& proc = processPage();
    // Items 1 and 4 run whatever wParam says; the others pass a result on.
    const bool start = state == kProcessStart || item == kItemVerifyFirmware || item == kItemDrawTest;
    if (!start && item >= 1 && item <= kProcessItemCount) {
        PostProcessResult(state, item);
        return;
    }
    switch (item) {
    case kItemVerifyFirmware: {
        const int result = VerifyFirmwareInformation(c_, loadedFirmware());
        WriteVerificationReport(itemReportPath(item), ReportDeviceOf(c_), loadedFirmware(), result);
        PostProcessResult(result, item);
        break;
    }
    case kItemOpenShort:
        if (proc.showScanForOpenShort) proc.showScanForOpenShort();
        else PostProcessResult(kProcessFail, item);
        break;
    case kItemBuildReference:
        // The Diagnostic page starts its factory build when it allows one, and
        // otherwise posts this window (2, 3).
        DiagnosticRunProcessItem(pages_[kPageDiagnostic], 4);
        break;
    case kItemDrawTest: {
        // No draw test to run: "Draw Test Failed." and a failure.
        const int result = hooks.runDrawTest ? hooks.runDrawTest(this) : 0;
        WriteDrawTestReport(itemReportPath(item), ReportDeviceOf(c_), result);
        PostProcessResult(result == kProcessStart ? kProcessFail : result, item);
        break;
    }
    case kItemFirmwareUpdate: {
        auto* update = qobject_cast<CQVUpdateDlg*>(pages_[kPageFieldUpdate]);
        if (!update) {
            PostProcessResult(kProcessFail, item);
            break;
        }
        firmwareUpdateLog() = FirmwareUpdateLogHeader(ReportDeviceOf(c_), loadedFirmware());
        update->StartForProcess(QString::fromStdString(itemReportPath(item)));
        break;
    }
    case kItemNoiseLevel:
        if (hooks.startProcessNoiseScan) hooks.startProcessNoiseScan(QString::fromStdString(itemReportPath(item)));
        else PostProcessResult(kProcessFail, item);
        break;
    case kItemDiagnostic:
        if (proc.showScanForDiagnostic) proc.showScanForDiagnostic();
        else PostProcessResult(kProcessFail, item);
        break;
    default:
        PostProcessResult(kProcessFail, item);
        break;
    }
}

}  // namespace vcx
