// The panel scan side of the firmware model: test patterns, the offset span,
// the scan capability, frequency-mode and interface answers, the system-reference
// version, the sensor faults with their scopes, and the keys that set them.
#include "sim_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Link;
using qvsim::Packet;
using qvsim::SensorFrame;
using qvsim::SensorScope;

namespace {

constexpr uint8_t kRows = 4, kColumns = 6, kExtra = 1, kPerRow = kColumns + kExtra + 1;

ControllerProfile Panel() {
    ControllerProfile p;
    p.rows = kRows;
    p.columns = kColumns;
    p.extraColumns = kExtra;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->offsetSpan = 16;
    p.sensor->noise = 5;
    p.sensor->patternLevel = {1000, 1500, 2000};
    return p;
}

std::vector<uint16_t> Words(const std::vector<uint8_t>& b) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < b.size(); i += 2) out.push_back(uint16_t(b[i] | b[i + 1] << 8));
    return out;
}

// Loads the frame of `kind` of the latest scan and reads it as a host would.
std::vector<uint16_t> Load(Controller& c, uint8_t kind) {
    c.handle({0xF9, 0xFF, 0x92, 0x00, kind}, Link::Hid, 0);
    c.handle({0xFA, 0x00, 0x55, 0x00, 0x00}, Link::Hid, 0);
    return Words(c.takeBulk(4096));
}
void Scan(Controller& c) { c.handle({0xF9, 0xFF, 0x91, 0x00, 0x00}, Link::Hid, 0); }

uint16_t At(const std::vector<uint16_t>& f, int r, int k) { return f[size_t(r) * kPerRow + size_t(k)]; }

TEST(SimScan, TestPatternsSetTheLevelOfTheScansThatFollow) {
    Controller c(Panel());
    // F3 00 0D selects (answered F3 AA ..), FD does the same in the older form.
    EXPECT_EQ(c.handle({0xF3, 0x00, 0x0D, 0x00, 0x02}, Link::Hid, 0), (Packet{0xF3, 0xAA, 0x0D, 0x00, 0x02}));
    Scan(c);
    const auto p2 = Load(c, qvsim::kSensorRaw);
    EXPECT_EQ(p2, SensorFrame(c.profile(), qvsim::kSensorRaw, 1, 2));
    EXPECT_EQ(c.handle({0xFD, 0x00, 0x00, 0x00, 0x01}, Link::Hid, 0), (Packet{0xFD, 0x00, 0x00, 0x00, 0x01}));
    // The pattern belongs to the scan: a load after the switch still gives pattern 2.
    EXPECT_EQ(Load(c, qvsim::kSensorRaw), p2);
    Scan(c);
    const auto p1 = Load(c, qvsim::kSensorRaw);
    const auto base = Load(c, qvsim::kSensorBaseline);
    for (size_t i = 0; i < p1.size(); ++i) {
        EXPECT_GE(p1[i], 1000 - 5);
        EXPECT_LE(p1[i], 1000 + 15 + 5);
        EXPECT_GE(p2[i], 1500 - 5);
        EXPECT_LE(p2[i], 1500 + 15 + 5);
        // The baseline keeps the base level, its offset within the span.
        EXPECT_GE(base[i], 3000);
        EXPECT_LT(base[i], 3000 + 16);
    }
    // Pattern 0 is normal scanning; above 3 is no pattern; a reset goes back to 0.
    EXPECT_EQ(c.handle({0xF3, 0x00, 0x0D, 0x00, 0x04}, Link::Hid, 0), (Packet{0xAA, 0xF3, 0x00, 0x0D, 0x00}));
    EXPECT_EQ(c.handle({0xFD, 0x00, 0x00, 0x00, 0x04}, Link::Hid, 0), (Packet{0xAA, 0xFD, 0x00, 0x00, 0x00}));
    c.handle({0xFE, 0x00, 0x00, 0x00, 0x00}, Link::Hid, 0);
    Scan(c);
    EXPECT_EQ(Load(c, qvsim::kSensorRaw), SensorFrame(c.profile(), qvsim::kSensorRaw, 3, 0));
    // Without a sensor there is nothing to pattern.
    Controller plain;
    EXPECT_EQ(plain.handle({0xF3, 0x00, 0x0D, 0x00, 0x01}, Link::Hid, 0), (Packet{0xAA, 0xF3, 0x00, 0x0D, 0x00}));
    EXPECT_EQ(plain.handle({0xFD, 0x00, 0x00, 0x00, 0x01}, Link::Hid, 0), (Packet{0xAA, 0xFD, 0x00, 0x00, 0x00}));
}

