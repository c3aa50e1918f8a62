// The writers: package header, section headers, PARA and VKEY, and packages
// composed from them read back under both rule sets.
#include "format_support.h"

#include <gtest/gtest.h>

namespace {

using fwtest::Bytes;
using fwtest::Image;
using qvfmt::Rules;

TEST(FormatWriter, PackageMagicOfKindFlags) {
    const struct {
        uint8_t flags;
        const char* magic;
    } rows[] = {{0x00, "PFPF"}, {0x10, "PNPF"}, {0x01, "PFPC"}, {0x11, "PNPC"},
                {0x40, "PXPF"}, {0x50, "PXPF"}, {0xD1, "PXPC"}, {0x41, "PXPC"}};
    for (const auto& r : rows) {
        const auto m = qvfmt::PackageMagic(r.flags);
        EXPECT_EQ(std::string(m.begin(), m.end()), r.magic) << int(r.flags);
    }
}

TEST(FormatWriter, PackageHeaderFromAVersion15Image) {
    Image im;
    im.headerVersion = 15;
    im.magic = "PNFF";
    Bytes h = fwtest::header(im);
    qvfmt::PackageHeaderOptions o;
    o.build1 = 3;
    o.build2 = 1;
    o.virtualKeys = qvfmt::VKeyFlag::Set;
    o.info = 2;
    o.kindFlags = 0x10;
    const auto p = qvfmt::PackageHeader(h.data(), o);
    EXPECT_EQ(std::string(p.begin(), p.begin() + 4), "PNPF");
    EXPECT_EQ(p[14], 19);
    EXPECT_EQ(p[18], 3);
    EXPECT_EQ(p[19], 1);
    EXPECT_EQ(p[16], 0x0A);
    EXPECT_EQ(p[20], 2);
    EXPECT_EQ(p[15], fwtest::sum8(p.data(), 15));  // plain from version 16 on
    EXPECT_EQ(p[31], uint8_t(~fwtest::sum8(p.data(), 31)));
    EXPECT_TRUE(std::equal(h.begin() + 4, h.begin() + 14, p.begin() + 4));
    EXPECT_EQ(qvfmt::CheckHeader(p.data(), Rules::Program), qvfmt::HeaderCheck::Ok);
    EXPECT_EQ(qvfmt::CheckHeader(p.data(), Rules::Library), qvfmt::HeaderCheck::Ok);
}

TEST(FormatWriter, PackageHeaderKeepsOwnBuildBytesAndSetsTheKeyFlagAsAsked) {
    Image im;
    im.build1 = 9;
    im.build2 = 8;
    im.flags = 0x08;
    im.headerVersion = 20;
    Bytes h = fwtest::header(im);
    qvfmt::PackageHeaderOptions o;
    o.build1 = 1;
    o.build2 = 1;
    o.virtualKeys = qvfmt::VKeyFlag::Keep;
    auto p = qvfmt::PackageHeader(h.data(), o);
    EXPECT_EQ(p[14], 20);  // not lowered
    EXPECT_EQ(p[18], 9);
    EXPECT_EQ(p[19], 8);
    EXPECT_TRUE(qvfmt::HasVirtualKeyFlag(p.data()));
    o.virtualKeys = qvfmt::VKeyFlag::Clear;
    p = qvfmt::PackageHeader(h.data(), o);
    EXPECT_FALSE(qvfmt::HasVirtualKeyFlag(p.data()));
    EXPECT_EQ(p[16], 0x02);
    // A package magic stays as it is.
    im.magic = "PXPC";
    h = fwtest::header(im);
    o.kindFlags = 0;
    p = qvfmt::PackageHeader(h.data(), o);
    EXPECT_EQ(std::string(p.begin(), p.begin() + 4), "PXPC");
}

TEST(FormatWriter, SectionHeaderOfAShortHeaderTakesOnlyItsSixteenBytes) {
    Image second;
    second.headerVersion = 15;
    second.magic = "PNFF";
    second.data = Bytes(32, 0xAB);
    const Bytes bytes = fwtest::image(second);  // header, then data bytes 0xAB
    Image first;
    qvfmt::PackageHeaderOptions o;
    o.info = 3;
    const Bytes fh = fwtest::header(first);
    const auto pkg = qvfmt::PackageHeader(fh.data(), o);
    const auto s = qvfmt::SectionHeader(bytes.data(), pkg.data(), 4, 5);
    EXPECT_EQ(s[14], 19);
    EXPECT_EQ(s[16], pkg[16]);
    EXPECT_EQ(s[20], 3);
    EXPECT_EQ(s[18], 4);
    EXPECT_EQ(s[19], 5);
    for (size_t i : {17u, 21u, 22u, 23u, 30u}) EXPECT_EQ(s[i], 0) << i;  // none of the data
    EXPECT_EQ(qvfmt::CheckHeader(s.data(), Rules::Program), qvfmt::HeaderCheck::Ok);
    const auto slave = qvfmt::SlaveSectionHeader(bytes.data(), pkg.data(), 6, 7, 1);
    EXPECT_EQ(slave[18], 6);
    EXPECT_EQ(slave[19], 7);
    EXPECT_EQ(slave[20], 1);
    EXPECT_EQ(slave[16], pkg[16]);
    EXPECT_EQ(qvfmt::CheckHeader(slave.data(), Rules::Library), qvfmt::HeaderCheck::Ok);
}

// A section's extra block is found by its own header's bit 0: the package
// header's bit must not replace it, in either direction.
TEST(FormatWriter, SectionHeadersKeepTheirOwnExtraBlockBit) {
    struct Case {
        uint16_t firstFlags, ownFlags;
        uint8_t ownVersion;
        uint8_t bit0;
    };
    const Case cases[] = {
        {0x0001, 0x0000, 19, 0},  // the package's block, none of its own
        {0x0000, 0x0001, 19, 1},  // a block of its own under a package without
        {0x0001, 0x0001, 19, 1},
        {0x0001, 0x0000, 15, 0},  // a short header has no flags
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstFlags << "/" << c.ownFlags << "/" << int(c.ownVersion));
        Image first;
        first.flags = c.firstFlags;
        if (c.firstFlags & 1) first.extra = Bytes(6, 1);
        Image own;
        own.magic = "PNFF";
        own.headerVersion = c.ownVersion;
        if (c.ownVersion >= 16) own.flags = c.ownFlags;
        if (own.flags & 1) own.extra = Bytes(6, 2);
        const Bytes fh = fwtest::header(first), oh = fwtest::header(own);
        qvfmt::PackageHeaderOptions o;
        const auto pkg = qvfmt::PackageHeader(fh.data(), o);
        for (const auto& s : {qvfmt::SectionHeader(oh.data(), pkg.data(), 0, 0),
                              qvfmt::SlaveSectionHeader(oh.data(), pkg.data(), 0, 0, 1)}) {
            EXPECT_EQ(s[16] & 1, c.bit0);
            EXPECT_EQ(s[16] & ~1, pkg[16] & ~1);
            EXPECT_EQ(qvfmt::CheckHeader(s.data(), Rules::Library), qvfmt::HeaderCheck::Ok);
        }
    }
}

