// The Debug page: the frame text of the device-information log, the log run to
// its end on a simulated controller through the page's timer 1, its endings,
// and the register dump. Expected files are built from the layout rules stated
// here and from the simulator's model of the controller (its frames, E7 memory
// and frequency select), never from a copy of what the program wrote.
#include "pages/debug_dlg.h"
#include "pages/para_list_dlg.h"

#include "core/app_settings.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "diag/device_probes.h"
#include "diag/diag_state.h"
#include "diag/scan_dlg.h"
#include "noise_log_support.h"
#include "params_support.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using vcx::FrameShape;
using vcx::FrameValueForm;

std::string readFile(const QString& path) {
    std::ifstream in(QFile::encodeName(path).constData(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A text-mode file on disk: every "\n" is written as "\r\n" (so "\r\n" lands as "\r\r\n").
std::string onDisk(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\n') out += '\r';
        out += ch;
    }
    return out;
}

std::string format(const char* f, auto... args) {
    char b[256];
    std::snprintf(b, sizeof b, f, args...);
    return b;
}

// ---- Frame text -----------------------------------------------------------------

TEST(DeviceLogText, FrameOfTwoRowsSixColumnsTwoExtraAndTheLastColumn) {
    DiagnosticInfo info{};
    info.rows = 2;
    info.columns = 6;
    info.extraColumns = 2;
    const FrameShape s = vcx::FrameShapeOf(info, 18);  // 9 values per row: 6 + 2 + the last column
    ASSERT_EQ(s.perRow, 9);
    const uint16_t frame[18] = {1, 2, 0x8000, 0x8001, 0xFFFF, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    uint16_t baseline[18];
    std::fill(std::begin(baseline), std::end(baseline), uint16_t(10));

    // Labels: "index, ", columns 1..5 (5 as a number), "Sector, ", extra column 1;
    // the difference block repeats them after ",," (one more value than labels).
    const std::string labels = "index, , , , , 5, Sector, , ";
    EXPECT_EQ(vcx::FrameText(s, frame, baseline, FrameValueForm::Signed, false),
              labels + ",," + labels + "\n"
                  "\n1, 2, 32768, -32767, -1, 5, 6, 7, 8, , -9, -8, 32758, 32759, 65525, -5, -4, -3, -2, "
                  "\n10, 11, 12, 13, 14, 15, 16, 17, 18, , 0, 1, 2, 3, 4, 5, 6, 7, 8, ");
    // The difference the other way round (feature byte 2 bit 0).
    EXPECT_EQ(vcx::FrameText(s, frame, baseline, FrameValueForm::Signed, true).substr(labels.size() * 2 + 3),
              "\n1, 2, 32768, -32767, -1, 5, 6, 7, 8, , 9, 8, -32758, -32759, -65525, 5, 4, 3, 2, "
              "\n10, 11, 12, 13, 14, 15, 16, 17, 18, , 0, -1, -2, -3, -4, -5, -6, -7, -8, ");
    // An event-halt frame of data choice 1 ("diff_mutu"): hexadecimal, no difference block.
    EXPECT_EQ(vcx::FrameText(s, frame, nullptr, FrameValueForm::Hex, false),
              labels + "\n"
                       "\n0x0001, 0x0002, 0x8000, 0x8001, 0xFFFF, 0x0005, 0x0006, 0x0007, 0x0008, "
                       "\n0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F, 0x0010, 0x0011, 0x0012, ");
    // Choice 0 ("Raw"): unsigned.
    EXPECT_EQ(vcx::FrameText(s, frame, nullptr, FrameValueForm::Unsigned, false).substr(labels.size() + 1, 37),
              "\n1, 2, 32768, 32769, 65535, 5, 6, 7, ");

    // Without the last column the difference block starts after one comma.
    const FrameShape noLast = vcx::FrameShapeOf(info, 16);
    EXPECT_EQ(vcx::FrameColumnLine(noLast, true), labels + ",index, , , , , 5, Sector, , \n");
}

TEST(DeviceLogText, ControllerGeometryIsCutToTheFrame) {
    struct Case {
        uint8_t rows, columns, extra;
        int whole;
        FrameShape shape;
    } cases[] = {
        {2, 6, 2, 18, {2, 9, 6, 2}},
        {0, 6, 2, 18, {}},          // no rows: no divisor, no frame
        {2, 6, 2, 0, {}},           // no values
        {4, 6, 2, 3, {}},           // fewer values than rows
        {2, 200, 200, 18, {2, 9, 9, 0}},  // columns the frame does not hold
        {2, 6, 200, 18, {2, 9, 6, 3}},
    };
    for (const Case& k : cases) {
        DiagnosticInfo info{};
        info.rows = k.rows;
        info.columns = k.columns;
        info.extraColumns = k.extra;
        const FrameShape s = vcx::FrameShapeOf(info, k.whole);
        EXPECT_EQ(std::tie(s.rows, s.perRow, s.columns, s.extraColumns),
                  std::tie(k.shape.rows, k.shape.perRow, k.shape.columns, k.shape.extraColumns))
            << int(k.rows) << " " << int(k.columns) << " " << int(k.extra) << " " << k.whole;
    }
}

TEST(DeviceLogText, FrequencyPhasesAndPrintableBytes) {
    // Mode in the low two bits: phase 0 the current step, 1 the lowest, 2 4 x (modes - 1).
    struct Case {
        int k;
        vcx::FrequencyStep step;
    } cases[] = {{9, {0, 0, 0x14}}, {12, {0, 1, 0}}, {15, {0, 2, 8}},   {18, {1, 0, 0x15}},
                 {21, {1, 1, 1}},   {24, {1, 2, 9}}, {27, {2, 0, 0x16}}, {33, {2, 2, 10}}};
    for (const Case& c : cases) EXPECT_EQ(vcx::FrequencyStepOf(c.k, 0x17, 3), c.step) << c.k;
    const uint8_t bytes[] = {'A', 'z', 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF};
    EXPECT_EQ(vcx::PrintableBytes(bytes, 8), "Az. ~...");
}

// ---- The page on a simulated controller ----------------------------------------

class DebugPage : public paramtest::ParamBench {
protected:
    void SetUp() override {
        // ctime prints in the local zone: UTC for the time stamps.
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        page.reset();
        vcx::programState().engineerMode = false;
        vcx::programState().parameterLockOn = false;
        if (c.records.newRawArray.whole) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        ParamBench::TearDown();
    }

    void openPage(const std::string& profile, const std::function<void(qvsim::ControllerProfile&)>& edit = {}) {
        ASSERT_TRUE(openEdited(profile, edit));
        vcxtest::BindSlots(c.api, {"GetStateFlagEx", "GetNewDiffMutu", "GetQVDriverVersionEx", "GetDeviceType"});
        // What the device search and the main window's read-out leave, the
        // Diagnostic page's frame arrays and frequency word among it.
        ASSERT_EQ(GetDeviceType(c.dev.device, &c.dev.deviceType), 1);
        readDevice();
        vcx::LoadPanelLayout(c, vcx::diagState());
        vcx::diagState().g_nFHMode = uint32_t(vcx::SendCmdReadF5(c, 0x0F));
        if (c.dev.featureFlags[4] & 1) {
            uint16_t version = 0;
            vcx::diagState().g_wSRVersion = vcx::SendCmdQueryReferenceVersionE4(c, &version) ? version : 0xFF00;
        }
        if (c.records.diagInfo.rows) {
            ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        }
        vcx::workingFolders()[vcx::kDbgLogFolder] = dir.path();
        vcx::workingFolders()[vcx::kDbgMDFolder] = dir.path();
        for (QString& p : vcx::programState().toolPaths) p.clear();
        page = std::make_unique<vcx::CQVDebugDlg>(c, nullptr);
        page->setMainWindow(&sink);
        page->UpdateDlgItem();
        ctl().clearTrace();
        sink.messages.clear();
    }

    // Steps timer 1 until the log stops it; the number of ticks.
    int runLog(int limit = 100) {
        int ticks = 0;
        while (page->timers().isActive(vcx::CQVDebugDlg::kTimerLog) && ticks < limit) {
            qvui::fireTimer(page.get(), vcx::CQVDebugDlg::kTimerLog);
            ++ticks;
        }
        return ticks;
    }

    std::vector<qint64> progress() const {
        std::vector<qint64> out;
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_DEBUG_COMMAND && m.wParam == 1) out.push_back(m.lParam);
        return out;
    }
    std::vector<std::string> sentF5() { return sentWith("F5"); }

    // The log of the save dialog's file, run to its end.
    std::string logToEnd(const QString& path) {
        qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return path; });
        qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
        runLog();
        return readFile(path);
    }

    QTemporaryDir dir;
    std::unique_ptr<vcx::CQVDebugDlg> page;
    MainWindowSink sink;
    Boxes boxes;
    qvtext::ScopedClock clock{qvtext::LocalTime{2026, 3, 4, 5, 6, 7, 0}};
};

