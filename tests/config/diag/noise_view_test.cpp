// The noise level view on the simulated diag panel in the process: the
// commands of a start, the samples a quiet panel needs, the frequency settle,
// read failures, the production process over three patterns with its report,
// and the numbering of manual reports. Every timer tick is sent by hand and
// the program's waits are recorded instead of slept.
#include "diag/noise_scan_dlg.h"
#include "diag/log_dlg.h"
#include "core/app_settings.h"
#include "core/report_header.h"
#include "scan_support.h"
#include "ui/control_ids.h"
#include "ui/modal_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using diagtest::Message;
using vcx::CScanNoiseDlg;

const std::string kScan = "F9 FF 91 00 00";  // the start of one raw count read
const std::string kRow = "F5 00 1F 00 00";

class NoiseView : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    diagtest::MainSink main;
    std::unique_ptr<CScanNoiseDlg> view;
    std::vector<int> sleeps;
    QTemporaryDir dir;

    void TearDown() override {
        view.reset();
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        vcx::scanShared() = vcx::ScanViewShared{};
        vcx::workingFolders()[vcx::kDiagNLFolder].clear();
        DiagBench::TearDown();
    }

    // The diag panel with `keys` set, read as a connect reads it, and a noise
    // view on it at 100 %; `settle` turns on the anti-noise item that asks for
    // the frequency settle.
    void prepare(std::initializer_list<std::pair<const char*, const char*>> keys, bool settle = false) {
        ASSERT_TRUE(open("diag"));
        for (auto [key, value] : keys) {
            std::string error;
            ASSERT_TRUE(qvsim::setControllerKey(ctl(), key, value, &error)) << key << ": " << error;
        }
        readDevice();
        ASSERT_EQ(c.records.finger.info[0], 60);  // the threshold the grades are taken against
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        c.sleepMs = [this](int ms) { sleeps.push_back(ms); };
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        vcx::LoadPanelLayout(c, s);
        ParameterAntiNoise& n = c.records.antiNoise;
        n.cbSize = sizeof n;
        n.valid = 1;
        n.item8[0].present = settle ? 1 : 0;
        n.item8[0].value = settle ? 1 : 0;
        vcx::programState().screenScale = 100;
        vcx::workingFolders()[vcx::kDiagNLFolder] = dir.path();
        view = std::make_unique<CScanNoiseDlg>(c, s);
        view->resize(725, 385);
        view->setMainWindow(&main);
        view->Refresh();
        ctl().clearTrace();
    }

    bool tick(int id) { return qvui::fireTimer(view.get(), id); }
    // Ticks the running timers until the view stops; the patterns shown, in turn.
    std::vector<int> runToEnd() {
        std::vector<int> shown;
        for (int guard = 0; guard < 5000 && view->running(); ++guard) {
            const int p = view->patternWindow()->isVisible() ? view->patternWindow()->pattern() : -1;
            if (p >= 0 && (shown.empty() || shown.back() != p)) shown.push_back(p);
            if (!tick(CScanNoiseDlg::kTimerSample) && !tick(CScanNoiseDlg::kTimerSettlePoll) &&
                !tick(CScanNoiseDlg::kTimerSettleStart))
                break;
        }
        QCoreApplication::sendPostedEvents();
        return shown;
    }
    long count(const std::vector<std::string>& trace, const std::string& command) {
        return std::count(trace.begin(), trace.end(), command);
    }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

