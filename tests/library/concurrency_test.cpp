// Several threads on the library at once: one conversation per device (a
// multi-command export is never interleaved with another thread's commands on
// the same controller), the table shared between enumeration and device calls,
// and the command log switched while commands are logged.
#include "library_info_support.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace qvtest {
namespace {

const char* const kMasterText = "QV6020A.D05.2.7.3.4   Boot : 1.3 B";
const char* const kSlave0Text = "QV6021BS.D03.1.2.5.6   Boot : 1.4 ";
const char* const kSlave1Text = "QV6022S.1.3.7   ";

// Whether a version read gave the controller's own texts; the first difference otherwise.
std::string WrongText(const FirmwareVersionInfoA& v) {
    if (std::string(v.master) != kMasterText) return std::string("master: ") + v.master;
    if (std::string(v.slave[0]) != kSlave0Text) return std::string("slave 0: ") + v.slave[0];
    if (std::string(v.slave[1]) != kSlave1Text) return std::string("slave 1: ") + v.slave[1];
    if (v.slaveCount != 2) return "slave count " + std::to_string(v.slaveCount);
    return "";
}


// Delegates every call to the sim backend; the first bulk frame read stops until
// released, and any command sent to a device meanwhile is noted.
class PausingBackend final : public qvp::Backend {
public:
    explicit PausingBackend(std::shared_ptr<qvp::Backend> inner) : inner_(std::move(inner)) {}

    void waitUntilPaused() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return paused_; });
    }
    void release() {
        std::lock_guard lock(m_);
        released_ = true;
        cv_.notify_all();
    }
    bool commandWhilePaused() const { return commandWhilePaused_.load(); }

    const char* name() const override { return "pausing"; }
    qvp::Handle open(const std::string& path, qvp::DeviceKind kind) override { return inner_->open(path, kind); }
    bool close(qvp::Handle h) override { return inner_->close(h); }
    bool hidSetFeature(qvp::Handle h, const uint8_t* report, size_t len) override {
        {
            std::lock_guard lock(m_);
            if (paused_ && !released_) commandWhilePaused_ = true;
        }
        return inner_->hidSetFeature(h, report, len);
    }
    bool hidGetFeature(qvp::Handle h, uint8_t* report, size_t len) override {
        if (len != 6) {
            std::unique_lock lock(m_);
            if (!paused_) {
                paused_ = true;
                cv_.notify_all();
                cv_.wait(lock, [&] { return released_; });
            }
        }
        return inner_->hidGetFeature(h, report, len);
    }
    bool hidSetOutput(qvp::Handle h, const uint8_t* report, size_t len) override {
        return inner_->hidSetOutput(h, report, len);
    }
    int hidOutputReportLength(qvp::Handle h) override { return inner_->hidOutputReportLength(h); }
    bool driverIoctl(qvp::Handle h, uint32_t code, const void* in, size_t inLen, void* out, size_t outLen,
                     uint32_t* returned) override {
        return inner_->driverIoctl(h, code, in, inLen, out, outLen, returned);
    }
    bool serialGetConfig(qvp::Handle h, qvp::SerialConfig* c) override { return inner_->serialGetConfig(h, c); }
    bool serialSetConfig(qvp::Handle h, const qvp::SerialConfig& c) override { return inner_->serialSetConfig(h, c); }
    bool serialGetTimeouts(qvp::Handle h, qvp::SerialTimeouts* t) override { return inner_->serialGetTimeouts(h, t); }
    bool serialSetTimeouts(qvp::Handle h, const qvp::SerialTimeouts& t) override {
        return inner_->serialSetTimeouts(h, t);
    }
    bool serialSetEventMask(qvp::Handle h, uint32_t mask) override { return inner_->serialSetEventMask(h, mask); }
    bool serialPurge(qvp::Handle h) override { return inner_->serialPurge(h); }
    bool serialWrite(qvp::Handle h, const uint8_t* d, size_t n, size_t* w) override {
        return inner_->serialWrite(h, d, n, w);
    }
    bool serialRead(qvp::Handle h, uint8_t* d, size_t n, size_t* got) override {
        return inner_->serialRead(h, d, n, got);
    }
    bool listHidInterfaces(std::vector<qvp::HidInterface>* out) override { return inner_->listHidInterfaces(out); }
    bool listSerialPorts(std::vector<std::string>* out) override { return inner_->listSerialPorts(out); }
    bool parentInstanceId(const std::string& path, std::string* out) override {
        return inner_->parentInstanceId(path, out);
    }
    bool readSettingString(const std::string& k, const std::string& v, std::string* out) override {
        return inner_->readSettingString(k, v, out);
    }
    bool readSettingDword(const std::string& k, const std::string& v, uint32_t* out) override {
        return inner_->readSettingDword(k, v, out);
    }
    void* subscribeDeviceChanges(qvp::InterfaceClass cls, qvp::DeviceChangeHandler handler) override {
        return inner_->subscribeDeviceChanges(cls, std::move(handler));
    }
    void unsubscribeDeviceChanges(void* token) override { inner_->unsubscribeDeviceChanges(token); }

