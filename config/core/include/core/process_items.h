// The production process: its seven items, their names and report files, and
// how the process page and the main window hand items and results to each other.
//
//   - The process page asks the main window to run an item by posting it
//     WM_PROCESS_STEP (0, item): StartProcessItem.
//   - The main window runs the item (its WM_PROCESS_STEP handler) and answers
//     with WM_PROCESS_STEP (result, item) posted to the window the page put in
//     processPage().window: PostProcessResult. Result 1 is a pass, anything
//     else a failure (the firmware verification gives 2, 3 or 4).
//   - What the main window needs of the page while an item runs goes through
//     the other entries of processPage(), which the page fills while it lives
//     and empties when it goes: the scan view for items 2 and 7, the page's
//     next step for main timer 14 (a tick that only arrives from outside), and
//     the "Do not touch panel" banner that the scan view hides when its run ends.
//
// Every item writes its report into the product's report prefix (the scan
// views' processReportFolder): prefix + ProcessItemReportName(item). The
// process page copies those files into its detail report in list order.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>
#include <vector>

namespace vcx {

enum ProcessItem : int {
    kItemVerifyFirmware = 1,
    kItemOpenShort = 2,
    kItemBuildReference = 3,
    kItemDrawTest = 4,
    kItemFirmwareUpdate = 5,
    kItemNoiseLevel = 6,
    kItemDiagnostic = 7,
};
constexpr int kProcessItemCount = 7;

// The results an item answers with (wParam of WM_PROCESS_STEP); 0 starts an item.
enum ProcessResult : int {
    kProcessStart = 0,
    kProcessPass = 1,
    kProcessFail = 2,
    // The firmware verification's further failures: a slave differs, the parameter CRC differs.
    kProcessSlaveMismatch = 3,
    kProcessCrcMismatch = 4,
};

// "Verify Firmware Information", "Open / Short Test", "Build System Reference",
// "Drawing Test", "Firmware Update", "Noise Level", "Diagnostic Test";
// nullptr outside 1..7.
const char* ProcessItemName(int item);
// The file an item writes after the product prefix: "VerifyFirmwareInformationReport.csv",
// "OpenShortTestReport.csv", "BuildSystemReferenceReport.csv", "DrawTestReport.csv",
// "FirmwareUpdateReport.csv", "NoiseLevelReport.csv", "DiagnosticTestReport.csv";
// empty outside 1..7.
std::string ProcessItemReportName(int item);

// The process page's side of the traffic; each entry empty while there is none.
struct ProcessPageLink {
    // Where the main window posts WM_PROCESS_STEP (result, item).
    QPointer<QObject> window;
    // Item 2: the banner placed, the page's scan view shown with run state 1.
    std::function<void()> showScanForOpenShort;
    // Item 7: the average golden sample loaded and the scan view shown with run
    // state 4, or WM_PROCESS_STEP (2, 7) posted to the page itself.
    std::function<void()> showScanForDiagnostic;
    // Main timer 14: the page's next step.
    std::function<void()> nextStep;
    // A scan item ended (the scan view's timer 2): the banner hidden.
    std::function<void()> hideBanner;
};
ProcessPageLink& processPage();

// WM_PROCESS_STEP (0, item) posted to the main window.
void StartProcessItem(QObject* mainWindow, int item);
// WM_PROCESS_STEP (result, item) posted to processPage().window; false when there is none.
bool PostProcessResult(int result, int item);

// The firmware-update log of a process run: the lines the main window puts at
// its head when item 5 starts, then the Field Update page's own; the page
// writes them into the item's report when the update ends.
std::vector<std::string>& firmwareUpdateLog();

}  // namespace vcx
