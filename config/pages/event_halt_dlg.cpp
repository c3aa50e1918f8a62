#include "pages/event_halt_dlg.h"

#include "core/controller_api.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace vcx {

ParameterItem* EventHaltItem(ParameterDebug& record, int i) {
    if (i >= 0 && i < 9) return &record.item[i];
    if (i == 9) return &record.item9[0];
    return nullptr;
}

CQVEventHaltDlg::CQVEventHaltDlg(Controller& c, QWidget* parent) : CQVToolDlg(c, parent) {
    const char* const checkTexts[kChecks] = {"Finger Event Halt", "Water Event Halt", "One Time Evelt Halt",
                                             "CT > PT Number", "Event Notify"};
    for (int i = 0; i < kChecks; ++i) {
        auto* b = new QCheckBox(QLatin1String(checkTexts[i]), this);
        b->setGeometry(scaled(24, 20 + 32 * i, 200, 24));
        qvui::setControlId(b, kIdFirstCheck + i);
        connect(b, &QCheckBox::clicked, this, &CQVEventHaltDlg::onSettingClicked);
        checks_[size_t(i)] = b;
    }

    const char* const groups[3] = {"Target", "Debounce", "Data"};
    const char* const radioTexts[kRadios] = {"PT", "CT", "Before", "After", "diff_mutu", "Raw"};
    for (int g = 0; g < 3; ++g) {
        // Each pair in its own box, so that the two radios of a pair exclude each other.
        auto* box = new QGroupBox(QLatin1String(groups[g]), this);
        box->setGeometry(scaled(250, 14 + 64 * g, 180, 56));
        for (int k = 0; k < 2; ++k) {
            const int i = 2 * g + k;
            auto* r = new QRadioButton(QLatin1String(radioTexts[i]), box);
            r->setGeometry(scaled(10 + 84 * k, 24, 80, 22));
            qvui::setControlId(r, kIdFirstRadio + i);
            connect(r, &QRadioButton::clicked, this, &CQVEventHaltDlg::onSettingClicked);
            radios_[size_t(i)] = r;
        }
        radios_[size_t(2 * g)]->setChecked(true);
    }

    const char* const numberTexts[2] = {"Finger Number", "Skip Count"};
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(QLatin1String(numberTexts[i]), this);
        label->setGeometry(scaled(450, 20 + 40 * i, 100, 24));
        auto* e = new CMyEdit(this);
        e->setGeometry(scaled(550, 20 + 40 * i, 40, 24));
        e->setMaxLength(2);
        qvui::setControlId(e, i == 0 ? kIdFingerNumber : kIdSkipCount);
        connect(e, &QLineEdit::textChanged, this, [this, i] { onNumberChanged(i); });
        edits_[size_t(i)] = e;
    }

    const char* const buttonTexts[4] = {"Switch", "Apply", "Reload Setting", "Reset Touch Panel"};
    QPushButton* buttons[4];
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QPushButton(QLatin1String(buttonTexts[i]), this);
        buttons[i]->setGeometry(scaled(24 + 144 * i, 320, 136, 44));
        qvui::setControlId(buttons[i], kIdSwitch + i);
    }
    switch_ = buttons[0];
    apply_ = buttons[1];
    reload_ = buttons[2];
    reset_ = buttons[3];
    // The switch shows the program-wide state: pressed while on.
    switch_->setCheckable(true);
    connect(switch_, &QPushButton::clicked, this, &CQVEventHaltDlg::SwitchHalt);
    connect(apply_, &QPushButton::clicked, this, &CQVEventHaltDlg::Apply);
    connect(reload_, &QPushButton::clicked, this, &CQVEventHaltDlg::ReloadSetting);
    connect(reset_, &QPushButton::clicked, this, &CQVEventHaltDlg::ResetTouchPanel);
    // Apply and Reload Setting wait for a change.
    apply_->setEnabled(false);
    reload_->setEnabled(false);
    UpdateEnabling();
}

void CQVEventHaltDlg::setButtonFont(const QFont& font) {
    for (QPushButton* b : {switch_, apply_, reload_, reset_}) b->setFont(font);
}