TEST(FormatWriter, ParaAndVkeyBytes) {
    const Bytes touch(100, 7), boot(20, 9);
    const auto para = qvfmt::ParaBytes(2, touch, boot, 0xBEEF);
    ASSERT_TRUE(para);
    fwtest::Para p;
    p.flags = 2;
    p.touch = touch;
    p.boot = boot;
    p.crc = 0xBEEF;
    EXPECT_EQ(*para, fwtest::para(p));
    EXPECT_FALSE(qvfmt::ParaBytes(0, Bytes(256, 0), boot, 0));
    EXPECT_FALSE(qvfmt::ParaBytes(4, touch, boot, 0));

    qvfmt::VKeyTable t;
    t.usedCount = 3;
    t.entrySize = 12;
    const auto entries = fwtest::vkeyEntries(3, 12);
    for (int e = 0; e < 4; ++e) std::copy(entries[size_t(e)].begin(), entries[size_t(e)].end(), t.entry[e]);
    t.entry[4][0] = 0x99;  // past the count: not written
    t.crc = 0x1357;
    fwtest::Vkey v;
    v.crc = 0x1357;
    v.count = 3;
    v.entries = entries;
    EXPECT_EQ(*qvfmt::VkeyBytes(t), fwtest::vkey(v));
    for (auto [count, size] : {std::pair{16, 12}, std::pair{3, 13}, std::pair{3, 0}}) {
        t.usedCount = uint8_t(count);
        t.entrySize = uint8_t(size);
        EXPECT_FALSE(qvfmt::VkeyBytes(t)) << count << " " << size;
    }
    t.usedCount = 15;
    t.entrySize = 12;
    ASSERT_TRUE(qvfmt::VkeyBytes(t));
    EXPECT_EQ(qvfmt::VkeyBytes(t)->size(), 10u + 16 * 12);
}

