// The drawing window's touch hand-off, offscreen.
//
//  HandOff    a producer thread hands 100 000 points to the window through the
//             program's touch route (the callback's ring of 100) while the GUI
//             thread drains and draws them. Counters: points_per_s (points
//             drawn per second of the whole run), pushed_per_s, dropped (the
//             points the full ring refused; drawn + dropped = pushed).
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

void HandOffBench(benchmark::State& state) {
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
            for (int i = 0; i < kPoints; ++i)
                vcx::TouchNotifyCallback((i % 100 == 99 ? 0x20 : 0x10) | (i % 4), (i * 7) % 4096, (i * 13) % 4096);
            done = true;
        });
        while (!done) QCoreApplication::processEvents();
        producer.join();
        w->drain();
        seconds += double(clock.nsecsElapsed()) / 1e9;
        drawn += w->drawnRecords() - drawnBefore;
        dropped += w->droppedRecords() - droppedBefore;
    }
    state.counters["points_per_s"] = benchmark::Counter(double(drawn) / seconds);
    state.counters["pushed_per_s"] = benchmark::Counter(double(state.iterations()) * kPoints / seconds);
    state.counters["dropped"] = benchmark::Counter(double(dropped) / double(state.iterations()));
    vcx::CloseDrawWindow();
}
BENCHMARK(HandOffBench)->Name("HandOff")->Iterations(5)->Unit(benchmark::kMillisecond);

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
