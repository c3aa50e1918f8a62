// The bench around the links: device events on plugging, unplugging and
// replugging, the settings store, empty serial ports, line speeds, and the
// driver's enumeration answers.

#include "sim_support.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace qvsim;
using simtest::framed;

namespace {

const Packet kIdentity{0xEE, 0, 0, 0, 0};

HidInfo hidAt(const std::string& path) {
    HidInfo h;
    h.path = path;
    h.parentInstanceId = "USB\\VID_2E7B&PID_6020\\1&" + path;
    return h;
}

struct Seen {
    bool arrival;
    Link link;
    std::string path;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << (s.arrival ? "+" : "-") << int(s.link) << s.path;
}

// Records every event of a bench.
class SimBenchEvents : public ::testing::Test {
protected:
    void SetUp() override {
        token = bench.watch([this](const DeviceEvent& e) { seen.push_back({e.arrival, e.link, e.path}); });
    }
    Bench bench;
    std::vector<Seen> seen;
    uint64_t token = 0;
};

TEST_F(SimBenchEvents, PlugUnplugReplaceAndReplugAreReportedInOrder) {
    auto c = std::make_shared<Controller>();
    bench.addHid(c, hidAt("/h0"));
    DriverInfo drv;
    drv.path = "\\\\.\\QVUVCXM_API0";
    bench.addDriver(std::make_shared<Controller>(), drv);
    bench.addSerial(std::make_shared<Controller>(), SerialInfo{"/s0", 9600});
    bench.addEmptySerialPort("/s1");
    EXPECT_TRUE(bench.remove("/h0"));
    EXPECT_FALSE(bench.remove("/h0"));                  // nothing there: no event
    EXPECT_TRUE(bench.replug("/h0"));
    EXPECT_FALSE(bench.replug("/h0"));                  // the path is taken again
    EXPECT_FALSE(bench.replug("/never"));
    bench.addSerial(std::make_shared<Controller>(), SerialInfo{"/s0", 9600});  // replaces the old port
    const std::vector<Seen> want = {
        {true, Link::Hid, "/h0"},    {true, Link::Driver, drv.path}, {true, Link::Serial, "/s0"},
        {true, Link::Serial, "/s1"}, {false, Link::Hid, "/h0"},      {true, Link::Hid, "/h0"},
        {false, Link::Serial, "/s0"}, {true, Link::Serial, "/s0"},
    };
    EXPECT_EQ(seen, want);
}

// A controller that re-enumerates on reset leaves the bus once its FE answer
// was read and comes back on a new link, holding what its flash holds.
TEST_F(SimBenchEvents, AResetControllerEnumeratesAnewAfterItsAnswerWasRead) {
    ControllerProfile p;
    p.paraVersion = 152;
    p.items[{4, 5}] = {1, 0};
    p.reenumerateOnReset = true;
    auto c = std::make_shared<Controller>(p);
    HidDevice& old = bench.addHid(c, hidAt("/h0"));
    seen.clear();
    auto send = [](HidDevice& d, Packet cmd) {
        uint8_t out[6] = {0, cmd[0], cmd[1], cmd[2], cmd[3], cmd[4]};
        return d.setFeature(out, 6);
    };
    uint8_t in[6] = {};
    ASSERT_EQ(send(old, {0xF6, 0x04, 0x85, 0x00, 0x01}), XferError::None);  // written, not flushed
    ASSERT_EQ(old.getFeature(in, 6), XferError::None);
    ASSERT_EQ(send(old, {0xFE, 0, 0, 0, 0}), XferError::None);
    EXPECT_TRUE(seen.empty());  // not before the answer was read
    ASSERT_EQ(old.getFeature(in, 6), XferError::None);
    EXPECT_EQ(in[1], 0xFE);
    EXPECT_EQ(seen, (std::vector<Seen>{{false, Link::Hid, "/h0"}, {true, Link::Hid, "/h0"}}));
    EXPECT_EQ(send(old, {0xFE, 0, 0, 0, 0}), XferError::NotFound);  // the old link is gone
    HidDevice* now = bench.hid("/h0");
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, &old);
    ASSERT_EQ(send(*now, {0xF6, 0x04, 0x15, 0, 0}), XferError::None);
    ASSERT_EQ(now->getFeature(in, 6), XferError::None);
    EXPECT_EQ(in[5], 0);  // the unflushed write is gone

    // Without the key a reset keeps the link.
    c->profile().reenumerateOnReset = false;
    seen.clear();
    ASSERT_EQ(send(*now, {0xFE, 0, 0, 0, 0}), XferError::None);
    ASSERT_EQ(now->getFeature(in, 6), XferError::None);
    EXPECT_TRUE(seen.empty());
}

