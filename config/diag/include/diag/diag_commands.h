// What the main window's WM_DEBUG_COMMAND requests do on the Diagnostic page,
// as plain calls for the main window's dispatcher:
//   code 11 value 0 and code 13 values 5, 6: the page's process item runs
//     (DiagnosticRunProcessItem, or the program hook runDiagnosticProcessItem
//     that the page fills while it lives: it runs diagnosticProcessItem()),
//     after SelectPage (0, 2) and buttons 420..423 disabled; for code 13 the
//     value is the item; the scan view sends (11, 1) itself when its page item
//     ends and (13, 0) when a golden-sample scan ends;
//   code 7: the Diagnostic page's progress; its first command button follows
//     DiagnosticFirstButtonEnabled.
#pragma once

namespace vcx {

class CQVChdParentDlg;

// The process item the page runs next for code 11 value 0 (item 1, the
// open/short test of the page, unless another was set).
int& diagnosticProcessItem();

// Runs item `item` (1, 2, 4, 5, 6) on `page` when it is the Diagnostic page.
void DiagnosticRunProcessItem(CQVChdParentDlg* page, int item);
// Whether the page's first command button (Open Short Test) may be used.
bool DiagnosticFirstButtonEnabled(const CQVChdParentDlg* page);

}  // namespace vcx
