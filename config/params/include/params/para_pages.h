// The parameter pages the sheet creates, each in its own header.
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

// The page of a template 160..176 or 180..185, made hidden as a child of `parent`.
CQVParaParentDlg* MakeParameterPage(Controller& c, int templateId, QWidget* parent);

} // namespace vcx
