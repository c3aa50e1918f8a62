// The drawing window offscreen: strokes from decoded reports and from Qt touch
// events, the snapshot, the keys' tests and the sibling messages.
#include "draw_window.h"
#include "qt_support.h"

#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace qvdraw;

namespace {

struct Sent {
    QString title;
    quint32 message;
    quint64 wParam;
    qint64 lParam;
    bool operator==(const Sent&) const = default;
};

class DrawWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setSender([this](const QString& t, quint32 m, quint64 w, qint64 l) { sent.push_back({t, m, w, l}); });
        window.resize(800, 600);
        window.show();
        ASSERT_EQ(window.canvas().size(), QSize(800, 600));
    }
    QColor at(int x, int y) const { return window.canvas().pixelColor(x, y); }

    DrawWindow window;
    std::vector<Sent> sent;
};

std::vector<uint8_t> reportWith(uint8_t status, int x, int y) {
    return {1, status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
}

void feed(DrawWindow& w, uint8_t status, int x, int y, int orientation = 0) {
    auto bytes = reportWith(status, x, y);
    w.reportDecoded(decodeReport(bytes), 2000, orientation);
}

} // namespace

TEST_F(DrawWindowTest, DecodedContactsDrawMarkersAndLinesInTheirColour) {
    feed(window, 0x72, 1000, 500);  // id 2 at (400, 150)
    feed(window, 0x72, 1200, 500);  // to (480, 150)
    EXPECT_EQ(at(400, 150), contactColour(2));
    EXPECT_EQ(at(440, 150), contactColour(2)) << "line from the previous point";
    EXPECT_EQ(at(480, 150), contactColour(2));
    EXPECT_EQ(window.recorder().track(2).previous, (ScreenPoint{400, 150}));
    feed(window, 0x42, 1200, 500);  // lifted
    EXPECT_FALSE(window.recorder().track(2).active());

    // Orientation 2 mirrors both axes.
    feed(window, 0x74, 500, 500, 2); // id 4 at (600, 450)
    EXPECT_EQ(at(600, 450), contactColour(4));

    // Ids beyond the per-contact arrays draw nothing and do not crash.
    const QImage before = window.canvas();
    feed(window, 0x7C, 100, 100);
    feed(window, 0x4F, 100, 100);
    EXPECT_EQ(window.canvas(), before);

    feed(window, 0x8A, 0, 0);
    feed(window, 0x8A, 0, 0);
    EXPECT_EQ(window.recorder().watchdogCount(), 2);
    window.runKey(Qt::Key_W);
    EXPECT_EQ(window.recorder().watchdogCount(), 0);
}

TEST_F(DrawWindowTest, TouchModeDrawsDiscsAndLiftErasesThem) {
    window.runKey(Qt::Key_T);
    ASSERT_TRUE(window.touchMode());
    window.contactEvent(300, 300, 1, true);
    EXPECT_EQ(at(300 + 20, 300), contactColour(1));
    window.contactEvent(320, 300, 1, true);
    EXPECT_EQ(at(320 + 25, 300), contactColour(1));
    EXPECT_EQ(at(300 - 25, 300), QColor(Qt::white)) << "the move's old disc is erased";
    window.contactEvent(0, 0, 1, false);
    EXPECT_EQ(at(320, 300), QColor(Qt::white));
}

TEST_F(DrawWindowTest, PenUpMarksOutlineFirstAndLastPoints) {
    window.runKey(Qt::Key_Q);
    window.contactEvent(200, 200, 3, true);   // 16x16 square from (192, 192)
    EXPECT_EQ(at(192, 200), contactColour(3));
    window.contactEvent(260, 200, 3, true);
    window.contactEvent(0, 0, 3, false);      // circle of radius 8 at (260, 200)
    EXPECT_EQ(at(260, 208), contactColour(3));
}

TEST_F(DrawWindowTest, QtTouchEventsDrawStrokes) {
    // One device for the whole program: Qt keeps it registered until exit.
    static QPointingDevice* const device = QTest::createTouchDevice();
    QTest::touchEvent(&window, device).press(0, QPoint(100, 100));
    QTest::touchEvent(&window, device).move(0, QPoint(160, 100));
    EXPECT_TRUE(window.recorder().track(0).active());
    EXPECT_EQ(at(130, 100), contactColour(0));
    QTest::touchEvent(&window, device).release(0, QPoint(160, 100));
    EXPECT_FALSE(window.recorder().track(0).active());

    // A second finger gets its own colour.
    QTest::touchEvent(&window, device).press(0, QPoint(300, 300)).press(5, QPoint(400, 400));
    QTest::touchEvent(&window, device).move(0, QPoint(300, 340)).move(5, QPoint(440, 400));
    EXPECT_EQ(at(300, 320), contactColour(0));
    EXPECT_EQ(at(420, 400), contactColour(5));
    QTest::touchEvent(&window, device).release(0, QPoint(300, 340)).release(5, QPoint(440, 400));
}

TEST_F(DrawWindowTest, SnapshotIsAPngOfTheWindowSize) {
    window.contactEvent(50, 50, 1, true);
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.png");
    QString error;
    ASSERT_TRUE(window.saveSnapshot(path, &error)) << error.toStdString();
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.size(), window.size());
    EXPECT_EQ(image.pixelColor(50, 50), contactColour(1));

    EXPECT_FALSE(window.saveSnapshot(dir.filePath("missing/shot.png"), &error));
    EXPECT_TRUE(error.contains("missing")) << error.toStdString();
}

