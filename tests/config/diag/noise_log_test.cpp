// The noise-level log: its arithmetic and file text on hand-made frames, and
// the window on the simulated diag panel (16 x 28, noise amplitude 5, finger
// item 9 at 60), stepped by timer and touch messages while its worker reads
// on the virtual clock.
#include "diag/noise_log.h"
#include "diag/noise_log_dlg.h"
#include "diag_support.h"
#include "noise_log_support.h"
#include "core/picture_ex.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using vcx::NoiseGeometry;
using vcx::NoiseGrade;
using vcx::NoiseShares;
using diagtest::MainSink;
using diagtest::Message;
using noiselogtest::Pump;
using noiselogtest::Tick;
using noiselogtest::Touch;

std::string ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

bool Received(const MainSink& sink, quint32 message, quint64 wParam, qint64 lParam) {
    const auto& m = sink.messages;
    return std::find(m.begin(), m.end(), Message{message, wParam, lParam}) != m.end();
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// ---- Arithmetic ---------------------------------------------------------------

TEST(NoiseLogGrade, SharesAndGradesAtEachBoundary) {
    // A node is good when 6d <= P, fair when 4d <= P < 6d, bad when 4d > P (P = 60).
    const struct {
        double deviation;
        double good, fair, bad;
    } nodes[] = {{0.0, 100, 0, 0}, {10.0, 100, 0, 0}, {10.01, 0, 100, 0}, {15.0, 0, 100, 0}, {15.01, 0, 0, 100}};
    for (const auto& n : nodes) {
        const NoiseShares s = vcx::ShareNoiseNodes({n.deviation}, 60);
        EXPECT_EQ(s.good, n.good) << n.deviation;
        EXPECT_EQ(s.fair, n.fair) << n.deviation;
        EXPECT_EQ(s.bad, n.bad) << n.deviation;
    }

    // The grade table on the shares in percent, on each side of each bound.
    const struct {
        NoiseShares shares;
        NoiseGrade grade;
    } grades[] = {
        {{100, 0, 0}, NoiseGrade::Great},
        {{99.9, 0.1, 0}, NoiseGrade::Good},
        {{95, 5, 0}, NoiseGrade::Good},
        {{94.9, 5.1, 0}, NoiseGrade::OK},   // good below 95
        {{95, 4, 1}, NoiseGrade::OK},       // one bad node is no longer Good
        {{75, 24, 1}, NoiseGrade::OK},
        {{75, 25, 0}, NoiseGrade::Poor},    // fair above 24
        {{74.9, 25.1, 0}, NoiseGrade::Poor},
        {{1, 18, 81}, NoiseGrade::Poor},
        {{1, 17.9, 81.1}, NoiseGrade::Bad}, // fair below 18
        {{0, 18, 82}, NoiseGrade::Bad},     // bad above 81
        {{70, 10, 20}, NoiseGrade::Bad},
    };
    for (const auto& g : grades)
        EXPECT_EQ(vcx::GradeNoise(g.shares), g.grade)
            << g.shares.good << " " << g.shares.fair << " " << g.shares.bad;

    // Whole percentages from node counts are exact: 19 good and 1 fair of 20 is Good.
    std::vector<double> twenty(20, 1.0);
    twenty[0] = 12.0;  // 6 x 12 > 60 >= 4 x 12
    EXPECT_EQ(vcx::GradeNoise(vcx::ShareNoiseNodes(twenty, 60)), NoiseGrade::Good);
    twenty[1] = 12.0;  // 90 % good
    EXPECT_EQ(vcx::GradeNoise(vcx::ShareNoiseNodes(twenty, 60)), NoiseGrade::OK);
}

TEST(NoiseLogGrade, StillPanelGradesGreatEvenAtThresholdZero) {
    const std::vector<uint16_t> frames(size_t(vcx::kNoiseFrames) * 6, 1234);
    const vcx::NoiseStats s = vcx::ComputeNoiseStats(frames.data(), vcx::kNoiseFrames, 6);
    ASSERT_EQ(s.deviation.size(), 6u);
    for (double d : s.deviation) EXPECT_EQ(d, 0.0);
    EXPECT_EQ(s.average, 0.0);
    EXPECT_EQ(s.maximum, 0.0);
    EXPECT_EQ(s.minimum, 0.0);
    EXPECT_EQ(vcx::GradeNoise(vcx::ShareNoiseNodes(s.deviation, 0)), NoiseGrade::Great);
    EXPECT_STREQ(vcx::NoiseGradeLine(NoiseGrade::Great), "\nNoise Level : Great\n");
}

TEST(NoiseLogGrade, DeviationIsTheSampleDeviationOverFortyNine) {
    // Node 0 alternates 10 / 12 (mean 11, each frame 1 away), node 1 holds 5:
    // sqrt(50 x 1 / 49) and 0.
    std::vector<uint16_t> frames;
    for (int f = 0; f < vcx::kNoiseFrames; ++f) {
        frames.push_back(uint16_t(10 + 2 * (f % 2)));
        frames.push_back(5);
    }
    const vcx::NoiseStats s = vcx::ComputeNoiseStats(frames.data(), vcx::kNoiseFrames, 2);
    EXPECT_DOUBLE_EQ(s.mean[0], 11.0);
    EXPECT_DOUBLE_EQ(s.deviation[0], std::sqrt(50.0 / 49.0));
    EXPECT_DOUBLE_EQ(s.average, std::sqrt(50.0 / 49.0) / 2);
    EXPECT_DOUBLE_EQ(s.maximum, std::sqrt(50.0 / 49.0));
    EXPECT_EQ(s.minimum, 0.0);
}

TEST(NoiseLogGeometry, ControllerGeometryIsCutToWhatAReadDelivers) {
    const struct {
        int rows, columns, delivered;
        NoiseGeometry expected;
    } cases[] = {
        {16, 28, 448, {16, 28}},
        {16, 28, 500, {16, 28}},
        {16, 28, 447, {15, 28}},  // a row that does not fit whole is dropped
        {16, 28, 27, {}},         // not one row
        {0, 28, 448, {}},
        {16, 0, 448, {}},
        {16, 28, 0, {}},
        {16, 28, -1, {}},
        {255, 255, 255 * 255, {255, 255}},
        {300, 28, 100000, {255, 28}},
        {4, 300, 100000, {}},
    };
    for (const auto& c : cases) {
        const NoiseGeometry g = vcx::ClampNoiseGeometry(c.rows, c.columns, c.delivered);
        EXPECT_EQ(g, c.expected) << c.rows << " x " << c.columns << " of " << c.delivered;
    }
}

// The block of one run, by its rules: "\n" is "\r\n" on disk; the heading;
// frames 1..5 as "\nRaw Count n :\n" and each row's values "v," closed by
// ",\n"; "\nSTDEV:," with the column numbers "%02d," and ",\n"; each row its
// number "%02d," and deviations "%.2f," closed by ",\n"; the average, maximum
// and minimum; the grade line of a no-touch run.
TEST(NoiseLogFile, BlockBytes) {
    // 2 x 2 nodes: 7 and 0 still, 10 / 12 and 0 / 4 alternating (deviations
    // sqrt(50/49) = 1.0102 and 2 sqrt(50/49) = 2.0203; average 0.7576).
    std::vector<uint16_t> frames;
    for (int f = 0; f < vcx::kNoiseFrames; ++f)
        for (int v : {7, 0, 10 + 2 * (f % 2), 4 * (f % 2)}) frames.push_back(uint16_t(v));
    const vcx::NoiseStats s = vcx::ComputeNoiseStats(frames.data(), vcx::kNoiseFrames, 4);
    // P = 12: nodes 0..2 good, node 3 fair (6 x 2.02 > 12 >= 4 x 2.02): 75 % / 25 %, Poor.
    const NoiseGrade grade = vcx::GradeNoise(vcx::ShareNoiseNodes(s.deviation, 12));
    EXPECT_EQ(grade, NoiseGrade::Poor);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("block.csv"));
    {
        qvtext::TextWriter w(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Append);
        ASSERT_TRUE(vcx::WriteNoiseLogBlock(w, true, frames.data(), vcx::kNoiseFrames, {2, 2}, s, std::nullopt));
        ASSERT_TRUE(vcx::WriteNoiseLogBlock(w, false, frames.data(), vcx::kNoiseFrames, {2, 2}, s, grade));
        ASSERT_TRUE(w.close());
    }
    const std::string odd = "7,0,,\r\n10,0,,\r\n", even = "7,0,,\r\n12,4,,\r\n";
    const std::string frames5 = "\r\nRaw Count 1 :\r\n" + odd + "\r\nRaw Count 2 :\r\n" + even +
                                "\r\nRaw Count 3 :\r\n" + odd + "\r\nRaw Count 4 :\r\n" + even +
                                "\r\nRaw Count 5 :\r\n" + odd;
    const std::string stdev = "\r\nSTDEV:,00,01,,\r\n00,0.00,0.00,,\r\n01,1.01,2.02,,\r\nAVG:0.76,MAX:2.02,MIN:0.00,\r\n";
    EXPECT_EQ(ReadFile(path), "\r\n[Touched Result]" + frames5 + stdev + "\r\n[No Touch Result]" + frames5 + stdev +
                                  "\r\nNoise Level : Poor\r\n");
}

