#include "params/xf6_coord_dlg.h"

#include "params/coord_rows.h"
#include "params/outset_dlg.h"
#include "params/page_build.h"
#include "params/para_dlg.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/parameter_lock.h"
#include "core/program_state.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_message.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include <algorithm>

namespace vcx {

std::array<bool, 3> OrientationChecks(int index) {
    static constexpr std::array<bool, 3> kRows[4] = {
        {false, false, false}, {true, false, true}, {true, true, false}, {false, true, true}};
    return kRows[std::clamp(index, 0, 3)];
}

int OrientationFromChecks(bool xReverse, bool yReverse, bool xySwitch) {
    if ((int(xReverse) + int(yReverse) + int(xySwitch)) % 2) return -1;
    return int(xySwitch) + 2 * int(yReverse);
}

int ClampInward(int value) { return std::clamp(value, 2, 5); }

int EdgeValueFromPosition(int value, int maximum, int position) {
    const int v = (value & 0xF0) + position * 2;
    return maximum == v + 1 ? maximum : v;
}

int EdgeSliderMaximum(int maximum) { return (maximum >> 1) & 7; }
int EdgeSliderPosition(int value) { return (value >> 1) & 7; }

CoordRange SaveRangeValues(const CoordRange& old, const CoordRange& entered, int resolution) {
    auto take = [resolution](int was, int now) { return now < 0 || now > resolution - 1 ? was : now; };
    CoordRange r{take(old.xMin, entered.xMin), take(old.xMax, entered.xMax), take(old.yMin, entered.yMin),
                 take(old.yMax, entered.yMax)};
    auto pair = [](int& min, int& max, int oldMin, int oldMax) {
        if (min <= max) return;
        min = oldMin;
        if (min > max) max = oldMax;
    };
    pair(r.xMin, r.xMax, old.xMin, old.xMax);
    pair(r.yMin, r.yMax, old.yMin, old.yMax);
    return r;
}

bool RangeEditable(const ProgramRecords& r) { return (r.vButton.item[0].value & 1) == 0; }

bool OuterSettingAvailable(const ProgramRecords& r) { return (r.coordinate.itemMask & 0xF0FF) == 0xF0FF; }

namespace {

using namespace pagebuild;

void showPicture(QLabel* label, int id) {
    if (!label) return;
    label->setPixmap(ParameterBitmap(id));
    label->setProperty("bitmapId", id);
}

CQVParaDlg* sheetOf(QWidget* page) {
    for (QWidget* w = page ? page->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* sheet = qobject_cast<CQVParaDlg*>(w)) return sheet;
    return nullptr;
}

void stopBox(QWidget* owner, const QString& text) {
    qvui::showMessageBox(owner, text, text, qvui::MessageIcon::Error);
}

constexpr int kCalibrationPageState = 107;
constexpr const char* kTails[] = {"Bottom", "Right", "Top", "Left"};
constexpr const char* kChecks[] = {"X Axis Reverse", "Y Axis Reverse", "X Y Axis Switch"};

std::array<int, 4> rangeOf(const ProgramRecords& r) {
    const CoordRange c = CoordinateRangeOf(r);
    return {c.xMin, c.xMax, c.yMin, c.yMax};
}

} // namespace

CQVxF6CoordDlg::CQVxF6CoordDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Resolution :", 324, {1, 4});
    const char* range[] = {"X Min :", "X Max :", "Y Min :", "Y Max :"};
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, 1 + i, 0, range[i]);
        edit(this, grid, 1 + i, 1, kIdFirstEdit + i, 4);
        label(this, grid, 1 + i, 2, 330 + i);
    }
    caption(this, grid, 5, 0, "Inward (%) :");
    auto* inward = edit(this, grid, 5, 1, 524, 1);
    inward->setText(QStringLiteral("5"));

    auto* radios = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        QRadioButton* r = radio(this, grid, 6 + i, 0, 460 + i, kTails[i]);
        radios->addButton(r, 460 + i);
        connect(r, &QRadioButton::clicked, this, [this, i] { clickRadio(460 + i); });
    }
    label(this, grid, 6, 1, 512, {4, 1});
    for (int i = 0; i < 3; ++i) {
        QCheckBox* b = check(this, grid, 6 + i, 2, 470 + i, kChecks[i], {1, 2});
        connect(b, &QCheckBox::clicked, this, [this, i] { clickCheck(470 + i); });
    }

    box(this, grid, 10, 0, 340, "Edge Compensation");
    caption(this, grid, 11, 0, "Weak", 510);
    caption(this, grid, 11, 2, "Strong", 511);
    const char* sides[] = {"Left", "Right", "Top", "Bottom"};
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, 12 + i, 0, sides[i]);
        CQVMyTipSlider* s = slider(this, grid, 12 + i, 1, kIdFirstSlider + i, {1, 2});
        label(this, grid, 12 + i, 3, kIdFirstLabel + i);
        ConnectSliderEnd(s, [this, i](int position) {
            qvui::findControl<QLabel>(this, kIdFirstLabel + i)->setText(QString::number(position));
        });
    }
    auto* calibrate = button(this, grid, 16, 0, 450, "Calibration", {1, 2});
    auto* outer = button(this, grid, 16, 2, 451, "Outer Setting", {1, 2});
    grid->setRowStretch(17, 1);

    connect(inward, &QLineEdit::textChanged, this, [this, inward](const QString& text) {
        if (text.isEmpty()) return;
        const int n = ClampInward(text.trimmed().toInt());
        inward_ = n;
        if (text != QString::number(n)) inward->setText(QString::number(n));
    });
    connect(calibrate, &QPushButton::clicked, this, [this] { runCalibration(); });
    connect(outer, &QPushButton::clicked, this, [this] { runOuterSetting(); });
    // The touch callback reaches the calibration window through these.
    InstallCalibrationHooks();
    initDialog();
}

