// A calibration end to end, as an operator runs it: Parameters -> Coordinate ->
// Calibration on the full simulated controller; touches pushed into its touch
// stream through the control socket reach the window from the library's
// notification thread (TouchNotifyCallback -> ForwardTouchToCalibration), each
// held ten ticks of timer 2; the controller ends with the new range, and the
// sheet's exit leaves it so.
#include "params/calibration_dlg.h"
#include "params/para_dlg.h"
#include "params/xf6_coord_dlg.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "shell/utility_dlg.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_timers.h"
#include "vcx_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

#include <array>

namespace {

// The controller's coordinate range words as it holds them now.
std::array<int, 4> controllerRange() {
    vcx::Controller& c = vcx::controller();
    ParameterCoordinate r{};
    r.cbSize = sizeof r;
    if (!c.records.paraFuncTable.GetParameterCoordinate ||
        !c.records.paraFuncTable.GetParameterCoordinate(c.dev.device, c.records.generalInfo.groupMask, &r))
        return {-1, -1, -1, -1};
    return {r.word[0].value, r.word[1].value, r.word[2].value, r.word[3].value};
}

// One touch: down (contact 1) at (x, y) from the controller, held ten ticks, up.
void touch(vcx::CQVCalibrationDlg& d, int x, int y) {
    const int phase = d.phase();
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x71 %1 %2").arg(x).arg(y)), "ok");
    ASSERT_TRUE(processUntil([&] { return d.timers()->isActive(2); }));
    for (int i = 0; i < vcx::kHoldTicks; ++i) ASSERT_TRUE(qvui::fireTimer(&d, 2));
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x41 %1 %2").arg(x).arg(y)), "ok");
    ASSERT_TRUE(processUntil([&] { return d.phase() != phase; }));
}

TEST(VcxFullCalibration, TouchesFromTheControllerCalibrateItAndTheExitKeepsTheRange) {
    qvui::MessageBoxResponder boxes([](const qvui::MessageBoxRequest& q) {
        ADD_FAILURE() << "unexpected box: " << q.text.toStdString();
        return qvui::MessageAnswer::Ok;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    auto* sheet = qobject_cast<vcx::CQVParaDlg*>(dlg.page(vcx::kPageParameters));
    ASSERT_TRUE(sheet && sheet->isUsable());
    qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::pageButtonId(vcx::kPageParameters)))->click();
    sheet->tabBar()->setCurrentIndex(6);
    ASSERT_EQ(sheet->tabBar()->tabText(6), "Coordinate");
    auto* page = qobject_cast<vcx::CQVxF6CoordDlg*>(sheet->page(170));
    ASSERT_TRUE(page && page->isVisibleTo(sheet));
    ASSERT_EQ(controllerRange(), (std::array<int, 4>{0, 4095, 0, 4095}));

    bool pageBusy = false;
    qvui::DialogResponder operatorHand([&](QDialog& d) {
        auto* cal = qobject_cast<vcx::CQVCalibrationDlg*>(&d);
        EXPECT_NE(cal, nullptr);
        if (!cal) return qvui::DialogChoice::Reject;
        pageBusy = dlg.pageBusy();
        // Near the targets at (5, 5) % and (95, 95) % of 0..4095, then the check point.
        touch(*cal, 300, 310);
        touch(*cal, 3800, 3790);
        EXPECT_EQ(cal->phase(), vcx::kPhaseCheck);
        touch(*cal, 1228, 2866);
        EXPECT_EQ(cal->phase(), vcx::kPhaseDone);
        EXPECT_TRUE(qvui::fireTimer(cal, 1));
        return qvui::DialogChoice::Reject;  // the window ended itself with OK
    });
    qobject_cast<QPushButton*>(qvui::findControl(page, 450))->click();
    EXPECT_TRUE(pageBusy);
    EXPECT_FALSE(dlg.pageBusy());
    EXPECT_TRUE(vcx::CalibrationPending());
    // x: 300..3800 widened by 3500 * 5 / 90 = 194; y: 310..3790 by 193.
    const std::array<int, 4> calibrated{106, 3994, 117, 3983};
    EXPECT_EQ(controllerRange(), calibrated);
    EXPECT_EQ(qvui::findControl<QLineEdit>(page, 520)->text(), "106");
    EXPECT_EQ(qvui::findControl<QLineEdit>(page, 523)->text(), "3983");

    // Leaving the page (the sheet's exit) writes the working copy as the calibration left it.
    sheet->ExitDlg();
    EXPECT_FALSE(vcx::CalibrationPending());
    EXPECT_EQ(controllerRange(), calibrated);
    dlg.ExitDlg();
}

}  // namespace
