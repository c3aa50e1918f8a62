// Diagnostic frames: the bulk and word-wise readers against the frame the
// simulated sensor holds, the split into mutual/extra/last-column arrays, the
// mode sequences of both scan-control generations and the record checks.
#include "library_support.h"

#include <cstring>

namespace qvtest {
namespace {

using qvsim::ControllerProfile;

constexpr uint8_t kGenNew = 0x1E;  // scan-control generation of newer firmware

ControllerProfile Sensor(uint8_t rows, uint8_t columns, uint8_t extra, uint8_t flags, uint8_t generation,
                         uint16_t report = 8) {
    ControllerProfile p;
    p.capability = std::array<uint8_t, 4>{0x00, 0x00, flags, generation};
    p.reportLength = report;
    p.rows = rows;
    p.columns = columns;
    p.extraColumns = extra;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->seed = 7u + rows * 131u + columns;
    return p;
}

enum class Path { HidBulk, DriverBulk, WordWise };

class DiagTest : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;

    void attach(const ControllerProfile& p, Path path) {
        ctl = std::make_shared<qvsim::Controller>(p);
        if (path == Path::HidBulk) {
            h = addHid(ctl, "/sim/hidraw0", "HID0", CurrentIdentity(6020, 1, 0));
        } else {
            qvsim::DriverInfo info;
            info.path = "/sim/qvdrv0";
            info.kind = 0;
            info.ioctlPair = 0;
            // A driver without bulk reads fails the probe read: frames go word-wise.
            info.bulkReads = path == Path::DriverBulk;
            bench->addDriver(ctl, info);
            qvlib::DevInfo rec = Scratch(info.path, "DRV0", QV_DEVICE_DRIVER, 0);
            rec.hDevice = qvp::backend().open(info.path, qvp::DeviceKind::Driver);
            ASSERT_NE(rec.hDevice, INVALID_HANDLE_VALUE);
            qvlib::RegisterDeviceSlot(rec);
            h = rec.hDevice;
        }
        ctl->clearTrace();
    }
    const ControllerProfile& profile() { return ctl->profile(); }
};

struct FrameCase {
    const char* name;
    Path path;
    uint8_t rows, columns, extra;
    uint16_t report;  // bytes per bulk transfer (odd: words split across transfers)
};

class DiagFrameRead : public DiagTest, public ::testing::WithParamInterface<FrameCase> {};

// Every path must deliver the sensor's frame unchanged and split it by row.
TEST_P(DiagFrameRead, EqualsTheSensorFrameAndSplitsEachRow) {
    const FrameCase& fc = GetParam();
    attach(Sensor(fc.rows, fc.columns, fc.extra, 0x00, kGenNew, fc.report), fc.path);
    DiagnosticInfo info{};
    info.cbSize = sizeof info;
    ASSERT_EQ(GetDiagnosticInfo(h, &info), 1);
    EXPECT_EQ(info.bulkSize, fc.path == Path::WordWise ? 0 : fc.report);
    ASSERT_EQ(info.rows, fc.rows);

    NewRawArray a{};
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    const int m = fc.columns + fc.extra + 1;
    ASSERT_EQ(a.wholeCount, fc.rows * m);
    ASSERT_EQ(StartNewDiagnosticScan(h, 0, 0), 1);  // loads scan 1's raw counts
    ASSERT_EQ(GetNewDiagnosticScanResult(h, &a), 1);

    const std::vector<uint16_t> want = qvsim::SensorFrame(profile(), qvsim::kSensorRaw, 1);
    ASSERT_EQ(std::vector<uint16_t>(a.whole, a.whole + a.wholeCount), want);
    for (int i = 0; i < fc.rows; ++i) {
        for (int k = 0; k < fc.columns; ++k) ASSERT_EQ(a.mutual[i * fc.columns + k], want[i * m + k]) << i << "," << k;
        for (int k = 0; k < fc.extra; ++k)
            ASSERT_EQ(a.extra[i * fc.extra + k], want[i * m + fc.columns + k]) << i << "," << k;
        ASSERT_EQ(a.last[i], want[i * m + m - 1]) << i;
    }
    if (fc.path == Path::WordWise) {
        // Column pairs, the odd last column read alone with c = c2.
        const auto sent = Hex(Received(*ctl));
        size_t words = 0;
        for (const auto& s : sent) words += s.rfind("E8", 0) == 0;
        EXPECT_EQ(words, size_t(fc.rows) * size_t((m + 1) / 2));
        if (m % 2) {
            Packet lastOfRow1 = P(0xE8, 1, uint8_t(m - 1), 1, uint8_t(m - 1));
            EXPECT_NE(std::find(sent.begin(), sent.end(), Hex(lastOfRow1)), sent.end());
        }
    }
    FreeNewRawArray(h, &a);
    EXPECT_EQ(a.whole, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DiagFrameRead,
    ::testing::Values(FrameCase{"HidEvenReport", Path::HidBulk, 6, 9, 2, 8},
                      FrameCase{"HidOddReportSplitsWords", Path::HidBulk, 5, 7, 3, 7},
                      FrameCase{"DriverOddReport", Path::DriverBulk, 4, 11, 1, 13},
                      FrameCase{"WordWiseOddRow", Path::WordWise, 3, 6, 2, 8},
                      FrameCase{"WordWiseEvenRow", Path::WordWise, 3, 5, 2, 8}),
    [](const auto& info) { return std::string(info.param.name); });

// Controllers without extra or last-column arrays: NULL pointers, zero counts,
// and the mutual values still come from the right positions of each row.
TEST_F(DiagTest, MissingExtraAndLastColumnArrays) {
    const struct {
        uint8_t flags;
        bool extra, last;
    } cases[] = {{0x0C, false, false}, {0x08, false, true}, {0x04, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.flags));
        SetUp();
        attach(Sensor(4, 6, 3, c.flags, kGenNew), Path::HidBulk);
        RawArray r{};
        r.cbSize = QV_RAWARRAY_SIZE;
        ASSERT_EQ(BuildRawArray(h, &r), 1);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.extra != nullptr, c.extra);
        EXPECT_EQ(r.extraCount, c.extra ? 12 : 0);
        EXPECT_EQ(r.last != nullptr, c.last);
        EXPECT_EQ(r.lastCount, c.last ? 4 : 0);
        ASSERT_EQ(StartNewDiagnosticScan(h, 0, 0), 1);
        ASSERT_EQ(GetDiffMutu(h, &r), 1);
        const auto want = qvsim::SensorFrame(profile(), qvsim::kSensorRaw, 1);
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 6; ++k) ASSERT_EQ(r.mutual[i * 6 + k], want[i * 10 + k]);
        ctl->clearTrace();
        EXPECT_EQ(FreeRawArray(h, &r), 1);
        EXPECT_EQ(r.mutual, nullptr);
        EXPECT_EQ(Hex(Received(*ctl)), std::vector<std::string>{"F9 00 00 00 00"});
        TearDown();
    }
}

