// The update's failures: each ends in its text with the page idle and the
// failure picture, never reported as success; the version check by whole texts.

#include "update_support.h"

#include "core/program_state.h"
#include "core/program_hooks.h"
#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using updatetest::UpdatePage;

struct FaultCase {
    const char* name;
    std::function<void(qvsim::Controller&)> fault;
    uint32_t text;  // the result text, 0: success
};

class UpdateFaults : public UpdatePage, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateFaults, EndsInItsTextWithThePageIdle) {
    ASSERT_TRUE(start());
    GetParam().fault(dev());
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(pageStates().empty());
    EXPECT_EQ(pageStates().back(), 0u);
    EXPECT_TRUE(page->resultShown());
    if (GetParam().text == 0) {
        EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
        EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data));
    } else {
        EXPECT_FALSE(page->resultSuccess());
        ASSERT_FALSE(qvui::loadString(GetParam().text).isEmpty());
        EXPECT_EQ(page->resultText(), qvui::loadString(GetParam().text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Update, UpdateFaults,
    ::testing::Values(
        FaultCase{"D1TwiceIsAbsorbed", [](qvsim::Controller& c) { c.profile().boot->d1Failures[2] = 2; }, 0},
        FaultCase{"D1ThreeTimes", [](qvsim::Controller& c) { c.profile().boot->d1Failures[2] = 3; }, 1322},
        FaultCase{"D0Refused", [](qvsim::Controller& c) { c.refuse(0xD0); }, 1321},
        FaultCase{"D2AnswersZero", [](qvsim::Controller& c) { c.profile().d2Reply = {0, 0, 0, 0}; }, 1313},
        FaultCase{"D2AnswersSix", [](qvsim::Controller& c) { c.profile().d2Reply = {6, 0, 0, 0}; }, 1313},
        FaultCase{"PacketSizeZeroFallsBackToPackets", [](qvsim::Controller& c) { c.profile().bootPacketSize = 0; }, 0},
        FaultCase{"NoBootMark", [](qvsim::Controller& c) { c.profile().boot->hideBootMark = true; }, 1318},
        FaultCase{"SilentAfterFF", [](qvsim::Controller& c) { c.silence(qvsim::PacketPrefix({0xFF, 0x55}, {0xFF, 0xFF, 0, 0, 0})); }, 1312}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdatePage, AControllerThatNeverComesBackIsSearchedTenTimes) {
    ASSERT_TRUE(start());
    // The loader leaves the bus after block 0 and does not come back.
    int arrivals = 0;
    bench->watch([&](const qvsim::DeviceEvent& e) {
        if (e.arrival && ++arrivals == 2) bench->remove("/sim/hidraw0");
    });
    useFile(fwtest::image(updatetest::NewImage()));
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_FALSE(page->resultSuccess());
    const auto s = steps();
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.back(), "STATE_FU_FAILED");
    // Ten searches after the master's end step.
    EXPECT_EQ(SearchesAfterTheMastersEnd(), 10);
}

TEST_F(UpdatePage, AVersionThatDoesNotRunAfterProgrammingIsAFailure) {
    ASSERT_TRUE(start());
    // The loader runs another build than the file's.
    dev().editProfile([](qvsim::ControllerProfile& p) { p.boot->image = qvsim::FirmwareIdentity{2, 6, 3, 1, 4}; });
    useFile(fwtest::image(updatetest::NewImage()));
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_FALSE(page->resultSuccess());
    // The result line names the failed check, not "Programing finish." beside FAIL.
    EXPECT_EQ(page->resultText(), qvui::loadString(1332)) << page->resultText().toStdString();
}

TEST_F(UpdatePage, TheCommandLineFileRunsTheUpdateAndASilentRunReportsItsResult) {
    ASSERT_TRUE(start());
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    const QString file = fw.szFirmwarePath;
    fw.szFirmwarePath.clear();
    auto& o = vcx::startupState().options;
    const auto saved = o;
    o.silentMode = true;
    o.optS = true;
    // Main timer 10 hands the file to the page through its hook.
    ASSERT_TRUE(vcx::programHooks().updateStartWithFile);
    vcx::programHooks().updateStartWithFile(file);
    drive();
    o = saved;
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data));
    bool silent = false;
    for (const auto& m : sink.messages)
        if (m.message == qvui::WM_SILENT_RESULT) silent = m.wParam == 0 && m.lParam == 1;
    EXPECT_TRUE(silent);
}