TEST(SimScan, OffsetSpanBoundsTheBaselineOffset) {
    for (uint16_t span : {1, 16, 256}) {
        SCOPED_TRACE(span);
        ControllerProfile p = Panel();
        p.rows = 16;
        p.columns = 28;
        p.sensor->offsetSpan = span;
        std::set<int> offsets;
        for (uint16_t v : SensorFrame(p, qvsim::kSensorBaseline, 1)) offsets.insert(v - 3000);
        EXPECT_GE(*offsets.begin(), 0);
        EXPECT_LT(*offsets.rbegin(), span);
        // 16 x 31 positions cover most of a small span, and reach past 16 in a large one.
        if (span == 16) {
            EXPECT_GE(offsets.size(), 12u);
        }
        if (span == 256) {
            EXPECT_GE(*offsets.rbegin(), 16);
        }
    }
}

TEST(SimScan, AnswersOfTheScanAndFrequencyCommands) {
    ControllerProfile p = Panel();
    p.scanCaps = 0x2013;
    p.frequencyModes = std::array<uint8_t, 3>{2, 3, 7};
    p.frequency = 0x21;
    p.srVersion = 102;
    p.interfaceCheck = 1;
    Controller c(p);
    struct Case {
        Packet command, reply;
    };
    const Case cases[] = {
        {{0xF3, 0x00, 0x0F, 0x00, 0x00}, {0xF3, 0xAA, 0x0F, 0x13, 0x20}},
        {{0xF5, 0x00, 0x04, 0x00, 0x00}, {0xF5, 0x00, 2, 3, 7}},
        {{0xF5, 0x00, 0x0F, 0x00, 0x00}, {0xF5, 0x00, 0x00, 0x00, 0x21}},
        {{0xF5, 0x00, 0xFF, 0x00, 0x05}, {0xF5, 0x00, 0xFF, 0x00, 0x05}},
        {{0xF5, 0x00, 0x0F, 0x00, 0x00}, {0xF5, 0x00, 0x00, 0x00, 0x05}},
        {{0xF5, 0x00, 0x33, 0x00, 0x00}, {0xAA, 0xF5, 0x00, 0x33, 0x00}},
        {{0xF5, 0x00, 0x1F, 0x00, 0x00}, {0xF5, 0x00, 0x1F, 0x00, 0x00}},
        {{0xF5, 0x00, 0x1F, 0x00, 0x01}, {0xAA, 0xF5, 0x00, 0x1F, 0x00}},
        {{0xE4, 0x00, 0x00, 0x00, 0x00}, {0xE4, 2, 1, 0x00, 0x00}},
        {{0xFB, 0x00, 0x00, 0x00, 0x00}, {0xFB, 0x00, 0x00, 0x00, 0x01}},
        {{0xFB, 0x00, 0x01, 0x00, 0x00}, {0xAA, 0xFB, 0x00, 0x01, 0x00}},
        // The update lock of the same command code still answers as before.
        {{0xF3, 0x00, 0x07, 0x00, 0x01}, {0xF3, 0xAA, 0x07, 0x00, 0x01}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.command));
        EXPECT_EQ(c.handle(k.command, Link::Hid, 0), k.reply);
    }
    // Without the answers in the profile the commands are refused, as on firmware that lacks them.
    Controller plain;
    for (const Packet& cmd : {Packet{0xF3, 0x00, 0x0F, 0x00, 0x00}, Packet{0xF5, 0x00, 0x04, 0x00, 0x00},
                              Packet{0xF5, 0x00, 0x0F, 0x00, 0x00}, Packet{0xFB, 0x00, 0x00, 0x00, 0x00}})
        EXPECT_EQ(plain.handle(cmd, Link::Hid, 0), (Packet{0xAA, cmd[0], cmd[1], cmd[2], cmd[3]}));
    EXPECT_EQ(plain.handle({0xE4, 0x00, 0x00, 0x00, 0x00}, Link::Hid, 0), (Packet{0xE4, 0, 0, 0, 0}));
}

