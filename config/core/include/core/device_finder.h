// The program's search for a controller: closes the open one, lists every
// controller the library finds and opens one of them: the one whose key was
// remembered before a reset, else the first of the current series. In the
// "-enumfu" run it opens instead the next controller, not yet handled in this
// run, for which "EnumUpdate.ini" in the program folder names a package, and
// makes that package the command line's file.
#pragma once

#include "core/controller_api.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace vcx {

struct ListedDevice {
    QString path;  // at most 259 characters
    QString model; // at most 19
    QString key;   // at most 19
};

struct DeviceFinder {
    static constexpr int kMaxDevices = 16;
    std::vector<ListedDevice> list; // the last enumeration, at most kMaxDevices
    int reported = 0;               // devices that enumeration reported, kept or not
    QString programFolder;          // ends with '/'; holds "EnumUpdate.ini"
    bool enumFU = false;            // the "-enumfu" run
    QString enumKey;                // the controller now being updated ("-enumfu")
    QStringList handledKeys;        // controllers handled in this run, at most kMaxDevices
    QString* fileArg = nullptr;     // receives the package path ("-enumfu")
    // Why the last search opened nothing: the library's reason for the last
    // candidate that failed (enumeration or open); empty when it gave none.
    QString failure;
};

// The program's instance: the program folder of this executable, the start-up's
// "-enumfu" flag and file argument.
DeviceFinder& deviceFinder();

constexpr const char* kEnumUpdateIni = "EnumUpdate.ini";

// True when a controller is open afterwards (c.dev.device, deviceType,
// modelName and currentKey set; the remembered key consumed).
bool FindQVDevice(Controller& c, DeviceFinder& f);
// The line VCXMSet writes to stderr when a search opened no controller:
// "VCXMSet: no controller: <reason>", where the reason is the search's failure,
// else "none found" (nothing listed) or "none of the N listed could be opened".
QString noControllerLine(const DeviceFinder& f);

// The list index of the device opened into c.dev.device, or -1.
int OpenPreferredDevice(Controller& c, DeviceFinder& f);
int OpenEnumUpdateDevice(Controller& c, DeviceFinder& f);
// True when "EnumUpdate.ini" names an existing package for the open controller
// (by model, letter and parameter CRC); the package path goes to *f.fileArg.
bool LookUpEnumUpdate(Controller& c, DeviceFinder& f);

// The "QV%d%s" section name of a controller: model number and its letter.
QString enumUpdateSection(const FirmwareInformationW& info);

// [0] the controller's parameter CRC, [1] the CRC over the touch and boot lists
// the program holds (mode 1, from the virtual-key CRC word c.dev.virtualKeyCrc). 1 equal, 2 different, 0 when the controller gives none
// (then [0] := [1]). Both are kept in c.dev.
int CheckParameterCRC(Controller& c, uint16_t crc[2]);

} // namespace vcx
