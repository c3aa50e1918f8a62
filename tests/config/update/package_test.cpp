// Packages: the firmware step, then the parameter lists written, the
// controller reset and found again, and the parameter CRC compared with the
// package's; a firmware that already runs is not programmed again.

#include "update_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

// The firmware the update profile's controller runs: QV2081A.D03.2.5.3.1.
fwtest::Image RunningImage() {
    fwtest::Image im = updatetest::NewImage();
    im.minor = 5;
    im.build1 = 3;
    im.build2 = 1;
    return im;
}

size_t count(qvsim::Controller& c, uint8_t code) {
    size_t n = 0;
    for (const auto& e : c.trace()) n += e.packet[0] == code;
    return n;
}

struct PackageCase {
    const char* name;
    bool alreadyRunning;
    bool keyCrcSeedsPlain;  // the controller's key-CRC word is 0xFFFF: its CRC is the package's
    uint32_t text;
    bool success;
};

class UpdatePackages : public UpdatePage, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(UpdatePackages, ParametersAreWrittenAndChecked) {
    const PackageCase& k = GetParam();
    ASSERT_TRUE(start());
    dev().editProfile([&](qvsim::ControllerProfile& p) {
        p.boot->image = updatetest::NewIdentity();
        if (k.keyCrcSeedsPlain) p.vbuttonCrc = 0xFFFF;
    });
    const fwtest::Image im = k.alreadyRunning ? RunningImage() : updatetest::NewImage();
    useFile(updatetest::Package(im, dev().profile().paramBanks.at(0x90).at(14)), "package.pfp");
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(qvui::loadString(k.text).isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(k.text));
    EXPECT_EQ(page->resultSuccess(), k.success) << ::testing::PrintToString(steps()) << page->resultText().toStdString();
    const auto s = steps();
    EXPECT_NE(std::find(s.begin(), s.end(), "STATE_PU_PROC"), s.end());
    EXPECT_NE(std::find(s.begin(), s.end(), "STATE_PU_CHK_RES"), s.end());
    if (k.alreadyRunning) {
        EXPECT_EQ(count(dev(), 0xD0), 0u);  // nothing programmed
        EXPECT_EQ(count(dev(), 0xFF), 0u);
    } else {
        EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data));
    }
    // The lists reached the controller's memory.
    const auto& banks = dev().profile().paramBanks;
    ASSERT_TRUE(banks.count(0x80));
    EXPECT_EQ(banks.at(0x80)[1], 2);
}

INSTANTIATE_TEST_SUITE_P(
    Update, UpdatePackages,
    ::testing::Values(PackageCase{"AlreadyRunningCrcEqual", true, true, 1357, true},
                      PackageCase{"NewFirmwareCrcEqual", false, true, 1357, true},
                      PackageCase{"ControllerCrcOffTheLists", false, false, 1326, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST_F(UpdatePage, AControllerThatDoesNotComeBackAfterTheParametersEndsIn1324) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) {
        p.boot->image = updatetest::NewIdentity();
        p.vbuttonCrc = 0xFFFF;
    });
    // Boot entry, boot exit, then the reset after the parameters: it stays away.
    int arrivals = 0;
    bench->watch([&](const qvsim::DeviceEvent& e) {
        if (e.arrival && ++arrivals == 3) bench->remove("/sim/hidraw0");
    });
    useFile(updatetest::Package(updatetest::NewImage(), dev().profile().paramBanks.at(0x90).at(14)), "package.pfp");
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_FALSE(page->resultSuccess());
    EXPECT_EQ(page->resultText(), qvui::loadString(1324));
    EXPECT_EQ(steps().back(), "STATE_PU_FAILED");
}

}  // namespace

namespace {

// The controller's CRC agrees with its lists but not with the package's PARA
// CRC (which the package seeded from its own, empty, key table): 1325.
TEST_F(UpdatePage, AParameterCrcThatDiffersFromThePackageEndsIn1325) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) {
        p.boot->image = updatetest::NewIdentity();
        p.vbuttonCrc = 0xFFFF;
    });
    fwtest::Package pkg;
    pkg.images = {updatetest::NewImage()};
    pkg.para = updatetest::ControllerPara(dev().profile().paramBanks.at(0x90).at(14));
    fwtest::Vkey v;
    v.count = 0;
    v.entries = {fwtest::Bytes(12, 0)};
    v.crc = fwtest::vkeyCrc(v.entries);
    pkg.vkey = v;  // the PARA CRC seeded with this table's
    useFile(fwtest::package(pkg), "other.pfp");
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_EQ(page->resultText(), qvui::loadString(1325)) << ::testing::PrintToString(steps());
    EXPECT_FALSE(page->resultSuccess());
}

}  // namespace
