// The production-line page on the simulated diag panel: a run's numbering and
// folders, the items it asks the main window for, its detail report and its
// summary row, and the runs that end before any item.
#include "pages/proc_dlg.h"

#include "diag_support.h"
#include "core/app_settings.h"
#include "core/device_text.h"
#include "core/process_items.h"
#include "diag/diag_state.h"
#include "diag/log_dlg.h"
#include "diag/scan_dlg.h"
#include "pages/proc_cfg_dlg.h"
#include "params/firmware_file.h"
#include "firmware_writer_support.h"
#include "text/ini_file.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/popup_menu.h"
#include "ui/window_message.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

struct Message {
    quint32 message;
    quint64 wParam;
    qint64 lParam;
    bool operator==(const Message&) const = default;
};

// The main window's side: what the page asks of it.
class MainWindow : public QObject {
public:
    std::vector<Message> steps, states, toolbar;

protected:
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e)) {
            if (m->message() == qvui::WM_PROCESS_STEP) steps.push_back({m->message(), m->wParam(), m->lParam()});
            if (m->message() == qvui::WM_PAGE_STATE) states.push_back({m->message(), m->wParam(), m->lParam()});
            if (m->message() == qvui::WM_TOOLBAR_ACTION) toolbar.push_back({m->message(), m->wParam(), m->lParam()});
            return true;
        }
        return QObject::event(e);
    }
};

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class ProcRun : public diagtest::DiagBench {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        savedSettings_ = vcx::appSettings();
        savedState_ = vcx::programState();
        vcx::programState().programFolder = dir_.path() + u'/';
        vcx::programState().toolPaths[vcx::kProcResFolder] = dir_.filePath("results");
        vcx::ProcessReportFolderRoot().clear();
        vcx::startupState().fileArg.clear();
        boxes_ = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            shownBoxes_.push_back(r.text);
            shownCaptions_.push_back(r.caption);
            return qvui::MessageAnswer::Ok;
        });
        ASSERT_TRUE(open("diag"));
        readDevice();
    }
    void TearDown() override {
        page_.reset();
        vcx::appSettings() = savedSettings_;
        vcx::programState() = savedState_;
        vcx::ProcessReportFolderRoot().clear();
        vcx::scanShared().processReportFolder.clear();
        diagtest::DiagBench::TearDown();
    }

    // The page made as the main window makes it: before the device search.
    void makePage(const vcx::ProcessListConfig& r) {
        const HANDLE h = c.dev.device;
        c.dev.device = INVALID_HANDLE_VALUE;
        page_ = std::make_unique<vcx::CQVProcDlg>(c, fw_, state_, nullptr);
        page_->setMainWindow(&main_);
        page_->initDialog();
        c.dev.device = h;
        page_->takeConfiguration(r);
    }
    static vcx::ProcessListConfig config(std::array<uint8_t, 10> list, uint8_t flag = 0, QString company = "ACME") {
        vcx::ProcessListConfig r;
        r.workOrderNumber = "WO7";
        r.company = company;
        r.pfpFileName = "pkg.pfp";
        r.processList = list;
        r.processListFlag = flag;
        return r;
    }
    void pump() { QCoreApplication::sendPostedEvents(); }
    // A package for this controller: its own parameter lists under the CRC the
    // writer computes; the program checks that CRC with the library's routine.
    fwtest::Package devicePackage() {
        vcxtest::BindSlots(c.api, {"CalculateParameterCRCEx", "GetAPBTParaList"});
        ParameterList lists{};
        EXPECT_EQ(c.api.GetAPBTParaList(c.dev.device, &lists), 1);
        fwtest::Package p;
        if (lists.touchList) p.para.touch.assign(lists.touchList, lists.touchList + lists.touchLength);
        if (lists.bootList) p.para.boot.assign(lists.bootList, lists.bootList + lists.bootLength);
        return p;
    }
    void writePackage(const QString& path, const fwtest::Package& p) {
        const fwtest::Bytes bytes = fwtest::package(p);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    }
    void answer(int result, int item) {
        qvui::sendMessage(page_.get(), qvui::WM_PROCESS_STEP, quint64(result), item);
        pump();
    }
    QString workOrderFolder() const { return dir_.filePath("results/ACME_WO7"); }
    QString summary() const { return workOrderFolder() + "/ACME_WO7_ProcessListReport.csv"; }
    std::string product() const { return vcx::GetProductNameString(c.records.fwInformation).toStdString(); }
    QString listCell(int row, int column) const {
        auto* t = qvui::findControl<QTableWidget>(page_.get(), vcx::CQVProcDlg::kIdList);
        return t->item(row, column) ? t->item(row, column)->text() : QString();
    }
    std::vector<Message> steps(std::initializer_list<std::pair<int, int>> s) {
        std::vector<Message> out;
        for (auto [w, l] : s) out.push_back({qvui::WM_PROCESS_STEP, quint64(w), l});
        return out;
    }

    QTemporaryDir dir_;
    vcx::LoadedFirmware fw_;
    vcx::DiagState state_;
    MainWindow main_;
    std::unique_ptr<vcx::CQVProcDlg> page_;
    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    std::vector<QString> shownBoxes_, shownCaptions_;
    vcx::AppSettings savedSettings_;
    vcx::ProgramState savedState_;
    qvtext::ScopedClock clock_{qvtext::LocalTime{2025, 2, 1, 12, 34, 56, 0}};
};

