// The touch drawing window: its arithmetic (coordinate maximum, mapping,
// Ostra-series resolution), the hand-off from the callback thread through the
// program's touch route, the keys and menu, the frame toggle, the snapshot,
// and its start and end against simulated controllers.
#include "diag/draw_window.h"
#include "diag/draw_test_geometry.h"
#include "diag/diag_state.h"
#include "diag_support.h"
#include "core/app_settings.h"
#include "shell/touch_routing.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using vcx::CQVDrawWnd;

// Stands in for the main window: keeps the WM_PAGE_STATE messages it gets.
class MainStub : public QObject {
public:
    std::vector<std::pair<quint64, qint64>> pageStates;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            if (m->message() == qvui::WM_PAGE_STATE) pageStates.emplace_back(m->wParam(), m->lParam());
            return true;
        }
        return QObject::event(e);
    }
};

void key(QWidget* w, int k, bool press = true, bool release = true) {
    if (press) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &down);
    }
    if (release) {
        QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &up);
    }
}

// A window over a controller that is not connected (the coordinate range 0..4095).
class DrawWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        vcx::InstallDrawWindowHooks();
        saved_ = vcx::appSettings();
        vcx::appSettings().options = 0;
        vcx::appSettings().drawRect = {200, 150, 900, 650};
    }
    void TearDown() override {
        vcx::CloseDrawWindow();
        vcx::appSettings() = saved_;
    }
    CQVDrawWnd* open() {
        CQVDrawWnd* w = vcx::OpenDrawWindow(c, &main);
        QCoreApplication::processEvents();
        return w;
    }
    // The window point of controller point (x, y) in a full 0..4095 range.
    static QPoint placed(const CQVDrawWnd* w, int x, int y) { return vcx::DrawTestMapPoint(x, y, {4095, 4095}, 0, w->size()); }

    vcx::Controller c;
    MainStub main;
    vcx::AppSettings saved_;
};

TEST(DrawWindowArithmetic, CoordinateMaximumMappingAndOstraResolution) {
    struct Max {
        uint32_t type;
        int model, resolution, expected;
    };
    for (const Max& m : {Max{QV_DEVICE_DRIVER, 3501, 1920, 4095}, Max{QV_DEVICE_DRIVER_EX, 6020, 0, 4095},
                         Max{QV_DEVICE_HID, 9500, 1920, 1023}, Max{QV_DEVICE_HID, 3508, 0, 4095},
                         Max{QV_DEVICE_HID, 3508, 1, 4095}, Max{QV_DEVICE_HID, 3508, 1920, 1919}})
        EXPECT_EQ(vcx::DrawTestMaximum(m.type, m.model, m.resolution, m.resolution).x(), m.expected)
            << m.type << " " << m.model << " " << m.resolution;

    // (x, y) = (1000, 500) of 0..3999 x 0..1999 on 800 x 400.
    const QSize client(800, 400);
    const QPoint expected[4] = {{200, 100}, {300, 200}, {600, 300}, {100, 600}};
    for (int o = 0; o < 4; ++o) EXPECT_EQ(vcx::DrawTestMapPoint(1000, 500, {4000, 2000}, o, client), expected[o]) << o;

    for (uint8_t b4 : {0, 16, 32, 255}) EXPECT_FALSE(vcx::OstraResolutionFromShift(b4)) << int(b4);
    EXPECT_EQ(vcx::OstraResolutionFromShift(1), uint16_t(2));
    EXPECT_EQ(vcx::OstraResolutionFromShift(12), uint16_t(4096));
    EXPECT_EQ(vcx::OstraResolutionFromShift(15), uint16_t(32768));
    EXPECT_EQ(vcx::DrawTimingText(12345), "12.3 sec");
}

TEST(DrawWindowArithmetic, TheRingDropsWhatDoesNotFitAndKeepsTheOrder) {
    vcx::DrawPointRing ring;
    for (int i = 0; i < vcx::kDrawRingSize; ++i) ASSERT_TRUE(ring.push({i, 0, 0, vcx::kDrawTouching}));
    EXPECT_FALSE(ring.push({999, 0, 0, vcx::kDrawTouching}));
    EXPECT_EQ(ring.dropped(), 1u);
    vcx::DrawPointRecord r;
    for (int i = 0; i < vcx::kDrawRingSize; ++i) {
        ASSERT_TRUE(ring.pop(&r));
        EXPECT_EQ(r.x, i);
    }
    EXPECT_FALSE(ring.pop(&r));
}

