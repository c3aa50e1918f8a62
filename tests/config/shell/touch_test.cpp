// The main window's notification side against the simulated controller: touch
// reports pushed through the control socket reach the program's hooks and
// windows from the library's thread; the abnormal-state window's debounce,
// dots and progress views; the notification-area icon and its menu; the
// system-reference proposal; screen division. Timers are ticked by hand.
#include "shell/utility_dlg.h"

#include "core/chd_parent_dlg.h"
#include "shell/abn_msg_dlg.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "params/screen_division.h"
#include "core/tip_controls.h"
#include "shell/tray_icon.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_support.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {

struct Message {
    quint32 message;
    quint64 wParam;
    qint64 lParam;
    bool operator==(const Message&) const = default;
};

// Records the window messages an object receives (from any thread it is sent on).
class MessageLog : public QObject {
public:
    explicit MessageLog(QObject* target, std::initializer_list<quint32> messages)
        : wanted_(messages) {
        target->installEventFilter(this);
    }
    std::vector<Message> all() const {
        std::lock_guard l(mutex_);
        return messages_;
    }
    void clear() {
        std::lock_guard l(mutex_);
        messages_.clear();
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e))
            if (std::find(wanted_.begin(), wanted_.end(), m->message()) != wanted_.end()) {
                std::lock_guard l(mutex_);
                messages_.push_back({m->message(), m->wParam(), m->lParam()});
            }
        return false;
    }

private:
    std::vector<quint32> wanted_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

class VcxTouch : public ::testing::Test {
protected:
    void SetUp() override {
        boxes_ = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            shownBoxes_.push_back(r);
            return boxAnswer_;
        });
        settingsBefore_ = vcx::appSettings();
        hooksBefore_ = vcx::programHooks();
        const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
        QFile::remove(env.systemStore);
        QFile::remove(env.userStore);
        dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg_->initDialog()) << dlg_->error().toStdString();
        ASSERT_NE(vcx::controller().dev.device, INVALID_HANDLE_VALUE);
        vcx::appSettings().options |= vcx::kOptAbnMsg;
    }
    void TearDown() override {
        dlg_.reset();
        vcx::programHooks() = hooksBefore_;
        vcx::appSettings() = settingsBefore_;
        vcx::startupState().options.optSR = false;
        simControl(QStringLiteral("clear /sim/hidraw0"));
    }
    vcx::CQVAbnMsgDlg& abn() { return *dlg_->abnMsgDlg(); }
    QString abnText(int id) { return qobject_cast<QLabel*>(qvui::findControl(&abn(), id))->text(); }
    bool abnVisible(int id) { return qvui::findControl(&abn(), id)->isVisibleTo(&abn()); }
    void debug(int code, qint64 value) { qvui::sendMessage(dlg_.get(), qvui::WM_DEBUG_COMMAND, quint64(code), value); }
    void abnormal(int kind, qint64 value) { qvui::sendMessage(dlg_.get(), qvui::WM_ABNORMAL_STATE, quint64(kind), value); }

    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    std::vector<qvui::MessageBoxRequest> shownBoxes_;
    qvui::MessageAnswer boxAnswer_ = qvui::MessageAnswer::No;
    vcx::AppSettings settingsBefore_;
    vcx::ProgramHooks hooksBefore_;
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg_;
};

} // namespace

