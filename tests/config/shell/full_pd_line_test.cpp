// The production-line window in this process on the full simulated controller:
// its read-out and scan view, and the state a preparation leaves. One begun at
// the start-up's 0xFFFF leaves 0xFFFF: the line is ready only when the
// controller program says so (state 1), and only then does the scan view start
// by itself.
#include "shell/pd_line_dlg.h"

#include "core/main_ids.h"
#include "core/program_state.h"
#include "diag/scan_dlg.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

namespace {

TEST(VcxPdLineWindow, PreparationShowsTheControllerAndKeepsTheStateItFound) {
    qvui::MessageBoxResponder boxes([](const qvui::MessageBoxRequest&) { return qvui::MessageAnswer::Ok; });
    vcx::StartupState& st = vcx::startupState();
    const vcx::StartupState before = st;
    st.pdLineState = 0xFFFF;
    {
        vcx::CVCXPDLineDlg dlg;
        ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
        EXPECT_EQ(st.pdLineState, 0xFFFF);
        EXPECT_FALSE(dlg.fieldText(vcx::kIdMasterVersion).isEmpty());
        EXPECT_FALSE(dlg.fieldText(vcx::kIdPanelInformation).trimmed().isEmpty());
        const int scale = vcx::programState().screenScale;
        EXPECT_EQ(dlg.scanView()->geometry(), QRect(1, 65, 725 * scale / 100, 390 * scale / 100));
        EXPECT_TRUE(dlg.scanView()->isVisibleTo(&dlg));
        st.pdLineState = 1;
        EXPECT_TRUE(dlg.PrepareDevice());
        EXPECT_EQ(st.pdLineState, 1);
        dlg.ClearDevice();
        EXPECT_TRUE(dlg.fieldText(vcx::kIdMasterVersion).isEmpty());
        EXPECT_FALSE(dlg.scanView()->isVisibleTo(&dlg));
    }
    st = before;
}

}  // namespace
