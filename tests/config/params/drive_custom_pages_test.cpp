// The driving-IC and customer pages: texts bounded by their tables, and the
// customer page gated by its format byte.
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

TEST_F(PageBench, DrivingIcTextsAreBoundedByTheirTables) {
    vcx::CQVxF6DrvICDlg page(c, nullptr);
    EXPECT_EQ(at<QLabel>(&page, 323)->text(), "18 V");
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "10 V");
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "600 mA");
    EXPECT_EQ(at<QLabel>(&page, 322)->text(), "OFF");
    EXPECT_EQ(at<QLabel>(&page, 323)->text(), "18 V");
    EXPECT_TRUE(shownOf(&page, {452, 453, 321, 330}).empty());
    QTest::mouseClick(at(&page, 451), Qt::LeftButton);
    EXPECT_EQ(c.records.driveIC.item[0].value, 4);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "12 V");
    // A controller whose maximum lies past the table shows numbers.
    c.records.driveIC.item[0].maximum = 9;
    c.records.driveIC.item[0].value = 8;
    c.records.driveIC.item[1].value = 7;
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 323)->text(), "9");
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "8");
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "7");
    page.step(0, true);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "9");
    EXPECT_FALSE(at(&page, 451)->isEnabled());
}

TEST_F(PageBench, TheCustomerPageIsGatedByTheFormatByte) {
    struct Case {
        uint8_t format;
        std::vector<int> shown;
    };
    for (const Case& k : {Case{0, {450, 451, 320, 340}}, Case{1, {450, 451, 320, 340}}, Case{2, {348}},
                          Case{0xFF, {348}}}) {
        SCOPED_TRACE(int(k.format));
        c.records.custom.info[0] = k.format;
        vcx::CQVxF6CustomDlg page(c, nullptr);
        page.LoadDlgItem();
        EXPECT_EQ(shownOf(&page, {450, 451, 320, 340, 348}), k.shown);
    }
    c.records.custom.info[0] = 1;
    vcx::CQVxF6CustomDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "1 / 1");
    EXPECT_FALSE(at(&page, 450)->isEnabled());
    QTest::mouseClick(at(&page, 451), Qt::LeftButton);
    EXPECT_EQ(c.records.custom.item0.value, 1);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "1 / 2");
}

}  // namespace
