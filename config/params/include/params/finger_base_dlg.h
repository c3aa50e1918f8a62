// The newer set's finger pages (templates 163 and 164) and base-update page
// (166), loaded without a tab.
#pragma once

#include "params/para_parent_dlg.h"

namespace vcx {

class CQVxF6FingerDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 163;
    CQVxF6FingerDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void sliderEnded(int position);
    void step(bool up);
    void clickSwitch();

private:
    void showLevel();
    SwitchGroup recognize_;
    EditGroup edits_;
    SupportMask support_;
};

class CQVxF6Finger2Dlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 164;
    CQVxF6Finger2Dlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void clickSwitch(int index);

private:
    SwitchGroup switches_;
    EditGroup edits_;
    SupportMask support_;
};

class CQVxF6BaseDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 166;
    CQVxF6BaseDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void EnableDlgItem() override;

private:
    EditGroup edits_;
    SupportMask support_;
    uint8_t driverShown_ = 1;  // item 0 + 1
};

} // namespace vcx
