// Package combining on the simulated bench: a firmware file of each kind and
// the controller's parameter lists and virtual-key table become a .pfp that
// the library's reader and the program's reading of the format both accept;
// its name, its header bytes, the numbered names, the compatibility codes, and
// the failures that must leave no package behind.
#include "firmware_writer_support.h"
#include "library_info_support.h"
#include "n4_file.h"
#include "n4_internal.h"

#include "format/firmware_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qvtest {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + 7 * i + (i >> 3));
    return v;
}

// The firmware the controller of Profile runs, as a file's image: QV6020A,
// customer 5, version 2.7, build 3.4.
fwtest::Image Running(uint8_t headerVersion = 19) {
    fwtest::Image im;
    im.headerVersion = headerVersion;
    im.product = 6020;
    im.letter = 1;
    im.major = 2;
    im.minor = 7;
    im.customer = 5;
    if (headerVersion >= 16) {
        im.build1 = 3;
        im.build2 = 4;
    }
    im.data = Pattern(96, 0x41);
    return im;
}

// A further image of a file: another number, version and data.
fwtest::Image Other(const std::string& magic, uint8_t minor, uint8_t seed) {
    fwtest::Image im;
    im.magic = magic;
    im.product = 0x8000 | 6021;
    im.letter = 2;
    im.major = 1;
    im.minor = minor;
    im.customer = 3;
    im.build1 = 5;
    im.build2 = 6;
    im.data = Pattern(80, seed);
    return im;
}

// Sends through SendCmd; when a path is set, the firmware file there is cut
// short as the virtual-key table is asked for (after the package was created).
std::string g_cutOnKeys;
int CuttingSend(HANDLE h, const uint8_t command[5], uint8_t reply[5]) {
    if (!g_cutOnKeys.empty() && command[0] == 0xF6 && command[1] == 0x0F && command[2] == 0x02)
        fs::resize_file(g_cutOnKeys, 40);
    return SendCmd(h, command, reply);
}

// Sends through SendCmd, but the chip-count query is not answered.
int NoChipCount(HANDLE h, const uint8_t command[5], uint8_t reply[5]) {
    return command[0] == 0xEF ? 0 : SendCmd(h, command, reply);
}

class CombineTest : public InfoTest {
protected:
    fs::path dir;

