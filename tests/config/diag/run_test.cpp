// The check run of each run state on frames acquired from the simulated diag
// panel: a sensor fault in one scope makes exactly one check fail, the reports
// reach the active scan view, and the commands the run sends (E0 00 17, FB) are
// the ones its state calls for, as the controller's trace shows.
#include "diag/device_probes.h"
#include "diag/scan_checks.h"
#include "diag_support.h"
#include "core/device_text.h"
#include "ui/window_message.h"

#include <QObject>

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Stands in for the scan view: keeps every WM_BUILD_PROGRESS it is sent.
class ReportSink : public QObject {
public:
    std::vector<vcx::ScanReport> reports;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            if (m->message() == qvui::WM_BUILD_PROGRESS)
                reports.push_back({uint8_t(m->wParam()), uint8_t(m->lParam())});
            return true;
        }
        return QObject::event(e);
    }
};

class DiagRun : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    ReportSink sink;

    // Opens the profile, applies the sensor keys, reads the device and its layout.
    void prepare(const std::string& profile, std::initializer_list<std::pair<const char*, const char*>> keys = {}) {
        ASSERT_TRUE(open(profile));
        for (auto [key, value] : keys) {
            std::string error;
            ASSERT_TRUE(qvsim::setControllerKey(ctl(), key, value, &error)) << key << ": " << error;
        }
        readDevice();
        vcx::LoadPanelLayout(c, s);
        s.g_pActiveScanDlg = &sink;
        c.dev.parameterCrc = 0x1234;
    }

    // The frames of an open/short acquisition: RawFrame[0] without a test
    // pattern, the three ScanFrames and the mode frames under pattern 1.
    void acquire() {
        const int a = c.records.diagInfo.rows, b = c.records.diagInfo.columns;
        NewRawArray frame{};
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &frame), 1);
        vcx::AllocDiagBuffers(s, a, b, frame.extraCount);
        std::fill(s.g_FailMap.begin(), s.g_FailMap.end(), 0);
        NewDiagRequest q{sizeof q, 0, 0, 0, 0};
        const auto mutual = [&] { return vcx::Frame(frame.mutual, frame.mutual + frame.mutualCount); };
        vcx::SendCmdF3OrFD(c, 0);
        ASSERT_EQ(GetNewRawCount(c.dev.device, &frame, &q), 1);
        s.RawFrame[0] = mutual();
        vcx::SendCmdF3OrFD(c, 1);
        for (auto& f : s.ScanFrame) {
            ASSERT_EQ(GetNewRawCount(c.dev.device, &frame, &q), 1);
            f = mutual();
        }
        for (uint8_t k = 0; k < 3; ++k) {
            NewDiagRequest m{sizeof m, 0, 0, uint8_t(0x80 | k), 0};
            ASSERT_EQ(GetNewDiagData(c.dev.device, &frame, &m), 1);
            s.ModeFrame[k] = mutual();
        }
        FreeNewRawArray(c.dev.device, &frame);
    }

    // A golden sample of this device whose grid is the mean of the scan frames.
    void goldenOfThisPanel() {
        s.golden.firmwareVersion = vcx::masterVersionText(c.records.fwVersion).toStdString();
        s.golden.parametersCrc = c.dev.parameterCrc;
        s.BaseFrame.resize(s.ScanFrame[0].size());
        for (size_t i = 0; i < s.BaseFrame.size(); ++i)
            s.BaseFrame[i] = uint16_t((s.ScanFrame[0][i] + s.ScanFrame[1][i] + s.ScanFrame[2][i]) / 3);
    }

    // Runs the checks of `state` on a fresh trace; the failure bits.
    uint16_t run(int state) {
        ctl().clearTrace();
        sink.reports.clear();
        const bool pass = vcx::RunScanChecks(state, c, s);
        EXPECT_EQ(pass, s.g_wFailBits == 0);
        EXPECT_EQ(s.g_bScanPass, pass);
        return s.g_wFailBits;
    }
    bool sentCommand(const std::string& hex) {
        const auto all = sent();
        return std::find(all.begin(), all.end(), hex) != all.end();
    }
};

