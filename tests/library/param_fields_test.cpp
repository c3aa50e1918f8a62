// The optional fields of the group records (by cbSize and parameter version), the
// group-specific bytes, the orientation of older firmware, the virtual-button and
// force-touch tables.
#include "library_param_support.h"

#include <functional>

namespace qvtest {
namespace {

using GetFn = std::function<int(int, void*)>;
template <class T> GetFn G(int (*f)(int, uint32_t, T*)) {
    return [f](int s, void* r) { return f(s, 0xFFFFFFFFu, static_cast<T*>(r)); };
}

struct SizeCase {
    const char* name;
    GetFn get;
    uint32_t cbSize;
    const char* command;  // the read that decides
    bool sent;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name << " " << c.cbSize; }

const std::vector<SizeCase>& SizeCases() {
    using namespace qvlib;
    static const GetFn scan = [](int s, void* r) { return GetScan(s, 10, 0xFFFF, static_cast<ParameterScan*>(r)); };
    static const std::vector<SizeCase> cases = {
        {"Water12", G(GetWater), 88, "F6 06 1C 00 00", false},
        {"Water12", G(GetWater), 89, "F6 06 1C 00 00", true},
        {"Finger9", G(GetFinger), 88, "F6 03 19 00 00", false},
        {"Finger9", G(GetFinger), 89, "F6 03 19 00 00", true},
        {"Finger14", G(GetFinger), 128, "F6 03 1E 00 00", false},
        {"Finger14", G(GetFinger), 129, "F6 03 1E 00 00", true},
        {"Palm5", G(GetPalm), 52, "F6 04 15 00 00", false},
        {"Palm5", G(GetPalm), 53, "F6 04 15 00 00", true},
        {"Scan5", scan, 56, "F6 0A 15 00 00", false},
        {"Scan5", scan, 57, "F6 0A 15 00 00", true},
        {"Scan6", scan, 64, "F6 0A 16 00 00", false},
        {"Scan6", scan, 65, "F6 0A 16 00 00", true},
        {"Scan7", scan, 72, "F6 0A 17 00 00", false},
        {"Scan7", scan, 73, "F6 0A 17 00 00", true},
        {"ScanInfo", scan, 72, "F6 0A 02 00 00", false},
        {"ScanInfo", scan, 73, "F6 0A 02 00 00", true},
        {"Misc3", G(GetMisc), 36, "F6 0C 13 00 00", false},
        {"Misc3", G(GetMisc), 37, "F6 0C 13 00 00", true},
        {"Misc4", G(GetMisc), 44, "F6 0C 14 00 00", false},
        {"Misc4", G(GetMisc), 45, "F6 0C 14 00 00", true},
        {"AntiNoise3", G(GetAntiNoise), 36, "F6 07 13 00 00", false},
        {"AntiNoise3", G(GetAntiNoise), 37, "F6 07 13 00 00", true},
        {"AntiNoise12", G(GetAntiNoise), 100, "F6 07 1C 00 00", false},
        {"AntiNoise12", G(GetAntiNoise), 101, "F6 07 1C 00 00", true},
        {"PanelGeometry", G(GetPanel), 60, "F6 02 04 00 00", false},
        {"PanelGeometry", G(GetPanel), 61, "F6 02 04 00 00", true},
        {"PanelText", G(GetPanel), 80, "E0 C0 80 00 00", false},
        {"PanelText", G(GetPanel), 81, "E0 C0 80 00 00", true},
        {"Coordinate12", G(GetCoordinate), 144, "F6 08 1C 00 00", false},
        {"Coordinate12", G(GetCoordinate), 145, "F6 08 1C 00 00", true},
        {"DriveLines", G(GetDriveIC), 28, "F6 0D 01 00 00", false},
        {"DriveLines", G(GetDriveIC), 29, "F6 0D 01 00 00", true},
    };
    return cases;
}

class ParamSizeTest : public ParamTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ParamSizeTest, OptionalFieldsFollowTheSizeMarksAndNothingPastCbSizeIsWritten) {
    const SizeCase& sc = GetParam();
    qvsim::ControllerProfile p = ItemProfile(152);
    for (uint8_t g : {2, 3, 4, 6, 7, 8, 10, 12, 13})
        for (uint8_t n = 0; n < 16; ++n) p.items[{g, n}] = {200, uint8_t(n + 1)};
    p.items.erase({12, 4});
    p.wordItems[{12, 4}] = {0xFFFF, 0x1234};
    p.groupInfo[{7, 0x3B}] = {3, 3};
    p.groupInfo[{7, 0x4B}] = {4, 4};
    make(p);
    alignas(8) uint8_t r[256];
    std::memset(r, 0xCC, sizeof r);
    std::memcpy(r, &sc.cbSize, 4);
    ASSERT_EQ(sc.get(slotIndex, r), 1);
    EXPECT_EQ(wasSent(sc.command), sc.sent);
    for (size_t i = sc.cbSize; i < sizeof r; ++i) ASSERT_EQ(r[i], 0xCC) << "byte " << i << " past cbSize";
    uint32_t valid;
    std::memcpy(&valid, r + 8, 4);
    EXPECT_EQ(valid, 1u);
}

INSTANTIATE_TEST_SUITE_P(Marks, ParamSizeTest, ::testing::ValuesIn(SizeCases()),
                         [](const ::testing::TestParamInfo<SizeCase>& i) {
                             return std::string(i.param.name) + "_" + std::to_string(i.param.cbSize);
                         });

TEST_F(ParamTest, RecordsBelowTheirBaseSizeAreRefusedWithoutACommand) {
    make(ItemProfile(152));
    ParameterWater w{};
    w.cbSize = 87;
    EXPECT_EQ(qvlib::GetWater(slotIndex, 0xFFFF, &w), 0);
    w.valid = 1;
    EXPECT_EQ(qvlib::SetWater(slotIndex, &w), 0);
    ParameterCoordinate c{};
    c.cbSize = 143;
    EXPECT_EQ(qvlib::GetCoordinate(slotIndex, 0xFFFF, &c), 0);
    ParameterGeneralInfo g{};
    g.cbSize = 12;
    EXPECT_EQ(qvlib::GetGeneralInfo(slotIndex, &g), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(ParamTest, GeneralInfoBytesAndItemsByVersion) {
    for (uint16_t version : {118, 119, 141}) {
        SCOPED_TRACE(version);
        qvsim::ControllerProfile p = ItemProfile(version);
        p.items[{3, 0}] = {1, 1};
        p.items[{9, 0}] = {1, 1};
        p.items[{0, 1}] = {0x11, 0x22};
        p.items[{0, 2}] = {0x33, 0x44};
        p.items[{0, 3}] = {0x55, 0x66};
        p.items[{0, 4}] = {0x77, 0x88};
        make(p);
        ParameterGeneralInfo g;
        std::memset(&g, 0, sizeof g);
        g.cbSize = sizeof g;
        ASSERT_EQ(qvlib::GetGeneralInfo(slotIndex, &g), 1);
        EXPECT_EQ(g.groupMask, (1u << 3) | (1u << 9));
        EXPECT_EQ(g.versionMajor, version / 100);
        EXPECT_EQ(g.versionMinor, version % 100);
        EXPECT_EQ(g.valid, 1);
        EXPECT_EQ(g.info1[0], 0x22);
        EXPECT_EQ(g.info1[1], 0x11);
        EXPECT_EQ(g.info2[0], 0x33);
        EXPECT_EQ(g.info2[1], 0x44);
        EXPECT_EQ(g.item3Value, version >= 119 ? 0x66 : 0);
        EXPECT_EQ(g.item3Maximum, version >= 119 ? 0x55 : 0);
        EXPECT_EQ(g.item4Maximum, version >= 141 ? 0x77 : 0);
        EXPECT_EQ(g.item4Value, version >= 141 ? 0x88 : 0);
    }
}

TEST_F(ParamTest, HostInterfaceBytes) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.items[{1, 0}] = {0xC0, 5};
    p.items[{1, 2}] = {9, 1};
    p.groupInfo[{1, 1}] = {0x00, 0x03};
    p.groupInfo[{1, 2}] = {0x21, 0xC0};
    p.groupInfo[{1, 3}] = {0x25, 0x42};
    make(p);
    ParameterHostInterface r{};
    r.cbSize = sizeof r;
    ASSERT_EQ(qvlib::GetHostInterface(slotIndex, 0xFFFF, &r), 1);
    EXPECT_EQ(r.valid, 1u);
    EXPECT_EQ(r.interfaceByte, 0x03 | 0x08 | 0x04);
    EXPECT_EQ(r.hidFlag, 0x20u);
    EXPECT_EQ(r.item[0].maximum, 0xC0);
    EXPECT_EQ((std::vector<uint8_t>(r.identity, r.identity + 4)), (std::vector<uint8_t>{0x21, 0xC0, 0x42, 0x25}));

    // Without items 0..2 the group is not valid; item 0's maximum becomes 64.
    qvsim::ControllerProfile q = ItemProfile(152);
    q.items[{1, 3}] = {2, 1};
    make(q);
    ParameterHostInterface e{};
    e.cbSize = 44;
    ASSERT_EQ(qvlib::GetHostInterface(slotIndex, 0xFFFF, &e), 1);
    EXPECT_EQ(e.valid, 0u);
    EXPECT_EQ(e.item[0].maximum, 64);
    EXPECT_EQ(e.hidFlag, 0u);
}

TEST_F(ParamTest, PanelGeometryDimensionsAndText) {
    for (uint16_t version : {100, 152}) {
        SCOPED_TRACE(version);
        qvsim::ControllerProfile p = ItemProfile(version);
        p.items[{2, 0}] = {4, 1};
        p.rows = 0x21;
        p.columns = 0x31;
        p.extraColumns = 2;
        p.resolutionE5 = {0x00, 0x10, 0x00, 0x08};
        p.groupInfo[{2, 6}] = {0xFF, 0xFF};  // newer firmware without its own resolution
        p.panelSizes.resize(2);
        p.panelSizes[1].dimension = {0x34, 0x12, 0x78, 0x56};
        for (int i = 0; i < 18; ++i) p.panelText[i] = uint8_t('A' + i);
        make(p);
        ParameterPanel r{};
        r.cbSize = sizeof r;
        ASSERT_EQ(qvlib::GetPanel(slotIndex, 0xFFFF, &r), 1);
        EXPECT_EQ(r.resolution[0], 0x1000);
        EXPECT_EQ(r.resolution[1], 0x0800);
        EXPECT_EQ(r.dimension[0], 0x1234);
        EXPECT_EQ(r.dimension[1], 0x5678);
        if (version == 100) {
            EXPECT_EQ(r.geometry[0], 0x21);
            EXPECT_EQ(r.geometry[1], 0x31);
            EXPECT_EQ(r.geometry[3], 2);
            EXPECT_EQ(r.textLength, 0);
            EXPECT_FALSE(wasSent("E0 C0 80 00 00"));
        } else {
            EXPECT_EQ(r.geometry[0], 0x31);  // F6 02 02 as the controller answers it
            EXPECT_EQ(r.geometry[1], 0x21);
            EXPECT_EQ(r.geometry[3], 2);
            EXPECT_EQ(r.extra[0], 0x34);
            EXPECT_EQ(r.extra[1], 0x35);
            EXPECT_EQ(r.extra[2], 8);
            EXPECT_EQ(r.textLength, 18);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(r.text), 18), "ABCDEFGHIJKLMNOPQR");
            EXPECT_EQ(r.text[18], 0);

            // The text goes back word by word and is kept at the commit.
            std::memcpy(r.text, "panel-text-018chr", 18);
            ASSERT_EQ(qvlib::SetPanel(slotIndex, &r), 1);
            EXPECT_EQ(std::string(ctl->profile().panelText.begin(), ctl->profile().panelText.end()),
                      std::string("panel-text-018chr", 18));
            // A length the controller does not take is skipped without a failure.
            ctl->profile().panelTextLength = 16;
            ctl->clearTrace();
            r.text[0] = 'X';
            ASSERT_EQ(qvlib::SetPanel(slotIndex, &r), 1);
            EXPECT_FALSE(wasSent("F6 02 B1 00 00"));
            EXPECT_EQ(ctl->profile().panelText[0], 'p');
        }
    }
}

