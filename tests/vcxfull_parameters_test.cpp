// The main window on the full controller, as a user meets the Parameters page:
// its tabs, a palm-rejection change through the confirmation box, Apply, the
// reset and reconnect, and the change shown again from the controller.
#include "params/para_dlg.h"
#include "params/param_bitmaps.h"
#include "shell/app_settings.h"
#include "shell/controller_api.h"
#include "shell/main_ids.h"
#include "shell/program_state.h"
#include "shell/utility_dlg.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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
    EXPECT_TRUE(dlg.pageBusy());

    // The controller was reset; the reconnect reads it anew.
    qvui::sendMessage(&dlg, qvui::WM_TIMER, 3, 0);
    EXPECT_FALSE(dlg.pageBusy());
    ASSERT_TRUE(sheet->isUsable());
    EXPECT_EQ(vcx::controller().records.palm.item5.stored, 1);
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOff);
    EXPECT_EQ(boxes.size(), 1u);
    dlg.ExitDlg();
}

}  // namespace
