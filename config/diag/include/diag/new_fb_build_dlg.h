// The newer system reference build (template 199): a full-screen overlay that
// starts the firmware's build, waits for it, checks the per-mode noise levels,
// a base-line frame (near-raw check) and one frame per frequency-hopping mode
// (base-flat check), and asks the firmware to save the base. Interference, a
// near-raw or a base-flat failure is put to the operator once ("Build anyway ?",
// buttons 450 "Yes" and 451 "No"); "Yes" saves the base and ends with code 0,
// the overridden code kept for the report's warning line.
//
// Every step runs on the GUI thread from numbered timers 12..20 (a tick kills
// its timer; a set result code finishes the build, else the step of the timer
// runs). At the end the overlay hides, scanning is restored once the base-line
// step was reached, and the view gets WM_BUILD_PROGRESS (code, 0).
//
// Use by the factory view:
//   CQVNewFBBuildDlg dlg(controller, diagState, probes);
//   dlg.setView(factoryView);   // receives WM_BUILD_PROGRESS (code, 0)
//   dlg.Prepare();              // on device connection (T, frame buffers)
//   dlg.Start();                // the build
//   dlg.Reset();                // the device went away
//   dlg.WriteReportBody(writer, resultText);  // after the build ended
#pragma once

#include "diag/diag_state.h"
#include "diag/new_fb_build.h"

#include "QV_Standard.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string_view>

class QPushButton;

namespace qvui {
class WindowTimers;
}
namespace qvtext {
class TextWriter;
}

namespace vcx {

struct Controller;
class ScanCheckAnswers;

class CQVNewFBBuildDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 199;
    static constexpr int kIdYes = 450, kIdNo = 451;

    // `device` answers the panel-size text the base-flat check needs; c, s and
    // device outlive the dialog.
    CQVNewFBBuildDlg(Controller& c, DiagState& s, ScanCheckAnswers& device, QWidget* parent = nullptr);
    ~CQVNewFBBuildDlg() override;

    // The window that receives WM_BUILD_PROGRESS (code, 0) when a build ends.
    void setView(QObject* view) { view_ = view; }

    // Device connected: idle, counters 0, T from the anti-noise group's item 1
    // (its stored value), the frame buffers made for the device's geometry.
    void Prepare();
    // Device gone: idle, the buffers freed and the overlay hidden; during a
    // build, code 4 (ends at the next tick, or at once while the question waits).
    void Reset();
    // Starts a build: counters, codes and checks cleared, the overlay shown,
    // timer 12 after 1000 ms. Ignored while a build runs.
    void Start();
    void OnBnClickedYes();
    void OnBnClickedNo();
    // Esc (key up) during a build: code 3 at the next tick.
    void Cancel();

    // The report body for the log and the process report: "Mode Invalid"
    // (version > 100), the flush base (> 101, scanning restored after it), and
    // the sections the checks reached, ending with "[Build Result]", the
    // result text and the warning line of an override.
    void WriteReportBody(qvtext::TextWriter& w, std::string_view resultText);

    int step() const { return step_; }
    int code() const { return code_; }
    int overriddenCode() const { return overridden_; }
    int checksDone() const { return checksDone_; }
    int waitPolls() const { return waitPolls_; }
    int e4Failures() const { return e4Failures_; }
    int threshold() const { return threshold_; }
    bool questionAsked() const { return asked_; }
    bool questionShown() const;
    bool running() const { return step_ != newfb::kIdle; }
    const std::array<uint8_t, newfb::kNoiseModes>& noiseLevels() const { return noise_; }
    const Frame& baseLine() const { return baseLine_; }
    // The overlay's text now (empty when the code shows none).
    QString overlayText() const;
    qvui::WindowTimers& timers() const { return *timers_; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void onTimer(int id);
    void runStep(int step);
    void stepStart();
    void stepWait();
    void stepNoise();
    void stepBaseLine();
    void stepNearRaw();
    void stepModeFrames();
    void stepBaseFlat();
    bool saveBase();
    void Finish();
    void setUpScanning(bool& ok);
    void restoreScanning();
    bool readFrame(uint8_t kind);
    bool buildArray();
    void freeArray();
    void showQuestion(bool show);
    int modeCount() const;

    Controller& c_;
    DiagState& s_;
    ScanCheckAnswers& device_;
    QPointer<QObject> view_;
    qvui::WindowTimers* timers_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* no_ = nullptr;

    int step_ = newfb::kIdle;
    int code_ = 0;
    int overridden_ = 0;
    bool asked_ = false;
    int e4Failures_ = 0;
    int waitPolls_ = 0;
    int checksDone_ = 0;
    int threshold_ = 0;
    std::array<uint8_t, newfb::kNoiseModes> noise_{};
    Frame baseLine_;
    NewRawArray array_{};
    NewDiagRequest request_{};
};

}  // namespace vcx
