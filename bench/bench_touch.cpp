// Touch notification benchmarks.
//
//  TouchReportLatency  real time from an input report queued on a simulated HID
//                      controller to the registered callback's call on the
//                      library's input thread (the whole path: the platform's
//                      input source wakes, the report is split, the slot looked
//                      up, the packet decoded). Counters p50_us and p99_us.
//  DecodePackets       the decoder alone over a stream of down/move/up packets:
//                      packets per second (items_per_second).
//  SplitReports        64-byte reports cut into their 12 packets and decoded.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "touch_decoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::condition_variable g_cv;
uint64_t g_calls = 0;
Clock::time_point g_lastCall;

int OnTouch(int, int, int, HANDLE) {
    const auto now = Clock::now();
    std::lock_guard l(g_mutex);
    ++g_calls;
    g_lastCall = now;
    g_cv.notify_all();
    return 1;
}

void TouchReportLatency(benchmark::State& state) {
    qvlib::LibraryDetach();
    auto bench = std::make_shared<qvsim::Bench>();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    qvsim::HidInfo info;
    info.path = "/sim/hidraw0";
    info.parentInstanceId = "USB\\VID_2E7B&PID_6020\\BENCH";
    auto& device = bench->addHid(std::make_shared<qvsim::Controller>(), info);
    qvlib::DevInfo rec = qvlib::EmptyDevInfo();
    qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, "/sim/hidraw0");
    qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "BENCH");
    rec.dwDeviceType = QV_DEVICE_HID;
    rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Hid);
    qvlib::RegisterDeviceSlot(rec);
    if (RegisterTouchNotifyEx(OnTouch) != 1) {
        state.SkipWithError("RegisterTouchNotifyEx failed");
        return;
    }
    std::vector<double> latencies;
    uint8_t status = 0x71;
    for (auto _ : state) {
        uint64_t before;
        {
            std::lock_guard l(g_mutex);
            before = g_calls;
        }
        const auto sent = Clock::now();
        device.queueTouch(status, 100, 200);
        status = status == 0x71 ? 0x41 : 0x71;  // down, then up: every report gives a call
        std::unique_lock l(g_mutex);
        g_cv.wait(l, [&] { return g_calls > before; });
        latencies.push_back(std::chrono::duration<double, std::micro>(g_lastCall - sent).count());
    }
    UnRegisterTouchNotify();
    qvlib::LibraryDetach();
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
}
BENCHMARK(TouchReportLatency)->Iterations(5000)->UseRealTime();

std::vector<std::array<uint8_t, 5>> Stream() {
    std::vector<std::array<uint8_t, 5>> packets;
    for (int i = 0; i < 1200; ++i) {
        const uint8_t id = uint8_t(i % 10);
        const uint16_t x = uint16_t(i * 7), y = uint16_t(i * 3);
        const uint8_t status = uint8_t((i / 10) % 4 == 3 ? 0x40 | id : 0x70 | id);  // three moves, then up
        packets.push_back({status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)});
    }
    return packets;
}

void DecodePackets(benchmark::State& state) {
    const auto packets = Stream();
    qvlib::touch::Decoder d;
    qvlib::touch::TouchCall call;
    int64_t calls = 0;
    for (auto _ : state) {
        for (const auto& p : packets) calls += d.decode(0, p.data(), &call);
        benchmark::DoNotOptimize(call);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(packets.size()));
    benchmark::DoNotOptimize(calls);
}
BENCHMARK(DecodePackets);

void SplitReports(benchmark::State& state) {
    const auto packets = Stream();
    std::vector<std::vector<uint8_t>> reports;
    for (size_t i = 0; i + 12 <= packets.size(); i += 12) {
        std::vector<uint8_t> r{1};
        for (size_t k = 0; k < 12; ++k) r.insert(r.end(), packets[i + k].begin(), packets[i + k].end());
        r.resize(64, 0);
        reports.push_back(std::move(r));
    }
    qvlib::touch::Decoder d;
    qvlib::touch::TouchCall call;
    for (auto _ : state) {
        for (const auto& r : reports)
            for (const auto& p : qvlib::touch::PacketsOfReport(r.data(), r.size(), false)) d.decode(0, p.data(), &call);
        benchmark::DoNotOptimize(call);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(reports.size() * 12));
}
BENCHMARK(SplitReports);

}  // namespace

BENCHMARK_MAIN();
