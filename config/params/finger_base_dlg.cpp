#include "params/finger_base_dlg.h"

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
constexpr const char* kSensitivity = "finger.sensitivity";
const char* const kFingerEdits[] = {"finger.maxContacts", "finger.windowLockSlow", "finger.fastMotion",
                                    "finger.downDebounce", "finger.upDebounce", "finger.sampleRate"};
const char* const kBaseEdits[] = {"base.driverNumber", "base.startDelay", "base.inactiveCount", "base.activeCount"};
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
    const FieldStep s = fieldStep(c_.records, kSensitivity);
    setText(this, 320, QString::number(SensitivityLevelOf(*s.value, s.range.maximum)));
}

void CQVxF6FingerDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    const FieldStep s = fieldStep(r, kSensitivity);
    auto* sl = qvui::findControl<QSlider>(this, 504);
    {
        QSignalBlocker quiet(sl);
        sl->setRange(s.range.minimum, s.range.maximum);
        sl->setTickInterval(1);
        sl->setSliderPosition(*s.value);
    }
    sl->setEnabled(s.present);
    if (s.present) {
        showLevel();
        EnableStepPair(*s.value, s.range, 450, this);
    } else {
        setText(this, 320, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
    fieldEdits(edits_, support_, r, kFingerEdits);
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    fieldSwitches(recognize_, r, {"finger.recognize"});
    LoadSwitchGroup(recognize_, this);
    const double p = AreaPitch(r, c_.dev.paraVersion, c_.dev.featureFlags, true);
    setText(this, 321, WindowLockUnit(p));
    setText(this, 322, FastMotionUnit(p));
}

void CQVxF6FingerDlg::sliderEnded(int position) {
    const FieldStep s = fieldStep(c_.records, kSensitivity);
    if (!s.present) return;
    *s.value = uint8_t(std::clamp(position, s.range.minimum, s.range.maximum));
    showLevel();
    EnableStepPair(*s.value, s.range, 450, this);
}

void CQVxF6FingerDlg::step(bool up) {
    const FieldStep s = fieldStep(c_.records, kSensitivity);
    if (!s.present) return;
    StepValue(*s.value, s.range, 450, this, up);
    showLevel();
    qvui::findControl<QSlider>(this, 504)->setSliderPosition(*s.value);
}

void CQVxF6FingerDlg::clickSwitch() {
    recognize_.index = 0;
    ToggleSwitch(recognize_, this);
}

void CQVxF6FingerDlg::SetDlgItemTip() {
    stepTips(this, 450, kSensitivity);
    editTips(this, 520, kFingerEdits);
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
    ProgramRecords& r = c_.records;
    fieldSwitches(switches_, r, {"finger.dynamicThreshold", "finger.lowerThreshold"});
    LoadSwitchGroup(switches_, this);
    fieldEdits(edits_, support_, r, {"finger.windowLockPost", "finger.mutual", "finger.sector"});
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
        if (i == 0) *FieldByte(c_.records, fieldRow(kBaseEdits[0])) = uint8_t(driverShown_ - 1);
    });
    initDialog();
}

void CQVxF6BaseDlg::LoadDlgItem() {
    fieldEdits(edits_, support_, c_.records, kBaseEdits);
    // Shown as value + 1 in a byte: 1..255 (values 0..254), a value of 255 shown as 255.
    driverShown_ = uint8_t(std::min(*edits_.values[0] + 1, 255));
    edits_.values[0] = &driverShown_;
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    EnableDlgItem();
}

void CQVxF6BaseDlg::EnableDlgItem() {
    const FieldStep mode = fieldStep(c_.records, "water.mode");
    if (!mode.present) return;
    const bool on = programState().engineerMode || (*mode.value & 0xEF) == 0;
    for (int i = 2; i < 4; ++i)
        if (support_.supports(size_t(i))) enableId(this, 520 + i, on);
}

void CQVxF6BaseDlg::SetDlgItemTip() {
    editTips(this, 520, kBaseEdits);
    SetRangeTips(this, edits_);
}

} // namespace vcx
