// The panel scan checks: pure functions over frames, the panel geometry, the
// column flags and thresholds, each giving pass or fail and every failing
// position as a report for the active scan view; and the check run of a scan
// view's run state over the read-out, which asks the device what the checks
// need through ScanCheckAnswers (the device probes of diag/device_probes.h, or
// a test's own answers).
//
// Node (r, c) of a frame is frame[r * B + c]. Frames of raw counts are read as
// unsigned 16-bit values; frames that hold differences (the minus check's
// differences, the frequency-mode frames, the near-raw frame) as signed 16-bit
// values, before any subtraction. A check given frames or masks smaller than
// the geometry fails without reading them.
#pragma once

#include "diag/diag_state.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vcx {

struct Controller;

// A failing position as the scan view takes it (WM_BUILD_PROGRESS wParam, lParam).
struct ScanReport {
    uint8_t wParam = 0, lParam = 0;
    friend bool operator==(const ScanReport&, const ScanReport&) = default;
};
constexpr uint8_t kReportDriverLine = 255;  // (255, column)
constexpr uint8_t kReportSensorLine = 254;  // (254, row)
constexpr uint8_t kReportSameData = 253;    // (253, 0)

struct CheckResult {
    bool pass = true;
    std::vector<ScanReport> reports;
};

struct ScanGrid {
    int rows = 0;     // A
    int columns = 0;  // B
    size_t nodes() const { return rows > 0 && columns > 0 ? size_t(rows) * size_t(columns) : 0; }
};

using FrameSet = std::array<Frame, 3>;

// Fails (one report (253, 0)) when the three frames are equal at every node.
CheckResult CheckSameData(ScanGrid g, const FrameSet& frames);
// |a - b| > threshold between frames 0 and 1 and between 1 and 2 fails the node.
CheckResult CheckDebounce(ScanGrid g, const FrameSet& frames, Frame& mask, uint32_t threshold);
// |F[r][c+2] - F[r][c]| > threshold fails node (r, c), c = 0..B-3, in each difference frame.
CheckResult CheckNodeData(ScanGrid g, const FrameSet& diffFrames, Frame& mask, uint32_t threshold);
// diff k := |base - frame k| at every node; above the threshold the node fails.
CheckResult CheckMinusData(ScanGrid g, const FrameSet& frames, const Frame& base, FrameSet& diffFrames, Frame& mask,
                           uint32_t threshold);
// A column pair fails when more than A/3 rows differ by more than the threshold
// (twice the threshold at a drive-IC boundary column).
CheckResult CheckDriverAbnormal(ScanGrid g, const FrameSet& frames, const std::vector<uint8_t>& columnFlags,
                                Frame& mask, uint32_t threshold);
struct SensorRowRules {
    std::optional<int> skipRow;  // the pair (r, r+1) that crosses into the slave's lines
    bool row0Limit100 = false;   // the one panel whose first row pair is judged against 100
};
// A row pair fails when more than A/3 columns differ by more than the limit.
CheckResult CheckSensorAbnormal(ScanGrid g, const FrameSet& frames, Frame& mask, uint32_t threshold,
                                const SensorRowRules& rules);
// 2030, or n x 2030 when register 0x17 gave n > 1.
uint32_t AbsoluteLimit(std::optional<uint8_t> register17);
// Without range mode a node above `limit` fails; in range mode one outside threshold..4096.
CheckResult CheckAbsolute(ScanGrid g, const FrameSet& frames, Frame& mask, bool rangeMode, uint32_t threshold,
                          uint32_t limit);
// Neighbours across rows and across columns whose difference is too large a
// part of the larger value; marks bits 0 and 1 of the fail map.
CheckResult CheckNearRawData(ScanGrid g, const Frame& frame, std::vector<uint8_t>& failMap,
                             const std::vector<uint8_t>& columnFlags, std::optional<int> skipRow);

struct BaseFlatParams {
    uint8_t fingerThreshold = 0;  // finger record byte 84
    uint8_t panelByte75 = 0;      // panel record byte 75
    bool k6150 = false;           // the panel size text names a k6150 panel
};
struct BaseFlatStats {
    std::array<int32_t, kMaxFreqModes> max{};
    std::array<int32_t, kMaxFreqModes> count{};
    uint16_t maxLimit = 0;
};
struct BaseFlatResult : CheckResult {
    uint8_t failedModes = 0;  // bit k: mode k failed
};
// Each of the first min(modeCount, 3) mode frames: the step between column
// neighbours inside the border, summed where it reaches the threshold T; the
// mode fails when its largest step is above T x 4/3 or the sum holds T 23 times
// or more. A threshold of 0 fails the mode. Nodes marked by a mode are reported.
BaseFlatResult CheckBaseFlat(ScanGrid g, const FrameSet& modeFrames, int modeCount, std::vector<uint8_t>& failMap,
                             const std::vector<uint8_t>& columnFlags, const BaseFlatParams& params,
                             BaseFlatStats& stats);

// What the check run asks the device, each only when a check needs it.
class ScanCheckAnswers {
public:
    virtual ~ScanCheckAnswers() = default;
    // The interface test of the control-board run passed.
    virtual bool InterfaceAnswers() = 0;
    // Register 0x17 (the absolute limit's factor); 0 when it is not answered.
    virtual uint8_t AbsoluteRegister() = 0;
    // The controller's panel-size text of a table index; empty when it has none.
    virtual QString PanelSizeText(int index) = 0;
};

// The base-flat parameters of c's read-out (finger and panel records) and the
// device's panel-size text.
BaseFlatParams BaseFlatParamsOf(const Controller& c, ScanCheckAnswers& device);

// The check run of a scan view's run state on s's frames (0..2 open/short, 3 and
// 5 control board, 4 and 6 diagnostic), thresholds from s, the layout and
// records of c's read-out (nothing is sent through c) and the device's answers.
// Each failing position goes to s.g_pActiveScanDlg as WM_BUILD_PROGRESS;
// s.g_wFailBits gets the failure bits; true when none is set.
bool RunScanChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device);
uint16_t RunOpenShortChecks(const Controller& c, DiagState& s, ScanCheckAnswers& device);
uint16_t RunDiagChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device);
uint16_t RunCBChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device);
// The golden sample in s belongs to the connected device.
bool CheckFirmwareVersion(const Controller& c, const DiagState& s);

}  // namespace vcx
