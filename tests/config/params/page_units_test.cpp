// The pure conversions the pages share: area units from the pitch, the scan
// delay unit, the level tables and the edges.
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

}  // namespace
