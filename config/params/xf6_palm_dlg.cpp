#include "params/xf6_palm_dlg.h"

#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QGridLayout>
#include <QLabel>

namespace vcx {

using namespace pagebuild;

namespace {
const char* const kPalmEdits[] = {"palm.size", "palm.range", "palm.upDebounce"};
} // namespace

CQVxF6PalmDlg::CQVxF6PalmDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    box(this, grid, 0, 0, 340, "Palm rejection");
    caption(this, grid, 1, 0, "Palm Rejection :");
    picture(this, grid, 1, 1, 510);
    caption(this, grid, 2, 0, "Palm on edge enable :");
    picture(this, grid, 2, 1, 511);
    const char* captions[] = {"Palm size :", "Disable range near palm :", "Palm-Up debouncing :"};
    for (int i = 0; i < 3; ++i) {
        caption(this, grid, 3 + i, 0, captions[i]);
        edit(this, grid, 3 + i, 1, kIdFirstEdit + i);
    }
    for (int id = 320; id <= 326; ++id) label(this, grid, 3 + (id - 320) % 3, 2 + (id - 320) / 3, id);
    SetBitmap(label(this, grid, 6, 0, 512), 215);
    SetBitmap(label(this, grid, 6, 1, 513), 214);
    grid->setRowStretch(7, 1);

    ConnectClick(qvui::findControl(this, 510), [this] { clickSwitch(0); });
    ConnectClick(qvui::findControl(this, 511), [this] { clickSwitch(1); });
    ConnectEditGroup(this, edits_, 3);

    initDialog();
    // Only the palm-rejection switch is presented; the rest stays loaded and hidden.
    for (int id : {320, 321, 322, 323, 324, 325, 326, 340, 511, 512, 513, 520, 521, 522})
        qvui::findControl(this, id)->hide();
}

void CQVxF6PalmDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    // 510 shows value 0 as on (inverted), 511 value 1 as on.
    fieldSwitches(switches_, r, {"palm.rejection", "palm.onEdge"});
    fieldEdits(edits_, support_, r, kPalmEdits);
    LoadSwitchGroup(switches_, this);
    LoadEditGroup(this, support_, edits_);
    SetRangeTips(this, edits_);
    const double p = AreaPitch(r, c_.dev.paraVersion, c_.dev.featureFlags, false);
    qvui::findControl<QLabel>(this, 325)->setText(PalmSizeUnit(p));
    qvui::findControl<QLabel>(this, 326)->setText(PalmRangeUnit(p));
    applyDependentState();
}

void CQVxF6PalmDlg::applyDependentState() {
    // The rest of the page works while palm rejection is on (or not there to switch).
    const bool on = !switches_.supported[0] || *switches_.values[0] == 0;
    auto* edge = qvui::findControl<QLabel>(this, 511);
    const bool edgeUsable = on && switches_.supported[1];
    edge->setEnabled(edgeUsable);
    SetBitmap(edge, edgeUsable ? SwitchBitmap(switches_, 1) : kBitmapUnsupported);
    for (int i = 0; i < edits_.count(); ++i)
        qvui::findControl(this, kIdFirstEdit + i)->setEnabled(on && support_.supports(size_t(i)));
}

void CQVxF6PalmDlg::clickSwitch(int index) {
    if (index < 0 || index >= switches_.count()) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
    if (index == 0) applyDependentState();
}

void CQVxF6PalmDlg::SetDlgItemTip() {
    switchTips(this, 510, "palm.rejection");
    switchTips(this, 511, "palm.onEdge");
    editTips(this, kIdFirstEdit, kPalmEdits);
}

} // namespace vcx