bool CQVxF6CoordDlg::edgesShown() const { return qvui::findControl(this, kIdFirstSlider)->isVisibleTo(this); }

void CQVxF6CoordDlg::showRange(const std::array<int, 4>& v) {
    for (int i = 0; i < 4; ++i) {
        qvui::findControl<QLineEdit>(this, kIdFirstEdit + i)->setText(QString::number(v[size_t(i)]));
        qvui::findControl<QLabel>(this, 330 + i)->setText(QString::number(v[size_t(i)]));
    }
}

void CQVxF6CoordDlg::showTail(int index) {
    auto* picture = qvui::findControl<QLabel>(this, 512);
    for (int i = 0; i < 4; ++i) {
        auto* r = qvui::findControl<QRadioButton>(this, 460 + i);
        // Cleared one by one: the group would keep one checked otherwise.
        r->group()->setExclusive(false);
        r->setChecked(i == index);
        r->group()->setExclusive(true);
    }
    if (index < 0 || index > 3) {
        picture->hide();
        return;
    }
    showPicture(picture, 224 + index);
    picture->show();
}

void CQVxF6CoordDlg::LoadDlgItem() {
    ProgramRecords& r = c_.records;
    const bool valid = RecordValid(r, ParamRecord::Coordinate);
    qvui::findControl<QLabel>(this, 324)->setText(
        QString::asprintf("Resolution : %d x %d", int(r.panel.resolution[0]), int(r.panel.resolution[1])));
    const bool editable = valid && RangeEditable(r);
    for (int id : {450, 520, 521, 522, 523, 524}) qvui::findControl(this, id)->setEnabled(editable);
    if (editable) {
        showRange(rangeOf(r));
    } else {
        // A locked range is not shown (nor the one of an earlier controller).
        for (int i = 0; i < 4; ++i) {
            qvui::findControl<QLineEdit>(this, kIdFirstEdit + i)->clear();
            qvui::findControl<QLabel>(this, 330 + i)->clear();
        }
    }

    const FieldStep tail = fieldStep(r, kCoordTailRow);
    showTail(tail.present && *tail.value < 4 ? *tail.value : -1);
    for (int i = 0; i < 4; ++i) qvui::findControl(this, 460 + i)->setEnabled(tail.present);
    for (int i = 0; i < 3; ++i) {
        const FieldStep axis = fieldStep(r, kCoordAxisRows[i]);
        auto* b = qvui::findControl<QCheckBox>(this, 470 + i);
        b->setChecked(valid && *axis.value != 0);
        b->setEnabled(axis.present);
    }

    const bool all = CoordinateEdgesPresent(r);
    for (int id : {340, 510, 511, 504, 505, 506, 507, 320, 321, 322, 323}) qvui::findControl(this, id)->setVisible(all);
    if (all)
        for (int i = 0; i < 4; ++i) {
            const FieldStep edge = fieldStep(r, kCoordEdgeRows[i]);
            auto* s = qvui::findControl<QSlider>(this, kIdFirstSlider + i);
            s->setRange(0, EdgeSliderMaximum(edge.range.maximum));
            s->setTickInterval(1);
            s->setSliderPosition(EdgeSliderPosition(*edge.value));
            qvui::findControl<QLabel>(this, kIdFirstLabel + i)->setText(QString::number(s->sliderPosition()));
        }
    qvui::findControl(this, 451)->setEnabled(valid && OuterSettingAvailable(r));
}

