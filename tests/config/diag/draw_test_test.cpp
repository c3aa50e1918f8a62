// The region draw test: its arithmetic by tables (regions at their edges, the
// mapping per orientation, the forbidden corners, the coordinate maximum), and
// stroke scripts played from a thread of their own through the touch callback's
// route into a window of a fixed size. Timers are ticked by hand.
#include "diag/draw_test_dlg.h"

#include "core/program_hooks.h"
#include "shell/touch_routing.h"
#include "ui/control_ids.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include "QV_Standard.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

using vcx::CDrawTestDlg;

// ---- The arithmetic -------------------------------------------------------------

TEST(DrawTestGeometry, RegionsHoldTheirLeftAndTopEdgesAndNotTheirRightAndBottom) {
    // 1000 x 800: m = (800 / 100) * 5 = 40.
    const vcx::DrawTestRegions r = vcx::BuildDrawTestRegions(QRect(0, 0, 1000, 800), 5);
    ASSERT_EQ(r.margin, 40);
    struct Case {
        QPoint p;
        int step;
        int region;
    };
    const Case table[] = {
        {{39, 39}, 0, 1},   {{40, 10}, 0, 5},    {{40, 10}, 1, 0},  // corner 1 ends at L + m - 1
        {{10, 40}, 0, 0},   {{10, 40}, 3, 5},                       // the left strip starts at T + m
        {{959, 5}, 0, 5},   {{960, 5}, 0, 2},    {{1000, 0}, 0, 2}, {{1001, 0}, 0, 0}, // R + 1 bounds corner 2
        {{1000, 759}, 1, 5}, {{1000, 760}, 1, 3}, {{1000, 800}, 2, 3}, {{1000, 801}, 2, 0},
        {{0, 800}, 2, 4},   {{40, 800}, 2, 5},   {{40, 800}, 0, 0}, {{39, 400}, 3, 5}, {{40, 400}, 3, 0},
        {{500, 5}, 4, 0},   // the strips are no path in the diagonal steps
        // Band 1-3 (step 4): inside, on its edges (a vertex, the notch at corner 1), outside.
        {{200, 170}, 4, 5}, {{200, 170}, 5, 0}, {{0, 40}, 4, 5},    {{0, 41}, 4, 0},
        {{40, 20}, 4, 5},   {{60, 0}, 4, 0},     {{500, 400}, 4, 5},
        // Band 2-4 (step 5) mirrors it.
        {{800, 170}, 5, 5}, {{800, 170}, 4, 0}, {{1001, 40}, 5, 5}, {{500, 400}, 5, 5}, {{20, 780}, 5, 4},
    };
    for (const Case& c : table)
        EXPECT_EQ(vcx::DrawTestHit(r, c.step, c.p), c.region) << c.p.x() << "," << c.p.y() << " step " << c.step;

    // The text rectangles, centred, 30 high below the margin.
    EXPECT_EQ(r.timerText, QRect(350, 40, 300, 30));
    EXPECT_EQ(r.message, QRect(350, 70, 300, 30));
    // Lower accuracy: m = 8 * 35.
    EXPECT_EQ(vcx::BuildDrawTestRegions(QRect(0, 0, 1000, 800), 35).margin, 280);
    EXPECT_EQ(vcx::BuildDrawTestRegions(QRect(0, 0, 1099, 199), 5).margin, 5);
}

TEST(DrawTestGeometry, ControllerPointsMapByOrientation) {
    // (1000, 500) with the maximum (4095, 2047) on 1000 x 500.
    const QPoint expected[4] = {{244, 122}, {377, 244}, {755, 377}, {122, 755}};
    for (int o = 0; o < 4; ++o)
        EXPECT_EQ(vcx::DrawTestMapPoint(1000, 500, {4095, 2047}, o, {1000, 500}), expected[o]) << o;
    EXPECT_EQ(vcx::DrawTestMapPoint(4095, 4095, {4095, 4095}, 0, {1920, 1080}), QPoint(1920, 1080));
    // Orientation from the screen's angle.
    const int angles[][2] = {{0, 0}, {90, 1}, {180, 2}, {270, 3}, {-90, 3}, {360, 0}};
    for (const auto& a : angles) EXPECT_EQ(vcx::DrawTestOrientation(a[0]), a[1]) << a[0];
}