// ---- The window on the simulated panel ----------------------------------------

class NoiseLogWindow : public diagtest::DiagBench {
protected:
    QTemporaryDir dir;
    QString logPath;
    QWidget page;
    MainSink mainWindow;
    std::vector<qint64> progress;  // the (0, n) the worker delivered, in order
    std::unique_ptr<qvui::FileChooserResponder> chooser;
    std::unique_ptr<vcx::CQVLogNoiseInfo> log;

    void SetUp() override {
        ASSERT_TRUE(open("diag"));
        // The finger group's item 9, the threshold the grade compares with.
        std::string error;
        ASSERT_TRUE(qvsim::setControllerKey(ctl(), "item", "3 9 255 60", &error)) << error;
        readDevice();
        ASSERT_EQ(c.records.diagInfo.rows, 16);
        ASSERT_EQ(c.records.diagInfo.columns, 28);
        ASSERT_EQ(c.records.finger.item9[0].value, 60);
        logPath = dir.filePath(QStringLiteral("noise.csv"));
        chooser = std::make_unique<qvui::FileChooserResponder>([this](const qvui::FileChooserRequest& r) {
            EXPECT_EQ(r.kind, qvui::FileChoice::SaveFile);
            return logPath;
        });
        log = std::make_unique<vcx::CQVLogNoiseInfo>(c, &page);
        log->SetMainWindow(&mainWindow);
        log->SetHeaderWriter([](qvtext::TextWriter& w) { w.write("\nDevice header\n"); });
        log->installEventFilter(&progressFilter);
        vcx::NoiseLogTouchForward() = false;
    }
    void TearDown() override {
        log.reset();
        chooser.reset();
        DiagBench::TearDown();
    }

