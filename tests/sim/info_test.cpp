// The firmware's device-information answers: slaves behind F4 selection, boot
// state bytes, panel and cover-lens tables, information words, state-ex pages and
// diagnostic mode, the item store, monitor id, boot switch, and the settings the
// kernel driver keeps.

#include "sim_support.h"

#include <gtest/gtest.h>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Packet;
using qvsim::Series;

namespace {

using simtest::ask;

qvsim::SlaveProfile Slave(uint16_t number, uint8_t major, uint8_t minor, bool inBoot) {
    qvsim::SlaveProfile s;
    s.identityNumber = number;
    s.letter = 2;
    s.major = major;
    s.minor = minor;
    s.customer = 4;
    s.inBoot = inBoot;
    s.buildA = 5;
    s.buildB = 6;
    s.customerBytes = {9, 8, 7, 6};
    return s;
}

ControllerProfile WithSlaves(Series series) {
    ControllerProfile p;
    p.series = series;
    p.slaveCount = 3;
    p.slaves = {Slave(6021, 1, 2, false), Slave(6022, 1, 3, true)};
    return p;
}

TEST(SimSlaves, AnswerThroughTheMasterOnlyOnceSelected) {
    Controller c(WithSlaves(Series::Current));
    const Packet ee1{0xEE, 0x00, 0xF1, 0x00, 0x00};
    EXPECT_EQ(ask(c, ee1), (Packet{0xEE, 0, 0, 0, 0}));  // not selected: no identity
    // Selecting slave 1: byte 1 of the answer is its transfer size.
    c.profile().slaves[1].transferSize = 0x40;
    EXPECT_EQ(ask(c, {0xF4, 0x00, 0x01, 0x00, 0x01}), (Packet{0xF4, 0x40, 0x01, 0x00, 0x01}));
    EXPECT_EQ(ask(c, ee1), (Packet{0xEE, 0x86, 0x17, 0x01, 0x02}));
    EXPECT_EQ(ask(c, {0xED, 0x00, 0xF1, 0x00, 0x00}), (Packet{0xED, 0x03, 0x04, 0x55, 0xAA}));
    EXPECT_EQ(ask(c, {0xEB, 0x00, 0xF1, 0x00, 0x00}), (Packet{0xEB, 9, 8, 7, 6}));
    EXPECT_EQ(ask(c, {0xEE, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xEE, 0, 0, 0, 0}));  // slave 0 is not selected
    EXPECT_EQ(ask(c, {0xEE, 0x00, 0x00, 0x00, 0x00}), (Packet{0xEE, 0x84, 0x17, 0x01, 0x00}));  // the master still
    // Back to the master; a reset forgets the selection too.
    EXPECT_EQ(ask(c, {0xF4, 0x00, 0xAA, 0x00, 0x00}), (Packet{0xF4, 0x00, 0xAA, 0x00, 0x00}));
    EXPECT_EQ(ask(c, ee1), (Packet{0xEE, 0, 0, 0, 0}));
    ask(c, {0xF4, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(ask(c, {0xED, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xED, 0x02, 0x04, 0x05, 0x06}));
    ask(c, {0xFE, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(ask(c, {0xED, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xED, 0, 0, 0, 0}));
    // A slave the controller does not have.
    EXPECT_EQ(ask(c, {0xEE, 0x00, 0xF2, 0x00, 0x00}), (Packet{0xAA, 0xEE, 0x00, 0xF2, 0x00}));
}

TEST(SimSlaves, OstraSlavesAndSharedChips) {
    Controller ostra(WithSlaves(Series::Ostra));
    ask(ostra, {0xF4, 0x00, 0x01, 0x00, 0x01});
    EXPECT_EQ(ask(ostra, {0xEE, 0x00, 0xF1, 0x00, 0x00}), (Packet{0xEE, 0x17, 0x86, 0x00, 0x01}));
    EXPECT_EQ(ask(ostra, {0xED, 0x00, 0xF1, 0x00, 0x00}), (Packet{0xED, 0x00, 0x03, 0x55, 0xAA}));
    EXPECT_EQ(ask(ostra, {0xE7, 0x00, 0xF1, 0x00, 0x00}), (Packet{0xE7, 9, 8, 7, 6}));

    // Cores of one chip answer without selection and have no number of their own.
    auto p = WithSlaves(Series::Current);
    p.slavesShareIc = true;
    Controller shared(p);
    EXPECT_EQ(ask(shared, {0xEE, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xEE, 0x55, 0xAA, 0x01, 0x02}));
    EXPECT_EQ(ask(shared, {0xEB, 0x00, 0xF0, 0x00, 0x00}), (Packet{0xEB, 9, 8, 7, 6}));
}

TEST(SimBootState, BuildBytesOutsideTheBootLoader) {
    ControllerProfile p;
    p.minor = 7;
    p.customer = 5;
    p.buildA = 3;
    p.buildB = 4;
    Controller cur(p);
    EXPECT_EQ(ask(cur, {0xED, 0, 0, 0, 0}), (Packet{0xED, 7, 5, 3, 4}));
    cur.profile().inBoot = true;
    EXPECT_EQ(ask(cur, {0xED, 0, 0, 0, 0}), (Packet{0xED, 7, 5, 0x55, 0xAA}));
    p.series = Series::Ostra;
    Controller ostra(p);
    EXPECT_EQ(ask(ostra, {0xED, 0, 0, 0, 0}), (Packet{0xED, 0, 7, 4, 3}));
}

TEST(SimTables, PanelSizeAndCoverLensEntries) {
    ControllerProfile p;
    qvsim::PanelSizeEntry e;
    e.name = {'A', 'U', 'O', ' ', 'G', '1', '5', 0};
    e.inches = 0x15;
    e.tenthsAndFlags = 0x61;
    p.panelSizes = {qvsim::PanelSizeEntry{}, e};
    p.coverLenses = {{0x11, 0xFF, 'G', 1}};
    Controller c(p);
    EXPECT_EQ(ask(c, {0xE3, 0, 0, 0, 0}), (Packet{0xE3, 0, 2, 1, 0}));
    EXPECT_EQ(ask(c, {0xE3, 1, 1, 0, 0}), (Packet{0xE3, 'A', 'U', 'O', ' '}));
    EXPECT_EQ(ask(c, {0xE3, 1, 1, 0, 1}), (Packet{0xE3, 'G', '1', '5', 0}));
    EXPECT_EQ(ask(c, {0xE3, 1, 1, 0, 2}), (Packet{0xE3, 0x15, 0x61, 0, 0}));
    EXPECT_EQ(ask(c, {0xE3, 2, 0, 0, 0}), (Packet{0xE3, 0x11, 0xFF, 'G', 1}));
    EXPECT_EQ(ask(c, {0xE3, 1, 2, 0, 0}), (Packet{0xAA, 0xE3, 1, 2, 0}));  // no entry 2
    EXPECT_EQ(ask(c, {0xE3, 2, 1, 0, 0}), (Packet{0xAA, 0xE3, 2, 1, 0}));
    EXPECT_EQ(ask(c, {0xE3, 1, 1, 0, 3}), (Packet{0xAA, 0xE3, 1, 1, 0}));
}

TEST(SimWords, InformationWordsIcWordsAndStatePages) {
    ControllerProfile p;
    p.infoWords[4] = {1, 2, 3, 4};
    p.icWords = {{0, {5, 6, 7, 8}}};
    p.stateEx = {0x11, 0x22, 0x33, 0x44};
    p.stateEx1 = {0x01, 0x02, 0x03, 0x04};
    p.slaveCount = 2;
    p.icFlags = 0xC0;
    p.icInfo = 0x30;
    Controller c(p);
    EXPECT_EQ(ask(c, {0xC0, 0, 4, 0, 0}), (Packet{0xC0, 1, 2, 3, 4}));
    EXPECT_EQ(ask(c, {0xC0, 0, 2, 0, 0}), (Packet{0xC0, 0, 0, 0, 0}));
    EXPECT_EQ(ask(c, {0xE0, 0, 0xED, 0, 0}), (Packet{0xE0, 5, 6, 7, 8}));
    EXPECT_EQ(ask(c, {0xE0, 0, 0xED, 0, 1}), (Packet{0xAA, 0xE0, 0, 0xED, 0}));
    EXPECT_EQ(ask(c, {0xEF, 0, 0, 0, 0}), (Packet{0xEF, 2, 0xC0, 0x30, 0}));

    // Page 1 of the state-ex word shows diagnostic mode in bit 7 of byte 2.
    EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 0}), (Packet{0xE0, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 1}), (Packet{0xE0, 0x01, 0x02, 0x03, 0x04}));
    const Packet enters[] = {{0xF9, 0xFF, 0x90, 0x00, 0x01}, {0xF9, 0x00, 0x00, 0xC0, 0x01}};
    const Packet leaves[] = {{0xF9, 0xFF, 0x90, 0x00, 0x00}, {0xF9, 0x00, 0x00, 0x00, 0x00}};
    for (int form = 0; form < 2; ++form) {
        EXPECT_EQ(ask(c, enters[form]), enters[form]);
        EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 1}), (Packet{0xE0, 0x01, 0x82, 0x03, 0x04}));
        EXPECT_EQ(ask(c, leaves[form]), leaves[form]);
        EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 1}), (Packet{0xE0, 0x01, 0x02, 0x03, 0x04}));
    }
    ask(c, enters[0]);
    ask(c, {0xFE, 0, 0, 0, 0});  // a reset leaves diagnostic mode
    EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 1}), (Packet{0xE0, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(ask(c, {0xF9, 0xFF, 0x91, 0x00, 0x01}), (Packet{0xAA, 0xF9, 0xFF, 0x91, 0x00}));
    // A word set by setReg stands for every page.
    c.setReg(0x00, 0xFF, {9, 9, 9, 9});
    EXPECT_EQ(ask(c, {0xE0, 0, 0xFF, 0, 1}), (Packet{0xE0, 9, 9, 9, 9}));
}

TEST(SimSwitches, DataReportMonitorIdFlushAndBootSwitch) {
    ControllerProfile p;
    p.stateF0 = {0, 0, 0, 0x01};
    p.bootSwitchMs = 25;
    Controller c(p);
    ask(c, {0xF1, 0, 0, 0, 1});
    EXPECT_EQ(c.profile().stateF0[3], 0x03);  // data report on, scanning untouched
    ask(c, {0xF0, 0, 0, 0, 0});
    EXPECT_EQ(c.profile().stateF0[3], 0x02);
    ask(c, {0xF0, 0, 0, 0, 1});
    EXPECT_EQ(c.profile().stateF0[3], 0x00);

    // Current series: register 0x49; the series' F3/F2 forms are not known.
    ask(c, {0xE1, 0x00, 0x49, 0x00, 0x07});
    EXPECT_EQ(c.profile().monitorId, 7);
    EXPECT_EQ(ask(c, {0xE0, 0x00, 0x49, 0, 0}), (Packet{0xE0, 0, 0, 0, 7}));
    EXPECT_EQ(ask(c, {0xF3, 0x00, 0x7C, 0, 0}), (Packet{0xAA, 0xF3, 0x00, 0x7C, 0}));
    EXPECT_EQ(ask(c, {0xF2, 0x00, 0x7C, 3, 0x5A}), (Packet{0xAA, 0xF2, 0x00, 0x7C, 3}));

    EXPECT_EQ(ask(c, {0xEA, 0, 0, 0, 0}), (Packet{0xEA, 0, 0, 0, 0}));
    EXPECT_EQ(ask(c, {0xEA, 0, 0xAA, 0, 0}), (Packet{0xEA, 0, 0xAA, 0, 0}));
    EXPECT_EQ(ask(c, {0xEA, 0, 0x55, 0, 0}), (Packet{0xAA, 0xEA, 0, 0x55, 0}));

    // The boot loader starts only on the second D4 right after the first.
    EXPECT_EQ(ask(c, {0xD4, 0, 0xAA, 0, 0}), (Packet{0xAA, 0xD4, 0, 0xAA, 0}));
    ask(c, {0xD4, 0, 0, 0, 0});
    ask(c, {0xEF, 0, 0, 0, 0});
    EXPECT_EQ(ask(c, {0xD4, 0, 0xAA, 0, 0}), (Packet{0xAA, 0xD4, 0, 0xAA, 0}));
    EXPECT_FALSE(c.profile().inBoot);
    ask(c, {0xD4, 0, 0, 0, 0});
    EXPECT_EQ(ask(c, {0xD4, 0, 0xAA, 0, 0}), (Packet{0xD4, 0, 0xAA, 0, 25}));
    EXPECT_TRUE(c.profile().inBoot);

    EXPECT_EQ(ask(c, {0xD3, 0, 0, 0, 1}), (Packet{0xAA, 0xD3, 0, 0, 0}));
    c.profile().bootPacketSize = 0x0140;
    EXPECT_EQ(ask(c, {0xD3, 0, 0, 0, 1}), (Packet{0xD3, 0x40, 0x01, 0, 1}));
    EXPECT_EQ(ask(c, {0xD3, 0, 0xAA, 0, 1}), (Packet{0xD3, 0x40, 0x01, 0, 1}));
}

TEST(SimSwitches, SeriesMonitorIdWantsItsKeyBack) {
    ControllerProfile p;
    p.series = Series::Ostra;
    p.monitorId = 1;
    p.monitorKey = 0x3C;
    Controller c(p);
    EXPECT_EQ(ask(c, {0xF3, 0x00, 0x7C, 0, 0}), (Packet{0xF3, 0x00, 0x7C, 1, 0x3C}));
    EXPECT_EQ(ask(c, {0xF2, 0x00, 0x7C, 4, 0x00}), (Packet{0xAA, 0xF2, 0x00, 0x7C, 4}));
    EXPECT_EQ(c.profile().monitorId, 1);
    EXPECT_EQ(ask(c, {0xF2, 0x00, 0x7C, 4, 0x3C}), (Packet{0xF2, 0x00, 0x7C, 4, 0x3C}));
    EXPECT_EQ(ask(c, {0xF3, 0x00, 0x7C, 0, 0}), (Packet{0xF3, 0x00, 0x7C, 4, 0x3C}));
}

TEST(SimItems, ReadWriteMaskInformationAndControlItems) {
    ControllerProfile p;
    p.paraVersion = 152;
    p.items[{1, 3}] = {3, 1};
    p.items[{1, 0}] = {9, 0};
    p.items[{4, 2}] = {1, 1};
    p.groupInfo[{1, 1}] = {0x03, 0x41};
    Controller c(p);
    EXPECT_EQ(ask(c, {0xF6, 0x00, 0x00, 0, 0}), (Packet{0xF6, 0x00, 0x00, 0x12, 0x00}));  // groups 1 and 4
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x00, 0, 0}), (Packet{0xF6, 0x01, 0x00, 0x09, 0x00}));  // items 0 and 3
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x01, 0, 0}), (Packet{0xF6, 0x01, 0x01, 0x03, 0x41}));
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x02, 0, 0}), (Packet{0xF6, 0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x13, 0, 0}), (Packet{0xF6, 0x01, 0x13, 3, 1}));
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x83, 0, 2}), (Packet{0xF6, 0x01, 0x83, 0, 1}));  // changed
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x83, 0, 2}), (Packet{0xF6, 0x01, 0x83, 0, 0}));  // the same again
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x83, 0, 4}), (Packet{0xF6, 0x01, 0x83, 0, 0xFF}));  // above the maximum
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x13, 0, 0}), (Packet{0xF6, 0x01, 0x13, 3, 2}));
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x85, 0, 1}), (Packet{0xF6, 0xFF, 0xFF, 0, 0}));  // no item 5
    EXPECT_EQ(ask(c, {0xF6, 0x00, 0x9F, 0, 1}), (Packet{0xF6, 0x00, 0x9F, 0, 1}));
    EXPECT_EQ(ask(c, {0xF6, 0x00, 0x90, 0, 0}), (Packet{0xF6, 0x00, 0x90, 0, 1}));  // done
    c.profile().paraVersion = 0;
    EXPECT_EQ(ask(c, {0xF6, 0x01, 0x13, 0, 0}), (Packet{0xF6, 0xFF, 0xFF, 0, 0}));
}

