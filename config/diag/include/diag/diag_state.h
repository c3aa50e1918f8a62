// The diagnostic state the panel checks, the scan views and the build
// procedures share: the frame store, the fail maps, the panel layout read from
// the device, the thresholds file and the golden sample. One program-wide
// instance (diagState()); tests make their own. The names are the ones the
// diagnostic pages use for them.
#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vcx {

struct Controller;

// One threshold set of the thresholds file.
struct ThresholdSet {
    uint32_t Minus = 100;
    uint32_t Node = 30;
    uint32_t Debounce = 100;
    uint32_t Driver = 100;
    uint32_t Sensor = 100;
    uint32_t Absolute = 100;
    friend bool operator==(const ThresholdSet&, const ThresholdSet&) = default;
};

// What the thresholds file "VCXMSet.ini" gives (LoadDiagnosticConfig); the
// defaults are what a missing file gives.
struct DiagConfig {
    ThresholdSet ScanTh;  // open/short test
    ThresholdSet DiagTh;  // diagnostic test
    ThresholdSet CBTh;    // control board test
    // Noise grades; OK and Poor carry their red limit in the hundreds (p + r x 100).
    uint32_t NoiseGreat = 100;
    uint32_t NoiseGood = 95;
    uint32_t NoiseOK = 85 + 1 * 100;
    uint32_t NoisePoor = 50 + 10 * 100;
    uint32_t AutoRetestCount = 0;
    uint32_t AutoSaveResult = 0;
    uint32_t AutoSaveBarcode = 0;
    uint32_t ParametersCRC = 1;
    uint32_t UseTabletPC = 0;  // "Use Tablet PC": the controller is the machine's touch input
    friend bool operator==(const DiagConfig&, const DiagConfig&) = default;
};

// The golden sample's values; its grid is DiagState::BaseFrame.
struct GoldenSample {
    std::string firmwareVersion;  // as the file has it
    uint16_t parametersCrc = 0;
    uint16_t averageCount = 0;
};

// The failure bits of a check run, with the string id of each text (2501 + bit number).
enum FailBit : uint16_t {
    kFailSameData = 0x001,
    kFailDebounce = 0x002,
    kFailDriver = 0x004,
    kFailSensor = 0x008,
    kFailNode = 0x010,
    kFailAbsolute = 0x020,
    kFailNearRaw = 0x040,
    kFailBaseFlat = 0x080,
    kFailMinusData = 0x100,
    kFailFirmwareVersion = 0x200,
    kFailInterface = 0x400,
};
constexpr int kFailBitCount = 11;
constexpr int kFailTextFirstId = 2501;

// At most three frequency modes are acquired and checked.
constexpr int kMaxFreqModes = 3;

using Frame = std::vector<uint16_t>;

struct DiagState : DiagConfig {
    int32_t g_nDiagView = -1;               // 1 scan, 2 noise, 3 3-D, 4 factory build, -1 none
    QPointer<QObject> g_pActiveScanDlg;     // receives the checks' WM_BUILD_PROGRESS reports

    // The frame store (AllocDiagBuffers), each A x B unless noted.
    std::array<Frame, 3> RawFrame;   // frames 3, 4, 5 of an open/short acquisition
    std::array<Frame, 3> ScanFrame;  // frames 7, 8, 9 (open/short) or 0..2 (control board)
    std::array<Frame, 3> DiffFrame;  // |BaseFrame - ScanFrame k|, written by the minus check
    Frame NodeFailMask;
    Frame ExtraFrame;                // the extra count
    Frame LastColumn;                // A
    Frame DriverFailMask;            // B
    Frame SensorFailMask;            // A
    std::array<Frame, kMaxFreqModes> ModeFrame;
    Frame BaseFrame;                 // the golden sample's grid; only FreeDiagBuffers frees it

    std::vector<uint8_t> g_FailMap;      // A x B: bit 0/1 near raw across rows/columns, bit 4+k base flat mode k
    std::vector<uint8_t> g_ColumnFlags;  // B: 0 ordinary, 1 drive-IC boundary, 2 edge column
    uint16_t g_PanelFlags = 0;

    uint8_t g_nFreqModeCount = 0;  // F5 00 04 reply byte 2
    uint8_t g_nFreqPerMode = 0;    // reply byte 3
    uint8_t g_nFreqModeExtra = 0;  // reply byte 4
    uint16_t g_wSRVersion = 0xFF00;  // no device refreshed yet
    uint32_t g_nFHMode = 0xFF00;

    std::array<int32_t, kMaxFreqModes> BaseFlatMax{};
    std::array<int32_t, kMaxFreqModes> BaseFlatCount{};
    uint16_t BaseFlatMaxLimit = 0;
    uint8_t BaseFlatFailModes = 0;  // set by the system reference build only
    std::array<int32_t, 2> g_SlaveSplit{};  // panel bytes 64, 65; [1] the slave's line count

    uint16_t g_wFailBits = 0;
    bool g_bScanPass = false;

    GoldenSample golden;
};

DiagState& diagState();

// Reallocates and zeroes the frame store for A rows, B columns and the extra
// count (BaseFrame stays); FreeDiagBuffers empties all of it, BaseFrame too.
void AllocDiagBuffers(DiagState& s, int rows, int columns, int extraCount);
void FreeDiagBuffers(DiagState& s);

}  // namespace vcx