    // Starts the log and checks what every start does.
    void start() {
        ASSERT_TRUE(log->StartNoiseLog());
        EXPECT_EQ(mainWindow.messages.front(), (Message{qvui::WM_PAGE_STATE, 1, 106}));
        EXPECT_TRUE(vcx::NoiseLogTouchForward());
        EXPECT_EQ(log->phase(), vcx::CQVLogNoiseInfo::WaitTouch);
        EXPECT_EQ(log->timers()->interval(3), 2000);
        EXPECT_EQ(log->timers()->interval(6), 1000);
        EXPECT_TRUE(log->animation(2098)->IsPlaying() || log->animation(2098)->IsThreadRunning());
        EXPECT_EQ(text(), qvui::loadString(1421));
        EXPECT_TRUE(log->isVisible());
    }

    QString text() { return qvui::findControl<QLabel>(log.get(), vcx::CQVLogNoiseInfo::kIdText)->text(); }
    std::string file() const { return ReadFile(logPath); }
    uint32_t scansStarted() {
        uint32_t n = 0;
        for (const auto& p : qvtest::Received(ctl())) n += p[0] == 0xF9 && p[1] == 0xFF && p[2] == 0x91;
        return n;
    }
    void releaseEsc() {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(log.get(), &release);
    }

    class ProgressFilter : public QObject {
    public:
        explicit ProgressFilter(std::vector<qint64>& out) : out_(out) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_DEBUG_COMMAND && m->wParam() == 0)
                out_.push_back(m->lParam());
            return false;
        }
        std::vector<qint64>& out_;
    } progressFilter{progress};
};

