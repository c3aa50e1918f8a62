// The test reports byte for byte: the matrix writer's cells and marks, the
// header's version lines, and a manual save of a panel with an open column
// against the report its format makes of the sensor model's frames; the process reports of a golden-sample run
// followed by a diagnostic test; the pictures; a folder that cannot be written.
#include "core/process_items.h"
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

#include <algorithm>
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

// ---- the manual save's report, derived from the sensor model and the report format ----------

// The mutual, extra and last-column parts of one scan of the simulated panel.
struct ScanParts {
    std::vector<std::vector<int>> mutual;  // rows x columns
    std::vector<std::vector<int>> extra;   // rows x extra columns
    std::vector<int> last;                 // one per row
};
ScanParts partsOf(const qvsim::ControllerProfile& p, uint8_t kind, uint32_t scan, uint8_t pattern) {
    const std::vector<uint16_t> whole = qvsim::SensorFrame(p, kind, scan, pattern);
    const size_t perRow = size_t(p.columns) + p.extraColumns + 1;
    ScanParts out;
    for (size_t r = 0; r < p.rows; ++r) {
        const auto row = whole.begin() + long(r * perRow);
        // Values are printed as signed 16-bit numbers.
        const auto value = [](uint16_t v) { return int(int16_t(v)); };
        std::vector<int> m, e;
        for (size_t c = 0; c < p.columns; ++c) m.push_back(value(row[long(c)]));
        for (size_t k = 0; k < p.extraColumns; ++k) e.push_back(value(row[long(p.columns + k)]));
        out.mutual.push_back(m);
        out.extra.push_back(e);
        out.last.push_back(value(row[long(perRow - 1)]));
    }
    return out;
}

// A table of the report: its title, the column numbers 0..n, each row numbered
// from 1 with its cells, then an empty line. Every cell ends in ",", every line
// in a lone CR. `boundary` columns carry a leading "_" (the drive-IC boundaries
// of a frequency-mode frame); no cell here carries a failure mark.
std::string table(const std::string& title, const std::vector<std::vector<int>>& rows, size_t n,
                  const std::vector<size_t>& boundary = {}) {
    std::string out = title;
    for (size_t i = 0; i <= n; ++i) out += std::to_string(i) + ",";
    out += "\r";
    for (size_t r = 0; r < rows.size(); ++r) {
        out += std::to_string(r + 1) + ",";
        for (size_t c = 0; c < rows[r].size(); ++c) {
            if (std::find(boundary.begin(), boundary.end(), c) != boundary.end()) out += "_";
            out += std::to_string(rows[r][c]) + ",";
        }
        out += "\r";
    }
    return out + "\r";
}

TEST_F(DiagSave, ManualSaveOfAnOpenColumnLaysOutTheScannedFrames) {
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
    // The report as its format lays it out, with the frames the sensor model
    // gives for each scan of the acquisition (frames 3..5 raw counts, 7..9 under
    // test pattern 1 with the open column, the extra and last-column arrays of
    // frame 5, the two frequency modes of frame 10).
    const qvsim::ControllerProfile& p = ctl().profile();
    const size_t a = p.rows, b = p.columns;
    std::string want =
        "\rWrite Log Time : 2026/12/10 09:08:07\r\rApplication Version : Quorvane VCXMSet 2.7.3.13\r"
        "\rFunction : Open Short Test\r\rFirmware Version : QV2081A.2.5.0   \r\rParameters CRC : x1234"
        "\rPanel Information : G156HAN  15.6\" (W)\rCover Lens : 1.1 mm Glass\r\rBatch1:, B1\r\rBatch2:, B2\r"
        "[Result]\rDiagnose:, Fail\r\r\r[Threshold]\r[Open Short Test Threshold]\r"
        "Debounce Level:,100,Driver Level:,100,Sensor Level:,100,Absolute Level:,100\r\r";
    for (uint32_t scan = 4; scan <= 6; ++scan) want += table("[RawData]\r", partsOf(p, qvsim::kSensorRaw, scan, 0).mutual, b);
    for (uint32_t scan = 7; scan <= 9; ++scan) want += table("[PDData]\r", partsOf(p, qvsim::kSensorRaw, scan, 1).mutual, b);
    const ScanParts frame5 = partsOf(p, qvsim::kSensorRaw, 6, 0);
    want += table("[SectData]\r", frame5.extra, p.extraColumns);
    // The last column: one line of A values under the row numbers 0..A-1.
    want += "[SelfData]\r";
    for (size_t i = 0; i < a; ++i) want += std::to_string(i) + ",";
    want += "\r";
    for (int v : frame5.last) want += std::to_string(v) + ",";
    want += "\r\r";
    const auto raw0 = partsOf(p, qvsim::kSensorRaw, 4, 0).mutual;
    want += table("\r[Raw data near]\rSensor :\r", raw0, b) + table("\rDriver :\r", raw0, b);
    // The base-flat limit is the finger threshold (60) x 4/3; each mode's figures
    // are the run's statistics. Columns 13 and 27 are the diag panel's drive-IC
    // boundaries.
    want += "\r[Base Flat]\rMax TH : 80\rCount TH : 22\r";
    const std::vector<size_t> boundaries = {13, 27};
    const uint8_t modeKinds[2] = {qvsim::kSensorRaw, 0x81};
    for (int k = 0; k < 2; ++k) {
        want += "\rFrequency Mode " + std::to_string(k) + "\r";
        want += table("", partsOf(p, modeKinds[k], 10, 0).mutual, b, boundaries);
        want += "Max : " + std::to_string(s.BaseFlatMax[size_t(k)]) + "\nCount : " +
                std::to_string(s.BaseFlatCount[size_t(k)]) + "\r";
    }
    // On disk the one "\n" of each mode's figures is CR LF.
    size_t at = 0;
    while ((at = want.find('\n', at)) != std::string::npos) {
        want.insert(at, "\r");
        at += 2;
    }
    EXPECT_EQ(bytes, want);
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
    // The process page's banner stands while the scan runs and goes when it ends.
    int bannerHidden = 0;
    vcx::processPage().hideBanner = [&] { ++bannerHidden; };
    ASSERT_TRUE(tick(vcx::CVCXScanDlg::kTimerProcessDone));
    vcx::processPage().hideBanner = nullptr;
    EXPECT_EQ(bannerHidden, 1);
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
