#include "params/power_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_units.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

CQVxF6PowerDlg::CQVxF6PowerDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Sleep Mode :");
    ConnectClick(picture(this, grid, 0, 1, 510), [this] { clickSwitch(0); });
    caption(this, grid, 1, 0, "Idle Mode :");
    ConnectClick(picture(this, grid, 1, 1, 511), [this] { clickSwitch(1); });
    auto* longer = button(this, grid, 2, 0, 450, "( + ) Increase");
    label(this, grid, 2, 1, 320);
    auto* shorter = button(this, grid, 2, 2, 451, "Decrease ( - )");
    label(this, grid, 3, 0, 321);
    label(this, grid, 3, 2, 322);
    caption(this, grid, 4, 0, "Delay :");
    edit(this, grid, 4, 1, 520);
    caption(this, grid, 4, 2, "Second");
    grid->setRowStretch(5, 1);
    connect(longer, &QPushButton::clicked, this, [this] { step(false); });
    connect(shorter, &QPushButton::clicked, this, [this] { step(true); });
    ConnectEditGroup(this, edits_, 1, [this](int) {
        ParameterItem& d = c_.records.powerSaving.item[3];
        d.value = uint8_t(delayShown_ - 1);
    });
    initDialog();
    // The ends of the interval scale.
    setText(this, 321, QStringLiteral("10 ms"));
    setText(this, 322, QStringLiteral("50 ms"));
}

void CQVxF6PowerDlg::LoadDlgItem() {
    ParameterPowerSaving& p = c_.records.powerSaving;
    const bool valid = p.valid != 0;
    switches_.values = {&p.item[0].value, &p.item[1].value};
    switches_.table = {0, 0, 1, 1};  // both show value 0 as on
    switches_.supported = {uint32_t(valid && p.item[0].present), uint32_t(valid && p.item[1].present)};
    LoadSwitchGroup(switches_, this);
    ParameterItem& interval = p.item[2];
    if (valid && interval.present) {
        setText(this, 320, IdleIntervalText(interval.value));
        EnableStepPair(interval.value, {0, interval.maximum}, 450, this);
    } else {
        setText(this, 320, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
    // Shown as value + 1 in a byte: a value of 255 cannot be shown, so the page
    // offers 1..255 (values 0..254) and shows 255 for it.
    delayShown_ = uint8_t(std::min(p.item[3].value + 1, 255));
    edits_.values = {&delayShown_};
    edits_.minimum = {1};
    edits_.maximum = {std::min(p.item[3].maximum + 1, 255)};
    support_.mask = valid ? p.itemMask : 0;
    support_.bits = {3};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    EnableDlgItem();
}

void CQVxF6PowerDlg::enableBy(bool on) {
    const ParameterPowerSaving& p = c_.records.powerSaving;
    if (p.valid && p.item[2].present) {
        for (int id = 320; id <= 322; ++id) enableId(this, id, on);
        if (on) EnableStepPair(p.item[2].value, {0, p.item[2].maximum}, 450, this);
        else {
            enableId(this, 450, false);
            enableId(this, 451, false);
        }
    }
    if (support_.supports(0)) enableId(this, 520, on);
}

void CQVxF6PowerDlg::EnableDlgItem() {
    const ParameterPowerSaving& p = c_.records.powerSaving;
    enableBy((p.valid && p.item[1].present && p.item[1].value == 0) || programState().engineerMode);
}

void CQVxF6PowerDlg::clickSwitch(int index) {
    if (index < 0 || index > 1) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
    if (index == 1 && !programState().engineerMode) enableBy(c_.records.powerSaving.item[1].value == 0);
}

void CQVxF6PowerDlg::step(bool up) {
    ParameterItem& interval = c_.records.powerSaving.item[2];
    if (!c_.records.powerSaving.valid || !interval.present) return;
    StepValue(interval.value, {0, interval.maximum}, 450, this, up);
    setText(this, 320, IdleIntervalText(interval.value));
}

void CQVxF6PowerDlg::SetDlgItemTip() {
    const char* keys[] = {"power.sleep", "power.idle"};
    for (int i = 0; i < 2; ++i)
        if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 510 + i))) {
            const ParamField* f = FindField(keys[i]);
            b->featureTipId = f->tips[0];
            b->featureSecondId = f->tips[1];
            b->sideTipId = f->tips[2];
            b->sideSecondId = f->tips[3];
        }
    const uint32_t pair[2][2] = {{660, 724}, {659, 723}};
    for (int k = 0; k < 2; ++k)
        if (auto* b = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450 + k))) {
            b->featureTipId = pair[k][0];
            b->sideTipId = pair[k][1];
        }
    if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520))) e->SetTipIds(661, 0);
    SetRangeTips(this, edits_);
}

} // namespace vcx