// The noise test's frequency settle: busy polls counted down, readings in
// turn with the last repeating, the other forms echoed, and "off" answering
// the end mark on both reads; the keys set it all.
TEST(SimScan, FrequencySettleAnswersBusyPollsThenItsReadings) {
    ControllerProfile p = Panel();
    p.paraVersion = 146;  // the settle is part of the item protocol
    Controller c(p);
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(c, "settleBusyPolls", "2", &error)) << error;
    ASSERT_TRUE(qvsim::setControllerKey(c, "settleValues", "0x1234 7", &error)) << error;
    const auto settle = [&](uint8_t x) { return c.handle({0xF6, 0x07, 0x90, 0xAA, x}, Link::Hid, 0); };
    for (uint8_t x : {0x05, 0x02, 0x00}) EXPECT_EQ(settle(x), (Packet{0xF6, 0x07, 0x90, 0xAA, x}));
    EXPECT_EQ(settle(0x01), (Packet{0xF6, 0x07, 0x90, 0x00, 0x01}));
    EXPECT_EQ(settle(0x01), (Packet{0xF6, 0x07, 0x90, 0x00, 0x01}));
    EXPECT_EQ(settle(0x01), (Packet{0xF6, 0x07, 0x90, 0x00, 0x00}));
    EXPECT_EQ(settle(0x03), (Packet{0xF6, 0x07, 0x90, 0x12, 0x34}));
    EXPECT_EQ(settle(0x03), (Packet{0xF6, 0x07, 0x90, 0x00, 0x07}));
    EXPECT_EQ(settle(0x03), (Packet{0xF6, 0x07, 0x90, 0x00, 0x07}));
    ASSERT_TRUE(qvsim::setControllerKey(c, "settle", "off", &error)) << error;
    EXPECT_EQ(settle(0x01), (Packet{0xF6, 0x07, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(settle(0x03), (Packet{0xF6, 0x07, 0xFF, 0x00, 0x00}));
    EXPECT_FALSE(qvsim::setControllerKey(c, "settle", "maybe", &error));
}

// Each fault changes its own positions in its own frames and nothing else.
TEST(SimScan, FaultsChangeOnlyTheirPositionsInTheirScope) {
    using Kind = qvsim::SensorFault::Kind;
    struct Case {
        const char* name;
        qvsim::SensorFault fault;
        uint8_t kind, pattern;          // the frame that shows it
        uint8_t otherKind, otherPattern;  // one that does not
        std::function<bool(int r, int k)> hit;
        std::function<bool(int got, int clean)> shows;
    };
    const auto exactly = [](int want) { return [want](int got, int) { return got == want; }; };
    const Case cases[] = {
        {"open column", {Kind::OpenColumn, SensorScope::Raw, 0, 5, 0}, 1, 0, 1, 1,
         [](int, int k) { return k == 5; }, exactly(0)},
        {"open row", {Kind::OpenRow, SensorScope::Pattern2, 2, 0, 50}, 1, 2, 1, 0,
         [](int r, int) { return r == 2; }, exactly(50)},
        {"node", {Kind::Node, SensorScope::Baseline, 1, 3, 4000}, 0, 0, 1, 0,
         [](int r, int k) { return r == 1 && k == 3; }, exactly(4000)},
        {"bump down", {Kind::Bump, SensorScope::Mode1, 3, 2, -300}, 0x81, 0, 0x80, 0,
         [](int r, int k) { return r == 3 && k == 2; },
         [](int got, int clean) { return int16_t(got) == int16_t(clean) - 300; }},
        {"bump up everywhere", {Kind::Bump, SensorScope::All, 0, 0, 700}, 0x80, 0, 0x80, 0,
         [](int r, int k) { return r == 0 && k == 0; },
         [](int got, int clean) { return int16_t(got) == int16_t(clean) + 700; }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const ControllerProfile clean = Panel();
        ControllerProfile faulty = clean;
        faulty.sensor->faults.push_back(k.fault);
        const auto got = SensorFrame(faulty, k.kind, 1, k.pattern);
        const auto want = SensorFrame(clean, k.kind, 1, k.pattern);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kPerRow; ++c) {
                if (k.hit(r, c)) {
                    EXPECT_TRUE(k.shows(At(got, r, c), At(want, r, c))) << r << "," << c << ": " << At(got, r, c);
                } else {
                    EXPECT_EQ(At(got, r, c), At(want, r, c)) << r << "," << c;
                }
            }
        if (k.fault.scope != SensorScope::All) {
            EXPECT_EQ(SensorFrame(faulty, k.otherKind, 1, k.otherPattern),
                      SensorFrame(clean, k.otherKind, 1, k.otherPattern));
        }
    }
}

TEST(SimScan, DifferencesShowWhatAFaultDoesToRawOrBaseline) {
    ControllerProfile p = Panel();
    p.sensor->faults.push_back({qvsim::SensorFault::Kind::Bump, SensorScope::Raw, 1, 1, 40});
    p.sensor->faults.push_back({qvsim::SensorFault::Kind::Bump, SensorScope::Baseline, 2, 2, 25});
    const auto raw = SensorFrame(p, qvsim::kSensorRaw, 1);
    const auto base = SensorFrame(p, qvsim::kSensorBaseline, 1);
    const auto diff = SensorFrame(p, qvsim::kSensorDifference, 1);
    for (size_t i = 0; i < raw.size(); ++i) EXPECT_EQ(diff[i], uint16_t(raw[i] - base[i])) << i;
    EXPECT_GE(int16_t(At(diff, 1, 1)), 40 - 5);
    EXPECT_LE(int16_t(At(diff, 2, 2)), -25 + 5);
}

// Both select forms set the frequency F5 00 0F reports; the raw counts and the
// differences loaded afterwards are that frequency's, with its noise amplitude.
TEST(SimScan, FrequencySelectInBothFormsChangesTheFramesThatFollow) {
    ControllerProfile p = Panel();
    p.frequencyModes = std::array<uint8_t, 3>{3, 4, 0};
    Controller c(p);
    struct Case {
        Packet select;
        bool taken;
        uint8_t frequency;  // F5 00 0F byte 4 afterwards
    };
    const Case cases[] = {
        {{0xF5, 0x00, 0xF3, 0x00, 0x00}, true, 3},  // the older form: v - 0x10
        {{0xF5, 0x00, 0xFE, 0x00, 0x00}, true, 14},
        {{0xF5, 0x00, 0xF0, 0x00, 0x00}, true, 0},
        {{0xF5, 0x00, 0xFF, 0x00, 0x0B}, true, 11},  // the newer form
        {{0xF5, 0x00, 0xFF, 0x00, 0x00}, true, 0},   // the newer select of 0, not the older one of 15
        {{0xF5, 0x00, 0xF2, 0x00, 0x01}, false, 0},  // the older form has no argument
        {{0xF5, 0x00, 0xF2, 0x01, 0x00}, false, 0},
        {{0xF5, 0x00, 0x06, 0x00, 0x00}, false, 0},  // measurement indices, not selects
        {{0xF5, 0x00, 0x0E, 0x00, 0x00}, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.select));
        const Packet refused{0xAA, k.select[0], k.select[1], k.select[2], k.select[3]};
        EXPECT_EQ(c.handle(k.select, Link::Hid, 0), k.taken ? k.select : refused);
        EXPECT_EQ(c.handle({0xF5, 0x00, 0x0F, 0x00, 0x00}, Link::Hid, 0), (Packet{0xF5, 0x00, 0x00, 0x00, k.frequency}));
    }

    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(c, "frequencyNoise", "6 200", &error)) << error;
    Scan(c);
    const auto base = Load(c, qvsim::kSensorBaseline);
    // The largest distance of a frame from the baseline (offsets 0..15, noise 5 unless tuned).
    const auto spread = [&](const std::vector<uint16_t>& raw) {
        int most = 0;
        for (size_t i = 0; i < raw.size(); ++i) most = std::max(most, std::abs(int(raw[i]) - int(base[i])));
        return most;
    };
    const auto f0 = Load(c, qvsim::kSensorRaw);
    c.handle({0xF5, 0x00, 0xF6, 0x00, 0x00}, Link::Hid, 0);  // frequency 6, older form
    const auto f6 = Load(c, qvsim::kSensorRaw);
    const auto d6 = Load(c, qvsim::kSensorDifference);
    c.handle({0xF5, 0x00, 0xFF, 0x00, 0x07}, Link::Hid, 0);
    const auto f7 = Load(c, qvsim::kSensorRaw);
    EXPECT_LE(spread(f0), 5);
    EXPECT_GT(spread(f6), 5);
    EXPECT_LE(spread(f6), 200);
    EXPECT_LE(spread(f7), 5);
    EXPECT_NE(f7, f0);  // every frequency draws its own noise
    for (size_t i = 0; i < f6.size(); ++i) EXPECT_EQ(d6[i], uint16_t(f6[i] - base[i]));
    ControllerProfile at6 = c.profile();
    at6.frequency = 6;
    EXPECT_EQ(f6, SensorFrame(at6, qvsim::kSensorRaw, 1));

    EXPECT_FALSE(qvsim::setControllerKey(c, "frequencyNoise", "6", &error));
    EXPECT_NE(error.find("expected V AMP"), std::string::npos) << error;
}

