// The newer finger pages and the base page: their items and units, the driver
// number shown as value + 1, and the base page following the water mode.
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

TEST_F(PageBench, TheNewerFingerPagesShowTheirItemsAndUnits) {
    c.dev.paraVersion = 152;
    c.dev.featureFlags[3] = 0x80;  // doubles the pitch of 60 on this page
    vcx::CQVxF6FingerDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "0");
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), vcx::WindowLockUnit(120));
    EXPECT_EQ(at<QLabel>(&page, 322)->text(), vcx::FastMotionUnit(120));
    const char* shown[] = {"10", "8", "4", "2", "3", "0"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(at<QLineEdit>(&page, 520 + i)->text(), shown[i]) << i;
    // The sample rate limit (minimum 1) is shown as read; loading changed nothing.
    EXPECT_EQ(c.records.finger.item6[2].value, 0);
    at<QLineEdit>(&page, 525)->setText("00");
    EXPECT_EQ(c.records.finger.item6[2].value, 1);
    // Fast motion is the record's sixth slot (offset 52, item 4 of the protocol, maximum 20).
    at<QLineEdit>(&page, 522)->setText("99");
    EXPECT_EQ(c.records.finger.item4.value, 20);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), vcx::kBitmapOn);  // recognize 0 = on
    page.clickSwitch();
    EXPECT_EQ(c.records.finger.item9[4].value, 1);
    page.step(false);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "-1");

    vcx::CQVxF6Finger2Dlg second(c, nullptr);
    second.LoadDlgItem();
    EXPECT_EQ(at<QLineEdit>(&second, 521)->text(), "48");  // mutual threshold 0x30
    EXPECT_EQ(at<QLineEdit>(&second, 522)->text(), "64");
    // Dynamic and lower threshold (items 11, 12) are absent on the full controller.
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&second, 510)), vcx::kBitmapUnsupported);
    EXPECT_FALSE(at(&second, 511)->isEnabled());
}

TEST_F(PageBench, TheBasePageShowsTheDriverNumberPlusOneAndFollowsTheWaterMode) {
    c.records.base.item[0].value = 0;
    vcx::CQVxF6BaseDlg page(c, nullptr);
    page.LoadDlgItem();
    auto* driver = at<QLineEdit>(&page, 520);
    EXPECT_EQ(driver->text(), "1");
    driver->setText("5");
    EXPECT_EQ(c.records.base.item[0].value, 4);
    driver->setText("1");
    EXPECT_EQ(c.records.base.item[0].value, 0);
    driver->setText("99");  // maximum 15 + 1
    EXPECT_EQ(c.records.base.item[0].value, 15);
    EXPECT_EQ(driver->text(), "16");
    struct Case {
        uint8_t mode;
        bool engineer, enabled;
    };
    for (const Case& k : {Case{0x10, false, true}, Case{0x00, false, true}, Case{0x01, false, false},
                          Case{0x11, false, false}, Case{0x01, true, true}}) {
        SCOPED_TRACE(testing::Message() << int(k.mode) << k.engineer);
        c.records.water.item0.value = k.mode;
        vcx::programState().engineerMode = k.engineer;
        page.LoadDlgItem();
        EXPECT_EQ(at(&page, 522)->isEnabled(), k.enabled);
        EXPECT_EQ(at(&page, 523)->isEnabled(), k.enabled);
        EXPECT_TRUE(at(&page, 521)->isEnabled());
    }
}

}  // namespace
