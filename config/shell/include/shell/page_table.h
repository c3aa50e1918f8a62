// The main window's pages, one row each in page order: the dialog template
// that names the page in window messages, and the factory that makes it as a
// child of the main window's page area. Each row names its page's class (in
// pages/, params/, diag/ or update/) directly; a page not built yet is a
// placeholder page.
#pragma once

#include "core/main_ids.h"

#include <array>

class QWidget;

namespace vcx {

class CQVChdParentDlg;
struct Controller;

struct PageRow {
    int index;          // PageIndex
    int templateId;
    const char* name;   // as its page button says it
    CQVChdParentDlg* (*make)(Controller& c, const PageRow& row, QWidget* parent);
};

const std::array<PageRow, kPageCount>& pageTable();

// The page whose template this is; -1 for a window that is not a page.
int pageOfTemplate(int templateId);

} // namespace vcx