// The frame text of a sensor frame of the diag panel (16 x 28 + 2 + 1).
std::string frameText(const DiagnosticInfo& info, const std::vector<uint16_t>& frame, const std::vector<uint16_t>* base) {
    return vcx::FrameText(vcx::FrameShapeOf(info, int(frame.size())), frame.data(), base ? base->data() : nullptr,
                          FrameValueForm::Signed, false);
}

TEST_F(DebugPage, DeviceLogRunsItsStepsToTheEnd) {
    openPage("diag", [](qvsim::ControllerProfile& p) {
        p.frequencyModes = std::array<uint8_t, 3>{3, 3, 0};
        p.frequency = 5;                     // mode 1, step 1
        p.sensor->frequencyNoise[8] = 40;    // the highest step of mode 0 is noisier
        p.featureFC = {0x01, 0x00, 0x00, 0x00};  // system reference supported
        p.readyAfterPolls = 0;                   // the reference state is ready
        p.icWords[0] = {0x00, 0x10, 0x5E, 0x5F};  // the master's time value 1600000000
    });
    ASSERT_EQ(c.records.fwInformation.controllerWord[0], 1600000000u);
    ASSERT_EQ(c.records.fwInformation.info4Byte1, 0);  // no core version line
    const qvsim::ControllerProfile& p = ctl().profile();
    const DiagnosticInfo& info = c.records.diagInfo;
    const QString path = dir.filePath("info.csv");
    const std::string bytes = logToEnd(path);

    // The F5 packets: the two frequency reads, one select per frequency step
    // (mode m: the current step (5 & 0xFC) + m, the lowest m, the highest 8 + m),
    // and the frequency read at the start restored at the end.
    const std::vector<std::string> f5 = {"F5 00 0F 00 00", "F5 00 0E 00 00", "F5 00 FF 00 04", "F5 00 FF 00 00",
                                         "F5 00 FF 00 08", "F5 00 FF 00 05", "F5 00 FF 00 01", "F5 00 FF 00 09",
                                         "F5 00 FF 00 06", "F5 00 FF 00 02", "F5 00 FF 00 0A", "F5 00 FF 00 05"};
    EXPECT_EQ(sentF5(), f5);
    // Progress: the start, one tick per frame (baseline, 2 mode differences, 5 + 18 raw frames), the end.
    std::vector<qint64> expectedProgress = {0};
    expectedProgress.insert(expectedProgress.end(), 26, 1);
    expectedProgress.push_back(0xFFFF);
    EXPECT_EQ(progress(), expectedProgress);
    EXPECT_FALSE(page->log().isOpen());

    // The first part.
    std::string e;
    e += "\nWrite Log Time : 2026/03/04 05 06 07\n";
    e += "\nApplication Version : Quorvane VCXMSet 2.7.3.13\n";
    e += "\nFunction : Log Current Device Information\n";
    e += "\nFirmware Version : " + vcx::wideField(c.records.fwVersion.master, 50).toStdString() + "\n";
    e += "\nPanel Information : " + vcx::wideField(c.records.fwInformation.panelSize, 40).toStdString() +
         "\nCover Lens : " + vcx::wideField(c.records.fwInformation.coverLens, 40).toStdString() + "\n";
    e += "\nOS Version : " + QSysInfo::prettyProductName().toStdString() + "\n";
    e += "\r\nDevice Interface : USB\n";  // interface bits 0, not auto-detected
    e += "\nHost Interface : USB (Hid Driver)\n";
    // Reference version 1.02 (E4 bytes 2, 1), ready (E0 00 F7 byte 1 bit 0), status bit 0 clear.
    e += format("\r\nSystem Reference Version : %d.%d\n", p.srVersion / 100, p.srVersion % 100);
    e += "\nSystem Reference State : Active.\n";
    StateFlagEx st{sizeof(StateFlagEx), 0, 0, 0, 0};
    ASSERT_EQ(GetStateFlagEx(c.dev.device, &st), 1);
    e += format("\r\nVCXM_FLAG = 0x%04X VCXM_STAT = 0x%04X VCXM_STAT2 = 0x%04X VCXM_DIAG = 0x%04X\n", st.flag,
                st.status, st.status2, st.diagnostic);
    e += format("\nFeature Flag1 = 0x%02X Feature Flag2 = 0x%02X Feature Flag3 = 0x%02X Feature Flag4 = 0x%02X\n",
                p.featureF4[0], p.featureF4[1], p.featureF4[2], p.featureF4[3]);
    e += format("\nFeature Flag5 = 0x%02X Feature Flag6 = 0x%02X Feature Flag7 = 0x%02X Feature Flag8 = 0x%02X\n",
                p.featureFC[0], p.featureFC[1], p.featureFC[2], p.featureFC[3]);
    e += "\nFirmware Time Stamp : Sun Sep 13 12:26:40 2020\n\n";
    // Feature byte 2 bit 6: the frequency word 5 (mode 1). No abnormal level: the
    // controller answers F6 06 01 with FF FF. Item protocol 1.52, generation 0x1E.
    e += "\nFrequence Hopping mode : 1\nFrequency : 5\n";
    e += "\n0xF6 Version : 1.52\n";
    e += "\n0xF9 Version : 1.14\n";
    e += format("\r\nParameters CRC : x%04X\n", unsigned(c.dev.parameterCrc));
    const ParameterList& l = c.records.paraList;
    auto list = [&](const char* heading, const uint8_t* b, int n) {
        if (n == 0) return;
        e += heading;
        for (int i = 0; i < n; ++i) e += (i % 16 ? "" : "\n") + format("0x%02X, ", b[i]);
        e += "\n";
    };
    list("\nAP Parameters :\n", l.touchList, l.touchLength);
    list("\nBoot Parameters :\n", l.bootList, l.bootLength);
    list("\nDebug Parameters :\n", l.debugList, l.debugLength);

    // The frames: the baseline and the mode differences before any scan, then a
    // scan per raw frame at the frequency selected before it.
    auto model = [&](uint8_t kind, uint32_t scan, uint8_t frequency) {
        qvsim::ControllerProfile at = p;
        at.frequency = frequency;
        return qvsim::SensorFrame(at, kind, scan);
    };
    const std::vector<uint16_t> base = model(qvsim::kSensorBaseline, 0, 5);
    e += "\r\nBase Line :\n" + frameText(info, base, nullptr);
    for (int m : {1, 2})
        e += format("\r\nFrequence Hopping Mode Diff %d :\n", m) + frameText(info, model(uint8_t(0x80 | m), 0, 5), nullptr);
    uint32_t scan = 0;
    auto raw = [&](int label, uint8_t frequency) {
        e += format("\nRaw Count %d :\n", label) + frameText(info, model(qvsim::kSensorRaw, ++scan, frequency), &base);
    };
    for (int i = 1; i <= 5; ++i) raw(i, 5);
    const char* const phases[] = {"\nFrequence Hopping Mode %d (Frequence : 1)\n",
                                  "\nFrequence Hopping Mode %d and use Minimum Frequence :\n",
                                  "\nFrequence Hopping Mode %d and use Maximum Frequence :\n"};
    for (int m = 0; m < 3; ++m)
        for (int phase = 0; phase < 3; ++phase) {
            e += format(phases[phase], m);
            const uint8_t f = uint8_t(phase == 0 ? 4 + m : phase == 1 ? m : 8 + m);
            raw(1, f);
            raw(2, f);
        }
    EXPECT_EQ(bytes, onDisk(e));
}

