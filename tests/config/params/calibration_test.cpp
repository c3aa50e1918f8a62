// The calibration run from the coordinate page against the full controller:
// touches as WM_CALIBRATION_POINT, held by WM_TIMER ticks of timer 2, the words
// the controller receives, the check point, Yes / No, F9, Escape, the refusals
// and the update lock released on every way out.
#include "params/calibration_dlg.h"
#include "params/para_dlg.h"
#include "core/parameter_read.h"
#include "params/xf6_coord_dlg.h"
#include "params_support.h"
#include "core/strings.h"
#include "core/program_hooks.h"
#include "ui/control_ids.h"
#include "ui/modal_dialog.h"
#include "ui/window_message.h"
#include "ui/string_table.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using paramtest::MainWindowSink;
using Msg = MainWindowSink::Message;

// The page's window: keeps WM_PAGE_STATE as the main window gets it.
class PageWindow : public QWidget {
public:
    std::vector<Msg> messages;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            messages.push_back({m->message(), m->wParam(), m->lParam()});
            return true;
        }
        return QWidget::event(e);
    }
};

class Calibration : public paramtest::ParamBench {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        ASSERT_TRUE(open("full"));
        ASSERT_TRUE(vcx::ReadAllParameters(c));
        page = new vcx::CQVxF6CoordDlg(c, &window);
        page->LoadDlgItem();
        vcx::CalibrationPending() = false;
        ctl().clearTrace();
    }
    void TearDown() override {
        vcx::CalibrationPending() = false;
        ParamBench::TearDown();
    }

    // Runs the calibration; `drive` plays the operator on the open window.
    int run(std::function<void(vcx::CQVCalibrationDlg&)> drive) {
        qvui::DialogResponder responder([&](QDialog& d) {
            ++windows;
            auto* cal = qobject_cast<vcx::CQVCalibrationDlg*>(&d);
            EXPECT_NE(cal, nullptr);
            if (!cal) return qvui::DialogChoice::Reject;
            EXPECT_TRUE(vcx::CalibrationWindowOpen());
            EXPECT_TRUE(cal->monitorChosen());  // one offscreen monitor
            drive(*cal);
            return qvui::DialogChoice::Reject;
        });
        return page->runCalibration();
    }
    static void point(vcx::CQVCalibrationDlg& d, int x, int y) {
        qvui::sendMessage(&d, qvui::WM_CALIBRATION_POINT, quint64(x), y);
    }
    // A touch down at (x, y), held for `ticks` ticks of timer 2, lifted.
    static void touch(vcx::CQVCalibrationDlg& d, int x, int y, int ticks) {
        point(d, x, y);
        for (int i = 0; i < ticks; ++i) ASSERT_TRUE(qvui::fireTimer(&d, 2));
        point(d, 0xFFFF, 0xFFFF);
    }
    static void key(vcx::CQVCalibrationDlg& d, int k) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier);
        QCoreApplication::sendEvent(&d, &down);
        QCoreApplication::sendEvent(&d, &up);
    }
    // The two targets at (400, 400) and (3600, 3600): the range 223..3777 on both axes.
    static void bothTargets(vcx::CQVCalibrationDlg& d) {
        touch(d, 400, 400, 10);
        ASSERT_EQ(d.phase(), vcx::kPhaseSecond);
        touch(d, 3600, 3600, 10);
        ASSERT_EQ(d.phase(), vcx::kPhaseCheck);
    }
    std::array<int, 4> simRange() {
        auto& w = ctl().profile().wordItems;
        return {w[{8, 0}].value, w[{8, 1}].value, w[{8, 2}].value, w[{8, 3}].value};
    }
    std::vector<std::string> coordinateWrites() { return sentWith("F6 08 8"); }
    QString edit(int id) { return qvui::findControl<QLineEdit>(page, id)->text(); }

    PageWindow window;
    vcx::CQVxF6CoordDlg* page = nullptr;
    paramtest::Boxes boxes;
    int windows = 0;
};

