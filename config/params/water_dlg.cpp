#include "params/water_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/program_state.h"
#include "ui/window_message.h"

#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
constexpr uint8_t kModes[3] = {0x00, 0x01, 0x11};
QSlider* sliderAt(QWidget* page, int i) { return qvui::findControl<QSlider>(page, 504 + i); }
} // namespace

int WaterModeIndex(int mode) { return (mode & 1) ? 1 + ((mode >> 4) & 1) : 0; }
int WaterModeBitmap(int index, int selected) { return 206 + 2 * index + (index == selected ? 0 : 1); }

CQVOldWaterDlg::CQVOldWaterDlg(Controller& c, int templateId, QWidget* parent) : CQVParaParentDlg(c, templateId, parent) {}

CQVOldWaterDlg::CQVOldWaterDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    buildModePictures(grid, 0);
    grid->setRowStretch(2, 1);
    initDialog();
}

void CQVOldWaterDlg::buildModePictures(QGridLayout* grid, int row) {
    const char* names[] = {"OFF", "Water Detect", "Water Performance"};
    for (int i = 0; i < 3; ++i) {
        caption(this, grid, row, i, names[i]);
        CQVMyTipBMP* pic = picture(this, grid, row + 1, i, 510 + i);
        ConnectClick(pic, [this, i] { clickMode(i); });
    }
}

void CQVOldWaterDlg::loadModePictures() {
    const ParameterWater& w = c_.records.water;
    const bool present = w.valid && w.item0.present;
    const int selected = present ? WaterModeIndex(w.item0.value) : -1;
    for (int i = 0; i < 3; ++i) {
        auto* pic = qvui::findControl<QLabel>(this, 510 + i);
        pic->setEnabled(present);
        SetBitmap(pic, WaterModeBitmap(i, selected));
    }
    showId(this, 510, true);
    showId(this, 511, (w.item0.maximum & 0x01) != 0);
    showId(this, 512, (w.item0.maximum & 0x02) != 0);
}

void CQVOldWaterDlg::LoadDlgItem() { loadModePictures(); }

void CQVOldWaterDlg::clickMode(int index) {
    ParameterWater& w = c_.records.water;
    if (index < 0 || index > 2 || !w.valid || !w.item0.present) return;
    w.item0.value = kModes[index];
    for (int i = 0; i < 3; ++i) SetBitmap(qvui::findControl<QLabel>(this, 510 + i), WaterModeBitmap(i, index));
    qvui::sendMessage(main_ ? main_ : static_cast<QObject*>(window()), qvui::WM_DEBUG_COMMAND, 3, index);
    modeChanged();
}

void CQVOldWaterDlg::SetDlgItemTip() {
    const uint32_t tips[3][2] = {{646, 714}, {647, 715}, {648, 716}};
    for (int i = 0; i < 3; ++i)
        if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 510 + i))) {
            b->featureTipId = tips[i][0];
            b->sideTipId = tips[i][1];
        }
}

CQVxF6WaterDlg::CQVxF6WaterDlg(Controller& c, QWidget* parent) : CQVOldWaterDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    buildModePictures(grid, 0);
    caption(this, grid, 2, 0, "Lock 1 contact switch :");
    CQVMyTipBMP* lock = picture(this, grid, 2, 1, 513);
    ConnectClick(lock, [this] { clickLockSwitch(); });
    const char* pairs[2][3] = {{"Performance", "Reliability ", "RP"}, {"Negative (\xEF\xBC\x8D)", "(\xEF\xBC\x8B) Postive", "NSA"}};
    for (int s = 0; s < 2; ++s) {
        const int row = 3 + s;
        if (s == 1) box(this, grid, 5, 0, 340, "Negative Signal Adjustment");
        if (s == 1) label(this, grid, 6, 3, 341)->setText(QLatin1String(pairs[s][2]));
        else caption(this, grid, row, 4, pairs[s][2]);
        auto* minus = button(this, grid, row, 0, 450 + 2 * s, pairs[s][0]);
        slider(this, grid, row, 1, 504 + s);
        auto* plus = button(this, grid, row, 2, 451 + 2 * s, pairs[s][1]);
        label(this, grid, row, 3, 320 + s);
        connect(minus, &QPushButton::clicked, this, [this, s] { step(s, false); });
        connect(plus, &QPushButton::clicked, this, [this, s] { step(s, true); });
        ConnectSliderEnd(sliderAt(this, s), [this, s](int pos) { sliderEnded(s, pos); });
    }
    const char* captions[] = {"Negative signal threshold :", "Negative signal count :", "Sensor Ratio :", "Driver Ratio :"};
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, 7 + i, 0, captions[i], i >= 2 ? 321 + i : -1);  // 323, 324 the ratio captions
        edit(this, grid, 7 + i, 1, 520 + i);
    }
    grid->setRowStretch(11, 1);
    ConnectEditGroup(this, edits_, 4);
    initDialog();
}