TEST_F(DebugPage, DeviceLogEndings) {
    struct Case {
        const char* name;
        std::function<void(qvsim::ControllerProfile&)> edit;
        std::function<void(qvsim::Controller&)> fault;
        int stepOfFault;  // the fault is given when the log reaches this step (-1: at the start)
        int ticks;
        int rawFrames;
        const char* lastLine;
    } cases[] = {
        // No mode count: 3 for the mode differences, and the log ends at step 9.
        {"mode count 0", [](qvsim::ControllerProfile& p) { p.frequencyModes = std::array<uint8_t, 3>{0, 3, 0}; }, {},
         -1, 9, 5, "\nRaw Count 5 :\n"},
        // No frequency word: the log ends at step 9 as well.
        {"F5 00 0F refused", {}, [](qvsim::Controller& s) { s.refuse(qvsim::PacketPrefix::exact({0xF5, 0, 0x0F, 0, 0})); },
         -1, 9, 5, "\nRaw Count 5 :\n"},
        // The second raw frame cannot be read: its failure line, and the end.
        {"raw read refused at k = 5", {},
         [](qvsim::Controller& s) { s.refuse(qvsim::PacketPrefix({0xF9, 0xFF, 0x91, 0, 0}, {0xFF, 0xFF, 0xFF, 0, 0})); },
         5, 6, 1, "\nGet Raw Count Failed.\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TearDown();
        openPage("diag", k.edit);
        if (k.stepOfFault < 0 && k.fault) k.fault(ctl());
        const QString path = dir.filePath(QString::fromLatin1(k.name) + ".csv");
        qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return path; });
        qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
        int ticks = 0;
        while (page->timers().isActive(vcx::CQVDebugDlg::kTimerLog) && ticks < 100) {
            if (page->log().step() == k.stepOfFault && k.fault) k.fault(ctl());
            qvui::fireTimer(page.get(), vcx::CQVDebugDlg::kTimerLog);
            ++ticks;
        }
        EXPECT_EQ(ticks, k.ticks);
        EXPECT_FALSE(page->log().isOpen());
        ASSERT_FALSE(progress().empty());
        EXPECT_EQ(progress().back(), 0xFFFF);
        // No frequency was selected, so none is restored.
        EXPECT_EQ(sentWith("F5 00 FF").size(), 0u);
        const std::string text = readFile(path);
        size_t frames = 0;
        const std::string heading = onDisk("\nRaw Count ");
        for (size_t at = text.find(heading); at != std::string::npos; at = text.find(heading, at + 1)) ++frames;
        EXPECT_EQ(frames, size_t(k.rawFrames));
        const std::string last = onDisk(k.lastLine);
        ASSERT_GE(text.size(), last.size());
        if (std::string(k.lastLine).starts_with("\nGet"))
            EXPECT_EQ(text.substr(text.size() - last.size()), last);
        else
            EXPECT_NE(text.rfind(last), std::string::npos);
    }
}