TEST_F(DrawWindowTest, PointsFromAProducerThreadAreDrawnOrCountedAsDroppedOnTheGuiThread) {
    CQVDrawWnd* w = open();
    ASSERT_TRUE(w && vcx::DrawWindowRunning());
    EXPECT_EQ(main.pageStates, (std::vector<std::pair<quint64, qint64>>{{1, vcx::kDrawPageTemplate}}));
    constexpr int kPushed = 100000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < kPushed; ++i) {
            const int id = i % 3;
            vcx::TouchNotifyCallback((i % 50 == 49 ? 0x20 : 0x10) | id, (i * 7) % 4096, (i * 13) % 4096);
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents();
    producer.join();
    QCoreApplication::processEvents();
    w->drain();
    EXPECT_EQ(w->drawnRecords() + w->droppedRecords(), uint64_t(kPushed));
    EXPECT_GT(w->drawnRecords(), 0u);
    EXPECT_EQ(w->recordsOffThread(), 0u);
}

TEST_F(DrawWindowTest, ContactNineIsDrawnAndTenIgnoredAndTheResetClearsTheContacts) {
    CQVDrawWnd* w = open();
    vcx::MapTouchToDrawWindow(0x1A, 2000, 2000); // id 10
    vcx::MapTouchToDrawWindow(0x19, 2000, 2000); // id 9
    vcx::MapTouchToDrawWindow(0x12, 1000, 1000); // id 2
    w->drain();
    EXPECT_EQ(w->drawnRecords(), 2u);
    EXPECT_TRUE(w->contacts().track(9).active());
    const QPoint at = placed(w, 2000, 2000);
    EXPECT_EQ(w->canvas().pixelColor(at), QColor(0xFF, 0x80, 0x00)); // contact 9's colour

    vcx::MapTouchToDrawWindow(0x29, 2000, 2000);
    w->drain();
    EXPECT_TRUE(w->lifted(9));
    EXPECT_FALSE(w->contacts().track(9).active());

    ASSERT_TRUE(w->contacts().track(2).active());
    qvui::sendMessage(w, qvui::WM_CALIBRATION_POINT, 0xFFFF, 0xFFFF);
    EXPECT_FALSE(w->contacts().track(2).active());
    EXPECT_FALSE(w->lifted(9));
}

TEST_F(DrawWindowTest, KeysCountOnlyWhenTheyWentDownHereAndEscAlwaysCloses) {
    CQVDrawWnd* w = open();
    struct Case {
        int key;
        bool (CQVDrawWnd::*state)() const;
        int menuId;
        int timer; // 0: none
    };
    for (const Case& k : {Case{Qt::Key_S, &CQVDrawWnd::sampleRateShown, 564, vcx::kDrawSampleTimer},
                          Case{Qt::Key_Q, &CQVDrawWnd::penUpMarks, 566, 0},
                          Case{Qt::Key_K, &CQVDrawWnd::timingShown, 567, vcx::kDrawTimingTimer},
                          Case{Qt::Key_N, &CQVDrawWnd::countsShown, 568, 0},
                          Case{Qt::Key_T, &CQVDrawWnd::touchMode, 561, 0}}) {
        SCOPED_TRACE(k.menuId);
        ASSERT_FALSE((w->*k.state)());
        key(w, k.key, false, true); // a key-up whose key went down elsewhere
        EXPECT_FALSE((w->*k.state)());
        key(w, k.key);
        EXPECT_TRUE((w->*k.state)());
        EXPECT_TRUE(qvui::findMenuAction(*w->menu(), k.menuId)->isChecked());
        if (k.timer) {
            EXPECT_TRUE(w->timers()->isActive(k.timer));
        }
    }
    key(w, Qt::Key_D);
    EXPECT_FALSE(w->touchMode());
    EXPECT_TRUE(qvui::findMenuAction(*w->menu(), 562)->isChecked());

    // M and the right button: the menu; its Touch item runs T.
    int menus = 0;
    qvui::PopupMenuResponder pick([&](const qvui::PopupMenuRequest&) { return ++menus == 1 ? 561 : 0; });
    key(w, Qt::Key_M);
    EXPECT_TRUE(w->touchMode());
    QMouseEvent right(QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10), Qt::RightButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &right);
    EXPECT_EQ(menus, 2);

    key(w, Qt::Key_Escape, false, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(vcx::DrawWindow(), nullptr);
    EXPECT_FALSE(vcx::DrawWindowRunning());
    EXPECT_EQ(main.pageStates.back(), (std::pair<quint64, qint64>{0, vcx::kDrawPageTemplate}));
}

TEST_F(DrawWindowTest, TheOptionBitsSetTheSwitchesAtTheStart) {
    vcx::appSettings().options = vcx::kOptShowSR | vcx::kOptDrawMenu | vcx::kOptDrawDownUpMark |
                                 vcx::kOptDrawKBUTiming | vcx::kOptDrawDownUpCnt;
    CQVDrawWnd* w = open();
    EXPECT_TRUE(w->sampleRateShown() && w->penUpMarks() && w->timingShown() && w->countsShown());
    EXPECT_TRUE(w->timers()->isActive(vcx::kDrawSampleTimer));
    EXPECT_NE(qvui::findControl(w, vcx::kIdDrawMenuButton), nullptr);
    // Counted: one down and one up.
    vcx::MapTouchToDrawWindow(0x10, 100, 100);
    vcx::MapTouchToDrawWindow(0x10, 200, 200);
    vcx::MapTouchToDrawWindow(0x20, 200, 200);
    w->drain();
    EXPECT_EQ(w->downCount(), 1);
    EXPECT_EQ(w->upCount(), 1);
}

