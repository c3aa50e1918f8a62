// The main window against the simulated controller of the test program: the
// device read-out, removal and arrival through the debounce timers (ticked by
// hand, so no test waits for real time), the busy lock, the command buttons,
// Refresh and the reconnect, and the shut-down.
#include "shell/utility_dlg.h"

#include "pages/about_dlg.h"
#include "pages/chd_parent_dlg.h"
#include "shell/app_settings.h"
#include "shell/controller_api.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_test_support.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

QString wideText(const QVWCHAR* text) { return QString::fromUtf16(text); }

class VcxUtilityDlg : public ::testing::Test {
protected:
    void SetUp() override {
        boxes_ = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            shownBoxes_.push_back(r.text);
            return qvui::MessageAnswer::Ok;
        });
        appSettingsBefore_ = vcx::appSettings();
        // Every test starts from the defaults: no page or position saved by an earlier one.
        const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
        QFile::remove(env.systemStore);
        QFile::remove(env.userStore);
        dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg_->initDialog()) << dlg_->error().toStdString();
    }
    void TearDown() override {
        dlg_.reset();
        EXPECT_TRUE(shownBoxes_.empty()) << shownBoxes_.front().toStdString();
        vcx::appSettings() = appSettingsBefore_;
    }
    vcx::Controller& c() { return vcx::controller(); }
    QWidget* control(int id) { return qvui::findControl(dlg_.get(), id); }
    void tick(int timer, int times = 1) {
        for (int i = 0; i < times; ++i) qvui::sendMessage(dlg_.get(), qvui::WM_TIMER, quint64(timer), 0);
    }
    bool deviceShown() { return !dlg_->fieldText(308).isEmpty(); }

    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    std::vector<QString> shownBoxes_;
    vcx::AppSettings appSettingsBefore_;
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg_;
};

TEST_F(VcxUtilityDlg, StartUpShowsTheControllersIdentity) {
    ASSERT_NE(c().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dlg_->windowTitle(), "Quorvane VCXMSet");
    // What the library reports for the open controller, read beside the window.
    FirmwareVersionInfoW v{};
    ASSERT_TRUE(c().api.GetFWVersionW(c().dev.device, &v));
    FirmwareInformationW info{};
    info.size = sizeof info;
    ASSERT_TRUE(c().api.GetFWInformationW(c().dev.device, &info));
    ASSERT_EQ(v.slaveCount, 2);

    const QString master = dlg_->fieldText(308);
    EXPECT_TRUE(master.startsWith("QV2081A")) << master.toStdString();
    EXPECT_FALSE(master.contains("Boot"));
    EXPECT_TRUE(wideText(v.master).startsWith(master));
    EXPECT_EQ(dlg_->fieldText(303), "Master Firmware Version");
    EXPECT_EQ(dlg_->fieldText(304), "Slave 1 Firmware Version");
    EXPECT_EQ(dlg_->fieldText(305), "Slave 2 Firmware Version");
    EXPECT_EQ(dlg_->fieldText(309), wideText(v.slave[0]).trimmed());
    EXPECT_EQ(dlg_->fieldText(310), wideText(v.slave[1]).trimmed());
    EXPECT_FALSE(dlg_->fieldText(309).isEmpty());
    EXPECT_TRUE(dlg_->fieldText(311).isEmpty());
    EXPECT_TRUE(dlg_->fullLayout());

    uint16_t crc = 0;
    const bool hasCrc = c().api.GetParameterCRC(c().dev.device, &crc);
    const QString crcText = dlg_->fieldText(368);
    EXPECT_TRUE(QRegularExpression("^x[0-9A-F]{4}$").match(crcText).hasMatch()) << crcText.toStdString();
    EXPECT_EQ(crcText, QString::asprintf("x%04X", c().dev.parameterCrc));
    if (hasCrc) {
        EXPECT_EQ(c().dev.parameterCrc, crc);
    }
    EXPECT_EQ(dlg_->fieldText(300), "USB");
    const QString panel = wideText(info.panelSize) + " " + wideText(info.coverLens);
    EXPECT_EQ(dlg_->fieldText(302), panel);
    EXPECT_GT(panel.size(), 3);

    // The Diagnostic and Parameters pages are not usable here, so the read-out chooses Field Update.
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
    EXPECT_FALSE(control(403)->isEnabled());
    EXPECT_TRUE(control(405)->isEnabled());
    EXPECT_TRUE(control(406)->isEnabled());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(402))->text(), "Reset Device");
    EXPECT_EQ(qobject_cast<QPushButton*>(control(420))->text(), "Load Firmware");
    EXPECT_FALSE(control(423)->isVisibleTo(dlg_.get()));
}

