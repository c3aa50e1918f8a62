// The panel pages: the panel-size and cover-lens combo boxes from the
// controller's tables, and the newer page's coupled skip and used counts.
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
