// The parameter sheet: which tabs a controller gets and which page shows, the
// tips on timer 1, and Apply against the full controller with the sim's trace:
// the write sequence, the change list, declines, refusals and what the
// controller holds after a reset.
#include "core/field_table.h"
#include "params/old_finger_dlg.h"
#include "params/para_dlg.h"
#include "params/para_pages.h"
#include "core/parameter_read.h"
#include "params/xf6_palm_dlg.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "core/tip_controls.h"
#include "ui/control_ids.h"
#include "ui/window_timers.h"

#include <QTabBar>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using paramtest::ParamBench;
using Msg = MainWindowSink::Message;

struct TabCase {
    uint16_t groups;
    uint8_t hostMaximum;  // host item 0 maximum (the interface identity byte)
    bool hostValid;
    uint8_t panelMax0, panelMax1;
    bool palmItem5;
    int remembered;  // ParaIdx
    std::vector<int> tabs;
    int shown;
    int selected;
};

TEST(SheetTabs, TabsAndThePageShownFollowTheControllerAndTheRememberedPage) {
    constexpr uint16_t all = 0x01DE;  // groups 1..4, 6..8
    const TabCase cases[] = {
        {all, 0x87, true, 1, 1, true, 0, {0, 1, 2, 3, 4, 5, 6}, 0, 0},
        {all, 0x87, true, 1, 1, true, 3, {0, 1, 2, 3, 4, 5, 6}, 3, 3},
        {all, 0x87, true, 1, 1, true, 6, {0, 1, 2, 3, 4, 5, 6}, 6, 6},
        // Fewer than two interfaces: no Interface tab; a remembered Interface falls back to Panel.
        {all, 0x81, true, 1, 1, true, 0, {1, 2, 3, 4, 5, 6}, 1, -1},
        {all, 0x87, false, 1, 1, true, 0, {1, 2, 3, 4, 5, 6}, 1, -1},
        // Both panel maxima 0: no Panel tab, and the fallback is Palm.
        {all, 0x81, true, 0, 0, true, 1, {2, 3, 4, 5, 6}, 3, -1},
        {all, 0x87, true, 0, 1, true, 1, {0, 1, 2, 3, 4, 5, 6}, 1, 1},
        // No palm item 5: no Palm tab; with the interface rule the first tab is shown.
        {all, 0x87, true, 1, 1, false, 3, {0, 1, 2, 4, 5, 6}, 0, -1},
        // A group bit missing removes its tab whatever the rules say.
        {0x0008, 0x87, true, 1, 1, true, 2, {2}, 2, 0},
        {0x0008, 0x81, true, 1, 1, true, 5, {2}, 1, -1},
        {0x0000, 0x87, true, 0, 0, true, 4, {}, 3, -1},
    };
    for (const TabCase& k : cases) {
        SCOPED_TRACE(testing::Message() << "groups " << k.groups << " host " << int(k.hostMaximum) << " remembered "
                                        << k.remembered);
        vcx::ProgramRecords r{};
        r.generalInfo.groupMask = k.groups;
        r.hostInterface.valid = k.hostValid;
        r.hostInterface.item[0].maximum = k.hostMaximum;
        r.panel.item[0].maximum = k.panelMax0;
        r.panel.item[1].maximum = k.panelMax1;
        r.palm.item5.present = k.palmItem5;
        const vcx::TabPlan plan = vcx::PlanTabs(r, vcx::CandidateFromSetting(k.remembered));
        EXPECT_EQ(plan.tabs, k.tabs);
        EXPECT_EQ(plan.shown, k.shown);
        EXPECT_EQ(plan.selected, k.selected);
    }
}

TEST(SheetTabs, ARememberedIndexOutsideTheCandidatesIsTheFirst) {
    for (int idx : {-1, 0, 7, 16, 17, 255}) EXPECT_EQ(vcx::CandidateFromSetting(idx), 0) << idx;
    for (int idx : {1, 3, 6}) EXPECT_EQ(vcx::CandidateFromSetting(idx), idx);
}

class Sheet : public ParamBench {
protected:
    MainWindowSink mainWindow;
    std::unique_ptr<vcx::CQVParaDlg> sheet;

