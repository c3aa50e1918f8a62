// The 3-D view's geometry.
//
//  Show3DSurface   us to build one frame's wire surface at 40 x 70: the
//                  difference of every node from the base frame, its colour
//                  band, its vertex and the labels of the nodes above the
//                  threshold (a tenth of them), as the view's frame timer does
//                  it every 10 ms before drawing. Reported per frame, against
//                  the 10 ms period.
#include "diag/show3d_geometry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

void Show3DSurface(benchmark::State& state) {
    constexpr int kRows = 40, kColumns = 70, kThreshold = 60;
    std::vector<uint16_t> base(kRows * kColumns), current(base.size());
    uint32_t seed = 1;
    for (size_t k = 0; k < base.size(); ++k) {
        seed = seed * 1103515245u + 12345u;
        base[k] = uint16_t(3000 + (seed >> 16) % 16);
        current[k] = uint16_t(base[k] + (k % 10 == 0 ? 80 : int((seed >> 8) % 11) - 5));
    }
    vcx::Surface surface;
    for (auto _ : state) {
        vcx::BuildSurface(current.data(), base.data(), kRows, kColumns, 0x0600, kThreshold, 0, surface);
        benchmark::DoNotOptimize(surface.vertices.data());
        benchmark::ClobberMemory();
    }
    state.counters["periodUs"] = 10000;
}
BENCHMARK(Show3DSurface)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
