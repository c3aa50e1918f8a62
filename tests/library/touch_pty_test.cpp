// The serial touch reader and the plug-and-play test through a real
// pseudo-terminal: the termios backend on the host side, a simulated Ostra or
// Melk controller behind the qvsim pty server, which sends the identifier when
// the host switches the line to 1200 baud (a pty has no RTS line).
#include "library_support.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace qvtest;

namespace {

std::mutex g_mutex;
std::condition_variable g_cv;
std::vector<std::array<int, 3>> g_calls;

int OnTouch(int state, int x, int y) {
    std::lock_guard l(g_mutex);
    g_calls.push_back({state, x, y});
    g_cv.notify_all();
    return 1;
}

struct PtyCase {
    const char* name;
    qvsim::Series series;
    const char* identifier;  // nullptr: the series' own
    int result;
};

class TouchPty : public ::testing::TestWithParam<PtyCase> {
protected:
    std::shared_ptr<qvsim::Bench> bench = std::make_shared<qvsim::Bench>();
    qvsim::SerialDevice* device = nullptr;
    std::unique_ptr<qvsim::PtyServer> server;

    void SetUp() override {
        {
            std::lock_guard l(g_mutex);
            g_calls.clear();
        }
        qvsim::ControllerProfile p;
        p.series = GetParam().series;
        auto ctl = std::make_shared<qvsim::Controller>(p);
        device = &bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", 9600});
        if (GetParam().identifier) device->setPnpIdentifier(GetParam().identifier);
        server = std::make_unique<qvsim::PtyServer>(bench, *device);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        AttachOverLinuxBackend(bench->clockPtr());
    }
    void TearDown() override {
        UnRegisterTouchNotify();
        qvlib::LibraryDetach();
        if (server) server->stop();
        qvp::useSim(std::make_shared<qvsim::Bench>());
    }

    HANDLE registerPort() {
        qvlib::DevInfo rec = qvlib::EmptyDevInfo();
        qvlib::CopyNarrow(rec.szPath, qvlib::kPathChars, server->slavePath().c_str());
        qvlib::CopyNarrow(rec.szKey, qvlib::kKeyChars, "COM1");
        rec.dwDeviceType = QV_DEVICE_RS232;
        rec.byQVOstraMelk = uint8_t(GetParam().series);
        rec.dwBaudRate = 9600;
        rec.hDevice = qvp::backend().open(rec.szPath, qvp::DeviceKind::Serial);
        EXPECT_NE(rec.hDevice, INVALID_HANDLE_VALUE) << qvp::lastError().text;
        EXPECT_TRUE(qvlib::Rs232PortSetup(rec, 9600)) << qvp::lastError().text;
        qvlib::RegisterDeviceSlot(rec);
        return rec.hDevice;
    }
};

}  // namespace

TEST_P(TouchPty, PnpTestResultAndTouchesOverTermios) {
    const HANDLE h = registerPort();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_EQ(RegisterTouchNotify(OnTouch), 1);
    ASSERT_EQ(CreateComPortTouchNotify(), 1);
    int result = -1;
    ASSERT_EQ(RS232PNPTest(h, &result), 1);
    EXPECT_EQ(result, GetParam().result);

    // Back at the controller's speed, its touch packets reach the callback.
    {
        std::lock_guard g(bench->mutex());
        device->queueTouch(0x71, 389, 897);
    }
    std::unique_lock l(g_mutex);
    ASSERT_TRUE(g_cv.wait_for(l, std::chrono::seconds(5), [] { return !g_calls.empty(); }));
    const int state = GetParam().series == qvsim::Series::Melk ? 0x10 : 0x11;  // Melk packets carry no contact id
    EXPECT_EQ(g_calls[0], (std::array<int, 3>{state, 389, 897}));
}

INSTANTIATE_TEST_SUITE_P(Series, TouchPty,
                         ::testing::Values(PtyCase{"Ostra", qvsim::Series::Ostra, nullptr, 1},
                                           PtyCase{"Melk", qvsim::Series::Melk, nullptr, 1},
                                           PtyCase{"WrongMaker", qvsim::Series::Ostra, "(01XYZ6000)", 0},
                                           PtyCase{"GarbageFirst", qvsim::Series::Ostra, "~x(27QRV6000)", 1}),
                         [](const auto& info) { return std::string(info.param.name); });
