// The factory build view and its older build procedure on the simulated older
// diag panel (no system-reference version): the noise measure of one
// frequency, the overlay's percentages, the build's endings with their result
// codes and traces, the operator's question, Esc and removal, the ready poll's
// process-run verdicts and the process report.
#include "diag/factory_base_dlg.h"
#include "diag/new_fb_build_dlg.h"
#include "diag/panel_layout.h"
#include "diag/scan_dlg.h"
#include "scan_support.h"

#include "core/program_state.h"
#include "core/strings.h"
#include "diag/log_dlg.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"
#include "ui/window_timers.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Strings = std::vector<std::string>;
using vcx::CQVFactoryBaseDlg;
using vcx::CQVFBBuildDlg;

TEST(FactoryNoise, FifteenLargestAndMeanOfTheTenSmallest) {
    struct Case {
        const char* what;
        std::vector<int16_t> diffs;  // B - A per node (A all 1000)
        int threshold;
        std::array<uint16_t, 15> top;
        uint16_t mean;
        int result;
    };
    std::vector<int16_t> ramp(20);
    for (int i = 0; i < 20; ++i) ramp[size_t(i)] = int16_t(i % 2 ? i + 1 : -(i + 1));  // |d| = 1..20, signs mixed
    const Case cases[] = {
        // 6..20 held; the ten smallest (6..15) sum 105 -> 10; 20 - 11 = 9 nodes above 11, mean not above.
        {"quiet ramp", ramp, 11, {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 10, 0},
        // Same nodes, threshold 9: mean 10 > 9, nodes above 9: 11.
        {"noisy ramp", ramp, 9, {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 10, 11},
        // Fewer nodes than 15: zeros stay at the bottom and pull the mean down.
        {"three nodes", {50, -40, 30}, 2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 40, 50}, 0, 0},
        // Equal values: a value equal to the smallest held does not enter.
        {"all equal", std::vector<int16_t>(16, 30), 20,
         {30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}, 30, 16},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<int16_t> a(k.diffs.size(), 1000), b(k.diffs.size());
        for (size_t i = 0; i < b.size(); ++i) b[i] = int16_t(1000 + k.diffs[i]);
        const vcx::FrequencyNoise r = vcx::MeasureFrequencyNoise(a.data(), b.data(), int(a.size()), k.threshold);
        EXPECT_EQ(r.top, k.top);
        EXPECT_EQ(r.mean, k.mean);
        EXPECT_EQ(r.result, k.result);
    }
    // Signed values: the difference of -32768 and 32767 is taken whole, not wrapped.
    const int16_t lo = -32768, hi = 32767;
    EXPECT_EQ(vcx::MeasureFrequencyNoise(&lo, &hi, 1, 11).top[14], 65535);
}

TEST(FactoryOverlay, PercentagesAndPlace) {
    struct Case {
        int step, m, f, modes, freqs, polls, limit, percent;
    };
    const Case cases[] = {
        {CQVFBBuildDlg::kScan, 0, 0, 2, 3, 0, 24, 0},
        {CQVFBBuildDlg::kScan, 0, 2, 2, 3, 0, 24, 30},   // (2 x 90 / 2) / 3
        {CQVFBBuildDlg::kScan, 1, 1, 2, 3, 0, 24, 60},   // 45 + 15
        {CQVFBBuildDlg::kScan, 2, 0, 3, 4, 0, 24, 60},
        {CQVFBBuildDlg::kWait, 0, 0, 2, 3, 0, 24, 90},
        {CQVFBBuildDlg::kWait, 0, 0, 2, 3, 12, 24, 95},
        {CQVFBBuildDlg::kWait, 0, 0, 2, 3, 27, 28, 99},
        {CQVFBBuildDlg::kQuestion, 0, 0, 2, 3, 0, 24, -1},
    };
    for (const Case& k : cases)
        EXPECT_EQ(vcx::BuildOverlayPercent(k.step, k.m, k.f, k.modes, k.freqs, k.polls, k.limit), k.percent)
            << k.step << " " << k.m << " " << k.f << " " << k.polls;
    EXPECT_EQ(vcx::BuildOverlayRect(1920, 1080), QRect(480, 432, 960, 216));
    EXPECT_EQ(vcx::BuildOverlayRect(1366, 768), QRect(341, 307, 684, 153));
}

class FactoryBuild : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    diagtest::MainSink main;
    std::unique_ptr<CQVFactoryBaseDlg> view;
    vcx::CommandLineOptions optionsBefore;
    QTemporaryDir dir;

    void SetUp() override {
        optionsBefore = vcx::startupState().options;
        vcx::addProgramStrings();
    }
    void TearDown() override {
        view.reset();
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        vcx::scanShared() = vcx::ScanViewShared{};
        vcx::startupState().options = optionsBefore;
        DiagBench::TearDown();
    }

    // The older diag panel read as a connect reads it, its frame arrays and
    // layout, the view on it; the firmware takes the build and reports it done.
    void prepare() {
        ASSERT_TRUE(open("diag-old"));
        readDevice();
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        vcx::LoadPanelLayout(c, s);
        ASSERT_EQ(s.g_wSRVersion, 0);
        ASSERT_EQ(s.g_nFreqModeCount, 2);
        ASSERT_EQ(s.g_nFreqPerMode, 3);
        view = std::make_unique<CQVFactoryBaseDlg>(c, s);
        view->setMainWindow(&main);
        build().setRandom([] { return 0; });
        ctl().setReply(qvsim::PacketPrefix::exact({0xE4, 0x01, 0x00, 0x00, 0x00}), {0xE4, 0x01, 0x00, 0x00, 0x00});
        ctl().clearTrace();
    }
    CQVFBBuildDlg& build() { return view->olderBuild(); }
    // The status word the firmware reports from now on.
    void status(uint16_t word) {
        ctl().setReply(qvsim::PacketPrefix::exact({0xE4, 0x00, 0x00, 0x00, 0x00}),
                       {0xE4, 0x00, 0x00, uint8_t(word >> 8), uint8_t(word)});
    }
    // Every frequency of mode m is noisy.
    void noisyMode(uint8_t m) {
        ctl().editProfile([m](qvsim::ControllerProfile& p) {
            for (uint8_t f = 0; f < 3; ++f) p.sensor->frequencyNoise[uint8_t(f * 4 + m)] = 200;
        });
    }
    // Ticks the procedure's running timers until none runs (or it waits at the question).
    void run() {
        for (int guard = 0; guard < 400; ++guard) {
            bool ticked = false;
            for (int id = CQVFBBuildDlg::kIdle; id <= CQVFBBuildDlg::kRemoved && !ticked; ++id)
                ticked = qvui::fireTimer(&build(), id);
            if (!ticked) return;
        }
        ADD_FAILURE() << "the build did not end";
    }
    // Ticks the view's ready poll (and its report poll) to their end.
    void runReadyPoll() {
        for (int guard = 0; guard < 20; ++guard)
            if (!qvui::fireTimer(view.get(), CQVFactoryBaseDlg::kTimerReady) &&
                !qvui::fireTimer(view.get(), CQVFactoryBaseDlg::kTimerReport))
                return;
    }
    QString resultText() { return qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdResult)->text(); }
    // The text of string `id`, which must be registered.
    static QString text(int id) {
        const QString t = qvui::loadString(quint32(id));
        EXPECT_FALSE(t.isEmpty()) << id;
        return t;
    }
    void click(int id) { qvui::findControl<QPushButton>(&build(), id)->click(); }
    // The process steps the view posted to its main window.
    std::vector<diagtest::Message> processSteps() {
        QCoreApplication::sendPostedEvents(&main);
        return main.of(qvui::WM_PROCESS_STEP);
    }
};

