// The simulated controller's parameter groups: two-byte items, word items, the
// text and virtual-button write windows, and the force-touch table.
#include "sim_support.h"

#include <gtest/gtest.h>

using qvsim::Controller;
using qvsim::ControllerProfile;
using qvsim::Link;
using qvsim::Packet;
using qvsim::SlaveProfile;

namespace {

Packet Ask(Controller& c, Packet p) {
    auto r = c.handle(p, Link::Hid, 0);
    EXPECT_TRUE(r.has_value());
    return r.value_or(Packet{});
}

ControllerProfile ItemProfile() {
    ControllerProfile p;
    p.paraVersion = 152;
    p.items[{6, 0}] = {40, 10, 0x77};
    p.items[{6, 2}] = {5, 3};
    p.wordItems[{8, 1}] = {0x1234, 0x0456};
    p.items[{0x17, 1}] = {9, 9};
    p.groupInfo[{0x0E, 0x50}] = {0x12, 0x34};
    return p;
}

TEST(SimParamItems, MasksReadsAndWritesOfByteAndWordItems) {
    Controller c(ItemProfile());
    EXPECT_EQ(Ask(c, {0xF6, 0x00, 0x00, 0, 0}), (Packet{0xF6, 0x00, 0x00, 0x40, 0x01}));  // groups 6 and 8
    EXPECT_EQ(Ask(c, {0xF6, 0x06, 0x00, 0, 0}), (Packet{0xF6, 0x06, 0x00, 0x05, 0x00}));
    EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x00, 0, 0}), (Packet{0xF6, 0x08, 0x00, 0x02, 0x00}));
    EXPECT_EQ(Ask(c, {0xF6, 0x06, 0x20, 0, 0})[4], 0x77);                                  // second byte
    EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x11, 0, 0}), (Packet{0xF6, 0x08, 0x11, 0x56, 0x04}));  // word value
    EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x21, 0, 0}), (Packet{0xF6, 0x08, 0x21, 0x34, 0x12}));  // word maximum
    EXPECT_EQ(Ask(c, {0xF6, 0x0E, 0x50, 0, 0}), (Packet{0xF6, 0x0E, 0x50, 0x12, 0x34}));

    // Writes answer changed bits; a value above the maximum is not taken.
    EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x81, 0x00, 0x10})[4], 0x01);
    EXPECT_EQ((c.profile().wordItems[{8, 1}].value), 0x1000);
    EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x81, 0x35, 0x12})[4], 0xFF);
    EXPECT_EQ((c.profile().wordItems[{8, 1}].value), 0x1000);
    EXPECT_EQ(Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x03})[4], 0x00);

    // A group number of 0x10 and above exists only with items; 0x8E here has none.
    EXPECT_EQ(Ask(c, {0xF6, 0x17, 0x00, 0, 0}), (Packet{0xF6, 0x17, 0x00, 0x02, 0x00}));
    EXPECT_EQ(Ask(c, {0xF6, 0x8E, 0x00, 0, 0})[1], 0xFF);
}

TEST(SimParamItems, PanelTextReadsReversedAndWritesThroughItsWindow) {
    ControllerProfile p = ItemProfile();
    for (int i = 0; i < 18; ++i) p.panelText[i] = uint8_t('a' + i);
    Controller c(p);
    EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x84, 0, 0}), (Packet{0xE0, 'h', 'g', 'f', 'e'}));
    EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x90, 0, 0}), (Packet{0xE0, 0, 0, 'r', 'q'}));

    // Word packets outside a write window change nothing.
    Ask(c, {0x00, 'X', 'X', 'X', 'X'});
    EXPECT_EQ(c.profile().panelText[0], 'a');
    EXPECT_EQ(Ask(c, {0xF6, 0x02, 0xB0, 0, 0})[4], 18);
    for (uint8_t w = 0; w < 5; ++w) Ask(c, {w, uint8_t('A' + 4 * w), uint8_t('B' + 4 * w), uint8_t('C' + 4 * w), uint8_t('D' + 4 * w)});
    EXPECT_EQ(c.profile().panelText[0], 'a');  // kept only at the commit
    Ask(c, {0xF6, 0x02, 0xB1, 0, 0});
    for (int i = 0; i < 18; ++i) EXPECT_EQ(c.profile().panelText[i], 'A' + i) << i;
    EXPECT_EQ(Ask(c, {0xF6, 0x02, 0xB1, 0, 0})[1], 0xFF);  // no window open
}

