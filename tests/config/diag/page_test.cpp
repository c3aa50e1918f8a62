// The Diagnostic page on the simulated diag panel: where its views sit, the
// device refresh, the toolbar's views (the 3-D viewer program in engineer mode,
// the tablet box), the process items and the command-line test's branches.
#include "diag/diag_commands.h"
#include "diag/diag_dlg.h"
#include "diag/factory_base_dlg.h"
#include "diag/scan_dlg.h"
#include "diag/scan_layout.h"
#include "scan_support.h"

#include "pages/plain_page.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "core/program_hooks.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(DiagPagePlacement, ViewsByScaleAndFont) {
    struct Case {
        int scale;
        const char* font;
        QRect view, factory;
    };
    const Case cases[] = {
        {100, "Tahoma", {9, 11, 725, 385}, {9, 0, 725, 385}},
        {100, "Sans", {9, 11, 725, 358}, {9, 0, 725, 358}},
        {150, "Tahoma", {13, 16, 1087, 577}, {13, 0, 1087, 577}},
        {125, "DejaVu Sans", {11, 13, 906, 447}, {11, 0, 906, 447}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.scale) + " " + k.font);
        EXPECT_EQ(vcx::DiagViewRect(k.scale, k.font), k.view);
        EXPECT_EQ(vcx::FactoryViewRect(k.scale, k.font), k.factory);
    }
}

class DiagPage : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    diagtest::MainSink main;
    std::unique_ptr<vcx::CQVDiagDlg> page;
    std::unique_ptr<qvui::MessageBoxResponder> boxes;
    std::vector<QString> boxTexts;
    qvui::MessageAnswer answer = qvui::MessageAnswer::Ok;
    vcx::CommandLineOptions optionsBefore;

    void SetUp() override {
        optionsBefore = vcx::startupState().options;
        boxes = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            boxTexts.push_back(r.caption + "|" + r.text);
            return answer;
        });
    }
    void TearDown() override {
        page.reset();
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        vcx::scanShared() = vcx::ScanViewShared{};
        vcx::startupState().options = optionsBefore;
        vcx::programState().engineerMode = false;
        vcx::programState().programFolder.clear();
        DiagBench::TearDown();
    }
    void prepare() {
        ASSERT_TRUE(open("diag"));
        readDevice();
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        vcx::programState().screenScale = 100;
        page = std::make_unique<vcx::CQVDiagDlg>(c, s, nullptr);
        page->setMainWindow(&main);
    }
    vcx::CVCXScanDlg& scan() { return *page->scanView(); }
};

TEST_F(DiagPage, RefreshBuildsTheArraysAndShowsTheScanView) {
    prepare();
    EXPECT_EQ(s.g_wSRVersion, 0xFF00);
    EXPECT_EQ(s.g_pActiveScanDlg, page->scanView());
    EXPECT_FALSE(page->isUsable());
    page->UpdateDlgItem();
    EXPECT_TRUE(page->isUsable());
    EXPECT_NE(c.records.newRawArray.mutual, nullptr);
    EXPECT_EQ(s.g_wSRVersion, 102);
    EXPECT_EQ(s.g_nFreqModeCount, 2);
    EXPECT_EQ(s.g_nFHMode, 0u);
    EXPECT_EQ(c.dev.scanControlWord, 0x2000);
    EXPECT_TRUE(page->buildAllowed());  // feature bit 0, reference version 1.02 (below 2.00)
    EXPECT_EQ(s.g_nDiagView, vcx::CQVDiagDlg::kViewScan);
    EXPECT_TRUE(page->scanView()->isVisibleTo(page.get()));
    EXPECT_TRUE(scan().timers().isActive(vcx::CVCXScanDlg::kTimerPoll));
    // The device goes: views hidden, the arrays freed.
    page->ClearDlgItem();
    EXPECT_FALSE(page->scanView()->isVisibleTo(page.get()));
    EXPECT_EQ(c.records.newRawArray.mutual, nullptr);
    EXPECT_TRUE(s.g_FailMap.empty());
}

TEST_F(DiagPage, ToolbarActionsSelectTheViews) {
    prepare();
    page->UpdateDlgItem();
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 1);
    EXPECT_EQ(s.g_nDiagView, 2);
    EXPECT_TRUE(page->noiseView()->isVisibleTo(page.get()));
    EXPECT_FALSE(page->scanView()->isVisibleTo(page.get()));
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 3);
    EXPECT_EQ(s.g_nDiagView, 4);
    EXPECT_TRUE(page->factoryView()->isVisibleTo(page.get()));
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 4);  // not an action
    EXPECT_EQ(s.g_nDiagView, 4);
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);
    EXPECT_EQ(s.g_nDiagView, 1);
    EXPECT_EQ(scan().runState(), 0);
    EXPECT_TRUE(main.messages.empty());
}

