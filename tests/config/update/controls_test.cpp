// The page's controls: what a loaded file shows (316, 317, 363, 364), the
// factory-default boxes (470..472) and the main window's buttons 421 and 422
// as the page asks for them.

#include "update_support.h"

#include "ui/control_ids.h"
#include "ui/string_table.h"

#include <QCheckBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

using updatetest::UpdatePage;

class UpdateControls : public UpdatePage {
protected:
    QLabel* label(int id) { return qvui::findControl<QLabel>(page.get(), id); }
    QCheckBox* box(int id) { return qvui::findControl<QCheckBox>(page.get(), id); }
    // The last enable the page asked of main button id; -1 when it asked none.
    int mainButton(int id) {
        int last = -1;
        for (const auto& m : sink.messages)
            if (m.message == qvui::WM_TOOLBAR_ACTION && m.wParam == quint64(id)) last = int(m.lParam);
        return last;
    }
};

TEST_F(UpdateControls, APackageShowsItsVersionAndCrcs) {
    ASSERT_TRUE(start());
    fwtest::Package pkg;
    pkg.images = {updatetest::NewImage()};
    pkg.vkey = fwtest::vkeyTable(1);
    const fwtest::Bytes bytes = fwtest::package(pkg);
    useFile(bytes, "p.pfp");
    ASSERT_TRUE(page->LoadFirmware(false));
    EXPECT_EQ(label(vcx::CQVUpdateDlg::kIdFile)->text(), QStringLiteral("Quorvane Firmware File : 2081A.D03.2.6.1"));
    EXPECT_TRUE(label(vcx::CQVUpdateDlg::kIdFile2)->isHidden());
    EXPECT_FALSE(label(vcx::CQVUpdateDlg::kIdParaCrc)->isHidden());
    EXPECT_EQ(label(vcx::CQVUpdateDlg::kIdParaCrc)->text(),
              QStringLiteral("Parameters CRC in File : x") +
                  QStringLiteral("%1").arg(fw.PfpPara.crc, 4, 16, QLatin1Char('0')).toUpper());
    EXPECT_FALSE(label(vcx::CQVUpdateDlg::kIdKeyCrc)->isHidden());
    EXPECT_TRUE(label(vcx::CQVUpdateDlg::kIdKeyCrc)->text().startsWith(QStringLiteral("Virtual Key  CRC in File : x")));
    // A package brings its parameters: no factory defaults.
    EXPECT_FALSE(box(vcx::CQVUpdateDlg::kIdFactory)->isEnabled());
    EXPECT_EQ(mainButton(421), 1);
    EXPECT_EQ(mainButton(422), 1);
}

TEST_F(UpdateControls, APlainImageLeavesTheFactoryDefaultsAndABadFileSaysSo) {
    ASSERT_TRUE(start());
    useFile(fwtest::image(updatetest::NewImage()));
    ASSERT_TRUE(page->LoadFirmware(false));
    EXPECT_TRUE(label(vcx::CQVUpdateDlg::kIdParaCrc)->isHidden());
    EXPECT_TRUE(box(vcx::CQVUpdateDlg::kIdFactory)->isEnabled());
    EXPECT_FALSE(box(vcx::CQVUpdateDlg::kIdHostPanel)->isEnabled());
    // 470 clicked: 471 and 472 follow it, Update stays usable.
    box(vcx::CQVUpdateDlg::kIdFactory)->click();
    EXPECT_TRUE(box(vcx::CQVUpdateDlg::kIdHostPanel)->isEnabled());
    EXPECT_TRUE(box(vcx::CQVUpdateDlg::kIdVirtualKeys)->isEnabled());
    EXPECT_EQ(mainButton(421), 1);

    useFile(fwtest::Bytes(40, 0x00), "bad.qvf");
    EXPECT_FALSE(page->LoadFirmware(false));
    EXPECT_EQ(label(vcx::CQVUpdateDlg::kIdFile)->text(), qvui::loadString(1363));
    EXPECT_EQ(mainButton(422), 0);
    // 470 still checked: Update writes the factory defaults.
    box(vcx::CQVUpdateDlg::kIdFactory)->click();
    EXPECT_EQ(mainButton(421), 0);
}

}  // namespace

#include "ui/file_chooser.h"
#include "ui/window_message.h"

namespace {

TEST_F(UpdateControls, LoadFirmwareFromTheDialogSaysWhenTheFileIsNoFirmware) {
    ASSERT_TRUE(start());
    useFile(fwtest::Bytes(40, 0x00), "bad.qvf");
    const QString bad = fw.szFirmwarePath;
    fw.szFirmwarePath.clear();
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return bad; });
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);  // Load Firmware
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, QStringLiteral("Invalid Firmware File Format."));
    EXPECT_EQ(boxes.asked[0].caption, boxes.asked[0].text);
    // A good file from the dialog: shown, and its customer code checks 471 with 470.
    useFile(fwtest::image(updatetest::NewImage()), "good.qvf");
    const QString good = fw.szFirmwarePath;
    fw.szFirmwarePath.clear();
    qvui::FileChooserResponder chooser2([&](const qvui::FileChooserRequest&) { return good; });
    qvui::sendMessage(page.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);
    EXPECT_EQ(boxes.asked.size(), 1u);
    EXPECT_TRUE(box(vcx::CQVUpdateDlg::kIdFactory)->isChecked());
    EXPECT_TRUE(box(vcx::CQVUpdateDlg::kIdHostPanel)->isChecked());
}

}  // namespace