TEST_F(ParamTest, WaterInformationBytesByVersion) {
    struct Case { uint16_t version; std::array<uint8_t, 4> info; };
    for (const Case& c : {Case{101, {0xFF, 0xFF, 0xFF, 0xFF}}, Case{109, {0x06, 0x01, 0xFF, 0x06}},
                          Case{116, {0x06, 0x01, 0x02, 0x06}}}) {
        SCOPED_TRACE(c.version);
        qvsim::ControllerProfile p = ItemProfile(c.version);
        p.items[{6, 1}] = {3, 1};
        make(p);
        ParameterWater r{};
        r.cbSize = sizeof r;
        ASSERT_EQ(qvlib::GetWater(slotIndex, 0xFFFF, &r), 1);
        EXPECT_EQ((std::array<uint8_t, 4>{r.info[0], r.info[1], r.info[2], r.info[3]}), c.info);
    }
}

TEST_F(ParamTest, AntiNoiseWideItemAndExtensionGroup) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.items[{7, 1}] = {3, 1};
    p.wordItems[{7, 11}] = {0x2222, 0x1111};
    p.groupInfo[{7, 0x3B}] = {0x33, 0x33};
    p.groupInfo[{7, 0x4B}] = {0x44, 0x44};
    p.items[{0x17, 1}] = {50, 20};
    make(p);
    ParameterAntiNoise r{};
    r.cbSize = sizeof r;
    ASSERT_EQ(qvlib::GetAntiNoise(slotIndex, 0xFFFF, &r), 1);
    EXPECT_EQ(r.extensionMask, 0x0002);
    EXPECT_EQ(r.item11.word[0], 0x1111);
    EXPECT_EQ(r.item11.word[1], 0x3333);
    EXPECT_EQ(r.item11.word[2], 0x4444);
    EXPECT_EQ(r.item11.word[3], 0x2222);
    EXPECT_EQ(r.item11.first, 0x1111);
    EXPECT_EQ(r.item11.present, 1u);
    EXPECT_EQ(r.extension[0].present, 0u);
    EXPECT_EQ(r.extension[1].value, 20);
    EXPECT_EQ(r.extension[1].present, 1u);
    r.extension[1].value = 30;
    ASSERT_EQ(qvlib::SetAntiNoise(slotIndex, &r), 1);
    EXPECT_EQ(item(0x17, 1).value, 30);
    EXPECT_EQ(itemWrites(), std::vector<std::string>{"F6 17 81 00 1E"});

    // Without the extension group its mask is 0 and its items stay absent.
    qvsim::ControllerProfile q = ItemProfile(152);
    q.items[{7, 1}] = {3, 1};
    make(q);
    ASSERT_EQ(qvlib::GetAntiNoise(slotIndex, 0xFFFF, &r), 1);
    EXPECT_EQ(r.extensionMask, 0);
    EXPECT_EQ(qvlib::g_extensionItemMask[slotIndex], 0);
    EXPECT_EQ(r.extension[1].present, 0u);
}

