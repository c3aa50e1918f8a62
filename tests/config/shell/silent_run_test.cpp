// "-os" and "-sr" end to end: the main window started with "-os" on the simulated diag
// panel scans by itself, shows the Silent Result with the scan's verdict, and
// only then arms timer 6, which ends the window; without a controller the
// window ends through timer 6 with no result. A controller that goes away
// mid-scan, a frame it does not give and a test mode it does not leave end the
// run with a failed verdict. Every timer is ticked by hand: only posted events
// (the worker's frames, the library's device events, the posted result) are
// delivered, never a timer's own timeout, so no run depends on the machine's speed.
#include "diag/diag_dlg.h"
#include "diag/factory_base_dlg.h"
#include "diag/log_dlg.h"
#include "diag/new_fb_build_dlg.h"
#include "diag/noise_scan_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/silent_result_dlg.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "core/command_line.h"
#include "shell/utility_dlg.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>

namespace {

struct Shown {
    int index = -1, picture = -1;
    bool exitArmed = false;  // main timer 6 while the dialog was up
};

class VcxDiagSilentRun : public ::testing::Test {
protected:
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg;
    std::unique_ptr<qvui::DialogResponder> dialogs;
    std::unique_ptr<qvui::MessageBoxResponder> boxes;
    std::vector<Shown> results;
    int otherDialogs = 0, messageBoxes = 0;

    void SetUp() override {
        // The library the window loads stays loaded between windows, so its bench
        // (and the control socket) is there before a window starts.
        static void* const library = dlopen(VCX_REAL_LIBRARY, RTLD_NOW);
        ASSERT_NE(library, nullptr) << dlerror();
        const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
        QFile::remove(env.systemStore);
        QFile::remove(env.userStore);
        dialogs = std::make_unique<qvui::DialogResponder>([this](QDialog& d) {
            if (auto* r = qobject_cast<vcx::CQVSResDlg*>(&d)) {
                results.push_back({r->index(), r->pictureId(), dlg && dlg->timers().isActive(vcx::kTimerExit)});
                return qvui::DialogChoice::Accept;
            }
            ++otherDialogs;
            return qvui::DialogChoice::Reject;
        });
        boxes = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest&) {
            ++messageBoxes;
            return qvui::MessageAnswer::Ok;
        });
        vcx::startupState().options = vcx::parseCommandLine("-os");
    }
    void TearDown() override {
        // The window ends the way the program ends it, so it lets go of the frame arrays.
        if (dlg) dlg->ExitDlg();
        dlg.reset();
        vcx::startupState().options = vcx::CommandLineOptions{};
        control("plug /sim/hidraw0");
        EXPECT_EQ(control("clear /sim/hidraw0"), "ok");
        EXPECT_EQ(control("set /sim/hidraw0 sensorFaults none"), "ok");
        EXPECT_EQ(otherDialogs, 0);
        EXPECT_EQ(messageBoxes, 0);
    }

    void start() {
        dlg = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg->initDialog()) << dlg->error().toStdString();
    }
    void tickMain(int id) { qvui::sendMessage(dlg.get(), qvui::WM_TIMER, quint64(id), 0); }
    static QString control(const QString& request) { return simControl(request, SimControlEvents::PostedOnly); }
    vcx::CVCXScanDlg* scanView() {
        auto* page = qobject_cast<vcx::CQVDiagDlg*>(dlg->page(vcx::kPageDiagnostic));
        return page ? page->scanView() : nullptr;
    }
    // Waits for the worker's delivery of the read in flight (posted events only).
    static void deliver(vcx::CVCXScanDlg* scan) {
        QDeadlineTimer deadline(60000);
        while (scan->requestInFlight() && !deadline.hasExpired()) {
            QCoreApplication::sendPostedEvents();
            if (scan->requestInFlight()) QThread::msleep(1);
        }
    }
    // Runs the scan's timers until its frame counter reaches `frame` with no read in flight.
    void runUntilFrame(int frame) {
        vcx::CVCXScanDlg* scan = scanView();
        ASSERT_NE(scan, nullptr);
        for (int guard = 0; guard < 200 && !(scan->frame() >= frame && !scan->requestInFlight()); ++guard) {
            if (scan->requestInFlight()) {
                deliver(scan);
                continue;
            }
            if (!qvui::fireTimer(scan, 1) && !qvui::fireTimer(scan, 5)) break;
        }
        ASSERT_GE(scan->frame(), frame);
    }

    // Runs the scan view's timers and the worker's deliveries until the silent
    // result has been shown (or nothing is left to run). Only the posted events
    // are delivered (the worker's sends and the posted result), never a timer's
    // own timeout: the main window arms its 10 ms exit timer with the result,
    // and a slow run must not see it fire before the test ticks it.
    void runScan() {
        vcx::CVCXScanDlg* scan = scanView();
        ASSERT_NE(scan, nullptr);
        QDeadlineTimer deadline(60000);
        while (results.empty() && !deadline.hasExpired()) {
            if (scan->requestInFlight()) {
                deliver(scan);
                continue;
            }
            bool ticked = false;
            for (int id : {1, 5, 7})
                if (qvui::fireTimer(scan, id)) {
                    ticked = true;
                    break;
                }
            // The result is posted: it arrives through the event loop.
            if (!ticked) QCoreApplication::sendPostedEvents();
        }
    }
};

