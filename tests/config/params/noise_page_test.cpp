// The anti-noise pages: the filter slider and its stored value, the radio
// pairs by the items the controller has, and the switches' polarity.
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

using paramtest::PageBench;

TEST_F(PageBench, TheNoiseSliderNeverGoesBelowOneAndDvKeepsTheStoredValue) {
    vcx::CQVOldNoiseDlg older(c, nullptr);
    vcx::CQVxF6NoiseDlg newer(c, nullptr);
    for (vcx::CQVOldNoiseDlg* page : {static_cast<vcx::CQVOldNoiseDlg*>(&older), static_cast<vcx::CQVOldNoiseDlg*>(&newer)}) {
        c.records.antiNoise.item0.value = 2;
        page->LoadDlgItem();
        auto* slider = at<QSlider>(page, 504);
        EXPECT_EQ(slider->minimum(), 1);
        EXPECT_EQ(at<QLabel>(page, 321)->text(), "8");
        page->step(false);
        EXPECT_EQ(c.records.antiNoise.item0.value, 1);
        EXPECT_FALSE(at(page, 450)->isEnabled());
        page->step(false);
        EXPECT_EQ(c.records.antiNoise.item0.value, 1);
        page->sliderEnded(0);
        EXPECT_EQ(c.records.antiNoise.item0.value, 1);
        page->sliderEnded(12);
        EXPECT_EQ(at<QLabel>(page, 320)->text(), "12");
        EXPECT_EQ(at<QLabel>(page, 321)->text(), "8");
        c.records.antiNoise.item0.present = 0;
        page->LoadDlgItem();
        EXPECT_TRUE(at<QLabel>(page, 320)->text().isEmpty());
        EXPECT_TRUE(at<QLabel>(page, 321)->text().isEmpty());
        EXPECT_FALSE(slider->isEnabled());
        c.records.antiNoise.item0.present = 1;
    }
}

TEST_F(PageBench, NoiseRadioPairsFollowWhichItemsTheControllerHas) {
    struct Case {
        bool level, select;  // the median level item, item 15
        std::vector<int> shown;
        std::vector<int> checked;
    };
    const Case cases[] = {
        {true, true, {460, 461, 462, 465, 466, 467}, {461, 465}},
        {false, true, {463, 464, 465, 466, 467}, {463, 465}},
        {true, false, {460, 461, 462, 468, 469}, {461, 468}},
        {false, false, {463, 464, 468, 469}, {463, 468}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.level << k.select);
        c.records.antiNoise.extension[0].present = k.level;
        c.records.antiNoise.item12[3].present = k.select;
        vcx::CQVxF6NoiseDlg page(c, nullptr);
        page.LoadDlgItem();
        EXPECT_EQ(shownOf(&page, {460, 461, 462, 463, 464, 465, 466, 467, 468, 469}), k.shown);
        EXPECT_EQ(checkedOf(&page, 460, 469), k.checked);
    }
    // A click is taken only within the item's maximum: item 15 maximum 2, the level 2.
    c.records.antiNoise.extension[0].present = 1;
    c.records.antiNoise.item12[3].present = 1;
    c.records.antiNoise.item12[3].maximum = 1;
    vcx::CQVxF6NoiseDlg page(c, nullptr);
    page.LoadDlgItem();
    at<QRadioButton>(&page, 462)->click();
    EXPECT_EQ(c.records.antiNoise.extension[0].value, 2);
    at<QRadioButton>(&page, 467)->click();
    EXPECT_EQ(c.records.antiNoise.item12[3].value, 0);
    EXPECT_EQ(checkedOf(&page, 465, 467), std::vector<int>{465});
    at<QRadioButton>(&page, 466)->click();
    EXPECT_EQ(c.records.antiNoise.item12[3].value, 1);
}

TEST_F(PageBench, NoiseSwitchesShowTheirPolarityAndEngineerControls) {
    vcx::CQVxF6NoiseDlg page(c, nullptr);
    page.LoadDlgItem();
    // Enhanced driving 0 (1 is on), frequency hopping 1 and inhibit 0 (0 is on).
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), vcx::kBitmapOff);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 511)), vcx::kBitmapOff);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 512)), vcx::kBitmapOn);
    EXPECT_TRUE(shownOf(&page, {511, 512, 520, 521, 340}).empty());
    page.clickSwitch(0);
    EXPECT_EQ(c.records.antiNoise.item3[0].value, 1);
    EXPECT_EQ(vcx::BitmapOf(at<QLabel>(&page, 510)), vcx::kBitmapOn);
    vcx::programState().engineerMode = true;
    page.CheckDlgItem();
    EXPECT_EQ(shownOf(&page, {511, 512, 520, 521, 340}).size(), 5u);
    at<QLineEdit>(&page, 520)->setText("0");
    EXPECT_EQ(c.records.antiNoise.item1[0].value, 1);
}

}  // namespace
