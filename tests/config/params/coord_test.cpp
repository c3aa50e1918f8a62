// The coordinate page's arithmetic and controls, the outer setting's
// conversions both ways, and the calibration's pure rules: target placement on
// the window, mean, divisor, widening, orientation rules, check point, texts
// and the monitor areas.
#include "params/calibration_dlg.h"
#include "core/field_table.h"
#include "params/outset_dlg.h"
#include "params/param_bitmaps.h"
#include "core/parameter_read.h"
#include "params/xf6_coord_dlg.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

namespace {

using vcx::CoordRange;

// ---- Calibration arithmetic -----------------------------------------------------

TEST(CalibrationTargets, InwardTargetsOnAFullHdWindow) {
    const CoordRange reference{0, 4095, 0, 4095};
    struct Case {
        int inward;
        QPoint first, second;
    };
    const Case cases[] = {
        {2, {37, 21}, {1881, 1058}}, {3, {57, 32}, {1861, 1047}},
        {4, {76, 42}, {1842, 1036}}, {5, {95, 53}, {1823, 1025}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.inward);
        auto at = [&](int phase) {
            return vcx::ControllerToWindow(vcx::TargetInController(phase, k.inward, reference), 4096, false, false,
                                           false, 0, QSize(1920, 1080));
        };
        EXPECT_EQ(at(vcx::kPhaseFirst), k.first);
        EXPECT_EQ(at(vcx::kPhaseSecond), k.second);
    }
    // The targets lie in the reference range, not the whole resolution.
    EXPECT_EQ(vcx::TargetInController(vcx::kPhaseFirst, 5, {1000, 3000, 2000, 2200}), QPoint(1100, 2010));
    EXPECT_EQ(vcx::TargetInController(vcx::kPhaseSecond, 5, {1000, 3000, 2000, 2200}), QPoint(2900, 2190));
}

TEST(CalibrationTargets, TheCheckPointFollowsReverseSwitchAndRotation) {
    // The check point (30, 70) % of 0..4095 is (1228, 2866): asymmetric, so every
    // reversal, switch and quarter turn moves it somewhere else.
    const QPoint check = vcx::TargetInController(vcx::kPhaseCheck, 5, {0, 4095, 0, 4095});
    ASSERT_EQ(check, QPoint(1228, 2866));
    struct Case {
        bool xr, yr, sw;
        int rotation;
        QPoint expected;
    };
    const Case cases[] = {
        {false, false, false, 0, {575, 755}},  {true, false, false, 0, {1343, 755}},
        {false, true, false, 0, {575, 324}},   {false, false, true, 0, {1343, 323}},
        {false, false, false, 1, {576, 323}},  {false, false, false, 2, {1343, 324}},
        {false, false, false, 3, {1343, 755}}, {true, false, true, 1, {575, 755}},
        {true, true, true, 2, {1343, 323}},    {false, true, false, 3, {576, 755}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.xr << k.yr << k.sw << " rotation " << k.rotation);
        EXPECT_EQ(vcx::ControllerToWindow(check, 4096, k.xr, k.yr, k.sw, k.rotation, QSize(1920, 1080)), k.expected);
    }
    for (int angle : {0, 90, 180, 270, 360, -90}) EXPECT_EQ(vcx::DisplayRotation(angle), (angle / 90 % 4 + 4) % 4);
    // No resolution: nothing to map onto.
    EXPECT_EQ(vcx::ControllerToWindow(check, 1, false, false, false, 0, QSize(1920, 1080)), QPoint());
}

TEST(CalibrationMeasure, MeanDivisorAndWidening) {
    vcx::TouchMean m;
    for (QPoint p : {QPoint(400, 398), QPoint(402, 400), QPoint(404, 402)}) m.add(p.x(), p.y());
    EXPECT_EQ(m.mean(), QPoint(402, 400));
    m.reset();
    EXPECT_EQ(m.count, 0);

    // Driver connections (device type bits 1..2) report on a 4096 scale.
    struct Div {
        uint32_t type;
        int resolution, divisor;
    };
    for (const Div& d : {Div{0x02, 2048, 2}, Div{0x02, 4096, 1}, Div{0x02, 8192, 1}, Div{0x04, 1024, 4},
                         Div{0x01, 2048, 1}, Div{0x01, 4096, 1}, Div{0x01, 8192, 1}, Div{0x02, 0, 1}})
        EXPECT_EQ(vcx::SampleDivisor(d.type, d.resolution), d.divisor) << d.type << " " << d.resolution;

    // Inward 5: a span of 900 widens by 50 on each side.
    vcx::MeasuredRange r = vcx::MeasuredRange::start(4096);
    EXPECT_FALSE(r.usable());
    r.widen({1000, 1100});
    r.widen({1900, 2000});
    ASSERT_TRUE(r.usable());
    EXPECT_EQ(vcx::ExtendMeasured(r, 5, 4096), (CoordRange{950, 1950, 1050, 2050}));
    EXPECT_EQ(vcx::ExtendMeasured(r, 2, 4096), (CoordRange{982, 1918, 1082, 2018}));  // 900 * 2 / 96 = 18
    // Clamped at 0 and R - 1.
    EXPECT_EQ(vcx::ExtendMeasured({20, 920, 3100, 4000}, 5, 4030), (CoordRange{0, 970, 3050, 4029}));
}

TEST(CalibrationRules, OrientationRulesInOrder) {
    const CoordRange n{100, 3900, 200, 3800};
    struct Case {
        bool sw, xr, yr;
        uint8_t byte2, byte5;
        int version;
        CoordRange expected;
    };
    const Case cases[] = {
        {false, false, false, 0, 0, 152, n},
        {true, false, false, 0, 0, 152, {200, 3800, 100, 3900}},
        {false, false, false, 0, 0x08, 152, {195, 3995, 200, 3800}},  // bit 3 set, X not reversed
        {false, true, false, 0, 0x08, 152, n},                        // bit 3 set, X reversed: agree
        {false, true, false, 0, 0, 152, {195, 3995, 200, 3800}},      // X reversed, bit 3 clear
        {false, false, false, 0, 0x04, 152, {100, 3900, 295, 3895}},
        {false, false, true, 0, 0x04, 152, n},
        {false, false, false, 0x10, 0, 137, {200, 3800, 100, 3900}},  // below 138 with byte 2 bit 4
        {false, false, false, 0x10, 0, 138, n},
        {false, false, false, 0x00, 0, 137, n},
        {true, false, false, 0x10, 0, 137, n},                        // swapped twice
        {true, false, false, 0, 0x08, 152, {295, 3895, 100, 3900}},   // the swap comes first
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.sw << k.xr << k.yr << " " << int(k.byte2) << " " << int(k.byte5) << " "
                                        << k.version);
        vcx::OrientationInputs in;
        in.xySwitch = k.sw;
        in.xReverse = k.xr;
        in.yReverse = k.yr;
        in.featureByte2 = k.byte2;
        in.featureByte5 = k.byte5;
        in.paraVersion = k.version;
        in.resolution = 4096;
        EXPECT_EQ(vcx::ApplyOrientationRules(n, in), k.expected);
    }
}