TEST_F(Calibration, AFullPassWritesTheRangeAndEndsWithOk) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        EXPECT_EQ(d.boxText(), "Please click red target.");
        // Held 0.9 s: ignored, the same target.
        point(d, 400, 400);
        for (int i = 0; i < 9; ++i) qvui::fireTimer(&d, 2);
        EXPECT_EQ(d.boxText(), "Touch down. Please Wait...");
        point(d, 0xFFFF, 0xFFFF);
        EXPECT_EQ(d.phase(), vcx::kPhaseFirst);
        EXPECT_FALSE(d.timers()->isActive(2));
        // Held a second: the next target.
        point(d, 400, 400);
        for (int i = 0; i < 10; ++i) qvui::fireTimer(&d, 2);
        EXPECT_EQ(d.boxText(), "Please release touch.");
        point(d, 0xFFFF, 0xFFFF);
        EXPECT_EQ(d.phase(), vcx::kPhaseSecond);
        touch(d, 3600, 3600, 12);
        EXPECT_EQ(d.phase(), vcx::kPhaseCheck);
        EXPECT_TRUE(d.valuesWritten());
        EXPECT_EQ(d.boxText(), qvui::loadString(1216));
        EXPECT_EQ(simRange(), (std::array<int, 4>{223, 3777, 223, 3777}));
        // The check point of the reference range 0..4095: (1228, 2866).
        touch(d, 1228 + 30, 2866 - 30, 10);
        EXPECT_EQ(d.phase(), vcx::kPhaseDone);
        EXPECT_TRUE(qvui::fireTimer(&d, 1));
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(windows, 1);
    EXPECT_FALSE(vcx::CalibrationWindowOpen());
    EXPECT_TRUE(vcx::CalibrationPending());
    EXPECT_EQ((std::vector<QString>{edit(520), edit(521), edit(522), edit(523)}),
              (std::vector<QString>{"223", "3777", "223", "3777"}));
    const std::vector<std::string> expected = {"F6 08 91 00 00", "F6 00 9F 00 01", "F6 08 80 DF 00", "F6 08 81 C1 0E",
                                               "F6 08 82 DF 00", "F6 08 83 C1 0E", "F6 08 90 00 00", "F6 08 90 00 00",
                                               "F6 00 9F 00 00"};
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(ctl().profile().calibrationPreSetups, 1u);
    EXPECT_EQ(ctl().profile().calibrationActivations, 2u);
    EXPECT_EQ(window.messages, (std::vector<Msg>{{qvui::WM_PAGE_STATE, 1, 107}, {qvui::WM_PAGE_STATE, 0, 107}}));
    EXPECT_EQ(c.records.calibrationCoordinate.word[1].value, 3777);
    EXPECT_EQ(c.records.coordinate.word[1].value, 4095);  // the page's record waits for Apply
}

TEST_F(Calibration, TheSheetsExitLeavesTheAcceptedRange) {
    ASSERT_EQ(run([&](vcx::CQVCalibrationDlg& d) {
                  bothTargets(d);
                  key(d, Qt::Key_F9);
                  qvui::fireTimer(&d, 1);
              }),
              QDialog::Accepted);
    vcx::CQVParaDlg sheet(c, nullptr);
    sheet.ExitDlg();
    EXPECT_FALSE(vcx::CalibrationPending());
    EXPECT_EQ(simRange(), (std::array<int, 4>{223, 3777, 223, 3777}));
    EXPECT_EQ(sent().back(), "F6 08 90 00 00");
}

TEST_F(Calibration, ACheckPointMissAsksAndYesKeepsTheData) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        bothTargets(d);
        touch(d, 1228 + 31, 2866, 10);
        EXPECT_EQ(d.phase(), vcx::kPhaseCheckFailed);
        EXPECT_EQ(d.boxText(), qvui::loadString(1217));
        auto* yes = qvui::findControl<QPushButton>(&d, vcx::CQVCalibrationDlg::kIdYes);
        EXPECT_FALSE(yes->isVisibleTo(&d));
        // Touches are not taken while the question stands.
        point(d, 10, 10);
        EXPECT_FALSE(d.timers()->isActive(2));
        ASSERT_TRUE(qvui::fireTimer(&d, 3));
        EXPECT_TRUE(yes->isVisibleTo(&d));
        yes->click();
        EXPECT_EQ(d.phase(), vcx::kPhaseDone);
        qvui::fireTimer(&d, 1);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(vcx::CalibrationPending());
    EXPECT_EQ(simRange(), (std::array<int, 4>{223, 3777, 223, 3777}));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
}

