#include "diag/scan_acquisition.h"

#include "core/controller_api.h"

#include <algorithm>

namespace vcx {

namespace {

constexpr uint8_t kModeFrameFlags = 0x12;  // capability byte 2 bits 1 and 4: frequency-mode frames

// Copies up to n values of a library array, zeroing what it lacks: a NULL
// array or a short count leaves zeros, never a read past the array.
void copyFrame(Frame& to, size_t n, const uint16_t* from, int32_t count) {
    to.assign(n, 0);
    if (!from || count <= 0) return;
    const size_t k = std::min(n, size_t(count));
    std::copy(from, from + k, to.begin());
}

} // namespace

bool ScanAcquisition::PanelReady() { return SendCmdReadE0(c_, 0xF7, 1) & 0x01; }

void ScanAcquisition::Begin(Kind kind) {
    kind_ = kind;
    frame_ = 0;
    restoreFailures_ = 0;
}

bool ScanAcquisition::diagnosticMode(int on) {
    return c_.api.EnterDiagnosticMode && c_.api.EnterDiagnosticMode(c_.dev.device, on);
}

void ScanAcquisition::patternOff() {
    if (!SendCmdF3OrFD(c_, kPatternNone)) restoreFailures_ |= kRestorePattern;
}

bool ScanAcquisition::modeFrames() const {
    return (c_.records.diagInfo.capability[2] & kModeFrameFlags) == kModeFrameFlags && s_.g_nFreqModeCount > 0;
}

int ScanAcquisition::modeCount() const { return std::min<int>(s_.g_nFreqModeCount, kMaxFreqModes); }

ScanAcquisition::Read ScanAcquisition::Next() {
    if (kind_ == Kind::ControlBoard) {
        if (frame_ == 0) {
            diagnosticMode(1);
            SendCmdF3OrFD(c_, kPatternControlBoard);
        }
        return {};
    }
    if (frame_ == 0) diagnosticMode(1);
    if (frame_ < kFrameFirstMode) return {};
    const int m = frame_ - kFrameFirstMode;
    if (modeFrames() && m < modeCount()) {
        if (m == 0) return {};
        return {false, DiagDataWorker::Request::DiagWithKind, uint8_t(m | 0x80)};
    }
    return {true};
}

ScanAcquisition::After ScanAcquisition::FrameArrived() {
    const NewRawArray& raw = c_.records.newRawArray;
    const DiagnosticInfo& info = c_.records.diagInfo;
    const size_t n = size_t(info.rows) * size_t(info.columns);
    if (kind_ == Kind::ControlBoard) {
        if (frame_ < 3) copyFrame(s_.ScanFrame[size_t(frame_)], n, raw.mutual, raw.mutualCount);
        ++frame_;
        if (frame_ >= 3) {
            patternOff();
            return {true, 10};
        }
        return {false, 10};
    }
    if (frame_ < kFrameFirstScan - 1) {
        if (frame_ >= kFrameFirstRaw)
            copyFrame(s_.RawFrame[size_t(frame_ - kFrameFirstRaw)], n, raw.mutual, raw.mutualCount);
        ++frame_;
        if (frame_ == kFrameFirstScan - 1) {
            copyFrame(s_.ExtraFrame, s_.ExtraFrame.size(), raw.extra, raw.extraCount);
            copyFrame(s_.LastColumn, s_.LastColumn.size(), raw.last, raw.lastCount);
            SendCmdF3OrFD(c_, kPatternOpenShort);
            // There is no frame 6: the pattern's first frame is frame 7.
            frame_ = kFrameFirstScan;
            return {false, 100};
        }
        return {false, 10};
    }
    if (frame_ < kFrameFirstMode) {
        copyFrame(s_.ScanFrame[size_t(frame_ - kFrameFirstScan)], n, raw.mutual, raw.mutualCount);
        ++frame_;
        if (frame_ == kFrameFirstMode) {
            patternOff();
            return {false, 10};
        }
        return {false, 100};
    }
    const int m = frame_ - kFrameFirstMode;
    if (modeFrames() && m < modeCount()) {
        copyFrame(s_.ModeFrame[size_t(m)], n, raw.mutual, raw.mutualCount);
        ++frame_;
        return {frame_ == kFrameFirstMode + kMaxFreqModes, 10};
    }
    return {false, 10};
}

void ScanAcquisition::Finish() {
    if (!diagnosticMode(0)) restoreFailures_ |= kRestoreDiagnosticMode;
}

void ScanAcquisition::Cancel() {
    patternOff();
    Finish();
}

}  // namespace vcx
