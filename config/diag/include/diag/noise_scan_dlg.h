// The noise level view (dialog 113) and its full-screen test pattern (199).
//
// The view measures how much every node's raw count moves while the screen
// shows a test pattern, grades the panel Great..Bad and writes a noise report.
// It runs by hand (Start), from the command line ("-nl" n) or as a production
// process item, which tests the patterns White, Black and Checkerboard in turn
// (StartProcess).
//
// Everything runs on the GUI thread from numbered timers, the library's reads
// included: 1 samples every 100 ms, 3 (5000 ms, once) starts the frequency
// settle and 2 (25 ms) polls it. The waits between the start's commands go
// through the program's clock.
#pragma once

#include "diag/diag_state.h"
#include "diag/noise_scan.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

namespace qvui {
class WindowTimers;
}

namespace vcx {

struct Controller;

// The full-screen, frameless pattern window: pattern k (0 White, 1 Black,
// 2 Checkerboard) is the program's picture 2010 + k tiled over the screen.
class CNoisePatternDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 199;
    static constexpr int kFirstPicture = 2010;

    explicit CNoisePatternDlg(QWidget* parent = nullptr);
    // Shows pattern k (below 3) full screen; another k does nothing.
    void ShowPattern(int k);
    int pattern() const { return pattern_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    int pattern_ = -1;
};

class CScanNoiseDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 113;
    static constexpr int kIdStart = 2100, kIdCancel = 2101, kIdSave = 2102, kIdSelectFolder = 2103;
    static constexpr int kIdProgress = 2300, kIdPercent = 2203, kIdPattern = 502, kIdGrade = 340;
    static constexpr int kFirstPatternString = 1110;  // 1110..1113: None, White, Black, Checkerboard
    static constexpr int kFirstGradePicture = 2004;   // 2004..2008: Great..Bad
    enum Timer { kTimerSample = 1, kTimerSettlePoll = 2, kTimerSettleStart = 3 };
    static constexpr int kSampleMs = 100, kSettlePollMs = 25, kSettleStartMs = 5000;
    static constexpr int kPatternPauseMs = 100, kRowCommandMs = 30;
    static constexpr int kReadRetries = 3;
    static constexpr int kSettleEqualReadings = 31;

    CScanNoiseDlg(Controller& c, DiagState& s, QWidget* parent = nullptr);
    ~CScanNoiseDlg() override;

    void setMainWindow(QObject* window) { main_ = window; }
    QObject* mainWindow() const;

    // A device was read out: the settle choice, the arrays for its counts.
    void Refresh();
    void OnBnClickedStart();
    void OnBnClickedCancel() { Stop(); }
    void Stop();
    // The manual save: the batch numbers asked, the report and picture written.
    void Save();
    void OnBnClickedSelectFolder();
    // Production process item: the three patterns in turn, each section
    // appended to `reportPath` (NoiseProcessReportPath of the process folder);
    // the main window gets WM_PROCESS_STEP (1 pass or 2 fail, 6) at the end.
    void StartProcess(const std::string& reportPath);
    // Selects pattern `pattern` (0 when not below 4) and starts, as "-nl" does.
    void StartCommandLine(int pattern);
    void ExitDlg();

    bool running() const { return bRunning_; }
    bool freqSettle() const { return bFreqSettle_; }
    int rounds() const { return nRounds_; }
    int progress() const { return progress_; }
    int patternIndex() const { return nPatternIndex_; }
    int patternResult(int pattern) const { return PatternResult_[size_t(pattern)]; }
    const NoiseGradeResult& result() const { return result_; }
    const NoiseCounts& counts() const { return sampler_.counts(); }
    CNoisePatternDlg* patternWindow() const { return pattern_; }
    qvui::WindowTimers& timers() const { return *timers_; }
    NoiseGridLayout gridLayout() const;
    // The last manual report written ("" when none).
    const std::string& lastReport() const { return lastReport_; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void buildControls();
    void relayout();
    void onTimer(int id);
    void beginPattern();
    void sendRowCommands();
    void startSampling();
    void onSettleStart();
    void onSettlePoll();
    void endSettle();
    void onSample();
    void patternDone();
    void processStep();
    void setProgress(int value);
    void setGrade(int grade);
    bool send(uint8_t b2, uint8_t b3, uint8_t b4, uint8_t reply[5]);
    bool settleCommand(uint8_t code, uint8_t reply[5]);
    void enterDiagnosticMode(int on);
    void sendMain(quint32 message, quint64 wParam, qint64 lParam);
    void postMain(quint32 message, quint64 wParam, qint64 lParam);

    Controller& c_;
    DiagState& s_;
    QPointer<QObject> main_;
    qvui::WindowTimers* timers_ = nullptr;
    CNoisePatternDlg* pattern_ = nullptr;

    bool bRunning_ = false;
    bool bFreqSettle_ = false;
    bool commandLine_ = false;  // a "-nl" run: saved and reported when it ends
    uint16_t wFreqValue_ = 0xFFFF;
    int nStable_ = 0;
    int nRounds_ = 0;
    int nRetries_ = kReadRetries;
    int nPatternIndex_ = 0;
    std::array<int, kNoisePatternCount> PatternResult_{};
    int progress_ = 0;
    int scale_ = 100;
    NoiseSampler sampler_;
    NoiseGradeResult result_;
    std::string processReport_;
    std::string lastReport_;
};

}  // namespace vcx