TEST_F(DrawWindowTest, FTogglesTheFrameAndKeepsTheRectangle) {
    CQVDrawWnd* w = open();
    EXPECT_TRUE(w->fullScreen());
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    key(w, Qt::Key_F);
    EXPECT_FALSE(w->fullScreen());
    EXPECT_FALSE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->geometry(), QRect(200, 150, 700, 500));

    w->setGeometry(QRect(50, 60, 640, 480));
    key(w, Qt::Key_F);
    EXPECT_TRUE(w->fullScreen());
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(vcx::appSettings().drawRect, (vcx::Rect{50, 60, 690, 540}));
    key(w, Qt::Key_F);
    EXPECT_EQ(w->geometry(), QRect(50, 60, 640, 480));
}

TEST_F(DrawWindowTest, F12SavesTheClientAreaAsPngAndAnUnwritablePathSaysWhy) {
    CQVDrawWnd* w = open();
    QTemporaryDir dir;
    QString answer = dir.filePath("shot");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        EXPECT_EQ(r.kind, qvui::FileChoice::SaveFile);
        EXPECT_TRUE(r.filter.startsWith("PNG image"));
        return answer;
    });
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageBoxResponder boxResponder([&](const qvui::MessageBoxRequest& q) {
        boxes.push_back(q);
        return qvui::MessageAnswer::Ok;
    });
    key(w, Qt::Key_F12);
    QImageReader reader(dir.filePath("shot.png"));
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.size(), w->size());
    EXPECT_TRUE(boxes.empty());

    answer = dir.filePath("missing/shot.png");
    key(w, Qt::Key_F12);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Save snapshot");
    EXPECT_FALSE(boxes[0].text.isEmpty());
}

// The start and end against the HID Ostra controller of two-controllers.
class DrawWindowOstra : public DrawWindowTest {
protected:
    void SetUp() override {
        DrawWindowTest::SetUp();
        vcxtest::DetachLinkedLibrary();
        std::string error;
        bench = qvsim::loadProfile("two-controllers", &error);
        ASSERT_TRUE(bench) << error;
        vcxtest::AttachLinkedLibrary(bench);
        diagtest::BindLinkedLibrary(c);
        ASSERT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 1);
        ASSERT_EQ(OpenDeviceA("/sim/hidraw1", &c.dev.device), 1);
        c.dev.deviceType = QV_DEVICE_HID;
        c.records.fwInformation.productNumber = 6020;
        c.records.panel.resolution[0] = 1920;
        c.records.panel.resolution[1] = 1080;
    }
    void TearDown() override {
        DrawWindowTest::TearDown();
        if (c.dev.device != INVALID_HANDLE_VALUE) CloseDevice(c.dev.device);
        vcxtest::DetachLinkedLibrary();
    }
    qvsim::Controller& ostra() { return bench->hid("/sim/hidraw1")->controller(); }
    std::shared_ptr<qvsim::Bench> bench;
};

TEST_F(DrawWindowOstra, TheResolutionFollowsByteFourOnlyFromOneToFifteen) {
    for (const char* b4 : {"0", "16", "255", "12"}) {
        SCOPED_TRACE(b4);
        std::string error;
        ASSERT_TRUE(qvsim::setControllerKey(ostra(), "resolutionShift", b4, &error)) << error;
        open();
        const bool taken = std::string(b4) == "12";
        EXPECT_EQ(c.records.panel.resolution[0], taken ? 4096 : 1920);
        EXPECT_EQ(c.records.panel.resolution[1], taken ? 4096 : 1080);
        vcx::CloseDrawWindow();
    }
}

TEST_F(DrawWindowOstra, TheEndReadsTheFrequencyAgain) {
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ostra(), "frequencyModes", "2 3 0", &error)) << error;
    ASSERT_TRUE(qvsim::setControllerKey(ostra(), "frequency", "4", &error)) << error;
    vcx::diagState().g_nFHMode = 0xFF00;
    open();
    vcx::CloseDrawWindow();
    EXPECT_EQ(vcx::diagState().g_nFHMode, 4u);
    QCoreApplication::processEvents();
    EXPECT_EQ(main.pageStates, (std::vector<std::pair<quint64, qint64>>{{1, vcx::kDrawPageTemplate},
                                                                      {0, vcx::kDrawPageTemplate}}));
}

} // namespace
