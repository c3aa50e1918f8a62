// The expand-panel files: their bytes (checked against a CRC computed here by
// long division), the catalogue's checks, and Export External Panel on the
// full controller.
#include "params/expand_panel.h"
#include "params/panel_dlg.h"
#include "params_page_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::PageBench;

// The remainder of [16 bits of 0xFFFF][message bits] divided by x^16 + 0x1021:
// what the file's CRC register holds after the message (with its two zero bytes).
uint16_t crcByDivision(const std::vector<uint8_t>& message) {
    std::vector<int> bits;
    for (int i = 15; i >= 0; --i) bits.push_back((0xFFFF >> i) & 1);
    for (uint8_t b : message)
        for (int i = 7; i >= 0; --i) bits.push_back((b >> i) & 1);
    for (size_t i = 0; i + 16 < bits.size(); ++i) {
        if (!bits[i]) continue;
        bits[i] = 0;
        for (int k = 0; k < 16; ++k) bits[i + 1 + size_t(k)] ^= (0x1021 >> (15 - k)) & 1;
    }
    uint16_t r = 0;
    for (size_t i = bits.size() - 16; i < bits.size(); ++i) r = uint16_t((r << 1) | bits[i]);
    return r;
}

std::vector<uint8_t> para(uint8_t t, uint8_t b, uint8_t fill) {
    std::vector<uint8_t> touch(t, fill), boot(b, uint8_t(fill + 1));
    std::vector<uint8_t> out = {'P', 'A', 'R', 'A', t, b, 2, 0};
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i) sum += out[size_t(i)];
    out[7] = uint8_t(~sum);
    out.insert(out.end(), touch.begin(), touch.end());
    out.insert(out.end(), boot.begin(), boot.end());
    out.push_back(0x34);
    out.push_back(0x12);
    return out;
}

std::vector<uint8_t> file(uint8_t index, uint8_t t = 60, uint8_t b = 12) {
    const auto header = vcx::ExpandPanelHeader(2081, {1, 2, 3, 4, 5, 6}, index);
    return vcx::ExpandPanelFileBytes(header, para(t, b, 0x11));
}

TEST(ExpandPanelFile, BytesHeaderAndTrailerAsTheFormatLaysThemOut) {
    const auto h = vcx::ExpandPanelHeader(0x0821, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}, 0x83);
    const std::array<uint8_t, 15> head = {'E', 'P', 'H', 'D', 0x21, 0x08, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x83, 0x00, 0x20};
    unsigned sum = 0;
    for (size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(h[i], head[i]) << i;
        sum += head[i];
    }
    EXPECT_EQ(h[15], uint8_t(~sum));
    // The identity bytes come from firmware-information offsets 6, 12, 8, 13, 11, 10.
    uint8_t fw[16];
    for (int i = 0; i < 16; ++i) fw[i] = uint8_t(0x40 + i);
    EXPECT_EQ(vcx::ExpandPanelIdentity(fw), (std::array<uint8_t, 6>{0x46, 0x4C, 0x48, 0x4D, 0x4B, 0x4A}));

    const auto bytes = file(0x81);
    ASSERT_EQ(bytes.size(), 28u + 60 + 12);
    std::vector<uint8_t> zeroed(bytes.begin(), bytes.end() - 2);
    zeroed.push_back(0);
    zeroed.push_back(0);
    const uint16_t crc = crcByDivision(zeroed);
    EXPECT_EQ(bytes[bytes.size() - 2], crc & 0xFF);
    EXPECT_EQ(bytes[bytes.size() - 1], crc >> 8);
    EXPECT_EQ(vcx::ExpandPanelCrc(zeroed), crc);
    EXPECT_EQ(crcByDivision({}), vcx::ExpandPanelCrc({}));
}