private:
    std::shared_ptr<qvp::Backend> inner_;
    std::mutex m_;
    std::condition_variable cv_;
    bool paused_ = false, released_ = false;
    std::atomic<bool> commandWhilePaused_{false};
};

// A 4 x 6 (+2) sensor read in 8-byte bulk transfers.
qvsim::ControllerProfile FrameProfile() {
    qvsim::ControllerProfile p;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, 0x00, 0x1E};
    p.reportLength = 8;
    p.rows = 4;
    p.columns = 6;
    p.extraColumns = 2;
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};
    p.sensor = qvsim::SensorProfile{};
    return p;
}

// A frame read of FrameProfile() held at its first bulk transfer (FA 00 55 answered).
class Concurrency : public InfoTest {
protected:
    NewRawArray frame{};
    std::vector<uint16_t> want;
    std::shared_ptr<PausingBackend> pausing;
    int frameResult = -1;
    std::thread reading;

    void startPausedFrameRead() {
        makeHid(FrameProfile());
        ASSERT_EQ(BuildNewRawArray(h, &frame), 1);
        ASSERT_EQ(StartNewDiagnosticScan(h, 0, 0), 1);
        want = qvsim::SensorFrame(ctl->profile(), qvsim::kSensorRaw, 1);
        pausing = std::make_shared<PausingBackend>(qvp::currentBackend());
        qvp::setBackend(pausing);
        reading = std::thread([this] { frameResult = GetNewDiagnosticScanResult(h, &frame); });
        pausing->waitUntilPaused();
    }
    void TearDown() override {
        if (reading.joinable()) {
            pausing->release();
            reading.join();
        }
        InfoTest::TearDown();
    }
};

TEST_F(Concurrency, TwoThreadsReadingVersionsOnOneHandleEachGetTheWholeAnswer) {
    makeHid(MasterWithTwoSlavesProfile());
    constexpr int kReads = 150;
    std::atomic<int> wrong{0}, failed{0};
    std::mutex firstMutex;
    std::string first;
    auto reader = [&] {
        for (int i = 0; i < kReads; ++i) {
            FirmwareVersionInfoA v;
            std::memset(&v, 0, sizeof v);
            if (GetFWVersionA(h, &v) != 1) {
                ++failed;
                continue;
            }
            const std::string why = WrongText(v);
            if (!why.empty()) {
                ++wrong;
                std::lock_guard lock(firstMutex);
                if (first.empty()) first = why;
            }
        }
    };
    std::thread a(reader), b(reader);
    a.join();
    b.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0) << "first wrong text: " << first;
    // Each read left the controller scanning on its master.
    EXPECT_EQ(ctl->profile().stateF0[3] & 0x01, 1);
    EXPECT_EQ(sent().back(), "E0 00 F0 00 00");
}

TEST_F(Concurrency, ACommandDuringAFrameReadWaitsForTheWholeFrame) {
    startPausedFrameRead();
    int commandResult = -1;
    uint8_t reply[5] = {};
    std::thread asking([&] {
        const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
        commandResult = SendCmd(h, cmd, reply);
    });
    // Either the command queues behind the frame read or it reaches the device now.
    const int slot = qvlib::FindDeviceSlot(h);
    while (qvlib::SlotLockWaiters(slot) == 0 && !pausing->commandWhilePaused()) std::this_thread::yield();
    EXPECT_FALSE(pausing->commandWhilePaused()) << "a command came between the frame's transfers";
    pausing->release();
    reading.join();
    asking.join();

    EXPECT_EQ(frameResult, 1);
    EXPECT_EQ(std::vector<uint16_t>(frame.whole, frame.whole + frame.wholeCount), want);
    EXPECT_EQ(commandResult, 1);
    EXPECT_EQ(Hex(Packet{reply[0], reply[1], reply[2], reply[3], reply[4]}), "E0 82 00 10 00");
    FreeNewRawArray(h, &frame);
}

