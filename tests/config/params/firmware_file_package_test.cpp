// The package assembled from its parts, without a controller or a widget:
// files from the test-side writer, read by the format module as the program
// reads them, assembled, and taken apart again by the writer's own layout.
#include "firmware_writer_support.h"
#include "format_support.h"
#include "params/package_builder.h"

#include <gtest/gtest.h>

namespace {

using fwtest::Bytes;
using fwtest::Image;

Image Numbered(uint8_t headerVersion, size_t bytes, uint8_t seed) {
    Image im;
    im.headerVersion = headerVersion;
    im.build1 = headerVersion >= 16 ? 7 : 0;
    im.build2 = headerVersion >= 16 ? 8 : 0;
    im.data.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) im.data[i] = uint8_t(i * 5 + seed);
    return im;
}

// The parts of a package of these images in file order, read by the format
// module: the file's bytes and sections, its kind, and the package header (the
// first image's under a package magic, with `flags` added).
vcx::PackageParts PartsOf(const std::vector<Image>& images, uint16_t flags, Bytes* packageHeader) {
    vcx::PackageParts parts;
    for (const Image& im : images) fwtest::append(parts.source, fwtest::image(im));
    qvfmt::FirmwareFile read;
    EXPECT_EQ(fmttest::read(parts.source, qvfmt::Rules::Program, &read), qvfmt::FileError::None);
    EXPECT_EQ(read.sections.size(), images.size());
    parts.sections = read.sections;
    parts.kindFlags = read.kind.flags;
    Image first = images.front();
    first.magic = "PFPF";
    first.flags |= flags;
    first.info = 0x5D;
    *packageHeader = fwtest::header(first);
    std::copy(packageHeader->begin(), packageHeader->end(), parts.packageHeader.begin());
    return parts;
}

struct Assembly {
    const char* name;
    std::vector<Image> images;  // in file order
    uint8_t kind;
    // Per further section: whose build bytes and information byte its header takes.
    enum Whose { Controller, Slave, SlaveBuildOnly };
    std::vector<Whose> headers;
};

