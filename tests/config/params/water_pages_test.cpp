// The water pages: the mode pictures and what a mode click tells the main
// window, the newer page's controls by the mode and engineer mode, its sliders
// and edits, and the abnormal-water page.
#include "params/host_if_dlg.h"
#include "params/noise_dlg.h"
#include "params/panel_dlg.h"
#include "params/param_bitmaps.h"
#include "core/parameter_read.h"
#include "params/water_dlg.h"
#include "qvsim.h"
#include "params_page_support.h"
#include "core/strings.h"
#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::MainWindowSink;
using paramtest::PageBench;

TEST_F(PageBench, WaterModePicturesShowTheChosenModeAndHideModesTheMaximumLacks) {
    struct Case {
        uint8_t mode, maximum;
        std::array<int, 3> bitmaps;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {0x00, 0x13, {206, 209, 211}, {510, 511, 512}},
        {0x01, 0x03, {207, 208, 211}, {510, 511, 512}},
        {0x11, 0x13, {207, 209, 210}, {510, 511, 512}},
        {0x10, 0x13, {206, 209, 211}, {510, 511, 512}},
        {0x00, 0x01, {206, 209, 211}, {510, 511}},
        {0x00, 0x02, {206, 209, 211}, {510, 512}},
        {0x00, 0x00, {206, 209, 211}, {510}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(k.mode) << " max " << int(k.maximum));
        c.records.water.item0.value = k.mode;
        c.records.water.item0.maximum = k.maximum;
        vcx::CQVOldWaterDlg older(c, nullptr);
        vcx::CQVxF6WaterDlg newer(c, nullptr);
        for (QWidget* page : {static_cast<QWidget*>(&older), static_cast<QWidget*>(&newer)}) {
            static_cast<vcx::CQVParaParentDlg*>(page)->LoadDlgItem();
            for (int i = 0; i < 3; ++i) EXPECT_EQ(vcx::BitmapOf(at<QLabel>(page, 510 + i)), k.bitmaps[size_t(i)]) << i;
            EXPECT_EQ(shownOf(page, {510, 511, 512}), k.shown);
        }
    }
}

TEST_F(PageBench, AWaterModeClickStoresTheModeRedrawsAndTellsTheMainWindow) {
    MainWindowSink main;
    vcx::CQVOldWaterDlg page(c, nullptr);
    page.setMainWindow(&main);
    page.LoadDlgItem();
    QTest::mouseClick(at(&page, 512), Qt::LeftButton);
    EXPECT_EQ(c.records.water.item0.value, 0x11);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 512)), 210);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), 207);
    page.clickMode(1);
    EXPECT_EQ(c.records.water.item0.value, 0x01);
    page.clickMode(0);
    EXPECT_EQ(c.records.water.item0.value, 0x00);
    const std::vector<MainWindowSink::Message> expected = {
        {qvui::WM_DEBUG_COMMAND, 3, 2}, {qvui::WM_DEBUG_COMMAND, 3, 1}, {qvui::WM_DEBUG_COMMAND, 3, 0}};
    EXPECT_EQ(main.messages, expected);
}

TEST_F(PageBench, TheNewerWaterPageEnablesItsControlsWhenTheModeIsOnOrInEngineerMode) {
    struct Case {
        uint8_t mode;
        bool engineer;
        bool on;
    };
    for (const Case& k : {Case{0x00, false, false}, Case{0x01, false, true}, Case{0x11, false, true},
                          Case{0x00, true, true}}) {
        SCOPED_TRACE(testing::Message() << int(k.mode) << " " << k.engineer);
        vcx::programState().engineerMode = k.engineer;
        c.records.water.item0.value = k.mode;
        MainWindowSink main;
        vcx::CQVxF6WaterDlg page(c, nullptr);
        page.setMainWindow(&main);
        page.LoadDlgItem();
        // Lock one contact (item 15 value 1): off, or 213 while the page is off.
        EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 513)), k.on ? vcx::kBitmapOff : vcx::kBitmapUnsupported);
        for (int id : {513, 520, 521, 504}) EXPECT_EQ(at(&page, id)->isEnabled(), k.on) << id;
        EXPECT_EQ(shownOf(&page, {505, 522, 523, 340}).size(), k.engineer ? 4u : 0u);
        if (!k.on) {
            // Choosing Water Detect turns the page on.
            page.clickMode(1);
            EXPECT_TRUE(at(&page, 520)->isEnabled());
            EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 513)), vcx::kBitmapOff);
        }
    }
}

TEST_F(PageBench, TheNewerWaterSlidersAndEditsStoreTheirItems) {
    vcx::programState().engineerMode = true;
    vcx::CQVxF6WaterDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "16");  // item 4 (0x10 of 0xFF)
    page.sliderEnded(0, 3);
    EXPECT_EQ(c.records.water.item8.value, 3);
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "3");
    page.step(1, true);
    EXPECT_EQ(c.records.water.item9[0].value, 5);
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "5");
    at<QLineEdit>(&page, 520)->setText("0");  // minimum 1
    EXPECT_EQ(c.records.water.item9[1].value, 1);
    page.clickLockSwitch();
    EXPECT_EQ(c.records.water.item15.value, 0);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 513)), vcx::kBitmapOn);
}

TEST_F(PageBench, TheAbnormalWaterPageSlidersAndThreshold) {
    vcx::CQVxF6Water2Dlg page(c, nullptr);
    page.LoadDlgItem();
    // Items 1 (2 of 4) and 3 (5 of 20); the threshold item 2 (40 of 100).
    EXPECT_EQ(at<QLabel>(&page, 320)->text(), "2");
    EXPECT_EQ(at<QLabel>(&page, 321)->text(), "5");
    EXPECT_EQ(at<QSlider>(&page, 504)->maximum(), 4);
    EXPECT_EQ(at<QLineEdit>(&page, 520)->text(), "40");
    page.step(0, true);
    page.step(0, true);
    page.step(0, true);
    EXPECT_EQ(c.records.water.item1[0].value, 4);
    EXPECT_FALSE(at(&page, 451)->isEnabled());
    EXPECT_EQ(at<QSlider>(&page, 504)->sliderPosition(), 4);
    page.sliderEnded(1, 0);
    EXPECT_EQ(c.records.water.item1[2].value, 0);
    EXPECT_FALSE(at(&page, 452)->isEnabled());
    at<QLineEdit>(&page, 520)->setText("150");
    EXPECT_EQ(c.records.water.item1[1].value, 100);
    // An absent item: its slider, pair and label go quiet.
    c.records.water.item1[2].present = 0;
    page.LoadDlgItem();
    EXPECT_TRUE(at<QLabel>(&page, 321)->text().isEmpty());
    for (int id : {505, 452, 453}) EXPECT_FALSE(at(&page, id)->isEnabled()) << id;
    page.step(1, true);
    EXPECT_EQ(c.records.water.item1[2].value, 0);
}

}  // namespace
