// The main window's side of a production run's items that it carries out
// itself: the firmware verification against the loaded firmware file, its
// report, the draw test's report, and the head of the firmware-update log.
//
// Reports are appended in text mode; every line begins and ends with a lone
// "\r", as the process reports have them.
#pragma once

#include "core/controller_api.h"
#include "core/report_header.h"

#include <string>
#include <vector>

namespace vcx {

struct LoadedFirmware;
struct LoadedFirmwareSection;

// Whether a controller's firmware information is the image's: product number,
// major, minor, customer code and letter, and the build numbers (header bytes
// 19 and 18) against boot states A and B. A slave's number is compared
// without bit 15, which a slave image may carry.
bool FirmwareMatchesEntry(const FirmwareInformationW& info, const LoadedFirmwareSection& entry, bool slave);

// 1 the controller runs the loaded file's firmware with its parameters; 2 the
// master differs (the second entry of a file with slave images, else the
// first); 3 a slave differs from the first entry or cannot be selected or
// read; 4 the controller's parameter CRC (of the last read-out) is not the file's.
int VerifyFirmwareInformation(Controller& c, const LoadedFirmware& fw);

// "<prefix>VerifyFirmwareInformationReport.csv": the title, the version lines,
// the core line, the file's version texts and the result's line. False when
// the file cannot be opened or written.
bool WriteVerificationReport(const std::string& path, const ReportDevice& d, const LoadedFirmware& fw, int result);

// "<prefix>DrawTestReport.csv": the title, the version and core lines, the
// panel, and the draw test's result (1 pass, 2 user exit, 3 time out).
bool WriteDrawTestReport(const std::string& path, const ReportDevice& d, int result);

// The head of the firmware-update log of item 5: the controller's versions and
// CRC, then the file's, then the title of the update's own lines.
std::vector<std::string> FirmwareUpdateLogHeader(const ReportDevice& d, const LoadedFirmware& fw);

}  // namespace vcx
