// The newer set's scan pages: normal scan (template 172) and abnormal scan
// (173). Three count pairs, the scan delay edits with their time in us and,
// on the normal-scan page, the sector VRef switch.
#pragma once

#include "params/para_parent_dlg.h"
#include "core/controller_api.h"

namespace vcx {

class CQVxF6ScanDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 172;
    CQVxF6ScanDlg(Controller& c, QWidget* parent) : CQVxF6ScanDlg(c, kTemplate, parent) {}

    void LoadDlgItem() override;

    void step(int pair, bool up);  // pair 0 (450/451), 1 (452/453), 2 (454/455)
    void clickSwitch();            // 510, normal scan only
    // The unit of the delay labels in ns (0: none).
    double delayUnit() const { return unitNs_; }

protected:
    CQVxF6ScanDlg(Controller& c, int templateId, QWidget* parent);

private:
    ParameterScan& record();
    const char* countKey(int pair) const;  // the row of count pair 0..2
    void showCount(int pair);
    void showDelays();
    bool normal() const { return templateId() == kTemplate; }
    int delayCount() const { return normal() ? 4 : 3; }

    SwitchGroup vref_;
    EditGroup edits_;
    SupportMask support_;
    double unitNs_ = 0;
};

class CQVxF6Scan2Dlg : public CQVxF6ScanDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 173;
    CQVxF6Scan2Dlg(Controller& c, QWidget* parent) : CQVxF6ScanDlg(c, kTemplate, parent) {}
};

} // namespace vcx