TEST_F(Calibration, NoStartsAgainAndEscapeRestoresTheFoundRange) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        bothTargets(d);
        touch(d, 1228, 2866 + 31, 10);
        ASSERT_TRUE(qvui::fireTimer(&d, 3));
        ctl().clearTrace();
        qvui::findControl<QPushButton>(&d, vcx::CQVCalibrationDlg::kIdNo)->click();
        EXPECT_EQ(d.phase(), vcx::kPhaseFirst);
        EXPECT_EQ(sent(), (std::vector<std::string>{"F6 08 91 00 00"}));
        EXPECT_EQ(ctl().profile().calibrationPreSetups, 2u);
        // A second pass measures anew.
        touch(d, 500, 600, 10);
        touch(d, 3500, 3400, 10);
        EXPECT_EQ(simRange(), (std::array<int, 4>{334, 3666, 445, 3555}));
        key(d, Qt::Key_Escape);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(vcx::CalibrationPending());
    EXPECT_EQ(simRange(), (std::array<int, 4>{0, 4095, 0, 4095}));
    EXPECT_EQ(edit(521), "4095");
    const auto writes = coordinateWrites();
    EXPECT_EQ(std::vector<std::string>(writes.end() - 4, writes.end()),
              (std::vector<std::string>{"F6 08 80 00 00", "F6 08 81 FF 0F", "F6 08 82 00 00", "F6 08 83 FF 0F"}));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    EXPECT_TRUE(boxes.asked.empty());
}

TEST_F(Calibration, EscapeBeforeTheRangeWasWrittenWritesNoWord) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        touch(d, 400, 400, 10);
        key(d, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(coordinateWrites().empty());
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 08 91 00 00", "F6 00 9F 00 01", "F6 08 90 00 00",
                                                 "F6 00 9F 00 00"}));
    // A window closed any other way (the responder's Reject) restores the same way.
    ctl().clearTrace();
    EXPECT_EQ(run([&](vcx::CQVCalibrationDlg& d) { bothTargets(d); }), QDialog::Rejected);
    EXPECT_EQ(simRange(), (std::array<int, 4>{0, 4095, 0, 4095}));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    EXPECT_EQ(window.messages.back(), (Msg{qvui::WM_PAGE_STATE, 0, 107}));
}

TEST_F(Calibration, F9SkipsTheCheckPointOnlyInItsPhase) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        key(d, Qt::Key_F9);  // phase 0: nothing
        EXPECT_FALSE(d.timers()->isActive(1));
        bothTargets(d);
        key(d, Qt::Key_F9);
        EXPECT_TRUE(d.timers()->isActive(1));
        qvui::fireTimer(&d, 1);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(vcx::CalibrationPending());
}

TEST_F(Calibration, ADriverConnectionDividesItsSamples) {
    // R = 2048 on a driver connection: samples arrive on a 4096 scale.
    c.records.panel.resolution[0] = 2048;
    c.dev.deviceType = 0x02;
    run([&](vcx::CQVCalibrationDlg& d) {
        touch(d, 800, 800, 10);
        touch(d, 3200, 3200, 10);  // measured 400..1600, widened by 1200 * 5 / 90 = 66
        key(d, Qt::Key_F9);
        qvui::fireTimer(&d, 1);
    });
    EXPECT_EQ(simRange(), (std::array<int, 4>{334, 1666, 334, 1666}));
}

TEST_F(Calibration, NoResolutionIsRefusedBeforeAnyLockOrWindow) {
    for (uint16_t r : {0, 1}) {
        SCOPED_TRACE(r);
        c.records.panel.resolution[0] = r;
        boxes.asked.clear();
        EXPECT_EQ(run([](vcx::CQVCalibrationDlg&) {}), -1);
        EXPECT_EQ(windows, 0);
        EXPECT_TRUE(sent().empty());
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "Pre calibration initial failed.");
        EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
        EXPECT_TRUE(window.messages.empty());
    }
    // A refused pre-setup: the same message, no lock.
    c.records.panel.resolution[0] = 4096;
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x08, 0x91, 0x00, 0x00}), 1);
    EXPECT_EQ(run([](vcx::CQVCalibrationDlg&) {}), -1);
    EXPECT_EQ(windows, 0);
    EXPECT_TRUE(sentWith("F6 00 9F").empty());
}

TEST_F(Calibration, ARefusedRestoreIsReportedAndTheLockStillReleased) {
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        bothTargets(d);
        ctl().refuse(qvsim::PacketPrefix({0xF6, 0x08, 0x80, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}));
        key(d, Qt::Key_Escape);
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(boxes.asked[0].text, "Restore Calibration Data Failed.");
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    EXPECT_FALSE(vcx::CalibrationWindowOpen());
}