TEST(SimParamItems, VirtualButtonTableWordsAndEntryWrites) {
    ControllerProfile p = ItemProfile();
    p.vbuttonEntrySize = 10;
    p.vbuttons.resize(2);
    for (int k = 0; k < 12; ++k) p.vbuttons[1][k] = uint8_t(0x10 + k);
    p.vbuttonCrc = 0xBEEF;
    Controller c(p);
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x02, 0, 0}), (Packet{0xF6, 0x0F, 0x02, 10, 2}));
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x03, 0, 0}), (Packet{0xF6, 0x0F, 0x03, 0xEF, 0xBE}));
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0xA0, 1, 1}), (Packet{0xF6, 0x14, 0x15, 0x16, 0x17}));
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0xA0, 1, 2}), (Packet{0xF6, 0x18, 0x19, 0, 0}));  // past the entry size
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0xB0, 2, 0})[1], 0xFF);                            // no entry 2

    Ask(c, {0xF6, 0x0F, 0xB0, 0, 0});
    Ask(c, {0x00, 1, 2, 3, 4});
    Ask(c, {0x01, 5, 6, 7, 8});
    Ask(c, {0x02, 9, 10, 11, 12});
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0xB1, 1, 0})[1], 0xFF);  // commits only the entry opened
    Ask(c, {0xF6, 0x0F, 0xB0, 0, 0});
    Ask(c, {0x00, 1, 2, 3, 4});
    Ask(c, {0x02, 9, 10, 11, 12});
    Ask(c, {0xF6, 0x0F, 0xB1, 0, 0});
    const std::array<uint8_t, 12> want{1, 2, 3, 4, 0, 0, 0, 0, 9, 10, 0, 0};
    EXPECT_EQ(c.profile().vbuttons[0], want);
}

// The table's control items: clear, flash write, erase and the two loads act on the
// table, its flash and its factory setting, and the reported CRC follows the table.
TEST(SimParamItems, VirtualButtonClearFlashEraseAndLoads) {
    ControllerProfile p = ItemProfile();
    p.vbuttons.resize(2);
    const std::array<uint8_t, 12> factory{1, 1, 2, 2, 3, 3, 4, 4, 0x01, 0x00, 0, 0};
    p.vbuttons[0] = factory;
    Controller c(p);
    auto crc = [&] {
        const Packet r = Ask(c, {0xF6, 0x0F, 0x03, 0, 0});
        return uint16_t(r[3] | r[4] << 8);
    };
    const uint16_t factoryCrc = crc();
    const std::array<uint8_t, 12> mine{9, 0, 8, 0, 7, 0, 6, 0, 0x02, 0x00, 0, 0};
    auto writeEntry1 = [&] {
        Ask(c, {0xF6, 0x0F, 0xB0, 1, 0});
        Ask(c, {0x00, 9, 0, 8, 0});
        Ask(c, {0x01, 7, 0, 6, 0});
        Ask(c, {0x02, 0x02, 0x00, 0, 0});
        Ask(c, {0xF6, 0x0F, 0xB1, 1, 0});
    };
    writeEntry1();
    EXPECT_EQ(c.profile().vbuttons[1], mine);
    const uint16_t mineCrc = crc();
    EXPECT_NE(mineCrc, factoryCrc);
    // Not flashed: a reset brings back the table flash holds.
    Ask(c, {0xFE, 0, 0, 0, 0});
    EXPECT_EQ(c.profile().vbuttons[1], (std::array<uint8_t, 12>{}));
    EXPECT_EQ(crc(), factoryCrc);
    writeEntry1();
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x93, 0xAA, 0x55}), (Packet{0xF6, 0x0F, 0x93, 0xAA, 0x55}));
    EXPECT_EQ(c.profile().vbuttonFlash->at(1), mine);
    EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x90, 0x00, 0x00}), (Packet{0xF6, 0x0F, 0x90, 0x00, 0x00}));
    EXPECT_EQ(c.profile().vbuttons[0], (std::array<uint8_t, 12>{}));
    EXPECT_NE(crc(), mineCrc);
    Ask(c, {0xF6, 0x0F, 0x92, 0x00, 0x01});  // from flash
    EXPECT_EQ(c.profile().vbuttons[0], factory);
    EXPECT_EQ(c.profile().vbuttons[1], mine);
    EXPECT_EQ(crc(), mineCrc);
    Ask(c, {0xF6, 0x0F, 0x92, 0x00, 0x00});  // the factory setting
    EXPECT_EQ(c.profile().vbuttons[1], (std::array<uint8_t, 12>{}));
    EXPECT_EQ(crc(), factoryCrc);
    Ask(c, {0xF6, 0x0F, 0x94, 0xAA, 0x55});  // erase flash
    Ask(c, {0xF6, 0x0F, 0x92, 0x00, 0x01});
    EXPECT_EQ(c.profile().vbuttons[0], (std::array<uint8_t, 12>{}));
    // Malformed control items are refused and change nothing.
    for (const Packet& bad : {Packet{0xF6, 0x0F, 0x93, 0x00, 0x00}, Packet{0xF6, 0x0F, 0x94, 0x55, 0xAA},
                              Packet{0xF6, 0x0F, 0x90, 0x00, 0x02}, Packet{0xF6, 0x0F, 0x92, 0x01, 0x00}})
        EXPECT_EQ(Ask(c, bad)[1], 0xFF);
    EXPECT_EQ(c.profile().vbuttonDefaults->at(0), factory);
}