TEST_F(VcxUtilityDlg, RemovalAndArrivalActAfterThreeTicksOfTheLastEvent) {
    ASSERT_TRUE(deviceShown());
    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    EXPECT_EQ(dlg_->removalCountdown(), 3);
    EXPECT_EQ(dlg_->timers().interval(13), 100);
    tick(13, 2);
    EXPECT_TRUE(deviceShown());
    tick(13);
    EXPECT_FALSE(deviceShown());
    EXPECT_FALSE(dlg_->timers().isActive(13));
    EXPECT_EQ(dlg_->devicePresence(), 0);
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageInformation);
    EXPECT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(control(405)->isEnabled());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(402))->text(), "Refresh");
    EXPECT_FALSE(dlg_->fullLayout());

    // The arrival, and a second event one tick later: the count starts again from it.
    QVDeviceBroadcast arrival{};
    quint64 arrivalEvent = 0;
    struct Spy : QObject {
        QVDeviceBroadcast* copy;
        quint64* event;
        bool eventFilter(QObject*, QEvent* e) override {
            if (auto* m = qvui::WindowMessage::from(e); m && m->message() == QV_WM_DEVICECHANGE && m->lParam()) {
                std::memcpy(copy, reinterpret_cast<const void*>(m->lParam()), sizeof *copy);
                *event = m->wParam();
            }
            return false;
        }
    } spy;
    spy.copy = &arrival;
    spy.event = &arrivalEvent;
    dlg_->installEventFilter(&spy);
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    dlg_->removeEventFilter(&spy);
    ASSERT_EQ(arrivalEvent, QV_DBT_DEVICEARRIVAL);
    EXPECT_EQ(dlg_->arrivalCountdown(), 3);
    tick(12);
    qvui::sendMessage(dlg_.get(), QV_WM_DEVICECHANGE, arrivalEvent, reinterpret_cast<qint64>(&arrival));
    EXPECT_EQ(dlg_->arrivalCountdown(), 3);
    tick(12, 2);
    EXPECT_FALSE(deviceShown());
    tick(12);
    EXPECT_TRUE(deviceShown());
    EXPECT_EQ(dlg_->devicePresence(), 1);
    EXPECT_NE(c().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
}

TEST_F(VcxUtilityDlg, BusyPageLocksTheOtherPagesAndTheClose) {
    ASSERT_TRUE(control(406)->isEnabled());
    // The Debug page (template 106) reports busy.
    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 1, 106);
    EXPECT_TRUE(dlg_->pageBusy());
    EXPECT_TRUE(control(401)->isEnabled());  // Draw
    EXPECT_TRUE(control(408)->isEnabled());  // Information
    EXPECT_TRUE(control(406)->isEnabled());  // the reporting page's own
    for (int id : {402, 403, 404, 405, 407, 420, 421, 422, 423}) EXPECT_FALSE(control(id)->isEnabled()) << id;
    QWidget* folderConfigure = qvui::findControl(dlg_->page(vcx::kPageInformation), 420);
    EXPECT_FALSE(folderConfigure->isEnabled());

    // Closing while busy changes nothing, however it is asked for.
    EXPECT_FALSE(dlg_->ExitDlg());
    dlg_->close();
    qvui::sendMessage(dlg_.get(), qvui::WM_CLOSE, 0, 0);
    EXPECT_NE(c().library, nullptr);
    EXPECT_NE(c().dev.device, INVALID_HANDLE_VALUE);

    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 0, 106);
    EXPECT_FALSE(dlg_->pageBusy());
    EXPECT_TRUE(control(402)->isEnabled());
    EXPECT_TRUE(control(405)->isEnabled());
    EXPECT_FALSE(control(403)->isEnabled()); // back to its own flag
    EXPECT_TRUE(folderConfigure->isEnabled());
    EXPECT_TRUE(control(420)->isEnabled());
}

TEST_F(VcxUtilityDlg, PagesEnableToolbarButtonsOnlyWithZeroOrOne) {
    ASSERT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 0);
    EXPECT_FALSE(control(421)->isEnabled());
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 5);
    EXPECT_FALSE(control(421)->isEnabled());
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 1);
    EXPECT_TRUE(control(421)->isEnabled());
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, -1);
    EXPECT_TRUE(control(421)->isEnabled());
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 424, 0);
    EXPECT_TRUE(control(420)->isEnabled());
}

TEST_F(VcxUtilityDlg, RefreshWithADeviceResetsItAndReconnects) {
    const QString key = c().dev.currentKey;
    ASSERT_FALSE(key.isEmpty());
    qobject_cast<QPushButton*>(control(402))->click();
    EXPECT_TRUE(dlg_->reconnectPending());
    EXPECT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c().dev.rememberedKey, key);
    EXPECT_FALSE(deviceShown());
    EXPECT_FALSE(control(402)->isEnabled());
    EXPECT_EQ(dlg_->timers().interval(3), 1500);

    tick(3);
    EXPECT_TRUE(deviceShown());
    EXPECT_EQ(dlg_->reconnectRetries(), 0xABCD);
    EXPECT_FALSE(dlg_->timers().isActive(3));
    EXPECT_TRUE(c().dev.rememberedKey.isEmpty());
    EXPECT_EQ(c().dev.currentKey, key);
    EXPECT_EQ(dlg_->timers().interval(8), 500);
    tick(8);
    EXPECT_FALSE(dlg_->reconnectPending());
    EXPECT_TRUE(control(402)->isEnabled());
}

