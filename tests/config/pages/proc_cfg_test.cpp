// The Process Config page: the item list in clicking order, the checks of a
// save in their order, the results of a load, and its engineer controls.
#include "pages/proc_cfg_dlg.h"

#include "diag/gs_set_dlg.h"

#include "core/controller_api.h"
#include "core/process_items.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/strings.h"
#include "params/firmware_file.h"
#include "text/ini_file.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Page = vcx::CQVPrcoCfgDlg;

class ProcConfig : public ::testing::Test {
protected:
    void SetUp() override {
        vcx::addProgramStrings();
        ASSERT_TRUE(dir_.isValid());
        saved_ = vcx::programState();
        vcx::programState().toolPaths[vcx::kProcCfgFolder] = dir_.path();
        vcx::ProcessReportFolderRoot() = dir_.path();
        boxes_ = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            shown_.push_back({r.text, r.caption});
            return qvui::MessageAnswer::Ok;
        });
        page_ = std::make_unique<Page>(c_, fw_, nullptr);
        page_->show();
    }
    void TearDown() override {
        page_.reset();
        vcx::programState() = saved_;
        vcx::ProcessReportFolderRoot().clear();
    }
    void click(int id) { qvui::findControl<QAbstractButton>(page_.get(), id)->click(); }
    std::vector<QString> rows() const {
        auto* t = qvui::findControl<QTableWidget>(page_.get(), Page::kIdList);
        std::vector<QString> out;
        for (int r = 0; r < t->rowCount(); ++r) out.push_back(t->item(r, 0)->text());
        return out;
    }
    void toolbar(int action) { qvui::sendMessage(page_.get(), qvui::WM_TOOLBAR_ACTION, 0, action); }
    void loadPackage() {
        fw_.szFirmwarePath = dir_.filePath("pkg.pfp");
        fw_.LoadedFirmware[0].versionText = "2105A.2.05";
        fw_.PfpPara.crc = 0xBEEF;
        page_->ShowConfigPackageInfo();
    }

    struct Box {
        QString text, caption;
        bool operator==(const Box&) const = default;
    };
    QTemporaryDir dir_;
    vcx::Controller c_;
    vcx::LoadedFirmware fw_;
    vcx::ProgramState saved_;
    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    std::vector<Box> shown_;
    std::unique_ptr<Page> page_;
};

TEST_F(ProcConfig, TheListKeepsTheClickingOrderAndClosesGaps) {
    struct Case {
        std::vector<int> clicks;  // item numbers
        std::array<uint8_t, 10> list;
    };
    const Case cases[] = {
        {{3, 1, 6}, {3, 1, 6}},
        {{1, 2, 3, 2}, {1, 3}},
        {{1, 2, 3, 1}, {2, 3}},
        {{4, 4}, {}},
        {{7, 6, 5, 4, 3, 2, 1, 7}, {6, 5, 4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        page_ = std::make_unique<Page>(c_, fw_, nullptr);
        page_->initDialog();
        for (int item : c.clicks) click(Page::kIdFirstItem + item - 1);
        EXPECT_EQ(page_->record().processList, c.list);
        std::vector<QString> names;
        for (uint8_t item : c.list)
            if (item) names.push_back(QLatin1String(vcx::ProcessItemName(item)));
        EXPECT_EQ(rows(), names);
    }
}

TEST_F(ProcConfig, SaveChecksInOrderAndTakesTheFlagsFromTheControls) {
    const QString caption = "Save Configure Failed";
    toolbar(1);
    EXPECT_EQ(shown_, (std::vector<Box>{{"Please select Process List Item.", caption}}));
    EXPECT_EQ(page_->focusWidget(), qvui::findControl(page_.get(), Page::kIdFirstItem));

    click(Page::kIdFirstItem + 1);
    // No package: asked for before the work order is looked at.
    toolbar(1);
    EXPECT_EQ(shown_.back(), (Box{"Please select PFP file.", caption}));
    loadPackage();
    EXPECT_EQ(vcx::GetDlgItemText(page_.get(), Page::kIdParaCrc), "xBEEF");

    auto* workOrder = qvui::findControl<QLineEdit>(page_.get(), Page::kIdWorkOrder);
    auto* company = qvui::findControl<QLineEdit>(page_.get(), Page::kIdCompany);
    struct Step {
        QString workOrder, company, message;
        int focus;
    };
    const Step steps[] = {
        {"", "", "Please input work order number.", Page::kIdWorkOrder},
        {"WO7", "", "Please input company.", Page::kIdCompany},
        {"../WO7", "ACME", "Please input work order number.", Page::kIdWorkOrder},
        {"WO7", "A\\B", "Please input company.", Page::kIdCompany},
    };
    for (const Step& s : steps) {
        workOrder->setText(s.workOrder);
        company->setText(s.company);
        toolbar(1);
        EXPECT_EQ(shown_.back(), (Box{s.message, caption}));
        EXPECT_EQ(page_->focusWidget(), qvui::findControl(page_.get(), s.focus)) << s.message.toStdString();
    }
    const size_t refusals = shown_.size();

    // Batch numbers with a second one, then back to serial numbers: the second
    // batch box keeps its tick but no longer counts.
    workOrder->setText("WO7");
    company->setText("ACME");
    click(Page::kIdBatch);
    click(Page::kIdBatch2);
    click(Page::kIdSerial);
    EXPECT_FALSE(qvui::findControl(page_.get(), Page::kIdBatch2)->isEnabled());
    EXPECT_TRUE(qvui::findControl<QCheckBox>(page_.get(), Page::kIdBatch2)->isChecked());
    click(Page::kIdLowerAccuracy);
    const QString saved = dir_.filePath("line.ini");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return saved; });
    toolbar(1);
    EXPECT_EQ(shown_.size(), refusals);
    const QString section = QLatin1String(vcx::kProcessSection);
    EXPECT_EQ(qvui::IniFile::readString(saved, section, "Process List Flag"), "4");
    EXPECT_EQ(qvui::IniFile::readString(saved, section, "Process List"), "2");
    EXPECT_EQ(qvui::IniFile::readString(saved, section, "PFP file name"), "pkg.pfp");
    EXPECT_EQ(qvui::IniFile::readString(saved, section, "Report folder path"), dir_.path());

    click(Page::kIdBatch);
    toolbar(1);
    EXPECT_EQ(qvui::IniFile::readString(saved, section, "Process List Flag"), "7");
}