TEST_F(DiagRun, ACleanPanelPassesTheOpenShortChecks) {
    prepare("diag");
    acquire();
    EXPECT_EQ(s.g_nFreqModeCount, 2);
    EXPECT_EQ(run(0), 0);
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 17 00 00"}));
    // Two modes were judged: each has the step of its frame's grain (never 0 on
    // a panel with noise, at most the limit on a good one); the third mode was
    // not judged and keeps its cleared 0.
    EXPECT_GT(s.BaseFlatMax[0], 0);
    EXPECT_GT(s.BaseFlatMax[1], 0);
    EXPECT_LE(s.BaseFlatMax[0], s.BaseFlatMaxLimit);
    EXPECT_LE(s.BaseFlatMax[1], s.BaseFlatMaxLimit);
    EXPECT_EQ(s.BaseFlatMax[2], 0);
    EXPECT_EQ(s.BaseFlatCount[2], 0);
    // With one mode the second is not judged either: it keeps the 0 it starts a run with.
    s.g_nFreqModeCount = 1;
    s.BaseFlatMax.fill(0);
    EXPECT_EQ(run(0), 0);
    EXPECT_GT(s.BaseFlatMax[0], 0);
    EXPECT_EQ(s.BaseFlatMax[1], 0);
    EXPECT_EQ(s.BaseFlatMaxLimit, 80);
    EXPECT_EQ(s.BaseFlatFailModes, 0);
}

