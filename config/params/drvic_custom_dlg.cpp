#include "params/drvic_custom_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_units.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>

namespace vcx {

using namespace pagebuild;

CQVxF6DrvICDlg::CQVxF6DrvICDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "High Voltage");
    auto* vDown = button(this, grid, 1, 0, 450, "Decrease ( - )");
    label(this, grid, 1, 1, 320);
    auto* vUp = button(this, grid, 1, 2, 451, "( + ) Increase");
    caption(this, grid, 2, 0, "Min :");
    label(this, grid, 2, 1, 322);
    caption(this, grid, 2, 2, "Max :");
    label(this, grid, 2, 3, 323);
    box(this, grid, 3, 0, 330, "Max. Current");
    auto* cDown = button(this, grid, 4, 0, 452, "Decrease ( - )");
    label(this, grid, 4, 1, 321);
    auto* cUp = button(this, grid, 4, 2, 453, "( + ) Increase");
    grid->setRowStretch(5, 1);
    connect(vDown, &QPushButton::clicked, this, [this] { step(0, false); });
    connect(vUp, &QPushButton::clicked, this, [this] { step(0, true); });
    connect(cDown, &QPushButton::clicked, this, [this] { step(1, false); });
    connect(cUp, &QPushButton::clicked, this, [this] { step(1, true); });
    initDialog();
    setText(this, 323, QStringLiteral("18 V"));
}

void CQVxF6DrvICDlg::CheckDlgItem() {
    const bool engineer = programState().engineerMode;
    for (int id : {452, 453, 321, 330}) showId(this, id, engineer);
}

void CQVxF6DrvICDlg::showPair(int pair) {
    const ParameterDriveIC& d = c_.records.driveIC;
    const ParameterItem& it = d.item[pair];
    const bool present = d.valid && it.present;
    // The tables are indexed by controller values: out of range shows the number.
    setText(this, 320 + pair, present ? (pair == 0 ? VoltageText(it.value) : CurrentText(it.value)) : QString());
    if (present) EnableStepPair(it.value, {0, it.maximum}, 450 + 2 * pair, this);
    else {
        enableId(this, 450 + 2 * pair, false);
        enableId(this, 451 + 2 * pair, false);
    }
}

void CQVxF6DrvICDlg::LoadDlgItem() {
    const ParameterDriveIC& d = c_.records.driveIC;
    showPair(0);
    showPair(1);
    const bool present = d.valid && d.item[0].present;
    setText(this, 322, present ? VoltageText(0) : QString());
    setText(this, 323, present ? VoltageText(d.item[0].maximum) : QString());
}

void CQVxF6DrvICDlg::step(int pair, bool up) {
    if (pair < 0 || pair > 1) return;
    ParameterDriveIC& d = c_.records.driveIC;
    ParameterItem& it = d.item[pair];
    if (!d.valid || !it.present) return;
    StepValue(it.value, {0, it.maximum}, 450 + 2 * pair, this, up);
    showPair(pair);
}

void CQVxF6DrvICDlg::SetDlgItemTip() {
    const ParamField* f = FindField("drive.voltage");
    // The field's tips: increase feature / side effect, then decrease.
    if (auto* up = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 451))) {
        up->featureTipId = f->tips[0];
        up->sideTipId = f->tips[1];
    }
    if (auto* down = dynamic_cast<CQVMyTipButton*>(qvui::findControl(this, 450))) {
        down->featureTipId = f->tips[2];
        down->sideTipId = f->tips[3];
    }
}

CQVxF6CustomDlg::CQVxF6CustomDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    box(this, grid, 0, 0, 340, "Point Report Ratio", 3);
    auto* down = button(this, grid, 1, 0, 450, "Decrease ( - )");
    label(this, grid, 1, 1, 320);
    auto* up = button(this, grid, 1, 2, 451, "( + ) Increase");
    auto* message = label(this, grid, 2, 0, 348);
    message->setText(
        QStringLiteral("Customer parameters don't support this firmware. You need update your application."));
    message->setWordWrap(true);
    grid->setRowStretch(3, 1);
    connect(down, &QPushButton::clicked, this, [this] { step(false); });
    connect(up, &QPushButton::clicked, this, [this] { step(true); });
    initDialog();
}

void CQVxF6CustomDlg::LoadDlgItem() {
    for (int id : {450, 451, 320, 340, 348}) showId(this, id, false);
    const ParameterCustom& cu = c_.records.custom;
    if (!cu.valid) return;
    if (cu.info[0] > 1) {
        showId(this, 348, true);
        return;
    }
    if (!cu.item0.present) return;
    for (int id : {450, 451, 320, 340}) showId(this, id, true);
    setText(this, 320, QString::asprintf("1 / %d", cu.item0.value + 1));
    EnableStepPair(cu.item0.value, {0, cu.item0.maximum}, 450, this);
}

void CQVxF6CustomDlg::step(bool up) {
    ParameterCustom& cu = c_.records.custom;
    if (!cu.valid || !cu.item0.present || cu.info[0] > 1) return;
    StepValue(cu.item0.value, {0, cu.item0.maximum}, 450, this, up);
    setText(this, 320, QString::asprintf("1 / %d", cu.item0.value + 1));
}

} // namespace vcx
