// The newer set's power-saving page (template 171): the sleep and idle
// switches, the idle scan interval stepped by a "+" / "-" pair and the idle
// delay shown as value + 1.
#pragma once

#include "params/para_parent_dlg.h"

namespace vcx {

class CQVxF6PowerDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 171;
    CQVxF6PowerDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void EnableDlgItem() override;

    void clickSwitch(int index);  // 510 sleep, 511 idle
    // 450 steps the interval index down (a longer interval), 451 up.
    void step(bool up);

private:
    void enableBy(bool on);
    SwitchGroup switches_;
    EditGroup edits_;
    SupportMask support_;
    uint8_t delayShown_ = 1;  // the idle delay + 1
};

} // namespace vcx
