#include "diag/scan_report.h"

#include "core/controller_api.h"
#include "core/device_text.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace vcx {

namespace {


const char* passText(bool pass) { return pass ? "Pass" : "Fail"; }
const char* codeText(bool pass) { return pass ? "PASS" : "FAIL"; }

int16_t at(const Frame& f, size_t i) { return i < f.size() ? int16_t(f[i]) : int16_t(0); }
uint8_t byteAt(const std::vector<uint8_t>& v, size_t i) { return i < v.size() ? v[i] : 0; }

// The path prefix of a file: everything before its extension.
std::string withoutExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

void writeOpenShortLevels(qvtext::TextWriter& w, const ThresholdSet& t) {
    w.printf("Debounce Level:,%u,Driver Level:,%u,Sensor Level:,%u,Absolute Level:,%u\r\r", t.Debounce, t.Driver,
             t.Sensor, t.Absolute);
}

// The frames of a scan result; `manual` picks the manual save's titles.
void writeFrames(qvtext::TextWriter& w, const ReportContext& r, const DiagState& s, bool manual) {
    for (const Frame& f : s.RawFrame) WriteMatrix(w, r, s, f, "[RawData]\r", 0, kMatrixMarks);
    for (const Frame& f : s.ScanFrame) WriteMatrix(w, r, s, f, "[PDData]\r", 0, kMatrixMarks);
    WriteMatrix(w, r, s, s.ExtraFrame, "[SectData]\r", 0, kMatrixExtra);
    WriteMatrix(w, r, s, s.LastColumn, "[SelfData]\r", 0, kMatrixOneLine);
    WriteMatrix(w, r, s, s.RawFrame[0], "\r[Raw data near]\rSensor :\r", 0x01, kMatrixMarks);
    WriteMatrix(w, r, s, s.RawFrame[0], manual ? "\rDriver :\r" : "Driver :\r", 0x02, kMatrixMarks);
    w.printf(manual ? "\r[Base Flat]\rMax TH : %d\rCount TH : 22\r" : "[Base Flat]\rMax TH : %d\rCount TH : 22\r",
             int(s.BaseFlatMaxLimit));
    const int modes = std::min<int>(s.g_nFreqModeCount, kMaxFreqModes);
    for (int k = 0; k < modes; ++k) {
        w.printf("\rFrequency Mode %d\r", k);
        WriteMatrix(w, r, s, s.ModeFrame[size_t(k)], "", 1 << (k + 4), kMatrixMarks);
        w.printf(manual ? "Max : %d\nCount : %d\r" : "Max : %d\rCount : %d\r", s.BaseFlatMax[size_t(k)],
                 s.BaseFlatCount[size_t(k)]);
        if (s.BaseFlatFailModes & (1u << k)) w.write("*Fail\r");
    }
}

bool finish(qvtext::TextWriter& w) { return w.close(); }

bool folderFor(const std::string& path) {
    const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
    return QDir().mkpath(folder);
}

} // namespace

void WriteProcessVersions(qvtext::TextWriter& w, const ReportDevice& d) {
    ReportHeader header(w, '\r');
    header.WriteVersions(VersionLayout::ProcessReport, {d.firmwareVersion, d.slaves, d.testFirmware, false});
    header.WriteCoreVersion(d.core, d.coreMinor, d.coreBuild);
    header.WritePanel(d.panelInformation, d.coverLens);
}

