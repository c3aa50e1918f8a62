// The test reports byte for byte: the matrix writer's cells and marks, the
// header's version lines, and a manual save of a panel with an open column
// against a checked-in report; the process reports of a golden-sample run
// followed by a diagnostic test; the pictures; a folder that cannot be written.
#include "diag/log_dlg.h"
#include "diag/scan_report.h"
#include "scan_support.h"
#include "core/program_state.h"

#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing " + path.toStdString() + ">";
    return f.readAll().toStdString();
}

// Writes with `fn` into a fresh file and returns its bytes.
template <class Fn>
std::string written(Fn fn) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("out.csv").toStdString();
    {
        qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Create);
        fn(w);
    }
    return readAll(QString::fromStdString(path));
}

TEST(DiagReport, MatrixCellsAndTheirMarks) {
    vcx::DiagState s;
    vcx::ReportContext r;
    r.rows = 3;
    r.columns = 4;
    r.extraColumns = 2;
    vcx::Frame data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFFFF};  // the last prints as -1
    s.NodeFailMask.assign(12, 0);
    s.NodeFailMask[5] = 1;           // node (1, 1)
    s.g_FailMap.assign(12, 0);
    s.g_FailMap[2] = 0x01;           // node (0, 2): near raw across rows
    s.g_FailMap[9] = 0x10;           // node (2, 1): base flat of mode 0
    s.g_ColumnFlags = {2, 1, 0, 2};  // column 1 lies at a drive-IC boundary
    struct Case {
        const char* name;
        int markMode, layout;
        const char* bytes;
    };
    const Case cases[] = {
        {"plain", 0, 0, "T\r0,1,2,3,4,\r1,1,2,3,4,\r2,5,6,7,8,\r3,9,10,11,-1,\r\r"},
        {"node marks", 0, vcx::kMatrixMarks, "T\r0,1,2,3,4,\r1,1,2,3,4,\r2,5,*6,7,8,\r3,9,10,11,-1,\r\r"},
        {"fail-map bit 0", 0x01, vcx::kMatrixMarks, "T\r0,1,2,3,4,\r1,1,2,*3,4,\r2,5,6,7,8,\r3,9,10,11,-1,\r\r"},
        {"mode 0 frame: the boundary column and its mark", 0x10, vcx::kMatrixMarks,
         "T\r0,1,2,3,4,\r1,1,_2,3,4,\r2,5,_6,7,8,\r3,9,_*10,11,-1,\r\r"},
        {"mode 0 frame without marks", 0x10, 0, "T\r0,1,2,3,4,\r1,1,_2,3,4,\r2,5,_6,7,8,\r3,9,_10,11,-1,\r\r"},
        {"extra array: C columns", 0, vcx::kMatrixExtra, "T\r0,1,2,\r1,1,2,\r2,3,4,\r3,5,6,\r\r"},
        {"last column: one line of A values", 0, vcx::kMatrixOneLine, "T\r0,1,2,\r1,2,3,\r\r"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteMatrix(w, r, s, data, "T\r", k.markMode, k.layout); }),
                  k.bytes);
    }
    // A frame shorter than the grid prints zeros where it has nothing.
    EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteMatrix(w, r, s, vcx::Frame{7}, "", 0, 0); }),
              "0,1,2,3,4,\r1,7,0,0,0,\r2,0,0,0,0,\r3,0,0,0,0,\r\r");
}

TEST(DiagReport, HeaderVersionLines) {
    vcx::ReportContext r;
    r.times = {"123456", "2026/12/10 12:34:56", "12:34:56"};
    r.batch1 = "B1";
    r.batch2 = "B2";
    r.device.firmwareVersion = "QV2081A_1.2";
    r.device.panelInformation = "G156HAN";
    r.device.coverLens = "Glass";
    r.device.crcValid = true;
    r.device.crc = 0x0ABC;
    const std::string head = "\rWrite Log Time : 2026/12/10 12:34:56\r\rApplication Version : Quorvane VCXMSet 2.7.3.13\r"
                             "\rFunction : Open Short Test\r";
    const std::string tail = "\rPanel Information : G156HAN\rCover Lens : Glass\r\rBatch1:, B1\r\rBatch2:, B2\r";
    struct Case {
        const char* name;
        std::function<void(vcx::ReportDevice&)> change;
        std::string middle;
    };
    const Case cases[] = {
        {"no slaves", [](vcx::ReportDevice&) {}, "\rFirmware Version : QV2081A_1.2\r\rParameters CRC : x0ABC"},
        {"two slaves: the first one's line",
         [](vcx::ReportDevice& d) { d.slaves = {"S1", "S2"}; },
         "\rMaster Version : QV2081A_1.2\r\rSlave  Version : S1\r\rParameters CRC : x0ABC"},
        {"core version byte",
         [](vcx::ReportDevice& d) {
             d.core = 0x23;
             d.coreMinor = 4;
             d.coreBuild = 513;
         },
         "\rFirmware Version : QV2081A_1.2\r\rCore     Version : 2.3.4.513\r\rParameters CRC : x0ABC"},
        {"CRC not read",
         [](vcx::ReportDevice& d) { d.crcValid = false; },
         "\rFirmware Version : QV2081A_1.2\r\rParameters CRC : Failed Get Parameters List"},
        {"test firmware", [](vcx::ReportDevice& d) { d.testFirmware = true; },
         "\rTest   Version : QV2081A_1.2\r\rParameters CRC : x0ABC"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        vcx::ReportContext x = r;
        k.change(x.device);
        EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteReportHeader(w, x, "Open Short Test"); }),
                  head + k.middle + tail);
    }
}

