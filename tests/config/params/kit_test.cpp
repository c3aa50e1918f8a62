// The page kit on a page of plain controls, and the two pages built on it: the
// palm page and the older finger page on the full controller.
#include "core/field_table.h"
#include "params/old_finger_dlg.h"
#include "params/page_build.h"
#include "params/para_parent_dlg.h"
#include "params/param_bitmaps.h"
#include "core/parameter_read.h"
#include "params/xf6_palm_dlg.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::ParamBench;

// A page with two edits, two switch pictures, a step pair and a slider.
struct KitPage {
    QWidget page;
    QLineEdit* edit[2];
    QLabel* pic[2];
    QPushButton* minus;
    QPushButton* plus;
    QSlider* slider;
    KitPage() {
        qvui::setControlScope(&page);
        for (int i = 0; i < 2; ++i) {
            edit[i] = new QLineEdit(&page);
            qvui::setControlId(edit[i], 520 + i);
            pic[i] = new QLabel(&page);
            qvui::setControlId(pic[i], 510 + i);
        }
        minus = new QPushButton(&page);
        qvui::setControlId(minus, 450);
        plus = new QPushButton(&page);
        qvui::setControlId(plus, 451);
        slider = new QSlider(Qt::Horizontal, &page);
        qvui::setControlId(slider, 504);
    }
};