TEST(DrawTestGeometry, EachStepForbidsTwoCorners) {
    const std::set<int> forbidden[6] = {{3, 4}, {1, 4}, {1, 2}, {2, 3}, {2, 4}, {1, 3}};
    const int ends[6][2] = {{1, 2}, {2, 3}, {3, 4}, {4, 1}, {1, 3}, {2, 4}};
    for (int s = 0; s < 6; ++s) {
        for (int region = 0; region <= 5; ++region)
            EXPECT_EQ(vcx::DrawTestForbidden(s, region), forbidden[s].count(region) == 1) << s << " " << region;
        EXPECT_EQ(vcx::DrawTestStrokeOf(s).from, ends[s][0]);
        EXPECT_EQ(vcx::DrawTestStrokeOf(s).to, ends[s][1]);
    }
}

TEST(DrawTestGeometry, CoordinateMaximumAndTolerance) {
    struct Case {
        const char* name;
        uint32_t type;
        int model, resX, resY;
        QPoint maximum;
    };
    const Case table[] = {
        {"driver device", QV_DEVICE_DRIVER, 9500, 1920, 1080, {4095, 4095}},
        {"driver device, kinds 3..4", QV_DEVICE_DRIVER_EX, 3508, 100, 100, {4095, 4095}},
        {"model 9500", QV_DEVICE_HID, 9500, 1920, 1080, {1023, 1023}},
        {"model 9999", QV_DEVICE_HID, 9999, 0, 0, {1023, 1023}},
        {"resolution 1920 x 1080", QV_DEVICE_HID, 8999, 1920, 1080, {1919, 1079}},
        {"model 10000", QV_DEVICE_RS232, 10000, 4096, 4096, {4095, 4095}},
        {"resolution 0 (no panel record)", QV_DEVICE_HID, 3508, 0, 0, {4095, 4095}},
        {"resolution 1", QV_DEVICE_HID, 3508, 1, 2, {4095, 1}},
    };
    for (const Case& c : table)
        EXPECT_EQ(vcx::DrawTestMaximum(c.type, c.model, c.resX, c.resY), c.maximum) << c.name;
    EXPECT_EQ(vcx::DrawTestTolerance(0), 5);
    EXPECT_EQ(vcx::DrawTestTolerance(vcx::kLowerAccuracyFlag), 35);
    EXPECT_EQ(vcx::DrawTestTolerance(0xFB), 5);
}

// ---- The window -----------------------------------------------------------------

// One touch report as the controller gives it: down (contact) or up, id, a
// point on the window turned into controller coordinates.
struct Report {
    bool down;
    int id;
    QPoint window;
};

class DrawTestWindow : public ::testing::Test {
protected:
    void SetUp() override {
        hooksBefore_ = vcx::programHooks();
        vcx::programHooks() = {};
        vcx::InstallDrawTestHooks();
    }
    void TearDown() override {
        dlg_.reset();
        vcx::programHooks() = hooksBefore_;
    }