// "-m" with a file runs the update unattended without the silent result: the
// program still ends, with the update's result as its exit status.
TEST_F(UpdatePage, AnUnattendedUpdateWithoutSilentResultEndsTheProgram) {
    ASSERT_TRUE(start());
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    const QString file = fw.szFirmwarePath;
    fw.szFirmwarePath.clear();
    auto& o = vcx::startupState().options;
    const auto saved = o;
    const int savedStatus = vcx::startupState().exitStatus;
    o.silentMode = true;
    vcx::programHooks().updateStartWithFile(file);
    drive();
    o = saved;
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    bool silent = false, exit = false;
    for (const auto& m : sink.messages) {
        silent = silent || m.message == qvui::WM_SILENT_RESULT;
        exit = exit || (m.message == qvui::WM_TIMER && m.wParam == quint64(vcx::kTimerExit));
    }
    EXPECT_FALSE(silent);
    EXPECT_TRUE(exit);
    EXPECT_EQ(vcx::startupState().exitStatus, 0);
    vcx::startupState().exitStatus = savedStatus;
}

TEST(UpdateVersion, WholeTextsAreCompared) {
    struct Case {
        const char* controller;
        const char* entry;
        bool entryHasBuild;
        bool match;
    } cases[] = {
        {"QV2081A.D03.2.7.3.4   Boot : 1.3 B", "2081A.D03.2.7.3.4", true, true},
        {"QV2081A.D03.2.7.3.4   Boot : 1.3 B", "2081A.D03.2.7.3", true, false},
        {"QV2081A.D03.2.7.3   Boot : 1.3 B", "2081A.D03.2.7.3.4", true, false},
        {"QV2081A.D03.2.71.3   Boot", "2081A.D03.2.7", false, false},
        {"QV2081A.D03.2.7.0   Boot", "2081A.D03.2.7", false, true},  // no build tail: build .0
        {"QV2081A.D03.2.7.1   Boot", "2081A.D03.2.7", false, false},
        {"QV6020A.2.5.0   Boot", "6020A.2.5", false, true},
        {"QV6020A.2.5.0.0   Boot", "6020A.2.5.0", true, false},
        {"QV6020A.2.5 (Boot)", "6020A.2.5", false, false},  // a loader's text is not the firmware's
        {"", "6020A.2.5", false, false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(vcx::VersionMatches(QString::fromLatin1(k.controller), QString::fromLatin1(k.entry), k.entryHasBuild),
                  k.match)
            << k.controller << " / " << k.entry;
}

}  // namespace

namespace {

TEST_F(UpdatePage, AnotherControllerOnTheBusSeesNoBootCommand) {
    ASSERT_TRUE(start());
    // A second controller of the same kind beside the first.
    qvsim::ControllerProfile copy = dev().profile();
    qvsim::HidInfo info = bench->hid("/sim/hidraw0")->info();
    info.path = "/sim/hidraw1";
    info.parentInstanceId = "USB\\VID_2E7B&PID_3501\\5&1A2B3C&0&9";
    auto other = std::make_shared<qvsim::Controller>(copy);
    bench->addHid(other, info);
    const auto im = updatetest::NewImage();
    useFile(fwtest::image(im));
    const QString key = c.dev.currentKey;
    page->timers()->start(13, 10);
    drive();
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_EQ(dev().profile().boot->flash, updatetest::Padded(im.data));
    for (const auto& e : other->trace()) {
        EXPECT_NE(e.packet[0], 0xFF) << "the other controller was sent a boot entry";
        EXPECT_NE(e.packet[0], 0xD0) << "the other controller was programmed";
    }
    EXPECT_TRUE(other->profile().boot->flash.empty());
    EXPECT_EQ(c.dev.currentKey, key);  // the page ends on the controller it programmed
}

}  // namespace

namespace {

TEST_F(UpdatePage, TheTestVersionQuestionRunsNoSecondStepAndNoStops) {
    for (auto answer : {qvui::MessageAnswer::No, qvui::MessageAnswer::Yes}) {
        TearDown();
        ASSERT_TRUE(start());
        auto im = updatetest::NewImage();
        im.byte21 = 0x01;  // a test version
        useFile(fwtest::image(im));
        int asked = 0;
        qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest&) {
            ++asked;
            // The box's own event loop lets a step timer fire: the machine does not run it inside.
            page->timers()->start(17, 10);
            qvui::fireTimer(page.get(), 17);
            return answer;
        });
        page->timers()->start(13, 10);
        drive();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
        const auto s = steps();
        EXPECT_EQ(std::count(s.begin(), s.end(), "STATE_FU_MST"), 1);
        if (answer == qvui::MessageAnswer::No) {
            EXPECT_EQ(page->resultText(), qvui::loadString(1330));
            EXPECT_TRUE(dev().profile().boot->flash.empty());
        } else {
            EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
        }
    }
}

}  // namespace

