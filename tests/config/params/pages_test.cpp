// The parameter pages on the full controller: what each page shows for the
// record values, engineer mode and controller, and what its controls store.
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

using paramtest::Boxes;
using paramtest::MainWindowSink;
using paramtest::PageBench;

// ---- Host interface ----

TEST_F(PageBench, HostInterfaceRadiosFollowTheCurrentInterfaceTheMaximumBitsAndTheProduct) {
    struct Case {
        uint8_t current;      // item 3, the interface in use
        uint8_t maximum;      // item 0's maximum
        uint16_t product;
        qvui::MessageAnswer answer;
        bool changeEnabled;   // 470 after load
        std::vector<int> checkedAfterLoad;
        std::vector<int> enabledAfterCheck;
        bool stillChecked;
    };
    using A = qvui::MessageAnswer;
    const Case cases[] = {
        {0x00, 0x87, 2081, A::Ok, true, {461}, {460, 461, 462, 463}, true},
        {0x01, 0x87, 2081, A::Ok, true, {462}, {460, 461, 462, 463}, true},
        {0x02, 0x87, 2081, A::Ok, true, {463}, {460, 461, 462, 463}, true},
        {0x08, 0x03, 2081, A::Ok, true, {460}, {461, 462}, true},
        {0x0A, 0x85, 2081, A::Ok, true, {460}, {460, 461, 463}, true},
        // An interface in bit 2 cannot be changed here.
        {0x04, 0x87, 2081, A::Ok, false, {}, {}, false},
        // A value past I2C checks nothing (no radio beyond 463).
        {0x03, 0x87, 2081, A::Ok, true, {}, {460, 461, 462, 463}, true},
        // These products never offer I2C.
        {0x00, 0x87, 1400, A::Ok, true, {461}, {460, 461, 462}, true},
        {0x00, 0x87, 1201, A::Ok, true, {461}, {460, 461, 462}, true},
        {0x00, 0x87, 1500, A::Ok, true, {461}, {460, 461, 462}, true},
        // Cancelling the cable warning unchecks the box and leaves the radios disabled.
        {0x00, 0x87, 2081, A::Cancel, true, {461}, {}, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "current " << int(k.current) << " max " << int(k.maximum) << " product "
                                        << k.product);
        for (int newer = 0; newer < 2; ++newer) {
            c.records.hostInterface.interfaceByte = k.current;
            c.records.hostInterface.item[0].maximum = k.maximum;
            c.records.fwInformation.productNumber = k.product;
            std::unique_ptr<vcx::CQVOldHostIFDlg> page;
            if (newer) page = std::make_unique<vcx::CQVxF6HostIFDlg>(c, nullptr);
            else page = std::make_unique<vcx::CQVOldHostIFDlg>(c, nullptr);
            page->LoadDlgItem();
            auto* change = at<QCheckBox>(page.get(), 470);
            EXPECT_EQ(change->isEnabled(), k.changeEnabled);
            EXPECT_FALSE(change->isChecked());
            EXPECT_EQ(checkedOf(page.get(), 460, 463), k.checkedAfterLoad);
            EXPECT_EQ(enabledOf(page.get(), 460, 463), std::vector<int>{});
            if (!k.changeEnabled) continue;
            Boxes boxes;
            boxes.answer = k.answer;
            QTest::mouseClick(change, Qt::LeftButton);
            ASSERT_EQ(boxes.asked.size(), 1u);
            EXPECT_EQ(boxes.asked[0].caption, "Warning! Change Host Interface");
            EXPECT_EQ(boxes.asked[0].defaultAnswer, qvui::MessageAnswer::Cancel);
            EXPECT_EQ(change->isChecked(), k.stillChecked);
            EXPECT_EQ(enabledOf(page.get(), 460, 463), k.enabledAfterCheck);
            // Unchecking disables every radio again, without asking.
            if (k.stillChecked) {
                QTest::mouseClick(change, Qt::LeftButton);
                EXPECT_EQ(boxes.asked.size(), 1u);
                EXPECT_EQ(enabledOf(page.get(), 460, 463), std::vector<int>{});
            }
        }
    }
}

