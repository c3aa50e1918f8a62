// The firmware model on its own: replies by series, register words, faults,
// geometry answers as a host decodes them, bulk transfers.

#include "sim_support.h"

#include <functional>
#include <gtest/gtest.h>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Link;
using qvsim::Packet;
using qvsim::Series;

namespace {

using simtest::ask;

ControllerProfile series(Series s, const std::function<void(ControllerProfile&)>& adjust = {}) {
    ControllerProfile p;
    p.series = s;
    p.identityNumber = 0x1784;  // 6020
    p.major = 2;
    p.minor = 5;
    p.letter = 1;
    p.customer = 9;
    p.customerBytes = {0x11, 0x22, 0x33, 0x44};
    p.slaveCount = 2;
    p.dualBootState = 0xAA;
    if (adjust) adjust(p);
    return p;
}

struct ReplyCase {
    const char* name;
    ControllerProfile profile;
    Packet command;
    std::optional<Packet> reply;  // nullopt: silence
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class SimReplyTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(SimReplyTable, AnswersAsTheCommandTableSays) {
    Controller c(GetParam().profile);
    EXPECT_EQ(ask(c, GetParam().command), GetParam().reply);
}

const auto Cur = Series::Current;
const auto Ost = Series::Ostra;
const auto Mlk = Series::Melk;
auto boot = [](ControllerProfile& p) { p.inBoot = true; };

INSTANTIATE_TEST_SUITE_P(
    IdentityAndBoot, SimReplyTable,
    ::testing::Values(
        // Identity: current sends the number low byte first, then major and letter;
        // Ostra high byte first and major in byte 4; Melk ignores EE.
        ReplyCase{"CurrentIdentity", series(Cur), {0xEE, 0, 0, 0, 0}, Packet{0xEE, 0x84, 0x17, 0x02, 0x01}},
        ReplyCase{"CurrentIdentityBit15", series(Cur, [](auto& p) { p.identityNumber = 0x9784; }),
                  {0xEE, 0, 0, 0, 0}, Packet{0xEE, 0x84, 0x97, 0x02, 0x01}},
        ReplyCase{"OstraIdentity", series(Ost), {0xEE, 0, 0, 0, 0}, Packet{0xEE, 0x17, 0x84, 0x00, 0x02}},
        ReplyCase{"MelkIgnoresEE", series(Mlk), {0xEE, 0, 0, 0, 0}, std::nullopt},
        // Boot state: current minor, customer, state A, state B; Ostra minor in
        // byte 2 and the two states swapped; AA 55 while the boot loader runs.
        ReplyCase{"CurrentBootState", series(Cur), {0xED, 0, 0, 0, 0}, Packet{0xED, 0x05, 0x09, 0x00, 0x00}},
        ReplyCase{"CurrentInBoot", series(Cur, boot), {0xED, 0, 0, 0, 0}, Packet{0xED, 0x05, 0x09, 0x55, 0xAA}},
        ReplyCase{"OstraBootState", series(Ost), {0xED, 0, 0, 0, 0}, Packet{0xED, 0x00, 0x05, 0x00, 0x00}},
        ReplyCase{"OstraInBoot", series(Ost, boot), {0xED, 0, 0, 0, 0}, Packet{0xED, 0x00, 0x05, 0x55, 0xAA}},
        ReplyCase{"MelkIgnoresED", series(Mlk), {0xED, 0, 0, 0, 0}, std::nullopt},
        // Boot version.
        ReplyCase{"BootVersion", series(Cur), {0xEE, 0xAA, 0, 0, 0}, Packet{0xEE, 0x55, 0x00, 0x00, 0x12}},
        ReplyCase{"NoBootVersion", series(Cur, [](auto& p) { p.bootVersion.reset(); }),
                  {0xEE, 0xAA, 0, 0, 0}, Packet{0xAA, 0xEE, 0xAA, 0x00, 0x00}},
        // Melk identity and boot query; the others refuse F2.
        ReplyCase{"MelkF2", series(Mlk), {0xF2, 0, 0, 0, 0}, Packet{0xF2, 0xD9, 0x02, 0x05, 0x00}},
        ReplyCase{"MelkF2InBoot", series(Mlk, boot), {0xF2, 0, 0, 0, 0}, Packet{0xF2, 0xD9, 0x02, 0x05, 0xAA}},
        ReplyCase{"CurrentRefusesF2", series(Cur), {0xF2, 0, 0, 0, 0}, Packet{0xAA, 0xF2, 0, 0, 0}},
        // FF tells Ostra from the others on a serial line.
        ReplyCase{"OstraFF", series(Ost), {0xFF, 0, 0, 0, 0}, Packet{0xFF, 0, 0, 0, 0}},
        // With a resolution shift FF 00 00 00 00 carries it in byte 4; other FF commands stay echoed.
        ReplyCase{"OstraFFShift", series(Ost, [](ControllerProfile& p) { p.resolutionShift = 12; }),
                  {0xFF, 0, 0, 0, 0}, Packet{0xFF, 0, 0, 0, 12}},
        ReplyCase{"OstraFFShiftOtherEchoed", series(Ost, [](ControllerProfile& p) { p.resolutionShift = 12; }),
                  {0xFF, 0, 0x10, 0, 0}, Packet{0xFF, 0, 0x10, 0, 0}},
        ReplyCase{"CurrentRefusesFF", series(Cur), {0xFF, 0, 0, 0, 0}, Packet{0xAA, 0xFF, 0, 0, 0}},
        ReplyCase{"MelkIgnoresFF", series(Mlk), {0xFF, 0, 0, 0, 0}, std::nullopt},
        // Timing and customer bytes: Ostra answers its customer bytes to E7 and refuses EB.
        ReplyCase{"FastTiming", series(Cur, [](auto& p) { p.fastTiming = true; }), {0xE7, 0, 0, 0, 0},
                  Packet{0xE7, 0x00, 0x55, 0x00, 0x00}},
        ReplyCase{"NormalTiming", series(Cur), {0xE7, 0, 0, 0, 0}, Packet{0xE7, 0, 0, 0, 0}},
        ReplyCase{"OstraE7Customer", series(Ost), {0xE7, 0, 0, 0, 0}, Packet{0xE7, 0x11, 0x22, 0x33, 0x44}},
        ReplyCase{"CurrentEB", series(Cur), {0xEB, 0, 0, 0, 0}, Packet{0xEB, 0x11, 0x22, 0x33, 0x44}},
        ReplyCase{"OstraRefusesEB", series(Ost), {0xEB, 0, 0, 0, 0}, Packet{0xAA, 0xEB, 0, 0, 0}},
        ReplyCase{"IcCount", series(Cur), {0xEF, 0, 0, 0, 0}, Packet{0xEF, 0x02, 0x00, 0x00, 0xAA}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    OtherCommands, SimReplyTable,
    ::testing::Values(
        ReplyCase{"Bridge", series(Cur, [](auto& p) { p.bridge = {1, 2, 3, 4}; }), {0xE9, 0, 0, 0, 0},
                  Packet{0xE9, 1, 2, 3, 4}},
        ReplyCase{"D2", series(Cur, [](auto& p) { p.d2Reply = {0x00, 0x02, 0x00, 0x07}; }), {0xD2, 0, 0, 0, 0},
                  Packet{0xD2, 0x00, 0x02, 0x00, 0x07}},
        ReplyCase{"Capability", series(Cur, [](auto& p) { p.capability = std::array<uint8_t, 4>{9, 8, 7, 30}; }),
                  {0xF9, 0xFF, 0, 0, 0}, Packet{0xF9, 9, 8, 7, 30}},
        ReplyCase{"NoCapability", series(Cur), {0xF9, 0xFF, 0, 0, 0}, Packet{0xAA, 0xF9, 0xFF, 0, 0}},
        ReplyCase{"ReportLength", series(Cur, [](auto& p) { p.reportLength = 0x0140; }), {0xFA, 0xFF, 0, 0, 0},
                  Packet{0xFA, 0x40, 0x01, 0, 0}},
        ReplyCase{"NoReportLength", series(Cur, [](auto& p) { p.reportLength.reset(); }), {0xFA, 0x00, 0x55, 0, 0},
                  Packet{0xAA, 0xFA, 0x00, 0x55, 0}},
        ReplyCase{"UpdateLock", series(Cur), {0xF3, 0x00, 0x07, 0x00, 0x01}, Packet{0xF3, 0xAA, 0x07, 0x00, 0x01}},
        ReplyCase{"OlderFirmwareRefusesF3", series(Cur, [](auto& p) { p.f3UpdateLock = false; }),
                  {0xF3, 0x00, 0x07, 0x00, 0x01}, Packet{0xAA, 0xF3, 0x00, 0x07, 0x00}},
        ReplyCase{"OlderLock", series(Cur), {0xF7, 0, 0, 0, 1}, Packet{0xF7, 0, 0, 0, 1}},
        ReplyCase{"SelectMaster", series(Cur), {0xF4, 0x00, 0xAA, 0, 0}, Packet{0xF4, 0x00, 0xAA, 0, 0}},
        ReplyCase{"Reset", series(Cur), {0xFE, 0, 0, 0, 0}, Packet{0xFE, 0, 0, 0, 0}},
        ReplyCase{"FirmwareInfoWord", series(Cur), {0xC0, 0x00, 0x03, 0, 0}, Packet{0xC0, 0, 0, 0, 0}},
        ReplyCase{"UnknownCommand", series(Cur), {0x42, 1, 2, 3, 4}, Packet{0xAA, 0x42, 1, 2, 3}},
        ReplyCase{"UnknownBank", series(Cur), {0xE0, 0x10, 0xF4, 0, 0}, Packet{0xAA, 0xE0, 0x10, 0xF4, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimRegisters, ProfileWordsAreReadLiveAndOverriddenBySetReg) {
    Controller c;
    c.profile().featureF4 = {0x82, 0x01, 0x10, 0x00};  // changed after construction
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xF4, 0x00, 0x00}), (Packet{0xE0, 0x82, 0x01, 0x10, 0x00}));
    c.profile().featureFC = {5, 6, 7, 8};
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xFC, 0x00, 0x00}), (Packet{0xE0, 5, 6, 7, 8}));

