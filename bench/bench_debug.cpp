// Debug page benchmarks.
//
//  DebugMemoryDump  virtual ms of the register dump of the full controller
//                   (3 configuration words, SFR 0x20 bytes, data RAM 0x40
//                   bytes) at L = 1 ms per transfer, against the minimum
//                     2 L (3 + c + (s + r) / 4):
//                   one exchange of two transfers per command: the three size
//                   queries, c configuration words, and one 4-byte read per
//                   four SFR (s) and data-RAM (r) bytes.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "bench_support.h"

#include "core/controller_api.h"
#include "pages/device_log.h"
#include "text/text_file.h"

#include "linked_library_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void DebugMemoryDump(benchmark::State& state) {
    auto bench = qvbench::AttachSimProfile(state, "full");
    if (!bench) return;
    vcx::Controller c;
    vcxtest::BindLinkedLibrary(c, {"SendCmd"});
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!qvbench::OpenFirstController(state, &h, "the full controller")) return;
    c.dev.device = h;
    const qvsim::ControllerProfile& p = bench->hid("/sim/hidraw0")->controller().profile();
    const double words = p.configWords, sfr = p.sfrSize, ram = p.dataRamSize;
    const double latency = 1;
    const double minimum = 2 * latency * (3 + words + (sfr + ram) / 4);
    bench->setLatencyMs(uint32_t(latency));

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("dump.log"));
    int ticks = 0;
    vcx::DeviceLog log(c, [&ticks](int, qint64) { ++ticks; });
    double virtualMs = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        qvtext::TextWriter w(path.constData(), qvtext::TextWriter::Mode::Create);
        const uint64_t v0 = bench->clock().nowMs();
        log.WriteLogICRegisters(w);
        virtualMs += double(bench->clock().nowMs() - v0);
        ++runs;
        if (!w.close()) {
            state.SkipWithError("the dump was not written");
            break;
        }
    }
    CloseDevice(h);
    qvlib::LibraryDetach();
    qvbench::ReportAgainstMinimum(state, virtualMs, runs, minimum);
}
BENCHMARK(DebugMemoryDump)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