TEST_F(DiagTest, OlderRecordScanModeSuppressesCopiesAndNoRowsAllocatesNothing) {
    attach(Sensor(3, 4, 1, 0x00, kGenNew), Path::HidBulk);
    RawArray r{};
    r.cbSize = QV_RAWARRAY_SIZE;
    ASSERT_EQ(BuildRawArray(h, &r), 1);
    r.scanMode = 0x02 | 0x01;  // no mutual, no last-column copy
    ASSERT_EQ(StartNewDiagnosticScan(h, 0, 0), 1);
    ASSERT_EQ(GetDiffMutu(h, &r), 1);
    const auto want = qvsim::SensorFrame(profile(), qvsim::kSensorRaw, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.mutual[i * 4], 0);
        EXPECT_EQ(r.last[i], 0);
        EXPECT_EQ(r.extra[i], want[i * 6 + 4]);
    }
    FreeRawArray(h, &r);

    SetUp();
    attach(Sensor(0, 4, 1, 0x00, kGenNew), Path::HidBulk);
    RawArray none{};
    none.cbSize = QV_RAWARRAY_SIZE;
    EXPECT_EQ(BuildRawArray(h, &none), 0);
    EXPECT_EQ(none.whole, nullptr);
    EXPECT_EQ(none.mutual, nullptr);
}

