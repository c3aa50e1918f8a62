// Reading images and packages under both rule sets: kinds, section walk,
// header checks, data trailers, PARA and VKEY, over files the test writer built.
#include "format_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using fwtest::Bytes;
using fwtest::Image;
using qvfmt::FileError;
using qvfmt::Rules;

Image pnff() {
    Image im;
    im.magic = "PNFF";
    im.data = Bytes(48, 0xC3);
    return im;
}

Bytes twoImages(Image a, Image b) {
    Bytes f = fwtest::image(a);
    fwtest::append(f, fwtest::image(b));
    return f;
}

// A package of one image: package header, the image's body, PARA, optional VKEY.
struct PackageParts {
    Image image;
    fwtest::Para para;
    std::optional<fwtest::Vkey> vkey;
    bool seedParaFromVkey = false;  // PARA CRC computed from the table's CRC
};

Bytes package(PackageParts s) {
    s.image.magic = "PFPF";
    if (s.vkey) s.image.flags |= 0x08;
    s.image.flags |= 0x02;
    uint16_t start = 0xFFFF;
    if (s.vkey && s.seedParaFromVkey) start = fwtest::vkeyCrc(s.vkey->entries);
    if (s.para.crc == 0) s.para.crc = fwtest::parameterCrc((s.para.flags >> 1) & 1, start, s.para.touch, s.para.boot);
    Bytes f = fwtest::image(s.image);
    fwtest::append(f, fwtest::para(s.para));
    if (s.vkey) fwtest::append(f, fwtest::vkey(*s.vkey));
    return f;
}

struct Expect {
    FileError error;
    int kind = -1;
    uint8_t flags = 0;
};

struct Row {
    const char* name;
    std::function<Bytes()> file;
    Expect program, library;
};