void CQVxF6CoordDlg::SaveDlgItem() {
    ProgramRecords& r = c_.records;
    if (!RecordValid(r, ParamRecord::Coordinate)) return;
    if (RangeEditable(r) && programState().engineerMode) {
        int entered[4];
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            const int n = qvui::findControl<QLineEdit>(this, kIdFirstEdit + i)->text().trimmed().toInt(&ok);
            entered[i] = ok ? n : -1;
        }
        SetCoordinateRange(r, SaveRangeValues(CoordinateRangeOf(r), {entered[0], entered[1], entered[2], entered[3]},
                                              r.panel.resolution[0]));
    }
    if (edgesShown())
        for (int i = 0; i < 4; ++i) {
            const FieldStep edge = fieldStep(r, kCoordEdgeRows[i]);
            const int position = qvui::findControl<QSlider>(this, kIdFirstSlider + i)->value();
            *edge.value = uint8_t(EdgeValueFromPosition(*edge.value, edge.range.maximum, position));
        }
}

void CQVxF6CoordDlg::clickRadio(int id) {
    const int index = id - 460;
    if (index < 0 || index > 3) return;
    showTail(index);
    const std::array<bool, 3> checks = OrientationChecks(index);
    for (int i = 0; i < 3; ++i) {
        qvui::findControl<QCheckBox>(this, 470 + i)->setChecked(checks[size_t(i)]);
        SetWhereItemIs(c_.records, kCoordAxisRows[i], checks[size_t(i)] ? 1 : 0);
    }
    SetWhereItemIs(c_.records, kCoordTailRow, index);
}

void CQVxF6CoordDlg::clickCheck(int id) {
    const int k = id - 470;
    if (k < 0 || k > 2) return;
    bool checked[3];
    for (int i = 0; i < 3; ++i) checked[i] = qvui::findControl<QCheckBox>(this, 470 + i)->isChecked();
    SetWhereItemIs(c_.records, kCoordAxisRows[k], checked[k] ? 1 : 0);
    const int index = OrientationFromChecks(checked[0], checked[1], checked[2]);
    showTail(index);
    if (index >= 0) SetWhereItemIs(c_.records, kCoordTailRow, index);
}

void CQVxF6CoordDlg::pageState(int state) {
    CQVParaDlg* sheet = sheetOf(this);
    QObject* target = sheet ? sheet->mainWindow() : static_cast<QObject*>(window());
    // The calibration reports itself with its own number, 107, not the sheet's.
    qvui::sendMessage(target, qvui::WM_PAGE_STATE, quint64(state), kCalibrationPageState);
}

int CQVxF6CoordDlg::runCalibration() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    // Without a resolution of 2 or more there is no range to calibrate (and the
    // sample divisor would divide by zero): refused before any lock or window.
    if (c_.records.panel.resolution[0] < 2 || !t.CalibrationPreSetup || !t.CalibrationPreSetup(c_.dev.device)) {
        stopBox(this, QStringLiteral("Pre calibration initial failed."));
        return -1;
    }
    pageState(1);
    SetCalibrationWindowOpen(true);
    int result = 0;
    bool released = true;
    {
        // The calibration writes its range inside the update lock, released on every way out.
        ParameterUpdateGuard lock(c_);
        CQVCalibrationDlg dialog(c_, inward_, this);
        result = qvui::execDialog(dialog);
        released = lock.release();
    }
    SetCalibrationWindowOpen(false);
    if (!released) stopBox(this, QStringLiteral("Parameters Update Unlock Failed."));
    if (result == QDialog::Accepted) {
        CalibrationPending() = true;
        const ParameterCoordinate& wc = c_.records.calibrationCoordinate;
        showRange({wc.word[0].value, wc.word[1].value, wc.word[2].value, wc.word[3].value});
    }
    pageState(0);
    return result;
}

int CQVxF6CoordDlg::runOuterSetting() {
    const QString refusal = OuterSettingRefusal(ReadOuterPanel(c_));
    if (!refusal.isEmpty()) {
        stopBox(this, refusal);
        return -1;
    }
    CQVOutSetDlg dialog(c_, this);
    const int result = qvui::execDialog(dialog);
    if (result == QDialog::Accepted) showRange(rangeOf(c_.records));
    return result;
}

} // namespace vcx
