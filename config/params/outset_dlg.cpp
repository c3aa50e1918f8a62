#include "params/outset_dlg.h"

#include "params/coord_rows.h"
#include "params/page_build.h"
#include "core/controller_api.h"
#include "ui/control_ids.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <cmath>

namespace vcx {

OuterPanel ReadOuterPanel(const Controller& c) {
    const ParameterPanel& p = c.records.panel;
    OuterPanel o;
    o.resolution = p.resolution[0];
    o.pitch = p.extra[2];
    o.linesX = ReadField(c.records, pagebuild::fieldRow("panel.usedSensor")).value;
    o.linesY = ReadField(c.records, pagebuild::fieldRow("panel.usedDriver")).value;
    o.sizeX = p.dimension[0];
    o.sizeY = p.dimension[1];
    return o;
}

QString OuterSettingRefusal(const OuterPanel& p) {
    if (p.resolution < 2) return QStringLiteral("Pre calibration initial failed.");
    if (p.pitch == 0 || p.linesX < 2 || p.linesY < 2)
        return QStringLiteral("Outer Setting needs the panel's pitch and at least two lines on each axis.");
    return {};
}

double ActiveSize(int pitch, int lines) { return double(pitch) * double(lines - 1) / 10.0; }

int OuterScale(int resolution) { return std::max(0, resolution - 1); }

namespace {
int rounded(double v, int top) { return int(std::clamp(std::lround(v), 0L, long(top))); }
} // namespace

int InsideMinValue(double offset, double active, int scale) {
    return active > 0 ? rounded(-offset * scale / active, scale) : 0;
}

int InsideMaxValue(double offset, double active, int scale) {
    return active > 0 ? rounded((offset + active) * scale / active, scale) : scale;
}

int OuterNibble(double offset, int pitch) { return pitch > 0 ? rounded(offset * 160.0 / pitch, 15) : 0; }

double OffsetOfMin(int value, double active, int scale) { return scale > 0 ? -double(value) * active / scale : 0; }

double OffsetOfMax(int value, double active, int scale) {
    return scale > 0 ? double(value) * active / scale - active : 0;
}

double OuterDistance(int nibble, int pitch) { return double(nibble) * pitch / 160.0; }

OuterOffsets OffsetsOf(const CoordRange& r, const EdgeValues& edges, const OuterPanel& p) {
    const int s = OuterScale(p.resolution);
    const double ax = ActiveSize(p.pitch, p.linesX), ay = ActiveSize(p.pitch, p.linesY);
    const double inside[4] = {OffsetOfMin(r.xMin, ax, s), OffsetOfMax(r.xMax, ax, s), OffsetOfMin(r.yMin, ay, s),
                              OffsetOfMax(r.yMax, ay, s)};
    OuterOffsets out{};
    for (size_t i = 0; i < 4; ++i) {
        const int nibble = edges[i] >> 4;
        out[i] = nibble ? OuterDistance(nibble, p.pitch) : inside[i];
    }
    return out;
}

void ApplyOuterOffsets(const OuterOffsets& o, bool xSymmetry, bool ySymmetry, const OuterPanel& p, CoordRange& r,
                       EdgeValues& edges) {
    const int s = OuterScale(p.resolution);
    const double ax = ActiveSize(p.pitch, p.linesX), ay = ActiveSize(p.pitch, p.linesY);
    int* const values[4] = {&r.xMin, &r.xMax, &r.yMin, &r.yMax};
    for (size_t i = 0; i < 4; ++i) {
        const bool maxSide = i % 2 == 1;
        const bool symmetric = i < 2 ? xSymmetry : ySymmetry;
        const double active = i < 2 ? ax : ay;
        if (o[i] <= 0) {
            if (maxSide && symmetric)
                *values[i] = s - *values[i - 1];
            else
                *values[i] = maxSide ? InsideMaxValue(o[i], active, s) : InsideMinValue(o[i], active, s);
            edges[i] = uint8_t(edges[i] & 0x0F);
        } else {
            edges[i] = uint8_t((edges[i] & 0x0F) | OuterNibble(o[i], p.pitch) << 4);
        }
    }
}

// ---- COutSetEdit ---------------------------------------------------------------

COutSetEdit::COutSetEdit(QWidget* parent) : QLineEdit(parent) {
    // Pasted text keeps to the same characters.
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.\\-]*")), this));
}

void COutSetEdit::keyPressEvent(QKeyEvent* e) {
    const QString t = e->text();
    if (e->key() == Qt::Key_Backspace || t.isEmpty() || !t[0].isPrint()) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    const QChar ch = t[0];
    if (ch.isDigit() || ch == u'-' || ch == u'.') QLineEdit::keyPressEvent(e);
    else e->ignore();
}

// ---- The dialog ------------------------------------------------------------------

namespace {
using namespace pagebuild;
QString mm1(double v) { return QString::asprintf("%.01f", v); }
QString mm2(double v) { return QString::asprintf("%.02f", v); }
EdgeValues edgesOf(const ProgramRecords& r) {
    EdgeValues e{};
    for (size_t i = 0; i < 4; ++i) e[i] = uint8_t(ReadField(r, fieldRow(kCoordEdgeRows[i])).value);
    return e;
}
} // namespace

