// The drawing window's engineering keys that reach outside it: the command
// window hand-over with injected input, the linearity test program, the live
// test, the snapshot key; and the X11 injection backend without a display.
#include "draw_window.h"
#include "set_distance_dialog.h"

#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QImageReader>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace qvdraw;
using qvui::InputInjector;
using qvui::makeXTestInjector;

namespace {

struct FakeInjector : InputInjector {
    int* clicks;
    bool fail;
    FakeInjector(int* c, bool f) : clicks(c), fail(f) {}
    bool middleClick(std::string* error) override {
        ++*clicks;
        if (fail) *error = "server gone";
        return !fail;
    }
    bool keyPress(int, std::string*) override { return false; }
    bool keyRelease(int, std::string*) override { return false; }
};

class DrawToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setSender([this](const QString& t, quint32 m, quint64 w, qint64 l) {
            sent.push_back(t + QStringLiteral("/%1/%2/%3").arg(m).arg(w).arg(l));
        });
        window.setFinder([this](const QString& t) { return present.contains(t); });
        window.resize(800, 600);
        window.show();
    }
    DrawWindow window;
    QStringList present;
    QStringList sent;
};

} // namespace

TEST_F(DrawToolsTest, CommandWindowKeyAndHandOverInjectAClick) {
    window.runKey(Qt::Key_E); // no debug window: nothing
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_FALSE(window.commandWindowUp());

    present << kDebugTitle;
    window.runKey(Qt::Key_E);
    EXPECT_EQ(sent, QStringList{kDebugTitle + "/1028/0/0"});
    EXPECT_TRUE(window.commandWindowUp());

    for (bool fail : {false, true}) {
        SCOPED_TRACE(fail);
        int clicks = 0;
        window.setInjector(std::make_unique<FakeInjector>(&clicks, fail));
        window.commandWindowHandOver();
        EXPECT_EQ(clicks, 1);
        EXPECT_FALSE(window.commandWindowUp());
        EXPECT_EQ(window.lastInjectError().contains("server gone"), fail);
    }
    window.setInjector(nullptr);
    window.commandWindowHandOver();
    EXPECT_FALSE(window.lastInjectError().isEmpty()) << "no backend is reported, not silently skipped";
}

TEST_F(DrawToolsTest, LinearityProgramStartsWhenPresentAndSaysSoWhenNot) {
    QTemporaryDir empty, withProgram;
    QFile program(withProgram.filePath(kLinearityProgram));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QStringList started;
    window.setStarter([&](const QString& path) { started << path; return true; });
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& r) {
        boxes.push_back(r);
        return qvui::MessageAnswer::Ok;
    });

    window.setProgramFolders({empty.path()});
    window.runKey(Qt::Key_I);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains("was not found")) << boxes[0].text.toStdString();
    EXPECT_TRUE(started.isEmpty());

    window.setProgramFolders({empty.path(), withProgram.path()});
    window.runKey(Qt::Key_I);
    EXPECT_EQ(started, QStringList{QFileInfo(program).absoluteFilePath()});

    present << kLinearityTitle; // already running: not started again
    window.runKey(Qt::Key_I);
    EXPECT_EQ(started.size(), 1);

    present.clear();
    window.setStarter([](const QString&) { return false; });
    window.runKey(Qt::Key_I);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[1].text.contains("could not be started"));
}