TEST_F(VcxTouch, TouchReportsAreRoutedFromTheLibrarysThread) {
    MessageLog debugPage(dlg_->page(vcx::kPageDebug), {qvui::WM_DEBUG_COMMAND});
    std::mutex mutex;
    std::vector<std::string> routes;  // in the order they ran
    bool echoDoneFirst = false;
    Qt::HANDLE guiThread = QThread::currentThreadId();
    bool onLibraryThread = false;
    vcx::ProgramHooks& h = vcx::programHooks();
    h.touchEcho = [] { return true; };
    h.drawTestRunning = [] { return true; };
    h.calibrationOpen = [] { return true; };
    h.forwardTouchToCalibration = [&](int state, int x, int y) {
        std::lock_guard l(mutex);
        routes.push_back("calibration " + std::to_string(state) + " " + std::to_string(x) + " " + std::to_string(y));
    };
    h.drawTestTouchDown = [&](int id, int x, int y) {
        std::lock_guard l(mutex);
        // The echo's handler ran on the GUI thread, to its end, before the callback went on.
        echoDoneFirst = !debugPage.all().empty() && debugPage.all().back() == Message{qvui::WM_DEBUG_COMMAND, 5, 0x10};
        onLibraryThread = QThread::currentThreadId() != guiThread;
        routes.push_back("down " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y));
    };
    h.drawTestTouchUp = [&](int id, int x, int y) {
        std::lock_guard l(mutex);
        routes.push_back("up " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y));
    };
    auto routeCount = [&] {
        std::lock_guard l(mutex);
        return routes.size();
    };

    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x73 100 200")), "ok");
    ASSERT_TRUE(processUntil([&] { return routeCount() >= 2; }));
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x43 101 201")), "ok");
    ASSERT_TRUE(processUntil([&] { return routeCount() >= 4; }));
    {
        std::lock_guard l(mutex);
        EXPECT_EQ(routes, (std::vector<std::string>{"calibration 19 100 200", "down 3 100 200",
                                                     "calibration 35 101 201", "up 3 101 201"}));
        EXPECT_TRUE(echoDoneFirst);
        EXPECT_TRUE(onLibraryThread);
    }
    // The other kinds: to the main window, y cut to 16 bits; forwarded to the Debug page.
    debugPage.clear();
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x8F 1 0xF320")), "ok");
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 input 01 8B 00 00 00 47")), "ok");
    ASSERT_TRUE(processUntil([&] { return debugPage.all().size() >= 2; }));
    EXPECT_EQ(debugPage.all()[0], (Message{qvui::WM_DEBUG_COMMAND, 4, 0xF320}));
    EXPECT_EQ(debugPage.all()[1], (Message{qvui::WM_DEBUG_COMMAND, 10, 0x47}));
    // A palm report starts the abnormal window's debounce.
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 input 01 8A 05 00 06 00")), "ok");
    ASSERT_TRUE(processUntil([&] { return abn().disabledPending(); }));
    EXPECT_TRUE(abn().timers().isActive(vcx::CQVAbnMsgDlg::kTimerDisabled));
}

TEST_F(VcxTouch, ShutDownEndsWhileACallbackIsBlockedInItsSend) {
    // The callback's send waits for the GUI thread, which is busy shutting down:
    // the gate closes first, so the send gives up and the unregister joins.
    std::atomic<bool> inCallback{false};
    vcx::programHooks().touchEcho = [&] {
        inCallback = true;
        return true;
    };
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x71 1 1")), "ok");
    // Not processing events: the callback is now blocked in its send to this thread.
    ASSERT_TRUE(qvtest::waitUntil([&] { return inCallback.load(); }));
    EXPECT_TRUE(dlg_->ExitDlg());
    EXPECT_FALSE(vcx::controller().touchRegistered);
}

TEST_F(VcxTouch, AbnormalStateIsDebouncedAndShownWithItsDots) {
    // Disabled, then enabled again within one tick: nothing is shown.
    abnormal(0x40, 5);
    EXPECT_TRUE(abn().disabledPending());
    abnormal(0x30, 5);
    EXPECT_FALSE(abn().disabledPending());
    EXPECT_FALSE(abn().enabledPending());
    EXPECT_FALSE(abn().timers().isActive(vcx::CQVAbnMsgDlg::kTimerDisabled));
    EXPECT_FALSE(abn().isVisible());

    // Held for 500 ms: shown with its texts, the value, and the blinking dots.
    abnormal(0x40, 0x10005);
    ASSERT_TRUE(qvui::fireTimer(&abn(), vcx::CQVAbnMsgDlg::kTimerDisabled));
    EXPECT_TRUE(abn().shown());
    EXPECT_TRUE(abn().isVisible());
    EXPECT_EQ(abn().windowTitle(), "VCXMSet : VCX Device Touch Disabled");
    EXPECT_EQ(abnText(350), "Quorvane Device touch disabled at abnormal state.");
    EXPECT_EQ(abnText(351), "Please remove palm or water.");
    EXPECT_EQ(abnText(353), "#0005");
    EXPECT_TRUE(abnVisible(353));
    EXPECT_FALSE(abnVisible(440));
    EXPECT_FALSE(abnVisible(441));
    std::vector<int> dots;
    for (int i = 0; i < 14; ++i) {
        ASSERT_TRUE(qvui::fireTimer(&abn(), vcx::CQVAbnMsgDlg::kTimerDots));
        dots.push_back(int(abnText(351).size() - QStringLiteral("Please remove palm or water.").size()));
    }
    EXPECT_EQ(dots, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0}));

    // Enabled again, held: hidden, the blinking stopped.
    abnormal(0x30, 0);
    EXPECT_TRUE(abn().enabledPending());
    ASSERT_TRUE(qvui::fireTimer(&abn(), vcx::CQVAbnMsgDlg::kTimerEnabled));
    EXPECT_FALSE(abn().isVisible());
    EXPECT_FALSE(abn().timers().isActive(vcx::CQVAbnMsgDlg::kTimerDots));

    // Without the AbnMsg option nothing starts.
    vcx::appSettings().options &= ~vcx::kOptAbnMsg;
    abnormal(0x40, 1);
    EXPECT_FALSE(abn().disabledPending());
}