TEST(SimScan, FrozenRepeatsTheFirstScanAndNoisyNodeDrawsPerScan) {
    ControllerProfile p = Panel();
    p.sensor->faults.push_back({qvsim::SensorFault::Kind::Frozen, SensorScope::Pattern1, 0, 0, 0});
    EXPECT_EQ(SensorFrame(p, qvsim::kSensorRaw, 7, 1), SensorFrame(p, qvsim::kSensorRaw, 1, 1));
    EXPECT_NE(SensorFrame(p, qvsim::kSensorRaw, 7, 0), SensorFrame(p, qvsim::kSensorRaw, 1, 0));

    // Through the commands: three scans of a frozen panel give one frame three times.
    p.sensor->faults = {{qvsim::SensorFault::Kind::Frozen, SensorScope::All, 0, 0, 0}};
    Controller c(p);
    std::vector<std::vector<uint16_t>> frames;
    for (int i = 0; i < 3; ++i) {
        Scan(c);
        frames.push_back(Load(c, qvsim::kSensorRaw));
    }
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(frames[1], frames[2]);

    ControllerProfile noisy = Panel();
    noisy.sensor->noise = 0;
    noisy.sensor->faults = {{qvsim::SensorFault::Kind::NoisyNode, SensorScope::Raw, 2, 4, 300}};
    std::set<int> seen;
    for (uint32_t scan = 1; scan <= 20; ++scan) {
        const auto f = SensorFrame(noisy, qvsim::kSensorRaw, scan);
        const auto clean = SensorFrame(Panel(), qvsim::kSensorBaseline, 1);
        seen.insert(int(At(f, 2, 4)) - int(At(clean, 2, 4)));
        EXPECT_EQ(At(f, 2, 3), At(clean, 2, 3));  // no noise elsewhere
    }
    EXPECT_GE(seen.size(), 10u);
    EXPECT_GE(*seen.begin(), -300);
    EXPECT_LE(*seen.rbegin(), 300);
}