TEST_F(DebugPage, CancelledSaveDialogReleasesAnActiveHalt) {
    for (bool engineer : {false, true}) {
        SCOPED_TRACE(engineer ? "engineer mode" : "user mode");
        TearDown();
        openPage("full");
        // The panel halts at a finger once the read-out (which clears a halt) is over.
        ctl().editProfile([](qvsim::ControllerProfile& p) {
            p.eventHaltSwitch = 1;
            p.eventHalt = 1;
        });
        vcx::programState().engineerMode = engineer;
        qvui::FileChooserResponder chooser([](const qvui::FileChooserRequest&) { return QString(); });
        qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
        const std::vector<std::string> s = sent();
        // The halt state, scanning resumed (generation 0x20 and above: diagnostic mode off), the halt cleared.
        EXPECT_EQ(s, (std::vector<std::string>{"F6 0E 50 00 00", "F9 FF 90 00 00", "F6 0E 91 00 00"}));
        EXPECT_EQ(ctl().profile().eventHalt, 0);
        const std::vector<MainWindowSink::Message> expected =
            engineer ? std::vector<MainWindowSink::Message>{}
                     : std::vector<MainWindowSink::Message>{{qvui::WM_DEBUG_COMMAND, 12, 0}};
        EXPECT_EQ(sink.messages, expected);
        EXPECT_FALSE(page->timers().isActive(vcx::CQVDebugDlg::kTimerLog));
    }
    // Without a halt a cancelled dialog does nothing more.
    ctl().clearTrace();
    sink.messages.clear();
    qvui::FileChooserResponder chooser([](const qvui::FileChooserRequest&) { return QString(); });
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
    EXPECT_EQ(sentWith("F6 0E 91"), std::vector<std::string>{});
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(DebugPage, TouchAndHaltLogTakesItsOwnNameAndOtherValuesDoNothing) {
    openPage("diag");
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 4, 255);
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // No save dialog: the firmware version and the time name the file.
    qvui::FileChooserResponder chooser([](const qvui::FileChooserRequest&) -> QString {
        ADD_FAILURE() << "no dialog expected";
        return {};
    });
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 4, 256);
    EXPECT_EQ(runLog(), 28);  // steps 0..27: mode 2 of a controller with two modes ends it
    const QString version = vcx::wideField(c.records.fwVersion.master, 50).trimmed();
    const QString name = version + "2026_03_04_05_06_07_Touch and Halt.csv";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    const std::string text = readFile(dir.filePath(name));
    EXPECT_NE(text.find(onDisk("\nFunction : Touch and Halt\n")), std::string::npos);
    EXPECT_EQ(progress().back(), 0xFFFF);
    EXPECT_FALSE(page->touchAndHalt());
}