// A panel without noise is stable at sample 19: exactly 20 reads, progress
// 100, graded Great; the start sends one per-row command per row, 30 ms
// apart, and no pattern without one chosen.
TEST_F(NoiseView, QuietPanelEndsAfterTwentySamples) {
    prepare({{"noise", "0"}});
    view->OnBnClickedStart();
    EXPECT_TRUE(view->running());
    EXPECT_EQ(view->timers().interval(CScanNoiseDlg::kTimerSample), 100);
    for (int n = 1; n <= 19; ++n) {
        ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSample));
        ASSERT_EQ(view->progress(), n);
    }
    ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSample));
    EXPECT_EQ(view->progress(), 100);
    EXPECT_FALSE(view->running());
    EXPECT_FALSE(view->timers().isActive(CScanNoiseDlg::kTimerSample));
    const auto trace = sent();
    EXPECT_EQ(count(trace, kScan), 20);
    const int rows = c.records.diagInfo.rows;
    EXPECT_EQ(count(trace, kRow), rows);
    ASSERT_GE(trace.size(), size_t(rows));
    EXPECT_EQ(std::vector<std::string>(trace.begin(), trace.begin() + rows), std::vector<std::string>(size_t(rows), kRow));
    EXPECT_EQ(sleeps, std::vector<int>(size_t(rows - 1), 30));
    EXPECT_EQ(view->result().grade, vcx::kNoiseGreat);
    EXPECT_EQ(view->rounds(), 20);
    EXPECT_EQ(qvui::findControl<QLabel>(view.get(), CScanNoiseDlg::kIdPercent)->text(), "100%");
    EXPECT_TRUE(qvui::findControl(view.get(), CScanNoiseDlg::kIdSave)->isEnabled());
    EXPECT_EQ(main.of(qvui::WM_PAGE_STATE), (std::vector<Message>{{qvui::WM_PAGE_STATE, 1, 105},
                                                                   {qvui::WM_PAGE_STATE, 0, 105}}));
}

// A per-row command that fails ends that loop and nothing else.
TEST_F(NoiseView, FailingRowCommandEndsOnlyItsLoop) {
    prepare({{"noise", "0"}});
    ctl().refuse(qvsim::PacketPrefix::exact({0xF5, 0x00, 0x1F, 0x00, 0x00}), 1);
    view->OnBnClickedStart();
    runToEnd();
    EXPECT_EQ(count(sent(), kRow), 1);
    EXPECT_EQ(view->rounds(), 20);
}

// The settle: AA 05 once, the busy polls, AA 03 until 31 readings equal the
// stored one (a different reading starts the count again), AA 00, then the
// sampling in diagnostic mode, and AA 02 once it ends.
TEST_F(NoiseView, FrequencySettleTrace) {
    prepare({{"noise", "0"}, {"settleBusyPolls", "2"}, {"settleValues", "0x0105 0x0106 0x0106"}}, true);
    ASSERT_TRUE(view->freqSettle());
    view->OnBnClickedStart();
    EXPECT_EQ(view->timers().interval(CScanNoiseDlg::kTimerSettleStart), 5000);
    EXPECT_FALSE(view->timers().isActive(CScanNoiseDlg::kTimerSample));
    ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSettleStart));
    EXPECT_FALSE(view->timers().isActive(CScanNoiseDlg::kTimerSettleStart));
    EXPECT_EQ(view->timers().interval(CScanNoiseDlg::kTimerSettlePoll), 25);
    runToEnd();
    std::vector<std::string> settle, expected = {"F6 07 90 AA 05", "F6 07 90 AA 01", "F6 07 90 AA 01"};
    // First 0x0105, then 0x0106 (stored anew), then 31 more equal readings.
    for (int i = 0; i < 33; ++i) {
        expected.push_back("F6 07 90 AA 01");
        expected.push_back("F6 07 90 AA 03");
    }
    expected.push_back("F6 07 90 AA 00");
    expected.push_back("F6 07 90 AA 02");
    const auto trace = sent();
    size_t firstScan = trace.size(), stop = 0, done = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        if (trace[i].rfind("F6 07 90", 0) == 0) settle.push_back(trace[i]);
        if (trace[i] == kScan && firstScan == trace.size()) firstScan = i;
        if (trace[i] == "F6 07 90 AA 00") stop = i;
        if (trace[i] == "F6 07 90 AA 02") done = i;
    }
    EXPECT_EQ(settle, expected);
    EXPECT_LT(stop, firstScan);
    EXPECT_GT(done, firstScan);
    EXPECT_EQ(count(trace, kScan), 20);
}

