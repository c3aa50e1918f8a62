#include "shell/page_table.h"

#include "diag/diag_dlg.h"
#include "pages/about_dlg.h"
#include "pages/debug_dlg.h"
#include "pages/proc_cfg_dlg.h"
#include "params/firmware_file.h"
#include "params/para_dlg.h"
#include "update/update_dlg.h"

namespace vcx {

namespace {

CQVChdParentDlg* fieldUpdatePage(Controller& c, const PageRow&, QWidget* parent) {
    return new CQVUpdateDlg(c, loadedFirmware(), parent);
}

CQVChdParentDlg* diagnosticPage(Controller& c, const PageRow&, QWidget* parent) {
    return new CQVDiagDlg(c, diagState(), parent);
}

CQVChdParentDlg* parametersPage(Controller& c, const PageRow&, QWidget* parent) { return new CQVParaDlg(c, parent); }

CQVChdParentDlg* processConfigPage(Controller& c, const PageRow&, QWidget* parent) {
    return new CQVPrcoCfgDlg(c, loadedFirmware(), parent);
}

CQVChdParentDlg* debugPage(Controller& c, const PageRow&, QWidget* parent) { return new CQVDebugDlg(c, parent); }

CQVChdParentDlg* informationPage(Controller& c, const PageRow&, QWidget* parent) { return new CQVAboutDlg(c, parent); }

} // namespace

const std::array<PageRow, kPageCount>& pageTable() {
    static const std::array<PageRow, kPageCount> rows{{
        {kPageDiagnostic, kTemplateDiagnostic, "Diagnostic", diagnosticPage},
        {kPageParameters, kTemplateParameters, "Parameters", parametersPage},
        {kPageFieldUpdate, kTemplateFieldUpdate, "Field Update", fieldUpdatePage},
        {kPageDebug, kTemplateDebug, "Debug", debugPage},
        {kPageProcessConfig, kTemplateProcessConfig, "Process Config", processConfigPage},
        {kPageInformation, kTemplateInformation, "Information", informationPage},
    }};
    return rows;
}

int pageOfTemplate(int templateId) {
    for (const PageRow& row : pageTable())
        if (row.templateId == templateId) return row.index;
    return -1;
}

} // namespace vcx
