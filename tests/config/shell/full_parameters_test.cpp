// The main window on the full controller, as a user meets the Parameters page:
// its tabs, a palm-rejection change through the confirmation box, Apply, the
// reset and reconnect, and the change shown again from the controller.
#include "params/para_dlg.h"
#include "params/param_bitmaps.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "core/program_state.h"
#include "shell/utility_dlg.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/window_message.h"
#include "vcx_support.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void tick(QObject* window, int timer, int times = 1) {
    for (int i = 0; i < times; ++i) qvui::sendMessage(window, qvui::WM_TIMER, quint64(timer), 0);
}

TEST(VcxFullParameters, APalmRejectionChangeReachesTheControllerAndShowsAgainAfterTheReconnect) {
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder answer([&](const qvui::MessageBoxRequest& q) {
        boxes.push_back(q);
        return qvui::MessageAnswer::Ok;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    auto* sheet = qobject_cast<vcx::CQVParaDlg*>(dlg.page(vcx::kPageParameters));
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->isUsable());
    auto* button = qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::pageButtonId(vcx::kPageParameters)));
    ASSERT_TRUE(button->isEnabled());
    button->click();
    ASSERT_EQ(dlg.currentPage(), vcx::kPageParameters);
    ASSERT_EQ(sheet->tabBar()->count(), 7);
    sheet->tabBar()->setCurrentIndex(3);
    ASSERT_EQ(sheet->tabBar()->tabText(3), "Palm");

    auto* rejection = qobject_cast<QLabel*>(qvui::findControl(sheet->page(165), 510));
    ASSERT_NE(rejection, nullptr);
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOn);
    QTest::mouseClick(rejection, Qt::LeftButton);
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOff);

    // Apply, as the page's first command button sends it.
    auto* apply = qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::kIdFirstCommand));
    ASSERT_EQ(apply->text(), "Apply");
    apply->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Modify Parameter List");
    EXPECT_EQ(boxes[0].text, "Palm Rejection Modify : ( OFF )\n");
    EXPECT_TRUE(dlg.reconnectPending());
    // The page's work ended with the hand-over to the reconnect.
    EXPECT_FALSE(dlg.pageBusy());

    // The controller was reset; the reconnect reads it anew.
    qvui::sendMessage(&dlg, qvui::WM_TIMER, 3, 0);
    EXPECT_FALSE(dlg.pageBusy());
    ASSERT_TRUE(sheet->isUsable());
    EXPECT_EQ(vcx::controller().records.palm.item5.stored, 1);
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOff);
    EXPECT_EQ(boxes.size(), 1u);
    dlg.ExitDlg();
}

// Apply, Import and Reload Default lock the Information page's Folder Configure
// while they work; once they handed the controller to the reconnect it is back.
TEST(VcxFullParameters, FolderConfigureIsBackAfterApplyAndReloadDefault) {
    qvui::MessageBoxResponder answer([](const qvui::MessageBoxRequest&) { return qvui::MessageAnswer::No; });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    QWidget* folders = qvui::findControl(dlg.page(vcx::kPageInformation), 420);
    ASSERT_NE(folders, nullptr);
    ASSERT_TRUE(folders->isEnabled());
    auto* sheet = qobject_cast<vcx::CQVParaDlg*>(dlg.page(vcx::kPageParameters));
    ASSERT_TRUE(sheet->isUsable());
    for (int action : {0, 3}) {  // Apply (nothing changed: no question), Reload Default (No)
        SCOPED_TRACE(action);
        qvui::sendMessage(sheet, qvui::WM_TOOLBAR_ACTION, 0, action);
        ASSERT_TRUE(dlg.reconnectPending());
        EXPECT_TRUE(folders->isEnabled());
        tick(&dlg, 3);
        tick(&dlg, 8);
        ASSERT_TRUE(sheet->isUsable());
        EXPECT_TRUE(folders->isEnabled());
        EXPECT_FALSE(dlg.pageBusy());
    }
    dlg.ExitDlg();
}

// At item protocol 1.25 with the newer firmware, Reload Default "Yes" reloads
// every default, and once more when the reset controller arrives again.
TEST(VcxFullParameters, ReloadDefaultYesAtOneTwentyFiveReloadsAgainAtTheArrival) {
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder answer([&](const qvui::MessageBoxRequest& q) {
        boxes.push_back(q);
        return qvui::MessageAnswer::Yes;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    ASSERT_EQ(simControl("set /sim/hidraw0 paraVersion 125"), "ok");
    // Refresh resets the controller; found again it reads as 1.25.
    qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::kIdRefresh))->click();
    tick(&dlg, 3);
    ASSERT_FALSE(dlg.reconnectPending() && vcx::controller().dev.device == INVALID_HANDLE_VALUE);
    ASSERT_EQ(vcx::controller().dev.paraVersion, 125);
    auto* sheet = qobject_cast<vcx::CQVParaDlg*>(dlg.page(vcx::kPageParameters));
    ASSERT_TRUE(sheet->isUsable());
    ASSERT_EQ(simControl("trace clear /sim/hidraw0"), "ok");

    qvui::sendMessage(sheet, qvui::WM_TOOLBAR_ACTION, 0, 3);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Reload Default");
    EXPECT_TRUE(dlg.connection().reloadDefaultsOnArrival());
    EXPECT_TRUE(dlg.reconnectPending());
    // The reset controller left and came back: the removal, then the arrival.
    tick(&dlg, 13, 3);
    tick(&dlg, 12, 3);
    EXPECT_FALSE(dlg.connection().reloadDefaultsOnArrival());
    tick(&dlg, 3);
    const QStringList trace = simTrace("/sim/hidraw0");
    EXPECT_EQ(trace.filter("F6 00 91 55 AA").size(), 2) << trace.join(" | ").toStdString();
    ASSERT_EQ(simControl("set /sim/hidraw0 paraVersion 152"), "ok");
    dlg.ExitDlg();
}

}  // namespace
