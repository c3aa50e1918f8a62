// The parameter pages the sheet creates, each in its own header; a page whose
// controls come with a later version (CQVParaPendingPage) takes part in the
// sheet's operations (created hidden, loaded, given tips) and says what it is.
#pragma once

#include "params/drvic_custom_dlg.h"
#include "params/finger_base_dlg.h"
#include "params/host_if_dlg.h"
#include "params/misc_dlg.h"
#include "params/noise_dlg.h"
#include "params/old_coord_dlg.h"
#include "params/panel_dlg.h"
#include "params/para_parent_dlg.h"
#include "params/power_dlg.h"
#include "params/water_dlg.h"
#include "params/xf6_coord_dlg.h"
#include "params/xf6_scan_dlg.h"

namespace vcx {

class CQVParaPendingPage : public CQVParaParentDlg {
    Q_OBJECT
public:
    CQVParaPendingPage(Controller& c, int templateId, const char* className, QWidget* parent);
};

#define VCX_PENDING_PARAMETER_PAGE(Name, Template)                                              \
    class Name : public CQVParaPendingPage {                                                    \
    public:                                                                                     \
        static constexpr int kTemplate = Template;                                             \
        Name(Controller& c, QWidget* parent) : CQVParaPendingPage(c, Template, #Name, parent) {} \
    };

// The newer set.
// The older set.

#undef VCX_PENDING_PARAMETER_PAGE

// The page of a template 160..176 or 180..185, made hidden as a child of `parent`.
CQVParaParentDlg* MakeParameterPage(Controller& c, int templateId, QWidget* parent);

} // namespace vcx
