// The production run's files without a page: the summary row's check value,
// the counters rewritten in place, the detail report's item lines, the item
// files appended and removed, and where the banner stands.
#include "diag/process_report.h"

#include "text/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::string local(const QString& s) { return QFile::encodeName(s).toStdString(); }

TEST(ProcessReport, RowCheckValuesAndRows) {
    struct Case {
        vcx::SummaryRow row;
        uint16_t check;
    };
    const Case cases[] = {
        {{"1,", "2.05", 0x1234, "12:34:56", "Pass", ""}, 0xCB93},
        {{"B001,B002", "2.05", 0x1234, "12:34:56", "Fail", "Open / Short Test"}, 0x362B},
        {{"", "", 0, "", "", ""}, 0x56C6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.numbering + "|" + c.row.result);
        EXPECT_EQ(vcx::ProcessRowCheckValue(c.row), c.check);
    }
    EXPECT_EQ(vcx::SummaryRowText(cases[0].row), "1,,2.05,x1234,12:34:56,Pass,,xCB93\n");
    EXPECT_EQ(vcx::SummaryRowText(cases[1].row), "B001,B002,2.05,x1234,12:34:56,Fail,Open / Short Test,x362B\n");
}

TEST(ProcessReport, BannerCoversTheTopOfTheMainWindow) {
    struct Case {
        vcx::WindowRect page, main;
        vcx::BannerPlace banner;
    };
    const Case cases[] = {
        // d = (1000 - 800) / 2 = 100.
        {{200, 300, 1000, 700}, {100, 50, 1100, 800}, {0, -50, 1200, 250}},
        // The page wider than the main window: d = (600 - 801) / 2 = -100 (truncated towards 0).
        {{0, 120, 801, 500}, {10, 20, 610, 700}, {110, 120, 400, 100}},
        // Same width: the banner is the main window's width, down to the page.
        {{5, 90, 505, 400}, {5, 10, 505, 400}, {5, 10, 500, 80}},
    };
    for (const Case& c : cases) EXPECT_EQ(vcx::PlaceBanner(c.page, c.main), c.banner);
}

TEST(ProcessReport, DetailLinesStopJudgingAtTheFirstFailure) {
    vcx::DetailRun run;
    run.workOrder = "WO7";
    run.company = "ACME";
    run.serialNumber = 12;
    run.list = {1, 3, 4, 6};
    run.passed = {true, false, false, false};
    EXPECT_EQ(vcx::DetailRunText(run),
              "\nWork Order Number,WO7\nCompany,ACME\n\nSerial Number,12\n"
              "\nVerify Firmware Information,PASS\nBuild System Reference,FAIL\nDrawing Test\nNoise Level\n");
    EXPECT_EQ(vcx::FirstFailedItem(run), 3);

    run.batchNumbering = true;
    run.secondBatch = true;
    run.batch1 = "B1";
    run.batch2 = "B2";
    run.list = {};
    EXPECT_EQ(vcx::DetailRunText(run), "\nWork Order Number,WO7\nCompany,ACME\n\nBatch Number,B1\nBatch Number2,B2\n\n");
    EXPECT_EQ(vcx::FirstFailedItem(run), 0);
}