    c.setReg(0x00, 0xF4, {0xAB, 0, 0, 0});
    c.profile().featureF4 = {0x00, 0, 0, 0};
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xF4, 0x00, 0x00}), (Packet{0xE0, 0xAB, 0, 0, 0}));
}

TEST(SimRegisters, WritesChangeByteFourOfTheWord) {
    Controller c;
    c.setReg(0x80, 0x12, {1, 2, 3, 4});
    EXPECT_EQ(ask(c, {0xE1, 0x80, 0x12, 0x00, 0x77}), (Packet{0xE1, 0x80, 0x12, 0x00, 0x77}));
    EXPECT_EQ(c.reg(0x80, 0x12), (std::array<uint8_t, 4>{1, 2, 3, 0x77}));

    // A word nothing described before starts as zeros.
    ask(c, {0xE1, 0x00, 0x49, 0x00, 0x05});
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0x49, 0x00, 0x00}), (Packet{0xE0, 0, 0, 0, 0x05}));

    // The scan mode is one value seen at 0x4E of bank 0 and at 0x0E of bank 0x90.
    ask(c, {0xE1, 0x00, 0x4E, 0x00, 0x03});
    EXPECT_EQ(c.profile().scanMode, 3);
    EXPECT_EQ(ask(c, {0xE0, 0x90, 0x0E, 0x00, 0x00}), (Packet{0xE0, 0, 0, 0, 0x03}));
}

