// VCXMSet's reading of firmware files and packages: the loaded-file state,
// kinds, entries' texts, PARA and VKEY, the header messages, the open dialog,
// and the search for a controller's package.
#include "firmware_file_support.h"

#include "ui/file_chooser.h"

#include <cstring>
#include <functional>

namespace {

using namespace fwfiletest;

Image Pnff() {
    Image im;
    im.magic = "PNFF";
    im.minor = 6;
    im.data = Bytes(48, 0xC3);
    return im;
}

Bytes Two(Image a, Image b) {
    Bytes f = fwtest::image(a);
    fwtest::append(f, fwtest::image(b));
    return f;
}

struct Row {
    const char* name;
    std::function<Bytes()> file;
    bool loads;
    uint8_t kind = 0;                   // kind flags when it loads
    std::vector<const char*> texts = {};  // entries 0.. version texts when it loads
    bool para = false;
    int vkeyCount = -1;                 // usedCount of the loaded table; -1 none
};

TEST_F(FirmwareFileTest, ReaderTable) {
    const Row rows[] = {
        {"v19 image", [] { return fwtest::image(Image{}); }, true, 0x00, {"2081A.2.5"}},
        {"v15 complemented", [] {
             Image im;
             im.headerVersion = 15;
             return fwtest::image(im);
         }, true, 0x00, {"2081A.2.5"}},
        {"v15 plain sum", [] {
             Image im;
             im.headerVersion = 15;
             im.sum15Plain = true;
             return fwtest::image(im);
         }, false},
        {"QVFF + QVFF", [] {
             Image second;
             second.minor = 9;
             return Two(Image{}, second);
         }, true, 0x01, {"2081A.2.9", "2081A.2.5"}},
        {"QVFF + PNFF exact", [] { return Two(Image{}, Pnff()); }, true, 0x50, {"2081A.2.6", "2081A.2.5"}},
        {"QVFF + PNFF one byte short", [] {
             Bytes f = Two(Image{}, Pnff());
             f.pop_back();
             return f;
         }, false},
        {"PNFF build bytes", [] {
             Image im = Pnff();
             im.build1 = 3;
             im.build2 = 4;
             im.customer = 200;
             return fwtest::image(im);
         }, true, 0x10, {"2081A.A01.2.6.3.4"}},
        {"extra block", [] {
             Image im;
             im.flags = 1;
             im.extra = Bytes(12, 0xEE);
             return fwtest::image(im);
         }, true, 0x00, {"2081A.2.5"}},
        {"trailer off by one", [] {
             Image im;
             im.trailerDelta = 1;
             return fwtest::image(im);
         }, false},
        {"data size 0xFFFFFFF0", [] {
             Image im;
             im.dataSizeField = 0xFFFFFFF0u;
             return fwtest::image(im);
         }, false},
        {"v15 data size 0xFFFFFFF0", [] {
             Image im;
             im.headerVersion = 15;
             im.dataSizeField = 0xFFFFFFF0u;
             return fwtest::image(im);
         }, false},
        {"data size 0", [] {
             Image im;
             im.data.clear();
             return fwtest::image(im);
         }, false},
        {"PXPC entry 3 of another version", [] {
             Package p;
             p.magic = "PXPC";
             Image e3, e0 = Pnff(), e2 = Pnff();
             e3.minor = 8;
             p.images = {Image{}, e3, e0, e2};
             return package(p);
         }, false},
        {"PXPC", [] {
             Package p;
             p.magic = "PXPC";
             Image e3, e0 = Pnff(), e2 = Pnff();
             p.images = {Image{}, e3, e0, e2};
             return package(p);
         }, true, 0xD1, {"2081A.2.6", "2081A.2.5", "2081A.2.6", "2081A.2.5"}, true},
        {"PFPF", [] { return package({}); }, true, 0x00, {"2081A.2.5"}, true},
        {"PFPC", [] {
             Package p;
             p.magic = "PFPC";
             p.images = {Image{}, Pnff()};
             return package(p);
         }, true, 0x01, {"2081A.2.6", "2081A.2.5"}, true},
        {"PARA bad sum", [] {
             Package p;
             p.para.headerSumDelta = 1;
             return package(p);
         }, false},
        {"PARA flags 4", [] {
             Package p;
             p.para.flags = 4;
             return package(p);
         }, false},
        {"PARA CRC mismatch", [] {
             Package p;
             p.para.crc = 0x1234;
             p.keepParaCrc = true;
             return package(p);
         }, false},
        {"PARA CRC mode 1", [] {
             Package p;
             p.para.flags = 2;
             p.para.touch[61] = 0x55;
             p.para.boot[0] = 0x80;
             return package(p);
         }, true, 0x00, {"2081A.2.5"}, true},
        {"VKEY n = 3", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(3);
             return package(p);
         }, true, 0x00, {"2081A.2.5"}, true, 3},
        {"VKEY n = 15", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(15);
             return package(p);
         }, true, 0x00, {"2081A.2.5"}, true, 15},
        {"VKEY n = 16", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(16);
             return package(p);
         }, false},
        {"VKEY s = 13", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(3, 13);
             return package(p);
         }, false},
        {"VKEY with a PARA matching from 0xFFFF", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(3);
             p.seedFromVkey = false;
             return package(p);
         }, true, 0x00, {"2081A.2.5"}, true, 3},
        {"VKEY stored CRC unused", [] {
             Package p;
             p.vkey = fwtest::vkeyTable(3);
             p.vkey->crc = 0;
             return package(p);
         }, true, 0x00, {"2081A.2.5"}, true, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        boxes.clear();
        EXPECT_EQ(load(r.file()), r.loads);
        EXPECT_TRUE(boxes.empty());
        if (!r.loads) {
            EXPECT_EQ(fw.FirmwareFileKind, 0);
            EXPECT_EQ(fw.PfpPara.present, 0u);
            EXPECT_EQ(fw.pFirmwareData, nullptr);
            EXPECT_TRUE(fw.LoadedFirmware[0].versionText.isEmpty());
            continue;
        }
        EXPECT_EQ(fw.FirmwareFileKind, r.kind);
        for (size_t i = 0; i < 4; ++i) {
            const QString want = i < r.texts.size() ? QString::fromLatin1(r.texts[i]) : QString();
            EXPECT_EQ(fw.LoadedFirmware[i].versionText, want) << i;
            EXPECT_EQ(fw.SectionData[i].size(), size_t(fw.LoadedFirmware[i].dataSize)) << i;
        }
        EXPECT_EQ(fw.pFirmwareData, fw.SectionData[0].data());
        EXPECT_EQ(fw.PfpPara.present, r.para ? 1u : 0u);
        EXPECT_EQ(fw.PfpVKey.usedCount, r.vkeyCount < 0 ? 0 : r.vkeyCount);
        if (r.vkeyCount >= 0) {
            const auto entries = fwtest::vkeyEntries(r.vkeyCount, 12);
            for (int e = 0; e <= r.vkeyCount; ++e)
                EXPECT_EQ(Bytes(fw.PfpVKey.entry[e], fw.PfpVKey.entry[e] + 12), entries[size_t(e)]) << e;
            EXPECT_EQ(fw.PfpVKey.entrySize, 12);
            EXPECT_EQ(fw.PfpVKey.crc, fwtest::vkeyCrc(entries));
        }
    }
}