TEST(SimParamItems, ForceTouchTableAndSwitch) {
    ControllerProfile p = ItemProfile();
    Controller none(p);
    EXPECT_EQ(Ask(none, {0xF8, 0x00, 0, 0, 0})[0], 0xAA);
    p.forceTouch = qvsim::ForceTouchProfile{};
    p.forceTouch->info = 7;
    p.forceTouch->info2 = 9;
    p.forceTouch->rows = 2;
    p.forceTouch->columns = 3;
    p.forceTouch->values[0x22] = 0x0133;
    Controller c(p);
    EXPECT_EQ(Ask(c, {0xF8, 0x00, 0, 0, 0}), (Packet{0xF8, 0x00, 7, 0x23, 9}));
    EXPECT_EQ(Ask(c, {0xF8, 0x02, 0x22, 0, 0}), (Packet{0xF8, 0x02, 0x22, 0x33, 0x01}));
    Ask(c, {0xF8, 0x03, 0x11, 0x34, 0x12});
    EXPECT_EQ(c.profile().forceTouch->values[0x11], 0x1234);
    Ask(c, {0xF8, 0x01, 0, 0, 1});
    EXPECT_TRUE(c.profile().forceTouch->on);
}

}  // namespace

namespace {

// A profile file describes the item store and the tables, at any parameter version.
TEST(SimParamProfile, ItemsTablesAndVersionsFromAProfileFile) {
    for (uint16_t version : {0, 101, 115, 135, 152, 172}) {
        SCOPED_TRACE(version);
        const std::string text = "[controller]\nlink = hid\npath = /sim/hidraw0\nparaVersion = " +
                                 std::to_string(version) +
                                 "\nitem = 6 0 40 10 0x77\nwordItem = 8 1 4095 0x456\ngroupInfo = 0x0E 0x50 1 2\n"
                                 "panelText = 65 66 67\nvbuttonEntrySize = 10\n"
                                 "vbutton = 1 2 3 4 5 6 7 8 9 10 11 12\nvbuttonCrc = 0xBEEF\n"
                                 "forceTouch = 7 2 3 9\nforceValue = 0x11 0x1234\n";
        std::string error;
        auto bench = qvsim::parseProfileText(text, "p.ini", &error);
        ASSERT_TRUE(bench) << error;
        Controller& c = bench->hid("/sim/hidraw0")->controller();
        const Packet want = version ? Packet{0xF6, 0x00, 0x10, uint8_t(version / 100), uint8_t(version % 100)}
                                    : Packet{0xF6, 0xFF, 0xFF, 0x00, 0x00};
        EXPECT_EQ(Ask(c, {0xF6, 0x00, 0x10, 0, 0}), want);
        if (version == 0) continue;
        EXPECT_EQ(Ask(c, {0xF6, 0x06, 0x10, 0, 0}), (Packet{0xF6, 0x06, 0x10, 40, 10}));
        EXPECT_EQ(Ask(c, {0xF6, 0x06, 0x20, 0, 0})[4], 0x77);
        EXPECT_EQ(Ask(c, {0xF6, 0x08, 0x21, 0, 0}), (Packet{0xF6, 0x08, 0x21, 0xFF, 0x0F}));
        EXPECT_EQ(Ask(c, {0xF6, 0x0E, 0x50, 0, 0}), (Packet{0xF6, 0x0E, 0x50, 1, 2}));
        EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x80, 0, 0}), (Packet{0xE0, 0, 'C', 'B', 'A'}));
        EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x02, 0, 0}), (Packet{0xF6, 0x0F, 0x02, 10, 1}));
        EXPECT_EQ(Ask(c, {0xF6, 0x0F, 0x03, 0, 0}), (Packet{0xF6, 0x0F, 0x03, 0xEF, 0xBE}));
        EXPECT_EQ(Ask(c, {0xF8, 0x00, 0, 0, 0}), (Packet{0xF8, 0x00, 7, 0x23, 9}));
        EXPECT_EQ(Ask(c, {0xF8, 0x02, 0x11, 0, 0}), (Packet{0xF8, 0x02, 0x11, 0x34, 0x12}));
    }
}

