// The firmware step's decisions without a controller: the loader, the image per
// chip, the entry form, the refusals, an already running firmware and the
// host-interface nibble.
#include "update/update_rules.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using namespace vcx::update;

TEST(UpdateRules, NewOrOldLoader) {
    const struct {
        bool slave, inBoot;
        uint16_t firmwareMajor;
        uint8_t bootMajor;
        bool newBoot;
    } rows[] = {
        // Running firmware: the boot major decides.
        {false, false, 20, 8, false},
        {false, false, 2, 9, true},
        {true, false, 20, 8, false},
        {true, false, 2, 9, true},
        // In the loader: the firmware major is the loader's.
        {false, true, 9, 0, true},
        {false, true, 8, 20, false},
        // The master's whole word, a slave's low byte.
        {false, true, 0x0102, 0, true},
        {true, true, 0x0102, 20, false},
        {true, true, 0x0209, 0, true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IsNewBootLoader(r.slave, r.inBoot, r.firmwareMajor, r.bootMajor), r.newBoot)
            << r.slave << r.inBoot << " " << r.firmwareMajor << " " << int(r.bootMajor);
}

TEST(UpdateRules, TheImageEachChipGets) {
    const struct {
        uint8_t kind;
        bool slave, newBoot;
        int entry;
    } rows[] = {
        {0x00, false, false, 0}, {0x00, true, true, 0},  {0x10, false, true, 0},
        // A file with a configuration image: the master's is entry 1.
        {0x01, false, false, 1}, {0x01, true, false, 0}, {0x01, true, true, 0},
        // Two images: the new loader's is entry 1, whoever takes it.
        {0x40, false, true, 1},  {0x40, true, true, 1},  {0x40, false, false, 0}, {0x41, false, false, 1},
        {0x41, true, false, 0},
        // Four sections: slave 0 or 2, master 1 or 3, whatever else is set.
        {0x80, true, true, 0},   {0x80, true, false, 2}, {0x80, false, true, 1},  {0x80, false, false, 3},
        {0xD1, true, false, 2},  {0xD1, false, true, 1},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ImageEntryFor(r.kind, r.slave, r.newBoot), r.entry)
            << std::hex << int(r.kind) << " slave " << r.slave << " new " << r.newBoot;
}

TEST(UpdateRules, EntryFormAndRefusals) {
    const struct {
        bool newBoot;
        uint8_t e0ffByte1, kind;
        int entryKind;
    } forms[] = {
        {true, 0x80, 0x00, 1}, {true, 0x8F, 0x40, 1}, {true, 0x90, 0x00, 0},
        {true, 0x08, 0x00, 0}, {true, 0x80, 0x10, 0},  // the new data format enters the usual way
        {false, 0x80, 0x00, 0},
    };
    for (const auto& f : forms)
        EXPECT_EQ(BootEntryKind(f.newBoot, f.e0ffByte1, f.kind), f.entryKind)
            << f.newBoot << std::hex << " " << int(f.e0ffByte1) << " " << int(f.kind);

    const struct {
        bool newBoot;
        uint8_t kind;
        bool refused;
    } old[] = {{false, 0x10, true}, {false, 0x50, false}, {false, 0x00, false}, {true, 0x10, false}};
    for (const auto& o : old) EXPECT_EQ(OldLoaderRefusesImage(o.newBoot, o.kind), o.refused) << std::hex << int(o.kind);

    const struct {
        uint8_t format;
        bool set;
    } formats[] = {{0x00, false}, {0x10, false}, {0x1F, false}, {0x20, true},
                   {0x40, true},  {0x50, false}, {0x5A, false}, {0x60, true}, {0xF0, true}};
    for (const auto& f : formats) EXPECT_EQ(NeedsBootDataFormat(f.format), f.set) << std::hex << int(f.format);

    EXPECT_TRUE(LoaderIncompatible(0xBB, 0x00));
    EXPECT_TRUE(LoaderIncompatible(0xBB, 0x41));
    EXPECT_FALSE(LoaderIncompatible(0xBB, 0x10));
    EXPECT_FALSE(LoaderIncompatible(0xAA, 0x00));
    EXPECT_FALSE(LoaderIncompatible(0x00, 0x00));
}

TEST(UpdateRules, AFirmwareRunsOnlyWhenEveryIdentityFieldAgrees) {
    vcx::LoadedFirmwareSection e;
    e.productNumber = 2081;
    e.major = 2;
    e.minor = 6;
    e.build[0] = 1;  // header byte 19
    e.build[1] = 3;  // header byte 18
    e.letter = 1;
    e.customer = 3;
    e.info = 0x30;
    FirmwareInformationW now{};
    now.productNumber = 2081;
    now.firmwareMajor = 2;
    now.minorVersion = 6;
    now.bootStateA = 3;
    now.bootStateB = 1;
    now.productLetter = 1;
    now.customerCode = 3;
    now.icByte = 0x30;
    EXPECT_TRUE(FirmwareAlreadyRuns(now, e));
    const struct {
        const char* field;
        void (*change)(FirmwareInformationW&);
    } changes[] = {
        {"number", [](FirmwareInformationW& n) { n.productNumber = 2082; }},
        {"major", [](FirmwareInformationW& n) { n.firmwareMajor = 3; }},
        {"minor", [](FirmwareInformationW& n) { n.minorVersion = 5; }},
        {"build A", [](FirmwareInformationW& n) { n.bootStateA = 1; }},
        {"build B", [](FirmwareInformationW& n) { n.bootStateB = 3; }},
        {"letter", [](FirmwareInformationW& n) { n.productLetter = 2; }},
        {"customer", [](FirmwareInformationW& n) { n.customerCode = 0x103; }},
        {"information byte", [](FirmwareInformationW& n) { n.icByte = 0x31; }},
    };
    for (const auto& c : changes) {
        FirmwareInformationW other = now;
        c.change(other);
        EXPECT_FALSE(FirmwareAlreadyRuns(other, e)) << c.field;
    }
}

TEST(UpdateRules, TheHostInterfaceNibble) {
    const uint8_t identity[4] = {0, 0, 0x00, 0x20};
    EXPECT_TRUE(ChecksHostInterfaceNibble(false, false, 152, 1, identity));
    EXPECT_FALSE(ChecksHostInterfaceNibble(true, false, 152, 1, identity));
    EXPECT_FALSE(ChecksHostInterfaceNibble(false, true, 152, 1, identity));
    EXPECT_FALSE(ChecksHostInterfaceNibble(false, false, 0, 1, identity));
    EXPECT_FALSE(ChecksHostInterfaceNibble(false, false, 152, 0, identity));
    const uint8_t both[4] = {0, 0, 0x20, 0x20}, neither[4] = {0, 0, 0x00, 0x00};
    EXPECT_FALSE(ChecksHostInterfaceNibble(false, false, 152, 1, both));
    EXPECT_FALSE(ChecksHostInterfaceNibble(false, false, 152, 1, neither));

    const struct {
        int e0_40, e0_42;
        std::optional<uint8_t> write;
    } rows[] = {
        {0x13, 0x25, 0x23},        // 42's high nibble, 40's low one
        {0x1F, 0xA0, 0xAF},
        {0x13, 0x23, std::nullopt},  // the low nibbles agree
        {0x03, 0x25, std::nullopt},  // 40 without bit 4
        {0x00, 0x00, std::nullopt},
    };
    for (const auto& r : rows)
        EXPECT_EQ(HostInterfaceNibbleFix(r.e0_40, r.e0_42), r.write) << std::hex << r.e0_40 << " " << r.e0_42;
}

}  // namespace