TEST(CalibrationRules, CheckPointAndBoxTexts) {
    const CoordRange ref{0, 4095, 0, 4095};
    EXPECT_EQ(vcx::CheckPointExpected(ref), QPoint(1228, 2866));
    EXPECT_EQ(vcx::CheckPointExpected({100, 1100, 200, 1200}), QPoint(400, 900));
    EXPECT_TRUE(vcx::CheckPointPasses({1258, 2836}, ref));   // 30 on each axis
    EXPECT_TRUE(vcx::CheckPointPasses({1198, 2896}, ref));
    EXPECT_FALSE(vcx::CheckPointPasses({1259, 2866}, ref));  // 31
    EXPECT_FALSE(vcx::CheckPointPasses({1228, 2835}, ref));

    struct Text {
        int phase, held, id;
    };
    for (const Text& t : {Text{0, 0, 1213}, Text{1, 0, 1213}, Text{2, 0, 1216}, Text{3, 0, 1217}, Text{0, 1, 1214},
                          Text{2, 9, 1214}, Text{1, 10, 1215}, Text{2, 25, 1215}})
        EXPECT_EQ(vcx::CalibrationTextId(t.phase, t.held), t.id) << t.phase << " " << t.held;
    vcx::addProgramStrings();
    EXPECT_EQ(qvui::loadString(1214), "Touch down. Please Wait...");
    EXPECT_EQ(qvui::loadString(1218), "Touch this screen to start its calibration.");

    EXPECT_EQ(vcx::PresentFamily("Tahoma", {"DejaVu Sans", "tahoma"}, "Fallback"), "tahoma");
    EXPECT_EQ(vcx::PresentFamily("Tahoma", {"DejaVu Sans"}, "DejaVu Sans"), "DejaVu Sans");
}

