// The panel scan view (dialog 110): acquires the open/short or control-board
// frame sequence through its diagnostic data worker, runs the panel checks,
// draws the sensor grid with its failing nodes, lists the failures, counts
// passes and fails, and saves the report and picture of a run.
//
// Everything runs on the GUI thread from numbered timers: 1 the ready poll,
// 5 and 6 the two acquisitions, 7 the checks, 2/3/4 what follows a process,
// page or golden-sample run. The worker reads one frame per request and hands
// it back as WM_SCAN_DATA_READY; one request is in flight at a time.
#pragma once

#include "diag/diag_state.h"
#include "diag/diag_worker.h"
#include "diag/scan_acquisition.h"
#include "diag/scan_layout.h"
#include "diag/scan_report.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QLabel;

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;

// What every scan view shares (one instance, scanShared()).
struct ScanViewShared {
    bool g_bScanRunning = false;
    int passCount = 0, failCount = 0;
    int g_nCellSize = 0;
    QString resultFolder;          // a copy of the DiagOSFolder setting
    std::string g_strBatch1, g_strBatch2;
    ReportTimes times;             // the time texts of the last save
    // Production runs: automatic numbering (set by the production-line window)
    // and its counter; numbering bit 1 of a loaded process configuration.
    bool autoNumbering = false;
    int runCounter = 0;
    bool needBatch2 = false;
    // The process runner's report folder (a path prefix) and serial number text.
    std::string processReportFolder;
    QString serialNumber;
    // The Debug page's open log file; empty while none is open.
    std::string debugLogPath;
};
ScanViewShared& scanShared();
// The device, times, batch numbers and panel geometry every scan report names.
ReportContext ScanReportContext(const Controller& c);

class CVCXScanDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 110;
    // Controls.
    static constexpr int kIdProgress = 2300, kIdList = 2310, kIdAutoSave = 470;
    static constexpr int kIdPassCount = 2200, kIdFailCount = 2201;
    static constexpr int kIdStart = 2100, kIdCancel = 2101, kIdSave = 2102, kIdSelectFolder = 2103;
    static constexpr int kIdFirstStatus = 2050;  // 2050..2053: START, CANCEL, PASS, FAIL
    enum Status { kStatusStart = 0, kStatusCancel, kStatusPass, kStatusFail, kStatusNone };
    // Timers.
    enum Timer { kTimerPoll = 1, kTimerProcessDone = 2, kTimerPageDone = 3, kTimerGoldenDone = 4,
                 kTimerOpenShort = 5, kTimerControlBoard = 6, kTimerChecks = 7 };
    static constexpr int kMaxPolls = 6;
    static constexpr int kProgressEnd = 15;
    // A frame read that fails is asked again, up to the attempts the transport
    // gives one exchange; then the run fails without judging any frame.
    static constexpr int kFrameReadAttempts = 5;
    // The list rows of a run that could not be judged or did not bring the
    // controller back to normal scanning.
    static constexpr const char* kTextFrameReadFail = "Read Frame %1 Fail";
    static constexpr const char* kTextPatternOffFail = "Test Pattern Off Fail";
    static constexpr const char* kTextDiagnosticModeOffFail = "Leave Diagnostic Mode Fail";

    // The view's window messages (WM_PAGE_STATE, WM_PROCESS_STEP, ...) go to
    // `mainWindow`; its pictures are of mainWindow's widget when it is one.
    CVCXScanDlg(Controller& c, DiagState& s, QWidget* parent = nullptr);
    ~CVCXScanDlg() override;

    void setMainWindow(QObject* window) { main_ = window; }
    QObject* mainWindow() const;

    void ExitDlg();
    // The "Auto Save Log" box and the result folder from the settings (again
    // once the main window has loaded them).
    void TakeSettings();
    void ResetCounters();
    void SetRunState(int state);
    void Relayout(int sizeType);
    void OnBnClickedStart();
    void OnBnClickedCancel();
    void Save();
    void OnBnClickedSelectFolder();
    void MarkFailure(quint64 wParam, qint64 lParam);
    // The device went away: a running scan ends without a device command, and
    // the view waits until its worker has answered its request, so the frame
    // arrays can be freed after this returns. An unattended ("-os") run that
    // had not ended ends here with a failed verdict.
    void DeviceGone();

    int runState() const { return nRunState_; }
    int frame() const { return acquisition_.frame(); }
    int pollCount() const { return nPollCount_; }
    int buttonsState() const { return buttonsState_; }
    Status status() const { return status_; }
    int progress() const;
    bool requestInFlight() const { return inFlight_ != 0; }
    const std::vector<uint8_t>& failMask() const { return pFailMask_; }
    const std::vector<int>& failIds() const { return failIds_; }
    QStringList listRows() const;
    qvui::WindowTimers& timers() const { return *timers_; }
    int scale() const { return scale_; }
    // The view's layout for its size, and what it was measured from.
    const ScanViewLayout& viewLayout() const { return layout_; }
    ScanViewMetrics metrics() const;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void buildControls();
    void onTimer(int id);
    void onPoll();
    void onOpenShortTimer();
    void onControlBoardTimer();
    void readNext();
    void onChecks();
    // The end of a run: the verdict shown and counted, the page idle again, and
    // what follows the run state. `judged`: the checks ran on a full set of frames.
    void endRun(bool pass, bool judged);
    void failUnread();
    void addRestoreRows(uint8_t failures);
    void endSilentRun(bool pass);
    void onProcessDone();
    void onPageDone();
    void onGoldenDone();
    void OnFrame();
    void ShowResult();
    void setButtons(int state);
    void showStatus(Status s);
    void addRow(const QString& text);
    void clearRows();
    void setProgress(int value);
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    void postMain(quint32 message, quint64 wParam, qint64 lParam);
    void request(DiagDataWorker::Request r, uint8_t kind = 0);
    void waitForWorker();
    void relayout();
    QWidget* pictureWindow();
    bool openShortKind() const { return nRunState_ != 3 && nRunState_ != 5; }
    bool productionLine() const;

    Controller& c_;
    DiagState& s_;
    QPointer<QObject> main_;
    qvui::WindowTimers* timers_ = nullptr;
    std::unique_ptr<DiagDataWorker> worker_;
    int inFlight_ = 0;
    DiagDataWorker::Request lastRequest_ = DiagDataWorker::Request::Raw;
    uint8_t lastKind_ = 0;
    int readFailures_ = 0;
    bool retryRead_ = false;   // the acquisition timer's next tick reads the failed frame again
    bool judged_ = false;      // the last run's verdict came from the checks
    bool silentRun_ = false;   // an "-os" run whose verdict is still to be posted

    ScanAcquisition acquisition_;
    int nRunState_ = 0, nListRows_ = 0, nPollCount_ = 0;
    std::vector<int> failIds_;
    std::vector<uint8_t> pFailMask_;
    int buttonsState_ = 0;
    Status status_ = kStatusNone;
    int scale_ = 100;
    ScanViewLayout layout_;
    QLabel* passLabel_ = nullptr;
    QLabel* failLabel_ = nullptr;
    QSize recordedSize_;
    bool sizeRecorded_ = false;
};

}  // namespace vcx
