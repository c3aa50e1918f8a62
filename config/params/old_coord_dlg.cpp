#include "params/old_coord_dlg.h"

#include "params/coord_rows.h"
#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"

#include <QSlider>

namespace vcx {

using namespace pagebuild;

int EdgeSaved(int value, int level, int maximum) {
    const int v = (value & 0xF0) + level * 2;
    return maximum - v == 1 ? maximum : v;
}

CQVOldCoordDlg::CQVOldCoordDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    const char* names[] = {"Bottom", "Right", "Top", "Left"};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* r = radio(this, grid, i, 0, 460 + i, names[i]);
        connect(r, &QRadioButton::clicked, this, [this, i] { orientationClicked(460 + i); });
    }
    label(this, grid, 0, 1, 512, {4, 1});
    box(this, grid, 4, 0, 340, "Edge Compensation");
    label(this, grid, 5, 0, 510);
    label(this, grid, 5, 1, 511);
    for (int i = 0; i < 4; ++i) {
        auto* s = slider(this, grid, 6 + i, 0, 504 + i);
        if (i >= 2) s->setOrientation(Qt::Vertical);
        label(this, grid, 6 + i, 1, 320 + i);
        ConnectSliderEnd(s, [this, i](int p) { sliderEnded(i, p); });
    }
    grid->setRowStretch(10, 1);
    initDialog();
}

bool CQVOldCoordDlg::edgesShown() const { return CoordinateEdgesPresent(c_.records); }

void CQVOldCoordDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    const FieldStep tail = fieldStep(r, kCoordTailRow);
    // A tail value past Left is taken (and kept) as Bottom.
    if (*tail.value > 3) *tail.value = 0;
    checkRadio(this, 460, 463, 460 + *tail.value);
    SetBitmap(qvui::findControl<QLabel>(this, 512), 224 + *tail.value);
    for (int i = 0; i < 4; ++i) enableId(this, 460 + i, tail.present);
    const bool edges = edgesShown();
    for (int id : {340, 510, 511, 320, 321, 322, 323, 504, 505, 506, 507}) showId(this, id, edges);
    for (int i = 0; i < 4; ++i) {
        const FieldStep e = fieldStep(r, kCoordEdgeRows[i]);
        auto* s = qvui::findControl<QSlider>(this, 504 + i);
        QSignalBlocker quiet(s);
        s->setRange(0, (e.range.maximum >> 1) & 7);
        s->setSliderPosition(EdgeLevel(*e.value));
        setText(this, 320 + i, edges ? QString::number(EdgeLevel(*e.value)) : QString());
    }
}

void CQVOldCoordDlg::orientationClicked(int id) {
    if (id < 460 || id > 463) return;
    *fieldStep(c_.records, kCoordTailRow).value = uint8_t(id - 460);
    SetBitmap(qvui::findControl<QLabel>(this, 512), 224 + (id - 460));
}

void CQVOldCoordDlg::sliderEnded(int i, int position) {
    if (i < 0 || i > 3) return;
    setText(this, 320 + i, QString::number(position));
}

void CQVOldCoordDlg::SaveDlgItem() {
    if (!edgesShown()) return;
    for (int i = 0; i < 4; ++i) {
        const FieldStep e = fieldStep(c_.records, kCoordEdgeRows[i]);
        const int level = qvui::findControl<QSlider>(this, 504 + i)->sliderPosition();
        *e.value = uint8_t(EdgeSaved(*e.value, level, e.range.maximum));
    }
}

} // namespace vcx