CQVOutSetDlg::CQVOutSetDlg(Controller& c, QWidget* parent) : QDialog(parent), c_(c) {
    setWindowTitle(QStringLiteral("Outer Setting"));
    panel_ = ReadOuterPanel(c);
    activeX_ = ActiveSize(panel_.pitch, panel_.linesX);
    activeY_ = ActiveSize(panel_.pitch, panel_.linesY);

    auto* grid = new QGridLayout(this);
    // The millimetre entries, left and right column by row.
    const struct {
        const char* caption;
        int id;  // an entry, or a label (320, 321)
    } rows[5][2] = {{{"LCD Key Area X (mm) :", 520}, {"LCD Key Area Y (mm) :", 521}},
                    {{"X Active Area", 320}, {"Y Active Area", 321}},
                    {{"Actual Active Area X (mm) :", 522}, {"Actual Active Area Y (mm) :", 525}},
                    {{"Left Offset :", 523}, {"Top Offset :", 526}},
                    {{"Right Offset :", 524}, {"Bottom Offset :", 527}}};
    int row = 0;
    for (const auto& line : rows) {
        for (int side = 0; side < 2; ++side) {
            caption(this, grid, row, 2 * side, line[side].caption);
            if (line[side].id < 520) label(this, grid, row, 2 * side + 1, line[side].id);
            else control<COutSetEdit>(this, grid, row, 2 * side + 1, line[side].id)->setMaxLength(8);
        }
        ++row;
    }
    const char* checks[] = {"The same with LCD Key Area", "X Axis Symmetry", "Y Axis Symmetry"};
    for (int i = 0; i < 3; ++i) {
        auto* box = check(this, grid, row++, 0, 470 + i, checks[i], {1, 4});
        connect(box, &QCheckBox::toggled, this, [this] { applyChecks(); });
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    qvui::setControlId(buttons->button(QDialogButtonBox::Ok), 1);
    qvui::setControlId(buttons->button(QDialogButtonBox::Cancel), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, row, 0, 1, 4);

    // The panel's sizes, the sensor's active sizes and the offsets the current range stands for.
    qvui::findControl<QLabel>(this, 320)->setText(mm1(panel_.sizeX / 10.0));
    qvui::findControl<QLabel>(this, 321)->setText(mm1(panel_.sizeY / 10.0));
    qvui::findControl<QLineEdit>(this, 520)->setText(mm1(panel_.sizeX / 10.0));
    qvui::findControl<QLineEdit>(this, 521)->setText(mm1(panel_.sizeY / 10.0));
    qvui::findControl<QLineEdit>(this, 522)->setText(mm1(activeX_));
    qvui::findControl<QLineEdit>(this, 525)->setText(mm1(activeY_));
    const OuterOffsets o = OffsetsOf(CoordinateRangeOf(c.records), edgesOf(c.records), panel_);
    const int offsetIds[4] = {523, 524, 526, 527};
    for (size_t i = 0; i < 4; ++i) qvui::findControl<QLineEdit>(this, offsetIds[i])->setText(mm2(o[i]));
    applyChecks();
}

void CQVOutSetDlg::applyChecks() {
    const bool same = qvui::findControl<QCheckBox>(this, 470)->isChecked();
    const bool symX = qvui::findControl<QCheckBox>(this, 471)->isChecked();
    const bool symY = qvui::findControl<QCheckBox>(this, 472)->isChecked();
    qvui::findControl(this, 471)->setEnabled(!same);
    qvui::findControl(this, 472)->setEnabled(!same);
    for (int id = 522; id <= 527; ++id) qvui::findControl(this, id)->setEnabled(!same);
    if (same) return;
    qvui::findControl(this, 523)->setEnabled(!symX);
    qvui::findControl(this, 524)->setEnabled(!symX);
    qvui::findControl(this, 526)->setEnabled(!symY);
    qvui::findControl(this, 527)->setEnabled(!symY);
}

double CQVOutSetDlg::number(int id) const {
    // As atof reads it: a text that is no number is 0.
    return qvui::findControl<QLineEdit>(this, id)->text().trimmed().toDouble();
}

void CQVOutSetDlg::accept() {
    const bool same = qvui::findControl<QCheckBox>(this, 470)->isChecked();
    const bool symX = same || qvui::findControl<QCheckBox>(this, 471)->isChecked();
    const bool symY = same || qvui::findControl<QCheckBox>(this, 472)->isChecked();
    const double lcdX = number(520), lcdY = number(521);
    OuterOffsets o{number(523), number(524), number(526), number(527)};
    if (same) {
        o[0] = o[1] = (lcdX - activeX_) * 0.5;
        o[2] = o[3] = (lcdY - activeY_) * 0.5;
    } else {
        if (symX) o[0] = o[1] = (number(522) - activeX_) * 0.5;
        if (symY) o[2] = o[3] = (number(525) - activeY_) * 0.5;
    }
    CoordRange range = CoordinateRangeOf(c_.records);
    EdgeValues edges = edgesOf(c_.records);
    ApplyOuterOffsets(o, symX, symY, panel_, range, edges);
    SetCoordinateRange(c_.records, range);
    for (size_t i = 0; i < 4; ++i) SetWhereItemIs(c_.records, kCoordEdgeRows[i], edges[i]);
    QDialog::accept();
}

} // namespace vcx