TEST(CalibrationAreas, MonitorsDividedIntoAreas) {
    // One ordinary monitor: one area, its text in the lower half.
    auto one = vcx::CalibrationAreas({{0, 0, 1920, 1080}});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].area, (vcx::WinRect{0, 0, 1920, 1080}));
    EXPECT_EQ(one[0].text, (vcx::WinRect{0, 540, 1920, 1080}));
    // A wide monitor beside a tall split one: two areas each.
    auto list = vcx::CalibrationAreas({{0, 0, 2560, 1024}, {2560, 0, 3208, 1000}});
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].area, (vcx::WinRect{0, 0, 1280, 1024}));
    EXPECT_EQ(list[1].area, (vcx::WinRect{1281, 0, 2560, 1024}));
    EXPECT_EQ(list[1].text, (vcx::WinRect{1281, 512, 2560, 1024}));
    EXPECT_EQ(list[2].area, (vcx::WinRect{2560, 0, 3208, 500}));
    EXPECT_EQ(list[3].area, (vcx::WinRect{2560, 501, 3208, 1000}));
    EXPECT_EQ(list[3].text, (vcx::WinRect{2560, 750, 3208, 1000}));
    EXPECT_TRUE(vcx::CalibrationAreas({{0, 0, 0, 0}}).empty());
}

// ---- Outer setting arithmetic -----------------------------------------------------

// The full controller's panel: 6.0 mm pitch, 28 x 16 lines, R = 4096.
const vcx::OuterPanel kPanel{4096, 60, 28, 16, 3440, 1940};

TEST(OuterSetting, ActiveSizesScaleAndRefusals) {
    EXPECT_DOUBLE_EQ(vcx::ActiveSize(60, 28), 162.0);
    EXPECT_DOUBLE_EQ(vcx::ActiveSize(60, 16), 90.0);
    // R - 1 is the rule 2047 k (k = R / 2047) for the panels it was made for...
    for (int k : {1, 2, 4}) EXPECT_EQ(vcx::OuterScale(2047 * k + 1), 2047 * k);
    EXPECT_EQ(vcx::OuterScale(4095), 2047 * (4095 / 2047));
    // ...and below 2047 it still scales (the integer k would be 0 and every range 0).
    EXPECT_EQ(vcx::OuterScale(1024), 1023);
    EXPECT_EQ(vcx::InsideMinValue(-8.1, 162.0, vcx::OuterScale(1024)), 51);
    EXPECT_EQ(vcx::OuterSettingRefusal(kPanel), "");
    EXPECT_EQ(vcx::OuterSettingRefusal({1, 60, 28, 16, 0, 0}), "Pre calibration initial failed.");
    EXPECT_NE(vcx::OuterSettingRefusal({4096, 0, 28, 16, 0, 0}), "");
    EXPECT_NE(vcx::OuterSettingRefusal({4096, 60, 1, 16, 0, 0}), "");
    EXPECT_NE(vcx::OuterSettingRefusal({4096, 60, 28, 0, 0, 0}), "");
}

