// The panel scan view on the simulated diag panel: the exact command sequence
// of each acquisition, the frames it keeps, the checks' verdicts in the list,
// the counters and the status picture, Cancel and a removal mid-scan, the run
// state rules and the failure marks.
#include "scan_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// One frame read: the scan, its progress poll and the bulk transfer.
const Strings kScan = {"F9 FF 91 00 00", "F9 FF 10 00 00", "FA 00 55 00 00"};

Strings times(int n, const Strings& part) {
    Strings out;
    for (int i = 0; i < n; ++i) out.insert(out.end(), part.begin(), part.end());
    return out;
}
Strings operator+(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The open/short acquisition of the diag panel (two frequency modes) with its
// pattern command, then the leave and the checks' one register read.
Strings openShortTrace(const std::string& pattern1, const std::string& pattern0) {
    return Strings{"F9 FF 90 00 01"} + times(6, kScan) + Strings{pattern1} + times(3, kScan) + Strings{pattern0} +
           kScan + Strings{"E0 00 FF 00 01", "F9 FF 92 00 81", "FA 00 55 00 00", "F9 FF 90 00 00", "E0 00 17 00 00"};
}

using diagtest::Mutual;

class DiagScan : public diagtest::ScanBench {
protected:
    // Polls until the panel is ready; the trace starts after the polls.
    void pollUntilReady() {
        for (int i = 0; i < 10 && view->timers().isActive(vcx::CVCXScanDlg::kTimerPoll); ++i) tick(1);
        ctl().clearTrace();
    }
    void manualRun() {
        view->SetRunState(0);
        pollUntilReady();
        view->OnBnClickedStart();
        runToEnd();
    }
};

TEST_F(DiagScan, OpenShortAcquisitionSendsTheExactSequence) {
    prepare();
    manualRun();
    EXPECT_EQ(sent(), openShortTrace("F3 00 0D 00 01", "F3 00 0D 00 00"));
    EXPECT_EQ(view->frame(), 12);  // frames 0..5, 7..9, mode 0 and mode 1: there is no frame 6
    EXPECT_EQ(view->progress(), vcx::CVCXScanDlg::kProgressEnd);
    // Without bit 13 of the scan capabilities the pattern goes out as FD.
    TearDown();
    prepare({{"scanCaps", "none"}});
    manualRun();
    EXPECT_EQ(sent(), openShortTrace("FD 00 00 00 01", "FD 00 00 00 00"));
}

TEST_F(DiagScan, ControlBoardAcquisitionUsesPatternThreeForThreeFrames) {
    prepare();
    view->SetRunState(5);
    pollUntilReady();  // a running state starts by itself once the panel is ready
    EXPECT_EQ(view->buttonsState(), 5);
    runToEnd();
    EXPECT_EQ(sent(), (Strings{"F9 FF 90 00 01", "F3 00 0D 00 03"} + times(3, kScan) +
                       Strings{"F3 00 0D 00 00", "F9 FF 90 00 00"}));
    EXPECT_TRUE(view->timers().isActive(vcx::CVCXScanDlg::kTimerGoldenDone));
    const auto& p = ctl().profile();
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(s.ScanFrame[i], Mutual(p, qvsim::kSensorRaw, i + 1, 3)) << i;
}

TEST_F(DiagScan, FramesLandWhereTheyBelong) {
    prepare();
    manualRun();
    const auto& p = ctl().profile();
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s.RawFrame[i], Mutual(p, qvsim::kSensorRaw, 4 + i, 0)) << i;
        EXPECT_EQ(s.ScanFrame[i], Mutual(p, qvsim::kSensorRaw, 7 + i, 1)) << i;
    }
    EXPECT_EQ(s.ModeFrame[0], Mutual(p, qvsim::kSensorRaw, 10, 0));
    EXPECT_EQ(s.ModeFrame[1], Mutual(p, 0x81, 10, 0));
    // The extra and last-column arrays of frame 5 (scan 6).
    const std::vector<uint16_t> whole = qvsim::SensorFrame(p, qvsim::kSensorRaw, 6, 0);
    const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
    std::vector<uint16_t> extra, last;
    for (size_t r = 0; r < p.rows; ++r) {
        for (size_t k = 0; k < p.extraColumns; ++k) extra.push_back(whole[r * perRow + p.columns + k]);
        last.push_back(whole[r * perRow + perRow - 1]);
    }
    EXPECT_EQ(s.ExtraFrame, extra);
    EXPECT_EQ(s.LastColumn, last);
}