TEST(Kit, ClampEditKeepsEveryTextInsideTheRange) {
    struct Case {
        const char* text;
        int stored;       // before
        int expected;     // stored after
        const char* shown; // the edit's text after
    };
    const Case cases[] = {
        {"0", 5, 1, "1"},       {"300", 5, 40, "40"},   {"", 5, 5, ""},       {"-5", 5, 1, "1"},
        {"abc", 5, 5, "5"},     {"999999", 5, 40, "40"}, {"17", 5, 17, "17"}, {"40", 5, 40, "40"},
        {"1", 5, 1, "1"},       {" 12", 5, 12, " 12"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        KitPage p;
        uint8_t value = uint8_t(k.stored), other = 0;
        vcx::EditGroup g;
        g.values = {&value, &other};
        g.minimum = {1, 0};
        g.maximum = {40, 9};
        vcx::ConnectEditGroup(&p.page, g, 2);
        // A programmatic change is clamped like a typed one.
        p.edit[0]->setText(QString::fromLatin1(k.text));
        EXPECT_EQ(value, k.expected);
        EXPECT_EQ(p.edit[0]->text(), k.shown);
        EXPECT_EQ(other, 0);
    }
}

TEST(Kit, LoadEditGroupEnablesBySupportAndEmptiesTheUnsupported) {
    KitPage p;
    uint8_t a = 7, b = 8;
    vcx::EditGroup g;
    g.values = {&a, &b};
    g.minimum = {0, 0};
    g.maximum = {9, 9};
    vcx::SupportMask s{0b0101, {0, 2}};
    vcx::LoadEditGroup(&p.page, s, g);
    EXPECT_EQ(p.edit[0]->text(), "7");
    EXPECT_EQ(p.edit[1]->text(), "8");
    s.mask = 0b0001;  // the next controller lacks the second item: no old number stays
    vcx::LoadEditGroup(&p.page, s, g);
    EXPECT_TRUE(p.edit[0]->isEnabled());
    EXPECT_FALSE(p.edit[1]->isEnabled());
    EXPECT_TRUE(p.edit[1]->text().isEmpty());
}

TEST(Kit, SwitchPicturesFollowPolarityAndSupport) {
    KitPage p;
    uint8_t inverted = 0, plain = 2;
    vcx::SwitchGroup g;
    g.values = {&inverted, &plain};
    g.table = {0, 1, 1, 0};  // 510 value 0 on, 511 value 1 on
    g.supported = {1, 1};
    vcx::LoadSwitchGroup(g, &p.page);
    EXPECT_EQ(vcx::BitmapOf(p.pic[0]), vcx::kBitmapOn);
    EXPECT_EQ(vcx::BitmapOf(p.pic[1]), vcx::kBitmapOn);  // 2 counts as set
    g.index = 0;
    vcx::ToggleSwitch(g, &p.page);
    EXPECT_EQ(inverted, 1);
    EXPECT_EQ(vcx::BitmapOf(p.pic[0]), vcx::kBitmapOff);
    g.index = 1;
    vcx::ToggleSwitch(g, &p.page);
    EXPECT_EQ(plain, 0);
    EXPECT_EQ(vcx::BitmapOf(p.pic[1]), vcx::kBitmapOff);
    g.supported = {1, 0};
    vcx::LoadSwitchGroup(g, &p.page);
    EXPECT_EQ(vcx::BitmapOf(p.pic[1]), vcx::kBitmapUnsupported);
    EXPECT_FALSE(p.pic[1]->isEnabled());
    vcx::ToggleSwitch(g, &p.page);  // an unsupported switch does not toggle
    EXPECT_EQ(plain, 0);
}

// The groups a page fills from its field rows: each row's byte, range, support
// bit and polarity, and nothing offered of a record that was not read.
TEST(Kit, GroupsFromFieldRowsTakeTheRowsRangesBitsAndPolarity) {
    vcx::ProgramRecords r{};
    ParameterPowerSaving& p = r.powerSaving;
    p.valid = 1;
    p.itemMask = 0x0009;                       // bits 0 and 3
    p.item[0] = {0, 1, 0, 0, 1};               // sleep: 0 is on
    p.item[1] = {1, 1, 1, 0, 0};               // idle: not present
    p.item[3] = {9, 255, 9, 0, 1};             // idle delay, shown as value + 1
    r.misc.valid = 1;
    r.misc.item[0] = {1, 1, 1, 0, 1};          // watchdog: 1 is on
    vcx::EditGroup edits;
    vcx::SupportMask support;
    vcx::pagebuild::fieldEdits(edits, support, r, {"power.idleDelay"});
    ASSERT_EQ(edits.count(), 1);
    EXPECT_EQ(edits.values[0], &p.item[3].value);
    EXPECT_EQ(edits.minimum[0], 1);
    EXPECT_EQ(edits.maximum[0], 255);          // maximum + 1, kept inside a byte
    EXPECT_TRUE(support.supports(0));          // bit 3
    p.itemMask = 0x0001;
    vcx::pagebuild::fieldEdits(edits, support, r, {"power.idleDelay"});
    EXPECT_FALSE(support.supports(0));

    vcx::SwitchGroup switches;
    vcx::pagebuild::fieldSwitches(switches, r, {"power.sleep", "power.idle", "misc.watchdog"});
    EXPECT_EQ(switches.values, (std::vector<uint8_t*>{&p.item[0].value, &p.item[1].value, &r.misc.item[0].value}));
    // Value 0 row, then value 1 row: 0 is the on picture.
    EXPECT_EQ(switches.table, (std::vector<uint8_t>{0, 0, 1, 1, 1, 0}));
    EXPECT_EQ(switches.supported, (std::vector<uint32_t>{1, 0, 1}));

    // A value + 1 row steps its own value from minimum - 1.
    r.custom.valid = 1;
    r.custom.item0 = {3, 7, 3, 0, 1};
    const vcx::pagebuild::FieldStep ratio = vcx::pagebuild::fieldStep(r, "custom.pointRatio");
    EXPECT_EQ(ratio.value, &r.custom.item0.value);
    EXPECT_EQ(ratio.range.minimum, 0);
    EXPECT_EQ(ratio.range.maximum, 7);
    EXPECT_TRUE(ratio.present);
    r.custom.valid = 0;  // a record not read offers nothing, whatever its items say
    EXPECT_FALSE(vcx::pagebuild::fieldStep(r, "custom.pointRatio").present);
    p.valid = 0;
    vcx::pagebuild::fieldEdits(edits, support, r, {"power.idleDelay"});
    EXPECT_EQ(support.mask, 0);
    vcx::pagebuild::fieldSwitches(switches, r, {"power.sleep"});
    EXPECT_EQ(switches.supported, (std::vector<uint32_t>{0}));
}

TEST(Kit, StepValueStopsAtItsEndsAndEnablesTheOtherButton) {
    KitPage p;
    uint8_t v = 3;
    const vcx::StepRange r{2, 4};
    vcx::EnableStepPair(v, r, 450, &p.page);
    vcx::StepValue(v, r, 450, &p.page, true);
    EXPECT_EQ(v, 4);
    EXPECT_FALSE(p.plus->isEnabled());
    EXPECT_TRUE(p.minus->isEnabled());
    vcx::StepValue(v, r, 450, &p.page, true);
    EXPECT_EQ(v, 4);
    vcx::StepValue(v, r, 450, &p.page, false);
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(p.plus->isEnabled());
    vcx::StepValue(v, r, 450, &p.page, false);
    EXPECT_EQ(v, 2);
    EXPECT_FALSE(p.minus->isEnabled());
    vcx::StepValue(v, r, 450, &p.page, false);
    EXPECT_EQ(v, 2);
}

TEST(Kit, ASliderIsTakenWhenItsDragEndsNotWhileItMoves) {
    KitPage p;
    p.slider->setRange(0, 10);
    std::vector<int> ends;
    vcx::ConnectSliderEnd(p.slider, [&](int position) { ends.push_back(position); });
    p.slider->setSliderDown(true);
    p.slider->setSliderPosition(4);
    p.slider->setSliderPosition(6);
    EXPECT_TRUE(ends.empty());
    p.slider->setSliderDown(false);  // released
    EXPECT_EQ(ends, std::vector<int>{6});
    p.slider->triggerAction(QAbstractSlider::SliderPageStepAdd);  // a click beside the handle
    EXPECT_EQ(ends, (std::vector<int>{6, 10}));
    p.slider->setValue(2);  // a program's change is no end
    EXPECT_EQ(ends.size(), 2u);
}

class Pages : public ParamBench {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        ASSERT_TRUE(open("full"));
        ASSERT_TRUE(vcx::ReadAllParameters(c));
    }
};