uint8_t* CQVxF6WaterDlg::sliderValue(int s) {
    ParameterWater& w = c_.records.water;
    return s == 0 ? &w.item8.value : &w.item9[0].value;
}
int CQVxF6WaterDlg::sliderMaximum(int s) {
    const ParameterWater& w = c_.records.water;
    return s == 0 ? w.item8.maximum : w.item9[0].maximum;
}

void CQVxF6WaterDlg::showSlider(int s) {
    const ParameterWater& w = c_.records.water;
    const bool present = w.valid && (s == 0 ? w.item8.present : w.item9[0].present);
    setText(this, 320 + s, present ? QString::number(*sliderValue(s)) : QString());
    if (present) EnableStepPair(*sliderValue(s), {0, sliderMaximum(s)}, 450 + 2 * s, this);
}

void CQVxF6WaterDlg::CheckDlgItem() {
    const bool engineer = programState().engineerMode;
    for (int id : {340, 341, 452, 453, 505, 321, 522, 523, 323, 324}) showId(this, id, engineer);
    const ParameterWater& w = c_.records.water;
    const bool on = (w.valid && w.item0.present && w.item0.value != 0) || engineer;
    if (auto* lock = qvui::findControl<QLabel>(this, 513); lock && !lock_.supported.empty() && lock_.supported[0]) {
        lock->setEnabled(on);
        SetBitmap(lock, on ? SwitchBitmap(lock_, 0) : kBitmapUnsupported);
    }
    for (int i = 0; i < 2; ++i)
        if (support_.supports(size_t(i))) enableId(this, 520 + i, on);
    if (w.valid && w.item8.present) {
        enableId(this, 504, on);
        enableId(this, 320, on);
        if (on) EnableStepPair(w.item8.value, {0, w.item8.maximum}, 450, this);
        else {
            enableId(this, 450, false);
            enableId(this, 451, false);
        }
    }
}

void CQVxF6WaterDlg::LoadDlgItem() {
    loadModePictures();
    ParameterWater& w = c_.records.water;
    const bool valid = w.valid != 0;
    lock_.firstId = 513;
    lock_.values = {&w.item15.value};
    lock_.table = {0, 1};  // value 0 shows on
    lock_.supported = {uint32_t(valid && w.item15.present)};
    LoadSwitchGroup(lock_, this);
    for (int s = 0; s < 2; ++s) {
        QSlider* sl = sliderAt(this, s);
        const bool present = valid && (s == 0 ? w.item8.present : w.item9[0].present);
        QSignalBlocker quiet(sl);
        sl->setRange(0, sliderMaximum(s));
        sl->setTickInterval(1);
        sl->setSliderPosition(*sliderValue(s));
        sl->setEnabled(present);
        enableId(this, 450 + 2 * s, present);
        enableId(this, 451 + 2 * s, present);
        showSlider(s);
    }
    edits_.values = {&w.item9[1].value, &w.item9[2].value, &w.item12[0].value, &w.item12[1].value};
    edits_.minimum = {1, 1, 0, 0};
    edits_.maximum = {w.item9[1].maximum, w.item9[2].maximum, w.item12[0].maximum, w.item12[1].maximum};
    support_.mask = valid ? w.itemMask : 0;
    support_.bits = {10, 11, 12, 13};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    CheckDlgItem();
}

void CQVxF6WaterDlg::clickLockSwitch() {
    lock_.index = 0;
    ToggleSwitch(lock_, this);
}

void CQVxF6WaterDlg::sliderEnded(int s, int position) {
    const ParameterWater& w = c_.records.water;
    if (!w.valid || !(s == 0 ? w.item8.present : w.item9[0].present)) return;
    *sliderValue(s) = uint8_t(std::clamp(position, 0, sliderMaximum(s)));
    showSlider(s);
}

void CQVxF6WaterDlg::step(int s, bool up) {
    const ParameterWater& w = c_.records.water;
    if (!w.valid || !(s == 0 ? w.item8.present : w.item9[0].present)) return;
    StepValue(*sliderValue(s), {0, sliderMaximum(s)}, 450 + 2 * s, this, up);
    setText(this, 320 + s, QString::number(*sliderValue(s)));
    sliderAt(this, s)->setSliderPosition(*sliderValue(s));
}