// Capability bits 2 and 3: the device delivers no last-column and no extra
// array; their copies stay zeros of the panel's sizes instead of reading NULL.
TEST_F(DiagScan, WithoutExtraAndLastColumnArraysTheirCopiesAreZeros) {
    prepare({{"capability", "0 0 0x1F 0x1E"}});
    ASSERT_EQ(c.records.newRawArray.extra, nullptr);
    ASSERT_EQ(c.records.newRawArray.last, nullptr);
    manualRun();
    EXPECT_EQ(view->frame(), 12);
    EXPECT_EQ(s.ExtraFrame, vcx::Frame(size_t(16 * 2), 0));
    EXPECT_EQ(s.LastColumn, vcx::Frame(size_t(16), 0));
    EXPECT_TRUE(s.g_bScanPass);
}

TEST_F(DiagScan, AGoodPanelPassesAndAnOpenColumnFailsTheDriverCheck) {
    prepare();
    manualRun();
    EXPECT_TRUE(s.g_bScanPass);
    EXPECT_EQ(view->listRows(), QStringList{"PASS"});
    EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusPass);
    EXPECT_EQ(vcx::scanShared().passCount, 1);
    EXPECT_EQ(view->buttonsState(), 3);
    EXPECT_EQ(main.of(qvui::WM_PAGE_STATE), (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 1, 105},
                                                                             {qvui::WM_PAGE_STATE, 0, 105}}));
    TearDown();

    prepare({{"openColumn", "5 0 pattern1"}});
    manualRun();
    EXPECT_FALSE(s.g_bScanPass);
    EXPECT_EQ(s.g_wFailBits, vcx::kFailDriver);
    EXPECT_EQ(view->listRows(), QStringList{"Check Driver Abnormal Fail"});
    EXPECT_EQ(view->failIds(), std::vector<int>{2503});
    EXPECT_EQ(vcx::scanShared().failCount, 1);
    EXPECT_EQ(vcx::scanShared().passCount, 0);
    EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusFail);
    // The three lines the driver check reported are drawn red, every other node white.
    const int b = c.records.diagInfo.columns;
    for (size_t i = 0; i < view->failMask().size(); ++i) {
        const int column = int(i) % b;
        EXPECT_EQ(view->failMask()[i], column >= 4 && column <= 6 ? 1 : 0) << i;
    }
}

TEST_F(DiagScan, CancelAtFrameEightResetsThePatternAndLeaves) {
    prepare();
    view->SetRunState(0);
    pollUntilReady();
    view->OnBnClickedStart();
    runUntilFrame(8);
    ASSERT_EQ(view->frame(), 8);
    view->OnBnClickedCancel();
    const Strings all = sent();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(Strings(all.end() - 2, all.end()), (Strings{"F3 00 0D 00 00", "F9 FF 90 00 00"}));
    EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusCancel);
    EXPECT_EQ(view->buttonsState(), 1);
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    for (int id = 1; id <= 7; ++id) EXPECT_FALSE(view->timers().isActive(id)) << id;
    EXPECT_EQ(main.of(qvui::WM_PAGE_STATE).back(), (diagtest::Message{qvui::WM_PAGE_STATE, 0, 105}));
}

