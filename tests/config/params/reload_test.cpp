// Reload Default on the full controllers: the question, what each answer sends
// and what the controller holds after its reset; at item protocol 1.25 with the
// newer firmware the main window is told to reload everything again at the
// next arrival (state 2), which its device connection then asks for.
#include "params/para_dlg.h"
#include "core/parameter_read.h"
#include "params_support.h"
#include "core/strings.h"
#include "shell/device_connection.h"
#include "core/main_ids.h"
#include "core/program_state.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using paramtest::ParamBench;
using Msg = MainWindowSink::Message;

class Reload : public ParamBench {
protected:
    MainWindowSink mainWindow;
    std::unique_ptr<vcx::CQVParaDlg> sheet;

    void TearDown() override {
        sheet.reset();
        ParamBench::TearDown();
    }
    // The profile read, the host interface and palm rejection changed and flushed.
    void prepare(const std::string& profile) {
        vcx::addProgramStrings();
        ASSERT_TRUE(open(profile));
        vcx::ReadDevice(c, vcx::programState(), false);
        sheet = std::make_unique<vcx::CQVParaDlg>(c, nullptr);
        sheet->setMainWindow(&mainWindow);
        vcx::programState().engineerMode = true;
        c.records.hostInterface.item[0].value = 2;
        c.records.palm.item5.value = 1;
        ASSERT_EQ(vcx::WriteChangedParameters(c, nullptr), vcx::kWriteFlushed);
        vcx::programState().engineerMode = false;
        ctl().clearTrace();
    }
    int afterReset(uint8_t group, uint8_t item) {
        EXPECT_TRUE(resetAndReopen());
        return ctl().profile().items.at({group, item}).value;
    }
};

TEST_F(Reload, YesReloadsEveryDefaultNoKeepsInterfaceAndPanel) {
    prepare("full");
    Boxes boxes;
    boxes.answer = qvui::MessageAnswer::No;
    EXPECT_EQ(sheet->ReloadDefaultParameters(), 1);
    ASSERT_EQ(boxes.asked.size(), 1u);
    const qvui::MessageBoxRequest& q = boxes.asked[0];
    EXPECT_EQ(q.caption, "Reload Default");
    EXPECT_EQ(q.text, "Warning! Most of the VCX parameters will be reset to firmware default values.\n"
                      "Check these parameters reset to default or not :\n1. Host interface parameters.\n"
                      "2. Panel info parameters.");
    EXPECT_EQ(q.buttons, qvui::MessageButtons::YesNoCancel);
    EXPECT_EQ(q.defaultAnswer, qvui::MessageAnswer::No);
    EXPECT_EQ(q.icon, qvui::MessageIcon::Warning);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "F6 00 91 00 00", "F6 00 9F 00 00", "F6 00 90 00 00"}));
    EXPECT_EQ(mainWindow.messages, (std::vector<Msg>{{qvui::WM_PAGE_STATE, 1, 104},
                                                     {qvui::WM_DISCONNECT_DEVICE, 0, 0},
                                                     {qvui::WM_PAGE_STATE, 0, 104}}));
    EXPECT_EQ(afterReset(0x01, 0), 2);  // the host interface kept
    EXPECT_EQ(afterReset(0x04, 5), 0);  // palm rejection back to its default

    ctl().clearTrace();
    mainWindow.messages.clear();
    boxes.answer = qvui::MessageAnswer::Yes;
    EXPECT_EQ(sheet->ReloadDefaultParameters(), 0);
    EXPECT_EQ(sentWith("F6 00 91"), std::vector<std::string>{"F6 00 91 55 AA"});
    EXPECT_EQ(mainWindow.messages.front(), (Msg{qvui::WM_PAGE_STATE, 1, 104}));
    EXPECT_EQ(afterReset(0x01, 0), 0);

    ctl().clearTrace();
    mainWindow.messages.clear();
    boxes.answer = qvui::MessageAnswer::Cancel;
    EXPECT_EQ(sheet->ReloadDefaultParameters(), 2);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(mainWindow.messages.empty());
}

TEST_F(Reload, AtOneTwentyFiveYesReloadsAgainAtTheNextArrival) {
    prepare("full125");
    ASSERT_EQ(c.dev.paraVersion, 125);
    ASSERT_TRUE(c.dev.newFirmware);
    // The main window's part: page state 2 asks for the reload at the arrival, the
    // idle state after the hand-over to the reconnect leaves it asked.
    vcx::DeviceConnection connection;
    mainWindow.onMessage = [&](const Msg& m) {
        if (m.message == qvui::WM_PAGE_STATE && m.lParam == vcx::kTemplateParameters && m.wParam != 0)
            connection.setReloadDefaultsOnArrival(m.wParam == 2);
        if (m.message == qvui::WM_DISCONNECT_DEVICE) {
            EXPECT_TRUE(resetAndReopen());
            connection.disconnected();
        }
    };
    Boxes boxes;
    boxes.answer = qvui::MessageAnswer::Yes;
    EXPECT_EQ(sheet->ReloadDefaultParameters(), 0);
    EXPECT_EQ(mainWindow.messages.front(), (Msg{qvui::WM_PAGE_STATE, 2, 104}));
    EXPECT_TRUE(connection.reloadDefaultsOnArrival());
    // The controller arrives again.
    connection.arrivalEvent();
    for (int k = 0; k < vcx::DeviceConnection::kTicks - 1; ++k) connection.arrivalTick();
    ASSERT_EQ(connection.arrivalTick().back().step, vcx::DeviceConnection::Step::Search);
    const auto steps = connection.searched(true);
    ASSERT_TRUE(std::any_of(steps.begin(), steps.end(),
                            [](const auto& a) { return a.step == vcx::DeviceConnection::Step::ReloadDefaults; }));
    ReloadAllDefaultParameter(c.dev.device);
    EXPECT_EQ(sentWith("F6 00 91"), (std::vector<std::string>{"F6 00 91 55 AA", "F6 00 91 55 AA"}));
    EXPECT_EQ(ctl().profile().itemReloads.at(0x9155), 2u);
}

}  // namespace
