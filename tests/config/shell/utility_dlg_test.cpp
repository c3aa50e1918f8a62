// The main window against the simulated controller of the test program: the
// device read-out, removal and arrival through the debounce timers (ticked by
// hand, so no test waits for real time), the busy lock, the command buttons,
// Refresh and the reconnect, the controls whose work is not built, the window's
// place across starts, and the shut-down.
#include "shell/utility_dlg.h"

#include "pages/about_dlg.h"
#include "pages/debug_dlg.h"
#include "pages/proc_cfg_dlg.h"
#include "pages/proc_dlg.h"
#include "core/chd_parent_dlg.h"
#include "core/app_settings.h"
#include "core/built_controls.h"
#include "core/controller_api.h"
#include "core/program_state.h"
#include "ui/string_table.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_support.h"

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace {

QString wideText(const QVWCHAR* text) { return QString::fromUtf16(text); }

// What the program writes to its standard error while this lives (both the
// C stream and the descriptor go to a file).
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = dup(2);
        if (file_.open()) dup2(file_.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    // The lines written that start with `prefix`.
    QStringList lines(const QString& prefix) {
        restore();
        QFile read(file_.fileName());
        if (!read.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QString& line : QString::fromLocal8Bit(read.readAll()).split(u'\n'))
            if (line.startsWith(prefix)) out << line;
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

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
        vcx::programState().engineerMode = false;
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

    // The controller keeps no checksum of its own: the field shows the one over
    // its parameter lists, computed here from the profile's image by definition.
    uint16_t kept = 0;
    EXPECT_FALSE(c().api.GetParameterCRC(c().dev.device, &kept));
    const ParameterList& lists = c().records.paraList;
    ASSERT_EQ(lists.touchLength, sizeof kTestTouchList);
    ASSERT_EQ(lists.bootLength, sizeof kTestBootList);
    EXPECT_EQ(0, std::memcmp(lists.touchList, kTestTouchList, sizeof kTestTouchList));
    EXPECT_EQ(0, std::memcmp(lists.bootList, kTestBootList, sizeof kTestBootList));
    // Mode 1, from the virtual-key CRC word; this controller's general group cannot
    // be read (it has no general items), so no parameter version and the word 0xFFFF.
    EXPECT_EQ(c().dev.paraVersion, 0);
    EXPECT_FALSE(c().dev.parametersRead);
    EXPECT_EQ(c().dev.virtualKeyCrc, 0xFFFF);
    const uint16_t expected = parameterChecksum(1, 0xFFFF, {std::begin(kTestTouchList), std::end(kTestTouchList)},
                                                {std::begin(kTestBootList), std::end(kTestBootList)});
    EXPECT_EQ(dlg_->fieldText(vcx::kIdParamCrc), QString::asprintf("x%04X", unsigned(expected)));

    // The feature bytes and bridge flags stay program-wide for the pages.
    std::array<uint8_t, 8> features{}, bridge{};
    ASSERT_TRUE(c().api.GetFeatureFlag(c().dev.device, features.data()));
    ASSERT_TRUE(c().api.GetBridgeFeatureFlag(c().dev.device, bridge.data()));
    EXPECT_EQ(c().dev.featureFlags, features);
    EXPECT_EQ(c().dev.bridgeFlags, bridge);
    EXPECT_NE(features, (std::array<uint8_t, 8>{}));
    EXPECT_NE(bridge, (std::array<uint8_t, 8>{}));

    EXPECT_EQ(dlg_->fieldText(300), "USB");
    const QString panel = wideText(info.panelSize) + " " + wideText(info.coverLens);
    EXPECT_EQ(dlg_->fieldText(302), panel);
    EXPECT_GT(panel.size(), 3);

    // The controller delivers frames, so the read-out chooses the Diagnostic page
    // (the Parameters page is not usable here).
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageDiagnostic);
    EXPECT_TRUE(control(403)->isEnabled());
    EXPECT_TRUE(control(405)->isEnabled());
    EXPECT_TRUE(control(406)->isEnabled());
    EXPECT_EQ(qobject_cast<QPushButton*>(control(402))->text(), "Reset Device");
    EXPECT_EQ(qobject_cast<QPushButton*>(control(420))->text(), "Open Short Test");
    EXPECT_TRUE(control(423)->isVisibleTo(dlg_.get()));
    qobject_cast<QPushButton*>(control(405))->click();
    EXPECT_EQ(qobject_cast<QPushButton*>(control(420))->text(), "Load Firmware");
    EXPECT_FALSE(control(423)->isVisibleTo(dlg_.get()));
}

TEST(VcxTestChecksum, TheTestsOwnChecksumGivesTheKnownAnswers) {
    std::ifstream f(QV_SOURCE_DIR "/tests/data/crc/vectors.txt");
    ASSERT_TRUE(f);
    const auto bytes = [](const std::string& hex) {
        std::vector<uint8_t> out;
        if (hex == "-") return out;
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    };
    int checked = 0;
    for (std::string line; std::getline(f, line);) {
        std::istringstream in(line);
        std::string kind, start, touch, boot, crc;
        int mode = 0;
        if (!(in >> kind) || kind != "P") continue;
        in >> mode >> start >> touch >> boot >> crc;
        SCOPED_TRACE(line.substr(0, 40));
        EXPECT_EQ(parameterChecksum(mode, uint16_t(std::stoul(start, nullptr, 16)), bytes(touch), bytes(boot)),
                  uint16_t(std::stoul(crc, nullptr, 16)));
        ++checked;
    }
    EXPECT_GE(checked, 40);
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
    // Nothing of the controller that went away stays program-wide.
    EXPECT_EQ(c().dev.featureFlags, (std::array<uint8_t, 8>{}));
    EXPECT_EQ(c().dev.bridgeFlags, (std::array<uint8_t, 8>{}));

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
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageDiagnostic);
}

