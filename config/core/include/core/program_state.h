// The program-wide state the main window and its pages share beside the
// controller binding and the settings.
#pragma once

#include "core/app_settings.h"
#include "core/command_line.h"

#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QString>

#include <array>

namespace vcx {

// The program family's window titles. Sibling main windows, in the order they are looked for.
constexpr const char* kSiblingTitles[] = {"Quorvane VCXUtility", "Quorvane VCXMSet", "Quorvane VCXUtility (PD)"};
constexpr const char* kMainWindowTitle = "Quorvane VCXMSet";
constexpr const char* kResidentActiveTitle = "Quorvane VCX Resident Application Active";
constexpr const char* kResidentWindowTitle = "Quorvane VCX Resident Application Window";
constexpr const char* kProductionLineTitle = "VCX Production Line";

// The messages the main window takes from other processes: a second instance's
// activation, a close request, and timer ticks by number (the timers that
// nothing inside the program starts are run this way). A timer's lParam would
// be a callback in the sender's memory, so it is not carried. Device changes
// are not taken at all: their lParam points at a broadcast record.
inline constexpr qvui::RemoteMessage kMainWindowRemoteMessages[] = {
    {qvui::WM_CLOSE, qvui::Carried::Unused, qvui::Carried::Unused},
    {qvui::WM_TIMER, qvui::Carried::Value, qvui::Carried::Unused},
    {qvui::WM_ACTIVATE_INSTANCE, qvui::Carried::Unused, qvui::Carried::Unused},
};

struct ProgramState {
    bool engineerMode = false;   // switched from outside (window timer 5)
    bool serialDevice = false;   // the open controller is on a serial line
    bool deviceChanged = false;  // a device arrival or removal was handled
    // The Debug page holds the controller's parameter update lock (its parameter
    // list is shown); the main window releases it when another page is shown.
    bool parameterLockOn = false;
    int screenScale = 100;       // vertical pixels per logical inch x 100 / 96
    QString programFolder;       // the program's folder, with its trailing '/'
    // Where each tool's next file dialog or output file starts (by folder index).
    std::array<QString, kFolderCount> toolPaths;
};
ProgramState& programState();

// What the start-up leaves for the windows.
struct StartupState {
    CommandLineOptions options; // the parsed options (optBR, optNL 0xFF when not given)
    int pdLineState = 0;        // 0xFFFF once "-pdl" reached the production-line window
    QString fileArg;            // the file path left on the command line
    // The process's exit status when the run ends through the window: 0, or the
    // reason an unattended run could not do its work (kExitBadFirmwareFile).
    int exitStatus = 0;
};
// The firmware file an unattended run was given is no firmware file (or cannot be read).
constexpr int kExitBadFirmwareFile = 5;
// An unattended update ran and failed (with "-enumfu": on at least one controller).
constexpr int kExitRunFailed = 6;
// An unattended update could not start: no file to update with ("-s" without a
// file, "-enumfu" with no listed controller), or the file is not for the controller.
constexpr int kExitCouldNotRun = 7;
StartupState& startupState();

} // namespace vcx
