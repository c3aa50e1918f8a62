// A package the library writes (CombinePFPA) read by the program's own loader:
// the Field Update page loads it with its PARA section valid under the
// controller's parameter CRC and the controller's virtual keys.

#include "update_support.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

class LibraryPackage : public UpdatePage {};

TEST_F(LibraryPackage, ProgramLoadsTheLibrarysPackageWithTheControllersCrcAndKeys) {
    ASSERT_TRUE(start("full"));
    // The controller's own firmware (QV2081A.D03.2.5.3.1) as a plain image.
    fwtest::Image running = updatetest::NewImage(200);
    running.minor = 5;
    running.customer = 3;
    running.build1 = 3;
    running.build2 = 1;
    useFile(fwtest::image(running), "running.qvf");
    const std::string source = fw.szFirmwarePath.toStdString();

    uint8_t status = 0x77;
    ASSERT_EQ(CombinePFPA(c.dev.device, source.c_str(), &status), 1);
    EXPECT_EQ(status, 0);
    const QStringList packages = QDir(dir.path()).entryList({QStringLiteral("*.pfp")}, QDir::Files);
    ASSERT_EQ(packages.size(), 1);

    fw.szFirmwarePath = QDir(dir.path()).filePath(packages.front());
    ASSERT_TRUE(page->LoadFirmware(false));
    EXPECT_TRUE(boxes.asked.empty()) << (boxes.asked.empty() ? "" : boxes.asked[0].text.toStdString());
    EXPECT_EQ(fw.PfpPara.present, 1u);
    uint16_t controllerCrc = 0;
    ASSERT_EQ(GetParameterCRC(c.dev.device, &controllerCrc), 1);
    EXPECT_EQ(fw.PfpPara.crc, controllerCrc);
    ParameterList lists{};
    ASSERT_EQ(GetAPBTParaList(c.dev.device, &lists), 1);
    EXPECT_EQ(fw.PfpPara.touch, std::vector<uint8_t>(lists.touchList, lists.touchList + lists.touchLength));
    EXPECT_EQ(fw.PfpPara.boot, std::vector<uint8_t>(lists.bootList, lists.bootList + lists.bootLength));
    const auto& keys = dev().profile().vbuttons;
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(fw.PfpVKey.usedCount, keys.size());
    for (size_t e = 0; e < keys.size(); ++e)
        EXPECT_TRUE(std::equal(keys[e].begin(), keys[e].begin() + fw.PfpVKey.entrySize, fw.PfpVKey.entry[e])) << e;
}

}  // namespace
