// The "Parameters" page (template 104): the parameter sheet over the 23
// parameter pages. Seven tab candidates show a fixed mix of pages of both sets;
// the other pages are created, loaded and given their tips without a tab.
// Apply lists the changes, asks, writes every read group inside the update lock
// and flushes; Import and Export go through the parameter INI file; Reload
// Default asks which defaults and reloads them.
#pragma once

#include "core/chd_parent_dlg.h"
#include "params/para_parent_dlg.h"
#include "core/main_ids.h"

#include <array>
#include <vector>

class QTabBar;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;
struct ProgramRecords;

// Set by the coordinate page when a calibration was accepted; the sheet's exit
// writes the calibration working copy then.
bool& CalibrationPending();

// The tab candidates, in candidate order.
enum TabCandidate { kTabInterface, kTabPanel, kTabFinger, kTabPalm, kTabWater, kTabNoise, kTabCoordinate, kTabCount };

// What the refresh shows: the candidates that get a tab (in tab order), the
// candidate whose page is shown, and the tab selected (-1: none, the fallback).
struct TabPlan {
    std::vector<int> tabs;
    int shown = 0;
    int selected = -1;
};
TabPlan PlanTabs(const ProgramRecords& r, int currentCandidate);
// The remembered page index as the sheet takes it: 0..6, anything else 0.
int CandidateFromSetting(int paraIdx);

// Results of WriteChangedParameters.
enum WriteResult { kWriteFlushed = -1, kWriteLockFailed = 0, kWriteGroupFailed = 1, kWriteFlushFailed = 2,
                   kWriteDeclined = 3,
                   // The groups were written but the controller refused the release of its lock.
                   kWriteUnlockFailed = 4,
                   // A group write failed and the release after it was refused too.
                   kWriteGroupAndUnlockFailed = 5 };

// ConfirmParameterChanges: the change list in a box "Modify Parameter List" with
// OK / Cancel; an empty list or engineer mode confirms without asking.
bool ConfirmParameterChanges(Controller& c, QWidget* owner);
// Lock, every read group's Set in Apply's order, unlock (also after a failed
// group write), flush. -1 flushed, 0 the lock failed, 1 a group write failed,
// 2 the flush failed, 3 the user declined, 4 the release of the lock failed (no
// flush), 5 a group write and the release after it failed.
int WriteChangedParameters(Controller& c, QWidget* owner);

class CQVParaDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = kTemplateParameters;
    static constexpr int kIdTab = 501;
    CQVParaDlg(Controller& c, QWidget* parent);
    ~CQVParaDlg() override;

    void InitDlgItem() override;
    void ExitDlg() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;
    bool isUsable() const override { return ready_; }

    // The window WM_PAGE_STATE and WM_DISCONNECT_DEVICE go to (the main window
    // unless set).
    void setMainWindow(QObject* w) { main_ = w; }

    // Toolbar actions 0..3; each returns its result (Apply: WriteChangedParameters'
    // or -2 when nothing ran; Import: ImportParameterFile's; Export: its result or
    // -1 when cancelled; Reload: 0 Yes, 1 No, 2 Cancel, -2 no device).
    int ApplyParameters();
    int ImportParameters();
    int ExportParameters();
    int ReloadDefaultParameters();

    QTabBar* tabBar() const { return tabs_; }
    int currentCandidate() const { return curPage_; }
    bool newSet() const { return newSet_; }
    // The page of a template (160..176, 180..185), nullptr for another number.
    CQVParaParentDlg* page(int templateId) const;
    // The page the candidate shows now.
    CQVParaParentDlg* candidatePage(int candidate) const;
    // The tab map: tab position -> candidate.
    int candidateOfTab(int tab) const;
    // Where the sheet and its pages send WM_PAGE_STATE.
    QObject* mainWindow() const;
    // Every page's CheckDlgItem again (the engineer mode was switched).
    void RecheckPages();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void RefreshTips();
    void onTabChanged(int tab);
    void placePages();
    void pageState(int state);

    Controller& c_;
    QWidget* tabControl_ = nullptr; // 501
    QTabBar* tabs_ = nullptr;
    std::array<CQVParaParentDlg*, 17> newPages_{};
    std::array<CQVParaParentDlg*, 6> oldPages_{};
    std::array<CQVParaParentDlg*, kTabCount> tabPage_{};
    std::array<int, 17> newMap_{};
    std::array<int, 6> oldMap_{};
    std::array<int, kTabCount> tabMap_{};
    bool newSet_ = false;
    int curPage_ = 0;
    int tabCount_ = 0;
    bool ready_ = false;
    bool rebuilding_ = false;
    bool settingTaken_ = false;
    QObject* main_ = nullptr;
    qvui::WindowTimers* timers_ = nullptr;
};

} // namespace vcx
