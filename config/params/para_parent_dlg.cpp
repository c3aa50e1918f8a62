#include "params/para_parent_dlg.h"

#include "core/chd_parent_dlg.h"
#include "params/param_bitmaps.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/string_table.h"

#include <QAbstractSlider>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace vcx {

CQVParaParentDlg::CQVParaParentDlg(Controller& c, int templateId, QWidget* parent)
    : QWidget(parent), c_(c), templateId_(templateId) {
    qvui::setControlScope(this);
    setMouseTracking(true);
}

bool CQVParaParentDlg::event(QEvent* e) {
    // The main pages' key and mouse filter applies to the parameter pages too.
    switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
        if (CQVChdParentDlg::messageFilter() && CQVChdParentDlg::messageFilter()(this, e)) return true;
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void CQVParaParentDlg::mouseMoveEvent(QMouseEvent* e) {
    HideAllTips();
    QWidget::mouseMoveEvent(e);
}

namespace {

QLineEdit* edit(QWidget* page, int i) { return qvui::findControl<QLineEdit>(page, kIdFirstEdit + i); }

// GetDlgItemInt (signed): the text as a whole decimal number, blanks around allowed.
bool textNumber(const QString& text, long long* out) {
    bool ok = false;
    *out = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

// Edits whose text the clamp is writing: their change signal is its own.
QList<QPointer<QLineEdit>>& writing() {
    static QList<QPointer<QLineEdit>> list;
    return list;
}

void writeBack(QLineEdit* e, int value) {
    writing().append(e);
    e->setText(QString::number(unsigned(value)));
    writing().removeAll(e);
}

} // namespace

void LoadEditGroup(QWidget* page, const SupportMask& support, const EditGroup& group) {
    for (int i = 0; i < group.count(); ++i) {
        QLineEdit* e = edit(page, i);
        if (!e) continue;
        if (support.supports(size_t(i))) {
            e->setEnabled(true);
            e->setText(QString::number(unsigned(*group.values[size_t(i)])));
        } else {
            // An unsupported item shows no number (not the one of an earlier controller).
            e->setEnabled(false);
            e->clear();
        }
    }
}

void ClampEdit(EditGroup& group, QWidget* page) {
    const int i = group.index;
    if (i < 0 || i >= group.count()) return;
    QLineEdit* e = edit(page, i);
    if (!e) return;
    uint8_t& stored = *group.values[size_t(i)];
    const QString text = e->text();
    if (text.isEmpty()) return;
    long long n = 0;
    const int lo = group.minimum[size_t(i)], hi = group.maximum[size_t(i)];
    if (!textNumber(text, &n)) {
        writeBack(e, stored);
        return;
    }
    if (n >= lo && n <= hi) {
        stored = uint8_t(n);
        return;
    }
    stored = uint8_t(n < lo ? lo : hi);
    writeBack(e, stored);
}

void ConnectEditGroup(QWidget* page, EditGroup& group, int edits, std::function<void(int)> after) {
    for (int i = 0; i < edits; ++i) {
        QLineEdit* e = edit(page, i);
        if (!e) continue;
        QObject::connect(e, &QLineEdit::textChanged, page, [page, &group, e, i, after](const QString& text) {
            if (writing().contains(e) || text.isEmpty() || i >= group.count()) return;
            group.index = i;
            ClampEdit(group, page);
            if (after) after(i);
        });
    }
}

void SetRangeTips(QWidget* page, const EditGroup& group) {
    for (int i = 0; i < group.count(); ++i)
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(edit(page, i)))
            e->SetTipValueText(QString::asprintf(qvui::loadString(1219).toUtf8().constData(), group.minimum[size_t(i)],
                                                 group.maximum[size_t(i)]));
}

int SwitchBitmap(const SwitchGroup& group, int i) {
    if (i < 0 || i >= group.count() || !group.supported[size_t(i)]) return kBitmapUnsupported;
    // The picture follows value != 0, so a value above 1 cannot index past the table.
    const int row = *group.values[size_t(i)] != 0 ? 1 : 0;
    const size_t at = size_t(row * group.count() + i);
    return at < group.table.size() ? 204 + group.table[at] : kBitmapUnsupported;
}

void LoadSwitchGroup(const SwitchGroup& group, QWidget* page) {
    for (int i = 0; i < group.count(); ++i) {
        auto* pic = qvui::findControl<QLabel>(page, group.firstId + i);
        if (!pic) continue;
        pic->setEnabled(group.supported[size_t(i)] != 0);
        SetBitmap(pic, SwitchBitmap(group, i));
    }
}

void ToggleSwitch(SwitchGroup& group, QWidget* page) {
    const int i = group.index;
    if (i < 0 || i >= group.count() || !group.supported[size_t(i)]) return;
    uint8_t& v = *group.values[size_t(i)];
    v = v == 0 ? 1 : 0;
    SetBitmap(qvui::findControl<QLabel>(page, group.firstId + i), SwitchBitmap(group, i));
}

void StepValue(uint8_t& value, const StepRange& range, int minusId, QWidget* page, bool up) {
    QWidget* minus = qvui::findControl(page, minusId);
    QWidget* plus = qvui::findControl(page, minusId + 1);
    if (up) {
        if (value >= range.minimum && minus) minus->setEnabled(true);
        if (value < range.maximum) {
            ++value;
            if (value >= range.maximum && plus) plus->setEnabled(false);
        }
    } else {
        if (value <= range.maximum && plus) plus->setEnabled(true);
        if (value > range.minimum) {
            --value;
            if (value <= range.minimum && minus) minus->setEnabled(false);
        }
    }
}

void EnableStepPair(int value, const StepRange& range, int minusId, QWidget* page) {
    if (QWidget* minus = qvui::findControl(page, minusId)) minus->setEnabled(range.minimum < value);
    if (QWidget* plus = qvui::findControl(page, minusId + 1)) plus->setEnabled(value < range.maximum);
}

void ConnectSliderEnd(QAbstractSlider* slider, std::function<void(int)> ended) {
    QObject::connect(slider, &QAbstractSlider::sliderReleased, slider,
                     [slider, ended] { ended(slider->sliderPosition()); });
    // A page click, a key or the wheel moves the slider at once: that is an end too.
    // The position is already adjusted when the action is reported.
    QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [slider, ended](int action) {
        if (action == QAbstractSlider::SliderMove || slider->isSliderDown()) return;
        ended(slider->sliderPosition());
    });
}

void ShowExtraControls(QWidget* page, bool on) {
    for (int id : {340, 341, 450, 451, 504, 320})
        if (QWidget* w = qvui::findControl(page, id)) w->setVisible(on);
}

} // namespace vcx

#include <QMouseEvent>

namespace vcx {

namespace {
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> f) : QObject(parent), f_(std::move(f)) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && w->isEnabled()) f_();
            return true;
        }
        return false;
    }

private:
    std::function<void()> f_;
};
} // namespace

void ConnectClick(QWidget* control, std::function<void()> clicked) {
    control->installEventFilter(new ClickFilter(control, std::move(clicked)));
}

} // namespace vcx
