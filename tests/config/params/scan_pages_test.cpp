// The scan pages: the delay labels by their unit and the count pairs.
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

TEST_F(PageBench, ScanDelayLabelsFollowTheUnitAndTheCountPairsStep) {
    c.records.generalInfo.info1[0] = 48;
    c.records.normalScan.info1 = 3;
    vcx::CQVxF6ScanDlg normal(c, nullptr);
    normal.LoadDlgItem();
    EXPECT_EQ(qobject_cast<QGroupBox*>(at(&normal, 327))->title(), "Scan Delay Time ( Unit : 62.50 ns )");
    EXPECT_EQ(at<QLabel>(&normal, 323)->text(), "( = 0.500 us )");  // charge delay 8
    at<QLineEdit>(&normal, 522)->setText("16");
    EXPECT_EQ(c.records.normalScan.item[4].value, 16);
    EXPECT_EQ(at<QLabel>(&normal, 325)->text(), "( = 1.000 us )");
    at<QLineEdit>(&normal, 520)->setText("99");  // maximum 31
    EXPECT_EQ(c.records.normalScan.item[2].value, 31);
    EXPECT_EQ(at<QLabel>(&normal, 320)->text(), "4");
    normal.step(0, true);
    EXPECT_EQ(c.records.normalScan.item[0].value, 5);
    EXPECT_EQ(at<QLabel>(&normal, 320)->text(), "5");
    // The ADC count (item 5) is absent on the full controller: its pair is off.
    EXPECT_TRUE(at<QLabel>(&normal, 322)->text().isEmpty());
    EXPECT_FALSE(at(&normal, 454)->isEnabled());
    EXPECT_FALSE(at(&normal, 455)->isEnabled());
    // E7 0x18: a unit word of 64 is 1000 ns.
    c.dev.e7Value = 0x18;
    c.records.abnormalScan.info1 = 64;
    vcx::CQVxF6Scan2Dlg abnormal(c, nullptr);
    abnormal.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&abnormal, 326)->text(), "Scan Delay Time ( Unit : 1000.00 ns )");
    EXPECT_EQ(at<QLabel>(&abnormal, 325)->text(), "( = 10.000 us )");
    EXPECT_EQ(qvui::findControl(&abnormal, 510), nullptr);
    // A unit word of 0: the plain title and no labels.
    c.records.abnormalScan.info1 = 0;
    abnormal.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&abnormal, 326)->text(), "Scan Delay Time");
    for (int id : {323, 324, 325}) EXPECT_TRUE(at<QLabel>(&abnormal, id)->text().isEmpty()) << id;
}

}  // namespace