TEST(SimScan, KeysSetTheSensorAndTheAnswersOfARunningController) {
    Controller c;  // no sensor yet
    std::string error;
    struct Set {
        const char* key;
        const char* value;
    };
    for (const Set& s : {Set{"baseLevel", "2000"}, Set{"offsetSpan", "16"}, Set{"noise", "3"}, Set{"seed", "9"},
                         Set{"scanMs", "40"}, Set{"progressTotal", "4"}, Set{"patternLevel", "1000 1500"},
                         Set{"openColumn", "5 0 raw"}, Set{"openRow", "1 10"}, Set{"node", "2 3 4000 mode0"},
                         Set{"noisyNode", "1 1 50 pattern3"}, Set{"bump", "0 2 -40 baseline"}, Set{"frozen", "mode2"},
                         Set{"scanCaps", "0x2000"}, Set{"frequencyModes", "2 3 0"}, Set{"frequency", "4"},
                         Set{"srVersion", "102"}, Set{"interfaceCheck", "1"}})
        ASSERT_TRUE(qvsim::setControllerKey(c, s.key, s.value, &error)) << s.key << ": " << error;
    const ControllerProfile& p = c.profile();
    ASSERT_TRUE(p.sensor);
    EXPECT_EQ(p.sensor->baseLevel, 2000);
    EXPECT_EQ(p.sensor->offsetSpan, 16);
    EXPECT_EQ(p.sensor->noise, 3);
    EXPECT_EQ(p.sensor->seed, 9u);
    EXPECT_EQ(p.sensor->scanMs, 40u);
    EXPECT_EQ(p.sensor->progressTotal, 4);
    EXPECT_EQ(p.sensor->patternLevel, (std::array<uint16_t, 3>{1000, 1500, 3000}));
    ASSERT_EQ(p.sensor->faults.size(), 6u);
    using Kind = qvsim::SensorFault::Kind;
    EXPECT_EQ(p.sensor->faults[0].kind, Kind::OpenColumn);
    EXPECT_EQ(p.sensor->faults[0].column, 5);
    EXPECT_EQ(p.sensor->faults[0].scope, SensorScope::Raw);
    EXPECT_EQ(p.sensor->faults[1].scope, SensorScope::All);
    EXPECT_EQ(p.sensor->faults[2].scope, SensorScope::Mode0);
    EXPECT_EQ(p.sensor->faults[2].value, 4000);
    EXPECT_EQ(p.sensor->faults[4].value, -40);
    EXPECT_EQ(p.sensor->faults[5].kind, Kind::Frozen);
    EXPECT_EQ(p.sensor->faults[5].scope, SensorScope::Mode2);
    EXPECT_EQ(p.scanCaps, std::optional<uint16_t>(0x2000));
    EXPECT_EQ(p.frequencyModes, (std::optional<std::array<uint8_t, 3>>({2, 3, 0})));
    EXPECT_EQ(p.frequency, 4);
    EXPECT_EQ(p.srVersion, 102);
    EXPECT_EQ(p.interfaceCheck, std::optional<uint8_t>(1));

    EXPECT_TRUE(qvsim::setControllerKey(c, "sensorFaults", "none", &error)) << error;
    EXPECT_TRUE(c.profile().sensor->faults.empty());
    EXPECT_TRUE(qvsim::setControllerKey(c, "scanCaps", "none", &error));
    EXPECT_FALSE(c.profile().scanCaps);

    // A bad value names what is wrong and changes nothing.
    struct Bad {
        const char* key;
        const char* value;
        const char* why;
    };
    for (const Bad& b : {Bad{"openColumn", "5", "expected C LEVEL [SCOPE]"}, Bad{"node", "1 2 3 mode4", "unknown scope"},
                         Bad{"bump", "1 2 -70000", "out of range"}, Bad{"openRow", "1 -3", "not a number"},
                         Bad{"frozen", "", "unknown scope"}, Bad{"offsetSpan", "0", "at least 1"},
                         Bad{"sensorFaults", "all", "only 'none'"}, Bad{"patternLevel", "1 2 3 4", "expected L1"},
                         Bad{"frequencyModes", "2 3", "expected M F EXTRA"}, Bad{"srVersion", "25600", "out of range"}}) {
        SCOPED_TRACE(b.key);
        const ControllerProfile before = c.profile();
        EXPECT_FALSE(qvsim::setControllerKey(c, b.key, b.value, &error));
        EXPECT_NE(error.find(b.why), std::string::npos) << error;
        EXPECT_EQ(c.profile().sensor->faults.size(), before.sensor->faults.size());
    }
    EXPECT_TRUE(qvsim::setControllerKey(c, "sensor", "off", &error));
    EXPECT_FALSE(c.profile().sensor);
}

