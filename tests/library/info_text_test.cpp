// Panel-size and cover-lens texts, byte for byte in both widths.
#include "library_info_support.h"

#include <cstring>

using namespace qvtest;

namespace {

qvsim::PanelSizeEntry PanelEntry(std::array<uint8_t, 8> name, uint8_t inches, uint8_t tenthsAndFlags) {
    qvsim::PanelSizeEntry e;
    e.name = name;
    e.inches = inches;
    e.tenthsAndFlags = tenthsAndFlags;
    return e;
}

std::array<uint8_t, 8> Name(const char* s) {
    std::array<uint8_t, 8> n{};
    for (size_t i = 0; i < 8 && s[i]; ++i) n[i] = uint8_t(s[i]);
    return n;
}

class PanelTexts : public InfoTest {
protected:
    // Checks both widths: the text, its terminator, and nothing written after it.
    void expectText(int (*narrowFn)(HANDLE, uint8_t, char*), int (*wideFn)(HANDLE, uint8_t, QVWCHAR*),
                    uint8_t index, const std::string& want) {
        char a[40];
        QVWCHAR w[40];
        std::memset(a, 0x7E, sizeof a);
        for (auto& c : w) c = 0x7E7E;
        ASSERT_EQ(narrowFn(h, index, a), 1);
        ASSERT_EQ(wideFn(h, index, w), 1);
        ASSERT_LT(want.size(), 40u);
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(uint8_t(a[i]), uint8_t(want[i])) << "narrow byte " << i;
            EXPECT_EQ(w[i], QVWCHAR(uint8_t(want[i]))) << "wide unit " << i;
        }
        EXPECT_EQ(a[want.size()], 0);
        EXPECT_EQ(w[want.size()], 0);
        for (size_t i = want.size() + 1; i < 40; ++i) {
            EXPECT_EQ(uint8_t(a[i]), 0x7E) << "narrow byte " << i;
            EXPECT_EQ(w[i], 0x7E7E) << "wide unit " << i;
        }
    }
};

TEST_F(PanelTexts, PanelSizeTexts) {
    struct Case {
        qvsim::PanelSizeEntry entry;
        std::string text;
    };
    const std::array<uint8_t, 8> degree = {'A', 'B', 0xB0, 'C', 0, 0, 0, 'Z'};
    const Case cases[] = {
        {PanelEntry(Name("AUO G156"), 0x15, 0x60), "AUO G156 15.6\""},
        {PanelEntry(Name("LG"), 0x07, 0x01), "LG" + std::string(7, ' ') + "7.0\" (W)"},  // missing characters are blanks
        {PanelEntry(Name("BOE12345"), 0x21, 0x59), "BOE12345 21.5\" (W) "},  // wide and marked
        {PanelEntry(Name("INX"), 0x10, 0x08), "INX" + std::string(6, ' ') + "10.0\" "},
        {PanelEntry(degree, 0x09, 0xF0), "AB\xB0""C   Z 9.F\""},             // bytes stay bytes
    };
    qvsim::ControllerProfile p;
    for (const auto& c : cases) p.panelSizes.push_back(c.entry);
    makeHid(p);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].text);
        expectText(GetPanelSizeInfoA, GetPanelSizeInfoW, uint8_t(i), cases[i].text);
    }
    ctl->clearTrace();
    char a[40];
    ASSERT_EQ(GetPanelSizeInfo(h, 1, a), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E3 01 01 00 00", "E3 01 01 00 01", "E3 01 01 00 02"}));
}

TEST_F(PanelTexts, CoverLensTexts) {
    struct Case {
        qvsim::CoverLensEntry entry;
        std::string text;
    };
    const Case cases[] = {
        {{0x11, 0xFF, 'G', 0}, "1.1 mm Glass"},
        {{0x07, 0x15, 'p', 1}, "0.7 ~ 1.5 mm Polymer "},
        {{0x05, 0xFF, 'A', 1}, "Film "},  // a film has no thickness
        {{0x30, 0x40, 'a', 0}, "Film"},
        {{0x20, 0xFF, 'x', 0}, "2.0 mm "},
        {{0xF9, 0xFF, 'g', 1}, "15.9 mm Glass "},
    };
    qvsim::ControllerProfile p;
    for (const auto& c : cases) p.coverLenses.push_back(c.entry);
    makeHid(p);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].text);
        expectText(GetCoverLensInfoA, GetCoverLensInfoW, uint8_t(i), cases[i].text);
    }
    ctl->clearTrace();
    char a[40];
    ASSERT_EQ(GetCoverLensInfo(h, 2, a), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E3 02 02 00 00"}));
}

TEST_F(PanelTexts, RefusalsLeaveTheTextAlone) {
    qvsim::ControllerProfile p;
    p.panelSizes = {PanelEntry(Name("AUO G156"), 0x15, 0x60)};
    p.coverLenses = {{0x11, 0xFF, 'G', 0}};
    makeHid(p);
    char a[40] = "untouched";
    QVWCHAR w[40] = u"untouched";
    EXPECT_EQ(GetPanelSizeInfoA(h, 1, a), 0);  // no such entry
    EXPECT_EQ(GetCoverLensInfoW(h, 1, w), 0);
    ctl->setReply(P(0xE3, 0x01, 0x00, 0x00, 0x02), P(0xAA, 0xE3, 0x01, 0x00, 0x00));  // size word refused
    EXPECT_EQ(GetPanelSizeInfoA(h, 0, a), 0);
    EXPECT_STREQ(a, "untouched");
    EXPECT_EQ(Narrow(w), "untouched");

    // Series controllers have no text tables: nothing is asked.
    p.series = qvsim::Series::Ostra;
    makeHid(p, "/sim/hidraw1");
    EXPECT_EQ(GetPanelSizeInfoA(h, 0, a), 0);
    EXPECT_EQ(GetCoverLensInfoA(h, 0, a), 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(GetPanelSizeInfoW(reinterpret_cast<HANDLE>(0x77), 0, w), 0);
}

}  // namespace
