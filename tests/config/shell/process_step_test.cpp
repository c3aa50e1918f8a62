// The main window's side of a production run on the test program's controller
// (a master 2081A.2.5 with two slaves 6021): the firmware verification against
// packages from the test-side writer, its report bytes, the slave selection's
// retries, the WM_PROCESS_STEP dispatcher and the reports and log heads it
// writes. Results reach a stand-in process page; nothing waits in real time
// (the selection's pauses run on the simulated controller's clock).
#include "shell/utility_dlg.h"

#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/process_items.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "core/report_header.h"
#include "diag/diag_dlg.h"
#include "diag/draw_test_dlg.h"
#include "diag/scan_dlg.h"
#include "firmware_writer_support.h"
#include "params/firmware_file.h"
#include "shell/automation.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/window_message.h"
#include "vcx_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Step {
    quint64 result;
    qint64 item;
    friend bool operator==(const Step&, const Step&) = default;
};

// Stands for the process page: the WM_PROCESS_STEP answers it is posted.
class PageSink : public QObject {
public:
    std::vector<Step> steps;
    bool event(QEvent* e) override {
        if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_PROCESS_STEP) {
            steps.push_back({m->wParam(), m->lParam()});
            return true;
        }
        return QObject::event(e);
    }
};

std::string readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

fwtest::Image master() { return fwtest::Image{}; }  // 2081, letter 1, 2.5, customer 0, build 0.0
fwtest::Image slave() {
    fwtest::Image im;
    im.magic = "PNFF";
    im.product = 6021;
    im.letter = 0;
    im.major = 2;
    im.minor = 1;
    return im;
}

class VcxProcessStep : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        boxes_ = std::make_unique<qvui::MessageBoxResponder>(
            [](const qvui::MessageBoxRequest&) { return qvui::MessageAnswer::Ok; });
        hooksBefore_ = vcx::programHooks();
        const vcx::SettingsEnvironment env = vcx::SettingsEnvironment::forThisProgram();
        QFile::remove(env.systemStore);
        QFile::remove(env.userStore);
        dlg_ = std::make_unique<vcx::CVCXUtilityDlg>();
        ASSERT_TRUE(dlg_->initDialog()) << dlg_->error().toStdString();
        ASSERT_NE(c().dev.device, INVALID_HANDLE_VALUE);
        // The test stands in for the main window's process page as a whole.
        vcx::processPage() = vcx::ProcessPageLink{};
        vcx::processPage().window = &page_;
        prefix_ = dir_.filePath("QV2081A_001_").toStdString();
        vcx::scanShared().processReportFolder = prefix_;
        simControl(QStringLiteral("trace clear /sim/hidraw0"));
    }
    void TearDown() override {
        vcx::ClearFirmwareFileData(vcx::loadedFirmware(), true);
        dlg_.reset();
        vcx::processPage() = vcx::ProcessPageLink{};
        vcx::programHooks() = hooksBefore_;
        vcx::scanShared() = vcx::ScanViewShared{};
        simControl(QStringLiteral("clear /sim/hidraw0"));
    }
    static vcx::Controller& c() { return vcx::controller(); }
    // The package loaded as the program loads a file it is given.
    void load(const fwtest::Package& p) {
        const QString path = dir_.filePath("file.pfp");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const fwtest::Bytes bytes = fwtest::package(p);
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        f.close();
        vcx::loadedFirmware().szFirmwarePath = path;
        ASSERT_TRUE(vcx::OpenFirmwareFile(nullptr, c(), vcx::loadedFirmware(), false, true));
    }
    fwtest::Package withSlaves(fwtest::Image m = master(), fwtest::Image s = slave()) {
        fwtest::Package p;
        p.magic = "PFPC";
        p.images = {m, s};
        return p;
    }
    void step(int state, int item) {
        qvui::postMessage(dlg_.get(), qvui::WM_PROCESS_STEP, quint64(state), item);
        // A failure the Diagnostic page posts back to the window takes a second round.
        for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
    }
    QString report(int item) { return QString::fromStdString(prefix_ + vcx::ProcessItemReportName(item)); }

    QTemporaryDir dir_;
    std::unique_ptr<qvui::MessageBoxResponder> boxes_;
    vcx::ProgramHooks hooksBefore_;
    std::unique_ptr<vcx::CVCXUtilityDlg> dlg_;
    PageSink page_;
    std::string prefix_;
};