TEST_F(ProcConfig, LoadResultsAndWhatALoadLeavesAlone) {
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir_.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QByteArray good = "[Process List Config]\nWork Order Number=WO7\nCompany=ACME\nPFP file name=none.pfp\n"
                            "Report folder path=" + dir_.path().toUtf8() + "\nProcess List=73\nProcess List Flag=7\n";
    const QString valid = write("good.ini", good);
    const QString invalid = write("bad.ini", "[Process List Config]\nProcess List=0\n");
    QString chosen;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return chosen; });

    click(Page::kIdFirstItem);  // a box ticked before the load stays ticked
    chosen = valid;
    toolbar(0);
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(rows(), (std::vector<QString>{"Build System Reference", "Diagnostic Test"}));
    EXPECT_TRUE(qvui::findControl<QCheckBox>(page_.get(), Page::kIdFirstItem)->isChecked());
    EXPECT_FALSE(qvui::findControl<QCheckBox>(page_.get(), Page::kIdFirstItem + 2)->isChecked());
    EXPECT_TRUE(qvui::findControl<QRadioButton>(page_.get(), Page::kIdBatch)->isChecked());
    EXPECT_TRUE(qvui::findControl<QCheckBox>(page_.get(), Page::kIdBatch2)->isChecked());
    EXPECT_TRUE(qvui::findControl<QCheckBox>(page_.get(), Page::kIdLowerAccuracy)->isChecked());
    EXPECT_EQ(vcx::GetDlgItemText(page_.get(), Page::kIdWorkOrder), "WO7");

    chosen = invalid;
    toolbar(0);
    EXPECT_EQ(shown_.back(), (Box{"Configure file not valid.", "Load Configure Failed"}));
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(vcx::GetDlgItemText(page_.get(), Page::kIdWorkOrder), "");

    // With a controller open the package must be found.
    c_.dev.device = reinterpret_cast<HANDLE>(intptr_t(0x42));
    chosen = valid;
    toolbar(0);
    c_.dev.device = INVALID_HANDLE_VALUE;
    EXPECT_EQ(shown_.back(), (Box{"PFP file path in Configure file not found.", "Load Configure Failed"}));

    const size_t before = shown_.size();
    chosen.clear();  // cancelled
    toolbar(0);
    EXPECT_EQ(shown_.size(), before);
}

TEST_F(ProcConfig, DiagnosticItemAndGoldenSampleOnlyInEngineerMode) {
    for (bool engineer : {false, true, false}) {
        vcx::programState().engineerMode = engineer;
        vcx::programHooks().engineerModeChanged();
        EXPECT_EQ(qvui::findControl(page_.get(), Page::kIdFirstItem + 6)->isVisible(), engineer);
        EXPECT_EQ(qvui::findControl(page_.get(), Page::kIdGoldenSample)->isVisible(), engineer);
    }
    vcx::programState().engineerMode = true;
    vcx::programHooks().engineerModeChanged();
    page_->UpdateDlgItem();
    click(Page::kIdGoldenSample);
    QWidget* golden = page_->goldenSampleView();
    EXPECT_TRUE(golden->isVisible());
    page_->ClearDlgItem();
    EXPECT_FALSE(qvui::findControl(page_.get(), Page::kIdGoldenSample)->isEnabled());
    EXPECT_FALSE(golden->isVisible());
}

}  // namespace