TEST(ExpandPanelFile, OnlyAWholeCheckedFileIsTaken) {
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> spoil;
        bool taken;
    };
    const Case cases[] = {
        {"valid", [](auto&) {}, true},
        {"short", [](auto& b) { b.pop_back(); }, false},
        {"longer", [](auto& b) { b.push_back(0); }, false},
        {"tiny", [](auto& b) { b.resize(10); }, false},
        {"empty", [](auto& b) { b.clear(); }, false},
        {"magic", [](auto& b) { b[1] = 'Q'; }, false},
        {"header sum", [](auto& b) { b[15] ^= 1; }, false},
        {"version", [](auto& b) { b[14] = 0x30; b[15] = uint8_t(b[15] - 0x10); }, false},
        {"para magic", [](auto& b) { b[17] = 'B'; }, false},
        {"para sum", [](auto& b) { b[23] ^= 0x80; }, false},
        {"trailer", [](auto& b) { b.back() ^= 1; }, false},
        {"list byte", [](auto& b) { b[40] ^= 1; }, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        auto bytes = file(0x85);
        k.spoil(bytes);
        const auto f = vcx::ParseExpandPanelFile(bytes);
        ASSERT_EQ(f.has_value(), k.taken);
        if (f) {
            EXPECT_EQ(f->index, 0x85);
            EXPECT_EQ(f->product, 2081);
            EXPECT_FALSE(f->hasDescription);  // a 60-byte touch list ends before offset 152
        }
    }
    // With a touch list reaching past offset 164 the description is read.
    auto big = file(0x86, 140, 12);
    for (int i = 0; i < 12; ++i) big[152 + size_t(i)] = uint8_t('A' + i);
    std::vector<uint8_t> zeroed(big.begin(), big.end() - 2);
    zeroed.insert(zeroed.end(), {0, 0});
    const uint16_t crc = vcx::ExpandPanelCrc(zeroed);
    big[big.size() - 2] = uint8_t(crc);
    big[big.size() - 1] = uint8_t(crc >> 8);
    const auto f = vcx::ParseExpandPanelFile(big);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->hasDescription);
    EXPECT_EQ(f->description[0], 'A');
    EXPECT_EQ(f->description[11], 'L');
}

TEST(ExpandPanelFile, DescriptionTextsAndSafeFileNames) {
    const std::array<uint8_t, 12> d = {'P', 'N', 'L', '1', '5', 0, 0, 0, 0x15, 0x61, 0x11, 'G'};
    EXPECT_EQ(vcx::PanelDisplayName(d), "PNL15    15.6 (W)");
    EXPECT_EQ(vcx::PanelLensText(d), "1.1 mm Glass");
    EXPECT_EQ(vcx::PanelFileName(d), "PNL15____1_1_mm_Glass");
    std::array<uint8_t, 12> bad = {'.', '.', '/', '\\', 0x01, 0xE9, 'a', ' ', 0x21, 0x30, 0x23, 'p'};
    EXPECT_EQ(vcx::PanelDisplayName(bad).right(5), " 21.3");
    EXPECT_EQ(vcx::PanelLensText(bad), "2.3 mm Polymer");
    const QString name = vcx::PanelFileName(bad);
    EXPECT_EQ(name, "______a _2_3_mm_Polymer");
    EXPECT_FALSE(name.contains('/'));
    bad[11] = 'a';
    EXPECT_EQ(vcx::PanelLensText(bad), "2.3 mm Filma");
    bad[11] = 'X';
    EXPECT_EQ(vcx::PanelLensText(bad), "2.3 mm");
    EXPECT_TRUE(vcx::PanelFileName(bad).endsWith("_Film"));
}

