// The byte editor of the raw parameter table: one byte as eight bits, two
// hexadecimal digits and a decimal number, each kept in step with the others.
#include "pages/para_list_dlg.h"

#include "core/program_state.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace vcx {

namespace {
CQVParaEditDlg* g_editor = nullptr;
} // namespace

CQVParaEditDlg* CQVParaEditDlg::instance() { return g_editor; }

int& CQVParaEditDlg::currentCell() {
    static int cell = -1;
    return cell;
}

CQVParaEditDlg::CQVParaEditDlg(CQVParaListDlg* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint), owner_(owner) {
    g_editor = this;
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->addWidget(frame);
    auto* grid = new QGridLayout(frame);

    title_ = new QLabel(frame);
    qvui::setControlId(title_, kIdTitle);
    grid->addWidget(title_, 0, 0, 1, 8);
    hex_ = new CQVMyHexTipEdit(frame);
    qvui::setControlId(hex_, kIdHex);
    hex_->setMaxLength(2);
    hex_->SetTipValueShown(0);
    dec_ = new QLineEdit(frame);
    qvui::setControlId(dec_, kIdDec);
    dec_->setMaxLength(3);
    dec_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), dec_));
    const int s = std::max(programState().screenScale, 1);
    hex_->setFixedWidth(40 * s / 100);
    dec_->setFixedWidth(40 * s / 100);
    grid->addWidget(new QLabel(QStringLiteral("HEX"), frame), 1, 0, 1, 2);
    grid->addWidget(hex_, 1, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("DEC"), frame), 1, 4, 1, 2);
    grid->addWidget(dec_, 1, 6, 1, 2);
    // Bit 7 on the left, as the byte is written.
    for (int bit = 0; bit < 8; ++bit) {
        auto* box = new QCheckBox(QString::number(bit), frame);
        qvui::setControlId(box, kIdFirstBit + bit);
        grid->addWidget(box, 2, 7 - bit);
        bits_[size_t(bit)] = box;
        connect(box, &QCheckBox::clicked, this, &CQVParaEditDlg::onBitClicked);
    }
    apply_ = new QPushButton(QStringLiteral("APPLY"), frame);
    qvui::setControlId(apply_, kIdApply);
    apply_->setDefault(true);
    apply_->setEnabled(false);
    grid->addWidget(apply_, 3, 0, 1, 8);

    // Text set from code runs the same checks as typed text.
    connect(hex_, &QLineEdit::textChanged, this, &CQVParaEditDlg::onHexChanged);
    connect(dec_, &QLineEdit::textChanged, this, &CQVParaEditDlg::onDecChanged);
    connect(apply_, &QPushButton::clicked, this, &CQVParaEditDlg::onApply);

    // The keys of every control pass the editor first.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    hex_->setFocus();
}

CQVParaEditDlg::~CQVParaEditDlg() {
    if (g_editor == this) {
        g_editor = nullptr;
        currentCell() = -1;
    }
}

void CQVParaEditDlg::ShowByteEditor(uint8_t listId, uint8_t index, uint8_t value) {
    listId_ = listId;
    index_ = index;
    value_ = value;
    title_->setText(ByteEditorTitle(listId, index));
    showValue(true, true, true);
    focusEdit(focusOnHex_);
    apply_->setEnabled(false);
    changed_ = false;
}

void CQVParaEditDlg::Release() {
    hide();
    currentCell() = -1;
}

void CQVParaEditDlg::showValue(bool hex, bool dec, bool bits) {
    updating_ = true;
    if (hex) ShowByteAsHex(hex_, value_);
    if (dec) dec_->setText(QString::number(value_));
    if (bits)
        for (int bit = 0; bit < 8; ++bit) bits_[size_t(bit)]->setChecked(value_ >> bit & 1);
    updating_ = false;
}

void CQVParaEditDlg::takeValue(uint8_t value, bool fromHex) {
    value_ = value;
    showValue(!fromHex, fromHex, true);
    changed_ = true;
    apply_->setEnabled(true);
}

void CQVParaEditDlg::onHexChanged() {
    if (!updating_) takeValue(HexTextToByte(hex_), true);
}

void CQVParaEditDlg::onDecChanged() {
    if (updating_) return;
    bool ok = false;
    const int number = dec_->text().toInt(&ok);
    // A number past a byte empties both edits and leaves the value as it was.
    if (ok && (number > 255 || number < 0)) {
        updating_ = true;
        hex_->clear();
        dec_->clear();
        updating_ = false;
        return;
    }
    takeValue(uint8_t(ok ? number : 0), false);
}

void CQVParaEditDlg::onBitClicked() {
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (bits_[size_t(bit)]->isChecked()) value |= uint8_t(1u << bit);
    value_ = value;
    showValue(true, true, false);
    changed_ = true;
    apply_->setEnabled(true);
}

void CQVParaEditDlg::onApply() {
    Release();
    if (!changed_) return;
    changed_ = false;
    owner_->WriteListByte(listId_, index_, value_);
}

void CQVParaEditDlg::focusEdit(bool hex) {
    focusOnHex_ = hex;
    QLineEdit* edit = hex ? static_cast<QLineEdit*>(hex_) : dec_;
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
}

bool CQVParaEditDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_TRAY_NOTIFY) {
        Release();
        return true;
    }
    return QDialog::event(e);
}

bool CQVParaEditDlg::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            focusEdit(!focusOnHex_);
            return true;
        }
        // Escape acts when it is released; its press must not close the dialog.
        if (key == Qt::Key_Escape) return true;
        break;
    }
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            Release();
            return true;
        }
        break;
    case QEvent::FocusIn:
        if (watched == hex_ || watched == dec_) focusOnHex_ = watched == hex_;
        break;
    default: break;
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace vcx