TEST_F(VcxTouch, ProgressAndResetFinishedViews) {
    MessageLog main(dlg_.get(), {qvui::WM_SILENT_RESULT});
    struct Step {
        qint64 value;
        bool visible;
        QString text;
    };
    const QString wait = "VCXMSet : Write log. Please wait.";
    const std::vector<Step> table = {
        {0, true, wait},
        {1, true, wait + "..."},
        {1, true, wait + "......"},
        {0xFFFF, true, "VCXMSet : Write log finish."},
        {0xFFFE, false, "VCXMSet : Write log finish."},
    };
    for (const Step& s : table) {
        debug(1, s.value);
        EXPECT_EQ(abn().isVisible(), s.visible) << s.value;
        EXPECT_EQ(abnText(350), s.text) << s.value;
    }
    // The counter steps (c + 1) mod 10.
    debug(1, 0);
    for (int i = 0; i < 10; ++i) debug(1, 1);
    EXPECT_EQ(abn().progressCounter(), 0);
    EXPECT_EQ(abnText(350), wait);
    // The start locks the page buttons, the end frees them.
    EXPECT_FALSE(dlg_->page(vcx::kPageInformation) == nullptr);
    EXPECT_TRUE(dlg_->pageBusy());
    debug(1, 0xFFFF);
    EXPECT_FALSE(dlg_->pageBusy());
    EXPECT_TRUE(abnVisible(441));

    // An unattended system-reference run: hidden, and the result goes to the main window.
    vcx::startupState().options.optSR = true;
    debug(1, 0);
    debug(1, 0xFFFF);
    EXPECT_FALSE(abn().isVisible());
    EXPECT_EQ(main.all(), (std::vector<Message>{{qvui::WM_SILENT_RESULT, 0, 1}}));

    // The touch-panel reset finished (code 0): its own view, closed by timer 4.
    const QSize created = abn().createdRect().size();
    debug(0, 0);
    EXPECT_TRUE(abn().isVisible());
    EXPECT_EQ(abn().windowTitle(), "VCXMSet : Reset Touch Panel.");
    EXPECT_EQ(abnText(350), "Reset touch panel finish.");
    EXPECT_TRUE(abnVisible(441));
    EXPECT_FALSE(abnVisible(440));
    ASSERT_TRUE(qvui::fireTimer(&abn(), vcx::CQVAbnMsgDlg::kTimerResetShown));
    EXPECT_FALSE(abn().isVisible());
    EXPECT_EQ(abn().size(), created);

    // Unknown codes are said, not dropped silently; codes that forward go to the Debug page.
    MessageLog debugPage(dlg_->page(vcx::kPageDebug), {qvui::WM_DEBUG_COMMAND});
    for (int code : {4, 5, 8, 10}) debug(code, 7);
    EXPECT_EQ(debugPage.all(), (std::vector<Message>{{qvui::WM_DEBUG_COMMAND, 4, 7},
                                                      {qvui::WM_DEBUG_COMMAND, 5, 7},
                                                      {qvui::WM_DEBUG_COMMAND, 8, 7},
                                                      {qvui::WM_DEBUG_COMMAND, 10, 7}}));
    debug(3, 0);
    EXPECT_FALSE(dlg_->debugButtonsAllowed());
    debug(3, 1);
    EXPECT_TRUE(dlg_->debugButtonsAllowed());
}

