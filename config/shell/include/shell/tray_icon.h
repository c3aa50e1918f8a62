// The notification-area icon of the main window (id 250) and its menu (items
// 570..575). Activations become WM_TRAY_NOTIFY (250, mouse message) to the
// window, the one path for a user's click and a test's message; the menu is
// shown by the window through the popup-menu service.
#pragma once

#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace vcx {

constexpr int kTrayIconId = 250;
constexpr int kTrayLButtonUp = 0x0202;
constexpr int kTrayLButtonDblClk = 0x0203;
constexpr int kTrayRButtonUp = 0x0205;
enum TrayItem { kTrayRestore = 570, kTrayReset = 571, kTrayLogInfo = 572, kTrayShowNotification = 573,
                kTrayExit = 574, kTrayVersion = 575 };
constexpr const char* kTrayTip = "Quorvane VCXUtility";
constexpr const char* kTrayBalloonTitle = "VCXUtility";

class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* window);
    ~TrayIcon() override;

    QMenu& menu() const { return *menu_; }
    QSystemTrayIcon& icon() const { return *icon_; }
    // NIM_ADD / NIM_DELETE.
    void add();
    void remove();
    bool added() const { return added_; }
    // The icon data (tip, balloon text) given to the shell again (NIM_MODIFY).
    void modify(const QString& tip, const QString& balloon);
    QString tip() const { return tip_; }
    QString balloon() const { return balloon_; }
    // Items 571..573 after a read-out or a clear; 573 checked by the AbnMsg bit.
    void setDeviceItems(bool enabled, bool abnMsgChecked);

private:
    QObject* window_;
    QMenu* menu_;
    QSystemTrayIcon* icon_;
    bool added_ = false;
    QString tip_, balloon_;
};

} // namespace vcx