    void SetUp() override {
        InfoTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::path(QV_BINARY_DIR) / "tests" / (std::string("combine_") + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        g_cutOnKeys.clear();
        QuorvaneN4_SetupSendCmdCallBack(nullptr);
        QuorvaneN4_SetupSendCmdOnlyCallBack(nullptr);
        fs::remove_all(dir);
        InfoTest::TearDown();
    }

    // QV6020A.D05.2.7.3.4 with the item protocol (version 1.47), touch and boot
    // lists of 128 and 64 bytes, IC byte 3; ownCrc: it keeps its parameter CRC
    // (E0 00 FA); keys: the virtual-button group with three used entries; two
    // slaves (three chips), the first answering as itself once selected, or none.
    static qvsim::ControllerProfile Profile(bool ownCrc, bool keys, bool slaves) {
        qvsim::ControllerProfile p = slaves ? MasterWithTwoSlavesProfile() : CurrentMasterProfile();
        p.paraVersion = 147;
        p.featureF4 = {0x82, 0x00, 0x80, 0x00};
        p.featureFC = {uint8_t(ownCrc ? 0x10 : 0x00), 0x00, 0x00, 0x20};
        p.listDescriptor = std::array<uint8_t, 4>{0, 32, 64, 128};
        p.paramBanks[0x80] = Pattern(136, 0x10);
        p.paramBanks[0x90] = Pattern(72, 0x20);
        // Boot-list word 0x0E is the scan-mode register (0 here).
        p.paramBanks[0x90][14] = p.paramBanks[0x90][15] = 0;
        p.paramBanks[0xA0] = Pattern(8, 0x30);
        p.icInfo = 0x30;
        // Panel-size and cover-lens entry 0, for the firmware information.
        p.items[{0x02, 0}] = qvsim::ParamItem{3, 0, 0};
        p.items[{0x02, 1}] = qvsim::ParamItem{3, 0, 0};
        p.panelSizes = {qvsim::PanelSizeEntry{{'P', 'A', 'N', 'E', 'L', 0, 0, 0}, 0x15, 0x60, {}}};
        p.coverLenses = {qvsim::CoverLensEntry{0x11, 0xFF, 'G', 0}};
        if (keys) {
            p.items[{0x0F, 0}] = qvsim::ParamItem{1, 1, 0};
            p.vbuttonEntrySize = 10;
            for (uint8_t e = 0; e < 3; ++e) {
                std::array<uint8_t, 12> entry{};
                for (uint8_t k = 0; k < 10; ++k) entry[k] = uint8_t(0x60 + 16 * e + k);
                p.vbuttons.push_back(entry);
            }
        }
        if (slaves) {
            p.selectedSlaveAnswers = true;
            p.slaves[0].icInfo = 0x20;
        }
        return p;
    }

    std::string write(const std::string& name, const fwtest::Bytes& bytes) {
        const fs::path path = dir / name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path.string();
    }
    // The files of the folder whose names end in ext.
    std::vector<std::string> files(const std::string& ext = "") const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.size() >= ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0) out.push_back(n);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    fwtest::Bytes read(const std::string& name) const {
        const std::string text = ReadFile((dir / name).string());
        return fwtest::Bytes(text.begin(), text.end());
    }
    std::vector<uint8_t> bank(uint8_t b, size_t n) const {
        const auto& m = ctl->profile().paramBanks.at(b);
        return std::vector<uint8_t>(m.begin(), m.begin() + long(n));
    }
    uint16_t controllerCrc() {
        ParameterList lists{};
        EXPECT_EQ(GetAPBTParaList(h, &lists), 1);
        uint16_t crc = 0;
        EXPECT_EQ(GetParameterCRCEx(h, &lists, &crc), 1);
        return crc;
    }
    static std::string CrcText(uint16_t crc) {
        char t[8];
        std::snprintf(t, sizeof t, "%04X", unsigned(crc));
        return t;
    }
};

// The program's reading of a package: the format module under the program's
// rules, with the checksums of the exports the program binds.
qvfmt::FileError ProgramRead(const fwtest::Bytes& bytes, qvfmt::FirmwareFile* out) {
    qvfmt::SpanSource src(bytes);
    const qvfmt::ParameterCrcFn parameterCrc = [](int mode, uint16_t start, std::span<const uint8_t> touch,
                                                  std::span<const uint8_t> boot) {
        const uint32_t lengths[2] = {uint32_t(touch.size()), uint32_t(boot.size())};
        const uint8_t* const images[2] = {touch.data(), boot.data()};
        uint16_t crc = 0;
        return CalculateParameterCRCEx(mode, start, lengths, images, &crc) ? crc : uint16_t(~start);
    };
    const qvfmt::VirtualKeyCrcFn keyCrc = [](const qvfmt::VKeyTable& t) {
        VButtonTable table;
        std::memcpy(&table, &t, sizeof table);
        CalculateVirtualButtonCRC(&table);
        return table.crc;
    };
    return qvfmt::ReadFirmwareFile(src, qvfmt::Rules::Program, {}, parameterCrc, keyCrc, out);
}