TEST_F(FirmwareFileTest, EntryFieldsDataAndPara) {
    Package p;
    Image im;
    im.product = 0x8000 | 2081;
    im.letter = 2;
    im.major = 3;
    im.minor = 4;
    im.customer = 250;
    im.flags = 0x01;
    im.extra = Bytes(8, 0x77);
    im.build1 = 5;
    im.build2 = 6;
    im.info = 2;
    im.byte21 = 0x21;
    im.byte22 = 0x52;
    im.data = Bytes(100, 0);
    for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 7);
    p.images = {im};
    p.para.touch = Bytes(130, 0x31);
    p.para.boot = Bytes(17, 0x42);
    ASSERT_TRUE(load(package(p)));
    const vcx::LoadedFirmwareSection& e = fw.LoadedFirmware[0];
    EXPECT_EQ(e.productNumber, 0x8000 | 2081);
    EXPECT_EQ(e.letter, 2);
    EXPECT_EQ(e.major, 3);
    EXPECT_EQ(e.series, 1);
    EXPECT_EQ(e.minor, 4);
    EXPECT_EQ(e.customer, 250);
    EXPECT_EQ(e.headerVersion, 19);
    EXPECT_EQ(e.dataSize, 100u);
    EXPECT_EQ(e.flags, 0x03);  // extra block, package
    EXPECT_EQ(e.build[0], 6);
    EXPECT_EQ(e.build[1], 5);
    EXPECT_EQ(e.info, 2);
    EXPECT_EQ(e.copied[0], 0x21);
    EXPECT_EQ(e.copied[1], 0x52);
    EXPECT_EQ(e.versionText, QStringLiteral("2081BS.T.3.4.5.6"));
    EXPECT_EQ(fw.SectionData[0], im.data);
    EXPECT_EQ(fw.SectionEnd[0], 32u + 12 + 100 + 4);
    EXPECT_EQ(fw.PfpPara.touchLength, 130);
    EXPECT_EQ(fw.PfpPara.bootLength, 17);
    EXPECT_EQ(fw.PfpPara.touch, p.para.touch);
    EXPECT_EQ(fw.PfpPara.boot, p.para.boot);
    EXPECT_EQ(vcx::FirmwareFile(fw), nullptr);  // closed after the load

    vcx::ClearFirmwareFileData(fw, true);
    EXPECT_EQ(fw.LoadedFirmware[0].dataSize, 0u);
    EXPECT_TRUE(fw.SectionData[0].empty());
    EXPECT_EQ(fw.PfpPara.present, 0u);
    EXPECT_TRUE(fw.PfpPara.touch.empty());
}