TEST_F(DebugPage, EngineerModeShowsTheToolsAndTheParameterListHoldsTheLock) {
    openPage("full");
    auto button = [&](int id) { return qvui::findControl<QPushButton>(page.get(), id); };
    auto shown = [&](QWidget* w) { return w->isVisibleTo(page.get()); };
    for (int id = 420; id <= 423; ++id) EXPECT_FALSE(shown(button(id))) << id;

    // The main window's engineer-mode switch reaches the page through the program hooks.
    vcx::programState().engineerMode = true;
    vcx::programHooks().engineerModeChanged();
    for (int id = 420; id <= 423; ++id) EXPECT_TRUE(shown(button(id))) << id;
    EXPECT_EQ(page->toolIndex(), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(shown(page->tool(i)), i == 0) << i;
        EXPECT_EQ(page->tool(i)->geometry(), QRect(127, 10, 608, 390)) << i;  // display scale 100
    }

    // The parameter list takes the controller's update lock and reads the lists.
    ctl().clearTrace();
    button(421)->click();
    EXPECT_EQ(page->toolIndex(), 1);
    EXPECT_TRUE(shown(page->parameterList()));
    EXPECT_FALSE(shown(page->tool(0)));
    EXPECT_EQ(sentWith("F6 00 9F"), std::vector<std::string>{"F6 00 9F 00 01"});
    EXPECT_TRUE(vcx::programState().parameterLockOn);
    // Leaving it releases the lock; a changed controller is read again by the main window.
    page->parameterList()->setChangedMark(true);
    ctl().clearTrace();
    button(422)->click();
    EXPECT_EQ(sentWith("F6 00 9F"), std::vector<std::string>{"F6 00 9F 00 00"});
    EXPECT_FALSE(vcx::programState().parameterLockOn);
    EXPECT_FALSE(page->parameterList()->changedMark());
    EXPECT_EQ(sink.messages, (std::vector<MainWindowSink::Message>{{qvui::WM_DEBUG_COMMAND, 6, 0}}));
    // Code 12 (a second click on the Parameters page) shows the list again.
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 12, 0);
    EXPECT_EQ(page->toolIndex(), 1);

    // The event-halt tool needs the debug group: without it the page shows the echo tool.
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 3);
    EXPECT_EQ(page->toolIndex(), 3);
    c.records.debug.valid = 0;
    page->ShowToolsForMode();
    EXPECT_EQ(page->toolIndex(), 0);
    EXPECT_FALSE(vcx::programState().parameterLockOn);

    // Toolbar action 0 asks before the main window resets the panel.
    sink.messages.clear();
    for (auto answer : {qvui::MessageAnswer::No, qvui::MessageAnswer::Yes}) {
        boxes.answer = answer;
        qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);
    }
    ASSERT_EQ(boxes.asked.size(), 2u);
    EXPECT_EQ(boxes.asked[0].text, "Do you want to reset touch panel?");
    EXPECT_EQ(boxes.asked[0].caption, "VCXMSet : Reset Touch Panel.");
    EXPECT_EQ(sink.messages, (std::vector<MainWindowSink::Message>{{qvui::WM_DEBUG_COMMAND, 0, 0}}));

    // Back out of engineer mode, everything is hidden again.
    vcx::programState().engineerMode = false;
    vcx::programHooks().engineerModeChanged();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(shown(page->tool(i))) << i;
}

