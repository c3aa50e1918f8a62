// Diagnostic frame benchmarks.
//
//  FrameBulkHid    virtual time to read one whole frame of a 40 x 70 sensor
//                  through the HID bulk path with a 1 ms per-transfer latency,
//                  against the minimum: the number of feature reports the frame
//                  needs x the latency. Reported as counters (the arming command
//                  FA 00 55 is part of the measured time, not of the minimum).
//  DiagWorker/Hid  virtual ms per frame through a scan view's data worker (one
//                  GetNewRawCount of a 40 x 70 (+2) sensor that polls its
//                  progress, 64-byte reports, 1 ms per transfer), against the
//                  minimum 50 + L x (2 x 3 + ceil(2 A (B + C + 1) / 64)): the
//                  first wait, the scan start, one progress poll and FA 00 55 of
//                  two transfers each, and the frame's reports. Also the real
//                  time per frame the worker and its gate add to the direct call.
//  ScanChecks      ns per node of the open/short checks with three frequency
//                  modes at 16 x 28, 40 x 70 and 100 x 180.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>

#include <chrono>

#ifdef QV_BENCH_PROGRAMS
#include "diag/diag_worker.h"
#include "diag/scan_checks.h"
#include "core/controller_api.h"
#include "ui/window_message.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#endif

namespace {

constexpr uint16_t kReportBytes = 64;

qvsim::ControllerProfile Sensor40x70() {
    qvsim::ControllerProfile p;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x1E};
    p.reportLength = kReportBytes;
    p.rows = 40;
    p.columns = 70;
    p.extraColumns = 0;
    p.sensor = qvsim::SensorProfile{};
    return p;
}

// A fresh library over `bench` with one HID controller of profile p, registered
// the way an enumeration registers it; its handle.
HANDLE RegisterOnFreshLibrary(const std::shared_ptr<qvsim::Bench>& bench, const qvsim::ControllerProfile& p) {
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    bench->addHid(std::make_shared<qvsim::Controller>(p), qvsim::HidInfo{"/sim/hidraw0"});
    qvlib::DevInfo rec = qvlib::EmptyDevInfo();
    qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, "/sim/hidraw0");
    qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "BENCH");
    rec.dwDeviceType = QV_DEVICE_HID;
    rec.byTiming = 50;
    rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Hid);
    const uint8_t identity[5] = {0xEE, 0x84, 0x17, 0x01, 0x00};
    char16_t name[20];
    qvlib::NameAndRegisterDeviceW(rec, identity, name);
    return rec.hDevice;
}

void FrameBulkHid(benchmark::State& state) {
    double measured = 0, minimum = 0, reports = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto bench = std::make_shared<qvsim::Bench>();
        const HANDLE h = RegisterOnFreshLibrary(bench, Sensor40x70());
        NewRawArray a{};
        if (!BuildNewRawArray(h, &a) || !StartNewDiagnosticScan(h, 0, 0)) {
            state.SkipWithError("the simulated controller was not set up");
            break;
        }
        bench->setLatencyMs(1);
        const uint64_t t0 = bench->clock().nowMs();
        state.ResumeTiming();
        const int ok = GetNewDiagnosticScanResult(h, &a);
        state.PauseTiming();
        if (!ok) {
            state.SkipWithError("frame read failed");
            break;
        }
        measured = static_cast<double>(bench->clock().nowMs() - t0);
        const double bytes = 2.0 * a.wholeCount;
        reports = static_cast<double>((static_cast<size_t>(bytes) + kReportBytes - 1) / kReportBytes);
        minimum = reports * bench->latencyMs();
        FreeNewRawArray(h, &a);
        qvlib::LibraryDetach();
        state.ResumeTiming();
    }
    state.counters["reports"] = reports;
    state.counters["virtual_ms"] = measured;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = minimum > 0 ? measured / minimum : 0;
}
BENCHMARK(FrameBulkHid)->Iterations(10);

#ifdef QV_BENCH_PROGRAMS

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// The scan view's side: counts the frames it is told of.
class CountingView : public QObject {
public:
    int frames = 0;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            frames += m->message() == qvui::WM_SCAN_DATA_READY;
            return true;
        }
        return QObject::event(e);
    }
};