// The slave rows come and go with the controller, and the window grows and
// shrinks by them alone: the size it had (here the user's, smaller than the
// layout) is what it has after every reconnect, unplug and replug, and the page
// area keeps the size its layout asks for.
TEST_F(VcxUtilityDlg, AReconnectLeavesTheWindowsSizeAlone) {
    ASSERT_TRUE(dlg_->fullLayout());
    const QSize size(700, 500);
    dlg_->resize(size);
    auto* pageArea = dlg_->page(vcx::kPageInformation)->parentWidget();
    const QSize area = pageArea->size();
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        qobject_cast<QPushButton*>(control(402))->click(); // Reset Device
        tick(3);
        tick(8);
        ASSERT_TRUE(deviceShown());
        EXPECT_EQ(dlg_->size(), size);
        ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
        tick(13, 3);
        ASSERT_FALSE(deviceShown());
        EXPECT_LT(dlg_->height(), size.height()); // the compact layout without the slave rows
        EXPECT_EQ(dlg_->width(), size.width());
        ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
        tick(12, 3);
        ASSERT_TRUE(deviceShown());
        EXPECT_EQ(dlg_->size(), size);
        EXPECT_EQ(pageArea->size(), area);
    }
}

TEST_F(VcxUtilityDlg, BusyPageLocksTheOtherPagesAndTheClose) {
    ASSERT_TRUE(control(406)->isEnabled());
    qobject_cast<QPushButton*>(control(408))->click(); // Information: its command buttons work
    ASSERT_TRUE(control(420)->isEnabled());
    // The Debug page (template 106) reports busy.
    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 1, 106);
    EXPECT_TRUE(dlg_->pageBusy());
    EXPECT_EQ(control(401)->isEnabled(), vcx::built::kDraw); // Draw keeps its state
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
    EXPECT_TRUE(control(403)->isEnabled()); // back to its own flag
    EXPECT_TRUE(folderConfigure->isEnabled());
    EXPECT_TRUE(control(420)->isEnabled());
}

TEST_F(VcxUtilityDlg, PagesEnableToolbarButtonsOnlyWithZeroOrOne) {
    qobject_cast<QPushButton*>(control(405))->click();
    ASSERT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
    using Flags = std::array<int, 4>;
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 0);
    EXPECT_EQ(dlg_->toolbarEnabled(), (Flags{1, 0, 1, 1}));
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 5);
    EXPECT_EQ(dlg_->toolbarEnabled(), (Flags{1, 0, 1, 1}));
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, 1);
    EXPECT_EQ(dlg_->toolbarEnabled(), (Flags{1, 1, 1, 1}));
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 421, -1);
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 424, 0);
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 419, 0);
    EXPECT_EQ(dlg_->toolbarEnabled(), (Flags{1, 1, 1, 1}));
    // The buttons follow the flags only once their work is built.
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 420, 0);
    EXPECT_FALSE(control(420)->isEnabled());
    qvui::sendMessage(dlg_.get(), qvui::WM_TOOLBAR_ACTION, 420, 1);
    EXPECT_EQ(control(420)->isEnabled(), vcx::built::kLoadFirmware);
}

