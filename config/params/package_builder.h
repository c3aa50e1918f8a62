// Package building: the Field Update page's "Combine Firmware and Parameters"
// writes a .pfp package from the loaded firmware file and the connected
// controller's current parameter lists and virtual-key table.
#pragma once

#include "shell/controller_api.h"

#include <QString>

#include <array>
#include <cstdint>

class QWidget;

namespace vcx {

// -1 when the loaded file and the controller belong together, else the reason:
// 0 a two-image file and no slaves (or no file), 1 a single-image file and
// slaves, 2 a slave in its boot loader, 3 identity, version or build bytes
// differ, 4 an older header and the controller reports build bytes.
int CheckPackageCombinable(Controller& c);

struct CombineReasonText {
    const char* text;
    const char* title;
};
// The message of a reason 0..4.
const CombineReasonText& CombineReason(int reason);

// The controller's virtual keys: its ParameterVButton record is valid, the two
// panel words at offsets 76 and 78 of its ParameterPanel record are non-zero,
// and the table VButtonRead gives has a used entry or a first entry whose
// second corner lies beyond its first in both coordinates. *table holds what
// was read.
bool HasVirtualKeyData(Controller& c, VButtonTable* table);

// The item protocol's parameter version (F6 00 10 00 00: v / 100, v % 100);
// 0 when the controller has none.
int ReadParameterVersion(Controller& c);

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
CombineResult CombineFirmwareAndParameters(QWidget* page, Controller& c);

// The first slave's information (scan off or diagnostic mode around it, the
// selection tried up to ten times 50 ms apart, then back to the master); the
// mode is restored on every path. False when the slave could not be selected or read.
bool ReadSlaveInformation(Controller& c, FirmwareInformationW* slave);

constexpr const char* kSelectPfpFolderTitle = "Select PFP File Folder";

}  // namespace vcx