TEST(SimScan, DiagProfilesDescribeTheCheckedPanels) {
    for (const char* name : {"diag", "diag-old"}) {
        SCOPED_TRACE(name);
        std::string error;
        auto bench = qvsim::loadProfile(name, &error);
        ASSERT_TRUE(bench) << error;
        Controller& c = bench->hid("/sim/hidraw0")->controller();
        const ControllerProfile& p = c.profile();
        ASSERT_TRUE(p.sensor);
        EXPECT_EQ(p.sensor->offsetSpan, 16);
        EXPECT_EQ(p.sensor->noise, 5);
        EXPECT_EQ(p.rows, 16);
        EXPECT_EQ(p.columns, 28);
        EXPECT_EQ(p.extraColumns, 2);
        EXPECT_EQ(c.handle({0xF5, 0x00, 0x04, 0x00, 0x00}, Link::Hid, 0), (Packet{0xF5, 0x00, 2, 3, 0}));
        // Test pattern 1 keeps every raw count below the absolute limit 2030.
        for (uint16_t v : SensorFrame(p, qvsim::kSensorRaw, 1, 1)) EXPECT_LT(v, 2030);
    }
    auto bench = qvsim::loadProfile("diag", nullptr);
    Controller& c = bench->hid("/sim/hidraw0")->controller();
    EXPECT_EQ(c.profile().capability, (std::optional<std::array<uint8_t, 4>>({0x00, 0x00, 0x13, 0x1E})));
    EXPECT_EQ(c.profile().reportLength, std::optional<uint16_t>(64));
    EXPECT_EQ(c.handle({0xF3, 0x00, 0x0F, 0x00, 0x00}, Link::Hid, 0), (Packet{0xF3, 0xAA, 0x0F, 0x00, 0x20}));
    EXPECT_EQ(c.handle({0xE4, 0x00, 0x00, 0x00, 0x00}, Link::Hid, 0), (Packet{0xE4, 2, 1, 0, 0}));
    auto old = qvsim::loadProfile("diag-old", nullptr);
    Controller& o = old->hid("/sim/hidraw0")->controller();
    EXPECT_EQ(o.profile().capability->at(3), 0);
    EXPECT_EQ(o.handle({0xE4, 0x00, 0x00, 0x00, 0x00}, Link::Hid, 0), (Packet{0xE4, 0, 0, 0, 0}));
    EXPECT_EQ(o.handle({0xF3, 0x00, 0x0F, 0x00, 0x00}, Link::Hid, 0), (Packet{0xAA, 0xF3, 0x00, 0x0F, 0x00}));
}

}  // namespace

