// The cost of one command exchange through the real linux backend.
//
//  SendCmdHidraw  one SendCmd through the hidraw ioctls (HIDIOCSFEATURE, then
//                 HIDIOCGFEATURE) of a controller emulated under umockdev. The
//                 figure includes umockdev's own round trip for each ioctl: the
//                 preload library passes the call over a Unix socket to the
//                 test bed's thread, which answers from the simulated
//                 controller; a real node's ioctl goes to the kernel instead.
//  SendCmdSim     the same exchange on the sim backend, for comparison.
//
// Both report wall time per exchange ("Time") and the CPU time of the whole
// process ("CPU"): the emulation's thread is part of the cost.
//
// The emulated figure needs umockdev's preload library: started without it,
// the program starts itself again under umockdev-wrapper.
#include "QV_Standard.h"
#include "internal.h"
#include "testbed_support.h"
#include "platform/platform.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

qvsim::ControllerProfile CurrentController() {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};
    p.paraVersion = 152;
    return p;
}

int IgnoreFound(const char*, const char*, uint32_t) { return 1; }

const uint8_t kCommand[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};

void Exchange(benchmark::State& state, HANDLE h, qvsim::Controller& ctl, qvmock::Testbed* bed,
              const std::string& node) {
    uint8_t reply[5];
    for (auto _ : state) {
        const int ok = SendCmd(h, kCommand, reply);
        if (!ok) {
            state.SkipWithError("SendCmd failed");
            break;
        }
        benchmark::DoNotOptimize(reply);
        // Keep the traces from growing without bound.
        if ((state.iterations() & 0xFFF) == 0) {
            ctl.clearTrace();
            if (bed) bed->clearCalls(node);
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void SendCmdHidraw(benchmark::State& state) {
    qvmock::Testbed bed;
    if (const std::string why = bed.unavailable(); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    auto ctl = std::make_shared<qvsim::Controller>(CurrentController());
    qvmock::Interface itf;
    itf.usb.serial = "BENCH0001";
    itf.controller = ctl;
    const std::string node = bed.add(itf);

    qvlib::LibraryDetach();
    qvp::setBackend(qvp::makeLinuxBackend());
    qvp::setClock(qvp::makeVirtualClock(std::make_shared<qvsim::VirtualClock>()));
    qvlib::LibraryAttach(false);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (EnumerateHidDevicesA(IgnoreFound) != 1 || OpenDeviceA(node.c_str(), &h) != 1) {
        state.SkipWithError("the emulated controller was not found");
    } else {
        Exchange(state, h, *ctl, &bed, node);
    }
    qvlib::LibraryDetach();
    qvp::useSim(std::make_shared<qvsim::Bench>());
}
BENCHMARK(SendCmdHidraw)->UseRealTime()->MeasureProcessCPUTime();

void SendCmdSim(benchmark::State& state) {
    auto bench = std::make_shared<qvsim::Bench>();
    auto ctl = std::make_shared<qvsim::Controller>(CurrentController());
    qvsim::HidInfo info;
    info.path = "/sim/hidraw0";
    info.parentInstanceId = "USB\\VID_2E7B&PID_3501\\BENCH0001";
    info.productId = 0x3501;
    info.inputReportLength = 6;
    info.reportId = 1;
    bench->addHid(ctl, info);
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (EnumerateHidDevicesA(IgnoreFound) != 1 || OpenDeviceA(info.path.c_str(), &h) != 1)
        state.SkipWithError("the simulated controller was not found");
    else
        Exchange(state, h, *ctl, nullptr, info.path);
    qvlib::LibraryDetach();
}
BENCHMARK(SendCmdSim)->UseRealTime()->MeasureProcessCPUTime();

// Starts the program again under umockdev-wrapper unless its preload library is loaded.
void RunUnderUmockdev(char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if ((preload && std::strstr(preload, "libumockdev-preload")) || std::getenv("QV_BENCH_REEXEC")) return;
    setenv("QV_BENCH_REEXEC", "1", 1);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return;
    self[n] = 0;
    std::vector<char*> args = {const_cast<char*>(QV_UMOCKDEV_WRAPPER), self};
    for (char** a = argv + 1; *a; ++a) args.push_back(*a);
    args.push_back(nullptr);
    execv(QV_UMOCKDEV_WRAPPER, args.data());
    std::fprintf(stderr, "bench_hidraw: cannot start %s: %s; the emulated figure is skipped\n",
                 QV_UMOCKDEV_WRAPPER, std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    RunUnderUmockdev(argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