TEST_F(DiagPage, ThreeDViewStartsTheViewerInEngineerModeAndAsksOnATablet) {
    prepare();
    page->UpdateDlgItem();
    QTemporaryDir dir;
    vcx::programState().programFolder = dir.path() + "/";
    QFile viewer(dir.filePath(vcx::kTessalyFileName));
    ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
    viewer.write("#!/bin/sh\nexit 0\n");
    viewer.close();
    viewer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    vcx::programState().engineerMode = true;
    s.UseTabletPC = 1;
    page->Show3DView();
    // The viewer program was started: nothing else happens.
    EXPECT_EQ(s.g_nDiagView, 1);
    EXPECT_TRUE(boxTexts.empty());
    EXPECT_TRUE(main.messages.empty());

    vcx::programState().engineerMode = false;
    answer = qvui::MessageAnswer::Cancel;
    page->Show3DView();
    const QString box = QString(vcx::kTessalyTabletText) + "|" + vcx::kTessalyTabletText;
    EXPECT_EQ(boxTexts, std::vector<QString>{box});
    EXPECT_EQ(s.g_nDiagView, 1);
    EXPECT_TRUE(main.messages.empty());
    answer = qvui::MessageAnswer::Ok;
    page->Show3DView();
    EXPECT_EQ(s.g_nDiagView, 3);
    EXPECT_TRUE(page->view3D()->isVisibleTo(page.get()));
    EXPECT_EQ(main.messages, (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 1, 105}}));
    // Without the tablet option there is no box.
    s.UseTabletPC = 0;
    boxTexts.clear();
    page->Show3DView();
    EXPECT_TRUE(boxTexts.empty());
}

TEST_F(DiagPage, ProcessItems) {
    prepare();
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "srVersion", "200", &error)) << error;
    page->UpdateDlgItem();
    ASSERT_FALSE(page->buildAllowed());  // a reference of version 2.00 is not built again here
    page->RunProcessItem(4);  // no build allowed: the item fails at once
    QCoreApplication::processEvents();
    EXPECT_EQ(main.of(qvui::WM_PROCESS_STEP), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 2, 3}}));
    struct Case {
        int item, state;
    };
    for (const Case& k : {Case{1, 2}, Case{5, 5}, Case{6, 6}}) {
        scan().SetRunState(0);
        page->RunProcessItem(k.item);
        EXPECT_EQ(scan().runState(), k.state) << k.item;
        EXPECT_TRUE(page->scanView()->isVisibleTo(page.get()));
        EXPECT_TRUE(scan().timers().isActive(vcx::CVCXScanDlg::kTimerPoll));
    }
    scan().SetRunState(0);
    page->RunProcessItem(3);  // not an item of this page
    EXPECT_EQ(scan().runState(), 0);
    // The main window's requests reach the same items through the page base.
    EXPECT_EQ(vcx::diagnosticProcessItem(), 1);
    vcx::DiagnosticRunProcessItem(page.get(), vcx::diagnosticProcessItem());
    EXPECT_EQ(scan().runState(), 2);
    scan().SetRunState(0);
    ASSERT_TRUE(vcx::programHooks().runDiagnosticProcessItem);
    vcx::programHooks().runDiagnosticProcessItem(6);  // the main window's hook
    EXPECT_EQ(scan().runState(), 6);
    scan().SetRunState(0);
    vcx::programHooks().runDiagnosticProcessItem(1);
    EXPECT_EQ(scan().runState(), 2);
    EXPECT_TRUE(vcx::DiagnosticFirstButtonEnabled(page.get()));
    vcx::PlainPage other(106, "Debug", nullptr);
    vcx::DiagnosticRunProcessItem(&other, 5);  // not the Diagnostic page: nothing
    EXPECT_FALSE(vcx::DiagnosticFirstButtonEnabled(&other));
    EXPECT_EQ(scan().runState(), 2);
}

TEST_F(DiagPage, CommandLineTestBranches) {
    prepare();
    vcx::CommandLineOptions& o = vcx::startupState().options;
    o = vcx::CommandLineOptions{};
    o.optOS = true;
    EXPECT_TRUE(page->RunCommandLineTest());  // no device was ever read out
    page->UpdateDlgItem();
    EXPECT_FALSE(page->RunCommandLineTest());
    EXPECT_EQ(s.g_nDiagView, 1);
    EXPECT_TRUE(scan().timers().isActive(vcx::CVCXScanDlg::kTimerPoll));
    o.optOS = false;
    o.optNL = 2;
    EXPECT_FALSE(page->RunCommandLineTest());
    EXPECT_EQ(s.g_nDiagView, 2);
    o.optNL = 0xFF;
    o.optSR = true;
    ASSERT_TRUE(page->buildAllowed());
    EXPECT_FALSE(page->RunCommandLineTest());  // the factory view's automatic start
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "srVersion", "200", &error)) << error;
    page->UpdateDlgItem();
    EXPECT_TRUE(page->RunCommandLineTest());  // no build allowed: the program ends
    o.optSR = false;
    EXPECT_TRUE(page->RunCommandLineTest());
}

}  // namespace