TEST_F(VcxUtilityDlg, ControlsWhoseWorkIsNotBuiltAreDisabledAndSaySo) {
    const QString tip = qvui::loadString(vcx::IDS_NOT_BUILT_TIP);
    ASSERT_FALSE(tip.isEmpty());
    const QString chinese =
        qvui::StringTable::instance().text(vcx::IDS_NOT_BUILT_TIP, qvui::Language::SimplifiedChinese);
    EXPECT_FALSE(chinese.isEmpty());
    EXPECT_NE(chinese, qvui::StringTable::instance().text(vcx::IDS_NOT_BUILT_TIP, qvui::Language::English));

    struct Control {
        int page; // -1: the main window's own
        QWidget* (*find)(vcx::CVCXUtilityDlg&);
        bool built;
        const char* what;
    };
    const Control controls[] = {
        {-1, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, vcx::kIdDraw); }, vcx::built::kDraw, "Draw"},
        {vcx::kPageDiagnostic, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 421); },
         vcx::built::kNoiseLevel, "Noise Level"},
        {vcx::kPageDiagnostic, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 422); },
         vcx::built::kTessaly, "Tessaly"},
        {vcx::kPageDiagnostic, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 423); },
         vcx::built::kSystemReference, "System Reference"},
        {vcx::kPageFieldUpdate, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 420); },
         vcx::built::kLoadFirmware, "Load Firmware"},
        {vcx::kPageFieldUpdate, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 421); },
         vcx::built::kUpdate, "Update"},
        {vcx::kPageFieldUpdate, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 422); },
         vcx::built::kCombine, "Combine Firmware and Parameters"},
        {vcx::kPageProcessConfig, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 420); },
         vcx::built::kLoadProcessConfig, "Load Process\nConfig File"},
        {vcx::kPageProcessConfig, [](vcx::CVCXUtilityDlg& d) { return qvui::findControl(&d, 421); },
         vcx::built::kSaveProcessConfig, "Save Process\nConfig File"},
    };
    for (const Control& ctl : controls) {
        SCOPED_TRACE(ctl.what);
        if (ctl.page >= 0) dlg_->SelectPage(ctl.page, 2);
        QWidget* w = ctl.find(*dlg_);
        ASSERT_NE(w, nullptr);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), ctl.what);
        }
        EXPECT_TRUE(w->isVisibleTo(dlg_.get()));
        EXPECT_EQ(w->isEnabled(), ctl.built);
        if (!ctl.built) {
            EXPECT_EQ(w->toolTip(), tip);
        }
    }
    // "FW Command Log" has no work of its own to build: an ordinary box without that tip.
    QWidget* fwLog = qvui::findControl(dlg_->page(vcx::kPageInformation), 472);
    ASSERT_NE(fwLog, nullptr);
    EXPECT_TRUE(fwLog->isEnabled());
    EXPECT_TRUE(fwLog->toolTip().isEmpty());
    // The built command buttons of those pages keep their own tips.
    dlg_->SelectPage(vcx::kPageInformation, 2);
    EXPECT_TRUE(control(420)->isEnabled());
    EXPECT_NE(control(420)->toolTip(), tip);
    // Event Halt is there in engineer mode only, usable on a controller with the debug group.
    tick(5);
    dlg_->SelectPage(vcx::kPageDebug, 2);
    ASSERT_TRUE(control(423)->isVisibleTo(dlg_.get()));
    EXPECT_EQ(control(423)->isEnabled(), vcx::built::kEventHalt && c().records.debug.valid != 0);
    if (!vcx::built::kEventHalt) {
        EXPECT_EQ(control(423)->toolTip(), tip);
    }
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