TEST(DiagReport, ThresholdBlocksByRunState) {
    vcx::DiagState s;
    s.g_nFHMode = 0x1203;
    s.ScanTh = {1, 2, 3, 4, 5, 6};
    s.DiagTh = {11, 12, 13, 14, 15, 16};
    s.CBTh = {21, 22, 23, 24, 25, 26};
    const std::string os = "[Open Short Test Threshold]\rDebounce Level:,3,Driver Level:,4,Sensor Level:,5,Absolute Level:,6\r\r";
    EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteThresholds(w, s, 0); }),
              "\r[Threshold]\rFH mode:, 3\r" + os);
    EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteThresholds(w, s, 3); }),
              "\r[Threshold]\rFH mode:, 3\r[Control Board Test Threshold]\rMinus Level:,21,Debounce Level:,23\r\r");
    EXPECT_EQ(written([&](qvtext::TextWriter& w) { vcx::WriteThresholds(w, s, 4); }),
              "\r[Threshold]\rFH mode:, 3\r[Diagnostic Test Threshold]\rMinus Level:,11,Debounce Level:,13,Node Level:,12,\r" +
                  os);
}

TEST(DiagReport, ProcessReportNumbersTheSlavesAndAPanelWithoutModesHasOnlyTheLimits) {
    QTemporaryDir dir;
    vcx::DiagState s;
    vcx::AllocDiagBuffers(s, 2, 2, 0);
    s.g_bScanPass = true;
    s.BaseFlatMaxLimit = 80;
    vcx::ReportContext r;
    r.rows = r.columns = 2;
    r.device.firmwareVersion = "M1";
    r.device.slaves = {"S1", "S2"};
    r.device.panelInformation = "P";
    r.device.coverLens = "L";
    const std::string folder = dir.filePath("x_").toStdString();
    // No window: the picture is not taken, the report is written all the same.
    EXPECT_FALSE(vcx::WriteOpenShortProcessReport(folder, r, s, nullptr, "SN"));
    const std::string text = readAll(QString::fromStdString(folder + "OpenShortTestReport.csv"));
    EXPECT_EQ(text.rfind("\r[ Open Short Test Result ]\r\rMaster   Version : M1\rSlave 1  Version : S1\r"
                         "Slave 2  Version : S2\r\rPanel Information : P\rCover Lens : L\r\r[Result]\rDiagnose:, Pass\r",
                         0),
              0u);
    const std::string end = "[Base Flat]\rMax TH : 80\rCount TH : 22\r";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

class DiagSave : public diagtest::ScanBench {
protected:
    QTemporaryDir dir;
    std::unique_ptr<qvui::DialogResponder> dialogs;
    std::unique_ptr<qvui::MessageBoxResponder> boxes;
    std::vector<QString> boxTexts;
    int logDialogs = 0;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        dialogs = std::make_unique<qvui::DialogResponder>([this](QDialog& d) {
            ++logDialogs;
            qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch1)->setText("B1");
            qvui::findControl<QLineEdit>(&d, vcx::CLogDlg::kIdBatch2)->setText("B2");
            return qvui::DialogChoice::Accept;
        });
        boxes = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            boxTexts.push_back(r.caption + "|" + r.text);
            return qvui::MessageAnswer::Ok;
        });
        vcx::programState().programFolder = dir.path() + "/";
    }
    void TearDown() override {
        diagtest::ScanBench::TearDown();
        vcx::programState().programFolder.clear();
        vcx::startupState().pdLineState = 0;
    }

    void run(int state) {
        view->SetRunState(state);
        runToEnd();
    }
};