// Each case against the controller as it is; the package and the CRC of the
// last read-out decide. A matching file with slaves passes only when each slave
// is read as itself: after its selection the master's selector still names the master.
TEST_F(VcxProcessStep, VerificationComparesTheMasterTheSlavesAndTheCrc) {
    struct Case {
        const char* name;
        fwtest::Package package;
        bool crcDiffers;
        int result;
    };
    fwtest::Package single;
    single.images = {master()};
    fwtest::Image newerMinor = master();
    newerMinor.minor = 6;
    fwtest::Image otherSlave = slave();
    otherSlave.minor = 2;
    fwtest::Image otherBuild = master();
    otherBuild.build2 = 7;  // header byte 19: boot state A
    const Case cases[] = {
        {"one image, same firmware", single, false, 1},
        {"with slaves, same firmware", withSlaves(), false, 1},
        {"parameter CRC differs", withSlaves(), true, 4},
        {"master minor differs", withSlaves(newerMinor), false, 2},
        {"master build differs", withSlaves(otherBuild), false, 2},
        {"a slave differs", withSlaves(master(), otherSlave), false, 3},
    };
    const uint16_t readOut = c().dev.parameterCrc;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        load(k.package);
        c().dev.parameterCrc = k.crcDiffers ? uint16_t(vcx::loadedFirmware().PfpPara.crc ^ 1)
                                            : vcx::loadedFirmware().PfpPara.crc;
        EXPECT_EQ(vcx::VerifyFirmwareInformation(c(), vcx::loadedFirmware()), k.result);
    }
    c().dev.parameterCrc = readOut;
}

// F4 00 00 00 01 refused nine times is still taken on the tenth try; refused
// ten times the slave is given up (result 3). The master is selected again and
// scanning resumed either way.
TEST_F(VcxProcessStep, TheSlaveSelectionIsTriedTenTimes) {
    load(withSlaves());
    c().dev.parameterCrc = vcx::loadedFirmware().PfpPara.crc;
    for (int refusals : {9, 10}) {
        SCOPED_TRACE(refusals);
        simControl(QStringLiteral("trace clear /sim/hidraw0"));
        ASSERT_EQ(simControl(QStringLiteral("refuse /sim/hidraw0 F40000 %1").arg(refusals)), "ok");
        EXPECT_EQ(vcx::VerifyFirmwareInformation(c(), vcx::loadedFirmware()), refusals == 9 ? 1 : 3);
        const QStringList trace = simTrace(QStringLiteral("/sim/hidraw0"));
        EXPECT_EQ(trace.filter(QStringLiteral("F4 00 00 00 01")).size(), 10);
        EXPECT_EQ(trace.filter(QStringLiteral("F4 00 AA 00 00")).size(), 1);
        simControl(QStringLiteral("clear /sim/hidraw0"));
    }
}

// Item 1 through the dispatcher: the report, byte for byte, then the result to the page.
TEST_F(VcxProcessStep, ItemOneWritesTheVerificationReportAndAnswersThePage) {
    load(withSlaves());
    c().dev.parameterCrc = uint16_t(vcx::loadedFirmware().PfpPara.crc ^ 0x0100);
    step(0, 1);
    EXPECT_EQ(page_.steps, (std::vector<Step>{{4, 1}}));
    // The version texts as the library gave them at the read-out.
    const FirmwareVersionInfoW& v = c().records.fwVersion;
    ASSERT_EQ(v.slaveCount, 2);
    const std::string m = vcx::wideField(v.master, 50).toStdString();
    const std::string s1 = vcx::wideField(v.slave[0], 50).toStdString();
    const std::string s2 = vcx::wideField(v.slave[1], 50).toStdString();
    ASSERT_FALSE(m.empty());
    ASSERT_FALSE(s2.empty());
    EXPECT_EQ(readAll(report(1)), "\r[ Verify Firmware Information Result ]\r"
                                  "\rMaster   Version : " + m + "\r"
                                  "Slave 1  Version : " + s1 + "\r"
                                  "Slave 2  Version : " + s2 + "\r"
                                  "\rFirmware Version in PFP file : QV2081A.2.5\r"
                                  "\rSlave Firmware Version in PFP file : QV6021.2.1\r"
                                  "\rVerify Firmware Information Failed : Parameters CRC not match.\r");
}

