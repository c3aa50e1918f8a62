#include "params/noise_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

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
    ParameterAntiNoise& n = c_.records.antiNoise;
    const bool present = n.valid && n.item0.present;
    auto* sl = qvui::findControl<QSlider>(this, 504);
    QSignalBlocker quiet(sl);
    // The filter level is never below 1.
    sl->setRange(1, std::max<int>(1, n.item0.maximum));
    sl->setTickInterval(1);
    sl->setSliderPosition(n.item0.value);
    sl->setEnabled(present);
    if (present) {
        setText(this, 320, QString::number(n.item0.value));
        setText(this, 321, QString::number(n.item0.stored));
        EnableStepPair(n.item0.value, {1, n.item0.maximum}, 450, this);
    } else {
        setText(this, 320, QString());
        setText(this, 321, QString());
        enableId(this, 450, false);
        enableId(this, 451, false);
    }
}

void CQVOldNoiseDlg::LoadDlgItem() { loadSlider(); }

void CQVOldNoiseDlg::sliderEnded(int position) {
    ParameterAntiNoise& n = c_.records.antiNoise;
    if (!n.valid || !n.item0.present) return;
    n.item0.value = uint8_t(std::clamp(position, 1, std::max<int>(1, n.item0.maximum)));
    setText(this, 320, QString::number(n.item0.value));
    EnableStepPair(n.item0.value, {1, n.item0.maximum}, 450, this);
}

void CQVOldNoiseDlg::step(bool up) {
    ParameterAntiNoise& n = c_.records.antiNoise;
    if (!n.valid || !n.item0.present) return;
    StepValue(n.item0.value, {1, n.item0.maximum}, 450, this, up);
    setText(this, 320, QString::number(n.item0.value));
    qvui::findControl<QSlider>(this, 504)->setSliderPosition(n.item0.value);
}

void CQVOldNoiseDlg::SetDlgItemTip() {
    const ParamField* f = FindField("noise.lowPass");
    for (int k = 0; k < 2; ++k)
        if (auto* b = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450 + k))) {
            b->featureTipId = f->tips[2 * k];
            b->sideTipId = f->tips[2 * k + 1];
        }
}

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
// The radios of a group: first..last, its value pointer, whether present and its maximum.
struct RadioGroup {
    int first, last;
    ParameterItem* item;
    bool present;
};
} // namespace

void CQVxF6NoiseDlg::LoadDlgItem() {
    loadSlider();
    ParameterAntiNoise& n = c_.records.antiNoise;
    const bool valid = n.valid != 0;
    switches_.values = {&n.item3[0].value, &n.item3[1].value, &n.item3[2].value};
    switches_.table = {1, 0, 0, 0, 1, 1};  // 510 value 1 on; 511, 512 value 0 on
    switches_.supported = {uint32_t(valid && n.item3[0].present), uint32_t(valid && n.item3[1].present),
                           uint32_t(valid && n.item3[2].present)};
    LoadSwitchGroup(switches_, this);
    edits_.values = {&n.item1[0].value, &n.item1[1].value};
    edits_.minimum = {1, 1};
    edits_.maximum = {n.item1[0].maximum, n.item1[1].maximum};
    support_.mask = valid ? n.itemMask : 0;
    support_.bits = {1, 2};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);

    // Median filter: the level radios when the level item is there, else the switch pair.
    const bool level = valid && n.extension[0].present;
    for (int id = 460; id <= 462; ++id) showId(this, id, level);
    for (int id = 463; id <= 464; ++id) {
        showId(this, id, !level);
        enableId(this, id, valid && n.item8[1].present);
    }
    if (level) checkRadio(this, 460, 462, 460 + n.extension[0].value);
    else checkRadio(this, 463, 464, valid && n.item8[1].present ? 463 + n.item8[1].value : -1);
    // Frequency hopping: the select radios with item 15, else the enhanced pair of item 10.
    const bool select = valid && n.item12[3].present;
    for (int id = 465; id <= 467; ++id) showId(this, id, select);
    for (int id = 468; id <= 469; ++id) {
        showId(this, id, !select);
        enableId(this, id, valid && n.item8[2].present);
    }
    if (select) checkRadio(this, 465, 467, 465 + n.item12[3].value);
    else checkRadio(this, 468, 469, valid && n.item8[2].present ? 468 + n.item8[2].value : -1);
}

void CQVxF6NoiseDlg::clickSwitch(int index) {
    if (index < 0 || index >= switches_.count()) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
}

void CQVxF6NoiseDlg::radioClicked(int id) {
    ParameterAntiNoise& n = c_.records.antiNoise;
    if (!n.valid) return;
    const RadioGroup groups[] = {{460, 462, &n.extension[0], n.extension[0].present != 0},
                                 {463, 464, &n.item8[1], n.item8[1].present != 0},
                                 {465, 467, &n.item12[3], n.item12[3].present != 0},
                                 {468, 469, &n.item8[2], n.item8[2].present != 0}};
    for (const RadioGroup& g : groups) {
        if (id < g.first || id > g.last) continue;
        if (g.present && id - g.first <= g.item->maximum) g.item->value = uint8_t(id - g.first);
        else checkRadio(this, g.first, g.last, g.present ? g.first + g.item->value : -1);  // not taken
        return;
    }
}

void CQVxF6NoiseDlg::SetDlgItemTip() {
    CQVOldNoiseDlg::SetDlgItemTip();
    const ParamField* f = FindField("noise.enhancedDriving");
    if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 510))) {
        b->featureTipId = f->tips[0];
        b->featureSecondId = f->tips[1];
        b->sideTipId = f->tips[2];
        b->sideSecondId = f->tips[3];
    }
    for (int i = 0; i < 2; ++i)
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520 + i))) e->SetTipIds(0, 0);
    SetRangeTips(this, edits_);
}

} // namespace vcx
