// What the benchmarks over one simulated controller share: the profile's
// controllers put under the linked library, the first controller found and
// opened, and the figure against the protocol's minimum.
#pragma once

#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

namespace qvbench {

// The controllers of `profile` under a freshly attached library; null (and the
// benchmark skipped with the reason) when the profile does not load.
inline std::shared_ptr<qvsim::Bench> AttachSimProfile(benchmark::State& state, const char* profile) {
    std::string error;
    auto bench = qvsim::loadProfile(profile, &error);
    if (!bench) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    return bench;
}

// /sim/hidraw0 found and opened into *h; false (and the benchmark skipped,
// saying `what` did not open) otherwise.
inline bool OpenFirstController(benchmark::State& state, HANDLE* h, const char* what) {
    if (EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }) != 1 ||
        !OpenDeviceA("/sim/hidraw0", h)) {
        state.SkipWithError((std::string(what) + " did not open").c_str());
        return false;
    }
    return true;
}

// The virtual ms of one run against the protocol's minimum, and their ratio.
inline void ReportAgainstMinimum(benchmark::State& state, double virtualMs, int64_t runs, double minimum) {
    const double perRun = virtualMs / double(std::max<int64_t>(runs, 1));
    state.counters["virtual_ms"] = perRun;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = perRun / minimum;
}

}  // namespace qvbench