TEST_F(Pages, PalmShowsOnlyItsRejectionSwitchAndTurningItOffDisablesTheRest) {
    vcx::CQVxF6PalmDlg page(c, nullptr);
    page.LoadDlgItem();
    page.SetDlgItemTip();
    auto* rejection = qvui::findControl<QLabel>(&page, 510);
    auto* edge = qvui::findControl<QLabel>(&page, 511);
    for (int id : {511, 512, 513, 520, 521, 522, 325, 326, 340})
        EXPECT_FALSE(qvui::findControl(&page, id)->isVisibleTo(&page)) << id;
    EXPECT_TRUE(rejection->isVisibleTo(&page));
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOn);  // value 0 is on
    EXPECT_EQ(vcx::BitmapOf(edge), vcx::kBitmapOn);
    EXPECT_EQ(qvui::findControl<QLabel>(&page, 325)->text(), "* 36(mm^2)");  // pitch 6.0 mm
    EXPECT_EQ(qvui::findControl<QLabel>(&page, 326)->text(), "* 6.0mm");
    EXPECT_EQ(dynamic_cast<vcx::CQVMyTipBMP*>(static_cast<QWidget*>(rejection))->featureTipId, 670u);

    QTest::mouseClick(rejection, Qt::LeftButton);
    EXPECT_EQ(c.records.palm.item5.value, 1);
    EXPECT_EQ(vcx::BitmapOf(rejection), vcx::kBitmapOff);
    EXPECT_EQ(vcx::BitmapOf(edge), vcx::kBitmapUnsupported);
    EXPECT_FALSE(edge->isEnabled());
    for (int id : {520, 521, 522}) EXPECT_FALSE(qvui::findControl(&page, id)->isEnabled()) << id;
    page.clickSwitch(0);
    EXPECT_EQ(c.records.palm.item5.value, 0);
    EXPECT_TRUE(edge->isEnabled());
    EXPECT_TRUE(qvui::findControl(&page, 520)->isEnabled());

    // The hidden edits still clamp: they take part in Apply.
    qvui::findControl<QLineEdit>(&page, 520)->setText("250");
    EXPECT_EQ(c.records.palm.item[0].value, 200);
    EXPECT_EQ(qvui::findControl<QLineEdit>(&page, 520)->text(), "200");
}

TEST_F(Pages, OlderFingerSensitivityStepsAndItsLabelAndMaximumContacts) {
    vcx::CQVOldFingerDlg page(c, nullptr);
    page.LoadDlgItem();
    auto* label = qvui::findControl<QLabel>(&page, 320);
    auto* plus = qvui::findControl<QPushButton>(&page, 451);
    auto* slider = qvui::findControl<QSlider>(&page, 504);
    EXPECT_EQ(label->text(), "0");  // 7 of 0..14
    EXPECT_EQ(slider->maximum(), 14);
    for (int k = 0; k < 7; ++k) QTest::mouseClick(plus, Qt::LeftButton);
    EXPECT_EQ(c.records.finger.item0[0].value, 14);
    EXPECT_EQ(label->text(), "7");
    EXPECT_FALSE(plus->isEnabled());
    EXPECT_EQ(slider->sliderPosition(), 14);
    page.sliderEnded(2);
    EXPECT_EQ(label->text(), "-5");
    EXPECT_TRUE(plus->isEnabled());

    auto* contacts = qvui::findControl<QLineEdit>(&page, 520);
    EXPECT_EQ(contacts->text(), "10");
    contacts->setText("0");
    EXPECT_EQ(c.records.finger.item0[1].value, 1);
    EXPECT_EQ(contacts->text(), "1");

    // Without the sensitivity item the slider and its pair go away, the label is empty.
    c.records.finger.item0[0].present = 0;
    page.LoadDlgItem();
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_FALSE(qvui::findControl(&page, 450)->isVisibleTo(&page));
    EXPECT_FALSE(qvui::findControl(&page, 340)->isVisibleTo(&page));
}

}  // namespace
