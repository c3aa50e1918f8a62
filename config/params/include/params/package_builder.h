// Package building: the Field Update page's "Combine Firmware and Parameters"
// writes a .pfp package from the loaded firmware file and the connected
// controller's current parameter lists and virtual-key table.
#pragma once

#include "core/controller_api.h"
#include "format/firmware_format.h"
#include "params/firmware_file.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QWidget;

namespace vcx {

// -1 when the file loaded in fw and the controller belong together, else the reason:
// 0 a two-image file and no slaves (or no file), 1 a single-image file and
// slaves, 2 a slave in its boot loader, 3 identity, version or build bytes
// differ, 4 an older header and the controller reports build bytes.
int CheckPackageCombinable(Controller& c, const LoadedFirmware& fw);

struct CombineReasonText {
    uint32_t text;   // string ids of the program's table
    uint32_t title;
};
// The message of a reason 0..4.
const CombineReasonText& CombineReason(int reason);

// The controller's virtual keys: its ParameterVButton record is valid, the two
// panel words at offsets 76 and 78 of its ParameterPanel record are non-zero,
// and the table VButtonRead gives has a used entry or a first entry whose
// second corner lies beyond its first in both coordinates. *table holds what
// was read.
bool HasVirtualKeyData(Controller& c, VButtonTable* table);

struct CombineResult {
    bool written = false;
    QString path;        // the package written
    QString resultText;  // string 1361 when written
};

// The whole command: the reasons' messages, the folder picker ("Select PFP File
// Folder", in the firmware dialog folder, which it then becomes), the name
// "QV<firmware name>_x<CRC>[(n)].pfp", the loaded file read again and checked
// against what was loaded, the package composed in memory and checked by the
// program's own reader, then written to a temporary file renamed into place.
// Any failure after the folder was chosen shows a message and leaves no file.
CombineResult CombineFirmwareAndParameters(QWidget* page, Controller& c, const LoadedFirmware& fw);

// The writers of the package's parts.
// The package header from the loaded file's first header: the version-19 rule
// with the controller's build bytes, bit 1, bit 3 set when the controller has
// virtual keys and a parameter version above 138 (kept as it was with keys on
// an older version, cleared without keys), byte 20 the controller's
// information byte, the package magic of the kind flags, the sums. *virtualKeys:
// bit 3 ended up set; *table: the controller's table.
std::array<uint8_t, 32> WritePackageHeader(Controller& c, const uint8_t* firstHeader, uint8_t kindFlags,
                                           int paraVersion, VButtonTable* table, bool* virtualKeys);
// "PARA" with the controller's touch and boot lists and `crc`; flags bit 0 added
// on a controller with a parameter version whose feature byte 2 has bit 7.
std::optional<std::vector<uint8_t>> WritePfpParaSection(Controller& c, uint8_t flags, uint16_t crc, int paraVersion);
// "VKEY" with entries 0..count of the table; nullopt when it does not fit.
std::optional<std::vector<uint8_t>> WritePfpVkeySection(const VButtonTable& table);

// ---- the package from its parts, without the controller ----------------------

// The controller's part of the package's headers: its build bytes (its boot
// state bytes outside the loader), and its first slave's build bytes and
// information byte for a configuration image.
struct PackageBuild {
    uint8_t buildA = 0, buildB = 0;
    uint8_t slaveBuildA = 0, slaveBuildB = 0, slaveInfo = 0;
};

// What a package is made of: the firmware file's bytes and its sections in
// file order (as the format module read them), its kind flags, the package
// header (WritePackageHeader), the build bytes, and the PARA and (possibly
// empty) VKEY sections.
struct PackageParts {
    std::vector<uint8_t> source;
    std::vector<qvfmt::Section> sections;
    uint8_t kindFlags = 0;
    std::array<uint8_t, 32> packageHeader{};
    PackageBuild build;
    std::vector<uint8_t> para;
    std::vector<uint8_t> vkey;
};

// The section at position `position` (file order) is the configuration image,
// whose header takes the first slave's information: the second of a file with
// a configuration image and no two images (0x40), the third of four (0x80).
bool IsConfigurationSection(uint8_t kindFlags, size_t position);

// The package's bytes: the package header and the first section's bytes after
// its header; each further section with its header written anew (the version-19
// rule, byte 16 and 20 from the package header, the sums): the configuration
// image's with the slave's build bytes and information byte, the fourth of a
// four-section file with the slave's build bytes, the others with the
// controller's; then PARA and VKEY. Nullopt when a section does not lie
// inside the file's bytes.
std::optional<std::vector<uint8_t>> AssemblePackage(const PackageParts& parts);

constexpr const char* kSelectPfpFolderTitle = "Select PFP File Folder";

}  // namespace vcx
