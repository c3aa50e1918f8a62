// A Field Update whose controller is unplugged while the page waits for it to
// come back from its loader: the main window keeps the removal for the end of
// the update, the page ends with its failure text once its reconnect tries are
// used up, and that result stays in view while no controller is there.
#include "shell/utility_dlg.h"

#include "firmware_writer_support.h"
#include "params/firmware_file.h"
#include "update/update_dlg.h"
#include "core/main_ids.h"
#include "ui/control_ids.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "vcx_support.h"
#include "window_timers_support.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class UpdateView : public ::testing::Test {
protected:
    void TearDown() override {
        // The bench is the test program's: the controller back, without a loader.
        if (unplugged_) {
            EXPECT_EQ(simControl("plug /sim/hidraw0"), "ok");
        }
        EXPECT_EQ(simControl("set /sim/hidraw0 bootLoader off"), "ok");
        EXPECT_EQ(simControl("set /sim/hidraw0 d2Reply 0 0 0 0"), "ok");
        vcx::ClearFirmwareFileData(vcx::loadedFirmware(), true);
        vcx::loadedFirmware().szFirmwarePath.clear();
        dlg_.reset();
    }
    void mainTick(int timer, int times = 1) {
        for (int i = 0; i < times; ++i) qvui::sendMessage(dlg_.get(), qvui::WM_TIMER, quint64(timer), 0);
    }
    void pageTick(vcx::CQVUpdateDlg* page, int timer) { qvui::sendMessage(page, qvui::WM_TIMER, quint64(timer), 0); }

    std::unique_ptr<vcx::CVCXUtilityDlg> dlg_;
    QTemporaryDir dir_;
    bool unplugged_ = false;
};

TEST_F(UpdateView, AControllerGoneDuringTheReconnectEndsInTheFailureTextThatStaysInView) {
    dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
    ASSERT_TRUE(dlg_->initDialog()) << dlg_->error().toStdString();
    // The test controller with a boot loader that takes blocks of 256 bytes.
    ASSERT_EQ(simControl("set /sim/hidraw0 bootLoader new"), "ok");
    ASSERT_EQ(simControl("set /sim/hidraw0 d2Reply 0 1 0 0"), "ok");
    ASSERT_FALSE(dlg_->fieldText(308).isEmpty());
    qobject_cast<QPushButton*>(qvui::findControl(dlg_.get(), 405))->click();
    ASSERT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
    auto* page = qobject_cast<vcx::CQVUpdateDlg*>(dlg_->page(vcx::kPageFieldUpdate));
    ASSERT_NE(page, nullptr);

    // Another minor version of the controller's firmware (2081 A, 2.5).
    fwtest::Image im;
    im.product = 2081;
    im.letter = 1;
    im.major = 2;
    im.minor = 6;
    im.data = fwtest::Bytes(600, 0x3C);
    const QString path = dir_.filePath(QStringLiteral("image.qvf"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const fwtest::Bytes bytes = fwtest::image(im);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    f.close();
    vcx::loadedFirmware().szFirmwarePath = path;

    // Update: the blocks, then the wait for the controller to come back.
    pageTick(page, 13);
    for (int i = 0; i < 100 && page->UpdateBusy() && !page->timers()->isActive(2); ++i) {
        int ms = 0;
        const int next = qvtest::SoonestTimer(*page->timers(), 31, &ms);
        ASSERT_GT(next, 0);
        pageTick(page, next);
    }
    ASSERT_TRUE(page->UpdateBusy()) << page->resultText().toStdString();
    ASSERT_TRUE(page->timers()->isActive(2));

    // Unplugged now and not plugged in again: the main window leaves it to the update.
    ASSERT_EQ(simControl("unplug /sim/hidraw0"), "ok");
    unplugged_ = true;
    mainTick(vcx::kTimerRemoval, 3);
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);

    // Ten tries, and the page says at once why the update failed.
    for (int i = 0; i < 10 && page->UpdateBusy(); ++i) pageTick(page, 2);
    EXPECT_FALSE(page->UpdateBusy());
    EXPECT_EQ(page->resultText(), qvui::loadString(1333));
    EXPECT_TRUE(page->resultShown());
    EXPECT_FALSE(page->resultSuccess());

    // The main window reads the device again: nothing there, and the result stays in view.
    mainTick(vcx::kTimerReread);
    EXPECT_TRUE(dlg_->fieldText(308).isEmpty());
    EXPECT_EQ(dlg_->currentPage(), vcx::kPageFieldUpdate);
    EXPECT_FALSE(page->isHidden());
    EXPECT_EQ(page->resultText(), qvui::loadString(1333));
    EXPECT_TRUE(page->resultShown());
}

}  // namespace
