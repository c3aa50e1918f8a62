// Apply after an edit on each tab page: exactly the items the edit changed are
// written, through the sheet, on the full controller.
#include "params/para_dlg.h"
#include "params/para_pages.h"
#include "params_page_support.h"
#include "core/app_settings.h"
#include "core/device_readout.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using paramtest::Boxes;
using paramtest::MainWindowSink;
using paramtest::ParamBench;

class TabApply : public ParamBench {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        vcx::programState().engineerMode = true;  // Apply asks nothing
        vcx::appSettings().paraIdx = 0;
        vcx::CalibrationPending() = false;
    }
    void TearDown() override {
        sheet.reset();
        vcx::programState().engineerMode = false;
        ParamBench::TearDown();
    }
    void openSheet() {
        ASSERT_TRUE(open("full"));
        vcx::ReadDevice(c, vcx::programState(), false);
        ASSERT_TRUE(c.dev.parametersRead);
        sheet = std::make_unique<vcx::CQVParaDlg>(c, nullptr);
        sheet->setMainWindow(&mainWindow);
        sheet->UpdateDlgItem();
        ctl().clearTrace();
    }
    // The item writes of the last Apply ("F6 gg 8n ..").
    std::vector<std::string> itemWrites() {
        std::vector<std::string> out;
        for (const std::string& s : sent())
            if (s.size() >= 8 && s.rfind("F6 ", 0) == 0 && s[6] == '8' && s.rfind("F6 00", 0) != 0) out.push_back(s);
        return out;
    }
    MainWindowSink mainWindow;
    std::unique_ptr<vcx::CQVParaDlg> sheet;
};

TEST_F(TabApply, EachTabPageWritesExactlyItsEdits) {
    struct Case {
        int page;
        const char* what;
        std::function<void(QWidget*)> edit;
        std::vector<std::string> writes;
    };
    const Case cases[] = {
        {180, "interface RS232",
         [](QWidget* p) {
             Boxes boxes;
             QTest::mouseClick(qvui::findControl(p, 470), Qt::LeftButton);
             qvui::findControl<QRadioButton>(p, 462)->click();
         },
         {"F6 01 80 00 01"}},
        {161, "skip sensors 4 of 28",
         [this](QWidget* p) {
             // The full controller's minimum used count is its total (28): allow 12.
             c.records.panel.geometry[4] = 12;
             qvui::findControl<QLineEdit>(p, 520)->setText("4");
         },
         {"F6 02 82 00 04", "F6 02 84 00 18"}},
        {183, "water performance",
         [](QWidget* p) { static_cast<vcx::CQVOldWaterDlg*>(p)->clickMode(2); },
         {"F6 06 80 00 11"}},
        {169, "low-pass 12, median full",
         [](QWidget* p) {
             static_cast<vcx::CQVxF6NoiseDlg*>(p)->sliderEnded(12);
             qvui::findControl<QRadioButton>(p, 462)->click();
         },
         {"F6 07 80 00 0C", "F6 17 80 00 02"}},
        {182, "nothing", [](QWidget*) {}, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        openSheet();
        k.edit(sheet->page(k.page));
        EXPECT_EQ(sheet->ApplyParameters(), vcx::kWriteFlushed);
        EXPECT_EQ(itemWrites(), k.writes);
        sheet.reset();
    }
}

}  // namespace