TEST_F(CombineTest, PackageOfEveryKindLoadsInBothReadersWithTheControllersLists) {
    struct Case {
        const char* name;
        std::vector<fwtest::Image> images;  // file order
        bool slaves;
        const char* magic;
        size_t configAt;  // the configuration image's place in the file (images.size(): none)
        uint8_t generation = 0;  // the scan generation F9 FF 00 00 00 reports (0: refused)
    };
    fwtest::Image withBlock = Running();
    withBlock.flags = qvfmt::kFlagExtraBlock;
    withBlock.extra = {9, 8, 7};
    const fwtest::Image pnff = [] {
        fwtest::Image im = Running();
        im.magic = "PNFF";
        im.data = Pattern(48, 0x77);
        return im;
    }();
    const Case cases[] = {
        {"one image", {withBlock}, false, "PFPF", 1},
        // The first image has an extra block, the configuration image none: each
        // section header keeps its own.
        {"configuration image", {withBlock, Other("QVFF", 3, 0x51)}, true, "PFPC", 1},
        {"two images", {Running(), pnff}, false, "PXPF", 2},
        // A scan generation of 29 or above: diagnostic mode instead of scan off.
        {"four images", {Running(), pnff, Other("QVFF", 3, 0x51), Other("QVFF", 3, 0x52)}, true, "PXPC", 2, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibTest::SetUp();
        qvsim::ControllerProfile p = Profile(true, true, c.slaves);
        if (c.generation) p.capability = std::array<uint8_t, 4>{0, 0, 0, c.generation};
        makeHid(p);
        fs::remove_all(dir);
        fs::create_directories(dir);
        fwtest::Bytes source;
        for (const auto& im : c.images) fwtest::append(source, fwtest::image(im));
        const std::string path = write("fw.bin", source);
        qvlib::n4::FirmwareFileReader src;
        ASSERT_TRUE(src.Open(path));
        const int kind = src.Kind();
        src.Reset();

        uint8_t status = 0x77;
        ASSERT_EQ(CombinePFPA(h, path.c_str(), &status), 1);
        EXPECT_EQ(status, 0);
        const auto packages = files(".pfp");
        ASSERT_EQ(packages.size(), 1u);
        EXPECT_EQ(files().size(), 2u) << "only the source and the package";
        const fwtest::Bytes pkg = read(packages[0]);

        // The library's reader.
        qvlib::n4::FirmwareFileReader lib;
        ASSERT_TRUE(lib.Open((dir / packages[0]).string()));
        EXPECT_EQ(lib.Kind(), kind);
        EXPECT_TRUE(lib.IsPackage());
        EXPECT_TRUE(lib.ParaValid());
        EXPECT_TRUE(lib.HasVkey());
        EXPECT_EQ(lib.Para().touch, bank(0x80, 128));
        EXPECT_EQ(lib.Para().boot, bank(0x90, 64));
        EXPECT_EQ(lib.Para().flags, 3);
        EXPECT_EQ(lib.Vkey().table.usedCount, 3);
        EXPECT_EQ(lib.Vkey().storedCrc, qvsim::VirtualKeyCrc(ctl->profile()));

        // The program's reading.
        qvfmt::FirmwareFile file;
        ASSERT_EQ(ProgramRead(pkg, &file), qvfmt::FileError::None);
        EXPECT_EQ(file.kind.kind, kind);
        EXPECT_TRUE(file.tail.para);
        EXPECT_TRUE(file.tail.vkey);

        // The layout: the package magic, the controller's IC byte, the images'
        // own extra blocks and data, the configuration image under its slave's
        // build numbers and chip count.
        const auto laid = fwtest::readPackage(pkg);
        ASSERT_TRUE(laid);
        ASSERT_EQ(laid->images.size(), c.images.size());
        EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), c.magic);
        for (size_t i = 0; i < c.images.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& h32 = laid->images[i].header;
            ASSERT_EQ(h32.size(), 32u);
            EXPECT_EQ(h32[14], 19);
            EXPECT_EQ(laid->images[i].data, c.images[i].data);
            EXPECT_EQ(laid->images[i].extra, c.images[i].extra);
            EXPECT_EQ(fwtest::get16(h32, 16) & ~1, 0x0A);
            EXPECT_EQ(h32[20], i == c.configAt ? 2 : 3);
            EXPECT_EQ(h32[18], i == c.configAt ? 5 : c.images[i].build1);
            EXPECT_EQ(h32[19], i == c.configAt ? 6 : c.images[i].build2);
        }
        if (c.slaves) {
            // Scanning stopped (or diagnostic mode on), the first slave selected and
            // asked, the master back, scanning on again (or diagnostic mode off).
            const bool diag = c.generation >= 29;
            const std::vector<std::string> s = sent();
            const std::vector<std::string> expected = {
                "F9 FF 00 00 00",   diag ? "F9 FF 90 00 01" : "F0 00 00 00 00",
                "F4 00 00 00 01",   "ED 00 F0 00 00",
                "EF 00 00 00 00",   "F4 00 00 00 00",
                diag ? "F9 FF 90 00 00" : "F1 00 00 00 00"};
            auto at = s.begin();
            for (const auto& e : expected) {
                at = std::find(at, s.end(), e);
                EXPECT_NE(at, s.end()) << e;
            }
        }
    }
}

