// The misc page: its switches and engineer controls, and the event-mask dialog.
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

TEST_F(PageBench, TheEventMaskDialogMirrorsTheBitsAndApplyKeepsTheHighByte) {
    vcx::CQVxF6MiscDlg page(c, nullptr);
    c.records.misc.item4.value = 0x0181;
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "181");
    vcx::CQVEventMaskDlg* dlg = page.eventMaskDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(dlg->isVisible());
    page.clickMask();
    EXPECT_TRUE(dlg->isVisible());
    std::vector<int> checked;
    for (int id = 470; id <= 477; ++id)
        if (at<QCheckBox>(dlg, id)->isChecked()) checked.push_back(id);
    EXPECT_EQ(checked, (std::vector<int>{470, 477}));  // ABNORMAL and TOUCH_SW
    EXPECT_EQ(at<QCheckBox>(dlg, 470)->text(), "ABNORMAL");
    EXPECT_EQ(at<QCheckBox>(dlg, 477)->text(), "TOUCH_SW");
    auto* hex = at<QLineEdit>(dlg, 520);
    EXPECT_EQ(hex->text(), "81");
    hex->setText("3C");
    checked.clear();
    for (int id = 470; id <= 477; ++id)
        if (at<QCheckBox>(dlg, id)->isChecked()) checked.push_back(id);
    EXPECT_EQ(checked, (std::vector<int>{472, 473, 474, 475}));
    // A box click rewrites the edit.
    at<QCheckBox>(dlg, 471)->click();
    EXPECT_EQ(hex->text(), "3E");
    QTest::mouseClick(at(dlg, 1), Qt::LeftButton);
    EXPECT_EQ(c.records.misc.item4.value, 0x013E);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "13E");
    QTest::keyRelease(dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(PageBench, MiscSwitchesAndTheirEngineerControls) {
    vcx::CQVxF6MiscDlg page(c, nullptr);
    page.LoadDlgItem();
    // Watchdog 1 (on), base update 0, event notify 0, remote wakeup 0; 1 is on.
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), vcx::kBitmapOn);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 512)), vcx::kBitmapOff);
    page.clickSwitch(2);
    EXPECT_EQ(c.records.misc.item[1].value, 1);
    page.clickSwitch(1);
    EXPECT_EQ(c.records.misc.item[2].value, 1);
    EXPECT_EQ(shownOf(&page, {330, 331, 332, 333, 511, 513, 320, 510, 512}), (std::vector<int>{510, 512}));
    vcx::programState().engineerMode = true;
    page.CheckDlgItem();
    EXPECT_EQ(shownOf(&page, {330, 331, 332, 333, 511, 513, 320}).size(), 7u);
}

}  // namespace
