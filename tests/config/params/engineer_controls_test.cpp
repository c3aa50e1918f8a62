// Switching engineer mode shows the engineer controls of the pages already loaded.
#include "params/drvic_custom_dlg.h"
#include "core/field_table.h"
#include "params/finger_base_dlg.h"
#include "params/misc_dlg.h"
#include "params/old_coord_dlg.h"
#include "params/para_dlg.h"
#include "params/param_bitmaps.h"
#include "params/param_units.h"
#include "params/power_dlg.h"
#include "params/xf6_scan_dlg.h"
#include "params_page_support.h"
#include "core/program_hooks.h"
#include "core/tip_controls.h"
#include "ui/string_table.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::PageBench;

TEST_F(PageBench, AnEngineerModeSwitchShowsTheEngineerControlsOfTheLoadedPages) {
    vcx::CQVxF6PanelDlg panel(c, nullptr);
    vcx::CQVxF6DrvICDlg drive(c, nullptr);
    panel.LoadDlgItem();
    drive.LoadDlgItem();
    EXPECT_FALSE(at(&panel, 522)->isVisibleTo(&panel));
    EXPECT_FALSE(at(&drive, 452)->isVisibleTo(&drive));
    vcx::programState().engineerMode = true;
    for (vcx::CQVParaParentDlg* p : {static_cast<vcx::CQVParaParentDlg*>(&panel), static_cast<vcx::CQVParaParentDlg*>(&drive)})
        p->CheckDlgItem();
    EXPECT_TRUE(at(&panel, 522)->isVisibleTo(&panel));
    EXPECT_FALSE(at(&panel, 450)->isVisibleTo(&panel));
    EXPECT_TRUE(at(&drive, 452)->isVisibleTo(&drive));

    // The sheet reruns every page's CheckDlgItem when the main window switches the mode.
    vcx::programState().engineerMode = false;
    vcx::CQVParaDlg sheet(c, nullptr);
    ASSERT_NE(sheet.page(175), nullptr);
    EXPECT_FALSE(at(sheet.page(175), 452)->isVisibleTo(sheet.page(175)));
    vcx::programState().engineerMode = true;
    ASSERT_TRUE(vcx::programHooks().engineerModeChanged);
    vcx::programHooks().engineerModeChanged();
    EXPECT_TRUE(at(sheet.page(175), 452)->isVisibleTo(sheet.page(175)));
    EXPECT_TRUE(at(sheet.page(169), 511)->isVisibleTo(sheet.page(169)));
}

}  // namespace