TEST(SimParamProfile, BadItemLinesNameTheirLine) {
    const char* bad[] = {"item = 6 16 1 1", "item = 6 0 1", "wordItem = 8 1 0x10000 0", "groupInfo = 1 2 3",
                         "panelText = 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19", "vbutton = 1 2 3",
                         "vbuttonEntrySize = 13", "forceTouch = 0 16 1 0", "forceValue = 1"};
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        std::string error;
        const std::string text = std::string("[controller]\nlink = hid\npath = /sim/h0\n") + line + "\n";
        EXPECT_EQ(qvsim::parseProfileText(text, "bad.ini", &error), nullptr);
        EXPECT_NE(error.find("bad.ini:4:"), std::string::npos) << error;
    }
}

// ---- parameter memory of the register banks ------------------------------------------

ControllerProfile MemoryProfile() {
    ControllerProfile p;
    for (uint8_t bank : {0x00, 0x80, 0xC0}) {
        std::vector<uint8_t> m(0x60);
        for (size_t i = 0; i < m.size(); ++i) m[i] = uint8_t(bank + i);
        p.paramBanks[bank] = m;
    }
    p.monitorId = 0x77;  // register 0x49 of bank 0
    return p;
}

TEST(SimParamMemory, ReadFormsByBank) {
    for (bool pairs : {false, true}) {
        ControllerProfile p = MemoryProfile();
        p.bank0Pairs = pairs;
        Controller c(p);
        EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x04, 0, 0}), (Packet{0xE0, 0xC7, 0xC6, 0xC5, 0xC4}));
        EXPECT_EQ(Ask(c, {0xE0, 0x80, 0x04, 0, 0}), (Packet{0xE0, 0x00, 0x00, 0x85, 0x84}));
        EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x04, 0, 0}),
                  (pairs ? Packet{0xE0, 0x01, 0x00, 0x05, 0x04} : Packet{0xE0, 0x00, 0x00, 0x00, 0x04}));
        // A register word inside the memory keeps its own value, also as a neighbour.
        EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x49, 0, 0}), (Packet{0xE0, 0x00, 0x00, 0x00, 0x77}));
        EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x48, 0, 0})[3], pairs ? 0x77 : 0x00);
    }
    Controller c(MemoryProfile());
    // Banks without memory, and the end of a memory-only bank, are refused; bank 0
    // past its memory is the register model.
    EXPECT_EQ(Ask(c, {0xE0, 0xD0, 0x00, 0, 0})[0], 0xAA);
    EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x60, 0, 0})[0], 0xAA);
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x60, 0, 0}), (Packet{0xE0, 0, 0, 0, 0}));
    EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x80, 0, 0})[0], 0xE0);  // the panel text
    Controller plain;
    EXPECT_EQ(Ask(plain, {0xE0, 0xC0, 0x00, 0, 0})[0], 0xAA);
}

TEST(SimParamMemory, WritesOfBothForms) {
    Controller c(MemoryProfile());
    EXPECT_EQ(Ask(c, {0xE1, 0xC0, 0x08, 0x12, 0x34}), (Packet{0xE1, 0xC0, 0x08, 0x12, 0x34}));
    EXPECT_EQ(Ask(c, {0xE1, 0x80, 0x08, 0x00, 0x56})[0], 0xE1);
    EXPECT_EQ(Ask(c, {0xE1, 0x00, 0x49, 0x00, 0x21})[0], 0xE1);
    const auto& m = c.profile().paramBanks;
    EXPECT_EQ(m.at(0xC0)[8], 0x34);
    EXPECT_EQ(m.at(0xC0)[9], 0x12);
    EXPECT_EQ(m.at(0x80)[8], 0x56);
    EXPECT_EQ(m.at(0x80)[9], 0x89);
    EXPECT_EQ(c.profile().monitorId, 0x21);  // the register, not the memory byte
    EXPECT_EQ(m.at(0x00)[0x49], 0x49);
}