TEST_F(SimBenchEvents, ReplugGivesTheSameControllerOnAFreshLink) {
    auto c = std::make_shared<Controller>();
    HidDevice& old = bench.addHid(c, hidAt("/h0"));
    old.answerOnPoll(2);
    old.failNext(HidOp::SetFeature, XferError::Timeout, 5);
    bench.remove("/h0");
    ASSERT_TRUE(bench.replug("/h0"));
    HidDevice* now = bench.hid("/h0");
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, &old);
    EXPECT_EQ(&now->controller(), c.get());
    EXPECT_EQ(now->info().parentInstanceId, old.info().parentInstanceId);

    uint8_t r[6] = {0, 0xEE, 0, 0, 0, 0};
    EXPECT_EQ(old.setFeature(r, 6), XferError::NotFound);  // a handle to the old link stays dead
    EXPECT_EQ(now->setFeature(r, 6), XferError::None);     // the pending failures went with it
    EXPECT_EQ(now->getFeature(r, 6), XferError::None);
    EXPECT_EQ(r[1], 0x00);  // ...but it still shows the answer on the second poll
    EXPECT_EQ(now->getFeature(r, 6), XferError::None);
    EXPECT_EQ(r[1], 0xEE);

    // The most recently removed device at a path comes back.
    auto other = std::make_shared<Controller>();
    bench.remove("/h0");
    bench.addSerial(other, SerialInfo{"/h0", 9600});
    bench.remove("/h0");
    ASSERT_TRUE(bench.replug("/h0"));
    EXPECT_EQ(bench.hid("/h0"), nullptr);
    ASSERT_NE(bench.serial("/h0"), nullptr);
    EXPECT_EQ(&bench.serial("/h0")->controller(), other.get());
}

TEST_F(SimBenchEvents, WatcherMayCallBackAndPlugWithoutDeadlock) {
    std::vector<std::string> listed;
    bench.watch([&](const DeviceEvent& e) {
        // The bench does not hold its lock while it calls us: another thread can take it.
        std::thread t([&] {
            std::unique_lock g(bench.mutex(), std::try_to_lock);
            EXPECT_TRUE(g.owns_lock());
            if (g.owns_lock())
                for (HidDevice* d : bench.hidDevices()) listed.push_back(d->info().path);
        });
        t.join();
        if (e.arrival && e.path == "/h0") bench.addHid(std::make_shared<Controller>(), hidAt("/h1"));
    });
    bench.addHid(std::make_shared<Controller>(), hidAt("/h0"));
    // The nested arrival reaches every watcher after the outer one, also the first watcher.
    const std::vector<Seen> want = {{true, Link::Hid, "/h0"}, {true, Link::Hid, "/h1"}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(listed, (std::vector<std::string>{"/h0", "/h0", "/h1"}));
}

TEST_F(SimBenchEvents, UnwatchedWatcherHearsNothingMore) {
    bench.addHid(std::make_shared<Controller>(), hidAt("/h0"));
    int calls = 0;
    uint64_t self = 0;
    self = bench.watch([&](const DeviceEvent&) {
        ++calls;
        bench.unwatch(self);  // from inside its own call
    });
    // A replacement queues a removal and an arrival at once; the second skips the unwatched one.
    bench.addHid(std::make_shared<Controller>(), hidAt("/h0"));
    EXPECT_EQ(calls, 1);

    bench.unwatch(token);
    bench.remove("/h0");
    EXPECT_EQ(seen.size(), 3u);  // the recorder stopped too
    bench.unwatch(token);        // twice is harmless
}

TEST_F(SimBenchEvents, ConcurrentPluggingDeliversEveryEventOnceInOrder) {
    // Every event reaches the watcher exactly once and, per path, alternates arrival,
    // removal, arrival, ...; the watcher takes the bench lock while other threads plug.
    std::mutex m;
    std::map<std::string, std::vector<bool>> byPath;
    bench.watch([&](const DeviceEvent& e) {
        bench.hidDevices();
        std::lock_guard g(m);
        byPath[e.path].push_back(e.arrival);
    });
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            const std::string path = "/h" + std::to_string(t);
            bench.addHid(std::make_shared<Controller>(), hidAt(path));
            for (int i = 0; i < kRounds; ++i) {
                bench.remove(path);
                bench.replug(path);
            }
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(byPath.size(), 3u);
    for (auto& [path, events] : byPath) {
        ASSERT_EQ(events.size(), 1u + 2 * kRounds) << path;
        for (size_t i = 0; i < events.size(); ++i) ASSERT_EQ(events[i], i % 2 == 0) << path << " event " << i;
    }
}

TEST(SimBenchSettings, KeysAndNamesCompareCaseInsensitively) {
    Bench bench;
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";
    bench.setSettingDword(key, "Count", 2);
    bench.setSettingString(key, "0", "USB\\VID_2E7B&PID_6020\\ABC");
    EXPECT_EQ(bench.setting("system\\currentcontrolset\\services\\QVHIDUSB\\enum", "COUNT"), Bench::Setting(uint32_t{2}));
    EXPECT_EQ(bench.setting(key, "0"), Bench::Setting(std::string("USB\\VID_2E7B&PID_6020\\ABC")));
    EXPECT_FALSE(bench.setting(key, "1"));
    EXPECT_FALSE(bench.setting(key + "\\Sub", "0"));
    EXPECT_FALSE(bench.setting("SYSTEM\\CurrentControlSet\\Services\\qvhidusb", "Enum"));

    bench.setSettingString(key, "count", "two");  // the same value, now a string
    EXPECT_EQ(bench.setting(key, "Count"), Bench::Setting(std::string("two")));
    bench.removeSetting(key, "COUNT");
    EXPECT_FALSE(bench.setting(key, "Count"));
    EXPECT_TRUE(bench.setting(key, "0"));
    bench.removeSetting(key, "missing");  // harmless
}

TEST(SimBenchSerial, EmptyPortTakesBytesAndNeverAnswers) {
    Bench bench;
    SerialDevice& empty = bench.addEmptySerialPort("/sim/ttyS1");
    bench.addSerial(std::make_shared<Controller>(), SerialInfo{"/sim/ttyS2", 9600});
    ASSERT_EQ(bench.serialDevices().size(), 2u);
    EXPECT_EQ(bench.serialDevices()[0], &empty);  // in the order added
    EXPECT_TRUE(empty.info().empty);
    for (uint32_t baud : {115200u, 9600u}) {
        empty.setHostBaud(baud);
        auto f = framed(kIdentity);
        size_t n = 0;
        EXPECT_EQ(empty.write(f.data(), f.size(), &n), XferError::None);
        EXPECT_EQ(n, f.size());
        EXPECT_EQ(empty.available(), 0u) << baud;
    }
    EXPECT_EQ(empty.receivedBytes(), 12u);
    EXPECT_TRUE(empty.controller().trace().empty());
}

TEST(SimBenchSerial, ControllerAnswersOnlyAtItsLineSpeed) {
    Bench bench;
    auto c = std::make_shared<Controller>();
    SerialDevice& dev = bench.addSerial(c, SerialInfo{"/sim/ttyS0", 19200});
    auto answeringBauds = [&] {
        std::vector<uint32_t> out;
        for (uint32_t baud : {38400u, 115200u, 19200u, 9600u, 57600u}) {
            dev.purge();
            dev.setHostBaud(baud);
            auto f = framed(kIdentity);
            size_t n = 0;
            dev.write(f.data(), f.size(), &n);
            if (dev.available()) out.push_back(baud);
        }
        return out;
    };
    EXPECT_EQ(answeringBauds(), std::vector<uint32_t>{19200});
    dev.setBaud(9600);
    EXPECT_EQ(dev.info().baud, 9600u);
    EXPECT_EQ(answeringBauds(), std::vector<uint32_t>{9600});
}

// ---------------------------------------------------------------- driver enumeration answers

uint32_t u32(const uint8_t* b) { return uint32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24); }