TEST(SimDriverSettings, KeptByTheDriverDevice) {
    qvsim::Bench bench;
    auto c = std::make_shared<Controller>();
    qvsim::DriverInfo info;
    info.path = "/sim/qvdrv0";
    auto& dev = bench.addDriver(c, info);
    uint8_t out[4] = {};
    uint32_t returned = 0;
    ASSERT_EQ(dev.ioctl(0x223D34, nullptr, 0, out, 4, &returned), qvsim::XferError::None);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(out[0], 2);  // touch reports by default
    const uint8_t one[4] = {1, 0, 0, 0};
    ASSERT_EQ(dev.ioctl(0x223D20, one, 4, nullptr, 0, &returned), qvsim::XferError::None);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(c->profile().driver.dataReport, 1u);
    const uint8_t word[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(dev.ioctl(0x223C80, word, 4, out, 4, &returned), qvsim::XferError::None);  // write, then read back
    EXPECT_EQ(c->profile().driver.versionWord, 0x12345678u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(word, word + 4));
    for (uint32_t code : {0x223C20u, 0x223C70u, 0x223DACu})
        EXPECT_EQ(dev.ioctl(code, nullptr, 0, out, 4, &returned), qvsim::XferError::None) << std::hex << code;
    EXPECT_EQ(dev.ioctl(0x223D34, nullptr, 0, out, 2, &returned), qvsim::XferError::InvalidParameter);
    EXPECT_TRUE(c->trace().empty());  // the firmware never sees them
}

}  // namespace
