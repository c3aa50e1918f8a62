// The step table: every step the page's timers run has a row with its log name
// and a handler; a number without a row ends the run as a failure, also in the
// middle of programming.
#include "update_support.h"

#include "ui/window_message.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using updatetest::UpdatePage;
using Page = vcx::CQVUpdateDlg;

TEST(UpdateSteps, EveryStepNumberHasOneRowANameAndAHandler) {
    std::set<uint32_t> numbers;
    uint32_t last = 0;
    for (const Page::StepRow& row : Page::stepTable()) {
        SCOPED_TRACE(row.number);
        EXPECT_GT(row.number, last) << "in number order, each once";
        last = row.number;
        numbers.insert(row.number);
        ASSERT_NE(row.name, nullptr);
        EXPECT_EQ(std::string(row.name).rfind("STATE_", 0), 0u) << row.name;
        EXPECT_NE(row.run, nullptr);
    }
    std::set<uint32_t> steps;
    for (uint32_t n = Page::kStateFuStart; n <= Page::kStateVuChkRes; ++n) steps.insert(n);
    EXPECT_EQ(numbers, steps);
    // The names the log gives, as the design names its steps (29..31 share one).
    const std::pair<uint32_t, const char*> named[] = {
        {Page::kStateFuStart, "STATE_FU_START"},       {Page::kStateFuProc, "STATE_FU_PROC"},
        {Page::kStateFuSlv, "STATE_FU_SLV"},           {Page::kStateFuSlvEnd, "STATE_FU_SLV_END"},
        {Page::kStateFuMst, "STATE_FU_MST"},           {Page::kStateFuMstEnd, "STATE_FU_MST_END"},
        {Page::kStateFuWaitOldBt, "STATE_FU_WAIT_OLDBT"}, {Page::kStateFuWaitReset, "STATE_FU_WAIT_RESET"},
        {Page::kStateFuFailed, "STATE_FU_FAILED"},     {Page::kStateFuChkRes, "STATE_FU_CHK_RES"},
        {Page::kStatePuProc, "STATE_PU_PROC"},         {Page::kStatePuReload, "STATE_PU_RELOAD"},
        {Page::kStatePuReloadWa, "STATE_PU_RELOAD_WA"}, {Page::kStatePuFailed, "STATE_PU_FAILED"},
        {Page::kStatePuChkRes, "STATE_PU_CHK_RES"},    {Page::kStatePuChkReload, "STATE_PU_CHK_RELOAD"},
        {Page::kStateVuProc, "STATE_VU_PROC"},         {Page::kStateVuFailed, "STATE_VU_PROC"},
        {Page::kStateVuChkRes, "STATE_VU_PROC"},
    };
    for (const auto& [number, name] : named) {
        bool found = false;
        for (const Page::StepRow& row : Page::stepTable())
            if (row.number == number) found = std::string(row.name) == name;
        EXPECT_TRUE(found) << number << " " << name;
    }
}

class UpdateUnknownStep : public UpdatePage {
protected:
    void expectFailedEnd(const std::string& what) {
        EXPECT_EQ(page->state(), Page::kIdle) << what;
        EXPECT_TRUE(page->resultShown()) << what;
        EXPECT_FALSE(page->resultSuccess()) << what;
        ASSERT_FALSE(pageStates().empty()) << what;
        EXPECT_EQ(pageStates().back(), 0u) << what;
        // Nothing of the run goes on.
        for (int id = 1; id <= 31; ++id) EXPECT_FALSE(page->timers()->isActive(id)) << what << ": timer " << id;
    }
};

TEST_F(UpdateUnknownStep, EndsInFinishUpdateFalse) {
    for (int step : {11, 12}) {
        SCOPED_TRACE(step);
        TearDown();
        ASSERT_TRUE(start());
        // Nothing in the page starts these timers: they come only from outside.
        qvui::sendMessage(page.get(), qvui::WM_TIMER, quint64(step));
        expectFailedEnd("idle page");
        EXPECT_TRUE(steps().empty()) << "no step of the table ran";
    }
}

TEST_F(UpdateUnknownStep, InTheMiddleOfProgrammingStopsTheBlocks) {
    ASSERT_TRUE(start());
    useFile(fwtest::image(updatetest::NewImage()));
    page->timers()->start(int(Page::kStateFuStart), 10);
    // Until the master's blocks are being written.
    for (int ticks = 0; ticks < 100 && !page->timers()->isActive(1); ++ticks) {
        const int id = page->timers()->isActive(int(Page::kStateFuStart)) ? int(Page::kStateFuStart) : -1;
        if (id < 0) break;
        qvui::fireTimer(page.get(), id);
    }
    ASSERT_TRUE(page->timers()->isActive(1)) << ::testing::PrintToString(steps());
    ASSERT_TRUE(page->UpdateBusy());
    qvui::sendMessage(page.get(), qvui::WM_TIMER, 12);
    expectFailedEnd("while programming");
    EXPECT_EQ(steps().back(), "STATE_FU_MST");
}

}  // namespace
