#include "params/misc_dlg.h"

#include "params/page_build.h"
#include "params/param_bitmaps.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace vcx {

using namespace pagebuild;

namespace {
// Switches 510..513, each showing value 1 as on.
const char* const kMiscSwitches[] = {"misc.watchdog", "misc.baseUpdate", "misc.eventNotify", "misc.remoteWakeup"};
constexpr const char* kEventMask = "misc.eventMask";
} // namespace

CQVEventMaskDlg::CQVEventMaskDlg(QWidget* parent) : QDialog(parent) {
    qvui::setControlScope(this);
    setWindowTitle(QStringLiteral("Event Mask"));
    auto* grid = new QGridLayout(this);
    box(this, grid, 0, 0, 320, "Touch Status Reason", 8);
    const char* names[] = {"ABNORMAL", "FALSE_PT", "PALM", "NOISE", "DEBOUNCE", "", "", "TOUCH_SW"};
    for (int bit = 0; bit < 8; ++bit) {
        // B7 on the left .. B0 on the right.
        caption(this, grid, 1, 7 - bit, QString::asprintf("B%d", bit).toLatin1().constData());
        auto* b = withId(new QCheckBox(QLatin1String(names[bit]), this), 470 + bit);
        grid->addWidget(b, 2, 7 - bit);
        connect(b, &QCheckBox::clicked, this, [this] { boxClicked(); });
    }
    caption(this, grid, 3, 0, "Hex:");
    auto* hex = withId(new CQVMyHexTipEdit(this), 520);
    hex->setMaxLength(2);
    grid->addWidget(hex, 3, 1, 1, 2);
    connect(hex, &QLineEdit::textChanged, this, [this](const QString& t) { typed(t); });
    auto* apply = withId(new QPushButton(QStringLiteral("APPLY"), this), 1);
    grid->addWidget(apply, 3, 6, 1, 2);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (applied) applied(boxesValue());
    });
    hide();
}

uint8_t CQVEventMaskDlg::boxesValue() const {
    uint8_t v = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (qvui::findControl<QCheckBox>(this, 470 + bit)->isChecked()) v |= uint8_t(1u << bit);
    return v;
}

void CQVEventMaskDlg::setBoxes(uint8_t mask) {
    for (int bit = 0; bit < 8; ++bit) qvui::findControl<QCheckBox>(this, 470 + bit)->setChecked((mask >> bit) & 1);
}

void CQVEventMaskDlg::showMask(uint8_t mask) {
    setBoxes(mask);
    writing_ = true;
    qvui::findControl<QLineEdit>(this, 520)->setText(QString::asprintf("%02X", mask));
    writing_ = false;
    lastTyped_ = mask;
    show();
}

void CQVEventMaskDlg::boxClicked() {
    const uint8_t v = boxesValue();
    writing_ = true;
    qvui::findControl<QLineEdit>(this, 520)->setText(QString::asprintf("%02X", v));
    writing_ = false;
    lastTyped_ = v;
}

void CQVEventMaskDlg::typed(const QString& text) {
    if (writing_ || text.isEmpty()) return;
    bool ok = false;
    const int v = text.toInt(&ok, 16);
    if (!ok || v < 0 || v > 0xFF || v == lastTyped_) return;
    lastTyped_ = v;
    setBoxes(uint8_t(v));
}

void CQVEventMaskDlg::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyReleaseEvent(e);
}

CQVxF6MiscDlg::CQVxF6MiscDlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    const char* names[] = {"WatchDog :", "Base Update :", "Event Notify :", "USB Keep Remote Wakeup :"};
    const int captionIds[] = {-1, 330, -1, 331};
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, i, 0, names[i], captionIds[i]);
        ConnectClick(picture(this, grid, i, 1, 510 + i), [this, i] { clickSwitch(i); });
    }
    caption(this, grid, 4, 0, "Event mask :", 332);
    caption(this, grid, 4, 1, "0x", 333);
    auto* mask = label(this, grid, 4, 2, 320);
    ConnectClick(mask, [this] { clickMask(); });
    grid->setRowStretch(5, 1);
    mask_ = new CQVEventMaskDlg(this);
    mask_->setWindowFlag(Qt::Window);
    mask_->applied = [this](uint8_t byte) {
        // The mask is the low byte of a 16-bit item: its high byte stays.
        const ParamField& f = fieldRow(kEventMask);
        WriteField(c_.records, f, (ReadField(c_.records, f).value & 0xFF00) | byte);
        showMaskLabel();
    };
    initDialog();
}

void CQVxF6MiscDlg::CheckDlgItem() {
    const bool engineer = programState().engineerMode;
    for (int id : {330, 331, 332, 333, 511, 513, 320}) showId(this, id, engineer);
}

void CQVxF6MiscDlg::showMaskLabel() {
    const ParamField& f = fieldRow(kEventMask);
    setText(this, 320,
            FieldPresent(c_.records, f) ? QString::asprintf("%02X", unsigned(ReadField(c_.records, f).value)) : QString());
}

void CQVxF6MiscDlg::LoadDlgItem() {
    fieldSwitches(switches_, c_.records, kMiscSwitches);
    LoadSwitchGroup(switches_, this);
    showMaskLabel();
}

void CQVxF6MiscDlg::clickSwitch(int index) {
    if (index < 0 || index > 3) return;
    switches_.index = index;
    ToggleSwitch(switches_, this);
}

void CQVxF6MiscDlg::clickMask() {
    const ParamField& f = fieldRow(kEventMask);
    if (!FieldPresent(c_.records, f)) return;
    mask_->showMask(uint8_t(ReadField(c_.records, f).value & 0xFF));
}

void CQVxF6MiscDlg::SetDlgItemTip() {
    for (int i = 0; i < 4; ++i) switchTips(this, 510 + i, kMiscSwitches[i]);
}

} // namespace vcx