namespace {

// "-br": the bridge runs at the option's baud code while the blocks are written
// and is put back after block 0, and after a failure too.
TEST_F(UpdatePage, TheBridgeBaudOfBrIsRestoredOnEveryEnding) {
    for (bool fail : {false, true}) {
        SCOPED_TRACE(fail ? "failure" : "success");
        TearDown();
        ASSERT_TRUE(start());
        dev().editProfile([&](qvsim::ControllerProfile& p) {
            p.boot->image = updatetest::NewIdentity();
            if (fail) p.boot->d1Failures[1] = -1;
        });
        dev().setReg(0x00, 0x02, {0, 0, 0, 0x05});  // the bridge's baud code now
        c.dev.bridgeFlags[0] = 0x10;
        auto& o = vcx::startupState().options;
        const auto saved = o;
        o.optBR = 3;
        useFile(fwtest::image(updatetest::NewImage()));
        dev().clearTrace();
        page->timers()->start(13, 10);
        drive();
        o = saved;
        EXPECT_EQ(page->resultSuccess(), !fail);
        std::vector<uint8_t> codes;
        for (const auto& e : dev().trace())
            if (e.packet[0] == 0xF2) codes.push_back(e.packet[4]);
        EXPECT_EQ(codes, (std::vector<uint8_t>{3, 5}));
    }
}

}  // namespace

namespace {

// A controller that comes back after its loader without answering, or not at all.
TEST_F(UpdatePage, AControllerSilentOrGoneAfterItsLoaderFails) {
    for (auto exit : {qvsim::BootFlash::Exit::Silent, qvsim::BootFlash::Exit::Never}) {
        TearDown();
        ASSERT_TRUE(start());
        dev().editProfile([&](qvsim::ControllerProfile& p) {
            p.boot->image = updatetest::NewIdentity();
            p.boot->exit = exit;
        });
        useFile(fwtest::image(updatetest::NewImage()));
        page->timers()->start(13, 10);
        drive();
        EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
        EXPECT_FALSE(page->resultSuccess());
        ASSERT_FALSE(steps().empty());
        EXPECT_EQ(steps().back(), "STATE_FU_FAILED");
        ASSERT_FALSE(pageStates().empty());
        EXPECT_EQ(pageStates().back(), 0u);
    }
}

}  // namespace

namespace {

// A master in its loader whose number is not the file's: refused with its text.
TEST_F(UpdatePage, AMasterInBootThatDoesNotMatchTheFileSaysSo) {
    ASSERT_TRUE(start());
    dev().editProfile([](qvsim::ControllerProfile& p) { p.inBoot = true; });
    readRecords();
    ASSERT_NE(c.records.fwVersion.masterInBoot, 0);
    auto im = updatetest::NewImage();
    im.product = uint16_t(2081 | 0x8000);  // another 16-bit product number
    useFile(fwtest::image(im));
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_EQ(page->resultText(), qvui::loadString(1316));
    EXPECT_TRUE(page->resultShown());
    EXPECT_FALSE(page->resultSuccess());
    for (const auto& e : dev().trace()) EXPECT_NE(e.packet[0], 0xD0);
}

}  // namespace

namespace {

// Interface index 1 with the host-interface identity bits: E0 00 40 / 42 whose
// low nibbles differ are put right with E1 in the update lock, then flushed.
TEST_F(UpdatePage, TheHostInterfaceNibbleIsPutRightBeforeProgramming) {
    ASSERT_TRUE(start());
    dev().setReg(0x00, 0x40, {0, 0, 0, 0x13});
    dev().setReg(0x00, 0x42, {0, 0, 0, 0x25});
    c.records.fwInformation.interfaceBits = 1;
    c.records.hostInterface.identity[2] = 0x00;
    c.records.hostInterface.identity[3] = 0x20;
    c.dev.paraVersion = 152;
    c.dev.featureFlags[2] = 0x00;
    useFile(fwtest::image(updatetest::NewImage()));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    const auto sent = qvtest::Hex(qvtest::Received(dev()));
    const auto at = [&](const std::string& s) { return std::find(sent.begin(), sent.end(), s) - sent.begin(); };
    const auto write = at("E1 00 42 00 23");  // high nibble of 42, low nibble of 40
    ASSERT_LT(size_t(write), sent.size());
    EXPECT_LT(write, at("FF AA 55 AA 55"));  // before the boot entry
    EXPECT_LT(write, at("F6 00 90 00 00"));  // flushed after it
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
}

}  // namespace