TEST_F(FactoryBuild, CleanPanelBuildsAfterScanningEveryMode) {
    prepare();
    view->OnBnClickedStart();
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kScan);
    EXPECT_EQ(build().overlayText(), "Work in progress. Please wait....0%");
    ASSERT_TRUE(qvui::fireTimer(&build(), CQVFBBuildDlg::kScan));  // mode 0 quiet: mode 1 next
    EXPECT_EQ(build().overlayText(), "Work in progress. Please wait....45%");
    run();
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kIdle);
    EXPECT_EQ(view->resultCode(), 0);
    EXPECT_EQ(resultText(), text(1140));
    EXPECT_TRUE(view->savePending());
    EXPECT_EQ(build().modesChecked(), 3);  // both modes quiet at their first frequency
    const Strings t = sent();
    // The saved frequency is read, both modes are selected (v = 0 and 1, older
    // select form), the build is begun and the frequency comes back.
    EXPECT_EQ(t.front(), "F5 00 0F 00 00");
    EXPECT_NE(std::find(t.begin(), t.end(), "F5 00 F1 00 00"), t.end());
    EXPECT_NE(std::find(t.begin(), t.end(), "E4 01 00 00 00"), t.end());
    EXPECT_EQ(t.back(), "F5 00 F0 00 00");
    EXPECT_EQ(main.of(qvui::WM_PAGE_STATE).back(), (diagtest::Message{qvui::WM_PAGE_STATE, 0, 105}));
    EXPECT_TRUE(view->timers().isActive(CQVFactoryBaseDlg::kTimerReady));
}

