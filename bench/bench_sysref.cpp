// System reference build benchmark.
//
//  SystemReference/Hid  virtual ms of one BuildSystemReferenceA on the panel-check
//                       controller "diag" with feature byte 4 bit 0 (generation 0x1E, capability bits 1
//                       and 4, not in diagnostic mode at the start, version 1.02,
//                       a report written, a callback that never answers) at
//                       L = 1 ms per transfer, against the minimum
//                         390 + 500 p + 50 n
//                           + L (2 (21 + r + p + 5 n) + (1 + n) ceil(2 A (B + C + 1) / R)):
//                       the sleeps (nine progress reports of 10 ms, the baseline
//                       load 50, 500 before each of the p status polls, 50 per
//                       mode load, 250 in the save), one exchange of two transfers
//                       per command (21 fixed, r line-width reads, p polls, five
//                       per mode), and one transfer per bulk report of the
//                       baseline and each mode frame (R bytes each).
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

void NeverAnswers(int, int) {}

void SystemReferenceHid(benchmark::State& state) {
    auto bench = qvbench::AttachSimProfile(state, "diag");
    if (!bench) return;
    // The library's reference feature: byte 4 bit 0 (the controller is not found yet).
    std::string error;
    if (!qvsim::setControllerKey(bench->hid("/sim/hidraw0")->controller(), "featureFC", "1 0 0 0", &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!qvbench::OpenFirstController(state, &h, "the diag controller")) return;
    qvsim::Controller& ctl = bench->hid("/sim/hidraw0")->controller();
    const qvsim::ControllerProfile& p = ctl.profile();
    const double a = p.rows, b = p.columns, c = p.extraColumns, report = *p.reportLength;
    const double n = (*p.frequencyModes)[0], polls = p.buildPolls + 1.0;
    const double lines = p.groupInfo.at({0x0D, 0x01})[1];
    const double r = lines < 15 ? std::ceil(lines / 2) : 8;
    const double latency = 1;
    const double reports = std::ceil(2 * a * (b + c + 1) / report);
    const double minimum =
        390 + 500 * polls + 50 * n + latency * (2 * (21 + r + polls + 5 * n) + (1 + n) * reports);
    bench->setLatencyMs(uint32_t(latency));
    const std::string path = "bench_sysref_report.csv";

    double virtualMs = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        uint8_t result = 0;
        const uint64_t v0 = bench->clock().nowMs();
        const int ok = BuildSystemReferenceA(h, NeverAnswers, path.c_str(), &result);
        virtualMs += double(bench->clock().nowMs() - v0);
        ++runs;
        if (ok != 1 || result != 1) {
            state.SkipWithError("the build did not complete");
            break;
        }
    }
    std::remove(path.c_str());
    CloseDevice(h);
    qvlib::LibraryDetach();
    qvbench::ReportAgainstMinimum(state, virtualMs, runs, minimum);
}
BENCHMARK(SystemReferenceHid)->Name("SystemReference/Hid")->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