    // A window of 1000 x 800 (m = 40 or 280), after its start timer.
    void open(int tolerance) {
        dlg_ = std::make_unique<CDrawTestDlg>(tolerance, QPoint(4095, 4095));
        dlg_->resize(1000, 800);
        dlg_->DisplayChanged(0);
        ASSERT_EQ(dlg_->canvas().size(), QSize(1000, 800));
        ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerStart));
        ASSERT_TRUE(dlg_->timers()->isActive(CDrawTestDlg::kTimerSecond));
    }

    // The controller point that lands on the window point.
    QPoint controllerPoint(QPoint w) const {
        const QPoint m = dlg_->maximum();
        const QPoint c((w.x() * m.x() + 999) / 1000, (w.y() * m.y() + 799) / 800);
        EXPECT_EQ(vcx::DrawTestMapPoint(c.x(), c.y(), m, 0, {1000, 800}), w);
        return c;
    }

    // Plays the reports from a thread of its own through the touch callback, as
    // the library's notification thread calls it, then delivers what it handed on.
    void play(const std::vector<Report>& reports) {
        std::vector<std::array<int, 3>> calls;
        for (const Report& r : reports) {
            const QPoint c = controllerPoint(r.window);
            calls.push_back({(r.down ? 0x10 : 0x20) | r.id, c.x(), c.y()});
        }
        std::thread library([&calls] {
            for (const auto& c : calls) vcx::TouchNotifyCallback(c[0], c[1], c[2]);
        });
        library.join();
        QCoreApplication::sendPostedEvents();
    }

    // A stroke of contact 0 along the points, lifted at the last.
    static std::vector<Report> stroke(const std::vector<QPoint>& points) {
        std::vector<Report> r;
        for (QPoint p : points) r.push_back({true, 0, p});
        r.push_back({false, 0, points.back()});
        return r;
    }
    static std::vector<QPoint> line(QPoint from, QPoint to, int n = 12) {
        std::vector<QPoint> p;
        for (int i = 0; i <= n; ++i) p.push_back(from + (to - from) * i / n);
        return p;
    }
    static constexpr QPoint kCorner[5] = {{}, {20, 20}, {980, 20}, {980, 780}, {20, 780}};
    static std::vector<Report> correct(int step) {
        const vcx::DrawTestStroke& s = vcx::DrawTestStrokeOf(step);
        return stroke(line(kCorner[s.from], kCorner[s.to]));
    }

    QColor at(int x, int y) const { return dlg_->canvas().pixelColor(x, y); }

    vcx::ProgramHooks hooksBefore_;
    std::unique_ptr<CDrawTestDlg> dlg_;
};

const QColor kGrey(0xC8, 0xC8, 0xC8), kGreen(0x64, 0xC8, 0x32), kRed(0xFF, 0, 0), kWhite(Qt::white);

TEST_F(DrawTestWindow, SixCorrectStrokesPass) {
    open(5);
    EXPECT_TRUE(vcx::DrawTestRunning());
    EXPECT_EQ(dlg_->drawResult(), CDrawTestDlg::kResultTimeOut);
    // The full redraw of step 0: corners 1, 2 and the top strip grey, the rest white.
    EXPECT_EQ(at(5, 5), kGrey);
    EXPECT_EQ(at(995, 5), kGrey);
    EXPECT_EQ(at(500, 5), kGrey);
    EXPECT_EQ(at(995, 795), kWhite);
    EXPECT_EQ(at(995, 400), kWhite);
    EXPECT_TRUE(dlg_->messageShown());
    for (int s = 0; s < 6; ++s) {
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerSecond));
        play(correct(s));
        ASSERT_EQ(dlg_->step(), s + 1) << "stroke " << s;
        EXPECT_EQ(dlg_->strokeState(), CDrawTestDlg::kStrokeDone);
        EXPECT_EQ(dlg_->seconds(), 0);
        EXPECT_FALSE(dlg_->messageShown());
        if (s == 0) {
            // The top strip green, the right one (the next path) grey.
            EXPECT_EQ(at(500, 5), kGreen);
            EXPECT_EQ(at(995, 400), kGrey);
        }
    }
    // The diagonals: band 1-3 green, corners 2 and 4 green.
    EXPECT_EQ(at(300, 250), kGreen);
    EXPECT_EQ(at(5, 795), kGreen);
    EXPECT_FALSE(dlg_->timers()->isActive(CDrawTestDlg::kTimerEnd));
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerPass));
    EXPECT_EQ(dlg_->drawResult(), CDrawTestDlg::kResultPass);
    EXPECT_EQ(dlg_->timers()->interval(CDrawTestDlg::kTimerEnd), 10);
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerEnd));
    EXPECT_EQ(dlg_->result(), 1);
    EXPECT_FALSE(dlg_->touching());
    EXPECT_FALSE(vcx::DrawTestRunning());
    EXPECT_FALSE(dlg_->timers()->isActive(CDrawTestDlg::kTimerSecond));
}

