// The expand-panel catalogue and Export External Panel of the panel page: the
// ".ppl" files under "ExpandPanelSetting/QV<product>/" in the program's folder,
// keyed by panel index, and the export of the controller's current panel
// setting as the next such file.
#pragma once

#include "params/expand_panel_file.h"

#include <QString>

#include <map>

class QWidget;

namespace vcx {

struct Controller;

struct ExpandPanelEntry {
    QString path;
    ExpandPanelFile file;
};
// index -> the first valid file (by file name) that holds it; files that fail
// the checks are skipped.
using ExpandPanelCatalogue = std::map<uint8_t, ExpandPanelEntry>;
ExpandPanelCatalogue ReadExpandPanelCatalogue(const QString& folder);

// "<program folder>ExpandPanelSetting/QV<product name>".
QString ExpandPanelFolder(const Controller& c);

// The first index from `start` up to 0xFF the catalogue does not hold; -1 when
// every one is taken.
int NextFreePanelIndex(const ExpandPanelCatalogue& catalogue, int start);

enum class ExportPanelResult { Written, NoDevice, ListsTooShort, NoFreeIndex, WriteFailed };
// Exports the current panel setting: copies of the touch and boot lists with
// the new index at boot bytes 10/11 and touch bytes 58/59 (the library's own
// lists stay as they are), the PARA section with the CRC over the copies, the
// header and trailer; folders made when missing. Failures are shown to the user.
ExportPanelResult ExportExternalPanel(Controller& c, QWidget* owner, QString* writtenPath = nullptr);

} // namespace vcx