TEST(SimParamMemory, DescriptorSlavesAndConstants) {
    ControllerProfile p = MemoryProfile();
    SlaveProfile s;
    s.parameters = {9, 8, 7, 6};
    p.slaves = {s};
    p.constants = {1, 2, 3, 4, 5, 6, 7, 8};
    Controller c(p);
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0xFB, 0, 0})[0], 0xAA);
    c.profile().listDescriptor = std::array<uint8_t, 4>{16, 32, 16, 64};
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0xFB, 0, 0}), (Packet{0xE0, 16, 32, 16, 64}));

    Ask(c, {0xF4, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x01, 0, 0})[4], 8);
    Ask(c, {0xE1, 0x00, 0x01, 0x00, 0x44});
    EXPECT_EQ(c.profile().slaves[0].parameters[1], 0x44);
    EXPECT_EQ(Ask(c, {0xE0, 0xC0, 0x00, 0, 0})[4], 0xC0);  // other banks stay the master's
    Ask(c, {0xF4, 0x00, 0x01, 0x00, 0x01});                 // no such slave
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x01, 0, 0})[0], 0xAA);
    Ask(c, {0xF4, 0x00, 0xAA, 0x00, 0x00});
    EXPECT_EQ(Ask(c, {0xE0, 0x00, 0x01, 0, 0})[4], 0x01);
    EXPECT_EQ(c.profile().paramBanks.at(0x00)[1], 0x01);

    EXPECT_EQ(Ask(c, {0xE0, 0xB0, 0x04, 0, 0}), (Packet{0xE0, 8, 7, 6, 5}));
    EXPECT_EQ(Ask(c, {0xC1, 0x00, 0x00, 0, 0}), (Packet{0xC1, 4, 3, 2, 1}));
    EXPECT_EQ(Ask(c, {0xC1, 0x00, 0x08, 0, 0}), (Packet{0xC1, 0, 0, 0, 0}));
}

// Writes reach RAM; the flush keeps RAM in flash, a reset brings flash back.
TEST(SimParamFlash, WritesGoToRamFlushKeepsThemResetRestoresFlash) {
    ControllerProfile p = ItemProfile();
    p.paramBanks[0x80] = std::vector<uint8_t>(8, 0x11);
    for (int i = 0; i < 18; ++i) p.panelText[i] = uint8_t('a' + i);
    Controller c(p);
    auto value = [&](uint8_t g, uint8_t n) { return Ask(c, {0xF6, g, uint8_t(0x10 + n), 0, 0})[4]; };
    auto commitText = [&](char first) {
        Ask(c, {0xF6, 0x02, 0xB0, 0, 0});
        for (uint8_t w = 0; w < 5; ++w) Ask(c, {w, uint8_t(first), uint8_t(first), uint8_t(first), uint8_t(first)});
        Ask(c, {0xF6, 0x02, 0xB1, 0, 0});
    };

    Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x01});
    Ask(c, {0xF6, 0x08, 0x81, 0x00, 0x10});
    Ask(c, {0xE1, 0x80, 0x02, 0x00, 0x99});
    commitText('X');
    EXPECT_EQ(value(6, 2), 1);
    EXPECT_EQ(Ask(c, {0xE0, 0x80, 0x02, 0, 0})[4], 0x99);
    Ask(c, {0xFE, 0x00, 0x00, 0x00, 0x00});  // nothing was flushed: all back
    EXPECT_EQ(value(6, 2), 3);
    EXPECT_EQ((c.profile().wordItems[{8, 1}].value), 0x0456);
    EXPECT_EQ(Ask(c, {0xE0, 0x80, 0x02, 0, 0})[4], 0x11);
    EXPECT_EQ(c.profile().panelText[0], 'a');

    Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x02});
    Ask(c, {0xE1, 0x80, 0x02, 0x00, 0x98});
    commitText('Y');
    EXPECT_EQ(Ask(c, {0xF6, 0x00, 0x90, 0, 0}), (Packet{0xF6, 0x00, 0x90, 0, 1}));
    Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x04});
    Ask(c, {0xFE, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(value(6, 2), 2);
    EXPECT_EQ(Ask(c, {0xE0, 0x80, 0x02, 0, 0})[4], 0x98);
    EXPECT_EQ(c.profile().panelText[0], 'Y');

    // F6 00 92 reloads what was flushed, without a reset.
    Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x05});
    Ask(c, {0xF6, 0x00, 0x92, 0x00, 0x00});
    EXPECT_EQ(value(6, 2), 2);
    c.profile().flushDone = 0;
    EXPECT_EQ(Ask(c, {0xF6, 0x00, 0x90, 0, 0})[4], 0);
}