ReportTimes TakeTimeTexts() {
    const qvtext::LocalTime t = qvtext::localTimeNow();
    char b0[16], b1[32], b2[16];
    std::snprintf(b0, sizeof b0, "%02d%02d%02d", t.hour, t.minute, t.second);
    std::snprintf(b1, sizeof b1, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::snprintf(b2, sizeof b2, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return {b0, b1, b2};
}

std::string BuildCsvName(const std::string& folder, const ReportContext& r, const std::string& suffix) {
    return folder + r.device.modelName + suffix + ".csv";
}

std::string BuildPngName(const std::string& folder, const ReportContext& r, const std::string& suffix) {
    return folder + r.device.modelName + suffix + ".png";
}

std::string SaveSuffix(const ReportContext& r) { return "_" + r.batch1 + "_" + r.batch2 + "_" + r.times.t0; }

bool WriteReportHeader(qvtext::TextWriter& w, const ReportContext& r, const char* function) {
    const ReportDevice& d = r.device;
    ReportHeader header(w, '\r');
    header.WriteTime(r.times.t1);
    header.WriteApplicationVersion();
    header.WriteFunction(function);
    header.WriteVersions(VersionLayout::ScanReport, {d.firmwareVersion, d.slaves, d.testFirmware, false});
    header.WriteCoreVersion(d.core, d.coreMinor, d.coreBuild);
    header.WriteParametersCrc(d.crcValid, d.crc);
    header.WritePanel(d.panelInformation, d.coverLens);
    w.printf("\rBatch1:, %s\r", r.batch1.c_str());
    w.printf("\rBatch2:, %s\r", r.batch2.c_str());
    return w.ok();
}

bool WriteMatrix(qvtext::TextWriter& w, const ReportContext& r, const DiagState& s, const Frame& data,
                 const char* title, int markMode, int layout) {
    const int a = std::max(r.rows, 0), b = std::max(r.columns, 0), c = std::max(r.extraColumns, 0);
    const bool oneLine = layout & kMatrixOneLine;
    const int n = oneLine ? a - 1 : (layout & kMatrixExtra) ? c : b;
    w.write(title);
    for (int i = 0; i <= n; ++i) w.printf("%d,", i);
    w.write("\r");
    if (oneLine) {
        for (int i = 0; i < a; ++i) w.printf("%d,", at(data, size_t(i)));
        w.write("\r");
    } else {
        const int columns = (layout & kMatrixExtra) ? c : b;
        // Marks and the boundary-column sign belong to the A x B frames only.
        const bool grid = !(layout & kMatrixExtra);
        for (int row = 0; row < a; ++row) {
            w.printf("%d,", row + 1);
            for (int col = 0; col < columns; ++col) {
                const size_t i = size_t(row) * size_t(columns) + size_t(col);
                bool boundary = false, marked = false;
                if (grid) {
                    boundary = markMode >= 0x10 && byteAt(s.g_ColumnFlags, size_t(col)) == 1;
                    if (layout & kMatrixMarks)
                        marked = markMode == 0 ? at(s.NodeFailMask, i) != 0 : (byteAt(s.g_FailMap, i) & markMode) != 0;
                }
                const char* form = boundary ? (marked ? "_*%d," : "_%d,") : (marked ? "*%d," : "%d,");
                w.printf(form, at(data, i));
            }
            w.write("\r");
        }
    }
    w.write("\r");
    return w.ok();
}

bool WriteThresholds(qvtext::TextWriter& w, const DiagState& s, int runState) {
    w.write("\r[Threshold]");
    w.printf("\rFH mode:, %d", int(s.g_nFHMode & 0xFF));
    if (runState == 0) {
        w.write("\r[Open Short Test Threshold]\r");
        writeOpenShortLevels(w, s.ScanTh);
    } else if (runState & 1) {
        w.printf("\r[Control Board Test Threshold]\rMinus Level:,%u,Debounce Level:,%u\r\r", s.CBTh.Minus,
                 s.CBTh.Debounce);
    } else {
        w.printf("\r[Diagnostic Test Threshold]\rMinus Level:,%u,Debounce Level:,%u,Node Level:,%u,\r", s.DiagTh.Minus,
                 s.DiagTh.Debounce, s.DiagTh.Node);
        w.write("[Open Short Test Threshold]\r");
        writeOpenShortLevels(w, s.ScanTh);
    }
    return w.ok();
}

bool WriteScanResult(qvtext::TextWriter& w, const ReportContext& r, const DiagState& s, int runState) {
    w.write("\r[Result]\rDiagnose:, ");
    w.write(s.g_bScanPass ? "Pass\r" : "Fail\r");
    WriteThresholds(w, s, runState);
    writeFrames(w, r, s, false);
    return w.ok();
}

bool WriteAbnormalIndex(qvtext::TextWriter& w, const DiagState& s) {
    static const char* const kTexts[kFailBitCount] = {
        "Check Same Data Fail",   "Check Debounce Fail",      "Check Driver Abnormal Fail",
        "Check Sensor Abnormal Fail", "Check Node Data Fail", "Check Absolute Data Fail",
        "Check Near Raw Fail",    "Check Base Flat Fail",     "Check MinusData Fail",
        "Check Firmware Version Fail", "Check Interface Fail",
    };
    for (int i = 0; i < kFailBitCount; ++i)
        if (s.g_wFailBits & (1u << i)) w.printf("\r%s\r", kTexts[i]);
    const auto indexLine = [&](const char* heading, const Frame& mask) {
        w.write(heading);
        std::string line;
        char number[16];
        for (size_t i = 0; i < mask.size(); ++i)
            if (mask[i] != 0) {
                std::snprintf(number, sizeof number, "%d,", int(i));
                line += number;
            }
        w.printf("%s\r", line.c_str());
    };
    if (s.g_wFailBits & kFailDriver) indexLine("Driver Abnormal Index :\r", s.DriverFailMask);
    if (s.g_wFailBits & kFailSensor) indexLine("Sensor Abnormal Index :\r", s.SensorFailMask);
    return w.ok();
}

bool WriteScanReport(const std::string& folder, const ReportContext& r, const DiagState& s) {
    const std::string path = BuildCsvName(folder, r, SaveSuffix(r));
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    WriteReportHeader(w, r, "Open Short Test");
    w.printf("[Result]\rDiagnose:, %s\r\r", passText(s.g_bScanPass));
    // The manual save's threshold block: the open/short levels alone.
    w.write("\r[Threshold]");
    w.write("\r[Open Short Test Threshold]\r");
    writeOpenShortLevels(w, s.ScanTh);
    writeFrames(w, r, s, true);
    return finish(w);
}

bool WriteOpenShortProcessReport(const std::string& reportFolder, const ReportContext& r, const DiagState& s,
                                 QWidget* window, const QString& serialNumber) {
    const std::string path = reportFolder + "OpenShortTestReport.csv";
    if (!folderFor(path)) return false;
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    w.write("\r[ Open Short Test Result ]\r");
    WriteProcessVersions(w, r.device);
    WriteScanResult(w, r, s, 0);
    const bool written = finish(w);
    const QString picture =
        QString::fromStdString(reportFolder) + QStringLiteral("OpenShortTest(%1).png").arg(codeText(s.g_bScanPass));
    const bool saved = SaveWindowPictureWithCode(window, picture, serialNumber);
    return written && saved;
}

bool WriteDiagnosticProcessReport(const std::string& reportFolder, int runState, const ReportContext& r,
                                  const DiagState& s, QWidget* window, const QString& serialNumber) {
    const std::string path = reportFolder + "DiagnosticTestReport.csv";
    if (!folderFor(path)) return false;
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    w.write("\r[ Diagnostic Test Result ]\r");
    WriteProcessVersions(w, r.device);
    WriteScanResult(w, r, s, runState);
    WriteMatrix(w, r, s, s.BaseFrame, "\r[GoldenSample]\r", 0, 0);
    for (const Frame& f : s.DiffFrame) WriteMatrix(w, r, s, f, "[MinusData]\r", 0, 0);
    WriteAbnormalIndex(w, s);
    const bool written = finish(w);
    const QString picture =
        QString::fromStdString(reportFolder) + QStringLiteral("DiagnosticTest(%1).png").arg(codeText(s.g_bScanPass));
    const bool saved = SaveWindowPictureWithCode(window, picture, serialNumber);
    return written && saved;
}

bool AppendOpenShortResult(const std::string& logPath, const ReportContext& r, const DiagState& s, QWidget* window) {
    qvtext::TextWriter w(logPath.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    w.write("\r[ Open Short Test Result ]\r");
    WriteScanResult(w, r, s, 0);
    w.write("\r[ Open Short Test Result Finish ]\r");
    const bool written = finish(w);
    const QString picture = QString::fromStdString(withoutExtension(logPath)) +
                            QStringLiteral("_OpenShortTest(%1).png").arg(codeText(s.g_bScanPass));
    return SaveWindowPicture(window, picture) && written;
}

namespace {

QImage clientImage(QWidget* window) {
    if (!window) return {};
    return window->grab(window->rect()).toImage();
}

} // namespace

bool SaveWindowPicture(QWidget* window, const QString& path) {
    const QImage image = clientImage(window);
    if (image.isNull()) return false;
    return image.save(path, "PNG");
}

bool SaveWindowPictureWithCode(QWidget* window, const QString& path, const QString& code) {
    QImage client = clientImage(window);
    if (client.isNull()) return false;
    client.setDevicePixelRatio(1);
    // The picture keeps the client area's device pixels; the band is 50 of them.
    QImage image(client.width(), client.height() + kPictureBandHeight, QImage::Format_RGB32);
    image.fill(window->palette().color(QPalette::Button));
    {
        QPainter p(&image);
        p.drawImage(0, 0, client);
        p.setPen(window->palette().color(QPalette::ButtonText));
        p.drawText(QRect(0, client.height(), client.width(), kPictureBandHeight), Qt::AlignCenter | Qt::TextSingleLine,
                   QStringLiteral("Serial Number / Bar Code : %1").arg(code));
    }
    return image.save(path, "PNG");
}

}  // namespace vcx
