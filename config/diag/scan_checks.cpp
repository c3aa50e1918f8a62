#include "diag/scan_checks.h"

#include "diag/golden_sample_file.h"
#include "core/controller_api.h"
#include "ui/window_message.h"

#include <algorithm>
#include <cstdlib>

namespace vcx {

namespace {

int asUnsigned(uint16_t v) { return v; }
int asSigned(uint16_t v) { return int16_t(v); }

bool holds(const Frame& f, size_t n) { return f.size() >= n; }
bool holdsAll(const FrameSet& frames, size_t n) {
    return std::all_of(frames.begin(), frames.end(), [n](const Frame& f) { return holds(f, n); });
}

ScanReport node(int r, int c) { return {uint8_t(r), uint8_t(c)}; }

CheckResult refused() { return {false, {}}; }

uint8_t flagAt(const std::vector<uint8_t>& flags, int c) { return size_t(c) < flags.size() ? flags[size_t(c)] : 0; }

constexpr uint32_t kAbsoluteUnit = 2030;
constexpr uint32_t kRangeEnd = 4096;  // the last valid value in range mode
constexpr int kBaseFlatCountLimit = 23;

} // namespace

CheckResult CheckSameData(ScanGrid g, const FrameSet& f) {
    const size_t n = g.nodes();
    if (!holdsAll(f, n)) return refused();
    for (size_t i = 0; i < n; ++i)
        if (f[0][i] != f[1][i] || f[1][i] != f[2][i]) return {};
    return {false, {{kReportSameData, 0}}};
}

CheckResult CheckDebounce(ScanGrid g, const FrameSet& f, Frame& mask, uint32_t threshold) {
    const size_t n = g.nodes();
    if (!holdsAll(f, n) || !holds(mask, n)) return refused();
    CheckResult out;
    for (int pair = 0; pair < 2; ++pair)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                if (uint32_t(std::abs(asUnsigned(f[pair][i]) - asUnsigned(f[pair + 1][i]))) > threshold) {
                    mask[i] = 1;
                    out.pass = false;
                    out.reports.push_back(node(r, c));
                }
            }
    return out;
}

CheckResult CheckNodeData(ScanGrid g, const FrameSet& f, Frame& mask, uint32_t threshold) {
    const size_t n = g.nodes();
    if (!holdsAll(f, n) || !holds(mask, n)) return refused();
    CheckResult out;
    for (const Frame& frame : f)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c + 2 < g.columns; ++c) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                if (uint32_t(std::abs(asSigned(frame[i + 2]) - asSigned(frame[i]))) > threshold) {
                    mask[i] = 1;
                    out.pass = false;
                    out.reports.push_back(node(r, c));
                }
            }
    return out;
}

CheckResult CheckMinusData(ScanGrid g, const FrameSet& f, const Frame& base, FrameSet& diff, Frame& mask,
                           uint32_t threshold) {
    const size_t n = g.nodes();
    if (!holdsAll(f, n) || !holds(base, n) || !holdsAll(diff, n) || !holds(mask, n)) return refused();
    CheckResult out;
    for (size_t k = 0; k < f.size(); ++k)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                const int d = std::abs(asUnsigned(base[i]) - asUnsigned(f[k][i]));
                diff[k][i] = uint16_t(d);
                if (uint32_t(d) > threshold) {
                    mask[i] = 1;
                    out.pass = false;
                    out.reports.push_back(node(r, c));
                }
            }
    return out;
}

CheckResult CheckDriverAbnormal(ScanGrid g, const FrameSet& f, const std::vector<uint8_t>& columnFlags, Frame& mask,
                                uint32_t threshold) {
    if (!holdsAll(f, g.nodes()) || !holds(mask, size_t(std::max(g.columns, 0)))) return refused();
    CheckResult out;
    for (const Frame& frame : f)
        for (int c = 0; c + 1 < g.columns; ++c) {
            const uint64_t limit = flagAt(columnFlags, c) == 1 ? uint64_t(threshold) * 2 : threshold;
            int count = 0;
            for (int r = 0; r < g.rows; ++r) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                if (uint64_t(std::abs(asUnsigned(frame[i]) - asUnsigned(frame[i + 1]))) > limit) ++count;
            }
            if (count > g.rows / 3) {
                out.pass = false;
                out.reports.push_back({kReportDriverLine, uint8_t(c)});
                out.reports.push_back({kReportDriverLine, uint8_t(c + 1)});
                mask[size_t(c)] = mask[size_t(c) + 1] = 1;
            }
        }
    return out;
}

