// The older set's finger page (template 182), the sheet's "Finger" tab: the
// sensitivity slider with its "-" / "+" pair and level label, and the maximum
// contact number.
#pragma once

#include "params/para_parent_dlg.h"

namespace vcx {

class CQVOldFingerDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 182;
    CQVOldFingerDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;

    // The sensitivity level as the label shows it: value - (maximum + 1) / 2.
    static int SensitivityLevel(int value, int maximum) { return value - (maximum + 1) / 2; }

    // A slider drag that ended at `position`, and the "-" (false) / "+" (true) buttons.
    void sliderEnded(int position);
    void step(bool up);

private:
    void showLevel();

    EditGroup edits_;
    SupportMask support_;
    StepRange sensitivity_;
};

} // namespace vcx
