// The pty server end to end: a raw termios client on the slave side.

#include "sim_support.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace qvsim;
using simtest::framed;

namespace {

constexpr int kGenerousMs = 5000;

class SimPty : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        bench = loadProfile("serial", &error);
        ASSERT_TRUE(bench) << error;
        device = bench->serialDevices().at(0);
        server = std::make_unique<PtyServer>(bench, *device);
        ASSERT_TRUE(server->start(&error)) << error;
        fd = ::open(server->slavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0) << server->slavePath();
    }
    void TearDown() override {
        if (fd >= 0) ::close(fd);
        server.reset();
    }

    void setSpeed(speed_t speed) {
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    }
    void writeAll(const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Reads n bytes, or fewer if none arrive within the generous time-out.
    std::vector<uint8_t> readBytes(size_t n) {
        std::vector<uint8_t> out;
        while (out.size() < n) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, kGenerousMs) <= 0) break;
            uint8_t buf[64];
            ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    Packet expected(const Packet& cmd) {
        Controller c(device->controller().profile());
        return *c.handle(cmd, Link::Serial, 0);
    }

    std::shared_ptr<Bench> bench;
    SerialDevice* device = nullptr;
    std::unique_ptr<PtyServer> server;
    int fd = -1;
};

TEST_F(SimPty, FramedCommandGetsAFramedReply) {
    setSpeed(B115200);
    const Packet ee{0xEE, 0, 0, 0, 0};
    writeAll(framed(ee));
    EXPECT_EQ(readBytes(6), framed(expected(ee)));
}

TEST_F(SimPty, ServerReadsTheHostSpeedFromTheTerminal) {
    setSpeed(B9600);
    writeAll(framed({0xEE, 0, 0, 0, 0}));
    // Wait until the server has taken the bytes at the wrong speed.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (device->receivedBytes() < 6 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(device->receivedBytes(), 6u);

    setSpeed(B115200);
    const Packet ed{0xED, 0, 0, 0, 0};
    writeAll(framed(ed));
    EXPECT_EQ(readBytes(6), framed(expected(ed)));  // the EE at 9600 was never answered
    std::lock_guard g(bench->mutex());
    ASSERT_EQ(device->controller().trace().size(), 1u);
    EXPECT_EQ(device->controller().trace()[0].packet, ed);
}

TEST(SimPtyLifecycle, StopsAndRestartsOnANewTerminal) {
    auto bench = loadProfile("serial", nullptr);
    ASSERT_TRUE(bench);
    PtyServer server(bench, *bench->serialDevices()[0]);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_NE(error.find("already running"), std::string::npos);
    std::string first = server.slavePath();
    EXPECT_EQ(first.rfind("/dev/pts/", 0), 0u) << first;
    server.stop();
    server.stop();
    ASSERT_TRUE(server.start(&error)) << error;
}

}  // namespace
