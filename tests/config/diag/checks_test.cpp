// The panel scan checks as pure functions: one table per check with its edge
// cases (the integer A/3 count, the doubled threshold at drive-IC columns, the
// skipped slave row, the one panel with a row-0 limit of 100, the absolute range,
// the near-raw shifts, the base-flat threshold, limit and count), and every
// failing position reported.
#include "diag/scan_checks.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using vcx::CheckResult;
using vcx::Frame;
using vcx::FrameSet;
using vcx::ScanGrid;
using vcx::ScanReport;
using Reports = std::vector<ScanReport>;

Frame Fill(ScanGrid g, uint16_t v) { return Frame(g.nodes(), v); }
void Set(Frame& f, ScanGrid g, int r, int c, int v) { f[size_t(r) * size_t(g.columns) + size_t(c)] = uint16_t(v); }
FrameSet Three(const Frame& f) { return {f, f, f}; }

std::string Show(const Reports& r) {
    std::string s;
    for (const ScanReport& p : r) s += "(" + std::to_string(p.wParam) + "," + std::to_string(p.lParam) + ")";
    return s;
}

TEST(DiagCheckSameData, OnlyThreeEqualFramesFailWithOneReport) {
    const ScanGrid g{3, 4};
    const Frame f = Fill(g, 1000);
    const CheckResult same = vcx::CheckSameData(g, Three(f));
    EXPECT_FALSE(same.pass);
    EXPECT_EQ(Show(same.reports), "(253,0)");
    for (int frame : {0, 1, 2}) {
        SCOPED_TRACE(frame);
        FrameSet s = Three(f);
        Set(s[size_t(frame)], g, 2, 3, 1001);
        const CheckResult r = vcx::CheckSameData(g, s);
        EXPECT_TRUE(r.pass);
        EXPECT_TRUE(r.reports.empty());
    }
}