    void SetUp() override {
        vcx::addProgramStrings();
        vcx::programState().engineerMode = false;
        vcx::appSettings().paraIdx = 3;
        vcx::CalibrationPending() = false;
    }
    void TearDown() override {
        sheet.reset();
        ParamBench::TearDown();
    }
    // The full controller read as the main window reads it, and the sheet refreshed.
    void openSheet(const std::string& profile = "full") {
        ASSERT_TRUE(open(profile));
        vcx::ReadDevice(c, vcx::programState(), false);
        ASSERT_TRUE(c.dev.parametersRead);
        sheet = std::make_unique<vcx::CQVParaDlg>(c, nullptr);
        sheet->setMainWindow(&mainWindow);
        sheet->resize(800, 500);
        sheet->UpdateDlgItem();
        ctl().clearTrace();
    }
    std::vector<QString> tabTexts() const {
        std::vector<QString> out;
        for (int i = 0; i < sheet->tabBar()->count(); ++i) out.push_back(sheet->tabBar()->tabText(i));
        return out;
    }
    void editThreeGroups() {
        vcx::ProgramRecords& r = c.records;
        r.hostInterface.item3.value = 2;  // HID report: digitizer touch
        r.finger.item0[1].value = 5;      // max contacts
        r.palm.item5.value = 1;           // palm rejection off
        r.coordinate.word[1].value = 4000;
    }
};

TEST_F(Sheet, TheFullControllerGetsEveryTabAndTheRememberedPage) {
    openSheet();
    EXPECT_TRUE(sheet->isUsable());
    EXPECT_TRUE(sheet->newSet());
    EXPECT_EQ(tabTexts(), (std::vector<QString>{"Interface", "Panel", "Finger", "Palm", "Water", "Anti-Noise",
                                                 "Coordinate"}));
    EXPECT_EQ(sheet->currentCandidate(), vcx::kTabPalm);
    EXPECT_EQ(sheet->tabBar()->currentIndex(), 3);
    EXPECT_TRUE(sheet->page(165)->isVisibleTo(sheet.get()));
    EXPECT_EQ(sheet->candidatePage(vcx::kTabCoordinate), sheet->page(170));  // the newer coordinate page
    EXPECT_EQ(sheet->candidatePage(vcx::kTabFinger), sheet->page(182));
    for (int id = 160; id <= 185; ++id) {
        const bool exists = id <= 176 || id >= 180;
        EXPECT_EQ(sheet->page(id) != nullptr, exists) << id;
        if (exists) {
            EXPECT_EQ(sheet->page(id)->templateId(), id);
        }
    }
    EXPECT_NE(dynamic_cast<vcx::CQVxF6CoordDlg*>(sheet->page(170)), nullptr);
    EXPECT_NE(dynamic_cast<vcx::CQVOldCoordDlg*>(sheet->page(185)), nullptr);
    EXPECT_NE(dynamic_cast<vcx::CQVOldFingerDlg*>(sheet->page(182)), nullptr);

    // Pages sit inside the tab control at the scaled offsets.
    const int s = vcx::programState().screenScale > 0 ? vcx::programState().screenScale : 100;
    EXPECT_EQ(sheet->page(165)->geometry().topLeft(), QPoint(s * 4 / 100, s * 24 / 100));

    sheet->tabBar()->setCurrentIndex(2);
    EXPECT_EQ(sheet->currentCandidate(), vcx::kTabFinger);
    EXPECT_TRUE(sheet->page(182)->isVisibleTo(sheet.get()));
    EXPECT_FALSE(sheet->page(165)->isVisibleTo(sheet.get()));
    sheet->ExitDlg();
    EXPECT_EQ(vcx::appSettings().paraIdx, vcx::kTabFinger);

    sheet->ClearDlgItem();
    EXPECT_FALSE(sheet->isUsable());
}