TEST_F(VcxDiagSilentRun, AGoodPanelShowsPassAndThenEnds) {
    start();
    ASSERT_TRUE(dlg->timers().isActive(vcx::kTimerCommandLineTest));
    tickMain(vcx::kTimerCommandLineTest);
    EXPECT_FALSE(dlg->timers().isActive(vcx::kTimerExit));
    runScan();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].index, 1);
    EXPECT_EQ(results[0].picture, 219);
    EXPECT_FALSE(results[0].exitArmed);
    EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
    EXPECT_FALSE(dlg->pageBusy());
    tickMain(vcx::kTimerExit);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->timers().isActive(vcx::kTimerExit), false);
}

TEST_F(VcxDiagSilentRun, AnOpenColumnShowsFail) {
    ASSERT_EQ(control("set /sim/hidraw0 openColumn 5 0 pattern1"), "ok");
    start();
    tickMain(vcx::kTimerCommandLineTest);
    runScan();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].index, 0);
    EXPECT_EQ(results[0].picture, 220);
    EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
}

TEST_F(VcxDiagSilentRun, WithoutAControllerTheWindowEndsWithNoResult) {
    ASSERT_EQ(control("unplug /sim/hidraw0"), "ok");
    start();
    EXPECT_FALSE(dlg->timers().isActive(vcx::kTimerCommandLineTest));
    EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
    tickMain(vcx::kTimerExit);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(results.empty());
    // Timer 15 on a window whose page never saw a device ends it too.
}

// "-nl1": the noise view starts with pattern 1 (White) by itself, asks for the
// batch numbers, saves its report into the noise folder and ends with the
// grade's silent result (Great: index 2, picture 2004).
TEST_F(VcxDiagSilentRun, NoiseLevelRunSavesAndShowsItsGrade) {
    vcx::startupState().options = vcx::parseCommandLine("-nl1");
    ASSERT_EQ(control("set /sim/hidraw0 noise 0"), "ok");
    int logDialogs = 0;
    dialogs.reset();  // one responder at a time
    dialogs = std::make_unique<qvui::DialogResponder>([&](QDialog& d) {
        if (auto* r = qobject_cast<vcx::CQVSResDlg*>(&d)) {
            results.push_back({r->index(), r->pictureId(), dlg && dlg->timers().isActive(vcx::kTimerExit)});
            return qvui::DialogChoice::Accept;
        }
        if (qobject_cast<vcx::CLogDlg*>(&d)) {
            ++logDialogs;
            EXPECT_TRUE(results.empty());  // the save comes before the result
            qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch1)->setText("N1");
            return qvui::DialogChoice::Accept;
        }
        ++otherDialogs;
        return qvui::DialogChoice::Reject;
    });
    QTemporaryDir folder;
    start();
    vcx::workingFolders()[vcx::kDiagNLFolder] = folder.path();
    tickMain(vcx::kTimerCommandLineTest);
    auto* page = qobject_cast<vcx::CQVDiagDlg*>(dlg->page(vcx::kPageDiagnostic));
    ASSERT_NE(page, nullptr);
    vcx::CScanNoiseDlg* noise = page->noiseScan();
    ASSERT_TRUE(noise->running());
    EXPECT_EQ(qvui::findControl<QComboBox>(noise, vcx::CScanNoiseDlg::kIdPattern)->currentIndex(), 1);
    EXPECT_TRUE(page->noiseView()->isVisibleTo(page));
    for (int guard = 0; guard < 200 && results.empty(); ++guard) {
        if (!qvui::fireTimer(noise, vcx::CScanNoiseDlg::kTimerSample)) QCoreApplication::sendPostedEvents();
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].index, 2);
    EXPECT_EQ(results[0].picture, 2004);
    EXPECT_EQ(logDialogs, 1);
    EXPECT_EQ(QDir(QDir(folder.path()).filePath("Noise Level")).entryList({"*_N1_*_STDEV_00.csv"}, QDir::Files).size(), 1);
    EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
    vcx::workingFolders()[vcx::kDiagNLFolder].clear();
    EXPECT_EQ(control("set /sim/hidraw0 noise 5"), "ok");
}

