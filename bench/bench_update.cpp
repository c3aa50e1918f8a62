// Field Update benchmark: a whole update of the update profile's controller
// through the page's own state machine, 1 ms per transfer, in both block modes.
//
// Image N = 32 KiB, block B = 256 (D2), latency L = 1 ms, D1 settle S (D2's
// status byte when non-zero, else the library's timing: 50 ms, 30 for series
// devices, 5 when E7 answered 00 55). The minimum:
//   data block, packets:        (4 + B/4) L + S   (D0 and D1 round trips, B/4 one-way packets)
//   data block, output reports: (4 + ceil(B/R)) L + S
//   erased block 4 L + S; skipped block 2 L;
//   every other command 2 L; the path's mandated sleeps (200 ms after scan
//   off, 1000 ms per boot-search try, 500 ms after resets, 100 ms per device
//   search, 100 ms after F2, the 50 ms flush) as the run's log counts them.
// The page's timer intervals (10 ms per step and block, 1000 ms per reconnect
// try) are the window's waits, reported apart (timer_ms).
// Counters: virtual_ms, minimum_ms, ratio (virtual / minimum), commands (the
// trace), exchange_ratio (commands / the commands the minimum counts: one D0
// and one D1 per block, B/4 packets per data block in packet mode, and the
// other commands of the path), wall time by the framework.
#include "QV_Standard.h"
#include "internal.h"
#include "linked_library_support.h"
#include "params/firmware_file.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "core/controller_api.h"
#include "core/device_finder.h"
#include "ui/window_timers.h"
#include "update/update_dlg.h"
#include "update_files_support.h"
#include "window_timers_support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>


namespace {

constexpr uint32_t kLatencyMs = 1, kImageBytes = 32 * 1024, kBlock = 256;

std::vector<std::u16string>& logLines() {
    static std::vector<std::u16string> l;
    return l;
}
int LogLine(const QVWCHAR* text) {
    logLines().emplace_back(reinterpret_cast<const char16_t*>(text));
    return 1;
}

void Bind(vcx::Controller& c) { vcxtest::BindEverySlot(c, &LogLine); }

int countLog(const char* what) {
    int n = 0;
    for (const auto& l : logLines())
        if (std::string(l.begin(), l.end()).find(what) != std::string::npos) ++n;
    return n;
}

void Update(benchmark::State& state, bool reports) {
    QTemporaryDir dir;
    const fwtest::Image im = updatetest::NewImage(kImageBytes);
    const QString path = dir.filePath(QStringLiteral("image.qvf"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        const auto bytes = fwtest::image(im);
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    double virtualMs = 0, minimumMs = 0, commands = 0, minimumCommands = 0, timerMs = 0;
    bool ok = true;
    for (auto _ : state) {
        qvlib::LibraryDetach();
        std::string error;
        auto bench = qvsim::loadProfile("update", &error);
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
        bench->setLatencyMs(kLatencyMs);
        auto& ctl = bench->hid("/sim/hidraw0")->controller();
        ctl.editProfile([&](qvsim::ControllerProfile& p) {
            p.boot->image = updatetest::NewIdentity();
            if (!reports) p.bootPacketSize.reset();
        });
        vcx::Controller c;
        Bind(c);
        if (!vcx::FindQVDevice(c, vcx::deviceFinder())) {
            state.SkipWithError("no controller");
            return;
        }
        GetFWVersionW(c.dev.device, &c.records.fwVersion);
        GetFWInformationW(c.dev.device, &c.records.fwInformation);
        const bool fast = ctl.profile().fastTiming;
        vcx::LoadedFirmware fw;
        fw.szFirmwarePath = path;
        logLines().clear();
        ctl.clearTrace();
        {
            vcx::CQVUpdateDlg page(c, fw, nullptr);
            page.InitDlgItem();
            const uint64_t t0 = bench->clock().nowMs();
            page.timers()->start(13, 10);
            qvui::WindowTimers* t = page.timers();
            for (int ticks = 0; ticks < 100000; ++ticks) {
                QCoreApplication::sendPostedEvents();
                int bestMs = 0;
                const int best = qvtest::SoonestTimer(*t, 31, &bestMs);
                if (best < 0) break;
                timerMs += bestMs;
                qvui::fireTimer(&page, best);
            }
            virtualMs += double(bench->clock().nowMs() - t0);
            ok = ok && page.resultSuccess();
        }
        // The minimum of this run's path.
        const auto trace = ctl.trace();
        const uint32_t blocks = (kImageBytes + kBlock - 1) / kBlock;
        const double S = fast ? 5 : 50, L = kLatencyMs;
        uint32_t blockCommands = 0;
        for (const auto& e : trace)
            if (e.packet[0] == 0xD0 || e.packet[0] == 0xD1 || e.packet[0] < 0x80) ++blockCommands;
        const double perBlock = reports ? (4 + (kBlock + 63) / 64) * L + S : (4 + kBlock / 4) * L + S;
        const uint32_t others = uint32_t(trace.size()) - blockCommands;
        const int searches = countLog("FindQVDevice()");
        const double sleeps = 200 + 1000 /* one boot-search try */ + 100.0 * searches;
        minimumMs += blocks * perBlock + others * 2 * L + sleeps;
        commands += double(trace.size());
        minimumCommands += double(blocks * 2 + (reports ? 0 : blocks * (kBlock / 4)) + others);
        qvlib::LibraryDetach();
    }
    if (!ok) state.SkipWithError("the update did not succeed");
    const double n = double(state.iterations());
    state.counters["virtual_ms"] = virtualMs / n;
    state.counters["minimum_ms"] = minimumMs / n;
    state.counters["ratio"] = virtualMs / minimumMs;
    state.counters["commands"] = commands / n;
    state.counters["exchange_ratio"] = commands / minimumCommands;
    state.counters["timer_ms"] = timerMs / n;
}

void UpdatePackets(benchmark::State& s) { Update(s, false); }
void UpdateOutputReports(benchmark::State& s) { Update(s, true); }
BENCHMARK(UpdatePackets)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(UpdateOutputReports)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
