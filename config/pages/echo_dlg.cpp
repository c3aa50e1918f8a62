#include "pages/echo_dlg.h"

#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "ui/control_ids.h"
#include "ui/string_table.h"
#include "ui/window_message.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <algorithm>
#include <climits>
#include <cstring>

namespace vcx {

std::array<uint8_t, 5> EchoPacket(int n) {
    const int m = n & 0xFF;
    const int q = (m * m) & 0xFF;
    return {0xFC, uint8_t(m), uint8_t(q), uint8_t(255 - q), uint8_t(255 - m)};
}

int EchoTotalOf(const QString& text) {
    long long value = 0;
    for (QChar ch : text.trimmed()) {
        if (!ch.isDigit()) break;
        value = std::min<long long>(value * 10 + ch.digitValue(), INT_MAX);
    }
    return value == 0 ? CQVEchoDlg::kDefaultTotal : int(value);
}

namespace {
QString hexBytes(const uint8_t b[5]) {
    return QString::asprintf("%02X %02X %02X %02X %02X", b[0], b[1], b[2], b[3], b[4]);
}
} // namespace

QString EchoReplyText(bool answered, bool deviceValid, const uint8_t reply[5]) {
    if (answered) return hexBytes(reply);
    if (!deviceValid) return QStringLiteral("Device Remove");
    if (reply[0] == 0xAA) return QStringLiteral("AA BB CC DD EE");
    return QStringLiteral("No Recieve");
}

CQVEchoDlg::CQVEchoDlg(Controller& c, QWidget* parent) : CQVToolDlg(c, parent) {
    start_ = new QPushButton(QStringLiteral("Start"), this);
    start_->setGeometry(scaled(16, 16, 110, 30));
    master_ = new QRadioButton(QStringLiteral("Master"), this);
    master_->setGeometry(scaled(144, 20, 80, 22));
    slave_ = new QRadioButton(QStringLiteral("Slave"), this);
    slave_->setGeometry(scaled(228, 20, 70, 22));
    slaves_ = new QComboBox(this);
    slaves_->setGeometry(scaled(302, 19, 100, 24));
    auto* totalLabel = new QLabel(QStringLiteral("Packets :"), this);
    totalLabel->setGeometry(scaled(420, 20, 64, 22));
    totalEdit_ = new QLineEdit(this);
    totalEdit_->setGeometry(scaled(488, 19, 100, 24));
    count_ = new QLabel(this);
    count_->setGeometry(scaled(16, 58, 200, 22));
    errorCount_ = new QLabel(this);
    errorCount_->setGeometry(scaled(228, 58, 200, 22));

    auto* box = new QGroupBox(QStringLiteral("Error List"), this);
    box->setGeometry(scaled(16, 86, 576, 292));
    list_ = new QTableWidget(0, 3, box);
    list_->setGeometry(scaled(8, 22, 560, 262));
    list_->setHorizontalHeaderLabels({QStringLiteral("Count"), QStringLiteral("Send Packet"),
                                      QStringLiteral("Receive Packet")});
    const int widths[] = {50, 105, 105};
    for (int i = 0; i < 3; ++i) {
        list_->setColumnWidth(i, scaled(widths[i]));
        list_->horizontalHeaderItem(i)->setTextAlignment(Qt::AlignCenter);
    }
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);

    qvui::setControlId(start_, kIdStart);
    qvui::setControlId(master_, kIdMaster);
    qvui::setControlId(slave_, kIdSlave);
    qvui::setControlId(slaves_, kIdSlaveList);
    qvui::setControlId(totalEdit_, kIdTotal);
    qvui::setControlId(count_, kIdCount);
    qvui::setControlId(errorCount_, kIdErrors);
    qvui::setControlId(list_, kIdErrorList);

