// The N4 firmware update under faults, on a simulated controller with a new
// boot loader: every command of a clean update refused or left unanswered
// once, and the controller cut off for good at every command (then plugged
// back and updated again), in both ways a block's data travels (packets of
// four bytes and HID output reports); two controllers of which the other
// re-enumerates while the target is updated; status and progress read from a
// second thread while an update runs.

#include "firmware_writer_support.h"
#include "library_n4_support.h"
#include "n4_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Packet;

constexpr uint32_t kBlock = 64;  // bytes per block (D2): a few blocks keep the sweep cheap
constexpr uint16_t kStatusMasterDone = 2;

// The controller's firmware with another minor version: three blocks, the last
// one partial. Its program begins with a copy of its header, by which the
// simulated chip names the firmware it runs.
fwtest::Image NewImage() {
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.build1 = 1;
    im.data.resize(2 * kBlock + 10);
    for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 13 + 7);
    const fwtest::Bytes h = fwtest::header(im);
    std::copy(h.begin(), h.end(), im.data.begin());
    return im;
}

// What the flash holds after the image was written whole.
std::vector<uint8_t> Flashed(const fwtest::Image& im) {
    std::vector<uint8_t> v(im.data.begin(), im.data.end());
    v.resize((v.size() + kBlock - 1) / kBlock * kBlock, 0xFF);
    return v;
}

// How a block's data travels: D3 answers a transfer size of 8 (packets
// [t][4 bytes]) or of 16 (output reports of 16 bytes).
struct Form {
    const char* name;
    uint16_t transferSize;
};
const Form kForms[] = {{"Packets", 8}, {"OutputReports", 16}};

// A master-only, single-boot QV2081A 2.5 that scans, with a new boot loader
// (EB byte 1 = 9) that will not start while it scans and leaves the bus on
// boot entry and exit.
ControllerProfile Target(uint16_t transferSize) {
    ControllerProfile p;
    p.identityNumber = 2081;
    p.letter = 1;
    p.major = 2;
    p.minor = 5;
    p.customerBytes = {9, 0, 0, 0};
    p.stateF0 = {0, 0, 0, 0x01};
    p.boot = qvsim::BootFlash{};
    p.boot->reenumerateOnBoot = true;
    p.boot->entryNeedsQuiet = true;
    p.d2Reply = {uint8_t(kBlock), 0, 0, 0};
    p.bootPacketSize = transferSize;
    return p;
}

qvsim::HidInfo TargetHid(const std::string& path, const std::string& instance) {
    qvsim::HidInfo info;
    info.path = path;
    info.vendorId = 0x2E7B;
    info.productId = 0x6020;
    info.parentInstanceId = "USB\\VID_2E7B&PID_6020\\" + instance;
    info.reportId = 1;
    info.outputReportLength = 17;
    return info;
}

class N4UpdateFaults : public qvtest::N4Test {
protected:
    fwtest::Image im = NewImage();
    std::string file;

    void SetUp() override {
        N4Test::SetUp();
        file = debugPath() + ".qvf";
        const fwtest::Bytes bytes = fwtest::image(im);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        // Hundreds of updates: no debug log (level 0 also answers the old-loader question).
        QuorvaneN4_SetDebug(0);
    }
    void TearDown() override {
        std::remove(file.c_str());
        N4Test::TearDown();
    }

    // A fresh target controller at /sim/hidraw0.
    void plugTarget(const Form& form) {
        ctl = std::make_shared<Controller>(Target(form.transferSize));
        bench->addHid(ctl, TargetHid("/sim/hidraw0", "5&1&0&1"));
    }
    int update() { return QuorvaneN4_FirmwareUpdateExA(file.c_str(), 1); }

