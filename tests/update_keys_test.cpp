// A package with virtual-key data: after the parameters the table is written
// (29), read back and compared byte for byte with both CRCs (31).

#include "update_support.h"

#include "fwfile_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

fwtest::Bytes KeyPackage(uint8_t scanModeByte) {
    fwfiletest::Package pkg;
    pkg.images = {updatetest::NewImage()};
    fwtest::Vkey v = fwfiletest::Keys(2);
    // Two used entries, then the closing one, empty.
    std::fill(v.entries[2].begin(), v.entries[2].end(), 0);
    v.crc = fwtest::vkeyCrc(v.entries);
    pkg.vkey = v;
    pkg.para.flags = 0x02;
    for (size_t i = 0; i < pkg.para.touch.size(); ++i) pkg.para.touch[i] = uint8_t(i + 1);
    for (size_t i = 0; i < pkg.para.boot.size(); ++i) pkg.para.boot[i] = uint8_t(0x80 + i);
    for (size_t i : {63, 127}) pkg.para.touch[i] = 0;
    for (size_t i : {15, 61, 63}) pkg.para.boot[i] = 0;
    pkg.para.boot[14] = scanModeByte;
    return fwfiletest::Build(pkg);
}

struct KeyCase {
    const char* name;
    bool refuseTableWrite;
    uint32_t text;
};

class UpdateKeys : public UpdatePage, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(UpdateKeys, TheTableIsWrittenAndCompared) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) { p.boot->image = updatetest::NewIdentity(); });
    if (GetParam().refuseTableWrite) dev().refuse(qvsim::PacketPrefix({0xF6, 0x0F, 0xB0}, {0xFF, 0xFF, 0xF0, 0, 0}));
    useFile(KeyPackage(dev().profile().paramBanks.at(0x90).at(14)), "keys.pfp");
    page->timers()->start(13, 10);
    dev().clearTrace();
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(qvui::loadString(GetParam().text).isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(GetParam().text))
        << ::testing::PrintToString(steps()) << page->resultText().toStdString();
    EXPECT_EQ(page->resultSuccess(), GetParam().text == 1360);
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateKeys,
                         ::testing::Values(KeyCase{"Written", false, 1360}, KeyCase{"WriteRefused", true, 1328}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