TEST_F(DiagSave, ManualSaveOfAnOpenColumnIsTheCheckedInReport) {
    qvtext::ScopedClock clock(qvtext::LocalTime{2026, 12, 10, 9, 8, 7, 0});
    prepare({{"openColumn", "5 0 pattern1"}});
    c.dev.modelName = "QV2081A";
    c.dev.listsRead = true;  // the parameters CRC 0x1234 was read
    vcx::scanShared().resultFolder = dir.path();
    run(0);
    view->OnBnClickedStart();
    runToEnd();
    ASSERT_FALSE(s.g_bScanPass);
    view->Save();
    EXPECT_EQ(logDialogs, 1);
    const QString report = dir.filePath("TestFail/QV2081A_B1_B2_090807.csv");
    const std::string bytes = readAll(report);
    EXPECT_EQ(bytes, readAll(QStringLiteral(QV_SOURCE_DIR "/tests/data/diag/open_column_save.csv")));
    EXPECT_TRUE(QImage(dir.filePath("TestFail/QV2081A_B1_B2_090807.png")).width() > 0);
    EXPECT_EQ(qvui::findControl<QPushButton>(view.get(), vcx::CVCXScanDlg::kIdSave)->text(), qvui::loadString(1107));
    EXPECT_EQ(view->buttonsState(), 4);
    // The driver check marks lines, not nodes: no [PDData] cell carries a star.
    const size_t pd = bytes.find("[PDData]"), sect = bytes.find("[SectData]");
    ASSERT_NE(pd, std::string::npos);
    EXPECT_EQ(bytes.substr(pd, sect - pd).find('*'), std::string::npos);
}

TEST_F(DiagSave, AnUnwritableFolderWritesNothingAndKeepsTheCaption) {
    prepare();
    c.dev.modelName = "QV2081A";
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    vcx::scanShared().resultFolder = dir.filePath("file");  // a file where the folder should be
    run(0);
    view->OnBnClickedStart();
    runToEnd();
    view->Save();
    EXPECT_EQ(qvui::findControl<QPushButton>(view.get(), vcx::CVCXScanDlg::kIdSave)->text(), qvui::loadString(1105));
    EXPECT_EQ(view->listRows().back(), "Cannot write " + dir.filePath("file") + "/TestPass/");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"file"});
    EXPECT_NE(view->buttonsState(), 4);
}

TEST_F(DiagSave, GoldenSampleThenDiagnosticTestReportsTheOpenColumn) {
    prepare({{"openColumn", "5 0 pattern1"}});
    const std::string folder = dir.filePath("proc_").toStdString();
    vcx::scanShared().processReportFolder = folder;
    run(6);
    EXPECT_FALSE(s.g_bScanPass);
    ASSERT_TRUE(tick(vcx::CVCXScanDlg::kTimerGoldenDone));
    EXPECT_EQ(boxTexts, (std::vector<QString>{"Golden Sample|Sorry! Some problems on this panel.\n\nIgnore and keep on?"}));
    EXPECT_EQ(main.of(qvui::WM_DEBUG_COMMAND), (std::vector<diagtest::Message>{{qvui::WM_DEBUG_COMMAND, 13, 0}}));
    EXPECT_EQ(s.golden.averageCount, 1);
    ASSERT_FALSE(s.BaseFrame.empty());

    run(4);
    EXPECT_EQ(s.g_wFailBits, vcx::kFailDriver);
    ASSERT_TRUE(tick(vcx::CVCXScanDlg::kTimerProcessDone));
    EXPECT_EQ(view->runState(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(main.of(qvui::WM_PROCESS_STEP), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 2, 7}}));
    const std::string report = readAll(QString::fromStdString(folder + "DiagnosticTestReport.csv"));
    const std::string end = "\rCheck Driver Abnormal Fail\rDriver Abnormal Index :\r4,5,6,\r";
    ASSERT_GE(report.size(), end.size());
    EXPECT_EQ(report.substr(report.size() - end.size()), end);
    EXPECT_EQ(report.rfind("\r[ Diagnostic Test Result ]\r", 0), 0u);
    EXPECT_NE(report.find("\r[GoldenSample]\r"), std::string::npos);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "DiagnosticTest(FAIL).png")));
}

TEST_F(DiagSave, PicturesAreTheClientAreaAndTheBand) {
    prepare();
    view->show();
    const QString plain = dir.filePath("plain.png"), coded = dir.filePath("coded.png");
    ASSERT_TRUE(vcx::SaveWindowPicture(view.get(), plain));
    ASSERT_TRUE(vcx::SaveWindowPictureWithCode(view.get(), coded, "SN-42"));
    const QImage a(plain), b(coded);
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    const QSize client = view->grab().size();
    EXPECT_EQ(a.size(), client);
    EXPECT_EQ(b.size(), QSize(client.width(), client.height() + vcx::kPictureBandHeight));
    // The band's corners are in the button colour; its middle carries the text.
    const QColor button = view->palette().color(QPalette::Button);
    EXPECT_EQ(b.pixelColor(0, client.height()), button);
    EXPECT_EQ(b.pixelColor(client.width() - 1, b.height() - 1), button);
    bool text = false;
    for (int x = 0; x < client.width() && !text; ++x)
        text = b.pixelColor(x, client.height() + vcx::kPictureBandHeight / 2) != button;
    EXPECT_TRUE(text);
    EXPECT_FALSE(vcx::SaveWindowPicture(nullptr, plain));
}

}  // namespace