std::vector<qint64> OneToFifty() {
    std::vector<qint64> v;
    for (int n = 1; n <= 50; ++n) v.push_back(n);
    return v;
}

// Nobody touches: the idle countdown (8, nine ticks of timer 6) starts the
// run anyway, and it is logged as the touched run; then the removal, the
// no-touch run, its grade, and (8, 1) to the main window.
TEST_F(NoiseLogWindow, NobodyTouchesLogsATouchedRunThenTheGradedNoTouchRun) {
    start();
    ASSERT_TRUE(Tick(*log, 6, 8));
    EXPECT_FALSE(log->IsSampling());
    const uint32_t scansBefore = scansStarted();
    ASSERT_TRUE(Tick(*log, 6));
    EXPECT_FALSE(log->timers()->isActive(6));
    EXPECT_TRUE(log->IsSampling());
    EXPECT_EQ(log->phase(), vcx::CQVLogNoiseInfo::TouchedRun);

    ASSERT_TRUE(Pump([&] { return log->phase() == vcx::CQVLogNoiseInfo::Removal; }));
    EXPECT_EQ(progress, OneToFifty());
    EXPECT_EQ(text(), qvui::loadString(1420));
    EXPECT_EQ(log->timers()->interval(2), 1900);
    EXPECT_TRUE(log->animation(2099)->isVisible());
    // The header, then the touched run's block over the sensor's next 50 raw
    // frames in the order they were scanned.
    std::vector<uint16_t> frames;
    for (uint32_t k = 1; k <= 50; ++k) {
        const std::vector<uint16_t> f = diagtest::Mutual(ctl().profile(), qvsim::kSensorRaw, scansBefore + k);
        frames.insert(frames.end(), f.begin(), f.end());
    }
    const QString expected = dir.filePath(QStringLiteral("expected.csv"));
    {
        qvtext::TextWriter w(QFile::encodeName(expected).constData(), qvtext::TextWriter::Mode::Create);
        w.write("\nDevice header\n");
        vcx::WriteNoiseLogBlock(w, true, frames.data(), 50, {16, 28}, vcx::ComputeNoiseStats(frames.data(), 50, 16 * 28),
                                std::nullopt);
    }
    EXPECT_EQ(file(), ReadFile(expected));

    // Touch state 2 (the idle start): the removal timer goes on to timer 5 after 10 ms.
    ASSERT_TRUE(Tick(*log, 2));
    EXPECT_EQ(log->timers()->interval(5), 10);
    ASSERT_TRUE(Tick(*log, 5));
    EXPECT_EQ(log->phase(), vcx::CQVLogNoiseInfo::NoTouchRun);
    ASSERT_TRUE(Pump([&] { return !log->IsRunning(); }));

    EXPECT_EQ(mainWindow.messages.back(), (Message{qvui::WM_DEBUG_COMMAND, 8, 1}));
    EXPECT_FALSE(Received(mainWindow, qvui::WM_PAGE_STATE, 0, 106));  // the device log that follows ends the busy state
    EXPECT_FALSE(vcx::NoiseLogTouchForward());
    EXPECT_FALSE(log->isVisible());
    const std::string all = file();
    EXPECT_EQ(Count(all, "\r\n[Touched Result]"), 1u);
    EXPECT_EQ(Count(all, "\r\n[No Touch Result]"), 1u);
    EXPECT_LT(all.find("[Touched Result]"), all.find("[No Touch Result]"));
    // Per block: 5 frames of 16 rows of 28 values, the 16 deviation rows.
    EXPECT_EQ(Count(all, "Raw Count "), 10u);
    EXPECT_EQ(Count(all, ",,\r\n"), 2u * (5 * 16 + 1 + 16));
    // Noise of amplitude 5 keeps every deviation near 5 at most: 6 x 5.1 <= 60, all good.
    const std::string great = "\r\nNoise Level : Great\r\n";
    EXPECT_EQ(all.substr(all.size() - great.size()), great);
    // The controller is back out of diagnostic mode.
    EXPECT_EQ(sent().back(), "F9 FF 90 00 00");
}