// The command sequences of both scan-control generations.
TEST_F(DiagTest, EnterLeaveScanAndLoadCommandsOfBothGenerations) {
    struct Step {
        const char* name;
        int (*call)(HANDLE);
        std::vector<std::string> newer, older;  // empty older: refused without a command
        int olderResult;
    };
    const Step steps[] = {
        {"enter", [](HANDLE x) { return EnterDiagnosticMode(x, 5); }, {"F9 FF 90 00 01"}, {"F9 00 00 C0 01"}, 1},
        {"leave", [](HANDLE x) { return EnterDiagnosticMode(x, 0); }, {"F9 FF 90 00 00"}, {"F9 00 00 00 00"}, 1},
        {"scan", [](HANDLE x) { return StartNewDiagnosticScan(x, 0, 3); }, {"F9 FF 91 00 03"}, {"F9 00 00 C0 01"}, 1},
        {"scan arg", [](HANDLE x) { return StartNewDiagnosticScan(x, 2, 3); }, {"F9 FF 91 02 03"}, {}, 0},
        {"load", [](HANDLE x) { return LoadNewDiagnosticData(x, 0, 1); }, {"F9 FF 92 00 01"}, {"F9 00 AA 00 01"}, 1},
        {"load arg", [](HANDLE x) { return LoadNewDiagnosticData(x, 4, 1); }, {"F9 FF 92 04 01"}, {}, 0},
        {"notify", [](HANDLE x) { return SetNewDiagnosticNotify(x, 9); }, {"F9 FF 93 00 01"}, {}, 0},
    };
    for (uint8_t gen : {kGenNew, uint8_t(0)}) {
        SetUp();
        attach(Sensor(2, 2, 0, 0x00, gen), Path::HidBulk);
        for (const Step& s : steps) {
            SCOPED_TRACE(std::string(s.name) + (gen ? " newer" : " older"));
            ctl->clearTrace();
            EXPECT_EQ(s.call(h), gen ? 1 : s.olderResult);
            EXPECT_EQ(Hex(Received(*ctl)), gen ? s.newer : s.older);
        }
        TearDown();
    }
}

TEST_F(DiagTest, DiagDataEntersAndLeavesTheModeItEntered) {
    // Newer firmware outside diagnostic mode.
    attach(Sensor(2, 3, 0, 0x00, kGenNew), Path::HidBulk);
    NewRawArray a{};
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    NewDiagRequest q{8, 0, 1, 2, 0};
    ASSERT_EQ(GetNewDiagData(h, &a, &q), 1);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"E0 00 FF 00 01", "F9 FF 90 00 01", "F9 FF 92 01 02",
                                                              "FA 00 55 00 00", "F9 FF 90 00 00"}));
    EXPECT_EQ(std::vector<uint16_t>(a.whole, a.whole + a.wholeCount), qvsim::SensorFrame(profile(), qvsim::kSensorDifference, 0));
    // Already in diagnostic mode: it stays there.
    ASSERT_EQ(EnterDiagnosticMode(h, 1), 1);
    ctl->clearTrace();
    ASSERT_EQ(GetNewDiagData(h, &a, &q), 1);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"E0 00 FF 00 01", "F9 FF 92 01 02", "FA 00 55 00 00"}));
    FreeNewRawArray(h, &a);

    // Older firmware that is scanning, baseline kind 0 with the load capability.
    SetUp();
    ControllerProfile p = Sensor(2, 3, 0, 0x02, 0);
    p.stateF0 = {0, 0, 0, 0x01};
    attach(p, Path::HidBulk);
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    NewDiagRequest q0{8, 0, 0, 0, 0};
    ASSERT_EQ(GetNewDiagData(h, &a, &q0), 1);
    EXPECT_EQ(Hex(Received(*ctl)),
              (std::vector<std::string>{"E0 00 F0 00 00", "F0 00 00 00 00", "F9 00 AA 00 00", "FA 00 55 00 00",
                                        "F9 00 00 C0 01", "F1 00 00 00 00", "F9 00 00 00 00"}));
    // A data kind other than 0 needs the per-mode capability on older firmware.
    ctl->clearTrace();
    NewDiagRequest q3{8, 0, 0, 3, 0};
    EXPECT_EQ(GetNewDiagData(h, &a, &q3), 0);
    EXPECT_TRUE(Received(*ctl).empty());
    FreeNewRawArray(h, &a);
}