TEST(SimBenchDriver, EnumerationAnswersAreSetOrFail) {
    struct Case {
        const char* label;
        int kind, pair;
        std::optional<uint32_t> deviceCode, driverVersion;
        std::vector<uint32_t> failing;
        std::optional<uint32_t> wantCode, wantMajor, wantMinor, wantPort;
    };
    const Case cases[] = {
        {"derived kind 4", 4, 1, {}, {}, {}, 9000u << 16, 2, 3, 5},
        {"derived pair 1", 0, 1, {}, {}, {}, 1000u << 16, 2, 4, 5},
        {"explicit zero", 0, 0, 0, 0, {}, 0, 0, 0, 5},  // 0 is an answer, not "derive"
        {"explicit", 1, 0, 2000u << 16, 305, {}, 2000u << 16, 3, 5, 5},
        {"code fails", 0, 0, {}, {}, {0x223CA8}, {}, 2, 3, 5},
        {"minor fails", 0, 0, {}, 204, {0x223C04}, 1000u << 16, 2, {}, 5},
        {"port fails", 3, 1, {}, {}, {0x223C40}, 6000u << 16, 2, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Bench bench;
        DriverInfo info;
        info.path = "\\\\.\\QVUVCXM_API0";
        info.kind = c.kind;
        info.ioctlPair = c.pair;
        info.deviceCode = c.deviceCode;
        info.driverVersion = c.driverVersion;
        info.portIndex = 5;
        info.failingIoctls = c.failing;
        DriverDevice& dev = bench.addDriver(std::make_shared<Controller>(), info);
        auto query = [&](uint32_t code) -> std::optional<uint32_t> {
            uint8_t out[4] = {};
            uint32_t got = 0;
            XferError e = dev.ioctl(code, nullptr, 0, out, 4, &got);
            if (e != XferError::None) {
                EXPECT_EQ(e, XferError::InvalidParameter);
                return std::nullopt;
            }
            EXPECT_EQ(got, 4u);
            return u32(out);
        };
        EXPECT_EQ(query(0x223CA8), c.wantCode);
        EXPECT_EQ(query(0x223C00), c.wantMajor);
        EXPECT_EQ(query(0x223C04), c.wantMinor);
        EXPECT_EQ(query(0x223C40), c.wantPort);
        EXPECT_EQ(query(0x223CB4), 115200u);  // others are not affected
    }
}

}  // namespace
