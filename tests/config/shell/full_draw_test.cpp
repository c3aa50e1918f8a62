// The region draw test end to end, as the production line runs it: the main
// window on the full simulated controller, the test opened modally through the
// entry the production items use, and six strokes played as touch packets of
// the controller, which reach the window through the library's notification
// thread and the program's touch callback. Timers are ticked by hand.
#include "diag/draw_test_dlg.h"
#include "draw_test_support.h"

#include "core/controller_api.h"
#include "shell/utility_dlg.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_timers.h"
#include "vcx_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Stroke `step` from the centre of its start corner to that of its end corner,
// as touch packets of contact 0 (0x70 down and moving, 0x40 up).
void playStroke(vcx::CDrawTestDlg& d, int step) {
    const vcx::DrawTestStroke& s = vcx::DrawTestStrokeOf(step);
    const QPoint from = d.regions().corners[size_t(s.from - 1)].center();
    const QPoint to = d.regions().corners[size_t(s.to - 1)].center();
    constexpr int n = 10;
    QPoint last;
    for (int i = 0; i <= n; ++i) {
        last = from + (to - from) * i / n;
        const int region = vcx::DrawTestHit(d.regions(), step, last);
        ASSERT_TRUE(region == 5 || region == s.from || region == s.to) << "the script leaves the path";
        const QPoint c = controllerPoint(d, last);
        ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x70 %1 %2").arg(c.x()).arg(c.y())), "ok");
    }
    const QPoint c = controllerPoint(d, last);
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x40 %1 %2").arg(c.x()).arg(c.y())), "ok");
    ASSERT_TRUE(processUntil([&] { return d.step() == step + 1; })) << "stroke " << step << " ended at step " << d.step();
}

TEST(VcxFullDrawTest, SixStrokesFromTheControllerPass) {
    qvui::MessageBoxResponder boxes([](const qvui::MessageBoxRequest& q) {
        ADD_FAILURE() << "unexpected box: " << q.text.toStdString();
        return qvui::MessageAnswer::Ok;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    ASSERT_TRUE(vcx::controller().touchRegistered);

    bool ran = false;
    qvui::DialogResponder operatorHand([&](QDialog& d) {
        auto* test = qobject_cast<vcx::CDrawTestDlg*>(&d);
        EXPECT_NE(test, nullptr);
        if (!test) return qvui::DialogChoice::Reject;
        ran = true;
        EXPECT_TRUE(vcx::DrawTestRunning());
        EXPECT_EQ(test->tolerance(), 5);
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerStart));
        for (int s = 0; s < 6; ++s) {
            playStroke(*test, s);
            if (::testing::Test::HasFatalFailure()) return qvui::DialogChoice::Reject;
        }
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerPass));
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerEnd));
        return qvui::DialogChoice::Reject; // the window ended itself
    });
    EXPECT_EQ(vcx::RunDrawTest(vcx::controller(), 0, &dlg), 1);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(vcx::DrawTestRunning());
    dlg.ExitDlg();
}

} // namespace
