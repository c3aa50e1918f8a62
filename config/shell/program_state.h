// The program-wide state the main window and its pages share beside the
// controller binding and the settings.
#pragma once

#include "shell/app_settings.h"

#include <QString>

#include <array>

namespace vcx {

struct ProgramState {
    bool engineerMode = false;   // switched from outside (window timer 5)
    bool useTabletPC = false;    // the controller serves as the system's touch input
    bool serialDevice = false;   // the open controller is on a serial line
    bool deviceChanged = false;  // a device arrival or removal was handled
    int screenScale = 100;       // vertical pixels per logical inch x 100 / 96
    QString programFolder;       // the program's folder, with its trailing '/'
    // Where each tool's next file dialog or output file starts (by folder index).
    std::array<QString, kFolderCount> toolPaths;
};
ProgramState& programState();

} // namespace vcx
