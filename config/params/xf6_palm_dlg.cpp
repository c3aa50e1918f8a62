#include "params/xf6_palm_dlg.h"

#include "core/field_table.h"
#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace vcx {

using pagebuild::withId;

CQVxF6PalmDlg::CQVxF6PalmDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    auto* box = withId(new QGroupBox(QStringLiteral("Palm rejection"), this), 340);
    grid->addWidget(box, 0, 0, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Palm Rejection :"), this), 1, 0);
    grid->addWidget(withId(new CQVMyTipBMP(this), 510), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Palm on edge enable :"), this), 2, 0);
    grid->addWidget(withId(new CQVMyTipBMP(this), 511), 2, 1);
    const char* captions[] = {"Palm size :", "Disable range near palm :", "Palm-Up debouncing :"};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(QLatin1String(captions[i]), this), 3 + i, 0);
        auto* e = withId(new CQVMyTipEdit(this), kIdFirstEdit + i);
        e->setMaxLength(3);
        grid->addWidget(e, 3 + i, 1);
    }
    for (int id = 320; id <= 326; ++id) grid->addWidget(withId(new QLabel(this), id), 3 + (id - 320) % 3, 2 + (id - 320) / 3);
    auto* p512 = withId(new QLabel(this), 512);
    auto* p513 = withId(new QLabel(this), 513);
    SetBitmap(p512, 215);
    SetBitmap(p513, 214);
    grid->addWidget(p512, 6, 0);
    grid->addWidget(p513, 6, 1);
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
    ParameterPalm& palm = c_.records.palm;
    const bool valid = palm.valid != 0;
    switches_.values = {&palm.item5.value, &palm.item[3].value};
    // 510 shows value 0 as on (inverted), 511 value 1 as on.
    switches_.table = {0, 1, 1, 0};
    switches_.supported = {uint32_t(valid && palm.item5.present), uint32_t(valid && palm.item[3].present)};
    edits_.values = {&palm.item[0].value, &palm.item[1].value, &palm.item[2].value};
    edits_.minimum = {0, 0, 0};
    edits_.maximum = {palm.item[0].maximum, palm.item[1].maximum, palm.item[2].maximum};
    support_.mask = valid ? palm.itemMask : 0;
    support_.bits = {0, 1, 2};
    LoadSwitchGroup(switches_, this);
    LoadEditGroup(this, support_, edits_);
    SetRangeTips(this, edits_);
    const double p = AreaPitch(c_.records, c_.dev.paraVersion, c_.dev.featureFlags, false);
    qvui::findControl<QLabel>(this, 325)->setText(PalmSizeUnit(p));
    qvui::findControl<QLabel>(this, 326)->setText(PalmRangeUnit(p));
    applyDependentState();
}

void CQVxF6PalmDlg::applyDependentState() {
    // The rest of the page works while palm rejection is on (or not there to switch).
    const ParameterPalm& palm = c_.records.palm;
    const bool on = !switches_.supported[0] || palm.item5.value == 0;
    auto* edge = qvui::findControl<QLabel>(this, 511);
    const bool edgeUsable = on && switches_.supported[1];
    edge->setEnabled(edgeUsable);
    SetBitmap(edge, edgeUsable ? 204 + (palm.item[3].value == 0 ? 1 : 0) : kBitmapUnsupported);
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
    auto tipsOf = [this](int id, const char* key) {
        const ParamField* f = FindField(key);
        auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(this, id));
        b->featureTipId = f->tips[0];
        b->featureSecondId = f->tips[1];
        b->sideTipId = f->tips[2];
        b->sideSecondId = f->tips[3];
    };
    tipsOf(510, "palm.rejection");
    tipsOf(511, "palm.onEdge");
    const char* keys[] = {"palm.size", "palm.range", "palm.upDebounce"};
    for (int i = 0; i < 3; ++i) {
        const ParamField* f = FindField(keys[i]);
        dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, kIdFirstEdit + i))->SetTipIds(f->tips[0], f->tips[1]);
    }
}

} // namespace vcx