TEST_F(DiagScan, AStartRightAfterACancelDoesNotTakeTheOldReadForItsFrame) {
    prepare();
    view->SetRunState(0);
    pollUntilReady();
    view->OnBnClickedStart();
    runUntilFrame(4);
    ASSERT_TRUE(tick(5));  // scan 5 is being read
    view->OnBnClickedCancel();
    view->OnBnClickedStart();
    runToEnd();
    EXPECT_EQ(view->frame(), 12);
    EXPECT_TRUE(s.g_bScanPass);
    // Scans 6, 7, 8 are the new run's frames 0..2: its first raw frame is scan 9.
    EXPECT_EQ(s.RawFrame[0], Mutual(ctl().profile(), qvsim::kSensorRaw, 9, 0));
}

TEST_F(DiagScan, ARemovalAtFrameFourCancelsWithoutACommandAndFreesSafely) {
    prepare();
    view->SetRunState(0);
    pollUntilReady();
    view->OnBnClickedStart();
    runUntilFrame(4);
    ASSERT_TRUE(tick(5));  // the read of frame 4 is in flight
    ASSERT_TRUE(view->requestInFlight());
    ctl().clearTrace();
    ASSERT_TRUE(bench->remove("/sim/hidraw0"));
    view->DeviceGone();
    EXPECT_FALSE(view->requestInFlight());
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusCancel);
    for (int id = 1; id <= 7; ++id) EXPECT_FALSE(view->timers().isActive(id)) << id;
    // The controller, plugged in again, saw nothing after its removal.
    ASSERT_TRUE(bench->replug("/sim/hidraw0"));
    // At most the read that was in flight reached it, never a pattern or leave command.
    for (const std::string& command : sent())
        EXPECT_NE(std::find(kScan.begin(), kScan.end(), command), kScan.end()) << command;
    // The worker is idle: the arrays may go now.
    FreeNewRawArray(c.dev.device, &c.records.newRawArray);
    vcx::FreeDiagBuffers(s);
    // A late tick finds nothing to do.
    EXPECT_FALSE(tick(5));
}

TEST_F(DiagScan, RunStatesAreNotReplacedAndMarksStayInsideThePanel) {
    prepare();
    view->SetRunState(2);
    view->SetRunState(5);
    EXPECT_EQ(view->runState(), 2);
    view->SetRunState(0);
    EXPECT_EQ(view->runState(), 0);

    const std::vector<uint8_t> clean(size_t(16 * 28), 0);
    view->MarkFailure(253, 0);  // not running: nothing
    EXPECT_EQ(view->failMask(), clean);
    view->OnBnClickedStart();
    for (auto [w, l] : std::initializer_list<std::pair<quint64, qint64>>{
             {200, 5000}, {16, 0}, {0, 28}, {255, 28}, {254, 16}, {252, 0}, {240, 3}, {0, -1}})
        view->MarkFailure(w, l);
    EXPECT_EQ(view->failMask(), clean);
    view->MarkFailure(15, 27);
    view->MarkFailure(255, 3);
    view->MarkFailure(254, 2);
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k < 28; ++k)
            EXPECT_EQ(view->failMask()[size_t(r * 28 + k)], (r == 15 && k == 27) || k == 3 || r == 2 ? 1 : 0);
    view->MarkFailure(253, 0);
    EXPECT_EQ(view->failMask(), std::vector<uint8_t>(size_t(16 * 28), 1));
    view->OnBnClickedCancel();
}

TEST_F(DiagScan, ReadyPollGivesUpAfterSixPollsAndStartsARunningState) {
    prepare({{"readyAfterPolls", "100"}});
    view->SetRunState(1);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(tick(1));
    EXPECT_EQ(view->pollCount(), 6);
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    ASSERT_TRUE(tick(1));  // the seventh poll: polls are used up
    EXPECT_FALSE(view->timers().isActive(1));
    EXPECT_TRUE(vcx::scanShared().g_bScanRunning);
    EXPECT_TRUE(view->timers().isActive(vcx::CVCXScanDlg::kTimerOpenShort));
    view->OnBnClickedCancel();
    // State 0 waits for Start once the panel is ready.
    TearDown();
    prepare();
    view->SetRunState(0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick(1));
    EXPECT_FALSE(view->timers().isActive(1));
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    EXPECT_EQ(view->buttonsState(), 1);
}

}  // namespace

