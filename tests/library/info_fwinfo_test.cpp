// The firmware information record: accepted sizes, its layout, and the
// controller generations its interface bits come from.
#include "library_info_support.h"

#include <cstring>

using namespace qvtest;

namespace {

qvsim::PanelSizeEntry PanelEntry(const char* name, uint8_t inches, uint8_t tenthsAndFlags) {
    qvsim::PanelSizeEntry e;
    for (size_t i = 0; i < 8 && name[i]; ++i) e.name[i] = uint8_t(name[i]);
    e.inches = inches;
    e.tenthsAndFlags = tenthsAndFlags;
    return e;
}

// A controller with the item protocol, three ICs and every information source.
qvsim::ControllerProfile InfoProfile() {
    qvsim::ControllerProfile p = CurrentMasterProfile();
    p.featureF4 = {0x82, 0, 0, 0};  // item protocol present
    p.paraVersion = 152;
    p.slaveCount = 3;
    p.icFlags = 0xC0;
    p.icInfo = 0x20;
    p.groupInfo[{1, 1}] = {0x03, 0x01};     // interface byte 1, both extra bits offered
    p.items[{2, 0}] = {3, 1};               // panel-size entry 1
    p.items[{2, 1}] = {3, 0};               // cover-lens entry 0
    p.panelSizes = {PanelEntry("WRONG", 0x10, 0), PanelEntry("AUO G156", 0x15, 0x60)};
    p.coverLenses = {qvsim::CoverLensEntry{0x11, 0xFF, 'G', 0}};
    p.icWords = {{0, {1, 2, 3, 4}}, {1, {5, 6, 7, 8}}};  // the third IC has no word
    p.bootVersion = 60;
    p.infoWords = {{4, {0x11, 0x22, 0x33, 0x44}}, {2, {0x09, 0x0A, 0, 0}}};
    return p;
}

template <typename Rec>
struct Api;
template <>
struct Api<FirmwareInformationW> {
    static int get(HANDLE h, FirmwareInformationW* r) { return GetFWInformationW(h, r); }
    static constexpr uint32_t sizes[3] = {184, 204, 208};
};
template <>
struct Api<FirmwareInformationA> {
    static int get(HANDLE h, FirmwareInformationA* r) { return GetFWInformation(h, r); }
    static constexpr uint32_t sizes[3] = {100, 120, 124};
};

template <typename Char>
void SetText(Char* dst, const char* text) {
    std::memset(dst, 0, 40 * sizeof(Char));
    for (size_t i = 0; text[i]; ++i) dst[i] = Char(static_cast<unsigned char>(text[i]));
}

// What InfoProfile must give in a record of this size, over a caller record of 0xCC bytes.
template <typename Rec>
Rec Expected(uint32_t size) {
    Rec e;
    std::memset(&e, 0xCC, sizeof e);
    e.size = size;
    e.productNumber = 6020;
    e.firmwareMajor = 2;
    e.customerCode = 5;
    e.bootStateA = 3;
    e.bootStateB = 4;
    e.productLetter = 1;
    e.minorVersion = 7;
    e.interfaceBits = 0x0D;
    e.bootMajor = 1;
    e.bootMinor = 3;
    e.bootLetter = 2;
    SetText(e.panelSize, "AUO G156 15.6\"");
    SetText(e.coverLens, "1.1 mm Glass");
    e.icByte = 2;  // EF byte 3 >> 4
    if (size >= Api<Rec>::sizes[1]) {
        const uint32_t words[5] = {0x04030201, 0x08070605, 0, 0, 0};
        std::memcpy(e.controllerWord, words, sizeof words);
    }
    if (size >= Api<Rec>::sizes[2]) {
        e.icByte = 9;  // information word 2
        e.icByte2 = 0x0A;
        e.info4Byte1 = 0x11;
        e.info4Byte2 = 0x22;
        e.info4Word = 0x4433;
    }
    return e;
}

class FirmwareInformation : public InfoTest {
protected:
    template <typename Rec>
    void checkEverySize() {
        for (uint32_t size : Api<Rec>::sizes) {
            SCOPED_TRACE(size);
            std::vector<uint8_t> buf(sizeof(Rec) + 16, 0xCC);
            std::memcpy(buf.data(), &size, sizeof size);
            ASSERT_EQ(Api<Rec>::get(h, reinterpret_cast<Rec*>(buf.data())), 1);
            const Rec want = Expected<Rec>(size);
            const auto* w = reinterpret_cast<const uint8_t*>(&want);
            for (size_t i = 0; i < size; ++i) ASSERT_EQ(buf[i], w[i]) << "byte " << i;
            for (size_t i = size; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xCC) << "written past the record at " << i;
        }
    }
};

TEST_F(FirmwareInformation, OtherSizesAreRefusedWithoutACommand) {
    makeHid(InfoProfile());
    for (uint32_t size : {0u, 100u, 183u, 200u, 209u, 124u}) {
        FirmwareInformationW w;
        std::memset(&w, 0x77, sizeof w);
        w.size = size;
        const FirmwareInformationW before = w;
        EXPECT_EQ(GetFWInformationW(h, &w), 0) << size;
        EXPECT_EQ(std::memcmp(&w, &before, sizeof w), 0) << size;
    }
    for (uint32_t size : {0u, 99u, 101u, 184u, 200u, 208u}) {
        FirmwareInformationA a;
        std::memset(&a, 0x77, sizeof a);
        a.size = size;
        EXPECT_EQ(GetFWInformationA(h, &a), 0) << size;
    }
    EXPECT_TRUE(sent().empty());
    FirmwareInformationW w{};
    w.size = 208;
    EXPECT_EQ(GetFWInformationW(reinterpret_cast<HANDLE>(0x99), &w), 0);
}

TEST_F(FirmwareInformation, EveryAcceptedSizeIsFilledExactly) {
    makeHid(InfoProfile());
    checkEverySize<FirmwareInformationW>();
    checkEverySize<FirmwareInformationA>();
}

TEST_F(FirmwareInformation, InterfaceBitsByControllerGeneration) {
    struct Case {
        const char* what;
        std::function<void(qvsim::ControllerProfile&)> adjust;
        std::function<void(qvsim::Controller&)> faults;
        bool serial;
        uint8_t bits;
        bool endsEarly;  // no text indexes or texts are read
    };
    auto noItems = [](qvsim::ControllerProfile& p) {
        p.featureF4 = {};
        p.paraVersion = 0;
    };
    auto bootLoader = [](qvsim::Controller& c) { c.setReply(P(0xED, 0, 0, 0, 0), P(0xED, 7, 5, 0x55, 0xAA)); };
    auto noStateWord = [](qvsim::Controller& c) {
        c.setReply(P(0xE0, 0x00, 0xF0, 0x00, 0x00), P(0xAA, 0xE0, 0x00, 0xF0, 0x00));
    };
    const Case cases[] = {
        {"state word and register 0x40",
         [&](auto& p) { noItems(p), p.stateF0 = {0, 0, 0x20, 0}; }, [](qvsim::Controller& c) { c.setReg(0, 0x40, {0, 0, 0, 0xC0}); },
         false, 0x0E, false},
        {"item refused: the register path",
         [](auto& p) { p.groupInfo.clear(), p.stateF0 = {0, 0, 0x10, 0}; }, [](qvsim::Controller&) {}, false, 0x01, false},
        {"boot loader reads register 0 and ends",
         [&](auto& p) { noItems(p), p.stateF0 = {0, 0, 0x10, 0}, p.icFlags = 0x80; },
         [&](qvsim::Controller& c) { bootLoader(c), c.setReg(0, 0x00, {0, 0, 0, 0x80}); }, false, 0x09, true},
        {"no state word in the boot loader",
         noItems, [&](qvsim::Controller& c) { bootLoader(c), noStateWord(c), c.setReg(0, 0x00, {0, 0, 0, 0x30}); },
         false, 0x03, true},
        {"no state word, hundreds digit 0", noItems, noStateWord, false, 0x00, true},
        {"no state word, product 6120",
         [&](auto& p) { noItems(p), p.identityNumber = 6120; },
         [&](qvsim::Controller& c) { noStateWord(c), c.setReg(0, 0x40, {0, 0, 0, 0x20}); }, false, 0x02, false},
        {"Ostra over HID", [](auto& p) { p.series = qvsim::Series::Ostra; }, [](qvsim::Controller&) {}, false, 0x00, true},
        {"Ostra on a serial line", [](auto& p) { p.series = qvsim::Series::Ostra; }, [](qvsim::Controller&) {}, true, 0x01, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto p = InfoProfile();
        c.adjust(p);
        const std::string path = (c.serial ? "/sim/ttyS" : "/sim/hidraw") + std::to_string(n++);
        c.serial ? makeSerial(p, path) : makeHid(p, path);
        c.faults(*ctl);
        FirmwareInformationW w;
        std::memset(&w, 0xCC, sizeof w);
        w.size = 184;
        ASSERT_EQ(GetFWInformationW(h, &w), 1);
        EXPECT_EQ(w.interfaceBits, c.bits);
        EXPECT_EQ(wasSent("E3 01 01 00 00") || wasSent("E3 01 00 00 00"), !c.endsEarly);
        EXPECT_EQ(w.panelSize[0] == 0, c.endsEarly);  // cleared first, filled only when read
    }
}

TEST_F(FirmwareInformation, BootLoaderReportsItselfAndRegistersGiveTheTextIndexes) {
    auto p = InfoProfile();
    p.featureF4 = {};
    p.paraVersion = 0;
    p.stateF0 = {0, 0, 0x10, 0};
    makeHid(p);
    // No item protocol: the text indexes come from registers 0x3A and 0x3B.
    ctl->setReg(0, 0x3A, {0, 0, 0, 1});
    ctl->setReg(0, 0x3B, {0, 0, 0, 0});
    FirmwareInformationA a{};
    a.size = 100;
    ASSERT_EQ(GetFWInformationA(h, &a), 1);
    EXPECT_STREQ(a.panelSize, "AUO G156 15.6\"");
    EXPECT_STREQ(a.coverLens, "1.1 mm Glass");
    EXPECT_TRUE(wasSent("EB 00 00 00 00"));

    ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 7, 5, 0x55, 0xAA));
    ctl->clearTrace();
    ASSERT_EQ(GetFWInformationA(h, &a), 1);
    EXPECT_EQ(a.bootMajor, 2);   // identity major
    EXPECT_EQ(a.bootMinor, 5);   // customer code
    EXPECT_EQ(a.bootLetter, 1);  // product letter
    EXPECT_FALSE(wasSent("EB 00 00 00 00"));