void writeFile(const QString& path, const std::vector<uint8_t>& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

TEST(ExpandPanelCatalogue, ListsTheFirstValidFileOfEachIndex) {
    QTemporaryDir dir;
    auto shortFile = file(0x83);
    shortFile.pop_back();
    auto badMagic = file(0x84);
    badMagic[0] = 'X';
    auto badSum = file(0x85);
    badSum[15] ^= 0xFF;
    auto badTrailer = file(0x86);
    badTrailer[badTrailer.size() - 2] ^= 1;
    writeFile(dir.filePath("a.ppl"), file(0x81));
    writeFile(dir.filePath("b.ppl"), file(0x81, 61));  // the same index again
    writeFile(dir.filePath("c.ppl"), shortFile);
    writeFile(dir.filePath("d.ppl"), badMagic);
    writeFile(dir.filePath("e.ppl"), badSum);
    writeFile(dir.filePath("f.ppl"), badTrailer);
    writeFile(dir.filePath("g.txt"), file(0x87));
    const auto catalogue = vcx::ReadExpandPanelCatalogue(dir.path());
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_TRUE(catalogue.at(0x81).path.endsWith("a.ppl"));
    EXPECT_EQ(vcx::NextFreePanelIndex(catalogue, 0x81), 0x82);
    EXPECT_EQ(vcx::NextFreePanelIndex(catalogue, 0x80), 0x80);
    EXPECT_EQ(vcx::NextFreePanelIndex(catalogue, 0xFF), 0xFF);
    vcx::ExpandPanelCatalogue full;
    for (int i = 0x80; i <= 0xFF; ++i) full[uint8_t(i)] = {};
    EXPECT_EQ(vcx::NextFreePanelIndex(full, 0x81), -1);
    EXPECT_TRUE(vcx::ReadExpandPanelCatalogue(dir.filePath("missing")).empty());
}

class ExportPanel : public PageBench {
protected:
    void SetUp() override {
        PageBench::SetUp();
        ASSERT_TRUE(dir.isValid());
        saved = vcx::programState().programFolder;
        vcx::programState().programFolder = dir.path() + "/";
    }
    void TearDown() override {
        vcx::programState().programFolder = saved;
        PageBench::TearDown();
    }
    std::vector<uint8_t> read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        return std::vector<uint8_t>(b.begin(), b.end());
    }
    QTemporaryDir dir;
    QString saved;
};

TEST_F(ExportPanel, WritesTheNextIndexIntoCopiesOfTheListsAndTheCatalogueListsIt) {
    Boxes boxes;
    QString path;
    ASSERT_EQ(vcx::ExportExternalPanel(c, nullptr, &path), vcx::ExportPanelResult::Written);
    EXPECT_TRUE(boxes.asked.empty());
    EXPECT_TRUE(path.startsWith(vcx::ExpandPanelFolder(c) + "/QV"));
    EXPECT_TRUE(path.endsWith(".ppl"));
    const ParameterList& lists = c.records.paraList;
    const std::vector<uint8_t> bytes = read(path);
    const size_t t = lists.touchLength, b = lists.bootLength;
    ASSERT_EQ(bytes.size(), 28 + t + b);
    // Header: the product, the identity bytes of the firmware information, index 0x81
    // (panel item 0 maximum 1 | 0x80).
    const auto* fw = reinterpret_cast<const uint8_t*>(&c.records.fwInformation);
    const std::vector<uint8_t> head = {'E', 'P', 'H', 'D', uint8_t(c.records.fwInformation.productNumber),
                                       uint8_t(c.records.fwInformation.productNumber >> 8),
                                       fw[6], fw[12], fw[8], fw[13], fw[11], fw[10], 0x81, 0x00, 0x20};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 15), head);
    // PARA: the lists with the index at touch 58/59 and boot 10/11, the rest as the controller has it.
    EXPECT_EQ(bytes[16], 'P');
    EXPECT_EQ(bytes[20], t);
    EXPECT_EQ(bytes[21], b);
    for (size_t i = 0; i < t; ++i)
        EXPECT_EQ(bytes[24 + i], i == 58 ? 0x81 : i == 59 ? 0xFF : lists.touchList[i]) << "touch " << i;
    for (size_t i = 0; i < b; ++i)
        EXPECT_EQ(bytes[24 + t + i], i == 10 ? 0x81 : i == 11 ? 0xFF : lists.bootList[i]) << "boot " << i;
    // The library's own lists were not touched.
    EXPECT_NE(lists.touchList[58], 0x81);
    // The trailer, computed here.
    std::vector<uint8_t> zeroed(bytes.begin(), bytes.end() - 2);
    zeroed.insert(zeroed.end(), {0, 0});
    const uint16_t crc = crcByDivision(zeroed);
    EXPECT_EQ(bytes[bytes.size() - 2] | bytes[bytes.size() - 1] << 8, crc);
    // The PARA CRC is the parameter CRC of the copies in the flags' mode, from 0xFFFF.
    const uint8_t flags = bytes[22];
    std::vector<uint8_t> touch(bytes.begin() + 24, bytes.begin() + 24 + long(t));
    std::vector<uint8_t> boot(bytes.begin() + 24 + long(t), bytes.begin() + 24 + long(t + b));
    const uint32_t lengths[2] = {uint32_t(t), uint32_t(b)};
    const uint8_t* const images[2] = {touch.data(), boot.data()};
    uint16_t paraCrc = 0;
    ASSERT_TRUE(CalculateParameterCRCEx((flags >> 1) & 1, 0xFFFF, lengths, images, &paraCrc));
    EXPECT_EQ(bytes[24 + t + b] | bytes[25 + t + b] << 8, paraCrc);

    const auto catalogue = vcx::ReadExpandPanelCatalogue(vcx::ExpandPanelFolder(c));
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(catalogue.begin()->first, 0x81);
    // A second export of the same panel takes the next index in a file of its own.
    QString second;
    ASSERT_EQ(vcx::ExportExternalPanel(c, nullptr, &second), vcx::ExportPanelResult::Written);
    EXPECT_NE(second, path);
    EXPECT_EQ(read(second)[12], 0x82);
    EXPECT_TRUE(second.endsWith("_82.ppl"));
    EXPECT_EQ(read(path)[12], 0x81);
    EXPECT_EQ(vcx::ReadExpandPanelCatalogue(vcx::ExpandPanelFolder(c)).size(), 2u);
    // The panel page reads the catalogue when it loads.
    vcx::CQVxF6PanelDlg page(c, nullptr);
    page.LoadDlgItem();
    EXPECT_EQ(page.catalogue().size(), 2u);
}

