// The newer set's palm page (template 165), the sheet's "Palm" tab in both
// page sets: only the palm-rejection switch is shown; the palm-on-edge switch
// and the three palm edits are loaded, enabled and clamped hidden, and take
// part in Apply like any other item.
#pragma once

#include "params/para_parent_dlg.h"

class QLabel;

namespace vcx {

class CQVxF6PalmDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 165;
    CQVxF6PalmDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;

    // A click on switch 510 (0) or 511 (1).
    void clickSwitch(int index);

private:
    void applyDependentState();

    SwitchGroup switches_;
    EditGroup edits_;
    SupportMask support_;
};

} // namespace vcx