TEST_F(DebugPage, ToolbarLogRunsTheNoiseLogThenTheFramesFollowInItsFile) {
    openPage("diag");
    const QString path = dir.filePath("noise.csv");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return path; });
    // The main window: the noise log's end goes to the page (code 8); the
    // open/short part the log asks for (11, 0) is answered later.
    std::string openShortLog;
    bool openShortAsked = false;
    // (A copy: what it sends grows the sink's list.)
    sink.onMessage = [&](MainWindowSink::Message m) {
        if (m.message != qvui::WM_DEBUG_COMMAND) return;
        if (m.wParam == 8) qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 8, m.lParam);
        if (m.wParam == 11 && m.lParam == 0) {
            openShortAsked = true;
            openShortLog = vcx::scanShared().debugLogPath;
        }
    };
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 1);
    ASSERT_TRUE(page->noiseLog()->IsRunning());
    ASSERT_TRUE(noiselogtest::RunNoiseLogToEnd(*page->noiseLog()));
    // The frames start at once: the baseline and the mode difference, then the
    // open/short part, while the file is closed.
    EXPECT_TRUE(page->timers().isActive(vcx::CQVDebugDlg::kTimerLog));
    runLog();
    EXPECT_TRUE(openShortAsked);
    EXPECT_EQ(openShortLog, QFile::encodeName(path).toStdString());
    EXPECT_EQ(page->log().step(), 4);
    EXPECT_FALSE(page->log().isOpen());
    // Its end (11, 1) resumes the steps.
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 11, 1);
    EXPECT_TRUE(vcx::scanShared().debugLogPath.empty());
    EXPECT_GT(runLog(), 20);
    EXPECT_EQ(progress().back(), 0xFFFF);
    const std::string text = readFile(path);
    // The noise log's file starts with the log's first part; the frames come after its blocks.
    EXPECT_EQ(text.find(onDisk("\nWrite Log Time : 2026/03/04 05 06 07\n")), 0u);
    const size_t base = text.find(onDisk("\r\nBase Line :\n"));
    ASSERT_NE(base, std::string::npos);
    EXPECT_NE(text.find(onDisk("\nRaw Count 5 :\n"), base), std::string::npos);
}