TEST(SimRegisters, ScanOffAndOnToggleOnlyBitZeroOfTheState) {
    Controller c;
    c.profile().stateF0 = {0x00, 0x00, 0x30, 0x84};
    ask(c, {0xF1, 0, 0, 0, 0});
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xE0, 0x00, 0x00, 0x30, 0x85}));
    ask(c, {0xF0, 0, 0, 0, 0});
    EXPECT_EQ(c.profile().stateF0, (std::array<uint8_t, 4>{0x00, 0x00, 0x30, 0x84}));
}

TEST(SimFaults, RefusalAndSilenceCountDownAndComeBeforeFixedReplies) {
    Controller c;
    const Packet ee{0xEE, 0, 0, 0, 0};
    c.setReply(ee, {0xEE, 1, 2, 3, 4});
    c.refuse(0xEE, 2);
    EXPECT_EQ(ask(c, ee), (Packet{0xAA, 0xEE, 0, 0, 0}));
    EXPECT_EQ(ask(c, ee), (Packet{0xAA, 0xEE, 0, 0, 0}));
    EXPECT_EQ(ask(c, ee), (Packet{0xEE, 1, 2, 3, 4}));

    c.silence(0xEE);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(c, ee), std::nullopt);
    c.clearFaults();
    c.clearReplies();
    EXPECT_EQ(ask(c, ee), (Packet{0xEE, 0x84, 0x17, 0x01, 0x00}));
}