TEST_F(VcxDiagSilentRun, SilentResultIndexOutsideItsRangeShowsTheFailPicture) {
    start();
    tickMain(vcx::kTimerCommandLineTest);
    for (qint64 index : {9, -1, 6}) {
        results.clear();
        dlg->timers().stop(vcx::kTimerExit);
        qvui::sendMessage(dlg.get(), qvui::WM_SILENT_RESULT, 0, index);
        ASSERT_EQ(results.size(), 1u) << index;
        EXPECT_EQ(results[0].picture, index == 6 ? 2008 : 220) << index;
        EXPECT_EQ(results[0].index, index == 6 ? 6 : 0) << index;
        EXPECT_FALSE(results[0].exitArmed);
        EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
    }
    qobject_cast<vcx::CQVDiagDlg*>(dlg->page(vcx::kPageDiagnostic))->scanView()->OnBnClickedCancel();
}

}  // namespace

namespace {

// The controller unplugged while a frame read is in flight: the main window's
// removal clears the page, which ends the scan without a device command and
// waits for the worker before the frame arrays go.
TEST_F(VcxDiagSilentRun, UnplugMidScanCancelsTheScanAndLeavesThePageIdle) {
    vcx::startupState().options = vcx::CommandLineOptions{};
    start();
    auto* page = qobject_cast<vcx::CQVDiagDlg*>(dlg->page(vcx::kPageDiagnostic));
    ASSERT_NE(page, nullptr);
    vcx::CVCXScanDlg* scan = page->scanView();
    ASSERT_EQ(dlg->currentPage(), vcx::kPageDiagnostic);
    for (int i = 0; i < 10 && scan->timers().isActive(1); ++i) qvui::fireTimer(scan, 1);
    scan->OnBnClickedStart();
    EXPECT_TRUE(dlg->pageBusy());
    runUntilFrame(4);
    ASSERT_TRUE(qvui::fireTimer(scan, 5));
    ASSERT_EQ(control("unplug /sim/hidraw0"), "ok");
    for (int i = 0; i < 3; ++i) tickMain(13);
    EXPECT_FALSE(scan->requestInFlight());
    EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
    EXPECT_EQ(scan->status(), vcx::CVCXScanDlg::kStatusCancel);
    for (int id = 1; id <= 7; ++id) EXPECT_FALSE(scan->timers().isActive(id)) << id;
    EXPECT_FALSE(dlg->pageBusy());
    EXPECT_EQ(dlg->currentPage(), vcx::kPageInformation);
    EXPECT_FALSE(page->isUsable() && page->scanView()->isVisible());
}

}  // namespace

namespace {

// The controller goes away once diagnostic mode is on (frame 1) or once test
// pattern 1 is on (frame 7), with a read in flight. Whether the main window's
// removal ends the scan or the scan's reads fail first, the run ends with one
// failed verdict and the window ends, also when the controller comes back.
TEST_F(VcxDiagSilentRun, AControllerThatGoesAwayMidScanEndsTheRunWithFail) {
    struct Case {
        int frame;
        bool removalFirst;
    };
    for (const Case k : {Case{1, true}, Case{1, false}, Case{7, true}, Case{7, false}}) {
        SCOPED_TRACE("frame " + std::to_string(k.frame) + (k.removalFirst ? ", removal first" : ", reads first"));
        results.clear();
        start();
        tickMain(vcx::kTimerCommandLineTest);
        runUntilFrame(k.frame);
        ASSERT_TRUE(qvui::fireTimer(scanView(), 5));  // the next read is in flight
        ASSERT_EQ(control("unplug /sim/hidraw0"), "ok");
        if (k.removalFirst) {
            for (int i = 0; i < 3; ++i) tickMain(13);
            QCoreApplication::sendPostedEvents();
        } else {
            runScan();  // the reads fail and are tried again until the run gives up
        }
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].index, 0);
        EXPECT_EQ(results[0].picture, 220);
        EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
        EXPECT_FALSE(vcx::scanShared().g_bScanRunning);
        if (!k.removalFirst)
            for (int i = 0; i < 3; ++i) tickMain(13);
        // Plugged back before the exit: found again, and still no second verdict.
        ASSERT_EQ(control("plug /sim/hidraw0"), "ok");
        for (int i = 0; i < 3; ++i) tickMain(12);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(results.size(), 1u);
        EXPECT_FALSE(dlg->pageBusy());
        tickMain(vcx::kTimerExit);
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
        dlg->ExitDlg();
        dlg.reset();
    }
}