TEST_F(ParamTest, CoordinateWordsCalibrationAndRegisterItems) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.wordItems[{8, 0}] = {4095, 100};
    p.wordItems[{8, 7}] = {4095, 200};
    p.items[{8, 8}] = {1, 0};
    make(p);
    ctl->setReg(0x00, 0x35, {0, 0, 0, 0x42});
    ParameterCoordinate r{};
    r.cbSize = sizeof r;
    ASSERT_EQ(qvlib::GetCoordinate(slotIndex, 0xFFFF, &r), 1);
    EXPECT_EQ(r.word[0].value, 100);
    EXPECT_EQ(r.word[0].maximum, 4095);
    EXPECT_EQ(r.word[7].value, 200);
    EXPECT_EQ(r.word[3].present, 0u);
    EXPECT_EQ(r.info, 8);
    // Item 12 is absent: items 12..15 live in registers 0x34..0x37.
    EXPECT_EQ(r.item12[1].value, 0x42);
    EXPECT_EQ(r.item12[1].maximum, 255);
    EXPECT_EQ(r.item12[1].present, 1u);

    r.word[7].value = 0x0456;
    r.item12[1].value = 0x43;
    ctl->clearTrace();
    ASSERT_EQ(qvlib::SetCoordinate(slotIndex, &r), 1);
    EXPECT_EQ(ctl->profile().wordItems.at({8, 7}).value, 0x0456);
    EXPECT_EQ(ctl->profile().calibrationActivations, 1u);
    EXPECT_EQ(r.changed & 0x01, 0) << "accepted activation clears bit 0";
    EXPECT_EQ(ctl->reg(0x00, 0x35)[3], 0x43);
    EXPECT_EQ(itemWrites(), std::vector<std::string>{"F6 08 87 56 04"});

    // A mask with a clear low byte sends no activation.
    qvsim::ControllerProfile q = ItemProfile(152);
    q.items[{8, 9}] = {1, 0};
    make(q);
    ASSERT_EQ(qvlib::GetCoordinate(slotIndex, 0xFFFF, &r), 1);
    r.item8[1].value = 1;
    ASSERT_EQ(qvlib::SetCoordinate(slotIndex, &r), 1);
    EXPECT_EQ(item(8, 9).value, 1);
    EXPECT_EQ(ctl->profile().calibrationActivations, 0u);
}

