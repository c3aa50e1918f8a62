// One product through the production line on the simulated diag panel, the
// way an operator runs it: the program started with a process configuration
// ("VCXMSet line.ini") beside its package, a golden sample taken first, then
// Start on the production-line page. The list runs firmware verification,
// open/short, the reference build, noise level, the diagnostic test and the
// drawing test (six strokes played as the controller's touch packets), and the
// run leaves one detail report and one summary row, compared byte for byte
// with the files under tests/data/line/. The clock stands still; every timer
// is ticked by hand and only posted events are delivered, so the simulated
// panel scans the same frames in the same order on every run.
#include "diag/diag_dlg.h"
#include "diag/draw_test_dlg.h"
#include "draw_test_support.h"
#include "diag/factory_base_dlg.h"
#include "diag/new_fb_build_dlg.h"
#include "diag/noise_scan_dlg.h"
#include "diag/scan_dlg.h"
#include "core/app_settings.h"
#include "core/command_line.h"
#include "core/device_text.h"
#include "core/main_ids.h"
#include "core/program_state.h"
#include "core/report_header.h"
#include "firmware_writer_support.h"
#include "pages/proc_dlg.h"
#include "shell/utility_dlg.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_support.h"
#include "wait_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

// Only what other threads posted (the library's touch reports) is delivered while waiting.
template <typename Done>
bool deliverUntil(Done done) {
    return qvtest::waitUntil(done, [] {
        QCoreApplication::sendPostedEvents();
        QThread::msleep(1);
    });
}

// Stroke `step` from the centre of its start corner to that of its end corner,
// as touch packets of contact 0 (0x70 down and moving, 0x40 up).
void playStroke(vcx::CDrawTestDlg& d, int step) {
    const vcx::DrawTestStroke& s = vcx::DrawTestStrokeOf(step);
    const QPoint from = d.regions().corners[size_t(s.from - 1)].center();
    const QPoint to = d.regions().corners[size_t(s.to - 1)].center();
    constexpr int n = 10;
    QPoint last;
    for (int i = 0; i <= n; ++i) {
        last = from + (to - from) * i / n;
        const QPoint c = controllerPoint(d, last);
        ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x70 %1 %2").arg(c.x()).arg(c.y()),
                             SimControlEvents::PostedOnly),
                  "ok");
    }
    const QPoint c = controllerPoint(d, last);
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x40 %1 %2").arg(c.x()).arg(c.y()),
                         SimControlEvents::PostedOnly),
              "ok");
    ASSERT_TRUE(deliverUntil([&] { return d.step() == step + 1; })) << "stroke " << step << " ended at " << d.step();
}