TEST_F(DiagTest, ModeDiffNeedsItsCapabilityAndReadsTheModeFrame) {
    attach(Sensor(3, 3, 1, 0x00, kGenNew), Path::HidBulk);
    RawArray r{};
    r.cbSize = QV_RAWARRAY_SIZE;
    ASSERT_EQ(BuildRawArray(h, &r), 1);
    EXPECT_EQ(GetModeDiff(h, &r, 2), 0);
    EXPECT_TRUE(Received(*ctl).empty());
    FreeRawArray(h, &r);

    SetUp();
    attach(Sensor(3, 3, 1, 0x12, kGenNew), Path::HidBulk);
    ASSERT_EQ(BuildRawArray(h, &r), 1);
    ASSERT_EQ(GetModeDiff(h, &r, 0x82), 1);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"E0 00 FF 00 01", "F9 FF 90 00 01", "F9 FF 92 00 82",
                                                              "FA 00 55 00 00", "F9 FF 90 00 00"}));
    EXPECT_EQ(std::vector<uint16_t>(r.whole, r.whole + r.wholeCount), qvsim::SensorFrame(profile(), 0x82, 0));
    FreeRawArray(h, &r);
}

// Records of the wrong size, a request with its reserved byte set, and a record
// built for another geometry are refused before any command is sent.
TEST_F(DiagTest, SizeAndGeometryRefusalsSendNothing) {
    attach(Sensor(4, 5, 2, 0x00, kGenNew), Path::HidBulk);
    DiagnosticInfo info{};
    info.cbSize = 15;
    RawArray r{};
    r.cbSize = 44;
    NewRawArray a{};
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    NewDiagRequest badSize{7, 0, 0, 0, 0}, badReserved{8, 0, 0, 0, 1};
    EXPECT_EQ(GetDiagnosticInfo(h, &info), 0);
    EXPECT_EQ(BuildRawArray(h, &r), 0);
    EXPECT_EQ(r.whole, nullptr);
    EXPECT_EQ(GetRawCount(h, &r), 0);
    EXPECT_EQ(GetBaseLine(h, &r), 0);
    EXPECT_EQ(ChangeDiagnosticScan(h, &r), 0);
    EXPECT_EQ(GetNewRawCount(h, &a, &badSize), 0);
    EXPECT_EQ(GetNewRawCount(h, &a, &badReserved), 0);
    EXPECT_EQ(GetNewDiagData(h, &a, &badReserved), 0);
    EXPECT_EQ(GetNewRawCount(h, &a, nullptr), 0);
    // A record whose counts do not match the controller would be overrun.
    NewRawArray small = a;
    small.wholeCount -= 1;
    EXPECT_EQ(GetNewDiagnosticScanResult(h, &small), 0);
    small = a;
    small.mutualCount = 4;
    EXPECT_EQ(GetNewDiagnosticScanResult(h, &small), 0);
    EXPECT_TRUE(Received(*ctl).empty());
    EXPECT_EQ(GetDiagnosticInfo(reinterpret_cast<HANDLE>(0x7777), &info), 0);
    FreeNewRawArray(h, &a);
}

TEST_F(DiagTest, RawCountOnOlderFirmwareWritesTheScanModeOnlyWhenItDiffers) {
    ControllerProfile p = Sensor(2, 3, 0, 0x01, 0);
    p.scanMode = 4;
    attach(p, Path::HidBulk);
    NewRawArray a{};
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    NewDiagRequest same{8, 0, 0, 4, 0};
    ASSERT_EQ(GetNewRawCount(h, &a, &same), 1);
    for (const auto& s : Hex(Received(*ctl))) EXPECT_NE(s.substr(0, 2), "E1") << s;

    ctl->clearTrace();
    NewDiagRequest other{8, 0, 0, 6, 0};
    ASSERT_EQ(GetNewRawCount(h, &a, &other), 1);
    const auto sent = Hex(Received(*ctl));
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 3),
              (std::vector<std::string>{"F3 00 07 00 01", "E1 00 4E 00 06", "F3 00 07 00 00"}));
    EXPECT_EQ(ctl->profile().scanMode, 6);
    DiagnosticInfo info{};
    info.cbSize = 16;
    ASSERT_EQ(GetDiagnosticInfo(h, &info), 1);
    EXPECT_EQ(info.scanMode, 6);
    // The frame read is the scan the controller just made (raw counts of the second scan).
    EXPECT_EQ(std::vector<uint16_t>(a.whole, a.whole + a.wholeCount), qvsim::SensorFrame(profile(), qvsim::kSensorRaw, 2));
    FreeNewRawArray(h, &a);
}

