// Two small pages of the newer set: the driving-IC page (template 175, the
// driving voltage and drive current stepped through their text tables) and the
// customer page (176, the point report ratio, or a message when the firmware's
// custom format is newer than this program).
#pragma once

#include "params/para_parent_dlg.h"

namespace vcx {

class CQVxF6DrvICDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 175;
    CQVxF6DrvICDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void CheckDlgItem() override;
    void step(int pair, bool up);  // 0 voltage (450/451), 1 current (452/453)

private:
    void showPair(int pair);
};

class CQVxF6CustomDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 176;
    CQVxF6CustomDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void step(bool up);
};

} // namespace vcx