// A close on another thread while a frame is being read waits for the read:
// the slot's lock is never taken from under its holder, the frame arrives whole,
// and only then does the handle go.
TEST_F(Concurrency, ACloseDuringAFrameReadWaitsAndTheFrameArrivesWhole) {
    startPausedFrameRead();
    std::atomic<int> closeResult{-1};
    std::thread closing([&] { closeResult = CloseDevice(h); });
    const int slot = qvlib::FindDeviceSlot(h);
    // Either the close queues behind the frame read or it goes ahead now.
    while (qvlib::SlotLockWaiters(slot) == 0 && closeResult.load() == -1) std::this_thread::yield();
    EXPECT_EQ(closeResult.load(), -1) << "the close went ahead under the frame read";
    EXPECT_NE(qvlib::FindDeviceSlot(h), qvlib::kNoSlot);
    pausing->release();
    reading.join();
    closing.join();

    EXPECT_EQ(frameResult, 1);
    EXPECT_EQ(std::vector<uint16_t>(frame.whole, frame.whole + frame.wholeCount), want);
    EXPECT_EQ(closeResult.load(), 1);
    EXPECT_EQ(qvlib::FindDeviceSlot(h), qvlib::kNoSlot);
    // The slot's lock outlived the device: the next device of that slot takes it as before.
    EXPECT_EQ(qvlib::SlotLockWaiters(slot), 0);
    std::free(frame.mutual);
    std::free(frame.extra);
    std::free(frame.last);
    std::free(frame.whole);
}

TEST_F(Concurrency, EnumerationAndDeviceCallsShareTheTable) {
    ctl = std::make_shared<qvsim::Controller>(MasterWithTwoSlavesProfile());
    bench->addHid(ctl, ControllerHid("/sim/hidraw0", 0x3501, "5&1A&0&1"));
    ASSERT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 1);

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0}, reads{0};
    std::thread enumerating([&] {
        for (int i = 0; i < 40; ++i) EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; });
        done = true;
    });
    std::thread calling([&] {
        while (!done) {
            HANDLE handle = INVALID_HANDLE_VALUE;
            if (OpenDeviceA("/sim/hidraw0", &handle) != 1) continue;
            FirmwareVersionInfoA v;
            std::memset(&v, 0, sizeof v);
            // The next enumeration may close the handle first; a read that runs is whole.
            if (GetFWVersionA(handle, &v) == 1) {
                ++reads;
                if (!WrongText(v).empty()) ++wrong;
            }
        }
    });
    enumerating.join();
    calling.join();
    EXPECT_EQ(wrong.load(), 0);
    HANDLE handle = INVALID_HANDLE_VALUE;
    ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &handle), 1);
    FirmwareVersionInfoA v;
    ASSERT_EQ(GetFWVersionA(handle, &v), 1);
    EXPECT_EQ(WrongText(v), "");
}

TEST_F(Concurrency, SwitchingTheCommandLogWhileCommandsAreLoggedKeepsEveryLineWhole) {
    qvsim::ControllerProfile p = CurrentMasterProfile();
    p.featureF4 = {0x82, 0x00, 0x10, 0x00};
    makeHid(p);
    const std::string paths[2] = {logPath() + ".a", logPath() + ".b"};
    for (const auto& path : paths) std::remove(path.c_str());
    std::atomic<bool> done{false};
    std::atomic<int> failed{0};
    std::thread sending([&] {
        const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
        for (int i = 0; i < 400; ++i) {
            uint8_t reply[5] = {};
            if (SendCmd(h, cmd, reply) != 1) ++failed;
            if (i % 7 == 0) WriteCommandLogA("\r[note]\r");
        }
        done = true;
    });
    std::thread switching([&] {
        for (int i = 0; !done; ++i) {
            SetCommandLogPathA(paths[i % 2].c_str());
            EnableLogCommandLine(1);
            EnableLogCommandLine(0);
        }
    });
    sending.join();
    switching.join();
    EnableLogCommandLine(0);
    EXPECT_EQ(failed.load(), 0);
    for (const auto& path : paths) {
        const std::string text = ReadFile(path);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\r', start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            if (line.empty()) continue;
            const bool known = line.rfind("[IN],0xE0,0x00,0xF4,0x00,0x00,", 0) == 0 ||
                               line.rfind("[OUT],0xE0,0x82,0x00,0x10,0x00,", 0) == 0 || line == "[note]";
            EXPECT_TRUE(known) << path << ": " << line;
        }
        std::remove(path.c_str());
    }
    // The log still opens, logs and closes as before.
    openLog();
    const uint8_t cmd[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    uint8_t reply[5] = {};
    ASSERT_EQ(SendCmd(h, cmd, reply), 1);
    EXPECT_NE(closeLogAndRead().find("[OUT],0xE0,0x82,0x00,0x10,0x00,"), std::string::npos);
}

}  // namespace
}  // namespace qvtest