TEST_F(ProcRun, SerialNumbersStartAtOneInANewWorkOrderFolder) {
    makePage(config({1}));
    ASSERT_TRUE(QFileInfo::exists(summary()));
    page_->StartProcess();
    pump();
    const std::string folder = QFile::encodeName(workOrderFolder()).toStdString();
    EXPECT_EQ(page_->prefix(), folder + "/QV" + product() + "_001_");
    EXPECT_EQ(vcx::scanShared().processReportFolder, page_->prefix());
    EXPECT_EQ(main_.steps, steps({{0, 1}}));
    EXPECT_EQ(main_.states, (std::vector<Message>{{qvui::WM_PAGE_STATE, 1, 108}}));
    answer(1, 1);
    EXPECT_EQ(page_->lastResult(), 0);
    EXPECT_EQ(qvui::IniFile::readInt(workOrderFolder() + "/Serial Number.ini", "Serial Number", "Serial Number", -1), 1);
    EXPECT_EQ(listCell(0, 1), "PASS");
    EXPECT_EQ(main_.states.back(), (Message{qvui::WM_PAGE_STATE, 0, 108}));

    // A page that starts again (the program's next start) reads the number on.
    makePage(config({1}));
    page_->StartProcess();
    EXPECT_EQ(page_->prefix(), folder + "/QV" + product() + "_002_");
}

