// The frame sequence of a panel scan and the controller commands around it,
// without the view: which frame to read next, where each frame goes in the
// diagnostic state, and the commands due at its number (diagnostic mode on at
// the first read and off before the checks, the test patterns), so the scan
// view's timers only follow what this says.
//
// Open/short: frames 0..2 settle, 3..5 are the raw frames (the extra and last
// column arrays come with frame 5), then test pattern 1 and frames 7..9 (there
// is no frame 6), pattern off, then one frame per frequency mode (10..12; mode 0
// a raw read, the others a diagnostic read of kind 0x80 + m) where the panel
// has them. Control board: pattern 3 and frames 0..2, pattern off.
#pragma once

#include "diag/diag_state.h"
#include "diag/diag_worker.h"

#include <cstdint>

namespace vcx {

struct Controller;

constexpr uint8_t kPatternNone = 0, kPatternOpenShort = 1, kPatternControlBoard = 3;

class ScanAcquisition {
public:
    ScanAcquisition(Controller& c, DiagState& s) : c_(c), s_(s) {}

    enum class Kind { OpenShort, ControlBoard };

    // The ready poll: bit 0 of register 0xF7 (E0 00 F7).
    bool PanelReady();

    // A new run from frame 0.
    void Begin(Kind kind);
    Kind kind() const { return kind_; }
    int frame() const { return frame_; }

    // The acquisition timer fired: the read it asks for, or the checks when the
    // frames are complete. At frame 0 diagnostic mode goes on (and for the
    // control board, its pattern).
    struct Read {
        bool checks = false;  // no read: the frames are complete
        DiagDataWorker::Request request = DiagDataWorker::Request::Raw;
        uint8_t kind = 0;     // the data kind of a DiagWithKind read
    };
    Read Next();

    // A frame arrived in c.records.newRawArray: it is stored at its number and
    // the frame counter moves on; the commands due at the new number go out.
    // Then the acquisition timer runs again after `delayMs`, or the checks do.
    struct After {
        bool checks = false;
        int delayMs = 10;
    };
    After FrameArrived();

    // Before the checks: diagnostic mode off.
    void Finish();
    // Cancel, or a run that ends without its frames: no pattern, diagnostic mode off.
    void Cancel();

    // The commands that bring the controller back to normal scanning: each one
    // the controller refused or left unanswered since Begin, as bits.
    enum Restore : uint8_t { kRestorePattern = 0x01, kRestoreDiagnosticMode = 0x02 };
    uint8_t restoreFailures() const { return restoreFailures_; }

    // The frequency-mode frames the panel gives (capability bits and a mode count), and how many.
    bool modeFrames() const;
    int modeCount() const;

    static constexpr int kFrameFirstRaw = 3, kFrameFirstScan = 7, kFrameFirstMode = 10;

private:
    bool diagnosticMode(int on);
    void patternOff();

    Controller& c_;
    DiagState& s_;
    Kind kind_ = Kind::OpenShort;
    int frame_ = 0;
    uint8_t restoreFailures_ = 0;
};

}  // namespace vcx
