// The header lines every report and log begins with: each line in the break of
// its format, the three version layouts with their own spacings, and the lines
// that are left out.
#include "core/report_header.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// The bytes `fn` writes through a header of `lineBreak` into a fresh text-mode file.
std::string written(char lineBreak, const std::function<void(vcx::ReportHeader&)>& fn) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("h.csv").toStdString();
    {
        qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Create);
        vcx::ReportHeader h(w, lineBreak);
        fn(h);
    }
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
}

TEST(ReportHeader, SharedLinesInEitherBreak) {
    const auto all = [](vcx::ReportHeader& h) {
        h.WriteTime("2026/12/10 12:34:56");
        h.WriteApplicationVersion();
        h.WriteFunction("Open Short Test");
        h.WriteCoreVersion(0x23, 4, 513);
        h.WriteParametersCrc(true, 0x0ABC);
        h.WritePanel("G156HAN", "Glass");
    };
    // A lone "\r" stays on disk; "\n" becomes "\r\n".
    EXPECT_EQ(written('\r', all), "\rWrite Log Time : 2026/12/10 12:34:56\r\rApplication Version : Quorvane VCXMSet 2.7.3.13\r"
                                  "\rFunction : Open Short Test\r\rCore     Version : 2.3.4.513\r"
                                  "\rParameters CRC : x0ABC\rPanel Information : G156HAN\rCover Lens : Glass\r");
    EXPECT_EQ(written('\n', all),
              "\r\nWrite Log Time : 2026/12/10 12:34:56\r\n\r\nApplication Version : Quorvane VCXMSet 2.7.3.13\r\n"
              "\r\nFunction : Open Short Test\r\n\r\nCore     Version : 2.3.4.513\r\n"
              "\r\nParameters CRC : x0ABC\r\nPanel Information : G156HAN\r\nCover Lens : Glass\r\n");
    // No core byte: no core line; lists not read: the failure text.
    EXPECT_EQ(written('\r',
                      [](vcx::ReportHeader& h) {
                          h.WriteCoreVersion(0, 4, 513);
                          h.WriteParametersCrc(false, 0x0ABC);
                      }),
              "\rParameters CRC : Failed Get Parameters List");
}

TEST(ReportHeader, EachLayoutKeepsItsOwnVersionLines) {
    using L = vcx::VersionLayout;
    struct Case {
        const char* name;
        L layout;
        vcx::HeaderVersions v;
        std::string bytes;
    };
    const Case cases[] = {
        {"scan report, no slaves", L::ScanReport, {"M", {}, false, false}, "\rFirmware Version : M\r"},
        {"scan report: the first slave only", L::ScanReport, {"M", {"S1", "S2"}, false, false},
         "\rMaster Version : M\r\rSlave  Version : S1\r"},
        {"scan report, test firmware", L::ScanReport, {"M", {}, true, false}, "\rTest   Version : M\r"},
        {"process report: every slave numbered", L::ProcessReport, {"M", {"S1", "S2"}, false, false},
         "\rMaster   Version : M\rSlave 1  Version : S1\rSlave 2  Version : S2\r"},
        {"process report, test firmware", L::ProcessReport, {"M", {}, true, false}, "\rTest     Version : M\r"},
        {"process report, no slaves", L::ProcessReport, {"M", {}, false, false}, "\rFirmware Version : M\r"},
        {"device log with a slave: no colon after the master's name", L::DeviceLog, {"M", {"S1"}, false, false},
         "\rMaster   Version M\rSlave 1  Version : S1\r"},
        {"device log that always names the master", L::DeviceLog, {"M", {}, false, true}, "\rMaster   Version M\r"},
        {"device log, no slaves", L::DeviceLog, {"M", {}, false, false}, "\rFirmware Version : M\r"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(written('\r', [&](vcx::ReportHeader& h) { h.WriteVersions(k.layout, k.v); }), k.bytes);
    }
}

}  // namespace