class VcxDiagProductionLine : public ::testing::Test {
protected:
    void SetUp() override {
        // The library stays loaded between windows, so its bench (and the
        // control socket) is there before a window starts.
        static void* const library = dlopen(VCX_REAL_LIBRARY, RTLD_NOW);
        ASSERT_NE(library, nullptr) << dlerror();
        ASSERT_TRUE(dir_.isValid());
        const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
        QFile::remove(env.systemStore);
        QFile::remove(env.userStore);
        boxes_ = std::make_unique<qvui::MessageBoxResponder>([](const qvui::MessageBoxRequest& r) {
            ADD_FAILURE() << "unexpected box: " << r.text.toStdString();
            return qvui::MessageAnswer::Ok;
        });
        vcx::startupState().options = vcx::CommandLineOptions{};
    }
    void TearDown() override {
        if (dlg_) dlg_->ExitDlg();
        dlg_.reset();
        vcx::startupState().fileArg.clear();
        simControl(QStringLiteral("clear /sim/hidraw0"));
    }
    void start() {
        if (dlg_) dlg_->ExitDlg();
        dlg_.reset();  // one main window at a time: its pages own the program's hooks
        dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg_->initDialog()) << dlg_->error().toStdString();
        ASSERT_NE(vcx::controller().dev.device, INVALID_HANDLE_VALUE);
    }
    vcx::CQVDiagDlg* diagPage() const { return qobject_cast<vcx::CQVDiagDlg*>(dlg_->page(vcx::kPageDiagnostic)); }

    // A package of the panel's firmware with the controller's own parameter
    // lists, as the program reads them, and its virtual-key table (no key: the
    // empty first entry), so the package's parameter CRC is the controller's.
    fwtest::Package panelPackage() {
        vcx::Controller& c = vcx::controller();
        ParameterList lists{};
        EXPECT_TRUE(c.api.GetAPBTParaList && c.api.GetAPBTParaList(c.dev.device, &lists));
        fwtest::Package p;
        p.para.flags = 0x02;  // the controller's reading of the CRC (mode 1)
        if (lists.touchList) p.para.touch.assign(lists.touchList, lists.touchList + lists.touchLength);
        if (lists.bootList) p.para.boot.assign(lists.bootList, lists.bootList + lists.bootLength);
        fwtest::Vkey keys;
        keys.entries = {fwtest::Bytes(12, 0)};
        keys.crc = fwtest::vkeyCrc(keys.entries);
        EXPECT_EQ(keys.crc, c.dev.virtualKeyCrc);
        p.vkey = keys;
        return p;
    }

    // Runs the timers of the views the items use, first running timer first,
    // until the production run is over; a scan's read in flight is waited for.
    void runItems() {
        vcx::CQVProcDlg* proc = dlg_->processDialog();
        vcx::CQVDiagDlg* diag = diagPage();
        vcx::CQVFactoryBaseDlg* factory = diag->factoryView();
        const std::vector<std::pair<QObject*, std::vector<int>>> timers = {
            {proc->scanView(), {1, 5, 6, 7, 2}},
            {&factory->newerBuild(), {11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
            {factory, {vcx::CQVFactoryBaseDlg::kTimerReady, vcx::CQVFactoryBaseDlg::kTimerReport}},
            {diag->noiseScan(), {vcx::CScanNoiseDlg::kTimerSample, vcx::CScanNoiseDlg::kTimerSettlePoll,
                                 vcx::CScanNoiseDlg::kTimerSettleStart}},
        };
        QDeadlineTimer deadline(120000);
        while (proc->busy() && !deadline.hasExpired()) {
            if (proc->scanView()->requestInFlight()) {
                QCoreApplication::sendPostedEvents();
                QThread::msleep(1);
                continue;
            }
            bool ticked = false;
            for (const auto& [window, ids] : timers) {
                for (int id : ids)
                    if ((ticked = qvui::fireTimer(window, id))) break;
                if (ticked) break;
            }
            if (!ticked) QCoreApplication::sendPostedEvents();
        }
    }
    // The golden-sample scan of the Diagnostic page, as the golden-sample
    // view's "Create Golden Sample" asks for it.
    void takeGoldenSample() {
        vcx::CVCXScanDlg* scan = diagPage()->scanView();
        qvui::sendMessage(dlg_.get(), qvui::WM_DEBUG_COMMAND, 13, 6);
        QDeadlineTimer deadline(60000);
        while (scan->runState() != 0 && !deadline.hasExpired()) {
            if (scan->requestInFlight()) {
                QCoreApplication::sendPostedEvents();
                QThread::msleep(1);
                continue;
            }
            bool ticked = false;
            for (int id : {1, 5, 6, 7, 4})
                if ((ticked = qvui::fireTimer(scan, id))) break;
            if (!ticked) QCoreApplication::sendPostedEvents();
        }
    }

    QTemporaryDir dir_;
    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg_;
    qvtext::ScopedClock clock_{qvtext::LocalTime{2025, 2, 1, 12, 34, 56, 0}};
    vcx::ScopedOsVersionText os_{"Test System 1.0"};
};

TEST_F(VcxDiagProductionLine, OneProductWritesTheExpectedDetailReportAndSummaryRow) {
    // First the engineer's start: the golden sample (in the program's folder)
    // and the package, made from the controller the program finds.
    start();
    vcx::programState().programFolder = dir_.path() + u'/';
    takeGoldenSample();
    ASSERT_EQ(QDir(dir_.filePath("GoldenSample")).entryList({"*_AverageGS.csv"}, QDir::Files).size(), 1);
    const fwtest::Bytes bytes = fwtest::package(panelPackage());
    writeFile(dir_.filePath("line.pfp"), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("results")));
    writeFile(dir_.filePath("line.ini"), "[Process List Config]\nWork Order Number=WO7\nCompany=ACME\n"
                                         "PFP file name=line.pfp\nReport folder path=" +
                                             QFile::encodeName(dir_.filePath("results")) +
                                             "\nProcess List=476321\nProcess List Flag=0\n");

    // The operator's start: "VCXMSet line.ini".
    vcx::startupState().fileArg = dir_.filePath("line.ini");
    start();
    vcx::programState().programFolder = dir_.path() + u'/';
    ASSERT_TRUE(dlg_->processView());
    vcx::CQVProcDlg* proc = dlg_->processDialog();
    EXPECT_EQ(proc->record().processList, (std::array<uint8_t, 10>{1, 2, 3, 6, 7, 4}));
    EXPECT_EQ(vcx::GetDlgItemText(proc, vcx::CQVProcDlg::kIdMasterVersion), "2081A.2.5");

    int drawTests = 0, otherDialogs = 0;
    qvui::DialogResponder operatorHand([&](QDialog& d) {
        auto* test = qobject_cast<vcx::CDrawTestDlg*>(&d);
        if (!test) {
            ++otherDialogs;
            return qvui::DialogChoice::Reject;
        }
        ++drawTests;
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerStart));
        for (int s = 0; s < 6 && !::testing::Test::HasFatalFailure(); ++s) playStroke(*test, s);
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerPass));
        EXPECT_TRUE(qvui::fireTimer(test, vcx::CDrawTestDlg::kTimerEnd));
        return qvui::DialogChoice::Reject;  // the window ended itself
    });

    auto* startButton = qvui::findControl<QPushButton>(dlg_.get(), vcx::kIdFirstCommand + 1);
    ASSERT_TRUE(startButton && startButton->isEnabled());
    startButton->click();
    ASSERT_TRUE(proc->busy());
    runItems();
    ASSERT_FALSE(proc->busy());
    EXPECT_EQ(drawTests, 1);
    EXPECT_EQ(otherDialogs, 0);

    auto* list = qvui::findControl<QTableWidget>(proc, vcx::CQVProcDlg::kIdList);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(list->item(row, 1) ? list->item(row, 1)->text() : QString(), "PASS") << "row " << row;
    EXPECT_EQ(proc->lastResult(), 0);

    // The item files went into the detail report; the scan items' pictures stay.
    const QDir workOrder(dir_.filePath("results/ACME_WO7"));
    const QString product = "QV" + vcx::GetProductNameString(vcx::controller().records.fwInformation);
    EXPECT_EQ(workOrder.entryList(QDir::Files).join(u'|').toStdString(),
              ("ACME_WO7_ProcessListReport.csv|" + product + "_001_DiagnosticTest(PASS).png|" + product +
               "_001_OpenShortTest(PASS).png|" + product + "_001_ProcessListReport.csv|Serial Number.ini")
                  .toStdString());
    const QString expected = QStringLiteral(QV_SOURCE_DIR "/tests/data/line/");
    const QString actual = QStringLiteral(QV_BINARY_DIR "/tests/line_run_actual/");
    QDir().mkpath(actual);
    const std::pair<QString, QString> files[] = {
        {product + "_001_ProcessListReport.csv", "detail_report.csv"},
        {"ACME_WO7_ProcessListReport.csv", "summary_report.csv"},
    };
    QFile::remove(actual + "line.pfp");
    QFile::copy(dir_.filePath("line.pfp"), actual + "line.pfp");  // the package, for a run by hand
    for (const auto& [written, checkedIn] : files) {
        SCOPED_TRACE(checkedIn.toStdString());
        const QByteArray bytes = bytesOf(workOrder.filePath(written));
        QFile::remove(actual + checkedIn);
        QFile::copy(workOrder.filePath(written), actual + checkedIn);  // for a look when they differ
        EXPECT_EQ(bytes.toStdString(), bytesOf(expected + checkedIn).toStdString())
            << "written: " << (actual + checkedIn).toStdString();
    }
}

}  // namespace