Bytes fourImages(bool mismatch) {
    Image e1;  // configuration images 1 and 3 share a version, as do images 0 and 2
    e1.magic = "PXPC";
    e1.minor = 7;
    Image e3 = e1;
    e3.magic = "QVFF";
    if (mismatch) e3.minor = 8;
    Image e0 = pnff();
    Image e2 = e0;
    Bytes f = fwtest::image(e1);
    fwtest::append(f, fwtest::image(e3));
    fwtest::append(f, fwtest::image(e0));
    fwtest::append(f, fwtest::image(e2));
    fwtest::Para p;
    p.crc = fwtest::parameterCrc(0, 0xFFFF, p.touch, p.boot);
    fwtest::append(f, fwtest::para(p));
    return f;
}

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"v19 image", [] { return fwtest::image(Image{}); }, {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"PNFF image", [] { return fwtest::image(pnff()); }, {FileError::None, 0, 0x10}, {FileError::None, 0, 0x10}},
        {"v15 complemented sum",
         [] {
             Image im;
             im.headerVersion = 15;
             return fwtest::image(im);
         },
         {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"v15 plain sum",
         [] {
             Image im;
             im.headerVersion = 15;
             im.sum15Plain = true;
             return fwtest::image(im);
         },
         {FileError::Header, 0, 0}, {FileError::Header, 0, 0}},
        {"v19 complemented byte 15",
         [] {
             Image im;
             im.sum15Complemented = true;
             return fwtest::image(im);
         },
         {FileError::Header, 0, 0}, {FileError::Header, 0, 0}},
        {"byte 31 off",
         [] {
             Image im;
             im.sum31Delta = 1;
             return fwtest::image(im);
         },
         {FileError::Header, 0, 0}, {FileError::Header, 0, 0}},
        {"flags 16",
         [] {
             Image im;
             im.flags = 16;
             return fwtest::image(im);
         },
         {FileError::Header, 0, 0}, {FileError::Header, 0, 0}},
        {"QVFF + QVFF", [] { return twoImages(Image{}, Image{}); }, {FileError::None, 1, 0x01}, {FileError::None, 1, 0x01}},
        {"QVFF + PNFF exact", [] { return twoImages(Image{}, pnff()); }, {FileError::None, 2, 0x50},
         {FileError::None, 2, 0x50}},
        {"QVFF + PNFF one byte short",
         [] {
             Bytes f = twoImages(Image{}, pnff());
             f.pop_back();
             return f;
         },
         {FileError::PastEnd, 3, 0xD1}, {FileError::Kind}},
        {"QVFF + PNFF one byte more",
         [] {
             Bytes f = twoImages(Image{}, pnff());
             f.push_back(0);
             return f;
         },
         {FileError::PastEnd, 3, 0xD1}, {FileError::PastEnd, 3, 0xD1}},
        {"PXPC four images", [] { return fourImages(false); }, {FileError::None, 3, 0xD1}, {FileError::None, 3, 0xD1}},
        {"PXPC entry 3 of another version", [] { return fourImages(true); }, {FileError::VersionMismatch, 3, 0xD1},
         {FileError::VersionMismatch, 3, 0xD1}},
        {"extra block",
         [] {
             Image im;
             im.flags = 1;
             im.extra = Bytes(10, 0xEE);
             return fwtest::image(im);
         },
         {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"trailer off by one",
         [] {
             Image im;
             im.trailerDelta = 1;
             return fwtest::image(im);
         },
         {FileError::Checksum, 0, 0}, {FileError::Checksum, 0, 0}},
        {"v19 data size 0xFFFFFFF0",
         [] {
             Image im;
             im.dataSizeField = 0xFFFFFFF0u;
             return fwtest::image(im);
         },
         {FileError::Kind}, {FileError::Kind}},
        {"v15 data size 0xFFFFFFF0",
         [] {
             Image im;
             im.headerVersion = 15;
             im.dataSizeField = 0xFFFFFFF0u;
             return fwtest::image(im);
         },
         {FileError::PastEnd, 1, 0x01}, {FileError::Kind}},
        {"data size 0",
         [] {
             Image im;
             im.data.clear();
             return fwtest::image(im);
         },
         {FileError::EmptySection, 0, 0}, {FileError::EmptySection, 0, 0}},
        {"v19 file shorter than its image",
         [] {
             Bytes f = fwtest::image(Image{});
             f.resize(f.size() - 3);
             return f;
         },
         {FileError::Kind}, {FileError::Kind}},
        {"v15 file shorter than its image",
         [] {
             Image im;
             im.headerVersion = 15;
             Bytes f = fwtest::image(im);
             f.resize(f.size() - 3);
             return f;
         },
         {FileError::PastEnd, 1, 0x01}, {FileError::Kind}},
        {"lower-case magic",
         [] {
             Image im;
             im.magic = "qvff";
             return fwtest::image(im);
         },
         {FileError::Kind}, {FileError::None, 0, 0}},
        {"unknown magic",
         [] {
             Image im;
             im.magic = "QVXF";
             return fwtest::image(im);
         },
         {FileError::Kind}, {FileError::Kind}},
        {"header cut short", [] { return Bytes(20, 'Q'); }, {FileError::Kind}, {FileError::Kind}},
        {"PFPF with PARA", [] { return package({}); }, {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"PARA header sum off",
         [] {
             PackageParts s;
             s.para.headerSumDelta = 1;
             return package(s);
         },
         {FileError::Para, 0, 0}, {FileError::Para, 0, 0}},
        {"PARA flags 4",
         [] {
             PackageParts s;
             s.para.flags = 4;
             return package(s);
         },
         {FileError::Para, 0, 0}, {FileError::Para, 0, 0}},
        {"PARA CRC mismatch",
         [] {
             PackageParts s;
             s.para.crc = 0x1234;
             return package(s);
         },
         {FileError::ParaCrc, 0, 0}, {FileError::ParaCrc, 0, 0}},
        {"PARA cut short",
         [] {
             Bytes f = package({});
             f.pop_back();
             return f;
         },
         {FileError::Para, 0, 0}, {FileError::Para, 0, 0}},
        {"VKEY n = 3 seeding PARA",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 12);
             s.seedParaFromVkey = true;
             return package(s);
         },
         {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"VKEY with a PARA matching from 0xFFFF",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 12);
             return package(s);
         },
         {FileError::None, 0, 0}, {FileError::None, 0, 0}},
        {"VKEY n = 16",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(16, 12);
             return package(s);
         },
         {FileError::VkeyTooLarge, 0, 0}, {FileError::VkeyTooLarge, 0, 0}},
        {"VKEY s = 13",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 13);
             return package(s);
         },
         {FileError::VkeyTooLarge, 0, 0}, {FileError::VkeyTooLarge, 0, 0}},
        {"VKEY s = 0",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 0);
             return package(s);
         },
         {FileError::VkeyTooLarge, 0, 0}, {FileError::VkeyTooLarge, 0, 0}},
        {"VKEY format 3",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 12);
             s.vkey->format = 3;
             return package(s);
         },
         {FileError::Vkey, 0, 0}, {FileError::Vkey, 0, 0}},
        {"VKEY entries cut short",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 12);
             s.vkey->entries.pop_back();
             return package(s);
         },
         {FileError::Vkey, 0, 0}, {FileError::Vkey, 0, 0}},
        {"VKEY stored CRC off",
         [] {
             PackageParts s;
             s.vkey = fwtest::vkeyTable(3, 12);
             s.seedParaFromVkey = true;
             s.vkey->crc ^= 1;
             return package(s);
         },
         {FileError::None, 0, 0}, {FileError::VkeyCrc, 0, 0}},
    };
    return table;
}