TEST_F(VcxTouch, TrayIconAndItsMenu) {
    vcx::TrayIcon* tray = dlg_->tray();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->added());
    EXPECT_EQ(qvui::findMenuAction(tray->menu(), vcx::kTrayVersion)->text(), "APP ver : 2.7.3.13");
    // A current-series controller out of boot: the device items are usable, 573 checked by AbnMsg.
    EXPECT_TRUE(qvui::findMenuAction(tray->menu(), vcx::kTrayReset)->isEnabled());
    EXPECT_TRUE(qvui::findMenuAction(tray->menu(), vcx::kTrayLogInfo)->isEnabled());

    MessageLog debugPage(dlg_->page(vcx::kPageDebug), {qvui::WM_DEBUG_COMMAND});
    {
        qvui::PopupMenuResponder pick([](const qvui::PopupMenuRequest&) { return int(vcx::kTrayLogInfo); });
        qvui::sendMessage(dlg_.get(), qvui::WM_TRAY_NOTIFY, vcx::kTrayIconId, vcx::kTrayRButtonUp);
    }
    EXPECT_EQ(debugPage.all(), (std::vector<Message>{{qvui::WM_DEBUG_COMMAND, 1, 0}}));

    // The activation of the icon itself takes the same path.
    debugPage.clear();
    {
        qvui::PopupMenuResponder pick([](const qvui::PopupMenuRequest&) { return int(vcx::kTrayReset); });
        emit tray->icon().activated(QSystemTrayIcon::Trigger);
    }
    EXPECT_EQ(debugPage.all(), (std::vector<Message>{{qvui::WM_DEBUG_COMMAND, 0, 0}}));

    // A double click restores the window and deletes the icon; so does a second instance.
    qvui::sendMessage(dlg_.get(), qvui::WM_TRAY_NOTIFY, vcx::kTrayIconId, vcx::kTrayLButtonDblClk);
    EXPECT_FALSE(tray->added());
    tray->add();
    qvui::sendMessage(dlg_.get(), qvui::WM_ACTIVATE_INSTANCE, 0, 0);
    EXPECT_FALSE(tray->added());
    // Another icon's messages are not this one's.
    {
        qvui::PopupMenuResponder pick([](const qvui::PopupMenuRequest&) -> int {
            ADD_FAILURE() << "no menu for another icon";
            return 0;
        });
        qvui::sendMessage(dlg_.get(), qvui::WM_TRAY_NOTIFY, 251, vcx::kTrayRButtonUp);
    }

    // The device gone: the items are grayed, the tip is the program's.
    dlg_->ClearDlgItem();
    EXPECT_FALSE(qvui::findMenuAction(tray->menu(), vcx::kTrayReset)->isEnabled());
    EXPECT_EQ(tray->tip(), "Quorvane VCXUtility");
    EXPECT_TRUE(tray->balloon().isEmpty());

    // 574 ends the program.
    {
        qvui::PopupMenuResponder pick([](const qvui::PopupMenuRequest&) { return int(vcx::kTrayExit); });
        qvui::sendMessage(dlg_.get(), qvui::WM_TRAY_NOTIFY, vcx::kTrayIconId, vcx::kTrayLButtonUp);
    }
    EXPECT_EQ(dlg_->result(), QDialog::Accepted);
    EXPECT_FALSE(vcx::controller().touchRegistered);
}

