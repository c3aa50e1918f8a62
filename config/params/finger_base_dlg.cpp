#include "params/finger_base_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "params/param_units.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
const char* const kFingerEdits[] = {"finger.maxContacts", "finger.windowLockSlow", "finger.fastMotion",
                                    "finger.downDebounce", "finger.upDebounce", "finger.sampleRate"};
} // namespace

CQVxF6FingerDlg::CQVxF6FingerDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    auto* minus = button(this, grid, 0, 0, 450, "Insensitive ( - )");
    auto* sl = slider(this, grid, 0, 1, 504);
    auto* plus = button(this, grid, 0, 2, 451, "( + ) Sensitive");
    label(this, grid, 0, 3, 320);
    const char* captions[] = {"Max contact number :", "Window lock (slow) :", "Fast motion threshold :",
                              "Down debouncing :",    "Up debouncing :",      "Sample rate limit :"};
    const char* units[] = {"", "", "", "x 2 ms", "x 2 ms", "ms"};
    for (int i = 0; i < 6; ++i) {
        caption(this, grid, 1 + i, 0, captions[i]);
        edit(this, grid, 1 + i, 1, 520 + i);
        if (i == 1 || i == 2) label(this, grid, 1 + i, 2, 320 + i);
        else caption(this, grid, 1 + i, 2, units[i]);
    }
    caption(this, grid, 7, 0, "Finger Recognize :");
    ConnectClick(picture(this, grid, 7, 1, 510), [this] { clickSwitch(); });
    grid->setRowStretch(8, 1);
    connect(minus, &QPushButton::clicked, this, [this] { step(false); });
    connect(plus, &QPushButton::clicked, this, [this] { step(true); });
    ConnectSliderEnd(sl, [this](int p) { sliderEnded(p); });
    ConnectEditGroup(this, edits_, 6);
    initDialog();
}

void CQVxF6FingerDlg::showLevel() {
    const ParameterItem& s = c_.records.finger.item0[0];
    setText(this, 320, QString::number(SensitivityLevelOf(s.value, s.maximum)));
}

void CQVxF6FingerDlg::LoadDlgItem() {
    ParameterFinger& f = c_.records.finger;
    const bool valid = f.valid != 0;
    ParameterItem& s = f.item0[0];
    auto* sl = qvui::findControl<QSlider>(this, 504);
    {
        QSignalBlocker quiet(sl);
        sl->setRange(0, s.maximum);
        sl->setTickInterval(1);
        sl->setSliderPosition(s.value);
    }
    const bool present = valid && s.present;
    sl->setEnabled(present);
    if (present) {
        showLevel();
        EnableStepPair(s.value, {0, s.maximum}, 450, this);
    } else {
        setText(this, 320, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
    edits_.values.clear();
    edits_.minimum.clear();
    edits_.maximum.clear();
    for (const char* key : kFingerEdits) {
        const ParamField* field = FindField(key);
        uint8_t* p = RecordBytes(c_.records, field->record) + field->offset;
        edits_.values.push_back(p);
        edits_.minimum.push_back(field->minimum);
        edits_.maximum.push_back(p[1]);
    }
    support_.mask = valid ? f.itemMask : 0;
    support_.bits = {1, 3, 4, 6, 7, 8};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    recognize_.values = {&f.item9[4].value};
    recognize_.table = {0, 1};  // value 0 on
    recognize_.supported = {uint32_t(valid && f.item9[4].present)};
    LoadSwitchGroup(recognize_, this);
    const double p = AreaPitch(c_.records, c_.dev.paraVersion, c_.dev.featureFlags, true);
    setText(this, 321, WindowLockUnit(p));
    setText(this, 322, FastMotionUnit(p));
}

void CQVxF6FingerDlg::sliderEnded(int position) {
    ParameterItem& s = c_.records.finger.item0[0];
    if (!c_.records.finger.valid || !s.present) return;
    s.value = uint8_t(std::clamp(position, 0, int(s.maximum)));
    showLevel();
    EnableStepPair(s.value, {0, s.maximum}, 450, this);
}

void CQVxF6FingerDlg::step(bool up) {
    ParameterItem& s = c_.records.finger.item0[0];
    if (!c_.records.finger.valid || !s.present) return;
    StepValue(s.value, {0, s.maximum}, 450, this, up);
    showLevel();
    qvui::findControl<QSlider>(this, 504)->setSliderPosition(s.value);
}

void CQVxF6FingerDlg::clickSwitch() {
    recognize_.index = 0;
    ToggleSwitch(recognize_, this);
}

void CQVxF6FingerDlg::SetDlgItemTip() {
    const ParamField* s = FindField("finger.sensitivity");
    for (int k = 0; k < 2; ++k)
        if (auto* b = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450 + k))) {
            b->featureTipId = s->tips[2 * k];
            b->sideTipId = s->tips[2 * k + 1];
        }
    for (int i = 0; i < 6; ++i) {
        const ParamField* f = FindField(kFingerEdits[i]);
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520 + i))) e->SetTipIds(f->tips[0], f->tips[1]);
    }
    SetRangeTips(this, edits_);
}

