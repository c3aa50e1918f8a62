// Transport benchmarks.
//
//  SendCmdHid         CPU cost of one command exchange against a zero-latency
//                     simulated HID controller (time per iteration).
//  RegisterVirtual/*  virtual time of registering one controller with a 1 ms
//                     per-transfer latency, against the protocol's minimum:
//                     commands x one round trip (send + read = 2 transfers)
//                     plus the mandated settle times (none of the registration
//                     commands has one). Reported as counters.
#include "QV_Standard.h"
#include "internal.h"
#include "platform/sim.h"
#include "qvsim.h"

#include <benchmark/benchmark.h>

namespace {

qvsim::ControllerProfile CurrentController() {
    qvsim::ControllerProfile p;
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};  // item protocol present
    p.paraVersion = 152;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x1E};
    p.rows = 40;
    p.columns = 70;
    p.extraColumns = 2;
    return p;
}

struct Rig {
    std::shared_ptr<qvsim::Bench> bench = std::make_shared<qvsim::Bench>();
    std::shared_ptr<qvsim::Controller> ctl = std::make_shared<qvsim::Controller>(CurrentController());

    Rig() {
        qvlib::LibraryDetach();
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
    }
    ~Rig() { qvlib::LibraryDetach(); }

    qvlib::DevInfo scratch(const char* path, uint32_t type) {
        qvlib::DevInfo rec = qvlib::EmptyDevInfo();
        qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, path);
        qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "BENCH");
        rec.dwDeviceType = type;
        rec.byTiming = 50;
        return rec;
    }

    HANDLE hid() {
        bench->addHid(ctl, qvsim::HidInfo{"/sim/hidraw0"});
        qvlib::DevInfo rec = scratch("/sim/hidraw0", QV_DEVICE_HID);
        rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Hid);
        return rec.hDevice;
    }

    HANDLE serial() {
        bench->addSerial(ctl, qvsim::SerialInfo{"/sim/ttyS0", 115200});
        qvlib::DevInfo rec = scratch("/sim/ttyS0", QV_DEVICE_RS232);
        rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Serial);
        qvlib::Rs232PortSetup(rec, 115200);
        return rec.hDevice;
    }
};

void SendCmdHid(benchmark::State& state) {
    Rig rig;
    HANDLE h = rig.hid();
    const uint8_t identity[5] = {0xEE, 0x84, 0x17, 0x01, 0x00};
    qvlib::DevInfo rec = rig.scratch("/sim/hidraw0", QV_DEVICE_HID);
    rec.hDevice = h;
    char16_t name[20];
    qvlib::NameAndRegisterDeviceW(rec, identity, name);
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5];
    for (auto _ : state) {
        int ok = SendCmd(h, cmd, reply);
        benchmark::DoNotOptimize(ok);
        // Keep the trace from growing without bound over millions of exchanges.
        if ((state.iterations() & 0xFFF) == 0) rig.ctl->clearTrace();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SendCmdHid);

void Register(benchmark::State& state, bool serial) {
    double measured = 0, minimum = 0, commands = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Rig rig;
        rig.bench->setLatencyMs(1);
        HANDLE h = serial ? rig.serial() : rig.hid();
        qvlib::DevInfo rec = rig.scratch(serial ? "/sim/ttyS0" : "/sim/hidraw0", serial ? QV_DEVICE_RS232 : QV_DEVICE_HID);
        rec.hDevice = h;
        rig.ctl->clearTrace();
        const uint64_t t0 = rig.bench->clock().nowMs();
        state.ResumeTiming();
        const uint8_t identity[5] = {0xEE, 0x84, 0x17, 0x01, 0x00};
        char16_t name[20];
        qvlib::NameAndRegisterDeviceW(rec, identity, name);
        state.PauseTiming();
        measured = static_cast<double>(rig.bench->clock().nowMs() - t0);
        commands = static_cast<double>(rig.ctl->trace().size());
        minimum = commands * 2.0 * rig.bench->latencyMs();
        state.ResumeTiming();
    }
    state.counters["commands"] = commands;
    state.counters["virtual_ms"] = measured;
    state.counters["minimum_ms"] = minimum;
    state.counters["ratio"] = minimum > 0 ? measured / minimum : 0;
}
BENCHMARK_CAPTURE(Register, Hid, false)->Iterations(20);
BENCHMARK_CAPTURE(Register, Serial, true)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
