// The newer system reference build: its step table on the simulated "diag"
// controller (every result code, the operator's question, the restore of
// scanning), the report body it writes, and its pure arithmetic.
#include "diag/device_probes.h"
#include "diag/new_fb_build.h"
#include "diag/new_fb_build_dlg.h"
#include "diag_support.h"
#include "core/strings.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using vcx::CQVNewFBBuildDlg;
namespace newfb = vcx::newfb;
using qvsim::Packet;
using qvsim::PacketPrefix;

// The view's end of a build: every WM_BUILD_PROGRESS (code, 0) it got.
class ResultSink : public QObject {
public:
    std::vector<std::pair<quint64, qint64>> results;

protected:
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_BUILD_PROGRESS) {
            results.emplace_back(m->wParam(), m->lParam());
            return true;
        }
        return QObject::event(e);
    }
};

const Packet kStartBuild{0xE4, 0x01, 0x00, 0x00, 0x01};
const Packet kSave{0xE4, 0x01, 0x00, 0x00, 0x02};
const Packet kStatus{0xE4, 0x00, 0x00, 0x00, 0x00};
const Packet kNoise{0xF5, 0x00, 0x05, 0x00, 0x00};
const Packet kIdleStatus{0xE4, 0x02, 0x01, 0x00, 0x00};  // version 1.02, nothing busy
const Packet kBusyStatus{0xE4, 0x02, 0x01, 0x01, 0x00};  // bit 8: still building

class NewBuild : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    std::unique_ptr<vcx::DiagnosticProbes> probes;
    std::unique_ptr<CQVNewFBBuildDlg> dlg;
    ResultSink sink;
    static constexpr int kThreshold = 20;

    // The dialog frees its frame buffers through the device: before it closes.
    void TearDown() override {
        dlg.reset();
        probes.reset();
        diagtest::DiagBench::TearDown();
    }

    // The "diag" controller read out as the program reads it, with its
    // anti-noise group (T = 20; noise levels 6 and 7 of its two modes).
    bool ready(const std::function<void(qvsim::ControllerProfile&)>& edit = {}) {
        if (!open("diag")) return false;
        if (edit) ctl().editProfile(edit);
        c.api.SendDelayCmd = &::SendDelayCmd;  // the base save
        readDevice();
        vcx::LoadPanelLayout(c, s);
        const ParameterFunctionTable& t = c.records.paraFuncTable;
        EXPECT_TRUE(t.GetParameterAntiNoise &&
                    t.GetParameterAntiNoise(c.dev.device, c.records.generalInfo.groupMask, &c.records.antiNoise));
        vcx::addProgramStrings();
        probes = std::make_unique<vcx::DiagnosticProbes>(c);
        dlg = std::make_unique<CQVNewFBBuildDlg>(c, s, *probes);
        dlg->setView(&sink);
        dlg->Prepare();
        EXPECT_EQ(dlg->threshold(), kThreshold);
        return true;
    }

    int activeTimer() const {
        for (int id = newfb::kStart; id <= newfb::kDone; ++id)
            if (dlg->timers().isActive(id)) return id;
        return 0;
    }
    // Ticks the running timer until none runs (the build ended or waits for
    // the operator); `each` runs before every tick.
    void run(const std::function<void(int)>& each = {}) {
        for (int tick = 0; tick < 200; ++tick) {
            const int id = activeTimer();
            if (!id) return;
            if (each) each(id);
            ASSERT_TRUE(qvui::fireTimer(dlg.get(), id));
        }
        FAIL() << "the build did not end";
    }
    void start() {
        dlg->Start();
        EXPECT_EQ(dlg->timers().interval(newfb::kStart), newfb::kFirstTimerMs);
    }
    quint64 result() const { return sink.results.empty() ? 999 : sink.results.back().first; }

    std::string report(std::string_view resultText) {
        QTemporaryDir dir;
        const std::string path = dir.filePath("report.csv").toStdString();
        {
            qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Create);
            dlg->WriteReportBody(w, resultText);
        }
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll().toStdString();
    }
};

