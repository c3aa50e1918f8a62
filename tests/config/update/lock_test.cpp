// The parameter update lock in the Field Update's parameter steps: the library
// leaves its lock on when a locked write fails, so the page takes it off on
// every way out, and says so when even that fails.

#include "update_support.h"

#include "ui/control_ids.h"
#include "ui/string_table.h"

#include <QCheckBox>

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

struct LockCase {
    const char* name;
    bool package;        // the package's parameter step (else the factory defaults)
    bool releaseFails;   // F6 00 9F 00 00 refused as well
    uint32_t text;
};

class UpdateLock : public UpdatePage, public ::testing::WithParamInterface<LockCase> {};

TEST_P(UpdateLock, AFailedLockedWriteReleasesTheLock) {
    const LockCase& k = GetParam();
    ASSERT_TRUE(start());
    if (k.package) {
        // The firmware the controller runs: only the parameter step has work.
        fwtest::Image running = updatetest::NewImage();
        running.minor = 5;
        running.build1 = 3;
        running.build2 = 1;
        useFile(updatetest::Package(running, dev().profile().paramBanks.at(0x90).at(14)), "package.pfp");
        dev().refuse(0xE1);  // the list write
    } else {
        auto* factory = qvui::findControl<QCheckBox>(page.get(), vcx::CQVUpdateDlg::kIdFactory);
        ASSERT_NE(factory, nullptr);
        factory->setChecked(true);
        dev().refuse(qvsim::PacketPrefix({0xF6, 0x00, 0x91}, {0xFF, 0xFF, 0xFF, 0, 0}));  // the reload
    }
    if (k.releaseFails) dev().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x9F, 0x00, 0x00}));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_FALSE(page->resultSuccess());
    ASSERT_FALSE(steps().empty());
    EXPECT_EQ(steps().back(), "STATE_PU_FAILED");
    EXPECT_EQ(page->resultText(), qvui::loadString(k.text)) << page->resultText().toStdString();
    // The lock was taken, and the last lock command takes it off.
    std::vector<uint8_t> lock;
    for (const auto& e : dev().trace())
        if (e.packet[0] == 0xF6 && e.packet[1] == 0x00 && e.packet[2] == 0x9F) lock.push_back(e.packet[4]);
    ASSERT_FALSE(lock.empty());
    EXPECT_EQ(lock.front(), 1);
    EXPECT_EQ(lock.back(), 0);
    EXPECT_EQ(dev().profile().updateLocked, k.releaseFails);
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateLock,
                         ::testing::Values(LockCase{"PackageWrite", true, false, 1323},
                                           LockCase{"PackageWriteAndRelease", true, true, 1335},
                                           LockCase{"FactoryReload", false, false, 1323},
                                           LockCase{"FactoryReloadAndRelease", false, true, 1335}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