void check(const Row& row, Rules rules, const Expect& want) {
    SCOPED_TRACE(std::string(row.name) + (rules == Rules::Program ? " (program)" : " (library)"));
    const Bytes file = row.file();
    qvfmt::SpanSource src(file);
    const qvfmt::Kind kind = qvfmt::DetectKind(src, rules);
    EXPECT_EQ(kind.kind, want.kind);
    if (want.kind >= 0) {
        EXPECT_EQ(kind.flags, want.flags);
    }
    qvfmt::FirmwareFile f;
    EXPECT_EQ(qvfmt::FileErrorName(fmttest::read(file, rules, &f)), qvfmt::FileErrorName(want.error));
}

TEST(FormatReader, TableUnderBothRuleSets) {
    for (const Row& row : rows()) {
        check(row, Rules::Program, row.program);
        check(row, Rules::Library, row.library);
    }
}

TEST(FormatReader, LoadedDataAndSectionsAreTheImagesBytes) {
    Image e1;
    e1.data = Bytes(40, 0x31);
    e1.flags = 1;
    e1.extra = Bytes(6, 0xEE);
    Image e0 = e1;
    e0.flags = 0;
    e0.data = Bytes(24, 0x30);
    const Bytes file = twoImages(e1, e0);
    qvfmt::FirmwareFile f;
    ASSERT_EQ(fmttest::read(file, Rules::Program, &f), FileError::None);
    ASSERT_EQ(f.sections.size(), 2u);
    EXPECT_EQ(f.sections[0].entry, 1);
    EXPECT_EQ(f.sections[0].extraLength, 10u);
    EXPECT_EQ(f.sections[0].end, 32u + 10 + 40 + 4);
    EXPECT_EQ(f.sections[1].entry, 0);
    EXPECT_EQ(f.sections[1].offset, f.sections[0].end);
    EXPECT_EQ(f.sections[1].end, file.size());
    EXPECT_EQ(f.data[1], e1.data);
    EXPECT_EQ(f.data[0], e0.data);
    EXPECT_FALSE(f.package);
}