TEST(SimFaults, TraceKeepsEveryCommandWithLinkTimeAndWhetherAnswered) {
    Controller c;
    c.silence(0xED, 1);
    c.handle({0xEE, 0, 0, 0, 0}, Link::Hid, 10);
    c.handle({0xED, 0, 0, 0, 0}, Link::Serial, 20);
    c.handle({0x42, 0, 0, 0, 0}, Link::Driver, 30);  // refused: still an answer
    const auto& t = c.trace();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].packet, (Packet{0xEE, 0, 0, 0, 0}));
    EXPECT_TRUE(t[0].answered);
    EXPECT_EQ(t[1].link, Link::Serial);
    EXPECT_EQ(t[1].timeMs, 20u);
    EXPECT_FALSE(t[1].answered);
    EXPECT_EQ(t[2].link, Link::Driver);
    EXPECT_TRUE(t[2].answered);
}

TEST(SimFaults, DisconnectAfterAnswersThatManyCommandsThenNothing) {
    Controller c;
    c.disconnectAfter(2);
    EXPECT_TRUE(ask(c, {0xEE, 0, 0, 0, 0}));
    EXPECT_TRUE(c.connected());
    EXPECT_TRUE(ask(c, {0xED, 0, 0, 0, 0}));
    EXPECT_FALSE(c.connected());
    EXPECT_EQ(ask(c, {0xEE, 0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(c.trace().size(), 2u);  // a controller that is gone receives nothing
}

TEST(SimFaults, SaveBaseReportsBusyForItsTimeOnTheClockGiven) {
    Controller c;
    c.profile().saveBaseBusyMs = 200;
    EXPECT_EQ(ask(c, {0xE4, 0x01, 0x00, 0x00, 0x02}, 1000), (Packet{0xE4, 0x01, 0x00, 0x00, 0x02}));
    auto busy = [&](uint64_t now) {
        auto r = ask(c, {0xE4, 0x00, 0x00, 0x00, 0x00}, now);
        return ((r->at(3) << 8 | r->at(4)) & 0x0200) != 0;
    };
    EXPECT_TRUE(busy(1100));
    EXPECT_FALSE(busy(1200));
}

// The parameter item protocol as far as registration and the geometry probe use it.
TEST(SimItems, ParameterVersionAndAbsentProtocol) {
    Controller c;
    c.profile().paraVersion = 152;
    EXPECT_EQ(ask(c, {0xF6, 0x00, 0x10, 0, 0}), (Packet{0xF6, 0x00, 0x10, 1, 52}));
    EXPECT_EQ(ask(c, {0xF6, 0x07, 0x01, 0, 0}), (Packet{0xF6, 0xFF, 0xFF, 0, 0}));  // unknown item
    c.profile().paraVersion = 0;
    for (Packet item : {Packet{0xF6, 0x00, 0x10, 0, 0}, Packet{0xF6, 0x02, 0x02, 0, 0}, Packet{0xF6, 0x02, 0x03, 0, 0}})
        EXPECT_EQ(ask(c, item), (Packet{0xF6, 0xFF, 0xFF, 0, 0}));
}

struct Geometry {
    uint8_t rows, columns, extra;
    bool operator==(const Geometry&) const = default;
};

// Reads the geometry the way a host's probe decodes the answers.
Geometry probeByItems(Controller& c) {
    bool rowsFirst = c.profile().featureF4[2] & 0x10;
    auto counts = *ask(c, {0xF6, 0x02, 0x02, 0, 0});
    auto extra = *ask(c, {0xF6, 0x02, 0x03, 0, 0});
    return rowsFirst ? Geometry{counts[3], counts[4], extra[4]} : Geometry{counts[4], counts[3], extra[4]};
}
Geometry probeOlder(Controller& c) {
    auto first = *ask(c, {0xE5, 0, 0, 0, 1});
    Geometry g = (first[4] & 1) ? Geometry{first[2], first[1], 0} : Geometry{first[1], first[2], 0};
    g.extra = first[4] >> 4;
    auto second = *ask(c, {0xE5, 0, 0, 0, 2});
    if (second != first && second[1] != 0) g.extra = second[1];
    return g;
}

TEST(SimItems, GeometryAnswersDecodeToTheProfileGeometry) {
    for (bool rowsFirst : {false, true}) {
        for (uint8_t extra : {0, 3, 15, 20}) {
            Controller c;
            c.profile().paraVersion = 152;
            c.profile().featureF4[2] = rowsFirst ? 0x10 : 0x00;
            c.profile().rows = 16;
            c.profile().columns = 28;
            c.profile().extraColumns = extra;
            const Geometry want{16, 28, extra};
            EXPECT_EQ(probeByItems(c), want) << "rowsFirst " << rowsFirst << " extra " << int(extra);
            EXPECT_EQ(probeOlder(c), want) << "extra " << int(extra);
        }
    }
}

TEST(SimBulk, FrameStartArmsTheDataUntilTakenOrAnotherCommand) {
    Controller c;
    c.setBulkData({1, 2, 3, 4, 5});
    EXPECT_FALSE(c.bulkArmed());
    ask(c, {0xFA, 0xFF, 0, 0, 0});  // the length query arms nothing
    EXPECT_FALSE(c.bulkArmed());

    ask(c, {0xFA, 0x00, 0x55, 0, 0});
    EXPECT_EQ(c.takeBulk(3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(c.takeBulk(3), (std::vector<uint8_t>{4, 5}));
    EXPECT_FALSE(c.bulkArmed());

    ask(c, {0xFA, 0x00, 0x55, 0, 0});
    ask(c, {0xEE, 0, 0, 0, 0});
    EXPECT_FALSE(c.bulkArmed());
    EXPECT_TRUE(c.takeBulk(2).empty());
}

TEST(SimBulk, WordWiseReadGivesTheSameFrameValues) {
    Controller c;
    c.profile().columns = 2;
    c.profile().extraColumns = 0;  // 3 values a row
    c.setBulkData({0x01, 0x10, 0x02, 0x20, 0x03, 0x30, 0x04, 0x40, 0x05, 0x50, 0x06, 0x60});
    EXPECT_EQ(ask(c, {0xE8, 1, 0, 1, 1}), (Packet{0xE8, 0x04, 0x40, 0x05, 0x50}));
    EXPECT_EQ(ask(c, {0xE8, 1, 2, 1, 2}), (Packet{0xE8, 0x06, 0x60, 0x06, 0x60}));  // last column alone
}

}  // namespace
