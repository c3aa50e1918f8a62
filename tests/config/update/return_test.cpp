// How the controller comes back after its loader: after some of the reconnect
// timer's searches, or never. The page waits through the tries it has and no
// longer, and ends idle either way.

#include "update_support.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

struct ReturnCase {
    const char* name;
    const char* arrival;  // reenumerateArrival once the loader runs
    int searches;         // searches after the master's end: the timer's tries, then the arrival notice's
    bool success;
};

class UpdateReturn : public UpdatePage, public ::testing::WithParamInterface<ReturnCase> {};

TEST_P(UpdateReturn, TheReconnectTimerWaitsItsTriesAndNoMore) {
    ASSERT_TRUE(start());
    // The controller itself: its device may be off the bench at the end.
    qvsim::Controller& ctl = dev();
    // The loader's own entry comes back at once; its exit as the case says.
    bool set = false;
    const uint64_t w = bench->watch([&](const qvsim::DeviceEvent& e) {
        if (!e.arrival || set) return;
        set = true;
        std::string error;
        EXPECT_TRUE(qvsim::setControllerKey(ctl, "reenumerateArrival", GetParam().arrival, &error)) << error;
    });
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    page->timers()->start(13, 10);
    drive();
    bench->unwatch(w);
    ASSERT_TRUE(set);
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(pageStates().empty());
    EXPECT_EQ(pageStates().back(), 0u);
    EXPECT_EQ(SearchesAfterTheMastersEnd(), GetParam().searches);
    EXPECT_EQ(page->resultSuccess(), GetParam().success) << page->resultText().toStdString();
    const auto s = steps();
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back(), GetParam().success ? "STATE_FU_CHK_RES" : "STATE_FU_FAILED");
    // The flash holds the file in every case: only the return differs.
    EXPECT_EQ(ctl.profile().boot->flash, updatetest::Padded(im.data));
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateReturn,
                         ::testing::Values(ReturnCase{"AfterFourSearches", "enumerations 4", 4 + 1, true},
                                           ReturnCase{"OnTheLastSearch", "enumerations 10", 10 + 1, true},
                                           ReturnCase{"OneSearchTooLate", "enumerations 11", 10, false},
                                           ReturnCase{"AfterADelay", "delay 3500", 4 + 1, true},
                                           ReturnCase{"Never", "never", 10, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
