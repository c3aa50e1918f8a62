// The pages no tab reaches (power, scan, misc with its event-mask dialog,
// driving IC, customer, the newer finger and base pages, the older coordinate
// page) and the pure conversions the pages share.
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

// ---- Conversions ----

TEST(PageUnits, AreaUnitsFromThePitch) {
    vcx::ProgramRecords r{};
    r.panel.extra[2] = 80;  // the pitch byte, offset 74
    std::array<uint8_t, 8> features{};
    // Before parameter version 1.31 the pitch is 65 whatever the record holds.
    const double p = vcx::AreaPitch(r, 130, features, false);
    EXPECT_EQ(p, 65.0);
    EXPECT_EQ(vcx::WindowLockUnit(p), "* 0.083(mm^2)");
    EXPECT_EQ(vcx::FastMotionUnit(p), "* 21(mm^2)");
    EXPECT_EQ(vcx::PalmSizeUnit(p), "* 42(mm^2)");
    EXPECT_EQ(vcx::PalmRangeUnit(p), "* 6.5mm");
    EXPECT_EQ(vcx::AreaPitch(r, 131, features, false), 80.0);
    // Feature byte 3 from 128 doubles the pitch on the finger page only.
    features[3] = 0x80;
    EXPECT_EQ(vcx::AreaPitch(r, 131, features, true), 160.0);
    EXPECT_EQ(vcx::AreaPitch(r, 131, features, false), 80.0);
    features[3] = 0x7F;
    EXPECT_EQ(vcx::AreaPitch(r, 131, features, true), 80.0);
}

TEST(PageUnits, ScanDelayUnitTitleAndLabels) {
    struct Case {
        unsigned w, d;
        uint32_t e7;
        int value;
        const char* title;
        const char* label;
    };
    const Case cases[] = {
        {3, 48, 0, 8, "Scan Delay Time ( Unit : 62.50 ns )", "( = 0.500 us )"},
        {64, 48, 0x18, 2, "Scan Delay Time ( Unit : 1000.00 ns )", "( = 2.000 us )"},
        {64, 0, 0x18, 2, "Scan Delay Time", ""},
        {0, 48, 0, 8, "Scan Delay Time", ""},
        {3, 0, 0, 8, "Scan Delay Time", ""},
        {1, 3, 0x17, 3, "Scan Delay Time ( Unit : 333.33 ns )", "( = 1.000 us )"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.w << " " << k.d << " " << k.e7);
        const double unit = vcx::ScanDelayUnitNs(k.w, k.d, k.e7);
        EXPECT_EQ(vcx::ScanDelayTitle(unit), k.title);
        EXPECT_EQ(vcx::ScanDelayLabel(k.value, unit), k.label);
    }
}

TEST(PageUnits, LevelsTablesAndEdgesStayInsideTheirTables) {
    EXPECT_EQ(vcx::SensitivityLevelOf(7, 14), 0);
    EXPECT_EQ(vcx::SensitivityLevelOf(0, 14), -7);
    EXPECT_EQ(vcx::SensitivityLevelOf(14, 14), 7);
    EXPECT_EQ(vcx::SensitivityLevelOf(5, 9), 0);
    const std::pair<int, const char*> volts[] = {{0, "OFF"}, {1, "6 V"}, {7, "18 V"}, {8, "8"}, {9, "9"}, {-1, "-1"}};
    for (const auto& [i, t] : volts) EXPECT_EQ(vcx::VoltageText(i), t) << i;
    const std::pair<int, const char*> amps[] = {{0, "200 mA"}, {3, "1500 mA"}, {4, "4"}};
    for (const auto& [i, t] : amps) EXPECT_EQ(vcx::CurrentText(i), t) << i;
    const std::pair<int, const char*> idle[] = {{0, "50 ms"}, {3, "10 ms"}, {4, "4"}};
    for (const auto& [i, t] : idle) EXPECT_EQ(vcx::IdleIntervalText(i), t) << i;
    struct Edge {
        int value, level, maximum, saved;
    };
    for (const Edge& e : {Edge{0x0E, 7, 0x0F, 0x0F}, Edge{0x14, 3, 0xFF, 0x16}, Edge{0x14, 0, 0xFF, 0x10},
                          Edge{0x00, 2, 0x05, 0x05}, Edge{0x00, 2, 0x06, 0x04}})
        EXPECT_EQ(vcx::EdgeSaved(e.value, e.level, e.maximum), e.saved) << e.value << " " << e.level;
}

// ---- Power ----

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

// ---- Scan ----

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

// ---- Misc and the event mask ----

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

// ---- Driving IC and customer ----

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

// ---- Finger and base ----

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

// ---- Older coordinate ----

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

