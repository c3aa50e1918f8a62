// The diagnostic data core's pure parts (thresholds file, drive-IC column map,
// panel flags and orientation, build permission) and the panel layout read
// from simulated controllers.
#include "diag/diag_config.h"
#include "diag/device_probes.h"
#include "diag_support.h"
#include "core/chd_parent_dlg.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

using vcx::DiagConfig;

// ---- LoadDiagnosticConfig -----------------------------------------------------------

struct ConfigCase {
    const char* name;
    const char* ini;  // nullptr: no file
    std::function<void(DiagConfig&)> expect;  // applied to the defaults: what must come out
};

TEST(DiagConfigFile, ReadsTheFileAndOrdersTheNoiseGrades) {
    const auto okPacked = [](uint32_t ok, uint32_t red) { return ok + red * 100; };
    const ConfigCase cases[] = {
        {"no file", nullptr, [](DiagConfig&) {}},
        {"empty file", "", [](DiagConfig&) {}},
        {"Great 1 becomes 3", "[Noise Level Threshold]\nGreat=1\nGood=2\nOK=1\nPoor=0\n",
         [&](DiagConfig& c) {
             c.NoiseGreat = 3;
             c.NoiseGood = 2;
             c.NoiseOK = okPacked(1, 1);
             c.NoisePoor = okPacked(0, 10);
         }},
        {"Great above 100 becomes 100", "[Noise Level Threshold]\nGreat=250\n", [](DiagConfig&) {}},
        {"Good 99 under Great 90 becomes 89", "[Noise Level Threshold]\nGreat=90\nGood=99\n",
         [](DiagConfig& c) {
             c.NoiseGreat = 90;
             c.NoiseGood = 89;
         }},
        {"PoorRed 150 becomes 10", "[Noise Level Threshold]\nPoorRed=150\n", [](DiagConfig&) {}},
        {"OKRed 20 over PoorRed 10 becomes 9; OK 80 is stored 980",
         "[Noise Level Threshold]\nOK=80\nOKRed=20\nPoorRed=10\n",
         [&](DiagConfig& c) { c.NoiseOK = okPacked(80, 9); }},
        {"Poor above OK becomes OK - 1 before the red limit", "[Noise Level Threshold]\nOK=40\nPoor=70\nPoorRed=3\nOKRed=2\n",
         [&](DiagConfig& c) {
             c.NoiseOK = okPacked(40, 2);
             c.NoisePoor = okPacked(39, 3);
         }},
        // Good 0 lowers OK and then Poor below it: each stays at 0 instead of wrapping.
        {"Good 0 with OK 85 gives 0, not 4294967295", "[Noise Level Threshold]\nGood=0\n",
         [&](DiagConfig& c) {
             c.NoiseGood = 0;
             c.NoiseOK = okPacked(0, 1);
             c.NoisePoor = okPacked(0, 10);
         }},
        {"OKRed above PoorRed 0 stays 0", "[Noise Level Threshold]\nPoorRed=0\nOKRed=5\n",
         [&](DiagConfig& c) {
             c.NoiseOK = okPacked(85, 0);
             c.NoisePoor = okPacked(50, 0);
         }},
        // OK and Poor of 100 would read back as 0 with one more red: they stop at 99.
        {"OK 100 keeps p at 99", "[Noise Level Threshold]\nGreat=100\nGood=100\nOK=100\nPoor=100\nOKRed=4\nPoorRed=6\n",
         [&](DiagConfig& c) {
             c.NoiseGood = 100;
             c.NoiseOK = okPacked(99, 4);
             c.NoisePoor = okPacked(99, 6);
         }},
        {"AutoSaveResult 1 is forced to 0", "[Quorvane VCX Diagnostic Config]\nEnable Auto Save Result=1\n"
                                            "Auto Retest Count=3\nEnable Auto Save Barcode=1\n",
         [](DiagConfig& c) {
             c.AutoRetestCount = 3;
             c.AutoSaveBarcode = 1;
         }},
        {"threshold sets by section, other settings", "[VCXScan Threshold]\nMinus=7\nAbsolute=300\n"
                                                       "[vcxdiag threshold]\nnode=12\n[CBTest Threshold]\nDriver=55\nSensor=66\n"
                                                       "Debounce=77\n[VCXMSet Setting]\nParameters CRC=0\n"
                                                       "[Tablet PC Setting]\nUse Tablet PC=1\n",
         [](DiagConfig& c) {
             c.ScanTh.Minus = 7;
             c.ScanTh.Absolute = 300;
             c.DiagTh.Node = 12;
             c.CBTh.Driver = 55;
             c.CBTh.Sensor = 66;
             c.CBTh.Debounce = 77;
             c.ParametersCRC = 0;
             c.UseTabletPC = 1;
         }},
    };
    QTemporaryDir dir;
    for (const ConfigCase& k : cases) {
        SCOPED_TRACE(k.name);
        const QString path = dir.filePath(QStringLiteral("VCXMSet.ini"));
        QFile::remove(path);
        if (k.ini) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(k.ini);
        }
        DiagConfig want;
        k.expect(want);
        const DiagConfig got = vcx::LoadDiagnosticConfig(path);
        EXPECT_EQ(got.NoiseGreat, want.NoiseGreat);
        EXPECT_EQ(got.NoiseGood, want.NoiseGood);
        EXPECT_EQ(got.NoiseOK, want.NoiseOK);
        EXPECT_EQ(got.NoisePoor, want.NoisePoor);
        EXPECT_EQ(got.AutoSaveResult, 0u);
        EXPECT_TRUE(got == want);
    }
}