// A finger held on the mark: timer 1 (three ticks) starts the touched run; a
// lift in the removal starts timer 5 (1 s); Esc in the no-touch run ends the
// log with result 0 and without that run's block.
TEST_F(NoiseLogWindow, EscInTheNoTouchRunLeavesNoNoTouchBlock) {
    start();
    // Timer 3 ends the first animation once.
    ASSERT_TRUE(Tick(*log, 3));
    EXPECT_FALSE(log->animation(2098)->IsThreadRunning());
    EXPECT_FALSE(log->timers()->isActive(3));
    Touch(*log, 0x10);
    EXPECT_FALSE(log->timers()->isActive(6));
    EXPECT_EQ(log->phase(), vcx::CQVLogNoiseInfo::TouchedRun);
    ASSERT_TRUE(Tick(*log, 1, 2));
    EXPECT_FALSE(log->IsSampling());
    ASSERT_TRUE(Tick(*log, 1));
    EXPECT_TRUE(log->IsSampling());
    ASSERT_TRUE(Pump([&] { return log->phase() == vcx::CQVLogNoiseInfo::Removal; }));

    Touch(*log, 0x20);
    EXPECT_EQ(log->timers()->interval(5), 1000);
    ASSERT_TRUE(Tick(*log, 5));
    EXPECT_EQ(log->phase(), vcx::CQVLogNoiseInfo::NoTouchRun);
    // The worker now waits to deliver the run's first progress: Esc comes first.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(log.get(), &press);
    EXPECT_TRUE(log->IsRunning());  // the press alone does nothing
    releaseEsc();

    EXPECT_FALSE(log->IsRunning());
    EXPECT_FALSE(log->IsSampling());
    EXPECT_EQ(mainWindow.messages.back(), (Message{qvui::WM_DEBUG_COMMAND, 8, 0}));
    const std::string all = file();
    EXPECT_EQ(Count(all, "[Touched Result]"), 1u);
    EXPECT_EQ(Count(all, "[No Touch Result]"), 0u);
    EXPECT_EQ(Count(all, "Noise Level"), 0u);
    EXPECT_EQ(sent().back(), "F9 FF 90 00 00");
    EXPECT_FALSE(vcx::NoiseLogTouchForward());
}

// A lift before the touched countdown ends (timer 4), then a raw read the
// controller refuses: the same frame number is asked again until a read works.
TEST_F(NoiseLogWindow, AFailedReadRepeatsItsFrame) {
    start();
    Touch(*log, 0x10);
    ASSERT_TRUE(Tick(*log, 1));
    Touch(*log, 0x20);
    EXPECT_FALSE(log->timers()->isActive(1));
    ASSERT_TRUE(Tick(*log, 4, 3));
    ASSERT_TRUE(log->IsSampling());
    // The worker waits to deliver frame 1: refuse that read's scan start once.
    ctl().refuse(qvsim::PacketPrefix({0xF9, 0xFF, 0x91, 0, 0}, {0xFF, 0xFF, 0xFF, 0, 0}), 1);
    ASSERT_TRUE(Pump([&] { return log->phase() == vcx::CQVLogNoiseInfo::Removal; }));
    std::vector<qint64> expected = OneToFifty();
    expected.insert(expected.begin(), 1);
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(log->frameCount(), 50);
    releaseEsc();
    EXPECT_EQ(mainWindow.messages.back(), (Message{qvui::WM_DEBUG_COMMAND, 8, 0}));
}

