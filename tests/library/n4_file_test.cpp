// The N4 family's firmware file reader and the file-information exports, on
// files built byte by byte by the test writer.
#include "firmware_writer_support.h"
#include "library_n4_support.h"
#include "n4_file.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace qvtest {
namespace {

using fwtest::Bytes;
using fwtest::Image;

Image Product(uint16_t product, const std::string& magic = "QVFF") {
    Image im;
    im.product = product;
    im.magic = magic;
    return im;
}

// Images of four sections in file order (entries 1, 3, 0, 2): entries 2 and 3
// carry the versions of 0 and 1; 1 and 3 differ in magic.
std::vector<Image> FourSections() {
    Image e1 = Product(2081), e3 = Product(2081, "PNFF"), e0 = Product(3001), e2 = Product(3001);
    e0.letter = e2.letter = 2;
    return {e1, e3, e0, e2};
}

Bytes ImageFile(const std::vector<Image>& images) {
    Bytes out;
    for (const Image& im : images) fwtest::append(out, fwtest::image(im));
    return out;
}

const Bytes kTouch(128, 0x11), kBoot(64, 0x22);

int PlainCrc(int mode = 0) { return fwtest::parameterCrc(mode, 0xFFFF, kTouch, kBoot); }

struct InfoCase {
    const char* name;
    Bytes file;
    int result;
    int crc;           // when result is 1
    std::string text;  // when result is 1
};

std::vector<InfoCase> InfoCases() {
    std::vector<InfoCase> cases;
    const auto add = [&](const char* name, Bytes file, int result, int crc = -1, std::string text = "") {
        cases.push_back({name, std::move(file), result, crc, std::move(text)});
    };
    const std::string base = "QV2081A.2.5.0";

    // Kinds 0..3, as images and as packages.
    add("image", fwtest::image(Image{}), 1, -1, base);
    {
        Image lower;
        lower.magic = "qvff";
        add("lower-case magic", fwtest::image(lower), 1, -1, base);
    }
    add("configuration image", ImageFile({Product(3001), Product(2081)}), 1, -1, "QV3001A.2.5.0");
    add("two images", ImageFile({Product(2081), Product(3001, "PNFF")}), 1, -1, base);
    add("four sections", ImageFile(FourSections()), 1, -1, base);
    add("package", fwtest::package({}), 1, PlainCrc(), base);
    {
        fwtest::Package p;
        p.magic = "PNPF";
        p.para.flags = 2;
        add("package, second CRC variant", fwtest::package(p), 1, PlainCrc(1), base);
    }
    {
        fwtest::Package p;
        p.magic = "PFPC";
        p.images = {Product(3001), Product(2081)};
        add("package with a configuration image", fwtest::package(p), 1, PlainCrc(), "QV3001A.2.5.0");
    }
    {
        fwtest::Package p;
        p.magic = "PXPC";
        p.images = FourSections();
        p.vkey = fwtest::vkeyTable(3);
        const int crc = fwtest::parameterCrc(0, fwtest::vkeyCrc(p.vkey->entries), kTouch, kBoot);
        add("package of four sections with keys", fwtest::package(p), 1, crc, base);
    }

    // The text: the first image stored of the first series with a product number.
    {
        Image im;
        im.headerVersion = 15;
        add("16-byte header", fwtest::image(im), 1, -1, base);
        im.headerVersion = 2;
        im.product = 81;
        add("header version 2", fwtest::image(im), 1, -1, "QV0081");
    }
    {
        Image im = Product(0x8000 | 2081);
        im.customer = 5;
        im.build1 = 7;
        im.build2 = 3;
        add("S variant, customer, two build numbers", fwtest::image(im), 1, -1, "QV2081AS.D05.2.5.7.3");
        im = Product(2081);
        im.customer = 201;
        im.build1 = 9;
        add("customer A, one build number", fwtest::image(im), 1, -1, "QV2081A.A02.2.5.9");
    }
    add("second series skipped", ImageFile({Product(6020), Product(2081)}), 1, -1, base);
    {
        Image be = Product(6000);
        be.productBigEndian = true;
        add("big-endian product only", fwtest::image(be), 1, -1, "");
    }
    add("second series only", fwtest::image(Product(6020)), 1, -1, "");
    add("no product number", fwtest::image(Product(0)), 1, -1, "");

    // PARA or VKEY not right: the file stays valid, its CRC is -1.
    {
        fwtest::Package p;
        p.keepParaCrc = true;
        p.para.crc = uint16_t(PlainCrc() ^ 0x0100);
        add("PARA CRC differs", fwtest::package(p), 1, -1, base);
    }
    {
        fwtest::Package p;
        p.para.headerSumDelta = 1;
        add("PARA header sum", fwtest::package(p), 1, -1, base);
    }
    {
        fwtest::Package p;
        p.para.flags = 4;
        add("PARA flags above 3", fwtest::package(p), 1, -1, base);
    }
    {
        fwtest::Package p;
        p.vkey = fwtest::vkeyTable(2);
        p.seedFromVkey = false;
        add("PARA from 0xFFFF though keys follow", fwtest::package(p), 1, -1, base);
    }
    {
        fwtest::Package p;
        p.vkey = fwtest::vkeyTable(2);
        p.vkey->crc ^= 1;
        add("VKEY stored CRC differs", fwtest::package(p), 1, -1, base);
    }
    {
        fwtest::Package p;
        p.vkey = fwtest::vkeyTable(2);
        p.vkey->format = 3;
        add("VKEY format 3", fwtest::package(p), 1, -1, base);
    }

    // Invalid files.
    add("empty file", {}, 0);
    add("unknown magic", fwtest::image(Product(2081, "QVFX")), 0);
    {
        Bytes cut = fwtest::image(Image{});
        cut.pop_back();
        add("shorter than its image", cut, 0);
        Bytes two = ImageFile({Product(2081), Product(3001, "PNFF")});
        two.pop_back();
        add("second image cut short", two, 0);
    }
    {
        Image im;
        im.headerVersion = 15;
        im.sum15Plain = true;
        add("version 15, plain sum", fwtest::image(im), 0);
        im = Image{};
        im.sum15Complemented = true;
        add("version 19, complemented sum", fwtest::image(im), 0);
        im = Image{};
        im.sum31Delta = 1;
        add("byte 31", fwtest::image(im), 0);
        im = Image{};
        im.flags = 0x10;
        add("flags above 15", fwtest::image(im), 0);
        im = Image{};
        im.data.clear();
        add("data size 0", fwtest::image(im), 0);
        im = Image{};
        im.trailerDelta = 1;
        add("trailer", fwtest::image(im), 0);
        add("trailer of the second image", ImageFile({Product(3001), im}), 0);
        fwtest::Package p;
        p.images.front().trailerDelta = 1;
        add("package trailer", fwtest::package(p), 0);
    }
    {
        std::vector<Image> four = FourSections();
        four[3].minor = 6;
        add("four sections, versions differ", ImageFile(four), 0);
    }
    return cases;
}

class N4File : public N4Test {
protected:
    std::vector<std::string> written;

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = std::string(QV_BINARY_DIR) + "/tests/n4file_" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        written.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const std::string& p : written) std::remove(p.c_str());
        N4Test::TearDown();
    }
};