// The adaptive wait: a scan already complete at the first poll ends it at once;
// a slower scan is polled until it reports done, within five polls.
TEST_F(DiagTest, ProgressWaitAdaptsToTheScan) {
    const struct {
        uint32_t scanMs;
        size_t polls;
        uint64_t waitedMs;
    } cases[] = {{0, 1, 50}, {160, 2, 50 + 150}};  // 2 of 8 done at 50 ms: wait 50 x 6 / 2
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scanMs);
        SetUp();
        ControllerProfile p = Sensor(2, 2, 0, 0x01, kGenNew);
        p.sensor->scanMs = c.scanMs;
        p.sensor->progressTotal = 8;
        attach(p, Path::HidBulk);
        NewRawArray a{};
        ASSERT_EQ(BuildNewRawArray(h, &a), 1);
        NewDiagRequest q{8, 0, 0, 0, 0};
        const uint64_t t0 = now();
        ASSERT_EQ(GetNewRawCount(h, &a, &q), 1);
        const uint64_t waited = now() - t0;
        size_t polls = 0;
        for (const auto& s : Hex(Received(*ctl))) polls += s == "F9 FF 10 00 00";
        EXPECT_EQ(polls, c.polls);
        EXPECT_EQ(waited, c.waitedMs);
        FreeNewRawArray(h, &a);
        TearDown();
    }
}

TEST_F(DiagTest, BulkFrameIsDumpedIntoTheCommandLog) {
    attach(Sensor(2, 18, 0, 0x00, kGenNew), Path::HidBulk);
    NewRawArray a{};
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    openLog();
    ASSERT_EQ(StartNewDiagnosticScan(h, 0, 0), 1);
    ASSERT_EQ(GetNewDiffMutu(h, &a), 1);
    const std::string log = closeLogAndRead();
    EXPECT_NE(log.find("[GetDiffMutu]"), std::string::npos);
    for (int i = 0; i < 2; ++i) {
        std::string row;
        for (int k = 0; k < 19; ++k) row += std::to_string(a.whole[i * 19 + k]) + ",";
        EXPECT_NE(log.find(row), std::string::npos) << row;
    }
    FreeNewRawArray(h, &a);
}