// ---- the step table -------------------------------------------------------------------------

struct CodeCase {
    const char* name;
    std::function<void(qvsim::Controller&, vcx::DiagState&)> setUp;
    int code;
    bool question;  // codes the operator may build anyway: the build waits; "No" ends it
};

TEST_F(NewBuild, EachFailureEndsWithItsCode) {
    const qvsim::SensorFault nearFault{qvsim::SensorFault::Kind::Node, qvsim::SensorScope::Baseline, 5, 5, 200};
    const qvsim::SensorFault flatFault{qvsim::SensorFault::Kind::Bump, qvsim::SensorScope::Mode1, 5, 5, 500};
    const CodeCase cases[] = {
        {"no frequency modes", [](qvsim::Controller&, vcx::DiagState& state) { state.g_nFreqModeCount = 0; }, 1, false},
        {"noise levels unanswered", [](qvsim::Controller& sim, vcx::DiagState&) { sim.silence(PacketPrefix::exact(kNoise)); }, 1, false},
        {"build start refused", [](qvsim::Controller& sim, vcx::DiagState&) { sim.refuse(PacketPrefix::exact(kStartBuild)); }, 2, false},
        {"busy for 20 polls", [](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([](auto& p) { p.buildPolls = 20; }); }, 5, false},
        {"ready at poll 19", [](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([](auto& p) { p.buildPolls = 19; }); }, 0, false},
        {"noise level equal to T",
         [](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([](auto& p) { p.noiseLevels = {5, kThreshold, 0, 0}; }); }, 6, true},
        {"base line unread", [](qvsim::Controller& sim, vcx::DiagState&) { sim.refuse(PacketPrefix::code(0xF9)); }, 7, false},
        {"near raw fails", [&](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([&](auto& p) { p.sensor->faults = {nearFault}; }); },
         8, true},
        {"mode 1 frame refused",
         [](qvsim::Controller& sim, vcx::DiagState&) { sim.refuse(PacketPrefix::exact({0xF9, 0xFF, 0x92, 0x00, 0x81})); }, 9, false},
        {"base flat fails", [&](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([&](auto& p) { p.sensor->faults = {flatFault}; }); },
         10, true},
        {"save refused", [](qvsim::Controller& sim, vcx::DiagState&) { sim.refuse(PacketPrefix::exact(kSave)); }, 11, false},
        {"save leaves the reference unsaved",
         [](qvsim::Controller& sim, vcx::DiagState&) { sim.editProfile([](auto& p) { p.saveStatus = 0x201; }); }, 11, false},
        {"status silent", [](qvsim::Controller& sim, vcx::DiagState&) { sim.silence(PacketPrefix::exact(kStatus)); }, 13, false},
        {"clean build", [](qvsim::Controller&, vcx::DiagState&) {}, 0, false},
    };
    for (const CodeCase& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_TRUE(ready());
        k.setUp(ctl(), s);
        start();
        run();
        if (k.question) {
            EXPECT_TRUE(dlg->questionShown());
            EXPECT_EQ(dlg->code(), k.code);
            EXPECT_TRUE(sink.results.empty());
            dlg->OnBnClickedNo();
        }
        EXPECT_FALSE(dlg->questionShown());
        EXPECT_EQ(dlg->step(), newfb::kIdle);
        ASSERT_EQ(sink.results.size(), 1u);
        EXPECT_EQ(result(), quint64(k.code));
        EXPECT_EQ(dlg->overriddenCode(), 0);
        sink.results.clear();
        TearDown();
    }
}

