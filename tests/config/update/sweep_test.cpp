// The fault sweep: every command of a clean update's trace in turn refused
// once, silent once, or the controller gone from it on. A run succeeds only
// with the flash equal to the file and that version running; every run leaves
// the page idle; with the fault cleared a rerun completes.

#include "update_support.h"

#include <gtest/gtest.h>

namespace {

class UpdateSweep : public updatetest::UpdatePage {
protected:
    fwtest::Image im = updatetest::NewImage();

    bool prepare() {
        TearDown();
        if (!start()) return false;
        dev().editProfile([](qvsim::ControllerProfile& p) { p.boot->image = updatetest::NewIdentity(); });
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

TEST_F(UpdateSweep, EveryCommandFaulted) {
    ASSERT_TRUE(prepare());
    run();
    ASSERT_TRUE(page->resultSuccess());
    const size_t n = dev().trace().size();
    ASSERT_GT(n, 20u);

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

}  // namespace
