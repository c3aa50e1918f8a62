// The serial-port requests both backends check alike: time-outs and event
// masks kept per handle, and the configurations no line can take. Each case
// runs on the sim backend's serial device and on the linux backend's
// pseudo-terminal, which must answer with the same kind and text.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim_backend.h"
#include "qvsim.h"

namespace qvp {
namespace {

// One serial port open on a backend.
struct OpenPort {
    std::string backendName;
    std::shared_ptr<Backend> backend;
    Handle handle = invalidHandle();
    std::string path;
};

class SerialState : public ::testing::Test {
protected:
    void SetUp() override {
        auto bench = std::make_shared<qvsim::Bench>();
        qvsim::SerialInfo info;
        info.path = "/sim/ttyS2";
        info.baud = 115200;
        bench->addSerial(std::make_shared<qvsim::Controller>(), info);
        add("sim", makeSimBackend(bench), info.path);

        char name[128];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0) << std::strerror(errno);
        add("linux", makeLinuxBackend(), name);
    }

    void TearDown() override {
        for (auto& p : ports_)
            if (p.handle != invalidHandle()) p.backend->close(p.handle);
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }

    void add(const std::string& name, std::shared_ptr<Backend> backend, const std::string& path) {
        OpenPort p{name, std::move(backend), invalidHandle(), path};
        p.handle = p.backend->open(path, DeviceKind::Serial);
        ASSERT_NE(p.handle, invalidHandle()) << name << ": " << lastError().text;
        ports_.push_back(std::move(p));
    }

    std::vector<OpenPort> ports_;
    int master_ = -1;
    int slave_ = -1;
};

TEST_F(SerialState, ConfigurationsNoLineTakesAreRefusedAlikeAndChangeNothing) {
    auto with = [](std::function<void(SerialConfig&)> change) {
        SerialConfig c;
        c.baud = 115200;
        change(c);
        return c;
    };
    struct Case {
        SerialConfig cfg;
        std::string text;  // after "serialSetConfig <path>: "
    };
    const Case cases[] = {
        {with([](SerialConfig& c) { c.baud = 0; }), "0 baud: no line runs at it"},
        {with([](SerialConfig& c) { c.dataBits = 4; }), "4 data bits"},
        {with([](SerialConfig& c) { c.dataBits = 9; }), "9 data bits"},
        {with([](SerialConfig& c) { c.parity = Parity(3); }), "unknown parity"},
        {with([](SerialConfig& c) { c.stopBits = StopBits(2); }), "unknown stop bits"},
        // The first fault found is the one said.
        {with([](SerialConfig& c) { c.baud = 0; c.dataBits = 9; }), "0 baud: no line runs at it"},
    };
    for (const auto& p : ports_) {
        SCOPED_TRACE(p.backendName);
        SerialConfig good;
        good.baud = 115200;
        ASSERT_TRUE(p.backend->serialSetConfig(p.handle, good)) << lastError().text;
        for (const auto& c : cases) {
            SCOPED_TRACE(c.text);
            clearLastError();
            EXPECT_FALSE(p.backend->serialSetConfig(p.handle, c.cfg));
            EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
            EXPECT_EQ(lastError().text, "serialSetConfig " + p.path + ": " + c.text);
        }
        SerialConfig back;
        back.baud = 0;
        ASSERT_TRUE(p.backend->serialGetConfig(p.handle, &back)) << lastError().text;
        EXPECT_EQ(back.baud, 115200u) << "a refused configuration leaves the port as it was";
        EXPECT_EQ(back.dataBits, 8);
    }
}

TEST_F(SerialState, TimeOutsAndEventMasksAreKeptPerHandle) {
    const SerialTimeouts set{.readInterval = 1, .readMultiplier = 2, .readConstant = 30, .writeMultiplier = 4,
                             .writeConstant = 10};
    for (const auto& p : ports_) {
        SCOPED_TRACE(p.backendName);
        SerialTimeouts fresh{.readInterval = 99};
        ASSERT_TRUE(p.backend->serialGetTimeouts(p.handle, &fresh)) << lastError().text;
        EXPECT_EQ(fresh.readInterval, 0u) << "a port opens without time-outs";
        EXPECT_EQ(fresh.readConstant, 0u);

        ASSERT_TRUE(p.backend->serialSetTimeouts(p.handle, set)) << lastError().text;
        SerialTimeouts back;
        ASSERT_TRUE(p.backend->serialGetTimeouts(p.handle, &back)) << lastError().text;
        EXPECT_EQ(back.readInterval, set.readInterval);
        EXPECT_EQ(back.readMultiplier, set.readMultiplier);
        EXPECT_EQ(back.readConstant, set.readConstant);
        EXPECT_EQ(back.writeMultiplier, set.writeMultiplier);
        EXPECT_EQ(back.writeConstant, set.writeConstant);

        clearLastError();
        EXPECT_FALSE(p.backend->serialGetTimeouts(p.handle, nullptr));
        EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
        EXPECT_EQ(lastError().text, "serialGetTimeouts: no time-outs to fill");

        EXPECT_TRUE(p.backend->serialSetEventMask(p.handle, kSerialEventRxChar)) << lastError().text;
        EXPECT_TRUE(p.backend->serialSetEventMask(p.handle, 0)) << lastError().text;
        for (uint32_t mask : {0x0002u, 0x0003u, 0x8000'0000u}) {
            SCOPED_TRACE(mask);
            clearLastError();
            EXPECT_FALSE(p.backend->serialSetEventMask(p.handle, mask));
            EXPECT_EQ(lastError().kind, ErrorKind::InvalidParameter);
            EXPECT_EQ(lastError().text, "serialSetEventMask " + p.path + ": unknown event bits");
        }
    }
}

}  // namespace
}  // namespace qvp