    connect(start_, &QPushButton::clicked, this, &CQVEchoDlg::onStart);
    connect(master_, &QRadioButton::clicked, this, &CQVEchoDlg::onTarget);
    connect(slave_, &QRadioButton::clicked, this, &CQVEchoDlg::onTarget);

    total_ = kDefaultTotal;
    totalEdit_->setText(QString::number(total_));
    master_->setChecked(true);
    slaves_->setEnabled(false);
    showCounters();
}

bool CQVEchoDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER && m->wParam() == quint64(kTimerEcho)) {
            onTick();
            return true;
        }
    }
    return CQVToolDlg::event(e);
}

void CQVEchoDlg::showCounters() {
    count_->setText(formatOne(qvui::loadString(kIdsCount), sent_));
    errorCount_->setText(formatOne(qvui::loadString(kIdsError), errors_));
}

void CQVEchoDlg::onTarget() { slaves_->setEnabled(slave_->isChecked() && !running_); }

void CQVEchoDlg::FillSlaveList() {
    StopEcho();
    sent_ = errors_ = 0;
    showCounters();
    slaves_->clear();
    const int count = std::clamp(int(c_.records.fwVersion.slaveCount), 0, kMaxSlaves);
    for (QWidget* w : {static_cast<QWidget*>(master_), static_cast<QWidget*>(slave_), static_cast<QWidget*>(slaves_)})
        w->setVisible(count > 0);
    if (count == 0) {
        master_->setChecked(true);
    } else {
        for (int k = 1; k <= count; ++k) slaves_->addItem(QStringLiteral("Slave%1").arg(k));
        slaves_->setCurrentIndex(0);
    }
    onTarget();
}

void CQVEchoDlg::onStart() {
    if (running_) {
        StopEcho();
        return;
    }
    running_ = true;
    sent_ = errors_ = 0;
    total_ = EchoTotalOf(totalEdit_->text());
    slaveRun_ = slave_->isChecked();
    if (slaveRun_) {
        slaves_->setEnabled(false);
        StopTouchScanning(c_);
        programSleep(c_, kSlaveSelectGapMs);
        SelectSlaveF4(c_, uint8_t(std::max(slaves_->currentIndex(), 0)));
    }
    sendMain(qvui::WM_PAGE_STATE, 1, kTemplateDebug);
    list_->setRowCount(0);
    start_->setText(QStringLiteral("Stop"));
    showCounters();
    timers_.start(kTimerEcho, 1);
}

void CQVEchoDlg::onTick() {
    if (!running_) {
        timers_.stop(kTimerEcho);
        return;
    }
    const std::array<uint8_t, 5> packet = EchoPacket(sent_);
    uint8_t reply[5];
    std::memcpy(reply, packet.data(), sizeof reply);
    const bool answered = SendCmdPacket(c_, reply);
    if (!answered || std::memcmp(reply, packet.data(), sizeof reply) != 0) {
        const int row = list_->rowCount();
        list_->insertRow(row);
        const QString texts[] = {QString::number(sent_), hexBytes(packet.data()),
                                 EchoReplyText(answered, c_.dev.device != INVALID_HANDLE_VALUE, reply)};
        for (int col = 0; col < 3; ++col) {
            auto* item = new QTableWidgetItem(texts[col]);
            item->setTextAlignment(Qt::AlignCenter);
            list_->setItem(row, col, item);
        }
        ++errors_;
    }
    ++sent_;
    showCounters();
    if (sent_ >= total_) StopEcho();
}

void CQVEchoDlg::StopEcho() {
    if (!running_ && !timers_.isActive(kTimerEcho)) return;
    running_ = false;
    timers_.stop(kTimerEcho);
    if (slaveRun_) {
        SendCmdF4(c_, 0xAA, 0x00);
        ResumeTouchScanning(c_);
    }
    sendMain(qvui::WM_PAGE_STATE, 0, kTemplateDebug);
    slaveRun_ = false;
    onTarget();
    start_->setText(QStringLiteral("Start"));
}

} // namespace vcx
