// The main window moving from one controller to the other: what it shows of the
// second comes from the second alone, also after a reset of it.
#include "shell/utility_dlg.h"

#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"
#include "vcx_support.h"

#include <QDir>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

void tick(QObject* window, int timer, int times = 1) {
    for (int i = 0; i < times; ++i) qvui::sendMessage(window, qvui::WM_TIMER, quint64(timer), 0);
}

TEST(VcxTwoControllers, TheSecondControllerShowsNothingOfTheFirst) {
    std::vector<QString> boxes;
    qvui::MessageBoxResponder answer([&](const qvui::MessageBoxRequest& q) {
        boxes.push_back(q.text);
        return qvui::MessageAnswer::Ok;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).startsWith("QV2081A")) << dlg.fieldText(308).toStdString();
    ASSERT_FALSE(dlg.fieldText(vcx::kIdParamCrc).isEmpty());
    ASSERT_TRUE(vcx::controller().dev.listsRead);

    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    tick(&dlg, 13, 3);
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).startsWith("QV6101")) << dlg.fieldText(308).toStdString();
    // The Ostra controller gives no parameter checksum and no lists to compute one over.
    const auto checkSecond = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(dlg.fieldText(vcx::kIdParamCrc), "");
        const vcx::Controller& c = vcx::controller();
        EXPECT_FALSE(c.dev.listsRead);
        EXPECT_EQ(c.records.paraList.touchList, nullptr);
        EXPECT_EQ(c.dev.parameterCrc, 0);
        EXPECT_FALSE(c.dev.parametersRead);
        EXPECT_EQ(c.records.generalInfo.groupMask, 0);
    };
    checkSecond("after the move");

    // Reset Device reads the second controller anew: still nothing of the first.
    qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::kIdRefresh))->click();
    tick(&dlg, 3);
    tick(&dlg, 8);
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).startsWith("QV6101"));
    checkSecond("after Reset Device");
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    dlg.ExitDlg();
}

// "Log UI Parameters Information" needs the controller's parameters: gone with
// the controller (the window goes straight from the demo controller to none), as
// at a start without one, and a request from outside writes nothing.
TEST(VcxTwoControllers, TheUiParametersLogGoesWithTheController) {
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    QWidget* log = qvui::findControl(&dlg, vcx::kIdFirstCommand + 1);
    // The Ostra controller first: unplugged, the window stays on the demo one.
    ASSERT_EQ(simControl("unplug /sim/hidraw1"), "ok");
    tick(&dlg, 13, 3);
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).startsWith("QV2081A"));
    dlg.SelectPage(vcx::kPageInformation, 2);
    ASSERT_EQ(qobject_cast<QPushButton*>(log)->text(), "Log UI Parameters Information");
    ASSERT_TRUE(log->isEnabled());

    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    tick(&dlg, 13, 3);
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).isEmpty());
    ASSERT_EQ(dlg.currentPage(), vcx::kPageInformation);
    EXPECT_FALSE(log->isEnabled());
    EXPECT_TRUE(qvui::findControl(&dlg, vcx::kIdFirstCommand)->isEnabled());
    int asked = 0;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return ++asked, QDir::tempPath(); });
    qvui::sendMessage(dlg.page(vcx::kPageInformation), qvui::WM_TOOLBAR_ACTION, 0, 1);
    EXPECT_EQ(asked, 0);

    // Back with the demo controller.
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    tick(&dlg, 12, 3);
    ASSERT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).startsWith("QV2081A"));
    dlg.SelectPage(vcx::kPageInformation, 2);
    EXPECT_TRUE(log->isEnabled());
    ASSERT_EQ(simControl("plug /sim/hidraw1"), "ok");
    tick(&dlg, 12, 3);
    dlg.ExitDlg();
}

}  // namespace
