// The main window of VCXMSet: binds the controller library, loads the
// settings, hosts the six pages behind their colour-coded buttons, shows the
// connected controller's identity, follows device arrival and removal through
// its debounce timers, forwards the command buttons to the current page and
// shuts the program down in a fixed order.
#pragma once

#include "core/controller_api.h"
#include "shell/device_connection.h"
#include "core/main_ids.h"
#include "core/program_state.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>

#include <array>

class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

namespace qvui {
class WindowTimers;
class WindowMessage;
}

namespace vcx {

class CQVChdParentDlg;
class CQVAboutDlg;
class CQVAbnMsgDlg;
class CQVProcDlg;
class TrayIcon;
struct DeviceFinder;
struct DeviceReadout;
struct Point;

struct PageButtonLook {
    int id;
    const char* text;
    QColor face;
    QColor idle;
};
// The eight page buttons 401..408 with their colours.
const std::array<PageButtonLook, kButtonCount>& pageButtonLooks();
// A COLORREF value (0x00BBGGRR) as a colour.
QColor colorRef(uint32_t value);

// Whether the read-out starts the system-reference proposal (timer 9): the
// FBInitDlg option set and the Diagnostic page's status word (the system
// reference version it read, 0xFF00 and above: none read) at most 1.99.
bool systemReferenceProposalWanted(uint32_t options, uint16_t statusWord);

class CVCXUtilityDlg : public QDialog {
    Q_OBJECT
public:
    explicit CVCXUtilityDlg(QWidget* parent = nullptr);
    ~CVCXUtilityDlg() override;

    // Binds the library and sets everything up; false when the program must end
    // (no loadable library, or one that is too old), with the reason in error().
    bool initDialog();
    QString error() const { return error_; }

    // The device read-out, and its emptying when the device is gone.
    void UpdateDlgItem();
    void ClearDlgItem();
    // The program's end; nothing while a page reports busy. True when it ended.
    bool ExitDlg();
    void SelectPage(int index, int mode);
    void DisconnectDevice();

    // For tests and the pages.
    CQVChdParentDlg* page(int index) const { return pages_[size_t(index)]; }
    // The production-line page: a member, not one of the six pages.
    CQVProcDlg* processDialog() const { return proc_; }
    // The production-line page stands in the page area (a process configuration
    // was loaded at start-up) until a page button is pressed.
    bool processView() const { return processView_; }
    int currentPage() const { return currentPage_; }
    int preferredPage() const { return preferredPage_; }
    bool pageBusy() const { return pageBusy_; }
    const DeviceConnection& connection() const { return connection_; }
    bool reconnectPending() const { return connection_.reconnectPending(); }
    int reconnectRetries() const { return connection_.reconnectRetries(); }
    int devicePresence() const { return connection_.devicePresence(); }
    int arrivalCountdown() const { return connection_.arrivalCountdown(); }
    int removalCountdown() const { return connection_.removalCountdown(); }
    bool fullLayout() const { return fullLayout_; }
    // The pages' enable flags of the command buttons (WM_TOOLBAR_ACTION).
    const std::array<int, kCommandCount>& toolbarEnabled() const { return toolbarEnabled_; }
    qvui::WindowTimers& timers() const { return *timers_; }
    QString fieldText(int id) const;
    DeviceFinder& finder() const { return *finder_; }
    void setFinder(DeviceFinder* finder) { finder_ = finder; }
    CQVAbnMsgDlg* abnMsgDlg() const { return abnMsg_; }
    TrayIcon* tray() const { return tray_; }
    bool debugButtonsAllowed() const { return debugButtonsAllowed_; }
    bool extraModeOn() const { return extraModeOn_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void buildControls();
    void onTimer(int id);
    // utility_dlg_process.cpp: WM_PROCESS_STEP, a production item started (state
    // 0) or its result passed on to the process page.
    void onProcessStep(int state, int item);
    void onDeviceChange(qvui::WindowMessage& m);
    void onPageState(int state, int templateId);
    void onToolbarFromPage(quint64 buttonId, qint64 enable);
    void onRefresh();
    void onPageButton(int id);
    void onCommandButton(int id);
    void onNotificationSwitch();
    void onTouchAndHalt();
    // Carries out the connection's steps in order; a search is answered at once.
    void run(DeviceConnection::Actions actions);
    void reloadDefaultsAndReset();
    void showReadout(const DeviceReadout& r);
    void reportNoController() const;
    // Where the window stands in its normal state, with its frame: what
    // move() takes, so a restored window returns to the same place.
    Point normalFramePosition() const;
    void refreshCommandButtons();
    void refreshHaltButtons();
    void setPageButton(int id, bool enabled);
    // The button's enable flag, unless its work is not built yet.
    bool buttonUsable(int id) const;
    void applyButtonLook(int id, bool face);
    // The page layout's size with every pending row change laid out.
    QSize layoutSize() const;
    // Sizes the layout and the window after rows were shown or hidden; `before`:
    // layoutSize() before the change.
    void followLayout(const QSize& before);
    void fitToWorkArea();
    void onDisplayChange();
    bool keyFilter(QWidget* window, QEvent* e, int flag);
    // utility_dlg_notify.cpp: the abnormal-state window, the notification-area
    // icon, the touch registration, WM_DEBUG_COMMAND and the proposal and
    // extra-mode timers.
    void initNotifications();
    void exitNotifications();
    void onDebugCommand(int code, qint64 value);
    void onAbnormalState(int kind, qint64 value);
    void onTrayNotify(quint64 id, qint64 mouse);
    void trayAfterReadout(bool masterInBoot);
    void trayAfterClear();
    void onProposalTick();
    void onExtraModeTick();
    void onTimerRestoreTray();
    void trayRemove();
    void lockForDebugProgress(qint64 value, int templateId);
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool mouseFilter(QObject* watched, QEvent* e);

    Controller& c_;
    DeviceFinder* finder_ = nullptr;
    QString error_;
    bool bound_ = false;
    bool ended_ = false;

    int currentPage_ = -1;
    int preferredPage_ = 0;
    int shownPage_ = 0;
    int proposalTicks_ = 0;
    DeviceConnection connection_;
    bool updateBusy_ = false; // the Field Update page reports busy
    std::array<int, kCommandCount> toolbarEnabled_{1, 1, 1, 1};
    bool debugButtonsAllowed_ = true;
    bool haltButtonAllowed_ = true;
    bool pageBusy_ = false;
    int busyTemplate_ = 0;  // the template of the page that reported itself busy last
    bool extraModeOn_ = false;
    bool& parameterLockOn_ = programState().parameterLockOn; // the Debug page's parameter lock is held
    bool touchAndHalt_ = false;
    bool escapeDown_ = false;
    bool fullLayout_ = false;
    // Page buttons 401..408: enabled flags.
    std::array<bool, kButtonCount> buttonEnabled_{};

    std::array<CQVChdParentDlg*, kPageCount> pages_{};
    CQVAboutDlg* about_ = nullptr;
    CQVProcDlg* proc_ = nullptr;
    bool processView_ = false;
    qvui::WindowTimers* timers_ = nullptr;
    CQVAbnMsgDlg* abnMsg_ = nullptr;
    TrayIcon* tray_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QFont buttonFont_;
    QFont smallFont_;
};

} // namespace vcx
