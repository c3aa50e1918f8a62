// The system-reference build as the firmware runs it: build, save, erase and
// the status word they leave, the mode-invalid bytes, the noise levels and the
// stored flush base of each frequency mode.
#include <gtest/gtest.h>

#include <string>

#include "sim_support.h"

namespace {

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Packet;
using simtest::ask;

// Status word of E4 00 00 00 00 (reply bytes 3..4).
uint16_t Status(Controller& c, uint64_t now = 0) {
    auto r = ask(c, {0xE4, 0x00, 0x00, 0x00, 0x00}, now);
    return uint16_t(r->at(3) << 8 | r->at(4));
}

TEST(SimReference, BuildSaveAndEraseLeaveTheirStatusBits) {
    struct Case {
        const char* name;
        uint8_t start;           // E4 01 00 00 v
        uint32_t buildPolls;
        uint16_t saveStatus;
        uint16_t afterBuild;     // the status on the read after the busy reads
        uint16_t afterSave;      // once the save's busy time is over
    };
    const Case cases[] = {
        {"older build clears bits 8 and 0", 0x00, 3, 0x0000, 0x0000, 0x0000},
        {"newer build leaves bit 0 to the save", 0x01, 3, 0x0000, 0x0001, 0x0000},
        {"at once without busy reads", 0x01, 0, 0x0000, 0x0001, 0x0000},
        {"a save that leaves its bits", 0x01, 1, 0x0201, 0x0001, 0x0201},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ControllerProfile p;
        p.srVersion = 102;
        p.buildPolls = k.buildPolls;
        p.saveStatus = k.saveStatus;
        p.saveBaseBusyMs = 300;
        Controller c(p);
        const Packet start{0xE4, 0x01, 0x00, 0x00, k.start};
        EXPECT_EQ(ask(c, start), start);
        for (uint32_t i = 0; i < k.buildPolls; ++i) EXPECT_EQ(Status(c), 0x0101) << "read " << i + 1;
        EXPECT_EQ(Status(c), k.afterBuild);
        EXPECT_EQ(Status(c), k.afterBuild);  // the end of the build stays
        EXPECT_EQ(ask(c, {0xE4, 0x01, 0x00, 0x00, 0x02}, 1000), (Packet{0xE4, 0x01, 0x00, 0x00, 0x02}));
        EXPECT_EQ(Status(c, 1100), uint16_t(k.afterSave | 0x0200));  // busy in virtual time
        EXPECT_EQ(Status(c, 1300), k.afterSave);
        // The version bytes still travel with the status.
        EXPECT_EQ(ask(c, {0xE4, 0x00, 0x00, 0x00, 0x00}, 1300)->at(1), 2);
    }
    // Erase leaves a reference that needs building; other E4 00 forms answer the status.
    Controller c;
    EXPECT_EQ(ask(c, {0xE4, 0x01, 0x00, 0x00, 0xFF}), (Packet{0xE4, 0x01, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(Status(c), 0x0001);
    EXPECT_EQ(ask(c, {0xE4, 0x00, 0x00, 0x00, 0x07}), (Packet{0xE4, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(ask(c, {0xE4, 0x01, 0x00, 0x00, 0x05}), (Packet{0xAA, 0xE4, 0x01, 0x00, 0x00}));
}

TEST(SimReference, ModeInvalidNoiseLevelsAndFlushBase) {
    std::string error;
    auto bench = qvsim::loadProfile("diag", &error);
    ASSERT_TRUE(bench) << error;
    Controller& c = bench->hid("/sim/hidraw0")->controller();
    // The clean panel's noise levels lie below its anti-noise threshold.
    EXPECT_EQ(ask(c, {0xF6, 0x07, 0x11, 0x00, 0x00}), (Packet{0xF6, 0x07, 0x11, 50, 20}));
    EXPECT_EQ(ask(c, {0xF5, 0x00, 0x05, 0x00, 0x00}), (Packet{0xF5, 6, 7, 0, 0}));
    EXPECT_EQ(ask(c, {0xE4, 0x00, 0x00, 0x00, 0x01}), (Packet{0xE4, 0, 0, 0, 0}));

    for (const auto& [key, value] : {std::pair{"modeInvalid", "1 2 3 0x44"}, std::pair{"noiseLevel", "3 25"},
                                     std::pair{"buildPolls", "4"}, std::pair{"saveStatus", "0x201"}})
        ASSERT_TRUE(qvsim::setControllerKey(c, key, value, &error)) << key << ": " << error;
    EXPECT_EQ(ask(c, {0xE4, 0x00, 0x00, 0x00, 0x01}), (Packet{0xE4, 1, 2, 3, 0x44}));
    EXPECT_EQ(ask(c, {0xF5, 0x00, 0x05, 0x00, 0x00}), (Packet{0xF5, 6, 7, 0, 25}));
    EXPECT_EQ(c.profile().buildPolls, 4u);
    EXPECT_EQ(c.profile().saveStatus, 0x201);
    for (const auto& [key, value] : {std::pair{"noiseLevel", "4 1"}, std::pair{"noiseLevel", "1"}})
        EXPECT_FALSE(qvsim::setControllerKey(c, key, value, &error)) << key << " " << value;

    // The flush base of each mode: near the baseline, apart from the raw counts and
    // from the other mode, and the same on every scan.
    const ControllerProfile& p = c.profile();
    const auto base = qvsim::SensorFrame(p, qvsim::kSensorBaseline, 1);
    const auto raw = qvsim::SensorFrame(p, qvsim::kSensorRaw, 1);
    const auto flush0 = qvsim::SensorFrame(p, 0x10, 1), flush1 = qvsim::SensorFrame(p, 0x11, 1);
    ASSERT_EQ(flush0.size(), base.size());
    EXPECT_NE(flush0, raw);
    EXPECT_NE(flush0, flush1);
    EXPECT_NE(flush0, base);
    EXPECT_EQ(flush0, qvsim::SensorFrame(p, 0x10, 7));
    for (size_t i = 0; i < base.size(); ++i) EXPECT_LE(std::abs(int(flush0[i]) - int(base[i])), 5) << i;
    // F9 FF 92 a 0x11 serves that frame on the bulk data (E8 reads its first value).
    EXPECT_EQ(ask(c, {0xF9, 0xFF, 0x91, 0x00, 0x00}), (Packet{0xF9, 0xFF, 0x91, 0x00, 0x00}));
    EXPECT_EQ(ask(c, {0xF9, 0xFF, 0x92, 0x00, 0x11}), (Packet{0xF9, 0xFF, 0x92, 0x00, 0x11}));
    auto first = ask(c, {0xE8, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(uint16_t(first->at(3) | first->at(4) << 8), flush1[0]);
}

}  // namespace
