// VCXMSet over the linux backend that real users run: the library loaded by
// the program finds an emulated controller through sysfs and hidraw, the main
// window shows its read-out, and an unplug and a replug sent as uevents reach
// the window through the library's udev monitor, which clears and restores it.
#include "emulated_bed_support.h"
#include "qt_support.h"
#include "core/controller_api.h"
#include "core/main_ids.h"
#include "shell/utility_dlg.h"

#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QCoreApplication>

#include <dlfcn.h>

namespace qvmock {
namespace {

// The controller of the built-in "demo" profile (a current-series QV2081A with
// two slave ICs, panel and cover-lens tables), kept alive by its bench.
std::shared_ptr<qvsim::Controller> DemoController() {
    std::string error;
    std::shared_ptr<qvsim::Bench> bench = qvsim::loadProfile("demo", &error);
    if (!bench || bench->hidDevices().empty()) return nullptr;
    return std::shared_ptr<qvsim::Controller>(bench, &bench->hidDevices().front()->controller());
}

class MockVcxReadout : public ::testing::Test {
protected:
    void SetUp() override {
        bed = std::make_unique<Testbed>();
        QV_REQUIRE_TESTBED(*bed);
        boxes = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            shownBoxes.push_back(r.text.toStdString());
            return qvui::MessageAnswer::Ok;
        });
        Interface itf;
        itf.usb.productId = 0x3501;
        itf.usb.serial = "QV35010001";
        itf.controller = DemoController();
        ASSERT_NE(itf.controller, nullptr);
        node = bed->add(itf);

        // The library the program loads is the one beside this test program,
        // built with the virtual clock switch; loaded first here to throw it.
        const QByteArray path = (QCoreApplication::applicationDirPath() + "/libQV_Standard.so").toLocal8Bit();
        library = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto useVirtualClock = reinterpret_cast<void (*)()>(dlsym(library, "QVMockUseVirtualClock"));
        ASSERT_NE(useVirtualClock, nullptr);
        useVirtualClock();
        dlg = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg->initDialog()) << dlg->error().toStdString();
    }
    void TearDown() override {
        if (dlg) dlg->ExitDlg();
        dlg.reset();
        EXPECT_TRUE(shownBoxes.empty()) << shownBoxes.front();
        boxes.reset();
        if (library) dlclose(library);
        bed.reset();
    }

    void tick(int timer, int times) {
        for (int i = 0; i < times; ++i) qvui::sendMessage(dlg.get(), qvui::WM_TIMER, quint64(timer), 0);
    }
    QString version() const { return dlg->fieldText(vcx::kIdMasterVersion); }

    std::unique_ptr<Testbed> bed;
    std::string node;
    void* library = nullptr;
    std::unique_ptr<qvui::MessageBoxResponder> boxes;
    std::vector<std::string> shownBoxes;
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg;
};

TEST_F(MockVcxReadout, ReadOutFollowsUnplugAndReplugThroughTheUdevMonitor) {
    EXPECT_EQ(version().toStdString(), "QV2081A.2.5.3.1");
    EXPECT_EQ(dlg->fieldText(vcx::kIdFirstSlaveVersion + 1).toStdString(), "QV2081AS.2.5.3.1   Boot : 1.2 A");
    EXPECT_EQ(dlg->fieldText(vcx::kIdHostInterface).toStdString(), "USB");
    EXPECT_EQ(dlg->fieldText(vcx::kIdPanelInformation).toStdString(), "G156HAN  15.6\" (W) 1.1 mm Glass");
    const HANDLE shown = vcx::controller().dev.device;
    HANDLE opened = INVALID_HANDLE_VALUE;
    auto openDevice = reinterpret_cast<int (*)(const char*, HANDLE*)>(dlsym(library, "OpenDeviceA"));
    ASSERT_NE(openDevice, nullptr);
    ASSERT_EQ(openDevice(node.c_str(), &opened), 1);
    EXPECT_EQ(opened, shown);  // the window's controller is the emulated node

    // Unplugged: the kernel's remove events (node, then its USB device) while
    // sysfs still holds them, then the device goes.
    bed->uevent(node, "remove", Level::Hidraw);
    bed->uevent(node, "remove", Level::UsbDevice);
    bed->vanish(node);
    // Device changes come on the udev monitor's thread; the window gets them
    // through its event loop, which runs here until the countdown starts.
    ASSERT_TRUE(processUntil([&] { return dlg->removalCountdown() > 0; })) << "no removal reached the window";
    tick(vcx::kTimerRemoval, 3);
    EXPECT_TRUE(version().isEmpty());
    EXPECT_EQ(vcx::controller().dev.device, INVALID_HANDLE_VALUE);

    // Plugged back in: umockdev announces the devices it adds, parent first.
    bed->readd(node);
    ASSERT_TRUE(processUntil([&] { return dlg->arrivalCountdown() > 0; })) << "no arrival reached the window";
    tick(vcx::kTimerArrival, 3);
    EXPECT_EQ(version().toStdString(), "QV2081A.2.5.3.1");
    EXPECT_EQ(dlg->fieldText(vcx::kIdPanelInformation).toStdString(), "G156HAN  15.6\" (W) 1.1 mm Glass");
    EXPECT_NE(vcx::controller().dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(dlg->devicePresence(), 1);
}

}  // namespace
}  // namespace qvmock
