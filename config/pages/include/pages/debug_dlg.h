// The "Debug" page (the main window's fourth page): hosts the engineering tools
// (echo, parameter list, send command, event halt) behind buttons 420..422 in
// engineer mode, writes the register memory into a memory-dump log (423), runs
// the noise-level log, and writes the device-information log, whose frames
// follow one per tick of its timer 1. Other pages and the tray menu start the
// log through WM_DEBUG_COMMAND.
#pragma once

#include "core/chd_parent_dlg.h"
#include "core/main_ids.h"
#include "pages/device_log.h"

#include <QPointer>

#include <array>
#include <memory>

class QPushButton;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;
class CQVEchoDlg;
class CQVEventHaltDlg;
class CQVLogNoiseInfo;
class CQVParaListDlg;
class CQVSendCmdDlg;

class CQVDebugDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = kTemplateDebug;
    static constexpr int kIdEcho = 420, kIdParameterList = 421, kIdSendCommand = 422, kIdMemoryDump = 423;
    static constexpr int kTimerLog = 1;
    // Tool indexes.
    enum Tool { kToolEcho = 0, kToolParameterList, kToolSendCommand, kToolEventHalt, kToolCount };
    // The tools' place on the page, at display scale 100.
    static constexpr int kToolX = 127, kToolY = 10, kToolWidth = 608, kToolHeight = 390;

    CQVDebugDlg(Controller& c, QWidget* parent);
    ~CQVDebugDlg() override;

    // Where WM_DEBUG_COMMAND and WM_PAGE_STATE go (the page's and its tools');
    // unset, the top-level window.
    void setMainWindow(QObject* window);
    // The main window's button font for 420..423.
    void setButtonFont(const QFont& font);

    void InitDlgItem() override;
    void ExitDlg() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;

    void ShowToolsForMode();
    // Shows tool `index` (0..3) and hides the others.
    void SelectTool(int index);
    void OnToolbarAction(qint64 action);
    void ConfirmResetTouchPanel();
    void WriteMemoryDump();
    void OnDebugCommand(int code, qint64 value);
    void StartDeviceLog(int kind);
    void LogCurrentDeviceInformation();

    int toolIndex() const { return toolIndex_; }
    // The parameter list is the tool on show (engineer mode), so the page holds
    // the controller's parameter update lock while it is shown.
    bool ParameterListShown() const;
    QWidget* tool(int index) const { return tools_[size_t(index)]; }
    CQVParaListDlg* parameterList() const { return paraList_; }
    CQVEchoDlg* echo() const { return echo_; }
    CQVSendCmdDlg* sendCommand() const { return sendCmd_; }
    CQVEventHaltDlg* eventHalt() const { return eventHalt_; }
    CQVLogNoiseInfo* noiseLog() const { return noiseLog_; }
    DeviceLog& log() { return log_; }
    qvui::WindowTimers& timers() const { return *timers_; }
    bool touchAndHalt() const { return touchAndHalt_; }

protected:
    bool event(QEvent* e) override;

private:
    QObject* mainWindow() const;
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    void takeSettingsOnce();
    // Releases the controller's event halt when one is active and resumes scanning.
    void releaseEventHalt();
    // Opens the memory-dump file, asking Retry or Cancel while it cannot be opened.
    bool openMemoryDump(qvtext::TextWriter& w, const QString& path);
    void failedBox();
    void releaseParameterLock();

    Controller& c_;
    QPointer<QObject> main_;
    DeviceLog log_;
    qvui::WindowTimers* timers_ = nullptr;
    std::array<QPushButton*, 4> buttons_{};
    std::array<QWidget*, kToolCount> tools_{};
    CQVEchoDlg* echo_ = nullptr;
    CQVParaListDlg* paraList_ = nullptr;
    CQVSendCmdDlg* sendCmd_ = nullptr;
    CQVEventHaltDlg* eventHalt_ = nullptr;
    CQVLogNoiseInfo* noiseLog_ = nullptr;
    int toolIndex_ = 0;
    bool settingsTaken_ = false;
    bool touchAndHalt_ = false;
};

} // namespace vcx