TEST_F(N4File, InfoOfEveryKindAndEveryFault) {
    QuorvaneN4_SetDebug(0);
    int i = 0;
    for (const InfoCase& c : InfoCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = write("info" + std::to_string(i++) + ".qvf", c.file);
        int crc = 7;
        char text[QV_N4_VERSION_TEXT] = "untouched";
        ASSERT_EQ(QuorvaneN4_GetQVFInfoA(path.c_str(), &crc, text), c.result);
        char version[QV_N4_VERSION_TEXT] = "untouched";
        EXPECT_EQ(QuorvaneN4_GetQVFVersionStrA(path.c_str(), version), c.result);
        if (c.result) {
            EXPECT_EQ(crc, c.crc);
            EXPECT_EQ(std::string(text), c.text);
            EXPECT_EQ(std::string(version), c.text);
        } else {
            EXPECT_EQ(crc, 7);
            EXPECT_STREQ(text, "untouched");
        }
    }
    int crc = 0;
    char text[QV_N4_VERSION_TEXT] = {};
    EXPECT_EQ(QuorvaneN4_GetQVFInfoA((std::string(QV_BINARY_DIR) + "/tests/n4file_none.qvf").c_str(), &crc, text), 0);
}

TEST_F(N4File, WideFormsTakeRelativeNamesAndKeepToTheCount) {
    fwtest::Package p;
    const std::string path = write("wide.pfp", fwtest::package(p));
    const std::u16string wide = qvlib::Utf8ToWide(path);
    char16_t out[QV_N4_VERSION_TEXT];
    int crc = -5;
    ASSERT_EQ(QuorvaneN4_GetQVFInfoW(wide.c_str(), out, QV_N4_VERSION_TEXT, &crc), 1);
    EXPECT_EQ(std::u16string(out), u"QV2081A.2.5.0");
    EXPECT_EQ(crc, PlainCrc());

    // Five characters with the terminator.
    std::fill(std::begin(out), std::end(out), u'#');
    ASSERT_EQ(QuorvaneN4_GetQVFVersionStrW(wide.c_str(), out, 5), 1);
    EXPECT_EQ(std::u16string(out), u"QV20");
    EXPECT_EQ(out[5], u'#');

    // A name relative to the working directory.
    const std::string name = "n4file_relative.pfp";
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(fwtest::package(p).data()),
                                                 std::streamsize(fwtest::package(p).size()));
    written.push_back(name);
    EXPECT_EQ(QuorvaneN4_GetQVFVersionStrW(qvlib::Utf8ToWide(name).c_str(), out, QV_N4_VERSION_TEXT), 1);
    EXPECT_EQ(std::u16string(out), u"QV2081A.2.5.0");

    EXPECT_EQ(QuorvaneN4_GetQVFInfoW(wide.c_str(), out, 0, &crc), 0);
    EXPECT_EQ(QuorvaneN4_GetQVFInfoW(wide.c_str(), out, QV_N4_VERSION_TEXT, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_GetQVFInfoA(path.c_str(), nullptr, reinterpret_cast<char*>(out)), 0);
}