CheckResult CheckSensorAbnormal(ScanGrid g, const FrameSet& f, Frame& mask, uint32_t threshold,
                                const SensorRowRules& rules) {
    if (!holdsAll(f, g.nodes()) || !holds(mask, size_t(std::max(g.rows, 0)))) return refused();
    CheckResult out;
    for (const Frame& frame : f)
        for (int r = 0; r + 1 < g.rows; ++r) {
            if (rules.skipRow && *rules.skipRow == r) continue;
            const uint32_t limit = r == 0 && rules.row0Limit100 ? 100 : threshold;
            int count = 0;
            for (int c = 0; c < g.columns; ++c) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                if (uint32_t(std::abs(asUnsigned(frame[i]) - asUnsigned(frame[i + size_t(g.columns)]))) > limit)
                    ++count;
            }
            // A/3 here too: the rows, not the columns, set the count a pair may reach.
            if (count > g.rows / 3) {
                out.pass = false;
                out.reports.push_back({kReportSensorLine, uint8_t(r)});
                out.reports.push_back({kReportSensorLine, uint8_t(r + 1)});
                mask[size_t(r)] = mask[size_t(r) + 1] = 1;
            }
        }
    return out;
}

uint32_t AbsoluteLimit(std::optional<uint8_t> register17) {
    return register17 && *register17 > 1 ? *register17 * kAbsoluteUnit : kAbsoluteUnit;
}

CheckResult CheckAbsolute(ScanGrid g, const FrameSet& f, Frame& mask, bool rangeMode, uint32_t threshold,
                          uint32_t limit) {
    const size_t n = g.nodes();
    if (!holdsAll(f, n) || !holds(mask, n)) return refused();
    CheckResult out;
    for (const Frame& frame : f)
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c) {
                const size_t i = size_t(r) * size_t(g.columns) + size_t(c);
                const uint32_t v = frame[i];
                const bool fails = rangeMode ? (v < threshold || v > kRangeEnd) : v > limit;
                if (fails) {
                    mask[i] = 1;
                    out.pass = false;
                    out.reports.push_back(node(r, c));
                }
            }
    return out;
}

CheckResult CheckNearRawData(ScanGrid g, const Frame& f, std::vector<uint8_t>& failMap,
                             const std::vector<uint8_t>& columnFlags, std::optional<int> skipRow) {
    const size_t n = g.nodes();
    if (!holds(f, n) || failMap.size() < n) return refused();
    CheckResult out;
    const auto at = [&](int r, int c) { return size_t(r) * size_t(g.columns) + size_t(c); };
    for (int r = 0; r + 1 < g.rows; ++r) {
        if (skipRow && *skipRow == r) continue;
        const int s = (r == 0 || r == g.rows - 2) ? 1 : 2;
        for (int c = 0; c < g.columns; ++c) {
            const int a = asSigned(f[at(r, c)]), b = asSigned(f[at(r + 1, c)]);
            const int hi = std::max(a, b), lo = std::min(a, b);
            if ((hi >> s) < hi - lo) {
                failMap[at(r, c)] |= 1;
                out.pass = false;
                out.reports.push_back(node(r, c));
            }
        }
    }
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c + 1 < g.columns; ++c) {
            const int s = flagAt(columnFlags, c) != 0 ? 1 : 2;
            const int a = asSigned(f[at(r, c)]), b = asSigned(f[at(r, c + 1)]);
            const int hi = std::max(a, b), lo = std::min(a, b);
            if (hi - lo > (hi >> s)) {
                failMap[at(r, c)] |= 2;
                out.pass = false;
                out.reports.push_back(node(r, c));
            }
        }
    return out;
}

