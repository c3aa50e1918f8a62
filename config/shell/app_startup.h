// Start-up of VCXMSet: the single-instance lock, the sibling windows of the
// program family, the resident touch application, the command line, and the
// choice of the one window the program runs.
#pragma once

#include "shell/command_line.h"

#include <QString>

#include <functional>

namespace vcx {

constexpr const char* kInstanceMutexName = "Quorvane VCX Application Mutex";
// Sibling main windows, in the order they are looked for.
constexpr const char* kSiblingTitles[] = {"Quorvane VCXUtility", "Quorvane VCXMSet", "Quorvane VCXUtility (PD)"};
constexpr const char* kMainWindowTitle = "Quorvane VCXMSet";
constexpr const char* kResidentActiveTitle = "Quorvane VCX Resident Application Active";
constexpr const char* kResidentWindowTitle = "Quorvane VCX Resident Application Window";
constexpr const char* kProductionLineTitle = "VCX Production Line";

constexpr const char* kCannotStartCaption = "Application cannot start.";
constexpr const char* kResidentRunningText =
    "Warning: Quorvane VCXMSet cannot start because Quorvane VCX Resident Application is running.";
constexpr const char* kOtherAppRunningText =
    "Warning: Quorvane VCXMSet cannot start because another Quorvane VCX Application is running.";

// What the start-up leaves for the windows.
struct StartupState {
    CommandLineOptions options; // the parsed options (optBR, optNL 0xFF when not given)
    int pdLineState = 0;        // 0xFFFF once "-pdl" reached the production-line window
    QString fileArg;            // the file path left on the command line
};
StartupState& startupState();

// The lock file that stands for the family's application mutex: in the same
// per-user folder as the named windows' sockets.
QString instanceLockPath();

// The command line as one text: the program's arguments joined by blanks.
QString joinArguments(const QStringList& arguments);

// The process's exit codes. The window ended; also a start that is refused (another instance, the resident application).
constexpr int kExitNormal = 0;
// The controller library cannot be loaded, or is too old.
constexpr int kExitNoLibrary = 2;
// An unattended run, or the production-line window, that this version cannot carry out.
constexpr int kExitNotCarriedOut = 3;

// Runs the start-up and, when this instance may run, `runWindow` (true for the
// production-line window), with the lock held. Returns the process's exit code:
// the one `runWindow` returns, kExitNormal when the start is refused.
int runApplication(const QString& commandLine, bool engineerMode,
                   const std::function<int(bool productionLine)>& runWindow);

} // namespace vcx
