// The factory build view (dialog 115): lets the operator make the controller
// record its untouched-panel reference ("system reference"). Start, Save log,
// Erase and Select Folder, an "Auto Save Log" box, a result picture and texts.
// It starts one of two build procedures by what the controller reports: with
// no system-reference version the older one, CQVFBBuildDlg below (a frequency
// scan for interference, then the controller's own build); with a version the
// newer one.
//
// Everything runs on the GUI thread from numbered timers: the view's 1 and 2
// (the ready poll), the procedure's 11..16.
#pragma once

#include "diag/device_probes.h"
#include "diag/diag_state.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;

namespace qvui {
class WindowTimers;
}
namespace qvtext {
class TextWriter;
}

namespace vcx {

struct Controller;
class CQVNewFBBuildDlg;

// ---- The older procedure's arithmetic ----------------------------------------

// One frequency measured from two frames of n nodes: the 15 largest |A - B|
// held in ascending order (zeros where fewer nodes), the mean of the 10
// smallest of them (sum / 10), and the count of nodes with a difference above
// T; `result` is that count when the mean is above T, else 0.
struct FrequencyNoise {
    std::array<uint16_t, 15> top{};
    uint16_t mean = 0;
    int result = 0;
};
FrequencyNoise MeasureFrequencyNoise(const int16_t* a, const int16_t* b, int n, int threshold);

// The overlay's percentage: step 12 m x 90 / M + (f x 90 / M) / F, step 13
// polls x 10 / limit + 90; -1 for the steps that show no percentage.
int BuildOverlayPercent(int step, int m, int f, int modes, int freqs, int polls, int limit);

// The overlay's rectangle on a screen W x H: W/4..W - W/4 by 2H/5..2H/5 + H/5.
QRect BuildOverlayRect(int screenWidth, int screenHeight);

// ---- The older procedure (overlay, template 199) -----------------------------

class CQVFBBuildDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 199;
    static constexpr int kIdYes = 450, kIdNo = 451;
    enum Step { kIdle = 11, kScan = 12, kWait = 13, kQuestion = 14, kCancelled = 15, kRemoved = 16 };
    static constexpr int kFirstWaitLimit = 24;
    static constexpr int kMaxModes = 4, kMaxFreqs = 63;

    // Results go to `view` as WM_BUILD_PROGRESS (code, 0).
    CQVFBBuildDlg(Controller& c, DiagState& s, QObject* view);
    ~CQVFBBuildDlg() override;

    void Start();
    // The device went away: idle -> buffers freed, overlay hidden; else step 16.
    void Reset();
    void FreeBuffers();
    // The test's replacement of rand() (the waits of a measure are (r % 3 + 1) x 10 ms).
    void setRandom(std::function<int()> r) { rand_ = std::move(r); }
    // The report body of the last build (threshold, the per-mode tables, the warning).
    std::string ReportBody() const;

    int step() const { return step_; }
    int waitLimit() const { return waitLimit_; }
    int waitPolls() const { return waitPolls_; }
    int modesChecked() const { return modesChecked_; }
    int threshold() const { return threshold_; }
    QString overlayText() const;
    qvui::WindowTimers& timers() const { return *timers_; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void onTimer(int id);
    void onFrequency();
    void onWait();
    void onQuestion();
    void answer(bool yes);
    void beginBuild();
    void finish(int code);
    bool selectFrequency(uint8_t v);
    int measure(int m, int f);
    bool readFrame(std::vector<int16_t>& into);
    void waitRandom();
    void showButtons(bool shown);

    Controller& c_;
    DiagState& s_;
    QPointer<QObject> view_;
    qvui::WindowTimers* timers_ = nullptr;
    std::function<int()> rand_;
    int step_ = kIdle;
    int modes_ = 0, freqs_ = 0, m_ = 0, f_ = 0;
    int modesChecked_ = 0, waitPolls_ = 0, waitLimit_ = kFirstWaitLimit, e4Failures_ = 0;
    int threshold_ = 11;
    bool interference_ = false;
    bool frequencyStep_ = false;  // diagnostic mode is on for the scan
    uint32_t savedFH_ = 0xFF00;
    uint16_t status_ = 0;
    std::vector<int16_t> frameA_, frameB_;
    std::vector<uint16_t> means_;                 // M x F
    std::vector<std::array<uint16_t, 15>> tops_;  // M x F
};

// ---- The view --------------------------------------------------------------

class CQVFactoryBaseDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 115;
    static constexpr int kIdStart = 420, kIdSaveLog = 421, kIdErase = 422, kIdSelectFolder = 423;
    static constexpr int kIdAutoSave = 470, kIdInitDlg = 471;
    static constexpr int kIdVersion = 362, kIdResult = 364, kIdStatus = 365, kIdPicture = 219;
    enum Timer { kTimerReady = 1, kTimerReport = 2 };
    static constexpr int kReadyPolls = 6;
    static constexpr uint32_t kOptionFBInitDlg = 0x8, kOptionAutoSaveFB = 0x20;
    // The older procedure's process report in the process report folder.
    static constexpr const char* kReportName = "%sBuildSystemReferenceReport.csv";

    CQVFactoryBaseDlg(Controller& c, DiagState& s, QWidget* parent = nullptr);
    ~CQVFactoryBaseDlg() override;

    void setMainWindow(QObject* window) { main_ = window; }
    QObject* mainWindow() const;

    // Process item 3 and "-sr": without "-sr" ignored while a process run is
    // on, else the run begins; then as Start.
    void AutoStart();
    void OnBnClickedStart();
    void OnBnClickedSaveLog();
    void OnBnClickedErase();
    void OnBnClickedSelectFolder();
    // A device is there: version text, procedures prepared, ready poll.
    void Refresh();
    // The device went away.
    void ResetProcedures();
    void ExitDlg();
    void LayoutControls(int sizeType);
    void SetStartEnabled(bool enabled);

    CQVFBBuildDlg& olderBuild() const { return *older_; }
    CQVNewFBBuildDlg& newerBuild() const { return *newer_; }
    int resultCode() const { return code_; }
    bool savePending() const { return savePending_; }
    bool processRun() const { return processRun_; }
    const QString& logFolder() const { return logFolder_; }
    qvui::WindowTimers& timers() const { return *timers_; }

protected:
    bool event(QEvent* e) override;

private:
    void buildControls();
    void OnBuildProgress(int code);
    void startReadyPoll();
    void onReadyPoll();
    void onReportPoll();
    bool readyNow();
    void endReadyPoll();
    void writeProcessReport();
    // The procedure's report body after the build that ended last.
    void writeBody(qvtext::TextWriter& w);
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    void postMain(quint32 message, quint64 wParam, qint64 lParam);
    void setText(int id, const QString& text);
    void enable(int id, bool on);

    Controller& c_;
    DiagState& s_;
    QPointer<QObject> main_;
    qvui::WindowTimers* timers_ = nullptr;
    DiagnosticProbes probes_;
    CQVFBBuildDlg* older_ = nullptr;
    CQVNewFBBuildDlg* newer_ = nullptr;
    bool usedNewer_ = false;
    int code_ = 0;
    bool savePending_ = false;
    bool processRun_ = false;
    int readyPolls_ = 0, reportPolls_ = 0;
    QRect first_;
    bool firstSeen_ = false;
    QString logFolder_;
};

}  // namespace vcx