TEST(FormatWriter, ComposedTwoImagePackageReadsBackUnderBothRuleSets) {
    // A 'C' file: configuration image (v15) first, then the main image.
    Image config;
    config.headerVersion = 15;
    config.data = Bytes(20, 0x10);
    Image main;
    main.headerVersion = 15;
    main.data = Bytes(40, 0x20);
    Bytes source = fwtest::image(config);
    fwtest::append(source, fwtest::image(main));
    qvfmt::SpanSource src(source);
    qvfmt::FirmwareFile f;
    ASSERT_EQ(qvfmt::ReadFirmwareFile(src, Rules::Program, {}, fmttest::parameterCrc(), fmttest::vkeyCrc(), &f),
              qvfmt::FileError::None);
    ASSERT_EQ(f.kind.kind, 1);

    qvfmt::PackageHeaderOptions o;
    o.build1 = 2;
    o.build2 = 0;
    o.virtualKeys = qvfmt::VKeyFlag::Set;
    o.info = 2;
    o.kindFlags = f.kind.flags;
    const auto pkg = qvfmt::PackageHeader(f.sections[0].header.data(), o);
    Bytes out(pkg.begin(), pkg.end());
    auto bodyOf = [&](const qvfmt::Section& s) {
        return Bytes(source.begin() + long(s.offset + s.headerLength), source.begin() + long(s.end));
    };
    fwtest::append(out, bodyOf(f.sections[0]));
    const auto slave = qvfmt::SlaveSectionHeader(f.sections[1].header.data(), pkg.data(), 5, 6, 1);
    out.insert(out.end(), slave.begin(), slave.end());
    fwtest::append(out, bodyOf(f.sections[1]));
    qvfmt::VKeyTable t;
    t.usedCount = 2;
    t.entrySize = 12;
    t.entry[1][8] = 1;
    t.crc = fmttest::vkeyCrc()(t);
    const Bytes touch(128, 3), boot(64, 4);
    const uint16_t crc = fwtest::parameterCrc(1, t.crc, touch, boot);
    fwtest::append(out, *qvfmt::ParaBytes(2, touch, boot, crc));
    fwtest::append(out, *qvfmt::VkeyBytes(t));

    for (Rules rules : {Rules::Program, Rules::Library}) {
        qvfmt::SpanSource back(out);
        qvfmt::FirmwareFile g;
        ASSERT_EQ(qvfmt::ReadFirmwareFile(back, rules, {}, fmttest::parameterCrc(), fmttest::vkeyCrc(), &g),
                  qvfmt::FileError::None);
        EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "PFPC");
        EXPECT_EQ(g.kind.kind, 1);
        EXPECT_EQ(g.data[1], config.data);
        EXPECT_EQ(g.data[0], main.data);
        EXPECT_TRUE(g.tail.para);
        EXPECT_TRUE(g.tail.vkey);
        EXPECT_EQ(g.sections[1].header[20], 1);
        EXPECT_EQ(g.sections[1].header[18], 5);
    }
}

}  // namespace
