// The older coordinate page: the tail orientation and the edge levels it saves.
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

TEST_F(PageBench, TheOlderCoordinatePageTakesAnOddTailAsBottomAndSavesEdgeLevels) {
    c.records.coordinate.item8[3].value = 5;
    vcx::CQVOldCoordDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(c.records.coordinate.item8[3].value, 0);
    EXPECT_TRUE(at<QRadioButton>(&page, 460)->isChecked());
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 512)), 224);
    at<QRadioButton>(&page, 462)->click();
    EXPECT_EQ(c.records.coordinate.item8[3].value, 2);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 512)), 226);
    // Edges 0x14 of 0xFF: level 2 of 0..7.
    auto* s0 = at<QSlider>(&page, 504);
    EXPECT_EQ(s0->maximum(), 7);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "2");
    c.records.coordinate.item12[1].maximum = 0x0F;
    c.records.coordinate.item12[1].value = 0x00;
    page.LoadDlgItem();
    at<QSlider>(&page, 505)->setSliderPosition(7);
    page.sliderEnded(1, 7);
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "7");
    s0->setSliderPosition(3);
    page.SaveDlgItem();
    EXPECT_EQ(c.records.coordinate.item12[0].value, 0x16);
    EXPECT_EQ(c.records.coordinate.item12[1].value, 0x0F);
    EXPECT_EQ(c.records.coordinate.item12[2].value, 0x14);
    // Without all four edge items the edge controls are hidden and nothing is saved.
    c.records.coordinate.item12[3].present = 0;
    page.LoadDlgItem();
    EXPECT_TRUE(shownOf(&page, {340, 504, 505, 506, 507, 320, 510, 511}).empty());
    page.SaveDlgItem();
    EXPECT_EQ(c.records.coordinate.item12[0].value, 0x16);
}

}  // namespace
