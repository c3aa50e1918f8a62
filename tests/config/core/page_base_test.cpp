// The page base: its shared routines and its mouse handling.
#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/tip_controls.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

TEST(VcxPageRoutines, StripLastPathComponentCutsAtTheLastSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b.csv", "/a"}, {"/a/", "/a"}, {"C:\\a\\b.csv", "C:\\a"}, {"C:\\a\\", "C:\\a"}, {"b.csv", ""}, {"", ""},
        {"/a\\b/c", "/a\\b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(vcx::StripLastPathComponent(in), out) << in;
    // Only the field's 259 characters count: a separator beyond them is not seen.
    EXPECT_EQ(vcx::StripLastPathComponent(QString(300, 'x') + "/f"), "");
}

TEST(VcxPageRoutines, FormatsOneValueIntoAStringTableText) {
    EXPECT_EQ(vcx::formatOne("Slave %d Firmware Version", 2), "Slave 2 Firmware Version");
    EXPECT_EQ(vcx::formatOne("x%04X", 0xBE), "x00BE");
    EXPECT_EQ(vcx::formatOne("Firmware Version%s", QString()), "Firmware Version");
    EXPECT_EQ(vcx::formatOne("100%% of %s", QString("QV")), "100% of QV");
    EXPECT_EQ(vcx::formatOne("%s given a number", 7), "7 given a number"); // never a text read from an int
    EXPECT_EQ(vcx::formatOne("no conversion", 3), "no conversion");
    EXPECT_EQ(vcx::formatOne("%ld and %d", 5), "5 and %d");
}

TEST(VcxPageRoutines, FirmwareId1711IsOneExactIdentity) {
    FirmwareInformationW info{};
    info.productNumber = 1711;
    info.firmwareMajor = 1;
    info.minorVersion = 2;
    EXPECT_TRUE(vcx::IsFirmwareId1711(info));
    for (auto change : std::vector<void (*)(FirmwareInformationW&)>{
             [](FirmwareInformationW& i) { i.productNumber = 1712; }, [](FirmwareInformationW& i) { i.firmwareMajor = 2; },
             [](FirmwareInformationW& i) { i.customerCode = 1; }, [](FirmwareInformationW& i) { i.productLetter = 1; },
             [](FirmwareInformationW& i) { i.minorVersion = 3; }}) {
        FirmwareInformationW other = info;
        change(other);
        EXPECT_FALSE(vcx::IsFirmwareId1711(other));
    }
}

TEST(VcxPageBase, MovingOverThePageBackgroundHidesTheTips) {
    vcx::CreateTipWindows();
    vcx::CQVChdParentDlg page(104, nullptr);
    page.resize(200, 100);
    page.show();
    ASSERT_NE(vcx::g_TipWnd[0][vcx::kTipFeature], nullptr);
    vcx::g_TipWnd[0][vcx::kTipFeature]->show();
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), page.mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&page, &move);
    EXPECT_FALSE(vcx::g_TipWnd[0][vcx::kTipFeature]->isVisible());
    vcx::DestroyTipWindows();
}

} // namespace