TEST_F(ProcRun, AFailedItemEndsTheRunAndItsFilesJoinTheDetailReport) {
    makePage(config({1, 3, 4, 6}));
    page_->StartProcess();
    pump();
    const QString prefix = QFile::decodeName(QByteArray::fromStdString(page_->prefix()));
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(prefix + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("VerifyFirmwareInformationReport.csv", "\r[ Verify Firmware Information Result ]\r");
    answer(1, 1);
    write("BuildSystemReferenceReport.csv", "\r[ Build System Reference Result ]\r\nWarning\n");
    answer(2, 3);
    EXPECT_EQ(main_.steps, steps({{0, 1}, {0, 3}}));
    EXPECT_EQ(page_->lastResult(), 2);
    EXPECT_EQ(listCell(1, 1), "FAIL");
    EXPECT_EQ(listCell(2, 1), "");

    const QByteArray detail = bytesOf(prefix + "ProcessListReport.csv");
    const QByteArray tail =
        "\r\nWork Order Number,WO7\r\nCompany,ACME\r\n\r\nSerial Number,1\r\n"
        "\r\nVerify Firmware Information,PASS\r\nBuild System Reference,FAIL\r\nDrawing Test\r\nNoise Level\r\n"
        "\r[ Verify Firmware Information Result ]\r"
        "\r[ Build System Reference Result ]\r\nWarning\n";
    EXPECT_TRUE(detail.endsWith(tail)) << detail.toStdString();
    EXPECT_GT(detail.size(), tail.size());  // the device block stands before
    EXPECT_FALSE(QFile::exists(prefix + "VerifyFirmwareInformationReport.csv"));
    EXPECT_FALSE(QFile::exists(prefix + "BuildSystemReferenceReport.csv"));

    vcx::SummaryRow row{"1,", vcx::masterVersionText(c.records.fwVersion).toStdString(), c.dev.parameterCrc,
                        "12:34:56", "Fail", "Build System Reference"};
    EXPECT_TRUE(bytesOf(summary()).endsWith(QByteArray::fromStdString(vcx::SummaryRowText(row)).replace("\n", "\r\n")));
    EXPECT_EQ(page_->counters().test, 1u);
    EXPECT_EQ(page_->counters().fail, 1u);
    EXPECT_EQ(qvui::IniFile::readInt(summary(), "Fail Count", "Fail Count", -1), 1);
}

TEST_F(ProcRun, AnEmptyListPassesAtOnceAndAnExistingSummaryKeepsItsCounters) {
    QDir().mkpath(workOrderFolder());
    {
        qvtext::TextWriter w(QFile::encodeName(summary()).constData(), qvtext::TextWriter::Mode::Create);
        w.write(vcx::SummaryHeaderText("01/01/2025", "WO7", "ACME"));
    }
    ASSERT_TRUE(vcx::WriteSummaryCounters(QFile::encodeName(summary()).toStdString(), {7, 5, 2}));
    makePage(config({}));
    EXPECT_EQ(page_->counters().test, 7u);
    EXPECT_EQ(page_->counters().fail, 2u);
    page_->StartProcess();
    pump();
    EXPECT_TRUE(main_.steps.empty());
    EXPECT_EQ(page_->lastResult(), 0);
    EXPECT_EQ(page_->counters().test, 8u);
    EXPECT_EQ(page_->counters().pass, 6u);
    const QByteArray s = bytesOf(summary());
    EXPECT_TRUE(s.contains("Test Count=8\r\n") && s.contains("Pass Count=6\r\n") && s.contains("Fail Count=2\r\n"));
    const vcx::SummaryRow row{"1,", vcx::masterVersionText(c.records.fwVersion).toStdString(), c.dev.parameterCrc,
                              "12:34:56", "Pass", ""};
    EXPECT_TRUE(s.endsWith(QByteArray::fromStdString(vcx::SummaryRowText(row)).replace("\n", "\r\n"))) << s.toStdString();
}

TEST_F(ProcRun, RunsThatEndBeforeAnyItemWriteNoRow) {
    makePage(config({1}));
    const QByteArray before = bytesOf(summary());
    const HANDLE h = c.dev.device;
    c.dev.device = INVALID_HANDLE_VALUE;
    page_->StartProcess();
    c.dev.device = h;
    EXPECT_EQ(page_->lastResult(), vcx::CQVProcDlg::kNoDevice);
    EXPECT_EQ(qvui::IniFile::readInt(workOrderFolder() + "/Serial Number.ini", "Serial Number", "Serial Number", -1), 0);

    // Batch numbering: the Log Dialog cancelled, then given a number that would leave the folder.
    makePage(config({1}, 1));
    std::vector<QString> batches = {QString(), "../x"};
    size_t call = 0;
    qvui::DialogResponder dialogs([&](QDialog& d) {
        qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch1)->setText(batches[call]);
        return call++ == 0 ? qvui::DialogChoice::Reject : qvui::DialogChoice::Accept;
    });
    for (size_t i = 0; i < batches.size(); ++i) {
        page_->StartProcess();
        EXPECT_EQ(page_->lastResult(), vcx::CQVProcDlg::kNumberingCancelled);
    }
    EXPECT_EQ(call, 2u);
    EXPECT_TRUE(main_.steps.empty());
    EXPECT_EQ(bytesOf(summary()), before);
    EXPECT_EQ(page_->counters().test, 0u);
    EXPECT_TRUE(QDir(workOrderFolder()).entryList({"*ProcessListReport.csv"}).size() == 1);
}

