// A firmware file given on the command line that is no firmware file: the same
// message as the file dialog's in an interactive run; in an unattended one the
// run ends with a status of its own instead of a box nobody answers.
#include "update_support.h"

#include "core/main_ids.h"
#include "ui/window_message.h"

#include <gtest/gtest.h>

namespace {

class CommandLineFile : public updatetest::UpdatePage {
protected:
    void SetUp() override {
        saved_ = vcx::startupState();
        ASSERT_TRUE(start());
        const QString path = dir.filePath("garbage.pfp");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is no firmware file at all, only text\n");
        f.close();
        garbage_ = path;
    }
    void TearDown() override {
        vcx::startupState() = saved_;
        UpdatePage::TearDown();
    }
    bool exitAsked() const {
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_TIMER && m.wParam == quint64(vcx::kTimerExit)) return true;
        return false;
    }

    vcx::StartupState saved_;
    QString garbage_;
};

TEST_F(CommandLineFile, AnInteractiveRunSaysTheFileIsNoFirmwareFile) {
    page->StartFromCommandLine(garbage_);
    drive();
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Invalid Firmware File Format."});
    ASSERT_FALSE(boxes.asked.empty());
    EXPECT_EQ(boxes.asked[0].caption, "Invalid Firmware File Format.");
    EXPECT_EQ(boxes.asked[0].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(vcx::startupState().exitStatus, 0);
    EXPECT_FALSE(exitAsked());
}

TEST_F(CommandLineFile, AnUnattendedRunEndsWithItsOwnStatus) {
    vcx::startupState().options.silentMode = true;
    vcx::startupState().options.optS = true;
    page->StartFromCommandLine(garbage_);
    drive();
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(vcx::startupState().exitStatus, vcx::kExitBadFirmwareFile);
    EXPECT_TRUE(exitAsked());
    // A file that cannot be read at all ends the same way.
    vcx::startupState().exitStatus = 0;
    page->StartFromCommandLine(dir.filePath("missing.pfp"));
    drive();
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(vcx::startupState().exitStatus, vcx::kExitBadFirmwareFile);
}

}  // namespace
