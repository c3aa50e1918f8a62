// Parameter page benchmark on the full controller with 32 panel-size and 8
// cover-lens entries, 1 ms per transfer.
//
//  PanelCombos  one sheet refresh of both panel pages (the newer panel page,
//               then the older one): the panel-size and cover-lens name reads
//               against the minimum T = 2 L (3 Np + Nc), three E3 01 reads per
//               panel-size entry and one E3 02 per cover lens, read once per
//               refresh. ratio = 1.0 when the pages share the read, 2.0 if both
//               asked the controller.
// Counters: virtual_ms, minimum_ms, ratio, name_commands (E3 01 / E3 02 in the trace).
#include "QV_Standard.h"
#include "internal.h"
#include "params/panel_dlg.h"
#include "core/parameter_read.h"
#include "platform/sim.h"
#include "qvsim.h"
#include "core/controller_api.h"
#include "core/program_state.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t kLatencyMs = 1;
constexpr int kPanelSizes = 32, kCoverLenses = 8;

void PanelCombosBench(benchmark::State& state) {
    qvlib::LibraryDetach();
    std::string error;
    std::shared_ptr<qvsim::Bench> bench = qvsim::loadProfile("full", &error);
    if (!bench) {
        state.SkipWithError("no full profile");
        return;
    }
    qvsim::Controller& ctl = bench->hid("/sim/hidraw0")->controller();
    qvsim::ControllerProfile& p = ctl.profile();
    p.panelSizes.resize(kPanelSizes);
    for (int i = 0; i < kPanelSizes; ++i) p.panelSizes[size_t(i)].name = {'P', 'N', 'L', uint8_t('A' + i % 26), 0, 0, 0, 0};
    p.coverLenses.resize(kCoverLenses);
    for (int i = 0; i < kCoverLenses; ++i) p.coverLenses[size_t(i)] = {uint8_t(0x10 + i), 0xFF, 'G', 0};
    p.items[{0x02, 0}].maximum = kPanelSizes - 1;
    p.items[{0x02, 1}].maximum = kCoverLenses - 1;
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    vcx::Controller c;
    vcx::stampProgramRecords(c.records);
    SetupParameterFunctionPointer(&c.records.paraFuncTable);
    c.api.GetParameterConst = &::GetParameterConst;
    c.api.GetPanelSizeInfoW = &::GetPanelSizeInfoW;
    c.api.GetCoverLensInfoW = &::GetCoverLensInfoW;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }) != 1 ||
        OpenDeviceA("/sim/hidraw0", &h) != 1) {
        state.SkipWithError("the full controller did not open");
        return;
    }
    c.dev.device = h;
    if (!vcx::ReadAllParameters(c)) {
        state.SkipWithError("ReadAllParameters failed");
        return;
    }
    vcx::CQVxF6PanelDlg newer(c, nullptr);
    vcx::CQVOldPanelDlg older(c, nullptr);
    bench->setLatencyMs(kLatencyMs);
    double measured = 0, commands = 0;
    for (auto _ : state) {
        vcx::InvalidatePanelNames();  // what the sheet's refresh does first
        ctl.clearTrace();
        const uint64_t t0 = bench->clock().nowMs();
        newer.LoadDlgItem();
        older.LoadDlgItem();
        measured = double(bench->clock().nowMs() - t0);
        commands = 0;
        for (const qvsim::TraceEntry& e : ctl.trace())
            if (e.packet[0] == 0xE3 && (e.packet[1] == 0x01 || e.packet[1] == 0x02)) ++commands;
    }
    const double minimum = 2.0 * kLatencyMs * (3 * kPanelSizes + kCoverLenses);
    state.counters["name_commands"] = commands;
    state.counters["virtual_ms"] = measured;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = measured / minimum;
    CloseDevice(c.dev.device);
    qvlib::LibraryDetach();
}
BENCHMARK(PanelCombosBench)->Name("PanelCombos")->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