TEST_F(DrawTestWindow, StrokesThatLeaveThePathOrUseASecondFingerFail) {
    open(5);
    // 1 -> 2 leaving the top strip halfway: failed, painted red, the step stays.
    std::vector<QPoint> away = line(kCorner[1], {500, 20}, 6);
    away.push_back({500, 200});
    for (QPoint p : line({500, 20}, kCorner[2], 6)) away.push_back(p);
    play(stroke(away));
    EXPECT_EQ(dlg_->step(), 0);
    EXPECT_EQ(dlg_->strokeState(), CDrawTestDlg::kStrokeNone) << "the lift resets a failed stroke";
    EXPECT_EQ(dlg_->strokeStart(), 0);
    EXPECT_EQ(at(300, 5), kRed);
    EXPECT_EQ(at(5, 5), kRed);
    EXPECT_EQ(at(995, 5), kRed);
    EXPECT_TRUE(dlg_->messageShown());

    // A second finger (id 1) during a stroke fails it and is drawn with its own pen;
    // id 10 is no contact of the test: neither drawn nor failing the stroke.
    std::vector<Report> withTen = correct(0);
    withTen.insert(withTen.begin() + 3, Report{true, 10, {250, 250}});
    std::vector<Report> withSecond = withTen;
    withSecond.insert(withSecond.begin() + 5, Report{true, 1, {500, 400}});
    play(withSecond);
    EXPECT_EQ(dlg_->step(), 0);
    EXPECT_EQ(at(498, 400), kRed) << "id 1's pen";
    play(withTen);
    EXPECT_EQ(dlg_->step(), 1);
    EXPECT_EQ(at(248, 250), kWhite);

    // Stroke 2 -> 3 lifted in its start corner, on its path, or outside every region: failed.
    const QPoint onPath(980, 300);
    const std::vector<std::vector<Report>> badLifts = {
        {{true, 0, kCorner[2]}, {false, 0, kCorner[2]}},
        {{true, 0, kCorner[2]}, {true, 0, onPath}, {false, 0, onPath}},
        {{true, 0, kCorner[2]}, {true, 0, onPath}, {false, 0, {500, 400}}},
    };
    for (const auto& r : badLifts) {
        play(r);
        EXPECT_EQ(dlg_->step(), 1) << r.size() << " reports, lifted at " << r.back().window.x();
    }
    // A stroke that starts on the path or in a forbidden corner fails.
    play(stroke(line({980, 300}, kCorner[3])));
    play(stroke(line(kCorner[1], kCorner[3])));
    EXPECT_EQ(dlg_->step(), 1);
    play(correct(1));
    EXPECT_EQ(dlg_->step(), 2);
}

TEST_F(DrawTestWindow, LowerAccuracyCompletesEdgeStrokesAtTheCorner) {
    open(35);
    ASSERT_EQ(dlg_->regions().margin, 280);
    // Down in corner 1, along the top strip into corner 2: counted before the lift.
    std::vector<Report> r;
    for (QPoint p : line({100, 100}, {900, 100}, 8)) r.push_back({true, 0, p});
    play(r);
    EXPECT_EQ(dlg_->step(), 1);
    EXPECT_EQ(dlg_->strokeStart(), 2);
    // On without lifting, down the right strip into corner 3: the next edge counts too.
    r.clear();
    for (QPoint p : line({900, 100}, {900, 700}, 6)) r.push_back({true, 0, p});
    play(r);
    EXPECT_EQ(dlg_->step(), 2);
    // The lift in the corner it completed in counts nothing more.
    play({{false, 0, {900, 700}}});
    EXPECT_EQ(dlg_->step(), 2);
    EXPECT_EQ(dlg_->strokeState(), CDrawTestDlg::kStrokeDone);
    play(stroke(line({900, 700}, {100, 700}, 8)));
    play(stroke(line({100, 700}, {100, 100}, 8)));
    ASSERT_EQ(dlg_->step(), 4);
    // The diagonals wait for the lift.
    std::vector<Report> diagonal = stroke(line({100, 100}, {900, 700}, 8));
    play(std::vector<Report>(diagonal.begin(), diagonal.end() - 1));
    EXPECT_EQ(dlg_->step(), 4);
    play({diagonal.back()});
    EXPECT_EQ(dlg_->step(), 5);
}