TEST_F(DiagTest, OpenShortPollNeverReportsAResult) {
    attach(Sensor(2, 2, 0, 0x00, kGenNew), Path::HidBulk);
    uint8_t result = 0;
    const uint64_t t0 = now();
    EXPECT_EQ(OpenShortTestA(h, nullptr, nullptr, nullptr, &result), 0);
    EXPECT_EQ(result, 255);
    EXPECT_EQ(now() - t0, 6u * 500u);
    ctl->setReg(0x00, 0xF7, {0x00, 0x01, 0x00, 0x00});
    result = 0;
    const uint64_t t1 = now();
    EXPECT_EQ(OpenShortTestW(h, nullptr, nullptr, nullptr, &result), 0);
    EXPECT_EQ(result, 255);
    EXPECT_EQ(now() - t1, 500u);
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

// The older record's reads: raw-count scan with its poll, baseline with the mode
// change undone, scan-mode selection.
TEST_F(DiagTest, OlderRecordReadsSendTheirSequences) {
    struct Case {
        const char* name;
        uint8_t flags, generation;
        std::array<uint8_t, 4> stateF0;
        int (*call)(HANDLE, RawArray*);
        std::vector<std::string> sent;
        uint8_t kind;  // the frame expected in the record
        uint32_t scan;
    };
    const Case cases[] = {
        {"raw count polled", 0x01, 0, {0, 0, 0, 0}, GetRawCount,
         {"F9 00 00 C0 00", "F9 00 00 80 00", "FA 00 55 00 00"}, qvsim::kSensorRaw, 1},
        {"raw count fixed wait", 0x00, 0, {0, 0, 0, 0}, GetRawCount, {"F9 00 00 C0 00", "FA 00 55 00 00"}, qvsim::kSensorRaw, 1},
        {"baseline older scanning", 0x02, 0, {0, 0, 0, 1}, GetBaseLine,
         {"E0 00 F0 00 00", "F0 00 00 00 00", "F9 00 AA 00 00", "FA 00 55 00 00", "F9 00 00 C0 01",
          "F1 00 00 00 00", "F9 00 00 00 00"},
         qvsim::kSensorBaseline, 0},
        {"baseline older idle", 0x02, 0, {0, 0, 0, 0}, GetBaseLine,
         {"E0 00 F0 00 00", "F9 00 AA 00 00", "FA 00 55 00 00"}, 0, 0},
        {"baseline newer", 0x02, kGenNew, {0, 0, 0, 0}, GetBaseLine,
         {"E0 00 FF 00 01", "F9 FF 90 00 01", "F9 FF 92 00 00", "FA 00 55 00 00", "F9 FF 90 00 00"}, 0, 0},
        {"scan mode same", 0x00, 0, {0, 0, 0, 0}, [](HANDLE x, RawArray* r) { return ChangeDiagnosticScan(x, r); },
         {"E0 00 4E 00 00"}, 0xFF, 0},
        {"scan mode newer", 0x00, kGenNew, {0, 0, 0, 0},
         [](HANDLE x, RawArray* r) {
             r->scanMode = 9;
             return ChangeDiagnosticScan(x, r);
         },
         {}, 0xFF, 0},
        {"scan mode other", 0x00, 0, {0, 0, 0, 0},
         [](HANDLE x, RawArray* r) {
             r->scanMode = 9;
             return ChangeDiagnosticScan(x, r);
         },
         {"E0 00 4E 00 00", "F3 00 07 00 01", "E1 00 4E 00 09", "F3 00 07 00 00"}, 0xFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ControllerProfile p = Sensor(3, 4, 1, c.flags, c.generation);
        p.scanMode = 5;
        p.stateF0 = c.stateF0;
        attach(p, Path::HidBulk);
        RawArray r{};
        r.cbSize = QV_RAWARRAY_SIZE;
        ASSERT_EQ(BuildRawArray(h, &r), 1);
        r.scanMode = 0;  // copy every array
        if (c.kind == 0xFF) r.scanMode = 5;
        ASSERT_EQ(c.call(h, &r), 1);
        EXPECT_EQ(Hex(Received(*ctl)), c.sent);
        if (c.kind != 0xFF) {
            EXPECT_EQ(std::vector<uint16_t>(r.whole, r.whole + r.wholeCount), qvsim::SensorFrame(profile(), c.kind, c.scan));
        }
        FreeRawArray(h, &r);
        TearDown();
    }
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

// Ostra and Melk controllers have no diagnostics; a read that fails after
// entering diagnostic mode reports 0 and leaves the controller in it.
TEST_F(DiagTest, SeriesRefusalAndAFailedLoadLeavesTheModeOn) {
    ControllerProfile ostra = Sensor(2, 2, 0, 0x00, kGenNew);
    ostra.series = qvsim::Series::Ostra;
    ctl = std::make_shared<qvsim::Controller>(ostra);
    h = addHid(ctl, "/sim/hidraw0", "HID0", OstraIdentity(3100, 1));
    ctl->clearTrace();
    DiagnosticInfo info{};
    info.cbSize = 16;
    NewRawArray a{};
    EXPECT_EQ(GetDiagnosticInfo(h, &info), 0);
    EXPECT_EQ(BuildNewRawArray(h, &a), 0);
    EXPECT_EQ(EnterDiagnosticMode(h, 1), 0);
    EXPECT_TRUE(Received(*ctl).empty());

    SetUp();
    attach(Sensor(2, 2, 0, 0x00, kGenNew), Path::HidBulk);
    ASSERT_EQ(BuildNewRawArray(h, &a), 1);
    ctl->refuse(0xFA);
    NewDiagRequest q{8, 0, 1, 0, 0};
    EXPECT_EQ(GetNewDiagData(h, &a, &q), 0);
    const auto sent = Hex(Received(*ctl));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "FA 00 55 00 00");
    const Packet page1 = *ctl->handle(P(0xE0, 0, 0xFF, 0, 1), qvsim::Link::Hid, now());
    EXPECT_TRUE(page1[2] & 0x80) << "still in diagnostic mode";
    FreeNewRawArray(h, &a);
}

}  // namespace
}  // namespace qvtest