// Data longer than two chunks: every chunk counts in the sum, and the log shows
// each chunk read and the comparison.
TEST_F(N4File, DataAreSummedInChunksAndLogged) {
    Image big;
    big.data.resize(2 * 0x7FFF + 5);
    for (size_t i = 0; i < big.data.size(); ++i) big.data[i] = uint8_t(i * 7 + (i >> 8));
    QuorvaneN4_SetDebug(2);
    const std::string good = write("big.qvf", fwtest::image(big));
    qvlib::n4::FirmwareFileReader reader;
    ASSERT_TRUE(reader.Open(good));
    const std::string log = debugText();
    const uint32_t trailer = fwtest::trailer(big.data);
    const std::string lines[] = {
        "* {INFO} Firmware data size : 65539, offset : 32\r",
        "* {INFO} Read File Data : 32767 (32767/65539)\r",
        "* {INFO} Read File Data : 32767 (65534/65539)\r",
        "* {INFO} Read File Data : 5 (65539/65539)\r",
        "* {INFO} Read CHECKSUM : {OK} " + std::to_string(trailer) + " ?= " + std::to_string(trailer) + "\r",
    };
    size_t at = 0;
    for (const std::string& line : lines) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    }
    EXPECT_EQ(count("Read File Data"), 3u);

    // A byte changed in the last chunk and in the first, each alone: refused.
    for (size_t changed : {big.data.size() - 1, size_t(0)}) {
        Bytes file = fwtest::image(big);
        file[32 + changed] ^= 0x40;
        const std::string path = write("bad" + std::to_string(changed) + ".qvf", file);
        restart();
        QuorvaneN4_SetDebug(1);
        EXPECT_FALSE(reader.Open(path)) << changed;
        EXPECT_EQ(count("* {ERROR} Read CHECKSUM : {FAILED} (0)\r"), 1u) << debugText();
        EXPECT_EQ(count("{INFO}"), 0u);
        EXPECT_FALSE(reader.IsOpen());
    }
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