// The frequency that could not be read is not "restored": that would select another.
TEST_F(FactoryBuild, AnUnreadFrequencyIsNotSentBack) {
    prepare();
    ctl().refuse(qvsim::PacketPrefix::exact({0xF5, 0x00, 0x0F, 0x00, 0x00}));
    view->OnBnClickedStart();
    run();
    EXPECT_EQ(view->resultCode(), 0);
    const Strings t = sent();
    const auto build = std::find(t.begin(), t.end(), "E4 01 00 00 00");
    ASSERT_NE(build, t.end());
    for (auto it = build; it != t.end(); ++it) EXPECT_NE(it->substr(0, 2), "F5") << *it;
}

// More modes than v = f x 4 + m can tell apart are taken as four: mode 4 would
// select the second frequency of mode 0.
TEST_F(FactoryBuild, ModeCountIsHeldToFour) {
    prepare();
    s.g_nFreqModeCount = 6;
    view->OnBnClickedStart();
    run();
    EXPECT_EQ(view->resultCode(), 0);
    EXPECT_EQ(build().modesChecked(), 5);
    const Strings t = sent();
    EXPECT_EQ(std::count(t.begin(), t.end(), "F5 00 F4 00 00"), 0);
}

// The simulator's own older build: busy for a number of status reads, then
// done with the reference saved; Erase marks it unsaved again.
TEST_F(FactoryBuild, TheFirmwaresOwnBuildCompletesAndErases) {
    prepare();
    ctl().clearReplies();
    ctl().editProfile([](qvsim::ControllerProfile& p) { p.buildPolls = 5; });
    view->OnBnClickedStart();
    run();
    EXPECT_EQ(view->resultCode(), 0);
    EXPECT_GT(build().waitPolls(), 0);
    runReadyPoll();
    auto* status = qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdStatus);
    EXPECT_EQ(status->text(), text(1131));
    view->OnBnClickedErase();
    runReadyPoll();
    EXPECT_EQ(status->text(), text(1130));
}

TEST_F(FactoryBuild, NoFrequencyHoppingEndsAtOnceWithoutAFrame) {
    prepare();
    s.g_nFreqModeCount = 0;
    view->OnBnClickedStart();
    EXPECT_EQ(view->resultCode(), 1);
    EXPECT_EQ(resultText(), text(1141));
    for (const std::string& cmd : sent()) EXPECT_NE(cmd.substr(0, 2), "F9") << cmd;
}