TEST(OuterSetting, OffsetsIntoRangeAndNibbles) {
    struct Case {
        const char* what;
        vcx::OuterOffsets offsets;
        bool symX, symY;
        CoordRange range;
        vcx::EdgeValues edges;
    };
    const CoordRange start{11, 22, 33, 44};
    const vcx::EdgeValues edges{0x34, 0x14, 0x02, 0xF2};
    const Case cases[] = {
        {"symmetric inside", {-8.1, -8.1, -4.5, -4.5}, true, true, {205, 3890, 205, 3890}, {0x04, 0x04, 0x02, 0x02}},
        {"asymmetric inside", {-32.4, -8.1, 0.0, -9.0}, false, false, {819, 3890, 0, 3686}, {0x04, 0x04, 0x02, 0x02}},
        // Outside: the nibble, rounded (1 mm x 160 / 60 = 2.67), capped at 15; the range stays.
        {"outside", {1.0, 10.0, 0.2, 0.1}, false, false, start, {0x34, 0xF4, 0x12, 0x02}},
        {"mixed with symmetry", {-8.1, -8.1, 1.5, 1.5}, true, true, {205, 3890, 33, 44}, {0x04, 0x04, 0x42, 0x42}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        CoordRange r = start;
        vcx::EdgeValues e = edges;
        vcx::ApplyOuterOffsets(k.offsets, k.symX, k.symY, kPanel, r, e);
        EXPECT_EQ(r, k.range);
        EXPECT_EQ(e, k.edges);
    }
    EXPECT_EQ(vcx::OuterNibble(1.0, 60), 3);
    EXPECT_EQ(vcx::OuterNibble(5.625, 60), 15);
    EXPECT_EQ(vcx::OuterNibble(100.0, 60), 15);
}

TEST(OuterSetting, OpeningShowsTheInverseOfTheStoredRange) {
    const vcx::OuterOffsets o = vcx::OffsetsOf({205, 3890, 0, 4095}, {0x04, 0x04, 0x42, 0x02}, kPanel);
    EXPECT_EQ(QString::asprintf("%.02f", o[0]), "-8.11");
    EXPECT_EQ(QString::asprintf("%.02f", o[1]), "-8.11");
    EXPECT_EQ(QString::asprintf("%.02f", o[2]), "1.50");  // nibble 4 x 6.0 mm / 16
    EXPECT_EQ(QString::asprintf("%.02f", o[3]), "0.00");
    // Forward after inverse gives the range back.
    CoordRange r{0, 0, 0, 0};
    vcx::EdgeValues e{0, 0, 0, 0};
    vcx::ApplyOuterOffsets(vcx::OffsetsOf({300, 3500, 150, 3999}, {0, 0, 0, 0}, kPanel), false, false, kPanel, r, e);
    EXPECT_EQ(r, (CoordRange{300, 3500, 150, 3999}));
}

// ---- The page and the outer-setting dialog on the full controller -------------------

class CoordPage : public paramtest::ParamBench {
protected:
    void SetUp() override {
        ASSERT_TRUE(open("full"));
        ASSERT_TRUE(vcx::ReadAllParameters(c));
        page = std::make_unique<vcx::CQVxF6CoordDlg>(c, nullptr);
        page->LoadDlgItem();
    }
    void TearDown() override {
        page.reset();
        vcx::programState().engineerMode = false;
        ParamBench::TearDown();
    }
    template <class T = QWidget>
    T* control(int id) {
        return qvui::findControl<T>(page.get(), id);
    }
    QString text(int id) {
        if (auto* e = control<QLineEdit>(id)) return e->text();
        return control<QLabel>(id)->text();
    }
    int checkedRadio() {
        for (int id = 460; id <= 463; ++id)
            if (control<QRadioButton>(id)->isChecked()) return id;
        return 0;
    }
    std::array<bool, 3> checks() {
        return {control<QCheckBox>(470)->isChecked(), control<QCheckBox>(471)->isChecked(),
                control<QCheckBox>(472)->isChecked()};
    }
    void clickCheck(int id) { control<QCheckBox>(id)->click(); }

    std::unique_ptr<vcx::CQVxF6CoordDlg> page;
    paramtest::Boxes boxes;
};

TEST_F(CoordPage, TheCoordinateRowsReadTheirItems) {
    struct Row {
        const char* key;
        int value, maximum;
    };
    ParameterCoordinate& co = c.records.coordinate;
    co.item8[2].value = 1;
    co.word[6].value = 17;
    for (const Row& row : {Row{"coord.xMax", 4095, 4095}, Row{"coord.xReverse", 0, 1}, Row{"coord.switch", 1, 1},
                           Row{"coord.refXMax", 4095, 4095}, Row{"coord.refYMin", 17, 4095},
                           Row{"coord.edge2", 0x14, 0xFF}, Row{"coord.orientation", 0, 3}}) {
        const vcx::ParamField* f = vcx::FindField(row.key);
        ASSERT_NE(f, nullptr) << row.key;
        const vcx::FieldValue v = vcx::ReadField(c.records, *f);
        EXPECT_TRUE(v.present) << row.key;
        EXPECT_EQ(v.value, row.value) << row.key;
        EXPECT_EQ(v.maximum, row.maximum) << row.key;
        EXPECT_TRUE(vcx::FieldSupported(c.records, *f)) << row.key;
    }
    // Not in the change list: the switches and the reference range are no Apply lines.
    EXPECT_EQ(vcx::FormatParameterChanges(c.records), "");
}

TEST_F(CoordPage, LoadShowsTheRangeResolutionTailAndEdges) {
    EXPECT_EQ(text(324), "Resolution : 4096 x 4096");
    EXPECT_EQ((std::vector<QString>{text(520), text(521), text(522), text(523)}),
              (std::vector<QString>{"0", "4095", "0", "4095"}));
    EXPECT_EQ(text(331), "4095");
    EXPECT_EQ(text(524), "5");
    EXPECT_EQ(checkedRadio(), 460);
    EXPECT_EQ(vcx::BitmapOf(control<QLabel>(512)), 224);
    EXPECT_TRUE(control(504)->isVisibleTo(page.get()));
    // Edge items 0x14 of maximum 0xFF: strength 2 of 0..7.
    EXPECT_EQ(control<QSlider>(505)->maximum(), 7);
    EXPECT_EQ(control<QSlider>(505)->value(), 2);
    EXPECT_EQ(text(321), "2");
    EXPECT_TRUE(control(450)->isEnabled());
    EXPECT_TRUE(control(451)->isEnabled());
}

TEST_F(CoordPage, RadiosAndChecksFollowEachOther) {
    struct Row {
        int radio;
        std::array<bool, 3> checks;
    };
    ParameterCoordinate& co = c.records.coordinate;
    for (const Row& row : {Row{461, {true, false, true}}, Row{462, {true, true, false}}, Row{463, {false, true, true}},
                           Row{460, {false, false, false}}}) {
        SCOPED_TRACE(row.radio);
        control<QRadioButton>(row.radio)->click();
        EXPECT_EQ(checks(), row.checks);
        EXPECT_EQ(vcx::BitmapOf(control<QLabel>(512)), row.radio - 236);
        EXPECT_EQ(co.item8[0].value, row.checks[0]);
        EXPECT_EQ(co.item8[2].value, row.checks[2]);
        EXPECT_EQ(co.item8[3].value, row.radio - 460);
    }
    // Checks to the radio: one checked (odd) hides the picture and clears the radios...
    clickCheck(471);
    EXPECT_EQ(checkedRadio(), 0);
    EXPECT_FALSE(control(512)->isVisibleTo(page.get()));
    EXPECT_EQ(co.item8[1].value, 1);
    // ...two (Y reverse and switch) choose Left, index switch + 2 * Y reverse = 3.
    clickCheck(472);
    EXPECT_EQ(checkedRadio(), 463);
    EXPECT_TRUE(control(512)->isVisibleTo(page.get()));
    EXPECT_EQ(vcx::BitmapOf(control<QLabel>(512)), 227);
    EXPECT_EQ(co.item8[3].value, 3);
    clickCheck(470);  // three: odd again
    EXPECT_EQ(checkedRadio(), 0);
    EXPECT_EQ(co.item8[3].value, 3);  // the orientation stays what it was
    for (int i = 0; i < 4; ++i) EXPECT_EQ(vcx::OrientationFromChecks(vcx::OrientationChecks(i)[0],
                                                                     vcx::OrientationChecks(i)[1],
                                                                     vcx::OrientationChecks(i)[2]), i);
}

TEST_F(CoordPage, InwardEntryIsKeptInsideTwoToFive) {
    auto* inward = control<QLineEdit>(524);
    struct Entry {
        const char* typed;
        const char* shown;
        int value;
    };
    for (const Entry& e : {Entry{"9", "5", 5}, Entry{"1", "2", 2}, Entry{"3", "3", 3}, Entry{"0", "2", 2},
                           Entry{"x", "2", 2}}) {
        inward->setText(QString::fromLatin1(e.typed));
        EXPECT_EQ(inward->text(), e.shown) << e.typed;
        EXPECT_EQ(page->inward(), e.value) << e.typed;
    }
}

TEST_F(CoordPage, SaveTakesEdgesAlwaysAndTheRangeInEngineerMode) {
    ParameterCoordinate& co = c.records.coordinate;
    // Level 7 with maximum 0x0F is 0x0E, one below the maximum: the maximum.
    co.item12[0].maximum = 0x0F;
    co.item12[0].value = 0x00;
    page->LoadDlgItem();
    EXPECT_EQ(control<QSlider>(504)->maximum(), 7);
    control<QSlider>(504)->setValue(7);
    control<QSlider>(505)->setValue(5);  // 0x14: distance nibble 1 kept, strength 5
    control<QLineEdit>(520)->setText("100");
    page->SaveDlgItem();
    EXPECT_EQ(co.item12[0].value, 0x0F);
    EXPECT_EQ(co.item12[1].value, 0x1A);
    EXPECT_EQ(co.word[0].value, 0);  // not in engineer mode
    EXPECT_EQ(vcx::EdgeValueFromPosition(0x30, 0xFF, 7), 0x3E);

    vcx::programState().engineerMode = true;
    control<QLineEdit>(520)->setText("100");
    control<QLineEdit>(521)->setText("4096");  // above R - 1: keeps 4095
    control<QLineEdit>(522)->setText("3000");
    control<QLineEdit>(523)->setText("2000");  // min above max: the old min
    page->SaveDlgItem();
    EXPECT_EQ(co.word[0].value, 100);
    EXPECT_EQ(co.word[1].value, 4095);
    EXPECT_EQ(co.word[2].value, 0);
    EXPECT_EQ(co.word[3].value, 2000);
    // A crossed pair keeps the old min, and the old max too while it is still crossed.
    EXPECT_EQ(vcx::SaveRangeValues({500, 600, 0, 10}, {700, 650, -1, 10}, 4096), (CoordRange{500, 650, 0, 10}));
    EXPECT_EQ(vcx::SaveRangeValues({500, 600, 0, 10}, {700, 450, -1, 10}, 4096), (CoordRange{500, 600, 0, 10}));
}

TEST_F(CoordPage, RangeLockAndOuterSettingPresence) {
    c.records.vButton.item[0].value = 0x01;
    page->LoadDlgItem();
    for (int id : {450, 520, 521, 522, 523, 524}) EXPECT_FALSE(control(id)->isEnabled()) << id;
    EXPECT_EQ(text(521), "");
    EXPECT_EQ(text(331), "");
    c.records.vButton.item[0].value = 0x02;
    page->LoadDlgItem();
    for (int id : {450, 520, 521, 522, 523, 524}) EXPECT_TRUE(control(id)->isEnabled()) << id;

    struct Mask {
        uint16_t mask;
        bool enabled;
    };
    for (const Mask& m : {Mask{0xFFFF, true}, Mask{0xF0FF, true}, Mask{0xF0FE, false}, Mask{0xE0FF, false},
                          Mask{0x70FF, false}, Mask{0x0FFF, false}}) {
        c.records.coordinate.itemMask = m.mask;
        page->LoadDlgItem();
        EXPECT_EQ(control(451)->isEnabled(), m.enabled) << std::hex << m.mask;
    }
    // Without the four edge items the edge controls are hidden.
    c.records.coordinate.itemMask = 0xFFFF;
    c.records.coordinate.item12[3].present = 0;
    page->LoadDlgItem();
    EXPECT_FALSE(control(504)->isVisibleTo(page.get()));
    EXPECT_FALSE(control(340)->isVisibleTo(page.get()));
}

TEST_F(CoordPage, OuterSettingOpensWithThePanelAndWritesTheRange) {
    ParameterCoordinate& co = c.records.coordinate;
    co.word[0].value = 205;
    co.word[1].value = 3890;
    co.item12[0].value = co.item12[1].value = co.item12[3].value = 0x04;
    co.item12[2].value = 0x42;
    std::map<int, QString> shown;
    qvui::DialogResponder responder([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Outer Setting");
        for (int id : {320, 321}) shown[id] = qvui::findControl<QLabel>(&d, id)->text();
        for (int id = 520; id <= 527; ++id) shown[id] = qvui::findControl<QLineEdit>(&d, id)->text();
        // X symmetric from the actual active area (170 mm: 4 mm outside on both sides),
        // Y from its offsets: top 2 mm inside, bottom on the edge.
        qvui::findControl<QCheckBox>(&d, 471)->setChecked(true);
        EXPECT_FALSE(qvui::findControl(&d, 523)->isEnabled());
        EXPECT_TRUE(qvui::findControl(&d, 526)->isEnabled());
        qvui::findControl<QLineEdit>(&d, 522)->setText("170");
        qvui::findControl<QLineEdit>(&d, 526)->setText("-2");
        qvui::findControl<QLineEdit>(&d, 527)->setText("0");
        return qvui::DialogChoice::Accept;
    });
    EXPECT_EQ(page->runOuterSetting(), QDialog::Accepted);
    // The panel's size words (0.1 mm), the sensor's active sizes, the inverse offsets.
    EXPECT_EQ(shown[320], QString::asprintf("%.01f", c.records.panel.dimension[0] / 10.0));
    // The full controller's panel is a 15.6" wide one: its key area 344.0 x 194.0 mm.
    EXPECT_EQ(shown[320], "344.0");
    EXPECT_EQ(shown[321], "194.0");
    EXPECT_EQ(shown[520], "344.0");
    EXPECT_EQ(shown[521], "194.0");
    EXPECT_EQ(shown[522], "162.0");
    EXPECT_EQ(shown[525], "90.0");
    EXPECT_EQ(shown[523], "-8.11");
    EXPECT_EQ(shown[524], "-8.11");
    EXPECT_EQ(shown[526], "1.50");
    EXPECT_EQ(shown[527], "0.00");
    // X: 4 mm outside: nibble 4 x 160 / 60 = 10.67 -> 11, range kept; Y: -2 mm -> 91, 0 -> 4095.
    EXPECT_EQ(co.word[0].value, 205);
    EXPECT_EQ(co.word[1].value, 3890);
    EXPECT_EQ(co.item12[0].value, 0xB4);
    EXPECT_EQ(co.item12[1].value, 0xB4);
    EXPECT_EQ(co.word[2].value, 91);
    EXPECT_EQ(co.word[3].value, 4095);
    EXPECT_EQ(co.item12[2].value, 0x02);
    EXPECT_EQ(text(520), "205");
    EXPECT_EQ(text(332), "91");
}

TEST_F(CoordPage, OuterSettingTheSameWithTheKeyAreaAndItsFilter) {
    ParameterCoordinate& co = c.records.coordinate;
    qvui::DialogResponder responder([&](QDialog& d) {
        auto* left = qvui::findControl<QLineEdit>(&d, 523);
        left->clear();
        QTest::keyClicks(left, "a-1.5b");
        EXPECT_EQ(left->text(), "-1.5");  // only digits, '-' and '.'
        qvui::findControl<QCheckBox>(&d, 470)->setChecked(true);
        for (int id : {471, 472, 522, 523, 524, 525, 526, 527}) EXPECT_FALSE(qvui::findControl(&d, id)->isEnabled());
        qvui::findControl<QLineEdit>(&d, 520)->setText("160");  // 1 mm inside each side
        qvui::findControl<QLineEdit>(&d, 521)->setText("81");   // 4.5 mm inside each side
        return qvui::DialogChoice::Accept;
    });
    ASSERT_EQ(page->runOuterSetting(), QDialog::Accepted);
    EXPECT_EQ(co.word[0].value, 25);  // 1 x 4095 / 162 = 25.3
    EXPECT_EQ(co.word[1].value, 4095 - 25);
    EXPECT_EQ(co.word[2].value, 205);
    EXPECT_EQ(co.word[3].value, 3890);
}

TEST_F(CoordPage, OuterSettingRefusesAPanelWithoutPitchLinesOrResolution) {
    int dialogs = 0;
    qvui::DialogResponder responder([&](QDialog&) {
        ++dialogs;
        return qvui::DialogChoice::Accept;
    });
    const ParameterPanel good = c.records.panel;
    const ParameterCoordinate before = c.records.coordinate;
    const std::function<void(ParameterPanel&)> faults[] = {
        [](ParameterPanel& p) { p.extra[2] = 0; },       // pitch 0
        [](ParameterPanel& p) { p.item[4].value = 1; },  // one line: no active size
        [](ParameterPanel& p) { p.resolution[0] = 0; },  // no resolution word
    };
    for (const auto& fault : faults) {
        c.records.panel = good;
        fault(c.records.panel);
        boxes.asked.clear();
        EXPECT_EQ(page->runOuterSetting(), -1);
        EXPECT_EQ(dialogs, 0);
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
        EXPECT_EQ(0, std::memcmp(&before, &c.records.coordinate, sizeof before));
    }
    EXPECT_EQ(boxes.asked[0].text, "Pre calibration initial failed.");
}

}  // namespace