    // The flash holds the image whole and the chip runs its version.
    ::testing::AssertionResult runsImage(const Controller& c) const {
        const ControllerProfile& p = const_cast<Controller&>(c).profile();
        if (p.boot->flash != Flashed(im)) return ::testing::AssertionFailure() << "the flash differs from the image";
        if (p.inBoot) return ::testing::AssertionFailure() << "the boot loader still runs";
        if (p.major != im.major || p.minor != im.minor || p.buildA != im.build1)
            return ::testing::AssertionFailure() << "runs " << int(p.major) << "." << int(p.minor) << "." << int(p.buildA);
        return ::testing::AssertionSuccess();
    }

    // The commands a clean update sends.
    size_t cleanRunCommands(const Form& form) {
        plugTarget(form);
        EXPECT_EQ(update(), 1);
        EXPECT_TRUE(runsImage(*ctl));
        EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), kStatusMasterDone);
        EXPECT_EQ(QuorvaneN4_GetUpdateProgress(), 100);
        return ctl->trace().size();
    }
};

// Command k refused (or silent) once: the update may fail, but it reports
// success only with the image flashed whole and running, and a second update
// always brings the controller there.
TEST_F(N4UpdateFaults, EachCommandRefusedOrSilentOnceNeverGivesAFalseSuccess) {
    for (const Form& form : kForms) {
        const size_t n = cleanRunCommands(form);
        ASSERT_GT(n, 3 * 2u);
        for (bool silent : {false, true}) {
            for (size_t k = 1; k <= n; ++k) {
                SCOPED_TRACE(std::string(form.name) + (silent ? " silent " : " refused ") + "command " +
                             std::to_string(k) + " of " + std::to_string(n));
                plugTarget(form);
                ctl->faultAt(int(k), silent);
                const int result = update();
                if (result == 1) {
                    EXPECT_TRUE(runsImage(*ctl)) << "success reported";
                    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), kStatusMasterDone);
                } else {
                    EXPECT_LT(result, 0);
                    EXPECT_NE(QuorvaneN4_GetUpdateStatus(), kStatusMasterDone);
                    ASSERT_EQ(update(), 1) << "after a failed update returning " << result;
                    EXPECT_TRUE(runsImage(*ctl));
                }
            }
        }
    }
}

// The controller gone for good from command k on (k reaches it, its answer
// does not): never a success, never the master shown done; plugged back, a
// second update flashes the image whole (from the loader, when the cut left
// the chip in it).
TEST_F(N4UpdateFaults, ALastingDisconnectAtEachCommandFailsAndASecondUpdateRecovers) {
    for (const Form& form : kForms) {
        const size_t n = cleanRunCommands(form);
        for (size_t k = 1; k <= n; ++k) {
            SCOPED_TRACE(std::string(form.name) + " cut at command " + std::to_string(k) + " of " + std::to_string(n));
            plugTarget(form);
            ctl->disconnectAfter(int(k));
            const int result = update();
            EXPECT_NE(result, 1);
            EXPECT_NE(QuorvaneN4_GetUpdateStatus(), kStatusMasterDone);
            EXPECT_FALSE(ctl->connected());
            // Plugged back: the same chip on a fresh link.
            ctl->reconnect();
            ASSERT_TRUE(bench->remove("/sim/hidraw0"));
            ASSERT_TRUE(bench->replug("/sim/hidraw0"));
            ASSERT_EQ(update(), 1);
            EXPECT_TRUE(runsImage(*ctl));
        }
    }
}