TEST_F(FactoryBuild, FailuresEndWithTheirCodes) {
    struct Case {
        const char* what;
        std::function<void(qvsim::Controller&)> fault;
        int code;
    };
    const Case cases[] = {
        {"frequency select refused", [](qvsim::Controller& k) { k.refuse(qvsim::PacketPrefix({0xF5, 0x00, 0xF0, 0, 0}, {0xFF, 0xFF, 0xF0, 0xFF, 0xFF})); }, 14},
        {"raw read refused", [](qvsim::Controller& k) { k.refuse(0xF9); }, 12},
        {"build refused", [](qvsim::Controller& k) { k.refuse(qvsim::PacketPrefix::exact({0xE4, 0x01, 0x00, 0x00, 0x00})); }, 2},
        {"status silent", [](qvsim::Controller& k) { k.silence(qvsim::PacketPrefix::exact({0xE4, 0x00, 0x00, 0x00, 0x00})); }, 13},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        prepare();
        k.fault(ctl());
        view->OnBnClickedStart();
        run();
        EXPECT_EQ(build().step(), CQVFBBuildDlg::kIdle);
        EXPECT_EQ(view->resultCode(), k.code);
        EXPECT_EQ(resultText(), text(1140 + k.code));
        view.reset();
        FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
    }
}

TEST_F(FactoryBuild, AFailedStatusReadIsNeverABuiltReference) {
    prepare();
    status(0x0100);  // busy
    view->OnBnClickedStart();
    for (int guard = 0; guard < 100 && build().step() != CQVFBBuildDlg::kWait; ++guard)
        qvui::fireTimer(&build(), CQVFBBuildDlg::kScan);
    ASSERT_EQ(build().step(), CQVFBBuildDlg::kWait);
    // The first wait poll goes unanswered: it counts a failure and the build goes on waiting.
    ctl().silence(qvsim::PacketPrefix::exact({0xE4, 0x00, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(qvui::fireTimer(&build(), CQVFBBuildDlg::kWait));
    ctl().clearFaults();
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kWait);
    EXPECT_EQ(build().waitPolls(), 1);
}

TEST_F(FactoryBuild, WaitTimesOutAfterTheLimitWhichThenGrows) {
    prepare();
    status(0x0100);
    view->OnBnClickedStart();
    run();
    EXPECT_EQ(view->resultCode(), 5);
    EXPECT_EQ(resultText(), text(1145));
    EXPECT_EQ(build().waitPolls(), 24);
    EXPECT_EQ(build().waitLimit(), 28);
}

TEST_F(FactoryBuild, NoisyModeAsksAndNoEndsWithTheFrequencyBack) {
    prepare();
    noisyMode(0);
    view->OnBnClickedStart();
    run();
    ASSERT_EQ(build().step(), CQVFBBuildDlg::kQuestion);
    EXPECT_EQ(build().overlayText(), text(1133));
    EXPECT_TRUE(qvui::findControl<QPushButton>(&build(), CQVFBBuildDlg::kIdYes)->isVisibleTo(&build()));
    click(CQVFBBuildDlg::kIdNo);
    EXPECT_EQ(view->resultCode(), 6);
    EXPECT_EQ(resultText(), text(1146));
    const Strings t = sent();
    EXPECT_EQ(t.back(), "F5 00 F0 00 00");
    EXPECT_EQ(std::count(t.begin(), t.end(), "E4 01 00 00 00"), 0);
}

TEST_F(FactoryBuild, EscapeAtTheQuestionCancels) {
    prepare();
    noisyMode(0);
    view->OnBnClickedStart();
    run();
    ASSERT_EQ(build().step(), CQVFBBuildDlg::kQuestion);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&build(), &up);
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kCancelled);
    run();
    EXPECT_EQ(view->resultCode(), 3);
    EXPECT_EQ(resultText(), text(1143));
}

