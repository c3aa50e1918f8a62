// The "Field Update" page (template 103): loads a firmware image or package,
// shows what it holds and programs the controller through the update state
// machine (the step table, steps 13..31), run from the page's numbered timers
// on the main window's thread, every wait through programSleep, so in sim mode
// an update runs in the library's virtual time.
#pragma once

#include "core/chd_parent_dlg.h"
#include "update/block_program.h"

#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <span>

class QCheckBox;
class QLabel;
class QProgressBar;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;
struct LoadedFirmware;
struct LoadedFirmwareSection;

class CQVUpdateDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 103;
    static constexpr int kIdProgress = 500, kIdResult = 315, kIdPicture = 318;
    static constexpr int kIdFile = 316, kIdFile2 = 317, kIdParaCrc = 363, kIdKeyCrc = 364;
    static constexpr int kIdFactory = 470, kIdHostPanel = 471, kIdVirtualKeys = 472;
    static constexpr uint32_t kIdle = 11;

    // The update's steps, by the numbers of the page timers that run them.
    static constexpr uint32_t kStateFuStart = 13;      // the file loaded again (or the factory defaults)
    static constexpr uint32_t kStateFuProc = 14;       // the file checked against the controller
    static constexpr uint32_t kStateFuSlv = 15;        // a slave programmed
    static constexpr uint32_t kStateFuSlvEnd = 16;     // the next slave, the master, or the reset
    static constexpr uint32_t kStateFuMst = 17;        // the master programmed
    static constexpr uint32_t kStateFuMstEnd = 18;     // the reset after the master's blocks
    static constexpr uint32_t kStateFuWaitOldBt = 19;  // an old loader reset once more
    static constexpr uint32_t kStateFuWaitReset = 20;  // the controller back after its loader
    static constexpr uint32_t kStateFuFailed = 21;     // a firmware step failed
    static constexpr uint32_t kStateFuChkRes = 22;     // the versions that run checked
    static constexpr uint32_t kStatePuProc = 23;       // the package's parameter lists written
    static constexpr uint32_t kStatePuReload = 24;     // the factory defaults reloaded
    static constexpr uint32_t kStatePuReloadWa = 25;   // their second reload below version 1.26
    static constexpr uint32_t kStatePuFailed = 26;     // a parameter step failed
    static constexpr uint32_t kStatePuChkRes = 27;     // the package's parameter CRC compared
    static constexpr uint32_t kStatePuChkReload = 28;  // the factory defaults checked
    static constexpr uint32_t kStateVuProc = 29;       // the package's virtual keys written
    static constexpr uint32_t kStateVuFailed = 30;     // writing them failed
    static constexpr uint32_t kStateVuChkRes = 31;     // read back and compared

    // One step: its number, the name its "State Machine : " log line gives, its handler.
    struct StepRow {
        uint32_t number;
        const char* name;
        void (CQVUpdateDlg::*run)();
    };
    // Every step, in number order; a number without a row ends the run as a failure.
    static std::span<const StepRow> stepTable();

    // fw: the firmware file the page loads, shows and programs.
    CQVUpdateDlg(Controller& c, LoadedFirmware& fw, QWidget* parent);
    ~CQVUpdateDlg() override;

    void InitDlgItem() override;
    void ExitDlg() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;
    bool isUsable() const override { return true; }

    // The file in the loaded firmware's szFirmwarePath (ask: the open dialog first).
    bool LoadFirmware(bool ask);
    // A device arrived while the update runs (the main window's arrival tick).
    void ResumeAfterArrival();
    bool UpdateBusy() const { return state_ != kIdle; }
    // Main timer 10: the command line's file becomes the page's, and the update starts.
    void StartFromCommandLine(const QString& file);
    // Process item 5: the update of the loaded file starts; its step and result
    // lines join the firmware-update log (core/process_items.h), which is
    // appended to `reportPath` when the update ends, and WM_PROCESS_STEP (1
    // success or 2, 5) goes to the main window.
    void StartForProcess(const QString& reportPath);
    bool processRun() const { return !processReport_.isEmpty(); }

    // Where the page's messages go (the main window; tests set their own).
    void setMainWindow(QObject* w) { main_ = w; }
    uint32_t state() const { return state_; }
    QString resultText() const;
    bool resultShown() const;
    bool resultSuccess() const { return lastSuccess_; }
    qvui::WindowTimers* timers() const { return timers_; }

protected:
    bool event(QEvent* e) override;