namespace {

TEST_F(DiagSave, PageItemAppendsToTheDebugLogAndHandsBackToTheMainWindow) {
    prepare();
    const std::string log = dir.filePath("device.log").toStdString();
    {
        qvtext::TextWriter w(log.c_str(), qvtext::TextWriter::Mode::Create);
        w.write("head\r");
    }
    vcx::scanShared().debugLogPath = log;
    run(2);
    ASSERT_TRUE(s.g_bScanPass);
    // The page item reports no busy state of its own.
    EXPECT_TRUE(main.of(qvui::WM_PAGE_STATE).empty());
    ASSERT_TRUE(tick(vcx::CVCXScanDlg::kTimerPageDone));
    EXPECT_EQ(view->runState(), 0);
    EXPECT_EQ(view->buttonsState(), 4);
    EXPECT_EQ(main.of(qvui::WM_DEBUG_COMMAND), (std::vector<diagtest::Message>{{qvui::WM_DEBUG_COMMAND, 11, 1}}));
    const std::string text = readAll(QString::fromStdString(log));
    EXPECT_EQ(text.rfind("head\r\r[ Open Short Test Result ]\r\r[Result]\rDiagnose:, Pass\r\r[Threshold]\rFH mode:, 0", 0), 0u);
    const std::string end = "\r[ Open Short Test Result Finish ]\r";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_TRUE(QFile::exists(dir.filePath("device_OpenShortTest(PASS).png")));
}

TEST_F(DiagSave, ProcessOpenShortTestWritesItsReportAndPostsTheResult) {
    prepare();
    const std::string folder = dir.filePath("run_").toStdString();
    vcx::scanShared().processReportFolder = folder;
    vcx::scanShared().serialNumber = "SN-7";
    run(1);
    ASSERT_TRUE(tick(vcx::CVCXScanDlg::kTimerProcessDone));
    QCoreApplication::processEvents();
    EXPECT_EQ(main.of(qvui::WM_PROCESS_STEP), (std::vector<diagtest::Message>{{qvui::WM_PROCESS_STEP, 1, 2}}));
    const std::string report = readAll(QString::fromStdString(folder + "OpenShortTestReport.csv"));
    EXPECT_EQ(report.rfind("\r[ Open Short Test Result ]\r\rFirmware Version : QV2081A", 0), 0u) << report.substr(0, 80);
    EXPECT_NE(report.find("\rPanel Information : "), std::string::npos);
    const QImage picture(QString::fromStdString(folder + "OpenShortTest(PASS).png"));
    EXPECT_EQ(picture.height(), view->grab().height() + vcx::kPictureBandHeight);
}

TEST_F(DiagSave, SelectFolderTakesTheChosenFolder) {
    prepare();
    vcx::scanShared().resultFolder = "/start";
    std::vector<QString> asked;
    QString answer = dir.path();
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        asked.push_back(r.caption + "|" + r.directory);
        return answer;
    });
    view->OnBnClickedSelectFolder();
    EXPECT_EQ(vcx::scanShared().resultFolder, dir.path());
    answer.clear();  // cancelled: the folder stays
    view->OnBnClickedSelectFolder();
    EXPECT_EQ(vcx::scanShared().resultFolder, dir.path());
    EXPECT_EQ(asked, (std::vector<QString>{"Select CSV File Folder|/start", "Select CSV File Folder|" + dir.path()}));
}

}  // namespace

namespace {

// In a production line the scan saves by itself, numbered by its run counter,
// with no Log Dialog; Start stays disabled.
TEST_F(DiagSave, ProductionLineSavesEveryRunWithItsRunNumber) {
    qvtext::ScopedClock clock(qvtext::LocalTime{2026, 12, 10, 11, 22, 33, 0});
    prepare();
    c.dev.modelName = "QV2081A";
    vcx::scanShared().resultFolder = dir.path();
    vcx::scanShared().autoNumbering = true;
    vcx::startupState().pdLineState = 1;
    view->SetRunState(0);
    runToEnd();  // ready: the production line starts at once
    EXPECT_EQ(logDialogs, 0);
    EXPECT_TRUE(QFile::exists(dir.filePath("TestPass/QV2081A_1__112233.csv")));
    EXPECT_EQ(vcx::startupState().pdLineState, 0xFFFF);
    EXPECT_FALSE(qvui::findControl(view.get(), vcx::CVCXScanDlg::kIdStart)->isEnabled());
}

}  // namespace