void CQVEventHaltDlg::RefreshControls() {
    ParameterDebug& d = c_.records.debug;
    for (int i = 0; i < kChecks; ++i) checks_[size_t(i)]->setChecked(EventHaltItem(d, i)->value != 0);
    for (int g = 0; g < 3; ++g) {
        const bool first = EventHaltItem(d, 5 + g)->value != 0;
        radios_[size_t(2 * g + (first ? 0 : 1))]->setChecked(true);
    }
    // Stored first, so that the edits' own change handlers find nothing new.
    numbers_[0] = EventHaltItem(d, kItemFingerNumber)->value;
    numbers_[1] = EventHaltItem(d, kItemSkipCount)->value;
    for (int i = 0; i < 2; ++i) edits_[size_t(i)]->setText(QString::number(numbers_[size_t(i)]));
    showSwitch();
    UpdateEnabling();
}

void CQVEventHaltDlg::UpdateEnabling() {
    const bool ctGtPt = checks_[kIdCtGtPt - kIdFirstCheck]->isChecked();
    radios_[0]->setEnabled(!ctGtPt);
    radios_[1]->setEnabled(!ctGtPt);
    const bool ct = radios_[1]->isChecked();
    radios_[2]->setEnabled(!ctGtPt && ct);
    radios_[3]->setEnabled(!ctGtPt && ct);
}

void CQVEventHaltDlg::enableApply() {
    apply_->setEnabled(true);
    reload_->setEnabled(true);
}

void CQVEventHaltDlg::onSettingClicked() {
    UpdateEnabling();
    enableApply();
}

void CQVEventHaltDlg::onNumberChanged(int which) {
    if (inNumberChange_) return;
    CMyEdit* edit = edits_[size_t(which)];
    bool ok = false;
    const int typed = edit->text().trimmed().toInt(&ok);
    if (!ok || typed == numbers_[size_t(which)]) return;
    const ParameterItem* item = EventHaltItem(c_.records.debug, which == 0 ? kItemFingerNumber : kItemSkipCount);
    const int value = std::clamp(typed, 0, int(item->maximum));
    numbers_[size_t(which)] = uint8_t(value);
    if (value != typed) {
        // Above the item's maximum: the maximum, shown at once.
        inNumberChange_ = true;
        edit->setText(QString::number(value));
        inNumberChange_ = false;
    }
    enableApply();
}

void CQVEventHaltDlg::showSwitch() { switch_->setChecked(c_.records.debug.eventHalt[0] != 0); }

void CQVEventHaltDlg::SwitchHalt() {
    uint8_t& on = c_.records.debug.eventHalt[0];
    on = on ? 0 : 1;
    showSwitch();
    // A changed switch is written by Apply.
    enableApply();
}

void CQVEventHaltDlg::Apply() {
    ParameterDebug& d = c_.records.debug;
    for (int i = 0; i < kChecks; ++i) EventHaltItem(d, i)->value = checks_[size_t(i)]->isChecked() ? 1 : 0;
    for (int g = 0; g < 3; ++g) EventHaltItem(d, 5 + g)->value = radios_[size_t(2 * g)]->isChecked() ? 1 : 0;
    EventHaltItem(d, kItemFingerNumber)->value = numbers_[0];
    EventHaltItem(d, kItemSkipCount)->value = numbers_[1];
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    const HANDLE device = c_.dev.device;
    if (t.ParameterUpdateLock) t.ParameterUpdateLock(device, 1);
    if (t.SetParameterDebug) t.SetParameterDebug(device, &d);
    if (t.ParameterUpdateLock) t.ParameterUpdateLock(device, 0);
    if (t.SwitchEventHalt) t.SwitchEventHalt(device, d.eventHalt[0]);
    if (!d.eventHalt[0]) SetDiagnosticScanState(c_);
}

void CQVEventHaltDlg::ReloadSetting() {
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    ParameterDebug& d = c_.records.debug;
    if (!t.GetParameterDebug || !t.GetParameterDebug(c_.dev.device, c_.records.generalInfo.groupMask, &d)) return;
    if (d.valid) RefreshControls();
}

void CQVEventHaltDlg::ResetTouchPanel() { sendMain(qvui::WM_DEBUG_COMMAND, 0, 0); }

} // namespace vcx