TEST_F(Calibration, ARefusedWriteEndsTheWindowAndReleasesTheLock) {
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x08, 0x80, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}), 1);
    const int result = run([&](vcx::CQVCalibrationDlg& d) {
        touch(d, 400, 400, 10);
        touch(d, 3600, 3600, 10);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_GE(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "Update Parameters to Device Failed.");
    EXPECT_EQ(simRange(), (std::array<int, 4>{0, 4095, 0, 4095}));
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
}

// The calibration's write is inside the update lock; a release the controller
// refuses is said, whatever the window's end.
TEST_F(Calibration, ARefusedReleaseOfTheLockIsSaid) {
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x9F, 0x00, 0x00}), 1);
    const int result = run([&](vcx::CQVCalibrationDlg& d) { key(d, Qt::Key_Escape); });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(sent().back(), "F6 00 9F 00 00");
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "Parameters Update Unlock Failed.");
    EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(window.messages.back(), (Msg{qvui::WM_PAGE_STATE, 0, 107}));
}

TEST_F(Calibration, SeveralAreasWaitForATouchThenAClickChoosesOne) {
    // A wide monitor is two areas: nothing is chosen, touches only arm the choice.
    const std::vector<vcx::WinRect> monitors{{0, 0, 2560, 1024}};
    vcx::CQVCalibrationDlg d(c, 5, nullptr, &monitors);
    d.show();
    ASSERT_EQ(d.areas().size(), 2u);
    EXPECT_FALSE(d.monitorChosen());
    EXPECT_EQ(d.geometry(), QRect(0, 0, 2560, 1024));
    auto click = [&](QPoint global) {
        const QPoint local = d.mapFromGlobal(global);
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&d, &press);
    };
    click({1800, 500});  // no touch yet: no choice
    EXPECT_FALSE(d.monitorChosen());
    point(d, 100, 100);
    EXPECT_FALSE(d.timers()->isActive(2));  // not a calibration touch
    click({1800, 500});
    EXPECT_TRUE(d.monitorChosen());
    EXPECT_EQ(d.geometry(), QRect(1281, 0, 1279, 1024));
    touch(d, 400, 400, 10);
    EXPECT_EQ(d.phase(), vcx::kPhaseSecond);
}

TEST_F(Calibration, ThePaintingDrawsTheTargetAndTheBox) {
    const std::vector<vcx::WinRect> monitors{{0, 0, 1024, 768}};
    vcx::CQVCalibrationDlg d(c, 5, nullptr, &monitors);
    d.show();
    const QImage image = d.grab().toImage();
    ASSERT_EQ(image.size(), QSize(1024, 768));
    const QPoint t = d.targetOnWindow();
    // Target 1 at 5 % of 0..4095: controller 204, on the window 204 * 1024 / 4096 = 51, 204 * 768 / 4096 = 38.
    EXPECT_EQ(t, QPoint(51, 38));
    const QColor ring = image.pixelColor(t + QPoint(10, 0));
    EXPECT_GT(ring.red(), 200);
    EXPECT_LT(ring.green(), 80);
    EXPECT_EQ(image.pixelColor(t), QColor(Qt::white));  // the rings are circles, not discs
    EXPECT_EQ(image.pixelColor(1024 * 10 / 100 + 2, 768 * 30 / 100 + 2), QColor(224, 224, 224));
    EXPECT_EQ(image.pixelColor(1024 * 5 / 100, 768 * 30 / 100 + 2), QColor(Qt::white));
}

TEST_F(Calibration, TheTouchForwardReachesTheWindowInUse) {
    // The page fills the touch callback's hooks.
    vcx::ProgramHooks& h = vcx::programHooks();
    ASSERT_TRUE(h.calibrationOpen && h.forwardTouchToCalibration);
    EXPECT_FALSE(h.calibrationOpen());
    run([&](vcx::CQVCalibrationDlg& d) {
        EXPECT_TRUE(h.calibrationOpen());
        EXPECT_EQ(vcx::ForwardTouchToCalibration(0x11, 400, 400), 1);
        EXPECT_TRUE(d.timers()->isActive(2));
        for (int i = 0; i < 10; ++i) qvui::fireTimer(&d, 2);
        h.forwardTouchToCalibration(0x21, 401, 401);  // up: the position is not taken
        EXPECT_EQ(d.phase(), vcx::kPhaseSecond);
        EXPECT_EQ(vcx::ForwardTouchToCalibration(0x50, 1, 1), 1);  // not a touch
        EXPECT_FALSE(d.timers()->isActive(2));
    });
    EXPECT_FALSE(h.calibrationOpen());
    EXPECT_EQ(vcx::ForwardTouchToCalibration(0x11, 1, 1), 1);  // no window: dropped
}

}  // namespace
