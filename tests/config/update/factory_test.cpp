// Factory defaults without a file: the defaults reloaded, flushed, the
// controller reset and found again; below parameter version 1.26 on an
// item-protocol controller a second reload and reset follow.

#include "update_support.h"

#include <QCheckBox>

#include "ui/control_ids.h"
#include "ui/string_table.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

size_t countExact(qvsim::Controller& c, const qvsim::Packet& p) {
    size_t n = 0;
    for (const auto& e : c.trace()) n += e.packet == p;
    return n;
}

TEST_F(UpdatePage, FactoryDefaultsReloadAllTwiceBelowVersion126) {
    for (int version : {125, 152}) {
        SCOPED_TRACE(version);
        TearDown();
        ASSERT_TRUE(start());
        dev().editProfile([&](qvsim::ControllerProfile& p) { p.paraVersion = uint16_t(version); });
        c.dev.paraVersion = version;
        for (int id : {vcx::CQVUpdateDlg::kIdFactory, vcx::CQVUpdateDlg::kIdHostPanel})
            qvui::findControl<QCheckBox>(page.get(), id)->setChecked(true);
        dev().clearTrace();
        page->timers()->start(13, 10);
        drive();
        EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
        EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
        EXPECT_EQ(page->resultText(), qvui::loadString(1358));
        const size_t reloads = countExact(dev(), {0xF6, 0x00, 0x91, 0x55, 0xAA});
        EXPECT_EQ(reloads, version < 126 ? 2u : 1u);
        EXPECT_EQ(countExact(dev(), {0xFE, 0, 0, 0, 0}), version < 126 ? 2u : 1u);
        const auto s = steps();
        const bool second = std::find(s.begin(), s.end(), "STATE_PU_RELOAD_WA") != s.end();
        EXPECT_EQ(second, version < 126);
        EXPECT_EQ(s.back(), "STATE_PU_CHK_RELOAD");
    }
}

TEST_F(UpdatePage, FactoryDefaultsThatCannotBeFlushedFail) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) { p.flushDone = 0; });
    qvui::findControl<QCheckBox>(page.get(), vcx::CQVUpdateDlg::kIdFactory)->setChecked(true);
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_FALSE(page->resultSuccess());
    EXPECT_EQ(page->resultText(), qvui::loadString(1323));
}

}  // namespace