TEST_F(DrawTestWindow, TimeOutExitAndRetry) {
    open(5);
    // 100 seconds without a stroke: result 3.
    for (int i = 1; i < 100; ++i) ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerSecond));
    EXPECT_EQ(dlg_->TimerText(), "Time out:   99 / 100 sec");
    EXPECT_FALSE(dlg_->timers()->isActive(CDrawTestDlg::kTimerEnd));
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerSecond));
    EXPECT_EQ(dlg_->timers()->interval(CDrawTestDlg::kTimerEnd), 500);
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerEnd));
    EXPECT_EQ(dlg_->drawResult(), CDrawTestDlg::kResultTimeOut);
    EXPECT_EQ(dlg_->result(), 3);
    EXPECT_FALSE(vcx::DrawTestRunning());

    // Retry (the right button's menu) after a stroke: back to step 0.
    auto rightClick = [this](int pick) {
        qvui::PopupMenuResponder menu([pick](const qvui::PopupMenuRequest& r) {
            EXPECT_NE(qvui::findMenuAction(*r.menu, CDrawTestDlg::kIdRetry), nullptr);
            return pick;
        });
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(500, 400), QPointF(500, 400), Qt::RightButton,
                          Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg_.get(), &press);
    };
    open(5);
    play(correct(0));
    ASSERT_EQ(dlg_->step(), 1);
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerSecond));
    rightClick(CDrawTestDlg::kIdRetry);
    EXPECT_EQ(dlg_->step(), 0);
    EXPECT_EQ(dlg_->seconds(), 0);
    EXPECT_TRUE(dlg_->messageShown());
    EXPECT_EQ(at(500, 5), kGrey);
    // Exit: result 2.
    rightClick(CDrawTestDlg::kIdExit);
    EXPECT_EQ(dlg_->drawResult(), CDrawTestDlg::kResultExit);
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), CDrawTestDlg::kTimerEnd));
    EXPECT_EQ(dlg_->result(), 2);
}

TEST_F(DrawTestWindow, PointsNeverReachAClosedOrDestroyedWindow) {
    open(5);
    // Handed on but not yet delivered when the window closes: dropped.
    std::thread library([] { vcx::TouchNotifyCallback(0x10, 80, 80); });
    library.join();
    dlg_->done(2);
    EXPECT_FALSE(vcx::DrawTestRunning());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(dlg_->strokeStart(), 0);
    // A route that runs on while the window is destroyed: nothing arrives, nothing breaks.
    open(5);
    std::atomic<bool> stop{false};
    std::thread busy([&stop] {
        for (int i = 0; !stop; ++i) vcx::TouchNotifyCallback(0x10 | (i & 1), 80 + i % 100, 80);
    });
    QCoreApplication::sendPostedEvents();
    dlg_.reset();
    EXPECT_FALSE(vcx::DrawTestRunning());
    stop = true;
    busy.join();
    QCoreApplication::sendPostedEvents();
}

TEST_F(DrawTestWindow, ADisplayChangeRebuildsTheRegions) {
    open(5);
    play(correct(0));
    dlg_->resize(600, 1000);
    dlg_->DisplayChanged(1);
    EXPECT_EQ(dlg_->orientation(), 1);
    EXPECT_EQ(dlg_->regions().margin, 30);
    EXPECT_EQ(dlg_->canvas().size(), QSize(600, 1000));
    // Everything drawn again for the step it is at: corner 1 green, 2 and 3 grey.
    EXPECT_EQ(dlg_->canvas().pixelColor(5, 5), kGreen);
    EXPECT_EQ(dlg_->canvas().pixelColor(595, 995), kGrey);
    // Orientation 1 takes (maxY - y, x): the controller's (0, 4095) is the turned screen's top left.
    EXPECT_EQ(vcx::DrawTestMapPoint(0, 4095, dlg_->maximum(), 1, {600, 1000}), QPoint(0, 0));
    dlg_->DisplayChanged(7);
    EXPECT_EQ(dlg_->orientation(), 0);
}

} // namespace
