// The anti-noise pages: the newer set's (template 169, the sheet's "Anti-Noise"
// tab) with the low-pass filter slider, the switches and the two radio pairs
// chosen by which items the controller has, and the older set's (184), the
// slider alone.
#pragma once

#include "params/para_parent_dlg.h"

class QGridLayout;

namespace vcx {

class CQVOldNoiseDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 184;
    CQVOldNoiseDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void sliderEnded(int position);
    void step(bool up);

protected:
    CQVOldNoiseDlg(Controller& c, int templateId, QWidget* parent);
    void buildSlider(QGridLayout* grid, int row);
    void loadSlider();
};

class CQVxF6NoiseDlg : public CQVOldNoiseDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 169;
    CQVxF6NoiseDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void CheckDlgItem() override;

    void clickSwitch(int index);  // 510 + index
    void radioClicked(int id);    // 460..469

private:
    SwitchGroup switches_;
    EditGroup edits_;
    SupportMask support_;
};

} // namespace vcx
