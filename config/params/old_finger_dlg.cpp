#include "params/old_finger_dlg.h"

#include "params/page_build.h"
#include "core/controller_api.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QPushButton>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
constexpr const char* kSensitivity = "finger.sensitivity";
} // namespace

CQVOldFingerDlg::CQVOldFingerDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    box(this, grid, 0, 0, 340, "Sensitivity");
    caption(this, grid, 1, 0, "Current Level", 341);
    label(this, grid, 1, 1, 320);
    auto* minus = button(this, grid, 2, 0, 450, "Insensitive ( - )");
    auto* plus = button(this, grid, 2, 3, 451, "( + ) Sensitive");
    auto* bar = slider(this, grid, 2, 1, 504, {1, 2});
    caption(this, grid, 3, 0, "Max contact number :");
    edit(this, grid, 3, 1, kIdFirstEdit);
    grid->setRowStretch(4, 1);

    ConnectSliderEnd(bar, [this](int position) { sliderEnded(position); });
    QObject::connect(minus, &QPushButton::clicked, this, [this] { step(false); });
    QObject::connect(plus, &QPushButton::clicked, this, [this] { step(true); });
    ConnectEditGroup(this, edits_, 1);
    initDialog();
}

void CQVOldFingerDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    const FieldStep sens = fieldStep(r, kSensitivity);
    auto* bar = static_cast<QSlider*>(qvui::findControl(this, 504));
    sensitivity_ = sens.range;
    bar->setRange(sens.range.minimum, sens.range.maximum);
    bar->setTickInterval(1);
    bar->setSliderPosition(*sens.value);
    bar->setEnabled(sens.present);
    if (sens.present) {
        showLevel();
        EnableStepPair(*sens.value, sensitivity_, 450, this);
    } else {
        qvui::findControl<QLabel>(this, 320)->clear();
        qvui::findControl(this, 450)->setEnabled(false);
        qvui::findControl(this, 451)->setEnabled(false);
    }
    ShowExtraControls(this, sens.present);

    fieldEdits(edits_, support_, r, {"finger.maxContacts"});
    LoadEditGroup(this, support_, edits_);
    SetRangeTips(this, edits_);
}

void CQVOldFingerDlg::showLevel() {
    const FieldStep sens = fieldStep(c_.records, kSensitivity);
    qvui::findControl<QLabel>(this, 320)->setText(QString::number(SensitivityLevel(*sens.value, sens.range.maximum)));
}

void CQVOldFingerDlg::sliderEnded(int position) {
    const FieldStep sens = fieldStep(c_.records, kSensitivity);
    if (!sens.present) return;
    *sens.value = uint8_t(std::clamp(position, sensitivity_.minimum, sensitivity_.maximum));
    showLevel();
    EnableStepPair(*sens.value, sensitivity_, 450, this);
}

void CQVOldFingerDlg::step(bool up) {
    const FieldStep sens = fieldStep(c_.records, kSensitivity);
    if (!sens.present) return;
    StepValue(*sens.value, sensitivity_, 450, this, up);
    showLevel();
    static_cast<QSlider*>(qvui::findControl(this, 504))->setSliderPosition(*sens.value);
}

void CQVOldFingerDlg::SetDlgItemTip() {
    stepTips(this, 450, kSensitivity);
    // The slider's two tip positions are the pair's: "-" then "+".
    const ParamField& f = fieldRow(kSensitivity);
    auto* minus = qvui::findControl(this, 450);
    auto* plus = qvui::findControl(this, 451);
    auto* bar = dynamic_cast<CQVMyTipSlider*>(qvui::findControl(this, 504));
    bar->featureTipId1 = f.tips[0];
    bar->sideTipId1 = f.tips[1];
    bar->featureTipId2 = f.tips[2];
    bar->sideTipId2 = f.tips[3];
    bar->SetTipAnchors(QRect(minus->mapToGlobal(QPoint(0, 0)), minus->size()),
                       QRect(plus->mapToGlobal(QPoint(0, 0)), plus->size()));
    // The maximum contact number has a range line and no feature tip.
    editTips(this, kIdFirstEdit, {"finger.maxContacts"});
    SetRangeTips(this, edits_);
}

} // namespace vcx