TEST(VcxProcessReports, VerificationResultLines) {
    QTemporaryDir dir;
    vcx::ReportDevice d;
    d.firmwareVersion = "QV2081A.2.5";
    vcx::LoadedFirmware fw;
    fw.LoadedFirmware[0].versionText = "2081A.2.5";
    struct Case {
        int result;
        uint8_t kind;
        const char* line;
    };
    const Case cases[] = {
        {1, 0x00, "\rVerify Firmware Information Pass.\r"},
        {2, 0x00, "\rVerify Firmware Information Failed : Firmware Information not match.\r"},
        {2, 0x01, "\rVerify Firmware Information Failed : Master Firmware Information not match.\r"},
        {3, 0x01, "\rVerify Firmware Information Failed : Slave  Firmware Information not match.\r"},
        {4, 0x00, "\rVerify Firmware Information Failed : Parameters CRC not match.\r"},
        {0, 0x00, "\rVerify Firmware Information Failed.\r"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.line);
        fw.FirmwareFileKind = k.kind;
        const QString path = dir.filePath(QString::number(k.result) + QString::number(k.kind));
        ASSERT_TRUE(vcx::WriteVerificationReport(path.toStdString(), d, fw, k.result));
        const std::string text = readAll(path);
        const std::string line = k.line;
        ASSERT_GE(text.size(), line.size());
        EXPECT_EQ(text.substr(text.size() - line.size()), line);
        EXPECT_EQ(text.rfind("\r[ Verify Firmware Information Result ]\r\rFirmware Version : QV2081A.2.5\r", 0), 0u);
    }
}

// The panel line carries the report's one text-mode "\n" (on disk "\r\n").
TEST(VcxProcessReports, DrawTestReportBytes) {
    QTemporaryDir dir;
    vcx::ReportDevice d;
    d.firmwareVersion = "QV2081A.2.5";
    d.core = 0x31;
    d.coreMinor = 2;
    d.coreBuild = 7;
    d.panelInformation = "G156HAN 15.6\" (W)";
    d.coverLens = "1.1 mm Glass";
    const std::string head = "\r[ Draw Test Result ]\r\rFirmware Version : QV2081A.2.5\r\rCore     Version : 3.1.2.7\r"
                             "\rPanel Information : G156HAN 15.6\" (W)\r\nCover Lens : 1.1 mm Glass\r";
    const std::pair<int, const char*> results[] = {{1, "\rDraw Test Pass.\r"},
                                                   {2, "\rDraw Test Failed : User exit.\r"},
                                                   {3, "\rDraw Test Failed : Time out.\r"},
                                                   {0, "\rDraw Test Failed.\r"}};
    for (const auto& [result, line] : results) {
        const QString path = dir.filePath(QString::number(result));
        ASSERT_TRUE(vcx::WriteDrawTestReport(path.toStdString(), d, result));
        EXPECT_EQ(readAll(path), head + line);
    }
    EXPECT_FALSE(vcx::WriteDrawTestReport(dir.filePath("none/x").toStdString(), d, 1));
}

TEST(VcxProcessReports, FirmwareUpdateLogHeader) {
    vcx::ReportDevice d;
    d.firmwareVersion = "QV2081A.2.5";
    d.crc = 0x1A2B;
    vcx::LoadedFirmware fw;
    fw.PfpPara.crc = 0x00C4;
    fw.LoadedFirmware[0].versionText = "2081A.2.5";
    EXPECT_EQ(vcx::FirmwareUpdateLogHeader(d, fw),
              (std::vector<std::string>{"[ 1 Firmware Version Information ]", "Firmware Version : QV2081A.2.5",
                                        "Firmware Parameters CRC : x1A2B", "\r[ 2 PFP File Information ]",
                                        "Firmware Version in PFP file : QV2081A.2.5",
                                        "Firmware Parameters CRC in PFP file : x00C4", "\r[ 3 Firmware Update Log ]"}));
    d.slaves = {"QV6021S.2.1", "QV6021S.2.1"};
    fw.FirmwareFileKind = 0x01;
    fw.LoadedFirmware[0].versionText = "6021.2.1";
    fw.LoadedFirmware[1].versionText = "2081A.2.5";
    EXPECT_EQ(vcx::FirmwareUpdateLogHeader(d, fw),
              (std::vector<std::string>{"[ 1 Firmware Version Information ]", "Master   Version : QV2081A.2.5",
                                        "Slave 1  Version : QV6021S.2.1", "Slave 2  Version : QV6021S.2.1",
                                        "Firmware Parameters CRC : x1A2B", "\r[ 2 PFP File Information ]",
                                        "Firmware Version in PFP file : QV2081A.2.5",
                                        "Slave Firmware Version in PFP file : QV6021.2.1",
                                        "Firmware Parameters CRC in PFP file : x00C4", "\r[ 3 Firmware Update Log ]"}));
}

