// Parameter sheet benchmarks on the full controller, 1 ms per transfer.
//
//  ReadAllParameters  virtual time of reading every group, the virtual-key CRC
//                     and the constant block, against the minimum T = 2 L N: N
//                     the exchanges the item protocol needs for this controller
//                     (counted here from the controller's items by the
//                     protocol's rules, not from the trace), two transfers each.
//  Apply              virtual time of WriteChangedParameters with four items
//                     changed in four groups, against T = 2 L N + L S + 50 ms D:
//                     N the exchanges (lock on and off, the changed items, the
//                     panel text's open and commit, the calibration activation,
//                     the flush), S the panel text's word packets (sent, no
//                     reply), D the delayed sends (item code 0x90: activation
//                     and flush, 50 ms each).
// Counters: virtual_ms, minimum_ms, ratio (virtual / minimum, expect 1.0),
// commands (the controller's trace) and exchange_ratio (commands / (N + S)).
#include "QV_Standard.h"
#include "internal.h"
#include "params/para_dlg.h"
#include "core/parameter_read.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kLatencyMs = 1;

struct Session {
    std::shared_ptr<qvsim::Bench> bench;
    vcx::Controller c;
    qvsim::Controller* ctl = nullptr;
};

bool Open(Session& s) {
    qvlib::LibraryDetach();
    std::string error;
    s.bench = qvsim::loadProfile("full", &error);
    if (!s.bench) return false;
    qvp::useSim(s.bench);
    qvlib::LibraryAttach(false);
    vcx::stampProgramRecords(s.c.records);
    SetupParameterFunctionPointer(&s.c.records.paraFuncTable);
    s.c.api.GetParameterConst = &::GetParameterConst;
    if (EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }) != 1) return false;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (OpenDeviceA("/sim/hidraw0", &h) != 1) return false;
    s.c.dev.device = h;
    s.ctl = &s.bench->hid("/sim/hidraw0")->controller();
    return true;
}

// The exchanges of a whole parameter read, by the item protocol's rules for
// each group (presence mask, items with their second-byte and maximum reads,
// the group's information reads), for a controller of version >= 1.52.
int ReadExchanges(const qvsim::ControllerProfile& p) {
    auto items = [&](uint8_t g, std::initializer_list<int> pairs = {}) {
        int n = 0;
        for (const auto& [at, item] : p.items)
            if (at.first == g) n += 1 + (std::find(pairs.begin(), pairs.end(), at.second) != pairs.end());
        for (const auto& [at, item] : p.wordItems)
            if (at.first == g) n += 2;
        return n;
    };
    int n = 6;                               // general: mask, version, information 1, 2, items 3, 4
    n += 1 + items(0x01) + 3;                // host interface: F6 01 01..03
    n += 1 + items(0x02) + 4 + 2 + 2 + 1 + 1 + 5;  // panel: geometry 02..05, 06, 07, 34, 35, 08, E3 size, text
    n += 1 + items(0x03) + 1;                // finger: F6 03 01
    n += 1 + items(0x04);                    // palm
    n += 1 + items(0x05);                    // base
    n += 1 + items(0x06, {0, 8}) + 2;        // water: pair items 0 and 8, F6 06 01, 02
    // Anti-noise: pair item 0; the wide item 11 is four word reads (1B, 2B, 3B, 4B);
    // the extension group's mask and items.
    n += 1 + items(0x07, {0}) - 2 + 4 + 1 + items(0x17);
    n += 1 + items(0x08) + 1;                // coordinate: F6 08 01
    n += 1 + items(0x09);                    // power saving
    n += 2 * (1 + items(0x0A) + 3);          // normal and abnormal scan: F6 g 01..03
    n += 1 + items(0x0C) - 1;                // misc: the short word item 4 has no maximum read
    n += 1 + items(0x0D) + 1 + 1;            // drive IC: line count, one line-pair read for two lines
    // (The debug group is not part of the parameter read.)
    n += 1 + items(0x0F) + 4;                // virtual buttons: F6 0F 01, 02, 04, 05
    n += 1 + items(0x8E) + 1;                // custom: F6 8E 01
    n += 1;                                  // VButtonGetCRC
    n += 80 / 4;                             // the constant block, four bytes a read
    return n;
}

void ReadAllParametersBench(benchmark::State& state) {
    Session s;
    if (!Open(s)) {
        state.SkipWithError("the full controller did not open");
        return;
    }
    s.bench->setLatencyMs(kLatencyMs);
    const int n = ReadExchanges(s.ctl->profile());
    double measured = 0, commands = 0;
    for (auto _ : state) {
        s.ctl->clearTrace();
        const uint64_t t0 = s.bench->clock().nowMs();
        if (!vcx::ReadAllParameters(s.c)) {
            state.SkipWithError("ReadAllParameters failed");
            break;
        }
        measured = double(s.bench->clock().nowMs() - t0);
        commands = double(s.ctl->trace().size());
    }
    const double minimum = 2.0 * kLatencyMs * n;
    state.counters["exchanges"] = n;
    state.counters["commands"] = commands;
    state.counters["exchange_ratio"] = commands / n;
    state.counters["virtual_ms"] = measured;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = measured / minimum;
    CloseDevice(s.c.dev.device);
    qvlib::LibraryDetach();
}
BENCHMARK(ReadAllParametersBench)->Name("ReadAllParameters")->Iterations(20);

void ApplyBench(benchmark::State& state) {
    Session s;
    if (!Open(s) || !vcx::ReadAllParameters(s.c)) {
        state.SkipWithError("the full controller did not open");
        return;
    }
    vcx::programState().engineerMode = true;  // no confirmation box
    s.bench->setLatencyMs(kLatencyMs);
    constexpr int kChanged = 4, kTextWords = 5;
    const int n = 2 + kChanged + 2 + 1 + 1, d = 2;
    double measured = 0, commands = 0;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        vcx::ProgramRecords& r = s.c.records;
        r.hostInterface.item3.value = flip ? 2 : 0;
        r.finger.item0[1].value = flip ? 5 : 10;
        r.palm.item5.value = flip ? 1 : 0;
        r.coordinate.word[1].value = flip ? 4000 : 4095;
        s.ctl->clearTrace();
        const uint64_t t0 = s.bench->clock().nowMs();
        if (vcx::WriteChangedParameters(s.c, nullptr) != vcx::kWriteFlushed) {
            state.SkipWithError("Apply failed");
            break;
        }
        measured = double(s.bench->clock().nowMs() - t0);
        commands = double(s.ctl->trace().size());
    }
    const double minimum = 2.0 * kLatencyMs * n + kLatencyMs * kTextWords + 50.0 * d;
    state.counters["exchanges"] = n + kTextWords;
    state.counters["commands"] = commands;
    state.counters["exchange_ratio"] = commands / (n + kTextWords);
    state.counters["virtual_ms"] = measured;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = measured / minimum;
    vcx::programState().engineerMode = false;
    CloseDevice(s.c.dev.device);
    qvlib::LibraryDetach();
}
BENCHMARK(ApplyBench)->Name("Apply")->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