TEST_F(ProcRun, AWorkOrderThatWouldLeaveTheReportFolderIsRefused) {
    makePage(config({1}, 0, "../x"));
    page_->StartProcess();
    pump();
    ASSERT_EQ(shownBoxes_.size(), 1u);
    EXPECT_TRUE(main_.steps.empty());
    EXPECT_TRUE(main_.states.empty());
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("x_WO7")));
    EXPECT_FALSE(page_->busy());
}

// The firmware update finds the controller again; the items after it still
// write into the work-order folder under the product's own number.
TEST_F(ProcRun, TheFirmwareUpdateKeepsTheProductsPrefix) {
    makePage(config({5, 1}));
    page_->StartProcess();
    pump();
    const std::string prefix = page_->prefix();
    answer(1, 5);
    EXPECT_EQ(page_->prefix(), prefix);
    EXPECT_EQ(vcx::scanShared().processReportFolder, prefix);
    EXPECT_EQ(main_.steps, steps({{0, 5}, {0, 1}}));
}

TEST_F(ProcRun, LeftoverItemFilesOfTheSamePrefixAreRemovedAtTheStart) {
    makePage(config({1, 6}));
    const std::string prefix = QFile::encodeName(workOrderFolder()).toStdString() + "/QV" + product() + "_001_";
    QFile old(QFile::decodeName(QByteArray::fromStdString(prefix + "NoiseLevelReport.csv")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an earlier product's");
    old.close();
    page_->StartProcess();
    EXPECT_EQ(page_->prefix(), prefix);
    EXPECT_FALSE(old.exists());
}

TEST_F(ProcRun, AScanItemShowsTheScanViewUnderTheBannerAndTheFormAfterIt) {
    makePage(config({2}));
    page_->show();
    page_->StartProcess();
    pump();
    ASSERT_TRUE(vcx::processPage().showScanForOpenShort);
    vcx::processPage().showScanForOpenShort();
    QWidget* list = qvui::findControl(page_.get(), vcx::CQVProcDlg::kIdList);
    EXPECT_TRUE(page_->banner()->isVisible());
    EXPECT_TRUE(page_->scanView()->isVisible());
    EXPECT_EQ(page_->scanView()->runState(), 1);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(state_.g_pActiveScanDlg, page_->scanView());
    vcx::processPage().hideBanner();
    EXPECT_FALSE(page_->banner()->isVisible());
    answer(1, 2);
    EXPECT_FALSE(page_->scanView()->isVisible());
    EXPECT_TRUE(list->isVisible());
    EXPECT_NE(state_.g_pActiveScanDlg, page_->scanView());
    EXPECT_EQ(page_->lastResult(), 0);
}

TEST_F(ProcRun, MenuShowsTheWorkOrderAndSilentResultStartsARun) {
    vcx::appSettings().options &= ~uint32_t(vcx::kOptProcShowWN);
    makePage(config({7}));
    page_->show();
    QWidget* workOrder = qvui::findControl(page_.get(), vcx::CQVProcDlg::kIdWorkOrder);
    EXPECT_FALSE(workOrder->isVisible());
    {
        qvui::PopupMenuResponder menu([](const qvui::PopupMenuRequest&) { return vcx::CQVProcDlg::kMenuShowWorkOrder; });
        qvui::sendMessage(page_.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);
    }
    EXPECT_TRUE(workOrder->isVisible());
    EXPECT_EQ(vcx::GetDlgItemText(page_.get(), vcx::CQVProcDlg::kIdWorkOrder), "WO7");
    EXPECT_TRUE(vcx::appSettings().options & vcx::kOptProcShowWN);
    EXPECT_TRUE(qvui::findMenuAction(*page_->menu(), vcx::CQVProcDlg::kMenuShowWorkOrder)->isChecked());

    qvui::sendMessage(page_.get(), qvui::WM_SILENT_RESULT, 0, 0);
    pump();
    EXPECT_EQ(main_.steps, steps({{0, 7}}));
    // Item 7 without an average golden sample fails at once, posted to the page itself.
    page_->ShowScanForDiagnostic();
    pump();
    EXPECT_EQ(page_->lastResult(), 2);
    EXPECT_FALSE(page_->scanView()->isVisible());
}

// Menu 590 through the popup menu: a configuration that loads replaces the
// page's; one whose package cannot be loaded is reported and leaves the page as
// it was; one that is not valid is reported and clears the page; a cancelled
// choice changes nothing.
TEST_F(ProcRun, TheMenusLoadReportsEachResultOfTheFile) {
    writePackage(dir_.filePath("pkg.pfp"), devicePackage());
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir_.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QByteArray head = "[Process List Config]\nWork Order Number=WO8\nCompany=ACME\nProcess List=73\n";
    const QString good = write("good.ini", head + "PFP file name=pkg.pfp\n");
    const QString noPackage = write("nopkg.ini", head + "PFP file name=gone.pfp\n");
    const QString invalid = write("bad.ini", "[Process List Config]\nProcess List=0\n");

    makePage(config({1}));
    page_->show();
    QString chosen;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return chosen; });
    int menus = 0;
    qvui::PopupMenuResponder menu([&](const qvui::PopupMenuRequest& r) {
        menus += r.menu == page_->menu();
        return vcx::CQVProcDlg::kMenuLoadConfig;
    });
    auto load = [&](const QString& file) {
        chosen = file;
        qvui::sendMessage(page_.get(), qvui::WM_TOOLBAR_ACTION, 0, 0);
    };
    auto rows = [&] {
        auto* t = qvui::findControl<QTableWidget>(page_.get(), vcx::CQVProcDlg::kIdList);
        std::vector<QString> out;
        for (int r = 0; r < t->rowCount(); ++r) out.push_back(t->item(r, 0)->text());
        return out;
    };
    struct Case {
        QString file;
        QString box;         // empty: none shown
        QString resultText;  // empty: as it was
        std::vector<QString> rows;
        bool startEnabled;
    };
    const QString missing = "PFP file path in Configure file not valid.";
    const Case cases[] = {
        {good, "", "", {"Build System Reference", "Diagnostic Test"}, true},
        {noPackage, missing, missing, {"Build System Reference", "Diagnostic Test"}, true},
        // The page is cleared after the message: its result text too.
        {invalid, "Configure file not valid.", " Result :", {}, false},
        {"", "", "", {}, false},  // cancelled
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file.toStdString());
        shownBoxes_.clear();
        shownCaptions_.clear();
        const QString textBefore = vcx::GetDlgItemText(page_.get(), vcx::CQVProcDlg::kIdResultText);
        load(k.file);
        EXPECT_EQ(shownBoxes_, k.box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{k.box});
        EXPECT_EQ(shownCaptions_, k.box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{"Load Configure Failed"});
        EXPECT_EQ(vcx::GetDlgItemText(page_.get(), vcx::CQVProcDlg::kIdResultText),
                  k.resultText.isEmpty() ? textBefore : k.resultText);
        EXPECT_EQ(rows(), k.rows);
        EXPECT_EQ(page_->startEnabled(), k.startEnabled);
        if (k.file == good) {
            EXPECT_EQ(page_->record().processList, (std::array<uint8_t, 10>{3, 7}));
            EXPECT_EQ(vcx::GetDlgItemText(page_.get(), vcx::CQVProcDlg::kIdWorkOrder), "WO8");
            EXPECT_EQ(vcx::GetDlgItemText(page_.get(), vcx::CQVProcDlg::kIdMasterVersion), "2081A.2.5");
            EXPECT_TRUE(QFileInfo::exists(dir_.filePath("results/ACME_WO8/ACME_WO8_ProcessListReport.csv")));
        }
    }
    EXPECT_EQ(menus, 4);
}