TEST_F(VcxTouch, SystemReferenceProposal) {
    const QString version = dlg_->fieldText(vcx::kIdMasterVersion);
    const int boot = version.indexOf("Boot");
    const QString cut = boot >= 0 ? version.left(boot) : version;
    struct Case {
        const char* name;
        const char* f7Reply;  // nullptr: the controller's own answer
        const char* e4;       // fault or reply for E4 00, nullptr: none
        bool busy;
        int boxes;
        bool stopsAtOnce;
    };
    const std::vector<Case> table = {
        {"bit set: one box", "E0 01 00 00 00", "E4 00 00 00 01", false, 1, true},
        {"E4 refused", "E0 01 00 00 00", "refuse", false, 0, true},
        {"E4 bit clear", "E0 01 00 00 00", "E4 00 00 00 00", false, 0, true},
        {"page busy", "E0 01 00 00 00", "E4 00 00 00 01", true, 0, true},
        {"bit clear: seven ticks", "E0 00 00 00 00", nullptr, false, 0, false},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        shownBoxes_.clear();
        simControl(QStringLiteral("clear /sim/hidraw0"));
        ASSERT_EQ(simControl(QStringLiteral("reply /sim/hidraw0 E000F7 ") + c.f7Reply), "ok");
        if (c.e4 && QString(c.e4) == "refuse") {
            ASSERT_EQ(simControl(QStringLiteral("refuse /sim/hidraw0 E400")), "ok");
        } else if (c.e4) {
            ASSERT_EQ(simControl(QStringLiteral("reply /sim/hidraw0 E400 ") + c.e4), "ok");
        }
        // As the read-out starts it for a controller whose system reference wants building.
        dlg_->timers().start(vcx::kTimerProposal, 500);
        if (c.busy) qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 1, vcx::kTemplateDebug);
        int ticks = 0;
        while (qvui::fireTimer(dlg_.get(), vcx::kTimerProposal) && ticks < 20) ++ticks;
        EXPECT_EQ(ticks, c.stopsAtOnce ? 1 : 7);
        ASSERT_EQ(int(shownBoxes_.size()), c.boxes);
        if (c.boxes) {
            EXPECT_EQ(shownBoxes_[0].caption, "System reference build");
            EXPECT_EQ(shownBoxes_[0].text,
                      cut + "should be work normally with system reference, which has not built in this control "
                            "board.\nWould you like to build system reference now?");
            EXPECT_EQ(shownBoxes_[0].buttons, qvui::MessageButtons::YesNo);
        }
        if (c.busy) qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 0, vcx::kTemplateDebug);
    }
    // Yes opens the factory build view.
    bool opened = false;
    vcx::programHooks().openFactoryBuildView = [&] { opened = true; };
    boxAnswer_ = qvui::MessageAnswer::Yes;
    simControl(QStringLiteral("clear /sim/hidraw0"));
    ASSERT_EQ(simControl(QStringLiteral("reply /sim/hidraw0 E000F7 E0 01 00 00 00")), "ok");
    ASSERT_EQ(simControl(QStringLiteral("reply /sim/hidraw0 E400 E4 00 00 00 01")), "ok");
    dlg_->timers().start(vcx::kTimerProposal, 500);
    ASSERT_TRUE(qvui::fireTimer(dlg_.get(), vcx::kTimerProposal));
    EXPECT_TRUE(opened);
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageDiagnostic);
}

TEST(VcxProposal, StartsForAnUnbuiltOrEarlySystemReference) {
    using vcx::kOptFBInitDlg;
    struct Case {
        uint32_t options;
        uint16_t statusWord;
        bool wanted;
    };
    const Case table[] = {
        {kOptFBInitDlg, 0, true},          {kOptFBInitDlg, 199, true},    {kOptFBInitDlg, 200, false},
        {kOptFBInitDlg, 0xFF00, false},    {kOptFBInitDlg, 0xFFFF, false}, {0, 0, false},
        {kOptFBInitDlg | vcx::kOptAbnMsg, 102, true},
    };
    for (const Case& c : table)
        EXPECT_EQ(vcx::systemReferenceProposalWanted(c.options, c.statusWord), c.wanted)
            << std::hex << c.options << " " << c.statusWord;
}