TEST_F(ParamTest, OrientationOfOlderFirmwareBothWays) {
    struct Case {
        uint16_t version;
        uint8_t flipX, flipY, swap, orientation;  // held by the controller
        uint8_t shown;                            // item 11 as the Get shows it
        uint8_t asked;                            // what the caller sets
        uint8_t written;                          // what reaches the controller
    };
    const Case cases[] = {
        {134, 1, 1, 0, 0, 2, 3, 1},  // x = 3 -> orientation index 2; row 2 column of 3 is 1
        {134, 0, 1, 1, 1, 3, 0, 2},  // x = 5 ^ 6 = 3 -> index 2; column of 0 in row 2 is 2
        {134, 0, 0, 0, 2, 0, 1, 3},  // x = 0 ^ 3 = 3 -> index 2; shown 0; column of 1 in row 2 is 3
        {134, 1, 0, 0, 0, 0, 2, 2},  // x = 2 is no orientation: index 0, the identity row
        {135, 1, 1, 0, 0, 0, 3, 3},  // from 1.35 on the item is what it says
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << " " << int(c.orientation));
        qvsim::ControllerProfile p = ItemProfile(c.version);
        p.items[{8, 8}] = {1, c.flipX};
        p.items[{8, 9}] = {1, c.flipY};
        p.items[{8, 10}] = {1, c.swap};
        p.items[{8, 11}] = {7, c.orientation};
        make(p);
        ParameterCoordinate r{};
        r.cbSize = sizeof r;
        ASSERT_EQ(qvlib::GetCoordinate(slotIndex, 0xFFFF, &r), 1);
        EXPECT_EQ(r.item8[3].value, c.shown);
        EXPECT_EQ(r.item8[3].stored, c.shown);
        r.item8[3].value = c.asked;
        ctl->clearTrace();
        ASSERT_EQ(qvlib::SetCoordinate(slotIndex, &r), 1);
        EXPECT_EQ(item(8, 11).value, c.written);
    }
}