TEST_F(NewBuild, WaitsHalfASecondPerPollAndCountsSilentPolls) {
    ASSERT_TRUE(ready());
    ctl().setReply(kStatus, kBusyStatus);
    start();
    ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kStart));
    EXPECT_EQ(dlg->timers().interval(newfb::kWait), newfb::kSlowTimerMs);
    for (int poll = 1; poll <= 3; ++poll) {
        ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kWait));
        EXPECT_EQ(dlg->waitPolls(), poll);
        EXPECT_EQ(dlg->overlayText(), QStringLiteral("Work in progress. Please wait....%1%").arg(poll + 1));
        EXPECT_EQ(dlg->timers().interval(newfb::kWait), newfb::kSlowTimerMs);
    }
    // Four silent polls, then an answer: the failures start over.
    ctl().silence(PacketPrefix::exact(kStatus));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kWait));
    EXPECT_EQ(dlg->e4Failures(), 4);
    EXPECT_EQ(dlg->code(), 0);
    ctl().clearFaults();
    ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kWait));
    EXPECT_EQ(dlg->e4Failures(), 0);
    ctl().setReply(kStatus, kIdleStatus);
    ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kWait));
    EXPECT_EQ(dlg->step(), newfb::kNoise);
    EXPECT_EQ(dlg->timers().interval(newfb::kNoise), newfb::kFastTimerMs);
    run();
    EXPECT_EQ(result(), 0u);
}

TEST_F(NewBuild, EscAndRemovalDuringTheWaitEndWithoutTheQuestion) {
    for (const int code : {3, 4}) {
        SCOPED_TRACE(code);
        ASSERT_TRUE(ready());
        ctl().setReply(kStatus, kBusyStatus);
        start();
        ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kStart));
        ASSERT_TRUE(qvui::fireTimer(dlg.get(), newfb::kWait));
        if (code == 3) {
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(dlg.get(), &up);
            EXPECT_TRUE(up.isAccepted());
        } else {
            dlg->Reset();
        }
        EXPECT_EQ(dlg->code(), code);
        EXPECT_TRUE(sink.results.empty());
        ctl().clearTrace();
        run();
        EXPECT_FALSE(dlg->questionAsked());
        EXPECT_EQ(result(), quint64(code));
        EXPECT_TRUE(sent().empty()) << "nothing restored before the base line";
        sink.results.clear();
        TearDown();
    }
}

// No timer runs while the question waits: a removal then ends the build at once.
TEST_F(NewBuild, RemovalAtTheQuestionEndsTheBuild) {
    ASSERT_TRUE(ready());
    ctl().editProfile([](auto& p) { p.noiseLevels = {25, 5, 0, 0}; });
    start();
    run();
    ASSERT_TRUE(dlg->questionShown());
    dlg->Reset();
    EXPECT_FALSE(dlg->questionShown());
    EXPECT_EQ(dlg->step(), newfb::kIdle);
    ASSERT_EQ(sink.results.size(), 1u);
    EXPECT_EQ(result(), 4u);
}

TEST_F(NewBuild, YesSavesTheBaseAndTheReportWarns) {
    ASSERT_TRUE(ready());
    ctl().editProfile([](auto& p) { p.noiseLevels = {5, 30, 0, 0}; });
    start();
    run();
    ASSERT_TRUE(dlg->questionShown());
    EXPECT_EQ(dlg->overlayText(), QStringLiteral("Environmental interference. Build anyway ?"));
    ctl().clearTrace();
    dlg->OnBnClickedYes();
    EXPECT_FALSE(dlg->questionShown());
    EXPECT_EQ(sent().front(), "E4 01 00 00 02");
    run();
    ASSERT_EQ(sink.results.size(), 1u);
    EXPECT_EQ(result(), 0u);
    EXPECT_EQ(dlg->overriddenCode(), 6);
    // Version 1.02 is not read here: only the build's own sections.
    s.g_wSRVersion = 100;
    EXPECT_EQ(report("Build complete."),
              "\r[Noise]\rThreshold : 20\rFrequency Mode 0:,5\rFrequency Mode 1:,30\r"
              "\r[Build Result]\rBuild complete.\rWarning : Environmental interference.\r");
}

TEST_F(NewBuild, AFailedSaveAfterYesKeepsTheCode) {
    ASSERT_TRUE(ready());
    ctl().editProfile([](auto& p) { p.noiseLevels = {30, 5, 0, 0}; });
    ctl().refuse(PacketPrefix::exact(kSave));
    start();
    run();
    dlg->OnBnClickedYes();
    EXPECT_EQ(result(), 6u);
    EXPECT_EQ(dlg->overriddenCode(), 0);
    EXPECT_EQ(dlg->step(), newfb::kIdle);
}

