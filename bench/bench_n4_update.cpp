// N4 update benchmark: a firmware-only update (QuorvaneN4_FirmwareUpdateExA,
// option 1) of a master-only, single-boot controller with a new boot loader,
// 1 ms per transfer, over HID and over the UART.
//
//  N4Update/Hid, N4Update/Uart  virtual time of one update against the
//                     protocol's minimum
//   T_min = N (10 + d) + 3300 ms + L (N (4 + P) + 32)
// with an image of n = 16 KiB in N = n / S blocks of S = 256 bytes (D2), the
// transfer size T = 8 (D3) so P = S / 4 packets [t][4 bytes] per block, d = 5 ms
// (the D1 settle for blocks up to 256 bytes) beside the 10 ms after D0, L = 1 ms;
// 3300 ms = 200 (stop scanning) + 1500 (wait for the boot loader) + 100 (after
// the blocks) + 1500 (wait for the application); per block the D0 and D1 round
// trips and P one-way packets; 32 transfers for the 16 fixed exchanges (ED, EE,
// F0, E0 00 F0, EE, ED, EB, E0 00 FF, ED, FF AA 55 AA 55, FF 55 AA 55 AA, ED,
// D9, D3, D2, EF). HID: 8644 ms. The UART adds 300 ms (the settle after
// F0 00 00 00 00) and one transfer per link start or stop (F0 / F1 00 00 00 01)
// the run sends, counted in the controller's trace.
// Counters: virtual_ms, minimum_ms, ratio (virtual / minimum), commands (the
// controller's trace per update).
#include "bench_support.h"
#include "n4_internal.h"

#include "firmware_writer_support.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

namespace n4 = qvlib::n4;

constexpr uint32_t kLatencyMs = 1;
constexpr uint32_t kImageBytes = 16 * 1024, kBlock = 256, kTransfer = 8;

// The controller's firmware, its program beginning with a copy of its header
// (by which the simulated chip names what it runs).
fwtest::Bytes ImageFile() {
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.data.resize(kImageBytes);
    for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 13 + 7);
    const fwtest::Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());
    return fwtest::image(im);
}

// A master-only, single-boot QV2081A 2.5 that scans, with a new boot loader
// (EB byte 1 = 9), blocks of kBlock and a transfer size of kTransfer.
std::shared_ptr<qvsim::Controller> Target(bool hid) {
    qvsim::ControllerProfile p;
    p.identityNumber = 2081;
    p.letter = 1;
    p.major = 2;
    p.minor = 5;
    p.customerBytes = {9, 0, 0, 0};
    p.stateF0 = {0, 0, 0, 0x01};
    p.boot = qvsim::BootFlash{};
    p.boot->reenumerateOnBoot = hid;
    p.d2Reply = {uint8_t(kBlock & 0xFF), uint8_t(kBlock >> 8), 0, 0};
    p.bootPacketSize = kTransfer;
    return std::make_shared<qvsim::Controller>(p);
}

double Minimum(size_t linkTransfers, bool uart) {
    const double N = double((kImageBytes + kBlock - 1) / kBlock);
    const double d = 5, P = double((kBlock + 3) / 4);
    double t = N * (10 + d) + 3300 + kLatencyMs * (N * (4 + P) + 32);
    if (uart) t += 300 + kLatencyMs * double(linkTransfers);
    return t;
}

void N4Update(benchmark::State& state, bool uart) {
    const std::string file = "/tmp/bench_n4_update_" + std::to_string(::getpid()) + ".qvf";
    {
        const fwtest::Bytes bytes = ImageFile();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    auto bench = std::make_shared<qvsim::Bench>();
    qvlib::LibraryDetach();
    qvp::useSim(bench);
    qvlib::LibraryAttach(false);
    n4::ResetSettings();
    QuorvaneN4_SetDebug(0);
    uint64_t virtualMs = 0;
    size_t commands = 0, linkTransfers = 0;
    int failed = 0;
    for (auto _ : state) {
        // A fresh controller for every update: the same path, the same work.
        auto ctl = Target(!uart);
        if (uart) {
            bench->addSerial(ctl, qvsim::SerialInfo{"/sim/ttyS0", n4::kDefaultBaudRate});
            if (QuorvaneN4_SetDevPathA("/sim/ttyS0") != 1) ++failed;
        } else {
            qvsim::HidInfo info{"/sim/hidraw0"};
            info.vendorId = 0x2E7B;
            info.productId = 0x6020;
            info.parentInstanceId = "USB\\VID_2E7B&PID_6020\\5&1&0&1";
            info.reportId = 1;
            bench->addHid(ctl, info);
        }
        bench->setLatencyMs(kLatencyMs);
        const uint64_t start = bench->clock().nowMs();
        failed += QuorvaneN4_FirmwareUpdateExA(file.c_str(), 1) != 1;
        virtualMs += bench->clock().nowMs() - start;
        bench->setLatencyMs(0);
        const auto trace = ctl->trace();
        commands = trace.size();
        linkTransfers = 0;
        for (const auto& t : trace)
            if ((t.packet == qvsim::Packet{0xF0, 0, 0, 0, 1}) || (t.packet == qvsim::Packet{0xF1, 0, 0, 0, 1}))
                ++linkTransfers;
    }
    n4::ResetSettings();
    qvlib::LibraryDetach();
    std::remove(file.c_str());
    if (failed) state.SkipWithError("an update failed");
    state.counters["commands"] = double(commands);
    qvbench::ReportAgainstMinimum(state, double(virtualMs), state.iterations(), Minimum(linkTransfers, uart));
    if (uart && state.iterations() > 0) {
        // A serial line answers every data packet: reading those echoes costs a
        // transfer each (N blocks of P packets), which the minimum above leaves out.
        const double N = double((kImageBytes + kBlock - 1) / kBlock), P = double((kBlock + 3) / 4);
        const double withEchoes = Minimum(linkTransfers, uart) + kLatencyMs * N * P;
        state.counters["minimum_with_echoes_ms"] = withEchoes;
        state.counters["ratio_with_echoes"] = double(virtualMs) / double(state.iterations()) / withEchoes;
    }
}

BENCHMARK_CAPTURE(N4Update, Hid, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(N4Update, Uart, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