// ---- The register dump ------------------------------------------------------------

// The dump of the simulated IC: configuration word i byte k = ((4i + k) x 11 + 5)
// & 0xFF; memory byte at a = (a x 7 + 3) & 0xFF; 16 bytes a line as hex and ASCII.
std::string expectedDump(uint32_t words, uint32_t sfr, uint32_t ram) {
    std::string e = "\r\nGet IC Config :\n";
    for (uint32_t i = 0; i < words; ++i) {
        e += format("[%02X] 0x", i);
        for (uint32_t k = 0; k < 4; ++k) e += format("%02X", ((4 * i + k) * 11 + 5) & 0xFF);
        e += "\n";
    }
    auto memory = [&](const char* heading, uint32_t size) {
        e += heading;
        for (uint32_t a = 0; a < size; a += 16) {
            e += format("[%04X] ", a);
            std::string ascii;
            for (uint32_t i = 0; i < 16; ++i) {
                const uint8_t b = uint8_t(((a + i) * 7 + 3) & 0xFF);
                e += format("%02X ", b);
                ascii += b >= 0x20 && b < 0x7F ? char(b) : '.';
            }
            e += ascii + "\n";
        }
    };
    memory("\r\nGet SFR :\n", sfr);
    memory("\r\nGet Data Ram :\n", ram);
    return onDisk(e);
}