TEST(DiagCheckDebounce, NodesThatMoveMoreThanTheThresholdBetweenFrames) {
    const ScanGrid g{2, 3};
    struct Case {
        const char* name;
        uint16_t f0, f1, f2;
        const char* reports;
    };
    const Case cases[] = {
        {"still", 1000, 1000, 1000, ""},
        {"exactly the threshold", 1000, 1100, 1000, ""},
        {"one more in the first pair", 1000, 1101, 1101, "(1,2)"},
        {"in both pairs", 1000, 1101, 1000, "(1,2)(1,2)"},
        {"in the second pair, downwards", 1000, 1000, 899, "(1,2)"},
        {"raw counts are unsigned", 0, 65535, 65535, "(1,2)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FrameSet s = Three(Fill(g, 500));
        Set(s[0], g, 1, 2, k.f0);
        Set(s[1], g, 1, 2, k.f1);
        Set(s[2], g, 1, 2, k.f2);
        Frame mask = Fill(g, 0);
        const CheckResult r = vcx::CheckDebounce(g, s, mask, 100);
        EXPECT_EQ(Show(r.reports), k.reports);
        EXPECT_EQ(r.pass, *k.reports == 0);
        EXPECT_EQ(mask[5], *k.reports ? 1 : 0);
    }
}

TEST(DiagCheckNodeData, TwoColumnsApartInEachDifferenceFrame) {
    const ScanGrid g{2, 4};
    struct Case {
        const char* name;
        int frame, r, c, value;
        const char* reports;
    };
    const Case cases[] = {
        {"quiet", 0, 0, 0, 0, ""},
        {"30 is not above 30", 1, 0, 0, 30, ""},
        // The node two columns left of a change fails, and the change against the node two right of it.
        {"31 at column 2", 2, 1, 2, 31, "(1,0)"},
        {"31 at column 1", 0, 0, 1, 31, "(0,1)"},
        {"31 at column 3", 0, 0, 3, 31, "(0,1)"},
        // Differences are signed: -1 against 29 is 30 apart, not 65506.
        {"a negative difference", 0, 0, 0, -1, ""},
        {"-2 against 29", 0, 0, 0, -2, "(0,0)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        FrameSet s = Three(Fill(g, 0));
        if (k.value < 0) {
            for (Frame& f : s) Set(f, g, 0, 2, 29);
            Set(s[size_t(k.frame)], g, 0, 0, k.value);
        } else {
            Set(s[size_t(k.frame)], g, k.r, k.c, k.value);
        }
        Frame mask = Fill(g, 0);
        const CheckResult r = vcx::CheckNodeData(g, s, mask, 30);
        EXPECT_EQ(Show(r.reports), k.reports);
        EXPECT_EQ(r.pass, *k.reports == 0);
    }
}

TEST(DiagCheckMinusData, WritesEveryDifferenceAndFailsAboveTheThreshold) {
    const ScanGrid g{1, 3};
    const Frame base = {1000, 1000, 1000};
    FrameSet scan = {Frame{1000, 1100, 900}, Frame{1101, 1000, 1000}, Frame{899, 1000, 1000}};
    FrameSet diff = Three(Fill(g, 7));
    Frame mask = Fill(g, 0);
    const CheckResult r = vcx::CheckMinusData(g, scan, base, diff, mask, 100);
    EXPECT_FALSE(r.pass);
    EXPECT_EQ(Show(r.reports), "(0,0)(0,0)");
    EXPECT_EQ(diff[0], (Frame{0, 100, 100}));
    EXPECT_EQ(diff[1], (Frame{101, 0, 0}));
    EXPECT_EQ(diff[2], (Frame{101, 0, 0}));
    EXPECT_EQ(mask, (Frame{1, 0, 0}));
    // Without a base frame of the panel's size nothing is compared.
    EXPECT_FALSE(vcx::CheckMinusData(g, scan, Frame{}, diff, mask, 100).pass);
}

TEST(DiagCheckDriver, MoreThanAThirdOfTheRowsFailAColumnPair) {
    const ScanGrid g{12, 4};
    struct Case {
        const char* name;
        int rows;       // rows where columns 1 and 2 differ
        int step;       // by this much
        uint8_t flag1;  // g_ColumnFlags[1]
        const char* reports;
    };
    const Case cases[] = {
        {"4 of 12 rows is not more than 12/3", 4, 101, 0, ""},
        {"5 of 12 rows", 5, 101, 0, "(255,1)(255,2)(255,1)(255,2)(255,1)(255,2)"},
        {"a drive-IC column takes twice the threshold", 12, 200, 1, ""},
        {"above twice the threshold", 12, 201, 1, "(255,1)(255,2)(255,1)(255,2)(255,1)(255,2)"},
        {"an edge column takes the threshold", 12, 101, 2, "(255,1)(255,2)(255,1)(255,2)(255,1)(255,2)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Frame f = Fill(g, 1000);
        for (int r = 0; r < k.rows; ++r) Set(f, g, r, 2, 1000 + k.step);
        // Column 3 follows column 2, so only the pair (1, 2) differs.
        for (int r = 0; r < k.rows; ++r) Set(f, g, r, 3, 1000 + k.step);
        Frame mask(4, 0);
        const CheckResult r = vcx::CheckDriverAbnormal(g, Three(f), {2, k.flag1, 2, 0}, mask, 100);
        EXPECT_EQ(Show(r.reports), k.reports);
        EXPECT_EQ(mask, *k.reports ? (Frame{0, 1, 1, 0}) : (Frame{0, 0, 0, 0}));
    }
}

// An open column 5 breaks both of its pairs, in each of the three frames.
TEST(DiagCheckDriver, AnOpenColumnFailsBothItsPairsInEveryFrame) {
    const ScanGrid g{16, 28};
    Frame f = Fill(g, 1000);
    for (int r = 0; r < g.rows; ++r) Set(f, g, r, 5, 0);
    Frame mask(28, 0);
    const CheckResult r = vcx::CheckDriverAbnormal(g, Three(f), std::vector<uint8_t>(28, 0), mask, 100);
    EXPECT_EQ(Show(r.reports), "(255,4)(255,5)(255,5)(255,6)(255,4)(255,5)(255,5)(255,6)(255,4)(255,5)(255,5)(255,6)");
    Frame want(28, 0);
    want[4] = want[5] = want[6] = 1;
    EXPECT_EQ(mask, want);
}

TEST(DiagCheckSensor, RowPairsCountedAgainstAThirdOfTheRows) {
    // 12 rows, 20 columns: a pair fails at 5 columns (A/3 = 4), not at 4.
    const ScanGrid g{12, 20};
    struct Case {
        const char* name;
        int columns, step;
        vcx::SensorRowRules rules;
        int row;  // the pair (row, row + 1)
        const char* reports;
    };
    const Case cases[] = {
        {"4 columns", 4, 201, {}, 3, ""},
        {"5 columns", 5, 201, {}, 3, "(254,3)(254,4)(254,3)(254,4)(254,3)(254,4)"},
        {"the slave row is skipped", 5, 201, {6, false}, 6, ""},
        {"another row is not", 5, 201, {6, false}, 5, "(254,5)(254,6)(254,5)(254,6)(254,5)(254,6)"},
        {"row 0 of the one panel takes 100", 5, 101, {std::nullopt, true}, 0,
         "(254,0)(254,1)(254,0)(254,1)(254,0)(254,1)"},
        {"row 0 of other panels takes the threshold", 5, 101, {}, 0, ""},
        {"row 1 of the one panel takes the threshold", 5, 101, {std::nullopt, true}, 1, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // Rows after the pair follow its lower row, so only that pair differs.
        Frame f = Fill(g, 1000);
        for (int r = k.row + 1; r < g.rows; ++r)
            for (int c = 0; c < k.columns; ++c) Set(f, g, r, c, 1000 + k.step);
        Frame mask(12, 0);
        const CheckResult r = vcx::CheckSensorAbnormal(g, Three(f), mask, 200, k.rules);
        EXPECT_EQ(Show(r.reports), k.reports);
        EXPECT_EQ(mask[size_t(k.row)], *k.reports ? 1 : 0);
    }
}

TEST(DiagCheckAbsolute, LimitFromRegister17OrTheRange) {
    EXPECT_EQ(vcx::AbsoluteLimit(std::nullopt), 2030u);  // E0 00 17 refused
    EXPECT_EQ(vcx::AbsoluteLimit(0), 2030u);
    EXPECT_EQ(vcx::AbsoluteLimit(1), 2030u);
    EXPECT_EQ(vcx::AbsoluteLimit(3), 6090u);
    const ScanGrid g{1, 1};
    struct Case {
        bool range;
        uint32_t limit;
        uint16_t value;
        bool pass;
    };
    const Case cases[] = {
        {false, 2030, 2030, true}, {false, 2030, 2031, false}, {false, 6090, 6090, true},
        {false, 6090, 6091, false}, {false, 2030, 0, true},
        {true, 2030, 99, false},   {true, 2030, 100, true},    {true, 2030, 4096, true},
        {true, 2030, 4097, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.range << " " << k.limit << " " << k.value);
        Frame mask(1, 0);
        const CheckResult r = vcx::CheckAbsolute(g, Three(Frame{k.value}), mask, k.range, 100, k.limit);
        EXPECT_EQ(r.pass, k.pass);
        EXPECT_EQ(r.reports.size(), k.pass ? 0u : 3u);  // each of the three frames
        EXPECT_EQ(mask[0], k.pass ? 0 : 1);
    }
}

TEST(DiagCheckNearRaw, AcrossRowsFirstAndLastPairsShiftByOne) {
    struct Case {
        const char* name;
        int rows;      // a column of this many rows
        int pairRow;   // the pair (pairRow, pairRow + 1) holds a and b; the rest follow
        int a, b;
        std::optional<int> skip;
        bool pass;
    };
    const Case cases[] = {
        {"first pair 1000/1600: 800 is not below 600", 4, 0, 1000, 1600, {}, true},
        {"first pair 1000/2100: 1050 is below 1100", 4, 0, 1000, 2100, {}, false},
        {"inside 1000/1300: 325 is not below 300", 4, 1, 1000, 1300, {}, true},
        {"inside 1000/1400: 350 is below 400", 4, 1, 1000, 1400, {}, false},
        {"last pair 1000/1600", 4, 2, 1000, 1600, {}, true},
        {"last pair 1000/2100", 4, 2, 1000, 2100, {}, false},
        {"the other way round", 4, 1, 1400, 1000, {}, false},
        // Signed: -50 over -100 has hi >> 1 = -25, below the step 50 (unsigned it would pass).
        {"a negative pair", 2, 0, -100, -50, {}, false},
        {"a negative pair close together", 2, 0, -100, -99, {}, false},
        {"the skipped slave row", 4, 1, 1000, 1400, 1, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const ScanGrid g{k.rows, 1};
        Frame f = Fill(g, uint16_t(k.a));
        for (int r = k.pairRow + 1; r < k.rows; ++r) Set(f, g, r, 0, k.b);
        std::vector<uint8_t> failMap(g.nodes(), 0);
        const CheckResult r = vcx::CheckNearRawData(g, f, failMap, {}, k.skip);
        EXPECT_EQ(r.pass, k.pass);
        EXPECT_EQ(Show(r.reports), k.pass ? "" : "(" + std::to_string(k.pairRow) + ",0)");
        EXPECT_EQ(failMap[size_t(k.pairRow)], k.pass ? 0 : 1);
    }
}

TEST(DiagCheckNearRaw, AcrossColumnsShiftByOneAtFlaggedColumns) {
    struct Case {
        int a, b;
        uint8_t flag;
        bool pass;
    };
    const Case cases[] = {
        {1000, 1300, 0, true},  {1000, 1400, 0, false}, {1400, 1000, 0, false},
        {1000, 1400, 1, true},  {1000, 2100, 1, false}, {1000, 2000, 2, true},
    };
    const ScanGrid g{1, 2};
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.a << "/" << k.b << " flag " << int(k.flag));
        std::vector<uint8_t> failMap(2, 0);
        const CheckResult r = vcx::CheckNearRawData(g, Frame{uint16_t(k.a), uint16_t(k.b)}, failMap, {k.flag, 0}, {});
        EXPECT_EQ(r.pass, k.pass);
        EXPECT_EQ(failMap[0], k.pass ? 0 : 2);
    }
}

// ---- base flat ---------------------------------------------------------------------------

// A 3 x 28 mode frame whose row 1 climbs by `step` from column c to c + 1 at
// each column in `at`, flat elsewhere: d = step exactly there.
Frame Staircase(const std::vector<std::pair<int, int>>& steps) {
    const ScanGrid g{3, 28};
    Frame f = Fill(g, 0);
    int level = 0;
    for (int c = 0; c < 28; ++c) {
        Set(f, g, 1, c, level);
        for (auto [at, step] : steps)
            if (at == c) level += step;
    }
    return f;
}
std::vector<std::pair<int, int>> Steps(int count, int step, int first = 1) {
    std::vector<std::pair<int, int>> s;
    for (int i = 0; i < count; ++i) s.push_back({first + i, step});
    return s;
}

TEST(DiagCheckBaseFlat, ThresholdLimitAndCount) {
    const ScanGrid g{3, 28};
    struct Case {
        const char* name;
        Frame frame;
        vcx::BaseFlatParams params;
        std::vector<uint8_t> columnFlags;
        bool pass;
        int max, count, limit;
    };
    const vcx::BaseFlatParams t60{60, 0, false};
    const std::vector<uint8_t> none(28, 0);
    std::vector<uint8_t> flagged(28, 0);
    flagged[5] = 1;
    const Case cases[] = {
        {"22 steps at T: count 22 passes", Staircase(Steps(22, 60)), t60, none, true, 60, 22, 80},
        {"23 steps at T: count 23 fails", Staircase(Steps(23, 60)), t60, none, false, 60, 23, 80},
        {"steps below T are not counted", Staircase(Steps(25, 59)), t60, none, true, 59, 0, 80},
        {"a step at the limit passes", Staircase({{3, 80}}), t60, none, true, 80, 1, 80},
        {"a step above the limit fails", Staircase({{3, 81}}), t60, none, false, 81, 1, 80},
        {"downward steps count alike", Staircase({{3, -81}}), t60, none, false, 81, 1, 80},
        {"panel byte 75 & 3 = 1 raises T by half", Staircase({{3, 89}}), {60, 0x01, false}, none, true, 89, 0, 120},
        {"panel byte 75 & 12 = 4 as well", Staircase({{3, 121}}), {60, 0x04, false}, none, false, 121, 1, 120},
        {"a drive-IC column weighs 2/3", Staircase({{5, 120}}), t60, flagged, true, 80, 1, 80},
        {"unflagged the same step fails", Staircase({{5, 120}}), t60, none, false, 120, 2, 80},
        {"a k6150 panel halves row 1", Staircase({{3, 160}}), {60, 0, true}, none, true, 80, 1, 80},
        {"the last pair inside is c = B-3", Staircase({{25, 100}}), t60, none, false, 100, 1, 80},
        {"c = B-2 lies outside", Staircase({{26, 500}}), t60, none, true, 0, 0, 80},
        {"c = 0 lies outside", Staircase({{0, 500}}), t60, none, true, 0, 0, 80},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<uint8_t> failMap(g.nodes(), 0);
        vcx::BaseFlatStats stats;
        const vcx::BaseFlatResult r =
            vcx::CheckBaseFlat(g, {k.frame, Frame{}, Frame{}}, 1, failMap, k.columnFlags, k.params, stats);
        EXPECT_EQ(r.pass, k.pass);
        EXPECT_EQ(r.failedModes, k.pass ? 0 : 1);
        EXPECT_EQ(stats.max[0], k.max);
        EXPECT_EQ(stats.count[0], k.count);
        EXPECT_EQ(stats.maxLimit, k.limit);
        // Every node at or above T is marked with the mode's bit and reported.
        size_t marked = 0;
        for (uint8_t b : failMap) marked += b == 0x10;
        EXPECT_EQ(r.reports.size(), marked);
    }
}

TEST(DiagCheckBaseFlat, ModesEdgesAndAMissingThreshold) {
    const ScanGrid g{3, 28};
    const Frame flat = Fill(g, 0), rough = Staircase({{3, 200}});
    const std::vector<uint8_t> none(28, 0);
    const vcx::BaseFlatParams t60{60, 0, false};
    {
        SCOPED_TRACE("mode 1 fails with its own bit");
        std::vector<uint8_t> failMap(g.nodes(), 0);
        vcx::BaseFlatStats stats;
        const auto r = vcx::CheckBaseFlat(g, {flat, rough, flat}, 3, failMap, none, t60, stats);
        EXPECT_EQ(r.failedModes, 0x02);
        EXPECT_EQ(failMap[size_t(28 + 3)], 0x20);
        EXPECT_EQ(Show(r.reports), "(1,3)");
        EXPECT_EQ(stats.max, (std::array<int32_t, 3>{0, 200, 0}));
    }
    {
        SCOPED_TRACE("a device with five modes: three are checked, none read past");
        std::vector<uint8_t> failMap(g.nodes(), 0);
        vcx::BaseFlatStats stats;
        const auto r = vcx::CheckBaseFlat(g, {rough, rough, rough}, 5, failMap, none, t60, stats);
        EXPECT_EQ(r.failedModes, 0x07);
        EXPECT_EQ(failMap[size_t(28 + 3)], 0x70);
    }
    {
        SCOPED_TRACE("no modes pass");
        std::vector<uint8_t> failMap(g.nodes(), 0);
        vcx::BaseFlatStats stats;
        EXPECT_TRUE(vcx::CheckBaseFlat(g, {}, 0, failMap, none, t60, stats).pass);
    }
    {
        SCOPED_TRACE("fewer than 3 rows examine no node");
        const ScanGrid two{2, 28};
        std::vector<uint8_t> failMap(two.nodes(), 0);
        vcx::BaseFlatStats stats;
        const Frame f = Fill(two, 0);
        Frame wild = f;
        for (int c = 0; c < 28; c += 2) Set(wild, two, 1, c, 3000);
        const auto r = vcx::CheckBaseFlat(two, {wild, f, f}, 1, failMap, none, t60, stats);
        EXPECT_TRUE(r.pass);
        EXPECT_EQ(stats.count[0], 0);
        EXPECT_EQ(stats.max[0], -1);
        EXPECT_TRUE(r.reports.empty());
    }
    {
        SCOPED_TRACE("T = 0 fails the mode without dividing");
        std::vector<uint8_t> failMap(g.nodes(), 0);
        vcx::BaseFlatStats stats;
        const auto r = vcx::CheckBaseFlat(g, {flat, flat, flat}, 1, failMap, none, {0, 0, false}, stats);
        EXPECT_FALSE(r.pass);
        EXPECT_EQ(r.failedModes, 1);
        EXPECT_EQ(stats.count[0], 0);
        EXPECT_EQ(stats.maxLimit, 0);
    }
}

TEST(DiagChecks, FramesSmallerThanThePanelFailUnread) {
    const ScanGrid g{4, 4};
    const FrameSet small = Three(Frame(3, 0));
    Frame mask(16, 0), lines(4, 0);
    std::vector<uint8_t> failMap(16, 0);
    EXPECT_FALSE(vcx::CheckSameData(g, small).pass);
    EXPECT_FALSE(vcx::CheckDebounce(g, small, mask, 1).pass);
    EXPECT_FALSE(vcx::CheckNodeData(g, small, mask, 1).pass);
    EXPECT_FALSE(vcx::CheckDriverAbnormal(g, small, {}, lines, 1).pass);
    EXPECT_FALSE(vcx::CheckSensorAbnormal(g, small, lines, 1, {}).pass);
    EXPECT_FALSE(vcx::CheckAbsolute(g, small, mask, false, 1, 1).pass);
    EXPECT_FALSE(vcx::CheckNearRawData(g, Frame(3, 0), failMap, {}, {}).pass);
    vcx::BaseFlatStats stats;
    EXPECT_FALSE(vcx::CheckBaseFlat(g, small, 1, failMap, {}, {60, 0, false}, stats).pass);
    Frame shortMask(3, 0);
    EXPECT_FALSE(vcx::CheckDebounce(g, Three(Frame(16, 0)), shortMask, 1).pass);
}

}  // namespace
