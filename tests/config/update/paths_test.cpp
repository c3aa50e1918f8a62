// The update state machine's paths against the simulated boot loader, driven
// by the page's own timers in virtual time.

#include "update_support.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

// No identity is injected: the controller runs what it was flashed with.
TEST_F(UpdatePage, ASingleImageIsProgrammedAndItsVersionRuns) {
    ASSERT_TRUE(start());
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    page->timers()->start(13, 10);  // the Update button
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_TRUE(page->resultShown());
    EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data));
    EXPECT_EQ(steps(), (std::vector<std::string>{"STATE_FU_START", "STATE_FU_PROC", "STATE_FU_MST", "STATE_FU_MST_END",
                                                 "STATE_FU_WAIT_RESET", "STATE_FU_CHK_RES"}));
    EXPECT_EQ(pageStates(), (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(dev().profile().minor, 6);
    // The read-out after the update names the file's version.
    readRecords();
    const QString running = QString::fromUtf16(c.records.fwVersion.master);
    EXPECT_TRUE(vcx::VersionMatches(running, fw.LoadedFirmware[0].versionText, true)) << running.toStdString();
}

}  // namespace
