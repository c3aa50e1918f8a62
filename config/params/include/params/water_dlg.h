// The water pages: the older set's (template 183, the sheet's "Water" tab) with
// the three water-mode pictures, the newer set's (167) with the mode pictures,
// the lock-one-contact switch, two sliders and the negative-signal edits, and
// the abnormal-scan water page (168).
#pragma once

#include "params/para_parent_dlg.h"
#include "core/controller_api.h"

class QGridLayout;

namespace vcx {

// The mode picture index of a water mode: 0 OFF, 1 Water Detect, 2 Water Performance.
int WaterModeIndex(int mode);
// The picture of mode picture `index` when `selected` index is chosen: 206, 208,
// 210 chosen, 207, 209, 211 not.
int WaterModeBitmap(int index, int selected);

class CQVOldWaterDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 183;
    CQVOldWaterDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;

    // A click on mode picture 510 + index.
    void clickMode(int index);
    // Where WM_DEBUG_COMMAND (3, index) goes; the top-level window unless set.
    void setMainWindow(QObject* w) { main_ = w; }

protected:
    CQVOldWaterDlg(Controller& c, int templateId, QWidget* parent);
    void buildModePictures(QGridLayout* grid, int row);
    void loadModePictures();
    virtual void modeChanged() {}

private:
    QObject* main_ = nullptr;
};

class CQVxF6WaterDlg : public CQVOldWaterDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 167;
    CQVxF6WaterDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void CheckDlgItem() override;

    void clickLockSwitch();
    void sliderEnded(int slider, int position);  // slider 0 (504) or 1 (505)
    void step(int slider, bool up);

protected:
    void modeChanged() override { CheckDlgItem(); }

private:
    SwitchGroup lock_;
    EditGroup edits_;
    SupportMask support_;
};

class CQVxF6Water2Dlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 168;
    CQVxF6Water2Dlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void sliderEnded(int slider, int position);
    void step(int slider, bool up);

private:
    EditGroup edits_;
    SupportMask support_;
};

} // namespace vcx
