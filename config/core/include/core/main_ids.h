// The numbers the main window is built from: its pages, the templates that
// name them in window messages, its control ids and its numbered timers.
#pragma once

namespace vcx {

// Pages by index.
enum PageIndex { kPageDiagnostic = 0, kPageParameters, kPageFieldUpdate, kPageDebug, kPageProcessConfig,
                 kPageInformation, kPageCount };

// Dialog templates: the main window, and the pages' ids in WM_PAGE_STATE.
constexpr int kTemplateMain = 101;
constexpr int kTemplateFieldUpdate = 103;
constexpr int kTemplateParameters = 104;
constexpr int kTemplateDiagnostic = 105;
constexpr int kTemplateDebug = 106;
constexpr int kTemplateInformation = 109;
constexpr int kTemplateProcessConfig = 155;

// The device read-out.
constexpr int kIdHostInterface = 300;
constexpr int kIdPanelInformation = 302;
constexpr int kIdFirmwareVersionLabel = 303;
constexpr int kIdFirstSlaveVersionLabel = 304; // 304..307: slaves 1..4
constexpr int kIdMasterVersion = 308;
constexpr int kIdFirstSlaveVersion = 309;      // 309..312: slaves 1..4
constexpr int kIdPicture = 313;
constexpr int kIdHostInterfaceLabel = 340;
constexpr int kIdPanelInformationLabel = 341;
constexpr int kIdParamCrcLabel = 349;
constexpr int kIdParamCrc = 368;
constexpr int kMaxSlaves = 4;

// The eight page buttons: Draw, Refresh, then one per page in page order.
constexpr int kIdDraw = 401;
constexpr int kIdRefresh = 402;
constexpr int kIdFirstPageButton = 403;
constexpr int kIdLastButton = 408;
constexpr int kButtonCount = kIdLastButton - kIdDraw + 1;
constexpr int pageButtonId(int page) { return kIdFirstPageButton + page; }

// The four command buttons the current page receives, and the two switches of the Debug page.
constexpr int kIdFirstCommand = 420; // 420..423
constexpr int kCommandCount = 4;
constexpr int kIdShowNotification = 438;
constexpr int kIdTouchAndHalt = 439;

// Window timers.
constexpr int kTimerProcessExit = 1;       // the process dialog ends the program
constexpr int kTimerReread = 2;            // the Field Update page went idle: read the device again
constexpr int kTimerReconnect = 3;         // reconnect attempts after a reset
constexpr int kTimerRefreshRestore = 4;    // Refresh usable again
constexpr int kTimerEngineerMode = 5;      // engineer-mode switch (from outside)
constexpr int kTimerExit = 6;              // end the program
constexpr int kTimerRestore = 7;           // restore from the notification area (from outside)
constexpr int kTimerReconnectSettled = 8;  // the reconnect is over
constexpr int kTimerProposal = 9;          // system-reference proposal
constexpr int kTimerFileArgument = 10;     // hand the command line's file to the Field Update page
constexpr int kTimerExtraMode = 11;        // extra-mode switch (from outside)
constexpr int kTimerArrival = 12;          // arrival countdown
constexpr int kTimerRemoval = 13;          // removal countdown
constexpr int kTimerProcessStep = 14;      // the process dialog's next step (from outside)
constexpr int kTimerCommandLineTest = 15;  // the Diagnostic page's command-line test
constexpr int kTimerFitWorkArea = 16;      // fit the window to the work area
constexpr int kTimerCount = 16;

} // namespace vcx
