// The drawing window's numbered timers and its popup menu: which key or
// message starts which timer at what interval, what each tick does when it is
// delivered as WM_TIMER (no test waits for one), and the menu shown through
// the popup-menu service at the place it was asked for.
#include "draw_window.h"

#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace qvdraw;
using qvui::InputInjector;

namespace {

struct CountingInjector : InputInjector {
    int* clicks;
    explicit CountingInjector(int* c) : clicks(c) {}
    bool middleClick(std::string*) override {
        ++*clicks;
        return true;
    }
    bool keyPress(int, std::string*) override { return false; }
    bool keyRelease(int, std::string*) override { return false; }
};

class DrawTimersTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setSender([this](const QString& t, quint32 m, quint64 w, qint64 l) {
            sent.push_back(t + QStringLiteral("/%1/%2/%3").arg(m).arg(w).arg(l));
        });
        window.setFinder([](const QString&) { return true; });
        window.setInjector(std::make_unique<CountingInjector>(&clicks));
        window.resize(800, 600);
        window.show();
    }

    void keyUp(Qt::Key key) {
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &up);
    }

    DrawWindow window;
    QStringList sent;
    int clicks = 0;
};

} // namespace

TEST_F(DrawTimersTest, KeysStartAndStopTheirTimers) {
    struct Case {
        const char* name;
        std::function<void()> on, off;
        int timer;
        int interval;
    };
    const Case cases[] = {
        {"live test (L)", [&] { window.runKey(Qt::Key_L); }, [&] { window.runKey(Qt::Key_L); }, kLiveTestTimer, 1000},
        {"sample rate (S)", [&] { window.runKey(Qt::Key_S); }, [&] { window.runKey(Qt::Key_S); }, kSampleRateTimer,
         1000},
        {"head bytes (G and H)", [&] { window.runKey(Qt::Key_G); window.runKey(Qt::Key_H); },
         [&] { window.runKey(Qt::Key_G); window.runKey(Qt::Key_H); }, kHeadByteTimer, 100},
        {"repaint (A)", [&] { window.runKey(Qt::Key_A); }, [&] { window.runKey(Qt::Key_A); }, kRepaintTimer, 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(window.timers().isActive(c.timer));
        c.on();
        EXPECT_EQ(window.timers().interval(c.timer), c.interval);
        EXPECT_TRUE(qvui::fireTimer(&window, c.timer));
        c.off();
        EXPECT_FALSE(window.timers().isActive(c.timer));
        EXPECT_FALSE(qvui::fireTimer(&window, c.timer)) << "a stopped timer does not tick";
    }
}

TEST_F(DrawTimersTest, TicksDoTheirTimersWork) {
    // The sample-rate tick lists the contacts and starts counting anew.
    window.runKey(Qt::Key_S);
    for (int i = 0; i < 3; ++i) window.contactEvent(400, 300 + i, 4, true);
    const QImage before = window.canvas();
    ASSERT_TRUE(qvui::fireTimer(&window, kSampleRateTimer));
    EXPECT_NE(window.canvas().copy(20, 35, 160, 20), before.copy(20, 35, 160, 20));
    EXPECT_EQ(window.recorder().track(4).samples, 0);

    // The head-byte tick asks the debug window for the byte in two messages.
    window.runKey(Qt::Key_G);
    window.runKey(Qt::Key_H);
    sent.clear();
    ASSERT_TRUE(qvui::fireTimer(&window, kHeadByteTimer));
    EXPECT_EQ(sent, (QStringList{kDebugTitle + "/1030/128/0", kDebugTitle + "/1030/129/0"}));

    // The live-test tick draws its panel again.
    window.runKey(Qt::Key_L);
    const QRect panel(window.width() - 140, 80, 90, 120);
    const QImage drawn = window.canvas().copy(panel);
    window.runKey(Qt::Key_Space);  // the whole window again, without the panel
    ASSERT_NE(window.canvas().copy(panel), drawn);
    ASSERT_TRUE(qvui::fireTimer(&window, kLiveTestTimer));
    EXPECT_EQ(window.canvas().copy(panel), drawn);

    // The repaint tick draws the whole window again: the strokes go.
    window.runKey(Qt::Key_A);
    window.contactEvent(300, 300, 1, true);
    ASSERT_EQ(window.canvas().pixelColor(300, 300), contactColour(1));
    ASSERT_TRUE(qvui::fireTimer(&window, kRepaintTimer));
    EXPECT_EQ(window.canvas().pixelColor(300, 300), QColor(Qt::white));
}

TEST_F(DrawTimersTest, TheCommandWindowIsHandedOverOnceItsTimerTicks) {
    EXPECT_EQ(qvui::sendMessage(&window, qvui::WM_USER + 4, 0, 0), 1);
    EXPECT_EQ(window.timers().interval(kHandOverTimer), 100);
    EXPECT_EQ(clicks, 0) << "nothing before the tick";
    ASSERT_TRUE(qvui::fireTimer(&window, kHandOverTimer));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(window.timers().isActive(kHandOverTimer)) << "it ticks once";
    // The same number from outside, with nothing started, does nothing.
    qvui::sendMessage(&window, qvui::WM_TIMER, kHandOverTimer, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(DrawTimersTest, TheMenusSampleRateIsNotToggledAgainByItsKeyUp) {
    QAction* sampleRate = qvui::findMenuAction(*window.menu(), 204);
    ASSERT_NE(sampleRate, nullptr);
    sampleRate->trigger();
    EXPECT_TRUE(window.sampleRateShown());
    EXPECT_EQ(window.timers().interval(kSampleKeyGuardTimer), 200);
    keyUp(Qt::Key_S);
    EXPECT_TRUE(window.sampleRateShown()) << "the S that chose the entry is no second toggle";
    ASSERT_TRUE(qvui::fireTimer(&window, kSampleKeyGuardTimer));
    EXPECT_FALSE(window.timers().isActive(kSampleKeyGuardTimer));
    keyUp(Qt::Key_S);
    EXPECT_FALSE(window.sampleRateShown()) << "after the guard a key-up toggles again";
}

TEST_F(DrawTimersTest, TheMenuOpensWhereItWasAskedForAndRunsThePick) {
    std::vector<qvui::PopupMenuRequest> shown;
    int pick = 209;  // Pen Up Marks
    qvui::PopupMenuResponder responder([&](const qvui::PopupMenuRequest& r) {
        shown.push_back(r);
        return pick;
    });

    const QPoint local(120, 80);
    QTest::mouseClick(&window, Qt::RightButton, Qt::NoModifier, local);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].menu, window.menu());
    EXPECT_EQ(shown[0].position, window.mapToGlobal(local));
    EXPECT_TRUE(window.penUpMarks());
    EXPECT_TRUE(qvui::findMenuAction(*window.menu(), 209)->isChecked());

    // M shows it again at the last place; no pick changes nothing.
    pick = 0;
    keyUp(Qt::Key_M);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].position, shown[0].position);
    EXPECT_TRUE(window.penUpMarks());

    // An Esc held down when the menu opens belongs to the menu: its release does not end the program.
    QKeyEvent escDown(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &escDown);
    keyUp(Qt::Key_M);
    keyUp(Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
}