TEST_F(FactoryBuild, ProcessRunYesBuildsAndReportsTheInterference) {
    prepare();
    vcx::scanShared().processReportFolder = QFile::encodeName(dir.path() + "/QV2081_").toStdString();
    noisyMode(0);
    view->AutoStart();
    run();
    ASSERT_EQ(build().step(), CQVFBBuildDlg::kQuestion);
    click(CQVFBBuildDlg::kIdYes);
    run();
    EXPECT_EQ(view->resultCode(), 0);
    runReadyPoll();
    EXPECT_EQ(processSteps(), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 1, 3}}));
    QFile report(dir.path() + "/QV2081_BuildSystemReferenceReport.csv");
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray whole = report.readAll();
    // The heading, the device's versions, then the noise table.
    EXPECT_TRUE(whole.startsWith("\r[ Build System Reference Result ]\r\rFirmware Version : "))
        << whole.left(120).toStdString();
    const QByteArray bytes = whole.mid(whole.indexOf("\rThreshold"));
    EXPECT_TRUE(bytes.startsWith("\rThreshold : 11\r\rFrequency mode : 0\r\rFH index, Mean, 1st ~ 15th diff\r\r0, "))
        << bytes.left(120).toStdString();
    EXPECT_TRUE(bytes.endsWith("\r\nWarning : Environmental interference.\r\n"));
    // Mode 0 ran through its three frequencies, mode 1 was asked nothing more.
    EXPECT_EQ(bytes.count("Frequency mode : "), 1);
    EXPECT_EQ(bytes.count(","), 2 + 3 * 16);  // the heading's two, then 16 per frequency line
}

TEST_F(FactoryBuild, ProcessRunVerdicts) {
    struct Case {
        const char* what;
        bool noisy;      // answered No: code 6
        uint16_t after;  // the status word the ready poll reads
        diagtest::Message step;
    };
    const Case cases[] = {
        // An older reference still active after a failed build does not pass the item.
        {"failed build, old base active", true, 0x0000, {qvui::WM_PROCESS_STEP, 2, 3}},
        {"failed build, no base", true, 0x0001, {qvui::WM_PROCESS_STEP, 4, 3}},
        {"built", false, 0x0000, {qvui::WM_PROCESS_STEP, 1, 3}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        prepare();
        vcx::scanShared().processReportFolder = QFile::encodeName(dir.path() + "/").toStdString();
        main.messages.clear();
        if (k.noisy) noisyMode(0);
        view->AutoStart();
        run();
        if (k.noisy) click(CQVFBBuildDlg::kIdNo);
        status(k.after);
        runReadyPoll();
        EXPECT_EQ(processSteps(), std::vector<diagtest::Message>{k.step});
        EXPECT_FALSE(view->processRun());
        view.reset();
        FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
    }
}

// A controller that reports a system-reference version takes the newer
// procedure; its process report carries the same heading and its own body.
TEST_F(FactoryBuild, AReportedVersionTakesTheNewerProcedure) {
    ASSERT_TRUE(open("diag"));
    c.api.SendDelayCmd = &::SendDelayCmd;  // the base save
    readDevice();
    c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
    ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
    vcx::LoadPanelLayout(c, s);
    ASSERT_EQ(s.g_wSRVersion, 102);
    const ParameterFunctionTable& t = c.records.paraFuncTable;
    ASSERT_TRUE(t.GetParameterAntiNoise(c.dev.device, c.records.generalInfo.groupMask, &c.records.antiNoise));
    view = std::make_unique<CQVFactoryBaseDlg>(c, s);
    view->setMainWindow(&main);
    view->Refresh();
    EXPECT_EQ(qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdVersion)->text(), "1.2");
    runReadyPoll();
    vcx::scanShared().processReportFolder = QFile::encodeName(dir.path() + "/").toStdString();
    view->AutoStart();
    EXPECT_TRUE(view->newerBuild().running());
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kIdle);
    for (int guard = 0; guard < 400 && view->newerBuild().running(); ++guard)
        for (int id = 11; id <= 20; ++id) qvui::fireTimer(&view->newerBuild(), id);
    EXPECT_EQ(view->resultCode(), 0);
    EXPECT_EQ(resultText(), text(1140));
    runReadyPoll();
    EXPECT_EQ(processSteps(), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 1, 3}}));
    QFile report(dir.path() + "/BuildSystemReferenceReport.csv");
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray bytes = report.readAll();
    EXPECT_TRUE(bytes.startsWith("\r[ Build System Reference Result ]\r")) << bytes.left(80).toStdString();
    EXPECT_TRUE(bytes.endsWith("\r[Build Result]\rResult : Build complete.\r")) << bytes.right(80).toStdString();
}

