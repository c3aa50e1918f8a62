#include "pages/send_cmd_dlg.h"

#include "core/controller_api.h"
#include "core/main_ids.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QDebug>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace vcx {

CQVSendCmdDlg::CQVSendCmdDlg(Controller& c, QWidget* parent)
    : CQVToolDlg(c, parent), injector_(qvui::makeQtInjector()) { // keys to this program's focus widget
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(QStringLiteral("BYTE %1").arg(i), this);
        label->setGeometry(scaled(24 + 80 * i, 20, 70, 20));
        label->setAlignment(Qt::AlignCenter);
        auto* e = new CQVMyHexTipEdit(this);
        e->setGeometry(scaled(34 + 80 * i, 44, 50, 26));
        qvui::setControlId(e, kIdFirstByte + i);
        connect(e, &QLineEdit::textChanged, this, &CQVSendCmdDlg::onByteChanged);
        e->setMaxLength(2);
        e->setAlignment(Qt::AlignCenter);
        e->setText(QStringLiteral("00")); // before the tool is ready: no Tab
        e->SetTipValueShown(0);
        bytes_[size_t(i)] = e;
    }
    // The Tab a full byte injects goes on to the next byte.
    for (int i = 0; i + 1 < 5; ++i) QWidget::setTabOrder(bytes_[size_t(i)], bytes_[size_t(i + 1)]);

    delayCheck_ = new QCheckBox(QStringLiteral("Delay Command (ms)"), this);
    delayCheck_->setGeometry(scaled(24, 90, 170, 24));
    qvui::setControlId(delayCheck_, kIdDelayCheck);
    delay_ = new QLineEdit(QStringLiteral("10"), this);
    delay_->setGeometry(scaled(200, 89, 60, 26));
    delay_->setMaxLength(4);
    delay_->setEnabled(false);
    qvui::setControlId(delay_, kIdDelay);
    connect(delayCheck_, &QCheckBox::clicked, this, [this] { delay_->setEnabled(delayCheck_->isChecked()); });

    auto* box = new QGroupBox(QStringLiteral("Target"), this);
    box->setGeometry(scaled(24, 126, 480, 56));
    for (int k = 0; k < kTargets; ++k) {
        auto* r = new QRadioButton(k == 0 ? QStringLiteral("Master") : QStringLiteral("Slave %1").arg(k), box);
        r->setGeometry(scaled(10 + 92 * k, 24, 88, 22));
        qvui::setControlId(r, kIdMaster + k);
        connect(r, &QRadioButton::clicked, this, [this, k] { SelectTarget(k); });
        targets_[size_t(k)] = r;
    }
    targets_[0]->setChecked(true);

    send_ = new QPushButton(QStringLiteral("Send"), this);
    send_->setGeometry(scaled(24, 196, 180, 56));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(std::max(scaled(40), 1));
    font.setWeight(QFont::Bold);
    send_->setFont(font);
    qvui::setControlId(send_, kIdSend);
    connect(send_, &QPushButton::clicked, this, &CQVSendCmdDlg::Send);

    status_ = new QLabel(this);
    status_->setGeometry(scaled(24, 268, 560, 24));
    qvui::setControlId(status_, kIdStatus);
    reply_ = new QLabel(this);
    reply_->setGeometry(scaled(24, 300, 560, 24));
    qvui::setControlId(reply_, kIdReply);

    ready_ = true;
}

void CQVSendCmdDlg::onByteChanged() {
    // The texts set before the tool was ready ("00") do not move the focus.
    if (!ready_ || inByteChange_) return;
    auto* edit = qobject_cast<QLineEdit*>(sender());
    if (!edit || edit->text().size() != 2) return;
    inByteChange_ = true;
    std::string error;
    if (!injector_->keyPress(Qt::Key_Tab, &error) || !injector_->keyRelease(Qt::Key_Tab, &error))
        qWarning("VCXMSet: the Tab to the next byte was not sent: %s", error.c_str());
    inByteChange_ = false;
}

void CQVSendCmdDlg::Send() {
    uint8_t command[5];
    for (int i = 0; i < 5; ++i) command[i] = HexTextToByte(bytes_[size_t(i)]);
    uint8_t reply[5] = {};
    const int delay = delay_->text().trimmed().toInt();
    bool ok = false;
    if (delayCheck_->isChecked() && delay != 0) {
        ok = c_.api.SendDelayCmd && c_.api.SendDelayCmd(c_.dev.device, command, reply, delay);
    } else {
        ok = c_.api.SendCmd && c_.api.SendCmd(c_.dev.device, command, reply);
    }
    if (ok) {
        reply_->setText(QString::asprintf("Return Command : 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", reply[0], reply[1],
                                          reply[2], reply[3], reply[4]));
        status_->setText(QStringLiteral("Send Command Success"));
    } else {
        status_->setText(QStringLiteral("Send Command Failed"));
    }
}

void CQVSendCmdDlg::SelectTarget(int index) {
    if (index < 0 || index >= kTargets) return;
    targets_[size_t(index)]->setChecked(true);
    if (index == 0) {
        if (target_ > 0) {
            sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDebug);
            SendCmdF4(c_, 0xAA, 0x00);
            ResumeTouchScanning(c_);
        }
        target_ = 0;
        return;
    }
    const int previous = target_;
    if (previous == 0) {
        sendMain(qvui::WM_PAGE_STATE, 1, kTemplateDebug);
        StopTouchScanning(c_);
        programSleep(c_, kSlaveSelectGapMs);
    }
    if (SelectSlaveF4(c_, uint8_t(index - 1))) {
        target_ = index;
        return;
    }
    // No slave answers: back to the master, which scans again, and the page is idle.
    if (previous > 0) SendCmdF4(c_, 0xAA, 0x00);
    ResumeTouchScanning(c_);
    target_ = 0;
    targets_[0]->setChecked(true);
    status_->setText(QStringLiteral("Send Command Failed"));
    sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDebug);
}

void CQVSendCmdDlg::Refresh() {
    if (target_ > 0) SelectTarget(0);
    target_ = 0;
    targets_[0]->setChecked(true);
    const int slaves = std::clamp(int(c_.records.fwVersion.slaveCount), 0, kTargets - 1);
    for (int k = 1; k < kTargets; ++k) targets_[size_t(k)]->setVisible(k <= slaves);
}

void CQVSendCmdDlg::DeviceRemoved() {
    if (target_ == 0) return;
    target_ = 0;
    targets_[0]->setChecked(true);
    sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDebug);
}

} // namespace vcx
