// Slaves read the way a package writer reads them: selected with F4 00 k 00 01
// once the controller is quiet, answering the plain identity queries as
// themselves; a selection refused a few times; virtual-button tables of 12-byte
// entries at the counts that matter.
#include <gtest/gtest.h>

#include "qvsim.h"
#include "sim_support.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Packet;
using qvsim::PacketPrefix;

namespace {

using simtest::ask;

ControllerProfile Quiet() {
    ControllerProfile p;
    p.identityNumber = 2081;
    p.letter = 1;
    p.major = 2;
    p.minor = 5;
    p.buildA = 3;
    p.buildB = 1;
    p.slaveCount = 2;
    p.icInfo = 0x20;
    p.stateF0 = {0, 0, 0, 0x01};  // scanning
    p.slaveSelectNeedsQuiet = true;
    p.selectedSlaveAnswers = true;
    qvsim::SlaveProfile s;
    s.identityNumber = 2081;
    s.letter = 1;
    s.major = 2;
    s.minor = 5;
    s.buildA = 7;
    s.buildB = 8;
    s.icInfo = 0x10;
    p.slaves = {s};
    return p;
}

const Packet kSelect{0xF4, 0x00, 0x00, 0x00, 0x01};
const Packet kMaster{0xF4, 0x00, 0xAA, 0x00, 0x00};

TEST(SimSlaveInfo, SelectionOnlyWhileQuietAndTheSlaveAnswersAsItself) {
    Controller c(Quiet());
    EXPECT_EQ(ask(c, kSelect), (Packet{0xAA, 0xF4, 0x00, 0x00, 0x00}));  // scanning
    EXPECT_EQ(ask(c, {0xED, 0x00, 0x00, 0x00, 0x00}), (Packet{0xED, 5, 0, 3, 1}));
    ask(c, {0xF0, 0x00, 0x00, 0x00, 0x00});  // scanning off
    EXPECT_EQ(ask(c, kSelect), kSelect);
    EXPECT_EQ(ask(c, {0xED, 0x00, 0x00, 0x00, 0x00}), (Packet{0xED, 5, 0, 7, 8}));
    EXPECT_EQ(ask(c, {0xEF, 0x00, 0x00, 0x00, 0x00}), (Packet{0xEF, 2, 0, 0x10, 0}));
    EXPECT_EQ(ask(c, kMaster), kMaster);
    EXPECT_EQ(ask(c, {0xEF, 0x00, 0x00, 0x00, 0x00}), (Packet{0xEF, 2, 0, 0x20, 0}));
    // Diagnostic mode is quiet too, with scanning on.
    ask(c, {0xF1, 0x00, 0x00, 0x00, 0x00});
    ask(c, {0xF9, 0xFF, 0x90, 0x00, 0x01});
    EXPECT_EQ(ask(c, kSelect), kSelect);
    EXPECT_EQ(ask(c, {0xED, 0x00, 0x00, 0x00, 0x00}), (Packet{0xED, 5, 0, 7, 8}));
}

TEST(SimSlaveInfo, ASelectionRefusedKTimes) {
    ControllerProfile p = Quiet();
    p.slaveSelectNeedsQuiet = false;
    Controller c(p);
    c.refuse(PacketPrefix::exact(kSelect), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ((*ask(c, kSelect))[0], 0xAA) << i;
    EXPECT_EQ(ask(c, kSelect), kSelect);
    EXPECT_EQ(ask(c, {0xEF, 0x00, 0x00, 0x00, 0x00}), (Packet{0xEF, 2, 0, 0x10, 0}));
}

TEST(SimSlaveInfo, VirtualButtonTablesOfTwelveByteEntries) {
    for (int count : {0, 3, 15, 16}) {
        ControllerProfile p;
        p.paraVersion = 152;
        p.vbuttonEntrySize = 12;
        for (int e = 0; e < count; ++e) {
            std::array<uint8_t, 12> entry{};
            for (int k = 0; k < 12; ++k) entry[size_t(k)] = uint8_t(e * 16 + k);
            p.vbuttons.push_back(entry);
        }
        Controller c(p);
        EXPECT_EQ(ask(c, {0xF6, 0x0F, 0x02, 0x00, 0x00}), (Packet{0xF6, 0x0F, 0x02, 12, uint8_t(count)}));
        if (count == 0) continue;
        const uint8_t last = uint8_t(count - 1);
        EXPECT_EQ(ask(c, {0xF6, 0x0F, 0xA0, last, 0x02}),
                  (Packet{0xF6, uint8_t(last * 16 + 8), uint8_t(last * 16 + 9), uint8_t(last * 16 + 10),
                          uint8_t(last * 16 + 11)}));
        EXPECT_EQ((*ask(c, {0xF6, 0x0F, 0xA0, uint8_t(count), 0x00}))[1], 0xFF);  // past the table
    }
}

}  // namespace

namespace {

TEST(SimSlaveInfo, ProfileKeys) {
    char name[] = "/tmp/qvsim-slaves-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    const std::string text =
        "[controller]\nlink = hid\npath = /sim/hidraw0\nslaveCount = 2\nslave = 2081 1 2 5\nslaveIcInfo = 0x10\n"
        "selectedSlaveAnswers = 1\nslaveSelectNeedsQuiet = 1\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    std::string error;
    auto bench = qvsim::loadProfile(name, &error);
    unlink(name);
    ASSERT_TRUE(bench) << error;
    const ControllerProfile& p = bench->hid("/sim/hidraw0")->controller().profile();
    ASSERT_EQ(p.slaves.size(), 1u);
    EXPECT_EQ(p.slaves[0].icInfo, 0x10);
    EXPECT_TRUE(p.selectedSlaveAnswers);
    EXPECT_TRUE(p.slaveSelectNeedsQuiet);
    // slaveIcInfo belongs to a slave named before it.
    char bad[] = "/tmp/qvsim-slaves-XXXXXX";
    const int fd2 = mkstemp(bad);
    ASSERT_GE(fd2, 0);
    const std::string early = "[controller]\nlink = hid\npath = /sim/hidraw0\nslaveIcInfo = 0x10\n";
    ASSERT_EQ(write(fd2, early.data(), early.size()), ssize_t(early.size()));
    close(fd2);
    EXPECT_FALSE(qvsim::loadProfile(bad, &error));
    unlink(bad);
    EXPECT_NE(error.find("no slave yet"), std::string::npos) << error;
}

}  // namespace