// Command button 3, "Load PFP File": a package enables Start and shows its
// versions and CRC; a file that is none disables Start and empties them.
TEST_F(ProcRun, LoadPfpFileEnablesStartOnlyWithAPackage) {
    fwtest::Package two = devicePackage();
    two.magic = "PFPC";
    fwtest::Image slave;
    slave.magic = "PNFF";
    slave.product = 6021;
    slave.letter = 0;
    slave.minor = 1;
    two.images = {fwtest::Image{}, slave};
    const QString pfp = dir_.filePath("two.pfp");
    writePackage(pfp, two);
    QFile junk(dir_.filePath("junk.pfp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a package");
    junk.close();

    makePage(config({1}));
    page_->show();
    QString chosen;
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return chosen; });
    auto text = [&](int id) { return vcx::GetDlgItemText(page_.get(), id); };
    const Message enable{qvui::WM_TOOLBAR_ACTION, vcx::CQVProcDlg::kButtonStart, 1};
    const Message disable{qvui::WM_TOOLBAR_ACTION, vcx::CQVProcDlg::kButtonStart, 0};

    chosen = pfp;
    main_.toolbar.clear();
    qvui::sendMessage(page_.get(), qvui::WM_TOOLBAR_ACTION, 0, 3);
    EXPECT_EQ(main_.toolbar, std::vector<Message>{enable});
    EXPECT_TRUE(page_->startEnabled());
    EXPECT_EQ(text(vcx::CQVProcDlg::kIdMasterVersion), "2081A.2.5");
    EXPECT_EQ(text(vcx::CQVProcDlg::kIdSlaveVersion), "6021.2.1");
    EXPECT_EQ(text(vcx::CQVProcDlg::kIdSlaveLabel), "Slave   Firmware Version :");
    EXPECT_EQ(text(vcx::CQVProcDlg::kIdParaCrc), QString::asprintf("x%04X", unsigned(fw_.PfpPara.crc)));

    chosen = junk.fileName();
    main_.toolbar.clear();
    qvui::sendMessage(page_.get(), qvui::WM_TOOLBAR_ACTION, 0, 3);
    EXPECT_EQ(main_.toolbar, std::vector<Message>{disable});
    EXPECT_FALSE(page_->startEnabled());
    for (int id : {320, 321, 322, 323, 331, 333}) EXPECT_EQ(text(id), "") << id;
}

}  // namespace

