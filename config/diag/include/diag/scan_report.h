// The open/short and diagnostic test reports: the manual save's report, the
// process reports "OpenShortTestReport" and "DiagnosticTestReport", the result
// section appended to the Debug page's open log, the matrix writer that prints
// a frame with its failure marks, and the pictures of the program window.
//
// Every text goes through the text-mode writer, so the lines end with a lone
// "\r" and a literal "\n" reaches the file as "\r\n". The time texts come from
// qvtext::localTimeNow(), which tests replace with a fixed clock.
#pragma once

#include "core/report_header.h"
#include "diag/diag_state.h"
#include "text/text_file.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QWidget;
struct FirmwareInformationW;

namespace vcx {

struct Controller;

// The three time texts of a save: "%H%M%S", "%Y/%m/%d %H:%M:%S", "%H:%M:%S".
struct ReportTimes {
    std::string t0, t1, t2;
};
ReportTimes TakeTimeTexts();

// Everything a report prints besides the diagnostic state.
struct ReportContext {
    ReportDevice device;
    ReportTimes times;
    std::string batch1, batch2;
    int rows = 0, columns = 0, extraColumns = 0;  // A, B, C
};

// WriteMatrix layout bits.
enum MatrixLayout : int {
    kMatrixOneLine = 0x01,  // one line of A values (the last-column array)
    kMatrixExtra = 0x02,    // C columns (the extra array) instead of B
    kMatrixMarks = 0x80,    // failure marks on
};

std::string BuildCsvName(const std::string& folder, const ReportContext& r, const std::string& suffix);
std::string BuildPngName(const std::string& folder, const ReportContext& r, const std::string& suffix);
// The manual save's file suffix: "_" batch 1 "_" batch 2 "_" time text 0.
std::string SaveSuffix(const ReportContext& r);

bool WriteReportHeader(qvtext::TextWriter& w, const ReportContext& r, const char* function);
// One frame as a table, values printed as signed 16-bit; values the frame lacks print as 0.
bool WriteMatrix(qvtext::TextWriter& w, const ReportContext& r, const DiagState& s, const Frame& data,
                 const char* title, int markMode, int layout);
bool WriteThresholds(qvtext::TextWriter& w, const DiagState& s, int runState);
bool WriteScanResult(qvtext::TextWriter& w, const ReportContext& r, const DiagState& s, int runState);
bool WriteAbnormalIndex(qvtext::TextWriter& w, const DiagState& s);

// The manual-save report into `folder` (with its trailing '/'); false when the
// file could not be opened or a byte did not reach it.
bool WriteScanReport(const std::string& folder, const ReportContext& r, const DiagState& s);
// The versions block of a process report: the firmware (test, master or plain)
// and slave versions, the core version when there is one, the panel and lens.
void WriteProcessVersions(qvtext::TextWriter& w, const ReportDevice& d);
// The process reports in the process report folder (a path prefix), each with
// its picture of `window` and the serial number or bar code in the band.
bool WriteOpenShortProcessReport(const std::string& reportFolder, const ReportContext& r, const DiagState& s,
                                 QWidget* window, const QString& serialNumber);
bool WriteDiagnosticProcessReport(const std::string& reportFolder, int runState, const ReportContext& r,
                                  const DiagState& s, QWidget* window, const QString& serialNumber);
// Into the Debug page's open log file at `logPath`; the picture beside it,
// named after the path without its extension.
bool AppendOpenShortResult(const std::string& logPath, const ReportContext& r, const DiagState& s, QWidget* window);

// PNG pictures of the window's client area; WithCode adds a 50-pixel band in the
// button colour below it with "Serial Number / Bar Code : %s" centred.
bool SaveWindowPicture(QWidget* window, const QString& path);
bool SaveWindowPictureWithCode(QWidget* window, const QString& path, const QString& code);
constexpr int kPictureBandHeight = 50;

}  // namespace vcx
