#include "shell/app_startup.h"

#include "ui/message_box.h"
#include "ui/named_window.h"
#include "ui/window_message.h"

#include <QFileInfo>
#include <QLockFile>

#include <unistd.h>

#include <cstdio>

namespace vcx {

QString instanceLockPath() {
    const QString folder = QFileInfo(qvui::windowSocketPath(QLatin1String(kInstanceMutexName))).path();
    return QStringLiteral("%1/qvmutex-%2-vcx-application.lock").arg(folder).arg(uint(getuid()));
}

QString joinArguments(const QStringList& arguments) { return arguments.join(u' '); }

int runApplication(const QString& commandLine, bool engineerMode,
                   const std::function<int(bool productionLine)>& runWindow) {
    // The family's mutex: held for the whole run, so a later instance finds it.
    // Whether a script started this run: its refusal must not read as a pass.
    const CommandLineOptions asked = parseCommandLine(commandLine);
    const bool scripted = asksUnattendedRun(asked) || asked.optEnumFU || asked.optPDL;
    const auto refusedForAnotherInstance = [scripted] {
        if (!scripted) return kExitNormal;
        std::fputs("VCXMSet: not run: another Quorvane VCX application of this user is running\n", stderr);
        return kExitAnotherInstance;
    };

    QLockFile lock(instanceLockPath());
    lock.setStaleLockTime(0); // a lock left by a process that is gone is taken over, whatever its age
    bool otherAppRunning = false;
    if (!lock.tryLock(0) && lock.error() != QLockFile::LockFailedError) {
        // Not held by anyone, only not makeable (an unwritable runtime folder):
        // say why and run without it rather than claim another instance runs.
        std::fprintf(stderr, "VCXMSet: the single-instance lock %s cannot be made (%s); running without it\n",
                     qPrintable(lock.fileName()),
                     lock.error() == QLockFile::PermissionError ? "no permission" : "unknown error");
    } else if (!lock.isLocked()) {
        for (const char* title : kSiblingTitles) {
            if (!qvui::findWindow(QLatin1String(title))) continue;
            // The sibling restores itself and comes forward on this message.
            qvui::sendWindowMessage(QLatin1String(title), qvui::WM_ACTIVATE_INSTANCE, 0, 0);
            return refusedForAnotherInstance();
        }
        otherAppRunning = true;
    }

    if (qvui::findWindow(QLatin1String(kResidentActiveTitle))) {
        qvui::showMessageBox(nullptr, QLatin1String(kResidentRunningText), QLatin1String(kCannotStartCaption),
                             qvui::MessageIcon::Error);
        return kExitNormal;
    }
    const bool residentWindow = qvui::findWindow(QLatin1String(kResidentWindowTitle));
    if (residentWindow) qvui::sendWindowMessage(QLatin1String(kResidentWindowTitle), qvui::WM_RESIDENT_SUSPEND, 1, 0);

    StartupState& state = startupState();
    state = StartupState{};
    if (!commandLine.isEmpty()) {
        state.options = parseCommandLine(commandLine);
        if (state.options.optPDL && qvui::findWindow(QLatin1String(kProductionLineTitle))) {
            qvui::sendWindowMessage(QLatin1String(kProductionLineTitle), qvui::WM_PRODUCTION_LINE, 0x1000, 0xFFFF);
            state.pdLineState = 0xFFFF;
            otherAppRunning = false; // an instance that addresses the production-line window may run
        }
        state.fileArg = state.options.fileArg;
    }

    if (otherAppRunning && !engineerMode) {
        qvui::showMessageBox(nullptr, QLatin1String(kOtherAppRunningText), QLatin1String(kCannotStartCaption),
                             qvui::MessageIcon::Error);
        return refusedForAnotherInstance();
    }

    const int exitCode = runWindow(state.pdLineState != 0);

    if (qvui::findWindow(QLatin1String(kResidentWindowTitle)))
        qvui::sendWindowMessage(QLatin1String(kResidentWindowTitle), qvui::WM_RESIDENT_SUSPEND, 0, 0);
    return exitCode;
}

} // namespace vcx