TEST_F(DrawWindowTest, CountMessagesBannersAndExclusiveCountModes) {
    using qvui::WM_USER;
    EXPECT_EQ(qvui::sendMessage(&window, WM_USER + 1, 2, 1), 1);
    EXPECT_TRUE(window.bannerShown());
    EXPECT_EQ(qvui::sendMessage(&window, WM_USER + 1, 0, 0), 1);
    EXPECT_FALSE(window.bannerShown()) << "a count line clears the banner";
    EXPECT_EQ(window.countLines(), 1);
    qvui::sendMessage(&window, WM_USER + 1, 1, 0); // STOP
    EXPECT_EQ(window.countLines(), 0);
    EXPECT_EQ(at(400, 100), QColor(0xFF, 0, 0));
    EXPECT_EQ(qvui::sendMessage(&window, WM_USER + 1, 9, 0), 0) << "unknown count code is not handled";

    window.runKey(Qt::Key_J);
    window.runKey(Qt::Key_P); // J on: P does nothing
    EXPECT_EQ(window.countModeBits(), 0x40);
    window.runKey(Qt::Key_J);
    window.runKey(Qt::Key_P);
    EXPECT_EQ(window.countModeBits(), 0x80);
    window.runKey(Qt::Key_J); // P on: J does nothing
    EXPECT_EQ(window.countModeBits(), 0x80);
    const std::vector<Sent> expected = {{kDebugTitle, WM_USER + 1, 64, 0},
                                        {kDebugTitle, WM_USER + 1, 64, 0},
                                        {kDebugTitle, WM_USER + 1, 128, 0}};
    EXPECT_EQ(sent, expected);

    qvui::sendMessage(&window, WM_USER + 3, 1, 17);
    qvui::sendMessage(&window, WM_USER + 3, 2, 3);
    qvui::sendMessage(&window, WM_USER + 3, 3, 1);
    EXPECT_EQ(std::tuple(window.livePass(), window.liveFail(), window.liveConnected()), std::tuple(17, 3, true));

    sent.clear();
    window.close();
    const std::vector<Sent> goodbye = {{kDebugTitle, WM_USER + 2, 0, 0},
                                       {kDiagTitle, WM_USER + 3, 0, 2},
                                       {kScanTitle, WM_USER + 3, 0, 2},
                                       {kScan2Title, WM_USER + 3, 0, 2}};
    EXPECT_EQ(sent, goodbye);
}

TEST_F(DrawWindowTest, OuterDetectRunAppendsItsLog) {
    QTemporaryDir dir;
    window.setOuterDetectLogPath(dir.filePath(kOuterDetectLogName));
    window.setPixelsPerMm(1.0); // r = 20 pixels
    window.runKey(Qt::Key_O);
    window.runKey(Qt::Key_C);
    ASSERT_TRUE(window.outerDetectRunning());
    window.contactEvent(300, 300, 0, true);
    window.contactEvent(300, 340, 0, true); // exactly 2r: ring 2
    window.runKey(Qt::Key_C);
    EXPECT_FALSE(window.outerDetectRunning());
    QFile log(window.outerDetectLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("Point 0 Noise Level : 2 / 1\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Outer Range : 40 (mm), Count : 1\r\n")) << text.toStdString();
    EXPECT_TRUE(text.startsWith("\r\nElapsed Time : ")) << text.toStdString();
}

TEST_F(DrawWindowTest, EscQuitsOnlyWhenPressedAndReleasedOnTheWindow) {
    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    // Esc on the open menu closes the menu; its release, which reaches the
    // window, leaves the window open.
    window.menu()->popup(QPoint(200, 200));
    ASSERT_TRUE(window.menu()->isVisible());
    QTest::keyPress(handle, Qt::Key_Escape);
    EXPECT_FALSE(window.menu()->isVisible());
    QTest::keyRelease(handle, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());

    // Nor does a release alone, or an auto-repeated one.
    QTest::keyRelease(handle, Qt::Key_Escape);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(&window, &repeat);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(sent.empty()) << "no goodbye messages";

    // Pressed and released on the window: the program ends, saying goodbye.
    QTest::keyClick(handle, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], (Sent{kDebugTitle, qvui::WM_USER + 2, 0, 0}));
}

// The program in its own process receives a sibling's message and answers it.
TEST(DrawProgram, AnswersASiblingMessageAcrossProcesses) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QVDRAW_NORMAL_WINDOW", "1");
    QTemporaryDir session;
    const QString runtime = useOwnSession(env, session.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(session.path());
    program.start(QStringLiteral(QV_BINARY_DIR "/bin/QVDraw3"), {});
    ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();

    {
        const ScopedRuntimeFolder programsWindows(runtime);  // where this process finds the program's window
        const auto up = [] { return qvui::findWindow(kDrawTitle); };
        qvtest::waitUntil([&] { return up() || program.state() != QProcess::Running; },
                          [&] { program.waitForFinished(50); });  // returns at once when the program ends
        const bool found = up();
        EXPECT_TRUE(found) << program.readAllStandardError().toStdString();
        if (found) {
            auto handled = qvui::sendWindowMessage(kDrawTitle, qvui::WM_USER + 3, 1, 42);
            EXPECT_TRUE(handled.ok) << handled.error.toStdString();
            EXPECT_EQ(handled.result, 1);
            auto unknown = qvui::sendWindowMessage(kDrawTitle, qvui::WM_USER + 3, 9, 0);
            EXPECT_TRUE(unknown.ok) << unknown.error.toStdString();
            EXPECT_EQ(unknown.result, 0);
        }
    }
    program.kill();
    program.waitForFinished(5000);
}