// F6 00 91 00 00 keeps the host-interface and panel groups, 91 55 AA resets all;
// an item's default is its own key or, without one, its value before any write.
TEST(SimParamFlash, ReloadDefaultsByGroupAndDefaultKeys) {
    ControllerProfile p = ItemProfile();
    p.items[{1, 0}] = {8, 0};
    p.items[{2, 1}] = {4, 1};
    p.itemDefaults[{6, 0}] = 20;
    Controller c(p);
    auto value = [&](uint8_t g, uint8_t n) { return Ask(c, {0xF6, g, uint8_t(0x10 + n), 0, 0})[4]; };
    auto writeAll = [&] {
        Ask(c, {0xF6, 0x01, 0x80, 0x00, 0x02});
        Ask(c, {0xF6, 0x02, 0x81, 0x00, 0x03});
        Ask(c, {0xF6, 0x06, 0x82, 0x00, 0x05});
        Ask(c, {0xF6, 0x06, 0x80, 0x00, 0x07});
    };
    writeAll();
    Ask(c, {0xF6, 0x00, 0x91, 0x00, 0x00});
    EXPECT_EQ(value(1, 0), 2);
    EXPECT_EQ(value(2, 1), 3);
    EXPECT_EQ(value(6, 2), 3);   // back to its value before the writes
    EXPECT_EQ(value(6, 0), 20);  // its default key
    writeAll();
    Ask(c, {0xF6, 0x00, 0x91, 0x55, 0xAA});
    EXPECT_EQ(value(1, 0), 0);
    EXPECT_EQ(value(2, 1), 1);
    EXPECT_EQ(value(6, 2), 3);
    EXPECT_EQ((c.profile().itemReloads[0x91]), 1u);
    EXPECT_EQ((c.profile().itemReloads[0x9155]), 1u);

    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(c, "itemDefault", "6 2 4", &error)) << error;
    Ask(c, {0xF6, 0x00, 0x91, 0x00, 0x00});
    EXPECT_EQ(value(6, 2), 4);
    EXPECT_FALSE(qvsim::setControllerKey(c, "itemDefault", "6 16 4", &error));
}

// E0 00 FA and F6 0F 03 are computed from what the controller holds.
TEST(SimParamFlash, ParameterAndVirtualKeyCrcFollowTheLists) {
    std::string error;
    auto bench = qvsim::loadProfile("full", &error);
    ASSERT_TRUE(bench) << error;
    Controller& c = bench->hid("/sim/hidraw0")->controller();
    auto crcOf = [&](Packet command) {
        const Packet r = Ask(c, command);
        return command[0] == 0xE0 ? uint16_t(r[1] | r[2] << 8) : uint16_t(r[3] | r[4] << 8);
    };
    const Packet fa{0xE0, 0x00, 0xFA, 0, 0}, vk{0xF6, 0x0F, 0x03, 0, 0};
    const uint16_t vkey = crcOf(vk), first = crcOf(fa);
    EXPECT_EQ(vkey, qvsim::VirtualKeyCrc(c.profile()));
    EXPECT_EQ(first, *qvsim::ParameterListCrc(c.profile()));

    Ask(c, {0xE1, 0x80, 63, 0x00, uint8_t(c.profile().paramBanks[0x80][63] + 1)});  // rewritten by the firmware
    EXPECT_EQ(crcOf(fa), first);
    Ask(c, {0xE1, 0x80, 61, 0x00, uint8_t(c.profile().paramBanks[0x80][61] + 1)});  // counts in this reading
    const uint16_t second = crcOf(fa);
    EXPECT_NE(second, first);

    // A third key entry changes the virtual-key CRC and with it the parameter CRC.
    c.profile().vbuttons.push_back({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0});
    EXPECT_NE(crcOf(vk), vkey);
    EXPECT_NE(crcOf(fa), second);
    // Below 1.33 the parameter CRC starts from 0xFFFF, whatever the keys.
    c.profile().paraVersion = 125;
    const uint16_t plain = crcOf(fa);
    c.profile().vbuttons.pop_back();
    EXPECT_EQ(crcOf(fa), plain);
    // A fixed word wins.
    c.setReg(0x00, 0xFA, {0x34, 0x12, 0, 0});
    EXPECT_EQ(crcOf(fa), 0x1234);
}

}  // namespace