// Unplug and replug, then Reset Device, then unplug and replug again: every
// change is followed, also after the reconnect marked itself done.
TEST_F(VcxUtilityDlg, ReplugAfterResetDeviceIsFollowed) {
    const auto unplugAndReplug = [&](const char* when) {
        SCOPED_TRACE(when);
        ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
        tick(13, 3);
        EXPECT_FALSE(deviceShown());
        EXPECT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
        ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
        tick(12, 3);
        EXPECT_TRUE(deviceShown());
        EXPECT_NE(c().dev.device, INVALID_HANDLE_VALUE);
        EXPECT_EQ(dlg_->devicePresence(), 1);
    };
    ASSERT_TRUE(deviceShown());
    unplugAndReplug("before the reset");

    qobject_cast<QPushButton*>(control(402))->click(); // Reset Device
    ASSERT_TRUE(dlg_->reconnectPending());
    tick(3);
    ASSERT_TRUE(deviceShown());
    ASSERT_EQ(dlg_->reconnectRetries(), vcx::DeviceConnection::kReconnected);
    tick(8);
    ASSERT_FALSE(dlg_->reconnectPending());

    unplugAndReplug("after the reset");
    unplugAndReplug("once more");
}

TEST_F(VcxUtilityDlg, NoControllerOnRefreshIsOneLineOnStderr) {
    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    tick(13, 3);
    ASSERT_EQ(c().dev.device, INVALID_HANDLE_VALUE);
    {
        StderrCapture err;
        qobject_cast<QPushButton*>(control(402))->click(); // Refresh: searches at once
        const QStringList lines = err.lines("VCXMSet:");
        ASSERT_EQ(lines.size(), 1) << lines.join(" | ").toStdString();
        EXPECT_TRUE(lines[0].startsWith("VCXMSet: no controller: ")) << lines[0].toStdString();
        EXPECT_GT(lines[0].size(), QString("VCXMSet: no controller: ").size());
    }
    tick(4);
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    tick(12, 3);
    ASSERT_TRUE(deviceShown());
    // A search that opens the controller says nothing.
    qobject_cast<QPushButton*>(control(402))->click(); // Reset Device
    StderrCapture err;
    tick(3);
    EXPECT_TRUE(deviceShown());
    EXPECT_TRUE(err.lines("VCXMSet:").isEmpty());
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

// Apply, Import and Reload Default end their busy state on the reconnect; when
// the controller never returns, the given-up reconnect ends it, so the program
// can be closed, and a reload asked for the next arrival stays asked.
TEST_F(VcxUtilityDlg, AGivenUpReconnectEndsTheParametersPageBusyState) {
    qvui::sendMessage(dlg_.get(), qvui::WM_PAGE_STATE, 2, 104);
    ASSERT_TRUE(dlg_->pageBusy());
    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    qvui::sendMessage(dlg_.get(), qvui::WM_DISCONNECT_DEVICE, 0, 0);
    ASSERT_TRUE(dlg_->reconnectPending());
    tick(3, 4);
    EXPECT_TRUE(dlg_->pageBusy());
    tick(3);
    EXPECT_FALSE(dlg_->reconnectPending());
    EXPECT_FALSE(dlg_->pageBusy());
    EXPECT_TRUE(dlg_->connection().reloadDefaultsOnArrival());
    EXPECT_TRUE(control(402)->isEnabled());
    // The arrival reloads the defaults and resets the controller, which is found again.
    ASSERT_EQ(simControl("plug /sim/hidraw0"), "ok");
    tick(13, 3);
    tick(12, 3);
    EXPECT_FALSE(dlg_->connection().reloadDefaultsOnArrival());
    EXPECT_TRUE(dlg_->reconnectPending());
    tick(3);
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

// The window comes back where it was closed, however often: what is saved is
// what the next start moves the window to.
TEST_F(VcxUtilityDlg, WindowReturnsToItsPlaceAcrossStarts) {
    const QPoint place(321, 234);
    dlg_->show();
    dlg_->move(place);
    QCoreApplication::processEvents();
    ASSERT_EQ(dlg_->pos(), place);
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(dlg_->ExitDlg());
        dlg_.reset();
        dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg_->initDialog());
        dlg_->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg_->pos(), place);
        EXPECT_EQ(vcx::appSettings().utyPos, (vcx::Point{place.x(), place.y()}));
    }
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