namespace {

TEST(PageResources, EveryTipAndPictureThePagesNameExists) {
    vcx::addProgramStrings();
    for (const vcx::ParamField& f : vcx::ParameterFields())
        for (uint16_t id : f.tips)
            if (id) {
                EXPECT_FALSE(qvui::loadString(id).isEmpty()) << f.key << " " << id;
            }
    EXPECT_EQ(qvui::loadString(1228), "Total Sensor Pins: %d");
    EXPECT_EQ(qvui::loadString(1229), "Total Driver Pins: %d");
    // The water-mode and tail pictures: drawn, and each one its own.
    std::vector<QImage> seen;
    for (int id : {206, 207, 208, 209, 210, 211, 224, 225, 226, 227}) {
        const QPixmap pm = vcx::ParameterBitmap(id);
        ASSERT_FALSE(pm.isNull()) << id;
        const QImage img = pm.toImage();
        for (const QImage& other : seen) EXPECT_NE(img, other) << id;
        seen.push_back(img);
    }
    EXPECT_TRUE(vcx::ParameterBitmap(212).isNull());
}

}  // namespace

namespace {

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

namespace {

// Each row the pages edit sits on the record member the page changes.
TEST(PageFields, RowsPointAtTheRecordMembersThePagesEdit) {
    vcx::ProgramRecords r{};
    auto at = [&r](vcx::ParamRecord record, const void* member) {
        return int(static_cast<const uint8_t*>(member) - vcx::RecordBytes(r, record));
    };
    using R = vcx::ParamRecord;
    struct Row {
        const char* key;
        int offset;
        int minimum;
        vcx::Polarity polarity;
        bool engineer;
    };
    using P = vcx::Polarity;
    const Row rows[] = {
        {"host.baudRate", at(R::HostInterface, &r.hostInterface.item[2]), 0, P::None, false},
        {"finger.windowLockPost", at(R::Finger, &r.finger.item5), 0, P::None, false},
        {"finger.mutual", at(R::Finger, &r.finger.item9[0]), 0, P::None, false},
        {"finger.sector", at(R::Finger, &r.finger.item9[1]), 0, P::None, false},
        {"finger.dynamicThreshold", at(R::Finger, &r.finger.item9[2]), 0, P::ZeroIsOn, false},
        {"finger.lowerThreshold", at(R::Finger, &r.finger.item9[3]), 0, P::ZeroIsOn, false},
        {"water.abnormalOffset", at(R::Water, &r.water.item1[0]), 0, P::None, false},
        {"water.abnormalThreshold", at(R::Water, &r.water.item1[1]), 0, P::None, false},
        {"water.abnormalInterval", at(R::Water, &r.water.item1[2]), 0, P::None, false},
        {"water.negativeAdjust", at(R::Water, &r.water.item9[0]), 0, P::None, true},
        {"water.sensorRatio", at(R::Water, &r.water.item12[0]), 0, P::None, true},
        {"water.driverRatio", at(R::Water, &r.water.item12[1]), 0, P::None, true},
        {"noise.threshold", at(R::AntiNoise, &r.antiNoise.item1[0]), 1, P::None, true},
        {"noise.thresholdStep", at(R::AntiNoise, &r.antiNoise.item1[1]), 1, P::None, true},
        {"noise.hopping", at(R::AntiNoise, &r.antiNoise.item3[1]), 0, P::ZeroIsOn, true},
        {"noise.inhibitChange", at(R::AntiNoise, &r.antiNoise.item3[2]), 0, P::ZeroIsOn, true},
        {"scan.adcCount", at(R::NormalScan, &r.normalScan.item5), 0, P::None, false},
        {"scan.kbuDelay", at(R::NormalScan, &r.normalScan.item6), 0, P::None, false},
        {"scan.vref", at(R::NormalScan, &r.normalScan.item7), 0, P::OneIsOn, false},
        {"scan2.adcDelay", at(R::AbnormalScan, &r.abnormalScan.item[4]), 0, P::None, false},
        {"misc.baseUpdate", at(R::Misc, &r.misc.item[2]), 0, P::OneIsOn, true},
        {"misc.remoteWakeup", at(R::Misc, &r.misc.item3), 0, P::OneIsOn, true},
        {"misc.eventMask", at(R::Misc, &r.misc.item4), 0, P::None, true},
        {"drive.current", at(R::DriveIC, &r.driveIC.item[1]), 0, P::None, true},
        {"custom.format", at(R::Custom, &r.custom.info[0]), 0, P::None, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const vcx::ParamField* f = vcx::FindField(row.key);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->offset, row.offset);
        EXPECT_EQ(f->minimum, row.minimum);
        EXPECT_EQ(f->polarity, row.polarity);
        EXPECT_EQ(f->engineerOnly, row.engineer);
        EXPECT_EQ(f->confirmId, 0);  // not in the change list
    }
    // The event mask is a 16-bit item without a maximum: both bytes are read and written.
    const vcx::ParamField& mask = *vcx::FindField("misc.eventMask");
    r.misc.valid = 1;
    r.misc.item4 = {0x0181, 0x0180, 1};
    const vcx::FieldValue v = vcx::ReadField(r, mask);
    EXPECT_TRUE(v.present);
    EXPECT_EQ(v.value, 0x0181);
    EXPECT_EQ(v.stored, 0x0180);
    vcx::WriteField(r, mask, 0x013C);
    EXPECT_EQ(r.misc.item4.value, 0x013C);
    EXPECT_EQ(r.misc.item4.stored, 0x0180);
    // Rows outside the change list leave it as it was.
    r.misc.item4.value = 0x0155;
    EXPECT_TRUE(vcx::FormatParameterChanges(r).isEmpty());
}

}  // namespace

namespace {

// Every tip a page gives its controls (from its field rows or its own) names a
// string of the table.
TEST_F(PageBench, EveryTipAPageGivesNamesAString) {
    vcx::programState().engineerMode = true;
    vcx::CQVParaDlg sheet(c, nullptr);
    int given = 0;
    const auto exists = [&given](QWidget* page, quint32 id) {
        if (id == 0) return;
        ++given;
        EXPECT_FALSE(qvui::loadString(id).isEmpty()) << "template " << dynamic_cast<vcx::CQVParaParentDlg*>(page)->templateId()
                                                     << " tip " << id;
    };
    for (int t : {160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 180, 181, 182, 183,
                  184, 185}) {
        vcx::CQVParaParentDlg* page = sheet.page(t);
        if (!page) continue;
        page->SetDlgItemTip();
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (auto* b = dynamic_cast<vcx::CQVMyTipBMP*>(w)) {
                for (quint32 id : {b->featureTipId, b->featureSecondId, b->sideTipId, b->sideSecondId}) exists(page, id);
            } else if (auto* b = dynamic_cast<vcx::CQVMyTipButton*>(w)) {
                for (quint32 id : {b->featureTipId, b->sideTipId}) exists(page, id);
            } else if (auto* e = dynamic_cast<vcx::CQVMyTipEdit*>(w)) {
                for (quint32 id : {e->featureTipId, e->sideTipId}) exists(page, id);
            } else if (auto* s = dynamic_cast<vcx::CQVMyTipSlider*>(w)) {
                for (quint32 id : {s->featureTipId1, s->sideTipId1, s->featureTipId2, s->sideTipId2}) exists(page, id);
            }
        }
    }
    // The pages give about a hundred tips: a walk that finds far fewer lost its pages.
    EXPECT_GE(given, 90);
}

// The tip ids each page gives its controls once (timer 1 of the sheet).
TEST_F(PageBench, PagesGiveTheirControlsTheirTips) {
    vcx::programState().engineerMode = true;
    vcx::CQVParaDlg sheet(c, nullptr);
    struct Tip {
        int page, control;
        uint32_t feature, side;
    };
    const Tip tips[] = {
        {163, 450, 630, 700}, {163, 451, 631, 701}, {163, 525, 632, 702}, {163, 521, 635, 705},
        {166, 520, 642, 0},   {166, 522, 644, 712}, {166, 523, 645, 713},
        {167, 510, 646, 714}, {167, 511, 647, 715}, {167, 512, 648, 730}, {167, 513, 668, 728},
        {167, 450, 649, 716}, {167, 451, 650, 717}, {167, 520, 651, 718},
        {169, 450, 652, 719}, {169, 451, 653, 720}, {169, 510, 672, 734},
        {171, 510, 655, 721}, {171, 511, 657, 722}, {171, 450, 660, 724}, {171, 451, 659, 723}, {171, 520, 661, 0},
        {174, 510, 662, 725}, {174, 512, 664, 731},
        {175, 451, 666, 726}, {175, 450, 667, 727},
        {183, 510, 646, 714}, {183, 511, 647, 715}, {183, 512, 648, 716},
        {184, 450, 652, 719}, {184, 451, 653, 720},
    };
    for (vcx::CQVParaParentDlg* p : {sheet.page(163), sheet.page(166), sheet.page(167), sheet.page(169),
                                     sheet.page(171), sheet.page(174), sheet.page(175), sheet.page(183),
                                     sheet.page(184)})
        p->SetDlgItemTip();
    for (const Tip& t : tips) {
        SCOPED_TRACE(testing::Message() << t.page << "/" << t.control);
        QWidget* w = qvui::findControl(sheet.page(t.page), t.control);
        ASSERT_NE(w, nullptr);
        if (auto* b = dynamic_cast<vcx::CQVMyTipBMP*>(w)) {
            EXPECT_EQ(b->featureTipId, t.feature);
            EXPECT_EQ(b->sideTipId, t.side);
        } else if (auto* b = dynamic_cast<vcx::CQVMyTipButton*>(w)) {
            EXPECT_EQ(b->featureTipId, t.feature);
            EXPECT_EQ(b->sideTipId, t.side);
        } else if (auto* e = dynamic_cast<vcx::CQVMyTipEdit*>(w)) {
            EXPECT_EQ(e->featureTipId, t.feature);
            EXPECT_EQ(e->sideTipId, t.side);
        } else {
            ADD_FAILURE() << "no tip control";
        }
    }
    // The switches' off tips.
    auto* sleep = dynamic_cast<vcx::CQVMyTipBMP*>(qvui::findControl(sheet.page(171), 510));
    EXPECT_EQ(sleep->featureSecondId, 656u);
    auto* lock = dynamic_cast<vcx::CQVMyTipBMP*>(qvui::findControl(sheet.page(167), 513));
    EXPECT_EQ(lock->featureSecondId, 669u);
    EXPECT_EQ(lock->sideSecondId, 729u);
}

}  // namespace

namespace {

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