TEST_F(CombineTest, ParaCrcIsTheControllersAndNamesThePackage) {
    struct Case {
        const char* name;
        bool ownCrc, keys;
        uint8_t buildB;
        const char* firmwareName;
    };
    const Case cases[] = {
        // The controller's own CRC: the second variant, seeded with the table's CRC.
        {"own CRC, keys", true, true, 4, "QV6020A_D05_2_7_3_4_x"},
        // The CRC computed from the lists: the first variant from 0xFFFF.
        {"computed CRC, no keys", false, false, 4, "QV6020A_D05_2_7_3_4_x"},
        // A second build number of 0 is left out of the name.
        {"no second build number", true, true, 0, "QV6020A_D05_2_7_3_x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibTest::SetUp();
        qvsim::ControllerProfile p = Profile(c.ownCrc, c.keys, false);
        p.buildB = c.buildB;
        makeHid(p);
        fs::remove_all(dir);
        fs::create_directories(dir);
        fwtest::Image im = Running();
        im.build2 = c.buildB;
        const std::string path = write("fw.qvf", fwtest::image(im));

        ASSERT_EQ(CombinePFPA(h, path.c_str(), nullptr), 1);
        const uint16_t crc = controllerCrc();
        const auto packages = files(".pfp");
        ASSERT_EQ(packages.size(), 1u);
        EXPECT_EQ(packages[0], c.firmwareName + CrcText(crc) + ".pfp");
        const auto laid = fwtest::readPackage(read(packages[0]));
        ASSERT_TRUE(laid);
        EXPECT_EQ(laid->para.crc, crc);
        EXPECT_EQ(laid->vkey.has_value(), c.keys);
        EXPECT_EQ(laid->para.flags, c.ownCrc ? 3 : 1);
    }
}

TEST_F(CombineTest, ShortHeaderQvffSourceGivesAPfpfHeaderWithItsTailZeroed) {
    qvsim::ControllerProfile p = Profile(true, false, false);
    p.buildA = p.buildB = 0;  // an older header carries no build numbers
    makeHid(p);
    const std::string path = write("old.qvf", fwtest::image(Running(15)));
    ASSERT_EQ(CombinePFPA(h, path.c_str(), nullptr), 1);
    const auto packages = files(".pfp");
    ASSERT_EQ(packages.size(), 1u);
    const fwtest::Bytes pkg = read(packages[0]);
    ASSERT_GE(pkg.size(), 32u);
    const fwtest::Bytes expected = {'P', 'F', 'P', 'F'};
    EXPECT_EQ(fwtest::Bytes(pkg.begin(), pkg.begin() + 4), expected);
    EXPECT_EQ(pkg[14], 19);
    EXPECT_EQ(fwtest::get16(pkg, 16), 0x02);  // the package bit alone
    EXPECT_EQ(pkg[20], 3);                    // the controller's IC byte
    for (size_t i : {18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}) EXPECT_EQ(pkg[i], 0) << i;
    qvlib::n4::FirmwareFileReader lib;
    EXPECT_TRUE(lib.Open((dir / packages[0]).string()));
    EXPECT_TRUE(lib.ParaValid());
    qvfmt::FirmwareFile file;
    EXPECT_EQ(ProgramRead(pkg, &file), qvfmt::FileError::None);
}

TEST_F(CombineTest, ATakenNameGivesTheFirstFreeNumberedOne) {
    makeHid(Profile(true, true, false));
    const std::string path = write("fw.qvf", fwtest::image(Running()));
    const std::string base = "QV6020A_D05_2_7_3_4_x" + CrcText(controllerCrc());
    ASSERT_EQ(CombinePFPA(h, path.c_str(), nullptr), 1);
    ASSERT_EQ(CombinePFPA(h, path.c_str(), nullptr), 1);
    EXPECT_EQ(files(".pfp"), (std::vector<std::string>{base + "(1).pfp", base + ".pfp"}));
    EXPECT_EQ(read(base + "(1).pfp"), read(base + ".pfp"));
    // (2) taken by another file, (3) is next, and the other file is kept.
    write(base + "(2).pfp", {1, 2, 3});
    ASSERT_EQ(CombinePFPA(h, path.c_str(), nullptr), 1);
    EXPECT_EQ(read(base + "(3).pfp"), read(base + ".pfp"));
    EXPECT_EQ(read(base + "(2).pfp"), (fwtest::Bytes{1, 2, 3}));
}

TEST_F(CombineTest, BareFileNameWritesIntoTheWorkingDirectory) {
    makeHid(Profile(true, false, false));
    write("fw.qvf", fwtest::image(Running()));
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    QuorvaneN4_SetupSendCmdCallBack(SendCmd);
    const int result = QuorvaneN4_CombinePFPA(h, "fw.qvf", nullptr);
    fs::current_path(before);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(files(".pfp").size(), 1u);
}

TEST_F(CombineTest, ControllerThatDoesNotFitTheFileGivesItsCodeAndNoPackage) {
    struct Case {
        const char* name;
        int code;
        bool slaves;
        std::vector<fwtest::Image> images;
        std::function<void(qvsim::ControllerProfile&)> edit;
    };
    constexpr int kNoChipCount = 0xF000;
    fwtest::Image otherMinor = Running();
    otherMinor.minor = 8;
    fwtest::Image otherBuild = Running();
    otherBuild.build2 = 5;
    const auto none = [](qvsim::ControllerProfile&) {};
    const Case cases[] = {
        {"chip count not answered", kNoChipCount, false, {Running()}, none},
        {"configuration image, one chip", 0xF001, false, {Running(), Other("QVFF", 3, 0x51)}, none},
        {"no configuration image, three chips", 0xF002, true, {Running()}, none},
        {"boot loader runs", 0xF003, false, {Running()}, [](qvsim::ControllerProfile& p) { p.inBoot = true; }},
        {"minor version differs", 0xF004, false, {otherMinor}, none},
        {"letter differs", 0xF004, false, {Running()}, [](qvsim::ControllerProfile& p) { p.letter = 2; }},
        {"customer differs", 0xF004, false, {Running()}, [](qvsim::ControllerProfile& p) { p.customer = 6; }},
        {"older header, controller has build numbers", 0xF005, false, {Running(15)}, none},
        {"build numbers differ", 0xF006, false, {otherBuild}, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibTest::SetUp();
        qvsim::ControllerProfile p = Profile(true, true, c.slaves);
        c.edit(p);
        makeHid(p);
        fs::remove_all(dir);
        fs::create_directories(dir);
        fwtest::Bytes source;
        for (const auto& im : c.images) fwtest::append(source, fwtest::image(im));
        const std::string path = write("fw.bin", source);
        uint8_t status = 0x77;
        if (c.code == kNoChipCount) {
            // Only the combiner's own query, through its callback, goes unanswered.
            ASSERT_EQ(QuorvaneN4_SetupSendCmdCallBack(NoChipCount), 0);
            EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), c.code);
        } else {
            EXPECT_EQ(CombinePFPA(h, path.c_str(), &status), 0);
            EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), c.code);
        }
        EXPECT_EQ(status, 0x77);
        EXPECT_EQ(files(), std::vector<std::string>{"fw.bin"});
    }
}