TEST_F(NewBuild, ReportSectionsFollowTheVersion) {
    struct Case {
        uint16_t version;
        bool modeInvalid, flush;
    } cases[] = {{100, false, false}, {101, true, false}, {102, true, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.version);
        ASSERT_TRUE(ready());
        ctl().editProfile([](auto& p) { p.modeInvalid = {0x01, 0x02, 0xA0, 0xFF}; });
        start();
        run();
        ASSERT_EQ(result(), 0u);
        s.g_wSRVersion = k.version;
        const std::string body = report("Build complete.");
        EXPECT_EQ(body.find("\rMode Invalid : 0x01 0x02 0xA0 0xFF\r") != std::string::npos, k.modeInvalid);
        EXPECT_EQ(body.find("\r[System Reference Flush Base] :\r\rFrequency Mode 0\r") != std::string::npos, k.flush);
        EXPECT_EQ(body.find("\rFrequency Mode 1\r") != std::string::npos, true);
        EXPECT_NE(body.find("\r[Raw data near]\r\nSensor :\r"), std::string::npos);
        EXPECT_NE(body.find("\r[Base Flat]\rMax TH : 80\rCount TH : 22\r"), std::string::npos);
        EXPECT_EQ(body.substr(body.size() - 32), "\r[Build Result]\rBuild complete.\r");
        sink.results.clear();
        TearDown();
    }
}

TEST_F(NewBuild, TheFlushSectionRestoresScanningAfterIt) {
    ASSERT_TRUE(ready());
    start();
    ctl().clearTrace();
    run();
    ASSERT_EQ(result(), 0u);
    // The build's own end restores scanning: the commands after the save.
    const std::vector<std::string> build = sent();
    const auto lastStatus = std::find(build.rbegin(), build.rend(), "E4 00 00 00 00");
    ASSERT_NE(lastStatus, build.rend());
    const std::vector<std::string> restore(lastStatus.base(), build.end());  // after the save's status
    ASSERT_FALSE(restore.empty());
    ctl().clearTrace();
    (void)report("Build complete.");
    const std::vector<std::string> after = sent();
    ASSERT_GE(after.size(), restore.size());
    EXPECT_NE(std::find(after.begin(), after.end(), "F9 FF 92 00 11"), after.end()) << "mode 1's flush frame";
    EXPECT_EQ(std::vector<std::string>(after.end() - long(restore.size()), after.end()), restore);
}

TEST_F(NewBuild, SixModesJudgeFourNoiseLevelsAndReadThreeFrames) {
    ASSERT_TRUE(ready());
    s.g_nFreqModeCount = 6;
    ctl().editProfile([](auto& p) { p.noiseLevels = {5, 6, 7, 8}; });
    start();
    ctl().clearTrace();
    run();
    EXPECT_EQ(result(), 0u);
    EXPECT_EQ(dlg->checksDone(), 2 + 3);
    const std::vector<std::string> trace = sent();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "F9 FF 92 00 82"), trace.end());
    EXPECT_EQ(std::find(trace.begin(), trace.end(), "F9 FF 92 00 83"), trace.end());
    s.g_wSRVersion = 100;
    const std::string body = report("Build complete.");
    EXPECT_NE(body.find("Frequency Mode 3:,8\r\r[Raw data near]"), std::string::npos) << body.substr(0, 120);
    EXPECT_NE(body.find("\rFrequency Mode 2\r"), std::string::npos);
    EXPECT_EQ(body.find("\rFrequency Mode 3\r"), std::string::npos);
}

// ---- the report's frame sections ------------------------------------------------------------