TEST_F(DebugPage, MemoryDumpWritesTheRegistersOfTheIc) {
    openPage("full");
    const QString path = dir.filePath("dump.log");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        EXPECT_EQ(r.kind, qvui::FileChoice::SaveFile);
        return path;
    });
    // Outside engineer mode the button does nothing.
    page->WriteMemoryDump();
    EXPECT_TRUE(sent().empty());

    vcx::programState().engineerMode = true;
    page->WriteMemoryDump();
    EXPECT_EQ(readFile(path), expectedDump(3, 0x20, 0x40));
    // E7 FF is refused (so the dump goes on); each SFR line reads four addresses.
    const std::vector<std::string> s = sent();
    ASSERT_GE(s.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(s.begin(), s.begin() + 10),
              (std::vector<std::string>{"E7 FF 00 00 00", "E7 B0 00 00 00", "E7 30 00 00 00", "E7 30 01 00 00",
                                        "E7 30 02 00 00", "E7 A0 00 00 00", "E7 20 00 00 00", "E7 20 00 00 04",
                                        "E7 20 00 00 08", "E7 20 00 00 0C"}));
    EXPECT_EQ(progress(), (std::vector<qint64>{0, 0xFFFF}));
    EXPECT_EQ(vcx::workingFolders()[vcx::kDbgMDFolder], dir.path());

    // A controller that answers E7 FF has no dump.
    ctl().setReply(qvsim::Packet{0xE7, 0xFF, 0, 0, 0}, qvsim::Packet{0xE7, 0, 0, 0, 0});
    ctl().clearTrace();
    page->WriteMemoryDump();
    EXPECT_EQ(sent(), std::vector<std::string>{"E7 FF 00 00 00"});
}

TEST_F(DebugPage, DumpCountsFromTheControllerAreBounded) {
    // 4096 configuration words are more than an index byte names: 256 are read.
    openPage("full", [](qvsim::ControllerProfile& p) {
        p.configWords = 4096;
        p.sfrSize = 0;
        p.dataRamSize = 0;
    });
    vcx::programState().engineerMode = true;
    const QString path = dir.filePath("dump.log");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return path; });
    page->WriteMemoryDump();
    EXPECT_EQ(sentWith("E7 30").size(), 256u);
    EXPECT_EQ(sentWith("E7 30").back(), "E7 30 FF 00 00");
}

TEST_F(DebugPage, DeviceLogDumpAsksAgainWhileItsFileCannotBeOpened) {
    openPage("diag");
    vcx::programState().engineerMode = true;
    // The controller refuses E7 00: the device log writes a memory dump first,
    // into "<model> Memory Dump.log", which a folder of that name keeps from opening.
    ctl().refuse(qvsim::PacketPrefix::exact({0xE7, 0, 0, 0, 0}));
    ASSERT_TRUE(QDir(dir.path()).mkdir(c.dev.modelName + " Memory Dump.log"));
    std::vector<qvui::MessageAnswer> answers = {qvui::MessageAnswer::Retry, qvui::MessageAnswer::Cancel};
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& q) {
        boxes.asked.push_back(q);
        const auto a = answers.front();
        answers.erase(answers.begin());
        return a;
    });
    const QString path = dir.filePath("info.csv");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return path; });
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
    ASSERT_EQ(boxes.asked.size(), 2u);
    for (const auto& q : boxes.asked) {
        EXPECT_EQ(q.text, "Please close log file and retry.");
        EXPECT_EQ(q.caption, "Open Memory Dump Log File Failed.");
        EXPECT_EQ(q.buttons, qvui::MessageButtons::RetryCancel);
    }
    EXPECT_EQ(progress(), (std::vector<qint64>{0, 0xFFFE}));
    EXPECT_FALSE(page->timers().isActive(vcx::CQVDebugDlg::kTimerLog));
    EXPECT_TRUE(sentWith("E7 B0").empty());

    // Once it can be opened the dump goes before the log's first part.
    ASSERT_TRUE(QDir(dir.path()).rmdir(c.dev.modelName + " Memory Dump.log"));
    sink.messages.clear();
    qvui::sendMessage(page.get(), qvui::WM_DEBUG_COMMAND, 1, 0);
    EXPECT_EQ(readFile(dir.filePath(c.dev.modelName + " Memory Dump.log")).substr(0, 20), "\r\r\nGet IC Config :\r\n");
    EXPECT_TRUE(page->timers().isActive(vcx::CQVDebugDlg::kTimerLog));
    runLog();
    EXPECT_EQ(progress().back(), 0xFFFF);
}

}  // namespace