// ---- BuildColumnFlagMap ---------------------------------------------------------------

ParameterDriveIC DriveIC(uint8_t count, std::vector<uint8_t> steps, bool valid = true) {
    ParameterDriveIC d{};
    d.cbSize = sizeof d;
    d.valid = valid;
    d.lineCount = count;
    std::copy(steps.begin(), steps.end(), d.lines);
    return d;
}

TEST(DiagColumnFlags, MarksDriveIcBoundariesAndTheEdges) {
    struct Case {
        const char* name;
        int columns;
        ParameterDriveIC driveIC;
        uint8_t byte38;
        std::vector<uint8_t> want;
    };
    const Case cases[] = {
        {"steps past B stop the walk", 10, DriveIC(3, {3, 3, 10}), 0, {2, 0, 1, 0, 0, 1, 0, 0, 2, 0}},
        {"negative positions are skipped", 10, DriveIC(2, {3, 4}), 4, {2, 0, 1, 0, 0, 0, 0, 0, 2, 0}},
        {"a boundary on an edge stays 1", 10, DriveIC(2, {1, 8}), 0, {1, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
        {"an invalid record gives the edges only", 6, DriveIC(2, {2, 2}, false), 0, {2, 0, 0, 0, 2, 0}},
        {"count 0 reads no step", 6, DriveIC(0, {2, 2}), 0, {2, 0, 0, 0, 2, 0}},
        {"count 255 (not read) reads no step", 6, DriveIC(255, {2, 2}), 0, {2, 0, 0, 0, 2, 0}},
        // 200 steps named, 15 held: the walk stops at the record's end.
        {"count 200 with steps 0", 8, DriveIC(200, {}), 0, {2, 0, 0, 0, 0, 0, 2, 0}},
        {"count 200 walks the 15 steps held", 40,
         DriveIC(200, {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}), 0,
         {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0,
          0, 0, 0, 2, 0}},
        {"one column", 1, DriveIC(1, {1}), 0, {1}},
        {"no columns", 0, DriveIC(1, {1}), 0, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(vcx::BuildColumnFlagMap(k.columns, k.driveIC, k.byte38), k.want);
    }
}

// ---- panel flags and orientation --------------------------------------------------------

TEST(DiagPanelFlags, FlagBitsAndTheirSources) {
    using F = std::array<uint8_t, 8>;
    struct Case {
        const char* name;
        vcx::PanelFlagInputs in;
        uint16_t want;
    };
    const auto with = [](F f, uint16_t model = 2081, uint8_t exchange = 0) {
        vcx::PanelFlagInputs in;
        in.features = f;
        in.model = model;
        in.exchange = exchange;
        return in;
    };
    const Case cases[] = {
        {"nothing", with({}), 0},
        {"hopping from feature 0 bit 1", with({0x02}), 0x100},
        {"range mode from feature 1 bit 0", with({0, 0x01}), 0x004},
        {"exchanged from feature 2 bit 4; the device's exchange 0 differs", with({0, 0, 0x10}), 0x001 | 0x800},
        {"exchanged and the device agrees", with({0, 0, 0x10}, 2081, 1), 0x001},
        {"model 15xx is always exchanged", with({}, 1523, 1), 0x001},
        {"model 1499 is not", with({}, 1499, 1), 0x800},
        {"the device exchanges alone", with({}, 2081, 1), 0x800},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // No orientation bit in these: only the flags themselves.
        EXPECT_EQ(vcx::PanelFlagsFor(k.in) & ~0x0600, k.want);
    }
}

TEST(DiagPanelFlags, OrientationFromFlipsTurnFeatureBitsAndFirmwareQuirks) {
    struct Case {
        const char* name;
        uint8_t flipX, flipY, orientation;
        uint8_t feature5;
        uint16_t model;
        uint8_t letter, minor;
        uint8_t exchange;  // 1: differs from bit 0, so x = 1
        unsigned want;     // o: bit 1 -> 0x400, bit 0 -> 0x200
    };
    const Case cases[] = {
        {"none", 0, 0, 0, 0, 2081, 0, 0, 0, 0},
        {"flip X", 1, 0, 0, 0, 2081, 0, 0, 0, 2},
        {"flip Y", 0, 1, 0, 0, 2081, 0, 0, 0, 1},
        {"turn 1 -> T 2", 0, 0, 1, 0, 2081, 0, 0, 0, 2},
        {"turn 2 -> T 3", 0, 0, 2, 0, 2081, 0, 0, 0, 3},
        {"turn 3 -> T 1", 0, 0, 3, 0, 2081, 0, 0, 0, 1},
        {"flips undo turn 2", 1, 1, 2, 0, 2081, 0, 0, 0, 0},
        {"turn 4 has no entry", 0, 0, 4, 0, 2081, 0, 0, 0, 0},
        {"feature 5 bit 3 flips x = 2", 0, 0, 0, 0x08, 2081, 0, 0, 0, 2},
        {"feature 5 bit 3 flips x = 1", 0, 0, 0, 0x08, 2081, 0, 0, 1, 1},
        {"feature 5 bit 2 flips 3 - x = 1", 0, 0, 0, 0x04, 2081, 0, 0, 0, 1},
        {"feature 5 bit 2 flips 3 - x = 2", 0, 0, 0, 0x04, 2081, 0, 0, 1, 2},
        {"both bits", 0, 0, 0, 0x0C, 2081, 0, 0, 0, 3},
        {"quirk 1410 any letter minor 8", 0, 0, 0, 0, 1410, 5, 8, 0, 2},
        {"1410 minor 7 is no quirk", 0, 0, 0, 0, 1410, 5, 7, 0, 0},
        {"quirk 2103 minor 2", 0, 0, 0, 0, 2103, 1, 2, 0, 2},
        {"quirk 2103 minor 3, x = 1", 0, 0, 0, 0, 2103, 0, 3, 1, 1},
        {"2103 minor 4 is no quirk", 0, 0, 0, 0, 2103, 0, 4, 0, 0},
        {"quirk 2203 letter 0 minor 1", 1, 0, 0, 0, 2203, 0, 1, 0, 0},
        {"2203 letter 1 is no quirk", 1, 0, 0, 0, 2203, 1, 1, 0, 2},
        {"quirk and bit 3 together flip once", 0, 0, 0, 0x08, 1410, 0, 8, 0, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        vcx::PanelFlagInputs in;
        in.features[5] = k.feature5;
        in.model = k.model;
        in.productLetter = k.letter;
        in.minorVersion = k.minor;
        in.flipX = k.flipX;
        in.flipY = k.flipY;
        in.orientation = k.orientation;
        in.exchange = k.exchange;
        const uint16_t flags = vcx::PanelFlagsFor(in);
        EXPECT_EQ(bool(flags & 0x400), bool(k.want & 2));
        EXPECT_EQ(bool(flags & 0x200), bool(k.want & 1));
    }
}

// ---- UpdateBuildEnable -----------------------------------------------------------------

TEST(DiagBuildEnable, ReferenceVersionAndTheOlderFirmware) {
    struct Case {
        const char* name;
        uint8_t feature0;
        bool engineer;
        uint16_t srVersion;
        bool firmware1711;
        bool want;
    };
    const Case cases[] = {
        {"no system reference", 0x02, true, 102, true, false},
        {"version 1.02", 0x01, false, 102, false, true},
        {"version 1.99", 0x01, false, 199, false, true},
        {"version 2.00", 0x01, false, 200, false, false},
        {"version 2.00 in engineer mode", 0x01, true, 200, false, true},
        {"version 0 on other firmware", 0x01, false, 0, false, false},
        {"version 0 on the 1711 release", 0x01, false, 0, true, true},
        {"version 0 in engineer mode", 0x01, true, 0, false, true},
        {"never read (0xFFFF)", 0x01, false, 0xFFFF, true, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(vcx::UpdateBuildEnable({k.feature0}, k.engineer, k.srVersion, k.firmware1711), k.want);
    }
}

// ---- the layout from the probes' answers, without a device ---------------------------------

TEST(PanelLayout, FeatureBitsSayWhichQuestionsAreAsked) {
    struct Case {
        uint8_t f0, f1;
        bool modes, reference;
    };
    for (const Case& k : {Case{0x03, 0x40, true, true}, Case{0x02, 0x40, true, false}, Case{0x03, 0x00, false, true},
                          Case{0x01, 0x40, false, true}, Case{0x00, 0xBF, false, false}}) {
        SCOPED_TRACE(testing::Message() << int(k.f0) << " " << int(k.f1));
        const std::array<uint8_t, 8> f{k.f0, k.f1};
        EXPECT_EQ(vcx::AsksFrequencyModes(f), k.modes);
        EXPECT_EQ(vcx::AsksReferenceVersion(f), k.reference);
    }
}

TEST(PanelLayout, TheProbesAnswersGoIntoTheStateAndWhatWasNotAskedStays) {
    vcx::Controller c;
    vcx::ProgramRecords& r = c.records;
    r.diagInfo.rows = 2;
    r.diagInfo.columns = 4;
    r.fwVersion.slaveCount = 1;
    r.panel.geometry[4] = 3;
    r.panel.geometry[5] = 1;
    vcx::DiagState s;
    s.g_wSRVersion = 0xFFFF;
    s.BaseFlatMax = {1, 2, 3};
    s.BaseFlatCount = {4, 5, 6};
    s.BaseFlatFailModes = 7;
    s.g_FailMap.assign(3, 9);
    vcx::PanelProbes p;
    p.scanControlWord = 0x2000;
    p.frequencyModes = vcx::FrequencyModes{2, 3, 1};
    vcx::ApplyPanelLayout(c, p, s);
    EXPECT_EQ(s.g_nFreqModeCount, 2);
    EXPECT_EQ(s.g_nFreqPerMode, 3);
    EXPECT_EQ(s.g_nFreqModeExtra, 1);
    EXPECT_EQ(s.g_wSRVersion, 0xFFFF);  // not asked
    EXPECT_EQ(s.g_SlaveSplit, (std::array<int32_t, 2>{3, 1}));
    EXPECT_EQ(s.g_FailMap, std::vector<uint8_t>(8, 0));
    EXPECT_EQ(s.g_ColumnFlags, (std::vector<uint8_t>{2, 0, 2, 0}));
    EXPECT_EQ(s.BaseFlatMax, (std::array<int32_t, 3>{}));
    EXPECT_EQ(s.BaseFlatCount, (std::array<int32_t, 3>{}));
    EXPECT_EQ(s.BaseFlatFailModes, 0);
    // Asked and not answered: 0; modes not answered: none.
    p.referenceVersion = 0;
    p.frequencyModes.reset();
    vcx::ApplyPanelLayout(c, p, s);
    EXPECT_EQ(s.g_wSRVersion, 0);
    EXPECT_EQ(s.g_nFreqModeCount, 0);
    EXPECT_EQ(s.g_nFreqPerMode, 0);
    p.referenceVersion = 102;
    vcx::ApplyPanelLayout(c, p, s);
    EXPECT_EQ(s.g_wSRVersion, 102);
}

// ---- LoadPanelLayout on simulated controllers --------------------------------------------

class DiagLayout : public diagtest::DiagBench {};

TEST_F(DiagLayout, ReadsTheDiagControllersLayout) {
    ASSERT_TRUE(open("diag"));
    readDevice();
    ASSERT_EQ(c.records.diagInfo.rows, 16);
    ASSERT_EQ(c.records.diagInfo.columns, 28);
    EXPECT_TRUE(c.records.panel.valid);
    EXPECT_TRUE(c.records.driveIC.valid);
    EXPECT_EQ(c.records.finger.info[0], 60) << "groups " << c.records.generalInfo.groupMask << " valid "
                                            << int(c.records.generalInfo.valid) << " finger " << c.records.finger.valid;
    vcx::DiagState s;
    s.g_SlaveSplit = {5, 5};
    s.BaseFlatMax = {1, 2, 3};
    s.BaseFlatFailModes = 3;
    ctl().clearTrace();
    vcx::LoadPanelLayout(c, s);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 0F 00 00", "F5 00 04 00 00", "E4 00 00 00 00"}));
    EXPECT_EQ(c.dev.scanControlWord, 0x2000);
    EXPECT_EQ(s.g_nFreqModeCount, 2);
    EXPECT_EQ(s.g_nFreqPerMode, 3);
    EXPECT_EQ(s.g_nFreqModeExtra, 0);
    EXPECT_EQ(s.g_wSRVersion, 102);
    EXPECT_EQ(s.g_PanelFlags, 0x100);
    EXPECT_EQ(s.g_SlaveSplit, (std::array<int32_t, 2>{0, 0}));
    EXPECT_EQ(s.g_FailMap, std::vector<uint8_t>(16 * 28, 0));
    std::vector<uint8_t> columns(28, 0);
    columns[0] = 2;
    columns[13] = 1;
    columns[26] = 2;
    columns[27] = 1;
    EXPECT_EQ(s.g_ColumnFlags, columns);
    EXPECT_EQ(s.BaseFlatMax, (std::array<int32_t, 3>{}));
    EXPECT_EQ(s.BaseFlatFailModes, 0);
    EXPECT_TRUE(vcx::UpdateBuildEnable(c.dev.featureFlags, false, s.g_wSRVersion,
                                       vcx::IsFirmwareId1711(c.records.fwInformation)));
}

TEST_F(DiagLayout, OlderFirmwareAllowsTheBuildOfVersionZero) {
    ASSERT_TRUE(open("diag-old"));
    readDevice();
    vcx::DiagState s;
    vcx::LoadPanelLayout(c, s);
    EXPECT_EQ(c.dev.scanControlWord, 0);  // F3 00 0F refused: FD selects the patterns
    EXPECT_EQ(s.g_nFreqModeCount, 2);
    EXPECT_EQ(s.g_wSRVersion, 0);
    EXPECT_TRUE(vcx::IsFirmwareId1711(c.records.fwInformation));
    EXPECT_TRUE(vcx::UpdateBuildEnable(c.dev.featureFlags, false, s.g_wSRVersion, true));
    // No drive-IC record on this firmware: the edges only.
    EXPECT_EQ(s.g_ColumnFlags[0], 2);
    EXPECT_EQ(s.g_ColumnFlags[26], 2);
    EXPECT_EQ(std::count(s.g_ColumnFlags.begin(), s.g_ColumnFlags.end(), 0), 26);
}

TEST_F(DiagLayout, FailingCommandsLeaveTheirValuesAtZero) {
    ASSERT_TRUE(open("diag"));
    readDevice();
    ctl().refuse(qvsim::PacketPrefix::code(0xF5));
    ctl().refuse(qvsim::PacketPrefix::code(0xE4));
    // An answer without the AA mark is no capability word.
    ctl().setReply(qvsim::Packet{0xF3, 0x00, 0x0F, 0x00, 0x00}, qvsim::Packet{0xF3, 0x00, 0x0F, 0x00, 0x20});
    vcx::DiagState s;
    s.g_nFreqModeCount = 7;
    s.g_nFreqPerMode = 7;
    c.dev.scanControlWord = 0x2000;
    vcx::LoadPanelLayout(c, s);
    EXPECT_EQ(c.dev.scanControlWord, 0);
    EXPECT_EQ(s.g_nFreqModeCount, 0);
    EXPECT_EQ(s.g_nFreqPerMode, 0);
    EXPECT_EQ(s.g_wSRVersion, 0);
}

TEST_F(DiagLayout, FeatureBitsDecideWhatIsAsked) {
    ASSERT_TRUE(open("diag"));
    readDevice();
    struct Case {
        const char* name;
        uint8_t f0, f1;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"no hopping: no mode query", 0x81, 0x40, {"F3 00 0F 00 00", "E4 00 00 00 00"}},
        {"no mode bit: no mode query", 0x83, 0x00, {"F3 00 0F 00 00", "E4 00 00 00 00"}},
        {"no system reference: no E4", 0x82, 0x40, {"F3 00 0F 00 00", "F5 00 04 00 00"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c.dev.featureFlags[0] = k.f0;
        c.dev.featureFlags[1] = k.f1;
        vcx::DiagState s;
        s.g_wSRVersion = 0xFFFF;
        ctl().clearTrace();
        vcx::LoadPanelLayout(c, s);
        EXPECT_EQ(sent(), k.sent);
        if (!(k.f0 & 1)) {
            EXPECT_EQ(s.g_wSRVersion, 0xFFFF);
        }
    }
}

// The slave split comes from panel bytes 64 and 65 when the firmware has slaves.
TEST_F(DiagLayout, SlaveSplitFromThePanelRecord) {
    ASSERT_TRUE(open("diag"));
    readDevice();
    c.records.panel.geometry[4] = 12;
    c.records.panel.geometry[5] = 4;
    vcx::DiagState s;
    c.records.fwVersion.slaveCount = 1;
    vcx::LoadPanelLayout(c, s);
    EXPECT_EQ(s.g_SlaveSplit, (std::array<int32_t, 2>{12, 4}));
    c.records.fwVersion.slaveCount = 0;
    vcx::LoadPanelLayout(c, s);
    EXPECT_EQ(s.g_SlaveSplit, (std::array<int32_t, 2>{0, 0}));
}

}  // namespace