TEST_F(ParamTest, DriveIcLinePairs) {
    struct Case { std::optional<uint8_t> count; int reads; };
    for (const Case& c : {Case{3, 2}, Case{14, 7}, Case{15, 8}, Case{std::nullopt, 8}}) {
        qvsim::ControllerProfile p = ItemProfile(152);
        p.items[{13, 0}] = {3, 1};
        for (uint8_t j = 0; j < 8; ++j) p.groupInfo[{13, uint8_t(2 + j)}] = {uint8_t(2 * j + 1), uint8_t(2 * j + 2)};
        if (c.count) p.groupInfo[{13, 1}] = {0, *c.count}; else p.groupInfo.erase({13, 1});
        make(p);
        SCOPED_TRACE(c.reads);
        ParameterDriveIC r{};
        r.cbSize = sizeof r;
        ASSERT_EQ(qvlib::GetDriveIC(slotIndex, 0xFFFF, &r), 1);
        EXPECT_EQ(r.lineCount, c.count.value_or(255));
        int reads = 0;
        for (const auto& s : sent()) reads += s.rfind("F6 0D 0", 0) == 0 && s != "F6 0D 00 00 00" && s != "F6 0D 01 00 00";
        EXPECT_EQ(reads, c.reads);
        for (int i = 0; i < 15; ++i) EXPECT_EQ(r.lines[i], i < 2 * c.reads ? i + 1 : 0) << i;
    }
}