TEST_F(CombineTest, RefusalsBeforeThePackageGiveTheirCodes) {
    makeHid(Profile(true, true, false));
    const std::string path = write("fw.qvf", fwtest::image(Running()));
    fwtest::Image broken = Running();
    broken.trailerDelta = 1;
    const std::string bad = write("bad.qvf", fwtest::image(broken));
    uint8_t status = 0x77;

    // No callback: nothing is asked.
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), 0xFF00);
    EXPECT_EQ(status, 0x77);
    EXPECT_TRUE(sent().empty());

    ASSERT_EQ(QuorvaneN4_SetupSendCmdCallBack(SendCmd), 0);
    for (const std::string& unreadable : {bad, (dir / "missing.qvf").string(), std::string()}) {
        status = 0x77;
        EXPECT_EQ(QuorvaneN4_CombinePFPA(h, unreadable.c_str(), &status), 0xFF01) << unreadable;
        EXPECT_EQ(status, 255);
    }
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, nullptr, &status), 0xFF01);
    EXPECT_TRUE(sent().empty());

    status = 0x77;
    EXPECT_EQ(QuorvaneN4_CombinePFPA(reinterpret_cast<HANDLE>(intptr_t(0x5151)), path.c_str(), &status), 0xFF02);
    ctl->refuse(0xEE, 1);
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), 0xFF02);
    ctl->refuse(qvsim::PacketPrefix({0xE0, 0x80, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), 0xFF03);
    ctl->clearFaults();
    ctl->refuse(qvsim::PacketPrefix::exact({0xE0, 0x00, 0xFA, 0x00, 0x00}));
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), &status), 0xFF04);
    ctl->clearFaults();
    EXPECT_EQ(status, 0x77);
    EXPECT_EQ(files(".pfp").size(), 0u);

    // The classic forms: an unknown handle, or a controller of another series.
    EXPECT_EQ(CombinePFPA(reinterpret_cast<HANDLE>(intptr_t(0x5151)), path.c_str(), &status), 0);
    qvlib::SlotRecord(h)->byQVOstraMelk = QV_SERIES_OSTRA;
    ctl->clearTrace();
    EXPECT_EQ(CombinePFPW(h, u"fw.qvf", &status), 0);
    EXPECT_TRUE(sent().empty());
    qvlib::SlotRecord(h)->byQVOstraMelk = QV_SERIES_CURRENT;

    // The wide form takes the same path.
    const std::u16string wide = qvlib::Utf8ToWide(path);
    EXPECT_EQ(CombinePFPW(h, wide.c_str(), &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(files(".pfp").size(), 1u);
}

TEST_F(CombineTest, FailureAfterThePackageWasCreatedLeavesNoPackage) {
    // The slave cannot be selected for the configuration image's header.
    makeHid(Profile(true, true, true));
    // Larger than the reader's buffer, so a cut reaches its reads.
    fwtest::Image large = Running();
    large.data = Pattern(0x10000, 0x41);
    fwtest::Bytes source = fwtest::image(large);
    fwtest::append(source, fwtest::image(Other("QVFF", 3, 0x51)));
    const std::string path = write("fw.qvc", source);
    ctl->refuse(qvsim::PacketPrefix::exact({0xF4, 0x00, 0x00, 0x00, 0x01}));
    ASSERT_EQ(QuorvaneN4_SetupSendCmdCallBack(SendCmd), 0);
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), nullptr), 0xF000);
    EXPECT_EQ(files(), std::vector<std::string>{"fw.qvc"});
    // Ten tries; the scan is back on afterwards.
    const auto s = sent();
    EXPECT_EQ(std::count(s.begin(), s.end(), "F4 00 00 00 01"), 10);
    EXPECT_EQ(s.back(), "F1 00 00 00 00");
    ctl->clearFaults();

    // The firmware file cut short once the package exists: it cannot be read again.
    g_cutOnKeys = path;
    ASSERT_EQ(QuorvaneN4_SetupSendCmdCallBack(CuttingSend), 0);
    EXPECT_EQ(QuorvaneN4_CombinePFPA(h, path.c_str(), nullptr), 0xFF06);
    EXPECT_EQ(files(), std::vector<std::string>{"fw.qvc"});
}

}  // namespace
}  // namespace qvtest