CQVxF6Finger2Dlg::CQVxF6Finger2Dlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Dynamic threshold :");
    ConnectClick(picture(this, grid, 0, 1, 510), [this] { clickSwitch(0); });
    caption(this, grid, 1, 0, "Lower threshold :");
    ConnectClick(picture(this, grid, 1, 1, 511), [this] { clickSwitch(1); });
    const char* captions[] = {"Window lock (post) :", "Mutual threshold :", "Sector threshold :"};
    for (int i = 0; i < 3; ++i) {
        caption(this, grid, 2 + i, 0, captions[i]);
        edit(this, grid, 2 + i, 1, 520 + i);
    }
    grid->setRowStretch(5, 1);
    ConnectEditGroup(this, edits_, 3);
    initDialog();
}

void CQVxF6Finger2Dlg::LoadDlgItem() {
    ParameterFinger& f = c_.records.finger;
    const bool valid = f.valid != 0;
    switches_.values = {&f.item9[2].value, &f.item9[3].value};
    switches_.table = {0, 0, 1, 1};  // both value 0 on
    switches_.supported = {uint32_t(valid && f.item9[2].present), uint32_t(valid && f.item9[3].present)};
    LoadSwitchGroup(switches_, this);
    edits_.values = {&f.item5.value, &f.item9[0].value, &f.item9[1].value};
    edits_.minimum = {0, 0, 0};
    edits_.maximum = {f.item5.maximum, f.item9[0].maximum, f.item9[1].maximum};
    support_.mask = valid ? f.itemMask : 0;
    support_.bits = {5, 9, 10};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
}

void CQVxF6Finger2Dlg::clickSwitch(int index) {
    if (index < 0 || index > 1) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
}

CQVxF6BaseDlg::CQVxF6BaseDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    const char* captions[] = {"Update driver number :", "Start update delay time :", "Inactive update delay count :",
                              "Active update delay count :"};
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, i, 0, captions[i]);
        edit(this, grid, i, 1, 520 + i);
    }
    label(this, grid, 1, 2, 321)->setText(QStringLiteral("* 100ms"));
    grid->setRowStretch(4, 1);
    ConnectEditGroup(this, edits_, 4, [this](int i) {
        if (i == 0) c_.records.base.item[0].value = uint8_t(driverShown_ - 1);
    });
    initDialog();
}

void CQVxF6BaseDlg::LoadDlgItem() {
    ParameterBase& b = c_.records.base;
    // Shown as value + 1 in a byte: 1..255 (values 0..254), a value of 255 shown as 255.
    driverShown_ = uint8_t(std::min(b.item[0].value + 1, 255));
    edits_.values = {&driverShown_, &b.item[1].value, &b.item[2].value, &b.item[3].value};
    edits_.minimum = {1, 0, 0, 0};
    edits_.maximum = {std::min(b.item[0].maximum + 1, 255), b.item[1].maximum, b.item[2].maximum, b.item[3].maximum};
    support_.mask = b.valid ? b.itemMask : 0;
    support_.bits = {0, 1, 2, 3};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    EnableDlgItem();
}

void CQVxF6BaseDlg::EnableDlgItem() {
    const ParameterWater& w = c_.records.water;
    if (!w.valid || !w.item0.present) return;
    const bool on = programState().engineerMode || (w.item0.value & 0xEF) == 0;
    for (int i = 2; i < 4; ++i)
        if (support_.supports(size_t(i))) enableId(this, 520 + i, on);
}

void CQVxF6BaseDlg::SetDlgItemTip() {
    const char* keys[] = {"base.driverNumber", "base.startDelay", "base.inactiveCount", "base.activeCount"};
    for (int i = 0; i < 4; ++i) {
        const ParamField* f = FindField(keys[i]);
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520 + i))) e->SetTipIds(f->tips[0], f->tips[1]);
    }
    SetRangeTips(this, edits_);
}

} // namespace vcx