TEST_F(PageBench, HostInterfaceRadiosStoreTheInterfaceValueAndTheNewerPageItsReportAndBaud) {
    c.api.GetProductID = &::GetProductID;
    uint32_t pid = 0;
    ASSERT_TRUE(GetProductID(c.dev.device, &pid));
    vcx::CQVxF6HostIFDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(at<QRadioButton>(&page, 461)->text(), QString("USB (PID : %1)").arg(pid));
    // Without a product id the radio says only "USB".
    c.api.GetProductID = nullptr;
    vcx::CQVOldHostIFDlg older(c, nullptr);
    older.LoadDlgItem();
    EXPECT_EQ(at<QRadioButton>(&older, 461)->text(), "USB");
    EXPECT_EQ(at<QLineEdit>(&page, 520)->text(), "41");
    EXPECT_EQ(checkedOf(&page, 464, 467), std::vector<int>{464});
    Boxes boxes;
    QTest::mouseClick(at(&page, 470), Qt::LeftButton);
    const uint8_t expected[] = {0x08, 0x00, 0x01, 0x02};
    for (int i = 0; i < 4; ++i) {
        at<QRadioButton>(&page, 460 + i)->click();
        EXPECT_EQ(c.records.hostInterface.item[0].value, expected[i]) << i;
        // The baud rate follows the RS232 / UART choice.
        EXPECT_EQ(at(&page, 502)->isEnabled(), i == 2) << i;
    }
    // The address is hexadecimal, clamped to 1..maximum (0x7F).
    at<QLineEdit>(&page, 520)->setText("2A");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x2A);
    at<QLineEdit>(&page, 520)->setText("FF");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x7F);
    at<QLineEdit>(&page, 520)->setText("0");
    EXPECT_EQ(c.records.hostInterface.item[1].value, 0x01);
    page.reportRadioClicked(465);
    EXPECT_EQ(c.records.hostInterface.item3.value, 1);
    at<QComboBox>(&page, 502)->setCurrentIndex(3);
    page.SaveDlgItem();
    EXPECT_EQ(c.records.hostInterface.item[2].value, 3);
}

// ---- Panel ----

TEST(PanelCombo, EntriesAreLowerCasedMarkedOrSkippedAndKeepTheirIndex) {
    struct Case {
        std::vector<const char*> texts;  // nullptr: the controller did not answer
        const char* skipped;
        int current;
        bool engineer;
        std::vector<QString> entries;
        std::vector<int> indexes;
        int selected;
        bool enabled;
    };
    const Case cases[] = {
        {{"PANEL A", "Dummy", "Panel B "}, "dummy", 2, false, {"panel a", "panel b "}, {0, 2}, 1, true},
        {{"PANEL A", "Dummy", "Panel B "}, "dummy", 2, true, {"panel a", "dummy", "panel b Not Test"}, {0, 1, 2}, 2, true},
        {{"Glass 1.1", "FILM"}, "film", 0, false, {"glass 1.1"}, {0}, 0, false},
        {{"Glass 1.1", "FILM"}, "film", 1, false, {"glass 1.1"}, {0}, -1, true},
        {{"only"}, "dummy", 0, true, {"only"}, {0}, 0, false},
        {{nullptr, "b"}, "dummy", 1, false, {"b"}, {1}, 0, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.texts.size());
        std::vector<vcx::PanelNameEntry> names;
        for (const char* t : k.texts) names.push_back({t != nullptr, t ? QString::fromLatin1(t) : QString()});
        QComboBox combo;
        vcx::FillPanelCombo(&combo, names, k.skipped, k.current, k.engineer);
        std::vector<QString> entries;
        std::vector<int> indexes;
        for (int i = 0; i < combo.count(); ++i) {
            entries.push_back(combo.itemText(i));
            indexes.push_back(combo.itemData(i).toInt());
        }
        EXPECT_EQ(entries, k.entries);
        EXPECT_EQ(indexes, k.indexes);
        EXPECT_EQ(combo.currentIndex(), k.selected);
        EXPECT_EQ(combo.isEnabled(), k.enabled);
    }
}

class PanelPage : public PageBench {
protected:
    void SetUp() override {
        PageBench::SetUp();
        vcx::programState().engineerMode = true;
        ParameterPanel& p = c.records.panel;
        p.geometry[4] = 12;  // at least 12 used sensors
        p.geometry[5] = 8;   // and 8 used drivers
        p.item[2].value = 0;
        p.item[4].value = 28;
        page = std::make_unique<vcx::CQVxF6PanelDlg>(c, nullptr);
        page->LoadDlgItem();
    }
    QLineEdit* edit(int i) { return at<QLineEdit>(page.get(), 520 + i); }
    QString label(int id) { return at<QLabel>(page.get(), id)->text(); }
    std::unique_ptr<vcx::CQVxF6PanelDlg> page;
};

