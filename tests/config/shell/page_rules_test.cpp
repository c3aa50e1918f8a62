// The main window's page-button rules, its page choice after a read-out and
// the busy lock, as tables: controller identity, firmware state, usable pages,
// engineer mode, the page that reports busy.
#include "shell/page_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vcx::PageButtonStates;
using vcx::PageRuleInput;

// "DRxpUdcI": Draw, Refresh, Diagnostic, Parameters, Field Update, Debug, Process
// Config, Information; upper case enabled, '-' disabled.
std::string text(const PageButtonStates& b) {
    const char* const names = "DRGPUBCI";
    std::string out;
    for (int id = vcx::kIdDraw; id <= vcx::kIdLastButton; ++id) out += b[id] ? names[id - vcx::kIdDraw] : '-';
    return out;
}

TEST(VcxPageRules, OstraModelsAreTheSixThousandsOutsideSixtySixHundred) {
    const std::pair<int, bool> cases[] = {{2081, false}, {5999, false}, {6000, true},  {6020, true},
                                          {6599, true},  {6600, false}, {6650, false}, {6699, false},
                                          {6700, true},  {6999, true},  {7000, false}, {0, false}};
    for (const auto& [model, ostra] : cases) EXPECT_EQ(vcx::isOstraModel(model), ostra) << model;
}

TEST(VcxPageRules, ButtonsFollowIdentityFirmwareStateAndUsablePages) {
    struct Case {
        const char* what;
        int model;
        bool masterInBoot, slaveInBoot, engineer, serial, rs232, diagUsable, paraUsable;
        const char* buttons;
    } cases[] = {
        {"current controller, pages not usable", 2081, false, false, false, false, false, false, false, "DR--UBCI"},
        {"current controller, pages usable", 2081, false, false, false, false, false, true, true, "DRGPUBCI"},
        // A 66xx controller belongs to the current series: Parameters and Debug follow its rules.
        {"6650, pages usable", 6650, false, false, false, false, false, true, true, "DRGPUBCI"},
        {"6650, pages not usable", 6650, false, false, false, false, false, false, false, "DR--UBCI"},
        {"Ostra controller", 6020, false, false, false, false, false, true, true, "DR--U-CI"},
        {"Ostra controller in engineer mode", 6020, false, false, true, false, false, true, true, "DRG-UBCI"},
        {"Ostra controller on RS-232", 6020, false, false, false, true, true, true, true, "-R----CI"},
        {"master in its boot loader", 2081, true, false, false, false, false, true, true, "-R--U-CI"},
        {"master in boot, engineer mode", 2081, true, false, true, false, false, true, true, "-R--U-CI"},
        {"a slave in its boot loader", 2081, false, true, false, false, false, true, true, "DR-PU-CI"},
        {"a slave in boot, engineer mode", 2081, false, true, true, false, false, true, true, "DR-PU-CI"},
        // RS-232 with a bus interface is no serial device for Draw; Field Update stays for the current series.
        {"current controller on RS-232", 2081, false, false, false, false, true, false, false, "DR--UBCI"},
        {"current controller, serial device", 2081, false, false, false, true, true, false, false, "-R--UBCI"},
    };
    for (const Case& c : cases) {
        PageRuleInput in;
        in.ostraModel = vcx::isOstraModel(c.model);
        in.masterInBoot = c.masterInBoot;
        in.anySlaveInBoot = c.slaveInBoot;
        in.engineerMode = c.engineer;
        in.serialDevice = c.serial;
        in.rs232 = c.rs232;
        in.diagnosticUsable = c.diagUsable;
        in.parametersUsable = c.paraUsable;
        EXPECT_EQ(text(vcx::pageButtonsForDevice(in)), c.buttons) << c.what;
    }
    EXPECT_EQ(text(vcx::pageButtonsWithoutDevice(false)), "DR----CI");
    EXPECT_EQ(text(vcx::pageButtonsWithoutDevice(true)), "D-----CI");
}

TEST(VcxPageRules, PageChoiceAfterTheReadOut) {
    struct Case {
        const char* what;
        int preferred;
        const char* buttons;
        bool ostra, fileArgument, diagUsable, paraUsable;
        int chosen;
    } cases[] = {
        {"the preferred page stays", vcx::kPageDebug, "DRGPUBCI", false, false, true, true, vcx::kPageDebug},
        {"Diagnostic usable", vcx::kPageDiagnostic, "DRGPUBCI", false, false, true, true, vcx::kPageDiagnostic},
        {"Diagnostic unusable: Parameters", vcx::kPageDiagnostic, "DR-PUBCI", false, false, false, true,
         vcx::kPageParameters},
        {"both unusable: Field Update", vcx::kPageDiagnostic, "DR--UBCI", false, false, false, false,
         vcx::kPageFieldUpdate},
        {"Parameters unusable", vcx::kPageParameters, "DRG-UBCI", false, false, true, false, vcx::kPageFieldUpdate},
        {"Field Update disabled: Information", vcx::kPageDebug, "-R----CI", true, false, true, true,
         vcx::kPageInformation},
        {"Ostra model: Field Update", vcx::kPageProcessConfig, "DR--U-CI", true, false, true, true,
         vcx::kPageFieldUpdate},
        {"Debug disabled: Field Update", vcx::kPageInformation, "DR-PU-CI", false, false, true, true,
         vcx::kPageFieldUpdate},
        {"a file argument: Field Update", vcx::kPageDebug, "DRGPUBCI", false, true, true, true, vcx::kPageFieldUpdate},
        {"Information preferred", vcx::kPageInformation, "DRGPUBCI", false, false, true, true, vcx::kPageInformation},
    };
    for (const Case& c : cases) {
        PageButtonStates b;
        for (int id = vcx::kIdDraw; id <= vcx::kIdLastButton; ++id) b[id] = c.buttons[id - vcx::kIdDraw] != '-';
        EXPECT_EQ(vcx::choosePage(c.preferred, b, {c.ostra, c.fileArgument, c.diagUsable, c.paraUsable}), c.chosen)
            << c.what;
    }
}

TEST(VcxPageRules, ABusyPageLeavesDrawInformationAndItsOwnButton) {
    const std::pair<int, const char*> cases[] = {
        {vcx::kPageDebug, "-LLLL-L-"},         {vcx::kPageFieldUpdate, "-LLL-LL-"},
        {vcx::kPageInformation, "-LLLLLL-"},   {vcx::kPageDiagnostic, "-L-LLLL-"},
        {-1, "-LLLLLL-"}, // a window that is not a page
    };
    for (const auto& [page, locked] : cases) {
        std::string got;
        for (int id = vcx::kIdDraw; id <= vcx::kIdLastButton; ++id)
            got += vcx::pageButtonLockedWhileBusy(id, page) ? 'L' : '-';
        EXPECT_EQ(got, locked) << page;
    }
}

} // namespace