TEST_F(FirmwareFileTest, HeaderFlagsAbove15ShowTheMessage) {
    Image im;
    im.flags = 16;
    EXPECT_FALSE(load(fwtest::image(im)));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("This AP cannot support QVF header flag."));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(boxes[0].icon, qvui::MessageIcon::Error);
}

TEST_F(FirmwareFileTest, HeaderVersion20IsAskedOncePerLoad) {
    Image a, b;
    a.headerVersion = 20;
    b.headerVersion = 21;
    b.minor = 9;
    const Bytes file = Two(a, b);
    for (auto [reply, loads] : {std::pair{qvui::MessageAnswer::Yes, true}, std::pair{qvui::MessageAnswer::No, false}}) {
        boxes.clear();
        answer = reply;
        EXPECT_EQ(load(file), loads);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  QStringLiteral("This AP is only support Head Version under 19. Do you want to continue?"));
        EXPECT_EQ(boxes[0].caption, QStringLiteral("Warning"));
        EXPECT_EQ(boxes[0].buttons, qvui::MessageButtons::YesNo);
    }
    // Each load asks again.
    boxes.clear();
    answer = qvui::MessageAnswer::Yes;
    EXPECT_TRUE(load(file));
    EXPECT_TRUE(load(file));
    EXPECT_EQ(boxes.size(), 2u);
    // Unattended: No without a box.
    boxes.clear();
    fw.bFirmwareLoadSilent = true;
    EXPECT_FALSE(load(file));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FirmwareFileTest, KindOfAFileOneByteShortOfTwoImages) {
    Bytes f = Two(Image{}, Pnff());
    f.pop_back();
    const QString path = write(QStringLiteral("short.pxf"), f);
    vcx::SetFirmwareFile(fw, fopen(QFile::encodeName(path).constData(), "rb"));
    EXPECT_EQ(vcx::DetectFirmwareFileKind(fw), 3);
    EXPECT_EQ(fw.FirmwareFileKind, 0xD1);
    EXPECT_FALSE(vcx::LoadFirmwareFile(nullptr, c, fw));
    EXPECT_EQ(fw.FirmwareFileKind, 0);
}