// One sensor fault, one failing check: the open/short set, state by state.
TEST_F(DiagRun, EachFaultFailsItsOwnCheck) {
    struct Case {
        const char* name;
        const char* key;
        const char* value;
        uint16_t bits;
    };
    const Case cases[] = {
        {"frozen scans: same data", "frozen", "pattern1", vcx::kFailSameData},
        {"a noisy node: debounce", "noisyNode", "3 7 400 pattern1", vcx::kFailDebounce},
        {"an open column: driver", "openColumn", "5 0 pattern1", vcx::kFailDriver},
        {"an open row: sensor", "openRow", "6 0 pattern1", vcx::kFailSensor},
        {"a node above 2030: absolute", "node", "4 9 2500 pattern1", vcx::kFailAbsolute},
        {"a bump in the raw frame: near raw", "bump", "4 9 2000 raw", vcx::kFailNearRaw},
        {"a bump in mode 1: base flat", "bump", "4 9 200 mode1", vcx::kFailBaseFlat},
        {"a bump in mode 2, which the panel does not have", "bump", "4 9 200 mode2", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        prepare("diag", {{k.key, k.value}});
        acquire();
        for (int state : {0, 1, 2}) EXPECT_EQ(run(state), k.bits) << "run state " << state;
        TearDown();
    }
}

TEST_F(DiagRun, AnOpenColumnIsReportedPerFrameAndMarksThreeLines) {
    prepare("diag", {{"openColumn", "5 0 pattern1"}});
    acquire();
    EXPECT_EQ(run(0), vcx::kFailDriver);
    const std::vector<vcx::ScanReport> once = {{255, 4}, {255, 5}, {255, 5}, {255, 6}};
    std::vector<vcx::ScanReport> want;
    for (int frame = 0; frame < 3; ++frame) want.insert(want.end(), once.begin(), once.end());
    EXPECT_EQ(sink.reports, want);
    std::vector<uint16_t> lines(28, 0);
    lines[4] = lines[5] = lines[6] = 1;
    EXPECT_EQ(s.DriverFailMask, lines);
}

TEST_F(DiagRun, IdenticalFramesReportOnceAndTheOtherChecksStillRun) {
    prepare("diag", {{"frozen", "pattern1"}, {"node", "4 9 2500 pattern1"}});
    acquire();
    EXPECT_EQ(run(0), vcx::kFailSameData | vcx::kFailAbsolute);
    EXPECT_EQ(std::count(sink.reports.begin(), sink.reports.end(), vcx::ScanReport{253, 0}), 1);
    EXPECT_EQ(sink.reports.front(), (vcx::ScanReport{253, 0}));
    EXPECT_EQ(std::count(sink.reports.begin(), sink.reports.end(), vcx::ScanReport{4, 9}), 3);
    EXPECT_TRUE(sentCommand("E0 00 17 00 00"));
}

TEST_F(DiagRun, Register17RaisesTheAbsoluteLimitAndRangeModeSendsNothing) {
    struct Case {
        const char* name;
        const char* reg17;  // nullptr: E0 00 17 refused
        uint16_t bits;
    };
    for (const Case& k : {Case{"register 1 keeps 2030", "0 0x17 0 0 0 1", vcx::kFailAbsolute},
                          Case{"register 3 gives 6090", "0 0x17 0 0 0 3", 0},
                          Case{"refused keeps 2030", nullptr, vcx::kFailAbsolute}}) {
        SCOPED_TRACE(k.name);
        prepare("diag", {{"node", "4 9 2500 pattern1"}});
        if (k.reg17) {
            std::string error;
            ASSERT_TRUE(qvsim::setControllerKey(ctl(), "reg", k.reg17, &error)) << error;
        } else {
            ctl().refuse(qvsim::PacketPrefix::exact({0xE0, 0x00, 0x17, 0x00, 0x00}));
        }
        acquire();
        EXPECT_EQ(run(0), k.bits);
        TearDown();
    }
    // Range mode judges threshold..4096 and asks no register.
    prepare("diag", {{"node", "4 9 2500 pattern1"}});
    acquire();
    s.g_PanelFlags |= vcx::kPanelAbsoluteRange;
    EXPECT_EQ(run(0), 0);  // 2500 lies inside 100..4096
    EXPECT_FALSE(sentCommand("E0 00 17 00 00"));
    s.ScanFrame[1][0] = 4097;
    EXPECT_EQ(run(0), vcx::kFailAbsolute | vcx::kFailDebounce);
    EXPECT_EQ(std::count(sink.reports.begin(), sink.reports.end(), vcx::ScanReport{0, 0}), 3);
}

TEST_F(DiagRun, ForeignGoldenSampleEndsTheDiagnosticTestBeforeAnyCommand) {
    prepare("diag", {{"openColumn", "5 0 pattern1"}});
    acquire();
    goldenOfThisPanel();
    s.golden.parametersCrc = 0x4321;
    EXPECT_EQ(run(4), vcx::kFailFirmwareVersion);
    EXPECT_TRUE(sink.reports.empty());
    EXPECT_TRUE(sent().empty());
    goldenOfThisPanel();
    s.golden.firmwareVersion = "QV2081A.2.6";
    EXPECT_EQ(run(4), vcx::kFailFirmwareVersion);
    EXPECT_TRUE(sent().empty());
    // The control board test checks the firmware first as well; its golden-sample state 5 does not.
    EXPECT_EQ(run(3), vcx::kFailFirmwareVersion);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(run(5), 0);
    EXPECT_TRUE(sent().empty());
}

// The device's answers the check run asks for, kept so a test sees each question.
class FakeAnswers : public vcx::ScanCheckAnswers {
public:
    bool interface = true;
    uint8_t register17 = 0;
    QString panelText;
    std::vector<std::string> asked;
    bool InterfaceAnswers() override { return asked.push_back("interface"), interface; }
    uint8_t AbsoluteRegister() override { return asked.push_back("register 0x17"), register17; }
    QString PanelSizeText(int index) override {
        return asked.push_back("panel text " + std::to_string(index)), panelText;
    }
};

// The run over frames already taken sends nothing itself: every question goes
// to its answers, and only where its state and the panel call for it.
TEST_F(DiagRun, TheRunAsksItsAnswersOnlyWhatItsStateNeeds) {
    using Asked = std::vector<std::string>;
    prepare("diag", {{"node", "4 9 2500 pattern1"}});
    acquire();
    goldenOfThisPanel();
    const int panelIndex = c.records.panel.item[0].stored;
    const auto runWith = [&](int state, FakeAnswers& answers) {
        ctl().clearTrace();
        const uint16_t bits = vcx::RunScanChecks(state, c, s, answers) ? 0 : s.g_wFailBits;
        EXPECT_TRUE(sent().empty());
        return bits;
    };
    FakeAnswers open;
    EXPECT_EQ(runWith(0, open), vcx::kFailAbsolute);  // 2500 above 2030
    EXPECT_EQ(open.asked, (Asked{"register 0x17", "panel text " + std::to_string(panelIndex)}));
    FakeAnswers lifted;
    lifted.register17 = 3;  // 6090
    EXPECT_EQ(runWith(0, lifted), 0);
    FakeAnswers range;
    s.g_PanelFlags |= vcx::kPanelAbsoluteRange;
    EXPECT_EQ(runWith(0, range), 0);
    EXPECT_EQ(range.asked, (Asked{"panel text " + std::to_string(panelIndex)}));
    s.g_PanelFlags &= uint16_t(~vcx::kPanelAbsoluteRange);
    // Control board: the interface first; refused, nothing else is asked or judged.
    FakeAnswers board;
    board.interface = false;
    EXPECT_EQ(runWith(3, board), vcx::kFailInterface);
    EXPECT_EQ(board.asked, Asked{"interface"});
    FakeAnswers golden;
    EXPECT_EQ(runWith(5, golden), 0);
    EXPECT_TRUE(golden.asked.empty());
}

TEST_F(DiagRun, TheInterfaceCheckEndsTheControlBoardTest) {
    prepare("diag", {{"interfaceCheck", "1"}});
    acquire();
    goldenOfThisPanel();
    s.ScanFrame[1][100] = uint16_t(s.ScanFrame[1][100] + 500);  // one node jumps in the middle frame
    EXPECT_EQ(run(3), vcx::kFailInterface);
    EXPECT_EQ(sent(), (std::vector<std::string>{"FB 00 00 00 00"}));
    EXPECT_TRUE(sink.reports.empty());
    ctl().refuse(qvsim::PacketPrefix::code(0xFB));
    EXPECT_EQ(run(3), vcx::kFailInterface);
    // A passing interface check lets debounce and minus data run (no open/short checks).
    ctl().clearFaults();
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "interfaceCheck", "0", &error));
    EXPECT_EQ(run(3), vcx::kFailDebounce | vcx::kFailMinusData);
    EXPECT_EQ(sent(), (std::vector<std::string>{"FB 00 00 00 00"}));
    EXPECT_EQ(run(5), vcx::kFailDebounce);
    EXPECT_TRUE(sent().empty());
}