namespace {

// The profiles a user starts the program on (and the checks' own panel) begin
// with a panel that passes every check of the open/short test.
TEST_F(DiagScan, EveryProfileToTryAPageOnStartsWithAHealthyPanel) {
    for (const char* profile : {"demo", "full", "full125", "diag"}) {
        SCOPED_TRACE(profile);
        prepare({}, profile);
        manualRun();
        EXPECT_TRUE(s.g_bScanPass) << view->listRows().join(", ").toStdString();
        EXPECT_EQ(view->listRows(), QStringList{"PASS"});
        TearDown();
    }
}

// F9 FF 92 (the load of a frequency-mode frame) refused: the library leaves the
// previous frame in the array. Once, the frame is read again and judged as it
// is (its fault fails the base-flat check); always, the run fails naming the
// frame after the transport's five attempts, judges nothing and leaves the
// controller scanning normally.
TEST_F(DiagScan, AFrameThatWasNotReadIsReadAgainAndNeverJudged) {
    const qvsim::PacketPrefix load({0xF9, 0xFF, 0x92, 0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0x00, 0x00});
    prepare({{"bump", "5 10 200 mode1"}});
    ctl().refuse(load, 1);
    manualRun();
    EXPECT_FALSE(s.g_bScanPass);
    EXPECT_EQ(s.g_wFailBits, vcx::kFailBaseFlat);
    EXPECT_EQ(view->listRows(), QStringList{"Check Base Flat Fail"});
    TearDown();

    prepare({{"bump", "5 10 200 mode1"}});
    ctl().refuse(load);
    manualRun();
    EXPECT_FALSE(s.g_bScanPass);
    EXPECT_EQ(s.g_wFailBits, 0);
    EXPECT_EQ(view->listRows(), QStringList{"Read Frame 11 Fail"});
    EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusFail);
    EXPECT_EQ(vcx::scanShared().failCount, 1);
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    const Strings all = sent();
    EXPECT_EQ(std::count(all.begin(), all.end(), "F9 FF 92 00 81"), vcx::CVCXScanDlg::kFrameReadAttempts);
    // No check ran (the absolute check would ask E0 00 17); pattern off and diagnostic mode off close the run.
    EXPECT_EQ(std::count(all.begin(), all.end(), "E0 00 17 00 00"), 0);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(Strings(all.end() - 2, all.end()), (Strings{"F3 00 0D 00 00", "F9 FF 90 00 00"}));
    for (int id = 1; id <= 7; ++id) EXPECT_FALSE(view->timers().isActive(id)) << id;
    EXPECT_EQ(main.of(qvui::WM_PAGE_STATE).back(), (diagtest::Message{qvui::WM_PAGE_STATE, 0, 105}));
}

// A controller left under test pattern 1 or in diagnostic mode is no pass,
// however good its frames: the run fails and the list says what was not undone.
TEST_F(DiagScan, ARestoreTheControllerDidNotTakeFailsTheRun) {
    struct Case {
        qvsim::Packet command;
        bool silence;
        const char* row;
    };
    const Case cases[] = {
        {{0xF3, 0x00, 0x0D, 0x00, 0x00}, false, "Test Pattern Off Fail"},
        {{0xF9, 0xFF, 0x90, 0x00, 0x00}, true, "Leave Diagnostic Mode Fail"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.row);
        prepare();
        const qvsim::PacketPrefix exact = qvsim::PacketPrefix::exact(k.command);
        if (k.silence)
            ctl().silence(exact);
        else
            ctl().refuse(exact);
        manualRun();
        EXPECT_FALSE(s.g_bScanPass);
        EXPECT_EQ(s.g_wFailBits, 0);  // the frames themselves pass
        EXPECT_EQ(view->listRows(), QStringList{k.row});
        EXPECT_EQ(view->status(), vcx::CVCXScanDlg::kStatusFail);
        TearDown();
    }
}

}  // namespace