TEST(NewBuildReport, MarksFailuresAndBoundaries) {
    vcx::DiagState s;
    const int A = 3, B = 3;
    vcx::Frame base{1, 2, 3, 4, 5, 6, 7, 8, uint16_t(-9)};
    s.g_FailMap = {0x01, 0x02, 0x00, 0x03, 0x10, 0x00, 0x00, 0x20, 0x00};
    s.g_ColumnFlags = {0, 1, 0};
    s.ModeFrame[0] = {10, 11, 12, 13, 14, 15, 16, 17, 18};
    s.ModeFrame[1] = {20, 21, 22, 23, 24, 25, 26, 27, 28};
    s.BaseFlatMaxLimit = 80;
    s.BaseFlatMax = {7, 9, 0};
    s.BaseFlatCount = {1, 2, 0};
    s.BaseFlatFailModes = 2;
    newfb::BuildSections b;
    b.rows = A;
    b.columns = B;
    b.checksDone = 4;
    b.threshold = 20;
    b.modeCount = 2;
    b.noise = {5, 6, 7, 8};
    b.baseLine = &base;
    b.state = &s;
    b.resultText = "Check base flat failed.";
    b.overriddenCode = 10;
    QTemporaryDir dir;
    const std::string path = dir.filePath("r.csv").toStdString();
    {
        qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Create);
        newfb::WriteBuildSections(w, b);
        const uint16_t mutual[] = {1, 2, 3, 4};
        const uint16_t extra[] = {uint16_t(-5), 6};
        newfb::WriteFlushBaseMode(w, 1, mutual, 4, extra, 2, 2, 2, 1);
    }
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(),
              "\r[Noise]\rThreshold : 20\rFrequency Mode 0:,5\rFrequency Mode 1:,6\r"
              "\r[Raw data near]\r\nSensor :\r*1,2,3,\r*4,5,6,\r"
              "\rDriver :\r1,*2,\r*4,5,\r7,8,\r\r"
              "\r[Base Flat]\rMax TH : 80\rCount TH : 22\r"
              "\rFrequency Mode 0\r10,_11,12,\r13,_*14,15,\r16,_17,18,\r\rMax : 7\rCount : 1\r"
              "\rFrequency Mode 1\r20,_21,22,\r23,_24,25,\r26,_*27,28,\r\rMax : 9\rCount : 2\r*Fail\r"
              "\r[Build Result]\rCheck base flat failed.\rWarning : Check base flat failed.\r"
              "\rFrequency Mode 1\r1,2,-5,\r3,4,6,\r\r");
}

// ---- the pure parts ---------------------------------------------------------------------------

TEST(NewBuildSteps, PercentagesTextsAndButtons) {
    const int percent[][3] = {{11, 0, 0},  {12, 0, 0},  {13, 0, 1},  {13, 19, 20}, {14, 5, 30}, {15, 0, 50},
                              {16, 0, 70}, {17, 0, 80}, {18, 0, 90}, {19, 0, 95},  {20, 0, 0}};
    for (const auto& p : percent) EXPECT_EQ(newfb::StepPercent(p[0], p[1]), p[2]) << p[0] << " " << p[1];
    const int texts[][2] = {{0, 1132}, {1, 0}, {2, 0}, {3, 1134}, {4, 1135}, {5, 0}, {6, 1133},
                            {7, 0},    {8, 1136}, {9, 0}, {10, 1137}, {11, 0}, {13, 0}};
    for (const auto& t : texts) EXPECT_EQ(newfb::OverlayTextId(t[0]), t[1]) << t[0];
    const newfb::QuestionButtons b = newfb::LayoutQuestionButtons(1000, 800);
    EXPECT_EQ(b.yes, QRect(QPoint(100, 480), QPoint(500, 720)));
    EXPECT_EQ(b.no, QRect(QPoint(500, 480), QPoint(900, 720)));
    EXPECT_EQ(newfb::NoiseModeCount(7), 4);
    EXPECT_EQ(newfb::FrameModeCount(7), 3);
    EXPECT_EQ(newfb::WarningText(8), "Warning : Check raw data near failed.");
    EXPECT_TRUE(newfb::WarningText(5).empty());
}

}  // namespace
