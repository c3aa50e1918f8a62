// The newer set's misc page (template 174): watchdog, base update, event
// notify and USB remote wakeup switches and the event mask, edited in the
// event-mask dialog (template 198) the page creates hidden and shows on a
// click on the mask.
#pragma once

#include "params/para_parent_dlg.h"

#include <QDialog>

namespace vcx {

class CQVEventMaskDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 198;
    explicit CQVEventMaskDlg(QWidget* parent);

    // Shows the dialog with the mask: boxes 470..477 = bits 0..7, the edit "%02X".
    void showMask(uint8_t mask);
    // The byte the boxes make.
    uint8_t boxesValue() const;
    // Called by APPLY (button 1) with the byte to write.
    std::function<void(uint8_t)> applied;

protected:
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void boxClicked();
    void typed(const QString& text);
    void setBoxes(uint8_t mask);
    int lastTyped_ = -1;
    bool writing_ = false;
};

class CQVxF6MiscDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 174;
    CQVxF6MiscDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SetDlgItemTip() override;
    void CheckDlgItem() override;

    void clickSwitch(int index);  // 510 + index
    void clickMask();             // label 320
    CQVEventMaskDlg* eventMaskDialog() const { return mask_; }

private:
    void showMaskLabel();
    SwitchGroup switches_;
    CQVEventMaskDlg* mask_ = nullptr;
};

} // namespace vcx