TEST_F(DrawToolsTest, LiveTestStartAndStopTellTheScanWindows) {
    window.runKey(Qt::Key_L);
    EXPECT_TRUE(window.liveTestRunning());
    window.runKey(Qt::Key_L);
    EXPECT_FALSE(window.liveTestRunning());
    const QStringList expected = {kDiagTitle + "/1027/0/0", kScanTitle + "/1027/0/0", kScan2Title + "/1027/0/0",
                                  kDiagTitle + "/1027/0/1", kScanTitle + "/1027/0/1", kScan2Title + "/1027/0/1"};
    EXPECT_EQ(sent, expected);

    sent.clear();
    qvui::sendMessage(&window, qvui::WM_USER + 3, 4, 0); // the firmware has no live test
    window.runKey(Qt::Key_L);
    EXPECT_FALSE(window.liveTestRunning());
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(DrawToolsTest, SnapshotKeySavesTheChosenFileOrReportsWhy) {
    QTemporaryDir dir;
    QString answer = dir.filePath("shot"); // no extension: .png is added
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        EXPECT_EQ(r.kind, qvui::FileChoice::SaveFile);
        EXPECT_TRUE(r.filter.contains("PNG image"));
        return answer;
    });
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& r) {
        boxes.push_back(r);
        return qvui::MessageAnswer::Ok;
    });
    window.runKey(Qt::Key_F12);
    QImageReader reader(dir.filePath("shot.png"));
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.size(), window.size());
    EXPECT_TRUE(boxes.empty());

    answer = dir.filePath("missing/shot.png");
    window.runKey(Qt::Key_F12);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Save snapshot");
    EXPECT_TRUE(boxes[0].text.contains("missing")) << boxes[0].text.toStdString();
}

TEST(DrawInjector, XTestBackendFailsCleanlyWithoutADisplay) {
    const QByteArray saved = qgetenv("DISPLAY");
    for (const char* display : {"", ":987654"}) {
        SCOPED_TRACE(display);
        if (*display) qputenv("DISPLAY", display);
        else qunsetenv("DISPLAY");
        std::string error;
        EXPECT_EQ(makeXTestInjector(&error), nullptr);
        EXPECT_NE(error.find("display"), std::string::npos) << error;
    }
    if (saved.isNull()) qunsetenv("DISPLAY");
    else qputenv("DISPLAY", saved);
}