TEST_F(Sheet, TipsAreGivenOnceOnTimerOne) {
    openSheet();
    auto* rejection = dynamic_cast<vcx::CQVMyTipBMP*>(qvui::findControl(sheet->page(165), 510));
    ASSERT_NE(rejection, nullptr);
    EXPECT_EQ(rejection->featureTipId, 0u);
    ASSERT_TRUE(qvui::fireTimer(sheet.get(), 1));
    EXPECT_EQ(rejection->featureTipId, 670u);
    EXPECT_EQ(rejection->sideSecondId, 733u);
    EXPECT_FALSE(qvui::fireTimer(sheet.get(), 1));  // stopped
}

TEST_F(Sheet, ApplyWritesTheChangedItemsInsideTheLockAndFlushes) {
    openSheet();
    editThreeGroups();
    Boxes boxes;
    EXPECT_EQ(qvui::sendMessage(sheet.get(), qvui::WM_TOOLBAR_ACTION, 0, 0), 0);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].caption, "Modify Parameter List");
    EXPECT_EQ(boxes.asked[0].buttons, qvui::MessageButtons::OkCancel);
    EXPECT_EQ(boxes.asked[0].text, "Hid Report Modify : Windows 8 Protocol -> Digitizer Touch\n"
                                   "Max Contact Number Modify : 10 -> 5\n"
                                   "Palm Rejection Modify : ( OFF )\n"
                                   "Touch Panel Active Area Modify : { 0 4095 0 4095 } -> { 0 4000 0 4095 }\n");
    EXPECT_EQ(sent(), (std::vector<std::string>{
                          "F6 00 9F 00 01",                                            // lock
                          "F6 01 83 00 02",                                            // host interface
                          "F6 02 B0 00 00", "00 46 55 4C 4C", "01 20 50 41 4E", "02 45 4C 20 31",
                          "03 35 2E 36 00", "04 00 00 00 00", "F6 02 B1 00 00",        // the panel text
                          "F6 03 81 00 05",                                            // finger
                          "F6 04 85 00 01",                                            // palm
                          "F6 08 81 A0 0F", "F6 08 90 00 00",                          // coordinate, activate
                          "F6 00 9F 00 00",                                            // unlock
                          "F6 00 90 00 00",                                            // flush
                      }));
    // The page is idle again once it handed the controller to the reconnect.
    EXPECT_EQ(mainWindow.messages, (std::vector<Msg>{{qvui::WM_PAGE_STATE, 1, 104},
                                                     {qvui::WM_DISCONNECT_DEVICE, 0, 0},
                                                     {qvui::WM_PAGE_STATE, 0, 104}}));
    EXPECT_FALSE(ctl().profile().updateLocked);

    // After the main window's reset the controller holds the edits.
    ASSERT_TRUE(resetAndReopen());
    ASSERT_TRUE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.records.hostInterface.item3.stored, 2);
    EXPECT_EQ(c.records.finger.item0[1].stored, 5);
    EXPECT_EQ(c.records.palm.item5.stored, 1);
    EXPECT_EQ(c.records.coordinate.word[1].stored, 4000);
}

TEST_F(Sheet, CancelSendsNothingAndEngineerModeAsksNothing) {
    openSheet();
    editThreeGroups();
    Boxes boxes;
    boxes.answer = qvui::MessageAnswer::Cancel;
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteDeclined);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(mainWindow.messages, (std::vector<Msg>{{qvui::WM_PAGE_STATE, 1, 104}, {qvui::WM_PAGE_STATE, 0, 104}}));

    vcx::programState().engineerMode = true;
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteFlushed);
    vcx::programState().engineerMode = false;
    EXPECT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(sentWith("F6 00 9F"), (std::vector<std::string>{"F6 00 9F 00 01", "F6 00 9F 00 00"}));
}

TEST_F(Sheet, ARefusedGroupWriteReleasesTheLockAndKeepsTheEdits) {
    openSheet();
    editThreeGroups();
    Boxes boxes;
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x03, 0x80, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}));
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteGroupFailed);
    ASSERT_EQ(boxes.asked.size(), 2u);
    EXPECT_EQ(boxes.asked[1].text, "Update Parameters to Device Failed.");
    EXPECT_EQ(boxes.asked[1].caption, "Update Parameters to Device Failed.");
    EXPECT_EQ(boxes.asked[1].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    EXPECT_FALSE(ctl().profile().updateLocked);
    EXPECT_TRUE(sentWith("F6 00 90").empty());
    EXPECT_EQ(c.records.finger.item0[1].value, 5);
    EXPECT_EQ(c.records.palm.item5.value, 1);
    EXPECT_EQ(mainWindow.messages.back(), (Msg{qvui::WM_PAGE_STATE, 0, 104}));
}