BaseFlatResult CheckBaseFlat(ScanGrid g, const FrameSet& modes, int modeCount, std::vector<uint8_t>& failMap,
                             const std::vector<uint8_t>& columnFlags, const BaseFlatParams& p, BaseFlatStats& stats) {
    BaseFlatResult out;
    const size_t n = g.nodes();
    // Only three mode frames exist, whatever count the device reports.
    const int count = std::clamp(modeCount, 0, kMaxFreqModes);
    if (failMap.size() < n || !std::all_of(modes.begin(), modes.begin() + count, [n](const Frame& f) {
            return holds(f, n);
        })) {
        out.pass = false;
        return out;
    }
    const auto at = [&](int r, int c) { return size_t(r) * size_t(g.columns) + size_t(c); };
    for (int k = 0; k < count; ++k) {
        int t = p.fingerThreshold;
        if ((p.panelByte75 & 3) == 1 || (p.panelByte75 & 12) == 4) t = t * 3 / 2;
        stats.maxLimit = uint16_t(t * 4 / 3);
        int32_t max = -1;
        int64_t sum = 0;
        const Frame& f = modes[size_t(k)];
        for (int r = 1; r + 1 < g.rows; ++r)
            for (int c = 1; c + 2 < g.columns; ++c) {
                int d = std::abs(asSigned(f[at(r, c)]) - asSigned(f[at(r, c + 1)]));
                if (flagAt(columnFlags, c) != 0)
                    d = 2 * d / 3;
                else if (p.k6150 && r == 1)
                    d /= 2;
                if (d >= t) {
                    sum += d;
                    failMap[at(r, c)] |= uint8_t(1u << (k + 4));
                }
                max = std::max(max, d);
            }
        stats.max[size_t(k)] = max;
        // No threshold, no count: such a mode fails instead of dividing by 0.
        const bool counted = t > 0;
        stats.count[size_t(k)] = counted ? int32_t(std::min<int64_t>(sum / t, INT32_MAX)) : 0;
        if (!counted || max > stats.maxLimit || stats.count[size_t(k)] >= kBaseFlatCountLimit)
            out.failedModes |= uint8_t(1u << k);
    }
    out.pass = out.failedModes == 0;
    if (g.rows >= 3)
        for (int r = 1; r + 1 < g.rows; ++r)
            for (int c = 1; c + 2 < g.columns; ++c)
                if (failMap[at(r, c)] > 15) out.reports.push_back(node(r, c));
    return out;
}

BaseFlatParams BaseFlatParamsOf(const Controller& c, ScanCheckAnswers& device) {
    BaseFlatParams p;
    p.fingerThreshold = c.records.finger.info[0];
    p.panelByte75 = c.records.panel.extra[3];
    p.k6150 = device.PanelSizeText(c.records.panel.item[0].stored).toLower().contains(QLatin1String("k6150"));
    return p;
}

// ---- the check run -------------------------------------------------------------------------

namespace {

constexpr uint8_t kModeFrames = 0x12;  // capability byte 2, bits 1 and 4: per-mode frames

struct Run {
    const Controller& c;
    DiagState& s;
    ScanCheckAnswers& device;
    ScanGrid g;
    uint16_t bits = 0;

    Run(const Controller& controller, DiagState& state, ScanCheckAnswers& answers)
        : c(controller), s(state), device(answers),
          g{controller.records.diagInfo.rows, controller.records.diagInfo.columns} {}

    // Sends the check's reports to the active scan view; true when it passed.
    bool report(const CheckResult& r, uint16_t bit) {
        if (QObject* view = s.g_pActiveScanDlg.data())
            for (const ScanReport& p : r.reports) qvui::sendMessage(view, qvui::WM_BUILD_PROGRESS, p.wParam, p.lParam);
        if (!r.pass) bits |= bit;
        return r.pass;
    }

    bool hasSlaves() const { return c.records.fwVersion.slaveCount != 0; }
    std::optional<int> slaveRow() const {
        if (!hasSlaves()) return std::nullopt;
        return g.rows - 1 - s.g_SlaveSplit[1];
    }
    bool modeFrames() const { return (c.records.diagInfo.capability[2] & kModeFrames) == kModeFrames; }

    bool row0Limit100() const {
        const FirmwareInformationW& info = c.records.fwInformation;
        return info.productNumber == 1310 && wideField(info.panelSize, 40) == QStringLiteral("K4719    10.4\"") &&
               info.icByte == 1;
    }

    BaseFlatParams baseFlatParams() const { return BaseFlatParamsOf(c, device); }