TEST_F(N4File, TheReaderKeepsTheSectionsAndTheTablesAndResetLetsGo) {
    QuorvaneN4_SetDebug(0);
    fwtest::Package p;
    p.magic = "PXPC";
    p.images = FourSections();
    p.para.flags = 2;
    p.vkey = fwtest::vkeyTable(3, 8);
    const Bytes bytes = fwtest::package(p);
    const std::string path = write("four.pfp", bytes);

    const int before = OpenDescriptors();
    qvlib::n4::FirmwareFileReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(OpenDescriptors(), before + 1);
    EXPECT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Path(), path);
    EXPECT_EQ(reader.Kind(), 3);
    EXPECT_EQ(reader.KindFlags(), 0xD1);
    EXPECT_TRUE(reader.IsPackage());
    EXPECT_EQ(reader.Size(), bytes.size());
    EXPECT_EQ(std::memcmp(reader.FirstHeader(), "PXPC", 4), 0);

    // Each image where the layout puts it: entries 1, 3, 0, 2 in file order.
    const size_t imageLength = 32 + 64 + 4;
    const int order[] = {1, 3, 0, 2};
    ASSERT_EQ(reader.Sections().size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(reader.Sections()[k].entry, order[k]);
        const qvfmt::Section* s = reader.Entry(order[k]);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->offset, k * imageLength);
        EXPECT_EQ(s->dataOffset, k * imageLength + 32);
        EXPECT_EQ(s->dataSize, 64u);
    }
    uint8_t b[4] = {};
    ASSERT_TRUE(reader.ReadAt(4 * imageLength, b, 4));
    EXPECT_EQ(std::memcmp(b, "PARA", 4), 0);
    EXPECT_FALSE(reader.ReadAt(bytes.size() - 2, b, 4));

    EXPECT_TRUE(reader.ParaValid());
    EXPECT_EQ(reader.Para().flags, 2);
    EXPECT_EQ(Bytes(reader.Para().touch), kTouch);
    EXPECT_EQ(Bytes(reader.Para().boot), kBoot);
    EXPECT_TRUE(reader.HasVkey());
    EXPECT_EQ(reader.VkeyCrc(), fwtest::vkeyCrc(p.vkey->entries));
    EXPECT_EQ(reader.Vkey().table.usedCount, 3);
    EXPECT_EQ(reader.Vkey().table.entrySize, 8);
    for (int e = 0; e <= 3; ++e)
        EXPECT_EQ(Bytes(reader.Vkey().table.entry[e], reader.Vkey().table.entry[e] + 8), p.vkey->entries[size_t(e)]);

    reader.Reset();
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_TRUE(reader.Path().empty());
    EXPECT_TRUE(reader.Sections().empty());
    EXPECT_EQ(reader.Entry(0), nullptr);
    EXPECT_FALSE(reader.ParaValid());
    EXPECT_FALSE(reader.HasVkey());
    EXPECT_TRUE(reader.Para().touch.empty());

    // A failed open after a good one keeps nothing and holds no file.
    ASSERT_TRUE(reader.Open(path));
    Image cut;
    cut.trailerDelta = 1;
    EXPECT_FALSE(reader.Open(write("bad.qvf", fwtest::image(cut))));
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.Kind(), -1);
    EXPECT_TRUE(reader.Sections().empty());
    EXPECT_FALSE(reader.ParaValid());
}

}  // namespace
}  // namespace qvtest