// A firmware without the settle ends it at the first poll; sampling still runs.
TEST_F(NoiseView, SettleOffGoesStraightToSampling) {
    prepare({{"noise", "0"}, {"settle", "off"}}, true);
    view->OnBnClickedStart();
    ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSettleStart));
    ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSettlePoll));
    EXPECT_FALSE(view->timers().isActive(CScanNoiseDlg::kTimerSettlePoll));
    EXPECT_TRUE(view->timers().isActive(CScanNoiseDlg::kTimerSample));
    runToEnd();
    std::vector<std::string> settle;
    for (const std::string& t : sent())
        if (t.rfind("F6 07 90", 0) == 0) settle.push_back(t);
    EXPECT_EQ(settle, (std::vector<std::string>{"F6 07 90 AA 05", "F6 07 90 AA 01", "F6 07 90 AA 02"}));
}

// Three failed reads in a row end the pattern: graded on the twelve samples
// gathered, or Bad when none was.
TEST_F(NoiseView, ReadFailuresEndThePatternWithWhatWasGathered) {
    for (int before : {12, 0}) {
        SCOPED_TRACE(before);
        prepare({});
        view->OnBnClickedStart();
        for (int n = 0; n < before; ++n) ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSample));
        ctl().refuse(0xF9);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSample));
            ASSERT_TRUE(view->running());
        }
        ASSERT_TRUE(tick(CScanNoiseDlg::kTimerSample));
        EXPECT_FALSE(view->running());
        ctl().clearFaults();
        EXPECT_EQ(view->rounds(), before);
        EXPECT_EQ(view->result().grade, before == 12 ? vcx::kNoiseGreat : vcx::kNoiseBad);
        if (before == 12) {
            EXPECT_GT(view->result().stats[vcx::kKindMutual].maximum, 0.0);
        }
        TearDown();
        sleeps.clear();
        main.messages.clear();
    }
}

// The production process on a quiet panel: White, Black, Checkerboard in
// turn, one report heading and three sections, WM_PROCESS_STEP (1, 6).
TEST_F(NoiseView, ProcessRunsThreePatternsIntoOneReport) {
    prepare({{"noise", "0"}});
    const std::string folder = QDir(dir.path()).filePath("run").toStdString() + "/";
    const std::string path = vcx::NoiseProcessReportPath(folder);
    view->StartProcess(path);
    EXPECT_FALSE(qvui::findControl(view.get(), CScanNoiseDlg::kIdCancel)->isEnabled());
    EXPECT_EQ(runToEnd(), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(view->running());
    EXPECT_FALSE(view->patternWindow()->isVisible());
    EXPECT_EQ(main.of(qvui::WM_PROCESS_STEP), (std::vector<Message>{{qvui::WM_PROCESS_STEP, 1, 6}}));
    for (int p = 1; p <= 3; ++p) EXPECT_EQ(view->patternResult(p), vcx::kNoiseGreat);
    // Each pattern: a 100 ms pause after showing it, then the row commands 30 ms apart.
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 100), 3);
    EXPECT_EQ(count(sent(), kScan), 60);

    // The expected bytes: the versions block as every process report has it, then the sections.
    const QString versionsPath = dir.filePath("versions.txt");
    {
        qvtext::TextWriter w(versionsPath.toLocal8Bit().constData(), qvtext::TextWriter::Mode::Create);
        vcx::WriteProcessVersions(w, vcx::ReportDeviceOf(c));
    }
    const DiagnosticInfo& info = c.records.diagInfo;
    ASSERT_EQ(info.extraColumns, 2);
    std::string table;
    for (int j = 1; j <= info.columns; ++j) table += QString::asprintf("M%02d,", j).toStdString();
    table += "Sr01,Sr02,Self,\r";
    for (int r = 1; r <= info.rows; ++r) {
        table += QString::asprintf("S%02d,", r).toStdString();
        for (int j = 0; j < info.columns + 2 + 1; ++j) table += "0.00,";
        table += "\r";
    }
    table += "\r";
    std::string expected = "\r[ Noise Level Result ]\r" + readAll(versionsPath).toStdString();
    for (const char* name : {"White", "Black", "Checkerboard"})
        expected += std::string("\rTest Pattern : ") + name + "\r[Result] : Great\r\rTotal Test Count : 20\r" +
                    "\rMutual,A:0.00,M:0.00,m:0.00\rSector,A:0.00,M:0.00,m:0.00\rSelf(Abn),A:0.00,M:0.00,m:0.00\r," +
                    table;
    EXPECT_EQ(readAll(QString::fromStdString(path)).toStdString(), expected);
}

