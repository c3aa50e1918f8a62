#include "shell/tray_icon.h"

#include "ui/popup_menu.h"
#include "ui/window_message.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace vcx {

TrayIcon::TrayIcon(QObject* window) : QObject(window), window_(window), menu_(new QMenu), icon_(new QSystemTrayIcon(this)) {
    const std::pair<int, const char*> items[] = {{kTrayRestore, "&Utility Restore"},
                                                 {kTrayReset, "&Reset Touch Panel"},
                                                 {kTrayLogInfo, "&Log Current Device Information"},
                                                 {kTrayShowNotification, "&Show Notification"},
                                                 {kTrayExit, "&Exit"}};
    for (const auto& [id, text] : items) {
        QAction* a = menu_->addAction(QString::fromLatin1(text));
        qvui::setMenuId(a, id);
        if (id == kTrayShowNotification) a->setCheckable(true);
    }
    menu_->addSeparator();
    QAction* version = menu_->addAction(QStringLiteral("APP ver : %1.%2.%3.%4").arg(2).arg(7).arg(3).arg(13));
    qvui::setMenuId(version, kTrayVersion);
    setDeviceItems(false, false);
    icon_->setIcon(QIcon(QStringLiteral(":/pictures/250.png")));
    modify(QString::fromLatin1(kTrayTip), {});
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        int mouse = 0;
        switch (r) {
        case QSystemTrayIcon::Trigger: mouse = kTrayLButtonUp; break;
        case QSystemTrayIcon::Context: mouse = kTrayRButtonUp; break;
        case QSystemTrayIcon::DoubleClick: mouse = kTrayLButtonDblClk; break;
        default: return;
        }
        qvui::sendMessage(window_, qvui::WM_TRAY_NOTIFY, kTrayIconId, mouse);
    });
}

TrayIcon::~TrayIcon() { delete menu_; }

void TrayIcon::add() {
    added_ = true;
    icon_->show();
}

void TrayIcon::remove() {
    added_ = false;
    icon_->hide();
}

void TrayIcon::modify(const QString& tip, const QString& balloon) {
    tip_ = tip;
    balloon_ = balloon;
    icon_->setToolTip(tip);
    if (added_ && !balloon.isEmpty())
        icon_->showMessage(QString::fromLatin1(kTrayBalloonTitle), balloon, QSystemTrayIcon::Information);
}

void TrayIcon::setDeviceItems(bool enabled, bool abnMsgChecked) {
    for (int id : {kTrayReset, kTrayLogInfo, kTrayShowNotification})
        if (QAction* a = qvui::findMenuAction(*menu_, id)) a->setEnabled(enabled);
    if (QAction* a = qvui::findMenuAction(*menu_, kTrayShowNotification)) a->setChecked(enabled && abnMsgChecked);
}

} // namespace vcx
