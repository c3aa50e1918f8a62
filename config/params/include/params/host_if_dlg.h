// The host-interface pages: the older set's (template 180, the sheet's
// "Interface" tab) and the newer set's (160, loaded without a tab). Both unlock
// the interface choice with check box 470 after the cable warning and enable
// each interface radio by a bit of item 0's maximum.
#pragma once

#include "params/para_parent_dlg.h"

class QGridLayout;

namespace vcx {

// The product numbers whose controllers never offer I2C as a host interface.
bool ProductWithoutI2C(unsigned productNumber);

class CQVOldHostIFDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 180;
    CQVOldHostIFDlg(Controller& c, QWidget* parent) : CQVOldHostIFDlg(c, kTemplate, parent) {}

    void LoadDlgItem() override;

    // Check box 470 clicked (its new state already set), radio 460..463 clicked.
    void changeInterfaceClicked();
    void interfaceRadioClicked(int id);

protected:
    CQVOldHostIFDlg(Controller& c, int templateId, QWidget* parent);
    void buildInterfaceControls(QGridLayout* grid);
    void loadInterface();
};

class CQVxF6HostIFDlg : public CQVOldHostIFDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 160;
    CQVxF6HostIFDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SaveDlgItem() override;

    // Radio 460..463 (the baud-rate combo follows the RS232 / UART choice), a
    // HID report radio 464..467.
    void interfaceChosen(int id);
    void reportRadioClicked(int id);

private:
    void updateBaudEnable();
};

} // namespace vcx