TEST_F(Sheet, ARefusedLockOrFlushSaysSoAndAnUnflushedWriteIsGoneAfterAReset) {
    openSheet();
    editThreeGroups();
    Boxes boxes;
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x9F, 0x00, 0x01}), 1);
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteLockFailed);
    EXPECT_EQ(boxes.texts().back(), "Parameters Update Lock Failed.");
    EXPECT_EQ(sent(), std::vector<std::string>{"F6 00 9F 00 01"});

    ctl().clearTrace();
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x90, 0x00, 0x00}), 1);
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteFlushFailed);
    EXPECT_EQ(boxes.texts().back(), "Flush Parameters to Device Failed.");
    EXPECT_EQ(ctl().profile().items.at({0x04, 5}).value, 1);  // in RAM
    ASSERT_TRUE(resetAndReopen());
    ASSERT_TRUE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.records.palm.item5.stored, 0);  // flash still had the old value
    EXPECT_EQ(c.records.finger.item0[1].stored, 10);
}

// A release of the update lock that the controller refuses is a failure, after
// written groups (no flush, the page idle again, no reconnect) and after a failed
// group write (both said); the release is tried on every way out.
TEST_F(Sheet, ARefusedReleaseOfTheLockSaysSoAndIsNotFlushed) {
    openSheet();
    editThreeGroups();
    Boxes boxes;
    const auto unlock = qvsim::PacketPrefix::exact({0xF6, 0x00, 0x9F, 0x00, 0x00});
    ctl().refuse(unlock, 1);
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteUnlockFailed);
    ASSERT_EQ(boxes.asked.size(), 2u);  // the change list, then the failure
    EXPECT_EQ(boxes.asked[1].text, "Parameters Update Unlock Failed.");
    EXPECT_EQ(boxes.asked[1].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    EXPECT_TRUE(sentWith("F6 00 90").empty());
    EXPECT_EQ(mainWindow.messages, (std::vector<Msg>{{qvui::WM_PAGE_STATE, 1, 104}, {qvui::WM_PAGE_STATE, 0, 104}}));

    ctl().clearTrace();
    mainWindow.messages.clear();
    c.records.finger.item0[1].value = 6;  // a change the first Apply did not write yet
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x03, 0x80, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}), 1);
    ctl().refuse(unlock, 1);
    EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteGroupAndUnlockFailed);
    ASSERT_EQ(boxes.asked.size(), 5u);
    EXPECT_EQ(boxes.asked[3].text, "Update Parameters to Device Failed.");
    EXPECT_EQ(boxes.asked[4].text, "Parameters Update Unlock Failed.");
    EXPECT_EQ(sentWith("F6 00 9F"), (std::vector<std::string>{"F6 00 9F 00 01", "F6 00 9F 00 00"}));
    EXPECT_TRUE(sentWith("F6 00 90").empty());
    EXPECT_EQ(mainWindow.messages.back(), (Msg{qvui::WM_PAGE_STATE, 0, 104}));
}

TEST_F(Sheet, ExitWritesTheCalibrationAsItWasLeft) {
    openSheet();
    c.records.calibrationCoordinate.word[0].value = 17;
    c.records.calibrationCoordinate.word[1].value = 4001;
    c.records.coordinate.word[0].value = 3;  // the record's range is not copied over the calibration
    vcx::CalibrationPending() = true;
    sheet->ExitDlg();
    EXPECT_FALSE(vcx::CalibrationPending());
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "F6 08 80 11 00", "F6 08 81 A1 0F", "F6 08 90 00 00",
                                                "F6 00 9F 00 00", "F6 08 90 00 00"}));
}

}  // namespace