void DiagWorkerHid(benchmark::State& state) {
    constexpr int kRows = 40, kColumns = 70, kExtra = 2;
    qvsim::ControllerProfile p = Sensor40x70();
    p.extraColumns = kExtra;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x1E};  // progress can be polled
    p.sensor->scanMs = 0;
    auto bench = std::make_shared<qvsim::Bench>();
    const HANDLE h = RegisterOnFreshLibrary(bench, p);

    vcx::Controller c;
    vcx::stampProgramRecords(c.records);
    c.api.GetNewRawCount = &::GetNewRawCount;
    c.dev.device = h;
    NewRawArray frame{};
    if (!BuildNewRawArray(c.dev.device, &frame)) {
        state.SkipWithError("the simulated controller was not set up");
        return;
    }
    bench->setLatencyMs(1);
    CountingView view;
    vcx::DiagDataWorker worker(c, &view, &frame, &c.records.newDiagRequest);
    double workerMs = 0, directMs = 0, workerUs = 0, directUs = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        const uint64_t v0 = bench->clock().nowMs();
        const auto t0 = Clock::now();
        const int before = view.frames;
        worker.request(vcx::DiagDataWorker::Request::Raw);
        QDeadlineTimer deadline(30000);
        while (view.frames == before && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        workerUs += MicrosSince(t0);
        workerMs += double(bench->clock().nowMs() - v0);

        state.PauseTiming();
        const uint64_t v1 = bench->clock().nowMs();
        const auto t1 = Clock::now();
        GetNewRawCount(c.dev.device, &frame, &c.records.newDiagRequest);
        directUs += MicrosSince(t1);
        directMs += double(bench->clock().nowMs() - v1);
        state.ResumeTiming();
        ++frames;
    }
    worker.stop();
    FreeNewRawArray(c.dev.device, &frame);
    qvlib::LibraryDetach();
    const double reports = double((2 * kRows * (kColumns + kExtra + 1) + 63) / 64);
    const double minimum = 50 + 1.0 * (2 * 3 + reports);
    const double n = double(std::max<int64_t>(frames, 1));
    state.counters["virtual_ms"] = workerMs / n;
    state.counters["direct_ms"] = directMs / n;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = workerMs / n / minimum;
    state.counters["gate_us"] = (workerUs - directUs) / n;
}
BENCHMARK(DiagWorkerHid)->Name("DiagWorker/Hid")->Iterations(50);

// The open/short checks of a clean panel of the given size with three modes.
void ScanChecks(benchmark::State& state) {
    const int rows = int(state.range(0)), columns = int(state.range(1));
    qvsim::ControllerProfile p;
    p.rows = uint8_t(rows);
    p.columns = uint8_t(columns);
    p.extraColumns = 0;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->offsetSpan = 16;
    p.sensor->noise = 5;
    p.sensor->patternLevel = {1000, 1500, 3000};
    const vcx::ScanGrid g{rows, columns};
    const auto mutual = [&](uint8_t kind, uint32_t scan, uint8_t pattern) {
        const auto whole = qvsim::SensorFrame(p, kind, scan, pattern);
        vcx::Frame f;
        for (int r = 0; r < rows; ++r)
            f.insert(f.end(), whole.begin() + r * (columns + 1), whole.begin() + r * (columns + 1) + columns);
        return f;
    };
    vcx::FrameSet scan = {mutual(1, 1, 1), mutual(1, 2, 1), mutual(1, 3, 1)};
    const vcx::FrameSet modes = {mutual(0x80, 3, 0), mutual(0x81, 3, 0), mutual(0x82, 3, 0)};
    const vcx::Frame raw = mutual(1, 4, 0);
    vcx::Frame nodeMask(g.nodes()), driverMask(size_t(columns), 0), sensorMask(size_t(rows), 0);
    std::vector<uint8_t> failMap(g.nodes()), columnFlags(size_t(columns), 0);
    columnFlags[0] = columnFlags[size_t(columns) - 2] = 2;
    const vcx::BaseFlatParams params{60, 0, false};
    bool pass = true;
    const auto t0 = Clock::now();
    for (auto _ : state) {
        std::fill(failMap.begin(), failMap.end(), 0);
        vcx::BaseFlatStats stats;
        pass &= vcx::CheckSameData(g, scan).pass;
        pass &= vcx::CheckDebounce(g, scan, nodeMask, 100).pass;
        pass &= vcx::CheckDriverAbnormal(g, scan, columnFlags, driverMask, 100).pass;
        pass &= vcx::CheckSensorAbnormal(g, scan, sensorMask, 100, {}).pass;
        pass &= vcx::CheckAbsolute(g, scan, nodeMask, false, 100, 2030).pass;
        pass &= vcx::CheckNearRawData(g, raw, failMap, columnFlags, std::nullopt).pass;
        pass &= vcx::CheckBaseFlat(g, modes, 3, failMap, columnFlags, params, stats).pass;
        benchmark::DoNotOptimize(pass);
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    if (!pass) state.SkipWithError("the clean panel failed a check");
    state.counters["ns_per_node"] = ns / double(state.iterations()) / double(g.nodes());
}
BENCHMARK(ScanChecks)->Args({16, 28})->Args({40, 70})->Args({100, 180});

#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef QV_BENCH_PROGRAMS
    QCoreApplication app(argc, argv);  // the worker's deliveries run on this thread's events
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