TEST_F(FirmwareFileTest, PackagesOnlyRefusesAPlainImage) {
    EXPECT_FALSE(load(fwtest::image(Image{}), false));
    EXPECT_TRUE(fw.LoadedFirmware[0].versionText.isEmpty());
    EXPECT_TRUE(load(package({}), false));
}

TEST_F(FirmwareFileTest, VersionPlainSumMatchesTheIdentityButNotTheLoad) {
    Image im;
    im.headerVersion = 15;
    im.sum15Plain = true;
    im.letter = 1;
    im.customer = 5;
    im.product = 2081;
    const QString path = write(QStringLiteral("plain.qvf"), fwtest::image(im));
    EXPECT_TRUE(vcx::MatchFirmwareFileIdentity(path, (1u * 1000 + 5) * 10000 + 2081));
    EXPECT_FALSE(vcx::MatchFirmwareFileIdentity(path, (1u * 1000 + 6) * 10000 + 2081));
    fw.szFirmwarePath = path;
    EXPECT_FALSE(vcx::OpenFirmwareFile(nullptr, c, fw, false, true));
    // The complemented sum loads, and no longer matches the identity check.
    im.sum15Plain = false;
    const QString good = write(QStringLiteral("good.qvf"), fwtest::image(im));
    EXPECT_FALSE(vcx::MatchFirmwareFileIdentity(good, (1u * 1000 + 5) * 10000 + 2081));
    // Version 19, as every package writer sets it: both.
    im.headerVersion = 19;
    const QString v19 = write(QStringLiteral("v19.qvf"), fwtest::image(im));
    EXPECT_TRUE(vcx::MatchFirmwareFileIdentity(v19, (1u * 1000 + 5) * 10000 + 2081));
}

TEST_F(FirmwareFileTest, OpenDialogFiltersExtensionAndCancel) {
    write(QStringLiteral("pick.qvf"), fwtest::image(Image{}));
    std::vector<qvui::FileChooserRequest> asked;
    QString reply = dir.filePath(QStringLiteral("pick"));
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        asked.push_back(r);
        return reply;
    });
    vcx::programState().toolPaths[vcx::kFUQVFFolder] = dir.path() + QStringLiteral("/start");
    ASSERT_TRUE(vcx::OpenFirmwareFile(nullptr, c, fw, true, true));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].filter, QStringLiteral("Quorvane Firmware (*.qvc *.qvf *.pnc *.pnf *.pxc *.pxf *.pfp)"));
    EXPECT_EQ(asked[0].directory, dir.path() + QStringLiteral("/start"));
    EXPECT_EQ(fw.szFirmwarePath, dir.filePath(QStringLiteral("pick.qvf")));
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kFUQVFFolder], dir.path());

    // Cancel: the path and the loaded data stay.
    reply.clear();
    EXPECT_FALSE(vcx::OpenFirmwareFile(nullptr, c, fw, true, false));
    EXPECT_EQ(asked.back().filter, QStringLiteral("Quorvane Firmware (*.pfp)"));
    EXPECT_EQ(fw.szFirmwarePath, dir.filePath(QStringLiteral("pick.qvf")));
    EXPECT_EQ(fw.LoadedFirmware[0].versionText, QStringLiteral("2081A.2.5"));

    // A file that does not load clears everything; the folder is not taken.
    vcx::programState().toolPaths[vcx::kFUQVFFolder] = QStringLiteral("/elsewhere");
    reply = write(QStringLiteral("bad.qvf"), Bytes(40, 0));
    EXPECT_FALSE(vcx::OpenFirmwareFile(nullptr, c, fw, true, true));
    EXPECT_TRUE(fw.LoadedFirmware[0].versionText.isEmpty());
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kFUQVFFolder], QStringLiteral("/elsewhere"));
}