// Unknown items fail at once; results pass through; a build the Diagnostic
// page does not allow fails; a scan item without the page's scan view fails;
// the draw test's result and report; main timer 14 reaches the page's next step.
TEST_F(VcxProcessStep, TheDispatcherStartsItemsAndPassesResultsOn) {
    auto* diag = qobject_cast<vcx::CQVDiagDlg*>(dlg_->page(vcx::kPageDiagnostic));
    ASSERT_TRUE(diag);
    ASSERT_FALSE(diag->buildAllowed());
    step(0, 9);
    step(1, 9);
    step(0, 3);
    step(1, 7);
    step(3, 3);
    step(0, 2);
    EXPECT_EQ(page_.steps, (std::vector<Step>{{2, 9}, {2, 9}, {2, 3}, {1, 7}, {3, 3}, {2, 2}}));

    page_.steps.clear();
    int opened = 0;
    vcx::processPage().showScanForDiagnostic = [&] { ++opened; };
    // The draw test closed without its strokes: a time-out.
    int drawTests = 0;
    qvui::DialogResponder closeIt([&](QDialog& d) {
        drawTests += qobject_cast<vcx::CDrawTestDlg*>(&d) && d.parent() == dlg_.get();
        return qvui::DialogChoice::Reject;
    });
    step(0, 7);
    step(0, 4);
    EXPECT_EQ(drawTests, 1);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(page_.steps, (std::vector<Step>{{3, 4}}));
    EXPECT_NE(readAll(report(4)).find("\rDraw Test Failed : Time out.\r"), std::string::npos);

    int next = 0;
    vcx::processPage().nextStep = [&] { ++next; };
    qvui::sendMessage(dlg_.get(), qvui::WM_TIMER, vcx::kTimerProcessStep);
    EXPECT_EQ(next, 1);
}

// Item 5 heads the log with the devices' and the file's versions and hands
// the update to the Field Update page, which writes the log into the item's
// report and answers at its end; a file it cannot load ends it as a failure.
TEST_F(VcxProcessStep, ItemFiveLogsTheUpdateIntoItsReport) {
    load(withSlaves());
    vcx::loadedFirmware().szFirmwarePath = dir_.filePath("gone.pfp");  // the update cannot load it
    step(0, 5);
    for (int i = 0; i < 5 && page_.steps.empty(); ++i) {
        qvui::sendMessage(dlg_->page(vcx::kPageFieldUpdate), qvui::WM_TIMER, 13);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(page_.steps, (std::vector<Step>{{2, 5}}));
    const std::string log = readAll(report(5));
    EXPECT_EQ(log.rfind("[ 1 Firmware Version Information ]\rMaster   Version : ", 0), 0u) << log;
    EXPECT_NE(log.find("\rSlave Firmware Version in PFP file : QV6021.2.1\r"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\r[ 3 Firmware Update Log ]\rState Machine : STATE_FU_START\r"), std::string::npos) << log;
}

// WM_DEBUG_COMMAND 13 with value 5 or 6 runs that item of the Diagnostic page
// (the golden-sample scans); 11 with value 0 the page's current item.
TEST_F(VcxProcessStep, GoldenSampleRequestsReachTheirScan) {
    std::vector<int> items;
    vcx::programHooks().runDiagnosticProcessItem = [&](int item) { items.push_back(item); };
    for (int value : {5, 6, 0}) qvui::sendMessage(dlg_.get(), qvui::WM_DEBUG_COMMAND, 13, value);
    qvui::sendMessage(dlg_.get(), qvui::WM_DEBUG_COMMAND, 11, 0);
    EXPECT_EQ(items, (std::vector<int>{5, 6, 1}));
}

}  // namespace
