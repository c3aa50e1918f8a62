// The main window binds the built library (found in ../lib relative to the
// program), loads the settings into the user's data folder and names the
// simulated controller's model.
#include "shell/utility_dlg.h"

#include "shell/app_settings.h"
#include "shell/controller_api.h"
#include "shell/platform/message_box.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

TEST(VcxUtilityDlg, BindsTheLibraryLoadsSettingsAndNamesTheController) {
    int boxes = 0;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest&) {
        ++boxes;
        return qvui::MessageAnswer::Ok;
    });
    {
        vcx::CVCXUtilityDlg dlg;
        ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
        EXPECT_EQ(boxes, 0);
        EXPECT_TRUE(vcx::controller().libraryPath.endsWith("/lib/libQV_Standard.so"))
            << vcx::controller().libraryPath.toStdString();
        EXPECT_TRUE(QRegularExpression("^Controller: QV[0-9]+[A-Z]? \\(/sim/hidraw0\\)$")
                        .match(dlg.controllerText())
                        .hasMatch())
            << dlg.controllerText().toStdString();
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        EXPECT_EQ(vcx::appSettings().folders[vcx::kDiagOSFolder], data + "/Quorvane Utility/Diagnostic");
        EXPECT_TRUE(QDir(data + "/Quorvane Utility/ProcessSetting").exists());
        EXPECT_EQ(dlg.windowTitle(), "Quorvane VCXMSet");
    }
    // The window's end unbinds: the notifications are unregistered and the module freed.
    EXPECT_EQ(vcx::controller().library, nullptr);
}

} // namespace