TEST(DrawMenu, ItemsMapToKeysThroughTheTable) {
    struct Case { int item; int key; };
    const Case cases[] = {{200, Qt::Key_Space}, {201, Qt::Key_T}, {202, Qt::Key_D}, {203, Qt::Key_Escape},
                          {204, Qt::Key_S}, {205, Qt::Key_L}, {206, 0}, {207, Qt::Key_F},
                          {208, Qt::Key_I}, {209, Qt::Key_Q}, {199, 0}, {210, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(menuItemKey(c.item), c.key);
    }
}

TEST_F(DrawToolsTest, MenuRadioFollowsTheModeAndRunsItsKeys) {
    auto action = [&](int item) {
        for (QAction* a : window.menu()->actions())
            if (a->data().toInt() == item) return a;
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_TRUE(action(202) && action(201) && action(206));
    EXPECT_TRUE(action(202)->isChecked());
    EXPECT_FALSE(action(206)->isEnabled());
    EXPECT_EQ(action(206)->text(), "APP ver : 1.0.58");
    action(201)->trigger();
    EXPECT_TRUE(window.touchMode());
    window.runKey(Qt::Key_D);
    EXPECT_TRUE(action(202)->isChecked());
    action(209)->trigger();
    EXPECT_TRUE(window.penUpMarks());
    EXPECT_TRUE(action(209)->isChecked());
}

TEST_F(DrawToolsTest, HeadBytesAreRequestedAndShown) {
    window.runKey(Qt::Key_G);
    const std::vector<uint8_t> bytes = {1, 0x71, 1, 0, 1, 0};
    window.reportDecoded(decodeReport(bytes), 2047, 0);
    EXPECT_EQ(sent, QStringList{kDebugTitle + "/1030/128/0"}) << "G alone asks after each report";

    sent.clear();
    window.runKey(Qt::Key_H);
    window.reportDecoded(decodeReport(bytes), 2047, 0);
    EXPECT_TRUE(sent.isEmpty()) << "with H on the timer asks instead";
    for (int i = 0; i < 16; ++i) window.headByteTick();
    ASSERT_EQ(sent.size(), 32);
    EXPECT_EQ(sent[1], kDebugTitle + "/1030/129/0");
    EXPECT_EQ(sent[29], kDebugTitle + "/1030/143/0");
    EXPECT_EQ(sent[31], kDebugTitle + "/1030/129/0") << "n cycles 1..15";

    const QImage before = window.canvas();
    EXPECT_EQ(qvui::sendMessage(&window, qvui::WM_USER + 6, 130, 0x5A), 1);
    EXPECT_EQ(window.lastHeadValue(), 0x5A);
    const QImage after = window.canvas();
    EXPECT_NE(after.copy(70, 560, 35, 40), before.copy(70, 560, 35, 40)) << "cell 2 is drawn";
    EXPECT_EQ(after.copy(0, 560, 70, 40), before.copy(0, 560, 70, 40));
    // Indices before the row or beyond the window draw nothing.
    qvui::sendMessage(&window, qvui::WM_USER + 6, 5, 1);
    qvui::sendMessage(&window, qvui::WM_USER + 6, 128 + 1000, 1);
    EXPECT_EQ(window.canvas(), after);
}

TEST_F(DrawToolsTest, SampleRateTickListsActiveContacts) {
    window.runKey(Qt::Key_S);
    EXPECT_TRUE(window.sampleRateShown());
    for (int i = 0; i < 3; ++i) window.contactEvent(400, 300 + i, 4, true);
    const QImage before = window.canvas();
    window.sampleRateTick();
    EXPECT_NE(window.canvas().copy(20, 35, 160, 20), before.copy(20, 35, 160, 20));
    EXPECT_EQ(window.recorder().track(4).samples, 0) << "the tick starts counting anew";
    window.runKey(Qt::Key_S);
    EXPECT_FALSE(window.sampleRateShown());
}

TEST_F(DrawToolsTest, SetDistanceDialogStoresValuesAndRestartsARun) {
    window.runKey(Qt::Key_O);
    window.runKey(Qt::Key_C);
    window.contactEvent(100, 100, 0, true);
    ASSERT_TRUE(window.outerDetect().contact(0).seen());
    QTemporaryDir dir;
    window.setOuterDetectLogPath(dir.filePath(kOuterDetectLogName));

    struct Case { const char* distance; int expected; bool restarted; };
    const Case cases[] = {{"20", 20, false}, {"35", 35, true}, {"0", 1, true}, {"-4", 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        window.contactEvent(100, 100, 0, true); // contact 0 seen in the current run
        window.runKey(Qt::Key_U);
        SetDistanceDialog* dialog = window.distanceDialog();
        ASSERT_NE(dialog, nullptr);
        dialog->distanceEdit()->setText(c.distance);
        dialog->coefficientEdit(5)->setText("9");
        dialog->ignoreOtherFingerBox()->setChecked(true);
        dialog->accept();
        EXPECT_EQ(window.outerDetect().settings().distanceMm, c.expected);
        EXPECT_EQ(window.outerDetect().settings().coefficients[5], 9);
        EXPECT_TRUE(window.outerDetect().settings().ignoreOtherFinger);
        EXPECT_TRUE(window.outerDetectRunning());
        EXPECT_EQ(window.outerDetect().contact(0).seen(), !c.restarted);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Esc closes the dialog; its key-up is not taken as the exit key.
    window.runKey(Qt::Key_U);
    ASSERT_NE(window.distanceDialog(), nullptr);
    window.distanceDialog()->reject();
    QKeyEvent escUp(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &escUp);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(sent.isEmpty()) << "no goodbye messages";
}

TEST_F(DrawToolsTest, BackgroundAndRepaintTimerKeys) {
    for (int i = 1; i <= 7; ++i) {
        window.runKey(Qt::Key_B);
        EXPECT_EQ(window.backgroundIndex(), i % 6);
    }
    window.runKey(Qt::Key_A);
    EXPECT_TRUE(window.repaintTimerOn());
    window.runKey(Qt::Key_A);
    EXPECT_FALSE(window.repaintTimerOn());
}

TEST_F(DrawToolsTest, FullScreenKeyRestoresTheSavedGeometry) {
    window.setGeometry(120, 130, 640, 480);
    const QRect before = window.geometry();
    window.runKey(Qt::Key_F);
    EXPECT_TRUE(window.fullScreenOn());
    EXPECT_TRUE(window.isFullScreen());
    window.runKey(Qt::Key_F);
    EXPECT_FALSE(window.isFullScreen());
    EXPECT_EQ(window.geometry(), before);
}
