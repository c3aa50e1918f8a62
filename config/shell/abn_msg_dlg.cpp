#include "shell/abn_msg_dlg.h"

#include "ui/control_ids.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace vcx {

QString abnormalDotsText(int counter) {
    const int n = counter % 14;
    return qvui::loadString(756) + QString(n <= 7 ? n : 14 - n, u'.');
}

CQVAbnMsgDlg::CQVAbnMsgDlg(QWidget* owner, std::function<void()> enableScan)
    : QDialog(owner), owner_(owner), enableScan_(std::move(enableScan)) {
    qvui::setControlId(this, kTemplate);
    setWindowIcon(QIcon(QStringLiteral(":/pictures/250.png")));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    picture_ = new QLabel(this);
    qvui::setControlId(picture_, kIdPicture);
    picture_->setPixmap(QIcon(QStringLiteral(":/pictures/217.png")).pixmap(64, 64));
    row->addWidget(picture_);
    auto* texts = new QVBoxLayout;
    text_ = new QLabel(this);
    qvui::setControlId(text_, kIdText);
    dots_ = new QLabel(this);
    qvui::setControlId(dots_, kIdDots);
    dots_->setMinimumWidth(260);
    valueText_ = new QLabel(QStringLiteral("#0000"), this);
    qvui::setControlId(valueText_, kIdValue);
    texts->addWidget(text_);
    texts->addWidget(dots_);
    texts->addWidget(valueText_);
    row->addLayout(texts, 1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    qvui::setControlId(ok_, kIdOk);
    ok2_ = new QPushButton(QStringLiteral("OK"), this);
    qvui::setControlId(ok2_, kIdOk2);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(ok2_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] { restore(); });
    connect(ok2_, &QPushButton::clicked, this, [this] { restore(); });
    setWindowTitle(QStringLiteral("Quorvane Touch Disabled Warning !"));
    timers_ = new qvui::WindowTimers(this);
}

void CQVAbnMsgDlg::initDialog(const QPoint& pos) {
    disabledPending_ = enabledPending_ = shown_ = false;
    counter_ = 0;
    value_ = 0;
    adjustSize();
    move(pos);
    created_ = QRect(pos, size());
}

void CQVAbnMsgDlg::SetAbnormalState(int value, bool enabledState) {
    value_ = value;
    if (enabledState) {
        if (disabledPending_ && !shown_) {
            timers_->stop(kTimerDisabled);
            disabledPending_ = false;
        } else if (!enabledPending_) {
            timers_->start(kTimerEnabled, kDebounceMs);
            enabledPending_ = true;
        }
    } else {
        if (enabledPending_ && !shown_) {
            timers_->stop(kTimerEnabled);
            enabledPending_ = false;
        } else if (!disabledPending_) {
            timers_->start(kTimerDisabled, kDebounceMs);
            disabledPending_ = true;
        }
    }
}

void CQVAbnMsgDlg::setCaptionAndText(quint32 captionId, quint32 textId) {
    setWindowTitle(qvui::loadString(captionId));
    text_->setText(qvui::loadString(textId));
}

void CQVAbnMsgDlg::showDialog() {
    show();
    raise();
}

void CQVAbnMsgDlg::shrink() { resize(created_.width(), std::max(0, created_.height() - 50)); }

void CQVAbnMsgDlg::onTimer(int id) {
    switch (id) {
    case kTimerDisabled:
        timers_->stop(kTimerDisabled);
        disabledPending_ = false;
        setCaptionAndText(755, 751);
        dots_->setText(qvui::loadString(756));
        dots_->show();
        picture_->show();
        ok_->hide();
        ok2_->hide();
        valueText_->setText(QStringLiteral("#%1").arg(value_ & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper());
        valueText_->setVisible(value_ != 0);
        showDialog();
        shown_ = true;
        timers_->start(kTimerDots, 1000);
        break;
    case kTimerDots:
        ++counter_;
        dots_->setText(abnormalDotsText(counter_));
        break;
    case kTimerEnabled:
        timers_->stop(kTimerEnabled);
        enabledPending_ = false;
        if (shown_) {
            timers_->stop(kTimerDots);
            shown_ = false;
            hide();
        }
        break;
    case kTimerResetShown:
        timers_->stop(kTimerResetShown);
        restore();
        break;
    default:
        timers_->stop(id);
        break;
    }
}

void CQVAbnMsgDlg::onResetFinished() {
    setWindowTitle(qvui::loadString(765));
    timers_->stop(kTimerDots);
    if (enableScan_) enableScan_();
    shrink();
    text_->setText(qvui::loadString(767));
    dots_->hide();
    picture_->hide();
    valueText_->hide();
    ok_->hide();
    ok2_->show();
    showDialog();
    timers_->start(kTimerResetShown, 1000);
}

void CQVAbnMsgDlg::showProgress(int value, bool silentSystemReference) {
    switch (value) {
    case 0:
        progress_ = 0;
        timers_->stop(kTimerDots);
        setCaptionAndText(763, 763);
        shrink();
        dots_->hide();
        valueText_->hide();
        picture_->hide();
        ok_->hide();
        ok2_->hide();
        showDialog();
        break;
    case 0xFFFF:
        if (silentSystemReference) {
            hide();
            qvui::sendMessage(owner_, qvui::WM_SILENT_RESULT, 0, 1);
        } else {
            text_->setText(qvui::loadString(764));
            ok2_->show();
        }
        break;
    case 0xFFFE:
        hide();
        break;
    default:
        progress_ = (progress_ + 1) % 10;
        text_->setText(qvui::loadString(763) + QString(QStringLiteral("...")).repeated(progress_));
        break;
    }
}

void CQVAbnMsgDlg::hideAndStop() {
    timers_->stop(kTimerDots);
    shown_ = false;
    hide();
}

void CQVAbnMsgDlg::restore() {
    picture_->hide();
    ok_->hide();
    valueText_->hide();
    hide();
    shown_ = false;
    resize(created_.size());
}

bool CQVAbnMsgDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        if (m->message() == qvui::WM_TIMER) {
            onTimer(int(m->wParam()));
            return true;
        }
        if (m->message() == qvui::WM_USER + 2) {
            onResetFinished();
            return true;
        }
    }
    return QDialog::event(e);
}

} // namespace vcx