TEST(FormatReader, VkeyEntriesAndParaListsAreRead) {
    PackageParts s;
    s.vkey = fwtest::vkeyTable(3, 12);
    s.seedParaFromVkey = true;
    s.para.flags = 2;  // mode 1: touch byte 61 counts
    s.para.touch[61] = 0x77;
    const Bytes file = package(s);
    for (Rules rules : {Rules::Program, Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(fmttest::read(file, rules, &f), FileError::None);
        ASSERT_TRUE(f.tail.para && f.tail.vkey);
        EXPECT_EQ(f.tail.paraSection.touch, s.para.touch);
        EXPECT_EQ(f.tail.paraSection.boot, s.para.boot);
        EXPECT_EQ(f.tail.paraSection.flags, 2);
        const qvfmt::VKeyTable& t = f.tail.vkeySection.table;
        EXPECT_EQ(t.usedCount, 3);
        EXPECT_EQ(t.entrySize, 12);
        for (int e = 0; e < 4; ++e) EXPECT_EQ(Bytes(t.entry[e], t.entry[e] + 12), s.vkey->entries[size_t(e)]) << e;
        EXPECT_EQ(Bytes(t.entry[4], t.entry[4] + 12), Bytes(12, 0));
        EXPECT_EQ(f.tail.vkeyCrc, s.vkey->crc);
    }
}

TEST(FormatReader, ParaCrcModeFollowsFlagBit1) {
    // Written with mode 1 (byte 61 counts) but flagged mode 0: the reader clears
    // byte 61, so the CRC no longer matches.
    PackageParts s;
    s.para.touch[61] = 0x77;
    s.para.crc = fwtest::parameterCrc(1, 0xFFFF, s.para.touch, s.para.boot);
    qvfmt::FirmwareFile f;
    EXPECT_EQ(fmttest::read(package(s), Rules::Program, &f), FileError::ParaCrc);
    s.para.flags = 2;
    EXPECT_EQ(fmttest::read(package(s), Rules::Program, &f), FileError::None);
}

// A source that records the largest read it was asked for: nothing sized from
// the file's fields may be read or allocated before it is known to fit.
class CountingSource : public qvfmt::SpanSource {
public:
    using SpanSource::SpanSource;
    bool read(uint64_t offset, void* out, size_t n) override {
        largest = std::max(largest, n);
        return SpanSource::read(offset, out, n);
    }
    size_t largest = 0;
};

TEST(FormatReader, HugeSizesAreRefusedBeforeAnyLargeRead) {
    for (uint8_t version : {uint8_t(15), uint8_t(19)}) {
        Image im;
        im.headerVersion = version;
        im.dataSizeField = 0xFFFFFFF0u;
        const Bytes file = fwtest::image(im);
        for (Rules rules : {Rules::Program, Rules::Library}) {
            CountingSource src(file);
            qvfmt::FirmwareFile f;
            EXPECT_NE(qvfmt::ReadFirmwareFile(src, rules, {}, fmttest::parameterCrc(), fmttest::vkeyCrc(), &f),
                      FileError::None);
            EXPECT_LE(src.largest, 32u);
        }
    }
    // An extra block whose length runs past the file.
    Image im;
    im.flags = 1;
    im.extra = Bytes(4, 1);
    Bytes file = fwtest::image(im);
    file[32] = 0xFF;
    file[33] = 0xFF;
    qvfmt::SpanSource src(file);
    qvfmt::Section s;
    EXPECT_EQ(qvfmt::ReadSection(src, 0, 0, &s), FileError::PastEnd);
}

TEST(FormatReader, HeaderChecksInOrder) {
    using qvfmt::HeaderCheck;
    struct Case {
        const char* name;
        std::function<void(Image&)> edit;
        HeaderCheck program, library;
    };
    const Case cases[] = {
        {"v19", [](Image&) {}, HeaderCheck::Ok, HeaderCheck::Ok},
        {"v20", [](Image& im) { im.headerVersion = 20; }, HeaderCheck::NewerVersion, HeaderCheck::Ok},
        {"v20 flags 16", [](Image& im) { im.headerVersion = 20; im.flags = 16; }, HeaderCheck::BadFlags,
         HeaderCheck::BadFlags},
        {"v16 byte 31", [](Image& im) { im.headerVersion = 16; im.sum31Delta = 3; }, HeaderCheck::BadTailSum,
         HeaderCheck::BadTailSum},
        {"v15 plain", [](Image& im) { im.headerVersion = 15; im.sum15Plain = true; }, HeaderCheck::BadSum,
         HeaderCheck::BadSum},
        {"bad magic", [](Image& im) { im.magic = "ABCD"; }, HeaderCheck::BadMagic, HeaderCheck::BadMagic},
        {"lower case", [](Image& im) { im.magic = "pxpc"; }, HeaderCheck::BadMagic, HeaderCheck::Ok},
    };
    for (const Case& c : cases) {
        Image im;
        c.edit(im);
        Bytes h = fwtest::header(im);
        h.resize(32, 0);
        EXPECT_EQ(qvfmt::CheckHeader(h.data(), Rules::Program), c.program) << c.name;
        EXPECT_EQ(qvfmt::CheckHeader(h.data(), Rules::Library), c.library) << c.name;
    }
}

TEST(FormatReader, DecodedFieldsOfAHeader) {
    Image im;
    im.product = 2081;
    im.letter = 3;
    im.major = 4;
    im.minor = 9;
    im.customer = 17;
    im.flags = 0x0B;
    im.build1 = 7;
    im.build2 = 8;
    im.info = 2;
    im.byte21 = 0x21;
    im.byte22 = 0x52;
    im.data = Bytes(300, 1);
    const Bytes h = fwtest::header(im);
    const qvfmt::ImageInfo i = qvfmt::DecodeHeader(h.data());
    EXPECT_EQ(i.productNumber, 2081);
    EXPECT_EQ(i.letter, 3);
    EXPECT_EQ(i.major, 4);
    EXPECT_EQ(i.series, 0);
    EXPECT_EQ(i.minor, 9);
    EXPECT_EQ(i.customer, 17);
    EXPECT_EQ(i.headerVersion, 19);
    EXPECT_EQ(i.dataSize, 300u);
    EXPECT_EQ(i.flags, 0x0B);
    EXPECT_EQ(i.build1, 7);
    EXPECT_EQ(i.build2, 8);
    EXPECT_EQ(i.info, 2);
    EXPECT_EQ(i.byte21, 0x21);
    EXPECT_EQ(i.byte22, 0x52);
    EXPECT_EQ(qvfmt::HeaderIdentityCode(h.data()), (3u * 1000 + 17) * 10000 + 2081);
}

TEST(FormatReader, ChunkedChecksumAgreesWithTheReadData) {
    // Larger than one 0x7FFF chunk, not a multiple of it.
    Image im;
    im.data = Bytes(0x7FFF * 2 + 5, 0);
    for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 31 + 7);
    for (int delta : {0, 1}) {
        im.trailerDelta = delta;
        const Bytes file = fwtest::image(im);
        qvfmt::SpanSource src(file);
        qvfmt::Section s;
        ASSERT_EQ(qvfmt::ReadSection(src, 0, 0, &s), FileError::None);
        uint32_t sum = 0, stored = 0;
        const FileError want = delta ? FileError::Checksum : FileError::None;
        EXPECT_EQ(qvfmt::CheckSectionData(src, s, &sum, &stored), want);
        EXPECT_EQ(sum, ~fwtest::trailer(im.data));
        EXPECT_EQ(stored, fwtest::trailer(im.data) + uint32_t(delta));
        std::vector<uint8_t> data;
        EXPECT_EQ(qvfmt::ReadSectionData(src, s, &data), want);
    }
}

}  // namespace
