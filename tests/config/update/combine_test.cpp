// Package building from the Field Update page: the main window's button 422
// reaches the page as WM_TOOLBAR_ACTION (0, 2), which writes a package of the
// loaded image, the controller's parameters and its virtual keys; the page
// shows the result and the package programs back as it was read.

#include "update_support.h"

#include "format/firmware_format.h"
#include "core/device_readout.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/string_table.h"
#include "ui/window_message.h"

#include <QDir>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

class UpdateCombine : public UpdatePage {
protected:
    // The controller's own firmware (QV2081A.D03.2.5.3.1) as a plain image.
    static fwtest::Image Running() {
        fwtest::Image im = updatetest::NewImage(200);
        im.minor = 5;
        im.customer = 3;
        im.build1 = 3;
        im.build2 = 1;
        return im;
    }
    // The last enable state the page sent for a main button (-1: none).
    int button(int id) {
        int state = -1;
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_TOOLBAR_ACTION && int(m.wParam) == id) state = int(m.lParam);
        return state;
    }
    // The page's package of the running image, in out/; its path.
    QString combine() {
        const QString out = dir.filePath(QStringLiteral("out"));
        QDir().mkpath(out);
        qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return out; });
        EXPECT_TRUE(vcx::ReadDevice(c, vcx::programState(), false).complete);
        useFile(fwtest::image(Running()));
        EXPECT_TRUE(page->LoadFirmware(false));
        EXPECT_EQ(button(422), 1);
        qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 2);
        const QStringList files = QDir(out).entryList(QDir::Files);
        EXPECT_EQ(files.size(), 1) << files.join(u' ').toStdString();
        return files.isEmpty() ? QString() : QDir(out).filePath(files.front());
    }
};

TEST_F(UpdateCombine, Button422WritesAPackageOfTheImageParametersAndKeys) {
    ASSERT_TRUE(start("full"));
    // Before a file is loaded the page keeps the button off.
    EXPECT_EQ(button(422), 0);
    const QString path = combine();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(1361));
    EXPECT_TRUE(boxes.asked.empty()) << (boxes.asked.empty() ? "" : boxes.asked[0].text.toStdString());
    // The program's reader takes it: PARA with the controller's CRC, VKEY with its table.
    fw.szFirmwarePath = path;
    ASSERT_TRUE(page->LoadFirmware(false));
    uint16_t controllerCrc = 0;
    ASSERT_EQ(GetParameterCRC(c.dev.device, &controllerCrc), 1);
    EXPECT_EQ(fw.PfpPara.crc, controllerCrc);
    const auto& keys = dev().profile().vbuttons;
    EXPECT_EQ(fw.PfpVKey.usedCount, keys.size());
    for (size_t e = 0; e < keys.size(); ++e)
        EXPECT_TRUE(std::equal(keys[e].begin(), keys[e].end(), fw.PfpVKey.entry[e])) << e;
}

// The same package on the controller with a loader: its firmware already runs,
// so the update skips programming, writes the parameters and the keys and
// finds both as the package has them.
TEST_F(UpdateCombine, ThePackageBuiltOnThePageUpdatesBackToItself) {
    ASSERT_TRUE(start("update"));
    const QString path = combine();
    ASSERT_FALSE(path.isEmpty());
    fw.szFirmwarePath = path;
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    EXPECT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_EQ(page->resultText(), qvui::loadString(1360));
    for (const auto& t : dev().trace()) EXPECT_NE(t.packet[0], 0xD0) << "no block is written";
}

}  // namespace

namespace {

// The picture and the bar belong to the last operation: a combine after a
// failed update shows neither the update's picture nor its bar, and a package
// update with nothing to program ends with its bar full beside SUCCESS.
TEST_F(UpdateCombine, ThePictureAndTheBarShowTheLastOperation) {
    ASSERT_TRUE(start("update"));
    auto* bar = qvui::findControl<QProgressBar>(page.get(), vcx::CQVUpdateDlg::kIdProgress);
    ASSERT_NE(bar, nullptr);
    dev().refuse(0xF0);  // scanning cannot be stopped: the update fails before the loader
    useFile(fwtest::image(updatetest::NewImage()));
    page->timers()->start(13, 10);
    drive();
    ASSERT_TRUE(page->resultShown());
    ASSERT_FALSE(page->resultSuccess());
    dev().clearFaults();

    const QString path = combine();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(1361));
    EXPECT_FALSE(page->resultShown()) << "the failed update's picture beside the combine's text";
    EXPECT_EQ(bar->value(), bar->minimum());

    fw.szFirmwarePath = path;
    page->timers()->start(13, 10);
    drive();
    ASSERT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    EXPECT_TRUE(page->resultShown());
    EXPECT_EQ(bar->value(), bar->maximum()) << "SUCCESS beside an empty bar";
}

}  // namespace
