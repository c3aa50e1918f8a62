// An 'S' firmware is programmed into each slave through its own loader
// (15, 16), then the master is reset and the slave versions are checked.

#include "update_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

// One slave running the update profile's firmware (QV2081A 2.5) with a loader
// of its own, reachable from the master.
void OneSlave(qvsim::ControllerProfile& p, const qvsim::BootFlash& boot) {
    qvsim::SlaveProfile s;
    s.identityNumber = 2081;
    s.letter = 1;
    s.major = 2;
    s.minor = 5;
    s.customer = 3;
    s.boot = boot;
    p.slaves = {s};
    p.slaveCount = 2;
    p.selectedSlaveAnswers = true;
    p.stateEx[1] = 0x80;  // the slaves can be reached
}

TEST_F(UpdatePage, AnSFirmwareProgramsTheSlave) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) {
        qvsim::BootFlash boot;
        boot.image = updatetest::NewIdentity();
        OneSlave(p, boot);
    });
    readRecords();
    ASSERT_EQ(c.records.fwVersion.slaveCount, 1);
    auto im = updatetest::NewImage();
    im.product = uint16_t(2081 | 0x8000);  // an 'S' firmware
    useFile(fwtest::image(im));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    const auto s = steps();
    EXPECT_EQ(s, (std::vector<std::string>{"STATE_FU_START", "STATE_FU_PROC", "STATE_FU_SLV", "STATE_FU_SLV_END",
                                           "STATE_FU_WAIT_RESET", "STATE_FU_CHK_RES"}));
    EXPECT_EQ(dev().profile().slaves[0].boot->flash, updatetest::Padded(im.data));
    EXPECT_TRUE(dev().profile().boot->flash.empty());  // the master's flash untouched
    EXPECT_EQ(dev().profile().slaves[0].minor, 6);
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
}

}  // namespace

namespace {

TEST_F(UpdatePage, TwoImagesOnAnOldBootResetTwice) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) {
        p.customerBytes = {2, 0, 6, 0};  // boot 2.06
        p.boot->oldLoader = true;        // it leaves on the reset
        p.boot->image = updatetest::NewIdentity();
    });
    readRecords();
    // The master's image first (entry 1), then entry 0.
    const auto master = updatetest::NewImage();
    auto second = updatetest::NewImage(300);
    fwtest::Bytes file = fwtest::image(master);
    fwtest::append(file, fwtest::image(second));
    useFile(file);
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_EQ(steps(), (std::vector<std::string>{"STATE_FU_START", "STATE_FU_PROC", "STATE_FU_MST", "STATE_FU_MST_END",
                                                 "STATE_FU_WAIT_OLDBT", "STATE_FU_WAIT_RESET", "STATE_FU_CHK_RES"}));
    EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(master.data));
    size_t resets = 0;
    for (const auto& e : dev().trace()) resets += e.packet == qvsim::Packet{0xFE, 0, 0, 0, 0};
    EXPECT_EQ(resets, 2u);
}

}  // namespace

namespace {

TEST_F(UpdatePage, ASlaveBlockThatFailsReturnsToTheMaster) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) {
        qvsim::BootFlash boot;
        boot.d1Failures[1] = -1;
        OneSlave(p, boot);
    });
    readRecords();
    auto im = updatetest::NewImage();
    im.product = uint16_t(2081 | 0x8000);
    useFile(fwtest::image(im));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_EQ(page->resultText(), qvui::loadString(1322));
    const auto sent = qvtest::Hex(qvtest::Received(dev()));
    // After the last D1 the master is selected again.
    auto lastD1 = std::find_if(sent.rbegin(), sent.rend(), [](const std::string& x) { return x.rfind("D1", 0) == 0; });
    ASSERT_NE(lastD1, sent.rend());
    EXPECT_NE(std::find(sent.rbegin(), lastD1, "F4 00 00 00 00"), lastD1);
}

}  // namespace
