// The page a main-window page shows until its own page is built: it takes part
// in the main window's operations (as every page does) and says what it is.
#pragma once

#include "core/chd_parent_dlg.h"

namespace vcx {

class PlainPage : public CQVChdParentDlg {
    Q_OBJECT
public:
    PlainPage(int templateId, const QString& name, QWidget* parent);
};

} // namespace vcx
