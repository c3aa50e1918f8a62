#include "params/noise_dlg.h"

#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
constexpr const char* kLowPass = "noise.lowPass";
} // namespace

CQVOldNoiseDlg::CQVOldNoiseDlg(Controller& c, int templateId, QWidget* parent) : CQVParaParentDlg(c, templateId, parent) {}

CQVOldNoiseDlg::CQVOldNoiseDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    buildSlider(grid, 0);
    grid->setRowStretch(2, 1);
    initDialog();
}

void CQVOldNoiseDlg::buildSlider(QGridLayout* grid, int row) {
    caption(this, grid, row, 0, "LPF");
    label(this, grid, row, 1, 320);
    caption(this, grid, row, 2, "DV");
    label(this, grid, row, 3, 321);
    auto* minus = button(this, grid, row + 1, 0, 450, "Strong");
    auto* sl = slider(this, grid, row + 1, 1, 504);
    auto* plus = button(this, grid, row + 1, 2, 451, "Weak");
    connect(minus, &QPushButton::clicked, this, [this] { step(false); });
    connect(plus, &QPushButton::clicked, this, [this] { step(true); });
    ConnectSliderEnd(sl, [this](int pos) { sliderEnded(pos); });
}

void CQVOldNoiseDlg::loadSlider() {
    const FieldStep lpf = fieldStep(c_.records, kLowPass);
    auto* sl = qvui::findControl<QSlider>(this, 504);
    QSignalBlocker quiet(sl);
    // The filter level is never below its minimum of 1.
    sl->setRange(lpf.range.minimum, std::max(lpf.range.minimum, lpf.range.maximum));
    sl->setTickInterval(1);
    sl->setSliderPosition(*lpf.value);
    sl->setEnabled(lpf.present);
    if (lpf.present) {
        setText(this, 320, QString::number(*lpf.value));
        setText(this, 321, QString::number(ReadField(c_.records, fieldRow(kLowPass)).stored));
        EnableStepPair(*lpf.value, lpf.range, 450, this);
    } else {
        setText(this, 320, QString());
        setText(this, 321, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
}

void CQVOldNoiseDlg::LoadDlgItem() { loadSlider(); }

void CQVOldNoiseDlg::sliderEnded(int position) {
    const FieldStep lpf = fieldStep(c_.records, kLowPass);
    if (!lpf.present) return;
    *lpf.value = uint8_t(std::clamp(position, lpf.range.minimum, std::max(lpf.range.minimum, lpf.range.maximum)));
    setText(this, 320, QString::number(*lpf.value));
    EnableStepPair(*lpf.value, lpf.range, 450, this);
}

void CQVOldNoiseDlg::step(bool up) {
    const FieldStep lpf = fieldStep(c_.records, kLowPass);
    if (!lpf.present) return;
    StepValue(*lpf.value, lpf.range, 450, this, up);
    setText(this, 320, QString::number(*lpf.value));
    qvui::findControl<QSlider>(this, 504)->setSliderPosition(*lpf.value);
}

void CQVOldNoiseDlg::SetDlgItemTip() { stepTips(this, 450, kLowPass); }

CQVxF6NoiseDlg::CQVxF6NoiseDlg(Controller& c, QWidget* parent) : CQVOldNoiseDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    buildSlider(grid, 0);
    const char* switches[] = {"Enhanced Driving :", "Frequency Hopping :", "Inhibit Frequency Change :"};
    for (int i = 0; i < 3; ++i) {
        caption(this, grid, 2 + i, 0, switches[i], i ? 329 + i : -1);  // 330, 331
        CQVMyTipBMP* pic = picture(this, grid, 2 + i, 1, 510 + i);
        ConnectClick(pic, [this, i] { clickSwitch(i); });
    }
    box(this, grid, 5, 0, 340, "Frequency Hopping");
    caption(this, grid, 6, 0, "Noise threshold :", 332);
    edit(this, grid, 6, 1, 520);
    caption(this, grid, 7, 0, "Noise threshold step :", 333);
    edit(this, grid, 7, 1, 521);
    const char* radios[] = {"OFF", "Half", "Full", "OFF", "ON", "0", "1", "2", "Normal", "Enhanced"};
    const int rows[] = {8, 8, 8, 9, 9, 10, 10, 10, 11, 11};
    const int cols[] = {0, 1, 2, 0, 1, 0, 1, 2, 0, 1};
    for (int i = 0; i < 10; ++i) {
        QRadioButton* r = radio(this, grid, rows[i], cols[i], 460 + i, radios[i]);
        connect(r, &QRadioButton::clicked, this, [this, i] { radioClicked(460 + i); });
    }
    grid->setRowStretch(12, 1);
    ConnectEditGroup(this, edits_, 2);
    initDialog();
}

void CQVxF6NoiseDlg::CheckDlgItem() {
    const bool engineer = programState().engineerMode;
    for (int id : {511, 512, 520, 521, 330, 331, 332, 333, 340}) showId(this, id, engineer);
}

namespace {
// The radios of a group: first..last and the row they choose the value of.
struct RadioGroup {
    int first, last;
    const char* key;
};
// Median filter: the level radios when the level item is there, else the
// switch pair; frequency hopping: the select radios with item 15, else the
// enhanced pair of item 10.
constexpr RadioGroup kRadioGroups[] = {{460, 462, "noise.medianLevel"},
                                       {463, 464, "noise.medianSwitch"},
                                       {465, 467, "noise.hoppingSelect"},
                                       {468, 469, "noise.enhancedHopping"}};
const char* const kNoiseSwitches[] = {"noise.enhancedDriving", "noise.hopping", "noise.inhibitChange"};
const char* const kNoiseEdits[] = {"noise.threshold", "noise.thresholdStep"};
} // namespace

void CQVxF6NoiseDlg::LoadDlgItem() {
    loadSlider();
    ProgramRecords& r = c_.records;
    fieldSwitches(switches_, r, kNoiseSwitches);
    LoadSwitchGroup(switches_, this);
    fieldEdits(edits_, support_, r, kNoiseEdits);
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);

    // Each pair of groups: the first one's radios when its item is there, else the second one's.
    for (int pair = 0; pair < 2; ++pair) {
        const RadioGroup& first = kRadioGroups[2 * pair];
        const RadioGroup& second = kRadioGroups[2 * pair + 1];
        const FieldStep a = fieldStep(r, first.key);
        const FieldStep b = fieldStep(r, second.key);
        for (int id = first.first; id <= first.last; ++id) showId(this, id, a.present);
        for (int id = second.first; id <= second.last; ++id) {
            showId(this, id, !a.present);
            enableId(this, id, b.present);
        }
        if (a.present) checkRadio(this, first.first, first.last, first.first + *a.value);
        else checkRadio(this, second.first, second.last, b.present ? second.first + *b.value : -1);
    }
}

void CQVxF6NoiseDlg::clickSwitch(int index) {
    if (index < 0 || index >= switches_.count()) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
}

void CQVxF6NoiseDlg::radioClicked(int id) {
    ProgramRecords& r = c_.records;
    if (!RecordValid(r, ParamRecord::AntiNoise)) return;
    for (const RadioGroup& g : kRadioGroups) {
        if (id < g.first || id > g.last) continue;
        const FieldStep item = fieldStep(r, g.key);
        if (item.present && id - g.first <= item.range.maximum) *item.value = uint8_t(id - g.first);
        else checkRadio(this, g.first, g.last, item.present ? g.first + *item.value : -1);  // not taken
        return;
    }
}

void CQVxF6NoiseDlg::SetDlgItemTip() {
    CQVOldNoiseDlg::SetDlgItemTip();
    for (int i = 0; i < 3; ++i) switchTips(this, 510 + i, kNoiseSwitches[i]);
    editTips(this, 520, kNoiseEdits);
    SetRangeTips(this, edits_);
}

} // namespace vcx