TEST(VcxScreenDivision, MonitorsAreDividedByTheirAspect) {
    using vcx::WinRect;
    struct Case {
        const char* name;
        QRect monitor;
        std::vector<WinRect> areas;
        bool stacked;
        std::vector<WinRect> stored;
    };
    const std::vector<Case> table = {
        {"2560 x 1024 (2.5): side by side", QRect(0, 0, 2560, 1024),
         {{0, 0, 1280, 1024}, {1281, 0, 2560, 1024}}, false, {{0, 512, 1280, 1024}, {1281, 512, 2560, 1024}}},
        {"1920 x 1080: one", QRect(0, 0, 1920, 1080), {{0, 0, 1920, 1080}}, false, {{0, 540, 1920, 1080}}},
        {"1080 x 1700 (0.635): stacked", QRect(0, 0, 1080, 1700), {{0, 0, 1080, 850}, {0, 851, 1080, 1700}}, true,
         {}},
        {"offset monitor", QRect(1920, -200, 2560, 1024), {{1920, -200, 3200, 824}, {3201, -200, 4480, 824}},
         false, {{1920, 312, 3200, 824}, {3201, 312, 4480, 824}}},
        {"0.68 exactly: one", QRect(0, 0, 680, 1000), {{0, 0, 680, 1000}}, false, {{0, 500, 680, 1000}}},
    };
    for (const Case& c : table) {
        const vcx::ScreenDivision d = vcx::divideScreen(vcx::toWinRect(c.monitor));
        EXPECT_EQ(d.areas, c.areas) << c.name;
        EXPECT_EQ(d.stacked, c.stacked) << c.name;
        EXPECT_EQ(d.stored, c.stored) << c.name;
    }
    EXPECT_TRUE(vcx::divideScreen({0, 0, 0, 100}).areas.empty());
}

TEST_F(VcxTouch, ClickElsewhereClosesTheByteEditorOrHidesTheTips) {
    vcx::CreateTipWindows();
    vcx::CQVMyTipDlg* tip = vcx::g_TipWnd[0][vcx::kTipFeature];
    ASSERT_NE(tip, nullptr);
    tip->show();
    QWidget* button = qvui::findControl(dlg_.get(), vcx::kIdRefresh);
    auto click = [](QWidget* w) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
    };
    // A click in the tip itself leaves it; one in the main window hides it.
    click(tip);
    EXPECT_TRUE(tip->isVisible());
    click(button);
    EXPECT_FALSE(tip->isVisible());

    // A visible byte editor is asked to close (WM_TRAY_NOTIFY (0, 0)) instead.
    QDialog editor(dlg_.get());
    MessageLog asked(&editor, {qvui::WM_TRAY_NOTIFY});
    vcx::programHooks().byteEditor = [&] { return &editor; };
    editor.show();
    tip->show();
    click(button);
    EXPECT_EQ(asked.all(), (std::vector<Message>{{qvui::WM_TRAY_NOTIFY, 0, 0}}));
    EXPECT_TRUE(tip->isVisible());
    // Its own clicks are its own.
    asked.clear();
    click(&editor);
    EXPECT_TRUE(asked.all().empty());
    vcx::programHooks().byteEditor = nullptr;
    tip->hide();
}

TEST_F(VcxTouch, ExtraModeTimerAndTheParameterReRead) {
    vcx::Controller& c = vcx::controller();
    // The test controller has no parameter groups to read: it is taken as usable
    // with version 1.52 before each tick (the tick's own read-again decides anew).
    int version = 152;
    auto tick11 = [&] {
        c.dev.parametersRead = true;
        c.dev.paraVersion = version;
        qvui::sendMessage(dlg_.get(), qvui::WM_TIMER, quint64(vcx::kTimerExtraMode), 0);
    };
    const bool before = dlg_->extraModeOn();
    tick11();
    EXPECT_NE(dlg_->extraModeOn(), before);
    tick11();
    EXPECT_EQ(dlg_->extraModeOn(), before);
    // Nothing while a page is busy, or with a parameter version of 1.23 or less.
    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 1, vcx::kTemplateDebug);
    tick11();
    EXPECT_EQ(dlg_->extraModeOn(), before);
    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 0, vcx::kTemplateDebug);
    version = 123;
    tick11();
    EXPECT_EQ(dlg_->extraModeOn(), before);
    c.dev.paraVersion = 152;
    c.dev.parametersRead = false;
    qvui::sendMessage(dlg_.get(), qvui::WM_TIMER, quint64(vcx::kTimerExtraMode), 0);
    EXPECT_EQ(dlg_->extraModeOn(), before) << "the Parameters page is not usable";

    // Code 9: the parameters read again and the controller's CRC shown.
    vcx::SetDlgItemText(dlg_.get(), vcx::kIdParamCrc, QString());
    debug(9, 0);
    EXPECT_EQ(dlg_->fieldText(vcx::kIdParamCrc), QString::asprintf("x%04X", unsigned(c.dev.parameterCrc)));
}