TEST_F(ExportPanel, RefusesShortListsAndAFullCatalogueWithAMessageAndNoFile) {
    const QString folder = vcx::ExpandPanelFolder(c);
    ASSERT_TRUE(QDir().mkpath(folder));
    for (int i = 0x81; i <= 0xFF; ++i) writeFile(QString("%1/taken%2.ppl").arg(folder).arg(i), file(uint8_t(i)));
    {
        Boxes boxes;
        EXPECT_EQ(vcx::ExportExternalPanel(c, nullptr), vcx::ExportPanelResult::NoFreeIndex);
        EXPECT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(QDir(folder).entryList({"*.ppl"}).size(), 0xFF - 0x81 + 1);
    }
    // A touch list under 60 bytes (or a boot list under 12) is refused.
    ASSERT_EQ(vcx::ExportExternalPanel(c, nullptr), vcx::ExportPanelResult::NoFreeIndex);  // reads the lists
    ParameterList& lists = c.records.paraList;
    const ParameterList kept = lists;
    for (auto shorten : {std::function<void()>([&] { lists.touchLength = 59; }),
                         std::function<void()>([&] { lists.bootLength = 11; })}) {
        shorten();
        Boxes boxes;
        EXPECT_EQ(vcx::ExportExternalPanel(c, nullptr), vcx::ExportPanelResult::ListsTooShort);
        EXPECT_EQ(boxes.asked.size(), 1u);
        lists = kept;
    }
}

}  // namespace

namespace {

TEST_F(ExportPanel, TheLibrarysListsStayAsTheyWereSoTheNextListWriteSendsNothing) {
    c.dev.listsRead = c.api.GetAPBTParaList(c.dev.device, &c.records.paraList) != 0;
    ASSERT_TRUE(c.dev.listsRead);
    const ParameterList& lists = c.records.paraList;
    const std::vector<uint8_t> touch(lists.touchList, lists.touchList + lists.touchLength);
    const std::vector<uint8_t> boot(lists.bootList, lists.bootList + lists.bootLength);
    ASSERT_EQ(vcx::ExportExternalPanel(c, nullptr), vcx::ExportPanelResult::Written);
    EXPECT_EQ(std::vector<uint8_t>(lists.touchList, lists.touchList + lists.touchLength), touch);
    EXPECT_EQ(std::vector<uint8_t>(lists.bootList, lists.bootList + lists.bootLength), boot);
    // A later write of the program's lists (an import, an update) sends no byte of the export.
    ctl().clearTrace();
    ASSERT_TRUE(SetAPBTParaList(c.dev.device, &c.records.paraList));
    EXPECT_TRUE(sentWith("E1").empty());
}

}  // namespace