TEST_F(FirmwareFileTest, FindTakesTheFirstSortedPackageWithTheIdentityAndAValidPara) {
    Image mine;
    mine.letter = 1;
    mine.customer = 0;
    mine.product = 2081;
    const uint32_t code = (1u * 1000 + 0) * 10000 + 2081;
    Image other = mine;
    other.product = 2082;
    Package a;
    a.images = {other};
    Package bad;
    bad.images = {mine};
    bad.para.crc = 1;
    bad.keepParaCrc = true;
    Package good;
    good.images = {mine};
    good.images[0].data = Bytes(64, 0x01);
    Package later = good;
    later.images[0].data = Bytes(64, 0x02);
    write(QStringLiteral("a.pfp"), package(a));
    write(QStringLiteral("b.pfp"), package(bad));
    write(QStringLiteral("d.pfp"), package(later));
    write(QStringLiteral("c.pfp"), package(good));
    write(QStringLiteral("B.qvf"), fwtest::image(mine));  // not a package name
    EXPECT_TRUE(vcx::FindFirmwareFileInFolder(c, fw, false, code));
    EXPECT_EQ(fw.szFirmwarePath, dir.filePath(QStringLiteral("c.pfp")));
    EXPECT_EQ(fw.SectionData[0], Bytes(64, 0x01));
    EXPECT_FALSE(vcx::FindFirmwareFileInFolder(c, fw, false, code + 7));

    // In the program folder only when asked.
    QDir(dir.path()).remove(QStringLiteral("c.pfp"));
    QDir(dir.path()).remove(QStringLiteral("d.pfp"));
    const QString programCopy = vcx::programState().programFolder + QStringLiteral("p.pfp");
    QFile out(programCopy);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const Bytes g = package(good);
    out.write(reinterpret_cast<const char*>(g.data()), qint64(g.size()));
    out.close();
    EXPECT_FALSE(vcx::FindFirmwareFileInFolder(c, fw, false, code));
    EXPECT_TRUE(vcx::FindFirmwareFileInFolder(c, fw, true, code));
    EXPECT_EQ(fw.szFirmwarePath, programCopy);
}

TEST_F(FirmwareFileTest, OpenByNameTriesTheProgramFolderWhenAllowed) {
    const Bytes pkg = package({});
    QFile out(vcx::programState().programFolder + QStringLiteral("named.pfp"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(pkg.data()), qint64(pkg.size()));
    out.close();
    EXPECT_FALSE(vcx::OpenFirmwareFileByName(c, fw, QStringLiteral("named.pfp"), false));
    EXPECT_TRUE(vcx::OpenFirmwareFileByName(c, fw, QStringLiteral("named.pfp"), true));
    write(QStringLiteral("named.pfp"), pkg);
    EXPECT_TRUE(vcx::OpenFirmwareFileByName(c, fw, QStringLiteral("named.pfp"), false));
    EXPECT_EQ(fw.szFirmwarePath, dir.path() + QStringLiteral("/named.pfp"));
}

TEST_F(FirmwareFileTest, ControllerIdentityCode) {
    FirmwareInformationW info{};
    info.productLetter = 1;
    info.customerCode = 5;
    info.productNumber = 2081;
    EXPECT_EQ(vcx::FirmwareIdentityCode(info), 10052081u);
    EXPECT_EQ(vcx::FirmwareIdentityCode(1, 5, 2081), 10052081u);
}

}  // namespace
