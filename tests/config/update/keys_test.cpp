// A package with virtual-key data: after the parameters the table is written
// (29), read back and compared byte for byte with both CRCs (31).

#include "update_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using updatetest::UpdatePage;

fwtest::Package KeyPackageParts(uint8_t scanModeByte) {
    fwtest::Package pkg;
    pkg.images = {updatetest::NewImage()};
    fwtest::Vkey v = fwtest::vkeyTable(2);
    // Two used entries, then the closing one, empty.
    std::fill(v.entries[2].begin(), v.entries[2].end(), 0);
    v.crc = fwtest::vkeyCrc(v.entries);
    pkg.vkey = v;
    pkg.para = updatetest::ControllerPara(scanModeByte);
    return pkg;
}

struct KeyCase {
    const char* name;
    std::function<void(qvsim::Controller&)> fault;
    bool plainParaCrc;  // the package's PARA CRC started from 0xFFFF, not from the key CRC
    uint32_t text;
};

class UpdateKeys : public UpdatePage, public ::testing::WithParamInterface<KeyCase> {};

// Steps 29..31 against the simulated table, its flash and its CRC: the table is
// cleared, written, flashed, loaded back from flash and compared whole (entries,
// entry size, used count, CRC word), then the parameter CRC it seeds.
TEST_P(UpdateKeys, TheTableIsWrittenAndCompared) {
    ASSERT_TRUE(start());
    if (GetParam().fault) GetParam().fault(dev());
    auto pkg = KeyPackageParts(dev().profile().paramBanks.at(0x90).at(14));
    if (GetParam().plainParaCrc) {
        pkg.para.crc = fwtest::parameterCrc(1, 0xFFFF, pkg.para.touch, pkg.para.boot);
        pkg.keepParaCrc = true;
    }
    useFile(fwtest::package(pkg), "keys.pfp");
    page->timers()->start(13, 10);
    dev().clearTrace();
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(qvui::loadString(GetParam().text).isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(GetParam().text))
        << ::testing::PrintToString(steps()) << page->resultText().toStdString();
    EXPECT_EQ(page->resultSuccess(), GetParam().text == 1360);
    const auto s = steps();
    EXPECT_EQ(std::count(s.begin(), s.end(), "STATE_VU_PROC"), 2);
    if (GetParam().text == 1360) {
        // What the controller runs from after its next reset: the package's table.
        const auto& flash = dev().profile().vbuttonFlash;
        ASSERT_TRUE(flash);
        ASSERT_EQ(flash->size(), 2u);
        for (size_t e = 0; e < flash->size(); ++e)
            EXPECT_TRUE(std::equal(pkg.vkey->entries[e].begin(), pkg.vkey->entries[e].end(), (*flash)[e].begin())) << e;
    }
}

using qvsim::PacketPrefix;

INSTANTIATE_TEST_SUITE_P(
    Update, UpdateKeys,
    ::testing::Values(
        KeyCase{"Written", nullptr, false, 1360},
        KeyCase{"WriteRefused",
                [](qvsim::Controller& c) { c.refuse(PacketPrefix({0xF6, 0x0F, 0xB0}, {0xFF, 0xFF, 0xF0, 0, 0})); }, false,
                1328},
        KeyCase{"FlashWriteRefused", [](qvsim::Controller& c) { c.refuse(PacketPrefix({0xF6, 0x0F, 0x93}, {0xFF, 0xFF, 0xFF, 0, 0})); },
                false, 1328},
        KeyCase{"LoadFromFlashRefused",
                [](qvsim::Controller& c) { c.refuse(PacketPrefix({0xF6, 0x0F, 0x92, 0x00, 0x01}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF})); },
                false, 1329},
        // The controller keeps entries of 10 bytes: entry size and bytes 10, 11 differ.
        KeyCase{"OtherEntrySize", [](qvsim::Controller& c) { c.profile().vbuttonEntrySize = 10; }, false, 1328},
        // The controller reports a CRC word of its own: bytes 194..195 differ.
        KeyCase{"OtherCrcWord", [](qvsim::Controller& c) { c.profile().vbuttonCrc = 0x1234; }, false, 1328},
        // The table matches, but the package's parameter CRC was not seeded with the key CRC.
        KeyCase{"ParameterCrcNotSeeded", nullptr, true, 1325}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
