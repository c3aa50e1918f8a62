// N4 family benchmarks.
//
//  N4Exchange/Hid, N4Exchange/Uart  virtual time of one exchange (E0 00 F4 00 00
//                     with its reply) on an open N4 context, with a 1 ms
//                     per-transfer latency, against the protocol's minimum of
//                     one round trip: 2 transfers (send and read), no settle
//                     time. Reported as counters.
#include "bench_support.h"
#include "n4_internal.h"

namespace {

namespace n4 = qvlib::n4;

constexpr uint32_t kLatencyMs = 1;

void N4Exchange(benchmark::State& state, bool uart) {
    auto bench = std::make_shared<qvsim::Bench>();
    auto ctl = std::make_shared<qvsim::Controller>();
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    n4::ResetSettings();
    if (uart) {
        bench->addSerial(ctl, qvsim::SerialInfo{"/sim/ttyS0", n4::kDefaultBaudRate});
        n4::SetUartPath("/sim/ttyS0");
    } else {
        qvsim::HidInfo info{"/sim/hidraw0"};
        info.reportId = 1;
        bench->addHid(ctl, info);
    }
    qvlib::DevInfo ctx = n4::NewContext();
    if (n4::Open(ctx) != 1) {
        state.SkipWithError("the N4 controller did not open");
        return;
    }
    bench->setLatencyMs(kLatencyMs);
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5];
    const uint64_t start = bench->clock().nowMs();
    int failed = 0;
    for (auto _ : state) {
        failed += n4::Exchange(ctx, cmd, reply) != n4::kExchangeOk;
        if ((state.iterations() & 0xFFF) == 0) ctl->clearTrace();
    }
    const double virtualMs = double(bench->clock().nowMs() - start);
    bench->setLatencyMs(0);
    n4::Close(ctx);
    n4::ResetSettings();
    qvlib::LibraryDetach();
    if (failed) state.SkipWithError("an exchange failed");
    qvbench::ReportAgainstMinimum(state, virtualMs, state.iterations(), 2.0 * kLatencyMs);
}

BENCHMARK_CAPTURE(N4Exchange, Hid, false);
BENCHMARK_CAPTURE(N4Exchange, Uart, true);

}  // namespace

BENCHMARK_MAIN();
