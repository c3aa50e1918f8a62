// The drawing window's touch hand-off, offscreen.
//
//  HandOff    a producer thread hands 100 000 points to the window through the
//             program's touch route (the callback's ring of 100) while the GUI
//             thread drains and draws them; a point the full ring drops is
//             offered again, so every point is drawn and the figure is what the
//             hand-off carries. Counters: points_per_s (points drawn per second
//             of the whole run), refused (offers the full ring dropped).
//  Burst      the same 100 000 points offered once each, as the callback does:
//             drawn_per_run and dropped_per_run (drawn + dropped = offered).
//  DrainPaint one batch of 100 points (a stroke of contact 0 and its
//             neighbours) drained from the ring, drawn on the canvas and the
//             window repainted: the time per batch.
#include "diag/draw_window.h"
#include "shell/touch_routing.h"
#include "core/app_settings.h"

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

constexpr int kPoints = 100000;

void HandOff(benchmark::State& state, bool offerAgain) {
    vcx::InstallDrawWindowHooks();
    vcx::Controller c;
    vcx::CQVDrawWnd* w = vcx::OpenDrawWindow(c, nullptr);
    QCoreApplication::processEvents();
    uint64_t drawn = 0, dropped = 0;
    double seconds = 0;
    for (auto _ : state) {
        const uint64_t drawnBefore = w->drawnRecords(), droppedBefore = w->droppedRecords();
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> done{false};
        std::thread producer([&] {
            for (int i = 0; i < kPoints; ++i) {
                const uint64_t refusedBefore = w->droppedRecords();
                vcx::TouchNotifyCallback((i % 100 == 99 ? 0x20 : 0x10) | (i % 4), (i * 7) % 4096, (i * 13) % 4096);
                if (offerAgain && w->droppedRecords() != refusedBefore) {
                    --i;
                    std::this_thread::yield();
                }
            }
            done = true;
        });
        while (!done) QCoreApplication::processEvents();
        producer.join();
        w->drain();
        seconds += double(clock.nsecsElapsed()) / 1e9;
        drawn += w->drawnRecords() - drawnBefore;
        dropped += w->droppedRecords() - droppedBefore;
    }
    const double runs = double(state.iterations());
    if (offerAgain) {
        state.counters["points_per_s"] = benchmark::Counter(double(drawn) / seconds);
        state.counters["refused"] = benchmark::Counter(double(dropped) / runs);
    } else {
        state.counters["drawn_per_run"] = benchmark::Counter(double(drawn) / runs);
        state.counters["dropped_per_run"] = benchmark::Counter(double(dropped) / runs);
    }
    vcx::CloseDrawWindow();
}
BENCHMARK_CAPTURE(HandOff, offered_again, true)->Name("HandOff")->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HandOff, burst, false)->Name("Burst")->Iterations(5)->Unit(benchmark::kMillisecond);

void DrainPaintBench(benchmark::State& state) {
    vcx::InstallDrawWindowHooks();
    vcx::Controller c;
    vcx::CQVDrawWnd* w = vcx::OpenDrawWindow(c, nullptr);
    QCoreApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < vcx::kDrawRingSize; ++i, ++step)
            vcx::MapTouchToDrawWindow((step % 50 == 49 ? 0x20 : 0x10) | (step % 3), (step * 37) % 4096,
                                      (step * 53) % 4096);
        state.ResumeTiming();
        w->drain();
        w->repaint();
    }
    state.counters["points"] = benchmark::Counter(double(w->drawnRecords()));
    vcx::CloseDrawWindow();
}
BENCHMARK(DrainPaintBench)->Name("DrainPaint")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