TEST_F(PanelPage, ASkipCountOverTheTotalLowersTheUsedCountAndTheUnusedLabelShowsZero) {
    EXPECT_EQ(label(320), "Total Sensor Pins: 28");
    EXPECT_EQ(label(321), "Total Driver Pins: 16");
    EXPECT_EQ(label(322), "0");
    edit(0)->setText("4");
    EXPECT_EQ(c.records.panel.item[2].value, 4);
    EXPECT_EQ(c.records.panel.item[4].value, 24);
    EXPECT_EQ(edit(2)->text(), "24");
    EXPECT_EQ(label(322), "0");
    // Lowering the used count leaves the skip count and shows the unused lines.
    edit(2)->setText("20");
    EXPECT_EQ(c.records.panel.item[4].value, 20);
    EXPECT_EQ(c.records.panel.item[2].value, 4);
    EXPECT_EQ(label(322), "4");
    // A skip count above total - minimum used is cut to it.
    edit(0)->setText("30");
    EXPECT_EQ(c.records.panel.item[2].value, 16);
    EXPECT_EQ(edit(0)->text(), "16");
    EXPECT_EQ(c.records.panel.item[4].value, 12);
    // Drivers couple the same way, on their own.
    edit(1)->setText("3");
    EXPECT_EQ(c.records.panel.item[5].value, 13);
    EXPECT_EQ(label(323), "0");
}

TEST_F(PanelPage, AUsedCountBelowItsMinimumIsTakenWhileTypingAndRaisedFromTwoDigitsAndAtApply) {
    edit(2)->setText("5");
    EXPECT_EQ(c.records.panel.item[4].value, 5);
    EXPECT_EQ(edit(2)->text(), "5");
    edit(2)->setText("10");
    EXPECT_EQ(c.records.panel.item[4].value, 12);
    EXPECT_EQ(edit(2)->text(), "12");
    // Apply right after a one-digit count: the page raises it first.
    edit(2)->setText("5");
    page->SaveDlgItem();
    EXPECT_EQ(c.records.panel.item[4].value, 12);
    EXPECT_EQ(edit(2)->text(), "12");
    // Signs and letters are no counts: the stored value stays.
    edit(3)->setText("-3");
    EXPECT_EQ(c.records.panel.item[5].value, 16);
    EXPECT_EQ(edit(3)->text(), "16");
}

TEST_F(PanelPage, TheCountsAreEngineerControlsAndTheCustomerButtonStaysHidden) {
    EXPECT_EQ(shownOf(page.get(), {320, 322, 520, 523, 330, 450, 451}), (std::vector<int>{320, 322, 520, 523, 330, 451}));
    vcx::programState().engineerMode = false;
    page->LoadDlgItem();
    EXPECT_EQ(shownOf(page.get(), {320, 322, 520, 523, 330, 450, 451, 502, 503}), (std::vector<int>{451, 502, 503}));
}

TEST_F(PageBench, BothPanelPagesReadTheNameTablesOncePerRefresh) {
    vcx::CQVxF6PanelDlg newer(c, nullptr);
    vcx::CQVOldPanelDlg older(c, nullptr);
    ctl().clearTrace();
    newer.LoadDlgItem();
    older.LoadDlgItem();
    const size_t reads = sentWith("E3 01").size() + sentWith("E3 02").size();
    EXPECT_GT(reads, 0u);
    vcx::InvalidatePanelNames();
    ctl().clearTrace();
    older.LoadDlgItem();
    EXPECT_EQ(sentWith("E3 01").size() + sentWith("E3 02").size(), reads);
    // The selection stores the remembered index.
    auto* size = at<QComboBox>(&older, 502);
    ASSERT_GE(size->count(), 2);
    size->setCurrentIndex(1);
    EXPECT_EQ(c.records.panel.item[0].value, size->itemData(1).toInt());
}

// ---- Water ----

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

// ---- Anti-noise ----

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

namespace {

TEST_F(PageBench, PanelCombosFromTheControllersTables) {
    // Entry 1 carries the mark bit: its text ends in a blank.
    ctl().profile().panelSizes.at(1).tenthsAndFlags |= 0x08;
    c.records.panel.item[1].maximum = 0;  // a single cover lens: the current one
    for (bool engineer : {false, true}) {
        SCOPED_TRACE(engineer);
        vcx::programState().engineerMode = engineer;
        vcx::InvalidatePanelNames();
        vcx::CQVOldPanelDlg page(c, nullptr);
        page.LoadDlgItem();
        auto* size = at<QComboBox>(&page, 502);
        auto* lens = at<QComboBox>(&page, 503);
        ASSERT_EQ(size->count(), 2);
        EXPECT_EQ(size->itemText(0), size->itemText(0).toLower());
        EXPECT_EQ(size->itemText(1).endsWith("Not Test"), engineer);
        EXPECT_TRUE(size->isEnabled());
        EXPECT_EQ(size->currentIndex(), 0);
        EXPECT_EQ(lens->count(), 1);
        EXPECT_FALSE(lens->isEnabled());
    }
}

}  // namespace

namespace {

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