// StopNoiseLog while the worker is inside a slow read (500 virtual ms per
// transfer, and the bench held so the read cannot finish before the stop has
// begun): the stop waits for that read, then leaves diagnostic mode, and only
// then frees the buffers the read fills. No command of the read comes after
// the leave, and nothing more is delivered.
TEST_F(NoiseLogWindow, StopDuringASlowReadWaitsForIt) {
    start();
    Touch(*log, 0x10);
    ASSERT_TRUE(Tick(*log, 1, 3));
    ASSERT_TRUE(log->IsSampling());
    bench->setLatencyMs(500);
    ctl().clearTrace();
    const uint64_t before = bench->clock().nowMs();

    std::atomic<bool> held{false};
    std::thread holder([&] {
        std::lock_guard lock(bench->mutex());
        held = true;
        qvtest::waitUntil([&] { return !log->IsSampling(); });
    });
    ASSERT_TRUE(qvtest::waitUntil([&] { return held.load(); }));
    // Frame 1's progress reaches the window; the worker then goes into its read.
    ASSERT_TRUE(Pump([&] { return progress.size() == 1; }));
    log->StopNoiseLog();
    holder.join();

    EXPECT_FALSE(log->IsRunning());
    EXPECT_FALSE(log->isVisible());
    EXPECT_FALSE(vcx::NoiseLogTouchForward());
    EXPECT_EQ(progress, std::vector<qint64>{1});
    EXPECT_FALSE(Received(mainWindow, qvui::WM_DEBUG_COMMAND, 8, 0));  // a stop without a result
    EXPECT_FALSE(Received(mainWindow, qvui::WM_DEBUG_COMMAND, 8, 1));
    const std::vector<std::string> commands = sent();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "F9 FF 91 00 00");  // the read had begun
    EXPECT_EQ(commands.back(), "F9 FF 90 00 00");   // and ended before the leave
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "F9 FF 90 00 00"), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "F9 FF 91 00 00"), 1);  // no read after the stop
    EXPECT_GE(bench->clock().nowMs() - before, 500u);
    QCoreApplication::processEvents();
    EXPECT_EQ(progress, std::vector<qint64>{1});
}

// The controller's geometry sizes nothing beyond the frame a read delivers:
// 40 rows reported over a frame of 16 are cut to 16; no rows at all start nothing.
TEST_F(NoiseLogWindow, GeometryBeyondTheDeliveredFrameIsCut) {
    c.records.diagInfo.rows = 0;
    EXPECT_FALSE(log->StartNoiseLog());
    EXPECT_TRUE(mainWindow.messages.empty());
    EXPECT_FALSE(QFile::exists(logPath));  // not even asked for

    c.records.diagInfo.rows = 40;
    start();
    EXPECT_EQ(log->geometry(), (NoiseGeometry{16, 28}));
    ASSERT_TRUE(noiselogtest::RunTouchedRunUntouched(*log));
    EXPECT_EQ(Count(file(), ",,\r\n"), 5u * 16 + 1 + 16);
    releaseEsc();
    EXPECT_FALSE(log->IsRunning());
}

// Closing the window while the log waits for a touch ends it as Esc does.
TEST_F(NoiseLogWindow, ClosingTheWindowEndsTheLogWithResultZero) {
    start();
    log->close();
    EXPECT_FALSE(log->IsRunning());
    EXPECT_FALSE(log->timers()->isActive(6));
    EXPECT_EQ(mainWindow.messages.back(), (Message{qvui::WM_DEBUG_COMMAND, 8, 0}));
    EXPECT_FALSE(vcx::NoiseLogTouchForward());
}

// The log cannot be opened: "Log Firmware File Failed." and no start.
TEST_F(NoiseLogWindow, UnopenableLogDoesNotStart) {
    logPath = dir.filePath(QStringLiteral("missing/folder/noise.csv"));
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& r) {
        boxes.push_back(r);
        return qvui::MessageAnswer::Ok;
    });
    EXPECT_FALSE(log->StartNoiseLog());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Log Firmware File Failed."));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Log Firmware File Failed."));
    EXPECT_EQ(boxes[0].icon, qvui::MessageIcon::Error);
    EXPECT_TRUE(mainWindow.messages.empty());
    EXPECT_FALSE(log->IsRunning());
    EXPECT_FALSE(vcx::NoiseLogTouchForward());
}

}  // namespace