namespace {

// The ready poll's answer counts reads down: clear for the next n reads, then
// set; the other bits of the register word are kept, and setting the key again
// starts a new count. Without the key the register word answers unchanged.
TEST(SimScan, ReadyAfterPollsCountsTheReadsOfE0F7) {
    const Packet poll{0xE0, 0x00, 0xF7, 0x00, 0x00};
    ControllerProfile p = Panel();
    p.readyAfterPolls = 2;
    Controller c(p);
    c.setReg(0x00, 0xF7, {0x84, 0x00, 0x00, 0x33});
    std::vector<uint8_t> bits;
    for (int i = 0; i < 4; ++i) {
        const Packet r = *c.handle(poll, Link::Hid, 0);
        EXPECT_EQ(r[4], 0x33);
        bits.push_back(r[1]);
    }
    EXPECT_EQ(bits, (std::vector<uint8_t>{0x84, 0x84, 0x85, 0x85}));
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(c, "readyAfterPolls", "1", &error)) << error;
    EXPECT_EQ((*c.handle(poll, Link::Hid, 0))[1], 0x84);
    EXPECT_EQ((*c.handle(poll, Link::Hid, 0))[1], 0x85);
    ASSERT_TRUE(qvsim::setControllerKey(c, "readyAfterPolls", "none", &error)) << error;
    c.setReg(0x00, 0xF7, {0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(c.handle(poll, Link::Hid, 0), (Packet{0xE0, 0, 0, 0, 0}));
    // The diag panel is ready at the third read.
    const auto bench = qvsim::loadProfile("diag", &error);
    ASSERT_TRUE(bench) << error;
    Controller& diag = bench->hid("/sim/hidraw0")->controller();
    EXPECT_EQ((*diag.handle(poll, Link::Hid, 0))[1] & 1, 0);
    EXPECT_EQ((*diag.handle(poll, Link::Hid, 0))[1] & 1, 0);
    EXPECT_EQ((*diag.handle(poll, Link::Hid, 0))[1] & 1, 1);
}

}  // namespace