TEST_F(ParamTest, VirtualButtonTableReadAndWrite) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.vbuttonEntrySize = 10;
    p.vbuttons.resize(3);
    p.vbuttons[0] = {1, 2, 3, 4, 5, 6, 7, 8, 0x01, 0x00, 0xEE, 0xEE};
    p.vbuttons[2] = {9, 9, 9, 9, 9, 9, 9, 9, 0x00, 0x02, 0xEE, 0xEE};
    p.vbuttonCrc = 0x5AA5;
    make(p);
    VButtonTable t;
    std::memset(&t, 0x77, sizeof t);
    ASSERT_EQ(qvlib::ReadVButtonTable(slotIndex, &t), 1);
    EXPECT_EQ(t.entrySize, 10);
    EXPECT_EQ(t.usedCount, 2);
    EXPECT_EQ(t.crc, 0x5AA5);
    EXPECT_EQ(t.entry[0][9], 0x00);
    EXPECT_EQ(t.entry[0][8], 0x01);
    EXPECT_EQ(t.entry[0][10], 0) << "only entrySize bytes of an entry";
    EXPECT_EQ(t.entry[3][0], 0);

    t.entry[1][0] = 0x42;
    t.entry[1][9] = 0x24;
    ctl->clearTrace();
    ASSERT_EQ(qvlib::WriteVButtonTable(slotIndex, &t), 1);
    EXPECT_EQ(ctl->profile().vbuttons[1][0], 0x42);
    EXPECT_EQ(ctl->profile().vbuttons[1][9], 0x24);
    EXPECT_EQ(ctl->profile().vbuttons[0][8], 0x01);
    EXPECT_TRUE(wasSent("F6 0F B1 02 00"));

    // A refused commit fails the write.
    ctl->setReply(P(0xF6, 0x0F, 0xB1, 1, 0), P(0xF6, 0xFF, 0xFF, 0, 0));
    EXPECT_EQ(qvlib::WriteVButtonTable(slotIndex, &t), 0);

    // An empty table reads its size and its checksum only.
    qvsim::ControllerProfile e = ItemProfile(152);
    make(e);
    ASSERT_EQ(qvlib::ReadVButtonTable(slotIndex, &t), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 0F 02 00 00", "F6 0F 03 00 00"}));
    EXPECT_EQ(t.usedCount, 0);
}

TEST_F(ParamTest, ForceTouchTable) {
    qvsim::ControllerProfile p = ItemProfile(152);
    p.forceTouch = qvsim::ForceTouchProfile{};
    p.forceTouch->info = 0x11;
    p.forceTouch->info2 = 0x22;
    p.forceTouch->rows = 2;
    p.forceTouch->columns = 3;
    p.forceTouch->values = {{0x11, 5}, {0x13, 7}, {0x23, 9}};
    make(p);
    ForceTouchTable t{};
    t.cbSize = 103;
    EXPECT_EQ(qvlib::ReadForceTouchTable(slotIndex, &t), 0);
    EXPECT_TRUE(sent().empty());
    t.cbSize = sizeof t;
    ASSERT_EQ(qvlib::ReadForceTouchTable(slotIndex, &t), 1);
    EXPECT_EQ(t.rows, 2);
    EXPECT_EQ(t.columns, 3);
    EXPECT_EQ(t.info, 0x11);
    EXPECT_EQ(t.info2, 0x22);
    EXPECT_EQ(t.value[0][0], 5);
    EXPECT_EQ(t.value[0][2], 7);
    EXPECT_EQ(t.value[1][2], 9);
    t.value[1][1] = 0x1234;
    ASSERT_EQ(qvlib::WriteForceTouchTable(slotIndex, &t), 1);
    EXPECT_EQ(ctl->profile().forceTouch->values[0x22], 0x1234);
    ASSERT_EQ(qvlib::ForceTouchSwitch(slotIndex, 5), 1);
    EXPECT_TRUE(ctl->profile().forceTouch->on);

    // No rows, no columns, or more columns than a row holds: refused before any data command.
    for (auto [rows, columns] : {std::pair{0, 3}, std::pair{2, 0}, std::pair{2, 4}}) {
        ctl->profile().forceTouch->rows = uint8_t(rows);
        ctl->profile().forceTouch->columns = uint8_t(columns);
        ctl->clearTrace();
        EXPECT_EQ(qvlib::ReadForceTouchTable(slotIndex, &t), 0);
        EXPECT_EQ(sent(), std::vector<std::string>{"F8 00 00 00 00"});
        t.rows = uint8_t(rows);
        t.columns = uint8_t(columns);
        ctl->clearTrace();
        EXPECT_EQ(qvlib::WriteForceTouchTable(slotIndex, &t), 0);
        EXPECT_TRUE(sent().empty());
    }
}

}  // namespace
}  // namespace qvtest