    void debounce(const ThresholdSet& th) {
        report(CheckDebounce(g, s.ScanFrame, s.NodeFailMask, th.Debounce), kFailDebounce);
    }
    void minus(const ThresholdSet& th) {
        report(CheckMinusData(g, s.ScanFrame, s.BaseFrame, s.DiffFrame, s.NodeFailMask, th.Minus), kFailMinusData);
    }
};

} // namespace

bool CheckFirmwareVersion(const Controller& c, const DiagState& s) {
    const QByteArray device = wideField(c.records.fwVersion.master, 50).toUtf8();
    return IsGoldenSampleForDevice(s.golden.firmwareVersion, s.golden.parametersCrc,
                                   std::string_view(device.constData(), size_t(device.size())), c.dev.parameterCrc);
}

uint16_t RunOpenShortChecks(const Controller& c, DiagState& s, ScanCheckAnswers& device) {
    Run run(c, s, device);
    const ThresholdSet& th = s.ScanTh;
    run.report(CheckSameData(run.g, s.ScanFrame), kFailSameData);
    run.debounce(th);
    run.report(CheckDriverAbnormal(run.g, s.ScanFrame, s.g_ColumnFlags, s.DriverFailMask, th.Driver), kFailDriver);
    run.report(CheckSensorAbnormal(run.g, s.ScanFrame, s.SensorFailMask, th.Sensor,
                                   {run.slaveRow(), run.row0Limit100()}),
               kFailSensor);
    const bool range = s.g_PanelFlags & 0x0004;
    const uint32_t limit = AbsoluteLimit(range ? std::nullopt : std::optional<uint8_t>(device.AbsoluteRegister()));
    run.report(CheckAbsolute(run.g, s.ScanFrame, s.NodeFailMask, range, th.Absolute, limit), kFailAbsolute);
    // With per-mode frames the slave's row is judged across like any other.
    const std::optional<int> nearSkip = run.modeFrames() ? std::nullopt : run.slaveRow();
    run.report(CheckNearRawData(run.g, s.RawFrame[0], s.g_FailMap, s.g_ColumnFlags, nearSkip), kFailNearRaw);
    if (run.modeFrames()) {
        BaseFlatStats stats{s.BaseFlatMax, s.BaseFlatCount, s.BaseFlatMaxLimit};
        const BaseFlatResult r = CheckBaseFlat(run.g, s.ModeFrame, s.g_nFreqModeCount, s.g_FailMap, s.g_ColumnFlags,
                                               run.baseFlatParams(), stats);
        s.BaseFlatMax = stats.max;
        s.BaseFlatCount = stats.count;
        s.BaseFlatMaxLimit = stats.maxLimit;
        run.report(r, kFailBaseFlat);
    }
    return run.bits;
}

uint16_t RunDiagChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device) {
    Run run(c, s, device);
    const ThresholdSet& th = s.DiagTh;
    if (runState == 4 && !CheckFirmwareVersion(c, s)) return kFailFirmwareVersion;
    run.debounce(th);
    if (runState == 4) run.minus(th);
    run.report(CheckNodeData(run.g, s.DiffFrame, s.NodeFailMask, th.Node), kFailNode);
    return run.bits;
}

uint16_t RunCBChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device) {
    Run run(c, s, device);
    const ThresholdSet& th = s.CBTh;
    if (runState == 3) {
        if (!CheckFirmwareVersion(c, s)) return kFailFirmwareVersion;
        if (!device.InterfaceAnswers()) return kFailInterface;
    }
    run.debounce(th);
    if (runState == 3) run.minus(th);
    return run.bits;
}

bool RunScanChecks(int runState, const Controller& c, DiagState& s, ScanCheckAnswers& device) {
    s.g_wFailBits = 0;
    switch (runState) {
        case 3:
        case 5: s.g_wFailBits = RunCBChecks(runState, c, s, device); break;
        case 4:
        case 6:
            s.g_wFailBits = RunDiagChecks(runState, c, s, device);
            if (s.g_wFailBits == 0) s.g_wFailBits = RunOpenShortChecks(c, s, device);
            break;
        case 0:
        case 1:
        case 2: s.g_wFailBits = RunOpenShortChecks(c, s, device); break;
        default: break;
    }
    s.g_bScanPass = s.g_wFailBits == 0;
    return s.g_bScanPass;
}

} // namespace vcx
