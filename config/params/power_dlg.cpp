#include "params/power_dlg.h"

#include "params/page_build.h"
#include "params/param_units.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
constexpr const char* kInterval = "power.idleInterval";
constexpr const char* kDelay = "power.idleDelay";
} // namespace

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
    ConnectEditGroup(this, edits_, 1, [this](int) { *FieldByte(c_.records, fieldRow(kDelay)) = uint8_t(delayShown_ - 1); });
    initDialog();
    // The ends of the interval scale.
    setText(this, 321, QStringLiteral("10 ms"));
    setText(this, 322, QStringLiteral("50 ms"));
}

void CQVxF6PowerDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    fieldSwitches(switches_, r, {"power.sleep", "power.idle"});
    LoadSwitchGroup(switches_, this);
    const FieldStep interval = fieldStep(r, kInterval);
    if (interval.present) {
        setText(this, 320, IdleIntervalText(*interval.value));
        EnableStepPair(*interval.value, interval.range, 450, this);
    } else {
        setText(this, 320, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
    fieldEdits(edits_, support_, r, {kDelay});
    // Shown as value + 1 in a byte: a value of 255 cannot be shown, so the page
    // offers 1..255 (values 0..254) and shows 255 for it.
    delayShown_ = uint8_t(std::min(*edits_.values[0] + 1, 255));
    edits_.values[0] = &delayShown_;
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    EnableDlgItem();
}

void CQVxF6PowerDlg::enableBy(bool on) {
    const FieldStep interval = fieldStep(c_.records, kInterval);
    if (interval.present) {
        for (int id = 320; id <= 322; ++id) enableId(this, id, on);
        if (on) EnableStepPair(*interval.value, interval.range, 450, this);
        else {
            enableId(this, 450, false);
            enableId(this, 451, false);
        }
    }
    if (support_.supports(0)) enableId(this, 520, on);
}

void CQVxF6PowerDlg::EnableDlgItem() {
    const FieldStep idle = fieldStep(c_.records, "power.idle");
    enableBy((idle.present && *idle.value == 0) || programState().engineerMode);
}

void CQVxF6PowerDlg::clickSwitch(int index) {
    if (index < 0 || index > 1) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
    if (index == 1 && !programState().engineerMode) enableBy(*fieldStep(c_.records, "power.idle").value == 0);
}

void CQVxF6PowerDlg::step(bool up) {
    const FieldStep interval = fieldStep(c_.records, kInterval);
    if (!interval.present) return;
    StepValue(*interval.value, interval.range, 450, this, up);
    setText(this, 320, IdleIntervalText(*interval.value));
}

void CQVxF6PowerDlg::SetDlgItemTip() {
    switchTips(this, 510, "power.sleep");
    switchTips(this, 511, "power.idle");
    stepTips(this, 450, kInterval);
    editTips(this, 520, {kDelay});
    SetRangeTips(this, edits_);
}

} // namespace vcx
