#include "params/old_finger_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "core/controller_api.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace vcx {

using pagebuild::withId;

CQVOldFingerDlg::CQVOldFingerDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    grid->addWidget(withId(new QGroupBox(QStringLiteral("Sensitivity"), this), 340), 0, 0, 1, 4);
    grid->addWidget(withId(new QLabel(QStringLiteral("Current Level"), this), 341), 1, 0);
    grid->addWidget(withId(new QLabel(this), 320), 1, 1);
    auto* minus = withId(new CQVMyTipButton(this), 450);
    minus->setText(QStringLiteral("Insensitive ( - )"));
    auto* plus = withId(new CQVMyTipButton(this), 451);
    plus->setText(QStringLiteral("( + ) Sensitive"));
    auto* slider = withId(new CQVMyTipSlider(this), 504);
    slider->setOrientation(Qt::Horizontal);
    slider->setTickPosition(QSlider::TicksBelow);
    grid->addWidget(minus, 2, 0);
    grid->addWidget(slider, 2, 1, 1, 2);
    grid->addWidget(plus, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Max contact number :"), this), 3, 0);
    auto* e = withId(new CQVMyTipEdit(this), kIdFirstEdit);
    e->setMaxLength(3);
    grid->addWidget(e, 3, 1);
    grid->setRowStretch(4, 1);

    ConnectSliderEnd(slider, [this](int position) { sliderEnded(position); });
    QObject::connect(minus, &QPushButton::clicked, this, [this] { step(false); });
    QObject::connect(plus, &QPushButton::clicked, this, [this] { step(true); });
    ConnectEditGroup(this, edits_, 1);
    initDialog();
}

void CQVOldFingerDlg::LoadDlgItem() {
    ParameterFinger& f = c_.records.finger;
    const bool valid = f.valid != 0;
    ParameterItem& sens = f.item0[0];
    const bool present = valid && sens.present;
    auto* slider = static_cast<QSlider*>(qvui::findControl(this, 504));
    sensitivity_ = {0, sens.maximum};
    slider->setRange(0, sens.maximum);
    slider->setTickInterval(1);
    slider->setSliderPosition(sens.value);
    slider->setEnabled(present);
    if (present) {
        showLevel();
        EnableStepPair(sens.value, sensitivity_, 450, this);
    } else {
        qvui::findControl<QLabel>(this, 320)->clear();
        qvui::findControl(this, 450)->setEnabled(false);
        qvui::findControl(this, 451)->setEnabled(false);
    }
    ShowExtraControls(this, present);

    edits_.values = {&f.item0[1].value};
    edits_.minimum = {1};
    edits_.maximum = {f.item0[1].maximum};
    support_.mask = valid ? f.itemMask : 0;
    support_.bits = {1};
    LoadEditGroup(this, support_, edits_);
    SetRangeTips(this, edits_);
}

void CQVOldFingerDlg::showLevel() {
    const ParameterItem& sens = c_.records.finger.item0[0];
    qvui::findControl<QLabel>(this, 320)->setText(QString::number(SensitivityLevel(sens.value, sens.maximum)));
}

void CQVOldFingerDlg::sliderEnded(int position) {
    ParameterItem& sens = c_.records.finger.item0[0];
    if (!c_.records.finger.valid || !sens.present) return;
    sens.value = uint8_t(std::clamp(position, sensitivity_.minimum, sensitivity_.maximum));
    showLevel();
    EnableStepPair(sens.value, sensitivity_, 450, this);
}

void CQVOldFingerDlg::step(bool up) {
    ParameterItem& sens = c_.records.finger.item0[0];
    if (!c_.records.finger.valid || !sens.present) return;
    StepValue(sens.value, sensitivity_, 450, this, up);
    showLevel();
    static_cast<QSlider*>(qvui::findControl(this, 504))->setSliderPosition(sens.value);
}

void CQVOldFingerDlg::SetDlgItemTip() {
    const ParamField* f = FindField("finger.sensitivity");
    auto* minus = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450));
    auto* plus = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 451));
    minus->featureTipId = f->tips[0];
    minus->sideTipId = f->tips[1];
    plus->featureTipId = f->tips[2];
    plus->sideTipId = f->tips[3];
    auto* slider = dynamic_cast<CQVMyTipSlider*>(qvui::findControl(this, 504));
    slider->featureTipId1 = f->tips[0];
    slider->sideTipId1 = f->tips[1];
    slider->featureTipId2 = f->tips[2];
    slider->sideTipId2 = f->tips[3];
    slider->SetTipAnchors(QRect(minus->mapToGlobal(QPoint(0, 0)), minus->size()),
                          QRect(plus->mapToGlobal(QPoint(0, 0)), plus->size()));
    // The maximum contact number has a range line and no feature tip.
    dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, kIdFirstEdit))->SetTipIds(0, 0);
    SetRangeTips(this, edits_);
}

} // namespace vcx