namespace {

TEST_F(DiagPage, ThePageFillsTheProcessItemHookWhileItLives) {
    prepare();
    EXPECT_TRUE(vcx::programHooks().runDiagnosticProcessItem);
    // Timer 9's proposal answered Yes opens the factory build view.
    ASSERT_TRUE(vcx::programHooks().openFactoryBuildView);
    ASSERT_TRUE(vcx::programHooks().diagnosticProgress);
    page->UpdateDlgItem();
    vcx::programHooks().openFactoryBuildView();
    EXPECT_EQ(s.g_nDiagView, vcx::CQVDiagDlg::kViewFactory);
    EXPECT_TRUE(page->factoryView()->isVisibleTo(page.get()));
    EXPECT_FALSE(page->scanView()->isVisibleTo(page.get()));
    page.reset();
    EXPECT_FALSE(vcx::programHooks().runDiagnosticProcessItem);
    EXPECT_FALSE(vcx::programHooks().openFactoryBuildView);
    EXPECT_FALSE(vcx::programHooks().diagnosticProgress);
}

TEST_F(DiagPage, ResizeKeepsTheFirstSizeAndTheScanViewFollows) {
    prepare();
    page->UpdateDlgItem();
    page->resize(800, 450);
    page->ResizeToParent(0);  // the first call only records
    EXPECT_EQ(page->size(), QSize(800, 450));
    page->scanView()->Relayout(0);  // the view records its own size
    const QSize view = page->scanView()->size();
    page->resize(300, 200);
    page->scanView()->resize(100, 100);
    page->ResizeToParent(0);
    EXPECT_EQ(page->size(), QSize(800, 450));
    EXPECT_EQ(page->scanView()->size(), view);
    EXPECT_EQ(vcx::scanShared().g_nCellSize,
              vcx::LayoutScanView(view, 100, page->scanView()->metrics(), 16, 28, s.g_PanelFlags).cell);
}

}  // namespace

namespace {

// The page is made before the main window loads its settings: the first refresh takes them.
TEST_F(DiagPage, TheFirstRefreshTakesTheLoadedSettings) {
    prepare();
    vcx::AppSettings before = vcx::appSettings();
    const QString folderBefore = vcx::workingFolders()[vcx::kDiagOSFolder];
    vcx::appSettings().options |= vcx::kOptAutoSaveOS;
    vcx::appSettings().diagIdx = 2;
    vcx::workingFolders()[vcx::kDiagOSFolder] = "/loaded/folder";
    page->ClearDlgItem();
    EXPECT_TRUE(qvui::findControl<QCheckBox>(page->scanView(), vcx::CVCXScanDlg::kIdAutoSave)->isChecked());
    EXPECT_EQ(vcx::scanShared().resultFolder, "/loaded/folder");
    page->UpdateDlgItem();
    EXPECT_EQ(s.g_nDiagView, 2);
    EXPECT_TRUE(page->noiseView()->isVisibleTo(page.get()));
    // Only once: a later refresh keeps what the user chose since.
    qvui::findControl<QCheckBox>(page->scanView(), vcx::CVCXScanDlg::kIdAutoSave)->setChecked(false);
    page->UpdateDlgItem();
    EXPECT_FALSE(qvui::findControl<QCheckBox>(page->scanView(), vcx::CVCXScanDlg::kIdAutoSave)->isChecked());
    // The exit writes them back.
    page->ExitDlg();
    EXPECT_FALSE(vcx::appSettings().options & vcx::kOptAutoSaveOS);
    EXPECT_EQ(vcx::appSettings().diagIdx, 2);
    vcx::appSettings() = before;
    vcx::workingFolders()[vcx::kDiagOSFolder] = folderBefore;
}

}  // namespace

namespace {

// The views keep the designed corner and take the page's area from there on:
// a page smaller than the designed view shows the whole grid, a larger one
// gives it larger cells.
TEST_F(DiagPage, TheViewsFillThePageAndTheGridFollowsItsSize) {
    prepare();
    page->InitDlgItem();
    page->UpdateDlgItem();
    page->show();
    page->resize(640, 420);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scan().geometry(), QRect(9, 11, 631, 409));
    const int small = vcx::scanShared().g_nCellSize;
    EXPECT_EQ(small, scan().viewLayout().cell);
    const vcx::SensorGrid g = vcx::LayoutSensorGrid(small, scan().viewLayout().origin, scan().viewLayout().label, 16,
                                                    28, s.g_PanelFlags);
    ASSERT_FALSE(g.nodes.empty());
    for (const QPoint& n : g.nodes) EXPECT_TRUE(scan().rect().contains(n)) << n.x() << "," << n.y();
    page->resize(1200, 700);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(scan().size(), QSize(1191, 689));
    EXPECT_GT(vcx::scanShared().g_nCellSize, small);
}

}  // namespace