namespace {

class ProcStartup : public ProcRun {
protected:
    QString writeConfig(const QString& name, const QByteArray& list) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Process List Config]\nWork Order Number=WO7\nCompany=ACME\nPFP file name=pkg.pfp\nProcess List=" +
                list + "\n");
        return path;
    }
    void startPage() {
        const HANDLE h = c.dev.device;
        c.dev.device = INVALID_HANDLE_VALUE;  // the main window makes its pages before the device search
        page_ = std::make_unique<vcx::CQVProcDlg>(c, fw_, state_, nullptr);
        page_->setMainWindow(&main_);
        page_->initDialog();
        c.dev.device = h;
    }
};

TEST_F(ProcStartup, ACommandLineProcessConfigurationIsThePagesAndOtherFilesAreNot) {
    writeConfig("ProcessConfig.ini", "2");
    struct Case {
        QString fileArg;
        QString leftForFieldUpdate;
        std::array<uint8_t, 10> list;
    };
    const QString line = writeConfig("line.ini", "13");
    const QString firmware = dir_.filePath("fw.pfp");
    QFile(firmware).open(QIODevice::WriteOnly);
    const Case cases[] = {
        {line, "", {3, 1}},
        {"line", "", {3, 1}},  // "%s%s.ini" in the program folder
        {firmware, firmware, {2}},  // the default configuration; the file stays the Field Update page's
        {"", "", {2}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fileArg.toStdString());
        vcx::startupState().fileArg = k.fileArg;
        startPage();
        EXPECT_EQ(page_->record().processList, k.list);
        EXPECT_EQ(vcx::startupState().fileArg, k.leftForFieldUpdate);
    }
    EXPECT_TRUE(shownBoxes_.empty());
}

TEST_F(ProcStartup, TheDefaultNameComesFromTheThresholdsFile) {
    writeConfig("ProcessConfig.ini", "2");
    writeConfig("Line 2.ini", "76");
    QFile ini(dir_.filePath("VCXMSet.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Process List Setting]\nDefault Config File Name=Line 2\n");
    ini.close();
    startPage();
    EXPECT_EQ(page_->record().processList, (std::array<uint8_t, 10>{6, 7}));
    QFile::remove(dir_.filePath("Line 2.ini"));
    startPage();
    EXPECT_EQ(page_->record().processList, (std::array<uint8_t, 10>{}));
    EXPECT_EQ(page_->record().workOrderNumber, "");
}

}  // namespace
