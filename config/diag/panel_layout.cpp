#include "diag/panel_layout.h"

#include "core/controller_api.h"

#include <algorithm>

namespace vcx {

namespace {

bool bit(uint8_t byte, int n) { return (byte >> n) & 1; }

// Firmware whose grid is drawn the other way round than its feature bits say:
// (model, information byte 12 or any, information byte 13 values).
struct OrientationQuirk {
    uint16_t model;
    int letter;  // -1: any
    std::vector<uint8_t> minors;
};
const OrientationQuirk kQuirks[] = {
    {1410, -1, {8}},
    {2103, -1, {2, 3}},
    {2203, 0, {1}},
};

bool hasQuirk(const PanelFlagInputs& in) {
    for (const OrientationQuirk& q : kQuirks)
        if (q.model == in.model && (q.letter < 0 || q.letter == in.productLetter) &&
            std::find(q.minors.begin(), q.minors.end(), in.minorVersion) != q.minors.end())
            return true;
    return false;
}

} // namespace

uint16_t PanelFlagsFor(const PanelFlagInputs& in) {
    const auto& f = in.features;
    uint16_t flags = 0;
    if (bit(f[0], 1)) flags |= kPanelHopping;
    if (bit(f[1], 0)) flags |= kPanelAbsoluteRange;
    const bool exchanged = bit(f[2], 4) || in.model / 100 == 15;
    if (exchanged) flags |= kPanelExchanged;
    if (in.exchange != (exchanged ? 1 : 0)) flags |= kPanelExchangeDiffers;

    // The orientation of the drawing: flips, then the turn of the orientation item.
    static constexpr uint8_t kTurn[4] = {0, 2, 3, 1};
    // An orientation item above 3 has no turn.
    const uint8_t turn = in.orientation < 4 ? kTurn[in.orientation] : 0;
    unsigned o = (unsigned(in.flipX) * 2 + in.flipY) ^ turn;
    const unsigned x = (flags & kPanelExchangeDiffers) ? 1 : 2;
    if (bit(f[5], 3) || hasQuirk(in)) o ^= x;
    if (bit(f[5], 2)) o ^= 3 - x;
    if (o & 2) flags |= kPanelMirror1;
    if (o & 1) flags |= kPanelMirror0;
    return flags;
}

PanelFlagInputs PanelFlagInputsOf(const Controller& c) {
    PanelFlagInputs in;
    in.features = c.dev.featureFlags;
    const FirmwareInformationW& info = c.records.fwInformation;
    in.model = info.productNumber;
    in.productLetter = info.productLetter;
    in.minorVersion = info.minorVersion;
    // The device's own settings: the values last read from (or written to) it.
    const ParameterCoordinate& k = c.records.coordinate;
    in.flipX = k.item8[0].stored;
    in.flipY = k.item8[1].stored;
    in.exchange = k.item8[2].stored;
    in.orientation = k.item8[3].stored;
    return in;
}

std::vector<uint8_t> BuildColumnFlagMap(int columns, const ParameterDriveIC& driveIC, uint8_t panelByte38) {
    const int b = std::max(columns, 0);
    std::vector<uint8_t> flags(size_t(b), 0);
    if (driveIC.valid && driveIC.lineCount >= 1 && driveIC.lineCount <= 254) {
        // The record holds 15 steps whatever count the device gives.
        const int n = std::min<int>(driveIC.lineCount, int(sizeof driveIC.lines));
        int p = -1 - int(panelByte38);
        for (int i = 0; i < n; ++i) {
            p += driveIC.lines[i];
            if (p >= b) break;
            if (p >= 0) flags[size_t(p)] = 1;
        }
    }
    for (int edge : {0, b - 2})
        if (edge >= 0 && edge < b && flags[size_t(edge)] == 0) flags[size_t(edge)] = 2;
    return flags;
}

bool UpdateBuildEnable(const std::array<uint8_t, 8>& features, bool engineerMode, uint16_t srVersion,
                       bool firmware1711) {
    bool allowed = bit(features[0], 0);
    if (!engineerMode && (srVersion >= 200 || (srVersion == 0 && !firmware1711))) allowed = false;
    return allowed;
}

bool AsksFrequencyModes(const std::array<uint8_t, 8>& f) { return bit(f[0], 1) && bit(f[1], 6); }
bool AsksReferenceVersion(const std::array<uint8_t, 8>& f) { return bit(f[0], 0); }

void ApplyPanelLayout(const Controller& c, const PanelProbes& probes, DiagState& s) {
    const ProgramRecords& r = c.records;
    const int a = r.diagInfo.rows, b = r.diagInfo.columns;

    if (r.fwVersion.slaveCount != 0)
        s.g_SlaveSplit = {r.panel.geometry[4], r.panel.geometry[5]};
    else
        s.g_SlaveSplit = {0, 0};

    s.g_PanelFlags = PanelFlagsFor(PanelFlagInputsOf(c));

    s.g_ColumnFlags = BuildColumnFlagMap(b, r.driveIC, r.panel.item[3].stored);
    s.g_FailMap.assign(size_t(a) * size_t(b), 0);

    const FrequencyModes modes = probes.frequencyModes.value_or(FrequencyModes{});
    s.g_nFreqModeCount = modes.count;
    s.g_nFreqPerMode = modes.perMode;
    s.g_nFreqModeExtra = modes.extra;

    s.BaseFlatMax.fill(0);
    s.BaseFlatCount.fill(0);
    s.BaseFlatFailModes = 0;

    if (probes.referenceVersion) s.g_wSRVersion = *probes.referenceVersion;
}

} // namespace vcx