TEST(ProcessReport, ItemFilesAreAppendedUpToTheFailureAndRemoved) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string prefix = local(dir.path()) + "/QV2105_001_";
    const QString detail = dir.filePath("QV2105_001_ProcessListReport.csv");
    writeBytes(detail, "head\r\n");
    writeBytes(dir.filePath("QV2105_001_VerifyFirmwareInformationReport.csv"), "\r[ Verify ]\rPass.\r");
    const QByteArray build("\r[ Build ]\r\n\x01\x00z", 15);  // whatever bytes it holds, a zero included
    writeBytes(dir.filePath("QV2105_001_BuildSystemReferenceReport.csv"), build);
    writeBytes(dir.filePath("QV2105_001_NoiseLevelReport.csv"), "earlier");
    vcx::DetailRun run;
    run.list = {1, 3, 6};
    run.passed = {true, false, false};
    vcx::AppendItemReports(local(detail), prefix, run);
    EXPECT_EQ(bytesOf(detail), "head\r\n\r[ Verify ]\rPass.\r" + build);
    EXPECT_FALSE(QFile::exists(dir.filePath("QV2105_001_VerifyFirmwareInformationReport.csv")));
    EXPECT_FALSE(QFile::exists(dir.filePath("QV2105_001_BuildSystemReferenceReport.csv")));
    // Item 6 never ran: its file is not this product's and stays for the start of the next run to remove.
    EXPECT_TRUE(QFile::exists(dir.filePath("QV2105_001_NoiseLevelReport.csv")));
    vcx::RemoveItemReports(prefix);
    EXPECT_FALSE(QFile::exists(dir.filePath("QV2105_001_NoiseLevelReport.csv")));
    EXPECT_TRUE(QFile::exists(detail));
}

TEST(ProcessReport, CountersAreRewrittenInPlaceAndReadBackClamped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ACME_WO7_ProcessListReport.csv");
    {
        qvtext::TextWriter w(local(path).c_str(), qvtext::TextWriter::Mode::Create);
        w.write(vcx::SummaryHeaderText("01/02/2025", "WO7", "ACME"));
        w.write("1,,2.05,x1234,12:34:56,Pass,,xCB93\n");
    }
    const QByteArray header =
        "Date,,01/02/2025\r\n\r\nAP,,Quorvane VCXMSet 2.7.3.13\r\n\r\n\r\nWork Order Number,WO7\r\nCompany,ACME\r\n"
        "[Test Count]\r\nTest Count=%1\r\n\r\n[Pass Count]\r\nPass Count=%2\r\n\r\n[Fail Count]\r\nFail Count=%3\r\n\r\n"
        "Batch Number,Batch Number 2,Firmware Version,Parameters CRC,Time,Result,Note\r\n";
    const QByteArray row = "1,,2.05,x1234,12:34:56,Pass,,xCB93\r\n";
    auto expected = [&](int t, int p, int f) {
        return QString::fromLatin1(header).arg(t).arg(p).arg(f).toLatin1() + row;
    };
    EXPECT_EQ(bytesOf(path), expected(0, 0, 0));
    ASSERT_TRUE(vcx::WriteSummaryCounters(local(path), {9, 8, 1}));
    EXPECT_EQ(bytesOf(path), expected(9, 8, 1));
    // A longer count moves the rows; they stay whole.
    ASSERT_TRUE(vcx::WriteSummaryCounters(local(path), {10, 8, 2}));
    EXPECT_EQ(bytesOf(path), expected(10, 8, 2));
    const vcx::SummaryCounters back = vcx::ReadSummaryCounters(local(path));
    EXPECT_EQ(back.test, 10u);
    EXPECT_EQ(back.pass, 8u);
    EXPECT_EQ(back.fail, 2u);

    // An edited summary with more passes than tests: no failure count wraps around.
    ASSERT_TRUE(vcx::WriteSummaryCounters(local(path), {3, 5, 0}));
    EXPECT_EQ(vcx::ReadSummaryCounters(local(path)).fail, 0u);
}

TEST(ProcessReport, AMissingCounterKeyIsWrittenAsThePrivateProfileWouldPutIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("s.csv");
    writeBytes(path, "[Test Count]\r\nTest Count=4\r\n[Pass Count]\r\nPass Count=4\r\nrow\r\n");
    ASSERT_TRUE(vcx::WriteSummaryCounters(local(path), {5, 4, 1}));
    EXPECT_EQ(bytesOf(path), QByteArray("[Test Count]\r\nTest Count=5\r\n[Pass Count]\r\nPass Count=4\r\nrow\r\n"
                                        "[Fail Count]\r\nFail Count=1\r\n"));
    EXPECT_FALSE(vcx::WriteSummaryCounters(local(dir.filePath("missing/s.csv")), {1, 1, 0}));
}

}  // namespace
