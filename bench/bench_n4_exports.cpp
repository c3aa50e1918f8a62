// The N4 family's parameter CRC, in virtual time with a 1 ms per-transfer
// latency L, against the protocol's minimum of 2 L per exchange (send + read):
//
//  N4GetParamCRC/own       the controller keeps its CRC: E0 00 FC, E0 00 FA (E = 2)
//  N4GetParamCRC/computed  from the lists: E0 00 FC, EE, ED, E0 00 F4, E0 00 FB and one
//                          read per list byte (E = 5 + 64 + 16 = 85, 170 ms)
//
// Over the serial port (.._uart) the link's F0 and F1 .. 01 at the open and the
// close add one transfer each. Reported as counters.
#include "QV_Standard.h"
#include "bench_support.h"
#include "n4_internal.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kLatencyMs = 1;
constexpr int kTouch = 64, kBoot = 16;

qvsim::ControllerProfile CrcController(bool own) {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x02, 0x00, 0x80, 0x00};  // the item protocol
    p.featureFC = {uint8_t(own ? 0x10 : 0x00), 0x00, 0x00, 0x00};
    p.paraVersion = 130;
    p.listDescriptor = std::array<uint8_t, 4>{0, 0, kBoot, kTouch};
    p.paramBanks[0x80] = std::vector<uint8_t>(kTouch, 0x21);
    p.paramBanks[0x90] = std::vector<uint8_t>(kBoot, 0x12);
    return p;
}

void N4GetParamCRC(benchmark::State& state, bool own, bool uart) {
    auto bench = std::make_shared<qvsim::Bench>();
    auto ctl = std::make_shared<qvsim::Controller>(CrcController(own));
    bench->setLatencyMs(kLatencyMs);
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    qvlib::n4::ResetSettings();
    if (uart) {
        bench->addSerial(ctl, qvsim::SerialInfo{"/sim/ttyS0", 38400});
        QuorvaneN4_SetDevPathA("/sim/ttyS0");
    } else {
        qvsim::HidInfo info{"/sim/hidraw0"};
        info.reportId = 1;  // its descriptor numbers its reports
        bench->addHid(ctl, info);
    }
    const uint64_t start = bench->clock().nowMs();
    for (auto _ : state) {
        const int crc = QuorvaneN4_GetParamCRC();
        if (crc < 0) {
            state.SkipWithError("GetParamCRC failed");
            break;
        }
        benchmark::DoNotOptimize(crc);
        ctl->clearTrace();
    }
    const double exchanges = own ? 2 : 5 + kTouch + kBoot;
    const double minimum = 2.0 * kLatencyMs * exchanges + (uart ? 2.0 * kLatencyMs : 0.0);
    qvbench::ReportAgainstMinimum(state, double(bench->clock().nowMs() - start), state.iterations(), minimum);
    qvlib::n4::ResetSettings();
    qvlib::LibraryDetach();
}

BENCHMARK_CAPTURE(N4GetParamCRC, own, true, false)->Iterations(20);
BENCHMARK_CAPTURE(N4GetParamCRC, computed, false, false)->Iterations(5);
BENCHMARK_CAPTURE(N4GetParamCRC, own_uart, true, true)->Iterations(20);
BENCHMARK_CAPTURE(N4GetParamCRC, computed_uart, false, true)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