TEST(PackageAssembly, SectionsHeadersParaAndVkeyInFileOrder) {
    using W = Assembly::Whose;
    Image withExtra = Numbered(19, 40, 3);
    withExtra.flags = 0x01;
    withExtra.extra = {0xE1, 0xE2, 0xE3};
    Image second = Numbered(15, 24, 9);
    second.magic = "PNFF";
    Image entry3 = Numbered(19, 40, 4);
    entry3.magic = "PNFF";
    const Assembly cases[] = {
        {"one image", {Numbered(19, 64, 1)}, 0x00, {}},
        {"one image with an extra block", {withExtra}, 0x00, {}},
        // A file with a configuration image: its second section is the slave's.
        {"configuration image, older header", {Numbered(19, 64, 1), Numbered(15, 32, 2)}, 0x01, {W::Slave}},
        {"configuration image, newer header", {Numbered(19, 64, 1), Numbered(19, 32, 2)}, 0x01, {W::Slave}},
        // Two images: both the controller's.
        {"two images", {Numbered(19, 64, 1), second}, 0x50, {W::Controller}},
        // Four sections: entry 3 the controller's, entry 0 the slave's, entry 2 its build bytes.
        {"four sections",
         {Numbered(19, 64, 1), entry3, Numbered(15, 24, 5), Numbered(15, 24, 6)},
         0xD1,
         {W::Controller, W::Slave, W::SlaveBuildOnly}},
    };
    const vcx::PackageBuild build{0x31, 0x32, 0x41, 0x42, 0x43};
    for (const Assembly& k : cases) {
        SCOPED_TRACE(k.name);
        Bytes pkg;
        vcx::PackageParts parts = PartsOf(k.images, 0x0A, &pkg);  // package, virtual keys
        ASSERT_EQ(parts.kindFlags, k.kind);
        parts.build = build;
        fwtest::Para para;
        para.flags = 0x03;
        para.crc = 0xC0DE;
        parts.para = fwtest::para(para);
        const fwtest::Vkey keys = fwtest::vkeyTable(2);
        parts.vkey = fwtest::vkey(keys);

        const auto out = vcx::AssemblePackage(parts);
        ASSERT_TRUE(out);
        const auto laid = fwtest::readPackage(*out);
        ASSERT_TRUE(laid);
        ASSERT_EQ(laid->images.size(), k.images.size());
        EXPECT_EQ(laid->images[0].header, pkg);
        for (size_t i = 0; i < k.images.size(); ++i) {
            SCOPED_TRACE(i);
            const Image& im = k.images[i];
            const fwtest::LaidImage& got = laid->images[i];
            // The bytes after the header as the file has them.
            EXPECT_EQ(got.data, im.data);
            EXPECT_EQ(got.extra, im.extra);
            EXPECT_EQ(got.trailer, fwtest::trailer(im.data));
            if (i == 0) continue;
            const Bytes& h = got.header;
            ASSERT_EQ(h.size(), 32u);
            EXPECT_EQ(std::string(h.begin(), h.begin() + 4), im.magic);
            EXPECT_EQ(h[14], 19);
            EXPECT_EQ(fwtest::get16(h, 16), fwtest::get16(pkg, 16));
            EXPECT_EQ(h[15], fwtest::sum8(h.data(), 15));
            EXPECT_EQ(h[31], uint8_t(~fwtest::sum8(h.data(), 31)));
            const Assembly::Whose whose = k.headers[i - 1];
            // An older header takes the build bytes given; a newer one keeps its own.
            const uint8_t a = whose == W::Controller ? build.buildA : build.slaveBuildA;
            const uint8_t b = whose == W::Controller ? build.buildB : build.slaveBuildB;
            EXPECT_EQ(h[18], im.headerVersion < 16 ? a : im.build1);
            EXPECT_EQ(h[19], im.headerVersion < 16 ? b : im.build2);
            EXPECT_EQ(h[20], whose == W::Slave ? build.slaveInfo : parts.packageHeader[20]);
        }
        EXPECT_EQ(laid->para.touch, para.touch);
        EXPECT_EQ(laid->para.boot, para.boot);
        EXPECT_EQ(laid->para.flags, para.flags);
        EXPECT_EQ(laid->para.crc, para.crc);
        ASSERT_TRUE(laid->vkey);
        EXPECT_EQ(laid->vkey->entries, keys.entries);
        EXPECT_EQ(laid->vkey->crc, keys.crc);
        EXPECT_TRUE(laid->rest.empty());
    }
}

TEST(PackageAssembly, WithoutVkeyTheFileEndsAfterPara) {
    Bytes pkg;
    vcx::PackageParts parts = PartsOf({Numbered(19, 64, 1)}, 0x02, &pkg);
    parts.para = fwtest::para(fwtest::Para{});
    const auto out = vcx::AssemblePackage(parts);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), 32 + 64 + 4 + parts.para.size());
    const auto laid = fwtest::readPackage(*out);
    ASSERT_TRUE(laid);
    EXPECT_FALSE(laid->vkey);
    EXPECT_TRUE(laid->rest.empty());
}

TEST(PackageAssembly, SectionsOutsideTheBytesAreRefused) {
    Bytes pkg;
    vcx::PackageParts parts = PartsOf({Numbered(19, 64, 1)}, 0x02, &pkg);
    const Bytes file = parts.source;
    ASSERT_FALSE(parts.source.empty());
    parts.source.pop_back();  // one byte short
    EXPECT_FALSE(vcx::AssemblePackage(parts));
    parts.source = file;
    parts.sections[0].headerLength = size_t(parts.sections[0].end) + 1;
    EXPECT_FALSE(vcx::AssemblePackage(parts));
    parts.sections.clear();
    EXPECT_FALSE(vcx::AssemblePackage(parts));
}

TEST(PackageAssembly, TheConfigurationSection) {
    const struct {
        uint8_t kind;
        size_t position;
        bool configuration;
    } rows[] = {{0x01, 0, false}, {0x01, 1, true},  {0x11, 1, true},  {0x50, 1, false}, {0x41, 1, false},
                {0xD1, 1, false}, {0xD1, 2, true},  {0xD1, 3, false}, {0x80, 2, true}};
    for (const auto& r : rows)
        EXPECT_EQ(vcx::IsConfigurationSection(r.kind, r.position), r.configuration)
            << std::hex << int(r.kind) << " " << r.position;
}

}  // namespace
