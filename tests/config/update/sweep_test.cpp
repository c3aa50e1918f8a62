// The fault sweep: every command of a clean update's trace in turn refused
// once, silent once, or the controller gone from it on, with the blocks sent
// as HID output reports and as 5-byte data packets. A run succeeds only with
// the flash equal to the file and that version running; every run leaves the
// page idle; with the fault cleared a rerun completes.

#include "update_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// How the loader takes a block's data.
enum class Transfer { OutputReports, Packets };

class UpdateSweep : public updatetest::UpdatePage, public ::testing::WithParamInterface<Transfer> {
protected:
    fwtest::Image im = updatetest::NewImage();

    bool prepare() {
        TearDown();
        if (!start()) return false;
        // Without a D3 answer the page sends the blocks as data packets.
        if (GetParam() == Transfer::Packets)
            dev().editProfile([](qvsim::ControllerProfile& p) { p.bootPacketSize.reset(); });
        useFile(fwtest::image(im));
        dev().clearTrace();  // command k counts from the update's start
        return true;
    }

    void run() {
        sink.messages.clear();
        page->timers()->start(13, 10);
        drive();
    }

    bool flashRuns() {
        const auto& p = dev().profile();
        return p.boot->flash == updatetest::Padded(im.data) && !p.inBoot && p.minor == 6;
    }

    // What the main window does once the page is idle: the controller found and read again.
    void rereadAfterIdle() {
        if (c.dev.device != INVALID_HANDLE_VALUE) CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
        if (vcx::FindQVDevice(c, vcx::deviceFinder())) readRecords();
    }

    void expectIdle(const std::string& what) {
        EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle) << what;
        const auto s = pageStates();
        if (!s.empty()) {
            EXPECT_EQ(s.back(), 0u) << what;
        }
    }
};

TEST_P(UpdateSweep, EveryCommandFaulted) {
    ASSERT_TRUE(prepare());
    run();
    ASSERT_TRUE(page->resultSuccess());
    const auto clean = dev().trace();
    const size_t n = clean.size();
    ASSERT_GT(n, 20u);
    // The data packets are in the trace in packet mode only.
    const bool packets = std::any_of(clean.begin(), clean.end(), [](const auto& e) { return e.packet[0] < 0x80; });
    EXPECT_EQ(packets, GetParam() == Transfer::Packets);

    enum class Kind { Refuse, Silence, Gone };
    int successes = 0, runs = 0;
    for (Kind kind : {Kind::Refuse, Kind::Silence, Kind::Gone}) {
        for (size_t k = 1; k <= n; ++k) {
            const std::string what = std::string(kind == Kind::Refuse ? "refused" : kind == Kind::Silence ? "silent" : "gone") +
                                     " from command " + std::to_string(k);
            ASSERT_TRUE(prepare()) << what;
            if (kind == Kind::Gone)
                dev().disconnectAfter(int(k) - 1);
            else
                dev().faultAt(int(k), kind == Kind::Silence);
            run();
            ++runs;
            expectIdle(what);
            if (page->resultSuccess()) {
                ++successes;
                EXPECT_NE(kind, Kind::Gone) << what;
                EXPECT_TRUE(flashRuns()) << what << ": success reported without the image running";
            }
            // The fault cleared, the update run again completes.
            dev().clearFaults();
            dev().reconnect();
            rereadAfterIdle();
            run();
            expectIdle(what + ", rerun");
            EXPECT_TRUE(page->resultSuccess()) << what << ", rerun: " << page->resultText().toStdString();
            EXPECT_TRUE(flashRuns()) << what << ", rerun";
            if (HasFailure()) return;
        }
    }
    // Retries and the version check absorb some single faults, not all.
    EXPECT_GT(successes, 0);
    EXPECT_LT(successes, runs);
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateSweep, ::testing::Values(Transfer::OutputReports, Transfer::Packets),
                         [](const auto& info) {
                             return std::string(info.param == Transfer::Packets ? "Packets" : "OutputReports");
                         });

}  // namespace
