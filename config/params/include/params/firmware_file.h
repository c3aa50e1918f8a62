// The firmware file VCXMSet keeps loaded: a plain image (.qvf, .qvc, .pnf,
// .pnc, .pxf, .pxc) or a .pfp package with the controller's parameter lists
// (PARA) and virtual-key table (VKEY). How such a file is picked, recognised,
// checked and loaded into a LoadedFirmware, how the package of a connected
// controller is found, and its identity code.
//
// The byte layout and the checks are the format module's (qvformat), under
// the program's rules; this file holds the loaded file's state and its two
// header messages.
#pragma once

#include "format/firmware_format.h"
#include "core/controller_api.h"

#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace vcx {

// One loaded image's header fields.
struct LoadedFirmwareSection {
    uint16_t productNumber = 0;  // little-endian, or big-endian for 6000/6005/6011/6203
    uint8_t letter = 0;          // 0 for the second series
    uint8_t major = 0;
    uint8_t series = 0;          // 2 second series, 1 S variant, else 0
    uint8_t minor = 0;
    uint8_t customer = 0;
    uint8_t headerVersion = 0;
    uint32_t dataSize = 0;
    uint16_t flags = 0;          // header version 16 and later
    uint8_t build[2] = {0, 0};   // header bytes 19 and 18 (version 16 and later)
    uint8_t info = 0;            // header byte 20 (version 19 and later)
    uint8_t copied[2] = {0, 0};  // header bytes 21 and 22 (version 16 and later)
    QString versionText;
};

// The package's parameter section.
struct PfpPara {
    uint32_t present = 0;
    uint8_t flags = 0;
    uint8_t touchLength = 0;
    uint8_t bootLength = 0;
    uint16_t crc = 0;
    std::vector<uint8_t> touch, boot;
};

// ---- the loaded file ---------------------------------------------------------

// Closes the file a load reads.
struct FirmwareFileCloser {
    void operator()(FILE* f) const {
        if (f) fclose(f);
    }
};

// The loaded firmware file and the state of a load in progress. The program
// has one (loadedFirmware()), which the pages that use the file are given;
// tests and fuzz targets make their own. Its members keep the names of the
// design's loaded-firmware state. It stays an aggregate without constructors:
// its member LoadedFirmware carries the class's own name.
struct LoadedFirmware {
    QString szFirmwarePath;                   // the file in use (also what the open dialog chose)
    uint8_t FirmwareFileKind = 0;             // kind flags of the loaded file; 0 when nothing is loaded
    std::array<uint8_t, 32> FirmwareHeader{}; // the last header read
    std::array<LoadedFirmwareSection, 4> LoadedFirmware;
    std::array<std::vector<uint8_t>, 4> SectionData; // each section's data bytes
    std::array<uint64_t, 4> SectionEnd{};            // file offset just past each section
    const uint8_t* pFirmwareData = nullptr;   // section 0's data after a successful load
    vcx::PfpPara PfpPara;
    VButtonTable PfpVKey{};
    // An unattended run: the header-version question is answered No without a box.
    bool bFirmwareLoadSilent = false;

    // The load in progress: the file it reads, the sections by entry, the first
    // header read (the package header of a package), and the answer to the
    // header-version question within the load.
    std::unique_ptr<FILE, FirmwareFileCloser> file;
    std::array<qvfmt::Section, 4> sections{};
    std::array<uint8_t, 32> firstHeader{};
    std::optional<bool> versionAnswer;
};

// The program's loaded firmware file, used on the main window's thread.
LoadedFirmware& loadedFirmware();

// The file the loaders read, opened "rb" (a test or fuzz target may hand in
// any FILE*, e.g. over memory). Closed by LoadFirmwareFile and by
// ClearFirmwareFileData(true).
void SetFirmwareFile(LoadedFirmware& fw, FILE* file);
FILE* FirmwareFile(const LoadedFirmware& fw);

// ---- the program's CRCs through the library binding -----------------------------

// CalculateParameterCRCEx (mode, start, lengths, lists) and CalculateVirtualButtonCRC;
// an empty slot gives an empty function (nothing then matches).
qvfmt::ParameterCrcFn ProgramParameterCrc(Controller& c);
qvfmt::VirtualKeyCrcFn ProgramVirtualKeyCrc(Controller& c);

// ---- picking and loading -------------------------------------------------------

// With ask: the open dialog first ("Quorvane Firmware", every firmware kind when
// anyKind, else packages only; "qvf" added to a name typed without extension;
// starting in the firmware dialog folder); cancel keeps the previous path and
// data and returns false. The file is then loaded. With anyKind a load stores
// the file's folder as the firmware dialog folder; without it a load succeeds
// only with a valid PARA section. Any failure clears the loaded data.
bool OpenFirmwareFile(QWidget* owner, Controller& c, LoadedFirmware& fw, bool ask, bool anyKind);
// "<process-configuration folder>/<name>", then (alsoProgramFolder)
// "<program folder><name>", each loaded without dialog as a package.
bool OpenFirmwareFileByName(Controller& c, LoadedFirmware& fw, const QString& name, bool alsoProgramFolder);
// The first package, in name order, of the process-configuration folder (then,
// when alsoProgramFolder, the program folder) whose identity is `code` and
// which loads with a valid PARA section.
bool FindFirmwareFileInFolder(Controller& c, LoadedFirmware& fw, bool alsoProgramFolder, uint32_t code);
// The file's first 16 bytes: byte 15 the plain sum of bytes 0..14, one of the
// eight magics, and the identity code `code`.
bool MatchFirmwareFileIdentity(const QString& path, uint32_t code);

// The header check with its two messages: magic, byte 15, byte 31 and flags
// ("This AP cannot support QVF header flag."), then for version 20 and later the
// question whether to go on, asked once per load.
bool CheckFirmwareFileHeader(QWidget* owner, LoadedFirmware& fw, const uint8_t* header);
// The kind (0..3, -1 refused) of the open file; sets FirmwareFileKind.
int DetectFirmwareFileKind(LoadedFirmware& fw);
// Reads the header at offset into entry `index` (checked, filled, and for
// entries 2 and 3 compared with entries 0 and 1) and sets SectionEnd[index].
bool ReadSectionHeader(QWidget* owner, LoadedFirmware& fw, int index, uint64_t offset);
// Loads the open file into fw and closes it.
bool LoadFirmwareFile(QWidget* owner, Controller& c, LoadedFirmware& fw);
// Reads section `index`'s data into SectionData and compares its trailer.
bool CheckSectionChecksum(LoadedFirmware& fw, int index);
// Empties every entry and buffer, the PARA record and the VKEY image; closes
// the file when closeFile.
void ClearFirmwareFileData(LoadedFirmware& fw, bool closeFile);

// (letter * 1000 + customer) * 10000 + product number.
uint32_t FirmwareIdentityCode(uint8_t letter, uint8_t customer, uint16_t product);
// The connected controller's: suffix byte, customer byte and model number.
uint32_t FirmwareIdentityCode(const FirmwareInformationW& info);

// The texts of the two header messages.
constexpr const char* kHeaderFlagText = "This AP cannot support QVF header flag.";
constexpr const char* kHeaderVersionQuestion = "This AP is only support Head Version under %d. Do you want to continue?";
constexpr const char* kHeaderMessageTitle = "Warning";
constexpr const char* kFirmwareFilterName = "Quorvane Firmware";

}  // namespace vcx