TEST_F(FactoryBuild, SecondAutoStartInAProcessRunIsIgnored) {
    prepare();
    view->AutoStart();
    ASSERT_EQ(build().step(), CQVFBBuildDlg::kScan);
    ctl().clearTrace();
    view->AutoStart();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kScan);
}

TEST_F(FactoryBuild, RemovalInAProcessRunFailsTheItemWithoutCommands) {
    prepare();
    view->AutoStart();
    ASSERT_TRUE(qvui::fireTimer(&build(), CQVFBBuildDlg::kScan));
    view->ResetProcedures();
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kRemoved);
    EXPECT_EQ(build().overlayText(), text(1135));
    ctl().clearTrace();
    run();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(build().step(), CQVFBBuildDlg::kIdle);
    EXPECT_EQ(processSteps(), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 3, 3}}));
    EXPECT_FALSE(view->savePending());
}

TEST_F(FactoryBuild, UnattendedFailureEndsFailedEvenWithAnOldBase) {
    prepare();
    vcx::startupState().options.optSR = true;
    s.g_nFreqModeCount = 0;  // code 1
    view->AutoStart();
    EXPECT_EQ(view->resultCode(), 1);
    status(0x0000);
    runReadyPoll();
    EXPECT_EQ(main.of(qvui::WM_SILENT_RESULT), (std::vector<diagtest::Message>{{qvui::WM_SILENT_RESULT, 0, 0}}));
}

// "Save log" after a built reference: the log dialog's batch number names the
// file in the log folder, which holds the device header and the noise table;
// the main window is asked to forward the log's end to the Debug page.
TEST_F(FactoryBuild, SaveLogWritesHeaderAndTable) {
    prepare();
    view->OnBnClickedStart();
    run();
    ASSERT_EQ(view->resultCode(), 0);
    qvui::findControl<QCheckBox>(view.get(), CQVFactoryBaseDlg::kIdAutoSave)->setChecked(false);
    status(0x0000);
    runReadyPoll();
    EXPECT_TRUE(main.of(qvui::WM_DEBUG_FORWARD).empty());  // nothing saved by itself
    EXPECT_TRUE(qvui::findControl(view.get(), CQVFactoryBaseDlg::kIdSaveLog)->isEnabled());
    qvui::FileChooserResponder folders([&](const qvui::FileChooserRequest&) { return dir.path(); });
    view->OnBnClickedSelectFolder();
    ASSERT_EQ(view->logFolder(), dir.path());
    qvui::DialogResponder dialogs([](QDialog& d) {
        qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch1)->setText("B7");
        return qvui::DialogChoice::Accept;
    });
    view->OnBnClickedSaveLog();
    const QStringList logs = QDir(dir.path()).entryList({"*_B7_*.csv"}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile log(dir.filePath(logs[0]));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    EXPECT_TRUE(bytes.contains("\rThreshold : 11\r\rFrequency mode : 0\r"));
    EXPECT_FALSE(bytes.startsWith("\rThreshold"));  // the device header comes first
    EXPECT_EQ(main.of(qvui::WM_DEBUG_FORWARD), (std::vector<diagtest::Message>{{qvui::WM_DEBUG_FORWARD, 0, 1}}));
    EXPECT_FALSE(qvui::findControl(view.get(), CQVFactoryBaseDlg::kIdSaveLog)->isEnabled());
}

