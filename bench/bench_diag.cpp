// Diagnostic frame benchmark.
//
//  FrameBulkHid  virtual time to read one whole frame of a 40 x 70 sensor
//                through the HID bulk path with a 1 ms per-transfer latency,
//                against the minimum: the number of feature reports the frame
//                needs x the latency. Reported as counters (the arming command
//                FA 00 55 is part of the measured time, not of the minimum).
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim_backend.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>

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

void FrameBulkHid(benchmark::State& state) {
    double measured = 0, minimum = 0, reports = 0;
    for (auto _ : state) {
        state.PauseTiming();
        qvlib::LibraryDetach();
        auto bench = std::make_shared<qvsim::Bench>();
        auto ctl = std::make_shared<qvsim::Controller>(Sensor40x70());
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
        bench->addHid(ctl, qvsim::HidInfo{"/sim/hidraw0"});
        qvlib::DevInfo rec = qvlib::EmptyDevInfo();
        qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, "/sim/hidraw0");
        qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "BENCH");
        rec.dwDeviceType = QV_DEVICE_HID;
        rec.byTiming = 50;
        rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Hid);
        const uint8_t identity[5] = {0xEE, 0x84, 0x17, 0x01, 0x00};
        char16_t name[20];
        qvlib::NameAndRegisterDeviceW(rec, identity, name);
        const HANDLE h = rec.hDevice;
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

}  // namespace

BENCHMARK_MAIN();
