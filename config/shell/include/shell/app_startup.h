// Start-up of VCXMSet: the single-instance lock, the sibling windows of the
// program family, the resident touch application, the command line, and the
// choice of the one window the program runs.
#pragma once

#include "core/program_state.h"

#include <QString>

#include <functional>

namespace vcx {

constexpr const char* kInstanceMutexName = "Quorvane VCX Application Mutex";

constexpr const char* kCannotStartCaption = "Application cannot start.";
constexpr const char* kResidentRunningText =
    "Warning: Quorvane VCXMSet cannot start because Quorvane VCX Resident Application is running.";
constexpr const char* kOtherAppRunningText =
    "Warning: Quorvane VCXMSet cannot start because another Quorvane VCX Application is running.";

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
// An unattended run ("-m", "-s", "-sr", "-os", "-nl<digit>", "-enumfu") or "-pdl"
// refused because another application of the family runs for this user (an
// interactive start refused for that reason ends with kExitNormal).
constexpr int kExitAnotherInstance = 4;
// kExitBadFirmwareFile (5, core/program_state.h): an unattended run's firmware
// file is no firmware file.

// Runs the start-up and, when this instance may run, `runWindow` (true for the
// production-line window), with the lock held. Returns the process's exit code:
// the one `runWindow` returns; when the start is refused, kExitNormal, or
// kExitAnotherInstance for a scripted run refused for another instance.
int runApplication(const QString& commandLine, bool engineerMode,
                   const std::function<int(bool productionLine)>& runWindow);

} // namespace vcx