// One noisy node fails the process: each pattern's result is 5.
TEST_F(NoiseView, NoisyNodeFailsTheProcess) {
    prepare({{"noise", "0"}, {"noisyNode", "3 4 60"}});
    view->StartProcess(vcx::NoiseProcessReportPath(QDir(dir.path()).filePath("run").toStdString() + "/"));
    runToEnd();
    EXPECT_EQ(main.of(qvui::WM_PROCESS_STEP), (std::vector<Message>{{qvui::WM_PROCESS_STEP, 2, 6}}));
    for (int p = 1; p <= 3; ++p) EXPECT_EQ(view->patternResult(p), vcx::kNoisePatternNoisy);
    const size_t node = size_t(3 * c.records.diagInfo.columns + 4);
    ASSERT_GT(view->result().classes.size(), node);
    EXPECT_EQ(view->result().classes[node], vcx::kNodeNoisy);
    EXPECT_EQ(std::count(view->result().classes.begin(), view->result().classes.end(), vcx::kNodeNoisy), 1);
}

// Manual saves number their reports _00, _01, ...; with all 100 names taken
// the save fails, writes nothing and leaves Save enabled.
TEST_F(NoiseView, ManualReportsTakeTheFirstFreeNumber) {
    prepare({{"noise", "0"}});
    const qvtext::ScopedClock clock(qvtext::LocalTime{2026, 3, 7, 9, 8, 7, 0});
    qvui::DialogResponder dialogs([](QDialog& d) {
        qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch1)->setText("B7");
        return qvui::DialogChoice::Accept;
    });
    qvui::findControl<QComboBox>(view.get(), CScanNoiseDlg::kIdPattern)->setCurrentIndex(3);
    view->OnBnClickedStart();
    EXPECT_EQ(view->patternWindow()->pattern(), 2);
    runToEnd();
    const QString folder = QDir(dir.path()).filePath("Noise Level");
    const std::string base = QDir(folder).filePath(c.dev.modelName + "_B7_0307_STDEV").toStdString();
    view->Save();
    EXPECT_EQ(view->lastReport(), base + "_00.csv");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(base + "_00.png")));
    EXPECT_FALSE(qvui::findControl(view.get(), CScanNoiseDlg::kIdSave)->isEnabled());
    const QByteArray bytes = readAll(QString::fromStdString(base + "_00.csv"));
    EXPECT_TRUE(bytes.startsWith("\rNoise Level Result : Great\rTotal Test Count : 20\rTest Pattern : Checkerboard\r"
                                 "Mutual,A:0.00,M:0.00,m:0.00\rSector,A:0.00,M:0.00,m:0.00\r"
                                 "Self(Abn),A:0.00,M:0.00,m:0.00\rM01,"));
    view->Save();
    EXPECT_EQ(view->lastReport(), base + "_01.csv");

    for (int k = 2; k < 100; ++k) {
        QFile f(QString::fromStdString(base + QString::asprintf("_%02d.csv", k).toStdString()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QStringList before = QDir(folder).entryList(QDir::Files);
    view->OnBnClickedStart();
    runToEnd();
    view->Save();
    EXPECT_EQ(view->lastReport(), base + "_01.csv");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), before);
    EXPECT_TRUE(qvui::findControl(view.get(), CScanNoiseDlg::kIdSave)->isEnabled());
}

}  // namespace
