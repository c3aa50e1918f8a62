// Version texts, customer prefixes and identity codes of image headers under
// both rule sets.
#include "format_support.h"

#include <gtest/gtest.h>

namespace {

using fwtest::Bytes;
using fwtest::Image;
using qvfmt::Rules;

TEST(FormatText, CustomerPrefix) {
    const struct {
        uint8_t code;
        const char* dot;
        const char* underscore;
    } rows[] = {{0, "", ""},         {5, "D05.", "D05_"},   {199, "D199.", "D199_"}, {200, "A01.", "A01_"},
                {249, "A50.", "A50_"}, {250, "T.", "T_"},   {251, "T1.", "T1_"},     {255, "T5.", "T5_"}};
    for (const auto& r : rows) {
        EXPECT_EQ(qvfmt::CustomerPrefix(r.code, '.'), r.dot) << int(r.code);
        EXPECT_EQ(qvfmt::CustomerPrefix(r.code, '_'), r.underscore) << int(r.code);
    }
}

TEST(FormatText, VersionTextsOfBothRuleSets) {
    struct Row {
        const char* name;
        Image image;
        const char* program;
        const char* library;
    };
    auto with = [](auto edit) {
        Image im;
        im.product = 2081;
        im.letter = 1;
        im.major = 2;
        im.minor = 5;
        edit(im);
        return im;
    };
    const Row rows[] = {
        {"build 0/0", with([](Image&) {}), "2081A.2.5", "2081A.2.5.0"},
        {"build 3/0", with([](Image& im) { im.build1 = 3; }), "2081A.2.5.3", "2081A.2.5.3"},
        {"build 0/5", with([](Image& im) { im.build2 = 5; }), "2081A.2.5.0.5", "2081A.2.5.0.5"},
        {"build 3/4", with([](Image& im) { im.build1 = 3; im.build2 = 4; }), "2081A.2.5.3.4", "2081A.2.5.3.4"},
        {"customer 5", with([](Image& im) { im.customer = 5; }), "2081A.D05.2.5", "2081A.D05.2.5.0"},
        {"customer 251", with([](Image& im) { im.customer = 251; }), "2081A.T1.2.5", "2081A.T1.2.5.0"},
        {"no letter", with([](Image& im) { im.letter = 0; }), "2081.2.5", "2081.2.5.0"},
        {"header version 2", with([](Image& im) { im.headerVersion = 2; im.product = 981; }), "981", "0981"},
        {"header version 3, short number", with([](Image& im) { im.headerVersion = 3; im.product = 981; }),
         "981A.2.5", "0981A.2.5.0"},
        {"S variant 0x8000 | 6020", with([](Image& im) { im.product = 0x8000 | 6020; }), "6020AS.2.5",
         "6020S.2.5.0"},
        {"S variant 0x8000 | 2081", with([](Image& im) { im.product = 0x8000 | 2081; }), "2081AS.2.5",
         "2081AS.2.5.0"},
        {"big-endian 6011",
         with([](Image& im) {
             im.product = 6011;
             im.productBigEndian = true;
         }),
         "6011.2.5", "6011.2.5.0"},
        {"second series 6101 little-endian", with([](Image& im) { im.product = 6101; }), "6101.2.5", "6101.2.5.0"},
        {"v15 header: no build bytes", with([](Image& im) { im.headerVersion = 15; }), "2081A.2.5", "2081A.2.5.0"},
    };
    for (const Row& r : rows) {
        Bytes h = fwtest::header(r.image);
        h.resize(32, 0);
        EXPECT_EQ(qvfmt::VersionText(h.data(), Rules::Program), r.program) << r.name;
        EXPECT_EQ(qvfmt::VersionText(h.data(), Rules::Library), r.library) << r.name;
    }
}

TEST(FormatText, SeriesAndProductOfTheSecondSeries) {
    Image im;
    im.product = 6011;
    im.productBigEndian = true;
    im.letter = 2;
    Bytes h = fwtest::header(im);
    qvfmt::ImageInfo i = qvfmt::DecodeHeader(h.data());
    EXPECT_EQ(i.productNumber, 6011);
    EXPECT_EQ(i.series, 2);
    EXPECT_EQ(i.letter, 0);
    // 6203 read little-endian is something else entirely: only the big-endian
    // reading of these four numbers counts.
    im.product = 6203;
    im.productBigEndian = false;
    h = fwtest::header(im);
    EXPECT_FALSE(qvfmt::BigEndianProduct(h.data()));
    im.product = 0x8000 | 2081;
    h = fwtest::header(im);
    i = qvfmt::DecodeHeader(h.data());
    EXPECT_EQ(i.series, 1);
    EXPECT_EQ(i.letter, 2);
}

TEST(FormatText, IdentityCodeFitsEveryHeaderValue) {
    EXPECT_EQ(qvfmt::IdentityCode(0, 0, 0), 0u);
    EXPECT_EQ(qvfmt::IdentityCode(1, 5, 2081), 10052081u);
    EXPECT_EQ(qvfmt::IdentityCode(255, 255, 65535), (255u * 1000 + 255) * 10000 + 65535);
}

}  // namespace
