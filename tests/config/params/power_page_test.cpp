// The power-saving page: the interval steps, the idle delay shown as value + 1
// (and the base page's driver number, shown the same way), and the idle switch
// that disables the rest.
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

TEST_F(PageBench, PowerIntervalStepsDelayPlusOneAndIdleOffDisablesTheRest) {
    vcx::CQVxF6PowerDlg page(c, nullptr);
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "10 ms");
    EXPECT_EQ(at<QLabel>(&page, 322)->text(), "50 ms");
    page.LoadDlgItem();
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), vcx::kBitmapOn);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 511)), vcx::kBitmapOn);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "50 ms");
    EXPECT_FALSE(at(&page, 450)->isEnabled());
    EXPECT_TRUE(at(&page, 451)->isEnabled());
    // 451 "Decrease ( - )" shortens the interval: the index goes up to 3 and stops.
    for (int k = 0; k < 4; ++k) QTest::mouseClick(at(&page, 451), Qt::LeftButton);
    EXPECT_EQ(c.records.powerSaving.item[2].value, 3);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "10 ms");
    EXPECT_FALSE(at(&page, 451)->isEnabled());
    page.step(true);
    EXPECT_EQ(c.records.powerSaving.item[2].value, 3);
    EXPECT_FALSE(at(&page, 451)->isEnabled());
    QTest::mouseClick(at(&page, 450), Qt::LeftButton);
    EXPECT_EQ(c.records.powerSaving.item[2].value, 2);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "20 ms");
    // The delay shows value + 1 (2 -> "3"); typing 1 stores 0, 0 is raised to 1.
    auto* delay = at<QLineEdit>(&page, 520);
    EXPECT_EQ(delay->text(), "3");
    delay->setText("1");
    EXPECT_EQ(c.records.powerSaving.item[3].value, 0);
    delay->setText("0");
    EXPECT_EQ(c.records.powerSaving.item[3].value, 0);
    EXPECT_EQ(delay->text(), "1");
    delay->setText("99");
    EXPECT_EQ(c.records.powerSaving.item[3].value, 9);
    EXPECT_EQ(delay->text(), "10");
    // Idle off (outside engineer mode) disables the interval pair and the delay.
    page.clickSwitch(1);
    EXPECT_EQ(c.records.powerSaving.item[1].value, 1);
    for (int id : {450, 451, 520, 320}) EXPECT_FALSE(at(&page, id)->isEnabled()) << id;
    page.clickSwitch(1);
    for (int id : {450, 451, 520}) EXPECT_TRUE(at(&page, id)->isEnabled()) << id;
    // Engineer mode keeps them usable with idle off.
    c.records.powerSaving.item[1].value = 1;
    vcx::programState().engineerMode = true;
    page.LoadDlgItem();
    EXPECT_TRUE(at(&page, 520)->isEnabled());
}

// A value shown as value + 1 never wraps: with a maximum of 255 the edit offers 1..255.
TEST_F(PageBench, PlusOneEditsDoNotWrapAtTheTopOfTheByte) {
    c.records.powerSaving.item[3] = {255, 255, 255, 0, 1};
    c.records.base.item[0] = {255, 255, 255, 0, 1};
    vcx::CQVxF6PowerDlg power(c, nullptr);
    vcx::CQVxF6BaseDlg base(c, nullptr);
    power.LoadDlgItem();
    base.LoadDlgItem();
    EXPECT_EQ(at<QLineEdit>(&power, 520)->text(), "255");
    EXPECT_EQ(at<QLineEdit>(&base, 520)->text(), "255");
    EXPECT_EQ(c.records.powerSaving.item[3].value, 255);  // loading changes nothing
    at<QLineEdit>(&power, 520)->setText("256");
    EXPECT_EQ(c.records.powerSaving.item[3].value, 254);
    EXPECT_EQ(at<QLineEdit>(&power, 520)->text(), "255");
    at<QLineEdit>(&base, 520)->setText("999");
    EXPECT_EQ(c.records.base.item[0].value, 254);
    at<QLineEdit>(&base, 520)->setText("1");
    EXPECT_EQ(c.records.base.item[0].value, 0);
}

}  // namespace
