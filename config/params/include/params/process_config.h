// The process-list INI: the production run's work order, company, package
// name, report folder and the list of process steps, with the ODM firmware
// identities whose packages are found by identity instead of by name.
#pragma once

#include "core/controller_api.h"
#include "params/firmware_file.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class QWidget;

namespace qvui {
class IniFile;
}

namespace vcx {

constexpr int kMaxProcessSteps = 10;
constexpr int kMaxOdmFirmware = 64;

struct ProcessListConfig {
    QString workOrderNumber;
    QString company;
    QString pfpFileName;
    QString reportFolderPath;
    // Decimal digits of "Process List", least significant first; 0 ends the list.
    std::array<uint8_t, kMaxProcessSteps> processList{};
    uint8_t processListFlag = 0;
    uint8_t odmCount = 0;
    std::vector<uint32_t> odmCodes;  // FirmwareIdentityCode of each ODM firmware
};

// The "Process List Flag" of the last successful load (the region draw test
// reads its bit 2).
extern uint8_t g_ProcessListFlag;

constexpr const char* kProcessSection = "Process List Config";
constexpr const char* kOdmSection = "ODM List Config";

// The record from an INI file's text: 0, or 2 when a required value is missing
// or a value does not fit (empty work order, company or package name; a
// package name that is not a plain file name; a "Process List" of 0, negative,
// or with a 0 digit that would end the list early; "ODM FW Count" above 64 or
// negative; an ODM product outside 0..65535 or sub-type or version outside
// 0..255; a flag outside 0..255).
int ParseProcessConfig(const qvui::IniFile& ini, ProcessListConfig* out);
// "Process List" recombined from its digits.
uint64_t ProcessListValue(const ProcessListConfig& r);

// 0 loaded, 1 dialog cancelled, 2 file missing or not fitting (see above), 3
// the controller's package could not be loaded. With ask, the open dialog
// ("INI File", in the process-configuration folder, which then becomes the
// chosen file's) names *path. With a controller open, its package is found by
// identity when the controller is one of the ODM firmware, else opened by the
// "PFP file name", into fw. On 0 the flag is published in g_ProcessListFlag.
int LoadProcessConfigFile(QWidget* owner, Controller& c, LoadedFirmware& fw, bool ask, QString* path,
                          ProcessListConfig* out);

// The save dialog ("INI File") names the file; its folder is remembered. The
// firmware file loaded in fw is copied beside it when it is not there yet (a
// different file of the same name there: a message, nothing written). Then the
// six keys of "Process List Config". False when cancelled or refused.
bool SaveProcessConfigFile(QWidget* owner, const LoadedFirmware& fw, const ProcessListConfig& r,
                           QString* path = nullptr);

}  // namespace vcx