TEST_F(DiagRun, DiagnosticStatesAgainstTheGoldenSample) {
    prepare("diag");
    acquire();
    goldenOfThisPanel();
    // State 4: firmware, debounce, minus, node; passing, the open/short set follows.
    EXPECT_EQ(run(4), 0);
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 17 00 00"}));
    for (size_t k = 0; k < 3; ++k)
        for (size_t i = 0; i < s.BaseFrame.size(); ++i)
            ASSERT_EQ(s.DiffFrame[k][i], std::abs(int(s.BaseFrame[i]) - int(s.ScanFrame[k][i])));
    // A golden grid far from the panel fails minus data, and the open/short set does not run.
    for (auto& v : s.BaseFrame) v = uint16_t(v + 200);
    EXPECT_EQ(run(4), vcx::kFailMinusData);
    EXPECT_TRUE(sent().empty());
    // State 6 has no firmware or minus check: the node check runs on the difference
    // frames as they stand (unwritten here) and the open/short set follows.
    vcx::AllocDiagBuffers(s, 16, 28, 32);
    acquire();
    EXPECT_EQ(run(6), 0);
    EXPECT_TRUE(std::all_of(s.DiffFrame[0].begin(), s.DiffFrame[0].end(), [](uint16_t v) { return v == 0; }));
    EXPECT_EQ(sent(), (std::vector<std::string>{"E0 00 17 00 00"}));
}

TEST_F(DiagRun, ManyModesAndAZeroThresholdStayInBounds) {
    prepare("diag", {{"frequencyModes", "5 3 0"}});
    ASSERT_EQ(s.g_nFreqModeCount, 5);
    acquire();
    EXPECT_EQ(run(0), 0);  // three modes judged, none past the third frame
    c.records.finger.info[0] = 0;
    EXPECT_EQ(run(0), vcx::kFailBaseFlat);
    EXPECT_EQ(s.BaseFlatCount, (std::array<int32_t, 3>{0, 0, 0}));
}

// The pair of rows where the slave's lines begin is left out of the sensor check,
// and out of the near-raw check unless the device gives per-mode frames.
TEST_F(DiagRun, TheSlaveRowIsLeftOutWhereTheDeviceSaysSo) {
    prepare("diag");
    acquire();
    c.records.fwVersion.slaveCount = 1;
    s.g_SlaveSplit = {0, 8};  // rows 8..15 belong to the slave: the pair (7, 8) is skipped
    for (int r = 8; r < 16; ++r)
        for (int col = 0; col < 28; ++col) {
            const size_t i = size_t(r) * 28 + size_t(col);
            for (auto& f : s.ScanFrame) f[i] = uint16_t(f[i] + 300);
            s.RawFrame[0][i] = uint16_t(s.RawFrame[0][i] + 1500);
        }
    EXPECT_EQ(run(0), vcx::kFailNearRaw);  // per-mode frames: near raw judges the pair
    c.records.diagInfo.capability[2] = 0x03;
    EXPECT_EQ(run(0), 0);
    c.records.fwVersion.slaveCount = 0;
    EXPECT_EQ(run(0), vcx::kFailSensor | vcx::kFailNearRaw);
}

// Row 0 of one panel (model 1310, panel "K4719    10.4\"", IC byte 1) is judged against 100.
TEST_F(DiagRun, TheOnePanelWithARowZeroLimit) {
    prepare("diag");
    acquire();
    s.ScanTh.Sensor = 200;
    for (auto& f : s.ScanFrame)
        for (size_t i = 28; i < f.size(); ++i) f[i] = uint16_t(f[i] + 150);
    EXPECT_EQ(run(0), 0);
    FirmwareInformationW& info = c.records.fwInformation;
    info.productNumber = 1310;
    const std::u16string panel = u"K4719    10.4\"";
    std::copy(panel.begin(), panel.end(), info.panelSize);
    info.panelSize[panel.size()] = 0;
    info.icByte = 1;
    EXPECT_EQ(run(0), vcx::kFailSensor);
    info.icByte = 2;
    EXPECT_EQ(run(0), 0);
}

TEST_F(DiagRun, OtherRunStatesCheckNothing) {
    prepare("diag", {{"openColumn", "5 0 pattern1"}});
    acquire();
    s.g_wFailBits = 0xFFFF;
    EXPECT_EQ(run(7), 0);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(sink.reports.empty());
}

}  // namespace
