#include "params/xf6_scan_dlg.h"

#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "params/param_units.h"

#include <QPushButton>

namespace vcx {

using namespace pagebuild;

CQVxF6ScanDlg::CQVxF6ScanDlg(Controller& c, int templateId, QWidget* parent) : CQVParaParentDlg(c, templateId, parent) {
    auto* grid = new QGridLayout(this);
    const char* counts[] = {"Scan Count", "Charge Count", "ADC Count"};
    for (int k = 0; k < 3; ++k) {
        caption(this, grid, k, 0, counts[k]);
        auto* minus = button(this, grid, k, 1, 450 + 2 * k, "Decrease ( - )");
        label(this, grid, k, 2, 320 + k);
        auto* plus = button(this, grid, k, 3, 451 + 2 * k, "( + ) Increase");
        connect(minus, &QPushButton::clicked, this, [this, k] { step(k, false); });
        connect(plus, &QPushButton::clicked, this, [this, k] { step(k, true); });
    }
    int row = 3;
    if (normal()) {
        caption(this, grid, row, 0, "Sector VRef+ 3.3V :");
        ConnectClick(picture(this, grid, row, 1, 510), [this] { clickSwitch(); });
        ++row;
    }
    // The delay title: group box 327 on the normal page, label 326 on the abnormal one.
    if (normal()) box(this, grid, row++, 0, 327, "Scan Delay Time");
    else label(this, grid, row++, 0, 326)->setText(QStringLiteral("Scan Delay Time"));
    const char* normalCaptions[] = {"Charge delay :", "Discharge time :", "Mutual :", "KBU :"};
    const char* abnormalCaptions[] = {"Charge delay :", "Discharge time :", "Delay before ADC :"};
    for (int i = 0; i < delayCount(); ++i) {
        caption(this, grid, row + i, 0, normal() ? normalCaptions[i] : abnormalCaptions[i]);
        edit(this, grid, row + i, 1, 520 + i);
        label(this, grid, row + i, 2, 323 + i);
    }
    grid->setRowStretch(row + 4, 1);
    ConnectEditGroup(this, edits_, delayCount(), [this](int) { showDelays(); });
    initDialog();
}

namespace {
// The count pairs 450/451, 452/453, 454/455 and the delay edits 520.. of each page.
const char* const kNormalCounts[] = {"scan.count", "scan.chargeCount", "scan.adcCount"};
const char* const kAbnormalCounts[] = {"scan2.count", "scan2.chargeCount", "scan2.adcCount"};
const char* const kNormalDelays[] = {"scan.chargeDelay", "scan.dischargeTime", "scan.mutualDelay", "scan.kbuDelay"};
const char* const kAbnormalDelays[] = {"scan2.chargeDelay", "scan2.dischargeTime", "scan2.adcDelay"};
} // namespace

ParameterScan& CQVxF6ScanDlg::record() { return normal() ? c_.records.normalScan : c_.records.abnormalScan; }

const char* CQVxF6ScanDlg::countKey(int pair) const { return (normal() ? kNormalCounts : kAbnormalCounts)[pair]; }

void CQVxF6ScanDlg::showCount(int pair) {
    const FieldStep it = fieldStep(c_.records, countKey(pair));
    setText(this, 320 + pair, it.present ? QString::number(*it.value) : QString());
    if (it.present) EnableStepPair(*it.value, it.range, 450 + 2 * pair, this);
    else {
        enableId(this, 450 + 2 * pair, false);
        enableId(this, 451 + 2 * pair, false);
    }
}

void CQVxF6ScanDlg::showDelays() {
    const QString title = ScanDelayTitle(unitNs_);
    setText(this, normal() ? 327 : 326, title);
    if (auto* b = qobject_cast<QGroupBox*>(qvui::findControl(this, 327))) b->setTitle(title);
    for (int i = 0; i < delayCount(); ++i)
        setText(this, 323 + i, support_.supports(size_t(i)) ? ScanDelayLabel(*edits_.values[size_t(i)], unitNs_) : QString());
}

void CQVxF6ScanDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    ParameterScan& s = record();
    const bool valid = s.valid != 0;
    for (int k = 0; k < 3; ++k) showCount(k);
    if (normal()) {
        fieldSwitches(vref_, r, {"scan.vref"});
        LoadSwitchGroup(vref_, this);
    }
    if (normal()) fieldEdits(edits_, support_, r, kNormalDelays);
    else fieldEdits(edits_, support_, r, kAbnormalDelays);
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    // w: the delay-unit word; d: the general record's clock byte.
    const unsigned w = valid ? s.info1 : 0;
    const unsigned d = r.generalInfo.info1[0];
    unitNs_ = ScanDelayUnitNs(w, d, c_.dev.e7Value);
    showDelays();
}

void CQVxF6ScanDlg::step(int pair, bool up) {
    if (pair < 0 || pair > 2) return;
    const FieldStep it = fieldStep(c_.records, countKey(pair));
    if (!it.present) return;
    StepValue(*it.value, it.range, 450 + 2 * pair, this, up);
    setText(this, 320 + pair, QString::number(*it.value));
}

void CQVxF6ScanDlg::clickSwitch() {
    if (!normal()) return;
    vref_.index = 0;
    ToggleSwitch(vref_, this);
}

} // namespace vcx