    ctl->refuse(0xEF);
    EXPECT_EQ(GetFWInformationA(h, &a), 0);
}

TEST_F(FirmwareInformation, InformationWordsNeedARecentBootLoader) {
    struct Case {
        const char* what;
        std::optional<uint8_t> bootVersion;
        bool bridged;  // bridge flags equal the feature flags
        bool wordsRead;
    };
    const Case cases[] = {
        {"boot loader 0x12", 0x12, false, false},
        {"boot loader 55", 55, false, true},
        {"bridged boot loader 40", 40, true, true},
        {"bridged boot loader 32", 32, true, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto p = InfoProfile();
        p.bootVersion = c.bootVersion;
        p.icInfo = 0xF3;  // a high nibble of 0xF counts as 0
        if (c.bridged) p.bridge = p.featureF4;
        makeHid(p, "/sim/hidraw" + std::to_string(n++));
        FirmwareInformationW w;
        std::memset(&w, 0xCC, sizeof w);
        w.size = 208;
        ASSERT_EQ(GetFWInformationW(h, &w), 1);
        EXPECT_EQ(wasSent("C0 00 04 00 00"), c.wordsRead);
        EXPECT_EQ(w.icByte, c.wordsRead ? 9 : 0);
        EXPECT_EQ(w.icByte2, c.wordsRead ? 0x0A : 0);
        EXPECT_EQ(w.info4Word, c.wordsRead ? 0x4433 : 0);
        if (c.wordsRead) {
            ctl->refuse(0xC0);
            EXPECT_EQ(GetFWInformationW(h, &w), 0);
        }
    }
}

}  // namespace