// A panel whose frequency mode 1 fails, with the load of that frame refused (the
// library leaves the previous frame in place), and a controller that refuses to
// leave test pattern 1: neither is a pass.
TEST_F(VcxDiagSilentRun, AFrameNotReadOrATestModeNotLeftShowsFail) {
    struct Case {
        const char* fault;
        const char* refuse;
    };
    for (const Case k : {Case{"bump 5 10 200 mode1", "F9FF92"}, Case{nullptr, "F3000D0000"}}) {
        SCOPED_TRACE(k.refuse);
        results.clear();
        if (k.fault) {
            ASSERT_EQ(control(QStringLiteral("set /sim/hidraw0 ") + k.fault), "ok");
        }
        ASSERT_EQ(control(QStringLiteral("refuse /sim/hidraw0 ") + k.refuse), "ok");
        start();
        tickMain(vcx::kTimerCommandLineTest);
        runScan();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].index, 0);
        EXPECT_TRUE(dlg->timers().isActive(vcx::kTimerExit));
        dlg->ExitDlg();
        dlg.reset();
        ASSERT_EQ(control("clear /sim/hidraw0"), "ok");
        ASSERT_EQ(control("set /sim/hidraw0 sensorFaults none"), "ok");
    }
}

}  // namespace

namespace {

// "-sr" end to end on the diag panel (a controller with a reference version):
// the command-line test starts the factory build view's build, the build runs
// on its timers, the ready poll finds the reference active and asks for the
// log; the operator's log dialog closed without a save ends the run with the
// build's verdict.
TEST_F(VcxDiagSilentRun, ReferenceBuildRunsUnattendedAndEndsWithItsVerdict) {
    vcx::startupState().options = vcx::parseCommandLine("-sr");
    int logDialogs = 0;
    dialogs.reset();  // one responder at a time: the fixture's goes first
    dialogs = std::make_unique<qvui::DialogResponder>([&](QDialog& d) {
        if (auto* r = qobject_cast<vcx::CQVSResDlg*>(&d)) {
            results.push_back({r->index(), r->pictureId(), dlg && dlg->timers().isActive(vcx::kTimerExit)});
            return qvui::DialogChoice::Accept;
        }
        if (qobject_cast<vcx::CLogDlg*>(&d)) {
            ++logDialogs;
            return qvui::DialogChoice::Reject;
        }
        ++otherDialogs;
        return qvui::DialogChoice::Reject;
    });
    start();
    tickMain(vcx::kTimerCommandLineTest);
    auto* page = qobject_cast<vcx::CQVDiagDlg*>(dlg->page(vcx::kPageDiagnostic));
    ASSERT_NE(page, nullptr);
    vcx::CQVFactoryBaseDlg* view = page->factoryView();
    ASSERT_TRUE(view->newerBuild().running());
    for (int guard = 0; guard < 400 && results.empty(); ++guard) {
        bool ticked = false;
        for (int id = 11; id <= 20 && !ticked; ++id) ticked = qvui::fireTimer(&view->newerBuild(), id);
        for (int id : {vcx::CQVFactoryBaseDlg::kTimerReady, vcx::CQVFactoryBaseDlg::kTimerReport})
            if (!ticked) ticked = qvui::fireTimer(view, id);
        QCoreApplication::sendPostedEvents();
        if (!ticked && results.empty()) break;
    }
    EXPECT_EQ(view->resultCode(), 0);
    EXPECT_FALSE(view->savePending());
    EXPECT_EQ(logDialogs, 1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].index, 1);
    EXPECT_EQ(results[0].picture, 219);
    tickMain(vcx::kTimerExit);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

}  // namespace
