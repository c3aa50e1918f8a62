// Panel scan benchmarks.
//
//  ScanAcquisition/Hid  virtual ms of one open/short acquisition of the diag
//                       panel (16 x 28 (+2), 64-byte reports, two frequency
//                       modes) through a scan view stepped by WM_TIMER, from
//                       Start to the end of the checks' timer, at 1 ms per
//                       transfer, against the minimum
//                         (9 + M) x (50 + L x (6 + R)) + 8 x L,
//                       R = ceil(2 A (B + C + 1) / report length): 9 + M frames,
//                       each a scan or load with its 50 ms wait and three
//                       exchanges of two transfers, plus the enter, the two
//                       pattern commands and the leave (800 ms for diag).
//  WriteScanReport      bytes and real ms of the manual save's report of a
//                       40 x 70 (+2) panel with three frequency modes.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "bench_support.h"

#include "diag/device_probes.h"
#include "diag/scan_dlg.h"
#include "diag/scan_report.h"
#include "core/controller_api.h"
#include "core/device_readout.h"
#include "core/program_state.h"
#include "ui/window_timers.h"

#include "linked_library_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

// Ticks the view's running timer or waits for the frame in flight; false when
// the acquisition and its checks are over.
bool step(vcx::CVCXScanDlg& view) {
    if (view.requestInFlight()) {
        QDeadlineTimer deadline(30000);
        while (view.requestInFlight() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return true;
    }
    for (int id : {vcx::CVCXScanDlg::kTimerOpenShort, vcx::CVCXScanDlg::kTimerChecks})
        if (qvui::fireTimer(&view, id)) return true;
    return false;
}

void ScanAcquisitionHid(benchmark::State& state) {
    auto bench = qvbench::AttachSimProfile(state, "diag");
    if (!bench) return;
    vcx::Controller c;
    vcxtest::BindLinkedLibrary(c);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!qvbench::OpenFirstController(state, &h, "the diag panel")) return;
    c.dev.device = h;
    vcx::ReadDevice(c, vcx::programState(), false);
    // The parameter groups the layout and the checks read.
    const ParameterFunctionTable& t = c.records.paraFuncTable;
    vcx::ProgramRecords& rec = c.records;
    if (t.GetParameterGeneralInfo && t.GetParameterGeneralInfo(h, &rec.generalInfo)) {
        t.GetParameterPanel(h, rec.generalInfo.groupMask, &rec.panel);
        t.GetParameterFinger(h, rec.generalInfo.groupMask, &rec.finger);
        t.GetParameterCoordinate(h, rec.generalInfo.groupMask, &rec.coordinate);
        t.GetParameterDriveIC(h, rec.generalInfo.groupMask, &rec.driveIC);
    }
    vcx::DiagState s;
    BuildNewRawArray(h, &c.records.newRawArray);
    vcx::LoadPanelLayout(c, s);
    const DiagnosticInfo& info = c.records.diagInfo;
    const int a = info.rows, b = info.columns, extra = info.extraColumns, m = s.g_nFreqModeCount;
    const int reportLength = 64;
    const double latency = 1;
    const double r = double((2 * a * (b + extra + 1) + reportLength - 1) / reportLength);
    const double minimum = (9 + m) * (50 + latency * (6 + r)) + 8 * latency;

    auto view = std::make_unique<vcx::CVCXScanDlg>(c, s);
    s.g_pActiveScanDlg = view.get();
    view->ResetCounters();
    bench->setLatencyMs(uint32_t(latency));
    double virtualMs = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const uint64_t v0 = bench->clock().nowMs();
        view->OnBnClickedStart();
        while (step(*view)) {
        }
        virtualMs += double(bench->clock().nowMs() - v0);
        ++runs;
        if (!s.g_bScanPass) {
            state.SkipWithError("the diag panel failed its checks");
            break;
        }
    }
    view.reset();
    FreeNewRawArray(h, &c.records.newRawArray);
    CloseDevice(h);
    qvlib::LibraryDetach();
    qvbench::ReportAgainstMinimum(state, virtualMs, runs, minimum);
}
BENCHMARK(ScanAcquisitionHid)->Name("ScanAcquisition/Hid")->Iterations(5)->Unit(benchmark::kMillisecond);

void WriteScanReportBench(benchmark::State& state) {
    constexpr int kRows = 40, kColumns = 70, kExtra = 2;
    vcx::DiagState s;
    vcx::AllocDiagBuffers(s, kRows, kColumns, kRows * kExtra);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(2900, 3100);
    for (auto* set : {&s.RawFrame, &s.ScanFrame, &s.ModeFrame})
        for (vcx::Frame& f : *set)
            for (uint16_t& v : f) v = uint16_t(level(random));
    for (uint16_t& v : s.ExtraFrame) v = uint16_t(level(random));
    for (uint16_t& v : s.LastColumn) v = uint16_t(level(random));
    s.g_FailMap.assign(size_t(kRows * kColumns), 0);
    s.g_ColumnFlags.assign(size_t(kColumns), 0);
    s.g_nFreqModeCount = 3;
    vcx::ReportContext r;
    r.rows = kRows;
    r.columns = kColumns;
    r.extraColumns = kExtra;
    r.device.modelName = "QV2081A";
    r.device.firmwareVersion = "QV2081A.2.5.0";
    r.batch1 = "B1";
    r.batch2 = "B2";
    QTemporaryDir dir;
    const std::string folder = (dir.path() + "/").toStdString();
    double bytes = 0, ms = 0;
    int64_t n = 0;
    for (auto _ : state) {
        r.times.t0 = std::to_string(n);  // a new file each time
        const auto t0 = Clock::now();
        if (!vcx::WriteScanReport(folder, r, s)) {
            state.SkipWithError("the report was not written");
            break;
        }
        ms += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        bytes = double(QFileInfo(QString::fromStdString(vcx::BuildCsvName(folder, r, vcx::SaveSuffix(r)))).size());
        ++n;
    }
    state.counters["bytes"] = bytes;
    state.counters["ms"] = ms / double(std::max<int64_t>(n, 1));
}
BENCHMARK(WriteScanReportBench)->Name("WriteScanReport")->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);  // the scan view is a widget; the worker delivers through this thread's events
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