// Two controllers of the same product: the target is found first; when it
// leaves the bus for its boot loader, the other one leaves and arrives again
// ahead of it. The update follows the target by its USB parent and flashes it
// alone.
TEST_F(N4UpdateFaults, WithTwoControllersOnlyTheTargetIsFlashed) {
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        bench = std::make_shared<qvsim::Bench>();
        qvlib::LibraryDetach();
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
        QuorvaneN4_SetDebug(0);
        auto target = std::make_shared<Controller>(Target(form.transferSize));
        auto other = std::make_shared<Controller>(Target(form.transferSize));
        bench->addHid(target, TargetHid("/sim/hidraw0", "5&1&0&1"));
        bench->addHid(other, TargetHid("/sim/hidraw1", "5&1&0&2"));
        bool replugged = false;
        const uint64_t token = bench->watch([&](const qvsim::DeviceEvent& e) {
            if (!e.arrival && e.path == "/sim/hidraw0" && !replugged) {
                replugged = true;
                bench->remove("/sim/hidraw1");
                bench->replug("/sim/hidraw1");
            }
        });
        EXPECT_EQ(update(), 1);
        bench->unwatch(token);
        ASSERT_TRUE(replugged);
        EXPECT_TRUE(runsImage(*target));
        const ControllerProfile& o = other->profile();
        EXPECT_TRUE(o.boot->flash.empty());
        EXPECT_TRUE(o.boot->blockWrites.empty());
        EXPECT_FALSE(o.inBoot);
        EXPECT_EQ(o.minor, 5);
        // Nothing that enters the loader or writes a block reached it.
        for (const qvsim::TraceEntry& t : other->trace()) {
            const uint8_t code = t.packet[0];
            EXPECT_FALSE(code == 0xFF || code == 0xD0 || code == 0xD1 || code == 0xD4 || code < 0x80)
                << "the other controller got command 0x" << std::hex << int(code);
        }
    }
}

// Another thread reads status and progress all through an update; one reading
// is taken while the target is away after its boot loader left (the update
// thread waits there for it), when the master is still being programmed.
// Status only climbs 0 -> 1 -> 2, progress only climbs within 0..100.
TEST_F(N4UpdateFaults, StatusAndProgressReadFromAnotherThreadDuringTheUpdate) {
    plugTarget(kForms[0]);
    qvlib::n4::UpdateState().status = 0;
    qvlib::n4::UpdateState().progress = 0;
    struct Reading {
        int status, progress;
        bool atExit;
    };
    std::vector<Reading> readings;
    std::mutex m;
    std::condition_variable cv;
    int removals = 0;
    bool exitAsked = false, exitRead = false;
    std::atomic<bool> done{false};

    std::thread poller([&] {
        while (!done.load()) {
            bool atExit = false;
            {
                std::lock_guard l(m);
                atExit = exitAsked && !exitRead;
            }
            const Reading r{QuorvaneN4_GetUpdateStatus(), QuorvaneN4_GetUpdateProgress(), atExit};
            std::lock_guard l(m);
            readings.push_back(r);
            if (atExit) {
                exitRead = true;
                cv.notify_all();
            }
        }
    });
    // The target leaves the bus twice: on boot entry and when its loader left.
    const uint64_t token = bench->watch([&](const qvsim::DeviceEvent& e) {
        if (e.arrival) return;
        std::unique_lock l(m);
        if (++removals != 2) return;
        exitAsked = true;
        cv.wait(l, [&] { return exitRead; });
    });
    const int result = update();
    done = true;
    poller.join();
    bench->unwatch(token);

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(runsImage(*ctl));
    ASSERT_TRUE(exitRead);
    const auto atExit = std::find_if(readings.begin(), readings.end(), [](const Reading& r) { return r.atExit; });
    ASSERT_NE(atExit, readings.end());
    EXPECT_EQ(atExit->status, 1);
    for (size_t i = 0; i < readings.size(); ++i) {
        SCOPED_TRACE("reading " + std::to_string(i));
        EXPECT_TRUE(readings[i].status == 0 || readings[i].status == 1 || readings[i].status == 2) << readings[i].status;
        EXPECT_GE(readings[i].progress, 0);
        EXPECT_LE(readings[i].progress, 100);
        if (i == 0) continue;
        EXPECT_GE(readings[i].status, readings[i - 1].status);
        EXPECT_GE(readings[i].progress, readings[i - 1].progress);
    }
    EXPECT_EQ(QuorvaneN4_GetUpdateStatus(), kStatusMasterDone);
    EXPECT_EQ(QuorvaneN4_GetUpdateProgress(), 100);
}

}  // namespace
