// The main window's pages, one row each in page order: the dialog template
// that names the page in window messages, and the factory that makes it as a
// child of the main window's page area. A page that is built replaces its
// row's factory (its class lives in pages/, params/ or diag/); the main window
// itself does not change.
#pragma once

#include "shell/main_ids.h"

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

// The Field Update page lives beside the shell (config/update/): the program
// sets its factory at start; without one the row makes a placeholder page.
using PageFactory = CQVChdParentDlg* (*)(Controller& c, QWidget* parent);
void setFieldUpdatePageFactory(PageFactory make);

// The page whose template this is; -1 for a window that is not a page.
int pageOfTemplate(int templateId);

} // namespace vcx