// The Debug page's parameter lock follows the page: another page releases it,
// and coming back to the page whose parameter list is on show takes it again.
TEST_F(VcxUtilityDlg, TheDebugPagesParameterLockFollowsThePage) {
    ASSERT_NE(c().dev.device, INVALID_HANDLE_VALUE);
    tick(5); // engineer mode
    dlg_->SelectPage(vcx::kPageDebug, 2);
    auto* debug = dynamic_cast<vcx::CQVDebugDlg*>(dlg_->page(vcx::kPageDebug));
    ASSERT_NE(debug, nullptr);
    // The lock commands the controller received since the last trace clear.
    auto locks = [&] {
        std::vector<std::string> out;
        for (const QString& cmd : simTrace("/sim/hidraw0"))
            if (cmd.startsWith(u"F6 00 9F 00 0")) out.push_back(cmd.toStdString());
        return out;
    };
    const std::string on = "F6 00 9F 00 01", off = "F6 00 9F 00 00";

    debug->SelectTool(1);
    EXPECT_TRUE(vcx::programState().parameterLockOn);
    ASSERT_EQ(simControl("trace clear /sim/hidraw0"), "ok");
    dlg_->SelectPage(vcx::kPageInformation, 2);
    EXPECT_FALSE(vcx::programState().parameterLockOn);
    EXPECT_EQ(locks(), std::vector<std::string>{off});

    ASSERT_EQ(simControl("trace clear /sim/hidraw0"), "ok");
    dlg_->SelectPage(vcx::kPageDebug, 2);
    EXPECT_TRUE(vcx::programState().parameterLockOn);
    EXPECT_EQ(locks(), std::vector<std::string>{on});

    // With another tool on show the page comes back without the lock.
    debug->SelectTool(0);
    dlg_->SelectPage(vcx::kPageInformation, 2);
    ASSERT_EQ(simControl("trace clear /sim/hidraw0"), "ok");
    dlg_->SelectPage(vcx::kPageDebug, 2);
    EXPECT_FALSE(vcx::programState().parameterLockOn);
    EXPECT_TRUE(locks().empty());
}

// A process configuration named on the command line: the production-line page
// stands in the page area with its own command buttons until a page button is
// pressed, and the file is not handed to the Field Update page.
TEST(VcxProcessView, ACommandLineProcessConfigurationShowsTheProductionLinePage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString config = dir.filePath("line.ini");
    {
        QFile f(config);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Process List Config]\nWork Order Number=WO7\nCompany=ACME\nPFP file name=pkg.pfp\n"
                "Report folder path=" + dir.path().toUtf8() + "\nProcess List=21\n");
    }
    std::vector<QString> boxes;
    qvui::MessageBoxResponder responder([&](const qvui::MessageBoxRequest& r) {
        boxes.push_back(r.text);
        return qvui::MessageAnswer::Ok;
    });
    const vcx::AppSettings before = vcx::appSettings();
    const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
    QFile::remove(env.systemStore);
    QFile::remove(env.userStore);
    vcx::startupState().fileArg = config;
    auto dlg = std::make_unique<vcx::CVCXUtilityDlg>();
    ASSERT_TRUE(dlg->initDialog()) << dlg->error().toStdString();
    EXPECT_TRUE(dlg->processView());
    EXPECT_TRUE(vcx::startupState().fileArg.isEmpty());
    EXPECT_FALSE(dlg->timers().isActive(vcx::kTimerFileArgument));
    EXPECT_TRUE(dlg->processDialog()->isVisibleTo(dlg.get()));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("ACME_WO7/ACME_WO7_ProcessListReport.csv")));
    const char* texts[4] = {"Menu", "Start\n( Hot Key : Space )", "Open Report Folder", "Load PFP File"};
    for (int i = 0; i < 4; ++i) {
        auto* b = qobject_cast<QPushButton*>(qvui::findControl(dlg.get(), 420 + i));
        EXPECT_EQ(b->text(), texts[i]);
        EXPECT_EQ(b->isEnabled(), i != 3) << i;  // Load PFP File stays off once a configuration is applied
    }
    qobject_cast<QPushButton*>(qvui::findControl(dlg.get(), 408))->click();
    EXPECT_FALSE(dlg->processView());
    EXPECT_FALSE(dlg->processDialog()->isVisibleTo(dlg.get()));
    EXPECT_EQ(qobject_cast<QPushButton*>(qvui::findControl(dlg.get(), 420))->text(), "Open Default Export File Folder");
    dlg.reset();
    EXPECT_TRUE(boxes.empty());
    vcx::appSettings() = before;
    vcx::ProcessReportFolderRoot().clear();
}