TEST_F(VcxUtilityDlg, FiveFailedReconnectsLeaveTheInformationPage) {
    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    qobject_cast<QPushButton*>(control(402))->click();
    ASSERT_TRUE(dlg_->reconnectPending());
    tick(3, 4);
    EXPECT_TRUE(dlg_->reconnectPending());
    EXPECT_TRUE(dlg_->timers().isActive(3));
    tick(3);
    EXPECT_FALSE(dlg_->reconnectPending());
    EXPECT_FALSE(dlg_->timers().isActive(3));
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageInformation);
    EXPECT_TRUE(control(402)->isEnabled());
    // Refresh now searches at once: the controller is back.
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    tick(13, 3);
    tick(12, 3);
    EXPECT_TRUE(deviceShown());
}

TEST_F(VcxUtilityDlg, ShutDownSavesThePageUnregistersAndClosesTheDevice) {
    ASSERT_NE(c().devNotify[0], nullptr);
    qobject_cast<QPushButton*>(control(408))->click(); // Information, chosen by the user
    EXPECT_EQ(dlg_->preferredPage(), vcx::kPageInformation);
    qvui::sendMessage(dlg_.get(), qvui::WM_CLOSE, 0, 0);
    EXPECT_EQ(c().devNotify[0], nullptr);
    EXPECT_EQ(c().devNotify[2], nullptr);
    EXPECT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c().library, nullptr);
    EXPECT_EQ(dlg_->result(), QDialog::Accepted);
    // The settings went to the store with the page.
    const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
    vcx::AppSettings reread;
    vcx::WorkingFolders folders;
    vcx::loadAppSettings(reread, folders, env, [](const QString&) {});
    EXPECT_EQ(reread.childIdx, vcx::kPageInformation);
    // A timer message after the end does nothing.
    tick(2);
    EXPECT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
}

TEST_F(VcxUtilityDlg, EscapeReleasedInAPageEndsTheProgramThroughTimerSix) {
    QWidget* page = dlg_->page(vcx::kPageInformation);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &down);
    EXPECT_FALSE(dlg_->timers().isActive(6));
    QCoreApplication::sendEvent(page, &up);
    EXPECT_EQ(dlg_->timers().interval(6), 10);
    tick(6);
    EXPECT_EQ(c().library, nullptr);
}

TEST_F(VcxUtilityDlg, ScreenshotOfTheMainWindow) {
    const QString path = QStringLiteral(QV_BINARY_DIR) + "/screenshots/vcxmset_main_window.png";
    QDir().mkpath(QFileInfo(path).path());
    const QPixmap shot = dlg_->grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(path));
    EXPECT_GT(shot.width(), 600);
}

TEST(VcxPageButtons, ColoursComeFromTheirColorRefs) {
    EXPECT_EQ(vcx::colorRef(0x11A880), QColor(0x80, 0xA8, 0x11));
    EXPECT_EQ(vcx::pageButtonLooks()[4].face, QColor(0xF1, 0x8C, 0x00)); // Field Update
    EXPECT_EQ(vcx::pageButtonLooks()[0].idle, QColor(0xAD, 0xAD, 0xAD));
}

} // namespace

namespace {

TEST_F(VcxUtilityDlg, TouchAndHaltPreparesTheDebugRecordOnlyWithAFolder) {
    ParameterDebug& d = c().records.debug;
    d.valid = 1;
    for (auto& item : d.item) item = ParameterItem{7, 9, 7, 0, 1};
    d.item[1].stored = 1; // already on: left as it is
    d.item9[1] = ParameterItem{7, 9, 7, 0, 1};
    qobject_cast<QPushButton*>(control(406))->click(); // the Debug page shows both switches
    ASSERT_EQ(dlg_->currentPage(), vcx::kPageDebug);
    auto* halt = qobject_cast<QPushButton*>(control(439));
    ASSERT_TRUE(halt->isVisibleTo(dlg_.get()));
    ASSERT_TRUE(halt->isEnabled());

    QString answer; // cancelled first
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        EXPECT_EQ(r.caption, "Select Log File Folder");
        return answer;
    });
    halt->click();
    EXPECT_EQ(d.eventHalt[0], 0);
    EXPECT_FALSE(halt->isChecked());
    EXPECT_EQ(d.item[0].value, 7);

    QTemporaryDir dir;
    answer = dir.path();
    halt->click();
    EXPECT_EQ(d.eventHalt[0], 1);
    EXPECT_TRUE(halt->isChecked());
    EXPECT_EQ(vcx::workingFolders()[vcx::kDbgLogFolder], dir.path());
    const int expected[11] = {1, 7, 1, 7, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(d.item[i].value, expected[i]) << "item " << i + 1;
    EXPECT_EQ(d.item9[0].value, 0);
    EXPECT_EQ(d.item9[1].value, 1);

    halt->click(); // off again: only the enable byte changes
    EXPECT_EQ(d.eventHalt[0], 0);
    EXPECT_FALSE(halt->isChecked());
    EXPECT_EQ(d.item[0].value, 1);
    d = ParameterDebug{};
}

} // namespace
