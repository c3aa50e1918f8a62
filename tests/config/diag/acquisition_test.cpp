// The scan's frame sequence and its commands without a view or a worker: the
// test reads each frame the acquisition asks for itself, as the worker would,
// and the controller's trace, the frames kept and the delays between them are
// the acquisition's alone.
#include "diag/device_probes.h"
#include "diag/scan_acquisition.h"
#include "diag_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using vcx::ScanAcquisition;

// One frame read: the scan, its progress poll and the bulk transfer.
const Strings kScan = {"F9 FF 91 00 00", "F9 FF 10 00 00", "FA 00 55 00 00"};

Strings operator+(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Strings times(int n, const Strings& part) {
    Strings out;
    for (int i = 0; i < n; ++i) out = out + part;
    return out;
}

class Acquisition : public diagtest::DiagBench {
protected:
    vcx::DiagState s;

    void SetUp() override {
        ASSERT_TRUE(open("diag"));
        readDevice();
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        vcx::LoadPanelLayout(c, s);
        const DiagnosticInfo& info = c.records.diagInfo;
        vcx::AllocDiagBuffers(s, info.rows, info.columns, info.rows * info.extraColumns);
    }
    void TearDown() override {
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        DiagBench::TearDown();
    }

    // A whole run: each read as the worker makes it; the delays the acquisition
    // asks for before its next step, and the frame numbers it passes.
    struct Run {
        std::vector<int> delays;
        std::vector<int> frames;
    };
    Run run(ScanAcquisition& a) {
        Run out;
        for (int guard = 0; guard < 40; ++guard) {
            const ScanAcquisition::Read r = a.Next();
            if (r.checks) break;
            NewDiagRequest& q = c.records.newDiagRequest;
            q.scanArgument = q.loadArgument = 0;
            q.dataKind = r.request == vcx::DiagDataWorker::Request::DiagWithKind ? r.kind : 0;
            if (r.request == vcx::DiagDataWorker::Request::Raw)
                GetNewRawCount(c.dev.device, &c.records.newRawArray, &q);
            else
                GetNewDiagData(c.dev.device, &c.records.newRawArray, &q);
            const ScanAcquisition::After after = a.FrameArrived();
            out.delays.push_back(after.delayMs);
            out.frames.push_back(a.frame());
            if (after.checks) break;
        }
        a.Finish();
        return out;
    }
};

TEST_F(Acquisition, OpenShortReadsItsFramesBetweenThePatternCommands) {
    ScanAcquisition a(c, s);
    ctl().clearTrace();
    a.Begin(ScanAcquisition::Kind::OpenShort);
    const Run r = run(a);
    // Diagnostic mode on, six frames, pattern 1, three frames, pattern off, the
    // two mode frames (mode 1 a diagnostic read of kind 0x81), diagnostic mode off.
    const Strings want = Strings{"F9 FF 90 00 01"} + times(6, kScan) + Strings{"F3 00 0D 00 01"} + times(3, kScan) +
                         Strings{"F3 00 0D 00 00"} + kScan +
                         Strings{"E0 00 FF 00 01", "F9 FF 92 00 81", "FA 00 55 00 00", "F9 FF 90 00 00"};
    EXPECT_EQ(sent(), want);
    // There is no frame 6; the pattern frames wait 100 ms, as does the first after the pattern.
    EXPECT_EQ(r.frames, (std::vector<int>{1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(r.delays, (std::vector<int>{10, 10, 10, 10, 10, 100, 100, 100, 10, 10, 10}));
    const auto& p = ctl().profile();
    const auto mutual = [&p](uint8_t kind, uint32_t scan, uint8_t pattern) {
        const std::vector<uint16_t> whole = qvsim::SensorFrame(p, kind, scan, pattern);
        const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
        vcx::Frame out;
        for (size_t row = 0; row < p.rows; ++row)
            out.insert(out.end(), whole.begin() + long(row * perRow), whole.begin() + long(row * perRow + p.columns));
        return out;
    };
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s.RawFrame[i], mutual(qvsim::kSensorRaw, 4 + i, 0)) << i;
        EXPECT_EQ(s.ScanFrame[i], mutual(qvsim::kSensorRaw, 7 + i, 1)) << i;
    }
    EXPECT_EQ(s.ModeFrame[0], mutual(qvsim::kSensorRaw, 10, 0));
    EXPECT_EQ(s.ModeFrame[1], mutual(0x81, 10, 0));
}

TEST_F(Acquisition, ControlBoardReadsThreePatternFramesAndCancelTurnsEverythingOff) {
    ScanAcquisition a(c, s);
    ctl().clearTrace();
    a.Begin(ScanAcquisition::Kind::ControlBoard);
    const Run r = run(a);
    const Strings want =
        Strings{"F9 FF 90 00 01", "F3 00 0D 00 03"} + times(3, kScan) + Strings{"F3 00 0D 00 00", "F9 FF 90 00 00"};
    EXPECT_EQ(sent(), want);
    EXPECT_EQ(r.frames, (std::vector<int>{1, 2, 3}));
    ctl().clearTrace();
    a.Cancel();
    EXPECT_EQ(sent(), (Strings{"F3 00 0D 00 00", "F9 FF 90 00 00"}));
}

TEST_F(Acquisition, ThePanelIsReadyWhenRegisterF7HasBitZero) {
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "readyAfterPolls", "1", &error)) << error;
    ScanAcquisition a(c, s);
    ctl().clearTrace();
    EXPECT_FALSE(a.PanelReady());
    EXPECT_TRUE(a.PanelReady());
    EXPECT_EQ(sent(), (Strings{"E0 00 F7 00 00", "E0 00 F7 00 00"}));
    ctl().refuse(qvsim::PacketPrefix::code(0xE0));
    EXPECT_FALSE(a.PanelReady());
}

}  // namespace