// Every result the view can get shows its text (1140 + code) and its picture;
// code 4 (the device went away) changes nothing outside a process run.
TEST_F(FactoryBuild, EachResultShowsItsText) {
    prepare();
    auto* picture = qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdPicture);
    for (int code = 0; code <= 14; ++code) {
        SCOPED_TRACE(code);
        view->OnBnClickedStart();  // the older build, ended at once below
        build().Reset();
        ASSERT_TRUE(qvui::fireTimer(&build(), CQVFBBuildDlg::kScan));  // the removal ends it: code 4
        EXPECT_FALSE(picture->isVisible());
        EXPECT_EQ(resultText(), text(1362));
        qvui::sendMessage(view.get(), qvui::WM_BUILD_PROGRESS, quint64(code), 0);
        if (code == 4) {
            EXPECT_EQ(resultText(), text(1362));
            // The main window is told the page is idle again.
            EXPECT_EQ(main.of(qvui::WM_PAGE_STATE).back(), (diagtest::Message{qvui::WM_PAGE_STATE, 0, 105}));
            continue;
        }
        EXPECT_EQ(view->resultCode(), code);
        EXPECT_EQ(resultText(), text(1140 + code));
        EXPECT_TRUE(picture->isVisibleTo(view.get()));
        // The whole picture shows: the control is as large as the picture.
        EXPECT_EQ(picture->size(), picture->pixmap().size());
        EXPECT_FALSE(picture->pixmap().isNull());
        EXPECT_TRUE(view->savePending());
    }
}

// The process report of a clean build lists every frequency of each checked
// mode: the measured ones with their mean and 15 differences from the largest
// down, the ones never measured as zeros.
TEST_F(FactoryBuild, ProcessReportListsEveryFrequencyOfEachMode) {
    prepare();
    vcx::scanShared().processReportFolder = QFile::encodeName(dir.path() + "/").toStdString();
    view->AutoStart();
    run();
    ASSERT_EQ(view->resultCode(), 0);
    runReadyPoll();
    QFile report(dir.path() + "/BuildSystemReferenceReport.csv");
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QByteArray whole = report.readAll();
    const QString body = QString::fromLatin1(whole.mid(whole.indexOf("\rThreshold")));
    const QString zeros = QStringLiteral(",0").repeated(15);
    QString pattern = QRegularExpression::escape("\rThreshold : 11\r");
    for (int k = 0; k < 2; ++k)
        pattern += QRegularExpression::escape(
                       QStringLiteral("\rFrequency mode : %1\r\rFH index, Mean, 1st ~ 15th diff\r\r").arg(k)) +
                   "0, (\\d+)((?:,\\d+){15})\r" + QRegularExpression::escape("1, 0" + zeros + "\r2, 0" + zeros + "\r");
    const QRegularExpressionMatch m = QRegularExpression("^" + pattern + "$").match(body);
    ASSERT_TRUE(m.hasMatch()) << body.toStdString();
    // Largest first.
    const QStringList diffs = m.captured(2).mid(1).split(',');
    for (int i = 1; i < diffs.size(); ++i) EXPECT_GE(diffs[i - 1].toInt(), diffs[i].toInt());
}

TEST_F(FactoryBuild, EraseResetsTheReferenceAndPollsAgain) {
    prepare();
    view->OnBnClickedErase();
    EXPECT_EQ(sent(), (Strings{"E4 01 00 00 FF"}));
    EXPECT_EQ(qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdStatus)->text(), text(1129));
    status(0x0001);
    runReadyPoll();
    EXPECT_EQ(qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdStatus)->text(), text(1130));
    EXPECT_FALSE(qvui::findControl(view.get(), CQVFactoryBaseDlg::kIdErase)->isEnabled());
    status(0x0000);
    view->OnBnClickedErase();
    runReadyPoll();
    EXPECT_EQ(qvui::findControl<QLabel>(view.get(), CQVFactoryBaseDlg::kIdStatus)->text(), text(1131));
    EXPECT_TRUE(qvui::findControl(view.get(), CQVFactoryBaseDlg::kIdErase)->isEnabled());
}

}  // namespace