void CQVxF6WaterDlg::SetDlgItemTip() {
    CQVOldWaterDlg::SetDlgItemTip();
    if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 512))) b->sideTipId = 730;
    const ParamField* lock = FindField("water.lockOneContact");
    if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 513))) {
        b->featureTipId = lock->tips[0];
        b->featureSecondId = lock->tips[1];
        b->sideTipId = lock->tips[2];
        b->sideSecondId = lock->tips[3];
    }
    const uint32_t pairTips[2][2] = {{649, 716}, {650, 717}};
    for (int k = 0; k < 2; ++k)
        if (auto* b = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450 + k))) {
            b->featureTipId = pairTips[k][0];
            b->sideTipId = pairTips[k][1];
        }
    for (int i = 0; i < 2; ++i)
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520 + i))) e->SetTipIds(651, 718);
    SetRangeTips(this, edits_);
}

CQVxF6Water2Dlg::CQVxF6Water2Dlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    const char* pairs[2][4] = {{"Abnormal Threshold Offset", "Lax  (\xEF\xBC\x8D)", "(\xEF\xBC\x8B) Strict", "ATO"},
                               {"Abnormal Scan Interval", "Short (\xEF\xBC\x8D)", "(\xEF\xBC\x8B) Long", "ASI"}};
    for (int s = 0; s < 2; ++s) {
        const int row = 2 * s;
        caption(this, grid, row, 0, pairs[s][0]);
        caption(this, grid, row, 2, pairs[s][3]);
        auto* minus = button(this, grid, row + 1, 0, 450 + 2 * s, pairs[s][1]);
        slider(this, grid, row + 1, 1, 504 + s);
        auto* plus = button(this, grid, row + 1, 2, 451 + 2 * s, pairs[s][2]);
        label(this, grid, row + 1, 3, 320 + s);
        connect(minus, &QPushButton::clicked, this, [this, s] { step(s, false); });
        connect(plus, &QPushButton::clicked, this, [this, s] { step(s, true); });
        ConnectSliderEnd(sliderAt(this, s), [this, s](int pos) { sliderEnded(s, pos); });
    }
    caption(this, grid, 4, 0, "Abnormal threshold :");
    edit(this, grid, 4, 1, 520);
    grid->setRowStretch(5, 1);
    ConnectEditGroup(this, edits_, 1);
    initDialog();
}

ParameterItem* CQVxF6Water2Dlg::item(int s) { return &c_.records.water.item1[s == 0 ? 0 : 2]; }

void CQVxF6Water2Dlg::showSlider(int s) {
    const ParameterItem* it = item(s);
    const bool present = c_.records.water.valid && it->present;
    setText(this, 320 + s, present ? QString::number(it->value) : QString());
    if (present) EnableStepPair(it->value, {0, it->maximum}, 450 + 2 * s, this);
}

void CQVxF6Water2Dlg::LoadDlgItem() {
    ParameterWater& w = c_.records.water;
    for (int s = 0; s < 2; ++s) {
        ParameterItem* it = item(s);
        const bool present = w.valid && it->present;
        QSlider* sl = sliderAt(this, s);
        QSignalBlocker quiet(sl);
        sl->setRange(0, it->maximum);
        sl->setTickInterval(1);
        sl->setSliderPosition(it->value);
        sl->setEnabled(present);
        enableId(this, 450 + 2 * s, present);
        enableId(this, 451 + 2 * s, present);
        showSlider(s);
    }
    edits_.values = {&w.item1[1].value};
    edits_.minimum = {0};
    edits_.maximum = {w.item1[1].maximum};
    support_.mask = w.valid ? w.itemMask : 0;
    support_.bits = {2};
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
}

void CQVxF6Water2Dlg::sliderEnded(int s, int position) {
    ParameterItem* it = item(s);
    if (!c_.records.water.valid || !it->present) return;
    it->value = uint8_t(std::clamp(position, 0, int(it->maximum)));
    showSlider(s);
}

void CQVxF6Water2Dlg::step(int s, bool up) {
    ParameterItem* it = item(s);
    if (!c_.records.water.valid || !it->present) return;
    StepValue(it->value, {0, it->maximum}, 450 + 2 * s, this, up);
    setText(this, 320 + s, QString::number(it->value));
    sliderAt(this, s)->setSliderPosition(it->value);
}

} // namespace vcx
