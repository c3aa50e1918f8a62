// Noise level view benchmarks: the work the view does on the GUI thread for
// one sample of a 40 x 70 panel with two sector columns and the self column,
// besides the frame read (the read is the library's, measured elsewhere).
//
//  NoiseSample/Pattern  a whole pattern of 100 samples of a noisy panel (noise
//                       5, so it never ends early): the sums, from sample 9 the
//                       deviations, from 19 the stability test, which gives up
//                       at the first node out of its band. Reported per sample.
//  NoiseSample/Worst    one late sample (n = 50) of a quiet panel: sums,
//                       deviations and a stability test that passes, so it
//                       visits all ten ring values of every node.
// Both in microseconds per sample, to compare with the 100 ms sampling timer.
#include "qvsim.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "diag/noise_scan.h"

namespace {

constexpr int kRows = 40, kColumns = 70, kExtra = 2;

struct Frames {
    std::vector<std::vector<uint16_t>> mutual, extra, last;
};

Frames MakeFrames(uint8_t noise, int count) {
    qvsim::ControllerProfile p;
    p.rows = kRows;
    p.columns = kColumns;
    p.extraColumns = kExtra;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->noise = noise;
    const size_t perRow = kColumns + kExtra + 1;
    Frames f;
    for (int scan = 1; scan <= count; ++scan) {
        const std::vector<uint16_t> whole = qvsim::SensorFrame(p, 1, uint32_t(scan), 0);
        std::vector<uint16_t> m, e, l;
        for (size_t r = 0; r < kRows; ++r) {
            const auto row = whole.begin() + long(r * perRow);
            m.insert(m.end(), row, row + kColumns);
            e.insert(e.end(), row + kColumns, row + kColumns + kExtra);
            l.push_back(row[kColumns + kExtra]);
        }
        f.mutual.push_back(std::move(m));
        f.extra.push_back(std::move(e));
        f.last.push_back(std::move(l));
    }
    return f;
}

vcx::NoiseCounts Counts(Frames& f) {
    NewRawArray frame{};
    frame.mutual = f.mutual[0].data();
    frame.extra = f.extra[0].data();
    frame.last = f.last[0].data();
    frame.mutualCount = kRows * kColumns;
    frame.extraCount = kRows * kExtra;
    frame.lastCount = kRows;
    return vcx::ClampNoiseCounts(kRows, kColumns, kExtra, frame);
}

void NoiseSamplePattern(benchmark::State& state) {
    Frames f = MakeFrames(5, vcx::kNoiseMaxSamples);
    vcx::NoiseSampler sampler;
    sampler.Reset(Counts(f));
    double seconds = 0;
    int64_t samples = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bool stable = false;
        for (int n = 0; n < vcx::kNoiseMaxSamples; ++n) {
            const size_t i = size_t(n);
            sampler.Add(n, f.mutual[i].data(), f.extra[i].data(), f.last[i].data());
            stable |= sampler.Stable(n);
        }
        benchmark::DoNotOptimize(stable);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        samples += vcx::kNoiseMaxSamples;
    }
    state.counters["us_per_sample"] = samples ? seconds * 1e6 / double(samples) : 0.0;
    state.counters["timer_ms"] = 100;
}
BENCHMARK(NoiseSamplePattern)->Name("NoiseSample/Pattern")->Unit(benchmark::kMillisecond);

void NoiseSampleWorst(benchmark::State& state) {
    Frames f = MakeFrames(0, 1);
    vcx::NoiseSampler sampler;
    sampler.Reset(Counts(f));
    for (int n = 0; n < 50; ++n) sampler.Add(n, f.mutual[0].data(), f.extra[0].data(), f.last[0].data());
    double seconds = 0;
    int64_t samples = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        sampler.Add(50, f.mutual[0].data(), f.extra[0].data(), f.last[0].data());
        const bool stable = sampler.Stable(50);
        benchmark::DoNotOptimize(stable);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++samples;
        if (!stable) state.SkipWithError("a quiet panel must be stable");
    }
    state.counters["us_per_sample"] = samples ? seconds * 1e6 / double(samples) : 0.0;
    state.counters["timer_ms"] = 100;
}
BENCHMARK(NoiseSampleWorst)->Name("NoiseSample/Worst")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
