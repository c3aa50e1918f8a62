#include "params/water_dlg.h"

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
constexpr const char* kMode = "water.mode";
constexpr const char* kLock = "water.lockOneContact";
// The sliders 504/505 with their pairs 450/451, 452/453.
const char* const kWaterSliders[] = {"water.performance", "water.negativeAdjust"};
const char* const kAbnormalSliders[] = {"water.abnormalOffset", "water.abnormalInterval"};
const char* const kWaterEdits[] = {"water.negativeThreshold", "water.negativeCount", "water.sensorRatio",
                                   "water.driverRatio"};
QSlider* sliderAt(QWidget* page, int i) { return qvui::findControl<QSlider>(page, 504 + i); }

// Slider s of a water page moves row `key`: slider 504 + s, its number in label
// 320 + s, its step pair 450 + 2s, 451 + 2s.
void showSlider(QWidget* page, ProgramRecords& r, const char* key, int s) {
    const FieldStep it = fieldStep(r, key);
    setText(page, 320 + s, it.present ? QString::number(*it.value) : QString());
    if (it.present) EnableStepPair(*it.value, it.range, 450 + 2 * s, page);
}
void loadSlider(QWidget* page, ProgramRecords& r, const char* key, int s) {
    const FieldStep it = fieldStep(r, key);
    QSlider* sl = sliderAt(page, s);
    QSignalBlocker quiet(sl);
    sl->setRange(it.range.minimum, it.range.maximum);
    sl->setTickInterval(1);
    sl->setSliderPosition(*it.value);
    sl->setEnabled(it.present);
    enableId(page, 450 + 2 * s, it.present);
    enableId(page, 451 + 2 * s, it.present);
    showSlider(page, r, key, s);
}
void slideTo(QWidget* page, ProgramRecords& r, const char* key, int s, int position) {
    const FieldStep it = fieldStep(r, key);
    if (!it.present) return;
    *it.value = uint8_t(std::clamp(position, it.range.minimum, it.range.maximum));
    showSlider(page, r, key, s);
}
void stepSlider(QWidget* page, ProgramRecords& r, const char* key, int s, bool up) {
    const FieldStep it = fieldStep(r, key);
    if (!it.present) return;
    StepValue(*it.value, it.range, 450 + 2 * s, page, up);
    setText(page, 320 + s, QString::number(*it.value));
    sliderAt(page, s)->setSliderPosition(*it.value);
}
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
    const FieldStep mode = fieldStep(c_.records, kMode);
    const bool present = mode.present;
    const int selected = present ? WaterModeIndex(*mode.value) : -1;
    for (int i = 0; i < 3; ++i) {
        auto* pic = qvui::findControl<QLabel>(this, 510 + i);
        pic->setEnabled(present);
        SetBitmap(pic, WaterModeBitmap(i, selected));
    }
    showId(this, 510, true);
    showId(this, 511, (mode.range.maximum & 0x01) != 0);
    showId(this, 512, (mode.range.maximum & 0x02) != 0);
}

void CQVOldWaterDlg::LoadDlgItem() { loadModePictures(); }

void CQVOldWaterDlg::clickMode(int index) {
    const FieldStep mode = fieldStep(c_.records, kMode);
    if (index < 0 || index > 2 || !mode.present) return;
    *mode.value = kModes[index];
    for (int i = 0; i < 3; ++i) SetBitmap(qvui::findControl<QLabel>(this, 510 + i), WaterModeBitmap(i, index));
    qvui::sendMessage(main_ ? main_ : static_cast<QObject*>(window()), qvui::WM_DEBUG_COMMAND, 3, index);
    modeChanged();
}

void CQVOldWaterDlg::SetDlgItemTip() { choiceTips(this, 510, kMode, 3); }

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

void CQVxF6WaterDlg::CheckDlgItem() {
    const bool engineer = programState().engineerMode;
    for (int id : {340, 341, 452, 453, 505, 321, 522, 523, 323, 324}) showId(this, id, engineer);
    const FieldStep mode = fieldStep(c_.records, kMode);
    const bool on = (mode.present && *mode.value != 0) || engineer;
    if (auto* lock = qvui::findControl<QLabel>(this, 513); lock && !lock_.supported.empty() && lock_.supported[0]) {
        lock->setEnabled(on);
        SetBitmap(lock, on ? SwitchBitmap(lock_, 0) : kBitmapUnsupported);
    }
    for (int i = 0; i < 2; ++i)
        if (support_.supports(size_t(i))) enableId(this, 520 + i, on);
    const FieldStep performance = fieldStep(c_.records, kWaterSliders[0]);
    if (performance.present) {
        enableId(this, 504, on);
        enableId(this, 320, on);
        if (on) EnableStepPair(*performance.value, performance.range, 450, this);
        else {
            enableId(this, 450, false);
            enableId(this, 451, false);
        }
    }
}

void CQVxF6WaterDlg::LoadDlgItem() {
    loadModePictures();
    ProgramRecords& r = c_.records;
    lock_.firstId = 513;
    fieldSwitches(lock_, r, {kLock});
    LoadSwitchGroup(lock_, this);
    for (int s = 0; s < 2; ++s) loadSlider(this, r, kWaterSliders[s], s);
    fieldEdits(edits_, support_, r, kWaterEdits);
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
    CheckDlgItem();
}

void CQVxF6WaterDlg::clickLockSwitch() {
    lock_.index = 0;
    ToggleSwitch(lock_, this);
}

void CQVxF6WaterDlg::sliderEnded(int s, int position) {
    if (s >= 0 && s <= 1) slideTo(this, c_.records, kWaterSliders[s], s, position);
}

void CQVxF6WaterDlg::step(int s, bool up) {
    if (s >= 0 && s <= 1) stepSlider(this, c_.records, kWaterSliders[s], s, up);
}

void CQVxF6WaterDlg::SetDlgItemTip() {
    CQVOldWaterDlg::SetDlgItemTip();
    // This page's Water Performance picture has its own side-effect tip.
    if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, 512))) b->sideTipId = 730;
    switchTips(this, 513, kLock);
    stepTips(this, 450, kWaterSliders[0]);
    // The two negative-signal edits; the engineer's ratio edits have no tips.
    editTips(this, 520, {kWaterEdits[0], kWaterEdits[1]});
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

void CQVxF6Water2Dlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    for (int s = 0; s < 2; ++s) loadSlider(this, r, kAbnormalSliders[s], s);
    fieldEdits(edits_, support_, r, {"water.abnormalThreshold"});
    loadEditsQuiet(this, support_, edits_);
    SetRangeTips(this, edits_);
}

void CQVxF6Water2Dlg::sliderEnded(int s, int position) {
    if (s >= 0 && s <= 1) slideTo(this, c_.records, kAbnormalSliders[s], s, position);
}

void CQVxF6Water2Dlg::step(int s, bool up) {
    if (s >= 0 && s <= 1) stepSlider(this, c_.records, kAbnormalSliders[s], s, up);
}

} // namespace vcx