private:
    void onTimer(int id);
    void onFactoryClicked();
    void UpdateStateMachine(uint32_t step);
    static const StepRow* findStep(uint32_t step);
    void runStep(uint32_t step);
    void next(uint32_t step) { state_ = step; chain_ = true; }
    void stepTimer(uint32_t step, int ms = 10);

    // The steps' handlers.
    void startUpdate();
    void checkFileAgainstController();
    void programSlave();
    void afterSlave();
    void programMaster();
    void afterMaster();
    void resetOldBootLoader();
    void reconnectedAfterFirmware();
    void firmwareFailed();
    void checkFirmwareResult();
    void writePackageParameters();
    void reloadFactoryDefaults();
    void reloadFactoryDefaultsAgain();
    void reloadDefaults(bool first);
    void parametersFailed();
    void checkPackageParameters();
    void checkFactoryDefaults();
    void writeVirtualKeys();
    void virtualKeysFailed();
    void checkVirtualKeys();

    // A firmware step (15, 17) and its phases.
    bool ProgramFirmwareStep(bool slave);
    enum class RunningFirmware { Program, Skipped, Failed };
    bool selectTargetChip(bool slave, bool inBoot, bool* newBoot);
    bool confirmTestVersion(const LoadedFirmwareSection& e, bool slave);
    void prepareBlockWriter(const LoadedFirmwareSection& e);
    RunningFirmware skipWhenFirmwareRuns(const LoadedFirmwareSection& e, bool slave);
    void putHostInterfaceNibbleRight(bool slave, bool inBoot);
    bool enterAndFindBootLoader(bool slave, bool newBoot, uint8_t kind);
    bool findBootLoader(bool slave);
    bool setBootDataFormat(const LoadedFirmwareSection& e);
    void setProgrammingBaud();
    bool readBootLoaderSizes(bool slave, uint8_t kind, uint32_t* blockSize);
    bool startBlockProgramming(const LoadedFirmwareSection& e, uint32_t blockSize, bool slave);
    void backToMaster(bool slave);
    bool CheckFirmwareMatchesDevice();
    bool VerifySlaveVersions();
    bool VerifyMasterVersion();
    void FinishUpdate(bool success);
    void prepareReconnect();
    void reconnectTick(int timer);
    bool reopen();
    void programNextBlock();
    void startBlocks();
    void resetAndReconnectParameters(uint32_t nextState, int timer, int ms);

    void setResult(uint32_t stringId);
    // A new operation: no picture, an empty bar.
    void beginOperation();
    // ParameterUpdateLock (0) after a locked write failed; false (and noted) when the release failed.
    bool releaseUpdateLock();
    void showPicture(bool success);
    void logState(const char* name);
    // The end of process item 5: the log written, the result posted.
    void finishProcessItem(bool success);
    void pageState(int busy);
    void mainTimer(int id);
    void setMainButton(int id, bool enabled);
    bool ostra() const;
    bool masterInBoot() const;
    bool paraLoaded() const;
    bool packageHasKeys() const;
    void disableUpdateButtons();
    bool sleepAndE9();

    Controller& c_;
    LoadedFirmware& fw_;
    QPointer<QObject> main_;
    qvui::WindowTimers* timers_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* result_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* file2_ = nullptr;
    QLabel* paraCrc_ = nullptr;
    QLabel* keyCrc_ = nullptr;
    QCheckBox* factory_ = nullptr;
    QCheckBox* hostPanel_ = nullptr;
    QCheckBox* keys_ = nullptr;

    uint32_t state_ = kIdle;
    uint32_t previous_ = kIdle;   // the step that ran before the current one
    uint32_t slaveIndex_ = 0;
    uint32_t retries_ = 10;
    bool chain_ = false;
    bool running_ = false;        // UpdateStateMachine is on the stack
    bool fileLoaded_ = false;
    bool needsReconnect_ = false;
    bool keepResult_ = false;
    bool arrivalSeen_ = false;
    bool reconnected_ = true;
    bool commandLine_ = false;    // the file came from the command line
    bool testConfirmed_ = false;  // the test-version question answered Yes in this run
    bool lastSuccess_ = false;
    bool unlockFailed_ = false;   // a release of the update lock failed in this run
    uint32_t resultId_ = 0;       // the string id the result text shows (0: another text)
    uint8_t savedBaud_ = 0xFF;
    uint32_t startTick_ = 0;
    std::array<QString, 5> versionsBefore_;  // master, then the four slaves
    int entry_ = 0;                           // the image being programmed
    update::BlockWriter writer_;
    update::BlockRun run_;
    QString updateKey_;                       // the key of the controller this update programs
    QString processReport_;                   // process item 5's report; empty outside one
};

// The version check: the controller's text after "QV" up to its first blank must
// equal the entry's text; an entry without a build tail (entryHasBuild false)
// also matches the controller's build ".0".
bool VersionMatches(const QString& controllerText, const QString& entryText, bool entryHasBuild);

}  // namespace vcx
