#include "params/drvic_custom_dlg.h"

#include "params/page_build.h"
#include "params/param_units.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QPushButton>

namespace vcx {

using namespace pagebuild;

namespace {
// The pairs 450/451 and 452/453.
const char* const kDrivePairs[] = {"drive.voltage", "drive.current"};
constexpr const char* kRatio = "custom.pointRatio";
constexpr const char* kFormat = "custom.format";
} // namespace

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
    const FieldStep it = fieldStep(c_.records, kDrivePairs[pair]);
    // The tables are indexed by controller values: out of range shows the number.
    setText(this, 320 + pair, it.present ? (pair == 0 ? VoltageText(*it.value) : CurrentText(*it.value)) : QString());
    if (it.present) EnableStepPair(*it.value, it.range, 450 + 2 * pair, this);
    else {
        enableId(this, 450 + 2 * pair, false);
        enableId(this, 451 + 2 * pair, false);
    }
}

void CQVxF6DrvICDlg::LoadDlgItem() {
    showPair(0);
    showPair(1);
    const FieldStep voltage = fieldStep(c_.records, kDrivePairs[0]);
    setText(this, 322, voltage.present ? VoltageText(voltage.range.minimum) : QString());
    setText(this, 323, voltage.present ? VoltageText(voltage.range.maximum) : QString());
}

void CQVxF6DrvICDlg::step(int pair, bool up) {
    if (pair < 0 || pair > 1) return;
    const FieldStep it = fieldStep(c_.records, kDrivePairs[pair]);
    if (!it.present) return;
    StepValue(*it.value, it.range, 450 + 2 * pair, this, up);
    showPair(pair);
}

void CQVxF6DrvICDlg::SetDlgItemTip() { stepTips(this, 450, kDrivePairs[0]); }

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
    const ProgramRecords& r = c_.records;
    if (!RecordValid(r, ParamRecord::Custom)) return;
    if (ReadField(r, fieldRow(kFormat)).value > 1) {
        showId(this, 348, true);
        return;
    }
    const FieldStep ratio = fieldStep(c_.records, kRatio);
    if (!ratio.present) return;
    for (int id : {450, 451, 320, 340}) showId(this, id, true);
    setText(this, 320, QString::asprintf("1 / %d", *ratio.value + 1));
    EnableStepPair(*ratio.value, ratio.range, 450, this);
}

void CQVxF6CustomDlg::step(bool up) {
    const FieldStep ratio = fieldStep(c_.records, kRatio);
    if (!ratio.present || ReadField(c_.records, fieldRow(kFormat)).value > 1) return;
    StepValue(*ratio.value, ratio.range, 450, this, up);
    setText(this, 320, QString::asprintf("1 / %d", *ratio.value + 1));
}

} // namespace vcx
